#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>

#include "platform/clock.h"
#include "platform/thread.h"

namespace {

// Leaves the real clock as it found it, whatever the test does.
struct ClockGuard {
    ~ClockGuard()
    {
        platform::clear_test_clock();
        platform::reset_real_clock();
    }
};

} // namespace

TEST(Clock, ElapsedIsRightAcrossTheWrap)
{
    struct Case {
        std::uint32_t from, to, elapsed;
    };
    const Case cases[] = {
        {100, 250, 150},
        {0xFFFFFFF0u, 0x10, 0x20},
        {0xFFFFFFFFu, 0, 1},
        {5, 5, 0},
        {0, 0xFFFFFFFFu, 0xFFFFFFFFu},
    };
    for (const Case& c : cases)
        EXPECT_EQ(platform::elapsed_ms(c.from, c.to), c.elapsed) << c.from << " -> " << c.to;
}

TEST(Clock, TestClockHoldsStillAndWrapsWhenAdvanced)
{
    ClockGuard guard;
    platform::set_test_clock(0xFFFFFFF0u);
    EXPECT_TRUE(platform::test_clock_active());
    platform::sleep_ms(2);
    EXPECT_EQ(platform::time_get_time(), 0xFFFFFFF0u);

    const std::uint32_t before = platform::time_get_time();
    platform::advance_test_clock(0x0F);
    EXPECT_EQ(platform::time_get_time(), 0xFFFFFFFFu);
    platform::advance_test_clock(0x21);
    EXPECT_EQ(platform::time_get_time(), 0x20u);
    EXPECT_EQ(platform::elapsed_ms(before, platform::time_get_time()), 0x30u);

    // Other threads read the same test clock.
    std::uint32_t seen = 0;
    {
        platform::Thread reader;
        ASSERT_TRUE(reader.start([&seen] { seen = platform::time_get_time(); }));
    }
    EXPECT_EQ(seen, 0x20u);

    platform::clear_test_clock();
    EXPECT_FALSE(platform::test_clock_active());
}

TEST(Clock, AdvancingWithoutATestClockFreezesTheRealReading)
{
    ClockGuard guard;
    platform::rebase_real_clock(5000);
    platform::advance_test_clock(1000);
    ASSERT_TRUE(platform::test_clock_active());
    const std::uint32_t frozen = platform::time_get_time();
    // The real clock read 5000 and a little; the test clock is 1000 past it.
    EXPECT_GE(frozen, 6000u);
    EXPECT_LT(frozen, 6000u + 10000u);
    platform::sleep_ms(3);
    EXPECT_EQ(platform::time_get_time(), frozen);
}

TEST(Clock, RealClockRunsOnAcrossTheWrap)
{
    ClockGuard guard;
    platform::rebase_real_clock(0xFFFFFFF0u);
    const std::uint32_t start = platform::time_get_time();
    EXPECT_GE(start, 0xFFFFFFF0u);

    const auto real_start = std::chrono::steady_clock::now();
    platform::sleep_ms(40);
    const auto slept = std::chrono::steady_clock::now() - real_start;
    const std::uint32_t end = platform::time_get_time();

    EXPECT_GE(slept, std::chrono::milliseconds(40));
    EXPECT_LT(end, start); // wrapped past 2^32
    EXPECT_GE(platform::elapsed_ms(start, end), 40u);
    EXPECT_LT(platform::elapsed_ms(start, end), 10000u);

    platform::reset_real_clock();
    const std::uint32_t a = platform::time_get_time();
    const std::uint32_t b = platform::time_get_time();
    EXPECT_LT(platform::elapsed_ms(a, b), 1000u); // monotonic, no jump back
}
