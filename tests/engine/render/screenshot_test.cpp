#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <SDL.h>
#include <gtest/gtest.h>

#include "engine/render/screenshot.h"
#include "platform/atomic_file.h"
#include "platform/fault_seam.h"
#include "platform/frame.h"
#include "tests/engine/render/screen_fixture.h"

using screen_test::Layout;

namespace {

struct Rgb {
    int r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

// A bitmap decoded by SDL's own reader, as rows of red, green, blue from
// the top.
bool decode_bmp(const std::string& path, int& w, int& h, std::vector<Rgb>& out)
{
    SDL_Surface* loaded = SDL_LoadBMP(path.c_str());
    if (!loaded)
        return false;
    SDL_Surface* rgb = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_RGB24, 0);
    SDL_FreeSurface(loaded);
    if (!rgb)
        return false;
    w = rgb->w;
    h = rgb->h;
    out.clear();
    SDL_LockSurface(rgb);
    for (int y = 0; y < h; ++y) {
        const auto* row = static_cast<const std::uint8_t*>(rgb->pixels) + static_cast<std::size_t>(y) * rgb->pitch;
        for (int x = 0; x < w; ++x)
            out.push_back({row[3 * x], row[3 * x + 1], row[3 * x + 2]});
    }
    SDL_UnlockSurface(rgb);
    SDL_FreeSurface(rgb);
    return true;
}

// A test pattern of 8-bit colours: every channel runs through its range.
Rgb pattern(int x, int y)
{
    return {(x * 7 + y) & 0xFF, (y * 3 + x / 2) & 0xFF, (x ^ y) & 0xFF};
}

std::uint16_t pack(Layout layout, const Rgb& c)
{
    switch (layout) {
    case Layout::Rgb555: return static_cast<std::uint16_t>((c.r >> 3) << 10 | (c.g >> 3) << 5 | (c.b >> 3));
    case Layout::Bgr565: return static_cast<std::uint16_t>((c.b >> 3) << 11 | (c.g >> 2) << 5 | (c.r >> 3));
    case Layout::Rgb565: break;
    }
    return static_cast<std::uint16_t>((c.r >> 3) << 11 | (c.g >> 2) << 5 | (c.b >> 3));
}

// What survives of a colour in the layout: the top bits of each channel.
Rgb kept(Layout layout, const Rgb& c)
{
    const int gmask = layout == Layout::Rgb555 ? 0xF8 : 0xFC;
    return {c.r & 0xF8, c.g & gmask, c.b & 0xF8};
}

using Screenshots = screen_test::Screen;

} // namespace

TEST_F(Screenshots, EachSixteenBitLayoutReadsBackPixelForPixel)
{
    const struct {
        const char* name;
        Layout layout;
        std::uint16_t white;
        std::uint8_t white_bytes[3];
    } cases[] = {
        {"565", Layout::Rgb565, 0xFFFF, {0xF8, 0xFC, 0xF8}},
        {"555", Layout::Rgb555, 0x7FFF, {0xF8, 0xF8, 0xF8}},
        {"BGR 565", Layout::Bgr565, 0xFFFF, {0xF8, 0xFC, 0xF8}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        screenshot_number = 0;
        open(16, c.layout);
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x)
                put(x, y, pack(c.layout, pattern(x, y)));
        put(0, 479, c.white); // the file's first pixel
        ASSERT_EQ(device_.save_screenshot(), 1);
        ASSERT_TRUE(std::filesystem::exists("scre000.bmp"));
        EXPECT_EQ(std::filesystem::file_size("scre000.bmp"), 921654u);
        std::vector<std::uint8_t> bytes;
        ASSERT_TRUE(platform::read_file_whole("scre000.bmp", bytes));
        EXPECT_EQ(bytes[54], c.white_bytes[0]);
        EXPECT_EQ(bytes[55], c.white_bytes[1]);
        EXPECT_EQ(bytes[56], c.white_bytes[2]);

        int w = 0, h = 0;
        std::vector<Rgb> image;
        ASSERT_TRUE(decode_bmp("scre000.bmp", w, h, image)) << SDL_GetError();
        ASSERT_EQ(w, 640);
        ASSERT_EQ(h, 480);
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x) {
                const Rgb expected = x == 0 && y == 479 ? Rgb{0xF8, c.white_bytes[1], 0xF8} : kept(c.layout, pattern(x, y));
                ASSERT_EQ(image[static_cast<std::size_t>(y) * 640 + x], expected) << x << ", " << y;
            }
        std::filesystem::remove("scre000.bmp");
        device_.release();
    }
}

