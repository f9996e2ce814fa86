#include "menu/menu_input.h"

#include <vector>

#include "input/input_manager.h"
#include "menu/menu_manager.h"

namespace {

// The keys the menus read, in the order they are looked at.
const std::vector<std::int32_t>& MenuKeyOrder()
{
    static const std::vector<std::int32_t> order = [] {
        std::vector<std::int32_t> keys = {kMenuKeyEscape,     kMenuKeyUpArrow,     kMenuKeyDownArrow,
                                          kMenuKeyLeftArrow,  kMenuKeyRightArrow, kMenuKeyEnter,
                                          14 /* Backspace */};
        const auto run = [&keys](std::int32_t first, std::int32_t last) {
            for (std::int32_t k = first; k <= last; ++k)
                keys.push_back(k);
        };
        run(16, 25);  // Q .. P
        run(30, 38);  // A .. L
        run(44, 50);  // Z .. M
        run(2, 11);   // 1 .. 0
        keys.push_back(57);  // Space
        keys.push_back(52);  // '.'
        keys.push_back(53);  // '/'
        return keys;
    }();
    return order;
}

// A stick pushed this far from the centre counts as an arrow.
constexpr std::int32_t kStickThreshold = 10000;
constexpr std::uint8_t kButtonDown = 128;

std::int32_t g_nLatchedKey = 0;
bool g_bJoystickReleased = true;
std::int32_t g_nJoystickKey = 0;
bool g_bMouseButtonDown = false;

void SetPointerVisible(std::uint8_t visible)
{
    if (MenuManager* manager = CurrentMenuManager())
        manager->m_bPointerVisible = visible;
}

} // namespace

void ReadMenuKey(std::int32_t& key, std::int32_t& event)
{
    const InputManager* input = TheInputManager();
    if (!input)
        return;
    const auto down = [input](std::int32_t code) { return (input->m_KeyState[code & 0xFF] & kInputDown) != 0; };
    if (g_nLatchedKey != 0) {
        if (!down(g_nLatchedKey)) {
            key = g_nLatchedKey;
            event = kMenuKeyUp;
            g_nLatchedKey = 0;
        }
    } else {
        for (const std::int32_t code : MenuKeyOrder())
            if (down(code)) {
                g_nLatchedKey = code;
                key = code;
                break;
            }
    }
    if (g_nLatchedKey != 0) {
        event = kMenuKeyDown;
        SetPointerVisible(0);
    }
}

void ReadJoystickKey(const JoystickRecord* joystick, std::int32_t& key, std::int32_t& event)
{
    if (!joystick)
        return;
    const std::int32_t dx = joystick->State.axis[0] - platform::kJoystickAxisCentre;
    const std::int32_t dy = joystick->State.axis[1] - platform::kJoystickAxisCentre;
    const bool button = joystick->State.button[0] >= kButtonDown;
    if (g_bJoystickReleased) {
        std::int32_t pushed = 0;
        if (dx > kStickThreshold)
            pushed = kMenuKeyRightArrow;
        else if (dx < -kStickThreshold)
            pushed = kMenuKeyLeftArrow;
        else if (dy > kStickThreshold)
            pushed = kMenuKeyDownArrow;
        else if (dy < -kStickThreshold)
            pushed = kMenuKeyUpArrow;
        else if (button)
            pushed = kMenuKeyEnter;
        if (pushed != 0) {
            key = pushed;
            event = kMenuKeyDown;
            g_nJoystickKey = pushed;
            g_bJoystickReleased = false;
        }
        return;
    }
    const bool centred = dx <= kStickThreshold && dx >= -kStickThreshold && dy <= kStickThreshold &&
                         dy >= -kStickThreshold;
    if (centred && !button) {
        key = g_nJoystickKey;
        event = kMenuKeyUp;
        g_bJoystickReleased = true;
    }
}

void ReadMouseEvent(std::int32_t& message, std::int32_t& keys)
{
    keys = 0;
    message = 0;
    const InputManager* input = TheInputManager();
    if (!input)
        return;
    const bool down = input->m_MouseState.rgbButtons[0] >= kButtonDown;
    const float dx = static_cast<float>(input->m_MouseState.lX);
    const float dy = static_cast<float>(input->m_MouseState.lY);
    if (down && !g_bMouseButtonDown)
        message = kMenuMouseLeftDown;
    else if (!down && g_bMouseButtonDown)
        message = kMenuMouseLeftUp;
    else if (dx * dx >= 0.001f || dy * dy >= 0.001f)
        message = kMenuMouseMove;
    g_bMouseButtonDown = down;
    if (message != 0)
        SetPointerVisible(1);
}

int FindActiveJoystick()
{
    const InputManager* input = TheInputManager();
    if (!input)
        return -1;
    for (int i = 0; i < input->JoystickCount(); ++i) {
        const JoystickRecord& record = input->Joystick(i);
        if (record.Usable && record.Device && record.Device->Attached())
            return i;
    }
    return -1;
}

const JoystickRecord* ActiveJoystickRecord(int number)
{
    const InputManager* input = TheInputManager();
    if (!input || number < 0 || number >= input->JoystickCount())
        return nullptr;
    return &input->Joystick(number);
}

void ResetMenuInputLatches()
{
    g_nLatchedKey = 0;
    g_bJoystickReleased = true;
    g_nJoystickKey = 0;
    g_bMouseButtonDown = false;
}
