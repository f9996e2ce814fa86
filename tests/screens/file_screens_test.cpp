// The championship files, the replay list and the file-name dialogue as
// shipped in the demo menus: saves created, listed newest first, loaded and
// deleted; replays listed, chosen and deleted; damaged files left out.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/game_error.h"
#include "champ/championship.h"
#include "champ/save_slots.h"
#include "input/input_manager.h"
#include "menu/form.h"
#include "menu/label.h"
#include "platform/file.h"
#include "platform/message_box.h"
#include "platform/path_resolver.h"
#include "menu/window.h"
#include "screens/file_screens.h"
#include "screens/page_browser.h"
#include "tests/screens/shipped_screens_fixture.h"
#include "tools/datakit/replay_writer.h"

namespace {

namespace fs = std::filesystem;

class FileScreens : public shipped_test::ShippedScreens {
protected:
    void SetUp() override
    {
        ShippedScreens::SetUp();
        SetTheInputManager(&input_);
        existing_saves_ = platform::list_files(".\\menu\\save\\*.?hp");
        fs::create_directories("Replay");
    }
    void TearDown() override
    {
        // The demo folder is shared: what a test wrote goes.
        for (const std::string& file : platform::list_files(".\\menu\\save\\*.?hp"))
            if (std::find(existing_saves_.begin(), existing_saves_.end(), file) == existing_saves_.end())
                platform::remove_file(MakeSavePath(file.c_str()));
        fs::remove_all("Replay");
        platform::invalidate_path_cache();
        SetTheInputManager(nullptr);
        ShippedScreens::TearDown();
    }

    // A new championship named as typed into the first row, saved.
    void create_and_save(std::int32_t state, const char* typed)
    {
        Form& form = enter(state);
        element<Label>(form, state == kSimCreateState ? "lbl_champ" : "lbl_file").SetText(typed);
        ASSERT_TRUE(click(form, "Ok"));
        TheChampionship().Save(settings_);
        platform::invalidate_path_cache();
    }

    void write_replay(const std::string& name, const std::string& track, const char* rider, float length)
    {
        datakit::ReplayFileWriter writer;
        writer.track = track;
        writer.length = length;
        writer.steps = {0.05f, 0.05f};
        std::vector<std::uint8_t> bytes = writer.build();
        std::memcpy(bytes.data() + 180 + 8, rider, std::strlen(rider) + 1);
        ASSERT_TRUE(platform::write_whole_file(".\\Replay\\" + name, bytes));
        platform::invalidate_path_cache();
    }

