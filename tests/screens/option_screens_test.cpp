// The option screens as shipped in the demo menus, driven through the menu
// manager with the game's handlers: each edits its records and saves its
// group of settings, which a fresh program reads back from the settings key.
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/game_app.h"
#include "app/game_error.h"
#include "app/main_window.h"
#include "app/play_seam.h"
#include "app/registry_settings.h"
#include "champ/champ_objects.h"
#include "champ/game_settings.h"
#include "input/binding_names.h"
#include "input/control_block.h"
#include "input/input_manager.h"
#include "menu/command_button.h"
#include "menu/form.h"
#include "menu/label.h"
#include "menu/menu_manager.h"
#include "menu/scroll_bar.h"
#include "menu/screen_hooks.h"
#include "platform/message_box.h"
#include "platform/registry.h"
#include "screens/navigation.h"
#include "screens/option_screens.h"
#include "screens/screen_binding.h"
#include "tests/input/input_fixture.h"
#include "tests/menu/menu_fixture.h"
#include "tests/screens/shipped_screens_fixture.h"

namespace {

// The display modes the graphics screen is told about (bit 0 320 x 200,
// bit 1 640 x 480, bit 2 800 x 600).
std::uint32_t g_ModeMask = 7;
bool TestModeOffered(int width, int height)
{
    return (width == 320 && height == 200 && (g_ModeMask & 1)) || (width == 640 && height == 480 && (g_ModeMask & 2)) ||
           (width == 800 && height == 600 && (g_ModeMask & 4));
}

// Whether the tried display driver starts, and how often one was tried.
bool g_bDisplayStarts = true;
int g_nDisplayStarts = 0;
bool TestDisplayStarter()
{
    ++g_nDisplayStarts;
    return g_bDisplayStarts;
}

// A player's hands: each menu frame the capture waits for runs the next step.
class FrameScript : public PlaySeam {
public:
    std::vector<std::function<void()>> steps;
    std::size_t next = 0;
    int frames = 0;
    void MenuFrame() override
    {
        ++frames;
        if (next < steps.size())
            steps[next++]();
        else if (frames > 1000)
            g_bQuit = 1;  // a capture that never ends fails the test instead of hanging it
    }
    void RaceFrame() override {}
    bool DrawRace() const override { return false; }
    void ScreenShown(const char*, std::int32_t, const char*) override {}
    void FocusMoved(const char*) override {}
    void RaceStarted(const char*, std::int32_t, std::int32_t, std::int32_t) override {}
    void RaceEnded() override {}
};

// One program's settings records, linked as start-up links them.
struct Program {
    GameApp app;
    GameSettings settings;
    ControlBlock* bindings;
    explicit Program(ControlBlock* block) : bindings(block)
    {
        SettingsLinks links;
        links.Settings = &settings;
        links.Bindings = bindings;
        links.Joysticks = [] { return std::vector<AttachedJoystick>{}; };
        links.ValidateBindings = [](ControlBlock&) {};
        links.Displays.DriverCount = [] { return 1; };
        links.Displays.DeviceCount = [](int) { return 2; };
        links.Displays.HasMode = [](int, int, int w, int h) { return TestModeOffered(w, h); };
        app.SetSettingsLinks(links);
    }
};

class OptionScreens : public shipped_test::ShippedScreens {
protected:
    void SetUp() override
    {
        ShippedScreens::SetUp();
        g_ModeMask = 7;
        g_bDisplayStarts = true;
        g_nDisplayStarts = 0;
        SetDisplayModeOffered(&TestModeOffered);
        SetDisplayStarter(&TestDisplayStarter);
    }
    void TearDown() override
    {
        SetPlaySeam(nullptr);
        g_bQuit = 0;
        SetDisplayModeOffered(nullptr);
        SetDisplayStarter(nullptr);
        SetTheInputManager(nullptr);
        ShippedScreens::TearDown();
    }

