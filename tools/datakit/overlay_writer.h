#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tools/datakit/typed_list_writer.h"

namespace datakit {

// A font record of an overlay file: the font's sheet in "Gfx/Fonts" and its
// grid, as the demo fonts are cut.
struct OverlayFontSpec {
    std::string file;
    int cell_width = 0, cell_height = 0, across = 16, count = 0, first = 33;
    int space = 6, spacing = 1;
    int gap_drawer = 0;
};

// The overlay file "Data/OP<width><h|s>.dat" for a screen `width` pixels
// wide (height: 200 at 320, else three quarters of the width):
// - "FLAGS" (the sheet "Flags.pcx", six flags) and one start-light list for
//   each demo circuit ("Light/Lights.pcx": red, ready, green);
// - "NUM_FONTS" and "FONTS" (`fonts`, five records);
// - the session lists ("PRACTICE", "FREE_PRACTICE", "QUALIFY",
//   "CHAMPIONSHIP", "SINGLE_RACE", each also with "_ARCADE" and
//   "_MULTIPLAYER" and both), 19 element names each;
// - every element's "_DBOX", "_NUM", "_SPRITE" and "_TEXT": lap, position,
//   times and speed on board; the camera's name; the pause, race, results
//   and confirmation menus (buttons "Button.pcx", entries selected with the
//   arrow keys); the start sequence's four riders a page ("Riders.pcx");
//   the finish standings; the arcade, gap, wrong-way, engine and session
//   messages.
std::string overlay_file_text(int width, const std::vector<OverlayFontSpec>& fonts);

// "data/trad.dat": the list "TRAD" of the menu words' translations.
std::string translation_file_text();

// The five font records the demo overlay uses (from the demo fonts' grids):
// 0 "Small.pcx", 1 "Race.pcx" (0's highlighted rows), 2 "Menu.pcx",
// 3 "Race.pcx", 4 "Small.pcx" (the camera editor's read-outs).
bool demo_overlay_fonts(std::vector<OverlayFontSpec>& fonts, std::string& error);

// Writes the overlay files for 320, 640, 800 and 1024 pixels, software
// ('s') and hardware ('h'), their sheets in "Gfx/Cockpit" (flags, start
// lights, pointers "mouse.pcx" and "lmouse.pcx", buttons, riders, tracks)
// and "data/trad.dat". After the demo fonts.
bool write_demo_overlay(const std::filesystem::path& root, std::string& error);

} // namespace datakit
