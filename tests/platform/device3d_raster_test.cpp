// The 3D device's triangle rasteriser, checked against a plain reference
// written here: one pixel at a time, in double precision, from barycentric
// weights. Golden pictures hold the reference's output so a reviewer can open
// them; the rasteriser must match the reference within a stated tolerance.

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/device3d_raster.h"
#include "tests/support/device3d_reference.h"
#include "tests/support/png_image.h"

namespace {

using namespace platform;
using namespace device3d_reference;

// ---- Fixtures ----------------------------------------------------------------

// 16 x 16: blocks of 4 x 4 texels in two colours over a gradient; keyed
// textures carry the key in the blocks of one diagonal.
RefTexture make_texture(PixelLayout layout, bool keyed)
{
    RefTexture t;
    t.layout = layout;
    t.width = t.height = 16;
    t.keyed = keyed;
    t.key = layout == PixelLayout::Argb4444 ? 0x0F0F : 0xF81F;
    for (int v = 0; v < 16; ++v)
        for (int u = 0; u < 16; ++u) {
            const bool odd = ((u / 4) + (v / 4)) & 1;
            std::uint16_t texel;
            if (layout == PixelLayout::Argb4444) {
                const unsigned a = odd ? 15 : 4 + (u / 4) * 3;
                texel = static_cast<std::uint16_t>(a << 12 | (odd ? 15 : u) << 8 | (v & 15) << 4 | (odd ? 2 : 12));
            } else {
                texel = odd ? to565(240, 200 - v * 8, 40 + u * 8) : to565(20 + u * 12, 90, 250 - v * 10);
            }
            if (keyed && (u / 4) == (v / 4))
                texel = t.key;
            t.texels.push_back(texel);
        }
    return t;
}

// Three triangles of a 64 x 48 frame that overlap, at changing depths, with
// perspective (rhw changing across each), colours and fog factors.
std::vector<TLVertex> scene_vertices()
{
    const auto vtx = [](float x, float y, float z, float rhw, std::uint32_t c, std::uint32_t s, float u, float v) {
        TLVertex p;
        p.sx = x;
        p.sy = y;
        p.sz = z;
        p.rhw = rhw;
        p.colour = c;
        p.specular = s;
        p.tu = u;
        p.tv = v;
        return p;
    };
    return {
        vtx(2.3f, 3.1f, 0.20f, 1.0f, 0xFFFFFFFF, 0xFF000000, 0.0f, 0.0f),
        vtx(60.7f, 6.4f, 0.80f, 0.25f, 0xC0FF8040, 0x60202020, 2.0f, 0.0f),
        vtx(8.1f, 44.6f, 0.50f, 0.5f, 0x4040C0FF, 0x00101010, 0.0f, 1.5f),

        vtx(62.0f, 40.2f, 0.10f, 0.8f, 0xFFFFFF80, 0xFF000000, 1.0f, 1.0f),
        vtx(20.4f, 10.0f, 0.90f, 0.3f, 0x80FFFFFF, 0x80303030, -1.0f, 0.5f),
        vtx(40.5f, 46.9f, 0.30f, 1.0f, 0xFF80FF80, 0x20000000, 0.25f, 2.0f),

        vtx(30.0f, 0.5f, 0.05f, 0.6f, 0xFFFF4040, 0xFF404040, 3.0f, -1.0f),
        vtx(50.25f, 30.75f, 0.05f, 0.6f, 0xA0FFFFFF, 0x40000000, 4.0f, 0.0f),
        vtx(14.5f, 26.0f, 0.95f, 0.2f, 0x6000FF00, 0xC0000000, 3.0f, 1.0f),
    };
}

void expect_golden(const std::string& name, const Frame& reference)
{
    device3d_reference::expect_golden(TORVANE_DEVICE3D_GOLDEN_DIR, name, reference);
}

struct StateCase {
    const char* name;
    RenderStates states;
    int texture;  // 0 none, 1 565, 2 565 keyed, 3 4444
    bool prefilled_depth;
};

RenderStates states(auto change)
{
    RenderStates s;
    change(s);
    return s;
}

TEST(Device3DRaster, EachStateMatchesThePlainReference)
{
    const StateCase cases[] = {
        {"z_less_write", states([](RenderStates& s) { s.z_func = CompareFunc::Less; }), 0, false},
        {"z_greater_nowrite", states([](RenderStates& s) {
             s.z_func = CompareFunc::Greater;
             s.z_write = false;
         }), 0, true},
        {"z_off_flat", states([](RenderStates& s) {
             s.z_enable = false;
             s.gouraud = false;
         }), 0, false},
        {"nearest_modulate", states([](RenderStates&) {}), 1, false},
        {"bilinear_modulate", states([](RenderStates& s) { s.filter = TextureFilter::Linear; }), 1, false},
        {"decal", states([](RenderStates& s) { s.texture_blend = TextureBlend::Decal; }), 1, false},
        {"key_nearest", states([](RenderStates&) {}), 2, false},
        {"key_bilinear", states([](RenderStates& s) { s.filter = TextureFilter::Linear; }), 2, false},
        {"key_off", states([](RenderStates& s) { s.colour_key = false; }), 2, false},
        {"blend_src_alpha", states([](RenderStates& s) {
             s.alpha_blend = true;
             s.source_blend = BlendFactor::SourceAlpha;
             s.dest_blend = BlendFactor::InverseSourceAlpha;
         }), 0, false},
        {"blend_additive", states([](RenderStates& s) {
             s.alpha_blend = true;
             s.dest_blend = BlendFactor::One;
             s.z_enable = false;
         }), 1, false},
        {"alpha4444_modulate_alpha", states([](RenderStates& s) {
             s.alpha_blend = true;
             s.source_blend = BlendFactor::SourceAlpha;
             s.dest_blend = BlendFactor::InverseSourceAlpha;
             s.texture_blend = TextureBlend::ModulateAlpha;
         }), 3, false},
        {"alpha4444_modulate", states([](RenderStates& s) {
             s.alpha_blend = true;
             s.source_blend = BlendFactor::SourceAlpha;
             s.dest_blend = BlendFactor::InverseSourceAlpha;
         }), 3, false},
        // Opaque nearest-texel spans have their own fixed-point colour path.
        {"fog_nearest", states([](RenderStates& s) {
             s.fog = true;
             s.fog_colour = 0xD04020;
         }), 1, false},
        {"fog_highlight", states([](RenderStates& s) {
             s.fog = true;
             s.fog_colour = 0x8090A0;
             s.specular = true;
         }), 1, false},
        // Stippled alpha: the vertex alphas choose which pixels are drawn,
        // opaque, and with alpha blending on as well, blended.
        {"stipple_keyed", states([](RenderStates& s) { s.stippled_alpha = true; }), 2, false},
        {"stipple_blend", states([](RenderStates& s) {
             s.stippled_alpha = true;
             s.alpha_blend = true;
             s.source_blend = BlendFactor::SourceAlpha;
             s.dest_blend = BlendFactor::InverseSourceAlpha;
         }), 0, false},
    };
    const std::vector<TLVertex> verts = scene_vertices();
    const std::uint16_t indices[] = {0, 1, 2, 3, 4, 5, 6, 7, 8};
    // The last rows and columns are outside the scissor rectangle.
    const PixelRect scissor{1, 2, 60, 45};
    for (const StateCase& c : cases) {
        SCOPED_TRACE(c.name);
        RefTexture tex;
        if (c.texture)
            tex = make_texture(c.texture == 3 ? PixelLayout::Argb4444 : PixelLayout::Rgb565, c.texture == 2);
        Frame ref(64, 48, to565(30, 60, 90)), dev(64, 48, to565(30, 60, 90));
        if (c.prefilled_depth)
            for (int i = 0; i < 64 * 48; ++i)
                ref.depth[i] = dev.depth[i] = static_cast<std::uint16_t>((i % 64) * 1000);
        for (int t = 0; t < 3; ++t)
            reference_triangle(ref, c.states, c.texture ? &tex : nullptr, &verts[3 * t], scissor);
        TriangleRasteriser raster(1);
        const RasterTexture rt = tex.raster();
        // Queued as three lists, so that state changes between draws are exercised.
        for (int t = 0; t < 3; ++t)
            ASSERT_TRUE(raster.queue(c.states, c.texture ? &rt : nullptr, verts.data(), 9, indices + 3 * t, 3));
        RasterTarget target = dev.target();
        target.scissor = scissor;
        raster.flush(target);
        expect_golden(std::string("d3d_") + c.name, ref);
        expect_close(c.name, dev, ref, c.texture ? 64 * 48 / 100 : 0);
        // Depths are interpolated in float by the device: one step apart at most.
        int far_apart = 0;
        for (std::size_t i = 0; i < dev.depth.size(); ++i)
            far_apart += std::abs(int(dev.depth[i]) - int(ref.depth[i])) > 1;
        EXPECT_LE(far_apart, c.texture ? 64 * 48 / 100 : 0) << "Z-buffers differ";
    }
}

// Stippled alpha over a 16 x 16 square of one alpha: of every 4 x 4 block,
// as many pixels are drawn as there are thresholds 8, 24, ..., 248 below
// the alpha; at 128 they are every other pixel (x + y even), and what is
// not drawn keeps its colour and depth.
TEST(Device3DRaster, StippledAlphaDrawsAShareOfThePixelsByAlpha)
{
    struct Row {
        std::uint32_t alpha;
        int drawn_per_block;
    };
    const Row rows[] = {{0, 0}, {8, 0}, {9, 1}, {64, 4}, {128, 8}, {200, 12}, {248, 15}, {255, 16}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.alpha);
        const std::uint16_t background = to565(30, 60, 90);
        Frame f(16, 16, background);
        TLVertex v[4];
        const float xs[4] = {-0.5f, 15.5f, 15.5f, -0.5f}, ys[4] = {-0.5f, -0.5f, 15.5f, 15.5f};
        for (int i = 0; i < 4; ++i) {
            v[i].sx = xs[i];
            v[i].sy = ys[i];
            v[i].sz = 0.5f;
            v[i].colour = row.alpha << 24 | 0xFFFFFFu;
        }
        const std::uint16_t indices[] = {0, 1, 2, 0, 2, 3};
        RenderStates st;
        st.stippled_alpha = true;
        TriangleRasteriser raster(1);
        ASSERT_TRUE(raster.queue(st, nullptr, v, 4, indices, 6));
        raster.flush(f.target());
        int drawn = 0;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                const std::size_t at = std::size_t(y) * 16 + x;
                const bool on = f.colour[at] != background;
                drawn += on;
                EXPECT_EQ(on, f.depth[at] != 0xFFFF) << x << "," << y;
                if (row.alpha == 128) {
                    EXPECT_EQ(on, (x + y) % 2 == 0) << x << "," << y;
                }
            }
        EXPECT_EQ(drawn, row.drawn_per_block * 16);
    }
}

