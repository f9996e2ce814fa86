#include <gtest/gtest.h>

#include <strings.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "engine/base/engine.h"
#include "engine/base/name_hash.h"
#include "engine/model/anim_lib.h"
#include "engine/model/mdl_format.h"
#include "engine/model/ml_modelinfo.h"
#include "engine/model/model_lib.h"
#include "engine/model/mtr_lib.h"
#include "engine/scene/map_grid.h"
#include "engine/scene/scene.h"
#include "platform/atomic_file.h"
#include "sim/track.h"
#include "tests/support/temp_dir.h"
#include "tools/datakit/demo_circuits.h"
#include "tools/datakit/mdl_writer.h"
#include "tools/datakit/race_data_writer.h"
#include "tools/datakit/track_writer.h"
#include "tools/datakit/world_track.h"

namespace {

using namespace datakit;

std::vector<std::uint8_t> read_all(const std::filesystem::path& p)
{
    std::vector<std::uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(platform::read_file_whole(p.string(), bytes, &error)) << p << ": " << error;
    return bytes;
}

// The models of a library as the game's reader reads them back.
std::vector<mdl_model> read_models(const std::vector<std::uint8_t>& file)
{
    std::vector<mdl_dir_entry> dir;
    EXPECT_EQ(mdl_read_directory(file, dir), mdl_status::ok);
    std::vector<mdl_model> models;
    std::uint64_t budget = mdl_read_budget(file);
    for (const mdl_dir_entry& e : dir) {
        mdl_model m;
        EXPECT_EQ(mdl_read_model(file, e.offset, m, budget), mdl_status::ok) << e.name;
        m.name = e.name;
        models.push_back(std::move(m));
    }
    return models;
}

float word_float(std::uint32_t w) { return std::bit_cast<float>(w); }

struct XZ {
    double x, z;
};

// Faces of the mesh (models whose names start with `prefix`, faces of the
// given materials) as polygons in x-z with their heights, with a grid of
// 8 m cells to find them by. The racing surface is asphalt, edge lines,
// start line and kerbs: what the simulation counts as asphalt.
class MeshSurface {
public:
    MeshSurface(const std::vector<mdl_model>& models, const std::string& prefix, const std::set<std::string>& materials)
    {
        for (const mdl_model& m : models) {
            if (m.name.rfind(prefix, 0) != 0)
                continue;
            const mdl_level& level = m.levels.front();
            const mdl_object& root = level.objects.front();
            for (const mdl_object& o : level.objects) {
                if (o.type != 4)
                    continue;
                for (const mdl_face& f : o.mesh.faces) {
                    if (!materials.count(o.materials[f[mdl::face_word_material]]))
                        continue;
                    std::vector<P3> poly;
                    for (std::uint32_t c = 0; c < f[mdl::face_word_corners]; ++c) {
                        const mdl_vertex& v = o.mesh.vertices[f[mdl::face_word_corner0 + c] / mdl::vertex_bytes];
                        poly.push_back({root.position.x + o.position.x + word_float(v[0]),
                                        root.position.y + o.position.y + word_float(v[1]),
                                        root.position.z + o.position.z + word_float(v[2])});
                    }
                    const std::size_t index = polygons_.size();
                    polygons_.push_back(poly);
                    double x0 = 1e30, x1 = -1e30, z0 = 1e30, z1 = -1e30;
                    for (const P3& p : poly) {
                        x0 = std::min(x0, p.x);
                        x1 = std::max(x1, p.x);
                        z0 = std::min(z0, p.z);
                        z1 = std::max(z1, p.z);
                    }
                    for (long cx = cell(x0); cx <= cell(x1); ++cx)
                        for (long cz = cell(z0); cz <= cell(z1); ++cz)
                            grid_[{cx, cz}].push_back(index);
                }
            }
        }
    }

    bool empty() const { return polygons_.empty(); }

    bool covers(double x, double z) const { return !std::isnan(height(x, z)); }

