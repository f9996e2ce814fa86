#pragma once

#include <cstddef>
#include <cstdint>

// Raw input events for the input layer. The video thread puts every key,
// mouse and focus event here as well as turning it into window messages; the
// input layer takes them from any thread. The queue is bounded: when it is
// full the oldest event is dropped.
namespace platform {

enum class InputEventType : std::uint8_t {
    KeyDown,
    KeyUp,
    MouseMotion,
    MouseButtonDown,
    MouseButtonUp,
    MouseWheel,
    FocusGained,
    FocusLost, // the devices are lost until focus comes back
    // Joysticks (platform/joystick.h): `device` is the joystick's id.
    JoystickAdded,
    JoystickRemoved,
    JoystickAxis,       // index: axis 0..7; value: 0..65535
    JoystickButtonDown, // index: button 0..31
    JoystickButtonUp,
    JoystickHat,        // index: hat 0..3; value: hundredths of a degree, or centred
};

struct InputEvent {
    InputEventType type = InputEventType::KeyDown;
    int scancode = 0;     // keys: SDL scan code (physical key)
    bool repeat = false;  // keys: auto-repeat of a held key
    int x = 0, y = 0;     // mouse: position in the window's client area
    int dx = 0, dy = 0;   // mouse motion: relative movement
    int button = 0;       // mouse buttons: 1 left, 2 middle, 3 right, 4 and 5 the side buttons
    int wheel = 0;        // wheel: notches, positive away from the user
    int device = 0;       // which device of its kind (joysticks: the joystick's id)
    int index = 0;        // joysticks: axis, button or hat number
    std::int64_t value = 0; // joysticks: axis position or hat direction
};

inline constexpr std::size_t kInputEventCapacity = 4096;

// Takes the oldest event; false when there is none.
bool poll_input_event(InputEvent& event);

// Adds an event as the video thread does (tests use it to stand in for
// devices).
void inject_input_event(const InputEvent& event);

void clear_input_events();

// Events dropped because the queue was full, since the program started.
std::size_t dropped_input_events();

} // namespace platform