// A fan and a strip of triangles sharing edges, drawn adding one step of
// green each: every pixel the reference covers gets exactly one step, none
// gets two, nothing outside is touched.
TEST(Device3DRaster, FansAndStripsDrawEveryPixelOnce)
{
    RenderStates st;
    st.z_enable = false;
    st.alpha_blend = true;
    st.dest_blend = BlendFactor::One;
    const auto v = [](float x, float y) {
        TLVertex p;
        p.sx = x;
        p.sy = y;
        p.colour = 0xFF000400;  // one step of 6-bit green
        return p;
    };
    // A fan around (32.3, 24.7), its rim at odd sub-pixel places, closed.
    std::vector<TLVertex> fan{v(32.3f, 24.7f)};
    for (int i = 0; i <= 13; ++i) {
        const double a = (i % 13) * 2 * 3.14159265358979 / 13;
        fan.push_back(v(float(32.3 + 25.1 * std::cos(a)), float(24.7 + 19.3 * std::sin(a))));
    }
    std::vector<std::uint16_t> fan_idx;
    for (int i = 1; i <= 13; ++i)
        fan_idx.insert(fan_idx.end(), {0, std::uint16_t(i), std::uint16_t(i + 1)});
    // A strip of zig-zag triangles with sloping and nearly vertical edges.
    std::vector<TLVertex> strip2;
    for (int i = 0; i < 10; ++i) {
        strip2.push_back(v(4.0f + i * 6.1f, 8.5f + (i % 3) * 0.33f));
        strip2.push_back(v(4.0f + i * 6.1f + 0.6f, 40.25f - (i % 2) * 2.125f));
    }
    std::vector<std::uint16_t> strip_idx;
    for (int i = 0; i + 2 < 20; ++i)
        strip_idx.insert(strip_idx.end(), {std::uint16_t(i), std::uint16_t(i + 1), std::uint16_t(i + 2)});

    struct Mesh {
        const char* name;
        const std::vector<TLVertex>* verts;
        const std::vector<std::uint16_t>* idx;
    } meshes[] = {{"fan", &fan, &fan_idx}, {"strip", &strip2, &strip_idx}};
    for (const Mesh& m : meshes) {
        SCOPED_TRACE(m.name);
        Frame f(64, 48);
        TriangleRasteriser raster(1);
        ASSERT_TRUE(raster.queue(st, nullptr, m.verts->data(), int(m.verts->size()), m.idx->data(), int(m.idx->size())));
        raster.flush(f.target());
        int covered = 0;
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x) {
                int count = 0;
                for (std::size_t t = 0; t < m.idx->size(); t += 3) {
                    const TLVertex tri[3] = {(*m.verts)[(*m.idx)[t]], (*m.verts)[(*m.idx)[t + 1]],
                                             (*m.verts)[(*m.idx)[t + 2]]};
                    double w[3];
                    count += covers(tri, x, y, w);
                }
                ASSERT_LE(count, 1) << "the reference covers (" << x << ", " << y << ") twice";
                covered += count;
                EXPECT_EQ((f.colour[y * 64 + x] >> 5) & 63, count) << "(" << x << ", " << y << ")";
            }
        EXPECT_GT(covered, 600);
    }
}

