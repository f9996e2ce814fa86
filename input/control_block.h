#pragma once

#include <cstdint>

// The eight controls of a rider and how each is bound to a device.
//
// A control block holds the eight smoothed control values of one target and
// the bindings that feed them: per control a binding type code, a binding
// index, a rise rate and a fall rate (four arrays of eight bytes), and the
// last gear-shift direction. Every target with controls gets a copy of the
// program-wide default block (DefaultControlBlock), which the settings
// loader fills from the stored bindings.

inline constexpr int kControlCount = 8;

// Control indexes, in the order of the block's arrays.
enum ControlIndex : int {
    kControlAccelerator = 0,
    kControlBrake = 1,
    kControlSteerLeft = 2,
    kControlSteerRight = 3,
    kControlShiftUp = 4,
    kControlShiftDown = 5,
    kControlHangOn = 6,
    kControlLookBehind = 7,
};

// The controls' names, by index: "Accelerator", "Brake", "Steer Left",
// "Steer Right", "Shift Up", "Shift Down", "Hang On", "Look Behind". The
// stored binding values are named after them ("%s_K", "%s_I", "%s_P",
// "%s_R").
extern const char* const kControlNames[kControlCount];

// Binding type codes (a signed byte). On an axis code, bit 0x40 selects the
// negative direction of the axis (its name shows '+').
inline constexpr std::int8_t kBindKey = 0;           // index: keyboard key number
inline constexpr std::int8_t kBindMouseX = 1;
inline constexpr std::int8_t kBindMouseY = 2;
inline constexpr std::int8_t kBindMouseWheel = 3;    // captured, but reads neutral
inline constexpr std::int8_t kBindMouseButton0 = 4;  // 4..7: mouse buttons 0..3
inline constexpr std::int8_t kBindJoyAxisX = 8;      // 8..13: axes X, Y, Z, X rot, Y rot, Z rot; index: joystick
inline constexpr std::int8_t kBindJoyButton0 = 14;   // 14..45: joystick buttons 0..31; index: joystick
inline constexpr std::int8_t kBindNegative = 0x40;
inline constexpr int kBindJoyAxisCount = 6;
inline constexpr int kBindJoyButtonCount = 32;
inline constexpr int kBindMouseButtonCount = 4;

// Rise and fall rates run 0..9. One rule reads a rate wherever it comes
// from (a stored setting, a block the controls step): the low byte, and a
// rate above 9 is the slowest, 9. (A rate of 10 or more would stop a control
// or drive it away from its input.)
inline constexpr std::uint8_t kMaxBindingRate = 9;
constexpr std::uint8_t BindingRate(std::uint32_t stored)
{
    const std::uint32_t low = stored & 0xFF;
    return static_cast<std::uint8_t>(low < kMaxBindingRate ? low : kMaxBindingRate);
}

// One target's controls (68 bytes in the stored layout: 8 floats, 4 x 8
// bytes, one int32).
struct ControlBlock {
    float Value[kControlCount] = {};          // 0..1
    std::int8_t Type[kControlCount] = {};     // binding type codes
    std::uint8_t Index[kControlCount] = {};   // key number or device number
    std::uint8_t Rise[kControlCount] = {};    // 0: follow at once; 1..9: move by (10 - r) x frame time (BindingRate)
    std::uint8_t Fall[kControlCount] = {};
    std::int32_t LastShift = 0;               // -1, 0, 1

    // Clears one binding to type 0, index 0, both rates 0.
    void ClearBinding(int control)
    {
        Type[control] = 0;
        Index[control] = 0;
        Rise[control] = 0;
        Fall[control] = 0;
    }
};

// The program-wide default block that every new target copies. Starts with
// every binding at type 0, index 0 (key number 0, never down) until the
// settings loader fills it.
ControlBlock& DefaultControlBlock();

// True for a binding type that reads a joystick (axis or button); its index
// is then a joystick number.
constexpr bool IsJoystickBinding(std::int8_t type)
{
    return (type & ~kBindNegative) >= kBindJoyAxisX;
}

// True for a binding type that reads the mouse (axes, wheel, buttons).
constexpr bool IsMouseBinding(std::int8_t type)
{
    const int masked = type & ~kBindNegative;
    return masked >= kBindMouseX && masked <= kBindMouseButton0 + kBindMouseButtonCount - 1;
}
