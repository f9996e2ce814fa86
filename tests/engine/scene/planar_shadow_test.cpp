#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "engine/base/light_record.h"
#include "engine/model/ml_modelinfo.h"
#include "engine/model/shadow_link.h"
#include "engine/scene/camera.h"
#include "engine/scene/planar_shadow.h"
#include "engine/scene/scene_view.h"
#include "tests/engine/scene/transform_fixture.h"
#include "tests/support/fp_traps.h"

namespace {

TEST(PlanarShadowPoint, SlidesAlongTheLightOntoThePlaneUnlessADivisorIsNearZero)
{
    torvane_test::FpTraps traps;
    const vec4 ground{0.0f, 1.0f, 0.0f, 0.0f};
    const vec4 origin{0.0f, 0.0f, 0.0f, 1.0f};
    struct Case {
        const char* what;
        vec4 w, plane_point, normal, direction;
        bool laid;
        vec4 expected;
    };
    const Case cases[] = {
        {"straight down", {1, 5, 2, 1}, origin, ground, {0, 1, 0, 0}, true, {1, 0, 2, 1}},
        {"slanted light", {1, 5, 2, 1}, origin, ground, {1, 1, 0, 0}, true, {-4, 0, 2, 1}},
        {"long direction", {1, 5, 2, 1}, origin, ground, {0, 20, 40, 0}, true, {1, 0, -8, 1}},
        {"raised plane", {0, 5, 0, 1}, {3, 2, 3, 1}, ground, {0, -2, 0, 0}, true, {0, 2, 0, 1}},
        // The plane x + y = 0 through the origin; straight down from (2, 5)
        // it is met at y = -2.
        {"tilted plane", {2, 5, 0, 1}, origin, {1, 1, 0, 0}, {0, 1, 0, 0}, true, {2, -2, 0, 1}},
        {"horizontal light", {1, 5, 2, 1}, origin, ground, {1, 0, 0, 0}, false, {}},
        {"nearly horizontal light", {1, 5, 2, 1}, origin, ground, {1, 1e-9f, 0, 0}, false, {}},
        {"no light direction", {1, 5, 2, 1}, origin, ground, {0, 0, 0, 0}, false, {}},
        {"light along the plane", {1, 5, 2, 1}, origin, {1, 0, 0, 0}, {0, 1, 0, 0}, false, {}},
        {"not a number", {NAN, 5, 2, 1}, origin, ground, {0, 1, 0, 0}, false, {}},
    };
    for (const Case& c : cases) {
        vec4 out{99, 99, 99, 99};
        ASSERT_EQ(planar_shadow_point(c.w, c.plane_point, c.normal, c.direction, &out), c.laid) << c.what;
        if (!c.laid) {
            EXPECT_EQ(out.x, 99.0f) << c.what;
            continue;
        }
        EXPECT_NEAR(out.x, c.expected.x, 1e-5f) << c.what;
        EXPECT_NEAR(out.y, c.expected.y, 1e-5f) << c.what;
        EXPECT_NEAR(out.z, c.expected.z, 1e-5f) << c.what;
    }
}

std::vector<const model_node*> shadow_draws;

class PlanarShadowTest : public scene_test::TransformTest {
protected:
    void SetUp() override
    {
        TransformTest::SetUp();
        cam.mode = 0;
        cam.far_base = 1000.0f;
        cam.set_fov(camera::default_fov);
        view = std::make_unique<scene_view>(nullptr, nullptr, 0, &cam, 0, 0, 640, 480);
        view->prepare();
        // The shadow's mesh holds the clip-space positions its owner's
        // transform left in it.
        std::vector<vec4> clip;
        for (const vec4& p : world_points) {
            vec4 c;
            mat_transform_point(&cam.combined, &p, &c);
            clip.push_back(c);
        }
        shadow.first_node = scene_test::mesh_node(scene_test::mesh_of(clip)).release();
        shadow.node_count = 1;
        shadow.position = {0.0f, -5.0f, 0.0f, 1.0f};
        shadow.id = 0;
        shadow_draws.clear();
        scene_hooks().draw_shadow_mesh = [](model_node* n, scene_view&) { shadow_draws.push_back(n); };
    }
    void TearDown() override
    {
        scene_hooks() = {};
        TransformTest::TearDown();
    }

    const std::vector<vec4> world_points = {{0, -2, -10, 1}, {1, -2, -10, 1}, {0, -1, -11, 1}};
    camera cam;
    std::unique_ptr<scene_view> view;
    ml_modelinfo shadow{"SHADOW"};
    scn_light sun;
};

TEST_F(PlanarShadowTest, ShadowIsLaidOnItsPlaneAndDrawnOnce)
{
    torvane_test::FpTraps traps;
    sun.type = 3;
    sun.world_position = {0.0f, 1.0f, 0.0f, 0.0f};
    view->lights = {&sun, nullptr};
    ASSERT_EQ(draw_planar_shadow(&shadow, *view), 3);
    ASSERT_EQ(shadow_draws.size(), 1u);
    EXPECT_EQ(shadow_draws[0], shadow.first_node);
    EXPECT_EQ(shadow.id, -1);
    const auto expect_laid_flat = [&] {
        const mesh_frame& f = view->frame();
        for (std::size_t i = 0; i < world_points.size(); ++i) {
            const vec4 flat{world_points[i].x, -5.0f, world_points[i].z, 1.0f};
            vec4 expected;
            mat_transform_point(&cam.combined, &flat, &expected);
            EXPECT_NEAR(f.work[i].x, expected.x, 1e-3f) << i;
            EXPECT_NEAR(f.work[i].y, expected.y, 1e-3f) << i;
            EXPECT_NEAR(f.work[i].z, expected.z, 1e-3f) << i;
            EXPECT_EQ(f.work[i].intensity, 0.0f);
            EXPECT_EQ(f.work[i].u, static_cast<float>(i));
        }
    };
    expect_laid_flat();

    // A linked shadow is laid from the positions its owner's transform left
    // in its link, not from the library's mesh.
    model_part& mesh = *shadow.first_node->mesh;
    ml_modelinfo owner("OWNER");
    auto* link = new shadow_level_link;
    link->shadow = &shadow;
    link->shadow_level = &shadow;
    link->vertices = mesh.vertices;   // the followed positions
    for (std::size_t i = 0; i < world_points.size(); ++i)   // the rest: elsewhere
        std::fill_n(mesh.vertices.begin() + static_cast<std::ptrdiff_t>(48 * i), 16, std::uint8_t{0});
    owner.shadow_link = link;
    shadow.shadow_owner = &owner;
    ASSERT_EQ(draw_planar_shadow(&shadow, *view), 3);
    expect_laid_flat();
    shadow_drop_links(&owner);
    EXPECT_EQ(shadow.shadow_owner, nullptr);
}

TEST_F(PlanarShadowTest, ShadowWithoutALightOrWithAHorizontalLightIsSkipped)
{
    torvane_test::FpTraps traps;
    view->lights = {nullptr};
    EXPECT_EQ(draw_planar_shadow(&shadow, *view), 0);
    EXPECT_EQ(shadow.id, -1);

    sun.type = 3;
    sun.world_position = {1.0f, 0.0f, 0.5f, 0.0f};
    view->lights = {&sun, nullptr};
    shadow.id = 0;
    EXPECT_EQ(draw_planar_shadow(&shadow, *view), 0);
    EXPECT_EQ(shadow.id, -1);
    EXPECT_TRUE(shadow_draws.empty());
}

} // namespace
