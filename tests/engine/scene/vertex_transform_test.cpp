#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/base/clipper.h"
#include "engine/model/anim_channels.h"
#include "engine/model/shape_anim.h"
#include "engine/scene/vertex_transform.h"
#include "tests/engine/scene/transform_fixture.h"
#include "tests/support/fp_traps.h"

using scene_test::cube;
using scene_test::identity;
using scene_test::lens90;
using scene_test::mesh_node;
using scene_test::mesh_of;
using scene_test::translation;
using scene_test::TransformTest;

namespace {

// Counts in a string.
int occurrences(const std::string& text, const std::string& what)
{
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

} // namespace

// Every plane in turn, points on a plane (inside), the far plane's edge and
// points of equal depth, through the routine and against the clipper's own
// outcode of the same clip position.
TEST_F(TransformTest, OutcodesAgainstEachPlane)
{
    torvane_test::FpTraps traps;
    struct row {
        const char* what;
        vec4 p;
        std::uint32_t code;
    };
    const row rows[] = {
        {"inside", {0, 0, -10, 1}, 0},
        {"on the right plane", {10, 0, -10, 1}, 0},
        {"right", {10.5f, 0, -10, 1}, 2},
        {"on the left plane", {-10, 0, -10, 1}, 0},
        {"left", {-10.5f, 0, -10, 1}, 1},
        {"on the top plane", {0, 10, -10, 1}, 0},
        {"top", {0, 10.5f, -10, 1}, 4},
        {"bottom", {0, -10.5f, -10, 1}, 8},
        {"on the near plane", {0, 0, -1, 1}, 0},
        {"before the near plane", {0, 0, -0.5f, 1}, 16},
        {"behind the camera", {0, 0, 5, 1}, 1 | 8 | 16},
        {"at the far plane", {0, 0, -400000.0f, 1}, 0},
        {"past the far plane", {0, 0, -400000.5f, 1}, 32},
        {"past the far plane and right", {500000, 0, -400000.5f, 1}, 2 | 32},
        {"left and top", {-20, 20, -10, 1}, 1 | 4},
        {"equal depth, inside", {3, 4, -400000.0f, 1}, 0},
        {"equal depth, left", {-400001, -4, -400000.0f, 1}, 1},
    };
    std::vector<vec4> points;
    for (const row& r : rows)
        points.push_back(r.p);
    auto node = mesh_node(mesh_of(points), node_kind_compact_b);
    const mat4 lens = lens90();
    EXPECT_EQ(transform_mesh_matrix(frame, *node, lens), 0);
    ASSERT_EQ(frame.written, points.size());

    clip_record clip{};
    clip.upper_z = frame.projection.near_z;
    clip.lower_z = frame.projection.far_z;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const work_vertex& w = frame.work[i];
        EXPECT_EQ(w.outcode, rows[i].code) << rows[i].what;
        EXPECT_EQ(w.w, -rows[i].p.z) << rows[i].what;
        clip_vertex c{};
        c.x = w.x;
        c.y = w.y;
        c.z = w.z;
        c.w = w.w;
        EXPECT_EQ(clip_outcode(&clip, &c), w.outcode) << rows[i].what;
    }
    // Equal depths share w and 1/w exactly.
    EXPECT_EQ(frame.screen[15].rhw, frame.screen[16].rhw);
    EXPECT_EQ(frame.screen[15].rhw, 1.0f / 400000.0f);

    // A point half-way to the right and top edges lands half-way between
    // the centre and those edges; u, v and the intensity come along.
    auto one = mesh_node(mesh_of({{5, 5, -10, 1}}), node_kind_compact_b);
    transform_mesh_matrix(frame, *one, lens);
    EXPECT_FLOAT_EQ(frame.screen[0].sx, 319.0f + 319.0f * 0.5f);
    EXPECT_FLOAT_EQ(frame.screen[0].sy, 239.0f - 239.0f * 0.5f);
    EXPECT_FLOAT_EQ(frame.screen[0].rhw, 0.1f);
    EXPECT_EQ(frame.work[0].u, 0.0f);
    EXPECT_EQ(frame.work[0].intensity, 0.5f);

