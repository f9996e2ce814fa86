#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/base/light_record.h"
#include "engine/base/node_binding.h"
#include "engine/model/anim_channels.h"
#include "engine/model/anim_lib.h"
#include "engine/model/fcurve.h"
#include "engine/model/hit_test.h"
#include "engine/model/mtr_lib.h"
#include "engine/scene/camera.h"
#include "engine/scene/scene_view.h"
#include "tests/engine/scene/scene_load_fixture.h"
#include "tools/datakit/mdl_writer.h"

namespace {

using scene_test::KitSceneTest;

int count_list(const mtr_lib* l)
{
    int n = 0;
    for (; l; l = l->next)
        ++n;
    return n;
}

int count_list(const anim_lib* l)
{
    int n = 0;
    for (; l; l = l->next)
        ++n;
    return n;
}

TEST_F(KitSceneTest, KitSceneLoadsItsFourLibrariesAndLinksTheMapObjects)
{
    scene s;
    s.load(base.c_str(), scene::material_kind_mtt, 0, 0);

    ASSERT_NE(s.material_libs, nullptr);
    EXPECT_EQ(s.material_libs->material_count, 4);
    ASSERT_NE(s.anim_libs, nullptr);
    EXPECT_NE(s.anim_libs->find(name_hash("LAMP")), nullptr);
    ASSERT_EQ(s.model_libs.size(), 1u);
    EXPECT_EQ(s.model_libs.front()->model_count, 6);

    // Every map object but GHOST (not in the library) is linked to its model.
    EXPECT_EQ(s.linked_item_count(), 4u);
    const map_cell* ghost_cell = s.cell(0, 0, 3);
    ASSERT_NE(ghost_cell, nullptr);
    ASSERT_NE(ghost_cell->sections[0], nullptr);
    EXPECT_EQ(ghost_cell->sections[0]->instance, nullptr);
    const map_cell* hut_cell = s.cell(2, 0, 0);
    ASSERT_NE(hut_cell, nullptr);
    EXPECT_EQ(hut_cell->sections[0]->instance, model(s, "HUT_B"));

    // Models are bound to the materials, linked to their animations and
    // posed at time 0 (the box of HUT_B stands at the root's place).
    ml_modelinfo* hut = model(s, "HUT_B");
    ASSERT_NE(hut, nullptr);
    const model_node* box = hut->first_node->next;
    ASSERT_NE(box, nullptr);
    ASSERT_EQ(box->material_refs.size(), 1u);
    EXPECT_NE(box->material_refs[0].material, nullptr);
    EXPECT_TRUE(hut->flags & model_transforms_valid);
    EXPECT_FLOAT_EQ(box->world.m[3][0], 20.0f);
    EXPECT_FLOAT_EQ(box->world.m[3][2], -80.0f);
    EXPECT_NE(model(s, "LAMP")->anims, nullptr);
    // Loading clears bit 1 of every model.
    EXPECT_FALSE(hut->flags & model_built);
}

TEST_F(KitSceneTest, LoadingLeavesTheContextWithTheCameraItHad)
{
    camera before;
    for (camera* previous : {static_cast<camera*>(nullptr), &before}) {
        current_engine->set_camera(previous);
        scene s;
        s.load(base.c_str(), scene::material_kind_mtt, 0, 0);
        EXPECT_EQ(current_engine->camera, previous);
    }
}

TEST_F(KitSceneTest, GridQueriesTurnPointsIntoCells)
{
    scene s;
    s.load(base.c_str(), scene::material_kind_mtt, 0, 0);
    const vec4 c = s.point_to_cell({-75.0f, 25.0f, 60.0f, 7.0f});
    EXPECT_FLOAT_EQ(c.x, 0.5f);
    EXPECT_FLOAT_EQ(c.y, 0.5f);
    EXPECT_FLOAT_EQ(c.z, 3.2f);
    EXPECT_FLOAT_EQ(c.w, 7.0f);

    struct Case {
        vec4 point;
        const map_cell* expected;
    };
    const Case cases[] = {
        {{-80.0f, 1.0f, -80.0f, 1.0f}, s.cell(0, 0, 0)},
        // Just below the origin truncates toward zero: cell 0.
        {{-100.01f, -0.01f, -100.01f, 1.0f}, s.cell(0, 0, 0)},
        {{70.0f, 1.0f, 60.0f, 1.0f}, s.cell(3, 0, 3)},
        {{-30.0f, 1.0f, -30.0f, 1.0f}, nullptr},   // an empty cell
    };
    for (const Case& k : cases)
        EXPECT_EQ(s.cell_at_point(k.point), k.expected) << k.point.x << " " << k.point.z;
    EXPECT_NE(s.cell(0, 0, 0), nullptr);
}

TEST_F(KitSceneTest, FindModelLooksOnlyInTheNewestModelLibrary)
{
    scene empty;
    EXPECT_EQ(empty.find_model(name_hash("HUT_A")), nullptr);
    EXPECT_EQ(empty.cell_at_point({0.0f, 0.0f, 0.0f, 1.0f}), nullptr);

    scene s;
    s.load(base.c_str(), scene::material_kind_mtt, 0, 0);
    EXPECT_NE(s.find_model(name_hash("HUT_A")), nullptr);

    std::string error;
    const auto extra = folder / "EXTRA.MDL";
    ASSERT_TRUE(datakit::write_mdl(extra, {kit.models[0]}, error)) << error;
    s.add_model_lib(extra.string().c_str(), 0);
    ASSERT_EQ(s.model_libs.size(), 2u);
    EXPECT_EQ(s.find_model(name_hash("HUT_A")), nullptr);
    EXPECT_NE(s.find_model(name_hash("BIKE")), nullptr);

    s.remove_model_lib(s.model_libs.front()->name.c_str());
    EXPECT_EQ(s.model_libs.size(), 1u);
    EXPECT_NE(s.find_model(name_hash("HUT_A")), nullptr);
}

TEST_F(KitSceneTest, LibrariesAreRemovedByName)
{
    scene s;
    s.load(base.c_str(), scene::material_kind_mtt, 0, 0);
    const std::string mtt = (folder / "DEMO.MTT").string();
    s.add_material_lib(mtt.c_str(), 0, 0);
    ASSERT_EQ(count_list(s.material_libs), 2);
    const std::string material_name = s.material_libs->name;
    s.remove_material_lib("no such library");
    EXPECT_EQ(count_list(s.material_libs), 2);
    s.remove_material_lib(material_name.c_str());
    EXPECT_EQ(count_list(s.material_libs), 0);
    const std::string anim_name = s.anim_libs->name;
    s.remove_anim_lib(anim_name.c_str());
    EXPECT_EQ(count_list(s.anim_libs), 0);
}

// What pointed into a removed library lets go of it: the models their
// borrowed animations, the map's objects their models.
TEST_F(KitSceneTest, RemovingALibraryUnlinksWhatPointedIntoIt)
{
    scene s;
    s.load(base.c_str(), scene::material_kind_mtt, 0, 0);
    ml_modelinfo* lamp = model(s, "LAMP");
    ASSERT_NE(lamp, nullptr);
    ASSERT_NE(lamp->anims, nullptr);
    lamp->set_curanim(name_hash("LAMP"));
    s.remove_anim_lib(s.anim_libs->name.c_str());
    EXPECT_EQ(lamp->anims, nullptr);
    EXPECT_EQ(lamp->current_anim, nullptr);
    for (const model_node* n = lamp->first_node; n; n = n->next) {
        EXPECT_TRUE(n->channels.empty());
        EXPECT_EQ(n->anim, nullptr);
    }
    lamp->flags &= ~model_transforms_valid;
    lamp->update_transforms(0.5f);   // reads no channel of the removed library

    const map_cell* hut_cell = s.cell(2, 0, 0);
    ASSERT_NE(hut_cell, nullptr);
    ASSERT_EQ(hut_cell->sections[0]->instance, model(s, "HUT_B"));
    s.remove_model_lib(s.model_libs.front()->name.c_str());
    EXPECT_EQ(hut_cell->sections[0]->instance, nullptr);
    EXPECT_EQ(s.linked_item_count(), 0u);
}

TEST_F(KitSceneTest, ReleasingTheSceneBringsEveryLiveCounterBack)
{
    const auto before = scene_test::scene_live_counts();
    {
        scene s;
        s.load(base.c_str(), scene::material_kind_mtt, 0, 0);
        ml_modelinfo* rider = s.model_libs.front()->create_instance("RIDER", s.material_libs, 0);
        ASSERT_NE(rider, nullptr);
        model(s, "LAMP")->set_curanim(name_hash("LAMP"));
        // A frame of a view over it.
        camera cam;
        cam.position = {-95.0f, 2.0f, -95.0f, 1.0f};
        cam.target = {70.0f, 2.0f, 60.0f, 1.0f};
        rider->position = {-60.0f, 0.0f, -60.0f, 1.0f};
        scene_view view(&s, nullptr, 0, &cam, 0, 0, 320, 200);
        view.add_instance(rider);
        view.prepare();
        view.draw();
        EXPECT_EQ(view.visible[0], rider);
        EXPECT_GT(model_record::live, before[0].second);
        EXPECT_GT(map_item::live, before[14].second);
    }
    const auto after = scene_test::scene_live_counts();
    for (std::size_t i = 0; i < before.size(); ++i)
        EXPECT_EQ(after[i].second, before[i].second) << before[i].first;
}

TEST_F(KitSceneTest, TextureCacheClassesAboveFiveAreRefused)
{
    scene s;
    s.load(base.c_str(), scene::material_kind_mtt, 0, 0);
    // The class is the cache word's low four bits.
    texture_surfaces().cache_word = [](const mtr_texture*) { return 0x35u; };
    EXPECT_TRUE(s.check_textures());
    // Only map objects count: the bikes' textures do not.
    texture_surfaces().cache_word = [](const mtr_texture* f) { return std::string(f->name) == "TYRE_PIC" ? 12u : 0u; };
    EXPECT_TRUE(s.check_textures());
    texture_surfaces().cache_word = [](const mtr_texture* f) { return std::string(f->name) == "STONE_PIC" ? 6u : 0u; };
    EXPECT_FALSE(s.check_textures());
}

TEST_F(KitSceneTest, LoadFailuresEndTheProgramWithTheirReports)
{
    std::filesystem::remove(folder / "DEMO.MAP");
    EXPECT_EXIT(
        {
            scene s;
            s.load(base.c_str(), scene::material_kind_mtt, 0, 0);
        },
        ::testing::ExitedWithCode(1), "SCENE:: File open error!");
    EXPECT_EXIT(
        {
            scene s;
            s.load(base.c_str(), 3, 0, 0);
        },
        ::testing::ExitedWithCode(1), "SCENE:: Fatal error!");
}

TEST_F(KitSceneTest, DamagedOrMissingGridsAreFileErrors)
{
    std::ofstream(folder / "DEMO.MAP", std::ios::binary | std::ios::trunc) << "MAP_";
    EXPECT_EXIT(
        {
            scene s;
            s.load_map((folder / "DEMO.MAP").string().c_str());
        },
        ::testing::ExitedWithCode(1), "SCENE:: File open error!");
}

TEST_F(KitSceneTest, MapTexturesAboveClassFiveStopTheLoad)
{
    texture_surfaces().cache_word = [](const mtr_texture* f) { return std::string(f->name) == "STONE_PIC" ? 9u : 0u; };
    EXPECT_EXIT(
        {
            scene s;
            s.load(base.c_str(), scene::material_kind_mtt, 0, 0);
        },
        ::testing::ExitedWithCode(1), "Texture cache range error!");
}

TEST_F(KitSceneTest, HitTestsKeepTheNearestHitOverEveryMapObject)
{
    scene s;
    s.load(base.c_str(), scene::material_kind_mtt, 0, 0);
    hit_result r;
    r.hit = 1;
    // Along +x at the height of the walls: HUT_A's wall (x = -76) comes
    // first, HUT_B's (x = 24) later, and HUT_A's cell is visited first.
    const vec4 along[2] = {{-90.0f, 2.0f, -80.0f, 1.0f}, {40.0f, 2.0f, -80.0f, 1.0f}};
    ASSERT_EQ(s.hit_test(&r, along), 1);
    EXPECT_NEAR(r.point.x, -76.0f, 1e-3f);
    EXPECT_NEAR(r.t, 14.0f / 130.0f, 1e-5f);
    // The other way round, HUT_B's wall is the nearer.
    const vec4 back[2] = {along[1], along[0]};
    ASSERT_EQ(s.hit_test(&r, back), 1);
    EXPECT_NEAR(r.point.x, 24.0f, 1e-3f);
    // Missing every wall, or leaving the scene's box: no hit.
    const vec4 high[2] = {{-90.0f, 20.0f, -80.0f, 1.0f}, {40.0f, 20.0f, -80.0f, 1.0f}};
    EXPECT_EQ(s.hit_test(&r, high), 0);
    const vec4 outside[2] = {{-90.0f, 2.0f, -80.0f, 1.0f}, {140.0f, 2.0f, -80.0f, 1.0f}};
    EXPECT_EQ(s.hit_test(&r, outside), 0);
    EXPECT_EQ(r.hit, 0);
}

} // namespace
