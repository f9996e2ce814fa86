#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Seed inputs for the fuzz targets. Each fuzz/seeds/<name>_seeds.cpp adds
// the seeds of target <name> with TORVANE_FUZZ_SEEDS(<name>) { ... }, and
// make_fuzz_seeds writes them to <folder>/<name>/.
namespace fuzz_seeds {

struct Seed {
    std::string file_name;
    std::vector<std::uint8_t> bytes;
};
using SeedWriter = void (*)(std::vector<Seed>& seeds);

struct SeedTarget {
    const char* name;
    SeedWriter writer;
    const SeedTarget* next;
};

// The targets registered so far, newest first.
const SeedTarget*& seed_targets();

struct SeedRegistration {
    SeedTarget target;
    SeedRegistration(const char* name, SeedWriter writer) : target{name, writer, seed_targets()}
    {
        seed_targets() = &target;
    }
};

} // namespace fuzz_seeds

#define TORVANE_FUZZ_SEEDS(name)                                                            \
    static void name##_seeds(std::vector<fuzz_seeds::Seed>& seeds);                        \
    static fuzz_seeds::SeedRegistration name##_seed_registration(#name, &name##_seeds);    \
    static void name##_seeds(std::vector<fuzz_seeds::Seed>& seeds)
