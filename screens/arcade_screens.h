#pragma once

#include <cstdint>

class Control;
class Form;

// The arcade screens: the track ("Arcade04"), the bike choice ("Arcade03",
// "MArcade3") and the race screen of an arcade championship ("Arcade08").
// Elements are found by name without regard to case.

// The current item of a choice control: an image's current frame, the item
// a picture box's carousel shows. Throws "not found" for a control that
// shows no items.
std::int32_t CurrentItem(const Control& control);

// "Arcade04": its strip "track" shows the circuits of the season, one frame
// per event. The circuit the screen chose is the strip's current frame.
// Entered: the strip, and the 3D view "OLE1" when the screen has one (its
// item i the circuit of event i), show the arcade track of the game
// settings.
void ShowArcadeTrack(Form& form);
// Any command: the strip's current frame becomes the race's track. Alone:
// championship mode 0 (a single arcade race), the current event and the
// arcade track; in a network game the arcade track and the race header's
// track name. Throws "not found" without the strip, "out of range" for a
// frame of 12 or more. True: the button's own command runs.
bool ArcadeTrackCommand(Form& form);

// "Arcade03": the carousel "OLE1" shows the bikes, one item per racing-team
// row (item i is row i + 1); "logo" shows the plate of a bike. The screen
// has two steps, each a group of its elements: the bike (group 1) and the
// transmission (group 2).
inline constexpr std::int32_t kBikeChoiceGroup = 1;
inline constexpr std::int32_t kTransmissionGroup = 2;
// Entered: "logo" shows the chosen bike, and the bike step is shown.
void ArcadeBikePrepare(Form& form);
// Drawn: "logo" follows the item the carousel shows.
bool ArcadeBikeDraw(Form& form);
// UserID 1 takes the bike the carousel shows ("not found" without "OLE1"):
// the first rider of its racing team becomes the player's rider and the
// chosen bike's units the item; then the transmission step. 2 automatic,
// 3 manual (the transmission byte 0 or 1), back to the bike step; 4 back
// to it without a change. True.
bool ArcadeBikeCommand(Form& form, Control& control);

// "Arcade08" entered: the current event's circuit ("track", "sprite_round",
// the pages of "LBL_Nation" and "LBL_Circuit_info") and, in
// "lbl_records", one row per circuit with its arcade lap record and its
// holder ("-:-:-" while the record is the default).
void ArcadeRacePrepare(Form& form);
// UserID 2 asks dialogue 27 and stops the button's command only on 0.
bool ArcadeRaceCommand(Form& form, Control& control);

// "Arcade07", the season's circuits: one row per circuit, the labels
// "row00" .. "row11" (its round, name, arcade lap record and holder), ten
// of them shown at a time from the position of the scroll bar "list" (the
// first circuit shown). The rows keep the spacing of the screen file's
// first two; the ten shown stand right above the bar. A row outside the
// ten, or whose top is above y = 100, is hidden.
inline constexpr std::int32_t kTrackListShown = 10;
inline constexpr std::int32_t kTrackListTopLimit = 100;
// Entered: the rows' texts, and the rows laid out for the bar's position.
void ArcadeTrackListPrepare(Form& form);
// Drawn: the rows follow the bar's position. True.
bool ArcadeTrackListDraw(Form& form);
