#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {
class File;
}

// The menus' state files: 32-bit little-endian words, read back in the
// order written. A short read throws "menu state file too short", a failed
// write "menu save state file error".
void WriteStateWord(platform::File& file, std::int32_t value);
std::int32_t ReadStateWord(platform::File& file);
void WriteStateBytes(platform::File& file, const void* bytes, std::size_t count);
void ReadStateBytes(platform::File& file, void* bytes, std::size_t count);
