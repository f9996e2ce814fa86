#pragma once

#include <cstddef>
#include <string_view>

// Character classes and comparisons of the file readers: data files and
// archive entry names compare without regard to ASCII case.

// The blanks that separate words and that number conversions skip (the C
// library's white space): space, tab, LF, CR, VT and FF.
inline bool IsTextBlank(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

inline char FoldAsciiCase(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

inline bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (FoldAsciiCase(text[i]) != FoldAsciiCase(prefix[i])) return false;
    }
    return true;
}

inline bool EqualsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && StartsWithIgnoringCase(a, b);
}

// The same for terminated texts; a null pointer reads as "".
inline bool EqualsIgnoringCase(const char* a, const char* b)
{
    return EqualsIgnoringCase(std::string_view(a != nullptr ? a : ""), std::string_view(b != nullptr ? b : ""));
}
