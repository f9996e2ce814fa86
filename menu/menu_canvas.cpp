#include "menu/menu_canvas.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

#include "engine/render/render_device.h"

namespace {

bool DeviceCanDraw(const render_device* d)
{
    return d && d->ready && d->surfaces_valid && !d->paused && !d->back_buffer.empty() && d->draw_width > 0 &&
           d->draw_height > 0;
}

platform::PixelLayout LayoutOf(const render_device& d)
{
    if (d.screen_depth == 8)
        return platform::PixelLayout::Indexed8;
    if (d.red_mask == 0x1F)
        return platform::PixelLayout::Bgr565;
    if (d.red_mask + d.green_mask + d.blue_mask == 0x7FFF)
        return platform::PixelLayout::Rgb555;
    return platform::PixelLayout::Rgb565;
}

// The 8-bit screen's palette as 0x00BBGGRR (the device keeps 0x00RRGGBB).
std::array<std::uint32_t, 256> g_Palette;

} // namespace

std::uint8_t NearestMenuPaletteIndex(const platform::TextTarget& target, std::uint32_t colour)
{
    int best = 0;
    long best_distance = -1;
    for (int i = 0; i < 256 && static_cast<std::size_t>(i) < target.palette.size(); ++i) {
        const std::uint32_t p = target.palette[static_cast<std::size_t>(i)];
        const long dr = static_cast<long>(p & 0xFF) - static_cast<long>(colour & 0xFF);
        const long dg = static_cast<long>(p >> 8 & 0xFF) - static_cast<long>(colour >> 8 & 0xFF);
        const long db = static_cast<long>(p >> 16 & 0xFF) - static_cast<long>(colour >> 16 & 0xFF);
        const long distance = dr * dr + dg * dg + db * db;
        if (best_distance < 0 || distance < best_distance) {
            best_distance = distance;
            best = i;
        }
    }
    return static_cast<std::uint8_t>(best);
}

bool MenuTextTarget(platform::TextTarget& target)
{
    render_device* d = installed_render_device();
    if (!DeviceCanDraw(d))
        return false;
    target.pixels = d->back_buffer.data();
    target.pitch = d->back_pitch;
    target.width = d->draw_width;
    target.height = d->draw_height;
    target.layout = LayoutOf(*d);
    if (target.layout == platform::PixelLayout::Indexed8) {
        for (std::size_t i = 0; i < g_Palette.size(); ++i) {
            const std::uint32_t rgb = d->palette[i];
            g_Palette[i] = (rgb >> 16 & 0xFF) | (rgb & 0xFF00) | (rgb & 0xFF) << 16;
        }
        target.palette = g_Palette;
    } else {
        target.palette = {};
    }
    return true;
}

std::string PrintableText(std::string_view text)
{
    std::string shown;
    shown.reserve(text.size());
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 32)
            shown += c;
    return shown;
}

platform::PixelRect MenuScreenRect()
{
    platform::TextTarget target;
    if (!MenuTextTarget(target))
        return {};
    return {0, 0, target.width, target.height};
}

void FillMenuRect(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom, std::uint32_t colour)
{
    platform::TextTarget target;
    if (!MenuTextTarget(target))
        return;
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, target.width);
    bottom = std::min(bottom, target.height);
    if (left >= right || top >= bottom)
        return;
    if (target.layout == platform::PixelLayout::Indexed8) {
        const std::uint8_t best = NearestMenuPaletteIndex(target, colour);
        for (int y = top; y < bottom; ++y)
            std::fill_n(target.pixels + static_cast<std::size_t>(y) * target.pitch + left, right - left, best);
        return;
    }
    const std::uint16_t pixel = platform::pack_colour(colour, target.layout);
    for (int y = top; y < bottom; ++y) {
        auto* row = reinterpret_cast<std::uint16_t*>(target.pixels + static_cast<std::size_t>(y) * target.pitch);
        std::fill(row + left, row + right, pixel);
    }
}

