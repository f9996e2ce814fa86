#include "champ/championship.h"

#include <algorithm>
#include <cstring>

#include "app/game_error.h"
#include "app/text_source.h"
#include "champ/riders_file.h"
#include "platform/message_box.h"

namespace {

constexpr std::int32_t kPoints[15] = {25, 20, 16, 13, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1};

} // namespace

std::int32_t PointsForPosition(std::int32_t position)
{
    if (position < 0 || position >= 15)
        return 0;
    return kPoints[position];
}

void CopyField(char* field, std::size_t fieldSize, const char* text, std::size_t chars)
{
    if (fieldSize == 0)
        return;
    if (text == nullptr)
        text = "";
    const std::size_t limit = std::min(chars, fieldSize - 1);
    std::size_t length = 0;
    while (length < limit && text[length] != '\0')
        ++length;
    // The text may be the field itself, or overlap it.
    std::memmove(field, text, length);
    std::memset(field + length, 0, fieldSize - length);
}

// ---------------------------------------------------------------------------
// ChampionshipEvent

void ChampionshipEvent::Reset()
{
    SessionKind = kSessionOtherFirst;
    ClearResults();
}

void ChampionshipEvent::ClearResults()
{
    for (auto& block : Results) {
        for (int r = 0; r < kChampRiders; ++r) {
            block[r] = ChampionshipResult{};
            block[r].RiderId = static_cast<std::uint8_t>(r);
        }
    }
}

ChampionshipResult& ChampionshipEvent::GetRiderResult(int block, int riderId)
{
    return const_cast<ChampionshipResult&>(static_cast<const ChampionshipEvent&>(*this).GetRiderResult(block, riderId));
}

const ChampionshipResult& ChampionshipEvent::GetRiderResult(int block, int riderId) const
{
    if (block >= 0 && block < kChampResultBlocks) {
        for (const ChampionshipResult& result : Results[block]) {
            if (result.RiderId == riderId)
                return result;
        }
    }
    throw GameError("non trovato");
}

// ---------------------------------------------------------------------------
// Championship: construction

Championship::Championship()
{
    for (int i = 0; i < kChampRiders; ++i)
        Riders[i].Id = i;
}

Championship::Championship(const char* fileName) : Championship()
{
    Reset(fileName);
    LoadRiders();
    std::memset(FileName, 0, sizeof FileName);
    std::memset(Name, 0, sizeof Name);
}

void Championship::Reset(const char* name)
{
    if (name == nullptr)
        name = "";
    const char* part = name;
    for (const char* p = name; *p; ++p) {
        if (*p == '\\' || *p == '/')
            part = p + 1;
    }
    CopyField(FileName, part, kSaveNameChars);

    std::string title(part);
    title = title.substr(0, title.find('.'));
    while (!title.empty() && (title.back() == ' ' || title.back() == '\r' || title.back() == '\n'))
        title.pop_back();
    CopyField(Name, title.c_str(), kChampNameChars);

    CurrentEventIndex = 0;
    for (ChampionshipRider& rider : Riders) {
        rider.Points = -1;
        rider.Scores = 0;
        rider.Kind = kEntryNone;
        rider.Entered = 0;
    }
    EnteredRiders = 0;
    RenamedRider = -1;
    std::memset(OldName, 0, sizeof OldName);
    // A new championship starts without the results of the last one, which
    // would otherwise count in its standings.
    for (ChampionshipEvent& event : Events)
        event.ClearResults();
    Standings.fill(nullptr);
    StandingsSorted = 0;
}

void Championship::LoadRiders()
{
    TextSource text;
    if (!text.open(kRidersFilePath)) {
        platform::message_box("riders.txt file not found", "Error", platform::MB_ICONHAND);
        throw GameError("riders.txt file not found");
    }
    const RidersList list = ReadRidersList(text);
    for (int t = 0; t < kChampTeams; ++t)
        CopyField(TeamNames[t], list.Teams[t].c_str(), kTeamNameChars);
    for (std::size_t i = 0; i < list.Riders.size(); ++i) {
        ChampionshipRider& rider = FindRider(static_cast<int>(i));
        CopyField(rider.Name, list.Riders[i].Name.c_str(), kRiderNameChars);
        rider.Team = list.Riders[i].Team;
    }
}

// ---------------------------------------------------------------------------
// Queries

ChampionshipEvent& Championship::GetEvent(int index)
{
    return const_cast<ChampionshipEvent&>(static_cast<const Championship&>(*this).GetEvent(index));
}

const ChampionshipEvent& Championship::GetEvent(int index) const
{
    if (index < 0 || index >= kChampEvents)
        throw GameError("out of range");
    return Events[index];
}

std::int32_t Championship::GetSessionKind() const
{
    return CurrentEvent().SessionKind;
}

void Championship::SetSessionKind(std::int32_t kind)
{
    if (kind < -1 || kind > kSessionLast)
        throw GameError("undef session");
    CurrentEvent().SessionKind = kind;
}

ChampionshipRider* Championship::FindRiderOrNull(int id)
{
    return const_cast<ChampionshipRider*>(static_cast<const Championship&>(*this).FindRiderOrNull(id));
}

const ChampionshipRider* Championship::FindRiderOrNull(int id) const
{
    for (const ChampionshipRider& rider : Riders) {
        if (rider.Id == id)
            return &rider;
    }
    return nullptr;
}

ChampionshipRider& Championship::FindRider(int id)
{
    if (ChampionshipRider* rider = FindRiderOrNull(id))
        return *rider;
    throw GameError("not found");
}

const ChampionshipRider& Championship::FindRider(int id) const
{
    if (const ChampionshipRider* rider = FindRiderOrNull(id))
        return *rider;
    throw GameError("not found");
}

