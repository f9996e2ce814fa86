#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

class GameApp;
class GameSettings;

// The championship: 32 riders in 5 teams, 12 events (one per track), the
// results of each event's timed sessions and races, the riders' points and
// the standings built from them. One program-wide instance; the menus create,
// load and save it in numbered save slots, the race run loop files each
// race's results into it and the race preparation takes the grid from it.
//
// Failures are thrown as GameError message texts ("out of range",
// "undef session", "not found", ...); a missing save file is a false result.

inline constexpr int kChampEvents = 12;         // one per track
inline constexpr int kChampRiders = 32;         // rider ids 0..31
inline constexpr int kChampTeams = 5;
inline constexpr int kChampResultBlocks = 4;    // session kinds 0..3 keep results
inline constexpr int kChampComputerRiders = 18; // ids 0..17 are the computer riders
inline constexpr float kNoTime = 1499.99f;      // no time yet
inline constexpr std::uint8_t kNoPosition = 255;

inline constexpr std::size_t kRiderNameChars = 20;    // a rider's name, without its terminator
inline constexpr std::size_t kTeamNameChars = 20;
inline constexpr std::size_t kChampNameChars = 19;    // a championship's name
inline constexpr std::size_t kSaveNameChars = 259;    // a save file's name
inline constexpr std::size_t kSessionTitleChars = 49;

// Session kinds of an event.
enum : std::int32_t {
    kSessionFirstTimed = 0,   // timed sessions: results ordered by time B
    kSessionSecondTimed = 1,
    kSessionFirstRace = 2,    // races: positions give points, results ordered by time C
    kSessionSecondRace = 3,
    kSessionOtherFirst = 4,   // 4, 5, 6: results are not kept
    kSessionLast = 6,
};

// Entry kinds of a rider.
enum : std::uint32_t {
    kEntryNone = 0,
    kEntryLocalPlayer = 1,    // the local player's rider
    kEntryRemotePlayer = 2,   // another player's rider in a network game
    kEntryComputer = 3,       // a rider entered by the game
};

// The tracks of the season, by event index.
inline constexpr std::array<const char*, kChampEvents> kTrackNames = {
    "Island", "Misano", "Donigton", "Hocken", "Monza", "Laguna",
    "Brands", "a1ring", "Assen", "Albacete", "Sugo", "Sentul"};

// Championship points of a race position index: 25, 20, 16, 13, 11, 10, 9,
// 8, 7, 6, 5, 4, 3, 2, 1 for indexes 0..14, 0 for any other.
std::int32_t PointsForPosition(std::int32_t position);

// One rider's result in one session (20 bytes in files).
struct ChampionshipResult {
    std::uint8_t RiderId = 0;
    std::uint8_t Position = kNoPosition;  // kNoPosition: no result
    std::uint8_t Extra = 0;               // the rider's lap count in races
    std::uint8_t Unused = 0;
    std::uint32_t Points = 0;             // filled by BuildStandings
    float TimeA = kNoTime;
    float TimeB = kNoTime;                // best lap
    float TimeC = kNoTime;                // race time
};

// One event of the season: its current session kind and the results of the
// session kinds 0..3, one block of 32 results each.
struct ChampionshipEvent {
    ChampionshipEvent() { Reset(); }

    // Session kind 4 and every result empty (result r of a block is rider r's).
    void Reset();
    // Every result empty; the session kind stays.
    void ClearResults();

    // The result of a rider in a block (0..3); throws "non trovato".
    ChampionshipResult& GetRiderResult(int block, int riderId);
    const ChampionshipResult& GetRiderResult(int block, int riderId) const;

    std::int32_t SessionKind = kSessionOtherFirst;
    ChampionshipResult Results[kChampResultBlocks][kChampRiders];
};

// One rider of the championship (48 bytes in files).
struct ChampionshipRider {
    char Name[24] = {};           // at most 20 characters
    std::int32_t Team = 0;        // 0..4
    std::int32_t Id = 0;          // 0..31
    std::int32_t Points = -1;     // -1: never entered
    std::int32_t Scores = 0;      // number of scoring results
    std::uint32_t Kind = kEntryNone;
    std::uint8_t Entered = 0;
};

