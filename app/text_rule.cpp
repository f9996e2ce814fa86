#include "app/text_rule.h"

std::size_t TextLength(std::string_view bytes)
{
    const std::size_t end = bytes.find('\x1A');
    return end == std::string_view::npos ? bytes.size() : end;
}

std::string DecodeWindowsText(std::string_view bytes)
{
    const std::string_view text = bytes.substr(0, TextLength(bytes));
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!IsCrOfLineEnd(text, i))
            out += text[i];
    }
    return out;
}