    // The heights of the faces over (x, z), each quad taken as either pair
    // of triangles (a renderer splits it one way or the other).
    std::vector<double> heights(double x, double z) const
    {
        std::vector<double> out;
        const auto it = grid_.find({cell(x), cell(z)});
        if (it == grid_.end())
            return out;
        for (std::size_t i : it->second) {
            const auto& p = polygons_[i];
            const std::size_t n = p.size();
            for (std::size_t first = 0; first < (n == 4 ? 2u : 1u); ++first)
                for (std::size_t k = 1; k + 1 < n; ++k) {
                    const double h = triangle_height(p[first], p[(first + k) % n], p[(first + k + 1) % n], x, z);
                    if (!std::isnan(h))
                        out.push_back(h);
                }
        }
        return out;
    }
    // The highest of them; NaN where there is no face.
    double height(double x, double z) const
    {
        const std::vector<double> h = heights(x, z);
        return h.empty() ? std::nan("") : *std::max_element(h.begin(), h.end());
    }
    // The one nearest to `y`.
    double height_near(double x, double z, double y) const
    {
        double best = std::nan("");
        for (double h : heights(x, z))
            if (!(std::fabs(h - y) >= std::fabs(best - y)))
                best = h;
        return best;
    }

private:
    struct P3 {
        double x, y, z;
    };
    static double triangle_height(P3 a, P3 b, P3 c, double x, double z)
    {
        const double d = (b.x - a.x) * (c.z - a.z) - (c.x - a.x) * (b.z - a.z);
        if (std::fabs(d) < 1e-12)
            return std::nan("");
        const double u = ((x - a.x) * (c.z - a.z) - (c.x - a.x) * (z - a.z)) / d;
        const double v = ((b.x - a.x) * (z - a.z) - (x - a.x) * (b.z - a.z)) / d;
        if (u < -1e-9 || v < -1e-9 || u + v > 1.0 + 1e-9)
            return std::nan("");
        return a.y + u * (b.y - a.y) + v * (c.y - a.y);
    }
    static long cell(double v) { return static_cast<long>(std::floor(v / 8.0)); }
    std::vector<std::vector<P3>> polygons_;
    std::map<std::pair<long, long>, std::vector<std::size_t>> grid_;
};

const std::set<std::string> kRacingSurface = {"TRK_ASPHALT", "TRK_LINE", "TRK_START", "TRK_KERB"};

// How far from the centre line the racing surface reaches along the
// lateral line (direction `side`), by a march and a bisection of `inside`.
template <class Inside>
double reach(const Inside& inside, double limit)
{
    double good = 0.0, bad = limit;
    for (double s = 0.25; s <= limit; s += 0.25) {
        if (!inside(s)) {
            bad = s;
            break;
        }
        good = s;
    }
    for (int i = 0; i < 12; ++i) {
        const double m = (good + bad) / 2.0;
        (inside(m) ? good : bad) = m;
    }
    return good;
}

class WorldTrack : public ::testing::Test {
protected:
    void SetUp() override { current_engine = &context_; }
    void TearDown() override { current_engine = nullptr; }

private:
    engine context_;
};

// The racing surface drawn is the one the bikes ride on: at every metre of
// every circuit, on both sides, the mesh's asphalt (with its kerbs) ends
// within 5 cm of where the simulation's ground stops being asphalt, and
// across it the mesh lies within 5 cm of the simulation's ground; the
// ground beyond never rises through the track's edges.
TEST_F(WorldTrack, RacingSurfaceEdgesMatchTheSimulationAtEveryMetre)
{
    const auto dir = torvane_test::make_temp_dir("world_edges");
    // Metres of gravel both the simulation and the mesh have, by side, over
    // all circuits: the check above must have something to compare.
    int gravel_seen[2] = {};
    for (const char* name : kDemoCircuitNames) {
        SCOPED_TRACE(name);
        const CircuitDescription d = demo_circuit_description(name);
        const BuiltCircuit built = build_circuit(d);
        std::string error;
        const auto track_path = dir / (std::string(name) + ".dat");
        ASSERT_TRUE(write_track_file(track_path, built.circuit, error)) << error;
        Track track;
        ASSERT_TRUE(track.Load(track_path.string().c_str()));
        const datakit::WorldTrack world = build_world_track(d, built);
        const std::vector<mdl_model> models = read_models(mdl_bytes(world.models));
        const MeshSurface mesh(models, "TRACK", kRacingSurface);
        const MeshSurface ground(models, "GROUND", {"TRK_GROUND"});
        const MeshSurface gravel(models, "TRACK", {"TRK_GRAVEL"});
        ASSERT_FALSE(mesh.empty());
        ASSERT_FALSE(ground.empty());

        int checked = 0;
        double worst = 0.0;
        // Gravel 1.5 m past the racing surface, by side (left, right): as
        // the simulation's surface query says, as the mesh shows, and both.
        int gravel_sim[2] = {}, gravel_mesh[2] = {}, gravel_both[2] = {};
        for (int k = 0; k + 1 < track.SectionCount(); ++k) {
            const float distance = static_cast<float>(k) + 0.5f;
            Vec2 centre, along;
            track.DistanceToPoint(distance, &centre, &along);
            for (int side = -1; side <= 1; side += 2) {
                // Right of the heading is (along.z, -along.x).
                const double rx = side * along.z, rz = -side * along.x;
                auto on_sim = [&](double s) {
                    Vec3 p{static_cast<float>(centre.x + rx * s), 100.0f, static_cast<float>(centre.z + rz * s)};
                    unsigned char surface = 255;
                    const float h = track.Query(&p, nullptr, distance, &surface);
                    return h != kTrackNone && surface == 0;
                };
                auto on_mesh = [&](double s) { return mesh.covers(centre.x + rx * s, centre.z + rz * s); };
                const double sim_edge = reach(on_sim, 25.0);
                const double mesh_edge = reach(on_mesh, 25.0);
                ASSERT_GT(sim_edge, 3.0) << "metre " << k;
                worst = std::max(worst, std::fabs(sim_edge - mesh_edge));
                ASSERT_NEAR(mesh_edge, sim_edge, 0.05) << "metre " << k << " side " << side;
                {
                    const double s = sim_edge + 1.5;
                    const double x = centre.x + rx * s, z = centre.z + rz * s;
                    Vec3 p{static_cast<float>(x), 100.0f, static_cast<float>(z)};
                    unsigned char surface = 255;
                    const bool sim = track.Query(&p, nullptr, distance, &surface) != kTrackNone && surface == 2;
                    const bool drawn = gravel.covers(x, z);
                    const int at = side > 0 ? 1 : 0;
                    gravel_sim[at] += sim;
                    gravel_mesh[at] += drawn;
                    gravel_both[at] += sim && drawn;
                }
                for (double s : {0.0, sim_edge / 2.0, sim_edge - 0.1}) {
                    const double x = centre.x + rx * s, z = centre.z + rz * s;
                    Vec3 p{static_cast<float>(x), 100.0f, static_cast<float>(z)};
                    const float h = track.Query(&p, nullptr, distance, nullptr);
                    ASSERT_NEAR(mesh.height_near(x, z, h), h, 0.05) << "metre " << k << " at " << side * s;
                }
                ++checked;
            }
        }
        EXPECT_GE(checked, 2 * 2600);
        // Where the bikes find gravel the picture shows it, on the side
        // they find it (the patches' ends may fall inside a metre).
        for (int at = 0; at < 2; ++at) {
            SCOPED_TRACE(at ? "right verge" : "left verge");
            EXPECT_GE(gravel_both[at] + 2, gravel_sim[at]);
            EXPECT_GE(gravel_both[at] + 2, gravel_mesh[at]);
            gravel_seen[at] += gravel_both[at];
        }
        for (const TrackSection& s : track.Sections)
            for (const Vec3& e : {s.Edge0, s.Edge1})
                ASSERT_LT(ground.height(e.x, e.z), e.y - 0.05) << e.x << " " << e.z;
        RecordProperty(std::string(name) + "_worst_edge_mm", static_cast<int>(worst * 1000.0));
    }
    EXPECT_GT(gravel_seen[0], 100) << "left verge";
    EXPECT_GT(gravel_seen[1], 100) << "right verge";
}

// What the race's 3D loading asks for exists in the written files and loads
// through the game's readers: the track scene of every circuit (models,
// both material kinds, animations, grid, palette), both skies, the camera
// file, and the lists of "Data\Details.dat".
TEST_F(WorldTrack, EveryNameTheRaceLooksUpIsWrittenAndLoads)
{
    const auto root = torvane_test::make_temp_dir("world_names");
    std::string error;
    {
        std::filesystem::create_directories(root / "Data");
        TypedListWriter details;
        ASSERT_TRUE(write_text_file(root / "Data" / "Details.dat",
                                    details_file_text({std::begin(kDemoCircuitNames), std::end(kDemoCircuitNames)}),
                                    error));
    }
    ASSERT_TRUE(write_demo_world_tracks(root, error)) << error;

    // The lists of "Data\Details.dat" the world needs.
    std::string details;
    {
        const auto bytes = read_all(root / "Data" / "Details.dat");
        details.assign(bytes.begin(), bytes.end());
    }
    for (const char* list : {"SCALE_DETAILS_SW", "SCALE_DETAILS_HW", "SCALE_DEPTH_SW", "SCALE_DEPTH_HW",
                             "BACKGROUND_SCALE", "FOCALS", "FIXED_CAMS"})
        EXPECT_NE(details.find(std::string(list) + "\r\n"), std::string::npos) << list;
    for (const char* name : kDemoCircuitNames)
        for (const char* weather : {"_SUNNY", "_RAIN", "_FOG"})
            for (const char* device : {"_SW", "_HW"})
                EXPECT_NE(details.find(std::string(name) + weather + device + "\r\n"), std::string::npos);

    const auto tracks = root / "Gfx" / "Tracks";
    for (const char* name : {"Island", "Monza", "Sugo", "Sentul"}) {
        SCOPED_TRACE(name);
        const std::string base = (tracks / name).string();
        // Models: every one loads and makes an instance bound to the
        // materials of either kind; the start lights are among them.
        mtr_lib m16("TRACK16"), m8("TRACK8");
        ASSERT_EQ(m16.try_open((base + ".MTT").c_str()), mtt_status::ok);
        ASSERT_EQ(m16.try_add_all_materials(0, 0, 0), mtt_status::ok);
        ASSERT_EQ(m8.try_open((base + ".MTP").c_str()), mtt_status::ok);
        ASSERT_EQ(m8.try_add_all_materials(1, 0, 0), mtt_status::ok);
        model_lib models("TRACK");
        ASSERT_EQ(models.try_open((base + ".MDL").c_str()), mdl_status::ok);
        ASSERT_EQ(models.try_load_all(0), mdl_status::ok);
        EXPECT_TRUE(models.find_model(name_hash(kStartLightsModel)));
        EXPECT_TRUE(models.try_link_materials(&m16));
        EXPECT_TRUE(models.try_link_materials(&m8));
        anim_lib anims("TRACK");
        EXPECT_EQ(anims.try_open((base + ".ANM").c_str()), anm_status::ok);
        EXPECT_EQ(anims.try_load_all(), anm_status::ok);
        // The start lights' material shows one frame per lamp state.
        const mesh_material* lamps = m16.find(name_hash("TRK_LAMPS"));
        ASSERT_TRUE(lamps && lamps->texture);
        EXPECT_EQ(lamps->texture->frame_count, 7);

        // The grid: every item names a model of the library, and every
        // model stands in the grid once.
        map_grid grid;
        ASSERT_EQ(grid.load_file(base + ".MAP"), map_status::ok);
        std::multiset<std::string> placed;
        for (std::int32_t iz = 0; iz < grid.rows; ++iz)
            for (std::int32_t ix = 0; ix < grid.columns; ++ix)
                if (const map_cell* c = grid.lookup(0, iz, ix)) {
                    EXPECT_FALSE(c->visible.empty());
                    for (const map_item* item = c->sections[0]; item; item = item->next) {
                        placed.insert(item->name);
                        // Found by its hash, and the model found is the one
                        // named (the engine's hash leaves out a prefix of
                        // three letters and '_': "TRK_000" and "GND_000"
                        // would be one model).
                        const ml_modelinfo* found = models.find_model(item->name_hash);
                        ASSERT_TRUE(found) << item->name;
                        EXPECT_EQ(strcasecmp(found->name, item->name), 0) << item->name << " finds " << found->name;
                    }
                }
        EXPECT_EQ(static_cast<std::int32_t>(placed.size()), models.model_count);
        EXPECT_EQ(placed.count(kStartLightsModel), 1u);

        // The palette and its shade table for the software device.
        EXPECT_EQ(read_all(base + ".pal").size(), 768u);
        EXPECT_EQ(read_all(base + ".pal.SHD").size(), 65536u * 4u);

        // The skies: "Back" in both, the sun only in the sunny one.
        for (int weather = 0; weather < 2; ++weather) {
            const std::string sky = (tracks / sky_base_name(name, weather)).string();
            model_lib back("BACK");
            ASSERT_EQ(back.try_open((sky + ".mdl").c_str()), mdl_status::ok);
            ASSERT_EQ(back.try_load_model(kSkyModel, 0), mdl_status::ok);
            for (const char* kind : {".mtt", ".mtp"}) {
                mtr_lib sky_materials("SKY");
                ASSERT_EQ(sky_materials.try_open((sky + kind).c_str()), mtt_status::ok);
                ASSERT_EQ(sky_materials.try_add_all_materials(std::string(kind) == ".mtp" ? 1 : 0, 0, 0),
                          mtt_status::ok);
                EXPECT_EQ(sky_materials.find(name_hash("SKY_SUN")) != nullptr, weather == 0);
                EXPECT_TRUE(back.try_link_materials(&sky_materials));
            }
            anim_lib sky_anims("BACK");
            EXPECT_EQ(sky_anims.try_open((sky + ".anm").c_str()), anm_status::ok);
        }
    }
}

// The track scene loads as the race loads it, through the scene loader, in
// both material kinds (the software render type for ".MTP"): every map
// object is linked to its model, and the start lights are found by name.
TEST_F(WorldTrack, TrackSceneLoadsThroughTheSceneLoader)
{
    const auto root = torvane_test::make_temp_dir("world_scene");
    std::string error;
    ASSERT_TRUE(write_world_track(root, "Sugo", 10, error)) << error;
    const std::string base = (root / "Gfx" / "Tracks" / "Sugo").string();
    for (const int kind : {scene::material_kind_mtt, scene::material_kind_mtp}) {
        SCOPED_TRACE(kind);
        current_engine->set_render_type(kind == scene::material_kind_mtp ? engine::software_render_type : 2);
        scene world;
        world.load(base.c_str(), kind, 0, 0);
        EXPECT_TRUE(world.find_model(name_hash(kStartLightsModel)));
        int items = 0;
        for (std::int32_t iz = 0; iz < world.grid.rows; ++iz)
            for (std::int32_t ix = 0; ix < world.grid.columns; ++ix) {
                const map_cell* c = world.grid.lookup(0, iz, ix);
                for (const map_item* item = c ? c->sections[0] : nullptr; item; item = item->next, ++items) {
                    ASSERT_TRUE(item->instance) << item->name;
                    EXPECT_EQ(strcasecmp(item->instance->name, item->name), 0) << item->name;
                }
            }
        EXPECT_GT(items, 50);
    }
    current_engine->set_render_type(0);
}

// Detail levels: the far levels of the road and the scenery are lighter
// than the near ones and name only nodes the near level has.
TEST_F(WorldTrack, FarDetailLevelsAreLighterAndNameNearNodes)
{
    const CircuitDescription d = demo_circuit_description("Island");
    const datakit::WorldTrack world = build_world_track(d, build_circuit(d));
    int with_levels = 0;
    for (const mdl_model& m : world.models) {
        if (m.levels.size() < 2)
            continue;
        ++with_levels;
        auto vertices = [](const mdl_level& l) {
            std::size_t n = 0;
            for (const mdl_object& o : l.objects)
                n += o.mesh.vertices.size();
            return n;
        };
        EXPECT_LT(vertices(m.levels[1]), vertices(m.levels[0])) << m.name;
        std::set<std::string> near;
        for (const mdl_object& o : m.levels[0].objects)
            near.insert(o.name);
        for (const mdl_object& o : m.levels[1].objects)
            EXPECT_TRUE(near.count(o.name)) << m.name << " " << o.name;
    }
    EXPECT_GT(with_levels, 40);
}

// What the player sees lit: the race draws the track scene with the light
// stored in its vertices, so the sun is baked in (flat road at the
// textures' own colours, nothing black); the sky's meshes are known as the
// sky on both devices and draw unlit; the road, its aprons and the ground sort under
// everything on it; a far level keeps its near namesake's material order
// (a face's material index means the same in either node's list).
TEST_F(WorldTrack, SceneIsLitSkyUnlitAndGroundUnderEverything)
{
    const CircuitDescription d = demo_circuit_description("Island");
    datakit::WorldTrack world = build_world_track(d, build_circuit(d));
    bake_track_light(world.models, 0);
    auto word_float = [](std::uint32_t w) { return std::bit_cast<float>(w); };
    int road_vertices = 0, ground_faces = 0, surface_faces = 0;
    for (const mdl_model& m : world.models) {
        for (const mdl_level& l : m.levels)
            for (const mdl_object& o : l.objects) {
                if (o.type != 4)
                    continue;
                for (const mdl_vertex& v : o.mesh.vertices) {
                    const float intensity = word_float(v[10]);
                    EXPECT_GE(intensity, 0.55f) << m.name << " " << o.name;
                    EXPECT_LE(intensity, 1.05f) << m.name << " " << o.name;
                    if (o.name == "ROAD" && word_float(v[5]) > 0.99f) {
                        ++road_vertices;
                        EXPECT_GT(intensity, 0.95f) << m.name;
                    }
                }
                // The software device paints by mean depth plus bias: what
                // lies flat sorts under what stands on it by more than half
                // its largest face (road rows 12 m apart, ground cells of
                // 42 m, 60 m across their diagonal).
                for (const mdl_face& f : o.mesh.faces) {
                    const auto bias = static_cast<std::int32_t>(f[12]);
                    if (m.name.rfind("GROUND", 0) == 0) {
                        ++ground_faces;
                        EXPECT_LE(bias, -6 - 30) << m.name;
                    } else if (o.name == "ROAD") {
                        ++surface_faces;
                        EXPECT_LE(bias, -6) << m.name;
                        EXPECT_GT(bias, -36) << m.name;
                    } else if (o.name == "WALLS" && bias != 0) {
                        ++surface_faces; // the aprons beside the road
                        EXPECT_LE(bias, -6) << m.name;
                        EXPECT_GT(bias, -36) << m.name;
                    } else {
                        EXPECT_EQ(bias, 0) << m.name << " " << o.name;
                    }
                }
            }
        for (std::size_t l = 1; l < m.levels.size(); ++l)
            for (const mdl_object& o : m.levels[l].objects)
                for (const mdl_object& near : m.levels[0].objects)
                    if (near.name == o.name && near.type == 4) {
                        ASSERT_GE(o.materials.size(), near.materials.size()) << m.name << " " << o.name;
                        EXPECT_TRUE(std::equal(near.materials.begin(), near.materials.end(), o.materials.begin()))
                            << m.name << " " << o.name;
                    }
    }
    EXPECT_GT(road_vertices, 1000);
    EXPECT_GT(ground_faces, 100);
    EXPECT_GT(surface_faces, 100);

    const float light[3] = {1000.0f, 2000.0f, 500.0f};
    for (int weather = 0; weather < 2; ++weather) {
        const datakit::WorldSky sky = build_world_sky(weather, light);
        int meshes = 0;
        for (const mdl_object& o : sky.models.front().levels.front().objects) {
            if (o.type != 4)
                continue;
            ++meshes;
            EXPECT_EQ(name_hash(o.first_name.c_str()), 0x1B131112u) << o.name;
            for (const mdl_vertex& v : o.mesh.vertices)
                EXPECT_EQ(word_float(v[10]), 1.0f) << o.name;
        }
        EXPECT_EQ(meshes, weather == 0 ? 3 : 2);
    }
}

// Tyre walls stand behind every gravel trap, on every circuit that has
// one: beside the first section of each gravel patch, on the patch's
// side, a face of the tyre walls lies within 3 m of the track's edge. (The
// kit told gravel by a material name's address, which differs between the
// source files that hold a copy of the name: the sanitizer build kept the
// copies apart and built every circuit without tyre walls, another world
// with other race pictures.)
TEST_F(WorldTrack, TyreWallsStandBehindEveryGravelTrap)
{
    int traps = 0;
    for (const char* name : kDemoCircuitNames) {
        SCOPED_TRACE(name);
        const CircuitDescription d = demo_circuit_description(name);
        const BuiltCircuit built = build_circuit(d);
        const datakit::WorldTrack world = build_world_track(d, built);
        std::vector<std::array<double, 2>> tyres; // x, z of every tyre face corner
        for (const mdl_model& m : read_models(mdl_bytes(world.models))) {
            const mdl_level& level = m.levels.front();
            const mdl_object& root = level.objects.front();
            for (const mdl_object& o : level.objects) {
                if (o.type != 4)
                    continue;
                for (const mdl_face& f : o.mesh.faces) {
                    if (o.materials[f[mdl::face_word_material]] != "TRK_TYRES")
                        continue;
                    for (std::uint32_t c = 0; c < f[mdl::face_word_corners]; ++c) {
                        const mdl_vertex& v = o.mesh.vertices[f[mdl::face_word_corner0 + c] / mdl::vertex_bytes];
                        tyres.push_back({root.position.x + o.position.x + word_float(v[0]),
                                         root.position.z + o.position.z + word_float(v[2])});
                    }
                }
            }
        }
        for (const TrackFilePatch& p : built.circuit.patches) {
            if (p.surface != 2 || p.points.empty() || p.first_section < 0 ||
                p.first_section >= static_cast<std::int32_t>(built.circuit.sections.size()))
                continue;
            const TrackFileSection& s = built.circuit.sections[static_cast<std::size_t>(p.first_section)];
            const bool left = std::hypot(p.points[0].x - s.inner0.x, p.points[0].z - s.inner0.z) <
                              std::hypot(p.points[0].x - s.inner1.x, p.points[0].z - s.inner1.z);
            const TrackFilePoint& edge = left ? s.edge0 : s.edge1;
            double nearest = 1e30;
            for (const auto& t : tyres)
                nearest = std::min(nearest, std::hypot(t[0] - edge.x, t[1] - edge.z));
            EXPECT_LT(nearest, 3.0) << "no tyre wall behind the gravel at section " << p.first_section;
            ++traps;
        }
    }
    EXPECT_GT(traps, 0) << "no circuit has a gravel trap";
}

// The output is the same bytes every time.
TEST_F(WorldTrack, IsDeterministic)
{
    const CircuitDescription d = demo_circuit_description("Sugo");
    const BuiltCircuit built = build_circuit(d);
    const datakit::WorldTrack a = build_world_track(d, built), b = build_world_track(d, built);
    EXPECT_EQ(mdl_bytes(a.models), mdl_bytes(b.models));
    EXPECT_EQ(mtt_bytes(a.materials8), mtt_bytes(b.materials8));
}

} // namespace
