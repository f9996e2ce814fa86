#include <atomic>
#include <chrono>
#include <csignal>
#include <fstream>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "app/game_app.h"
#include "app/main_window.h"
#include "app/registry_settings.h"
#include "app/startup/main_wnd_proc.h"
#include "app/startup/program_objects.h"
#include "app/startup/win_main.h"
#include "champ/champ_objects.h"
#include "champ/championship.h"
#include "champ/game_settings.h"
#include "engine/render/render_device.h"
#include "input/input_manager.h"
#include "menu/menu_manager.h"
#include "menu/menu_input.h"
#include "menu/run_menu.h"
#include "net/net_session.h"
#include "platform/cursor.h"
#include "platform/key_codes.h"
#include "platform/native_event.h"
#include "platform/resources.h"
#include "platform/window.h"
#include "sound/sound_library.h"
#include "tests/app/startup/startup_fixture.h"
#include "tests/menu/run_loop_fixture.h"

extern char** environ;

using namespace platform;
using startup_test::StartupTest;
using Clock = std::chrono::steady_clock;

namespace {

NativeEvent key_event(NativeEventKind kind, WindowHandle window, int sdl_keycode, int sdl_scancode, unsigned mods)
{
    NativeEvent e;
    e.kind = kind;
    e.window = window;
    e.sdl_keycode = sdl_keycode;
    e.sdl_scancode = sdl_scancode;
    e.modifiers = mods;
    return e;
}

void dispatch_all()
{
    Message m;
    while (peek_message(m, true))
        dispatch_message(m);
}

// Waits, with a bound, for the main window to exist and be shown.
WindowHandle wait_for_main_window()
{
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (Clock::now() < deadline) {
        WindowHandle w = find_window(kMainWindowClass);
        if (w && is_window_visible(w))
            return w;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return {};
}

// The settings values WinMain's shutdown writes.
struct SavedValues {
    std::optional<std::uint32_t> versionMS, versionLS, camera;
};
SavedValues ReadSavedValues()
{
    const RegistryKey key(kSettingsKeyPath);
    return {key.get_dword(kValueVersionMS), key.get_dword(kValueVersionLS), key.get_dword("Camera")};
}

} // namespace

TEST_F(StartupTest, ProgramObjectsAreBuiltInOrderAndGoInReverse)
{
    std::filesystem::remove(data_ / "BSim.bin");
    std::filesystem::remove(data_ / "BArc.bin");
    EXPECT_THROW(TheGameApp(), std::logic_error);
    {
        ProgramObjects objects;
        // Every object is installed, and only one set may exist.
        EXPECT_NO_THROW(TheGameSettings());
        EXPECT_NE(TheInputManager(), nullptr);
        EXPECT_NE(MainMenuManager(), nullptr);
        EXPECT_NE(DialogueMenuManager(), nullptr);
        EXPECT_STREQ(TheChampionship().FindRider(0).Name, "Aldo Verzani");
        EXPECT_NE(TheSoundLibrary(), nullptr);
        EXPECT_FALSE(TheSoundLibrary()->Initialised());
        EXPECT_EQ(the_render_device().render_type, kRenderHardware);
        EXPECT_EQ(the_render_device().driver_count, 0);
        EXPECT_THROW(ProgramObjects(), std::logic_error);

        // The application record is linked: its settings load against the
        // renderer's drivers once they are listed.
        GameApp& app = TheGameApp();
        ASSERT_TRUE(RegisterMainWindowClass());
        ASSERT_TRUE(app.CreateMainWindow());
        ASSERT_EQ(the_render_device().enumerate_drivers(app.m_hWnd), 1);
        EXPECT_EQ(app.LoadSettings(), kSettingsOk);
        EXPECT_EQ(app.DDrawDriver, 0);
        EXPECT_EQ(app.D3DDriver, 1); // the 3D device, not "RenderSoftware"
        EXPECT_EQ(app.HRes, 640);
        // Nothing is written while the objects live.
        EXPECT_FALSE(std::filesystem::exists(data_ / "BSim.bin"));
    }
    // Their end saved both record stores and took every object away.
    EXPECT_TRUE(std::filesystem::exists(data_ / "BSim.bin"));
    EXPECT_TRUE(std::filesystem::exists(data_ / "BArc.bin"));
    EXPECT_THROW(TheGameApp(), std::logic_error);
    EXPECT_EQ(TheInputManager(), nullptr);
    EXPECT_EQ(installed_render_device(), nullptr);
    EXPECT_EQ(TheSoundLibrary(), nullptr);
    EXPECT_EQ(MainMenuManager(), nullptr);
    EXPECT_THROW(TheChampionship(), std::logic_error);
    EXPECT_THROW(TheGameSettings(), std::logic_error);
}

TEST_F(StartupTest, ProgramObjectsThatCannotStartLeaveNothingBehind)
{
    // Without the riders file the championship cannot be made.
    const auto riders = data_ / "menu" / "Riders.txt";
    const auto archive = data_ / "menu.mix";
    std::filesystem::rename(riders, data_ / "Riders.txt.away");
    std::filesystem::rename(archive, data_ / "menu.mix.away");
    EXPECT_ANY_THROW(ProgramObjects());
    EXPECT_THROW(TheGameApp(), std::logic_error);
    EXPECT_EQ(TheInputManager(), nullptr);
    EXPECT_EQ(MainMenuManager(), nullptr);
    EXPECT_THROW(TheGameSettings(), std::logic_error);
    EXPECT_FALSE(std::filesystem::exists(data_ / "BSim.bin.tmp"));

    // Once the file is back the objects can be built.
    std::filesystem::rename(data_ / "Riders.txt.away", riders);
    std::filesystem::rename(data_ / "menu.mix.away", archive);
    EXPECT_NO_THROW(ProgramObjects());
}

TEST_F(StartupTest, MainWndProcAnswersByMessage)
{
    ProgramObjects objects;
    ASSERT_TRUE(RegisterMainWindowClass());
    GameApp& app = TheGameApp();
    ASSERT_TRUE(app.CreateMainWindow());
    const WindowHandle w = app.m_hWnd;
    EXPECT_EQ(window_title(w), "Torvane");
    render_device& renderer = the_render_device();
    ASSERT_EQ(renderer.enumerate_drivers(w), 1);
    app.HRes = 640;
    app.VRes = 480;
    app.SizeMainWindow();
    ASSERT_EQ(renderer.init(0, 640, 480, 16, 1), 1);
    dispatch_all();

    // Alt alone, down and up, is swallowed; the window and the program go on.
    constexpr int kSdlLeftAlt = 0x400000E2, kSdlScanLeftAlt = 226;
    deliver_native_event(key_event(NativeEventKind::KeyDown, w, kSdlLeftAlt, kSdlScanLeftAlt, kModAlt));
    deliver_native_event(key_event(NativeEventKind::KeyUp, w, kSdlLeftAlt, kSdlScanLeftAlt, 0));
    Message m;
    ASSERT_TRUE(peek_message(m, false));
    EXPECT_EQ(m.message, WM_SYSKEYDOWN);
    dispatch_all();
    EXPECT_EQ(MainWndProc(w, WM_SYSKEYDOWN, VK_MENU, 0x20380001), 0);
    EXPECT_EQ(MainWndProc(w, WM_SYSKEYUP, VK_MENU, 0xE0380001), 0);
    EXPECT_EQ(MainWndProc(w, WM_SYSKEYDOWN, 'X', 0x202D0001), 0);
    // A click on the frame or caption finds nothing to act on.
    EXPECT_EQ(MainWndProc(w, WM_NCHITTEST, 0, make_lparam(50, 5)), HTNOWHERE);
    EXPECT_EQ(g_bQuit, 0);
    EXPECT_TRUE(is_window(w));

    // A move gives the renderer the client area's new place.
    ASSERT_TRUE(move_window(w, 40, 30, app.m_nWindowWidth, app.m_nWindowHeight, false));
    dispatch_all();
    Point origin;
    ASSERT_TRUE(client_to_screen(w, origin));
    EXPECT_EQ(renderer.origin_x, origin.x);
    EXPECT_EQ(renderer.origin_y, origin.y);

    // Minimising pauses the renderer: nothing is presented. Restoring
    // resumes it with its states to be sent again.
    const std::uint32_t presented = renderer.frames_presented;
    renderer.render_states_dirty = 0;
    EXPECT_EQ(MainWndProc(w, WM_SIZE, SIZE_MINIMIZED, 0), 0);
    EXPECT_EQ(renderer.paused, 1);
    EXPECT_EQ(renderer.present(), 1);
    EXPECT_EQ(renderer.frames_presented, presented);
    EXPECT_EQ(MainWndProc(w, WM_SIZE, SIZE_MAXIMIZED, make_lparam(640, 480)), 0);
    EXPECT_EQ(renderer.paused, 1); // other states change nothing
    EXPECT_EQ(MainWndProc(w, WM_SIZE, SIZE_RESTORED, make_lparam(640, 480)), 0);
    EXPECT_EQ(renderer.paused, 0);
    EXPECT_EQ(renderer.render_states_dirty, 1);
    EXPECT_EQ(renderer.palette_dirty, 1);
    EXPECT_EQ(renderer.present(), 1);
    EXPECT_EQ(renderer.frames_presented, presented + 1);

    // Destroy and quit messages set the quit byte and stop the renderer
    // presenting; the window stays.
    for (unsigned message : {WM_DESTROY, WM_QUIT}) {
        g_bQuit = 0;
        renderer.closing = 0;
        MainWndProc(w, message, 0, 0);
        EXPECT_EQ(g_bQuit, 1) << message;
        EXPECT_EQ(renderer.closing, 1) << message;
        EXPECT_TRUE(is_window(w));
    }
    EXPECT_EQ(renderer.present(), 1);
    EXPECT_EQ(renderer.frames_presented, presented + 1);

    // Closing sets the quit byte, and the default handling destroys the window.
    g_bQuit = 0;
    NativeEvent close;
    close.kind = NativeEventKind::CloseRequest;
    close.window = w;
    deliver_native_event(close);
    dispatch_all();
    EXPECT_EQ(g_bQuit, 1);
    EXPECT_FALSE(is_window(w));
}

TEST_F(StartupTest, SizeMainWindowGivesTheResolutionAsClientArea)
{
    ProgramObjects objects;
    ASSERT_TRUE(RegisterMainWindowClass());
    GameApp& app = TheGameApp();
    ASSERT_TRUE(app.CreateMainWindow());
    app.HRes = 640;
    app.VRes = 480;
    app.SizeMainWindow();
    EXPECT_EQ(app.m_nWindowWidth, 640 + 2 * (3 + 1));
    EXPECT_EQ(app.m_nWindowHeight, 480 + 3 + 19 + 2 * 1);
    Rect client, frame;
    ASSERT_TRUE(get_client_rect(app.m_hWnd, client));
    EXPECT_EQ(client.right, 640);
    EXPECT_EQ(client.bottom, 480);
    ASSERT_TRUE(get_window_rect(app.m_hWnd, frame));
    EXPECT_EQ(frame.left, 0);
    EXPECT_EQ(frame.top, 0);
    EXPECT_TRUE(is_window_visible(app.m_hWnd));

    // Full screen: the sizes are noted and the window is left alone.
    app.GfxFlags = kGfxFlagFullScreen;
    app.HRes = 800;
    app.VRes = 600;
    app.SizeMainWindow();
    EXPECT_EQ(app.m_nWindowWidth, 800);
    EXPECT_EQ(app.m_nWindowHeight, 600);
    ASSERT_TRUE(get_client_rect(app.m_hWnd, client));
    EXPECT_EQ(client.right, 640);

    app.DestroyMainWindow();
    EXPECT_FALSE(app.m_hWnd);
}

TEST_F(StartupTest, WinMainRunsUntilItsWindowIsClosedAndShutsDown)
{
    // Two ways to end: the window's close box, and a quit request (SIGTERM).
    for (bool by_signal : {false, true}) {
        SCOPED_TRACE(by_signal ? "quit request" : "close");
        clear_recorded_message_boxes();
        RegistryKey::delete_key(kSettingsKeyPath);
        std::filesystem::remove(data_ / "BSim.bin");
        fail_next(Fault::VersionInfo); // the program says so and goes on
        {
            ProgramObjects objects;
            std::string title;
            Rect client{};
            int cursor_count_while_running = 0;
            int drivers_while_running = 0;
            bool session_while_running = false;
            std::thread closer([&] {
                const WindowHandle w = wait_for_main_window();
                if (!w) {
                    ADD_FAILURE() << "the main window did not appear";
                    request_quit();
                    return;
                }
                title = window_title(w);
                get_client_rect(w, client);
                cursor_count_while_running = cursor_display_count();
                drivers_while_running = installed_render_device()->driver_count;
                session_while_running = g_pNetSession != nullptr;
                // The camera chosen in a race (the message below orders this
                // write before the main thread's shutdown).
                TheGameApp().Camera = 3;
                if (by_signal)
                    request_quit();
                else
                    post_message(w, WM_CLOSE, 0, 0);
            });
            const int status = WinMain();
            closer.join();
            EXPECT_EQ(status, 0);
            EXPECT_EQ(title, "Torvane");
            EXPECT_EQ(client.right, 640);
            EXPECT_EQ(client.bottom, 480);
            EXPECT_EQ(cursor_count_while_running, -1); // hidden while running
            EXPECT_EQ(drivers_while_running, 1);
            EXPECT_TRUE(session_while_running);
            EXPECT_EQ(CurrentMenuManager(), MainMenuManager());

            // Shut down: sound, renderer, window, session, cursor, camera.
            EXPECT_FALSE(TheSoundLibrary()->Initialised());
            EXPECT_EQ(the_render_device().driver_count, 0);
            EXPECT_EQ(the_render_device().ready, 0);
            EXPECT_FALSE(find_window(kMainWindowClass));
            EXPECT_EQ(g_pNetSession, nullptr);
            EXPECT_EQ(cursor_display_count(), 0);
            EXPECT_EQ(g_bQuit, 1);
            EXPECT_EQ(TheGameApp().Flags, kAppFlagMenu);
            const SavedValues saved = ReadSavedValues();
            EXPECT_EQ(saved.camera, 3u);
            EXPECT_TRUE(saved.versionMS.has_value());
            EXPECT_TRUE(saved.versionLS.has_value());
            // The record files are written when the objects go.
            EXPECT_FALSE(std::filesystem::exists(data_ / "BSim.bin"));
        }
        EXPECT_TRUE(std::filesystem::exists(data_ / "BSim.bin"));
        shutdown_video_thread(); // as main() does after the objects have gone
        const auto boxes = recorded_message_boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, "Can't access version information");
        EXPECT_EQ(boxes[0].caption, "Error");
        EXPECT_EQ(boxes[0].style, MB_ICONHAND);
    }
}

