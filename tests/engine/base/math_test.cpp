#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <numbers>

#include "engine/base/float_conv.h"
#include "engine/base/mat4.h"
#include "engine/base/vec4.h"
#include "platform/message_box.h"
#include "tests/support/fp_traps.h"

namespace {

constexpr float pi = std::numbers::pi_v<float>;

// Every test here runs with division by zero and invalid operations trapped.
class EngineMath : public ::testing::Test {
protected:
    torvane_test::FpTraps traps;
};

mat4 make(std::initializer_list<float> values)
{
    mat4 m{};
    int i = 0;
    for (float v : values) {
        m.m[i / 4][i % 4] = v;
        ++i;
    }
    return m;
}

mat4 identity()
{
    mat4 m;
    return *mat_identity(&m);
}

void expect_mat_near(const mat4& a, const mat4& b, float tol, const char* what)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(a.m[r][c], b.m[r][c], tol) << what << " at [" << r << "][" << c << "]";
}

void expect_mat_eq(const mat4& a, const mat4& b, const char* what)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(a.m[r][c], b.m[r][c]) << what << " at [" << r << "][" << c << "]";
}

vec4 transform(const mat4& m, vec4 p)
{
    vec4 out{};
    return *mat_transform_point(&m, &p, &out);
}

// A general affine transform: a rotation, an uneven scale and a translation.
mat4 sample_affine()
{
    mat4 m;
    mat_from_angles(&m, 0.3f, -1.1f, 2.0f);
    for (int c = 0; c < 3; ++c) {
        m.m[0][c] *= 2.0f;
        m.m[1][c] *= 0.5f;
        m.m[2][c] *= 3.0f;
    }
    m.m[3][0] = 10.0f;
    m.m[3][1] = -4.0f;
    m.m[3][2] = 0.25f;
    return m;
}

} // namespace

TEST_F(EngineMath, ProductWithIdentityAndTranslation)
{
    const mat4 a = sample_affine();
    const mat4 id = identity();
    mat4 out;
    expect_mat_eq(*mat_mul(&a, &out, &id), a, "a x I");
    expect_mat_eq(*mat_mul(&id, &out, &a), a, "I x a");

    mat4 t = identity();
    t.m[3][0] = 3.0f;
    t.m[3][1] = -2.0f;
    t.m[3][2] = 7.5f;
    const vec4 p = transform(t, {1.0f, 2.0f, 3.0f, 1.0f});
    EXPECT_EQ(p.x, 4.0f);
    EXPECT_EQ(p.y, 0.0f);
    EXPECT_EQ(p.z, 10.5f);
    EXPECT_EQ(p.w, 1.0f);

    // a is applied first: (p x a) x b == p x (a x b); the output may alias.
    mat4 b;
    mat_rot_y(&b, 0.7f);
    b.m[3][1] = 5.0f;
    mat4 ab = a;
    mat_mul(&ab, &ab, &b);
    const vec4 q = {0.5f, -1.5f, 2.0f, 1.0f};
    const vec4 step = transform(b, transform(a, q));
    const vec4 once = transform(ab, q);
    EXPECT_NEAR(once.x, step.x, 1e-4f);
    EXPECT_NEAR(once.y, step.y, 1e-4f);
    EXPECT_NEAR(once.z, step.z, 1e-4f);
}

TEST_F(EngineMath, ElementaryRotationsMapTheAxes)
{
    struct Case {
        const char* name;
        mat4* (*rot)(mat4*, float);
        mat4* (*rotate)(const mat4*, mat4*, float);
        vec4 from;
        vec4 to;
    };
    const Case cases[] = {
        {"Rx", mat_rot_x, mat_rotate_x, {0, 1, 0, 1}, {0, 0, 1, 1}},
        {"Ry", mat_rot_y, mat_rotate_y, {0, 0, 1, 1}, {1, 0, 0, 1}},
        {"Rz", mat_rot_z, mat_rotate_z, {1, 0, 0, 1}, {0, 1, 0, 1}},
    };
    const mat4 id = identity();
    for (const Case& c : cases) {
        mat4 r;
        c.rot(&r, pi / 2);
        const vec4 p = transform(r, c.from);
        EXPECT_NEAR(p.x, c.to.x, 1e-6f) << c.name;
        EXPECT_NEAR(p.y, c.to.y, 1e-6f) << c.name;
        EXPECT_NEAR(p.z, c.to.z, 1e-6f) << c.name;

        // The rotate forms multiply on the right: I x R == R, and
        // R(a) x R(b) == R(a + b).
        mat4 out;
        expect_mat_eq(*c.rotate(&id, &out, 0.4f), *c.rot(&r, 0.4f), c.name);
        c.rotate(&out, &out, 0.5f);
        expect_mat_near(out, *c.rot(&r, 0.9f), 1e-6f, c.name);
    }
}

