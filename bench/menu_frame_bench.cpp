// Speed of a menu frame at 640x480 in the game's hidden window, on the 3D
// device the settings choose by default (argument 1) and on the game's own
// rasteriser (argument 0, "RenderSoftware"): the idle main menu of the demo
// menu set (the menu update, the screen's paint with its pictures and
// text, the present), and the bare frame the menus' display costs (clear
// and present). The CPU time is the whole process's, so the window's copy
// of each frame on the video thread is counted too; the target for the
// idle main menu is at most 0.5 ms a frame (3 % of a core at 60 frames a
// second).
//
// A menu frame with the demo's 320 x 240 video playing in a picture box
// counts the menu thread's own time only (the video is decoded on a thread
// of its own beside it): the target is at most 2 ms a frame.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/game_app.h"
#include "app/startup/main_wnd_proc.h"
#include "app/startup/program_objects.h"
#include "bench/bench_demo_data.h"
#include "engine/render/render_device.h"
#include "input/input_manager.h"
#include "app/form_parser.h"
#include "menu/form.h"
#include "menu/menu_manager.h"
#include "menu/picture_box.h"
#include "menu/picture_box_video.h"
#include "menu/run_menu.h"
#include "platform/video_thread.h"

namespace {

// The machine is shared: the least of the repetitions is the frame's own cost.
double Least(const std::vector<double>& v)
{
    return v.empty() ? 0.0 : *std::min_element(v.begin(), v.end());
}

const std::filesystem::path& Folder()
{
    static const bench_support::DemoDataFolder folder("torvane-menu-frame-bench");
    return folder.Path();
}

// The program as WinMain leaves it before the menus: the objects, the main
// window with its drivers, the settings (in the benchmark's own folder) and
// the input devices; the demo menu set loaded and its main menu shown.
class MenuProgram {
public:
    explicit MenuProgram(int device)
    {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        setenv("SDL_AUDIODRIVER", "dummy", 0);
        setenv("TORVANE_HOME", (Folder() / "home").c_str(), 1);
        std::filesystem::current_path(Folder());
        m_pObjects = std::make_unique<ProgramObjects>();
        GameApp& app = TheGameApp();
        m_bReady = RegisterMainWindowClass() && app.CreateMainWindow() &&
                   the_render_device().enumerate_drivers(app.m_hWnd) == 1;
        if (!m_bReady)
            return;
        app.LoadSettings();
        app.D3DDriver = device;
        TheInputManager()->Create();
        app.Flags = kAppFlagMenu;
        SetCurrentMenuManager(MainMenuManager());
        m_bReady = LoadMenuScreens("menu", kMainMenuFlags);
        if (m_bReady) {
            MainMenuManager()->Update();
            m_bReady = MainMenuManager()->m_nState == kMainMenuIdleState;
        }
    }
    ~MenuProgram()
    {
        if (m_bReady)
            LeaveMenu(kMainMenuFlags);
        m_pObjects.reset();
        platform::shutdown_video_thread();
    }
    bool Ready() const { return m_bReady; }

private:
    std::unique_ptr<ProgramObjects> m_pObjects;
    bool m_bReady = false;
};

void BM_IdleMainMenuFrame(benchmark::State& state)
{
    MenuProgram program(static_cast<int>(state.range(0)));
    if (!program.Ready()) {
        state.SkipWithError("the main menu did not come up");
        return;
    }
    MenuManager& menu = *MainMenuManager();
    for (auto _ : state)
        menu.Update();
    state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_IdleMainMenuFrame)->Arg(1)->Arg(0)->MeasureProcessCPUTime()->ComputeStatistics("least", Least)->Unit(benchmark::kMicrosecond);

void BM_BareMenuFrame(benchmark::State& state)
{
    MenuProgram program(static_cast<int>(state.range(0)));
    if (!program.Ready()) {
        state.SkipWithError("the menus' display did not start");
        return;
    }
    render_device& renderer = the_render_device();
    for (auto _ : state) {
        renderer.clear_back_buffer();
        renderer.present();
    }
}
BENCHMARK(BM_BareMenuFrame)->Arg(1)->Arg(0)->MeasureProcessCPUTime()->ComputeStatistics("least", Least)->Unit(benchmark::kMicrosecond);

void BM_MenuFrameWithVideo(benchmark::State& state)
{
    MenuProgram program(static_cast<int>(state.range(0)));
    if (!program.Ready()) {
        state.SkipWithError("the menus' display did not start");
        return;
    }
    // A screen of the demo set's look with the intro video in a window.
    MenuManager& menu = *MainMenuManager();
    const std::filesystem::path folder = Folder() / "menu";
    {
        FILE* ole = std::fopen((folder / "bench_video.ole").c_str(), "wb");
        FILE* screen = std::fopen((folder / "bench_video.dat").c_str(), "wb");
        if (!ole || !screen) {
            state.SkipWithError("cannot write the video screen");
            return;
        }
        std::fputs("OLEVIDEO video\\intro.avi\n", ole);
        std::fputs("tvnmenu 1.0\nBegin form bench_video\n ScaleHeight = 480\n ScaleLeft = 0\n ScaleTop = 0\n"
                   " ScaleWidth = 640\n Begin PictureBox OLE1\n  PixHeight = 240\n  PixLeft = 160\n"
                   "  PixTop = 120\n  PixWidth = 320\n  FileName = bench_video.ole\n end\nend\n",
                   screen);
        std::fclose(ole);
        std::fclose(screen);
    }
    std::filesystem::current_path(folder);
    Form form;
    form.m_pOwner = &menu;
    FormParser parser;
    parser.LoadForm("bench_video.dat");
    form.Load(parser);
    parser.Close();
    std::filesystem::current_path(Folder());
    auto* box = static_cast<PictureBox*>(form.FindElement("OLE1"));
    if (!box || !box->Video()) {
        state.SkipWithError("the video does not open (no video libraries?)");
        return;
    }
    form.ShowScreen();
    for (auto _ : state) {
        if (box->Video()->m_nState == VideoInWindow::kEnded) {
            // Played through: from the start again, not timed.
            state.PauseTiming();
            form.LeaveScreen();
            box->Video()->m_nState = VideoInWindow::kStart;
            form.ShowScreen();
            state.ResumeTiming();
        }
        form.Draw();
    }
    form.LeaveScreen();
}
BENCHMARK(BM_MenuFrameWithVideo)->Arg(1)->Arg(0)->ComputeStatistics("least", Least)->Unit(benchmark::kMicrosecond);

} // namespace
