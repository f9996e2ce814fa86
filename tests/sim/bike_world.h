#pragma once

// A race world for bike tests: the demo data (circuits, tyres, terrain, bike
// models) written into a temporary folder, the simulation's race records
// pointed at it, and the bikes of one session. The program-wide records are
// saved and restored around each test.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/player_record.h"
#include "input/input_manager.h"
#include "sim/bike.h"
#include "sim/bike_parameters.h"
#include "sim/race_conditions.h"
#include "sim/race_context.h"
#include "sim/terrain.h"
#include "sim/track.h"
#include "tests/support/temp_dir.h"
#include "tools/datakit/bike_data_writer.h"
#include "tools/datakit/demo_circuits.h"
#include "tools/datakit/tyre_data_writer.h"

namespace bike_test {

inline constexpr float kPi = 3.14159265f;

// a - b folded into [-pi, pi].
inline float AngleBetween(float a, float b)
{
    float d = std::fmod(a - b, 2.0f * kPi);
    if (d > kPi)
        d -= 2.0f * kPi;
    else if (d < -kPi)
        d += 2.0f * kPi;
    return d;
}

// Records what the bikes do to their 3D instances.
class RecordingHooks : public RaceHooks {
public:
    void ShowInstance(ml_modelinfo* instance, bool shown) override { shows.push_back({instance, shown}); }
    void SetAnimation(ml_modelinfo* instance, std::uint32_t hash) override { animations.push_back({instance, hash}); }
    void UpdateModel(Bike&) override { ++updates; }

    bool Shown(ml_modelinfo* instance) const
    {
        bool state = false;
        for (const auto& [i, s] : shows)
            if (i == instance)
                state = s;
        return state;
    }
    bool Touched(ml_modelinfo* instance) const
    {
        for (const auto& entry : shows)
            if (entry.first == instance)
                return true;
        return false;
    }

    std::vector<std::pair<ml_modelinfo*, bool>> shows;
    std::vector<std::pair<ml_modelinfo*, std::uint32_t>> animations;
    int updates = 0;
};

// Stand-ins for model instances: distinct addresses, never dereferenced.
inline ml_modelinfo* FakeInstance(int n)
{
    static char storage[64];
    return reinterpret_cast<ml_modelinfo*>(&storage[n]);
}

class BikeWorld {
public:
    // Writes the demo data for the circuits named.
    explicit BikeWorld(std::vector<std::string> circuits = {"Island"})
        : dir_(torvane_test::make_temp_dir("bikes")), cwd_(dir_)
    {
        saved_conditions_ = CurrentRaceConditions();
        saved_context_ = CurrentRaceContext();
        saved_terrain_ = TerrainTable;
        saved_air_ = AirTemperature;
        saved_track_ = TrackTemperature;
        saved_input_ = TheInputManager();
        SetTheInputManager(&input);

        std::string error;
        for (const std::string& name : circuits)
            EXPECT_TRUE(datakit::write_demo_circuit(dir_, name, error)) << error;
        EXPECT_TRUE(datakit::write_demo_tyre_data(dir_, error)) << error;
        EXPECT_TRUE(datakit::write_demo_bike_data(dir_, error)) << error;
    }

    ~BikeWorld()
    {
        bikes.reset();
        CurrentRaceConditions() = saved_conditions_;
        CurrentRaceContext() = saved_context_;
        TerrainTable = saved_terrain_;
        SetTerrainWeather(saved_air_, saved_track_);
        SetTheInputManager(saved_input_);
    }

    BikeWorld(const BikeWorld&) = delete;
    BikeWorld& operator=(const BikeWorld&) = delete;

    const std::filesystem::path& dir() const { return dir_; }

    // Loads the circuit (and its pit lane), the terrain and the bike models
    // and points the simulation's race records at them.
    void Load(const char* track, int session, int weather = 0)
    {
        RaceConditions& conditions = CurrentRaceConditions();
        conditions = RaceConditions();
        conditions.SessionType = session;
        conditions.Weather = weather;
        conditions.RunFlags = kRunFlagFrontEnd;
        ASSERT_TRUE(circuit.Load(track));
        const std::string pit = std::string(track) + "_pit";
        has_pit_lane = pit_lane.Load(pit.c_str());
        conditions.Circuit = &circuit;
        conditions.PitLane = has_pit_lane ? &pit_lane : nullptr;
        LoadTerrain(track, session == kSessionArcade);
        SetTerrainWeather(30.0f, 45.0f);
        LoadBikeModels(track, models);

        RaceContext& context = CurrentRaceContext();
        context = RaceContext();
        context.Models = models;
        std::strncpy(context.TrackName, track, sizeof context.TrackName - 1);
        context.AirTemperature = 30.0f;
        context.TrackTemperature = 45.0f;
        context.Hooks = &hooks;
    }

    // Makes `count` bikes in grid order; the first `humans` of them are
    // players. Model i % 5, pit slot i.
    void MakeBikes(int count, int humans = 0)
    {
        bikes = std::make_unique<Bike[]>(static_cast<std::size_t>(count));
        bike_count = count;
        players.assign(static_cast<std::size_t>(humans), PlayerRecord());
        for (int i = 0; i < count; ++i) {
            grid[i] = GridEntry();
            grid[i].PitSlot = i;
            grid[i].Model = i % kBikeModelCount;
            grid[i].RefLapTime = 100.0f;
            grid[i].PowerDivisor = 1.0f;
            PlayerRecord* player = nullptr;
            if (i < humans) {
                player = &players[static_cast<std::size_t>(i)];
                player->RiderIndex = i;
                player->NetworkId = 100u + static_cast<std::uint32_t>(i);
                std::strcpy(player->Name, "PLAYER");
            }
            ASSERT_TRUE(bikes[i].Init(player, i, &grid[i])) << Bike::InitMessage();
        }
        CurrentRaceContext().Bikes = bikes.get();
        CurrentRaceContext().BikeCount = count;
    }

    // The start of the session: every bike placed.
    void PlaceAll()
    {
        for (int i = 0; i < bike_count; ++i)
            bikes[i].PlaceAtStart(true);
    }

    Bike& bike(int i) { return bikes[i]; }

    InputManager input;
    RecordingHooks hooks;
    Track circuit;
    Track pit_lane;
    bool has_pit_lane = false;
    BikeModel models[kBikeModelCount];
    GridEntry grid[kPitSlotCount];
    std::vector<PlayerRecord> players;
    std::unique_ptr<Bike[]> bikes;
    int bike_count = 0;

private:
    std::filesystem::path dir_;
    torvane_test::ScopedCwd cwd_;
    RaceConditions saved_conditions_;
    RaceContext saved_context_;
    TerrainRecord saved_terrain_;
    float saved_air_ = 0.0f;
    float saved_track_ = 0.0f;
    InputManager* saved_input_ = nullptr;
};

} // namespace bike_test
