#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/datakit/mtt_writer.h"
#include "tools/datakit/pcx_writer.h"

namespace datakit {

// A picture of the bike and rider materials in 8-bit red, green, blue
// (0xRRGGBB); kWorldClear marks a texel that is not drawn (the colour key
// of the 16-bit files, palette index 0 of the 8-bit ones).
inline constexpr std::uint32_t kWorldClear = 0xFF000000u;

// Every material's ambient and diffuse coefficients, for the meshes lit
// each frame (bikes, riders): under the race's sun (a directional light
// whose stored colour is doubled, 2.0, times the light factor of the
// scene record, 0.9 on the 3D device) a face towards the sun comes out at
// 0.9 x (0.5 + 2 x 0.3) = 0.99, the texture's own colour, and one turned
// away at 0.45; the software device's factor 0.45 halves both, as its
// shade table shows a colour itself at intensity 0.5.
inline constexpr float kWorldAmbient = 0.5f;
inline constexpr float kWorldDiffuse = 0.3f;

struct WorldPicture {
    std::string name;
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> rgb;   // row after row
};

// A material and the frames of its texture. A texture of several frames is
// chosen among by the instance's material set (frame trunc((set - 0.001) x
// count)): five frames give the sets 0, 0.25, 0.5, 0.75 and 1.0 a frame each.
struct WorldMaterial {
    std::string name;
    std::vector<WorldPicture> frames;
};

// Pictures.
WorldPicture world_solid(const std::string& name, int size, std::uint32_t colour);
// A painted panel: base colour, a band of the accent colour across it and a
// thin pin stripe, with a little shading towards the bottom.
WorldPicture world_livery(const std::string& name, int size, std::uint32_t base, std::uint32_t accent);
// Tyre rubber with tread grooves.
WorldPicture world_tyre(const std::string& name, int size);
// A round puff of `colour` whose texels thin out (clear) as `thinning` goes
// from 0 to 1; the corners are clear.
WorldPicture world_puff(const std::string& name, int size, std::uint32_t colour, float thinning);

// The library of the materials in the 16-bit form (pixel type 1, red 5,
// green 6, blue 5 bits; the key 0xF81F for clear texels) or in the 8-bit
// form (pixel type 4, indexes of the demo palette, which the file carries
// as its one palette; index 0 for clear texels). Pictures are packed in the
// 256-wide atlas in both.
MttLibrary world_material_library(const std::vector<WorldMaterial>& materials, bool eight_bit);

// The 8-bit index of a colour: the nearest colour of the demo palette
// (squared distance, lowest index on a tie), never index 0 (kept for clear
// texels).
std::uint8_t world_palette_index(std::uint32_t rgb);

// A blank 8-bit picture of `frames` frames of frame_width x frame_height
// side by side, all index 0, with the demo palette: the sheet the overlay's
// and the cockpits' pictures are drawn into.
PcxPicture world_pcx_sheet(int frames, int frame_width, int frame_height);

// The 16-bit pictures' colour key (magenta).
inline constexpr std::uint16_t kWorldKey565 = 0xF81F;

// Appends one 16-bit texel (low byte first): the key for a clear texel,
// else the colour packed 5-6-5; with `avoid_key` (a keyed picture) a colour
// that packs onto the key is moved off it.
void push_world_texel_565(std::vector<std::uint8_t>& pixels, std::uint32_t rgb, bool clear, bool avoid_key);

// The track palette as the one palette of an 8-bit material file.
mtt_palette world_track_mtt_palette(const char* name);

// Writes `base` + `wide_ext` (16-bit) and `base` + `narrow_ext` (8-bit).
bool write_world_materials(const std::filesystem::path& base, const char* wide_ext, const char* narrow_ext,
                           const std::vector<WorldMaterial>& materials, std::string& error);

} // namespace datakit
