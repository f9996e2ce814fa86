#pragma once

#include <filesystem>
#include <string>

#include "engine/scene/map_grid.h"

namespace datakit {

// ".MAP" grids of map objects are written by the scene library's own
// writer, map_grid::save (engine/scene/map_grid.h, docs/engine-scene.md):
// a grid is built with map_grid::init_counts or init_sizes and filled with
// map_grid::insert and the visible-cell helpers.

// Writes the grid (atomically). False and `error` on failure.
bool write_map(const std::filesystem::path& path, const map_grid& grid, std::string& error);

// The demo grid: 4 x 1 x 4 cells of 50 units from (-100, 0, -100), the demo
// models "BIKE" and "RIDER" placed in three of them (one cell holding two
// items, one item in section 1), and every present cell seeing itself and
// its present neighbours along x and z.
void build_demo_map(map_grid& grid);

} // namespace datakit
