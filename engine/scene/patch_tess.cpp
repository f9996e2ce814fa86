#include "engine/scene/patch_tess.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <mutex>

#include "engine/model/mdl_format.h"
#include "engine/model/model_node.h"

// ---------------------------------------------------------------------------
// Inverse square root tables.

namespace {

struct isqrt_cubic {
    float a, b, c, d;
};

struct isqrt_tables {
    isqrt_cubic a[isqrt_table_a_size];
    isqrt_cubic b[isqrt_table_b_size];
};

constexpr float table_a_start = 256.0f;
constexpr float table_b_start = 1048576.0f;
constexpr float tables_end = 16777216.0f;

// The cubic in powers of x through the values and slopes of 1/sqrt(x) at x0
// and x1 (the Hermite form on t = (x - x0) / w, expanded), in double.
isqrt_cubic hermite_cubic(double x0, double x1)
{
    const double w = x1 - x0;
    const double f0 = std::pow(x0, -0.5);
    const double f1 = std::pow(x1, -0.5);
    const double s0 = -0.5 * std::pow(x0, -1.5);
    const double s1 = -0.5 * std::pow(x1, -1.5);
    // In t: c0 + c1 t + c2 t^2 + c3 t^3.
    const double c0 = f0;
    const double c1 = w * s0;
    const double c2 = 3.0 * (f1 - f0) - w * (2.0 * s0 + s1);
    const double c3 = 2.0 * (f0 - f1) + w * (s0 + s1);
    // In x - x0, then in x.
    const double e1 = c1 / w;
    const double e2 = c2 / (w * w);
    const double e3 = c3 / (w * w * w);
    isqrt_cubic out{};
    out.a = static_cast<float>(e3);
    out.b = static_cast<float>(e2 - 3.0 * e3 * x0);
    out.c = static_cast<float>(e1 - 2.0 * e2 * x0 + 3.0 * e3 * x0 * x0);
    out.d = static_cast<float>(c0 - e1 * x0 + e2 * x0 * x0 - e3 * x0 * x0 * x0);
    return out;
}

isqrt_tables& tables()
{
    static isqrt_tables t;
    return t;
}

std::once_flag tables_built;

void fill_tables()
{
    isqrt_tables& t = tables();
    t.a[0] = {};
    for (std::size_t i = 1; i < isqrt_table_a_size; ++i)
        t.a[i] = hermite_cubic(256.0 * static_cast<double>(i), 256.0 * static_cast<double>(i + 1));
    for (std::size_t j = 0; j < isqrt_table_b_size; ++j)
        t.b[j] = hermite_cubic(1048576.0 + 4096.0 * static_cast<double>(j),
                               1048576.0 + 4096.0 * static_cast<double>(j + 1));
}

float eval(const isqrt_cubic& k, float x)
{
    return ((k.a * x + k.b) * x + k.c) * x + k.d;
}

} // namespace

void isqrt_tables_build()
{
    std::call_once(tables_built, fill_tables);
}

float inv_sqrt_approx(float x)
{
    // NaN first: an ordered comparison with it raises the invalid flag.
    if (std::isnan(x))
        return std::numeric_limits<float>::quiet_NaN();
    if (x >= table_a_start && x < tables_end) {
        isqrt_tables_build();
        const auto n = static_cast<std::uint32_t>(x);
        if (x < table_b_start)
            return eval(tables().a[n >> 8], x);
        return eval(tables().b[(n - 1048576u) >> 12], x);
    }
    // Exact outside the tables. The two ends of the domain are answered
    // without a division or a square root that would raise an exception.
    if (x == 0.0f)
        return std::numeric_limits<float>::infinity();
    if (!(x > 0.0f))
        return std::numeric_limits<float>::quiet_NaN();
    return 1.0f / std::sqrt(x);
}

// ---------------------------------------------------------------------------
// Faults.

namespace {

patch_fault_counts faults;

void report(unsigned long patch_fault_counts::*counter, const char* what)
{
    if (faults.*counter == 0)
        std::fprintf(stderr, "patch tessellation: %s\n", what);
    ++(faults.*counter);
}

} // namespace

const patch_fault_counts& patch_faults()
{
    return faults;
}

