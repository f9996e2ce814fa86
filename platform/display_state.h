#pragma once

#include <algorithm>
#include <map>
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
    bool three_d_open = false;  // the 3D service, which devices are made through
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

// What a 3D device shares with its viewports and materials, so that either
// may go first: the materials' colours by handle, the viewports added and
// the current one. `device_alive` goes false with the device.
struct DeviceShared {
    mutable std::mutex mutex;
    bool device_alive = true;
    std::map<std::uint32_t, std::uint32_t> material_colours;
    std::uint32_t next_handle = 1;
    std::vector<Viewport*> viewports;
    Viewport* current = nullptr;
    int target_width = 0, target_height = 0;

    bool added(const Viewport* v) const
    {
        return std::find(viewports.begin(), viewports.end(), v) != viewports.end();
    }
};

} // namespace platform
