#include "fuzz/seeds/seed_registry.h"

namespace fuzz_seeds {

const SeedTarget*& seed_targets()
{
    static const SeedTarget* first = nullptr;
    return first;
}

} // namespace fuzz_seeds
