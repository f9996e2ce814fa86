// The lens flare's texture set: the kit's series loaded into the texture
// cache, drawn on the 3D device over a scene with a nearer occluder, and
// compared with a per-pixel reference (the checked-in golden image is that
// reference); freed through the cache with nothing left behind.

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include <gtest/gtest.h>

#include "engine/render/lens_flare.h"
#include "engine/render/loadpcx.h"
#include "platform/device3d_raster.h"
#include "tests/engine/render/rast_test_fixture.h"
#include "tests/engine/render/texture_fixture.h"
#include "tests/support/temp_dir.h"
#include "tools/datakit/flare_writer.h"
#include "tools/datakit/pcx_writer.h"

namespace {

using texture_test::HardwareScreen;

constexpr int W = 160, H = 120;
constexpr std::uint16_t kBackground = 0x0010;
// The occluder: grey, at depth 0.5, over part of the sun disc.
constexpr int kOccluder[4] = {128, 18, 160, 34};  // left, top, right, bottom

class LensFlareSet : public HardwareScreen {
protected:
    void SetUp() override
    {
        HardwareScreen::SetUp();
        dir = torvane_test::make_temp_dir("flare");
        std::string error;
        ASSERT_TRUE(datakit::write_demo_lens_flare(dir, error)) << error;
        base = (dir / "Gfx" / "Lens" / "Flare").string();
    }
    void open_small()
    {
        platform::set_display_description(description);
        ASSERT_EQ(device.enumerate_drivers(window), 1);
        ASSERT_EQ(device.init(0, W, H, 16, 1), 1);
        ASSERT_EQ(device.render_type, kRenderHardware);
        ASSERT_EQ(device.draw_width, W);
    }
    std::filesystem::path dir;
    std::string base;
};

// ---- The reference -----------------------------------------------------------

struct Rgba {
    double r, g, b, a;
};
double expand(unsigned v, unsigned max)
{
    return double((v * 255 + max / 2) / max);
}
Rgba from565(std::uint16_t v)
{
    return {expand(v >> 11, 31), expand((v >> 5) & 63, 63), expand(v & 31, 31), 255};
}
std::uint16_t to565(double r, double g, double b)
{
    const auto q = [](double v, int levels) { return unsigned(std::clamp(v, 0.0, 255.0) * levels / 255.0 + 0.5); };
    return static_cast<std::uint16_t>(q(r, 31) << 11 | q(g, 63) << 5 | q(b, 31));
}
double snap(float v)
{
    return std::round(double(v) * 16.0) / 16.0;
}

// One square as the device draws it: pixel centres inside the snapped
// rectangle (left and top edges in, right and bottom out), texture
// coordinates linear across it (all corners share 1/w), the nearest texel
// of the picture, modulated with the vertex colour and alpha, blended by
// its alpha over the frame, the depth tested and written when asked.
void reference_square(std::vector<std::uint16_t>& colour, std::vector<std::uint16_t>& depth, const flare_quad& q,
                      const std::vector<std::uint8_t>& picture, int pw, int ph)
{
    const flare_vertex& tl = q.corner[0];
    const flare_vertex& br = q.corner[2];
    const double x0 = snap(tl.x), y0 = snap(tl.y), x1 = snap(br.x), y1 = snap(br.y);
    const Rgba vc{double((tl.colour >> 16) & 255), double((tl.colour >> 8) & 255), double(tl.colour & 255),
                  double(tl.colour >> 24)};
    const unsigned z16 = unsigned(std::clamp(double(tl.z), 0.0, 1.0) * 65535 + 0.5);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            if (x < x0 || x >= x1 || y < y0 || y >= y1)
                continue;
            const std::size_t at = static_cast<std::size_t>(y) * W + x;
            if (q.depth_test && !(z16 <= depth[at]))
                continue;
            const double u = tl.u + (x - x0) / (x1 - x0) * (br.u - tl.u);
            const double v = tl.v + (y - y0) / (y1 - y0) * (br.v - tl.v);
            const long tx = long(std::floor(u * pw)) & (pw - 1), ty = long(std::floor(v * ph)) & (ph - 1);
            // A picture's index: white with the alpha of its low four bits.
            const double ta = expand(picture[static_cast<std::size_t>(ty) * pw + tx] & 15, 15);
            const Rgba c{vc.r, vc.g, vc.b, ta * vc.a / 255};  // white x colour
            const Rgba d = from565(colour[at]);
            const double k = c.a / 255;
            colour[at] = to565(c.r * k + d.r * (1 - k), c.g * k + d.g * (1 - k), c.b * k + d.b * (1 - k));
            if (q.depth_test)
                depth[at] = static_cast<std::uint16_t>(z16);
        }
}