    // A fresh program reads the settings key.
    void restart(Program& next) { ASSERT_EQ(next.app.LoadSettings(), 0); }
};

TEST_F(OptionScreens, RaceOptionsGoToTheTwinsOwnValuesAndSurviveARestart)
{
    struct Case {
        std::int32_t state;
        bool simulation;
    };
    for (const Case c : {Case{110, true}, Case{120, false}}) {
        SCOPED_TRACE(c.state);
        settings_ = GameSettings{};
        settings_.Race.NumSimulationLaps = 3;
        settings_.Race.NumArcadeLaps = 3;
        settings_.Race.CpuMulti = 0;
        settings_.Race.Km = 1;
        Form& form = enter(c.state);
        EXPECT_EQ(position(form, "Scroll_com_01"), 1);  // 3 laps
        EXPECT_EQ(row(form, "com_06"), 1);
        slide(form, "Scroll_com_01", 3);  // 10 laps
        slide(form, "Scroll_com_02", 7);
        slide(form, "Scroll_com_03", 2);
        slide(form, "Scroll_com_04", 3);  // random weather
        click(form, "com_05");
        click(form, "com_06");
        EXPECT_EQ(row(form, "com_05"), 1);
        EXPECT_EQ(row(form, "com_06"), 0);
        click(form, "Ok");

        const RaceOptions& race = settings_.Race;
        EXPECT_EQ(c.simulation ? race.NumSimulationLaps : race.NumArcadeLaps, 10);
        EXPECT_EQ(c.simulation ? race.NumArcadeLaps : race.NumSimulationLaps, 3);
        EXPECT_EQ(c.simulation ? race.NumSimulationRiders : race.NumArcadeRiders, 7);
        Program next(&saved_bindings_);
        restart(next);
        const RaceOptions& read = next.settings.Race;
        EXPECT_EQ(c.simulation ? read.NumSimulationLaps : read.NumArcadeLaps, 10);
        EXPECT_EQ(c.simulation ? read.NumSimulationRiders : read.NumArcadeRiders, 7);
        EXPECT_EQ(read.CpuDifficulty, 2);
        EXPECT_EQ(read.Weather, kWeatherRandom);
        EXPECT_EQ(read.CpuMulti, 1);
        EXPECT_EQ(read.Km, 0);

        // Defaults on the screen only: nothing is stored before OK.
        click(form, "Default");
        EXPECT_EQ(position(form, "Scroll_com_01"), 1);
        EXPECT_EQ(position(form, "Scroll_com_02"), 10);
        EXPECT_EQ(row(form, "com_06"), 1);
        EXPECT_EQ(c.simulation ? race.NumSimulationLaps : race.NumArcadeLaps, 10);
    }
}

TEST_F(OptionScreens, ARaceOptionsScreenWithoutItsControlsIsRefused)
{
    torvane_test::ScopedCwd cwd(dir_);
    datakit::FormFileWriter file = menu_test::screen_file("Opt0201");
    file.begin("CommandButton", "Ok");
    menu_test::place(file, 0, 20, 20, 10);
    file.key("UserID", 1).key("Command", 0).end();
    file.end();
    data_.screen("Opt0201", file);
    load_screen("Opt0201");
    try {
        show();
        ADD_FAILURE() << "no throw";
    } catch (const GameError& e) {
        EXPECT_STREQ(e.what(), "prepare");
    }
}

TEST_F(OptionScreens, RealismLevelsShowTheirPresetAndStoreWhatTheNextStartApplies)
{
    settings_.RealismLevel = 0;
    settings_.PlayerSetup.PlayerFlags = 0;
    Form& form = enter(112);
    EXPECT_TRUE(enabled(form, "Scroll_Com_01"));
    EXPECT_TRUE(enabled(form, "Com_05"));
    for (std::int32_t level = 1; level <= 4; ++level) {
        SCOPED_TRACE(level);
        slide(form, "Scroll_Com_04", level);
        EXPECT_FALSE(enabled(form, "Scroll_Com_01"));
        EXPECT_FALSE(enabled(form, "Com_09"));
        click(form, "Ok");
        const RealismPreset& preset = *FindRealismPreset(level);
        EXPECT_EQ(settings_.PlayerSetup.PlayerFlags, preset.PlayerFlags);
        EXPECT_FLOAT_EQ(settings_.PlayerSetup.FrontLimiter, preset.FrontLimiter);
        EXPECT_FLOAT_EQ(settings_.PlayerSetup.RearLimiter, preset.RearLimiter);
        Program next(&saved_bindings_);
        restart(next);
        EXPECT_EQ(next.settings.RealismLevel, level);
        EXPECT_EQ(next.settings.PlayerSetup.PlayerFlags, preset.PlayerFlags);
    }

    // Custom: the player's own choices, read back as they were stored.
    slide(form, "Scroll_Com_04", 0);
    EXPECT_TRUE(enabled(form, "Com_09"));
    slide(form, "Scroll_Com_01", 1);
    slide(form, "Scroll_Com_02", 0);
    slide(form, "Scroll_Com_03", 1);
    click(form, "Com_07");  // wrong-way test: row 0 sets bit 9
    click(form, "Ok");
    const BikeSetup& setup = settings_.PlayerSetup;
    EXPECT_FLOAT_EQ(setup.FrontLimiter, 0.55f);
    EXPECT_FLOAT_EQ(setup.RearLimiter, 0.3f);
    EXPECT_TRUE(setup.PlayerFlags & (1u << 5));
    Program next(&saved_bindings_);
    restart(next);
    EXPECT_EQ(next.settings.RealismLevel, 0);
    EXPECT_EQ(next.settings.PlayerSetup.PlayerFlags, setup.PlayerFlags);
    EXPECT_FLOAT_EQ(next.settings.PlayerSetup.FrontLimiter, 0.55f);
}

TEST_F(OptionScreens, ANetworkGameHidesTwoDrivingChoices)
{
    app_.Flags |= kAppFlagNetwork;
    Form& form = enter(112);
    for (const char* name : {"LBL_Com_06", "Com_06", "LBL_Com_07", "Com_07"})
        EXPECT_EQ(form.FindElement(name)->m_nVisibleInState, -1) << name;
    EXPECT_EQ(form.FindElement("Com_08")->m_nVisibleInState, 0);
}

TEST_F(OptionScreens, TheGraphicsScreenListsTheOfferedModesAndStoresTheChosenOne)
{
    struct Case {
        std::uint32_t mask;
        std::int32_t hres;
        std::vector<std::string> rows;
        std::int32_t chosen;
    };
    const Case cases[] = {
        {7, 800, {"320 X 200", "640 X 480", "800 X 600"}, 2},
        {4, 640, {"800 X 600"}, 0},     // only 800 x 600: listed alone
        {6, 1024, {"640 X 480", "800 X 600"}, 0},  // not offered: the first row
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mask);
        g_ModeMask = c.mask;
        app_.HRes = c.hres;
        manager_.m_nShownScreen = -1;
        Form& form = enter(113);
        Label& modes = element<Label>(form, "view_com_01");
        ASSERT_EQ(modes.RowCount(), static_cast<std::int32_t>(c.rows.size()));
        for (std::size_t r = 0; r < c.rows.size(); ++r)
            EXPECT_EQ(modes.RowText(static_cast<std::int32_t>(r)), c.rows[r]);
        EXPECT_EQ(modes.m_nCurrentRow, c.chosen);
    }
    g_ModeMask = 0;
    manager_.m_nShownScreen = -1;
    try {
        enter(113);
        ADD_FAILURE() << "no throw";
    } catch (const GameError& e) {
        EXPECT_STREQ(e.what(), "nessun modo video disponibile");
    }
}

