#include <gtest/gtest.h>

#include <cmath>

#include "sim/bike.h"
#include "sim/track.h"
#include "sim/wrap_angle.h"
#include "tests/sim/bike_world.h"
#include "tests/sim/ride_helpers.h"
#include "tests/support/fp_traps.h"

using bike_test::BikeWorld;

namespace {

constexpr float kDt = 0.01f;
constexpr int kRace = 3;
constexpr float kKmh = 1.0f / 3.6f;

// Impact samples of a barrier contact.
constexpr int kHard = 4;
constexpr int kMedium = 7;
constexpr int kLight = 8;

bool IsImpact(int sample)
{
    return sample == kHard || sample == kMedium || sample == kLight;
}

// A race world with one human bike riding (state -1) on the demo circuit.
class WheelContactTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        world_.Load("Island", kRace);
        CurrentRaceContext().Hooks = &effects_;
        world_.MakeBikes(1, 1);
        world_.PlaceAll();
        bike().SetState(-1, 0.0f);
    }

    Bike& bike() { return world_.bike(0); }

    // Puts the bike on `path` at the cross-section of `distance`, `inside`
    // metres in from the right-hand edge, heading `toward` radians to the
    // right of the path (into the barrier), settled on the ground.
    void PlaceNearRightEdge(Track& path, float distance, float inside, float toward, float speed)
    {
        Bike& b = bike();
        b.Path = &path;
        b.Segment = 0;
        Vec2 centre;
        const float heading = path.DistanceToPoint(distance, &centre, nullptr);
        const int metre = static_cast<int>(distance);
        const TrackSection& s = path.Sections[static_cast<std::size_t>(path.Metres[metre].Section)];
        const Vec3 in = s.Inner1.Minus(s.Edge1);
        const float length = std::sqrt(in.x * in.x + in.z * in.z);
        b.Position = Vec3(s.Edge1.x + in.x / length * inside, 0.0f, s.Edge1.z + in.z / length * inside);
        b.Heading = heading + toward;
        b.ResetDynamics(true);
        b.SetState(-1, 0.0f);
        b.Speed = speed;
        b.Controls.Throttle = 0;
        b.Controls.Brake = 0;
        b.Controls.SteerInput = 0;
        effects_.Clear();
    }

    // Rides on with the controls as they are until an impact sound plays
    // (true) or the time runs out.
    bool RideUntilImpact(float seconds)
    {
        for (int i = 0; i < static_cast<int>(seconds / kDt); ++i) {
            Bike& b = bike();
            b.ControlStep(kDt);
            b.DynamicsStep(kDt);
            EXPECT_EQ(ride_test::FirstNonFinite(b), "");
            for (int sample : effects_.Samples())
                if (IsImpact(sample))
                    return true;
        }
        return false;
    }

    int ImpactSample() const
    {
        for (int sample : effects_.Samples())
            if (IsImpact(sample))
                return sample;
        return -1;
    }

    BikeWorld world_;
    ride_test::EffectsRecorder effects_;
};

TEST_F(WheelContactTest, PlaceWheelsPutsTheFrontAWheelbaseAheadAndFailsOffTheTrack)
{
    torvane_test::FpTraps traps;
    Bike& b = bike();
    b.UpdateBodyAxes();
    b.Pitch = 0.1f;
    b.Heading = 0.3f;
    b.FrontWheel.Travel = 0.05f;
    const Vec3 rear = b.RearWheel.ContactPoint;
    ASSERT_TRUE(b.PlaceWheels());
    const float wheelbase = (b.BaseWheelbase - std::sin(b.Setup->SteeringHeadAngle) * 0.05f) * std::cos(0.1f);
    EXPECT_FLOAT_EQ(b.Wheelbase, wheelbase);
    EXPECT_FLOAT_EQ(b.FrontWheel.ContactPoint.x, rear.x + std::sin(0.3f) * wheelbase);
    EXPECT_FLOAT_EQ(b.FrontWheel.ContactPoint.z, rear.z + std::cos(0.3f) * wheelbase);
    // The ground points follow the hubs.
    EXPECT_FLOAT_EQ(b.RearWheel.PrevContactPoint.y, rear.y - b.RearWheel.Radius * b.UpAxis.y);

    // The fork's compression shortens the wheelbase.
    b.UpdateWheelbase();
    EXPECT_FLOAT_EQ(b.Wheelbase, b.BaseWheelbase - std::sin(b.Setup->SteeringHeadAngle) * 0.05f);

    // Across the barrier the wheels leave the track: no placement, the
    // ground points stay.
    b.Pitch = 0.0f;
    const Vec3 kept = b.FrontWheel.PrevContactPoint;
    b.Heading = b.PathHeading + 1.5707964f;
    b.RearWheel.ContactPoint = b.RearWheel.ContactPoint.Plus(Vec3(std::sin(b.Heading), 0.0f, std::cos(b.Heading)).Times(30.0f));
    EXPECT_FALSE(b.PlaceWheels());
    EXPECT_TRUE((b.FrontWheel.Flags | b.RearWheel.Flags) & kWheelLeftTrack);
    EXPECT_EQ(b.FrontWheel.PrevContactPoint.x, kept.x);
}

