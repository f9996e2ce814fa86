#include "race/smoke.h"

#include "race/race.h"

void SmokeUpdate(Race& /*race*/, float /*dt*/)
{
    // Particles are model instances that the race's 3D data makes with the
    // "Ambient" graphics flag; until the race has model libraries it has no
    // particle to move.
}
