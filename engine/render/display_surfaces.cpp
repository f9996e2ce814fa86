#include <algorithm>

#include "engine/render/render_device.h"
#include "platform/file.h"

// The display's surfaces and the 3D device on them: primary and back, the
// window's clipper, the 8-bit palette, the Z-buffer, the device with its
// viewport and background material. Each step reports its own error code
// and returns 0 on failure; what it made before stays held until the next
// init or release.

namespace {

using platform::DisplayResult;
using platform::MemoryPlace;
using platform::PixelLayout;
using platform::SurfaceKind;
using platform::SurfaceSpec;

constexpr int kFullScreenDepth = 32;
constexpr int kGeneralError = -1;
constexpr const char* kMonoPaletteFile = "gfx\\palette.pal";
constexpr std::size_t kPaletteFileBytes = 768;

// Where a surface is made: only in video memory, only in system memory, or
// wherever it fits (video memory first).
enum class Placement { Video, System, Any };

SurfaceSpec spec_of(SurfaceKind kind, int w, int h, PixelLayout layout, Placement placement)
{
    SurfaceSpec spec;
    spec.kind = kind;
    spec.width = w;
    spec.height = h;
    spec.layout = layout;
    spec.place = placement == Placement::System ? MemoryPlace::System : MemoryPlace::Video;
    spec.any_place = placement == Placement::Any;
    return spec;
}

// The Z-buffer depth a device takes, highest first; 0 for none.
int zbuffer_depth_of(std::int32_t bits)
{
    for (int depth : {32, 24, 16, 8})
        if (bits & depth_to_ddbd(depth))
            return depth;
    return 0;
}

} // namespace

int render_device::create_surfaces(int wanted_depth)
{
    release_display_surfaces();
    const bool full_screen = wanted_depth == kFullScreenDepth || !device_info.windowed;
    // The primary takes the display's layout; an 8-bit software screen draws
    // 8-bit into its back, every other one in the primary's layout.
    const PixelLayout screen_layout = display->current_mode().depth == 8 ? PixelLayout::Indexed8
                                                                          : PixelLayout::Rgb565;
    const PixelLayout back_layout =
        render_type == kRenderSoftware && screen_depth == 8 ? PixelLayout::Indexed8 : screen_layout;
    if (!create_primary_and_back(full_screen, back_layout))
        return 0;
    if (!full_screen && !attach_clipper())
        return 0;
    if (!describe_surfaces())
        return 0;
    if (!clear_surface(*back_surface) || !clear_surface(*primary_surface))
        return 0;
    return create_palette();
}

int render_device::create_primary_and_back(bool full_screen, PixelLayout back_layout)
{
    const bool hardware = render_type == kRenderHardware;
    const auto made = [this](DisplayResult result) {
        if (result == DisplayResult::Ok)
            return true;
        report_error(8);
        return false;
    };
    if (full_screen) {
        // The primary is the mode's size.
        SurfaceSpec primary = spec_of(SurfaceKind::Primary, mode.width, mode.height, back_layout,
                                      hardware ? Placement::Any : Placement::Video);
        if (render_type == kRenderSoftware) {
            if (!made(display->create_surface(primary, window, primary_surface)))
                return 0;
            // Software pictures have a spare row above and below.
            const SurfaceSpec back = spec_of(SurfaceKind::Offscreen, width, height + 2, back_layout, Placement::System);
            if (!made(display->create_surface(back, window, back_offscreen)))
                return 0;
            back_surface = back_offscreen.get();
            return 1;
        }
        primary.flipping = true;
        if (!made(display->create_surface(primary, window, primary_surface)))
            return 0;
        if (hardware) {
            // The device draws into the flip chain's own back surface.
            if (primary_surface->get_back(back_surface) != DisplayResult::Ok) {
                report_error(9);
                return 0;
            }
            return 1;
        }
        const SurfaceSpec back = spec_of(SurfaceKind::Offscreen, width, height, back_layout, Placement::System);
        if (!made(display->create_surface(back, window, back_offscreen)))
            return 0;
        back_surface = back_offscreen.get();
        return 1;
    }
    // A window: the primary is its client area.
    platform::Rect client;
    const bool have_client = platform::get_client_rect(window, client) && client.right > 0 && client.bottom > 0;
    const SurfaceSpec primary =
        spec_of(SurfaceKind::Primary, have_client ? client.right : mode.width,
                have_client ? client.bottom : mode.height, back_layout, hardware ? Placement::Any : Placement::Video);
    if (!made(display->create_surface(primary, window, primary_surface)))
        return 0;
    const SurfaceSpec back = spec_of(SurfaceKind::Offscreen, width, hardware ? height : height + 2, back_layout,
                                     hardware ? Placement::Any : Placement::System);
    if (!made(display->create_surface(back, window, back_offscreen)))
        return 0;
    back_surface = back_offscreen.get();
    return 1;
}

