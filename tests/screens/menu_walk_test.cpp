// A walk over the demo menu sets as shipped: every state the sets'
// transitions reach and every state the game's code sets itself has a
// screen (or ends its set), and each of those screens is entered and drawn
// with the screen handlers installed without a missing element; races start
// only where the menus resume after a race; the sets' screen numbers stay
// within their screens; a list scrolled by a bar has a row for each of the
// bar's positions.
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/game_app.h"
#include "champ/champ_objects.h"
#include "champ/championship.h"
#include "champ/game_settings.h"
#include "input/input_manager.h"
#include "menu/form.h"
#include "menu/label.h"
#include "menu/menu_manager.h"
#include "menu/screen_hooks.h"
#include "menu/scroll_bar.h"
#include "platform/clock.h"
#include "screens/live_labels.h"
#include "screens/navigation.h"
#include "screens/screen_binding.h"
#include "tests/menu/menu_fixture.h"
#include "tests/support/demo_data.h"
#include "tools/datakit/demo_menu_builder.h"

namespace {

const std::filesystem::path& walk_folder()
{
    static const std::filesystem::path folder = [] {
        std::filesystem::path dir = torvane_test::temp_root() / "menu-walk";
        std::string error;
        EXPECT_TRUE(torvane_test::install_demo_data(dir, error)) << error;
        return dir;
    }();
    return folder;
}

std::int32_t NoAnswer(const char*, std::int32_t)
{
    return 0;
}

// The states of "menu" the game's code sets or tests itself, besides what
// the transitions reach.
const std::vector<std::int32_t> kCodeStates = {
    // the main menu (the start state 18 becomes 19)
    19,
    // where the menus resume after a race, and the states they resume from
    2, 4, 9, 29, 37, 50, 53, 63, 64, 65, 66, 67, 68, 69, 70, 71, 72, 73, 74, 75, 76, 77, 78, 79, 80, 85, 86, 99,
    101, 102, 106,
    // called from the in-session menus, the set-up and the telemetry
    81, 82, 83, 92, 97, 98,
    // riders and tracks
    22, 23, 24, 25, 26, 27, 32, 33, 34, 35, 36, 37, 43, 44, 45, 46, 47, 48,
    // championship files and what follows a load
    6, 7, 8, 40, 41, 42, 50, 51,
    // results, the season's end, the page browser
    104, 105, 107, 900,
    // the network game
    200, 201, 203, 302, 304, 309, 310, 319, 321, 322, 323, 324, 325, 326, 327, 328, 329, 332, 333, 334, 335, 336,
    344, 345, 346, 347, 348, 351, 369, 370, 376, 377,
    // the network weekend's game mode and a joined player's circuit
    320, 349};

// The dialogue states the screens ask.
const std::vector<std::int32_t> kDialogueStates = {1,  10, 11, 12, 14, 15, 16, 17, 18, 19,
                                                   26, 27, 29, 32, 33, 34, 35, 40, 50};

// The states a race may start from: the states the menus resume in after it.
const std::set<std::int32_t> kResumeStates = {4, 9, 53, 63, 64, 65, 66, 67, 68, 69, 70,
                                              71, 72, 73, 74, 75, 76, 77, 78, 79, 80, 131};

struct SetSpec {
    const char* file;
    std::vector<std::int32_t> states;
};

class MenuWalk : public menu_test::MenuFixture {
protected:
    MenuWalk() : cwd_(walk_folder()) {}

    void SetUp() override
    {
        MenuFixture::SetUp();
        // The arcade bike choice of the main set holds a carousel.
        open_menu_engine("menu\\3d\\podium.pal");
        SetTheGameSettings(&settings_);
        SetTheInputManager(&input_);
        champ_.Start();
        // A simulation championship at its first event, the player entered.
        Championship& champ = TheChampionship();
        champ.GameMode = 4;
        for (int id = 0; id < 8; ++id)
            champ.AddEntry(id, id == 3 ? kEntryLocalPlayer : kEntryComputer);
        champ.SetSessionKind(kSessionFirstTimed);
        InstallScreenHandlers();
        SetDialogueRunner(&NoAnswer);
        ResetLiveLabels();
        platform::set_test_clock(1000);
    }
    void TearDown() override
    {
        SetDialogueRunner(nullptr);
        SetScreenHooks(ScreenHooks{});
        platform::clear_test_clock();
        MenuFixture::TearDown();
        SetTheInputManager(nullptr);
        SetTheGameSettings(nullptr);
    }

