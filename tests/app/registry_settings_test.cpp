#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/game_app.h"
#include "app/game_error.h"
#include "app/registry_settings.h"
#include "app/setup_sheet.h"
#include "champ/game_settings.h"
#include "input/control_block.h"
#include "platform/fault_seam.h"
#include "platform/message_box.h"
#include "platform/registry.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;
using platform::RegistryKey;

namespace {

// The display drivers of a test: per driver, per device, the mode mask.
struct FakeDisplays {
    std::vector<std::vector<std::uint32_t>> masks{{7}};

    DisplayModeQuery Query()
    {
        DisplayModeQuery q;
        q.DriverCount = [this] { return static_cast<int>(masks.size()); };
        q.DeviceCount = [this](int driver) { return static_cast<int>(masks.at(driver).size()); };
        q.HasMode = [this](int driver, int device, int w, int h) {
            const std::uint32_t m = masks.at(driver).at(device);
            return (w == 320 && h == 200 && (m & 1)) || (w == 640 && h == 480 && (m & 2)) ||
                   (w == 800 && h == 600 && (m & 4));
        };
        return q;
    }
};

// One program's worth of settings records, linked the way start-up links them.
struct Records {
    GameApp app;
    GameSettings settings;
    ControlBlock bindings;
    std::vector<AttachedJoystick> joysticks;
    FakeDisplays displays;
    int validations = 0;

    Records() { Link(); }

    void Link()
    {
        SettingsLinks links;
        links.Settings = &settings;
        links.Bindings = &bindings;
        links.Joysticks = [this] { return joysticks; };
        // What the input manager does: bindings to joysticks that are not
        // attached are cleared.
        links.ValidateBindings = [this](ControlBlock& block) {
            ++validations;
            for (int c = 0; c < kControlCount; ++c) {
                if (IsJoystickBinding(block.Type[c]) && block.Index[c] >= joysticks.size())
                    block.ClearBinding(c);
            }
        };
        links.Displays = displays.Query();
        app.SetSettingsLinks(links);
    }
};

class RegistrySettingsTest : public ::testing::Test {
protected:

    static RegistryKey Key() { return RegistryKey(kSettingsKeyPath); }
    static std::set<std::string> StoredNames(const char* path = kSettingsKeyPath)
    {
        std::set<std::string> names;
        for (const auto& v : RegistryKey(path).values())
            names.insert(v.name);
        return names;
    }

