#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace datakit {

// One palette colour with 6-bit components (0 to 63), as ".pal" files and
// the VGA DAC hold them; the game scales them by 4.
struct PaletteColor {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
};

using Palette = std::array<PaletteColor, 256>;

inline constexpr std::size_t palette_file_bytes = 768;

// The 768 bytes of a ".pal" file: red, green, blue of each colour in index
// order. Throws std::invalid_argument for a component above 63.
std::vector<std::uint8_t> palette_bytes(const Palette& palette);

// Writes a ".pal" file (atomically). False and `error` on failure.
bool write_palette(const std::filesystem::path& path, const Palette& palette, std::string& error);

// The demo data's palette: index 0 black, then eight ramps of 32 shades
// (grey, red, green, blue, yellow, cyan, magenta, brown), each from dark to
// its full colour; ramp r shade k is index 32 r + k.
Palette demo_palette();

} // namespace datakit
