#include "engine/model/lattice_anim.h"

#include <cmath>
#include <cstring>

#include "engine/base/engine.h"
#include "engine/base/float_conv.h"
#include "engine/model/fcurve.h"

namespace {

std::uint32_t next_shape_serial = 0;

float axis_scale(std::uint32_t n, float lo, float hi)
{
    const float extent = hi - lo;
    if (n < 1 || extent == 0.0f)
        return 0.0f;
    return static_cast<float>(n - 1) * 0.999f / extent;
}

} // namespace

float anim_key_blend(float p0, float p1, float p2, float p3, float f)
{
    return 0.5f * (2.0f * p1 + (p2 - p0) * f + (2.0f * p0 - 5.0f * p1 + 4.0f * p2 - p3) * f * f +
                   (3.0f * p1 - p0 - 3.0f * p2 + p3) * f * f * f);
}

vec4 anim_key_blend(const vec4& p0, const vec4& p1, const vec4& p2, const vec4& p3, float f)
{
    return {anim_key_blend(p0.x, p1.x, p2.x, p3.x, f), anim_key_blend(p0.y, p1.y, p2.y, p3.y, f),
            anim_key_blend(p0.z, p1.z, p2.z, p3.z, f), anim_key_blend(p0.w, p1.w, p2.w, p3.w, f)};
}

void anim_key_sample(const vec4& prev, const vec4& cur, const vec4& next, const vec4& next2, float f,
                     float /*weight*/, vec4* value, vec4* companion)
{
    *value = anim_key_blend(prev, cur, next, next2, f);
    *companion = *value;
}

lattice_shape::lattice_shape() : serial(++next_shape_serial)
{
    if (serial == 0)
        serial = ++next_shape_serial;
    ++live;
}

lattice_shape::~lattice_shape()
{
    if (owner_state == 3) {
        if (points && current_engine && current_engine->lattice_point_pool.holds(points))
            current_engine->lattice_point_pool.delete_entry(points);
        else if (points)
            memmng::give_back_retired(points, 1);
    } else if (owner_state == 2) {
        delete[] points;
    }
    points = nullptr;
    --live;
}

void lattice_shape::allocate_points()
{
    const std::uint32_t n = point_count();
    if (owner_state == 3) {
        if (!current_engine)
            engine_error(2);
        if (n > engine::lattice_point_count)
            engine_error(1);
        points = static_cast<vec4*>(current_engine->lattice_point_pool.new_entry());
        std::memset(static_cast<void*>(points), 0, n * sizeof(vec4));
    } else {
        points = new vec4[n > 0 ? n : 1]();
    }
    ++revision;
}

void lattice_shape::update_cell_scales()
{
    cell_scale[0] = axis_scale(u, box_min.x, box_max.x);
    cell_scale[1] = axis_scale(v, box_min.y, box_max.y);
    cell_scale[2] = axis_scale(w, box_min.z, box_max.z);
}

void lattice_shape::apply_header(const lattice_header& h)
{
    set_name(&name, h.name);
    set_name(&second_name, h.second_name);
    kept_word = h.kept_word;
    u = h.counts[0];
    v = h.counts[1];
    w = h.counts[2];
    for (int i = 0; i < 3; ++i)
        kept[i] = h.kept[i];
    box_min = h.box_min;
    box_max = h.box_max;
    update_cell_scales();
}

void lattice_shape::copy(lattice_shape* out) const
{
    out->name = name;
    out->second_name = second_name;
    out->kept_word = kept_word;
    out->u = u;
    out->v = v;
    out->w = w;
    for (int i = 0; i < 3; ++i) {
        out->kept[i] = kept[i];
        out->cell_scale[i] = cell_scale[i];
    }
    out->box_min = box_min;
    out->box_max = box_max;
}

void lattice_link_shapes(lattice_shape* const* shapes, int n)
{
    for (int i = 0; i < n; ++i) {
        shapes[i]->prev = i > 0 ? shapes[i - 1] : nullptr;
        shapes[i]->next = i + 1 < n ? shapes[i + 1] : nullptr;
    }
}

lattice_anim::~lattice_anim()
{
    if (owner_state == 2) {
        lattice_shape* s = first;
        for (std::uint32_t i = 0; s && i < count; ++i) {
            lattice_shape* next_shape = s->next;
            delete s;
            s = next_shape;
        }
        delete working;
        delete curve;
        first = last = working = nullptr;
        curve = nullptr;
        count = 0;
    }
    --live;
}

void lattice_anim::set_state(std::uint32_t state)
{
    if (curve)
        curve->set_state(state);
    for (lattice_shape* s = first; s; s = s->next)
        s->set_state(state);
    if (working)
        working->set_state(state);
    owner_state = state;
}