// The squares of a frame worked out from the flare's rules, apart from
// lens_flare_quads: q = 1 / -dz and the sun at (dx q, dy q, -1); element i
// of depth factor f and size s lies at depth -f - 1000 with k = F / depth,
// centre (cx + k dx q f, cy - k dy q f) and radius |s k|, cut at the
// screen's edges with its texture coordinates; elements 0 to 4 have alpha
// 255 - min(255, trunc(150 q)) at z 0.00002, element 5 alpha 255 at z 0.7
// and the depth test; the glare (alpha 255 - b, b = min(255, trunc(170 q
// q)), over the whole screen at z 0.000001, depth-tested) only when b > 16.
std::vector<flare_quad> formula_quads(const flare_view& view)
{
    struct Element {
        double f, s;
        std::uint32_t colour;
        int texture;
    };
    const Element elements[6] = {{300, 50, 0xFFFFFF, 1},  {200, 20, 0x00AAAA, 3}, {100, 50, 0xFFFFFF, 3},
                                 {-100, 60, 0xAAAA00, 3}, {-200, 50, 0xFFFFFF, 2}, {-500, 25, 0xFFFFFF, 0}};
    const double q = 1.0 / -double(view.sun_z);
    const double sx = view.sun_x * q, sy = view.sun_y * q;
    const int faded = 255 - std::min(255, int(150 * q));
    std::vector<flare_quad> out;
    const auto square = [&](double x0, double y0, double x1, double y1, double left, double top, double right,
                            double bottom, double z, std::uint32_t colour, int texture, bool depth_test) {
        flare_quad fq;
        const double xs[4] = {x0, x0, x1, x1}, ys[4] = {y0, y1, y1, y0};
        const double us[4] = {left, left, right, right}, vs[4] = {top, bottom, bottom, top};
        for (int c = 0; c < 4; ++c)
            fq.corner[c] = {float(xs[c]), float(ys[c]), float(z), 0.01f, colour, 0xFF000000u, float(us[c]),
                            float(vs[c])};
        fq.texture = texture;
        fq.depth_test = depth_test;
        out.push_back(fq);
    };
    for (int i = 0; i < 6; ++i) {
        const Element& e = elements[i];
        const double depth = -e.f - 1000;
        const double k = view.scale / depth;
        const double x = view.centre_x + k * sx * e.f, y = view.centre_y - k * sy * e.f, r = std::fabs(e.s * k);
        double x0 = x - r, x1 = x + r, y0 = y - r, y1 = y + r;
        if (x1 < 0 || y1 < 0 || x0 >= view.width || y0 >= view.height)
            continue;
        double left = 0, top = 0, right = 1, bottom = 1;
        if (x0 < 0) {
            left = 1 - x1 / (x1 - x0);
            x0 = 0;
        }
        if (y0 < 0) {
            top = 1 - y1 / (y1 - y0);
            y0 = 0;
        }
        if (x1 >= view.width) {
            right = (view.width - x0) / (x1 - x0);
            x1 = view.width - 1;
        }
        if (y1 >= view.height) {
            bottom = (view.height - y0) / (y1 - y0);
            y1 = view.height - 1;
        }
        const int alpha = i < 5 ? faded : 255;
        square(x0, y0, x1, y1, left, top, right, bottom, i < 5 ? 0.00002 : 0.7,
               std::uint32_t(alpha) << 24 | e.colour, e.texture, i == 5);
    }
    const int b = std::min(255, int(170 * q * q));
    if (b > 16 && view.modulate_alpha)
        square(0, 0, view.width - 1, view.height - 1, 0, 0, 1, 1, 0.000001, std::uint32_t(255 - b) << 24 | 0xFFFFFF,
               4, true);
    return out;
}

void expect_same_quads(const std::vector<flare_quad>& got, const std::vector<flare_quad>& want)
{
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(got[i].texture, want[i].texture);
        EXPECT_EQ(got[i].depth_test, want[i].depth_test);
        for (int c = 0; c < 4; ++c) {
            const flare_vertex &g = got[i].corner[c], &w = want[i].corner[c];
            EXPECT_NEAR(g.x, w.x, 1e-3f) << "corner " << c;
            EXPECT_NEAR(g.y, w.y, 1e-3f) << "corner " << c;
            EXPECT_NEAR(g.u, w.u, 1e-5f) << "corner " << c;
            EXPECT_NEAR(g.v, w.v, 1e-5f) << "corner " << c;
            EXPECT_FLOAT_EQ(g.z, w.z) << "corner " << c;
            EXPECT_EQ(g.rhw, w.rhw) << "corner " << c;
            EXPECT_EQ(g.colour, w.colour) << "corner " << c;
            EXPECT_EQ(g.specular, w.specular) << "corner " << c;
        }
    }
}

