// 2D surfaces: their single-colour textures (565 and 4-4-4-4 packing, by
// hand), drawn as quads into a 16-bit screen against a per-pixel reference,
// and released through the texture cache.

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include <gtest/gtest.h>

#include "engine/render/lib2d_surface.h"
#include "tests/engine/render/texture_fixture.h"

namespace {

using platform::PixelLayout;
using texture_test::HardwareScreen;

class Lib2dSurface : public HardwareScreen {};

TEST_F(Lib2dSurface, TheTextureHoldsTheColourPackedForTheDevice)
{
    const std::vector<PixelLayout> k565 = {PixelLayout::Rgb565};
    const std::vector<PixelLayout> kAlpha = {PixelLayout::Rgb565, PixelLayout::Argb4444};
    const struct {
        const char* what;
        std::vector<PixelLayout> formats;
        float r, g, b, a;
        PixelLayout layout;
        std::uint16_t texel;
    } cases[] = {
        // 565: (r x 255 & 0xF8) << 8 | (g x 255 & 0xFC) << 3 | (b x 255) >> 3.
        {"565", k565, 1.0f, 0.5f, 0.25f, 1.0f, PixelLayout::Rgb565, 0xFBE7},
        {"565 thirds", k565, 0.2f, 0.4f, 0.6f, 0.8f, PixelLayout::Rgb565, 0x3333},
        {"565 held to 0..1", k565, 2.0f, -1.0f, 0.5f, 3.0f, PixelLayout::Rgb565, 0xF80F},
        {"blue-high 565", {PixelLayout::Bgr565}, 1.0f, 0.5f, 0.25f, 1.0f, PixelLayout::Bgr565, 0x3BFF},
        {"555", {PixelLayout::Rgb555}, 1.0f, 0.5f, 0.25f, 1.0f, PixelLayout::Rgb555, 0x7DE7},
        // 4-4-4-4: the top four bits of alpha, red, green, blue.
        {"4444", kAlpha, 1.0f, 0.5f, 0.25f, 1.0f, PixelLayout::Argb4444, 0xFF73},
        {"4444 half alpha", kAlpha, 1.0f, 0.5f, 0.25f, 0.5f, PixelLayout::Argb4444, 0x7F73},
        {"4444 thirds", kAlpha, 0.2f, 0.4f, 0.6f, 0.8f, PixelLayout::Argb4444, 0xC369},
        {"4444 held to 0..1", kAlpha, 2.0f, -1.0f, 0.5f, 3.0f, PixelLayout::Argb4444, 0xFF07},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        description.texture_formats = c.formats;
        open();
        lib2d_surface s(c.r, c.g, c.b, c.a);
        ASSERT_EQ(s.valid, 1);
        cache_texture& t = *s.texture;
        ASSERT_TRUE(t.system_surface);
        EXPECT_EQ(t.system_surface->layout(), c.layout);
        EXPECT_EQ(t.system_surface->width(), 8);
        for (int y = 0; y < 8; y += 7)
            for (int x = 0; x < 8; x += 7)
                EXPECT_EQ(texel(*t.system_surface, x, y), c.texel);
        EXPECT_EQ(t.blend_mode, c.layout == PixelLayout::Argb4444 ? 4 : 0);
        EXPECT_EQ(t.flags, 0x800u | 0x200u);
        EXPECT_EQ(t.scale, 1.0f);
        EXPECT_GE(t.handle, 0);  // resident at once
        s.release();
        device.release();
    }
}

// A 16-bit channel set expanded to 0..255 with rounding, as the device reads
// texels and the screen.
struct Rgba {
    double r, g, b, a;
};
Rgba from565(std::uint16_t v)
{
    const auto e = [](unsigned x, unsigned max) { return double((x * 255 + max / 2) / max); };
    return {e(v >> 11, 31), e((v >> 5) & 63, 63), e(v & 31, 31), 255};
}
Rgba from4444(std::uint16_t v)
{
    const auto e = [](unsigned x) { return double((x * 255 + 7) / 15); };
    return {e((v >> 8) & 15), e((v >> 4) & 15), e(v & 15), e(v >> 12)};
}
std::uint16_t to565(const Rgba& c)
{
    const auto q = [](double v, int levels) { return unsigned(std::clamp(v, 0.0, 255.0) * levels / 255.0 + 0.5); };
    return static_cast<std::uint16_t>(q(c.r, 31) << 11 | q(c.g, 63) << 5 | q(c.b, 31));
}

TEST_F(Lib2dSurface, QuadsDrawnIntoA16BitScreen)
{
    struct Quad {
        float r, g, b, a;
        int x, y, w, h;
    };
    const Quad quads[] = {
        {0.9f, 0.2f, 0.1f, 1.0f, 10, 20, 30, 15},  // opaque
        {0.1f, 0.8f, 1.0f, 0.5f, 25, 30, 20, 10},  // half over the first and the background
        {1.0f, 1.0f, 0.0f, 0.25f, -5, -4, 12, 9},  // cut by the screen's corner
    };
    for (bool alpha : {false, true}) {
        SCOPED_TRACE(alpha ? "4-4-4-4 surfaces" : "565 surfaces");
        description.texture_formats = alpha ? std::vector<PixelLayout>{PixelLayout::Rgb565, PixelLayout::Argb4444}
                                            : std::vector<PixelLayout>{PixelLayout::Rgb565};
        open();
        constexpr int W = 64, H = 48;
        // A background of many colours, and the reference starting from it.
        std::vector<std::uint16_t> reference(W * H);
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x) {
                const std::uint16_t v = static_cast<std::uint16_t>((x * 997 + y * 331) & 0xFFFF);
                std::memcpy(device.back_buffer.data() + static_cast<std::size_t>(y) * device.back_pitch + 2 * x, &v, 2);
                if (x < W && y < H)
                    reference[y * W + x] = v;
            }
        std::vector<std::unique_ptr<lib2d_surface>> surfaces;
        for (const Quad& q : quads) {
            surfaces.push_back(std::make_unique<lib2d_surface>(q.r, q.g, q.b, q.a));
            ASSERT_EQ(surfaces.back()->draw(float(q.x), float(q.y), float(q.w), float(q.h)), 1);
            const std::uint16_t t = texel(*surfaces.back()->texture->system_surface, 0, 0);
            for (int y = std::max(q.y, 0); y < std::min(q.y + q.h, H); ++y)
                for (int x = std::max(q.x, 0); x < std::min(q.x + q.w, W); ++x) {
                    std::uint16_t& d = reference[y * W + x];
                    if (!alpha) {
                        // Half alpha without 4-bit alpha: stippled, every
                        // other pixel drawn.
                        if ((x + y) % 2 == 0)
                            d = t;
                        continue;
                    }
                    const Rgba s = from4444(t), dst = from565(d);
                    const double k = s.a / 255.0;
                    d = to565({s.r * k + dst.r * (1 - k), s.g * k + dst.g * (1 - k), s.b * k + dst.b * (1 - k), 255});
                }
        }
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                const std::uint16_t got = screen_pixel(x, y), want = reference[y * W + x];
                if (!alpha) {
                    ASSERT_EQ(got, want) << x << ", " << y;
                    continue;
                }
                // The device blends in float: within one step of each channel.
                ASSERT_LE(std::abs(int(got >> 11) - int(want >> 11)), 1) << x << ", " << y;
                ASSERT_LE(std::abs(int((got >> 5) & 63) - int((want >> 5) & 63)), 1) << x << ", " << y;
                ASSERT_LE(std::abs(int(got & 31) - int(want & 31)), 1) << x << ", " << y;
            }

