// Pictures drawn into 8-bit and 16-bit screens, compared with a reference
// the test builds from the sheet by the drawing rules (transparent index 0
// left out, each channel raised one step and packed by the screen's
// layout, clipped to the rectangle and the screen), and that reference with
// the checked-in golden image.

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/render/lib2d_picture.h"
#include "tests/engine/render/rast_test_fixture.h"
#include "tests/engine/render/screen_fixture.h"
#include "tools/datakit/pcx_writer.h"

using screen_test::Layout;

namespace {

constexpr int kCellW = 11, kCellH = 12;     // odd width: a transparent column is added
constexpr int kViewW = 48, kViewH = 32;     // the part of the screen compared

datakit::PcxPicture sheet()
{
    datakit::PcxPicture p;
    p.width = 24;
    p.height = kCellH;
    p.pixels.assign(static_cast<std::size_t>(p.width) * p.height, 0);
    for (int y = 0; y < kCellH; ++y)
        for (int x = 0; x < kCellW; ++x) {
            // Frame 0: a diamond of shades; frame 1: a ring.
            const int dx = x - 5, dy = y - 6;
            if (std::abs(dx) + std::abs(dy) <= 5)
                p.pixels[static_cast<std::size_t>(y) * p.width + x] = static_cast<std::uint8_t>(16 + 9 * x + y);
            const int d = dx * dx + dy * dy;
            if (d >= 9 && d <= 25)
                p.pixels[static_cast<std::size_t>(y) * p.width + kCellW + x] = static_cast<std::uint8_t>(200 + y);
        }
    for (int i = 0; i < 256; ++i) {
        p.palette[3 * i] = static_cast<std::uint8_t>(i * 37);
        p.palette[3 * i + 1] = static_cast<std::uint8_t>(255 - i);
        p.palette[3 * i + 2] = static_cast<std::uint8_t>((i * 5) ^ 0x5A);
    }
    return p;
}

int raised(int c)
{
    return std::min((c & 0xF8) + 8, 0xF8);
}

std::uint32_t colour(Layout layout, bool indexed, const datakit::PcxPicture& p, int index)
{
    if (indexed)
        return static_cast<std::uint32_t>(index);
    const int r = raised(p.palette[3 * index]), g = raised(p.palette[3 * index + 1]),
              b = raised(p.palette[3 * index + 2]);
    switch (layout) {
    case Layout::Rgb555: return static_cast<std::uint32_t>((r >> 3) << 10 | (g >> 3) << 5 | (b >> 3));
    case Layout::Bgr565: return static_cast<std::uint32_t>((b >> 3) << 11 | (g >> 2) << 5 | (r >> 3));
    case Layout::Rgb565: break;
    }
    return static_cast<std::uint32_t>((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3));
}

// A screen pixel as red, green, blue: the word as it lies, read as 565
// whatever the layout, so that each layout's golden picture differs (the
// BGR screen's shows red and blue swapped, the 555 screen's its fields
// shifted) and the picture holds the screen's very bits.
void to_rgb(std::uint32_t v, std::uint8_t* out)
{
    out[0] = static_cast<std::uint8_t>((v >> 11 & 31) << 3);
    out[1] = static_cast<std::uint8_t>((v >> 5 & 63) << 2);
    out[2] = static_cast<std::uint8_t>((v & 31) << 3);
}

struct Draw {
    int x, y, frame;
    int clip_right, clip_bottom;  // the rectangle's right and bottom bounds
};

// Where each frame is drawn: cut by the screen's top-left corner, whole,
// and cut by a clipping rectangle whose right and bottom are exclusive.
constexpr Draw kDraws[] = {
    {-3, -4, 0, 640, 480},
    {14, 3, 1, 640, 480},
    {36, 22, 0, 44, 30},
    {28, 16, 1, 640, 480},
};

using PictureGolden = screen_test::Screen;

} // namespace

TEST_F(PictureGolden, FramesDrawnIntoEachScreen)
{
    const struct {
        const char* name;
        int depth;
        Layout layout;
    } cases[] = {
        {"picture_8", 8, Layout::Rgb565},
        {"picture_565", 16, Layout::Rgb565},
        {"picture_555", 16, Layout::Rgb555},
        {"picture_bgr565", 16, Layout::Bgr565},
    };
    const datakit::PcxPicture p = sheet();
    std::string error;
    ASSERT_TRUE(datakit::write_pcx(dir_ / "sheet.pcx", p, error)) << error;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        open(c.depth, c.layout);
        const bool indexed = c.depth == 8;
        lib2d_picture picture;
        ASSERT_EQ(picture.load("sheet.pcx", kCellW, kCellH, 2, 2), 1);
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x)
                put(x, y, 0);

        std::vector<std::uint32_t> reference(static_cast<std::size_t>(kViewW) * kViewH, 0);
        for (const Draw& d : kDraws) {
            picture.set_rect(0, d.clip_right, 0, d.clip_bottom);
            picture.draw(d.x, d.y, d.frame);
            for (int cy = 0; cy < kCellH; ++cy)
                for (int cx = 0; cx < kCellW; ++cx) {
                    const int sx = d.x + cx, sy = d.y + cy;
                    const int index = p.pixels[static_cast<std::size_t>(cy) * p.width + d.frame * kCellW + cx];
                    if (index == 0 || sx < 0 || sy < 0 || sx >= std::min(d.clip_right, kViewW) ||
                        sy >= std::min(d.clip_bottom, kViewH))
                        continue;
                    reference[static_cast<std::size_t>(sy) * kViewW + sx] = colour(c.layout, indexed, p, index);
                }
        }
        for (int y = 0; y < kViewH; ++y)
            for (int x = 0; x < kViewW; ++x)
                ASSERT_EQ(pixel(x, y), reference[static_cast<std::size_t>(y) * kViewW + x]) << x << ", " << y;
        // Nothing outside the compared part.
        for (int y = 0; y < 480; ++y)
            for (int x = y < kViewH ? kViewW : 0; x < 640; ++x)
                ASSERT_EQ(pixel(x, y), 0u) << x << ", " << y;

        torvane_test::PngImage image;
        image.width = kViewW;
        image.height = kViewH;
        image.indexed = indexed;
        if (indexed) {
            image.palette.assign(p.palette.begin(), p.palette.end());
            for (std::uint32_t v : reference)
                image.pixels.push_back(static_cast<std::uint8_t>(v));
        } else {
            image.pixels.resize(reference.size() * 3);
            for (std::size_t i = 0; i < reference.size(); ++i)
                to_rgb(reference[i], image.pixels.data() + 3 * i);
        }
        rast_test::expect_golden(c.name, image);
        device_.release();
    }
}
