#pragma once

#include <functional>

// The program's entry: start-up, the loop between the menus and the races,
// and shutdown. Needs the program-wide objects (app/startup/program_objects.h).
//
// Start-up, in order: the main menu manager becomes the current one; the
// network session is made; the program's version goes into the application
// record ("Can't access version information" when it cannot be had, and the
// program goes on); the window class "D3Dclass" is registered; the input
// devices are made; the main window is created; the renderer lists its
// drivers on it; the run flags become "front end"; the cursor is hidden;
// the random numbers are seeded from the time; the registry settings are
// loaded; the start-up screens "startvid" run.
//
// Main loop: the menu set "menu" runs until it asks for a race, which then
// runs (GameApp::RunRace); the loop ends when the menus return nothing to
// run, when the quit byte is set, or after a race run outside the front end.
//
// Shutdown, in order: the sound library shuts down, the renderer releases
// its display, the main window is destroyed, the network session is
// deleted, the cursor is shown again, and "Camera" (with "VersionMS" and
// "VersionLS") is written to the settings. The program-wide objects go
// afterwards (their destruction saves the record files).
//
// Returns the exit status: 0 on a normal end and when the renderer cannot
// start (it has said why); 1 when the window class cannot be registered or
// the main window cannot be created.
int WinMain();

// Runs `body` and returns its result; a failure thrown as a message text
// that nothing else caught is shown in a message box captioned "Error" and
// gives status 1. The video thread is shut down either way.
int RunGuarded(const std::function<int()>& body);
