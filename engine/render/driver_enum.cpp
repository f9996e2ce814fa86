#include <cstring>

#include "engine/render/render_device.h"

// The driver list: the platform has one display, the primary one, with the
// modes its windows and full-screen display can take, and one 3D device
// beside the renderer's own "RenderSoftware" entry.

namespace {

// The video memory the platform's 3D device reports as free, for display
// surfaces and textures together.
constexpr std::uint32_t kVideoMemoryBudget = 16u * 1024u * 1024u;

// The platform's windows take frames of any pixel format and convert them;
// 16 bits is the depth they take without converting colour precision away.
constexpr int kDesktopDepth = 16;

// Modes wider, higher or deeper than these are not used.
constexpr int kMaxModeWidth = 1024;
constexpr int kMaxModeHeight = 768;
constexpr int kMaxModeDepth = 16;

// The names the driver and its devices are listed under.
constexpr const char* kSoftwareDeviceName = "RenderSoftware";
constexpr const char* kPlatformDeviceName = "Torvane 3D";
constexpr const char* kPlatformDeviceDescription = "Torvane rasteriser, RGB";
constexpr const char* kPrimaryDriverName = "Primary Display Driver";

// Capability bits of a device description that the listing reads.
constexpr std::int32_t kColourModelMono = 1;
constexpr std::int32_t kColourModelRgb = 2;
constexpr std::int32_t kZCompareLess = 2;

void copy_name(char (&field)[64], const char* text)
{
    std::memset(field, 0, sizeof field);
    // At most 62 characters, as the driver descriptions are copied.
    std::strncpy(field, text, 62);
}

d3d_device_info software_entry()
{
    d3d_device_info d;
    copy_name(d.name, kSoftwareDeviceName);
    copy_name(d.description, kSoftwareDeviceName);
    d.hardware = 0;
    d.colour_model = -1;
    d.perspective = 1;
    d.windowed = 1;
    d.clipping = 1;
    d.palettised = 1;
    return d;
}

} // namespace

std::int32_t depth_to_ddbd(int depth)
{
    switch (depth) {
    case 1: return 0x4000;
    case 2: return 0x2000;
    case 4: return 0x1000;
    case 8: return 0x800;
    case 16: return 0x400;
    case 24: return 0x200;
    case 32: return 0x100;
    default: return -100;
    }
}

platform_display describe_platform_display()
{
    platform_display display;
    display.desktop_width = platform::get_system_metric(platform::SM_CXSCREEN);
    display.desktop_height = platform::get_system_metric(platform::SM_CYSCREEN);
    display.desktop_depth = kDesktopDepth;

    // Every classic mode in 8 and 16 bits, then the desktop itself (32 bits).
    static constexpr int kSizes[][2] = {{320, 200}, {320, 240}, {400, 300}, {512, 384},
                                        {640, 400}, {640, 480}, {800, 600}, {1024, 768}};
    for (int depth : {8, 16})
        for (const auto& size : kSizes)
            display.modes.push_back({size[0], size[1], depth, 0});
    display.modes.push_back({display.desktop_width, display.desktop_height, 32, 0});

    d3d_device_info& d = display.device;
    copy_name(d.name, kPlatformDeviceName);
    copy_name(d.description, kPlatformDeviceDescription);
    d.colour_model = kColourModelRgb;
    d.render_depths = depth_to_ddbd(16) | depth_to_ddbd(32);
    d.hardware = 1;
    d.perspective = 1;
    d.local_textures = 1;
    d.has_zbuffer = 1;
    d.zcompare = kZCompareLess;
    d.clipping = 1;
    d.free_local_memory = kVideoMemoryBudget;
    d.free_texture_memory = kVideoMemoryBudget;
    d.max_buffer_size = 0;
    d.max_vertex_count = 0xFFFF;
    return display;
}

int render_device::enumerate_drivers(platform::WindowHandle main_window)
{
    if (!platform::is_window(main_window)) {
        window = main_window;
        driver_count = 0;
        report_error(1);
        return 0;
    }
    return enumerate_drivers(main_window, describe_platform_display());
}

