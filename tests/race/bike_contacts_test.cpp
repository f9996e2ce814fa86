#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "race/bike_contacts.h"
#include "sim/replay_frame.h"
#include "sim/wrap_angle.h"
#include "tests/race/race_fixture.h"
#include "tests/support/fp_traps.h"

using namespace race_test;

namespace {

// ---- The swept side against a corner ----

struct SweepCase {
    const char* name;
    Vec2 p0, d0, p1, d1;
    bool crosses;
    double time;
    double fraction;
};

TEST(SweptSegmentIntersect, FindsWhenAndWhereASidePassesTheCorner)
{
    torvane_test::FpTraps traps;
    const SweepCase cases[] = {
        // A side 2 m long sliding down over the corner: its middle passes it
        // half way through the step.
        {"translating", {-1.0f, 1.0f}, {2.0f, 0.0f}, {-1.0f, -1.0f}, {2.0f, 0.0f}, true, 0.5, 0.5},
        {"translating, a quarter along", {-0.5f, 0.4f}, {2.0f, 0.0f}, {-0.5f, -1.6f}, {2.0f, 0.0f}, true, 0.2, 0.25},
        // Turning by less than 0.1 m still counts as a translation.
        {"nearly translating", {-1.0f, 1.0f}, {2.0f, 0.0f}, {-1.0f, -1.0f}, {2.0f, 0.05f}, true, 0.5, 0.5},
        {"translating beside the corner", {0.5f, 1.0f}, {2.0f, 0.0f}, {0.5f, -1.0f}, {2.0f, 0.0f}, false, 0, 0},
        // The ends of the side and of the step still count.
        {"translating, the side's end", {-2.0f, 1.0f}, {2.0f, 0.0f}, {-2.0f, -1.0f}, {2.0f, 0.0f}, true, 0.5, 1.0},
        {"translating, the side's start", {0.0f, 1.0f}, {2.0f, 0.0f}, {0.0f, -1.0f}, {2.0f, 0.0f}, true, 0.5, 0.0},
        {"translating, reaching the corner at the end", {-1.0f, 1.0f}, {2.0f, 0.0f}, {-1.0f, 0.0f}, {2.0f, 0.0f},
         true, 1.0, 0.5},
        {"translating, just past the side's end", {-2.0f, 1.0f}, {2.0f, 0.0f}, {-2.01f, -1.0f}, {2.0f, 0.0f}, false,
         0, 0},
        {"translating away from the corner", {-1.0f, 0.5f}, {2.0f, 0.0f}, {-1.0f, 2.0f}, {2.0f, 0.0f}, false, 0, 0},
        {"translating short of the corner", {-1.0f, 2.0f}, {2.0f, 0.0f}, {-1.0f, 0.5f}, {2.0f, 0.0f}, false, 0, 0},
        {"standing still over the corner", {-1.0f, 0.0f}, {2.0f, 0.0f}, {-1.0f, 0.0f}, {2.0f, 0.0f}, false, 0, 0},
        {"moving along its own line", {-3.0f, 0.0f}, {2.0f, 0.0f}, {-0.5f, 0.0f}, {2.0f, 0.0f}, false, 0, 0},
        // A side swinging about its start point: its middle sweeps the
        // corner half way through.
        {"rotating", {-1.0f, 0.0f}, {2.0f, 1.0f}, {-1.0f, 0.0f}, {2.0f, -1.0f}, true, 0.5, 0.5},
        // Swinging the other way round the same pivot, seen from its end.
        {"rotating from the end", {1.0f, -1.0f}, {-2.0f, 1.0f}, {1.0f, 1.0f}, {-2.0f, -1.0f}, true, 0.5, 0.5},
        // Turning and moving at once, two points of the side pass the
        // corner (x = 5/6 at t = 0.5, x = 0.5 at t = 0.75): the earlier.
        {"two passes", {-2.0f, -1.0f}, {1.0f, 2.0f}, {-0.5f, 1.0f}, {2.0f, -2.0f}, true, 0.5, 5.0 / 6.0},
        {"rotating short of the corner", {-1.0f, 0.0f}, {0.5f, 1.0f}, {-1.0f, 0.0f}, {0.5f, -1.0f}, false, 0, 0},
        {"rotating away from the corner", {-1.0f, 0.5f}, {2.0f, 1.0f}, {-1.0f, 0.5f}, {2.0f, 2.0f}, false, 0, 0},
        // Turned end for end: the side's vectors are parallel, the equation
        // has no x^2 term, and no crossing is reported.
        {"turned end for end", {-1.0f, 0.0f}, {2.0f, 0.0f}, {1.0f, 0.0f}, {-2.0f, 0.0f}, false, 0, 0},
        {"all zero", {0.0f, 0.0f}, {0.0f, 0.0f}, {0.0f, 0.0f}, {0.0f, 0.0f}, false, 0, 0},
    };
    for (const SweepCase& c : cases) {
        double time = -1.0;
        double fraction = -1.0;
        ASSERT_EQ(SweptSegmentIntersect(c.p0, c.d0, c.p1, c.d1, &time, &fraction), c.crosses) << c.name;
        if (c.crosses) {
            EXPECT_NEAR(time, c.time, 1e-6) << c.name;
            EXPECT_NEAR(fraction, c.fraction, 1e-6) << c.name;
        }
    }
}

// ---- Pairs of bikes on a demo circuit ----

constexpr float kStep = 0.02f;

class BikeContactTest : public RaceFixture {
protected:
    // A race of `riders` computer riders on Sugo, loaded and placed on the
    // grid; the contacts below pose the bikes themselves.
    void SetUpRace(int riders = 2)
    {
        Header("Sugo", 4, riders);
        Start();
        input.m_fFrameTime = kStep;
        track = &race->m_Circuit;
    }

