// Linked shadows: a shadow instance whose mesh follows its model's meshes
// through the mesh transform, with kit-made models.

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/base/mat4.h"
#include "engine/base/name_hash.h"
#include "engine/model/ml_modelinfo.h"
#include "engine/model/model_lib.h"
#include "engine/model/shadow_link.h"
#include "engine/scene/vertex_transform.h"
#include "platform/message_box.h"
#include "tests/engine/scene/kit_model.h"
#include "tests/engine/scene/transform_fixture.h"
#include "tests/support/fp_traps.h"
#include "tests/support/temp_dir.h"
#include "tools/datakit/mdl_writer.h"

namespace {

using scene_test::identity;
using scene_test::mesh_node;
using scene_test::mesh_of;
using scene_test::TransformTest;

// "BIKE" (a box) and its flat "SHADOW".
std::vector<mdl_model> kit_models()
{
    return scene_test::kit_shadowed_box("BIKE", "SHADOW", "PAINT", "DARK");
}

// The box vertex nearest to each shadow corner: the bottom corners 0, 1, 5, 4.
constexpr std::uint32_t paired_box_vertex[4] = {0, 1, 5, 4};

std::uint32_t face_corner(const model_part& mesh, int c)
{
    std::uint32_t v = 0;
    std::memcpy(&v, mesh.faces.data() + 24 + 4 * c, 4);
    return v / 48;
}

vec4 vertex_position(const std::uint8_t* records, std::uint32_t i)
{
    float p[4];
    std::memcpy(p, records + std::size_t{i} * 48, sizeof p);
    return {p[0], p[1], p[2], p[3]};
}

class ShadowLinkTest : public TransformTest {
protected:
    void SetUp() override
    {
        TransformTest::SetUp();
        platform::clear_recorded_message_boxes();
        const auto path = torvane_test::make_temp_dir("shadow") / "Shadow.mdl";
        std::string error;
        ASSERT_TRUE(datakit::write_mdl(path, kit_models(), error)) << error;
        lib = std::make_unique<model_lib>("shadow");
        ASSERT_EQ(lib->try_open(path.string().c_str()), mdl_status::ok);
        ASSERT_EQ(lib->load_model("BIKE", 0), 1);
        ASSERT_EQ(lib->load_model("SHADOW", 0), 1);
    }
    void TearDown() override
    {
        lib.reset();
        platform::clear_recorded_message_boxes();
        TransformTest::TearDown();
    }

    ml_modelinfo* instance(const char* name)
    {
        ml_modelinfo* m = lib->create_instance(name, nullptr, 0);
        EXPECT_NE(m, nullptr);
        return m;
    }

    // Transforms the bike's body with combined = identity (clip = world)
    // and lets its shadow follow; returns the shadow's followed vertices.
    const std::uint8_t* follow(ml_modelinfo* bike, ml_modelinfo* shadow)
    {
        model_node* body = bike->find_node(name_hash("BODY"));
        EXPECT_NE(body, nullptr);
        transform_clip_mesh(frame, *body, identity(), identity(), identity(), 0);
        shadow_follow(bike, body, frame.work, frame.written);
        std::uint32_t count = 0;
        const std::uint8_t* v = shadow_linked_vertices(shadow, &count);
        EXPECT_EQ(count, 4u);
        return v;
    }

