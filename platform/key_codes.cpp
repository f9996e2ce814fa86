#include "platform/key_codes.h"

#include <SDL_keycode.h>
#include <SDL_scancode.h>

namespace platform {

int virtual_key_from_sdl_keycode(int key)
{
    if (key >= SDLK_a && key <= SDLK_z)
        return 'A' + (key - SDLK_a);
    if (key >= SDLK_0 && key <= SDLK_9)
        return '0' + (key - SDLK_0);
    if (key >= SDLK_F1 && key <= SDLK_F12)
        return VK_F1 + (key - SDLK_F1);
    if (key >= SDLK_KP_1 && key <= SDLK_KP_9)
        return VK_NUMPAD0 + 1 + (key - SDLK_KP_1);

    switch (key) {
    case SDLK_BACKSPACE: return VK_BACK;
    case SDLK_TAB: return VK_TAB;
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return VK_RETURN;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT: return VK_SHIFT;
    case SDLK_LCTRL:
    case SDLK_RCTRL: return VK_CONTROL;
    case SDLK_LALT:
    case SDLK_RALT: return VK_MENU;
    case SDLK_PAUSE: return VK_PAUSE;
    case SDLK_CAPSLOCK: return VK_CAPITAL;
    case SDLK_ESCAPE: return VK_ESCAPE;
    case SDLK_SPACE: return VK_SPACE;
    case SDLK_PAGEUP: return VK_PRIOR;
    case SDLK_PAGEDOWN: return VK_NEXT;
    case SDLK_END: return VK_END;
    case SDLK_HOME: return VK_HOME;
    case SDLK_LEFT: return VK_LEFT;
    case SDLK_UP: return VK_UP;
    case SDLK_RIGHT: return VK_RIGHT;
    case SDLK_DOWN: return VK_DOWN;
    case SDLK_PRINTSCREEN: return VK_SNAPSHOT;
    case SDLK_INSERT: return VK_INSERT;
    case SDLK_DELETE: return VK_DELETE;
    case SDLK_LGUI: return VK_LWIN;
    case SDLK_RGUI: return VK_RWIN;
    case SDLK_APPLICATION: return VK_APPS;
    case SDLK_KP_0: return VK_NUMPAD0;
    case SDLK_KP_MULTIPLY: return VK_MULTIPLY;
    case SDLK_KP_PLUS: return VK_ADD;
    case SDLK_KP_MINUS: return VK_SUBTRACT;
    case SDLK_KP_PERIOD: return VK_DECIMAL;
    case SDLK_KP_DIVIDE: return VK_DIVIDE;
    case SDLK_NUMLOCKCLEAR: return VK_NUMLOCK;
    case SDLK_SCROLLLOCK: return VK_SCROLL;
    case SDLK_SEMICOLON: return VK_OEM_1;
    case SDLK_EQUALS: return VK_OEM_PLUS;
    case SDLK_COMMA: return VK_OEM_COMMA;
    case SDLK_MINUS: return VK_OEM_MINUS;
    case SDLK_PERIOD: return VK_OEM_PERIOD;
    case SDLK_SLASH: return VK_OEM_2;
    case SDLK_BACKQUOTE: return VK_OEM_3;
    case SDLK_LEFTBRACKET: return VK_OEM_4;
    case SDLK_BACKSLASH: return VK_OEM_5;
    case SDLK_RIGHTBRACKET: return VK_OEM_6;
    case SDLK_QUOTE: return VK_OEM_7;
    default: return 0;
    }
}

namespace {

struct ScanEntry {
    int sdl;
    std::uint8_t code;
    bool extended;
};

// Physical keys by their USB usage (SDL's scan code) and their PC scan code.
constexpr ScanEntry kScanTable[] = {
    {SDL_SCANCODE_A, 0x1E, false}, {SDL_SCANCODE_B, 0x30, false}, {SDL_SCANCODE_C, 0x2E, false},
    {SDL_SCANCODE_D, 0x20, false}, {SDL_SCANCODE_E, 0x12, false}, {SDL_SCANCODE_F, 0x21, false},
    {SDL_SCANCODE_G, 0x22, false}, {SDL_SCANCODE_H, 0x23, false}, {SDL_SCANCODE_I, 0x17, false},
    {SDL_SCANCODE_J, 0x24, false}, {SDL_SCANCODE_K, 0x25, false}, {SDL_SCANCODE_L, 0x26, false},
    {SDL_SCANCODE_M, 0x32, false}, {SDL_SCANCODE_N, 0x31, false}, {SDL_SCANCODE_O, 0x18, false},
    {SDL_SCANCODE_P, 0x19, false}, {SDL_SCANCODE_Q, 0x10, false}, {SDL_SCANCODE_R, 0x13, false},
    {SDL_SCANCODE_S, 0x1F, false}, {SDL_SCANCODE_T, 0x14, false}, {SDL_SCANCODE_U, 0x16, false},
    {SDL_SCANCODE_V, 0x2F, false}, {SDL_SCANCODE_W, 0x11, false}, {SDL_SCANCODE_X, 0x2D, false},
    {SDL_SCANCODE_Y, 0x15, false}, {SDL_SCANCODE_Z, 0x2C, false},
    {SDL_SCANCODE_1, 0x02, false}, {SDL_SCANCODE_2, 0x03, false}, {SDL_SCANCODE_3, 0x04, false},
    {SDL_SCANCODE_4, 0x05, false}, {SDL_SCANCODE_5, 0x06, false}, {SDL_SCANCODE_6, 0x07, false},
    {SDL_SCANCODE_7, 0x08, false}, {SDL_SCANCODE_8, 0x09, false}, {SDL_SCANCODE_9, 0x0A, false},
    {SDL_SCANCODE_0, 0x0B, false},
    {SDL_SCANCODE_RETURN, 0x1C, false}, {SDL_SCANCODE_ESCAPE, 0x01, false},
    {SDL_SCANCODE_BACKSPACE, 0x0E, false}, {SDL_SCANCODE_TAB, 0x0F, false},
    {SDL_SCANCODE_SPACE, 0x39, false}, {SDL_SCANCODE_MINUS, 0x0C, false},
    {SDL_SCANCODE_EQUALS, 0x0D, false}, {SDL_SCANCODE_LEFTBRACKET, 0x1A, false},
    {SDL_SCANCODE_RIGHTBRACKET, 0x1B, false}, {SDL_SCANCODE_BACKSLASH, 0x2B, false},
    {SDL_SCANCODE_NONUSHASH, 0x2B, false}, {SDL_SCANCODE_SEMICOLON, 0x27, false},
    {SDL_SCANCODE_APOSTROPHE, 0x28, false}, {SDL_SCANCODE_GRAVE, 0x29, false},
    {SDL_SCANCODE_COMMA, 0x33, false}, {SDL_SCANCODE_PERIOD, 0x34, false},
    {SDL_SCANCODE_SLASH, 0x35, false}, {SDL_SCANCODE_CAPSLOCK, 0x3A, false},
    {SDL_SCANCODE_F1, 0x3B, false}, {SDL_SCANCODE_F2, 0x3C, false}, {SDL_SCANCODE_F3, 0x3D, false},
    {SDL_SCANCODE_F4, 0x3E, false}, {SDL_SCANCODE_F5, 0x3F, false}, {SDL_SCANCODE_F6, 0x40, false},
    {SDL_SCANCODE_F7, 0x41, false}, {SDL_SCANCODE_F8, 0x42, false}, {SDL_SCANCODE_F9, 0x43, false},
    {SDL_SCANCODE_F10, 0x44, false}, {SDL_SCANCODE_F11, 0x57, false}, {SDL_SCANCODE_F12, 0x58, false},
    {SDL_SCANCODE_PRINTSCREEN, 0x37, true}, {SDL_SCANCODE_SCROLLLOCK, 0x46, false},
    {SDL_SCANCODE_PAUSE, 0x45, true}, {SDL_SCANCODE_INSERT, 0x52, true},
    {SDL_SCANCODE_HOME, 0x47, true}, {SDL_SCANCODE_PAGEUP, 0x49, true},
    {SDL_SCANCODE_DELETE, 0x53, true}, {SDL_SCANCODE_END, 0x4F, true},
    {SDL_SCANCODE_PAGEDOWN, 0x51, true}, {SDL_SCANCODE_RIGHT, 0x4D, true},
    {SDL_SCANCODE_LEFT, 0x4B, true}, {SDL_SCANCODE_DOWN, 0x50, true}, {SDL_SCANCODE_UP, 0x48, true},
    {SDL_SCANCODE_NUMLOCKCLEAR, 0x45, false}, {SDL_SCANCODE_KP_DIVIDE, 0x35, true},
    {SDL_SCANCODE_KP_MULTIPLY, 0x37, false}, {SDL_SCANCODE_KP_MINUS, 0x4A, false},
    {SDL_SCANCODE_KP_PLUS, 0x4E, false}, {SDL_SCANCODE_KP_ENTER, 0x1C, true},
    {SDL_SCANCODE_KP_1, 0x4F, false}, {SDL_SCANCODE_KP_2, 0x50, false}, {SDL_SCANCODE_KP_3, 0x51, false},
    {SDL_SCANCODE_KP_4, 0x4B, false}, {SDL_SCANCODE_KP_5, 0x4C, false}, {SDL_SCANCODE_KP_6, 0x4D, false},
    {SDL_SCANCODE_KP_7, 0x47, false}, {SDL_SCANCODE_KP_8, 0x48, false}, {SDL_SCANCODE_KP_9, 0x49, false},
    {SDL_SCANCODE_KP_0, 0x52, false}, {SDL_SCANCODE_KP_PERIOD, 0x53, false},
    {SDL_SCANCODE_NONUSBACKSLASH, 0x56, false}, {SDL_SCANCODE_APPLICATION, 0x5D, true},
    {SDL_SCANCODE_F13, 0x64, false}, {SDL_SCANCODE_F14, 0x65, false}, {SDL_SCANCODE_F15, 0x66, false},
    {SDL_SCANCODE_LCTRL, 0x1D, false}, {SDL_SCANCODE_LSHIFT, 0x2A, false},
    {SDL_SCANCODE_LALT, 0x38, false}, {SDL_SCANCODE_LGUI, 0x5B, true},
    {SDL_SCANCODE_RCTRL, 0x1D, true}, {SDL_SCANCODE_RSHIFT, 0x36, false},
    {SDL_SCANCODE_RALT, 0x38, true}, {SDL_SCANCODE_RGUI, 0x5C, true},
    // Keypad extras, the Japanese and Brazilian keys, and the media and
    // browser keys of extended keyboards.
    {SDL_SCANCODE_KP_EQUALS, 0x0D, true}, {SDL_SCANCODE_KP_COMMA, 0x33, true},
    {SDL_SCANCODE_SYSREQ, 0x37, true},
    {SDL_SCANCODE_INTERNATIONAL1, 0x73, false}, {SDL_SCANCODE_INTERNATIONAL2, 0x70, false},
    {SDL_SCANCODE_INTERNATIONAL3, 0x7D, false}, {SDL_SCANCODE_INTERNATIONAL4, 0x79, false},
    {SDL_SCANCODE_INTERNATIONAL5, 0x7B, false},
    {SDL_SCANCODE_AUDIOPREV, 0x10, true}, {SDL_SCANCODE_AUDIONEXT, 0x19, true},
    {SDL_SCANCODE_MUTE, 0x20, true}, {SDL_SCANCODE_AUDIOMUTE, 0x20, true},
    {SDL_SCANCODE_CALCULATOR, 0x21, true}, {SDL_SCANCODE_AUDIOPLAY, 0x22, true},
    {SDL_SCANCODE_AUDIOSTOP, 0x24, true}, {SDL_SCANCODE_VOLUMEDOWN, 0x2E, true},
    {SDL_SCANCODE_VOLUMEUP, 0x30, true}, {SDL_SCANCODE_WWW, 0x32, true},
    {SDL_SCANCODE_AC_HOME, 0x32, true}, {SDL_SCANCODE_POWER, 0x5E, true},
    {SDL_SCANCODE_SLEEP, 0x5F, true}, {SDL_SCANCODE_AC_SEARCH, 0x65, true},
    {SDL_SCANCODE_AC_BOOKMARKS, 0x66, true}, {SDL_SCANCODE_AC_REFRESH, 0x67, true},
    {SDL_SCANCODE_AC_STOP, 0x68, true}, {SDL_SCANCODE_AC_FORWARD, 0x69, true},
    {SDL_SCANCODE_AC_BACK, 0x6A, true}, {SDL_SCANCODE_COMPUTER, 0x6B, true},
    {SDL_SCANCODE_MAIL, 0x6C, true}, {SDL_SCANCODE_MEDIASELECT, 0x6D, true},
};

} // namespace

PcScanCode pc_scan_code_from_sdl_scancode(int sdl_scancode)
{
    for (const ScanEntry& entry : kScanTable) {
        if (entry.sdl == sdl_scancode)
            return {entry.code, entry.extended};
    }
    return {};
}

} // namespace platform
