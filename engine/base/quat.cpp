#include "engine/base/quat.h"

#include <cmath>
#include <numbers>

namespace {

// Below this angle slerp interpolates linearly.
constexpr float small_angle = 0.0001f;
// Within this distance of pi, 1 / sin(a) amplifies the rounding of q0 + q1
// beyond use, and slerp turns about the orthogonal part of q1 instead.
constexpr double near_pi_margin = 0.001;

float dot4(const quat* a, const quat* b)
{
    return a->x * b->x + a->y * b->y + a->z * b->z + a->w * b->w;
}

quat* lerp4(const quat* q0, quat* out, const quat* q1, float t)
{
    const quat a = *q0;
    const quat b = *q1;
    out->x = a.x + (b.x - a.x) * t;
    out->y = a.y + (b.y - a.y) * t;
    out->z = a.z + (b.z - a.z) * t;
    out->w = a.w + (b.w - a.w) * t;
    return out;
}

// Slerp over an angle close to pi: out = q0 cos(t a) + |q0| r sin(t a), with r
// the unit direction of q1's part orthogonal to q0. When q1 is q0 negated
// there is no such part and any direction orthogonal to q0 serves.
quat* slerp_near_pi(const quat* q0, quat* out, const quat* q1, double a, float t)
{
    const double p[4] = {q0->x, q0->y, q0->z, q0->w};
    const double q[4] = {q1->x, q1->y, q1->z, q1->w};
    const double pp = p[0] * p[0] + p[1] * p[1] + p[2] * p[2] + p[3] * p[3];
    const double pq = p[0] * q[0] + p[1] * q[1] + p[2] * q[2] + p[3] * q[3];
    double r[4];
    double rr = 0.0;
    for (int i = 0; i < 4; ++i) {
        r[i] = q[i] - (pq / pp) * p[i];
        rr += r[i] * r[i];
    }
    if (rr < 1e-12 * pp) {
        r[0] = -p[1];
        r[1] = p[0];
        r[2] = -p[3];
        r[3] = p[2];
        rr = pp;
    }
    const double ta = static_cast<double>(t) * a;
    const double c = std::cos(ta);
    const double s = std::sin(ta) * std::sqrt(pp / rr);
    out->x = static_cast<float>(p[0] * c + r[0] * s);
    out->y = static_cast<float>(p[1] * c + r[1] * s);
    out->z = static_cast<float>(p[2] * c + r[2] * s);
    out->w = static_cast<float>(p[3] * c + r[3] * s);
    return out;
}

} // namespace

quat* quat_slerp(const quat* q0, quat* out, const quat* q1, float t)
{
    const float d = dot4(q0, q1);
    // arccos is undefined outside [-1, 1], where rounding can put the dot
    // product of two unit quaternions. Above 1 the angle is nil: the linear
    // branch. At or below -1 the angle is a half turn, where the linear
    // branch would pass through the zero quaternion.
    if (std::islessequal(d, -1.0f))
        return slerp_near_pi(q0, out, q1, std::numbers::pi, t);
    if (!std::islessequal(d, 1.0f))
        return lerp4(q0, out, q1, t);
    const float a = static_cast<float>(std::acos(static_cast<double>(d)));
    if (a <= small_angle)
        return lerp4(q0, out, q1, t);
    if (static_cast<double>(a) >= std::numbers::pi - near_pi_margin)
        return slerp_near_pi(q0, out, q1, a, t);

    const float k = static_cast<float>(1.0 / std::sin(static_cast<double>(a)));
    const float k0 = static_cast<float>(std::sin(static_cast<double>((1.0f - t) * a))) * k;
    const float k1 = static_cast<float>(std::sin(static_cast<double>(t * a))) * k;
    const quat a0 = *q0;
    const quat a1 = *q1;
    out->x = a0.x * k0 + a1.x * k1;
    out->y = a0.y * k0 + a1.y * k1;
    out->z = a0.z * k0 + a1.z * k1;
    out->w = a0.w * k0 + a1.w * k1;
    return out;
}

quat* quat_bisect(const quat* q0, quat* out, const quat* q1)
{
    quat h;
    quat_slerp(q0, &h, q1, 0.5f);
    const float k = 1.0f / (std::sqrt(dot4(&h, &h)) + 0.001f);
    out->x = h.x * k;
    out->y = h.y * k;
    out->z = h.z * k;
    out->w = h.w * k;
    return out;
}