TEST_F(OptionScreens, DetailLevelsApplyTheirPresetAndACustomLevelSurvivesARestart)
{
    g_ModeMask = 7;
    app_.HRes = 640;
    settings_.DetailLevel = 0;
    Form& form = enter(113);
    slide(form, "Scroll_com_10", 3);
    EXPECT_FALSE(enabled(form, "Scroll_com_01"));
    EXPECT_FALSE(enabled(form, "Com_06"));
    click(form, "Ok");
    EXPECT_EQ(app_.ZClipping, 500);
    EXPECT_EQ(app_.Details, 2);
    EXPECT_EQ(app_.EngineDetails, 2);
    EXPECT_EQ(app_.Shrink, 200);
    EXPECT_EQ(app_.GfxFlags & 0xF0, kGfxFlagAmbient | kGfxFlagPhotoreal | kGfxFlagDarkline);

    slide(form, "Scroll_com_10", 0);
    EXPECT_TRUE(enabled(form, "Scroll_com_04"));
    slide(form, "Scroll_com_01", 7);
    slide(form, "Scroll_com_04", 1);
    click(form, "Com_09");  // the sky off: "No sky" set
    Label& modes = element<Label>(form, "view_com_01");
    modes.SetCurrentRow(2);  // 800 x 600
    click(form, "Ok");
    EXPECT_EQ(app_.HRes, 800);
    EXPECT_EQ(app_.VRes, 600);
    EXPECT_TRUE(app_.GfxFlags & kGfxFlagNoSky);
    Program next(&saved_bindings_);
    restart(next);
    EXPECT_EQ(next.settings.DetailLevel, 0);
    EXPECT_EQ(next.app.HRes, 800);
    EXPECT_EQ(next.app.ZClipping, 700);
    EXPECT_EQ(next.app.Shrink, 100);
    EXPECT_TRUE(next.app.GfxFlags & kGfxFlagNoSky);
}

