// Falls: the fallen bike's body tumbles, slides and comes to rest; the
// rider's own body is thrown or walks back to the bike; recovery puts the
// bike back on the track.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "platform/random.h"
#include "sim/bike.h"
#include "sim/race_conditions.h"
#include "sim/race_context.h"
#include "sim/track.h"
#include "sim/rider_states.h"
#include "tests/sim/bike_world.h"
#include "tests/sim/ride_helpers.h"
#include "tests/support/fp_traps.h"

using bike_test::AngleBetween;
using bike_test::BikeWorld;

namespace {

constexpr int kRace = 4;
constexpr float kDt = 0.02f;
constexpr float kSixtyKmh = 16.666667f;

struct PlayedSound {
    int sample;
    int instance;
    float frequency;
    float volume;
};

// Records the sounds, smoke and overlay notices of the bikes.
class CrashHooks : public bike_test::RecordingHooks {
public:
    void Play(int sample, int instance, float frequency, float volume, float, int) override
    {
        plays.push_back({sample, instance, frequency, volume});
    }
    void StopVoice(int sample, int) override { stops.push_back(sample); }
    void SmokeEmit(int kind, Bike&, int point, float) override { smokes.push_back({kind, point}); }
    void HudSetViewMode(int mode) override { view_modes.push_back(mode); }

    int PlayCount(int sample) const
    {
        int n = 0;
        for (const PlayedSound& p : plays)
            n += p.sample == sample ? 1 : 0;
        return n;
    }
    void Clear()
    {
        plays.clear();
        stops.clear();
        smokes.clear();
        view_modes.clear();
    }

    std::vector<PlayedSound> plays;
    std::vector<int> stops;
    std::vector<std::pair<int, int>> smokes;
    std::vector<int> view_modes;
};

// A race on the demo island circuit with `count` bikes on the grid; the last
// bike is the viewed one.
class CrashWorld {
public:
    explicit CrashWorld(int count = 2, int humans = 0, int session = kRace)
    {
        world.Load("Island", session);
        world.MakeBikes(count, humans);
        world.PlaceAll();
        CurrentRaceContext().Hooks = &hooks;
        CurrentRaceContext().ViewedRider = count - 1;
    }

    Bike& bike(int i) { return world.bike(i); }
    Track& circuit() { return world.circuit; }

    // Stands the bike upright on the circuit at `progress`, `right` metres
    // right of the centre line, facing along the track.
    void PlaceOnTrack(Bike& b, float progress, float right = 0.0f)
    {
        Vec2 point;
        Vec2 direction;
        circuit().DistanceToPoint(progress, &point, &direction);
        b.Path = &circuit();
        b.Position = Vec3(point.x + right * direction.z, 0.0f, point.z - right * direction.x);
        b.Progress = progress;
        b.ResetDynamics(false);
    }

    BikeWorld world;
    CrashHooks hooks;
};

// What the dynamics step leaves when a rider falls: the bike moving at
// `speed` along its heading and `sideways` to its right, leaning `lean` at
// `leanRate`, the fall requested; the body is built and the fall state set.
void StartFall(Bike& b, float speed, float sideways = 0.0f, float lean = 0.6f, float leanRate = 3.0f)
{
    b.Roll = lean;
    b.UpdateBodyAxes();
    const Vec3 forward(std::sin(b.Heading), 0.0f, std::cos(b.Heading));
    const Vec3 right(std::cos(b.Heading), 0.0f, -std::sin(b.Heading));
    const Vec3 v = forward.Times(speed).Plus(right.Times(sideways));
    b.Speed = speed;
    b.FrontWheel.Velocity = v;
    b.RearWheel.Velocity = v;
    b.CgVelocity = v;
    b.Lean.Rate = leanRate;
    b.Status |= kBikeFallRequested;
    b.LocateContacts(kDt);
    b.SetState(lean > 0.0f ? 11 : 10, 0.0f);
}

// One sub-step of a fallen bike as the dynamics step runs it: progress
// first, then the crash step.
void CrashSubStep(Bike& b)
{
    b.UpdateProgress();
    b.CrashStep(kDt);
}

bool Finite(const Vec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

bool AllFinite(const Bike& b)
{
    for (int i = 0; i < 4; ++i)
        if (!Finite(b.BodyPoint[i]) || !Finite(b.BodyVelocity[i]) || !Finite(b.BodyNormal[i]) ||
            !Finite(b.BodyPrevious[i]))
            return false;
    const float values[] = {b.Speed, b.Rpm, b.EngineSoundRpm, b.Pitch, b.Heading, b.Roll, b.Progress,
                            b.SideOffset, b.RiderProgress, b.RiderSideOffset, b.FrontWheel.GroundHeight,
                            b.RearWheel.GroundHeight};
    for (const float v : values)
        if (!std::isfinite(v))
            return false;
    return Finite(b.Position) && Finite(b.CgPosition) && Finite(b.CgVelocity) && Finite(b.RiderPosition) &&
           Finite(b.RiderAngles) && Finite(b.FrontWheel.ContactPoint) && Finite(b.RearWheel.ContactPoint);
}

float HorizontalSpeed(const Vec3& v) { return std::sqrt(v.x * v.x + v.z * v.z); }

float HorizontalDistance(const Vec3& a, const Vec3& b)
{
    return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.z - b.z) * (a.z - b.z));
}

