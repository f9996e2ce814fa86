#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "app/game_error.h"
#include "platform/random.h"
#include "sim/bike.h"
#include "sim/float_conv.h"
#include "sim/race_context.h"
#include "sim/rider_state_table.h"
#include "sim/rider_states.h"
#include "sim/track.h"
#include "tests/sim/bike_world.h"
#include "tests/support/fp_traps.h"
#include "tools/datakit/rider_state_writer.h"

using bike_test::AngleBetween;
using bike_test::BikeWorld;
using bike_test::FakeInstance;

namespace {

constexpr int kRace = 4;
constexpr float kDt = 0.02f;

// Stands in for the engine's name hash: any stable, non-zero hash of the name.
std::uint32_t TestHash(const char* name)
{
    std::uint32_t h = 2166136261u;
    for (const char* p = name; *p; ++p)
        h = (h ^ static_cast<unsigned char>(*p)) * 16777619u;
    return h | 1u;
}

// Records the sounds besides the instances' animations.
class SoundHooks : public bike_test::RecordingHooks {
public:
    struct Sound {
        int sample;
        int instance;
        float frequency;
        float volume;
    };
    void Play(int sample, int instance, float frequency, float volume, float, int) override
    {
        sounds.push_back({sample, instance, frequency, volume});
    }
    std::vector<Sound> sounds;
};

// The demo animation sets written next to the demo bike data and read back.
RiderStateTable ReadDemoTable(const std::filesystem::path& root)
{
    std::string error;
    EXPECT_TRUE(datakit::write_demo_animation_sets(root, error)) << error;
    return ReadRiderStateTable("Data\\Info.dat", TestHash);
}

bool Finite(const Bike& b)
{
    const float values[] = {b.Posture,        b.StateTime,      b.StatePhase,     b.Speed,
                            b.Pitch,          b.Heading,        b.Roll,           b.Position.x,
                            b.Position.y,     b.Position.z,     b.RiderAngles.x,  b.RiderAngles.y,
                            b.RiderAngles.z,  b.RiderPosition.x, b.RiderPosition.y, b.RiderPosition.z,
                            b.TurnRadius,     b.FrontWheel.SpinAngle, b.RearWheel.SpinAngle,
                            b.FrontWheel.ContactPoint.x, b.FrontWheel.ContactPoint.y,
                            b.RearWheel.ContactPoint.x,  b.RearWheel.ContactPoint.y};
    for (float v : values)
        if (!std::isfinite(v))
            return false;
    return true;
}

// ---------------------------------------------------------------------------
// The table and its loader

class RiderStateTableTest : public ::testing::Test {
protected:
    void SetUp() override { world_.Load("Island", kRace); }

    // Writes "Data/Info.dat" with the given lists only.
    void WriteInfo(const std::vector<datakit::AnimationRecordSpec>& rider,
                   const std::vector<datakit::AnimationRecordSpec>& bike)
    {
        std::filesystem::remove(world_.dir() / "Data" / "Info.dat");
        std::string error;
        ASSERT_TRUE(datakit::append_animation_lists(world_.dir() / "Data" / "Info.dat", rider, bike, error)) << error;
    }

