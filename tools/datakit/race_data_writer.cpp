#include "tools/datakit/race_data_writer.h"

#include <cmath>
#include <fstream>
#include <iterator>
#include <sstream>

#include "tools/datakit/circuit_builder.h"
#include "tools/datakit/demo_circuits.h"
#include "tools/datakit/world_track.h"

namespace datakit {

namespace {

const char* const kDevices[2] = {"_SW", "_HW"};
const char* const kDetailNames[6] = {"LOW0", "LOW1", "MEDIUM2", "MEDIUM3", "HIGH4", "HIGH5"};
const char* const kWeathers[3] = {"_SUNNY", "_RAIN", "_FOG"};

std::string read_text(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Level-of-detail distances that grow by half again from `first`.
std::vector<float> lod_distances(float first)
{
    std::vector<float> d;
    float v = first;
    for (int i = 0; i < 10; ++i) {
        d.push_back(std::round(v));
        v *= 1.5f;
    }
    return d;
}

} // namespace

// Just above the light of a face turned from the sun, well below a face lit
// by it.
static_assert(kDemoShadeThreshold > kBakedAmbient && kDemoShadeThreshold < kBakedAmbient + 0.2f * kBakedDiffuse);

TrackSceneSpec demo_track_scene(int circuit, int weather, bool hardware)
{
    TrackSceneSpec s;
    // The light factor: the software device's shade table shows a colour
    // itself at intensity 0.5, the 3D device at 1.0 (the materials' words,
    // world_bike_materials.h).
    s.engine_factor = hardware ? 0.9f : 0.45f;
    // The race marks the scene's objects with (level, amount) = (0, 0):
    // an amount of 0 leaves every vertex's stored value (the baked light)
    // where it is, so the marking only finds the objects that shade what
    // is under them. Those are the faces the bake gives less than a tenth
    // of the sun (undersides, and walls turned from it): the start gantry's
    // beam, roofs, canopies. Road and grass face the sun and never are.
    s.mark_keys[0] = kDemoMarkLevel;
    s.mark_keys[1] = kDemoMarkAmount;
    s.height_threshold = kDemoShadeThreshold;
    s.light_position[0] = 1000.0f + 100.0f * static_cast<float>(circuit);
    // The fog's two values go to make_fog_table as its density and its
    // start (the view depth where the fog begins, negative ahead), with
    // -ZClipping as its end. Rain: a haze from 150 m ahead, about four
    // fifths fog at the 500 m far plane. Fog: from 20 m ahead, all fog
    // about 200 m ahead at the 500 m far plane (270 m at 1000 m).
    if (weather == 1) {
        s.light_colour[0] = s.light_colour[1] = 0.6f;
        s.light_colour[2] = 0.65f;
        s.fog_start = 0.9f;
        s.fog_end = -150.0f;
        s.fog_colour[0] = 0.4f;
        s.fog_colour[1] = 0.47f;
        s.fog_colour[2] = 0.49f;
        s.fog_switch = 1.0f;
    } else if (weather == 2) {
        s.light_colour[0] = s.light_colour[1] = s.light_colour[2] = 0.7f;
        s.fog_start = 1.4f;
        s.fog_end = -20.0f;
        s.fog_colour[0] = 0.4f;
        s.fog_colour[1] = 0.47f;
        s.fog_colour[2] = 0.49f;
        s.fog_switch = 1.0f;
    }
    return s;
}

namespace {

// The centre of the circuit at a cross-section, from its two asphalt borders.
std::array<float, 3> centre_of(const TrackFileSection& s, float raise)
{
    return {(s.inner0.x + s.inner1.x) * 0.5f, (s.inner0.y + s.inner1.y) * 0.5f + raise,
            (s.inner0.z + s.inner1.z) * 0.5f};
}

} // namespace

void add_bike_table_list(TypedListWriter& out, const std::vector<BikeTableRecord>& records)
{
    out.begin_list("BIKES");
    for (const BikeTableRecord& r : records)
        out.record({TypedField::i(r.pit_slot), TypedField::i(r.model), TypedField::f(r.pass_margin),
                    TypedField::i(r.spare3), TypedField::i(r.spare4), TypedField::f(r.bike_variant),
                    TypedField::f(r.rider_variant), TypedField::f(r.ref_lap_time), TypedField::f(r.power_divisor)});
    out.end_list();
}

std::vector<BikeTableRecord> demo_bike_table()
{
    std::vector<BikeTableRecord> table;
    for (int id = 0; id < 32; ++id) {
        BikeTableRecord r;
        r.pit_slot = id;
        r.model = id % 5;
        r.pass_margin = 0.4f + 0.05f * static_cast<float>(id % 4);
        r.bike_variant = static_cast<float>(id / 5 % 4) * 0.25f;
        r.rider_variant = static_cast<float>(id % 3) * 0.5f;
        table.push_back(r);
    }
    return table;
}

void add_float_list(TypedListWriter& out, std::string_view name, const std::vector<float>& values)
{
    out.begin_list(name);
    // One line of fields.
    std::string text;
    for (float v : values)
        text += (text.empty() ? "" : " ") + TypedField::f(v).text;
    out.add_line(text);
    out.end_list();
}

void add_int_list(TypedListWriter& out, std::string_view name, std::int32_t value)
{
    out.begin_list(name);
    out.record({TypedField::i(value)});
    out.end_list();
}

void add_triple_list(TypedListWriter& out, std::string_view name, const std::vector<std::array<float, 3>>& records)
{
    out.begin_list(name);
    for (const std::array<float, 3>& r : records)
        out.record({TypedField::f(r[0]), TypedField::f(r[1]), TypedField::f(r[2])});
    out.end_list();
}

void add_track_scene_list(TypedListWriter& out, std::string_view name, const TrackSceneSpec& s)
{
    out.begin_list(name);
    out.record({TypedField::f(s.engine_factor), TypedField::i(s.mark_keys[0]), TypedField::i(s.mark_keys[1])});
    out.record({TypedField::f(s.light_position[0]), TypedField::f(s.light_position[1]),
                TypedField::f(s.light_position[2])});
    out.record({TypedField::f(s.light_colour[0]), TypedField::f(s.light_colour[1]), TypedField::f(s.light_colour[2])});
    out.record({TypedField::f(s.fog_start), TypedField::f(s.fog_end)});
    out.record({TypedField::f(s.fog_colour[0]), TypedField::f(s.fog_colour[1]), TypedField::f(s.fog_colour[2])});
    out.record({TypedField::f(s.fog_switch), TypedField::f(s.height_threshold)});
    out.end_list();
}

std::array<SmokeSpec, 5> demo_smokes()
{
    std::array<SmokeSpec, 5> k{};
    k[0] = {0.05f, 1.6f, 0.8f, 0.4f, 0.9f, 1.8f, 0.35f, 0.6f, 0.25f};   // tyre smoke
    k[1] = {0.08f, 0.9f, 0.5f, 0.8f, -2.0f, 0.6f, 0.15f, 1.2f, 1.0f};  // grass
    k[2] = {0.08f, 1.1f, 0.6f, 0.7f, -1.0f, 1.0f, 0.25f, 1.0f, 0.5f};  // sand
    k[3] = {0.03f, 0.4f, 0.2f, 1.0f, -6.0f, -101.0f, 0.05f, 2.0f, 0.0f}; // sparks: shrink
    k[4] = {0.04f, 0.7f, 0.3f, 0.6f, 0.3f, 2.2f, 0.3f, -1.0f, 0.0f};   // rain spray: attached
    return k;
}

std::vector<std::pair<std::string, AiSkillSpec>> demo_ai_skills()
{
    const char* const skills[4] = {"BEGINNER", "AMATEUR", "PRO", "REAL"};
    const char* const weathers[3] = {"SUNNY_", "RAIN_", "FOG_"};
    std::vector<std::pair<std::string, AiSkillSpec>> lists;
    for (int model = 0; model < 2; ++model) {
        for (int w = 0; w < 3; ++w) {
            for (int s = 0; s < 4; ++s) {
                AiSkillSpec spec;
                const float level = static_cast<float>(s);
                // Corners at 0.80 to 0.95 g in the dry: the front tyre
                // holds about 1.05 g cold and 1.2 g warm, and the rider
                // needs room for the line and the rider ahead.
                spec.grip = 0.80f + 0.05f * level;
                spec.braking = -(0.70f + 0.05f * level);
                if (w == 1) {
                    // Rain tyres on a wet road hold about half a g.
                    spec.grip *= 0.55f;
                    spec.braking *= 0.55f;
                } else if (w == 2) {
                    spec.grip *= 0.97f;
                }
                if (model == 1) {
                    spec.grip *= 1.1f;
                    spec.braking *= 1.1f;
                }
                lists.emplace_back(std::string(model == 0 ? "SIM_" : "ARCADE_") + weathers[w] + skills[s], spec);
            }
        }
    }
    return lists;
}

std::string details_file_text(const std::vector<std::string>& circuits)
{
    TypedListWriter out;
    for (int d = 0; d < 2; ++d) {
        add_float_list(out, std::string("TRACK") + kDevices[d], lod_distances(d == 0 ? 80.0f : 120.0f));
        for (int level = 0; level < 6; ++level) {
            const std::string suffix = std::string(kDetailNames[level]) + kDevices[d];
            add_float_list(out, "BIKES_" + suffix, lod_distances(15.0f + 10.0f * static_cast<float>(level)));
            add_int_list(out, "PLAYER_" + suffix, level < 2 ? 1 : (level < 4 ? 2 : 3));
        }
    }
    for (std::size_t c = 0; c < circuits.size(); ++c) {
        add_float_list(out, circuits[c] + "_PRIORITY", {10.0f, 20.0f, 30.0f});
        for (int w = 0; w < 3; ++w)
            for (int d = 0; d < 2; ++d)
                add_track_scene_list(out, circuits[c] + kWeathers[w] + kDevices[d],
                                     demo_track_scene(static_cast<int>(c), w, d == 1));
    }
    return out.text();
}

std::string smokes_file_text(const std::array<SmokeSpec, 5>& smokes)
{
    TypedListWriter out;
    out.begin_list("SMOKE");
    for (const SmokeSpec& s : smokes)
        out.record({TypedField::f(s.interval), TypedField::f(s.lifetime), TypedField::f(s.fade_start),
                    TypedField::f(s.drift), TypedField::f(s.rise), TypedField::f(s.growth), TypedField::f(s.base_size),
                    TypedField::f(s.spread), TypedField::f(s.spin)});
    out.end_list();
    return out.text();
}

std::string ai_file_text(const std::vector<std::pair<std::string, AiSkillSpec>>& skills)
{
    TypedListWriter out;
    for (const auto& [name, spec] : skills) {
        out.begin_list(name);
        out.record({TypedField::f(spec.braking), TypedField::f(spec.grip)});
        out.end_list();
    }
    return out.text();
}

std::string pit_markers_file_text(const std::vector<std::array<float, 3>>& markers)
{
    TypedListWriter out;
    add_triple_list(out, "MARKERS", markers);
    return out.text();
}

std::string sound_markers_file_text(const std::vector<std::array<float, 3>>& markers)
{
    TypedListWriter out;
    add_int_list(out, "NUM_MARKERS", static_cast<std::int32_t>(markers.size()));
    add_triple_list(out, "MARKERS", markers);
    return out.text();
}

std::vector<std::array<float, 3>> demo_pit_markers(std::string_view circuit)
{
    const BuiltCircuit built = build_demo_circuit(circuit);
    if (!built.has_pit_lane)
        return {};
    constexpr float kRadius = 40.0f;
    return {{built.pit_entry.x, kRadius, built.pit_entry.z}, {built.pit_exit.x, kRadius, built.pit_exit.z}};
}

std::vector<std::array<float, 3>> demo_sound_markers(std::string_view circuit)
{
    const BuiltCircuit built = build_demo_circuit(circuit);
    std::vector<std::array<float, 3>> markers;
    const std::vector<TrackFileSection>& sections = built.circuit.sections;
    for (std::size_t k = 0; k < sections.size(); k += 400)
        markers.push_back(centre_of(sections[k], 6.0f));
    return markers;
}

bool write_demo_race_data(const std::filesystem::path& root, std::string& error)
{
    const std::filesystem::path data = root / "Data";
    try {
        TypedListWriter table;
        add_bike_table_list(table, demo_bike_table());
        std::string info = read_text(data / "Info.dat");
        if (!info.empty() && info.back() != '\n')
            info += "\r\n";
        if (!write_text_file(data / "Info.dat", info + table.text(), error))
            return false;

        std::vector<std::string> circuits(std::begin(kDemoCircuitNames), std::end(kDemoCircuitNames));
        if (!write_text_file(data / "Details.dat", details_file_text(circuits), error) ||
            !write_text_file(data / "Smokes.dat", smokes_file_text(demo_smokes()), error) ||
            !write_text_file(data / "AI.dat", ai_file_text(demo_ai_skills()), error))
            return false;
        for (const std::string& name : circuits) {
            if (!write_text_file(data / "Tracks" / (name + ".mrk"), pit_markers_file_text(demo_pit_markers(name)),
                                 error))
                return false;
            if (!write_text_file(data / "Tracks" / (name.substr(0, 3) + "_snd.dat"),
                                 sound_markers_file_text(demo_sound_markers(name)), error))
                return false;
        }
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
    return true;
}

} // namespace datakit
