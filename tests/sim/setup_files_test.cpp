#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "platform/fault_seam.h"
#include "platform/file.h"
#include "sim/bike.h"
#include "sim/bike_parameters.h"
#include "sim/setup_files.h"
#include "tests/sim/bike_world.h"
#include "tests/sim/ride_helpers.h"
#include "tools/datakit/circuit_builder.h"
#include "tools/datakit/track_writer.h"
#include "tests/support/fp_traps.h"
#include "tests/support/temp_dir.h"

namespace {

using bike_test::BikeWorld;

constexpr int kRaceSession = 4;

// A set-up whose every field has its own value, with exact binary floats.
BikeSetup DistinctSetup()
{
    BikeSetup s;
    s.PlayerFlags = 0x208;
    s.FrontLimiter = 0.5f;
    s.RearLimiter = 0.25f;
    s.SteeringHeadAngle = 0.375f;
    s.Trail = 0.09375f;
    s.SprocketTeeth = 15;
    s.CrownTeeth = 40;
    const float ratios[6] = {2.5f, 2.0f, 1.75f, 1.5f, 1.25f, 1.0f};
    std::memcpy(s.GearRatio, ratios, sizeof ratios);
    s.FrontSpring = 0.875f;
    s.RearSpring = 9.5f;
    s.FrontPreload = 8.0f;
    s.RearPreload = 7.5f;
    s.FrontBumpHigh = 3000.0f;
    s.RearBumpHigh = 11000.0f;
    s.FrontBumpLow = 1500.0f;
    s.RearBumpLow = 6500.0f;
    s.FrontReboundHigh = 250.0f;
    s.RearReboundHigh = 2500.0f;
    s.FrontReboundLow = 1250.0f;
    s.RearReboundLow = 10000.0f;
    s.FrontTyre = 3;
    s.RearTyre = 4;
    return s;
}

std::string Hex(const std::vector<std::uint8_t>& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (std::uint8_t b : bytes) {
        text.push_back(digits[b >> 4]);
        text.push_back(digits[b & 15]);
    }
    return text;
}

bool SameBits(const BikeSetup& a, const BikeSetup& b)
{
    return SetupFileBytes(a) == SetupFileBytes(b);
}

TEST(SetupFileTest, WritesTheTwentySevenWordsInTheirStoredLayout)
{
    // Offsets 0 flags, 4 and 8 limiters, 12 rake, 16 trail, 20 and 24
    // teeth, 28 the six ratios, 52 springs, 60 preloads, 68 the eight
    // damper rates, 100 and 104 the tyres; little-endian throughout.
    const std::string golden = "080200000000003f0000803e0000c03e0000c03d0f0000002800000000002040"
                               "000000400000e03f0000c03f0000a03f0000803f0000603f0000184100000041"
                               "0000f04000803b4500e02b460080bb440020cb4500007a4300401c4500409c44"
                               "00401c460300000004000000";
    EXPECT_EQ(Hex(SetupFileBytes(DistinctSetup())), golden);

    const auto dir = torvane_test::make_temp_dir("setup");
    const std::string path = (dir / "Island.set").string();
    std::string error;
    ASSERT_TRUE(WriteSetupFile(path, DistinctSetup(), &error)) << error;
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(platform::read_whole_file(path, bytes));
    EXPECT_EQ(Hex(bytes), golden);
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));

    BikeSetup back;
    ASSERT_TRUE(ReadSetupFileChecked(path, 6, &back, &error)) << error;
    EXPECT_TRUE(SameBits(back, DistinctSetup()));
}

