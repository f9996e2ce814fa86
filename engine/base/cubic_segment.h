#pragma once

#include "engine/base/vec4.h"

// One cubic Bezier segment of a path spline: 52 floats.
//
// Per axis x, y, z the polynomial form is
//   a3 = P3 - 3 P2 + 3 P1 - P0, a2 = 3 P0 - 6 P1 + 3 P2, a1 = 3 P1 - 3 P0,
//   a0 = P0, B(t) = ((a3 t + a2) t + a1) t + a0 for t in [0, 1].
// Only x, y and z of the vec4 fields are used; the w of vector results is
// left as the output held it.
struct cubic_segment {
    vec4 ctrl[4];      // P0, P1, P2, P3
    float diff[3][4];  // forward differences per axis x, y, z: first, second, third, unused
    vec4 bbox_min;     // bounding box, set by cubic_bounds
    vec4 bbox_max;
    vec4 a3;           // polynomial coefficients, set by cubic_segment_coeffs
    vec4 a2;
    vec4 a1;
    vec4 a0;
};

static_assert(sizeof(cubic_segment) == 52 * sizeof(float));

// B(t) with the coefficients formed from the control points on each call.
vec4* cubic_eval(const cubic_segment* segment, vec4* out, float t);

// B'(t) = (3 a3 t + 2 a2) t + a1, the coefficients formed from the control
// points.
vec4* cubic_eval_tangent(const cubic_segment* segment, vec4* out, float t);

// Stores a3, a2, a1 and a0 = P0 in the segment's coefficient block.
cubic_segment* cubic_segment_coeffs(cubic_segment* segment);

// The segment covering the part [0, t] of the given one (de Casteljau). Only
// the control points of the result are meaningful; its other fields are 0.
cubic_segment cubic_split(const cubic_segment* segment, float t);

// Refreshes the coefficient block and sets the forward-difference state for
// the parameter step h: first a1 h + a2 h^2 + a3 h^3, second
// 2 a2 h^2 + 6 a3 h^3, third 6 a3 h^3.
cubic_segment* cubic_forward_diff(cubic_segment* segment, float h);

// Writes n + 1 samples of five floats (t, x, y, z, w) stepping t by h = 1/n
// with forward differences from P0 (w is P0's w throughout); the segment's
// difference state advances. A non-positive n writes sample 0 only. `samples`
// must hold 5 (n + 1) floats (5 for n <= 0). Returns the pointer just past the
// last sample written.
float* cubic_tabulate(cubic_segment* segment, int n, float* samples);

// Sets the bounding box from the end points and the extremes of the curve
// (the roots of B'(t) in [0, 1]).
cubic_segment* cubic_bounds(cubic_segment* segment);
