#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/model/mdl_reader.h"
#include "tools/datakit/mtt_writer.h"
#include "tools/datakit/palette_writer.h"

// The pieces the demo world's circuit writer is made of: a small vector
// type, a mesh builder, and the procedural pictures and materials.
namespace datakit::world {

struct V3 {
    double x = 0.0, y = 0.0, z = 0.0;
};
inline V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline V3 operator*(V3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
inline double dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline V3 cross(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
inline double length(V3 a) { return std::sqrt(dot(a, a)); }
inline V3 unit(V3 a)
{
    const double l = length(a);
    return l > 1e-12 ? a * (1.0 / l) : V3{0.0, 1.0, 0.0};
}
inline V3 lerp(V3 a, V3 b, double t) { return a + (b - a) * t; }

// Builds one mesh object: vertices relative to an origin (the position of
// the model's root), faces of 3 or 4 corners with a material index into the
// object's own material list, each wound so that its corners turn
// counter-clockwise seen from the side its normal points to.
class MeshBuilder {
public:
    explicit MeshBuilder(V3 origin) : origin_(origin) {}

    std::uint32_t vertex(V3 p, V3 normal, double u, double v);
    // The index of the material in this object's list (added when new).
    std::uint32_t material(const std::string& name);
    // A quad facing `facing` (its corners are reordered when they turn the
    // other way); a degenerate quad is dropped.
    void quad(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d, const std::string& material,
              V3 facing);
    void triangle(std::uint32_t a, std::uint32_t b, std::uint32_t c, const std::string& material, V3 facing);
    // A box of the given half sizes centred on `centre`, turned by `heading`
    // about y (the box's +z along (sin h, cos h)); its own vertices per face.
    void box(V3 centre, V3 half, double heading, const std::string& material, double uv_scale = 1.0);
    // A flat rectangle standing upright: centre of its bottom edge `base`,
    // width along (cos h, -sin h), height up, facing (sin h, cos h); both
    // sides drawn when `two_sided`.
    void board(V3 base, double width, double height, double heading, const std::string& material,
               bool two_sided, double lift = 0.0);

    std::size_t vertex_count() const { return vertices_.size(); }
    bool empty() const { return faces_.empty(); }
    std::size_t face_count() const { return faces_.size(); }
    V3 position(std::uint32_t i) const;
    // The farthest vertex from the origin.
    double radius() const;

    // The mesh object (drawn in pass 0), named `name`.
    mdl_object object(const char* name) const;

private:
    V3 origin_;
    std::vector<mdl_vertex> vertices_;
    std::vector<mdl_face> faces_;
    std::vector<std::string> materials_;
};

// A detail level of a model: its root, an empty named `root_name` (the
// model's name: every level's root has the same name, so that the levels'
// nodes pair up) at `position` whose radius bounds every child, and the
// `children` (ids 1.. in order).
mdl_level assemble_level(const std::string& name, V3 position, std::vector<mdl_object> children,
                         const std::string& root_name = {});

// Material names of the track and sky libraries.
namespace mat {
inline constexpr const char* asphalt = "TRK_ASPHALT";
inline constexpr const char* line = "TRK_LINE";
inline constexpr const char* kerb = "TRK_KERB";
inline constexpr const char* start = "TRK_START";
inline constexpr const char* grass = "TRK_GRASS";
inline constexpr const char* gravel = "TRK_GRAVEL";
inline constexpr const char* concrete = "TRK_CONCRETE";
inline constexpr const char* armco = "TRK_ARMCO";
inline constexpr const char* tyres = "TRK_TYRES";
inline constexpr const char* pit_asphalt = "TRK_PIT";
inline constexpr const char* paint = "TRK_PAINT_YELLOW";
inline constexpr const char* stand = "TRK_STAND";
inline constexpr const char* roof = "TRK_ROOF";
inline constexpr const char* garage = "TRK_GARAGE";
inline constexpr const char* wall = "TRK_WALL";
inline constexpr const char* tree = "TRK_TREE";
inline constexpr const char* pine = "TRK_PINE";
inline constexpr const char* bush = "TRK_BUSH";
inline constexpr const char* marshal = "TRK_MARSHAL";
inline constexpr const char* metal = "TRK_METAL";
inline constexpr const char* lamps = "TRK_LAMPS";
inline constexpr const char* ground = "TRK_GROUND";
inline constexpr const char* ads[4] = {"TRK_AD0", "TRK_AD1", "TRK_AD2", "TRK_AD3"};
inline constexpr const char* distance[3] = {"TRK_DIST100", "TRK_DIST200", "TRK_DIST300"};
inline constexpr const char* sky = "SKY_DOME";
inline constexpr const char* sun = "SKY_SUN";
inline constexpr const char* hills = "SKY_HILLS";
// Whether two material names are the same name, by their text: a name's
// characters may be stored once for each source file that uses it (the
// sanitizer build keeps every copy apart), so two pointers to "TRK_GRAVEL"
// need not be equal.
inline bool same(const char* a, const char* b)
{
    return std::string_view(a) == std::string_view(b);
}
} // namespace mat

// The start lights' frames: 0 all dark, 1 to 5 that many red lamps lit,
// 6 every lamp green.
inline constexpr int kStartLightFrames = 7;

// A procedural picture: 32-bit ARGB texels (alpha 0 = transparent), row
// after row.
struct Picture {
    std::string name;
    int width = 0;
    int height = 0;
    bool cut_out = false;
    std::vector<std::uint32_t> argb;
};

// The track palette: index 0 is the transparent key (black), then eight
// ramps of 32 (grey, grass green, foliage green, sand, red, sky blue,
// yellow, orange), each from dark through its full colour to a pale tint.
Palette track_palette();

// Every picture of the track library, or of the sky library of a weather
// (0 sunny, 1 rain or fog).
const std::vector<Picture>& track_pictures();
std::vector<Picture> sky_pictures(int weather);

// The material library of the pictures: `palettised` false gives the
// 16-bit kind (565 texels; cut-outs keyed by magenta, pixel type 5),
// true the 8-bit kind (track palette indexes; cut-outs keyed by index 0,
// pixel type 6; opaque pictures type 4) with the track palette as the
// file's palette 0. Materials are named as `materials` says, each showing
// the pictures named (several: an animated texture).
struct MaterialSpec {
    std::string name;
    std::vector<std::string> pictures;
};
MttLibrary material_library(const std::vector<MaterialSpec>& materials, const std::vector<Picture>& pictures,
                            bool palettised);

std::vector<MaterialSpec> track_materials();
std::vector<MaterialSpec> sky_materials(int weather);

// Deterministic noise in [0, 1) of integer coordinates and a seed.
double noise(int x, int y, std::uint32_t seed);

} // namespace datakit::world
