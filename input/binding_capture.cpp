#include "input/binding_capture.h"

#include <algorithm>
#include <cstdlib>

#include "input/binding_names.h"
#include "input/input_manager.h"

bool IsReservedKey(int code)
{
    switch (code) {
    case 1:  // Escape
    case 2:  // 1
    case 3:  // 2
    case 4:  // 3
    case 5:  // 4
    case 14: // Backspace
    case 88: // F12
        return true;
    default:
        return false;
    }
}

void InputManager::ClearCaptureLatch()
{
    m_bCaptureLatch = false;
    m_nLatchType = 0;
    m_nLatchIndex = 0;
}

void InputManager::SnapshotJoysticks(std::vector<platform::JoystickState>& baseline)
{
    // A button held when the last capture ended belongs to that capture.
    ClearCaptureLatch();
    Acquire();
    Poll();
    baseline.clear();
    for (const JoystickRecord& j : m_joysticks)
        baseline.push_back(j.State);
}

void InputManager::FreeJoystickSnapshot(std::vector<platform::JoystickState>& baseline)
{
    ClearCaptureLatch();
    Unacquire();
    baseline.clear();
    baseline.shrink_to_fit();
}

bool InputManager::CaptureBindingFiltered(std::int8_t* type, std::uint8_t* index, std::uint8_t* found,
                                          const std::vector<platform::JoystickState>& baseline)
{
    Poll();
    *found = 0;

    // The first key down, unless it is one the menus keep or has no name.
    for (int code = 0; code < 256; ++code) {
        if (!(m_KeyState[code] & kInputDown))
            continue;
        *type = kBindKey;
        *index = static_cast<std::uint8_t>(code);
        *found = !IsReservedKey(code) && !GetControlName(kBindKey, code).empty() ? 1 : 0;
        break;
    }

    // Mouse axes moved far enough in this poll; a later axis wins.
    const std::int32_t moved[3] = {m_MouseState.lX, m_MouseState.lY, m_MouseState.lZ};
    for (int a = 0; a < 3; ++a) {
        if (std::llabs(static_cast<long long>(moved[a])) > kCaptureMouseThreshold) {
            *type = static_cast<std::int8_t>((kBindMouseX + a) | (moved[a] > 0 ? 0 : kBindNegative));
            *index = 0;
            *found = 1;
        }
    }

    // Buttons bind when they are let go: while one is held its binding is
    // kept.
    bool buttonHeld = false;
    const auto hold = [&](int bindType, int bindIndex) {
        *type = static_cast<std::int8_t>(bindType);
        *index = static_cast<std::uint8_t>(bindIndex);
        m_bCaptureLatch = true;
        m_nLatchType = *type;
        m_nLatchIndex = *index;
        buttonHeld = true;
    };
    for (int b = 0; b < kBindMouseButtonCount; ++b)
        if (m_MouseState.rgbButtons[b] & kInputDown)
            hold(kBindMouseButton0 + b, 0);

    // Joysticks: an axis far from where it was when the capture began, or a
    // button. A stick attached since then has no baseline and is left out.
    const int sticks = std::min<int>(JoystickCount(), static_cast<int>(baseline.size()));
    for (int j = 0; j < sticks; ++j) {
        const JoystickRecord& stick = Joystick(j);
        for (int a = 0; a < kBindJoyAxisCount; ++a) {
            const std::int64_t diff = static_cast<std::int64_t>(stick.State.axis[a]) - baseline[static_cast<std::size_t>(j)].axis[a];
            if (std::llabs(diff) > kCaptureAxisThreshold) {
                *type = static_cast<std::int8_t>((kBindJoyAxisX + a) | (diff > 0 ? 0 : kBindNegative));
                *index = static_cast<std::uint8_t>(j);
                *found = 1;
            }
        }
        const int buttons = std::min<int>(static_cast<int>(stick.Caps.dwButtons), kBindJoyButtonCount);
        for (int b = 0; b < buttons; ++b)
            if (stick.State.button[b] & kInputDown)
                hold(kBindJoyButton0 + b, j);
    }

    if (m_bCaptureLatch && !buttonHeld) {
        *type = m_nLatchType;
        *index = m_nLatchIndex;
        *found = 1;
        m_bCaptureLatch = false;
    }
    return *found != 0;
}