// Closing the window while the start-up screens run: the quit request
// reaches the window as soon as it exists, the menu loop finds it and the
// program shuts down, saving the camera.
TEST_F(StartupTest, CloseDuringTheStartUpScreensEndsTheProgram)
{
    ProgramObjects objects;
    request_quit();
    EXPECT_EQ(WinMain(), 0);
    EXPECT_EQ(g_bQuit, 1);
    EXPECT_FALSE(find_window(kMainWindowClass));
    EXPECT_EQ(ReadSavedValues().camera, 0u);
    EXPECT_EQ(the_render_device().driver_count, 0);
    EXPECT_TRUE(recorded_message_boxes().empty());
}

// The menus ask for a race; the race comes back to the menus, which show
// the screen it was started from, and the program ends when the menus say
// so. A race that leaves the front end (the start-up screens clear its flag)
// runs and the program ends after it.
TEST_F(StartupTest, MainLoopAlternatesMenusAndRaces)
{
    for (const bool leave_front_end : {false, true}) {
        SCOPED_TRACE(leave_front_end ? "leaving the front end" : "back to the menus");
        shutdown_video_thread();
        g_bQuit = 0;
        ProgramObjects objects;
        GameApp& app = TheGameApp();
        int races = 0;
        app.SetRaceRunner([&](GameApp& a) {
            ++races;
            EXPECT_EQ(a.Flags & kAppFlagMenu, kAppFlagMenu);
            if (leave_front_end)
                a.Flags &= ~kAppFlagMenu;
        });
        run_loop_test::ScriptedPlay play;
        // The title card, the main menu, the arcade menu, the track, the
        // bike and its gears (Enter each time): a race.
        play.until_screen("copyrigh").tap(kMenuKeyEnter).until_screen("start01").tap(kMenuKeyEnter);
        play.until_screen("Arcade01").tap(kMenuKeyEnter).until_screen("Arcade04").tap(kMenuKeyEnter);
        play.until_screen("Arcade03").tap(kMenuKeyEnter).tap(kMenuKeyEnter);
        // Back on the race's results, Esc three times ends the program.
        if (!leave_front_end)
            play.until_screen("game0702")
                .tap(kMenuKeyEscape)
                .until_screen("Arcade01")
                .tap(kMenuKeyEscape)
                .until_screen("start01")
                .tap(kMenuKeyEscape);
        EXPECT_EQ(WinMain(), 0);
        EXPECT_TRUE(play.done());
        EXPECT_EQ(races, 1);
        EXPECT_EQ(play.screens.back(), leave_front_end ? "menu:4:Arcade03" : "menu:19:start01");
        EXPECT_EQ((app.Flags & kAppFlagMenu) != 0, !leave_front_end);
    }
}

