#include "engine/base/cubic_segment.h"

#include <cmath>

namespace {

struct axis_coeffs {
    float a3;
    float a2;
    float a1;
    float a0;
};

float axis_of(const vec4& v, int axis)
{
    return axis == 0 ? v.x : axis == 1 ? v.y : v.z;
}

void set_axis(vec4& v, int axis, float value)
{
    (axis == 0 ? v.x : axis == 1 ? v.y : v.z) = value;
}

axis_coeffs coeffs_of(const cubic_segment* s, int axis)
{
    const float p0 = axis_of(s->ctrl[0], axis);
    const float p1 = axis_of(s->ctrl[1], axis);
    const float p2 = axis_of(s->ctrl[2], axis);
    const float p3 = axis_of(s->ctrl[3], axis);
    return {p3 - 3.0f * p2 + 3.0f * p1 - p0, 3.0f * p0 - 6.0f * p1 + 3.0f * p2, 3.0f * p1 - 3.0f * p0, p0};
}

} // namespace

vec4* cubic_eval(const cubic_segment* segment, vec4* out, float t)
{
    float r[3];
    for (int axis = 0; axis < 3; ++axis) {
        const axis_coeffs c = coeffs_of(segment, axis);
        r[axis] = ((c.a3 * t + c.a2) * t + c.a1) * t + c.a0;
    }
    out->x = r[0];
    out->y = r[1];
    out->z = r[2];
    return out;
}

vec4* cubic_eval_tangent(const cubic_segment* segment, vec4* out, float t)
{
    float r[3];
    for (int axis = 0; axis < 3; ++axis) {
        const axis_coeffs c = coeffs_of(segment, axis);
        r[axis] = (3.0f * c.a3 * t + 2.0f * c.a2) * t + c.a1;
    }
    out->x = r[0];
    out->y = r[1];
    out->z = r[2];
    return out;
}

cubic_segment* cubic_segment_coeffs(cubic_segment* segment)
{
    for (int axis = 0; axis < 3; ++axis) {
        const axis_coeffs c = coeffs_of(segment, axis);
        set_axis(segment->a3, axis, c.a3);
        set_axis(segment->a2, axis, c.a2);
        set_axis(segment->a1, axis, c.a1);
        set_axis(segment->a0, axis, c.a0);
    }
    return segment;
}

cubic_segment cubic_split(const cubic_segment* segment, float t)
{
    cubic_segment r{};
    const vec4* p = segment->ctrl;
    vec4 l1{};
    vec4 l2{};
    vec4 l3{};
    vec_lerp(&p[0], &l1, &p[1], t);
    vec_lerp(&p[1], &l2, &p[2], t);
    vec_lerp(&l1, &l3, &l2, t);
    r.ctrl[0] = p[0];
    r.ctrl[1] = l1;
    r.ctrl[2] = l3;
    cubic_eval(segment, &r.ctrl[3], t);
    return r;
}

cubic_segment* cubic_forward_diff(cubic_segment* segment, float h)
{
    cubic_segment_coeffs(segment);
    const float h2 = h * h;
    const float h3 = h2 * h;
    for (int axis = 0; axis < 3; ++axis) {
        const float a3 = axis_of(segment->a3, axis);
        const float a2 = axis_of(segment->a2, axis);
        const float a1 = axis_of(segment->a1, axis);
        segment->diff[axis][0] = a1 * h + a2 * h2 + a3 * h3;
        segment->diff[axis][1] = 2.0f * a2 * h2 + 6.0f * a3 * h3;
        segment->diff[axis][2] = 6.0f * a3 * h3;
    }
    return segment;
}

float* cubic_tabulate(cubic_segment* segment, int n, float* samples)
{
    const vec4 start = segment->ctrl[0];
    float p[3] = {start.x, start.y, start.z};
    float* out = samples;
    *out++ = 0.0f;
    *out++ = p[0];
    *out++ = p[1];
    *out++ = p[2];
    *out++ = start.w;
    // Checked before the step 1/n is formed: no division by zero.
    if (n <= 0)
        return out;

    const float h = 1.0f / static_cast<float>(n);
    cubic_forward_diff(segment, h);
    float t = 0.0f;
    for (int k = 1; k <= n; ++k) {
        for (int axis = 0; axis < 3; ++axis) {
            float* d = segment->diff[axis];
            p[axis] += d[0];
            d[0] += d[1];
            d[1] += d[2];
        }
        t += h;
        *out++ = t;
        *out++ = p[0];
        *out++ = p[1];
        *out++ = p[2];
        *out++ = start.w;
    }
    return out;
}

cubic_segment* cubic_bounds(cubic_segment* segment)
{
    for (int axis = 0; axis < 3; ++axis) {
        const float p0 = axis_of(segment->ctrl[0], axis);
        const float p3 = axis_of(segment->ctrl[3], axis);
        float lo = p3 <= p0 ? p3 : p0;
        float hi = p3 <= p0 ? p0 : p3;

        axis_coeffs c = coeffs_of(segment, axis);
        // A zero cubic term would make the root formula divide by zero.
        if (c.a3 == 0.0f)
            c.a3 = 0.001f;
        // The roots in double precision: no square of a float coefficient
        // overflows there.
        const double a = 3.0 * c.a3;
        const double b = 2.0 * c.a2;
        const double disc = std::sqrt(std::fabs(b * b - 4.0 * a * c.a1));
        const double roots[2] = {(disc - b) / (2.0 * a), (-b - disc) / (2.0 * a)};
        for (double root : roots) {
            if (root >= 0.0 && root <= 1.0) {
                const float t = static_cast<float>(root);
                const float v = ((c.a3 * t + c.a2) * t + c.a1) * t + p0;
                if (v < lo)
                    lo = v;
                if (v > hi)
                    hi = v;
            }
        }
        set_axis(segment->bbox_min, axis, lo);
        set_axis(segment->bbox_max, axis, hi);
    }
    return segment;
}