        // Paused, nothing is drawn (and that is no failure).
        device.set_active(1);
        const std::uint16_t before = screen_pixel(12, 22);
        lib2d_surface white(1, 1, 1, 1);
        EXPECT_EQ(white.draw(10, 20, 5, 5), 1);
        EXPECT_EQ(screen_pixel(12, 22), before);
        device.set_active(0);

        // Evicted meanwhile, a surface comes back when drawn.
        cache_texture* t = surfaces[0]->texture;
        evict_texture(*t, device.resident_ring);
        ASSERT_EQ(surfaces[0]->draw(100, 100, 4, 4), 1);
        EXPECT_GE(t->handle, 0);
        const std::uint16_t t0 = texel(*t->system_surface, 0, 0);
        EXPECT_EQ(screen_pixel(101, 101), alpha ? to565(from4444(t0)) : t0) << "drawn again";
        surfaces.clear();
        white.release();
        device.release();
    }
}

TEST_F(Lib2dSurface, ReleaseGivesTheRecordBackWithNoEntryLeft)
{
    open();
    lib2d_surface a(1, 0, 0, 1), b(0, 1, 0, 1);
    ASSERT_EQ(a.valid, 1);
    cache_texture* ta = a.texture;
    ASSERT_EQ(device.add_pending_reload(ta), 1);
    ASSERT_EQ(device.add_pending_reload(b.texture), 1);
    a.release();
    EXPECT_EQ(a.texture, nullptr);
    EXPECT_EQ(a.valid, 1);  // unchanged, as the record says
    EXPECT_EQ(a.draw(0, 0, 8, 8), 0);
    EXPECT_EQ(ta->size, 0u);
    EXPECT_FALSE(ta->system_surface);
    EXPECT_FALSE(ta->video_surface);
    ASSERT_EQ(device.pending_reload_count, 1);
    EXPECT_EQ(device.pending_reloads[0], b.texture);
    EXPECT_FALSE(drain_ring_for(device, ta));
    a.release();  // twice: nothing

    // The freed record serves the next surface.
    lib2d_surface c(0, 0, 1, 1);
    EXPECT_EQ(c.texture, ta);
}

TEST_F(Lib2dSurface, NotValidInTheSoftwareType)
{
    platform::set_display_description(description);
    ASSERT_EQ(device.enumerate_drivers(window), 1);
    device.software_16bit = 1;
    ASSERT_EQ(device.init(0, 640, 480, 16, 0), 1);
    lib2d_surface s(1, 1, 1, 1);
    EXPECT_EQ(s.valid, 0);
    EXPECT_EQ(s.texture, nullptr);
    EXPECT_EQ(s.draw(0, 0, 10, 10), 0);
    EXPECT_TRUE(platform::recorded_message_boxes().empty());
}

} // namespace
