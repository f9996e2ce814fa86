#include <gtest/gtest.h>

#include <atomic>
#include <cfenv>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/worker_pool.h"

namespace {

struct Counts {
    std::vector<std::atomic<int>> runs;
    explicit Counts(int n) : runs(static_cast<std::size_t>(n)) {}
    static void Task(void* context, int index) { static_cast<Counts*>(context)->runs[static_cast<std::size_t>(index)]++; }
};

// Every index of every batch runs exactly once, whatever the pool's size and
// the batch's count, batch after batch, and with the caller's own work
// between Start and Finish.
TEST(WorkerPoolTest, EveryIndexRunsOnce)
{
    for (int threads : {1, 2, 8}) {
        platform::WorkerPool pool(threads);
        EXPECT_EQ(pool.Threads(), threads);
        for (int round = 0; round < 300; ++round) {
            const int count = round % 53; // across the small batches' limit of 48
            Counts counts(count);
            if (round % 2) {
                pool.Run(count, &Counts::Task, &counts);
            } else {
                pool.Start(count, &Counts::Task, &counts);
                std::this_thread::yield();
                pool.Finish();
            }
            for (int i = 0; i < count; ++i)
                ASSERT_EQ(counts.runs[static_cast<std::size_t>(i)].load(), 1) << threads << " " << round << " " << i;
        }
    }
}

// A task may wait for the task of a lower index to end (the race's control
// steps do): the threads take their indices in rising order, so a chain in
// which every task waits for the one before it ends, on every pool size,
// for small batches (each thread's own share first) and large ones.
TEST(WorkerPoolTest, ATaskMayWaitForALowerIndex)
{
    struct Chain {
        std::vector<std::atomic<int>> done;
        explicit Chain(int n) : done(static_cast<std::size_t>(n)) {}
        static void Task(void* context, int index)
        {
            Chain& chain = *static_cast<Chain*>(context);
            if (index > 0)
                while (chain.done[static_cast<std::size_t>(index - 1)].load(std::memory_order_acquire) == 0)
                    std::this_thread::yield();
            chain.done[static_cast<std::size_t>(index)].store(1, std::memory_order_release);
        }
    };
    for (int threads : {1, 2, 3, 8}) {
        platform::WorkerPool pool(threads);
        for (int count : {1, 2, 7, 16, 47, 48, 49, 200}) {
            for (int round = 0; round < 20; ++round) {
                Chain chain(count);
                pool.Run(count, &Chain::Task, &chain);
                for (int i = 0; i < count; ++i)
                    ASSERT_EQ(chain.done[static_cast<std::size_t>(i)].load(), 1) << threads << " " << count << " " << i;
            }
        }
    }
}

// Workers that have gone to sleep are woken by the next batch, and a pool
// goes (joining its workers) whether they sleep, spin or never started.
TEST(WorkerPoolTest, SleepingWorkersWakeAndThePoolEnds)
{
    { platform::WorkerPool pool(4); }
    platform::WorkerPool pool(4);
    for (int round = 0; round < 3; ++round) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        Counts counts(64);
        pool.Run(64, &Counts::Task, &counts);
        for (auto& runs : counts.runs)
            ASSERT_EQ(runs.load(), 1);
    }
}

// The tasks run under the caller's floating-point environment on every
// thread: a rounding mode set by the caller holds in the workers too.
TEST(WorkerPoolTest, TasksRunUnderTheCallersRounding)
{
    platform::WorkerPool pool(4);
    std::vector<int> rounding(64, -1);
    auto record = [](void* context, int index) {
        (*static_cast<std::vector<int>*>(context))[static_cast<std::size_t>(index)] = std::fegetround();
    };
    for (int mode : {FE_UPWARD, FE_TONEAREST}) {
        ASSERT_EQ(std::fesetround(mode), 0);
        pool.Run(64, record, &rounding);
        for (int seen : rounding)
            EXPECT_EQ(seen, mode);
    }
    std::fesetround(FE_TONEAREST);
}

// Two threads may share a pool: the batch of the thread that finds the
// workers held runs whole on that thread, and neither thread's batches lose
// or repeat an index (nor does Finish return before its own batch is done,
// whichever of Run and Start/Finish each uses). A task that starts a batch
// on its own pool runs that batch itself. The shared pool is one pool.
TEST(WorkerPoolTest, TwoThreadsShareAPool)
{
    platform::WorkerPool pool(4);
    std::atomic<int> faults{0};
    auto user = [&](bool split) {
        for (int round = 0; round < 2000; ++round) {
            const int count = 2 + round % 70;
            Counts counts(count);
            if (split) {
                pool.Start(count, &Counts::Task, &counts);
                pool.Finish();
            } else {
                pool.Run(count, &Counts::Task, &counts);
            }
            for (auto& runs : counts.runs)
                if (runs.load() != 1)
                    ++faults;
        }
    };
    std::thread other(user, true);
    user(false);
    other.join();
    EXPECT_EQ(faults.load(), 0);

    struct Nested {
        platform::WorkerPool* pool;
        std::vector<Counts> inner;
        static void Task(void* context, int index)
        {
            Nested& self = *static_cast<Nested*>(context);
            Counts& counts = self.inner[static_cast<std::size_t>(index)];
            self.pool->Run(static_cast<int>(counts.runs.size()), &Counts::Task, &counts);
        }
    };
    Nested nested{&pool, {}};
    for (int i = 0; i < 12; ++i)
        nested.inner.emplace_back(5 + i);
    pool.Run(12, &Nested::Task, &nested);
    for (auto& counts : nested.inner)
        for (auto& runs : counts.runs)
            EXPECT_EQ(runs.load(), 1);

    EXPECT_EQ(&platform::WorkerPool::Shared(), &platform::WorkerPool::Shared());
    EXPECT_EQ(platform::WorkerPool::Shared().Threads(), platform::WorkerPool::HardwareThreads());
}

} // namespace
