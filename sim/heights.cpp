#include "sim/heights.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "app/mixer.h"
#include "platform/byte_reader.h"

namespace {

float profile[kBumpProfileSize] = {};
bool profile_tried = false;

void clear_profile()
{
    for (float& value : profile)
        value = 0.0f;
}

} // namespace

bool LoadBumpProfile(const char* path)
{
    profile_tried = true;
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
    if (!profile_tried)
        LoadBumpProfile();
}

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
