#pragma once

// The game settings the menu framework follows: false while no settings
// are installed (a menu run in a test without them).
bool MenuSoundOn();
bool MenuMusicOn();