    BikeWorld world_;
};

TEST_F(RiderStateTableTest, DemoSetsReadBackBesideTheBikeModels)
{
    const RiderStateTable table = ReadDemoTable(world_.dir());
    // The manufacturers' list in the same file still reads.
    BikeModel models[kBikeModelCount];
    EXPECT_NO_THROW(ReadManufacturers("Data\\Info.dat", models));

    const auto demo = datakit::demo_rider_animations();
    ASSERT_EQ(demo.size(), static_cast<std::size_t>(kRiderStateRecords));
    for (int s = 0; s < kRiderStateRecords; ++s) {
        const RiderAnimationRecord& r = table.RiderRecords[s];
        EXPECT_EQ(r.FrameCount, demo[static_cast<std::size_t>(s)].frames) << s;
        EXPECT_STREQ(r.Name, demo[static_cast<std::size_t>(s)].name.c_str()) << s;
        EXPECT_EQ(table.FollowUpCount(s), static_cast<int>(demo[static_cast<std::size_t>(s)].follow_ups.size())) << s;
        // The hash is the one of the name padded with zero bytes.
        EXPECT_EQ(table.RiderHash[s], TestHash(r.Name)) << s;
    }
    EXPECT_EQ(table.RiderRecords[22].FollowUp[0], 23);
    EXPECT_EQ(table.RiderRecords[22].FollowUp[1], -1);
    EXPECT_FLOAT_EQ(table.ThresholdSpeed(13), -15.0f * 0.2777778f);
    EXPECT_TRUE(table.Attached(-1));
    EXPECT_TRUE(table.Attached(22));
    EXPECT_FALSE(table.Attached(13));
    EXPECT_EQ(table.BikeHash[0], TestHash("BIKE_FALL_A"));
    EXPECT_EQ(table.BikeHash[1], TestHash("BIKE_FALL_B"));

    RaceContext& race = CurrentRaceContext();
    InstallRiderStateTable(race, &table);
    EXPECT_EQ(race.RiderStates, &table);
    EXPECT_EQ(race.BikeAnimations[0], table.BikeHash[0]);
    EXPECT_EQ(race.BikeAnimations[1], table.BikeHash[1]);
    InstallRiderStateTable(race, nullptr);
    EXPECT_EQ(race.RiderStates, nullptr);
    EXPECT_EQ(race.BikeAnimations[0], 0u);

    // Without a hash the simulation asks for no animation.
    const RiderStateTable plain = ReadRiderStateTable("Data\\Info.dat", nullptr);
    EXPECT_EQ(plain.RiderHash[5], 0u);
    EXPECT_EQ(plain.RiderRecords[5].FrameCount, 12);
}

// Every follow-up of the demo sets is a state, and every fall leads, through
// the follow-ups, to a state in which the rider walks back to the bike (where
// the crash step lifts it).
TEST_F(RiderStateTableTest, DemoFallsLeadBackToTheBike)
{
    const RiderStateTable table = ReadDemoTable(world_.dir());
    for (int fall : {5, 6, 10, 11}) {
        std::set<int> seen;
        std::vector<int> open = {fall};
        bool reachesBike = false;
        while (!open.empty()) {
            const int s = open.back();
            open.pop_back();
            if (!seen.insert(s).second)
                continue;
            if (IsDraggedRiderState(s))
                reachesBike = true;
            for (int k = 0; k < table.FollowUpCount(s); ++k)
                open.push_back(table.RiderRecords[s].FollowUp[k]);
        }
        EXPECT_TRUE(reachesBike) << "fall " << fall;
    }
}

TEST_F(RiderStateTableTest, BadListsFailTheLoadNamingTheValue)
{
    struct Case {
        const char* name;
        std::function<void(std::vector<datakit::AnimationRecordSpec>&, std::vector<datakit::AnimationRecordSpec>&)> damage;
        const char* message; // part of the error text
    };
    const std::vector<Case> cases = {
        {"follow-up above 70", [](auto& r, auto&) { r[13].follow_ups = {15, 71}; }, "follow-up state in record 13"},
        {"follow-up below -1", [](auto& r, auto&) { r[7].follow_ups = {-2}; }, "follow-up state in record 7"},
        {"negative frame count", [](auto& r, auto&) { r[9].frames = -18; }, "frame count in record 9"},
        {"70 rider records", [](auto& r, auto&) { r.pop_back(); }, "holds 70 animation records, not 71"},
        {"72 rider records", [](auto& r, auto&) { r.push_back(r.back()); }, "holds 72 animation records, not 71"},
        {"one bike record", [](auto&, auto& b) { b.pop_back(); }, "BIKE_ANIMATIONS of Data\\Info.dat holds 1"},
        {"no rider list", [](auto& r, auto&) { r.clear(); }, "holds 0 animation records"},
    };
    for (const Case& c : cases) {
        auto rider = datakit::demo_rider_animations();
        auto bike = datakit::demo_bike_animations();
        c.damage(rider, bike);
        WriteInfo(rider, bike);
        try {
            ReadRiderStateTable("Data\\Info.dat", TestHash);
            ADD_FAILURE() << c.name << ": loaded";
        } catch (const GameError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << c.name << ": " << e.what();
        }
    }

    // A speed that is not finite.
    auto rider = datakit::demo_rider_animations();
    WriteInfo(rider, datakit::demo_bike_animations());
    {
        std::string text;
        std::ifstream in(world_.dir() / "Data" / "Info.dat", std::ios::binary);
        text.assign(std::istreambuf_iterator<char>(in), {});
        const std::string line = "i-1 i-1 i12 f0 i0 i0 sTHROWN_A";
        const std::size_t at = text.find(line);
        ASSERT_NE(at, std::string::npos);
        text.replace(at, line.size(), "i-1 i-1 i12 f1e39 i0 i0 sTHROWN_A");
        std::string error;
        ASSERT_TRUE(datakit::write_text_file(world_.dir() / "Data" / "Info.dat", text, error)) << error;
    }
    EXPECT_THROW(ReadRiderStateTable("Data\\Info.dat", TestHash), GameError);

    // Entries after the end of a list are never read, and a missing file
    // fails like a missing list.
    rider[13].follow_ups = {15, -1, 99};
    WriteInfo(rider, datakit::demo_bike_animations());
    EXPECT_NO_THROW(ReadRiderStateTable("Data\\Info.dat", TestHash));
    std::filesystem::remove(world_.dir() / "Data" / "Info.dat");
    EXPECT_THROW(ReadRiderStateTable("Data\\Info.dat", TestHash), GameError);
}

TEST(RiderStatesTest, EveryStateHasANameAndItsFamily)
{
    std::set<std::string> names;
    for (int s = kFirstRiderState; s <= kLastRiderState; ++s) {
        EXPECT_TRUE(IsRiderState(s));
        names.insert(RiderStateName(s));
    }
    EXPECT_EQ(names.size(), static_cast<std::size_t>(kLastRiderState - kFirstRiderState + 1));
    EXPECT_STREQ(RiderStateName(-5), "unknown");
    EXPECT_STREQ(RiderStateName(71), "unknown");
    EXPECT_FALSE(IsFollowUpValue(-2));
    EXPECT_TRUE(IsFollowUpValue(-1));
    EXPECT_TRUE(IsFollowUpValue(70));
    EXPECT_FALSE(IsFollowUpValue(71));
    EXPECT_EQ(DragSpeed(19), 6.0f);
    EXPECT_EQ(DragSpeed(54), 3.0f);
    EXPECT_EQ(DragSpeed(21), 0.0f);
    EXPECT_EQ(PushRadius(44), 2.0f);
    EXPECT_EQ(PushRadius(50), -2.0f);
    EXPECT_EQ(PushRadius(42), 0.0f);
    // The status bits the machine and its neighbours use besides the
    // record's own list.
    EXPECT_EQ(kBikeFallRequested, 0x4u);
    EXPECT_EQ(kBikeEngineVoice, 0x1000u);
    EXPECT_EQ(kBikeNoSlideFix, 0x4000u);
}

// ---------------------------------------------------------------------------
// The machine on the demo circuit

class RiderStateTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        world_.Load("Island", kRace);
        world_.MakeBikes(2, 1);
        world_.PlaceAll();
        table_ = ReadDemoTable(world_.dir());
        RaceContext& race = CurrentRaceContext();
        race.Hooks = &hooks_;
        InstallRiderStateTable(race, &table_);
        for (int i = 0; i < 2; ++i) {
            world_.bike(i).BikeInstance = FakeInstance(2 * i);
            world_.bike(i).RiderInstance = FakeInstance(2 * i + 1);
            world_.bike(i).SetState(-1, 0.0f);
        }
        hooks_.animations.clear();
    }

    Bike& human() { return world_.bike(0); }
    Bike& computer() { return world_.bike(1); }

    // Steps the machine until the state changes or `seconds` pass; returns
    // the state it ended in.
    int RunUntilChange(Bike& b, float seconds, float dt = kDt)
    {
        const int start = b.RiderState;
        for (float t = 0.0f; t < seconds && b.RiderState == start; t += dt)
            b.StateStep(dt);
        return b.RiderState;
    }

    // The last animation asked of an instance (none: -1 as an unsigned).
    std::uint32_t LastAnimation(ml_modelinfo* instance) const
    {
        std::uint32_t hash = 0xFFFFFFFFu;
        for (const auto& [i, h] : hooks_.animations)
            if (i == instance)
                hash = h;
        return hash;
    }

    torvane_test::FpTraps traps_;
    BikeWorld world_;
    SoundHooks hooks_;
    RiderStateTable table_;
};

