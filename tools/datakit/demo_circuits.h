#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "tools/datakit/circuit_builder.h"

// The demo data's circuits under the twelve circuit names of the season.
//   "Island"                 a 4 km road circuit with fast and slow corners,
//                            kerbs, gravel traps, gentle hills and a pit lane
//   "Monza", "a1ring"        banked curves and an undulating back section,
//                            with a pit lane
//   "Sugo"                   a simple rounded rectangle with a pit lane
//   "Sentul"                 the same rectangle without a pit lane
//   the others               Island's layout
namespace datakit {

inline constexpr const char* kDemoCircuitNames[12] = {
    "Island", "Misano", "Donigton", "Hocken", "Monza", "Laguna",
    "Brands", "a1ring", "Assen", "Albacete", "Sugo", "Sentul",
};

// The description of a demo circuit by name (compared without regard to
// case); an unknown name gets Island's layout under that name.
CircuitDescription demo_circuit_description(std::string_view name);

BuiltCircuit build_demo_circuit(std::string_view name);

// Writes "<root>/Data/Tracks/<name>.dat" and, when the circuit has one,
// "<name>_pit.dat" (creating the folders). False and `error` on failure.
bool write_demo_circuit(const std::filesystem::path& root, std::string_view name, std::string& error);

// All twelve circuits and "<root>/Data/Heights.dat".
bool write_demo_tracks(const std::filesystem::path& root, std::string& error);

} // namespace datakit
