#include "engine/model/path_spline.h"

#include <cmath>

#include "engine/base/cubic_segment.h"
#include "engine/model/spline_points.h"

namespace {

cubic_segment segment_of(const path_point* a)
{
    cubic_segment seg{};
    seg.ctrl[0] = a->position;
    seg.ctrl[1] = a->out_handle;
    seg.ctrl[2] = a->next->in_handle;
    seg.ctrl[3] = a->next->position;
    return seg;
}

float exact_distance(const vec4& a, const vec4& b)
{
    const float dx = b.x - a.x;
    const float dy = b.y - a.y;
    const float dz = b.z - a.z;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

float guarded_chord(const path_point* a, float u0, float u1)
{
    return path_distance(path_segment_point(a, u0), path_segment_point(a, u1));
}

float six_chords(const path_point* a)
{
    float sum = 0.0f;
    for (int i = 0; i < spline_points::table_steps; ++i)
        sum += guarded_chord(a, static_cast<float>(i) / spline_points::table_steps,
                             static_cast<float>(i + 1) / spline_points::table_steps);
    return sum;
}

// The adaptive measure: from a step of 0.5625, halve it (at most 8 times)
// while the second-order term times the step squared is not below the
// tolerance, then sum exact chords over steps of that size. The guard term
// of path_distance is left out here: over many short chords it would add up
// to far more than the length itself.
float adaptive_length(const path_point* a, float tolerance)
{
    cubic_segment seg = segment_of(a);
    cubic_segment_coeffs(&seg);
    const float second = std::sqrt(seg.a2.x * seg.a2.x + seg.a2.y * seg.a2.y + seg.a2.z * seg.a2.z);
    float h = 0.5625f;
    for (int halvings = 0; halvings < 8 && !(second * h * h < tolerance); ++halvings)
        h *= 0.5f;
    const int steps = static_cast<int>(std::ceil(1.0f / h));
    float sum = 0.0f;
    vec4 previous = a->position;
    for (int i = 1; i <= steps; ++i) {
        const vec4 p = path_segment_point(a, static_cast<float>(i) / static_cast<float>(steps));
        sum += exact_distance(previous, p);
        previous = p;
    }
    return sum;
}

vec4 scaled_sum(const vec4& p, const vec4& d, float f)
{
    return {p.x + d.x * f, p.y + d.y * f, p.z + d.z * f, p.w};
}

} // namespace

float path_distance(const vec4& a, const vec4& b)
{
    const float dx = b.x - a.x;
    const float dy = b.y - a.y;
    const float dz = b.z - a.z;
    return std::sqrt(dx * dx + dy * dy + dz * dz + 0.001f);
}

vec4 path_segment_point(const path_point* a, float u)
{
    const cubic_segment seg = segment_of(a);
    vec4 out{0.0f, 0.0f, 0.0f, a->position.w};
    cubic_eval(&seg, &out, u);
    return out;
}

vec4 path_segment_tangent(const path_point* a, float u)
{
    const cubic_segment seg = segment_of(a);
    vec4 out{0.0f, 0.0f, 0.0f, 0.0f};
    cubic_eval_tangent(&seg, &out, u);
    return out;
}

void path_point::copy(const path_point& other)
{
    flags = other.flags;
    in_handle = other.in_handle;
    position = other.position;
    out_handle = other.out_handle;
    cumulative = other.cumulative;
    segment_length = other.segment_length;
    correction = other.correction;
}

path_spline::~path_spline()
{
    spline_points::delete_points(*this);
}

void path_spline::set_state(std::uint32_t state)
{
    spline_points::set_state(*this, state);
}

bool path_spline::insert_point(path_point* point, std::int32_t index, std::uint32_t rebuild_flags)
{
    return spline_points::insert(*this, point, index, rebuild_flags);
}

bool path_spline::append_points(path_point* const* points, std::uint32_t n, std::uint32_t rebuild_flags)
{
    return spline_points::append(*this, points, n, rebuild_flags);
}

void path_spline::measure_segment(path_point* point) const
{
    if (!point->next) {
        point->segment_length = 0.0f;
        point->correction = 0.0f;
        point->cumulative = 0.0f;
        return;
    }
    const float table = six_chords(point);
    if (tolerance <= 0.0f) {
        point->segment_length = table;
        point->correction = 0.0f;
    } else {
        point->segment_length = adaptive_length(point, tolerance);
        point->correction = table - point->segment_length;
    }
}

void path_spline::accumulate(path_point* point) const
{
    spline_points::accumulate(point);
}

vec4 path_spline::point_at(float s) const
{
    if (!first)
        return vec4{0.0f, 0.0f, 0.0f, 0.0f};
    float u = 0.0f;
    const path_point* a = spline_points::locate<path_spline, path_point>(*this, s, u, guarded_chord);
    if (!a)
        return first->position;
    return path_segment_point(a, u);
}

void path_spline::point_and_tangent_at(float s, vec4* position, vec4* tangent) const
{
    *tangent = vec4{0.0f, 0.0f, 0.0f, 0.0f};
    if (!first) {
        *position = vec4{0.0f, 0.0f, 0.0f, 0.0f};
        return;
    }
    float u = 0.0f;
    const path_point* a = spline_points::locate<path_spline, path_point>(*this, s, u, guarded_chord);
    if (!a) {
        *position = first->position;
        return;
    }
    *position = path_segment_point(a, u);
    *tangent = path_segment_tangent(a, u);
}

void path_spline::auto_handles(path_point* p) const
{
    const path_point* a = p->prev;
    const path_point* b = p->next;
    if (wraps()) {
        if (!a && last->prev)
            a = last->prev;
        if (!b && first->next)
            b = first->next;
    }
    const vec4& pos = p->position;
    if (a && b) {
        const float ab = path_distance(a->position, b->position);
        const vec4 d{(b->position.x - a->position.x) / ab, (b->position.y - a->position.y) / ab,
                     (b->position.z - a->position.z) / ab, 0.0f};
        p->in_handle = scaled_sum(pos, d, -path_distance(pos, a->position) / 3.0f);
        p->out_handle = scaled_sum(pos, d, path_distance(b->position, pos) / 3.0f);
    } else if (b) {
        const vec4 d{b->position.x - pos.x, b->position.y - pos.y, b->position.z - pos.z, 0.0f};
        p->out_handle = scaled_sum(pos, d, 1.0f / 3.0f);
    } else if (a) {
        const vec4 d{a->position.x - pos.x, a->position.y - pos.y, a->position.z - pos.z, 0.0f};
        p->in_handle = scaled_sum(pos, d, 1.0f / 3.0f);
    }
}

void path_spline::rebuild_around(path_point* point)
{
    path_point* before = point->prev;
    path_point* after = point->next;
    if (before)
        auto_handles(before);
    auto_handles(point);
    if (after)
        auto_handles(after);
    path_point* from = before && before->prev ? before->prev : (before ? before : point);
    for (path_point* p = from; p && p != (after ? after->next : nullptr); p = p->next)
        measure_segment(p);
    if (wraps()) {
        // The last point repeats the first; both ends are redone.
        last->position = first->position;
        auto_handles(first);
        auto_handles(last);
        measure_segment(first);
        measure_segment(last->prev);
        measure_segment(last);
        from = first;
    }
    accumulate(from);
}
