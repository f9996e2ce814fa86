#include "champ/champ_objects.h"

#include <stdexcept>

#include "app/game_error.h"
#include "champ/championship.h"
#include "champ/track_records.h"
#include "champ/weather_table.h"
#include "platform/message_box.h"

namespace {

ChampObjects* g_pInstalled = nullptr;
WeatherTable* g_pWeather = nullptr;
Championship* g_pChampionship = nullptr;
TrackRecords* g_pSimRecords = nullptr;
TrackRecords* g_pArcadeRecords = nullptr;

template <typename T>
T& Installed(T* object, const char* what)
{
    if (!object)
        throw std::logic_error(std::string(what) + " is used before the program starts it");
    return *object;
}

// Saves one store; a failure is shown to the player.
bool SaveRecords(TrackRecords& records)
{
    try {
        records.Save();
        return true;
    } catch (const GameError& e) {
        std::string text = e.what();
        if (!records.LastError().empty())
            text += "\n" + records.LastError();
        platform::message_box(text, "Error", platform::MB_ICONHAND);
        return false;
    }
}

} // namespace

ChampObjects::ChampObjects()
{
    if (g_pInstalled)
        throw std::logic_error("the championship objects exist already");
    g_pInstalled = this;
}

ChampObjects::~ChampObjects()
{
    // Nothing is saved here: Shutdown() does that while the program can
    // still report a failure.
    g_pWeather = nullptr;
    g_pChampionship = nullptr;
    g_pSimRecords = nullptr;
    g_pArcadeRecords = nullptr;
    g_pInstalled = nullptr;
}

void ChampObjects::Start()
{
    m_pWeather = std::make_unique<WeatherTable>();
    m_pWeather->Load();
    g_pWeather = m_pWeather.get();

    m_pChampionship = std::make_unique<Championship>("Default.chp");
    g_pChampionship = m_pChampionship.get();

    m_pSimRecords = std::make_unique<TrackRecords>(kSimRecordsFile);
    m_pSimRecords->Load();
    g_pSimRecords = m_pSimRecords.get();

    m_pArcadeRecords = std::make_unique<TrackRecords>(kArcadeRecordsFile);
    m_pArcadeRecords->Load();
    g_pArcadeRecords = m_pArcadeRecords.get();
    m_bStarted = true;
}

bool ChampObjects::Shutdown()
{
    if (!m_bStarted)
        return true;
    m_bStarted = false;
    bool ok = true;
    for (TrackRecords* records : {m_pSimRecords.get(), m_pArcadeRecords.get()}) {
        if (records && !SaveRecords(*records))
            ok = false;
    }
    return ok;
}

WeatherTable& TheWeatherTable()
{
    return Installed(g_pWeather, "the weather table");
}

Championship& TheChampionship()
{
    return Installed(g_pChampionship, "the championship");
}

TrackRecords& TheSimRecords()
{
    return Installed(g_pSimRecords, "the simulation records");
}

TrackRecords& TheArcadeRecords()
{
    return Installed(g_pArcadeRecords, "the arcade records");
}
