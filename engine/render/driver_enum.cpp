#include <algorithm>
#include <bit>
#include <cstring>

#include "engine/render/render_device.h"

// The driver list, read from the platform's display service: its drivers,
// for each the modes it can use and its 3D devices (the renderer's own
// "RenderSoftware" entry first on the primary driver), for each device its
// capabilities, texture formats and free video memory.

namespace {

// Modes wider, higher or deeper than these are not used.
constexpr int kMaxModeWidth = 1024;
constexpr int kMaxModeHeight = 768;
constexpr int kMaxModeDepth = 16;

constexpr const char* kSoftwareDeviceName = "RenderSoftware";

constexpr std::int32_t kColourModelMono = 1;
constexpr std::int32_t kColourModelRgb = 2;
constexpr std::int32_t kZCompareLess = 2;
constexpr std::int32_t kZCompareLessEqual = 4;

// Room a mode must leave for textures in video memory, beside its front,
// back and Z-buffer.
constexpr std::uint64_t kTextureRoom = 600000;
constexpr std::uint64_t kNonLocalTextureRoom = 60000;

void copy_name(char (&field)[64], const std::string& text)
{
    std::memset(field, 0, sizeof field);
    // At most 62 characters, as the driver descriptions are copied.
    text.copy(field, 62);
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

// The length of the run of 1 bits of a channel mask.
std::int32_t mask_bits(std::uint32_t mask)
{
    if (mask == 0)
        return 0;
    return std::countr_one(mask >> std::countr_zero(mask));
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

int render_device::enumerate_drivers(platform::WindowHandle main_window)
{
    window = main_window;
    driver_count = 0;
    if (!platform::is_window(main_window)) {
        report_error(1);
        return 0;
    }
    if (!read_desktop_mode())
        return 0;
    std::vector<std::string> names;
    if (platform::DisplayDriver::list_drivers(names) != platform::DisplayResult::Ok) {
        report_error(0);
        return 0;
    }
    for (const std::string& name : names)
        if (!add_driver(name))
            return 0;
    return 1;
}

int render_device::read_desktop_mode()
{
    auto driver = platform::DisplayDriver::open();
    if (!driver) {
        report_error(1);
        return 0;
    }
    platform::DisplayModeInfo desktop;
    if (driver->desktop_mode(desktop) != platform::DisplayResult::Ok) {
        report_error(2);
        return 0;
    }
    desktop_width = desktop.width;
    desktop_height = desktop.height;
    desktop_depth = desktop.depth;
    return 1;
}

// The platform has only its primary driver: every driver it lists is taken
// as one that can draw in 3D.
int render_device::add_driver(const std::string& name)
{
    if (driver_count >= kMaxDrivers)
        return 1;
    auto driver = platform::DisplayDriver::open();
    if (!driver) {
        report_error(1);
        return 0;
    }
    dd_driver_info& info = drivers[driver_count];
    info = dd_driver_info{};
    info.primary = driver_count == 0 ? 1 : 0;
    info.standard_vga = 0;
    info.dac_bits = -1;
    copy_name(info.name, name);

    std::vector<platform::DisplayModeInfo> modes;
    if (driver->list_modes(modes) != platform::DisplayResult::Ok) {
        report_error(3);
        return 0;
    }
    for (const platform::DisplayModeInfo& m : modes) {
        if (m.width > kMaxModeWidth || m.height > kMaxModeHeight || m.depth > kMaxModeDepth)
            continue;
        if (info.mode_count >= kMaxModes)
            break;
        info.modes[info.mode_count++] = {m.width, m.height, m.depth, 0};
    }

    if (driver->open_3d() != platform::DisplayResult::Ok) {
        report_error(4);
        return 0;
    }
    if (info.primary && info.device_count == 0)
        info.devices[info.device_count++] = software_entry();
    std::vector<platform::DeviceInfo> devices;
    if (driver->list_devices(devices) != platform::DisplayResult::Ok) {
        report_error(5);
        return 0;
    }
    for (const platform::DeviceInfo& d : devices) {
        if (info.device_count >= kMaxDevices)
            break;
        add_device(info, *driver, d);
    }
    set_fit_flags(info);
    ++driver_count;
    return 1;
}

void render_device::add_device(dd_driver_info& info, platform::DisplayDriver& driver, const platform::DeviceInfo& d)
{
    // A device that is not hardware is listed only outside the RGB and mono
    // colour models, and only with perspective-correct textures.
    if (!d.hardware && (d.colour_model == kColourModelRgb || d.colour_model == kColourModelMono))
        return;
    if (!d.perspective_textures)
        return;
    d3d_device_info& entry = info.devices[info.device_count];
    entry = d3d_device_info{};
    copy_name(entry.name, d.name);
    copy_name(entry.description, d.description);
    entry.colour_model = d.colour_model;
    for (int depth : d.render_depths)
        if (depth_to_ddbd(depth) > 0)
            entry.render_depths |= depth_to_ddbd(depth);
    entry.hardware = d.hardware ? 1 : 0;
    entry.nonlocal_textures = d.nonlocal_textures ? 1 : 0;
    entry.perspective = 1;
    entry.stippled_alpha = d.stippled_alpha ? 1 : 0;
    entry.has_zbuffer = d.depth_buffer_depths.empty() ? 0 : 1;
    for (int depth : d.depth_buffer_depths)
        if (depth_to_ddbd(depth) > 0)
            entry.zbuffer_depths |= depth_to_ddbd(depth);
    entry.zcompare = d.compare_less ? kZCompareLess : d.compare_less_equal ? kZCompareLessEqual : 0;
    // A desktop depth the device capabilities have no bit for (15 bits)
    // keeps every device out of a window.
    const std::int32_t desktop = depth_to_ddbd(desktop_depth);
    entry.windowed = info.primary && desktop > 0 && (entry.render_depths & desktop) ? 1 : 0;
    entry.line_caps = d.line_drawing ? 1 : 0;
    entry.clipping = d.clipping ? 1 : 0;
    entry.max_buffer_size = d.max_buffer_size;
    entry.max_vertex_count = d.max_vertex_count;
    entry.square_only = d.square_textures_only ? 1 : 0;
    entry.palettised = 0;
    std::uint64_t bytes = 0;
    if (driver.free_video_memory(bytes) == platform::DisplayResult::Ok)
        entry.free_local_memory = bytes;
    if (driver.free_texture_memory(bytes) == platform::DisplayResult::Ok)
        entry.free_texture_memory = bytes;
    test_device(entry, driver, d);
    ++info.device_count;
}

// Tries the device on a small target in video memory to learn its texture
// formats, and a 256 x 256 texture to learn whether textures stay in video
// memory. A device that fails these keeps the flags it got.
void render_device::test_device(d3d_device_info& entry, platform::DisplayDriver& driver,
                                const platform::DeviceInfo& d)
{
    using platform::DisplayResult;
    entry.local_textures = 1;
    platform::SurfaceSpec spec;
    spec.width = spec.height = 64;
    spec.layout = platform::PixelLayout::Rgb565;
    spec.place = platform::MemoryPlace::Video;
    spec.any_place = true;
    std::unique_ptr<platform::Surface> target;
    if (driver.create_surface(spec, {}, target) == DisplayResult::Ok) {
        std::unique_ptr<platform::Device3D> device;
        if (driver.create_device(d.name, *target, device) == DisplayResult::Ok)
            enum_texture_formats(*device);
    }
    platform::SurfaceSpec texture_spec;
    texture_spec.kind = platform::SurfaceKind::Texture;
    texture_spec.width = texture_spec.height = 256;
    texture_spec.layout = texture_format_count > 0 ? texture_formats[0].layout : platform::PixelLayout::Rgb565;
    texture_spec.place = platform::MemoryPlace::Video;
    texture_spec.any_place = true;
    std::unique_ptr<platform::Surface> texture;
    if (driver.create_surface(texture_spec, {}, texture) == DisplayResult::Ok &&
        texture->place() != platform::MemoryPlace::Video)
        entry.local_textures = 0;
    for (int i = 0; i < texture_format_count; ++i)
        if (texture_formats[i].palettised && texture_formats[i].index_bits == 8)
            entry.palettised = 1;
}

int render_device::enum_texture_formats(platform::Device3D& device)
{
    texture_format_count = 0;
    texture_format_index = -1;
    std::vector<platform::PixelLayout> layouts;
    if (device.texture_formats(layouts) != platform::DisplayResult::Ok) {
        report_error(33);
        return 0;
    }
    for (platform::PixelLayout layout : layouts) {
        if (texture_format_count >= kMaxTextureFormats)
            break;
        texture_format_info& f = texture_formats[texture_format_count];
        f = texture_format_info{};
        f.layout = layout;
        f.masks = platform::pixel_masks(layout);
        if (f.masks.palettised) {
            f.palettised = 1;
            f.index_bits = f.masks.index_bits;
        } else {
            f.red_bits = mask_bits(f.masks.red);
            f.green_bits = mask_bits(f.masks.green);
            f.blue_bits = mask_bits(f.masks.blue);
            f.alpha_bits = mask_bits(f.masks.alpha);
            if (f.alpha_bits == 4)
                alpha4 = 1;
        }
        // The last palettised format wins, else the first one.
        if (texture_format_index == -1 || f.palettised)
            texture_format_index = texture_format_count;
        ++texture_format_count;
    }
    if (texture_format_index >= 0)
        texture_format = texture_formats[texture_format_index];
    return 1;
}

// Whether front, back and Z-buffer of each mode leave room for textures in
// the video memory of the driver's first hardware device. The sums are
// taken in 64 bits, so that no budget or mode wraps them.
void render_device::set_fit_flags(dd_driver_info& info) const
{
    const d3d_device_info* hw = nullptr;
    for (int i = 0; i < info.device_count && !hw; ++i)
        if (info.devices[i].hardware)
            hw = &info.devices[i];
    if (!hw)
        return;
    const std::uint64_t local = hw->free_local_memory;
    const std::uint64_t texture = hw->free_texture_memory;
    for (int i = 0; i < info.mode_count; ++i) {
        display_mode& m = info.modes[i];
        const std::uint64_t need = static_cast<std::uint64_t>(std::max(m.height, 0)) *
                                   static_cast<std::uint64_t>(std::max(m.depth / 8, 0)) *
                                   static_cast<std::uint64_t>(std::max(m.width, 0)) * 3u;
        bool fits;
        if (hw->nonlocal_textures) {
            fits = need + kNonLocalTextureRoom < local;
        } else if (texture < local) {
            fits = texture > kTextureRoom;
            if (local - texture < need)
                fits = false;
        } else {
            fits = need + kTextureRoom < local;
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

void render_device::select_mode(const dd_driver_info& info)
{
    int chosen = -1;
    for (int i = 0; i < info.mode_count && chosen < 0; ++i) {
        const display_mode& m = info.modes[i];
        if (m.width == width && m.height == height && m.depth == screen_depth)
            chosen = i;
    }
    // Else the last smaller mode of the depth, in list order.
    for (int i = info.mode_count - 1; i >= 0 && chosen < 0; --i) {
        const display_mode& m = info.modes[i];
        if (m.width <= width && m.height <= height && m.depth == screen_depth)
            chosen = i;
    }
    current_mode = chosen < 0 ? 0 : chosen;
    mode = info.mode_count > 0 ? info.modes[current_mode] : display_mode{};
}
