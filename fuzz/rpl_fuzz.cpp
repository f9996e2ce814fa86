// Fuzz target: the input is a ".rpl" replay file, read as the game reads a
// replay chosen in the menus. A file the reader refuses says why; one it
// takes holds what its counts promise. Nothing may crash, overrun or hang.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "input/replay_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    ReplayFileContents file;
    std::string why;
    if (!ParseReplayFile(std::span<const std::uint8_t>(data, size), file, why)) {
        if (why.empty()) __builtin_trap();
        return 0;
    }
    if (file.header.size() != kReplayHeaderBytes) __builtin_trap();
    if (file.humans < 0 || file.humans > kReplayMaxRiders) __builtin_trap();
    if (file.players.size() != static_cast<std::size_t>(file.humans) * kReplayPlayerBytes) __builtin_trap();
    if (file.records.size() != static_cast<std::size_t>(file.frames) * ReplayRecordBytes(file.humans)) __builtin_trap();
    if (ReplayTrackName(file.header).empty()) __builtin_trap();
    return 0;
}
