#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "platform/file.h"
#include "sim/bike.h"
#include "tests/sim/bike_world.h"
#include "tests/support/fp_traps.h"

using bike_test::AngleBetween;
using bike_test::BikeWorld;
using bike_test::FakeInstance;

namespace {

constexpr int kRace = 4;
constexpr int kPractice = 0;

TEST(BikeRecordTest, ConstructedZeroedWithIntegratorsThatCannotMove)
{
    Bike bike;
    EXPECT_EQ(bike.Status, 0u);
    EXPECT_EQ(bike.Lean.Limit, 0.0f);
    EXPECT_EQ(bike.TrackLine.Limit, 0.0f);
    EXPECT_EQ(bike.LookAhead.Limit, 0.0f);
    EXPECT_EQ(bike.TelemetryBuffer, nullptr);
    EXPECT_EQ(bike.FrontWheel.Owner, nullptr);
    EXPECT_EQ(bike.Controls.Throttle, 0);
}

TEST(BikeInitTest, BindsRidersAndRegistersOnlyHumanControls)
{
    BikeWorld world;
    world.Load("Island", kPractice);
    world.MakeBikes(3, 1);

    Bike& human = world.bike(0);
    EXPECT_EQ(human.Flags, kBikeHuman | kBikeTelemetry); // practice sessions record telemetry
    ASSERT_NE(human.TelemetryBuffer, nullptr);
    EXPECT_EQ(human.PlayerId, 100u);
    EXPECT_EQ(human.RacePosition, 1);
    EXPECT_EQ(world.grid[0].BikeVariant, 0.0f);
    EXPECT_EQ(world.grid[0].RiderVariant, 1.0f);
    ASSERT_EQ(world.input.TargetCount(), 1);
    EXPECT_EQ(world.input.Targets()[0].Object, &human.Controls);
    EXPECT_EQ(human.FrontWheel.Owner, &human);
    EXPECT_EQ(human.Wheelbase, human.BaseWheelbase);

    Bike& computer = world.bike(2);
    EXPECT_EQ(computer.Flags, 0u);
    EXPECT_EQ(computer.PlayerId, 0u);
    EXPECT_EQ(computer.TelemetryBuffer, nullptr);
    EXPECT_EQ(computer.Index, 2);
    EXPECT_EQ(computer.RacePosition, 3);
    EXPECT_EQ(computer.Setup, &world.models[2].DefaultSetup);

    // A bike whose controls are registered already cannot be bound again.
    EXPECT_FALSE(human.Init(&world.players[0], 0, &world.grid[0]));
    EXPECT_NE(Bike::InitMessage().find("registered"), std::string::npos);
    EXPECT_EQ(world.input.TargetCount(), 1);
}

TEST(BikeInitTest, RefusesBadGridEntriesWithAMessage)
{
    BikeWorld world;
    world.Load("Island", kRace);
    struct Case {
        int slot;
        int model;
        int index;
    } const cases[] = {{32, 0, 0}, {-1, 0, 0}, {0, 5, 0}, {0, -1, 0}, {0, 0, 32}, {0, 0, -1}};
    for (const Case& c : cases) {
        GridEntry entry;
        entry.PitSlot = c.slot;
        entry.Model = c.model;
        Bike bike;
        EXPECT_FALSE(bike.Init(nullptr, c.index, &entry)) << c.slot << " " << c.model << " " << c.index;
        EXPECT_FALSE(Bike::InitMessage().empty());
    }
    Bike bike;
    EXPECT_FALSE(bike.Init(nullptr, 0, nullptr));

    // A model whose block was never loaded has no parameters to run on.
    world.models[3].Loaded = false;
    GridEntry entry;
    entry.Model = 3;
    EXPECT_FALSE(bike.Init(nullptr, 0, &entry));
    EXPECT_NE(Bike::InitMessage().find("model 3"), std::string::npos);
}

TEST(BikeInitTest, FailsWithoutAnInputManagerForAHuman)
{
    BikeWorld world;
    world.Load("Island", kRace);
    SetTheInputManager(nullptr);
    PlayerRecord player;
    GridEntry entry;
    Bike bike;
    EXPECT_FALSE(bike.Init(&player, 0, &entry));
    EXPECT_FALSE(Bike::InitMessage().empty());
    SetTheInputManager(&world.input);
}

TEST(BikeInitTest, UnsetOrUnusablePlayerSetUpTakesTheModelDefaultButKeepsAids)
{
    BikeWorld world;
    world.Load("Island", kRace);
    world.players.assign(2, PlayerRecord());
    world.players[0].Setup.PlayerFlags = 0x42;
    world.players[0].Setup.FrontLimiter = 0.85f;
    world.players[0].Setup.RearLimiter = 0.825f;
    world.players[0].Setup.SteeringHeadAngle = 0.0f; // never set
    world.players[1].Setup = world.models[1].DefaultSetup;
    world.players[1].Setup.PlayerFlags = 0x400;
    world.players[1].Setup.SprocketTeeth = 0; // would divide by zero
    world.players[1].Setup.FrontLimiter = 0.7f;

    world.bikes = std::make_unique<Bike[]>(2);
    for (int i = 0; i < 2; ++i) {
        world.grid[i].PitSlot = i;
        world.grid[i].Model = i;
        world.players[i].NetworkId = 7u + static_cast<unsigned>(i);
        ASSERT_TRUE(world.bikes[i].Init(&world.players[i], i, &world.grid[i])) << Bike::InitMessage();
    }

    const BikeSetup& first = world.players[0].Setup;
    EXPECT_EQ(first.PlayerFlags, 0x42u);
    EXPECT_EQ(first.FrontLimiter, 0.85f);
    EXPECT_EQ(first.RearLimiter, 0.825f);
    EXPECT_EQ(first.SteeringHeadAngle, world.models[0].DefaultSetup.SteeringHeadAngle);
    EXPECT_EQ(first.CrownTeeth, world.models[0].DefaultSetup.CrownTeeth);
    EXPECT_EQ(world.bike(0).Setup, &world.players[0].Setup);

    const BikeSetup& second = world.players[1].Setup;
    EXPECT_EQ(second.SprocketTeeth, world.models[1].DefaultSetup.SprocketTeeth);
    EXPECT_EQ(second.PlayerFlags, 0x400u);
    EXPECT_EQ(second.FrontLimiter, 0.7f);
    for (int g = 0; g < world.bike(1).GearCount; ++g)
        EXPECT_GT(world.bike(1).OverallRatio[g], 0.0f);
}

TEST(BikePlacementTest, RaceBikesStandOneWheelbaseBehindTheirSlotFacingAlongTheTrack)
{
    BikeWorld world;
    world.Load("Island", kRace);
    world.MakeBikes(12, 1);
    world.PlaceAll();

    for (int i = 0; i < world.bike_count; ++i) {
        const Bike& b = world.bike(i);
        SCOPED_TRACE(i);
        EXPECT_EQ(b.Status & kBikeParked, 0u);
        EXPECT_EQ(b.Path, &world.circuit);
        EXPECT_EQ(b.Laps, -1);
        EXPECT_EQ(b.BestLap, kNoLapTime);
        EXPECT_EQ(b.RaceTime, 0.0f);

        // Facing along the centre line at its place.
        EXPECT_LT(std::fabs(AngleBetween(b.Heading, b.PathHeading)), 0.02f);
        // One wheelbase behind the slot, along that heading.
        const Vec2 slot = world.circuit.Slots[i];
        const float dx = slot.x - b.Position.x;
        const float dz = slot.z - b.Position.z;
        EXPECT_NEAR(std::sqrt(dx * dx + dz * dz), b.Wheelbase, 1e-3f);
        EXPECT_NEAR(std::atan2(dx, dz), b.Heading, 1e-3f);

        // Both wheels stand on the ground, at rest, upright.
        EXPECT_NE(b.RearWheel.GroundHeight, kNoGround);
        EXPECT_NE(b.FrontWheel.GroundHeight, kNoGround);
        EXPECT_EQ(b.Speed, 0.0f);
        EXPECT_EQ(b.Roll, 0.0f);
        EXPECT_EQ(b.Lean.Value, 0.0f);
        EXPECT_EQ(b.RiderState, -2); // waiting for the start
        EXPECT_NE(b.Status & kBikeNoSlideFix, 0u);
        EXPECT_EQ(b.PrevPosition.x, b.Position.x);
        EXPECT_EQ(b.AimHeading, b.Heading);
        EXPECT_EQ(b.RiderPosition.z, b.Position.z);
    }
    // Grid order: every bike further back than the one before it in its column.
    for (int i = 2; i < world.bike_count; ++i)
        EXPECT_LT(world.bike(i).Progress, world.bike(i - 2).Progress);
}

TEST(BikePlacementTest, PracticeRidersStartInTheirPitBoxesFacingTheLane)
{
    BikeWorld world;
    world.Load("Island", kPractice);
    ASSERT_TRUE(world.has_pit_lane);
    world.MakeBikes(4, 1);
    world.PlaceAll();

    for (int i = 0; i < world.bike_count; ++i) {
        Bike& b = world.bike(i);
        SCOPED_TRACE(i);
        // The rider starts out of the session, in the pits.
        EXPECT_TRUE(b.IsOut());
        EXPECT_EQ(b.Path, &world.pit_lane);
        EXPECT_EQ(b.Status & kBikePitPlaced, kBikePitPlaced);

        b.Restart();
        EXPECT_FALSE(b.IsOut());
        EXPECT_EQ(b.Laps, 0);
        EXPECT_EQ(b.Path, &world.pit_lane);
        EXPECT_EQ(b.Status & kBikePitPlaced, kBikePitPlaced);
        const Vec2 box = world.pit_lane.Slots[world.grid[i].PitSlot];
        EXPECT_NEAR(b.Position.x, box.x, 1e-3f);
        EXPECT_NEAR(b.Position.z, box.z, 1e-3f);
        Vec2 centre;
        world.pit_lane.DistanceToPoint(b.Progress, &centre, nullptr);
        EXPECT_NEAR(AngleBetween(b.Heading, std::atan2(centre.x - box.x, centre.z - box.z)), 0.0f, 1e-3f);
        EXPECT_NE(b.RearWheel.GroundHeight, kNoGround);
        EXPECT_NE(b.FrontWheel.GroundHeight, kNoGround);
        EXPECT_EQ(b.RiderState, -1);
    }
}

TEST(BikePlacementTest, PracticeWithoutAPitLaneStartsOnTheGrid)
{
    BikeWorld world({"Sentul"});
    world.Load("Sentul", kPractice);
    ASSERT_FALSE(world.has_pit_lane);
    world.MakeBikes(2);
    world.PlaceAll();
    EXPECT_EQ(world.bike(0).Path, &world.circuit);
    EXPECT_NE(world.bike(0).RearWheel.GroundHeight, kNoGround);
}

TEST(BikePlacementTest, ASettledBikeStaysStill)
{
    BikeWorld world({"Island", "Monza"});
    for (const char* track : {"Island", "Monza"}) {
        SCOPED_TRACE(track);
        world.Load(track, kRace);
        world.MakeBikes(8);
        torvane_test::FpTraps traps;
        world.PlaceAll();
        for (int i = 0; i < world.bike_count; ++i) {
            Bike& b = world.bike(i);
            const Vec3 settled = b.Position;
            const float heading = b.Heading;
            // Settling again finds the same resting place.
            b.ResetDynamics(true);
            EXPECT_NEAR(b.Position.x, settled.x, 1e-4f);
            EXPECT_NEAR(b.Position.y, settled.y, 1e-4f);
            EXPECT_NEAR(b.Position.z, settled.z, 1e-4f);
            // Without input the control steps move nothing.
            b.Flags = kBikeHuman; // the rider's own controls, all zero
            for (int step = 0; step < 200; ++step)
                b.ControlStep(0.01f);
            EXPECT_EQ(b.Position.x, settled.x);
            EXPECT_EQ(b.Position.z, settled.z);
            EXPECT_EQ(b.Heading, heading);
            EXPECT_EQ(b.Roll, 0.0f);
            EXPECT_EQ(b.Lean.Value, 0.0f);
        }
    }
}

TEST(BikePlacementTest, ABikeOffTheTrackSettlesOnTheCentreLine)
{
    BikeWorld world;
    world.Load("Island", kRace);
    world.MakeBikes(1);
    torvane_test::FpTraps traps;
    world.PlaceAll();
    Bike& b = world.bike(0);

    // Far outside the track: no wheel finds ground, so the bike goes onto
    // the centre line at its distance, at the ground's height there.
    b.Position = Vec3(b.Position.x + 500.0f, 0.0f, b.Position.z + 500.0f);
    b.Heading = 1.0f;
    b.ResetDynamics(true);
    Vec2 centre;
    world.circuit.DistanceToPoint(b.Progress, &centre, nullptr);
    EXPECT_NEAR(b.Position.x, centre.x, 0.05f);
    EXPECT_NEAR(b.Position.z, centre.z, 0.05f);
    EXPECT_TRUE(std::isfinite(b.Position.y));
    EXPECT_LT(std::fabs(AngleBetween(b.Heading, b.PathHeading)), 0.02f);
    EXPECT_NE(b.RearWheel.GroundHeight, kNoGround);

    // A bike across the track edge is turned back along the track.
    const float across = b.PathHeading + 1.5f;
    b.Position = Vec3(b.Position.x + 9.5f * std::cos(b.PathHeading), b.Position.y,
                      b.Position.z - 9.5f * std::sin(b.PathHeading));
    b.Heading = across;
    b.ResetDynamics(true);
    EXPECT_TRUE(std::isfinite(b.Position.x) && std::isfinite(b.Position.y) && std::isfinite(b.Position.z));
    EXPECT_LT(std::fabs(AngleBetween(b.Heading, b.PathHeading)), 0.5f);
    EXPECT_NE(b.RearWheel.GroundHeight, kNoGround);
    EXPECT_NE(b.FrontWheel.GroundHeight, kNoGround);
}

TEST(BikePlacementTest, SettleSetsTheLeanLimitAndTheComputerLines)
{
    BikeWorld world;
    world.Load("Island", kRace);
    world.MakeBikes(2, 1);
    world.PlaceAll();

    Bike& human = world.bike(0);
    EXPECT_NEAR(human.Lean.Limit, 8.0f + 100.0f * (1.45f - human.Wheelbase), 1e-4f);
    EXPECT_EQ(world.bike(1).Lean.Limit, 10.0f);
    EXPECT_EQ(human.TrackLine.Value, human.SideOffset);
    EXPECT_EQ(human.TrackLine.Limit, 2.0f);
    EXPECT_EQ(human.LookAhead.Value, 50.0f);
    EXPECT_EQ(human.Rpm, 1000.0f);
    EXPECT_EQ(human.WheelSpeed, 1000.0f);
    const float weave = 0.25f * std::sin(0.0f) + 0.2f * human.SideOffset;
    EXPECT_NEAR(human.WeavePhase, std::asin(weave), 1e-6f);

    // A long wheelbase never takes the lean's acceleration to 0 or below.
    human.Wheelbase = 1.6f;
    human.ResetDynamics(true);
    EXPECT_GT(human.Lean.Limit, 0.0f);

    CurrentRaceConditions().SessionType = kSessionArcade;
    human.ResetDynamics(false);
    EXPECT_EQ(human.Lean.Limit, 12.0f);
    EXPECT_EQ(human.Heading, human.PathHeading);
}

TEST(BikePlacementTest, DrivingAidsAndLimitersFollowTheRider)
{
    BikeWorld world;
    world.Load("Island", kRace);
    world.MakeBikes(3, 2);

    // Unknown bits of a player's word are dropped.
    world.players[0].Setup.PlayerFlags = 0xFFFFFFFFu;
    world.players[1].Setup.PlayerFlags = 0x42;
    world.players[1].Setup.FrontLimiter = 0.85f;
    world.players[1].Setup.RearLimiter = 0.825f;
    world.PlaceAll();

    const Bike& aided = world.bike(0);
    EXPECT_EQ(aided.Flags, kPlayerFlagAids | kBikeHuman);
    EXPECT_EQ(aided.Flags & (kBikeNoControl | kBikeTelemetry), 0u);
    EXPECT_NE(aided.FrontWheel.Flags & kWheelAlwaysGrips, 0u);
    EXPECT_NE(aided.RearWheel.Flags & kWheelAlwaysGrips, 0u);
    EXPECT_EQ(aided.FrontWheel.SlideMargin, 0.0f);
    EXPECT_EQ(aided.RearWheel.SlideMargin, 0.0f);

    const Bike& limited = world.bike(1);
    EXPECT_EQ(limited.Flags, 0x43u);
    EXPECT_EQ(limited.FrontWheel.Flags & kWheelAlwaysGrips, 0u);
    EXPECT_EQ(limited.FrontWheel.SlideMargin, 0.85f);
    EXPECT_EQ(limited.RearWheel.SlideMargin, 0.825f);

    const Bike& computer = world.bike(2);
    EXPECT_EQ(computer.Flags, kBikeComputerFlags);
    EXPECT_EQ(computer.FrontWheel.SlideMargin, 1.0f);
    EXPECT_EQ(computer.RearWheel.SlideMargin, 1.0f);

    // The arcade model's limiters whatever the set-up.
    CurrentRaceConditions().SessionType = kSessionArcade;
    world.bike(1).PlaceAtStart(true);
    EXPECT_EQ(world.bike(1).FrontWheel.SlideMargin, 1.0f);
    EXPECT_EQ(world.bike(1).RearWheel.SlideMargin, 0.0f);
}

TEST(BikePlacementTest, InstancesAreShownInRacesAndHiddenWhenParked)
{
    BikeWorld world;
    world.Load("Island", kRace, kWeatherRain);
    world.MakeBikes(2);
    RaceContext& race = CurrentRaceContext();
    race.ViewedRider = 0;
    race.Cockpit[0][0] = FakeInstance(0);
    race.Cockpit[0][1] = FakeInstance(1);
    race.SharedCockpit = FakeInstance(2);
    for (int i = 0; i < 2; ++i) {
        world.bike(i).BikeInstance = FakeInstance(10 + 4 * i);
        world.bike(i).RiderInstance = FakeInstance(11 + 4 * i);
        world.bike(i).ShadowInstance = FakeInstance(12 + 4 * i);
        world.bike(i).RiderShadowInstance = FakeInstance(13 + 4 * i);
    }
    world.PlaceAll();

    auto& hooks = world.hooks;
    EXPECT_TRUE(hooks.Shown(FakeInstance(0)));     // the viewed bike's first cockpit
    EXPECT_FALSE(hooks.Touched(FakeInstance(1)));  // not its second
    EXPECT_TRUE(hooks.Shown(FakeInstance(2)));
    EXPECT_TRUE(hooks.Shown(FakeInstance(10)));
    EXPECT_TRUE(hooks.Shown(FakeInstance(11)));
    EXPECT_FALSE(hooks.Touched(FakeInstance(12))); // no shadows in the rain
    EXPECT_FALSE(hooks.Touched(FakeInstance(13)));
    EXPECT_TRUE(hooks.Shown(FakeInstance(14)));
    EXPECT_EQ(hooks.updates, 2);

    world.bike(0).Park();
    EXPECT_TRUE(world.bike(0).IsOut());
    for (int n : {0, 1, 2, 10, 11, 12, 13})
        EXPECT_FALSE(hooks.Shown(FakeInstance(n))) << n;
    EXPECT_TRUE(hooks.Shown(FakeInstance(14))); // the other bike stays

    // In the simulated mode nothing is shown or hidden.
    race.Flags = kRaceSimulated;
    const std::size_t before = hooks.shows.size();
    world.bike(1).Park();
    EXPECT_EQ(hooks.shows.size(), before);
}

TEST(BikeLifecycleTest, ParkingFlushesTheTelemetry)
{
    BikeWorld world;
    world.Load("Island", kPractice);
    world.MakeBikes(1, 1);
    Bike& b = world.bike(0);
    b.PlaceAtStart(true); // parks at once: nothing recorded, no file
    EXPECT_FALSE(platform::file_exists("telem.dat"));

    b.Restart();
    ASSERT_NE(b.TelemetryBuffer, nullptr);
    for (int i = 0; i < 3; ++i) {
        b.TelemetryBuffer[i].Time = 1.0f + static_cast<float>(i);
        b.TelemetryBuffer[i].Distance = 10.0f * static_cast<float>(i);
        b.TelemetryBuffer[i].Channel[0] = static_cast<std::uint8_t>(200 + i);
    }
    b.TelemetryCount = 3;
    b.Park();
    EXPECT_EQ(b.TelemetryCount, 0);

    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(platform::read_whole_file("telem.dat", bytes));
    ASSERT_EQ(bytes.size(), 137u + 3u * 20u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data()), 6), "Island");
    platform::ByteReader in(bytes);
    in.skip(9);
    EXPECT_EQ(in.u32(), 0u); // model
    BikeSetup setup;
    ASSERT_TRUE(ReadBikeSetup(in, &setup));
    EXPECT_EQ(setup.CrownTeeth, b.Setup->CrownTeeth);
    EXPECT_EQ(in.f32(), 30.0f);
    EXPECT_EQ(in.f32(), 45.0f);
    EXPECT_EQ(in.u32(), 0u); // weather
    EXPECT_EQ(in.u32(), 3u);
    EXPECT_EQ(in.f32(), 1.0f);
    EXPECT_EQ(in.f32(), 0.0f);
    EXPECT_EQ(in.u8(), 200);
}

