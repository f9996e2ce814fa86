#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <concepts>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/random.h"
#include "sim/bike.h"
#include "sim/replay_frame.h"
#include "sim/rider_state_table.h"
#include "sim/snapshot.h"
#include "sim/track.h"
#include "tests/sim/bike_world.h"
#include "tests/sim/ride_helpers.h"
#include "tests/support/fp_traps.h"

namespace {

using bike_test::BikeWorld;
using bike_test::FakeInstance;

constexpr int kRaceSession = 4;

// --- the field lists against the headers ---

// Collects the names a field list gives, in order.
struct NameVisitor {
    std::vector<std::string> names;
    template <class M, class T>
    void Saved(M T::*, const char* name)
    {
        names.push_back(name);
    }
    template <class M, class T>
    void NotSaved(M T::*, const char* name)
    {
        names.push_back(name);
    }
};

std::string ReadSource(const char* relative)
{
    // The source tree from the build (a compiler cache may leave __FILE__
    // relative to the build folder).
    std::ifstream in(std::filesystem::path(TORVANE_SOURCE_DIR) / relative);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string StripComments(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, "//") == 0) {
            while (i < text.size() && text[i] != '\n')
                ++i;
            out.push_back('\n');
        } else if (text.compare(i, 2, "/*") == 0) {
            const std::size_t end = text.find("*/", i + 2);
            i = end == std::string::npos ? text.size() : end + 1;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

// The data members of a class, in declaration order, read from its header:
// every statement at the class's own brace level that declares no function,
// type, alias or static.
std::vector<std::string> DeclaredFields(const char* header, const char* className)
{
    const std::string text = StripComments(ReadSource(header));
    const std::string opening = std::string("class ") + className + " {";
    std::size_t start = text.find(opening);
    if (start == std::string::npos)
        return {};
    std::vector<std::string> fields;
    int depth = 0;
    std::string statement;
    bool functionBody = false;
    auto trimmed = [](const std::string& t) {
        const std::size_t a = t.find_first_not_of(" \t\r\n");
        const std::size_t b = t.find_last_not_of(" \t\r\n");
        return a == std::string::npos ? std::string() : t.substr(a, b - a + 1);
    };
    for (std::size_t i = start + opening.size() - 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '{') {
            if (++depth == 1)
                continue; // the class body opens
            if (depth == 2)
                functionBody = statement.find(')') != std::string::npos;
            statement.push_back(c);
            continue;
        }
        if (c == '}') {
            if (--depth == 0)
                break; // the class body ends
            statement.push_back(c);
            if (depth == 1 && functionBody) {
                statement.clear(); // an inline function's body ends the declaration
                functionBody = false;
            }
            continue;
        }
        if (depth >= 2) {
            statement.push_back(c);
            continue;
        }
        const std::string word = trimmed(statement);
        if (c == ':' && (word == "public" || word == "private" || word == "protected")) {
            statement.clear();
            continue;
        }
        if (c != ';') {
            statement.push_back(c);
            continue;
        }
        // One complete statement of the class body.
        std::string s = statement;
        statement.clear();
        const std::string declaration = s.substr(0, s.find('{'));
        std::string head = declaration.substr(0, declaration.find('='));
        std::istringstream words(head);
        std::string first;
        words >> first;
        if (first.empty() || declaration.find('(') != std::string::npos || first == "static" ||
            first == "using" || first == "enum" || first == "friend" || first == "typedef" || first == "struct" ||
            first == "class")
            continue;
        // Drop blanks and array bounds after the name.
        for (;;) {
            while (!head.empty() && std::isspace(static_cast<unsigned char>(head.back())))
                head.pop_back();
            if (head.empty() || head.back() != ']')
                break;
            head.erase(head.rfind('['));
        }
        std::size_t b = head.size();
        while (b > 0 && (std::isalnum(static_cast<unsigned char>(head[b - 1])) || head[b - 1] == '_'))
            --b;
        fields.push_back(head.substr(b));
    }
    return fields;
}

std::string Joined(const std::vector<std::string>& names)
{
    std::string text;
    for (const std::string& n : names)
        text += n + " ";
    return text;
}

TEST(SnapshotFieldListTest, EveryMemberOfTheSavedStructsIsListedInDeclarationOrder)
{
    NameVisitor bike, wheel, tyre;
    ForEachBikeField(bike);
    ForEachWheelField(wheel);
    ForEachTyreField(tyre);
    const std::vector<std::string> bikeDeclared = DeclaredFields("sim/bike.h", "Bike");
    const std::vector<std::string> wheelDeclared = DeclaredFields("sim/wheel_assembly.h", "WheelAssembly");
    const std::vector<std::string> tyreDeclared = DeclaredFields("sim/tyre.h", "Tyre");
    ASSERT_GT(bikeDeclared.size(), 100u) << "sim/bike.h could not be read from the source tree";
    // A field added to one of these structs must be added to its list in
    // sim/snapshot_fields.h (SAVED when a step reads or writes it).
    EXPECT_EQ(Joined(bike.names), Joined(bikeDeclared));
    EXPECT_EQ(Joined(wheel.names), Joined(wheelDeclared));
    EXPECT_EQ(Joined(tyre.names), Joined(tyreDeclared));
    // The small records saved whole: every field is four bytes, so any
    // field added changes the size.
    EXPECT_EQ(sizeof(RidingStepStart), 4 * snapshot_detail::WordCount<RidingStepStart>::value)
        << "update the RidingStepStart reader and writer in sim/snapshot.cpp";
    EXPECT_EQ(sizeof(Vec3), 12u);
    EXPECT_EQ(sizeof(Integrator), 12u);
    EXPECT_EQ(sizeof(WheelAttitude), 12u);
}

// --- filling every saved field with its own value ---

class Filler {
public:
    explicit Filler(BikeWorld& world) : world_(world) {}