TEST_F(EngineMath, AnglesComposeXThenYThenZ)
{
    mat4 m;
    mat4 r;
    expect_mat_eq(*mat_from_angles(&m, 0.8f, 0, 0), *mat_rot_x(&r, 0.8f), "angles (a, 0, 0)");
    expect_mat_eq(*mat_from_angles(&m, 0, 0, -2.2f), *mat_rot_z(&r, -2.2f), "angles (0, 0, c)");
    expect_mat_eq(*mat_from_angles(&m, 0, 1.3f, 0), *mat_rot_y(&r, 1.3f), "angles (0, b, 0)");

    const float angles[][3] = {{0.3f, -1.1f, 2.0f}, {pi, pi / 2, -pi / 3}, {-0.01f, 3.0f, 0.5f}};
    for (const auto& a : angles) {
        mat4 product = identity();
        mat_rotate_x(&product, &product, a[0]);
        mat_rotate_y(&product, &product, a[1]);
        mat_rotate_z(&product, &product, a[2]);
        expect_mat_near(*mat_from_angles(&m, a[0], a[1], a[2]), product, 2e-6f, "Rx x Ry x Rz");
    }
}

TEST_F(EngineMath, AxisRotationAgreesWithTheElementaryOnes)
{
    const vec4 x_axis = {1, 0, 0, 0};
    const vec4 z_axis = {0, 0, 1, 0};
    const mat4 id = identity();
    mat4 out;
    mat4 r;
    expect_mat_near(*mat_rotate_axis(&id, &out, &x_axis, 0.6f), *mat_rot_x(&r, 0.6f), 1e-7f, "axis x");
    expect_mat_near(*mat_rotate_axis(&id, &out, &z_axis, -1.2f), *mat_rot_z(&r, -1.2f), 1e-7f, "axis z");
    EXPECT_EQ(out.m[3][3], 1.0f) << "an affine matrix stays affine";

    // vec_rotate_axis turns a vector as the matrix of the same axis does.
    const float k = 1.0f / std::sqrt(3.0f);
    const vec4 axis = {k, -k, k, 0};
    mat_rotate_axis(&id, &out, &axis, 2.1f);
    const vec4 v = {0.3f, 1.7f, -2.5f, 0};
    vec4 turned{};
    vec_rotate_axis(&v, &turned, &axis, 2.1f);
    const vec4 by_matrix = transform(out, v);
    EXPECT_NEAR(turned.x, by_matrix.x, 1e-5f);
    EXPECT_NEAR(turned.y, by_matrix.y, 1e-5f);
    EXPECT_NEAR(turned.z, by_matrix.z, 1e-5f);
    // A turn about the axis keeps the length and the axis itself.
    EXPECT_NEAR(std::sqrt(turned.x * turned.x + turned.y * turned.y + turned.z * turned.z),
                std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z), 1e-5f);
    vec4 same{};
    vec_rotate_axis(&axis, &same, &axis, 2.1f);
    EXPECT_NEAR(same.x, axis.x, 1e-6f);
    EXPECT_NEAR(same.y, axis.y, 1e-6f);
    EXPECT_NEAR(same.z, axis.z, 1e-6f);
}

