#pragma once

#include <cstdint>

// The run loop's words its files share (menu/run_menu.cpp,
// run_loop_load.cpp, run_loop_attract.cpp).

// Where the pointer was before the last pass moved it.
extern std::int32_t g_nPreviousPointerX, g_nPreviousPointerY;

// Set at the end of every RunMenu that returns 1.
extern bool g_bMenuEndedWithCommand;

// The display, loading picture, 3D context and pointer picture as the
// program starts them.
void ResetMenuLoadState();
