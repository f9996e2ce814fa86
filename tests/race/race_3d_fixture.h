#pragma once

#include <gtest/gtest.h>

#include "engine/render/render_device.h"
#include "engine/scene/mesh_draw_hooks.h"
#include "engine/scene/scene_view.h"
#include "platform/display.h"
#include "platform/video_thread.h"
#include "platform/window.h"
#include "race/race_3d_data.h"
#include "tests/race/race_fixture.h"
#include "tests/support/back_surface_picture.h"
#include "tests/support/png_image.h"

namespace race_test {

// A race fixture with a headless 640 x 480 window, the renderer installed
// and the mesh drawing hooks: Open(path) starts the display on the 3D device
// (1) or the game's rasteriser (0) and sets the application's settings that
// name it; Picture() reads the back buffer as RGB.
class Race3dWindowFixture : public RaceFixture {
protected:
    static constexpr int kWidth = 640, kHeight = 480;

    void SetUp() override
    {
        RaceFixture::SetUp();
        ASSERT_TRUE(platform::register_window_class("Race3dTest", 0, &WindowProc));
        window_ = platform::create_window(0, "Race3dTest", "Race", 0, 0, 0, kWidth, kHeight);
        ASSERT_TRUE(window_);
        set_the_render_device(&device_);
        install_mesh_draw_hooks();
    }
    void TearDown() override
    {
        race.reset();
        scene_hooks() = {};
        device_.release();
        set_the_render_device(nullptr);
        platform::reset_display_description();
        platform::shutdown_video_thread();
        RaceFixture::TearDown();
    }

    void Open(int which)
    {
        ASSERT_TRUE(platform::set_client_size(window_, kWidth, kHeight, false));
        ASSERT_EQ(device_.enumerate_drivers(window_), 1);
        ASSERT_EQ(device_.init(0, kWidth, kHeight, 16, which), 1);
        app.HRes = kWidth;
        app.VRes = kHeight;
        app.DDrawDriver = 0;
        app.D3DDriver = which;
        app.ZClipping = 1000;
        app.Shrink = 100;
    }

    Race3dData& D() { return *race->Data3d(); }

    torvane_test::PngImage Picture()
    {
        return torvane_test::back_surface_picture(device_, kWidth, kHeight, torvane_test::screen_palette(device_));
    }

    render_device device_;
    platform::WindowHandle window_{};

private:
    static platform::LResult WindowProc(platform::WindowHandle w, unsigned m, platform::WParam wp,
                                        platform::LParam lp)
    {
        return platform::def_window_proc(w, m, wp, lp);
    }
};

} // namespace race_test
