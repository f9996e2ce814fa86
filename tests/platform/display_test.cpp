#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/display.h"
#include "platform/fault_seam.h"
#include "platform/frame.h"
#include "tests/platform/window_fixture.h"

using namespace platform;

namespace {

class Display : public torvane_test::WindowFixture {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        reset_display_description();
    }
    void TearDown() override
    {
        reset_display_description();
        WindowFixture::TearDown();
    }

    static std::unique_ptr<Surface> make(DisplayDriver& driver, SurfaceSpec spec, WindowHandle window = {})
    {
        std::unique_ptr<Surface> s;
        EXPECT_EQ(driver.create_surface(spec, window, s), DisplayResult::Ok);
        return s;
    }
    static SurfaceSpec offscreen(int w, int h, PixelLayout layout, MemoryPlace place = MemoryPlace::System)
    {
        SurfaceSpec spec;
        spec.width = w;
        spec.height = h;
        spec.layout = layout;
        spec.place = place;
        return spec;
    }
    static std::uint32_t pixel(Surface& s, int x, int y)
    {
        SurfaceLock lock;
        EXPECT_EQ(s.lock(lock), DisplayResult::Ok);
        const std::uint8_t* p = lock.pixels + y * lock.pitch + x * bytes_per_pixel(s.layout());
        const std::uint32_t v = bytes_per_pixel(s.layout()) == 1 ? p[0] : (p[0] | p[1] << 8);
        s.unlock();
        return v;
    }
    static void put(Surface& s, int x, int y, std::uint32_t v)
    {
        SurfaceLock lock;
        ASSERT_EQ(s.lock(lock), DisplayResult::Ok);
        std::uint8_t* p = lock.pixels + y * lock.pitch + x * bytes_per_pixel(s.layout());
        p[0] = static_cast<std::uint8_t>(v);
        if (bytes_per_pixel(s.layout()) == 2)
            p[1] = static_cast<std::uint8_t>(v >> 8);
        s.unlock();
    }
};

} // namespace

TEST_F(Display, TheDefaultDescriptionIsOneDriverOneHardwareRgbDevice)
{
    const DisplayDescription d = default_display_description();
    EXPECT_EQ(d.desktop.depth, 16);
    ASSERT_GE(d.modes.size(), 9u);
    const std::vector<std::vector<int>> classic = {{320, 200, 8},  {512, 384, 8},  {640, 480, 8},
                                                   {800, 600, 8},  {1024, 768, 8}, {512, 384, 16},
                                                   {640, 480, 16}, {800, 600, 16}, {1024, 768, 16}};
    for (std::size_t i = 0; i < classic.size(); ++i) {
        EXPECT_EQ(d.modes[i].width, classic[i][0]) << i;
        EXPECT_EQ(d.modes[i].height, classic[i][1]) << i;
        EXPECT_EQ(d.modes[i].depth, classic[i][2]) << i;
    }
    // The desktop is listed as a 16-bit mode (unless it is one of the above).
    const DisplayModeInfo& last = d.modes.back();
    EXPECT_EQ(last.depth, 16);
    EXPECT_EQ(last.width, d.desktop.width);

    ASSERT_EQ(d.devices.size(), 1u);
    const DeviceInfo& dev = d.devices[0];
    EXPECT_TRUE(dev.hardware);
    EXPECT_EQ(dev.colour_model, 2);
    EXPECT_EQ(dev.depth_buffer_depths, std::vector<int>{16});
    EXPECT_TRUE(dev.compare_less && dev.compare_less_equal);
    EXPECT_TRUE(dev.perspective_textures);
    EXPECT_FALSE(dev.square_textures_only);
    EXPECT_EQ(dev.source_blends & (kBlendOne | kBlendSourceAlpha), kBlendOne | kBlendSourceAlpha);
    EXPECT_EQ(dev.destination_blends & (kBlendZero | kBlendInverseSourceAlpha), kBlendZero | kBlendInverseSourceAlpha);
    EXPECT_TRUE(dev.texture_blends & kTextureBlendModulate);
    EXPECT_EQ(d.texture_formats,
              (std::vector<PixelLayout>{PixelLayout::Rgb565, PixelLayout::Rgb555, PixelLayout::Argb4444}));
    EXPECT_EQ(d.dac_bits, 8);

    const PixelMasks m4444 = pixel_masks(PixelLayout::Argb4444);
    EXPECT_EQ(m4444.alpha, 0xF000u);
    EXPECT_EQ(pixel_masks(PixelLayout::Rgb555).red, 0x7C00u);
    EXPECT_EQ(pixel_masks(PixelLayout::Bgr565).red, 0x1Fu);
    EXPECT_TRUE(pixel_masks(PixelLayout::Indexed8).palettised);
}

