#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

#include "engine/base/cubic_segment.h"
#include "engine/base/mat4.h"
#include "engine/base/quat.h"
#include "tests/support/fp_traps.h"

namespace {

constexpr float pi = std::numbers::pi_v<float>;

class QuatSpline : public ::testing::Test {
protected:
    torvane_test::FpTraps traps;
};

quat axis_angle(float ax, float ay, float az, float angle)
{
    const float n = std::sqrt(ax * ax + ay * ay + az * az);
    const float s = std::sin(angle / 2) / n;
    return {ax * s, ay * s, az * s, std::cos(angle / 2)};
}

float length(const quat& q)
{
    return std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
}

float dot(const quat& a, const quat& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w;
}

void expect_quat_near(const quat& a, const quat& b, float tol, const char* what)
{
    EXPECT_NEAR(a.x, b.x, tol) << what;
    EXPECT_NEAR(a.y, b.y, tol) << what;
    EXPECT_NEAR(a.z, b.z, tol) << what;
    EXPECT_NEAR(a.w, b.w, tol) << what;
}

void expect_mat_near(const mat4& a, const mat4& b, float tol, const char* what)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(a.m[r][c], b.m[r][c], tol) << what << " at [" << r << "][" << c << "]";
}

void expect_vec_near(const vec4& a, const vec4& b, float tol, const char* what)
{
    EXPECT_NEAR(a.x, b.x, tol) << what;
    EXPECT_NEAR(a.y, b.y, tol) << what;
    EXPECT_NEAR(a.z, b.z, tol) << what;
}

const float ts[] = {0.0f, 0.1f, 0.25f, 0.5f, 0.77f, 1.0f};

} // namespace

TEST_F(QuatSpline, SlerpEndPointsAndUnitLength)
{
    struct Case {
        const char* name;
        quat q0;
        quat q1;
    };
    const Case cases[] = {
        {"quarter turn", {0, 0, 0, 1}, axis_angle(0, 1, 0, pi / 2)},
        {"two axes", axis_angle(1, 2, 3, 0.4f), axis_angle(-1, 0, 2, 2.5f)},
        {"small angle", {0, 0, 0, 1}, axis_angle(1, 0, 0, 0.002f)},
        {"negative dot", axis_angle(0, 0, 1, 0.3f), axis_angle(0, 1, 0, 5.5f)},
    };
    for (const Case& c : cases) {
        quat out;
        expect_quat_near(*quat_slerp(&c.q0, &out, &c.q1, 0.0f), c.q0, 1e-6f, c.name);
        expect_quat_near(*quat_slerp(&c.q0, &out, &c.q1, 1.0f), c.q1, 1e-6f, c.name);
        for (float t : ts) {
            quat_slerp(&c.q0, &out, &c.q1, t);
            EXPECT_NEAR(length(out), 1.0f, 1e-5f) << c.name << " t " << t;
        }
        // The angle from q0 grows in proportion to t.
        quat_slerp(&c.q0, &out, &c.q1, 0.25f);
        const float whole = std::acos(std::clamp(dot(c.q0, c.q1), -1.0f, 1.0f));
        EXPECT_NEAR(std::acos(std::clamp(dot(c.q0, out), -1.0f, 1.0f)), whole * 0.25f, 2e-3f) << c.name;
    }
}

TEST_F(QuatSpline, SlerpOfEqualKeysIsLinearAndReturnsTheKey)
{
    const quat q = axis_angle(1, 1, 0, 1.0f);
    for (float t : ts) {
        quat out;
        quat_slerp(&q, &out, &q, t);
        expect_quat_near(out, q, 1e-7f, "equal keys");
    }
    // A dot product pushed past 1 by rounding takes the linear branch too,
    // instead of an arccos of a value outside its domain.
    const quat big = {0.5f * 1.00001f, 0.5f * 1.00001f, 0.5f * 1.00001f, 0.5f * 1.00001f};
    quat out;
    quat_slerp(&big, &out, &big, 0.3f);
    expect_quat_near(out, big, 1e-7f, "dot above 1");
}

