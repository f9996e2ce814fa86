#pragma once

#include <string>

// The short names shown for bindings and keys, and the characters of keys.

// The name of a binding (type code and index as in input/control_block.h):
// a key's name, "J%d B%d" for joystick buttons, "M B%d" for mouse buttons,
// "MX%c", "MY%c", "J%d X%c", "J%d Y%c", "J%d Z%c", "J%d R%c", "J%d U%c",
// "J%d V%c" for axes ('+' with bit 0x40, else '-'). Empty for the mouse
// wheel and unknown codes.
std::string GetControlName(int type, int index);

// A key's name: its character when it types one (not a space), else the
// name of a special key ("LCTR", "SPACE", "F1", "HOME"; the arrows are the
// single characters '(' up, ')' down, '#' left and '%' right, which the menu
// font draws as arrows). Empty for keys without a name.
std::string GetKeyName(int code);

// The character a key types on a US keyboard, digits also from the numeric
// pad; letters are upper case. With `shift`, the digit row and the
// punctuation keys give their shifted symbols, except those the menu font
// draws as arrows ('(', ')', '#', '%'), for which the key's own character is
// kept. 0 for keys that type nothing.
int ScanCodeToChar(int code, bool shift = false);
