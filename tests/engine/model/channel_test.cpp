#include <cmath>

#include <gtest/gtest.h>

#include "engine/base/mat4.h"
#include "engine/base/quat.h"
#include "engine/model/anim_channels.h"
#include "engine/model/anim_transition.h"
#include "engine/model/fcurve.h"
#include "engine/model/orient_spline.h"
#include "engine/model/path_spline.h"
#include "tests/engine/model/model_fixture.h"
#include "tests/support/fp_traps.h"

using model_test::constant_curve;
using model_test::make_curve;
using model_test::ModelTest;

namespace {

// A straight path from the origin along x, 10 long, with handles at thirds.
path_spline* straight_path(float length = 10.0f)
{
    auto* path = new (pool_path_spline) path_spline;
    for (float x : {0.0f, length}) {
        auto* p = new (pool_path_point) path_point;
        p->position = {x, 0, 0, 1};
        p->in_handle = {x - length / 3, 0, 0, 1};
        p->out_handle = {x + length / 3, 0, 0, 1};
        path->insert_point(p, 1100, 0);
    }
    path->measure_segment(path->first);
    path->accumulate(path->first);
    return path;
}

void expect_matrix_near(const mat4& a, const mat4& b, float tolerance)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(a.m[r][c], b.m[r][c], tolerance) << r << "," << c;
}

// A node animated by linear curves: scaling, translation and Euler angles.
anim_node* curve_node(float scale0, float scale1, float x0, float x1, float angle0, float angle1)
{
    auto* node = new (pool_anim_node) anim_node;
    node->scaling = new anim_scaling;
    node->scaling->x = make_curve({{0, scale0}, {1, scale1}});
    node->scaling->y = make_curve({{0, scale0}, {1, scale1}});
    node->scaling->z = make_curve({{0, scale0}, {1, scale1}});
    node->position = new (pool_anim_position) anim_position;
    node->position->flags |= position_by_curves;
    node->position->x = make_curve({{0, x0}, {1, x1}});
    node->rotation = new (pool_anim_rotation) anim_rotation;
    node->rotation->flags |= rotation_by_angles;
    node->rotation->y = make_curve({{0, angle0}, {1, angle1}});
    return node;
}

} // namespace

using ChannelTest = ModelTest;

TEST_F(ChannelTest, ScalingUsesTheCurvesThatExist)
{
    torvane_test::FpTraps traps;
    anim_scaling full;
    full.x = constant_curve(2);
    full.y = constant_curve(3);
    full.z = constant_curve(4);
    const vec4 s = full.eval(0.5f);
    EXPECT_EQ(s.x, 2.0f);
    EXPECT_EQ(s.y, 3.0f);
    EXPECT_EQ(s.z, 4.0f);

    anim_scaling partial;
    partial.y = constant_curve(5);
    const vec4 p = partial.eval(0.5f);
    EXPECT_EQ(p.x, 1.0f);
    EXPECT_EQ(p.y, 5.0f);
    EXPECT_EQ(p.z, 1.0f);
}

TEST_F(ChannelTest, PositionByCurvesAndByPath)
{
    torvane_test::FpTraps traps;
    anim_position curves;
    curves.flags |= position_by_curves;
    curves.x = make_curve({{0, 0}, {1, 4}});
    curves.z = constant_curve(-2);
    vec4 out{9, 9, 9, 7};
    curves.eval(0.25f, &out);
    EXPECT_FLOAT_EQ(out.x, 1.0f);
    EXPECT_EQ(out.y, 0.0f);
    EXPECT_EQ(out.z, -2.0f);
    EXPECT_EQ(out.w, 7.0f);

    anim_position none;
    none.eval(0.0f, &out);
    EXPECT_EQ(out.x, 0.0f);

    auto* node = new (pool_anim_node) anim_node;
    node->path = straight_path();
    const float total = node->path->total_length();
    auto* along = new (pool_anim_position) anim_position;
    node->position = along;
    along->flags |= position_along_path;
    along->path = node->path;
    along->fraction = constant_curve(0.5f);
    along->eval(0.3f, &out);
    EXPECT_NEAR(out.x, 5.0f, 2e-3f);
    EXPECT_EQ(out.w, 7.0f);

    // A fraction of exactly 0 is taken as 0.001 of the length.
    delete along->fraction;
    along->fraction = constant_curve(0.0f);
    along->eval(0.0f, &out);
    const vec4 expected = node->path->point_at((total - 0.001f) * 0.001f);
    EXPECT_EQ(out.x, expected.x);
    EXPECT_GT(out.x, 0.0f);

    vec4 pos{}, tangent{};
    EXPECT_TRUE(along->eval_with_tangent(0.0f, &pos, &tangent));
    EXPECT_NEAR(tangent.x, 10.0f, 1e-3f);
    EXPECT_FALSE(curves.eval_with_tangent(0.0f, &pos, &tangent));

    delete along->fraction;
    along->fraction = make_curve({{0, 0}, {1, 0.5f}});
    along->fraction_to_length();
    EXPECT_NEAR(along->fraction->last->value, total, 1e-5f);
    delete node;
}

