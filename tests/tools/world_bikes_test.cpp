// The bike and rider world of the demo data, read back through the game's
// own readers: every name the race looks up, materials that bind, poses
// that the animations give, cockpit files and pictures.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <map>
#include <set>

#include "app/typed_list.h"
#include "engine/base/engine.h"
#include "engine/base/name_hash.h"
#include "engine/model/anim_lib.h"
#include "engine/model/ml_modelinfo.h"
#include "engine/model/model_lib.h"
#include "engine/model/model_node.h"
#include "engine/model/mtr_lib.h"
#include "engine/render/loadpcx.h"
#include "tests/support/fp_traps.h"
#include "tests/support/temp_dir.h"
#include "tools/datakit/bike_data_writer.h"
#include "tools/datakit/mdl_writer.h"
#include "tools/datakit/palette_writer.h"
#include "tools/datakit/rider_state_writer.h"
#include "tools/datakit/world_bike_anims.h"
#include "tools/datakit/world_bike_mesh.h"
#include "tools/datakit/world_bike_models.h"
#include "tools/datakit/world_bikes.h"
#include "tools/datakit/world_track_parts.h"

namespace {

class WorldBikes : public ::testing::Test {
protected:
    void SetUp() override
    {
        current_engine = &context_; // animation records come from its pools
        root_ = torvane_test::make_temp_dir("world");
        std::string error;
        ASSERT_TRUE(datakit::write_demo_world_bikes(root_, error)) << error;
    }

    std::string file(const std::string& name) const { return (root_ / "Gfx" / "Bikes" / name).string(); }

    // The models of one group's ".mdl", all loaded.
    std::unique_ptr<model_lib> models(const std::string& group) const
    {
        auto lib = std::make_unique<model_lib>(group.c_str());
        EXPECT_EQ(lib->try_open(file(group + ".mdl").c_str()), mdl_status::ok) << group;
        EXPECT_EQ(lib->try_load_all(0), mdl_status::ok) << group;
        return lib;
    }

    // An animation library of the world, all loaded.
    std::unique_ptr<anim_lib> animations(const char* name) const
    {
        auto lib = std::make_unique<anim_lib>(name);
        EXPECT_EQ(lib->try_open(file(name).c_str()), anm_status::ok) << name;
        EXPECT_EQ(lib->try_load_all(), anm_status::ok) << name;
        return lib;
    }

    // The material chain of a group for one device: the level-0 library
    // first, then (bikes and riders) the detail levels' library.
    std::vector<std::unique_ptr<mtr_lib>> materials(const std::string& group, bool hardware) const
    {
        std::vector<std::unique_ptr<mtr_lib>> chain;
        std::vector<std::string> files = {group + (hardware ? ".mtt" : ".mtp")};
        if (group == "Bikes" || group == "Riders")
            files.push_back(group + (hardware ? ".mlt" : ".mlp"));
        for (const std::string& f : files) {
            chain.push_back(std::make_unique<mtr_lib>(f.c_str()));
            EXPECT_EQ(chain.back()->try_open(file(f).c_str()), mtt_status::ok) << f;
            EXPECT_EQ(chain.back()->try_add_all_materials(hardware ? material_kind_surface : material_kind_atlas, 0, 0),
                      mtt_status::ok)
                << f;
        }
        for (std::size_t i = 0; i + 1 < chain.size(); ++i)
            chain[i]->next = chain[i + 1].get();
        return chain;
    }

    void TearDown() override { current_engine = nullptr; }