TEST(SetupFileTest, ReaderRefusesWrongSizesAndValuesTheBikeCannotUse)
{
    struct Case {
        const char* what;
        std::size_t size;
        void (*damage)(BikeSetup&);
        const char* error;
    } const cases[] = {
        {"short", 107, nullptr, "107"},
        {"long", 109, nullptr, "109"},
        {"empty", 0, nullptr, "0"},
        {"no sprocket teeth", 108, [](BikeSetup& s) { s.SprocketTeeth = 0; }, "sprocket"},
        {"no crown teeth", 108, [](BikeSetup& s) { s.CrownTeeth = -3; }, "crown"},
        {"a used gear of ratio 0", 108, [](BikeSetup& s) { s.GearRatio[5] = 0.0f; }, "gear ratio"},
        {"front spring 0", 108, [](BikeSetup& s) { s.FrontSpring = 0.0f; }, "front spring"},
        {"rear spring NaN", 108,
         [](BikeSetup& s) { s.RearSpring = std::numeric_limits<float>::quiet_NaN(); }, "rear spring"},
        {"front low-speed bump 0", 108, [](BikeSetup& s) { s.FrontBumpLow = 0.0f; }, "front bump low"},
        {"infinite damper", 108,
         [](BikeSetup& s) { s.RearReboundHigh = std::numeric_limits<float>::infinity(); }, "damper"},
        {"negative tyre", 108, [](BikeSetup& s) { s.RearTyre = -1; }, "tyre"},
    };
    torvane_test::FpTraps traps;
    for (const Case& c : cases) {
        BikeSetup setup = DistinctSetup();
        if (c.damage)
            c.damage(setup);
        std::vector<std::uint8_t> bytes = SetupFileBytes(setup);
        bytes.resize(c.size, 0);
        BikeSetup out;
        out.CrownTeeth = 77;
        std::string error;
        EXPECT_FALSE(ParseSetupFile(bytes, 6, &out, &error)) << c.what;
        EXPECT_NE(error.find(c.error), std::string::npos) << c.what << ": " << error;
        EXPECT_EQ(out.CrownTeeth, 77) << c.what << ": the output is left alone";
    }

    // A ratio of 0 beyond the model's gears is not used, so it is allowed.
    BikeSetup fourGears = DistinctSetup();
    fourGears.GearRatio[4] = fourGears.GearRatio[5] = 0.0f;
    BikeSetup out;
    EXPECT_TRUE(ParseSetupFile(SetupFileBytes(fourGears), 4, &out));
}

TEST(SetupFileTest, FailedWriteIsReportedAndLeavesTheOldFile)
{
    const auto dir = torvane_test::make_temp_dir("setupfail");
    const std::string path = (dir / "Island.set").string();
    ASSERT_TRUE(WriteSetupFile(path, DistinctSetup()));

    BikeSetup other = DistinctSetup();
    other.CrownTeeth = 41;
    platform::fail_next(platform::Fault::FileOpen);
    std::string error;
    EXPECT_FALSE(WriteSetupFile(path, other, &error));
    EXPECT_FALSE(error.empty());
    BikeSetup back;
    ASSERT_TRUE(ReadSetupFileChecked(path, 6, &back));
    EXPECT_EQ(back.CrownTeeth, 40);

    EXPECT_FALSE(WriteSetupFile((dir / "no such folder" / "x.set").string(), other, &error));
    EXPECT_FALSE(ReadSetupFileChecked((dir / "missing.set").string(), 6, &back, &error));
}

TEST(SetupFileTest, PlayerSetupFileIsNamedAfterTheTrackUpToItsTerminator)
{
    const char buffer[20] = "Island\0Garbage";
    EXPECT_EQ(PlayerSetupFileName(std::string_view(buffer, sizeof buffer)), "Island.set");
    EXPECT_EQ(PlayerSetupFileName("Misano"), "Misano.set");
}

// The bike's working values that a set-up decides, as bits.
std::vector<std::uint32_t> SetupDerived(const Bike& b)
{
    std::vector<std::uint32_t> words;
    auto add = [&](float v) { words.push_back(std::bit_cast<std::uint32_t>(v)); };
    for (float r : b.OverallRatio)
        add(r);
    add(b.Stability);
    add(b.BaseWheelbase);
    add(b.FrontWheel.SpringRate);
    add(b.RearWheel.SpringRate);
    add(b.FrontWheel.KneeBump);
    add(b.RearWheel.FreeBumpHigh);
    add(b.FrontWheel.Preload);
    words.push_back(static_cast<std::uint32_t>(b.SprocketTeeth));
    return words;
}