TEST_F(Display, VideoSurfacesAreChargedToTheirBudgets)
{
    DisplayDescription d = default_display_description();
    d.video_memory = 100000;
    d.texture_memory = 40000;
    set_display_description(d);
    auto driver = DisplayDriver::open();
    ASSERT_TRUE(driver);

    std::uint64_t video = 0, texture = 0;
    ASSERT_EQ(driver->free_video_memory(video), DisplayResult::Ok);
    EXPECT_EQ(video, 100000u);
    {
        // 100 x 100 x 2 bytes, rows of 200 bytes: 20,000 bytes.
        auto a = make(*driver, offscreen(100, 100, PixelLayout::Rgb565, MemoryPlace::Video));
        ASSERT_TRUE(a);
        EXPECT_EQ(a->place(), MemoryPlace::Video);
        driver->free_video_memory(video);
        EXPECT_EQ(video, 80000u);
        // System memory is not charged.
        auto sys = make(*driver, offscreen(100, 100, PixelLayout::Rgb565));
        driver->free_video_memory(video);
        EXPECT_EQ(video, 80000u);

        // A texture takes from both budgets; the texture budget ends first.
        SurfaceSpec tex = offscreen(100, 100, PixelLayout::Argb4444, MemoryPlace::Video);
        tex.kind = SurfaceKind::Texture;
        auto t = make(*driver, tex);
        driver->free_texture_memory(texture);
        EXPECT_EQ(texture, 20000u);
        auto t2 = make(*driver, tex);
        std::unique_ptr<Surface> t3;
        EXPECT_EQ(driver->create_surface(tex, {}, t3), DisplayResult::NoVideoMemory);
        EXPECT_FALSE(t3);
        // A texture must be of a texture format.
        tex.layout = PixelLayout::Indexed8;
        EXPECT_EQ(driver->create_surface(tex, {}, t3), DisplayResult::InvalidArgument);

        // 40,000 left: a surface that does not fit falls back to system
        // memory only when it may.
        SurfaceSpec big = offscreen(200, 101, PixelLayout::Rgb565, MemoryPlace::Video);
        std::unique_ptr<Surface> b;
        EXPECT_EQ(driver->create_surface(big, {}, b), DisplayResult::NoVideoMemory);
        big.any_place = true;
        b = make(*driver, big);
        EXPECT_EQ(b->place(), MemoryPlace::System);
    }
    // Everything given back.
    driver->free_video_memory(video);
    driver->free_texture_memory(texture);
    EXPECT_EQ(video, 100000u);
    EXPECT_EQ(texture, 40000u);
}

TEST_F(Display, LockFillBlitAndColourKey)
{
    auto driver = DisplayDriver::open();
    ASSERT_TRUE(driver);
    auto a = make(*driver, offscreen(5, 4, PixelLayout::Rgb565));
    auto b = make(*driver, offscreen(5, 4, PixelLayout::Rgb565));

    // The pitch is at least a row and the address stays put.
    SurfaceLock first, second;
    ASSERT_EQ(a->lock(first), DisplayResult::Ok);
    a->unlock();
    EXPECT_GE(first.pitch, 10);
    EXPECT_EQ(first.pitch % 8, 0);
    ASSERT_EQ(a->fill(nullptr, 0x1234), DisplayResult::Ok);
    ASSERT_EQ(a->lock(second), DisplayResult::Ok);
    a->unlock();
    EXPECT_EQ(first.pixels, second.pixels);
    EXPECT_EQ(pixel(*a, 4, 3), 0x1234u);

    // A fill of a rectangle stops at its right and bottom edges.
    const PixelRect inner{1, 1, 3, 2};
    ASSERT_EQ(a->fill(&inner, 0xF800), DisplayResult::Ok);
    EXPECT_EQ(pixel(*a, 1, 1), 0xF800u);
    EXPECT_EQ(pixel(*a, 2, 1), 0xF800u);
    EXPECT_EQ(pixel(*a, 3, 1), 0x1234u);
    EXPECT_EQ(pixel(*a, 1, 2), 0x1234u);

    // A keyed blit leaves out exactly the key value, not its neighbours.
    b->fill(nullptr, 0x07E0);
    put(*b, 0, 0, 0x07E1);
    put(*b, 1, 0, 0x07DF);
    b->set_colour_key(0x07E0);
    ASSERT_EQ(a->blit(nullptr, *b, nullptr, true), DisplayResult::Ok);
    EXPECT_EQ(pixel(*a, 0, 0), 0x07E1u);
    EXPECT_EQ(pixel(*a, 1, 0), 0x07DFu);
    EXPECT_EQ(pixel(*a, 2, 0), 0x1234u);
    EXPECT_EQ(pixel(*a, 1, 1), 0xF800u);
    // Unkeyed, everything is copied.
    ASSERT_EQ(a->blit(nullptr, *b, nullptr, false), DisplayResult::Ok);
    EXPECT_EQ(pixel(*a, 2, 0), 0x07E0u);

    // A stretched blit: one source pixel to a 2 x 2 block.
    put(*b, 0, 0, 0xAAAA);
    const PixelRect one{0, 0, 1, 1}, block{3, 2, 5, 4};
    ASSERT_EQ(a->blit(&block, *b, &one, false), DisplayResult::Ok);
    for (int y = 2; y < 4; ++y)
        for (int x = 3; x < 5; ++x)
            EXPECT_EQ(pixel(*a, x, y), 0xAAAAu);

    // Rectangles outside the surface and layouts that differ are refused.
    const PixelRect outside{3, 3, 6, 4};
    EXPECT_EQ(a->fill(&outside, 0), DisplayResult::InvalidArgument);
    EXPECT_EQ(a->blit(&outside, *b, nullptr, false), DisplayResult::InvalidArgument);
    auto c = make(*driver, offscreen(5, 4, PixelLayout::Indexed8));
    EXPECT_EQ(a->blit(nullptr, *c, nullptr, false), DisplayResult::InvalidArgument);
}

