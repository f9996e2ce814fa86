#include <cmath>
#include <cstdint>

#include "engine/render/rast.h"
#include "engine/render/rast_setup.h"
#include "engine/render/rast_span.h"
#include "engine/render/rast_span_loop.h"
#include "engine/render/rast_state.h"

// The perspective family. Along every edge and across every span the
// quantities u/w, v/w and 1/w change linearly with the screen position, so
// the edges step them (with the light) row by row without a division, and
// each span divides them back into u and v at the start of every run of
// `span_run` pixels and at its last pixel, stepping linearly in between.

namespace {

// Lights at or above these are drawn at them: 0.9999 (level 255) for a
// triangle, 0.95 (level 243) for a polygon of more vertices.
constexpr float triangle_light_limit = 0.9999f;
constexpr float polygon_light_limit = 0.95f;

// The clipper makes at most ten vertices of a quad; more are not drawn.
constexpr int max_polygon_vertices = 64;

// The smallest w the set-up divides by (the clipper keeps w positive).
constexpr double min_w = 1e-9;

struct persp_vertex {
    double x = 0;          // screen x
    std::int64_t row = 0;  // the screen row the vertex starts
    double q = 0, uq = 0, vq = 0, l = 0;  // 1/w, u/w, v/w, light x 65536
};

struct edge_point {
    double x, q, uq, vq, l;
};

// The point of the edge a -> b on `row`, stepping from a by whole rows.
edge_point on_edge(const persp_vertex& a, const persp_vertex& b, std::int64_t row)
{
    const std::int64_t rows = b.row - a.row;
    if (rows == 0)
        return {a.x, a.q, a.uq, a.vq, a.l};
    const double f = static_cast<double>(row - a.row) / static_cast<double>(rows);
    return {a.x + (b.x - a.x) * f, a.q + (b.q - a.q) * f, a.uq + (b.uq - a.uq) * f,
            a.vq + (b.vq - a.vq) * f, a.l + (b.l - a.l) * f};
}

// One side of the polygon, walked from the top vertex to the bottom one in
// one direction through the vertex list.
struct chain {
    const persp_vertex* v;
    int count;
    int step;      // +1 forward, -1 backward
    int from, to;  // the current edge
    int bottom;

    void start(int top)
    {
        from = top;
        to = next(top);
    }
    int next(int i) const { return (i + step + count) % count; }
    // Moves on to the edge that reaches below `row`.
    edge_point at(std::int64_t row)
    {
        while (v[to].row <= row && to != bottom) {
            from = to;
            to = next(to);
        }
        return on_edge(v[from], v[to], row);
    }
};

bool read_vertex(const rast_point& cv, persp_vertex& out, std::int64_t& u, std::int64_t& v)
{
    double sx = 0, sy = 0;
    if (!rast_detail::screen_coordinate(cv.sx, sx) || !rast_detail::screen_coordinate(cv.sy, sy))
        return false;
    out.x = sx;
    out.row = rast_detail::floor_bounded(sy);
    double w = cv.w;
    if (std::isnan(w) || w < min_w)
        w = min_w;
    out.q = 1.0 / w;
    out.l = static_cast<double>(cv.light_fixed);
    u = rast_detail::texel_fixed(cv.u);
    v = rast_detail::texel_fixed(cv.v);
    return true;
}

} // namespace

