#pragma once

#include <cstdint>
#include <vector>

// Events that wake waiting threads: the music refill threads sleep on two of
// them (a block has been played; the buffer has stopped).
namespace platform {

// A time-out that never ends.
inline constexpr std::uint32_t kInfinite = 0xFFFFFFFF;

struct EventWaiter;

// An event is set or clear. An auto-reset event (the default) lets exactly
// one wait through per set(): a waiting thread is handed the signal and the
// event stays clear, or, with nobody waiting, it stays set until the next
// wait takes it. A manual-reset event stays set, letting every wait through,
// until reset().
//
// Waiting threads sleep; nothing polls. Time-outs are real milliseconds and
// do not follow the test clock. An event must not be destroyed while a thread
// waits on it.
class Event {
public:
    static constexpr std::uint32_t kInfinite = platform::kInfinite;

    enum class Reset { Auto, Manual };

    explicit Event(Reset mode = Reset::Auto, bool initially_set = false);
    ~Event() = default;
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void set();
    void reset();

    // True when the event was (or became) set within `timeout_ms`; an
    // auto-reset event is cleared by the wait that takes it. A time-out of 0
    // only looks.
    bool wait(std::uint32_t timeout_ms);

    bool is_set() const;
    Reset mode() const { return mode_; }

private:
    friend int wait_for_events(Event* const* events, int count, std::uint32_t timeout_ms);

    const Reset mode_;
    bool set_;
    std::vector<EventWaiter*> waiters_; // oldest first
};

// Waits until `a` or `b` is set: 0 for `a`, 1 for `b`, -1 on time-out. Only
// the event reported is taken (and cleared when auto-reset); when both are
// set already, `a` is reported.
int wait_any(Event& a, Event& b, std::uint32_t timeout_ms);

// The same for any number of events: the index of the one taken, the lowest
// index when several are set, -1 on time-out (or when `count` is not
// positive).
int wait_for_events(Event* const* events, int count, std::uint32_t timeout_ms);

} // namespace platform
