#pragma once

#include <vector>

// Force feedback: a constant-force effect on a joystick that has one.
//
// Effects are made on a device of the joystick service (platform/joystick.h)
// whose info says force_feedback, and are played through SDL's haptic
// support on the video thread. With test joysticks in use, effects go to a
// recorder instead (test_haptic_effects), so a test can read what was sent.
namespace platform {

// A constant force. The direction is given by two cartesian components (X
// left to right, Y away from the player to toward the player), whose ratio
// matters, not their size; the magnitude runs 0..10000.
struct ConstantForce {
    int x = 0;
    int y = 0;
    int magnitude = 0;
};

inline constexpr int kHapticMaxMagnitude = 10000;
inline constexpr int kHapticInfinite = -1; // iterations: play until stopped

// Makes a constant-force effect on the joystick `joystick_id` with the given
// starting force; it does not play yet. Returns the effect's id, or -1 when
// the device has no such effect or refuses it (Fault::HapticCreate).
int create_constant_force(int joystick_id, const ConstantForce& force);

// Plays the effect `iterations` times (kHapticInfinite: until stopped).
bool start_haptic_effect(int effect, int iterations);

// Changes a made effect's force while it plays. False when the device
// refuses it (Fault::HapticUpdate) or the effect is gone.
bool update_constant_force(int effect, const ConstantForce& force);

bool stop_haptic_effect(int effect);
void destroy_haptic_effect(int effect);

// What the recorder keeps of one effect made while test joysticks are in
// use.
struct TestHapticEffect {
    int id = -1;
    int joystick_id = -1;
    ConstantForce force;   // the last force given
    int updates = 0;       // successful updates
    int starts = 0;
    int iterations = 0;    // of the last start
    bool playing = false;
    bool destroyed = false;
};
std::vector<TestHapticEffect> test_haptic_effects();

} // namespace platform
