#pragma once

#include <cmath>
#include <cstdint>

// Control values become bytes and device units by truncation toward zero.
// A value that does not fit the target (or NaN) must not reach a plain cast,
// whose result would be undefined: it is clamped first, NaN reading 0 (or
// `lo` when 0 is out of range).
inline std::int32_t TruncToRange(double value, std::int32_t lo, std::int32_t hi)
{
    if (std::isnan(value))
        return lo <= 0 && 0 <= hi ? 0 : lo;
    const double t = std::trunc(value);
    if (t <= static_cast<double>(lo))
        return lo;
    if (t >= static_cast<double>(hi))
        return hi;
    return static_cast<std::int32_t>(t);
}

// Direction components of a force, in thousandths; kept well inside 32 bits.
inline constexpr std::int32_t kForceDirectionLimit = 1000000000;

// Seconds between two readings of the millisecond clock. The readings are 32
// bits and wrap: their unsigned difference is right across the wrap.
inline float SecondsBetween(std::uint32_t from, std::uint32_t to)
{
    return static_cast<float>(static_cast<double>(static_cast<std::uint32_t>(to - from)) * 0.001);
}
