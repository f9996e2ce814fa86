#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// How the game reads text, whatever holds it: a plain file, a plain or an
// LZW-compressed archive entry, read with the archive's line and word reads
// (mixer::gets) or through a TextSource. It is the rule of text-mode reads
// of files:
//   - a CR directly followed by LF is dropped (CR LF becomes LF);
//   - any other CR stays in the text (the word readers take it as a blank);
//   - the first 0x1A byte ends the text; nothing after it is text.

// The length of the text that `bytes` hold: up to the first 0x1A byte.
std::size_t TextLength(std::string_view bytes);

// True when text[i] is the CR of a CR LF pair, which the text drops. `text`
// is the text itself (TextLength bytes), so a CR just before the end marker
// stays.
inline bool IsCrOfLineEnd(std::string_view text, std::size_t i)
{
    return text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n';
}

// The text that raw bytes hold, by the rule above.
std::string DecodeWindowsText(std::string_view bytes);
