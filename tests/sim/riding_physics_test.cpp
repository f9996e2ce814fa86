#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "input/input_manager.h"
#include "sim/bike.h"
#include "sim/riding_physics.h"
#include "tests/sim/bike_world.h"
#include "tests/sim/ride_helpers.h"
#include "tests/support/fp_traps.h"
#include "tools/datakit/circuit_builder.h"

using bike_test::BikeWorld;

namespace {

constexpr float kDt = 1.0f / 60.0f;
constexpr float kGravity = 9.80665f;
constexpr int kRace = 3;

// Replaces the world's "Island" with a flat loop of two 6 km straights (and
// no pit lane), long enough for a bike to reach its top speed.
void WriteLongStraight(const std::filesystem::path& root)
{
    datakit::CircuitDescription d;
    d.name = "Island";
    d.pieces = {datakit::straight(9000.0),   datakit::right(100.0, 90.0), datakit::straight(300.0),
                datakit::right(100.0, 90.0), datakit::solved_straight(),  datakit::right(100.0, 90.0),
                datakit::solved_straight(),  datakit::right(100.0, 90.0)};
    const datakit::BuiltCircuit built = datakit::build_circuit(d);
    std::string error;
    const std::filesystem::path tracks = root / "Data" / "Tracks";
    ASSERT_TRUE(datakit::write_track_file(tracks / "Island.dat", built.circuit, error)) << error;
    std::filesystem::remove(tracks / "Island_pit.dat");
}

float Drag(const Bike& b, float v)
{
    return ((b.DragC2 * v + b.DragC1) * v + b.DragC0) * (1.0f + 0.2000000477f * b.Posture);
}

float EngineBraking(const Bike& b)
{
    return (b.EngineBrakeE2 * b.Rpm + b.EngineBrakeE1) * b.Rpm + b.EngineBrakeE0;
}

// The speed at which the best gear's power at full throttle no longer beats
// the drag on the flat.
float TopSpeed(Bike& b)
{
    float top = 0.0f;
    const std::int8_t gear = b.Gear;
    for (int g = 0; g < b.GearCount; ++g) {
        b.Gear = static_cast<std::int8_t>(g);
        for (float v = 5.0f; v < 150.0f; v += 0.01f) {
            const float rpm = RevsAtSpeed(b, v);
            if (b.EnginePower(rpm) / v - Drag(b, v) > 0.0f)
                top = std::max(top, v);
        }
    }
    b.Gear = gear;
    return top;
}

// A bike alone on the long straight, racing, riding (state -1).
class StraightTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WriteLongStraight(world_.dir());
        world_.Load("Island", kRace);
        CurrentRaceContext().Hooks = &effects_;
        states_ = std::make_unique<ride_test::DemoRiderStates>(world_.dir());
        world_.MakeBikes(1, 1);
        // Waiting for the start (state -2) at the start of the long straight,
        // facing along it.
        world_.PlaceAll();
        Bike& b = bike();
        Vec2 point;
        Vec2 direction;
        b.Heading = world_.circuit.DistanceToPoint(20.0f, &point, &direction);
        b.Position = Vec3(point.x, 0.0f, point.z);
        b.Segment = 0;
        b.ResetDynamics(true);
        // The automatic gearbox; the rider holds the throttle open.
        bike().Flags |= kPlayerFlagAutoGears;
        rider_.FollowSpeeds = false;
        CurrentRaceContext().Flags |= kRaceRacing;
    }

    Bike& bike() { return world_.bike(0); }

    // One sub-step of the race's passes (the start goes through the
    // rider's pulling away), the rider holding the throttle open.
    void Step(float dt, bool riderDrives = true)
    {
        if (riderDrives)
            rider_.Drive(bike());
        ride_test::Step(bike(), dt);
    }

    BikeWorld world_;
    ride_test::EffectsRecorder effects_;
    std::unique_ptr<ride_test::DemoRiderStates> states_;
    ride_test::ScriptedRider rider_;
};