    InputManager input_;
    std::vector<std::string> existing_saves_;
};

TEST_F(FileScreens, ATypedNameIsCutAndCleanedAndAnEmptyOneAsksForAName)
{
    struct Case {
        std::int32_t state;
        std::string typed;
        std::string name;
        std::int32_t mode;
        const char* extension;
    };
    const Case cases[] = {
        {kSimCreateState, "  Summer Cup  ", "Summer Cup", 4, ".shp"},
        {kArcadeCreateState, "ab.cd", "ab", 1, ".ahp"},
        {kSimCreateState, std::string(60, 'x'), std::string(19, 'x'), 4, ".shp"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        Form& form = enter(c.state);
        Label& names = element<Label>(form, c.state == kSimCreateState ? "lbl_champ" : "lbl_file");
        EXPECT_EQ(names.m_nCurrentRow, 0);  // the row to type in
        names.SetText(c.typed.c_str());
        EXPECT_TRUE(click(form, "Ok"));
        EXPECT_STREQ(TheChampionship().Name, c.name.c_str());
        EXPECT_EQ(TheChampionship().GameMode, c.mode);
        EXPECT_TRUE(std::string(TheChampionship().FileName).ends_with(c.extension)) << TheChampionship().FileName;
    }
    Form& form = enter(kSimCreateState);
    element<Label>(form, "lbl_champ").SetText("   ");
    EXPECT_FALSE(click(form, "Ok"));
    EXPECT_EQ(shipped_test::asked(), std::vector<std::int32_t>{35});
}

TEST_F(FileScreens, SavesAreListedNewestFirstLoadedAndDeleted)
{
    create_and_save(kSimCreateState, "older");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    create_and_save(kSimCreateState, "newer");
    const std::string newer_file = TheChampionship().FileName;
    // An arcade save is not listed with the simulation ones, nor a damaged one.
    create_and_save(kArcadeCreateState, "arcade");
    ASSERT_TRUE(platform::write_whole_file(MakeSavePath("f9.shp"), std::vector<std::uint8_t>(400, 7)));
    platform::invalidate_path_cache();

    Form& form = enter(kSimLoadState);
    EXPECT_EQ(text(form, "lbl_champ", 0), "NEWER             ");
    EXPECT_EQ(text(form, "lbl_champ", 1), "OLDER             ");
    EXPECT_EQ(element<Label>(form, "lbl_champ").RowCount(), 2);
    EXPECT_EQ(text(form, "lbl_Race", 0), "0");

    // Loading the older save: its championship, on to its sessions.
    element<Label>(form, "lbl_champ").SetCurrentRow(1);
    EXPECT_FALSE(click(form, "Ok"));
    EXPECT_STREQ(TheChampionship().Name, "older");
    EXPECT_EQ(manager_.m_nNextState, kLoadedSessionsState);

    // A championship whose event ended with its second race goes on to the
    // standings.
    TheChampionship().SetSessionKind(3);
    TheChampionship().Save(settings_);
    Form& reloaded = enter(kSimLoadState);
    element<Label>(reloaded, "lbl_champ").SetCurrentRow(0);  // "older", saved last
    EXPECT_EQ(text(reloaded, "lbl_champ", 0), "OLDER             ");
    EXPECT_FALSE(click(reloaded, "Ok"));
    EXPECT_EQ(manager_.m_nNextState, kLoadedStandingsState);

    // A save gone since it was listed: refused, the championship in play kept.
    Form& again = enter(kSimLoadState);
    platform::remove_file(MakeSavePath(newer_file.c_str()));
    platform::invalidate_path_cache();
    element<Label>(again, "lbl_champ").SetCurrentRow(1);
    manager_.m_nNextState = kSimLoadState;
    EXPECT_FALSE(click(again, "Ok"));
    EXPECT_STREQ(TheChampionship().Name, "older");
    EXPECT_EQ(manager_.m_nNextState, kSimLoadState);
    EXPECT_FALSE(platform::recorded_message_boxes().empty());

    // Deleting asks first; only a yes deletes.
    Form& del = enter(kSimDeleteState);
    ASSERT_EQ(element<Label>(del, "lbl_champ").RowCount(), 1);
    shipped_test::answer() = 0;
    click(del, "Ok");
    EXPECT_EQ(element<Label>(del, "lbl_champ").RowCount(), 1);
    shipped_test::answer() = 1;
    click(del, "Ok");
    EXPECT_EQ(shipped_test::asked(), (std::vector<std::int32_t>{16, 16}));
    EXPECT_EQ(text(del, "lbl_champ", 0), "");
    EXPECT_EQ(platform::list_files(".\\menu\\save\\*.shp").size(), 1u);  // the damaged one is left alone
}

// The arcade delete screen lists the arcade saves alone and asks its own
// question; only a yes deletes, and only the chosen save.
TEST_F(FileScreens, AnArcadeSaveIsDeletedOnlyOnAYesAndOnlyItself)
{
    create_and_save(kSimCreateState, "weekend");
    create_and_save(kArcadeCreateState, "first");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    create_and_save(kArcadeCreateState, "second");
    const std::string second_file = TheChampionship().FileName;
    const std::size_t arcade_saves = platform::list_files(".\\menu\\save\\*.ahp").size();
    const std::size_t sim_saves = platform::list_files(".\\menu\\save\\*.shp").size();

    Form& form = enter(kArcadeDeleteState);
    Label& list = element<Label>(form, "lbl_file");
    ASSERT_EQ(list.RowCount(), static_cast<std::int32_t>(arcade_saves));
    list.SetCurrentRow(0);  // the newest: "second"
    shipped_test::answer() = 0;
    click(form, "Ok");
    EXPECT_TRUE(platform::file_exists(MakeSavePath(second_file.c_str())));
    shipped_test::answer() = 1;
    click(form, "Ok");
    EXPECT_EQ(shipped_test::asked(), (std::vector<std::int32_t>{26, 26}));
    platform::invalidate_path_cache();
    EXPECT_FALSE(platform::file_exists(MakeSavePath(second_file.c_str())));
    EXPECT_EQ(platform::list_files(".\\menu\\save\\*.ahp").size(), arcade_saves - 1);
    EXPECT_EQ(platform::list_files(".\\menu\\save\\*.shp").size(), sim_saves);
    EXPECT_EQ(list.RowCount(), static_cast<std::int32_t>(arcade_saves - 1));
}

TEST_F(FileScreens, AReplayIsListedChosenForItsTrackAndDeleted)
{
    write_replay("Mon1.rpl", "Monza", "Ann Rider", 83.25f);
    write_replay("xyz2.rpl", "Assen", "Bo", 1499.99f);
    write_replay("averylongname.rpl", "Sugo", "Cy", 1.0f);
    ASSERT_TRUE(platform::write_whole_file(".\\Replay\\bad.rpl", std::vector<std::uint8_t>(100, 0)));
    platform::invalidate_path_cache();
    Form& form = enter(80);
    ASSERT_EQ(element<Label>(form, "lbl_Rider").RowCount(), 3);
    EXPECT_EQ(text(form, "lbl_Rider", 0), "CY");
    EXPECT_EQ(text(form, "lbl_Rider", 1), "ANN RIDER");
    EXPECT_EQ(text(form, "lbl_Circuit", 1), "MONZA");
    EXPECT_EQ(text(form, "lbl_best_lap", 1), "01:23:25");
    EXPECT_EQ(text(form, "lbl_best_lap", 2), "-:-:-");

    struct Case {
        std::int32_t row;
        bool plays;
        const char* name;
        const char* track;
    };
    const Case cases[] = {
        {1, true, "Mon1", "Monza"},
        {2, true, "xyz2", "Laguna"},        // no track begins "xyz": the track is left
        {0, false, "", "Laguna"},           // a name the replay field cannot hold
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.row);
        std::strcpy(app_.m_szTrack, "Laguna");
        std::memset(input_.m_szReplayName, 0, sizeof input_.m_szReplayName);
        input_.m_bReplayChosen = 0;
        app_.GfxFlags = 0;
        platform::clear_recorded_message_boxes();
        element<Label>(form, "lbl_Rider").SetCurrentRow(c.row);
        EXPECT_EQ(click(form, "Play"), c.plays);
        EXPECT_STREQ(input_.m_szReplayName, c.name);
        EXPECT_EQ(input_.m_bReplayChosen, c.plays ? 1 : 0);
        EXPECT_STREQ(app_.m_szTrack, c.track);
        EXPECT_EQ(app_.GfxFlags & 0x0C, c.plays ? 0x0Cu : 0u);
        EXPECT_EQ(platform::recorded_message_boxes().size(), c.plays ? 0u : 1u);
    }

    element<Label>(form, "lbl_Rider").SetCurrentRow(1);
    click(form, "Delete");
    EXPECT_FALSE(platform::file_exists(".\\Replay\\Mon1.rpl"));
    EXPECT_EQ(element<Label>(form, "lbl_Rider").RowCount(), 2);
}

TEST_F(FileScreens, TheFileNameDialogueEditsTheSharedName)
{
    MenuManager dialogues;
    dialogues.Load(".\\menu\\menudial.dat");
    SetCurrentMenuManager(&dialogues);
    SharedFileName() = "Lap3.tlm";
    dialogues.m_nNextState = 41;
    dialogues.Update();
    Form& form = *dialogues.Screen(dialogues.m_nShownScreen);
    EXPECT_EQ(text(form, "DLG_data"), "Lap3.tlm");
    element<Label>(form, "DLG_data").SetText(std::string(300, 'n').c_str());
    click(form, "yes");
    EXPECT_EQ(SharedFileName(), std::string(kSharedFileNameChars, 'n'));
    dialogues.Reset();
    SetCurrentMenuManager(&manager_);
}

TEST_F(FileScreens, ThePageBrowserStacksPagesGoesBackAndForthAndStopsAtTwenty)
{
    enter(19);
    CallScreen(900, 51);
    manager_.Update();
    Form& form = *manager_.Screen(manager_.m_nShownScreen);
    ASSERT_STREQ(form.Name(), "Explorer");
    const std::int32_t own = form.ElementCount() - 1;
    const PageStack& stack = BrowserPages();
    ASSERT_EQ(stack.count, 1);
    EXPECT_EQ(stack.pages[0], 51);
    auto page = [&](std::int32_t place) { return dynamic_cast<Window*>(form.Element(own + place)); };
    ASSERT_NE(page(0), nullptr);
    EXPECT_STREQ(page(0)->Name(), "Brows51");
    // A page's own button opens the page it names on top.
    auto press = [&](std::int32_t place, const char* button) {
        return ScreenCommand(*page(place)->Children().FindElement(button));
    };
    press(0, "page_0");  // the next circuit
    ASSERT_EQ(stack.count, 2);
    EXPECT_EQ(stack.pages[1], 52);
    EXPECT_EQ(page(0)->m_nVisibleInState, -1);
    click(form, "Previous");
    EXPECT_EQ(stack.current, 0);
    EXPECT_EQ(page(0)->m_nVisibleInState, 0);
    EXPECT_EQ(page(1)->m_nVisibleInState, -1);
    click(form, "Forward");
    click(form, "Forward");  // past the top: stays
    EXPECT_EQ(stack.current, 1);
    click(form, "Previous");
    click(form, "Previous");  // below the first: stays
    EXPECT_EQ(stack.current, 0);
    // Opened from the middle: the pages ahead of it go.
    press(0, "page_1");  // the contents
    ASSERT_EQ(stack.count, 2);
    EXPECT_EQ(stack.pages[1], 0);
    EXPECT_EQ(form.ElementCount(), own + 2);

    // Twenty pages at most.
    press(1, "page_0");  // the circuits
    while (stack.count < kBrowserPages)
        press(stack.current, "page_0");
    EXPECT_EQ(form.ElementCount(), own + kBrowserPages);
    platform::clear_recorded_message_boxes();
    EXPECT_FALSE(press(stack.current, "page_0"));
    EXPECT_EQ(stack.count, kBrowserPages);
    EXPECT_EQ(platform::recorded_message_boxes().size(), 1u);

    // The screen's own "Contents" is refused on a full stack too; one page
    // back, it takes the place of the top page.
    click(form, "Contents");
    EXPECT_EQ(stack.pages[kBrowserPages - 1], 52 + (kBrowserPages - 4) % 12);
    click(form, "Previous");
    click(form, "Contents");
    EXPECT_EQ(stack.count, kBrowserPages);
    EXPECT_EQ(stack.pages[kBrowserPages - 1], 0);

    // Entered again, the screen starts afresh after its own elements.
    form.LeaveScreen();
    manager_.m_nShownScreen = -1;
    manager_.Update();
    EXPECT_EQ(form.ElementCount(), own + 1);
    EXPECT_EQ(stack.count, 1);
}

} // namespace

namespace {

// Freeing the menus while a file screen is shown (a race started from it,
// the game ended) leaves the screen first: its release hook frees the rows
// its prepare hook made, once.
TEST_F(FileScreens, FreeingTheMenusLeavesTheShownScreenOnce)
{
    write_replay("Mon1.rpl", "Monza", "Ann Rider", 83.25f);
    platform::invalidate_path_cache();
    Form& form = enter(80);
    ASSERT_NE(form.m_pUser, nullptr);
    manager_.FreeScreens();
    EXPECT_EQ(form.m_pUser, nullptr);
    EXPECT_FALSE(form.IsLoaded());
    EXPECT_EQ(manager_.m_nShownScreen, -1);
    manager_.FreeScreens();
    EXPECT_EQ(manager_.m_nShownScreen, -1);
}

} // namespace
