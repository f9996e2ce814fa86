#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/base/light_record.h"
#include "engine/base/texture_record.h"
#include "engine/base/mat4.h"
#include "engine/model/anim_lib.h"
#include "engine/model/model_lib.h"
#include "engine/model/mtr_lib.h"
#include "engine/model/model_node.h"
#include "engine/scene/camera.h"
#include "engine/scene/scene_view.h"
#include "tests/engine/scene/scene_load_fixture.h"
#include "tests/support/fp_traps.h"

namespace {

using scene_test::KitSceneTest;

// A bare instance: a full-kind root of the given radius, at a place.
std::unique_ptr<ml_modelinfo> bare_instance(float x, float y, float z, float radius,
                                            std::uint32_t flags = instance_shown)
{
    auto m = std::make_unique<ml_modelinfo>("BARE");
    auto* root = new model_node(node_kind_full);
    root->radius = radius;
    m->first_node = root;
    m->node_count = 1;
    m->position = {x, y, z, 1.0f};
    m->flags = flags;
    return m;
}

// A camera in angle mode at the origin, unrotated: its view is the identity,
// so view-space depths are the world's z exactly.
void plain_camera(camera& cam, float far)
{
    cam.mode = 0;
    cam.far_base = far;
    cam.set_fov(camera::default_fov);
}

std::vector<ml_modelinfo*> listed(ml_modelinfo* const* list)
{
    std::vector<ml_modelinfo*> out;
    for (; *list; ++list)
        out.push_back(*list);
    return out;
}

std::vector<std::string> reference_names(const scene_view& v)
{
    std::vector<std::string> out;
    for (map_item* const* r = v.references; *r; ++r)
        out.push_back((*r)->name);
    std::sort(out.begin(), out.end());
    return out;
}

class SceneViewTest : public model_test::ModelTest {
protected:
    void TearDown() override
    {
        scene_hooks() = {};
        ml_modelinfo::set_light_preparer(nullptr);
        ModelTest::TearDown();
    }
};

TEST_F(SceneViewTest, FrustumAndViewportRecords)
{
    camera cam;
    scene_view v(nullptr, nullptr, 77, &cam, 10, 20, 640, 481);
    EXPECT_EQ(v.centre_x, 10 + 320 - 1);
    EXPECT_EQ(v.centre_y, 20 + 240 - 1);
    EXPECT_EQ(v.half_width, 320);
    EXPECT_EQ(v.half_height, 240);
    EXPECT_EQ(v.user, 77u);
    EXPECT_EQ(v.show_flag15, 0);
    EXPECT_EQ(v.show_flag31, 0);
    EXPECT_FLOAT_EQ(v.frustum.near_z, -1.0f);
    EXPECT_FLOAT_EQ(v.frustum.far_z, -1.0f);

    view_frustum f;
    const float a = 0.4f;
    f.set(a, -0.5f, 123.0f, 900.0f);
    const float cot = std::cos(a) / std::sin(a);
    const float expected[4][2] = {{-cot, 0.0f}, {cot, 0.0f}, {0.0f, cot}, {0.0f, -cot}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(f.planes[i][0], expected[i][0], 1e-5f) << i;
        EXPECT_NEAR(f.planes[i][1], expected[i][1], 1e-5f) << i;
    }
    EXPECT_FLOAT_EQ(f.near_z, -0.5f);
    EXPECT_FLOAT_EQ(f.far_z, -900.0f);

    // prepare sets the projection every later stage reads.
    v.prepare();
    EXPECT_FLOAT_EQ(v.projection().centre_x, 329.0f);
    EXPECT_FLOAT_EQ(v.projection().centre_y, 259.0f);
    EXPECT_FLOAT_EQ(v.projection().scale_x, 319.0f);
    EXPECT_FLOAT_EQ(v.projection().scale_y, 239.0f);
    EXPECT_FLOAT_EQ(v.projection().far_z, -100.0f);
    EXPECT_EQ(current_engine->camera, &cam);

    // A view that ends takes its camera back from the context.
    {
        camera other;
        scene_view w(nullptr, nullptr, 0, &other, 0, 0, 64, 64);
        w.prepare();
        EXPECT_EQ(current_engine->camera, &other);
    }
    EXPECT_EQ(current_engine->camera, nullptr);
}

TEST_F(SceneViewTest, SphereTestAtThePlanes)
{
    torvane_test::FpTraps traps;
    // A 90-degree lens; the side test measures at the sphere's far depth,
    // z - r.
    const float near = -1.0f, far = -400000.0f, t = 1.0f;
    struct Case {
        const char* what;
        float x, z, r;
        bool seen;
    };
    const Case cases[] = {
        {"touching the far plane from beyond", 0.0f, -400001.0f, 1.0f, false},
        {"reaching half a unit inside the far plane", 0.0f, -400001.0f, 1.5f, true},
        {"far plane at 400000.5", 0.0f, -400000.5f, 0.0f, false},
        {"just inside the far plane", 0.0f, -399999.5f, 0.0f, true},
        {"straddling the near plane", 0.0f, -1.0f, 0.5f, true},
        {"wholly behind the near plane", 0.0f, 0.5f, 1.5f, false},
        {"its far edge on the near plane", 0.0f, 0.0f, 1.0f, false},
        {"touching the side plane from outside", 12.0f, -10.0f, 1.0f, false},
        {"crossing the side plane", 12.0f, -10.0f, 1.01f, true},
        {"NaN depth", 0.0f, std::nanf(""), 1.0f, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(sphere_in_view(c.x, c.z, c.r, near, far, t), c.seen) << c.what;
}

TEST_F(SceneViewTest, VisibleListAtTheFarEdgeAndEqualDepths)
{
    torvane_test::FpTraps traps;
    camera cam;
    plain_camera(cam, 400000.0f);
    auto beyond = bare_instance(0.0f, 0.0f, -400001.0f, 1.0f);
    auto reaching = bare_instance(0.0f, 0.0f, -400001.0f, 1.5f);
    auto near_a = bare_instance(2.0f, 0.0f, -50.0f, 1.0f);
    auto near_b = bare_instance(-2.0f, 0.0f, -50.0f, 1.0f);
    auto behind = bare_instance(0.0f, 0.0f, 5.0f, 1.0f);
    auto hidden = bare_instance(0.0f, 0.0f, -20.0f, 1.0f, 0);
    auto shadow = bare_instance(0.0f, 0.0f, -20.0f, 1.0f, instance_shown | instance_linked_shadow);
    scene_view v(nullptr, nullptr, 0, &cam, 0, 0, 640, 480);
    for (auto* m : {beyond.get(), reaching.get(), near_a.get(), near_b.get(), behind.get(), hidden.get(),
                    shadow.get()}) {
        m->flags |= instance_visible;
        v.add_instance(m);
    }
    v.prepare();

    // Visible in the order of the view's list (newest first).
    EXPECT_EQ(listed(v.visible), (std::vector<ml_modelinfo*>{near_b.get(), near_a.get(), reaching.get()}));
    EXPECT_FALSE(beyond->flags & instance_visible);
    EXPECT_FALSE(behind->flags & instance_visible);
    EXPECT_FALSE(hidden->flags & instance_visible);
    EXPECT_FALSE(shadow->flags & instance_visible);
    EXPECT_TRUE(reaching->flags & instance_visible);

    // The draw list runs farthest first; equal depths both appear.
    ASSERT_EQ(v.draw_count, 3);
    EXPECT_EQ(v.draw_list[0], reaching.get());
    EXPECT_FLOAT_EQ(v.draw_depths[0], -400001.0f);
    EXPECT_FLOAT_EQ(v.draw_depths[1], -50.0f);
    EXPECT_FLOAT_EQ(v.draw_depths[2], -50.0f);
    EXPECT_TRUE(std::is_permutation(v.draw_list + 1, v.draw_list + 3,
                                    std::vector<ml_modelinfo*>{near_a.get(), near_b.get()}.begin()));
    EXPECT_EQ(v.draw_list[3], nullptr);

    // The software render type keeps no draw list.
    current_engine->set_render_type(engine::software_render_type);
    v.prepare();
    EXPECT_EQ(v.draw_count, 0);
    EXPECT_EQ(listed(v.visible).size(), 3u);
}

TEST_F(SceneViewTest, AnInstanceAddedTwiceIsListedOnce)
{
    camera cam;
    plain_camera(cam, 1000.0f);
    scene_view v(nullptr, nullptr, 0, &cam, 0, 0, 640, 480);
    std::unique_ptr<ml_modelinfo> a = bare_instance(0.0f, 0.0f, -10.0f, 1.0f);
    std::unique_ptr<ml_modelinfo> b = bare_instance(0.0f, 0.0f, -20.0f, 1.0f);
    v.add_instance(a.get());
    v.add_instance(b.get());
    v.add_instance(a.get());   // listed already: the list stays a list
    v.add_instance(b.get());
    v.prepare();
    EXPECT_EQ(v.draw_count, 2);
    v.remove_instance(a.get());
    v.remove_instance(b.get());
    EXPECT_EQ(v.instances, nullptr);
}

// A sprite model (a root mesh of mesh word 1, as the race's particles are)
// stands where its instance is: the pose gives the root the instance's
// position as its world centre and the instance's scale as its world scale
// (what the sprite's drawing reads), and the visible list keeps finding it
// there frame after frame (the root's local position stays its own, not
// added to the instance's position a second time).
TEST_F(SceneViewTest, ASpriteStandsWhereItsInstanceIs)
{
    camera cam;
    plain_camera(cam, 80.0f);
    auto sprite = bare_instance(3.0f, 1.0f, -50.0f, 1.0f);
    model_node& root = *sprite->first_node;
    root.type = node_mesh;
    auto mesh = std::make_unique<model_part>();  // a node does not own its mesh
    mesh->mesh_word = 1;
    root.mesh = mesh.get();
    sprite->scale = {0.5f, 0.5f, 0.5f, 1.0f};
    scene_view v(nullptr, nullptr, 0, &cam, 0, 0, 640, 480);
    v.add_instance(sprite.get());
    for (int frame = 0; frame < 3; ++frame) {
        SCOPED_TRACE(frame);
        // The particle moves on, as the race's smoke moves it.
        const float y = 1.0f + static_cast<float>(frame);
        sprite->set_position(3.0f, y, -50.0f, 1.0f);
        v.prepare();
        EXPECT_EQ(listed(v.visible), std::vector<ml_modelinfo*>{sprite.get()});
        EXPECT_EQ(root.world_centre.x, 3.0f);
        EXPECT_EQ(root.world_centre.y, y);
        EXPECT_EQ(root.world_centre.z, -50.0f);
        EXPECT_EQ(root.world_scale.x, 0.5f);
        EXPECT_EQ(root.world_scale.z, 0.5f);
        EXPECT_EQ(root.local_position.z, 0.0f);
    }
    v.remove_instance(sprite.get());
    root.mesh = nullptr;
}

TEST_F(SceneViewTest, MoreThan499VisibleInstancesEndTheProgram)
{
    camera cam;
    plain_camera(cam, 1000.0f);
    std::vector<std::unique_ptr<ml_modelinfo>> crowd;
    scene_view v(nullptr, nullptr, 0, &cam, 0, 0, 640, 480);
    for (int i = 0; i < 499; ++i) {
        crowd.push_back(bare_instance(0.0f, 0.0f, -10.0f - static_cast<float>(i), 1.0f));
        v.add_instance(crowd.back().get());
    }
    v.prepare();
    EXPECT_EQ(v.draw_count, 499);
    crowd.push_back(bare_instance(0.0f, 0.0f, -5.0f, 1.0f));
    v.add_instance(crowd.back().get());
    EXPECT_EXIT(v.prepare(), ::testing::ExitedWithCode(1), "ERROR Number of objects too big! \\(SCN_MAX_OBJ_VIS\\)");
}

// Records what the view hands the mesh drawing.
struct drawn_entry {
    ml_modelinfo* instance;
    model_record* drawn;
    int face_camera;
};
std::vector<drawn_entry> drawn;
int flushes = 0;

void record_hooks()
{
    drawn.clear();
    flushes = 0;
    scene_hooks().draw_nodes = [](ml_modelinfo* i, model_record* d, scene_view&, int face) {
        drawn.push_back({i, d, face});
    };
    scene_hooks().flush = [] {
        ++flushes;
        drawn.push_back({nullptr, nullptr, -1});
    };
}

TEST_F(SceneViewTest, DrawOrderEarlyPassPairsAndSoftware)
{
    torvane_test::FpTraps traps;
    camera cam;
    plain_camera(cam, 1000.0f);
    auto far_one = bare_instance(0.0f, 0.0f, -300.0f, 1.0f);
    auto early = bare_instance(0.0f, 0.0f, -20.0f, 1.0f, instance_shown | instance_early_pass);
    auto rider = bare_instance(3.0f, 0.0f, -100.0f, 1.0f);
    auto bike = bare_instance(3.0f, 0.0f, -101.0f, 1.0f);
    rider->pair_with(bike.get());   // rider draws the bike right after itself
    scene_view v(nullptr, nullptr, 0, &cam, 0, 0, 640, 480);
    for (auto* m : {far_one.get(), early.get(), rider.get(), bike.get()})
        v.add_instance(m);
    record_hooks();
    v.prepare();
    v.draw();
    const std::vector<ml_modelinfo*> expected = {nullptr,       early.get(), nullptr,      far_one.get(), nullptr,
                                                 rider.get(), bike.get(),  nullptr};
    std::vector<ml_modelinfo*> got;
    for (const drawn_entry& e : drawn)
        got.push_back(e.instance);
    EXPECT_EQ(got, expected);
    // Drawing hands the level of detail back to the next prepare.
    EXPECT_EQ(rider->id, -1);

    // The bike takes the rider's level; with the rider out of view the bike
    // is never drawn, although it is itself in view.
    rider->position.z = 100.0f;
    record_hooks();
    v.prepare();
    EXPECT_TRUE(bike->flags & instance_visible);
    v.draw();
    for (const drawn_entry& e : drawn)
        EXPECT_NE(e.instance, bike.get());

    // Software render type: the visible list in order, then the buckets.
    current_engine->set_render_type(engine::software_render_type);
    rider->position.z = -100.0f;
    record_hooks();
    static int zsorts = 0;
    zsorts = 0;
    scene_hooks().zsort_draw = [](scene_view&) { ++zsorts; };
    v.prepare();
    v.draw();
    got.clear();
    for (const drawn_entry& e : drawn)
        got.push_back(e.instance);
    EXPECT_EQ(got, listed(v.visible));
    EXPECT_EQ(flushes, 0);
    EXPECT_EQ(zsorts, 1);
}

class KitSceneViewTest : public KitSceneTest {
protected:
    void SetUp() override
    {
        KitSceneTest::SetUp();
        world.load(base.c_str(), scene::material_kind_mtt, 0, 0);
        model(world, "LAMP")->set_curanim(name_hash("LAMP"));
        // From the corner of cell (0, 0) towards the lamp, with a wide lens.
        cam.position = {-95.0f, 2.0f, -95.0f, 1.0f};
        cam.target = {70.0f, 2.0f, 60.0f, 1.0f};
        cam.far_base = 1000.0f;
        cam.set_fov(2.0f);
    }
    void TearDown() override
    {
        scene_hooks() = {};
        KitSceneTest::TearDown();
    }

    scene world;
    camera cam;
};

TEST_F(KitSceneViewTest, PrepareListsMapObjectsLevelsLightsAndTransforms)
{
    torvane_test::FpTraps traps;
    current_engine->grid_culling = 0;
    model_lib& lib = *world.model_libs.front();
    ml_modelinfo* rider = lib.create_instance("RIDER", world.material_libs, 0);
    ml_modelinfo* bike = lib.create_instance("BIKE", world.material_libs, 0);
    const float thresholds[2] = {10.0f, 50.0f};
    rider->set_lod_table(thresholds);
    rider->position = {-40.0f, 0.0f, -40.0f, 1.0f};
    rider->anim_time = 0.0f;
    bike->position = {-99.0f, 0.0f, -99.0f, 1.0f};   // behind the camera
    bike->flags |= instance_visible;

    scene_view v(&world, nullptr, 0, &cam, 0, 0, 640, 480);
    v.add_instance(rider);
    v.add_instance(bike);
    v.prepare();

    EXPECT_EQ(listed(v.visible), std::vector<ml_modelinfo*>{rider});
    EXPECT_TRUE(rider->flags & instance_visible);
    EXPECT_FALSE(bike->flags & instance_visible);
    // About 78 units away: past both thresholds, so the last level.
    EXPECT_EQ(rider->id, 1);
    EXPECT_TRUE(rider->flags & model_transforms_valid);
    EXPECT_FLOAT_EQ(rider->first_node->world.m[3][0], -40.0f);
    EXPECT_FLOAT_EQ(rider->first_node->world.m[3][2], -40.0f);

    // Every linked map object in the frustum's cells; FLAGPOLE waits for its
    // switch, GHOST has no model.
    EXPECT_EQ(reference_names(v), (std::vector<std::string>{"HUT_A", "HUT_B", "LAMP"}));
    EXPECT_TRUE(model(world, "HUT_A")->flags & instance_map_object);
    EXPECT_EQ(model(world, "HUT_B")->id, 0);

    // The lamp's light, carried into camera space, and no further on a
    // second frame.
    ASSERT_EQ(v.lights.size(), 2u);
    scn_light* light = v.lights[0];
    ASSERT_NE(light, nullptr);
    EXPECT_EQ(v.lights[1], nullptr);
    const vec4 world_place{70.0f, 6.0f, 60.0f, 1.0f};
    vec4 expected;
    mat_transform_point(&cam.view, &world_place, &expected);
    EXPECT_FLOAT_EQ(light->position.z, expected.z);
    EXPECT_FLOAT_EQ(light->world_position.x, 70.0f);
    v.prepare();
    EXPECT_FLOAT_EQ(light->position.x, expected.x);
    EXPECT_FLOAT_EQ(light->position.y, expected.y);
    EXPECT_FLOAT_EQ(light->position.z, expected.z);

    v.show_flag15 = 1;
    v.prepare();
    EXPECT_EQ(reference_names(v), (std::vector<std::string>{"FLAGPOLE", "HUT_A", "HUT_B", "LAMP"}));

    current_engine->force_level0 = 1;
    rider->id = -1;
    v.prepare();
    EXPECT_EQ(model(world, "HUT_B")->id, 0);
    lib.destroy_instance(rider);
    lib.destroy_instance(bike);
}

TEST_F(KitSceneViewTest, GridCullingKeepsToTheCellsTheCameraCellSees)
{
    torvane_test::FpTraps traps;
    current_engine->grid_culling = 1;
    scene_view v(&world, nullptr, 0, &cam, 0, 0, 640, 480);
    // In cell (1, 1), which cell (0, 0) does not see; in cell (2, 0), which
    // it sees.
    auto unseen = bare_instance(-40.0f, 0.0f, -40.0f, 1.0f);
    auto seen = bare_instance(10.0f, 0.0f, -80.0f, 1.0f);
    auto big = bare_instance(-40.0f, 0.0f, -40.0f, 400000.0f);
    auto bigger = bare_instance(-40.0f, 0.0f, -40.0f, 400000.5f);
    for (auto* m : {unseen.get(), seen.get(), big.get(), bigger.get()})
        v.add_instance(m);
    v.prepare();
    EXPECT_EQ(listed(v.visible), (std::vector<ml_modelinfo*>{bigger.get(), seen.get()}));
    // Map objects too: the lamp's cell is not seen from the camera's.
    EXPECT_EQ(reference_names(v), (std::vector<std::string>{"HUT_A", "HUT_B"}));
    EXPECT_EQ(v.lights.size(), 1u);

    // A chain: the next scene's origin is tried when the first fails.
    scene shifted;
    shifted.grid.init_counts({-150.0f, 0.0f, -60.0f, 0.0f}, {50.0f, 50.0f, 140.0f, 0.0f}, 4, 1, 4);
    world.next = &shifted;
    v.prepare();
    world.next = nullptr;
    EXPECT_TRUE(unseen->flags & instance_visible);
}

TEST_F(KitSceneViewTest, AddingAnInstanceMarksTheCacheClassOfItsTextures)
{
    model_lib& lib = *world.model_libs.front();
    scene_view v(&world, nullptr, 0, &cam, 0, 0, 640, 480);
    const std::uint32_t classes = model_cache_class_a | model_cache_class_b | model_cache_class_c;
    struct Case {
        const char* what;
        std::uint32_t paint, tyre;   // cache words; 15 is no class
        std::uint32_t bits;
    };
    static const Case* current = nullptr;
    const Case cases[] = {
        {"no classed texture", 15, 15, 0},
        {"class A", 3, 0, model_cache_class_a},
        {"5 with B", 5, 8, model_cache_class_b},
        {"class C", 12, 0x7C, model_cache_class_c},
    };
    texture_surfaces().cache_word = [](const mtr_texture* f) {
        const std::string name = f->name;
        return name == "BIKE_PAINT_PIC" ? current->paint : name == "TYRE_PIC" ? current->tyre : 15u;
    };
    for (const Case& c : cases) {
        current = &c;
        ml_modelinfo* bike = lib.create_instance("BIKE", world.material_libs, 0);
        v.add_instance(bike);
        EXPECT_EQ(bike->flags & classes, c.bits) << c.what;
        v.remove_instance(bike);
        lib.destroy_instance(bike);
    }
    const Case mixed{"A with B", 3, 8, 0};
    current = &mixed;
    ml_modelinfo* bike = lib.create_instance("BIKE", world.material_libs, 0);
    EXPECT_EXIT(v.add_instance(bike), ::testing::ExitedWithCode(1), "Texture cache range error!");
    // The software render type does not class textures.
    current_engine->set_render_type(engine::software_render_type);
    v.add_instance(bike);
    EXPECT_EQ(bike->flags & classes, 0u);
    v.remove_instance(bike);
    EXPECT_EQ(v.instances, nullptr);
    lib.destroy_instance(bike);
}

} // namespace

namespace {

// What the camera looked like while each instance was drawn.
struct lensed_entry {
    ml_modelinfo* instance;
    float fov, focal, lens_w, frustum_x, clip_near;
};
std::vector<lensed_entry> lensed;

} // namespace

// An instance with a lens curve is drawn with the camera's field of view
// made curve(fov) x fov: the camera's lens, its combined matrix and the
// frustum follow, the clip depths are fresh, and the camera's detail factor
// and far distance do not move; afterwards everything is the camera's own
// again, on both paths. Instances without a curve, drawn before and after,
// see the camera's own field of view; a curve giving no number keeps it.
TEST_F(SceneViewTest, AnInstanceWithALensCurveIsDrawnThroughItsOwnFieldOfView)
{
    torvane_test::FpTraps traps;
    camera cam;
    plain_camera(cam, 1000.0f);
    fcurve* range = model_test::make_curve({{0.0f, 3.0f}, {1.0f, 2.0f}});
    cam.range_curve = range;
    cam.set_fov(1.0f);
    const float far = cam.far;
    auto near_one = bare_instance(0.0f, 0.0f, -20.0f, 1.0f);
    auto cockpit = bare_instance(0.0f, 0.0f, -50.0f, 1.0f);
    auto far_one = bare_instance(0.0f, 0.0f, -300.0f, 1.0f);
    // Half the camera's field of view at 1.0 rad: 0.5 rad.
    cockpit->lens_curve = model_test::make_curve({{0.0f, 0.5f}, {2.0f, 0.5f}});
    scene_view v(nullptr, nullptr, 0, &cam, 0, 0, 640, 480);
    for (auto* m : {far_one.get(), cockpit.get(), near_one.get()})
        v.add_instance(m);
    scene_hooks().draw_nodes = [](ml_modelinfo* i, model_record*, scene_view& view, int) {
        const camera& c = *view.cam;
        lensed.push_back({i, c.fov, c.focal, c.combined.m[2][3], view.frustum.planes[0][0], view.projection().near_z});
    };
    for (bool software : {false, true}) {
        SCOPED_TRACE(software ? "software" : "hardware");
        current_engine->set_render_type(software ? engine::software_render_type : 2);
        lensed.clear();
        v.prepare();
        v.frustum.near_z = -0.25f;  // as a race sets its near plane
        v.draw();
        ASSERT_EQ(lensed.size(), 3u);
        for (const lensed_entry& e : lensed) {
            const bool through = e.instance == cockpit.get();
            const float fov = through ? 0.5f : 1.0f;
            EXPECT_FLOAT_EQ(e.fov, fov);
            EXPECT_FLOAT_EQ(e.focal, 1.0f / std::tan(fov / 2.0f));
            EXPECT_FLOAT_EQ(e.lens_w, -std::tan(fov / 2.0f)) << "the combined matrix follows the lens";
            EXPECT_FLOAT_EQ(e.frustum_x, -std::cos(fov / 2.0f) / std::sin(fov / 2.0f));
            EXPECT_EQ(e.clip_near, -0.25f);
        }
        EXPECT_FLOAT_EQ(cam.fov, 1.0f);
        EXPECT_FLOAT_EQ(cam.combined.m[2][3], -std::tan(0.5f));
        EXPECT_FLOAT_EQ(v.frustum.planes[0][0], -std::cos(0.5f) / std::sin(0.5f));
        EXPECT_EQ(cam.far, far);
    }
    delete cockpit->lens_curve;
    cockpit->lens_curve = model_test::constant_curve(std::nanf(""));
    current_engine->set_render_type(2);
    lensed.clear();
    v.prepare();
    v.draw();
    for (const lensed_entry& e : lensed)
        EXPECT_FLOAT_EQ(e.fov, 1.0f);
    cam.range_curve = nullptr;
    delete range;
}