TEST_F(StraightTest, FullThrottleFromTheGridTheGearsGoUpAndTheSpeedLevelsOffAtTheTopSpeed)
{
    torvane_test::FpTraps traps;
    Bike& b = bike();
    const float top = TopSpeed(b);
    ASSERT_GT(top, 70.0f);

    std::vector<float> speedEachSecond;
    int highestGear = 0;
    int downShifts = 0;       // while the speed rises
    int upShiftsAfterTop = 0; // the power has no more to give
    int lastGear = b.Gear;
    int partThrottle = 0; // steps below full throttle from third gear on
    const int steps = static_cast<int>(100.0f / kDt);
    for (int i = 0; i < steps; ++i) {
        Step(kDt);
        ASSERT_EQ(ride_test::FirstNonFinite(b), "") << "step " << i;
        // Waiting, pulling away, riding: never a fall.
        ASSERT_TRUE(b.RiderState >= -2 && b.RiderState <= 0) << "step " << i;
        if (b.Gear < lastGear && i < static_cast<int>(15.0f / kDt))
            ++downShifts;
        if (b.Gear > lastGear && b.Speed > 0.99f * top)
            ++upShiftsAfterTop;
        lastGear = b.Gear;
        highestGear = std::max(highestGear, static_cast<int>(b.Gear));
        if (b.Gear >= 2 && b.Controls.Throttle < 127)
            ++partThrottle;
        if (i % 60 == 59)
            speedEachSecond.push_back(b.Speed);
    }

    // The speed rises through the gears...
    EXPECT_GT(speedEachSecond[4], 25.0f);
    EXPECT_GT(speedEachSecond[9], 55.0f);
    for (std::size_t s = 1; s < 15; ++s)
        EXPECT_GT(speedEachSecond[s], speedEachSecond[s - 1]) << "second " << s;
    EXPECT_GE(highestGear, b.GearCount - 2);
    EXPECT_EQ(downShifts, 0);
    EXPECT_EQ(upShiftsAfterTop, 0);
    // ...wide open from third gear on...
    EXPECT_LT(partThrottle, 30);
    // ...and levels off: no faster than the engine's power allows against
    // the drag; with the demo bikes the rear tyre's grip gives out first.
    const float fastest = *std::max_element(speedEachSecond.begin(), speedEachSecond.end());
    EXPECT_LE(fastest, top * 1.01f);
    EXPECT_GT(fastest, top * 0.8f);
    EXPECT_GT(speedEachSecond[19], 0.97f * fastest);
    const float final = speedEachSecond.back();
    EXPECT_NEAR(speedEachSecond[speedEachSecond.size() - 11], final, 0.01f * top);
    EXPECT_NEAR(b.Accel, 0.0f, 0.05f);
}

TEST_F(StraightTest, BrakingFromTopSpeedStaysWithinTheFrontBrakesDeceleration)
{
    torvane_test::FpTraps traps;
    Bike& b = bike();
    for (int i = 0; i < static_cast<int>(90.0f / kDt); ++i)
        Step(kDt);
    ASSERT_GT(b.Speed, 60.0f);

    // Full brake, throttle shut: the front brake gives at most 1.75 g, with
    // drag, engine braking and the brake's own drag on top.
    float strongest = 0.0f;
    float distance = 0.0f;
    const float start = b.Speed;
    int steps = 0;
    while (b.Speed > 1.5f && steps < 3000) {
        b.Controls.Throttle = 0;
        b.Controls.Brake = 127;
        b.Controls.SteerInput = 0;
        const float before = b.Speed;
        const float allowed =
            17.1616383f + (b.FrontWheel.BrakeDrag + EngineBraking(b) + Drag(b, before)) / b.Mass + 0.05f;
        Step(kDt, false);
        const float decel = (before - b.Speed) / kDt;
        EXPECT_LE(decel, allowed) << "at " << before << " m/s";
        strongest = std::max(strongest, decel);
        distance += b.StepTravel;
        ASSERT_EQ(b.RiderState, -1);
        ++steps;
    }
    EXPECT_LE(b.Speed, 1.5f);
    // The brake did work: on average well over a g.
    const float mean = (start * start - b.Speed * b.Speed) / (2.0f * distance);
    EXPECT_GT(mean, kGravity);
    EXPECT_GT(strongest, 1.5f * kGravity);
}