    void Fill(float& v) { v = static_cast<float>(next_++) * 0.5f; }
    template <std::integral I>
    void Fill(I& v)
    {
        v = static_cast<I>(next_++ % 100 + 1);
    }
    void Fill(Vec3& v)
    {
        Fill(v.x);
        Fill(v.y);
        Fill(v.z);
    }
    void Fill(Integrator& i)
    {
        Fill(i.Value);
        Fill(i.Rate);
        Fill(i.Limit);
    }
    void Fill(WheelAttitude& a)
    {
        Fill(a.Pitch);
        Fill(a.Heading);
        Fill(a.Roll);
    }
    void Fill(ControlRecord& c)
    {
        Fill(c.Status);
        Fill(c.Throttle);
        Fill(c.Brake);
        c.SteerInput = static_cast<std::int8_t>(-(next_++ % 100) - 1);
        Fill(c.Posture);
    }
    void Fill(RidingStepStart& s)
    {
        Fill(s.CgPosition);
        Fill(s.FrontHub);
        Fill(s.RearHub);
        Fill(s.Pitch);
        Fill(s.Heading);
        Fill(s.Roll);
        Fill(s.FrontGround);
        Fill(s.RearGround);
    }
    void Fill(Bike*& b) { b = &world_.bike(static_cast<int>(next_++ % static_cast<std::uint32_t>(world_.bike_count))); }
    void Fill(Track*& t) { t = &world_.pit_lane; }
    template <class T, std::size_t N>
    void Fill(T (&array)[N])
    {
        for (T& element : array)
            Fill(element);
    }
    void Fill(WheelAssembly& w) { Visit(w, [](auto& v) { ForEachWheelField(v); }); }
    void Fill(Tyre& t) { Visit(t, [](auto& v) { ForEachTyreField(v); }); }

    template <class T, class List>
    void Visit(T& object, List list)
    {
        Visitor<T> visitor{*this, object};
        list(visitor);
    }

private:
    template <class T>
    struct Visitor {
        Filler& filler;
        T& object;
        template <class M>
        void Saved(M T::*member, const char*)
        {
            filler.Fill(object.*member);
        }
        template <class M>
        void NotSaved(M T::*, const char*)
        {
        }
    };

