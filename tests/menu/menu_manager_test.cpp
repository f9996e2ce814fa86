#include <gtest/gtest.h>

#include <string>

#include "app/game_error.h"
#include "menu/form.h"
#include "menu/menu_manager.h"
#include "menu/screen_hooks.h"

namespace {

// A manager with four screens, states 1..4 on screens 0..3, state 9 on no
// screen, and a few transitions.
void Build(MenuManager& m)
{
    m.SetScreens({"Main", "Options", "Tracks.dat", "Quit"});
    m.m_StateScreens = {{1, 0}, {2, 1}, {3, 2}, {4, 3}, {9, -1}, {2, 3}};
    m.m_Transitions = {{1, 5, 2}, {1, 6, 3}, {2, 0, 1}, {1, 5, 4}, {3, 0, 9}};
    m.m_nState = 1;
}

TEST(MenuManagerStates, CommandsFollowTheTransitionsInFileOrder)
{
    MenuManager m;
    Build(m);
    struct Step {
        std::int32_t command;
        std::int32_t expected;
    };
    // From state 1: the first transition with the command wins; a command
    // no transition lists keeps the state.
    for (const Step& s : {Step{5, 2}, Step{6, 3}, Step{7, 1}, Step{0, 1}}) {
        m.m_nState = 1;
        EXPECT_EQ(m.ExecuteCommand(s.command), s.expected) << s.command;
        EXPECT_EQ(m.m_nReturnState, 1);
        EXPECT_EQ(m.m_nLastCommand, s.command);
        EXPECT_EQ(m.Screen(0)->m_nLastCommand, s.command);
    }
}

TEST(MenuManagerStates, APendingStateIsTakenOnceByCommandZero)
{
    MenuManager m;
    Build(m);
    m.m_nState = 2;
    m.Screen(1)->m_nPendingState = 4;
    EXPECT_EQ(m.NextState(0), 4);
    EXPECT_EQ(m.Screen(1)->m_nPendingState, -1);
    EXPECT_EQ(m.NextState(0), 1) << "the second goes by the transitions";
}

TEST(MenuManagerStates, ScreensOfStates)
{
    MenuManager m;
    Build(m);
    EXPECT_EQ(m.ScreenForState(2), 1) << "the first pair of the state";
    EXPECT_EQ(m.ScreenForState(9), -1);
    m.m_nState = 9;
    EXPECT_EQ(m.CurrentScreenIndex(), -1);
    EXPECT_EQ(m.CurrentScreen(), nullptr);
    m.m_nState = -1;
    EXPECT_EQ(m.CurrentScreenIndex(), -1);
    try {
        m.ScreenForState(77);
        FAIL() << "a state without a screen pair";
    } catch (const GameError& error) {
        EXPECT_STREQ(error.what(), "not found");
    }
    EXPECT_STREQ(m.Screen(2)->Name(), "Tracks") << "names are cut at the '.'";
    EXPECT_EQ(m.FindScreen("OPTIONS"), m.Screen(1));
    EXPECT_EQ(m.FindScreen("Nowhere"), nullptr);
    EXPECT_EQ(m.Screen(4), nullptr);
}

TEST(MenuManagerStates, TheScreensCommandHookCanRefuseACommand)
{
    MenuManager m;
    Build(m);
    ScreenHooks hooks;
    hooks.form_command = [](Form& form, std::int32_t command) {
        return !(std::string(form.Name()) == "Main" && command == 6);
    };
    SetScreenHooks(hooks);
    m.m_nNextState = 1;
    EXPECT_EQ(m.ExecuteCommand(6), 1);
    EXPECT_EQ(m.m_nLastCommand, 0) << "a refused command is not given";
    EXPECT_EQ(m.ExecuteCommand(5), 2);
    SetScreenHooks(ScreenHooks{});
}

TEST(MenuFonts, SizesInTenthsOfAPointBecomePixelsAt96Dpi)
{
    struct Case {
        std::int32_t tenths;
        std::int32_t pixels;
    };
    // pixels = trunc(0.5 + tenths x 96 / 72 / 10)
    for (const Case& c : {Case{120, 16}, Case{80, 11}, Case{90, 12}, Case{100, 13}, Case{140, 19}, Case{0, 0},
                          Case{-120, 16}, Case{75, 10}})
        EXPECT_EQ(MenuFontPixels(c.tenths), c.pixels) << c.tenths;
}

} // namespace
