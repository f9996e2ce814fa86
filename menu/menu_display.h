#pragma once

// The menus' display: the main window sized for the 640 x 480 menu space
// and the renderer set up with the chosen driver and device (full screen
// when the graphics settings ask for it), as the menu start-up routines do
// before a menu set or a loading screen shows. False after the renderer has
// reported why it could not start.
bool StartMenuDisplay();

// The main window sized for the 640 x 480 menu space (the races' resolution
// is kept in the settings).
void SizeMenuWindow();

// The menus work in a 640 x 480 space, whatever resolution the races use.
inline constexpr int kMenuWidth = 640;
inline constexpr int kMenuHeight = 480;
