#include "tools/datakit/map_writer.h"

#include <cstring>

namespace datakit {

bool write_map(const std::filesystem::path& path, const map_grid& grid, std::string& error)
{
    return grid.save(path.string(), &error);
}

namespace {

void place(map_grid& grid, const char* name, float x, float z, int section, std::uint32_t tag)
{
    map_item item;
    std::strncpy(item.name, name, sizeof item.name - 1);
    for (int i = 0; i < map_item::carried_words; ++i)
        item.words[i] = tag * 16 + static_cast<std::uint32_t>(i);
    item.last_word = tag;
    grid.insert(item, x, 10.0f, z, section);
}

} // namespace

void build_demo_map(map_grid& grid)
{
    grid.init_counts({-100.0f, 0.0f, -100.0f, 0.0f}, {100.0f, 50.0f, 100.0f, 0.0f}, 4, 1, 4);
    place(grid, "BIKE", -80.0f, -80.0f, 0, 1);
    place(grid, "RIDER", -70.0f, -60.0f, 0, 2);
    place(grid, "BIKE", 20.0f, -80.0f, 0, 3);
    place(grid, "RIDER", 70.0f, 60.0f, 1, 4);
    for (std::int32_t iz = 0; iz < grid.rows; ++iz) {
        for (std::int32_t ix = 0; ix < grid.columns; ++ix) {
            map_cell* c = grid.lookup(0, iz, ix);
            if (!c)
                continue;
            std::vector<map_cell_ref> seen;
            for (std::int32_t dz = -1; dz <= 1; ++dz)
                for (std::int32_t dx = -1; dx <= 1; ++dx) {
                    const std::int32_t z = iz + dz, x = ix + dx;
                    if (z < 0 || z >= grid.rows || x < 0 || x >= grid.columns)
                        continue;
                    if ((dz == 0 && dx == 0) || ((dz == 0 || dx == 0) && grid.lookup(0, z, x)))
                        seen.push_back({0, z, x});
                }
            map_grid::set_visible_count(*c, seen.size());
            for (std::size_t i = 0; i < seen.size(); ++i)
                grid.set_visible_entry(*c, i, seen[i].level, seen[i].row, seen[i].column);
        }
    }
}

} // namespace datakit