// True when the point has ground under it (inside the track's edges).
bool OnTrack(Track& track, const Vec3& p, float hint)
{
    Vec3 point = p;
    return track.Query(&point, nullptr, hint, nullptr) != kTrackNone;
}

float GroundAt(Track& track, const Vec3& p, float hint)
{
    Vec3 point = p;
    return track.Query(&point, nullptr, hint, nullptr);
}

// Runs crash steps until the bike is at rest (or `seconds` have passed);
// returns the steps run, or -1 when a value stopped being finite.
int RunToRest(Bike& b, float seconds)
{
    const int limit = static_cast<int>(seconds / kDt);
    for (int step = 1; step <= limit; ++step) {
        CrashSubStep(b);
        if (!AllFinite(b))
            return -1;
        if (b.Status & kBikeAtRest)
            return step;
    }
    return limit;
}

TEST(CrashFallTest, BikeAtSixtyTumblesSlidesAndComesToRest)
{
    CrashWorld w;
    Bike& b = w.bike(0);
    w.PlaceOnTrack(b, 60.0f);
    const Vec3 start = b.Position;
    const Vec3 forward(std::sin(b.Heading), 0.0f, std::cos(b.Heading));
    b.Rpm = 2000.0f;

    torvane_test::FpTraps traps;
    StartFall(b, kSixtyKmh);
    EXPECT_EQ(b.Status & (kBikeDown | kBikeBodyActive | kBikeFallRequested), kBikeDown | kBikeBodyActive);
    EXPECT_EQ(b.RiderState, 11);

    float largestRoll = 0.0f;
    int steps = 0;
    for (; steps < 1500 && !(b.Status & kBikeAtRest); ++steps) {
        CrashSubStep(b);
        ASSERT_TRUE(AllFinite(b)) << "step " << steps;
        // The engine idles down: 2000 to exactly 1000 in ten steps of 0.02 s.
        if (steps == 8) {
            EXPECT_GT(b.Rpm, 1000.0f);
        }
        if (steps == 9) {
            EXPECT_EQ(b.Rpm, 1000.0f);
            EXPECT_EQ(b.EngineSoundRpm, 1000.0f);
        }
        largestRoll = std::max(largestRoll, std::fabs(b.Roll));
        for (int i = 0; i < 4; ++i)
            ASSERT_TRUE(OnTrack(w.circuit(), b.BodyPoint[i], b.Progress)) << "point " << i << " step " << steps;
    }
    ASSERT_TRUE(b.Status & kBikeAtRest) << "not at rest after " << steps << " steps";
    EXPECT_GT(steps, 25); // it slid for a while
    EXPECT_GT(largestRoll, 1.0f) << "the bike went down on its side";
    EXPECT_EQ(b.Speed, 0.0f);

    // It slid forward along the track and lies on the ground.
    const float slid = b.Position.Minus(start).Dot(forward);
    EXPECT_GT(slid, 3.0f);
    EXPECT_LT(slid, 60.0f);
    int lying = 0;
    for (int i = 0; i < 4; ++i) {
        const float ground = GroundAt(w.circuit(), b.BodyPoint[i], b.Progress);
        lying += b.BodyContact[i] && std::fabs(b.BodyPoint[i].y - ground) < 0.35f ? 1 : 0;
    }
    EXPECT_GE(lying, 3);

    // The rider was thrown along and has slid to a stop on the ground.
    EXPECT_EQ(HorizontalSpeed(b.CgVelocity), 0.0f);
    EXPECT_GT(b.RiderPosition.Minus(start).Dot(forward), 3.0f);
    EXPECT_NEAR(b.RiderPosition.y, GroundAt(w.circuit(), b.RiderPosition, b.RiderProgress), 1e-3f);
    EXPECT_NEAR(b.RiderProgress, b.Progress + b.RiderPosition.Minus(b.Position).Dot(forward), 0.5f);

    // It scraped along the tarmac with sparks.
    EXPECT_GT(w.hooks.PlayCount(9), 0);
    bool sparks = false;
    for (const auto& [kind, point] : w.hooks.smokes)
        sparks = sparks || (kind == 3 && point >= 0 && point < 4);
    EXPECT_TRUE(sparks);
}

TEST(CrashFallTest, FirstBodyStepSetsRiderDownAndMovesNothing)
{
    CrashWorld w;
    Bike& b = w.bike(0);
    w.PlaceOnTrack(b, 100.0f);
    torvane_test::FpTraps traps;
    StartFall(b, 10.0f, 0.0f, 0.0f, 0.0f);

    // The body has its shape: a wheelbase long, the body height tall, and its
    // points move with the bike.
    EXPECT_NEAR(b.BodyPoint[0].Minus(b.BodyPoint[1]).Length(), b.Wheelbase, 1e-4f);
    EXPECT_NEAR(b.BodyPoint[3].Minus(b.BodyPoint[0]).Length(), b.MassHeight, 1e-4f);
    EXPECT_NEAR(b.BodyPoint[2].Minus(b.BodyPoint[1]).Length(), b.MassHeight, 1e-4f);
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(b.BodyVelocity[i].Length(), 10.0f, 1e-4f) << i;
        // The previous positions are one step back along the velocities.
        const Vec3 back = b.BodyPoint[i].Minus(b.BodyVelocity[i].Times(kDt));
        EXPECT_FLOAT_EQ(b.BodyPrevious[i].x, back.x);
        EXPECT_FLOAT_EQ(b.BodyPrevious[i].z, back.z);
    }
    // The body lies where the wheels were.
    EXPECT_LT(HorizontalDistance(b.BodyPoint[1], b.RearWheel.ContactPoint), 0.5f);
    EXPECT_LT(HorizontalDistance(b.BodyPoint[0], b.FrontWheel.ContactPoint), 0.5f);
    EXPECT_EQ(b.BodyContactCount, 0);
}

