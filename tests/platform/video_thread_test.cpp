#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <thread>

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include "platform/display_presence.h"
#include "platform/frame.h"
#include "platform/video_thread.h"
#include "tests/platform/window_fixture.h"

using namespace platform;

namespace {

class VideoThread : public torvane_test::WindowFixture {};

// The colour of a pixel of the SDL window's surface, read on the video thread.
std::uint32_t window_pixel(const char* title, int x, int y)
{
    std::uint32_t colour = 0xDEADBEEF;
    run_on_video_thread([&] {
        for (Uint32 id = 1; id < 1000; ++id) {
            SDL_Window* w = SDL_GetWindowFromID(id);
            if (!w || std::strcmp(SDL_GetWindowTitle(w), title) != 0)
                continue;
            SDL_Surface* s = SDL_GetWindowSurface(w);
            if (!s || SDL_LockSurface(s) != 0)
                return;
            Uint32 raw = 0;
            std::memcpy(&raw, static_cast<const Uint8*>(s->pixels) + y * s->pitch + x * s->format->BytesPerPixel,
                        s->format->BytesPerPixel);
            Uint8 r, g, b;
            SDL_GetRGB(raw, s->format, &r, &g, &b);
            SDL_UnlockSurface(s);
            colour = (std::uint32_t(r) << 16) | (std::uint32_t(g) << 8) | b;
            return;
        }
    });
    return colour;
}

} // namespace

TEST_F(VideoThread, StartsOffscreenWithoutADisplayAndStopsAndStartsAgain)
{
    std::string error;
    ASSERT_TRUE(start_video_thread(&error)) << error;
    EXPECT_TRUE(video_thread_running());
    EXPECT_EQ(video_driver_name(), "offscreen");
    EXPECT_TRUE(video_is_offscreen());
    EXPECT_FALSE(has_display());
    EXPECT_TRUE(start_video_thread()); // already running

    bool ran_there = false;
    EXPECT_FALSE(on_video_thread());
    EXPECT_TRUE(run_on_video_thread([&] { ran_there = on_video_thread(); }));
    EXPECT_TRUE(ran_there);

    shutdown_video_thread();
    EXPECT_FALSE(video_thread_running());
    EXPECT_EQ(video_driver_name(), "");
    bool ran = false;
    EXPECT_FALSE(run_on_video_thread([&] { ran = true; }));
    EXPECT_FALSE(post_to_video_thread([] {}));
    EXPECT_FALSE(ran);
    shutdown_video_thread(); // twice is harmless

    ASSERT_TRUE(start_video_thread());
    EXPECT_TRUE(run_on_video_thread([&] { ran = true; }));
    EXPECT_TRUE(ran);
}

TEST_F(VideoThread, ShutdownForgetsWindowsClassesAndMessages)
{
    WindowHandle w = make_popup();
    ASSERT_TRUE(w);
    post_message(w, 0x400, 0, 0);
    shutdown_video_thread();
    EXPECT_FALSE(is_window(w));
    Message m;
    EXPECT_FALSE(peek_message(m, false));
    // The class can be registered again, and its windows start the thread again.
    ASSERT_TRUE(register_window_class(kClass, 0, torvane_test::recording_proc));
    WindowHandle again = make_popup();
    ASSERT_TRUE(again);
    EXPECT_NE(again, w); // handles are never reused
    EXPECT_TRUE(video_thread_running());
}

TEST_F(VideoThread, AWaitForTheThreadIsBounded)
{
    ASSERT_TRUE(start_video_thread());
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    // The thread is held up: a bounded wait gives up; an unbounded one is not tried.
    ASSERT_TRUE(post_to_video_thread([released] { released.wait(); }));
    EXPECT_FALSE(run_on_video_thread([] {}, std::chrono::milliseconds(30)));
    release.set_value();
    EXPECT_TRUE(run_on_video_thread([] {}));

    // A thread that stops ends an unbounded wait too.
    std::promise<void> release2;
    std::shared_future<void> released2 = release2.get_future().share();
    ASSERT_TRUE(post_to_video_thread([released2] { released2.wait(); }));
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        release2.set_value();
        shutdown_video_thread();
    });
    run_on_video_thread([] {}, kVideoNoTimeLimit); // returns whether or not it ran
    stopper.join();
    EXPECT_FALSE(video_thread_running());
}

