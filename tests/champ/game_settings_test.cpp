#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "app/game_app.h"
#include "app/game_error.h"
#include "app/registry_settings.h"
#include "champ/championship.h"
#include "champ/game_settings.h"
#include "platform/fault_seam.h"
#include "platform/message_box.h"
#include "platform/registry.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

class GameSettingsTest : public ::testing::Test {
protected:

    torvane_test::ScopedHome scoped_home_{"game-settings"};
    const fs::path& home_ = scoped_home_.path();
};

void ExpectDefaultSetup(const BikeSetup& s)
{
    EXPECT_EQ(s.SteeringHeadAngle, 0.42f);
    EXPECT_EQ(s.Trail, 0.1f);
    EXPECT_EQ(s.SprocketTeeth, 15);
    EXPECT_EQ(s.CrownTeeth, 36);
    const float ratios[6] = {2.86f, 2.058f, 1.65f, 1.428f, 1.26f, 1.12f};
    for (int g = 0; g < 6; ++g)
        EXPECT_EQ(s.GearRatio[g], ratios[g]) << g;
    const float rest[12] = {0.8f,    10.0f,  8.0f,   7.0f,    3000.0f, 11000.0f,
                            1200.0f, 6600.0f, 250.0f, 2500.0f, 1000.0f, 10000.0f};
    const float fields[12] = {s.FrontSpring,    s.RearSpring,      s.FrontPreload,     s.RearPreload,
                              s.FrontBumpHigh,  s.RearBumpHigh,    s.FrontBumpLow,     s.RearBumpLow,
                              s.FrontReboundHigh, s.RearReboundHigh, s.FrontReboundLow, s.RearReboundLow};
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(fields[i], rest[i]) << i;
    EXPECT_EQ(s.FrontTyre, 4);
    EXPECT_EQ(s.RearTyre, 4);
}

TEST_F(GameSettingsTest, ConstructionGivesTheDefaultsAndReadsNothing)
{
    const GameSettings s;
    EXPECT_EQ(s.Audio.Enabled, 1u);
    EXPECT_EQ(s.Audio.Sound, 0u);
    EXPECT_EQ(s.Audio.SoundVolume, 0.5f);
    EXPECT_EQ(s.Audio.Music, 0u);
    EXPECT_EQ(s.Audio.MusicVolume, 0.5f);
    EXPECT_EQ(s.Race.NumSimulationLaps, 1);
    EXPECT_EQ(s.Race.NumArcadeLaps, 1);
    EXPECT_EQ(s.Race.NumSimulationRiders, 10);
    EXPECT_EQ(s.Race.NumArcadeRiders, 10);
    EXPECT_EQ(s.Race.CpuDifficulty, 1);
    EXPECT_EQ(s.Race.Weather, 0);
    EXPECT_EQ(s.Race.CpuMulti, 0);
    EXPECT_EQ(s.Race.Km, 1);
    // Realism and detail have their levels before any setting is read, and
    // the driving values match the realism level.
    EXPECT_EQ(s.RealismLevel, 1);
    EXPECT_EQ(s.DetailLevel, 2);
    EXPECT_EQ(s.PlayerSetup.PlayerFlags, 0x62u);
    EXPECT_EQ(s.PlayerSetup.FrontLimiter, 1.0f);
    EXPECT_EQ(s.PlayerSetup.RearLimiter, 1.0f);
    ExpectDefaultSetup(s.PlayerSetup);
    EXPECT_STREQ(s.SetupName, "DEFAULT");
    EXPECT_EQ(s.GearChoice, 0);
    EXPECT_EQ(s.Reserved[0], 0u);
    EXPECT_EQ(s.Reserved[1], 0u);
    EXPECT_TRUE(fs::is_empty(home_));
}

TEST_F(GameSettingsTest, BlockResetsWorkOnSeparateRecords)
{
    AudioOptions audio{0, 1, 0.1f, 1, 0.2f};
    RaceOptions race{9, 9, 9, 9, 9, 9, 9, 9};
    GameSettings::ResetAudio(audio);
    GameSettings::ResetRaceOptions(race);
    EXPECT_EQ(audio.Enabled, 1u);
    EXPECT_EQ(audio.Sound, 0u);
    EXPECT_EQ(audio.SoundVolume, 0.5f);
    EXPECT_EQ(race.NumSimulationLaps, 1);
    EXPECT_EQ(race.NumArcadeRiders, 10);
    EXPECT_EQ(race.Km, 1);
}

