#include "engine/base/shade_table.h"

#include <cstdlib>
#include <string>
#include <vector>

#include "engine/base/error_box.h"
#include "engine/base/render_facts.h"
#include "platform/file.h"

std::uint32_t shade_table[shade_table_entries];
int shade_slot_counter = 0;

namespace {

[[noreturn]] void shade_table_fatal(const char* format, const std::string& file_name)
{
    error_box("error", format, file_name.c_str());
    std::exit(1);
}

} // namespace

void load_shade_table(const char* name)
{
    shade_slot_counter = 0;

    // The name is kept in a 256-character buffer: a longer one names no file.
    std::string file_name = name ? name : "";
    file_name += ".SHD";
    if (file_name.size() > 255)
        shade_table_fatal("ENGINE:: Shade table %s not found!", file_name);

    platform::File file;
    if (!file.open(file_name, "rb"))
        shade_table_fatal("ENGINE:: Shade table %s not found!", file_name);
    if (file.size() != static_cast<std::int64_t>(shade_table_file_bytes))
        shade_table_fatal("ENGINE:: Shade table %s has the wrong size!", file_name);

    std::vector<std::uint8_t> bytes(shade_table_file_bytes);
    if (file.read(bytes.data(), bytes.size()) != bytes.size())
        shade_table_fatal("ENGINE:: Shade table %s has the wrong size!", file_name);
    file.close();

    const render_facts& facts = engine_render_facts();
    for (std::size_t i = 0; i < shade_table_entries; ++i) {
        const std::uint8_t* p = bytes.data() + 4 * i;
        std::uint32_t entry = static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
                              static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
        if (facts.software_16bit) {
            const std::uint32_t colour = facts.palette_conversion[entry & 255] & 0xFFFF;
            entry = colour << 16 | colour;
        }
        shade_table[i] = entry;
    }
}
