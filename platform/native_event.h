#pragma once

#include <cstdint>
#include <string>

#include "platform/window.h"

// One event of the window system, already tied to our window handle. The
// video thread fills these from SDL's events; deliver_native_event turns each
// into window messages and raw input events. Tests build them by hand to
// drive the same translation without a keyboard, a mouse or a display.
namespace platform {

enum class NativeEventKind {
    KeyDown,
    KeyUp,
    Text,
    MouseMotion,
    MouseButtonDown,
    MouseButtonUp,
    MouseWheel,
    CloseRequest, // the user asked to close the window
    Minimized,
    Maximized,
    Restored,
    Moved,        // x, y: new client-area origin on the screen
    Resized,      // x, y: new client-area size
    FocusGained,
    FocusLost,
    Quit,         // the program was asked to end (signal, session end)
    Settled,      // the window system has applied the program's return to a window
};

// Modifier keys held during a key or mouse event.
inline constexpr unsigned kModShift = 1;
inline constexpr unsigned kModCtrl = 2;
inline constexpr unsigned kModAlt = 4;

// Mouse buttons by SDL's numbering.
inline constexpr int kMouseLeft = 1;
inline constexpr int kMouseMiddle = 2;
inline constexpr int kMouseRight = 3;
inline constexpr int kMouseX1 = 4;

struct NativeEvent {
    NativeEventKind kind = NativeEventKind::KeyDown;
    WindowHandle window;
    int sdl_keycode = 0;    // keys: SDL key code (layout-dependent symbol)
    int sdl_scancode = 0;   // keys: SDL scan code (physical key)
    unsigned modifiers = 0; // kMod* bits
    bool repeat = false;    // keys: auto-repeat
    int x = 0, y = 0;       // mouse: position in the client area; see kinds above
    int dx = 0, dy = 0;     // mouse motion: relative movement
    int button = 0;         // mouse buttons: SDL number
    unsigned buttons_held = 0; // mouse: bit (n - 1) set while button n is down
    int wheel = 0;          // wheel: notches, positive away from the user
    std::string text;       // text: UTF-8
};

// Translates one event into messages on the program's queue and raw input
// events, and keeps the window's recorded state (position, size, minimised)
// up to date. Called by the video thread; tests call it directly. False when
// the event's window does not exist (for Quit: when no window exists, so the
// request is kept until one does).
bool deliver_native_event(const NativeEvent& event);

} // namespace platform
