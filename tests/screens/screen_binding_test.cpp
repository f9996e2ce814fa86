// The screen binding by name and the handlers' own rules, on small screens
// of their own.
#include <string>

#include <gtest/gtest.h>

#include "app/game_app.h"
#include "app/game_error.h"
#include "champ/game_settings.h"
#include "menu/form.h"
#include "menu/image.h"
#include "menu/menu_manager.h"
#include "menu/screen_hooks.h"
#include "screens/arcade_screens.h"
#include "screens/front_screens.h"
#include "screens/navigation.h"
#include "screens/screen_binding.h"
#include "tests/menu/menu_fixture.h"

namespace {

using namespace menu_test;

TEST(DialoguePages, TheStateOfTheDialogueSetPicksThePage)
{
    struct Case {
        std::int32_t state;
        bool network, host;
        std::int32_t page;
    };
    const Case cases[] = {
        {1, false, false, 1},   {10, false, false, 0}, {14, false, false, 4}, {19, false, false, 9},
        {29, false, false, 9},  {30, false, false, 0}, {31, true, true, 0},   {32, false, false, 0},
        {32, true, true, 2},    {34, true, false, 3},  {33, false, false, 1}, {35, true, false, 1},
        {36, false, false, -1}, {49, false, false, -1}, {50, false, false, 4}, {51, false, false, -1},
        {-1, false, false, -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DialogueMessagePage(c.state, c.network, c.host), c.page)
            << "state " << c.state << (c.network ? (c.host ? " host" : " joined") : "");
}

TEST(ScreenTable, RowsMatchTheirNameOrTheBeginningOfANameIgnoringCase)
{
    struct Case {
        const char* row;
        const char* screen;
        bool matches;
    };
    const Case cases[] = {
        {"opt0201", "OPT0201", true}, {"opt0201", "opt02011", false}, {"opt0201", "opt020", false},
        {"Brows*", "browsE01", true}, {"Brows*", "Brows", true},        {"Brows*", "Brow", false},
        {"Explorer*", "EXPLORER2", true}, {"Explorer*", "Explore", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RowMatches(ScreenRow{.name = c.row}, c.screen), c.matches) << c.row << " / " << c.screen;
    // Every row has a name, and no screen is listed twice for one hook.
    const auto rows = ScreenTable();
    for (std::size_t i = 0; i < rows.size(); ++i)
        for (std::size_t j = i + 1; j < rows.size(); ++j)
            if (RowMatches(rows[i], rows[j].name)) {
                EXPECT_FALSE(rows[i].prepare && rows[j].prepare) << rows[j].name;
                EXPECT_FALSE(rows[i].draw && rows[j].draw) << rows[j].name;
                EXPECT_FALSE(rows[i].release && rows[j].release) << rows[j].name;
                EXPECT_FALSE(rows[i].command && rows[j].command) << rows[j].name;
                EXPECT_FALSE(rows[i].live_label && rows[j].live_label) << rows[j].name;
            }
}

TEST(Navigation, CallingAScreenReturnsToTheCallerAndLeavesItsArgument)
{
    MenuManager manager;
    SetCurrentMenuManager(&manager);
    manager.SetScreens({"start01", "Explorer"});
    manager.m_StateScreens = {{19, 0}, {900, 1}};
    manager.m_nState = 19;
    // "start01" UserID 1: the page browser on its first page; the button's
    // own command does not run.
    EXPECT_FALSE(MainMenuCommand(1));
    EXPECT_EQ(manager.m_nNextState, 900);
    EXPECT_EQ(manager.m_nReturnState, 19);
    EXPECT_EQ(manager.Screen(1)->m_nPendingState, 19);
    EXPECT_EQ(manager.Screen(1)->m_nArgument, 0);
    // Other UserIDs let it run.
    EXPECT_TRUE(MainMenuCommand(2));
    // A state without a screen cannot be called.
    manager.m_StateScreens = {{19, 0}};
    EXPECT_THROW(CallScreen(900, 0), GameError);
    SetCurrentMenuManager(nullptr);
}

class ArcadeTrack : public MenuFixture {
protected:
    // A track screen named `name` with a strip of `frames` frames named
    // `strip` and one button with a UserID.
    Form& track_screen(const std::string& name, const char* strip, int frames)
    {
        data_.strip("art/t", 20, 10, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13});
        for (int i = frames; i < 13; ++i)
            std::filesystem::remove(dir_ / "art" / ("t" + std::string(i < 10 ? "0" : "") + std::to_string(i) + ".pcx"));
        datakit::FormFileWriter file = screen_file(name);
        file.begin("Image", strip);
        place(file, 0, 0, 20, 10);
        file.key_bool("Animated", false).key("Graphic", "art/t").end();
        file.begin("CommandButton", "go");
        place(file, 0, 20, 20, 10);
        file.key("UserID", 7).key("Command", 1).end();
        file.end();
        data_.screen(name, file);
        return load_screen(name);
    }

    void SetUp() override
    {
        MenuFixture::SetUp();
        SetTheGameSettings(&settings_);
        InstallScreenHandlers();
    }
    void TearDown() override
    {
        SetScreenHooks(ScreenHooks{});
        SetTheGameSettings(nullptr);
        MenuFixture::TearDown();
    }

    GameSettings settings_;
};

TEST_F(ArcadeTrack, TheStripIsFoundIgnoringCaseAndItsFrameIsTheTrackOfANetworkRace)
{
    Form& form = track_screen("ARCADE04", "Track", 12);
    settings_.ArcadeTrack = 7;
    show(0);
    Image* strip = dynamic_cast<Image*>(form.FindElement("track"));
    ASSERT_NE(strip, nullptr);
    EXPECT_EQ(strip->m_Strip.m_nCurrent, 7);
    // In a network game the track goes to the race header.
    app_.Flags = kAppFlagNetwork;
    strip->m_Strip.SetState(4);
    EXPECT_TRUE(ScreenCommand(*form.FindElement("go")));
    EXPECT_EQ(settings_.ArcadeTrack, 4);
    EXPECT_STREQ(app_.m_szTrack, "Monza");
}

TEST_F(ArcadeTrack, AFrameOfTwelveOrMoreIsOutOfRangeAndNoStripIsNotFound)
{
    Form& form = track_screen("Arcade04", "track", 13);
    show(0);
    dynamic_cast<Image*>(form.FindElement("track"))->m_Strip.SetState(12);
    try {
        ScreenCommand(*form.FindElement("go"));
        ADD_FAILURE() << "accepted";
    } catch (const GameError& e) {
        EXPECT_STREQ(e.what(), "out of range");
    }
    EXPECT_EQ(settings_.ArcadeTrack, 0);

    Form& other = track_screen("Arcade04", "map", 3);
    try {
        ScreenCommand(*other.FindElement("go"));
        ADD_FAILURE() << "accepted";
    } catch (const GameError& e) {
        EXPECT_STREQ(e.what(), "not found");
    }
}

} // namespace
