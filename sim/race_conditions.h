#pragma once

#include <cstdint>

class Track;

// A marker of the pit lane's entry or exit: a point in x-z and the radius
// around it within which a wheel that loses the ground looks for the other
// path. A radius of 0 means the race has no such marker (every wheel looks).
struct PitMarker {
    float X = 0.0f;
    float Radius = 0.0f;
    float Z = 0.0f;
};

// What the simulation reads of the race being run. The race fills it while
// it loads (session type, weather and run flags from the race header, its
// two paths and pit markers) and resets it when it ends; the simulation sits
// below the race in the build and reads the race through this record only.
struct RaceConditions {
    std::int32_t SessionType = 0;  // 0..2 practice-type, 3+ races, 6 arcade
    std::int32_t Weather = 0;      // 0 sunny, 1 rain, 2 fog
    std::uint32_t RunFlags = 0;    // the application's run flags (bit 0: started from the front end)
    std::int32_t Laps = 0;         // laps of a race session
    std::int32_t Skill = 0;        // computer riders' skill level 0..3
    Track* Circuit = nullptr;
    Track* PitLane = nullptr; // null when the circuit has none
    PitMarker PitEntry;
    PitMarker PitExit;

    bool Arcade() const { return SessionType == 6; }
    bool Rain() const { return Weather == 1; }
};

inline constexpr std::int32_t kWeatherSunny = 0;
inline constexpr std::int32_t kWeatherRain = 1;
inline constexpr std::int32_t kWeatherFog = 2;
inline constexpr std::int32_t kSessionArcade = 6;
inline constexpr std::uint32_t kRunFlagFrontEnd = 0x01;
inline constexpr std::uint32_t kRunFlagDemo = 0x02;     // an attract (demonstration) run

// The program's one record (zeroed until a race fills it).
RaceConditions& CurrentRaceConditions();