    engine context_;
    std::filesystem::path root_;
};

std::vector<std::string> bike_names() { return datakit::world_bike_names(); }

vec4 node_centre(ml_modelinfo* m, const char* node)
{
    model_node* n = m->find_node(name_hash(node));
    EXPECT_NE(n, nullptr) << node;
    if (!n)
        return {};
    return {n->world.m[3][0], n->world.m[3][1], n->world.m[3][2], 1.0f};
}

vec4 pose(ml_modelinfo* m, float time, const char* node)
{
    m->flags &= ~model_transforms_valid;
    m->update_transforms(time);
    return node_centre(m, node);
}

TEST_F(WorldBikes, EveryModelAndNodeTheRaceLooksUpIsInItsLibrary)
{
    // Model names by library, and the nodes the race finds in them.
    std::map<std::string, std::vector<std::pair<std::string, std::vector<std::string>>>> wanted;
    for (const std::string& b : bike_names()) {
        wanted["Bikes"].push_back(
            {"AXX_" + b, {"FRONT_PIVOT", "FRONT_SUSP", "FRONT_WHEEL", "REAR_PIVOT", "REAR_WHEEL", "CHASSIS"}});
        wanted["Bikes"].push_back({"AXX_COCK" + b, {"NEEDLE"}});
        wanted["Bikes"].push_back({"AXX_2DCOCK" + b, {"NEEDLE"}});
        wanted["dynombra"].push_back({"AXX_OMB" + b, {}});
    }
    wanted["Riders"] = {{"AXX_RIDER", {"jnthead", "VISTA"}}, {"HANDLEBARS", {"Head"}}};
    wanted["Shadow"] = {{"Shadow", {}}, {"Shadowp", {}}};
    wanted["dynombra"].push_back({"AXX_OMBRIDER", {}});
    for (const char* name : {"Skid", "Skidp", "Fumo", "Erba", "Sabbia", "Spark", "Pioggia"})
        wanted["dynombra"].push_back({name, {}});
    wanted["Arc"] = {{"Pratice", {}}};

    for (const auto& [group, list] : wanted) {
        auto lib = models(group);
        for (const auto& [model, nodes] : list) {
            ml_modelinfo* m = lib->create_instance(model.c_str(), nullptr, 0);
            ASSERT_NE(m, nullptr) << group << ": " << model;
            for (const std::string& node : nodes)
                EXPECT_NE(m->find_node(name_hash(node.c_str())), nullptr) << model << ": " << node;
        }
    }
}

TEST_F(WorldBikes, EveryAnimationOfTheAnimationSetsIsInItsLibrary)
{
    const struct {
        const char* file;
        std::vector<datakit::AnimationRecordSpec> records;
    } sets[] = {{"Riders.anm", datakit::demo_rider_animations()}, {"Bikes.anm", datakit::demo_bike_animations()}};
    for (const auto& s : sets) {
        auto lib = animations(s.file);
        for (const auto& r : s.records)
            EXPECT_NE(lib->find(name_hash(r.name.c_str())), nullptr) << s.file << ": " << r.name;
    }
    // Every other group opens alike, with an animation library of its own.
    for (const char* other : {"Shadow.anm", "dynombra.anm", "Arc.anm"})
        EXPECT_NE(animations(other)->link_count, 0u) << other;
}

TEST_F(WorldBikes, EveryModelBindsItsMaterialsOnBothDevices)
{
    // Each reference must be found exactly once over the chain: a material
    // in both libraries of a group would count twice.
    for (const char* group : {"Bikes", "Riders", "Shadow", "dynombra", "Arc"}) {
        auto lib = models(group);
        for (bool hardware : {true, false}) {
            auto chain = materials(group, hardware);
            std::set<std::string> seen;
            for (const auto& m : chain)
                for (mesh_material* x = m->materials; x; x = x->next)
                    EXPECT_TRUE(seen.insert(std::to_string(x->name_hash)).second) << group << " holds a material twice";
            for (const mdl_dir_entry& entry : lib->directory) {
                ml_modelinfo* made = nullptr;
                bool unbound = false;
                ASSERT_EQ(lib->try_create_instance(entry.name.c_str(), 0, &made, chain.front().get(), &unbound),
                          mdl_status::ok)
                    << entry.name;
                EXPECT_FALSE(unbound) << group << ": " << entry.name << (hardware ? " (16-bit)" : " (8-bit)");
            }
        }
    }
}

TEST_F(WorldBikes, EightBitMaterialsUseTheTrackPaletteAndBothKindsKeyTheirClearTexels)
{
    auto wide = materials("dynombra", true);
    auto narrow = materials("dynombra", false);
    mesh_material* puff16 = wide.front()->find(name_hash("FUMO"));
    mesh_material* puff8 = narrow.front()->find(name_hash("FUMO"));
    ASSERT_TRUE(puff16 && puff16->texture && puff8 && puff8->texture);
    // A puff's corner is not drawn: the colour key in 16 bits (a keyed
    // type naming its key, else the device draws it magenta), index 0 of a
    // type that leaves it out in 8.
    EXPECT_EQ(puff16->texture->first_frame->pixel_type, 5u);
    EXPECT_EQ(puff16->texture->first_frame->colour, 0xF81Fu);
    EXPECT_EQ(reinterpret_cast<const std::uint16_t*>(puff16->texture->first_frame->pixels)[0], 0xF81F);
    EXPECT_EQ(puff8->texture->first_frame->pixel_type, 6u);
    EXPECT_EQ(puff8->texture->first_frame->pixels[0], 0);
    // Lit as the mesh drawing reads it: ambient and diffuse coefficients in
    // words 12 and 13 of the texture record, the texture's size in 5 and 6.
    for (mesh_material* m : {puff16, puff8}) {
        EXPECT_FLOAT_EQ(std::bit_cast<float>(m->texture->words[12]), datakit::kWorldAmbient);
        EXPECT_FLOAT_EQ(std::bit_cast<float>(m->texture->words[13]), datakit::kWorldDiffuse);
        EXPECT_EQ(m->texture->words[5], 16u);
        EXPECT_EQ(m->texture->words[6], 16u);
    }
    // Its middle is drawn, in a colour of the palette the file carries: the
    // track palette, which the software device draws every race with.
    const std::uint8_t middle = puff8->texture->first_frame->pixels[8 * 256 + 8];
    EXPECT_NE(middle, 0);
    ASSERT_EQ(narrow.front()->contents.palettes.size(), 1u);
    const datakit::Palette demo = datakit::world::track_palette();
    const auto& colours = narrow.front()->contents.palettes[0].colours;
    for (std::size_t i = 0; i < 256; ++i) {
        const unsigned r = demo[i].red * 4u, g = demo[i].green * 4u, b = demo[i].blue * 4u;
        EXPECT_EQ(colours[i], ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3)) << i;
    }
}

