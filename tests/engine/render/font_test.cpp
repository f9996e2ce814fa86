#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "engine/render/lib2d_font.h"
#include "platform/atomic_file.h"
#include "platform/text_faces.h"
#include "tests/engine/render/font_reference.h"
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

// Adjustments are held to 1024 pixels either way (no screen is wider).
TEST(FontPairs, TheTextFormKeepsTheFirstOfEachPairHeldToTheBounds)
{
    lib2d_pairs pairs;
    const std::string text =
        "# pairs\r\nAV -2\r\nTo -1\n  AV 5\nLT 99999999999\nYo -99999999999\nLa 1025\nWa -1024\n\x1A";
    ASSERT_TRUE(lib2d_parse_pairs_text(bytes_of(text), pairs));
    ASSERT_EQ(pairs.count, 6);
    EXPECT_EQ(pairs.keys, (std::vector<std::int32_t>{'A' << 8 | 'V', 'L' << 8 | 'T', 'L' << 8 | 'a', 'T' << 8 | 'o',
                                                     'W' << 8 | 'a', 'Y' << 8 | 'o', 0}));
    EXPECT_EQ(pairs.adjust, (std::vector<std::int32_t>{-2, 1024, 1024, -1, -1024, -1024, 0}));
    EXPECT_EQ(pairs.index['A'], 0);
    EXPECT_EQ(pairs.index['T'], 3);
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

    // Adjustments past the bounds are held to them.
    std::vector<std::uint8_t> extreme = with32(4 + 4 * 3, INT32_MAX);
    for (int i = 0; i < 4; ++i)
        extreme[4 + 4 * 4 + i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(INT32_MIN) >> (8 * i));
    ASSERT_TRUE(lib2d_parse_pairs_binary(extreme, pairs));
    EXPECT_EQ(pairs.adjust, (std::vector<std::int32_t>{1024, -1024, 0}));
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
    // Sums past 32 bits are held to the ends of an int, not wrapped.
    EXPECT_EQ(font.text_width("ABABA", 3, INT_MAX), INT_MAX);
    EXPECT_EQ(font.text_width("ABABA", 3, INT_MIN), INT_MIN);

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

    // A spacing that sends the pen past 32 bits ends the text there: the
    // first 'A' only.
    for (int x = 0; x < 30; ++x)
        put(x, 20, 0);
    ASSERT_EQ(font.draw_text("ABABA", 10, 20, 3, INT_MAX), 1);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(pixel(10 + i, 20), i < 3 ? a : 0u) << i;
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


namespace {

// Hand-made sheets of four 6-row cells for 'a'..'d', for the trimming
// rules the kit's fonts never reach (their cells are even and keep a clear
// last column). Indices 20..25: red, green, yellow, pure blue, a blue that
// every 16-bit layout cuts to pure blue, violet.
//   5 wide: 'a' inks columns 1..3 (odd: widened on the right), 'b' column 4
//   only (widened into the cell's extra sixth column), 'c' column 0 with
//   blues only and columns 1..2 (the 3D types drop the blue column), 'd'
//   is empty.
//   4 wide: 'a' inks column 3 only (nothing clear on its right: widened on
//   the left), 'b' all four columns, 'c' columns 1..2 and column 3 with
//   blues only, 'd' is empty.
datakit::PcxPicture pattern_sheet(int w)
{
    datakit::PcxPicture p;
    p.width = 4 * w;
    p.height = 6;
    p.pixels.assign(static_cast<std::size_t>(p.width) * p.height, 0);
    const std::uint8_t colours[6][3] = {{250, 40, 40}, {40, 250, 90}, {255, 255, 0},
                                        {0, 0, 255},   {7, 3, 250},   {200, 130, 255}};
    for (int i = 0; i < 6; ++i)
        for (int c = 0; c < 3; ++c)
            p.palette[3 * (20 + i) + c] = colours[i][c];
    const auto ink = [&](int cell, int x, int y, int index) {
        p.pixels[static_cast<std::size_t>(y) * p.width + cell * w + x] = static_cast<std::uint8_t>(index);
    };
    const auto colour = [](int x, int y) { return y == 5 ? 25 : 20 + (x + 2 * y) % 3; };
    const auto blues = [](int y) { return y % 2 == 0 ? 23 : 24; };
    for (int y = 0; y < 6; ++y) {
        if (w == 5) {
            for (int x = 1; x <= 3; ++x)
                ink(0, x, y, colour(x, y));
            ink(1, 4, y, colour(4, y));
            ink(2, 0, y, blues(y));
            for (int x = 1; x <= 2; ++x)
                ink(2, x, y, colour(x, y));
        } else {
            ink(0, 3, y, colour(3, y));
            for (int x = 0; x < 4; ++x)
                ink(1, x, y, colour(x, y));
            for (int x = 1; x <= 2; ++x)
                ink(2, x, y, colour(x, y));
            ink(2, 3, y, blues(y));
        }
    }
    return p;
}

// One drawing of the scene, done by the font and by the reference alike.
enum class Draw { Text, Ex, Gap };
struct SceneStep {
    int font;
    Draw draw;
    const char* text;
    int x, y, a, b;
    font_reference::Rect clip;
};

constexpr font_reference::Rect kEverywhere{-100, 100000, -100, 100000};

// Two parts of the screen make the golden picture: the top-left corner and
// the bottom-right one below it.
constexpr int kPictureW = 256, kTopH = 80, kBottomH = 40;

} // namespace

// The kit's fonts (rendered from the Liberation fonts) and two hand-made
// sheets drawn into each kind of screen: with kerning from ".cfg" and
// ".cfb" descriptions, spacing, characters the font lacks, a clipping
// rectangle cutting every side, positions off the screen's edges, the
// centred and the gapped drawers. The reference paints the same scene from
// the kit's inputs; the golden pictures are written from the reference
// (TORVANE_UPDATE_GOLDEN=1) and the drawn screen must match them exactly.
TEST_F(Fonts, TheFontsDrawWhatTheReferencePaintsIntoEachScreen)
{
    using font_reference::Target;
    std::string error;
    datakit::BitmapFont menu_kit, race_kit, small_kit;
    datakit::FontStyle style;
    style.ttf_file = platform::liberation_font_path("LiberationSans-Bold.ttf").string();
    style.point_size = 18;
    ASSERT_TRUE(datakit::render_bitmap_font(style, menu_kit, error)) << error;
    style.point_size = 16;
    style.red = 255, style.green = 220, style.blue = 40;
    ASSERT_TRUE(datakit::render_bitmap_font(style, race_kit, error)) << error;
    style.ttf_file = platform::liberation_font_path("LiberationSans-Regular.ttf").string();
    style.point_size = 12;
    style.red = 90, style.green = 160, style.blue = 255;
    ASSERT_TRUE(datakit::render_bitmap_font(style, small_kit, error)) << error;
    const datakit::PcxPicture odd_sheet = pattern_sheet(5), even_sheet = pattern_sheet(4);
    const std::vector<datakit::FontPair> odd_pairs = {{'a', 'b', 3}, {'b', 'a', -4}};

    // Menu and small with ".cfg" kerning, race with ".cfb".
    ASSERT_TRUE(datakit::write_bitmap_font(dir_ / "menu", menu_kit, error)) << error;
    ASSERT_TRUE(datakit::write_bitmap_font(dir_ / "small", small_kit, error)) << error;
    ASSERT_TRUE(datakit::write_pcx(dir_ / "race.pcx", race_kit.sheet, error)) << error;
    ASSERT_TRUE(platform::write_file_atomic("race.cfb", datakit::font_cfb_bytes(race_kit.pairs)));
    ASSERT_TRUE(datakit::write_pcx(dir_ / "odd.pcx", odd_sheet, error)) << error;
    ASSERT_TRUE(platform::write_file_atomic("odd.cfg", bytes_of(datakit::font_cfg_text(odd_pairs))));
    ASSERT_TRUE(datakit::write_pcx(dir_ / "even.pcx", even_sheet, error)) << error;

    const auto kit = [](const datakit::BitmapFont& b) {
        return font_reference::Font{&b.sheet, b.cell_width, b.cell_height, b.across, b.count, b.first_char, b.pairs};
    };
    const font_reference::Font inputs[] = {
        kit(menu_kit),
        kit(race_kit),
        kit(small_kit),
        {&odd_sheet, 5, 6, 4, 4, 'a', odd_pairs},
        {&even_sheet, 4, 6, 4, 4, 'a', {}},
    };
    const char* const sheets[] = {"menu.pcx", "race.pcx", "small.pcx", "odd.pcx", "even.pcx"};

    const SceneStep scene[] = {
        // Off the screen's top-left corner.
        {0, Draw::Text, "Wavy", -9, -7, 6, 1, kEverywhere},
        {0, Draw::Text, "AVATAR Torvane", 52, 2, 6, 1, {0, 640, 0, 480}},
        // Underscores advance as spaces; the race font's pairs from ".cfb".
        {1, Draw::Text, "LAP 3/12__1:42.07 AV", 2, 24, 5, 1, kEverywhere},
        // A rectangle that cuts the text on every side.
        {2, Draw::Text, "clipped on every side", 20, 43, 3, 0, {30, 130, 46, 54}},
        // Negative spacing, a character the font lacks between a pair.
        {2, Draw::Text, "Tight AV A\x01V", 140, 44, 3, -1, kEverywhere},
        // Trimming: odd cells with kerning (ab +3, ba -4), even cells; 'd'
        // is empty and 'x' and 0xE9 are not in the fonts.
        {3, Draw::Text, "abcdxab a", 2, 58, 2, 1, kEverywhere},
        {4, Draw::Text, "abc\xE9" "cba", 4, 68, 2, 0, kEverywhere},
        {1, Draw::Ex, "01 7", 60, 58, 2, 0, kEverywhere},
        {2, Draw::Gap, "g_ap", 160, 60, 5, 3, kEverywhere},
        {3, Draw::Ex, "abcab", 200, 70, 1, 0, kEverywhere},
        // Off the screen's bottom-right corner.
        {1, Draw::Text, "9:59.99", 590, 466, 5, 1, kEverywhere},
        {0, Draw::Ex, "WM", 520, 446, 3, 0, kEverywhere},
        {3, Draw::Gap, "abab", 628, 452, 2, 1, kEverywhere},
        // Above the screen, in a rectangle that starts above it too.
        {4, Draw::Text, "bab", 228, -3, 1, 0, {231, 250, -10, 480}},
    };

    const struct {
        const char* name;
        Target target;
        Layout layout;
    } cases[] = {
        {"font_8", Target::Indexed8, Layout::Rgb565},
        {"font_565", Target::Software16, Layout::Rgb565},
        {"font_555", Target::Software16, Layout::Rgb555},
        {"font_bgr565", Target::Software16, Layout::Bgr565},
        {"font_3d_565", Target::Colour16, Layout::Rgb565},
        {"font_3d_555", Target::Colour16, Layout::Rgb555},
        {"font_3d_bgr565", Target::Colour16, Layout::Bgr565},
    };
    const char* update = std::getenv("TORVANE_UPDATE_GOLDEN");
    const bool updating = update && std::strcmp(update, "1") == 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.target == Target::Colour16) {
            // The platform's 3D device; its masks as in open().
            ASSERT_EQ(device_.enumerate_drivers(window_), 1);
            device_.software_16bit = 0;
            ASSERT_EQ(device_.init(0, 640, 480, 16, 1), 1);
            ASSERT_EQ(device_.render_type, kRenderHardware);
            if (c.layout == Layout::Rgb555) {
                device_.red_mask = 0x7C00;
                device_.green_mask = 0x3E0;
                device_.blue_mask = 0x1F;
            } else if (c.layout == Layout::Bgr565) {
                device_.red_mask = 0x1F;
                device_.green_mask = 0x7E0;
                device_.blue_mask = 0xF800;
            }
        } else {
            open(c.target == Target::Indexed8 ? 8 : 16, c.layout);
        }

        font_reference::Screen expected;
        expected.target = c.target;
        expected.layout = c.layout;
        expected.width = 640;
        expected.height = 480;
        const std::uint32_t background =
            c.target == Target::Indexed8 ? 200u : font_reference::pack(c.layout, 24, 32, 48);
        expected.pixels.assign(640u * 480u, background);
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x)
                put(x, y, background);

        std::vector<std::unique_ptr<lib2d_font>> fonts;
        for (const char* sheet : sheets) {
            fonts.push_back(std::make_unique<lib2d_font>());
            const font_reference::Font& in = inputs[fonts.size() - 1];
            ASSERT_EQ(fonts.back()->load(sheet, in.w, in.h, in.across, in.count, in.first), 1) << sheet;
        }
        EXPECT_GT(fonts[0]->pair_count, 0);
        EXPECT_GT(fonts[1]->pair_count, 0);
        EXPECT_LT(fonts[0]->pair_adjustment('A', 'V'), 0);

        for (const SceneStep& s : scene) {
            lib2d_font& font = *fonts[static_cast<std::size_t>(s.font)];
            const font_reference::Font& in = inputs[s.font];
            font.set_clip(s.clip.left, s.clip.right, s.clip.top, s.clip.bottom);
            switch (s.draw) {
            case Draw::Text:
                EXPECT_EQ(font.draw_text(s.text, s.x, s.y, s.a, s.b), 1) << s.text;
                font_reference::text(expected, in, s.clip, s.text, s.x, s.y, s.a, s.b);
                break;
            case Draw::Ex:
                EXPECT_EQ(font.draw_text_ex(s.text, s.x, s.y, s.a), 1) << s.text;
                font_reference::text_ex(expected, in, s.text, s.x, s.y, s.a);
                break;
            case Draw::Gap:
                EXPECT_EQ(font.draw_text_gap(s.text, s.x, s.y, s.a, s.b), 1) << s.text;
                font_reference::text_gap(expected, in, s.text, s.x, s.y, s.a, s.b);
                break;
            }
        }

        // The whole screen: nothing drawn beyond what the reference paints.
        int differences = 0;
        for (int y = 0; y < 480 && differences < 5; ++y)
            for (int x = 0; x < 640 && differences < 5; ++x)
                if (pixel(x, y) != expected.at(x, y)) {
                    ADD_FAILURE() << "(" << x << ", " << y << "): drawn " << pixel(x, y) << ", reference "
                                  << expected.at(x, y);
                    ++differences;
                }

        // The golden picture: the two corners, as a reviewer sees them
        // (the 8-bit screen's indices through a viewing palette: the kit's
        // shades as greys, the hand-made sheets' colours, the background).
        const auto picture = [&](const auto& value) {
            torvane_test::PngImage image;
            image.width = kPictureW;
            image.height = kTopH + kBottomH;
            image.indexed = c.target == Target::Indexed8;
            if (image.indexed) {
                image.palette.assign(odd_sheet.palette.begin(), odd_sheet.palette.end());
                for (int i = 0; i < 16; ++i)
                    for (int k = 0; k < 3; ++k)
                        image.palette[static_cast<std::size_t>(3 * i + k)] = static_cast<std::uint8_t>(i * 17);
                image.palette[3 * 200] = 24, image.palette[3 * 200 + 1] = 32, image.palette[3 * 200 + 2] = 48;
            }
            for (int y = 0; y < image.height; ++y)
                for (int x = 0; x < image.width; ++x) {
                    const int sx = y < kTopH ? x : 640 - kPictureW + x;
                    const int sy = y < kTopH ? y : 480 - kBottomH + (y - kTopH);
                    const std::uint32_t v = value(sx, sy);
                    if (image.indexed) {
                        image.pixels.push_back(static_cast<std::uint8_t>(v));
                        continue;
                    }
                    // The screen's word as it lies, read as 565 whatever
                    // the layout, so that each layout's picture differs (a
                    // BGR screen's shows red and blue swapped, a 555
                    // screen's its fields shifted).
                    const int r = (v >> 11 & 31) << 3, g = (v >> 5 & 63) << 2, b = (v & 31) << 3;
                    image.pixels.push_back(static_cast<std::uint8_t>(r));
                    image.pixels.push_back(static_cast<std::uint8_t>(g));
                    image.pixels.push_back(static_cast<std::uint8_t>(b));
                }
            return image;
        };
        // Written from the reference when updating; else the golden must
        // still be what the reference paints.
        rast_test::expect_golden(c.name, picture([&](int x, int y) { return expected.at(x, y); }));
        if (!updating) {
            torvane_test::PngImage golden;
            ASSERT_TRUE(torvane_test::read_png(std::string(TORVANE_RAST_GOLDEN_DIR) + "/" + c.name + ".png", golden,
                                               &error))
                << error;
            const torvane_test::PngImage drawn = picture([&](int x, int y) { return pixel(x, y); });
            EXPECT_TRUE(golden.pixels == drawn.pixels) << "the drawn text differs from " << c.name << ".png";
        }
        fonts.clear();
        device_.release();
    }
}