TEST_F(QuatSpline, NegativeDotTakesTheLongArc)
{
    const quat q0 = {0, 0, 0, 1};
    const quat q1 = {0, 0, 0.6f, -0.8f};
    quat mid;
    quat_slerp(&q0, &mid, &q1, 0.5f);
    // Halfway along the long arc is the direction of q0 + q1 = (0, 0, 0.6, 0.2);
    // the short arc would pass through (0, 0, -0.32, 0.95).
    const float n = std::sqrt(0.36f + 0.04f);
    expect_quat_near(mid, {0, 0, 0.6f / n, 0.2f / n}, 1e-5f, "long arc");
}

TEST_F(QuatSpline, SlerpNearHalfATurnStaysFiniteAndOnTheSphere)
{
    struct Case {
        const char* name;
        quat q0;
        quat q1;
    };
    const quat a = axis_angle(0.3f, -1, 0.5f, 0.8f);
    const quat neg_a = {-a.x, -a.y, -a.z, -a.w};
    // Rotating a by 2 pi - tiny in quaternion space gives a point just short
    // of -a.
    const quat b = axis_angle(1, 0, 0, 0.0f);
    const quat near_neg_b = axis_angle(1, 0, 0, 2 * pi - 2e-4f);
    const Case cases[] = {
        {"exactly opposite", a, neg_a},
        {"identity and its negation", {0, 0, 0, 1}, {0, 0, 0, -1}},
        {"just short of opposite", b, near_neg_b},
    };
    for (const Case& c : cases) {
        quat out;
        quat_slerp(&c.q0, &out, &c.q1, 0.0f);
        expect_quat_near(out, c.q0, 1e-5f, c.name);
        quat_slerp(&c.q0, &out, &c.q1, 1.0f);
        expect_quat_near(out, c.q1, 1e-3f, c.name);
        for (float t : ts) {
            quat_slerp(&c.q0, &out, &c.q1, t);
            EXPECT_TRUE(std::isfinite(out.x) && std::isfinite(out.y) && std::isfinite(out.z) && std::isfinite(out.w))
                << c.name;
            EXPECT_NEAR(length(out), 1.0f, 1e-4f) << c.name << " t " << t;
        }
        // Halfway is a quarter circle from both ends.
        quat_slerp(&c.q0, &out, &c.q1, 0.5f);
        EXPECT_NEAR(dot(out, c.q0), 0.0f, 1e-3f) << c.name;
    }
    // Just short of opposite follows the true great circle, through the
    // rotation about x.
    quat mid;
    quat_slerp(&b, &mid, &near_neg_b, 0.5f);
    expect_quat_near(mid, {1, 0, 0, 0}, 1e-3f, "turns about x");
}

TEST_F(QuatSpline, BisectAndReflect)
{
    const quat id = {0, 0, 0, 1};
    quat out;
    quat_bisect(&id, &out, &id);
    expect_quat_near(out, {0, 0, 0, 1.0f / 1.001f}, 1e-7f, "bisect of the identity");

    const quat q = {1, 2, 3, 4};
    const quat p = {0, 0, 0, 1};
    quat_reflect(&q, &out, &p);
    expect_quat_near(out, {-1, -2, -3, 4}, 0.0f, "reflect");

    quat_lerp(&q, &out, &p, 0.5f);
    expect_quat_near(out, {0.5f, 1, 1.5f, 2.5f}, 0.0f, "lerp");
}