TEST(BikeSetSetupTest, RefusesSetUpsTheBikeCannotUseAndKeepsItsOwn)
{
    torvane_test::FpTraps traps;
    BikeWorld world;
    world.Load("Island", kRaceSession);
    world.MakeBikes(2, 1);
    world.PlaceAll();
    Bike& b = world.bike(0);
    const BikeSetup before = *b.Setup;
    const std::vector<std::uint32_t> derived = SetupDerived(b);

    struct Case {
        const char* what;
        void (*damage)(BikeSetup&);
    } const cases[] = {
        {"sprocket 0", [](BikeSetup& s) { s.SprocketTeeth = 0; }},
        {"gear 1 of ratio 0", [](BikeSetup& s) { s.GearRatio[0] = 0.0f; }},
        {"spring 0", [](BikeSetup& s) { s.RearSpring = 0.0f; }},
        {"bump low 0", [](BikeSetup& s) { s.FrontBumpLow = 0.0f; }},
        {"rake NaN", [](BikeSetup& s) { s.SteeringHeadAngle = std::numeric_limits<float>::quiet_NaN(); }},
        {"a tyre the tyre file does not hold", [](BikeSetup& s) { s.FrontTyre = 999; }},
    };
    for (const Case& c : cases) {
        BikeSetup bad = before;
        c.damage(bad);
        EXPECT_FALSE(b.SetSetup(bad)) << c.what;
        EXPECT_TRUE(SameBits(*b.Setup, before)) << c.what;
        EXPECT_EQ(SetupDerived(b), derived) << c.what;
    }

    BikeSetup good = before;
    good.CrownTeeth += 2;
    EXPECT_TRUE(b.SetSetup(good));
    EXPECT_EQ(b.Setup->CrownTeeth, good.CrownTeeth);
    EXPECT_NE(SetupDerived(b), derived);
}

// A flat loop with a 9 km straight, in place of the world's "Island" (and
// without its pit lane), long enough for a bike to reach its top speed.
void WriteLongStraight(const std::filesystem::path& root)
{
    datakit::CircuitDescription d;
    d.name = "Island";
    d.pieces = {datakit::straight(9000.0),   datakit::right(100.0, 90.0), datakit::straight(300.0),
                datakit::right(100.0, 90.0), datakit::solved_straight(),  datakit::right(100.0, 90.0),
                datakit::solved_straight(),  datakit::right(100.0, 90.0)};
    std::string error;
    const std::filesystem::path tracks = root / "Data" / "Tracks";
    ASSERT_TRUE(datakit::write_track_file(tracks / "Island.dat", datakit::build_circuit(d).circuit, error)) << error;
    std::filesystem::remove(tracks / "Island_pit.dat");
}

// What a run down the long straight at full throttle shows.
struct StraightRun {
    float TopSpeed = 0.0f;
    float FrontTravel = 0.0f; // the most the springs were compressed
    float RearTravel = 0.0f;
};

