#pragma once

#include <string>
#include <vector>

#include "engine/model/mdl_reader.h"
#include "tools/datakit/world_bike_materials.h"

namespace datakit {

// The bike and rider models of the demo world. Every model is procedural:
// simple solids placed from the bike data's wheelbase, wheel radii and rake
// (bike_data_writer.h). Model origin: the rear tyre's contact with the
// ground (the bike's reference point), x to the right, y up, z forward.

// The demo bike model names (the manufacturers' model names, model order).
std::vector<std::string> world_bike_names();
// The upper-case key a model's material names start with ("VORTAN").
std::string world_material_key(const std::string& model_name);

// Detail levels of a bike: full, medium, low, and a far silhouette.
inline constexpr int kWorldBikeLevels = 4;
inline constexpr int kWorldRiderLevels = 3;

// "AXX_<name>": root, "CHASSIS" (what the bike animations roll), "BODY"
// (frame, engine, tank, seat, tail, fairing, screen, exhaust),
// "FRONT_PIVOT" (steering head, turned back by the rake; upper fork legs)
// > "FRONT_SUSP" (fork sliders and mudguard, at the fork's rest length) >
// "FRONT_WHEEL", and "REAR_PIVOT" (the swing arm at its pivot) >
// "REAR_WHEEL". Each model has its own shape and its livery material
// "<NAME>_PAINT" (five frames, chosen by the bike's colour variant).
mdl_model world_bike_model(int model);

// "AXX_RIDER": root > "PELVIS" > "TORSO" > "jnthead" (helmet) > "VISTA"
// (eye point), arms and legs below the torso and pelvis; leathers
// "LEATHER" and helmet "HELMET" of five frames (the rider variant).
mdl_model world_rider_model();

// "HANDLEBARS": clip-ons, grips and top yoke seen from the saddle, with the
// "Head" node where the rider's eyes are.
mdl_model world_handlebars_model();

// "AXX_COCK<name>": the instrument panel seen from the saddle, its faces
// textured with the pictures the overlay draws into ("<NAME>_SPD",
// "<NAME>_GEAR", "<NAME>_REVS") and a rev-counter "NEEDLE". "AXX_2DCOCK<name>":
// a flat dial for the overlay view, with its "NEEDLE".
mdl_model world_cockpit_model(int model);
mdl_model world_cockpit_2d_model(int model);

// Flat shadows "Shadow" (dry) and "Shadowp" (wet: fainter).
mdl_model world_flat_shadow(const std::string& name);
// Dynamic shadows "AXX_OMB<name>" and "AXX_OMBRIDER": a level grid of
// cards at height y through the body, whose vertices the engine ties to
// the model's and lays on the ground.
mdl_model world_dynamic_shadow(const std::string& name, float half_x, float y, float z0, float z1, int columns,
                               int rows);
// Skid marks "Skid" and "Skidp": a strip from z 0 to 1 (the race stretches
// it along the wheel's path).
mdl_model world_skid(const std::string& name);
// A particle: one sprite card (mesh word 1) a unit across, which the engine
// stands at the instance, facing the camera.
mdl_model world_particle(const std::string& name);
// The practice arch "Pratice": two posts and a banner across the road.
mdl_model world_practice_arch();

// The materials of each library group, level 0 (".mtt"/".mtp") and detail
// levels (".mlt"/".mlp").
std::vector<WorldMaterial> world_bike_materials();
std::vector<WorldMaterial> world_bike_detail_materials();
std::vector<WorldMaterial> world_rider_materials();
std::vector<WorldMaterial> world_rider_detail_materials();
std::vector<WorldMaterial> world_shadow_materials();
std::vector<WorldMaterial> world_effect_materials();   // dynamic shadows, skid marks, particles
std::vector<WorldMaterial> world_arch_materials();

// The five particle models, in kind order.
const std::vector<std::string>& world_particle_names();

} // namespace datakit
