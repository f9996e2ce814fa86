#include "app/win_main.h"

#include <ctime>
#include <exception>
#include <string>

#include "app/game_app.h"
#include "app/main_window.h"
#include "platform/clock.h"
#include "platform/cursor.h"
#include "platform/message_box.h"
#include "platform/random.h"
#include "platform/resources.h"
#include "platform/video_thread.h"
#include "platform/window.h"

namespace {

// The front-end menus work in a 640 x 480 space.
constexpr int kMenuWidth = 640;
constexpr int kMenuHeight = 480;

// How long the main loop rests when no message waits.
constexpr std::uint32_t kIdleSleepMs = 5;

// The program's version goes into the application record; without it the
// program still runs.
void ReadVersionInformation(GameApp& app)
{
    if (!platform::program_version_block(app.m_versionBlock))
        platform::message_box("Can't access version information", "Error", platform::MB_ICONHAND);
}

// Without its window the program cannot run: it says so and ends.
bool OpenMainWindow(GameApp& app)
{
    if (app.CreateMainWindow())
        return true;
    platform::message_box("Can't create the main window: " + platform::last_window_error(), "Error",
                          platform::MB_ICONHAND);
    return false;
}

// The front end runs first: its flag is set, the set-up sheet has applied
// nothing yet, the pointer is drawn by the game instead of the system, and
// the random numbers differ from run to run.
void EnterFrontEnd(GameApp& app)
{
    app.Flags = kAppFlagMenu;
    app.m_bSettingsApplied = 0;
    platform::show_cursor(false);
    platform::srand(static_cast<std::uint32_t>(std::time(nullptr)));
}

// The menus size the window for their 640 x 480 space, whatever resolution
// the races use.
void SizeWindowForMenus(GameApp& app)
{
    const int hres = app.HRes, vres = app.VRes;
    app.HRes = kMenuWidth;
    app.VRes = kMenuHeight;
    app.SizeMainWindow();
    app.HRes = hres;
    app.VRes = vres;
}

// Takes one window message per pass and hands it to its window, until the
// window procedure asks the program to end.
void RunMessageLoop()
{
    while (!g_bQuit) {
        platform::Message message;
        if (platform::peek_message(message, true)) {
            platform::translate_message(message);
            platform::dispatch_message(message);
        } else {
            platform::sleep_ms(kIdleSleepMs);
        }
    }
}

void ShutDown(GameApp& app)
{
    app.DestroyMainWindow();
    platform::show_cursor(true);
    platform::shutdown_video_thread();
}

} // namespace

int WinMain()
{
    GameApp& app = TheGameApp();

    // Start-up. Division by zero is left untrapped: every division that data
    // can make zero is guarded instead.
    ReadVersionInformation(app);
    if (!RegisterMainWindowClass())
        return 1;
    if (!OpenMainWindow(app)) {
        platform::shutdown_video_thread();
        return 1;
    }
    EnterFrontEnd(app);
    SizeWindowForMenus(app);

    // Main loop.
    RunMessageLoop();

    ShutDown(app);
    return 0;
}

int RunGuarded(const std::function<int()>& body)
{
    std::string failure;
    try {
        const int status = body();
        platform::shutdown_video_thread();
        return status;
    } catch (const std::exception& e) {
        failure = e.what();
    } catch (...) {
        failure = "Unexpected error.";
    }
    platform::message_box(failure, "Error", platform::MB_ICONHAND);
    platform::shutdown_video_thread();
    return 1;
}
