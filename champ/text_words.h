#pragma once

#include <string>

#include "app/text_source.h"

// Word and line reading over a text data file, for the championship's text
// files (riders, weather). Blanks are space, tab, CR, LF, VT and FF.
namespace text_words {

inline bool IsBlank(int c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

inline void SkipBlanks(TextSource& text)
{
    while (text.peek() >= 0 && IsBlank(text.peek()))
        text.get();
}

// The next word; false when only blanks are left.
inline bool ReadWord(TextSource& text, std::string& word)
{
    word.clear();
    SkipBlanks(text);
    while (text.peek() >= 0 && !IsBlank(text.peek()))
        word.push_back(static_cast<char>(text.get()));
    return !word.empty();
}

// A word on the current line: stops at the line end, which stays unread.
inline bool ReadWordInLine(TextSource& text, std::string& word)
{
    word.clear();
    while (text.peek() >= 0 && IsBlank(text.peek()) && text.peek() != '\n')
        text.get();
    while (text.peek() >= 0 && !IsBlank(text.peek()))
        word.push_back(static_cast<char>(text.get()));
    return !word.empty();
}

inline void SkipRestOfLine(TextSource& text)
{
    for (int c = text.get(); c >= 0 && c != '\n'; c = text.get()) {
    }
}

inline void TrimRight(std::string& s)
{
    while (!s.empty() && IsBlank(static_cast<unsigned char>(s.back())))
        s.pop_back();
}

// The next line that holds anything but blanks, without its line end and
// trailing blanks.
inline bool ReadNonEmptyLine(TextSource& text, std::string& line)
{
    line.clear();
    SkipBlanks(text);
    if (text.at_end())
        return false;
    for (int c = text.get(); c >= 0 && c != '\n'; c = text.get())
        line.push_back(static_cast<char>(c));
    TrimRight(line);
    return true;
}

} // namespace text_words