TEST_F(RiderStateTest, EnteringAStateSetsItsFlagAnimationsAndPhase)
{
    Bike& b = computer();
    // Status 0x4000 (no slide correction) exactly in the states that hold it.
    const std::set<int> holding = {-2, 0, 1, 23, 24, 27, 28, 55};
    for (int s = -4; s <= 70; ++s) {
        if (s == 22 || s == 26)
            continue; // these recover the bike; below
        b.SetState(s, 0.0f);
        EXPECT_EQ((b.Status & kBikeNoSlideFix) != 0, holding.count(s) == 1) << s;
    }

    // The record each state plays, and the bike's own animation.
    struct Played {
        int state;
        int record;
        std::uint32_t bike;
    };
    const Played played[] = {
        {-4, 22, 0}, {-3, 26, 0}, {-2, 0, 0}, {-1, 2, 0}, {5, 5, 0}, {13, 13, 0},
        {21, 21, table_.BikeHash[0]}, {25, 25, table_.BikeHash[1]}, {70, 70, 0},
    };
    for (const Played& p : played) {
        hooks_.animations.clear();
        b.SetState(p.state, 0.0f);
        EXPECT_EQ(LastAnimation(b.RiderInstance), table_.RiderHash[p.record]) << p.state;
        EXPECT_EQ(LastAnimation(b.BikeInstance), p.bike) << p.state;
    }

    // A state below the known ones waits at the end of the default animation.
    b.SetState(-7, 0.3f);
    EXPECT_EQ(LastAnimation(b.RiderInstance), table_.RiderHash[0]);
    EXPECT_FLOAT_EQ(b.StateTime, 18.0f * 0.055555556f);

    // Negative states start at 0; riding centres the phase (its record is
    // not timed); a timed state takes its phase from the start time.
    b.SetState(-1, 0.7f);
    EXPECT_EQ(b.StateTime, 0.0f);
    EXPECT_EQ(b.StatePhase, 0.5f);
    b.SetState(13, 0.25f);
    EXPECT_FLOAT_EQ(b.StatePhase, 0.25f * 18.0f / 18.0f);
    b.SetState(15, 0.5f);
    EXPECT_FLOAT_EQ(b.StatePhase, 0.5f * 18.0f / 36.0f);

    // The head turns away from the lean.
    b.Roll = -0.2f;
    b.SetState(4, 0.0f);
    EXPECT_FLOAT_EQ(b.StatePhase, 0.51f);
    b.Roll = 0.2f;
    b.SetState(4, 0.0f);
    EXPECT_FLOAT_EQ(b.StatePhase, 0.49f);
}

TEST_F(RiderStateTest, LiftingTheBikePlaysTheFallSoundAndEndsTheBody)
{
    Bike& b = computer();
    b.Status |= kBikeBodyActive | kBikeDown;
    b.SetState(25, 0.0f);
    EXPECT_EQ(b.Status & kBikeBodyActive, 0u);
    EXPECT_NE(b.Status & kBikeDown, 0u);
    ASSERT_EQ(hooks_.sounds.size(), 1u);
    EXPECT_EQ(hooks_.sounds[0].sample, 19);
    EXPECT_EQ(hooks_.sounds[0].instance, b.Index);
    EXPECT_EQ(hooks_.sounds[0].frequency, 16800.0f);
    EXPECT_EQ(hooks_.sounds[0].volume, 0.5f);
    b.SetState(13, 0.0f);
    EXPECT_EQ(hooks_.sounds.size(), 1u);
}

