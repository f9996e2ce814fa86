#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "engine/model/fcurve.h"
#include "engine/model/model_node.h"
#include "engine/scene/camera.h"
#include "engine/scene/vertex_transform.h"
#include "engine/base/engine.h"
#include "engine/model/ml_modelinfo.h"
#include "tests/engine/model/model_builder.h"
#include "tests/engine/model/model_fixture.h"
#include "tests/engine/scene/scene_fixture.h"
#include "tests/support/fp_traps.h"

namespace {

constexpr float pi = 3.14159265f;
constexpr float deg90 = pi / 2.0f;

// 640 x 480: centre (319, 239), scales (319, 239).
projection_settings viewport_640x480()
{
    projection_settings proj;
    set_viewport_projection(proj, 0, 0, 640, 480);
    return proj;
}
const projection_settings screen = viewport_640x480();

struct Lens {
    float fov = deg90;
    float roll = 0.0f;
    float shift_x = 0.0f;
    float shift_y = 0.0f;
};

struct ProjectionCase {
    const char* what;
    vec4 eye;
    vec4 aim;      // target point (target mode) or angles (angle mode)
    Lens lens;
    vec4 point;
    float x, y;    // the pixel, worked out by hand
};

// The pixel of a point seen by a pinhole camera: the expected values below
// are worked out by hand from x = 319 + 319 xc / (d tan(fov/2)),
// y = 239 - 239 x 1.33 yc / (d tan(fov/2)), with (xc, yc) the point's
// offsets along the camera's right and up directions and d its depth.
void check(camera& cam, const ProjectionCase& c)
{
    cam.aspect = 1.33f;
    cam.shift_x = c.lens.shift_x;
    cam.shift_y = c.lens.shift_y;
    cam.set_fov(c.lens.fov);
    cam.roll = c.lens.roll;
    cam.position = c.eye;
    if (cam.mode & camera::mode_target)
        cam.target = c.aim;
    else
        cam.angles = c.aim;
    cam.update();
    float x = 0.0f, y = 0.0f;
    ASSERT_TRUE(project_to_screen(cam, screen, c.point, &x, &y)) << c.what;
    // The 0.001 added to every length when the basis is normalised shrinks
    // it by at most 0.1 %: well inside half a pixel on this screen.
    EXPECT_NEAR(x, c.x, 0.5f) << c.what;
    EXPECT_NEAR(y, c.y, 0.5f) << c.what;
}

} // namespace