    BikeWorld& world_;
    std::uint32_t next_ = 1;
};

std::vector<std::uint32_t> Snapshot(Bike& b)
{
    std::vector<std::uint32_t> words(kBikeSnapshotWords, 0xDEADBEEFu);
    b.SaveSnapshot(words.data(), true);
    return words;
}

TEST(BikeSnapshotTest, EverySavedFieldComesBackAndBindingsStay)
{
    BikeWorld world;
    world.Load("Island", kRaceSession);
    world.MakeBikes(3, 1);
    world.PlaceAll();
    Bike& a = world.bike(0);
    Bike& b = world.bike(1);

    Filler filler(world);
    filler.Visit(a, [](auto& v) { ForEachBikeField(v); });
    const std::vector<std::uint32_t> saved = Snapshot(a);
    EXPECT_EQ(saved[0], kBikeSnapshotMark);
    EXPECT_EQ(saved[1], kBikeSnapshotWords);
    EXPECT_NE(saved.back(), 0xDEADBEEFu) << "the save writes every word of the snapshot";

    const std::int32_t index = b.Index;
    const BikeSetup* setup = b.Setup;
    const GridEntry* entry = b.GridEntry;
    const float* power = b.PowerTable;
    ASSERT_TRUE(b.RestoreSnapshot(saved.data(), true));
    EXPECT_EQ(Snapshot(b), saved);

    // Pointers come back as what they pointed at; bindings are the bike's own.
    EXPECT_EQ(b.Rival, a.Rival);
    EXPECT_EQ(b.Ahead, a.Ahead);
    EXPECT_EQ(b.Path, &world.pit_lane);
    EXPECT_EQ(b.Controls.SteerInput, a.Controls.SteerInput);
    EXPECT_LT(b.Controls.SteerInput, 0);
    EXPECT_EQ(b.Index, index);
    EXPECT_EQ(b.Setup, setup);
    EXPECT_EQ(b.GridEntry, entry);
    EXPECT_EQ(b.PowerTable, power);
    EXPECT_EQ(b.FrontWheel.Owner, &b);
    EXPECT_EQ(b.RearWheel.Owner, &b);
}

// The word at which a saved bike field starts in the snapshot.
struct OffsetVisitor {
    const char* wanted;
    std::size_t words = kSnapshotHeaderWords;
    std::size_t found = 0;
    template <class M, class T>
    void Saved(M T::*, const char* name)
    {
        if (std::strcmp(name, wanted) == 0)
            found = words;
        words += snapshot_detail::WordCount<M>::value;
    }
    template <class M, class T>
    void NotSaved(M T::*, const char*)
    {
    }
};

std::size_t WordOf(const char* field)
{
    OffsetVisitor v{field};
    ForEachBikeField(v);
    return v.found;
}

TEST(BikeSnapshotTest, IndexesAndMarksReadBackAreChecked)
{
    BikeWorld world;
    world.Load("Island", kRaceSession);
    world.MakeBikes(2, 1);
    world.PlaceAll();
    Bike& b = world.bike(0);
    b.Rival = &world.bike(1);
    std::vector<std::uint32_t> words = Snapshot(b);

    // A bike index beyond the race's bikes reads as no bike.
    std::vector<std::uint32_t> damaged = words;
    ASSERT_GT(WordOf("Rival"), 0u);
    damaged[WordOf("Rival")] = 7;
    ASSERT_TRUE(b.RestoreSnapshot(damaged.data(), true));
    EXPECT_EQ(b.Rival, nullptr);

    // A buffer that is not a bike snapshot of this layout is refused.
    b.Speed = 12.0f;
    for (std::size_t word : {std::size_t{0}, std::size_t{1}}) {
        damaged = words;
        damaged[word] += 1;
        EXPECT_FALSE(b.RestoreSnapshot(damaged.data(), true));
        EXPECT_EQ(b.Speed, 12.0f);
    }
    EXPECT_FALSE(b.RestoreSnapshot(nullptr, true));
}

TEST(BikeSnapshotTest, ASnapshotIsTakenOnceAndRestoredOnlyWhereOneIsCurrent)
{
    BikeWorld world;
    world.Load("Island", kRaceSession);
    world.MakeBikes(1, 1);
    world.PlaceAll();
    Bike& b = world.bike(0);
    const std::uint32_t status = b.Status;
    std::vector<std::uint32_t> words(kBikeSnapshotWords, 0);

    // A bike without a current snapshot is not restored.
    EXPECT_FALSE(b.RestoreSnapshot(Snapshot(b).data(), false));

    b.Speed = 10.0f;
    b.SaveSnapshot(words.data(), false);
    EXPECT_EQ(b.Status, status | kBikeSnapshotSaved);
    b.Speed = 20.0f;
    b.SaveSnapshot(words.data(), false); // not taken again
    b.Speed = 30.0f;
    ASSERT_TRUE(b.RestoreSnapshot(words.data(), false));
    EXPECT_EQ(b.Speed, 10.0f);
    EXPECT_EQ(b.Status, status); // the saved status, which lacks the mark

    b.Speed = 40.0f;
    b.SaveSnapshot(words.data(), true); // forced: taken, the live bike unmarked
    EXPECT_EQ(b.Status, status);
    b.Speed = 0.0f;
    EXPECT_TRUE(b.RestoreSnapshot(words.data(), true));
    EXPECT_EQ(b.Speed, 40.0f);
}

TEST(BikeSnapshotTest, RestoreShowsTheAnimationsOfTheRestoredState)
{
    BikeWorld world;
    world.Load("Island", kRaceSession);
    world.MakeBikes(1, 1);
    world.PlaceAll();
    Bike& b = world.bike(0);
    b.BikeInstance = FakeInstance(1);
    b.RiderInstance = FakeInstance(2);
    RiderStateTable table;
    for (int i = 0; i < kRiderStateRecords; ++i)
        table.RiderHash[i] = 1000u + static_cast<std::uint32_t>(i);
    RaceContext& race = CurrentRaceContext();
    race.RiderStates = &table;
    race.BikeAnimations[0] = 77;
    race.BikeAnimations[1] = 88;

    struct Case {
        std::int32_t state;
        std::uint32_t bikeAnimation;
        std::uint32_t riderAnimation;
    } const cases[] = {
        {21, 77, 1021}, {25, 88, 1025}, {5, 0, 1005}, {70, 0, 1070},
        {-1, 0, 1002},  {-4, 0, 1022},  {-3, 0, 1026}, {-2, 0, 1000},
    };
    for (const Case& c : cases) {
        b.RiderState = c.state;
        const std::vector<std::uint32_t> words = Snapshot(b);
        b.RiderState = -1;
        world.hooks.animations.clear();
        ASSERT_TRUE(b.RestoreSnapshot(words.data(), true));
        EXPECT_EQ(b.RiderState, c.state);
        ASSERT_EQ(world.hooks.animations.size(), 2u) << c.state;
        EXPECT_EQ(world.hooks.animations[0].first, b.BikeInstance);
        EXPECT_EQ(world.hooks.animations[0].second, c.bikeAnimation) << c.state;
        EXPECT_EQ(world.hooks.animations[1].first, b.RiderInstance);
        EXPECT_EQ(world.hooks.animations[1].second, c.riderAnimation) << c.state;
    }
    race.RiderStates = nullptr;
}

TEST(SimulationStateTest, RandomStreamAndKeptValuesComeBack)
{
    BikeWorld world;
    world.Load("Island", kRaceSession);
    platform::RandomStream& random = platform::random_stream(platform::RandomStreamId::Simulation);
    random.seed(99);
    random.next();
    LastApproachAccel = 1.25f;
    CurrentRaceContext().RaceRecord = 95.5f;
    world.circuit.LastSection = 3;
    std::vector<std::uint32_t> words(kSimulationStateWords, 0);
    SaveSimulationState(words.data());

    const int first[3] = {random.next(), random.next(), random.next()};
    LastApproachAccel = -4.0f;
    CurrentRaceContext().RaceRecord = kNoLapTime;
    world.circuit.LastSection = 9;
    ASSERT_TRUE(RestoreSimulationState(words.data()));
    EXPECT_EQ(LastApproachAccel, 1.25f);
    EXPECT_EQ(CurrentRaceContext().RaceRecord, 95.5f);
    EXPECT_EQ(world.circuit.LastSection, 3);
    for (int value : first)
        EXPECT_EQ(random.next(), value);

    // A section hint beyond the path is not taken; a foreign buffer is refused.
    words[kSnapshotHeaderWords + 2] = 1000000;
    world.circuit.LastSection = 4;
    ASSERT_TRUE(RestoreSimulationState(words.data()));
    EXPECT_EQ(world.circuit.LastSection, 4);
    words[0] = 0;
    EXPECT_FALSE(RestoreSimulationState(words.data()));
}

// --- restoring and running on ---

// A race on the demo circuit: the human rider (bike 0) follows a line that
// jumps from one side of the track to the other every four seconds (he
// falls now and then, so the crash and the remount run too), three
// computer riders race him.
class SnapshotRace {
public:
    SnapshotRace()
    {
        world.Load("Island", kRaceSession);
        states_ = std::make_unique<ride_test::DemoRiderStates>(world.dir());
        world.MakeBikes(4, 1);
        world.PlaceAll();
        platform::random_stream(platform::RandomStreamId::Simulation).seed(20240611);
        LastApproachAccel = 0.0f;
        CurrentRaceContext().Flags |= kRaceRacing;
    }

