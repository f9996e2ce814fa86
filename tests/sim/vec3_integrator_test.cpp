#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "sim/integrator.h"
#include "sim/step_isolation.h"
#include "sim/vec3.h"
#include "tests/support/fp_traps.h"

namespace {

constexpr float kPi = 3.14159265f;

void expect_vec(const Vec3& v, float x, float y, float z, float tolerance = 1e-6f)
{
    EXPECT_NEAR(v.x, x, tolerance);
    EXPECT_NEAR(v.y, y, tolerance);
    EXPECT_NEAR(v.z, z, tolerance);
}

class SimMathTest : public ::testing::Test {
protected:
    torvane_test::FpTraps traps;
};

} // namespace

TEST_F(SimMathTest, VectorArithmetic)
{
    Vec3 a{1, 2, 3};
    const Vec3 b{4, -5, 6};
    expect_vec(a.Plus(b), 5, -3, 9);
    expect_vec(a.Minus(b), -3, 7, -3);
    expect_vec(a.Times(-2), -2, -4, -6);
    EXPECT_FLOAT_EQ(a.Dot(b), 4 - 10 + 18);
    expect_vec(a.Cross(b), 2 * 6 - 3 * -5, 3 * 4 - 1 * 6, 1 * -5 - 2 * 4);
    EXPECT_FLOAT_EQ(Vec3(3, 0, 4).Length(), 5);
    expect_vec(Vec3(3, 0, 4).Normalised(), 0.6f, 0, 0.8f);
    // Nothing to scale: the zero vector stays zero.
    expect_vec(Vec3().Normalised(), 0, 0, 0);

    EXPECT_EQ(&a.Add(b), &a);
    expect_vec(a, 5, -3, 9);
    a.Subtract(b);
    expect_vec(a, 1, 2, 3);
    a.Assign(b);
    expect_vec(a, 4, -5, 6);
}

TEST_F(SimMathTest, RotationsTurnAboutEachAxis)
{
    // A quarter turn about y turns heading 0 (+z) into heading pi/2 (+x).
    expect_vec(VecRotateY({0, 0, 1}, kPi / 2), 1, 0, 0);
    expect_vec(VecRotateY({1, 7, 0}, kPi / 2), 0, 7, -1);
    expect_vec(VecRotateX({0, 1, 0}, kPi / 2), 0, 0, 1);
    expect_vec(VecRotateZ({1, 0, 0}, kPi / 2), 0, 1, 0);
    // Every rotation keeps lengths, and the arbitrary-axis one agrees with
    // the axis rotations.
    const Vec3 v{0.3f, -1.2f, 2.5f};
    for (const float a : {-2.0f, 0.4f, 3.0f}) {
        EXPECT_NEAR(VecRotateX(v, a).Length(), v.Length(), 1e-5f);
        const Vec3 y = VecRotateY(v, a);
        const Vec3 axis = VecRotateAxis(v, {0, 1, 0}, a);
        expect_vec(axis, y.x, y.y, y.z, 1e-5f);
        const Vec3 z = VecRotateZ(v, a);
        const Vec3 axis_z = VecRotateAxis(v, {0, 0, 1}, a);
        expect_vec(axis_z, z.x, z.y, z.z, 1e-5f);
    }
    const float p[2] = {0.0f, 1.0f};
    float out[2];
    VecRotate2D(out, p, kPi / 2);
    EXPECT_NEAR(out[0], 1.0f, 1e-6f);
    EXPECT_NEAR(out[1], 0.0f, 1e-6f);
    const Vec2 q = VecRotate2D(Vec2{0.0f, 1.0f}, -kPi / 2);
    EXPECT_NEAR(q.x, -1.0f, 1e-6f);
    EXPECT_NEAR(q.z, 0.0f, 1e-6f);
}