// A rider's place and times in the current event (FindRiderPosition,
// GetResultAtPosition).
struct RiderPlacing {
    std::int32_t RiderId = -1;
    std::int32_t Position = kNoPosition;
    float TimeA = kNoTime;
    float TimeB = kNoTime;
    float TimeC = kNoTime;
};

// One line of a race's classification, in the race's standing order: what
// the race hands over when its results are filed (StoreRaceResults) and
// what it takes back before a race starts (ApplyEventTimes).
struct RaceResultLine {
    std::int32_t RiderId = -1;    // championship rider id
    float TimeA = kNoTime;
    float TimeB = kNoTime;
    float TimeC = kNoTime;
    std::uint32_t Status = 0;     // the bike's status word; bit 3: finished
    std::uint8_t Laps = 0;
};
inline constexpr std::uint32_t kRiderStatusFinished = 0x08;

class Championship {
public:
    // An empty championship that has read nothing: events reset, rider i has
    // id i, no entries, no names. Used by the file reader and by tests.
    Championship();

    // The program's construction: the empty championship, Reset(fileName),
    // LoadRiders(), then the file name and the championship name cleared.
    explicit Championship(const char* fileName);

    // The standings point into the record itself: copies are not made.
    Championship(const Championship&) = delete;
    Championship& operator=(const Championship&) = delete;

    // A new championship: file name := the name's file part (after the last
    // '\' or '/'), championship name := that cut at its first '.', trailing
    // blanks and line ends removed, at most 19 characters; current event 0;
    // every entry out (points -1, no scores, kind 0); no renamed rider;
    // every event's results cleared.
    void Reset(const char* name);

    // Reads the team and rider names from ".\menu\Riders.txt" (disk, else
    // archive). A missing file shows "riders.txt file not found" and throws
    // it; a damaged one throws "aumenta menu_namesize" (a name too long) or
    // "team not found".
    void LoadRiders();

    // --- queries ---
    ChampionshipEvent& GetEvent(int index);               // "out of range"
    const ChampionshipEvent& GetEvent(int index) const;
    ChampionshipEvent& CurrentEvent() { return GetEvent(CurrentEventIndex); }
    const ChampionshipEvent& CurrentEvent() const { return GetEvent(CurrentEventIndex); }
    std::int32_t GetSessionKind() const;
    void SetSessionKind(std::int32_t kind);              // -1..6, else "undef session"
    ChampionshipRider& FindRider(int id);                 // "not found"
    const ChampionshipRider& FindRider(int id) const;
    std::int32_t PlayerRider() const;                     // id of the kind-1 entry, or -1
    const char* GetRiderInfo(const ChampionshipRider& entry) const; // the entry's team name
    const char* TeamName(int team) const;                 // "out of range"
    // Id and points of the slot-th rider in standing order ("out of range").
    void GetRiderTotals(int slot, std::int32_t& id, std::int32_t& points);
    // A rider's place 0..31 in the standing order ("not found").
    std::int32_t GetStandingPosition(int riderId);
    // The rider with that position in the current event's results of the
    // current session kind ("not found").
    RiderPlacing GetResultAtPosition(int position) const;
    // An entered rider's position and times in the current event's results
    // of the current session kind ("not found").
    RiderPlacing FindRiderPosition(int riderId) const;

    // --- changes ---
    // Enters a rider ("bike not found" for an unknown id): entered, points
    // at least 0, the kind stored.
    void AddEntry(int id, std::uint32_t kind);
    // Takes a rider out of the championship: not entered, points -1 (never
    // entered), no scores, kind 0.
    void RemoveEntry(int id);
    void SetPlayerRider(int id);
    void ClearEntries();
    // The player takes a rider's name; the rider's own name is kept and
    // comes back with RestoreRiderName (also before another rename).
    void RenameRider(int id, const char* name);
    void RestoreRiderName();
    // Copies one result block of an event over another.
    void CopyResultBlock(int event, int fromBlock, int toBlock);