// The bikes, their 3D cockpits, the riders and the handlebars are lit each
// frame by the scene's sun (lazy lighting); everything else of the bike
// world shows its textures' own colours (stored intensity 1), never black.
TEST_F(WorldBikes, MovingModelsAreLitEachFrameTheRestStoreFullLight)
{
    int lazy = 0, stored = 0;
    for (const datakit::WorldBikeGroup& g : datakit::world_bike_groups())
        for (const mdl_model& m : g.models) {
            const bool lit = (g.name == "Bikes" || g.name == "Riders") && m.name.find("2DCOCK") == std::string::npos;
            for (const mdl_level& l : m.levels)
                for (const mdl_object& o : l.objects) {
                    if (o.type != 4)
                        continue;
                    EXPECT_EQ((o.node_flags & datakit::kMdlLazyLighting) != 0, lit) << g.name << " " << m.name;
                    (lit ? lazy : stored)++;
                    for (const mdl_vertex& v : o.mesh.vertices)
                        EXPECT_EQ(std::bit_cast<float>(v[10]), 1.0f) << m.name << " " << o.name;
                }
        }
    EXPECT_GT(lazy, 50);
    EXPECT_GT(stored, 10);
}

TEST_F(WorldBikes, VariantsChooseTheirOwnFrameOfTheLiveries)
{
    // The grid's material sets are 0, 0.25, 0.5, 0.75 (bikes) and 0, 0.5,
    // 1.0 (riders); the mesh pipeline draws frame trunc((set - 0.001) x n).
    auto bikes = materials("Bikes", true);
    auto riders = materials("Riders", true);
    std::vector<mesh_material*> liveries;
    for (const std::string& b : bike_names()) {
        std::string key = b;
        for (char& c : key)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        liveries.push_back(bikes.front()->find(name_hash((key + "_PAINT").c_str())));
        liveries.push_back(bikes.back()->find(name_hash((key + "_PAINT_L").c_str())));
    }
    for (const char* name : {"LEATHER", "HELMET"})
        liveries.push_back(riders.front()->find(name_hash(name)));
    for (mesh_material* m : liveries) {
        ASSERT_TRUE(m && m->texture);
        const int n = m->texture->frame_count;
        std::set<int> frames;
        for (float set : {0.0f, 0.25f, 0.5f, 0.75f, 1.0f}) {
            const int f = std::max(0, static_cast<int>((set - 0.001f) * static_cast<float>(n)));
            frames.insert(f);
        }
        EXPECT_EQ(frames.size(), 5u) << "each variant its own livery";
    }
    // The practice arch's banner: plain at 0, marked at 0.8.
    auto arc = materials("Arc", true);
    mesh_material* banner = arc.front()->find(name_hash("ARCBANNER"));
    ASSERT_TRUE(banner && banner->texture);
    EXPECT_EQ(static_cast<int>((0.8f - 0.001f) * static_cast<float>(banner->texture->frame_count)), 1);
}

