#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "app/mixer.h"

// Reading a ".mix" archive's directory from its bytes. Everything in it comes
// from the file, so every number is checked against the archive before it is
// used for a seek or an allocation.

// True when the directory size D read from the last 4 bytes can be right for
// an archive of `archive_size` bytes: a whole number of 32-byte entries that
// fits before those 4 bytes.
bool MixDirectorySizeValid(std::uint32_t directory_size, std::int64_t archive_size);

// Unscrambles one 32-byte directory record. False when the name has no
// terminator inside its 16 bytes.
bool DecodeMixDirEntry(const std::uint8_t* record, MixDirEntry& out);

// The most plain bytes an LZW stream of `packed_size` bytes can expand to:
// every code is at least 9 bits and the j-th code of a stream names a string
// of at most j + 2 bytes (3840 once the table is full).
std::uint64_t MaxLzwOutput(std::uint64_t packed_size);

// True when the entry's stored bytes lie inside the data area [0, data_end),
// its size fits a 32-bit position and, when compressed, its packed bytes can
// expand to its size.
bool MixEntryPlausible(const MixDirEntry& entry, std::int64_t data_end);

enum class MixLookup { Found, NotFound, Damaged };

// Scans the directory (the D bytes before the last 4) for the entry whose
// name equals `name` without regard to case; the first match wins and an
// empty name ends the directory. Every entry up to that end is checked, so a
// damaged archive is refused whichever entry is asked for.
MixLookup FindMixEntry(std::span<const std::uint8_t> directory, std::int64_t data_end, std::string_view name,
                       MixDirEntry& found);