// Full throttle held in the low gears. A human rider on a manual gearbox has
// no wheelie guard: the drive lifts the front, the bike turning about its rear
// contact, and the lift stops where the centre of mass would stand over the
// rear contact, so he wheelies but stays on. A computer rider's guard shuts
// the throttle past 10 degrees and brakes past 20: the front comes up a
// little and the bike pulls away without rearing up. Both launch hard.
TEST_F(StraightTest, FullThrottleInTheLowGearsWheeliesAsFarAsTheGuardAllows)
{
    torvane_test::FpTraps traps;
    struct Case {
        bool human;
        int gear;
    };
    for (const Case c : {Case{true, 0}, Case{true, 1}, Case{false, 0}}) {
        Bike& b = bike();
        Vec2 point;
        Vec2 direction;
        b.Heading = world_.circuit.DistanceToPoint(20.0f, &point, &direction);
        b.Position = Vec3(point.x, 0.0f, point.z);
        b.Segment = 0;
        b.ResetDynamics(true);
        b.Flags &= ~(kPlayerFlagAutoGears | kBikeHuman);
        if (c.human)
            b.Flags |= kBikeHuman;
        b.Gear = static_cast<std::int8_t>(c.gear);
        b.SetState(-1, 0.0f);
        b.Speed = 3.0f;
        float lowestPitch = 0.0f;
        float lowestTravel = 0.0f;
        const float start = b.Speed;
        const int steps = static_cast<int>(4.0f / kDt);
        for (int i = 0; i < steps; ++i) {
            b.Controls.Throttle = 127;
            b.Controls.Brake = 0;
            b.Controls.SteerInput = 0;
            Step(kDt, false);
            ASSERT_EQ(ride_test::FirstNonFinite(b), "") << "step " << i;
            ASSERT_EQ(b.RiderState, -1) << "human " << c.human << " gear " << c.gear << " step " << i;
            lowestPitch = std::min(lowestPitch, b.Pitch);
            lowestTravel = std::min(lowestTravel, b.FrontWheel.Travel);
        }
        // The centre of mass over the rear contact: the steepest the lift
        // allows (nose up is a negative pitch).
        const float h = b.MassOffset.y + b.RearWheel.RestLength;
        const float tipping = -std::atan2(b.MassForward, h);
        if (c.human) {
            EXPECT_LT(lowestTravel, -0.02f) << "gear " << c.gear << ": the front lifts";
            EXPECT_GT(lowestPitch, tipping - 0.05f) << "gear " << c.gear << ": it never goes over";
        } else {
            EXPECT_GT(lowestPitch, -0.35f) << "the guard keeps the front down";
        }
        // Still a hard launch: well over half a g on average.
        EXPECT_GT(b.Speed - start, 0.5f * kGravity * 4.0f) << "human " << c.human << " gear " << c.gear;
    }
}

// A race world on the demo circuit with one human bike riding (state -1).
class RidingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        world_.Load("Island", kRace);
        CurrentRaceContext().Hooks = &effects_;
        world_.MakeBikes(2, 1);
        world_.PlaceAll();
        for (int i = 0; i < 2; ++i)
            world_.bike(i).SetState(-1, 0.0f);
    }

    Bike& human() { return world_.bike(0); }
    Bike& computer() { return world_.bike(1); }

    BikeWorld world_;
    ride_test::EffectsRecorder effects_;
};

TEST_F(RidingTest, EnginePowerFollowsTheTableAndItsMarkers)
{
    torvane_test::FpTraps traps;
    Bike& b = human();
    b.RaceTime = 30.0f;
    const int top = b.PowerTableSize;
    ASSERT_GT(top, 100);
    // One entry per 100 rpm, no interpolation.
    EXPECT_EQ(b.EnginePower(5000.0f), b.PowerTable[50] * 1000.0f);
    EXPECT_EQ(b.EnginePower(5099.0f), b.PowerTable[50] * 1000.0f);
    EXPECT_EQ(b.EnginePower(-300.0f), b.PowerTable[0] * 1000.0f);

    // Past the table: -1 with a manual gearbox, 0 with the automatic one.
    const float past = static_cast<float>(top) * 100.0f;
    b.Flags &= ~kPlayerFlagAutoGears;
    EXPECT_EQ(b.EnginePower(past), -1.0f);
    EXPECT_EQ(b.EnginePower(1.0e30f), -1.0f);
    b.Flags |= kPlayerFlagAutoGears;
    EXPECT_EQ(b.EnginePower(past), 0.0f);
    EXPECT_EQ(b.EnginePower(past - 1.0f), b.PowerTable[top - 1] * 1000.0f);

    // A failed engine gives -1 at any revs.
    b.Status |= kBikeEngineFailed;
    EXPECT_EQ(b.EnginePower(5000.0f), -1.0f);
}

