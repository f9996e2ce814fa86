#pragma once

#include <string_view>

// Whether a file the menus name is there: on disk, or else as an entry of
// the archive its path leads to.
bool MenuFileOnDisk(std::string_view path);
bool MenuFileInArchive(std::string_view path);
bool MenuFileExists(std::string_view path);
