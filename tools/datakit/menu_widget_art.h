#pragma once

#include <filesystem>
#include <string>

namespace datakit {

// The tick mark the menus draw under a horizontal scroll bar, one per step
// of its range: "ssprites/slidbar.pcx" in the menu folder (the game names
// it "ssprites\slidbar.pcx"), a picture of 2 x 3 pixels in the demo
// palette, bright at the top and fading down. Written atomically; false,
// with `error`, on failure.
bool write_scroll_tick_picture(const std::filesystem::path& menu_folder, std::string& error);

} // namespace datakit
