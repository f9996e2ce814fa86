#pragma once

// A display for the 2D drawing tests: a window, the render device installed
// for the pictures and fonts, a screen of the asked depth (the software
// type, so that an 8-bit screen holds palette indices), and a temporary
// working folder.

#include <cstdint>
#include <cstring>
#include <filesystem>

#include <gtest/gtest.h>

#include "engine/render/render_device.h"
#include "platform/message_box.h"
#include "platform/video_thread.h"
#include "platform/window.h"
#include "tests/support/back_buffer_pixels.h"
#include "tests/support/temp_dir.h"

namespace screen_test {

// The 16-bit layouts a screen may have, by the masks the device reports.
enum class Layout { Rgb565, Rgb555, Bgr565 };

inline platform::LResult window_proc(platform::WindowHandle w, unsigned m, platform::WParam wp, platform::LParam lp)
{
    return platform::def_window_proc(w, m, wp, lp);
}

class Screen : public ::testing::Test {
protected:
    Screen() : dir_(torvane_test::make_temp_dir("screen")), cwd_(dir_) {}

    void SetUp() override
    {
        platform::clear_recorded_message_boxes();
        ASSERT_TRUE(platform::register_window_class("ScreenTest", 0, &window_proc));
        window_ = platform::create_window(0, "ScreenTest", "Screen", 0, 0, 0, 640, 480);
        // The client area the size of the screen, so that a presented frame
        // is shown at 640 x 480.
        ASSERT_TRUE(platform::set_client_size(window_, 640, 480, false));
        set_the_render_device(&device_);
    }
    void TearDown() override
    {
        device_.release();
        set_the_render_device(nullptr);
        platform::shutdown_video_thread();
        platform::clear_recorded_message_boxes();
    }

    // A 640 x 480 software screen of 8 or 16 bits. The display offers 565
    // only; the other layouts are what a device with other masks reports,
    // which is all the 2D code reads of them.
    void open(int depth, Layout layout = Layout::Rgb565)
    {
        ASSERT_EQ(device_.enumerate_drivers(window_), 1);
        device_.software_16bit = depth == 16 ? 1 : 0;
        ASSERT_EQ(device_.init(0, 640, 480, depth, 0), 1);
        ASSERT_EQ(device_.screen_depth, depth);
        if (layout == Layout::Rgb555) {
            device_.red_mask = 0x7C00;
            device_.green_mask = 0x3E0;
            device_.blue_mask = 0x1F;
        } else if (layout == Layout::Bgr565) {
            device_.red_mask = 0x1F;
            device_.green_mask = 0x7E0;
            device_.blue_mask = 0xF800;
        }
    }

    std::uint32_t pixel(int x, int y) const { return torvane_test::back_pixel(device_, x, y); }
    void put(int x, int y, std::uint32_t v) { torvane_test::put_back_pixel(device_, x, y, v); }

    const std::filesystem::path dir_;
    torvane_test::ScopedCwd cwd_;
    platform::WindowHandle window_{};
    render_device device_;
};

} // namespace screen_test
