#pragma once

#include <filesystem>
#include <string>

namespace datakit {

// The menus' 3D data under "<root>/menu": the carousel files (menu/3d/
// bikes.ole, riders.ole), the eighteen podium scenes and the videos.
bool write_demo_menu_3d(const std::filesystem::path& root, std::string& error);

} // namespace datakit