TEST_F(WheelContactTest, RidingStraightInsideTheTrackTouchesNothing)
{
    torvane_test::FpTraps traps;
    PlaceNearRightEdge(world_.circuit, 100.0f, 5.0f, 0.0f, 30.0f);
    EXPECT_FALSE(RideUntilImpact(2.0f));
    EXPECT_EQ(bike().RiderState, -1);
    EXPECT_FALSE(bike().Status & (kBikeFallRequested | kBikeDown));
}

TEST_F(WheelContactTest, AGlancingHitAtFortyKmhStartsABumpStateAndLaysTheBikeAlongTheBarrier)
{
    torvane_test::FpTraps traps;
    for (float angle : {0.2f, 0.3f}) {
        PlaceNearRightEdge(world_.circuit, 100.0f, 1.5f, angle, 40.0f * kKmh);
        ASSERT_TRUE(RideUntilImpact(2.0f)) << angle;
        Bike& b = bike();
        // A bump: state 56 or 57 (by the way the contact turned the bike),
        // the light or medium impact sound, no fall.
        EXPECT_TRUE(b.RiderState == 56 || b.RiderState == 57) << b.RiderState;
        const int sample = ImpactSample();
        EXPECT_TRUE(sample == kMedium || sample == kLight) << sample;
        EXPECT_FALSE(b.Status & (kBikeFallRequested | kBikeDown));
        // Turned toward the barrier's direction, still facing the way it rode.
        EXPECT_LT(std::fabs(WrapAngle(b.Heading, b.PathHeading)), angle);
        EXPECT_GT(b.SideOffset, -10.0f);
        // Riding on: it stays inside the edges and upright.
        b.SetState(-1, 0.0f);
        for (int i = 0; i < 100; ++i) {
            b.ControlStep(kDt);
            b.DynamicsStep(kDt);
        }
        EXPECT_FALSE(b.Status & kBikeDown);
        EXPECT_GT(b.SideOffset, -10.01f);
    }
}

TEST_F(WheelContactTest, AHardHitAtSixtyKmhMakesTheRiderFall)
{
    torvane_test::FpTraps traps;
    PlaceNearRightEdge(world_.circuit, 100.0f, 1.5f, 1.2f, 60.0f * kKmh);
    ASSERT_TRUE(RideUntilImpact(1.0f));
    Bike& b = bike();
    // The closing speed reached 50 km/h: the fall request, taken up by the
    // dynamics step in the same sub-step.
    EXPECT_TRUE(b.Status & kBikeDown);
    EXPECT_TRUE(b.Status & kBikeBodyActive);
    EXPECT_FALSE(b.Status & kBikeFallRequested);
    EXPECT_TRUE(b.RiderState == 10 || b.RiderState == 11) << b.RiderState;
    const int sample = ImpactSample();
    EXPECT_TRUE(sample == kMedium || sample == kHard) << sample;

    // The crash runs from here on.
    for (int i = 0; i < 300; ++i) {
        b.ControlStep(kDt);
        b.DynamicsStep(kDt);
        ASSERT_EQ(ride_test::FirstNonFinite(b), "") << i;
    }
    EXPECT_TRUE(b.Status & kBikeDown);
}

TEST_F(WheelContactTest, ImpactSoundsGoByTheSpeed)
{
    torvane_test::FpTraps traps;
    struct Case {
        float kmh;
        float angle;
        int sample;
    } const cases[] = {{25.0f, 0.2f, kLight}, {40.0f, 0.2f, kMedium}, {100.0f, 0.1f, kMedium},
                       {130.0f, 0.08f, kHard}};
    for (const Case& k : cases) {
        PlaceNearRightEdge(world_.circuit, 60.0f, 1.0f, k.angle, k.kmh * kKmh);
        ASSERT_TRUE(RideUntilImpact(2.0f)) << k.kmh;
        // Sample 4 above 32 m/s, 7 above 8 m/s, else 8.
        const float v = bike().Speed;
        EXPECT_EQ(ImpactSample(), v > 32.0f ? kHard : (v > 8.0f ? kMedium : kLight)) << k.kmh << " at " << v;
        EXPECT_EQ(ImpactSample(), k.sample) << k.kmh;
    }
}

TEST_F(WheelContactTest, InThePitLaneNoBarrierHitMakesTheRiderFall)
{
    torvane_test::FpTraps traps;
    ASSERT_TRUE(world_.has_pit_lane);
    Track& lane = world_.pit_lane;
    // Closing on the barrier at more than 50 km/h.
    PlaceNearRightEdge(lane, lane.Length * 0.5f, 3.0f, 0.8f, 80.0f * kKmh);
    Bike& b = bike();
    ASSERT_GT(std::fabs(WrapAngle(b.Heading, b.PathHeading)), 0.7f);
    b.Status |= kBikeInPitLane;
    ASSERT_TRUE(RideUntilImpact(1.0f));
    EXPECT_FALSE(b.Status & (kBikeFallRequested | kBikeDown));
    EXPECT_TRUE(b.RiderState == 56 || b.RiderState == 57) << b.RiderState;
}

} // namespace
