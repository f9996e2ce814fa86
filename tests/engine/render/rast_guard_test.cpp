#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "engine/render/rast.h"
#include "tests/engine/render/rast_test_fixture.h"
#include "tests/support/fp_traps.h"

namespace {

using rast_test::frame;

// Random polygons of every kind the rasteriser could be handed by mistake:
// ordinary ones, ones far outside the screen, huge coordinates, values that
// are not numbers, zero-area and one-point polygons, slivers; with random
// lights, texture coordinates, depths, fill modes, blend pages, masks and
// settings.
class polygon_source {
public:
    explicit polygon_source(std::uint32_t seed) : rng_(seed) {}

    int pick(int n) { return static_cast<int>(rng_() % static_cast<std::uint32_t>(n)); }
    float uniform(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng_); }

    float special()
    {
        const float values[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                                -std::numeric_limits<float>::infinity(), std::numeric_limits<float>::max(),
                                -std::numeric_limits<float>::max(), 0.0f, -0.0f, 1e-30f, 16777216.5f, -16777217.0f};
        return values[pick(10)];
    }

    // A screen coordinate for a frame of `size` pixels.
    float coordinate(float size)
    {
        switch (pick(10)) {
        case 0: return uniform(-1e7f, 1e7f);
        case 1: return uniform(-1e30f, 1e30f);
        case 2: return special();
        case 3: return uniform(-3 * size, 4 * size);
        case 4: return std::floor(uniform(-2, size + 2)) + 0.5f;  // on a rounding boundary
        default: return uniform(-0.2f * size, 1.2f * size);
        }
    }

    float value(float lo, float hi) { return pick(8) == 0 ? special() : uniform(lo, hi); }

    std::vector<clip_vertex> polygon(int count, float width, float height)
    {
        std::vector<clip_vertex> p(static_cast<std::size_t>(count));
        const int shape = pick(6);
        for (int i = 0; i < count; ++i) {
            clip_vertex& v = p[static_cast<std::size_t>(i)];
            v = rast_test::vertex(coordinate(width), coordinate(height), 0, 0, 0);
            v.u = value(-1e12f, 1e12f);
            v.v = value(-1e7f, 1e7f);
            v.w = value(-2.0f, 50.0f);
            v.light[0] = value(-2.0f, 3.0f);
            if (shape == 0 && i > 0) {  // every vertex on one point
                v.sx = p[0].sx;
                v.sy = p[0].sy;
            } else if (shape == 1 && i > 1) {  // on one line
                v.sx = p[0].sx + (p[1].sx - p[0].sx) * static_cast<float>(i);
                v.sy = p[0].sy + (p[1].sy - p[0].sy) * static_cast<float>(i);
            } else if (shape == 2 && i > 0) {  // a sliver under a pixel wide
                v.sx = p[0].sx + uniform(-0.9f, 0.9f);
            }
        }
        return p;
    }

private:
    std::mt19937 rng_;
};

// Thousands of such polygons through both families never write outside the
// frame they were given: the guard band around it stays as it was, also
// when the screen is said to be larger than the frame, and no division by
// zero or invalid operation happens (traps are on).
TEST(RastGuard, RandomAndDegeneratePolygonsStayInsideTheFrame)
{
    rast_test::texture tex;
    polygon_source src(20261210);
    const int span_runs[] = {-3, 0, 1, 2, 3, 4, 7, 16, 32, 1000000};
    const std::int32_t modes[] = {0, 6, 9, 12345, -1};

    int drew = 0;
    for (int batch = 0; batch < 60; ++batch) {
        const int depth = batch % 2 ? 16 : 8;
        rast_test::install_tables(depth);
        frame f(1 + src.pick(97), 1 + src.pick(61), depth);
        // The screen may be said to be larger (or smaller) than the frame.
        const float screen_w = src.pick(3) == 0 ? 2000.0f : static_cast<float>(f.width);
        const float screen_h = src.pick(3) == 0 ? 1500.0f : static_cast<float>(f.height - src.pick(2));
        rast_set_screen(screen_w, screen_h, f.view());

        for (int i = 0; i < 60; ++i) {
            rast_set_globals(span_runs[src.pick(10)], span_runs[src.pick(10)], src.pick(2));
            raster_material m = tex.material(modes[src.pick(5)], src.pick(4) == 0 ? -7 : src.pick(40));
            m.texture_mask = src.pick(2) ? 0x3F3F : static_cast<std::uint32_t>(src.pick(1 << 30)) * 4u + 3u;

            // The test's own arithmetic on these values runs untrapped.
            std::vector<clip_vertex> tri = src.polygon(3, screen_w, screen_h);
            clip_vertex* p3[3] = {&tri[0], &tri[1], &tri[2]};
            const bool alt = src.pick(2);
            const int count = src.pick(10) == 0 ? 70 : 3 + src.pick(10);
            std::vector<clip_vertex> poly = src.polygon(count, screen_w, screen_h);
            std::vector<clip_vertex*> pp;
            for (clip_vertex& v : poly)
                pp.push_back(&v);

            torvane_test::FpTraps traps;
            if (alt)
                rast_draw_triangle_alt(p3, 3, &m);
            else
                rast_draw_triangle(p3, 3, &m);
            rast_polygon(pp.data(), count, &m);
        }
        ASSERT_EQ(f.damaged_guard(), 0) << "batch " << batch;
        frame blank(f.width, f.height, depth);
        drew += !rast_test::first_difference(f, blank).empty();
    }
    // Most batches hold polygons that reach the screen.
    EXPECT_GT(drew, 40);
    rast_set_globals(rast_default_span_run, rast_default_edge_run, 0);
}

// A polygon hanging far over every side of the screen fills the whole
// screen and nothing else.
TEST(RastGuard, PolygonLargerThanTheScreenFillsItExactly)
{
    rast_test::install_tables(8);
    rast_test::texture tex;
    const raster_material m = tex.material(0);
    for (int family = 0; family < 2; ++family) {
        frame f(64, 40, 8);
        f.make_current();
        std::vector<clip_vertex> quad = {rast_test::vertex(-5000, -3000, 0, 0, 0.5f), rast_test::vertex(6000, -3500, 9, 0, 0.5f),
                                         rast_test::vertex(6500, 4000, 9, 9, 0.5f), rast_test::vertex(-4000, 5000, 0, 9, 0.5f)};
        clip_vertex* p[4] = {&quad[0], &quad[1], &quad[2], &quad[3]};
        if (family == 0) {
            rast_polygon(p, 4, &m);
        } else {
            clip_vertex* second[3] = {&quad[0], &quad[2], &quad[3]};
            rast_draw_triangle(p, 3, &m);
            rast_draw_triangle(second, 3, &m);
        }
        frame blank(64, 40, 8);
        int untouched = 0;
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 64; ++x)
                untouched += f.get(x, y) == blank.get(x, y);
        EXPECT_LT(untouched, 64 * 40 / 20) << (family ? "affine" : "perspective");
        EXPECT_EQ(f.damaged_guard(), 0);
    }
}

} // namespace
