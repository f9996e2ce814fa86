#pragma once

#include <memory>

class ChampObjects;
class GameApp;
class GameSettings;
class InputManager;
class MenuObjects;
class SoundLibrary;
class render_device;

// The program-wide objects, built in a fixed order when the program starts
// (main() builds them before WinMain runs; a test builds its own) and
// destroyed in the reverse order when it ends. Nothing is read from a file
// while they are constructed except where the order below says so, and
// nothing is built by a static initialiser. Only one set may exist at a time.
//
// Construction order:
//   the game settings (defaults);
//   the input manager (its devices are made later, by WinMain);
//   the menu objects: the menus' picture, the main and the dialogue menu
//     manager, the four menu state bytes;
//   the championship objects, started: the weather table
//     (".\menu\Weather.txt"), the championship ("Default.chp", riders from
//     ".\menu\Riders.txt"), the simulation and the arcade records ("BSim.bin",
//     "BArc.bin");
//   the sound library (started later, by the menus);
//   the application record;
//   the renderer (its drivers are listed later, by WinMain).
// Then the records are linked: the application record gets the settings'
// links (game settings, default bindings, joysticks, display drivers) and
// the race run loop.
//
// Destruction runs the other way; the championship objects' shutdown saves
// both record stores at their place in it (a store that cannot be saved is
// reported in a message box).
class ProgramObjects {
public:
    ProgramObjects();
    ~ProgramObjects();
    ProgramObjects(const ProgramObjects&) = delete;
    ProgramObjects& operator=(const ProgramObjects&) = delete;

private:
    void Link();
    void Unlink(bool save);

    std::unique_ptr<GameSettings> m_pSettings;
    std::unique_ptr<InputManager> m_pInput;
    std::unique_ptr<MenuObjects> m_pMenus;
    std::unique_ptr<ChampObjects> m_pChamp;
    std::unique_ptr<SoundLibrary> m_pSound;
    std::unique_ptr<GameApp> m_pGameApp;
    std::unique_ptr<render_device> m_pRenderer;
};