// The squares of views with the sun straight ahead, low in the view's
// corner (squares cut at the left, top, right and bottom edges), far off
// the axis (alpha down to 0, no glare) and without the alpha blend (no
// glare): as the rules give them.
TEST(LensFlareSquares, EachViewsSquaresFollowTheRules)
{
    const struct {
        const char* what;
        flare_view view;
    } cases[] = {
        {"ahead", {0.0f, 0.0f, -1.0f, 400, 80, 60, W, H, 5, true}},
        {"right and up", {0.15f, 0.08f, -0.98f, 400, 80, 60, W, H, 5, true}},
        {"left and down", {-0.2f, -0.12f, -0.97f, 400, 80, 60, W, H, 5, true}},
        {"far off the axis", {0.9f, 0.3f, -0.3f, 60, 80, 60, W, H, 5, true}},
        {"no alpha blend", {0.05f, 0.0f, -0.99f, 400, 80, 60, W, H, 5, false}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        expect_same_quads(lens_flare_quads(c.view), formula_quads(c.view));
    }
}

TEST_F(LensFlareSet, TheFlareDrawnOnTheDeviceMatchesItsReference)
{
    open_small();
    texture_set set(0);
    ASSERT_EQ(set.load_pcx_series(base.c_str()), 1);
    ASSERT_EQ(set.data->texture_count, 5);
    EXPECT_EQ(set.data->source_blend, 5);
    EXPECT_EQ(set.data->destination_blend, 2);
    EXPECT_EQ(set.data->texture_blend, 4);
    EXPECT_EQ(set.data->texture_index[3], 3);
    EXPECT_EQ(set.data->colour[1], 0x00AAAAu);
    EXPECT_EQ(set.data->textures[0]->system_surface->layout(), platform::PixelLayout::Argb4444);

    // The frame: a dark background, the Z-buffer cleared, a grey occluder
    // nearer than the sun disc.
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            std::memcpy(device.back_buffer.data() + static_cast<std::size_t>(y) * device.back_pitch + 2 * x,
                        &kBackground, 2);
    ASSERT_EQ(device.clear_zbuffer(), 1);
    platform::Device3D& d3d = *device.device3d;
    platform::RenderStates occluder_states;
    d3d.set_render_states(occluder_states);
    d3d.set_texture(nullptr);
    ASSERT_EQ(d3d.begin_scene(), platform::DisplayResult::Ok);
    const float l = kOccluder[0], t = kOccluder[1], r = kOccluder[2], b = kOccluder[3];
    const platform::TLVertex occluder[4] = {{l, t, 0.5f, 1, 0xFF808080, 0xFF000000, 0, 0},
                                            {r, t, 0.5f, 1, 0xFF808080, 0xFF000000, 0, 0},
                                            {r, b, 0.5f, 1, 0xFF808080, 0xFF000000, 0, 0},
                                            {l, b, 0.5f, 1, 0xFF808080, 0xFF000000, 0, 0}};
    const std::uint16_t quad[6] = {0, 1, 2, 0, 2, 3};
    ASSERT_EQ(d3d.draw_indexed(occluder, 4, quad, 6), platform::DisplayResult::Ok);
    ASSERT_EQ(d3d.end_scene(), platform::DisplayResult::Ok);

    flare_view view;
    view.sun_x = 0.15f;
    view.sun_y = 0.08f;
    view.sun_z = -0.98f;
    view.scale = 400.0f;
    view.centre_x = 80.0f;
    view.centre_y = 60.0f;
    view.width = W;
    view.height = H;
    set.draw_screen_overlay(view);

    // The reference, from the pictures as the kit wrote them.
    std::vector<std::uint16_t> colour(W * H, kBackground), depth(W * H, 0xFFFF);
    for (int y = kOccluder[1]; y < kOccluder[3]; ++y)
        for (int x = kOccluder[0]; x < kOccluder[2]; ++x) {
            colour[y * W + x] = to565(128, 128, 128);
            depth[y * W + x] = static_cast<std::uint16_t>(0.5 * 65535 + 0.5);
        }
    std::vector<std::vector<std::uint8_t>> pictures(5);
    int pw = 0, ph = 0;
    for (int n = 0; n < 5; ++n) {
        std::uint8_t header[kPcxHeaderBytes], palette[kPcxPaletteBytes];
        const std::string name = base + "0" + std::to_string(n) + ".pcx";
        ASSERT_TRUE(loadpcx(pictures[n], name.c_str(), header, palette));
        pw = read_pcx_header(header).bytes_per_line;
        ph = read_pcx_header(header).rows;
    }
    view.texture_count = 5;
    view.modulate_alpha = true;
    const std::vector<flare_quad> quads = formula_quads(view);
    ASSERT_EQ(quads.size(), 7u);  // six elements and the glare
    EXPECT_GE(quads[5].corner[2].x, W - 1.0f) << "the sun disc reaches the right edge";
    expect_same_quads(lens_flare_quads(view), quads);
    for (const flare_quad& q : quads)
        reference_square(colour, depth, q, pictures[static_cast<std::size_t>(q.texture)], pw, ph);

    // The device computes in float against the reference's double: within
    // one step of each channel, except at texel boundaries (at most 1%).
    int off = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const std::uint16_t got = screen_pixel(x, y), want = colour[y * W + x];
            const int dr = std::abs(int(got >> 11) - int(want >> 11));
            const int dg = std::abs(int((got >> 5) & 63) - int((want >> 5) & 63));
            const int db = std::abs(int(got & 31) - int(want & 31));
            if (dr > 1 || dg > 1 || db > 1)
                ++off;
        }
    EXPECT_LE(off, W * H / 100) << off << " pixels differ";

    torvane_test::PngImage image;
    image.width = W;
    image.height = H;
    image.indexed = false;
    for (std::uint16_t v : colour) {
        const Rgba c = from565(v);
        image.pixels.push_back(static_cast<std::uint8_t>(c.r));
        image.pixels.push_back(static_cast<std::uint8_t>(c.g));
        image.pixels.push_back(static_cast<std::uint8_t>(c.b));
    }
    rast_test::expect_golden("lens_flare", image);
}