    // NaN is outside, as the clipper has it, and raises nothing.
    const float nan = std::nanf("");
    EXPECT_EQ(vertex_outcode(nan, 0, -10, 10, frame.projection) & 1u, 1u);
    EXPECT_EQ(vertex_outcode(0, 0, nan, 10, frame.projection) & 16u, 16u);
}

// A vertex in the camera's own plane has w' = 0: no division by zero (the
// traps would stop the test), the view's centre, 1/w' = 0, and outside the
// near plane so that drawing clips it.
TEST_F(TransformTest, VertexInTheCameraPlaneIsGuarded)
{
    torvane_test::FpTraps traps;
    auto node = mesh_node(mesh_of({{1, 1, 0, 1}, {0, 0, 0, 1}, {2, 0, -2, 1}}), node_kind_compact_b);
    transform_mesh_matrix(frame, *node, lens90());
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(frame.screen[i].rhw, 0.0f);
        EXPECT_EQ(frame.screen[i].sx, 319.0f);
        EXPECT_EQ(frame.screen[i].sy, 239.0f);
        EXPECT_NE(frame.work[i].outcode & 16u, 0u);
    }
    EXPECT_EQ(frame.work[0].outcode, 2u | 4u | 16u);
    EXPECT_FLOAT_EQ(frame.screen[2].rhw, 0.5f);
}

// The view-volume check of meshes of more than 4 vertices: quiet for a mesh
// inside and for one straddling the near plane; a vertex outside a sphere
// that claims to be inside is counted, and reported once, not per vertex.
TEST_F(TransformTest, SphereCheckAndNearPlaneStraddling)
{
    const mat4 lens = lens90();
    {
        auto inside = mesh_node(mesh_of(cube({0, 0, -10, 1}, 1)));
        EXPECT_EQ(transform_clip_mesh(frame, *inside, lens, identity(), identity(), 0), 0);
        for (int i = 0; i < 8; ++i)
            EXPECT_EQ(frame.work[i].outcode, 0u);
        EXPECT_FLOAT_EQ(inside->mesh->bound_radius, 1.63f * std::sqrt(3.0f));
    }
    {
        // Straddles the near plane (z from 0 to -2): the near face is out,
        // the far face in, and the sphere is not wholly inside.
        auto straddling = mesh_node(mesh_of(cube({0, 0, -1, 1}, 1)));
        transform_clip_mesh(frame, *straddling, lens, identity(), identity(), 0);
        int out = 0;
        for (int i = 0; i < 8; ++i)
            out += (frame.work[i].outcode & 16u) != 0;
        EXPECT_EQ(out, 4);
    }
    EXPECT_EQ(transform_faults().clip_check, 0u);

    // Bounds that leave two vertices out of a sphere inside the view.
    std::vector<vec4> points = cube({0, 0, -10, 1}, 1);
    points[0].x = -100;
    points[7].x = 100;
    auto damaged = mesh_node(mesh_of(points));
    damaged->mesh->bound_centre = {0, 0, -10, 1};
    damaged->mesh->bound_radius = 2.0f;
    testing::internal::CaptureStderr();
    transform_clip_mesh(frame, *damaged, lens, identity(), identity(), 0);
    transform_clip_mesh(frame, *damaged, lens, identity(), identity(), 0);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(transform_faults().clip_check, 4u);
    EXPECT_EQ(occurrences(said, "check error!: clip 3d"), 1);

    // A mesh of 4 vertices is never checked.
    auto four = mesh_node(mesh_of({points[0], points[1], points[2], points[7]}));
    four->mesh->bound_centre = {0, 0, -10, 1};
    four->mesh->bound_radius = 2.0f;
    transform_clip_mesh(frame, *four, lens, identity(), identity(), 0);
    EXPECT_EQ(transform_faults().clip_check, 4u);
}

