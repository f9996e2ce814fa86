#include "race/output_window.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

#include "platform/float_conv.h"
#include "platform/frame.h"

const PlotChannelInfo kPlotChannels[kPlotChannelCount] = {
    {"Throttle", 0.0f, 127.0f},
    {"Brake", 0.0f, 127.0f},
    {"Gear", 0.0f, 6.0f},
    {"Speed (km/h)", 0.0f, 280.0f},
    {"Rpm", 0.0f, 15000.0f},
    {"Roll angle (rad)", -1.5707964f, 1.5707964f},
    {"Pitch angle (rad)", -0.3926991f, 0.3926991f},
    {"Acceleration (g)", -4.0f, 4.0f},
    {"Front travel (mm)", -0.2f, 0.2f},
    {"Front vel (mm/sec)", -0.5f, 0.5f},
    {"Rear travel (mm)", -0.1f, 0.1f},
    {"Rear vel (mm/sec)", -0.5f, 0.5f},
    {"Steer", -1.0f, 1.0f},
    {"Front grip", 0.0f, 1.0f},
    {"Front vert force", -10000.0f, 10000.0f},
    {"Front terrain", 0.0f, 2.0f},
    {"Rear grip", 0.0f, 1.0f},
    {"Rear vert force", -10000.0f, 10000.0f},
    {"Rear terrain", 0.0f, 2.0f},
    {"Weight Transfer", -1.0f, 1.0f},
    {"Side position", -5.0f, 5.0f},
    {"Track position", 0.0f, 1.0f},
    {"WheelBase", 0.0f, 1.0f},
    {"Angular velocity", -10.0f, 10.0f},
    {"CG z", -1.0f, 1.0f},
    {"CG y", -1.0f, 1.0f},
    {"CG x", -1.0f, 1.0f},
    {"Front wheel temp", 0.0f, 200.0f},
    {"Front wheel cons", 0.0f, 1.1f},
    {"Front wheel frictio", 0.0f, 4.0f},
    {"Front wheel part", -1.1f, 1.1f},
    {"Rear wheel temp", 0.0f, 200.0f},
    {"Rear wheel cons", 0.0f, 1.1f},
    {"Rear wheel frictio", 0.0f, 4.0f},
    {"Rear wheel part", -1.1f, 1.1f},
    {"Radius", -1000.0f, 1000.0f},
    {"Centrifugal Acc.", -1000.0f, 1000.0f},
    {"Lean Angle", -1.7f, 1.7f},
    {"Lean Velocity", -10.0f, 10.0f},
    {"Lean Acceleration", -10.0f, 10.0f},
    {"Front debug ratio", -1.0f, 1.0f},
    {"Rear debug ratio", -1.0f, 1.0f},
    {"Front debug ratio2", -1.0f, 1.0f},
    {"Rear debug ratio2", -1.0f, 1.0f},
    {"Front ratio lenght", -0.2f, 0.2f},
    {"Rear ratio lenght", -0.1f, 0.1f},
    {"Engine temp", 0.0f, 1.0f},
    {"Front downforce", -10000.0f, 10000.0f},
    {"Rear downforce", -10000.0f, 10000.0f},
};

namespace {

constexpr const char* kWindowClass = "OutputClass";

// Curve colours by slot, five in turn, as 0x00BBGGRR values: blue, green,
// red, magenta, cyan.
constexpr std::uint32_t kCurveColours[5] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFF00FF, 0xFFFF00};
constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kZeroLine = 0x7C7C7C;
constexpr std::uint32_t kBlack = 0x000000;
// Labels stand this far in from the window's left and right sides.
constexpr int kLabelMargin = 5;

// A 0x00BBGGRR colour as the picture's 0x00RRGGBB.
constexpr std::uint32_t PictureColour(std::uint32_t bgr)
{
    return (bgr & 0xFFu) << 16 | (bgr & 0xFF00u) | (bgr >> 16 & 0xFFu);
}

// Where a value lies in [lo, hi], as a share 0..1 (0 for an empty range or
// a value that is not a number).
double Share(double value, double lo, double hi)
{
    const double range = hi - lo;
    if (range == 0.0)
        return 0.0;
    const double t = (value - lo) / range;
    return t >= 0.0 ? std::min(t, 1.0) : 0.0;
}

// The object behind each open window, for its window procedure.
std::map<std::uint32_t, OutputWindow*>& OpenWindows()
{
    static std::map<std::uint32_t, OutputWindow*> windows;
    return windows;
}

OutputWindow* ObjectOf(platform::WindowHandle window)
{
    auto it = OpenWindows().find(window.id);
    return it == OpenWindows().end() ? nullptr : it->second;
}

} // namespace

OutputWindow::~OutputWindow()
{
    if (m_hWnd)
        platform::destroy_window(m_hWnd);
    Closed();
}