    // The centre-line point `side` metres to the +side of the path at lap
    // distance d, and the path's heading there.
    Vec3 PathPoint(float d, float side, float* heading) const
    {
        Vec2 p;
        const float h = track->DistanceToPoint(d, &p, nullptr);
        if (heading)
            *heading = h;
        Vec3 point(p.x - side * std::cos(h), 0.0f, p.z + side * std::sin(h));
        const float ground = track->Query(&point, nullptr, d, nullptr);
        point.y = ground != kTrackNone ? ground : 0.0f;
        return point;
    }

    // A riding bike settled at lap distance d, `side` metres off the centre
    // line, turned by `turn` from the path, leaning by `lean`, at `speed`;
    // its previous pose is the same.
    void Pose(Bike& b, float d, float side, float turn = 0.0f, float lean = 0.0f, float speed = 20.0f)
    {
        float h = 0.0f;
        b.Status = 0;
        b.Path = track;
        b.Segment = 0;
        b.Position = PathPoint(d, side, &h);
        b.Heading = h + turn;
        b.ResetDynamics(true);
        b.SetState(-1, 0.0f);
        b.Roll = lean;
        b.Lean.Value = lean;
        b.PrevRoll = lean;
        b.Speed = speed;
        b.Ahead = b.Behind = &b;
    }

    // Where the bike was at the start of the step: lap distance d, `side`
    // metres off the centre line, turned by `turn` from the path.
    void Before(Bike& b, float d, float side, float turn = 0.0f)
    {
        float h = 0.0f;
        b.PrevPosition = PathPoint(d, side, &h);
        b.PrevHeading = h + turn;
        b.PrevSideOffset = side;
    }

    // A cuts across B's line at 0.8 rad from B's +side: in the step its
    // nose goes from clear of B to over B's front half.
    void CrossingPair(Bike& a, Bike& b, float leanA = 0.0f, float leanB = 0.0f)
    {
        Pose(b, 500.0f, -0.5f, 0.0f, leanB, 20.0f);
        Pose(a, 500.6f, 0.3f, 0.8f, leanA, 20.0f);
        Before(b, 499.6f, -0.5f);
        Before(a, 500.3f, 1.0f, 0.8f);
    }

    // Lateral distance between two bikes across the first one's heading.
    static float Across(const Bike& a, const Bike& b)
    {
        const float h = a.Heading;
        return std::fabs(-std::cos(h) * (a.Position.x - b.Position.x) + std::sin(h) * (a.Position.z - b.Position.z));
    }

    static float Apart(const Bike& a, const Bike& b)
    {
        const float dx = a.Position.x - b.Position.x;
        const float dz = a.Position.z - b.Position.z;
        return std::sqrt(dx * dx + dz * dz);
    }

