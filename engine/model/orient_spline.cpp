#include "engine/model/orient_spline.h"

#include <cmath>

#include "engine/model/spline_points.h"

namespace {

float guarded_chord(const orient_key* a, float u0, float u1)
{
    return orient_distance(orient_segment_point(a, u0), orient_segment_point(a, u1));
}

quat doubled(const quat& a, const quat& b)
{
    quat out;
    quat_reflect(&a, &out, &b);
    return out;
}

quat bisect(const quat& a, const quat& b)
{
    quat out;
    quat_bisect(&a, &out, &b);
    return out;
}

} // namespace

float orient_distance(const quat& a, const quat& b)
{
    const float dx = b.x - a.x;
    const float dy = b.y - a.y;
    const float dz = b.z - a.z;
    const float dw = b.w - a.w;
    return std::sqrt(dx * dx + dy * dy + dz * dz + dw * dw + 0.001f);
}

quat orient_segment_point(const orient_key* a, float u)
{
    const quat controls[4] = {a->key, a->out_handle, a->next->in_handle, a->next->key};
    quat out;
    quat_spline(controls, &out, u);
    return out;
}

void orient_key::copy(const orient_key& other)
{
    flags = other.flags;
    in_handle = other.in_handle;
    key = other.key;
    out_handle = other.out_handle;
    cumulative = other.cumulative;
    segment_length = other.segment_length;
    correction = other.correction;
}

orient_spline::~orient_spline()
{
    spline_points::delete_points(*this);
}

void orient_spline::set_state(std::uint32_t state)
{
    spline_points::set_state(*this, state);
}

bool orient_spline::insert_key(orient_key* key, std::int32_t index, std::uint32_t rebuild_flags)
{
    return spline_points::insert(*this, key, index, rebuild_flags);
}

bool orient_spline::append_keys(orient_key* const* keys, std::uint32_t n, std::uint32_t rebuild_flags)
{
    return spline_points::append(*this, keys, n, rebuild_flags);
}

void orient_spline::measure_segment(orient_key* key) const
{
    key->correction = 0.0f;
    if (!key->next) {
        key->segment_length = 0.0f;
        key->cumulative = 0.0f;
        return;
    }
    float sum = 0.0f;
    for (int i = 0; i < spline_points::table_steps; ++i)
        sum += guarded_chord(key, static_cast<float>(i) / spline_points::table_steps,
                             static_cast<float>(i + 1) / spline_points::table_steps);
    key->segment_length = sum;
}

void orient_spline::accumulate(orient_key* key) const
{
    spline_points::accumulate(key);
}

quat orient_spline::key_at(float s) const
{
    if (!first)
        return quat{0.0f, 0.0f, 0.0f, 1.0f};
    float u = 0.0f;
    const orient_key* a = spline_points::locate<orient_spline, orient_key>(*this, s, u, guarded_chord);
    if (!a)
        return first->key;
    return orient_segment_point(a, u);
}

void orient_spline::key_record_at(float s, orient_key* out) const
{
    if (!first) {
        out->key = out->in_handle = out->out_handle = quat{0.0f, 0.0f, 0.0f, 1.0f};
        return;
    }
    float u = 0.0f;
    const orient_key* a = spline_points::locate<orient_spline, orient_key>(*this, s, u, guarded_chord);
    if (!a) {
        out->key = first->key;
        out->in_handle = first->in_handle;
        out->out_handle = first->out_handle;
        return;
    }
    out->key = orient_segment_point(a, u);
    quat_slerp(&a->in_handle, &out->in_handle, &a->next->in_handle, u);
    quat_slerp(&a->out_handle, &out->out_handle, &a->next->out_handle, u);
}

void orient_spline::auto_handles(orient_key* k) const
{
    const orient_key* p = k->prev;
    const orient_key* n = k->next;
    if (wraps()) {
        if (!p && last->prev)
            p = last->prev;
        if (!n && first->next)
            n = first->next;
    }
    const quat& q = k->key;
    if (p && n) {
        k->in_handle = bisect(bisect(doubled(n->key, q), p->key), q);
        k->out_handle = bisect(bisect(doubled(p->key, q), n->key), q);
    } else if (n) {
        quat_slerp(&q, &k->out_handle, &n->key, 0.33333334f);
    } else if (p) {
        quat_slerp(&q, &k->in_handle, &p->key, 0.33333334f);
    }
}

void orient_spline::rebuild_around(orient_key* key)
{
    orient_key* before = key->prev;
    orient_key* after = key->next;
    if (before)
        auto_handles(before);
    auto_handles(key);
    if (after)
        auto_handles(after);
    orient_key* from = before && before->prev ? before->prev : (before ? before : key);
    for (orient_key* k = from; k && k != (after ? after->next : nullptr); k = k->next)
        measure_segment(k);
    if (wraps()) {
        last->key = first->key;
        auto_handles(first);
        auto_handles(last);
        measure_segment(first);
        measure_segment(last->prev);
        measure_segment(last);
        from = first;
    }
    accumulate(from);
}
