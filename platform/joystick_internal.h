#pragma once

// Between the joystick service and the haptic effects (platform only).
struct _SDL_Haptic;

namespace platform::joystick_internal {

// The haptic device opened with joystick `id` (it has a constant-force
// effect), or null. Video thread only.
_SDL_Haptic* haptic_of(int id);

// Whether a simulated joystick has force feedback.
bool test_joystick_has_force_feedback(int id);

// The device `id` went away (or the service stops): its effects are gone
// with it. Called on the video thread for real devices.
void forget_effects_of(int joystick_id);
void forget_all_effects();

} // namespace platform::joystick_internal
