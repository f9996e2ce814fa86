#include "tools/datakit/form_file_writer.h"

#include <cstdio>

namespace datakit {

namespace {

void check_word(std::string_view word)
{
    require_word(word, "a menu screen file");
}

} // namespace

FormFileWriter FormFileWriter::screen(std::string_view version, LineEnd line_end)
{
    check_word(version);
    FormFileWriter writer(line_end);
    writer.add_line("tvnmenu " + std::string(version));
    return writer;
}

FormFileWriter FormFileWriter::defaults(LineEnd line_end)
{
    return FormFileWriter(line_end);
}

FormFileWriter& FormFileWriter::form(const FormProperties& p)
{
    begin("form", p.name);
    if (p.has_back_color) key_color("BackColor", p.back_color);
    if (!p.background.empty()) key("BackGround", p.background);
    if (p.has_fore_color) key_color("ForeColor", p.fore_color);
    if (p.has_scale_height) key("ScaleHeight", p.scale_height);
    if (p.has_scale_left) key("ScaleLeft", p.scale_left);
    if (p.has_scale_top) key("ScaleTop", p.scale_top);
    if (p.has_scale_width) key("ScaleWidth", p.scale_width);
    return *this;
}

FormFileWriter& FormFileWriter::begin(std::string_view type, std::string_view name)
{
    check_word(type);
    check_word(name);
    add_line(indent() + "Begin " + std::string(type) + " " + std::string(name));
    ++depth_;
    return *this;
}

FormFileWriter& FormFileWriter::end()
{
    if (depth_ > 0) --depth_;
    add_line(indent() + "end");
    return *this;
}

FormFileWriter& FormFileWriter::key(std::string_view name, std::string_view value)
{
    check_word(name);
    check_word(value);
    add_line(indent() + std::string(name) + " = " + std::string(value));
    return *this;
}

FormFileWriter& FormFileWriter::key(std::string_view name, std::int32_t value)
{
    return key(name, std::string_view(std::to_string(value)));
}

FormFileWriter& FormFileWriter::key(std::string_view name, float value)
{
    return key(name, std::string_view(format_float(value)));
}

FormFileWriter& FormFileWriter::key_bool(std::string_view name, bool value)
{
    return key(name, std::int32_t{value ? 1 : 0});
}

FormFileWriter& FormFileWriter::key_color(std::string_view name, std::uint32_t bgr)
{
    return key(name, std::string_view(color_text(bgr)));
}

FormFileWriter& FormFileWriter::key3(std::string_view name, std::int32_t a, std::int32_t b, std::int32_t c)
{
    check_word(name);
    add_line(indent() + std::string(name) + " = " + std::to_string(a) + " " + std::to_string(b) + " " +
             std::to_string(c));
    return *this;
}

FormFileWriter& FormFileWriter::key3(std::string_view name, float a, float b, float c)
{
    check_word(name);
    add_line(indent() + std::string(name) + " = " + format_float(a) + " " + format_float(b) + " " +
             format_float(c));
    return *this;
}

FormFileWriter& FormFileWriter::comment(std::string_view text)
{
    add_line(indent() + "# " + std::string(text));
    return *this;
}

std::string color_text(std::uint32_t bgr)
{
    char text[16];
    std::snprintf(text, sizeof text, "&H00%06X&", static_cast<unsigned>(bgr & 0xFFFFFFu));
    return text;
}

std::filesystem::path defaults_file_path(const std::filesystem::path& screen_file)
{
    std::filesystem::path result = screen_file;
    std::string extension = screen_file.extension().string(); // ".dat"
    if (extension.size() >= 2) {
        extension[1] = 'p';
        result.replace_extension(extension);
    }
    return result;
}

} // namespace datakit
