#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "sim/bike_setup.h"
#include "tools/datakit/typed_list_writer.h"

namespace datakit {

// Writers of the bike-model data: the list "MANUFACTURERS" of
// "Data\Info.dat", the bike files "Data\Bikes\<model>.dat" and the track
// set-ups "Data\Settings\<track>.set". docs/sim-bikes.md says what every
// value means.

// One record of "MANUFACTURERS" (typed fields i s s f f f f).
struct ManufacturerSpec {
    std::int32_t id = 0;
    std::string model_name;   // no blanks: names the bike file
    std::string maker;        // no blanks
    float rev_limit = 0.0f;   // the engine record
    float heat_slope = 0.0f;
    float heat_cold = 0.0f;
    float heat_hot = 0.0f;
};

// Appends the list "MANUFACTURERS" (one record per line).
void add_manufacturers_list(TypedListWriter& out, const std::vector<ManufacturerSpec>& records);

// The twelve values of one wheel as the bike file holds them.
struct WheelSpec {
    float width_mm = 0.0f;
    float aspect_percent = 0.0f;
    float rim_inches = 0.0f;
    float length_base = 0.0f;
    float length_scale = 0.0f;
    float length_factor = 0.0f;
    float max_travel = 0.0f;
    float lever_ratio = 0.0f;
    float rake = 0.0f;
    float inertia = 0.0f;
    float brake_drag = 0.0f;
    float slip_gain = 0.0f;
};

// A bike file's numbers, in file order.
struct BikeFileSpec {
    std::vector<float> gear_ratios; // the count is written first
    float primary_ratio = 0.0f;
    std::int32_t sprocket_teeth = 0;
    std::int32_t crown_teeth = 0;
    float mass = 0.0f;
    float wheelbase = 0.0f;
    float mass_forward = 0.0f;
    float mass_height = 0.0f;
    float drag[3] = {};          // c0, c1, c2
    float engine_brake[3] = {};  // e0, e1, e2
    float side_slip_divisor = 0.0f;
    float shared = 0.0f;         // the one value shared by both wheels
    WheelSpec front;
    WheelSpec rear;
    std::int32_t power_header = 0; // read and dropped by the game
    std::int32_t top_revs = 0;     // the table holds top_revs / 100 values
    std::vector<float> power_kw;   // kW at 0, 100, 200 ... rpm
};

// The text of a bike file: one number per line, CR LF line ends.
std::string bike_file_text(const BikeFileSpec& spec);

bool write_bike_file(const std::filesystem::path& path, const BikeFileSpec& spec, std::string& error);

// The 108 bytes of a ".set" file.
std::vector<std::uint8_t> setup_file_bytes(const BikeSetup& setup);
bool write_setup_file(const std::filesystem::path& path, const BikeSetup& setup, std::string& error);

// The five demo bike models (superbikes of 130 to 150 kW, about 200 kg with
// the rider, six gears, 0.31 m wheels), in model order 0..4.
inline constexpr int kDemoBikeModels = 5;
std::vector<ManufacturerSpec> demo_manufacturers();
BikeFileSpec demo_bike(int model);
// A power table of `entries` values (one per 100 rpm) rising to `peak_kw`
// at `peak_rpm` and falling off above it.
std::vector<float> power_curve(float peak_kw, float peak_rpm, int entries);

// The demo set-up of a circuit (index 0..11 of the season; others: an
// average circuit): gearing by how fast the circuit is.
BikeSetup demo_setup(int circuit);

// Writes below `root`: "Data/Info.dat" with the list "MANUFACTURERS", the
// five bike files "Data/Bikes/<model>.dat" and a set-up
// "Data/Settings/<circuit>.set" for each of the twelve circuits.
bool write_demo_bike_data(const std::filesystem::path& root, std::string& error);

} // namespace datakit
