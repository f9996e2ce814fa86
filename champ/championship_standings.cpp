#include <algorithm>

#include "app/game_error.h"
#include "champ/championship.h"

// Results, points and standings of the championship.

namespace {

// Standing order: points descending, then fewer scoring results first, then
// rider id. Rider ids are unique, so two different entries never compare
// equal and an entry compared with itself is simply not before itself.
bool StandingBefore(const ChampionshipRider& a, const ChampionshipRider& b)
{
    if (a.Points != b.Points)
        return a.Points > b.Points;
    if (a.Scores != b.Scores)
        return a.Scores < b.Scores;
    return a.Id < b.Id;
}

// The grid's order: the computer riders (ids below 18) first, then the
// standing order.
bool ComputerFirstBefore(const ChampionshipRider& a, const ChampionshipRider& b)
{
    const bool aComputer = a.Id < kChampComputerRiders;
    const bool bComputer = b.Id < kChampComputerRiders;
    if (aComputer != bComputer)
        return aComputer;
    return StandingBefore(a, b);
}

// A time that cannot be compared (a damaged value) sorts as the slowest.
float Comparable(float time)
{
    return time == time ? time : 3.4028235e38f;
}

// Result orders of the standings: by a time ascending, then rider id; empty
// slots last.
template <float ChampionshipResult::*Time>
bool TimeBefore(const ChampionshipResult* a, const ChampionshipResult* b)
{
    if (!a || !b)
        return a && !b;
    const float ta = Comparable(a->*Time);
    const float tb = Comparable(b->*Time);
    if (ta != tb)
        return ta < tb;
    return a->RiderId < b->RiderId;
}

} // namespace

void Championship::SortStandings()
{
    if (StandingsSorted)
        return;
    std::sort(std::begin(Riders), std::end(Riders), StandingBefore);
    StandingsSorted = 1;
}

void Championship::SortComputerRidersFirst()
{
    std::sort(std::begin(Riders), std::end(Riders), ComputerFirstBefore);
    // Not the standing order: the next reader of the standings sorts again.
    StandingsSorted = 0;
}

void Championship::BuildStandings(int event, int kind)
{
    GetEvent(event);  // "out of range"
    if (kind < 0 || kind > kSessionLast)
        throw GameError("undef session");

    StandingsSorted = 0;
    SortStandings();

    const bool kept = kind < kChampResultBlocks;
    for (int slot = 0; slot < kChampRiders; ++slot) {
        const ChampionshipRider& rider = Riders[slot];
        Standings[slot] = nullptr;
        if (!rider.Entered || !kept)
            continue;
        ChampionshipResult& result = Events[event].GetRiderResult(kind, rider.Id);
        std::uint32_t points = 0;
        for (int e = 0; e <= event; ++e) {
            for (int race = kSessionFirstRace; race <= kSessionSecondRace; ++race) {
                const ChampionshipResult& r = Events[e].GetRiderResult(race, rider.Id);
                if (r.Position != kNoPosition)
                    points += static_cast<std::uint32_t>(PointsForPosition(r.Position));
            }
        }
        result.Points = points;
        Standings[slot] = &result;
    }

    // Every slot is sorted, the empty ones going last. The entered riders
    // need not hold the first slots: a rider who is no longer entered but
    // kept his points stands among them in the points order and leaves an
    // empty slot there.
    if (kind == kSessionFirstTimed || kind == kSessionSecondTimed) {
        std::sort(Standings.begin(), Standings.end(), TimeBefore<&ChampionshipResult::TimeB>);
    } else if (kind == kSessionFirstRace || kind == kSessionSecondRace) {
        std::sort(Standings.begin(), Standings.end(), TimeBefore<&ChampionshipResult::TimeC>);
    }
}

void Championship::StoreResult(int position, int id, float a, float b, float c, std::uint32_t status,
                               std::uint8_t extra)
{
    const std::int32_t kind = GetSessionKind();
    if (kind >= kSessionOtherFirst && kind <= kSessionLast)
        return;  // these sessions keep no results
    if (kind < 0 || kind > kSessionLast)
        throw GameError("undef session");
    const bool race = kind == kSessionFirstRace || kind == kSessionSecondRace;
    // Checked before anything changes, so a refused result leaves no trace.
    if (race && (position < 0 || position >= kChampRiders))
        throw GameError("troppi piloti");
    ChampionshipRider& rider = FindRider(id);
    ChampionshipResult& result = CurrentEvent().GetRiderResult(kind, id);

    StandingsSorted = 0;
    if (race) {
        rider.Points = std::max(rider.Points, 0) + PointsForPosition(position);
        ++rider.Scores;
        result.Position = static_cast<std::uint8_t>(position);
        result.TimeA = a;
        result.TimeB = b;
        // The local player without the finish does not take a race time,
        // so every finisher ranks before him.
        result.TimeC = (rider.Kind == kEntryLocalPlayer && !(status & kRiderStatusFinished)) ? kNoTime : c;
    } else {
        result.Position = 0;
        result.TimeA = a;
        result.TimeB = b;
        result.TimeC = c;
    }
    result.Extra = extra;
}

void Championship::StoreRaceResults(std::span<const RaceResultLine> lines)
{
    for (std::size_t p = 0; p < lines.size(); ++p) {
        const RaceResultLine& line = lines[p];
        StoreResult(static_cast<int>(p), line.RiderId, line.TimeA, line.TimeB, line.TimeC, line.Status, line.Laps);
    }
}

void Championship::ApplyEventTimes(std::span<RaceResultLine> lines) const
{
    const std::int32_t kind = GetSessionKind();
    int block;
    if (kind == kSessionSecondTimed)
        block = kSessionFirstTimed;
    else if (kind == kSessionFirstRace || kind == kSessionSecondRace)
        block = kSessionSecondTimed;
    else
        return;
    const ChampionshipEvent& event = CurrentEvent();
    for (RaceResultLine& line : lines) {
        if (line.RiderId < 0 || line.RiderId >= kChampRiders)
            continue;  // a race slot without a championship rider
        line.TimeB = event.GetRiderResult(block, line.RiderId).TimeB;
    }
}
