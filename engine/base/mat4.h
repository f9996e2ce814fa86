#pragma once

#include "engine/base/vec4.h"

// The engine's 4x4 float matrix and its operations.
//
// Sixteen floats stored row after row: m[r][c] is float number 4r + c. Points
// and vectors are row vectors, p' = p x M, so rows 0 to 2 hold the images of
// the x, y and z axes and the translation stands in row 3 (floats 12, 13, 14).
// An affine matrix has the fourth column 0, 0, 0, 1. In a product a x b the
// transform a is applied first, then b. Angles are in radians; sines and
// cosines are computed in double precision and rounded to float when stored.
//
// Every operation works on caller storage, allocates nothing and returns its
// output pointer. Outputs may be the same object as an input.
struct mat4 {
    float m[4][4];
};

// Sets m to the identity.
mat4* mat_identity(mat4* m);

// Copies the sixteen floats of m into out.
mat4* mat_copy(mat4* out, const mat4* m);

// out = a x b, the full 4x4 product.
mat4* mat_mul(const mat4* a, mat4* out, const mat4* b);

// Product of two affine matrices: 3x3 part a3 x b3; translation
// a.translation x b3 + b.translation; the fourth column is written 0, 0, 0, 1
// and the fourth columns of a and b are not read.
mat4* mat_mul_affine(const mat4* a, mat4* out, const mat4* b);

// out[r][c] = m[c][r].
mat4* mat_transpose(const mat4* m, mat4* out);

// The determinant, by cofactor expansion along the first row, computed in
// double precision.
double mat_determinant(const mat4* m);

// Replaces m by its adjugate (the transposed matrix of cofactors), so that
// the inverse is the adjugate divided by the determinant.
mat4* mat_adjoint(mat4* m);

// out = the inverse of m: the adjugate divided by the determinant, both formed
// in double precision, each entry rounded to float once. A matrix without a
// usable inverse (determinant 0, an inverse that does not fit a float, or an
// entry that is infinite or NaN) makes out the identity; the first such call
// of the run writes "mat_invert: singular matrix, identity used" on the error
// output, and the program goes on (no message box: it may happen mid-race).
mat4* mat_invert(const mat4* m, mat4* out);

// The number of singular matrices mat_invert has met in this run, and a reset
// (of the count and of the once-per-run report) for tests.
unsigned long mat_singular_inversions();
void mat_reset_singular_inversions();

// Set m to the rotation about X, Y or Z (row 0..2 = images of the axes):
//   Rx: (1, 0, 0), (0, c, s), (0, -s, c)
//   Ry: (c, 0, -s), (0, 1, 0), (s, 0, c)
//   Rz: (c, s, 0), (-s, c, 0), (0, 0, 1)
mat4* mat_rot_x(mat4* m, float angle);
mat4* mat_rot_y(mat4* m, float angle);
mat4* mat_rot_z(mat4* m, float angle);

// out = m x Rx(angle) (resp. Ry, Rz).
mat4* mat_rotate_x(const mat4* m, mat4* out, float angle);
mat4* mat_rotate_y(const mat4* m, mat4* out, float angle);
mat4* mat_rotate_z(const mat4* m, mat4* out, float angle);

// out = m x R(axis, angle) for a unit axis; R carries 1 in its homogeneous
// corner, so an affine m stays affine.
mat4* mat_rotate_axis(const mat4* m, mat4* out, const vec4* axis, float angle);

// Sets m to Rx(ax) x Ry(ay) x Rz(az): a point turns about X first, then Y,
// then Z. No translation.
mat4* mat_from_angles(mat4* m, float ax, float ay, float az);

// Transforms the point (p.x, p.y, p.z, 1) by m: the full row-vector product,
// w included.
vec4* mat_transform_point(const mat4* m, const vec4* p, vec4* out);