// Every pixel a blit writes is the source pixel at the same fraction of the
// source rectangle, rounded down: x_src = s.left + floor((x - d.left) x
// sw / dw), likewise for y; with a colour key, the key's pixels leave the
// destination as it was. Same size, shifted, shrunk, stretched, uneven
// ratios, in both pixel sizes, and a copy within one surface.
TEST_F(Display, BlitsTakeTheSourcePixelAtTheSameFractionOfTheRectangle)
{
    auto driver = DisplayDriver::open();
    ASSERT_TRUE(driver);
    struct Case {
        PixelLayout layout;
        PixelRect dest, source;
        bool keyed;
        bool within;  // the source is the destination surface
    };
    const Case cases[] = {
        {PixelLayout::Rgb565, {0, 0, 40, 30}, {0, 0, 40, 30}, false, false},
        {PixelLayout::Rgb565, {3, 5, 20, 16}, {11, 2, 28, 13}, false, false},
        {PixelLayout::Rgb565, {3, 5, 20, 16}, {11, 2, 28, 13}, true, false},
        {PixelLayout::Rgb565, {0, 0, 13, 7}, {1, 1, 40, 30}, false, false},
        {PixelLayout::Rgb565, {2, 1, 39, 29}, {5, 4, 12, 9}, true, false},
        {PixelLayout::Indexed8, {0, 0, 40, 30}, {0, 0, 40, 30}, true, false},
        {PixelLayout::Indexed8, {7, 3, 33, 27}, {0, 0, 17, 11}, false, false},
        {PixelLayout::Rgb565, {10, 10, 30, 25}, {0, 0, 25, 20}, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "dest " << c.dest.left << "," << c.dest.top << "-" << c.dest.right << ","
                                        << c.dest.bottom << " source " << c.source.left << "," << c.source.top << "-"
                                        << c.source.right << "," << c.source.bottom << (c.keyed ? " keyed" : "")
                                        << (c.within ? " within" : ""));
        auto dest = make(*driver, offscreen(40, 30, c.layout));
        auto other = make(*driver, offscreen(40, 30, c.layout));
        Surface& source = c.within ? *dest : *other;
        const std::uint32_t mask = c.layout == PixelLayout::Indexed8 ? 0xFFu : 0xFFFFu;
        const std::uint32_t key = 7;
        const auto source_value = [&](int x, int y) -> std::uint32_t {
            // Every third pixel of a row and column carries the key.
            return (x % 3 == 0 && y % 3 == 0) ? key : ((x * 37 + y * 101 + 1) & mask);
        };
        const auto background = [&](int x, int y) -> std::uint32_t { return (x * 5 + y * 11 + 3) & mask; };
        std::vector<std::uint32_t> before(40 * 30), taken(40 * 30);
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x) {
                put(source, x, y, source_value(x, y));
                if (!c.within)
                    put(*dest, x, y, background(x, y));
                before[static_cast<std::size_t>(y * 40 + x)] = pixel(*dest, x, y);
                taken[static_cast<std::size_t>(y * 40 + x)] = source_value(x, y);
            }
        source.set_colour_key(key);
        ASSERT_EQ(dest->blit(&c.dest, source, &c.source, c.keyed), DisplayResult::Ok);
        const double sw = c.source.right - c.source.left, sh = c.source.bottom - c.source.top;
        const double dw = c.dest.right - c.dest.left, dh = c.dest.bottom - c.dest.top;
        int wrong = 0;
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x) {
                std::uint32_t expected = before[static_cast<std::size_t>(y * 40 + x)];
                if (x >= c.dest.left && x < c.dest.right && y >= c.dest.top && y < c.dest.bottom) {
                    const int sx = c.source.left + static_cast<int>(std::floor((x - c.dest.left) * sw / dw));
                    const int sy = c.source.top + static_cast<int>(std::floor((y - c.dest.top) * sh / dh));
                    const std::uint32_t v = taken[static_cast<std::size_t>(sy * 40 + sx)];
                    if (!(c.keyed && v == key))
                        expected = v;
                }
                if (pixel(*dest, x, y) != expected && ++wrong <= 3)
                    ADD_FAILURE() << "pixel " << x << "," << y << ": " << pixel(*dest, x, y) << ", not " << expected;
            }
        EXPECT_EQ(wrong, 0);
    }
}

