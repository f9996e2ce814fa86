#pragma once

// A picture of the whole 640 x 480 menu screen in 5-6-5 values, painted by
// rules a test states itself (independently of the menu code), to compare
// the back buffer with.

#include <cstdint>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "tests/menu/menu_fixture.h"

namespace menu_test {

// A clip rectangle (right and bottom exclusive); the whole screen by default.
struct ClipRect {
    int left = 0, top = 0, right = 640, bottom = 480;
};

class Reference {
public:
    explicit Reference(std::uint16_t background) : pixels_(640u * 480u, background) {}

    void put(int x, int y, std::uint16_t v)
    {
        if (x >= clip_.left && x < clip_.right && y >= clip_.top && y < clip_.bottom && x >= 0 && x < 640 &&
            y >= 0 && y < 480)
            pixels_[static_cast<std::size_t>(y) * 640u + static_cast<std::size_t>(x)] = v;
    }
    std::uint16_t at(int x, int y) const
    {
        return pixels_[static_cast<std::size_t>(y) * 640u + static_cast<std::size_t>(x)];
    }
    // What the following drawing is clipped to.
    void clip(ClipRect rect) { clip_ = rect; }
    void unclip() { clip_ = ClipRect{}; }

    // A framed picture as the fixture writes it, drawn at (x, y) in the
    // colours a picture is shown with.
    void framed(int x, int y, int width, int height, std::uint8_t fill, std::uint8_t border)
    {
        for (int j = 0; j < height; ++j)
            for (int i = 0; i < width; ++i) {
                const bool edge = i == 0 || j == 0 || i == width - 1 || j == height - 1;
                put(x + i, y + j, picture_pixel565(edge ? border : fill));
            }
    }

    // Block-font text with its first cell's top-left corner at (x, y).
    void block_text(int x, int y, std::string_view text, const GameFontWords& words, std::uint8_t ink)
    {
        const std::uint16_t v = rgb565(palette_colour(ink));
        for (const char ch : text) {
            const unsigned char c = static_cast<unsigned char>(ch);
            if (c == ' ' || c == '_') {
                x += words.space;
                continue;
            }
            const int w = block_glyph_width(c, words);
            for (int j = 0; j < block_glyph_height(words); ++j)
                for (int i = 0; i < w; ++i)
                    put(x + i, y + j, v);
            x += w + words.spacing;
        }
    }

private:
    std::vector<std::uint16_t> pixels_;
    ClipRect clip_;
};

// Compares the back buffer with the reference: every pixel, naming the
// first few that differ.
inline void expect_screen(const render_device& device, const Reference& reference)
{
    int differing = 0;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            const std::uint32_t shown = torvane_test::back_pixel(device, x, y);
            if (shown != reference.at(x, y) && ++differing <= 5)
                ADD_FAILURE() << "pixel (" << x << ", " << y << ") is 0x" << std::hex << shown << ", expected 0x"
                              << reference.at(x, y);
        }
    EXPECT_EQ(differing, 0);
}

} // namespace menu_test