void lattice_anim::copy(const lattice_anim& other)
{
    kept_word = other.kept_word;
    curve = other.curve;
    first = other.first;
    last = other.last;
    working = other.working;
    count = other.count;
    owner_state = other.owner_state;
}

void lattice_anim::take_shapes(lattice_shape* const* shapes, int n)
{
    if (n <= 0)
        return;
    lattice_link_shapes(shapes, n);
    first = shapes[0];
    last = shapes[n - 1];
    count = static_cast<std::uint32_t>(n);
    working = new (pool_lattice_shape) lattice_shape;
    first->copy(working);
    working->u += 2;
    working->v += 2;
    working->w += 2;
    working->allocate_points();
}

void lattice_anim::locate(float t, lattice_shape** shape, float* f) const
{
    // The curve's values lie in [0, count); a value outside is clamped so
    // that the walk never passes the end of the list. Without a curve the
    // first shape is taken.
    float s = curve ? curve->calc(t) : 0.0f;
    const float top = static_cast<float>(count);
    if (!(s > 0.0f))
        s = 0.0f;
    if (s > top)
        s = top;
    int k = trunc_to_int(s);
    float frac = s - static_cast<float>(k);
    if (k >= static_cast<int>(count)) {
        k = static_cast<int>(count) - 1;
        frac = 1.0f;
    }
    lattice_shape* at = first;
    for (int i = 0; i < k && at->next; ++i)
        at = at->next;
    *shape = at;
    *f = frac;
}

void lattice_anim::neighbours(lattice_shape* k, lattice_shape* out[4]) const
{
    out[1] = k;
    out[0] = k->prev ? k->prev : last;
    out[2] = k->next ? k->next : first;
    out[3] = out[2]->next ? out[2]->next : first;
}

void lattice_anim::sample(float t, vec4* values, vec4* companions) const
{
    if (!first)
        return;
    lattice_shape* k = nullptr;
    float f = 0.0f;
    locate(t, &k, &f);
    lattice_shape* s[4];
    neighbours(k, s);
    const std::uint32_t n = k->point_count();
    for (std::uint32_t i = 0; i < n; ++i)
        anim_key_sample(s[0]->points[i], s[1]->points[i], s[2]->points[i], s[3]->points[i], f, 0.5f, &values[i],
                        &companions[i]);
}

void lattice_anim::eval(const mat4* matrix, const vec4* scale, float t)
{
    if (!first || !curve || !working)
        return;
    lattice_shape* k = nullptr;
    float f = 0.0f;
    locate(t, &k, &f);
    lattice_shape* s[4];
    neighbours(k, s);
    // The working lattice is the shapes' lattice with a border layer.
    if (working->u != k->u + 2 || working->v != k->v + 2 || working->w != k->w + 2)
        return;

    working->box_min = {k->box_min.x * scale->x, k->box_min.y * scale->y, k->box_min.z * scale->z, k->box_min.w};
    working->box_max = {k->box_max.x * scale->x, k->box_max.y * scale->y, k->box_max.z * scale->z, k->box_max.w};
    working->cell_scale[0] = axis_scale(k->u, working->box_min.x, working->box_max.x);
    working->cell_scale[1] = axis_scale(k->v, working->box_min.y, working->box_max.y);
    working->cell_scale[2] = axis_scale(k->w, working->box_min.z, working->box_max.z);

    for (std::uint32_t i = 0; i < k->u; ++i) {
        for (std::uint32_t j = 0; j < k->v; ++j) {
            for (std::uint32_t m = 0; m < k->w; ++m) {
                const std::uint32_t idx = (i * k->v + j) * k->w + m;
                const vec4 p = anim_key_blend(s[0]->points[idx], s[1]->points[idx], s[2]->points[idx],
                                              s[3]->points[idx], f);
                vec4 q{};
                mat_transform_point(matrix, &p, &q);
                working->at(i + 1, j + 1, m + 1) = {q.x, q.y, q.z, p.w};
            }
        }
    }

    // The border layer: 2 x the adjacent point - the next one inwards, along
    // x, then y, then z, so that edges and corners extend the extended faces.
    const std::uint32_t U = working->u, V = working->v, W = working->w;
    auto extend = [](vec4& out, const vec4& adjacent, const vec4& inner) {
        out = {2.0f * adjacent.x - inner.x, 2.0f * adjacent.y - inner.y, 2.0f * adjacent.z - inner.z, adjacent.w};
    };
    for (std::uint32_t j = 1; j + 1 < V; ++j) {
        for (std::uint32_t m = 1; m + 1 < W; ++m) {
            extend(working->at(0, j, m), working->at(1, j, m), working->at(2, j, m));
            extend(working->at(U - 1, j, m), working->at(U - 2, j, m), working->at(U - 3, j, m));
        }
    }
    for (std::uint32_t i = 0; i < U; ++i) {
        for (std::uint32_t m = 1; m + 1 < W; ++m) {
            extend(working->at(i, 0, m), working->at(i, 1, m), working->at(i, 2, m));
            extend(working->at(i, V - 1, m), working->at(i, V - 2, m), working->at(i, V - 3, m));
        }
    }
    for (std::uint32_t i = 0; i < U; ++i) {
        for (std::uint32_t j = 0; j < V; ++j) {
            extend(working->at(i, j, 0), working->at(i, j, 1), working->at(i, j, 2));
            extend(working->at(i, j, W - 1), working->at(i, j, W - 2), working->at(i, j, W - 3));
        }
    }
    ++working->revision;
}

