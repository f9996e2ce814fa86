#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

// Float to integer conversions that truncate toward zero.
//
// A plain static_cast of a float that does not fit the integer type is
// undefined behaviour in C++ (and on x86 quietly yields the "integer
// indefinite" value), so every truncation of a value that data can make large
// goes through these helpers: the value is clamped to the 64-bit range first,
// then to the target type. NaN converts to 0. None of them raises a
// floating-point exception, so they are safe under trapped FE_INVALID.

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

// Truncates toward zero into the signed 32-bit range.
inline std::int32_t trunc_to_int(double value)
{
    const std::int64_t wide = trunc_to_int64(value);
    if (wide > std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    if (wide < std::numeric_limits<std::int32_t>::min())
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(wide);
}
