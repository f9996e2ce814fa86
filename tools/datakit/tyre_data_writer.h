#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sim/terrain.h"
#include "sim/tyre.h"
#include "tools/datakit/typed_list_writer.h"

namespace datakit {

// Writers of the tyre and terrain grip data: "Data\Tyres.dat" (one list
// "TYRE_<n>" of 16 floats per tyre) and "Data\Terrain.dat" (one list of 42
// floats per circuit and weather: the circuit's name, "<name>_Rain",
// "Arcade" and "Arcade_Rain"). Both are typed keyword lists.

// Appends list "TYRE_<number>" with the record's 16 values.
void add_tyre_list(TypedListWriter& out, int number, const TyreRecord& tyre);

// Appends a terrain list of the table's 42 values, one line per value group.
void add_terrain_list(TypedListWriter& out, std::string_view name, const TerrainRecord& terrain);

using TyreLists = std::vector<std::pair<int, TyreRecord>>;
using TerrainLists = std::vector<std::pair<std::string, TerrainRecord>>;

bool write_tyre_file(const std::filesystem::path& path, const TyreLists& tyres, std::string& error);
bool write_terrain_file(const std::filesystem::path& path, const TerrainLists& lists, std::string& error);

// The demo tyres: 0 medium slick, 1 rain, 2 intermediate (the game halves
// its grip in the dry), 3 soft slick, 4 hard slick.
inline constexpr int kDemoTyreCount = 5;
TyreRecord demo_tyre(int number);

// The demo terrain of a circuit (index 0..11 of the season's circuits, any
// other index: an average circuit), dry or wet, and the arcade model's.
TerrainRecord demo_terrain(int circuit, bool rain);
TerrainRecord demo_arcade_terrain(bool rain);

// The season's twelve circuit names, in calendar order.
const std::vector<std::string>& demo_circuit_names();

// Writes "Data/Tyres.dat" and "Data/Terrain.dat" below `root`: the demo
// tyres, and per circuit its dry and "_Rain" lists, then "Arcade" and
// "Arcade_Rain".
bool write_demo_tyre_data(const std::filesystem::path& root, std::string& error);

} // namespace datakit