void lattice_cells_prepare(lattice_cell_cache* cache, const lattice_shape* shape)
{
    if (cache->serial == shape->serial && cache->revision == shape->revision)
        return;
    cache->serial = shape->serial;
    cache->revision = shape->revision;
    ++cache->fills;
    // Cell i's block spans points i - 1 .. i + 2, so the last cell whose
    // block lies inside the lattice is n - 3.
    const int U = static_cast<int>(shape->u), V = static_cast<int>(shape->v), W = static_cast<int>(shape->w);
    for (int i = U - 3; i >= 1; --i) {
        for (int j = V - 3; j >= 1; --j) {
            for (int k = W - 3; k >= 1; --k) {
                vec4* out = cache->cells[(i * 7 + j) * 7 + k];
                for (int a = 0; a < 4; ++a)
                    for (int b = 0; b < 4; ++b)
                        for (int c = 0; c < 4; ++c)
                            *out++ = shape->at(static_cast<std::uint32_t>(i - 1 + a),
                                               static_cast<std::uint32_t>(j - 1 + b),
                                               static_cast<std::uint32_t>(k - 1 + c));
            }
        }
    }
}

vec4 ffd_lattice_eval(const vec4* block, float fx, float fy, float fz)
{
    auto basis = [](float t, float b[4]) {
        const float t2 = t * t;
        const float t3 = t2 * t;
        b[0] = t2 * 0.5f - (t * 0.5f - 0.16666667f) - t3 * 0.16666667f;
        b[1] = t3 * 0.5f - t2 + 0.6666667f;
        b[2] = t2 * 0.5f + t * 0.5f - t3 * 0.5f + 0.16666667f;
        b[3] = t3 * 0.16666667f;
    };
    float bx[4], by[4], bz[4];
    basis(fx, bx);
    basis(fy, by);
    basis(fz, bz);
    vec4 out{0.0f, 0.0f, 0.0f, 1.0f};
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            for (int k = 0; k < 4; ++k) {
                const float weight = bx[i] * by[j] * bz[k];
                const vec4& p = block[(i * 4 + j) * 4 + k];
                out.x += weight * p.x;
                out.y += weight * p.y;
                out.z += weight * p.z;
            }
        }
    }
    return out;
}

void lattice_deform_point(const lattice_cell_cache* cache, const lattice_shape* shape, vec4* out, const vec4* p)
{
    const float c[3] = {(p->x - shape->box_min.x) * shape->cell_scale[0],
                        (p->y - shape->box_min.y) * shape->cell_scale[1],
                        (p->z - shape->box_min.z) * shape->cell_scale[2]};
    // The working shape's counts include the border layer: n - 3 cells,
    // which lattice_cells_prepare fills as cells 0 .. n - 4.
    const int cells[3] = {static_cast<int>(shape->u) - 3, static_cast<int>(shape->v) - 3,
                          static_cast<int>(shape->w) - 3};
    int index[3];
    float frac[3];
    for (int a = 0; a < 3; ++a) {
        if (cells[a] < 1 || cells[a] > lattice_cell_cache::axis_cells - 2) {
            // No prepared cell on this axis: the point stays where it is.
            out->x = p->x;
            out->y = p->y;
            out->z = p->z;
            return;
        }
        // At most one cell beyond the lattice on either side (NaN reads as
        // the low end), so the edge cell's polynomial is continued a little
        // and never far.
        const float q = std::fmin(std::fmax(c[a], -1.0f), static_cast<float>(cells[a] + 1));
        // The cell is the coordinate truncated toward zero, clamped to the
        // prepared cells; the fraction is measured from it and may leave
        // [0, 1) beyond the lattice's faces.
        int cell = trunc_to_int(q);
        cell = cell < 0 ? 0 : (cell >= cells[a] ? cells[a] - 1 : cell);
        index[a] = cell;
        frac[a] = q - static_cast<float>(cell);
    }
    const int slot = ((index[0] * 7 + index[1]) * 7 + index[2]) + 57;
    const vec4 q = ffd_lattice_eval(cache->cells[slot], frac[0], frac[1], frac[2]);
    out->x = q.x;
    out->y = q.y;
    out->z = q.z;
}