TEST(Camera, TargetModeProjectsKnownPointsOntoKnownPixels)
{
    torvane_test::FpTraps traps;
    const vec4 origin{0, 0, 0, 0};
    const vec4 ahead{0, 0, -10, 0};
    const Lens wide;                                  // 90 degrees: tan 45 = 1
    const Lens normal{1.0471976f};                    // 60 degrees: tan 30 = 0.57735
    const Lens tele{0.2f};                            // tan 0.1 = 0.100335
    const Lens rolled{deg90, deg90};
    const Lens shifted{deg90, 0.0f, 0.5f, 0.0f};
    const ProjectionCase cases[] = {
        {"straight ahead lands on the centre", origin, ahead, wide, {0, 0, -5, 1}, 319.0f, 239.0f},
        {"90 degrees: the right edge at x = depth", origin, ahead, wide, {5, 0, -5, 1}, 638.0f, 239.0f},
        {"90 degrees: half way to the left edge", origin, ahead, wide, {-2.5f, 0, -5, 1}, 159.5f, 239.0f},
        {"90 degrees: up is up, scaled by the aspect", origin, ahead, wide, {0, 1, -5, 1}, 319.0f,
         239.0f - 239.0f * 1.33f / 5.0f},
        {"90 degrees: down", origin, ahead, wide, {0, -2, -8, 1}, 319.0f, 239.0f + 239.0f * 1.33f * 2.0f / 8.0f},
        {"60 degrees: the right edge at x = depth tan 30", origin, ahead, normal, {5.7735027f, 0, -10, 1}, 638.0f,
         239.0f},
        {"60 degrees: a quarter to the left", origin, ahead, normal, {-1.4433757f, 0, -10, 1}, 239.25f, 239.0f},
        {"0.2 rad: the right edge at x = depth tan 0.1", origin, ahead, tele, {10.0335f, 0, -100, 1}, 638.0f,
         239.0f},
        {"eye away from the origin", {10, 2, 3, 0}, {10, 2, -7, 0}, wide, {12, 2, -1, 1}, 478.5f, 239.0f},
        {"looking along -x: right is -z", {10, 0, 0, 0}, origin, wide, {0, 0, -10, 1}, 638.0f, 239.0f},
        {"looking along +z: right is -x", origin, {0, 0, 10, 0}, wide, {-4, 0, 4, 1}, 638.0f, 239.0f},
        {"looking down 45 degrees: the aim on the centre", {0, 10, 10, 0}, origin, wide, {0, 0, 0, 1}, 319.0f,
         239.0f},
        {"rolled 90 degrees: right goes down", origin, ahead, rolled, {2.5f, 0, -5, 1}, 319.0f,
         239.0f + 239.0f * 1.33f * 0.5f},
        {"lens shift moves straight ahead sideways", origin, ahead, shifted, {0, 0, -5, 1}, 159.5f, 239.0f},
    };
    camera cam;
    for (const auto& c : cases)
        check(cam, c);
}

TEST(Camera, AngleModeProjectsKnownPointsOntoKnownPixels)
{
    torvane_test::FpTraps traps;
    const vec4 origin{0, 0, 0, 0};
    const Lens wide;
    const Lens normal{1.0471976f};
    const ProjectionCase cases[] = {
        {"no angles: looking down -z", origin, {0, 0, 0, 0}, wide, {5, 0, -5, 1}, 638.0f, 239.0f},
        {"no angles, 60 degrees", origin, {0, 0, 0, 0}, normal, {0, 5.7735027f, -10, 1}, 319.0f,
         239.0f - 239.0f * 1.33f},
        {"moved eye", {10, 2, 3, 0}, {0, 0, 0, 0}, wide, {10, 2, -2, 1}, 319.0f, 239.0f},
        {"turned 90 degrees about y: looking down -x", origin, {0, deg90, 0, 0}, wide, {-5, 0, 0, 1}, 319.0f,
         239.0f},
        {"turned 90 degrees about y: right is -z", origin, {0, deg90, 0, 0}, wide, {-5, 0, -5, 1}, 638.0f, 239.0f},
        {"tilted up 45 degrees: the horizon below the centre", origin, {pi / 4, 0, 0, 0}, wide, {0, 0, -5, 1},
         319.0f, 239.0f + 239.0f * 1.33f},
        {"tilted up 45 degrees: the aim on the centre", origin, {pi / 4, 0, 0, 0}, wide, {0, 5, -5, 1}, 319.0f,
         239.0f},
        {"turned about z: right goes down", origin, {0, 0, deg90, 0}, wide, {2.5f, 0, -5, 1}, 319.0f,
         239.0f + 239.0f * 1.33f * 0.5f},
    };
    camera cam(0);
    for (const auto& c : cases)
        check(cam, c);
}

TEST(Camera, PointsBehindTheEyeAreNotProjected)
{
    camera cam;
    cam.update();
    float x = -1.0f, y = -1.0f;
    EXPECT_FALSE(project_to_screen(cam, screen, {0, 0, 5, 1}, &x, &y));
    EXPECT_FALSE(project_to_screen(cam, screen, {3, 0, 0, 1}, &x, &y));   // on the eye plane: w' = 0
    EXPECT_EQ(x, -1.0f);
    EXPECT_TRUE(project_to_screen(cam, screen, {0, 0, -0.01f, 1}, &x, &y));
}

