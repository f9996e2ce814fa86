#include <gtest/gtest.h>

#include "tests/race/race_fixture.h"
#include "sim/rider_states.h"
#include "tests/support/fp_traps.h"

using namespace race_test;

namespace {

constexpr int kEscape = 0x01;
constexpr int kF11 = 0x57;

class RaceRunTest : public RaceFixture {
protected:
    // A race of `riders` under way: the start sequence and the countdown
    // skipped, the green light given.
    void StartRacing(int riders = 4)
    {
        Header("Sugo", 4, riders);
        Start();
        PressKey(kEscape);
        Frame();
        ASSERT_TRUE(FramesUntil([&] { return (flags() & kRaceRacing) != 0; }, 400));
    }

    std::vector<std::uint32_t> State()
    {
        std::vector<std::uint32_t> words(race->StateWordCount());
        EXPECT_EQ(race->SaveState(words.data()), words.data() + words.size());
        return words;
    }
};

// A race session: the riders are shown (start sequence, the countdown
// holding), then the countdown runs and the green light starts the race.
TEST_F(RaceRunTest, StartSequenceCountdownAndGreenLight)
{
    torvane_test::FpTraps traps;
    Header("Sugo", 4, 8);
    Start();
    EXPECT_EQ(race->m_nViewedRider, 2) << "a quarter down the grid without a player";
    EXPECT_EQ(race->m_Camera.Target(), &bike(2));
    EXPECT_TRUE(hud().Messages() & kHudStartSequence);
    EXPECT_FALSE(hud().Enabled() & (kHudOnboard | kHudTrackside));
    EXPECT_EQ(hud().Duration(4), 5.0f) << "five seconds per four riders after the first";
    EXPECT_EQ(race->m_Camera.Mode(), kCameraStart);
    EXPECT_EQ(input.m_fRaceClock, kRaceClockHold);
    EXPECT_FALSE(flags() & kRaceRacing);

    // The sequence runs 4 s of its timer and its 5 s; the countdown holds.
    int frames = 0;
    while (input.m_fRaceClock == kRaceClockHold && frames < 1000) {
        Frame(50);
        ++frames;
    }
    EXPECT_NEAR(frames * 0.05, 9.0, 0.2);
    EXPECT_FALSE(hud().Messages() & kHudStartSequence);
    EXPECT_TRUE(hud().Enabled() & kHudOnboard);
    EXPECT_EQ(race->m_Camera.Mode(), kCameraChase);
    // The countdown started from -6 s and the frame's clock step followed.
    EXPECT_FLOAT_EQ(input.m_fRaceClock, kRaceClockCountdown + 0.05f);
    const float before = bike(0).RaceTime;

    // Six seconds of countdown without simulation, then the green light.
    frames = 0;
    while (!(flags() & kRaceRacing) && frames < 1000) {
        Frame(50);
        ++frames;
    }
    EXPECT_NEAR(frames * 0.05, 6.0, 0.15);
    EXPECT_EQ(bike(0).RaceTime, before);
    EXPECT_EQ(race->SessionBestLap(), kNoLapTime);
    for (int i = 0; i < 20; ++i)
        Frame(50);
    EXPECT_GT(bike(0).RaceTime, 0.9f);
    EXPECT_GT(bike(0).Speed, 0.0f);
}

// Escape (or the player's throttle) during the start sequence skips it: the
// chosen camera returns and the countdown starts again at -6 s; with a
// restart asked for, the trackside camera.
TEST_F(RaceRunTest, EscapeSkipsTheStartSequence)
{
    app.Camera = 2;
    Header("Sugo", 4, 8);
    app.Camera = 2;
    Start();
    Frame();
    PressKey(kEscape);
    Frame();
    EXPECT_FALSE(hud().Messages() & kHudStartSequence);
    EXPECT_TRUE(hud().Enabled() & kHudTrackside);
    EXPECT_EQ(race->m_Camera.Mode(), 2);
    EXPECT_FLOAT_EQ(input.m_fRaceClock, kRaceClockCountdown + 0.02f);

    race->LiveFlags() |= kRaceRestart;
    hud().Raise(kHudStartSequence);
    PressKey(kEscape);
    Frame();
    EXPECT_EQ(race->m_Camera.Mode(), kCameraTelevision);
}

// A frame is cut into sub-steps: at most 1.0 s is simulated, above 0.1 s
// in n = trunc(0.99 + 10 t) equal steps; Step returns the step length.
TEST_F(RaceRunTest, FrameTimeIsCutIntoSubSteps)
{
    torvane_test::FpTraps traps;
    StartRacing();
    struct Case {
        float frame;
        float step;    // Step's result
        float elapsed; // simulated time
    };
    for (const Case& c : {Case{2.5f, 0.1f, 1.0f}, Case{1.0f, 0.1f, 1.0f}, Case{0.1f, 0.1f, 0.1f},
                          Case{0.15f, 0.075f, 0.15f}, Case{0.05f, 0.05f, 0.05f}, Case{0.0f, 0.0f, 0.0f},
                          Case{-0.2f, -0.2f, 0.0f}}) {
        const float before = bike(0).RaceTime;
        input.m_fFrameTime = c.frame;
        EXPECT_FLOAT_EQ(race->Step(), c.step) << c.frame;
        EXPECT_NEAR(bike(0).RaceTime - before, c.elapsed, 1e-4f) << c.frame;
    }

    // Nothing while paused or while the picture fades.
    const float before = bike(0).RaceTime;
    input.m_bPaused = 1;
    input.m_fFrameTime = 0.1f;
    EXPECT_EQ(race->Step(), 0.0f);
    input.m_bPaused = 0;
    hud().m_fFadeTarget = 1.0f;
    input.m_fFrameTime = 0.1f;
    EXPECT_EQ(race->Step(), 0.0f);
    EXPECT_EQ(bike(0).RaceTime, before);
}

// Escape pauses and resumes a local race: the dim, the pause menu and the
// messages follow; no time passes while paused.
TEST_F(RaceRunTest, EscapeTogglesThePause)
{
    StartRacing();
    PressKey(kEscape);
    Frame();
    EXPECT_EQ(input.m_bPaused, 1);
    EXPECT_EQ(hud().m_fDimTarget, 1.0f);
    EXPECT_TRUE(hud().Test(kHudPauseMenu));
    EXPECT_FALSE(hud().Enabled() & kHudOnboard);
    const float before = bike(0).RaceTime;
    for (int i = 0; i < 10; ++i)
        Frame();
    EXPECT_EQ(bike(0).RaceTime, before);

    PressKey(kEscape);
    Frame();
    EXPECT_EQ(input.m_bPaused, 0);
    EXPECT_EQ(hud().m_fDimTarget, 0.0f);
    EXPECT_FALSE(hud().Messages() & kHudPauseMenu);
    EXPECT_TRUE(hud().Enabled() & kHudOnboard);
    Frame();
    EXPECT_GT(bike(0).RaceTime, before);

    // While the race menu is up Escape belongs to it.
    hud().Raise(kHudRaceMenu);
    PressKey(kEscape);
    Frame();
    EXPECT_EQ(input.m_bPaused, 0);

    // Watching a replay, Escape opens and closes the replay panel.
    hud().Clear(kHudRaceMenu);
    input.m_dwMode |= kInputModePlayback;
    PressKey(kEscape);
    race->HandleKeys();
    EXPECT_TRUE(hud().Messages() & kHudReplayPanel);
    PressKey(kEscape);
    race->HandleKeys();
    EXPECT_FALSE(hud().Messages() & kHudReplayPanel);
    EXPECT_EQ(input.m_bPaused, 0);
}

// In a network game Escape does nothing until the green light; then the host
// pauses and the others leave the race.
TEST_F(RaceRunTest, EscapeInANetworkGame)
{
    struct Case {
        std::uint32_t runFlags;
        bool racing;
        bool paused;
        std::int32_t command;
    };
    for (const Case& c : {Case{kAppFlagNetwork, false, false, kRaceCommandNone},
                          Case{kAppFlagNetwork, true, false, kRaceCommandLeave},
                          Case{kAppFlagNetwork | kAppFlagNetworkHost, true, true, kRaceCommandNone}}) {
        Header("Sugo", 4, 4);
        Start();
        race->m_uRunFlags = c.runFlags;
        hud().Clear(kHudStartSequence);
        if (c.racing)
            race->LiveFlags() |= kRaceRacing;
        else
            race->LiveFlags() &= ~kRaceRacing;
        input.m_nRaceCommand = kRaceCommandNone;
        PressKey(kEscape);
        race->HandleKeys();
        EXPECT_EQ(input.m_bPaused != 0, c.paused) << c.runFlags << " " << c.racing;
        EXPECT_EQ(input.m_nRaceCommand, c.command) << c.runFlags << " " << c.racing;
        input.m_bPaused = 0;
        race.reset();
    }
}

// Once the viewed rider has finished, Escape only acknowledges the finish
// standings (the results follow); F11 switches the engine's option.
TEST_F(RaceRunTest, EscapeAfterTheFinishAndF11)
{
    StartRacing();
    Bike& viewed = *race->ViewedBike();
    viewed.Status |= kBikeFinished;
    hud().Raise(kHudFinishStandings);
    PressKey(kEscape);
    race->HandleKeys();
    EXPECT_TRUE(hud().Messages() & kHudResultsMenu);
    EXPECT_FALSE(hud().Messages() & kHudFinishStandings);
    EXPECT_EQ(input.m_bPaused, 0);

    viewed.Status &= ~kBikeFinished;
    input.m_KeyState[kEscape] = 0;
    const std::uint32_t option = race->m_uEngineOption;
    PressKey(kF11);
    race->HandleKeys();
    EXPECT_NE(race->m_uEngineOption, option);
}

// An attract run starts at once on the trackside camera, shows no overlay
// message, and ends on Escape or when the viewed rider completes a lap.
TEST_F(RaceRunTest, AttractRunEndsOnEscapeOrAfterALap)
{
    for (bool byLap : {false, true}) {
        Header("Sugo", 4, 4);
        app.Flags = kAppFlagDemo;
        Start();
        EXPECT_TRUE(flags() & kRaceRacing);
        EXPECT_EQ(race->m_Camera.Mode(), kCameraTelevision);
        EXPECT_EQ(hud().Messages(), 0u);
        EXPECT_TRUE(race->m_Camera.DirectorOn());
        Frame();
        EXPECT_FALSE(flags() & kRaceFlagEnding);
        if (byLap)
            race->ViewedBike()->Laps = 1;
        else
            PressKey(kEscape);
        Frame();
        EXPECT_TRUE(flags() & kRaceFlagEnding) << byLap;
        race.reset();
    }
}

// A bike's heading turns by a full turn every lap. Summed without bound it
// passed 128 rad after some twenty laps, where a wide bend's turn in one
// step rounds away and took the step's motion with it: a lone rider on Sugo
// stood still after lap 21 and the race never ended. Put as far round as
// that, the rider laps on, its headings kept within half a turn.
TEST_F(RaceRunTest, ALongRaceKeepsLapping)
{
    torvane_test::FpTraps traps;
    StartRacing(1);
    Bike& b = bike(0);
    ASSERT_TRUE(FramesUntil([&] { return b.Laps >= 0; }, 2000, 17));
    const float turns = 24.0f * 6.28318531f;
    b.Heading += turns;
    b.PrevHeading += turns;
    b.AimHeading += turns;
    b.RiderAngles.y += turns;
    for (WheelAssembly* wheel : {&b.FrontWheel, &b.RearWheel}) {
        wheel->Heading += turns;
        wheel->Orientation.Heading += turns;
    }
    Frame(17);
    EXPECT_LE(std::fabs(b.Heading), 3.1416f) << "folded at the next step";
    EXPECT_LE(std::fabs(b.RearWheel.Heading - b.Heading), 0.5f);
    EXPECT_LE(std::fabs(b.RiderAngles.y - b.Heading), 0.5f);
    const bool lapped = FramesUntil([&] { return b.Laps >= 2; }, 10000, 17);
    EXPECT_TRUE(lapped) << "stuck at " << b.Progress << " m, " << b.Speed << " m/s";
    EXPECT_EQ(b.RiderState, -1) << "riding, not fallen";
    EXPECT_LE(std::fabs(b.Heading), 3.1416f);
}

// A watcher of the rider states hears every state a bike enters, each
// with the state it leaves, in order: a requested fall is one entry into a
// fall state from riding, and the rider's way back is told step by step.
TEST_F(RaceRunTest, RiderStateListenerHearsEveryEntry)
{
    struct Entry {
        int bike;
        std::int32_t previous, state;
    };
    struct Recorder : RiderStateListener {
        std::vector<Entry> entries;
        void RiderStateEntered(const Bike& bike, std::int32_t previous, std::int32_t state) override
        {
            entries.push_back({bike.Index, previous, state});
        }
    } recorder;

    torvane_test::FpTraps traps;
    StartRacing(2);
    CurrentRaceContext().StateListener = &recorder;
    Bike& b = bike(0);
    ASSERT_TRUE(FramesUntil([&] { return b.RiderState == kRiderRiding && b.Speed > 20.0f; }, 3000, 17));
    recorder.entries.clear();
    b.Status |= kBikeFallRequested;
    std::vector<std::int32_t> seen;
    const bool back = FramesUntil(
        [&] {
            if (seen.empty() || seen.back() != b.RiderState)
                seen.push_back(b.RiderState);
            return seen.size() > 1 && b.RiderState == kRiderRiding;
        },
        6000, 17);
    CurrentRaceContext().StateListener = nullptr;
    ASSERT_TRUE(back) << "the rider never rode again";

    std::vector<Entry> mine;
    for (const Entry& e : recorder.entries)
        if (e.bike == 0)
            mine.push_back(e);
    ASSERT_FALSE(mine.empty());
    EXPECT_EQ(mine.front().previous, kRiderRiding);
    EXPECT_TRUE(mine.front().state == kRiderThrownA || mine.front().state == kRiderThrownB) << mine.front().state;
    int falls = 0;
    for (std::size_t i = 0; i < mine.size(); ++i) {
        if (i > 0) {
            EXPECT_EQ(mine[i].previous, mine[i - 1].state) << "entry " << i;
        }
        const std::int32_t s = mine[i].state;
        const bool fall = s == kRiderLowSideA || s == kRiderLowSideB || s == kRiderThrownA || s == kRiderThrownB;
        if (fall && !IsOffBikeSettling(mine[i].previous))
            ++falls;
    }
    EXPECT_EQ(falls, 1);
    EXPECT_EQ(mine.back().state, kRiderRiding);
    // Every state the frames showed (after the riding one the fall left) was
    // told, in the same order.
    std::size_t k = 1;
    for (const Entry& e : mine) {
        if (k < seen.size() && e.state == seen[k])
            ++k;
    }
    EXPECT_EQ(k, seen.size());
}

// The race commands: the run ends (1, 4), is run again (3) or watched again
// (2), and the picture fades out, during which nothing is simulated; 5
// parks the viewed rider.
TEST_F(RaceRunTest, RaceCommandsEndTheRunAfterTheFade)
{
    struct Case {
        std::int32_t command;
        std::uint32_t set;
        std::uint32_t clear;
    };
    for (const Case& c : {Case{kRaceCommandEnd, kRaceFlagEnding, kRaceRestart | kRaceFlagRunAgain},
                          Case{kRaceCommandLeave, kRaceFlagEnding, kRaceRestart | kRaceFlagRunAgain},
                          Case{kRaceCommandEndReplay, kRaceFlagEnding | kRaceFlagRunAgain | kRaceRestart, 0},
                          Case{kRaceCommandRestart, kRaceFlagEnding | kRaceFlagRunAgain, kRaceRestart}}) {
        StartRacing();
        race->LiveFlags() |= c.clear;
        input.QueueRaceCommand(c.command);
        Frame();
        EXPECT_EQ(flags() & (c.set | c.clear), c.set) << c.command;
        EXPECT_EQ(hud().m_fFadeTarget, 1.0f);
        const float before = bike(0).RaceTime;
        int frames = 0;
        while (hud().m_fFadeLevel < 1.0f && frames < 200) {
            Frame(20);
            ++frames;
        }
        EXPECT_EQ(hud().m_fFadeLevel, 1.0f);
        EXPECT_NEAR(frames * 0.02, 1.0, 0.05);
        // Nothing is simulated while the picture fades; the frame in which
        // the fade completes (the run loop's last) is.
        EXPECT_NEAR(bike(0).RaceTime - before, 0.02f, 1e-5f);
        race.reset();
    }

    StartRacing();
    input.QueueRaceCommand(kRaceCommandPark);
    Frame();
    EXPECT_TRUE(race->ViewedBike()->IsOut());
}

// The state snapshot: a race restored from a saved state runs on exactly as
// it did from that state.
TEST_F(RaceRunTest, RestoredStateRunsOnTheSame)
{
    torvane_test::FpTraps traps;
    StartRacing();
    for (int i = 0; i < 100; ++i)
        Frame();
    std::vector<std::uint32_t> saved(race->StateWordCount());
    race->SaveState(saved.data());
    for (int i = 0; i < 150; ++i)
        Frame(17);
    const std::vector<std::uint32_t> first = State();
    EXPECT_NE(first, saved);

    EXPECT_EQ(race->RestoreState(saved.data()), saved.data() + saved.size());
    EXPECT_EQ(State(), saved);
    for (int i = 0; i < 150; ++i)
        Frame(17);
    EXPECT_EQ(State(), first);

    // The race's own buffer: while the snapshot is held, every frame starts
    // from it again, so the same frame gives the same state each time.
    race->SaveState(nullptr);
    EXPECT_TRUE(flags() & kRaceStateSaved);
    Frame(17);
    EXPECT_FALSE(flags() & kRaceStateSaved) << "taken back at the frame's start";
    const std::vector<std::uint32_t> once = State();
    EXPECT_NE(once, first);
    race->LiveFlags() |= kRaceStateSaved;
    Frame(17);
    EXPECT_EQ(State(), once);
}

// A restart runs the race again from the same start: the flags of the run
// are cleared (the replay flag kept), every bike is back on the grid, and
// the same frames give the same race.
TEST_F(RaceRunTest, RestartRunsTheSameRaceAgain)
{
    torvane_test::FpTraps traps;
    StartRacing();
    const std::vector<std::uint32_t> start = [&] {
        for (int i = 0; i < 300; ++i)
            Frame(17);
        return State();
    }();

    input.QueueRaceCommand(kRaceCommandRestart);
    FramesUntil([&] { return hud().m_fFadeLevel >= 1.0f; }, 200);
    race->ClassifyUnfinished();
    input.EndRace();
    ASSERT_TRUE(flags() & kRaceFlagRunAgain);

    input.m_bPaused = 0;
    race->LiveFlags() |= kRaceRestart; // as the run loop marks a replay
    race->StartMusic();
    EXPECT_EQ(flags() & (kRaceRacing | kRaceSessionOver | kRaceFlagRunAgain | kRaceFlagEnding), 0u);
    EXPECT_TRUE(flags() & kRaceRestart);
    race->LiveFlags() &= ~kRaceRestart;
    for (int i = 0; i < race->RiderCount(); ++i) {
        EXPECT_EQ(bike(i).Laps, -1);
        EXPECT_EQ(bike(i).RaceTime, 0.0f);
    }
    input.BeginRace(kInputModeRecord);
    race->Begin();
    PressKey(kEscape);
    Frame();
    ASSERT_TRUE(FramesUntil([&] { return (flags() & kRaceRacing) != 0; }, 400));
    for (int i = 0; i < 300; ++i)
        Frame(17);
    EXPECT_EQ(State(), start);
}

class PracticeTest : public RaceFixture {
protected:
    // A practice session started from the menus: suspended, without 3D
    // data, the player in the pits.
    void StartPractice(int session = 1)
    {
        Header("Sugo", session, 4);
        AddPlayer(0);
        app.Flags = kAppFlagMenu;
        app.RaceFlags = kRaceFlagNoLoadingScreen;
        Start();
        ASSERT_TRUE(flags() & kRaceSuspended);
        ASSERT_FALSE(flags() & kRace3dLoaded);
        ASSERT_TRUE(bike(0).IsOut());
    }
};

// The player out of the session goes to the in-race menu (the session runs
// on meanwhile); back from it, the 3D data is loaded again, the riders on
// the circuit stand on it, the player is sent out and the race begins again.
TEST_F(PracticeTest, InRaceMenuSuspendsAndResumes)
{
    torvane_test::FpTraps traps;
    StartPractice();
    int menus = 0;
    race->SetInRaceMenu([&](Race& r) {
        ++menus;
        for (int i = 0; i < 200; ++i) {
            platform::advance_test_clock(50);
            r.UpdateSessionClock(true);
        }
    });
    Frame();
    EXPECT_EQ(menus, 1);
    EXPECT_NEAR(input.m_fRaceClock, 200 * 0.05f * 20.0f, 1.0f) << "twenty times the menu's time";
    EXPECT_FALSE(flags() & kRaceSuspended);
    EXPECT_TRUE(flags() & kRace3dLoaded);
    EXPECT_FALSE(bike(0).IsOut()) << "the player is sent out";
    EXPECT_TRUE(hud().Messages() & kHudOnboard);
    for (int i = 1; i < race->RiderCount(); ++i) {
        if (bike(i).IsOut())
            continue;
        EXPECT_EQ(bike(i).Path, &race->m_Circuit) << i;
    }
    const std::size_t markers = race->m_SoundMarkers.size();
    EXPECT_GT(markers, 0u);

    // The menu again: the 3D data goes, the markers stay.
    race->Suspend();
    EXPECT_TRUE(flags() & kRaceSuspended);
    EXPECT_FALSE(flags() & kRace3dLoaded);
    EXPECT_EQ(race->m_SoundMarkers.size(), markers);
    race->Resume();
    EXPECT_TRUE(flags() & kRace3dLoaded);
}

// Without an in-race menu (or for a run started straight from a menu
// command) the session runs to its end at once and the picture goes black.
TEST_F(PracticeTest, WithoutAMenuTheSessionRunsToItsEnd)
{
    StartPractice();
    Frame();
    EXPECT_EQ(input.m_fRaceClock, 3600.0f);
    EXPECT_TRUE(flags() & kRaceSessionOver);
    EXPECT_TRUE(flags() & kRaceFlagEnding);
    EXPECT_EQ(hud().m_fFadeLevel, 1.0f);
    for (int i = 0; i < race->RiderCount(); ++i)
        EXPECT_TRUE(bike(i).Status & kBikeFinished) << i;

    // Started straight from a menu command: the menu is not run.
    StartPractice();
    race->m_uRunFlags |= kAppFlagDirectStart;
    int menus = 0;
    race->SetInRaceMenu([&](Race&) { ++menus; });
    Frame();
    EXPECT_EQ(menus, 0);
    EXPECT_EQ(hud().m_fFadeLevel, 1.0f);
}

// A failure while the 3D data is loaded again is shown as a failed load is
// and ends the race (not the program).
TEST_F(PracticeTest, FailedResumeEndsTheRace)
{
    StartPractice();
    std::filesystem::remove(dir() / "Data" / "Data.mix");
    RemoveList(dir() / "Data" / "Details.dat", "Sugo_SUNNY_SW");
    race->SetInRaceMenu([](Race&) {});
    Frame();
    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_NE(boxes[0].text.find("Sugo_SUNNY_SW"), std::string::npos);
    EXPECT_EQ(hud().m_fFadeLevel, 1.0f);
    EXPECT_TRUE(flags() & kRaceFlagEnding);
    EXPECT_TRUE(flags() & kRaceSuspended);
    EXPECT_FALSE(flags() & kRace3dLoaded);
    // Frames after it do no race work and show nothing more.
    Frame();
    EXPECT_EQ(Boxes().size(), 1u);
}

// A race without riders follows the camera editor, which runs every frame;
// no bike is simulated.
TEST_F(RaceRunTest, RaceWithoutRidersFollowsTheCameraEditor)
{
    Header("Sugo", 4, 0);
    Start();
    EXPECT_EQ(race->RiderCount(), 0);
    EXPECT_EQ(race->m_nViewedRider, -1);
    EXPECT_EQ(race->m_Camera.Target(), nullptr);
    EXPECT_EQ(race->m_Camera.Mode(), kCameraOnboard);
    EXPECT_EQ(input.TargetCount(), 1) << "the editor's controls";
    EXPECT_FLOAT_EQ(race->m_CameraEditor.m_Eye.y, 1.4f);
    for (int i = 0; i < 50; ++i)
        Frame();
    race.reset();
    EXPECT_EQ(input.TargetCount(), 0);
}

} // namespace
