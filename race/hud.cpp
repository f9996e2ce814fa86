#include "race/hud.h"

#include <algorithm>

#include "app/game_app.h"
#include "input/input_manager.h"
#include "input/race_link.h"
#include "race/hud_content.h"
#include "race/race.h"
#include "race/race_sound.h"
#include "sim/bike.h"
#include "sound/sound_library.h"

// The overlay's messages, timers and fades.

namespace {

// Messages that only the arcade session shows (8, 9, 10), the ones the
// results menus and the finish standings take the place of.
constexpr std::uint32_t kArcadeMessages = 0x700;
constexpr std::uint32_t kDroppedByResults = 0x4700;
// What input playback may raise: onboard, trackside, race menu, replay
// panel and the replay-saved message.
constexpr std::uint32_t kPlaybackMessages = 0x84B;

constexpr float kRaisedTimer = -4.0f;
// Timers of message 11 (replay saved) and 12 (gap) start earlier.
constexpr float kSavedTimer = -3.0f;
constexpr float kGapTimer = -6.0f;

// Flag frames and how long each is shown.
constexpr int kFlagChequered = 2;
constexpr int kFlagLastLap = 1;
constexpr int kFlagShort = 5;

constexpr int kMessageStartSequence = 4;
constexpr int kMessageFinishStandings = 7;
constexpr int kMessageEngineFailure = 17;

bool InPlayback()
{
    const InputManager* input = TheInputManager();
    return input && (input->m_dwMode & kInputModePlayback);
}

void QueueRaceCommand(std::int32_t code)
{
    if (InputManager* input = TheInputManager())
        input->QueueRaceCommand(code);
}

// Moves `level` toward `target` by `step`.
float Approach(float level, float target, float step)
{
    if (level < target)
        return std::min(level + step, target);
    if (level > target)
        return std::max(level - step, target);
    return level;
}

// The number of the highest bit set (0 for none).
int HighestBit(std::uint32_t bits)
{
    int highest = 0;
    for (int e = 0; e < 32; ++e)
        if (bits & (1u << e))
            highest = e;
    return highest;
}

} // namespace

Hud::Hud(Race& race) : m_race(race)
{
    ResetForRace();
}

Hud::~Hud() = default;

void Hud::ResetForRace()
{
    m_uMessages = 0;
    m_uEnabled = kAllMessages;
    m_nSelected = 0;
    m_fFadeLevel = m_fFadeTarget = 0.0f;
    m_fDimLevel = m_fDimTarget = 0.0f;
    m_fSoundVolume = 1.0f;
    m_nFlagFrame = -1;
    m_fFlagClock = 0.0f;
    m_nLitLights = -1;
}

int Hud::RiderCount() const
{
    return m_race.RiderCount();
}

// Five seconds for every six riders that have finished, counted in standing
// order up to the first that has not.
float Hud::FinishStandingsDuration() const
{
    const int count = RiderCount();
    int finished = 0;
    while (finished < count && (m_race.m_pBikes[m_race.m_StandingOrder[static_cast<std::size_t>(finished)]].Status &
                                kBikeFinished))
        ++finished;
    return 5.0f * static_cast<float>(finished / 6);
}

void Hud::Raise(std::uint32_t bits)
{
    if (m_race.AttractRun())
        return;
    if ((m_uMessages | bits) & kHudResultsMenu) {
        m_uMessages &= ~kDroppedByResults;
        bits &= ~kDroppedByResults;
    }
    if ((m_uMessages | bits) & kHudFinishStandings) {
        m_uMessages &= ~kArcadeMessages;
        bits &= ~kArcadeMessages;
    }
    if (m_race.m_nSessionType != kSessionArcade)
        bits &= ~kArcadeMessages;
    if (InPlayback())
        bits &= kPlaybackMessages;
    if (!bits)
        return;

    for (int e = 0; e < kMessageCount; ++e) {
        if (!(bits & (1u << e)))
            continue;
        m_fDuration[e] = 0.0f;
        m_fTimer[e] = kRaisedTimer;
        switch (e) {
        case kMessageStartSequence:
            // The riders are shown four at a time before the countdown,
            // which holds meanwhile.
            m_fDuration[e] = static_cast<float>((RiderCount() - 1) / 4) * 5.0f;
            m_nStartLight = -1;
            if (InputManager* input = TheInputManager())
                input->m_fRaceClock = kRaceClockHold;
            break;
        case kMessageFinishStandings:
            m_fDuration[e] = FinishStandingsDuration();
            break;
        case 11:
            m_fTimer[e] = kSavedTimer;
            break;
        case 12:
            m_fTimer[e] = kGapTimer;
            break;
        default:
            break;
        }
        Capture(e);
    }
    m_nLitLights = -1;
    if (m_pContent)
        m_pContent->pointerShown = false;
    m_uMessages |= bits;
    m_bLatch = true;
    m_nPage = 0;
    if (m_nSelected == 0 && m_pContent && AnyEntriesUpTo(HighestBit(bits)))
        m_nSelected = 1;
}

void Hud::Clear(std::uint32_t bits)
{
    m_uMessages &= ~bits;
    if (!bits || !m_pContent)
        return;
    m_pContent->pointerShown = false;
    if (AnyEntriesUpTo(HighestBit(bits)))
        m_nSelected = 0;
}

