#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>

#include "sim/bike.h"
#include "tests/sim/bike_world.h"
#include "tests/support/fp_traps.h"

using bike_test::AngleBetween;
using bike_test::BikeWorld;

namespace {

constexpr int kRace = 4;
constexpr float kFullLean = 0.97738439f;

// A race world with one human and one computer bike on the Island grid,
// both riding (state -1).
class ControlStepTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        world_.Load("Island", kRace);
        world_.MakeBikes(2, 1);
        world_.PlaceAll();
        for (int i = 0; i < 2; ++i)
            world_.bike(i).SetState(-1, 0.0f);
    }

    Bike& human() { return world_.bike(0); }
    Bike& computer() { return world_.bike(1); }

    // Runs the control step for `seconds` at `speed` with the given steering.
    void Ride(Bike& b, float speed, int steer, float seconds, float dt = 0.01f, int brake = 0)
    {
        const int steps = static_cast<int>(seconds / dt + 0.5f);
        for (int i = 0; i < steps; ++i) {
            b.Speed = speed;
            b.Controls.SteerInput = static_cast<std::int8_t>(steer);
            b.Controls.Brake = static_cast<std::uint8_t>(brake);
            b.ControlStep(dt);
        }
    }

    BikeWorld world_;
};

TEST_F(ControlStepTest, FullSteeringAtSpeedLeansTheBikeTo56Degrees)
{
    Bike& b = human();
    Ride(b, 30.0f, 127, 3.0f);
    EXPECT_NEAR(b.Lean.Value, kFullLean, 1e-4f);
    EXPECT_EQ(b.Roll, b.Lean.Value);
    EXPECT_NEAR(b.RideValue, 1.0f, 1e-6f);
    // The turn radius balances the lean at the speed: v^2 / (g tan lean).
    EXPECT_NEAR(b.TurnRadius, 900.0f / (9.80665f * std::tan(b.Lean.Value)), 0.01f);
    EXPECT_EQ(b.RearWheel.TurnRadius, b.TurnRadius);
    EXPECT_EQ(b.FrontWheel.TurnRadius, b.TurnRadius);

    Ride(b, 30.0f, -127, 3.0f);
    EXPECT_NEAR(b.Lean.Value, -kFullLean, 1e-4f);
    Ride(b, 30.0f, 0, 3.0f);
    EXPECT_NEAR(b.Lean.Value, 0.0f, 1e-4f);
}

TEST_F(ControlStepTest, BelowFifteenMetresASecondTheLeanShrinksWithSpeed)
{
    struct Case {
        float speed;
        float lean;
    } const cases[] = {{15.0f, kFullLean}, {40.0f, kFullLean}, {10.0f, 10.0f * 0.06515896f},
                       {5.0f, 5.0f * 0.06515896f}, {0.0f, 0.0f}};
    for (const Case& c : cases) {
        Bike& b = human();
        b.ResetDynamics(true);
        Ride(b, c.speed, 127, 4.0f);
        EXPECT_NEAR(b.Lean.Value, c.lean, 1e-4f) << c.speed;
    }
}

TEST_F(ControlStepTest, TheSteeringCurveIsSteeperNearTheCentreExceptInTheArcade)
{
    Bike& b = human();
    const int half = 64;
    const float s = half * 0.007874016f;
    Ride(b, 30.0f, half, 4.0f);
    const float curved = static_cast<float>(0.791999377094313 * std::atan(3.141592653589793 * s)) * kFullLean;
    EXPECT_NEAR(b.Lean.Value, curved, 1e-4f);

    // Braking blends back toward the plain input by the front set-up factor.
    b.ResetDynamics(true);
    Ride(b, 30.0f, half, 4.0f, 0.01f, 127);
    const float w = b.FrontWheel.SetupFactor;
    const float u = curved / kFullLean;
    EXPECT_NEAR(b.Lean.Value, ((1.0f - w) * u + w * s) * kFullLean, 1e-4f);

    CurrentRaceConditions().SessionType = kSessionArcade;
    b.ResetDynamics(true);
    Ride(b, 30.0f, half, 4.0f);
    EXPECT_NEAR(b.Lean.Value, s * kFullLean, 1e-4f);
}

