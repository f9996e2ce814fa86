#include <cmath>

#include "app/game_app.h"
#include "input/input_manager.h"
#include "race/bike_contacts.h"
#include "race/race.h"
#include "sim/race_context.h"
#include "sim/snapshot.h"

// The race frame by frame: the update after each drawn frame, the
// simulation step with its sub-steps, the start, and the state snapshots.

namespace {

// The longest frame simulated, and the longest sub-step.
constexpr float kMaxFrame = 1.0f;
constexpr float kMaxSubStep = 0.1f;

// Input mode bit: every frame simulates again from one saved state.
constexpr std::uint32_t kInputModeSnapshot = 0x100;

// Camera mode that the chosen camera setting 4 (trackside) is replaced by
// in practice sessions.
constexpr std::int32_t kChosenTrackside = 4;

// Overlay messages of the start.
constexpr std::uint32_t kHudMessagesOnboardTrackside = kHudOnboard | kHudTrackside;

} // namespace

void Race::Update()
{
    InputManager* input = TheInputManager();
    if (!(LiveFlags() & kRaceSuspended) && input) {
        RestoreState(nullptr);
        HandleKeys();
        const bool simulate = input->ReadControls();
        // Watching a replay, the camera and the overlay (its timers and
        // fades) run on the viewer's time: the recorded frames come in
        // bursts as the replay time passes them, and not at all while it
        // waits or after the last one, when a fade must still run to end
        // the replay.
        m_Camera.m_fFrameTime =
            (input->m_dwMode & kInputModePlayback) ? input->m_fLastFrameTime : input->m_fFrameTime;
        const float step = simulate ? std::fabs(Step()) : std::fabs(input->m_fFrameTime);
        input->StepStateReplay();

        Bike* viewed = ViewedBike();
        if (viewed)
            UpdateBikeModel(*viewed);
        const bool frozenReplay = (input->m_dwMode & kInputModePlayback) && input->m_fRaceClock == 0.0f;
        m_Camera.Update(frozenReplay ? 0.0f : step);
        for (int i = 0; i < RiderCount(); ++i) {
            Bike& bike = m_pBikes[i];
            if (&bike != viewed)
                UpdateBikeModel(bike);
            bike.UpdateEngineSound(m_Camera.m_fFrameTime);
        }
        if (RiderCount() == 0)
            m_CameraEditor.Run(step, false);
    }

    // A practice-type session: a player out of the session goes to the
    // in-race menu (also while the race is suspended).
    if (!IsPracticeSession(m_nSessionType))
        return;
    bool playerOut = false;
    for (int i = 0; i < RiderCount(); ++i)
        if (m_pBikes[i].IsHuman() && m_pBikes[i].IsOut())
            playerOut = true;
    if (playerOut)
        RunInRaceMenu();
}

// The in-race menu of a practice-type session. A race started straight from
// a menu command, or one with no menu to show, runs its session to the end.
void Race::RunInRaceMenu()
{
    // The race begins again from within the menu's Resume; a rider still
    // out then waits for the next frame instead of opening the menu again.
    if (m_bInMenu)
        return;
    m_bInMenu = true;
    RunInRaceMenuOnce();
    m_bInMenu = false;
}

void Race::RunInRaceMenuOnce()
{
    Suspend();
    if ((m_uRunFlags & kAppFlagDirectStart) || !m_InRaceMenu) {
        LiveFlags() = kRaceFlagEnding | kRaceSuspended;
        Resume();
        return;
    }
    m_InRaceMenu(*this);
    Resume();
}

float Race::Step()
{
    InputManager* input = TheInputManager();
    if (!input)
        return 0.0f;
    const Hud& hud = GetHud();
    if (input->m_bPaused || hud.m_fFadeLevel != hud.m_fFadeTarget)
        return 0.0f;

    float h = 0.0f;
    do {
        const bool snapshot = (input->m_dwMode & kInputModeSnapshot) != 0;
        if (snapshot)
            SaveState(nullptr);
        const float dt = input->m_fFrameTime;
        h = dt;
        if (dt > 0.0f) {
            UpdateSessionClock(false);
            UpdateStandings();
            h = dt > kMaxFrame ? kMaxFrame : dt;
            int n = 1;
            if (h > kMaxSubStep) {
                n = static_cast<int>(std::trunc(0.99f + 10.0f * h));
                h /= static_cast<float>(n);
            }
            const int riders = RiderCount();
            // A snapshot step is taken back every frame: in order.
            BikeStepping* stepping = snapshot ? nullptr : Stepping();
            for (int k = 0; k < n; ++k) {
                if (!stepping || !stepping->ControlStep(m_pBikes.get(), riders, h))
                    for (int i = 0; i < riders; ++i)
                        m_pBikes[i].ControlStep(h);
                if (stepping && stepping->Step(m_pBikes.get(), riders, h))
                    continue;
                for (int i = 0; i < riders; ++i) {
                    m_pBikes[i].DynamicsStep(h);
                    m_pBikes[i].StateStep(h);
                }
            }
            if (!snapshot) {
                ResolveBikeContacts(*this);
                SmokeUpdate(*this, h);
            }
        }
    } while (input->NextFrame(false));
    return h;
}

BikeStepping* Race::Stepping()
{
    if (!m_pStepping) {
        const int threads =
            m_nSimulationThreads > 0 ? m_nSimulationThreads : BikeStepping::ThreadsFor(RiderCount());
        if (threads < 2 || RiderCount() < 2) {
            m_nSimulationThreads = 1;
            return nullptr;
        }
        m_pStepping = std::make_unique<BikeStepping>(threads);
    }
    return m_pStepping.get();
}

void Race::SetSimulationThreads(int threads)
{
    m_nSimulationThreads = threads < 0 ? 0 : threads;
    m_pStepping.reset();
}