    // The race's sub-steps: every rider's control step, then each rider's
    // dynamics and state steps.
    void Run(float seconds)
    {
        const float dt = 1.0f / 60.0f;
        const int frames = static_cast<int>(seconds / dt + 0.5f);
        for (int f = 0; f < frames; ++f, ++frame_) {
            rider_.SideOffset = (frame_ / 240) % 2 == 0 ? 3.0f : -3.0f;
            rider_.Drive(world.bike(0));
            for (int i = 0; i < world.bike_count; ++i)
                world.bike(i).ControlStep(dt);
            for (int i = 0; i < world.bike_count; ++i) {
                world.bike(i).DynamicsStep(dt);
                world.bike(i).StateStep(dt);
            }
        }
    }

    // A race state: the simulation state and every bike's snapshot.
    std::vector<std::uint32_t> Save()
    {
        std::vector<std::uint32_t> words(kSimulationStateWords + kBikeSnapshotWords * world.bike_count);
        SaveSimulationState(words.data());
        riders_[frame_] = rider_;
        for (int i = 0; i < world.bike_count; ++i)
            world.bike(i).SaveSnapshot(words.data() + kSimulationStateWords + kBikeSnapshotWords * i, true);
        return words;
    }

    // The scripted rider keeps his own throttle and lean from frame to
    // frame: a restore puts back the rider he was at that frame too.
    void Restore(const std::vector<std::uint32_t>& words, int frame)
    {
        rider_ = riders_.at(frame);
        ASSERT_TRUE(RestoreSimulationState(words.data()));
        for (int i = 0; i < world.bike_count; ++i)
            ASSERT_TRUE(
                world.bike(i).RestoreSnapshot(words.data() + kSimulationStateWords + kBikeSnapshotWords * i, true));
        frame_ = frame;
    }

