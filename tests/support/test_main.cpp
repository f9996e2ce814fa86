#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

#include "platform/message_box.h"
#include "tests/support/temp_dir.h"

int main(int argc, char** argv)
{
    // No display, sound card or user settings are touched by a test.
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    const auto home = torvane_test::temp_root() / "home";
    std::filesystem::create_directories(home);
    setenv("TORVANE_HOME", home.c_str(), 1);
    platform::set_message_box_recording(true);

    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();

    // Leave the test folder before it is removed (at exit).
    std::error_code ec;
    std::filesystem::current_path(std::filesystem::temp_directory_path(), ec);
    return result;
}
