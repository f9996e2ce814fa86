#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/datakit/word_file_writer.h"

namespace datakit {

// A menu set file: the menu folder, the start state, the screens loaded at
// once, the screen names (their order gives the screen indices), the
// state-to-screen pairs (a screen of -1: a state without screen, where a
// run ends), the transitions and the menu's samples; and, when the file is
// also its folder's "menu.dat", the fonts and sprite strips put into the
// caches when the set loads.
struct MenuSet {
    struct StateScreen {
        std::int32_t state = 0, screen = -1;
    };
    struct Transition {
        std::int32_t state = 0, command = 0, next = 0;
    };
    struct PreloadAnim {
        std::string name;
        std::int32_t frame_width = 0, frame_height = 0;
    };

    std::string path = ".\\menu";                  // "PATH"
    std::int32_t init_state = 0;                   // "INITSTATE"
    std::vector<std::int32_t> preload;             // "PRELOAD" (left out when empty)
    std::vector<std::string> screens;              // "SCREEN"
    std::vector<StateScreen> states;               // "SO"
    std::vector<Transition> transitions;           // "SIS"
    std::vector<std::string> sfx;                  // "SFX" (left out when empty)
    std::vector<std::string> preload_fonts;        // "PRELOADFONT" (left out when empty)
    std::vector<PreloadAnim> preload_anims;        // "PRELOADANIM" (left out when empty)

    // The index of a screen name in `screens` (the first), or -1.
    std::int32_t screen_index(const std::string& name) const;
};

// The file's words: each section "begin <key>" and its words, one pair or
// triple to a line, in the order of the fields above.
WordFileWriter menu_set_file(const MenuSet& set);

// Writes the file (atomically). False with `error` on failure.
bool write_menu_set(const std::filesystem::path& path, const MenuSet& set, std::string& error);

} // namespace datakit