    torvane_test::ScopedHome scoped_home_{"settings"};
    const fs::path& home_ = scoped_home_.path();
};

void ExpectKeyboardDefaults(const ControlBlock& b)
{
    const std::uint8_t keys[kControlCount] = {30, 44, 51, 52, 57, 56, 45, 46};
    for (int c = 0; c < kControlCount; ++c) {
        SCOPED_TRACE(c);
        EXPECT_EQ(b.Type[c], kBindKey);
        EXPECT_EQ(b.Index[c], keys[c]);
        EXPECT_EQ(b.Rise[c], 0);
        EXPECT_EQ(b.Fall[c], 0);
    }
}

TEST_F(RegistrySettingsTest, EmptyRegistryGivesTheDefaults)
{
    Records r;
    r.displays.masks = {{7}, {3, 7}};
    r.Link();
    ASSERT_EQ(r.app.LoadSettings(), kSettingsOk);
    EXPECT_TRUE(Key().exists()) << "the key is made when missing";

    EXPECT_EQ(r.app.Camera, 0);
    EXPECT_TRUE(r.app.GfxFlags & kGfxFlagFullScreen);
    EXPECT_EQ(r.settings.RealismLevel, 1);
    EXPECT_EQ(r.settings.PlayerSetup.PlayerFlags, 0x62u);
    EXPECT_EQ(r.settings.PlayerSetup.FrontLimiter, 1.0f);
    EXPECT_EQ(r.settings.PlayerSetup.RearLimiter, 1.0f);
    // The last driver and its last device.
    EXPECT_EQ(r.app.DDrawDriver, 1);
    EXPECT_EQ(r.app.D3DDriver, 1);
    EXPECT_EQ(r.app.HRes, 640);
    EXPECT_EQ(r.app.VRes, 480);
    // Detail level 2.
    EXPECT_EQ(r.settings.DetailLevel, 2);
    EXPECT_EQ(r.app.ZClipping, 300);
    EXPECT_EQ(r.app.Details, 1);
    EXPECT_EQ(r.app.EngineDetails, 1);
    EXPECT_EQ(r.app.Shrink, 100);
    EXPECT_EQ(r.app.GfxFlags, kGfxFlagFullScreen | kGfxFlagAmbient);
    // Race options and audio.
    const RaceOptions& race = r.settings.Race;
    EXPECT_EQ(race.NumArcadeLaps, 3);
    EXPECT_EQ(race.NumSimulationLaps, 3);
    EXPECT_EQ(race.NumArcadeRiders, 10);
    EXPECT_EQ(race.NumSimulationRiders, 10);
    EXPECT_EQ(race.CpuDifficulty, 1);
    EXPECT_EQ(race.Weather, 0);
    EXPECT_EQ(race.CpuMulti, 0);
    EXPECT_EQ(race.Km, 1);
    EXPECT_EQ(r.settings.Audio.Sound, 1u);
    EXPECT_EQ(r.settings.Audio.SoundVolume, 0.61f);
    EXPECT_EQ(r.settings.Audio.Music, 1u);
    EXPECT_EQ(r.settings.Audio.MusicVolume, 1.0f);
    ExpectKeyboardDefaults(r.bindings);
    EXPECT_EQ(r.validations, 1);
    EXPECT_STREQ(r.app.CDTrack, "");
    EXPECT_STREQ(r.app.CDMusic, "");
    // Loading writes nothing but the empty key.
    EXPECT_TRUE(StoredNames().empty());
    EXPECT_TRUE(platform::recorded_message_boxes().empty());
}

TEST_F(RegistrySettingsTest, BuildingTheRecordsTouchesNoFile)
{
    {
        Records r;
        (void)r;
    }
    EXPECT_TRUE(fs::is_empty(home_));
}

TEST_F(RegistrySettingsTest, EveryGroupRoundTrips)
{
    Records a;
    a.app.m_versionBlock[4] = 0x00010002;
    a.app.m_versionBlock[5] = 0x00030004;
    a.displays.masks = {{7, 7}, {7}};
    a.Link();
    a.app.Camera = 5;
    a.app.DDrawDriver = 0;
    a.app.D3DDriver = 1;
    a.app.HRes = 800;
    a.app.GfxFlags = kGfxFlagFullScreen | kGfxFlagFilter | kGfxFlagNoSky;
    a.app.ZClipping = 650;
    a.app.Shrink = 50;
    a.app.Details = 3;
    a.app.EngineDetails = 1;
    a.settings.DetailLevel = 0;
    a.settings.RealismLevel = 0;
    a.settings.PlayerSetup.PlayerFlags = 0x218;
    a.settings.PlayerSetup.FrontLimiter = 0.55f;
    a.settings.PlayerSetup.RearLimiter = 0.45f;
    a.settings.Race = {10, 5, 16, 12, 3, 2, 1, 0};
    a.settings.Audio.Sound = 0;
    a.settings.Audio.SoundVolume = 0.25f;
    a.settings.Audio.Music = 1;
    a.settings.Audio.MusicVolume = 0.75f;
    for (int c = 0; c < kControlCount; ++c) {
        a.bindings.Type[c] = static_cast<std::int8_t>(kBindJoyButton0 + c);
        a.bindings.Index[c] = 0;
        a.bindings.Rise[c] = static_cast<std::uint8_t>(c);
        a.bindings.Fall[c] = static_cast<std::uint8_t>(9 - c);
    }
    a.joysticks = {{true, 2, 12}};

    EXPECT_TRUE(a.app.SaveCamera());
    EXPECT_TRUE(a.app.SaveDrivers());
    EXPECT_TRUE(a.app.SaveGraphics());
    EXPECT_TRUE(a.app.SaveDriving());
    EXPECT_TRUE(a.app.SaveRaceSettings());
    EXPECT_TRUE(a.app.SaveAudio());
    EXPECT_TRUE(a.app.SaveControls());
    EXPECT_TRUE(platform::recorded_message_boxes().empty());

    // The stored graphics flags leave full screen out; the running ones keep it.
    EXPECT_EQ(Key().get_dword("GfxFlags"), kGfxFlagFilter | kGfxFlagNoSky);
    EXPECT_TRUE(a.app.GfxFlags & kGfxFlagFullScreen);
    // Floats are kept as their bits in a 32-bit word.
    EXPECT_EQ(Key().get_dword("SoundVolume"), std::bit_cast<std::uint32_t>(0.25f));
    EXPECT_EQ(Key().get_dword("VersionMS"), 0x00010002u);
    EXPECT_EQ(Key().get_dword("VersionLS"), 0x00030004u);

    Records b;
    b.displays = a.displays;
    b.joysticks = a.joysticks;
    b.Link();
    ASSERT_EQ(b.app.LoadSettings(), kSettingsOk);
    EXPECT_EQ(b.app.Camera, 5);
    EXPECT_EQ(b.app.DDrawDriver, 0);
    EXPECT_EQ(b.app.D3DDriver, 1);
    EXPECT_EQ(b.app.HRes, 800);
    EXPECT_EQ(b.app.VRes, 600);
    EXPECT_EQ(b.app.ZClipping, 650);
    EXPECT_EQ(b.app.Shrink, 50);
    EXPECT_EQ(b.app.Details, 3);
    EXPECT_EQ(b.app.EngineDetails, 1);
    // "Fullscreen" was never written: it keeps its default.
    EXPECT_EQ(b.app.GfxFlags, kGfxFlagFullScreen | kGfxFlagFilter | kGfxFlagNoSky);
    EXPECT_EQ(b.settings.DetailLevel, 0);
    EXPECT_EQ(b.settings.RealismLevel, 0);
    EXPECT_EQ(b.settings.PlayerSetup.PlayerFlags, 0x218u);
    EXPECT_EQ(b.settings.PlayerSetup.FrontLimiter, 0.55f);
    EXPECT_EQ(b.settings.PlayerSetup.RearLimiter, 0.45f);
    const RaceOptions& race = b.settings.Race;
    EXPECT_EQ(race.NumSimulationLaps, 10);
    EXPECT_EQ(race.NumArcadeLaps, 5);
    EXPECT_EQ(race.NumSimulationRiders, 16);
    EXPECT_EQ(race.NumArcadeRiders, 12);
    EXPECT_EQ(race.CpuDifficulty, 3);
    EXPECT_EQ(race.Weather, 2);
    EXPECT_EQ(race.CpuMulti, 1);
    EXPECT_EQ(race.Km, 0);
    EXPECT_EQ(b.settings.Audio.Sound, 0u);
    EXPECT_EQ(b.settings.Audio.SoundVolume, 0.25f);
    EXPECT_EQ(b.settings.Audio.Music, 1u);
    EXPECT_EQ(b.settings.Audio.MusicVolume, 0.75f);
    EXPECT_EQ(std::memcmp(b.bindings.Type, a.bindings.Type, sizeof a.bindings.Type), 0);
    EXPECT_EQ(std::memcmp(b.bindings.Index, a.bindings.Index, sizeof a.bindings.Index), 0);
    EXPECT_EQ(std::memcmp(b.bindings.Rise, a.bindings.Rise, sizeof a.bindings.Rise), 0);
    EXPECT_EQ(std::memcmp(b.bindings.Fall, a.bindings.Fall, sizeof a.bindings.Fall), 0);
}

TEST_F(RegistrySettingsTest, EachGroupWritesItsOwnValues)
{
    using Save = bool (GameApp::*)();
    const std::set<std::string> versions = {"VersionMS", "VersionLS"};
    std::set<std::string> controls = versions;
    for (int c = 0; c < kControlCount; ++c)
        for (char p : {'K', 'I', 'P', 'R'})
            controls.insert(BindingValueName(c, p));
    struct Case {
        const char* group;
        Save save;
        std::set<std::string> names;
    };
    const auto with_versions = [&](std::set<std::string> names) {
        names.insert(versions.begin(), versions.end());
        return names;
    };
    const Case cases[] = {
        {"race", &GameApp::SaveRaceSettings,
         with_versions({"NumArcadeLaps", "NumSimulationLaps", "NumArcadeRiders", "NumSimulationRiders",
                        "CpuDifficulty", "Weather", "CpuMulti", "Km"})},
        {"drivers", &GameApp::SaveDrivers, {"DDrawDriver", "D3DDriver"}},
        {"camera", &GameApp::SaveCamera, with_versions({"Camera"})},
        {"controls", &GameApp::SaveControls, controls},
        {"driving", &GameApp::SaveDriving, with_versions({"PlayerFlags", "FrontLimiter", "RearLimiter", "RealismLevel"})},
        {"graphics", &GameApp::SaveGraphics,
         with_versions({"HRes", "ZClipping", "Shrink", "Details", "EngineDetails", "DetailLevel", "GfxFlags"})},
        {"audio", &GameApp::SaveAudio, with_versions({"Sound", "SoundVolume", "Music", "MusicVolume"})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.group);
        std::string error;
        RegistryKey::delete_key(kSettingsKeyPath, &error);
        Records r;
        EXPECT_TRUE((r.app.*c.save)());
        EXPECT_EQ(StoredNames(), c.names);
    }
}

TEST_F(RegistrySettingsTest, AFailedWriteIsReportedForEveryGroup)
{
    using Save = bool (GameApp::*)();
    const std::pair<const char*, Save> groups[] = {
        {"race settings", &GameApp::SaveRaceSettings}, {"display drivers", &GameApp::SaveDrivers},
        {"camera", &GameApp::SaveCamera},               {"controls", &GameApp::SaveControls},
        {"driving settings", &GameApp::SaveDriving},   {"graphics settings", &GameApp::SaveGraphics},
        {"audio settings", &GameApp::SaveAudio},       {"full settings", &GameApp::SaveRegistry},
    };
    for (const auto& [what, save] : groups) {
        SCOPED_TRACE(what);
        Records r;
        ASSERT_TRUE(RegistryKey(kSettingsKeyPath).create());
        ASSERT_TRUE(RegistryKey(kFullSettingsKeyPath).create());
        platform::clear_recorded_message_boxes();
        platform::fail_next(platform::Fault::RegistryWrite);
        EXPECT_FALSE((r.app.*save)());
        const auto boxes = platform::recorded_message_boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].caption, "Error");
        EXPECT_NE(boxes[0].text.find(std::string("Can't save the ") + what), std::string::npos) << boxes[0].text;
        // The rest of the group is still written.
        EXPECT_TRUE((r.app.*save)());
    }
}

