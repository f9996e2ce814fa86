#include "race/standings.h"

#include <utility>

#include "race/race.h"
#include "sim/bike.h"

namespace {

// Bubble sort of order[first..count): each pass one pair shorter, until a
// pass makes no swap. `outOfOrder(a, b)` is true when the rider a, placed
// before b, must swap with it.
template <typename OutOfOrder>
void BubbleSort(std::int32_t* order, int first, int count, OutOfOrder outOfOrder)
{
    for (int end = count; end - first > 1; --end) {
        bool swapped = false;
        for (int k = first; k + 1 < end; ++k) {
            if (outOfOrder(order[k], order[k + 1])) {
                std::swap(order[k], order[k + 1]);
                swapped = true;
            }
        }
        if (!swapped)
            break;
    }
}

// How far the rider has come in the race. A finished rider stands where it
// finished, at the line after its last lap: its run on to the pits after
// the line does not carry it past riders still racing.
float RaceDistance(const Bike& bike, float lapLength)
{
    if (bike.Status & kBikeFinished)
        return static_cast<float>(bike.Laps) * lapLength;
    return static_cast<float>(bike.Laps) * lapLength + bike.Progress;
}

} // namespace

void SortByLapDistance(const Bike* bikes, std::int32_t* order, int count)
{
    BubbleSort(order, 0, count, [bikes](int a, int b) { return bikes[a].Progress < bikes[b].Progress; });
}

int SortRaceStandings(const Bike* bikes, std::int32_t* order, int count, float lapLength)
{
    int first = 0;
    while (first < count && (bikes[order[first]].Status & kBikeFinished))
        ++first;
    BubbleSort(order, first, count, [bikes, lapLength](int a, int b) {
        return RaceDistance(bikes[b], lapLength) > RaceDistance(bikes[a], lapLength);
    });
    return first;
}

void SortByBestLap(const Bike* bikes, std::int32_t* order, int count)
{
    BubbleSort(order, 0, count, [bikes](int a, int b) { return bikes[a].BestLap > bikes[b].BestLap; });
}

void SortByRaceTime(const Bike* bikes, std::int32_t* order, int count)
{
    BubbleSort(order, 0, count, [bikes](int a, int b) { return bikes[a].RaceTime > bikes[b].RaceTime; });
}

void AssignStandingPositions(Bike* bikes, const std::int32_t* order, int count, int first)
{
    for (int k = first; k < count; ++k)
        bikes[order[k]].RacePosition = k + 1;
}

void LinkTrackNeighbours(Bike* bikes, const std::int32_t* order, int count)
{
    for (int k = 0; k < count; ++k) {
        Bike& bike = bikes[order[k]];
        bike.Ahead = &bikes[order[(k + count - 1) % count]];
        bike.Behind = &bikes[order[(k + 1) % count]];
    }
}

// ---- The race's standings ----

int Race::RiderCount() const
{
    if (!m_pBikes)
        return 0;
    return m_nBikes < 0 ? 0 : (m_nBikes > kMaxRaceRiders ? kMaxRaceRiders : m_nBikes);
}

void Race::ResetOrders()
{
    m_TrackOrder = IdentityRiderOrder();
    m_StandingOrder = IdentityRiderOrder();
}

// An order that does not hold every rider once (the field changed size since
// it was sorted) starts again from grid order.
bool Race::OrdersValid(int count) const
{
    for (const RiderOrder* order : {&m_TrackOrder, &m_StandingOrder}) {
        std::uint32_t seen = 0;
        for (int k = 0; k < count; ++k) {
            const std::int32_t i = (*order)[static_cast<std::size_t>(k)];
            if (i < 0 || i >= count || (seen & (1u << i)))
                return false;
            seen |= 1u << i;
        }
    }
    return true;
}

void Race::UpdateStandings()
{
    const int count = RiderCount();
    if (count == 0)
        return;
    if (!OrdersValid(count))
        ResetOrders();
    Bike* bikes = m_pBikes.get();
    if (count == 1) {
        m_TrackOrder[0] = 0;
        m_StandingOrder[0] = 0;
        bikes[0].Ahead = &bikes[0];
        bikes[0].Behind = &bikes[0];
        return;
    }

    SortByLapDistance(bikes, m_TrackOrder.data(), count);
    int first = 0;
    if (IsPracticeSession(m_nSessionType))
        SortByBestLap(bikes, m_StandingOrder.data(), count);
    else
        first = SortRaceStandings(bikes, m_StandingOrder.data(), count, m_Circuit.Length);
    AssignStandingPositions(bikes, m_StandingOrder.data(), count, first);
    LinkTrackNeighbours(bikes, m_TrackOrder.data(), count);
}
