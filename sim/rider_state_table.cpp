#include "sim/rider_state_table.h"

#include <cmath>
#include <cstring>
#include <span>

#include "app/game_error.h"
#include "app/typed_list.h"
#include "sim/race_context.h"

namespace {

constexpr const char* kRiderList = "RIDER_ANIMATIONS";
constexpr const char* kBikeList = "BIKE_ANIMATIONS";

// Reads one list into `records`: exactly `expected` records, each checked.
// One slot more than expected lets a longer list be told from an exact one.
template <std::size_t N>
void ReadAnimationList(const char* infoPath, const char* listName, RiderAnimationRecord (&records)[N], int expected)
{
    RiderAnimationRecord buffer[N + 1] = {};
    TypedListReport report;
    const int read = ReadTypedList(infoPath, listName, std::span(buffer), static_cast<int>(sizeof(RiderAnimationRecord)),
                                   &report);
    const int total = read + report.records_skipped;
    if (total != expected || report.fields_not_fitting != 0)
        ThrowGameError("The list %s of %s holds %d animation records, not %d", listName, infoPath, total, expected);
    for (int k = 0; k < expected; ++k) {
        RiderAnimationRecord& r = buffer[k];
        r.Name[sizeof r.Name - 1] = '\0';
        if (const char* bad = FindBadAnimationRecord(r))
            ThrowGameError("Bad %s in record %d (%s) of the list %s of %s", bad, k, r.Name, listName, infoPath);
        records[k] = r;
    }
}

// The name as the animation library hashes it: the 32-byte field with
// three zero bytes behind it.
std::uint32_t HashName(const RiderAnimationRecord& record, AnimationNameHash hash)
{
    if (!hash)
        return 0;
    char padded[sizeof record.Name + 3] = {};
    std::memcpy(padded, record.Name, sizeof record.Name);
    return hash(padded);
}

} // namespace

int RiderStateTable::FollowUpCount(std::int32_t state) const
{
    const RiderAnimationRecord* r = Record(state);
    if (!r)
        return 0;
    int n = 0;
    while (n < kFollowUpSlots && r->FollowUp[n] != -1)
        ++n;
    return n;
}

bool RiderStateTable::Attached(std::int32_t state) const
{
    const RiderAnimationRecord* r = Record(state);
    return state < 0 || (r && r->Attached != 0);
}

const char* FindBadAnimationRecord(const RiderAnimationRecord& record)
{
    for (int k = 0; k < kFollowUpSlots; ++k) {
        const std::int32_t s = record.FollowUp[k];
        if (s == -1)
            break; // entries after the end of the list are never read
        if (!IsFollowUpValue(s))
            return "follow-up state";
    }
    if (record.FrameCount < 0)
        return "frame count";
    if (!std::isfinite(record.SpeedKmh))
        return "speed threshold";
    return nullptr;
}

RiderStateTable ReadRiderStateTable(const char* infoPath, AnimationNameHash hash)
{
    RiderStateTable table;
    ReadAnimationList(infoPath, kRiderList, table.RiderRecords, kRiderStateRecords);
    ReadAnimationList(infoPath, kBikeList, table.BikeRecords, kBikeAnimationRecords);
    for (int k = 0; k < kRiderStateRecords; ++k)
        table.RiderHash[k] = HashName(table.RiderRecords[k], hash);
    for (int k = 0; k < kBikeAnimationRecords; ++k)
        table.BikeHash[k] = HashName(table.BikeRecords[k], hash);
    return table;
}

void InstallRiderStateTable(RaceContext& race, const RiderStateTable* table)
{
    race.RiderStates = table;
    for (int k = 0; k < kBikeAnimationRecords; ++k)
        race.BikeAnimations[k] = table ? table->BikeHash[k] : 0u;
}
