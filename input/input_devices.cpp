#include "input/input_devices.h"

#include <algorithm>
#include <cstring>
#include <limits>

bool InputDevice::SetCooperativeLevel(platform::WindowHandle window, std::uint32_t flags)
{
    const bool exclusive = (flags & kCoopExclusive) != 0, shared = (flags & kCoopNonExclusive) != 0;
    const bool foreground = (flags & kCoopForeground) != 0, background = (flags & kCoopBackground) != 0;
    if (exclusive == shared || foreground == background)
        return false;
    if (!platform::is_window(window))
        return false;
    m_dwCoop = flags;
    return true;
}

bool InputDevice::Acquire()
{
    if (m_bAcquired)
        return true;
    if ((m_dwCoop & kCoopForeground) && !m_pFocus->focused)
        return false;
    m_bAcquired = true;
    OnAcquired();
    return true;
}

void InputDevice::Unacquire()
{
    m_bAcquired = false;
}

void InputDevice::OnFocusLost()
{
    if (m_dwCoop & kCoopForeground)
        m_bAcquired = false;
}

// ---- Keyboard ----

bool KeyboardDevice::GetState(std::uint8_t out[256])
{
    if (!Acquired())
        return false;
    for (int i = 0; i < 256; ++i)
        out[i] = (m_held[i] | m_tapped[i]) ? kInputDown : 0;
    std::memset(m_tapped, 0, sizeof m_tapped);
    return true;
}

void KeyboardDevice::OnKey(int keyNumber, bool down)
{
    if (keyNumber <= 0 || keyNumber > 255)
        return;
    m_held[keyNumber] = down ? 1 : 0;
    if (down)
        m_tapped[keyNumber] = 1;
}

void KeyboardDevice::ReleaseAll()
{
    std::memset(m_held, 0, sizeof m_held);
    std::memset(m_tapped, 0, sizeof m_tapped);
}

// ---- Mouse ----

namespace {

std::int32_t ClampToInt32(std::int64_t v)
{
    return static_cast<std::int32_t>(
        std::clamp<std::int64_t>(v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

// SDL's button numbers to the mouse's: left 0, right 1, middle 2, side 3.
int MouseButtonOf(int sdlButton)
{
    switch (sdlButton) {
    case 1: return 0;
    case 3: return 1;
    case 2: return 2;
    case 4: return 3;
    default: return -1;
    }
}

} // namespace

bool MouseDevice::GetState(MouseState& out)
{
    if (!Acquired())
        return false;
    out.lX = ClampToInt32(m_dx);
    out.lY = ClampToInt32(m_dy);
    out.lZ = ClampToInt32(m_dz);
    m_dx = m_dy = m_dz = 0;
    for (int i = 0; i < 4; ++i)
        out.rgbButtons[i] = (m_held[i] | m_tapped[i]) ? kInputDown : 0;
    std::memset(m_tapped, 0, sizeof m_tapped);
    return true;
}

void MouseDevice::OnMotion(int dx, int dy)
{
    // Movement while the mouse is not acquired is not the program's.
    if (!Acquired())
        return;
    m_dx += dx;
    m_dy += dy;
}

void MouseDevice::OnWheel(int notches)
{
    if (!Acquired())
        return;
    m_dz += static_cast<std::int64_t>(notches) * kWheelUnitsPerNotch;
}

void MouseDevice::OnButton(int sdlButton, bool down)
{
    const int b = MouseButtonOf(sdlButton);
    if (b < 0)
        return;
    m_held[b] = down ? 1 : 0;
    if (down)
        m_tapped[b] = 1;
}

void MouseDevice::ReleaseAll()
{
    std::memset(m_held, 0, sizeof m_held);
    std::memset(m_tapped, 0, sizeof m_tapped);
}

void MouseDevice::OnAcquired()
{
    m_dx = m_dy = m_dz = 0;
}

// ---- Joystick ----

JoystickDevice::JoystickDevice(const InputFocus* focus, const platform::JoystickInfo& info)
    : InputDevice(focus), m_nId(info.id), m_state(info.state)
{
}

void JoystickDevice::Attach(const platform::JoystickInfo& info)
{
    m_nId = info.id;
    m_state = info.state;
    std::memset(m_tapped, 0, sizeof m_tapped);
    m_bAttached = true;
}

void JoystickDevice::Detach()
{
    m_bAttached = false;
    m_state.centre();
    std::memset(m_tapped, 0, sizeof m_tapped);
}

bool JoystickDevice::GetState(platform::JoystickState& out)
{
    if (!Acquired())
        return false;
    out = m_state;
    for (int i = 0; i < platform::kJoystickButtons; ++i)
        if (m_tapped[i])
            out.button[i] = kInputDown;
    std::memset(m_tapped, 0, sizeof m_tapped);
    return true;
}

void JoystickDevice::OnAxis(int axis, std::int32_t value)
{
    if (m_bAttached)
        platform::set_joystick_axis(m_state, axis, std::clamp<std::int32_t>(value, 0, platform::kJoystickAxisMax));
}

void JoystickDevice::OnButton(int button, bool down)
{
    if (!m_bAttached || button < 0 || button >= platform::kJoystickButtons)
        return;
    m_state.button[button] = down ? kInputDown : 0;
    if (down)
        m_tapped[button] = 1;
}

void JoystickDevice::OnHat(int hat, std::uint32_t value)
{
    if (m_bAttached && hat >= 0 && hat < platform::kJoystickHats)
        m_state.hat[hat] = value;
}
