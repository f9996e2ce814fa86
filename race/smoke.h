#pragma once

class Race;

// Smoke, dust, sparks and spray particles and skid marks. They exist only
// with the "Ambient" graphics flag and the race's 3D data (their model
// instances come with it); without them every operation does nothing.

// One kind of particle, as the list "SMOKE" of "Data\Smokes.dat" gives it
// (nine floats, 36 bytes). Kinds: 0 smoke, 1 grass, 2 sand, 3 sparks,
// 4 rain spray.
struct SmokeEmitter {
    float Interval = 0.0f;  // least time between two emissions of one bike, s
    float Lifetime = 0.0f;  // s
    float FadeStart = 0.0f; // age from which the particle fades, s
    float Drift = 0.0f;     // factor on the horizontal velocity
    float Rise = 0.0f;      // vertical acceleration, per s
    float Growth = 0.0f;    // size growth rate (<= -100: rate of value + 100)
    float BaseSize = 0.0f;
    float Spread = 0.0f;    // random horizontal spread; negative: attached to its point
    float Spin = 0.0f;      // turns per second
};
static_assert(sizeof(SmokeEmitter) == 36, "a smoke emitter record is nine floats");

inline constexpr int kSmokeKinds = 5;
inline constexpr int kParticlesPerKind = 50;

// Moves, grows, spins and fades the live particles once per simulation pass.
void SmokeUpdate(Race& race, float dt);
