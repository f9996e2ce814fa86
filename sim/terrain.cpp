#include "sim/terrain.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/game_error.h"
#include "app/typed_list.h"
#include "sim/race_conditions.h"
#include "sim/tyre.h"

TerrainRecord TerrainTable;
float AirTemperature = 0.0f;
float TrackTemperature = 0.0f;

void TerrainListName(char (&out)[64], const char* trackName, bool arcade, int weather)
{
    const bool rain = weather == kWeatherRain;
    if (arcade) {
        std::snprintf(out, sizeof out, "%s", rain ? "Arcade_Rain" : "Arcade");
        return;
    }
    // Keep room for "_Rain" so the suffix is never cut off.
    char name[58];
    std::snprintf(name, sizeof name, "%s", trackName != nullptr ? trackName : "");
    std::snprintf(out, sizeof out, "%s%s", name, rain ? "_Rain" : "");
}

void LoadTerrain(const char* trackName, bool arcade)
{
    LoadTerrainFrom(kTerrainFile, trackName, arcade, CurrentRaceConditions().Weather);
}

void LoadTerrainFrom(const char* path, const char* trackName, bool arcade, int weather)
{
    char list[64];
    TerrainListName(list, trackName, arcade, weather);
    TerrainRecord record;
    const int count = ReadTypedList(path, list, &record, static_cast<int>(sizeof record),
                                    static_cast<int>(sizeof record), 1);
    if (count != 1)
        ThrowGameError("The terrain list \"%s\" is missing from \"%s\" or holds fewer than 42 values", list, path);
    float values[42];
    static_assert(sizeof values == sizeof record);
    std::memcpy(values, &record, sizeof values);
    for (int i = 0; i < 42; ++i) {
        if (!std::isfinite(values[i]))
            ThrowGameError("The terrain list \"%s\" of \"%s\" has a bad value (number %d)", list, path, i + 1);
    }
    TerrainTable = record;
}

void SetTerrainWeather(float air, float track)
{
    AirTemperature = air;
    TrackTemperature = track;
}