TEST(BikeLifecycleTest, RestartInTheSimulatedModeRejoinsTheCircuit)
{
    BikeWorld world;
    world.Load("Island", kPractice);
    world.MakeBikes(1);
    world.PlaceAll();
    CurrentRaceContext().Flags = kRaceSimulated;
    Bike& b = world.bike(0);
    b.Restart();
    EXPECT_EQ(b.Path, &world.circuit);
    EXPECT_NE(b.Status & kBikeRejoined, 0u);
    EXPECT_EQ(b.Status & kBikePitPlaced, 0u);
    EXPECT_EQ(b.Progress, 0.0f);
    EXPECT_EQ(b.RevTarget, 0.0f);
}

TEST(BikeLifecycleTest, PitLaneEntryAndRejoinSwitchPaths)
{
    BikeWorld world;
    world.Load("Island", kRace);
    world.MakeBikes(1, 1);
    world.PlaceAll();
    Bike& b = world.bike(0);
    b.Speed = 20.0f;
    b.Status |= kBikeToPits;
    b.EnterPitLane();
    EXPECT_EQ(b.Path, &world.pit_lane);
    EXPECT_EQ(b.Status & (kBikeToPits | kBikeInPitLane), kBikeInPitLane);
    EXPECT_EQ(b.LookAhead.Value, 40.0f);
    EXPECT_EQ(b.TrackLine.Value, 0.0f);

    // Out of the pit lane after the line: the lap it ended is counted.
    Vec2 point;
    world.circuit.DistanceToPoint(60.0f, &point, nullptr);
    b.Position.x = point.x;
    b.Position.z = point.z;
    const int laps = b.Laps;
    b.RejoinCircuit();
    EXPECT_EQ(b.Path, &world.circuit);
    EXPECT_EQ(b.Status & kBikeInPitLane, 0u);
    EXPECT_NE(b.Status & kBikeRejoined, 0u);
    EXPECT_EQ(b.Laps, laps + 1);
    EXPECT_EQ(b.LookAhead.Value, 50.0f);
    EXPECT_GE(b.Progress, 0.0f);
    EXPECT_LT(b.Progress, world.circuit.Length);
}

