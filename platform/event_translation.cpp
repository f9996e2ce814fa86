#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/cursor.h"
#include "platform/input_events.h"
#include "platform/key_codes.h"
#include "platform/native_event.h"
#include "platform/window_system.h"

// Turns the window system's events into window messages (keys by virtual key
// with the scan code in lParam, mouse by client position, window changes) and
// into raw events for the input layer.
namespace platform {
namespace {

constexpr std::uint32_t kExtendedKeyBit = 1u << 24;
constexpr std::uint32_t kAltContextBit = 1u << 29;
constexpr std::uint32_t kPreviousStateBit = 1u << 30;
constexpr std::uint32_t kTransitionBit = 1u << 31;

// Letters and digits keep their virtual keys when the layout gives them a
// symbol outside ASCII: they are found by their place on the keyboard.
int virtual_key_of(const NativeEvent& e)
{
    if (int vk = virtual_key_from_sdl_keycode(e.sdl_keycode))
        return vk;
    constexpr int kScanA = 4, kScanZ = 29, kScan1 = 30, kScan0 = 39;
    if (e.sdl_scancode >= kScanA && e.sdl_scancode <= kScanZ)
        return 'A' + (e.sdl_scancode - kScanA);
    if (e.sdl_scancode >= kScan1 && e.sdl_scancode < kScan0)
        return '1' + (e.sdl_scancode - kScan1);
    if (e.sdl_scancode == kScan0)
        return '0';
    return 0;
}

// The character a key gives by itself, for keys that type no text.
int control_character(int vk)
{
    switch (vk) {
    case VK_BACK: return 0x08;
    case VK_TAB: return 0x09;
    case VK_RETURN: return 0x0D;
    case VK_ESCAPE: return 0x1B;
    default: return 0;
    }
}

bool deliver_key(const NativeEvent& e)
{
    const bool down = e.kind == NativeEventKind::KeyDown;
    InputEvent raw;
    raw.type = down ? InputEventType::KeyDown : InputEventType::KeyUp;
    raw.scancode = e.sdl_scancode;
    raw.repeat = e.repeat;
    inject_input_event(raw);

    if (!is_window(e.window))
        return false;
    const int vk = virtual_key_of(e);
    if (vk == 0)
        return true;

    // Alt itself, any key while Alt is held, and F10 go to the window as
    // system keys.
    const bool alt_held = (e.modifiers & kModAlt) != 0;
    const bool system_key = vk == VK_MENU || alt_held || vk == VK_F10;
    const PcScanCode scan = pc_scan_code_from_sdl_scancode(e.sdl_scancode);

    std::uint32_t bits = 1; // repeat count
    bits |= std::uint32_t(scan.code) << 16;
    if (scan.extended)
        bits |= kExtendedKeyBit;
    if (alt_held || vk == VK_MENU)
        bits |= kAltContextBit;
    if (!down || e.repeat)
        bits |= kPreviousStateBit;
    if (!down)
        bits |= kTransitionBit;

    const unsigned message = down ? (system_key ? WM_SYSKEYDOWN : WM_KEYDOWN) : (system_key ? WM_SYSKEYUP : WM_KEYUP);
    const LParam lparam = static_cast<LParam>(bits);
    enqueue_message({e.window, message, static_cast<WParam>(vk), lparam}, MessageOrigin::Input, e.repeat);
    if (down && !system_key) {
        if (int ch = control_character(vk))
            enqueue_message({e.window, WM_CHAR, static_cast<WParam>(ch), lparam}, MessageOrigin::Input);
    }
    return true;
}

// Code points of UTF-8 text; malformed bytes are skipped.
std::vector<std::uint32_t> decode_utf8(std::string_view text)
{
    std::vector<std::uint32_t> out;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        int extra = lead < 0x80 ? 0 : (lead >> 5) == 0x6 ? 1 : (lead >> 4) == 0xE ? 2 : (lead >> 3) == 0x1E ? 3 : -1;
        if (extra < 0 || text.size() - i <= static_cast<std::size_t>(extra)) {
            ++i;
            continue;
        }
        std::uint32_t cp = extra == 0 ? lead : (lead & (0x3Fu >> extra));
        bool ok = true;
        for (int k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
            if ((next & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (next & 0x3Fu);
        }
        if (!ok) {
            ++i;
            continue;
        }
        out.push_back(cp);
        i += static_cast<std::size_t>(extra) + 1;
    }
    return out;
}

// Characters of the program's 8-bit character set (Latin-1) reach the window
// as WM_CHAR; others cannot be shown by it and are left out.
bool deliver_text(const NativeEvent& e)
{
    if (!is_window(e.window))
        return false;
    for (std::uint32_t cp : decode_utf8(e.text)) {
        if (cp >= 0x20 && cp < 0x100)
            enqueue_message({e.window, WM_CHAR, static_cast<WParam>(cp), 1}, MessageOrigin::Input);
    }
    return true;
}

WParam mouse_key_flags(const NativeEvent& e)
{
    WParam flags = 0;
    if (e.buttons_held & (1u << (kMouseLeft - 1)))
        flags |= MK_LBUTTON;
    if (e.buttons_held & (1u << (kMouseRight - 1)))
        flags |= MK_RBUTTON;
    if (e.buttons_held & (1u << (kMouseMiddle - 1)))
        flags |= MK_MBUTTON;
    if (e.modifiers & kModShift)
        flags |= MK_SHIFT;
    if (e.modifiers & kModCtrl)
        flags |= MK_CONTROL;
    return flags;
}

unsigned button_message(int button, bool down)
{
    switch (button) {
    case kMouseLeft: return down ? WM_LBUTTONDOWN : WM_LBUTTONUP;
    case kMouseRight: return down ? WM_RBUTTONDOWN : WM_RBUTTONUP;
    case kMouseMiddle: return down ? WM_MBUTTONDOWN : WM_MBUTTONUP;
    default: return 0;
    }
}

bool deliver_mouse(const NativeEvent& e)
{
    InputEvent raw;
    raw.x = e.x;
    raw.y = e.y;
    unsigned message = 0;
    WParam wparam = mouse_key_flags(e);
    LParam lparam = make_lparam(e.x, e.y);
    switch (e.kind) {
    case NativeEventKind::MouseMotion:
        raw.type = InputEventType::MouseMotion;
        raw.dx = e.dx;
        raw.dy = e.dy;
        message = WM_MOUSEMOVE;
        break;
    case NativeEventKind::MouseButtonDown:
    case NativeEventKind::MouseButtonUp: {
        const bool down = e.kind == NativeEventKind::MouseButtonDown;
        raw.type = down ? InputEventType::MouseButtonDown : InputEventType::MouseButtonUp;
        raw.button = e.button;
        message = button_message(e.button, down);
        break;
    }
    default: { // wheel: one notch is 120, in the high word; the position is on the screen
        raw.type = InputEventType::MouseWheel;
        raw.wheel = e.wheel;
        message = WM_MOUSEWHEEL;
        const int delta = e.wheel * 120;
        wparam |= static_cast<WParam>(static_cast<std::uint16_t>(static_cast<std::int16_t>(delta))) << 16;
        Point screen{e.x, e.y};
        if (client_to_screen(e.window, screen))
            lparam = make_lparam(screen.x, screen.y);
        break;
    }
    }
    inject_input_event(raw);

    if (!is_window(e.window))
        return false;
    note_cursor_position(e.window, e.x, e.y);
    if (message != 0)
        enqueue_message({e.window, message, wparam, lparam}, MessageOrigin::Input);
    return true;
}

} // namespace

bool deliver_native_event(const NativeEvent& event)
{
    switch (event.kind) {
    case NativeEventKind::KeyDown:
    case NativeEventKind::KeyUp:
        return deliver_key(event);
    case NativeEventKind::Text:
        return deliver_text(event);
    case NativeEventKind::MouseMotion:
    case NativeEventKind::MouseButtonDown:
    case NativeEventKind::MouseButtonUp:
    case NativeEventKind::MouseWheel:
        return deliver_mouse(event);
    case NativeEventKind::FocusGained:
    case NativeEventKind::FocusLost: {
        InputEvent raw;
        raw.type = event.kind == NativeEventKind::FocusGained ? InputEventType::FocusGained : InputEventType::FocusLost;
        inject_input_event(raw);
        return deliver_window_event(event);
    }
    default:
        return deliver_window_event(event);
    }
}

} // namespace platform
