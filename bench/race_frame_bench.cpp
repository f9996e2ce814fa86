// Speed of a drawn race frame: a race of 16 computer riders on "Island"
// under way (its start sequence over), drawn through the game's renderer in
// the runner's hidden window, the chase camera behind the viewed rider, on
// the 3D device at 640x480 and 1024x768 and on the game's own rasteriser at
// 320x200 and 640x480. Each frame is the game's frame order (clear, the
// race's scene and overlay, the race's update, present); the counters give
// the frames per second and the time of each part of a frame: the scene's
// preparation, its drawing (with the overlay), the race's update and the
// presenting.
#include <benchmark/benchmark.h>

#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/bench_demo_data.h"
#include "race/hud.h"
#include "race/race.h"
#include "race/race_camera.h"
#include "tools/racesim/race_render.h"
#include "tools/racesim/race_sim.h"

namespace {

// The demo data, made once per run of the benchmark program; the runner's
// (never written) screenshot folder lies in it.
const std::filesystem::path& Folder()
{
    static const bench_support::DemoDataFolder folder("torvane-race-frame-bench");
    return folder.Path();
}

// Frames run before the timing starts once the start sequence is over, so
// that the field has spread out along the track.
constexpr int kSettleFrames = 300;

void BM_RaceFrame(benchmark::State& state, racesim::RenderType type)
{
    racesim::Options options;
    options.data = Folder().string();
    options.track = "Island";
    options.riders = 16;
    options.laps = 99;
    options.camera = kCameraChase;
    options.render.dir = (Folder() / "shots").string();
    options.render.every = 1.0e9; // no screenshot
    options.render.type = type;
    options.render.width = static_cast<int>(state.range(0));
    options.render.height = static_cast<int>(state.range(1));
    racesim::Runner runner(options);
    if (!runner.Started()) {
        state.SkipWithError("the race did not start");
        return;
    }
    Race& race = runner.GetRace();
    bool running = true;
    while (running && race.GetHud().Test(kHudStartSequence))
        running = runner.Frame();
    for (int i = 0; i < kSettleFrames && running; ++i)
        running = runner.Frame();
    if (!running) {
        state.SkipWithError("the race ended before the timing");
        return;
    }
    racesim::RaceRender& render = *runner.Render();
    render.ResetPhases();
    // With TORVANE_BENCH_MARK set the timed frames lie between two getppid
    // calls and their count goes to the error stream, so that a system call
    // trace can tell what the frames call (bench/futex_per_frame.sh).
    const bool mark = std::getenv("TORVANE_BENCH_MARK") != nullptr;
    if (mark)
        syscall(SYS_getppid);
    for (auto _ : state)
        if (!runner.Frame()) {
            state.SkipWithError("the race ended");
            break;
        }
    if (mark) {
        syscall(SYS_getppid);
        std::fprintf(stderr, "marked frames %lld\n", static_cast<long long>(state.iterations()));
    }
    const racesim::FramePhases& p = render.Phases();
    const double frames = p.frames > 0 ? static_cast<double>(p.frames) : 1.0;
    state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["prepare_us"] = 1e6 * p.prepare / frames;
    state.counters["draw_us"] = 1e6 * p.draw / frames;
    state.counters["update_us"] = 1e6 * p.update / frames;
    state.counters["present_us"] = 1e6 * p.present / frames;
    runner.Finish();
}

BENCHMARK_CAPTURE(BM_RaceFrame, Device3d, racesim::RenderType::Device3d)
    ->ArgNames({"w", "h"})
    ->Args({640, 480})
    ->Args({1024, 768})
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->MinTime(2.0);
BENCHMARK_CAPTURE(BM_RaceFrame, Software, racesim::RenderType::Software)
    ->ArgNames({"w", "h"})
    ->Args({320, 200})
    ->Args({640, 480})
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->MinTime(2.0);

} // namespace
