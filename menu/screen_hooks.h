#pragma once

#include <cstddef>
#include <cstdint>

class Control;
class Form;
class Label;

// The points where the menu framework hands over to the game's screens.
// The framework knows nothing of the game: what a screen does when it is
// entered, drawn or left, what a command means on it and what a live label
// shows is decided by the screen handlers, which install their functions
// here. Until they do (and for every hook left null) the framework behaves
// as a screen without a handler: every hook agrees and changes nothing.
struct ScreenHooks {
    // A screen is entered (before its controls are reset); its result is
    // not used.
    bool (*user_prepare)(Form& form) = nullptr;
    // A screen is about to paint its controls; false paints none of them.
    bool (*user_draw)(Form& form) = nullptr;
    // A screen is being left; false keeps its controls' leave step from running.
    bool (*user_release)(Form& form) = nullptr;
    // A control reports a command (a button's UserID, a row chosen in a
    // list); false stops the button's own command.
    bool (*menu_command)(Control& control) = nullptr;
    // A label with a live variable asks for its text; true when `buffer`
    // holds a new one.
    bool (*live_label)(Label& label, char* buffer, std::size_t capacity) = nullptr;
    // A command is about to change the menu state; false refuses it.
    bool (*form_command)(Form& form, std::int32_t command) = nullptr;
    // A screen is about to be shown; false sends command 0 instead.
    bool (*screen_entry)(Form& form) = nullptr;
};

// Installs the screen handlers' functions (a copy is kept).
void SetScreenHooks(const ScreenHooks& hooks);
const ScreenHooks& TheScreenHooks();

// The framework's calls of the hooks, with the agreeing default.
bool OnUserPrepare(Form& form);
bool OnUserDraw(Form& form);
bool OnUserRelease(Form& form);
bool OnMenuCommand(Control& control);
bool UpdateLiveLabel(Label& label, char* buffer, std::size_t capacity);
bool FormCommandHook(Form& form, std::int32_t command);
bool AddMenuScene(Form& form);
