#pragma once

#include <cstdint>
#include <cstring>

#include "engine/render/render_device.h"

namespace torvane_test {

// A pixel of the renderer's back buffer: a palette index on an 8-bit screen,
// the 16-bit value otherwise.
inline std::uint32_t back_pixel(const render_device& device, int x, int y)
{
    const std::uint8_t* row = device.back_buffer.data() + static_cast<std::size_t>(y) * device.back_pitch;
    if (device.screen_depth == 8)
        return row[x];
    std::uint16_t v;
    std::memcpy(&v, row + 2 * x, 2);
    return v;
}

inline void put_back_pixel(render_device& device, int x, int y, std::uint32_t v)
{
    std::uint8_t* row = device.back_buffer.data() + static_cast<std::size_t>(y) * device.back_pitch;
    if (device.screen_depth == 8) {
        row[x] = static_cast<std::uint8_t>(v);
        return;
    }
    const std::uint16_t w = static_cast<std::uint16_t>(v);
    std::memcpy(row + 2 * x, &w, 2);
}

} // namespace torvane_test