void OutputWindow::SetChannels(int n)
{
    m_nChannels = std::max(n, 0);
    m_pChannels = std::make_unique<OutputChannel[]>(static_cast<std::size_t>(m_nChannels));
    m_pLabels = std::make_unique<Label[]>(static_cast<std::size_t>(m_nChannels) * kLabelsPerSlot);
    RestartCurves();
}

bool OutputWindow::SetChannel(int slot, int tableIndex)
{
    if (slot < 0 || slot >= m_nChannels || tableIndex < 0 || tableIndex >= kPlotChannelCount)
        return false;
    m_pChannels[slot].Index = tableIndex;
    return true;
}

int OutputWindow::Channel(int slot) const
{
    return slot >= 0 && slot < m_nChannels ? m_pChannels[slot].Index : -1;
}

void OutputWindow::BandOf(int slot, int& top, int& bottom) const
{
    const long long h = m_Picture.Height(), n = m_nChannels;
    if (!m_bBandMode || n <= 0) {
        top = 0;
        bottom = static_cast<int>(h) - 1;
        return;
    }
    top = static_cast<int>(slot * h / n);
    // Fewer rows than channels: a band is at least one row.
    bottom = std::max(static_cast<int>((slot + 1) * h / n) - 1, top);
}

void OutputWindow::RestartCurves()
{
    for (int i = 0; i < m_nChannels; ++i) {
        int top = 0, bottom = 0;
        BandOf(i, top, bottom);
        m_pChannels[i].LastX = -1;
        m_pChannels[i].LastY = std::max(bottom, 0);
    }
}

void OutputWindow::Resized(int width, int height)
{
    m_Picture.Resize(width, height);
    TakeChanges();
    for (int i = 0; i < m_nChannels * kLabelsPerSlot; ++i)
        m_pLabels[i].Stale = true;
    m_bChanged = true;
    RestartCurves();
}

void OutputWindow::TakeChanges()
{
    const PlotCanvas::Box changes = m_Picture.TakeChanges();
    if (changes.Empty())
        return;
    m_bChanged = true;
    for (int i = 0; i < m_nChannels * kLabelsPerSlot; ++i)
        if (changes.Overlaps(m_pLabels[i].Box))
            m_pLabels[i].Stale = true;
}

void OutputWindow::DrawLabel(Label& label, int channel, bool name, bool maximum, int x, int y,
                             PlotCanvas::Align align, PlotCanvas::Edge edge, std::uint32_t colour)
{
    if (label.Channel != channel) {
        const PlotChannelInfo& info = kPlotChannels[channel];
        if (name)
            std::snprintf(label.Text, sizeof label.Text, "%s", info.Name);
        else
            std::snprintf(label.Text, sizeof label.Text, "%f", static_cast<double>(maximum ? info.Max : info.Min));
        label.Channel = channel;
        label.Stale = true;
    }
    if (label.X != x || label.Y != y || label.Colour != colour)
        label.Stale = true;
    if (!label.Stale)
        return;
    label.X = x;
    label.Y = y;
    label.Colour = colour;
    label.Box = PlotCanvas::TextBox(label.Text, x, y, align, edge);
    m_Picture.Text(label.Text, x, y, align, edge, colour);
    // Its own pixels are what it just drew; other labels under it are
    // drawn over.
    TakeChanges();
    label.Stale = false;
}

void OutputWindow::Closed()
{
    if (m_hWnd)
        OpenWindows().erase(m_hWnd.id);
    m_hWnd = {};
}

bool OutputWindow::Create(int x, int y, int width, int height, platform::WindowHandle owner)
{
    if (m_hWnd)
        return true;
    if (m_nChannels <= 0)
        return false;
    // The class stays registered for later races; a second registration
    // is refused, and the window is still made from the first.
    platform::register_window_class(kWindowClass, platform::CS_HREDRAW | platform::CS_VREDRAW, WindowProc);
    m_hWnd = platform::create_window(platform::WS_EX_TOOLWINDOW, kWindowClass, "", platform::WS_BORDER, x, y,
                                     width, height);
    if (!m_hWnd)
        return false;
    OpenWindows()[m_hWnd.id] = this;
    m_hOwner = owner;
    m_Title.clear();
    platform::Rect client;
    platform::get_client_rect(m_hWnd, client);
    Resized(client.right - client.left, client.bottom - client.top);
    platform::show_window(m_hWnd, platform::SW_SHOWNOACTIVATE);
    Present();
    return true;
}

void OutputWindow::SetText(std::string_view text)
{
    // The debug line is set every frame; most frames repeat the last one.
    if (m_hWnd && text != m_Title && platform::set_window_title(m_hWnd, text))
        m_Title.assign(text);
}