    // --- results and standings (championship_standings.cpp) ---
    // Sorts the entries in standing order when they are not sorted already.
    void SortStandings();
    // Sorts the entries so that the computer riders (ids below 18) come
    // first, then in standing order.
    void SortComputerRidersFirst();
    void BuildStandings(int event, int kind);
    void StoreResult(int position, int id, float a, float b, float c, std::uint32_t status, std::uint8_t extra);
    // Files a race's results: line p is race position p.
    void StoreRaceResults(std::span<const RaceResultLine> lines);
    // Before a race of kind 1, 2 or 3: each line's time B := its rider's
    // time B of block 0 (kind 1) or block 1 (kinds 2 and 3).
    void ApplyEventTimes(std::span<RaceResultLine> lines) const;

    // --- the grid (championship_grid.cpp) ---
    // Fills the race header's rider ids from the entries, by game mode (in
    // a network game mode 4 counts as 1 and any other as 0):
    // - 0, and 1 at the first event: the entered computer riders in the
    //   reference order rotated by `offset` (slot i of the 18 takes the rider
    //   at (i + offset) mod 18; ids 18..31 follow by id), then the entered
    //   players' riders in entry order; this must be every entered rider,
    //   else "c'e' qualcosa che non va". Later events of mode 1: the entered
    //   riders in standing order.
    // - 2: the player's rider alone (a race of one rider).
    // - 3 and 4: sessions 0, 1, 4, 5, 6 the entered riders in entry order
    //   (session 1 first copies the results of session 0 over its own);
    //   races (2, 3) the entered riders by their best qualifying time. Either
    //   way their number must be the race's rider count, else "errore".
    // Other modes throw "??????".
    void BuildGrid(int offset, std::span<const std::int32_t, kChampComputerRiders> referenceOrder, bool networkGame,
                   GameApp& app);

    // --- files (championship_save.cpp) ---
    // Reads the save named by FileName in ".\menu\save\" into this record and
    // the settings' race options, gear choice, realism level and set-up.
    // False when the file is missing; a short or damaged file is refused
    // with a message box, the file and this record left as they were.
    bool Load(GameSettings& settings);
    // Sets the player's standing and points, then writes the save through a
    // temporary file and a rename. Throws "error open file" (the old save
    // kept) when it cannot be written.
    void Save(const GameSettings& settings);
    // Why the last Load or Save failed.
    const std::string& LastFileError() const { return m_LastFileError; }

    // --- the record (kept in save files) ---
    char FileName[260] = {};
    char Name[20] = {};
    char PlayerName[24] = {};
    std::int32_t CurrentEventIndex = 0;
    std::int32_t PlayerStanding = 0;   // standing position + 1, set when saving
    std::int32_t PlayerPoints = 0;     // set when saving
    ChampionshipEvent Events[kChampEvents];
    std::int32_t EnteredRiders = 0;
    ChampionshipRider Riders[kChampRiders];
    std::uint8_t StandingsSorted = 0;
    std::int32_t RenamedRider = -1;
    char OldName[21] = {};
    // Result records in standing order (BuildStandings); null for riders
    // not entered. Never stored.
    std::array<ChampionshipResult*, kChampRiders> Standings{};
    std::int32_t GameMode = 0;         // the menus' game mode 0..4
    std::int32_t ClassIndex = 0;       // index 0..7 of the rider-count class
    char SessionTitle[50] = {};

    // Team names from the riders file (not stored in saves).
    char TeamNames[kChampTeams][21] = {};

private:
    ChampionshipRider* FindRiderOrNull(int id);
    const ChampionshipRider* FindRiderOrNull(int id) const;
    int CurrentResultBlock() const;  // the block of the current kind, or -1
    // Takes over another record's stored fields (a file just read); the
    // standings are rebuilt before their next use.
    void TakeRecord(const Championship& from);

    std::string m_LastFileError;
};

// Copies a text into a fixed field, cut to `chars` characters, the rest of
// the field zeroed.
void CopyField(char* field, std::size_t fieldSize, const char* text, std::size_t chars);
template <std::size_t N>
void CopyField(char (&field)[N], const char* text, std::size_t chars = N - 1)
{
    CopyField(field, N, text, chars < N ? chars : N - 1);
}