    static bool Finite(const Vec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

    static void ExpectFiniteBody(const Bike& b, const char* what)
    {
        for (const Vec3& v : b.BodyVelocity)
            EXPECT_TRUE(Finite(v)) << what;
        for (const Vec3& p : b.BodyPoint)
            EXPECT_TRUE(Finite(p)) << what;
        EXPECT_TRUE(Finite(b.CgVelocity)) << what;
        EXPECT_TRUE(Finite(b.Position)) << what;
        EXPECT_TRUE(std::isfinite(b.Heading)) << what;
    }

    // A rider state >= 0 in which the rider lies apart from the bike.
    int LyingApartState() const
    {
        for (int s = 0; s < kRiderStateRecords; ++s)
            if (RiderApartInState(s))
                return s;
        return -1;
    }

    Track* track = nullptr;
};

// Two riders side by side, 1 m apart, riding straight on: no contact, and
// nothing about either bike changes.
TEST_F(BikeContactTest, RidersPassingCloseDoNotTouch)
{
    torvane_test::FpTraps traps;
    SetUpRace();
    Bike& a = bike(0);
    Bike& b = bike(1);
    Pose(a, 200.0f, 0.5f);
    Pose(b, 200.5f, -0.5f);
    Before(a, 199.6f, 0.5f);
    Before(b, 200.1f, -0.5f);
    const Vec3 pa = a.Position, pb = b.Position;
    for (float height : {0.0f, 0.9f}) {
        EXPECT_FALSE(BikeContact(a, b, height, height > 0.0f ? 0.2f : 0.03f));
        EXPECT_EQ(a.RiderState, -1);
        EXPECT_EQ(b.RiderState, -1);
        EXPECT_EQ(a.Position.x, pa.x);
        EXPECT_EQ(b.Position.z, pb.z);
        EXPECT_EQ(a.Speed, 20.0f);
    }
}

// The shoulder outline lies 0.9 sin(lean) to the side of the ground outline;
// the ground outline is the bike's footprint.
TEST_F(BikeContactTest, OutlineLeansWithTheBike)
{
    SetUpRace();
    const Bike& a = bike(0);
    const float len = BikeOutlineLength(a);
    EXPECT_NEAR(len, a.BaseWheelbase + a.FrontWheel.Radius + a.RearWheel.Radius - 0.2f, 1e-6f);

    const BikeOutline ground = MakeBikeOutline(a, 10.0f, 20.0f, 0.0f, 0.5f, 0.0f, 0.03f);
    // Heading 0 rides along +z; the +side is -x.
    EXPECT_NEAR(ground.Corner[0].x, 10.0f - 0.03f, 1e-5f);
    EXPECT_NEAR(ground.Corner[1].x, 10.0f + 0.03f, 1e-5f);
    EXPECT_NEAR(ground.Corner[0].z, 20.0f - a.RearWheel.Radius, 1e-5f);
    EXPECT_NEAR(ground.Corner[2].z, 20.0f - a.RearWheel.Radius + len, 1e-5f);
    EXPECT_NEAR(ground.Corner[3].x, 10.0f - 0.03f, 1e-5f);

    const BikeOutline up = MakeBikeOutline(a, 10.0f, 20.0f, 0.0f, 0.5f, 0.9f, 0.2f);
    const float shift = 0.9f * std::sin(0.5f);
    EXPECT_NEAR(up.Corner[0].x, 10.0f - shift - 0.2f, 1e-5f);
    EXPECT_NEAR(up.Corner[2].x, 10.0f - shift + 0.2f, 1e-5f);
    EXPECT_NEAR(up.Corner[2].z, ground.Corner[2].z, 1e-5f);
}

// Rubbing: side by side, one drifting into the other at a glancing angle.
// Both end with one heading, one speed and one lean, steering away from
// each other, at least 2 margins + 0.1 m apart; nobody falls.
TEST_F(BikeContactTest, RubbingSideBySide)
{
    torvane_test::FpTraps traps;
    struct Case {
        const char* name;
        float margin;
        float turnA;   // A's heading from the path (drifting toward B)
        float leanA, leanB;
        float speedA, speedB;
    };
    const Case cases[] = {
        {"ground outline", 0.03f, 0.1f, -0.2f, 0.1f, 22.0f, 20.0f},
        {"shoulders", 0.2f, 0.2f, 0.3f, 0.25f, 30.0f, 34.0f},
        {"parallel", 0.03f, 0.0f, 0.0f, 0.0f, 25.0f, 25.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUpRace();
        Bike& a = bike(0);
        Bike& b = bike(1);
        // A on the +side moves across onto B's line.
        Pose(a, 300.3f, -0.06f, c.turnA, c.leanA, c.speedA);
        Pose(b, 300.0f, -0.1f, 0.0f, c.leanB, c.speedB);
        Before(a, 299.9f, 0.8f, c.turnA);
        Before(b, 299.6f, -0.1f);
        b.Lean.Rate = 0.4f;

        EXPECT_FALSE(BikeContact(a, b, c.margin > 0.1f ? 0.9f : 0.0f, c.margin));
        EXPECT_EQ(a.Heading, b.Heading);
        EXPECT_EQ(a.Speed, b.Speed);
        EXPECT_NEAR(a.Speed, 0.5f * (c.speedA + c.speedB), 1e-4f);
        EXPECT_EQ(a.Roll, b.Roll);
        EXPECT_EQ(a.Lean.Value, a.Roll);
        EXPECT_GE(Across(a, b), 2.0f * c.margin + 0.1f - 1e-4f);
        // A, on the +side, rolls and steers further to it; B the other way.
        EXPECT_EQ(a.RiderState, 57);
        EXPECT_EQ(b.RiderState, 56);
        EXPECT_EQ(a.Rival, &b);
        EXPECT_EQ(b.Rival, &a);
        EXPECT_FLOAT_EQ(a.Lean.Rate, 0.2f + 1.0f);
        EXPECT_FLOAT_EQ(b.Lean.Rate, 0.2f - 1.0f);
        EXPECT_NEAR(WrapAngle(a.RearWheel.Heading, a.Heading), -0.03f, 1e-5f);
        EXPECT_NEAR(WrapAngle(a.FrontWheel.Orientation.Heading, a.Heading), -0.03f, 1e-5f);
        EXPECT_NEAR(WrapAngle(b.FrontWheel.Heading, b.Heading), 0.03f, 1e-5f);
        EXPECT_NEAR(WrapAngle(b.RearWheel.Orientation.Heading, b.Heading), 0.03f, 1e-5f);
        // The bikes move whole: the hubs go with the reference point.
        EXPECT_EQ(a.RearWheel.ContactPoint.x, a.Position.x);
        EXPECT_EQ(b.RearWheel.ContactPoint.z, b.Position.z);
        EXPECT_FALSE(a.Status & kBikeDown);
        EXPECT_FALSE(b.Status & kBikeDown);
    }
}

// Riders rubbing while both ride the wrong way round are pushed apart on
// the sides they came from, not through each other.
TEST_F(BikeContactTest, RubbingKeepsEachRiderOnItsSide)
{
    torvane_test::FpTraps traps;
    SetUpRace();
    Bike& a = bike(0);
    Bike& b = bike(1);
    const float back = 3.14159265f;
    // Riding toward smaller lap distances; A comes from the path's -side
    // onto B's line (their saved side offsets say A is the one further to
    // the -side of the path, which is the +side of their own heading).
    Pose(a, 299.7f, 0.06f, back - 0.1f);
    Pose(b, 300.0f, 0.1f, back);
    Before(a, 300.1f, -0.8f, back - 0.1f);
    Before(b, 300.4f, 0.1f, back);
    a.PrevSideOffset = -0.8f;
    b.PrevSideOffset = 0.1f;
    EXPECT_FALSE(BikeContact(a, b, 0.0f, 0.03f));
    float h = 0.0f;
    PathPoint(300.0f, 0.0f, &h);
    const float across = -std::cos(h) * (a.Position.x - b.Position.x) + std::sin(h) * (a.Position.z - b.Position.z);
    EXPECT_LT(across, -0.15f) << "A stays on the path's -side of B";
    EXPECT_EQ(a.RiderState, 57) << "the +side of the riders' own heading";
}

// Riders side by side either side of the line are side by side, not nose
// to tail.
TEST_F(BikeContactTest, RubbingAcrossTheLine)
{
    SetUpRace();
    Bike& a = bike(0);
    Bike& b = bike(1);
    const float length = track->Length;
    Pose(a, 0.3f, -0.06f, 0.1f);
    Pose(b, length - 0.2f, -0.1f);
    Before(a, length - 0.1f, 0.8f, 0.1f);
    Before(b, length - 0.6f, -0.1f);
    ASSERT_LT(a.Progress, 1.0f);
    ASSERT_GT(b.Progress, length - 1.0f);
    EXPECT_FALSE(BikeContact(a, b, 0.0f, 0.03f));
    EXPECT_EQ(a.RiderState, 57);
    EXPECT_EQ(b.RiderState, 56);
    EXPECT_GE(Across(a, b), 0.16f - 1e-4f);
}

// Nose to tail: A runs into B's back. The speeds are exchanged; riders who
// ride are put apart along the line between them, riders waiting or stopped
// roll away, riders in any other state keep their place and state.
TEST_F(BikeContactTest, NoseToTail)
{
    torvane_test::FpTraps traps;
    struct Case {
        const char* name;
        int stateB;
        int stateAfterB;
        bool bMoves;
    };
    const Case cases[] = {
        {"riding", -1, -1, true},
        {"looking behind", 4, 4, true},
        {"bumped", 60, 60, true},
        {"waiting", -2, 0, false},
        {"stopped", 1, 0, false},
        {"turning round", 23, 23, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUpRace();
        Bike& a = bike(0);
        Bike& b = bike(1);
        const float len = BikeOutlineLength(a);
        Pose(b, 400.0f, 0.2f, 0.0f, 0.0f, 15.0f);
        Pose(a, 400.0f - len + 0.1f, 0.21f, 0.0f, 0.0f, 22.0f);
        Before(b, 399.7f, 0.2f);
        Before(a, 400.0f - len - 0.5f, 0.21f);
        b.SetState(c.stateB, 0.0f);
        b.Speed = 15.0f;
        const Vec3 bBefore = b.Position;

        EXPECT_FALSE(BikeContact(a, b, 0.0f, 0.03f));
        EXPECT_EQ(a.Speed, 15.0f);
        EXPECT_EQ(b.Speed, 22.0f);
        EXPECT_EQ(a.RiderState, -1);
        EXPECT_EQ(b.RiderState, c.stateAfterB);
        if (c.bMoves) {
            // 0.55 len either side along the unit (v / (|v| + 0.001)) vector.
            EXPECT_NEAR(a.Position.Minus(b.Position).Length(), 1.1f * len, 2e-3f);
        } else {
            EXPECT_EQ(b.Position.x, bBefore.x);
            EXPECT_EQ(b.Position.z, bBefore.z);
        }
        EXPECT_FALSE(a.Status & kBikeDown);
        EXPECT_FALSE(b.Status & kBikeDown);
    }
}

// A faster rider closing in by more than 40 km/h is no bump: both fall.
TEST_F(BikeContactTest, ClosingFastIsAHardTouch)
{
    SetUpRace();
    Bike& a = bike(0);
    Bike& b = bike(1);
    const float len = BikeOutlineLength(a);
    Pose(b, 400.0f, 0.2f, 0.0f, 0.0f, 10.9f);
    Pose(a, 400.0f - len + 0.1f, 0.21f, 0.0f, 0.0f, 22.0f);
    Before(b, 399.8f, 0.2f);
    Before(a, 400.0f - len - 0.3f, 0.21f);
    EXPECT_FALSE(BikeContact(a, b, 0.0f, 0.03f)) << "11.1 m/s or less: a bump";
    SetUpRace();
    Bike& c = bike(0);
    Bike& d = bike(1);
    Pose(d, 400.0f, 0.2f, 0.0f, 0.0f, 10.0f);
    Pose(c, 400.0f - len + 0.1f, 0.21f, 0.0f, 0.0f, 21.2f);
    Before(d, 399.8f, 0.2f);
    Before(c, 400.0f - len - 0.3f, 0.21f);
    EXPECT_TRUE(BikeContact(c, d, 0.0f, 0.03f));
    EXPECT_TRUE(c.Status & kBikeDown);
    EXPECT_TRUE(d.Status & kBikeDown);
}

// Hard touch: A cuts across B's front. Both riders fall to the same side
// (11 when their mean lean is above 0, else 10), their fallen bodies take
// the contact, and all velocities stay finite.
TEST_F(BikeContactTest, HardTouchThrowsBothToTheSameSide)
{
    torvane_test::FpTraps traps;
    struct Case {
        const char* name;
        float leanA, leanB;
        int state;
    };
    const Case cases[] = {
        {"leaning right", 0.3f, -0.1f, 11},
        {"leaning left", -0.3f, 0.1f, 10},
        {"upright", 0.0f, 0.0f, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUpRace();
        Bike& a = bike(0);
        Bike& b = bike(1);
        // A crosses B's path at 0.8 rad, moving from B's +side onto its line.
        CrossingPair(a, b, c.leanA, c.leanB);
        // B's heading was counted a turn further round at the step's start:
        // going back to the contact must not turn it.
        const float headingB = b.Heading;
        b.PrevHeading += 6.2831855f;
        const std::uint32_t pairs = g_uBikeContactPairs;

        EXPECT_TRUE(BikeContact(a, b, 0.0f, 0.03f));
        EXPECT_EQ(g_uBikeContactPairs, pairs) << "the pass counts pairs, not BikeContact";
        for (const Bike* x : {&a, &b}) {
            EXPECT_EQ(x->RiderState, c.state);
            EXPECT_TRUE(x->Status & kBikeDown);
            EXPECT_TRUE(x->Status & kBikeBodyActive);
            ExpectFiniteBody(*x, c.name);
            // The rider is thrown with the bike.
            EXPECT_EQ(x->CgVelocity.x, 0.5f * (x->BodyVelocity[0].x + x->BodyVelocity[1].x));
            EXPECT_EQ(x->BodyVelocity[3].z, x->BodyVelocity[0].z);
            EXPECT_EQ(x->BodyVelocity[2].z, x->BodyVelocity[1].z);
        }
        // Both went back to the moment of contact, between the two poses.
        EXPECT_LT(Apart(a, b), 2.0f);
        EXPECT_NEAR(WrapAngle(b.Heading, headingB), 0.0f, 1e-4f);
    }
}

// The cut of the vertical velocities leaves the horizontal ones alone: the
// same touch with the bikes bouncing gives the same horizontal exchange and
// a tenth of the vertical motion.
TEST_F(BikeContactTest, HardTouchCutsOnlyVerticalVelocity)
{
    torvane_test::FpTraps traps;
    std::vector<Vec3> results[2];
    for (int run = 0; run < 2; ++run) {
        SetUpRace();
        Bike& a = bike(0);
        Bike& b = bike(1);
        CrossingPair(a, b);
        const float vy = run == 0 ? 0.0f : 4.0f;
        for (Bike* x : {&a, &b}) {
            x->FrontWheel.Velocity = Vec3(std::sin(x->Heading) * 20.0f, vy, std::cos(x->Heading) * 20.0f);
            x->RearWheel.Velocity = x->FrontWheel.Velocity;
        }
        ASSERT_TRUE(BikeContact(a, b, 0.0f, 0.03f));
        for (const Bike* x : {&a, &b})
            for (const Vec3& v : x->BodyVelocity)
                results[run].push_back(v);
    }
    ASSERT_EQ(results[0].size(), results[1].size());
    float horizontal = 0.0f;
    for (std::size_t i = 0; i < results[0].size(); ++i) {
        const Vec3& still = results[0][i];
        const Vec3& bouncing = results[1][i];
        EXPECT_NEAR(bouncing.x, still.x, 0.05f) << i;
        EXPECT_NEAR(bouncing.z, still.z, 0.05f) << i;
        EXPECT_LE(std::fabs(bouncing.y - still.y), 4.0f * 0.1f * 2.5f) << i;
        horizontal += std::sqrt(still.x * still.x + still.z * still.z);
    }
    EXPECT_GT(horizontal, 8.0f * 10.0f) << "the horizontal speeds are not cut";
}

// The exchange divides by the speed of X's trailing end relative to Y and
// by a sum that falls to 0 when an end is hit with nothing moving along the
// bikes. Bikes touching with every velocity zero, a nose against the other
// bike's tail or front end: the exchange stays finite.
TEST_F(BikeContactTest, HardTouchWithoutVelocitiesStaysFinite)
{
    torvane_test::FpTraps traps;
    struct Case {
        const char* name;
        float turnA;
        float noseAlong, noseSide; // where A's nose ends, from B's reference point
    };
    const Case cases[] = {
        {"nose into the tail", 0.6f, -0.25f, 0.1f},
        {"nose into the tail from the other side", -0.6f, -0.25f, -0.1f},
        {"head on into the front", 2.64f, 1.45f, 0.05f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUpRace();
        Bike& a = bike(0);
        Bike& b = bike(1);
        const float reach = BikeOutlineLength(a) - a.RearWheel.Radius;
        // Along the path and across it (+side), A's heading.
        const float fa = std::cos(c.turnA);
        const float fs = -std::sin(c.turnA);
        const float d = 600.0f;
        ASSERT_EQ(track->CurveRadiusAt(d - 3.0f), 0.0f);
        ASSERT_EQ(track->CurveRadiusAt(d + 3.0f), 0.0f);
        Pose(b, d, 0.0f, 0.0f, 0.0f, 0.0f);
        Before(b, d, 0.0f);
        const float alongA = d + c.noseAlong - reach * fa;
        const float sideA = c.noseSide - reach * fs;
        Pose(a, alongA, sideA, c.turnA, 0.0f, 0.0f);
        Before(a, alongA - 0.25f * fa, sideA - 0.25f * fs, c.turnA);
        for (Bike* x : {&a, &b}) {
            x->FrontWheel.Velocity = Vec3();
            x->RearWheel.Velocity = Vec3();
            x->CgVelocity = Vec3();
            x->Lean.Rate = 0.0f;
        }
        EXPECT_TRUE(BikeContact(a, b, 0.9f, 0.2f));
        for (const Bike* x : {&a, &b})
            ExpectFiniteBody(*x, c.name);
    }
}

// Mirror images give mirror results: A cutting into B's front half from
// B's +side, and the same from its -side, leave both bikes with the same
// velocities along B and opposite ones across it (the end of the hitting
// bike and the place along the hit side are taken alike on both sides).
TEST_F(BikeContactTest, HardTouchIsTheSameFromEitherSide)
{
    torvane_test::FpTraps traps;
    struct Result {
        float along[2][4];
        float across[2][4];
    };
    Result results[2] = {};
    const float d = 600.0f;
    for (int side = 0; side < 2; ++side) {
        SetUpRace();
        Bike& a = bike(0);
        Bike& b = bike(1);
        ASSERT_EQ(track->CurveRadiusAt(d - 3.0f), 0.0f);
        ASSERT_EQ(track->CurveRadiusAt(d + 3.0f), 0.0f);
        const float k = side == 0 ? 1.0f : -1.0f;
        Pose(b, d, 0.0f, 0.0f, 0.0f, 20.0f);
        Pose(a, d + 0.6f, k * 0.8f, k * 0.8f, 0.0f, 20.0f);
        Before(b, d - 0.4f, 0.0f);
        Before(a, d + 0.3f, k * 1.5f, k * 0.8f);
        for (Bike* x : {&a, &b}) {
            x->FrontWheel.Velocity = Vec3(std::sin(x->Heading) * 20.0f, 0.0f, std::cos(x->Heading) * 20.0f);
            x->RearWheel.Velocity = x->FrontWheel.Velocity;
            x->Lean.Rate = 0.0f;
        }
        const float h = b.Heading;
        ASSERT_TRUE(BikeContact(a, b, 0.0f, 0.03f));
        for (int i = 0; i < 2; ++i) {
            const Bike& x = i == 0 ? a : b;
            for (int p = 0; p < 4; ++p) {
                const Vec3& v = x.BodyVelocity[p];
                results[side].along[i][p] = std::sin(h) * v.x + std::cos(h) * v.z;
                results[side].across[i][p] = -std::cos(h) * v.x + std::sin(h) * v.z;
            }
        }
    }
    for (int i = 0; i < 2; ++i) {
        for (int p = 0; p < 4; ++p) {
            EXPECT_NEAR(results[0].along[i][p], results[1].along[i][p], 0.05f) << i << " " << p;
            EXPECT_NEAR(results[0].across[i][p], -results[1].across[i][p], 0.05f) << i << " " << p;
        }
    }
}

// A rider already lying apart from the bike keeps the state it lies in when
// a rider runs into its bike; the rider who hit it falls.
TEST_F(BikeContactTest, HardTouchLeavesALyingRiderInItsState)
{
    SetUpRace();
    const int lying = LyingApartState();
    ASSERT_GE(lying, 0);
    Bike& a = bike(0);
    Bike& b = bike(1);
    CrossingPair(a, b, 0.3f, 0.0f);
    Before(b, 500.0f, -0.5f);
    b.Speed = 0.0f;
    b.LocateContacts(kStep);
    b.SetState(lying, 0.0f);
    ASSERT_TRUE(b.Status & kBikeDown);
    EXPECT_TRUE(BikeContact(a, b, 0.0f, 0.03f));
    EXPECT_EQ(b.RiderState, lying);
    EXPECT_EQ(a.RiderState, 11);
    EXPECT_TRUE(a.Status & kBikeDown);
}

// Two riders both down count as aligned: whatever their headings, their
// touch is never a hard one.
TEST_F(BikeContactTest, RidersBothDownAreNeverThrownAgain)
{
    torvane_test::FpTraps traps;
    SetUpRace();
    Bike& a = bike(0);
    Bike& b = bike(1);
    CrossingPair(a, b);
    for (Bike* x : {&a, &b}) {
        x->Status |= kBikeDown;
        x->SetState(21, 0.0f);  // the fallen bike is being picked up
    }
    EXPECT_FALSE(BikeContact(a, b, 0.0f, 0.03f));
    EXPECT_EQ(a.RiderState, 21);
    EXPECT_EQ(b.RiderState, 21);
    ExpectFiniteBody(a, "a");
    ExpectFiniteBody(b, "b");
}

// ---- The pass over the race ----

using ResolveContactsTest = BikeContactTest;

// Which pairs the pass tests: riders in the pit lane or out of the session
// take no part, as the one ahead or the one behind; a fallen bike's body
// does not meet a fallen rider; riders on different levels do not meet; a
// rider alone is never tested.
TEST_F(ResolveContactsTest, TakesPartOnlyOnTheCircuit)
{
    torvane_test::FpTraps traps;
    struct Case {
        const char* name;
        std::uint32_t statusA, statusB;
        float heightB;  // B raised by this much
        bool tested;
    };
    const Case cases[] = {
        {"both riding", 0, 0, 0.0f, true},
        {"ahead in the pit lane", 0, kBikeInPitLane, 0.0f, false},
        {"behind in the pit lane", kBikeInPitLane, 0, 0.0f, false},
        {"ahead out of the session", 0, kBikeParked, 0.0f, false},
        {"behind out of the session", kBikeParked, 0, 0.0f, false},
        {"finished, still on the circuit", kBikeFinished, kBikeFinished, 0.0f, true},
        {"fallen body against a fallen rider", kBikeBodyActive, kBikeDown, 0.0f, false},
        {"fallen rider against a fallen body", kBikeDown, kBikeBodyActive, 0.0f, false},
        {"on a bridge above", 0, 0, 1.5f, false},
        {"below a bridge", 0, 0, -1.5f, false},
        {"on a slope", 0, 0, 0.8f, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUpRace();
        Bike& a = bike(0);
        Bike& b = bike(1);
        CrossingPair(a, b);
        a.Status |= c.statusA;
        b.Status |= c.statusB;
        for (Vec3* p : {&b.Position, &b.FrontWheel.ContactPoint, &b.RearWheel.ContactPoint})
            p->y += c.heightB;
        race->UpdateStandings();
        const Vec3 pa = a.Position;
        const std::uint32_t pairs = g_uBikeContactPairs;
        ResolveBikeContacts(*race);
        EXPECT_EQ(g_uBikeContactPairs - pairs, c.tested ? 1u : 0u);
        if (!c.tested) {
            EXPECT_EQ(a.Position.x, pa.x);
            EXPECT_EQ(a.RiderState, -1);
        }
        if (c.tested && !(c.statusA & kBikeDown)) {
            EXPECT_TRUE(a.Status & kBikeDown) << "the crossing pair falls";
        }
    }
}

// The walk ahead stops at the first rider further along the lap than the
// two bikes' lengths, whatever the riders' places across the track.
TEST_F(ResolveContactsTest, RidersFurtherApartThanTheirLengthsAreNotTested)
{
    SetUpRace(3);
    Bike& a = bike(0);
    Bike& b = bike(1);
    Bike& c = bike(2);
    CrossingPair(a, b);
    const float len = BikeOutlineLength(a);
    // C stands far ahead on the road; B's outline crosses A's, but B's lap
    // distance says it is as far again beyond C.
    Pose(c, 500.0f + 2.0f * len + 1.0f, 3.0f, 0.0f, 0.0f, 0.0f);
    race->UpdateStandings();
    b.Progress = 500.0f + 4.0f * len + 4.0f;
    race->UpdateStandings();
    ASSERT_EQ(a.Ahead, &c);
    ASSERT_EQ(c.Ahead, &b);
    const std::uint32_t pairs = g_uBikeContactPairs;
    ResolveBikeContacts(*race);
    EXPECT_FALSE(a.Status & kBikeDown);
    EXPECT_FALSE(b.Status & kBikeDown);
    // B's walk reaches A round the lap only from the far side: nothing.
    EXPECT_EQ(g_uBikeContactPairs, pairs);
}

// A single rider has itself ahead and is never tested.
TEST_F(ResolveContactsTest, ASingleRiderIsNeverTested)
{
    torvane_test::FpTraps traps;
    SetUpRace(1);
    Bike& a = bike(0);
    Pose(a, 500.0f, 0.0f);
    Before(a, 499.0f, 0.5f, 0.7f);
    race->UpdateStandings();
    ASSERT_EQ(a.Ahead, &a);
    const std::uint32_t pairs = g_uBikeContactPairs;
    ResolveBikeContacts(*race);
    EXPECT_EQ(g_uBikeContactPairs, pairs);
    EXPECT_EQ(a.RiderState, -1);
}

// A race through its start and first corners with the contact pass: the
// pairs close to each other are tested every frame, the race stays
// deterministic, and no bike gets a non-finite position or velocity.
TEST_F(ResolveContactsTest, ARaceRunsWithContacts)
{
    torvane_test::FpTraps traps;
    std::uint64_t finals[2] = {};
    for (int run = 0; run < 2; ++run) {
        Header("Sugo", 4, 12);
        Start();
        PressKey(0x01);
        Frame();
        ASSERT_TRUE(FramesUntil([&] { return (flags() & kRaceRacing) != 0; }, 600));
        const std::uint32_t pairs = g_uBikeContactPairs;
        for (int i = 0; i < 1500; ++i)
            Frame(17);
        EXPECT_GT(g_uBikeContactPairs - pairs, 100u) << "a pack of 12 has riders close together";
        std::uint64_t h = 1469598103934665603ull;
        for (int i = 0; i < 12; ++i) {
            const Bike& x = bike(i);
            ExpectFiniteBody(x, "race");
            for (float f : {x.Position.x, x.Position.z, x.Speed, x.Progress}) {
                std::uint32_t w = 0;
                std::memcpy(&w, &f, sizeof w);
                h = (h ^ w) * 1099511628211ull;
            }
        }
        finals[run] = h;
        race.reset();
    }
    EXPECT_EQ(finals[0], finals[1]);
}

} // namespace
