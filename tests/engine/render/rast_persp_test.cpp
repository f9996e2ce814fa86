#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/render/rast.h"
#include "tests/engine/render/rast_test_fixture.h"
#include "tests/support/fp_traps.h"

namespace {

using RastPerspective = rast_test::drawing;

using rast_test::filler_case;
using rast_test::frame;
using rast_test::vertex;

using polygon = std::vector<clip_vertex>;

// A floor seen in depth (1/w from 1 to 1/4), a triangle over the top-left
// corner, and a five-sided polygon such as a clipper makes, over the right
// edge; lights run past the clamps.
std::vector<polygon> scene()
{
    return {
        {vertex(30, 5, 0, 0, 0.3f, 4), vertex(50, 5, 0, 63, 0.6f, 4), vertex(78, 58, 63, 63, 1.2f, 1),
         vertex(2, 58, 63, 0, 0.9f, 1)},
        {vertex(-15.5f, -10.2f, 5, 5, 0.4f, 1.5f), vertex(60.3f, 20.7f, 50, 0, 0.8f, 3),
         vertex(10.1f, 70.4f, 10, 60, 1.1f, 2)},
        {vertex(55, 25, 0, 0, 0.5f, 2), vertex(95, 30, 40, 0, 0.7f, 1), vertex(100, 50, 40, 30, 0.9f, 1),
         vertex(70, 59.5f, 10, 40, 0.6f, 2.5f), vertex(52, 45, 0, 20, 0.4f, 3)},
    };
}

// ---- The perspective rules, pixel by pixel ----

struct edge_values {
    double x, q, uq, vq, l;
};

// What one pixel of a polygon may show: the exact perspective-correct
// pixel, and whether a drawn pixel is within the stated tolerance of it (a
// texel at most one step from the exact one in u and in v, and a light level
// at most one step from it).
struct pixel_rule {
    bool covered = false;
    std::uint32_t exact = 0;
    std::vector<std::uint32_t> near;
    bool may_stay = false;  // a transparent texel is within reach
};

struct persp_reference {
    int reach;  // texels a drawn pixel may be from the exact one
    const raster_material& m;
    bool half;
    bool blend;
    bool keyed;
    std::vector<edge_values> v;
    std::int64_t top_row = 0, bottom_row = 0;
    std::vector<std::int64_t> rows;

    persp_reference(const polygon& poly, const raster_material& mat, int depth, bool full_res, int texel_reach)
        : reach(texel_reach), m(mat), half(!full_res || (depth == 8 && mat.fill_mode == 9)), blend(depth == 8 && mat.fill_mode == 9),
          keyed(mat.fill_mode == 6)
    {
        const float limit = poly.size() == 3 ? 0.9999f : 0.95f;
        int top = 0, bottom = 0;
        for (std::size_t i = 0; i < poly.size(); ++i) {
            const clip_vertex& c = poly[i];
            const float light = c.light[0] >= limit ? limit : c.light[0];
            const double q = 1.0 / c.w;
            v.push_back({c.sx, q, c.u * q, c.v * q, std::trunc(double(light) * 65536.0)});
            rows.push_back(static_cast<std::int64_t>(std::floor(c.sy)));
            if (c.sy < poly[top].sy)
                top = static_cast<int>(i);
            if (c.sy > poly[bottom].sy)
                bottom = static_cast<int>(i);
        }
        top_row = rows[top];
        bottom_row = rows[bottom];
    }

    // The row's left and right edge points: the crossing of every edge
    // that spans the row, stepping from its upper end by whole rows.
    bool row_ends(std::int64_t y, edge_values& left, edge_values& right) const
    {
        bool any = false;
        for (std::size_t i = 0; i < v.size(); ++i) {
            std::size_t a = i, b = (i + 1) % v.size();
            if (rows[b] < rows[a])
                std::swap(a, b);
            if (!(rows[a] <= y && y < rows[b]))
                continue;
            const double f = double(y - rows[a]) / double(rows[b] - rows[a]);
            const edge_values p{v[a].x + (v[b].x - v[a].x) * f, v[a].q + (v[b].q - v[a].q) * f,
                                v[a].uq + (v[b].uq - v[a].uq) * f, v[a].vq + (v[b].vq - v[a].vq) * f,
                                v[a].l + (v[b].l - v[a].l) * f};
            if (!any || p.x < left.x)
                left = p;
            if (!any || p.x > right.x)
                right = p;
            any = true;
        }
        return any;
    }

