// Throughput of the track queries the simulation runs every sub-step for
// every bike: projection onto the centre line, ground height, edge tests.
#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

#include "sim/track.h"
#include "tools/datakit/demo_circuits.h"

namespace {

// Island written once to a temporary folder and loaded.
struct Circuit {
    std::unique_ptr<Track> track;
    std::filesystem::path dir;

    Circuit()
    {
        dir = std::filesystem::temp_directory_path() / ("torvane-track-bench-" + std::to_string(::getpid()));
        std::string error;
        if (!datakit::write_demo_circuit(dir, "Island", error))
            throw std::runtime_error(error);
        track = std::make_unique<Track>();
        if (!track->Load((dir / "Data" / "Tracks" / "Island.dat").string().c_str()))
            throw std::runtime_error("cannot load the bench track");
    }
    ~Circuit()
    {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
};

Circuit& circuit()
{
    static Circuit c;
    return c;
}

// Points a bike passes on a lap: 0.5 m apart, weaving across the asphalt.
std::vector<Vec3> lap_points(const Track& track)
{
    std::vector<Vec3> points;
    for (float d = 0.0f; d < track.Length; d += 0.5f) {
        Vec2 p, dir;
        const float h = track.DistanceToPoint(d, &p, &dir);
        const float lateral = 4.0f * std::sin(d * 0.01f);
        points.push_back({p.x + lateral * std::cos(h), 0.0f, p.z - lateral * std::sin(h)});
    }
    return points;
}

void BM_Project(benchmark::State& state)
{
    Track& track = *circuit().track;
    const std::vector<Vec3> points = lap_points(track);
    int segment = 0;
    std::size_t i = 0;
    for (auto _ : state) {
        Vec2 p{points[i].x, points[i].z};
        float heading;
        int lap;
        benchmark::DoNotOptimize(track.Project(&p, &segment, &heading, &lap));
        i = i + 1 == points.size() ? 0 : i + 1;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Project);

void BM_QueryWithHint(benchmark::State& state)
{
    Track& track = *circuit().track;
    const std::vector<Vec3> points = lap_points(track);
    std::size_t i = 0;
    for (auto _ : state) {
        Vec3 normal;
        unsigned char surface;
        benchmark::DoNotOptimize(track.Query(&points[i], &normal, static_cast<float>(i) * 0.5f, &surface));
        i = i + 1 == points.size() ? 0 : i + 1;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_QueryWithHint);

// Without a hint the search runs out from half way round: the slow path.
void BM_QueryWithoutHint(benchmark::State& state)
{
    Track& track = *circuit().track;
    const std::vector<Vec3> points = lap_points(track);
    std::size_t i = 0;
    for (auto _ : state) {
        Vec3 normal;
        benchmark::DoNotOptimize(track.Query(&points[i], &normal, -1.0f, nullptr));
        i = (i + 97) % points.size();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_QueryWithoutHint);

void BM_EdgeTests(benchmark::State& state)
{
    Track& track = *circuit().track;
    const std::vector<Vec3> points = lap_points(track);
    std::size_t i = 0;
    for (auto _ : state) {
        const std::size_t next = i + 1 == points.size() ? 0 : i + 1;
        Vec3 to = points[next];
        Vec3 normal;
        benchmark::DoNotOptimize(track.EdgeCrossing(&to, &points[i], &normal, static_cast<float>(i) * 0.5f, 1));
        Vec3 p = points[i];
        benchmark::DoNotOptimize(track.Locate(&p, &normal, static_cast<float>(i) * 0.5f));
        i = next;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EdgeTests);

void BM_DistanceToPoint(benchmark::State& state)
{
    Track& track = *circuit().track;
    float d = 0.0f;
    for (auto _ : state) {
        Vec2 p, dir;
        benchmark::DoNotOptimize(track.DistanceToPoint(d, &p, &dir));
        d += 7.3f;
        if (d > track.Length)
            d -= track.Length;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DistanceToPoint);

} // namespace
