#pragma once

#include <cstdint>

#include "platform/window.h"

// The main window: class "D3Dclass". Its window procedure, MainWndProc,
// reaches the renderer and lives with the program's start-up
// (app/startup/main_wnd_proc.h).

// The quit request byte: set by MainWndProc on close, destroy and quit. The
// main loop, the race and the menu loop all stop when it is not 0. Read and
// written on the main thread only.
extern std::uint8_t g_bQuit;

inline constexpr const char* kMainWindowClass = "D3Dclass";
