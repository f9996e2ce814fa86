#pragma once

#include <cstdint>

class Control;
class Form;

// The arcade track screen "Arcade04": its strip "track" (found by name
// without regard to case) shows the circuits of the season, one frame per
// event. The circuit the screen chose is the strip's current frame.

// The current item of a choice control: an image's current frame. Throws
// "not found" for a control that shows no items.
std::int32_t CurrentItem(const Control& control);

// Entered: the strip shows the arcade track of the game settings.
void ShowArcadeTrack(Form& form);
// Any command: the strip's current frame becomes the race's track. Alone:
// championship mode 0 (a single arcade race), the current event and the
// arcade track; in a network game the arcade track and the race header's
// track name. Throws "not found" without the strip, "out of range" for a
// frame of 12 or more. True: the button's own command runs.
bool ArcadeTrackCommand(Form& form);
