#include "sim/heights.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include "app/mixer.h"
#include "platform/byte_reader.h"
#include "platform/path_resolver.h"

namespace {

constexpr const char* kDefaultProfile = "Data\\Heights.dat";

float profile[kBumpProfileSize] = {};
// The absolute path the profile was loaded (or tried) from.
std::string profile_source;

// The program path as an absolute, normal path under the current folder (as
// written when the current folder cannot be had).
std::string absolute_source(const char* path)
{
    const std::string normal = platform::normalize_program_path(path ? path : "");
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(normal, error);
    return error ? normal : absolute.lexically_normal().string();
}

void clear_profile()
{
    for (float& value : profile)
        value = 0.0f;
}

} // namespace

bool LoadBumpProfile(const char* path)
{
    profile_source = absolute_source(path);
    clear_profile();
    mixer file;
    if (file.open_file(path, "rb") != 0)
        return false;
    std::vector<std::uint8_t> bytes(kBumpProfileBytes);
    const int got = file.read(bytes.data(), kBumpProfileBytes);
    file.close();
    if (got != kBumpProfileBytes) {
        std::fprintf(stderr, "%s: %d bytes, a bump profile needs %d; using a flat one\n", path, got,
                     kBumpProfileBytes);
        return false;
    }
    platform::ByteReader reader(bytes);
    float values[kBumpProfileSize];
    for (float& value : values) {
        value = reader.f32();
        if (!std::isfinite(value)) {
            std::fprintf(stderr, "%s: a bump height is not a number; using a flat profile\n", path);
            return false;
        }
    }
    for (int i = 0; i < kBumpProfileSize; ++i)
        profile[i] = values[i];
    return true;
}

void EnsureBumpProfile()
{
    if (profile_source.empty() || profile_source != absolute_source(kDefaultProfile))
        LoadBumpProfile(kDefaultProfile);
}

const std::string& BumpProfileSource() { return profile_source; }

float BumpHeight(float x)
{
    if (!std::isfinite(x))
        return 0.0f;
    // The profile repeats every 1024 units, so reducing x first changes no
    // result and keeps the index conversion in range for any distance.
    x = std::fmod(x, static_cast<float>(kBumpProfileSize));
    if (x < 0.0f)
        x += static_cast<float>(kBumpProfileSize);
    const int i = static_cast<int>(x);
    const float f = x - static_cast<float>(i);
    return (1.0f - f) * profile[i & (kBumpProfileSize - 1)] + f * profile[(i + 1) & (kBumpProfileSize - 1)];
}

const float* BumpProfile() { return profile; }