TEST_F(ControlStepTest, ALeanTargetBeyondTheClampBeforeTheBumpTermStaysUnclamped)
{
    Bike& b = human();
    b.Speed = 30.0f;
    for (int i = 0; i < 400; ++i)
        b.LeanStep(1.1f, 0.01f);
    EXPECT_NEAR(b.Lean.Value, 1.1f, 1e-4f);

    // A target at or past the tangent's pole is held short of it.
    for (float target : {1.2794f, 1.5f, 3.0f, -10.0f}) {
        for (int i = 0; i < 400; ++i)
            b.LeanStep(target, 0.01f);
        EXPECT_TRUE(std::isfinite(b.Lean.Value)) << target;
        EXPECT_LT(std::fabs(b.Lean.Value), 1.2794f) << target;
        EXPECT_GT(b.Lean.Value * target, 0.0f) << target;
    }
}

TEST_F(ControlStepTest, TheLeanLimitNeverReachesZero)
{
    Bike& b = human();
    for (float speed : {0.0f, 100.0f, 299.0f, 300.0f, 450.0f}) {
        b.Speed = speed;
        b.LeanStep(0.5f, 0.01f);
        EXPECT_GT(b.Lean.Limit, 0.0f) << speed;
    }
    b.Speed = 0.0f;
    b.LeanStep(0.5f, 0.01f);
    EXPECT_NEAR(b.Lean.Limit, 16.0f * (b.Stability + 1.0f), 1e-4f);
}

TEST_F(ControlStepTest, NothingHappensWithoutTimeAndAFallenRiderOnlyKeepsHisPose)
{
    Bike& b = human();
    b.Controls.SteerInput = 127;
    b.Speed = 30.0f;
    b.Position = Vec3(1.0f, 2.0f, 3.0f);
    b.PrevPosition = Vec3();
    b.ControlStep(0.0f);
    EXPECT_EQ(b.PrevPosition.x, 0.0f); // not even the previous pose is copied
    EXPECT_EQ(b.Lean.Value, 0.0f);

    b.Status |= kBikeDown;
    b.Heading = 0.7f;
    world_.input.SetForce(std::array<float, 2>{0.0f, 0.0f}.data());
    b.RearWheel.Heading = 0.5f;
    b.ControlStep(0.01f);
    EXPECT_EQ(b.PrevPosition.x, 1.0f);
    EXPECT_EQ(b.PrevHeading, 0.7f);
    EXPECT_EQ(b.Lean.Value, 0.0f);
    EXPECT_EQ(b.RideValue, 0.0f);
    EXPECT_EQ(world_.input.LastForce()[0], 0.0f);

    b.Status = kBikeParked;
    b.Position = Vec3(5.0f, 5.0f, 5.0f);
    b.ControlStep(0.01f);
    EXPECT_EQ(b.PrevPosition.x, 1.0f);

    b.Status = 0;
    b.Flags |= kBikeNoControl;
    b.ControlStep(0.01f);
    EXPECT_EQ(b.PrevPosition.x, 1.0f);
}

TEST_F(ControlStepTest, ForceFeedbackGoesOnlyToTheViewedRidersStick)
{
    Bike& b = human();
    CurrentRaceContext().ViewedRider = 0;
    b.Speed = 20.0f;
    b.FrontWheel.HubAccel = 10.0f;
    b.ControlStep(0.01f);
    // UpdateBodyAxes keeps the rear wheel's heading; the bike's differs by 0.1.
    b.RearWheel.Heading = b.Heading - 0.1f;
    b.ControlStep(0.01f);
    EXPECT_NEAR(world_.input.LastForce()[0], 0.5f, 1e-5f);
    EXPECT_NEAR(world_.input.LastForce()[1], 0.4f, 1e-5f);

    b.RearWheel.Heading = b.Heading - 1.0f; // 5 rad: the input clamps it
    b.ControlStep(0.01f);
    EXPECT_EQ(world_.input.LastForce()[0], 1.0f);

    CurrentRaceContext().ViewedRider = 1;
    b.RearWheel.Heading = b.Heading;
    b.ControlStep(0.01f);
    EXPECT_EQ(world_.input.LastForce()[0], 1.0f);
}

TEST_F(ControlStepTest, TargetSpeedIsThePathsReferenceSpeedAStepAhead)
{
    Bike& b = human();
    b.Speed = 50.0f;
    const float dt = 0.05f;
    b.ControlStep(dt);
    float d = b.Progress + b.Speed * dt;
    if (d > world_.circuit.Length)
        d -= world_.circuit.Length;
    EXPECT_EQ(b.TargetSpeed, world_.circuit.Metres[static_cast<std::size_t>(d)].RefSpeed);
}