TEST_F(StartupTest, WinMainEndsWithOneWithoutItsWindowOrClass)
{
    {
        ProgramObjects objects;
        fail_next(Fault::WindowCreate);
        EXPECT_EQ(WinMain(), 1);
        const auto boxes = recorded_message_boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].caption, "Error");
        EXPECT_EQ(boxes[0].text.rfind("Can't create the main window", 0), 0u) << boxes[0].text;
        EXPECT_FALSE(video_thread_running());
        EXPECT_EQ(cursor_display_count(), 0);
        EXPECT_EQ(g_pNetSession, nullptr);
    }
    {
        // The class name is taken: nothing else is started or shown.
        clear_recorded_message_boxes();
        ProgramObjects objects;
        ASSERT_TRUE(register_window_class(kMainWindowClass, 0, def_window_proc));
        EXPECT_EQ(WinMain(), 1);
        EXPECT_TRUE(recorded_message_boxes().empty());
        EXPECT_FALSE(video_thread_running());
        EXPECT_EQ(g_pNetSession, nullptr);
        EXPECT_TRUE(unregister_window_class(kMainWindowClass));
    }
    EXPECT_FALSE(RegistryKey(kSettingsKeyPath).get_dword("Camera").has_value());
}

TEST_F(StartupTest, AFailureThrownToTheTopIsShownAndEndsWithOne)
{
    EXPECT_EQ(RunGuarded([] { return 0; }), 0);
    EXPECT_EQ(RunGuarded([] { return 3; }), 3);
    EXPECT_TRUE(recorded_message_boxes().empty());

    EXPECT_EQ(RunGuarded([]() -> int {
                  start_video_thread();
                  throw std::runtime_error("Data\\Info.dat: file open error");
              }),
              1);
    const auto boxes = recorded_message_boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Data\\Info.dat: file open error");
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_FALSE(video_thread_running());
}

