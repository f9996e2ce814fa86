#include "app/text_number.h"

#include "platform/float_conv.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include "app/text_compare.h"

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads unsigned digits of `base` from text[i]; the magnitude saturates at
// `limit`. Returns the index after the last digit.
std::size_t ReadDigits(const char* text, std::size_t i, int base, std::uint64_t limit, std::uint64_t& magnitude)
{
    magnitude = 0;
    for (;; ++i) {
        const int digit = HexValue(text[i]);
        if (digit < 0 || digit >= base) {
            return i;
        }
        magnitude = magnitude * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
        if (magnitude > limit) {
            magnitude = limit + 1; // stays above the limit, never overflows
        }
    }
}

std::size_t SkipBlanks(const char* text)
{
    std::size_t i = 0;
    while (IsTextBlank(text[i])) ++i;
    return i;
}

std::int32_t SignedSaturated(bool negative, std::uint64_t magnitude)
{
    constexpr std::uint64_t kMaxPositive = 2147483647u;
    if (negative) {
        return magnitude > kMaxPositive ? std::numeric_limits<std::int32_t>::min()
                                        : -static_cast<std::int32_t>(magnitude);
        // (a magnitude of exactly 2^31 also lands on the minimum)
    }
    return magnitude > kMaxPositive ? std::numeric_limits<std::int32_t>::max()
                                    : static_cast<std::int32_t>(magnitude);
}

// Length of the decimal fraction at text[i] (after sign), 0 when none.
std::size_t FractionLength(const char* text, std::size_t i)
{
    const std::size_t start = i;
    std::size_t digits = 0;
    while (IsDigit(text[i])) { ++i; ++digits; }
    if (text[i] == '.') {
        ++i;
        while (IsDigit(text[i])) { ++i; ++digits; }
    }
    if (digits == 0) {
        return 0;
    }
    if (text[i] == 'e' || text[i] == 'E') {
        std::size_t j = i + 1;
        if (text[j] == '+' || text[j] == '-') ++j;
        if (IsDigit(text[j])) {
            while (IsDigit(text[j])) ++j;
            i = j;
        }
    }
    return i - start;
}

// Finds the extent of a decimal fraction and hands exactly those characters to
// the C library's conversion (the program runs in the "C" locale, so the point
// is the decimal separator).
template <typename Real, typename Convert>
std::size_t ScanReal(const char* text, Real& out, Convert convert)
{
    out = 0;
    if (text == nullptr) return 0;
    std::size_t i = SkipBlanks(text);
    const std::size_t number_start = i;
    if (text[i] == '+' || text[i] == '-') ++i;
    const std::size_t length = FractionLength(text, i);
    if (length == 0) {
        return 0;
    }
    const std::size_t end = i + length;
    const std::string number(text + number_start, end - number_start);
    out = convert(number.c_str());
    return end;
}

// A signed integer, saturated to 32 bits; with `any_base` a leading "0x"
// reads hexadecimal and a leading '0' octal, otherwise every number is decimal.
std::size_t ScanSignedInt(const char* text, std::int32_t& out, bool any_base)
{
    out = 0;
    if (text == nullptr) return 0;
    std::size_t i = SkipBlanks(text);
    const bool negative = text[i] == '-';
    if (text[i] == '+' || text[i] == '-') ++i;
    if (!IsDigit(text[i])) return 0;
    int base = 10;
    if (any_base && text[i] == '0') {
        if ((text[i + 1] == 'x' || text[i + 1] == 'X') && HexValue(text[i + 2]) >= 0) {
            base = 16;
            i += 2;
        } else {
            base = 8;
        }
    }
    std::uint64_t magnitude = 0;
    i = ReadDigits(text, i, base, 0xFFFFFFFFull, magnitude);
    out = SignedSaturated(negative, magnitude);
    return i;
}

} // namespace

std::size_t ScanDecimalInt(const char* text, std::int32_t& out)
{
    return ScanSignedInt(text, out, false);
}

std::size_t ScanAnyBaseInt(const char* text, std::int32_t& out)
{
    return ScanSignedInt(text, out, true);
}

std::size_t ScanHexUint(const char* text, std::uint32_t& out)
{
    out = 0;
    if (text == nullptr) return 0;
    std::size_t i = SkipBlanks(text);
    const bool negative = text[i] == '-';
    if (text[i] == '+' || text[i] == '-') ++i;
    if ((text[i] == '0') && (text[i + 1] == 'x' || text[i + 1] == 'X') && HexValue(text[i + 2]) >= 0) {
        i += 2;
    }
    if (HexValue(text[i]) < 0) return 0;
    std::uint64_t magnitude = 0;
    i = ReadDigits(text, i, 16, 0xFFFFFFFFull, magnitude);
    const std::uint32_t value = magnitude > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<std::uint32_t>(magnitude);
    out = negative ? static_cast<std::uint32_t>(0u - value) : value;
    return i;
}

std::size_t ScanFloat(const char* text, float& out)
{
    return ScanReal(text, out, [](const char* number) { return std::strtof(number, nullptr); });
}

std::size_t ScanDouble(const char* text, double& out)
{
    return ScanReal(text, out, [](const char* number) { return std::strtod(number, nullptr); });
}

std::int32_t TextToInt(const char* text)
{
    std::int32_t value = 0;
    ScanDecimalInt(text, value);
    return value;
}

float TextToFloat(const char* text)
{
    float value = 0;
    ScanFloat(text, value);
    return value;
}

std::int32_t TruncateToInt32(double value)
{
    return platform::trunc_to_int(value);
}
