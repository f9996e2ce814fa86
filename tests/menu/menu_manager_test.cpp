#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/game_error.h"
#include "menu/form.h"
#include "menu/menu_files.h"
#include "menu/menu_manager.h"
#include "menu/screen_hooks.h"
#include "tests/menu/menu_fixture.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace menu_test;

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

// The screen-entry check of the tests below: every screen but "Locked" may
// be entered; the calls are counted.
int g_EntryChecks = 0;
bool EnterAllButLocked(Form& form)
{
    ++g_EntryChecks;
    return std::string(form.Name()) != "Locked";
}

// Installs the entry check for the scope of a test.
struct LockedScreenHooks {
    LockedScreenHooks()
    {
        g_EntryChecks = 0;
        ScreenHooks hooks;
        hooks.screen_entry = &EnterAllButLocked;
        SetScreenHooks(hooks);
    }
    ~LockedScreenHooks() { SetScreenHooks(ScreenHooks{}); }
};

std::size_t Occurrences(const std::string& text, const std::string& what)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

// A screen refused with no way back and nothing shown to go back to: the
// manager stays in its state, unshown, saying so once and not asking the
// check again every frame; a change of state asks (and says) again.
TEST(MenuManagerEntry, ARefusedScreenWithNoWayBackIsReportedAndAskedOnce)
{
    const LockedScreenHooks hooks;
    MenuManager m;
    m.m_Name = "demo";
    m.SetScreens({"Main", "Locked"});
    m.m_StateScreens = {{1, 0}, {2, 1}, {3, 1}};
    m.m_nNextState = 2;
    struct Step {
        std::int32_t state;
        int checks;   // entry checks so far
        std::size_t messages;
    };
    std::size_t messages = 0;
    for (const Step& step : {Step{2, 1, 1}, Step{3, 2, 2}, Step{2, 3, 3}}) {
        SCOPED_TRACE(step.state);
        m.m_nNextState = step.state;
        ::testing::internal::CaptureStderr();
        for (int frame = 0; frame < 60; ++frame)
            m.Update();
        const std::string said = ::testing::internal::GetCapturedStderr();
        messages += Occurrences(said, "screen Locked cannot be entered and state " + std::to_string(step.state));
        EXPECT_EQ(messages, step.messages) << said;
        EXPECT_EQ(Occurrences(said, "cannot be entered"), 1u) << said;
        EXPECT_EQ(g_EntryChecks, step.checks);
        EXPECT_EQ(m.m_nState, step.state);
        EXPECT_EQ(m.m_nShownScreen, -1);
        EXPECT_EQ(m.m_bRunning, 1);
    }
}

class MenuManagerScreens : public MenuFixture {
protected:
    void write_screens(std::initializer_list<const char*> names)
    {
        for (const char* name : names) {
            datakit::FormFileWriter file = screen_file(name);
            file.end();
            data_.screen(name, file);
        }
    }
};

// A refused screen whose "back" leads nowhere, asked from a screen that is
// shown: the manager goes back to the shown screen's state, so that its keys
// and Esc work and it is drawn; the refusal is said once, however often it
// is asked while that screen stays.
TEST_F(MenuManagerScreens, ARefusedScreenWithNoWayBackLeavesTheShownScreenCurrent)
{
    write_screens({"Title", "Locked"});
    load_screens({"Title", "Locked"}); // states 1 and 2
    manager_.m_Name = "demo";
    manager_.m_StateScreens.push_back({9, -1});
    manager_.m_Transitions = {{1, 5, 2}, {1, 0, 9}};
    const LockedScreenHooks hooks;
    manager_.m_nNextState = 1;
    manager_.Update();
    ASSERT_EQ(manager_.m_nShownScreen, 0);
    ASSERT_EQ(g_EntryChecks, 1);

    ::testing::internal::CaptureStderr();
    for (int attempt = 0; attempt < 3; ++attempt) {
        EXPECT_EQ(manager_.ExecuteCommand(5), 2);
        for (int frame = 0; frame < 60; ++frame) {
            manager_.Update();
            EXPECT_EQ(manager_.m_nState, 1);
            EXPECT_EQ(manager_.m_nNextState, 1);
            EXPECT_EQ(manager_.m_nReturnState, 1);
            EXPECT_EQ(manager_.m_nShownScreen, 0);
            EXPECT_EQ(manager_.CurrentScreen(), manager_.Screen(0));
        }
        EXPECT_EQ(g_EntryChecks, 2 + attempt) << "asked once for each time it is asked for";
    }
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(Occurrences(said, "menu demo: screen Locked cannot be entered and state 2 has no way back; state 1 stays"),
              1u)
        << said;
    EXPECT_EQ(Occurrences(said, "cannot be entered"), 1u) << said;
    // Esc (command 0) goes by the shown screen's own transitions.
    EXPECT_EQ(manager_.ExecuteCommand(0), 9);
    manager_.Update();
    EXPECT_EQ(manager_.m_bRunning, 0);
}

