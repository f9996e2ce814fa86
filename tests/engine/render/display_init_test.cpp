#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/render/rast.h"
#include "engine/render/render_device.h"
#include "platform/atomic_file.h"
#include "platform/display.h"
#include "platform/fault_seam.h"
#include "platform/frame.h"
#include "platform/message_box.h"
#include "platform/video_thread.h"
#include "platform/window.h"
#include "tests/engine/render/rast_test_fixture.h"
#include "tests/support/temp_dir.h"

// Setting up the display over the platform's display service: the surfaces,
// Z-buffer, palette and device each render type makes, in a window and full
// screen; set-up again with the same or other arguments; each failing step;
// release; pausing and lost surfaces.
namespace {

using platform::DisplayResult;
using platform::Fault;

constexpr int kHardware = 1;  // device 1: the platform's 3D device
constexpr int kSoftware = 0;  // device 0: "RenderSoftware"
constexpr int kWindow = 16;
constexpr int kFullScreen = 32;

platform::LResult Proc(platform::WindowHandle w, unsigned m, platform::WParam wp, platform::LParam lp)
{
    return platform::def_window_proc(w, m, wp, lp);
}

class DisplayInit : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::clear_recorded_message_boxes();
        ASSERT_TRUE(platform::register_window_class("DisplayInit", 0, &Proc));
        window = platform::create_window(0, "DisplayInit", "Display init", 0, 0, 0, 200, 150);
        ASSERT_TRUE(window);
        set_the_render_device(&device);
    }
    void TearDown() override
    {
        device.release();
        set_the_render_device(nullptr);
        platform::reset_display_description();
        platform::clear_faults();
        platform::shutdown_video_thread();
        platform::clear_recorded_message_boxes();
    }

    // The client area the program gives its main window before a display in
    // a window.
    void size_client(int w, int h)
    {
        ASSERT_TRUE(platform::set_client_size(window, w, h, false));
    }
    platform::Rect client() const
    {
        platform::Rect r;
        EXPECT_TRUE(platform::get_client_rect(window, r));
        return r;
    }
    // The texts of the boxes shown since the last call.
    static std::vector<std::string> boxes()
    {
        std::vector<std::string> texts;
        for (const auto& box : platform::recorded_message_boxes()) {
            EXPECT_EQ(box.caption, "D3D Error Message");
            texts.push_back(box.text);
        }
        platform::clear_recorded_message_boxes();
        return texts;
    }
    static std::string message(int code) { return std::string(render_error_text(code)) + "\r\n"; }
    // Nothing of a display is held.
    void expect_released()
    {
        EXPECT_EQ(device.display, nullptr);
        EXPECT_EQ(device.primary_surface, nullptr);
        EXPECT_EQ(device.back_surface, nullptr);
        EXPECT_EQ(device.zbuffer, nullptr);
        EXPECT_EQ(device.device3d, nullptr);
        EXPECT_EQ(device.viewport, nullptr);
        EXPECT_EQ(device.background_material, nullptr);
        EXPECT_EQ(device.screen_palette, nullptr);
        EXPECT_EQ(device.clipper, nullptr);
        EXPECT_EQ(device.ready, 0);
        EXPECT_EQ(device.exclusive, 0);
        EXPECT_EQ(device.render_type, kRenderHardware);
        EXPECT_FALSE(platform::is_window_full_screen(window));
    }

    platform::WindowHandle window;
    render_device device;
};

