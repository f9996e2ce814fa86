#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "engine/render/render_device.h"
#include "platform/display.h"
#include "tests/support/png_image.h"

namespace torvane_test {

// The renderer's back surface as an RGB picture of width x height: a 16-bit
// screen's 565 pixels widened to 8 bits a channel; an 8-bit screen's
// indices through `palette` (768 bytes of 0..255 RGB). The software type's
// picture starts one row into its back surface.
inline PngImage back_surface_picture(render_device& device, int width, int height,
                                     const std::vector<std::uint8_t>& palette)
{
    PngImage image;
    image.width = width;
    image.height = height;
    image.indexed = false;
    image.pixels.resize(std::size_t(width) * height * 3);
    platform::SurfaceLock lock;
    EXPECT_EQ(device.back_surface->lock(lock), platform::DisplayResult::Ok);
    const int first_row = device.screen_depth == 8 ? 1 : 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* out = &image.pixels[3 * (std::size_t(y) * width + x)];
            const std::uint8_t* row = lock.pixels + std::size_t(y + first_row) * lock.pitch;
            if (device.screen_depth == 8) {
                std::memcpy(out, &palette[3 * row[x]], 3);
            } else {
                std::uint16_t v;
                std::memcpy(&v, row + 2 * x, 2);
                out[0] = static_cast<std::uint8_t>((v >> 11) * 255 / 31);
                out[1] = static_cast<std::uint8_t>(((v >> 5) & 63) * 255 / 63);
                out[2] = static_cast<std::uint8_t>((v & 31) * 255 / 31);
            }
        }
    device.back_surface->unlock();
    return image;
}

// The palette an 8-bit screen shows (the renderer's loaded palette), as
// back_surface_picture takes it.
inline std::vector<std::uint8_t> screen_palette(const render_device& device)
{
    std::vector<std::uint8_t> rgb(768);
    for (int i = 0; i < 256; ++i)
        for (int c = 0; c < 3; ++c)
            rgb[std::size_t(3 * i + c)] = static_cast<std::uint8_t>(device.palette_rgb[i][c]);
    return rgb;
}

} // namespace torvane_test