quat* quat_lerp(const quat* q0, quat* out, const quat* q1, float t)
{
    return lerp4(q0, out, q1, t);
}

quat* quat_reflect(const quat* q, quat* out, const quat* p)
{
    const float d2 = 2.0f * dot4(q, p);
    const quat a = *q;
    const quat b = *p;
    out->x = d2 * b.x - a.x;
    out->y = d2 * b.y - a.y;
    out->z = d2 * b.z - a.z;
    out->w = d2 * b.w - a.w;
    return out;
}

mat4* quat_to_mat(const quat* q, mat4* m)
{
    const float x = q->x;
    const float y = q->y;
    const float z = q->z;
    const float w = q->w;
    mat_identity(m);
    m->m[0][0] = 1.0f - 2.0f * (y * y + z * z);
    m->m[0][1] = 2.0f * (x * y + z * w);
    m->m[0][2] = 2.0f * (x * z - y * w);
    m->m[1][0] = 2.0f * (x * y - z * w);
    m->m[1][1] = 1.0f - 2.0f * (x * x + z * z);
    m->m[1][2] = 2.0f * (y * z + x * w);
    m->m[2][0] = 2.0f * (x * z + y * w);
    m->m[2][1] = 2.0f * (y * z - x * w);
    m->m[2][2] = 1.0f - 2.0f * (x * x + y * y);
    return m;
}

mat4 quat_to_mat(const quat* q)
{
    mat4 m;
    quat_to_mat(q, &m);
    return m;
}

quat* mat_to_quat(const mat4* m, quat* q)
{
    const auto& e = m->m;
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            if (!std::isfinite(e[r][c])) {
                *q = quat{0.0f, 0.0f, 0.0f, 1.0f};
                return q;
            }
        }
    }

    // Formed in double precision: no sum or product of finite float entries
    // overflows there.
    double d[3][3];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            d[r][c] = e[r][c];

    const double trace = d[0][0] + d[1][1] + d[2][2];
    if (trace > 0.0) {
        const double s = std::sqrt(trace + 1.0);
        const double f = 0.5 / s;
        q->w = static_cast<float>(s / 2.0);
        q->x = static_cast<float>((d[1][2] - d[2][1]) * f);
        q->y = static_cast<float>((d[2][0] - d[0][2]) * f);
        q->z = static_cast<float>((d[0][1] - d[1][0]) * f);
        return q;
    }

    int i = 0;
    if (d[1][1] > d[0][0])
        i = 1;
    if (d[2][2] > d[i][i])
        i = 2;
    static constexpr int next[3] = {1, 2, 0};
    const int j = next[i];
    const int k = next[j];
    const double radicand = d[i][i] - d[j][j] - d[k][k] + 1.0;
    // With the largest diagonal entry chosen and a trace that is not
    // positive, the radicand is at least 1; the guard keeps the square root
    // and the division safe all the same.
    if (!(radicand > 0.0)) {
        *q = quat{0.0f, 0.0f, 0.0f, 1.0f};
        return q;
    }
    const double s = std::sqrt(radicand);
    const double f = 0.5 / s;
    double v[3];
    v[i] = s / 2.0;
    v[j] = (d[i][j] + d[j][i]) * f;
    v[k] = (d[i][k] + d[k][i]) * f;
    q->w = static_cast<float>((d[j][k] - d[k][j]) * f);
    q->x = static_cast<float>(v[0]);
    q->y = static_cast<float>(v[1]);
    q->z = static_cast<float>(v[2]);
    return q;
}

quat* quat_from_angles(const float angles[3], quat* q)
{
    mat4 m;
    mat_identity(&m);
    mat_rotate_x(&m, &m, angles[0]);
    mat_rotate_y(&m, &m, angles[1]);
    mat_rotate_z(&m, &m, angles[2]);
    return mat_to_quat(&m, q);
}

quat* quat_spline(const quat keys[4], quat* out, float t)
{
    quat a;
    quat b;
    quat c;
    quat_slerp(&keys[0], &a, &keys[1], t);
    quat_slerp(&keys[1], &b, &keys[2], t);
    quat_slerp(&keys[2], &c, &keys[3], t);
    quat d;
    quat e;
    quat_slerp(&a, &d, &b, t);
    quat_slerp(&b, &e, &c, t);
    return quat_slerp(&d, out, &e, t);
}
