#include "app/m_cparse.h"

#include <string>

#include "app/bounded_text.h"
#include "app/game_error.h"
#include "app/text_compare.h"
#include "app/text_number.h"
#include "platform/file.h"

namespace {

// Takes the rest of the current line, its '\n' included.
void SkipRestOfLine(TextSource& source)
{
    for (int c = source.get(); c >= 0 && c != '\n'; c = source.get()) {
    }
}

} // namespace

bool ReadToken(TextSource& source, char* buffer, std::size_t capacity)
{
    if (buffer == nullptr || capacity == 0) {
        return false;
    }
    for (;;) {
        BoundedText word(buffer, capacity);
        while (IsTextBlank(source.peek())) {
            source.get();
        }
        if (source.at_end()) {
            return false;
        }
        const bool comment = source.peek() == '#';
        while (!source.at_end() && !IsTextBlank(source.peek())) {
            word.put(source.get());
        }
        if (!comment) {
            return true;
        }
        // A comment: the word and the rest of its line.
        SkipRestOfLine(source);
    }
}

bool ReadLine(TextSource& source, char* buffer, std::size_t capacity)
{
    if (buffer == nullptr || capacity == 0) {
        return false;
    }
    if (source.from_archive()) {
        // Whole lines; empty ones are skipped. A CR left in a line is dropped.
        for (;;) {
            BoundedText line(buffer, capacity);
            if (source.at_end()) {
                return false;
            }
            for (int c = source.get(); c >= 0 && c != '\n'; c = source.get()) {
                if (c != '\r') line.put(c);
            }
            if (line.length() > 0) {
                return true;
            }
        }
    }
    // Plain file: line ends before the text are skipped; the line ends at a
    // line end or at a '#', neither of which is stored.
    BoundedText line(buffer, capacity);
    while (source.peek() == '\n') {
        source.get();
    }
    if (source.at_end()) {
        return false;
    }
    for (int c = source.get(); c >= 0 && c != '\n' && c != '#'; c = source.get()) {
        line.put(c);
    }
    return true;
}

bool M_CParse::Open(const char* path)
{
    if (m_Source.is_open()) {
        return false;
    }
    const char* name = path != nullptr ? path : "";
    if (!m_Source.open(name)) {
        ThrowGameError("file not found M_CParse::Open %s", name);
    }
    m_SavedPos = 0;
    return true;
}

void M_CParse::AttachFile(platform::File& file)
{
    if (m_Source.is_open()) {
        throw GameError("FILE gia' attaccato");
    }
    m_Source.attach(file);
    m_SavedPos = 0;
}

void M_CParse::Release()
{
    m_Source.close();
}

void M_CParse::Rewind()
{
    if (!m_Source.is_open()) {
        throw GameError("manca il FILE");
    }
    m_Source.rewind();
}

bool M_CParse::GetToken(char* buffer, std::size_t capacity)
{
    return ReadToken(m_Source, buffer, capacity);
}

bool M_CParse::GetIntToken(std::int32_t& out)
{
    char word[kTokenCapacity];
    if (!ReadToken(m_Source, word, sizeof word)) {
        return false;
    }
    out = TextToInt(word);
    return true;
}

bool M_CParse::GetFloatToken(float& out)
{
    char word[kTokenCapacity];
    if (!ReadToken(m_Source, word, sizeof word)) {
        return false;
    }
    out = TextToFloat(word);
    return true;
}

bool M_CParse::GetTimeToken(float& out)
{
    char word[kTokenCapacity];
    if (!ReadToken(m_Source, word, sizeof word)) {
        return false;
    }
    // Each part is read in base 10, so "1:08:50" is 68.5 seconds.
    std::int32_t parts[3] = {0, 0, 0};
    const char* at = word;
    for (int i = 0; i < 3; ++i) {
        const std::size_t used = ScanDecimalInt(at, parts[i]);
        if (used == 0) break;
        at += used;
        if (i < 2) {
            if (*at != ':') break;
            ++at;
        }
    }
    out = static_cast<float>(static_cast<double>(parts[0]) * 60.0 + static_cast<double>(parts[1]) +
                             static_cast<double>(parts[2]) * 0.01);
    return true;
}

bool M_CParse::SkipTo(const char* word)
{
    char token[kTokenCapacity];
    while (ReadToken(m_Source, token, sizeof token)) {
        if (EqualsIgnoringCase(token, word)) {
            return true;
        }
        if (EqualsIgnoringCase(token, "[end]")) {
            return false;
        }
    }
    return false;
}

bool M_CParse::FindSection(const char* name)
{
    SavePos();
    const std::string section = std::string("[") + (name != nullptr ? name : "") + "]";
    char token[kTokenCapacity];
    while (ReadToken(m_Source, token, sizeof token)) {
        if (EqualsIgnoringCase(token, section.c_str())) {
            return true;
        }
    }
    LoadPos();
    return false;
}

bool M_CParse::FindBegin(const char* name)
{
    SavePos();
    char token[kTokenCapacity];
    while (ReadToken(m_Source, token, sizeof token)) {
        if (!EqualsIgnoringCase(token, "begin")) {
            continue;
        }
        if (!ReadToken(m_Source, token, sizeof token)) {
            break;
        }
        if (EqualsIgnoringCase(token, name != nullptr ? name : "")) {
            return true;
        }
    }
    LoadPos();
    return false;
}

void M_CParse::SavePos()
{
    m_SavedPos = m_Source.tell();
}

void M_CParse::LoadPos()
{
    ReturnToPosition(m_Source, m_SavedPos);
}

void ReturnToPosition(TextSource& source, std::int64_t position)
{
    // Every remembered position is restored, the start of the text (0)
    // included.
    if (!source.seek(position)) {
        if (source.from_archive()) {
            throw GameError("Error in mixer.seekfile");
        }
        source.seek_end();
    }
}
