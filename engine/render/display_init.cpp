#include <algorithm>
#include <bit>

#include "engine/render/rast.h"
#include "engine/render/render_device.h"

// Setting up the display: which render type, driver, device and mode; a
// window or the whole screen. The surfaces and the 3D device are made in
// display_surfaces.cpp.

namespace {

constexpr std::int32_t kLevelWindowed = 16;
constexpr std::int32_t kLevelFullScreen = 32;
constexpr int kFullScreenDepth = 32;
constexpr int kDesktopDepthFor3d = 16;
constexpr std::int32_t kColourModelMono = 1;
constexpr std::int32_t kColourModelRgb = 2;

std::uint32_t pack_colour(float r, float g, float b)
{
    const auto component = [](float c) {
        const float v = std::clamp(c, 0.0f, 1.0f) * 255.0f; // NaN clamps to 0
        return static_cast<std::uint32_t>(v == v ? v : 0.0f);
    };
    return component(r) << 16 | component(g) << 8 | component(b);
}

std::int32_t render_type_of(const d3d_device_info& device)
{
    if (device.hardware)
        return kRenderHardware;
    if (device.colour_model == -1)
        return kRenderSoftware;
    if (device.colour_model == kColourModelMono)
        return kRenderMono;
    return kRenderRgb;
}

} // namespace

int render_device::init(int driver_index, int w, int h, int wanted_depth, int device_index)
{
    if (driver_count <= 0) {
        report_error(1);
        return 0;
    }
    // A driver index past the list takes the last driver (a negative one
    // the first).
    driver_index = std::clamp(driver_index, 0, driver_count - 1);
    const dd_driver_info& info = drivers[driver_index];
    if (info.device_count <= 0) {
        report_error(32);
        return 0;
    }
    // A device index from the settings that the driver does not have takes
    // its first device, rather than a record past the list.
    if (device_index < 0 || device_index >= info.device_count)
        device_index = 0;
    if (info.mode_count <= 0 || w <= 0 || h <= 0) {
        report_error(7);
        return 0;
    }

    if (ready) {
        const bool same = driver_index == driver && w == width && h == height && device_index == device &&
                          wanted_depth == requested_depth && mode_key == software_16bit;
        if (!same) {
            if (driver_index == driver && device_index == device && !device_info.hardware) {
                // Another mode on the same software device: only the display
                // surfaces are made again; the driver stays open.
                release_display_surfaces();
                ready = 0;
            } else if (!tear_down()) {
                return 0;
            }
        }
    }

    driver = current_driver = driver_index;
    width = w;
    height = h;
    device = current_device = device_index;
    depth = requested_depth = wanted_depth;
    mode_key = software_16bit;
    screen_depth = 16;
    render_states_dirty = 1;
    closing = 0;
    render_type = render_type_of(info.devices[device_index]);
    return render_type == kRenderSoftware ? init_software(wanted_depth) : init_3d(wanted_depth);
}

int render_device::init_software(int wanted_depth)
{
    if (!display && !create_directdraw())
        return 0;
    query_video_memory();
    if (software_16bit) {
        screen_depth = 16;
        if (colour_table.empty())
            colour_table.assign(256, 0);
    } else {
        screen_depth = 8;
        colour_table.clear();
        colour_table.shrink_to_fit();
    }
    select_mode(drivers[driver]);
    device_info = drivers[driver].devices[device];
    // A depth the desktop does not have is shown on the whole screen.
    if (desktop_depth != screen_depth)
        wanted_depth = kFullScreenDepth;
    if (!ready && (!set_display_mode(wanted_depth) || !create_surfaces(wanted_depth)))
        return 0;
    software_clear = {0, 0, back_width, back_height};
    // The picture starts one row into the back surface.
    screen_pixels = back_address + back_pitch;
    draw_width = std::min(width, back_width);
    draw_height = std::min(height, back_height - 1);
    back_buffer = {screen_pixels, static_cast<std::size_t>(back_pitch) * static_cast<std::size_t>(draw_height)};
    // The game's own rasteriser draws straight into the picture.
    rast_set_frame({screen_pixels, back_pitch, draw_width, draw_height, screen_depth});
    // It records the scene's polygons and draws them on every core when the
    // scene is done (draw_scene) or the frame is shown, whichever is first.
    rast_set_threads(0);
    rast_threads_taken = true;
    surfaces_valid = 1;
    set_strips();
    ready = 1;
    return 1;
}

