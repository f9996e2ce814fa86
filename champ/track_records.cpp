#include "champ/track_records.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "app/game_error.h"
#include "app/text_source.h"
#include "champ/champ_file_io.h"
#include "champ/championship.h"
#include "champ/riders_file.h"
#include "platform/byte_reader.h"
#include "platform/byte_writer.h"

namespace {

// Moves the rows from `at` down by one (the last drops out) and fills row
// `at`.
void InsertRow(TimeRow* rows, int at, float time, const char* name, const char* team, std::int32_t position)
{
    for (int r = kRecordRows - 1; r > at; --r)
        rows[r] = rows[r - 1];
    TimeRow& row = rows[at];
    row = TimeRow{};
    row.Time = time;
    CopyField(row.Name, name, kRiderNameChars);
    CopyField(row.Team, team, kTeamNameChars);
    row.Position = position;
}

// The first row that is empty or holds a greater time, or -1.
int FindSlot(const TimeRow* rows, float time)
{
    for (int r = 0; r < kRecordRows; ++r) {
        if (rows[r].Empty() || rows[r].Time > time)
            return r;
    }
    return -1;
}

} // namespace

// ---------------------------------------------------------------------------
// TrackRecord

TrackRecord::TrackRecord() = default;

bool TrackRecord::InsertRaceTime(int column, float time, const char* name, const char* team, std::int32_t position)
{
    if (column < 0 || column >= kRecordColumns)
        return false;
    // A rider without a race time has nothing to enter.
    if (time == kNoTime || !std::isfinite(time) || time < 0.0f)
        return false;
    const int at = FindSlot(RaceTimes[column], time);
    if (at < 0)
        return false;
    InsertRow(RaceTimes[column], at, time, name, team, position);
    return true;
}

bool TrackRecord::InsertBestLap(float lap, const char* name, const char* team, bool mayTakeLapRecord)
{
    if (lap == kNoTime || !std::isfinite(lap) || lap < 0.0f)
        return false;
    const int at = FindSlot(BestLaps, lap);
    if (at < 0)
        return false;
    if (mayTakeLapRecord && lap < LapRecord) {
        LapRecord = lap;
        CopyField(HolderName, name, kRiderNameChars);
        CopyField(HolderTeam, team, kTeamNameChars);
    }
    InsertRow(BestLaps, at, lap, name, team, 0);
    return true;
}

// ---------------------------------------------------------------------------
// TrackRecords

TrackRecords::TrackRecords(const char* fileName)
{
    CopyField(m_FileName, fileName, kSaveNameChars);
}

void TrackRecords::Clear()
{
    for (TrackRecord& track : m_Tracks)
        track = TrackRecord{};
}

TrackRecord& TrackRecords::Track(int index)
{
    return const_cast<TrackRecord&>(static_cast<const TrackRecords&>(*this).Track(index));
}

const TrackRecord& TrackRecords::Track(int index) const
{
    if (index < 0 || index >= kRecordTracks)
        throw GameError("out of range");
    return m_Tracks[index];
}

bool TrackRecords::Load(const char* fileName)
{
    CopyField(m_FileName, fileName, kSaveNameChars);
    return Load();
}

bool TrackRecords::Load()
{
    m_Refused = false;
    m_LastError.clear();
    std::vector<std::uint8_t> bytes;
    std::string error;
    const LoadOutcome outcome = LoadWholeFile(m_FileName, bytes, error);
    if (outcome == LoadOutcome::Loaded) {
        // Read into scratch records so that a refused file changes nothing.
        auto scratch = std::make_unique<TrackRecords>(m_FileName);
        if (ParseTrackRecordsFile(bytes, *scratch, error)) {
            std::copy(std::begin(scratch->m_Tracks), std::end(scratch->m_Tracks), std::begin(m_Tracks));
            return true;
        }
    }
    Clear();
    if (outcome != LoadOutcome::Missing) {
        m_Refused = true;
        m_LastError = error;
        ReportRefusedFile(m_FileName, "damaged records file", error);
    }
    LoadRiderTimes(*this);
    return false;
}

void TrackRecords::Save()
{
    m_LastError.clear();
    if (m_Refused) {
        m_LastError = std::string(m_FileName) +
                      " was refused when it was loaded and is kept as it is; the records were not saved";
        throw GameError("open file");
    }
    std::string error;
    if (!SaveWholeFile(m_FileName, BuildTrackRecordsFile(*this), error)) {
        m_LastError = error;
        throw GameError("open file");
    }
}

void TrackRecords::AddResult(int track, float raceTime, float bestLap, const char* name, const char* team,
                             std::int32_t position, const RecordRules& rules)
{
    TrackRecord& record = Track(track);
    record.InsertRaceTime(rules.Column, raceTime, name, team, position);
    record.InsertBestLap(bestLap, name, team, rules.MayTakeLapRecord);
}

