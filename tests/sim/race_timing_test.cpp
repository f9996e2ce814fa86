#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <memory>
#include <string>

#include "app/game_app.h"
#include "platform/random.h"
#include "sim/bike.h"
#include "sim/race_conditions.h"
#include "sim/race_context.h"
#include "sim/race_timing.h"
#include "sim/track.h"
#include "tests/sim/bike_world.h"
#include "tests/sim/timing_hooks.h"
#include "tests/support/fp_traps.h"

using bike_test::BikeWorld;
using bike_test::TimingHooks;

namespace {

constexpr int kQualifying = 2;
constexpr int kRace = 4;

platform::RandomStream& SimulationStream()
{
    return platform::random_stream(platform::RandomStreamId::Simulation);
}

// A state of the simulation stream whose next draw satisfies `wanted`.
template <typename Wanted>
std::uint32_t StateDrawing(Wanted wanted)
{
    for (std::uint32_t s = 1;; ++s) {
        platform::RandomStream probe(s);
        if (wanted(probe.next()))
            return s;
    }
}

// Bikes on a demo circuit with the race running: the bikes are moved by
// hand along the centre line and timed by AdvanceTime, as the dynamics step
// would after each riding step.
class RaceTimingTest : public ::testing::Test {
protected:
    void Start(const char* track, int session, int bikes, int humans = 0, int laps = 3)
    {
        // One world at a time: each saves and restores the program's records.
        world.reset();
        world = std::make_unique<BikeWorld>(std::vector<std::string>{track});
        world->Load(track, session);
        RaceConditions& conditions = CurrentRaceConditions();
        conditions.Laps = laps;
        conditions.Skill = 3;
        world->MakeBikes(bikes, humans);
        RaceContext& race = CurrentRaceContext();
        race.Hooks = &hooks;
        race.StandingOrder = order.data();
        for (int i = 0; i < 32; ++i)
            order[static_cast<std::size_t>(i)] = i;
        world->PlaceAll();
        race.Flags |= kRaceRacing;
        hooks.calls.clear();
    }

    Track& circuit() { return world->circuit; }
    Bike& bike(int i) { return world->bike(i); }

    // The bike on the circuit's centre line at distance d (no crossing).
    void PutAt(Bike& b, float d, int laps)
    {
        Track& c = circuit();
        Vec2 point;
        c.DistanceToPoint(d, &point, nullptr);
        b.Status &= ~(kBikeParked | kBikePitPlaced);
        b.Path = &c;
        b.Position = Vec3(point.x, 0.0f, point.z);
        b.Segment = 0;
        for (int s = 0; s < c.SegmentCount(); ++s)
            if (c.SegmentStart[static_cast<std::size_t>(s)] <= d)
                b.Segment = static_cast<std::uint32_t>(s);
        b.Progress = d;
        b.Laps = static_cast<std::int8_t>(laps);
        b.FurthestProgress = static_cast<float>(laps) * c.Length + d;
    }

    // One timing step after moving the bike `step` metres along the line.
    void Drive(Bike& b, float step, float dt)
    {
        const float length = b.Path->Length;
        float target = b.Progress + step;
        if (target >= length)
            target -= length;
        if (target < 0.0f)
            target += length;
        Vec2 point;
        b.Path->DistanceToPoint(target, &point, nullptr);
        b.Position = Vec3(point.x, 0.0f, point.z);
        b.AdvanceTime(dt);
    }

    // Drives on until the bike's lap count changes; returns the steps taken.
    int DriveToLine(Bike& b, float step, float dt)
    {
        const int laps = b.Laps;
        int steps = 0;
        while (b.Laps == laps && steps < 10000) {
            Drive(b, step, dt);
            ++steps;
        }
        EXPECT_LT(steps, 10000);
        return steps;
    }