TEST(CrashFallTest, BodyLyingStillOnTarmacStaysStillAndSilent)
{
    CrashWorld w;
    Bike& b = w.bike(0);
    w.PlaceOnTrack(b, 60.0f);
    torvane_test::FpTraps traps;
    StartFall(b, kSixtyKmh);
    ASSERT_GT(RunToRest(b, 30.0f), 0);
    ASSERT_TRUE(b.Status & kBikeAtRest);

    // A bike at rest stays exactly where it lies.
    Vec3 rest[4];
    for (int i = 0; i < 4; ++i)
        rest[i] = b.BodyPoint[i];
    const Vec3 position = b.Position;
    w.hooks.Clear();
    for (int step = 0; step < 500; ++step)
        CrashSubStep(b);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(std::memcmp(&b.BodyPoint[i], &rest[i], sizeof(Vec3)), 0) << i;
        EXPECT_EQ(b.BodyVelocity[i].Length(), 0.0f) << i;
    }
    EXPECT_EQ(std::memcmp(&b.Position, &position, sizeof(Vec3)), 0);
    EXPECT_EQ(b.Speed, 0.0f);

    // The body model itself, on fine sub-steps, keeps a body lying still at
    // zero velocities and makes no sound below 3 m/s.
    w.hooks.Clear();
    b.Speed = 0.0f;
    for (int step = 0; step < 400; ++step) {
        b.BodyStep(0.005f);
        b.Speed = std::sqrt(b.BodyVelocity[1].x * b.BodyVelocity[1].x + b.BodyVelocity[1].z * b.BodyVelocity[1].z);
        if (step >= 200) {
            for (int i = 0; i < 4; ++i)
                ASSERT_EQ(b.BodyVelocity[i].Length(), 0.0f) << "point " << i << " step " << step;
        }
    }
    EXPECT_TRUE(w.hooks.plays.empty());
    EXPECT_TRUE(w.hooks.smokes.empty());
    EXPECT_FALSE(w.hooks.stops.empty()) << "the scrapes are stopped";
}

TEST(CrashFallTest, BodyDrivenIntoTheBarrierScrapesAlongItAndStaysInside)
{
    CrashWorld w;
    Bike& b = w.bike(0);
    // Near the right edge, sliding hard into it.
    w.PlaceOnTrack(b, 120.0f, 7.0f);
    torvane_test::FpTraps traps;
    StartFall(b, kSixtyKmh, 12.0f, -0.6f, -3.0f);
    for (int step = 0; step < 1500 && !(b.Status & kBikeAtRest); ++step) {
        CrashSubStep(b);
        ASSERT_TRUE(AllFinite(b)) << "step " << step;
        for (int i = 0; i < 4; ++i) {
            Vec3 p = b.BodyPoint[i];
            Vec3 n;
            ASSERT_FALSE(w.circuit().Locate(&p, &n, b.Progress)) << "point " << i << " beyond the edge, step " << step;
        }
    }
    EXPECT_TRUE(b.Status & kBikeAtRest);
    EXPECT_GT(w.hooks.PlayCount(6), 0) << "the barrier scrape";
    EXPECT_LT(b.SideOffset, -7.0f) << "it lies along the right barrier";
}

TEST(CrashFallTest, RebuildingASquashedBodyGivesItsShapeBack)
{
    CrashWorld w;
    Bike& b = w.bike(0);
    torvane_test::FpTraps traps;
    for (int i = 0; i < 4; ++i) {
        b.BodyPoint[i] = b.Position;
        b.BodyVelocity[i] = Vec3();
    }
    b.RebuildBody();
    EXPECT_TRUE(AllFinite(b));
    EXPECT_NEAR(b.BodyPoint[0].Minus(b.BodyPoint[1]).Length(), b.Wheelbase, 1e-4f);
    EXPECT_NEAR(b.BodyPoint[3].Minus(b.BodyPoint[0]).Length(), b.MassHeight, 1e-4f);
    // Along the bike's heading, upright.
    const Vec3 axis = b.BodyPoint[0].Minus(b.BodyPoint[1]);
    EXPECT_NEAR(AngleBetween(std::atan2(axis.x, axis.z), b.Heading), 0.0f, 1e-4f);
    EXPECT_GT(b.BodyPoint[3].y, b.BodyPoint[0].y);
}

