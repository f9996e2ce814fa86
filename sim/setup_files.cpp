#include "sim/setup_files.h"

#include <algorithm>

#include "platform/byte_reader.h"
#include "platform/byte_writer.h"
#include "platform/file.h"
#include "sim/bike_parameters.h"

std::string PlayerSetupFileName(std::string_view trackName)
{
    const std::size_t end = std::min(trackName.find('\0'), trackName.size());
    return std::string(trackName.substr(0, end)) + ".set";
}

std::vector<std::uint8_t> SetupFileBytes(const BikeSetup& setup)
{
    std::vector<std::uint8_t> bytes;
    bytes.reserve(kBikeSetupBytes);
    platform::ByteWriter out(bytes);
    WriteBikeSetup(out, setup);
    return bytes;
}

bool WriteSetupFile(std::string_view path, const BikeSetup& setup, std::string* error)
{
    return platform::write_whole_file(path, SetupFileBytes(setup), error);
}

bool ParseSetupFile(std::span<const std::uint8_t> bytes, int gearCount, BikeSetup* out, std::string* error)
{
    if (bytes.size() != kBikeSetupBytes) {
        if (error)
            *error = "a set-up file holds " + std::to_string(kBikeSetupBytes) + " bytes, not " +
                     std::to_string(bytes.size());
        return false;
    }
    platform::ByteReader in(bytes);
    BikeSetup setup;
    if (!ReadBikeSetup(in, &setup)) {
        if (error)
            *error = "the set-up cannot be read";
        return false;
    }
    if (const char* bad = FindBadBikeSetupValue(setup, gearCount)) {
        if (error)
            *error = std::string("bad ") + bad + " in the set-up";
        return false;
    }
    *out = setup;
    return true;
}

bool ReadSetupFileChecked(std::string_view path, int gearCount, BikeSetup* out, std::string* error)
{
    std::vector<std::uint8_t> bytes;
    if (!platform::read_whole_file(path, bytes, error))
        return false;
    return ParseSetupFile(bytes, gearCount, out, error);
}
