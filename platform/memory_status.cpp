#include "platform/memory_status.h"

#include <unistd.h>

#include <atomic>

namespace platform {
namespace {

std::atomic<bool> g_test_set{false};
std::atomic<std::uint64_t> g_test_bytes{0};

} // namespace

std::uint64_t total_physical_memory()
{
    if (g_test_set.load())
        return g_test_bytes.load();
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long page_size = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || page_size <= 0)
        return 0;
    return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(page_size);
}

void set_test_physical_memory(std::uint64_t bytes)
{
    g_test_bytes.store(bytes);
    g_test_set.store(true);
}

void clear_test_physical_memory()
{
    g_test_set.store(false);
}

} // namespace platform
