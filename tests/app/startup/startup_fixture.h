#pragma once

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "app/main_window.h"
#include "platform/clock.h"
#include "platform/fault_seam.h"
#include "platform/input_events.h"
#include "platform/message_box.h"
#include "platform/registry.h"
#include "platform/video_thread.h"
#include "tests/support/temp_dir.h"
#include "tests/support/demo_data.h"

namespace startup_test {

// A fresh demo data folder (the game's working folder) for one test.
inline std::filesystem::path MakeDemoData()
{
    const auto dir = torvane_test::make_temp_dir("data");
    std::string error;
    EXPECT_TRUE(torvane_test::install_demo_data(dir, error)) << error;
    return dir;
}

// Each test starts in its own demo data folder with an empty settings key,
// no video thread, window class, fault, message box, queued input or test
// clock, and leaves things that way.
class StartupTest : public ::testing::Test {
protected:
    StartupTest() : data_(MakeDemoData()), cwd_(data_) {}

    void SetUp() override
    {
        Reset();
        platform::RegistryKey::delete_key("Software\\Corvantis\\TVNDemo");
    }
    void TearDown() override { Reset(); }

    static void Reset()
    {
        platform::shutdown_video_thread();
        platform::clear_faults();
        platform::clear_recorded_message_boxes();
        platform::clear_input_events();
        platform::clear_test_clock();
        g_bQuit = 0;
    }

    const std::filesystem::path data_;
    torvane_test::ScopedCwd cwd_;
};

} // namespace startup_test