int render_device::enumerate_drivers(platform::WindowHandle main_window, const platform_display& display)
{
    window = main_window;
    driver_count = 0;
    desktop_width = display.desktop_width;
    desktop_height = display.desktop_height;
    desktop_depth = display.desktop_depth;
    return add_platform_driver(display);
}

int render_device::add_platform_driver(const platform_display& display)
{
    if (driver_count >= kMaxDrivers)
        return 1;
    dd_driver_info& info = drivers[driver_count];
    info = dd_driver_info{};
    info.primary = 1;
    info.dac_bits = -1;
    copy_name(info.name, kPrimaryDriverName);

    for (const display_mode& m : display.modes) {
        if (m.width > kMaxModeWidth || m.height > kMaxModeHeight || m.depth > kMaxModeDepth)
            continue;
        if (info.mode_count >= kMaxModes)
            break;
        info.modes[info.mode_count++] = {m.width, m.height, m.depth, 0};
    }

    // The primary driver lists the renderer's own rasteriser first.
    info.devices[info.device_count++] = software_entry();
    const d3d_device_info& d = display.device;
    // A device that is not hardware is listed only outside the RGB and mono
    // colour models, and only with perspective-correct textures.
    const bool listed = (d.hardware || (d.colour_model != kColourModelRgb && d.colour_model != kColourModelMono)) &&
                        d.perspective;
    if (listed && info.device_count < kMaxDevices) {
        d3d_device_info& entry = info.devices[info.device_count++];
        entry = d;
        // A depth the desktop does not have (a 15-bit desktop has none)
        // keeps the device out of a window.
        const std::int32_t desktop = depth_to_ddbd(display.desktop_depth);
        entry.windowed = info.primary && desktop > 0 && (entry.render_depths & desktop) ? 1 : 0;
    }
    set_fit_flags(info);
    ++driver_count;
    return 1;
}

// Whether front, back and Z-buffer of each mode leave room for textures in
// the video memory of the driver's first hardware device.
void render_device::set_fit_flags(dd_driver_info& info) const
{
    const d3d_device_info* hw = nullptr;
    for (int i = 0; i < info.device_count && !hw; ++i)
        if (info.devices[i].hardware)
            hw = &info.devices[i];
    if (!hw)
        return;
    const std::uint32_t local = hw->free_local_memory;
    const std::uint32_t texture = hw->free_texture_memory;
    for (int i = 0; i < info.mode_count; ++i) {
        display_mode& m = info.modes[i];
        const std::uint32_t need = static_cast<std::uint32_t>(m.height) * static_cast<std::uint32_t>(m.depth / 8) *
                                   static_cast<std::uint32_t>(m.width) * 3u;
        bool fits;
        if (hw->nonlocal_textures) {
            fits = need + 60000u < local;
        } else if (texture < local) {
            fits = texture > 600000u;
            if (local - texture < need)
                fits = false;
        } else {
            fits = need + 600000u < local;
        }
        m.fits = fits ? 1 : 0;
    }
}

int render_device::find_mode(int w, int h, int driver_index, int device_index) const
{
    const int d = driver_index == -1 ? current_driver : driver_index;
    if (d < 0 || d >= driver_count)
        return 0;
    const dd_driver_info& info = drivers[d];
    std::int32_t type = render_type;
    if (device_index != -1) {
        if (device_index < 0 || device_index >= info.device_count)
            return 0;
        type = info.devices[device_index].hardware ? kRenderHardware : kRenderSoftware;
    }
    const int wanted_depth = type == kRenderSoftware ? 8 : 16;
    for (int i = 0; i < info.mode_count; ++i) {
        const display_mode& m = info.modes[i];
        if (m.width != w || m.height != h || m.depth != wanted_depth)
            continue;
        return (type == kRenderSoftware || m.fits) ? 1 : 0;
    }
    return 0;
}
