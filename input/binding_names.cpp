#include "input/binding_names.h"

#include <cstdio>

#include "input/control_block.h"

namespace {

// Characters by key number, without shift.
char PlainChar(int code)
{
    static constexpr char kDigitRow[] = "1234567890";   // 2..11
    static constexpr char kTopRow[] = "QWERTYUIOP";     // 16..25
    static constexpr char kHomeRow[] = "ASDFGHJKL";     // 30..38
    static constexpr char kBottomRow[] = "ZXCVBNM";     // 44..50
    if (code >= 2 && code <= 11)
        return kDigitRow[code - 2];
    if (code >= 16 && code <= 25)
        return kTopRow[code - 16];
    if (code >= 30 && code <= 38)
        return kHomeRow[code - 30];
    if (code >= 44 && code <= 50)
        return kBottomRow[code - 44];
    switch (code) {
    case 71: return '7';
    case 72: return '8';
    case 73: return '9';
    case 75: return '4';
    case 76: return '5';
    case 77: return '6';
    case 79: return '1';
    case 80: return '2';
    case 81: return '3';
    case 82: return '0';
    case 12:
    case 74: return '-';
    case 13: return '=';
    case 14: return 8; // backspace
    case 26: return '[';
    case 27: return ']';
    case 39: return ';';
    case 40: return '\'';
    case 43: return '$';
    case 51: return ',';
    case 52:
    case 83: return '.';
    case 53:
    case 181: return '/';
    case 55: return '*';
    case 57: return ' ';
    case 78: return '+';
    default: return 0;
    }
}

// Shifted symbols of the main block; 0 where the key keeps its own.
char ShiftedChar(int code)
{
    // The digit row: ! @ then 3 and 5 keep their digits ('#' and '%' are
    // arrows in the menu font), ^ & *, then 9 and 0 keep theirs.
    static constexpr char kDigitRow[] = "!@3$5^&*90";
    if (code >= 2 && code <= 11)
        return kDigitRow[code - 2];
    switch (code) {
    case 12: return '_';
    case 13: return '+';
    case 26: return '{';
    case 27: return '}';
    case 39: return ':';
    case 40: return '"';
    case 51: return '<';
    case 52: return '>';
    case 53: return '?';
    default: return 0;
    }
}

} // namespace

int ScanCodeToChar(int code, bool shift)
{
    if (code < 2 || code > 181)
        return 0;
    if (shift)
        if (const char c = ShiftedChar(code))
            return static_cast<unsigned char>(c);
    return static_cast<unsigned char>(PlainChar(code));
}

std::string GetKeyName(int code)
{
    const int c = ScanCodeToChar(code);
    if (c != 0 && c != ' ')
        return std::string(1, static_cast<char>(c));
    switch (code) {
    case 29: return "LCTR";
    case 56: return "LALT";
    case 57: return "SPACE";
    case 87: return "F11";
    case 88: return "F12";
    case 157: return "RCTR";
    case 184: return "RALT";
    case 199: return "HOME";
    case 200: return "(";
    case 201: return "PGUP";
    case 203: return "#";
    case 205: return "%";
    case 207: return "END";
    case 208: return ")";
    case 209: return "PGDN";
    case 210: return "INS";
    case 211: return "DEL";
    default: break;
    }
    if (code >= 59 && code <= 68)
        return "F" + std::to_string(code - 58);
    return {};
}

std::string GetControlName(int type, int index)
{
    char text[32] = {};
    if (type == kBindKey)
        return GetKeyName(index);
    if (type >= kBindJoyButton0 && type < kBindJoyButton0 + kBindJoyButtonCount) {
        std::snprintf(text, sizeof text, "J%d B%d", index, type - kBindJoyButton0);
        return text;
    }
    if (type >= kBindMouseButton0 && type < kBindMouseButton0 + kBindMouseButtonCount) {
        std::snprintf(text, sizeof text, "M B%d", type - kBindMouseButton0);
        return text;
    }
    const int axis = type & ~kBindNegative;
    const char sign = (type & kBindNegative) ? '+' : '-';
    static constexpr char kJoyAxisLetters[] = "XYZRUV";
    if (axis == kBindMouseX)
        std::snprintf(text, sizeof text, "MX%c", sign);
    else if (axis == kBindMouseY)
        std::snprintf(text, sizeof text, "MY%c", sign);
    else if (axis >= kBindJoyAxisX && axis < kBindJoyAxisX + kBindJoyAxisCount)
        std::snprintf(text, sizeof text, "J%d %c%c", index, kJoyAxisLetters[axis - kBindJoyAxisX], sign);
    return text;
}
