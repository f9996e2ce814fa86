#pragma once

#include <string>
#include <vector>

class TextSource;

// The riders file ".\menu\Riders.txt" (text):
//
//   Falcon Comet Arrow Vortex Titan      five team names (words)
//   Marco Ferrante;Falcon                up to 32 riders: a name up to the
//   ...                                  ';' (at most 20 characters), then
//                                        one of the five team names
//   [lap]                                the lap section (rest of the line skipped)
//   Marco Ferrante                       per track, in track order: the lap
//   01:32:45 * Island                    record holder's name on a line, the
//   ...                                  lap time "mm:ss:hh", a word that is
//                                        skipped, a note word (19 characters)
//
// Rider ids are the riders' line numbers 0..31. Words are compared without
// regard to case.

inline constexpr const char* kRidersFilePath = ".\\menu\\Riders.txt";

struct RidersList {
    std::string Teams[5];
    struct Rider {
        std::string Name;
        int Team = 0;
    };
    std::vector<Rider> Riders;   // at most 32, in id order
};

// Reads the team names and the riders. Throws GameError "aumenta
// menu_namesize" for a name longer than 20 characters and "team not found"
// for a missing or unknown team.
RidersList ReadRidersList(TextSource& text);

struct LapRecordLine {
    std::string Holder;   // at most 20 characters
    float LapTime = 0.0f; // seconds
    std::string Note;     // at most 19 characters; empty when the word is missing
};

// The lap section, at most 12 tracks; empty when the file has no "[lap]".
std::vector<LapRecordLine> ReadLapSection(TextSource& text);

// "mm:ss:hh" as minutes x 60 + seconds + hundredths x 0.01 (each part
// decimal; a missing part counts 0).
float ParseLapTime(const std::string& word);