    int Frame() const { return frame_; }

    BikeWorld world;

private:
    std::unique_ptr<ride_test::DemoRiderStates> states_;
    ride_test::ScriptedRider rider_;
    std::map<int, ride_test::ScriptedRider> riders_; // by the frame saved at
    int frame_ = 0;
};

TEST(BikeSnapshotRunTest, RestoringAndRunningOnGivesTheBitsOfARunNeverSaved)
{
    torvane_test::FpTraps traps;
    constexpr float kBefore = 30.0f;
    constexpr float kAfter = 15.0f;

    std::vector<std::uint32_t> straight;
    {
        SnapshotRace race;
        race.Run(kBefore + kAfter);
        straight = race.Save();
    }

    SnapshotRace race;
    race.Run(kBefore);
    const std::vector<std::uint32_t> checkpoint = race.Save();
    const int frame = race.Frame();
    race.Run(kAfter);
    const std::vector<std::uint32_t> first = race.Save();
    EXPECT_EQ(first, straight) << "saving changes nothing";
    EXPECT_NE(first, checkpoint) << "the bikes moved on";

    race.Restore(checkpoint, frame);
    EXPECT_EQ(race.Save(), checkpoint);
    race.Run(kAfter);
    EXPECT_EQ(race.Save(), straight) << "restoring and running on repeats the run bit for bit";
    for (int i = 0; i < race.world.bike_count; ++i) {
        EXPECT_GT(race.world.bike(i).RaceTime, 40.0f);
        EXPECT_GT(race.world.bike(i).Laps * race.world.circuit.Length + race.world.bike(i).Progress, 100.0f)
            << "bike " << i << " rode on";
    }
}

// --- replay frames ---

TEST(ReplayAngleTest, AnglesBecomeBytesAfterFoldingAndComeBackInSteps)
{
    constexpr float kPi = 3.14159265f;
    struct Case {
        float angle;
        std::int8_t byte;
    } const cases[] = {
        {kPi, 127},                       // 127.5 truncated
        {-kPi, -127},
        {0.0f, 0},
        {1.0f, 40},
        {-1.0f, -40},
        {1.0f + 2.0f * kPi, 40},          // a heading that turned round once
        {1.0f - 40.0f * kPi, 40},         // and twenty times the other way
        {std::numeric_limits<float>::quiet_NaN(), 0},
        {std::numeric_limits<float>::infinity(), 0},
    };
    torvane_test::FpTraps traps;
    for (const Case& c : cases)
        EXPECT_EQ(AngleToByte(c.angle), c.byte) << c.angle;
    EXPECT_NEAR(AngleFromByte(127), 3.1292729f, 1e-5f);
    EXPECT_NEAR(AngleFromByte(-127), -3.1292729f, 1e-5f);
}

TEST(ReplayAngleTest, InterpolationTakesTheShorterWayRound)
{
    constexpr float kDegree = 0.017453293f;
    const std::int8_t plus170 = AngleToByte(170.0f * kDegree);
    const std::int8_t minus170 = AngleToByte(-170.0f * kDegree);
    EXPECT_NEAR(std::fabs(AngleByteLerp(plus170, minus170, 0.5f)), 180.0f * kDegree, 0.02f);
    EXPECT_NEAR(AngleByteLerp(plus170, minus170, 0.25f), 175.0f * kDegree, 0.02f);
    EXPECT_NEAR(AngleByteLerp(10, 20, 0.5f), AngleFromByte(15), 1e-6f);
    EXPECT_EQ(AngleByteLerp(10, 20, 0.0f), AngleFromByte(10));

    EXPECT_EQ(ByteDifference(-128, 1), 127);
    EXPECT_EQ(ByteDifference(100, -100), -56);
    EXPECT_EQ(ByteBlend(-10, 30, 0.25f), 0.0f);
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

TEST(ReplayFrameTest, FramesAndRiderRecordsHaveTheirStoredLayout)
{
    ReplayFrame f;
    f.X = 5.0f;
    f.Y = 100.0f;
    f.Z = -5.0f;
    f.Pitch = 1;
    f.Heading = -1;
    f.Roll = 127;
    f.State = -1;
    f.Phase = 64;
    f.Value = -2;
    ReplayRiderRecord r;
    r.X = 0.5f;
    r.Y = 2.0f;
    r.Z = 1.0f;
    r.Pitch = -128;
    r.Heading = 3;
    r.Roll = 4;
    std::vector<std::uint8_t> bytes;
    platform::ByteWriter out(bytes);
    WriteReplayFrame(out, f);
    WriteReplayRiderRecord(out, r);
    EXPECT_EQ(Hex(bytes), "0000a040" "0000c842" "0000a0c0" "01ff7fff40" "00" "feff"
                          "0000003f" "00000040" "0000803f" "800304" "00");

    platform::ByteReader in(bytes);
    ReplayFrame f2;
    ReplayRiderRecord r2;
    ASSERT_TRUE(ReadReplayFrame(in, &f2));
    ASSERT_TRUE(ReadReplayRiderRecord(in, &r2));
    EXPECT_EQ(f2.Z, -5.0f);
    EXPECT_EQ(f2.Heading, -1);
    EXPECT_EQ(f2.Value, -2);
    EXPECT_EQ(r2.Pitch, -128);
    EXPECT_FALSE(ReadReplayFrame(in, &f2));
    platform::ByteReader shortIn(bytes.data(), 19);
    EXPECT_FALSE(ReadReplayFrame(shortIn, &f2));

    // A damaged coordinate is refused rather than posing a bike nowhere.
    for (const float bad : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(), 3e38f}) {
        std::vector<std::uint8_t> damaged;
        platform::ByteWriter w(damaged);
        ReplayFrame g = f;
        g.Y = bad;
        WriteReplayFrame(w, g);
        ReplayRiderRecord h = r;
        h.Z = bad;
        WriteReplayRiderRecord(w, h);
        platform::ByteReader d(damaged);
        f2.Value = 77;
        EXPECT_FALSE(ReadReplayFrame(d, &f2));
        EXPECT_EQ(f2.Value, 77);
        d.seek(kReplayFrameBytes);
        EXPECT_FALSE(ReadReplayRiderRecord(d, &r2));
    }
}

// A rider animation table in which the rider is apart from the bike in
// states 5 to 20 and attached otherwise.
RiderStateTable ApartTable()
{
    RiderStateTable table;
    for (int s = 0; s < kRiderStateRecords; ++s) {
        table.RiderRecords[s].Attached = s >= 5 && s <= 20 ? 0 : 1;
        for (int k = 0; k < kFollowUpSlots; ++k)
            table.RiderRecords[s].FollowUp[k] = -1;
    }
    return table;
}

class ReplayPlayTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        world_.Load("Island", kRaceSession);
        world_.MakeBikes(2, 1);
        world_.PlaceAll();
    }

    ReplayFrame FrameOf(Bike& b, std::uint16_t riderIndex = 0, ReplayRiderRecord* rider = nullptr)
    {
        ReplayFrame f;
        ReplayRiderRecord spare;
        b.EncodeReplayFrame(&f, rider ? rider : &spare, riderIndex);
        return f;
    }

    BikeWorld world_;
};

