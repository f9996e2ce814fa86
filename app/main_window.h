#pragma once

#include <cstdint>

#include "platform/window.h"

// The main window: class "D3Dclass" and its window procedure.

// The quit request byte: set by MainWndProc on close, destroy and quit. The
// main loop, the race and the menu loop all stop when it is not 0. Read and
// written on the main thread only.
extern std::uint8_t g_bQuit;

inline constexpr const char* kMainWindowClass = "D3Dclass";

// Registers "D3Dclass" with MainWndProc (class style CS_HREDRAW | CS_VREDRAW).
bool RegisterMainWindowClass();

platform::LResult MainWndProc(platform::WindowHandle window, unsigned message, platform::WParam wParam,
                              platform::LParam lParam);
