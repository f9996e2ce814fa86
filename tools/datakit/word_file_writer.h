#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "tools/datakit/text_file_builder.h"

namespace datakit {

// Writes the menu system's word files: words separated by blanks and line
// ends, '#' comment lines, "[name]" sections closed by "[end]", and "begin"
// blocks ("begin" and the block name, then the block's words up to the next
// "begin"). Menu set files, font lists, animation lists and game-font
// parameter files (".mfg") are written with it.
class WordFileWriter : public TextFileBuilder {
public:
    explicit WordFileWriter(LineEnd line_end = LineEnd::CrLf) : TextFileBuilder(line_end) {}

    WordFileWriter& comment(std::string_view text);  // "# text"
    WordFileWriter& section(std::string_view name);  // "[name]"
    WordFileWriter& end_sections();                  // "[end]"
    WordFileWriter& begin(std::string_view name);    // "begin name"

    // One line of words (they must not be empty or hold blanks).
    WordFileWriter& line(std::initializer_list<std::string_view> words);
    // One line with one word each.
    WordFileWriter& word(std::string_view word);
    WordFileWriter& word(std::int32_t value);
    WordFileWriter& word(float value);
    // A time as "minutes:seconds:hundredths" (1:02:50 for 62.5 s).
    WordFileWriter& time(std::int32_t minutes, std::int32_t seconds, std::int32_t hundredths);
};

} // namespace datakit