TEST_F(ReplayPlayTest, AFrameShowsTheBikeWhereItWas)
{
    torvane_test::FpTraps traps;
    Bike& source = world_.bike(0);
    source.Posture = 0.5f;
    source.Roll = 0.3f;
    source.RiderState = -1;
    source.RideValue = -0.25f;
    ReplayFrame f;
    ReplayRiderRecord rider;
    EXPECT_FALSE(source.EncodeReplayFrame(&f, &rider, 5));
    EXPECT_EQ(f.State, -1);
    EXPECT_EQ(f.Phase, -31);
    EXPECT_EQ(f.Value, 16383);

    Bike& shown = world_.bike(1);
    RiderRecordBlocks none;
    shown.ShowReplayFrame(f, none);
    EXPECT_NEAR(shown.Position.x, source.Position.x, 1e-4f);
    EXPECT_NEAR(shown.Position.y, source.Position.y, 1e-4f);
    EXPECT_NEAR(shown.Position.z, source.Position.z, 1e-4f);
    EXPECT_NEAR(shown.Roll, source.Roll, 0.025f);
    EXPECT_NEAR(bike_test::AngleBetween(shown.Heading, source.Heading), 0.0f, 0.025f);
    EXPECT_NEAR(shown.Posture, 0.5f, 1e-4f);
    EXPECT_EQ(shown.RiderState, -1);
    EXPECT_NEAR(shown.RideValue, -31.0f / 127.0f, 1e-6f);
    EXPECT_EQ(shown.RiderPosition.x, shown.Position.x);
    // The pose follows: front wheel one wheelbase ahead, the centre of mass
    // above, the progress along the path.
    const Vec3 d = shown.FrontWheel.ContactPoint.Minus(shown.RearWheel.ContactPoint);
    EXPECT_NEAR(d.Length(), shown.Wheelbase, 1e-3f);
    EXPECT_NEAR(shown.Progress, source.Progress, 0.5f);
}

