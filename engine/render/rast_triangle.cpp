#include <cmath>
#include <cstdint>
#include <initializer_list>

#include "engine/render/rast.h"
#include "engine/render/rast_setup.h"
#include "engine/render/rast_span.h"
#include "engine/render/rast_span_loop.h"
#include "engine/render/rast_state.h"

// The affine family: a triangle is split at its middle vertex into an upper
// and a lower part; the edges step x (16.16 pixels), u, v (16.16 texels) and
// the light (16.16) once per row, and the gradients across the triangle,
// taken once on the middle vertex's row, step them along each span.

namespace {

using rast_detail::span_line;

// Lights at or above this are drawn at it (level 248).
constexpr float affine_light_limit = 0.97f;

// Left uninitialised where declared: read_vertex sets every field, and
// zeroing three of them first cost a block store per triangle.
struct affine_vertex {
    double sy;          // screen y (held inside the set-up's range)
    std::int64_t x;     // 16.16 pixels
    std::int64_t row;   // the nearest row
    std::int64_t u, v, l;
};

// An edge: its values at row `row0` and their steps per row.
struct edge_line {
    std::int64_t row0 = 0;
    std::int64_t x = 0, u = 0, v = 0, l = 0;
    std::int64_t dx = 0, du = 0, dv = 0, dl = 0;

