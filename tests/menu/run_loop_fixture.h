#pragma once

// What the run-loop tests share: the program-wide objects in a demo data
// folder with the main window, its drivers and the input devices, a play
// seam that scripts the input pass by pass on a test clock, and a small
// menu set written with the data kit's writers (a main menu, an arcade
// screen, a dialogue, start-up screens that end at once, the pointer and
// cover pictures).

#include <array>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/game_app.h"
#include "app/main_window.h"
#include "app/play_seam.h"
#include "app/startup/main_wnd_proc.h"
#include "app/startup/program_objects.h"
#include "app/startup/run_race.h"
#include "engine/render/render_device.h"
#include "input/input_manager.h"
#include "menu/menu_manager.h"
#include "menu/run_menu.h"
#include "platform/clock.h"
#include "platform/directory_listing.h"
#include "platform/fault_seam.h"
#include "platform/input_events.h"
#include "platform/joystick.h"
#include "platform/message_box.h"
#include "platform/registry.h"
#include "platform/video_thread.h"
#include "race/race.h"
#include "tests/input/input_fixture.h"
#include "tests/menu/menu_fixture.h"
#include "tests/support/demo_data.h"
#include "tests/support/temp_dir.h"
#include "tools/datakit/form_file_writer.h"
#include "tools/datakit/pcx_writer.h"
#include "tools/datakit/word_file_writer.h"

namespace run_loop_test {

// One menu pass of the test clock.
inline constexpr std::uint32_t kPassMs = 16;

// ---- The menu set ----

// The states of the small set.
inline constexpr std::int32_t kMainState = 19;
inline constexpr std::int32_t kArcadeState = 53;
inline constexpr std::int32_t kRaceEndState = 1;  // ended by "go" with command 2
inline constexpr std::int32_t kGoCommand = 2;
inline constexpr std::int32_t kDialogueState = 10;

// A button without text or picture (the run loop needs none).
inline void button(datakit::FormFileWriter& file, const char* name, std::int32_t command, int left, int top,
                   std::int32_t hot_key = 0, std::int32_t user_id = -1)
{
    file.begin("CommandButton", name).key("Command", command).key("FontType", "nofont");
    if (hot_key)
        file.key("HotKey", hot_key);
    menu_test::place(file, left, top, 120, 24);
    if (user_id >= 0)
        file.key("UserID", user_id);
    file.end();
}

inline void write_words(const std::filesystem::path& path, const datakit::WordFileWriter& file)
{
    std::string error;
    ASSERT_TRUE(file.write(path, error)) << error;
}

// A menu set file: its folder ".\menu", start state, screens, state-to-
// screen pairs and transitions.
inline datakit::WordFileWriter menu_set_file(std::int32_t init, const std::vector<std::string>& screens,
                                             const std::vector<std::pair<int, int>>& pairs,
                                             const std::vector<std::array<int, 3>>& transitions)
{
    datakit::WordFileWriter file;
    file.begin("PATH").word(".\\menu");
    file.begin("INITSTATE").word(init);
    file.begin("SCREEN");
    for (const std::string& name : screens)
        file.word(name);
    file.begin("SO");
    for (const auto& [state, screen] : pairs)
        file.line({std::to_string(state), std::to_string(screen)});
    file.begin("SIS");
    for (const auto& t : transitions)
        file.line({std::to_string(t[0]), std::to_string(t[1]), std::to_string(t[2])});
    return file;
}

// The folder of the data that holds `name` without regard to case (the
// demo data's "Gfx"), else the name itself.
inline std::filesystem::path folder_in(const std::filesystem::path& root, const std::string& name)
{
    for (const auto& entry : std::filesystem::directory_iterator(root))
        if (entry.is_directory() && platform::equals_ignoring_case(entry.path().filename().string(), name))
            return entry.path();
    return root / name;
}

// The small menu set, written into `root`:
// - "menu": 18 (start) -> 19 "start01" with "arcade" (command 1, the first
//   control, focused when the screen opens) and "quit" (UserID 0, command
//   0); Esc on 19 -> 0 (no screen). "arcade" -> 53 "Arcade04" with "left"
//   and "right" (hot keys 203, 205, commands -3, -2) and "go" (hot key 28,
//   command 2) -> 1 (no screen); Esc on 53 -> 19.
// - "menudial": "dlg10" at 10 with "yes" (command 1 -> 1) and "no" (command
//   0 -> 0).
// - "startvid": state 1 has no screen (it ends at once).
// - ".\menu\mouse.pcx" (3 x 3 frames of 32 x 32) and the cover picture.
inline void write_menu_set(const std::filesystem::path& root)
{
    using menu_test::kInkBlue;
    const std::filesystem::path menu = folder_in(root, "menu");
    const menu_test::MenuData data(menu);

    datakit::FormFileWriter main = menu_test::screen_file("start01");
    button(main, "arcade", 1, 40, 300);
    button(main, "quit", 0, 40, 340, 0, 0);
    main.end();
    data.screen("start01", main);

    datakit::FormFileWriter arcade = menu_test::screen_file("Arcade04");
    button(arcade, "left", -3, 40, 400, 203);
    button(arcade, "right", -2, 200, 400, 205);
    button(arcade, "go", kGoCommand, 360, 400, 28);
    arcade.end();
    data.screen("Arcade04", arcade);

    datakit::FormFileWriter dialogue = menu_test::screen_file("dlg10");
    button(dialogue, "yes", 1, 40, 200);
    button(dialogue, "no", 0, 200, 200);
    dialogue.end();
    data.screen("dlg10", dialogue);

    // Screens 2, 3 and 53 of "menu" would load together: the set has
    // fewer, so each loads alone.
    write_words(menu / "menu.dat",
                menu_set_file(18, {"start01", "Arcade04"}, {{kMainState, 0}, {kArcadeState, 1}, {0, -1}, {1, -1}},
                              {{kMainState, 0, 0}, {kMainState, 1, kArcadeState}, {kArcadeState, 0, kMainState},
                               {kArcadeState, kGoCommand, kRaceEndState}}));
    write_words(menu / "menudial.dat",
                menu_set_file(kDialogueState, {"dlg10"}, {{kDialogueState, 0}, {0, -1}, {1, -1}},
                              {{kDialogueState, 0, 0}, {kDialogueState, 1, 1}}));
    write_words(menu / "startvid.dat", menu_set_file(1, {"copyrigh"}, {{1, -1}}, {}));

    data.picture("mouse.pcx", menu_test::framed_picture(96, 96, kInkBlue, menu_test::kInkWhite));
    const menu_test::MenuData gfx(folder_in(folder_in(root, "Gfx"), "Loading"));
    gfx.picture("cover.pcx", menu_test::solid_picture(640, 480, menu_test::kInkDarkBlue));
    if (!std::filesystem::exists(folder_in(folder_in(root, "Gfx"), "Loading") / "loading.pcx"))
        gfx.picture("loading.pcx", menu_test::solid_picture(640, 480, menu_test::kInkGrey));
}

// ---- Scripted input ----

// The play seam of the tests: each menu pass moves the test clock on by
// one pass and runs the script's next step; it notes every screen and focus
// it is told of.
class ScriptedPlay : public PlaySeam {
public:
    // A step runs once per pass until it returns true.
    using Step = std::function<bool()>;

