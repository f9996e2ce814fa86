#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "race/bike_stepping.h"
#include "tests/race/race_fixture.h"

using namespace race_test;

namespace {

constexpr int kEscape = 0x01;

// Every rider state entered, in the order the listener was told.
class StateRecorder : public RiderStateListener {
public:
    void RiderStateEntered(const Bike& bike, std::int32_t previous, std::int32_t state) override
    {
        events.push_back(std::to_string(bike.Index) + ":" + std::to_string(previous) + ">" + std::to_string(state));
    }
    std::vector<std::string> events;
};

// TORVANE_SIM_CHECK while it lives: every sub-step stepped side by side is
// stepped again in order and the program stops at the first difference.
class CheckEverySubStep {
public:
    CheckEverySubStep() { ::setenv("TORVANE_SIM_CHECK", "1", 1); }
    ~CheckEverySubStep() { ::unsetenv("TORVANE_SIM_CHECK"); }
    CheckEverySubStep(const CheckEverySubStep&) = delete;
    CheckEverySubStep& operator=(const CheckEverySubStep&) = delete;
};

class BikeSteppingTest : public RaceFixture {
protected:
    struct Outcome {
        std::vector<std::uint32_t> state;
        std::vector<std::string> events;
        std::uint64_t sideBySide = 0;
        std::uint64_t takenBack = 0;
        std::uint64_t controlsSideBySide = 0;
    };

    // A one-lap race of computer riders from the green light, `frames`
    // frames of `frameTime`, its bikes stepped on `threads` threads.
    Outcome Run(const char* track, int riders, float frameTime, int frames, int threads)
    {
        Outcome out;
        Header(track, 4, riders, 1);
        Start();
        race->SetSimulationThreads(threads);
        PressKey(kEscape);
        Frame();
        EXPECT_TRUE(FramesUntil([&] { return (flags() & kRaceRacing) != 0; }, 400));
        StateRecorder recorder;
        CurrentRaceContext().StateListener = &recorder;
        for (int f = 0; f < frames; ++f) {
            input.m_fFrameTime = frameTime;
            race->Step();
        }
        CurrentRaceContext().StateListener = nullptr;
        out.state.resize(race->StateWordCount());
        race->SaveState(out.state.data());
        out.events = recorder.events;
        if (const BikeStepping* stepping = race->SteppingInUse()) {
            out.sideBySide = stepping->SideBySide();
            out.takenBack = stepping->TakenBack();
            out.controlsSideBySide = stepping->ControlsSideBySide();
        }
        race.reset();
        return out;
    }
};

// The race state and the rider states the listener hears, in their order,
// are those of the bike-by-bike order, whatever the frame time; every
// side-by-side sub-step (the control steps, then the dynamics) is checked
// against the order as it runs. The riders start as a pack, so their
// control steps read the speed targets and turning circles of bikes before
// and after them in the order. The Sugo
// race at 0.25 s frames has sub-steps that must be taken back (its riders'
// places change after the timing) and goes through the finish; it also runs
// unchecked, where the bikes go back to the start of a sub-step taken back
// from what the control steps' tasks saved.
TEST_F(BikeSteppingTest, SideBySideGivesTheResultsOfTheOrder)
{
    struct Case {
        const char* track;
        int riders;
        float frameTime;
        int frames;
        bool takesBack;
    };
    for (const Case& c : {Case{"Island", 16, 1.0f / 60.0f, 1500, false}, Case{"Sugo", 16, 0.25f, 400, true},
                          Case{"Sugo", 3, 0.001f, 4000, false}}) {
        SCOPED_TRACE(std::string(c.track) + " riders " + std::to_string(c.riders) + " frame " +
                     std::to_string(c.frameTime));
        const Outcome inOrder = Run(c.track, c.riders, c.frameTime, c.frames, 1);
        EXPECT_EQ(inOrder.sideBySide + inOrder.takenBack, 0u);
        if (c.takesBack) {
            // Unchecked, the sub-steps taken back go back to the bikes as
            // the control steps' tasks saved them.
            const Outcome unchecked = Run(c.track, c.riders, c.frameTime, c.frames, 4);
            EXPECT_GT(unchecked.takenBack, 0u);
            EXPECT_TRUE(unchecked.state == inOrder.state);
            EXPECT_EQ(unchecked.events, inOrder.events);
        }
        CheckEverySubStep check;
        const Outcome sideBySide = Run(c.track, c.riders, c.frameTime, c.frames, 4);
        EXPECT_GT(sideBySide.sideBySide, 0u);
        EXPECT_GT(sideBySide.controlsSideBySide, 0u);
        if (c.takesBack) {
            EXPECT_GT(sideBySide.takenBack, 0u);
        }
        EXPECT_TRUE(sideBySide.state == inOrder.state);
        EXPECT_EQ(sideBySide.events, inOrder.events);
        EXPECT_FALSE(inOrder.events.empty());
    }
}

} // namespace
