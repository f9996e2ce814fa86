#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class Championship;
class GameSettings;

// The track records of one driving model: for each of the 12 tracks the ten
// best race times of each race length, the ten best laps and the lap record
// with its holder. The program keeps two stores, "BSim.bin" for the
// simulation and "BArc.bin" for the arcade model; each is loaded when the
// program starts and saved when it shuts down (explicitly: nothing is read
// or written by a constructor or a destructor).

inline constexpr int kRecordTracks = 12;
inline constexpr int kRecordRows = 10;
inline constexpr int kRecordColumns = 5;   // one per race-length choice
inline constexpr float kEmptyRowTime = -1.0f;

inline constexpr std::size_t kTimeRowBytes = 52;
inline constexpr std::size_t kTrackRecordBytes = 3192;
inline constexpr std::size_t kTrackRecordsBytes = 38564;

inline constexpr const char* kSimRecordsFile = "BSim.bin";
inline constexpr const char* kArcadeRecordsFile = "BArc.bin";

// One row of a time table.
struct TimeRow {
    float Time = kEmptyRowTime;    // seconds; kEmptyRowTime: empty row
    char Name[21] = {};            // rider
    char Team[23] = {};
    std::int32_t Position = -1;    // finishing position; -1 when empty, 0 in best-lap rows

    bool Empty() const { return Time == kEmptyRowTime; }
};

// The records of one track.
struct TrackRecord {
    TrackRecord();

    // Enters a race time into a column (race-length choice index 0..4):
    // before the first row that is empty or slower (an equal time goes
    // below the older one); the tenth row drops out. False when it does not
    // make the table.
    bool InsertRaceTime(int column, float time, const char* name, const char* team, std::int32_t position);

    // Enters a best lap (not kNoTime) into the best-lap rows the same way.
    // When `mayTakeLapRecord` and the lap beats the lap record, the rider
    // also takes the lap record. False when the lap does not make the table.
    bool InsertBestLap(float lap, const char* name, const char* team, bool mayTakeLapRecord);

    TimeRow RaceTimes[kRecordColumns][kRecordRows];
    TimeRow BestLaps[kRecordRows];
    float LapRecord = 1499.99f;
    char HolderName[21] = "TEST";
    char HolderTeam[23] = {};
    std::int32_t HolderId = -1;
    char Note[20] = {};            // a text taken from the riders file
};

// How a result is entered (AddResult).
struct RecordRules {
    int Column = 0;                // race-length choice index 0..4
    bool MayTakeLapRecord = false; // realism level 4 in a simulation mode
};

class TrackRecords {
public:
    // Fresh records that will be loaded from and saved to `fileName`.
    explicit TrackRecords(const char* fileName);

    // Reads the records file (the name this store was made with; the name
    // stored inside the file is not used). A missing file leaves fresh
    // records seeded from the riders file (LoadRiderTimes) and gives false.
    // A short or damaged file is refused with a message box and kept as it
    // is: the records are fresh and seeded, false is returned, and Save will
    // not write over that file.
    bool Load();
    // The same after taking a new file name.
    bool Load(const char* fileName);

    // Writes the records through a temporary file and a rename. Throws
    // GameError "open file" when it cannot (the old file is kept); the
    // reason is in LastError().
    void Save();

    // The local player's result in the current event, from the championship.
    void AddPlayerResult(const Championship& champ, const GameSettings& settings);
    void AddResult(int track, float raceTime, float bestLap, const char* name, const char* team,
                   std::int32_t position, const RecordRules& rules);

    TrackRecord& Track(int index);      // "out of range"
    const TrackRecord& Track(int index) const;
    const char* FileName() const { return m_FileName; }
    bool Refused() const { return m_Refused; }
    const std::string& LastError() const { return m_LastError; }

    // Every record fresh (the construction state).
    void Clear();

private:
    char m_FileName[260] = {};
    TrackRecord m_Tracks[kRecordTracks];
    bool m_Refused = false;          // the file on disk was refused at load
    std::string m_LastError;
};

// Seeds the lap records, holders and notes from the riders file's lap
// section. Throws GameError "riders.txt not found" when there is no riders
// file.
void LoadRiderTimes(TrackRecords& records);

// The file bytes of a store and their reader (docs/champ-files.md).
std::vector<std::uint8_t> BuildTrackRecordsFile(const TrackRecords& records);
// False, `error` saying why, when the bytes are not a sound records file;
// `records` may then be half filled.
bool ParseTrackRecordsFile(const std::vector<std::uint8_t>& bytes, TrackRecords& records, std::string& error);
