// The ground under an instance: a kit-made ground model placed in a map
// grid, its meshes marked by their level values, and the search that finds
// the face under a point.

#include <bit>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/base/engine.h"
#include "engine/base/name_hash.h"
#include "engine/base/texture_record.h"
#include "engine/model/ground_poly.h"
#include "engine/model/ml_modelinfo.h"
#include "engine/model/model_lib.h"
#include "engine/model/mtr_lib.h"
#include "engine/scene/ground_under.h"
#include "engine/scene/map_grid.h"
#include "engine/scene/scene.h"
#include "engine/scene/scene_view.h"
#include "tests/engine/model/model_fixture.h"
#include "tests/engine/scene/kit_model.h"
#include "tests/support/fp_traps.h"
#include "tests/support/temp_dir.h"
#include "tools/datakit/mdl_writer.h"

namespace {

// "GROUND": an empty root of radius 40 holding "TARMAC" (level 0, ground)
// and "WALL" (level 5, beside it at x 20..40, never ground).
mdl_model ground_model()
{
    mdl_object root = datakit::mdl_empty_object("GROUND", 0, -1, -1, 1);
    root.radius = 40.0f;
    mdl_object tarmac = scene_test::kit_ground_mesh("TARMAC", 1, 0.0f, 0.0f, 0.0f, "TARMAC");
    tarmac.sibling = 2;
    mdl_object wall = scene_test::kit_ground_mesh("WALL", 2, 30.0f, 0.0f, 5.0f, "TARMAC");
    return datakit::mdl_single_level("GROUND", {root, tarmac, wall});
}

// Clear where u is below one half.
bool clear_left(const mtr_texture*, float u, float)
{
    return u < 0.5f;
}

class GroundTest : public model_test::ModelTest {
protected:
    void SetUp() override
    {
        ModelTest::SetUp();
        const auto path = torvane_test::make_temp_dir("ground") / "Ground.mdl";
        std::string error;
        ASSERT_TRUE(datakit::write_mdl(path, {ground_model()}, error)) << error;
        lib = std::make_unique<model_lib>("ground");
        ASSERT_EQ(lib->try_open(path.string().c_str()), mdl_status::ok);
        ASSERT_EQ(lib->load_model("GROUND", 0), 1);
        ground = lib->create_instance("GROUND", nullptr, 0);
        ASSERT_NE(ground, nullptr);
        ground->set_flags(0x1);
        ground->flags |= 0x10000;
        ground->set_position(0.0f, 0.0f, 0.0f, 1.0f);
        // The scene marks its ground once: TARMAC's faces are below the
        // threshold, WALL's are not.
        EXPECT_EQ(ground->first_node->mark_below_level(0.0f, 0.5f), 1);
        tarmac = ground->find_node(name_hash("TARMAC"));
        wall = ground->find_node(name_hash("WALL"));
        ASSERT_TRUE(tarmac && wall);

        ASSERT_TRUE(grid.init_counts({-40, -10, -40, 0}, {40, 10, 40, 0}, 8, 2, 8));
        // The ground is listed in every cell it covers.
        map_item item;
        item.name[0] = 'G';
        for (float x : {-10.0f, 0.0f, 10.0f})
            for (float z : {-10.0f, 0.0f, 10.0f}) {
                map_item* copy = grid.insert(item, x, 0.0f, z, 0);
                ASSERT_NE(copy, nullptr);
                copy->instance = ground;
                items_.push_back(copy);
            }

        rider.first_node = new model_node(node_kind_full);
        rider.node_count = 1;
        rider.enable_shadow();
        saved_ops_ = texture_surfaces();
    }
    void TearDown() override
    {
        texture_surfaces() = saved_ops_;
        ModelTest::TearDown();
    }

    float ground_at(float x, float z)
    {
        rider.position = {x, 1.0f, z, 1.0f};
        ground_under_instance(&rider, grid);
        return rider.ground_factor;
    }

