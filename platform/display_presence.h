#pragma once

namespace platform {

// True when windows and message boxes can be seen: a display server is named
// in the environment and SDL is not told to use its offscreen or dummy driver.
bool has_display();

} // namespace platform
