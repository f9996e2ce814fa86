#pragma once

#include <string>

// The full settings key, "Software\Corvantis\TVN": every setting of the
// application record that the stand-alone set-up tool edits (display,
// race header, the player's driving aids and the bindings), written whole by
// GameApp::SaveRegistry and read back by GameApp::LoadRegistry. The game's
// own menus keep their settings in the main key (app/registry_settings.h).
//
// The set-up tool itself (a property sheet of five dialog pages) is not part
// of this program: the platform layer has windows and message boxes but no
// dialog controls to build its pages from, and nothing in the game opens it.

inline constexpr const char* kFullSettingsKeyPath = "Software\\Corvantis\\TVN";

// Removes the full settings key. True when the key is gone afterwards
// (also when it was never there); false with `error` saying why otherwise.
bool DeleteSettingsKey(std::string* error = nullptr);