TEST_F(QuatSpline, MatrixOfAQuaternionIsTheAxisRotation)
{
    const mat4 id = [] {
        mat4 m;
        return *mat_identity(&m);
    }();
    struct Case {
        vec4 axis;
        float angle;
    };
    const Case cases[] = {
        {{1, 0, 0, 0}, 0.7f}, {{0, 1, 0, 0}, -2.0f}, {{0, 0, 1, 0}, pi}, {{0.6f, 0.8f, 0, 0}, 1.3f},
    };
    for (const Case& c : cases) {
        const quat q = axis_angle(c.axis.x, c.axis.y, c.axis.z, c.angle);
        mat4 from_quat;
        quat_to_mat(&q, &from_quat);
        mat4 from_axis;
        mat_rotate_axis(&id, &from_axis, &c.axis, c.angle);
        expect_mat_near(from_quat, from_axis, 2e-6f, "quat_to_mat");
        expect_mat_near(quat_to_mat(&q), from_quat, 0.0f, "value form");
    }
}

TEST_F(QuatSpline, MatrixToQuaternionBranches)
{
    mat4 m;
    quat q;
    mat_to_quat(mat_identity(&m), &q);
    expect_quat_near(q, {0, 0, 0, 1}, 0.0f, "identity");

    // Trace -1: the second branch, largest diagonal entry first.
    mat_to_quat(mat_rot_x(&m, pi), &q);
    expect_quat_near(q, {1, 0, 0, 0}, 1e-6f, "Rx(pi)");
    mat_to_quat(mat_rot_y(&m, pi), &q);
    expect_quat_near(q, {0, 1, 0, 0}, 1e-6f, "Ry(pi)");
    mat_to_quat(mat_rot_z(&m, pi), &q);
    expect_quat_near(q, {0, 0, 1, 0}, 1e-6f, "Rz(pi)");

    // Matrices that are no rotation: no trap, a finite answer.
    const mat4 zero{};
    mat_to_quat(&zero, &q);
    EXPECT_TRUE(std::isfinite(q.x) && std::isfinite(q.w));
    mat4 bad;
    mat_identity(&bad);
    bad.m[1][1] = std::numeric_limits<float>::infinity();
    mat_to_quat(&bad, &q);
    expect_quat_near(q, {0, 0, 0, 1}, 0.0f, "infinite entry");
    bad.m[1][1] = std::numeric_limits<float>::quiet_NaN();
    mat_to_quat(&bad, &q);
    expect_quat_near(q, {0, 0, 0, 1}, 0.0f, "NaN entry");
}

TEST_F(QuatSpline, RoundTripsBetweenMatrixAndQuaternion)
{
    // Unit quaternions with w > 0 covering the trace > 0 branch and the
    // second branch with each of x, y, z largest.
    const quat cases[] = {
        axis_angle(1, 2, 3, 0.5f),      axis_angle(1, 0.1f, 0.2f, 3.0f), axis_angle(0.1f, 1, -0.3f, 3.1f),
        axis_angle(-0.2f, 0.1f, 1, 2.9f), axis_angle(1, 1, 1, 2.0f),     axis_angle(0, 0, 1, 1e-3f),
    };
    for (const quat& q : cases) {
        ASSERT_GT(q.w, 0.0f);
        mat4 m;
        quat_to_mat(&q, &m);
        quat back;
        mat_to_quat(&m, &back);
        expect_quat_near(back, q, 2e-6f, "quat -> matrix -> quat");

        mat4 again;
        quat_to_mat(&back, &again);
        expect_mat_near(again, m, 4e-6f, "matrix -> quat -> matrix");
    }

    // Angles: the quaternion of Rx x Ry x Rz is the matrix of those angles.
    const float angles[][3] = {{0.3f, -1.1f, 2.0f}, {3.0f, 0.2f, -0.4f}, {0, 0, 0}};
    for (const auto& a : angles) {
        quat q;
        quat_from_angles(a, &q);
        mat4 from_q;
        mat4 direct;
        expect_mat_near(*quat_to_mat(&q, &from_q), *mat_from_angles(&direct, a[0], a[1], a[2]), 4e-6f,
                        "quat_from_angles");
    }
}

