#pragma once

#include <cstddef>
#include <cstdint>

// One rider's entry of the race's bike table (the list "BIKES" of
// "Data\Info.dat", 36 bytes per rider, indexed by rider id). The bike keeps a
// pointer to its rider's entry; the race owns the table.
struct GridEntry {
    std::int32_t PitSlot = 0;      // the rider's pit-lane slot (and grid slot in practice), 0..31
    std::int32_t Model = 0;        // bike model 0..4
    float PassMargin = 0.0f;       // extra room other riders leave this bike, m
    std::int32_t Spare3 = 0;       // kept as read
    std::int32_t Spare4 = 0;       // kept as read
    float BikeVariant = 0.0f;      // material set of the bike (0 for a human)
    float RiderVariant = 0.0f;     // material set of the rider (1.0 for a human)
    float RefLapTime = 0.0f;       // reference lap time, s (the race fills it)
    float PowerDivisor = 0.0f;     // computer rider's power is divided by its fifth power
};
static_assert(sizeof(GridEntry) == 36, "a bike table record is nine words");

inline constexpr int kPitSlotCount = 32;
inline constexpr int kBikeModelCount = 5;
