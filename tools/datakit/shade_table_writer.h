#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/datakit/palette_writer.h"

namespace datakit {

// Shade tables (".SHD"): 65536 little-endian 32-bit entries, entry
// L x 256 + c being the palette index to draw for colour index c at light
// level L, held in every byte of the entry (the rasteriser writes the low two
// bytes to a pixel pair). A table belongs to a palette and is named after the
// palette file with ".SHD" appended ("podium.pal.SHD").
//
// Light levels: 0 is black, 128 the colour itself, 255 nearly white; levels
// between are blended linearly (toward black below 128, toward white above),
// and each entry is the nearest palette colour (squared distance over the
// 8-bit components, the lowest index on a tie).
inline constexpr std::size_t shade_table_levels = 256;
inline constexpr std::size_t shade_table_entry_count = 65536;

std::vector<std::uint32_t> compute_shade_table(const Palette& palette);

// The file's bytes. Throws std::invalid_argument unless there are 65536
// entries.
std::vector<std::uint8_t> shade_table_bytes(const std::vector<std::uint32_t>& table);

bool write_shade_table(const std::filesystem::path& path, const std::vector<std::uint32_t>& table,
                       std::string& error);

// Writes a palette file and, beside it, its shade table (the palette path
// with ".SHD" appended).
bool write_palette_with_shade_table(const std::filesystem::path& palette_path, const Palette& palette,
                                    std::string& error);

// The demo data's palettes below `root`: "Gfx/palette.pal" (the palette of the
// 3D device's palettised mode) and "menu/3d/podium.pal" with its shade table
// "menu/3d/podium.pal.SHD" (the 3D menu scenes on the software rasteriser).
bool write_demo_palettes(const std::filesystem::path& root, std::string& error);

} // namespace datakit
