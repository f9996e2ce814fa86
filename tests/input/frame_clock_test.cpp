#include <gtest/gtest.h>

#include "tests/input/input_fixture.h"

using namespace input_test;

namespace {

using FrameClockTest = InputFixture;

// The countdown on the test clock, 100 ms a frame: it holds below -6; from
// -6 it beeps as it passes -5; at -1 the last beep and the first light; at 0
// the second light and the go signal; after 3 s of racing the light goes.
TEST_F(FrameClockTest, StartCountdownTimeline)
{
    ControlRecord rec;
    StartRace(&rec);
    race.flags = 0;
    input.m_fRaceClock = kRaceClockHold;

    // Holding: the clock does not move, light frame 0 each frame, no time.
    for (int i = 0; i < 5; ++i)
        EXPECT_FALSE(Frame(100));
    EXPECT_EQ(input.m_fRaceClock, kRaceClockHold);
    EXPECT_EQ(race.lights, std::vector<int>(5, 0));
    EXPECT_TRUE(race.samples.empty());

    // The race starts the sequence.
    race.lights.clear();
    input.m_fRaceClock = kRaceClockCountdown;
    // The clock before and after each frame that beeps or gives the go.
    std::vector<std::pair<float, float>> beeps;
    std::pair<float, float> go{1.0f, 1.0f};
    for (int frame = 0; race.finishes == 0 && frame < 100; ++frame) {
        const float before = input.m_fRaceClock;
        const std::size_t samplesBefore = race.samples.size();
        EXPECT_FALSE(Frame(100)) << "no frame time during the countdown";
        EXPECT_EQ(input.m_fFrameTime, 0.0f);
        if (race.samples.size() > samplesBefore)
            beeps.emplace_back(before, input.m_fRaceClock);
        if (race.finishes)
            go = {before, input.m_fRaceClock};
    }
    EXPECT_EQ(race.samples, (std::vector<int>{0, 1}));
    ASSERT_EQ(beeps.size(), 2u);
    EXPECT_LT(beeps[0].first, -5.0f);
    EXPECT_GE(beeps[0].second, -5.0f);
    EXPECT_LE(beeps[1].first, -1.0f);
    EXPECT_GT(beeps[1].first, -1.1f);
    EXPECT_GT(beeps[1].second, -1.0f);
    EXPECT_GT(go.first + 0.1f, 0.0f);
    EXPECT_EQ(go.second, 0.0f);
    EXPECT_EQ(race.lights, (std::vector<int>{1, 2}));
    EXPECT_EQ(race.materials, (std::vector<float>{0.5f, 1.0f}));
    EXPECT_EQ(input.m_fRaceClock, 0.0f);
    EXPECT_EQ(race.finishes, 1);

    // Racing: frame time flows, the go signal is not given again, and the
    // light is hidden once the clock is past 3 s.
    race.lights.clear();
    for (int i = 0; i < 30; ++i) {
        EXPECT_TRUE(Frame(100));
        EXPECT_FLOAT_EQ(input.m_fFrameTime, 0.1f);
    }
    EXPECT_TRUE(race.lights.empty());
    Frame(100);
    Frame(100);
    EXPECT_EQ(race.lights, std::vector<int>{-1}) << "hidden from the first frame that starts past 3 s";
    EXPECT_EQ(race.finishes, 1);
    EXPECT_NEAR(input.m_fRaceClock, 3.2f, 1e-4f);
}

TEST_F(FrameClockTest, ALongFrameAcrossMinusFiveBeepsOnce)
{
    StartRace(nullptr);
    input.m_fRaceClock = -5.5f;
    Frame(1200);
    EXPECT_EQ(race.samples, std::vector<int>{0});
    EXPECT_NEAR(input.m_fRaceClock, -4.3f, 1e-5f);
    while (input.m_fRaceClock < 0.0f)
        Frame(50);
    EXPECT_EQ(race.samples, (std::vector<int>{0, 1})) << "no beep at -4, -3 or -2";
    EXPECT_EQ(race.finishes, 1);
}

TEST_F(FrameClockTest, ASessionWithoutCountdownGetsTheGoSignalOnItsFirstFrame)
{
    StartRace(nullptr);
    race.flags = 0;
    input.m_fRaceClock = 0.0f;
    EXPECT_TRUE(Frame(20));
    EXPECT_EQ(race.finishes, 1);
    Frame(20);
    EXPECT_EQ(race.finishes, 1);
    EXPECT_TRUE(race.samples.empty());
}

TEST_F(FrameClockTest, TheClockRunsAcrossTheWrapOfTheMillisecondCounter)
{
    platform::set_test_clock(0xFFFFFF00u);
    StartRace(nullptr);
    platform::advance_test_clock(0x200); // wraps to 0x100
    EXPECT_TRUE(input.ReadControls());
    EXPECT_FLOAT_EQ(input.m_fFrameTime, 0.512f);
    EXPECT_FLOAT_EQ(input.m_fRaceClock, 0.512f);
}

TEST_F(FrameClockTest, PausedMeasuresTimeWithoutAFrame)
{
    StartRace(nullptr);
    input.m_bPaused = 1;
    EXPECT_FALSE(Frame(30));
    EXPECT_FLOAT_EQ(input.m_fFrameTime, 0.03f);
    EXPECT_EQ(input.m_fRaceClock, 0.0f);
    input.m_bPaused = 0;
    EXPECT_TRUE(Frame(40));
    EXPECT_FLOAT_EQ(input.m_fFrameTime, 0.04f) << "measured from the paused frame";
}

// A race command is applied at the end of the frame that carries it.
TEST_F(FrameClockTest, RaceCommandsApplyOnTheFrameTheyAreQueued)
{
    struct Case {
        std::int32_t code;
        std::uint32_t flagsBefore, flagsAfter;
        int parks;
    };
    const Case cases[] = {
        {kRaceCommandEnd, 0x01 | 0x04 | 0x08, 0x01 | 0x10, 0},
        {kRaceCommandEndReplay, 0x01, 0x01 | 0x10 | 0x08 | 0x04, 0},
        {kRaceCommandRestart, 0x01 | 0x04, 0x01 | 0x10 | 0x08, 0},
        {kRaceCommandLeave, 0x01 | 0x0C, 0x01 | 0x10, 0},
        {kRaceCommandPark, 0x01, 0x01, 1},
    };
    ControlRecord rec;
    StartRace(&rec);
    for (const Case& c : cases) {
        race = FakeRaceLink{};
        race.flags = c.flagsBefore;
        Frame();
        EXPECT_EQ(race.flags, c.flagsBefore) << "nothing queued yet, code " << c.code;
        input.QueueRaceCommand(c.code);
        Frame();
        EXPECT_EQ(race.flags, c.flagsAfter) << "code " << c.code;
        EXPECT_EQ(race.parks, c.parks) << "code " << c.code;
        EXPECT_EQ(race.fadeTarget, 1.0f) << "code " << c.code;
        EXPECT_EQ(race.shade, 1.0f) << "code " << c.code;
        EXPECT_EQ(race.fadeLevel, 0.0f) << "fades, not black at once, code " << c.code;
        EXPECT_EQ(input.m_nRaceCommand, 0);
        race.fadeTarget = 0.0f;
        Frame();
        EXPECT_EQ(race.fadeTarget, 0.0f) << "applied once, code " << c.code;
    }
}

TEST_F(FrameClockTest, WatchingAgainFromAReplayGoesBlackAtOnce)
{
    StartRace(nullptr);
    input.m_dwMode |= kInputModePlayback;
    input.QueueRaceCommand(kRaceCommandEndReplay);
    Frame();
    EXPECT_EQ(race.fadeLevel, 1.0f);
}

TEST_F(FrameClockTest, UnknownRaceCommandsAreDropped)
{
    StartRace(nullptr);
    race.flags = 0x01;
    for (std::int32_t code : {-1, 6, 99}) {
        input.QueueRaceCommand(code);
        Frame();
        EXPECT_EQ(race.flags, 0x01u);
        EXPECT_EQ(race.fadeTarget, 0.0f);
        EXPECT_EQ(input.m_nRaceCommand, 0);
    }
}

TEST_F(FrameClockTest, ASimulatedFrameOutsideAReplayHasNoTimeStep)
{
    StartRace(nullptr);
    Frame(20);
    EXPECT_FALSE(input.NextFrame(false));
    EXPECT_EQ(input.m_fFrameTime, 0.0f);
}

// While an input replay is watched, numeric-pad 9 moves the replay time
// three times as fast and stops the continuous play; 5 plays on.
TEST_F(FrameClockTest, NumericPadStepsTheReplayTime)
{
    constexpr int kPad9 = 0x49, kPad5 = 0x4C, kPad6 = 0x4D, kPad3 = 0x51;
    StartRace(nullptr);
    input.m_dwMode |= kInputModePlayback | kInputModePlaying;
    input.m_nInputFrameCount = 1000;

    Frame(100);
    EXPECT_NEAR(input.m_fReplayTime, 0.1f, 1e-6f) << "playing";
    Key(kPad9, true);
    Frame(100);
    EXPECT_NEAR(input.m_fReplayTime, 0.4f, 1e-6f);
    EXPECT_FALSE(input.m_dwMode & kInputModePlaying);
    Key(kPad9, false);
    Frame(100);
    EXPECT_NEAR(input.m_fReplayTime, 0.4f, 1e-6f) << "paused";
    Key(kPad6, true);
    Frame(100);
    EXPECT_NEAR(input.m_fReplayTime, 0.5f, 1e-6f);
    Key(kPad6, false);
    Key(kPad3, true);
    Frame(300);
    EXPECT_NEAR(input.m_fReplayTime, 0.6f, 1e-6f);
    Key(kPad3, false);
    Key(kPad5, true);
    Frame(100);
    EXPECT_TRUE(input.m_dwMode & kInputModePlaying);
    EXPECT_NEAR(input.m_fReplayTime, 0.7f, 1e-6f);
}

} // namespace
