#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/render/lib2d_font.h"
#include "platform/atomic_file.h"
#include "tests/engine/render/rast_test_fixture.h"
#include "tests/engine/render/screen_fixture.h"
#include "tools/datakit/font_writer.h"
#include "tools/datakit/pcx_writer.h"

using screen_test::Layout;

namespace {

std::vector<std::uint8_t> bytes_of(const std::string& s)
{
    return {s.begin(), s.end()};
}

// A font of three 5 x 4 cells for 'A', 'B' and 'C' (first character 'A'):
// 'A' inks columns 1..3 (odd: stored 4 wide, widened on the right), 'B'
// inks column 4 only (widened into the cell's transparent sixth column),
// 'C' is empty.
datakit::PcxPicture tiny_sheet()
{
    datakit::PcxPicture p;
    p.width = 15;
    p.height = 4;
    p.pixels.assign(15 * 4, 0);
    for (int y = 0; y < 4; ++y) {
        for (int x = 1; x <= 3; ++x)
            p.pixels[static_cast<std::size_t>(y) * 15 + x] = static_cast<std::uint8_t>(1 + y);
        p.pixels[static_cast<std::size_t>(y) * 15 + 5 + 4] = 9;
    }
    for (int i = 0; i < 256; ++i) {
        p.palette[3 * i] = static_cast<std::uint8_t>(i * 20);
        p.palette[3 * i + 1] = static_cast<std::uint8_t>(200);
        p.palette[3 * i + 2] = static_cast<std::uint8_t>(40);
    }
    return p;
}

using Fonts = screen_test::Screen;

} // namespace

TEST(FontPairs, TheTextFormKeepsTheFirstOfEachPairInThirtyTwoBits)
{
    lib2d_pairs pairs;
    const std::string text = "# pairs\r\nAV -2\r\nTo -1\n  AV 5\nLT 99999999999\nYo -99999999999\n\x1A";
    ASSERT_TRUE(lib2d_parse_pairs_text(bytes_of(text), pairs));
    ASSERT_EQ(pairs.count, 4);
    EXPECT_EQ(pairs.keys, (std::vector<std::int32_t>{'A' << 8 | 'V', 'L' << 8 | 'T', 'T' << 8 | 'o', 'Y' << 8 | 'o', 0}));
    EXPECT_EQ(pairs.adjust, (std::vector<std::int32_t>{-2, INT32_MAX, -1, INT32_MIN, 0}));
    EXPECT_EQ(pairs.index['A'], 0);
    EXPECT_EQ(pairs.index['T'], 2);
    EXPECT_EQ(pairs.index['B'], -1);
    EXPECT_FALSE(lib2d_parse_pairs_text(bytes_of("# nothing\n"), pairs));
}

TEST(FontPairs, TheBinaryFormIsCheckedAgainstItsCount)
{
    const std::vector<datakit::FontPair> list = {{'A', 'V', -2}, {'T', 'o', -1}};
    const std::vector<std::uint8_t> good = datakit::font_cfb_bytes(list);
    lib2d_pairs pairs;
    ASSERT_TRUE(lib2d_parse_pairs_binary(good, pairs));
    EXPECT_EQ(pairs.count, 2);
    EXPECT_EQ(pairs.adjust[0], -2);
    EXPECT_EQ(pairs.index['T'], 1);

    const auto with32 = [&](std::size_t at, std::int32_t v) {
        std::vector<std::uint8_t> b = good;
        for (int i = 0; i < 4; ++i)
            b[at + i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) >> (8 * i));
        return b;
    };
    std::vector<std::uint8_t> short_file = good;
    short_file.pop_back();
    const struct {
        const char* what;
        std::vector<std::uint8_t> bytes;
    } damaged[] = {
        {"empty", {}},
        {"a byte short", short_file},
        {"count larger than the file", with32(0, 3)},
        {"negative count", with32(0, -1)},
        {"no closing 0", with32(4 + 4 * 2, 7)},
        {"index past the pairs", with32(4 + 8 * 3 + 4 * 'A', 2)},
        {"index below -1", with32(4 + 8 * 3 + 4 * 'A', -5)},
    };
    for (const auto& d : damaged)
        EXPECT_FALSE(lib2d_parse_pairs_binary(d.bytes, pairs)) << d.what;
}

