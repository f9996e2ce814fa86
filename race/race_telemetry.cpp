#include <iterator>

#include "app/game_app.h"
#include "platform/window.h"
#include "race/race.h"

// The telemetry plot window of a race: opened beside the game's window at
// the race's 3D start, fed by the simulation's debug print every frame.

namespace {

// The window opens only when the screen is more than this much wider than
// the race's display.
constexpr int kRoomBeside = 80;

} // namespace

void Race::OpenTelemetryWindow()
{
    GameApp& app = TheGameApp();
    const platform::WindowHandle game = app.m_hWnd;
    if (m_Telemetry.IsOpen() || RiderCount() <= 0 || (app.GfxFlags & kGfxFlagFullScreen) ||
        platform::is_window_full_screen(game) || !platform::is_window_visible(game))
        return;
    const int screen = platform::get_system_metric(platform::SM_CXSCREEN);
    const int width = screen - app.HRes;
    platform::Rect frame;
    if (width <= kRoomBeside || !platform::get_window_rect(game, frame))
        return;

    const int count = static_cast<int>(std::size(OutputWindow::kDefaultChannels));
    m_Telemetry.SetChannels(count);
    for (int slot = 0; slot < count; ++slot)
        m_Telemetry.SetChannel(slot, OutputWindow::kDefaultChannels[slot]);
    // From the game's window's right side to the screen's; a game window
    // too far right for that leaves the plot the screen's last `width`
    // columns.
    int x = frame.right, w = screen - frame.right;
    if (w <= kRoomBeside) {
        x = screen - width;
        w = width;
    }
    if (m_Telemetry.Create(x, frame.top, w, frame.bottom - frame.top, game))
        platform::set_focus(game);
}

int RaceSimulationHooks::PlotChannelCount()
{
    return m_race.m_Telemetry.IsOpen() ? m_race.m_Telemetry.ChannelCount() : 0;
}

int RaceSimulationHooks::PlotChannel(int slot)
{
    return m_race.m_Telemetry.Channel(slot);
}

void RaceSimulationHooks::Plot(int slot, float time, float value)
{
    m_race.m_Telemetry.Plot(slot, time, value);
}

bool RaceSimulationHooks::ShowsPlotText()
{
    return m_race.m_Telemetry.IsOpen();
}

void RaceSimulationHooks::SetPlotText(const char* text)
{
    m_race.m_Telemetry.SetText(text ? text : "");
    m_race.m_Telemetry.Present();
}
