// Speed of the race simulation: simulated seconds per second of a race of
// 16 computer riders on the demo circuits, at 60 frames per simulated
// second, headless (every frame's update: controls, the sub-steps of every
// bike, standings, camera and overlay), with the bikes of a sub-step stepped
// one after the other and side by side.
#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "app/game_app.h"
#include "bench/bench_demo_data.h"
#include "input/input_manager.h"
#include "platform/clock.h"
#include "platform/joystick.h"
#include "platform/message_box.h"
#include "race/bike_stepping.h"
#include "race/race.h"

namespace {

const std::filesystem::path& DemoData()
{
    static const bench_support::DemoDataFolder folder("torvane-race-bench");
    return folder.Path();
}

// A race of `riders` under way on `track`, its start skipped.
class RunningRace {
public:
    RunningRace(const char* track, int riders, int threads)
    {
        platform::set_message_box_recording(true);
        platform::use_test_joysticks(true);
        platform::set_test_clock(1000);
        m_savedDirectory = std::filesystem::current_path();
        std::filesystem::current_path(DemoData());
        SetTheGameApp(&app);
        SetTheInputManager(&input);
        input.Create();
        input.Acquire();
        std::strncpy(app.m_szTrack, track, sizeof app.m_szTrack - 1);
        app.m_nSession = 4;
        app.m_nRiders = riders;
        for (int i = 0; i < 32; ++i)
            app.m_RiderIds[i] = i;
        app.m_nLaps = 99;
        app.m_nSkill = 2;
        race = std::make_unique<Race>();
        race->SetRandomSeed(1);
        race->SetSimulationThreads(threads);
        if (!race->Load())
            throw std::runtime_error("the bench race does not load");
        race->Start3d();
        race->StartMusic();
        input.BeginRace(kInputModeRecord);
        race->Begin();
        race->GetHud().Clear(kHudStartSequence);
        input.m_fRaceClock = 0.0f;
    }
    ~RunningRace()
    {
        race.reset();
        input.RemoveTarget(nullptr);
        SetTheInputManager(nullptr);
        SetTheGameApp(nullptr);
        platform::clear_test_clock();
        std::error_code ec;
        std::filesystem::current_path(m_savedDirectory, ec);
    }

    // One drawn frame of 1/60 s (17, 17 and 16 ms in turn).
    void Frame()
    {
        static constexpr std::uint32_t kMs[3] = {17, 17, 16};
        platform::advance_test_clock(kMs[m_frame++ % 3]);
        race->Draw();
        race->DrawOverlay();
        race->Update();
    }

    GameApp app;
    InputManager input;
    std::unique_ptr<Race> race;

private:
    std::filesystem::path m_savedDirectory;
    unsigned m_frame = 0;
};

void BM_RaceFrames(benchmark::State& state, const char* track)
{
    const int riders = static_cast<int>(state.range(0));
    const int threads = state.range(1) == 0 ? BikeStepping::SideBySideThreadsFor(riders) : static_cast<int>(state.range(1));
    RunningRace running(track, riders, threads);
    for (auto _ : state)
        running.Frame();
    state.counters["simulated_s_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) / 60.0, benchmark::Counter::kIsRate);
}

// Threads 1: the bikes of a sub-step one after the other (the race's
// default); 0: side by side, one thread for every two riders, at most the
// hardware's. The results are the same either way.
BENCHMARK_CAPTURE(BM_RaceFrames, Island, "Island")
    ->ArgNames({"riders", "threads"})
    ->Args({16, 1})
    ->Args({16, 0})
    ->Args({4, 1})
    ->Args({4, 0})
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->MinTime(2.0);
BENCHMARK_CAPTURE(BM_RaceFrames, Sugo, "Sugo")
    ->ArgNames({"riders", "threads"})
    ->Args({16, 1})
    ->Args({16, 0})
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->MinTime(2.0);

} // namespace
