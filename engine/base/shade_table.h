#pragma once

#include <cstddef>
#include <cstdint>

// The software rasteriser's shade table: the colour to write for a texel of
// colour index c at light level L is entry L x 256 + c. In the 8-bit modes an
// entry holds the palette index in its low bytes; in the software 16-bit
// mode it holds the 16-bit colour in both halves.
inline constexpr std::size_t shade_table_entries = 65536;
inline constexpr std::size_t shade_table_file_bytes = shade_table_entries * 4;
extern std::uint32_t shade_table[shade_table_entries];

// Blend pages the material code has made since the last shade table load
// (0 to 15); loading a table starts them again from 0.
extern int shade_slot_counter;

// Loads the table that belongs to a palette file: `name` is the palette's
// program path ("menu\3d\podium.pal") and the table is read from that path
// followed by ".SHD", 65536 little-endian 32-bit entries. In the software
// 16-bit mode (render_facts) each entry e becomes c << 16 | c, c being the
// renderer's 16-bit colour of palette index e & 255.
//
// A missing or unreadable file, or one of another size, is fatal: a box
// captioned "error" names the file, and the program ends with exit status 1.
void load_shade_table(const char* name);
