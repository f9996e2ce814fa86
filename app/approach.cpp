#include "app/approach.h"

#include <cmath>

namespace {

constexpr float kPi = 3.14159265358979323846f;
constexpr float kTwoPi = 6.28318530717958647692f;

// Moves target + d toward target; d is the signed distance current - target.
float ApproachFrom(float target, float d, float rate, float divisor)
{
    // A divisor of 0 would divide by zero; the step it stands for is endless,
    // so the target is reached at once.
    if (divisor == 0.0f) {
        return target;
    }
    const float t = std::sqrt(std::fabs(d)) - rate / divisor;
    if (t <= 0.0f) {
        return target;
    }
    return d <= 0.0f ? target - t * t : target + t * t;
}

} // namespace

float ApproachValue(float current, float target, float rate, float divisor)
{
    return ApproachFrom(target, current - target, rate, divisor);
}

float ApproachAngle(float current, float target, float rate, float divisor)
{
    float d = std::fmod(current - target, kTwoPi);
    if (d > kPi) {
        d -= kTwoPi;
    } else if (d < -kPi) {
        d += kTwoPi;
    }
    return ApproachFrom(target, d, rate, divisor);
}
