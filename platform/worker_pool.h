#pragma once

#include <atomic>
#include <cfenv>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/thread.h"

// A small pool of worker threads that run one batch of independent tasks at a
// time, the calling thread taking its share. The program's one kind of pool:
// the race's bike steps, the 3D device's set-up and bands and the software
// rasteriser's bands each run on one. Made for batches of a few
// microseconds each, many thousand times a second (the race's bikes of one
// simulation sub-step): a worker waiting for the next batch spins briefly,
// then sleeps until it is woken, so an idle pool costs nothing and a busy one
// does not pay a sleep and a wake-up per batch.
//
// The tasks of a batch must not throw (catch inside the task) and must not
// start another batch. A batch started while another thread's batch runs on
// the same pool runs on its caller alone, one index after the other (so two
// threads may share a pool; only one of them gets the workers at a time).
// The tasks run under the caller's floating-point environment (rounding
// mode, trapped exceptions) on every thread.
//
// Shared() is the program's pool of the hardware's threads: the race's
// stepping, the 3D device and the rasteriser use it whenever they want that
// many threads, so that a frame's batches keep one set of workers busy
// (spinning from one batch to the next) instead of waking three sets.
namespace platform {

class WorkerPool {
public:
    // A pool of `threads` threads in all, the caller's included: threads - 1
    // workers (none for 1 or less; fewer when the system refuses a thread).
    explicit WorkerPool(int threads);
    // Wakes the workers and waits for them to end.
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // The threads that run a batch, the caller's included.
    int Threads() const { return static_cast<int>(m_workers.size()) + 1; }

    // Runs task(context, i) for every i in [0, count), each exactly once, on
    // the workers and the calling thread; returns when all have returned.
    // Which thread runs which index is not fixed, but in a batch of at most
    // kMaxSpreadCount tasks each thread first takes its own share (thread k
    // of n, the caller being 0: indices k, k + n, ...) in rising order, then
    // what is left, so the same task of similar batches mostly runs on the
    // same thread. In every batch each thread takes its indices in rising
    // order, so a task may wait for a task of a lower index to end: that
    // one has been taken by a running thread, or will be.
    using Task = void (*)(void* context, int index);
    void Run(int count, Task task, void* context);
    // Run in two halves: Start hands the batch to the workers and returns at
    // once, so that the caller can do other work meanwhile; Finish takes the
    // caller's share of what is left and waits for the batch to end. Every
    // Start is followed by its Finish before the next batch.
    void Start(int count, Task task, void* context);
    void Finish();

    // The number of threads the hardware runs at once (at least 1).
    static int HardwareThreads();
    // The pool of HardwareThreads() threads, made at the first call and kept
    // until the program ends.
    static WorkerPool& Shared();

private:
    void WorkerLoop(int thread);
    static constexpr int kMaxSpreadCount = 48;

    // Takes indices of the current batch until none is left; a worker first
    // takes on the caller's floating-point environment. `thread`: 0 for the
    // caller, 1 to n - 1 for the workers.
    void Drain(int thread);
    enum class Claim { Claimed, Taken, BatchOver };
    // Claims `index` of small batch `number`.
    Claim ClaimIndex(std::uint32_t number, int index);

    std::vector<std::unique_ptr<Thread>> m_workers;
    // The batch's task. Written only while no batch runs; a thread reads it
    // only after it has claimed an index of a running batch, which keeps the
    // batch from ending until that index is done.
    Task m_task = nullptr;
    void* m_context = nullptr;
    // The caller's floating-point environment (rounding, traps), which the
    // tasks of the batch run under on every thread.
    std::fenv_t m_environment{};
    // The count of the batch started (0 when it ran on the caller alone).
    int m_started = 0;
    // The running batch: its number (high 32 bits), the next index to claim
    // (bits 16..31) and the index count (bits 0..15). An index is claimed by
    // a compare-and-swap on the whole word, so a thread that looked at an
    // earlier batch can never claim an index of a later one.
    alignas(64) std::atomic<std::uint64_t> m_batch{0};
    // A small batch's claims: its number's low 16 bits, then a bit for each
    // index taken (a thread that looked at an earlier batch sees the number
    // differ and claims nothing).
    alignas(64) std::atomic<std::uint64_t> m_claims{0};
    // Indices of the running batch whose task has returned.
    alignas(64) std::atomic<int> m_done{0};
    // Counts batches; a waiting worker watches it change (also at the end).
    alignas(64) std::atomic<std::uint32_t> m_generation{0};
    std::atomic<bool> m_stop{false};
    // Held by the thread whose batch has the workers, from Start to Finish.
    std::atomic<bool> m_busy{false};
    // Workers asleep on m_generation; the caller wakes them only then.
    std::atomic<int> m_sleepers{0};
};

} // namespace platform
