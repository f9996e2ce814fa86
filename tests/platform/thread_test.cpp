#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>

#include "platform/clock.h"
#include "platform/fault_seam.h"
#include "platform/sync_event.h"
#include "platform/thread.h"

namespace {

// Generous bound for waits that only fail when the code under test is wrong.
constexpr std::uint32_t kLongWait = 5000;

// Polls `done` until it holds or `ms` pass; for tests only.
template <typename Pred>
bool eventually(Pred done, std::uint32_t ms = kLongWait)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        platform::sleep_ms(1);
    }
    return true;
}

} // namespace

TEST(Thread, RunsTheBodyAndReportsWhenItHasReturned)
{
    platform::Event release;
    std::atomic<bool> ran{false};
    platform::Thread thread;
    EXPECT_FALSE(thread.joinable());
    EXPECT_FALSE(thread.running());

    ASSERT_TRUE(thread.start([&] {
        release.wait(kLongWait);
        ran = true;
    }));
    EXPECT_TRUE(thread.joinable());
    EXPECT_TRUE(thread.running());
    // A second body is refused while the first still runs.
    EXPECT_FALSE(thread.start([] {}));

    release.set();
    EXPECT_TRUE(eventually([&] { return !thread.running(); }));
    EXPECT_TRUE(ran);
    EXPECT_TRUE(thread.joinable());
    thread.join();
    EXPECT_FALSE(thread.joinable());
    thread.join(); // nothing left to wait for

    // The object can run another body once the first has returned.
    std::atomic<int> second{0};
    ASSERT_TRUE(thread.start([&] { second = 2; }, platform::ThreadPriority::TimeCritical));
    ASSERT_TRUE(eventually([&] { return !thread.running(); }));
    // Starting again joins the finished thread first.
    ASSERT_TRUE(thread.start([&] { second = 3; }));
    thread.join();
    EXPECT_EQ(second, 3);
}

TEST(Thread, DestructorWaitsForTheBody)
{
    std::atomic<bool> finished{false};
    {
        platform::Thread thread;
        ASSERT_TRUE(thread.start([&] {
            platform::sleep_ms(20);
            finished = true;
        }));
    }
    EXPECT_TRUE(finished);

    // Moving hands the running thread over; the new owner waits for it.
    std::atomic<bool> moved_finished{false};
    {
        platform::Thread owner;
        {
            platform::Thread first;
            ASSERT_TRUE(first.start([&] {
                platform::sleep_ms(20);
                moved_finished = true;
            }));
            owner = std::move(first);
        }
        EXPECT_TRUE(owner.joinable());
    }
    EXPECT_TRUE(moved_finished);
}

TEST(Thread, RefusedThreadRunsNothing)
{
    platform::clear_faults();
    platform::fail_next(platform::Fault::ThreadCreate);
    std::atomic<bool> ran{false};
    platform::Thread thread;
    EXPECT_FALSE(thread.start([&] { ran = true; }, platform::ThreadPriority::TimeCritical));
    EXPECT_FALSE(thread.joinable());
    EXPECT_FALSE(thread.running());
    platform::sleep_ms(5);
    EXPECT_FALSE(ran);

    // The fault fires once; the next start works.
    ASSERT_TRUE(thread.start([&] { ran = true; }));
    thread.join();
    EXPECT_TRUE(ran);
}

TEST(Thread, JoinFromTheBodyItselfDoesNotDeadlock)
{
    platform::Event started;
    platform::Event done;
    auto* thread = new platform::Thread;
    ASSERT_TRUE(thread->start([&] {
        started.wait(kLongWait); // until start() has returned
        delete thread;           // lets the thread go on alone
        done.set();
    }));
    started.set();
    EXPECT_TRUE(done.wait(kLongWait));
}

// The race's loading screen: the run loop asks with 1 and the thread answers
// with 0, once when the first picture is up and once when told to stop. The
// run loop also watches the thread, so a thread that ends without answering
// (a picture failed to load) cannot keep it waiting.
namespace {

std::atomic<std::uint8_t> g_handshake{0};

void loading_screen(bool pictures_load, std::atomic<int>* frames)
{
    if (!pictures_load)
        return; // frees what it has and ends without answering
    g_handshake = 0;
    while (g_handshake.load() == 0) {
        ++*frames;
        platform::sleep_ms(1);
    }
    g_handshake = 0;
}

// Waits for the answer; false when the thread ended without giving it.
bool wait_for_answer(const platform::Thread& thread)
{
    while (g_handshake.load() != 0) {
        if (!thread.running())
            return g_handshake.load() == 0;
        platform::sleep_ms(1);
    }
    return true;
}

} // namespace

TEST(Thread, LoadingScreenHandshake)
{
    std::atomic<int> frames{0};
    platform::Thread thread;
    g_handshake = 1;
    ASSERT_TRUE(thread.start([&] { loading_screen(true, &frames); }));
    ASSERT_TRUE(wait_for_answer(thread));

    ASSERT_TRUE(eventually([&] { return frames.load() >= 2; })); // the logo animates
    g_handshake = 1; // stop request
    ASSERT_TRUE(wait_for_answer(thread));
    thread.join();
    EXPECT_EQ(g_handshake.load(), 0);
}

TEST(Thread, LoadingScreenThatFailsDoesNotHangTheRunLoop)
{
    std::atomic<int> frames{0};
    platform::Thread thread;
    g_handshake = 1;
    ASSERT_TRUE(thread.start([&] { loading_screen(false, &frames); }));
    EXPECT_FALSE(wait_for_answer(thread));
    thread.join();
    EXPECT_EQ(frames.load(), 0);
}

