#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace datakit {

// Writes ".rpl" input replay files (the game's layout, docs/replays.md): the
// 180-byte race header, 188 bytes per human player, the length, the record
// count and the records (a time step, then six control bytes per human).
struct ReplayFileWriter {
    int riders = 4;
    int humans = 1;
    std::string track = "Misano";
    std::uint32_t race_flags = 0;
    int laps = 3;
    int skill = 2;
    int weather = 0;
    int session = 4;
    float length = 0.0f;
    // Per record: its time step; every human's controls are a throttle of
    // the record's number (mod 128), the rest 0.
    std::vector<float> steps;

    std::vector<std::uint8_t> build() const;
};

} // namespace datakit
