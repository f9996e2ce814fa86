#include <algorithm>

#include "engine/render/render_device.h"

// Clearing and showing a frame, and getting lost surfaces back.

namespace {

using platform::DisplayResult;

// The software picture's border takes the darkest palette entry on an 8-bit
// screen (its first column, its last two and its last three rows) and black
// on a 16-bit one (first and last column, last row).
void paint_border(std::uint8_t* pixels, int pitch, int w, int h, int bytes, std::uint32_t value, int right,
                  int bottom)
{
    const auto put = [&](int x, int y) {
        std::uint8_t* p = pixels + static_cast<std::size_t>(y) * pitch + static_cast<std::size_t>(x) * bytes;
        p[0] = static_cast<std::uint8_t>(value);
        if (bytes == 2)
            p[1] = static_cast<std::uint8_t>(value >> 8);
    };
    for (int y = 0; y < h; ++y) {
        put(0, y);
        for (int x = std::max(w - right, 0); x < w; ++x)
            put(x, y);
    }
    for (int y = std::max(h - bottom, 0); y < h; ++y)
        for (int x = 0; x < w; ++x)
            put(x, y);
}

} // namespace

int render_device::clear_zbuffer()
{
    if (!surfaces_valid || paused || render_type == kRenderSoftware || !device3d)
        return 1;
    const DisplayResult result = device3d->clear(false, zbuffer != nullptr);
    if (result == DisplayResult::Lost)
        return restore_surfaces();
    if (result != DisplayResult::Ok) {
        report_error(22);
        return 0;
    }
    return 1;
}

int render_device::clear_back_buffer()
{
    if (!surfaces_valid || paused || !back_surface)
        return 1;
    if (render_type == kRenderSoftware) {
        const DisplayResult result = back_surface->fill(&software_clear, background_pixel);
        if (result == DisplayResult::Lost)
            return restore_surfaces();
        if (result != DisplayResult::Ok) {
            report_error(11);
            return 0;
        }
        return 1;
    }
    if (!device3d)
        return 1;
    const DisplayResult result = device3d->clear(true, zbuffer != nullptr);
    if (result == DisplayResult::Lost)
        return restore_surfaces();
    if (result != DisplayResult::Ok) {
        report_error(22);
        return 0;
    }
    return 1;
}

int render_device::present()
{
    triangles = 0;
    texture_bytes_previous = texture_bytes_uploaded;
    texture_bytes_uploaded = 0;
    if (paused)
        return 1;
    if (!primary_surface || !back_surface || closing)
        return 1;
    return render_type == kRenderSoftware ? present_software() : present_3d();
}

// A lost surface is restored and the frame dropped; true when the result
// was that.
bool render_device::restore_after(DisplayResult result)
{
    if (result != DisplayResult::Lost)
        return false;
    restore_surfaces();
    palette_dirty = 1;
    return true;
}

int render_device::present_software()
{
    if (palette_dirty && screen_depth == 8 && screen_palette &&
        screen_palette->set_entries(0, 256, palette) == DisplayResult::Ok)
        palette_dirty = 0;
    paint_software_border();
    // The picture starts on the back's second row.
    const int w = std::min(client_width, back_width);
    const int h = std::min(client_height, back_height - 1);
    if (w <= 0 || h <= 0)
        return 1;
    const platform::PixelRect source{0, 1, w, h + 1};
    const platform::PixelRect dest{0, 0, w, h};
    const DisplayResult result = primary_surface->blit(&dest, *back_surface, &source, false);
    if (result == DisplayResult::Ok) {
        ++frames_presented;
        return 1;
    }
    if (restore_after(result))
        return 1;
    report_error(27);
    return 0;
}

void render_device::paint_software_border()
{
    if (!screen_pixels || draw_width <= 0 || draw_height <= 0)
        return;
    if (screen_depth == 8)
        paint_border(screen_pixels, back_pitch, draw_width, draw_height, 1, static_cast<std::uint32_t>(darkest_index),
                     2, 3);
    else
        paint_border(screen_pixels, back_pitch, draw_width, draw_height, 2, 0, 1, 1);
}

int render_device::present_3d()
{
    // Textures painted since the last frame are loaded again.
    if (!reload_pending_textures())
        return 0;
    DisplayResult result = back_surface->fill(&right_strip, 0);
    if (result == DisplayResult::Ok)
        result = back_surface->fill(&bottom_strip, 0);
    if (restore_after(result))
        return 1;
    if (!exclusive) {
        const int w = std::min(client_width, back_width);
        const int h = std::min(client_height, back_height);
        if (w <= 0 || h <= 0)
            return 1;
        const platform::PixelRect rect{0, 0, w, h};
        result = primary_surface->blit(&rect, *back_surface, &rect, false);
        if (result == DisplayResult::Ok)
            ++frames_presented;
        // A copy into a window that fails drops the frame; a lost surface
        // is restored.
        restore_after(result);
        return 1;
    }
    result = primary_surface->flip();
    if (result == DisplayResult::Ok) {
        ++frames_presented;
        return 1;
    }
    if (restore_after(result))
        return 1;
    report_error(27);
    return 0;
}

int render_device::restore_surfaces()
{
    int result = 1;
    if (primary_surface && !restore_surface(*primary_surface))
        result = 0;
    if (back_surface && !restore_surface(*back_surface))
        result = 0;
    if (zbuffer && !restore_surface(*zbuffer))
        result = 0;
    // The surfaces are usable only when none of them is still lost.
    const bool lost = (primary_surface && primary_surface->lost()) || (back_surface && back_surface->lost()) ||
                      (zbuffer && zbuffer->lost());
    if (lost)
        surfaces_valid = 0;
    // Video copies of textures lost with the display come back from their
    // system copies.
    if (surfaces_lost && render_type != kRenderSoftware) {
        surfaces_lost = 0;
        if (!reload_lost_textures())
            result = 0;
    }
    return result;
}

// A lost surface gets its memory back, cleared; one that cannot be restored
// leaves the surfaces invalid until a later restore succeeds.
int render_device::restore_surface(platform::Surface& surface)
{
    if (!surface.lost())
        return 1;
    surfaces_lost = 1;
    if (surface.restore() != DisplayResult::Ok) {
        surfaces_valid = 0;
        return 1;
    }
    if (surface.kind() != platform::SurfaceKind::DepthBuffer && !clear_surface(surface))
        return 0;
    surfaces_valid = 1;
    return 1;
}
