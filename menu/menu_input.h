#pragma once

#include <cstdint>

struct JoystickRecord;

// The menus' readers of the keyboard, a joystick and the mouse: each turns
// the input manager's last poll into at most one menu key or pointer message
// per pass of the run loop. Key codes are the input's key numbers (Esc 1,
// Enter 28, Up 200, Down 208, Left 203, Right 205).

// Key events.
inline constexpr std::int32_t kMenuKeyDown = 10;
inline constexpr std::int32_t kMenuKeyUp = 9;

// The keys the run loop acts on.
inline constexpr std::int32_t kMenuKeyEscape = 1;
inline constexpr std::int32_t kMenuKeyEnter = 28;
inline constexpr std::int32_t kMenuKeyUpArrow = 200;
inline constexpr std::int32_t kMenuKeyDownArrow = 208;
inline constexpr std::int32_t kMenuKeyLeftArrow = 203;
inline constexpr std::int32_t kMenuKeyRightArrow = 205;
inline constexpr std::int32_t kMenuKeyF12 = 88;

// Pointer messages (as the controls' OnMouse takes them).
inline constexpr std::int32_t kMenuMouseMove = 512;
inline constexpr std::int32_t kMenuMouseLeftDown = 513;
inline constexpr std::int32_t kMenuMouseLeftUp = 514;

// One key at a time: the first key down (in the menus' order: Esc, the
// arrows, Enter, Backspace, the letter rows, the digits, Space, '.', '/')
// is latched and reported as a key-down; nothing more is reported until it
// is up again, which is reported as its key-up. While a key is latched the
// pointer is hidden. `key` and `event` are written only when something is
// reported.
void ReadMenuKey(std::int32_t& key, std::int32_t& event);

// A joystick as the arrows and Enter: an axis pushed more than 10000 from
// its centre, or the first button, gives one key-down; the stick back in
// the centre with the button up gives that key's key-up. Nothing without a
// joystick.
void ReadJoystickKey(const JoystickRecord* joystick, std::int32_t& key, std::int32_t& event);

// The left button going down (513) or up (514), else a move (512) when the
// mouse moved, else 0. Any message shows the pointer. `keys` is 0.
void ReadMouseEvent(std::int32_t& message, std::int32_t& keys);

// The number of the first joystick that is attached and usable, or -1. (The
// number rather than the record: records move when a stick is added.)
int FindActiveJoystick();
// The record of that number, or null when it is not there any more.
const JoystickRecord* ActiveJoystickRecord(int number);

// Forgets the latched key, the joystick key and the mouse button (a new
// program run, or a test).
void ResetMenuInputLatches();
