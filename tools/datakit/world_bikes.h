#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "engine/model/anm_reader.h"
#include "engine/model/mdl_reader.h"

namespace datakit {

// One library group of "Gfx/Bikes" as the race loads it: "<name>.mdl",
// "<name>.mtt" and "<name>.mtp" (level-0 materials, 16- and 8-bit), for the
// bikes and riders also "<name>.mlt" and "<name>.mlp" (the materials of the
// lower detail levels; a material lives in exactly one of the two), and
// "<name>.anm".
struct WorldBikeGroup {
    std::string name;
    std::vector<mdl_model> models;
    std::vector<anm_animation> animations;
    bool detail_materials = false;
};

// The five groups: "Bikes" (the five bikes and their 3D and 2D cockpits),
// "Riders" (the rider and the handlebars), "Shadow" (the flat shadows),
// "dynombra" (dynamic shadows, skid marks, particles), "Arc" (the practice
// arch).
std::vector<WorldBikeGroup> world_bike_groups();

// Writes every group, its materials and animations into "<root>/Gfx/Bikes"
// and the cockpit files into "<root>/Gfx/Cockpit".
bool write_demo_world_bikes(const std::filesystem::path& root, std::string& error);

} // namespace datakit