TEST_F(EngineMath, AffineProductWritesTheFourthColumn)
{
    mat4 a = sample_affine();
    mat4 b;
    mat_from_angles(&b, -0.4f, 0.9f, 0.1f);
    b.m[3][0] = 1.0f;
    b.m[3][2] = -6.0f;
    mat4 full;
    mat_mul(&a, &full, &b);

    // Garbage in the fourth columns is not read.
    for (int r = 0; r < 4; ++r) {
        a.m[r][3] = 99.0f + static_cast<float>(r);
        b.m[r][3] = -42.0f;
    }
    mat4 out;
    mat_mul_affine(&a, &out, &b);
    for (int r = 0; r < 3; ++r)
        EXPECT_EQ(out.m[r][3], 0.0f);
    EXPECT_EQ(out.m[3][3], 1.0f);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(out.m[r][c], full.m[r][c], 1e-5f) << r << "," << c;

    mat_mul_affine(&out, &out, &out);  // aliasing is allowed
    EXPECT_EQ(out.m[3][3], 1.0f);
}

TEST_F(EngineMath, AffineProductGivesTheBitsOfItsFormula)
{
    // The product, one float operation at a time in the formula's order:
    // sum over k < 3 of a[r][k] b[k][c], plus b[3][c] in the translation row.
    auto formula = [](const mat4& a, const mat4& b) {
        mat4 r{};
        for (int i = 0; i < 4; ++i) {
            for (int j = 0; j < 3; ++j) {
                float e = a.m[i][0] * b.m[0][j];
                e = e + a.m[i][1] * b.m[1][j];
                e = e + a.m[i][2] * b.m[2][j];
                if (i == 3)
                    e = e + b.m[3][j];
                r.m[i][j] = e;
            }
            r.m[i][3] = i == 3 ? 1.0f : 0.0f;
        }
        return r;
    };
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::uint32_t x = 12345;
    auto next = [&x] {
        x = x * 1664525u + 1013904223u;
        return static_cast<float>(static_cast<std::int32_t>(x >> 8) - (1 << 23)) / 65536.0f;
    };
    for (int trial = 0; trial < 500; ++trial) {
        mat4 a;
        mat4 b;
        for (int r = 0; r < 4; ++r) {
            for (int c = 0; c < 4; ++c) {
                a.m[r][c] = next();
                b.m[r][c] = next();
            }
        }
        if (trial % 7 == 0)
            a.m[1][2] = -0.0f;  // signed zeros keep their signs
        // Whatever the fourth columns hold is not read (nor trapped on).
        const float junk[] = {inf, -inf, nan, 3.0e38f};
        for (int r = 0; r < 4; ++r) {
            a.m[r][3] = junk[(trial + r) % 4];
            b.m[r][3] = junk[(trial + r + 1) % 4];
        }
        const mat4 expected = formula(a, b);
        mat4 out;
        mat_mul_affine(&a, &out, &b);
        ASSERT_EQ(std::memcmp(&out, &expected, sizeof out), 0) << "trial " << trial;
        mat_mul_affine(&a, &a, &b);  // out may be a
        ASSERT_EQ(std::memcmp(&a, &expected, sizeof a), 0) << "trial " << trial;
    }
}

