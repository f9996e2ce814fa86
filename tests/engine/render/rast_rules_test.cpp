#include <array>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "engine/base/recip_table.h"
#include "engine/render/rast.h"
#include "engine/render/rast_span.h"
#include "tests/engine/render/rast_test_fixture.h"

namespace {

using RastRules = rast_test::drawing;
using RastSpans = rast_test::drawing;

using rast_test::frame;
using rast_test::vertex;

// A texture row whose texel at column v is v (so a written pixel tells which
// sample it took), with a shade table that passes texels through at every
// level: entry = texel in both bytes.
struct span_fixture {
    std::vector<std::uint8_t> texels = std::vector<std::uint8_t>(65536, 0);
    std::vector<std::uint32_t> shade = std::vector<std::uint32_t>(65536, 0);
    std::vector<std::uint32_t> page = std::vector<std::uint32_t>(4096, 0);
    span_fixture()
    {
        for (int v = 0; v < 256; ++v)
            texels[v] = static_cast<std::uint8_t>(v);
        for (int i = 0; i < 65536; ++i)
            shade[i] = static_cast<std::uint32_t>((i & 255) * 0x0101);
        for (int i = 0; i < 4096; ++i)
            page[i] = static_cast<std::uint32_t>(0x100 | (i * 7 & 255));  // the high byte must not reach the pixel
    }
    rast_span span(std::uint8_t* dst, int count, int phase, int odd_tail, int first_sample)
    {
        rast_span s;
        s.dst = dst;
        s.count = count;
        s.phase = phase;
        s.odd_tail = odd_tail;
        s.v = static_cast<std::uint32_t>(first_sample * 256 + 16);  // texel column = sample index
        s.dv = 256;
        s.texels = texels.data();
        s.mask = 0xFFFF;
        s.shade = shade.data();
        s.blend_page = page.data();
        return s;
    }
};

// The half fillers write one sample to each pixel pair, the second pixel of
// a pair cut at the left takes its pair's sample, and a span's odd last
// pixel takes the sample one pixel before it (one step back from the first
// pixel of a one-pixel span).
TEST_F(RastSpans, HalfFillersSampleOncePerPair)
{
    struct sample_case {
        int count, phase, odd_tail, first_sample;
        std::vector<int> expected;  // texel (= sample index) per pixel
    };
    const sample_case cases[] = {
        {4, 0, 0, 10, {10, 10, 12, 12}},
        {5, 0, 1, 10, {10, 10, 12, 12, 13}},       // odd span: last pixel one step back
        {1, 0, 1, 10, {9}},                        // one-pixel span
        {4, 1, 0, 10, {10, 12, 12, 14}},           // starts on the second pixel of a pair
        {4, 1, 1, 10, {10, 12, 12, 13}},           // both ends
        {3, 0, 0, 10, {10, 10, 12}},               // cut on the right inside a pair
    };
    span_fixture fx;
    for (const sample_case& c : cases) {
        std::vector<std::uint8_t> row(16, 0xEE);
        span_affine_opaque_half(fx.span(row.data() + 2, c.count, c.phase, c.odd_tail, c.first_sample));
        for (int k = 0; k < c.count; ++k)
            EXPECT_EQ(row[2 + k], c.expected[k]) << "count " << c.count << " phase " << c.phase << " pixel " << k;
        EXPECT_EQ(row[1], 0xEE);
        EXPECT_EQ(row[2 + c.count], 0xEE);
    }
}

// Keyed fillers leave texel 0 out; blend fillers look a translucent texel
// up in the blend page by its level and the pixel below it, writing the
// entry's low byte, and shade every other texel.
TEST_F(RastSpans, KeyedAndTranslucentTexels)
{
    span_fixture fx;
    std::vector<std::uint8_t> row(8, 0x40);

    span_affine_keyed_full(fx.span(row.data(), 1, 0, 0, 0));  // texel 0
    EXPECT_EQ(row[0], 0x40);
    span_affine_keyed_full(fx.span(row.data(), 1, 0, 0, 7));
    EXPECT_EQ(row[0], 7);

    row.assign(8, 0x40);
    span_affine_blend_half(fx.span(row.data(), 2, 0, 0, 0xE5));
    EXPECT_EQ(row[0], fx.page[5 * 256 + 0x40] & 0xFF);
    EXPECT_EQ(row[1], fx.page[5 * 256 + 0x40] & 0xFF);
    span_affine_blend_half(fx.span(row.data() + 2, 2, 0, 0, 0xDF));  // below 0xE0: shaded
    EXPECT_EQ(row[2], 0xDF);

    // 16-bit pairs take both halves of the entry.
    std::vector<std::uint16_t> row16(4, 0);
    fx.shade[0x33] = 0x1234'5678;
    span_affine16_opaque_half(fx.span(reinterpret_cast<std::uint8_t*>(row16.data()), 2, 0, 0, 0x33));
    EXPECT_EQ(row16[0], 0x5678);
    EXPECT_EQ(row16[1], 0x1234);
}

// A light of 1.2 is drawn at the family's limit: 0.97 for triangles of the
// affine family (level 248), 0.9999 for the perspective family's triangles
// (255) and 0.95 for its larger polygons (243). The clamped light and the
// light x 65536 are written back into the vertices.
TEST_F(RastRules, LightsClampByFamily)
{
    rast_test::install_tables(8);
    rast_test::texture tex;
    const raster_material m = tex.material(0);
    frame f(16, 16, 8);
    f.make_current();

    auto quad = [] {
        return std::array<clip_vertex, 4>{vertex(1, 1, 0, 0, 1.2f), vertex(9, 1, 8, 0, 0.5f),
                                          vertex(9, 9, 8, 8, 0.95f), vertex(1, 9, 0, 8, 0.2f)};
    };
    auto q = quad();
    clip_vertex* p[4] = {&q[0], &q[1], &q[2], &q[3]};
    rast_draw_triangle(p, 3, &m);
    EXPECT_EQ(q[0].light[0], 0.97f);
    EXPECT_EQ(q[0].light_fixed >> 8, 248);
    EXPECT_EQ(q[1].light[0], 0.5f);
    EXPECT_EQ(q[1].light_fixed, 32768);

    q = quad();
    rast_polygon(p, 3, &m);
    EXPECT_EQ(q[0].light[0], 0.9999f);
    EXPECT_EQ(q[0].light_fixed >> 8, 255);

    q = quad();
    rast_polygon(p, 4, &m);
    EXPECT_EQ(q[0].light[0], 0.95f);
    EXPECT_EQ(q[0].light_fixed >> 8, 243);
    EXPECT_EQ(q[2].light[0], 0.95f);  // at the limit counts as past it
    EXPECT_EQ(f.damaged_guard(), 0);
}

TEST_F(RastRules, ScreenStateAndReciprocals)
{
    rast_set_screen(320.0f, 200.0f);
    const rast_settings s = rast_get_settings();
    EXPECT_EQ(s.screen_width, 320);
    EXPECT_EQ(s.half_width, 160);
    EXPECT_EQ(s.centre_x, 159.0f);
    EXPECT_EQ(s.centre_y, 99.0f);
    rast_set_screen(640.0f, 480.0f);

    recip_table_build();
    EXPECT_EQ(recip_table[0], 1.0f);
    EXPECT_EQ(recip_table[1023], static_cast<float>(1.0 / 1023.0));

    rast_set_globals(16, 8, 1);
    EXPECT_EQ(rast_get_settings().span_run, 16);
    EXPECT_EQ(rast_get_settings().edge_run, 8);
    EXPECT_EQ(rast_get_settings().full_res, 1);
    rast_set_globals(rast_default_span_run, rast_default_edge_run, 0);
}

// Without a frame, a material or texels nothing is drawn and nothing fails.
TEST_F(RastRules, NothingToDrawWith)
{
    rast_test::install_tables(8);
    rast_test::texture tex;
    raster_material m = tex.material(0);
    clip_vertex tri[3] = {vertex(1, 1, 0, 0, 0.5f), vertex(30, 2, 8, 0, 0.5f), vertex(5, 20, 8, 8, 0.5f)};
    clip_vertex* p[3] = {&tri[0], &tri[1], &tri[2]};
    frame f(32, 24, 8), untouched(32, 24, 8);
    f.make_current();
    rast_draw_triangle(p, 3, nullptr);
    rast_polygon(p, 3, nullptr);
    m.texels = nullptr;
    rast_draw_triangle(p, 3, &m);
    rast_polygon(p, 2, &m);
    EXPECT_EQ(rast_test::first_difference(f, untouched), "");
    rast_set_screen(32.0f, 24.0f, rast_frame{});
    m = tex.material(0);
    rast_draw_triangle(p, 3, &m);
    rast_polygon(p, 3, &m);
    EXPECT_EQ(rast_test::first_difference(f, untouched), "");
}

} // namespace