TEST_F(GameSettingsTest, SetDefaultsKeepsTheDrivingFields)
{
    GameSettings s;
    s.PlayerSetup = BikeSetup{};
    s.PlayerSetup.PlayerFlags = 0x610;
    s.PlayerSetup.FrontLimiter = 0.4f;
    s.PlayerSetup.RearLimiter = 0.3f;
    std::strcpy(s.SetupName, "WET");
    s.SetDefaults();
    EXPECT_EQ(s.PlayerSetup.PlayerFlags, 0x610u);
    EXPECT_EQ(s.PlayerSetup.FrontLimiter, 0.4f);
    EXPECT_EQ(s.PlayerSetup.RearLimiter, 0.3f);
    ExpectDefaultSetup(s.PlayerSetup);
    EXPECT_STREQ(s.SetupName, "DEFAULT");
}

TEST_F(GameSettingsTest, ArcadeResetOnlyInTheArcadeModes)
{
    struct Case {
        std::int32_t mode;
        std::uint8_t gearChoice;
        bool reset;
        std::uint32_t flags;
    };
    const Case cases[] = {
        {0, 0, true, 66}, {1, 0, true, 66}, {0, 1, true, 64}, {1, 7, true, 64},
        {2, 0, false, 0}, {4, 1, false, 0}, {-1, 0, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << " gears " << int(c.gearChoice));
        GameSettings s;
        s.ApplyRealismPreset(4);
        s.PlayerSetup.Trail = 0.2f;
        std::strcpy(s.SetupName, "MINE");
        s.GearChoice = c.gearChoice;
        s.ResetArcadeDriving(c.mode);
        if (c.reset) {
            EXPECT_EQ(s.PlayerSetup.PlayerFlags, c.flags);
            EXPECT_EQ(s.PlayerSetup.FrontLimiter, 0.0f);
            EXPECT_EQ(s.PlayerSetup.RearLimiter, 0.0f);
            EXPECT_EQ(s.PlayerSetup.Trail, 0.1f);
            EXPECT_STREQ(s.SetupName, "DEFAULT");
        } else {
            EXPECT_EQ(s.PlayerSetup.PlayerFlags, 0x610u);
            EXPECT_EQ(s.PlayerSetup.FrontLimiter, 0.4f);
            EXPECT_EQ(s.PlayerSetup.Trail, 0.2f);
            EXPECT_STREQ(s.SetupName, "MINE");
        }
    }
}

TEST_F(GameSettingsTest, RealismPresets)
{
    GameSettings s;
    EXPECT_TRUE(s.ApplyRealismPreset(3));
    EXPECT_EQ(s.PlayerSetup.PlayerFlags, 0x400u);
    EXPECT_EQ(s.PlayerSetup.FrontLimiter, 0.7f);
    EXPECT_EQ(s.PlayerSetup.RearLimiter, 0.65f);
    for (std::int32_t level : {0, 5, -1}) {
        EXPECT_FALSE(s.ApplyRealismPreset(level)) << level;
        EXPECT_EQ(s.PlayerSetup.PlayerFlags, 0x400u);
    }
}

TEST_F(GameSettingsTest, AppFlagsFollowSoundAndMusic)
{
    GameApp app;
    GameSettings s;
    app.GfxFlags = kGfxFlagFullScreen | kGfxFlagAmbient | kGfxFlagMusic;
    s.Audio.Sound = 1;
    s.Audio.Music = 0;
    s.SetAppFlags(app);
    EXPECT_EQ(app.GfxFlags, kGfxFlagFullScreen | kGfxFlagAmbient | kGfxFlagSound);
    s.Audio.Sound = 0;
    s.Audio.Music = 5;
    s.SetAppFlags(app);
    EXPECT_EQ(app.GfxFlags, kGfxFlagFullScreen | kGfxFlagAmbient | kGfxFlagMusic);
}

