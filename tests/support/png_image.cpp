#include "tests/support/png_image.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>

namespace torvane_test {

bool golden_to_compare(const std::string& path, const PngImage& image, PngImage& golden)
{
    std::string error;
    const char* update = std::getenv("TORVANE_UPDATE_GOLDEN");
    if (update && std::strcmp(update, "1") == 0) {
        EXPECT_TRUE(write_png(path, image, &error)) << path << ": " << error;
        return false;
    }
    if (!read_png(path, golden, &error)) {
        ADD_FAILURE() << path << ": " << error << " (TORVANE_UPDATE_GOLDEN=1 writes it)";
        return false;
    }
    return true;
}

void expect_rgb_golden(const std::string& path, const PngImage& image, int channel_tolerance, int stray_pixels)
{
    PngImage golden;
    if (!golden_to_compare(path, image, golden))
        return;
    ASSERT_EQ(golden.width, image.width) << path;
    ASSERT_EQ(golden.height, image.height) << path;
    ASSERT_EQ(golden.indexed, image.indexed) << path;
    ASSERT_EQ(golden.pixels.size(), image.pixels.size()) << path;
    int stray = 0;
    std::string first;
    for (std::size_t p = 0; p + 2 < image.pixels.size(); p += 3) {
        int worst = 0;
        for (std::size_t c = 0; c < 3; ++c)
            worst = std::max(worst, std::abs(int(golden.pixels[p + c]) - int(image.pixels[p + c])));
        if (worst > channel_tolerance && stray++ == 0) {
            const std::size_t at = p / 3;
            first = "(" + std::to_string(at % static_cast<std::size_t>(image.width)) + ", " +
                    std::to_string(at / static_cast<std::size_t>(image.width)) + ")";
        }
    }
    EXPECT_LE(stray, stray_pixels) << path << ": " << stray << " pixels differ, the first at " << first;
}

} // namespace torvane_test
