#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "engine/model/anm_reader.h"
#include "engine/model/mdl_reader.h"
#include "engine/scene/map_grid.h"
#include "tools/datakit/mtt_writer.h"
#include "tools/datakit/palette_writer.h"

namespace datakit {

// The libraries of a scene, written as "<name>.MTT", "<name>.MTP",
// "<name>.ANM", "<name>.MDL" and "<name>.MAP" in one folder (the scene loads
// them by the base name), with the palette of the ".MTP" as "<name>.pal".
struct SceneLibraries {
    MttLibrary materials;    // ".MTT": 16-bit texels
    MttLibrary materials8;   // ".MTP": indexes of `palette`, for the software device
    Palette palette{};       // "<name>.pal" (the track palette)
    std::vector<anm_animation> animations;
    std::vector<mdl_model> models;
    map_grid grid;
};

// A small scene over 4 x 1 x 4 cells of 50 units from (-100, 0, -100):
//   models "BIKE" and "RIDER" (the demo models, for instances) and the map
//   objects "HUT_A" at (-80, 0, -80) and "FLAGPOLE" at (-60, 0, -70) in cell
//   (column 0, row 0), "HUT_B" at (20, 0, -80) in cell (2, 0), "LAMP" at
//   (70, 0, 60) in cell (3, 3), whose animation "LAMP" carries a point light
//   6 units above it (colour 0.5, range 30); the grid also holds an item
//   "GHOST" in cell (0, 3) whose model is not in the library. "FLAGPOLE"'s
//   first node carries flag bit 15 (shown only through the view's switch).
//   Each map object is an empty root at its place holding a box standing on
//   the ground, whose hit mesh is the box's +x wall.
//   Visible cells: (0, 0) sees itself and (2, 0); (2, 0) sees itself, (0, 0)
//   and (3, 3); (3, 3) sees itself and (2, 0); (0, 3) only itself.
// Materials "BIKE_PAINT" (red, a white band), "TYRE", "LEATHER" (black, a
// red band) and "STONE" (grey bricks), one 16 x 16 picture each, lit as the
// track scenes' materials are; the map objects store the light of the
// track scenes' sun in their vertices.
void build_demo_scene(SceneLibraries& scene);

// Writes the four files (each atomically). False and `error` on failure.
bool write_scene(const std::filesystem::path& folder, const std::string& name, const SceneLibraries& scene,
                 std::string& error);

} // namespace datakit
