#include "champ/championship_file.h"

#include <bitset>
#include <cmath>
#include <cstring>

#include "champ/championship.h"

namespace {

using platform::ByteReader;
using platform::ByteWriter;
using platform::StringFit;

constexpr std::size_t kOldNameBytes = 21;   // 20 characters and the terminating byte
constexpr std::size_t kReservedAfterTitle = kSaveOffsetRaceOptions - kSaveOffsetSessionTitle - 50;

void WriteText(ByteWriter& out, const char* field, std::size_t size)
{
    out.fixed_string(std::string_view(field, strnlen(field, size)), size, StringFit::Terminated);
}

// A text field that must hold its terminator; the text is copied into the
// in-memory field of the same size.
bool ReadText(ByteReader& in, char* field, std::size_t size, const char* what, std::string& error)
{
    bool terminated = false;
    const std::string text = in.fixed_string(size, &terminated);
    if (!in.ok())
        return false;
    if (!terminated) {
        error = std::string(what) + " is not terminated";
        return false;
    }
    std::memset(field, 0, size);
    std::memcpy(field, text.data(), text.size());
    return true;
}

void WriteResult(ByteWriter& out, const ChampionshipResult& r)
{
    out.u8(r.RiderId);
    out.u8(r.Position);
    out.u8(r.Extra);
    out.u8(r.Unused);
    out.u32(r.Points);
    out.f32(r.TimeA);
    out.f32(r.TimeB);
    out.f32(r.TimeC);
}

bool ReadResult(ByteReader& in, ChampionshipResult& r, std::string& error)
{
    r.RiderId = in.u8();
    r.Position = in.u8();
    r.Extra = in.u8();
    r.Unused = in.u8();
    r.Points = in.u32();
    r.TimeA = in.f32();
    r.TimeB = in.f32();
    r.TimeC = in.f32();
    if (!in.ok())
        return false;
    if (r.RiderId >= kChampRiders) {
        error = "a result's rider id " + std::to_string(r.RiderId) + " is not below 32";
        return false;
    }
    if (r.Position != kNoPosition && r.Position >= kChampRiders) {
        error = "a result's position " + std::to_string(r.Position) + " is out of range";
        return false;
    }
    if (!std::isfinite(r.TimeA) || !std::isfinite(r.TimeB) || !std::isfinite(r.TimeC)) {
        error = "a result holds a time that is not a number";
        return false;
    }
    return true;
}

bool ReadEvent(ByteReader& in, ChampionshipEvent& event, int index, std::string& error)
{
    event.SessionKind = in.i32();
    if (in.ok() && (event.SessionKind < -1 || event.SessionKind > kSessionLast)) {
        error = "event " + std::to_string(index) + " has the session kind " + std::to_string(event.SessionKind);
        return false;
    }
    for (auto& block : event.Results) {
        std::bitset<kChampRiders> seen;
        for (ChampionshipResult& result : block) {
            if (!ReadResult(in, result, error))
                return false;
            if (seen.test(result.RiderId)) {
                error = "event " + std::to_string(index) + " lists rider " + std::to_string(result.RiderId) + " twice";
                return false;
            }
            seen.set(result.RiderId);
        }
    }
    return in.ok();
}

void WriteRider(ByteWriter& out, const ChampionshipRider& rider)
{
    WriteText(out, rider.Name, sizeof rider.Name);
    out.i32(rider.Team);
    out.i32(rider.Id);
    out.i32(rider.Points);
    out.i32(rider.Scores);
    out.u32(rider.Kind);
    out.u8(rider.Entered);
    out.zeros(3);
}

bool ReadRider(ByteReader& in, ChampionshipRider& rider, std::string& error)
{
    if (!ReadText(in, rider.Name, sizeof rider.Name, "a rider's name", error))
        return false;
    rider.Team = in.i32();
    rider.Id = in.i32();
    rider.Points = in.i32();
    rider.Scores = in.i32();
    rider.Kind = in.u32();
    rider.Entered = in.u8();
    in.skip(3);
    if (!in.ok())
        return false;
    const std::string who = "rider " + std::to_string(rider.Id);
    if (rider.Id < 0 || rider.Id >= kChampRiders)
        error = "a rider id " + std::to_string(rider.Id) + " is not below 32";
    else if (rider.Team < 0 || rider.Team >= kChampTeams)
        error = who + " has the team " + std::to_string(rider.Team);
    else if (rider.Points < -1 || rider.Scores < 0 || rider.Scores > kChampEvents * 2)
        error = who + " has damaged points";
    else if (rider.Kind > kEntryComputer)
        error = who + " has the entry kind " + std::to_string(rider.Kind);
    else if (rider.Entered > 1)
        error = who + " has a damaged entered flag";
    return error.empty();
}

// The part of the record that is checked as a whole.
bool CheckRecord(const Championship& champ, std::string& error)
{
    if (champ.CurrentEventIndex < 0 || champ.CurrentEventIndex >= kChampEvents) {
        error = "the current event " + std::to_string(champ.CurrentEventIndex) + " is not 0..11";
        return false;
    }
    std::bitset<kChampRiders> ids;
    int entered = 0;
    for (const ChampionshipRider& rider : champ.Riders) {
        if (ids.test(rider.Id)) {
            error = "rider " + std::to_string(rider.Id) + " is listed twice";
            return false;
        }
        ids.set(rider.Id);
        entered += rider.Entered;
    }
    if (champ.EnteredRiders != entered) {
        error = "the count of entered riders (" + std::to_string(champ.EnteredRiders) + ") does not match the entries";
        return false;
    }
    if (champ.RenamedRider < -1 || champ.RenamedRider >= kChampRiders) {
        error = "the renamed rider " + std::to_string(champ.RenamedRider) + " is not below 32";
        return false;
    }
    if (champ.GameMode < 0 || champ.GameMode >= kGameModes) {
        error = "the game mode " + std::to_string(champ.GameMode) + " is not 0..4";
        return false;
    }
    if (champ.ClassIndex < 0 || champ.ClassIndex >= kRiderClasses) {
        error = "the rider class " + std::to_string(champ.ClassIndex) + " is not 0..7";
        return false;
    }
    return true;
}

void WriteHeader(ByteWriter& out, const Championship& champ)
{
    WriteText(out, champ.FileName, sizeof champ.FileName);
    WriteText(out, champ.Name, sizeof champ.Name);
    WriteText(out, champ.PlayerName, sizeof champ.PlayerName);
    out.i32(champ.CurrentEventIndex);
    out.i32(champ.PlayerStanding);
    out.i32(champ.PlayerPoints);
}

bool CheckSize(const std::vector<std::uint8_t>& bytes, std::string& error)
{
    if (bytes.size() == kChampionshipSaveBytes)
        return true;
    error = std::string(bytes.size() < kChampionshipSaveBytes ? "short file" : "wrong size") + ": " +
            std::to_string(bytes.size()) + " bytes instead of " + std::to_string(kChampionshipSaveBytes);
    return false;
}

} // namespace