// Random triangles, each at its own depth band, with a Z test: any order
// of drawing gives the same picture; and 1 or 8 threads give the same
// picture for a blended, fogged, textured scene.
std::vector<TLVertex> random_triangles(int count, int width, int height, unsigned seed)
{
    std::mt19937 rng(seed);
    const auto uni = [&](double lo, double hi) { return lo + (hi - lo) * (rng() / 4294967296.0); };
    std::vector<TLVertex> out;
    for (int t = 0; t < count; ++t) {
        const double cx = uni(-10, width + 10), cy = uni(-10, height + 10), size = uni(2, 60);
        const double z = (t + 1) / double(count + 2);
        for (int i = 0; i < 3; ++i) {
            TLVertex p;
            p.sx = float(cx + uni(-size, size));
            p.sy = float(cy + uni(-size, size));
            p.sz = float(z + uni(0, 0.3 / (count + 2)));
            p.rhw = float(uni(0.1, 1.0));
            p.colour = 0xFF000000u | static_cast<std::uint32_t>(rng() & 0xFFFFFF) | (rng() & 0xFF) << 24;
            p.specular = static_cast<std::uint32_t>(rng() & 0xFF) << 24;
            p.tu = float(uni(-2, 3));
            p.tv = float(uni(-2, 3));
            out.push_back(p);
        }
    }
    return out;
}

