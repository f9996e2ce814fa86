#pragma once

class GameApp;
class GameSettings;
class SoundLibrary;

// Starts the program's sound library when the "Sound" setting is on, the way
// a menu set does as it loads (and a race started outside the menus before
// it loads its sounds): a library that is not started yet is started; when
// it cannot start, the "Sound" setting is switched off (and the
// application's sound flag with it), so the game runs silently. With sound
// on, the effects take the "SoundVolume" setting and music stream 0 the
// "MusicVolume" setting. True when the library plays.
bool StartSoundFromSettings(GameApp& app, GameSettings& settings, SoundLibrary* sound);
