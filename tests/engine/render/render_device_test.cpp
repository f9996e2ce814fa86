#include <cstring>
#include <set>
#include <string>
#include <tuple>

#include <gtest/gtest.h>

#include "engine/render/render_device.h"
#include "platform/frame.h"
#include "platform/message_box.h"
#include "platform/video_thread.h"
#include "platform/window.h"

namespace {

platform::LResult Proc(platform::WindowHandle w, unsigned m, platform::WParam wp, platform::LParam lp)
{
    return platform::def_window_proc(w, m, wp, lp);
}

// A window for the renderer, on the offscreen video thread.
class RendererTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::clear_recorded_message_boxes();
        ASSERT_TRUE(platform::register_window_class("RenderTest", 0, &Proc));
        window = platform::create_window(0, "RenderTest", "Render test", 0, 0, 0, 200, 150);
        ASSERT_TRUE(window);
        set_the_render_device(&device);
    }
    void TearDown() override
    {
        set_the_render_device(nullptr);
        platform::shutdown_video_thread();
        platform::clear_recorded_message_boxes();
    }

    platform::WindowHandle window;
    render_device device;
};

} // namespace

TEST_F(RendererTest, ThePlatformHasOneDriverWithTheSoftwareEntryFirst)
{
    EXPECT_EQ(device.render_type, kRenderHardware);
    ASSERT_EQ(device.enumerate_drivers(window), 1);
    ASSERT_EQ(device.driver_count, 1);
    const dd_driver_info& d = device.drivers[0];
    EXPECT_EQ(d.primary, 1);
    EXPECT_EQ(d.dac_bits, -1);
    ASSERT_EQ(d.device_count, 2);
    EXPECT_STREQ(d.devices[0].name, "RenderSoftware");
    EXPECT_EQ(d.devices[0].hardware, 0);
    EXPECT_EQ(d.devices[0].colour_model, -1);
    EXPECT_EQ(d.devices[0].palettised, 1);
    EXPECT_EQ(d.devices[1].hardware, 1);
    EXPECT_EQ(d.devices[1].windowed, 1);
    EXPECT_EQ(d.devices[1].has_zbuffer, 1);

    // Only modes up to 1024 x 768 and 16 bits are kept: the desktop's own
    // 32-bit mode is not; every kept mode fits the video memory.
    std::set<std::tuple<int, int, int>> modes;
    for (int i = 0; i < d.mode_count; ++i) {
        const display_mode& m = d.modes[i];
        EXPECT_LE(m.width, 1024);
        EXPECT_LE(m.height, 768);
        EXPECT_LE(m.depth, 16);
        EXPECT_EQ(m.fits, 1);
        modes.insert({m.width, m.height, m.depth});
    }
    EXPECT_TRUE(modes.count({1024, 768, 16}));
    EXPECT_TRUE(modes.count({320, 200, 8}));

    // The software entry wants 8-bit modes, the 3D device 16-bit ones that fit.
    EXPECT_EQ(device.find_mode(640, 480, 0, 0), 1);
    EXPECT_EQ(device.find_mode(640, 480, 0, 1), 1);
    EXPECT_EQ(device.find_mode(800, 600, -1, 1), 1);
    EXPECT_EQ(device.find_mode(1152, 864, 0, 1), 0);
    EXPECT_EQ(device.find_mode(640, 480, 1, 1), 0);  // no such driver
    EXPECT_EQ(device.find_mode(640, 480, 0, 4), 0);  // no such device

    // Without a window nothing can be listed.
    render_device other;
    EXPECT_EQ(other.enumerate_drivers(platform::WindowHandle{}), 0);
    const auto boxes = platform::recorded_message_boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "D3D Error Message");
    EXPECT_EQ(boxes[0].text, "DirectDrawCreate failed\r\n");
}

