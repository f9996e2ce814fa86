#include "tools/datakit/shade_table_writer.h"
#include "tools/datakit/text_file_builder.h"

#include <stdexcept>
#include <system_error>

#include "platform/atomic_file.h"
#include "tools/datakit/world_track_parts.h"

namespace datakit {

namespace {

struct Rgb {
    int red, green, blue;
};

Rgb to_8bit(const PaletteColor& c)
{
    return {c.red * 4, c.green * 4, c.blue * 4};
}

// The colour c lit at level L: black at 0, c at 128, toward white above.
Rgb lit(const Rgb& c, int level)
{
    if (level <= 128)
        return {c.red * level / 128, c.green * level / 128, c.blue * level / 128};
    const int up = level - 128;
    return {c.red + (252 - c.red) * up / 128, c.green + (252 - c.green) * up / 128,
            c.blue + (252 - c.blue) * up / 128};
}

std::uint32_t nearest_index(const std::vector<Rgb>& colours, const Rgb& target)
{
    std::uint32_t best = 0;
    int best_distance = -1;
    for (std::size_t i = 0; i < colours.size(); ++i) {
        const int dr = colours[i].red - target.red;
        const int dg = colours[i].green - target.green;
        const int db = colours[i].blue - target.blue;
        const int distance = dr * dr + dg * dg + db * db;
        if (best_distance < 0 || distance < best_distance) {
            best_distance = distance;
            best = static_cast<std::uint32_t>(i);
        }
    }
    return best;
}

} // namespace

std::vector<std::uint32_t> compute_shade_table(const Palette& palette)
{
    std::vector<Rgb> colours;
    colours.reserve(palette.size());
    for (const PaletteColor& c : palette)
        colours.push_back(to_8bit(c));

    std::vector<std::uint32_t> table(shade_table_entry_count);
    for (int level = 0; level < static_cast<int>(shade_table_levels); ++level) {
        for (std::size_t c = 0; c < colours.size(); ++c) {
            const std::uint32_t index = nearest_index(colours, lit(colours[c], level));
            table[static_cast<std::size_t>(level) * 256 + c] = index * 0x01010101u;
        }
    }
    return table;
}

std::vector<std::uint8_t> shade_table_bytes(const std::vector<std::uint32_t>& table)
{
    if (table.size() != shade_table_entry_count)
        throw std::invalid_argument("a shade table has 65536 entries, not " + std::to_string(table.size()));
    std::vector<std::uint8_t> bytes;
    bytes.reserve(table.size() * 4);
    for (std::uint32_t entry : table) {
        bytes.push_back(static_cast<std::uint8_t>(entry));
        bytes.push_back(static_cast<std::uint8_t>(entry >> 8));
        bytes.push_back(static_cast<std::uint8_t>(entry >> 16));
        bytes.push_back(static_cast<std::uint8_t>(entry >> 24));
    }
    return bytes;
}

bool write_shade_table(const std::filesystem::path& path, const std::vector<std::uint32_t>& table,
                       std::string& error)
{
    return platform::write_file_atomic(path.string(), shade_table_bytes(table), &error);
}

bool write_palette_with_shade_table(const std::filesystem::path& palette_path, const Palette& palette,
                                    std::string& error)
{
    if (!write_palette(palette_path, palette, error))
        return false;
    std::filesystem::path table_path = palette_path;
    table_path += ".SHD";
    return write_shade_table(table_path, compute_shade_table(palette), error);
}

bool write_demo_palettes(const std::filesystem::path& root, std::string& error)
{
    const Palette palette = demo_palette();
    for (const char* folder : {"Gfx", "menu/3d"})
        if (!create_folders(root / folder, error))
            return false;
    // The menus' 3D views show the world's bikes and riders and the podium
    // scenes, whose 8-bit materials index the world's palette.
    return write_palette(root / "Gfx" / "palette.pal", palette, error) &&
           write_palette_with_shade_table(root / "menu" / "3d" / "podium.pal", world::track_palette(), error);
}

} // namespace datakit
