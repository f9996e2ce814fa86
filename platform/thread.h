#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

// Threads of the program's own: the race's loading-screen thread and the
// music refill threads.
namespace platform {

enum class ThreadPriority {
    Normal,
    // Runs ahead of normal threads where the system allows it (real-time
    // round-robin scheduling, else the lowest nice value permitted). Without
    // the privilege the thread runs at normal priority; that is not an error.
    TimeCritical,
};

// One thread running one body. The destructor waits for the body to return.
class Thread {
public:
    Thread() = default;
    ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;
    Thread(Thread&& other) noexcept = default;
    // Waits for this object's own thread before taking over the other one.
    Thread& operator=(Thread&& other) noexcept;

    // Starts `body` on a new thread. False, with nothing run, when the system
    // refuses the thread (or the ThreadCreate fault is armed) or when a body
    // started earlier is still running. A previous body that has returned is
    // joined first.
    bool start(std::function<void()> body, ThreadPriority priority = ThreadPriority::Normal);

    // Waits for the body to return. Nothing happens when no thread was
    // started or it has been joined already. Called from the body itself it
    // lets the thread go on alone instead of waiting for itself.
    void join();

    // A thread was started and has not been joined yet.
    bool joinable() const { return thread_.joinable(); }

    // The body has been started and has not returned yet. A loop waiting for
    // an answer from the thread checks this so it never waits on a thread
    // that has ended without answering.
    bool running() const { return running_ && running_->load(std::memory_order_acquire); }

private:
    std::thread thread_;
    std::shared_ptr<std::atomic<bool>> running_;
};

} // namespace platform