std::vector<unsigned char> FileBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::filesystem::path& path, const std::vector<unsigned char>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// The four words of a state file, in the order written: current state,
// next state, last command, return state, each 4 bytes, low byte first.
TEST(MenuManagerStateFile, SavedWordsAndTheirOrderReadBack)
{
    const std::filesystem::path dir = torvane_test::make_temp_dir("menustate");
    const torvane_test::ScopedCwd cwd(dir);
    MenuManager saved;
    saved.m_nState = 19;
    saved.m_nNextState = 53;
    saved.m_nLastCommand = -2;
    saved.m_nReturnState = 0x01020304;
    saved.SaveState("state.bin");
    const std::vector<unsigned char> expected = {0x13, 0, 0, 0, 0x35, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 4, 3, 2, 1};
    EXPECT_EQ(FileBytes(dir / "state.bin"), expected);

    MenuManager loaded;
    loaded.m_nLastUserID = 7;
    loaded.LoadState("state.bin");
    EXPECT_EQ(loaded.m_nState, 19);
    EXPECT_EQ(loaded.m_nNextState, 53);
    EXPECT_EQ(loaded.m_nLastCommand, -2);
    EXPECT_EQ(loaded.m_nReturnState, 0x01020304);
    EXPECT_EQ(loaded.m_nLastUserID, 7) << "only the four words are kept";

    // A file written by hand reads the same way round.
    WriteBytes(dir / "hand.bin", {1, 0, 0, 0, 2, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F, 0, 0, 0, 0x80});
    loaded.LoadState("hand.bin");
    EXPECT_EQ(loaded.m_nState, 1);
    EXPECT_EQ(loaded.m_nNextState, 2);
    EXPECT_EQ(loaded.m_nLastCommand, INT32_MAX);
    EXPECT_EQ(loaded.m_nReturnState, INT32_MIN);
}

// A save replaces the file through a temporary file renamed over it: a
// second name of the old file keeps the old bytes, and no temporary file is
// left. A file that cannot be created throws and leaves nothing.
TEST(MenuManagerStateFile, SavingReplacesTheFileWholeOrThrows)
{
    const std::filesystem::path dir = torvane_test::make_temp_dir("menustate");
    const torvane_test::ScopedCwd cwd(dir);
    const std::vector<unsigned char> old_bytes(16, 0xAA);
    WriteBytes(dir / "state.bin", old_bytes);
    std::filesystem::create_hard_link(dir / "state.bin", dir / "other.bin");
    MenuManager m;
    m.m_nState = 4;
    m.SaveState("state.bin");
    EXPECT_EQ(FileBytes(dir / "state.bin").size(), 16u);
    EXPECT_EQ(FileBytes(dir / "state.bin")[0], 4);
    EXPECT_EQ(FileBytes(dir / "other.bin"), old_bytes) << "the old file was written over in place";
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()), 2);

    for (const char* file : {"no_folder\\state.bin", "no_folder/state.bin", "."}) {
        SCOPED_TRACE(file);
        try {
            m.SaveState(file);
            ADD_FAILURE() << "saved";
        } catch (const GameError& error) {
            EXPECT_STREQ(error.what(), "menu save state file error");
        }
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "no_folder"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()), 2);
}

