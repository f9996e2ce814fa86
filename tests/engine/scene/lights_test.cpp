#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "engine/base/engine.h"
#include "engine/base/node_binding.h"
#include "engine/model/model_node.h"
#include "engine/scene/lights.h"
#include "tests/engine/model/model_fixture.h"
#include "tests/engine/scene/scene_fixture.h"
#include "tests/support/fp_traps.h"

namespace {

using LightTest = model_test::ModelTest;

mat4 identity()
{
    mat4 m;
    mat_identity(&m);
    return m;
}

// The intensity one light gives a vertex (k = 0.5, the engine's default
// light factor; ambient 0, diffuse 1 unless given).
float lit(scn_light& light, vec4 point, vec4 normal, light_material material = {0.0f, 1.0f})
{
    scn_light* list[] = {&light, nullptr};
    float result[3] = {-7.0f, -7.0f, -7.0f};
    light_vertex(result, &point, &normal, material, list);
    EXPECT_EQ(result[1], -7.0f);   // only the first float is written
    return result[0];
}

} // namespace

TEST_F(LightTest, PointLightAttenuationFromTheLightToItsRange)
{
    torvane_test::FpTraps traps;
    scn_light light;
    light_set(light, 1, 0.5f, 0.25f, 0.125f, 10.0f, 0.0f, 0.0f);   // stored colour doubled: r = 1
    light_transform(light, identity());
    // a = 1 + q / R^2 - 2 q^2 / R^4 with R = 10; the vertex lies on +x, its
    // normal facing the light, so intensity = k a r = 0.5 a.
    struct Case {
        const char* what;
        float distance;
        float expected;
    } const cases[] = {
        {"at the light: no direction, no light", 0.0f, 0.0f},
        {"q = 4", 2.0f, 0.5f * 1.0368f},
        {"half the range: the highest, 1.125", 5.0f, 0.5f * 1.125f},
        {"q = 50: back to 1", 7.0710678f, 0.5f},
        {"q = 81", 9.0f, 0.5f * 0.4978f},
        {"just inside the range, a below 0.001: skipped", 9.99995f, 0.0f},
        {"exactly at the range: outside", 10.0f, 0.0f},
        {"beyond the range", 12.0f, 0.0f},
    };
    for (const auto& c : cases)
        EXPECT_NEAR(lit(light, {c.distance, 0, 0, 1}, {-1, 0, 0, 0}), c.expected, 1e-4f) << c.what;

    // The Lambert term: a normal at 60 degrees halves it, one facing away
    // takes nothing; the ambient term comes on top.
    EXPECT_NEAR(lit(light, {5, 0, 0, 1}, {-0.5f, 0.8660254f, 0, 0}), 0.5f * 1.125f * 0.5f, 1e-4f);
    EXPECT_EQ(lit(light, {5, 0, 0, 1}, {1, 0, 0, 0}), 0.0f);
    EXPECT_NEAR(lit(light, {5, 0, 0, 1}, {1, 0, 0, 0}, {0.4f, 1.0f}), 0.2f, 1e-6f);
    // Diffuse and light factor scale the light.
    current_engine->factor_a = 0.9f;
    EXPECT_NEAR(lit(light, {5, 0, 0, 1}, {-1, 0, 0, 0}, {0.0f, 2.0f}), 0.9f * 2.0f * 1.125f, 1e-4f);
}

TEST_F(LightTest, SpotLightConeEdges)
{
    torvane_test::FpTraps traps;
    scn_light spot;
    light_set(spot, 2, 0.5f, 0.5f, 0.5f, 100.0f, 30.0f, 0.5f);
    spot.position = {0, 0, 0, 1};
    spot.target = {0, 0, -10, 1};
    light_transform(spot, identity());
    EXPECT_NEAR(spot.cone_tan, 0.57735f, 1e-5f);
    EXPECT_NEAR(spot.cone_tan_sq, 1.0f / 3.0f, 1e-5f);

    const float edge = 10.0f * 0.57735027f;   // the cone's edge at depth 10
    const vec4 facing{0, 0, 1, 0};
    auto plain = [](float x) {   // k r a d for a vertex at (x, 0, -10) facing +z
        const float q = x * x + 100.0f;
        const float a = 1.0f + q / 1e4f - 2.0f * q * q / 1e8f;
        return 0.5f * a * 10.0f / std::sqrt(q);
    };
    struct Case {
        const char* what;
        vec4 point;
        float expected;
    } const cases[] = {
        {"on the axis: the plain attenuation", {0, 0, -10, 1}, plain(0.0f)},
        {"half way to the edge: divided by 1 + softness / 4", {edge / 2, 0, -10, 1}, plain(edge / 2) / 1.125f},
        {"just inside the edge: divided by nearly 1 + softness", {edge * 0.995f, 0, -10, 1},
         plain(edge * 0.995f) / (1.0f + 0.5f * 0.990025f)},
        {"just outside the edge: nothing", {edge * 1.01f, 0, -10, 1}, 0.0f},
        {"far outside: nothing", {50, 0, -10, 1}, 0.0f},
        {"behind the spot, in the mirrored cone: nothing", {0, 0, 10, 1}, 0.0f},
        {"beside the apex at zero depth: nothing", {3, 0, 0, 1}, 0.0f},
        {"at the apex: nothing", {0, 0, 0, 1}, 0.0f},
    };
    for (const auto& c : cases) {
        const vec4 normal = c.point.z > 0 ? vec4{0, 0, -1, 0} : facing;
        // The 0.001 terms of the spot's basis move its edge by about 0.1 %.
        EXPECT_NEAR(lit(spot, c.point, normal), c.expected, 2e-3f) << c.what;
    }

    // A cone of 0 lights nothing (and divides by nothing).
    light_set(spot, 2, 0.5f, 0.5f, 0.5f, 100.0f, 0.0f, 0.5f);
    spot.position = {0, 0, 0, 1};
    spot.target = {0, 0, -10, 1};
    light_transform(spot, identity());
    EXPECT_EQ(lit(spot, {0, 0, -10, 1}, facing), 0.0f);
}