    std::unique_ptr<model_lib> lib;
    ml_modelinfo* ground = nullptr;
    model_node* tarmac = nullptr;
    model_node* wall = nullptr;
    map_grid grid;
    std::vector<map_item*> items_;
    ml_modelinfo rider{"RIDER"};

private:
    texture_surface_ops saved_ops_;
};

// Level values: v - d F with d = v - level, F = amount^d (d >= 0) or
// amount^(level + v) (d < 0); a mesh is ground once a face's mean level is
// below the engine's threshold; an amount not above 0 changes nothing.
TEST_F(GroundTest, MarkingLowersLevelValuesAndFlagsGroundMeshes)
{
    torvane_test::FpTraps traps;
    EXPECT_TRUE(tarmac->flags & node_flag_ground);
    EXPECT_FALSE(wall->flags & node_flag_ground);
    float v = 0.0f;
    std::memcpy(&v, wall->mesh->vertices.data() + 40, 4);
    EXPECT_FLOAT_EQ(v, 5.0f - 5.0f / 32.0f);   // d = 5, F = 0.5^5

    struct row {
        float v, level, amount, expected;
    };
    const row rows[] = {
        {0.0f, 0.0f, 0.5f, 0.0f},        // d = 0: F = 1, nothing moves
        {2.0f, 1.0f, 0.5f, 1.5f},        // d = 1: 2 - 1 x 0.5
        {-1.0f, 0.0f, 0.5f, 1.0f},       // d = -1: F = 0.5^-1 = 2, -1 + 2
        {3.0f, 1.0f, 0.0f, 3.0f},        // amount 0: left alone
    };
    for (const row& r : rows) {
        model_part part;
        part.vertex_count = 1;
        part.vertices.assign(48, 0);
        std::memcpy(part.vertices.data() + 40, &r.v, 4);
        model_node n(node_kind_full);
        n.type = node_mesh;
        n.mesh = &part;
        n.owner_state = 0;
        EXPECT_EQ(n.mark_below_level(r.level, r.amount), 0);   // no faces: never ground
        float got = 0.0f;
        std::memcpy(&got, part.vertices.data() + 40, 4);
        EXPECT_FLOAT_EQ(got, r.expected) << r.v << " " << r.level << " " << r.amount;
        n.mesh = nullptr;
    }
}

// The search finds the face under a point through the grid, on a face's
// edge too, and nothing over a face above the threshold or off the ground.
TEST_F(GroundTest, GroundUnderInstanceFindsTheFaceUnderAPoint)
{
    torvane_test::FpTraps traps;
    struct row {
        const char* what;
        float x, z;
        float factor;
        bool tarmac;
    };
    const row rows[] = {
        {"inside a quad", 5.0f, 5.0f, 0.5f, true},
        {"on the edge between quads", 0.0f, 3.0f, 0.5f, true},
        {"on the ground's outer edge", -10.0f, -10.0f, 0.5f, true},
        {"over the wall (level 5)", 30.0f, 0.0f, 1.0f, false},
        {"beside the ground", -15.0f, 0.0f, 1.0f, false},
        {"outside the grid", 100.0f, 100.0f, 1.0f, false},
    };
    for (const row& r : rows) {
        rider.ground_node = nullptr;
        rider.ground_instance = nullptr;
        EXPECT_EQ(ground_at(r.x, r.z), r.factor) << r.what;
        EXPECT_EQ(rider.ground_instance, r.tarmac ? ground : nullptr) << r.what;
        if (r.tarmac) {
            EXPECT_EQ(rider.ground_node, tarmac) << r.what;
        }
    }

    // The node and instance found last time are tried before the grid.
    ASSERT_EQ(ground_at(5.0f, 5.0f), 0.5f);
    for (map_item* i : items_)
        i->instance = nullptr;
    EXPECT_EQ(ground_at(-5.0f, 5.0f), 0.5f);
    // Once an instance has been destroyed, the cache is not trusted.
    lib->destroy_instance(ground);
    EXPECT_EQ(ground_at(5.0f, 5.0f), 1.0f);
    EXPECT_EQ(rider.ground_instance, nullptr);
    EXPECT_EQ(rider.ground_node, nullptr);
}

// The scene view's hook searches the scene's grid and leaves the factor in
// the word a pair copies.
TEST_F(GroundTest, TheSceneViewsHookSearchesTheScenesGrid)
{
    const auto saved = scene_hooks();
    install_ground_under_hook();
    ASSERT_EQ(scene_hooks().ground_under_instance, &ground_under_scene);
    scene world;
    world.grid = std::move(grid);
    rider.position = {5.0f, 1.0f, 5.0f, 1.0f};
    scene_hooks().ground_under_instance(&rider, &world);
    EXPECT_EQ(rider.ground_factor, 0.5f);
    EXPECT_EQ(rider.shadow_state[0], std::bit_cast<std::uint32_t>(0.5f));
    scene_hooks().ground_under_instance(&rider, nullptr);
    EXPECT_EQ(rider.ground_factor, 1.0f);
    EXPECT_EQ(rider.shadow_state[0], std::bit_cast<std::uint32_t>(1.0f));
    scene_hooks() = saved;
}

// Cut-out ground: no ground where the face's texture is clear under the
// point, ground where it is not; the software path takes it as ground.
TEST_F(GroundTest, CutOutGroundIsGroundOnlyWhereItsTextureIsNotClear)
{
    auto frame = std::make_unique<mtr_texture>();
    auto material = std::make_unique<mesh_material>();
    material->texture = new mesh_texture;
    material->texture->first_frame = frame.get();
    material->texture->frame_count = 1;
    material_ref ref;
    ref.material = material.get();
    tarmac->material_refs = {ref};
    tarmac->flags |= node_flag_cutout;
    texture_surfaces().texel_clear = &clear_left;

    model_node* slot = nullptr;
    EXPECT_EQ(find_ground_poly(ground, &slot, {5.0f, 0.0f, 5.0f, 1.0f}, 0), 1);    // u = 0.75
    EXPECT_EQ(slot, tarmac);
    EXPECT_EQ(find_ground_poly(ground, &slot, {-5.0f, 0.0f, 5.0f, 1.0f}, 0), 0);   // u = 0.25: clear
    EXPECT_EQ(slot, nullptr);
    current_engine->render_type = engine::software_render_type;
    EXPECT_EQ(find_ground_poly(ground, &slot, {-5.0f, 0.0f, 5.0f, 1.0f}, 0), 1);
    current_engine->render_type = 0;

    // The cut-out option of the engine decides whether marking flags it.
    tarmac->flags &= ~node_flag_ground;
    EXPECT_EQ(tarmac->mark_below_level(0.0f, 0.5f), 0);
    current_engine->cutout_ground = 1;
    EXPECT_EQ(tarmac->mark_below_level(0.0f, 0.5f), 1);
    EXPECT_TRUE(tarmac->flags & node_flag_ground);
    tarmac->material_refs.clear();
}

// Whether something with ground stands over or under a point (the lens
// flare's question): the grid's cells around the point, shown ground
// instances only, every index held inside the grid.
TEST_F(GroundTest, GridFindGroundSearchesTheCellsAroundAPoint)
{
    torvane_test::FpTraps traps;
    scene world;
    world.grid = std::move(grid);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct row {
        const char* what;
        vec4 point;
        int found;
    };
    const row rows[] = {
        {"over the tarmac", {5.0f, 1.0f, 5.0f, 1.0f}, 1},
        {"on the tarmac's outer edge", {-10.0f, 1.0f, -10.0f, 1.0f}, 1},
        {"above the grid's box (its top level searched)", {5.0f, 15.0f, 5.0f, 1.0f}, 1},
        {"far above, outside the ground's sphere", {5.0f, 5000.0f, 5.0f, 1.0f}, 0},
        {"over the wall (level 5, not ground)", {30.0f, 1.0f, 0.0f, 1.0f}, 0},
        {"beside the ground", {-15.0f, 1.0f, 0.0f, 1.0f}, 0},
        {"outside the grid", {100.0f, 1.0f, 100.0f, 1.0f}, 0},
        {"far outside the grid, below it", {-1e30f, -1e30f, -1e30f, 1.0f}, 0},
        {"not a number", {nan, nan, nan, 1.0f}, 0},
    };
    for (const row& r : rows) {
        ground_search_cache cache;
        EXPECT_EQ(grid_find_ground(r.point, &world, cache), r.found) << r.what;
        EXPECT_EQ(cache.instance, r.found ? ground : nullptr) << r.what;
        EXPECT_EQ(cache.node, r.found ? tarmac : nullptr) << r.what;
    }

    // Only instances both shown and marked as ground are asked.
    for (std::uint32_t flag : {0x1u, 0x10000u}) {
        ground->flags &= ~flag;
        ground_search_cache cache;
        EXPECT_EQ(grid_find_ground({5.0f, 1.0f, 5.0f, 1.0f}, &world, cache), 0) << flag;
        ground->flags |= flag;
    }
    // No scene, or a scene without a grid: nothing.
    ground_search_cache none;
    EXPECT_EQ(grid_find_ground({5.0f, 1.0f, 5.0f, 1.0f}, nullptr, none), 0);
    scene empty;
    EXPECT_EQ(grid_find_ground({5.0f, 1.0f, 5.0f, 1.0f}, &empty, none), 0);
}

// The node and the instance found last are asked before the grid; a miss
// clears the instance; a destroyed instance makes the cache untrusted.
TEST_F(GroundTest, GridFindGroundTriesItsCachesFirst)
{
    scene world;
    world.grid = std::move(grid);
    ground_search_cache cache;
    ASSERT_EQ(grid_find_ground({5.0f, 1.0f, 5.0f, 1.0f}, &world, cache), 1);
    // The grid no longer names the ground: only the caches can find it.
    for (map_item* i : items_)
        i->instance = nullptr;
    EXPECT_EQ(grid_find_ground({-5.0f, 1.0f, 5.0f, 1.0f}, &world, cache), 1);
    EXPECT_EQ(cache.node, tarmac);
    // The cached node misses, the cached instance is asked (and finds it).
    cache.node = wall;
    EXPECT_EQ(grid_find_ground({-5.0f, 1.0f, -5.0f, 1.0f}, &world, cache), 1);
    EXPECT_EQ(cache.node, tarmac);
    EXPECT_EQ(cache.instance, ground);
    // Off the ground: both miss, and both are cleared.
    EXPECT_EQ(grid_find_ground({-15.0f, 1.0f, 0.0f, 1.0f}, &world, cache), 0);
    EXPECT_EQ(cache.instance, nullptr);
    EXPECT_EQ(cache.node, nullptr);

    cache.instance = ground;
    cache.node = tarmac;
    lib->destroy_instance(ground);
    ground = nullptr;
    EXPECT_EQ(grid_find_ground({5.0f, 1.0f, 5.0f, 1.0f}, &world, cache), 0);
    EXPECT_EQ(cache.instance, nullptr);
    EXPECT_EQ(cache.node, nullptr);
}

// The grid's reach counts cells: an instance listed one cell away from the
// point is found with a reach of 1, not with 0.
TEST_F(GroundTest, GridFindGroundReachesAsManyCellsAsTheGridsReach)
{
    scene world;
    ASSERT_TRUE(world.grid.init_counts({-40, -10, -40, 0}, {40, 10, 40, 0}, 8, 2, 8));
    map_item item;
    item.name[0] = 'G';
    map_item* copy = world.grid.insert(item, 10.0f, 0.0f, 10.0f, 0);   // cell (5, 1, 5)
    ASSERT_NE(copy, nullptr);
    copy->instance = ground;
    const vec4 point{5.0f, 1.0f, 5.0f, 1.0f};                        // cell (4, 1, 4)
    for (std::int32_t reach : {0, 1, 1000}) {
        world.grid.reach[0] = world.grid.reach[1] = world.grid.reach[2] = reach;
        ground_search_cache cache;
        EXPECT_EQ(grid_find_ground(point, &world, cache), reach > 0 ? 1 : 0) << reach;
    }
}

} // namespace
