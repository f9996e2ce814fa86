// Bike steps per second: whole race frames of 1, 8 and 32 computer riders
// on the demo circuit, at a fast display's frame time (1/60 s) and at the
// longest frame that is still one sub-step (0.1 s). Each frame runs the
// race's passes: every bike's control step, then every bike's dynamics step
// and rider state step.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include <unistd.h>

#include "sim/bike.h"
#include "sim/bike_parameters.h"
#include "sim/race_conditions.h"
#include "sim/race_context.h"
#include "sim/rider_state_table.h"
#include "sim/terrain.h"
#include "sim/track.h"
#include "tools/datakit/bike_data_writer.h"
#include "tools/datakit/demo_circuits.h"
#include "tools/datakit/rider_state_writer.h"
#include "tools/datakit/tyre_data_writer.h"

namespace {

constexpr const char* kTrack = "Island";
constexpr int kRaceSession = 4;

// The demo data written once into a temporary folder (the working folder
// while the benchmarks run) and the race records pointed at it.
struct RaceData {
    std::filesystem::path dir;
    std::filesystem::path previous;
    Track circuit;
    Track pitLane;
    BikeModel models[kBikeModelCount];
    RiderStateTable states;

    RaceData()
    {
        dir = std::filesystem::temp_directory_path() / ("torvane-bike-bench-" + std::to_string(::getpid()));
        std::string error;
        if (!datakit::write_demo_circuit(dir, kTrack, error) || !datakit::write_demo_tyre_data(dir, error) ||
            !datakit::write_demo_bike_data(dir, error) || !datakit::write_demo_animation_sets(dir, error))
            throw std::runtime_error(error);
        previous = std::filesystem::current_path();
        std::filesystem::current_path(dir);

        RaceConditions& conditions = CurrentRaceConditions();
        conditions = RaceConditions();
        conditions.SessionType = kRaceSession;
        if (!circuit.Load(kTrack))
            throw std::runtime_error("cannot load the bench circuit");
        conditions.Circuit = &circuit;
        conditions.PitLane = pitLane.Load((std::string(kTrack) + "_pit").c_str()) ? &pitLane : nullptr;
        LoadTerrain(kTrack, false);
        SetTerrainWeather(25.0f, 35.0f);
        LoadBikeModels(kTrack, models);
        states = ReadRiderStateTable("Data\\Info.dat", nullptr);
    }
    ~RaceData()
    {
        std::error_code ec;
        std::filesystem::current_path(previous, ec);
        std::filesystem::remove_all(dir, ec);
    }
};

RaceData& data()
{
    static RaceData d;
    return d;
}

// A race of `count` computer riders under way on the grid.
struct Field {
    std::unique_ptr<Bike[]> bikes;
    GridEntry grid[kPitSlotCount];
    int count;

    // At most one bike per grid entry.
    explicit Field(int riders)
        : bikes(std::make_unique<Bike[]>(static_cast<std::size_t>(std::clamp(riders, 0, kPitSlotCount)))),
          count(std::clamp(riders, 0, kPitSlotCount))
    {
        const int n = count;
        RaceData& d = data();
        RaceContext& race = CurrentRaceContext();
        race = RaceContext();
        race.Models = d.models;
        std::strncpy(race.TrackName, kTrack, sizeof race.TrackName - 1);
        InstallRiderStateTable(race, &d.states);
        for (int i = 0; i < n; ++i) {
            grid[i].PitSlot = i;
            grid[i].Model = i % kBikeModelCount;
            grid[i].RefLapTime = 100.0f;
            grid[i].PowerDivisor = 1.0f;
            if (!bikes[i].Init(nullptr, i, &grid[i]))
                throw std::runtime_error(Bike::InitMessage());
        }
        race.Bikes = bikes.get();
        race.BikeCount = n;
        for (int i = 0; i < n; ++i)
            bikes[i].PlaceAtStart(true);
        race.Flags |= kRaceRacing;
    }
    ~Field() { CurrentRaceContext() = RaceContext(); }

    // One race frame of one sub-step.
    void Frame(float dt)
    {
        for (int i = 0; i < count; ++i)
            bikes[i].ControlStep(dt);
        for (int i = 0; i < count; ++i) {
            bikes[i].DynamicsStep(dt);
            bikes[i].StateStep(dt);
        }
    }
};

void BM_BikeSteps(benchmark::State& state, float frameTime)
{
    const int riders = static_cast<int>(state.range(0));
    Field field(riders);
    // Get going first, so that the frames measured are racing ones.
    for (int i = 0; i < static_cast<int>(5.0f / frameTime); ++i)
        field.Frame(frameTime);
    int frames = 0;
    for (auto _ : state) {
        field.Frame(frameTime);
        // Start over after three minutes of racing: the field stays spread
        // over the first laps rather than parked after the finish.
        if (++frames == static_cast<int>(180.0f / frameTime)) {
            state.PauseTiming();
            for (int i = 0; i < riders; ++i)
                field.bikes[i].PlaceAtStart(true);
            frames = 0;
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(state.iterations() * riders);
    state.counters["bike_steps_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * riders, benchmark::Counter::kIsRate);
}

void BM_BikeSteps60Hz(benchmark::State& state) { BM_BikeSteps(state, 1.0f / 60.0f); }
void BM_BikeSteps10Hz(benchmark::State& state) { BM_BikeSteps(state, 0.1f); }

BENCHMARK(BM_BikeSteps60Hz)->Arg(1)->Arg(8)->Arg(32);
BENCHMARK(BM_BikeSteps10Hz)->Arg(1)->Arg(8)->Arg(32);

} // namespace
