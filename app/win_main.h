#pragma once

#include <functional>

// The program's entry: start-up, the main loop and shutdown. Needs the
// program-wide objects (app/program_objects.h). Returns the exit status:
// 0 on a normal end, 1 when the main window class cannot be registered or
// the main window cannot be created.
int WinMain();

// Runs `body` and returns its result; a failure thrown as a message text
// that nothing else caught is shown in a message box captioned "Error" and
// gives status 1. The video thread is shut down either way.
int RunGuarded(const std::function<int()>& body);
