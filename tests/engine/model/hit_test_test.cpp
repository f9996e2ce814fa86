#include <cmath>
#include <cstring>

#include <gtest/gtest.h>

#include "engine/model/hit_test.h"
#include "engine/model/mdl_format.h"
#include "model_builder.h"
#include "model_fixture.h"
#include "tools/datakit/mdl_writer.h"

namespace model_test {
namespace {

class HitTest : public ModelTest {};

// A box hit mesh of the given half sizes, as the kit writes one.
model_part* box_part(vec4 half)
{
    const mdl_object box = datakit::mdl_box_object("BOX", half, "NONE");
    auto* part = new model_part;
    part->vertex_count = static_cast<std::uint32_t>(box.mesh.vertices.size());
    part->face_count = static_cast<std::uint32_t>(box.mesh.faces.size());
    for (const mdl_vertex& v : box.mesh.vertices) {
        const auto* b = reinterpret_cast<const std::uint8_t*>(v.data());
        part->vertices.insert(part->vertices.end(), b, b + mdl::vertex_bytes);
    }
    for (const mdl_face& f : box.mesh.faces) {
        const auto* b = reinterpret_cast<const std::uint8_t*>(f.data());
        part->faces.insert(part->faces.end(), b, b + mdl::face_bytes);
    }
    return part;
}

// A face of `corners` over a vertex array of the given points.
struct face_fixture {
    std::vector<std::uint8_t> vertices;
    std::vector<std::uint8_t> face;
    face_fixture(std::vector<vec4> points, std::vector<std::uint32_t> corners)
    {
        for (const vec4& p : points) {
            const mdl_vertex v = datakit::mdl_make_vertex(p, {0, 0, 1, 0}, 0, 0);
            const auto* b = reinterpret_cast<const std::uint8_t*>(v.data());
            vertices.insert(vertices.end(), b, b + mdl::vertex_bytes);
        }
        const mdl_face f = datakit::mdl_make_face(0, corners, {0, 0, 0, 0});
        const auto* b = reinterpret_cast<const std::uint8_t*>(f.data());
        face.assign(b, b + mdl::face_bytes);
    }
    int nearest(const vec4 seg[2], hit_result& out, float limit = 1.0f)
    {
        return face_segment_test_nearest(out, face.data(), vertices.data(), vertices.size(), seg, limit);
    }
    int vertical(const vec4 seg[2], hit_result& out)
    {
        return face_segment_test(out, face.data(), vertices.data(), vertices.size(), seg, 1.0f);
    }
};

TEST_F(HitTest, FaceTestsFindTheCrossingOnEitherWinding)
{
    const std::vector<vec4> square{{0, 0, 0, 1}, {2, 0, 0, 1}, {2, 0, 2, 1}, {0, 0, 2, 1}};
    const vec4 through[2] = {{0.5f, 3.0f, 1.5f, 1}, {0.5f, -1.0f, 1.5f, 1}};
    // (0.5, 1.5) lies inside the square and the triangle 0-2-3, in either
    // winding, and outside the triangle 0-1-2.
    struct winding {
        std::vector<std::uint32_t> corners;
        int hit;
    };
    const winding cases[] = {{{0, 1, 2, 3}, 1}, {{3, 2, 1, 0}, 1}, {{0, 2, 3}, 1}, {{3, 2, 0}, 1}, {{0, 1, 2}, 0}};
    for (const winding& w : cases) {
        SCOPED_TRACE(testing::Message() << w.corners.size() << " corners from " << w.corners[0]);
        face_fixture f(square, w.corners);
        hit_result r;
        EXPECT_EQ(f.nearest(through, r), w.hit);
        if (w.hit) {
            EXPECT_FLOAT_EQ(r.t, 0.75f);
            EXPECT_FLOAT_EQ(r.point.y, 0.0f);
            EXPECT_FLOAT_EQ(r.point.x, 0.5f);
            // The normal is recomputed from the corners and stored in the face.
            float stored;
            std::memcpy(&stored, f.face.data() + 12, 4);
            EXPECT_EQ(stored, r.normal.y);
            EXPECT_NE(r.normal.y, 0.0f);
        }
        // A point beside the face, a segment too short, a parallel segment.
        const vec4 beside[2] = {{2.5f, 3.0f, 1.0f, 1}, {2.5f, -1.0f, 1.0f, 1}};
        const vec4 short_of[2] = {{0.5f, 3.0f, 1.5f, 1}, {0.5f, 0.5f, 1.5f, 1}};
        const vec4 parallel[2] = {{-1.0f, 0.0f, 1.0f, 1}, {3.0f, 0.0f, 1.0f, 1}};
        EXPECT_EQ(f.nearest(beside, r), 0);
        EXPECT_EQ(f.nearest(short_of, r), 0);
        EXPECT_EQ(f.nearest(parallel, r), 0);
        // A limit nearer than the crossing.
        EXPECT_EQ(f.nearest(through, r, 0.5f), 0);
    }
    // The vertical test takes faces wound counter-clockwise seen from above.
    face_fixture up(square, {3, 2, 1, 0});
    hit_result r;
    const vec4 drop[2] = {{1.0f, 4.0f, 1.0f, 1}, {0.0f, -4.0f, 0.0f, 1}};
    ASSERT_EQ(up.vertical(drop, r), 1);
    EXPECT_FLOAT_EQ(r.t, 0.5f);
    EXPECT_FLOAT_EQ(r.point.y, 0.0f);
    EXPECT_FLOAT_EQ(r.point.x, 1.0f);
    const vec4 flat[2] = {{1.0f, 4.0f, 1.0f, 1}, {0.0f, 4.0f, 0.0f, 1}};
    EXPECT_EQ(up.vertical(flat, r), 0);
    const vec4 outside[2] = {{3.0f, 4.0f, 1.0f, 1}, {0.0f, -4.0f, 0.0f, 1}};
    EXPECT_EQ(up.vertical(outside, r), 0);
    // A corner past the vertices: no test reads it.
    face_fixture broken(square, {3, 2, 9});
    EXPECT_EQ(broken.vertical(drop, r), 0);
    EXPECT_EQ(broken.nearest(through, r), 0);
}

// BASE (root) at the instance's place holds NEAR and FAR, two boxes along
// the instance's z axis; the flat list has FAR before NEAR.
TEST_F(HitTest, AnInstanceReportsTheNearestHitInWorldSpace)
{
    model_builder b("TARGETS");
    b.add("BASE", node_empty, -1);
    model_node* far = b.add("FAR", node_empty, 0);
    far->local_position = {0.0f, 0.0f, 6.0f, 0.0f};
    far->hit_mesh = box_part({1.0f, 2.0f, 1.0f, 0.0f});
    model_node* near = b.add("NEAR", node_empty, 0);
    near->hit_mesh = box_part({1.0f, 2.0f, 3.0f, 0.0f});
    near->scale = {1.0f, 1.0f, 1.0f, 0.0f};
    ml_modelinfo* model = b.finish();
    ml_modelinfo* inst = model->make_instance(nullptr);
    // Turned a quarter about y: the instance's z axis is the world's x axis.
    inst->position = {10.0f, 0.0f, 0.0f, 1.0f};
    inst->angles = {0.0f, std::acos(-1.0f) / 2.0f, 0.0f, 0.0f};
    inst->update_transforms(0.0f);

    // NEAR spans world x 7..13 and FAR 15..17; the segment runs along x.
    const vec4 seg[2] = {{0.0f, 0.5f, 0.2f, 1.0f}, {20.0f, 0.5f, 0.2f, 1.0f}};
    hit_result r;
    ASSERT_EQ(inst->hit_test(&r, seg, 42), 1);
    EXPECT_EQ(r.node, inst->find_node(name_hash("NEAR")));
    EXPECT_EQ(r.id, 42);
    EXPECT_NEAR(r.t, 0.35f, 1e-5f);
    EXPECT_NEAR(r.nearest, 0.35f, 1e-5f);
    EXPECT_NEAR(r.point.x, 7.0f, 1e-4f);
    EXPECT_NEAR(r.point.y, 0.5f, 1e-4f);
    EXPECT_NEAR(r.point.z, 0.2f, 1e-4f);
    // The face's normal points back along the segment, in world space.
    EXPECT_LT(r.normal.x, 0.0f);
    EXPECT_NEAR(r.normal.y, 0.0f, 1e-4f);
    EXPECT_NEAR(r.normal.z, 0.0f, 1e-4f);

    // From the far side, FAR is nearer.
    const vec4 back[2] = {{20.0f, 0.5f, 0.2f, 1.0f}, {0.0f, 0.5f, 0.2f, 1.0f}};
    hit_result r2;
    ASSERT_EQ(inst->hit_test(&r2, back, 7), 1);
    EXPECT_EQ(r2.node, inst->find_node(name_hash("FAR")));
    EXPECT_NEAR(r2.point.x, 17.0f, 1e-4f);
    EXPECT_GT(r2.normal.x, 0.0f);

    // A segment passing above both misses; the result keeps no hit.
    const vec4 above[2] = {{0.0f, 5.0f, 0.0f, 1.0f}, {20.0f, 5.0f, 0.0f, 1.0f}};
    hit_result r3;
    EXPECT_EQ(inst->hit_test(&r3, above, 1), 0);
    EXPECT_EQ(r3.node, nullptr);

    // A node without flag bit 0 is not tested.
    inst->find_node(name_hash("NEAR"))->flags &= ~node_loaded;
    hit_result r4;
    ASSERT_EQ(inst->hit_test(&r4, seg, 1), 1);
    EXPECT_EQ(r4.node, inst->find_node(name_hash("FAR")));
    delete inst;
    delete model;
}

} // namespace
} // namespace model_test