// Randomly thrown bikes all over the circuit: values stay finite, the body
// stays inside the edges and every bike comes to a stop, most lying on the
// ground.
TEST(CrashFallTest, RandomFallsStayFiniteInsideAndComeToRest)
{
    CrashWorld w;
    Bike& b = w.bike(0);
    std::mt19937 random(1234);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    const float length = w.circuit().Length;
    int resting = 0;
    torvane_test::FpTraps traps;
    for (int fall = 0; fall < 40; ++fall) {
        const float progress = unit(random) * length;
        const float right = (unit(random) * 2.0f - 1.0f) * 9.0f;
        const float speed = unit(random) * 80.0f;
        const float sideways = (unit(random) * 2.0f - 1.0f) * 20.0f;
        const float lean = (unit(random) * 2.0f - 1.0f) * 1.3f;
        const float leanRate = (unit(random) * 2.0f - 1.0f) * 12.0f;
        w.PlaceOnTrack(b, progress, right);
        b.SetState(-1, 0.0f);
        StartFall(b, speed, sideways, lean, leanRate);
        const int steps = RunToRest(b, 60.0f);
        ASSERT_GT(steps, 0) << "fall " << fall << ": a value stopped being finite";
        if (!(b.Status & kBikeAtRest)) {
            // Propped against a barrier: not lying on flat ground, but still.
            Vec3 lying[4];
            for (int i = 0; i < 4; ++i)
                lying[i] = b.BodyPoint[i];
            for (int step = 0; step < 100; ++step)
                CrashSubStep(b);
            for (int i = 0; i < 4; ++i)
                EXPECT_LT(b.BodyPoint[i].Minus(lying[i]).Length(), 0.05f) << "fall " << fall << " point " << i;
            EXPECT_TRUE(b.BodyContact[0] || b.BodyContact[1] || b.BodyContact[2] || b.BodyContact[3]);
        } else {
            ++resting;
        }
        for (int i = 0; i < 4; ++i)
            EXPECT_TRUE(OnTrack(w.circuit(), b.BodyPoint[i], b.Progress)) << "fall " << fall << " point " << i;
        EXPECT_TRUE(OnTrack(w.circuit(), b.RiderPosition, b.RiderProgress)) << "fall " << fall;
    }
    EXPECT_GE(resting, 30) << "most falls end lying on the ground";
}

TEST(CrashFallTest, SameFallGivesTheSameBits)
{
    auto run = [](std::vector<float>& out) {
        CrashWorld w;
        Bike& b = w.bike(0);
        w.PlaceOnTrack(b, 300.0f, 2.0f);
        StartFall(b, 30.0f, 5.0f, 0.9f, 6.0f);
        for (int step = 0; step < 400; ++step) {
            CrashSubStep(b);
            for (int i = 0; i < 4; ++i)
                out.insert(out.end(), {b.BodyPoint[i].x, b.BodyPoint[i].y, b.BodyPoint[i].z, b.BodyVelocity[i].x});
            out.insert(out.end(), {b.RiderPosition.x, b.RiderPosition.z, b.Heading, b.Roll, b.Pitch});
        }
    };
    std::vector<float> first;
    std::vector<float> second;
    run(first);
    run(second);
    ASSERT_EQ(first.size(), second.size());
    EXPECT_EQ(std::memcmp(first.data(), second.data(), first.size() * sizeof(float)), 0);
}

// The whole fall as the race runs it (control, dynamics and rider state
// passes): the bike falls at 60 km/h, comes to rest, the rider walks back,
// lifts it and rides on; a human player is put back on the track at once.
TEST(CrashSequenceTest, FallenRiderGetsBackOnAndRidesOn)
{
    for (const bool human : {false, true}) {
        CrashWorld w(2, human ? 1 : 0);
        ride_test::DemoRiderStates states(w.world.dir());
        Bike& b = w.bike(0);
        w.PlaceOnTrack(b, 100.0f);
        b.SetState(-1, 0.0f);
        b.Roll = 0.7f;
        b.UpdateBodyAxes();
        const Vec3 forward(std::sin(b.Heading), 0.0f, std::cos(b.Heading));
        b.Speed = kSixtyKmh;
        b.FrontWheel.Velocity = b.RearWheel.Velocity = b.CgVelocity = forward.Times(kSixtyKmh);
        b.Lean.Rate = 3.0f;
        b.Status |= kBikeFallRequested;

        torvane_test::FpTraps traps;
        const float dt = 1.0f / 60.0f;
        bool rested = false;
        bool walked = false;
        bool recovered = false;
        int step = 0;
        for (; step < 60 * 60 && !(step > 60 && b.RiderState == -1); ++step) {
            // The player opens the throttle once he is back on the bike.
            b.Controls.Throttle = b.RiderState == -2 ? 127 : 0;
            ride_test::Step(b, dt);
            ASSERT_TRUE(AllFinite(b)) << step;
            rested = rested || (b.Status & kBikeAtRest) != 0;
            walked = walked || IsDraggedRiderState(b.RiderState);
            if (!recovered && (b.Status & kBikeDown) == 0 && step > 0) {
                recovered = true;
                // Back on the track, facing along it, on the ground.
                EXPECT_NEAR(AngleBetween(b.Heading, b.PathHeading), 0.0f, human ? 0.02f : 1.6f);
                EXPECT_NE(b.RearWheel.GroundHeight, kNoGround);
                EXPECT_NE(b.FrontWheel.GroundHeight, kNoGround);
                EXPECT_TRUE(OnTrack(w.circuit(), b.Position, b.Progress));
                EXPECT_EQ(b.Status & (kBikeBodyActive | kBikeAtRest), 0u);
            }
        }
        EXPECT_EQ(b.RiderState, -1) << (human ? "human" : "computer") << " after " << step * dt << " s";
        EXPECT_TRUE(recovered);
        EXPECT_TRUE(walked);
        // A computer rider's bike lies at rest while he walks back (a player
        // is put back on as soon as he starts to walk).
        if (!human) {
            EXPECT_TRUE(rested);
        }
        EXPECT_GT(b.Progress, 100.0f);
    }
}

