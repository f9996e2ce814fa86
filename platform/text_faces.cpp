#include "platform/text_faces.h"

#include "platform/directory_listing.h"

namespace platform {

namespace {

struct FaceFamily {
    std::string_view face;
    std::string_view family;
};

constexpr std::string_view kSans = "LiberationSans";

constexpr FaceFamily kFaces[] = {
    {"Arial", kSans},
    {"Helvetica", kSans},
    {"MS Sans Serif", kSans},
    {"Tahoma", kSans},
    {"Verdana", kSans},
    {"Arial Narrow", "LiberationSansNarrow"},
    {"Courier New", "LiberationMono"},
    {"Courier", "LiberationMono"},
    {"Lucida Console", "LiberationMono"},
    {"Times New Roman", "LiberationSerif"},
    {"Times", "LiberationSerif"},
};

} // namespace

std::string_view liberation_family(std::string_view face)
{
    for (const FaceFamily& f : kFaces)
        if (equals_ignoring_case(f.face, face))
            return f.family;
    return kSans;
}

std::string liberation_file_name(std::string_view family, bool bold, bool italic)
{
    const char* variant = bold ? (italic ? "-BoldItalic" : "-Bold") : (italic ? "-Italic" : "-Regular");
    return std::string(family) + variant + ".ttf";
}

std::filesystem::path liberation_font_path(std::string_view file_name)
{
    return std::filesystem::path("/usr/share/fonts/truetype/liberation") / file_name;
}

} // namespace platform