TEST_F(RendererTest, TheListingFiltersModesAndFitsThemInVideoMemory)
{
    // A display with 33 acceptable modes after three that are left out.
    platform_display display = describe_platform_display();
    display.modes.clear();
    display.modes.push_back({1152, 864, 16, 0});
    display.modes.push_back({640, 480, 24, 0});
    display.modes.push_back({640, 480, 32, 0});
    for (int i = 0; i < 33; ++i)
        display.modes.push_back({320 + 16 * i, 240, 16, 0});
    // 320 x 240 x 16 needs 460,800 bytes for its three buffers; 336 x 240
    // 483,840. With 1,065,000 bytes of free video memory the first fits
    // (460,800 + 600,000 < 1,065,000) and the second does not.
    display.device.free_local_memory = 1065000;
    display.device.free_texture_memory = 1065000;
    ASSERT_EQ(device.enumerate_drivers(window, display), 1);
    const dd_driver_info& d = device.drivers[0];
    ASSERT_EQ(d.mode_count, 32);
    EXPECT_EQ(d.modes[0].width, 320);
    EXPECT_EQ(d.modes[31].width, 320 + 16 * 31);
    EXPECT_EQ(d.modes[0].fits, 1);
    EXPECT_EQ(d.modes[1].fits, 0);
    EXPECT_EQ(device.find_mode(320, 240, 0, 1), 1);
    EXPECT_EQ(device.find_mode(336, 240, 0, 1), 0);

    // Texture memory smaller than the free memory: more than 600,000 bytes
    // for textures, and the buffers must fit in the rest (1,065,000 -
    // 610,000 = 455,000 is short of 460,800; 1,080,000 - 610,000 is not).
    display.device.free_texture_memory = 610000;
    ASSERT_EQ(device.enumerate_drivers(window, display), 1);
    EXPECT_EQ(device.drivers[0].modes[0].fits, 0);
    display.device.free_local_memory = 1080000;
    ASSERT_EQ(device.enumerate_drivers(window, display), 1);
    EXPECT_EQ(device.drivers[0].modes[0].fits, 1);

    // A device that is not a hardware one leaves every fit flag 0, so the
    // hardware types find no mode; a 15-bit desktop keeps it out of a window.
    display.device.hardware = 0;
    display.device.colour_model = 0;
    display.desktop_depth = 15;
    ASSERT_EQ(device.enumerate_drivers(window, display), 1);
    ASSERT_EQ(device.drivers[0].device_count, 2);
    EXPECT_EQ(device.drivers[0].devices[1].windowed, 0);
    for (int i = 0; i < device.drivers[0].mode_count; ++i)
        EXPECT_EQ(device.drivers[0].modes[i].fits, 0);
    EXPECT_EQ(device.find_mode(320, 240, 0, 1), 0);

    // A device of the RGB model that is not a hardware one is not listed.
    display.device.colour_model = 2;
    ASSERT_EQ(device.enumerate_drivers(window, display), 1);
    EXPECT_EQ(device.drivers[0].device_count, 1);
}

TEST(RenderDevice, DepthToDdbd)
{
    const int depths[] = {1, 2, 4, 8, 16, 24, 32, 15, 0};
    const std::int32_t expected[] = {0x4000, 0x2000, 0x1000, 0x800, 0x400, 0x200, 0x100, -100, -100};
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(depth_to_ddbd(depths[i]), expected[i]) << depths[i];
}

TEST(RenderDevice, ErrorTexts)
{
    EXPECT_STREQ(render_error_text(0), "DirectDrawEnumerate failed!");
    EXPECT_STREQ(render_error_text(27), "Swap Buffer failed!");
    EXPECT_STREQ(render_error_text(49), "Texture cache, range error\n");
    EXPECT_STREQ(render_error_text(-1), "General D3D Interface Error");
    EXPECT_STREQ(render_error_text(50), "General D3D Interface Error");
    platform::clear_recorded_message_boxes();
    render_device device;
    device.report_error(37);
    const auto boxes = platform::recorded_message_boxes();
    ASSERT_EQ(boxes.size(), 1u);
    // A line break always follows, also after a message's own.
    EXPECT_EQ(boxes[0].text, "Cannot open palette file!\n\r\n");
    platform::clear_recorded_message_boxes();
}

