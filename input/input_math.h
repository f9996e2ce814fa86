#pragma once

#include <cstdint>

#include "platform/float_conv.h"

// Control values become bytes and device units by truncation toward zero,
// clamped to the target first (see platform/float_conv.h).
inline constexpr auto& TruncToRange = platform::trunc_clamped;

// Direction components of a force, in thousandths; kept well inside 32 bits.
inline constexpr std::int32_t kForceDirectionLimit = 1000000000;

// Seconds between two readings of the millisecond clock. The readings are 32
// bits and wrap: their unsigned difference is right across the wrap.
inline float SecondsBetween(std::uint32_t from, std::uint32_t to)
{
    return static_cast<float>(static_cast<double>(static_cast<std::uint32_t>(to - from)) * 0.001);
}