TEST(Device3DRaster, OpaqueZBufferedScenesDoNotDependOnDrawOrder)
{
    const int n = 120;
    std::vector<TLVertex> verts = random_triangles(n, 96, 80, 7);
    const RefTexture tex = make_texture(PixelLayout::Rgb565, false);
    const RasterTexture rt = tex.raster();
    RenderStates st;
    st.z_func = CompareFunc::Less;
    st.filter = TextureFilter::Linear;
    std::vector<int> order(n);
    for (int i = 0; i < n; ++i)
        order[i] = i;
    const auto draw = [&](const std::vector<int>& o) {
        Frame f(96, 80);
        TriangleRasteriser raster(1);
        for (int t : o) {
            const std::uint16_t idx[] = {std::uint16_t(3 * t), std::uint16_t(3 * t + 1), std::uint16_t(3 * t + 2)};
            EXPECT_TRUE(raster.queue(st, &rt, verts.data(), int(verts.size()), idx, 3));
        }
        raster.flush(f.target());
        return f;
    };
    const Frame forward = draw(order);
    std::reverse(order.begin(), order.end());
    const Frame backward = draw(order);
    std::shuffle(order.begin(), order.end(), std::mt19937(3));
    const Frame shuffled = draw(order);
    EXPECT_TRUE(forward.colour == backward.colour);
    EXPECT_TRUE(forward.colour == shuffled.colour);
    EXPECT_TRUE(forward.depth == shuffled.depth);
}

std::vector<std::uint16_t> sequence(int count)
{
    std::vector<std::uint16_t> idx;
    for (int i = 0; i < count; ++i)
        idx.push_back(std::uint16_t(i));
    return idx;
}

// The first half of the triangles drawn with one state and texture, the
// second half with another, by 1, 8 and 3 threads: the same picture.
void expect_same_for_any_thread_count(const std::vector<TLVertex>& verts, const RenderStates& first,
                                      const RasterTexture* first_texture, const RenderStates& second,
                                      const RasterTexture* second_texture)
{
    const int half = int(verts.size()) / 2 / 3 * 3;
    const std::vector<std::uint16_t> idx = sequence(int(verts.size()));
    const auto draw = [&](int threads) {
        Frame f(256, 200);
        TriangleRasteriser raster(threads);
        EXPECT_TRUE(raster.queue(first, first_texture, verts.data(), int(verts.size()), idx.data(), half));
        EXPECT_TRUE(raster.queue(second, second_texture, verts.data(), int(verts.size()), idx.data() + half, half));
        raster.flush(f.target());
        return f;
    };
    const Frame one = draw(1), eight = draw(8), three = draw(3);
    EXPECT_TRUE(one.colour == eight.colour);
    EXPECT_TRUE(one.depth == eight.depth);
    EXPECT_TRUE(one.colour == three.colour);
}

