#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sim/bike_setup.h"

// ".set" files: exactly one BikeSetup, 108 bytes (27 little-endian words),
// written and read field by field. The race reads the track's default
// "Data\Settings\<track>.set"; a qualifying session keeps the player's
// set-up as "<track>.set" in the working folder.

// "<track>.set", the name a qualifying session saves the player's set-up
// under (the track name up to its terminator).
std::string PlayerSetupFileName(std::string_view trackName);

// The 108 bytes of a set-up file.
std::vector<std::uint8_t> SetupFileBytes(const BikeSetup& setup);

// Writes a set-up file (temporary file, then rename). False, with `error`
// saying why, when it cannot be written; an old file is then left as it was.
bool WriteSetupFile(std::string_view path, const BikeSetup& setup, std::string* error = nullptr);

// Takes a set-up from the bytes of a file: false, with `error` saying why and
// *out untouched, unless they are exactly 108 bytes and every value is one
// the simulation can use with `gearCount` gears (FindBadBikeSetupValue).
bool ParseSetupFile(std::span<const std::uint8_t> bytes, int gearCount, BikeSetup* out,
                    std::string* error = nullptr);
bool ReadSetupFileChecked(std::string_view path, int gearCount, BikeSetup* out, std::string* error = nullptr);
