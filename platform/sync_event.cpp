#include "platform/sync_event.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace platform {

// A thread asleep in wait_for_events. It is registered with every event it
// waits on; the set() that wakes it records which one and unregisters it
// from all of them, so one signal of an auto-reset event reaches exactly
// one waiter and is never lost between two.
struct EventWaiter {
    EventWaiter(Event* const* waited, int n) : events(waited), count(n) {}

    Event* const* events;
    int count;
    int woken_by = -1;
    std::condition_variable wake;
};

namespace {

// All events share one lock: waits span several events, and the few threads
// of the program hold it only for a few instructions. It is never destroyed,
// so a thread still waiting while the program exits finds it intact.
std::mutex& events_lock()
{
    static std::mutex* lock = new std::mutex;
    return *lock;
}

void unregister(EventWaiter& waiter, std::vector<EventWaiter*>& list)
{
    list.erase(std::remove(list.begin(), list.end(), &waiter), list.end());
}

} // namespace

Event::Event(Reset mode, bool initially_set) : mode_(mode), set_(initially_set) {}

void Event::set()
{
    std::lock_guard<std::mutex> guard(events_lock());
    // Hand the signal to the waiters in the order they came. An auto-reset
    // event is used up by the first one; a manual-reset one wakes them all
    // and stays set.
    while (!waiters_.empty()) {
        EventWaiter* waiter = waiters_.front();
        for (int i = 0; i < waiter->count; ++i) {
            if (waiter->events[i] == this && waiter->woken_by < 0)
                waiter->woken_by = i;
        }
        for (int i = 0; i < waiter->count; ++i)
            unregister(*waiter, waiter->events[i]->waiters_);
        waiter->wake.notify_one();
        if (mode_ == Reset::Auto)
            return;
    }
    set_ = true;
}

void Event::reset()
{
    std::lock_guard<std::mutex> guard(events_lock());
    set_ = false;
}

bool Event::is_set() const
{
    std::lock_guard<std::mutex> guard(events_lock());
    return set_;
}

bool Event::wait(std::uint32_t timeout_ms)
{
    Event* self = this;
    return wait_for_events(&self, 1, timeout_ms) == 0;
}

int wait_any(Event& a, Event& b, std::uint32_t timeout_ms)
{
    Event* const events[2] = {&a, &b};
    return wait_for_events(events, 2, timeout_ms);
}

int wait_for_events(Event* const* events, int count, std::uint32_t timeout_ms)
{
    if (count <= 0)
        return -1;
    std::unique_lock<std::mutex> lock(events_lock());

    for (int i = 0; i < count; ++i) {
        Event& event = *events[i];
        if (event.set_) {
            if (event.mode_ == Event::Reset::Auto)
                event.set_ = false;
            return i;
        }
    }
    if (timeout_ms == 0)
        return -1;

    EventWaiter waiter(events, count);
    for (int i = 0; i < count; ++i)
        events[i]->waiters_.push_back(&waiter);

    const auto woken = [&waiter] { return waiter.woken_by >= 0; };
    if (timeout_ms == kInfinite) {
        waiter.wake.wait(lock, woken);
    } else {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        if (!waiter.wake.wait_until(lock, deadline, woken)) {
            for (int i = 0; i < count; ++i)
                unregister(waiter, events[i]->waiters_);
            return -1;
        }
    }
    return waiter.woken_by;
}

} // namespace platform
