#include <exception>
#include <string>

#include "app/game_app.h"
#include "input/input_manager.h"
#include "platform/message_box.h"
#include "race/race.h"
#include "sim/race_context.h"

// The in-race menu: the race stops drawing and runs its bikes in the
// simulated mode. A rider waiting in the pit lane to go out is put on the
// circuit; one on its way in is parked. The 3D data is freed meanwhile.
void Race::Suspend()
{
    LiveFlags() |= kRaceSuspended;
    if (InputManager* input = TheInputManager())
        input->m_bPaused = 0;
    for (int i = 0; i < RiderCount(); ++i) {
        Bike& bike = m_pBikes[i];
        if (bike.IsOut())
            continue;
        if (bike.Status & kBikeWaitingInBox)
            bike.RejoinCircuit();
        else if (bike.Status & kBikeInPitLane)
            bike.Park();
    }
    Release3d();
}

// Back from the in-race menu: with the end of the run asked for, the session
// runs out at once and the picture is black; otherwise the 3D data comes
// back, every rider in the session is put on the circuit where its simulated
// run has brought it, and the race begins again.
void Race::Resume()
{
    std::uint32_t& flags = LiveFlags();
    if (!(flags & kRaceSuspended) && !(m_uRunFlags & kAppFlagDirectStart))
        return;
    InputManager* input = TheInputManager();
    if (input)
        input->m_bPaused = 0;
    Hud& hud = GetHud();
    if (flags & kRaceFlagEnding) {
        UpdateSessionClock(false);
        hud.m_fFadeLevel = 1.0f;
        return;
    }

    flags &= ~kRaceSuspended;
    // The reload runs outside the load's own handler: a failure is shown as
    // a failed load is, and ends the race (not the program).
    try {
        Load3d();
        Start3d();
    } catch (const std::exception& e) {
        EndAfterFailedResume(e.what());
        return;
    }
    PutRidersBackOnCircuit();
    for (int i = 0; i < RiderCount(); ++i) {
        Bike& bike = m_pBikes[i];
        if (bike.IsHuman() && bike.IsOut())
            bike.Restart();
        if (bike.IsHuman() && input)
            input->ResetTarget(&bike.Controls);
    }
    m_bResuming = true;
    Begin();
    m_bResuming = false;
}

// Each rider still in the session stands on the circuit's centre line at
// the distance it has reached, ready to ride.
void Race::PutRidersBackOnCircuit()
{
    const int segments = m_Circuit.SegmentCount();
    for (int i = 0; i < RiderCount(); ++i) {
        Bike& bike = m_pBikes[i];
        if (bike.IsOut())
            continue;
        bike.Path = &m_Circuit;
        bike.Segment = 0;
        while (static_cast<int>(bike.Segment) + 1 < segments &&
               bike.Progress >= m_Circuit.SegmentStart[bike.Segment + 1])
            ++bike.Segment;
        Vec2 point;
        m_Circuit.DistanceToPoint(bike.Progress, &point, nullptr);
        bike.Position.x = point.x;
        bike.Position.y = 0.0f;
        bike.Position.z = point.z;
        bike.ResetDynamics(false);
    }
}

void Race::EndAfterFailedResume(const char* message)
{
    if (message && *message)
        platform::message_box(message, "Error", platform::MB_ICONEXCLAMATION);
    Release3d();
    LiveFlags() |= kRaceSuspended | kRaceFlagEnding;
    GetHud().m_fFadeLevel = 1.0f;
}
