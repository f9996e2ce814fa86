#pragma once

#include <cstdint>

// The fog table and depth scale shared by the renderer's polygon batches:
// entry i is the fog factor of fog index i in the top byte (255 no fog, 0
// all fog colour), the alpha of a vertex's specular colour. The depth scale
// turns a view depth into the 0..1 depth the device takes. Both are made by
// render_device::make_fog_table.
inline constexpr int kFogEntries = 256;
extern std::uint32_t fog_table[kFogEntries];
extern float fog_depth_scale;

// Fills the table and depth scale for fog of `density` from `start` to
// `end` (view depths): depth scale = 1 / (end - 320); the first
// |(start - 200) x depth scale| x 255 entries carry no fog; from there entry
// n + i has the factor 255 + trunc(k e^(-density i / 255) - k), k = 255 /
// e^(-density), held to 0..255. When end - 320 is 0 (the depth scale would
// divide by zero) or a figure is not finite, the depth scale is 0 and the
// whole table is fog-free.
void build_fog_table(float density, float start, float end);

// The fog the renderer's construction builds: depth scale -1/1320, 57
// fog-free entries, full fog from entry 205.
inline constexpr float kDefaultFogDensity = 0.9f;
inline constexpr float kDefaultFogStart = -100.0f;
inline constexpr float kDefaultFogEnd = -1000.0f;
