// Fuzz target: the input is a ".MAP" grid of map objects. A grid that reads
// is looked up at every cell (and at indexes outside it), its points turned
// into cells, and written again: the bytes written must read back into a
// grid that writes the same bytes. Nothing may crash, overrun, hang or take
// far more memory than the file holds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <span>
#include <vector>

#include "engine/scene/map_grid.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    map_grid grid;
    if (grid.load(std::span(data, size)) != map_status::ok)
        return 0;

    // Every present cell, with its visible cells looked up as the scene
    // does. Bounded: at most 4096 lookups per axis walk.
    std::size_t walked = 0;
    for (std::int32_t iy = 0; iy < grid.levels && walked < 4096; ++iy)
        for (std::int32_t iz = 0; iz < grid.rows && walked < 4096; ++iz)
            for (std::int32_t ix = 0; ix < grid.columns && walked < 4096; ++ix, ++walked)
                if (const map_cell* cell = grid.lookup(iy, iz, ix))
                    for (const map_cell_ref& ref : cell->visible)
                        grid.lookup(ref.level, ref.row, ref.column);
    constexpr std::int64_t big = std::numeric_limits<std::int64_t>::max();
    grid.lookup(-1, -1, -1);
    grid.lookup(big, big, big);
    std::int32_t iy = 0, iz = 0, ix = 0;
    for (const vec4& p : {grid.origin, grid.far_corner, vec4{-1e30f, 1e30f, 0.0f, 0.0f}})
        if (grid.cell_of(p, &iy, &iz, &ix) && (iy < 0 || iy >= grid.levels || iz < 0 || iz >= grid.rows ||
                                                ix < 0 || ix >= grid.columns))
            std::abort();

    const std::vector<std::uint8_t> written = grid.save_bytes();
    map_grid again;
    if (again.load(written) != map_status::ok || again.save_bytes() != written ||
        again.item_count() != grid.item_count())
        std::abort();
    return 0;
}
