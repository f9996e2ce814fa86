#include "platform/clock.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace platform {
namespace {

// The test clock in one word, so that a reader never sees the flag of one
// setting with the value of another: bit 32 marks it set, the low 32 bits
// hold its reading.
constexpr std::uint64_t kTestClockSet = std::uint64_t{1} << 32;
std::atomic<std::uint64_t> g_test_clock{0};

// Added to the raw monotonic reading; 0 keeps the origin at system start-up.
std::atomic<std::uint32_t> g_real_offset{0};

std::uint32_t raw_monotonic_ms()
{
    // steady_clock is the monotonic clock, which counts from start-up.
    const auto since = std::chrono::steady_clock::now().time_since_epoch();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(since).count();
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ms));
}

std::uint32_t real_time()
{
    return raw_monotonic_ms() + g_real_offset.load(std::memory_order_relaxed);
}

} // namespace

std::uint32_t time_get_time()
{
    const std::uint64_t test = g_test_clock.load(std::memory_order_acquire);
    if (test & kTestClockSet)
        return static_cast<std::uint32_t>(test);
    return real_time();
}

std::uint32_t real_time_get_time()
{
    return real_time();
}

void sleep_ms(std::uint32_t ms)
{
    if (ms == 0)
        std::this_thread::yield();
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void set_test_clock(std::uint32_t ms)
{
    g_test_clock.store(kTestClockSet | ms, std::memory_order_release);
}

void advance_test_clock(std::uint32_t ms)
{
    std::uint64_t old = g_test_clock.load(std::memory_order_acquire);
    for (;;) {
        const std::uint32_t now = (old & kTestClockSet) ? static_cast<std::uint32_t>(old) : real_time();
        const std::uint64_t next = kTestClockSet | static_cast<std::uint32_t>(now + ms);
        if (g_test_clock.compare_exchange_weak(old, next, std::memory_order_acq_rel))
            return;
    }
}

void clear_test_clock()
{
    g_test_clock.store(0, std::memory_order_release);
}

bool test_clock_active()
{
    return (g_test_clock.load(std::memory_order_acquire) & kTestClockSet) != 0;
}

void rebase_real_clock(std::uint32_t ms)
{
    g_real_offset.store(ms - raw_monotonic_ms(), std::memory_order_relaxed);
}

void reset_real_clock()
{
    g_real_offset.store(0, std::memory_order_relaxed);
}

} // namespace platform