TEST_F(ChannelTest, RotationByEulerAngles)
{
    torvane_test::FpTraps traps;
    const vec4 defaults{0.1f, 0.2f, 0.3f, 0};
    mat4 got{}, want{};

    anim_rotation xz;
    xz.flags |= rotation_by_angles;
    xz.x = constant_curve(90);
    xz.z = constant_curve(45);
    xz.eval(0, 0, &defaults, &got);
    mat_from_angles(&want, 90 * degrees_to_radians, 0.2f, 0.3f);  // no y curve: z is not evaluated
    expect_matrix_near(got, want, 1e-6f);

    anim_rotation xyz;
    xyz.flags |= rotation_by_angles;
    xyz.x = constant_curve(10);
    xyz.y = constant_curve(20);
    xyz.z = constant_curve(30);
    xyz.eval(0, 0, &defaults, &got);
    mat_from_angles(&want, 10 * degrees_to_radians, 20 * degrees_to_radians, 30 * degrees_to_radians);
    expect_matrix_near(got, want, 1e-6f);
    xyz.eval(0, 1, &defaults, &got);
    mat_from_angles(&want, 10 * degrees_to_radians, 0, 0);
    expect_matrix_near(got, want, 1e-6f);

    anim_rotation plain;
    plain.eval(0, 0, &defaults, &got);
    mat_identity(&want);
    expect_matrix_near(got, want, 0);
}

TEST_F(ChannelTest, RotationByOrientationSpline)
{
    torvane_test::FpTraps traps;
    auto* spline = new (pool_orient_spline) orient_spline;
    const float a0[3] = {0, 0, 0};
    const float a1[3] = {0, 1.0f, 0};
    for (const float* a : {a0, a1}) {
        auto* key = new (pool_orient_key) orient_key;
        quat_from_angles(a, &key->key);
        spline->insert_key(key, 1100, spline_rebuild_around);
    }
    anim_rotation rotation;
    rotation.flags |= rotation_by_spline;
    rotation.spline = spline;
    rotation.owns_spline = true;
    rotation.param = constant_curve(1.0f);
    const vec4 defaults{};
    mat4 got{}, want{};
    rotation.eval(0, 0, &defaults, &got);
    mat_rot_y(&want, 1.0f);
    expect_matrix_near(got, want, 2e-3f);
}

TEST_F(ChannelTest, TransitionRunsFromTheFirstAnimationToTheSecond)
{
    torvane_test::FpTraps traps;
    anim_node* a = curve_node(1, 3, 0, 10, 0, 90);
    anim_node* b = curve_node(5, 7, 20, 30, 45, 0);
    // B also turns about z, which A leaves at rest.
    b->rotation->z = make_curve({{0, 30}, {1, 60}});
    const anim_rest_pose rest{{0, 0, 0, 1}, {0, 0, 0.5f, 0}};
    auto* target = new (pool_anim_node) anim_node;
    const float ta = 0.25f, tb = 0.75f;
    for (std::uint32_t interp : {fcurve_interp_linear, fcurve_interp_cubic}) {
        anim_trans_scaling(&rest, target, b, a, ta, tb, interp);
        anim_trans_position(&rest, target, b, a, ta, tb, interp);
        anim_trans_rotation(&rest, target, b, a, ta, tb, interp);

        EXPECT_FLOAT_EQ(target->scaling->eval(0).x, a->scaling->eval(ta).x);
        EXPECT_FLOAT_EQ(target->scaling->eval(1).y, b->scaling->eval(tb).y);
        vec4 p0{}, p1{}, want{};
        target->position->eval(0, &p0);
        a->position->eval(ta, &want);
        EXPECT_FLOAT_EQ(p0.x, want.x);
        target->position->eval(1, &p1);
        b->position->eval(tb, &want);
        EXPECT_FLOAT_EQ(p1.x, want.x);
        EXPECT_EQ(target->position->y, nullptr);  // neither side moves y

        const vec4 defaults{};
        mat4 r0{}, r1{}, expected{};
        target->rotation->eval(0, 0, &defaults, &r0);
        // A at ta: y = 22.5 degrees, z at rest (0.5 rad).
        mat_from_angles(&expected, 0, 22.5f * degrees_to_radians, 0.5f);
        expect_matrix_near(r0, expected, 1e-5f);
        target->rotation->eval(1, 0, &defaults, &r1);
        mat_from_angles(&expected, 0, 11.25f * degrees_to_radians, 52.5f * degrees_to_radians);
        expect_matrix_near(r1, expected, 1e-5f);
        EXPECT_EQ(target->position->x->interp, interp);

        // A refresh re-evaluates at other times and leaves the curves linear.
        anim_refresh_position(&rest, target, b, a, 0.5f, 0.5f);
        anim_refresh_rotation(&rest, target, b, a, 0.5f, 0.5f);
        anim_refresh_scaling(&rest, target, b, a, 0.5f, 0.5f);
        target->position->eval(0, &p0);
        EXPECT_FLOAT_EQ(p0.x, 5.0f);
        target->position->eval(1, &p1);
        EXPECT_FLOAT_EQ(p1.x, 25.0f);
        EXPECT_EQ(target->position->x->interp, fcurve_interp_linear);
        EXPECT_EQ(target->rotation->z->interp, fcurve_interp_linear);
        EXPECT_FLOAT_EQ(target->scaling->eval(1).z, 6.0f);

        delete target->position;
        delete target->rotation;
        delete target->scaling;
        target->position = nullptr;
        target->rotation = nullptr;
        target->scaling = nullptr;
    }
    delete target;
    delete a;
    delete b;
}

