#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class Control;
class Form;

// The screens that list files: the championship saves ("Sim03" for the
// simulation championships, "Arcade06" for the arcade ones), the replay list
// ("option03", "aopt03") and the file-name dialogue ("dlg08").

// ---- Championship files ----
// The menu states of their three uses.
inline constexpr std::int32_t kSimDeleteState = 6, kSimLoadState = 7, kSimCreateState = 8;
inline constexpr std::int32_t kArcadeCreateState = 40, kArcadeLoadState = 41, kArcadeDeleteState = 42;
// Where a loaded championship goes on: its sessions, or the standings when
// its current event is over; an arcade championship to its race screen, or
// its standings.
inline constexpr std::int32_t kLoadedSessionsState = 50, kLoadedStandingsState = 51;
inline constexpr std::int32_t kLoadedArcadeRaceState = 9, kLoadedArcadeStandingsState = 100;
// A typed championship name keeps at most this many characters.
inline constexpr std::size_t kTypedChampionshipChars = 50;

void ChampionshipFilesPrepare(Form& form);
bool ChampionshipFilesCommand(Form& form, Control& control);

// ---- Replays ----
// The replay files' folder and their pattern.
inline constexpr const char* kReplayPattern = ".\\Replay\\*.rpl";
void ReplayListPrepare(Form& form);
bool ReplayListCommand(Form& form, Control& control);

// ---- File-name dialogue ----
// The file-name buffer the screens share: a name one screen hands to a
// dialogue and takes back edited (at most 259 characters).
inline constexpr std::size_t kSharedFileNameChars = 259;
std::string& SharedFileName();
void FileNamePrepare(Form& form);
bool FileNameCommand(Form& form, Control& control);

// Every file screen's list of names goes when it is left.
bool FileScreenRelease(Form& form);
