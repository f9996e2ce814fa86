#pragma once

#include <cstdint>

class Control;
class Form;

// The game's screen handlers, bound to the menu framework's hooks by screen
// name (compared without regard to case): what a screen fills when it is
// entered, draws, and does with a command. Screens without a handler get the
// framework's defaults (nothing filled, every command agreed to).

// Installs the handlers as the menu framework's screen hooks; the program
// calls it once at start-up.
void InstallScreenHandlers();

// The hooks themselves, by the screen's name.
bool ScreenPrepare(Form& form);
bool ScreenDraw(Form& form);
bool ScreenCommand(Control& control);
bool ScreenFormCommand(Form& form, std::int32_t command);