    void advance_to(std::int64_t row)
    {
        const std::int64_t r = row - row0;
        x += r * dx;
        u += r * du;
        v += r * dv;
        l += r * dl;
        row0 = row;
    }
    void step()
    {
        x += dx;
        u += du;
        v += dv;
        l += dl;
    }
};

// A change over `rows` rows per row, truncated. Differences stay far inside
// the 64-bit range (coordinates and texel values are bounded when read).
std::int64_t per_row(std::int64_t difference, std::int64_t rows)
{
    return static_cast<std::int64_t>(static_cast<double>(difference) / static_cast<double>(rows));
}

edge_line make_edge(const affine_vertex& a, const affine_vertex& b)
{
    edge_line e;
    e.row0 = a.row;
    e.x = a.x;
    e.u = a.u;
    e.v = a.v;
    e.l = a.l;
    const std::int64_t rows = b.row - a.row;
    if (rows > 0) {
        e.dx = per_row(b.x - a.x, rows);
        e.du = per_row(b.u - a.u, rows);
        e.dv = per_row(b.v - a.v, rows);
        e.dl = per_row(b.l - a.l, rows);
    }
    return e;
}

bool read_vertex(const rast_point& cv, affine_vertex& out)
{
    double sx = 0, sy = 0;
    if (!rast_detail::screen_coordinate(cv.sx, sx) || !rast_detail::screen_coordinate(cv.sy, sy))
        return false;
    out.sy = sy;
    out.x = static_cast<std::int64_t>(sx * 65536.0);
    out.row = rast_detail::floor_bounded(sy + 0.5);
    out.u = rast_detail::texel_fixed(cv.u);
    out.v = rast_detail::texel_fixed(cv.v);
    out.l = cv.light_fixed;
    return true;
}

// Step per two pixels of a value across the triangle: twice the value's
// change from the middle vertex to the long edge over the x distance
// between them (16.16 pixels). 0 when the long edge passes through the
// middle vertex, where no row is wider than a pixel.
std::int64_t pair_gradient(std::int64_t change, std::int64_t dx16)
{
    if (dx16 == 0)
        return 0;
    return trunc_to_int64(2.0 * static_cast<double>(change) * 65536.0 / static_cast<double>(dx16));
}

// Draws the rows [from, to) between two edges, with the span loop of one
// kind of filler inlined (the small triangles of a scene have few pixels
// per row, so a call per row would cost as much as the pixels).
// [row_lo, row_hi) is the window of rows to draw, inside the clip.
template <typename Pixel, rast_texel_kind Kind, bool Half>
void draw_rows(const rast_state& st, edge_line left, edge_line right, std::int64_t from, std::int64_t to,
               std::int64_t row_lo, std::int64_t row_hi, const span_line& gradients, const rast_span& tables)
{
    // A local copy the compiler can keep in registers across the rows.
    rast_span s = tables;
    // The blend filler leaves the right pixel out, so two translucent
    // triangles never blend their shared edge twice.
    constexpr std::int64_t extra = Kind == rast_texel_kind::blend ? 0 : 1;
    if (!rast_detail::window_rows(from, to, row_lo, row_hi))
        return;
    left.advance_to(from);
    right.advance_to(from);
    span_line line = gradients;
    line.origin = 0;
    const std::int64_t clip_width = st.clip_width;
    // The first row and the row size are taken once: the frame's fields,
    // read through a reference the pixel stores may alias, would otherwise
    // be loaded again for every row. (No pointer is formed outside the
    // frame, even before the first row or past the last.)
    const std::ptrdiff_t row_bytes = static_cast<std::ptrdiff_t>(st.stride) * st.bytes_per_pixel;
    std::uint8_t* const first_row = rast_detail::frame_row(st, from);
#if defined(__SSE2__)
    // The span loop's lane steps, the same on every row.
    const rast_detail::sample_steps steps(line.du, line.dv, line.dl, s.mask);
#endif
    for (std::int64_t y = from; y < to; ++y, left.step(), right.step()) {
        const std::int64_t xl = left.x >> 16;
        const std::int64_t pixels = (right.x >> 16) - xl + extra;
        if (pixels <= 0)
            continue;
        const std::int64_t first = xl < 0 ? -xl : 0;
        const std::int64_t last = clip_width - xl < pixels ? clip_width - xl : pixels;
        if (first >= last)
            continue;
        line.u = static_cast<std::uint32_t>(left.u >> 8);
        line.v = static_cast<std::uint32_t>(left.v >> 8);
        line.l = static_cast<std::uint32_t>(left.l);
        Pixel* row = reinterpret_cast<Pixel*>(first_row + (y - from) * row_bytes);
#if defined(__SSE2__)
        if constexpr (!Half) {
            rast_detail::emit_full<Pixel, Kind>(row + (xl + first), first, last, pixels, line, s, steps);
            continue;
        }
#endif
        rast_detail::emit<Pixel, Kind, Half>(row + (xl + first), first, last, pixels, line, s);
    }
}

using rows_function = void (*)(const rast_state&, edge_line, edge_line, std::int64_t, std::int64_t, std::int64_t,
                               std::int64_t, const span_line&, const rast_span&);

// The row loops in the order of rast_variant_index.
constexpr rows_function row_loops[rast_variant_count] = {
    draw_rows<std::uint8_t, rast_texel_kind::opaque, true>,   draw_rows<std::uint8_t, rast_texel_kind::keyed, true>,
    draw_rows<std::uint8_t, rast_texel_kind::opaque, false>,  draw_rows<std::uint8_t, rast_texel_kind::keyed, false>,
    draw_rows<std::uint16_t, rast_texel_kind::opaque, true>,  draw_rows<std::uint16_t, rast_texel_kind::keyed, true>,
    draw_rows<std::uint16_t, rast_texel_kind::opaque, false>, draw_rows<std::uint16_t, rast_texel_kind::keyed, false>,
    draw_rows<std::uint8_t, rast_texel_kind::blend, true>};

} // namespace

