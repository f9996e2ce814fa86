#pragma once

#include <algorithm>
#include <mutex>
#include <vector>

#include "platform/display.h"

// Inside the display service: what a driver shares with its surfaces.
namespace platform {

// What an open driver shares with the surfaces and devices it made: its
// description, its budgets and the surfaces that live, so that they can be
// lost together.
struct DriverState {
    DisplayDescription description;
    std::mutex mutex;
    std::uint64_t used_video = 0;
    std::uint64_t used_texture = 0;
    std::vector<Surface*> surfaces;
    bool exclusive = false;
    WindowHandle exclusive_window;
    DisplayModeInfo mode;  // the display's mode; the desktop's until set

    std::uint64_t free_video() const { return description.video_memory - std::min(used_video, description.video_memory); }
    std::uint64_t free_texture() const
    {
        const std::uint64_t texture =
            description.texture_memory - std::min(used_texture, description.texture_memory);
        return std::min(texture, free_video());
    }
};

} // namespace platform