TEST_F(VideoThread, AFramePresentedFromAnotherThreadIsShownAndReadBack)
{
    WindowHandle w = make_popup(4, 2, "Frame");
    ASSERT_TRUE(w);
    // 16-bit 565 with a padded pitch: red, green, blue, white / black, ...
    const std::uint16_t pixels[2][6] = {
        {0xF800, 0x07E0, 0x001F, 0xFFFF, 0x1234, 0x1234},
        {0x0000, 0x0841, 0x8410, 0xFFE0, 0x1234, 0x1234},
    };
    std::thread presenter([&] {
        FrameView frame;
        frame.width = 4;
        frame.height = 2;
        frame.format = PixelFormat::Rgb565;
        frame.pixels = pixels;
        frame.pitch = sizeof pixels[0];
        std::string error;
        EXPECT_TRUE(present_frame(w, frame, &error)) << error;
    });
    presenter.join();
    const auto shown = last_presented_frame();
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->window, w);
    ASSERT_EQ(shown->width, 4);
    ASSERT_EQ(shown->height, 2);
    const std::vector<std::uint32_t> expected = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF,
                                                 0x000000, 0x080808, 0x848284, 0xFFFF00};
    EXPECT_EQ(shown->pixels, expected);
    EXPECT_EQ(window_pixel("Frame", 0, 0), 0xFF0000u);
    EXPECT_EQ(window_pixel("Frame", 3, 1), 0xFFFF00u);
}

TEST_F(VideoThread, AFrameOfAnotherSizeIsScaledToTheWindow)
{
    WindowHandle w = make_popup(64, 48, "Scaled");
    ASSERT_TRUE(w);
    const std::uint8_t indices[2][2] = {{1, 2}, {3, 4}};
    std::uint32_t palette[256] = {};
    palette[1] = 0x112233;
    palette[2] = 0x445566;
    palette[3] = 0x778899;
    palette[4] = 0xFFAABBCC; // the top byte is not colour
    FrameView frame;
    frame.width = 2;
    frame.height = 2;
    frame.format = PixelFormat::Indexed8;
    frame.pixels = indices;
    frame.pitch = 2;
    frame.palette = palette;
    ASSERT_TRUE(present_frame(w, frame));
    const auto shown = last_presented_frame();
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->pixels, (std::vector<std::uint32_t>{0x112233, 0x445566, 0x778899, 0xAABBCC}));
    EXPECT_EQ(window_pixel("Scaled", 0, 0), 0x112233u);
    EXPECT_EQ(window_pixel("Scaled", 63, 0), 0x445566u);
    EXPECT_EQ(window_pixel("Scaled", 0, 47), 0x778899u);
    EXPECT_EQ(window_pixel("Scaled", 63, 47), 0xAABBCCu);
}

TEST_F(VideoThread, EveryPixelFormatConvertsToTrueColour)
{
    struct Case {
        PixelFormat format;
        std::uint32_t pixel; // little-endian in memory
        std::uint32_t expected;
    };
    const Case cases[] = {
        {PixelFormat::Xrgb8888, 0xFF123456, 0x123456},
        {PixelFormat::Rgb565, 0xF800, 0xFF0000},
        {PixelFormat::Rgb565, 0x07E0, 0x00FF00},
        {PixelFormat::Bgr565, 0xF800, 0x0000FF},
        {PixelFormat::Bgr565, 0x001F, 0xFF0000},
        {PixelFormat::Xrgb1555, 0x7C00, 0xFF0000},
        {PixelFormat::Xrgb1555, 0x03E0, 0x00FF00},
        {PixelFormat::Xrgb1555, 0x8000, 0x000000},
        {PixelFormat::Argb4444, 0xF0F0, 0x00FF00},
        {PixelFormat::Argb4444, 0x0F0F, 0xFF00FF},
        {PixelFormat::Argb4444, 0x0008, 0x000088},
    };
    for (const Case& c : cases) {
        std::uint8_t bytes[4];
        std::memcpy(bytes, &c.pixel, 4);
        FrameView frame;
        frame.width = frame.height = 1;
        frame.format = c.format;
        frame.pixels = bytes;
        frame.pitch = bytes_per_pixel(c.format);
        std::vector<std::uint32_t> out;
        ASSERT_TRUE(convert_to_xrgb(frame, out));
        EXPECT_EQ(out.at(0), c.expected) << "format " << static_cast<int>(c.format) << " pixel " << std::hex << c.pixel;
    }
}