void rast_draw_affine_rows(const rast_point* points, const raster_material& material, std::int64_t row_lo,
                           std::int64_t row_hi)
{
    const rast_state& st = rast_current_state();
    rast_span s;
    if (!rast_detail::material_state(&material, st, s))
        return;

    affine_vertex read[3];
    for (int i = 0; i < 3; ++i)
        if (!read_vertex(points[i], read[i]))
            return;
    // Top, middle and bottom by screen y; a vertex moves up only past a
    // strictly smaller y, so equal ones keep their order.
    int order[3] = {0, 1, 2};
    auto sort_pair = [&read, &order](int i, int j) {
        if (read[order[j]].sy < read[order[i]].sy) {
            const int k = order[i];
            order[i] = order[j];
            order[j] = k;
        }
    };
    sort_pair(0, 1);
    sort_pair(1, 2);
    sort_pair(0, 1);
    // Named in place rather than copied: copies of the vertices just read
    // made the loads below wait on partly forwarded stores.
    affine_vertex& t = read[order[0]];
    affine_vertex& m = read[order[1]];
    affine_vertex& b = read[order[2]];
    if (b.row == t.row)
        return;
    // Wholly above, below, left or right of the screen: nothing to set up.
    const std::int64_t min_x = t.x < m.x ? (t.x < b.x ? t.x : b.x) : (m.x < b.x ? m.x : b.x);
    const std::int64_t max_x = t.x > m.x ? (t.x > b.x ? t.x : b.x) : (m.x > b.x ? m.x : b.x);
    if (b.row <= row_lo || t.row >= row_hi || (max_x >> 16) < 0 || (min_x >> 16) >= st.clip_width)
        return;
    const std::int64_t base_u = rast_detail::texture_period_base(t.u);
    const std::int64_t base_v = rast_detail::texture_period_base(t.v);
    for (affine_vertex* p : {&t, &m, &b}) {
        p->u -= base_u;
        p->v -= base_v;
    }

    const edge_line long_edge = make_edge(t, b);
    const edge_line upper = make_edge(t, m);
    const edge_line lower = make_edge(m, b);

    // The gradients, on the middle vertex's row.
    edge_line at_middle = long_edge;
    at_middle.advance_to(m.row);
    const std::int64_t dx16 = at_middle.x - m.x;
    span_line gradients{};
    gradients.du = static_cast<std::uint32_t>((pair_gradient(at_middle.u - m.u, dx16) >> 1) >> 8);
    gradients.dv = static_cast<std::uint32_t>((pair_gradient(at_middle.v - m.v, dx16) >> 1) >> 8);
    gradients.dl = static_cast<std::uint32_t>(pair_gradient(at_middle.l - m.l, dx16) >> 1);
    const bool long_on_left = at_middle.x < m.x;

    const int depth = st.frame.depth == 16 ? 16 : 8;
    const rows_function rows =
        row_loops[rast_variant_index(rast_choose_variant(material.fill_mode, st.full_res != 0, depth))];
    if (m.row > t.row) {
        if (long_on_left)
            rows(st, long_edge, upper, t.row, m.row, row_lo, row_hi, gradients, s);
        else
            rows(st, upper, long_edge, t.row, m.row, row_lo, row_hi, gradients, s);
    }
    if (b.row > m.row) {
        if (long_on_left)
            rows(st, long_edge, lower, m.row, b.row, row_lo, row_hi, gradients, s);
        else
            rows(st, lower, long_edge, m.row, b.row, row_lo, row_hi, gradients, s);
    }
}

namespace {

// Both entries: the lights clamped in the caller's vertices, then the
// triangle drawn (or recorded for the flush).
void draw_affine(clip_vertex* const* vertices, const raster_material* material)
{
    if (!vertices || !vertices[0] || !vertices[1] || !vertices[2])
        return;
    for (int i = 0; i < 3; ++i)
        rast_clamp_light(*vertices[i], affine_light_limit);
    if (!material)
        return;
    const rast_point points[3] = {rast_point_of(*vertices[0]), rast_point_of(*vertices[1]),
                                  rast_point_of(*vertices[2])};
    if (rast_defer(points, 3, false, *material))
        return;
    rast_draw_affine_rows(points, *material, 0, rast_current_state().clip_height);
}

} // namespace

void rast_draw_triangle(clip_vertex* const* vertices, int /*ignored*/, const raster_material* material)
{
    draw_affine(vertices, material);
}

void rast_draw_triangle_alt(clip_vertex* const* vertices, int /*ignored*/, const raster_material* material)
{
    draw_affine(vertices, material);
}
