#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/game_app.h"
#include "input/input_manager.h"
#include "input/race_link.h"
#include "platform/clock.h"
#include "race/race.h"
#include "race/standings.h"
#include "sim/race_conditions.h"
#include "sim/race_context.h"
#include "tests/sim/bike_world.h"
#include "tests/sim/timing_hooks.h"
#include "tests/support/fp_traps.h"

using bike_test::BikeWorld;
using bike_test::TimingHooks;

namespace {

constexpr int kRace = 4;
constexpr std::uint32_t kEndRequested = kRaceFlagEnding;
constexpr std::uint32_t kSessionOverMessage = 0x40000;

// The test clock for the time it is needed.
struct TestClock {
    explicit TestClock(std::uint32_t ms) { platform::set_test_clock(ms); }
    ~TestClock() { platform::clear_test_clock(); }
};

// A race of demo riders on a demo circuit, built the way the race's loader
// builds it: the circuit and its pit lane, the bike models, the bikes bound
// to the bike table and placed for the start, shared with the simulation.
class RaceFixture : public ::testing::Test {
protected:
    void Build(const char* track, int session, int riders, int humans = 0, int laps = 3)
    {
        race.reset();
        world.reset();
        world = std::make_unique<BikeWorld>(std::vector<std::string>{track});
        world->Load(track, session); // terrain and tyres
        race = std::make_unique<Race>();
        Race& r = *race;
        std::strncpy(r.m_szTrackName, track, sizeof r.m_szTrackName - 1);
        r.m_nSessionType = session;
        r.m_nLaps = laps;
        r.m_nSkill = 3;
        ASSERT_TRUE(r.m_Circuit.Load(track));
        r.m_bHasPitLane = r.m_PitLane.Load((std::string(track) + "_pit").c_str());
        ASSERT_TRUE(r.LoadBikes());
        r.m_pBikes = std::make_unique<Bike[]>(static_cast<std::size_t>(riders));
        r.m_nBikes = riders;
        r.ShareWithSimulation();
        CurrentRaceContext().Hooks = &hooks;
        players.assign(static_cast<std::size_t>(humans), PlayerRecord());
        for (int i = 0; i < riders; ++i) {
            GridEntry& entry = r.m_BikeTable[i];
            entry.PitSlot = i;
            entry.Model = i % kBikeModelCount;
            entry.RefLapTime = 100.0f;
            entry.PowerDivisor = 1.0f;
            PlayerRecord* player = i < humans ? &players[static_cast<std::size_t>(i)] : nullptr;
            if (player)
                player->NetworkId = 100u + static_cast<std::uint32_t>(i);
            ASSERT_TRUE(r.m_pBikes[i].Init(player, i, &entry)) << Bike::InitMessage();
        }
        for (int i = 0; i < riders; ++i)
            r.m_pBikes[i].PlaceAtStart(true);
        r.ResetOrders();
        hooks.calls.clear();
    }

    Bike& bike(int i) { return race->m_pBikes[i]; }
    InputManager& input() { return world->input; }
    std::uint32_t& flags() { return race->LiveFlags(); }

    std::vector<int> StandingOrder() const
    {
        return std::vector<int>(race->m_StandingOrder.begin(), race->m_StandingOrder.begin() + race->m_nBikes);
    }
    std::vector<int> TrackOrder() const
    {
        return std::vector<int>(race->m_TrackOrder.begin(), race->m_TrackOrder.begin() + race->m_nBikes);
    }
    std::vector<int> Positions()
    {
        std::vector<int> p;
        for (int i = 0; i < race->m_nBikes; ++i)
            p.push_back(bike(i).RacePosition);
        return p;
    }

