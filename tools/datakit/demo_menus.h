#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "tools/datakit/menu_set_writer.h"

namespace datakit {

// The demo menu sets, in "<root>/menu" (the menu folder ".\menu"), put
// together by groups of screens (demo_menu_builder.h). Among them:
// - "menu.dat", the front end: the main menu "start01" at state 19 (the
//   start state 18 becomes 19) with "Arcade race" (focused when the screen
//   opens) and "Quit" (asks dialogue 10); the arcade track screen
//   "Arcade04" at state 53 with the strip "track" of the twelve circuits,
//   "<" and ">" (Left and Right) and "Go" (Enter), which ends the menu with
//   command 1 so that a race runs; Esc goes back (53 to 19) or, on the main
//   menu, ends it with command 0, as "Quit" does once answered. State 0
//   is the end state. The set also lists its 13 samples and preloads the
//   menu font and the track pictures.
// - "menudial.dat", the dialogues: "dlg10" at state 10, a question on the
//   page of "dlg_message" with "Yes" (command 1, Y) and "No" (command 0, N;
//   Esc too), each ending the set.
// - "startvid.dat", the start-up set: "copyrigh" at state 1, the title
//   card; Enter, Esc or a click end it with command 0, and so does the
//   screen handlers' timer after a few seconds.
// Beside them: the screens' pictures ("menu/art"), their texts
// ("MenuText.txt", "DlgText.txt"), the pointer "menu/mouse.pcx" (three 32 x
// 32 frames across: normal, busy, over a button), the start-up cover
// "Gfx/Loading/cover.pcx" and the menus' copy of the menu font in
// "menu/fonts": "Menu.pcx" with its ".mfg" words and its two looks
// "Menu_.pcx" (selected) and "Menu!.pcx" (disabled).
// Call it after the fonts, the loading pictures and the sounds are written.
// False with `error` also when two groups claim one screen, state,
// transition or text section.
bool write_demo_menus(const std::filesystem::path& root, std::string& error);

// The sets as written (for the tests).
MenuSet demo_main_menu_set();
MenuSet demo_dialogue_set();
MenuSet demo_startup_set();

// The states and commands the demo sets and the screen handlers agree on.
inline constexpr std::int32_t kDemoEndState = 0;       // "SO" -1 in every set
inline constexpr std::int32_t kDemoMainMenuState = 19;
inline constexpr std::int32_t kDemoArcadeTrackState = 53;
inline constexpr std::int32_t kDemoArcadeCommand = 2;  // "Arcade race"
inline constexpr std::int32_t kDemoRaceCommand = 1;    // "Go"
inline constexpr std::int32_t kDemoWeekendCommand = 3; // "Race weekend": the game modes
inline constexpr std::int32_t kDemoOptionsCommand = 5; // "Options": the options' screen
// The options' screen reached from the main menu ("option01", also the
// in-session menus' called state 92), whose buttons lead to the options.
inline constexpr std::int32_t kDemoOptionsState = 13;
inline constexpr std::int32_t kDemoQuitDialogue = 10;  // "dlg10"
inline constexpr std::int32_t kDemoStartupState = 1;   // "copyrigh"
// The 3D group's states: the start-up video after the title card, the
// podium at the end of a season (simulation, arcade) and after an event,
// the credits.
inline constexpr std::int32_t kDemoIntroState = 2;            // "intro" of "startvid"
inline constexpr std::int32_t kDemoSeasonPodiumState = 104;   // "olescene"
inline constexpr std::int32_t kDemoArcadeSeasonPodiumState = 105;
inline constexpr std::int32_t kDemoPodiumState = 108;
inline constexpr std::int32_t kDemoCreditsState = 109;        // "Credits"
// The screens of "menu.dat": at least 54, so that screens 2, 3 and 53 load
// as the group a main menu loads together (the arcade bike choice, the
// arcade menu and the track screen); places no group claims hold an empty
// screen.
inline constexpr std::int32_t kDemoMainMenuScreens = 54;

} // namespace datakit
