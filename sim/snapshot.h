#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "sim/snapshot_fields.h"

// Snapshots of the simulation, so the race can rewind: every piece of state
// the next steps read, written field by field into 32-bit words (floats as
// their bits), never as raw memory. Pointers are kept as what they point at:
// a bike as its index in the race's array, a path as circuit or pit lane.
//
// A bike's snapshot (Bike::SaveSnapshot / Bike::RestoreSnapshot) holds the
// saved fields of sim/snapshot_fields.h. The simulation state
// (SaveSimulationState / RestoreSimulationState) holds what the steps keep
// outside the bikes: the simulation's random stream, the last approach
// acceleration of the integrators, the section hints of the two paths, and
// the race fields the bikes write (flags, session record, overlay bike).
// A race state is one simulation state and one snapshot per bike.

namespace snapshot_detail {

// Words per saved member, by type.
template <class T, class = void>
struct WordCount;

template <class T>
struct WordCount<T, std::enable_if_t<std::is_arithmetic_v<T>>> {
    static constexpr std::size_t value = 1;
};
template <class T, std::size_t N>
struct WordCount<T[N]> {
    static constexpr std::size_t value = N * WordCount<T>::value;
};
template <>
struct WordCount<Vec3> {
    static constexpr std::size_t value = 3;
};
template <>
struct WordCount<Integrator> {
    static constexpr std::size_t value = 3;
};
template <>
struct WordCount<WheelAttitude> {
    static constexpr std::size_t value = 3;
};
template <>
struct WordCount<ControlRecord> {
    static constexpr std::size_t value = 5;
};
template <>
struct WordCount<RidingStepStart> {
    static constexpr std::size_t value = 3 * 3 + 5;
};
template <>
struct WordCount<Bike*> {
    static constexpr std::size_t value = 1;
};
template <>
struct WordCount<Track*> {
    static constexpr std::size_t value = 1;
};

struct CountVisitor {
    std::size_t words = 0;
    template <class M, class T>
    constexpr void Saved(M T::*, const char*)
    {
        words += WordCount<M>::value;
    }
    template <class M, class T>
    constexpr void NotSaved(M T::*, const char*)
    {
    }
};

constexpr std::size_t TyreWords()
{
    CountVisitor count;
    ForEachTyreField(count);
    return count.words;
}

template <>
struct WordCount<Tyre> {
    static constexpr std::size_t value = TyreWords();
};

constexpr std::size_t WheelWords()
{
    CountVisitor count;
    ForEachWheelField(count);
    return count.words;
}

template <>
struct WordCount<WheelAssembly> {
    static constexpr std::size_t value = WheelWords();
};

constexpr std::size_t BikeWords()
{
    CountVisitor count;
    ForEachBikeField(count);
    return count.words;
}

} // namespace snapshot_detail

// A snapshot begins with two words: a mark and its length in words.
inline constexpr std::uint32_t kBikeSnapshotMark = 0x4B534942u;       // "BISK"
inline constexpr std::uint32_t kSimulationStateMark = 0x54534D53u;    // "SMST"
inline constexpr std::size_t kSnapshotHeaderWords = 2;

// Words of one bike's snapshot.
inline constexpr std::size_t kBikeSnapshotWords = kSnapshotHeaderWords + snapshot_detail::BikeWords();
// Words of the simulation state.
inline constexpr std::size_t kSimulationStateWords = kSnapshotHeaderWords + 7;

// Writes the simulation state into kSimulationStateWords words.
void SaveSimulationState(std::uint32_t* buffer);
// Takes it back; false (nothing changed) when the buffer does not hold one.
bool RestoreSimulationState(const std::uint32_t* buffer);
