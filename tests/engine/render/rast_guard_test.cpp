#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/render/rast.h"
#include "platform/fault_seam.h"
#include "tests/engine/render/rast_test_fixture.h"
#include "tests/support/fp_traps.h"

namespace {

using RastGuard = rast_test::drawing;
using RastThreads = rast_test::drawing;

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
TEST_F(RastGuard, RandomAndDegeneratePolygonsStayInsideTheFrame)
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
TEST_F(RastGuard, PolygonLargerThanTheScreenFillsItExactly)
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

// The perspective family covers the screen to its last column and row at
// every span run, whole and at half resolution, and with a width that is
// no multiple of the run: a polygon over the whole screen leaves no pixel
// of its background (drawn at two light levels, so that no texel can
// happen to equal the background in both).
TEST_F(RastGuard, ThePerspectiveFamilyReachesTheLastColumnAndRowAtEverySpanRun)
{
    for (int depth : {8, 16}) {
        rast_test::install_tables(depth);
        rast_test::texture tex;
        const raster_material m = tex.material(0);
        for (int full_res : {0, 1})
            for (int span_run : {1, 2, 4, 8, 16}) {
                SCOPED_TRACE("depth " + std::to_string(depth) + ", full resolution " + std::to_string(full_res) +
                             ", span run " + std::to_string(span_run));
                rast_set_globals(span_run, 8, full_res);
                const int w = 61, h = 37;
                frame lit[2] = {frame(w, h, depth), frame(w, h, depth)};
                for (int k = 0; k < 2; ++k) {
                    lit[k].make_current();
                    const float light = k ? 0.9f : 0.4f;
                    std::vector<clip_vertex> quad = {rast_test::vertex(-300, -200, 0, 0, light, 3),
                                                     rast_test::vertex(400, -250, 40, 0, light, 1),
                                                     rast_test::vertex(450, 300, 40, 40, light, 1),
                                                     rast_test::vertex(-250, 350, 0, 40, light, 3)};
                    clip_vertex* p[4] = {&quad[0], &quad[1], &quad[2], &quad[3]};
                    rast_polygon(p, 4, &m);
                    EXPECT_EQ(lit[k].damaged_guard(), 0);
                }
                const frame blank(w, h, depth);
                std::string left;
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x)
                        if (lit[0].get(x, y) == blank.background(x, y) && lit[1].get(x, y) == blank.background(x, y) &&
                            left.size() < 80)
                            left += "(" + std::to_string(x) + ", " + std::to_string(y) + ") ";
                EXPECT_EQ(left, "") << "pixels left as they were";
            }
    }
    rast_set_globals(rast_default_span_run, rast_default_edge_run, 0);
}

// ---- Several threads ----

// A scene for one frame: polygons of both families in drawing order, with
// their materials; mostly ordinary overlapping ones of every size (blended
// ones among them, whose pixels depend on the order), and some of the
// random and degenerate ones above.
struct scene_item {
    std::vector<clip_vertex> vertices;
    raster_material material;
    bool perspective;
};

std::vector<scene_item> mixed_scene(polygon_source& src, const rast_test::texture& tex, float width, float height)
{
    const std::int32_t modes[] = {0, 6, 9};
    std::vector<scene_item> scene;
    for (int i = 0; i < 1500; ++i) {
        scene_item item;
        item.material = tex.material(modes[src.pick(3)], src.pick(16));
        item.perspective = src.pick(3) == 0;
        const int count = item.perspective ? 3 + src.pick(4) : 3;
        if (src.pick(10) == 0) {
            item.vertices = src.polygon(count, width, height);
        } else {
            // Small polygons mostly, some as large as the screen.
            const float size = src.pick(8) == 0 ? src.uniform(20, 1.5f * width) : src.uniform(2, 14);
            const float cx = src.uniform(-10, width + 10), cy = src.uniform(-10, height + 10);
            for (int k = 0; k < count; ++k) {
                const float angle = 6.2831853f * (static_cast<float>(k) + src.uniform(0, 0.8f)) / static_cast<float>(count);
                item.vertices.push_back(rast_test::vertex(cx + size * std::cos(angle), cy + size * std::sin(angle),
                                                          src.uniform(-40, 40), src.uniform(-40, 40),
                                                          src.uniform(0, 1.1f), src.uniform(0.5f, 4)));
            }
        }
        scene.push_back(std::move(item));
    }
    return scene;
}

void draw_scene(std::vector<scene_item> scene)
{
    for (scene_item& item : scene) {
        std::vector<clip_vertex*> p;
        for (clip_vertex& v : item.vertices)
            p.push_back(&v);
        if (item.perspective)
            rast_polygon(p.data(), static_cast<int>(p.size()), &item.material);
        else
            rast_draw_triangle(p.data(), 3, &item.material);
    }
}

