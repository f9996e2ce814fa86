// Painting the telemetry plot: the channels' legends, the grid with its
// distance and value labels, the curves of both laps and the circuit map.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "app/game_app.h"
#include "menu/menu_canvas.h"
#include "menu/plot.h"
#include "sim/track.h"

namespace {

constexpr std::uint32_t kGridPen = 0x8C6D6C;
constexpr std::uint32_t kMapPen = 0xB6B6B6, kWindowPen = 0xFFFFFF;
constexpr std::int32_t kLegendX = 7, kLegendY = 94, kLegendRowHeight = 24;
// A curve runs on this far past the window's end, so that it reaches the
// right edge.
constexpr double kCurveRunOn = 10.0;
// Arcs of the map are drawn as chords of at most this angle (radians).
constexpr double kMapArcStep = 0.05;
// Screen coordinates are kept within this, so that a point far off the
// screen still makes a line the pen can cut.
constexpr double kFarAway = 1.0e6;

std::int32_t ScreenCoordinate(double v)
{
    if (!(v == v))
        return 0;
    return static_cast<std::int32_t>(std::clamp(v, -kFarAway, kFarAway));
}

// 10^k, for the tick searches.
double Power10(int k)
{
    return std::pow(10.0, k);
}

std::string Number(double value, bool whole)
{
    char text[48];
    std::snprintf(text, sizeof text, whole ? "%4.f" : "%4.2f", value);
    return text;
}

platform::PixelRect InclusiveClip(const Plot::Band& band)
{
    // The curves may lie on the band's right and bottom edges (a value at
    // its minimum lies on the bottom edge).
    return {band.Left, band.Top, band.Right + 1, band.Bottom + 1};
}

} // namespace

void Plot::Text(const std::string& text, std::int32_t x, std::int32_t y, platform::TextAlign align)
{
    if (!m_pFace)
        return;
    platform::TextDrawOptions options;
    options.x = x;
    options.y = y;
    options.align = align;
    options.clip = MenuScreenRect();
    options.colour = m_ForeColor;
    DrawMenuText(*m_pFace, PrintableText(text), options);
}

bool Plot::Paint()
{
    if (!IsVisibleInState() || m_nRedraw == 0)
        return false;
    if (m_nRedraw > 0)
        --m_nRedraw;
    PrepareFont();
    for (std::int32_t i = 0; i < m_nShown; ++i)
        m_Slots[m_Bands[i].Slot].Legend.Draw(kLegendX, kLegendY + kLegendRowHeight * m_Bands[i].Channel);
    if (m_bWindowBar)
        PaintMap();
    if (m_nShown > 0)
        PaintGrid(m_Bands[m_nShown - 1]);
    for (std::int32_t i = 0; i < m_nShown; ++i)
        PaintBand(m_Bands[i]);
    return true;
}

void Plot::PaintGrid(const Band& band)
{
    const platform::PixelRect screen = MenuScreenRect();
    const double window = std::max<double>(static_cast<double>(m_nEnd) - m_nStart, 1.0);
    const double width = band.Right - band.Left, height = band.Bottom - band.Top;
    const std::int32_t cell = m_pFace ? m_pFace->cell_height() : 0;

    // Distance ticks at the largest power of ten the window holds.
    int k = 5;
    while (k > 0 && window / Power10(k) < 1.0)
        --k;
    const double step = Power10(k);
    for (double d = (std::floor(m_nStart / step) + 1.0) * step; d < m_nEnd; d += step) {
        const std::int32_t x = band.Left + ScreenCoordinate(std::trunc((d - m_nStart) * width / window));
        DrawMenuLine(x, band.Top, x, band.Bottom, kGridPen, 1, screen);
        Text(Number(d, true), x, band.Bottom + 2, platform::TextAlign::Center);
    }

    if (m_bOverlay) {
        // Value ticks over the channel's label range.
        const PlotChannelRange range = PlotChannelRangeOf(band.Channel, TheGameApp().Flags & kAppFlagMiles);
        const double low = range.LabelMin, high = range.LabelMax, span = high - low;
        int v = 5;
        while (v > -6 && std::fabs(span / Power10(v)) < 3.0)
            --v;
        double spacing = Power10(v);
        if (std::fabs(span / spacing) > 10.0)
            spacing *= 2.0;
        const double first = std::ceil(low / spacing - 1e-9);
        if (span > 0.0)
            for (int n = 0; n <= 100 && (first + n) * spacing <= high + spacing * 1e-6; ++n) {
                const double value = (first + n) * spacing;
                const std::int32_t y =
                    band.Bottom - ScreenCoordinate(std::trunc((value - low) * height / span));
                DrawMenuLine(band.Left, y, band.Right, y, kGridPen, 1, screen);
                const double shown = std::fabs(value) < spacing * 1e-6 ? 0.0 : value;
                Text(Number(shown, std::fabs(shown) >= 1.0), band.Left - 3, y - cell / 2,
                     platform::TextAlign::Right);
            }
        DrawMenuLine(band.Left, band.Top, band.Left, band.Bottom, kGridPen, 1, screen);
        DrawMenuLine(band.Left, band.Bottom, band.Right, band.Bottom, kGridPen, 1, screen);
    }
}

