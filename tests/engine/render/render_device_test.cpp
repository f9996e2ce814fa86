#include <cstring>
#include <set>
#include <string>
#include <tuple>

#include <gtest/gtest.h>

#include "engine/base/render_facts.h"
#include "engine/render/render_device.h"
#include "platform/atomic_file.h"
#include "platform/display.h"
#include "platform/fault_seam.h"
#include "platform/frame.h"
#include "platform/memory_status.h"
#include "platform/message_box.h"
#include "platform/video_thread.h"
#include "platform/window.h"
#include "tests/support/temp_dir.h"

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
        platform::reset_display_description();
        platform::clear_faults();
        platform::shutdown_video_thread();
        platform::clear_recorded_message_boxes();
    }

    // Gives the window a client area of w x h, as the program sizes its main
    // window before a display in a window.
    void size_client(int w, int h)
    {
        ASSERT_TRUE(platform::set_client_size(window, w, h, false));
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
    platform::DisplayDescription display = platform::default_display_description();
    display.modes.clear();
    display.modes.push_back({1152, 864, 16});
    display.modes.push_back({640, 480, 24});
    display.modes.push_back({640, 480, 32});
    for (int i = 0; i < 33; ++i)
        display.modes.push_back({320 + 16 * i, 240, 16});
    // 320 x 240 x 16 needs 460,800 bytes for its three buffers; 336 x 240
    // 483,840. With 1,065,000 bytes of free video memory the first fits
    // (460,800 + 600,000 < 1,065,000) and the second does not.
    display.video_memory = 1065000;
    display.texture_memory = 1065000;
    const auto enumerate = [&] {
        platform::set_display_description(display);
        return device.enumerate_drivers(window);
    };
    ASSERT_EQ(enumerate(), 1);
    const dd_driver_info& d = device.drivers[0];
    ASSERT_EQ(d.mode_count, 32);
    EXPECT_EQ(d.modes[0].width, 320);
    EXPECT_EQ(d.modes[31].width, 320 + 16 * 31);
    EXPECT_EQ(d.devices[1].free_local_memory, 1065000u);
    EXPECT_EQ(d.modes[0].fits, 1);
    EXPECT_EQ(d.modes[1].fits, 0);
    EXPECT_EQ(device.find_mode(320, 240, 0, 1), 1);
    EXPECT_EQ(device.find_mode(336, 240, 0, 1), 0);

    // Texture memory smaller than the free memory: more than 600,000 bytes
    // for textures, and the buffers must fit in the rest (1,065,000 -
    // 610,000 = 455,000 is short of 460,800; 1,080,000 - 610,000 is not).
    display.texture_memory = 610000;
    ASSERT_EQ(enumerate(), 1);
    EXPECT_EQ(device.drivers[0].modes[0].fits, 0);
    display.video_memory = 1080000;
    ASSERT_EQ(enumerate(), 1);
    EXPECT_EQ(device.drivers[0].modes[0].fits, 1);
    // Textures from memory outside the card: 60,000 bytes beside the buffers.
    display.devices[0].nonlocal_textures = true;
    display.video_memory = 520801;
    ASSERT_EQ(enumerate(), 1);
    EXPECT_EQ(device.drivers[0].modes[0].fits, 1);
    display.video_memory = 520800;
    ASSERT_EQ(enumerate(), 1);
    EXPECT_EQ(device.drivers[0].modes[0].fits, 0);
    display.devices[0].nonlocal_textures = false;

    // Budgets past 4 GiB do not wrap the sums.
    display.video_memory = (std::uint64_t{1} << 32) + 1000;
    display.texture_memory = display.video_memory;
    ASSERT_EQ(enumerate(), 1);
    EXPECT_EQ(device.drivers[0].modes[0].fits, 1);
    display.video_memory = display.texture_memory = 1080000;

    // A device that is not a hardware one leaves every fit flag 0, so the
    // hardware types find no mode; a 15-bit desktop keeps it out of a window.
    display.devices[0].hardware = false;
    display.devices[0].colour_model = 0;
    display.desktop.depth = 15;
    ASSERT_EQ(enumerate(), 1);
    ASSERT_EQ(device.drivers[0].device_count, 2);
    EXPECT_EQ(device.drivers[0].devices[1].windowed, 0);
    for (int i = 0; i < device.drivers[0].mode_count; ++i)
        EXPECT_EQ(device.drivers[0].modes[i].fits, 0);
    EXPECT_EQ(device.find_mode(320, 240, 0, 1), 0);

    // A device of the RGB model that is not a hardware one is not listed,
    // nor one without perspective-correct textures.
    display.devices[0].colour_model = 2;
    ASSERT_EQ(enumerate(), 1);
    EXPECT_EQ(device.drivers[0].device_count, 1);
    display.devices[0].hardware = true;
    display.devices[0].perspective_textures = false;
    ASSERT_EQ(enumerate(), 1);
    EXPECT_EQ(device.drivers[0].device_count, 1);

    // Four devices at most, the software entry among them.
    display.devices[0].perspective_textures = true;
    display.devices.resize(5, display.devices[0]);
    ASSERT_EQ(enumerate(), 1);
    EXPECT_EQ(device.drivers[0].device_count, 4);
}