TEST_F(WorldBikes, WheelsStandOnTheGroundAtTheBikeDataWheelbase)
{
    torvane_test::FpTraps traps;
    auto lib = models("Bikes");
    const std::vector<std::string> names = bike_names();
    for (std::size_t m = 0; m < names.size(); ++m) {
        const datakit::BikeFileSpec spec = datakit::demo_bike(static_cast<int>(m));
        ml_modelinfo* bike = lib->create_instance(("AXX_" + names[m]).c_str(), nullptr, 0);
        ASSERT_NE(bike, nullptr);
        const vec4 rear = pose(bike, 0.0f, "REAR_WHEEL");
        const vec4 front = node_centre(bike, "FRONT_WHEEL");
        EXPECT_NEAR(rear.x, 0.0f, 1e-4f) << names[m];
        EXPECT_NEAR(rear.y, spec.rear.length_factor, 1e-4f) << names[m];
        EXPECT_NEAR(rear.z, 0.0f, 1e-4f) << names[m];
        EXPECT_NEAR(front.y, spec.front.length_factor, 1e-4f) << names[m];
        EXPECT_NEAR(front.z, spec.wheelbase, 1e-4f) << names[m];
        // The steering head is turned back by the rake.
        EXPECT_NEAR(bike->find_node(name_hash("FRONT_PIVOT"))->angles.x, -spec.front.rake, 1e-6f);
    }
}

TEST_F(WorldBikes, DetailLevelsKeepEveryNodeGetLighterAndStayWithinTheShadowLinkLimit)
{
    std::vector<mdl_model> checked;
    for (std::size_t m = 0; m < bike_names().size(); ++m)
        checked.push_back(datakit::world_bike_model(static_cast<int>(m)));
    checked.push_back(datakit::world_rider_model());
    for (const mdl_model& model : checked) {
        ASSERT_GE(model.levels.size(), 3u) << model.name;
        std::size_t previous = 0;
        for (std::size_t l = 0; l < model.levels.size(); ++l) {
            const mdl_level& level = model.levels[l];
            // A dynamic shadow links at most 1000 vertices of a level.
            const std::size_t vertices = datakit::world_level_vertices(level);
            EXPECT_LE(vertices, 1000u) << model.name << " level " << l;
            if (l > 0) {
                EXPECT_LT(vertices, previous) << model.name << " level " << l;
            }
            previous = vertices;
            // Every node of level 0 has its namesake, so no part of the
            // model vanishes at a distance.
            ASSERT_EQ(level.objects.size(), model.levels[0].objects.size()) << model.name;
            for (std::size_t i = 0; i < level.objects.size(); ++i)
                EXPECT_EQ(level.objects[i].name, model.levels[0].objects[i].name) << model.name << " level " << l;
        }
    }
    // Loaded, the detail levels are there for the distance choice.
    auto lib = models("Bikes");
    EXPECT_EQ(lib->find_model(name_hash(("AXX_" + bike_names()[0]).c_str()))->level_count, datakit::kWorldBikeLevels);
}

