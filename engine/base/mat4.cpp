#include "engine/base/mat4.h"

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>

namespace {

std::atomic<unsigned long> singular_inversions{0};

struct sin_cos {
    float s;
    float c;
};

sin_cos angle_sin_cos(float angle)
{
    const double a = angle;
    return {static_cast<float>(std::sin(a)), static_cast<float>(std::cos(a))};
}

// Determinant of the 3x3 minor left when row `skip_r` and column `skip_c` are
// struck out, in double precision.
double minor3(const mat4* m, int skip_r, int skip_c)
{
    double e[3][3];
    int rr = 0;
    for (int r = 0; r < 4; ++r) {
        if (r == skip_r)
            continue;
        int cc = 0;
        for (int c = 0; c < 4; ++c) {
            if (c == skip_c)
                continue;
            e[rr][cc++] = m->m[r][c];
        }
        ++rr;
    }
    return e[0][0] * (e[1][1] * e[2][2] - e[1][2] * e[2][1])
        - e[0][1] * (e[1][0] * e[2][2] - e[1][2] * e[2][0])
        + e[0][2] * (e[1][0] * e[2][1] - e[1][1] * e[2][0]);
}

// The signed cofactor of entry (r, c), in double precision.
double cofactor(const mat4* m, int r, int c)
{
    return ((r + c) & 1 ? -1.0 : 1.0) * minor3(m, r, c);
}

void report_singular()
{
    // A note on the error output, once per run: a singular matrix met every
    // frame must neither stop the race with a modal box nor flood the output.
    if (singular_inversions.fetch_add(1) == 0)
        std::fputs("mat_invert: singular matrix, identity used\n", stderr);
}

// Four floats handled as one value, so that a row of a product is formed
// with four-wide operations where the target has them (the compiler falls
// back to scalar code elsewhere). Each lane is computed with the same
// operations in the same order as the scalar formula, so the results are
// the same bits.
typedef float float4 __attribute__((vector_size(16)));
typedef std::uint32_t bits4 __attribute__((vector_size(16)));

float4 load_row(const float* row)
{
    float4 v;
    std::memcpy(&v, row, sizeof v);
    return v;
}

void set_rotation(mat4* m, float r00, float r01, float r02, float r10, float r11, float r12, float r20,
                  float r21, float r22)
{
    m->m[0][0] = r00;
    m->m[0][1] = r01;
    m->m[0][2] = r02;
    m->m[0][3] = 0.0f;
    m->m[1][0] = r10;
    m->m[1][1] = r11;
    m->m[1][2] = r12;
    m->m[1][3] = 0.0f;
    m->m[2][0] = r20;
    m->m[2][1] = r21;
    m->m[2][2] = r22;
    m->m[2][3] = 0.0f;
    m->m[3][0] = 0.0f;
    m->m[3][1] = 0.0f;
    m->m[3][2] = 0.0f;
    m->m[3][3] = 1.0f;
}

} // namespace

mat4* mat_identity(mat4* m)
{
    set_rotation(m, 1, 0, 0, 0, 1, 0, 0, 0, 1);
    return m;
}

mat4* mat_copy(mat4* out, const mat4* m)
{
    *out = *m;
    return out;
}

mat4* mat_mul(const mat4* a, mat4* out, const mat4* b)
{
    mat4 r;
    for (int i = 0; i < 4; ++i) {
        const float a0 = a->m[i][0];
        const float a1 = a->m[i][1];
        const float a2 = a->m[i][2];
        const float a3 = a->m[i][3];
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = a0 * b->m[0][j] + a1 * b->m[1][j] + a2 * b->m[2][j] + a3 * b->m[3][j];
    }
    *out = r;
    return out;
}

mat4* mat_mul_affine(const mat4* a, mat4* out, const mat4* b)
{
    // b's rows with the fourth column cleared bit by bit (no arithmetic on
    // it, so whatever it holds is never read as a number).
    const bits4 xyz = {~0u, ~0u, ~0u, 0u};
    const bits4 w_one = {0u, 0u, 0u, 0x3F800000u};  // 0, 0, 0, 1.0f
    const float4 b0 = (float4)((bits4)load_row(b->m[0]) & xyz);
    const float4 b1 = (float4)((bits4)load_row(b->m[1]) & xyz);
    const float4 b2 = (float4)((bits4)load_row(b->m[2]) & xyz);
    const float4 b3 = (float4)((bits4)load_row(b->m[3]) & xyz);
    // Row i of the product: a[i][0] b0 + a[i][1] b1 + a[i][2] b2, plus b's
    // translation for the translation row; the fourth column is then set to
    // 0, 0, 0, 1. Every row is formed before out is written, so out may be
    // a or b.
    const float4 r0 = a->m[0][0] * b0 + a->m[0][1] * b1 + a->m[0][2] * b2;
    const float4 r1 = a->m[1][0] * b0 + a->m[1][1] * b1 + a->m[1][2] * b2;
    const float4 r2 = a->m[2][0] * b0 + a->m[2][1] * b1 + a->m[2][2] * b2;
    const float4 r3 = a->m[3][0] * b0 + a->m[3][1] * b1 + a->m[3][2] * b2 + b3;
    const float4 rows[4] = {
        (float4)((bits4)r0 & xyz),
        (float4)((bits4)r1 & xyz),
        (float4)((bits4)r2 & xyz),
        (float4)(((bits4)r3 & xyz) | w_one),
    };
    std::memcpy(out->m, rows, sizeof rows);
    return out;
}

