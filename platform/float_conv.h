#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

// Float to integer conversions that truncate toward zero.
//
// A plain static_cast of a float that does not fit the integer type is
// undefined behaviour in C++ (and on x86 quietly yields the "integer
// indefinite" value), so every truncation of a value that data, input or the
// network can make large goes through these helpers: the value is clamped to
// the target range first. NaN converts to 0 (or to `lo` when 0 is outside
// the range). None of them raises a floating-point exception, so they are
// safe under trapped FE_INVALID.
namespace platform {

// Truncates toward zero into the signed 64-bit range.
inline std::int64_t trunc_to_int64(double value)
{
    if (std::isnan(value))
        return 0;
    // 2^63 is exactly representable as a double; anything at or beyond it
    // (or at or below -2^63) saturates.
    constexpr double limit = 9223372036854775808.0;
    if (value >= limit)
        return std::numeric_limits<std::int64_t>::max();
    if (value <= -limit)
        return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(value);
}

// Truncates toward zero into [lo, hi].
inline std::int32_t trunc_clamped(double value, std::int32_t lo, std::int32_t hi)
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

// Truncates toward zero into the signed 32-bit range.
inline std::int32_t trunc_to_int(double value)
{
    return trunc_clamped(value, std::numeric_limits<std::int32_t>::min(),
                         std::numeric_limits<std::int32_t>::max());
}

} // namespace platform
