#pragma once

#include <filesystem>
#include <string>

namespace datakit {

// The pictures of the demo menus (tools/datakit/demo_menus.h), painted
// procedurally: in "<root>/menu/art" the backgrounds of the main menu and
// the arcade track screen, the title card, the dialogue panel, the buttons'
// looks ("btn", "sbtn", "dbtn", "tbtn": frame 0 up, 1 selected, 2 pressed,
// 3 disabled) and the strip of
// the twelve circuits ("trk00".."trk11", each circuit's loading picture
// framed, with its name and round); the pointer "menu/mouse.pcx"; the
// start-up cover "Gfx/Loading/cover.pcx"; and in "menu/fonts" the menus'
// copy of the menu font with its ".mfg" words and its selected and
// disabled looks. Over the demo fonts and loading pictures.
bool write_demo_menu_pictures(const std::filesystem::path& root, std::string& error);

// The background of a menu screen: a darkened dusk scene with the heading
// at the top, a panel behind the screen's controls (none when its width is
// 0) and a line of key hints at the foot (y 444 on).
struct ScreenLook {
    std::string heading;
    std::string hint;
    int panel_left = 0, panel_top = 0, panel_width = 0, panel_height = 0;
};
bool write_screen_background(const std::filesystem::path& file, const ScreenLook& look, std::string& error);

// The small pictures the plain screens show until their own come: a dot
// ("dot0.pcx"), the taken-rider sign ("no0.pcx", 48 x 48) and the five
// teams' plates ("logo0".."logo4", 96 x 24), in the menus' "art" folder.
bool write_plain_sprites(const std::filesystem::path& art, std::string& error);

// Names as the screens give them, relative to the menu folder (the working
// folder while screens load). A game font's name is cut at its first '.' to
// find its ".mfg" and its looks, so the menu font cannot be named with
// "..": the menus have their own copy of it.
inline constexpr const char* kDemoMenuFont = "fonts\\Menu.pcx";
// The tables' font: the menu font's face in a light ink, its current row
// (the "_" look) in gold.
inline constexpr const char* kDemoTableFont = "fonts\\Table.pcx";
inline constexpr const char* kDemoTrackStrip = "art\\trk";
inline constexpr int kDemoTrackWidth = 320, kDemoTrackHeight = 240;

} // namespace datakit
