#include "sim/race_timing.h"

#include <algorithm>
#include <cmath>

#include "app/game_app.h"
#include "input/input_manager.h"
#include "platform/random.h"
#include "sim/bike.h"
#include "sim/race_conditions.h"
#include "sim/step_isolation.h"
#include "sim/track.h"

// Race timing of a bike: lap and race times every sub-step, the pit entry,
// the simulated mode's tabled progress, estimated lap times, the finish, the
// classification of unfinished riders and the practice runs of computer
// riders.

namespace {

// The simulated mode's speed cap: 250 km/h.
constexpr float kSimulatedTopSpeed = 69.44444f;

// Estimated lap times: ln 2.
constexpr double kLn2 = 0.6931471805599453;

// rand() x this spreads a practice relaunch over 0..1000 s.
constexpr float kRelaunchSpread = 0.03051851f;

// The finished bike's look-ahead behind the line (the computer control
// takes it round): short on the one circuit whose pit lane leaves close
// after the line.
constexpr int kShortRunOffCircuit = 10;

int SimulationRandom()
{
    return platform::random_stream(platform::RandomStreamId::Simulation).next();
}

} // namespace

Bike* ViewedBike()
{
    RaceContext& race = CurrentRaceContext();
    if (!race.Bikes || race.ViewedRider < 0 || race.ViewedRider >= race.BikeCount)
        return nullptr;
    return &race.Bikes[race.ViewedRider];
}

bool IsViewedBike(const Bike& bike)
{
    return ViewedBike() == &bike;
}

int LeaderIndex(const RaceContext& race)
{
    if (!race.StandingOrder || race.BikeCount <= 0)
        return -1;
    const int leader = race.StandingOrder[0];
    return leader >= 0 && leader < race.BikeCount ? leader : -1;
}

std::int8_t AddLaps(std::int8_t laps, int delta)
{
    return static_cast<std::int8_t>(std::clamp(static_cast<int>(laps) + delta, -128, 127));
}

float SessionClock()
{
    const InputManager* input = TheInputManager();
    return input ? input->m_fRaceClock : 0.0f;
}

bool RaceHasPitLane()
{
    const Track* lane = CurrentRaceConditions().PitLane;
    return lane && !lane->IsEmpty();
}

void Bike::AdvanceTime(float dt)
{
    const RaceContext& race = CurrentRaceContext();
    const RaceConditions& conditions = CurrentRaceConditions();
    const float p0 = Progress;
    const float s0 = SideOffset;
    if (race.Racing()) {
        LapTime += dt;
        if (!(Status & kBikeFinished))
            RaceTime += dt;
    }

    if (race.Simulated()) {
        AdvanceSimulated(dt);
        return;
    }

    UpdateProgress();
    if (dt > 0.0f)
        SideSpeed = (SideOffset - s0) / dt;

    // A practice run of a computer rider, and a finished bike's run, end at
    // the pit entry. Without a pit lane the bike runs on past the line and
    // parks there.
    const bool runEnds = (!IsHuman() && IsPracticeSession(conditions.SessionType)) || (Status & kBikeFinished);
    if (runEnds && Path && Path == conditions.Circuit) {
        const float entry = RaceHasPitLane() ? race.PitEntryDistance : kParkPastLine;
        if (p0 < entry && entry <= Progress)
            AfterLap();
    }
}

// The simulated mode: no physics; the bike runs along its path at the
// path's reference speed, and its laps take estimated times.
void Bike::AdvanceSimulated(float dt)
{
    const RaceConditions& conditions = CurrentRaceConditions();
    if (!Path || Path->MetreCount() == 0 || !(Path->Length > 0.0f)) {
        Speed = 0.0f;
        return;
    }
    const int metres = Path->MetreCount();
    int metre = static_cast<int>(std::fmod(std::trunc(Progress), static_cast<float>(metres)));
    if (metre < 0)
        metre += metres;
    const float v = std::min(Path->Metres[static_cast<std::size_t>(metre)].RefSpeed, kSimulatedTopSpeed);
    Speed = v;
    Progress += dt * v;
    if (Progress > Path->Length) {
        // However far the step went, it adds one lap.
        Progress = std::fmod(Progress, Path->Length);
        // A bike that has finished a race keeps the laps and best lap it
        // finished with.
        if (IsPracticeSession(conditions.SessionType) || !(Status & kBikeFinished)) {
            Laps = AddLaps(Laps, 1);
            BestLap = std::min(BestLap, EstimateLapTime());
        }
        LapTime = 0.0f;
        if (!IsHuman() && (IsPracticeSession(conditions.SessionType) || (Status & kBikeFinished)))
            AfterLap();
    }
}

