#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/window.h"

// The SDL side of windows. Every function here runs on the video thread only
// (window.cpp and frame.cpp hand them over); none takes a lock.
namespace platform::native {

struct CreateRequest {
    std::uint32_t id = 0;
    std::string title;
    Rect client;          // client area on the screen
    bool visible = false;
    bool minimized = false;
    bool borderless = false;
    bool tool = false;    // kept out of the task bar; shown without taking the focus
};

// False, with the reason in `error`, when SDL refuses the window.
bool create(const CreateRequest& request, std::string& error);
void destroy(std::uint32_t id);
void destroy_all();
void set_client_rect(std::uint32_t id, const Rect& client);
void show(std::uint32_t id, int command);
void set_title(std::uint32_t id, const std::string& title);
void focus(std::uint32_t id);
// Desktop full screen; frames are then scaled to fit with their aspect kept.
void set_full_screen(std::uint32_t id, bool full_screen);

// Shows a 32-bit XRGB picture in the window, scaled to its client area.
void present(std::uint32_t id, int width, int height, const std::vector<std::uint32_t>& pixels);

void apply_cursor_visibility(bool visible);

// Takes every pending SDL event and delivers it (deliver_native_event).
void pump_events();

// The desktop size, or false when SDL cannot tell.
bool desktop_size(int& width, int& height);

} // namespace platform::native
