#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/fault_seam.h"
#include "platform/input_events.h"
#include "platform/video_thread.h"
#include "platform/window.h"

namespace torvane_test {

// Every message a test window's procedure receives, in order.
inline std::vector<platform::Message>& seen_messages()
{
    static std::vector<platform::Message> seen;
    return seen;
}

inline platform::LResult recording_proc(platform::WindowHandle window, unsigned message, platform::WParam wParam,
                                        platform::LParam lParam)
{
    seen_messages().push_back({window, message, wParam, lParam});
    return platform::def_window_proc(window, message, wParam, lParam);
}

// Takes every queued message without dispatching it.
inline std::vector<platform::Message> drain_messages()
{
    std::vector<platform::Message> out;
    platform::Message m;
    while (platform::peek_message(m, true))
        out.push_back(m);
    return out;
}

inline std::vector<platform::InputEvent> drain_input_events()
{
    std::vector<platform::InputEvent> out;
    platform::InputEvent e;
    while (platform::poll_input_event(e))
        out.push_back(e);
    return out;
}

// Each test starts and ends with no video thread, window, class, queued
// message, input event or armed fault, and registers "TestClass".
class WindowFixture : public ::testing::Test {
protected:
    static constexpr const char* kClass = "TestClass";

    void SetUp() override
    {
        reset();
        ASSERT_TRUE(platform::register_window_class(kClass, 0, recording_proc));
    }
    void TearDown() override { reset(); }

    static void reset()
    {
        platform::shutdown_video_thread();
        platform::clear_input_events();
        platform::clear_faults();
        seen_messages().clear();
    }

    // A popup window: its client area is the whole window.
    static platform::WindowHandle make_popup(int width = 64, int height = 48, const char* title = "popup")
    {
        return platform::create_window(0, kClass, title, platform::WS_POPUP, 0, 0, width, height);
    }
};

} // namespace torvane_test
