#include "platform/worker_pool.h"

#include <algorithm>
#include <bit>
#include <chrono>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace platform {

namespace {

// The pool whose batch the thread last ran whole in Start, until its Finish.
thread_local const WorkerPool* t_ranHere = nullptr;

// How long a thread waits actively before it gives its processor away
// between checks, and how long a worker waits for the next batch before it
// sleeps. A race's sub-steps come every few tens of microseconds while it
// runs, and a drawn frame's batches (the race's update, the scene's set-up
// and bands) less than a millisecond apart at a few hundred frames a
// second, so the workers keep up without sleeping (a frame then costs a
// dozen or so system calls, not one wake-up per batch); a pool with nothing
// to do sleeps after a millisecond, giving its processor away meanwhile.
constexpr auto kSpinTime = std::chrono::microseconds(5);
constexpr auto kWaitBeforeSleep = std::chrono::microseconds(1000);

void CpuRelax()
{
#if defined(__x86_64__) || defined(__i386__)
    _mm_pause();
#endif
}

// The claims word of a small batch: the batch's number (its low 16 bits)
// above one bit per index.
constexpr int kClaimNumberShift = 48;
constexpr std::uint64_t kClaimNumberMask = 0xFFFF;

constexpr std::uint64_t Claims(std::uint32_t number, std::uint64_t bits)
{
    return ((static_cast<std::uint64_t>(number) & kClaimNumberMask) << kClaimNumberShift) | bits;
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
    for (int i = 0; i < workers; ++i) {
        // A thread the system refuses is one fewer to share the work.
        auto worker = std::make_unique<Thread>();
        if (!worker->start([this, i] { WorkerLoop(i + 1); }))
            break;
        m_workers.push_back(std::move(worker));
    }
}

WorkerPool::~WorkerPool()
{
    m_stop.store(true, std::memory_order_release);
    m_generation.fetch_add(1, std::memory_order_seq_cst);
    m_generation.notify_all();
    m_workers.clear(); // each waits for its thread
}

int WorkerPool::HardwareThreads()
{
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

WorkerPool& WorkerPool::Shared()
{
    // Never destroyed: users in other objects' destructors at the program's
    // end may still run batches; the sleeping workers end with the process.
    static WorkerPool* const pool = new WorkerPool(HardwareThreads());
    return *pool;
}

void WorkerPool::Run(int count, Task task, void* context)
{
    Start(count, task, context);
    Finish();
}

void WorkerPool::Start(int count, Task task, void* context)
{
    // A batch that cannot use the workers, or finds them held by another
    // thread's batch (or by the batch whose task this is), runs here and
    // now, and the thread notes that its Finish has nothing to do. Nothing
    // of the pool is written then: it belongs to the holder.
    if (count <= 0 || m_workers.empty() || count == 1 || count > 0xFFFF ||
        m_busy.exchange(true, std::memory_order_acquire)) {
        for (int i = 0; i < count; ++i)
            task(context, i);
        t_ranHere = this;
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
    // Published by the batch word's release below.
    m_claims.store(Claims(number, 0), std::memory_order_relaxed);
    m_batch.store(Batch(number, 0, count), std::memory_order_release);
    m_generation.fetch_add(1, std::memory_order_seq_cst);
    // One system call wakes every sleeper, and none is made while all spin.
    if (m_sleepers.load(std::memory_order_seq_cst) > 0)
        m_generation.notify_all();
}

void WorkerPool::Finish()
{
    // A batch that ran whole in its Start (a batch started inside a task of
    // this pool's batch included: it comes to its Finish before the outer
    // one does) leaves nothing; the thread holding the workers has the rest.
    if (t_ranHere == this) {
        t_ranHere = nullptr;
        return;
    }
    const int count = m_started;
    m_started = 0;
    Drain(0);
    while (WaitWhile([&] { return m_done.load(std::memory_order_acquire) != count; }, std::chrono::hours(1))) {
    }
    m_busy.store(false, std::memory_order_release);
}

void WorkerPool::Drain(int thread)
{
    std::uint64_t batch = m_batch.load(std::memory_order_acquire);
    bool environment = thread == 0;
    auto run = [&](int index) {
        if (!environment) {
            // Read only now: with an index claimed, the batch (and what the
            // caller wrote for it) cannot end or change.
            std::fesetenv(&m_environment);
            environment = true;
        }
        m_task(m_context, index);
        m_done.fetch_add(1, std::memory_order_release);
    };

    if (static_cast<int>(batch & 0xFFFF) <= kMaxSpreadCount) {
        // A small batch: each thread takes its own share first (indices
        // thread, thread + threads, ...: the same tasks of every batch of
        // the same size go to the same thread, whose caches hold what they
        // used last time), in rising order, then what others have left.
        const std::uint32_t number = static_cast<std::uint32_t>(batch >> 32);
        const int count = static_cast<int>(batch & 0xFFFF);
        const int threads = Threads();
        for (int index = thread; index < count; index += threads) {
            const Claim claim = ClaimIndex(number, index);
            if (claim == Claim::BatchOver)
                return;
            if (claim == Claim::Taken)
                continue;
            run(index);
        }
        for (;;) {
            const std::uint64_t claims = m_claims.load(std::memory_order_acquire);
            if (claims >> kClaimNumberShift != (number & kClaimNumberMask))
                return;
            const std::uint64_t free = ~claims & ((std::uint64_t{1} << count) - 1);
            if (free == 0)
                return;
            const int index = std::countr_zero(free);
            const Claim claim = ClaimIndex(number, index);
            if (claim == Claim::BatchOver)
                return;
            if (claim == Claim::Claimed)
                run(index);
        }
    }

    // A large batch: the next index not yet taken. The claim is made on the
    // whole batch word, so it fails once a later batch has begun; the thread
    // then leaves that batch to its next call (a small one is not claimed
    // this way).
    const std::uint64_t number = batch >> 32;
    for (;;) {
        const int next = static_cast<int>((batch >> 16) & 0xFFFF);
        const int count = static_cast<int>(batch & 0xFFFF);
        if (batch >> 32 != number || next >= count)
            return;
        if (!m_batch.compare_exchange_weak(batch, batch + (std::uint64_t{1} << 16), std::memory_order_acq_rel,
                                           std::memory_order_acquire))
            continue;
        run(next);
        batch = m_batch.load(std::memory_order_acquire);
    }
}

WorkerPool::Claim WorkerPool::ClaimIndex(std::uint32_t number, int index)
{
    const std::uint64_t bit = std::uint64_t{1} << index;
    std::uint64_t claims = m_claims.load(std::memory_order_acquire);
    for (;;) {
        if (claims >> kClaimNumberShift != (number & kClaimNumberMask))
            return Claim::BatchOver;
        if (claims & bit)
            return Claim::Taken;
        if (m_claims.compare_exchange_weak(claims, claims | bit, std::memory_order_acq_rel, std::memory_order_acquire))
            return Claim::Claimed;
    }
}

void WorkerPool::WorkerLoop(int thread)
{
    // The count when the pool was made: a worker that starts late still sees
    // every batch (and the end) that came before it looked.
    std::uint32_t seen = 0;
    for (;;) {
        if (WaitWhile([&] { return m_generation.load(std::memory_order_acquire) == seen; }, kWaitBeforeSleep)) {
            // Asleep until the next batch. The caller looks for sleepers
            // after it has counted the batch, and a sleeper looks at the
            // count after it has counted itself: one of them sees the other
            // (the wait sleeps only while the count is still `seen`).
            m_sleepers.fetch_add(1, std::memory_order_seq_cst);
            while (m_generation.load(std::memory_order_seq_cst) == seen)
                m_generation.wait(seen, std::memory_order_seq_cst);
            m_sleepers.fetch_sub(1, std::memory_order_seq_cst);
        }
        seen = m_generation.load(std::memory_order_acquire);
        if (m_stop.load(std::memory_order_acquire))
            return;
        Drain(thread);
    }
}

} // namespace platform