// The grip reuses a rotation's cosine and sine, the sine's sign flipped, for
// the rotation back by the negated angle: that holds bit for bit only while
// the library's sine is odd and its cosine even for finite floats. Every
// 4093rd bit pattern (a prime stride, so every exponent and many mantissas).
TEST_F(SimMathTest, SineIsOddAndCosineEvenBitForBit)
{
    int checked = 0;
    for (std::uint64_t u = 0; u < 0x7f800000u; u += 4093) {
        const float a = std::bit_cast<float>(static_cast<std::uint32_t>(u));
        const AngleCosSin forward(a);
        const AngleCosSin back(-a);
        ASSERT_EQ(std::bit_cast<std::uint32_t>(back.c), std::bit_cast<std::uint32_t>(forward.c)) << a;
        ASSERT_EQ(std::bit_cast<std::uint32_t>(back.s), std::bit_cast<std::uint32_t>(-forward.s)) << a;
        // Rotations by the worked-out pair give what rotations by the angle give.
        const Vec3 v(0.3f, -1.0f, -2.5f);
        const Vec3 r = VecRotateY(v, a);
        const Vec3 q = VecRotateY(v, forward);
        ASSERT_EQ(std::bit_cast<std::uint32_t>(r.x), std::bit_cast<std::uint32_t>(q.x)) << a;
        ASSERT_EQ(std::bit_cast<std::uint32_t>(r.z), std::bit_cast<std::uint32_t>(q.z)) << a;
        ++checked;
    }
    EXPECT_GT(checked, 500000);
}

TEST_F(SimMathTest, SegmentParameterInXZ)
{
    const Vec3 a{0, 5, 0}, b{10, -3, 0};
    EXPECT_FLOAT_EQ(SegmentParamXZ({0, 0, 3}, a, b), 0.0f);
    EXPECT_FLOAT_EQ(SegmentParamXZ({10, 100, -3}, a, b), 1.0f);
    EXPECT_FLOAT_EQ(SegmentParamXZ({2.5f, 0, 9}, a, b), 0.25f);
    EXPECT_FLOAT_EQ(SegmentParamXZ({-5, 0, 0}, a, b), -0.5f);
    // Ends that coincide in x-z (y differs) give 0.
    EXPECT_EQ(SegmentParamXZ({3, 0, 3}, {1, 0, 1}, {1, 9, 1}), 0.0f);

    const float pa[2] = {1000.0f, 2000.0f}, pb[2] = {1100.0f, 2000.0f}, pp[2] = {1075.0f, 1990.0f};
    EXPECT_FLOAT_EQ(SegmentParam2D(pp, pa, pb), 0.75f);
    EXPECT_EQ(SegmentParam2D(pp, pa, pa), 0.0f);
}

TEST_F(SimMathTest, ApproachFromRestTakesTwoUnitsAndNeverOvershoots)
{
    Integrator in;
    EXPECT_EQ(in.Value, 0.0f);
    EXPECT_EQ(in.Rate, 0.0f);
    EXPECT_EQ(in.Limit, 1.0f);
    float s = -1.0f;
    EXPECT_FLOAT_EQ(in.TimeToTarget(1.0f, &s), 2.0f);
    EXPECT_FLOAT_EQ(s, 1.0f);

    float t = 0.0f;
    float previous = 0.0f;
    while (in.Value != 1.0f && t < 3.0f) {
        in.ApproachTarget(1.0f, 0.01f);
        t += 0.01f;
        // Within float rounding of the target, never beyond it.
        EXPECT_LE(in.Value, 1.0f + 1e-6f);
        EXPECT_GE(in.Value, previous - 1e-6f);
        EXPECT_LE(std::fabs(LastApproachAccel), 1.0f + 1e-5f);
        previous = in.Value;
    }
    EXPECT_NEAR(t, 2.0f, 0.02f);
    EXPECT_EQ(in.Rate, 0.0f);

    // Downward the manoeuvre starts with -Limit: a negative time.
    Integrator down(0.0f, 0.0f, 2.0f);
    EXPECT_FLOAT_EQ(down.TimeToTarget(-2.0f, &s), -2.0f);
    EXPECT_FLOAT_EQ(s, 1.0f);
    down.ApproachTarget(-2.0f, 0.5f);
    EXPECT_FLOAT_EQ(LastApproachAccel, -2.0f);
    EXPECT_FLOAT_EQ(down.Value, -0.25f);
    EXPECT_FLOAT_EQ(down.Rate, -1.0f);
}

