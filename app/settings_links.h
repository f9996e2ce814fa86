#pragma once

#include <functional>
#include <vector>

class GameSettings;  // champ/game_settings.h
struct ControlBlock; // input/control_block.h

// The registry settings fill more than the application record: the game
// settings, the input's default bindings, and the display choice, which
// they check against the renderer's drivers. Those records belong to
// subsystems built on top of this one, so the application record does not
// reach them by itself: whoever builds the program-wide objects hands them
// over here (GameApp::SetSettingsLinks), and a test hands over its own.

// One attached joystick as the input manager lists it.
struct AttachedJoystick {
    bool Usable = false; // its device and capabilities could be set up
    int Axes = 0;
    int Buttons = 0;
};

// The renderer's display drivers and their 3D devices.
struct DisplayModeQuery {
    std::function<int()> DriverCount;
    std::function<int(int driver)> DeviceCount;
    // True when the pair offers a display mode of that size.
    std::function<bool(int driver, int device, int width, int height)> HasMode;
};

struct SettingsLinks {
    GameSettings* Settings = nullptr;  // audio, race options, realism, detail, the player's set-up
    ControlBlock* Bindings = nullptr;  // the input's default binding block
    // The attached joysticks, in the input manager's order.
    std::function<std::vector<AttachedJoystick>()> Joysticks;
    // Clears the bindings of a block that name joysticks that are not there.
    std::function<void(ControlBlock&)> ValidateBindings;
    DisplayModeQuery Displays;
};