// Every value of every 16-bit format converts as its channels say, each
// channel widened by repeating its top bits (full stays full), wherever the
// pixel falls in a row: rows of 261 pixels (so that the last ones come after
// the last whole group of eight) with padding after each.
TEST_F(VideoThread, EverySixteenBitValueConvertsInEveryColumn)
{
    struct Channel {
        int shift, bits;
    };
    struct Layout {
        PixelFormat format;
        Channel r, g, b;
    };
    const Layout layouts[] = {
        {PixelFormat::Rgb565, {11, 5}, {5, 6}, {0, 5}},
        {PixelFormat::Bgr565, {0, 5}, {5, 6}, {11, 5}},
        {PixelFormat::Xrgb1555, {10, 5}, {5, 5}, {0, 5}},
        {PixelFormat::Argb4444, {8, 4}, {4, 4}, {0, 4}},
    };
    const auto expand = [](std::uint32_t v, Channel c) {
        std::uint32_t value = (v >> c.shift) & ((1u << c.bits) - 1);
        std::uint32_t out = 0;
        for (int filled = 0; filled < 8; filled += c.bits)
            out |= filled + c.bits <= 8 ? value << (8 - filled - c.bits) : value >> (filled + c.bits - 8);
        return out;
    };
    const int width = 261, pitch = 2 * width + 6;
    const int height = (65536 + width - 1) / width;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(pitch) * height, 0xA5);
    for (std::uint32_t v = 0; v < 65536; ++v) {
        std::uint8_t* p = bytes.data() + (v / width) * pitch + 2 * (v % width);
        p[0] = static_cast<std::uint8_t>(v);
        p[1] = static_cast<std::uint8_t>(v >> 8);
    }
    for (const Layout& l : layouts) {
        FrameView frame;
        frame.width = width;
        frame.height = height;
        frame.format = l.format;
        frame.pixels = bytes.data();
        frame.pitch = pitch;
        std::vector<std::uint32_t> out;
        ASSERT_TRUE(convert_to_xrgb(frame, out));
        int wrong = 0;
        for (std::uint32_t v = 0; v < 65536; ++v) {
            const std::uint32_t expected = expand(v, l.r) << 16 | expand(v, l.g) << 8 | expand(v, l.b);
            const std::uint32_t got = out.at(v / width * width + v % width);
            if (got != expected && ++wrong < 5)
                ADD_FAILURE() << "format " << static_cast<int>(l.format) << " value " << std::hex << v << ": "
                              << got << " not " << expected;
        }
        EXPECT_EQ(wrong, 0);
    }
}

// 32-bit rows keep their three colour bytes and lose the unused top one in
// every column: rows of 11 pixels (past the last whole group of four) with
// padding after each, every byte different.
TEST_F(VideoThread, ThirtyTwoBitRowsKeepTheirColourInEveryColumn)
{
    const int width = 11, height = 3, pitch = 4 * width + 8;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(pitch) * height);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 37 + 11);
    FrameView frame;
    frame.width = width;
    frame.height = height;
    frame.format = PixelFormat::Xrgb8888;
    frame.pixels = bytes.data();
    frame.pitch = pitch;
    std::vector<std::uint32_t> out;
    ASSERT_TRUE(convert_to_xrgb(frame, out));
    ASSERT_EQ(out.size(), static_cast<std::size_t>(width * height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* p = bytes.data() + y * pitch + 4 * x;
            const std::uint32_t expected = std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0];
            EXPECT_EQ(out[static_cast<std::size_t>(y * width + x)], expected) << "pixel " << x << ", " << y;
        }
}

