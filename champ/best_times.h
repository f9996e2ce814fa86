#pragma once

#include <cstdint>
#include <span>

// The computer riders' reference lap times per track, from the typed list
// "RIDERS_TIMES" of "Data\Times.dat": 216 float values, 18 groups (one per
// computer rider, ids 0..17) of 12 (one per track, in event order). They
// order the computer riders from fastest to slowest on a track, or over the
// whole season.

inline constexpr const char* kTimesFilePath = "Data\\Times.dat";
inline constexpr const char* kTimesListName = "RIDERS_TIMES";
inline constexpr int kTimesRiders = 18;
inline constexpr int kTimesTracks = 12;

struct RiderTimes {
    float Times[kTimesRiders][kTimesTracks] = {};
};

// Reads the times; a missing file or list leaves zeros (false). Values the
// list lacks stay zero.
bool ReadRiderTimes(RiderTimes& times);

// The 18 rider ids ordered by their time on the track (track 0..11) or by
// the sum of their times over every track (track < 0), fastest first; equal
// times keep the lower id first. Throws "out of range" for a track of 12 or
// more.
void OrderRidersByTime(const RiderTimes& times, int track, std::span<std::int32_t, kTimesRiders> out);

// ReadRiderTimes, then OrderRidersByTime.
void LoadBestTimes(int track, std::span<std::int32_t, kTimesRiders> out);
