#pragma once

#include "platform/window.h"

// The main window's procedure: close, destroy and quit ask the program to
// end (and tell the renderer to stop presenting), a move and a size change
// go to the renderer (minimising pauses it, restoring resumes it), the
// frame and caption answer no hit, and Alt alone is swallowed so that it
// never opens the system menu.

// Registers the class "D3Dclass" with MainWndProc (class style CS_HREDRAW |
// CS_VREDRAW).
bool RegisterMainWindowClass();

platform::LResult MainWndProc(platform::WindowHandle window, unsigned message, platform::WParam wParam,
                              platform::LParam lParam);