std::vector<std::uint8_t> BuildChampionshipSave(const Championship& champ, const SavedSettings& settings)
{
    std::vector<std::uint8_t> bytes;
    bytes.reserve(kChampionshipSaveBytes);
    ByteWriter out(bytes);
    WriteHeader(out, champ);
    for (const ChampionshipEvent& event : champ.Events) {
        out.i32(event.SessionKind);
        for (const auto& block : event.Results)
            for (const ChampionshipResult& result : block)
                WriteResult(out, result);
    }
    out.i32(champ.EnteredRiders);
    for (const ChampionshipRider& rider : champ.Riders)
        WriteRider(out, rider);
    out.u8(champ.StandingsSorted);
    out.zeros(3);
    out.i32(champ.RenamedRider);
    WriteText(out, champ.OldName, kOldNameBytes);
    out.zeros(3);
    out.zeros(4 * kChampRiders);  // the standings' pointer slots
    out.i32(champ.GameMode);
    out.i32(champ.ClassIndex);
    WriteText(out, champ.SessionTitle, sizeof champ.SessionTitle);
    out.zeros(kReservedAfterTitle);

    for (std::int32_t option : settings.RaceOptions)
        out.i32(option);
    out.u8(settings.GearChoice);
    out.i32(settings.RealismLevel);
    WriteBikeSetup(out, settings.Setup);
    return bytes;
}