TEST_F(RegistrySettingsTest, AKeyThatCannotBeMadeGivesEveryDefaultAndSaysSoOnce)
{
    Records r;
    r.displays.masks = {{7}};
    r.Link();
    platform::fail_next(platform::Fault::RegistryWrite);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(r.app.LoadSettings(), kSettingsKeyUnusable);
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_FALSE(Key().exists());

    // Not the records as built (every control on key 0, a 0 x 0 display):
    // the defaults of an empty key.
    ExpectKeyboardDefaults(r.bindings);
    EXPECT_EQ(r.validations, 1);
    EXPECT_EQ(r.app.HRes, 640);
    EXPECT_EQ(r.app.VRes, 480);
    EXPECT_EQ(r.app.GfxFlags, kGfxFlagFullScreen | kGfxFlagAmbient);
    EXPECT_EQ(r.app.ZClipping, 300);
    EXPECT_EQ(r.settings.RealismLevel, 1);
    EXPECT_EQ(r.settings.PlayerSetup.PlayerFlags, 0x62u);
    EXPECT_EQ(r.settings.Race.NumSimulationLaps, 3);
    EXPECT_EQ(r.settings.Audio.SoundVolume, 0.61f);

    // The player is told once, on stderr, not in a message box.
    const std::string note = "settings will not be kept";
    const auto first = said.find(note);
    EXPECT_NE(first, std::string::npos) << said;
    EXPECT_EQ(said.find(note, first + 1), std::string::npos) << said;
    EXPECT_TRUE(platform::recorded_message_boxes().empty());
}

