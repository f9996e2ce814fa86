#pragma once

#include <cstdint>

// The machine's memory, as the renderer's start-up asks for it.
namespace platform {

// The total physical memory of the machine in bytes; 0 when it cannot be
// read. While a test figure is set, that figure.
std::uint64_t total_physical_memory();

// Tests: the figure total_physical_memory() reports from now on, for every
// thread; clear_test_physical_memory() goes back to the machine's own.
void set_test_physical_memory(std::uint64_t bytes);
void clear_test_physical_memory();

} // namespace platform
