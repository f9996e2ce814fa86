#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "tools/datakit/text_file_builder.h"

namespace datakit {

// The form's own properties, written in the order the reader asks for them.
// A property left empty (std::nullopt-like flags below) is left out.
struct FormProperties {
    std::string name;                 // the form name (third word of "Begin form <name>")
    bool has_back_color = true;
    std::uint32_t back_color = 0;     // 0xBBGGRR
    std::string background;           // picture name; empty: left out
    bool has_fore_color = true;
    std::uint32_t fore_color = 0xFFFFFF;
    bool has_scale_height = true;
    std::int32_t scale_height = 480;
    bool has_scale_left = true;
    std::int32_t scale_left = 0;
    bool has_scale_top = true;
    std::int32_t scale_top = 0;
    bool has_scale_width = true;
    std::int32_t scale_width = 640;
};

// Writes menu screen files and their defaults files. A screen file starts
// with the header "tvnmenu" and a version, then the block "Begin form <name>"
// with the form's keys; blocks ("Begin <type> <name>" ... "end") nest and hold
// lines "Key = value". A defaults file holds blocks only.
class FormFileWriter : public TextFileBuilder {
public:
    // A screen file: writes the header line "tvnmenu <version>".
    static FormFileWriter screen(std::string_view version = "1.0", LineEnd line_end = LineEnd::CrLf);
    // A defaults file: no header.
    static FormFileWriter defaults(LineEnd line_end = LineEnd::CrLf);

    // "Begin form <name>" and the form's keys; the block stays open (end()).
    FormFileWriter& form(const FormProperties& properties);

    FormFileWriter& begin(std::string_view type, std::string_view name);
    FormFileWriter& end();

    FormFileWriter& key(std::string_view name, std::string_view value);
    FormFileWriter& key(std::string_view name, std::int32_t value);
    FormFileWriter& key(std::string_view name, float value);
    FormFileWriter& key_bool(std::string_view name, bool value);   // 1 or 0
    FormFileWriter& key_color(std::string_view name, std::uint32_t bgr);
    FormFileWriter& key3(std::string_view name, std::int32_t a, std::int32_t b, std::int32_t c);
    FormFileWriter& key3(std::string_view name, float a, float b, float c);
    FormFileWriter& comment(std::string_view text); // "# text"

    // Nesting depth of open blocks.
    int depth() const { return depth_; }

private:
    explicit FormFileWriter(LineEnd line_end) : TextFileBuilder(line_end) {}
    std::string indent() const { return std::string(static_cast<std::size_t>(depth_) * 4, ' '); }

    int depth_ = 0;
};

// The colour text of a value: "&H00" and the six digits of 0xBBGGRR, then "&".
std::string color_text(std::uint32_t bgr);

// The defaults file of a screen file: the extension's first letter becomes
// 'p' (".dat" gives ".pat").
std::filesystem::path defaults_file_path(const std::filesystem::path& screen_file);

} // namespace datakit