TEST_F(RegistrySettingsTest, AKeyThatCannotBeWrittenIsReported)
{
    // A folder where the key's file belongs: it reads as empty and refuses
    // every change.
    const auto file = platform::registry_file_name(kSettingsKeyPath);
    ASSERT_TRUE(file);
    fs::create_directories(home_ / *file);

    Records r;
    EXPECT_EQ(r.app.LoadSettings(), kSettingsOk);
    EXPECT_EQ(r.settings.Race.NumSimulationLaps, 3);
    EXPECT_TRUE(platform::recorded_message_boxes().empty());

    EXPECT_FALSE(r.app.SaveAudio());
    const auto boxes = platform::recorded_message_boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].text.find("Can't save the audio settings"), std::string::npos);
}

TEST_F(RegistrySettingsTest, ResolutionFollowsTheModesOfTheDriver)
{
    struct Case {
        std::int32_t stored;  // 0: not stored
        std::uint32_t mask;
        std::int32_t hres, vres;
    };
    const Case cases[] = {
        {800, 3, 320, 200}, {800, 2, 640, 480}, {800, 7, 800, 600}, {0, 7, 640, 480},
        {320, 7, 320, 200}, {1024, 7, 640, 480}, {640, 4, 800, 600}, {640, 1, 320, 200},
        {320, 6, 640, 480}, {0, 5, 320, 200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "stored " << c.stored << " mask " << c.mask);
        std::string error;
        RegistryKey::delete_key(kSettingsKeyPath, &error);
        if (c.stored) {
            ASSERT_TRUE(Key().set_dword("HRes", static_cast<std::uint32_t>(c.stored)));
        }
        Records r;
        r.displays.masks = {{c.mask}};
        r.Link();
        ASSERT_EQ(r.app.LoadSettings(), kSettingsOk);
        EXPECT_EQ(r.app.HRes, c.hres);
        EXPECT_EQ(r.app.VRes, c.vres);
    }
}

TEST_F(RegistrySettingsTest, APairWithoutModesGivesWayToTheLastPairWithModes)
{
    ASSERT_TRUE(Key().set_dword("DDrawDriver", 0));
    ASSERT_TRUE(Key().set_dword("D3DDriver", 0));
    Records r;
    r.displays.masks = {{0, 2, 0}, {0, 4}, {0}};
    r.Link();
    ASSERT_EQ(r.app.LoadSettings(), kSettingsOk);
    EXPECT_EQ(r.app.DDrawDriver, 1);
    EXPECT_EQ(r.app.D3DDriver, 1);
    EXPECT_EQ(r.app.HRes, 800);

    // A stored pair beyond the lists is searched for the same way.
    ASSERT_TRUE(Key().set_dword("DDrawDriver", 7));
    ASSERT_TRUE(Key().set_dword("D3DDriver", 0xFFFFFFFF));
    Records s;
    s.displays.masks = {{0, 2}, {0}};
    s.Link();
    ASSERT_EQ(s.app.LoadSettings(), kSettingsOk);
    EXPECT_EQ(s.app.DDrawDriver, 0);
    EXPECT_EQ(s.app.D3DDriver, 1);
}

TEST_F(RegistrySettingsTest, NoUsableModeEndsTheLoad)
{
    for (const auto& masks : {std::vector<std::vector<std::uint32_t>>{{0, 0}, {0}},
                              std::vector<std::vector<std::uint32_t>>{}}) {
        Records r;
        r.displays.masks = masks;
        r.Link();
        try {
            r.app.LoadSettings();
            FAIL() << "a load without display modes must fail";
        } catch (const GameError& e) {
            EXPECT_STREQ(e.what(), "nessun modo disponibile");
        }
    }
}

