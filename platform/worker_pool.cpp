#include "platform/worker_pool.h"

#include <algorithm>
#include <chrono>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace platform {

namespace {

// How long a thread waits actively before it gives its processor away
// between checks, and how long a worker waits for the next batch before it
// sleeps. A race's sub-steps come every few tens of microseconds while it
// runs, so the workers keep up without sleeping; a pool with nothing to do
// sleeps after a fraction of a millisecond.
constexpr auto kSpinTime = std::chrono::microseconds(5);
constexpr auto kWaitBeforeSleep = std::chrono::microseconds(200);

void CpuRelax()
{
#if defined(__x86_64__) || defined(__i386__)
    _mm_pause();
#endif
}

constexpr std::uint64_t Batch(std::uint32_t number, int next, int count)
{
    return (static_cast<std::uint64_t>(number) << 32) | (static_cast<std::uint64_t>(next) << 16) |
           static_cast<std::uint64_t>(count);
}

// Waits while `busy()` holds: a short active spin, then giving the processor
// away between checks (so that on a loaded machine the threads that do the
// work get to run), until `limit` has passed; returns whether it still holds.
template <class Busy>
bool WaitWhile(Busy busy, std::chrono::steady_clock::duration limit)
{
    const auto start = std::chrono::steady_clock::now();
    for (unsigned spins = 0;; ++spins) {
        if (!busy())
            return false;
        if ((spins & 63) != 63) {
            CpuRelax();
            continue;
        }
        const auto waited = std::chrono::steady_clock::now() - start;
        if (waited >= limit)
            return true;
        if (waited >= kSpinTime)
            std::this_thread::yield();
    }
}

} // namespace

WorkerPool::WorkerPool(int threads)
{
    const int workers = std::clamp(threads, 1, 0xFFFF) - 1;
    m_workers.reserve(static_cast<std::size_t>(workers));
    for (int i = 0; i < workers; ++i)
        m_workers.emplace_back([this] { WorkerLoop(); });
}

WorkerPool::~WorkerPool()
{
    m_stop.store(true, std::memory_order_release);
    m_generation.fetch_add(1, std::memory_order_seq_cst);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_wake.notify_all();
    }
    for (std::thread& worker : m_workers)
        worker.join();
}

int WorkerPool::HardwareThreads()
{
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

void WorkerPool::Run(int count, Task task, void* context)
{
    Start(count, task, context);
    Finish();
}

void WorkerPool::Start(int count, Task task, void* context)
{
    m_started = 0;
    if (count <= 0)
        return;
    if (m_workers.empty() || count == 1 || count > 0xFFFF) {
        for (int i = 0; i < count; ++i)
            task(context, i);
        return;
    }
    // No index of the previous batch is unclaimed or running: nobody reads
    // the task now.
    m_task = task;
    m_context = context;
    std::fegetenv(&m_environment);
    m_started = count;
    m_done.store(0, std::memory_order_relaxed);
    const std::uint32_t number = static_cast<std::uint32_t>(m_batch.load(std::memory_order_relaxed) >> 32) + 1;
    m_batch.store(Batch(number, 0, count), std::memory_order_release);
    m_generation.fetch_add(1, std::memory_order_seq_cst);
    if (m_sleepers.load(std::memory_order_seq_cst) > 0) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_wake.notify_all();
    }
}

void WorkerPool::Finish()
{
    const int count = m_started;
    m_started = 0;
    if (count == 0)
        return;
    Drain(false);
    while (WaitWhile([&] { return m_done.load(std::memory_order_acquire) != count; }, std::chrono::hours(1))) {
    }
}

void WorkerPool::Drain(bool worker)
{
    std::uint64_t batch = m_batch.load(std::memory_order_acquire);
    bool environment = !worker;
    for (;;) {
        const int next = static_cast<int>((batch >> 16) & 0xFFFF);
        const int count = static_cast<int>(batch & 0xFFFF);
        if (next >= count)
            return;
        if (!m_batch.compare_exchange_weak(batch, batch + (std::uint64_t{1} << 16), std::memory_order_acq_rel,
                                           std::memory_order_acquire))
            continue;
        if (!environment) {
            // Read only now: with an index claimed, the batch (and what the
            // caller wrote for it) cannot end or change.
            std::fesetenv(&m_environment);
            environment = true;
        }
        m_task(m_context, next);
        m_done.fetch_add(1, std::memory_order_release);
        batch = m_batch.load(std::memory_order_acquire);
    }
}

void WorkerPool::WorkerLoop()
{
    // The count when the pool was made: a worker that starts late still sees
    // every batch (and the end) that came before it looked.
    std::uint32_t seen = 0;
    for (;;) {
        if (WaitWhile([&] { return m_generation.load(std::memory_order_acquire) == seen; }, kWaitBeforeSleep)) {
            // Asleep until the next batch. The caller looks for sleepers
            // after it has counted the batch, and a sleeper looks at the
            // count after it has counted itself: one of them sees the other.
            std::unique_lock<std::mutex> lock(m_mutex);
            m_sleepers.fetch_add(1, std::memory_order_seq_cst);
            m_wake.wait(lock, [&] { return m_generation.load(std::memory_order_seq_cst) != seen; });
            m_sleepers.fetch_sub(1, std::memory_order_seq_cst);
        }
        seen = m_generation.load(std::memory_order_acquire);
        if (m_stop.load(std::memory_order_acquire))
            return;
        Drain(true);
    }
}

} // namespace platform