TEST_F(ReplayPlayTest, CyclicPhasesWrapAndANewStateStartsItsPhaseFromZero)
{
    Bike& b = world_.bike(0);
    ReplayFrame a = FrameOf(b);
    ReplayFrame c = a;
    a.State = c.State = 36;
    a.Phase = 120;
    c.Phase = 10;
    RiderRecordBlocks none;
    struct Case {
        float t;
        float phase;
    } const wrapping[] = {
        // trunc((b + 127) t + a (1 - t)) & 127: through 127 and round to 0.
        {0.0f, 120.0f}, {0.25f, 124.0f}, {0.5f, 0.0f}, {0.75f, 4.0f}, {1.0f, 9.0f}};
    for (const Case& k : wrapping) {
        b.PlayReplayFrame(a, c, none, k.t);
        EXPECT_EQ(b.RiderState, 36);
        EXPECT_NEAR(b.StatePhase, k.phase / 127.0f, 1e-6f) << k.t;
    }

    a.Phase = 40; // no wrap: a plain blend
    b.PlayReplayFrame(a, c, none, 0.5f);
    EXPECT_NEAR(b.StatePhase, 25.0f / 127.0f, 1e-6f);

    c.State = 37;
    c.Phase = 100;
    for (const float t : {0.0f, 0.5f, 1.0f}) {
        b.PlayReplayFrame(a, c, none, t);
        EXPECT_EQ(b.RiderState, 37);
        EXPECT_NEAR(b.StatePhase, 100.0f * t / 127.0f, 1e-6f) << t;
    }
}