    ScriptedPlay() { SetPlaySeam(this); }
    ~ScriptedPlay() override { SetPlaySeam(nullptr); }

    void MenuFrame() override
    {
        ++passes;
        platform::advance_test_clock(pass_ms);
        if (!steps_.empty()) {
            if (!step_started_) {
                step_start_ = screens.size();
                step_started_ = true;
            }
            if (steps_.front()()) {
                steps_.pop_front();
                mark_ = step_start_;
                step_started_ = false;
            }
        }
        // A script that never lets the menus end fails the test instead of
        // hanging it.
        if (passes > pass_limit) {
            ADD_FAILURE() << "the menus did not end";
            g_bQuit = 1;
        }
    }
    void RaceFrame() override {}
    bool DrawRace() const override { return true; }
    void ScreenShown(const char* set, std::int32_t state, const char* name) override
    {
        screens.push_back(std::string(set) + ":" + std::to_string(state) + ":" + name);
    }
    void FocusMoved(const char* name) override { focus.emplace_back(name); }
    void RaceStarted(const char*, std::int32_t, std::int32_t, std::int32_t) override {}
    void RaceEnded() override {}

    // Steps.
    ScriptedPlay& then(Step step)
    {
        steps_.push_back(std::move(step));
        return *this;
    }
    // A key tapped (down and up before the next poll: read down, then up).
    // It waits until two passes have read the key tapped before it, so that
    // that key's key-up is read first (a key tapped while another is
    // latched is not seen).
    ScriptedPlay& tap(int key)
    {
        return then([this, key] {
            if (passes - last_tap_ < 3)
                return false;
            input_test::Key(key, true);
            input_test::Key(key, false);
            last_tap_ = passes;
            return true;
        });
    }
    // Waits until the screen `name` (of any set) comes up after the step
    // before this one began.
    ScriptedPlay& until_screen(const std::string& name)
    {
        return then([this, name] {
            for (std::size_t i = mark_; i < screens.size(); ++i) {
                const std::string& shown = screens[i];
                if (shown.size() >= name.size() &&
                    shown.compare(shown.size() - name.size(), name.size(), name) == 0 &&
                    (shown.size() == name.size() || shown[shown.size() - name.size() - 1] == ':'))
                    return true;
            }
            return false;
        });
    }
    // Waits `ms` of the test clock.
    ScriptedPlay& wait(std::uint32_t ms)
    {
        auto left = std::make_shared<std::int64_t>(ms);
        return then([this, left] {
            *left -= pass_ms;
            return *left <= 0;
        });
    }
    // Forgets the screens and focus seen so far.
    void clear()
    {
        screens.clear();
        focus.clear();
        mark_ = step_start_ = 0;
    }
    bool done() const { return steps_.empty(); }

