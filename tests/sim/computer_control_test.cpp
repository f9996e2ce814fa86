#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "sim/bike.h"
#include "sim/computer_control.h"
#include "tests/sim/bike_world.h"
#include "tests/support/fp_traps.h"

using bike_test::BikeWorld;

namespace {

constexpr int kRace = 4;
constexpr float kDt = 0.01f;
constexpr float kFallenCap = 8.333334f;
constexpr float kPitLaneSpeed = 22.222221f;

// The (x, z) pair of a point.
struct XZ {
    float v[2];
};

// ---- The geometry toolkit ----

TEST(AiGeometryTest, TurnRadiusOfPointsAroundTheBike)
{
    // Heading 0 points along +z; the left of it is -x.
    const float p[2] = {0.0f, 0.0f};
    struct Case {
        const char* what;
        XZ q;
        float heading;
        float radius;
    } const cases[] = {
        {"straight ahead", {{0.0f, 30.0f}}, 0.0f, 0.0f},
        {"straight behind", {{0.0f, -30.0f}}, 0.0f, 0.0f},
        {"the point itself", {{0.0f, 0.0f}}, 0.0f, 0.0f},
        // A quarter circle of radius 20 to the left ends at (-20, 20).
        {"quarter circle left", {{-20.0f, 20.0f}}, 0.0f, 20.0f},
        {"quarter circle right", {{20.0f, 20.0f}}, 0.0f, -20.0f},
        // Half a circle: the point straight across, 2 r away.
        {"half circle left", {{-10.0f, 0.0f}}, 0.0f, 5.0f},
        // Heading pi/2 points along +x; its left is +z.
        {"heading east, left", {{20.0f, 20.0f}}, 1.5707964f, 20.0f},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(TurnRadius(p, c.heading, c.q.v), c.radius, 1e-3f) << c.what;

    // The circle's centre lies `radius` to the left of the start, and the
    // target lies on the circle.
    const float q[2] = {-7.0f, 13.0f};
    for (float heading : {0.0f, 0.7f, -2.5f}) {
        const float r = TurnRadius(p, heading, q);
        Vec3 centre;
        const Vec3 start(p[0], 0.0f, p[1]);
        OffsetPoint(&start, heading, r, &centre);
        EXPECT_NEAR(std::hypot(q[0] - centre.x, q[1] - centre.z), std::fabs(r), 1e-3f) << heading;
        EXPECT_NEAR(std::hypot(centre.x, centre.z), std::fabs(r), 1e-3f) << heading;
    }

    // A point so close to the line that the circle does not fit in a float.
    const float nearly[2] = {1e-39f, 1.0f};
    EXPECT_EQ(TurnRadius(p, 0.0f, nearly), 0.0f);
}

TEST(AiGeometryTest, OffsetPointGoesLeftForPositiveDistances)
{
    const Vec3 p(1.0f, 2.0f, 3.0f);
    Vec3 out;
    OffsetPoint(&p, 0.0f, 4.0f, &out);
    EXPECT_NEAR(out.x, -3.0f, 1e-6f);
    EXPECT_EQ(out.y, 2.0f);
    EXPECT_NEAR(out.z, 3.0f, 1e-6f);
    OffsetPoint(&p, 0.0f, -4.0f, &out);
    EXPECT_NEAR(out.x, 5.0f, 1e-6f);
}

TEST(AiGeometryTest, RayCircleDistanceTakesTheNearerCrossing)
{
    const Vec3 centre(0.0f, 0.0f, 10.0f);
    const float dir[2] = {0.0f, 1.0f};
    struct Case {
        const char* what;
        XZ p;
        float radius;
        float distance;
    } const cases[] = {
        {"from outside", {{0.0f, 0.0f}}, 4.0f, 6.0f},
        {"from inside, the one ahead is nearer", {{0.0f, 8.0f}}, 4.0f, -2.0f},
        {"missing, positive radius", {{10.0f, 0.0f}}, 4.0f, kAiNone},
        {"missing, negative radius", {{10.0f, 0.0f}}, -4.0f, -kAiNone},
        // From the centre both crossings are 4 away: the one behind wins.
        {"tie", {{0.0f, 10.0f}}, 4.0f, -4.0f},
    };
    for (const Case& c : cases)
        EXPECT_FLOAT_EQ(RayCircleDistance(c.p.v, dir, &centre, c.radius), c.distance) << c.what;

    float t1 = 123.0f;
    float t2 = 456.0f;
    const float p[2] = {0.0f, 0.0f};
    ASSERT_TRUE(RayCircleIntersect(p, dir, &centre, 4.0f, &t1, &t2));
    EXPECT_FLOAT_EQ(t1, 14.0f);
    EXPECT_FLOAT_EQ(t2, 6.0f);
    t1 = 123.0f;
    t2 = 456.0f;
    const float away[2] = {10.0f, 0.0f};
    EXPECT_FALSE(RayCircleIntersect(away, dir, &centre, 4.0f, &t1, &t2));
    EXPECT_EQ(t1, 123.0f);
    EXPECT_EQ(t2, 456.0f);
}

TEST(AiGeometryTest, ToLocalFrameMovesAndTurnsIntoTheFrame)
{
    // A point 5 m ahead of a frame at (1, 1) heading east lies on its +z.
    float p[2] = {6.0f, 1.0f};
    const float q[2] = {1.0f, 1.0f};
    ToLocalFrame(p, q, 1.5707964f);
    EXPECT_NEAR(p[0], 0.0f, 1e-5f);
    EXPECT_NEAR(p[1], 5.0f, 1e-5f);

    float r[2] = {1.0f, 4.0f};
    const float east[2] = {1.0f, 0.0f};
    ToLocalFrameDir(r, q, east);
    // (0, 3) from the frame: to its left.
    EXPECT_NEAR(r[0], -3.0f, 1e-5f);
    EXPECT_NEAR(r[1], 0.0f, 1e-5f);
}

TEST(AiGeometryTest, LeanAccelAndItsInverseAgree)
{
    Bike b;
    b.MassHeight = 0.6f;
    b.Speed = 30.0f;
    b.Lean.Value = 0.5f;
    b.TurnRadius = 150.0f;
    const float a = b.LeanAccel(1);
    EXPECT_NEAR(b.RadiusForLeanAccel(a), 150.0f, 0.01f);
    // Without the turn only gravity acts.
    EXPECT_NEAR(b.LeanAccel(0), 3.0f * 9.80665f * std::sin(0.5f) / 0.6f, 1e-4f);
    // Nothing divides by zero.
    torvane_test::FpTraps traps;
    b.TurnRadius = 0.0f;
    EXPECT_EQ(b.LeanAccel(1), b.LeanAccel(0));
    b.Lean.Value = 0.0f;
    EXPECT_EQ(b.RadiusForLeanAccel(0.0f), 0.0f);
    b.MassHeight = 0.0f;
    EXPECT_EQ(b.LeanAccel(1), 0.0f);
}

// ---- The control on the demo circuit ----

// A race on "Island" with computer riders placed by hand along the track.
// The control step does not move the bikes, so a test can hold a scene and
// run the control on it.
class ComputerControlTest : public ::testing::Test {
protected:
    void SetUp() override { Open("Island", kRace, 4); }

    void Open(const char* track, int session, int bikes)
    {
        world_ = std::make_unique<BikeWorld>(std::vector<std::string>{track});
        world_->Load(track, session);
        world_->MakeBikes(bikes);
        world_->PlaceAll();
        world_->circuit.BuildDistanceTables();
        for (int i = 0; i < bikes; ++i) {
            Bike& b = bike(i);
            b.SetState(-1, 0.0f);
            b.Ahead = nullptr;
            b.Behind = nullptr;
            Park(b);
        }
    }

    Bike& bike(int i) { return world_->bike(i); }
    Track& circuit() { return world_->circuit; }

    // Out of the way: far ahead on the back of the circuit, out of the ring.
    void Park(Bike& b) { Put(b, 2000.0f + 10.0f * static_cast<float>(b.Index), 0.0f, 0.0f); }

    // Puts the bike on the circuit at `distance`, `side` metres left of the
    // centre line, riding straight along it at `speed`.
    void Put(Bike& b, float distance, float side, float speed)
    {
        Vec2 point;
        Vec2 dir;
        const float heading = circuit().DistanceToPoint(distance, &point, &dir);
        const Vec2 left(-dir.z, dir.x);
        b.Position = Vec3(point.x + left.x * side, 0.0f, point.z + left.z * side);
        int segment = 0;
        while (segment + 1 < circuit().SegmentCount() &&
               circuit().SegmentStart[static_cast<std::size_t>(segment + 1)] <= distance)
            ++segment;
        b.Segment = static_cast<std::uint32_t>(segment);
        b.UpdateProgress();
        b.Heading = heading;
        b.RearWheel.Heading = heading;
        b.Speed = speed;
        b.TargetSpeed = speed;
        b.TurnRadius = 0.0f;
        b.SideSpeed = 0.0f;
        b.Lean = Integrator(0.0f, 0.0f, 10.0f);
        b.RearWheel.Terrain = 0;
        b.FrontWheel.Travel = 0.01f;
        b.RaceTime = 10.0f;
        b.Status &= ~(kBikeDown | kBikeFinished | kBikeToPits | kBikeInPitLane);
    }

    // Links the bikes given into the standings ring in track order (the
    // furthest along first), as the race's standings do.
    static void Ring(std::vector<Bike*> bikes)
    {
        std::stable_sort(bikes.begin(), bikes.end(),
                         [](const Bike* a, const Bike* b) { return a->Progress > b->Progress; });
        const std::size_t n = bikes.size();
        for (std::size_t k = 0; k < n; ++k) {
            bikes[k]->Ahead = bikes[(k + n - 1) % n];
            bikes[k]->Behind = bikes[(k + 1) % n];
        }
    }

    // Runs the control on a held scene: the bike keeps its pose and speed.
    void Hold(Bike& b, float seconds)
    {
        const float speed = b.Speed;
        const int steps = static_cast<int>(seconds / kDt + 0.5f);
        for (int i = 0; i < steps; ++i) {
            b.Speed = speed;
            b.ComputerControl(kDt);
        }
    }

    float RefSpeedAhead(const Bike& b) const
    {
        const int j = static_cast<int>(b.Progress + b.Speed * kDt) % world_->circuit.MetreCount();
        return world_->circuit.Metres[static_cast<std::size_t>(j)].RefSpeed;
    }

    std::unique_ptr<BikeWorld> world_;
};

TEST_F(ComputerControlTest, AtAStandstillOnlyTheLeanRunsOnAndTheThrottleFollowsItsRate)
{
    struct Case {
        float rate;
        int throttle;
    } const cases[] = {{0.0f, 127}, {2.0f, 101}, {-3.0f, 88}, {5.0f, 63}, {10.0f, 0}, {50.0f, 0}, {-400.0f, 0}};
    for (const Case& c : cases) {
        Bike& b = bike(0);
        Put(b, 100.0f, 1.0f, 0.0f);
        b.Lean = Integrator(0.1f, c.rate, 10.0f);
        b.TrackLine = Integrator(1.0f, 0.0f, 2.0f);
        b.LookAhead = Integrator(50.0f, 0.0f, 20.0f);
        b.Controls.Brake = 99;
        b.ComputerControl(kDt);
        EXPECT_FLOAT_EQ(b.Lean.Value, 0.1f + c.rate * kDt) << c.rate;
        EXPECT_EQ(b.Roll, b.Lean.Value);
        EXPECT_EQ(b.Controls.Throttle, c.throttle) << c.rate;
        EXPECT_EQ(b.Controls.Brake, 0);
        EXPECT_EQ(b.TargetSpeed, 1000.0f);
        // Nothing is planned.
        EXPECT_EQ(b.TrackLine.Value, 1.0f);
        EXPECT_EQ(b.LookAhead.Value, 50.0f);
    }
}

TEST_F(ComputerControlTest, ALoneBikeTakesTheReferenceSpeedAndHoldsTheWeaveLine)
{
    Bike& b = bike(0);
    Put(b, 100.0f, 0.0f, 30.0f);
    const float ref = RefSpeedAhead(b);
    ASSERT_GT(ref, 40.0f);
    // The weave at its crest: sin(WeavePhase + 0.1 RaceTime) = 1.
    b.WeavePhase = 1.5707964f - 0.1f * b.RaceTime;
    const float L = circuit().LookaheadLow[150];
    const float R = circuit().LookaheadHigh[150];
    ASSERT_LT(L, -4.0f);
    ASSERT_GT(R, 4.0f);

    struct Case {
        const char* what;
        float speed;
        bool finished;
        float off;
    } const cases[] = {
        {"at the reference speed", ref, false, 0.0f},
        {"a little slower", ref / 1.2f, false, 0.75f},
        {"much slower", ref / 2.0f, false, 1.5f},
        {"finished: wide, within half the road", ref, true, 0.5f * R},
    };
    for (const Case& c : cases) {
        for (float side : {0.0f, 2.0f, -1.0f}) {
            Put(b, 100.0f, side, c.speed);
            b.WeavePhase = 1.5707964f - 0.1f * b.RaceTime;
            if (c.finished)
                b.Status |= kBikeFinished;
            b.TrackLine = Integrator(side, 0.0f, 2.0f);
            Hold(b, 6.0f);
            // The line blends the bike's own offset with the preferred line.
            EXPECT_NEAR(b.TrackLine.Value, 0.25f * b.SideOffset + 0.75f * c.off, 0.02f) << c.what << " " << side;
            if (!c.finished) {
                EXPECT_FLOAT_EQ(b.TargetSpeed, ref) << c.what;
            }
        }
    }
}

TEST_F(ComputerControlTest, TheLeanTurnsTheBikeTowardItsLine)
{
    Bike& b = bike(0);
    // Left of the line: lean right (negative), and the other way round.
    Put(b, 100.0f, 3.0f, 40.0f);
    b.TrackLine = Integrator(0.0f, 0.0f, 2.0f);
    b.ComputerControl(kDt);
    EXPECT_LT(b.RideValue, 0.0f);
    EXPECT_LT(b.Lean.Value, 0.0f);
    EXPECT_EQ(b.Roll, b.Lean.Value);
    Put(b, 100.0f, -3.0f, 40.0f);
    b.TrackLine = Integrator(0.0f, 0.0f, 2.0f);
    b.ComputerControl(kDt);
    EXPECT_GT(b.RideValue, 0.0f);

    // In the first right-hander the bike leans right to follow the road.
    Put(b, 310.0f, 0.0f, 20.0f);
    b.TrackLine = Integrator(0.0f, 0.0f, 2.0f);
    b.LookAhead.Value = 20.0f;
    b.ComputerControl(kDt);
    EXPECT_LT(b.RideValue, -0.3f);
}

TEST_F(ComputerControlTest, BoxedInTheBikeRidesBesideTheOneAheadAtTheBlockersSpeed)
{
    // Three riders abreast 20 m ahead fill the road; the grid table gives
    // them wide margins.
    const float sides[] = {-4.0f, 0.0f, 4.0f};
    for (int i = 1; i <= 3; ++i) {
        world_->grid[i].PassMargin = 1.5f;
        Put(bike(i), 120.0f + 0.01f * static_cast<float>(i), sides[i - 1], 30.0f);
        bike(i).TargetSpeed = 35.0f;
    }
    bike(2).Speed = 28.0f;
    Bike& b = bike(0);
    Put(b, 100.0f, 0.0f, 45.0f);
    b.LookAhead.Value = 20.0f;
    Ring({&b, &bike(1), &bike(2), &bike(3)});
    // The one directly ahead in the ring is the nearest: the rider at -4 m.
    ASSERT_EQ(b.Ahead, &bike(1));

    b.TrackLine = Integrator(0.0f, 0.0f, 2.0f);
    Hold(b, 4.0f);
    // 1.5 m to our side of the bike ahead, no faster than the slowest blocker.
    EXPECT_NEAR(b.TrackLine.Value, -2.5f, 0.02f);
    EXPECT_FLOAT_EQ(b.TargetSpeed, 28.0f);

    // With the rider at +4 m directly ahead (not to our right), the line
    // goes 1.5 m to its right, toward us.
    for (int i = 1; i <= 3; ++i) {
        Put(bike(i), 120.04f - 0.01f * static_cast<float>(i), sides[i - 1], 30.0f);
        bike(i).TargetSpeed = 35.0f;
    }
    bike(2).Speed = 28.0f;
    Ring({&b, &bike(1), &bike(2), &bike(3)});
    ASSERT_EQ(b.Ahead, &bike(3));
    Hold(b, 4.0f);
    EXPECT_NEAR(b.TrackLine.Value, 2.5f, 0.02f);
}

TEST_F(ComputerControlTest, BoxedInInATightCurveTheBikeAimsAtTheCentreLine)
{
    // The first corner turns right with a 50 m radius from 300 m. The three
    // riders ahead follow it on concentric circles.
    const float sides[] = {-4.0f, 0.0f, 4.0f};
    for (int i = 1; i <= 3; ++i) {
        world_->grid[i].PassMargin = 1.5f;
        Put(bike(i), 330.0f + 0.01f * static_cast<float>(i), sides[i - 1], 15.0f);
        bike(i).TurnRadius = -(50.0f + sides[i - 1]);
    }
    Bike& b = bike(0);
    Put(b, 310.0f, 0.0f, 25.0f);
    ASSERT_EQ(circuit().Segments[b.Segment].Radius, -50.0f);
    b.LookAhead = Integrator(25.0f, 0.0f, 0.0f); // held at 25 m
    Ring({&b, &bike(1), &bike(2), &bike(3)});
    b.TrackLine = Integrator(1.0f, 0.0f, 2.0f);
    Hold(b, 4.0f);
    EXPECT_NEAR(b.TrackLine.Value, 0.0f, 0.02f);
    EXPECT_FLOAT_EQ(b.TargetSpeed, 15.0f);
}

TEST_F(ComputerControlTest, AFallenRiderBlockingTheRoadCapsTheSpeedAtThirtyKmh)
{
    Bike& fallen = bike(1);
    world_->grid[1].PassMargin = 5.0f;
    Put(fallen, 130.0f, 0.0f, 0.0f);
    fallen.Status |= kBikeDown;
    Bike& b = bike(0);
    Put(b, 100.0f, 0.0f, 40.0f);
    Ring({&b, &fallen});
    b.ComputerControl(kDt);
    EXPECT_FLOAT_EQ(b.TargetSpeed, kFallenCap);

    // Far enough ahead not to be reached within 3 s: no effect.
    Put(fallen, 100.0f + 5.0f + 40.0f * 3.2f, 0.0f, 0.0f);
    fallen.Status |= kBikeDown;
    b.ComputerControl(kDt);
    EXPECT_GT(b.TargetSpeed, 40.0f);
}

TEST_F(ComputerControlTest, AlongsideInATightCornerTheBikeFollowsAtTheOthersSpeed)
{
    // 3 m behind a rider on the same line in the 50 m right-hander.
    Bike& other = bike(1);
    Put(other, 333.0f, 0.5f, 14.0f);
    other.TargetSpeed = 14.0f;
    Bike& b = bike(0);
    Put(b, 330.0f, 0.0f, 16.0f);
    Ring({&b, &other});
    b.ComputerControl(kDt);
    EXPECT_FLOAT_EQ(b.TargetSpeed, 13.0f);

    // On the straight a rider alongside whose line closes on ours within
    // 2 s: its speed less 5.
    Put(other, 103.0f, 1.0f, 30.0f);
    Put(b, 100.0f, 0.0f, 32.0f);
    b.SideSpeed = 1.0f;
    b.ComputerControl(kDt);
    EXPECT_FLOAT_EQ(b.TargetSpeed, 25.0f);
    // Lines that part: no limit from it.
    b.SideSpeed = -1.0f;
    b.ComputerControl(kDt);
    EXPECT_GT(b.TargetSpeed, 40.0f);
}

TEST_F(ComputerControlTest, OffTheRoadTheLeanAndSpeedAreLimited)
{
    struct Case {
        std::int8_t terrain;
        bool limited;
    } const cases[] = {{0, false}, {3, false}, {1, true}, {2, true}};
    for (const Case& c : cases) {
        Bike& b = bike(0);
        // Facing across the road: the line asks for a hard turn.
        Put(b, 100.0f, 0.0f, 30.0f);
        b.Heading += 1.2f;
        b.RearWheel.Terrain = c.terrain;
        b.ComputerControl(kDt);
        if (c.limited) {
            EXPECT_LE(std::fabs(b.RideValue), 0.7f) << int(c.terrain);
            EXPECT_EQ(b.TargetSpeed, 8.333334f) << int(c.terrain);
        } else {
            EXPECT_GT(std::fabs(b.RideValue), 0.7f) << int(c.terrain);
            EXPECT_GT(b.TargetSpeed, 8.333334f) << int(c.terrain);
        }
    }
}

TEST_F(ComputerControlTest, AfterTheFinishTheSpeedBlendsTowardEightyKmh)
{
    Bike& b = bike(0);
    const float length = circuit().Length;
    // Beyond a third of the lap the blend is complete: 80 km/h +- 2 m/s.
    for (float d : {length / 3.0f + 10.0f, 0.5f * length, 2800.0f}) {
        Put(b, d, 0.0f, 30.0f);
        b.Status |= kBikeFinished;
        const float before = std::min(RefSpeedAhead(b), 1000.0f);
        b.ComputerControl(kDt);
        const double expected = 22.222222810910086 + 2.0 * std::sin(b.Index + 0.01 * b.Progress);
        EXPECT_NEAR(b.TargetSpeed, std::min<double>(before, expected), 0.05) << d;
        EXPECT_LE(b.TargetSpeed, 24.23f) << d;
    }
    // Just after the line it has hardly started.
    Put(b, 20.0f, 0.0f, 60.0f);
    b.Status |= kBikeFinished;
    b.ComputerControl(kDt);
    EXPECT_GT(b.TargetSpeed, 50.0f);

    // Outside races there is no cool-down.
    CurrentRaceConditions().SessionType = 0;
    Put(b, 0.5f * length, 0.0f, 60.0f);
    b.Status |= kBikeFinished;
    const float ref = RefSpeedAhead(b);
    b.ComputerControl(kDt);
    EXPECT_GE(b.TargetSpeed, std::min(ref, 1000.0f));
}

TEST_F(ComputerControlTest, AFinishedBikeWithTheFrontWheelUpBrakesInCorners)
{
    struct Case {
        const char* what;
        float distance;
        bool finished;
        float frontTravel;
        bool guard;
    } const cases[] = {
        {"front up in the 50 m corner", 330.0f, true, -0.01f, true},
        {"front down in the corner", 330.0f, true, 0.01f, false},
        {"front up on the straight", 100.0f, true, -0.01f, false},
        {"racing, front up in the corner", 330.0f, false, -0.01f, false},
    };
    for (const Case& c : cases) {
        Bike& b = bike(0);
        Put(b, c.distance, 0.0f, 20.0f);
        if (c.finished)
            b.Status |= kBikeFinished;
        b.FrontWheel.Travel = c.frontTravel;
        b.ComputerControl(kDt);
        EXPECT_EQ(b.Controls.Throttle == 0 && b.Controls.Brake == 127, c.guard) << c.what;
        EXPECT_EQ(b.Controls.Brake, c.guard ? 127 : 0) << c.what;
    }
}

TEST_F(ComputerControlTest, HeadingForThePitsFollowsThePitLaneAtEightyKmh)
{
    ASSERT_TRUE(world_->has_pit_lane);
    CurrentRaceConditions().SessionType = 0;
    Bike& b = bike(0);
    // The lane branches off the circuit 320 m before the line, to the left.
    CurrentRaceContext().PitEntryDistance = circuit().Length - 320.0f;
    Put(b, circuit().Length - 330.0f, 0.0f, 30.0f);
    b.Status |= kBikeToPits;
    b.LookAhead.Value = 30.0f;
    b.TrackLine = Integrator(2.0f, 0.0f, 2.0f);
    b.ComputerControl(kDt);
    EXPECT_EQ(b.TargetSpeed, kPitLaneSpeed);
    // The lane swings out to the left: lean left.
    EXPECT_GT(b.RideValue, 0.0f);
    Hold(b, 5.0f);
    EXPECT_NEAR(b.TrackLine.Value, 0.0f, 1e-3f);
}

TEST(ComputerControlNoPitLaneTest, HeadingForAMissingPitLaneStaysOnTheCircuit)
{
    BikeWorld world({"Sentul"});
    world.Load("Sentul", 0);
    ASSERT_FALSE(world.has_pit_lane);
    world.MakeBikes(1);
    world.PlaceAll();
    world.circuit.BuildDistanceTables();
    Bike& b = world.bike(0);
    b.Status = kBikeToPits;
    b.Path = &world.circuit;
    Vec2 point;
    Vec2 dir;
    b.Heading = world.circuit.DistanceToPoint(100.0f, &point, &dir);
    b.Position = Vec3(point.x, 0.0f, point.z);
    b.Segment = 0;
    b.UpdateProgress();
    b.RearWheel.Heading = b.Heading;
    b.Lean = Integrator(0.0f, 0.0f, 10.0f);
    b.RaceTime = 10.0f;
    b.Speed = 30.0f;
    b.TrackLine = Integrator(0.0f, 0.0f, 2.0f);
    b.ComputerControl(kDt);
    const int j = static_cast<int>(b.Progress + b.Speed * kDt);
    EXPECT_EQ(b.TargetSpeed, world.circuit.Metres[static_cast<std::size_t>(j)].RefSpeed);
    EXPECT_EQ(b.Path, &world.circuit);
    // It rides on along the straight.
    EXPECT_LT(std::fabs(b.RideValue), 0.01f);
}

TEST_F(ComputerControlTest, TheWalkRoundTheRingIsBounded)
{
    torvane_test::FpTraps traps;
    // Forty riders packed within the look-ahead (more than a list holds),
    // linked in a ring; then a ring that never comes back to the bike.
    constexpr int kCount = 40;
    std::unique_ptr<Bike[]> crowd(new Bike[kCount]);
    Bike& b = bike(0);
    Put(b, 100.0f, 0.0f, 50.0f);
    std::vector<Bike*> ring{&b};
    for (int i = 0; i < kCount; ++i) {
        Bike& o = crowd[static_cast<std::size_t>(i)];
        o.Index = 10 + i;
        o.Path = &circuit();
        Put(o, 106.0f + static_cast<float>(i), -5.0f + 0.25f * static_cast<float>(i), 20.0f);
        ring.push_back(&o);
    }
    Ring(ring);
    b.ComputerControl(kDt);
    EXPECT_TRUE(std::isfinite(b.TargetSpeed));
    EXPECT_TRUE(std::isfinite(b.TrackLine.Value));

    // b -> c0 -> c1 -> c2 -> c1 -> ...: the ring never returns to b.
    b.Ahead = &crowd[0];
    crowd[0].Ahead = &crowd[1];
    crowd[1].Ahead = &crowd[2];
    crowd[2].Ahead = &crowd[1];
    b.ComputerControl(kDt);
    EXPECT_TRUE(std::isfinite(b.TargetSpeed));
}

TEST_F(ComputerControlTest, ABikeOnTheOtherPathIsNotInTheWay)
{
    ASSERT_TRUE(world_->has_pit_lane);
    Bike& other = bike(1);
    world_->grid[1].PassMargin = 5.0f;
    Put(other, 130.0f, 0.0f, 0.0f);
    other.Status |= kBikeDown;
    Bike& b = bike(0);
    Put(b, 100.0f, 0.0f, 40.0f);
    Ring({&b, &other});
    // The same distance along the pit lane is somewhere else.
    other.Path = &world_->pit_lane;
    b.ComputerControl(kDt);
    EXPECT_GT(b.TargetSpeed, 40.0f);
}

TEST_F(ComputerControlTest, DuringTheFirstSevenSecondsTheBikeLooksFurtherAhead)
{
    // A blocker 60 m ahead is only seen with the start's extra look-ahead.
    Bike& other = bike(1);
    world_->grid[1].PassMargin = 5.0f;
    Put(other, 165.0f, 0.0f, 0.0f);
    other.Status |= kBikeDown;
    Bike& b = bike(0);
    struct Case {
        float raceTime;
        std::int32_t startCounter;
        bool capped;
    } const cases[] = {{10.0f, 0, false}, {2.0f, 0, true}, {2.0f, 10, false}, {6.9f, 0, false}};
    for (const Case& c : cases) {
        Put(b, 100.0f, 0.0f, 25.0f);
        b.LookAhead.Value = 50.0f;
        b.RaceTime = c.raceTime;
        CurrentRaceContext().StartCounter = c.startCounter;
        Ring({&b, &other});
        b.ComputerControl(kDt);
        EXPECT_EQ(b.TargetSpeed == kFallenCap, c.capped) << c.raceTime << " " << c.startCounter;
    }
}

} // namespace