TEST_F(Fonts, GlyphsAreTrimmedToEvenWidthsAndMeasured)
{
    open(16);
    std::string error;
    ASSERT_TRUE(datakit::write_pcx(dir_ / "tiny.pcx", tiny_sheet(), error)) << error;
    ASSERT_TRUE(platform::write_file_atomic("tiny.cfg", bytes_of("AB -2\n")));
    lib2d_font font;
    ASSERT_EQ(font.load("tiny.pcx", 5, 4, 3, 3, 'A'), 1);
    EXPECT_EQ(font.cell_width, 6);
    EXPECT_EQ(font.cell_height, 4);
    EXPECT_EQ(font.glyph_count, 2);
    EXPECT_EQ(font.glyph_width['A'], 4);
    EXPECT_EQ(font.glyph_width['B'], 2);
    EXPECT_EQ(font.glyph_width['C'], 0);
    EXPECT_EQ(font.glyph_offset['D'], -1);
    // The software type keeps indices and maps them through its colour
    // table on a 16-bit screen.
    EXPECT_EQ(font.key, 0);
    EXPECT_EQ(font.colour_table.size(), 256u);

    // Spacing 1, kerning AB -2; characters the font lacks add nothing.
    EXPECT_EQ(font.text_width("AB", 3, 1), 4 + 2 + 1 - 2);
    EXPECT_EQ(font.text_width("BA", 3, 1), 2 + 4 + 1);
    EXPECT_EQ(font.text_width("A B", 3, 1), 4 + 1 + 3 + 2);
    // The pair is looked up with the very next character, even one the
    // font lacks.
    EXPECT_EQ(font.text_width("AxCB", 3, 1), 4 + 1 + 2);
    EXPECT_EQ(font.text_width("", 3, 1), 0);

    // Drawn: 'A' at 10..13 (its fourth column transparent), 'B' at 13..14
    // (kerned two to the left, its second column transparent).
    for (int x = 0; x < 30; ++x)
        put(x, 20, 0);
    ASSERT_EQ(font.draw_text("AB", 10, 20, 3, 1), 1);
    const std::uint16_t a = static_cast<std::uint16_t>((20 >> 3) << 11 | (200 >> 2) << 5 | (40 >> 3));
    const std::uint16_t b = static_cast<std::uint16_t>((180 >> 3) << 11 | (200 >> 2) << 5 | (40 >> 3));
    const std::vector<std::uint32_t> expected = {a, a, a, b, 0, 0};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(pixel(10 + i, 20), expected[static_cast<std::size_t>(i)]) << i;
}