// Room in the buffers: the hardware path takes meshes of up to 1000
// vertices and refuses larger ones (once reported); the software path
// skips a mesh that would bring the frame to its vertex limit, while a
// smaller one still goes in at the arena's current position.
TEST_F(TransformTest, MeshesMustFitTheBuffers)
{
    const mat4 lens = lens90();
    auto big = mesh_node(mesh_of(std::vector<vec4>(1001, vec4{0, 0, -10, 1})));
    auto full = mesh_node(mesh_of(std::vector<vec4>(1000, vec4{0, 0, -10, 1})));
    testing::internal::CaptureStderr();
    EXPECT_EQ(transform_clip_mesh(frame, *big, lens, identity(), identity(), 0), 0);
    EXPECT_EQ(transform_mesh_matrix(frame, *big, lens), 0);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(frame.written, 0u);
    EXPECT_EQ(transform_faults().oversized_meshes, 2u);
    transform_clip_mesh(frame, *full, lens, identity(), identity(), 0);
    EXPECT_EQ(frame.written, 1000u);
    EXPECT_EQ(frame.work, current_engine->vertex_a1);

    current_engine->set_render_type(engine::software_render_type);
    const std::uint32_t limit = static_cast<std::uint32_t>(software_vertex_limit);
    frame.current = frame.in_use = limit - 10;
    auto ten = mesh_node(mesh_of(std::vector<vec4>(10, vec4{0, 0, -10, 1})));
    auto eight = mesh_node(mesh_of(cube({0, 0, -10, 1}, 1)));
    EXPECT_EQ(transform_clip_mesh(frame, *ten, lens, identity(), identity(), 0), 0);
    EXPECT_EQ(frame.written, 0u);
    EXPECT_EQ(frame.in_use, limit - 10);
    transform_clip_mesh(frame, *eight, lens, identity(), identity(), 0);
    EXPECT_EQ(frame.written, 8u);
    EXPECT_EQ(frame.work, current_engine->sw_vertices + (limit - 10));
    EXPECT_EQ(frame.screen, current_engine->sw_vertices2 + (limit - 10));
    EXPECT_EQ(frame.next_free, limit - 2);
    EXPECT_EQ(frame.in_use, limit - 2);
    EXPECT_FLOAT_EQ(frame.work[7].w, 9.0f);
}