TEST_F(RendererTest, TheDeviceListsItsTextureFormatsAndCapabilities)
{
    ASSERT_EQ(device.enumerate_drivers(window), 1);
    const d3d_device_info& hw = device.drivers[0].devices[1];
    EXPECT_EQ(hw.hardware, 1);
    EXPECT_EQ(hw.colour_model, 2);
    EXPECT_EQ(hw.zcompare, 2);
    EXPECT_EQ(hw.square_only, 0);
    EXPECT_EQ(hw.local_textures, 1);
    EXPECT_EQ(hw.palettised, 0);
    EXPECT_EQ(hw.render_depths, 0x400);
    ASSERT_EQ(device.texture_format_count, 3);
    const texture_format_info* f = device.texture_formats;
    EXPECT_EQ(f[0].red_bits, 5);
    EXPECT_EQ(f[0].green_bits, 6);
    EXPECT_EQ(f[0].blue_bits, 5);
    EXPECT_EQ(f[0].alpha_bits, 0);
    EXPECT_EQ(f[1].green_bits, 5);
    EXPECT_EQ(f[2].alpha_bits, 4);
    EXPECT_EQ(f[2].red_bits, 4);
    EXPECT_EQ(device.alpha4, 1);
    // No palettised format: the first one is chosen.
    EXPECT_EQ(device.texture_format_index, 0);
    EXPECT_EQ(device.texture_format.layout, platform::PixelLayout::Rgb565);

    // Only less-or-equal: that is the compare; a palettised format is chosen
    // wherever it stands; textures that do not fit in video memory are not
    // local.
    platform::DisplayDescription display = platform::default_display_description();
    display.devices[0].compare_less = false;
    display.texture_formats = {platform::PixelLayout::Rgb565, platform::PixelLayout::Indexed8,
                               platform::PixelLayout::Rgb555};
    display.video_memory = 100000;
    display.texture_memory = 100000;
    platform::set_display_description(display);
    ASSERT_EQ(device.enumerate_drivers(window), 1);
    const d3d_device_info& small = device.drivers[0].devices[1];
    EXPECT_EQ(small.zcompare, 4);
    EXPECT_EQ(small.local_textures, 0);
    EXPECT_EQ(small.palettised, 1);
    EXPECT_EQ(device.texture_format_index, 1);
    EXPECT_EQ(device.texture_formats[1].index_bits, 8);
}