TEST_F(RiderStateTest, OnlyAnimationsTheTableNamesAndOnlyOfInstancesThatExist)
{
    Bike& b = computer();
    b.BikeInstance = nullptr;
    b.RiderInstance = nullptr;
    for (int s = -5; s <= 71; ++s)
        if (s != 22 && s != 26)
            b.SetState(s, 0.0f);
    EXPECT_TRUE(hooks_.animations.empty());

    // With instances: every hash asked for is one of the table's, or 0 (none).
    std::set<std::uint32_t> known(std::begin(table_.RiderHash), std::end(table_.RiderHash));
    known.insert(std::begin(table_.BikeHash), std::end(table_.BikeHash));
    known.insert(0u);
    b.BikeInstance = FakeInstance(2);
    b.RiderInstance = FakeInstance(3);
    for (int s = -5; s <= 75; ++s)
        if (s != 22 && s != 26)
            b.SetState(s, 0.0f);
    for (const auto& [instance, hash] : hooks_.animations)
        EXPECT_EQ(known.count(hash), 1u) << hash;

    // Without the table no rider animation is asked for, and no state is timed.
    InstallRiderStateTable(CurrentRaceContext(), nullptr);
    hooks_.animations.clear();
    b.SetState(13, 0.0f);
    EXPECT_EQ(LastAnimation(b.RiderInstance), 0xFFFFFFFFu);
    EXPECT_EQ(RunUntilChange(b, 5.0f), 13);
}

// What follows each state: the state machine's conditions and follow-ups.
TEST_F(RiderStateTest, StateTable)
{
    struct Case {
        const char* name;
        int state;
        std::function<void(Bike&)> setup;
        int next;          // the state after the change (or the same when it must not change)
        float within = 4.0f; // seconds to wait for it
    };
    auto human = [](Bike& b) { b.Flags |= kBikeHuman; };
    auto speed = [](float v) { return [v](Bike& b) { b.Speed = v; }; };
    auto body = [](float kmh) { return [kmh](Bike& b) { b.CgVelocity = Vec3(0.0f, 0.0f, kmh / 3.6f); }; };
    // On the centre line, turned from the path's heading.
    auto turned = [](float by) {
        return [by](Bike& b) {
            Vec2 p;
            b.Heading = b.Path->DistanceToPoint(b.Progress, &p, nullptr) + by;
            b.Position.x = p.x;
            b.Position.z = p.z;
        };
    };
    const std::vector<Case> cases = {
        {"waiting, throttle 18 stays", -2, [](Bike& b) { b.Controls.Throttle = 18; }, -2},
        {"waiting, throttle 19 pulls away", -2, [](Bike& b) { b.Controls.Throttle = 19; }, 0},
        {"pulling away then riding", 0, nullptr, -1},
        {"stopping then waiting", 1, nullptr, -2},
        {"riding under 4 km/h stops, braking hard", -1,
         [](Bike& b) { b.Speed = 1.1f; b.Controls.Brake = 127; }, 1},
        {"riding at 4 km/h goes on", -1, speed(1.12f), -1, 1.0f},
        {"riding slowly off the road is stuck", -1,
         [](Bike& b) { b.Speed = 5.0f; b.RearWheel.Terrain = 1; }, 55},
        {"riding under 4 km/h off the road is stuck too", -1,
         [](Bike& b) { b.Speed = 1.0f; b.RearWheel.Terrain = 3; }, 55},
        {"riding off the road at 20 km/h goes on", -1,
         [](Bike& b) { b.Speed = 5.6f; b.RearWheel.Terrain = 1; }, -1, 1.0f},
        {"stuck and stopped", 55, [](Bike& b) { b.Speed = 1.0f; b.RearWheel.Terrain = 1; }, 1},
        {"stuck and slow off the road repeats", 55,
         [](Bike& b) { b.Speed = 5.5f; b.RearWheel.Terrain = 1; }, 55},
        {"stuck, moving on the road rides out", 55, speed(5.0f), 66},
        {"stuck, fast off the road rides out", 55, [](Bike& b) { b.Speed = 6.0f; b.RearWheel.Terrain = 2; }, 66},
        {"riding out then riding", 66, speed(10.0f), -1},
        {"back riding A", 24, speed(10.0f), -1},
        {"back riding B", 28, speed(10.0f), -1},
        {"winner's celebration ends", 31, speed(10.0f), -1},
        {"celebration 67 ends", 67, speed(10.0f), -1},
        {"celebration 70 ends", 70, speed(10.0f), -1},
        {"gesture 60 ends", 60, speed(10.0f), -1},
        {"gesture 63 ends", 63, speed(10.0f), -1},
        {"ride off lined up", 23, turned(0.29f), 24},
        {"ride off B lined up", 27, turned(-0.29f), 28},
        {"ride off not lined up repeats", 23, turned(0.31f), 23},
        {"a human rides off at once", 27, [&](Bike& b) { human(b); b.Heading = b.PathHeading + 2.0f; }, 28},
        {"bumped without a rival", 56, nullptr, -1},
        {"lifted A, human without input", 21, human, -4},
        {"lifted B, human without input", 25, human, -3},
        {"lifted A, human steering one way", 21, [&](Bike& b) { human(b); b.Controls.SteerInput = 100; }, 32},
        {"lifted A, human steering the other", 21, [&](Bike& b) { human(b); b.Controls.SteerInput = -100; }, 34},
        {"lifted B, human steering one way", 25, [&](Bike& b) { human(b); b.Controls.SteerInput = 127; }, 33},
        {"beside A, human without input stays", -4, human, -4},
        {"beside A, full throttle gets on", -4, [&](Bike& b) { human(b); b.Controls.Throttle = 127; }, 22},
        {"beside B, full throttle gets on", -3, [&](Bike& b) { human(b); b.Controls.Throttle = 127; }, 26},
        {"beside A, half steering turns", -4, [&](Bike& b) { human(b); b.Controls.SteerInput = 64; }, 32},
        {"beside A, computer facing the path gets on", -4, turned(0.0f), 22},
        {"beside A, computer turned one way", -4, turned(-1.0f), 32},
        {"beside B, computer turned the other", -3, turned(1.0f), 35},
        {"turn start A1, still turned: push", 32, turned(-1.0f), 41},
        {"push A1, lined up: end turn", 41, turned(-0.31f), 42},
        {"turn end A1 then beside", 42, turned(0.0f), -4},
        {"turn start A2, still turned: push other way", 34, turned(1.0f), 47},
        {"turn switch A2", 43, turned(-1.0f), 49},
        {"turn switch B1 neither", 52, turned(0.0f), 45},
        {"low side A, fast body slides", 5, body(30.0f), 7},
        {"low side A, slow body halts", 5, body(5.0f), 13},
        {"halt A, body still moving repeats", 13, body(10.0f), 13},
        {"halt A, body far too fast: nearest threshold", 13, body(50.0f), 15},
        {"get up A then dazed", 15, body(0.0f), 17},
        {"thrown B, fast body tumbles", 11, body(40.0f), 12},
        {"state with no follow-ups repeats", 36, nullptr, 36},
    };
    for (const Case& c : cases) {
        Bike& b = computer();
        b.Flags = kBikeComputerFlags;
        b.Controls = ControlRecord();
        b.Speed = 10.0f;
        b.RearWheel.Terrain = 0;
        b.CgVelocity = Vec3();
        b.Heading = b.PathHeading;
        b.Rival = nullptr;
        b.RaceTime = 0.0f;
        b.SetState(c.state, 0.0f);
        if (c.setup)
            c.setup(b);
        EXPECT_EQ(RunUntilChange(b, c.within), c.next) << c.name;
    }
}

