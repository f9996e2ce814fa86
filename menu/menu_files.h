#pragma once

#include <string_view>

// Whether a file the menus name is there: on disk, or else as an entry of
// the archive its path leads to.
bool MenuFileOnDisk(std::string_view path);
bool MenuFileInArchive(std::string_view path);
bool MenuFileExists(std::string_view path);

#include <string>

// The process's working folder, as a native path; false when it cannot be
// read.
bool CurrentFolder(std::string& folder);
// Makes a folder the working one: a program path (resolved like every
// path the program names) or a native path taken from CurrentFolder. False
// when it is not there.
bool EnterFolder(std::string_view folder);
