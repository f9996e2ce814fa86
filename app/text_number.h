#pragma once

#include <cstddef>
#include <cstdint>

// Number conversions of the text readers. They read the forms the data files
// use (decimal and hexadecimal integers, decimal fractions) and are safe for
// any text: an integer too large for 32 bits saturates, a fraction too large
// for a float becomes an infinity, and no number at all gives 0.
//
// Each Scan function skips leading blanks, reads the longest number at the
// start of `text` and returns the count of characters used (0 when no number
// starts there; `out` is then 0).

// [+|-]digits, base 10.
std::size_t ScanDecimalInt(const char* text, std::int32_t& out);

// [+|-] then 0x/0X and hexadecimal digits, a leading 0 and octal digits, or
// decimal digits (the C "%i" rules).
std::size_t ScanAnyBaseInt(const char* text, std::int32_t& out);

// [+|-][0x|0X]hexadecimal digits (the C "%x" rules); a minus sign negates the
// value modulo 2^32.
std::size_t ScanHexUint(const char* text, std::uint32_t& out);

// [+|-]digits[.digits][e[+|-]digits], or starting at the point; no "inf",
// "nan" or hexadecimal fractions.
std::size_t ScanFloat(const char* text, float& out);
std::size_t ScanDouble(const char* text, double& out);

// The C library's atoi/atof with the rules above: 0 when the text is no number.
std::int32_t TextToInt(const char* text);
float TextToFloat(const char* text);

// Truncation toward zero, clamped to the 32-bit range; NaN gives 0.
std::int32_t TruncateToInt32(double value);
