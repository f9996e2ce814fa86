#pragma once

// Binding capture: how a key press, a mouse movement or button, or a joystick
// movement or button becomes a binding (InputManager::SnapshotJoysticks,
// CaptureBindingFiltered, FreeJoystickSnapshot).
//
// Only the non-blocking capture exists: the controls screen calls it once a
// frame while it waits, and the frame pumps the events the capture needs.

// A mouse axis counts as moved beyond this many counts in one poll.
inline constexpr int kCaptureMouseThreshold = 10;
// A joystick axis counts as moved beyond this distance from its baseline.
inline constexpr int kCaptureAxisThreshold = 16384;

// Keys the capture never binds: 1 to 4 (the menus' own keys), Escape,
// Backspace and F12.
bool IsReservedKey(int code);