TEST_F(RiderStateTest, FollowUpStartsAtTheEntryTheRaceTimePicks)
{
    // State 10 lists 9 (from 25), 7 (from 15) and 13 (up to 15): at 30 both
    // 9 and 7 qualify and trunc(RaceTime x 10) picks the entry to start
    // from (13, the third, passes on to the first).
    Bike& b = computer();
    {
        const float times[] = {0.0f, 0.1f, 0.25f, 1.15f};
        const int expected[] = {9, 7, 9, 9};
        for (int k = 0; k < 4; ++k) {
            b.SetState(10, 0.0f);
            b.CgVelocity = Vec3(0.0f, 0.0f, 30.0f);
            b.RaceTime = times[k];
            EXPECT_EQ(RunUntilChange(b, 2.0f, 0.01f), expected[k]) << times[k];
        }
    }
    // State 13 lists 15 (at most 3 km/h) then 13 (at most 15 km/h): at rest
    // both qualify, and the rider gets up whatever the race time. Picked by
    // the time alone, a rider whose animation kept ending on the same tenth
    // would lie there for ever.
    for (const float time : {0.0f, 0.1f, 0.25f, 1.15f}) {
        b.SetState(13, 0.0f);
        b.CgVelocity = Vec3();
        b.RaceTime = time;
        EXPECT_EQ(RunUntilChange(b, 2.0f, 0.01f), 15) << time;
    }
}

TEST_F(RiderStateTest, LeftoverTimeCarriesAndFallenRidersRunAtTheirOwnSpeed)
{
    Bike& b = computer();
    // 18 frames last 1 s; the step that passes the end carries the rest.
    b.SetState(13, 0.0f);
    for (int i = 0; i < 3; ++i)
        b.StateStep(0.3f);
    EXPECT_EQ(b.RiderState, 13);
    b.StateStep(0.3f);
    EXPECT_EQ(b.RiderState, 15);
    EXPECT_NEAR(b.StateTime, 0.2f, 1e-5f);
    EXPECT_NEAR(b.StatePhase, 0.2f * 18.0f / 36.0f, 1e-5f);

    // Down, the clock runs at fmod(Index + RaceTime, 0.4) + 0.8 (Index 1).
    b.Status |= kBikeDown;
    b.RaceTime = 0.3f;
    b.SetState(13, 0.0f);
    b.StateStep(0.1f);
    EXPECT_NEAR(b.StateTime, (std::fmod(1.3f, 0.4f) + 0.8f) * 0.1f, 1e-6f);
}

TEST_F(RiderStateTest, AnUntimedRecordNeverEndsByTime)
{
    Bike& b = computer();
    RiderStateTable table = table_;
    table.RiderRecords[36].FrameCount = 0;
    table.RiderRecords[5].FrameCount = 0;
    InstallRiderStateTable(CurrentRaceContext(), &table);

    b.SetState(36, 0.0f);
    b.StatePhase = 0.3f;
    EXPECT_EQ(RunUntilChange(b, 30.0f, 0.1f), 36);
    EXPECT_EQ(b.StatePhase, 0.3f);
    EXPECT_EQ(b.StateTime, 0.0f);

    // A fall state without frames: the body settles but never turns (the
    // frame of the turn is never reached), and nothing divides by zero.
    b.SetState(5, 0.0f);
    b.RiderAngles = Vec3(0.4f, 1.0f, 0.3f);
    b.CgVelocity = Vec3(3.0f, 0.0f, 0.0f);
    b.StatePhase = 5.0f;
    EXPECT_EQ(RunUntilChange(b, 2.0f), 5);
    EXPECT_EQ(b.RiderAngles.x, 0.0f);
    EXPECT_EQ(b.RiderAngles.z, 0.0f);
    EXPECT_EQ(b.RiderAngles.y, 1.0f);

    // With 40 frames the turn starts at once (36 / 40 = 0 whole runs) toward
    // the side of the body's motion; with 18 it needs two runs (never).
    table.RiderRecords[9].FrameCount = 40;
    const float facing = std::atan2(3.0f, 0.0f) + 1.5707964f;
    b.SetState(9, 0.0f);
    b.RiderAngles = Vec3(0.0f, facing - 0.1f, 0.5f);
    for (int i = 0; i < 200; ++i)
        b.StateStep(0.005f);
    ASSERT_EQ(b.RiderState, 9);
    EXPECT_EQ(b.RiderAngles.y, facing);
    EXPECT_LT(b.RiderAngles.z, 0.5f);
    table.RiderRecords[9].FrameCount = 18;
    b.SetState(9, 0.0f);
    b.RiderAngles = Vec3();
    for (int i = 0; i < 40; ++i)
        b.StateStep(0.02f);
    EXPECT_EQ(b.RiderAngles.y, 0.0f);
}

