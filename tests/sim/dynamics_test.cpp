#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/random.h"
#include "sim/bike.h"
#include "sim/race_conditions.h"
#include "sim/track.h"
#include "sim/wrap_angle.h"
#include "tests/sim/bike_world.h"
#include "tests/sim/ride_helpers.h"
#include "tests/support/fp_traps.h"

using bike_test::BikeWorld;

namespace {

constexpr float kDt = 1.0f / 60.0f;
constexpr int kRace = 3;

// A race world on the demo circuit with a human and a computer bike on the
// grid, the rider animation sets installed.
class DynamicsTest : public ::testing::Test {
protected:
    void Load(int session, int bikes = 2, int humans = 1)
    {
        world_.Load("Island", session);
        CurrentRaceContext().Hooks = &effects_;
        states_ = std::make_unique<ride_test::DemoRiderStates>(world_.dir());
        world_.MakeBikes(bikes, humans);
        world_.PlaceAll();
    }

    Bike& bike(int i) { return world_.bike(i); }

    // A riding bike (state -1) on the main straight at `distance`, `side`
    // metres left of the centre line, facing `turn` radians right of the
    // path, at `speed`.
    void Place(Bike& b, float distance, float side, float turn, float speed)
    {
        Vec2 centre;
        const float heading = world_.circuit.DistanceToPoint(distance, &centre, nullptr);
        b.Path = &world_.circuit;
        b.Segment = 0;
        b.Position = Vec3(centre.x - std::cos(heading) * side, 0.0f, centre.z + std::sin(heading) * side);
        b.Heading = heading + turn;
        b.ResetDynamics(true);
        b.SetState(-1, 0.0f);
        b.Speed = speed;
        b.Controls = ControlRecord();
        effects_.Clear();
    }