TEST(Camera, CombinedInverseCarriesViewSpaceBackToTheWorld)
{
    torvane_test::FpTraps traps;
    for (std::int32_t mode : {0, camera::mode_target}) {
        camera cam(mode);
        cam.position = {3, 4, 5, 0};
        cam.target = {-2, 1, -7, 0};
        cam.angles = {0.3f, -1.1f, 0.4f, 0};
        cam.roll = 0.25f;
        cam.shift_x = 0.1f;
        cam.shift_y = -0.2f;
        cam.update();
        // combined_inverse undoes the lens and the view on points (the
        // projective column aside). In target mode to_world is the
        // transpose of a basis normalised with the 0.001 terms, so it is
        // a few parts in a thousand off an exact inverse.
        const vec4 p{1.5f, -2.0f, 7.0f, 1.0f};
        vec4 clip, back;
        mat_transform_point(&cam.combined, &p, &clip);
        mat_transform_point(&cam.combined_inverse, &clip, &back);
        const float tolerance = mode == 0 ? 1e-4f : 2e-2f;
        EXPECT_NEAR(back.x, p.x, tolerance) << mode;
        EXPECT_NEAR(back.y, p.y, tolerance) << mode;
        EXPECT_NEAR(back.z, p.z, tolerance) << mode;
        // The eye is where to_world puts the camera's origin.
        EXPECT_NEAR(cam.to_world.m[3][0], 3.0f, 1e-5f);
        EXPECT_NEAR(cam.to_world.m[3][1], 4.0f, 1e-5f);
        EXPECT_NEAR(cam.to_world.m[3][2], 5.0f, 1e-5f);
    }
}

TEST(Camera, DegenerateAimsAndLensesStayFinite)
{
    torvane_test::FpTraps traps;
    struct Case {
        const char* what;
        vec4 eye, target;
        float fov;
    } const cases[] = {
        {"eye on its target", {1, 2, 3, 0}, {1, 2, 3, 0}, 1.0f},
        {"straight up", {0, 0, 0, 0}, {0, 10, 0, 0}, 1.0f},
        {"straight down", {0, 10, 0, 0}, {0, 0, 0, 0}, 1.0f},
        {"field of view 0", {0, 0, 0, 0}, {0, 0, -1, 0}, 0.0f},
        {"field of view pi", {0, 0, 0, 0}, {0, 0, -1, 0}, pi},
        {"negative field of view", {0, 0, 0, 0}, {0, 0, -1, 0}, -1.0f},
        {"field of view NaN", {0, 0, 0, 0}, {0, 0, -1, 0}, std::nanf("")},
    };
    for (const auto& c : cases) {
        camera cam;
        cam.position = c.eye;
        cam.target = c.target;
        cam.set_fov(c.fov);
        cam.update();
        EXPECT_GE(cam.fov, camera::min_fov) << c.what;
        EXPECT_LE(cam.fov, camera::max_fov) << c.what;
        for (const mat4* m : {&cam.view, &cam.to_world, &cam.lens, &cam.combined, &cam.combined_inverse})
            for (int i = 0; i < 16; ++i)
                EXPECT_TRUE(std::isfinite(m->m[i / 4][i % 4])) << c.what;
    }
}