TEST(BikeLifecycleTest, DroppingBackOntoTheCircuitBeforeTheLineCountsNoLap)
{
    BikeWorld world;
    world.Load("Island", kRace);
    world.MakeBikes(1, 1);
    world.PlaceAll();
    Bike& b = world.bike(0);
    b.Speed = 20.0f;
    b.Status |= kBikeToPits;
    b.EnterPitLane();
    // Near the pit entry, at the end of the lap: the line is still ahead.
    Vec2 point;
    world.circuit.DistanceToPoint(world.circuit.Length - 150.0f, &point, nullptr);
    b.Position.x = point.x;
    b.Position.z = point.z;
    const int laps = b.Laps;
    b.RejoinCircuit();
    EXPECT_EQ(b.Path, &world.circuit);
    EXPECT_EQ(b.Laps, laps);
    EXPECT_GT(b.Progress, 0.5f * world.circuit.Length);
}

TEST(BikeLifecycleTest, WanderingInAndOutOfThePitLaneAfterTheLineCountsNoLap)
{
    BikeWorld world;
    world.Load("Island", kRace);
    world.MakeBikes(1, 1);
    world.PlaceAll();
    Bike& b = world.bike(0);
    Vec2 point;
    world.circuit.DistanceToPoint(40.0f, &point, nullptr);
    b.Position.x = point.x;
    b.Position.z = point.z;
    b.UpdateProgress(); // on the circuit, the line just behind
    b.Speed = 20.0f;
    b.EnterPitLane();
    world.circuit.DistanceToPoint(100.0f, &point, nullptr);
    b.Position.x = point.x;
    b.Position.z = point.z;
    const int laps = b.Laps;
    b.RejoinCircuit();
    EXPECT_EQ(b.Laps, laps);
    EXPECT_EQ(b.Status & kBikePitEntryBeforeLine, 0u);
}

