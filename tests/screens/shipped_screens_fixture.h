#pragma once

// The shipped demo menus, loaded into the menu fixture's manager with the
// game's screen handlers, the game settings linked to the settings key of a
// settings folder of the test's own, and the demo championship: the screens
// are entered as the menus enter them and driven as a player drives them.

#include <filesystem>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "app/game_app.h"
#include "champ/champ_objects.h"
#include "champ/game_settings.h"
#include "input/control_block.h"
#include "menu/form.h"
#include "menu/label.h"
#include "menu/menu_manager.h"
#include "menu/screen_hooks.h"
#include "menu/scroll_bar.h"
#include "platform/message_box.h"
#include "screens/navigation.h"
#include "screens/screen_binding.h"
#include "tests/menu/menu_fixture.h"
#include "tests/support/demo_data.h"

namespace shipped_test {

// The demo data, installed once for all the tests of a program.
inline const std::filesystem::path& demo_folder()
{
    static const std::filesystem::path folder = [] {
        std::filesystem::path dir = torvane_test::temp_root() / "shipped-screens";
        std::string error;
        EXPECT_TRUE(torvane_test::install_demo_data(dir, error)) << error;
        return dir;
    }();
    return folder;
}

// The dialogue answerer: records what was asked, answers as told.
inline std::vector<std::int32_t>& asked()
{
    static std::vector<std::int32_t> states;
    return states;
}
inline std::int32_t& answer()
{
    static std::int32_t value = 1;
    return value;
}
inline std::int32_t AnswerDialogue(const char*, std::int32_t state)
{
    asked().push_back(state);
    return answer();
}

class ShippedScreens : public menu_test::MenuFixture {
protected:
    ShippedScreens() : demo_cwd_(demo_folder()) {}

    void SetUp() override
    {
        MenuFixture::SetUp();
        saved_bindings_ = DefaultControlBlock();
        SetTheGameSettings(&settings_);
        SettingsLinks links;
        links.Settings = &settings_;
        links.Bindings = &DefaultControlBlock();
        links.Joysticks = [] { return std::vector<AttachedJoystick>{}; };
        links.ValidateBindings = [](ControlBlock&) {};
        app_.SetSettingsLinks(links);
        champ_.Start();
        InstallScreenHandlers();
        SetDialogueRunner(&AnswerDialogue);
        asked().clear();
        answer() = 1;
        manager_.Load(".\\menu\\menu.dat");
    }
    void TearDown() override
    {
        // The screen shown last is left, as the menus leave it, so that its
        // handler frees what it keeps.
        if (Form* shown = manager_.Screen(manager_.m_nShownScreen); shown && shown->IsLoaded())
            shown->LeaveScreen();
        SetDialogueRunner(nullptr);
        SetScreenHooks(ScreenHooks{});
        DefaultControlBlock() = saved_bindings_;
        MenuFixture::TearDown();
        SetTheGameSettings(nullptr);
    }

    // The screen of a state, entered as the menus enter it (a screen shown
    // already is left and entered again).
    Form& enter(std::int32_t state)
    {
        if (Form* shown = manager_.Screen(manager_.m_nShownScreen); shown && shown->IsLoaded())
            shown->LeaveScreen();
        manager_.m_nShownScreen = -1;
        manager_.m_nNextState = state;
        manager_.Update();
        Form* form = manager_.Screen(manager_.m_nShownScreen);
        if (!form)
            throw std::runtime_error("no screen at state " + std::to_string(state));
        return *form;
    }

    template <typename T>
    T& element(Form& form, const char* name)
    {
        T* control = dynamic_cast<T*>(form.FindElement(name));
        if (!control)
            throw std::runtime_error(std::string("no element ") + name);
        return *control;
    }
    std::int32_t row(Form& form, const char* name) { return element<Label>(form, name).m_nFirstRow; }
    std::int32_t position(Form& form, const char* name) { return element<ScrollBar>(form, name).m_nPosition; }
    bool enabled(Form& form, const char* name) { return form.FindElement(name)->m_bCanHaveFocus != 0; }
    std::string text(Form& form, const char* name, std::int32_t r = 0) { return element<Label>(form, name).RowText(r); }

    // The player moves a slider (which reports it to the screen).
    void slide(Form& form, const char* name, std::int32_t to) { element<ScrollBar>(form, name).SetPos(to); }
    // The player clicks a control with a UserID: the screen's command.
    bool click(Form& form, const char* name) { return ScreenCommand(*form.FindElement(name)); }

    torvane_test::ScopedCwd demo_cwd_;
    torvane_test::ScopedHome home_{"shipped"};
    GameSettings settings_;
    ChampObjects champ_;
    ControlBlock saved_bindings_;
};

} // namespace shipped_test