// A file that cannot be opened, or that is not the four words (short, or
// longer), leaves every word of the state as it was.
TEST(MenuManagerStateFile, AMissingOrDamagedFileLeavesTheStateUnchanged)
{
    const std::filesystem::path dir = torvane_test::make_temp_dir("menustate");
    const torvane_test::ScopedCwd cwd(dir);
    struct Case {
        const char* what;
        std::vector<unsigned char> bytes;
        bool write = true;
    };
    const Case cases[] = {
        {"missing", {}, false},
        {"empty", {}},
        {"one word", {1, 0, 0, 0}},
        {"fifteen bytes", std::vector<unsigned char>(15, 1)},
        {"seventeen bytes", std::vector<unsigned char>(17, 1)},
        {"two state files", std::vector<unsigned char>(32, 1)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(dir / "state.bin");
        if (c.write)
            WriteBytes(dir / "state.bin", c.bytes);
        MenuManager m;
        m.m_nState = 19;
        m.m_nNextState = 20;
        m.m_nLastCommand = 3;
        m.m_nReturnState = 18;
        ::testing::internal::CaptureStderr();
        m.LoadState("state.bin");
        const std::string said = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(m.m_nState, 19);
        EXPECT_EQ(m.m_nNextState, 20);
        EXPECT_EQ(m.m_nLastCommand, 3);
        EXPECT_EQ(m.m_nReturnState, 18);
        if (c.write) {
            EXPECT_NE(said.find("the state is kept"), std::string::npos) << said;
        }
    }
    // A folder in place of the file is one that cannot be opened.
    MenuManager m;
    m.m_nState = 5;
    m.LoadState(".");
    EXPECT_EQ(m.m_nState, 5);
}

// The main menu's screens 2, 3 and 53 load together when the set has a
// screen 53; a dialogue set, or a set of fewer screens, loads the one asked
// for. A group loaded already loads nothing again (its files are gone by
// then), and an index the set does not have is refused.
TEST_F(MenuManagerScreens, TheLoadGroupOfScreens2_3And53)
{
    struct Case {
        const char* what;
        std::int32_t count;
        bool dialogue;
        std::int32_t asked;
        std::vector<std::int32_t> loaded;
    };
    const Case cases[] = {
        {"2 of a main menu", 54, false, 2, {2, 3, 53}},
        {"3 of a main menu", 54, false, 3, {2, 3, 53}},
        {"53 of a main menu", 60, false, 53, {2, 3, 53}},
        {"another screen", 54, false, 4, {4}},
        {"2 of a dialogue set", 54, true, 2, {2}},
        {"53 of a dialogue set", 54, true, 53, {53}},
        {"2 of a set of 53 screens", 53, false, 2, {2}},
        {"3 of a set of 10 screens", 10, false, 3, {3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> names;
        for (std::int32_t i = 0; i < c.count; ++i) {
            names.push_back("s" + std::to_string(i));
            datakit::FormFileWriter file = screen_file(names.back());
            file.end();
            data_.screen(names.back(), file);
        }
        manager_.Reset();
        manager_.m_Name = "set";
        manager_.m_bDialogue = c.dialogue ? 1 : 0;
        manager_.SetScreens(names);
        ASSERT_TRUE(CurrentFolder(manager_.m_SavedFolder));
        manager_.m_MenuFolder = ".";
        manager_.LoadScreen(c.asked, false);
        for (std::int32_t i = 0; i < c.count; ++i) {
            const bool expected = std::find(c.loaded.begin(), c.loaded.end(), i) != c.loaded.end();
            EXPECT_EQ(manager_.Screen(i)->IsLoaded(), expected) << i;
            if (expected) {
                EXPECT_EQ(manager_.Screen(i)->m_nId, i);
            }
        }
        // Loaded screens are not read again, whichever of them is asked.
        for (const std::int32_t i : c.loaded)
            std::filesystem::remove(dir_ / (names[static_cast<std::size_t>(i)] + ".dat"));
        for (const std::int32_t i : c.loaded)
            EXPECT_NO_THROW(manager_.LoadScreen(i, false)) << i;
        if (c.loaded.size() == 3) {
            EXPECT_NO_THROW(manager_.LoadScreen(2, true));
        }
        // An index past the set is refused with its message.
        try {
            manager_.LoadScreen(c.count, false);
            ADD_FAILURE() << "screen " << c.count << " loaded";
        } catch (const GameError& error) {
            EXPECT_EQ(std::string(error.what()), "screen " + std::to_string(c.count) + " is not one of the " +
                                                     std::to_string(c.count) + " screens of set");
        }
        manager_.m_bDialogue = 0;
    }
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
