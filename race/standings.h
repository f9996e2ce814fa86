#pragma once

#include <array>
#include <cstdint>

class Bike;

// The race's two orders of its riders and the sorts behind them. Each order
// holds bike indices: the track order by distance along the lap (who is just
// ahead and behind on the road), the standing order by classification. The
// sorts are stable bubble sorts that swap a pair only when it is strictly
// out of order, so riders that compare equal keep their previous places.

// At most this many riders take part in a race.
inline constexpr int kMaxRaceRiders = 32;

using RiderOrder = std::array<std::int32_t, kMaxRaceRiders>;

// 0, 1, 2, ...: the orders before anything has been sorted.
constexpr RiderOrder IdentityRiderOrder()
{
    RiderOrder order{};
    for (int i = 0; i < kMaxRaceRiders; ++i)
        order[static_cast<std::size_t>(i)] = i;
    return order;
}

// The track order: distance along the lap, largest first.
void SortByLapDistance(const Bike* bikes, std::int32_t* order, int count);

// A race's standing order: the leading run of finished riders keeps its
// places; the rest are sorted by laps x lap length + distance along the lap,
// largest first. Returns the first place that was sorted.
int SortRaceStandings(const Bike* bikes, std::int32_t* order, int count, float lapLength);

// A practice-type session's standing order: best lap, smallest first.
void SortByBestLap(const Bike* bikes, std::int32_t* order, int count);

// The classification at the end of a race: race time, smallest first.
void SortByRaceTime(const Bike* bikes, std::int32_t* order, int count);

// Standing positions (place + 1) along the order, from place `first` on.
void AssignStandingPositions(Bike* bikes, const std::int32_t* order, int count, int first);

// Each rider's neighbours on the road, round the track order as a ring.
void LinkTrackNeighbours(Bike* bikes, const std::int32_t* order, int count);
