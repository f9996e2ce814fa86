#include <vector>

#include "engine/base/render_facts.h"
#include "engine/render/render_device.h"
#include "platform/file.h"

// The screen palette: loaded from a file of 6-bit components, kept as
// integers for the drawing code, as the palette hardware's copy, and for a
// 16-bit screen as one 16-bit colour per entry.

namespace {

constexpr std::size_t kPaletteFileBytes = 768;
constexpr int kPaletteFileError = 37;

} // namespace

// The palette hardware takes 6-bit values, or 8-bit ones once measured so.
int render_device::palette_shift() const
{
    const bool dac_8 = current_driver >= 0 && current_driver < driver_count && drivers[current_driver].dac_bits == 8;
    return dac_8 ? 2 : 0;
}

void render_device::take_palette_entry(int i, int r, int g, int b, int shift)
{
    palette_rgb[i][0] = r * 4;
    palette_rgb[i][1] = g * 4;
    palette_rgb[i][2] = b * 4;
    hardware_palette[3 * i] = static_cast<std::uint8_t>(r << shift);
    hardware_palette[3 * i + 1] = static_cast<std::uint8_t>(g << shift);
    hardware_palette[3 * i + 2] = static_cast<std::uint8_t>(b << shift);
    palette[i] = static_cast<std::uint32_t>(r * 4) << 16 | static_cast<std::uint32_t>(g * 4) << 8 |
                 static_cast<std::uint32_t>(b * 4);
}

int render_device::load_palette(const char* file)
{
    const int shift = palette_shift();
    std::vector<std::uint8_t> bytes;
    // A palette file is exactly 768 bytes; a shorter or longer one is not
    // taken in part.
    if (!file || !platform::read_whole_file(file, bytes) || bytes.size() != kPaletteFileBytes) {
        report_error(kPaletteFileError);
        return 0;
    }
    for (std::uint8_t& value : bytes)
        value &= 0x3F;

    const bool sixteen = software_16bit != 0;
    if (sixteen)
        colour_table.assign(256, 0);
    int darkest_sum = 0x7FFFFFFF;
    for (int i = 0; i < 256; ++i) {
        const int r = bytes[3 * i], g = bytes[3 * i + 1], b = bytes[3 * i + 2];
        if (sixteen) {
            palette_rgb[i][0] = r * 4;
            palette_rgb[i][1] = g * 4;
            palette_rgb[i][2] = b * 4;
            colour_table[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>(pack_by_masks(
                static_cast<std::uint32_t>(r * 4) << 16 | static_cast<std::uint32_t>(g * 4) << 8 |
                static_cast<std::uint32_t>(b * 4)));
        } else {
            take_palette_entry(i, r, g, b, shift);
        }
        if (r + g + b < darkest_sum) {
            darkest_sum = r + g + b;
            darkest_index = i;
        }
    }
    // The screen shows the new palette with its next frame.
    if (!sixteen)
        palette_dirty = 1;
    publish_render_palette(*this);
    return 1;
}

int render_device::set_palette_entries(const unsigned char* rgb768)
{
    if (screen_depth != 8 || !rgb768)
        return 1;
    const int shift = palette_shift();
    for (int i = 0; i < 256; ++i)
        take_palette_entry(i, rgb768[3 * i] & 0x3F, rgb768[3 * i + 1] & 0x3F, rgb768[3 * i + 2] & 0x3F, shift);
    palette_dirty = 1;
    publish_render_palette(*this);
    return 1;
}

// The engine's libraries below the renderer read the palette from the
// engine's facts: the material library's blend tables, and the 16-bit
// software shade tables.
void publish_render_palette(const render_device& device)
{
    if (&device != installed_render_device())
        return;
    render_facts& facts = engine_render_facts();
    for (int i = 0; i < 256; ++i)
        for (int c = 0; c < 3; ++c)
            facts.palette_rgb[i][c] = static_cast<std::uint8_t>(device.palette_rgb[i][c] & 0xFF);
    // The shade tables loaded from now on hold 16-bit colours when the
    // software rasteriser draws into a 16-bit screen (left false, they held
    // palette indices that the 16-bit fillers wrote as colours).
    facts.software_16bit = device.software_16bit && device.colour_table.size() == 256;
    if (facts.software_16bit)
        for (int i = 0; i < 256; ++i)
            facts.palette_conversion[i] = device.colour_table[static_cast<std::size_t>(i)];
}
