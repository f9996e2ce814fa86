#include "platform/display_presence.h"

#include <cstdlib>
#include <cstring>

#include "platform/video_thread.h"

namespace platform {

bool has_display()
{
    const char* driver = std::getenv("SDL_VIDEODRIVER");
    if (driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0))
        return false;
    // The display named may be out of reach: the video thread then draws
    // offscreen.
    if (video_is_offscreen())
        return false;
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

} // namespace platform