void DrawMenuText(const platform::TextFace& face, std::string_view text, const platform::TextDrawOptions& options)
{
    platform::TextTarget target;
    if (!MenuTextTarget(target))
        return;
    platform::draw_text(face, target, text, options);
}

void DrawMenuLine(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1, std::uint32_t colour,
                  std::int32_t width, const platform::PixelRect& clip)
{
    platform::TextTarget target;
    if (!MenuTextTarget(target))
        return;
    const int left = std::max(clip.left, 0), top = std::max(clip.top, 0);
    const int right = std::min(clip.right, target.width), bottom = std::min(clip.bottom, target.height);
    if (left >= right || top >= bottom)
        return;
    const bool indexed = target.layout == platform::PixelLayout::Indexed8;
    const std::uint16_t pixel = indexed ? NearestMenuPaletteIndex(target, colour)
                                        : platform::pack_colour(colour, target.layout);
    const std::int64_t brush = std::max<std::int32_t>(width, 1);
    const auto plot = [&](std::int64_t x, std::int64_t y) {
        // A pen wider than a pixel covers a square from the point right and
        // down, as far as the width.
        for (std::int64_t dy = 0; dy < brush; ++dy)
            for (std::int64_t dx = 0; dx < brush; ++dx) {
                const std::int64_t px = x + dx - (brush - 1) / 2, py = y + dy - (brush - 1) / 2;
                if (px < left || px >= right || py < top || py >= bottom)
                    continue;
                std::uint8_t* row = target.pixels + static_cast<std::size_t>(py) * target.pitch;
                if (indexed)
                    row[px] = static_cast<std::uint8_t>(pixel);
                else
                    reinterpret_cast<std::uint16_t*>(row)[px] = pixel;
            }
    };
    // Bresenham's walk from end to end, both ends drawn. A line reaching far
    // beyond the picture is first cut to the clip rectangle (grown by the
    // pen), so that the walk stays short whatever the points.
    double fx0 = x0, fy0 = y0, fx1 = x1, fy1 = y1;
    constexpr double kNear = 4096.0;
    if (std::fabs(fx0) > kNear || std::fabs(fy0) > kNear || std::fabs(fx1) > kNear || std::fabs(fy1) > kNear) {
        const double edges[4] = {static_cast<double>(left - brush), static_cast<double>(right + brush),
                                 static_cast<double>(top - brush), static_cast<double>(bottom + brush)};
        double t0 = 0.0, t1 = 1.0;
        const double ddx = fx1 - fx0, ddy = fy1 - fy0;
        const double p[4] = {-ddx, ddx, -ddy, ddy};
        const double q[4] = {fx0 - edges[0], edges[1] - fx0, fy0 - edges[2], edges[3] - fy0};
        for (int i = 0; i < 4; ++i) {
            if (p[i] == 0.0) {
                if (q[i] < 0.0)
                    return;
                continue;
            }
            const double t = q[i] / p[i];
            if (p[i] < 0.0)
                t0 = std::max(t0, t);
            else
                t1 = std::min(t1, t);
        }
        if (t0 > t1)
            return;
        fx1 = fx0 + t1 * ddx;
        fy1 = fy0 + t1 * ddy;
        fx0 += t0 * ddx;
        fy0 += t0 * ddy;
    }
    std::int64_t ax = std::llround(fx0), ay = std::llround(fy0), bx = std::llround(fx1), by = std::llround(fy1);
    const std::int64_t dx = std::llabs(bx - ax), dy = -std::llabs(by - ay);
    const std::int64_t sx = ax < bx ? 1 : -1, sy = ay < by ? 1 : -1;
    std::int64_t error = dx + dy;
    for (;;) {
        plot(ax, ay);
        if (ax == bx && ay == by)
            break;
        const std::int64_t e2 = 2 * error;
        if (e2 >= dy) {
            error += dy;
            ax += sx;
        }
        if (e2 <= dx) {
            error += dx;
            ay += sy;
        }
    }
}