void patch_reset_faults()
{
    faults = {};
}

// ---------------------------------------------------------------------------
// Cubics and forward differences.

namespace {

vec4 add(const vec4& a, const vec4& b)
{
    return {a.x + b.x, a.y + b.y, a.z + b.z, 0.0f};
}

vec4 sub(const vec4& a, const vec4& b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z, 0.0f};
}

vec4 scale(const vec4& a, float s)
{
    return {a.x * s, a.y * s, a.z * s, 0.0f};
}

vec4 cross(const vec4& a, const vec4& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x, 0.0f};
}

float dot(const vec4& a, const vec4& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

constexpr float step_h = 0.5f;   // level 2: t = 0, 1/2, 1

// The cubic's values at t = 0, h, 2h by forward differences.
void forward_points(const patch_cubic& k, vec4 out[patch_grid_points])
{
    const float h = step_h, h2 = h * h, h3 = h2 * h;
    vec4 p = k.d;
    vec4 d1 = add(add(scale(k.a, h3), scale(k.b, h2)), scale(k.c, h));
    vec4 d2 = add(scale(k.a, 6.0f * h3), scale(k.b, 2.0f * h2));
    const vec4 d3 = scale(k.a, 6.0f * h3);
    for (int i = 0; i < patch_grid_points; ++i) {
        out[i] = p;
        p = add(p, d1);
        d1 = add(d1, d2);
        d2 = add(d2, d3);
    }
}

// The derivative 3a t^2 + 2b t + c at t = 0, h, 2h: the values of the
// cubic 0 t^3 + 3a t^2 + 2b t + c.
void forward_tangents(const patch_cubic& k, vec4 out[patch_grid_points])
{
    const patch_cubic derivative{{0.0f, 0.0f, 0.0f, 0.0f}, scale(k.a, 3.0f), scale(k.b, 2.0f), k.c};
    forward_points(derivative, out);
}

bool known_basis(std::uint32_t basis)
{
    return basis == mdl::patch_basis_bspline || basis == mdl::patch_basis_cardinal;
}

} // namespace

bool patch_segment_cubic(std::uint32_t basis, float tension, const vec4 p[4], patch_cubic& out)
{
    const vec4 &p0 = p[0], &p1 = p[1], &p2 = p[2], &p3 = p[3];
    if (basis == mdl::patch_basis_bspline) {
        constexpr float sixth = 1.0f / 6.0f;
        // a = (-P0 + 3P1 - 3P2 + P3) / 6, b = (P0 - 2P1 + P2) / 2,
        // c = (P2 - P0) / 2, d = (P0 + 4P1 + P2) / 6.
        out.a = scale(add(sub(scale(sub(p1, p2), 3.0f), p0), p3), sixth);
        out.b = scale(add(sub(p0, scale(p1, 2.0f)), p2), 0.5f);
        out.c = scale(sub(p2, p0), 0.5f);
        out.d = scale(add(add(p0, scale(p1, 4.0f)), p2), sixth);
        return true;
    }
    if (basis == mdl::patch_basis_cardinal) {
        const float t = tension;
        // a = 2(P1 - P2) + t(P2 - P0) + t(P3 - P1),
        // b = 3(P2 - P1) + t(2P0 - 2P2 + P1 - P3), c = t(P2 - P0), d = P1.
        out.a = add(add(scale(sub(p1, p2), 2.0f), scale(sub(p2, p0), t)), scale(sub(p3, p1), t));
        out.b = add(scale(sub(p2, p1), 3.0f),
                    scale(sub(add(sub(scale(p0, 2.0f), scale(p2, 2.0f)), p1), p3), t));
        out.c = scale(sub(p2, p0), t);
        out.d = p1;
        return true;
    }
    return false;
}