TEST_F(QuatSpline, QuaternionSpline)
{
    const quat k = axis_angle(1, -2, 0.5f, 1.1f);
    const quat same[4] = {k, k, k, k};
    for (float t : ts) {
        quat out;
        quat_spline(same, &out, t);
        expect_quat_near(out, k, 1e-7f, "four equal keys");
    }

    // Keys spaced evenly along one great circle: the spline runs along it at
    // an even pace, and ends on the first and last keys.
    const float total = 2.4f;
    quat keys[4];
    for (int i = 0; i < 4; ++i)
        keys[i] = axis_angle(0, 1, 0, total * static_cast<float>(i) / 3);
    for (float t : ts) {
        quat out;
        quat_spline(keys, &out, t);
        expect_quat_near(out, axis_angle(0, 1, 0, total * t), 2e-6f, "even keys on one arc");
    }
}

TEST_F(QuatSpline, CubicEvaluationAndTangent)
{
    cubic_segment s{};
    s.ctrl[0] = {1, 2, 3, 0};
    s.ctrl[1] = {4, -1, 0, 0};
    s.ctrl[2] = {-2, 5, 1, 0};
    s.ctrl[3] = {0, 0, 7, 0};
    vec4 out{};
    expect_vec_near(*cubic_eval(&s, &out, 0.0f), s.ctrl[0], 0.0f, "B(0)");
    expect_vec_near(*cubic_eval(&s, &out, 1.0f), s.ctrl[3], 1e-6f, "B(1)");
    expect_vec_near(*cubic_eval_tangent(&s, &out, 0.0f), {9, -9, -9, 0}, 0.0f, "B'(0) = 3 (P1 - P0)");
    expect_vec_near(*cubic_eval_tangent(&s, &out, 1.0f), {6, -15, 18, 0}, 1e-5f, "B'(1) = 3 (P3 - P2)");

    // Against the Bernstein form, and the tangent against a difference quotient.
    for (float t : ts) {
        const float u = 1 - t;
        const float b0 = u * u * u;
        const float b1 = 3 * u * u * t;
        const float b2 = 3 * u * t * t;
        const float b3 = t * t * t;
        const vec4 want = {b0 * 1 + b1 * 4 + b2 * -2 + b3 * 0, b0 * 2 + b1 * -1 + b2 * 5 + b3 * 0,
                           b0 * 3 + b1 * 0 + b2 * 1 + b3 * 7, 0};
        expect_vec_near(*cubic_eval(&s, &out, t), want, 1e-5f, "Bernstein");
        vec4 lo{};
        vec4 hi{};
        const float h = 1e-3f;
        cubic_eval(&s, &lo, t - h);
        cubic_eval(&s, &hi, t + h);
        cubic_eval_tangent(&s, &out, t);
        expect_vec_near(out, {(hi.x - lo.x) / (2 * h), (hi.y - lo.y) / (2 * h), (hi.z - lo.z) / (2 * h), 0}, 2e-2f,
                        "tangent");
    }

    cubic_segment_coeffs(&s);
    expect_vec_near(s.a0, s.ctrl[0], 0.0f, "a0");
    expect_vec_near(s.a1, {9, -9, -9, 0}, 0.0f, "a1");
    expect_vec_near(s.a3, {17, -20, 1, 0}, 0.0f, "a3");

    // The left part of a split, run over [0, 1], retraces [0, t] of the whole.
    const cubic_segment left = cubic_split(&s, 0.4f);
    for (float t : ts) {
        vec4 a{};
        vec4 b{};
        expect_vec_near(*cubic_eval(&left, &a, t), *cubic_eval(&s, &b, 0.4f * t), 1e-5f, "split");
    }
}

