#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/png_image.h"

namespace torvane_test {

// A screenshot read back: rows top to bottom, red, green, blue.
struct Screenshot {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;

    PngImage Png() const
    {
        PngImage image;
        image.width = width;
        image.height = height;
        image.indexed = false;
        image.pixels = rgb;
        return image;
    }
};

// Reads a screenshot file: an uncompressed 24-bit bitmap with the 54-byte
// header, rows bottom up, each padded to 4 bytes. Every field that places
// the pixels is checked against the file's length; false with `error` for
// anything else.
inline bool read_screenshot(const std::string& path, Screenshot& out, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    const std::vector<std::uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto u16 = [&b](std::size_t at) { return std::uint32_t(b[at] | b[at + 1] << 8); };
    const auto u32 = [&b](std::size_t at) {
        return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 | std::uint32_t(b[at + 2]) << 16 |
               std::uint32_t(b[at + 3]) << 24;
    };
    if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') {
        error = "not a bitmap";
        return false;
    }
    const std::int32_t w = static_cast<std::int32_t>(u32(18));
    const std::int32_t h = static_cast<std::int32_t>(u32(22));
    const std::uint32_t offset = u32(10);
    if (u32(2) != b.size() || u32(14) != 40 || u16(26) != 1 || u16(28) != 24 || u32(30) != 0 || w <= 0 || h <= 0 ||
        w > 8192 || h > 8192 || offset < 54) {
        error = "not an uncompressed 24-bit bitmap of the file's length";
        return false;
    }
    const std::size_t pitch = (std::size_t(w) * 3 + 3) & ~std::size_t(3);
    if (offset + pitch * std::size_t(h) != b.size()) {
        error = "the rows do not fill the file";
        return false;
    }
    out.width = w;
    out.height = h;
    out.rgb.assign(std::size_t(w) * std::size_t(h) * 3, 0);
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* row = &b[offset + pitch * std::size_t(h - 1 - y)];
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c)
                out.rgb[(std::size_t(y) * std::size_t(w) + std::size_t(x)) * 3 + std::size_t(c)] = row[3 * x + 2 - c];
    }
    return true;
}

} // namespace torvane_test
