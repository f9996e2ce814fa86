#pragma once

#include <cmath>
#include <cstdint>

// Float to integer truncation for the simulation: toward zero, clamped to
// the target's range, NaN gives 0. A plain cast of a value that does not fit
// is undefined behaviour, and data can make any float large; none of these
// raises a floating-point exception, so they are safe with trapped
// FE_INVALID.

// Truncates toward zero into [lo, hi].
inline std::int32_t TruncClamped(double value, std::int32_t lo, std::int32_t hi)
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

// Truncates toward zero into the 32-bit range.
inline std::int32_t TruncToInt(double value)
{
    return TruncClamped(value, INT32_MIN, INT32_MAX);
}