float Bike::EstimateLapTime()
{
    const int r = SimulationRandom() % 95;
    const double p = 0.05 + 0.01 * r;
    const double reference = GridEntry ? GridEntry->RefLapTime : 0.0;
    const int skill = std::clamp(CurrentRaceConditions().Skill, 0, 3);
    return static_cast<float>((reference - 0.15 * kLn2 * (1.0 - p) / p) * kSkillFactor[skill]);
}

void Bike::CompleteRace()
{
    if (IsHuman() || (Status & kBikeFinished))
        return;
    const RaceConditions& conditions = CurrentRaceConditions();
    if (conditions.SessionType >= 4) {
        RaceTime -= LapTime;
        // The lap count is held in a signed byte: a race longer than that
        // still ends.
        const int laps = std::clamp(conditions.Laps, 0, 127);
        while (Laps < laps) {
            RaceTime += EstimateLapTime();
            Laps = AddLaps(Laps, 1);
        }
    }
    Status |= kBikeFinished;
}

void Bike::FinishRace()
{
    RaceContext& race = CurrentRaceContext();
    const RaceConditions& conditions = CurrentRaceConditions();
    Status |= kBikeFinished;
    if (IsHuman()) {
        // The computer control takes the bike round after the line.
        LookAhead.Value = race.CircuitNumber == kShortRunOffCircuit ? 30.0f : 100.0f;
        LookAhead.Rate = 0.0f;
    }
    race.Flags |= kRaceFinished;

    const InputManager* input = TheInputManager();
    const bool playback = input && (input->m_dwMode & kInputModePlayback);
    if (race.Simulated() || playback || conditions.SessionType < 4 || !race.Hooks)
        return;
    RaceHooks& hooks = *race.Hooks;
    const Bike* viewed = ViewedBike();
    if (viewed == this) {
        hooks.SetCameraMode(kCameraTelevision);
        hooks.HudRaise(kHudFinishTelevision);
        hooks.HudRaise(kHudFinishBanner);
        hooks.HudDisableMessages(3);
        if (RacePosition == 1 && (race.GraphicsFlags & kGfxFlagMusic) && !(conditions.RunFlags & kRunFlagDemo)) {
            hooks.StopStream(0);
            hooks.StartStream(1, true);
        }
    } else if (RacePosition == 1 && viewed && viewed->RacePosition >= 2) {
        race.OverlayBike = Index;
        hooks.HudRaise(kHudWinner);
    }
}

bool Bike::PracticeRelaunch()
{
    if (IsHuman() || !IsPracticeSession(CurrentRaceConditions().SessionType))
        return false;
    const float clock = SessionClock();
    if (RelaunchTime < 0.0f)
        RelaunchTime = clock + static_cast<float>(SimulationRandom()) * kRelaunchSpread;
    if (clock < RelaunchTime)
        return false;

    // Out again only while two of the session's best laps still fit.
    const RaceContext& race = CurrentRaceContext();
    float best = kNoLapTime;
    if (race.Bikes)
        for (int i = 0; i < race.BikeCount; ++i)
            best = std::min(best, race.Bikes[i].BestLap);
    if (!(clock < kTimedSessionLength - 2.0f * best))
        return false;
    Restart();
    return true;
}

void Bike::AfterLap()
{
    // The simulation's random stream is the race's.
    NeedsTimingOrder();
    if (CurrentRaceContext().Simulated()) {
        Park();
        return;
    }
    if (IsPracticeSession(CurrentRaceConditions().SessionType)) {
        const int r = SimulationRandom() & 1;
        if (r + Laps < 3)
            return; // another lap
    }
    // In to the pits; a circuit without a pit lane keeps the bike on the
    // circuit, and it parks where it is, past the line.
    if (RaceHasPitLane())
        Status |= kBikeToPits;
    else
        Park();
}
