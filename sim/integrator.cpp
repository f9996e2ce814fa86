#include "sim/integrator.h"

#include <cmath>
#include <initializer_list>
#include <limits>

#include "sim/step_isolation.h"

float LastApproachAccel = 0.0f;

namespace {

constexpr float kNone = std::numeric_limits<float>::max();

// Shortest duration of the manoeuvre that starts with acceleration A (then
// -A) and covers d from rate v to rate 0; kNone when there is none.
float shortest_with_first_accel(float A, float d, float v, float* switchTime)
{
    const float D = 2.0f * v * v + 4.0f * A * d;
    if (D < 0.0f)
        return kNone;
    const float root = std::sqrt(D);
    float best = kNone;
    float best_switch = 0.0f;
    for (const float T : {(root - v) / A, (-v - root) / A}) {
        const float s = (T * A - v) / (2.0f * A);
        if (T >= 0.0f && s >= 0.0f && s <= T && T < best) {
            best = T;
            best_switch = s;
        }
    }
    *switchTime = best_switch;
    return best;
}

} // namespace

float Integrator::Advance(float dt)
{
    Value += Rate * dt;
    return Value;
}

float Integrator::TimeToTarget(float target, float* switchTime) const
{
    if (switchTime)
        *switchTime = 0.0f;
    // Without a positive acceleration limit nothing can move the value.
    if (std::isnan(Limit) || Limit <= 0.0f)
        return 0.0f;
    const float d = target - Value;
    const float v = Rate;
    float s_plus = 0.0f;
    float s_minus = 0.0f;
    const float t_plus = shortest_with_first_accel(Limit, d, v, &s_plus);
    const float t_minus = shortest_with_first_accel(-Limit, d, v, &s_minus);
    if (t_minus <= t_plus) {
        if (t_minus == kNone)
            return 0.0f;
        if (switchTime)
            *switchTime = s_minus;
        return -t_minus;
    }
    if (switchTime)
        *switchTime = s_plus;
    return t_plus;
}

float Integrator::ApproachTarget(float target, float dt)
{
    float accel = 0.0f;
    if (dt != 0.0f) {
        float s = 0.0f;
        float T = TimeToTarget(target, &s);
        if (T != 0.0f) {
            float A = Limit;
            if (T < 0.0f) {
                T = -T;
                A = -Limit;
            }
            if (T <= dt) {
                // The target is reached within the step.
                Rate = 0.0f;
                Value = target;
                accel = (2.0f * s / T - 1.0f) * A;
            } else if (dt < s) {
                // Still accelerating at the end of the step.
                accel = A;
                Value += (Rate + 0.5f * A * dt) * dt;
                Rate += A * dt;
            } else {
                // The switch falls inside the step: braking for the remaining R.
                const float R = T - dt;
                accel = (2.0f * s / dt - 1.0f) * A;
                Rate = A * R;
                Value = target - 0.5f * A * R * R;
            }
        }
    }
    // A bike's control step run side by side with the others keeps its own
    // (the race sets the shared value from the last one in bike order).
    if (IsolatedStep* step = CurrentIsolatedStep(); step && step->NotesApproach) {
        step->ApproachAccel = accel;
        step->ApproachNoted = true;
    } else {
        LastApproachAccel = accel;
    }
    return Value;
}
