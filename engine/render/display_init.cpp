#include <algorithm>
#include <bit>

#include "engine/render/render_device.h"

namespace {

// 16-bit screens are 565.
constexpr std::uint32_t kRed565 = 0xF800;
constexpr std::uint32_t kGreen565 = 0x07E0;
constexpr std::uint32_t kBlue565 = 0x001F;

std::uint32_t pack_colour(float r, float g, float b)
{
    const auto component = [](float c) {
        const float v = std::clamp(c, 0.0f, 1.0f) * 255.0f; // NaN clamps to 0
        return static_cast<std::uint32_t>(v == v ? v : 0.0f);
    };
    return component(r) << 16 | component(g) << 8 | component(b);
}

} // namespace

int render_device::init(int driver_index, int w, int h, int wanted_depth, int device_index)
{
    if (driver_count <= 0) {
        report_error(1);
        return 0;
    }
    // A driver index past the list takes the last driver.
    if (driver_index >= driver_count)
        driver_index = driver_count - 1;
    if (driver_index < 0)
        driver_index = 0;
    const dd_driver_info& info = drivers[driver_index];
    // A device index from the settings that the driver does not have takes
    // its first device.
    if (device_index < 0 || device_index >= info.device_count)
        device_index = 0;
    if (info.device_count <= 0) {
        report_error(32);
        return 0;
    }
    const d3d_device_info& chosen = info.devices[device_index];

    ready = 0;
    surfaces_valid = 0;
    closing = 0;
    driver = current_driver = driver_index;
    width = w;
    height = h;
    device = current_device = device_index;
    depth = wanted_depth;
    render_states_dirty = 1;

    if (chosen.hardware)
        render_type = kRenderHardware;
    else if (chosen.colour_model == -1)
        render_type = kRenderSoftware;
    else if (chosen.colour_model == 1)
        render_type = kRenderMono;
    else
        render_type = kRenderRgb;

    if (render_type == kRenderSoftware)
        screen_depth = software_16bit ? 16 : 8;
    else if (render_type == kRenderMono)
        screen_depth = desktop_depth;
    else
        screen_depth = 16;

    if (info.mode_count <= 0 || w <= 0 || h <= 0) {
        report_error(7);
        return 0;
    }
    select_mode(info);
    device_info = chosen;

    // A display whose depth the desktop does not have takes the whole screen.
    if (render_type == kRenderSoftware ? desktop_depth != screen_depth
                                       : (render_type != kRenderMono && desktop_depth != 16))
        depth = 32;
    exclusive = depth == 32 ? 1 : 0;

    if (screen_depth == 16) {
        red_mask = kRed565;
        green_mask = kGreen565;
        blue_mask = kBlue565;
    } else {
        red_mask = green_mask = blue_mask = 0;
    }
    if (exclusive)
        show_full_screen();
    back_pitch = w * (screen_depth / 8);
    back_buffer.assign(static_cast<std::size_t>(back_pitch) * static_cast<std::size_t>(h), 0);
    client_width = w;
    client_height = h;
    update_window_origin();
    surfaces_valid = 1;
    ready = 1;
    return 1;
}

// The platform does not change the display's mode: a full-screen display is
// the main window at the top left, its client area the mode's size, shown.
void render_device::show_full_screen()
{
    using platform::get_system_metric;
    const int outer_width = width + 2 * (get_system_metric(platform::SM_CXDLGFRAME) +
                                         get_system_metric(platform::SM_CXBORDER));
    const int outer_height = height + get_system_metric(platform::SM_CYDLGFRAME) +
                             get_system_metric(platform::SM_CYCAPTION) + 2 * get_system_metric(platform::SM_CYBORDER);
    platform::move_window(window, 0, 0, outer_width, outer_height, false);
    platform::show_window(window, platform::SW_SHOWNORMAL);
}

// The raw pixel of a colour 0xRRGGBB on a 16-bit screen, by its masks:
// each component keeps as many of its top bits as its mask has.
std::uint32_t render_device::pack_by_masks(std::uint32_t rgb) const
{
    const auto channel = [](std::uint32_t value, std::uint32_t mask) -> std::uint32_t {
        if (mask == 0)
            return 0;
        const int shift = std::countr_zero(mask);
        const int bits = std::countr_one(mask >> shift);
        return (bits >= 8 ? value << (bits - 8) : value >> (8 - bits)) << shift & mask;
    };
    return channel((rgb >> 16) & 0xFF, red_mask) | channel((rgb >> 8) & 0xFF, green_mask) |
           channel(rgb & 0xFF, blue_mask);
}

int render_device::set_background(float r, float g, float b)
{
    background = pack_colour(r, g, b);
    if (screen_depth == 16) {
        background_pixel = pack_by_masks(background);
    } else {
        // The nearest palette entry, the first one on ties.
        const int want[3] = {static_cast<int>((background >> 16) & 0xFF), static_cast<int>((background >> 8) & 0xFF),
                             static_cast<int>(background & 0xFF)};
        int best = 0;
        long best_distance = -1;
        for (int i = 0; i < 256; ++i) {
            long distance = 0;
            for (int c = 0; c < 3; ++c) {
                const long d = palette_rgb[i][c] - want[c];
                distance += d * d;
            }
            if (best_distance < 0 || distance < best_distance) {
                best_distance = distance;
                best = i;
            }
        }
        background_pixel = static_cast<std::uint32_t>(best);
    }
    return 1;
}
