#pragma once

// The engine's four-float vector and the vector operations of the model,
// animation, scene and mesh code.
//
// Points and directions alike are vec4s. The operations below compute x, y and
// z only; the w of a result is left as the output held it (callers never read
// it). Every operation writes into caller storage and returns the output
// pointer; the output may be the same object as an input.
struct vec4 {
    float x;
    float y;
    float z;
    float w;
};

// Approximately 1/sqrt(x) for positive x: the integer first estimate
// 0x5F3759DF - (bits >> 1), then two Newton-Raphson steps. Relative error is
// below 5e-6. Zero, negatives and NaN are outside its domain (the result is
// finite or NaN and raises no floating-point exception).
float fast_inv_sqrt(float x);

// out = a + (b - a) t, per component x, y, z.
vec4* vec_lerp(const vec4* a, vec4* out, const vec4* b, float t);

// The midpoint of a and b scaled by 1 / (length + 0.001): nearly unit length
// for the midpoint of two unit vectors, and never a division by zero.
vec4* vec_bisect(const vec4* a, vec4* out, const vec4* b);

// out = 2 (a . b) b - a with the three-component dot product: a mirrored about
// the direction b (b of unit length).
vec4* vec_reflect(const vec4* a, vec4* out, const vec4* b);

// 1 when no component x, y, z of a is less or greater than that of b, else 0.
// w is not compared.
int vec_equal(const vec4* a, const vec4* b);

// Each component c truncated toward zero to a grid of step 1/s:
// c - (p - trunc(p)) / s with p = c s, truncated as a float (never through an
// integer that could be out of range). A step factor of 0 leaves a unchanged;
// components too large to have a fraction come back unchanged.
vec4* vec_snap(const vec4* a, vec4* out, float s);

// out = a x R(axis, angle) over x, y, z, with R the rotation about the unit
// vector `axis` (the rows-as-images convention of mat4).
vec4* vec_rotate_axis(const vec4* a, vec4* out, const vec4* axis, float angle);
