#include "engine/base/vec4.h"

#include <bit>
#include <cmath>
#include <cstdint>

float fast_inv_sqrt(float x)
{
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(x);
    const float h = 0.5f * x;
    float y = std::bit_cast<float>(0x5F3759DFu - (bits >> 1));
    y = y * (1.5f - h * y * y);
    y = y * (1.5f - h * y * y);
    return y;
}

vec4* vec_lerp(const vec4* a, vec4* out, const vec4* b, float t)
{
    const float x = a->x + (b->x - a->x) * t;
    const float y = a->y + (b->y - a->y) * t;
    const float z = a->z + (b->z - a->z) * t;
    out->x = x;
    out->y = y;
    out->z = z;
    return out;
}

vec4* vec_bisect(const vec4* a, vec4* out, const vec4* b)
{
    vec4 m = *a;
    vec_lerp(a, &m, b, 0.5f);
    const float k = 1.0f / (std::sqrt(m.x * m.x + m.y * m.y + m.z * m.z) + 0.001f);
    out->x = m.x * k;
    out->y = m.y * k;
    out->z = m.z * k;
    return out;
}

vec4* vec_reflect(const vec4* a, vec4* out, const vec4* b)
{
    const float d2 = 2.0f * (a->x * b->x + a->y * b->y + a->z * b->z);
    const float x = d2 * b->x - a->x;
    const float y = d2 * b->y - a->y;
    const float z = d2 * b->z - a->z;
    out->x = x;
    out->y = y;
    out->z = z;
    return out;
}

namespace {

// "Neither less nor greater": two vectors are equal unless a component orders them.
// Written with the quiet comparison so that it never raises an exception.
bool same_component(float a, float b)
{
    return !std::isless(a, b) && !std::isgreater(a, b);
}

float snap_component(float c, float s)
{
    const float p = c * s;
    // A product too large for the float range has no fraction to cut.
    if (!std::isfinite(p))
        return c;
    // Truncated as a float: every value beyond 2^23 is already whole and
    // snaps to itself, where a conversion through a 32-bit integer would be
    // out of range.
    const float whole = std::trunc(p);
    return c - (p - whole) / s;
}

} // namespace

int vec_equal(const vec4* a, const vec4* b)
{
    return same_component(a->x, b->x) && same_component(a->y, b->y) && same_component(a->z, b->z)
        ? 1
        : 0;
}

vec4* vec_snap(const vec4* a, vec4* out, float s)
{
    if (s == 0.0f || !std::isfinite(s)) {
        out->x = a->x;
        out->y = a->y;
        out->z = a->z;
        return out;
    }
    out->x = snap_component(a->x, s);
    out->y = snap_component(a->y, s);
    out->z = snap_component(a->z, s);
    return out;
}

vec4* vec_rotate_axis(const vec4* a, vec4* out, const vec4* axis, float angle)
{
    const float c = static_cast<float>(std::cos(static_cast<double>(angle)));
    const float s = static_cast<float>(std::sin(static_cast<double>(angle)));
    const float t = 1.0f - c;
    const float x = axis->x;
    const float y = axis->y;
    const float z = axis->z;

    // Diagonal written as (1 - x^2) c + x^2, the same value as x^2 t + c.
    const float r00 = (1.0f - x * x) * c + x * x;
    const float r01 = x * y * t + z * s;
    const float r02 = x * z * t - y * s;
    const float r10 = x * y * t - z * s;
    const float r11 = (1.0f - y * y) * c + y * y;
    const float r12 = y * z * t + x * s;
    const float r20 = x * z * t + y * s;
    const float r21 = y * z * t - x * s;
    const float r22 = (1.0f - z * z) * c + z * z;

    const float px = a->x;
    const float py = a->y;
    const float pz = a->z;
    out->x = px * r00 + py * r10 + pz * r20;
    out->y = px * r01 + py * r11 + pz * r21;
    out->z = px * r02 + py * r12 + pz * r22;
    return out;
}
