#pragma once

#include <cstdint>
#include <memory>

class Control;

// Makes a control of a type number. The kinds the framework does not build
// yet throw a clear message naming the element; an unknown number throws
// "undef element".
std::unique_ptr<Control> MakeControl(std::int32_t type, const char* name);

// What a link from `control` to `target` adds beside the link itself (a
// picture box records the buttons linked to it).
void NoteButtonLink(Control& control, Control& target);

// Enables the control when it is a command button.
void EnableIfButton(Control& control);