TEST_F(EngineMath, InversesTransposesAndDeterminants)
{
    mat_reset_singular_inversions();
    const mat4 id = identity();
    EXPECT_EQ(mat_determinant(&id), 1.0);
    const mat4 scale = make({2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 4, 0, 0, 0, 0, 1});
    EXPECT_EQ(mat_determinant(&scale), 24.0);

    // A rotation's inverse is its transpose.
    mat4 rot;
    mat_from_angles(&rot, 1.0f, -0.5f, 2.5f);
    mat4 inv;
    mat4 tr;
    expect_mat_near(*mat_invert(&rot, &inv), *mat_transpose(&rot, &tr), 1e-6f, "rotation inverse");

    const mat4 full = make({2, 1, 0, 3, -1, 4, 2, 0, 0.5f, 0, 1, -2, 1, 1, 1, 1});
    const mat4 cases[] = {sample_affine(), full, scale,
                          // Large and small scales whose determinant leaves the
                          // float range but whose inverse does not.
                          make({1e15f, 0, 0, 0, 0, 1e15f, 0, 0, 0, 0, 1e15f, 0, 0, 0, 0, 1}),
                          make({1e-14f, 0, 0, 0, 0, 1e-14f, 0, 0, 0, 0, 1e-14f, 0, 0, 0, 0, 1})};
    for (const mat4& m : cases) {
        mat_invert(&m, &inv);
        mat4 p;
        mat_mul(&m, &p, &inv);
        expect_mat_near(p, id, 1e-5f, "m x inverse");
        mat_mul(&inv, &p, &m);
        expect_mat_near(p, id, 1e-5f, "inverse x m");
    }
    EXPECT_EQ(mat_singular_inversions(), 0u) << "none of these is singular";

    // Inverting in place, and the adjugate: adj(m) x m = det(m) I.
    mat4 in_place = full;
    mat_invert(&in_place, &in_place);
    expect_mat_near(in_place, *mat_invert(&full, &inv), 0.0f, "in place");
    mat4 adj = full;
    mat_adjoint(&adj);
    mat4 p;
    mat_mul(&adj, &p, &full);
    const float det = static_cast<float>(mat_determinant(&full));
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(p.m[r][c], r == c ? det : 0.0f, 1e-4f);

    // Transpose twice is the identity operation.
    mat_transpose(&full, &tr);
    EXPECT_EQ(tr.m[0][3], full.m[3][0]);
    expect_mat_eq(*mat_transpose(&tr, &tr), full, "transpose twice");
}

TEST_F(EngineMath, SingularMatrixGivesTheIdentityAndIsReportedOnceOnStderr)
{
    mat_reset_singular_inversions();
    platform::clear_recorded_message_boxes();
    ::testing::internal::CaptureStderr();
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        const char* name;
        mat4 m;
    };
    const Case cases[] = {
        {"zero matrix", mat4{}},
        {"repeated row", make({1, 2, 3, 0, 1, 2, 3, 0, 0, 0, 1, 0, 4, 5, 6, 1})},
        {"flattened axis", make({1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 3, 3, 3, 1})},
        {"inverse beyond float", make({1e-39f, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1})},
        {"infinite entry", make({inf, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1})},
        {"NaN entry", make({1, 0, 0, 0, 0, nan, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1})},
    };
    const mat4 id = identity();
    unsigned long expected = 0;
    for (const Case& c : cases) {
        mat4 out = make({7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7});
        mat_invert(&c.m, &out);
        expect_mat_eq(out, id, c.name);
        EXPECT_EQ(mat_singular_inversions(), ++expected) << c.name;
    }
    // A note on stderr, once per run; no modal box in the middle of a race.
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "mat_invert: singular matrix, identity used\n");
    EXPECT_TRUE(platform::recorded_message_boxes().empty());
    mat_reset_singular_inversions();
}

TEST_F(EngineMath, FastInverseSquareRoot)
{
    EXPECT_NEAR(fast_inv_sqrt(4.0f), 0.5f, 0.001f);
    EXPECT_NEAR(fast_inv_sqrt(1.0f), 1.0f, 0.001f);
    // Two Newton steps: the relative error stays below 5e-6 over the whole
    // range of normal floats.
    for (float x = 1e-37f; x < 1e37f; x *= 3.7f) {
        const double exact = 1.0 / std::sqrt(static_cast<double>(x));
        EXPECT_NEAR(fast_inv_sqrt(x) / exact, 1.0, 5e-6) << x;
    }
    // Outside the domain: meaningless values, but no trap.
    EXPECT_TRUE(std::isfinite(fast_inv_sqrt(0.0f)));
    (void)fast_inv_sqrt(-4.0f);
    (void)fast_inv_sqrt(std::numeric_limits<float>::infinity());
}