TEST_F(Screenshots, APresentedFrameIsSavedAsShown)
{
    // The 565 screen as the window showed it: each channel's kept bits.
    open(16);
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x)
            put(x, y, pack(Layout::Rgb565, pattern(x, y)));
    ASSERT_EQ(device_.present(), 1);
    const auto frame = platform::last_presented_frame();
    ASSERT_TRUE(frame);
    screenshot_number = 0;
    ASSERT_EQ(device_.save_screenshot(), 1);
    int w = 0, h = 0;
    std::vector<Rgb> image;
    ASSERT_TRUE(decode_bmp("scre000.bmp", w, h, image)) << SDL_GetError();
    ASSERT_EQ(w, frame->width);
    ASSERT_EQ(h, frame->height);
    for (std::size_t i = 0; i < image.size(); ++i) {
        const std::uint32_t p = frame->pixels[i];
        const Rgb shown{static_cast<int>(p >> 16 & 0xF8), static_cast<int>(p >> 8 & 0xFC), static_cast<int>(p & 0xF8)};
        ASSERT_EQ(image[i], shown) << i;
    }
}

TEST_F(Screenshots, AnEightBitScreenIsWrittenThroughItsPaletteWithPaddedRows)
{
    open(8);
    std::uint8_t palette[768];
    for (int i = 0; i < 256; ++i) {
        palette[3 * i] = static_cast<std::uint8_t>(i & 63);
        palette[3 * i + 1] = static_cast<std::uint8_t>((i >> 2) & 63);
        palette[3 * i + 2] = static_cast<std::uint8_t>(63 - (i & 63));
    }
    ASSERT_EQ(device_.set_palette_entries(palette), 1);
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x)
            put(x, y, static_cast<std::uint32_t>((x + 3 * y) & 0xFF));
    // A screen 101 pixels wide: rows of 303 bytes padded to 304.
    device_.width = 101;
    device_.height = 7;
    screenshot_number = 0;
    ASSERT_EQ(device_.save_screenshot(), 1);
    EXPECT_EQ(std::filesystem::file_size("scre000.bmp"), 54u + 304u * 7u);
    int w = 0, h = 0;
    std::vector<Rgb> image;
    ASSERT_TRUE(decode_bmp("scre000.bmp", w, h, image)) << SDL_GetError();
    ASSERT_EQ(w, 101);
    ASSERT_EQ(h, 7);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 101; ++x) {
            const int i = (x + 3 * y) & 0xFF;
            const Rgb expected{(i & 63) * 4, ((i >> 2) & 63) * 4, (63 - (i & 63)) * 4};
            ASSERT_EQ(image[static_cast<std::size_t>(y) * 101 + x], expected) << x << ", " << y;
        }
}

TEST_F(Screenshots, NamesAreNumberedAndTheSearchGivesUpAfterAThousand)
{
    open(16);
    const auto touch = [](const char* name) { ASSERT_TRUE(platform::write_file_atomic(name, {1})); };
    screenshot_number = 0;
    touch("scre000.bmp");
    touch("scre001.bmp");
    ASSERT_EQ(device_.save_screenshot(), 1);
    EXPECT_TRUE(std::filesystem::file_size("scre002.bmp") > 1u);
    // The next one goes on from there, without looking at the earlier names.
    std::filesystem::remove("scre000.bmp");
    ASSERT_EQ(device_.save_screenshot(), 1);
    EXPECT_TRUE(std::filesystem::exists("scre003.bmp"));
    EXPECT_FALSE(std::filesystem::exists("scre000.bmp"));
    EXPECT_EQ(screenshot_number, 4);

    // Every name up to scre1000.bmp taken: nothing written, no message, and
    // the next search starts past them.
    screenshot_number = 998;
    touch("scre998.bmp");
    touch("scre999.bmp");
    touch("scre1000.bmp");
    EXPECT_EQ(device_.save_screenshot(), 0);
    EXPECT_EQ(screenshot_number, 1001);
    EXPECT_FALSE(std::filesystem::exists("scre1001.bmp"));
    ASSERT_EQ(device_.save_screenshot(), 1);
    EXPECT_TRUE(std::filesystem::file_size("scre1001.bmp") > 1u);
    EXPECT_TRUE(platform::recorded_message_boxes().empty());
}

TEST_F(Screenshots, AFileThatCannotBeCreatedIsReportedAndTheGameGoesOn)
{
    open(16);
    screenshot_number = 5;
    platform::fail_next(platform::Fault::FileOpen);
    testing::internal::CaptureStdout();
    EXPECT_EQ(device_.save_screenshot(), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "errore !! scre005.bmp\n");
    platform::clear_faults();
    EXPECT_EQ(screenshot_number, 5);
    EXPECT_FALSE(std::filesystem::exists("scre005.bmp"));
    // The next press writes it.
    EXPECT_EQ(device_.save_screenshot(), 1);
    EXPECT_TRUE(std::filesystem::exists("scre005.bmp"));
}
