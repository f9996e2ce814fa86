#pragma once

// A 3D display for the texture tests: the screen fixture's window and
// installed render device, with the platform's hardware device in a window
// at 640 x 480 (render type 96, a 565 back surface), over a display
// description the test may change first (texture layouts, texture memory,
// square-only textures).

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "engine/base/texture_record.h"
#include "engine/render/render_device.h"
#include "platform/display.h"
#include "platform/fault_seam.h"
#include "platform/message_box.h"
#include "tests/engine/render/screen_fixture.h"

namespace texture_test {

class HardwareScreen : public screen_test::Screen {
protected:
    void SetUp() override
    {
        Screen::SetUp();
        platform::clear_faults();
        description = platform::default_display_description();
    }
    void TearDown() override
    {
        frames.clear();
        device.release();
        platform::reset_display_description();
        platform::clear_faults();
        Screen::TearDown();
    }

    // Opens the display with `description` (render type 96 in a window).
    void open()
    {
        platform::set_display_description(description);
        ASSERT_EQ(device.enumerate_drivers(window), 1);
        ASSERT_EQ(device.init(0, 640, 480, 16, 1), 1);
        ASSERT_EQ(device.render_type, kRenderHardware);
    }

    // A registered material frame of w x h texels of a pixel kind.
    mtr_texture& frame(const char* name, int w, int h, std::uint32_t kind, std::uint32_t colour = 0)
    {
        auto f = std::make_unique<mtr_texture>();
        std::strncpy(f->name, name, sizeof f->name - 1);
        f->width = w;
        f->height = h;
        f->pixel_type = kind;
        f->colour = colour;
        frames.push_back(std::move(f));
        return *frames.back();
    }

    std::uint16_t screen_pixel(int x, int y) const
    {
        std::uint16_t v;
        std::memcpy(&v, device.back_buffer.data() + static_cast<std::size_t>(y) * device.back_pitch + 2 * x, 2);
        return v;
    }

    static std::uint16_t texel(platform::Surface& s, int x, int y)
    {
        platform::SurfaceLock lock;
        EXPECT_EQ(s.lock(lock), platform::DisplayResult::Ok);
        std::uint16_t v = 0;
        std::memcpy(&v, lock.pixels + static_cast<std::size_t>(y) * lock.pitch + 2 * x, 2);
        s.unlock();
        return v;
    }

    // Whether the record is in the eviction ring (the ring is emptied).
    static bool drain_ring_for(render_device& d, const cache_texture* t)
    {
        bool found = false;
        while (cache_texture* e = d.resident_ring.pop_oldest())
            found = found || e == t;
        return found;
    }

    platform::DisplayDescription description;
    platform::WindowHandle& window = window_;
    render_device& device = device_;
    std::vector<std::unique_ptr<mtr_texture>> frames;
};

} // namespace texture_test