TEST_F(Fonts, ClippingAndPositionsOffTheScreen)
{
    open(8);
    std::string error;
    ASSERT_TRUE(datakit::write_pcx(dir_ / "tiny.pcx", tiny_sheet(), error)) << error;
    lib2d_font font;
    ASSERT_EQ(font.load("tiny.pcx", 5, 4, 3, 3, 'A'), 1);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 40; ++x)
            put(x, y, 0);
    // A text that starts left of the clipping rectangle shows only what is
    // right of it; the rows above the rectangle are hidden.
    font.set_clip(12, 640, 2, 480);
    ASSERT_EQ(font.draw_text("A", 10, 0, 3, 0), 1);
    EXPECT_EQ(pixel(11, 2), 0u);
    EXPECT_EQ(pixel(12, 2), 3u); // the cell's column 3, row 2 (index 3)
    EXPECT_EQ(pixel(12, 1), 0u);
    EXPECT_EQ(pixel(12, 3), 4u);
    EXPECT_EQ(pixel(13, 3), 0u); // the transparent column
    // No row inside: nothing drawn, 0.
    EXPECT_EQ(font.draw_text("A", 10, -10, 3, 0), 0);
    // Bounds past the screen and negative positions are cut to the screen.
    font.set_clip(-100, 100000, -100, 100000);
    EXPECT_EQ(font.draw_text("AAAA", -6, -2, 3, 0), 1);
    EXPECT_EQ(pixel(0, 0), 3u);   // the second 'A', column 1, row 2
    EXPECT_EQ(font.draw_text("AAAA", 636, 478, 3, 0), 1);
    EXPECT_EQ(pixel(638, 479), 2u);
    EXPECT_EQ(font.draw_text_ex("ABAB", -3, 477, 1), 1);
    EXPECT_EQ(font.draw_text_gap("A BA", 637, -1, 4, 2), 1);
    // Characters outside the font are skipped by every drawer.
    EXPECT_EQ(font.draw_text("\x01\xFF", 0, 0, 3, 0), 1);
    // A paused display draws nothing.
    device_.set_active(1);
    EXPECT_EQ(font.draw_text("A", 10, 10, 3, 0), 0);
    device_.set_active(0);
    EXPECT_TRUE(platform::recorded_message_boxes().empty());
}

TEST_F(Fonts, LoadFailuresAndMissingDescriptions)
{
    lib2d_font font;
    EXPECT_EQ(font.load("tiny.pcx", 5, 4, 3, 3, 'A'), 0); // no display yet
    open(16);
    EXPECT_EQ(font.load("none.pcx", 5, 4, 3, 3, 'A'), 0);
    std::string error;
    ASSERT_TRUE(datakit::write_pcx(dir_ / "tiny.pcx", tiny_sheet(), error)) << error;
    EXPECT_EQ(font.load("tiny.pcx", 5, 4, 3, 4, 'A'), 0); // a fourth cell would lie below the sheet
    EXPECT_EQ(font.load("tiny.pcx", 6, 4, 3, 3, 'A'), 0);
    const auto boxes = platform::recorded_message_boxes();
    ASSERT_EQ(boxes.size(), 4u);
    EXPECT_EQ(boxes[0].text, "Cannot open font file, you must create D3D before!\r\n");
    EXPECT_EQ(boxes[1].text, "Cannot open font file!\r\n");
    EXPECT_EQ(boxes[2].text, "parameteres error! in tiny.pcx\r\n");
    EXPECT_EQ(boxes[3].text, "parameteres error! in tiny.pcx\r\n");

    // No description: no kerning. A damaged ".cfb": no kerning either.
    ASSERT_EQ(font.load("tiny.pcx", 5, 4, 3, 3, 'A'), 1);
    EXPECT_EQ(font.pair_count, 0);
    std::vector<std::uint8_t> cfb = datakit::font_cfb_bytes({{'A', 'B', -2}});
    cfb[4 + 4] = 1; // the closing key is not 0
    ASSERT_TRUE(platform::write_file_atomic("tiny.cfb", cfb));
    ASSERT_EQ(font.load("tiny.pcx", 5, 4, 3, 3, 'A'), 1);
    EXPECT_EQ(font.pair_count, 0);
    ASSERT_TRUE(platform::write_file_atomic("tiny.cfb", datakit::font_cfb_bytes({{'A', 'B', -2}})));
    ASSERT_EQ(font.load("TINY.PCX", 5, 4, 3, 3, 'A'), 1);
    EXPECT_EQ(font.pair_adjustment('A', 'B'), -2);
    EXPECT_EQ(font.pair_adjustment('B', 'A'), 0);
}

