#pragma once

#include <cstdint>

class Control;
class Form;

// The option screens and their arcade twins: race options ("Opt0201",
// "AOpt0201"), controls ("Opt0202", "AOpt0202"), driving ("Opt0203"),
// graphics ("Opt0204", "aOpt0204"), audio ("Opt0205", "aOpt0205") and the
// display driver ("Opt02d", "aOpt02d"). Each edits the game settings or the
// application record and saves its group of settings; a twin is told from
// its screen by the first letter of its name ("A" or "a": arcade).

// ---- Prepare ----
void RaceOptionsPrepare(Form& form);
void ControlsPrepare(Form& form);
void DrivingPrepare(Form& form);
void GraphicsPrepare(Form& form);
void AudioPrepare(Form& form);
void DriverPrepare(Form& form);

// ---- Release (the screens' work records go) ----
bool OptionScreenRelease(Form& form);

// ---- Commands (by the control's UserID) ----
bool RaceOptionsCommand(Form& form, Control& control);
bool ControlsCommand(Form& form, Control& control);
bool DrivingCommand(Form& form, Control& control);
bool GraphicsCommand(Form& form, Control& control);
bool AudioCommand(Form& form, Control& control);
bool DriverCommand(Form& form, Control& control);

// Whether the binding of one control of the program's default block can be
// smoothed (its two rate sliders apply): keys, mouse buttons and joystick
// buttons; a joystick axis only of a joystick that is attached and has that
// axis; mouse axes never.
bool BindingTakesRates(int control);

// What the graphics screen asks of the display: whether the chosen driver
// pair offers a mode of that size (the renderer's find_mode). Tests put their
// own in (null: the renderer again).
using DisplayModeOffered = bool (*)(int width, int height);
void SetDisplayModeOffered(DisplayModeOffered offered);

// What the display-driver screen does to try a new driver pair before it is
// kept: starts the menus' display on the pair in the application record
// (StartMenuDisplay). Tests put their own in (null: StartMenuDisplay again).
using DisplayStarter = bool (*)();
void SetDisplayStarter(DisplayStarter starter);