TEST_F(WorldBikes, TheFiveBikesLookDifferent)
{
    std::set<std::vector<std::uint8_t>> bodies;
    for (std::size_t m = 0; m < bike_names().size(); ++m) {
        mdl_model bike = datakit::world_bike_model(static_cast<int>(m));
        mdl_model body;
        body.name = "BODY";
        mdl_level level;
        level.name = "BODY";
        mdl_object o = bike.levels[0].objects[2];
        o.materials.clear(); // shapes, not the paint names
        o.parent = -1;
        o.sibling = -1;
        o.child = -1;
        level.objects = {o};
        body.levels = {level};
        bodies.insert(datakit::mdl_bytes({body}));
    }
    EXPECT_EQ(bodies.size(), bike_names().size());
}

TEST_F(WorldBikes, RiderAnimationsPoseTheRiderAndBlendForTheLean)
{
    torvane_test::FpTraps traps;
    auto lib = models("Riders");
    auto anims = animations("Riders.anm");
    ml_modelinfo* rider = lib->create_instance("AXX_RIDER", nullptr, 0);
    ASSERT_NE(rider, nullptr);
    for (const auto& r : datakit::demo_rider_animations())
        ASSERT_EQ(rider->lnk_anim_by_name(anims.get(), r.name.c_str(), 0, 0), 1) << r.name;

    // Every animation poses the eye somewhere sensible.
    for (const auto& r : datakit::demo_rider_animations()) {
        rider->set_curanim(name_hash(r.name.c_str()));
        for (float t : {0.0f, 0.3f, 0.9f}) {
            const vec4 eye = pose(rider, t, "VISTA");
            EXPECT_TRUE(std::isfinite(eye.x) && std::isfinite(eye.y) && std::isfinite(eye.z)) << r.name;
            EXPECT_GT(eye.y, -0.5f) << r.name << " at " << t;
            EXPECT_LT(eye.y, 3.0f) << r.name << " at " << t;
        }
    }
    // At full lean the rider hangs off to the left at time 0 and to the
    // right at time 1; tucked in the middle, the eye is lower than upright.
    rider->set_curanim(name_hash("RIDE_LEAN"));
    const float left = pose(rider, 0.0f, "PELVIS").x;
    const float right = pose(rider, 0.999f, "PELVIS").x;
    EXPECT_LT(left, -0.1f);
    EXPECT_GT(right, 0.1f);
    rider->set_curanim(name_hash("RIDE"));
    const float tucked_eye = pose(rider, 0.5f, "VISTA").y;
    rider->set_curanim(name_hash("STOP"));
    EXPECT_LT(tucked_eye, pose(rider, 0.99f, "VISTA").y);

    // The "CURVING" blend from the upright to the full-lean animation: a
    // transition channel on every joint, halfway between the two.
    rider->make_anim_trans(name_hash("RIDE"), 0.0f, name_hash("RIDE_LEAN"), 0.0f, name_hash("CURVING"), 0);
    for (const std::string& joint : datakit::world_rider_joints()) {
        model_node* n = rider->find_node(name_hash(joint.c_str()));
        ASSERT_NE(n, nullptr) << joint;
        EXPECT_NE(n->trans_anim, nullptr) << joint;
    }
}

TEST_F(WorldBikes, BikeFallsRollTheChassisToEitherSide)
{
    torvane_test::FpTraps traps;
    auto lib = models("Bikes");
    auto anims = animations("Bikes.anm");
    for (const std::string& b : bike_names()) {
        ml_modelinfo* bike = lib->create_instance(("AXX_" + b).c_str(), nullptr, 0);
        ASSERT_NE(bike, nullptr);
        float side[2] = {};
        int k = 0;
        for (const auto& r : datakit::demo_bike_animations()) {
            ASSERT_EQ(bike->lnk_anim_by_name(anims.get(), r.name.c_str(), 0, 0), 1) << r.name;
            bike->set_curanim(name_hash(r.name.c_str()));
            EXPECT_NEAR(pose(bike, 0.0f, "FRONT_WHEEL").x, 0.0f, 1e-4f) << "upright at the start";
            side[k++] = pose(bike, static_cast<float>(r.frames) / 18.0f, "FRONT_PIVOT").x;
        }
        EXPECT_LT(side[0] * side[1], -0.1f) << b << ": the two falls go to opposite sides";
    }
}

