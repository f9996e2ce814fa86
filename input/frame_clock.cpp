#include <cmath>

#include "input/input_math.h"
#include "input/input_manager.h"
#include "input/race_link.h"
#include "platform/clock.h"

// The frame clock: the frame time of each drawn frame, the start countdown,
// the replay time, the taking of simulation frames and the race commands.

namespace {

// Numeric-pad keys that drive an input replay.
constexpr int kKeyPad3 = 0x51;
constexpr int kKeyPad5 = 0x4C;
constexpr int kKeyPad6 = 0x4D;
constexpr int kKeyPad9 = 0x49;

// A state replay block holds this many seconds.
constexpr float kStateBlockSeconds = 20.0f;

} // namespace

float InputManager::StepClock()
{
    if (m_bDevicesLost)
        Poll();

    // The time is read first: a paused or lost frame measures time too.
    const std::uint32_t now = platform::time_get_time();
    const float dt = SecondsBetween(m_dwLastTime, now);
    if (m_bPaused || m_bDevicesLost) {
        m_fFrameTime = dt;
        m_dwLastTime = now;
        return 0.0f;
    }
    m_fFrameTime = m_fLastFrameTime = dt;

    if (m_fRaceClock < 0.0f)
        return StepCountdown(now, dt);

    // Racing.
    if (m_pRaceLink) {
        if (m_fRaceClock > 3.0f)
            m_pRaceLink->SetStartLight(-1);
        // A session without a countdown gets its go signal on its first
        // racing frame.
        if (!(m_pRaceLink->RaceFlags() & kRaceFlagRacing))
            m_pRaceLink->Finish();
    }
    m_dwLastTime = now;
    // A network race's clock moves with the host's frames (NextFrame).
    if (!NetworkRaceRunning())
        m_fRaceClock += dt;

    StepReplayTime(dt);
    return m_fFrameTime;
}

// The start countdown: below -6 the start holds; one beep as the clock
// passes -5, the last beep and the first light as it passes -1, the second
// light and the go signal at 0. No frame time flows meanwhile.
float InputManager::StepCountdown(std::uint32_t now, float dt)
{
    float& c = m_fRaceClock;
    if (c < kRaceClockCountdown) {
        m_dwLastTime = now;
        if (m_pRaceLink)
            m_pRaceLink->SetStartLight(0);
        return 0.0f;
    }
    if (c < -5.0f && c + dt >= -5.0f) {
        if (m_pRaceLink)
            m_pRaceLink->PlayStartSample(0);
        c += dt;
    } else {
        const float n = c + dt;
        if (n > 0.0f) {
            c = 0.0f;
            if (m_pRaceLink) {
                m_pRaceLink->Finish();
                m_pRaceLink->SetStartLight(2);
                m_pRaceLink->SetStartLightMaterial(1.0f);
            }
        } else {
            if (std::trunc(c) != std::trunc(n) && c > -1.1f && m_pRaceLink) {
                m_pRaceLink->PlayStartSample(1);
                m_pRaceLink->SetStartLight(1);
                m_pRaceLink->SetStartLightMaterial(0.5f);
            }
            c = n;
        }
    }
    m_dwLastTime = now;
    m_fFrameTime = 0.0f;
    return 0.0f;
}

// The replay time moves with the frames; while an input replay is watched,
// the numeric pad steps it (6 one frame, 9 three, 3 a third, each pausing)
// and 5 plays it on.
void InputManager::StepReplayTime(float dt)
{
    if (!(m_dwMode & kInputModePlayback)) {
        m_fReplayTime += dt;
        return;
    }
    const auto held = [this](int key) { return (m_KeyState[key] & kInputDown) != 0; };
    if (held(kKeyPad6)) {
        m_fReplayTime += dt;
        m_dwMode &= ~kInputModePlaying;
    } else if (held(kKeyPad9)) {
        m_fReplayTime += 3.0f * dt;
        m_dwMode &= ~kInputModePlaying;
    } else if (held(kKeyPad3)) {
        m_fReplayTime += dt / 3.0f;
        m_dwMode &= ~kInputModePlaying;
    } else if (held(kKeyPad5)) {
        m_dwMode |= kInputModePlaying;
    }
    // Once every recorded frame has been played the race stands still.
    if (m_nInputFrameIndex >= m_nInputFrameCount)
        m_fFrameTime = 0.0f;
    if (m_dwMode & kInputModePlaying)
        m_fReplayTime += dt;
    if (m_dwMode & kInputModeStatePlayback) {
        const float end = static_cast<float>(m_nStateBlocks) * kStateBlockSeconds;
        m_fReplayTime = m_fReplayTime < 0.0f ? 0.0f : (m_fReplayTime > end ? end : m_fReplayTime);
    }
}

bool InputManager::NextFrame(bool live)
{
    if (NetworkRaceRunning())
        return NextNetworkFrame(live);
    // Outside input playback only a live frame has a time step: the
    // simulation repeats a frame only to catch up with a replay. (The
    // lockstep exchange of a network race takes its frames from the host.)
    if (!live && !(m_dwMode & kInputModePlayback))
        m_fFrameTime = 0.0f;
    else
        StepInputReplay();
    const bool frame = m_fFrameTime != 0.0f;
    ApplyRaceCommand();
    return frame;
}

void InputManager::ApplyRaceCommand()
{
    const std::int32_t code = m_nRaceCommand;
    m_nRaceCommand = kRaceCommandNone;
    if (code < kRaceCommandEnd || code > kRaceCommandPark || !m_pRaceLink)
        return;
    InputRaceLink& race = *m_pRaceLink;
    switch (code) {
    case kRaceCommandEnd:
    case kRaceCommandLeave:
        race.ChangeRaceFlags(kRaceFlagEnding, kRaceFlagReplay | kRaceFlagRunAgain);
        break;
    case kRaceCommandEndReplay:
        race.ChangeRaceFlags(kRaceFlagEnding | kRaceFlagRunAgain | kRaceFlagReplay, 0);
        break;
    case kRaceCommandRestart:
        race.ChangeRaceFlags(kRaceFlagEnding | kRaceFlagRunAgain, kRaceFlagReplay);
        break;
    case kRaceCommandPark:
        race.ParkPlayerBike();
        break;
    default:
        break;
    }
    // Every command fades the picture out; watching the race again from a
    // replay goes black at once.
    race.SetFadeTarget(1.0f);
    race.SetShade(1.0f);
    if (code == kRaceCommandEndReplay && (m_dwMode & kInputModePlayback))
        race.SetFadeLevel(1.0f);
}