    torvane_test::FpTraps traps;
    TimingHooks hooks;
    std::vector<PlayerRecord> players;
    std::unique_ptr<BikeWorld> world;
    std::unique_ptr<Race> race;
};

// ---- Standings ----

struct RiderState {
    int laps;
    float progress;
    float bestLap;
    bool finished;
    int position; // before the update
};

struct StandingsCase {
    const char* name;
    int session;
    std::vector<RiderState> riders;
    std::vector<int> before;     // standing order before the update
    std::vector<int> standing;   // after
    std::vector<int> track;
    std::vector<int> positions;
};

class StandingsTest : public RaceFixture {};

TEST_F(StandingsTest, OrdersAndPositionsEveryPass)
{
    const float none = kNoLapTime;
    const StandingsCase cases[] = {
        {"race by laps and distance; equal riders keep their order",
         kRace,
         {{1, 100.0f, none, false, 1}, {2, 50.0f, none, false, 2}, {1, 300.0f, none, false, 3}, {2, 50.0f, none, false, 4}},
         {0, 1, 2, 3},
         {1, 3, 2, 0},
         {2, 0, 1, 3},
         {4, 1, 3, 2}},
        {"finished leaders keep their places, the rest sort behind them",
         kRace,
         {{3, 10.0f, none, true, 9}, {1, 3000.0f, none, false, 2}, {3, 5.0f, none, true, 7}, {2, 100.0f, none, false, 4}},
         {2, 0, 1, 3},
         {2, 0, 3, 1},
         {1, 3, 0, 2},
         {9, 4, 7, 3}},
        {"a finished rider behind an unfinished one is sorted with the rest",
         kRace,
         {{1, 10.0f, none, false, 1}, {3, 10.0f, none, true, 2}, {2, 10.0f, none, false, 3}, {0, 10.0f, none, false, 4}},
         {0, 1, 2, 3},
         {1, 2, 0, 3},
         {0, 1, 2, 3},
         {3, 1, 2, 4}},
        {"practice by best lap; equal laps keep their order",
         0,
         {{0, 0.0f, 101.0f, false, 1}, {0, 0.0f, 99.0f, false, 2}, {0, 0.0f, 101.0f, false, 3}, {0, 0.0f, none, false, 4}},
         {2, 1, 0, 3},
         {1, 2, 0, 3},
         {0, 1, 2, 3},
         {3, 1, 2, 4}},
    };
    for (const StandingsCase& c : cases) {
        Build("Island", c.session, 4);
        const float length = race->m_Circuit.Length;
        for (int i = 0; i < 4; ++i) {
            const RiderState& s = c.riders[static_cast<std::size_t>(i)];
            Bike& b = bike(i);
            b.Laps = static_cast<std::int8_t>(s.laps);
            b.Progress = s.progress < length ? s.progress : length - 1.0f;
            b.BestLap = s.bestLap;
            b.Status = s.finished ? kBikeFinished : 0;
            b.RacePosition = s.position;
            race->m_StandingOrder[static_cast<std::size_t>(i)] = c.before[static_cast<std::size_t>(i)];
        }
        race->UpdateStandings();
        EXPECT_EQ(StandingOrder(), c.standing) << c.name;
        EXPECT_EQ(TrackOrder(), c.track) << c.name;
        EXPECT_EQ(Positions(), c.positions) << c.name;
    }
}

TEST_F(StandingsTest, NeighboursRoundTheTrackOrderAsARing)
{
    struct Case {
        int riders;
        std::vector<float> progress;
        std::vector<int> ahead;  // by rider index
        std::vector<int> behind;
    } const cases[] = {
        {4, {100.0f, 50.0f, 300.0f, 10.0f}, {2, 0, 3, 1}, {1, 3, 0, 2}}, // track order 2 0 1 3
        {2, {100.0f, 200.0f}, {1, 0}, {1, 0}}, // each both ahead and behind the other
        {3, {5.0f, 5.0f, 5.0f}, {2, 0, 1}, {1, 2, 0}},
    };
    for (const Case& c : cases) {
        Build("Island", kRace, c.riders);
        for (int i = 0; i < c.riders; ++i)
            bike(i).Progress = c.progress[static_cast<std::size_t>(i)];
        race->UpdateStandings();
        for (int i = 0; i < c.riders; ++i) {
            EXPECT_EQ(bike(i).Ahead, &bike(c.ahead[static_cast<std::size_t>(i)])) << c.riders << " rider " << i;
            EXPECT_EQ(bike(i).Behind, &bike(c.behind[static_cast<std::size_t>(i)])) << c.riders << " rider " << i;
        }
    }
}

TEST_F(StandingsTest, ALoneRiderIsItsOwnNeighbourAndKeepsItsPosition)
{
    Build("Island", kRace, 1);
    bike(0).RacePosition = 5;
    race->m_StandingOrder[0] = 7; // whatever was there
    race->UpdateStandings();
    EXPECT_EQ(race->m_StandingOrder[0], 0);
    EXPECT_EQ(race->m_TrackOrder[0], 0);
    EXPECT_EQ(bike(0).Ahead, &bike(0));
    EXPECT_EQ(bike(0).Behind, &bike(0));
    EXPECT_EQ(bike(0).RacePosition, 5);

    // No riders: nothing to order.
    Build("Island", kRace, 0);
    race->UpdateStandings();
}

TEST_F(StandingsTest, OrdersThatDoNotMatchTheFieldStartAgainFromTheGrid)
{
    Build("Island", kRace, 3);
    race->m_StandingOrder = {5, 40, -1}; // out of range and repeated entries
    race->m_TrackOrder[0] = 1;
    race->m_TrackOrder[1] = 1;
    for (int i = 0; i < 3; ++i) {
        bike(i).Laps = 1;
        bike(i).Progress = 100.0f * static_cast<float>(i);
    }
    race->UpdateStandings();
    EXPECT_EQ(StandingOrder(), (std::vector<int>{2, 1, 0}));
    EXPECT_EQ(TrackOrder(), (std::vector<int>{2, 1, 0}));
}

TEST_F(StandingsTest, TheSimulationReadsTheLeaderFromTheStandingOrder)
{
    Build("Island", kRace, 3);
    bike(2).Laps = 2;
    race->UpdateStandings();
    const RaceContext& context = CurrentRaceContext();
    ASSERT_EQ(context.StandingOrder, race->m_StandingOrder.data());
    EXPECT_EQ(context.StandingOrder[0], 2);
}

// ---- Session clock ----

class SessionClockTest : public RaceFixture {
protected:
    // A practice session suspended for the menu with rider 1 out on the
    // circuit and every other computer rider held in the pits.
    void SuspendedPractice(float clock)
    {
        Build("Island", 0, 3, 1);
        flags() |= kRaceRacing;
        race->Suspend();
        bike(1).Restart(); // simulated: straight onto the circuit
        ASSERT_FALSE(bike(1).IsOut());
        bike(2).RelaunchTime = 1.0e9f;
        input().m_fRaceClock = clock;
    }

