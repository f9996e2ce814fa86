#pragma once

#include <string>

// The bump profile: 1024 small height values shared by every track
// ("Data\Heights.dat", 1024 little-endian f32), sampled along a wheel's
// travel to give the ground a fine texture. All zero until loaded, and when
// the file is missing or too short.

inline constexpr int kBumpProfileSize = 1024;
inline constexpr int kBumpProfileBytes = kBumpProfileSize * 4;

// Loads the profile from "Data\Heights.dat" (or `path`). False, with the
// profile all zero, when the file is missing or holds fewer than 4096 bytes.
// The profile remembers the file it came from (or was tried from), by its
// absolute path.
bool LoadBumpProfile(const char* path = "Data\\Heights.dat");

// The profile belongs to the data folder: this loads "Data\Heights.dat"
// unless the profile already came from that file under the current folder
// (every Track constructed calls it), so a program that runs from another
// folder (another data set) gets that folder's profile, and a folder
// without the file a flat one.
void EnsureBumpProfile();

// The absolute path of the file the profile was last loaded (or tried)
// from; empty before the first load.
const std::string& BumpProfileSource();

// The profile blended linearly between entries; period 1024:
// (1 - f) x profile[i & 1023] + f x profile[(i + 1) & 1023], i = trunc(x).
float BumpHeight(float x);

// The 1024 entries.
const float* BumpProfile();
