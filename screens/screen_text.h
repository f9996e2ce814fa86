#pragma once

#include <cstdint>
#include <string>

class Control;
class Form;
class Label;

// What the screens that show results, standings and records share: how a
// time reads, and the controls they fill.

// A time in seconds as minutes, seconds and hundredths ("%02d:%02d:%02d"),
// or "-:-:-" for the championship's "no time" (1499.99 s) and for a time
// that is negative or not a number.
std::string MenuTimeText(float seconds);

// The text upper-cased (the tables show names so).
std::string UpperCase(const char* text);

// The label of that name on the screen; throws "not found" without one.
Label& RequiredLabel(Form& form, const char* name);
// The first of two names that the screen has as a label (the twins of a
// screen name one column two ways); throws "not found" when it has neither.
Label& RequiredLabel(Form& form, const char* name, const char* other);

// Shows or hides a control when the screen has it (a caption or a picture
// the table does not need).
void ShowIfPresent(Form& form, const char* name, bool shown);
// Puts an image strip of the screen on a frame when it has the strip and
// the frame; anything else is left as it is.
void SetFrameIfPresent(Form& form, const char* name, std::int32_t frame);
// Gives a label of the screen a text when it has the label.
void SetTextIfPresent(Form& form, const char* name, const std::string& text);
// Puts a label of the screen on a page when it has the label and the page;
// the label is drawn again either way.
void SetPageIfPresent(Form& form, const char* name, std::int32_t page);

// The choice a selector control shows: the first row of a label (a choice
// stepped by its arrows), the frame of an image strip. Throws "not found"
// for a control of another kind.
std::int32_t SelectorValue(const Control& control);
