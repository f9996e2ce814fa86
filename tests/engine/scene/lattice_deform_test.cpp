#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/model/anim_channels.h"
#include "engine/model/lattice_anim.h"
#include "engine/model/shape_anim.h"
#include "engine/scene/lattice_deform.h"
#include "engine/scene/vertex_transform.h"
#include "tests/engine/model/lattice_fixture.h"
#include "tests/engine/scene/transform_fixture.h"
#include "tests/support/fp_traps.h"

using model_test::constant_curve;
using model_test::grid_shape;
using model_test::lattice_of;
using scene_test::identity;
using scene_test::mesh_node;
using scene_test::mesh_of;
using scene_test::translation;

namespace {

// The uniform cubic B-spline weights of the outer control points.
float b0(float f) { return (1 - f) * (1 - f) * (1 - f) / 6; }
float b2(float f) { return (-3 * f * f * f + 3 * f * f + 3 * f + 1) / 6; }

// A frame with a cell cache, and a deformation record holding `lattice`,
// evaluated as the pose's node pass does (at the identity, unscaled).
class LatticeDeformTest : public scene_test::TransformTest {
protected:
    void SetUp() override
    {
        TransformTest::SetUp();
        frame.lattice_cache = cache_.get();
    }

    anim_node* record_of(lattice_anim* lattice, std::uint32_t flags = 0)
    {
        auto* record = new (pool_anim_node) anim_node;
        record->flags |= node_lattice_a | flags;
        record->lattice = lattice;
        const mat4 unit_matrix = identity();
        const vec4 unit{1, 1, 1, 1};
        lattice->eval(&unit_matrix, &unit, 0.0f);
        return record;
    }

private:
    std::unique_ptr<lattice_cell_cache> cache_ = std::make_unique<lattice_cell_cache>();
};

} // namespace

// Through the mesh transform: an identity lattice leaves every vertex where
// it was, a bent one moves it by the basis weights of the bent layer, and
// the routine says the mesh was deformed.
TEST_F(LatticeDeformTest, MeshThroughIdentityAndBentLattices)
{
    torvane_test::FpTraps traps;
    const std::vector<vec4> points = {{0.1f, 0.2f, 0.3f, 1}, {2, 2, 2, 1}, {3.9f, 0.5f, 3.3f, 1},
                                      {1, 3, 2, 1},          {0, 0, 0, 1}, {3.95f, 3.95f, 3.95f, 1}};
    for (std::uint32_t n : {2u, 3u, 5u}) {
        auto node = mesh_node(mesh_of(points));
        anim_node* record = record_of(lattice_of({grid_shape(n, n, n, 4.0f)}, constant_curve(0)));
        node->anim = record;
        EXPECT_EQ(transform_clip_mesh(frame, *node, identity(), identity(), identity(), 0), 1) << n;
        for (std::size_t i = 0; i < points.size(); ++i) {
            EXPECT_NEAR(frame.work[i].x, points[i].x, 1e-4f) << n << " " << i;
            EXPECT_NEAR(frame.work[i].y, points[i].y, 1e-4f) << n << " " << i;
            EXPECT_NEAR(frame.work[i].z, points[i].z, 1e-4f) << n << " " << i;
            EXPECT_EQ(frame.work[i].v, 2.0f * static_cast<float>(i));
        }
        delete record;
    }

    // Three layers along x over [0, 2], the middle one raised by 1: along x
    // the working lattice's y offsets are -1, 0, 1, 0, -1 (the borders
    // extrapolated), so a point in cell 0 at fraction f rises by
    // B2(f) - B0(f).
    auto node = mesh_node(mesh_of({{0.5f, 0.7f, 1.2f, 1}, {1.5f, 0.2f, 0.4f, 1}}));
    anim_node* record = record_of(lattice_of({grid_shape(3, 2, 2, 2.0f, 1.0f)}, constant_curve(0)));
    node->anim = record;
    const mat4 camera = translation(0, 0, -10);
    EXPECT_EQ(transform_clip_mesh(frame, *node, camera, identity(), identity(), 0), 1);
    const float f0 = 0.5f * 0.999f;          // cell scale (3 - 1) x 0.999 / 2
    const float f1 = 1.5f * 0.999f - 1.0f;   // cell 1: offsets 0, 1, 0, -1
    EXPECT_NEAR(frame.work[0].x, 0.5f, 1e-4f);
    EXPECT_NEAR(frame.work[0].y, 0.7f + b2(f0) - b0(f0), 1e-4f);
    EXPECT_NEAR(frame.work[0].z, 1.2f - 10.0f, 1e-4f);
    const float b3 = f1 * f1 * f1 / 6;
    const float b1 = 1.0f - b0(f1) - b2(f1) - b3;
    EXPECT_NEAR(frame.work[1].y, 0.2f + b1 - b3, 1e-4f);
    delete record;
}

