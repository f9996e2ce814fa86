#include "platform/fault_seam.h"

#include <atomic>

namespace platform {
namespace {
std::atomic<int> g_armed[static_cast<int>(Fault::Count)];
}

void fail_next(Fault fault, int count)
{
    g_armed[static_cast<int>(fault)].fetch_add(count);
}

bool take_fault(Fault fault)
{
    auto& armed = g_armed[static_cast<int>(fault)];
    int n = armed.load();
    while (n > 0) {
        if (armed.compare_exchange_weak(n, n - 1))
            return true;
    }
    return false;
}

void clear_faults()
{
    for (auto& armed : g_armed)
        armed.store(0);
}

} // namespace platform
