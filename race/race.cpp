#include "race/race.h"

#include "app/game_app.h"
#include "input/input_manager.h"
#include "sim/race_context.h"

Race::Race() : m_Camera(*this), m_InputLink(*this), m_Hooks(*this)
{
    for (GridEntry& entry : m_GridEntries)
        entry = GridEntry();
}

Race::~Race()
{
    Release3d();
    m_Camera.Release();
    if (InputManager* input = TheInputManager())
        if (input->RaceLink() == &m_InputLink)
            input->SetRaceLink(nullptr);
    RaceContext& context = CurrentRaceContext();
    if (context.Models == m_BikeModels)
        context = RaceContext{};
    RaceConditions& conditions = CurrentRaceConditions();
    if (conditions.Circuit == &m_Circuit)
        conditions = RaceConditions{};
    // The bikes go before the tracks and the model blocks they point into
    // (a human bike takes its controls off the input manager as it goes).
    m_pBikes.reset();
    m_nBikes = 0;
}

float Race::SessionBestLap() const
{
    const RaceContext& context = CurrentRaceContext();
    return context.Models == m_BikeModels ? context.RaceRecord : kNoLapTime;
}

bool Race::AttractRun() const
{
    return (m_uRunFlags & kAppFlagDemo) != 0;
}

bool Race::NetworkGame() const
{
    return (m_uRunFlags & kAppFlagNetwork) != 0;
}

Bike* Race::ViewedBike()
{
    if (m_nViewedRider < 0 || m_nViewedRider >= RiderCount())
        return nullptr;
    return &m_pBikes[m_nViewedRider];
}
