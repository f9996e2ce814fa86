#include "platform/fault_seam.h"

#include <atomic>

namespace platform {
namespace {
std::atomic<int> g_armed[static_cast<int>(Fault::Count)];
// Operations of a kind that still pass before its armed failures fire.
std::atomic<int> g_skip[static_cast<int>(Fault::Count)];
}

void fail_next(Fault fault, int count)
{
    g_armed[static_cast<int>(fault)].fetch_add(count);
}

bool take_fault(Fault fault)
{
    auto& armed = g_armed[static_cast<int>(fault)];
    auto& skip = g_skip[static_cast<int>(fault)];
    if (armed.load() > 0) {
        int pass = skip.load();
        while (pass > 0) {
            if (skip.compare_exchange_weak(pass, pass - 1))
                return false;
        }
    }
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
    for (auto& skip : g_skip)
        skip.store(0);
}

void fail_after(Fault fault, int skip)
{
    g_skip[static_cast<int>(fault)].store(skip > 0 ? skip : 0);
    g_armed[static_cast<int>(fault)].store(1);
}

} // namespace platform