// The picture does not depend on the number of threads that draw it (nor on
// the bands that come with it): every filler, both depths, and a screen said
// to be smaller than the frame give the same bytes, guard band included,
// with 1, 2, 3, 5 and 8 threads.
TEST_F(RastThreads, PictureIsTheSameForAnyThreadCount)
{
    rast_test::texture tex;
    polygon_source src(7010);
    struct setting {
        int depth, full_res, span_run, width, height;
        float screen_w, screen_h;
    };
    const setting settings[] = {{8, 1, 16, 160, 100, 160, 100}, {8, 0, 32, 123, 77, 123, 77},
                                {16, 1, 4, 97, 61, 97, 61}, {16, 0, 16, 160, 100, 150, 90}};
    for (const setting& set : settings) {
        rast_test::install_tables(set.depth);
        const std::vector<scene_item> scene = mixed_scene(src, tex, set.screen_w, set.screen_h);
        std::vector<std::uint8_t> one_thread;
        for (int threads : {1, 2, 3, 5, 8}) {
            rast_set_threads(threads);
            frame f(set.width, set.height, set.depth);
            rast_set_globals(set.span_run, set.span_run / 2, set.full_res);
            rast_set_screen(set.screen_w, set.screen_h, f.view());
            draw_scene(scene);
            rast_flush();
            if (threads == 1) {
                one_thread = f.bytes;
                ASSERT_EQ(f.damaged_guard(), 0);
                frame blank(set.width, set.height, set.depth);
                ASSERT_FALSE(rast_test::first_difference(f, blank).empty());
            } else {
                EXPECT_TRUE(f.bytes == one_thread) << set.depth << "-bit, full " << set.full_res << ", " << threads
                                                   << " threads (" << rast_threads() << " started)";
            }
        }
    }
    rast_set_threads(1);
    rast_set_globals(rast_default_span_run, rast_default_edge_run, 0);
}

// With several threads an entry records its polygon: the frame is unchanged
// until the flush, the caller's lights are clamped at once and its vertices
// may be changed right away; changing the frame draws what was recorded into
// the frame it was recorded for.
TEST_F(RastThreads, PolygonsWaitForTheFlush)
{
    rast_test::install_tables(8);
    rast_test::texture tex;
    const raster_material m = tex.material(0);
    auto triangle = [] {
        return std::vector<clip_vertex>{rast_test::vertex(2, 3, 0, 0, 1.5f), rast_test::vertex(40, 8, 30, 0, 0.5f),
                                        rast_test::vertex(12, 30, 10, 30, 0.5f)};
    };

    frame expected(48, 32, 8);
    expected.make_current();
    std::vector<clip_vertex> t = triangle();
    clip_vertex* p[3] = {&t[0], &t[1], &t[2]};
    rast_draw_triangle(p, 3, &m);
    t[0].light[0] = 1.5f;
    rast_polygon(p, 3, &m);

    rast_set_threads(4);
    frame f(48, 32, 8), other(48, 32, 8);
    f.make_current();
    std::vector<clip_vertex> q = triangle();
    clip_vertex* pq[3] = {&q[0], &q[1], &q[2]};
    rast_draw_triangle(pq, 3, &m);
    EXPECT_FLOAT_EQ(q[0].light[0], 0.97f);
    EXPECT_EQ(q[0].light_fixed, static_cast<std::int32_t>(0.97f * 65536.0));
    q[0].light[0] = 1.5f;  // read again by the next entry, which clamps it its own way
    rast_polygon(pq, 3, &m);
    for (clip_vertex& v : q)
        v.sx = -1000;  // recorded already: moving them changes nothing
    frame blank(48, 32, 8);
    EXPECT_EQ(rast_test::first_difference(f, blank), "") << "drawn before the flush";

    // A new frame draws the recorded polygons into the old one first.
    rast_set_screen(48, 32, other.view());
    EXPECT_EQ(rast_test::first_difference(f, expected), "");
    EXPECT_EQ(rast_test::first_difference(other, blank), "");
    rast_set_threads(1);
}

// Threads the system refuses leave fewer to draw, and the picture is the
// same; with none started the entries draw at once again.
TEST_F(RastThreads, RefusedThreadsLeaveFewerToDraw)
{
    rast_test::texture tex;
    polygon_source src(99);
    rast_test::install_tables(8);
    const std::vector<scene_item> scene = mixed_scene(src, tex, 96, 64);
    rast_set_globals(16, 8, 1);
    frame expected(96, 64, 8);
    expected.make_current();
    draw_scene(scene);

    platform::fail_after(platform::Fault::ThreadCreate, 1);
    rast_set_threads(4);
    platform::clear_faults();
    EXPECT_EQ(rast_threads(), 2);
    frame two(96, 64, 8);
    two.make_current();
    draw_scene(scene);
    rast_flush();
    EXPECT_EQ(rast_test::first_difference(two, expected), "");

    rast_set_threads(1);
    platform::fail_next(platform::Fault::ThreadCreate);
    rast_set_threads(4);
    platform::clear_faults();
    EXPECT_EQ(rast_threads(), 1);
    frame none(96, 64, 8);
    none.make_current();
    draw_scene(scene);  // drawn without a flush
    EXPECT_EQ(rast_test::first_difference(none, expected), "");
    rast_set_threads(1);
    rast_set_globals(rast_default_span_run, rast_default_edge_run, 0);
}

} // namespace
