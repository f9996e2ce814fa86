#pragma once

// Smooth approach of a value toward a target in square-root space: each call
// shrinks the square root of the distance to the target by rate / divisor, so
// the value slows down as it closes in and still reaches the target in a
// finite number of calls. Used by the bike dynamics, the rider states and the
// camera (rate is usually the frame time, divisor a time constant).

// Returns the next value of `current` on its way to `target`. A divisor of 0
// means an unbounded step: the result is the target.
float ApproachValue(float current, float target, float rate, float divisor);

// The same for angles in radians: the distance is taken the short way round
// (folded into [-pi, pi]), and the result is target plus or minus the remaining
// distance, not wrapped again.
float ApproachAngle(float current, float target, float rate, float divisor);
