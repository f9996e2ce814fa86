#pragma once

// The engine's fatal-error message box. The text is formatted with printf
// rules into a 256-character buffer (a longer text is cut to 255 characters)
// and shown in a box with the given caption and an OK button; the text also
// goes to stderr. It returns the box's result and does not end the program:
// every engine caller ends it afterwards with exit status 1. Engine callers
// use the caption "error".
int error_box(const char* caption, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Size of the formatting buffer, terminating zero included.
inline constexpr int error_box_text_size = 256;
