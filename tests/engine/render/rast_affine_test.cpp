#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/render/rast.h"
#include "tests/engine/render/rast_test_fixture.h"
#include "tests/support/fp_traps.h"

namespace {

using RastAffine = rast_test::drawing;

using rast_test::frame;
using rast_test::vertex;

using triangle = std::array<clip_vertex, 3>;

// Triangles that cover the cases of the fill rules: a large one with lights
// past the clamp, one hanging over three sides of the screen, a sliver, one
// with texture coordinates far from the origin (which wrap) and one whose
// middle vertex lies on its long edge.
std::vector<triangle> scene()
{
    return {
        {vertex(6.3f, 2.2f, 0, 0, 0.2f), vertex(74.6f, 14.4f, 40, 10, 0.9f), vertex(18.2f, 55.7f, 12, 60, 1.3f)},
        {vertex(-25.5f, 20.3f, 5, 70, 0.6f), vertex(50.2f, 75.8f, 80, 2, 0.5f), vertex(98.1f, 38.6f, 20, 20, 0.75f)},
        {vertex(30.4f, 5.1f, 3, 3, 0.8f), vertex(33.9f, 58.2f, 60, 9, 0.4f), vertex(31.0f, 40.0f, 44, 30, 0.6f)},
        {vertex(44.0f, 30.5f, 250, -300, 0.3f), vertex(79.5f, 58.0f, 290, -260, 0.96f), vertex(60.0f, 59.4f, 260, -250, 0.5f)},
        {vertex(2.0f, 40.0f, 0, 0, 0.5f), vertex(12.0f, 50.0f, 10, 10, 0.5f), vertex(22.0f, 60.0f, 20, 20, 0.5f)},
    };
}

// ---- The affine rules, pixel by pixel ----

std::int64_t floor_div(std::int64_t a, std::int64_t b)
{
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

struct ref_vertex {
    std::int64_t x, row, u, v, l;
};

struct ref_values {
    std::int64_t x, u, v, l;
};

// The value of edge a -> b on `row`: a's value plus whole steps per row.
ref_values on_edge(const ref_vertex& a, const ref_vertex& b, std::int64_t row)
{
    const std::int64_t rows = b.row - a.row;
    auto step = [rows](std::int64_t d) { return rows ? static_cast<std::int64_t>(std::trunc(double(d) / double(rows))) : 0; };
    const std::int64_t r = row - a.row;
    return {a.x + r * step(b.x - a.x), a.u + r * step(b.u - a.u), a.v + r * step(b.v - a.v), a.l + r * step(b.l - a.l)};
}

void reference_affine(frame& f, triangle tri, const raster_material& m, bool full_res)
{
    ref_vertex rv[3];
    for (int i = 0; i < 3; ++i) {
        float light = tri[i].light[0] >= 0.97f ? 0.97f : tri[i].light[0];
        rv[i] = {static_cast<std::int64_t>(std::trunc(double(tri[i].sx) * 65536.0)),
                 static_cast<std::int64_t>(std::floor(double(tri[i].sy) + 0.5)),
                 static_cast<std::int64_t>(std::trunc(double(tri[i].u))),
                 static_cast<std::int64_t>(std::trunc(double(tri[i].v))),
                 static_cast<std::int64_t>(std::trunc(double(light) * 65536.0))};
    }
    // Stable order by screen y.
    int idx[3] = {0, 1, 2};
    for (int pass = 0; pass < 2; ++pass)
        for (int i = 0; i < 2; ++i)
            if (tri[idx[i + 1]].sy < tri[idx[i]].sy)
                std::swap(idx[i], idx[i + 1]);
    const ref_vertex t = rv[idx[0]], mid = rv[idx[1]], b = rv[idx[2]];

    const bool blend = f.depth == 8 && m.fill_mode == 9;
    const bool keyed = m.fill_mode == 6;
    const bool half = blend || !full_res;

    const ref_values long_mid = on_edge(t, b, mid.row);
    const std::int64_t dx = long_mid.x - mid.x;
    auto pixel_step = [dx](std::int64_t change) {
        if (dx == 0)
            return std::int64_t{0};
        const std::int64_t pair = static_cast<std::int64_t>(std::trunc(2.0 * double(change) * 65536.0 / double(dx)));
        return floor_div(pair, 2);
    };
    const std::int64_t du = floor_div(pixel_step(long_mid.u - mid.u), 256);
    const std::int64_t dv = floor_div(pixel_step(long_mid.v - mid.v), 256);
    const std::int64_t dl = pixel_step(long_mid.l - mid.l);
    const bool long_left = long_mid.x < mid.x;

    for (std::int64_t y = t.row; y < b.row; ++y) {
        if (y < 0 || y >= f.height)
            continue;
        const ref_values lng = on_edge(t, b, y);
        const ref_values sht = y < mid.row ? on_edge(t, mid, y) : on_edge(mid, b, y);
        const ref_values& left = long_left ? lng : sht;
        const ref_values& right = long_left ? sht : lng;
        const std::int64_t xl = floor_div(left.x, 65536);
        const std::int64_t n = floor_div(right.x, 65536) - xl + (blend ? 0 : 1);
        for (int x = 0; x < f.width; ++x) {
            const std::int64_t j = x - xl;
            if (j < 0 || j >= n)
                continue;
            std::int64_t s = j;
            int byte = 0;
            if (half) {
                if ((n & 1) && j == n - 1) {
                    s = n - 2;
                } else {
                    s = j - (j & 1);
                    byte = static_cast<int>(j & 1);
                }
            }
            const std::uint32_t u8 = static_cast<std::uint32_t>(floor_div(left.u, 256) + s * du);
            const std::uint32_t v8 = static_cast<std::uint32_t>(floor_div(left.v, 256) + s * dv);
            const std::uint32_t l = static_cast<std::uint32_t>(left.l + s * dl);
            const std::uint32_t texel = m.texels[(((u8 >> 8) & 255) * 256 + ((v8 >> 8) & 255)) & m.texture_mask];
            if (keyed && texel == 0)
                continue;
            std::uint32_t out;
            if (blend && texel >= 0xE0) {
                out = blend_pages[m.blend_page][(texel & 15) * 256 + f.get(x, static_cast<int>(y))];
                byte = 0;
            } else {
                out = shade_table[((l >> 8) & 255) * 256 + texel];
            }
            f.set(x, static_cast<int>(y), out >> (byte * (f.depth == 16 ? 16 : 8)));
        }
    }
}

void draw(frame& f, const std::vector<triangle>& tris, const raster_material& m)
{
    f.make_current();
    for (triangle tri : tris) {
        clip_vertex* p[3] = {&tri[0], &tri[1], &tri[2]};
        if (f.depth == 16)
            rast_draw_triangle_alt(p, 3, &m);
        else
            rast_draw_triangle(p, 3, &m);
    }
}

using rast_test::filler_case;

class AffineFillers : public rast_test::drawing_with<filler_case> {};

// Every affine filler draws the scene exactly as the rules say, pixel for
// pixel, inside the screen and nowhere else; the rules' picture is the
// checked-in golden one.
TEST_P(AffineFillers, DrawTheRulesPictureExactly)
{
    const filler_case& c = GetParam();
    torvane_test::FpTraps traps;
    rast_test::install_tables(c.depth);
    rast_test::texture tex;
    const raster_material m = tex.material(c.mode);
    rast_set_globals(4, 2, c.full_res);

    frame drawn(80, 60, c.depth);
    draw(drawn, scene(), m);
    frame expected(80, 60, c.depth);
    for (const triangle& tri : scene())
        reference_affine(expected, tri, m, c.full_res != 0);

    EXPECT_EQ(rast_test::first_difference(drawn, expected), "");
    EXPECT_EQ(drawn.damaged_guard(), 0);
    rast_test::expect_golden(std::string("affine_") + c.name, expected.image());
}

INSTANTIATE_TEST_SUITE_P(Rast, AffineFillers,
                         ::testing::ValuesIn(rast_test::filler_cases()), rast_test::filler_case_name);

// Translucent materials blend at half resolution whatever the switch says
// on 8-bit screens, and draw opaque on 16-bit ones, which have no blend
// pages.
TEST_F(RastAffine, TranslucentMaterialsTakeTheirScreensFiller)
{
    rast_test::texture tex;
    for (int depth : {8, 16}) {
        rast_test::install_tables(depth);
        frame translucent(80, 60, depth), other(80, 60, depth);
        rast_set_globals(4, 2, 1);
        draw(translucent, scene(), tex.material(9));
        rast_set_globals(4, 2, depth == 16 ? 1 : 0);
        draw(other, scene(), tex.material(depth == 16 ? 0 : 9));
        EXPECT_EQ(rast_test::first_difference(translucent, other), "") << depth << "-bit";
    }
}

// A triangle whose vertices round to one row draws nothing, however wide.
TEST_F(RastAffine, TriangleOnOneRowDrawsNothing)
{
    rast_test::install_tables(8);
    rast_test::texture tex;
    const raster_material m = tex.material(0);
    frame f(40, 30, 8), untouched(40, 30, 8);
    draw(f, {{vertex(1, 10.2f, 0, 0, 0.5f), vertex(39, 9.6f, 9, 9, 0.5f), vertex(20, 10.4f, 3, 3, 0.5f)}}, m);
    EXPECT_EQ(rast_test::first_difference(f, untouched), "");
}

// Both triangle entries draw by the frame's depth, and the option byte
// tells which entry the frame is meant for.
TEST_F(RastAffine, EntriesFollowTheFramesDepth)
{
    rast_test::texture tex;
    const raster_material m = tex.material(0);
    for (int depth : {8, 16}) {
        rast_test::install_tables(depth);
        frame a(40, 30, depth), b(40, 30, depth);
        triangle tri = {vertex(2, 2, 0, 0, 0.5f), vertex(38, 6, 30, 4, 0.5f), vertex(10, 28, 5, 40, 0.5f)};
        clip_vertex* p[3] = {&tri[0], &tri[1], &tri[2]};
        a.make_current();
        EXPECT_EQ(rast_option_byte(), depth == 16 ? 1 : 0);
        rast_draw_triangle(p, 3, &m);
        b.make_current();
        rast_draw_triangle_alt(p, 3, &m);
        EXPECT_EQ(rast_test::first_difference(a, b), "");
        EXPECT_EQ(a.damaged_guard(), 0);
    }
}

} // namespace