int render_device::init_3d(int wanted_depth)
{
    if (!display && !create_directdraw())
        return 0;
    query_video_memory();
    if (render_type == kRenderMono)
        screen_depth = desktop_depth;
    select_mode(drivers[driver]);
    if (!has_3d) {
        if (display->open_3d() != platform::DisplayResult::Ok) {
            report_error(4);
            return 0;
        }
        has_3d = 1;
    }
    if (!choose_3d_device())
        return 0;
    if ((render_type == kRenderHardware || render_type == kRenderRgb) && desktop_depth != kDesktopDepthFor3d)
        wanted_depth = kFullScreenDepth;
    device_info = drivers[driver].devices[current_device];
    if (!ready && (!set_display_mode(wanted_depth) || !create_surfaces(wanted_depth) || !create_zbuffer()))
        return 0;
    zcompare = device_info.zcompare;
    if (!ready) {
        if (!create_device())
            return 0;
        alpha4 = 0;
        if (!enum_texture_formats(*device3d))
            return 0;
    }
    if (render_type == kRenderMono && !load_mono_palette())
        return 0;
    if (!ready && (!create_viewport() || !create_background_material()))
        return 0;
    query_video_memory();
    screen_pixels = back_address;
    draw_width = std::min(width, back_width);
    draw_height = std::min(height, back_height);
    back_buffer = {screen_pixels, static_cast<std::size_t>(back_pitch) * static_cast<std::size_t>(draw_height)};
    surfaces_valid = 1;
    surfaces_lost = 0;
    set_strips();
    ready = 1;
    return 1;
}

// Type 96 takes the driver's first hardware device; without one it becomes
// type 128. Types 112 and 128 take the first device of their colour model.
int render_device::choose_3d_device()
{
    const dd_driver_info& info = drivers[driver];
    if (render_type == kRenderHardware) {
        for (int i = 0; i < info.device_count; ++i) {
            if (info.devices[i].hardware) {
                current_device = i;
                return 1;
            }
        }
        render_type = kRenderRgb;
    }
    const std::int32_t model = render_type == kRenderMono ? kColourModelMono : kColourModelRgb;
    for (int i = 0; i < info.device_count; ++i) {
        if (info.devices[i].colour_model == model) {
            current_device = i;
            return 1;
        }
    }
    report_error(32);
    return 0;
}

int render_device::create_directdraw()
{
    display = platform::DisplayDriver::open();
    if (!display) {
        report_error(1);
        return 0;
    }
    return 1;
}

// Free video memory; a figure that cannot be read is 0.
void render_device::query_video_memory()
{
    free_nonlocal_memory = 0;
    std::uint64_t bytes = 0;
    free_local_memory = display->free_video_memory(bytes) == platform::DisplayResult::Ok ? bytes : 0;
    free_texture_memory = display->free_texture_memory(bytes) == platform::DisplayResult::Ok ? bytes : 0;
}

// A window when the device can draw in one and full screen is not asked
// for: the client area (cut to the mode) is drawn at, the desktop keeps its
// mode. Full screen takes the display and sets the mode; the window then
// covers the desktop and shows the mode's picture scaled to fit.
int render_device::set_display_mode(int wanted_depth)
{
    using platform::DisplayResult;
    if (wanted_depth != kFullScreenDepth && device_info.windowed) {
        requested_level = kLevelWindowed;
        platform::Point origin;
        if (platform::client_to_screen(window, origin)) {
            origin_x = origin.x;
            origin_y = origin.y;
        }
        platform::Rect client;
        platform::get_client_rect(window, client);
        client_width = std::clamp(client.right, 0, mode.width);
        client_height = std::clamp(client.bottom, 0, mode.height);
        if (exclusive || !normal_level_taken) {
            if (display->set_exclusive(window, false) != DisplayResult::Ok) {
                report_error(6);
                return 0;
            }
            normal_level_taken = 1;
        }
        exclusive = 0;
        mode.depth = desktop_depth;
        display_mode_changed = 0;
        return 1;
    }
    client_width = mode.width;
    client_height = mode.height;
    origin_x = origin_y = 0;
    if (!exclusive) {
        if (display->set_exclusive(window, true) != DisplayResult::Ok) {
            report_error(6);
            return 0;
        }
        exclusive = 1;
    }
    requested_level = kLevelFullScreen;
    display_mode_changed = 1;
    if (display->set_mode({mode.width, mode.height, mode.depth}) != DisplayResult::Ok) {
        report_error(7);
        return 0;
    }
    return 1;
}

void render_device::set_strips()
{
    right_strip = {back_width - 2, 0, back_width, back_height};
    bottom_strip = {0, back_height - 2, back_width - 2, back_height};
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
    // The 3D types clear to the colour of the viewport's background material.
    if (render_type != kRenderSoftware && background_material &&
        background_material->set_colour(background) != platform::DisplayResult::Ok) {
        report_error(17);
        return 0;
    }
    return 1;
}