void Plot::PaintBand(const Band& band)
{
    if (!m_bOverlay) {
        // A band of its own: its border and its range's ends.
        const platform::PixelRect screen = MenuScreenRect();
        DrawMenuLine(band.Left, band.Top, band.Right, band.Top, kGridPen, 1, screen);
        DrawMenuLine(band.Right, band.Top, band.Right, band.Bottom, kGridPen, 1, screen);
        DrawMenuLine(band.Left, band.Bottom, band.Right, band.Bottom, kGridPen, 1, screen);
        DrawMenuLine(band.Left, band.Top, band.Left, band.Bottom, kGridPen, 1, screen);
        const PlotChannelRange range = PlotChannelRangeOf(band.Channel, TheGameApp().Flags & kAppFlagMiles);
        const std::int32_t cell = m_pFace ? m_pFace->cell_height() : 0;
        const auto whole = [](float v) { return std::floor(v) == v; };
        Text(Number(range.LabelMax, whole(range.LabelMax)), band.Left - 3, band.Top, platform::TextAlign::Right);
        Text(Number(range.LabelMin, whole(range.LabelMin)), band.Left - 3, band.Bottom - cell,
             platform::TextAlign::Right);
    }
    const ColourSlot& slot = m_Slots[band.Slot];
    if (m_bBothLaps)
        PaintCurve(band, m_LapB, slot.LapB);
    PaintCurve(band, m_LapA, slot.LapA);
}

void Plot::PaintCurve(const Band& band, const std::vector<TelemetrySample>& lap, std::uint32_t colour)
{
    const PlotChannelRange range = PlotChannelRangeOf(band.Channel, false);
    const double low = range.CurveMin, span = static_cast<double>(range.CurveMax) - range.CurveMin;
    const double window = std::max<double>(static_cast<double>(m_nEnd) - m_nStart, 1.0);
    const double width = band.Right - band.Left, height = band.Bottom - band.Top;
    const platform::PixelRect clip = InclusiveClip(band);
    const std::size_t channel = static_cast<std::size_t>(std::clamp(band.Channel, 0, kPlotChannelCount - 1));

    std::size_t i = 0;
    while (i < lap.size() && !(lap[i].Distance >= m_nStart))
        ++i;
    bool drawn = false;
    double last = 0.0;
    std::int32_t px = 0, py = 0;
    for (; i < lap.size(); ++i) {
        const double d = lap[i].Distance;
        if (d >= m_nEnd + kCurveRunOn)
            break;
        // Going back (or not on): on to the first sample past the last one
        // drawn.
        if (drawn && !(d > last))
            continue;
        double value = low + lap[i].Channel[channel] * span / 255.0;
        if (band.Channel == kTelemetryGear)
            value += 1.0;
        const std::int32_t x = band.Left + ScreenCoordinate(std::trunc((d - m_nStart) * width / window));
        const std::int32_t y = band.Bottom - ScreenCoordinate(std::trunc((value - low) * height / span));
        if (drawn)
            DrawMenuLine(px, py, x, y, colour, 1, clip);
        else
            DrawMenuLine(x, y, x, y, colour, 1, clip);
        drawn = true;
        last = d;
        px = x;
        py = y;
    }
}

void Plot::PaintMap()
{
    if (!m_pCircuit)
        return;
    const Track& track = *m_pCircuit;
    const platform::PixelRect screen = MenuScreenRect();
    const auto to_screen = [&](float distance, std::int32_t& x, std::int32_t& y) {
        Vec2 point;
        track.DistanceToPoint(distance, &point, nullptr);
        x = ScreenCoordinate((static_cast<double>(point.x) - m_Placement.OffsetX) * m_Placement.ScaleX);
        y = ScreenCoordinate((static_cast<double>(point.z) - m_Placement.OffsetY) * m_Placement.ScaleY);
    };
    // The stretch from `from` to `to` of a segment as chords.
    const auto stretch = [&](const TrackSegment& segment, double from, double to, std::uint32_t pen,
                             std::int32_t width) {
        if (!(to > from))
            return;
        int steps = 1;
        if (segment.Radius != 0.0f) {
            const double angle = (to - from) / std::fabs(static_cast<double>(segment.Radius));
            steps = static_cast<int>(std::clamp(std::ceil(angle / kMapArcStep), 1.0, 256.0));
        }
        std::int32_t x0 = 0, y0 = 0;
        to_screen(static_cast<float>(from), x0, y0);
        for (int s = 1; s <= steps; ++s) {
            std::int32_t x1 = 0, y1 = 0;
            to_screen(static_cast<float>(from + (to - from) * s / steps), x1, y1);
            DrawMenuLine(x0, y0, x1, y1, pen, width, screen);
            x0 = x1;
            y0 = y1;
        }
    };
    const int count = track.SegmentCount();
    for (int s = 0; s < count; ++s)
        stretch(track.Segments[static_cast<std::size_t>(s)], track.SegmentStart[static_cast<std::size_t>(s)],
                track.SegmentStart[static_cast<std::size_t>(s) + 1], kMapPen, 1);
    for (int s = 0; s < count; ++s) {
        const double from = std::max<double>(track.SegmentStart[static_cast<std::size_t>(s)], m_nStart);
        const double to = std::min<double>(track.SegmentStart[static_cast<std::size_t>(s) + 1], m_nEnd);
        stretch(track.Segments[static_cast<std::size_t>(s)], from, to, kWindowPen, 2);
    }
}