TEST_F(QuatSpline, ForwardDifferencesFollowDirectEvaluation)
{
    cubic_segment s{};
    s.ctrl[0] = {0, 0, 0, 1};
    s.ctrl[1] = {10, 30, -5, 1};
    s.ctrl[2] = {20, -30, 5, 1};
    s.ctrl[3] = {30, 0, 40, 1};
    for (int n : {1, 4, 16, 100}) {
        std::vector<float> samples(5 * (n + 1) + 5, -1.0f);
        const float* end = cubic_tabulate(&s, n, samples.data());
        ASSERT_EQ(end, samples.data() + 5 * (n + 1)) << n;
        EXPECT_EQ(samples[5 * (n + 1)], -1.0f) << "nothing past the last sample";
        for (int k = 0; k <= n; ++k) {
            const float* sample = &samples[5 * k];
            const float t = static_cast<float>(k) / static_cast<float>(n);
            EXPECT_NEAR(sample[0], t, 1e-5f) << n << " sample " << k;
            vec4 want{};
            cubic_eval(&s, &want, t);
            EXPECT_NEAR(sample[1], want.x, 2e-3f) << n << " sample " << k;
            EXPECT_NEAR(sample[2], want.y, 2e-3f) << n << " sample " << k;
            EXPECT_NEAR(sample[3], want.z, 2e-3f) << n << " sample " << k;
            EXPECT_EQ(sample[4], 1.0f);
        }
    }

    // No step to take: sample 0 only, and no division by zero.
    for (int n : {0, -3}) {
        float samples[10] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
        EXPECT_EQ(cubic_tabulate(&s, n, samples), samples + 5);
        EXPECT_EQ(samples[0], 0.0f);
        EXPECT_EQ(samples[1], 0.0f);
        EXPECT_EQ(samples[5], -1.0f);
    }

    // The difference state for a step h, against the polynomial.
    cubic_forward_diff(&s, 0.5f);
    EXPECT_EQ(s.diff[0][0], s.a1.x * 0.5f + s.a2.x * 0.25f + s.a3.x * 0.125f);
    EXPECT_EQ(s.diff[1][1], 2 * s.a2.y * 0.25f + 6 * s.a3.y * 0.125f);
    EXPECT_EQ(s.diff[2][2], 6 * s.a3.z * 0.125f);
}

TEST_F(QuatSpline, BoundingBoxes)
{
    cubic_segment line{};
    line.ctrl[0] = {0, 0, 0, 0};
    line.ctrl[1] = {1.0f / 3, 1.0f / 3, 1.0f / 3, 0};
    line.ctrl[2] = {2.0f / 3, 2.0f / 3, 2.0f / 3, 0};
    line.ctrl[3] = {1, 1, 1, 0};
    cubic_bounds(&line);
    expect_vec_near(line.bbox_min, {0, 0, 0, 0}, 0.0f, "straight min");
    expect_vec_near(line.bbox_max, {1, 1, 1, 0}, 0.0f, "straight max");

    // Curves that overshoot their end points (and one axis with a zero cubic
    // term): the box holds every point of the curve and touches its extremes.
    cubic_segment curves[2]{};
    curves[0].ctrl[0] = {0, 0, 0, 0};
    curves[0].ctrl[1] = {-3, 8, 2, 0};
    curves[0].ctrl[2] = {5, 8, -6, 0};
    curves[0].ctrl[3] = {1, 0, 1, 0};
    curves[1].ctrl[0] = {4, 1, 0, 0};
    curves[1].ctrl[1] = {4, 3, 2, 0};  // x constant, y quadratic-like
    curves[1].ctrl[2] = {4, 3, 4, 0};
    curves[1].ctrl[3] = {4, 1, 6, 0};
    for (cubic_segment& c : curves) {
        cubic_bounds(&c);
        vec4 lo = {1e30f, 1e30f, 1e30f, 0};
        vec4 hi = {-1e30f, -1e30f, -1e30f, 0};
        for (int k = 0; k <= 1000; ++k) {
            vec4 p{};
            cubic_eval(&c, &p, static_cast<float>(k) / 1000);
            lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z), 0};
            hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z), 0};
        }
        expect_vec_near(c.bbox_min, lo, 2e-3f, "min");
        expect_vec_near(c.bbox_max, hi, 2e-3f, "max");
        EXPECT_LE(c.bbox_min.x, lo.x + 1e-4f);
        EXPECT_LE(c.bbox_min.y, lo.y + 1e-4f);
        EXPECT_GE(c.bbox_max.y, hi.y - 1e-4f);
    }
}
