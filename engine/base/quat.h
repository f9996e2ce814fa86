#pragma once

#include "engine/base/mat4.h"

// The engine's quaternion and the rotation mathematics under the animation
// channels: spherical interpolation, conversion to and from rotation
// matrices, and the four-key quaternion spline.
//
// x, y, z is the vector part and w the scalar; (0, 0, 0, 1) is the identity
// rotation. Quaternion operations use all four components. Every operation
// writes into caller storage and returns its output; the output may be the
// same object as an input.
struct quat {
    float x;
    float y;
    float z;
    float w;
};

// Spherical interpolation from q0 (t = 0) to q1 (t = 1) over the angle
// a = arccos(q0 . q1). Below an angle of 0.0001 (or when rounding puts the
// dot product above 1) it interpolates linearly, unnormalised. The sign of
// the dot product is not examined: when it is negative the path takes the
// longer arc, as the animation data expects. Within 0.001 of a half turn
// (and for a dot product at or below -1), where 1 / sin(a) loses all
// precision, it turns from q0 toward the part of q1 orthogonal to q0 (any
// orthogonal direction when q1 is -q0).
quat* quat_slerp(const quat* q0, quat* out, const quat* q1, float t);

// The halfway slerp scaled by 1 / (length + 0.001).
quat* quat_bisect(const quat* q0, quat* out, const quat* q1);

// q0 + (q1 - q0) t per component, not normalised.
quat* quat_lerp(const quat* q0, quat* out, const quat* q1, float t);

// out = 2 (q . p) p - q with the four-component dot product.
quat* quat_reflect(const quat* q, quat* out, const quat* p);

// m = the rotation matrix of q (fourth column 0, 0, 0, 1, no translation):
//   row 0: 1 - 2 (y^2 + z^2), 2 (x y + z w),     2 (x z - y w)
//   row 1: 2 (x y - z w),     1 - 2 (x^2 + z^2), 2 (y z + x w)
//   row 2: 2 (x z + y w),     2 (y z - x w),     1 - 2 (x^2 + y^2)
mat4* quat_to_mat(const quat* q, mat4* m);
mat4 quat_to_mat(const quat* q);

// q = the quaternion of the rotation part of m (only the 3x3 part is read).
// A matrix with an infinite or NaN entry gives the identity quaternion.
quat* mat_to_quat(const mat4* m, quat* q);

// The quaternion of Rx(angles[0]) x Ry(angles[1]) x Rz(angles[2]).
quat* quat_from_angles(const float angles[3], quat* q);

// The point at t of the spline of four control quaternions (de Casteljau with
// quat_slerp for every interpolation: six slerps).
quat* quat_spline(const quat keys[4], quat* out, float t);