    std::vector<std::string> screens;
    std::vector<std::string> focus;
    int passes = 0;
    int pass_limit = 200000;
    // The test clock's step per pass.
    std::uint32_t pass_ms = kPassMs;

private:
    std::deque<Step> steps_;
    std::size_t mark_ = 0;        // screens shown from here on are new
    std::size_t step_start_ = 0;  // the screens shown when the current step began
    bool step_started_ = false;
    int last_tap_ = -3;            // the pass of the last key tapped
};

// ---- The program ----

// The program-wide objects in a fresh demo data folder (the working
// folder), a test clock, and the run loop's words as the program starts
// them; WinMain may run.
class ProgramTest : public ::testing::Test {
protected:
    ProgramTest() : data_(torvane_test::make_temp_dir("loop")), cwd_(data_) {}

    void SetUp() override
    {
        Reset();
        platform::RegistryKey::delete_key("Software\\Corvantis\\TVNDemo");
        std::string error;
        ASSERT_TRUE(torvane_test::install_demo_data(data_, error)) << error;
        platform::set_test_clock(100000);
        objects_ = std::make_unique<ProgramObjects>();
        app_ = &TheGameApp();
        // A test that runs races says how (ShortRaces); any other race is
        // a failure (a demonstration race after a minute of waiting).
        app_->SetRaceRunner([](GameApp& app) {
            ADD_FAILURE() << "a race was run: " << app.m_szTrack;
            g_bQuit = 1;
        });
        ResetMenuRunLoop();
    }
    void TearDown() override
    {
        ResetMenuRunLoop();
        objects_.reset();
        Reset();
    }
    static void Reset()
    {
        platform::shutdown_video_thread();
        platform::clear_faults();
        platform::clear_recorded_message_boxes();
        platform::clear_input_events();
        platform::clear_test_clock();
        g_bQuit = 0;
    }

    // A race as the menus described it.
    struct RaceRun {
        std::string track;
        std::int32_t session = 0;
        std::int32_t riders = 0;
        std::uint32_t flags = 0;
        int frames = 0;
    };

    // Races run by the game's own run loop, short: one lap, at most
    // `riders` riders, a tenth of a second of the test clock per frame;
    // `act` sees every frame. Each race is noted as the menus described it.
    void ShortRaces(int riders = 3, std::function<void(Race&, int frame)> act = {})
    {
        app_->SetRaceRunner([this, riders, act](GameApp& app) {
            races_.push_back({app.m_szTrack, app.m_nSession, app.m_nRiders, app.Flags});
            app.m_nLaps = 1;
            if (keep_players_)
                KeepPlayersInField(app, riders);
            app.m_nRiders = std::min(app.m_nRiders, riders);
            int frame = 0;
            RunRaceLoop(app, [&](Race& race) {
                ++frame;
                ++races_.back().frames;
                if (act)
                    act(race, frame);
                platform::advance_test_clock(100);
                if (frame > 20000) {
                    ADD_FAILURE() << "the race did not end";
                    g_bQuit = 1;
                }
            });
        });
    }

    // The players' riders take the last places of the first `riders` slots
    // of the grid when they stand behind them, so that a shortened field
    // keeps them.
    static void KeepPlayersInField(GameApp& app, int riders)
    {
        int last = std::min(app.m_nRiders, riders) - 1;
        for (const PlayerRecord& player : app.m_Players)
            for (int slot = riders; slot < app.m_nRiders && last >= 0; ++slot)
                if (app.m_RiderIds[slot] == player.RiderIndex) {
                    std::swap(app.m_RiderIds[slot], app.m_RiderIds[last--]);
                    break;
                }
    }

    // With ShortRaces: the players stay in the shortened field.
    bool keep_players_ = false;
    const std::filesystem::path data_;
    torvane_test::ScopedCwd cwd_;
    std::unique_ptr<ProgramObjects> objects_;
    GameApp* app_ = nullptr;
    std::vector<RaceRun> races_;
};

// The same with what WinMain makes before the menus run: the main window
// with its drivers listed, the settings loaded, the input devices, the
// front end's flag and the main menu manager current; RunMenu may run.
class RunLoopTest : public ProgramTest {
protected:
    void SetUp() override
    {
        ProgramTest::SetUp();
        ASSERT_TRUE(RegisterMainWindowClass());
        ASSERT_TRUE(app_->CreateMainWindow());
        ASSERT_EQ(the_render_device().enumerate_drivers(app_->m_hWnd), 1);
        app_->LoadSettings();
        app_->GfxFlags &= ~kGfxFlagFullScreen;
        // Simulated sticks only (none attached until a test attaches one).
        platform::use_test_joysticks(true);
        ASSERT_EQ(TheInputManager()->Create(), kInputOk);
        app_->Flags = kAppFlagMenu;
        SetCurrentMenuManager(MainMenuManager());
    }
    void TearDown() override
    {
        ProgramTest::TearDown();
        platform::use_test_joysticks(false);
    }
};

} // namespace run_loop_test