TEST_F(RiderStateTest, LookingBehindTurnsTheHeadAndEndsAtTheMiddle)
{
    Bike& b = human();
    b.Speed = 20.0f;
    b.Roll = -0.1f;
    b.SetState(4, 0.0f);
    EXPECT_FLOAT_EQ(b.StatePhase, 0.51f);
    b.Controls.Posture = ControlRecord::kLookBehindBit;
    for (int i = 0; i < 50; ++i)
        b.StateStep(0.01f);
    EXPECT_EQ(b.RiderState, 4);
    EXPECT_FLOAT_EQ(b.StatePhase, 0.9f);

    // Released: back toward the middle at 2 per second; the look ends the
    // step it crosses 0.5 (0.4 away: 20 steps of 0.01 s).
    b.Controls.Posture = 0;
    for (int i = 0; i < 19; ++i)
        b.StateStep(0.01f);
    EXPECT_EQ(b.RiderState, 4);
    EXPECT_GT(b.StatePhase, 0.5f);
    b.StateStep(0.011f);
    EXPECT_EQ(b.RiderState, -1);

    // The other way: held it goes down to 0.1.
    b.Roll = 0.1f;
    b.SetState(4, 0.0f);
    b.Controls.Posture = ControlRecord::kLookBehindBit;
    for (int i = 0; i < 50; ++i)
        b.StateStep(0.01f);
    EXPECT_FLOAT_EQ(b.StatePhase, 0.1f);

    // A timed look-behind record drives the phase from the clock instead.
    RiderStateTable table = table_;
    table.RiderRecords[4].FrameCount = 36;
    InstallRiderStateTable(CurrentRaceContext(), &table);
    b.SetState(4, 0.0f);
    b.StateStep(0.5f);
    b.StateStep(0.5f);
    EXPECT_FLOAT_EQ(b.StatePhase, 0.5f * 18.0f / 36.0f);
}

TEST_F(RiderStateTest, AfterABumpTheRiderGesturesTowardTheRival)
{
    Bike& b = computer();
    Bike& rival = human();
    const float length = world_.circuit.Length;
    // Progress whose trunc(x 5) is odd: a gesture may follow.
    auto odd = [](float p) { return TruncToInt(static_cast<double>(p) * 5.0) % 2 != 0 ? p : p + 0.2f; };
    struct Case {
        float progress;
        float rivalProgress;
        float rivalSide;
        int next;
    };
    const Case cases[] = {
        {odd(100.3f), 90.0f, -2.0f, 60},          // behind, to the right
        {odd(100.3f), 90.0f, 2.0f, 62},           // behind, to the left
        {odd(100.3f), 110.0f, -2.0f, 61},         // ahead, to the right
        {odd(100.3f), 110.0f, 2.0f, 63},          // ahead, to the left
        {odd(100.3f), odd(100.3f), 0.0f, 60},     // level counts as behind, and as right
        {odd(5.3f), length - 10.0f, 1.0f, 62},    // behind across the line
        {odd(length - 5.0f), 10.0f, -1.0f, 61},   // ahead across the line
        {100.1f, 90.0f, -2.0f, -1},               // trunc(500.5) even: back to riding
    };
    for (const Case& c : cases) {
        b.SetState(57, 0.0f);
        b.Progress = c.progress;
        b.SideOffset = 0.0f;
        rival.Progress = c.rivalProgress;
        rival.SideOffset = c.rivalSide;
        b.Rival = &rival;
        b.Posture = 0.0f;
        EXPECT_EQ(RunUntilChange(b, 2.0f), c.next) << c.progress << " " << c.rivalProgress;
        EXPECT_EQ(b.Rival, nullptr);
        EXPECT_EQ(b.Posture, 1.0f);
    }
    // Without a rival: riding.
    b.SetState(59, 0.0f);
    b.Progress = odd(100.3f);
    EXPECT_EQ(RunUntilChange(b, 2.0f), -1);
}