TEST_F(OptionScreens, AudioChangesApplyAtOnceUndoRestoresAndOkSaves)
{
    settings_.Audio.Sound = 0;
    settings_.Audio.Music = 1;
    settings_.Audio.SoundVolume = 0.5f;
    settings_.Audio.MusicVolume = 1.0f;
    Form& form = enter(114);
    EXPECT_EQ(row(form, "Com_01"), 0);
    EXPECT_EQ(position(form, "Scroll_com_02"), 50);
    // Without a sound library, sound cannot start: it stays off.
    click(form, "Com_01");
    EXPECT_EQ(settings_.Audio.Sound, 0u);
    EXPECT_EQ(row(form, "Com_01"), 0);
    click(form, "Com_03");
    EXPECT_EQ(settings_.Audio.Music, 0u);
    EXPECT_EQ(app_.GfxFlags & kGfxFlagMusic, 0u);
    slide(form, "Scroll_com_04", 25);
    EXPECT_FLOAT_EQ(settings_.Audio.MusicVolume, 0.25f);
    click(form, "Undo");
    EXPECT_EQ(settings_.Audio.Music, 1u);
    EXPECT_FLOAT_EQ(settings_.Audio.MusicVolume, 1.0f);
    EXPECT_EQ(row(form, "Com_03"), 1);
    slide(form, "Scroll_com_02", 80);
    click(form, "Ok");
    Program next(&saved_bindings_);
    restart(next);
    EXPECT_FLOAT_EQ(next.settings.Audio.SoundVolume, 0.8f);
    EXPECT_EQ(next.settings.Audio.Music, 1u);
    EXPECT_EQ(next.settings.Audio.Sound, 0u);
}

TEST_F(OptionScreens, ADisplayDriverIsTriedBeforeItIsKept)
{
    // A second 3D device beside the fixture's.
    dd_driver_info& driver = device_.drivers[0];
    ASSERT_GE(driver.device_count, 1);
    driver.device_count = 2;
    std::strcpy(driver.devices[1].name, "Second device");
    driver.devices[1].hardware = 1;
    app_.DDrawDriver = 0;
    app_.D3DDriver = 0;
    Form& form = enter(115);
    Label& types = element<Label>(form, "lbl_render_type");
    ASSERT_EQ(types.RowCount(), 2);
    EXPECT_EQ(types.RowText(1), std::string(driver.name) + " - Second device");
    EXPECT_EQ(element<Label>(form, "lbl_render_info").RowText(1).rfind("HARDWARE", 0), 0u);
    EXPECT_EQ(types.m_nCurrentRow, 0);

    // One that cannot start: the old pair comes back, nothing is saved.
    g_bDisplayStarts = false;
    types.SetCurrentRow(1);
    EXPECT_FALSE(click(form, "Ok"));
    EXPECT_EQ(app_.D3DDriver, 0);
    EXPECT_EQ(g_nDisplayStarts, 2);
    EXPECT_FALSE(platform::RegistryKey(kSettingsKeyPath).get_dword("D3DDriver").has_value());
    EXPECT_EQ(platform::recorded_message_boxes().size(), 1u);
    EXPECT_NE(manager_.m_nNextState, -1);

    // One that starts is kept, saved, and the menus are loaded again.
    g_bDisplayStarts = true;
    EXPECT_FALSE(click(form, "Ok"));
    EXPECT_EQ(app_.D3DDriver, 1);
    EXPECT_EQ(manager_.m_nNextState, -1);
    EXPECT_EQ(platform::RegistryKey(kSettingsKeyPath).get_dword("D3DDriver").value_or(0), 1u);
    // The next start reads the kept pair back.
    Program next(&saved_bindings_);
    restart(next);
    EXPECT_EQ(next.app.DDrawDriver, 0);
    EXPECT_EQ(next.app.D3DDriver, 1);
}