TEST_F(DisplayInit, EachTypeMakesItsSurfacesInAWindowAndFullScreen)
{
    const struct {
        const char* name;
        int device, depth;
        std::uint8_t software_16bit;
        std::int32_t type, exclusive, screen_depth;
        bool zbuffer_and_device, palette, clipper, flip_chain;
        int spare_rows;  // software pictures have a row above and below
    } cases[] = {
        {"hardware in a window", kHardware, kWindow, 0, kRenderHardware, 0, 16, true, false, true, false, 0},
        {"hardware full screen", kHardware, kFullScreen, 0, kRenderHardware, 1, 16, true, false, false, true, 0},
        // An 8-bit screen is not the desktop's depth: always full screen.
        {"software 8-bit", kSoftware, kWindow, 0, kRenderSoftware, 1, 8, false, true, false, false, 2},
        {"software 16-bit in a window", kSoftware, kWindow, 1, kRenderSoftware, 0, 16, false, false, true, false, 2},
        {"software 16-bit full screen", kSoftware, kFullScreen, 1, kRenderSoftware, 1, 16, false, false, false, false,
         2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        size_client(640, 480);
        ASSERT_EQ(device.enumerate_drivers(window), 1);
        device.software_16bit = c.software_16bit;
        ASSERT_EQ(device.init(0, 640, 480, c.depth, c.device), 1);
        EXPECT_TRUE(boxes().empty());
        EXPECT_EQ(device.ready, 1);
        EXPECT_EQ(device.surfaces_valid, 1);
        EXPECT_EQ(device.render_type, c.type);
        EXPECT_EQ(device.screen_depth, c.screen_depth);
        EXPECT_EQ(device.exclusive, c.exclusive);
        EXPECT_EQ(device.requested_level, c.exclusive ? 32 : 16);
        EXPECT_EQ(platform::is_window_full_screen(window), c.exclusive == 1);
        EXPECT_EQ(client().right, 640);
        EXPECT_EQ(client().bottom, 480);

        ASSERT_NE(device.primary_surface, nullptr);
        ASSERT_NE(device.back_surface, nullptr);
        EXPECT_EQ(device.primary_surface->kind(), platform::SurfaceKind::Primary);
        EXPECT_EQ(device.primary_surface->width(), 640);
        EXPECT_EQ(device.primary_surface->layout(),
                  c.screen_depth == 8 ? platform::PixelLayout::Indexed8 : platform::PixelLayout::Rgb565);
        EXPECT_EQ(device.back_surface == device.primary_surface->back(), c.flip_chain);
        EXPECT_EQ(device.back_width, 640);
        EXPECT_EQ(device.back_height, 480 + c.spare_rows);
        EXPECT_EQ(device.back_pitch, device.back_surface->pitch());
        EXPECT_EQ(device.screen_pixels, device.back_address + (c.spare_rows ? device.back_pitch : 0));
        EXPECT_EQ(device.back_buffer.data(), device.screen_pixels);
        EXPECT_EQ(device.draw_width, 640);
        EXPECT_EQ(device.draw_height, 480);
        EXPECT_EQ(device.back_in_video, c.type == kRenderHardware ? 1 : 0);
        EXPECT_EQ(device.primary_in_video, 1);
        EXPECT_EQ(device.red_mask, c.screen_depth == 16 ? 0xF800u : 0u);

        EXPECT_EQ(device.zbuffer != nullptr, c.zbuffer_and_device);
        EXPECT_EQ(device.device3d != nullptr, c.zbuffer_and_device);
        EXPECT_EQ(device.viewport != nullptr, c.zbuffer_and_device);
        EXPECT_EQ(device.background_material != nullptr, c.zbuffer_and_device);
        if (c.zbuffer_and_device) {
            EXPECT_EQ(device.back_surface->depth_buffer(), device.zbuffer.get());
            EXPECT_EQ(device.zbuffer_in_video, 1);
            EXPECT_EQ(&device.device3d->target(), device.back_surface);
            EXPECT_EQ(device.device3d->current_viewport(), device.viewport.get());
            EXPECT_EQ(device.viewport->rect().right, 640);
            EXPECT_EQ(device.viewport->background(), device.background_handle);
            EXPECT_EQ(device.zcompare, 2);
            EXPECT_EQ(device.texture_format_count, 3);
        }
        EXPECT_EQ(device.screen_palette != nullptr, c.palette);
        if (c.palette) {
            EXPECT_EQ(device.back_surface->palette(), device.screen_palette);
            EXPECT_EQ(device.primary_surface->palette(), device.screen_palette);
            EXPECT_EQ(device.drivers[0].dac_bits, 8);
        }
        EXPECT_EQ(device.clipper != nullptr, c.clipper);
        // The software type's rasteriser draws into the picture itself.
        if (c.type == kRenderSoftware) {
            const rast_frame f = rast_current_frame();
            EXPECT_EQ(f.pixels, device.screen_pixels);
            EXPECT_EQ(f.pitch, device.back_pitch);
            EXPECT_EQ(f.width, 640);
            EXPECT_EQ(f.height, 480);
            EXPECT_EQ(f.depth, c.screen_depth);
        }
        EXPECT_EQ(device.right_strip.left, 638);
        EXPECT_EQ(device.bottom_strip.top, 478 + c.spare_rows);

        // A frame reaches the window at the display's size.
        device.set_background(0.0f, 0.0f, 1.0f);
        ASSERT_EQ(device.clear_back_buffer(), 1);
        ASSERT_EQ(device.clear_zbuffer(), 1);
        ASSERT_EQ(device.present(), 1);
        const auto frame = platform::last_presented_frame();
        ASSERT_TRUE(frame);
        EXPECT_EQ(frame->width, 640);
        EXPECT_EQ(frame->height, 480);
        if (c.screen_depth == 16) {
            EXPECT_EQ(frame->pixels[320 * 640 + 320], 0x0000FFu);
        }

        EXPECT_EQ(device.release(), 1);
        expect_released();
        if (c.type == kRenderSoftware) {
            EXPECT_EQ(rast_current_frame().pixels, nullptr);
        }
        EXPECT_TRUE(boxes().empty());
    }
}

// The software type's rasteriser records the scene's polygons and draws them
// on every core when the scene ends: before any 2D overlay is drawn over
// them, and at the latest when the frame is shown. Releasing the display
// with polygons still recorded draws them while the picture is alive, and
// leaves the rasteriser on one thread.
TEST_F(DisplayInit, TheSoftwareTypeDrawsItsRecordedPolygonsWhenTheSceneEnds)
{
    rast_test::install_tables(8);
    rast_test::texture tex;
    const raster_material m = tex.material(0);
    size_client(640, 480);
    ASSERT_EQ(device.enumerate_drivers(window), 1);
    ASSERT_EQ(device.init(0, 640, 480, kWindow, kSoftware), 1);
    ASSERT_EQ(device.screen_depth, 8);
    EXPECT_GE(rast_threads(), 1);
    const rast_frame f = rast_current_frame();
    auto pixel = [&](int x, int y) { return static_cast<std::uint8_t*>(f.pixels)[y * f.pitch + x]; };

    for (int pass = 0; pass < 3; ++pass) {
        SCOPED_TRACE(pass);
        ASSERT_EQ(device.clear_back_buffer(), 1);
        const std::uint8_t cleared = pixel(20, 15);
        std::vector<clip_vertex> t{rast_test::vertex(2, 3, 0, 0, 1.0f), rast_test::vertex(60, 8, 30, 0, 1.0f),
                                   rast_test::vertex(12, 50, 10, 30, 1.0f)};
        clip_vertex* p[3] = {&t[0], &t[1], &t[2]};
        rast_draw_triangle(p, 3, &m);
        if (pass == 0) {
            EXPECT_EQ(device.draw_scene(), 1);
            EXPECT_NE(pixel(20, 15), cleared) << "the scene ended without its polygons";
            // A 2D overlay drawn now stays on top.
            static_cast<std::uint8_t*>(f.pixels)[15 * f.pitch + 20] = 7;
            ASSERT_EQ(device.present(), 1);
            EXPECT_EQ(pixel(20, 15), 7);
        } else if (pass == 1) {
            ASSERT_EQ(device.present(), 1);
            EXPECT_NE(pixel(20, 15), cleared) << "the frame was shown without its polygons";
        } else {
            EXPECT_EQ(device.release(), 1);
            EXPECT_EQ(rast_current_frame().pixels, nullptr);
            // The threads went with the display: the rasteriser draws at
            // once again for whoever uses it next.
            EXPECT_EQ(rast_threads(), 1);
        }
    }
}

TEST_F(DisplayInit, TheWindowTakesTheSizeOfEachModeFullScreen)
{
    ASSERT_EQ(device.enumerate_drivers(window), 1);
    const dd_driver_info& info = device.drivers[0];
    int shown = 0;
    for (int i = 0; i < info.mode_count; ++i) {
        const display_mode m = info.modes[i];
        // The software type draws at 8 bits, the hardware one at 16.
        device.software_16bit = 0;
        const int which = m.depth == 8 ? kSoftware : kHardware;
        SCOPED_TRACE(std::to_string(m.width) + "x" + std::to_string(m.height) + "x" + std::to_string(m.depth));
        ASSERT_EQ(device.init(0, m.width, m.height, kFullScreen, which), 1);
        EXPECT_EQ(device.current_mode, i);
        EXPECT_TRUE(platform::is_window_full_screen(window));
        EXPECT_EQ(client().right, m.width);
        EXPECT_EQ(client().bottom, m.height);
        EXPECT_EQ(device.display->current_mode().width, m.width);
        EXPECT_EQ(device.display->current_mode().depth, m.depth);
        ASSERT_EQ(device.present(), 1);
        const auto frame = platform::last_presented_frame();
        ASSERT_TRUE(frame);
        EXPECT_EQ(frame->width, m.width);
        EXPECT_EQ(frame->height, m.height);
        ++shown;
    }
    EXPECT_GE(shown, 9);

    // Back in a window: the desktop has its mode again and the window is a
    // window of the size the program gives it.
    size_client(800, 600);
    ASSERT_EQ(device.init(0, 800, 600, kWindow, kHardware), 1);
    EXPECT_FALSE(platform::is_window_full_screen(window));
    EXPECT_EQ(device.display->current_mode().width, device.desktop_width);
    EXPECT_EQ(client().right, 800);
    EXPECT_EQ(device.primary_surface->width(), 800);
    EXPECT_EQ(device.client_width, 800);
    EXPECT_EQ(device.client_height, 600);
    // A window larger than the mode draws the mode's size.
    size_client(900, 700);
    device.software_16bit = 1;
    ASSERT_EQ(device.init(0, 800, 600, kWindow, kSoftware), 1);
    EXPECT_EQ(device.client_width, 800);
    EXPECT_EQ(device.client_height, 600);
}

TEST_F(DisplayInit, InitAgainKeepsOrRebuildsAsItsArgumentsAsk)
{
    size_client(640, 480);
    ASSERT_EQ(device.enumerate_drivers(window), 1);
    ASSERT_EQ(device.init(0, 640, 480, kWindow, kHardware), 1);

    // The same arguments again make nothing: a surface or driver that had
    // to be made would fail.
    platform::fail_next(Fault::SurfaceCreate);
    platform::fail_next(Fault::DisplayOpen);
    EXPECT_EQ(device.init(0, 640, 480, kWindow, kHardware), 1);
    EXPECT_TRUE(boxes().empty());
    platform::clear_faults();

    // Another mode on the software device rebuilds only the surfaces: the
    // driver stays open.
    device.software_16bit = 1;
    ASSERT_EQ(device.init(0, 640, 480, kWindow, kSoftware), 1);
    platform::fail_next(Fault::DisplayOpen);
    size_client(800, 600);
    ASSERT_EQ(device.init(0, 800, 600, kWindow, kSoftware), 1);
    EXPECT_EQ(device.mode.width, 800);
    EXPECT_EQ(device.back_width, 800);
    ASSERT_EQ(device.init(0, 640, 480, kFullScreen, kSoftware), 1);
    EXPECT_TRUE(platform::is_window_full_screen(window));
    EXPECT_EQ(device.display_mode_changed, 1);
    ASSERT_EQ(device.init(0, 640, 480, kWindow, kSoftware), 1);
    EXPECT_FALSE(platform::is_window_full_screen(window));
    EXPECT_EQ(device.display_mode_changed, 0);
    EXPECT_TRUE(boxes().empty());
    platform::clear_faults();

    // The software flag changed: the mode key differs, the surfaces are
    // made again at 8 bits.
    device.software_16bit = 0;
    ASSERT_EQ(device.init(0, 640, 480, kWindow, kSoftware), 1);
    EXPECT_EQ(device.screen_depth, 8);
    EXPECT_EQ(device.back_surface->layout(), platform::PixelLayout::Indexed8);

    // Another device rebuilds from the driver up, and gives the desktop its
    // mode back on the way.
    EXPECT_TRUE(platform::is_window_full_screen(window));
    platform::fail_next(Fault::DisplayOpen);
    EXPECT_EQ(device.init(0, 640, 480, kWindow, kHardware), 0);
    EXPECT_EQ(boxes(), std::vector<std::string>{"DirectDrawCreate failed\r\n"});
    EXPECT_FALSE(platform::is_window_full_screen(window));
    EXPECT_EQ(device.ready, 0);
    ASSERT_EQ(device.init(0, 640, 480, kWindow, kHardware), 1);
}

// A device that is not a hardware one takes the mono type (112, with the
// palette file) or the RGB type (128).
TEST_F(DisplayInit, TheMonoAndRgbTypes)
{
    const auto dir = torvane_test::make_temp_dir("mono");
    torvane_test::ScopedCwd cwd(dir);
    platform::DisplayDescription display = platform::default_display_description();
    display.devices[0].hardware = false;
    display.devices[0].colour_model = 0;
    platform::set_display_description(display);
    size_client(640, 480);
    ASSERT_EQ(device.enumerate_drivers(window), 1);
    ASSERT_EQ(device.drivers[0].device_count, 2);

    // Type 128 wants a device of the RGB model; there is none.
    EXPECT_EQ(device.init(0, 640, 480, kWindow, 1), 0);
    EXPECT_EQ(boxes(), std::vector<std::string>{"Render Software not available\r\n"});
    d3d_device_info& entry = device.drivers[0].devices[1];
    entry.colour_model = 2;
    ASSERT_EQ(device.init(0, 640, 480, kWindow, 1), 1);
    EXPECT_EQ(device.render_type, kRenderRgb);
    EXPECT_EQ(device.back_in_video, 0);
    EXPECT_EQ(device.zbuffer_in_video, 0);
    ASSERT_NE(device.device3d, nullptr);
    EXPECT_EQ(device.screen_palette, nullptr);

    // Type 112 keeps "gfx\palette.pal" as its screen palette.
    entry.colour_model = 1;
    EXPECT_EQ(device.init(0, 640, 480, kWindow, 1), 0);
    EXPECT_EQ(boxes(), std::vector<std::string>{"Cannot open palette file!\n\r\n"});
    std::vector<std::uint8_t> pal(768);
    for (int i = 0; i < 768; ++i)
        pal[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i % 64 | 0x40);
    std::filesystem::create_directories(dir / "gfx");
    ASSERT_TRUE(platform::write_file_atomic((dir / "gfx" / "palette.pal").string(), pal));
    ASSERT_EQ(device.init(0, 640, 480, kWindow, 1), 1);
    EXPECT_EQ(device.render_type, kRenderMono);
    EXPECT_EQ(device.screen_depth, device.desktop_depth);
    ASSERT_NE(device.screen_palette, nullptr);
    // Entry 1: bytes 3, 4, 5 (masked to 6 bits), times 4.
    EXPECT_EQ(device.screen_palette->entries()[1], 0x0C1014u);
    // The wrong size is refused.
    pal.pop_back();
    ASSERT_TRUE(platform::write_file_atomic((dir / "gfx" / "palette.pal").string(), pal));
    EXPECT_EQ(device.init(0, 640, 480, kWindow, 1), 0);
    EXPECT_EQ(boxes(), std::vector<std::string>{"Cannot open palette file!\n\r\n"});
}

// One fault per step: its numbered message in a box, init returns 0, the
// next init works, and release leaves nothing held.
TEST_F(DisplayInit, EachFailingStepShowsItsMessage)
{
    struct Case {
        const char* step;
        int device, depth;
        std::uint8_t software_16bit;
        Fault fault;
        int skip;  // operations of that kind that pass first
        int code;
    };
    const Case cases[] = {
        {"driver", kHardware, kWindow, 0, Fault::DisplayOpen, 0, 1},
        {"3D service", kHardware, kWindow, 0, Fault::Display3DOpen, 0, 4},
        {"display for a window", kHardware, kWindow, 0, Fault::DisplayExclusive, 0, 6},
        {"primary", kHardware, kWindow, 0, Fault::SurfaceCreate, 0, 8},
        {"back", kHardware, kWindow, 0, Fault::SurfaceCreate, 1, 8},
        {"clipper", kHardware, kWindow, 0, Fault::ClipperCreate, 0, 30},
        {"clipper's window", kHardware, kWindow, 0, Fault::ClipperWindow, 0, 31},
        {"primary's clipper", kHardware, kWindow, 0, Fault::ClipperSet, 0, 34},
        {"back's description", kHardware, kWindow, 0, Fault::SurfaceDescribe, 0, 10},
        {"back's address", kHardware, kWindow, 0, Fault::SurfaceLock, 0, -1},
        {"clearing the surfaces", kHardware, kWindow, 0, Fault::SurfaceBlit, 0, 11},
        {"Z-buffer", kHardware, kWindow, 0, Fault::SurfaceCreate, 2, 38},
        {"Z-buffer attached", kHardware, kWindow, 0, Fault::SurfaceAttach, 0, 9},
        {"Z-buffer's description", kHardware, kWindow, 0, Fault::SurfaceDescribe, 1, 10},
        {"device", kHardware, kWindow, 0, Fault::DeviceCreate, 0, 12},
        {"texture formats", kHardware, kWindow, 0, Fault::DeviceTextureFormats, 0, 33},
        {"viewport", kHardware, kWindow, 0, Fault::ViewportCreate, 0, 13},
        {"viewport added", kHardware, kWindow, 0, Fault::ViewportAdd, 0, 14},
        {"viewport's rectangle", kHardware, kWindow, 0, Fault::DeviceViewport, 0, 15},
        {"current viewport", kHardware, kWindow, 0, Fault::DeviceViewport, 1, 15},
        {"material", kHardware, kWindow, 0, Fault::MaterialCreate, 0, 16},
        {"material's colour", kHardware, kWindow, 0, Fault::DeviceBackground, 0, 17},
        {"material's handle", kHardware, kWindow, 0, Fault::MaterialHandle, 0, 18},
        {"viewport's background", kHardware, kWindow, 0, Fault::ViewportBackground, 0, 19},
        {"full screen", kHardware, kFullScreen, 0, Fault::DisplayExclusive, 0, 6},
        {"mode", kHardware, kFullScreen, 0, Fault::DisplayModeSet, 0, 7},
        {"flip chain", kHardware, kFullScreen, 0, Fault::SurfaceCreate, 0, 8},
        {"flip chain's back", kHardware, kFullScreen, 0, Fault::SurfaceBackBuffer, 0, 9},
        {"software driver", kSoftware, kWindow, 0, Fault::DisplayOpen, 0, 1},
        {"software mode", kSoftware, kWindow, 0, Fault::DisplayModeSet, 0, 7},
        {"software back", kSoftware, kWindow, 0, Fault::SurfaceCreate, 1, 8},
        {"software clear", kSoftware, kWindow, 0, Fault::SurfaceBlit, 1, 11},
        {"palette", kSoftware, kWindow, 0, Fault::PaletteCreate, 0, 35},
        {"palette set", kSoftware, kWindow, 0, Fault::PaletteSet, 0, 36},
        {"software 16-bit clipper", kSoftware, kWindow, 1, Fault::ClipperCreate, 0, 30},
    };
    size_client(640, 480);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.step);
        ASSERT_EQ(device.enumerate_drivers(window), 1);
        device.software_16bit = c.software_16bit;
        platform::fail_after(c.fault, c.skip);
        EXPECT_EQ(device.init(0, 640, 480, c.depth, c.device), 0);
        EXPECT_EQ(boxes(), std::vector<std::string>{message(c.code)});
        EXPECT_EQ(device.ready, 0);
        platform::clear_faults();
        // What was made stays held until the next init, which works.
        ASSERT_EQ(device.init(0, 640, 480, c.depth, c.device), 1);
        EXPECT_EQ(device.release(), 1);
        expect_released();
        EXPECT_TRUE(boxes().empty());
    }
    // A failed init released at once leaves nothing held either.
    ASSERT_EQ(device.enumerate_drivers(window), 1);
    platform::fail_after(Fault::ViewportBackground, 0);
    EXPECT_EQ(device.init(0, 640, 480, kWindow, kHardware), 0);
    EXPECT_EQ(device.release(), 1);
    expect_released();
    boxes();
}

