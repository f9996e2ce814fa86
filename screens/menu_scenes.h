#pragma once

#include <cstdint>

class Form;

// The menus' 3D scenes and the credits.

// The screen-entry check of "olescene": after an event the podium scene of
// the player's place is added to the screen as the picture box "OLE1"
// (true); a player off the podium, or one whose place cannot be found, gets
// none (false: the menu backs out of the screen with command 0).
bool AddPodiumScene(Form& form);
// "olescene" entered: the three podium models wear their riders' bikes'
// colours.
void FillPodium(Form& form);
// "olescene" left: its elements go (the scene is added again next time).
bool ReleaseMenuScene(Form& form);
// "Credits" drawn: the window "WCredits" scrolls, a step every 30 ms after
// the first 2 s.
bool DrawCredits(Form& form);

// The podium scene table: the scene's name and time (ms) for the kind of
// game (0 arcade, 1 championship), the player's place (0..2) and the
// variant (0 or 1, 2 at the end of a season).
struct PodiumScene {
    const char* name;
    float time_ms;
};
const PodiumScene& PodiumSceneFor(int kind, int place, int variant);

// Menu states of the end of a season (simulation, arcade).
inline constexpr std::int32_t kSeasonEndStates[2] = {104, 105};

// Starts the credits again from their first paint (tests).
void RestartCredits();
