#include "engine/model/fcurve.h"

#include <cmath>
#include <cstdlib>
#include <initializer_list>

#include "engine/base/error_box.h"

namespace {

constexpr float kThird = 0.33333334f;

// Cubic Bezier control values of the segment a -> b.
struct bezier {
    float p0, p1, p2, p3, h;
};

bezier segment_bezier(const fcurve_key* a, const fcurve_key* b)
{
    const float h = (b->time - a->time) * kThird;
    return {a->value, a->value + a->out_slope * h, b->value - b->in_slope * h, b->value, h};
}

// Roots in [0, 1] of 3 a u^2 + 2 b u + c (the derivative of the segment's
// polynomial); returns how many were written.
int derivative_roots(float a, float b, float c, float roots[2])
{
    if (a == 0.0f)
        a = 0.001f;
    const double qa = 3.0 * a;
    const double qb = 2.0 * b;
    const double disc = qb * qb - 4.0 * qa * c;
    if (disc < 0.0)
        return 0;
    const double s = std::sqrt(disc);
    int n = 0;
    for (const double u : {(-qb - s) / (2.0 * qa), (-qb + s) / (2.0 * qa)}) {
        if (u >= 0.0 && u <= 1.0)
            roots[n++] = static_cast<float>(u);
    }
    return n;
}

} // namespace

void fcurve_mode_error(const char* caption)
{
    error_box(caption, "\nError - FcurvePostValue: illegal extrapolation mode\n");
    std::exit(1);
}

fcurve::~fcurve()
{
    if (owner_state == 2) {
        fcurve_key* key = first;
        while (key) {
            fcurve_key* next = key->next;
            delete key;
            key = next;
        }
        first = last = nullptr;
        key_count = 0;
    }
    --live;
}

void fcurve::set_state(std::uint32_t state)
{
    for (fcurve_key* key = first; key; key = key->next)
        key->set_state(state);
    owner_state = state;
}

void fcurve::copy(const fcurve& other)
{
    name_hash = other.name_hash;
    param_id = other.param_id;
    first = other.first;
    last = other.last;
    key_count = other.key_count;
    pre_mode = other.pre_mode;
    post_mode = other.post_mode;
    interp = other.interp;
    owner_state = other.owner_state;
}

float fcurve::cycle_time(float t) const
{
    const float t0 = first->time;
    const float length = last->time - t0;
    // Only called with length > 0.
    float shifted = std::fmod(t - t0, length);
    if (shifted < 0.0f)
        shifted += length;
    if (!(shifted < length))
        shifted = 0.0f;
    return t0 + shifted;
}

const fcurve_key* fcurve::segment_end(float t) const
{
    for (const fcurve_key* key = first->next; key; key = key->next) {
        if (key->time > t)
            return key;
    }
    return last;
}

float fcurve::segment_value(const fcurve_key* a, const fcurve_key* b, float t) const
{
    const float span = b->time - a->time;
    if (interp == fcurve_interp_constant || !(span > 0.0f))
        return a->value;
    const float u = (t - a->time) / span;
    if (interp == fcurve_interp_linear)
        return a->value + (b->value - a->value) * u;
    const bezier z = segment_bezier(a, b);
    const float ca = z.p3 - 3.0f * z.p2 + 3.0f * z.p1 - z.p0;
    const float cb = 3.0f * z.p0 - 6.0f * z.p1 + 3.0f * z.p2;
    const float cc = 3.0f * z.p1 - 3.0f * z.p0;
    return ((ca * u + cb) * u + cc) * u + z.p0;
}

float fcurve::calc(float t) const
{
    if (!first)
        return 0.0f;
    if (key_count == 1 || first == last)
        return first->value;

    if (t < first->time) {
        switch (pre_mode) {
        case fcurve_extrap_constant:
            return first->value;
        case fcurve_extrap_linear: {
            const fcurve_key* b = first->next;
            const float span = b->time - first->time;
            if (interp == fcurve_interp_linear && span != 0.0f)
                return first->value - (b->value - first->value) / span * (first->time - t);
            return first->value - first->in_slope * (first->time - t);
        }
        case fcurve_extrap_cycle:
            if (!(last->time > first->time))
                return first->value;
            t = cycle_time(t);
            break;
        default:
            fcurve_mode_error("fcurve::calc");
        }
    } else if (t >= last->time) {
        switch (post_mode) {
        case fcurve_extrap_constant:
            return last->value;
        case fcurve_extrap_linear: {
            const fcurve_key* a = last->prev;
            const float span = last->time - a->time;
            if (interp == fcurve_interp_linear && span != 0.0f)
                return last->value + (last->value - a->value) / span * (t - last->time);
            return last->value + last->out_slope * (t - last->time);
        }
        case fcurve_extrap_cycle:
            if (!(last->time > first->time))
                return last->value;
            t = cycle_time(t);
            break;
        default:
            fcurve_mode_error("fcurve::calc");
        }
    }
    const fcurve_key* b = segment_end(t);
    return segment_value(b->prev, b, t);
}

