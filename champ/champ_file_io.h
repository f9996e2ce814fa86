#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Whole-file reads and writes of the championship and records files.

// Writes the whole file through a temporary file that is renamed over it,
// creating the file's folder when it is missing. On failure the old file is
// left as it was and `error` says why. An armed platform::Fault::FileOpen
// makes the write fail after the temporary file is written and before the
// rename, as a crash at that moment would.
bool SaveWholeFile(std::string_view programPath, const std::vector<std::uint8_t>& bytes, std::string& error);

enum class LoadOutcome {
    Loaded,
    Missing,   // there is no such file
    Failed,    // the file is there but cannot be read
};
LoadOutcome LoadWholeFile(std::string_view programPath, std::vector<std::uint8_t>& bytes, std::string& error);

// Tells the player that a file was refused and is kept as it is (message box
// captioned "Error").
void ReportRefusedFile(std::string_view programPath, std::string_view what, std::string_view reason);
