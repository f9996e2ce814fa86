#pragma once

// A value moved towards a target in the shortest time that a limited
// acceleration allows (accelerate, then brake, switching once), so that it
// arrives with rate 0.
struct Integrator {
    float Value = 0.0f;
    float Rate = 0.0f;
    float Limit = 1.0f; // largest change of Rate per second, both directions

    constexpr Integrator() = default;
    constexpr Integrator(float value, float rate, float limit) : Value(value), Rate(rate), Limit(limit) {}

    // Value += Rate x dt; returns Value.
    float Advance(float dt);

    // Duration of the shortest manoeuvre to `target` ending at rate 0; the
    // sign tells the first acceleration (negative: -Limit first). 0 when no
    // manoeuvre exists or is needed. `switchTime` (may be null) gets the
    // time at which the acceleration changes sign. A Limit of 0 or below
    // means the value cannot move: 0.
    float TimeToTarget(float target, float* switchTime) const;

    // One step of dt along that manoeuvre; returns the new Value. Sets
    // LastApproachAccel to the mean acceleration applied over the step (in
    // a control step run side by side with the other bikes', the step's
    // IsolatedStep keeps it instead: sim/step_isolation.h).
    float ApproachTarget(float target, float dt);
};

// The mean acceleration that the last Integrator::ApproachTarget applied
// over its step (read by the lean dynamics).
extern float LastApproachAccel;