bool patch_evaluate(const patch_grid& grid, const vec4* points, std::uint32_t row, std::uint32_t column,
                    patch_sample out[patch_grid_points][patch_grid_points])
{
    if (!known_basis(grid.basis_u) || !known_basis(grid.basis_v) || grid.count_u == 0 || grid.count_v == 0 ||
        !points)
        return false;

    // Along each of the four rows: points and tangents at the three
    // positions along the row.
    vec4 along_points[4][patch_grid_points];
    vec4 along_tangents[4][patch_grid_points];
    for (std::uint32_t k = 0; k < 4; ++k) {
        const std::uint32_t r = (row + k) % grid.count_u;
        vec4 p[4];
        for (std::uint32_t m = 0; m < 4; ++m)
            p[m] = points[std::size_t{r} * grid.count_v + (column + m) % grid.count_v];
        patch_cubic cubic{};
        patch_segment_cubic(grid.basis_v, grid.tension_v, p, cubic);
        forward_points(cubic, along_points[k]);
        forward_tangents(cubic, along_tangents[k]);
    }

    // Across the rows at each position along them: the surface point, the
    // tangent across, and the along-row tangent carried across.
    for (int s = 0; s < patch_grid_points; ++s) {
        const vec4 p[4] = {along_points[0][s], along_points[1][s], along_points[2][s], along_points[3][s]};
        const vec4 t[4] = {along_tangents[0][s], along_tangents[1][s], along_tangents[2][s], along_tangents[3][s]};
        patch_cubic across{}, across_tangent{};
        patch_segment_cubic(grid.basis_u, grid.tension_u, p, across);
        patch_segment_cubic(grid.basis_u, grid.tension_u, t, across_tangent);
        vec4 positions[patch_grid_points], tangents_u[patch_grid_points], tangents_v[patch_grid_points];
        forward_points(across, positions);
        forward_tangents(across, tangents_u);
        forward_points(across_tangent, tangents_v);
        for (int r = 0; r < patch_grid_points; ++r) {
            patch_sample& o = out[s][r];
            o.position = positions[r];
            o.tangent_u = tangents_u[r];
            o.tangent_v = tangents_v[r];
            vec4 n = cross(tangents_u[r], tangents_v[r]);
            // Parallel or vanishing tangents (a collapsed edge, a pole) give
            // no direction: the normal stays zero instead of 0 x infinity.
            const float len2 = dot(n, n);
            n = std::isfinite(len2) && len2 > 0.0f ? scale(n, inv_sqrt_approx(len2)) : vec4{0.0f, 0.0f, 0.0f, 0.0f};
            o.normal = n;
        }
    }
    return true;
}

// ---------------------------------------------------------------------------
// Emission.

namespace {

clip_vertex& at(clip_vertex* grid, std::size_t row_stride, int r, int c)
{
    auto* base = reinterpret_cast<std::uint8_t*>(grid) + row_stride * static_cast<std::size_t>(r);
    return reinterpret_cast<clip_vertex*>(base)[c];
}

vec4 point_of(const clip_vertex& v)
{
    return {v.x, v.y, v.z, 0.0f};
}

} // namespace

int patch_grid_emit(int rows, int columns, std::size_t row_stride, clip_vertex* grid, const mtr_texture* frame,
                    const vec4& eye, patch_sink& sink)
{
    int emitted = 0;
    for (int r = 0; r + 1 < rows; ++r)
        for (int c = 0; c + 1 < columns; ++c) {
            clip_vertex& v00 = at(grid, row_stride, r, c);
            clip_vertex& v01 = at(grid, row_stride, r, c + 1);
            clip_vertex& v10 = at(grid, row_stride, r + 1, c);
            clip_vertex& v11 = at(grid, row_stride, r + 1, c + 1);
            const vec4 p00 = point_of(v00);
            const vec4 diagonal = sub(point_of(v11), p00);
            const vec4 to_eye = sub(eye, p00);
            if (dot(cross(diagonal, sub(point_of(v01), p00)), to_eye) < 0.0f) {
                clip_vertex* const corners[3] = {&v11, &v01, &v00};
                sink.triangle(corners, frame);
                ++emitted;
            }
            if (dot(cross(diagonal, sub(point_of(v10), p00)), to_eye) > 0.0f) {
                clip_vertex* const corners[3] = {&v00, &v10, &v11};
                sink.triangle(corners, frame);
                ++emitted;
            }
        }
    return emitted;
}

