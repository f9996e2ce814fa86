#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/race/race_fixture.h"

using namespace race_test;

namespace {

class HudTest : public RaceFixture {
protected:
    // A race under way with its overlay reset.
    void Racing(int session = 4, std::uint32_t runFlags = 0)
    {
        Header("Sugo", session, 4);
        app.Flags = runFlags;
        Start();
        hud().ResetForRace();
        race->LiveFlags() |= kRaceRacing;
        input.m_fRaceClock = 10.0f;
    }
};

// What a raise leaves raised: arcade-only messages, attract runs, input
// playback, and the results and standings that take the place of others.
TEST_F(HudTest, RaiseDropsWhatTheSessionDoesNotShow)
{
    struct Case {
        const char* name;
        int session;
        std::uint32_t runFlags;
        bool playback;
        std::uint32_t before; // raised first
        std::uint32_t bits;
        std::uint32_t after;
    };
    const Case cases[] = {
        {"arcade-only outside the arcade", 4, 0, false, 0, 0x100, 0},
        {"arcade-only in the arcade", 6, 0, false, 0, 0x100, 0x100},
        {"nothing in an attract run", 4, kAppFlagDemo, false, 0, 0x1000, 0},
        {"playback keeps 0x84B", 4, 0, true, 0, 0xFFFF, 0x84B},
        {"results drop 0x4700", 6, 0, false, 0x4100, 0x20, 0x20},
        {"results up: 0x4000 not raised", 6, 0, false, 0x20, 0x4001, 0x21},
        {"standings drop 0x700", 6, 0, false, 0x200, 0x80, 0x80},
        {"plain messages add up", 4, 0, false, 0x1, 0x1004, 0x1005},
    };
    for (const Case& c : cases) {
        Racing(c.session, c.runFlags);
        hud().Raise(c.before);
        if (c.playback)
            input.m_dwMode |= kInputModePlayback;
        hud().Raise(c.bits);
        EXPECT_EQ(hud().Messages(), c.after) << c.name;
        input.m_dwMode &= ~kInputModePlayback;
        race.reset();
    }
}

// A timed message goes the frame its timer reaches 0: 4 s after it was
// raised, 3 s for the saved-replay message, 6 s for the gap; a long frame
// moves the timers by 0.1 s only. Untimed messages stay.
TEST_F(HudTest, TimedMessagesGoWhenTheirTimeIsUp)
{
    struct Case {
        std::uint32_t bit;
        std::uint32_t frameMs;
        float seconds; // of timer
        int session = 4;
    };
    for (const Case& c : {Case{0x4000, 20, 4.0f}, Case{0x800, 20, 3.0f}, Case{0x1000, 20, 6.0f},
                          Case{0x4000, 500, 4.0f}, Case{0x100, 20, 4.0f, 6}, Case{0x200, 20, 4.0f, 6},
                          Case{0x400, 50, 4.0f, 6}}) {
        Racing(c.session);
        hud().Raise(c.bit | kHudOnboard);
        const float step = std::min(static_cast<float>(c.frameMs) / 1000.0f, 0.1f);
        const int expected = static_cast<int>(std::lround(c.seconds / step));
        int frames = 0;
        while ((hud().Messages() & c.bit) && frames < 1000) {
            race->m_Camera.m_fFrameTime = static_cast<float>(c.frameMs) / 1000.0f;
            hud().Update();
            ++frames;
        }
        EXPECT_NEAR(frames, expected, 1) << c.bit << " at " << c.frameMs << " ms";
        EXPECT_TRUE(hud().Messages() & kHudOnboard);
        race.reset();
    }
}

// The start sequence of a large field lasts five seconds per four riders
// after the first, and holds the countdown.
TEST_F(HudTest, StartSequenceHoldsTheCountdown)
{
    Header("Sugo", 4, 16);
    Start();
    EXPECT_EQ(hud().Duration(4), 15.0f);
    EXPECT_EQ(input.m_fRaceClock, kRaceClockHold);
}

// The end of the start sequence starts the countdown with the chase camera,
// or the trackside one when the run is a restart.
TEST_F(HudTest, StartSequenceEndsIntoTheCountdown)
{
    for (const auto& [restart, mode] : {std::pair{false, kCameraChase}, std::pair{true, kCameraTelevision}}) {
        Header("Sugo", 4, 4);
        Start();
        if (restart)
            race->LiveFlags() |= kRaceRestart;
        ASSERT_TRUE(hud().Messages() & kHudStartSequence);
        EXPECT_FALSE(hud().Enabled() & kHudOnboard);
        for (int i = 0; i < 200 && (hud().Messages() & kHudStartSequence); ++i) {
            race->m_Camera.m_fFrameTime = 0.1f;
            hud().Update();
        }
        EXPECT_FALSE(hud().Messages() & kHudStartSequence) << restart;
        EXPECT_TRUE(hud().Enabled() & (kHudOnboard | kHudTrackside)) << restart;
        EXPECT_EQ(race->m_Camera.Mode(), mode) << restart;
        EXPECT_EQ(input.m_fRaceClock, kRaceClockCountdown) << restart;
        race.reset();
    }
}

// The finish standings show six riders a page for five seconds each, as
// far as the riders have finished in standing order; once all are in, the
// pages run round again.
TEST_F(HudTest, FinishStandingsTurnTheirPagesAsRidersFinish)
{
    Header("Sugo", 6, 12);
    Start();
    race->LiveFlags() |= kRaceRacing;
    struct Case {
        int finished; // the first of the standing order
        float duration;
    };
    for (const Case& c : {Case{5, 0.0f}, Case{6, 5.0f}, Case{11, 5.0f}, Case{12, 10.0f}}) {
        for (int k = 0; k < 12; ++k) {
            Bike& b = bike(race->m_StandingOrder[static_cast<std::size_t>(k)]);
            if (k < c.finished)
                b.Status |= kBikeFinished;
            else
                b.Status &= ~kBikeFinished;
        }
        hud().Clear(kHudFinishStandings);
        hud().Raise(kHudFinishStandings);
        EXPECT_EQ(hud().Duration(7), c.duration) << c.finished;
    }
    // Everyone is in: the timer runs to 10 s and starts again from -4 s.
    race->m_Camera.m_fFrameTime = 0.1f;
    float highest = -10.0f;
    bool restarted = false;
    for (int i = 0; i < 200 && !restarted; ++i) {
        hud().Update();
        restarted = hud().Timer(7) < highest;
        highest = std::max(highest, hud().Timer(7));
    }
    EXPECT_TRUE(restarted);
    EXPECT_FLOAT_EQ(highest, 10.0f);
    EXPECT_FLOAT_EQ(hud().Timer(7), -4.0f + 0.1f) << "back to -4 s, then the frame's step";
}

// The engine failure of the viewed rider ends its session: in practice the
// viewed rider is parked, in a championship race the run ends, otherwise
// the race menu comes up and the race pauses.
TEST_F(HudTest, EngineFailureEndsTheViewedRidersSession)
{
    struct Case {
        int session;
        std::uint32_t raceFlags;
        std::int32_t command;
        bool menu;
    };
    for (const Case& c : {Case{1, 0, kRaceCommandPark, false}, Case{4, kRaceFlagChampionship, kRaceCommandEnd, false},
                          Case{4, 0, kRaceCommandNone, true}}) {
        Racing(c.session);
        race->LiveFlags() |= c.raceFlags;
        hud().Raise(kHudEngineFailure);
        input.m_nRaceCommand = kRaceCommandNone;
        for (int i = 0; i < 300 && (hud().Messages() & kHudEngineFailure); ++i) {
            platform::advance_test_clock(20);
            race->m_Camera.m_fFrameTime = 0.02f;
            hud().Update();
        }
        EXPECT_FALSE(hud().Messages() & kHudEngineFailure);
        EXPECT_EQ(input.m_nRaceCommand, c.command) << c.session;
        EXPECT_EQ((hud().Messages() & kHudRaceMenu) != 0, c.menu) << c.session;
        EXPECT_EQ(input.m_bPaused != 0, c.menu) << c.session;
        input.m_bPaused = 0;
        race.reset();
    }
}

// The chequered flag ends a session when its time is shown; frames 1 and 5
// are shown for 1.0 s and 0.1 s.
TEST_F(HudTest, FlagsAndTheirTimes)
{
    Racing(2);
    hud().ShowFlag(2);
    input.m_nRaceCommand = kRaceCommandNone;
    for (int i = 0; i < 145; ++i) {
        race->m_Camera.m_fFrameTime = 0.02f;
        hud().Update();
    }
    EXPECT_EQ(hud().FlagFrame(), 2);
    for (int i = 0; i < 10; ++i) {
        race->m_Camera.m_fFrameTime = 0.02f;
        hud().Update();
    }
    EXPECT_EQ(hud().FlagFrame(), -1);
    EXPECT_EQ(input.m_nRaceCommand, kRaceCommandEnd);

    hud().ShowFlag(5);
    race->m_Camera.m_fFrameTime = 0.1f;
    hud().Update();
    EXPECT_EQ(hud().FlagFrame(), -1);

    // A finished viewed rider is shown only frame 5.
    race->ViewedBike()->Status |= kBikeFinished;
    hud().ShowFlag(1);
    EXPECT_EQ(hud().FlagFrame(), -1);
}

// The fade and the dim move toward their targets by the frame time; the
// end of the run dims the sound.
TEST_F(HudTest, FadeAndDimFollowTheirTargets)
{
    Racing();
    hud().m_fFadeTarget = 1.0f;
    race->m_Camera.m_fFrameTime = 0.25f;
    hud().Update();
    EXPECT_FLOAT_EQ(hud().m_fFadeLevel, 0.25f);
    race->m_Camera.m_fFrameTime = 2.0f;
    hud().Update();
    EXPECT_EQ(hud().m_fFadeLevel, 1.0f);
    race->LiveFlags() |= kRaceFlagEnding;
    race->m_Camera.m_fFrameTime = 0.5f;
    hud().Update();
    EXPECT_EQ(hud().m_fDimTarget, 1.0f);
    EXPECT_FLOAT_EQ(hud().m_fSoundVolume, 0.5f);
}

// The start lights through a race start: dark through the start sequence
// and the countdown, red one second before the go, green at the go, and
// hidden three seconds into the race.
TEST_F(HudTest, StartLightsFollowTheCountdown)
{
    Header("Sugo", 4, 8); // two pages of riders: 5 s of start sequence
    Start();
    struct Change {
        int frame;
        float clock;
        std::uint32_t ms;
    };
    std::vector<Change> changes;
    int last = hud().StartLight();
    EXPECT_EQ(last, 0);
    std::uint32_t ms = 0;
    for (int i = 0; i < 1000 && input.m_fRaceClock < 3.5f; ++i) {
        Frame(20);
        ms += 20;
        if (hud().StartLight() != last) {
            last = hud().StartLight();
            changes.push_back({last, input.m_fRaceClock, ms});
        }
    }
    ASSERT_EQ(changes.size(), 3u);
    EXPECT_EQ(changes[0].frame, 1);
    EXPECT_NEAR(changes[0].clock, -1.0f, 0.05f);
    // The start sequence runs from -4 s to its 5 s, then 5 s of countdown.
    EXPECT_NEAR(static_cast<float>(changes[0].ms), 14000.0f, 100.0f);
    EXPECT_EQ(changes[1].frame, 2);
    EXPECT_NEAR(changes[1].clock, 0.0f, 0.05f);
    EXPECT_NEAR(static_cast<float>(changes[1].ms - changes[0].ms), 1000.0f, 40.0f);
    EXPECT_EQ(changes[2].frame, -1);
    EXPECT_NEAR(changes[2].clock, 3.0f, 0.05f);
}

} // namespace

