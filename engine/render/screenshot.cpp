#include "engine/render/screenshot.h"

#include <cstdio>
#include <cstring>

#include "engine/render/render_device.h"
#include "platform/file.h"

std::int32_t screenshot_number = 0;

namespace {

constexpr std::uint32_t kHeaderBytes = 54;
constexpr std::uint32_t kInfoBytes = 40;
constexpr std::int32_t kLastNumber = 1000;

void put16(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

struct Bgr {
    std::uint8_t b = 0, g = 0, r = 0;
};

// One pixel of the back buffer as blue, green, red.
Bgr unpack(const render_device& device, int x, int y)
{
    Bgr c;
    if (x >= device.draw_width || y >= device.draw_height)
        return c;
    const std::uint8_t* row = device.back_buffer.data() + static_cast<std::size_t>(y) * device.back_pitch;
    if (device.screen_depth != 16) {
        const std::uint32_t rgb = device.palette[row[x]];
        c.r = static_cast<std::uint8_t>(rgb >> 16);
        c.g = static_cast<std::uint8_t>(rgb >> 8);
        c.b = static_cast<std::uint8_t>(rgb);
        return c;
    }
    const std::uint32_t p = static_cast<std::uint32_t>(row[2 * x] | row[2 * x + 1] << 8);
    if (device.red_mask == 0x1F) { // BGR 565
        c.b = static_cast<std::uint8_t>((p >> 8) & 0xF8);
        c.g = static_cast<std::uint8_t>((p >> 3) & 0xFC);
        c.r = static_cast<std::uint8_t>((p & 0x1F) << 3);
    } else if (device.red_mask + device.green_mask + device.blue_mask == 0x7FFF) { // 555
        c.b = static_cast<std::uint8_t>((p & 0x1F) << 3);
        c.g = static_cast<std::uint8_t>((p >> 2) & 0xF8);
        c.r = static_cast<std::uint8_t>((p >> 7) & 0xF8);
    } else { // 565
        c.b = static_cast<std::uint8_t>((p & 0x1F) << 3);
        c.g = static_cast<std::uint8_t>((p >> 3) & 0xFC);
        c.r = static_cast<std::uint8_t>((p >> 8) & 0xF8);
    }
    return c;
}

} // namespace

std::vector<std::uint8_t> screenshot_bmp_bytes(render_device& device)
{
    device.end_batch_scene();
    const std::uint32_t w = device.width > 0 ? static_cast<std::uint32_t>(device.width) : 0;
    const std::uint32_t h = device.height > 0 ? static_cast<std::uint32_t>(device.height) : 0;
    const std::uint32_t row_bytes = (3 * w + 3) & ~3u;
    const std::uint32_t image_bytes = row_bytes * h;

    std::vector<std::uint8_t> out;
    out.reserve(kHeaderBytes + image_bytes);
    out.push_back('B');
    out.push_back('M');
    put32(out, kHeaderBytes + image_bytes); // file size
    put32(out, 0);                          // reserved
    put32(out, kHeaderBytes);               // offset of the pixels
    put32(out, kInfoBytes);
    put32(out, w);
    put32(out, h); // positive: the bottom row comes first
    put16(out, 1); // planes
    put16(out, 24);
    put32(out, 0); // no compression
    put32(out, image_bytes);
    put32(out, 0); // resolutions
    put32(out, 0);
    put32(out, 0); // colours used
    put32(out, 0); // important colours

    const bool readable = device.surfaces_valid && !device.back_buffer.empty();
    for (std::uint32_t row = 0; row < h; ++row) {
        const int y = static_cast<int>(h - 1 - row);
        for (std::uint32_t x = 0; x < w; ++x) {
            const Bgr c = readable ? unpack(device, static_cast<int>(x), y) : Bgr{};
            out.push_back(c.b);
            out.push_back(c.g);
            out.push_back(c.r);
        }
        out.insert(out.end(), row_bytes - 3 * w, 0);
    }
    return out;
}

int render_device::save_screenshot()
{
    char name[32];
    for (;;) {
        std::snprintf(name, sizeof name, "scre%03d.bmp", static_cast<int>(screenshot_number));
        if (!platform::file_exists(name))
            break;
        ++screenshot_number;
        if (screenshot_number > kLastNumber)
            return 0;
    }
    if (!surfaces_valid || back_buffer.empty() || width <= 0 || height <= 0)
        return 0;
    const std::vector<std::uint8_t> bytes = screenshot_bmp_bytes(*this);
    if (!platform::write_whole_file(name, bytes)) {
        // The game goes on without its screenshot.
        std::printf("errore !! %s\n", name);
        std::fflush(stdout);
        return 0;
    }
    ++screenshot_number;
    return 1;
}