    // The set loaded with every screen into `set`, made current.
    void load(MenuManager& set, const char* file)
    {
        SetCurrentMenuManager(&set);
        set.Load(file);
        set.LoadAllScreens();
    }

    // Enters the screen of `state` as the menus would and draws it once;
    // what went wrong, or empty.
    std::string enter(MenuManager& set, std::int32_t state)
    {
        try {
            const std::int32_t index = set.ScreenForState(state);
            if (index < 0)
                return {};
            set.m_nState = state;
            set.m_nShownScreen = index;
            Form& form = *set.Screen(index);
            form.ShowScreen();
            form.Invalidate();
            form.PaintAll();
            // With TORVANE_MENU_SHOTS naming a folder, each screen is kept
            // there as a picture.
            if (const char* folder = std::getenv("TORVANE_MENU_SHOTS")) {
                std::filesystem::create_directories(folder);
                const std::string file = std::string(form.Name()) + "-" + std::to_string(state) + ".png";
                torvane_test::write_png((std::filesystem::path(folder) / file).string(), screenshot());
            }
            form.LeaveScreen();
            return {};
        } catch (const std::exception& e) {
            return e.what();
        }
    }

    torvane_test::ScopedCwd cwd_;
    GameSettings settings_;
    InputManager input_;
    ChampObjects champ_;
};

TEST_F(MenuWalk, EveryStateOfEverySetFindsAScreenThatShowsWithoutAMissingElement)
{
    std::vector<std::int32_t> menu_states = kCodeStates;
    const SetSpec sets[] = {{".\\menu\\menu.dat", menu_states},
                            {".\\menu\\menudial.dat", kDialogueStates},
                            {".\\menu\\MultiDlg.dat", {1, 2, 3, 4, 5}},
                            {".\\menu\\startvid.dat", {1}}};
    for (const SetSpec& spec : sets) {
        SCOPED_TRACE(spec.file);
        MenuManager set;
        load(set, spec.file);
        std::set<std::int32_t> states(spec.states.begin(), spec.states.end());
        states.insert(set.m_nInitState == 18 ? 19 : set.m_nInitState);
        for (const MenuManager::Transition& t : set.m_Transitions) {
            states.insert(t.state);
            states.insert(t.next);
        }
        // A state without a screen of its own is an end state (screen -1).
        std::vector<std::int32_t> missing;
        for (std::int32_t state : states) {
            bool listed = false;
            for (const MenuManager::StateScreen& s : set.m_StateScreens)
                listed = listed || s.state == state;
            if (!listed)
                missing.push_back(state);
        }
        std::ostringstream list;
        for (std::int32_t state : missing)
            list << ' ' << state;
        EXPECT_TRUE(missing.empty()) << "states without a screen:" << list.str();

        for (std::int32_t state : states) {
            if (std::find(missing.begin(), missing.end(), state) != missing.end())
                continue;
            const std::string what = enter(set, state);
            EXPECT_EQ(what, "") << "state " << state << " ("
                                << (set.ScreenForState(state) >= 0 ? set.Screen(set.ScreenForState(state))->Name()
                                                                   : "end")
                                << ")";
        }
        set.Reset();
    }
    SetCurrentMenuManager(&manager_);
}

// Every network state, and every state the network screens lead to, has a
// screen of its own: none shows the stand-in (whose Esc leaves the menus
// in the session).
TEST_F(MenuWalk, NoNetworkStateShowsTheStandIn)
{
    MenuManager set;
    load(set, ".\\menu\\menu.dat");
    std::set<std::int32_t> states;
    for (std::int32_t state : kCodeStates)
        if (state >= 200 && state < 900)
            states.insert(state);
    for (const MenuManager::Transition& t : set.m_Transitions)
        if (t.state >= 200 && t.state < 900)
            states.insert(t.next);
    // And no network state at all shows it (one that nothing reaches has
    // no place in the set).
    for (const MenuManager::StateScreen& s : set.m_StateScreens)
        if (s.state >= 200 && s.state < 900)
            states.insert(s.state);
    for (std::int32_t state : states) {
        const std::int32_t index = set.ScreenForState(state);
        if (index >= 0) {
            EXPECT_STRNE(set.Screen(index)->Name(), "standin") << "state " << state;
        }
    }
    // The screens the menus start in after a network race, and the
    // championship races' menus, are the ones their handlers expect.
    const std::pair<std::int32_t, const char*> expected[] = {
        {201, "Multi03"}, {310, "Multi03"}, {329, "Sim10"},   {351, "Sim11"},
        {369, "Game03c"}, {370, "Game03c"}, {376, "Game03c"}, {377, "Game03c"},
    };
    for (const auto& [state, name] : expected) {
        const std::int32_t index = set.ScreenForState(state);
        ASSERT_GE(index, 0) << "state " << state;
        EXPECT_STREQ(set.Screen(index)->Name(), name) << "state " << state;
    }
    set.Reset();
    SetCurrentMenuManager(&manager_);
}

TEST_F(MenuWalk, StateZeroEndsTheMainSetAndRacesStartOnlyWhereTheMenusResume)
{
    MenuManager set;
    load(set, ".\\menu\\menu.dat");
    EXPECT_EQ(set.ScreenForState(0), -1);
    for (const MenuManager::Transition& t : set.m_Transitions) {
        bool ends = false;
        for (const MenuManager::StateScreen& s : set.m_StateScreens)
            ends = ends || (s.state == t.next && s.screen < 0);
        // A non-zero command into an end state ends the menus with a race.
        if (t.command != 0 && ends) {
            EXPECT_TRUE(kResumeStates.count(t.state)) << "a race starts from state " << t.state;
        }
    }
    set.Reset();
    SetCurrentMenuManager(&manager_);
}

// The states a player reaches through the transitions alone from `from`.
std::set<std::int32_t> Reachable(const MenuManager& set, std::int32_t from)
{
    std::set<std::int32_t> seen = {from};
    std::vector<std::int32_t> open = {from};
    while (!open.empty()) {
        const std::int32_t state = open.back();
        open.pop_back();
        for (const MenuManager::Transition& t : set.m_Transitions)
            if (t.state == state && seen.insert(t.next).second)
                open.push_back(t.next);
    }
    return seen;
}

// The championship files, the arcade options and replay list, and the
// option screens of the in-session menus have a way in from the main menu
// (or, for the latter, from the options' screen the sessions call), and
// those option screens go back to it.
TEST_F(MenuWalk, TheFileAndOptionScreensAreReachedThroughTheTables)
{
    MenuManager set;
    load(set, ".\\menu\\menu.dat");
    const std::set<std::int32_t> from_main = Reachable(set, 19);
    for (std::int32_t state : {6, 7, 8, 40, 41, 42, 80, 130, 120, 121, 123, 124, 125, 131})
        EXPECT_TRUE(from_main.count(state)) << "state " << state << " has no way in from the main menu";
    const std::set<std::int32_t> from_session = Reachable(set, 92);
    for (std::int32_t state : {93, 94, 95}) {
        EXPECT_TRUE(from_session.count(state)) << "state " << state;
        std::int32_t back = -1;
        for (const MenuManager::Transition& t : set.m_Transitions)
            if (t.state == state && t.command == 0)
                back = t.next;
        EXPECT_EQ(back, 92) << "state " << state << " goes back elsewhere";
    }
    // No way from the in-session options leads out of the session's menus.
    for (std::int32_t state : from_session)
        EXPECT_TRUE(state >= 92 && state <= 95) << "from 92 the tables reach " << state;
    set.Reset();
    SetCurrentMenuManager(&manager_);
}

TEST_F(MenuWalk, ScreenNumbersStayWithinTheSetAndScrollBarsWithinTheirLists)
{
    for (const char* file : {".\\menu\\menu.dat", ".\\menu\\menudial.dat", ".\\menu\\MultiDlg.dat",
                             ".\\menu\\startvid.dat"}) {
        SCOPED_TRACE(file);
        MenuManager set;
        load(set, file);
        for (const MenuManager::StateScreen& s : set.m_StateScreens)
            EXPECT_LT(s.screen, set.ScreenCount()) << "state " << s.state;
        for (std::int32_t index : set.m_Preload)
            EXPECT_LT(index, set.ScreenCount());
        for (std::int32_t i = 0; i < set.ScreenCount(); ++i) {
            Form& form = *set.Screen(i);
            for (std::int32_t e = 0; e < form.ElementCount(); ++e) {
                const auto* bar = dynamic_cast<const ScrollBar*>(form.Element(e));
                const auto* list = bar ? dynamic_cast<const Label*>(bar->Linked()) : nullptr;
                if (!list || list->RowCount() < 2)
                    continue;
                const std::int32_t positions = (bar->m_nMaximum - bar->m_nMinimum) / bar->m_nStep + 1;
                EXPECT_LE(positions, list->RowCount()) << form.Name() << " " << bar->Name();
            }
        }
        set.Reset();
    }
    SetCurrentMenuManager(&manager_);
}

} // namespace
