#include <atomic>
#include <chrono>
#include <csignal>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

#include "app/game_app.h"
#include "app/main_window.h"
#include "app/program_objects.h"
#include "app/win_main.h"
#include "platform/cursor.h"
#include "platform/fault_seam.h"
#include "platform/key_codes.h"
#include "platform/message_box.h"
#include "platform/native_event.h"
#include "platform/video_thread.h"
#include "platform/window.h"
#include "tests/support/temp_dir.h"

extern char** environ;

using namespace platform;
using Clock = std::chrono::steady_clock;

namespace {

// Each test starts with no video thread, window class, fault or message box.
class Startup : public ::testing::Test {
protected:
    void SetUp() override { reset(); }
    void TearDown() override { reset(); }
    static void reset()
    {
        shutdown_video_thread();
        clear_faults();
        clear_recorded_message_boxes();
    }
};

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

} // namespace

TEST_F(Startup, MainWndProcAnswersByMessage)
{
    ProgramObjects objects;
    ASSERT_TRUE(RegisterMainWindowClass());
    GameApp& app = TheGameApp();
    ASSERT_TRUE(app.CreateMainWindow());
    const WindowHandle w = app.m_hWnd;
    EXPECT_EQ(window_title(w), "Torvane");

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
    EXPECT_EQ(MainWndProc(w, WM_MOVE, 0, make_lparam(4, 23)), 0);
    EXPECT_EQ(MainWndProc(w, WM_SIZE, SIZE_MINIMIZED, 0), 0);
    EXPECT_EQ(MainWndProc(w, WM_SIZE, SIZE_RESTORED, make_lparam(640, 480)), 0);
    EXPECT_EQ(g_bQuit, 0);
    EXPECT_TRUE(is_window(w));

    // Destroy and quit messages set the quit byte; the window stays.
    for (unsigned message : {WM_DESTROY, WM_QUIT}) {
        g_bQuit = 0;
        MainWndProc(w, message, 0, 0);
        EXPECT_EQ(g_bQuit, 1) << message;
        EXPECT_TRUE(is_window(w));
    }

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

TEST_F(Startup, SizeMainWindowGivesTheResolutionAsClientArea)
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

TEST_F(Startup, WinMainRunsUntilItsWindowIsClosedAndEndsWithZero)
{
    // Two ways to end: the window's close box, and a quit request (SIGTERM).
    for (bool by_signal : {false, true}) {
        SCOPED_TRACE(by_signal ? "quit request" : "close");
        clear_recorded_message_boxes();
        fail_next(Fault::VersionInfo); // the program says so and goes on
        ProgramObjects objects;
        std::string title;
        Rect client{};
        int cursor_count_while_running = 0;
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
        EXPECT_EQ(cursor_display_count(), 0);      // shown again at the end
        EXPECT_EQ(g_bQuit, 1);
        EXPECT_FALSE(video_thread_running());
        EXPECT_FALSE(find_window(kMainWindowClass));
        EXPECT_EQ(TheGameApp().Flags, kAppFlagMenu);
        const auto boxes = recorded_message_boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, "Can't access version information");
        EXPECT_EQ(boxes[0].caption, "Error");
        EXPECT_EQ(boxes[0].style, MB_ICONHAND);
    }
}

TEST_F(Startup, WinMainEndsWithOneWithoutItsWindowOrClass)
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
    }
    {
        // The class name is taken: nothing else is started or shown.
        clear_recorded_message_boxes();
        ProgramObjects objects;
        ASSERT_TRUE(register_window_class(kMainWindowClass, 0, def_window_proc));
        EXPECT_EQ(WinMain(), 1);
        EXPECT_TRUE(recorded_message_boxes().empty());
        EXPECT_FALSE(video_thread_running());
        EXPECT_TRUE(unregister_window_class(kMainWindowClass));
    }
}

TEST_F(Startup, AFailureThrownToTheTopIsShownAndEndsWithOne)
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

    // The application record is only there while the program-wide objects are.
    EXPECT_THROW(TheGameApp(), std::logic_error);
    ProgramObjects objects;
    EXPECT_NO_THROW(TheGameApp());
    EXPECT_THROW(ProgramObjects(), std::logic_error);
}

// The built program, started headless and asked to end as a service manager
// would ask, closes down and reports success.
TEST(TorvaneProgram, EndsWithZeroOnSigterm)
{
    const auto dir = torvane_test::make_temp_dir("program");
    const std::string program = TORVANE_PROGRAM_PATH;
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    pid_t pid = 0;
    // The environment is the test's own: offscreen video, dummy audio, a private home.
    ASSERT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ), 0) << program;
    posix_spawn_file_actions_destroy(&actions);

    // The program is up once its video thread runs (the first window starts
    // it); then it has caught the quit signals too.
    auto threads_of = [pid] {
        std::ifstream status("/proc/" + std::to_string(pid) + "/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("Threads:", 0) == 0)
                return std::stoi(line.substr(8));
        }
        return 0;
    };
    int status = 0;
    bool exited = false;
    auto deadline = Clock::now() + std::chrono::seconds(30);
    while (Clock::now() < deadline && threads_of() < 2) {
        if (waitpid(pid, &status, WNOHANG) == pid) {
            exited = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_FALSE(exited) << "the program ended by itself, status " << status;
    ASSERT_GE(threads_of(), 2) << "the program did not start its window in time";
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
}
