#pragma once

#include "platform/window.h"

// The mouse cursor over the program's windows.
namespace platform {

// A display counter as the game expects it: it starts at 0, showing adds one
// and hiding takes one away; the cursor is visible while the counter is 0 or
// more. Returns the new counter. The visibility reaches the windows through
// the video thread (at once if it runs, else when it starts).
int show_cursor(bool show);

int cursor_display_count();

// The cursor's position on the screen: the last position the mouse had over
// one of the program's windows, moved with that window. False when the mouse
// has not been over a window since the video thread started.
bool get_cursor_pos(Point& point);

// Recorded by the window system when the mouse moves over a window.
void note_cursor_position(WindowHandle window, int client_x, int client_y);
void forget_cursor_position();

} // namespace platform