TEST_F(EngineMath, VectorOperations)
{
    const vec4 a = {1, 0, 0, 5};
    const vec4 b = {0, 1, 0, -5};
    vec4 out = {9, 9, 9, 42};

    vec_lerp(&a, &out, &b, 0.25f);
    EXPECT_EQ(out.x, 0.75f);
    EXPECT_EQ(out.y, 0.25f);
    EXPECT_EQ(out.z, 0.0f);
    EXPECT_EQ(out.w, 42.0f) << "w of a result is left alone";

    vec_bisect(&a, &out, &b);
    const float k = 0.5f / (std::sqrt(0.5f) + 0.001f);
    EXPECT_NEAR(out.x, k, 1e-6f);
    EXPECT_NEAR(out.y, k, 1e-6f);
    EXPECT_LT(std::sqrt(out.x * out.x + out.y * out.y), 1.0f);
    const vec4 zero = {0, 0, 0, 0};
    vec_bisect(&zero, &out, &zero);  // no division by zero
    EXPECT_EQ(out.x, 0.0f);

    // Mirror about the direction b: the part along b stays, the rest flips.
    const vec4 v = {3, 4, -1, 0};
    const vec4 up = {0, 1, 0, 0};
    vec_reflect(&v, &out, &up);
    EXPECT_EQ(out.x, -3.0f);
    EXPECT_EQ(out.y, 4.0f);
    EXPECT_EQ(out.z, 1.0f);

    const vec4 a2 = {1, 0, 0, -7};
    EXPECT_EQ(vec_equal(&a, &a2), 1) << "w is not compared";
    const vec4 a3 = {1, 0, 1e-7f, 5};
    EXPECT_EQ(vec_equal(&a, &a3), 0);
}

TEST_F(EngineMath, SnapTruncatesToTheGrid)
{
    struct Case {
        vec4 in;
        float s;
        vec4 want;
    };
    const Case cases[] = {
        {{1.26f, -1.26f, 0, 0}, 10.0f, {1.2f, -1.2f, 0, 0}},  // toward zero, not rounded
        {{0.99f, -0.01f, 7.5f, 0}, 1.0f, {0, 0, 7, 0}},
        {{3.7f, 3.7f, 3.7f, 0}, 0.0f, {3.7f, 3.7f, 3.7f, 0}},  // no grid: unchanged
        // Values far beyond the 32-bit range have no fraction to cut.
        {{1e20f, -3e30f, 5e9f, 0}, 4.0f, {1e20f, -3e30f, 5e9f, 0}},
        {{3e38f, 1.05f, -3e38f, 0}, 10.0f, {3e38f, 1.0f, -3e38f, 0}},  // c s beyond the float range
    };
    for (const Case& c : cases) {
        vec4 out{};
        vec_snap(&c.in, &out, c.s);
        EXPECT_NEAR(out.x, c.want.x, std::fabs(c.want.x) * 1e-6f + 1e-6f) << c.in.x << " step 1/" << c.s;
        EXPECT_NEAR(out.y, c.want.y, std::fabs(c.want.y) * 1e-6f + 1e-6f) << c.in.y << " step 1/" << c.s;
        EXPECT_NEAR(out.z, c.want.z, std::fabs(c.want.z) * 1e-6f + 1e-6f) << c.in.z << " step 1/" << c.s;
    }
}

TEST_F(EngineMath, TruncationIsClampedNotUndefined)
{
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    constexpr auto i32max = std::numeric_limits<std::int32_t>::max();
    constexpr auto i32min = std::numeric_limits<std::int32_t>::min();
    constexpr auto i64max = std::numeric_limits<std::int64_t>::max();
    constexpr auto i64min = std::numeric_limits<std::int64_t>::min();
    struct Case {
        double in;
        std::int32_t want32;
        std::int64_t want64;
    };
    const Case cases[] = {
        {1.9, 1, 1},
        {-1.9, -1, -1},
        {-0.5, 0, 0},
        {2147483647.0, i32max, 2147483647},
        {2147483648.0, i32max, 2147483648LL},
        {-2147483649.0, i32min, -2147483649LL},
        {3e9, i32max, 3000000000LL},
        {1e30, i32max, i64max},
        {-1e30, i32min, i64min},
        {9223372036854775808.0, i32max, i64max},
        {inf, i32max, i64max},
        {-inf, i32min, i64min},
        {nan, 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(trunc_to_int(c.in), c.want32) << c.in;
        EXPECT_EQ(trunc_to_int64(c.in), c.want64) << c.in;
    }
}