TEST_F(RendererTest, EachFailingListingStepReportsItsCode)
{
    const struct {
        platform::Fault fault;
        const char* text;
    } cases[] = {
        {platform::Fault::DisplayOpen, "DirectDrawCreate failed\r\n"},
        {platform::Fault::DisplayDesktopMode, "GetDisplayMode error!\r\n"},
        {platform::Fault::DisplayDriverList, "DirectDrawEnumerate failed!\r\n"},
        {platform::Fault::DisplayModeList, "EnumDisplayModes failed.\r\n"},
        {platform::Fault::Display3DOpen, "Creation of IDirect3D failed!\r\n"},
        {platform::Fault::DisplayDeviceList, "Enumeration of drivers failed.\r\n"},
    };
    for (const auto& c : cases) {
        platform::clear_recorded_message_boxes();
        platform::fail_next(c.fault);
        EXPECT_EQ(device.enumerate_drivers(window), 0) << c.text;
        const auto boxes = platform::recorded_message_boxes();
        ASSERT_EQ(boxes.size(), 1u) << c.text;
        EXPECT_EQ(boxes[0].text, c.text);
        EXPECT_EQ(boxes[0].caption, "D3D Error Message");
        EXPECT_EQ(device.driver_count, 0);
    }
    // Failures while a device is tried leave it listed, silently.
    platform::clear_recorded_message_boxes();
    platform::fail_next(platform::Fault::DeviceCreate);
    platform::fail_next(platform::Fault::DisplayMemoryQuery, 2);
    ASSERT_EQ(device.enumerate_drivers(window), 1);
    EXPECT_EQ(device.drivers[0].device_count, 2);
    EXPECT_EQ(device.drivers[0].devices[1].free_local_memory, 0u);
    EXPECT_TRUE(platform::recorded_message_boxes().empty());
    platform::clear_faults();
}

TEST_F(RendererTest, SelectModeTakesTheExactThenTheLastSmallerMode)
{
    platform::DisplayDescription display = platform::default_display_description();
    display.modes = {{800, 600, 16}, {512, 384, 16}, {400, 300, 16}, {640, 480, 8}};
    platform::set_display_description(display);
    ASSERT_EQ(device.enumerate_drivers(window), 1);
    const struct {
        int width, height, depth, expected;
    } cases[] = {
        {800, 600, 16, 0}, {640, 480, 16, 2}, {1024, 768, 16, 2}, {320, 200, 16, 0}, {640, 480, 8, 3},
    };
    for (const auto& c : cases) {
        device.width = c.width;
        device.height = c.height;
        device.screen_depth = c.depth;
        device.select_mode(device.drivers[0]);
        EXPECT_EQ(device.current_mode, c.expected) << c.width << "x" << c.height;
        EXPECT_EQ(device.mode.width, device.drivers[0].modes[c.expected].width);
    }
    // find_mode wants the exact size at the render type's depth.
    EXPECT_EQ(device.find_mode(640, 480, 0, 0), 1);
    EXPECT_EQ(device.find_mode(640, 480, 0, 1), 0);
    EXPECT_EQ(device.find_mode(512, 384, -1, 1), 1);
    EXPECT_EQ(device.find_mode(512, 384, 1, 1), 0);  // no second driver
    EXPECT_EQ(device.find_mode(512, 384, 0, 4), 0);  // no such device
}

TEST(RenderDevice, DepthToDdbd)
{
    const int depths[] = {1, 2, 4, 8, 16, 24, 32, 15, 0};
    const std::int32_t expected[] = {0x4000, 0x2000, 0x1000, 0x800, 0x400, 0x200, 0x100, -100, -100};
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(depth_to_ddbd(depths[i]), expected[i]) << depths[i];
}

