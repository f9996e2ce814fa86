#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "app/approach.h"
#include "app/command_name.h"
#include "app/game_error.h"
#include "app/text_number.h"

TEST(Approach, ValuesMoveInSquareRootSpace)
{
    struct Case {
        float current, target, rate, divisor, expected;
    };
    const float t10 = std::sqrt(10.0f) - 1.0f;
    const Case cases[] = {
        {10, 0, 1, 1, t10 * t10},          // about 4.675
        {0.5f, 0, 1, 1, 0},                // sqrt(0.5) < 1: the target
        {-10, 0, 1, 1, -t10 * t10},        // from below
        {3, 3, 1, 1, 3},                   // already there
        {0, 4, 0.5f, 0.5f, 4 - 1},         // sqrt(4) - 1 = 1 left below
        {9, 0, 1, 0, 0},                   // no divisor: reached at once
        {9, 0, 0, 1, 9},                   // no rate: stays
    };
    for (const Case& c : cases) {
        EXPECT_FLOAT_EQ(ApproachValue(c.current, c.target, c.rate, c.divisor), c.expected)
            << c.current << " -> " << c.target;
    }
    EXPECT_NEAR(ApproachValue(10, 0, 1, 1), 4.675f, 0.001f);

    // Repeated calls reach the target in a finite number of steps.
    float value = 100;
    int steps = 0;
    while (value != 0 && steps < 100) {
        value = ApproachValue(value, 0, 1, 1);
        ++steps;
    }
    EXPECT_EQ(steps, 10);
}

TEST(Approach, AnglesTakeTheShortWayRound)
{
    const float pi = 3.14159265f;
    // From just below +pi to just above -pi is a short step across the seam:
    // the result is the target plus what is left, not wrapped again.
    const float target = -pi + 0.1f;
    const float from = pi - 0.1f; // 0.2 rad away the short way
    const float result = ApproachAngle(from, target, 0.1f, 1.0f);
    const float left = std::sqrt(0.2f) - 0.1f;
    EXPECT_NEAR(result, target - left * left, 1e-5f);
    // Many turns away is the same as the folded distance.
    EXPECT_NEAR(ApproachAngle(0.3f + 6 * pi, 0.0f, 0.1f, 1.0f), ApproachValue(0.3f, 0.0f, 0.1f, 1.0f), 1e-4f);
    EXPECT_EQ(ApproachAngle(1.0f, 1.0f, 0.1f, 1.0f), 1.0f);
    EXPECT_EQ(ApproachAngle(2.0f, 1.0f, 5.0f, 0.0f), 1.0f);
}

TEST(CommandNames, KnownWordsAndTheRest)
{
    EXPECT_EQ(FindCommandName("INC"), -2);
    EXPECT_EQ(FindCommandName("DEC"), -3);
    for (const char* word : {"inc", "Dec", "", "INCX", static_cast<const char*>(nullptr)}) {
        try {
            FindCommandName(word);
            ADD_FAILURE() << "no exception for " << (word ? word : "null");
        } catch (const GameError& error) {
            EXPECT_STREQ(error.what(), "cmd not found");
        }
    }
}

TEST(TextNumbers, ScansAsTheCLibraryWithoutOverflow)
{
    struct IntCase {
        const char* text;
        std::int32_t decimal;
        std::size_t decimal_used;
        std::int32_t any_base;
    };
    const IntCase ints[] = {
        {"42", 42, 2, 42},
        {"  -17x", -17, 5, -17},
        {"+8", 8, 2, 8},
        {"010", 10, 3, 8},
        {"0x1F", 0, 1, 31},
        {"0x", 0, 1, 0},
        {"99999999999", 2147483647, 11, 2147483647},
        {"-2147483648", -2147483647 - 1, 11, -2147483647 - 1},
        {"-99999999999999999999", -2147483647 - 1, 21, -2147483647 - 1},
        {"abc", 0, 0, 0},
        {"", 0, 0, 0},
        {"-", 0, 0, 0},
    };
    for (const IntCase& c : ints) {
        std::int32_t value = 1;
        EXPECT_EQ(ScanDecimalInt(c.text, value), c.decimal_used) << c.text;
        EXPECT_EQ(value, c.decimal) << c.text;
        ScanAnyBaseInt(c.text, value);
        EXPECT_EQ(value, c.any_base) << c.text;
    }

    struct HexCase {
        const char* text;
        std::uint32_t value;
    };
    const HexCase hexes[] = {{"ff", 0xFF}, {"0xDEADbeef", 0xDEADBEEF}, {"-1", 0xFFFFFFFF},
                             {"123456789", 0xFFFFFFFF}, {"g", 0}, {"C0C0C0&", 0xC0C0C0}};
    for (const HexCase& c : hexes) {
        std::uint32_t value = 1;
        ScanHexUint(c.text, value);
        EXPECT_EQ(value, c.value) << c.text;
    }

    struct FloatCase {
        const char* text;
        float value;
        std::size_t used;
    };
    const FloatCase floats[] = {
        {"1.5", 1.5f, 3},  {"-.25e1x", -2.5f, 6}, {"3.", 3.0f, 2}, {"1e", 1.0f, 1}, {"inf", 0, 0},
        {"nan", 0, 0},     {"0x10", 0, 1},        {".", 0, 0},     {"1e99", std::numeric_limits<float>::infinity(), 4},
    };
    for (const FloatCase& c : floats) {
        float value = 1;
        EXPECT_EQ(ScanFloat(c.text, value), c.used) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
    }
    EXPECT_EQ(TextToInt("12abc"), 12);
    EXPECT_EQ(TextToFloat("word"), 0.0f);
}

TEST(TextNumbers, TruncationIsClamped)
{
    EXPECT_EQ(TruncateToInt32(12.9), 12);
    EXPECT_EQ(TruncateToInt32(-12.9), -12);
    EXPECT_EQ(TruncateToInt32(1e20), 2147483647);
    EXPECT_EQ(TruncateToInt32(-1e20), -2147483647 - 1);
    EXPECT_EQ(TruncateToInt32(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(TruncateToInt32(std::numeric_limits<double>::infinity()), 2147483647);
}