TEST_F(LightTest, EveryDirectionalLightUsesItsOwnDirection)
{
    torvane_test::FpTraps traps;
    scn_light from_above, from_side;
    light_set(from_above, 3, 0.5f, 0, 0, 1.0f, 0, 0);   // r = 1
    light_set(from_side, 3, 1.0f, 0, 0, 1.0f, 0, 0);    // r = 2
    from_above.position = {0, 10, 0, 1};
    from_side.position = {10, 0, 0, 1};
    mat4 view = identity();
    view.m[3][0] = 50.0f;   // the view's translation plays no part in a direction
    view.m[3][2] = -20.0f;
    light_transform(from_above, view);
    light_transform(from_side, view);
    EXPECT_NEAR(from_side.position.x, 1.0f, 2e-4f);
    EXPECT_EQ(from_side.position.z, 0.0f);

    scn_light* list[] = {&from_above, &from_side, nullptr};
    vec4 point{1, 2, 3, 1};
    vec4 normal{2, 0, 0, 0};   // normalised in place
    float result[3];
    light_vertex(result, &point, &normal, {0.0f, 1.0f}, list);
    EXPECT_NEAR(normal.x, 1.0f, 1e-3f);
    // Only the side light faces the normal: k x 2 x 1.
    EXPECT_NEAR(result[0], 0.5f * 2.0f, 2e-3f);
    // The list's order does not matter (beyond the 0.1 % by which each
    // directional light's normalisation shortens the normal).
    scn_light* swapped[] = {&from_side, &from_above, nullptr};
    normal = {2, 0, 0, 0};
    float again[3];
    light_vertex(again, &point, &normal, {0.0f, 1.0f}, swapped);
    EXPECT_NEAR(again[0], result[0], 1e-3f);
}

// A directional light lights a surface by the cosine between its normal and
// the way to the light, and nothing from behind: at 0, 60, 90, 120 and 180
// degrees the factor is 1, 0.5, 0, 0, 0 of k x r (k 0.5, r 1).
TEST_F(LightTest, ADirectionalLightFallsWithTheCosineAndNothingLightsFromBehind)
{
    torvane_test::FpTraps traps;
    scn_light sun;
    light_set(sun, 3, 0.5f, 0, 0, 1.0f, 0, 0);   // r = 1
    sun.position = {0, 10, 0, 1};
    light_transform(sun, identity());
    const struct {
        float degrees, factor;
    } cases[] = {{0, 1.0f}, {60, 0.5f}, {90, 0.0f}, {120, 0.0f}, {180, 0.0f}};
    for (const auto& c : cases) {
        const float a = c.degrees * 3.14159265f / 180.0f;
        EXPECT_NEAR(lit(sun, {4, 0, -3, 1}, {std::sin(a), std::cos(a), 0, 0}), 0.5f * c.factor, 2e-3f) << c.degrees;
    }
}

