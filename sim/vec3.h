#pragma once

// The simulation's own small vector types and rotations (separate from the
// engine's matrix library). y points up; a heading h is the horizontal
// direction (sin h, cos h) in (x, z).

struct Vec3 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;

    constexpr Vec3() = default;
    constexpr Vec3(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}

    // In place; each returns this vector.
    Vec3& Assign(const Vec3& v);
    Vec3& Add(const Vec3& v);
    Vec3& Subtract(const Vec3& v);

    // New vectors.
    Vec3 Plus(const Vec3& v) const;
    Vec3 Minus(const Vec3& v) const;
    Vec3 Times(float k) const;
    // A copy scaled to unit length; the zero vector stays zero.
    Vec3 Normalised() const;

    float Length() const;
    float Dot(const Vec3& v) const;
    Vec3 Cross(const Vec3& v) const;
};

// v / scalar, component by component. The caller keeps the scalar away from
// zero (unit vectors divide by |v| + 0.001).
Vec3 Vec3DivScalar(const Vec3& v, float scalar);

// A horizontal point or direction: (x, z).
struct Vec2 {
    float x = 0.0f;
    float z = 0.0f;

    constexpr Vec2() = default;
    constexpr Vec2(float x_, float z_) : x(x_), z(z_) {}
};

// Rotations about the coordinate axes by a radians (c = cos a, s = sin a):
// X: (x, c y - s z, s y + c z)
// Y: (s z + c x, y, c z - s x)   (turns a heading h into h + a)
// Z: (c x - s y, c y + s x, z)
Vec3 VecRotateX(const Vec3& v, float a);
Vec3 VecRotateY(const Vec3& v, float a);
Vec3 VecRotateZ(const Vec3& v, float a);

// An angle's cosine and sine, worked out once for several rotations by it
// (the rotations below give the same values as those taking the angle).
struct AngleCosSin {
    float c = 1.0f;
    float s = 0.0f;

    AngleCosSin() = default;
    explicit AngleCosSin(float a);
};
Vec3 VecRotateX(const Vec3& v, const AngleCosSin& a);
Vec3 VecRotateY(const Vec3& v, const AngleCosSin& a);
Vec3 VecRotateZ(const Vec3& v, const AngleCosSin& a);
// The y rotation on an (x, z) pair: (s p1 + c p0, c p1 - s p0).
void VecRotate2D(float out[2], const float p[2], float a);
Vec2 VecRotate2D(const Vec2& p, float a);
// Rotation about a unit axis by a radians.
Vec3 VecRotateAxis(const Vec3& v, const Vec3& axis, float a);

// Parameter t of the projection of p on the segment a-b in x and z only:
// 0 at a, 1 at b; 0 when a and b coincide in x-z.
float SegmentParamXZ(const Vec3& p, const Vec3& a, const Vec3& b);
// The same on (x, z) pairs; the coordinates are scaled by 1/16 first to keep
// the products small.
float SegmentParam2D(const float p[2], const float a[2], const float b[2]);
float SegmentParam2D(const Vec2& p, const Vec2& a, const Vec2& b);
