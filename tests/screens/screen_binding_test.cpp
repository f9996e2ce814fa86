// The screen binding by name and the handlers' own rules, on small screens
// of their own.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/game_app.h"
#include "app/game_error.h"
#include "champ/champ_objects.h"
#include "champ/championship.h"
#include "champ/game_settings.h"
#include "champ/track_records.h"
#include "menu/form.h"
#include "menu/image.h"
#include "menu/label.h"
#include "menu/menu_manager.h"
#include "menu/screen_hooks.h"
#include "menu/scroll_bar.h"
#include "platform/message_box.h"
#include "screens/arcade_screens.h"
#include "screens/front_screens.h"
#include "screens/navigation.h"
#include "screens/screen_binding.h"
#include "screens/screen_text.h"
#include "tests/menu/menu_fixture.h"
#include "tests/menu/picture_box_fixture.h"
#include "tools/datakit/champ_files_writer.h"
#include "tools/datakit/menu_widget_art.h"

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
    // A state without a screen cannot be called: a message, and the
    // manager stays as it was.
    platform::clear_recorded_message_boxes();
    manager.m_StateScreens = {{19, 0}, {900, -1}};
    manager.m_nNextState = manager.m_nState = 19;
    manager.m_nReturnState = -1;
    EXPECT_FALSE(CallScreen(900, 0));
    EXPECT_EQ(manager.m_nNextState, 19);
    EXPECT_EQ(manager.m_nReturnState, -1);
    EXPECT_EQ(platform::recorded_message_boxes().size(), 1u);
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

// The bike choice's transmission buttons: 2 automatic, 3 manual, 4 no
// change; taking a bike needs the carousel.
TEST_F(ArcadeTrack, TheBikeChoiceSetsTheGearsAndNeedsItsCarousel)
{
    datakit::FormFileWriter file = screen_file("MArcade3");
    for (int id : {1, 2, 3, 4}) {
        file.begin("CommandButton", "b" + std::to_string(id));
        place(file, 0, 12 * id, 20, 10);
        file.key("UserID", id).key("Command", 9).end();
    }
    file.end();
    data_.screen("MArcade3", file);
    Form& form = load_screen("MArcade3");
    show(0);
    struct Case {
        int id;
        std::uint8_t before, after;
    };
    for (const Case& c : {Case{2, 1, 0}, Case{3, 0, 1}, Case{4, 1, 1}, Case{4, 0, 0}}) {
        SCOPED_TRACE(c.id);
        settings_.GearChoice = c.before;
        EXPECT_TRUE(ScreenCommand(*form.FindElement(("b" + std::to_string(c.id)).c_str())));
        EXPECT_EQ(settings_.GearChoice, c.after);
    }
    try {
        ScreenCommand(*form.FindElement("b1"));
        ADD_FAILURE() << "accepted";
    } catch (const GameError& e) {
        EXPECT_STREQ(e.what(), "not found");
    }
}

// The arcade's circuit list: twelve rows, ten shown at a time from the
// bar's position, the ten right above the bar; a row above y = 100 is
// hidden too.
class ArcadeCircuits : public ArcadeTrack {
protected:
    void SetUp() override
    {
        ArcadeTrack::SetUp();
        std::string error;
        ASSERT_TRUE(datakit::write_demo_champ_files(dir_, error)) << error;
        ASSERT_TRUE(datakit::write_scroll_tick_picture(data_.root(), error)) << error;
        data_.game_font("fonts/menu", GameFontWords{}, kInkWhite, kInkYellow);
        champ_.Start();
    }

    // The list with its bar at `barTop`, the rows 20 pixels apart.
    Form& list_screen(int barTop)
    {
        datakit::FormFileWriter file = screen_file("Arcade07");
        file.begin("HScrollBar", "list");
        place(file, 0, barTop, 200, 12);
        file.key("Max", 2).key("Min", 0).key("Step", 1).end();
        for (int row = 0; row < 12; ++row) {
            file.begin("Label", "row" + std::string(row < 10 ? "0" : "") + std::to_string(row));
            place(file, 0, 40 + 20 * row, 600, 16);
            file.key("FontName", "fonts/menu.pcx").key("FontType", "gamefont").end();
        }
        file.end();
        data_.screen("Arcade07", file);
        return load_screen("Arcade07");
    }
    static Label& row(Form& form, int r)
    {
        return *dynamic_cast<Label*>(form.FindElement(("row" + std::string(r < 10 ? "0" : "") + std::to_string(r)).c_str()));
    }

    ChampObjects champ_;
};

TEST_F(ArcadeCircuits, TenRowsFromTheBarsPositionStandRightAboveTheBar)
{
    TheArcadeRecords().Track(0).LapRecord = 83.375f;
    CopyField(TheArcadeRecords().Track(0).HolderName, "Test Rider");
    struct Case {
        int barTop;
        std::vector<int> positions;  // set one after the other, drawn after each
        int first;                   // the first row shown at the last one
        int shown;                   // how many rows are shown
    };
    for (const Case& c : {Case{300, {0}, 0, 10}, Case{300, {2}, 2, 10}, Case{300, {2, 1, 0}, 0, 10},
                          Case{280, {0}, 1, 9}, Case{280, {2}, 3, 9}}) {
        SCOPED_TRACE(::testing::Message() << "bar at " << c.barTop << ", position " << c.positions.back());
        Form& form = list_screen(c.barTop);
        show(0);
        char text[64] = {};
        row(form, 0).GetText(text, sizeof text);
        EXPECT_EQ(std::string(text), " 1  " + UpperCase(kTrackNames[0]) + "  01:23:37  TEST RIDER");
        auto& bar = *dynamic_cast<ScrollBar*>(form.FindElement("list"));
        for (int position : c.positions) {
            bar.SetPos(position);
            EXPECT_TRUE(ScreenDraw(form));
        }
        int shown = 0;
        for (int r = 0; r < 12; ++r) {
            const int position = c.positions.back();
            EXPECT_EQ(row(form, r).GetTop(), c.barTop - 20 * (10 - (r - position))) << r;
            const bool visible = row(form, r).IsVisibleInState();
            EXPECT_EQ(visible, r >= c.first && r < c.first + c.shown) << r;
            shown += visible ? 1 : 0;
        }
        EXPECT_EQ(shown, c.shown);
    }
}

// The track screen's 3D view shows the arcade track too: the carousel's
// item of that event, at once; a track it has no item for leaves it.
class ArcadeTrackView : public PictureBoxFixture {
protected:
    void SetUp() override
    {
        PictureBoxFixture::SetUp();
        SetTheGameSettings(&settings_);
        InstallScreenHandlers();
    }
    void TearDown() override
    {
        SetScreenHooks(ScreenHooks{});
        SetTheGameSettings(nullptr);
        PictureBoxFixture::TearDown();
    }
    GameSettings settings_;
};

TEST_F(ArcadeTrackView, TheViewShowsTheArcadeTrack)
{
    write_carousel("c.ole", bike_carousel(5));
    for (const auto& [track, item] : {std::pair{3, 3}, {7, 0}}) {
        SCOPED_TRACE(track);
        datakit::FormFileWriter file = screen_file("Arcade04");
        file.begin("PictureBox", "OLE1");
        place(file, 160, 120, 320, 240).key("FileName", "c.ole").end();
        file.end();
        data_.screen("Arcade04", file);
        Form& form = load_screen("Arcade04");
        settings_.ArcadeTrack = track;
        show(0);
        EXPECT_EQ(box(form).CurrentItem(), item);
        EXPECT_EQ(box(form).TurnState(), 0);
    }
}

} // namespace