TEST_F(Display, AFlippingPrimaryShowsItsBackInTheWindow)
{
    const WindowHandle w = make_popup(8, 6);
    ASSERT_TRUE(w);
    auto driver = DisplayDriver::open();
    ASSERT_TRUE(driver);
    SurfaceSpec spec;
    spec.kind = SurfaceKind::Primary;
    spec.width = 8;
    spec.height = 6;
    spec.flipping = true;
    spec.place = MemoryPlace::Video;
    auto primary = make(*driver, spec, w);
    ASSERT_TRUE(primary && primary->back());
    EXPECT_EQ(primary->layout(), PixelLayout::Rgb565);
    SurfaceLock front_before;
    primary->lock(front_before);
    primary->unlock();

    primary->back()->fill(nullptr, 0xF800);
    ASSERT_EQ(primary->flip(), DisplayResult::Ok);
    auto shown = last_presented_frame();
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->window, w);
    ASSERT_EQ(shown->width, 8);
    EXPECT_EQ(shown->pixels[0], 0xFF0000u);
    EXPECT_EQ(pixel(*primary, 7, 5), 0xF800u);
    SurfaceLock front_after;
    primary->lock(front_after);
    primary->unlock();
    EXPECT_EQ(front_before.pixels, front_after.pixels);

    // A flip needs a back surface.
    auto plain = make(*driver, offscreen(4, 4, PixelLayout::Rgb565));
    EXPECT_EQ(plain->flip(), DisplayResult::InvalidArgument);
}

TEST_F(Display, FullScreenEightBitThroughThePalette)
{
    const WindowHandle w = make_popup(64, 48);
    ASSERT_TRUE(w);
    auto driver = DisplayDriver::open();
    ASSERT_TRUE(driver);
    EXPECT_EQ(driver->dac_bits(), 8);
    // A mode is set only in full screen, and only one of the list.
    EXPECT_EQ(driver->set_mode({320, 200, 8}), DisplayResult::InvalidArgument);
    ASSERT_EQ(driver->set_exclusive(w, true), DisplayResult::Ok);
    EXPECT_TRUE(is_window_full_screen(w));
    EXPECT_EQ(driver->set_mode({321, 200, 8}), DisplayResult::InvalidArgument);
    ASSERT_EQ(driver->set_mode({320, 200, 8}), DisplayResult::Ok);
    // The window takes the mode's size.
    Rect client;
    ASSERT_TRUE(get_client_rect(w, client));
    EXPECT_EQ(client.right, 320);
    EXPECT_EQ(client.bottom, 200);

    SurfaceSpec spec;
    spec.kind = SurfaceKind::Primary;
    spec.place = MemoryPlace::Video;
    auto primary = make(*driver, spec, w);
    ASSERT_TRUE(primary);
    EXPECT_EQ(primary->width(), 320);
    EXPECT_EQ(primary->height(), 200);
    EXPECT_EQ(primary->layout(), PixelLayout::Indexed8);

    std::uint32_t entries[256] = {};
    entries[7] = 0x123456;
    std::shared_ptr<Palette> palette;
    ASSERT_EQ(driver->create_palette(entries, palette), DisplayResult::Ok);
    ASSERT_EQ(primary->set_palette(palette), DisplayResult::Ok);
    const std::uint32_t later[2] = {0xABCDEF, 0xFFFFFF};
    EXPECT_EQ(palette->set_entries(255, 2, later), DisplayResult::InvalidArgument);
    ASSERT_EQ(palette->set_entries(8, 1, later), DisplayResult::Ok);

    auto back = make(*driver, offscreen(320, 200, PixelLayout::Indexed8));
    back->fill(nullptr, 7);
    const PixelRect corner{0, 0, 1, 1};
    back->fill(&corner, 8);
    ASSERT_EQ(primary->blit(nullptr, *back, nullptr, false), DisplayResult::Ok);
    auto shown = last_presented_frame();
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->pixels[0], 0xABCDEFu);
    EXPECT_EQ(shown->pixels[1], 0x123456u);

    // A 16-bit surface takes no palette.
    auto wide = make(*driver, offscreen(4, 4, PixelLayout::Rgb565));
    EXPECT_EQ(wide->set_palette(palette), DisplayResult::InvalidArgument);
    ASSERT_EQ(driver->set_exclusive(w, false), DisplayResult::Ok);
    EXPECT_EQ(driver->current_mode().depth, 16);
    EXPECT_FALSE(is_window_full_screen(w));
}