    torvane_test::FpTraps traps;
    std::unique_ptr<BikeWorld> world;
    TimingHooks hooks;
    std::array<std::int32_t, 32> order{};
};

TEST_F(RaceTimingTest, FirstCrossingStartsLapZeroAndLapsAreTimedFromTheStart)
{
    Start("Island", kRace, 2, 0, 5);
    Bike& b = bike(0);
    ASSERT_EQ(b.Laps, -1);

    // Off the grid: the first crossing starts lap 0 and times nothing.
    DriveToLine(b, 40.0f, 1.0f);
    EXPECT_EQ(b.Laps, 0);
    EXPECT_EQ(b.BestLap, kNoLapTime);
    EXPECT_EQ(b.LastLap, 0.0f);
    EXPECT_EQ(b.LapStartTime, 0.0f);
    EXPECT_GT(b.LapTime, 0.0f); // the first lap is timed from the start
    EXPECT_EQ(b.LapTime, b.RaceTime);

    // Lap 1 ends: timed, best lap and race record; the delta waits for a
    // second lap.
    const int steps1 = DriveToLine(b, 40.0f, 1.0f);
    const float lap1 = b.LastLap;
    EXPECT_EQ(b.Laps, 1);
    EXPECT_FLOAT_EQ(lap1, b.RaceTime);
    EXPECT_GE(lap1, static_cast<float>(steps1));
    EXPECT_EQ(b.LapDelta, 0.0f);
    EXPECT_EQ(b.BestLap, lap1);
    EXPECT_EQ(b.LapTime, 0.0f);
    EXPECT_EQ(b.LapStartTime, b.RaceTime);
    EXPECT_EQ(CurrentRaceContext().RaceRecord, lap1);
    EXPECT_EQ(CurrentRaceContext().OverlayBike, 0);
    EXPECT_EQ(hooks.Count("raise 256"), 1);

    // A slower lap 2: a positive delta, no new best, no record.
    const int steps2 = DriveToLine(b, 40.0f, 1.25f);
    EXPECT_EQ(b.Laps, 2);
    EXPECT_FLOAT_EQ(b.LastLap, 1.25f * static_cast<float>(steps2));
    EXPECT_FLOAT_EQ(b.LapDelta, b.LastLap - lap1);
    EXPECT_EQ(b.BestLap, lap1);
    EXPECT_EQ(hooks.Count("raise 256"), 1);

    // The viewed rider hears of each lap (and, lying second, of the leader).
    EXPECT_EQ(hooks.Count("raise 4096"), 3);
    EXPECT_EQ(hooks.Count("raise 1024"), 0);
}

TEST_F(RaceTimingTest, RaceRecordAndNoticesAtTheLine)
{
    Start("Island", kRace, 3, 1, 5);
    RaceContext& race = CurrentRaceContext();
    // Rider 1 leads the standings; the viewed rider 0 lies second.
    order[0] = 1;
    order[1] = 0;
    bike(0).RacePosition = 2;
    bike(1).RacePosition = 1;

    Bike& viewed = bike(0);
    PutAt(viewed, circuit().Length - 30.0f, 0);
    DriveToLine(viewed, 40.0f, 1.0f);
    EXPECT_TRUE(hooks.Has("raise 4096"));
    EXPECT_TRUE(hooks.Has("raise 1024"));
    EXPECT_EQ(race.OverlayBike, 1);

    // A faster lap elsewhere is a record; once the race is finished the
    // record still falls but is not announced.
    Bike& other = bike(2);
    PutAt(other, circuit().Length - 30.0f, 1);
    other.LapTime = 80.0f;
    race.RaceRecord = 90.0f;
    hooks.calls.clear();
    DriveToLine(other, 40.0f, 0.0f);
    EXPECT_EQ(race.RaceRecord, 80.0f);
    EXPECT_EQ(race.OverlayBike, 2);
    EXPECT_EQ(hooks.calls, std::vector<std::string>{"raise 256"}); // not the viewed rider: no lap notice

    race.Flags |= kRaceFinished;
    PutAt(other, circuit().Length - 30.0f, 1);
    other.Status &= ~kBikeFinished;
    other.LapTime = 70.0f;
    race.OverlayBike = -1;
    hooks.calls.clear();
    DriveToLine(other, 40.0f, 0.0f);
    EXPECT_EQ(race.RaceRecord, 70.0f);
    EXPECT_EQ(race.OverlayBike, -1);
    EXPECT_FALSE(hooks.Has("raise 256"));

    // The human rider's record keeps the best lap too.
    PutAt(viewed, circuit().Length - 30.0f, 1);
    viewed.LapTime = 95.0f;
    DriveToLine(viewed, 40.0f, 0.0f);
    EXPECT_EQ(world->players[0].BestLap, viewed.BestLap);
}

TEST_F(RaceTimingTest, RiderBehindTheWinnerFinishesAtHisNextCrossing)
{
    Start("Island", kRace, 2, 0, 2);
    RaceContext& race = CurrentRaceContext();
    Bike& winner = bike(0);
    Bike& second = bike(1);
    winner.RacePosition = 1;
    second.RacePosition = 2;

    PutAt(winner, circuit().Length - 30.0f, 1);
    DriveToLine(winner, 40.0f, 1.0f);
    EXPECT_EQ(winner.Laps, 2);
    EXPECT_TRUE(winner.Status & kBikeFinished);
    EXPECT_TRUE(race.Flags & kRaceFinished);
    // The viewed winner: television camera, the finish messages.
    EXPECT_EQ(hooks.Count("camera 4"), 1);
    EXPECT_EQ(hooks.Count("raise 128"), 1);
    EXPECT_EQ(hooks.Count("raise 16384"), 1);
    EXPECT_EQ(hooks.Count("disable 3"), 1);

    // One lap down, the second rider finishes at his next crossing.
    PutAt(second, circuit().Length - 30.0f, 0);
    DriveToLine(second, 40.0f, 1.0f);
    EXPECT_EQ(second.Laps, 1);
    EXPECT_TRUE(second.Status & kBikeFinished);
    const float raceTime = second.RaceTime;
    Drive(second, 40.0f, 1.0f);
    EXPECT_EQ(second.RaceTime, raceTime); // a finished bike's race time stands

    // Running on over the line again, the winner finishes only once and
    // keeps the laps he finished with.
    PutAt(winner, circuit().Length - 30.0f, 2);
    for (int k = 0; k < 3; ++k)
        Drive(winner, 40.0f, 1.0f);
    EXPECT_LT(winner.Progress, 100.0f); // over the line
    EXPECT_EQ(winner.Laps, 2);
    EXPECT_EQ(hooks.Count("raise 128"), 1);
    EXPECT_EQ(hooks.Count("camera 4"), 1);

    // Backing over the line after the finish finishes nobody.
    Bike& third = bike(1);
    third.Status &= ~kBikeFinished;
    PutAt(third, 20.0f, 1);
    DriveToLine(third, -40.0f, 1.0f);
    EXPECT_EQ(third.Laps, 0);
    EXPECT_FALSE(third.Status & kBikeFinished);
}

TEST_F(RaceTimingTest, WinnerOfTheViewedRiderGetsTheMessageAndTheViewedWinnerTheMusic)
{
    struct Case {
        int viewed;
        std::uint32_t graphics;
        std::uint32_t runFlags;
        bool playback;
        std::vector<std::string> calls;
    } const cases[] = {
        // The viewed rider wins: camera, messages, and the winner's music.
        {0, kGfxFlagMusic, 0, false, {"camera 4", "raise 128", "raise 16384", "disable 3", "stop 0", "start 1 loop"}},
        // Music off, or a demonstration run: no music change.
        {0, 0, 0, false, {"camera 4", "raise 128", "raise 16384", "disable 3"}},
        {0, kGfxFlagMusic, kRunFlagDemo, false, {"camera 4", "raise 128", "raise 16384", "disable 3"}},
        // Another rider wins while the viewed one lies second.
        {1, kGfxFlagMusic, 0, false, {"raise 512"}},
        // Watching a replay: nothing is shown.
        {0, kGfxFlagMusic, 0, true, {}},
    };
    for (const Case& c : cases) {
        Start("Island", kRace, 2, 0, 2);
        RaceContext& race = CurrentRaceContext();
        race.ViewedRider = c.viewed;
        race.GraphicsFlags = c.graphics;
        CurrentRaceConditions().RunFlags = c.runFlags;
        world->input.m_dwMode = c.playback ? kInputModePlayback : 0;
        bike(0).RacePosition = 1;
        bike(1).RacePosition = 2;
        bike(0).FinishRace();
        EXPECT_EQ(hooks.calls, c.calls) << c.viewed << " " << c.graphics << " " << c.runFlags;
        EXPECT_TRUE(race.Flags & kRaceFinished);
        if (c.viewed == 1 && !c.playback) {
            EXPECT_EQ(race.OverlayBike, 0);
        }
    }
}

TEST_F(RaceTimingTest, FinishedHumanIsTakenRoundByTheComputerControl)
{
    Start("Island", kRace, 1, 1);
    for (int circuitNumber : {10, 0}) {
        CurrentRaceContext().CircuitNumber = circuitNumber;
        bike(0).LookAhead.Rate = 5.0f;
        bike(0).FinishRace();
        EXPECT_EQ(bike(0).LookAhead.Value, circuitNumber == 10 ? 30.0f : 100.0f);
        EXPECT_EQ(bike(0).LookAhead.Rate, 0.0f);
    }
}

TEST_F(RaceTimingTest, QualifyingRecordsComputerLapsAtEstimatedTimes)
{
    Start("Island", kQualifying, 2, 1);
    CurrentRaceConditions().Skill = 0; // factor 1.10
    for (int i = 0; i < 2; ++i) {
        Bike& b = bike(i);
        PutAt(b, circuit().Length - 30.0f, 1);
        b.LapTime = 50.0f; // the time actually ridden
        DriveToLine(b, 40.0f, 0.0f);
        EXPECT_EQ(b.Laps, 2);
    }
    // The human keeps his own time; the computer rider's lap is drawn around
    // its reference time (100 s) at its skill.
    EXPECT_EQ(bike(0).BestLap, 50.0f);
    EXPECT_EQ(bike(1).LastLap, 50.0f);
    EXPECT_GE(bike(1).BestLap, (100.0f - 1.98f) * 1.10f);
    EXPECT_LE(bike(1).BestLap, 100.0f * 1.10f);
}

TEST_F(RaceTimingTest, RejoinedLapIsNotTimedAndTheFlagGoesAtTheLine)
{
    Start("Island", kRace, 1, 0, 5);
    Bike& b = bike(0);
    PutAt(b, circuit().Length - 30.0f, 1);
    b.Status |= kBikeRejoined;
    b.LapTime = 40.0f;
    DriveToLine(b, 40.0f, 0.0f);
    EXPECT_EQ(b.Laps, 2);
    EXPECT_EQ(b.BestLap, kNoLapTime);
    EXPECT_EQ(CurrentRaceContext().RaceRecord, kNoLapTime);
    EXPECT_EQ(b.LastLap, 40.0f);
    EXPECT_EQ(b.LapTime, 0.0f);
    EXPECT_FALSE(b.Status & kBikeRejoined);
    EXPECT_FALSE(hooks.Has("raise 4096"));

    // Before the start nothing is counted, and the flag stays.
    CurrentRaceContext().Flags &= ~kRaceRacing;
    PutAt(b, circuit().Length - 30.0f, 2);
    b.Status |= kBikeRejoined;
    Drive(b, 40.0f, 1.0f);
    EXPECT_EQ(b.Laps, 2);
    EXPECT_TRUE(b.Status & kBikeRejoined);
}

TEST_F(RaceTimingTest, WrongWayNeedsMoreThanFortyMetresBackOnTheCircuitWithTheTestOn)
{
    struct Case {
        std::uint32_t flags;
        float back;
        bool wrong;
    } const cases[] = {
        {kPlayerFlagWrongWay, 39.0f, false},
        {kPlayerFlagWrongWay, 41.0f, true},
        {0, 100.0f, false},
    };
    for (const Case& c : cases) {
        Start("Island", kRace, 1);
        Bike& b = bike(0);
        b.Flags = c.flags;
        PutAt(b, 1000.0f, 0);
        Drive(b, 20.0f, 0.1f);
        if (c.flags) {
            EXPECT_NEAR(b.FurthestProgress, 1020.0f, 0.05f);
        }
        Drive(b, -c.back, 0.1f);
        EXPECT_EQ((b.Status & kBikeWrongWay) != 0, c.wrong) << c.flags << " " << c.back;
        EXPECT_EQ(hooks.Has("notice 2"), c.wrong);
    }
}

TEST_F(RaceTimingTest, LastLapNoticeForTheViewedRiderOnly)
{
    struct Case {
        int session;
        int rider;
        int laps;
        float fromEnd;
        bool notice;
    } const cases[] = {
        {kRace, 0, 2, 290.0f, true},  // 300 m before the end of the last lap but one
        {kRace, 0, 2, 310.0f, false},
        {kRace, 0, 1, 290.0f, false}, // not yet the penultimate lap
        {kRace, 1, 2, 290.0f, false}, // not the viewed rider
        {3, 0, 2, 290.0f, false},     // a race not decided by laps
    };
    for (const Case& c : cases) {
        Start("Island", c.session, 2, 0, 3);
        Bike& b = bike(c.rider);
        PutAt(b, circuit().Length - c.fromEnd - 1.0f, c.laps);
        Drive(b, 1.0f, 0.1f);
        EXPECT_EQ(hooks.Has("notice 5"), c.notice) << c.session << " " << c.rider << " " << c.laps << " " << c.fromEnd;
    }
}

TEST_F(RaceTimingTest, SimulatedModeRunsAtTabledSpeedsAndAddsOneLapPerStep)
{
    Start("Island", kRace, 1);
    RaceContext& race = CurrentRaceContext();
    race.Flags |= kRaceSimulated;
    Bike& b = bike(0);
    PutAt(b, 100.0f, 1);

    const float tabled = circuit().Metres[100].RefSpeed;
    b.AdvanceTime(0.5f);
    EXPECT_EQ(b.Speed, std::min(tabled, 69.44444f));
    EXPECT_FLOAT_EQ(b.Progress, 100.0f + 0.5f * b.Speed);
    EXPECT_LE(b.Speed, 69.44444f);

    // A step far longer than the track adds a single lap at an estimated time.
    b.LapTime = 12.0f;
    b.AdvanceTime(1000.0f);
    EXPECT_EQ(b.Laps, 2);
    EXPECT_LT(b.Progress, circuit().Length);
    EXPECT_GE(b.Progress, 0.0f);
    EXPECT_EQ(b.LapTime, 0.0f);
    EXPECT_GT(b.BestLap, 90.0f); // about the reference lap, not the 12 s ridden
    EXPECT_LT(b.BestLap, 100.0f);
}

TEST_F(RaceTimingTest, EstimatedLapTimeSpansTheDrawnRange)
{
    Start("Island", kRace, 1);
    Bike& b = bike(0);
    const float reference = b.GridEntry->RefLapTime;
    struct Case {
        int r;
        int skill;
        double below;  // seconds under the reference before the skill factor
        float factor;
    } const cases[] = {
        {94, 3, 0.0010502, 1.00f},
        {0, 3, 1.9754695, 1.00f},
        {0, 0, 1.9754695, 1.10f},
        {94, 1, 0.0010502, 1.06f},
        {94, 9, 0.0010502, 1.00f}, // a skill level out of range is held within the table
    };
    for (const Case& c : cases) {
        CurrentRaceConditions().Skill = c.skill;
        SimulationStream().set_state(StateDrawing([&](int v) { return v % 95 == c.r; }));
        const float t = b.EstimateLapTime();
        EXPECT_NEAR(t, (reference - c.below) * c.factor, 1e-3) << c.r << " " << c.skill;
    }
}

TEST_F(RaceTimingTest, CompleteRaceGivesUnfinishedComputerRidersTheirMissingLaps)
{
    Start("Island", kRace, 3, 1, 5);
    Bike& computer = bike(1);
    computer.Laps = 2;
    computer.RaceTime = 250.0f;
    computer.LapTime = 30.0f;
    const std::uint32_t state = SimulationStream().state();
    float expected = 220.0f;
    for (int i = 0; i < 3; ++i)
        expected += computer.EstimateLapTime();
    SimulationStream().set_state(state);
    computer.CompleteRace();
    EXPECT_EQ(computer.Laps, 5);
    EXPECT_EQ(computer.RaceTime, expected);
    EXPECT_TRUE(computer.Status & kBikeFinished);

    // A human, or a rider already in, keeps his result.
    Bike& human = bike(0);
    human.RaceTime = 100.0f;
    human.CompleteRace();
    EXPECT_EQ(human.RaceTime, 100.0f);
    EXPECT_FALSE(human.Status & kBikeFinished);
    const float done = computer.RaceTime;
    computer.CompleteRace();
    EXPECT_EQ(computer.RaceTime, done);

    // A lap count beyond what a rider's counter holds still ends.
    CurrentRaceConditions().Laps = 1000;
    Bike& third = bike(2);
    third.Laps = 0;
    third.CompleteRace();
    EXPECT_EQ(third.Laps, 127);
    EXPECT_TRUE(third.Status & kBikeFinished);
}

TEST_F(RaceTimingTest, CompleteRaceOnlyMarksTheFinishInSessionsNotDecidedByLaps)
{
    Start("Island", 3, 1, 0, 5);
    Bike& b = bike(0);
    b.Laps = 1;
    b.RaceTime = 50.0f;
    b.CompleteRace();
    EXPECT_EQ(b.Laps, 1);
    EXPECT_EQ(b.RaceTime, 50.0f);
    EXPECT_TRUE(b.Status & kBikeFinished);
}

TEST_F(RaceTimingTest, AfterLapChoosesAnotherLapThePitsOrParking)
{
    const std::uint32_t drawsZero = StateDrawing([](int v) { return (v & 1) == 0; });
    const std::uint32_t drawsOne = StateDrawing([](int v) { return (v & 1) == 1; });
    struct Case {
        const char* track;
        int session;
        bool simulated;
        int laps;
        std::uint32_t draw;
        std::uint32_t status; // what the bike gains
    } const cases[] = {
        {"Island", 0, true, 0, drawsZero, kBikeParked},         // simulated: parks at once
        {"Island", 0, false, 1, drawsOne, 0},                   // practice: 1 + 1 < 3, another lap
        {"Island", 0, false, 2, drawsZero, 0},                  // 0 + 2 < 3
        {"Island", 0, false, 2, drawsOne, kBikeToPits},         // 1 + 2: in to the pits
        {"Island", kRace, false, 1, drawsZero, kBikeToPits},    // a finished race bike
        {"Sentul", kRace, false, 1, drawsZero, kBikeParked},    // no pit lane: parks on the circuit
    };
    for (const Case& c : cases) {
        Start(c.track, c.session, 1);
        CurrentRaceContext().Flags |= c.simulated ? kRaceSimulated : 0;
        Bike& b = bike(0);
        PutAt(b, 50.0f, c.laps);
        b.Status = 0;
        SimulationStream().set_state(c.draw);
        b.AfterLap();
        EXPECT_EQ(b.Status, c.status) << c.track << " " << c.session << " " << c.laps;
        EXPECT_EQ(b.Path, &circuit());
    }
}

TEST_F(RaceTimingTest, FinishedBikesHeadForThePitEntryOrParkPastTheLineWithoutAPitLane)
{
    // With a pit lane: in at the pit entry.
    Start("Island", kRace, 1, 0, 1);
    CurrentRaceContext().PitEntryDistance = circuit().Length - 400.0f;
    Bike& b = bike(0);
    PutAt(b, circuit().Length - 500.0f, 0);
    b.Status |= kBikeFinished;
    for (int i = 0; i < 5; ++i)
        Drive(b, 40.0f, 1.0f);
    EXPECT_TRUE(b.Status & kBikeToPits);
    EXPECT_FALSE(b.IsOut());

    // "Sentul" has no pit lane: the winner crosses the line, runs on over
    // the circuit and parks past the line, never heading for a pit lane.
    Start("Sentul", kRace, 1, 0, 1);
    ASSERT_EQ(CurrentRaceConditions().PitLane, nullptr);
    Bike& s = bike(0);
    PutAt(s, circuit().Length - 30.0f, 0);
    DriveToLine(s, 20.0f, 1.0f);
    ASSERT_TRUE(s.Status & kBikeFinished);
    for (int i = 0; i < 20 && !s.IsOut(); ++i) {
        Drive(s, 20.0f, 1.0f);
        EXPECT_FALSE(s.Status & kBikeToPits);
    }
    EXPECT_TRUE(s.IsOut());
    EXPECT_EQ(s.Path, &circuit());
    EXPECT_GE(s.Progress, kParkPastLine);
    EXPECT_LT(s.Progress, kParkPastLine + 20.0f);
}

TEST_F(RaceTimingTest, PracticeComputerRidersComeInAfterTheirRun)
{
    Start("Island", 0, 2, 1);
    CurrentRaceContext().PitEntryDistance = 1000.0f;
    SimulationStream().set_state(StateDrawing([](int v) { return (v & 1) == 1; }));
    for (int i = 0; i < 2; ++i) {
        PutAt(bike(i), 980.0f, 3);
        Drive(bike(i), 40.0f, 1.0f);
    }
    EXPECT_FALSE(bike(0).Status & kBikeToPits); // the human rides on
    EXPECT_TRUE(bike(1).Status & kBikeToPits);
}

TEST_F(RaceTimingTest, PracticeRelaunchWaitsForItsTimeAndForTwoBestLapsOfSession)
{
    Start("Island", 0, 3, 1);
    float& clock = world->input.m_fRaceClock;
    Bike& human = bike(0);
    Bike& b = bike(1);
    ASSERT_TRUE(b.IsOut());
    EXPECT_FALSE(human.PracticeRelaunch());

    // The time is drawn once, 0 to 1000 s after the first asking.
    clock = 100.0f;
    b.RelaunchTime = -1.0f;
    const bool early = b.PracticeRelaunch();
    EXPECT_GE(b.RelaunchTime, 100.0f);
    EXPECT_LE(b.RelaunchTime, 1100.0f);
    EXPECT_EQ(early, b.RelaunchTime <= 100.0f);

    struct Case {
        float best;    // the session's best lap
        float clock;
        bool out;
    } const cases[] = {
        {100.0f, 3399.0f, true},   // 3600 - 2 x 100 = 3400
        {100.0f, 3400.0f, false},
        {kNoLapTime, 600.0f, true}, // no lap yet: 3600 - 2 x 1499.99 = 600.02
        {kNoLapTime, 601.0f, false},
    };
    for (const Case& c : cases) {
        b.Park();
        b.RelaunchTime = 0.0f;
        bike(2).BestLap = c.best;
        human.BestLap = kNoLapTime;
        b.BestLap = kNoLapTime;
        clock = c.clock;
        EXPECT_EQ(b.PracticeRelaunch(), c.out) << c.best << " " << c.clock;
        EXPECT_EQ(b.IsOut(), !c.out);
    }

    // Not in a race.
    Start("Island", kRace, 2);
    bike(1).Park();
    bike(1).RelaunchTime = 0.0f;
    EXPECT_FALSE(bike(1).PracticeRelaunch());
}

TEST_F(RaceTimingTest, EnteringThePitLaneMovesTheViewedRidersCamera)
{
    struct Case {
        bool finished;
        int camera;
        int chosen;
        bool simulated;
        std::vector<std::string> calls;
    } const cases[] = {
        {true, 4, 2, false, {"camera 8", "raise 32", "clear 128"}},
        {false, 4, 4, false, {"camera 0"}},
        {false, 4, 2, false, {"camera 2"}},
        {false, 1, 2, false, {}},
        {true, 4, 2, true, {}},
    };
    for (const Case& c : cases) {
        Start("Island", kRace, 1);
        RaceContext& race = CurrentRaceContext();
        race.CameraMode = c.camera;
        race.ChosenCamera = c.chosen;
        race.Flags |= c.simulated ? kRaceSimulated : 0;
        Bike& b = bike(0);
        b.Status = c.finished ? kBikeFinished | kBikeToPits : kBikeToPits;
        b.Position = Vec3(world->pit_lane.Slots[0].x, 0.0f, world->pit_lane.Slots[0].z);
        b.EnterPitLane();
        EXPECT_EQ(hooks.calls, c.calls) << c.finished << " " << c.camera << " " << c.chosen;
        EXPECT_EQ(b.Path, &world->pit_lane);
        EXPECT_EQ(b.Status & (kBikeToPits | kBikeInPitLane), kBikeInPitLane);
    }
}

TEST(LapCountTest, HeldWithinItsSignedByte)
{
    struct Case {
        int laps;
        int delta;
        int expected;
    } const cases[] = {{-1, 1, 0}, {0, -1, -1}, {126, 1, 127}, {127, 1, 127}, {-128, -1, -128}};
    for (const Case& c : cases)
        EXPECT_EQ(AddLaps(static_cast<std::int8_t>(c.laps), c.delta), c.expected) << c.laps << " " << c.delta;
}

} // namespace

