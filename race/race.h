#pragma once

#include <cstdint>
#include <memory>

#include "sim/bike.h"
#include "sim/bike_parameters.h"
#include "sim/grid_entry.h"
#include "sim/track.h"

// The object of one race or session. So far it holds what the bikes need:
// the session's track name, the five bike-model blocks (LoadBikes), the bike
// table, the circuit and its pit lane, and the bikes themselves; the rest of
// the race (loading order, clock, standings, presentation) joins it later.
//
// The simulation sits below the race in the build: ShareWithSimulation()
// hands the race's records to it (RaceConditions, RaceContext), and the
// destructor takes them back.
class Race {
public:
    Race();
    ~Race();
    Race(const Race&) = delete;
    Race& operator=(const Race&) = delete;

    // Fills the five bike-model blocks for the session's track: the list
    // "MANUFACTURERS" of "Data\Info.dat", the track's set-up
    // "Data\Settings\<track>.set" and each model's bike file. A missing or
    // damaged file throws a GameError naming it; the race's loader shows the
    // message and the load fails (bikes never run on zeroed values).
    // Returns true when all five models are loaded.
    bool LoadBikes();

    // Points the simulation's race records at this race.
    void ShareWithSimulation();

    char m_szTrackName[20] = {};
    std::int32_t m_nSessionType = 0;
    std::int32_t m_nWeather = 0;
    std::uint32_t m_uFlags = 0;
    std::int32_t m_nViewedRider = 0;
    BikeModel m_BikeModels[kBikeModelCount];
    GridEntry m_BikeTable[kPitSlotCount];
    Track m_Circuit;
    Track m_PitLane;
    bool m_bHasPitLane = false;
    std::unique_ptr<Bike[]> m_pBikes;
    std::int32_t m_nBikes = 0;
};