TEST_F(GameSettingsTest, LapChoices)
{
    GameSettings s;
    const struct {
        std::int32_t laps;
        int index;
    } cases[] = {{1, 0}, {3, 1}, {5, 2}, {10, 3}, {0, 4}, {4, 4}, {-3, 4}, {1000, 4}};
    for (const auto& c : cases) {
        s.Race.NumSimulationLaps = c.laps;
        s.Race.NumArcadeLaps = 3;
        EXPECT_EQ(s.LapChoiceIndex(true), c.index) << c.laps;
        EXPECT_EQ(s.LapChoiceIndex(false), 1);
    }
    const std::int32_t values[] = {1, 3, 5, 10, 0};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(GameSettings::LapChoiceValue(i), values[i]);
    for (int bad : {5, 6, -1, -100}) {
        try {
            GameSettings::LapChoiceValue(bad);
            ADD_FAILURE() << bad << " must be refused";
        } catch (const GameError& e) {
            EXPECT_STREQ(e.what(), "out of range");
        }
    }
}

TEST_F(GameSettingsTest, PlayerNameGoesToTheChampionshipAndTheKey)
{
    Championship champ;
    GameSettings s;
    EXPECT_TRUE(s.SetPlayerName(champ, "A rider with a very long name", false));
    EXPECT_STREQ(champ.PlayerName, "A rider with a very ");
    EXPECT_TRUE(fs::is_empty(home_)) << "nothing stored without save";

    EXPECT_TRUE(s.SetPlayerName(champ, "Kim", true));
    EXPECT_STREQ(champ.PlayerName, "Kim");
    for (std::size_t i = 3; i < sizeof champ.PlayerName; ++i)
        EXPECT_EQ(champ.PlayerName[i], '\0');
    EXPECT_EQ(platform::RegistryKey(kSettingsKeyPath).get_string("PlayerName"), "Kim");

    // Read back into the championship's field.
    char field[kPlayerNameChars + 1];
    LoadPlayerName(field);
    EXPECT_STREQ(field, "Kim");

    EXPECT_TRUE(s.SetPlayerName(champ, "Someone Much Longer Than Twenty", true));
    EXPECT_EQ(platform::RegistryKey(kSettingsKeyPath).get_string("PlayerName"), "Someone Much Longer ");
}

TEST_F(GameSettingsTest, AFailedNameSaveIsReported)
{
    Championship champ;
    GameSettings s;
    ASSERT_TRUE(s.SetPlayerName(champ, "Old", true));
    platform::fail_next(platform::Fault::RegistryWrite);
    EXPECT_FALSE(s.SetPlayerName(champ, "New", true));
    EXPECT_STREQ(champ.PlayerName, "New");
    EXPECT_EQ(platform::RegistryKey(kSettingsKeyPath).get_string("PlayerName"), "Old");
    const auto boxes = platform::recorded_message_boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_NE(boxes[0].text.find("player name"), std::string::npos);
}

TEST_F(GameSettingsTest, TheProgramWideRecordMustBeInstalled)
{
    EXPECT_THROW(TheGameSettings(), std::logic_error);
    GameSettings s;
    SetTheGameSettings(&s);
    EXPECT_EQ(&TheGameSettings(), &s);
    SetTheGameSettings(nullptr);
    EXPECT_THROW(TheGameSettings(), std::logic_error);
}

TEST_F(GameSettingsTest, TheOptionScreensReadTheProgramWideRaceOptions)
{
    GameSettings s;
    s.Race.CpuDifficulty = 3;
    s.Race.Weather = kWeatherRandom;
    s.Race.NumSimulationRiders = 16;
    s.Race.NumArcadeRiders = 8;
    SetTheGameSettings(&s);
    EXPECT_EQ(GetCpuDifficulty(), 3);
    EXPECT_EQ(GetWeatherSetting(), 3);
    EXPECT_EQ(GetRiderCount(true), 16);
    EXPECT_EQ(GetRiderCount(false), 8);
    // They read the record as it is now.
    s.Race.Weather = 1;
    EXPECT_EQ(GetWeatherSetting(), 1);
    SetTheGameSettings(nullptr);
    EXPECT_THROW(GetCpuDifficulty(), std::logic_error);
    EXPECT_THROW(GetRiderCount(true), std::logic_error);
}

} // namespace
