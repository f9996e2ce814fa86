#include "sim/vec3.h"

#include <cmath>

Vec3& Vec3::Assign(const Vec3& v)
{
    x = v.x;
    y = v.y;
    z = v.z;
    return *this;
}

Vec3& Vec3::Add(const Vec3& v)
{
    x += v.x;
    y += v.y;
    z += v.z;
    return *this;
}

Vec3& Vec3::Subtract(const Vec3& v)
{
    x -= v.x;
    y -= v.y;
    z -= v.z;
    return *this;
}

Vec3 Vec3::Plus(const Vec3& v) const { return {x + v.x, y + v.y, z + v.z}; }
Vec3 Vec3::Minus(const Vec3& v) const { return {x - v.x, y - v.y, z - v.z}; }
Vec3 Vec3::Times(float k) const { return {x * k, y * k, z * k}; }

Vec3 Vec3::Normalised() const
{
    const float length = Length();
    if (!(length > 0.0f))
        return {};
    const float inverse = 1.0f / length;
    return {x * inverse, y * inverse, z * inverse};
}

float Vec3::Length() const { return std::sqrt(x * x + y * y + z * z); }
float Vec3::Dot(const Vec3& v) const { return x * v.x + y * v.y + z * v.z; }

Vec3 Vec3::Cross(const Vec3& v) const
{
    return {y * v.z - z * v.y, z * v.x - x * v.z, x * v.y - y * v.x};
}

Vec3 Vec3DivScalar(const Vec3& v, float scalar) { return {v.x / scalar, v.y / scalar, v.z / scalar}; }

AngleCosSin::AngleCosSin(float a) : c(std::cos(a)), s(std::sin(a)) {}

Vec3 VecRotateX(const Vec3& v, const AngleCosSin& a)
{
    return {v.x, a.c * v.y - a.s * v.z, a.s * v.y + a.c * v.z};
}

Vec3 VecRotateY(const Vec3& v, const AngleCosSin& a)
{
    return {a.s * v.z + a.c * v.x, v.y, a.c * v.z - a.s * v.x};
}

Vec3 VecRotateZ(const Vec3& v, const AngleCosSin& a)
{
    return {a.c * v.x - a.s * v.y, a.c * v.y + a.s * v.x, v.z};
}

Vec3 VecRotateX(const Vec3& v, float a) { return VecRotateX(v, AngleCosSin(a)); }
Vec3 VecRotateY(const Vec3& v, float a) { return VecRotateY(v, AngleCosSin(a)); }
Vec3 VecRotateZ(const Vec3& v, float a) { return VecRotateZ(v, AngleCosSin(a)); }

void VecRotate2D(float out[2], const float p[2], float a)
{
    const float c = std::cos(a);
    const float s = std::sin(a);
    const float x = s * p[1] + c * p[0];
    const float z = c * p[1] - s * p[0];
    out[0] = x;
    out[1] = z;
}

Vec2 VecRotate2D(const Vec2& p, float a)
{
    const float in[2] = {p.x, p.z};
    float out[2];
    VecRotate2D(out, in, a);
    return {out[0], out[1]};
}

Vec3 VecRotateAxis(const Vec3& v, const Vec3& axis, float a)
{
    const float c = std::cos(a);
    const float s = std::sin(a);
    const float t = 1.0f - c;
    const float ux = axis.x, uy = axis.y, uz = axis.z;
    // Rows of the rotation matrix applied to the column vector v.
    return {
        (t * ux * ux + c) * v.x + (t * ux * uy - s * uz) * v.y + (t * ux * uz + s * uy) * v.z,
        (t * ux * uy + s * uz) * v.x + (t * uy * uy + c) * v.y + (t * uy * uz - s * ux) * v.z,
        (t * ux * uz - s * uy) * v.x + (t * uy * uz + s * ux) * v.y + (t * uz * uz + c) * v.z,
    };
}

namespace {

float segment_param(float px, float pz, float ax, float az, float bx, float bz)
{
    const float ex = ax - bx;
    const float ez = az - bz;
    const float length2 = ex * ex + ez * ez;
    if (!(length2 > 0.0f))
        return 0.0f;
    return ((ax - px) * ex + (az - pz) * ez) / length2;
}

} // namespace

float SegmentParamXZ(const Vec3& p, const Vec3& a, const Vec3& b)
{
    return segment_param(p.x, p.z, a.x, a.z, b.x, b.z);
}

float SegmentParam2D(const float p[2], const float a[2], const float b[2])
{
    constexpr float k = 0.0625f;
    return segment_param(p[0] * k, p[1] * k, a[0] * k, a[1] * k, b[0] * k, b[1] * k);
}

float SegmentParam2D(const Vec2& p, const Vec2& a, const Vec2& b)
{
    const float pp[2] = {p.x, p.z};
    const float aa[2] = {a.x, a.z};
    const float bb[2] = {b.x, b.z};
    return SegmentParam2D(pp, aa, bb);
}