TEST(BikeSetupTest, RakeAndTrailGiveTheStability)
{
    BikeWorld world;
    world.Load("Island", kRace);
    world.MakeBikes(1, 1);
    Bike& b = world.bike(0);
    BikeSetup s = *b.Setup;

    struct Case {
        float rake_deg;
        float trail;
        float stability;
    } const cases[] = {
        {25.0f, 0.1092f, 0.0f},   // the least stable
        {15.0f, 0.1092f, 1.0f},   // 10 degrees less: the most stable
        {10.0f, 0.05f, 1.0f},     // clamped
        {30.0f, 0.13f, 0.0f},     // clamped
        {20.0f, 0.1092f, 0.5f},
    };
    for (const Case& c : cases) {
        s.SteeringHeadAngle = c.rake_deg * 0.017453293f;
        s.Trail = c.trail;
        b.SetSetup(s);
        EXPECT_NEAR(b.Stability, c.stability, 1e-4f) << c.rake_deg << " " << c.trail;
        // The wheelbase follows the rake; the front wheel takes the set-up's.
        EXPECT_NEAR(b.BaseWheelbase,
                    world.models[0].Values.BaseWheelbase +
                        0.8f * (std::sin(s.SteeringHeadAngle) - std::sin(world.models[0].Values.Front.Rake)),
                    1e-5f);
        EXPECT_EQ(b.FrontWheel.Rake, s.SteeringHeadAngle);
    }
}