    std::uint32_t texel_pixel(std::uint32_t texel, int level, std::uint32_t below, int byte, int depth) const
    {
        if (blend && texel >= 0xE0)
            return blend_pages[m.blend_page][(texel & 15) * 256 + below] & 0xFF;
        return shade_table[(level & 255) * 256 + texel] >> (byte * (depth == 16 ? 16 : 8));
    }

    pixel_rule pixel(int x, std::int64_t y, std::uint32_t below, int depth) const
    {
        pixel_rule r;
        edge_values left{}, right{};
        if (y < top_row || y >= bottom_row || !row_ends(y, left, right))
            return r;
        const std::int64_t xl = static_cast<std::int64_t>(std::floor(left.x + 0.5));
        const std::int64_t xr = static_cast<std::int64_t>(std::floor(right.x + 0.5));
        const std::int64_t n = xr - xl + 1;
        const std::int64_t j = x - xl;
        if (j < 0 || j >= n)
            return r;
        const double inv = xr > xl ? 1.0 / double(xr - xl) : 1.0;
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
        const double q = left.q + double(s) * (right.q - left.q) * inv;
        const double u = (left.uq + double(s) * (right.uq - left.uq) * inv) / q;
        const double vv = (left.vq + double(s) * (right.vq - left.vq) * inv) / q;
        const std::int64_t l = static_cast<std::int64_t>(left.l) + s * static_cast<std::int64_t>(std::trunc((right.l - left.l) * inv));
        const int level = static_cast<int>((l >> 8) & 255);
        const std::int64_t tu = static_cast<std::int64_t>(std::floor(u / 65536.0));
        const std::int64_t tv = static_cast<std::int64_t>(std::floor(vv / 65536.0));
        auto texel = [this](std::int64_t a, std::int64_t b) {
            return static_cast<std::uint32_t>(m.texels[((a & 255) * 256 + (b & 255)) & m.texture_mask]);
        };
        r.covered = true;
        const std::uint32_t t = texel(tu, tv);
        r.exact = keyed && t == 0 ? below : texel_pixel(t, level, below, byte, depth);
        for (int du = -reach; du <= reach; ++du)
            for (int dv = -reach; dv <= reach; ++dv) {
                const std::uint32_t near = texel(tu + du, tv + dv);
                if (keyed && near == 0) {
                    r.may_stay = true;
                    continue;
                }
                for (int dl = -1; dl <= 1; ++dl)
                    r.near.push_back(texel_pixel(near, level + dl, below, byte, depth));
            }
        return r;
    }
};

struct comparison {
    int covered = 0;
    int inexact = 0;
    std::string fault;  // the first pixel outside the tolerance
};

std::uint32_t pixel_mask(int depth)
{
    return depth == 16 ? 0xFFFFu : 0xFFu;
}

// Draws the scene through rast_polygon into `drawn`, the exact rules into
// `expected`, and checks every drawn pixel against the rules.
comparison draw_and_compare(frame& drawn, frame& expected, const raster_material& m, bool full_res, int reach)
{
    comparison c;
    drawn.make_current();
    for (polygon poly : scene()) {
        const persp_reference ref(poly, m, drawn.depth, full_res, reach);
        frame before = drawn;
        std::vector<clip_vertex*> p;
        for (clip_vertex& cv : poly)
            p.push_back(&cv);
        rast_polygon(p.data(), static_cast<int>(p.size()), &m);
        for (int y = 0; y < drawn.height; ++y)
            for (int x = 0; x < drawn.width; ++x) {
                const pixel_rule exact = ref.pixel(x, y, expected.get(x, y), expected.depth);
                if (exact.covered)
                    expected.set(x, y, exact.exact);
                const std::uint32_t was = before.get(x, y), now = drawn.get(x, y);
                const pixel_rule r = ref.pixel(x, y, was, drawn.depth);
                bool ok = !r.covered ? now == was : false;
                if (r.covered) {
                    ++c.covered;
                    const std::uint32_t want = r.exact & pixel_mask(drawn.depth);
                    if (now != want)
                        ++c.inexact;
                    ok = now == want || (r.may_stay && now == was);
                    for (std::uint32_t n : r.near)
                        ok = ok || now == (n & pixel_mask(drawn.depth));
                }
                if (!ok && c.fault.empty())
                    c.fault = "(" + std::to_string(x) + ", " + std::to_string(y) + "): drew " + std::to_string(now) +
                              ", exact " + std::to_string(r.exact & pixel_mask(drawn.depth)) +
                              (r.covered ? "" : " (not covered)");
            }
    }
    return c;
}

class PerspectiveFillers : public rast_test::drawing_with<filler_case> {};

// Every perspective filler draws the scene within the tolerance of the
// exact perspective-correct picture: the same pixels covered, each within
// one texel in u and v and one light level of the exact pixel, at least 90 %
// of them exact, for runs of up to 8 pixels between exact divisions. Runs
// of 16 stray further between their exact ends where the perspective is
// steep (the scene's far edge packs three texels into a pixel): within three
// texels, at least 70 % exact. (Longer runs are for large screens, where a
// polygon's perspective changes less from pixel to pixel.) This checks the
// documented steps; the floor test below checks the picture against
// geometry, and its picture is the checked-in golden one.
TEST_P(PerspectiveFillers, DrawTheExactPictureWithinTolerance)
{
    const filler_case& c = GetParam();
    torvane_test::FpTraps traps;
    rast_test::install_tables(c.depth);
    rast_test::texture tex;
    const raster_material m = tex.material(c.mode);
    for (int span_run : {1, 2, 4, 8, 16}) {
        rast_set_globals(span_run, 8, c.full_res);
        const bool short_runs = span_run <= 8;
        frame drawn(80, 60, c.depth), expected(80, 60, c.depth);
        const comparison result = draw_and_compare(drawn, expected, m, c.full_res != 0, short_runs ? 1 : 3);
        const std::string context = "span run " + std::to_string(span_run) + ", " + std::to_string(result.inexact) +
                                    " of " + std::to_string(result.covered) + " inexact";
        EXPECT_EQ(result.fault, "") << context;
        EXPECT_GT(result.covered, 2000);
        EXPECT_LE(result.inexact * 100, result.covered * (short_runs ? 10 : 30)) << context;
        EXPECT_EQ(drawn.damaged_guard(), 0);
    }
    rast_set_globals(rast_default_span_run, rast_default_edge_run, 0);
}

INSTANTIATE_TEST_SUITE_P(Rast, PerspectiveFillers, ::testing::ValuesIn(rast_test::filler_cases()),
                         rast_test::filler_case_name);

// ---- A floor under a pinhole camera ----

// The eye 2 units above a flat floor, looking along it: the horizon on row
// 20, the centre column 40, a focal length of 60 pixels. The floor point
// (X, Z) is seen at (40 + 60 X / Z, 20 + 120 / Z) at depth Z, and carries
// the texel (3 (X + 4), 1.5 (Z - 2)), so the texel under a pixel is found
// by following the pixel's ray to the floor; nothing of the rasteriser's
// edges or spans is used.
struct pinhole_floor {
    static constexpr double cx = 40, cy = 20, focal = 60, eye = 2, ku = 3, kv = 1.5, x0 = -4, z0 = 2;

