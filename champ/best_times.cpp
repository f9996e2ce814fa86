#include "champ/best_times.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

#include "app/game_error.h"
#include "app/typed_list.h"

bool ReadRiderTimes(RiderTimes& times)
{
    times = RiderTimes{};
    float values[kTimesRiders * kTimesTracks] = {};
    const int count = ReadTypedList(kTimesFilePath, kTimesListName, values, 4, 4, kTimesRiders * kTimesTracks);
    for (int i = 0; i < count; ++i)
        times.Times[i / kTimesTracks][i % kTimesTracks] = values[i];
    return count > 0;
}

void OrderRidersByTime(const RiderTimes& times, int track, std::span<std::int32_t, kTimesRiders> out)
{
    if (track >= kTimesTracks)
        throw GameError("out of range");
    std::array<std::pair<float, std::int32_t>, kTimesRiders> keys;
    for (int rider = 0; rider < kTimesRiders; ++rider) {
        float key = 0.0f;
        if (track >= 0) {
            key = times.Times[rider][track];
        } else {
            for (float t : times.Times[rider])
                key += t;
        }
        // A value that cannot be compared sorts as the slowest.
        if (!std::isfinite(key))
            key = 3.4028235e38f;
        keys[rider] = {key, rider};
    }
    std::sort(keys.begin(), keys.end());
    for (int i = 0; i < kTimesRiders; ++i)
        out[i] = keys[i].second;
}

void LoadBestTimes(int track, std::span<std::int32_t, kTimesRiders> out)
{
    RiderTimes times;
    ReadRiderTimes(times);
    OrderRidersByTime(times, track, out);
}