TEST(BikeSetupTest, SetUpGivesGearingMassesAndTheCentreOfMass)
{
    BikeWorld world;
    world.Load("Island", kRace);
    world.MakeBikes(1);
    const Bike& b = world.bike(0);
    const BikeModelValues& v = world.models[0].Values;
    const BikeSetup& s = world.models[0].DefaultSetup;

    EXPECT_EQ(b.Weight, b.Mass * 9.80665f);
    EXPECT_EQ(b.TyreGripScale, 0.8f);
    for (int g = 0; g < b.GearCount; ++g)
        EXPECT_FLOAT_EQ(b.OverallRatio[g],
                        s.GearRatio[g] * v.PrimaryRatio * static_cast<float>(s.CrownTeeth) /
                            static_cast<float>(s.SprocketTeeth));
    EXPECT_FLOAT_EQ(b.MassHeight, v.MassHeight - b.RearWheel.RestLength);
    EXPECT_FLOAT_EQ(b.FrontWheel.SprungMass + b.RearWheel.SprungMass, b.Mass);
    EXPECT_FLOAT_EQ(b.FrontWheel.SprungMass, b.MassForward * b.Mass / b.BaseWheelbase);
    EXPECT_FLOAT_EQ(b.FrontWheel.Mass, b.Mass * 0.08f);
    EXPECT_FLOAT_EQ(b.RearWheel.Mass, b.Mass * 0.1f);
    EXPECT_GT(b.FrontWheel.SpringRate, 1000.0f); // converted to N/m by the wheel
}