void Hud::EnableMessages(std::uint32_t bits)
{
    m_uEnabled |= bits;
    m_bLatch = true;
    m_nLitLights = -1;
}

void Hud::ShowFlag(int frame)
{
    if (InPlayback())
        return;
    if (m_pViewedBike && (m_pViewedBike->Status & kBikeFinished) && frame != kFlagShort)
        return;
    if (frame == kFlagChequered && m_nFlagFrame == kFlagChequered)
        return;
    m_nFlagFrame = frame;
    if (frame < 0)
        return;
    m_fFlagClock = frame == kFlagLastLap ? 1.0f : (frame == kFlagShort ? 0.1f : 3.0f);
}

void Hud::Update()
{
    // The frame time the race update measured (the input's own is used up
    // by the simulation step).
    const float frameTime = std::max(m_race.m_Camera.m_fFrameTime, 0.0f);

    RunMessageEnds();
    if (m_pContent) {
        DrawStartLights();
        DrawFlag();
    }
    RunFlagClock(frameTime);
    if (m_pContent)
        MovePointer();
    if (m_pViewedBike) {
        // Each raised and enabled element runs its timer and is drawn; an
        // activation runs the selected entry once until the element reports
        // none again.
        for (int e = 0; e < kMessageCount; ++e) {
            if (!(m_uMessages & m_uEnabled & (1u << e)))
                continue;
            if (Draw(e)) {
                if (!m_bLatch) {
                    m_bLatch = true;
                    RunEntry(e, m_nSelected);
                }
            } else if (EntryCount(e) > 0) {
                m_bLatch = false;
            }
        }
    } else if (m_pContent && RiderCount() == 0) {
        DrawEditorReadOuts();
    }

    if (m_pContent)
        DrawPointer();
    m_fFadeLevel = Approach(m_fFadeLevel, m_fFadeTarget, frameTime);
    if (m_pContent)
        DrawFade();
    if (m_race.LiveFlags() & kRaceFlagEnding)
        m_fDimTarget = 1.0f;
    m_fDimLevel = Approach(m_fDimLevel, m_fDimTarget, frameTime);
    m_fSoundVolume = 1.0f - m_fDimLevel;
    // The race's sound dims with the picture.
    if (SoundLibrary* sound = RaceMusicLibrary())
        sound->SetVolume(m_fSoundVolume);
}

// At most one of the ends that act on the race per frame.
void Hud::RunMessageEnds()
{
    if ((m_uMessages & kHudEngineFailure) &&
        m_fTimer[kMessageEngineFailure] >= m_fDuration[kMessageEngineFailure]) {
        Clear(kHudEngineFailure);
        EndOfSession();
    } else if ((m_uMessages & kHudStartSequence) &&
               m_fTimer[kMessageStartSequence] >= m_fDuration[kMessageStartSequence]) {
        EndStartSequence();
    } else if (m_uMessages & kHudFinishStandings) {
        float& timer = m_fTimer[kMessageFinishStandings];
        float& duration = m_fDuration[kMessageFinishStandings];
        duration = FinishStandingsDuration();
        const int count = RiderCount();
        bool all = true;
        for (int k = 0; k < count; ++k)
            if (!(m_race.m_pBikes[k].Status & kBikeFinished))
                all = false;
        // Once everyone is in, the standings scroll round again.
        if (all && timer >= duration)
            timer = kRaisedTimer;
    }
}

// The start sequence is over: the countdown starts.
void Hud::EndStartSequence()
{
    Clear(kHudStartSequence);
    EnableMessages(kHudOnboard | kHudTrackside);
    const bool distant = m_race.AttractRun() || (m_race.LiveFlags() & kRaceRestart);
    m_race.m_Camera.SetMode(distant ? kCameraTelevision : kCameraChase);
    if (InputManager* input = TheInputManager())
        input->m_fRaceClock = kRaceClockCountdown;
}

// The engine failure has been shown: the viewed rider's session is over.
void Hud::EndOfSession()
{
    if (m_race.m_nSessionType <= 3)
        QueueRaceCommand(kRaceCommandPark);
    else if (m_race.LiveFlags() & kRaceFlagChampionship)
        QueueRaceCommand(kRaceCommandEnd);
    else
        OfferRaceMenu();
}

void Hud::OfferRaceMenu()
{
    if (!(m_uMessages & kHudRaceMenu)) {
        Raise(kHudRaceMenu);
        m_fDimTarget = 1.0f;
    }
    if (InputManager* input = TheInputManager())
        input->m_bPaused = 1;
}

void Hud::RunFlagClock(float frameTime)
{
    if (m_nFlagFrame < 0)
        return;
    m_fFlagClock -= frameTime;
    if (m_fFlagClock > 0.0f)
        return;
    if (m_nFlagFrame == kFlagChequered) {
        if (m_race.m_nSessionType == kSessionPractice)
            QueueRaceCommand(kRaceCommandPark);
        else if (m_race.m_nSessionType <= 3)
            QueueRaceCommand(kRaceCommandEnd);
        else if (m_race.LiveFlags() & kRaceFlagChampionship)
            QueueRaceCommand(kRaceCommandEnd);
        else
            OfferRaceMenu();
    }
    m_nFlagFrame = -1;
}