TEST(Camera, DefaultsAndTheFieldOfViewCurves)
{
    torvane_test::FpTraps traps;
    engine context;
    current_engine = &context;
    {
        camera cam;
        EXPECT_EQ(cam.mode, 2);
        EXPECT_EQ(cam.owner_state, 2u);
        EXPECT_FLOAT_EQ(cam.fov, 1.0471976f);
        EXPECT_FLOAT_EQ(cam.focal, 1.7320508f);   // 1 / tan 30
        EXPECT_EQ(cam.lod_factor, 1.0f);
        EXPECT_EQ(cam.far, 100.0f);
        EXPECT_EQ(cam.lod_distance, camera::default_lod_distance);

        cam.far_base = 400.0f;
        cam.set_fov(0.5f);
        EXPECT_EQ(cam.lod_factor, 1.0f);
        EXPECT_EQ(cam.far, 400.0f);

        // Curves: lod factor = 2 fov, far factor = 3 - fov.
        fcurve* lod = model_test::make_curve({{0.0f, 0.0f}, {1.0f, 2.0f}});
        fcurve* range = model_test::make_curve({{0.0f, 3.0f}, {1.0f, 2.0f}});
        cam.fov_curve = lod;
        cam.range_curve = range;
        cam.set_fov(0.5f);
        EXPECT_FLOAT_EQ(cam.lod_factor, 1.0f);
        EXPECT_FLOAT_EQ(cam.far, 2.5f * 400.0f);
        cam.set_fov(0.25f);
        EXPECT_FLOAT_EQ(cam.lod_factor, 0.5f);
        EXPECT_FLOAT_EQ(cam.far, 2.75f * 400.0f);
        // apply_fov leaves both as they were.
        cam.apply_fov(0.75f);
        EXPECT_FLOAT_EQ(cam.lod_factor, 0.5f);
        EXPECT_FLOAT_EQ(cam.far, 2.75f * 400.0f);
        EXPECT_FLOAT_EQ(cam.half_fov, 0.375f);

        // A curve that gives 0 (or less) counts as 1: no far distance of 0.
        cam.set_fov(camera::min_fov);
        EXPECT_FLOAT_EQ(cam.lod_factor, 2.0f * camera::min_fov);
        fcurve* zero = model_test::make_curve({{0.0f, 0.0f}, {1.0f, 0.0f}});
        cam.range_curve = zero;
        cam.fov_curve = zero;
        cam.set_fov(0.5f);
        EXPECT_EQ(cam.far, 400.0f);
        EXPECT_EQ(cam.lod_factor, 1.0f);

        const lod_view v = cam.detail_view();
        EXPECT_TRUE(v.has_fov_curve);
        EXPECT_EQ(v.detail_distance, camera::default_lod_distance);
        delete lod;
        delete range;
        delete zero;
    }
    current_engine = nullptr;
}

TEST(Camera, ClipValuesGuardAFarDistanceOfZero)
{
    torvane_test::FpTraps traps;
    camera cam;
    cam.set_clip(1.0f, 1.0f, 1.0f, 12000.0f);
    EXPECT_FLOAT_EQ(cam.inv_far, 1.0f / 12000.0f);
    EXPECT_FLOAT_EQ(cam.depth_term, -2.0f / (12000.0f * 12000.0f));
    for (float bad : {0.0f, -5.0f, std::nanf(""), INFINITY, 1e30f}) {
        cam.set_clip(1.0f, 2.0f, 3.0f, bad);
        EXPECT_EQ(cam.inv_far, 0.0f) << bad;
        EXPECT_EQ(cam.depth_term, 0.0f) << bad;
        EXPECT_EQ(cam.clip_c, 3.0f);
    }
}

TEST(Camera, AFocalValueOfZeroGivesWayToTheFieldOfView)
{
    torvane_test::FpTraps traps;
    camera cam;
    const vec4 eye{0, 0, 0, 0}, aim{0, 0, -1, 0};
    cam.set_position(&eye, &aim, 0.0f, 2.0f);
    cam.update();
    EXPECT_FLOAT_EQ(cam.lens.m[2][3], -0.5f);   // -1 / focal
    cam.set_position(&eye, &aim, 0.0f, 0.0f);
    cam.update();
    EXPECT_FLOAT_EQ(cam.lens.m[2][3], -std::tan(cam.half_fov));
    EXPECT_EQ(cam.lens.m[3][3], 0.0f);
}