mat4* mat_transpose(const mat4* m, mat4* out)
{
    mat4 r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = m->m[j][i];
    *out = r;
    return out;
}

double mat_determinant(const mat4* m)
{
    return m->m[0][0] * cofactor(m, 0, 0) + m->m[0][1] * cofactor(m, 0, 1) + m->m[0][2] * cofactor(m, 0, 2)
        + m->m[0][3] * cofactor(m, 0, 3);
}

mat4* mat_adjoint(mat4* m)
{
    mat4 adj;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c)
            adj.m[c][r] = static_cast<float>(cofactor(m, r, c));
    }
    *m = adj;
    return m;
}

mat4* mat_invert(const mat4* m, mat4* out)
{
    // The cofactors and the determinant are formed in double precision and
    // each entry is rounded once, so a matrix of large or small scale whose
    // inverse fits a float is inverted even where the float determinant
    // would overflow or vanish.
    for (const auto& row : m->m) {
        for (float e : row) {
            if (!std::isfinite(e)) {
                report_singular();
                return mat_identity(out);
            }
        }
    }
    const double d = mat_determinant(m);
    if (d == 0.0 || !std::isfinite(d)) {
        report_singular();
        return mat_identity(out);
    }
    mat4 r;
    for (int row = 0; row < 4; ++row) {
        for (int col = 0; col < 4; ++col) {
            const double e = cofactor(m, row, col) / d;
            // An inverse that does not fit a float is as unusable as none.
            if (!(std::fabs(e) <= std::numeric_limits<float>::max())) {
                report_singular();
                return mat_identity(out);
            }
            r.m[col][row] = static_cast<float>(e);
        }
    }
    *out = r;
    return out;
}

unsigned long mat_singular_inversions()
{
    return singular_inversions.load();
}

void mat_reset_singular_inversions()
{
    singular_inversions.store(0);
}

mat4* mat_rot_x(mat4* m, float angle)
{
    const sin_cos t = angle_sin_cos(angle);
    set_rotation(m, 1, 0, 0, 0, t.c, t.s, 0, -t.s, t.c);
    return m;
}

mat4* mat_rot_y(mat4* m, float angle)
{
    const sin_cos t = angle_sin_cos(angle);
    set_rotation(m, t.c, 0, -t.s, 0, 1, 0, t.s, 0, t.c);
    return m;
}

mat4* mat_rot_z(mat4* m, float angle)
{
    const sin_cos t = angle_sin_cos(angle);
    set_rotation(m, t.c, t.s, 0, -t.s, t.c, 0, 0, 0, 1);
    return m;
}

mat4* mat_rotate_x(const mat4* m, mat4* out, float angle)
{
    mat4 r;
    return mat_mul(m, out, mat_rot_x(&r, angle));
}

mat4* mat_rotate_y(const mat4* m, mat4* out, float angle)
{
    mat4 r;
    return mat_mul(m, out, mat_rot_y(&r, angle));
}

mat4* mat_rotate_z(const mat4* m, mat4* out, float angle)
{
    mat4 r;
    return mat_mul(m, out, mat_rot_z(&r, angle));
}

mat4* mat_rotate_axis(const mat4* m, mat4* out, const vec4* axis, float angle)
{
    const sin_cos a = angle_sin_cos(angle);
    const float t = 1.0f - a.c;
    const float x = axis->x;
    const float y = axis->y;
    const float z = axis->z;
    mat4 r;
    set_rotation(&r, x * x * t + a.c, x * y * t + z * a.s, x * z * t - y * a.s, x * y * t - z * a.s,
                 y * y * t + a.c, y * z * t + x * a.s, x * z * t + y * a.s, y * z * t - x * a.s,
                 z * z * t + a.c);
    return mat_mul(m, out, &r);
}

mat4* mat_from_angles(mat4* m, float ax, float ay, float az)
{
    const double x = ax;
    const double y = ay;
    const double z = az;
    const double cx = std::cos(x);
    const double sx = std::sin(x);
    const double cy = std::cos(y);
    const double sy = std::sin(y);
    const double cz = std::cos(z);
    const double sz = std::sin(z);
    set_rotation(m, static_cast<float>(cy * cz), static_cast<float>(cy * sz), static_cast<float>(-sy),
                 static_cast<float>(sy * sx * cz - sz * cx), static_cast<float>(sy * sx * sz + cz * cx),
                 static_cast<float>(cy * sx), static_cast<float>(sy * cx * cz + sz * sx),
                 static_cast<float>(sy * cx * sz - cz * sx), static_cast<float>(cy * cx));
    return m;
}

vec4* mat_transform_point(const mat4* m, const vec4* p, vec4* out)
{
    const float x = p->x;
    const float y = p->y;
    const float z = p->z;
    out->x = x * m->m[0][0] + y * m->m[1][0] + z * m->m[2][0] + m->m[3][0];
    out->y = x * m->m[0][1] + y * m->m[1][1] + z * m->m[2][1] + m->m[3][1];
    out->z = x * m->m[0][2] + y * m->m[1][2] + z * m->m[2][2] + m->m[3][2];
    out->w = x * m->m[0][3] + y * m->m[1][3] + z * m->m[2][3] + m->m[3][3];
    return out;
}