namespace {

struct patch_pass_context {
    const patch_grid& grid;
    const vec4* points;
    const patch_lens& lens;
    const patch_texture_map& texture;
    const vec4& eye;
    patch_sink& sink;
    float u_per_patch;   // -W su / S_u
    float v_per_patch;   // -H sv / S_v
};

// One patch: evaluate, light, texture, carry into clip space, emit.
int draw_one(const patch_pass_context& ctx, std::uint32_t i, std::uint32_t j)
{
    patch_sample samples[patch_grid_points][patch_grid_points];
    if (!patch_evaluate(ctx.grid, ctx.points, i, j, samples))
        return 0;
    clip_vertex cells[patch_grid_points][patch_grid_points]{};
    for (int s = 0; s < patch_grid_points; ++s)
        for (int r = 0; r < patch_grid_points; ++r) {
            const patch_sample& p = samples[s][r];
            clip_vertex& v = cells[s][r];
            v.light[0] = ctx.sink.light_point(p.position, p.normal);
            v.nx = p.normal.x;
            v.ny = p.normal.y;
            v.nz = p.normal.z;
            v.u = ctx.texture.origin_u + (static_cast<float>(i) + step_h * static_cast<float>(r)) * ctx.u_per_patch;
            v.v = ctx.texture.origin_v + (static_cast<float>(j) + step_h * static_cast<float>(s)) * ctx.v_per_patch;
            const vec4& q = p.position;
            v.x = q.x + q.z * ctx.lens.shift_x;
            v.y = ctx.lens.aspect * q.y + q.z * ctx.lens.shift_y;
            v.z = q.z;
            // A lens without a focal length would divide by zero; such a
            // point gets w' = 0 and is clipped away by the emitter.
            v.w = ctx.lens.focal != 0.0f ? -q.z / ctx.lens.focal : 0.0f;
        }
    return patch_grid_emit(patch_grid_points, patch_grid_points, sizeof cells[0], &cells[0][0], ctx.texture.frame,
                           ctx.eye, ctx.sink);
}

// Whether the patch starting at index i of a direction takes points past
// the end of the direction (only a closed direction has such patches).
bool wraps(std::uint32_t i, std::uint32_t count)
{
    return std::uint64_t{i} + 3 >= count;
}

} // namespace

int patch_mesh_draw(const patch_grid& grid, const vec4* points, std::size_t point_count, const patch_lens& lens,
                    const patch_texture_map& texture, const vec4& eye, patch_sink& sink)
{
    if (!known_basis(grid.basis_u) || !known_basis(grid.basis_v)) {
        report(&patch_fault_counts::unknown_spline, "a patch grid has a spline kind other than 2 and 3; not drawn");
        return 0;
    }
    const std::uint64_t needed = std::uint64_t{grid.count_u} * grid.count_v;
    if (needed == 0)
        return 0;
    if (!points || needed > point_count) {
        report(&patch_fault_counts::missing_points, "a patch grid names more control points than it has; not drawn");
        return 0;
    }
    const std::uint32_t segments_u = mdl::patch_segments(grid.count_u, grid.closed_u);
    const std::uint32_t segments_v = mdl::patch_segments(grid.count_v, grid.closed_v);
    if (segments_u == 0 || segments_v == 0)
        return 0;

    const patch_pass_context ctx{grid,
                                 points,
                                 lens,
                                 texture,
                                 eye,
                                 sink,
                                 -static_cast<float>(texture.width) * texture.repeat_u / static_cast<float>(segments_u),
                                 -static_cast<float>(texture.height) * texture.repeat_v /
                                     static_cast<float>(segments_v)};
    // Four passes: patches that wrap in neither direction, then those that
    // wrap along the rows only, across the rows only, and in both; each
    // patch is drawn once.
    int emitted = 0;
    for (int pass = 0; pass < 4; ++pass) {
        const bool wrap_u = (pass & 2) != 0;
        const bool wrap_v = (pass & 1) != 0;
        for (std::uint32_t i = 0; i < segments_u; ++i) {
            if (wraps(i, grid.count_u) != wrap_u)
                continue;
            for (std::uint32_t j = 0; j < segments_v; ++j)
                if (wraps(j, grid.count_v) == wrap_v)
                    emitted += draw_one(ctx, i, j);
        }
    }
    return emitted;
}