class ControlCapture : public OptionScreens {
protected:
    void SetUp() override
    {
        OptionScreens::SetUp();
        ASSERT_EQ(input_.Create(), kInputOk);
        SetTheInputManager(&input_);
        SetPlaySeam(&script_);
        platform::clear_input_events();
        ResetControlBindings(DefaultControlBlock(), {});
    }
    void TearDown() override
    {
        SetPlaySeam(nullptr);
        SetTheInputManager(nullptr);
        platform::clear_input_events();
        OptionScreens::TearDown();
    }
    InputManager input_;
    FrameScript script_;
};

TEST_F(ControlCapture, APressedKeyBindsTheControlAndASavedBindingIsReadBack)
{
    constexpr int kKeyJ = 36;
    Form& form = enter(111);
    EXPECT_EQ(element<Label>(form, "player1_02").RowText(0), GetControlName(kBindKey, 44));
    script_.steps = {[] { input_test::Key(kKeyJ, true); }, [] { input_test::Key(kKeyJ, false); }};
    EXPECT_FALSE(click(form, "Set2"));
    EXPECT_EQ(DefaultControlBlock().Type[kControlBrake], kBindKey);
    EXPECT_EQ(DefaultControlBlock().Index[kControlBrake], kKeyJ);
    EXPECT_EQ(element<Label>(form, "player1_02").RowText(0), GetControlName(kBindKey, kKeyJ));
    EXPECT_EQ(manager_.m_bEditLock, 0);
    // A key's rates apply: its sliders are enabled.
    EXPECT_TRUE(enabled(form, "scroll_com_02p"));
    slide(form, "scroll_com_02p", 4);
    click(form, "Ok");

    ControlBlock read;
    Program next(&read);
    restart(next);
    EXPECT_EQ(read.Type[kControlBrake], kBindKey);
    EXPECT_EQ(read.Index[kControlBrake], kKeyJ);
    EXPECT_EQ(read.Rise[kControlBrake], 4);

    // Undo brings back the bindings the screen was entered with.
    click(form, "Undo");
    EXPECT_EQ(DefaultControlBlock().Index[kControlBrake], 44);
}

TEST_F(ControlCapture, EscapeOrQuitEndsTheWaitWithTheBindingUnchanged)
{
    struct Case {
        const char* what;
        std::function<void()> step;
    };
    const Case cases[] = {
        {"escape", [] { input_test::Key(1, true); }},
        {"quit", [] { g_bQuit = 1; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        g_bQuit = 0;
        script_.next = 0;
        script_.steps = {c.step, [] { input_test::Key(1, false); }};
        manager_.m_nShownScreen = -1;
        Form& form = enter(111);
        click(form, "Set1");
        EXPECT_EQ(DefaultControlBlock().Type[kControlAccelerator], kBindKey);
        EXPECT_EQ(DefaultControlBlock().Index[kControlAccelerator], 30);
        EXPECT_EQ(element<Label>(form, "player1_01").RowText(0), GetControlName(kBindKey, 30));
    }
    g_bQuit = 0;
}

TEST_F(ControlCapture, RatesApplyToKeysAndButtonsAndOnlyToAxesOfAnAttachedStick)
{
    struct Case {
        std::int8_t type;
        std::uint8_t index;
        bool rates;
    };
    const Case cases[] = {
        {kBindKey, 30, true},
        {kBindMouseButton0 + 1, 0, true},
        {kBindJoyButton0 + 3, 0, true},
        {kBindMouseX, 0, false},
        {static_cast<std::int8_t>(kBindMouseY | kBindNegative), 0, false},
        {kBindJoyAxisX, 0, false},  // no joystick attached
        {kBindJoyAxisX, 9, false},
        {46, 0, false},
    };
    for (const Case& c : cases) {
        DefaultControlBlock().Type[0] = c.type;
        DefaultControlBlock().Index[0] = c.index;
        EXPECT_EQ(BindingTakesRates(0), c.rates) << int(c.type) << " " << int(c.index);
    }
}

} // namespace
