#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/model/anm_reader.h"

namespace datakit {

// A chunk header the writer put in the file: its tag (0 for a terminator or
// a curve's header) and where it starts. Tests cut and damage files there.
struct AnmChunkMark {
    std::uint32_t tag = 0;
    std::size_t position = 0;
};

// The bytes of an ".ANM" animation library holding the animations in
// order, laid out as the game's reader expects (engine/model/anm_format.h,
// docs/engine-model.md): the header and directory, then per animation its
// "PTHL" chunk (when it has paths), its "OBJL" chunk with every object's
// curves (a 12-byte header before each), "LATL" and "CLSL" chunks and a
// terminator chunk, then its "LIGL" chunk or a terminator. Pointer and
// state slots are written as zeros; a lattice is written whenever the object
// has lattice shapes, whether or not a curve animates it. `marks`, when
// given, receives every chunk header written.
std::vector<std::uint8_t> anm_bytes(const std::vector<anm_animation>& animations,
                                    std::vector<AnmChunkMark>* marks = nullptr);

// Writes the library (atomically). False and `error` on failure.
bool write_anm(const std::filesystem::path& path, const std::vector<anm_animation>& animations, std::string& error);

// The demo animation libraries, one animation for every name of the demo
// animation sets (rider_state_writer.h): "Gfx/Bikes/Bikes.anm" holds the
// bike's falls (the object "BIKE" tipping to one side or the other) and
// "Gfx/Bikes/Riders.anm" one animation per rider record (the object "RIDER"
// swaying, over the record's frames at 18 a second; records that are not
// timed take one second and cycle). Key times are in seconds.
std::vector<anm_animation> demo_bike_anm();
std::vector<anm_animation> demo_rider_anm();
bool write_demo_animation_libraries(const std::filesystem::path& root, std::string& error);

} // namespace datakit