TEST_F(RendererTest, PresentShowsTheBackBufferUnlessPaused)
{
    ASSERT_EQ(device.enumerate_drivers(window), 1);
    EXPECT_EQ(device.init(0, 320, 200, 16, 1), 1);
    EXPECT_EQ(device.render_type, kRenderHardware);
    EXPECT_EQ(device.screen_depth, 16);
    EXPECT_EQ(device.exclusive, 0);
    device.set_background(1.0f, 0.0f, 0.0f);
    device.clear_back_buffer();
    ASSERT_EQ(device.present(), 1);
    auto frame = platform::last_presented_frame();
    ASSERT_TRUE(frame.has_value());
    EXPECT_EQ(frame->width, 320);
    EXPECT_EQ(frame->height, 200);
    EXPECT_EQ(frame->pixels[0] & 0xF80000u, 0xF80000u);
    EXPECT_EQ(frame->pixels[0] & 0x00FFFFu, 0u);
    EXPECT_EQ(device.frames_presented, 1u);

    // Paused: nothing is cleared or shown; state 2 changes nothing.
    device.set_active(1);
    device.set_active(2);
    EXPECT_EQ(device.paused, 1);
    device.set_background(0.0f, 0.0f, 1.0f);
    device.clear_back_buffer();
    EXPECT_EQ(device.present(), 1);
    EXPECT_EQ(device.frames_presented, 1u);
    device.set_active(0);
    EXPECT_EQ(device.present(), 1);
    frame = platform::last_presented_frame();
    ASSERT_TRUE(frame.has_value());
    EXPECT_EQ(frame->pixels[0] & 0xF80000u, 0xF80000u); // the old picture: the clear was skipped

    // The software entry without its 16-bit flag draws 8-bit.
    EXPECT_EQ(device.init(0, 320, 200, 16, 0), 1);
    EXPECT_EQ(device.render_type, kRenderSoftware);
    EXPECT_EQ(device.screen_depth, 8);
    EXPECT_EQ(device.present(), 1);

    // No such mode or device: reported, and the display is not ready.
    platform::clear_recorded_message_boxes();
    EXPECT_EQ(device.init(0, 1280, 1024, 16, 1), 0);
    EXPECT_EQ(device.init(0, 640, 480, 16, 3), 0);
    EXPECT_EQ(device.ready, 0);
    const auto boxes = platform::recorded_message_boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, "Invalid video mode!\r\n");
    EXPECT_EQ(boxes[1].text, "Render Software not available\r\n");

    // Release forgets the drivers and goes back to type 96, also twice.
    EXPECT_EQ(device.release(), 1);
    EXPECT_EQ(device.release(), 1);
    EXPECT_EQ(device.driver_count, 0);
    EXPECT_EQ(device.render_type, kRenderHardware);
}

TEST_F(RendererTest, AFullScreenDisplayTakesTheWindowAndKeepsItsOrigin)
{
    ASSERT_EQ(device.enumerate_drivers(window), 1);
    ASSERT_EQ(device.init(0, 640, 480, 32, 1), 1);
    EXPECT_EQ(device.exclusive, 1);
    platform::Rect client;
    ASSERT_TRUE(platform::get_client_rect(window, client));
    EXPECT_EQ(client.right, 640);
    EXPECT_EQ(client.bottom, 480);
    EXPECT_TRUE(platform::is_window_visible(window));
    device.origin_x = 7;
    device.origin_y = 9;
    EXPECT_EQ(device.update_window_origin(), 1);
    EXPECT_EQ(device.origin_x, 7);
    EXPECT_EQ(device.origin_y, 9);
}
