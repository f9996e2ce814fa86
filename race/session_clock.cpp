#include <algorithm>
#include <cmath>

#include "app/game_app.h"
#include "input/input_manager.h"
#include "input/race_link.h"
#include "race/race.h"
#include "sim/race_conditions.h"
#include "sim/race_context.h"

// The one-hour clock of the practice-type sessions and the classification
// of a session after its frame loop.

namespace {

// The viewed rider is parked this long after the hour, so the session's end
// is seen before the picture fades.
constexpr float kSessionParkTime = 3604.0f;

// While suspended, fast-forward runs the session twenty times as fast.
constexpr float kFastForward = 20.0f;

// Race times of riders still unfinished at the classification: behind every
// finisher, in their standing order.
constexpr float kUnfinishedRaceTime = 1467.99f;

} // namespace

std::uint32_t& Race::LiveFlags()
{
    RaceContext& context = CurrentRaceContext();
    return context.Models == m_BikeModels ? context.Flags : m_uFlags;
}

void Race::UpdateSessionClock(bool fast)
{
    if (!IsPracticeSession(m_nSessionType))
        return;
    InputManager* input = TheInputManager();
    if (!input)
        return;
    std::uint32_t& flags = LiveFlags();

    if (flags & kRaceSimulated) {
        // Suspended: nothing else moves the session on.
        if (flags & kRaceFlagEnding) {
            RunSuspendedSession(kTimedSessionLength - input->m_fRaceClock, true);
        } else {
            float frame = input->StepClock();
            input->m_fRaceClock -= frame; // the sub-steps add it again
            if (fast)
                frame *= kFastForward;
            RunSuspendedSession(frame, false);
        }
    } else {
        RelaunchOneRider();
    }

    if (input->m_fRaceClock < kTimedSessionLength)
        return;
    if (!(flags & kRaceFinished)) {
        flags |= kRaceFinished;
        for (int i = 0; i < RiderCount(); ++i)
            m_pBikes[i].FinishRace();
        if (RaceHooks* hooks = CurrentRaceContext().Hooks)
            hooks->HudRaise(kHudSessionOver);
        return;
    }
    if (input->m_fRaceClock >= kSessionParkTime)
        input->QueueRaceCommand(kRaceCommandPark);
}

// Runs `frameTime` seconds of a suspended session in sub-steps of at most
// 1 s: the riders in the session advance along their paths, and parked
// computer riders are sent out when their time comes.
void Race::RunSuspendedSession(float frameTime, bool toTheEnd)
{
    if (!(frameTime > 0.0f))
        return;
    // No frame is longer than the whole session: a stalled clock that
    // jumps far ahead ends the hour, it does not make millions of steps.
    frameTime = std::min(frameTime, kTimedSessionLength);
    const int n = static_cast<int>(std::trunc(frameTime)) + 1;
    const float h = frameTime / static_cast<float>(n);
    InputManager& input = *TheInputManager();
    const float start = input.m_fRaceClock;
    for (int k = 0; k < n; ++k) {
        for (int i = 0; i < RiderCount(); ++i) {
            Bike& bike = m_pBikes[i];
            if (!bike.IsOut())
                bike.AdvanceTime(h);
            else if (!bike.IsHuman())
                bike.PracticeRelaunch();
        }
        if (k + 1 < n)
            input.m_fRaceClock = start + h * static_cast<float>(k + 1);
    }
    // The last sub-step lands on the end of the frame exactly (the end of
    // the hour when that was asked for), however the steps rounded.
    input.m_fRaceClock = toTheEnd ? kTimedSessionLength : start + frameTime;
}

// While the race runs: when nobody is out on a run from the pit lane, the
// first parked computer rider whose time has come goes out.
void Race::RelaunchOneRider()
{
    const int count = RiderCount();
    for (int i = 0; i < count; ++i) {
        const Bike& bike = m_pBikes[i];
        if ((bike.Status & kBikeInPitLane) && !(bike.Status & kBikeParked))
            return;
    }
    for (int i = 0; i < count; ++i) {
        Bike& bike = m_pBikes[i];
        if (!bike.IsHuman() && bike.IsOut() && bike.PracticeRelaunch())
            return;
    }
}

void Race::ClassifyUnfinished()
{
    const RaceContext& context = CurrentRaceContext();
    if ((context.GraphicsFlags & kGfxFlagMusic) && context.Hooks) {
        if (m_nSessionType == kSessionArcade)
            context.Hooks->StopStream(0);
        context.Hooks->StopStream(1);
    }
    if (m_nSessionType == kSessionQualifying) {
        Suspend();
        UpdateSessionClock(false);
        return;
    }
    if (m_nSessionType < 4)
        return;

    const int count = RiderCount();
    Bike* bikes = m_pBikes.get();
    bool unfinished = false;
    for (int i = 0; i < count; ++i) {
        bikes[i].CompleteRace();
        if (!(bikes[i].Status & kBikeFinished))
            unfinished = true;
    }
    if (!unfinished)
        return;
    if (!OrdersValid(count))
        ResetOrders();
    for (int i = 0; i < count; ++i)
        if (!(bikes[i].Status & kBikeFinished))
            bikes[i].RaceTime = kUnfinishedRaceTime + static_cast<float>(bikes[i].RacePosition);
    SortByRaceTime(bikes, m_StandingOrder.data(), count);
    AssignStandingPositions(bikes, m_StandingOrder.data(), count, 0);
}
