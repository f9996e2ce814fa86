#include "platform/thread.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <system_error>

#include "platform/fault_seam.h"

namespace platform {
namespace {

// Raises the calling thread's priority as far as the system lets this
// process. Real-time round-robin at its lowest level is already ahead of
// every normal thread; an unprivileged process falls back to the lowest nice
// value its limit allows (nice values are per thread on Linux).
void raise_to_time_critical()
{
    sched_param param{};
    param.sched_priority = sched_get_priority_min(SCHED_RR);
    if (pthread_setschedparam(pthread_self(), SCHED_RR, &param) == 0)
        return;

    rlimit limit{};
    if (getrlimit(RLIMIT_NICE, &limit) != 0)
        return;
    // RLIMIT_NICE holds 20 - the lowest nice value allowed.
    const long allowed = limit.rlim_cur == RLIM_INFINITY ? -20 : 20 - static_cast<long>(limit.rlim_cur);
    const int target = allowed < -20 ? -20 : static_cast<int>(allowed);
    const auto tid = static_cast<id_t>(syscall(SYS_gettid));
    if (target < getpriority(PRIO_PROCESS, tid))
        (void)setpriority(PRIO_PROCESS, tid, target);
}

} // namespace

Thread::~Thread()
{
    join();
}

Thread& Thread::operator=(Thread&& other) noexcept
{
    if (this != &other) {
        join();
        thread_ = std::move(other.thread_);
        running_ = std::move(other.running_);
    }
    return *this;
}

bool Thread::start(std::function<void()> body, ThreadPriority priority)
{
    if (running())
        return false;
    join();
    if (take_fault(Fault::ThreadCreate))
        return false;

    // Marked running before the thread exists, so a caller that checks
    // running() right after start() never sees a thread that has not begun
    // as one that has ended.
    auto running = std::make_shared<std::atomic<bool>>(true);
    try {
        thread_ = std::thread([body = std::move(body), priority, running]() {
            if (priority == ThreadPriority::TimeCritical)
                raise_to_time_critical();
            body();
            running->store(false, std::memory_order_release);
        });
    } catch (const std::system_error&) {
        return false;
    }
    running_ = std::move(running);
    return true;
}

void Thread::join()
{
    if (!thread_.joinable())
        return;
    if (thread_.get_id() == std::this_thread::get_id())
        thread_.detach();
    else
        thread_.join();
}

} // namespace platform