    BikeWorld world_;
    ride_test::EffectsRecorder effects_;
    std::unique_ptr<ride_test::DemoRiderStates> states_;
};

TEST_F(DynamicsTest, AScriptedRiderCompletesALapFromTheGridInsideTheEdges)
{
    torvane_test::FpTraps traps;
    Load(kRace);
    CurrentRaceContext().Flags |= kRaceRacing;
    Bike& b = bike(0);
    b.Flags |= kPlayerFlagAutoGears;
    ride_test::ScriptedRider rider;
    float widest = 0.0f;
    int steps = 0;
    const int limit = static_cast<int>(240.0f / kDt);
    while (b.Laps < 1 && steps < limit) {
        rider.Drive(b);
        ride_test::Step(b, kDt);
        ASSERT_EQ(ride_test::FirstNonFinite(b), "") << "step " << steps;
        ASSERT_FALSE(b.Status & (kBikeDown | kBikeFallRequested)) << "step " << steps;
        ASSERT_TRUE(b.RiderState >= -2 && b.RiderState <= 0) << "step " << steps << " state " << b.RiderState;
        widest = std::max(widest, std::fabs(b.SideOffset));
        ++steps;
    }
    // Round once, from the first crossing of the line to the second.
    EXPECT_EQ(b.Laps, 1);
    EXPECT_GT(b.LastLap, 60.0f);
    // Never against a barrier, never off the road's edges (6 m of asphalt,
    // 4 m of verge each side).
    for (int sample : effects_.Samples())
        EXPECT_TRUE(sample != 4 && sample != 7 && sample != 8) << sample;
    EXPECT_LT(widest, 6.0f);
}

TEST_F(DynamicsTest, LongRunsWithRandomInputsKeepEveryFieldFinite)
{
    torvane_test::FpTraps traps;
    for (int session : {kRace, kSessionArcade}) {
        Load(session, 4, 2);
        CurrentRaceContext().Flags |= kRaceRacing;
        CurrentRaceContext().GraphicsFlags = 1;
        for (int i = 0; i < 2; ++i)
            bike(i).Flags |= kPlayerFlagEngineHeat;
        std::mt19937 random(1234u + static_cast<unsigned>(session));
        std::uniform_int_distribution<int> byte(0, 127);
        std::uniform_int_distribution<int> steer(-127, 127);
        std::uniform_int_distribution<int> bits(0, 255);
        std::uniform_real_distribution<float> anyStep(0.0005f, 0.1f);
        // Frame lengths of a fast display, the longest sub-step, and anything
        // in between.
        for (int kind = 0; kind < 3; ++kind) {
            float clock = 0.0f;
            float nextChange = 0.0f;
            while (clock < 150.0f) {
                const float dt = kind == 0 ? kDt : (kind == 1 ? 0.1f : anyStep(random));
                if (clock >= nextChange) {
                    for (int i = 0; i < 2; ++i) {
                        ControlRecord& c = bike(i).Controls;
                        c.Throttle = static_cast<std::uint8_t>(byte(random));
                        c.Brake = static_cast<std::uint8_t>(byte(random) < 90 ? 0 : byte(random));
                        c.SteerInput = static_cast<std::int8_t>(steer(random) / (byte(random) < 64 ? 8 : 1));
                        c.Posture = static_cast<std::uint8_t>(bits(random));
                    }
                    nextChange = clock + 0.3f;
                }
                for (int i = 0; i < world_.bike_count; ++i)
                    bike(i).ControlStep(dt);
                for (int i = 0; i < world_.bike_count; ++i) {
                    bike(i).DynamicsStep(dt);
                    bike(i).StateStep(dt);
                }
                for (int i = 0; i < world_.bike_count; ++i) {
                    bike(i).UpdateEngineSound(dt);
                    ASSERT_EQ(ride_test::FirstNonFinite(bike(i)), "")
                        << "session " << session << " kind " << kind << " bike " << i << " at " << clock;
                    ASSERT_TRUE(bike(i).Gear >= 0 && bike(i).Gear < bike(i).GearCount);
                }
                clock += dt;
            }
        }
    }
}

TEST_F(DynamicsTest, NothingMovesWithoutTimeForAParkedBikeOrOneWithoutControl)
{
    torvane_test::FpTraps traps;
    Load(kRace);
    Bike& b = bike(0);
    Place(b, 100.0f, 0.0f, 0.0f, 20.0f);
    b.Controls.Throttle = 127;
    const Vec3 position = b.Position;
    b.FrontWheel.StepDistance = 3.0f;
    for (int k = 0; k < 3; ++k) {
        b.Status &= ~kBikeParked;
        b.Flags &= ~kBikeNoControl;
        float dt = 0.01f;
        if (k == 0)
            dt = 0.0f;
        else if (k == 1)
            b.Status |= kBikeParked;
        else
            b.Flags |= kBikeNoControl;
        b.DynamicsStep(dt);
        EXPECT_EQ(b.Position.z, position.z) << k;
        EXPECT_EQ(b.Speed, 20.0f) << k;
        EXPECT_EQ(b.FrontWheel.StepDistance, 3.0f) << k;
    }
}

TEST_F(DynamicsTest, FallsByLeanRatePitchRollOrRequestChooseTheirStateBySide)
{
    torvane_test::FpTraps traps;
    Load(kRace);
    struct Case {
        float leanRate;
        float roll;
        float pitch;
        bool request;
        int state;
    } const cases[] = {
        // Thrown: the lean swings too fast, a fall is asked for, or the bike
        // pitches past 70 degrees; 11 to the positive roll side, else 10.
        {10.5f, 0.1f, 0.0f, false, 11},
        {-10.5f, -0.1f, 0.0f, false, 10},
        {0.0f, 0.0f, 0.0f, true, 10},
        {0.0f, 0.2f, 0.0f, true, 11},
        // Lying over past 1.3 rad: 6 to the positive side, else 5.
        {0.0f, 1.31f, 0.0f, false, 6},
        {0.0f, -1.31f, 0.0f, false, 5},
        // Within the limits: riding on.
        {9.5f, 1.25f, 0.0f, false, -1},
    };
    for (const Case& k : cases) {
        Bike& b = bike(0);
        Place(b, 100.0f, 0.0f, 0.0f, 20.0f);
        b.UpdateBodyAxes();
        b.Lean.Rate = k.leanRate;
        b.Lean.Value = k.roll;
        b.Roll = k.roll;
        if (k.request)
            b.Status |= kBikeFallRequested;
        b.DynamicsStep(0.005f);
        EXPECT_EQ(b.RiderState, k.state) << k.leanRate << " " << k.roll << " " << k.request;
        EXPECT_EQ((b.Status & kBikeDown) != 0, k.state >= 0) << k.leanRate << " " << k.roll;
        EXPECT_FALSE(b.Status & kBikeFallRequested);
        b.Status = 0;
    }
}

TEST_F(DynamicsTest, ThePoseRatesAndTheRidersHeightFollowTheWheels)
{
    torvane_test::FpTraps traps;
    Load(kRace);
    Bike& b = bike(0);
    Place(b, 100.0f, 0.0f, 0.0f, 20.0f);
    for (int i = 0; i < 30; ++i) {
        b.ControlStep(kDt);
        const float heading = b.Heading;
        b.DynamicsStep(kDt);
        // The bike sits on its rear hub, pitched by the hubs' heights.
        EXPECT_EQ(b.Position.x, b.RearWheel.ContactPoint.x);
        const Vec3 d = b.FrontWheel.ContactPoint.Minus(b.RearWheel.ContactPoint);
        EXPECT_FLOAT_EQ(b.Pitch, std::atan2(-d.y, std::sqrt(d.x * d.x + d.z * d.z)));
        EXPECT_NEAR(b.AngularRate.y, WrapAngle(b.Heading, heading) / kDt, 1e-3f);
        // The rider follows the bike's height, a little behind.
        EXPECT_GE(b.RiderPosition.y, b.Position.y - 0.05f - 1e-6f);
        EXPECT_LE(b.RiderPosition.y, b.Position.y + 0.15f + 1e-6f);
        EXPECT_EQ(b.RiderAngles.y, b.Heading);
        EXPECT_EQ(b.TurnRadius, b.RearWheel.TurnRadius);
    }
    // A rider left high above the bike comes down no further than 0.15 m
    // above it.
    b.RiderPosition.y = b.Position.y + 5.0f;
    b.ControlStep(kDt);
    b.DynamicsStep(kDt);
    EXPECT_NEAR(b.RiderPosition.y, b.Position.y + 0.15f, 1e-5f);
}

TEST_F(DynamicsTest, TheWrongWayNoticeIsForTheViewedRidingBikeBeyond126Degrees)
{
    torvane_test::FpTraps traps;
    Load(kRace);
    CurrentRaceContext().ViewedRider = 0;
    Bike& b = bike(0);
    struct Case {
        float turn;
        bool raised;
    } const cases[] = {{2.3f, true}, {-2.3f, true}, {2.1f, false}, {0.0f, false}, {3.1f, true}};
    for (const Case& k : cases) {
        Place(b, 100.0f, 0.0f, 0.0f, 0.0f);
        b.Heading = b.PathHeading + k.turn;
        b.UpdateBodyAxes();
        b.DynamicsStep(0.001f);
        EXPECT_EQ((effects_.raised & 0x2000) != 0, k.raised) << k.turn;
    }
    // While the rider is down nothing is raised (and a raised notice goes).
    Place(b, 100.0f, 0.0f, 0.0f, 0.0f);
    b.Heading = b.PathHeading + 2.5f;
    b.UpdateBodyAxes();
    b.Status |= kBikeDown | kBikeBodyActive;
    b.LocateContacts(0.001f);
    effects_.raised = 0x2000;
    b.DynamicsStep(0.001f);
    EXPECT_FALSE(effects_.raised & 0x2000);
    // Another bike's heading is not the viewer's business.
    Bike& other = bike(1);
    Place(other, 50.0f, 0.0f, 0.0f, 0.0f);
    other.Heading = other.PathHeading + 3.0f;
    other.DynamicsStep(0.001f);
    EXPECT_FALSE(effects_.raised & 0x2000);
}

TEST_F(DynamicsTest, AComputerBikesAimWrapsPastTheEndOfThePath)
{
    torvane_test::FpTraps traps;
    Load(kRace);
    Bike& c = bike(1);
    const float length = world_.circuit.Length;
    Place(c, length - 20.0f, 0.0f, 0.0f, 10.0f);
    c.LookAhead.Value = 50.0f;
    c.ControlStep(kDt);
    c.DynamicsStep(kDt);
    // The point 50 m ahead lies 30 m past the line.
    float s = c.LookAhead.Value + c.Progress;
    ASSERT_GT(s, length);
    s -= length;
    Vec2 point;
    world_.circuit.DistanceToPoint(s, &point, nullptr);
    EXPECT_NEAR(c.AimHeading, std::atan2(point.x - c.Position.x, point.z - c.Position.z), 1e-5f);

    // A human rider aims along his own circle: straight ahead when upright.
    Bike& h = bike(0);
    Place(h, 100.0f, 0.0f, 0.0f, 20.0f);
    h.ControlStep(kDt);
    h.DynamicsStep(kDt);
    h.TurnRadius = 0.0f;
    h.ControlStep(kDt);
    h.DynamicsStep(kDt);
    if (h.TurnRadius == 0.0f) {
        EXPECT_EQ(h.AimHeading, h.RiderAngles.y);
    }
}

TEST_F(DynamicsTest, OffTheRoadTheSurfaceSoundsAndDustFollowTheSpeedAndTheStep)
{
    torvane_test::FpTraps traps;
    Load(kRace);
    Bike& b = bike(0);
    struct Case {
        float speed;
        float dt;
        bool sound;
        float frequency;
    } const cases[] = {{5.0f, 0.05f, true, 10125.0f}, {5.0f, 0.01f, true, 10025.0f}, {1.5f, 0.05f, false, 0.0f}};
    for (const Case& k : cases) {
        // On the grass verge, 8 m right of the centre line, riding along it.
        Place(b, 100.0f, -8.0f, 0.0f, k.speed);
        b.Controls.Throttle = 30;
        b.ControlStep(k.dt);
        effects_.Clear();
        b.DynamicsStep(k.dt);
        ASSERT_NE(b.RearWheel.Terrain, 0);
        ASSERT_NE(b.FrontWheel.Terrain, 0);
        bool played = false;
        for (const auto& p : effects_.plays) {
            if (p.sample == 11) {
                played = true;
                EXPECT_EQ(p.frequency, k.frequency) << k.speed << " " << k.dt;
                EXPECT_EQ(p.mode, 41);
            }
        }
        EXPECT_EQ(played, k.sound) << k.speed;
        bool dust = false;
        for (const auto& s : effects_.smokes)
            dust = dust || (s.kind == b.RearWheel.Terrain && s.point == 5);
        EXPECT_EQ(dust, k.sound) << k.speed;
        // Between 2 and 3 m/s, and whenever nothing slides: no skid.
        EXPECT_FALSE(effects_.Played(12));
    }
    // Back on the asphalt the rolling sound stops.
    Place(b, 100.0f, 0.0f, 0.0f, 10.0f);
    b.ControlStep(kDt);
    b.DynamicsStep(kDt);
    EXPECT_TRUE(effects_.Stopped(11));
    EXPECT_FALSE(effects_.Played(11));
}

TEST_F(DynamicsTest, HardBrakingOnTheAsphaltSkidsTheFrontTyreWithSoundMarksAndSmoke)
{
    torvane_test::FpTraps traps;
    Load(kRace);
    Bike& b = bike(0);
    Place(b, 20.0f, 0.0f, 0.0f, 40.0f);
    bool skid = false;
    for (int i = 0; i < 60 && !skid; ++i) {
        b.Controls.Brake = 127;
        b.ControlStep(kDt);
        b.DynamicsStep(kDt);
        skid = effects_.Played(12);
    }
    ASSERT_TRUE(skid);
    EXPECT_GT(effects_.skidMarks, 0);
    EXPECT_LE(b.SkidSmokeTimer, 0.0f);
    EXPECT_GE(b.SkidSmokeTimer, -0.2f);
    // The tyre smoke lingers after the skid for 0.2 s.
    b.SkidSmokeTimer = -0.2f;
    effects_.Clear();
    b.Controls.Brake = 0;
    b.ControlStep(0.05f);
    b.DynamicsStep(0.05f);
    EXPECT_NEAR(b.SkidSmokeTimer, -0.15f, 1e-6f);
    bool frontSmoke = false;
    for (const auto& s : effects_.smokes)
        frontSmoke = frontSmoke || (s.kind == 0 && s.point == 4);
    EXPECT_TRUE(frontSmoke);
}

TEST_F(DynamicsTest, InThePitLaneAPracticeBikeRollsToItsBoxAndParksInIt)
{
    torvane_test::FpTraps traps;
    Load(kSessionPractice, 1, 1);
    ASSERT_TRUE(world_.has_pit_lane);
    Bike& b = bike(0);
    RaceContext& race = CurrentRaceContext();
    const int slot = b.GridEntry->PitSlot;
    race.PitBoxDistance[slot] = 120.0f;
    race.PitBoxDepth[slot] = 3.0f;
    b.Status = kBikeInPitLane;
    b.Path = &world_.pit_lane;
    Vec2 point;
    b.Heading = world_.pit_lane.DistanceToPoint(60.0f, &point, nullptr);
    b.Position = Vec3(point.x, 0.0f, point.z);
    b.Segment = 0;
    b.ResetDynamics(true);
    b.SetState(-1, 0.0f);
    b.Speed = 10.0f;
    // Far from the box: the throttle is opened, no limit yet.
    b.TargetSpeed = 30.0f;
    race.PitBoxDistance[slot] = b.Progress + 60.0f;
    b.DynamicsStep(kDt);
    EXPECT_EQ(b.Controls.Throttle, 127);
    EXPECT_EQ(b.Controls.Brake, 0);
    EXPECT_EQ(b.TargetSpeed, 30.0f);
    // Within 40 m: 10 km/h.
    race.PitBoxDistance[slot] = b.Progress + 30.0f;
    b.DynamicsStep(kDt);
    EXPECT_FLOAT_EQ(b.TargetSpeed, 2.7777779f);
    EXPECT_FALSE(b.Status & kBikePitStop);
    // At the box (within a step and the box's depth): the stop is reached;
    // the bike turns in and parks once it stands deeper in the box than
    // its depth.
    race.PitBoxDistance[slot] = b.Progress + 2.0f;
    b.DynamicsStep(kDt);
    EXPECT_TRUE(b.Status & kBikePitStop);
    int steps = 0;
    while (!(b.Status & kBikeParked) && steps < 2000) {
        ride_test::Step(b, kDt);
        ++steps;
    }
    EXPECT_TRUE(b.Status & kBikeParked);
    EXPECT_GT(std::fabs(b.SideOffset), 3.0f);
}

TEST_F(DynamicsTest, TheViewedRiderIsWarnedOfABikeAboutToLapHim)
{
    torvane_test::FpTraps traps;
    Load(4, 2, 1);
    CurrentRaceContext().ViewedRider = 0;
    Bike& viewed = bike(0);
    Bike& other = bike(1);
    Place(viewed, 300.0f, 0.0f, 0.0f, 10.0f);
    Place(other, 270.0f, 2.0f, 0.0f, 10.0f);
    viewed.Behind = &other;
    struct Case {
        int otherLaps;
        float otherProgress;
        bool warned;
    } const cases[] = {{3, 270.0f, true}, {3, 240.0f, false}, {2, 270.0f, false}};
    for (const Case& k : cases) {
        viewed.Laps = 2;
        other.Laps = static_cast<std::int8_t>(k.otherLaps);
        effects_.viewModes.clear();
        // The other bike's progress as the race records it (the timing
        // recomputes the viewed bike's own).
        other.Progress = k.otherProgress;
        viewed.DynamicsStep(0.001f);
        bool warned = false;
        for (int m : effects_.viewModes)
            warned = warned || m == 4;
        EXPECT_EQ(warned, k.warned) << k.otherLaps << " " << k.otherProgress;
    }
    // Without a bike behind, no warning and no fault.
    viewed.Behind = nullptr;
    effects_.viewModes.clear();
    viewed.DynamicsStep(0.001f);
    EXPECT_TRUE(effects_.viewModes.empty());
}

TEST_F(DynamicsTest, EngineSoundsRevBeforeTheStartFromTheCosmeticStreamAndFollowTheCamera)
{
    torvane_test::FpTraps traps;
    Load(kRace, 2, 1);
    RaceContext& race = CurrentRaceContext();
    race.ViewedRider = 0;
    race.GraphicsFlags = 1;
    Bike& viewed = bike(0);
    Bike& other = bike(1);

    // Before the start the revs wander between drawn targets: the draws come
    // from the cosmetic stream, never from the simulation's.
    platform::RandomStream& simulation = platform::random_stream(platform::RandomStreamId::Simulation);
    const std::uint32_t before = simulation.state();
    float low = 1.0e9f;
    float high = 0.0f;
    for (int i = 0; i < 600; ++i) {
        viewed.UpdateEngineSound(kDt);
        low = std::min(low, viewed.SoundRpm);
        high = std::max(high, viewed.SoundRpm);
    }
    EXPECT_EQ(simulation.state(), before);
    // The revving is the sound's own: the simulation's revs stay.
    EXPECT_EQ(viewed.EngineSoundRpm, 1000.0f);
    EXPECT_GE(high, 6000.0f);
    EXPECT_LE(high, 9000.0f);
    EXPECT_LT(low, 6000.0f);

    // The viewed bike in a close camera plays the layered set, by camera.
    race.Flags |= kRaceRacing;
    struct Case {
        int mode;
        float volume;
    } const cases[] = {{0, 0.9f}, {1, 1.0f}, {2, 0.8f}, {3, 0.6f}, {6, 1.0f}};
    for (const Case& k : cases) {
        race.CameraMode = k.mode;
        effects_.Clear();
        viewed.EngineSoundRpm = 16000.0f;
        viewed.UpdateEngineSound(kDt);
        ASSERT_EQ(effects_.soundSets.size(), 1u) << k.mode;
        EXPECT_EQ(effects_.soundSets[0].volume, k.volume) << k.mode;
        EXPECT_EQ(effects_.soundSets[0].rpm, 14999.0f);
        EXPECT_TRUE(effects_.plays.empty());
    }
    // In a distant camera the layered set stops and a 3D voice plays, for
    // the viewed bike and the others alike; a close camera stops it again.
    race.CameraMode = 4;
    effects_.Clear();
    viewed.EngineSoundRpm = 8000.0f;
    viewed.UpdateEngineSound(kDt);
    other.EngineSoundRpm = 8000.0f;
    other.UpdateEngineSound(kDt);
    ASSERT_EQ(effects_.soundSets.size(), 1u);
    EXPECT_EQ(effects_.soundSets[0].rpm, -1.0f);
    ASSERT_EQ(effects_.plays.size(), 2u);
    EXPECT_EQ(effects_.plays[0].instance, 1);
    EXPECT_EQ(effects_.plays[0].frequency, 18000.0f);
    EXPECT_EQ(effects_.plays[1].instance, 2);
    EXPECT_TRUE(viewed.SoundFlags & kBikeEngineVoice);
    race.CameraMode = 0;
    effects_.Clear();
    viewed.UpdateEngineSound(kDt);
    EXPECT_FALSE(viewed.SoundFlags & kBikeEngineVoice);
    EXPECT_EQ(effects_.stops.size(), 1u);

    // With the sound off, nothing.
    race.GraphicsFlags = 0;
    effects_.Clear();
    viewed.UpdateEngineSound(kDt);
    other.UpdateEngineSound(kDt);
    EXPECT_TRUE(effects_.plays.empty());
    EXPECT_TRUE(effects_.soundSets.empty());
}

} // namespace