void Race::Begin()
{
    // The input keeps one clock for the start countdown and the session: a
    // run begins at 0, also one that begins suspended for the in-race menu
    // (the session before it left the clock at its end), but a practice
    // session back from the in-race menu goes on with the time it has run.
    InputManager* input = TheInputManager();
    if (input && (!m_bResuming || input->m_fRaceClock < 0.0f))
        input->m_fRaceClock = 0.0f;
    if (LiveFlags() & kRaceSuspended)
        return;
    SetSkyColour();
    Hud& hud = GetHud();
    hud.ResetForRace();

    if (RiderCount() == 0) {
        m_Camera.SetMode(kCameraOnboard);
        m_Camera.FollowPoint(&m_CameraEditor.m_Eye, &m_CameraEditor.m_Aim, &m_CameraEditor.m_Angles);
        Update();
        return;
    }

    int viewed = -1;
    for (int i = 0; i < RiderCount() && viewed < 0; ++i)
        if (m_pBikes[i].RiderEntry && m_pBikes[i].RiderEntry->Kind >= 0)
            viewed = i;
    if (viewed < 0)
        viewed = static_cast<int>(static_cast<float>(RiderCount()) * 0.25f);
    m_Camera.FollowBike(&m_pBikes[viewed]);
    SetViewRider(viewed);

    const bool playback = input && (input->m_dwMode & kInputModePlayback);
    if (m_nSessionType > 2) {
        if (playback) {
            hud.Raise(kHudReplayPanel);
            m_Camera.SetMode(kCameraTelevision);
        } else if (AttractRun()) {
            m_Camera.SetMode(kCameraTelevision);
        } else {
            hud.Raise(kHudStartSequence);
            hud.DisableMessages(kHudMessagesOnboardTrackside);
            m_Camera.SetMode(kCameraStart);
        }
    } else {
        hud.Raise(kHudOnboard);
        m_Camera.SetMode(m_nCameraSetting == kChosenTrackside ? kCameraOnboard : m_nCameraSetting);
    }
    Update();
}

void Race::StartRace()
{
    // The players of a network game wait here for each other.
    if (NetworkGame())
        TheGameApp().SyncPlayers();
    StartArcadeJingle(*this);
    RaceContext& context = CurrentRaceContext();
    if (context.Models == m_BikeModels)
        context.RaceRecord = kNoLapTime;
    LiveFlags() |= kRaceRacing;
    Hud& hud = GetHud();
    if (!AttractRun()) {
        hud.Clear(kHudStartSequence);
        hud.EnableMessages(kHudMessagesOnboardTrackside);
    }
    hud.ShowFlag(-1);
    for (int i = 0; i < RiderCount(); ++i)
        m_pBikes[i].OnRaceEnd();
}

std::uint32_t* Race::SaveState(std::uint32_t* buffer)
{
    std::uint32_t& flags = LiveFlags();
    if (!buffer) {
        m_uSavedFlags = flags;
        if (flags & kRaceStateSaved)
            return nullptr;
        if (m_SaveBuffer.size() < StateWordCount())
            return nullptr;
        flags |= kRaceStateSaved;
        buffer = m_SaveBuffer.data();
    }
    std::uint32_t* out = buffer;
    *out++ = flags;
    SaveSimulationState(out);
    out += kSimulationStateWords;
    for (int i = 0; i < RiderCount(); ++i) {
        m_pBikes[i].SaveSnapshot(out, true);
        out += kBikeSnapshotWords;
    }
    return out;
}

const std::uint32_t* Race::RestoreState(const std::uint32_t* buffer)
{
    std::uint32_t& flags = LiveFlags();
    std::uint32_t newFlags = 0;
    if (!buffer) {
        if (!(flags & kRaceStateSaved) || m_SaveBuffer.size() < StateWordCount())
            return nullptr;
        buffer = m_SaveBuffer.data();
        newFlags = m_uSavedFlags & ~kRaceStateSaved;
    } else {
        newFlags = buffer[0];
    }
    // The bikes first: showing a restored bike asks the tracks, whose search
    // hints the simulation state then puts back as they were saved.
    const std::uint32_t* simulation = buffer + 1;
    const std::uint32_t* in = simulation + kSimulationStateWords;
    for (int i = 0; i < RiderCount(); ++i) {
        m_pBikes[i].RestoreSnapshot(in, true);
        in += kBikeSnapshotWords;
    }
    RestoreSimulationState(simulation);
    // The simulation state carries the flags as they were saved; the race's
    // rule decides which are in force.
    LiveFlags() = newFlags;
    return in;
}

void Race::SetViewRider(int rider)
{
    m_nViewedRider = rider;
    RaceContext& context = CurrentRaceContext();
    if (context.Models == m_BikeModels)
        context.ViewedRider = rider;
    // The viewed rider's cockpit and handlebars take its colours with the
    // race's 3D data.
    if (m_Camera.Mode() != kCameraTelevision)
        m_Camera.SetMode(m_Camera.Mode());
}

bool Race::SetRiderSetup(std::uint32_t riderId, const BikeSetup* setup)
{
    if (!setup)
        return false;
    for (int i = 0; i < RiderCount(); ++i) {
        Bike& bike = m_pBikes[i];
        if (bike.GridEntry && static_cast<std::uint32_t>(bike.GridEntry->PitSlot) == riderId)
            return bike.SetSetup(*setup);
    }
    return false;
}

void Race::UpdateBikeModel(Bike& bike)
{
    // Poses the bike's instances; they exist only with the race's 3D data.
    if (Has3d())
        if (RaceHooks* hooks = CurrentRaceContext().Hooks)
            hooks->UpdateModel(bike);
}
