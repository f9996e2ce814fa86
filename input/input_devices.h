#pragma once

#include <cstdint>

#include "platform/input_events.h"
#include "platform/joystick.h"
#include "platform/window.h"

// The input devices the input manager reads: the system keyboard, the system
// mouse and each joystick. Each keeps the state that the raw input events
// give it and hands it over when read, the way a polled device does: a read
// fails while the device is not acquired, and a device that works in the
// foreground of the main window can only be acquired while that window has
// the focus (and loses its acquisition when the focus goes).

// Cooperative levels.
inline constexpr std::uint32_t kCoopExclusive = 0x1;
inline constexpr std::uint32_t kCoopNonExclusive = 0x2;
inline constexpr std::uint32_t kCoopForeground = 0x4;
inline constexpr std::uint32_t kCoopBackground = 0x8;

// Whether the program's window has the focus; shared by the devices of one
// input manager. The program starts with the focus.
struct InputFocus {
    bool focused = true;
};

class InputDevice {
public:
    explicit InputDevice(const InputFocus* focus) : m_pFocus(focus) {}
    InputDevice(const InputDevice&) = delete;
    InputDevice& operator=(const InputDevice&) = delete;

    // Sets how the device works with the window: exclusive or not,
    // foreground or background. False, with nothing changed, for a window
    // that does not exist or flags that ask for both or neither of a pair.
    bool SetCooperativeLevel(platform::WindowHandle window, std::uint32_t flags);
    // False while a foreground device's window has no focus, or when the
    // device is gone.
    bool Acquire();
    void Unacquire();
    bool Acquired() const { return m_bAcquired; }
    std::uint32_t CooperativeLevel() const { return m_dwCoop; }

    // The focus went: a foreground device is no longer acquired.
    void OnFocusLost();

protected:
    virtual ~InputDevice() = default;
    virtual void OnAcquired() {}

private:
    const InputFocus* m_pFocus;
    std::uint32_t m_dwCoop = kCoopNonExclusive | kCoopBackground;
    bool m_bAcquired = false;
};

// Down bit of a key or button byte.
inline constexpr std::uint8_t kInputDown = 0x80;

class KeyboardDevice : public InputDevice {
public:
    using InputDevice::InputDevice;

    // The 256 key bytes by key number (kInputDown while down). A key pressed
    // and released since the last read reads down once, so that a short tap
    // between two frames is not lost. False when not acquired.
    bool GetState(std::uint8_t out[256]);

    void OnKey(int keyNumber, bool down);
    // Every key up (focus lost: the releases will not be seen).
    void ReleaseAll();

private:
    std::uint8_t m_held[256] = {};
    std::uint8_t m_tapped[256] = {};
};

// The mouse's movement since the last read (X, Y in counts, Z in wheel units
// of 120 a notch) and four buttons: 0 left, 1 right, 2 middle, 3 the first
// side button.
struct MouseState {
    std::int32_t lX = 0;
    std::int32_t lY = 0;
    std::int32_t lZ = 0;
    std::uint8_t rgbButtons[4] = {};
};

class MouseDevice : public InputDevice {
public:
    using InputDevice::InputDevice;

    // Hands over the movement gathered since the last read (and clears it)
    // and the buttons; a button pressed and released in between reads down
    // once. False when not acquired.
    bool GetState(MouseState& out);

    void OnMotion(int dx, int dy);
    void OnWheel(int notches);
    // `sdlButton`: 1 left, 2 middle, 3 right, 4 first side button.
    void OnButton(int sdlButton, bool down);
    void ReleaseAll();

    static constexpr int kWheelUnitsPerNotch = 120;

protected:
    void OnAcquired() override;

private:
    std::int64_t m_dx = 0, m_dy = 0, m_dz = 0;
    std::uint8_t m_held[4] = {};
    std::uint8_t m_tapped[4] = {};
};

// One joystick, known by its id in the joystick service.
class JoystickDevice : public InputDevice {
public:
    JoystickDevice(const InputFocus* focus, const platform::JoystickInfo& info);

    int Id() const { return m_nId; }
    // Re-attaches the device under a new id (it was unplugged and came back).
    void Attach(const platform::JoystickInfo& info);
    // The device was unplugged: it reads centred with no button held until
    // it comes back.
    void Detach();
    bool Attached() const { return m_bAttached; }

    // Makes the device take its latest state (nothing to do: the events
    // keep it current); present for the same rhythm as a polled device.
    bool Poll() { return true; }
    // The state (buttons pressed and released since the last read read down
    // once). False when not acquired.
    bool GetState(platform::JoystickState& out);

    void OnAxis(int axis, std::int32_t value);
    void OnButton(int button, bool down);
    void OnHat(int hat, std::uint32_t value);

private:
    int m_nId;
    bool m_bAttached = true;
    platform::JoystickState m_state{};
    std::uint8_t m_tapped[platform::kJoystickButtons] = {};
};