// The kit's fonts, rendered from the Liberation fonts, drawn with kerning
// into each kind of screen. The golden images are the drawn pixels (as a
// reviewer sees them); their glyph placement is checked by the tests
// above.
TEST_F(Fonts, TheKitFontsDrawIntoEachScreen)
{
    std::string error;
    ASSERT_TRUE(datakit::write_demo_fonts(dir_, error)) << error;
    const struct {
        const char* name;
        int depth;
        Layout layout;
    } cases[] = {
        {"font_8", 8, Layout::Rgb565},
        {"font_565", 16, Layout::Rgb565},
        {"font_555", 16, Layout::Rgb555},
        {"font_bgr565", 16, Layout::Bgr565},
    };
    constexpr int kW = 200, kH = 48;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        open(c.depth, c.layout);
        lib2d_font menu, race;
        // The kit's cell sizes come with its fonts: render them again to
        // know them.
        datakit::BitmapFont menu_font, race_font;
        datakit::FontStyle style;
        style.ttf_file = datakit::liberation_font("LiberationSans-Bold.ttf").string();
        style.point_size = 18;
        ASSERT_TRUE(datakit::render_bitmap_font(style, menu_font, error)) << error;
        style.point_size = 16;
        ASSERT_TRUE(datakit::render_bitmap_font(style, race_font, error)) << error;
        ASSERT_EQ(menu.load("Gfx\\Fonts\\Menu.pcx", menu_font.cell_width, menu_font.cell_height, menu_font.across,
                            menu_font.count, menu_font.first_char),
                  1);
        ASSERT_EQ(race.load("Gfx\\Fonts\\Race.pcx", race_font.cell_width, race_font.cell_height, race_font.across,
                            race_font.count, race_font.first_char),
                  1);
        EXPECT_GT(menu.pair_count, 0);
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x)
                put(x, y, 0);
        menu.set_clip(0, kW, 0, kH);
        race.set_clip(0, kW, 0, kH);
        ASSERT_EQ(menu.draw_text("AVATAR Torvane", 2, 1, 6, 1), 1);
        ASSERT_EQ(race.draw_text("LAP 3/12  1:42.07", 2, 24, 5, 1), 1);
        // Kerned: "AV" is drawn tighter than its letters apart.
        EXPECT_LT(menu.pair_adjustment('A', 'V'), 0);
        EXPECT_EQ(menu.text_width("AV", 6, 1),
                  menu.glyph_width['A'] + menu.glyph_width['V'] + 1 + menu.pair_adjustment('A', 'V'));

        torvane_test::PngImage image;
        image.width = kW;
        image.height = kH;
        image.indexed = false;
        image.pixels.resize(static_cast<std::size_t>(kW) * kH * 3);
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                std::uint8_t* out = image.pixels.data() + (static_cast<std::size_t>(y) * kW + x) * 3;
                const std::uint32_t v = pixel(x, y);
                if (c.depth == 8) {
                    // Palette indices: the shade number as grey.
                    out[0] = out[1] = out[2] = static_cast<std::uint8_t>(v * 17);
                } else if (c.layout == Layout::Bgr565) {
                    out[0] = static_cast<std::uint8_t>((v & 31) << 3);
                    out[1] = static_cast<std::uint8_t>((v >> 5 & 63) << 2);
                    out[2] = static_cast<std::uint8_t>((v >> 11 & 31) << 3);
                } else if (c.layout == Layout::Rgb555) {
                    out[0] = static_cast<std::uint8_t>((v >> 10 & 31) << 3);
                    out[1] = static_cast<std::uint8_t>((v >> 5 & 31) << 3);
                    out[2] = static_cast<std::uint8_t>((v & 31) << 3);
                } else {
                    out[0] = static_cast<std::uint8_t>((v >> 11 & 31) << 3);
                    out[1] = static_cast<std::uint8_t>((v >> 5 & 63) << 2);
                    out[2] = static_cast<std::uint8_t>((v & 31) << 3);
                }
            }
        rast_test::expect_golden(c.name, image);
        device_.release();
    }
}
