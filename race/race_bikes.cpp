#include <cstring>

#include "race/race.h"
#include "sim/race_conditions.h"
#include "sim/race_context.h"

bool Race::LoadBikes()
{
    char track[sizeof m_szTrackName + 1] = {};
    std::memcpy(track, m_szTrackName, sizeof m_szTrackName);
    LoadBikeModels(track, m_BikeModels);
    for (const BikeModel& model : m_BikeModels)
        if (!model.Loaded)
            return false;
    return true;
}

void Race::ShareWithSimulation()
{
    RaceConditions& conditions = CurrentRaceConditions();
    conditions.SessionType = m_nSessionType;
    conditions.Weather = m_nWeather;
    conditions.Circuit = &m_Circuit;
    conditions.PitLane = m_bHasPitLane ? &m_PitLane : nullptr;

    RaceContext& context = CurrentRaceContext();
    // The flags move into the simulation's record once; from then on the
    // race reads and writes them there (LiveFlags).
    if (context.Models != m_BikeModels)
        context.Flags = m_uFlags;
    context.ViewedRider = m_nViewedRider;
    context.Models = m_BikeModels;
    context.Bikes = m_pBikes.get();
    context.BikeCount = m_nBikes;
    context.StandingOrder = m_StandingOrder.data();
    context.CircuitNumber = m_nTrackIndex;
    conditions.Laps = m_nLaps;
    conditions.Skill = m_nSkill;
    std::memcpy(context.TrackName, m_szTrackName, sizeof context.TrackName);
}
