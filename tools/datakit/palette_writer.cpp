#include "tools/datakit/palette_writer.h"

#include <stdexcept>

#include "platform/atomic_file.h"

namespace datakit {

std::vector<std::uint8_t> palette_bytes(const Palette& palette)
{
    std::vector<std::uint8_t> bytes;
    bytes.reserve(palette_file_bytes);
    for (std::size_t i = 0; i < palette.size(); ++i) {
        const PaletteColor& c = palette[i];
        if (c.red > 63 || c.green > 63 || c.blue > 63)
            throw std::invalid_argument("palette colour " + std::to_string(i) + " has a component above 63");
        bytes.push_back(c.red);
        bytes.push_back(c.green);
        bytes.push_back(c.blue);
    }
    return bytes;
}

bool write_palette(const std::filesystem::path& path, const Palette& palette, std::string& error)
{
    return platform::write_file_atomic(path.string(), palette_bytes(palette), &error);
}

Palette demo_palette()
{
    // Full colour of each ramp, 6-bit components.
    static constexpr PaletteColor ramps[8] = {
        {63, 63, 63}, {63, 10, 8},  {10, 50, 12}, {10, 16, 63},
        {63, 55, 10}, {10, 55, 58}, {55, 12, 55}, {50, 30, 12},
    };
    Palette palette{};
    for (int r = 0; r < 8; ++r) {
        for (int k = 0; k < 32; ++k) {
            PaletteColor& c = palette[static_cast<std::size_t>(32 * r + k)];
            c.red = static_cast<std::uint8_t>(ramps[r].red * (k + 1) / 32);
            c.green = static_cast<std::uint8_t>(ramps[r].green * (k + 1) / 32);
            c.blue = static_cast<std::uint8_t>(ramps[r].blue * (k + 1) / 32);
        }
    }
    palette[0] = PaletteColor{0, 0, 0};
    return palette;
}

} // namespace datakit