// A plain mesh returns 0 and carries its normals when the node asks for
// them; a shaped mesh returns 1 and is drawn at the shape's positions; a
// sprite faces the camera; a compact node of kind A keeps world axes at its
// local position.
TEST_F(TransformTest, NormalsShapesSpritesAndPivots)
{
    torvane_test::FpTraps traps;
    const std::vector<vec4> points = cube({0, 0, 0, 1}, 1);
    const mat4 camera = translation(0, 0, -10);  // world to clip without a lens

    auto plain = mesh_node(mesh_of(points));
    plain->flags |= node_copied;
    mat_rot_y(&plain->world, 1.5707964f);
    EXPECT_EQ(transform_clip_mesh(frame, *plain, camera, identity(), identity(), 0), 0);
    // The normal (0, 0, 1) turned about y by 90 degrees: (1, 0, 0).
    EXPECT_NEAR(frame.work[0].nx, 1.0f, 1e-6f);
    EXPECT_NEAR(frame.work[0].nz, 0.0f, 1e-6f);
    // Vertex 0 (-1, -1, -1) turned: (-1, -1, 1), then 10 back.
    EXPECT_NEAR(frame.work[0].x, -1.0f, 1e-6f);
    EXPECT_NEAR(frame.work[0].z, -9.0f, 1e-6f);

    auto shaped = mesh_node(mesh_of(points));
    auto* record = new (pool_anim_node) anim_node;
    auto* shape = new (pool_shape_anim) shape_anim;
    ASSERT_TRUE(shape->allocate(8, 1, false));
    for (std::uint32_t i = 0; i < 8; ++i)
        shape->positions[i] = {points[i].x * 2, points[i].y * 3, points[i].z, 1};
    record->shapes = shape;
    shaped->anim = record;
    EXPECT_EQ(transform_clip_mesh(frame, *shaped, camera, identity(), identity(), 0), 1);
    for (std::uint32_t i = 0; i < 8; ++i) {
        EXPECT_FLOAT_EQ(frame.work[i].x, points[i].x * 2);
        EXPECT_FLOAT_EQ(frame.work[i].y, points[i].y * 3);
        EXPECT_FLOAT_EQ(frame.work[i].z, points[i].z - 10);
        EXPECT_FLOAT_EQ(frame.work[i].u, static_cast<float>(i));
    }
    // The detail-level twin takes the deformation of the node it refers to.
    auto level = mesh_node(mesh_of(points), node_kind_level);
    level->level0 = shaped.get();
    EXPECT_EQ(transform_clip_mesh_alt(frame, *level, camera, identity(), identity(), 0), 1);
    EXPECT_FLOAT_EQ(frame.work[7].y, 3.0f);
    shaped->anim = nullptr;
    delete record;

    // A sprite (mesh word 1) at (5, 0, 0), rolled by 90 degrees, scaled 2:
    // its x axis becomes the camera's y axis.
    auto sprite = mesh_node(mesh_of({{1, 0, 0, 1}, {0, 1, 0, 1}}));
    sprite->mesh->mesh_word = 1;
    sprite->angles.z = 1.5707964f;
    sprite->world_scale = {2, 2, 2, 1};
    sprite->world_centre = {5, 0, 0, 1};
    transform_clip_mesh(frame, *sprite, identity(), identity(), identity(), 0);
    EXPECT_NEAR(frame.work[0].x, 5.0f, 1e-6f);
    EXPECT_NEAR(frame.work[0].y, 2.0f, 1e-6f);
    EXPECT_NEAR(frame.work[1].x, 3.0f, 1e-6f);
    EXPECT_NEAR(frame.work[1].y, 0.0f, 1e-6f);

    // Compact kind A: world axes, unscaled, at the local position.
    auto pivot = mesh_node(mesh_of(points), node_kind_compact_a);
    pivot->local_position = {4, 5, 6, 1};
    mat_rot_y(&pivot->world, 1.0f);  // not used
    EXPECT_EQ(transform_mesh_pivot(frame, *pivot, camera), 0);
    EXPECT_FLOAT_EQ(frame.work[7].x, 5.0f);
    EXPECT_FLOAT_EQ(frame.work[7].y, 6.0f);
    EXPECT_FLOAT_EQ(frame.work[7].z, -3.0f);
    auto pivot_level = mesh_node(mesh_of(points), node_kind_level);
    pivot_level->level0 = pivot.get();
    transform_mesh_pivot_alt(frame, *pivot_level, camera);
    EXPECT_FLOAT_EQ(frame.work[0].x, 3.0f);

    // Face-camera: world axes at the node's world position.
    auto facing = mesh_node(mesh_of(points));
    mat_rot_y(&facing->world, 1.0f);
    facing->world.m[3][0] = 7;
    transform_clip_mesh(frame, *facing, camera, identity(), identity(), 1);
    EXPECT_FLOAT_EQ(frame.work[7].x, 8.0f);
    EXPECT_FLOAT_EQ(frame.work[7].z, -9.0f);
}

