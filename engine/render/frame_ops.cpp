#include <algorithm>

#include "engine/render/render_device.h"
#include "platform/frame.h"

int render_device::clear_zbuffer()
{
    // There is no Z-buffer before the 3D device draws.
    return 1;
}

int render_device::clear_back_buffer()
{
    if (!surfaces_valid || paused || back_buffer.empty())
        return 1;
    if (screen_depth == 16) {
        const auto pixel = static_cast<std::uint16_t>(pack_by_masks(background));
        for (int y = 0; y < height; ++y) {
            auto* row = reinterpret_cast<std::uint16_t*>(back_buffer.data() + static_cast<std::size_t>(y) * back_pitch);
            std::fill(row, row + width, pixel);
        }
    } else {
        std::fill(back_buffer.begin(), back_buffer.end(), static_cast<std::uint8_t>(background_pixel));
    }
    return 1;
}

int render_device::present()
{
    triangles = 0;
    if (paused)
        return 1;
    if (!surfaces_valid || closing || back_buffer.empty())
        return 1;
    platform::FrameView frame;
    frame.width = width;
    frame.height = height;
    frame.format = screen_depth == 16 ? platform::PixelFormat::Rgb565 : platform::PixelFormat::Indexed8;
    frame.pixels = back_buffer.data();
    frame.pitch = back_pitch;
    frame.palette = palette;
    if (platform::present_frame(window, frame)) {
        ++frames_presented;
        palette_dirty = 0;
        return 1;
    }
    // A window that cannot take the frame drops it; a full-screen display
    // that cannot show it is a failure.
    if (exclusive) {
        report_error(27);
        return 0;
    }
    return 1;
}
