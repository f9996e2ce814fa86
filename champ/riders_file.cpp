#include "champ/riders_file.h"

#include <cstdint>

#include "app/game_error.h"
#include "app/text_compare.h"
#include "app/text_number.h"
#include "app/text_source.h"
#include "champ/text_words.h"

using namespace text_words;

namespace {

constexpr std::size_t kNameChars = 20;
constexpr std::size_t kNoteChars = 19;
constexpr int kMaxRiders = 32;
constexpr int kMaxTracks = 12;

// True when the next word is "[lap]" (or nothing is left); the position
// does not move.
bool AtLapSectionOrEnd(TextSource& text)
{
    const std::int64_t at = text.tell();
    std::string word;
    const bool end = !ReadWord(text, word) || EqualsIgnoringCase(word.c_str(), "[lap]");
    text.seek(at);
    return end;
}

// A rider's name: everything up to the ';', line ends left out. Throws when
// it is longer than 20 characters.
std::string ReadRiderName(TextSource& text)
{
    SkipBlanks(text);
    std::string name;
    int c = text.get();
    for (; c >= 0 && c != ';'; c = text.get()) {
        if (c == '\r' || c == '\n')
            continue;
        name.push_back(static_cast<char>(c));
        if (name.size() > kNameChars + 64)
            break;  // far too long already; the check below refuses it
    }
    TrimRight(name);
    if (name.size() > kNameChars)
        throw GameError("aumenta menu_namesize");
    if (c != ';')
        throw GameError("team not found");
    return name;
}

} // namespace

RidersList ReadRidersList(TextSource& text)
{
    RidersList list;
    for (std::string& team : list.Teams) {
        if (!ReadWord(text, team) || EqualsIgnoringCase(team.c_str(), "[lap]"))
            throw GameError("team not found");
        if (team.size() > kNameChars)
            throw GameError("aumenta menu_namesize");
    }
    while (static_cast<int>(list.Riders.size()) < kMaxRiders && !AtLapSectionOrEnd(text)) {
        RidersList::Rider rider;
        rider.Name = ReadRiderName(text);
        std::string team;
        if (!ReadWord(text, team))
            throw GameError("team not found");
        rider.Team = -1;
        for (int t = 0; t < 5; ++t) {
            if (EqualsIgnoringCase(team.c_str(), list.Teams[t].c_str())) {
                rider.Team = t;
                break;
            }
        }
        if (rider.Team < 0)
            throw GameError("team not found");
        list.Riders.push_back(std::move(rider));
    }
    return list;
}

float ParseLapTime(const std::string& word)
{
    std::int32_t parts[3] = {0, 0, 0};
    const char* at = word.c_str();
    for (int i = 0; i < 3; ++i) {
        const std::size_t used = ScanDecimalInt(at, parts[i]);
        if (used == 0)
            break;
        at += used;
        if (i < 2) {
            if (*at != ':')
                break;
            ++at;
        }
    }
    return static_cast<float>(static_cast<double>(parts[0]) * 60.0 + static_cast<double>(parts[1]) +
                              static_cast<double>(parts[2]) * 0.01);
}

std::vector<LapRecordLine> ReadLapSection(TextSource& text)
{
    std::vector<LapRecordLine> lines;
    std::string word;
    for (;;) {
        if (!ReadWord(text, word))
            return lines;  // no lap section
        if (EqualsIgnoringCase(word.c_str(), "[lap]"))
            break;
    }
    SkipRestOfLine(text);
    std::string holder;
    while (static_cast<int>(lines.size()) < kMaxTracks && ReadNonEmptyLine(text, holder)) {
        LapRecordLine line;
        line.Holder = holder.substr(0, kNameChars);
        if (!ReadWord(text, word))
            break;
        line.LapTime = ParseLapTime(word);
        // The rest of the time's line: a word that is skipped, then the note.
        ReadWordInLine(text, word);
        if (ReadWordInLine(text, word))
            line.Note = word.substr(0, kNoteChars);
        SkipRestOfLine(text);
        lines.push_back(std::move(line));
    }
    return lines;
}