// Steps that fail by what the display offers rather than by a fault.
TEST_F(DisplayInit, TheVideoMemoryAndTheZBufferDepthCanRefuseTheDevice)
{
    size_client(640, 480);
    const std::uint64_t surface = 640u * 480u * 2u;  // a 640 x 480 x 16 surface
    const struct {
        const char* what;
        std::uint64_t video_memory;
        std::vector<int> depths;
        int code;
    } cases[] = {
        // The back does not fit and there is no Z-buffer: the device
        // cannot draw into system memory.
        {"back outside video memory", surface + surface / 2, {}, 47},
        // Primary and back fit, the Z-buffer does not.
        {"Z-buffer outside video memory", 2 * surface + surface / 2, {16}, 46},
        // Only 24-bit Z-buffers: this display makes 16-bit ones.
        {"no Z-buffer depth of this display", 16u << 20, {24}, 45},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        platform::DisplayDescription display = platform::default_display_description();
        display.video_memory = display.texture_memory = c.video_memory;
        display.devices[0].depth_buffer_depths = c.depths;
        platform::set_display_description(display);
        ASSERT_EQ(device.enumerate_drivers(window), 1);
        EXPECT_EQ(device.init(0, 640, 480, kWindow, kHardware), 0);
        EXPECT_EQ(boxes(), std::vector<std::string>{message(c.code)});
        EXPECT_EQ(device.release(), 1);
        expect_released();
    }
}