    // Where `steps` simulated sub-steps of h take a bike from p.
    float ProgressAfter(float p, int steps, float h)
    {
        const Track& circuit = race->m_Circuit;
        for (int k = 0; k < steps; ++k) {
            const int metre = static_cast<int>(std::trunc(p)) % circuit.MetreCount();
            p += h * std::min(circuit.Metres[static_cast<std::size_t>(metre)].RefSpeed, 69.44444f);
            if (p > circuit.Length)
                p = std::fmod(p, circuit.Length);
        }
        return p;
    }
};

TEST_F(SessionClockTest, SuspendedFramesRunInStepsOfAtMostOneSecondAndFastForwardTwentyTimes)
{
    struct Case {
        bool fast;
        int steps;
        float seconds;
    } const cases[] = {
        {false, 3, 2.4f}, // 2.4 s in three steps of 0.8 s
        {true, 49, 48.0f}, // 48 s in 49 steps
    };
    for (const Case& c : cases) {
        SuspendedPractice(100.0f);
        const float p0 = bike(1).Progress;
        float raceTime = bike(1).RaceTime;
        input().m_dwLastTime = 50000;
        TestClock clock(52400);
        race->UpdateSessionClock(c.fast);

        const float frame = input().m_fFrameTime * (c.fast ? 20.0f : 1.0f);
        ASSERT_NEAR(frame, c.seconds, 1e-4f);
        ASSERT_EQ(static_cast<int>(std::trunc(frame)) + 1, c.steps);
        const float h = frame / static_cast<float>(c.steps);
        for (int k = 0; k < c.steps; ++k)
            raceTime += h;
        EXPECT_EQ(bike(1).Progress, ProgressAfter(p0, c.steps, h)) << c.fast;
        EXPECT_EQ(bike(1).RaceTime, raceTime) << c.fast;
        EXPECT_NEAR(input().m_fRaceClock, 100.0f + c.seconds, 1e-3f) << c.fast;
        EXPECT_TRUE(bike(0).IsOut()); // the human waits in the menu
        EXPECT_TRUE(bike(2).IsOut());
    }
}

TEST_F(SessionClockTest, AnEndRequestedWhileSuspendedRunsTheHourOutAtOnce)
{
    SuspendedPractice(1234.5f);
    flags() |= kEndRequested;
    race->UpdateSessionClock(false);
    EXPECT_EQ(input().m_fRaceClock, kTimedSessionLength);
    EXPECT_TRUE(flags() & kRaceFinished);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(bike(i).Status & kBikeFinished) << i;
    EXPECT_EQ(hooks.Count("raise " + std::to_string(kSessionOverMessage)), 1);
    EXPECT_EQ(input().m_nRaceCommand, kRaceCommandNone);
}

TEST_F(SessionClockTest, TheHourFinishesEveryoneOnceThenParksTheViewedRiderFrom3604)
{
    Build("Island", 0, 3, 1);
    struct Step {
        float clock;
        bool finished;
        bool park;
    } const steps[] = {
        {3599.9f, false, false}, {3600.0f, true, false}, {3602.0f, true, false},
        {3604.0f, true, true},   {3605.0f, true, true},
    };
    for (const Step& s : steps) {
        input().m_fRaceClock = s.clock;
        input().m_nRaceCommand = kRaceCommandNone;
        race->UpdateSessionClock(false);
        EXPECT_EQ((flags() & kRaceFinished) != 0, s.finished) << s.clock;
        EXPECT_EQ((bike(2).Status & kBikeFinished) != 0, s.finished) << s.clock;
        EXPECT_EQ(input().m_nRaceCommand, s.park ? kRaceCommandPark : kRaceCommandNone) << s.clock;
    }
    EXPECT_EQ(hooks.Count("raise " + std::to_string(kSessionOverMessage)), 1);
}

TEST_F(SessionClockTest, WhileRunningAtMostOneParkedRiderGoesOutAndNoneWhileOneIsOnItsWay)
{
    Build("Island", 0, 4, 1);
    input().m_fRaceClock = 100.0f;
    for (int i = 1; i < 4; ++i)
        bike(i).RelaunchTime = 50.0f;

    race->UpdateSessionClock(false);
    EXPECT_FALSE(bike(1).IsOut());
    EXPECT_TRUE(bike(1).Status & kBikeInPitLane); // out of its box
    EXPECT_TRUE(bike(2).IsOut());
    EXPECT_TRUE(bike(3).IsOut());

    race->UpdateSessionClock(false); // rider 1 still in the pit lane
    EXPECT_TRUE(bike(2).IsOut());

    bike(1).RejoinCircuit(); // on the circuit now
    race->UpdateSessionClock(false);
    EXPECT_FALSE(bike(2).IsOut());
    EXPECT_TRUE(bike(3).IsOut());
}

TEST_F(SessionClockTest, RacesHaveNoSessionClock)
{
    Build("Island", kRace, 2);
    input().m_fRaceClock = 4000.0f;
    race->UpdateSessionClock(true);
    EXPECT_FALSE(flags() & kRaceFinished);
    EXPECT_EQ(input().m_nRaceCommand, kRaceCommandNone);
}

TEST_F(SessionClockTest, APracticeHourRunsOutInFastForwardWhileTheMenuIsUp)
{
    Build("Island", 0, 6, 1);
    flags() |= kRaceRacing;
    race->Suspend();
    input().m_fRaceClock = 0.0f;
    std::uint32_t now = 10000;
    input().m_dwLastTime = now;
    int calls = 0;
    while (input().m_nRaceCommand != kRaceCommandPark && calls < 400) {
        now += 1000;
        TestClock clock(now);
        race->UpdateSessionClock(true); // 20 s a call
        race->UpdateStandings();
        ++calls;
    }
    EXPECT_EQ(input().m_nRaceCommand, kRaceCommandPark);
    EXPECT_GE(calls, 180);
    EXPECT_LE(calls, 182);
    EXPECT_TRUE(flags() & kRaceFinished);

    // The computer riders went out, ran their laps at estimated times and
    // are classified by them.
    int timed = 0;
    for (int i = 0; i < 6; ++i) {
        const Bike& b = bike(i);
        EXPECT_TRUE(b.Status & kBikeFinished) << i;
        EXPECT_TRUE(std::isfinite(b.BestLap) && std::isfinite(b.Progress) && std::isfinite(b.RaceTime)) << i;
        timed += b.BestLap < kNoLapTime ? 1 : 0;
    }
    EXPECT_GE(timed, 1);
    for (int k = 0; k + 1 < 6; ++k)
        EXPECT_LE(bike(race->m_StandingOrder[static_cast<std::size_t>(k)]).BestLap,
                  bike(race->m_StandingOrder[static_cast<std::size_t>(k + 1)]).BestLap);
    EXPECT_EQ(bike(race->m_StandingOrder[0]).RacePosition, 1);
}

// ---- Suspension and classification ----

TEST_F(SessionClockTest, SuspendingPutsWaitingRidersOnTheCircuitAndParksThoseComingIn)
{
    Build("Island", 0, 4, 1);
    bike(1).Restart(); // in its box, about to go out (0x200)
    ASSERT_TRUE(bike(1).Status & 0x200);
    bike(2).Restart();
    bike(2).Status &= ~0xA00u; // on its way in down the pit lane
    bike(3).Status |= kBikeParked;
    input().m_bPaused = 1;
    race->Suspend();
    EXPECT_TRUE(flags() & kRaceSimulated);
    EXPECT_EQ(input().m_bPaused, 0);
    EXPECT_EQ(bike(1).Path, &race->m_Circuit);
    EXPECT_TRUE(bike(1).Status & kBikeRejoined);
    EXPECT_FALSE(bike(1).IsOut());
    EXPECT_TRUE(bike(2).IsOut());
    EXPECT_TRUE(bike(3).IsOut());
}

class ClassificationTest : public RaceFixture {};

TEST_F(ClassificationTest, UnfinishedRidersAreClassifiedBehindTheFinishers)
{
    Build("Island", kRace, 4, 2, 3); // riders 0 and 1 are players
    // Standing order before: 1 3 2 0.
    race->m_StandingOrder[0] = 1;
    race->m_StandingOrder[1] = 3;
    race->m_StandingOrder[2] = 2;
    race->m_StandingOrder[3] = 0;
    const int positions[4] = {4, 1, 3, 2};
    for (int i = 0; i < 4; ++i)
        bike(i).RacePosition = positions[i];
    bike(0).Laps = 1; // human, unfinished
    bike(0).RaceTime = 150.0f;
    bike(1).Status |= kBikeFinished; // human, in
    bike(1).RaceTime = 300.0f;
    bike(1).Laps = 3;
    bike(2).Laps = 2; // computer, unfinished: an estimated last lap
    bike(2).RaceTime = 220.0f;
    bike(2).LapTime = 20.0f;
    bike(3).Status |= kBikeFinished; // computer, in
    bike(3).RaceTime = 310.0f;
    bike(3).Laps = 3;

    race->ClassifyUnfinished();
    EXPECT_EQ(bike(2).Laps, 3);
    EXPECT_TRUE(bike(2).Status & kBikeFinished);
    EXPECT_GT(bike(2).RaceTime, 290.0f);
    EXPECT_LT(bike(2).RaceTime, 300.0f);
    EXPECT_FALSE(bike(0).Status & kBikeFinished);
    EXPECT_FLOAT_EQ(bike(0).RaceTime, 1467.99f + 4.0f);
    EXPECT_EQ(StandingOrder(), (std::vector<int>{2, 1, 3, 0}));
    EXPECT_EQ(Positions(), (std::vector<int>{4, 2, 1, 3}));
}

TEST_F(ClassificationTest, AFieldThatAllFinishedKeepsItsStandings)
{
    Build("Island", kRace, 3, 0, 3);
    race->m_StandingOrder[0] = 2;
    race->m_StandingOrder[1] = 0;
    race->m_StandingOrder[2] = 1;
    for (int i = 0; i < 3; ++i) {
        bike(i).Laps = 1;
        bike(i).RaceTime = 100.0f;
    }
    race->ClassifyUnfinished();
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(bike(i).Status & kBikeFinished);
        EXPECT_EQ(bike(i).Laps, 3);
    }
    EXPECT_EQ(StandingOrder(), (std::vector<int>{2, 0, 1}));
}