TEST_F(RidingTest, TheGridsLaterBikesStartWeakerAndAComputerRidersDivisorWeakensIt)
{
    torvane_test::FpTraps traps;
    Bike& h = human();
    Bike& c = computer(); // Index 1
    const float full = h.PowerTable[100] * 1000.0f;
    const float fullComputer = c.PowerTable[100] * 1000.0f;
    struct Case {
        float raceTime;
        float divisor;
        float human;    // expected factor of the human bike (Index 0)
        float computer; // expected factor of the computer bike (Index 1)
    } const cases[] = {
        // Index 0 is never held back; Index 1 by exp(-1/26), fading over 25 s.
        {0.0f, 1.0f, 1.0f, std::exp(-1.0f / 26.0f)},
        {12.5f, 1.0f, 1.0f, 0.5f + 0.5f * std::exp(-1.0f / 26.0f)},
        {25.0f, 1.0f, 1.0f, 1.0f},
        {100.0f, 1.0f, 1.0f, 1.0f},
        // The divisor's fifth power; a divisor of 0 divides nothing.
        {100.0f, 1.1f, 1.0f, 1.0f / (1.1f * 1.1f * 1.1f * 1.1f * 1.1f)},
        {100.0f, 0.0f, 1.0f, 1.0f},
        {100.0f, -2.0f, 1.0f, 1.0f},
    };
    for (const Case& k : cases) {
        h.RaceTime = k.raceTime;
        c.RaceTime = k.raceTime;
        c.GridEntry->PowerDivisor = k.divisor;
        EXPECT_NEAR(h.EnginePower(10000.0f), full * k.human, full * 1e-5f) << k.raceTime << " " << k.divisor;
        EXPECT_NEAR(c.EnginePower(10000.0f), fullComputer * k.computer, fullComputer * 1e-5f)
            << k.raceTime << " " << k.divisor;
    }
    // A human further back gets only 0.8 of the handicap.
    h.Index = 10;
    h.RaceTime = 0.0f;
    const float m = std::exp(-10.0f / 26.0f);
    EXPECT_NEAR(h.EnginePower(10000.0f), full * (1.0f + 0.8f * (m - 1.0f)), full * 1e-5f);
}

TEST_F(RidingTest, ManualShiftsNeedTheTimerAtRestAndStayWithinTheGears)
{
    torvane_test::FpTraps traps;
    Bike& b = human();
    b.Flags &= ~kPlayerFlagAutoGears;
    auto shift = [&](int request, float dt) {
        b.Controls.Posture = static_cast<std::uint8_t>(request > 0 ? 0x40 : (request < 0 ? 0xC0 : 0));
        b.ShiftGears(dt);
    };
    b.Gear = 0;
    b.ShiftTimer = 0.0f;
    shift(+1, 0.05f);
    EXPECT_EQ(b.Gear, 1);
    EXPECT_NEAR(b.ShiftTimer, 0.15f, 1e-6f);
    // Held, the request shifts again only once the timer is back at exactly
    // 0 (it counts down and stops there).
    int held = 0;
    while (b.ShiftTimer != 0.0f && held < 20) {
        shift(+1, 0.05f);
        EXPECT_EQ(b.Gear, 1);
        ++held;
    }
    EXPECT_EQ(b.ShiftTimer, 0.0f);
    shift(+1, 0.05f);
    EXPECT_EQ(b.Gear, 2);

    // Down below neutral and up past the top stay in range.
    b.Gear = 0;
    b.ShiftTimer = 0.0f;
    shift(-1, 0.3f);
    EXPECT_EQ(b.Gear, 0);
    b.Gear = static_cast<std::int8_t>(b.GearCount - 1);
    b.ShiftTimer = 0.0f;
    shift(+1, 0.3f);
    EXPECT_EQ(b.Gear, b.GearCount - 1);

    // A gear count the data left outside 1..6 keeps the index within the
    // six ratios the bike holds.
    for (int count : {0, -3, 9}) {
        b.GearCount = count;
        b.Gear = 5;
        b.ShiftTimer = 0.0f;
        shift(+1, 0.3f);
        EXPECT_GE(b.Gear, 0) << count;
        EXPECT_LE(b.Gear, count < 1 ? 0 : 5) << count;
    }
}