TEST_F(ControlStepTest, LookingBehindStartsRiderStateFour)
{
    Bike& b = human();
    b.Roll = -0.2f;
    b.Controls.Posture = 0x20;
    b.ControlStep(0.01f);
    EXPECT_EQ(b.RiderState, 4);
    EXPECT_EQ(b.StatePhase, 0.51f);
    EXPECT_EQ(b.Status & kBikeNoSlideFix, 0u);
}

TEST_F(ControlStepTest, BikesNobodySteersGoToTheComputerControl)
{
    struct Case {
        const char* what;
        bool human;
        std::uint32_t status;
        std::uint16_t controlStatus;
        bool computer;
    } const cases[] = {
        {"computer rider", false, 0, 0, true},
        {"player left", true, 0, ControlRecord::kControlStatusLeft, true},
        {"finished", true, kBikeFinished, 0, true},
        {"in the pit lane", true, kBikeInPitLane, 0, true},
        {"pit stop reached", true, kBikeInPitLane | kBikePitStop, 0, false},
        {"racing", true, 0, 0, false},
    };
    for (const Case& c : cases) {
        Bike& b = c.human ? human() : computer();
        b.Status = c.status;
        b.Controls.Status = c.controlStatus;
        b.Controls.SteerInput = 127;
        b.Speed = 30.0f;
        b.RideValue = 0.0f;
        b.TargetSpeed = -1.0f;
        b.Controls.Brake = 5;
        b.ControlStep(0.01f);
        // A steered bike keeps its rider's pedals and smooths his steering;
        // the computer control sets the pedals itself.
        EXPECT_EQ(b.Controls.Brake != 5, c.computer) << c.what;
        EXPECT_NE(b.TargetSpeed, -1.0f) << c.what;
        if (!c.computer) {
            EXPECT_GT(b.RideValue, 0.0f) << c.what;
        }
        b.Controls.Status = 0;
    }
}

TEST_F(ControlStepTest, TurningRoundAimsFiftyMetresAheadWrappingPastTheLine)
{
    Bike& b = computer();
    const float length = world_.circuit.Length;
    Vec2 point;
    world_.circuit.DistanceToPoint(length - 20.0f, &point, nullptr);
    b.Position = Vec3(point.x, b.Position.y, point.z);
    b.Segment = static_cast<std::uint32_t>(world_.circuit.SegmentCount() - 1);
    b.UpdateProgress();
    ASSERT_GT(b.Progress, length - 21.0f);

    Vec2 aim;
    world_.circuit.DistanceToPoint(b.Progress + 50.0f - length, &aim, nullptr);
    const float toward = std::atan2(aim.x - b.Position.x, aim.z - b.Position.z);

    for (int state : {23, 27}) {
        for (float off : {0.2f, -0.3f, 1.0f, -2.0f}) {
            b.SetState(state, 0.0f);
            b.Heading = toward + off;
            b.ControlStep(0.01f);
            const float e = std::clamp(AngleBetween(b.Heading, toward), -0.5f, 0.5f);
            EXPECT_EQ(b.Controls.SteerInput, static_cast<int>(e * 127.0f)) << state << " " << off;
            EXPECT_LE(std::abs(static_cast<int>(b.Controls.SteerInput)), 63);
            EXPECT_EQ(b.Controls.Throttle, 25);
            EXPECT_EQ(b.Controls.Brake, 0);
        }
    }

    // A human still racing turns the bike round with his own controls.
    Bike& h = human();
    h.SetState(23, 0.0f);
    h.Controls.SteerInput = -100;
    h.Controls.Throttle = 90;
    h.ControlStep(0.01f);
    EXPECT_EQ(h.Controls.SteerInput, -100);
    EXPECT_EQ(h.Controls.Throttle, 90);
}

