#include "app/startup/win_main.h"

#include <ctime>
#include <exception>
#include <new>
#include <string>

#include "app/game_app.h"
#include "app/main_window.h"
#include "app/registry_settings.h"
#include "app/startup/main_wnd_proc.h"
#include "engine/render/render_device.h"
#include "input/input_manager.h"
#include "menu/menu_manager.h"
#include "menu/run_menu.h"
#include "net/net_session.h"
#include "platform/cursor.h"
#include "platform/message_box.h"
#include "platform/random.h"
#include "platform/video_thread.h"
#include "platform/window.h"
#include "sound/sound_library.h"

namespace {

// The program's version goes into the application record; without it the
// program still runs.
void ReadVersionInformation(GameApp& app)
{
    if (!GetFileVersion(app))
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

void DeleteNetSession()
{
    delete g_pNetSession;
    g_pNetSession = nullptr;
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

// The menus and the races take turns until the program is to end. A race
// started by the start-up screens (they clear the front-end flag) runs
// first and once. Each race leaves the display to the next menu set.
void RunMainLoop(GameApp& app)
{
    bool race = !(app.Flags & kAppFlagMenu);
    for (;;) {
        if (race) {
            app.RunRace();
            ForgetMenuDisplay();
            if (g_bQuit || !(app.Flags & kAppFlagMenu))
                return;
        }
        if (RunMenu("menu", kMainMenuFlags, -1) == 0)
            return;
        race = true;
    }
}

void ShutDown(GameApp& app)
{
    if (SoundLibrary* sound = TheSoundLibrary())
        sound->Shutdown();
    the_render_device().release();
    app.DestroyMainWindow();
    DeleteNetSession();
    platform::show_cursor(true);
    app.SaveCamera();
}

} // namespace

int WinMain()
{
    GameApp& app = TheGameApp();

    // Division by zero is left untrapped: every division that data can make
    // zero is guarded instead. The math library reports its errors only
    // through its results here (it never prints), and nothing reads the
    // error number after a math call.
    SetCurrentMenuManager(MainMenuManager());
    g_pNetSession = new (std::nothrow) NetSession;
    ReadVersionInformation(app);
    if (!RegisterMainWindowClass()) {
        DeleteNetSession();
        return 1;
    }
    if (InputManager* input = TheInputManager())
        input->Create();
    if (!OpenMainWindow(app)) {
        DeleteNetSession();
        platform::shutdown_video_thread();
        return 1;
    }
    // Without a display driver nothing can be shown; the renderer has said why.
    if (!the_render_device().enumerate_drivers(app.m_hWnd)) {
        DeleteNetSession();
        return 0;
    }
    EnterFrontEnd(app);
    if (app.Flags & kAppFlagMenu) {
        app.LoadSettings();
        // The multiplayer screens host and look for sessions on the port
        // the settings name.
        if (g_pNetSession)
            g_pNetSession->Port = app.NetPort;
        RunScreen("startvid", 1);
    }

    if (!MenuDisplayFailed())
        RunMainLoop(app);

    ShutDown(app);
    // Menus that could not set up their display end the program as a
    // failure (the renderer has said why).
    return MenuDisplayFailed() ? 1 : 0;
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