void OutputWindow::Present()
{
    TakeChanges();
    if (!m_hWnd || !m_bChanged || m_Picture.Width() <= 0 || m_Picture.Height() <= 0)
        return;
    platform::FrameView frame;
    frame.width = m_Picture.Width();
    frame.height = m_Picture.Height();
    frame.format = platform::PixelFormat::Xrgb8888;
    frame.pixels = m_Picture.Pixels().data();
    frame.pitch = frame.width * 4;
    if (platform::present_frame(m_hWnd, frame))
        m_bChanged = false;
}

void OutputWindow::Plot(int slot, float fraction, float value)
{
    const int w = m_Picture.Width(), h = m_Picture.Height();
    if (!m_hWnd || slot < 0 || slot >= m_nChannels || w <= 0 || h <= 0)
        return;
    OutputChannel& c = m_pChannels[slot];
    const PlotChannelInfo& info = kPlotChannels[c.Index];
    const double t = Share(value, info.Min, info.Max);
    const double z = Share(0.0, info.Min, info.Max);

    // The sweep position: whole sweeps wrap, and a position before the
    // start counts back from the right.
    int x = static_cast<int>(platform::trunc_to_int64(static_cast<double>(w) * fraction) % w);
    if (x < 0)
        x += w;

    // Heights within the band (or the whole area): the band's top for the
    // maximum, its last row for the minimum.
    int top = 0, bottom = 0;
    BandOf(slot, top, bottom);
    const double n = m_nChannels;
    const auto row = [&](double share) {
        const double at = m_bBandMode ? (slot + 1 - share) * h / n : (1.0 - share) * h;
        return platform::trunc_clamped(at, top, bottom);
    };
    const int y = row(t), y0 = row(z);

    if (c.LastX < 0)
        c.LastX = x;
    if (x < c.LastX)
        c.LastX = 0;
    if (x != c.LastX) {
        // The strip the sweep has passed since the last step is wiped; the
        // white sweep line stands on its last column, ahead of the curve
        // (the next step's strip wipes it), and the band's bottom row is
        // white along the strip.
        if (m_bBandMode)
            m_Picture.Fill(c.LastX + 1, top, x + 2, bottom + 1, kBlack);
        else if (slot == 0)
            m_Picture.Fill(c.LastX + 1, 0, x + 2, h, kBlack);
        m_Picture.Line(x + 1, top, x + 1, bottom, kWhite);
        m_Picture.Line(x + 1, bottom, c.LastX + 1, bottom, kWhite);
        m_Picture.Line(c.LastX, y0, x, y0, kZeroLine);
        TakeChanges();
    }

    // The labels stand over everything but the newest piece of curve. Only
    // those that something was drawn over since are drawn again: the rest
    // would write their own colours over themselves.
    const std::uint32_t colour = PictureColour(kCurveColours[slot % 5]);
    Label* labels = &m_pLabels[static_cast<std::size_t>(slot) * kLabelsPerSlot];
    DrawLabel(labels[0], c.Index, false, true, w - kLabelMargin, top, PlotCanvas::Align::Right,
              PlotCanvas::Edge::Top, colour);
    DrawLabel(labels[1], c.Index, false, false, w - kLabelMargin, bottom + 1, PlotCanvas::Align::Right,
              PlotCanvas::Edge::Bottom, colour);
    DrawLabel(labels[2], c.Index, true, false, kLabelMargin, top, PlotCanvas::Align::Left, PlotCanvas::Edge::Top,
              colour);

    m_Picture.Line(c.LastX, c.LastY, x, y, colour);
    TakeChanges();
    c.LastX = x;
    c.LastY = y;
}

platform::LResult OutputWindow::WindowProc(platform::WindowHandle window, unsigned message, platform::WParam wParam,
                                           platform::LParam lParam)
{
    OutputWindow* self = ObjectOf(window);
    switch (message) {
    case platform::WM_DESTROY:
        // Only this window goes: the race and the game go on.
        if (self)
            self->Closed();
        return 0;
    case platform::WM_SIZE:
        if (self) {
            if (wParam == platform::SIZE_MINIMIZED)
                self->Resized(0, 0);
            else
                self->Resized(platform::lparam_low(lParam), platform::lparam_high(lParam));
        }
        return 0;
    case platform::WM_KEYDOWN:
    case platform::WM_KEYUP:
    case platform::WM_CHAR:
    case platform::WM_SYSKEYDOWN:
    case platform::WM_SYSKEYUP:
        // The keys are the game's.
        if (self && self->m_hOwner)
            platform::post_message(self->m_hOwner, message, wParam, lParam);
        return 0;
    case platform::WM_ACTIVATEAPP:
        if (self && wParam != 0 && self->m_hOwner)
            platform::set_focus(self->m_hOwner);
        return 0;
    default:
        return platform::def_window_proc(window, message, wParam, lParam);
    }
}
