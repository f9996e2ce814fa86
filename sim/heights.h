#pragma once

// The bump profile: 1024 small height values shared by every track
// ("Data\Heights.dat", 1024 little-endian f32), sampled along a wheel's
// travel to give the ground a fine texture. All zero until loaded, and when
// the file is missing or too short.

inline constexpr int kBumpProfileSize = 1024;
inline constexpr int kBumpProfileBytes = kBumpProfileSize * 4;

// Loads the profile from "Data\Heights.dat" (or `path`). False, with the
// profile all zero, when the file is missing or holds fewer than 4096 bytes.
bool LoadBumpProfile(const char* path = "Data\\Heights.dat");

// Loads the profile the first time it is called in the program; later calls
// do nothing (the first Track constructed calls it).
void EnsureBumpProfile();

// The profile blended linearly between entries; period 1024:
// (1 - f) x profile[i & 1023] + f x profile[(i + 1) & 1023], i = trunc(x).
float BumpHeight(float x);

// The 1024 entries.
const float* BumpProfile();