TEST_F(WorldBikes, CockpitFilesNameTheirPicturesAndTheTexturesOfThe3dCockpit)
{
    auto lib = models("Bikes");
    const std::vector<datakit::ManufacturerSpec> makers = datakit::demo_manufacturers();
    for (const datakit::ManufacturerSpec& maker : makers) {
        const std::filesystem::path folder = root_ / "Gfx" / "Cockpit" / maker.model_name;
        const std::string path = (folder / "Cockpit.dat").string();
        struct {
            float scale;
            std::int32_t maximum;
        } needle{};
        ASSERT_EQ(ReadTypedList(path.c_str(), "NEEDLE", &needle, 8, 8, 1), 1) << maker.model_name;
        EXPECT_EQ(needle.maximum, static_cast<std::int32_t>(maker.rev_limit));
        EXPECT_GT(needle.scale, 0.0f);

        struct Picture {
            char name[32];
            std::int32_t frames, width, height, x, y, spacing, spare;
        } pictures[4]{};
        ASSERT_EQ(ReadTypedList(path.c_str(), "COCKPIT", pictures, 56, 60, 4), 4);
        char textures[4][32]{};
        ASSERT_EQ(ReadTypedList(path.c_str(), "TEXTURE", textures, 32, 32, 4), 4);
        std::int32_t revs[16][3]{};
        const int lights = ReadTypedList(path.c_str(), "RPM", revs, 12, 12, 16);
        EXPECT_GT(lights, 0);
        for (int k = 1; k < lights; ++k)
            EXPECT_GT(revs[k][0], revs[k - 1][0]) << "rev lights light in order";

        auto chain = materials("Bikes", true);
        ml_modelinfo* cockpit =
            lib->create_instance(("AXX_COCK" + maker.model_name).c_str(), chain.front().get(), 0);
        ASSERT_NE(cockpit, nullptr);
        for (int k = 0; k < 4; ++k) {
            // The sheet holds its frames in one row.
            std::vector<std::uint8_t> pixels;
            std::uint8_t header[kPcxHeaderBytes]{}, palette[kPcxPaletteBytes]{};
            const std::string picture = (folder / pictures[k].name).string();
            ASSERT_EQ(loadpcx(pixels, picture.c_str(), header, palette), 1) << picture;
            const pcx_header_fields h = read_pcx_header(header);
            EXPECT_EQ(h.bytes_per_line, pictures[k].frames * pictures[k].width) << picture;
            EXPECT_EQ(h.rows, pictures[k].height) << picture;
            // The texture it draws into is on the 3D cockpit's faces.
            EXPECT_NE(cockpit->find_node_by_texture(textures[k]), nullptr) << textures[k];
        }
        // The read-outs fit in their textures.
        auto frame_size = [&](const char* texture) {
            mesh_material* m = chain.front()->find(name_hash(texture));
            return m ? m->texture->first_frame->width : 0;
        };
        EXPECT_LE(pictures[0].x + 3 * (pictures[0].width + pictures[0].spacing), frame_size(textures[0]));
        EXPECT_LE(pictures[1].x + 2 * (pictures[1].width + pictures[1].spacing), frame_size(textures[1]));
        EXPECT_LE(revs[lights - 1][1] + pictures[2].width, frame_size(textures[2]));
    }
}

TEST_F(WorldBikes, TheWorldIsTheSameEveryTime)
{
    for (const datakit::WorldBikeGroup& g : datakit::world_bike_groups()) {
        std::FILE* f = std::fopen(file(g.name + ".mdl").c_str(), "rb");
        ASSERT_NE(f, nullptr);
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::filesystem::file_size(file(g.name + ".mdl"))));
        ASSERT_EQ(std::fread(bytes.data(), 1, bytes.size(), f), bytes.size());
        std::fclose(f);
        EXPECT_EQ(bytes, datakit::mdl_bytes(g.models)) << g.name;
    }
}

} // namespace