TEST_F(RidingTest, TheAutomaticGearboxShiftsForPowerAndNeverDownPastTheRevLimit)
{
    torvane_test::FpTraps traps;
    Bike& b = human();
    b.Flags |= kPlayerFlagAutoGears;
    b.RaceTime = 100.0f;
    // Past the power peak in 2nd: the next gear's revs give more power.
    b.Gear = 1;
    b.ShiftTimer = 0.0f;
    b.Rpm = 13900.0f;
    b.ShiftGears(0.01f);
    EXPECT_EQ(b.Gear, 2);
    EXPECT_NEAR(b.ShiftTimer, 0.99f, 1e-6f);

    // Below 4000 rpm it never shifts up, even when the next gear would give
    // more power (a table whose power falls with the revs).
    std::vector<float> falling(static_cast<std::size_t>(b.PowerTableSize));
    for (std::size_t i = 0; i < falling.size(); ++i)
        falling[i] = 150.0f - 0.5f * static_cast<float>(i);
    const float* table = b.PowerTable;
    b.PowerTable = falling.data();
    for (float rpm : {3900.0f, 4100.0f}) {
        b.Gear = 1;
        b.ShiftTimer = 0.0f;
        b.Rpm = rpm;
        b.ShiftGears(0.01f);
        EXPECT_EQ(b.Gear, rpm > 4000.0f ? 2 : 1) << rpm;
    }
    b.PowerTable = table;

    // Down when the lower gear's revs stay below the limit and give more
    // power; refused when they would reach the limit.
    b.Gear = 3;
    b.ShiftTimer = 0.0f;
    b.Rpm = 8000.0f;
    const float lower = b.OverallRatio[2] * 8000.0f / b.OverallRatio[3];
    ASSERT_LT(lower, b.RevLimit);
    ASSERT_LT(b.EnginePower(8000.0f), b.EnginePower(lower));
    b.ShiftGears(0.01f);
    EXPECT_EQ(b.Gear, 2);
    EXPECT_NEAR(b.ShiftTimer, -0.99f, 1e-6f);

    b.Gear = 3;
    b.ShiftTimer = 0.0f;
    b.RevLimit = lower;
    b.ShiftGears(0.01f);
    EXPECT_EQ(b.Gear, 3);

    // A finished bike shifts by itself whatever its set-up.
    b.Flags &= ~kPlayerFlagAutoGears;
    b.Status |= kBikeFinished;
    b.RevLimit = 13500.0f;
    b.Gear = 1;
    b.ShiftTimer = 0.0f;
    b.Rpm = 13900.0f;
    b.ShiftGears(0.01f);
    EXPECT_EQ(b.Gear, 2);
}