TEST_F(LensFlareSet, TheSetGivesItsTexturesBackThroughTheCache)
{
    open_small();
    std::vector<cache_texture*> textures;
    {
        texture_set set(0);
        ASSERT_EQ(set.load_pcx_series(base.c_str()), 1);
        textures = set.data->textures;
        ASSERT_EQ(device.add_pending_reload(textures[2]), 1);
        for (cache_texture* t : textures)
            EXPECT_GE(t->handle, 0);
    }
    for (cache_texture* t : textures)
        EXPECT_EQ(t->size, 0u);
    EXPECT_EQ(device.resident_ring.count(), 0);
    EXPECT_EQ(device.pending_reload_count, 0);
    EXPECT_EQ(mtr_texture::live, 0);
}

TEST_F(LensFlareSet, WhatASetCannotLoadOrDraw)
{
    // A disabled set does nothing.
    open_small();
    texture_set off(1);
    EXPECT_EQ(off.data, nullptr);
    EXPECT_EQ(off.load_pcx_series(base.c_str()), 0);

    // A missing series loads no texture: the set draws nothing.
    texture_set none(0);
    ASSERT_EQ(none.load_pcx_series((dir / "Nothing").string().c_str()), 1);
    EXPECT_EQ(none.data->texture_count, 0);
    none.draw_screen_overlay(flare_view{0, 0, -1, 400, 80, 60, W, H});

    // A picture whose side is no power of two cannot be a texture: 28.
    datakit::PcxPicture odd;
    odd.width = 30;
    odd.height = 16;
    odd.pixels.assign(30 * 16, 9);
    std::string error;
    ASSERT_TRUE(datakit::write_pcx(dir / "Odd00.pcx", odd, error)) << error;
    texture_set bad(0);
    platform::clear_recorded_message_boxes();
    EXPECT_EQ(bad.load_pcx_series((dir / "Odd").string().c_str()), 0);
    const auto boxes = platform::recorded_message_boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Create surface for texture failed!\r\n");
    device.release();

    // Without a 4-bit-alpha texture format there is no flare.
    description.texture_formats = {platform::PixelLayout::Rgb565};
    open_small();
    texture_set plain(0);
    EXPECT_EQ(plain.load_pcx_series(base.c_str()), 0);
}

} // namespace