// With record flag 0x1000 the lattice point is the vertex's world position.
TEST_F(LatticeDeformTest, WorldPositionFlag)
{
    torvane_test::FpTraps traps;
    auto node = mesh_node(mesh_of({{-9, 1, 1, 1}, {-8, 2, 3, 1}}));
    node->world = translation(10, 0, 0);
    node->world_scale = {5, 5, 5, 1};  // not used with the flag
    anim_node* record = record_of(lattice_of({grid_shape(3, 3, 3, 4.0f)}, constant_curve(0)), deform_lattice_world);
    node->anim = record;
    transform_clip_mesh(frame, *node, identity(), identity(), identity(), 0);
    EXPECT_NEAR(frame.work[0].x, 1.0f, 1e-4f);
    EXPECT_NEAR(frame.work[1].x, 2.0f, 1e-4f);
    EXPECT_NEAR(frame.work[1].z, 3.0f, 1e-4f);
    delete record;
}

// Points outside the lattice meet the edge cell: a hair below it stays
// where it is (it used to wrap to the far side of the lattice); further out
// the edge cell is continued for one cell and held there; NaN raises
// nothing.
TEST_F(LatticeDeformTest, PointsOutsideTheLatticeAreClamped)
{
    torvane_test::FpTraps traps;
    lattice_anim* lattice = lattice_of({grid_shape(3, 3, 3, 2.0f)}, constant_curve(0));
    anim_node* record = record_of(lattice);
    lattice_cells_prepare(frame.lattice_cache, lattice->working);
    const float cell = 1.0f / lattice->working->cell_scale[0];
    struct row {
        const char* what;
        float x;
        float want;
    };
    const row rows[] = {
        {"a hair below", -0.001f, -0.001f},
        {"half a cell below", -0.5f * cell, -0.5f * cell},
        {"far below", -50.0f, -cell},
        {"a hair above", 2.0f * cell + 0.001f, 2.0f * cell + 0.001f},
        {"far above", 50.0f, 3.0f * cell},
    };
    for (const row& r : rows) {
        const vec4 q = lattice_point(*frame.lattice_cache, *lattice->working, 0, {r.x, 1, 1, 1}, {1, 1, 1, 1},
                                     identity());
        EXPECT_NEAR(q.x, r.want, 1e-4f) << r.what;
        EXPECT_NEAR(q.y, 1.0f, 1e-4f) << r.what;
    }
    const vec4 q = lattice_point(*frame.lattice_cache, *lattice->working, 0, {std::nanf(""), 1, 1, 1},
                                 {1, 1, 1, 1}, identity());
    EXPECT_NEAR(q.y, 1.0f, 1e-4f);
    delete record;
}

// Patch control points go to camera space by the world and view matrices,
// through the lattice when the record has one; grids larger than the
// buffer or the caller's room are refused.
TEST_F(LatticeDeformTest, PatchControlPoints)
{
    torvane_test::FpTraps traps;
    auto node = std::make_unique<model_node>(node_kind_full);
    node->owner_state = 1;
    node->type = node_patch;
    node->patch = new std::vector<vec4>{{0.5f, 0.7f, 1.2f, 1}, {1, 1, 1, 1}, {0, 2, 0, 1}, {2, 0, 2, 1}};
    node->world = translation(0, 1, 0);
    const mat4 view = translation(0, 0, -5);
    std::vector<vec4> out(8, vec4{0, 0, 0, 7});

    EXPECT_EQ(transform_patch_points(frame, *node, view, out.data(), out.size()), 4u);
    EXPECT_FLOAT_EQ(out[0].y, 1.7f);
    EXPECT_FLOAT_EQ(out[3].z, -3.0f);
    EXPECT_EQ(out[3].w, 7.0f);  // the fourth float is not set

    anim_node* record = record_of(lattice_of({grid_shape(3, 2, 2, 2.0f, 1.0f)}, constant_curve(0)));
    node->anim = record;
    EXPECT_EQ(transform_patch_points(frame, *node, view, out.data(), out.size()), 4u);
    const float f = 0.5f * 0.999f;
    EXPECT_NEAR(out[0].y, 0.7f + b2(f) - b0(f), 1e-4f);  // the lattice, then the view only
    EXPECT_NEAR(out[0].z, 1.2f - 5.0f, 1e-4f);

    // Shapes move the points before the lattice.
    auto* shape = new (pool_shape_anim) shape_anim;
    ASSERT_TRUE(shape->allocate(4, 1, false));
    for (std::uint32_t i = 0; i < 4; ++i)
        shape->positions[i] = (*node->patch)[i];
    shape->positions[0].z = 0.2f;
    record->shapes = shape;
    transform_patch_points(frame, *node, view, out.data(), out.size());
    EXPECT_NEAR(out[0].z, 0.2f - 5.0f, 1e-4f);
    node->anim = nullptr;
    delete record;

    testing::internal::CaptureStderr();
    EXPECT_EQ(transform_patch_points(frame, *node, view, out.data(), 3), 0u);
    node->patch->resize(1001, vec4{0, 0, 0, 1});
    std::vector<vec4> room(1001);
    EXPECT_EQ(transform_patch_points(frame, *node, view, room.data(), room.size()), 0u);
    node->patch->resize(1000);
    EXPECT_EQ(transform_patch_points(frame, *node, view, room.data(), room.size()), 1000u);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(transform_faults().oversized_patches, 2u);
}