TEST(Camera, LinkedPointsFollowTheirNodes)
{
    torvane_test::FpTraps traps;
    model_node eye_node(node_kind_full), aim_node(node_kind_full);
    scene_test::place_node(eye_node, 0.0f, 0.0f, 10.0f);
    scene_test::place_node(aim_node, 10.0f, 0.0f, 10.0f);
    camera cam;
    EXPECT_EQ(cam.link_position(&eye_node, 0), nullptr);   // only 1 links
    EXPECT_EQ(cam.position_link_on, 0);
    EXPECT_EQ(cam.link_position(&eye_node, 1), &eye_node);
    EXPECT_EQ(cam.link_target(&aim_node, 1), &aim_node);
    cam.set_fov(deg90);
    cam.update();
    EXPECT_EQ(cam.position.z, 10.0f);
    EXPECT_EQ(cam.target.x, 10.0f);
    float x = 0, y = 0;
    ASSERT_TRUE(project_to_screen(cam, screen, {10, 0, 10, 1}, &x, &y));   // looking along +x
    EXPECT_NEAR(x, 319.0f, 0.5f);
    ASSERT_TRUE(project_to_screen(cam, screen, {5, 0, 15, 1}, &x, &y));    // right is +z
    EXPECT_NEAR(x, 638.0f, 0.5f);
    // Unlinking by the call changes nothing; the switch does.
    cam.link_position(nullptr, 0);
    EXPECT_EQ(cam.position_link, &eye_node);
    cam.position_link_on = 0;
    eye_node.world.m[3][2] = 99.0f;
    cam.update();
    EXPECT_EQ(cam.position.z, 10.0f);
}

TEST(Camera, HeadingIsTheYawOfTheAim)
{
    torvane_test::FpTraps traps;
    camera cam;
    cam.position = {0, 5, 0, 0};
    cam.target = {10, 0, 0, 0};   // looking along +x
    cam.build_heading();
    // n = (-1, 0) from the target back to the eye, s = (0, 1) sideways.
    EXPECT_NEAR(cam.heading.m[2][0], -1.0f, 2e-3f);
    EXPECT_NEAR(cam.heading.m[2][2], 0.0f, 1e-6f);
    EXPECT_NEAR(cam.heading.m[0][2], 1.0f, 2e-3f);
    EXPECT_EQ(cam.heading.m[1][1], 1.0f);
    EXPECT_EQ(cam.heading_inverse.m[0][2], cam.heading.m[2][0]);
    cam.target = cam.position;   // no horizontal direction: finite
    cam.build_heading();
    for (int i = 0; i < 16; ++i)
        EXPECT_TRUE(std::isfinite(cam.heading.m[i / 4][i % 4]));
}

namespace {

class CameraFacingTest : public model_test::ModelTest {};

// A billboard in a scene turns to the engine's current camera without any
// reader installed by hand: the camera brings its own. Its z axis points
// from the billboard's side back along the camera's horizontal line of sight.
TEST_F(CameraFacingTest, BillboardsFaceTheCurrentCamera)
{
    camera cam(camera::mode_target);
    cam.position = {10.0f, 2.0f, 0.0f, 1.0f};
    cam.target = {0.0f, 0.0f, 0.0f, 1.0f};
    cam.update();
    cam.build_heading();
    current_engine->camera = &cam;

    model_test::model_builder b("SMOKE");
    b.add("ROOT", node_empty, -1);
    model_node* puff = b.add("PUFF", node_mesh, 0);
    puff->mesh = new model_part;
    puff->mesh->mesh_word = 2;   // a billboard
    ml_modelinfo* model = b.finish();
    model->update_transforms(0.0f);
    EXPECT_NEAR(puff->world.m[2][0], 1.0f, 1e-3f);
    EXPECT_NEAR(puff->world.m[2][1], 0.0f, 1e-3f);
    EXPECT_NEAR(puff->world.m[2][2], 0.0f, 1e-3f);
    current_engine->camera = nullptr;
    delete model;
}

} // namespace
