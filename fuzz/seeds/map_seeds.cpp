// Seeds of map_fuzz: the demo grid (items in two sections, visible-cell
// lists) and a grid without cells.
#include "engine/scene/map_grid.h"
#include "fuzz/seeds/seed_registry.h"
#include "tools/datakit/map_writer.h"

TORVANE_FUZZ_SEEDS(map)
{
    map_grid demo;
    datakit::build_demo_map(demo);
    seeds.push_back({"demo.map", demo.save_bytes()});
    map_grid empty;
    empty.init_counts({0.0f, 0.0f, 0.0f, 0.0f}, {30.0f, 20.0f, 10.0f, 0.0f}, 3, 2, 1);
    seeds.push_back({"empty.map", empty.save_bytes()});
}