TEST_F(SimMathTest, ALongStepLandsOnTheTargetAndAReachedTargetStays)
{
    Integrator in(0.0f, 0.0f, 1.0f);
    in.ApproachTarget(1.0f, 5.0f);
    EXPECT_EQ(in.Value, 1.0f);
    EXPECT_EQ(in.Rate, 0.0f);
    // Switch at 1 of 2: the mean acceleration over the manoeuvre is 0.
    EXPECT_FLOAT_EQ(LastApproachAccel, 0.0f);

    // The switch falls inside the step.
    Integrator mid(0.0f, 0.0f, 1.0f);
    mid.ApproachTarget(1.0f, 1.5f);
    EXPECT_FLOAT_EQ(mid.Rate, 0.5f);
    EXPECT_FLOAT_EQ(mid.Value, 1.0f - 0.5f * 0.25f);

    Integrator still(3.0f, 0.0f, 1.0f);
    LastApproachAccel = 9.0f;
    EXPECT_EQ(still.ApproachTarget(3.0f, 0.1f), 3.0f);
    EXPECT_EQ(still.Rate, 0.0f);
    EXPECT_EQ(LastApproachAccel, 0.0f);
    // A step of no time moves nothing.
    Integrator moving(0.0f, 1.0f, 1.0f);
    moving.ApproachTarget(5.0f, 0.0f);
    EXPECT_EQ(moving.Value, 0.0f);
    EXPECT_EQ(moving.Rate, 1.0f);
    EXPECT_EQ(moving.Advance(0.5f), 0.5f);
}

// In a step that notes its approach (a control step run side by side with
// other bikes'), the last acceleration goes to the step, not to the shared
// value, with the same bits; the step notes whether any approach ran.
TEST_F(SimMathTest, AnIsolatedStepKeepsItsOwnApproachAcceleration)
{
    IsolatedStep step;
    step.NotesApproach = true;
    LastApproachAccel = 9.0f;
    SetCurrentIsolatedStep(&step);
    Integrator noted(0.0f, 0.0f, 1.0f);
    noted.ApproachTarget(1.0f, 1.5f);
    SetCurrentIsolatedStep(nullptr);
    EXPECT_EQ(LastApproachAccel, 9.0f);
    EXPECT_TRUE(step.ApproachNoted);

    Integrator shared(0.0f, 0.0f, 1.0f);
    shared.ApproachTarget(1.0f, 1.5f);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(step.ApproachAccel), std::bit_cast<std::uint32_t>(LastApproachAccel));
    EXPECT_EQ(noted.Value, shared.Value);

    // A step that does not note approaches sets the shared value as before.
    IsolatedStep plain;
    SetCurrentIsolatedStep(&plain);
    Integrator(0.0f, 0.0f, 1.0f).ApproachTarget(-1.0f, 0.1f);
    SetCurrentIsolatedStep(nullptr);
    EXPECT_FALSE(plain.ApproachNoted);
    EXPECT_EQ(LastApproachAccel, -1.0f);
}

TEST_F(SimMathTest, ALimitOfZeroOrBelowKeepsTheValueStill)
{
    for (const float limit : {0.0f, -1.0f, -0.0f}) {
        Integrator in(2.0f, 0.5f, limit);
        float s = 7.0f;
        EXPECT_EQ(in.TimeToTarget(10.0f, &s), 0.0f);
        EXPECT_EQ(s, 0.0f);
        EXPECT_EQ(in.ApproachTarget(10.0f, 0.1f), 2.0f);
        EXPECT_EQ(in.Rate, 0.5f);
        EXPECT_EQ(LastApproachAccel, 0.0f);
    }
}

TEST_F(SimMathTest, ApproachStaysFiniteForEveryStepLength)
{
    // Frame steps from 1 ms to 0.1 s, targets jumping about, rates both ways.
    for (const float dt : {0.001f, 0.0037f, 0.01f, 0.033f, 0.1f}) {
        Integrator in(0.0f, 0.0f, 3.0f);
        for (int i = 0; i < 2000; ++i) {
            const float target = 5.0f * std::sin(0.013f * static_cast<float>(i) / dt * 0.01f) +
                                 ((i / 97) % 2 ? 4.0f : -4.0f);
            in.ApproachTarget(target, dt);
            ASSERT_TRUE(std::isfinite(in.Value)) << dt << " " << i;
            ASSERT_TRUE(std::isfinite(in.Rate));
            ASSERT_TRUE(std::isfinite(LastApproachAccel));
            ASSERT_LE(std::fabs(LastApproachAccel), 3.0f * 1.001f + 1e-4f) << dt << " " << i;
        }
    }
}
