#pragma once

#include <cstdint>

class Championship;
class GameApp;
class GameSettings;
class NetSession;
class WeatherTable;

// The race preparation: turns the menu choices and the championship into
// the race header of the application record (run flags, players, grid,
// track, laps, weather, temperatures, session type) for the next race.

// Session types of the race header.
inline constexpr std::int32_t kSessionTypeArcade = 6;

// The track default rider counts of a network game, by event.
inline constexpr std::int32_t kTrackDefaultRiders[12] = {32, 27, 28, 31, 30, 23, 29, 32, 30, 25, 32, 19};
// A rider count of the race options that asks for the track's default.
inline constexpr std::int32_t kTrackDefaultRiderCount = 33;
// Riders of a single-player race.
inline constexpr std::int32_t kSinglePlayerRiders = 8;

// What the preparation reads and writes.
struct RacePreparation {
    GameApp& App;
    GameSettings& Settings;
    Championship& Champ;
    WeatherTable& Weather;
    const NetSession* Session = nullptr;  // the players of a network game
    bool NetworkGame = false;
};

// Prepares the next race. Throws the championship's message texts ("e
// allora?", "undef session", "??????", "c'e' qualcosa che non va",
// "errore") when its state does not allow a race.
void PrepareRace(const RacePreparation& p);
// The same on the program-wide objects.
void PrepareRace();

// The session type of the race header for a session kind in a game mode
// (modes 0 and 1 always 6).
std::int32_t SessionTypeFor(std::int32_t gameMode, std::int32_t sessionKind);
