#pragma once

#include <cstddef>
#include <cstdint>

#include "app/text_source.h"

namespace platform {
class File;
}

// Size of the word and line buffers of the text readers: a word or line
// keeps at most 255 characters; the rest of a longer one is read and dropped.
inline constexpr std::size_t kTokenCapacity = 256;

// The next word of the text, skipping comments: a word that begins with '#'
// drops the rest of its line. Words are separated by blanks, tabs and line
// ends. Stores at most capacity - 1 characters and terminates the text.
// False at the end of the text (the buffer is then empty).
bool ReadToken(TextSource& source, char* buffer, std::size_t capacity = kTokenCapacity);

// The next non-empty line, without its line end, at most capacity - 1
// characters. From a plain file a '#' also ends the line (it is dropped, and
// the rest of that line is what the next call returns); from an archive entry
// the whole line is returned. False when no line is left.
bool ReadLine(TextSource& source, char* buffer, std::size_t capacity = kTokenCapacity);

// Moves a reader back to a position it remembered (the start, 0, included).
// A position the text cannot hold throws "Error in mixer.seekfile" for an
// archive entry and leaves a plain file at its end.
void ReturnToPosition(TextSource& source, std::int64_t position);

// The word reader of the menu system's text data files (menu set files, font
// and animation lists): words separated by blanks and line ends, '#' comments
// to the end of the line, "[name]" sections with "[end]" closing the searched
// area, and "begin <name>" blocks. Word comparisons ignore case.
class M_CParse {
public:
    M_CParse() = default;
    ~M_CParse() = default;
    M_CParse(const M_CParse&) = delete;
    M_CParse& operator=(const M_CParse&) = delete;

    // Opens the path from disk, else as an archive entry. False (nothing
    // changed) when a source is already open; throws GameError
    // "file not found M_CParse::Open <path>" when neither holds it.
    bool Open(const char* path);

    // Reads from an already open file, from where it stands; throws
    // "FILE gia' attaccato" when a source is already open.
    void AttachFile(platform::File& file);

    // Closes the file or archive entry. Nothing when none is open.
    void Release();

    // Back to the start; throws "manca il FILE" when nothing is open.
    void Rewind();

    // The next word, comments skipped; false at the end.
    bool GetToken(char* buffer, std::size_t capacity = kTokenCapacity);
    // The next word converted as the C library's atoi / atof would (a word
    // that is no number gives 0); false at the end.
    bool GetIntToken(std::int32_t& out);
    bool GetFloatToken(float& out);
    // The next word as minutes:seconds:hundredths, stored as seconds (each
    // part decimal; a missing part counts 0); false at the end.
    bool GetTimeToken(float& out);

    // Reads words until one equals `word` (true); false at "[end]" or at the
    // end of the text.
    bool SkipTo(const char* word);
    // Reads words until "[name]" (true); on failure returns to where it began.
    bool FindSection(const char* name);
    // Skips from "begin" to "begin" until the word after one equals `name`
    // (true, standing after the name); on failure returns to where it began.
    bool FindBegin(const char* name);

    // Remembers the read position; LoadPos returns to it (a failed return in
    // an archive entry throws "Error in mixer.seekfile").
    void SavePos();
    void LoadPos();

    bool IsOpen() const { return m_Source.is_open(); }
    bool IsArchive() const { return m_Source.from_archive(); }
    TextSource& Source() { return m_Source; }

private:
    TextSource m_Source;
    std::int64_t m_SavedPos = 0;
};