// A human bike with the set-up `change` makes of the demo set-up, `seconds`
// at full throttle down the long straight, in first gear only or with the
// automatic gearbox.
template <class Change>
StraightRun RunStraight(Change change, bool automatic, float seconds)
{
    StraightRun run;
    BikeWorld world;
    WriteLongStraight(world.dir());
    world.Load("Island", kRaceSession);
    ride_test::DemoRiderStates states(world.dir());
    world.MakeBikes(1, 1);
    Bike& b = world.bike(0);
    BikeSetup s = *b.Setup;
    change(s);
    s.PlayerFlags = automatic ? kPlayerFlagAutoGears : 0;
    EXPECT_TRUE(b.SetSetup(s));
    world.PlaceAll();
    Vec2 point;
    Vec2 direction;
    b.Heading = world.circuit.DistanceToPoint(20.0f, &point, &direction);
    b.Position = Vec3(point.x, 0.0f, point.z);
    b.Segment = 0;
    b.ResetDynamics(true);
    CurrentRaceContext().Flags |= kRaceRacing;

    ride_test::ScriptedRider rider;
    rider.FollowSpeeds = false; // the throttle held open
    const float dt = 1.0f / 60.0f;
    for (int i = 0; i < static_cast<int>(seconds / dt); ++i) {
        rider.Drive(b);
        ride_test::Step(b, dt);
        EXPECT_GE(b.RiderState, -2) << "the rider stays on";
        run.TopSpeed = std::max(run.TopSpeed, b.Speed);
        run.FrontTravel = std::max(run.FrontTravel, b.FrontWheel.SpringTravel);
        run.RearTravel = std::max(run.RearTravel, b.RearWheel.SpringTravel);
    }
    if (!automatic) {
        EXPECT_EQ(b.Gear, 0);
    }
    return run;
}

TEST(BikeSetupBehaviourTest, ShorterGearingLowersTheSpeedAGearRunsOutAt)
{
    torvane_test::FpTraps traps;
    const float tall = RunStraight([](BikeSetup& s) { s.CrownTeeth = 36; }, false, 15.0f).TopSpeed;
    const float short_ = RunStraight([](BikeSetup& s) { s.CrownTeeth = 44; }, false, 15.0f).TopSpeed;
    // The speed at the end of the revs goes with the inverse of the final
    // drive.
    EXPECT_GT(tall, 20.0f);
    EXPECT_NEAR(short_ / tall, 36.0f / 44.0f, 0.03f);
}

TEST(BikeSetupBehaviourTest, GearingChangesTheTopSpeed)
{
    torvane_test::FpTraps traps;
    // A crown of 60 teeth runs the top gear out of revs well below the
    // speed at which the demo gearing meets the drag.
    const float normal = RunStraight([](BikeSetup& s) { s.CrownTeeth = 42; }, true, 80.0f).TopSpeed;
    const float short_ = RunStraight([](BikeSetup& s) { s.CrownTeeth = 60; }, true, 80.0f).TopSpeed;
    EXPECT_GT(normal, 60.0f);
    EXPECT_LT(short_, normal * 0.95f);
}

TEST(BikeSetupBehaviourTest, StifferSpringsCompressLess)
{
    torvane_test::FpTraps traps;
    const float springs[2][2] = {{0.7f, 8.0f}, {0.95f, 11.0f}};
    float rest[2][2] = {};
    StraightRun riding[2];
    for (int k = 0; k < 2; ++k) {
        // At rest on the grid...
        BikeWorld world;
        world.Load("Island", kRaceSession);
        world.MakeBikes(1, 1);
        Bike& b = world.bike(0);
        BikeSetup s = *b.Setup;
        s.FrontSpring = springs[k][0];
        s.RearSpring = springs[k][1];
        ASSERT_TRUE(b.SetSetup(s));
        world.PlaceAll(); // settles the bike on its springs
        rest[k][0] = b.FrontWheel.SpringTravel;
        rest[k][1] = b.RearWheel.SpringTravel;
        // ...and riding hard down the straight.
        riding[k] = RunStraight(
            [&](BikeSetup& r) {
                r.FrontSpring = springs[k][0];
                r.RearSpring = springs[k][1];
            },
            true, 20.0f);
    }
    EXPECT_GT(rest[0][0], 0.0f);
    EXPECT_GT(rest[0][1], 0.0f);
    EXPECT_LT(rest[1][0], rest[0][0]);
    EXPECT_LT(rest[1][1], rest[0][1]);
    EXPECT_LT(riding[1].FrontTravel, riding[0].FrontTravel);
    EXPECT_LT(riding[1].RearTravel, riding[0].RearTravel);
}

} // namespace
