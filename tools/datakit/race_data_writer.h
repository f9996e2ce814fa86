#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "tools/datakit/typed_list_writer.h"

// Writers of the race's data lists: the bike table "BIKES" of
// "Data\Info.dat", "Data\Details.dat", "Data\Smokes.dat", "Data\AI.dat", the
// pit markers "Data\Tracks\<track>.mrk" and the sound markers
// "Data\Tracks\<first three letters>_snd.dat". docs/race.md says what the
// values mean. ("Data\Times.dat" is written with the championship's files.)
namespace datakit {

// One record of "BIKES" (typed fields i i f i i f f f f; 36 bytes): the
// rider's pit slot, bike model, the room others leave it, two spare words,
// its bike and rider colour variants, and two values the race fills in.
struct BikeTableRecord {
    std::int32_t pit_slot = 0;
    std::int32_t model = 0;
    float pass_margin = 0.0f;
    std::int32_t spare3 = 0;
    std::int32_t spare4 = 0;
    float bike_variant = 0.0f;
    float rider_variant = 0.0f;
    float ref_lap_time = 0.0f;
    float power_divisor = 1.0f;
};
void add_bike_table_list(TypedListWriter& out, const std::vector<BikeTableRecord>& records);
// The demo's 32 riders: pit slot = rider id, bike model id mod 5.
std::vector<BikeTableRecord> demo_bike_table();

// A list of float values on one line ("TRACK_SW", "BIKES_LOW0_SW", ...).
void add_float_list(TypedListWriter& out, std::string_view name, const std::vector<float>& values);
// A list of one integer ("PLAYER_LOW0_SW", "NUM_MARKERS").
void add_int_list(TypedListWriter& out, std::string_view name, std::int32_t value);
// A list of records of three floats, one per line ("MARKERS").
void add_triple_list(TypedListWriter& out, std::string_view name, const std::vector<std::array<float, 3>>& records);

// A track scene record (typed fields f i i f f f f f f f f f f f f f).
struct TrackSceneSpec {
    float engine_factor = 0.9f;
    std::int32_t mark_keys[2] = {0, 0};
    float light_position[3] = {1000.0f, 2000.0f, 500.0f};
    float light_colour[3] = {1.0f, 1.0f, 0.95f};
    // The fog table's density and start (see demo_track_scene): the
    // device's own values at construction.
    float fog_start = 0.9f;
    float fog_end = -100.0f;
    float fog_colour[3] = {0.65f, 0.87f, 0.92f};
    float fog_switch = 0.0f;
    float height_threshold = -50.0f;
};
void add_track_scene_list(TypedListWriter& out, std::string_view name, const TrackSceneSpec& scene);
// The demo scenes' mark keys (level, amount) and ground threshold: a face
// whose baked light (world_track.h) is below the threshold shades what is
// under it (the ground search under an instance finds it).
inline constexpr std::int32_t kDemoMarkLevel = 0;
inline constexpr std::int32_t kDemoMarkAmount = 0;
inline constexpr float kDemoShadeThreshold = 0.6f;
// The demo's scene of circuit `circuit` (its index in the season) in a
// weather (0 sunny, 1 rain, 2 fog) on the hardware or software device.
TrackSceneSpec demo_track_scene(int circuit, int weather, bool hardware);

// One kind of particle of "SMOKE" (nine floats).
struct SmokeSpec {
    float interval = 0.05f;
    float lifetime = 1.5f;
    float fade_start = 0.8f;
    float drift = 0.5f;
    float rise = 0.8f;
    float growth = 1.5f;
    float base_size = 0.3f;
    float spread = 0.5f;
    float spin = 0.2f;
};
// The five kinds: smoke, grass, sand, sparks, rain spray.
std::array<SmokeSpec, 5> demo_smokes();

// A skill list of "Data\AI.dat": braking (negative, in g) and grip (in g).
struct AiSkillSpec {
    float braking = -0.9f;
    float grip = 1.2f;
};
// Every list name of the file ("SIM_SUNNY_BEGINNER" ... "ARCADE_FOG_REAL")
// with the demo's values: more grip and later braking at higher skill,
// less grip in rain and fog, more in the arcade model.
std::vector<std::pair<std::string, AiSkillSpec>> demo_ai_skills();

// The texts of the files.
std::string details_file_text(const std::vector<std::string>& circuits);
std::string smokes_file_text(const std::array<SmokeSpec, 5>& smokes);
std::string ai_file_text(const std::vector<std::pair<std::string, AiSkillSpec>>& skills);
// A ".mrk" file: pit entry then pit exit, each (x, radius, z); an empty
// list for a circuit without a pit lane.
std::string pit_markers_file_text(const std::vector<std::array<float, 3>>& markers);
// A "_snd.dat" file: the count, then the markers (x, y, z).
std::string sound_markers_file_text(const std::vector<std::array<float, 3>>& markers);

// The demo circuit's pit markers (radius 40 m round the points where the
// pit lane leaves and rejoins it) and sound markers (one every 400 m of the
// centre line, 6 m above the ground).
std::vector<std::array<float, 3>> demo_pit_markers(std::string_view circuit);
std::vector<std::array<float, 3>> demo_sound_markers(std::string_view circuit);

// Appends "BIKES" to "Data/Info.dat" and writes "Data/Details.dat",
// "Data/Smokes.dat", "Data/AI.dat" and, for every demo circuit, its ".mrk"
// and "_snd.dat" below `root`. False and `error` on failure.
bool write_demo_race_data(const std::filesystem::path& root, std::string& error);

} // namespace datakit
