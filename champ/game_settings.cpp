#include "champ/game_settings.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "app/game_app.h"
#include "app/game_error.h"
#include "app/registry_settings.h"
#include "app/settings_writer.h"
#include "champ/championship.h"

namespace {

GameSettings* g_pGameSettings = nullptr;

constexpr const char* kDefaultSetupName = "DEFAULT";

// Driving flags of the arcade modes: lean limited by grip, and automatic
// gears unless the player chose to shift.
constexpr std::uint32_t kArcadeFlagsManual = 64;
constexpr std::uint32_t kArcadeFlagsAutomatic = 66;

} // namespace

GameSettings::GameSettings()
{
    ResetAudio();
    ResetRaceOptions();
    Reserved[0] = Reserved[1] = 0;
    // The driving values match the realism level from the start, so a
    // program that cannot read its settings still drives consistently.
    ApplyRealismPreset(RealismLevel);
    SetDefaults();
}

void GameSettings::ResetAudio(AudioOptions& block)
{
    block = AudioOptions{};
}

void GameSettings::ResetRaceOptions(RaceOptions& block)
{
    block = RaceOptions{};
}

void GameSettings::SetDefaults()
{
    BikeSetup& s = PlayerSetup;
    s.SteeringHeadAngle = 0.42f;
    s.Trail = 0.1f;
    s.SprocketTeeth = 15;
    s.CrownTeeth = 36;
    const float ratios[6] = {2.86f, 2.058f, 1.65f, 1.428f, 1.26f, 1.12f};
    std::copy(std::begin(ratios), std::end(ratios), s.GearRatio);
    s.FrontSpring = 0.8f;
    s.RearSpring = 10.0f;
    s.FrontPreload = 8.0f;
    s.RearPreload = 7.0f;
    s.FrontBumpHigh = 3000.0f;
    s.RearBumpHigh = 11000.0f;
    s.FrontBumpLow = 1200.0f;
    s.RearBumpLow = 6600.0f;
    s.FrontReboundHigh = 250.0f;
    s.RearReboundHigh = 2500.0f;
    s.FrontReboundLow = 1000.0f;
    s.RearReboundLow = 10000.0f;
    s.FrontTyre = 4;
    s.RearTyre = 4;
    std::memset(SetupName, 0, sizeof SetupName);
    std::memcpy(SetupName, kDefaultSetupName, std::strlen(kDefaultSetupName));
}

bool GameSettings::ApplyRealismPreset(std::int32_t level)
{
    const RealismPreset* preset = FindRealismPreset(level);
    if (!preset)
        return false;
    PlayerSetup.PlayerFlags = preset->PlayerFlags;
    PlayerSetup.FrontLimiter = preset->FrontLimiter;
    PlayerSetup.RearLimiter = preset->RearLimiter;
    return true;
}

void GameSettings::ResetArcadeDriving(std::int32_t gameMode)
{
    if (gameMode != 0 && gameMode != 1)
        return;
    SetDefaults();
    PlayerSetup.FrontLimiter = 0.0f;
    PlayerSetup.RearLimiter = 0.0f;
    PlayerSetup.PlayerFlags = GearChoice != 0 ? kArcadeFlagsManual : kArcadeFlagsAutomatic;
}

bool GameSettings::SetPlayerName(Championship& championship, const char* name, bool save)
{
    const char* text = name ? name : "";
    const std::size_t length = strnlen(text, kPlayerNameChars);
    CopyField(championship.PlayerName, text, length);
    if (!save)
        return true;
    SettingsWriter out(kSettingsKeyPath, "player name");
    out.String(kValuePlayerName, std::string_view(text, length));
    return out.Finish();
}

void GameSettings::SetAppFlags(GameApp& app) const
{
    app.GfxFlags = Audio.Sound != 0 ? app.GfxFlags | kGfxFlagSound : app.GfxFlags & ~kGfxFlagSound;
    app.GfxFlags = Audio.Music != 0 ? app.GfxFlags | kGfxFlagMusic : app.GfxFlags & ~kGfxFlagMusic;
}

int GameSettings::LapChoiceIndex(bool simulation) const
{
    const std::int32_t laps = simulation ? Race.NumSimulationLaps : Race.NumArcadeLaps;
    for (int i = 0; i < kLapChoiceCount; ++i) {
        if (kLapChoices[i] == laps)
            return i;
    }
    return kLapChoiceCount - 1;
}

std::int32_t GameSettings::LapChoiceValue(int index)
{
    if (index < 0 || index >= kLapChoiceCount)
        throw GameError("out of range");
    return kLapChoices[index];
}

GameSettings& TheGameSettings()
{
    if (!g_pGameSettings)
        throw std::logic_error("the game settings are used before the program-wide objects are built");
    return *g_pGameSettings;
}

void SetTheGameSettings(GameSettings* settings)
{
    g_pGameSettings = settings;
}

std::int32_t GetCpuDifficulty()
{
    return TheGameSettings().Race.CpuDifficulty;
}

std::int32_t GetWeatherSetting()
{
    return TheGameSettings().Race.Weather;
}

std::int32_t GetRiderCount(bool simulation)
{
    const RaceOptions& race = TheGameSettings().Race;
    return simulation ? race.NumSimulationRiders : race.NumArcadeRiders;
}
