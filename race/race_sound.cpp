#include "race/race.h"

// The race's sounds. Loading the effect samples and the bike models' engine
// sounds, and freeing them, need the sound library of the race, which is
// not built yet: both do nothing, and the race runs without sounds.

void Race::LoadSounds()
{
}

void Race::FreeSounds()
{
}
