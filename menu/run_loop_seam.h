#pragma once

#include <cstdint>

class Form;
class MenuManager;

// What the menus tell an installed play seam (app/play_seam.h): each screen
// a menu manager shows, and each move of the focus. Nothing without a seam.

// A new screen comes up: it is announced, and the focus changes its entry
// makes are held back until EndScreenShown reports the focus it came up
// with (once).
void BeginScreenShown(const MenuManager& manager, const Form& screen);
void EndScreenShown(const Form& screen);

// The focus of `form` went to `element`: reported when it names a control
// and differs from the focus reported last.
void ReportFocus(const Form& form, std::int32_t element);

// Waits for the display's next menu frame: the seam's frame when one is
// installed, else the rest of the frame's time asleep (never a busy wait).
void WaitForMenuFrame();
