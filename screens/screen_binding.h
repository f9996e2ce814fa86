#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

class Control;
class Form;
class Label;

// The game's screen handlers, bound to the menu framework's hooks by screen
// name (compared without regard to case): what a screen fills when it is
// entered, draws, does when it is left, does with a command and shows in
// its live labels. Screens without a handler get the framework's defaults
// (nothing filled, every command agreed to).

// One row of the screen table: a screen name, or with a final '*' the
// beginning of the names of a family of screens, and its handlers (null:
// the default for that hook). Each group of screens keeps its handlers in
// its own files; the table in screen_binding.cpp lists their rows.
struct ScreenRow {
    const char* name;
    // Entered (the framework then resets every element).
    void (*prepare)(Form& form) = nullptr;
    // Drawn; false paints no element.
    bool (*draw)(Form& form) = nullptr;
    // Left; false keeps the elements' leave step from running.
    bool (*release)(Form& form) = nullptr;
    // A control of the screen reports a command; false from a button stops
    // its own command.
    bool (*command)(Form& form, Control& control) = nullptr;
    // A label with a live variable asks for its text; true when `buffer`
    // holds a new one.
    bool (*live_label)(Form& form, Label& label, char* buffer, std::size_t capacity) = nullptr;
    // About to be entered (before it is loaded); false backs out with
    // command 0 instead.
    bool (*entry)(Form& form) = nullptr;
};

// The rows, in the order the hooks try them: the first row whose name
// matches and that has the hook's handler runs.
std::span<const ScreenRow> ScreenTable();
// Whether a row's name matches a screen's name.
bool RowMatches(const ScreenRow& row, const char* screenName);

// Installs the handlers as the menu framework's screen hooks; the program
// calls it once at start-up.
void InstallScreenHandlers();

// The hooks themselves, by the screen's name.
bool ScreenPrepare(Form& form);
bool ScreenDraw(Form& form);
bool ScreenRelease(Form& form);
bool ScreenCommand(Control& control);
bool ScreenLiveLabel(Label& label, char* buffer, std::size_t capacity);
bool ScreenEntry(Form& form);
// Every command of every screen is agreed to.
bool ScreenFormCommand(Form& form, std::int32_t command);