TEST_F(RidingTest, TheSpeedLimiterBrakesWithAtMostTheBrakeAndKeepsTheThrottleByteInRange)
{
    torvane_test::FpTraps traps;
    Bike& b = computer();
    const float dt = 0.02f;
    const float bMax = b.Mass * 17.1616383f;
    const float fMax = 5000.0f;
    struct Case {
        float speed;
        float target;
        float engineBraking;
        int throttle; // -1: any
        int brake;
    } const cases[] = {
        // Far too fast: the whole brake.
        {50.0f, 20.0f, 100.0f, 0, 127},
        // A little too fast: part of the brake.
        {30.0f, 29.9f, 100.0f, 0, -1},
        // Slower than the target: nothing changes.
        {20.0f, 40.0f, 100.0f, 99, 0},
        // Engine braking from data below 0: the throttle does not wrap.
        {20.0f, 20.1f, -100000.0f, 0, 0},
    };
    for (const Case& k : cases) {
        b.Speed = k.speed;
        b.TargetSpeed = k.target;
        b.Controls.Throttle = 99;
        b.Controls.Brake = 0;
        b.FrontWheel.Force.z = 0.0f;
        b.RearWheel.Force.z = fMax;
        b.LimitSpeed(dt, 100.0f, k.engineBraking, bMax, fMax);
        if (k.throttle >= 0) {
            EXPECT_EQ(b.Controls.Throttle, k.throttle) << k.speed << " " << k.target;
        }
        EXPECT_LE(b.Controls.Throttle, 127);
        if (k.brake >= 0) {
            EXPECT_EQ(b.Controls.Brake, k.brake) << k.speed << " " << k.target;
        } else {
            EXPECT_GT(b.Controls.Brake, 0);
        }
        EXPECT_GE(b.FrontWheel.Force.z, -bMax) << k.speed;
    }

    // Holding a speed a little above the present one: part throttle, the
    // drive force within the engine's.
    b.Speed = 30.0f;
    b.TargetSpeed = 30.05f;
    b.FrontWheel.Force.z = 0.0f;
    b.RearWheel.Force.z = fMax;
    b.LimitSpeed(dt, 100.0f, 50.0f, bMax, fMax);
    EXPECT_GT(b.Controls.Throttle, 0);
    EXPECT_LT(b.Controls.Throttle, 127);
    EXPECT_LE(b.RearWheel.Force.z, fMax);
}

TEST_F(RidingTest, FromRestTheBikeStartsAtOneMetreASecondWithAtMostOnePercentThrottle)
{
    torvane_test::FpTraps traps;
    Bike& b = human();
    ASSERT_EQ(b.Speed, 0.0f);
    b.Controls.Throttle = 127;
    b.Controls.Brake = 0;
    const float power = b.EnginePower(b.Rpm);
    const float engineBraking = EngineBraking(b);
    b.UpdateBodyAxes();
    b.RidingStep(0.01f);
    // The rear drive of the first step: 1 % of the engine's at 1 m/s.
    const float expected = (power / 1.0f + engineBraking) * 0.01f - engineBraking;
    EXPECT_LE(b.RearWheel.Force.z, expected + 1e-3f);
    EXPECT_GT(b.Speed, 0.99f);
    EXPECT_LT(b.Speed, 1.1f);
}

TEST_F(RidingTest, AtATinySpeedTheDriveIsThatOfTheFloorSpeed)
{
    torvane_test::FpTraps traps;
    Bike& b = human();
    b.UpdateBodyAxes();
    b.Controls.Throttle = 127;
    b.RaceTime = 100.0f;
    for (float speed : {1.0e-30f, 1.0e-6f, 0.3f}) {
        b.Speed = speed;
        b.Rpm = 1000.0f;
        const float power = b.EnginePower(b.Rpm);
        b.RidingStep(0.001f);
        EXPECT_TRUE(std::isfinite(b.Speed)) << speed;
        // No more than the power spent at 1 m/s, before the tyre's limit.
        EXPECT_LE(b.RearWheel.Force.z, power) << speed;
        EXPECT_EQ(ride_test::FirstNonFinite(b), "") << speed;
        b.ResetDynamics(true);
        b.UpdateBodyAxes();
    }
}

TEST_F(RidingTest, WithBothWheelsInTheAirTheBikeKeepsTurningAtItsRatesWithoutForces)
{
    torvane_test::FpTraps traps;
    Bike& b = human();
    b.UpdateBodyAxes();
    b.Speed = 20.0f;
    b.FrontWheel.Travel = -0.1f;
    b.RearWheel.Travel = -0.1f;
    b.AngularRate = Vec3(0.1f, 0.0f, -0.2f);
    b.Controls.Throttle = 127;
    const float pitch = b.Pitch;
    const float roll = b.Roll;
    b.RidingStep(0.01f);
    EXPECT_EQ(b.Accel, 0.0f);
    EXPECT_EQ(b.Speed, 20.0f);
    EXPECT_EQ(b.FrontWheel.TurnRadius, 0.0f);
    EXPECT_EQ(b.RearWheel.TurnRadius, 0.0f);
    EXPECT_NEAR(b.Roll, roll - 0.002f, 1e-6f);
    // The pitch turns with its rate (the contact handling may put the pose
    // back when the wheels leave the road: it did not here).
    EXPECT_NEAR(b.Pitch, pitch + 0.001f, 1e-6f);
    EXPECT_EQ(b.Heading, b.RearWheel.Heading);
}