TEST_F(RiderStateTest, FinishersCelebrateOnAStraightWithRoomForIt)
{
    Bike& b = computer();
    const Track& path = *b.Path;
    // The longest straight of the circuit.
    int straight = -1;
    for (int i = 0; i < path.SegmentCount(); ++i)
        if (path.Segments[static_cast<std::size_t>(i)].Radius == 0.0f &&
            (straight < 0 || path.Segments[static_cast<std::size_t>(i)].Length >
                                 path.Segments[static_cast<std::size_t>(straight)].Length))
            straight = i;
    ASSERT_GE(straight, 0);
    const float start = path.SegmentStart[static_cast<std::size_t>(straight)];
    ASSERT_GT(path.Segments[static_cast<std::size_t>(straight)].Length, 70.0f);
    // A distance on it whose trunc mod 30 is `slot` and trunc(x 10) mod 5 is m.
    auto at = [&](int slot, int m) {
        const float base = std::ceil(start / 30.0f) * 30.0f + static_cast<float>(slot);
        return base + 0.1f * static_cast<float>(m) + 0.05f;
    };

    struct Case {
        const char* name;
        int place;
        int slot;
        int m;
        float frontTravel;
        float speed;
        int next;
    };
    const Case cases[] = {
        {"winner, m 4", 1, 0, 4, 0.05f, 10.0f, 31},
        {"second, m 4: nothing", 2, 0, 4, 0.05f, 10.0f, -1},
        {"winner, m 0", 1, 7, 0, 0.05f, 10.0f, 67},
        {"winner beyond his chance", 1, 8, 0, 0.05f, 10.0f, -1},
        {"second, m 2", 2, 4, 2, 0.05f, 10.0f, 69},
        {"second beyond his chance", 2, 5, 2, 0.05f, 10.0f, -1},
        {"third, m 3", 3, 2, 3, 0.05f, 10.0f, 70},
        {"third beyond his chance", 3, 3, 3, 0.05f, 10.0f, -1},
        {"fourth: nothing", 4, 0, 1, 0.05f, 10.0f, -1},
        {"front wheel in the air", 1, 0, 1, 0.0f, 10.0f, -1},
        {"no room at that speed", 1, 0, 1, 0.05f, 2000.0f, -1},
    };
    for (const Case& c : cases) {
        b.SetState(-1, 0.0f);
        b.Status = kBikeFinished;
        b.RacePosition = c.place;
        b.Segment = static_cast<std::uint32_t>(straight);
        b.Progress = at(c.slot, c.m);
        ASSERT_LT(b.Progress, path.SegmentStart[static_cast<std::size_t>(straight) + 1]) << c.name;
        b.LookAhead.Value = 0.0f;
        b.FrontWheel.Travel = c.frontTravel;
        b.RearWheel.Terrain = 0;
        b.Speed = c.speed;
        b.StateStep(0.01f);
        EXPECT_EQ(b.RiderState, c.next) << c.name;
    }

    // Never in a tight curve.
    for (int i = 0; i < path.SegmentCount(); ++i) {
        const TrackSegment& s = path.Segments[static_cast<std::size_t>(i)];
        if (s.Radius != 0.0f && std::fabs(s.Radius) <= 300.0f) {
            b.SetState(-1, 0.0f);
            b.Segment = static_cast<std::uint32_t>(i);
            b.Progress = std::floor(path.SegmentStart[static_cast<std::size_t>(i)] / 30.0f) * 30.0f + 30.05f;
            b.RacePosition = 1;
            b.FrontWheel.Travel = 0.05f;
            b.Speed = 10.0f;
            b.StateStep(0.01f);
            EXPECT_EQ(b.RiderState, -1);
            break;
        }
    }
}

TEST_F(RiderStateTest, RidingPostureFollowsHangOnOrTheRidingRule)
{
    Bike& h = human();
    h.Flags = kBikeHuman;
    h.Speed = 20.0f;
    h.Posture = 0.0f;
    h.Controls.Posture = 31; // full hang-on: sit up
    for (int i = 0; i < 100; ++i)
        h.StateStep(0.01f);
    EXPECT_EQ(h.Posture, 1.0f);
    h.Controls.Posture = 0;
    for (int i = 0; i < 200; ++i)
        h.StateStep(0.01f);
    EXPECT_EQ(h.Posture, 0.0f);

    // The riding rule (Flags bit 6): braking sits the rider up.
    Bike& c = computer();
    c.Speed = 20.0f;
    c.Posture = 0.0f;
    c.FrontWheel.Travel = c.RearWheel.Travel = 0.02f;
    c.Controls.Throttle = 10;
    c.Controls.Brake = 40;
    c.StateStep(0.01f);
    EXPECT_GT(c.Posture, 0.0f);
    c.Controls.Brake = 0;
    c.Posture = 0.5f;
    c.StateStep(0.01f);
    EXPECT_LT(c.Posture, 0.5f);

    // A finished rider sits up.
    c.Status |= kBikeFinished;
    c.RacePosition = 5;
    c.Posture = 0.0f;
    c.StateStep(0.1f);
    EXPECT_GT(c.Posture, 0.0f);
}

// After a fall the rider lifts the bike, turns it round to face the path and
// gets back on: the bike is recovered onto the track and the rider rides.
TEST_F(RiderStateTest, RiderRemountsAfterAFall)
{
    for (int k = 0; k < 2; ++k) {
        const bool person = k == 0;
        Bike& b = person ? human() : computer();
        // Fallen and at rest beside the track, facing back the way it came.
        b.Status |= kBikeDown | kBikeAtRest;
        b.Heading = b.PathHeading + 2.6f;
        b.Speed = 0.0f;
        b.CgVelocity = Vec3();
        b.SetState(21, 0.0f);

        std::vector<int> visited = {21};
        auto run = [&](float seconds) {
            for (float t = 0.0f; t < seconds && b.RiderState != -1; t += kDt) {
                b.StateStep(kDt);
                if (b.RiderState != visited.back())
                    visited.push_back(b.RiderState);
                ASSERT_TRUE(Finite(b));
            }
        };
        if (person) {
            // Standing beside the bike the player first turns it round with
            // the steering, then gets on with the throttle.
            run(3.0f);
            EXPECT_EQ(b.RiderState, -4);
            b.Controls.SteerInput = 127;
            for (int i = 0; i < 200 && std::fabs(AngleBetween(b.Heading, b.PathHeading)) > 0.3f; ++i)
                run(0.1f);
            b.Controls.SteerInput = 0;
            run(6.0f);
            EXPECT_EQ(b.RiderState, -4);
            b.Controls.Throttle = 127;
        }
        run(60.0f);
        ASSERT_EQ(b.RiderState, -1) << (person ? "human" : "computer");

        // Through the lifting, the turning states and getting on.
        auto was = [&](int s) { return std::find(visited.begin(), visited.end(), s) != visited.end(); };
        EXPECT_TRUE(was(-4));
        EXPECT_TRUE(was(32) || was(34));
        EXPECT_TRUE(was(41) || was(47));
        EXPECT_TRUE(was(22));
        EXPECT_TRUE(was(23));
        EXPECT_TRUE(was(24));
        // Recovered: no longer down, on the track, facing along the path.
        EXPECT_EQ(b.Status & (kBikeDown | kBikeAtRest | kBikeBodyActive), 0u);
        EXPECT_LT(std::fabs(AngleBetween(b.Heading, b.PathHeading)), 0.3f);
        EXPECT_LT(std::fabs(b.SideOffset), 8.0f);
        EXPECT_EQ(b.Posture, 0.0f);
    }
}