TEST(Device3DRaster, ThreadCountDoesNotChangeThePicture)
{
    const int n = 400;
    std::vector<TLVertex> verts = random_triangles(n, 256, 200, 11);
    const RefTexture tex = make_texture(PixelLayout::Argb4444, true);
    const RasterTexture rt = tex.raster();
    RenderStates blended;
    blended.alpha_blend = true;
    blended.source_blend = BlendFactor::SourceAlpha;
    blended.dest_blend = BlendFactor::InverseSourceAlpha;
    blended.fog = true;
    blended.fog_colour = 0x406080;
    blended.filter = TextureFilter::Linear;
    RenderStates opaque;
    expect_same_for_any_thread_count(verts, opaque, nullptr, blended, &rt);

    // One pool drawing many small frames in a row: every job's tasks run
    // once, by workers of that job (a worker waking late must not take a
    // later job's tasks).
    const std::vector<std::uint16_t> idx = sequence(3 * n);
    TriangleRasteriser pool(8);
    for (int frame = 0; frame < 200; ++frame) {
        Frame f(64, 64);
        ASSERT_TRUE(pool.queue(opaque, nullptr, verts.data(), int(verts.size()), idx.data(), 30));
        pool.flush(f.target());
        Frame g(64, 64);
        TriangleRasteriser single(1);
        ASSERT_TRUE(single.queue(opaque, nullptr, verts.data(), int(verts.size()), idx.data(), 30));
        single.flush(g.target());
        ASSERT_TRUE(f.colour == g.colour) << "frame " << frame;
    }
}

// The opaque textured spans (their own eight-pixel path), keyed and fogged,
// with and without Z: 1, 3 and 8 threads give the same picture.
TEST(Device3DRaster, ThreadCountDoesNotChangeOpaqueTexturedSpans)
{
    const std::vector<TLVertex> verts = random_triangles(400, 256, 200, 23);
    const RefTexture tex = make_texture(PixelLayout::Rgb565, true);
    const RasterTexture rt = tex.raster();
    RenderStates fogged;
    fogged.fog = true;
    fogged.fog_colour = 0x406080;
    RenderStates no_z;
    no_z.z_enable = false;
    expect_same_for_any_thread_count(verts, fogged, &rt, no_z, &rt);
}

// Corners far outside the frame, depths outside [0, 1], bad indexes and
// degenerate triangles: the frame outside the scissor is never touched,
// depth is clamped, and bad triples are left out.
TEST(Device3DRaster, HostileInputStaysInsideTheScissorAndClampsDepth)
{
    Frame f(32, 32, 0x1234);
    TriangleRasteriser raster(2);
    TLVertex v[5];
    v[0].sx = -5000;
    v[0].sy = -7000;
    v[0].sz = -3;
    v[1].sx = 9000;
    v[1].sy = 10;
    v[1].sz = -3;
    v[2].sx = 10;
    v[2].sy = 9000;
    v[2].sz = -3;
    v[3].sx = 1e30f;  // out of range: its triangle is left out
    v[4].sx = std::nanf("");
    RenderStates st;
    const std::uint16_t good[] = {0, 1, 2};
    const std::uint16_t bad[] = {0, 1, 9, 0, 3, 1, 4, 1, 2, 1, 1, 2};
    EXPECT_TRUE(raster.queue(st, nullptr, v, 5, good, 3));
    EXPECT_FALSE(raster.queue(st, nullptr, v, 5, bad, 12));
    RasterTarget target = f.target();
    target.scissor = {4, 5, 20, 30};
    raster.flush(target);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const bool inside = x >= 4 && x < 20 && y >= 5 && y < 30;
            EXPECT_EQ(f.colour[y * 32 + x], inside ? 0xFFFF : 0x1234) << x << ", " << y;
            EXPECT_EQ(f.depth[y * 32 + x], inside ? 0 : 0xFFFF) << x << ", " << y;
        }
}

} // namespace
