#include "sim/bike.h"
#include "sim/race_context.h"
#include "sim/rider_state_table.h"
#include "sim/rider_states.h"

namespace {

// The fall sound: sample, frequency, volume, mode, and its audible range.
constexpr int kFallSample = 19;
constexpr float kFallFrequency = 16800.0f;
constexpr float kFallVolume = 0.5f;
constexpr int kFallMode = 40;
constexpr float kFallNear = 80.0f;
constexpr float kFallFar = 500.0f;

// The animation record that plays a state: the state's own for 0..70; the
// waiting states beside the bike play the getting-on records, waiting plays
// record 0 and riding the riding record. -1 for a state above 70, which has
// no record.
std::int32_t PlayedRecord(std::int32_t state)
{
    switch (state) {
    case kRiderBesideBikeA:
        return kRiderGetOnA;
    case kRiderBesideBikeB:
        return kRiderGetOnB;
    case kRiderWaiting:
        return kRiderPullAway;
    case kRiderRiding:
        return kRiderRideAnimation;
    default:
        break;
    }
    if (state < kFirstRiderState)
        return 0;
    return HasStateRecord(state) ? state : -1;
}

} // namespace

// Enters a rider state, `startTime` seconds into its animation (the leftover
// of the animation that just ended). The animations of the bike and rider
// instances switch at once.
void Bike::SetState(int state, float startTime)
{
    const std::int32_t previous = RiderState;
    StateTime = startTime;
    RiderState = state;
    if (RiderStateListener* listener = CurrentRaceContext().StateListener)
        listener->RiderStateEntered(*this, previous, state);
    if (HoldsSlideCorrection(state))
        Status |= kBikeNoSlideFix;
    else
        Status &= ~kBikeNoSlideFix;

    RaceContext& race = CurrentRaceContext();
    const RiderStateTable* table = race.RiderStates;

    // The bike's own animation plays only while it is lifted after a fall.
    if (state == kRiderLiftBikeA || state == kRiderLiftBikeB) {
        Status &= ~kBikeBodyActive;
        if (race.Hooks) {
            if (BikeInstance)
                race.Hooks->SetAnimation(BikeInstance, race.BikeAnimations[state == kRiderLiftBikeA ? 0 : 1]);
            race.Hooks->Play(kFallSample, Index, kFallFrequency, kFallVolume, kKeepSoundValue, kFallMode);
            race.Hooks->SetVoiceDistance(kFallSample, Index, kFallNear, kFallFar);
            race.Hooks->SetVoicePosition(kFallSample, Index, Position);
        }
    } else if (race.Hooks && BikeInstance) {
        race.Hooks->SetAnimation(BikeInstance, 0);
    }

    const std::int32_t played = PlayedRecord(state);
    if (state >= 0) {
        if (state == kRiderLookBehind) {
            // The head starts turning toward the side the bike leans away from.
            StatePhase = Roll < 0.0f ? 0.51f : 0.49f;
        } else if (state == kRiderGetOnA || state == kRiderGetOnB) {
            Recover(false);
        }
    } else if (state >= kFirstRiderState) {
        StateTime = 0.0f;
        if (state == kRiderRiding)
            StatePhase = 0.5f;
    } else {
        // A state below the known ones waits at the end of the default
        // animation.
        StateTime = table ? static_cast<float>(table->FrameCount(0)) * kSecondsPerFrame : 0.0f;
    }

    // Only animations the race's table names are asked for, and only of an
    // instance that exists.
    if (table && race.Hooks && RiderInstance && played >= 0)
        race.Hooks->SetAnimation(RiderInstance, table->RiderHash[played]);

    if (table && played >= 0) {
        const std::int32_t frames = table->FrameCount(played);
        if (frames != 0)
            StatePhase = StateTime * kAnimationFramesPerSecond / static_cast<float>(frames);
    }
}