TEST_F(ControlStepTest, NoStepMakesANaNForFrameTimesFromOneMillisecondToATenth)
{
    torvane_test::FpTraps traps;
    const float steps[] = {0.001f, 0.002f, 0.005f, 0.01f, 0.0166667f, 0.033f, 0.05f, 0.1f};
    for (int session : {kRace, kSessionArcade}) {
        CurrentRaceConditions().SessionType = session;
        for (float dt : steps) {
            for (int which = 0; which < 2; ++which) {
                Bike& b = world_.bike(which);
                b.ResetDynamics(true);
                b.SetState(-1, 0.0f);
                const int count = std::min(400, static_cast<int>(4.0f / dt));
                for (int i = 0; i < count; ++i) {
                    // Sweep speed, steering, brake, posture and grip.
                    b.Speed = static_cast<float>(i % 100);
                    b.Controls.SteerInput = static_cast<std::int8_t>(((i * 37) % 255) - 127);
                    b.Controls.Brake = static_cast<std::uint8_t>((i * 13) % 128);
                    b.Posture = static_cast<float>(i % 11) * 0.1f;
                    b.FrontWheel.Grip = (i % 7 == 0) ? 0.6f : 1.0f;
                    b.RearWheel.Grip = (i % 5 == 0) ? 0.3f : 1.0f;
                    b.RearWheel.Heading = b.Heading + ((i % 3) - 1) * 0.5f;
                    b.FrontWheel.HubAccel = static_cast<float>(i % 50);
                    b.ControlStep(dt);
                    ASSERT_TRUE(std::isfinite(b.Lean.Value) && std::isfinite(b.Lean.Rate))
                        << "dt " << dt << " step " << i;
                    ASSERT_TRUE(std::isfinite(b.RideValue) && std::isfinite(b.TurnRadius));
                    ASSERT_TRUE(std::isfinite(b.MassOffset.x) && std::isfinite(b.MassOffset.y) &&
                                std::isfinite(b.MassOffset.z));
                    ASSERT_LT(std::fabs(b.Roll), 1.28f);
                }
            }
        }
    }
}

TEST_F(ControlStepTest, BodyAxesFollowThePoseAndThePosture)
{
    Bike& b = human();
    b.Pitch = 0.1f;
    b.Roll = 0.3f;
    b.Heading = 1.0f;
    b.Posture = 1.0f;
    b.UpdateBodyAxes();

    const Vec3 forward = VecRotateX(Vec3(0.0f, 0.0f, 1.0f), 0.1f);
    const Vec3 up = VecRotateX(VecRotateZ(Vec3(0.0f, 1.0f, 0.0f), 0.3f), 0.1f);
    // Sitting up moves the centre of mass 0.1 m back and 0.05 m up; the
    // offset does not turn with the heading.
    const Vec3 mass = forward.Times(b.MassForward - 0.1f).Plus(up.Times(b.MassHeight + 0.05f));
    EXPECT_NEAR(b.MassOffset.x, mass.x, 1e-6f);
    EXPECT_NEAR(b.MassOffset.y, mass.y, 1e-6f);
    EXPECT_NEAR(b.MassOffset.z, mass.z, 1e-6f);
    const Vec3 turned = VecRotateY(forward, 1.0f);
    EXPECT_NEAR(b.ForwardAxis.x, turned.x, 1e-6f);
    EXPECT_NEAR(b.ForwardAxis.z, turned.z, 1e-6f);
    EXPECT_NEAR(b.UpAxis.y, up.y, 1e-6f);

    EXPECT_EQ(b.RearWheel.Orientation.Heading, 1.0f);
    EXPECT_EQ(b.FrontWheel.Orientation.Heading, b.RearWheel.Heading);
    EXPECT_EQ(b.FrontWheel.Heading, b.RearWheel.Heading);
    const float rest = (0.7f + 0.3f * std::cos(0.3f)) * b.RearWheel.LengthFactor * b.RearWheel.LengthScale +
                       b.RearWheel.LengthBase;
    EXPECT_FLOAT_EQ(b.RearWheel.RestLength, rest);
    EXPECT_FLOAT_EQ(b.FrontWheel.RestLength, rest);
}

TEST_F(ControlStepTest, LeanAndRadiusConvertBothWays)
{
    Bike& b = human();
    b.Speed = 3.0f;
    EXPECT_EQ(b.LeanRadius(0.0005f), 0.0f);
    EXPECT_EQ(b.LeanRadius(-0.0009f), 0.0f);
    // Speeds below 8 m/s count as 8; the radius is at least 5 m.
    EXPECT_NEAR(b.LeanRadius(0.01f), 64.0f / (9.80665f * std::tan(0.01f)), 0.5f);
    EXPECT_EQ(b.LeanRadius(1.2f), 5.0f);
    EXPECT_EQ(b.LeanRadius(-1.2f), -5.0f);

    b.Speed = 30.0f;
    const float lean = b.LeanForRadius(200.0f);
    EXPECT_NEAR(lean, std::atan(900.0f / (9.80665f * 200.0f)), 1e-5f);
    EXPECT_NEAR(b.LeanRadius(lean), 200.0f, 0.01f);
    EXPECT_NEAR(b.LeanForRadius(-200.0f), -lean, 1e-6f);
    EXPECT_EQ(b.LeanForRadius(4.0f), 0.0f);
    EXPECT_EQ(b.LeanForRadius(-5.0f), 0.0f);
}

} // namespace