void rast_draw_persp_rows(const rast_point* points, int count, const raster_material& material, std::int64_t row_lo,
                          std::int64_t row_hi)
{
    if (count < 3 || count > max_polygon_vertices)
        return;
    const rast_state& st = rast_current_state();
    rast_span s;
    if (!rast_detail::material_state(&material, st, s))
        return;

    persp_vertex pv[max_polygon_vertices];
    std::int64_t u[max_polygon_vertices], v[max_polygon_vertices];
    for (int i = 0; i < count; ++i)
        if (!read_vertex(points[i], pv[i], u[i], v[i]))
            return;
    const std::int64_t base_u = rast_detail::texture_period_base(u[0]);
    const std::int64_t base_v = rast_detail::texture_period_base(v[0]);
    for (int i = 0; i < count; ++i) {
        pv[i].uq = static_cast<double>(u[i] - base_u) * pv[i].q;
        pv[i].vq = static_cast<double>(v[i] - base_v) * pv[i].q;
    }

    // The topmost and bottommost vertices (the first of equal ones).
    int top = 0, bottom = 0;
    for (int i = 1; i < count; ++i) {
        if (points[i].sy < points[top].sy)
            top = i;
        if (points[i].sy > points[bottom].sy)
            bottom = i;
    }
    std::int64_t from = pv[top].row;
    std::int64_t to = pv[bottom].row;
    if (to == from)
        return;
    if (!rast_detail::window_rows(from, to, row_lo, row_hi))
        return;

    const int depth = st.frame.depth == 16 ? 16 : 8;
    const bool full = st.full_res != 0;
    const rast_persp_filler filler = rast_choose_persp_filler(material.fill_mode, full, depth);
    const bool half = rast_choose_variant(material.fill_mode, full, depth).half;

    rast_persp_span ps;
    ps.texels = s.texels;
    ps.mask = s.mask;
    ps.shade = s.shade;
    ps.blend_page = s.blend_page;
    ps.run = half ? (st.span_run >= 2 ? st.span_run & ~1 : 2) : (st.span_run >= 1 ? st.span_run : 1);

    // Either chain may be the left one: each row takes the smaller x.
    chain forward{pv, count, 1, 0, 0, bottom};
    chain backward{pv, count, -1, 0, 0, bottom};
    forward.start(top);
    backward.start(top);
    for (std::int64_t y = from; y < to; ++y) {
        edge_point a = forward.at(y);
        edge_point b = backward.at(y);
        if (b.x < a.x) {
            const edge_point t = a;
            a = b;
            b = t;
        }
        const std::int64_t xl = rast_detail::floor_bounded(a.x + 0.5);
        const std::int64_t xr = rast_detail::floor_bounded(b.x + 0.5);
        const std::int64_t pixels = xr - xl + 1;
        const std::int64_t first = xl < 0 ? -xl : 0;
        const std::int64_t last = st.clip_width - xl < pixels ? st.clip_width - xl : pixels;
        if (first >= last)
            continue;
        const double inv = rast_detail::recip(xr - xl);
        ps.row = rast_detail::frame_row(st, y);
        ps.x0 = xl;
        ps.pixels = pixels;
        ps.first = first;
        ps.last = last;
        ps.q = a.q;
        ps.uq = a.uq;
        ps.vq = a.vq;
        ps.dq = (b.q - a.q) * inv;
        ps.duq = (b.uq - a.uq) * inv;
        ps.dvq = (b.vq - a.vq) * inv;
        ps.l = static_cast<std::uint32_t>(trunc_to_int64(a.l));
        ps.dl = static_cast<std::uint32_t>(trunc_to_int64((b.l - a.l) * inv));
        filler(ps);
    }
}

void rast_polygon(clip_vertex* const* vertices, int count, const raster_material* material)
{
    if (!vertices || count < 3 || count > max_polygon_vertices)
        return;
    for (int i = 0; i < count; ++i)
        if (!vertices[i])
            return;
    const float limit = count == 3 ? triangle_light_limit : polygon_light_limit;
    for (int i = 0; i < count; ++i)
        rast_clamp_light(*vertices[i], limit);
    if (!material)
        return;
    rast_point points[max_polygon_vertices];
    for (int i = 0; i < count; ++i)
        points[i] = rast_point_of(*vertices[i]);
    if (rast_defer(points, count, true, *material))
        return;
    rast_draw_persp_rows(points, count, *material, 0, rast_current_state().clip_height);
}