TEST_F(VideoThread, AFrameThatDoesNotDescribeValidMemoryIsRefused)
{
    WindowHandle w = make_popup();
    ASSERT_TRUE(w);
    std::uint32_t pixels[4] = {};
    FrameView good;
    good.width = 2;
    good.height = 2;
    good.pixels = pixels;
    good.pitch = 8;

    struct Case {
        const char* name;
        FrameView frame;
    };
    std::vector<Case> cases;
    cases.push_back({"no pixels", good});
    cases.back().frame.pixels = nullptr;
    cases.push_back({"zero width", good});
    cases.back().frame.width = 0;
    cases.push_back({"negative height", good});
    cases.back().frame.height = -2;
    cases.push_back({"too wide", good});
    cases.back().frame.width = kMaxFrameSide + 1;
    cases.push_back({"short pitch", good});
    cases.back().frame.pitch = 7;
    cases.push_back({"indexed without palette", good});
    cases.back().frame.format = PixelFormat::Indexed8;
    cases.back().frame.pitch = 2;
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(present_frame(w, c.frame, &error)) << c.name;
        EXPECT_FALSE(error.empty()) << c.name;
    }
    const auto shown = last_presented_frame();
    EXPECT_FALSE(shown && shown->window == w);

    EXPECT_FALSE(present_frame(WindowHandle{424242}, good));
    EXPECT_TRUE(present_frame(w, good));
    shutdown_video_thread();
    EXPECT_FALSE(present_frame(w, good)); // the window went with the thread
}

// Two windows presenting while the video thread is busy: each keeps its own
// waiting frame (one window's frame never replaces the other's), and they
// are shown in the order they were handed over.
TEST_F(VideoThread, EachWindowKeepsItsOwnWaitingFrame)
{
    WindowHandle game = make_popup(2, 1, "Game");
    WindowHandle tool = make_popup(2, 1, "Tool");
    ASSERT_TRUE(game && tool);
    const auto present = [](WindowHandle w, std::uint32_t colour) {
        const std::uint32_t pixels[2] = {colour, colour};
        FrameView frame;
        frame.width = 2;
        frame.height = 1;
        frame.pixels = pixels;
        frame.pitch = sizeof pixels;
        EXPECT_TRUE(present_frame(w, frame));
    };
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    ASSERT_TRUE(post_to_video_thread([released] { released.wait(); }));
    present(tool, 0x111111);
    present(game, 0x222222);
    present(tool, 0x333333); // replaces the tool's waiting frame only
    release.set_value();

    const auto last = last_presented_frame();
    ASSERT_TRUE(last);
    EXPECT_EQ(last->window, tool);
    EXPECT_EQ(last->pixels[0], 0x333333u);
    const auto of_game = last_presented_frame(game);
    ASSERT_TRUE(of_game);
    EXPECT_EQ(of_game->pixels[0], 0x222222u);
    EXPECT_EQ(window_pixel("Game", 0, 0), 0x222222u);
    EXPECT_EQ(window_pixel("Tool", 1, 0), 0x333333u);
    EXPECT_FALSE(last_presented_frame(WindowHandle{9999}));
}

TEST_F(VideoThread, AToolWindowStaysOutOfTheTaskBarAndTheFocusCanBeGiven)
{
    WindowHandle tool = create_window(WS_EX_TOOLWINDOW, kClass, "Tool", WS_BORDER, 0, 0, 100, 80);
    ASSERT_TRUE(tool);
    show_window(tool, SW_SHOWNOACTIVATE);
    Uint32 flags = 0;
    ASSERT_TRUE(run_on_video_thread([&] {
        for (Uint32 id = 1; id < 1000; ++id)
            if (SDL_Window* w = SDL_GetWindowFromID(id))
                if (std::strcmp(SDL_GetWindowTitle(w), "Tool") == 0)
                    flags = SDL_GetWindowFlags(w);
    }));
    EXPECT_TRUE(flags & SDL_WINDOW_UTILITY);
    EXPECT_TRUE(flags & SDL_WINDOW_SKIP_TASKBAR);
    EXPECT_TRUE(flags & SDL_WINDOW_SHOWN);
    EXPECT_TRUE(is_window_visible(tool));
    EXPECT_TRUE(set_focus(tool));
    EXPECT_FALSE(set_focus(WindowHandle{9999}));
}