void fcurve::segment_key(const fcurve_key* a, const fcurve_key* b, float t, fcurve_key* key) const
{
    const float span = b->time - a->time;
    if (interp == fcurve_interp_constant || interp == fcurve_interp_linear || !(span > 0.0f)) {
        key->value = segment_value(a, b, t);
        return;
    }
    // de Casteljau: the point and the tangent of the Bezier at u.
    const bezier z = segment_bezier(a, b);
    const float u = (t - a->time) / span;
    const float q01 = z.p0 + (z.p1 - z.p0) * u;
    const float q12 = z.p1 + (z.p2 - z.p1) * u;
    const float q23 = z.p2 + (z.p3 - z.p2) * u;
    const float r0 = q01 + (q12 - q01) * u;
    const float r1 = q12 + (q23 - q12) * u;
    key->value = r0 + (r1 - r0) * u;
    const float slope = (r1 - r0) / z.h;
    key->out_slope = slope;
    key->in_slope = slope;
}

void fcurve::eval_key(fcurve_key* key, float t)
{
    key->time = t;
    if (!first) {
        key->value = 0.0f;
        key->out_slope = key->in_slope = 0.0f;
        return;
    }
    if (key_count == 1 || first == last) {
        key->value = first->value;
        key->out_slope = key->in_slope = first->in_slope;
        return;
    }
    if (t < first->time) {
        switch (pre_mode) {
        case fcurve_extrap_constant:
            key->value = first->value;
            key->out_slope = key->in_slope = 0.0f;
            first->in_slope = 0.0f;
            return;
        case fcurve_extrap_linear:
            key->value = first->value + (t - first->time) * first->in_slope;
            key->out_slope = key->in_slope = first->in_slope;
            return;
        case fcurve_extrap_cycle:
            if (!(last->time > first->time)) {
                key->value = first->value;
                key->out_slope = key->in_slope = 0.0f;
                return;
            }
            t = cycle_time(t);
            break;
        default:
            fcurve_mode_error("fcurve::eval_key");
        }
    } else if (t >= last->time) {
        switch (post_mode) {
        case fcurve_extrap_constant:
            key->value = last->value;
            key->out_slope = key->in_slope = 0.0f;
            last->out_slope = 0.0f;
            return;
        case fcurve_extrap_linear:
            key->value = last->value + (t - last->time) * last->out_slope;
            key->out_slope = key->in_slope = last->out_slope;
            return;
        case fcurve_extrap_cycle:
            if (!(last->time > first->time)) {
                key->value = last->value;
                key->out_slope = key->in_slope = 0.0f;
                return;
            }
            t = cycle_time(t);
            break;
        default:
            fcurve_mode_error("fcurve::eval_key");
        }
    }
    const fcurve_key* b = segment_end(t);
    segment_key(b->prev, b, t, key);
}

bool fcurve::insert_key(fcurve_key* key, float t)
{
    if (key_count >= max_keys)
        return false;
    key->time = t;
    if (first && first->time < t && t < last->time) {
        fcurve_key* after = first->next;
        while (after && !(after->time > t))
            after = after->next;
        // first < t < last, so a later key exists.
        key->next = after;
        key->prev = after->prev;
        after->prev->next = key;
        after->prev = key;
    } else if (!first) {
        key->prev = key->next = nullptr;
        first = last = key;
    } else if (t >= 0.0f) {
        key->prev = last;
        key->next = nullptr;
        last->next = key;
        last = key;
    } else {
        key->prev = nullptr;
        key->next = first;
        first->prev = key;
        first = key;
    }
    ++key_count;
    return true;
}

bool fcurve::add_key_at(fcurve_key* key, float t)
{
    eval_key(key, t);
    return insert_key(key, t);
}

int fcurve::value_range(float* min, float* max) const
{
    if (!first)
        return 0;
    float lo = first->value;
    float hi = first->value;
    for (const fcurve_key* key = first->next; key; key = key->next) {
        lo = std::fmin(lo, key->value);
        hi = std::fmax(hi, key->value);
        const fcurve_key* a = key->prev;
        if (interp == fcurve_interp_constant || interp == fcurve_interp_linear || !(key->time > a->time))
            continue;
        const bezier z = segment_bezier(a, key);
        const float ca = z.p3 - 3.0f * z.p2 + 3.0f * z.p1 - z.p0;
        const float cb = 3.0f * z.p0 - 6.0f * z.p1 + 3.0f * z.p2;
        const float cc = 3.0f * z.p1 - 3.0f * z.p0;
        float roots[2];
        const int n = derivative_roots(ca, cb, cc, roots);
        for (int i = 0; i < n; ++i) {
            const float u = roots[i];
            const float v = ((ca * u + cb) * u + cc) * u + z.p0;
            lo = std::fmin(lo, v);
            hi = std::fmax(hi, v);
        }
    }
    *min = lo;
    *max = hi;
    return 1;
}

void fcurve::remap_values(float new_min, float new_max)
{
    float lo = 0.0f;
    float hi = 0.0f;
    if (!value_range(&lo, &hi))
        return;
    const float range = hi - lo;
    const float f = range != 0.0f ? (new_max - new_min) / range : 0.0f;
    for (fcurve_key* key = first; key; key = key->next) {
        key->value = (key->value - lo) * f + new_min;
        key->out_slope *= f;
        key->in_slope *= f;
    }
}

void fcurve::scale_values(float target)
{
    float lo = 0.0f;
    float hi = 0.0f;
    if (!value_range(&lo, &hi) || hi == 0.0f)
        return;
    const float f = target / hi;
    for (fcurve_key* key = first; key; key = key->next) {
        key->value *= f;
        key->out_slope *= f;
        key->in_slope *= f;
    }
}
