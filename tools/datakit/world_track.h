#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "engine/model/anm_reader.h"
#include "engine/model/mdl_reader.h"
#include "engine/scene/map_grid.h"
#include "tools/datakit/circuit_builder.h"
#include "tools/datakit/mtt_writer.h"

// The demo world's circuits in 3D: for every demo circuit the track scene
// a race loads from "Gfx\Tracks\<name>" (".mdl", ".mtt", ".mtp", ".anm",
// ".map", the palette ".pal" with its shade table), the skies
// "Gfx\Tracks\<first three letters>_skys" (sunny) and "_skyr" (rain and
// fog), and the camera and scale lists of "Data\Details.dat". Everything is
// built from the circuit's own track geometry, so the racing surface drawn
// is the one the bikes ride on. docs/demo-world.md describes it.
namespace datakit {

// The light baked into the track scene's vertices: ambient + diffuse x
// max(0, n . sun); flat ground under the demo's sun comes out at about
// 1.0 (the textures' own colours), walls turned from it at 0.55.
inline constexpr float kBakedAmbient = 0.55f;
inline constexpr float kBakedDiffuse = 0.5f;

// Bakes the sun of the circuit's sunny scene record (demo_track_scene)
// into the stored intensity of every vertex of the track scene's models,
// then shade_outlines.
void bake_track_light(std::vector<mdl_model>& models, int circuit_index);

// A shade outline: an upward face hidden inside something overhead (the
// start gantry's beam) whose vertices keep the light of a face in shade,
// below the scene records' ground threshold: the race marks its model as
// ground, and the ground search under an instance finds it (docs/race.md,
// "Ground marks").
inline constexpr const char* kShadeObject = "SHADE";
// Gives every shade outline's vertices the light kBakedAmbient.
void shade_outlines(std::vector<mdl_model>& models);

// The start lights' model, looked up by name in the track scene.
inline constexpr const char* kStartLightsModel = "AFA_SEMAFORO";
// The sky's model in both sky libraries.
inline constexpr const char* kSkyModel = "Back";

// A track scene: its models (the circuit cut into stretches of road, the
// pit lane, scenery, the start gantry and lights, grid and pit boxes, the
// ground), both material libraries and the animations.
struct WorldTrack {
    std::vector<mdl_model> models;
    MttLibrary materials16;   // ".mtt": 16-bit texels
    MttLibrary materials8;    // ".mtp": track palette indexes
    std::vector<anm_animation> animations;
};

WorldTrack build_world_track(const CircuitDescription& description, const BuiltCircuit& built);

// The sky of a weather (0 sunny, 1 rain, 2 fog) lit from `light` (the
// track scene record's light position): the model "Back" of unit size
// (the race scales it to the far plane): a dome, distant hills and, in
// the sun, the sun where the light comes from.
struct WorldSky {
    std::vector<mdl_model> models;
    MttLibrary materials16;
    MttLibrary materials8;
};
WorldSky build_world_sky(int weather, const float light[3]);

// The map grid of a track scene: every model placed in the cell of its
// root, cells of 100 m, each seeing the cells within 1500 m.
void build_world_map(const WorldTrack& track, map_grid& grid);

// "<first three letters>_skys" / "_skyr".
std::string sky_base_name(std::string_view circuit, int weather);

// The lists "SCALE_DETAILS_SW", "SCALE_DETAILS_HW", "SCALE_DEPTH_SW",
// "SCALE_DEPTH_HW", "BACKGROUND_SCALE", "FOCALS" and "FIXED_CAMS".
std::string world_detail_lists_text();

// The trackside cameras of a circuit (a "CAMERAS" list).

// Writes one circuit's track scene, skies and cameras below `root`.
bool write_world_track(const std::filesystem::path& root, std::string_view circuit, int circuit_index,
                       std::string& error);

// Every demo circuit, and the lists appended to "Data/Details.dat" (which
// must exist).
bool write_demo_world_tracks(const std::filesystem::path& root, std::string& error);

} // namespace datakit
