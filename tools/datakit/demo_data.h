#pragma once

#include <filesystem>
#include <string>

namespace datakit {

// Writes the whole demo data set into `root` ("Data", "Gfx", "Sfx", "menu"
// and the archives beside them). Returns false and sets `error` on failure.
bool make_demo_data(const std::filesystem::path& root, std::string& error);

} // namespace datakit