TEST_F(DisplayInit, ReleaseReportsAFailingStepAndReleasesTheRest)
{
    // Never set up: nothing to free, the state is reset.
    EXPECT_EQ(device.release(), 1);
    expect_released();

    ASSERT_EQ(device.enumerate_drivers(window), 1);
    ASSERT_EQ(device.init(0, 640, 480, kFullScreen, kHardware), 1);
    platform::fail_next(Fault::DisplayModeSet);
    EXPECT_EQ(device.release(), 0);
    EXPECT_EQ(boxes(), std::vector<std::string>{"Invalid video mode!\r\n"});
    expect_released();
    EXPECT_EQ(device.driver_count, 0);

    // The display cannot be taken back to restore the desktop's mode: the
    // driver gives the display back as it closes all the same.
    ASSERT_EQ(device.enumerate_drivers(window), 1);
    ASSERT_EQ(device.init(0, 640, 480, kFullScreen, kHardware), 1);
    device.exclusive = 0;
    platform::fail_next(Fault::DisplayExclusive);
    EXPECT_EQ(device.release(), 0);
    EXPECT_EQ(boxes(), std::vector<std::string>{"SetCooperativeLevel to fullscreen failed.\r\n"});
    expect_released();
}

TEST_F(DisplayInit, MinimisePausesAndALostSurfaceIsRestored)
{
    size_client(320, 240);
    ASSERT_EQ(device.enumerate_drivers(window), 1);
    ASSERT_EQ(device.init(0, 320, 240, kWindow, kHardware), 1);
    device.set_background(1.0f, 0.0f, 0.0f);
    ASSERT_EQ(device.clear_back_buffer(), 1);
    ASSERT_EQ(device.present(), 1);
    EXPECT_EQ(device.frames_presented, 1u);

    // Minimised: nothing is cleared or shown.
    device.render_states_dirty = 0;
    device.palette_dirty = 0;
    device.set_active(1);
    device.set_background(0.0f, 1.0f, 0.0f);
    ASSERT_EQ(device.clear_back_buffer(), 1);
    ASSERT_EQ(device.present(), 1);
    EXPECT_EQ(device.frames_presented, 1u);
    // Restored: the states and the palette are sent again.
    device.set_active(0);
    EXPECT_EQ(device.paused, 0);
    EXPECT_EQ(device.render_states_dirty, 1);
    EXPECT_EQ(device.palette_dirty, 1);
    ASSERT_EQ(device.present(), 1);
    EXPECT_EQ(platform::last_presented_frame()->pixels[0], 0xFF0000u);  // the clear was skipped

    // Another program takes the display: the video surfaces are lost. The
    // frame is dropped, the surfaces come back cleared, the next frame shows.
    device.display->lose_surfaces();
    ASSERT_TRUE(device.back_surface->lost());
    ASSERT_EQ(device.present(), 1);
    EXPECT_EQ(device.frames_presented, 2u);
    EXPECT_FALSE(device.primary_surface->lost());
    EXPECT_FALSE(device.back_surface->lost());
    EXPECT_FALSE(device.zbuffer->lost());
    // Noted, and cleared once the textures' video copies were reloaded.
    EXPECT_EQ(device.surfaces_lost, 0);
    EXPECT_EQ(device.surfaces_valid, 1);
    ASSERT_EQ(device.clear_back_buffer(), 1);
    ASSERT_EQ(device.present(), 1);
    EXPECT_EQ(device.frames_presented, 3u);
    EXPECT_EQ(platform::last_presented_frame()->pixels[0], 0x00FF00u);
    // Lost while clearing: restored there.
    device.display->lose_surfaces();
    ASSERT_EQ(device.clear_back_buffer(), 1);
    EXPECT_FALSE(device.back_surface->lost());
    // A surface that cannot be restored leaves the surfaces invalid until a
    // later frame restores them.
    device.display->lose_surfaces();
    platform::fail_next(Fault::SurfaceRestore);
    ASSERT_EQ(device.present(), 1);
    EXPECT_EQ(device.surfaces_valid, 0);
    ASSERT_EQ(device.present(), 1);
    EXPECT_EQ(device.surfaces_valid, 1);
    EXPECT_TRUE(boxes().empty());
    // A flip that fails is reported.
    ASSERT_EQ(device.init(0, 512, 384, kFullScreen, kHardware), 1);
    platform::fail_next(Fault::SurfaceFlip);
    EXPECT_EQ(device.present(), 0);
    EXPECT_EQ(boxes(), std::vector<std::string>{"Swap Buffer failed!\r\n"});
}