TEST_F(RegistrySettingsTest, RealismLevelsGiveTheirDrivingValues)
{
    struct Case {
        std::uint32_t level;
        std::int32_t kept;
        std::uint32_t flags;
        float front, rear;
    };
    const Case cases[] = {
        {1, 1, 0x62, 1.0f, 1.0f},    {2, 2, 0x42, 0.85f, 0.825f}, {3, 3, 0x400, 0.7f, 0.65f},
        {4, 4, 0x610, 0.4f, 0.3f},   {0, 0, 0x1234, 0.3f, 0.2f},  // the stored values
        {5, 1, 0x62, 1.0f, 1.0f},    {0xFFFFFFFF, 1, 0x62, 1.0f, 1.0f},  // not a level: the default
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.level);
        ASSERT_TRUE(Key().set_dword("RealismLevel", c.level));
        ASSERT_TRUE(Key().set_dword("PlayerFlags", 0x1234));
        ASSERT_TRUE(Key().set_float("FrontLimiter", 0.3f));
        ASSERT_TRUE(Key().set_float("RearLimiter", 0.2f));
        Records r;
        ASSERT_EQ(r.app.LoadSettings(), kSettingsOk);
        EXPECT_EQ(r.settings.RealismLevel, c.kept);
        EXPECT_EQ(r.settings.PlayerSetup.PlayerFlags, c.flags);
        EXPECT_EQ(r.settings.PlayerSetup.FrontLimiter, c.front);
        EXPECT_EQ(r.settings.PlayerSetup.RearLimiter, c.rear);
    }

    // Level 0 with nothing stored: flags 0, limiters 1.0.
    std::string error;
    RegistryKey::delete_key(kSettingsKeyPath, &error);
    ASSERT_TRUE(Key().set_dword("RealismLevel", 0));
    Records r;
    ASSERT_EQ(r.app.LoadSettings(), kSettingsOk);
    EXPECT_EQ(r.settings.PlayerSetup.PlayerFlags, 0u);
    EXPECT_EQ(r.settings.PlayerSetup.FrontLimiter, 1.0f);
    EXPECT_EQ(r.settings.PlayerSetup.RearLimiter, 1.0f);
}

TEST_F(RegistrySettingsTest, DetailLevelsGiveTheirGraphicsValues)
{
    struct Case {
        std::uint32_t level;
        std::int32_t kept, zclip, details, engine, shrink;
        std::uint32_t gfx;  // besides full screen and the bit already set
    };
    const std::uint32_t rich = kGfxFlagAmbient | kGfxFlagPhotoreal | kGfxFlagDarkline;
    const Case cases[] = {
        {1, 1, 200, 0, 0, 0, kGfxFlagNoSky},
        {2, 2, 300, 1, 1, 100, kGfxFlagAmbient},
        {3, 3, 500, 2, 2, 200, rich},
        {4, 4, 800, 4, 2, 200, rich},
        {0, 0, 900, 3, 1, 150, kGfxFlagEscluder},  // the stored values
        {9, 2, 300, 1, 1, 100, kGfxFlagAmbient},    // not a level: the default
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.level);
        ASSERT_TRUE(Key().set_dword("DetailLevel", c.level));
        ASSERT_TRUE(Key().set_dword("ZClipping", 900));
        ASSERT_TRUE(Key().set_dword("Details", 3));
        ASSERT_TRUE(Key().set_dword("EngineDetails", 1));
        ASSERT_TRUE(Key().set_dword("Shrink", 150));
        ASSERT_TRUE(Key().set_dword("GfxFlags", kGfxFlagEscluder));
        Records r;
        r.app.GfxFlags = kGfxFlagFilter;  // bits are added, never taken away
        ASSERT_EQ(r.app.LoadSettings(), kSettingsOk);
        EXPECT_EQ(r.settings.DetailLevel, c.kept);
        EXPECT_EQ(r.app.ZClipping, c.zclip);
        EXPECT_EQ(r.app.Details, c.details);
        EXPECT_EQ(r.app.EngineDetails, c.engine);
        EXPECT_EQ(r.app.Shrink, c.shrink);
        EXPECT_EQ(r.app.GfxFlags, kGfxFlagFullScreen | kGfxFlagFilter | c.gfx);
    }

    // Level 0 with nothing stored.
    std::string error;
    RegistryKey::delete_key(kSettingsKeyPath, &error);
    ASSERT_TRUE(Key().set_dword("DetailLevel", 0));
    Records r;
    ASSERT_EQ(r.app.LoadSettings(), kSettingsOk);
    EXPECT_EQ(r.app.ZClipping, 1000);
    EXPECT_EQ(r.app.Details, 2);
    EXPECT_EQ(r.app.EngineDetails, 2);
    EXPECT_EQ(r.app.Shrink, 0);
    EXPECT_EQ(r.app.GfxFlags, kGfxFlagFullScreen | rich);
}

TEST_F(RegistrySettingsTest, FullscreenZeroClearsTheFlag)
{
    ASSERT_TRUE(Key().set_dword("Fullscreen", 0));
    ASSERT_TRUE(Key().set_dword("Camera", 3));
    Records r;
    r.app.GfxFlags = kGfxFlagFullScreen;
    ASSERT_EQ(r.app.LoadSettings(), kSettingsOk);
    EXPECT_FALSE(r.app.GfxFlags & kGfxFlagFullScreen);
    EXPECT_EQ(r.app.Camera, 3);
}

// The network port: missing, a port, and values that are no port.
TEST_F(RegistrySettingsTest, TheNetworkPortIsCheckedAgainstItsRange)
{
    struct Case {
        std::optional<std::uint32_t> stored;
        std::uint16_t port;
    };
    for (const Case c : {Case{std::nullopt, 29417}, Case{31000, 31000}, Case{1, 1}, Case{65535, 65535},
                         Case{0, 29417}, Case{65536, 29417}, Case{0xFFFFFFFFu, 29417}}) {
        if (c.stored)
            ASSERT_TRUE(Key().set_dword("NetPort", *c.stored));
        else
            Key().delete_value("NetPort");
        Records r;
        ASSERT_EQ(r.app.LoadSettings(), kSettingsOk);
        EXPECT_EQ(r.app.NetPort, c.port) << (c.stored ? std::to_string(*c.stored) : "missing");
    }
}