TEST_F(Display, EachModeSizesTheFullScreenWindow)
{
    const WindowHandle w = create_window(0, kClass, "framed", 0, 0, 0, 200, 150);
    ASSERT_TRUE(w);
    Rect frame, client;
    auto driver = DisplayDriver::open();
    ASSERT_TRUE(driver);
    ASSERT_EQ(driver->set_exclusive(w, true), DisplayResult::Ok);
    std::vector<DisplayModeInfo> modes;
    ASSERT_EQ(driver->list_modes(modes), DisplayResult::Ok);
    for (const DisplayModeInfo& m : modes) {
        if (m.width > 1024)
            continue;
        ASSERT_EQ(driver->set_mode(m), DisplayResult::Ok);
        ASSERT_TRUE(get_client_rect(w, client));
        EXPECT_EQ(client.right, m.width);
        EXPECT_EQ(client.bottom, m.height);
        EXPECT_TRUE(is_window_full_screen(w));
    }
    // A framed window keeps its frame round the client area.
    ASSERT_TRUE(get_window_rect(w, frame));
    EXPECT_GT(frame.right - frame.left, client.right);
    // A frame shown full screen still reaches the window at its own size.
    SurfaceSpec spec;
    spec.kind = SurfaceKind::Primary;
    auto primary = make(*driver, spec, w);
    ASSERT_TRUE(primary);
    primary->fill(nullptr, 0x001F);
    const auto shown = last_presented_frame();
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->width, modes.back().width <= 1024 ? modes.back().width : 1024);
    // Giving the display back leaves full screen; a driver that goes does
    // too.
    ASSERT_EQ(driver->set_exclusive(w, false), DisplayResult::Ok);
    EXPECT_FALSE(is_window_full_screen(w));
    ASSERT_EQ(driver->set_exclusive(w, true), DisplayResult::Ok);
    driver.reset();
    EXPECT_FALSE(is_window_full_screen(w));
}