TEST_F(LightTest, SetStoresTheConeInRadiansAndSetRangeKeepsDoublingTheColour)
{
    torvane_test::FpTraps traps;
    scn_light light;
    EXPECT_EQ(light.type, 1);
    EXPECT_EQ(light.range_sq, 300.0f);
    light_set(light, 2, 1.0f, 0.5f, 0.25f, 4.0f, 90.0f, 0.75f);
    EXPECT_EQ(light.type, 2);
    EXPECT_FLOAT_EQ(light.cone, 1.5707964f);
    EXPECT_EQ(light.softness, 0.75f);
    EXPECT_EQ(light.range_sq, 16.0f);
    EXPECT_EQ(light.inv_range_sq, 1.0f / 16.0f);
    EXPECT_EQ(light.falloff, -2.0f / 256.0f);
    EXPECT_EQ(light.r, 2.0f);
    EXPECT_EQ(light.g, 1.0f);
    light.set_range(4.0f);
    EXPECT_EQ(light.r, 4.0f);   // twice: quadrupled
    EXPECT_EQ(light.b, 1.0f);
    light.set_color(0.3f, 0.2f, 0.1f);
    EXPECT_EQ(light.r, 0.3f);

    // A range of 0 reaches nothing.
    light_set(light, 1, 1.0f, 1.0f, 1.0f, 0.0f, 0.0f, 0.0f);
    light_transform(light, identity());
    EXPECT_EQ(lit(light, {0.5f, 0, 0, 1}, {-1, 0, 0, 0}), 0.0f);
}

TEST_F(LightTest, TransformCarriesEachTypeIntoCameraSpace)
{
    torvane_test::FpTraps traps;
    mat4 view;
    mat_rot_y(&view, 1.5707964f);   // x goes to -z, z to x
    view.m[3][0] = 1.0f;
    view.m[3][1] = 2.0f;
    view.m[3][2] = 3.0f;

    scn_light point, other;
    point.position = {5, 0, 0, 1};
    light_transform(point, view);
    EXPECT_EQ(point.world_position.x, 5.0f);
    EXPECT_NEAR(point.position.x, 1.0f, 1e-5f);
    EXPECT_NEAR(point.position.y, 2.0f, 1e-5f);
    EXPECT_NEAR(point.position.z, -2.0f, 1e-5f);

    other.type = 7;   // not a light type: keeps its world position
    other.position = {5, 0, 0, 1};
    light_transform(other, view);
    EXPECT_EQ(other.position.x, 5.0f);
    EXPECT_EQ(other.world_position.x, 5.0f);
}

TEST_F(LightTest, LinksFollowTheirNodes)
{
    torvane_test::FpTraps traps;
    model_node eye(node_kind_full), aim(node_kind_full);
    scene_test::place_node(eye, 4.0f, 0.0f, 0.0f);
    scene_test::place_node(aim, 4.0f, 0.0f, -10.0f);
    aim.local_position = {7, 8, 9, 1};
    aim.world_centre = {-1, -2, -3, 1};

    scn_light spot;
    light_set(spot, 2, 0.5f, 0.5f, 0.5f, 100.0f, 30.0f, 0.5f);
    auto* position_link = new (pool_node_binding) node_binding(&eye, light_channel_position, 1);
    auto* target_link = new (pool_node_binding) node_binding(&aim, light_channel_target, 1);
    auto* other_channel = new (pool_node_binding) node_binding(&aim, 2999, 1);
    auto* unbound = new (pool_node_binding) node_binding(nullptr, light_channel_position, 1);
    position_link->next = target_link;
    target_link->next = other_channel;
    other_channel->next = unbound;
    spot.links = position_link;
    spot.link_count = 4;
    light_transform(spot, identity());
    EXPECT_EQ(spot.world_position.x, 4.0f);
    EXPECT_EQ(spot.target.z, -10.0f);
    // A point straight down the linked spot's axis is lit.
    EXPECT_GT(lit(spot, {4, 0, -10, 1}, {0, 0, 1, 0}), 0.0f);

    // The other modes: the node's local position, its world centre.
    target_link->value = light_source_local_position;
    light_transform(spot, identity());
    EXPECT_EQ(spot.target.x, 7.0f);
    target_link->value = light_source_world_centre;
    light_transform(spot, identity());
    EXPECT_EQ(spot.target.x, -1.0f);
    target_link->value = 9;   // unknown mode: unchanged
    light_transform(spot, identity());
    EXPECT_EQ(spot.target.x, -1.0f);

    // A point light ignores a target link.
    scn_light point;
    point.links = new (pool_node_binding) node_binding(&aim, light_channel_target, 1);
    point.target = {0, 0, 0, 1};
    light_transform(point, identity());
    EXPECT_EQ(point.target.z, 0.0f);
}

TEST(Lights, LinkLightPointersChainsTheList)
{
    scn_light a, b, c;
    scn_light* list[] = {&a, &b, &c};
    link_light_pointers(list, 3);
    EXPECT_EQ(a.prev, nullptr);
    EXPECT_EQ(a.next, &b);
    EXPECT_EQ(b.prev, &a);
    EXPECT_EQ(c.next, nullptr);
    scn_light d;
    scn_light* one[] = {&d};
    link_light_pointers(one, 1);
    EXPECT_EQ(d.next, nullptr);
    EXPECT_EQ(d.prev, nullptr);
}