TEST_F(RegistrySettingsTest, HandEditedFloatsTakeTheirDefaults)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    ASSERT_TRUE(Key().set_float("SoundVolume", nan));
    ASSERT_TRUE(Key().set_float("MusicVolume", 4.0f));
    ASSERT_TRUE(Key().set_dword("RealismLevel", 0));
    ASSERT_TRUE(Key().set_float("FrontLimiter", inf));
    ASSERT_TRUE(Key().set_float("RearLimiter", 0.5f));
    Records r;
    ASSERT_EQ(r.app.LoadSettings(), kSettingsOk);
    EXPECT_EQ(r.settings.Audio.SoundVolume, 0.61f);
    EXPECT_EQ(r.settings.Audio.MusicVolume, 1.0f);
    EXPECT_EQ(r.settings.PlayerSetup.FrontLimiter, 1.0f);
    EXPECT_EQ(r.settings.PlayerSetup.RearLimiter, 0.5f);
}

TEST_F(RegistrySettingsTest, AMissingControlSendsEveryControlBackToItsDefault)
{
    // The first control fully stored, the second missing its type.
    ASSERT_TRUE(Key().set_dword("Accelerator_K", 14));
    ASSERT_TRUE(Key().set_dword("Accelerator_I", 0));
    ASSERT_TRUE(Key().set_dword("Accelerator_P", 3));
    ASSERT_TRUE(Key().set_dword("Accelerator_R", 4));
    ASSERT_TRUE(Key().set_dword("Brake_I", 7));
    Records r;
    ASSERT_EQ(r.app.LoadSettings(), kSettingsOk);
    ExpectKeyboardDefaults(r.bindings);
}

TEST_F(RegistrySettingsTest, StoredBindingsAreCutToBytesAndChecked)
{
    for (int c = 0; c < kControlCount; ++c) {
        ASSERT_TRUE(Key().set_dword(BindingValueName(c, 'K'), 0x100 + c));  // key, low byte c
        ASSERT_TRUE(Key().set_dword(BindingValueName(c, 'I'), 0xAB00 + 30 + c));
    }
    // Rates are cut to their low byte; above 9 they read as 9, the slowest,
    // as the controls read them (a rate of 10 or more would drive a control
    // away from its input).
    ASSERT_TRUE(Key().set_dword("Brake_P", 0x205));
    ASSERT_TRUE(Key().set_dword("Brake_R", 12));
    ASSERT_TRUE(Key().set_dword("Steer Right_P", 0x10A));
    ASSERT_TRUE(Key().set_dword("Steer Right_R", 9));
    // Joystick 1 is not attached: the binding is cleared.
    ASSERT_TRUE(Key().set_dword("Hang On_K", kBindJoyButton0 + 2));
    ASSERT_TRUE(Key().set_dword("Hang On_I", 1));
    Records r;
    r.joysticks = {{true, 2, 4}};
    ASSERT_EQ(r.app.LoadSettings(), kSettingsOk);
    EXPECT_EQ(r.bindings.Type[kControlAccelerator], 0);
    EXPECT_EQ(r.bindings.Index[kControlAccelerator], 30);
    EXPECT_EQ(r.bindings.Type[kControlSteerLeft], 2);
    EXPECT_EQ(r.bindings.Index[kControlSteerLeft], 32);
    EXPECT_EQ(r.bindings.Rise[kControlBrake], 5);
    EXPECT_EQ(r.bindings.Fall[kControlBrake], 9);
    EXPECT_EQ(r.bindings.Rise[kControlSteerRight], 9);
    EXPECT_EQ(r.bindings.Fall[kControlSteerRight], 9);
    EXPECT_EQ(r.bindings.Type[kControlHangOn], 0);
    EXPECT_EQ(r.bindings.Index[kControlHangOn], 0);
    EXPECT_EQ(r.validations, 1);
}

TEST_F(RegistrySettingsTest, DefaultBindingsUseWhatTheJoystickHas)
{
    struct Case {
        std::vector<AttachedJoystick> sticks;
        std::int8_t type[kControlCount];  // -1: the keyboard default
        std::uint8_t index;
    };
    const Case cases[] = {
        {{}, {-1, -1, -1, -1, -1, -1, -1, -1}, 0},
        {{{true, 2, 4}}, {73, 9, 72, 8, 14, 15, 16, 17}, 0},
        {{{true, 1, 2}}, {-1, -1, 72, 8, 14, 15, -1, -1}, 0},
        {{{true, 0, 1}}, {-1, -1, -1, -1, 14, -1, -1, -1}, 0},
        {{{true, 3, 3}}, {73, 9, 72, 8, 14, 15, -1, -1}, 0},
        // The first usable joystick, by its own capabilities.
        {{{false, 6, 32}, {true, 1, 0}}, {-1, -1, 72, 8, -1, -1, -1, -1}, 1},
    };
    const std::uint8_t keys[kControlCount] = {30, 44, 51, 52, 57, 56, 45, 46};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sticks.size());
        ControlBlock block;
        for (int i = 0; i < kControlCount; ++i) {
            block.Type[i] = 99;
            block.Rise[i] = block.Fall[i] = 5;
        }
        ResetControlBindings(block, c.sticks);
        for (int i = 0; i < kControlCount; ++i) {
            SCOPED_TRACE(i);
            if (c.type[i] < 0) {
                EXPECT_EQ(block.Type[i], kBindKey);
                EXPECT_EQ(block.Index[i], keys[i]);
            } else {
                EXPECT_EQ(block.Type[i], c.type[i]);
                EXPECT_EQ(block.Index[i], c.index);
            }
            EXPECT_EQ(block.Rise[i], 0);
            EXPECT_EQ(block.Fall[i], 0);
        }
    }
}

