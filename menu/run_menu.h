#pragma once

#include <cstdint>

// The menu run loop: runs a menu set (the front end "menu", the in-race menu
// "Menu", the dialogues "menudial") until it closes, and the start-up screen
// set "startvid".
//
// So far there are no menu files to run: a menu set shows the display's
// background, takes the window's messages and reads the input until the
// program is asked to end or the set is told to close with a result
// (EndMenu); a screen set ends at once. The menu framework's screens,
// attract mode and loading screens replace this body.

// Flags of the front-end menu set as the start-up runs it.
inline constexpr std::uint32_t kMainMenuFlags = 0x9F;

// Runs the menu set `name` from `startState` (-1: its own first state)
// until it closes: 0 when the program is to end (also when the quit byte
// is set), any other value when a race is to be run.
std::int32_t RunMenu(const char* name, std::uint32_t flags, std::int32_t startState);

// Runs the screen set `name` to its end; its result (a dialogue's answer).
std::int32_t RunScreen(const char* name, std::int32_t flag);

// Closes the running menu set (or the next one to run, when none runs) with
// this result: 0 ends the program, any other value runs a race.
void EndMenu(std::int32_t result);