    std::unique_ptr<model_lib> lib;
};

// Each shadow corner follows the box's bottom corner nearest to it, wherever
// the bike stands and however it is turned, while the library's shadow
// mesh keeps its rest vertices and has its faces turned over once.
TEST_F(ShadowLinkTest, ShadowsFollowTheirInstances)
{
    torvane_test::FpTraps traps;
    ml_modelinfo* bike = instance("BIKE");
    ml_modelinfo* shadow = instance("SHADOW");
    model_part& shadow_mesh = *shadow->first_node->mesh;
    const std::vector<std::uint8_t> rest = shadow_mesh.vertices;

    ASSERT_EQ(link_shadow(bike, shadow, 4), 1);
    EXPECT_TRUE(bike->flags & record_has_shadow);
    EXPECT_TRUE(shadow->flags & record_linked_shadow);
    // Reversed winding: the quad 0-1-2-3 becomes 3-2-1-0.
    for (int c = 0; c < 4; ++c)
        EXPECT_EQ(face_corner(shadow_mesh, c), static_cast<std::uint32_t>(3 - c));

    // At (10, 0, 5), turned 90 degrees about y: (x, y, z) -> (z + 10, y, 5 - x).
    mat4 turn{};
    bike->set_orientation(&turn, 0.0f, 1.5707964f, 0.0f);
    bike->set_position(10.0f, 0.0f, 5.0f, 1.0f);
    bike->update_transforms(bike->anim_time);
    const std::uint8_t* followed = follow(bike, shadow);
    ASSERT_NE(followed, nullptr);
    const float sx[2] = {-1, 1}, sz[2] = {-2, 2};
    for (std::uint32_t s = 0; s < 4; ++s) {
        const std::uint32_t b = paired_box_vertex[s];
        const float x = sx[b & 1], y = -0.5f, z = sz[(b >> 2) & 1];
        const vec4 p = vertex_position(followed, s);
        EXPECT_NEAR(p.x, z + 10.0f, 1e-5f) << s;
        EXPECT_NEAR(p.y, y, 1e-5f) << s;
        EXPECT_NEAR(p.z, 5.0f - x, 1e-5f) << s;
        EXPECT_FLOAT_EQ(p.w, 1.0f) << s;
        // The rest of the record is the shadow's own (u, v).
        float uv[2], rest_uv[2];
        std::memcpy(uv, followed + s * 48 + 32, sizeof uv);
        std::memcpy(rest_uv, rest.data() + s * 48 + 32, sizeof rest_uv);
        EXPECT_EQ(uv[0], rest_uv[0]);
        EXPECT_EQ(uv[1], rest_uv[1]);
    }
    EXPECT_EQ(shadow_mesh.vertices, rest);   // the library's mesh is untouched

    // Linking the same shadow again keeps the first links.
    const shadow_level_link* first = bike->shadow_link;
    EXPECT_EQ(link_shadow(bike, shadow, 4), 0);
    EXPECT_EQ(bike->shadow_link, first);

    // A second shadow of the same model replaces the first; the shared mesh
    // is not turned back.
    ml_modelinfo* second = instance("SHADOW");
    ASSERT_EQ(link_shadow(bike, second, 4), 1);
    EXPECT_EQ(shadow->shadow_owner, nullptr);
    EXPECT_EQ(shadow_linked_vertices(shadow, nullptr), nullptr);
    EXPECT_EQ(second->shadow_owner, bike);
    EXPECT_EQ(face_corner(shadow_mesh, 0), 3u);

    unlink_shadow(bike);
    EXPECT_FALSE(bike->flags & record_has_shadow);
    EXPECT_EQ(bike->shadow_link, nullptr);
    EXPECT_EQ(second->shadow_owner, nullptr);
}

// Two bikes, each with its own shadow of one shadow model: each shadow
// follows its own bike.
TEST_F(ShadowLinkTest, EachShadowFollowsItsOwnBike)
{
    ml_modelinfo* bikes[2] = {instance("BIKE"), instance("BIKE")};
    ml_modelinfo* shadows[2] = {instance("SHADOW"), instance("SHADOW")};
    for (int k = 0; k < 2; ++k)
        ASSERT_EQ(link_shadow(bikes[k], shadows[k], 1), 1);
    bikes[0]->set_position(-50.0f, 0.0f, 0.0f, 1.0f);
    bikes[1]->set_position(0.0f, 3.0f, 70.0f, 1.0f);
    const vec4 expected_corner0[2] = {{-51, -0.5f, -2, 1}, {-1, 2.5f, 68, 1}};
    for (int k = 0; k < 2; ++k) {
        const std::uint8_t* v = follow(bikes[k], shadows[k]);
        ASSERT_NE(v, nullptr);
        const vec4 p = vertex_position(v, 0);
        EXPECT_FLOAT_EQ(p.x, expected_corner0[k].x) << k;
        EXPECT_FLOAT_EQ(p.y, expected_corner0[k].y) << k;
        EXPECT_FLOAT_EQ(p.z, expected_corner0[k].z) << k;
    }
    // The first bike's shadow kept its place when the second was drawn.
    EXPECT_FLOAT_EQ(vertex_position(shadow_linked_vertices(shadows[0], nullptr), 0).x, -51.0f);
}

// The links never outlive either instance: destroying the shadow (or
// releasing its library) unlinks the model, destroying the model frees the
// shadow of its owner.
TEST_F(ShadowLinkTest, LinksGoWithEitherInstance)
{
    ml_modelinfo* bike = instance("BIKE");
    ml_modelinfo* shadow = instance("SHADOW");
    ASSERT_EQ(link_shadow(bike, shadow, 1), 1);
    lib->destroy_instance(shadow);
    EXPECT_EQ(bike->shadow_link, nullptr);
    EXPECT_FALSE(bike->flags & record_has_shadow);
    model_node* body = bike->find_node(name_hash("BODY"));
    transform_clip_mesh(frame, *body, identity(), identity(), identity(), 0);
    shadow_follow(bike, body, frame.work, frame.written);   // nothing to follow

    ml_modelinfo* other = instance("SHADOW");
    ASSERT_EQ(link_shadow(bike, other, 1), 1);
    lib->destroy_instance(bike);
    EXPECT_EQ(other->shadow_owner, nullptr);
    EXPECT_EQ(shadow_linked_vertices(other, nullptr), nullptr);

    // A shadow whose library goes first.
    ml_modelinfo* kept = instance("BIKE");
    auto shadow_lib = std::make_unique<model_lib>("shadows");
    const auto path = torvane_test::make_temp_dir("shadow2") / "Shadow.mdl";
    std::string error;
    ASSERT_TRUE(datakit::write_mdl(path, kit_models(), error)) << error;
    ASSERT_EQ(shadow_lib->try_open(path.string().c_str()), mdl_status::ok);
    ASSERT_EQ(shadow_lib->load_model("SHADOW", 0), 1);
    ASSERT_EQ(link_shadow(kept, shadow_lib->create_instance("SHADOW", nullptr, 0), 1), 1);
    shadow_lib.reset();
    EXPECT_EQ(kept->shadow_link, nullptr);
}

// The 1000-vertex buffer is checked before each mesh is taken: meshes of 600
// and 401 vertices show the overflow box once and only the first is linked;
// a shadow root mesh of 1001 vertices shows the box and links nothing.
TEST_F(ShadowLinkTest, TheVertexBufferIsCheckedBeforeEachMesh)
{
    const auto line = [](std::uint32_t n, float y) {
        std::vector<vec4> points;
        for (std::uint32_t i = 0; i < n; ++i)
            points.push_back({static_cast<float>(i) * 0.01f, y, 0, 1});
        return points;
    };
    // A model of two meshes under one record, built in code.
    const auto model_of = [&](std::vector<std::uint32_t> counts) {
        auto m = std::make_unique<ml_modelinfo>("M");
        model_node* last = nullptr;
        float y = 0.0f;
        for (std::uint32_t n : counts) {
            model_node* node = mesh_node(mesh_of(line(n, y))).release();
            (last ? last->next : m->first_node) = node;
            node->prev = last;
            last = node;
            ++m->node_count;
            y += 1.0f;
        }
        return m;
    };
    auto model = model_of({600, 401});
    auto shadow = model_of({4});
    ASSERT_EQ(link_shadow(model.get(), shadow.get(), 1), 1);
    auto boxes = platform::recorded_message_boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Vertex overflow in 'link_shadow");
    EXPECT_EQ(boxes[0].text, "!");
    ASSERT_EQ(model->shadow_link->meshes.size(), 1u);
    EXPECT_EQ(model->shadow_link->meshes[0].node, model->first_node);

    platform::clear_recorded_message_boxes();
    auto small = model_of({4});
    auto huge = model_of({1001});
    EXPECT_EQ(link_shadow(small.get(), huge.get(), 1), 0);
    boxes = platform::recorded_message_boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Vertex overflow in 'link_shadow");
    EXPECT_EQ(shadow_linked_vertices(huge.get(), nullptr), nullptr);
}

} // namespace