TEST_F(RidingTest, ARiderBehindInTheSlipstreamMeetsLessDrag)
{
    torvane_test::FpTraps traps;
    // Both bikes on the straight at 40 m/s; the follower 8 m behind, in line.
    auto accelOf = [&](bool inLine) {
        Bike& front = computer();
        Bike& back = human();
        for (Bike* b : {&front, &back}) {
            b->ResetDynamics(true);
            b->UpdateBodyAxes();
            b->Speed = 40.0f;
            b->Controls.Throttle = 0;
            b->Controls.Brake = 0;
        }
        back.Ahead = &front;
        front.Progress = back.Progress + 8.0f;
        front.SideOffset = inLine ? back.SideOffset : back.SideOffset + 6.0f;
        back.RidingStep(0.01f);
        return back.Accel;
    };
    const float alone = accelOf(false);
    const float behind = accelOf(true);
    EXPECT_LT(alone, 0.0f);
    EXPECT_GT(behind, alone);
}

TEST_F(RidingTest, AnOverheatedEngineFailsAndAStoppedBikeWithItPausesTheRace)
{
    torvane_test::FpTraps traps;
    Bike& b = human();
    CurrentRaceContext().Flags |= kRaceRacing;
    CurrentRaceContext().ViewedRider = 0;
    b.Flags |= kPlayerFlagEngineHeat;
    b.UpdateBodyAxes();
    // Revs far past the limit drive the temperature to its hot end.
    b.Speed = 60.0f;
    b.Gear = 0;
    b.EngineTemp = 0.89f;
    b.HeatHot = 1.0f;
    int steps = 0;
    while (!(b.Status & kBikeEngineFailed) && steps < 1000) {
        b.Speed = 60.0f;
        b.RidingStep(0.01f);
        ++steps;
    }
    ASSERT_TRUE(b.Status & kBikeEngineFailed);
    EXPECT_GE(b.EngineTemp, 0.9f);
    EXPECT_TRUE(effects_.raised & 0x20000);
    EXPECT_EQ(b.EnginePower(8000.0f), -1.0f);
    // Engine smoke, and once the bike is down to a crawl the race pauses.
    b.Speed = 2.0f;
    effects_.Clear();
    world_.input.m_bPaused = 0;
    b.RidingStep(0.01f);
    bool engineSmoke = false;
    for (const auto& s : effects_.smokes)
        engineSmoke = engineSmoke || (s.kind == 0 && s.point == 7);
    EXPECT_TRUE(engineSmoke);
    EXPECT_EQ(world_.input.m_bPaused, 1);
    EXPECT_TRUE(effects_.raised & 8);
}

TEST_F(RidingTest, ARearWheelRollingAcrossItsHeadingStartsASlideState)
{
    torvane_test::FpTraps traps;
    Bike& b = human();
    struct Case {
        float slip;  // the rear wheel's heading less its direction of travel
        float roll;
        int state;   // -1: no slide state
    } const cases[] = {{0.3f, 0.2f, 59}, {-0.3f, 0.2f, 59}, {0.3f, -0.2f, 58}, {0.1f, 0.2f, -1}};
    for (const Case& k : cases) {
        b.ResetDynamics(true);
        b.SetState(-1, 0.0f);
        b.Status &= ~kBikeRearSlideFall;
        b.Speed = 20.0f;
        b.Roll = k.roll;
        b.Lean.Value = k.roll;
        b.UpdateBodyAxes();
        b.FrontWheel.TurnRadius = 0.0f;
        b.RearWheel.TurnRadius = 0.0f;
        b.RearWheel.Orientation.Heading = b.RearWheel.Heading - k.slip;
        b.RidingStep(0.005f);
        EXPECT_EQ(b.RiderState, k.state) << k.slip << " " << k.roll;
        EXPECT_EQ((b.Status & kBikeRearSlideFall) != 0, k.state >= 0) << k.slip << " " << k.roll;
        // Along the heading the speed is what is left of it.
        EXPECT_LT(b.Speed, 20.0f);
        EXPECT_EQ(ride_test::FirstNonFinite(b), "");
    }
}

} // namespace