namespace {

// "MM:SS:HH" back to seconds; -1 for anything else.
double ParseTime(const std::string& text)
{
    int m = 0, s = 0, h = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%d:%d:%d%c", &m, &s, &h, &tail) != 3)
        return -1.0;
    return m * 60.0 + s + h / 100.0;
}

} // namespace

// The lap message's gap codes in a race: the time between the viewed
// rider's crossing of the line and the crossing of the rider ahead, as the
// test sees the riders cross (their race time on the frame their lap count
// goes up, frames of 5 ms), and the lap's own time.
TEST_F(HudTest, TheLapMessageGivesTheGapAtTheLineToTheRiderAhead)
{
    Header("Sugo", 4, 4, 3);
    Start();
    // The rider at the back of the grid is viewed: it has riders ahead.
    const int viewed = 3;
    race->SetViewRider(viewed);
    hud().SetViewedBike(&bike(viewed));
    std::vector<std::vector<double>> crossings(4);
    std::vector<int> laps(4);
    for (int i = 0; i < 4; ++i)
        laps[static_cast<std::size_t>(i)] = bike(i).Laps;
    int checked = 0;
    const auto watch = [&] {
        for (int i = 0; i < 4; ++i) {
            auto& seen = laps[static_cast<std::size_t>(i)];
            if (bike(i).Laps > seen && bike(i).Laps >= 1)
                crossings[static_cast<std::size_t>(i)].push_back(bike(i).RaceTime);
            seen = bike(i).Laps;
        }
        // The frame the viewed rider's lap message goes up.
        if (crossings[viewed].size() == static_cast<std::size_t>(checked + 1) && hud().Test(0x1000)) {
            const int lap = checked;
            ++checked;
            // The rider one place ahead in the standings.
            const Bike* ahead = nullptr;
            for (int i = 0; i < 4; ++i)
                if (bike(i).RacePosition == bike(viewed).RacePosition - 1)
                    ahead = &bike(i);
            if (!ahead)
                return checked == 2; // leading now: nothing to compare with
            const auto& their = crossings[static_cast<std::size_t>(ahead->Index)];
            EXPECT_GT(their.size(), static_cast<std::size_t>(lap)) << "the rider ahead has crossed";
            if (their.size() <= static_cast<std::size_t>(lap))
                return true;
            const double gap = crossings[viewed][static_cast<std::size_t>(lap)] - their[static_cast<std::size_t>(lap)];
            EXPECT_GT(gap, 0.0);
            EXPECT_NEAR(ParseTime(hud().ExpandText(12, "%De")), gap, 0.011) << "lap " << lap + 1;
            if (lap == 1) {
                // The second lap's time, and how it compares with the first
                // (timed from the green light). The simulation times a lap
                // by its own steps, finer than the test's view of the
                // crossings: a few hundredths apart.
                const double second = crossings[viewed][1] - crossings[viewed][0];
                EXPECT_NEAR(ParseTime(hud().ExpandText(12, "%Dh")), second, 0.05);
                const double delta = second - crossings[viewed][0];
                const std::string signed_delta = hud().ExpandText(12, "%Di");
                EXPECT_EQ(signed_delta.substr(0, 2), delta > 0 ? "+ " : "- ");
                if (signed_delta.size() > 2) {
                    EXPECT_NEAR(ParseTime(signed_delta.substr(2)), std::fabs(delta), 0.08);
                }
            }
        }
        return checked == 2;
    };
    ASSERT_TRUE(FramesUntil(watch, 400 * 200, 5));
}
