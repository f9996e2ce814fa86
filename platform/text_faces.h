#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// Which installed TrueType font draws a face the screen files name. The
// Liberation fonts have the metrics of the common Windows faces, so a text
// measured in one fits where the other was measured.
namespace platform {

// The Liberation family of a face name, compared ignoring case: "Arial",
// "Helvetica", "MS Sans Serif", "Tahoma" and "Verdana" -> "LiberationSans";
// "Arial Narrow" -> "LiberationSansNarrow"; "Courier New", "Courier" and
// "Lucida Console" -> "LiberationMono"; "Times New Roman" and "Times" ->
// "LiberationSerif"; any other name -> "LiberationSans".
std::string_view liberation_family(std::string_view face);

// The file name of a family's variant: "LiberationSans-Regular.ttf",
// "-Bold", "-Italic" or "-BoldItalic".
std::string liberation_file_name(std::string_view family, bool bold, bool italic);

// Where a Liberation font file is installed.
std::filesystem::path liberation_font_path(std::string_view file_name);

} // namespace platform