TEST_F(ClassificationTest, OtherSessionsAndTheMusic)
{
    struct Case {
        int session;
        std::vector<std::string> music;
        bool classified;
    } const cases[] = {
        {0, {"stop 1"}, false},
        {1, {"stop 1"}, false},
        {3, {"stop 1"}, false},
        {kRace, {"stop 1"}, true},
        {kSessionArcade, {"stop 0", "stop 1"}, true},
    };
    for (const Case& c : cases) {
        Build("Island", c.session, 2, 0, 3);
        CurrentRaceContext().GraphicsFlags = kGfxFlagMusic;
        bike(1).Laps = 1;
        bike(1).RaceTime = 50.0f;
        race->ClassifyUnfinished();
        EXPECT_EQ(hooks.calls, c.music) << c.session;
        EXPECT_EQ(bike(1).Laps == 3, c.classified) << c.session;
        EXPECT_EQ(bike(1).RaceTime != 50.0f, c.classified) << c.session;
    }
}

TEST_F(ClassificationTest, QualifyingRunsItsClockOutToTheEnd)
{
    Build("Island", 2, 3, 1);
    flags() |= kEndRequested;
    input().m_fRaceClock = 2000.0f;
    race->ClassifyUnfinished();
    EXPECT_TRUE(flags() & kRaceSimulated);
    EXPECT_EQ(input().m_fRaceClock, kTimedSessionLength);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(bike(i).Status & kBikeFinished) << i;
}

} // namespace
