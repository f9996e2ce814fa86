#include "sim/bike.h"
#include "sim/race_context.h"

namespace {

// States in which the lean step makes no slide correction (waiting, getting
// going, stopping, turning the bike round, stuck off the road).
bool HoldsSlideCorrection(int state)
{
    switch (state) {
    case -2: case 0: case 1: case 23: case 24: case 27: case 28: case 55:
        return true;
    default:
        return false;
    }
}

} // namespace

// Enters a rider state. The animation records of the states (frame counts,
// follow-ups) come with the race's rider animation table; until the rider
// state machine reads it, a state has no animation length of its own.
void Bike::SetState(int state, float startTime)
{
    StateTime = startTime;
    RiderState = state;
    if (HoldsSlideCorrection(state))
        Status |= kBikeNoSlideFix;
    else
        Status &= ~kBikeNoSlideFix;

    RaceContext& race = CurrentRaceContext();
    if (state == 21 || state == 25) {
        Status &= ~kBikeBodyActive;
        if (race.Hooks && BikeInstance)
            race.Hooks->SetAnimation(BikeInstance, race.BikeAnimations[state == 21 ? 0 : 1]);
    } else if (race.Hooks && BikeInstance) {
        race.Hooks->SetAnimation(BikeInstance, 0);
    }

    if (state == 4) {
        // The head turns toward the side the bike leans away from.
        StatePhase = Roll < 0.0f ? 0.51f : 0.49f;
    } else if (state < 0) {
        StateTime = 0.0f;
        if (state == -1)
            StatePhase = 0.5f;
    }
}
