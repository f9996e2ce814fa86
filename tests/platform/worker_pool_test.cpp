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

} // namespace