TEST_F(ReplayPlayTest, SpeedAndWheelTravelComeFromTheFramesPositions)
{
    Bike& b = world_.bike(0);
    ReplayFrame a = FrameOf(b);
    ReplayFrame c = a;
    c.X += 3.0f;
    c.Z += 4.0f;
    RiderRecordBlocks none;
    b.PlayReplayFrame(a, c, none, 0.0f);
    b.PlayReplayFrame(a, c, none, 0.5f);
    EXPECT_EQ(b.Speed, 5.0f); // in stored units
    EXPECT_NEAR(b.RearWheel.StepDistance, 0.5f, 1e-3f); // half of 5 stored units of 0.2 m
}

TEST_F(ReplayPlayTest, RiderRecordsPoseAThrownRiderAndBadIndexesAndStatesAreRefused)
{
    RiderStateTable table = ApartTable();
    CurrentRaceContext().RiderStates = &table;
    Bike& b = world_.bike(0);

    // Riding in frame a; thrown off in frame b, with rider record 1001.
    b.RiderState = -1;
    b.Posture = 1.0f;
    const ReplayFrame riding = FrameOf(b);
    b.RiderState = 10;
    b.RiderPosition = b.Position.Plus(Vec3(4.0f, 1.0f, -2.0f));
    b.RiderAngles = Vec3(0.0f, 1.0f, 0.5f);
    ReplayRiderRecord thrownRider;
    ReplayFrame thrown;
    EXPECT_TRUE(b.EncodeReplayFrame(&thrown, &thrownRider, 1001));
    EXPECT_EQ(thrown.Value, 1001);

    std::vector<ReplayRiderRecord> block0(kReplayRiderBlockRecords), block1(kReplayRiderBlockRecords);
    block1[1] = thrownRider;
    ReplayRiderRecord* blockList[2] = {block0.data(), block1.data()};
    const RiderRecordBlocks blocks{blockList, 2};

    Bike& p = world_.bike(1);
    p.PlayReplayFrame(riding, riding, blocks, 0.5f);
    EXPECT_NEAR(p.Posture, 1.0f, 1e-4f);
    p.PlayReplayFrame(riding, thrown, blocks, 0.5f);
    EXPECT_EQ(p.RiderState, 10);
    EXPECT_EQ(p.Posture, 0.0f);
    const Vec3 rider = p.RiderPosition.Minus(Vec3(riding.X * 0.2f, riding.Y * 0.01f, riding.Z * 0.2f));
    EXPECT_NEAR(rider.x, 2.0f, 1e-3f);
    EXPECT_NEAR(rider.y, 0.5f, 1e-3f);
    EXPECT_NEAR(rider.z, -1.0f, 1e-3f);
    EXPECT_NEAR(p.RiderAngles.y, AngleByteLerp(riding.Heading, thrownRider.Heading, 0.5f), 1e-6f);

    // A rider record index beyond the recording: the rider stays on the bike.
    ReplayFrame lost = thrown;
    lost.Value = 2500;
    p.PlayReplayFrame(lost, lost, blocks, 0.5f);
    EXPECT_EQ(p.RiderPosition.x, p.Position.x);
    EXPECT_EQ(p.RiderPosition.z, p.Position.z);

    // A state byte that names no rider state reads as riding.
    ReplayFrame odd = riding;
    odd.State = 100;
    p.PlayReplayFrame(thrown, odd, blocks, 1.0f);
    EXPECT_EQ(p.RiderState, -1);
    odd.State = -100;
    p.RiderState = 5;
    p.ShowReplayFrame(odd, blocks);
    EXPECT_EQ(p.RiderState, -1);
    CurrentRaceContext().RiderStates = nullptr;
}

} // namespace