TEST(CrashStepTest, WarnsTheViewedRiderOfAFallenRiderAhead)
{
    CrashWorld w(2);
    Bike& fallen = w.bike(0);
    Bike& viewed = w.bike(1);
    const float length = w.circuit().Length;
    struct Case {
        float fallen;
        float viewed;
        bool warned;
    } const cases[] = {
        {1150.0f, 1000.0f, true},
        {1005.0f, 1000.0f, false},
        {1250.0f, 1000.0f, false},
        {1000.0f, 1150.0f, false},       // behind
        {100.0f, length - 50.0f, true},  // ahead across the line
    };
    torvane_test::FpTraps traps;
    for (const Case& c : cases) {
        w.hooks.Clear();
        fallen.Progress = c.fallen;
        viewed.Progress = c.viewed;
        fallen.Status = kBikeDown;
        fallen.CrashStep(kDt);
        EXPECT_EQ(w.hooks.view_modes == std::vector<int>{1}, c.warned) << c.fallen << " " << c.viewed;
    }
    // The viewed rider is not warned of himself.
    w.hooks.Clear();
    viewed.Status = kBikeDown;
    viewed.CrashStep(kDt);
    EXPECT_TRUE(w.hooks.view_modes.empty());
}

// A fallen bike at rest on the straight with its rider standing `right`
// metres to the right of it, in `state`.
void RiderBesideRestingBike(CrashWorld& w, Bike& b, int state, float right, float along = 0.0f, float progress = 150.0f)
{
    w.PlaceOnTrack(b, progress);
    StartFall(b, 0.0f, 0.0f, 1.0f, 0.0f);
    ASSERT_GT(RunToRest(b, 30.0f), 0);
    ASSERT_TRUE(b.Status & kBikeAtRest);
    const Vec3 forward(std::sin(b.Heading), 0.0f, std::cos(b.Heading));
    const Vec3 side(std::cos(b.Heading), 0.0f, -std::sin(b.Heading));
    b.RiderPosition = b.Position.Plus(side.Times(right)).Plus(forward.Times(along));
    b.RiderPosition.y = GroundAt(w.circuit(), b.RiderPosition, b.Progress);
    b.RiderProgress = b.Progress;
    b.CgVelocity = Vec3();
    b.SetState(state, 0.0f);
}

TEST(CrashRiderTest, ThrownRiderStopsSlidingAfterTwoThirdsOfASecond)
{
    CrashWorld w;
    Bike& b = w.bike(0);
    RiderBesideRestingBike(w, b, 10, 3.0f, 5.0f);
    const Vec3 forward(std::sin(b.Heading), 0.0f, std::cos(b.Heading));
    b.CgVelocity = forward.Times(10.0f);
    const Vec3 start = b.RiderPosition;
    torvane_test::FpTraps traps;
    int steps = 0;
    while (HorizontalSpeed(b.CgVelocity) > 0.0f && steps < 200) {
        CrashSubStep(b);
        ++steps;
    }
    // 10 / 14.709975 = 0.68 s.
    EXPECT_NEAR(steps * kDt, 0.68f, kDt);
    // 10^2 / (2 x 14.709975) = 3.4 m along the track, on the ground.
    EXPECT_NEAR(b.RiderPosition.Minus(start).Dot(forward), 3.4f, 0.2f);
    EXPECT_NEAR(b.RiderPosition.y, GroundAt(w.circuit(), b.RiderPosition, b.RiderProgress), 1e-3f);
    EXPECT_NEAR(AngleBetween(b.RiderAngles.y, b.Heading), 0.0f, 0.5f) << "the rider turned toward the slide";
}