// The built program, started headless in a demo data folder and asked to
// end as a service manager would ask, closes down, reports success and
// leaves its settings and records behind.
TEST_F(StartupTest, TheProgramEndsWithZeroOnSigtermAndSavesItsState)
{
    std::filesystem::remove(data_ / "BSim.bin");
    std::filesystem::remove(data_ / "BArc.bin");
    const std::string program = TORVANE_PROGRAM_PATH;
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, data_.c_str());
    pid_t pid = 0;
    // The environment is the test's own: offscreen video, dummy audio, a private home.
    ASSERT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ), 0) << program;
    posix_spawn_file_actions_destroy(&actions);

    // The program is up once it has listed its display drivers and loaded
    // its settings: its settings key then exists.
    int status = 0;
    bool exited = false;
    auto deadline = Clock::now() + std::chrono::seconds(30);
    while (Clock::now() < deadline && !RegistryKey(kSettingsKeyPath).exists()) {
        if (waitpid(pid, &status, WNOHANG) == pid) {
            exited = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_FALSE(exited) << "the program ended by itself, status " << status;
    ASSERT_TRUE(RegistryKey(kSettingsKeyPath).exists()) << "the program did not start in time";
    kill(pid, SIGTERM);

    deadline = Clock::now() + std::chrono::seconds(30);
    while (Clock::now() < deadline && !exited) {
        if (waitpid(pid, &status, WNOHANG) == pid)
            exited = true;
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!exited) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        FAIL() << "the program did not end after SIGTERM";
    }
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    const SavedValues saved = ReadSavedValues();
    std::uint32_t ms = 0, ls = 0;
    ASSERT_TRUE(program_version(ms, ls));
    EXPECT_EQ(saved.versionMS, ms);
    EXPECT_EQ(saved.versionLS, ls);
    EXPECT_EQ(saved.camera, 0u);
    EXPECT_TRUE(std::filesystem::exists(data_ / "BSim.bin"));
    EXPECT_TRUE(std::filesystem::exists(data_ / "BArc.bin"));
}
