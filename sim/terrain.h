#pragma once

#include <cstdint>

// Grip and surface values of the ground by surface class (0 asphalt, 1-3 the
// verge classes of the track), for the race's circuit and weather, read from
// "Data\Terrain.dat". The wheels copy the two leading values; the tyres
// blend the per-class values (see Tyre::GripBlend and
// WheelAssembly::LocateOnTrack).
inline constexpr int kSurfaceClasses = 4;

struct TerrainRecord {
    float Terrain0 = 0.0f;
    float Terrain1 = 0.0f;
    float DryA[kSurfaceClasses] = {};       // bump height scale
    float DryB[kSurfaceClasses] = {};       // bump steer scale
    float DryC[kSurfaceClasses] = {};       // friction coefficient
    float DryD[kSurfaceClasses] = {};       // rolling drag (kept, not used by the dynamics)
    float HeatFactor[kSurfaceClasses] = {}; // tyre heating while sliding on it
    float WearFactor[kSurfaceClasses] = {}; // tyre wear on it
    float WetA[kSurfaceClasses] = {};
    float WetB[kSurfaceClasses] = {};
    float WetC[kSurfaceClasses] = {};
    float WetD[kSurfaceClasses] = {};
};
static_assert(sizeof(TerrainRecord) == 168, "a terrain list holds 42 floats");

// The program-wide terrain table, filled by LoadTerrain.
extern TerrainRecord TerrainTable;

// Session temperatures in degrees (0 until SetTerrainWeather runs): tyres
// start at the track temperature and cool towards the air's.
extern float AirTemperature;
extern float TrackTemperature;

// The list that LoadTerrain reads: "Arcade" / "Arcade_Rain" in the arcade
// model, else the track's name, with "_Rain" appended in rain (weather 1).
// At most 63 characters are kept of a long track name.
void TerrainListName(char (&out)[64], const char* trackName, bool arcade, int weather);

// Fills TerrainTable from "Data\Terrain.dat" for the track and the weather
// of the race being run (CurrentRaceConditions()). A missing file or list,
// a list with fewer than 42 values, or a value that is not a finite number
// throws a GameError naming the list and the file; the table is then left
// as it was.
void LoadTerrain(const char* trackName, bool arcade);

// The same from any terrain file (tests, tools).
void LoadTerrainFrom(const char* path, const char* trackName, bool arcade, int weather);

void SetTerrainWeather(float air, float track);

// Surface class clamped to the four known ones.
inline int ClampSurfaceClass(int surface)
{
    return surface < 0 ? 0 : (surface >= kSurfaceClasses ? kSurfaceClasses - 1 : surface);
}
