#pragma once

#include <cmath>

// The difference a - b folded into [-pi, pi] (single-precision pi and 2 pi).
// Angle differences throughout the simulation go through this, so that a
// heading that wrapped round reads as the small turn it is.
inline float WrapAngle(float a, float b)
{
    constexpr float kPi = 3.14159265f;
    constexpr float kTwoPi = 6.28318531f;
    float d = std::fmod(a - b, kTwoPi);
    if (d > kPi)
        d -= kTwoPi;
    else if (d < -kPi)
        d += kTwoPi;
    return d;
}