// What is copied into a window's primary stays inside the window.
int render_device::attach_clipper()
{
    if (display->create_clipper(clipper) != DisplayResult::Ok) {
        report_error(30);
        return 0;
    }
    if (clipper->set_window(window) != DisplayResult::Ok) {
        report_error(31);
        return 0;
    }
    if (primary_surface->set_clipper(clipper) != DisplayResult::Ok) {
        report_error(34);
        return 0;
    }
    return 1;
}

// The screen's pixel format from the primary, the back's pitch and size from
// its description, where each lies, and their pixel addresses from one lock.
int render_device::describe_surfaces()
{
    const platform::PixelMasks masks = platform::pixel_masks(primary_surface->layout());
    red_mask = masks.red;
    green_mask = masks.green;
    blue_mask = masks.blue;
    platform::SurfaceInfo back;
    if (back_surface->describe(back) != DisplayResult::Ok) {
        report_error(10);
        return 0;
    }
    back_pitch = back.pitch;
    back_width = back.width;
    back_height = back.height;
    back_in_video = back.place == MemoryPlace::Video ? 1 : 0;
    primary_in_video = primary_surface->place() == MemoryPlace::Video ? 1 : 0;

    platform::SurfaceLock lock;
    if (back_surface->lock(lock) != DisplayResult::Ok) {
        report_error(kGeneralError);
        return 0;
    }
    back_address = lock.pixels;
    back_surface->unlock();
    if (primary_surface->lock(lock) != DisplayResult::Ok) {
        report_error(kGeneralError);
        return 0;
    }
    primary_address = lock.pixels;
    primary_surface->unlock();
    screen_pixels = back_address;
    return 1;
}

int render_device::clear_surface(platform::Surface& surface)
{
    if (surface.fill(nullptr, 0) != DisplayResult::Ok) {
        report_error(11);
        return 0;
    }
    return 1;
}

// An 8-bit back surface draws through the screen palette, which starts as
// the renderer's own palette (the platform has no system palette to take),
// and the palette hardware's width is measured.
int render_device::create_palette()
{
    if (back_surface->layout() != PixelLayout::Indexed8)
        return 1;
    if (display->create_palette(palette, screen_palette) != DisplayResult::Ok) {
        report_error(35);
        return 0;
    }
    if (back_surface->set_palette(screen_palette) != DisplayResult::Ok ||
        (primary_surface->layout() == PixelLayout::Indexed8 &&
         primary_surface->set_palette(screen_palette) != DisplayResult::Ok)) {
        report_error(36);
        return 0;
    }
    drivers[driver].dac_bits = display->dac_bits() == 8 ? 8 : 6;
    return 1;
}