TEST(BikeSetupTest, ArcadeComputerRidersSitHigherAndFurtherBack)
{
    BikeWorld world;
    world.Load("Island", kSessionArcade);
    world.MakeBikes(2, 1);
    const BikeModelValues& v0 = world.models[0].Values;
    const BikeModelValues& v1 = world.models[1].Values;
    const Bike& human = world.bike(0);
    const Bike& computer = world.bike(1);
    EXPECT_FLOAT_EQ(human.MassForward, v0.MassForward);
    EXPECT_FLOAT_EQ(computer.MassForward, v1.MassForward * 0.7f);
    EXPECT_FLOAT_EQ(computer.MassHeight, v1.MassHeight * 1.1f - computer.RearWheel.RestLength);
    // The arcade dampers whatever the set-up (after the wheel's conversion).
    EXPECT_FLOAT_EQ(computer.FrontWheel.KneeBump, 100.0f / 600.0f);
}

TEST(BikeSetupTest, QualifyingSavesThePlayersSetUp)
{
    BikeWorld world;
    world.Load("Island", kSessionQualifying);
    world.MakeBikes(2, 1);
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(platform::read_whole_file("Island.set", bytes));
    ASSERT_EQ(bytes.size(), kBikeSetupBytes);
    platform::ByteReader in(bytes);
    BikeSetup saved;
    ASSERT_TRUE(ReadBikeSetup(in, &saved));
    EXPECT_EQ(saved.CrownTeeth, world.players[0].Setup.CrownTeeth);
}

} // namespace