void LoadRiderTimes(TrackRecords& records)
{
    TextSource text;
    if (!text.open(kRidersFilePath))
        throw GameError("riders.txt not found");
    const std::vector<LapRecordLine> lines = ReadLapSection(text);
    for (std::size_t t = 0; t < lines.size() && t < static_cast<std::size_t>(kRecordTracks); ++t) {
        TrackRecord& record = records.Track(static_cast<int>(t));
        CopyField(record.HolderName, lines[t].Holder.c_str(), kRiderNameChars);
        record.LapRecord = lines[t].LapTime;
        if (!lines[t].Note.empty())
            CopyField(record.Note, lines[t].Note.c_str(), 19);
    }
}

// ---------------------------------------------------------------------------
// The records file

namespace {

using platform::ByteReader;
using platform::ByteWriter;

void WriteText(ByteWriter& out, const char* field, std::size_t size)
{
    out.fixed_string(std::string_view(field, strnlen(field, size)), size);
}

bool ReadText(ByteReader& in, char* field, std::size_t size)
{
    bool terminated = false;
    const std::string text = in.fixed_string(size, &terminated);
    if (!in.ok() || !terminated)
        return false;
    std::memset(field, 0, size);
    std::memcpy(field, text.data(), text.size());
    return true;
}

void WriteRow(ByteWriter& out, const TimeRow& row)
{
    out.f32(row.Time);
    WriteText(out, row.Name, sizeof row.Name);
    WriteText(out, row.Team, sizeof row.Team);
    out.i32(row.Position);
}

bool ReadRow(ByteReader& in, TimeRow& row, std::string& error)
{
    row.Time = in.f32();
    if (!ReadText(in, row.Name, sizeof row.Name) || !ReadText(in, row.Team, sizeof row.Team)) {
        error = "a name in a time row is not terminated";
        return false;
    }
    row.Position = in.i32();
    if (!std::isfinite(row.Time) || (row.Time < 0.0f && row.Time != kEmptyRowTime)) {
        error = "a time row holds a damaged time";
        return false;
    }
    if (row.Position < -1 || row.Position > 255) {
        error = "a time row holds the position " + std::to_string(row.Position);
        return false;
    }
    return in.ok();
}

} // namespace

std::vector<std::uint8_t> BuildTrackRecordsFile(const TrackRecords& records)
{
    std::vector<std::uint8_t> bytes;
    bytes.reserve(kTrackRecordsBytes);
    ByteWriter out(bytes);
    WriteText(out, records.FileName(), 260);
    for (int t = 0; t < kRecordTracks; ++t) {
        const TrackRecord& record = records.Track(t);
        for (const auto& column : record.RaceTimes)
            for (const TimeRow& row : column)
                WriteRow(out, row);
        for (const TimeRow& row : record.BestLaps)
            WriteRow(out, row);
        out.f32(record.LapRecord);
        WriteText(out, record.HolderName, sizeof record.HolderName);
        WriteText(out, record.HolderTeam, sizeof record.HolderTeam);
        out.i32(record.HolderId);
        WriteText(out, record.Note, sizeof record.Note);
    }
    return bytes;
}

bool ParseTrackRecordsFile(const std::vector<std::uint8_t>& bytes, TrackRecords& records, std::string& error)
{
    error.clear();
    if (bytes.size() != kTrackRecordsBytes) {
        error = std::string(bytes.size() < kTrackRecordsBytes ? "short file" : "wrong size") + ": " +
                std::to_string(bytes.size()) + " bytes instead of " + std::to_string(kTrackRecordsBytes);
        return false;
    }
    ByteReader in(bytes);
    in.skip(260);  // the name the file was written under: the store keeps its own
    for (int t = 0; t < kRecordTracks; ++t) {
        TrackRecord& record = records.Track(t);
        const std::string where = "track " + std::to_string(t) + ": ";
        for (auto& column : record.RaceTimes)
            for (TimeRow& row : column)
                if (!ReadRow(in, row, error)) {
                    error = where + error;
                    return false;
                }
        for (TimeRow& row : record.BestLaps)
            if (!ReadRow(in, row, error)) {
                error = where + error;
                return false;
            }
        record.LapRecord = in.f32();
        const bool names = ReadText(in, record.HolderName, sizeof record.HolderName) &&
                           ReadText(in, record.HolderTeam, sizeof record.HolderTeam);
        record.HolderId = in.i32();
        if (!names || !ReadText(in, record.Note, sizeof record.Note)) {
            error = where + "the lap record's holder or note is not terminated";
            return false;
        }
        if (!std::isfinite(record.LapRecord) || record.LapRecord < 0.0f) {
            error = where + "the lap record is damaged";
            return false;
        }
        if (record.HolderId < -1 || record.HolderId >= kChampRiders) {
            error = where + "the lap record holder's id " + std::to_string(record.HolderId) + " is not below 32";
            return false;
        }
    }
    return in.ok() && in.remaining() == 0;
}
