#pragma once

#include <cstddef>
#include <cstdint>

#include "sim/rider_states.h"

struct RaceContext;

// The race's animation sets of the rider and the bike, read from the lists
// "RIDER_ANIMATIONS" (one record per rider state 0..70) and
// "BIKE_ANIMATIONS" (two records: the bike falling to one side and to the
// other) of "Data\Info.dat". The rider state machine reads the frame counts,
// follow-up lists and speed thresholds; the snapshots read the attachment
// word; the race's model code links the named animations to the instances.

inline constexpr int kFollowUpSlots = 5;
inline constexpr int kBikeAnimationRecords = 2;
// Animation frames per second.
inline constexpr float kAnimationFramesPerSecond = 18.0f;
// Seconds per animation frame (the single-precision value the timing uses).
inline constexpr float kSecondsPerFrame = 0.055555556f;
// km/h to m/s.
inline constexpr float kKmhToMs = 0.2777778f;

// One 68-byte record, typed fields i i i i i i f i i s:
//   FollowUp[5]  the states that may follow when the animation ends; the list
//                ends at the first -1
//   FrameCount   length of the animation in frames (18 per second); 0 = not
//                timed (the state is left by its own rules only)
//   SpeedKmh     speed threshold of this state as a follow-up: positive = at
//                least this speed, negative = at most its magnitude, 0 = any
//   Attached     non-zero: the rider follows the bike in this state; 0: the
//                rider is posed by its own position and angles
//   Spare        kept, unused
//   Name         the animation's name in the race's animation library
struct RiderAnimationRecord {
    std::int32_t FollowUp[kFollowUpSlots];
    std::int32_t FrameCount;
    float SpeedKmh;
    std::int32_t Attached;
    std::int32_t Spare;
    char Name[32];
};
static_assert(sizeof(RiderAnimationRecord) == 68, "an animation record is 68 bytes");
static_assert(offsetof(RiderAnimationRecord, FrameCount) == 20 && offsetof(RiderAnimationRecord, SpeedKmh) == 24 &&
                  offsetof(RiderAnimationRecord, Attached) == 28 && offsetof(RiderAnimationRecord, Name) == 36,
              "fields at the offsets their typed fields fill");

// The hash under which the race's animation library knows a name (the
// engine's name hash of the name padded with zero bytes). The simulation
// sits below the engine and is handed it.
using AnimationNameHash = std::uint32_t (*)(const char* name);

struct RiderStateTable {
    RiderAnimationRecord RiderRecords[kRiderStateRecords] = {};
    RiderAnimationRecord BikeRecords[kBikeAnimationRecords] = {};
    // Name hashes of every record (0 when the table was read without a hash).
    std::uint32_t RiderHash[kRiderStateRecords] = {};
    std::uint32_t BikeHash[kBikeAnimationRecords] = {};

    // The record of a state; null outside 0..70.
    const RiderAnimationRecord* Record(std::int32_t state) const
    {
        return HasStateRecord(state) ? &RiderRecords[state] : nullptr;
    }
    // The state's frame count; 0 for states without a record.
    std::int32_t FrameCount(std::int32_t state) const
    {
        const RiderAnimationRecord* r = Record(state);
        return r ? r->FrameCount : 0;
    }
    // Speed threshold of a state as a follow-up, m/s (0 without a record).
    float ThresholdSpeed(std::int32_t state) const
    {
        const RiderAnimationRecord* r = Record(state);
        return r ? r->SpeedKmh * kKmhToMs : 0.0f;
    }
    // Entries of the state's follow-up list before its first -1.
    int FollowUpCount(std::int32_t state) const;
    // True when the rider follows the bike in this state: every negative
    // state, and the states whose record has a non-zero attachment word.
    bool Attached(std::int32_t state) const;
};

// Checks one record as the state machine relies on it: follow-ups up to the
// first -1 within -1 .. 70, a frame count of 0 or more, a finite speed
// threshold. Returns what is wrong, or null.
const char* FindBadAnimationRecord(const RiderAnimationRecord& record);

// Reads both lists of `infoPath` (from disk, else its archive) into a table
// and hashes every name with `hash` (null: the hashes stay 0, and the
// simulation asks for no animation). Fewer or more than 71 rider records
// or 2 bike records, or a bad record, throws a GameError naming the list,
// the record and the value.
RiderStateTable ReadRiderStateTable(const char* infoPath, AnimationNameHash hash);

// Hands a table to the simulation (null takes it back): the race record
// points at it and takes its two bike animation hashes.
void InstallRiderStateTable(RaceContext& race, const RiderStateTable* table);