// A fallen bike sliding, or pushed round, back over the line and forward
// again crosses it twice more: the lap taken back and given back is no lap,
// and the lap under way stays timed from the crossing that really ended the
// last one.
TEST_F(RaceTimingTest, LineCrossedBackAndForthAgainEndsNoLap)
{
    Start("Island", kRace, 1, 0, 5);
    Bike& b = bike(0);
    PutAt(b, circuit().Length - 30.0f, 1);
    b.LapTime = 100.0f;
    DriveToLine(b, 40.0f, 1.0f);
    ASSERT_EQ(b.Laps, 2);
    EXPECT_EQ(b.LastLap, 101.0f);
    EXPECT_EQ(b.BestLap, 101.0f);
    const float lapStart = b.LapStartTime;

    // Back over the line and forward again, a sub-step each way, twice.
    for (int round = 0; round < 2; ++round) {
        Drive(b, -25.0f, 1.0f / 60.0f);
        EXPECT_EQ(b.Laps, 1);
        Drive(b, 25.0f, 1.0f / 60.0f);
        EXPECT_EQ(b.Laps, 2);
        EXPECT_EQ(b.LastLap, 101.0f);
        EXPECT_EQ(b.BestLap, 101.0f);
        EXPECT_EQ(b.LapStartTime, lapStart);
        EXPECT_FLOAT_EQ(b.LapTime, (2.0f * static_cast<float>(round) + 2.0f) / 60.0f);
    }
    EXPECT_EQ(CurrentRaceContext().RaceRecord, 101.0f);
    EXPECT_FALSE(b.Status & kBikeLapTakenBack);

    // The next real crossing ends the lap, timed from the first crossing.
    const float before = b.LapTime;
    const int steps = DriveToLine(b, 40.0f, 2.0f);
    EXPECT_EQ(b.Laps, 3);
    EXPECT_FLOAT_EQ(b.LastLap, before + 2.0f * static_cast<float>(steps));
    EXPECT_EQ(b.BestLap, 101.0f);

    // A crossing back that is not given back leaves the mark for the next
    // forward crossing only.
    Drive(b, -45.0f, 1.0f);
    EXPECT_EQ(b.Laps, 2);
    EXPECT_TRUE(b.Status & kBikeLapTakenBack);
}
