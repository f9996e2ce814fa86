#pragma once

#include <cstdint>

// The menu commands that start a race. The screen handlers reach them by
// the clicked control's screen and "UserID"; the screens themselves join
// with the menu screens.

// Starts a session of the current championship event straight from a menu
// command: the session kind goes into the championship, the race header is
// prepared from the menu choices (PrepareRace), the run flags note a race
// started from the menus (a pause request then ends it) and the race runs
// (GameApp::RunRace) to its end. Throws the championship's message texts
// when its state allows no race ("undef session", ...); nothing runs then.
void StartSessionFromMenu(std::int32_t sessionKind);