TEST(CrashRiderTest, DraggedRiderWalksToTheBikeAndLiftsIt)
{
    struct Case {
        int state;
        float speed;
        float roll;
        int lifted;
        float right; // where the rider starts from the bike's rear hub
        float along;
    } const cases[] = {
        {19, 6.0f, 0.5f, 25, 4.0f, -3.0f},
        {20, 6.0f, -0.5f, 21, 4.0f, -3.0f},
        {29, 3.0f, 0.5f, 25, 4.0f, -3.0f},
        {54, 3.0f, -0.5f, 21, 4.0f, -3.0f},
        {30, 3.0f, 0.5f, 25, 0.0f, 0.0f}, // standing on the hub: the push off it stays finite
    };
    for (const Case& c : cases) {
        CrashWorld w;
        Bike& b = w.bike(0);
        RiderBesideRestingBike(w, b, c.state, c.right, c.along);
        torvane_test::FpTraps traps;
        b.Roll = c.roll; // the side the bike lies on; it stays still now
        Vec3 before = b.RiderPosition;
        CrashSubStep(b);
        EXPECT_NEAR(HorizontalDistance(b.RiderPosition, before), c.speed * kDt, 1e-4f) << c.state;
        EXPECT_NEAR(HorizontalSpeed(b.CgVelocity), c.speed, 1e-4f) << c.state;
        int steps = 1;
        while (b.RiderState == c.state && steps < 500) {
            CrashSubStep(b);
            ASSERT_TRUE(AllFinite(b));
            ++steps;
        }
        EXPECT_EQ(b.RiderState, c.lifted) << c.state;
        // Round the bike to its other side (about 8 m) at the drag speed.
        EXPECT_LT(steps * kDt, 10.0f / c.speed) << c.state;
        EXPECT_EQ(b.RiderPosition.x, b.Position.x);
        EXPECT_EQ(b.RiderPosition.z, b.Position.z);
        EXPECT_FALSE(b.Status & kBikeBodyActive) << "the bike is lifted";
    }
}

TEST(CrashRiderTest, RiderBeyondTheBarrierComesBackInside)
{
    struct Case {
        int state;
        bool dragged;
    } const cases[] = {{29, true}, {10, false}};
    for (const Case& c : cases) {
        CrashWorld w;
        Bike& b = w.bike(0);
        // The edge lies 10 m right of the centre line here.
        RiderBesideRestingBike(w, b, c.state, 13.0f);
        const Vec3 forward(std::sin(b.Heading), 0.0f, std::cos(b.Heading));
        const Vec3 side(std::cos(b.Heading), 0.0f, -std::sin(b.Heading));
        b.CgVelocity = side.Times(8.0f).Plus(forward.Times(5.0f));
        torvane_test::FpTraps traps;
        CrashSubStep(b);
        EXPECT_TRUE(OnTrack(w.circuit(), b.RiderPosition, b.RiderProgress)) << c.state;
        Vec3 p = b.RiderPosition;
        Vec3 n;
        EXPECT_FALSE(w.circuit().Locate(&p, &n, b.RiderProgress)) << c.state;
        EXPECT_LT(b.RiderSideOffset, -9.0f) << c.state;
        EXPECT_EQ((b.Status & kBikeBarrierTouched) != 0, c.dragged) << c.state;
        // No motion through the barrier; a thrown rider keeps a fifth of its
        // motion along it.
        EXPECT_NEAR(b.CgVelocity.Dot(side), 0.0f, 0.05f) << c.state;
        if (!c.dragged) {
            EXPECT_LT(HorizontalSpeed(b.CgVelocity), 0.2f * 5.0f + 0.01f);
        }
    }
}

// A point of the gravel trap outside the first right-hander: (progress, m
// left of the centre line).
std::pair<float, float> FindGravel(Track& circuit)
{
    for (float progress = 330.0f; progress < 380.0f; progress += 1.0f)
        for (float left = 6.5f; left < 17.0f; left += 0.5f) {
            Vec2 point;
            Vec2 direction;
            circuit.DistanceToPoint(progress, &point, &direction);
            Vec3 p(point.x - left * direction.z, 0.0f, point.z + left * direction.x);
            unsigned char surface = 0;
            if (circuit.Query(&p, nullptr, progress, &surface) != kTrackNone && surface == 2)
                return {progress, left};
        }
    return {-1.0f, 0.0f};
}

TEST(CrashRiderTest, RiderSlidingOnGravelRaisesDustAndSometimesItsSound)
{
    for (const int weather : {kWeatherSunny, kWeatherRain}) {
        CrashWorld w;
        Bike& b = w.bike(0);
        const auto [progress, left] = FindGravel(w.circuit());
        ASSERT_GE(progress, 0.0f) << "the demo circuit has a gravel trap";
        CurrentRaceConditions().Weather = weather;
        RiderBesideRestingBike(w, b, 10, -left, 0.0f, progress);
        const Vec3 forward(std::sin(b.Heading), 0.0f, std::cos(b.Heading));
        b.CgVelocity = forward.Times(10.0f);
        w.hooks.Clear();

        const std::uint32_t simulation = platform::random_stream(platform::RandomStreamId::Simulation).state();
        torvane_test::FpTraps traps;
        int dust = 0;
        for (int step = 0; step < 20; ++step) {
            const std::size_t before = w.hooks.smokes.size();
            CrashSubStep(b);
            for (std::size_t k = before; k < w.hooks.smokes.size(); ++k)
                dust += w.hooks.smokes[k] == std::pair<int, int>(2, 6) ? 1 : 0;
        }
        // The coin that chooses the sound never draws on the race's numbers.
        EXPECT_EQ(platform::random_stream(platform::RandomStreamId::Simulation).state(), simulation);
        if (weather == kWeatherRain) {
            EXPECT_EQ(dust, 0);
            EXPECT_EQ(w.hooks.PlayCount(18), 0);
        } else {
            EXPECT_GE(dust, 10) << "dust while sliding faster than 4 m/s";
            EXPECT_GT(w.hooks.PlayCount(18), 0);
            EXPECT_LT(w.hooks.PlayCount(18), dust);
        }
    }
}