TEST_F(DisplayInit, AnEightBitScreenShowsItsPaletteAgainAfterALostSurface)
{
    ASSERT_EQ(device.enumerate_drivers(window), 1);
    ASSERT_EQ(device.init(0, 320, 200, kWindow, kSoftware), 1);
    ASSERT_EQ(device.screen_depth, 8);
    std::vector<unsigned char> rgb(768, 0);
    rgb[3 * 7] = 63;  // entry 7 red
    ASSERT_EQ(device.set_palette_entries(rgb.data()), 1);
    device.set_background(1.0f, 0.0f, 0.0f);
    EXPECT_EQ(device.background_pixel, 7u);
    ASSERT_EQ(device.clear_back_buffer(), 1);
    ASSERT_EQ(device.present(), 1);
    EXPECT_EQ(device.palette_dirty, 0);
    auto frame = platform::last_presented_frame();
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->width, 320);
    EXPECT_EQ(frame->pixels[100 * 320 + 100], 0xFC0000u);
    // The border takes the darkest entry (entry 0 here).
    EXPECT_EQ(frame->pixels[100 * 320], 0u);
    EXPECT_EQ(frame->pixels[100 * 320 + 318], 0u);
    EXPECT_EQ(frame->pixels[197 * 320 + 100], 0u);
    EXPECT_EQ(frame->pixels[196 * 320 + 100], 0xFC0000u);

    device.display->lose_surfaces();
    ASSERT_EQ(device.present(), 1);
    EXPECT_EQ(device.palette_dirty, 1);
    ASSERT_EQ(device.present(), 1);
    EXPECT_EQ(device.palette_dirty, 0);
    frame = platform::last_presented_frame();
    EXPECT_EQ(frame->pixels[100 * 320 + 100], 0xFC0000u);
}

TEST_F(DisplayInit, ErrorTextsAreFormattedIntoABoundedBuffer)
{
    const std::string longer(1000, 'x');
    device.format_error("%s and %d", longer.c_str(), 7);
    auto texts = boxes();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0], std::string(255, 'x') + "\r\n");
    device.format_error("code %d", 12);
    EXPECT_EQ(boxes(), std::vector<std::string>{"code 12\r\n"});
}

} // namespace