// The same in the race's whole sub-step (control, dynamics, states): after
// getting back on the computer rider rides away along the path.
TEST_F(RiderStateTest, RemountedComputerRiderRidesAwayInTheRaceStep)
{
    Bike& b = computer();
    human().Park();
    b.Status |= kBikeDown | kBikeAtRest;
    b.Heading = b.PathHeading - 2.0f;
    b.Speed = 0.0f;
    b.SetState(25, 0.0f);
    std::vector<int> visited = {25};
    float riding = 0.0f;
    for (int i = 0; i < 3000 && riding < 5.0f; ++i) {
        b.RaceTime += kDt;
        b.ControlStep(kDt);
        b.DynamicsStep(kDt);
        b.StateStep(kDt);
        if (b.RiderState != visited.back())
            visited.push_back(b.RiderState);
        if (b.RiderState == -1)
            riding += kDt;
        ASSERT_TRUE(Finite(b));
    }
    std::string path;
    for (int s : visited)
        path += std::to_string(s) + " ";
    EXPECT_GE(riding, 5.0f) << path;
    auto was = [&](int s) { return std::find(visited.begin(), visited.end(), s) != visited.end(); };
    EXPECT_TRUE(was(-3) && was(26) && was(27) && was(28)) << path;
    EXPECT_GT(b.Speed, 5.0f) << path;
    EXPECT_EQ(b.Status & kBikeDown, 0u);
}

TEST_F(RiderStateTest, PushingTheBikeTurnsItBackwardRoundItsCircle)
{
    Bike& b = computer();
    b.Status |= kBikeDown | kBikeAtRest;
    b.SetState(41, 0.0f);
    const Vec3 start = b.Position;
    const float heading = b.Heading;
    const float spin = b.RearWheel.SpinAngle;
    for (int i = 0; i < 25; ++i)
        b.StateStep(0.02f);
    ASSERT_EQ(b.RiderState, 41);
    EXPECT_NEAR(AngleBetween(b.Heading, heading), 0.25f, 1e-4f); // 1 m/s on a 2 m circle
    EXPECT_EQ(b.TurnRadius, 2.0f);
    const float moved = std::hypot(b.Position.x - start.x, b.Position.z - start.z);
    EXPECT_NEAR(moved, 2.0f * 2.0f * std::sin(0.125f), 0.02f); // the chord of 0.5 m of arc
    // Backward: against the heading it started with.
    EXPECT_LT((b.Position.x - start.x) * std::sin(heading) + (b.Position.z - start.z) * std::cos(heading), 0.0f);
    EXPECT_LT(b.RearWheel.SpinAngle, spin);
    EXPECT_EQ(b.RiderPosition.x, b.Position.x);
    EXPECT_EQ(b.RiderAngles.y, b.Heading);
    EXPECT_EQ(b.Position.y, b.RearWheel.GroundHeight);
}

// Random states, controls, velocities and sub-steps with the traps on: no
// field becomes NaN or infinite.
TEST_F(RiderStateTest, RandomRunsStayFinite)
{
    platform::RandomStream rng(12345);
    for (int round = 0; round < 400; ++round) {
        Bike& b = world_.bike(round % 2);
        const int state = static_cast<int>(rng.next() % 76) - 5;
        if (b.Status & kBikeDown)
            b.Status &= ~(kBikeDown | kBikeAtRest);
        if (rng.next() % 3 == 0)
            b.Status |= kBikeDown;
        if (rng.next() % 4 == 0)
            b.Status |= kBikeFinished;
        b.RacePosition = 1 + static_cast<int>(rng.next() % 4);
        b.SetState(state, 0.0f);
        for (int i = 0; i < 50; ++i) {
            b.Controls.Throttle = static_cast<std::uint8_t>(rng.next() % 128);
            b.Controls.Brake = static_cast<std::uint8_t>(rng.next() % 128);
            b.Controls.SteerInput = static_cast<std::int8_t>(static_cast<int>(rng.next() % 255) - 127);
            b.Controls.Posture = static_cast<std::uint8_t>(rng.next() % 64);
            b.Speed = static_cast<float>(rng.next() % 400) * 0.1f;
            b.CgVelocity = Vec3(static_cast<float>(rng.next() % 200) * 0.1f - 10.0f, 0.0f,
                                static_cast<float>(rng.next() % 200) * 0.1f - 10.0f);
            b.RaceTime += 0.05f;
            const float dt = (rng.next() % 10 == 0) ? 0.0f : static_cast<float>(1 + rng.next() % 100) * 0.001f;
            b.StateStep(dt);
            ASSERT_TRUE(Finite(b)) << "from state " << state << " now " << b.RiderState;
            ASSERT_TRUE(IsRiderState(b.RiderState) || b.RiderState < -4) << b.RiderState;
        }
    }
}

} // namespace