TEST(CrashRiderTest, HumanPlayerIsPutBackAtOnceUnlessHeWalks)
{
    struct Case {
        int session;
        bool walks; // the player's "no instant recovery" aid
        bool recovered;
    } const cases[] = {{kRace, false, true}, {kRace, true, false}, {kSessionArcade, true, true}};
    for (const Case& c : cases) {
        CrashWorld w(2, 1, c.session);
        Bike& b = w.bike(0);
        RiderBesideRestingBike(w, b, 19, 6.0f);
        if (c.walks)
            b.Flags |= kPlayerFlagNoRecovery;
        else
            b.Flags &= ~kPlayerFlagNoRecovery;
        torvane_test::FpTraps traps;
        CrashSubStep(b);
        EXPECT_EQ(b.RiderState == -2, c.recovered) << c.session << " " << c.walks;
        EXPECT_EQ((b.Status & (kBikeDown | kBikeBodyActive)) == 0, c.recovered) << c.session << " " << c.walks;
    }
}

// The progress the other bikes stand at, where this one falls, and where it
// is put back.
struct RecoverCase {
    std::vector<float> others;
    float progress;
    float expected;
    bool othersParked = false;
};

TEST(CrashRecoverTest, PutsTheBikeOnTheTrackBehindBikesItWouldOverlap)
{
    CrashWorld probe(1);
    const float length = probe.circuit().Length;
    const RecoverCase cases[] = {
        {{1000.0f, 1500.0f, 2000.0f}, 500.0f, 500.0f},
        {{502.0f}, 500.0f, 498.0f},
        {{497.0f}, 500.0f, 493.0f},
        {{501.0f, 497.0f, 493.5f}, 500.0f, 489.5f},       // one after the other
        {{493.5f, 497.0f, 501.0f}, 500.0f, 489.5f},       // the same in another order
        {{2.0f}, 1.0f, length - 2.0f},                    // back through the start line
        {{1.0f}, length - 1.0f, length - 3.0f},           // overlapping across the line
        {{502.0f}, 500.0f, 500.0f, true},                 // parked bikes are out of the way
    };
    for (const RecoverCase& c : cases) {
        const int count = static_cast<int>(c.others.size()) + 1;
        CrashWorld w(count);
        Bike& b = w.bike(0);
        for (int i = 1; i < count; ++i) {
            w.bike(i).Progress = c.others[static_cast<std::size_t>(i - 1)];
            if (c.othersParked)
                w.bike(i).Status |= kBikeParked;
        }
        w.PlaceOnTrack(b, c.progress, -3.0f);
        torvane_test::FpTraps traps;
        StartFall(b, 10.0f, 2.0f, 0.8f, 4.0f);
        for (int step = 0; step < 100; ++step)
            CrashSubStep(b);
        b.Status |= kBikeBarrierTouched;
        // Keep the fallen bike's progress where the case puts it.
        b.Progress = c.progress;
        b.Recover(true);

        float expected = c.expected;
        if (expected >= length)
            expected -= length;
        float gap = std::fabs(b.Progress - expected);
        gap = std::min(gap, length - gap);
        EXPECT_LT(gap, 0.05f) << c.progress << " -> " << b.Progress << ", expected " << expected;
        EXPECT_EQ(b.Status & (kBikeDown | kBikeAtRest | kBikeBodyActive | kBikeBarrierTouched), 0u);
        // Facing along the track, upright, on the ground, 0.9 m inside the
        // usable road's (right) side.
        EXPECT_NEAR(AngleBetween(b.Heading, b.PathHeading), 0.0f, 0.02f);
        EXPECT_EQ(b.Roll, 0.0f);
        EXPECT_NE(b.RearWheel.GroundHeight, kNoGround);
        EXPECT_NE(b.FrontWheel.GroundHeight, kNoGround);
        EXPECT_GT(b.Position.y - b.RearWheel.GroundHeight, 0.0f);
        EXPECT_LT(b.Position.y - b.RearWheel.GroundHeight, 1.0f);
        const TrackMetre& metre = w.circuit().Metres[static_cast<std::size_t>(b.Progress) % w.circuit().Metres.size()];
        EXPECT_NEAR(b.SideOffset, -(metre.LowBound - 0.9f), 0.05f);
        EXPECT_EQ(b.RiderPosition.x, b.Position.x);
        EXPECT_TRUE(AllFinite(b));
    }
}

TEST(CrashRecoverTest, WithoutPlacingTheBikeIsSetUpWhereItStands)
{
    CrashWorld w;
    Bike& b = w.bike(0);
    w.PlaceOnTrack(b, 700.0f, 4.0f);
    torvane_test::FpTraps traps;
    StartFall(b, 12.0f);
    ASSERT_GT(RunToRest(b, 30.0f), 0);
    const Vec3 fallen = b.Position;
    b.Recover(false);
    EXPECT_EQ(b.Status & (kBikeDown | kBikeAtRest | kBikeBodyActive), 0u);
    EXPECT_LT(HorizontalDistance(b.Position, fallen), 0.01f);
    EXPECT_NE(b.RearWheel.GroundHeight, kNoGround);
    EXPECT_EQ(b.Roll, 0.0f);
    EXPECT_TRUE(AllFinite(b));
}