    static bool floor_at(double x, double y, double& X, double& Z)
    {
        if (y <= cy)
            return false;
        Z = focal * eye / (y - cy);
        X = (x - cx) * Z / focal;
        return true;
    }
    // The polygon corner seen at (sx, sy).
    static clip_vertex corner(double sx, double sy, float light)
    {
        double X = 0, Z = 0;
        floor_at(sx, sy, X, Z);
        return vertex(float(sx), float(sy), float(ku * (X - x0)), float(kv * (Z - z0)), light, float(Z));
    }
    static void texel_at(double x, double y, std::int64_t& tu, std::int64_t& tv)
    {
        double X = 0, Z = 0;
        floor_at(x, y, X, Z);
        tu = static_cast<std::int64_t>(std::floor(ku * (X - x0)));
        tv = static_cast<std::int64_t>(std::floor(kv * (Z - z0)));
    }
};

struct floor_polygon {
    std::vector<std::pair<double, double>> corners;  // screen points, rows whole
    float light;
    // Distance of (x, y) inside the polygon's edges (negative outside).
    double inside_by(double x, double y) const
    {
        double area = 0;
        for (std::size_t i = 0; i < corners.size(); ++i) {
            const auto& a = corners[i];
            const auto& b = corners[(i + 1) % corners.size()];
            area += a.first * b.second - b.first * a.second;
        }
        double d = 1e9;
        for (std::size_t i = 0; i < corners.size(); ++i) {
            const auto& a = corners[i];
            const auto& b = corners[(i + 1) % corners.size()];
            const double ex = b.first - a.first, ey = b.second - a.second;
            const double cross = ex * (y - a.second) - ey * (x - a.first);
            d = std::min(d, (area > 0 ? cross : -cross) / std::hypot(ex, ey));
        }
        return d;
    }
};

// A floor quad reaching past both sides of the screen's bottom, a triangle
// over its left edge and a five-sided polygon over its right edge, all on
// the floor, their corners on whole rows.
std::vector<floor_polygon> floor_scene()
{
    return {
        {{{28, 22}, {52, 22}, {84, 59}, {-4, 59}}, 0.5f},
        {{{-12, 30}, {60, 26}, {14, 70}}, 0.8f},
        {{{55, 33}, {95, 38}, {100, 50}, {70, 58}, {52, 45}}, 0.6f},
    };
}

struct floor_result {
    int covered = 0;   // pixels well inside a polygon
    int exact = 0;     // of them, showing the texel under the pixel's ray
    int worst = 0;     // the farthest texel (in u or v) a drawn pixel shows
    std::string fault; // the first pixel beyond every tolerance
};

// Draws the floor scene and follows each pixel's ray: a pixel at least one
// pixel inside a polygon must be drawn, one at least a pixel outside every
// polygon left alone (those between may be either: the rows and span ends
// are the fill rule's); a drawn pixel shows a texel near the one under its
// ray (half fillers: under the ray of its pair's other pixel), at the
// polygon's light. `expected` gets the ray's texel at every pixel inside.
floor_result draw_floor(frame& drawn, frame& expected, const raster_material& m, bool half)
{
    floor_result r;
    drawn.make_current();
    const bool blend = drawn.depth == 8 && m.fill_mode == 9, keyed = m.fill_mode == 6;
    const int shift = drawn.depth == 16 ? 16 : 8;
    const std::uint32_t mask = drawn.depth == 16 ? 0xFFFFu : 0xFFu;
    const auto texel = [&](std::int64_t u, std::int64_t v) {
        return static_cast<std::uint32_t>(m.texels[((u & 255) * 256 + (v & 255)) & m.texture_mask]);
    };
    const auto shade = [&](std::uint32_t t, int level, std::uint32_t below, int byte) {
        if (blend && t >= 0xE0)
            return blend_pages[m.blend_page][(t & 15) * 256 + below] & 0xFFu;
        return (shade_table[(level & 255) * 256 + t] >> (byte * shift)) & mask;
    };
    for (const floor_polygon& poly : floor_scene()) {
        std::vector<clip_vertex> corners;
        for (const auto& [sx, sy] : poly.corners)
            corners.push_back(pinhole_floor::corner(sx, sy, poly.light));
        std::vector<clip_vertex*> p;
        for (clip_vertex& c : corners)
            p.push_back(&c);
        frame before = drawn;
        rast_polygon(p.data(), static_cast<int>(p.size()), &m);
        const int level = static_cast<int>((static_cast<std::int64_t>(double(poly.light) * 65536.0) >> 8) & 255);
        for (int y = 0; y < drawn.height; ++y)
            for (int x = 0; x < drawn.width; ++x) {
                const double in = poly.inside_by(x, y);
                std::int64_t tu = 0, tv = 0;
                if (in > 0) {
                    pinhole_floor::texel_at(x, y, tu, tv);
                    const std::uint32_t below = expected.get(x, y);
                    const std::uint32_t t = texel(tu, tv);
                    expected.set(x, y, keyed && t == 0 ? below : shade(t, level, below, 0));
                }
                const std::uint32_t was = before.get(x, y), now = drawn.get(x, y);
                if (in <= -1) {
                    if (now != was && r.fault.empty())
                        r.fault = "(" + std::to_string(x) + ", " + std::to_string(y) + ") drawn outside";
                    continue;
                }
                if (in < 1 && now == was)
                    continue;
                // The nearest texel offset whose pixel the rasteriser drew.
                int best = 1000;
                for (int dx = half ? -1 : 0; dx <= (half ? 1 : 0); ++dx) {
                    std::int64_t ru = 0, rv = 0;
                    pinhole_floor::texel_at(x + dx, y, ru, rv);
                    for (int du = -4; du <= 4; ++du)
                        for (int dv = -4; dv <= 4; ++dv) {
                            const std::uint32_t t = texel(ru + du, rv + dv);
                            const int off = std::max(std::abs(du), std::abs(dv));
                            if (keyed && t == 0) {
                                if (now == was)
                                    best = std::min(best, off);
                                continue;
                            }
                            for (int byte = 0; byte <= (half ? 1 : 0); ++byte)
                                for (int dl = -1; dl <= 1; ++dl)
                                    if (now == shade(t, level + dl, was, byte))
                                        best = std::min(best, off);
                        }
                }
                if (in >= 1) {
                    ++r.covered;
                    const std::uint32_t t = texel(tu, tv);
                    r.exact += keyed && t == 0 ? now == was : now == shade(t, level, was, 0);
                }
                if (best == 1000) {
                    if (r.fault.empty())
                        r.fault = "(" + std::to_string(x) + ", " + std::to_string(y) + ") drew " + std::to_string(now) +
                                  ", no texel near its ray";
                    continue;
                }
                r.worst = std::max(r.worst, best);
            }
    }
    return r;
}

class PerspectiveFloor : public rast_test::drawing_with<filler_case> {};

// Against the floor's geometry every filler, at every span run, shows at
// every drawn pixel a texel at most one from the one under the pixel's ray
// (half fillers: under its own or a neighbour's ray), at the polygon's
// light within a level; at least 86 % of the pixels well inside are exact
// (80 % for half fillers, whose pairs share a sample). What is not exact
// is the span's sampling: a span's first pixel takes the values at the
// edge's crossing of the row rather than at its own centre, up to half a
// pixel to the side. The picture of the rays is the golden one.

TEST_P(PerspectiveFloor, EveryPixelShowsTheTexelUnderItsRay)
{
    const filler_case& c = GetParam();
    torvane_test::FpTraps traps;
    rast_test::install_tables(c.depth);
    rast_test::texture tex;
    const raster_material m = tex.material(c.mode);
    const bool half = c.full_res == 0 || (c.depth == 8 && c.mode == 9);
    for (int span_run : {1, 2, 4, 8, 16}) {
        rast_set_globals(span_run, 8, c.full_res);
        frame drawn(80, 60, c.depth), expected(80, 60, c.depth);
        const floor_result r = draw_floor(drawn, expected, m, half);
        const std::string context = "span run " + std::to_string(span_run) + ", " + std::to_string(r.exact) +
                                    " of " + std::to_string(r.covered) + " exact";
        EXPECT_EQ(r.fault, "") << context;
        EXPECT_LE(r.worst, 1) << context;
        EXPECT_GT(r.covered, 3000);
        EXPECT_GE(r.exact * 100, r.covered * (half ? 80 : 86)) << context;
        EXPECT_EQ(drawn.damaged_guard(), 0);
        if (span_run == rast_default_span_run)
            rast_test::expect_golden(std::string("persp_") + c.name, expected.image());
    }
    rast_set_globals(rast_default_span_run, rast_default_edge_run, 0);
}

INSTANTIATE_TEST_SUITE_P(Rast, PerspectiveFloor, ::testing::ValuesIn(rast_test::filler_cases()),
                         rast_test::filler_case_name);

// On a polygon parallel to the screen (one w for all vertices) the two
// families agree within a pixel: the same rows, span ends at most a pixel
// apart, and each pixel of the perspective picture found at most one pixel
// to the side in the affine one (the affine family starts a span at the
// edge's value truncated to the pixel, the perspective family rounds to
// the nearest pixel). The light is even, so that the comparison is of the
// texture mapping alone (the two families step lights by different
// gradients, which the families' own tests cover).
TEST_F(RastPerspective, AgreesWithAffineOnPolygonsParallelToTheScreen)
{
    rast_test::install_tables(8);
    rast_test::texture tex;
    const raster_material m = tex.material(0);
    rast_set_globals(16, 8, 1);
    for (float w : {1.0f, 3.5f}) {
        std::vector<clip_vertex> tri = {vertex(4, 3, 0, 0, 0.5f, w), vertex(75, 17, 60, 8, 0.5f, w),
                                        vertex(21, 56, 12, 62, 0.5f, w)};
        std::vector<clip_vertex> copy = tri;
        clip_vertex* p[3] = {&tri[0], &tri[1], &tri[2]};
        clip_vertex* pc[3] = {&copy[0], &copy[1], &copy[2]};
        frame affine(80, 60, 8), persp(80, 60, 8), blank(80, 60, 8);
        affine.make_current();
        rast_draw_triangle(p, 3, &m);
        persp.make_current();
        rast_polygon(pc, 3, &m);

        int both = 0, same = 0;
        for (int y = 0; y < 60; ++y) {
            int a_first = -1, a_last = -1, p_first = -1, p_last = -1;
            for (int x = 0; x < 80; ++x) {
                const bool a = affine.get(x, y) != blank.get(x, y);
                const bool pp = persp.get(x, y) != blank.get(x, y);
                if (a && a_first < 0)
                    a_first = x;
                if (a)
                    a_last = x;
                if (pp && p_first < 0)
                    p_first = x;
                if (pp)
                    p_last = x;
                if (a && pp) {
                    ++both;
                    const std::uint32_t got = persp.get(x, y);
                    same += got == affine.get(x, y) || (x > 0 && got == affine.get(x - 1, y)) ||
                            (x < 79 && got == affine.get(x + 1, y));
                }
            }
            EXPECT_EQ(a_first < 0, p_first < 0) << "row " << y;
            if (a_first >= 0 && p_first >= 0) {
                EXPECT_LE(std::abs(a_first - p_first), 1) << "row " << y;
                EXPECT_LE(std::abs(a_last - p_last), 1) << "row " << y;
            }
        }
        EXPECT_GT(both, 1500);
        EXPECT_GE(same * 100, both * 98) << "w " << w << ": " << same << " of " << both << " agree";
    }
    rast_set_globals(rast_default_span_run, rast_default_edge_run, 0);
}

// A polygon with a vertex at or behind the eye (w 0 or negative) and one
// of zero height draw without a division by zero.
TEST_F(RastPerspective, ZeroDivisorsAreGuarded)
{
    torvane_test::FpTraps traps;
    rast_test::install_tables(8);
    rast_test::texture tex;
    const raster_material m = tex.material(0);
    frame f(40, 30, 8);
    f.make_current();
    std::vector<clip_vertex> poly = {vertex(2, 2, 0, 0, 0.5f, 0.0f), vertex(30, 4, 9, 0, 0.5f, -1.0f),
                                     vertex(20, 25, 9, 9, 0.5f, 2.0f), vertex(3, 20, 0, 9, 0.5f, 1.0f)};
    std::vector<clip_vertex*> p = {&poly[0], &poly[1], &poly[2], &poly[3]};
    rast_polygon(p.data(), 4, &m);
    std::vector<clip_vertex> flat = {vertex(2, 5.1f, 0, 0, 0.5f), vertex(30, 5.7f, 9, 0, 0.5f),
                                     vertex(20, 5.9f, 9, 9, 0.5f)};
    frame untouched = f;
    std::vector<clip_vertex*> pf = {&flat[0], &flat[1], &flat[2]};
    rast_polygon(pf.data(), 3, &m);
    EXPECT_EQ(rast_test::first_difference(f, untouched), "");
    EXPECT_EQ(f.damaged_guard(), 0);
}

} // namespace