// Muscles move the rest vertices after the shapes, with or without a
// deformation record; a detail-level node takes its level-0 node's muscles.
TEST_F(TransformTest, MusclesApplyAfterShapes)
{
    torvane_test::FpTraps traps;
    const std::vector<vec4> points = cube({0, 0, 0, 1}, 1);
    const mat4 camera = translation(0, 0, -10);
    auto node = mesh_node(mesh_of(points));
    // One muscle of one key (no curve: key 0) lifting vertices 0 and 5 by 4.
    node->muscles = new muscle_record[1];
    node->muscle_count = 1;
    shape_anim& lift = node->muscles[0].shape;
    lift.vertex_count = 2;
    lift.key_count = 1;
    lift.offsets = new std::uint16_t[2]{0, 5 * pipeline_vertex_bytes};
    lift.positions = new vec4[2]{{points[0].x, points[0].y + 4, points[0].z, 1}, {points[5].x, points[5].y + 4, points[5].z, 1}};

    EXPECT_EQ(transform_clip_mesh(frame, *node, camera, identity(), identity(), 0), 1);
    for (std::uint32_t i = 0; i < 8; ++i) {
        const float lifted = (i == 0 || i == 5) ? 4.0f : 0.0f;
        EXPECT_FLOAT_EQ(frame.work[i].y, points[i].y + lifted) << i;
        EXPECT_FLOAT_EQ(frame.work[i].z, points[i].z - 10) << i;
    }

    // With a shape record the shape comes first and the muscle overrides
    // the vertices it names.
    auto* record = new (pool_anim_node) anim_node;
    auto* shape = new (pool_shape_anim) shape_anim;
    ASSERT_TRUE(shape->allocate(8, 1, false));
    for (std::uint32_t i = 0; i < 8; ++i)
        shape->positions[i] = {points[i].x * 2, points[i].y, points[i].z, 1};
    record->shapes = shape;
    node->anim = record;
    EXPECT_EQ(transform_clip_mesh(frame, *node, camera, identity(), identity(), 0), 1);
    EXPECT_FLOAT_EQ(frame.work[0].x, points[0].x);       // the muscle's position
    EXPECT_FLOAT_EQ(frame.work[0].y, points[0].y + 4);
    EXPECT_FLOAT_EQ(frame.work[1].x, points[1].x * 2);   // the shape's

    // The detail-level twin follows the level-0 node's muscles.
    node->anim = nullptr;
    delete record;
    auto level = mesh_node(mesh_of(points), node_kind_level);
    level->level0 = node.get();
    EXPECT_EQ(transform_clip_mesh_alt(frame, *level, camera, identity(), identity(), 0), 1);
    EXPECT_FLOAT_EQ(frame.work[5].y, points[5].y + 4);
    EXPECT_FLOAT_EQ(frame.work[6].y, points[6].y);
}

// Skin groups move their vertices by the bone; vertices no group names
// follow the node; a vertex number past the mesh is skipped and counted.
TEST_F(TransformTest, SkinGroupsMoveTheirVertices)
{
    torvane_test::FpTraps traps;
    auto node = mesh_node(mesh_of({{1, 0, 0, 1}, {2, 0, 0, 1}, {3, 0, 0, 1}}));
    node->world = translation(10, 0, 0);

    bone_object bone;
    bone.skinning = translation(0, 5, 0);
    skin_group group;
    group.owner = 0;
    std::uint16_t vertices[] = {0, 2, 7};
    group.vertices = vertices;
    group.vertex_count = 3;
    node->skin_refs = new skin_ref*[1];
    node->skin_refs[0] = new skin_ref;
    node->skin_refs[0]->bone = &bone;
    node->skin_refs[0]->group = &group;
    node->skin_ref_count = 1;
    node->skin_ref_room = 1;

    testing::internal::CaptureStderr();
    EXPECT_EQ(transform_clip_mesh(frame, *node, identity(), identity(), identity(), 0), 0);
    testing::internal::GetCapturedStderr();
    EXPECT_FLOAT_EQ(frame.work[0].x, 11.0f);
    EXPECT_FLOAT_EQ(frame.work[0].y, 5.0f);
    EXPECT_FLOAT_EQ(frame.work[1].x, 12.0f);
    EXPECT_FLOAT_EQ(frame.work[1].y, 0.0f);
    EXPECT_FLOAT_EQ(frame.work[2].y, 5.0f);
    EXPECT_EQ(transform_faults().bad_skin_vertices, 1u);
    group.vertices = nullptr;
}