// A Z-buffer of the device's deepest depth, attached to the back: the
// mode's size in full screen, the display's in a window; in video memory
// for a hardware device.
int render_device::create_zbuffer()
{
    zbuffer.reset();
    zbuffer_in_video = 0;
    if (!device_info.has_zbuffer)
        return 1;
    // The platform makes 16-bit Z-buffers only.
    if (zbuffer_depth_of(device_info.zbuffer_depths) != 16) {
        report_error(45);
        return 0;
    }
    // At least the back's size, so that it can be attached to it (a
    // software-drawn back has two spare rows).
    const int w = std::max(exclusive ? mode.width : width, back_width);
    const int h = std::max(exclusive ? mode.height : height, back_height);
    const SurfaceSpec spec = spec_of(SurfaceKind::DepthBuffer, w, h, PixelLayout::Depth16,
                                     device_info.hardware ? Placement::Any : Placement::System);
    if (display->create_surface(spec, window, zbuffer) != DisplayResult::Ok) {
        report_error(38);
        return 0;
    }
    if (back_surface->attach_depth_buffer(*zbuffer) != DisplayResult::Ok) {
        report_error(9);
        return 0;
    }
    platform::SurfaceInfo info;
    if (zbuffer->describe(info) != DisplayResult::Ok) {
        report_error(10);
        return 0;
    }
    zbuffer_in_video = info.place == MemoryPlace::Video ? 1 : 0;
    if (device_info.hardware && !zbuffer_in_video) {
        report_error(46);
        return 0;
    }
    return 1;
}

int render_device::create_device()
{
    viewport.reset();
    background_material.reset();
    device3d.reset();
    if (device_info.hardware && !back_in_video) {
        report_error(47);
        return 0;
    }
    if (display->create_device(device_info.name, *back_surface, device3d) != DisplayResult::Ok) {
        report_error(12);
        return 0;
    }
    // The white texture material belonged to the device that went: the
    // textures drawn from now on are lit with one made on this device.
    if (texture_material_made) {
        texture_material.reset();
        texture_material_handle = 0;
        texture_material_made = 0;
        return make_texture_material();
    }
    return 1;
}

// The viewport covers the mode in full screen, the display in a window.
int render_device::create_viewport()
{
    if (device3d->create_viewport(viewport) != DisplayResult::Ok) {
        report_error(13);
        return 0;
    }
    if (device3d->add_viewport(*viewport) != DisplayResult::Ok) {
        report_error(14);
        return 0;
    }
    const int w = exclusive ? mode.width : width;
    const int h = exclusive ? mode.height : height;
    viewport_clear = {0, 0, w, h};
    if (viewport->set_rect(viewport_clear) != DisplayResult::Ok ||
        device3d->set_current_viewport(*viewport) != DisplayResult::Ok) {
        report_error(15);
        return 0;
    }
    return 1;
}

int render_device::create_background_material()
{
    if (device3d->create_material(background_material) != DisplayResult::Ok) {
        report_error(16);
        return 0;
    }
    if (!set_background(0.0f, 0.0f, 0.0f))
        return 0;
    if (background_material->get_handle(background_handle) != DisplayResult::Ok) {
        report_error(18);
        return 0;
    }
    if (viewport->set_background(background_handle) != DisplayResult::Ok) {
        report_error(19);
        return 0;
    }
    return 1;
}

// The mono colour model keeps "gfx\palette.pal" as its screen palette:
// 768 bytes of 6-bit components (masked to 6 bits; a file of another size
// is refused as one that cannot be read).
int render_device::load_mono_palette()
{
    std::vector<std::uint8_t> bytes;
    if (!platform::read_whole_file(kMonoPaletteFile, bytes) || bytes.size() != kPaletteFileBytes) {
        report_error(37);
        return 0;
    }
    std::uint32_t entries[256];
    for (int i = 0; i < 256; ++i) {
        const std::uint32_t r = (bytes[3 * i] & 0x3Fu) * 4, g = (bytes[3 * i + 1] & 0x3Fu) * 4,
                            b = (bytes[3 * i + 2] & 0x3Fu) * 4;
        entries[i] = r << 16 | g << 8 | b;
    }
    if (display->create_palette(entries, screen_palette) != DisplayResult::Ok) {
        report_error(35);
        return 0;
    }
    return 1;
}
