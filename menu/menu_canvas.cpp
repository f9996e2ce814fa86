#include "menu/menu_canvas.h"

#include <algorithm>
#include <array>

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
        // The nearest palette entry.
        int best = 0;
        long best_distance = -1;
        for (int i = 0; i < 256; ++i) {
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
        for (int y = top; y < bottom; ++y)
            std::fill_n(target.pixels + static_cast<std::size_t>(y) * target.pitch + left, right - left,
                        static_cast<std::uint8_t>(best));
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
