#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

// The program's own resources, compiled in: its string table and its
// version.
namespace platform {

// String resource ids.
inline constexpr unsigned IDS_APP_TITLE = 1; // "Torvane", the main window's title

// The string of that id; none for an id the program does not have.
std::optional<std::string> load_string(unsigned id);

// The program's version as two words: ms = major << 16 | minor,
// ls = patch << 16 | build. False when the version is not available (the
// VersionInfo fault).
bool program_version(std::uint32_t& ms, std::uint32_t& ls);

// The program's fixed version block of 13 words, in this order: signature
// 0xFEEF04BD, structure version 0x00010000, file version ms and ls, product
// version ms and ls, flags mask 0x3F, flags 0, operating system 0x00040004,
// file type 1 (an application), subtype 0, date ms and ls 0.
using VersionBlock = std::array<std::uint32_t, 13>;
bool program_version_block(VersionBlock& block);

} // namespace platform
