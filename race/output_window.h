#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/window.h"
#include "race/plot_canvas.h"

// The telemetry plot window: a tool window beside the race's window in
// which chosen telemetry channels of the viewed bike run as curves, like a
// chart recorder sweeping from left to right, with the bike's debug line as
// the window's title. The race opens it at its 3D start (Race::InitDisplay)
// and the simulation's debug print feeds it every frame through the race's
// hooks.
//
// It draws into its own picture (PlotCanvas), keeping it from frame to
// frame: each step draws only what changed (the strip the sweep passed, the
// new piece of curve, and a label again only where something was drawn over
// it), and hands the picture to the window once a frame when it changed.
// The title goes to the window only when its text changes. Closing the window closes only it; the race goes on. Keys
// that reach it go on to the game's window, and it gives the focus back to
// the game's window when it takes it.

// One channel of the telemetry table: its name and the range of values
// that fills its band.
struct PlotChannelInfo {
    char Name[20];
    float Min;
    float Max;
};

inline constexpr int kPlotChannelCount = 49;
extern const PlotChannelInfo kPlotChannels[kPlotChannelCount];

// One plotted channel: its index in the table and the end of its curve so
// far (last x -1: nothing drawn yet).
struct OutputChannel {
    std::int32_t Index = 0;
    std::int32_t LastX = -1;
    std::int32_t LastY = 0;
};

class OutputWindow {
public:
    // The channels the race plots unless told otherwise: throttle, brake,
    // speed and revs, each in its own band.
    static constexpr int kDefaultChannels[] = {0, 1, 3, 4};

    OutputWindow() = default;
    // Destroys the window.
    ~OutputWindow();
    OutputWindow(const OutputWindow&) = delete;
    OutputWindow& operator=(const OutputWindow&) = delete;

    // Replaces the channels by n entries of table index 0 (SetChannel picks
    // each one's index), every curve started afresh. n below 0 counts as 0.
    void SetChannels(int n);
    // False for a slot or a table index out of range.
    bool SetChannel(int slot, int tableIndex);
    int ChannelCount() const { return m_nChannels; }
    // The table index of a slot; -1 for a slot out of range.
    int Channel(int slot) const;

    // Each channel in its own horizontal band (true, the default) or all
    // over the whole height.
    bool m_bBandMode = true;

    // Opens the window with its outer frame at (x, y), of width x height,
    // shown and black, keys going on to `owner`. False without channels, or
    // when the window cannot be made. A window already open stays.
    bool Create(int x, int y, int width, int height, platform::WindowHandle owner);
    bool IsOpen() const { return static_cast<bool>(m_hWnd); }
    platform::WindowHandle Handle() const { return m_hWnd; }

    // The window's title (nothing without a window; nothing either when it
    // is the title the window already has).
    void SetText(std::string_view text);
    // One step of slot i's curve to `value` at the sweep position
    // `fraction` (1 = the whole width; whole sweeps wrap). Nothing without
    // a window or while its client area is empty.
    void Plot(int slot, float fraction, float value);
    // Hands the picture to the window (nothing without one, or when nothing
    // in it changed since it was last handed over).
    void Present();

    const PlotCanvas& Picture() const { return m_Picture; }

    // The window's messages (window class "OutputClass").
    static platform::LResult WindowProc(platform::WindowHandle window, unsigned message, platform::WParam wParam,
                                        platform::LParam lParam);

private:
    // One of a channel's three labels (its maximum, its minimum, its name)
    // as last drawn, and whether anything has been drawn over it since.
    struct Label {
        int Channel = -1; // the table index its text was made for
        char Text[64] = {};
        int X = 0, Y = 0;
        std::uint32_t Colour = 0;
        PlotCanvas::Box Box;
        bool Stale = true;
    };
    static constexpr int kLabelsPerSlot = 3;

    // Draws a label unless it stands, unchanged and not drawn over, as it
    // was last drawn (drawing it again would change no pixel).
    void DrawLabel(Label& label, int channel, bool name, bool maximum, int x, int y, PlotCanvas::Align align,
                   PlotCanvas::Edge edge, std::uint32_t colour);
    // Takes the picture's changes since the last call: the picture must be
    // handed over again, and labels under them drawn again.
    void TakeChanges();
    // Band i of n over h rows: rows top .. bottom, both included.
    void BandOf(int slot, int& top, int& bottom) const;
    // Every curve starts afresh at its band's bottom row.
    void RestartCurves();
    // The client area became width x height: a black picture of that size.
    void Resized(int width, int height);
    void Closed();

    platform::WindowHandle m_hWnd{};
    platform::WindowHandle m_hOwner{};
    std::unique_ptr<OutputChannel[]> m_pChannels;
    std::unique_ptr<Label[]> m_pLabels;
    int m_nChannels = 0;
    PlotCanvas m_Picture;
    // The picture changed since it was last handed to the window.
    bool m_bChanged = true;
    // The title the window was last given.
    std::string m_Title;
};