TEST_F(ChannelTest, TransitionBetweenPathsAndOrientationSplines)
{
    torvane_test::FpTraps traps;
    auto path_node = [](float fraction) {
        auto* node = new (pool_anim_node) anim_node;
        node->path = straight_path();
        node->position = new (pool_anim_position) anim_position;
        node->position->flags |= position_along_path;
        node->position->path = node->path;
        node->position->fraction = constant_curve(fraction);
        auto* spline = new (pool_orient_spline) orient_spline;
        const float a0[3] = {0, 0, 0};
        const float a1[3] = {1.0f, 0, 0};
        for (const float* a : {a0, a1}) {
            auto* key = new (pool_orient_key) orient_key;
            quat_from_angles(a, &key->key);
            spline->insert_key(key, 1100, spline_rebuild_around);
        }
        node->orient = spline;
        node->rotation = new (pool_anim_rotation) anim_rotation;
        node->rotation->flags |= rotation_by_spline;
        node->rotation->spline = spline;
        node->rotation->owns_spline = true;
        node->rotation->param = constant_curve(fraction);
        return node;
    };
    anim_node* a = path_node(0.2f);
    anim_node* b = path_node(0.8f);
    const anim_rest_pose rest{};
    auto* target = new (pool_anim_node) anim_node;
    anim_trans_position(&rest, target, b, a, 0, 0, fcurve_interp_cubic);
    EXPECT_EQ(target->position->flags & position_blend_paths, position_blend_paths);
    EXPECT_EQ(target->position->path, b->path);
    // The blend between path positions is read from the x, y, z curves.
    vec4 want{};
    a->position->eval(0, &want);
    EXPECT_FLOAT_EQ(target->position->x->calc(0), want.x);
    EXPECT_FLOAT_EQ(target->position->y->calc(0), want.y);
    b->position->eval(0, &want);
    EXPECT_FLOAT_EQ(target->position->x->calc(1), want.x);
    EXPECT_NEAR(target->position->x->first->out_slope, 10.0f, 1e-3f);  // A's path tangent

    anim_trans_rotation(&rest, target, b, a, 0, 0, fcurve_interp_cubic);
    ASSERT_NE(target->orient, nullptr);
    EXPECT_EQ(target->orient->flags & spline_from_transition, spline_from_transition);
    EXPECT_EQ(target->rotation->flags & rotation_by_spline, rotation_by_spline);
    const vec4 defaults{};
    mat4 got{}, expected{};
    target->rotation->eval(0, 0, &defaults, &got);
    a->rotation->eval(0, 0, &defaults, &expected);
    expect_matrix_near(got, expected, 2e-3f);
    target->rotation->eval(1, 0, &defaults, &got);
    b->rotation->eval(0, 0, &defaults, &expected);
    expect_matrix_near(got, expected, 2e-3f);

    anim_node* same = path_node(0.2f);
    auto* target2 = new (pool_anim_node) anim_node;
    anim_trans_position(&rest, target2, same, a, 0, 0, fcurve_interp_cubic);
    EXPECT_EQ(target2->position->flags & position_equal_paths, position_equal_paths);

    const int nodes = anim_node::live;
    delete target;
    delete target2;
    delete a;
    delete b;
    delete same;
    EXPECT_EQ(anim_node::live, nodes - 5);
}
