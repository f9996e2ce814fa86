#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/datakit/pcx_writer.h"

namespace datakit {

// A kerning pair of a bitmap font: two characters and the extra advance
// in pixels.
struct FontPair {
    std::uint8_t first = 0, second = 0;
    int adjust = 0;
};

// A bitmap font as the game's font loader takes it: a sheet of equal
// cells, `across` to a row, for the characters from `first_char` on, with
// its kerning pairs.
struct BitmapFont {
    PcxPicture sheet;
    int cell_width = 0, cell_height = 0;
    int across = 16;
    int first_char = 33;
    int count = 0;
    std::vector<FontPair> pairs;
};

// The ".cfg" text: one pair to a line, the two characters and the
// adjustment, after a comment line.
std::string font_cfg_text(const std::vector<FontPair>& pairs);
// The ".cfb" bytes: the count, the keys (first << 8 | second) ascending
// with a closing 0, the adjustments, and per first character the index of
// its first pair (-1: none).
std::vector<std::uint8_t> font_cfb_bytes(const std::vector<FontPair>& pairs);

struct FontStyle {
    std::string ttf_file;            // a TrueType font
    int point_size = 16;
    std::uint8_t red = 255, green = 255, blue = 255;
};

// Renders the printable characters 33..126 of a TrueType font through
// SDL_ttf into a bitmap font: each glyph's coverage becomes one of 15
// shades of the style's colour over a transparent 0 (palette entries 1..15
// ramp from a quarter of the colour to the full colour), and the font's
// own kerning gives the pairs. False, with `error`, when the font cannot
// be opened or rendered.
bool render_bitmap_font(const FontStyle& style, BitmapFont& out, std::string& error);

// Writes "<base>.pcx" and "<base>.cfg" (atomically).
bool write_bitmap_font(const std::filesystem::path& base, const BitmapFont& font, std::string& error);

// The demo fonts in "<root>/Gfx/Fonts": "Menu.pcx" (white, sans bold),
// "Small.pcx" (light grey, sans) and "Race.pcx" (yellow, sans bold), each
// with its ".cfg".
bool write_demo_fonts(const std::filesystem::path& root, std::string& error);

} // namespace datakit