TEST_F(Display, TheDeviceClearsItsViewportAndZBuffer)
{
    auto driver = DisplayDriver::open();
    ASSERT_TRUE(driver);
    auto back = make(*driver, offscreen(6, 4, PixelLayout::Rgb565, MemoryPlace::Video));
    SurfaceSpec zspec = offscreen(6, 4, PixelLayout::Depth16, MemoryPlace::Video);
    zspec.kind = SurfaceKind::DepthBuffer;
    auto z = make(*driver, zspec);
    // A Z-buffer is of the depth layout, and only a Z-buffer is.
    std::unique_ptr<Surface> bad;
    EXPECT_EQ(driver->create_surface(offscreen(6, 4, PixelLayout::Depth16), {}, bad), DisplayResult::InvalidArgument);
    ASSERT_EQ(back->attach_depth_buffer(*z), DisplayResult::Ok);
    EXPECT_EQ(back->attach_depth_buffer(*back), DisplayResult::InvalidArgument);

    std::unique_ptr<Device3D> device;
    // Devices are made through the driver's 3D service.
    EXPECT_EQ(driver->create_device("Torvane 3D", *back, device), DisplayResult::InvalidArgument);
    ASSERT_EQ(driver->open_3d(), DisplayResult::Ok);
    EXPECT_EQ(driver->create_device("nothing", *back, device), DisplayResult::InvalidArgument);
    // The hardware device wants its target in video memory.
    auto sys = make(*driver, offscreen(6, 4, PixelLayout::Rgb565));
    EXPECT_EQ(driver->create_device("Torvane 3D", *sys, device), DisplayResult::InvalidArgument);
    ASSERT_EQ(driver->create_device("Torvane 3D", *back, device), DisplayResult::Ok);
    std::vector<PixelLayout> formats;
    ASSERT_EQ(device->texture_formats(formats), DisplayResult::Ok);
    EXPECT_EQ(formats.size(), 3u);

    // Nothing to clear before a viewport is current.
    EXPECT_EQ(device->clear(true, true), DisplayResult::InvalidArgument);
    std::unique_ptr<Viewport> viewport;
    ASSERT_EQ(device->create_viewport(viewport), DisplayResult::Ok);
    // A viewport takes a rectangle, and becomes current, once it is added.
    EXPECT_EQ(viewport->set_rect({1, 1, 5, 3}), DisplayResult::InvalidArgument);
    EXPECT_EQ(device->set_current_viewport(*viewport), DisplayResult::InvalidArgument);
    ASSERT_EQ(device->add_viewport(*viewport), DisplayResult::Ok);
    ASSERT_EQ(viewport->set_rect({1, 1, 5, 3}), DisplayResult::Ok);
    EXPECT_EQ(viewport->set_rect({0, 0, 7, 4}), DisplayResult::InvalidArgument);
    ASSERT_EQ(device->set_current_viewport(*viewport), DisplayResult::Ok);
    EXPECT_EQ(device->current_viewport(), viewport.get());

    // The background is a material, named by its handle.
    std::unique_ptr<Material> material;
    ASSERT_EQ(device->create_material(material), DisplayResult::Ok);
    std::uint32_t handle = 0;
    ASSERT_EQ(material->get_handle(handle), DisplayResult::Ok);
    EXPECT_NE(handle, 0u);
    EXPECT_EQ(viewport->set_background(handle + 1), DisplayResult::InvalidArgument);
    ASSERT_EQ(viewport->set_background(handle), DisplayResult::Ok);
    ASSERT_EQ(material->set_colour(0xFF0000), DisplayResult::Ok);
    EXPECT_EQ(device->material_colour(handle), 0xFF0000u);

    back->fill(nullptr, 0x0001);
    z->fill(nullptr, 0x1111);
    ASSERT_EQ(device->clear(true, true), DisplayResult::Ok);
    EXPECT_EQ(pixel(*back, 1, 1), 0xF800u);
    EXPECT_EQ(pixel(*back, 4, 2), 0xF800u);
    EXPECT_EQ(pixel(*back, 0, 0), 0x0001u);
    EXPECT_EQ(pixel(*back, 5, 3), 0x0001u);
    EXPECT_EQ(pixel(*z, 1, 1), 0xFFFFu);
    EXPECT_EQ(pixel(*z, 0, 1), 0x1111u);

    // A material that goes clears to black; a viewport that goes is no
    // longer current.
    material.reset();
    ASSERT_EQ(device->clear(true, false), DisplayResult::Ok);
    EXPECT_EQ(pixel(*back, 1, 1), 0u);
    device->delete_viewport(*viewport);
    EXPECT_EQ(device->current_viewport(), nullptr);
    ASSERT_EQ(device->add_viewport(*viewport), DisplayResult::Ok);
    ASSERT_EQ(device->set_current_viewport(*viewport), DisplayResult::Ok);

    // A Z-buffer that goes is no longer the target's.
    z.reset();
    EXPECT_EQ(back->depth_buffer(), nullptr);
    EXPECT_EQ(device->clear(false, true), DisplayResult::Ok);
    // The viewport may outlive its device.
    device.reset();
    EXPECT_EQ(viewport->set_rect({0, 0, 2, 2}), DisplayResult::InvalidArgument);
}

TEST_F(Display, SurfacesDescribeThemselvesAndAClipperKeepsBlitsInTheWindow)
{
    const WindowHandle w = make_popup(8, 6);
    ASSERT_TRUE(w);
    auto driver = DisplayDriver::open();
    ASSERT_TRUE(driver);
    SurfaceSpec spec;
    spec.kind = SurfaceKind::Primary;
    spec.width = 8;
    spec.height = 6;
    spec.flipping = true;
    spec.place = MemoryPlace::Video;
    auto primary = make(*driver, spec, w);
    ASSERT_TRUE(primary);
    SurfaceInfo info;
    ASSERT_EQ(primary->describe(info), DisplayResult::Ok);
    EXPECT_EQ(info.kind, SurfaceKind::Primary);
    EXPECT_EQ(info.width, 8);
    EXPECT_EQ(info.height, 6);
    EXPECT_EQ(info.pitch, 16);
    EXPECT_EQ(info.place, MemoryPlace::Video);
    Surface* back = nullptr;
    ASSERT_EQ(primary->get_back(back), DisplayResult::Ok);
    EXPECT_EQ(back, primary->back());
    auto plain = make(*driver, offscreen(4, 4, PixelLayout::Rgb565));
    EXPECT_EQ(plain->get_back(back), DisplayResult::InvalidArgument);
    EXPECT_EQ(back, nullptr);

    // Without a clipper a blit reaching past the primary is refused; with
    // one it draws the part inside, from the source pixels that map there.
    auto source = make(*driver, offscreen(4, 4, PixelLayout::Rgb565));
    source->fill(nullptr, 0x1111);
    put(*source, 3, 3, 0x2222);
    const PixelRect past{6, 4, 10, 8};
    EXPECT_EQ(primary->blit(&past, *source, nullptr, false), DisplayResult::InvalidArgument);
    std::shared_ptr<Clipper> clipper;
    ASSERT_EQ(driver->create_clipper(clipper), DisplayResult::Ok);
    // A clipper goes on a primary only, and only once it has its window.
    EXPECT_EQ(primary->set_clipper(clipper), DisplayResult::InvalidArgument);
    EXPECT_EQ(clipper->set_window(WindowHandle{}), DisplayResult::InvalidArgument);
    ASSERT_EQ(clipper->set_window(w), DisplayResult::Ok);
    EXPECT_EQ(plain->set_clipper(clipper), DisplayResult::InvalidArgument);
    ASSERT_EQ(primary->set_clipper(clipper), DisplayResult::Ok);
    ASSERT_EQ(primary->blit(&past, *source, nullptr, false), DisplayResult::Ok);
    EXPECT_EQ(pixel(*primary, 6, 4), 0x1111u);
    EXPECT_EQ(pixel(*primary, 7, 5), 0x1111u);
    EXPECT_EQ(pixel(*primary, 5, 5), 0u);
    const PixelRect corner{-3, -3, 1, 1};
    ASSERT_EQ(primary->blit(&corner, *source, nullptr, false), DisplayResult::Ok);
    EXPECT_EQ(pixel(*primary, 0, 0), 0x2222u);
    ASSERT_EQ(primary->fill(&past, 0x3333), DisplayResult::Ok);
    EXPECT_EQ(pixel(*primary, 7, 5), 0x3333u);
    const PixelRect away{20, 20, 30, 30};
    EXPECT_EQ(primary->fill(&away, 0x4444), DisplayResult::Ok);
}