TEST(CrashRecoverTest, InThePitLaneTheBikeStaysOnTheLaneAndIsNotMovedAcross)
{
    CrashWorld w(2);
    ASSERT_TRUE(w.world.has_pit_lane);
    Track& lane = w.world.pit_lane;
    Bike& b = w.bike(0);
    Bike& other = w.bike(1);
    other.Path = &lane;
    other.Progress = 2.0f;
    b.Path = &lane;
    b.Status |= kBikeInPitLane;
    b.Progress = 1.0f;
    Vec2 point;
    lane.DistanceToPoint(1.0f, &point, nullptr);
    b.Position = Vec3(point.x, 0.0f, point.z);
    b.ResetDynamics(false);
    torvane_test::FpTraps traps;
    StartFall(b, 3.0f);
    b.Progress = 1.0f;
    b.Recover(true);
    // Behind the other bike is the lane's start, not its far end; on the
    // centre line.
    EXPECT_EQ(b.Path, &lane);
    EXPECT_LT(b.Progress, 0.5f);
    EXPECT_LT(std::fabs(b.SideOffset), 0.05f);
    EXPECT_NEAR(AngleBetween(b.Heading, b.PathHeading), 0.0f, 0.02f);
    EXPECT_TRUE(AllFinite(b));
}

// A field packed all round the lap never leaves a free place: the search
// ends, and the bike goes on the track at the last place it tried.
TEST(CrashRecoverTest, CrowdedFieldEndsTheSearchAtTheLastPlaceTried)
{
    CrashWorld w(1);
    Bike& b = w.bike(0);
    Track& circuit = w.circuit();
    const int count = static_cast<int>(circuit.Length / 3.5f) + 1;
    auto field = std::make_unique<Bike[]>(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        field[i].Path = &circuit;
        field[i].Progress = static_cast<float>(i) * circuit.Length / static_cast<float>(count);
    }
    CurrentRaceContext().Bikes = field.get();
    CurrentRaceContext().BikeCount = count;

    w.PlaceOnTrack(b, 1234.0f);
    torvane_test::FpTraps traps;
    StartFall(b, 5.0f);
    b.Recover(true);
    EXPECT_EQ(b.Status & (kBikeDown | kBikeBodyActive), 0u);
    EXPECT_TRUE(AllFinite(b));
    EXPECT_NE(b.RearWheel.GroundHeight, kNoGround);
    EXPECT_NEAR(AngleBetween(b.Heading, b.PathHeading), 0.0f, 0.02f);
    CurrentRaceContext().Bikes = w.world.bikes.get();
    CurrentRaceContext().BikeCount = w.world.bike_count;
}

} // namespace

// A bike lying at rest against the barrier, its rider walking back to it
// with the bike's side (the place the walk aims at) beyond the barrier: the
// rider reaches the barrier, then turns back and forth along it at the
// nearest point. That ends the walk beside the bike, whichever side the bike
// lies on, instead of going on for ever.
TEST(CrashRiderTest, WalkToABikeAgainstTheBarrierEndsBesideIt)
{
    for (const float roll : {0.5f, -0.5f}) {
        CrashWorld w;
        Bike& b = w.bike(0);
        // The edge lies 10 m right of the centre line here.
        w.PlaceOnTrack(b, 150.0f, 9.3f);
        StartFall(b, 0.0f, 0.0f, 1.0f, 0.0f);
        ASSERT_GT(RunToRest(b, 30.0f), 0);
        b.Roll = roll;
        const Vec3 forward(std::sin(b.Heading), 0.0f, std::cos(b.Heading));
        const Vec3 side(std::cos(b.Heading), 0.0f, -std::sin(b.Heading));
        const Vec3 target = b.Position.Plus(VecRotateY(Vec3(roll > 0.0f ? -1.5f : 1.5f, 0.0f, 0.5f), b.Heading));
        Vec3 beyond = target;
        beyond.y = GroundAt(w.circuit(), b.Position, b.Progress) - 2.0f;
        Vec3 n;
        const bool targetBeyondBarrier = w.circuit().Locate(&beyond, &n, b.Progress);

        b.RiderPosition = b.Position.Plus(side.Times(-4.0f)).Plus(forward.Times(-6.0f));
        b.RiderPosition.y = GroundAt(w.circuit(), b.RiderPosition, b.Progress);
        b.RiderProgress = b.Progress;
        b.CgVelocity = Vec3();
        b.SetState(29, 0.0f);
        torvane_test::FpTraps traps;
        int steps = 0;
        while (b.RiderState == 29 && steps < 2000) {
            CrashSubStep(b);
            ASSERT_TRUE(AllFinite(b));
            ++steps;
        }
        EXPECT_EQ(b.RiderState, roll >= 0.0f ? 25 : 21) << roll;
        // About 7 m at 3 m/s.
        EXPECT_LT(steps * kDt, 4.0f) << roll;
        if (targetBeyondBarrier) {
            EXPECT_TRUE(b.Status & kBikeBarrierTouched) << roll;
        }
        EXPECT_LT(HorizontalDistance(b.RiderPosition, b.Position), 2.0f) << roll;
    }
}
