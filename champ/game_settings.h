#pragma once

#include <cstddef>
#include <cstdint>

#include "sim/bike_setup.h"

class Championship;
class GameApp;

// The player's choices made in the menus: audio switches and volumes, race
// options, realism and detail levels, and the player's own bike set-up. One
// program-wide record, built with defaults when the program starts and then
// overwritten from the registry (GameApp::LoadSettings); the options screens
// edit it, championship saves keep a copy, and each race's player template
// takes its set-up from it.
//
// The audio block and the race-options block are also used on their own:
// the audio screen edits a copy of the audio block, and the network game
// keeps further race-options records.

// The audio block (20 bytes when stored).
struct AudioOptions {
    std::uint32_t Enabled = 1;      // audio enable word
    std::uint32_t Sound = 0;        // "Sound": sound effects on
    float SoundVolume = 0.5f;       // "SoundVolume" 0..1
    std::uint32_t Music = 0;        // "Music": music on
    float MusicVolume = 0.5f;       // "MusicVolume" 0..1
};

// The race-options block (eight 32-bit words when stored, in this order).
struct RaceOptions {
    std::int32_t NumSimulationLaps = 1;
    std::int32_t NumArcadeLaps = 1;
    std::int32_t NumSimulationRiders = 10;
    std::int32_t NumArcadeRiders = 10;
    std::int32_t CpuDifficulty = 1;
    std::int32_t Weather = 0;       // 0 sunny, 1 rain, 2 fog, 3 random
    std::int32_t CpuMulti = 0;
    std::int32_t Km = 1;            // 0: distances in miles
};
inline constexpr int kRaceOptionWords = 8;

// Weather choice of the race options that asks for a random weather.
inline constexpr std::int32_t kWeatherRandom = 3;

// Realism levels 0..4 (0: the driving values are the player's own) and
// detail levels 0..4 (0: the graphics values are the player's own).
inline constexpr std::int32_t kRealismCustom = 0;
inline constexpr std::int32_t kRealismLevels = 5;
inline constexpr std::int32_t kDefaultRealismLevel = 1;
inline constexpr std::int32_t kDetailCustom = 0;
inline constexpr std::int32_t kDetailLevels = 5;
inline constexpr std::int32_t kDefaultDetailLevel = 2;

// The race lengths the menus offer, in laps (0: the track's own length).
inline constexpr std::int32_t kLapChoices[] = {1, 3, 5, 10, 0};
inline constexpr int kLapChoiceCount = 5;

inline constexpr std::size_t kSetupNameChars = 20; // the set-up name, without its terminator
inline constexpr std::size_t kPlayerNameChars = 20; // longest player name the championship keeps

class GameSettings {
public:
    // Defaults: audio and race options as in their blocks, realism level 1
    // with its driving preset, detail level 2, the default set-up named
    // "DEFAULT". Reads nothing.
    GameSettings();

    // The block defaults.
    static void ResetAudio(AudioOptions& block);
    static void ResetRaceOptions(RaceOptions& block);
    void ResetAudio() { ResetAudio(Audio); }
    void ResetRaceOptions() { ResetRaceOptions(Race); }

    // The player's set-up defaults (every field after the three driving
    // fields, which stay as they are) and the set-up name "DEFAULT".
    void SetDefaults();

    // Puts the driving values of a realism level 1..4 into the player's
    // set-up; false (nothing changed) for any other level.
    bool ApplyRealismPreset(std::int32_t level);

    // In the two arcade game modes (0 and 1) the set-up goes back to its
    // defaults with no slide margins, and the driving flags follow the gear
    // choice (64 with it, 66 without: automatic gears). Other modes: nothing.
    void ResetArcadeDriving(std::int32_t gameMode);

    // The championship takes the player's name, cut to its field (at most
    // 20 characters). With `save` the name is also stored as "PlayerName"
    // in the settings key; false when that write failed (already reported
    // in a message box; the championship has the new name either way).
    bool SetPlayerName(Championship& championship, const char* name, bool save);

    // The application's sound and music flags (GfxFlags bits 0 and 9)
    // follow "Sound" and "Music"; the other bits stay.
    void SetAppFlags(GameApp& app) const;

    // The index 0..4 of the simulation (true) or arcade lap count in the
    // race-length choices; 4 when the count is not one of them.
    int LapChoiceIndex(bool simulation) const;
    // The laps of a race-length choice; throws "out of range" for an index
    // outside 0..4.
    static std::int32_t LapChoiceValue(int index);

    AudioOptions Audio;
    RaceOptions Race;
    std::int32_t RealismLevel = kDefaultRealismLevel;
    std::int32_t DetailLevel = kDefaultDetailLevel;
    BikeSetup PlayerSetup;                // its first three fields: "PlayerFlags", "FrontLimiter", "RearLimiter"
    char SetupName[kSetupNameChars + 1] = {};
    std::uint8_t GearChoice = 0;          // decides the driving flags of the arcade reset
    std::int32_t ArcadeTrack = 0;         // the arcade track screen's choice: an event index 0..11
    std::int32_t ChosenBike = 0;          // the arcade bike: tens the racing-team row, units the place in it
    std::uint32_t Reserved[2] = {0, 0};
};

// The program's one GameSettings, installed by whoever builds the
// program-wide objects. Throws std::logic_error when none is installed.
GameSettings& TheGameSettings();
// Installs (or, with null, removes) the program's GameSettings.
void SetTheGameSettings(GameSettings* settings);

// What the option screens show of the program's race options: the computer
// riders' difficulty ("CpuDifficulty"), the weather choice ("Weather": 0..2,
// 3 random), and the riders of a race, simulation ("NumSimulationRiders")
// or arcade ("NumArcadeRiders"). Like TheGameSettings they throw
// std::logic_error when no GameSettings is installed.
std::int32_t GetCpuDifficulty();
std::int32_t GetWeatherSetting();
std::int32_t GetRiderCount(bool simulation);