// The construction looks at the machine's memory once: below 17,000,000
// bytes (not 16 MiB) the machine is low on memory, and the installed
// renderer tells the engine, whose context then keeps the smaller software
// vertex buffer. A release keeps the flag.
TEST(RenderDevice, TheConstructionSetsTheLowMemoryFlagBelowSeventeenMillionBytes)
{
    struct Case {
        std::uint64_t bytes;
        int low;
    } cases[] = {{16999999, 1}, {17000000, 0}, {16u << 20, 1}, {8ull << 30, 0}, {0, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        platform::set_test_physical_memory(c.bytes);
        render_device device;
        EXPECT_EQ(device.low_memory, c.low);
        set_the_render_device(&device);
        EXPECT_EQ(engine_render_facts().low_memory, c.low == 1);
        EXPECT_EQ(device.release(), 1);
        EXPECT_EQ(device.low_memory, c.low);
        set_the_render_device(nullptr);
        EXPECT_FALSE(engine_render_facts().low_memory);
    }
    platform::clear_test_physical_memory();
    EXPECT_GT(platform::total_physical_memory(), 17000000u);
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
    size_client(512, 384);
    ASSERT_EQ(device.enumerate_drivers(window), 1);
    EXPECT_EQ(device.init(0, 512, 384, 16, 1), 1);
    EXPECT_EQ(device.render_type, kRenderHardware);
    EXPECT_EQ(device.screen_depth, 16);
    EXPECT_EQ(device.exclusive, 0);
    device.set_background(1.0f, 0.0f, 0.0f);
    device.clear_back_buffer();
    ASSERT_EQ(device.present(), 1);
    auto frame = platform::last_presented_frame();
    ASSERT_TRUE(frame.has_value());
    EXPECT_EQ(frame->width, 512);
    EXPECT_EQ(frame->height, 384);
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

    // A size the driver does not offer takes the last smaller mode; a
    // device index the driver does not have (too large or negative) takes
    // device 0.
    platform::clear_recorded_message_boxes();
    EXPECT_EQ(device.init(0, 1280, 1024, 16, 1), 1);
    EXPECT_EQ(device.mode.width, 1024);
    EXPECT_EQ(device.mode.depth, 16);
    for (int index : {3, 4, 99, -1, -7}) {
        EXPECT_EQ(device.init(0, 640, 480, 16, index), 1) << index;
        EXPECT_EQ(device.device, 0);
        EXPECT_EQ(device.render_type, kRenderSoftware);
    }
    EXPECT_TRUE(platform::recorded_message_boxes().empty());

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

namespace {

// A palette file of 6-bit entries: entry i is (i & 63, (i >> 1) & 63,
// (i >> 2) & 63), with entry 5 the darkest but one of its bytes above 63.
std::vector<std::uint8_t> palette_file_bytes()
{
    std::vector<std::uint8_t> bytes(768);
    for (int i = 0; i < 256; ++i) {
        bytes[3 * i] = static_cast<std::uint8_t>((i & 63) | 1);
        bytes[3 * i + 1] = static_cast<std::uint8_t>((i >> 1) & 63);
        bytes[3 * i + 2] = static_cast<std::uint8_t>((i >> 2) & 63);
    }
    // 0xC0 | 0 reads as 0: entry 5 is (0, 0, 0) and darker than entry 0.
    bytes[15] = 0xC0;
    bytes[16] = 0x40;
    bytes[17] = 0x80;
    return bytes;
}

} // namespace

TEST_F(RendererTest, APaletteFileFillsTheTablesOfTheScreen)
{
    const auto dir = torvane_test::make_temp_dir("pal");
    torvane_test::ScopedCwd cwd(dir);
    ASSERT_TRUE(platform::write_file_atomic((dir / "palette.pal").string(), palette_file_bytes()));

    // 8-bit software screen: integers times 4, the hardware copy as 6-bit
    // values while the DAC is not known to be 8 bits wide. Setting up an
    // 8-bit screen measures it (6 bits on this display).
    platform::DisplayDescription six = platform::default_display_description();
    six.dac_bits = 6;
    platform::set_display_description(six);
    ASSERT_EQ(device.enumerate_drivers(window), 1);
    device.software_16bit = 0;
    ASSERT_EQ(device.init(0, 320, 200, 16, 0), 1);
    EXPECT_EQ(device.drivers[0].dac_bits, 6);
    ASSERT_EQ(device.load_palette("PALETTE.PAL"), 1);
    EXPECT_EQ(device.darkest_index, 5);
    EXPECT_EQ(device.palette_rgb[9][0], 9 * 4);
    EXPECT_EQ(device.palette_rgb[9][1], 4 * 4);
    EXPECT_EQ(device.palette_rgb[9][2], 2 * 4);
    EXPECT_EQ(device.hardware_palette[27], 9);
    EXPECT_EQ(device.palette[9], 0x241008u);
    EXPECT_EQ(device.palette_dirty, 1);
    device.drivers[0].dac_bits = 8;
    ASSERT_EQ(device.load_palette("palette.pal"), 1);
    EXPECT_FALSE(engine_render_facts().software_16bit); // an 8-bit screen
    EXPECT_EQ(device.hardware_palette[27], 36);

    // The background of an 8-bit screen is the nearest entry: entries 8 and
    // 9 are both (36, 16, 8), nearest to (37, 16, 8), and the first wins.
    // Black is entry 5 (entry 0 is (4, 0, 0)).
    device.set_background(37.5f / 255, 16.5f / 255, 8.5f / 255);
    EXPECT_EQ(device.background_pixel, 8u);
    device.clear_back_buffer();
    EXPECT_EQ(device.back_buffer[0], 8);
    device.set_background(0.0f, 0.0f, 0.0f);
    EXPECT_EQ(device.background_pixel, 5u);

    // Replacing the entries of an 8-bit screen, masked to 6 bits.
    std::vector<unsigned char> rgb(768, 0xFF);
    ASSERT_EQ(device.set_palette_entries(rgb.data()), 1);
    EXPECT_EQ(device.palette_rgb[0][0], 252);
    EXPECT_EQ(device.hardware_palette[0], 252);

    // 16-bit software screen: the colour table by the screen's masks.
    const struct {
        std::uint32_t red, green, blue;
        std::uint16_t entry9;  // r 9, g 4, b 2 (6-bit)
    } masks[] = {
        {0xF800, 0x07E0, 0x001F, static_cast<std::uint16_t>(4 << 11 | 4 << 5 | 1)},
        {0x7C00, 0x03E0, 0x001F, static_cast<std::uint16_t>(4 << 10 | 2 << 5 | 1)},
        {0x001F, 0x07E0, 0xF800, static_cast<std::uint16_t>(1 << 11 | 4 << 5 | 4)},
    };
    device.software_16bit = 1;
    ASSERT_EQ(device.init(0, 640, 480, 16, 0), 1);
    for (const auto& m : masks) {
        device.red_mask = m.red;
        device.green_mask = m.green;
        device.blue_mask = m.blue;
        ASSERT_EQ(device.load_palette("palette.pal"), 1);
        ASSERT_EQ(device.colour_table.size(), 256u);
        EXPECT_EQ(device.colour_table[9], m.entry9) << std::hex << m.red;
        // The engine's shade tables take the 16-bit colours from now on.
        EXPECT_TRUE(engine_render_facts().software_16bit);
        EXPECT_EQ(engine_render_facts().palette_conversion[9], m.entry9);
        // The background is packed by the same masks, and cleared to.
        device.set_background(1.0f, 0.0f, 0.0f);
        EXPECT_EQ(device.background_pixel, m.red);
        device.clear_back_buffer();
        EXPECT_EQ(device.back_buffer[0] | device.back_buffer[1] << 8, static_cast<int>(m.red));
    }
    EXPECT_EQ(device.darkest_index, 5);
    // Nothing changes on a 16-bit screen.
    const std::int32_t before = device.palette_rgb[0][0];
    std::vector<unsigned char> zero(768, 0);
    EXPECT_EQ(device.set_palette_entries(zero.data()), 1);
    EXPECT_EQ(device.palette_rgb[0][0], before);

    // A missing file and one that is not 768 bytes are refused.
    platform::clear_recorded_message_boxes();
    EXPECT_EQ(device.load_palette("missing.pal"), 0);
    auto shorter = palette_file_bytes();
    shorter.pop_back();
    ASSERT_TRUE(platform::write_file_atomic((dir / "short.pal").string(), shorter));
    EXPECT_EQ(device.load_palette("short.pal"), 0);
    auto longer = palette_file_bytes();
    longer.push_back(0);
    ASSERT_TRUE(platform::write_file_atomic((dir / "long.pal").string(), longer));
    EXPECT_EQ(device.load_palette("long.pal"), 0);
    const auto boxes = platform::recorded_message_boxes();
    ASSERT_EQ(boxes.size(), 3u);
    for (const auto& box : boxes)
        EXPECT_EQ(box.text, "Cannot open palette file!\n\r\n");
}

namespace {

// The pixel of the back surface at (x, y) of `bytes` bytes, read through a
// lock of its own.
std::uint32_t back_pixel(render_device& device, int x, int y, int bytes)
{
    platform::SurfaceLock lock;
    EXPECT_EQ(device.back_surface->lock(lock), platform::DisplayResult::Ok);
    const std::uint8_t* p = lock.pixels + y * lock.pitch + x * bytes;
    const std::uint32_t value = bytes == 2 ? std::uint32_t(p[0] | p[1] << 8) : p[0];
    device.back_surface->unlock();
    return value;
}

} // namespace

// An empty scene answers what the device answers: 1, error 24 for a refused
// begin, 26 for a refused end, the lost result while the surfaces are lost;
// nothing is drawn, and a failed scene leaves the device able to begin the
// next. Without a 3D device (none yet, or the software type) it is 1.
TEST_F(RendererTest, AnEmptyTestSceneAnswersWhatTheDeviceAnswers)
{
    EXPECT_EQ(device.test_scene(), 1);
    size_client(320, 240);
    ASSERT_EQ(device.enumerate_drivers(window), 1);
    ASSERT_EQ(device.init(0, 320, 240, 16, 1), 1);
    device.set_background(0.0f, 1.0f, 0.0f);
    ASSERT_EQ(device.clear_back_buffer(), 1);
    const std::uint32_t green = back_pixel(device, 100, 100, 2);
    const struct {
        platform::Fault fault;
        int code;
    } refused[] = {{platform::Fault::DeviceBeginScene, 24}, {platform::Fault::DeviceEndScene, 26}};
    for (const auto& c : refused) {
        platform::clear_recorded_message_boxes();
        platform::fail_next(c.fault);
        EXPECT_EQ(device.test_scene(), 0);
        platform::clear_faults();
        const auto boxes = platform::recorded_message_boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text.rfind(render_error_text(c.code), 0), 0u) << boxes[0].text;
        EXPECT_EQ(device.test_scene(), 1);
    }
    platform::clear_recorded_message_boxes();
    device.display->lose_surfaces();
    EXPECT_EQ(device.test_scene(), kSurfaceLostResult);
    EXPECT_TRUE(platform::recorded_message_boxes().empty());
    ASSERT_EQ(device.restore_surfaces(), 1);
    ASSERT_EQ(device.clear_back_buffer(), 1);
    EXPECT_EQ(device.test_scene(), 1);
    EXPECT_EQ(back_pixel(device, 100, 100, 2), green);

    ASSERT_EQ(device.init(0, 320, 200, 16, 0), 1);
    ASSERT_EQ(device.render_type, kRenderSoftware);
    EXPECT_EQ(device.test_scene(), 1);
}

// put_pixel writes one pixel of the picture, its place held to the picture:
// a 16-bit 3D screen takes the whole colour, an 8-bit software screen its
// low byte (the software picture starts on the back's second row). Before
// a display it does nothing.
TEST_F(RendererTest, PutPixelWritesOnePixelHeldToThePicture)
{
    device.put_pixel(3, 3, 0xFFFF);  // no display yet: nothing to write into
    size_client(320, 240);
    ASSERT_EQ(device.enumerate_drivers(window), 1);
    ASSERT_EQ(device.init(0, 320, 240, 16, 1), 1);
    device.set_background(0.0f, 0.0f, 0.0f);
    ASSERT_EQ(device.clear_back_buffer(), 1);
    const struct {
        int x, y, at_x, at_y;
        std::uint16_t colour;
    } cases[] = {{10, 20, 10, 20, 0xF800}, {-5, -7, 0, 0, 0x07E0}, {9999, 9999, 319, 239, 0x001F},
                 {319, -1, 319, 0, 0x1234}, {-1, 239, 0, 239, 0x4321}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.x);
        device.put_pixel(c.x, c.y, c.colour);
        EXPECT_EQ(back_pixel(device, c.at_x, c.at_y, 2), c.colour);
    }
    // Only those pixels were written.
    EXPECT_EQ(back_pixel(device, 11, 20, 2), 0u);
    EXPECT_EQ(back_pixel(device, 10, 21, 2), 0u);
    ASSERT_EQ(device.present(), 1);
    const auto frame = platform::last_presented_frame();
    ASSERT_TRUE(frame.has_value());
    EXPECT_EQ(frame->pixels[20 * frame->width + 10], 0xFF0000u);

    ASSERT_EQ(device.init(0, 320, 200, 16, 0), 1);
    ASSERT_EQ(device.screen_depth, 8);
    device.put_pixel(5, 6, 0x1234);
    EXPECT_EQ(back_pixel(device, 5, 7, 1), 0x34u);
    EXPECT_EQ(back_pixel(device, 6, 7, 1), 0u);
    device.put_pixel(400, 300, 0x0077);
    EXPECT_EQ(back_pixel(device, 319, 200, 1), 0x77u);
}