namespace {

bool ParseSaveBody(const std::vector<std::uint8_t>& bytes, Championship& champ, SavedSettings& settings,
                   std::string& error)
{
    ByteReader in(bytes);
    const bool header = ReadText(in, champ.FileName, sizeof champ.FileName, "the file name", error) &&
                        ReadText(in, champ.Name, sizeof champ.Name, "the championship name", error) &&
                        ReadText(in, champ.PlayerName, sizeof champ.PlayerName, "the player name", error);
    if (!header)
        return false;
    champ.CurrentEventIndex = in.i32();
    champ.PlayerStanding = in.i32();
    champ.PlayerPoints = in.i32();
    for (int e = 0; e < kChampEvents; ++e) {
        if (!ReadEvent(in, champ.Events[e], e, error))
            return false;
    }
    champ.EnteredRiders = in.i32();
    for (ChampionshipRider& rider : champ.Riders) {
        if (!ReadRider(in, rider, error))
            return false;
    }
    champ.StandingsSorted = in.u8();
    in.skip(3);
    champ.RenamedRider = in.i32();
    if (!ReadText(in, champ.OldName, kOldNameBytes, "the renamed rider's own name", error))
        return false;
    in.skip(3);
    in.skip(4 * kChampRiders);  // pointer slots: rebuilt before use
    champ.GameMode = in.i32();
    champ.ClassIndex = in.i32();
    if (!ReadText(in, champ.SessionTitle, sizeof champ.SessionTitle, "the session title", error))
        return false;
    in.skip(kReservedAfterTitle);

    for (std::int32_t& option : settings.RaceOptions)
        option = in.i32();
    settings.GearChoice = in.u8();
    settings.RealismLevel = in.i32();
    if (!ReadBikeSetup(in, &settings.Setup) || !in.ok() || in.remaining() != 0) {
        error = "the file ends early";
        return false;
    }
    champ.Standings.fill(nullptr);
    champ.StandingsSorted = 0;
    return CheckRecord(champ, error);
}

} // namespace

bool ParseChampionshipSave(const std::vector<std::uint8_t>& bytes, Championship& champ, SavedSettings& settings,
                           std::string& error)
{
    error.clear();
    if (!CheckSize(bytes, error))
        return false;
    if (ParseSaveBody(bytes, champ, settings, error))
        return true;
    if (error.empty())
        error = "the file ends early";
    return false;
}

bool ParseSaveHeader(const std::vector<std::uint8_t>& bytes, SaveHeader& header, std::string& error)
{
    error.clear();
    if (!CheckSize(bytes, error))
        return false;
    ByteReader in(bytes);
    bool terminated[3] = {};
    header.FileName = in.fixed_string(260, &terminated[0]);
    header.Name = in.fixed_string(20, &terminated[1]);
    header.PlayerName = in.fixed_string(24, &terminated[2]);
    header.CurrentEvent = in.i32();
    header.PlayerStanding = in.i32();
    header.PlayerPoints = in.i32();
    if (!in.ok() || !terminated[0] || !terminated[1] || !terminated[2]) {
        error = "a name in the header is not terminated";
        return false;
    }
    if (header.CurrentEvent < 0 || header.CurrentEvent >= kChampEvents) {
        error = "the current event " + std::to_string(header.CurrentEvent) + " is not 0..11";
        return false;
    }
    return true;
}