TEST_F(Display, LostSurfacesRefuseWorkUntilRestored)
{
    auto driver = DisplayDriver::open();
    ASSERT_TRUE(driver);
    auto video = make(*driver, offscreen(4, 4, PixelLayout::Rgb565, MemoryPlace::Video));
    auto system = make(*driver, offscreen(4, 4, PixelLayout::Rgb565));
    video->fill(nullptr, 0x5555);
    SurfaceLock before;
    video->lock(before);
    video->unlock();

    driver->lose_surfaces();
    EXPECT_TRUE(video->lost());
    EXPECT_FALSE(system->lost());
    SurfaceLock lock;
    EXPECT_EQ(video->lock(lock), DisplayResult::Lost);
    EXPECT_EQ(lock.pixels, nullptr);
    EXPECT_EQ(video->fill(nullptr, 0), DisplayResult::Lost);
    EXPECT_EQ(system->blit(nullptr, *video, nullptr, false), DisplayResult::Lost);
    EXPECT_EQ(system->fill(nullptr, 1), DisplayResult::Ok);

    ASSERT_EQ(video->restore(), DisplayResult::Ok);
    EXPECT_FALSE(video->lost());
    EXPECT_EQ(pixel(*video, 0, 0), 0u);  // the picture is gone, the memory is back
    SurfaceLock after;
    video->lock(after);
    video->unlock();
    EXPECT_EQ(before.pixels, after.pixels);
}

