#pragma once

#include <cstdint>

// The millisecond clock and sleeping.
//
// time_get_time() counts milliseconds in 32 bits and wraps to 0 after
// 2^32 ms (about 49.7 days), so code that measures durations must subtract
// readings with elapsed_ms() (or plain uint32_t subtraction) rather than
// compare them. The real clock counts from system start-up; a test can move
// its origin (rebase_real_clock) to just before the wrap, or replace it with
// a test clock that only moves when told to.
namespace platform {

// Milliseconds, wrapping at 2^32. The test clock's value while one is set.
std::uint32_t time_get_time();

// Milliseconds from `from` to `to`, correct across one wrap of the clock.
constexpr std::uint32_t elapsed_ms(std::uint32_t from, std::uint32_t to)
{
    return to - from;
}

// The real clock, also while a test clock is set: for the time-outs of
// waits on other machines, which must pass in real time whatever the race's
// clock does.
std::uint32_t real_time_get_time();

// Suspends the calling thread for at least `ms` real milliseconds (the test
// clock does not move). sleep_ms(0) gives the rest of the time slice to
// other threads.
void sleep_ms(std::uint32_t ms);

// Test clock: while set, time_get_time() returns its value, for every thread.
void set_test_clock(std::uint32_t ms);
// Moves the test clock on by `ms` (wrapping at 2^32). When no test clock is
// set, one is first set to the current real reading.
void advance_test_clock(std::uint32_t ms);
// Goes back to the real clock.
void clear_test_clock();
bool test_clock_active();

// Makes the real clock read `ms` now and run on from there, so a test can
// watch it wrap in real time. reset_real_clock() restores the origin at
// system start-up.
void rebase_real_clock(std::uint32_t ms);
void reset_real_clock();

} // namespace platform