TEST_F(RegistrySettingsTest, BindingNames)
{
    struct Case {
        int type, index;
        const char* name;
    };
    const Case cases[] = {
        {0, 30, "K30"},  {14, 0, "J0 B0"}, {45, 2, "J2 B31"}, {4, 0, "M B0"},   {7, 0, "M B3"},
        {1, 0, "MX-"},   {65, 0, "MX+"},   {2, 0, "MY-"},     {66, 0, "MY+"},   {8, 1, "J1 X-"},
        {73, 0, "J0 Y+"}, {10, 0, "J0 Z-"}, {75, 3, "J3 R+"}, {12, 0, "J0 U-"}, {77, 0, "J0 V+"},
    };
    for (const Case& c : cases) {
        std::string name = "old";
        EXPECT_TRUE(GetBindingName(name, c.type, c.index));
        EXPECT_EQ(name, c.name);
    }
    for (int type : {3, 67, 46, 100, -1}) {
        std::string name = "old";
        EXPECT_FALSE(GetBindingName(name, type, 0)) << type;
        EXPECT_EQ(name, "old");
    }
}

TEST_F(RegistrySettingsTest, PlayerNameIsCutToItsField)
{
    char field[21];
    std::memset(field, 'x', sizeof field);
    LoadPlayerName(field);
    EXPECT_STREQ(field, "PLAYER");

    ASSERT_TRUE(Key().set_string("PlayerName", std::string(150, 'N')));
    std::memset(field, 'x', sizeof field);
    LoadPlayerName(field);
    EXPECT_EQ(std::string(field), std::string(20, 'N'));

    ASSERT_TRUE(Key().set_string("PlayerName", std::string("Ann\0Rest", 8)));
    LoadPlayerName(field);
    EXPECT_STREQ(field, "Ann");
    for (std::size_t i = 3; i < sizeof field; ++i)
        EXPECT_EQ(field[i], '\0');

    // The name keeps 20 characters whatever field it goes to.
    ASSERT_TRUE(Key().set_string("PlayerName", std::string(150, 'N')));
    char big[200];
    std::memset(big, 'x', sizeof big);
    LoadPlayerName(big);
    EXPECT_EQ(std::string(big), std::string(20, 'N'));
    for (std::size_t i = 20; i < sizeof big; ++i)
        ASSERT_EQ(big[i], '\0') << i;

    // A smaller field keeps what fits before its terminator.
    char small[6];
    LoadPlayerName(small);
    EXPECT_STREQ(small, "NNNNN");
}

TEST_F(RegistrySettingsTest, FolderPathsGetTheirSeparator)
{
    ASSERT_TRUE(Key().set_string("CDMusic", "D:\\Music"));
    ASSERT_TRUE(Key().set_string("CDTrack", std::string(400, 'T')));
    Records r;
    ASSERT_EQ(r.app.LoadSettings(), kSettingsOk);
    EXPECT_STREQ(r.app.CDMusic, "D:\\Music\\");
    const std::string track = r.app.CDTrack;
    EXPECT_EQ(track.size(), 259u);
    EXPECT_EQ(track.back(), '\\');
}

TEST_F(RegistrySettingsTest, FileVersionFillsTheVersionBlock)
{
    GameApp app;
    ASSERT_TRUE(GetFileVersion(app));
    EXPECT_EQ(app.m_versionBlock[0], 0xFEEF04BDu);
    std::uint32_t ms = 0, ls = 0;
    ASSERT_TRUE(platform::program_version(ms, ls));
    EXPECT_EQ(app.m_versionBlock[4], ms);
    EXPECT_EQ(app.m_versionBlock[5], ls);

    GameApp other;
    platform::fail_next(platform::Fault::VersionInfo);
    EXPECT_FALSE(GetFileVersion(other));
    EXPECT_EQ(other.m_versionBlock[0], 0u);
}

TEST_F(RegistrySettingsTest, UnlinkedRecordsAreAProgramError)
{
    GameApp app;
    EXPECT_THROW(app.LoadSettings(), std::logic_error);
    EXPECT_THROW(app.SaveAudio(), std::logic_error);
    EXPECT_THROW(app.SaveControls(), std::logic_error);
    EXPECT_FALSE(Key().exists());
    EXPECT_TRUE(app.SaveCamera());  // needs nothing beyond the application record
}

// The full settings key of the set-up tool.