TEST(Event, SetAndResetByMode)
{
    using Reset = platform::Event::Reset;
    struct Case {
        Reset mode;
        bool second_wait_succeeds; // does a set survive the first wait?
    };
    for (const Case c : {Case{Reset::Auto, false}, Case{Reset::Manual, true}}) {
        platform::Event event(c.mode);
        EXPECT_FALSE(event.is_set());
        EXPECT_FALSE(event.wait(0));
        event.set();
        event.set(); // sets do not add up
        EXPECT_TRUE(event.wait(0));
        EXPECT_EQ(event.wait(0), c.second_wait_succeeds);
        event.set();
        event.reset();
        EXPECT_FALSE(event.wait(0));

        platform::Event initially(c.mode, true);
        EXPECT_TRUE(initially.wait(0));
    }
}

TEST(Event, TimesOutAndForgetsTheWaiter)
{
    platform::Event event;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(event.wait(20));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(20));

    // A set after the timed-out wait stays for the next one instead of going
    // to the waiter that already left.
    event.set();
    EXPECT_TRUE(event.is_set());
    EXPECT_TRUE(event.wait(0));
}

TEST(Event, AutoResetWakesOneWaiterPerSet)
{
    platform::Event event;
    std::atomic<int> woken{0};
    platform::Thread first;
    platform::Thread second;
    const auto waiter = [&] {
        if (event.wait(kLongWait))
            ++woken;
    };
    ASSERT_TRUE(first.start(waiter));
    ASSERT_TRUE(second.start(waiter));

    event.set();
    ASSERT_TRUE(eventually([&] { return woken.load() == 1; }));
    platform::sleep_ms(30); // room for a wrong second wake-up
    EXPECT_EQ(woken.load(), 1);
    EXPECT_FALSE(event.is_set());

    event.set();
    first.join();
    second.join();
    EXPECT_EQ(woken.load(), 2);
    EXPECT_FALSE(event.is_set());
}

TEST(Event, ManualResetWakesEveryWaiterAndStaysSet)
{
    platform::Event event(platform::Event::Reset::Manual);
    std::atomic<int> woken{0};
    platform::Thread threads[3];
    for (auto& t : threads)
        ASSERT_TRUE(t.start([&] {
            if (event.wait(kLongWait))
                ++woken;
        }));
    platform::sleep_ms(10);
    event.set();
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(woken.load(), 3);
    EXPECT_TRUE(event.is_set());
}

TEST(Event, WaitAnyReportsAndTakesOnlyTheOneThatWoke)
{
    using Reset = platform::Event::Reset;
    struct Case {
        bool a_set, b_set;
        Reset a_mode;
        int result;
        bool a_after, b_after;
    };
    const Case cases[] = {
        {true, false, Reset::Auto, 0, false, false},
        {false, true, Reset::Auto, 1, false, false},
        {true, true, Reset::Auto, 0, false, true},   // both set: the first wins
        {true, true, Reset::Manual, 0, true, true},  // manual one stays set
        {false, true, Reset::Manual, 1, false, false},
        {false, false, Reset::Auto, -1, false, false},
    };
    for (const Case& c : cases) {
        platform::Event a(c.a_mode, c.a_set);
        platform::Event b(Reset::Auto, c.b_set);
        EXPECT_EQ(platform::wait_any(a, b, 0), c.result);
        EXPECT_EQ(a.is_set(), c.a_after);
        EXPECT_EQ(b.is_set(), c.b_after);
    }

    platform::Event a;
    platform::Event b;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(platform::wait_any(a, b, 15), -1);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(15));
    b.set(); // nobody waits any longer: the set is kept
    EXPECT_EQ(platform::wait_any(a, b, 0), 1);
}

// A music refill thread: sleeps on its two events, refills on every
// notification and ends on the stop event.
TEST(Event, RefillThreadWakesOnEitherEvent)
{
    platform::Event notification;
    platform::Event stop;
    platform::Event refilled;
    std::atomic<int> refills{0};
    std::atomic<bool> stopped{false};

    platform::Thread refill;
    ASSERT_TRUE(refill.start(
        [&] {
            for (;;) {
                const int which = platform::wait_any(notification, stop, platform::kInfinite);
                if (which == 0) {
                    ++refills;
                    refilled.set();
                } else {
                    stopped = true;
                    return;
                }
            }
        },
        platform::ThreadPriority::TimeCritical));

    for (int block = 1; block <= 24; ++block) {
        notification.set();
        ASSERT_TRUE(refilled.wait(kLongWait));
        EXPECT_EQ(refills.load(), block);
    }
    EXPECT_TRUE(refill.running());
    stop.set();
    refill.join();
    EXPECT_TRUE(stopped);
    EXPECT_EQ(refills.load(), 24);
}

TEST(Event, WaitForEventsPicksTheLowestSetIndex)
{
    platform::Event e0, e1, e2;
    platform::Event* const events[] = {&e0, &e1, &e2};
    EXPECT_EQ(platform::wait_for_events(events, 0, 0), -1);
    e2.set();
    e1.set();
    EXPECT_EQ(platform::wait_for_events(events, 3, 0), 1);
    EXPECT_EQ(platform::wait_for_events(events, 3, 0), 2);
    EXPECT_EQ(platform::wait_for_events(events, 3, 0), -1);

    // A waiter asleep on all three is woken by the one that is set.
    std::atomic<int> got{-2};
    platform::Thread waiter;
    ASSERT_TRUE(waiter.start([&] { got = platform::wait_for_events(events, 3, kLongWait); }));
    platform::sleep_ms(10);
    e2.set();
    waiter.join();
    EXPECT_EQ(got.load(), 2);
    EXPECT_FALSE(e2.is_set());
}
