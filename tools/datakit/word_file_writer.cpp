#include "tools/datakit/word_file_writer.h"

#include <cstdio>

namespace datakit {

namespace {

void check_word(std::string_view word)
{
    require_word(word, "a word file");
}

} // namespace

WordFileWriter& WordFileWriter::comment(std::string_view text)
{
    add_line("# " + std::string(text));
    return *this;
}

WordFileWriter& WordFileWriter::section(std::string_view name)
{
    check_word(name);
    add_line("[" + std::string(name) + "]");
    return *this;
}

WordFileWriter& WordFileWriter::end_sections()
{
    add_line("[end]");
    return *this;
}

WordFileWriter& WordFileWriter::begin(std::string_view name)
{
    check_word(name);
    add_line("begin " + std::string(name));
    return *this;
}

WordFileWriter& WordFileWriter::line(std::initializer_list<std::string_view> words)
{
    std::string text;
    for (std::string_view word : words) {
        check_word(word);
        if (!text.empty()) text += ' ';
        text += word;
    }
    add_line(std::move(text));
    return *this;
}

WordFileWriter& WordFileWriter::word(std::string_view word)
{
    check_word(word);
    add_line(std::string(word));
    return *this;
}

WordFileWriter& WordFileWriter::word(std::int32_t value)
{
    add_line(std::to_string(value));
    return *this;
}

WordFileWriter& WordFileWriter::word(float value)
{
    add_line(format_float(value));
    return *this;
}

WordFileWriter& WordFileWriter::time(std::int32_t minutes, std::int32_t seconds, std::int32_t hundredths)
{
    char text[48];
    std::snprintf(text, sizeof text, "%d:%02d:%02d", static_cast<int>(minutes), static_cast<int>(seconds),
                  static_cast<int>(hundredths));
    add_line(text);
    return *this;
}

} // namespace datakit