TEST_F(RegistrySettingsTest, FullKeyRoundTrips)
{
    Records a;
    a.app.Flags = 3;
    a.app.GfxFlags = 0x2F;
    a.app.RaceFlags = 0x40;
    a.app.m_PlayerTemplate.Setup.PlayerFlags = 0x42;
    a.app.m_PlayerTemplate.Setup.FrontLimiter = 0.85f;
    a.app.m_PlayerTemplate.Setup.RearLimiter = 0.825f;
    a.app.HRes = 800;
    a.app.VRes = 600;
    a.app.ZClipping = 500;
    a.app.Shrink = 200;
    a.app.Details = 2;
    a.app.EngineDetails = 2;
    a.app.m_nRiders = 12;
    a.app.m_PlayerTemplate.RiderIndex = 20;
    a.app.m_nLaps = 5;
    a.app.m_nWeather = 1;
    a.app.m_nSession = 4;
    a.app.m_nSkill = 2;
    a.app.DDrawDriver = 1;
    a.app.D3DDriver = 2;
    std::strcpy(a.app.m_szTrack, "Monza");
    a.bindings.Type[kControlBrake] = 9;
    a.bindings.Rise[kControlBrake] = 4;
    a.joysticks = {{true, 2, 4}};
    ASSERT_TRUE(a.app.SaveRegistry());
    EXPECT_EQ(StoredNames(kFullSettingsKeyPath).size(), 23u + 32u);
    EXPECT_EQ(RegistryKey(kFullSettingsKeyPath).get_string("Track"), "Monza");

    Records b;
    b.joysticks = a.joysticks;
    b.Link();
    ASSERT_EQ(b.app.LoadRegistry(), kSettingsOk);
    EXPECT_EQ(b.app.Flags, 3u);
    EXPECT_EQ(b.app.GfxFlags, 0x2Fu);
    EXPECT_EQ(b.app.RaceFlags, 0x40u);
    EXPECT_EQ(b.app.m_PlayerTemplate.Setup.PlayerFlags, 0x42u);
    EXPECT_EQ(b.app.m_PlayerTemplate.Setup.FrontLimiter, 0.85f);
    EXPECT_EQ(b.app.m_PlayerTemplate.Setup.RearLimiter, 0.825f);
    EXPECT_EQ(b.app.HRes, 800);
    EXPECT_EQ(b.app.VRes, 600);
    EXPECT_EQ(b.app.ZClipping, 500);
    EXPECT_EQ(b.app.Shrink, 200);
    EXPECT_EQ(b.app.Details, 2);
    EXPECT_EQ(b.app.EngineDetails, 2);
    EXPECT_EQ(b.app.m_nRiders, 12);
    EXPECT_EQ(b.app.m_PlayerTemplate.RiderIndex, 20);
    EXPECT_EQ(b.app.m_nLaps, 5);
    EXPECT_EQ(b.app.m_nWeather, 1);
    EXPECT_EQ(b.app.m_nSession, 4);
    EXPECT_EQ(b.app.m_nSkill, 2);
    EXPECT_EQ(b.app.DDrawDriver, 1);
    EXPECT_EQ(b.app.D3DDriver, 2);
    EXPECT_STREQ(b.app.m_szTrack, "Monza");
    EXPECT_EQ(b.bindings.Type[kControlBrake], 9);
    EXPECT_EQ(b.bindings.Rise[kControlBrake], 4);
    EXPECT_EQ(b.validations, 1);
    // The game's own key is not touched.
    EXPECT_FALSE(Key().exists());
}

TEST_F(RegistrySettingsTest, FullKeyRefusesValuesThatWouldIndexOutOfRange)
{
    RegistryKey full(kFullSettingsKeyPath);
    ASSERT_TRUE(full.set_dword("NumRiders", 33));
    ASSERT_TRUE(full.set_dword("HumanRider", 0xFFFFFFFF));
    ASSERT_TRUE(full.set_dword("Weather", 3));
    ASSERT_TRUE(full.set_dword("Session", 7));
    ASSERT_TRUE(full.set_float("FrontLimiter", std::numeric_limits<float>::quiet_NaN()));
    ASSERT_TRUE(full.set_string("Track", "AVeryLongTrackName"));
    Records r;
    r.app.m_nRiders = 8;
    r.app.m_PlayerTemplate.RiderIndex = 3;
    r.app.m_nWeather = 2;
    r.app.m_nSession = 6;
    r.app.m_PlayerTemplate.Setup.FrontLimiter = 0.5f;
    ASSERT_EQ(r.app.LoadRegistry(), kSettingsOk);
    EXPECT_EQ(r.app.m_nRiders, 8);
    EXPECT_EQ(r.app.m_PlayerTemplate.RiderIndex, 3);
    EXPECT_EQ(r.app.m_nWeather, 2);
    EXPECT_EQ(r.app.m_nSession, 6);
    EXPECT_EQ(r.app.m_PlayerTemplate.Setup.FrontLimiter, 0.5f);
    EXPECT_STREQ(r.app.m_szTrack, "AVeryLongTr");
}

TEST_F(RegistrySettingsTest, FullKeyMissingAndDeleted)
{
    Records r;
    r.app.HRes = 123;
    EXPECT_EQ(r.app.LoadRegistry(), kSettingsKeyMissing);
    EXPECT_EQ(r.app.HRes, 123);
    EXPECT_TRUE(DeleteSettingsKey());

    ASSERT_TRUE(r.app.SaveRegistry());
    ASSERT_TRUE(Key().create());
    std::string error;
    EXPECT_TRUE(DeleteSettingsKey(&error)) << error;
    EXPECT_FALSE(RegistryKey(kFullSettingsKeyPath).exists());
    EXPECT_TRUE(Key().exists()) << "only the full key goes";
}

} // namespace
