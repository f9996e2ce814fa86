#include "platform/random.h"

namespace platform {
namespace {
// Constant-initialised, so they are ready before any static constructor runs.
constinit RandomStream g_streams[3];
} // namespace

RandomStream& random_stream(RandomStreamId id)
{
    switch (id) {
    case RandomStreamId::Simulation:
        return g_streams[1];
    case RandomStreamId::Cosmetic:
        return g_streams[2];
    case RandomStreamId::Default:
        break;
    }
    return g_streams[0];
}

int rand()
{
    return g_streams[0].next();
}

void srand(std::uint32_t seed)
{
    g_streams[0].seed(seed);
}

} // namespace platform