TEST_F(Display, EveryOperationFailsThroughItsFaultSeam)
{
    const WindowHandle w = make_popup(8, 8);
    ASSERT_TRUE(w);
    auto driver = DisplayDriver::open();
    ASSERT_TRUE(driver);
    auto back = make(*driver, offscreen(4, 4, PixelLayout::Rgb565, MemoryPlace::Video));
    auto other = make(*driver, offscreen(4, 4, PixelLayout::Rgb565));
    SurfaceSpec zspec = offscreen(4, 4, PixelLayout::Depth16);
    zspec.kind = SurfaceKind::DepthBuffer;
    auto z = make(*driver, zspec);
    SurfaceSpec pspec;
    pspec.kind = SurfaceKind::Primary;
    pspec.width = pspec.height = 4;
    pspec.flipping = true;
    auto primary = make(*driver, pspec, w);
    auto eight = make(*driver, offscreen(4, 4, PixelLayout::Indexed8));
    std::shared_ptr<Palette> palette;
    ASSERT_EQ(driver->create_palette(nullptr, palette), DisplayResult::Ok);
    std::unique_ptr<Device3D> device;
    ASSERT_EQ(driver->open_3d(), DisplayResult::Ok);
    ASSERT_EQ(driver->create_device("Torvane 3D", *back, device), DisplayResult::Ok);
    std::unique_ptr<Viewport> viewport;
    ASSERT_EQ(device->create_viewport(viewport), DisplayResult::Ok);
    std::unique_ptr<Viewport> spare;
    ASSERT_EQ(device->add_viewport(*viewport), DisplayResult::Ok);
    std::unique_ptr<Material> material;
    ASSERT_EQ(device->create_material(material), DisplayResult::Ok);
    std::unique_ptr<Material> another;
    std::uint32_t handle = 0;
    ASSERT_EQ(material->get_handle(handle), DisplayResult::Ok);
    std::shared_ptr<Clipper> clipper;
    ASSERT_EQ(driver->create_clipper(clipper), DisplayResult::Ok);
    ASSERT_EQ(clipper->set_window(w), DisplayResult::Ok);
    SurfaceInfo info;
    Surface* back_of_primary = nullptr;
    std::unique_ptr<Device3D> other_device;

    struct Case {
        Fault fault;
        std::function<DisplayResult()> operation;
    };
    std::unique_ptr<Surface> made;
    std::vector<std::string> names;
    std::vector<DisplayModeInfo> modes;
    std::vector<DeviceInfo> devices;
    std::vector<PixelLayout> formats;
    DisplayModeInfo mode;
    std::uint64_t bytes = 0;
    SurfaceLock lock;
    const std::uint32_t rgb[1] = {0};
    const std::vector<Case> cases = {
        {Fault::DisplayDriverList, [&] { return DisplayDriver::list_drivers(names); }},
        {Fault::DisplayDesktopMode, [&] { return driver->desktop_mode(mode); }},
        {Fault::DisplayModeList, [&] { return driver->list_modes(modes); }},
        {Fault::DisplayDeviceList, [&] { return driver->list_devices(devices); }},
        {Fault::DisplayMemoryQuery, [&] { return driver->free_video_memory(bytes); }},
        {Fault::DisplayMemoryQuery, [&] { return driver->free_texture_memory(bytes); }},
        {Fault::DisplayExclusive, [&] { return driver->set_exclusive(w, true); }},
        {Fault::DisplayModeSet, [&] { return driver->set_mode({640, 480, 16}); }},
        {Fault::DisplayModeSet, [&] { return driver->restore_mode(); }},
        {Fault::SurfaceCreate, [&] { return driver->create_surface(offscreen(2, 2, PixelLayout::Rgb565), {}, made); }},
        {Fault::SurfaceLock, [&] { return back->lock(lock); }},
        {Fault::SurfaceBlit, [&] { return back->fill(nullptr, 0); }},
        {Fault::SurfaceBlit, [&] { return back->blit(nullptr, *other, nullptr, true); }},
        {Fault::SurfaceFlip, [&] { return primary->flip(); }},
        {Fault::SurfaceAttach, [&] { return back->attach_depth_buffer(*z); }},
        {Fault::SurfaceRestore, [&] { return back->restore(); }},
        {Fault::PaletteCreate, [&] { return driver->create_palette(nullptr, palette); }},
        {Fault::PaletteSet, [&] { return eight->set_palette(palette); }},
        {Fault::PaletteSet, [&] { return palette->set_entries(0, 1, rgb); }},
        {Fault::DeviceCreate, [&] { return driver->create_device("Torvane 3D", *back, other_device); }},
        {Fault::DeviceTextureFormats, [&] { return device->texture_formats(formats); }},
        {Fault::DeviceViewport, [&] { return viewport->set_rect({0, 0, 2, 2}); }},
        {Fault::DeviceViewport, [&] { return device->set_current_viewport(*viewport); }},
        {Fault::DeviceBackground, [&] { return material->set_colour(0); }},
        {Fault::DeviceClear, [&] { return device->clear(true, true); }},
        {Fault::Display3DOpen, [&] { return driver->open_3d(); }},
        {Fault::SurfaceDescribe, [&] { return back->describe(info); }},
        {Fault::SurfaceBackBuffer, [&] { return primary->get_back(back_of_primary); }},
        {Fault::ClipperCreate, [&] { return driver->create_clipper(clipper); }},
        {Fault::ClipperWindow, [&] { return clipper->set_window(w); }},
        {Fault::ClipperSet, [&] { return primary->set_clipper(clipper); }},
        {Fault::ViewportCreate, [&] { return device->create_viewport(spare); }},
        {Fault::ViewportAdd, [&] { return device->add_viewport(*viewport); }},
        {Fault::MaterialCreate, [&] { return device->create_material(another); }},
        {Fault::MaterialHandle, [&] { return material->get_handle(handle); }},
        {Fault::ViewportBackground, [&] { return viewport->set_background(handle); }},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        fail_next(cases[i].fault);
        EXPECT_EQ(cases[i].operation(), DisplayResult::Failed) << "case " << i;
        // The fault is used up: the same operation works again.
        EXPECT_EQ(cases[i].operation(), DisplayResult::Ok) << "case " << i;
    }
    fail_next(Fault::DisplayOpen);
    EXPECT_FALSE(DisplayDriver::open());
    EXPECT_TRUE(DisplayDriver::open());

    // A fault armed to fire later lets the operations before it pass.
    fail_after(Fault::SurfaceDescribe, 2);
    EXPECT_EQ(back->describe(info), DisplayResult::Ok);
    EXPECT_EQ(back->describe(info), DisplayResult::Ok);
    EXPECT_EQ(back->describe(info), DisplayResult::Failed);
    EXPECT_EQ(back->describe(info), DisplayResult::Ok);
}
