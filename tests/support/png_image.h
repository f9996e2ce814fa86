#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace torvane_test {

// A picture for golden-image tests: either palette indices with their
// palette (one byte per pixel) or RGB (three bytes per pixel).
struct PngImage {
    int width = 0;
    int height = 0;
    bool indexed = true;
    std::vector<std::uint8_t> pixels;   // rows top to bottom, no padding
    std::vector<std::uint8_t> palette;  // 768 bytes (indexed pictures)
};

// Writes the picture as a PNG file (8 bits per channel, stored deflate
// blocks) through a temporary file and a rename. False, with `error`, on
// failure.
bool write_png(const std::string& path, const PngImage& image, std::string* error = nullptr);

// Reads a PNG file this writer made: 8-bit indexed or RGB, not interlaced,
// stored deflate blocks, no row filters. Every length, count and checksum
// is checked; false, with `error`, for anything else.
bool read_png(const std::string& path, PngImage& image, std::string* error = nullptr);

// The golden picture a test compares with: with TORVANE_UPDATE_GOLDEN=1 the
// picture is written as the golden file instead and false is returned
// (nothing to compare); otherwise the file is read into `golden` (a test
// failure naming the file when it cannot be) and true is returned when it
// was.
bool golden_to_compare(const std::string& path, const PngImage& image, PngImage& golden);

// Compares an RGB picture with its golden file (golden_to_compare): a test
// failure when the sizes differ or more than `stray_pixels` pixels differ
// by more than `channel_tolerance` in a channel (naming the first).
void expect_rgb_golden(const std::string& path, const PngImage& image, int channel_tolerance, int stray_pixels);

} // namespace torvane_test
