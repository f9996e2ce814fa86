#pragma once

#include <cstdint>

// The blend tables of colour-keyed 8-bit frames (pixel type 9) in the
// software path: for a frame's colour, 16 levels of every palette colour
// blended toward it, each mapped back to the nearest palette index. They
// are program-wide: at most 16 tables, found again by the colour's key
// (colour & 0xF0F0F0).

inline constexpr int blend_table_count = 16;
inline constexpr int blend_table_levels = 16;

// The number of the table for `colour` (0xRRGGBB): the table of the same
// key when there is one; otherwise a new one built in the next free slot
// (once 15 tables exist, the 16th slot is rebuilt for every new key).
// Level k of palette colour p is the index nearest (by squared RGB distance,
// the first of equals) to p (1 - k/16) + colour k/16, stored as index |
// index << 8. `palette` holds the 256 palette colours as red, green, blue.
int blend_table_for(std::uint32_t colour, const std::uint8_t palette[256][3]);

// The 16 x 256 entries of table `number` (level-major), or null for a
// number that holds no table.
const std::uint16_t* blend_table(int number);

// Forgets every table.
void blend_tables_reset();
