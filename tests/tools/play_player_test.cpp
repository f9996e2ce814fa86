// The headless player's frames without a game: the steps it takes one per
// frame, the test clock it moves, its log lines and its time-out.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "app/game_app.h"
#include "app/main_window.h"
#include "menu/menu_manager.h"
#include "platform/clock.h"
#include "platform/input_events.h"
#include "platform/key_codes.h"
#include "platform/message_box.h"
#include "tools/play/player.h"

namespace {

using platform::InputEventType;

std::vector<platform::InputEvent> TakeEvents()
{
    std::vector<platform::InputEvent> events;
    platform::InputEvent e;
    while (platform::poll_input_event(e))
        events.push_back(e);
    return events;
}

// The physical key of a key number (the inverse of the platform's table).
int ScanCodeOf(int key)
{
    for (int sc = 0; sc < 512; ++sc)
        if (platform::pc_scan_code_from_sdl_scancode(sc).key_number() == key)
            return sc;
    return -1;
}

std::vector<std::string> Lines(const std::ostringstream& log)
{
    std::vector<std::string> lines;
    std::istringstream in(log.str());
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

play::Options OptionsOf(const std::vector<std::string>& args)
{
    play::Options options;
    std::string error;
    std::vector<std::string> all = {"--data", "."};
    all.insert(all.end(), args.begin(), args.end());
    EXPECT_TRUE(play::ParseCommandLine(all, options, error)) << error;
    return options;
}

class PlayerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::set_test_clock(5000);
        platform::clear_input_events();
        platform::clear_recorded_message_boxes();
        g_bQuit = 0;
    }
    void TearDown() override
    {
        platform::clear_test_clock();
        platform::clear_input_events();
        g_bQuit = 0;
    }
    std::ostringstream log_;
};

} // namespace

TEST(PlayLogTest, LinesAsWritten)
{
    EXPECT_EQ(play::ScreenLine("menu", 19, "start01"), "screen set=menu state=19 name=start01");
    EXPECT_EQ(play::ScreenLine("menudial", -1, ""), "screen set=menudial state=-1 name=");
    EXPECT_EQ(play::FocusLine("Go"), "focus name=Go");
    EXPECT_EQ(play::FocusLine(nullptr), "focus name=");
    EXPECT_EQ(play::RaceLine("Sugo", 6, 4, 1), "race track=Sugo session=6 riders=4 laps=1");
    EXPECT_EQ(play::ErrorLine("Out of memory"), "error Out of memory");
    EXPECT_EQ(play::ErrorLine("two\r\nlines\n"), "error two  lines ");
    EXPECT_EQ(play::ExitLine(0), "exit status=0");
    EXPECT_EQ(play::BikeLine(nullptr), "bike none");
}

// A key goes down on one frame and up on the next; a wait lets its seconds
// of test clock pass; a click puts the menus' pointer on its pixel and
// presses the left button, released on the next frame; then nothing more
// happens.
TEST_F(PlayerTest, StepsAreTakenFrameByFrame)
{
    play::Player player(OptionsOf({"--frame-time", "0.02", "Enter", "wait:0.1", "click:10,20", "Esc"}), log_);
    const int enter = ScanCodeOf(28);
    ASSERT_GT(enter, 0);

    player.MenuFrame();
    std::vector<platform::InputEvent> events = TakeEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].type, InputEventType::KeyDown);
    EXPECT_EQ(events[0].scancode, enter);
    EXPECT_EQ(platform::time_get_time(), 5020u);

    player.MenuFrame();
    events = TakeEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].type, InputEventType::KeyUp);
    EXPECT_EQ(events[0].scancode, enter);

    // The wait starts on the third frame and lasts five frames of 20 ms.
    for (int frame = 3; frame <= 7; ++frame) {
        player.MenuFrame();
        EXPECT_TRUE(TakeEvents().empty()) << frame;
    }
    player.MenuFrame();
    events = TakeEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].type, InputEventType::MouseButtonDown);
    EXPECT_EQ(events[0].button, 1);
    EXPECT_EQ(g_nPointerX, 10);
    EXPECT_EQ(g_nPointerY, 20);
    player.MenuFrame();
    events = TakeEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].type, InputEventType::MouseButtonUp);

    player.MenuFrame();
    events = TakeEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].type, InputEventType::KeyDown);
    EXPECT_EQ(events[0].scancode, ScanCodeOf(1)) << "Escape";
    player.MenuFrame();
    EXPECT_EQ(TakeEvents().size(), 1u);
    EXPECT_EQ(player.StepsLeft(), 0u);
    for (int frame = 0; frame < 10; ++frame)
        player.MenuFrame();
    EXPECT_TRUE(TakeEvents().empty());
    EXPECT_TRUE(Lines(log_).empty());
    EXPECT_EQ(player.Finish(0), 0);
    EXPECT_EQ(Lines(log_), std::vector<std::string>{"exit status=0"});
}

// Menu frames and race frames move the clock by their own frame times,
// keeping to them over many frames in whole milliseconds.
TEST_F(PlayerTest, MenuAndRaceFramesMoveTheClockByTheirFrameTimes)
{
    GameApp app; // no race runs
    SetTheGameApp(&app);
    play::Player player(OptionsOf({}), log_);
    for (int frame = 0; frame < 60; ++frame)
        player.MenuFrame();
    EXPECT_EQ(platform::time_get_time(), 6000u);
    for (int frame = 0; frame < 25; ++frame)
        player.RaceFrame();
    EXPECT_EQ(platform::time_get_time(), 8500u);
    SetTheGameApp(nullptr);
}

// The messages the game shows are logged as they come, one line each.
TEST_F(PlayerTest, MessagesAreLogged)
{
    play::Player player(OptionsOf({}), log_);
    platform::message_box("Can't access version information", "Error", platform::MB_ICONHAND);
    player.MenuFrame();
    platform::message_box("first\nsecond", "Error", platform::MB_OK);
    player.ScreenShown("menu", 19, "start01");
    player.FocusMoved("Quit");
    platform::message_box("e allora?", "Error", platform::MB_OK);
    EXPECT_EQ(player.Finish(1), 1);
    EXPECT_EQ(Lines(log_), (std::vector<std::string>{"error Can't access version information", "error first second",
                                                      "screen set=menu state=19 name=start01", "focus name=Quit",
                                                      "error e allora?", "exit status=1"}));
}

// When the test clock runs out the game is asked to end (the quit byte),
// no further step is taken, and the play ends with status 3 whatever the
// game returns.
TEST_F(PlayerTest, TheTestClockRunsOut)
{
    play::Options options = OptionsOf({"--frame-time", "0.1", "wait:600", "Enter"});
    options.time_limit = 2.0;
    play::Player player(options, log_);
    for (int frame = 0; frame < 19; ++frame)
        player.MenuFrame();
    EXPECT_EQ(g_bQuit, 0);
    player.MenuFrame();
    EXPECT_EQ(g_bQuit, 1);
    EXPECT_TRUE(player.TimedOut());
    for (int frame = 0; frame < 10; ++frame)
        player.MenuFrame();
    EXPECT_TRUE(TakeEvents().empty());
    EXPECT_EQ(player.Finish(0), play::kTimeoutStatus);
    EXPECT_EQ(Lines(log_), (std::vector<std::string>{"timeout s=2", "exit status=3"}));
}