std::int32_t Championship::PlayerRider() const
{
    for (const ChampionshipRider& rider : Riders) {
        if (rider.Kind == kEntryLocalPlayer)
            return rider.Id;
    }
    return -1;
}

const char* Championship::TeamName(int team) const
{
    if (team < 0 || team >= kChampTeams)
        throw GameError("out of range");
    return TeamNames[team];
}

const char* Championship::GetRiderInfo(const ChampionshipRider& entry) const
{
    return TeamName(entry.Team);
}

void Championship::GetRiderTotals(int slot, std::int32_t& id, std::int32_t& points)
{
    if (slot < 0 || slot >= kChampRiders)
        throw GameError("out of range");
    SortStandings();
    id = Riders[slot].Id;
    points = Riders[slot].Points;
}

std::int32_t Championship::GetStandingPosition(int riderId)
{
    SortStandings();
    for (int i = 0; i < kChampRiders; ++i) {
        if (Riders[i].Id == riderId)
            return i;
    }
    throw GameError("not found");
}

int Championship::CurrentResultBlock() const
{
    const std::int32_t kind = GetSessionKind();
    return kind >= 0 && kind < kChampResultBlocks ? kind : -1;
}

RiderPlacing Championship::GetResultAtPosition(int position) const
{
    const int block = CurrentResultBlock();
    if (block >= 0 && position >= 0 && position < kNoPosition) {
        for (const ChampionshipResult& result : CurrentEvent().Results[block]) {
            if (result.Position == position)
                return {result.RiderId, result.Position, result.TimeA, result.TimeB, result.TimeC};
        }
    }
    throw GameError("not found");
}

RiderPlacing Championship::FindRiderPosition(int riderId) const
{
    const int block = CurrentResultBlock();
    if (block >= 0) {
        for (const ChampionshipRider& rider : Riders) {
            if (!rider.Entered || rider.Id != riderId)
                continue;
            const ChampionshipResult& result = CurrentEvent().GetRiderResult(block, riderId);
            return {result.RiderId, result.Position, result.TimeA, result.TimeB, result.TimeC};
        }
    }
    throw GameError("not found");
}

// ---------------------------------------------------------------------------
// Changes

void Championship::AddEntry(int id, std::uint32_t kind)
{
    ChampionshipRider* rider = FindRiderOrNull(id);
    if (!rider)
        throw GameError("bike not found");
    if (!rider->Entered) {
        rider->Entered = 1;
        ++EnteredRiders;
    }
    if (rider->Points < 0)
        rider->Points = 0;
    rider->Kind = kind;
    StandingsSorted = 0;
}

void Championship::RemoveEntry(int id)
{
    ChampionshipRider& rider = FindRider(id);
    if (rider.Entered) {
        rider.Entered = 0;
        --EnteredRiders;
    }
    rider.Points = -1;
    rider.Scores = 0;
    rider.Kind = kEntryNone;
    StandingsSorted = 0;
}

void Championship::SetPlayerRider(int id)
{
    if (!FindRiderOrNull(id))
        throw GameError("bike not found");
    const std::int32_t current = PlayerRider();
    if (current >= 0)
        RemoveEntry(current);
    AddEntry(id, kEntryLocalPlayer);
}

void Championship::ClearEntries()
{
    for (ChampionshipRider& rider : Riders) {
        rider.Entered = 0;
        rider.Points = -1;
        rider.Scores = 0;
        rider.Kind = kEntryNone;
    }
    EnteredRiders = 0;
    StandingsSorted = 0;
}

void Championship::RenameRider(int id, const char* name)
{
    RestoreRiderName();
    ChampionshipRider& rider = FindRider(id);
    CopyField(OldName, rider.Name, kRiderNameChars);
    CopyField(rider.Name, name, kRiderNameChars);
    RenamedRider = id;
}

void Championship::RestoreRiderName()
{
    if (RenamedRider < 0)
        return;
    if (ChampionshipRider* rider = FindRiderOrNull(RenamedRider))
        CopyField(rider->Name, OldName, kRiderNameChars);
    RenamedRider = -1;
    std::memset(OldName, 0, sizeof OldName);
}

void Championship::CopyResultBlock(int event, int fromBlock, int toBlock)
{
    ChampionshipEvent& e = GetEvent(event);
    if (fromBlock < 0 || fromBlock >= kChampResultBlocks || toBlock < 0 || toBlock >= kChampResultBlocks)
        throw GameError("out of range");
    if (fromBlock == toBlock)
        return;
    std::copy(std::begin(e.Results[fromBlock]), std::end(e.Results[fromBlock]), std::begin(e.Results[toBlock]));
}

void Championship::TakeRecord(const Championship& from)
{
    std::memcpy(FileName, from.FileName, sizeof FileName);
    std::memcpy(Name, from.Name, sizeof Name);
    std::memcpy(PlayerName, from.PlayerName, sizeof PlayerName);
    CurrentEventIndex = from.CurrentEventIndex;
    PlayerStanding = from.PlayerStanding;
    PlayerPoints = from.PlayerPoints;
    std::copy(std::begin(from.Events), std::end(from.Events), std::begin(Events));
    EnteredRiders = from.EnteredRiders;
    std::copy(std::begin(from.Riders), std::end(from.Riders), std::begin(Riders));
    RenamedRider = from.RenamedRider;
    std::memcpy(OldName, from.OldName, sizeof OldName);
    GameMode = from.GameMode;
    ClassIndex = from.ClassIndex;
    std::memcpy(SessionTitle, from.SessionTitle, sizeof SessionTitle);
    Standings.fill(nullptr);
    StandingsSorted = 0;
}
