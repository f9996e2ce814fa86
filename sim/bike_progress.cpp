#include <cmath>

#include "app/player_record.h"
#include "sim/bike.h"
#include "sim/race_conditions.h"
#include "sim/race_context.h"
#include "sim/race_timing.h"
#include "sim/step_isolation.h"
#include "sim/track.h"

// Where the bike is along its path: distance, segment, heading and curve
// radius of the path there, side offset, the wrong-way test. While the race
// runs, a crossing of the line also counts a lap and times it, and raises
// what follows from it: the race record, the finish, the lap notices.

namespace {

// Distance before the end of the last lap but one from which the viewed
// rider is told that his last lap is coming.
constexpr float kLastLapNotice = 300.0f;
// Backward travel from the furthest point reached that counts as going the
// wrong way.
constexpr float kWrongWayMargin = 40.0f;

// Overlay messages and notices.
constexpr std::uint32_t kHudLapRecord = 256;
constexpr std::uint32_t kHudGapToLeader = 1024;
constexpr std::uint32_t kHudLapCompleted = 4096;
constexpr int kNoticeWrongWay = 2;
constexpr int kNoticeLastLap = 5;

} // namespace

float Bike::UpdateProgress()
{
    if (!Path)
        return Progress;
    Vec2 centre(Position.x, Position.z);
    int segment = static_cast<int>(Segment);
    int lapDelta = 0;
    Progress = Path->Project(&centre, &segment, &PathHeading, &lapDelta);
    Segment = static_cast<std::uint32_t>(segment < 0 ? 0 : segment);
    CentreX = centre.x;
    CentreZ = centre.z;

    const RaceConditions& conditions = CurrentRaceConditions();
    RaceContext& race = CurrentRaceContext();
    const bool onCircuit = Path == conditions.Circuit;
    if (lapDelta != 0 && race.Racing()) {
        if (onCircuit)
            CountLineCrossing(lapDelta);
        // Whatever the path, a crossing ends the lap that rejoining spoilt.
        Status &= ~kBikeRejoined;
    }

    const bool viewed = IsViewedBike(*this);
    if (onCircuit && (Flags & kPlayerFlagWrongWay)) {
        const float total = static_cast<float>(Laps) * Path->Length + Progress;
        if (total > FurthestProgress) {
            FurthestProgress = total;
        } else if (total < FurthestProgress - kWrongWayMargin) {
            Status |= kBikeWrongWay;
            if (viewed && race.Hooks)
                race.Hooks->HudSetViewMode(kNoticeWrongWay);
        }
    }

    if (viewed && conditions.SessionType >= 4 && race.Hooks && conditions.Laps > 0 && Laps == conditions.Laps - 1 &&
        Progress > Path->Length - kLastLapNotice)
        race.Hooks->HudSetViewMode(kNoticeLastLap);

    CurveRadius = Path->CurveRadiusAt(Progress);

    const float dx = Position.x - CentreX;
    const float dz = Position.z - CentreZ;
    const float distance = std::sqrt(dx * dx + dz * dz);
    SideOffset = std::sin(PathHeading) * dz - std::cos(PathHeading) * dx < 0.0f ? -distance : distance;
    return Progress;
}

// A crossing of the circuit's line while the race runs: forward (+1) or
// backward (-1).
void Bike::CountLineCrossing(int lapDelta)
{
    // The lap's end reads the other bikes and writes the race's records.
    NeedsTimingOrder();
    RaceContext& race = CurrentRaceContext();
    const RaceConditions& conditions = CurrentRaceConditions();
    // A bike that has finished a race keeps the laps and times it finished
    // with: its run to the pits after the line is no part of its race.
    if (conditions.SessionType >= 3 && (Status & kBikeFinished))
        return;
    Laps = AddLaps(Laps, lapDelta);

    // A backward crossing takes a lap back (a fallen bike sliding or pushed
    // round over the line, a recovery placed behind it); the forward
    // crossing that gives it back ends no lap: the lap under way goes on
    // being timed from the crossing that really ended the last one.
    bool restoresLap = false;
    if (lapDelta < 0) {
        Status |= kBikeLapTakenBack;
    } else if (lapDelta > 0 && (Status & kBikeLapTakenBack)) {
        Status &= ~kBikeLapTakenBack;
        restoresLap = true;
    }

    // The first crossing from the grid starts lap 0: it times nothing.
    if (lapDelta > 0 && Laps >= 1 && !restoresLap)
        EndTimedLap();

    FinishIfRaceDone(lapDelta);

    if (IsViewedBike(*this) && race.Hooks) {
        if (conditions.SessionType != kSessionArcade && !(Status & (kBikeFinished | kBikeRejoined)))
            race.Hooks->HudRaise(kHudLapCompleted);
        if (RacePosition >= 2 && !(Status & kBikeFinished)) {
            const int leader = LeaderIndex(race);
            if (leader >= 0) {
                race.OverlayBike = leader;
                race.Hooks->HudRaise(kHudGapToLeader);
            }
        }
    }
}

// The finish: the race's last lap done, or any forward crossing once the
// winner is in. A bike finishes once: a finished bike that passes the line
// again (on its way to the pits) raises no second finish. A race without a
// lap count is not decided by laps.
void Bike::FinishIfRaceDone(int lapDelta)
{
    const RaceConditions& conditions = CurrentRaceConditions();
    const bool lastLapDone = conditions.Laps > 0 && Laps >= conditions.Laps;
    if (conditions.SessionType >= 3 && !(Status & kBikeFinished) &&
        (lastLapDone || (lapDelta > 0 && (CurrentRaceContext().Flags & kRaceFinished))))
        FinishRace();
}

// A full lap ended at the line: its time, the best lap and the race record.
// A lap during which the bike rejoined the circuit is not timed.
void Bike::EndTimedLap()
{
    RaceContext& race = CurrentRaceContext();
    LapStartTime = RaceTime;
    LapDelta = LastLap != 0.0f ? LapTime - LastLap : 0.0f;
    LastLap = LapTime;
    if (!(Status & kBikeRejoined)) {
        // Qualifying records a computer rider's lap at an estimated time.
        if (CurrentRaceConditions().SessionType == kSessionQualifying && !IsHuman())
            LapTime = EstimateLapTime();
        if (LapTime < BestLap)
            BestLap = LapTime;
        if (RiderEntry)
            RiderEntry->BestLap = BestLap;
        if (BestLap < race.RaceRecord) {
            race.RaceRecord = BestLap;
            if (!(race.Flags & kRaceFinished)) {
                race.OverlayBike = Index;
                if (race.Hooks)
                    race.Hooks->HudRaise(kHudLapRecord);
            }
        }
    }
    LapTime = 0.0f;
}

void Bike::EnterPitLane()
{
    Track* lane = CurrentRaceConditions().PitLane;
    if (!lane || lane->SegmentCount() == 0)
        return;
    // The pit lane passes the line only for a bike that enters it with the
    // line still ahead (in the second half of the lap).
    const bool beforeLine = Path == CurrentRaceConditions().Circuit && Path && Progress >= 0.5f * Path->Length;
    Status &= ~(kBikeToPits | kBikePitEntryBeforeLine);
    Status |= kBikeInPitLane | (beforeLine ? kBikePitEntryBeforeLine : 0u);

    RaceContext& race = CurrentRaceContext();
    if (!race.Simulated() && IsViewedBike(*this) && race.Hooks) {
        if ((Status & kBikeFinished) && CurrentRaceConditions().SessionType >= 4) {
            race.Hooks->SetCameraMode(kCameraStored);
            race.Hooks->HudRaise(kHudFinishedInPits);
            race.Hooks->HudClear(kHudFinishTelevision);
        } else if (race.CameraMode == kCameraTelevision) {
            race.Hooks->SetCameraMode(race.ChosenCamera == kCameraTelevision ? 0 : race.ChosenCamera);
        }
    }

    Path = lane;
    int segment = lane->SegmentCount() > 1 ? 1 : 0;
    Vec2 point(Position.x, Position.z);
    int lapDelta = 0;
    Progress = lane->Project(&point, &segment, &PathHeading, &lapDelta);
    Segment = static_cast<std::uint32_t>(segment < 0 ? 0 : segment);
    if (IsHuman()) {
        // The computer control takes a human bike down the pit lane.
        TrackLine = Integrator(0.0f, 0.0f, 2.0f);
        LookAhead.Value = 2.0f * Speed;
        LookAhead.Rate = 0.0f;
    }
}

void Bike::RejoinCircuit()
{
    const RaceConditions& conditions = CurrentRaceConditions();
    LapTime = 0.0f;
    Status &= ~kBikePitPlaced;
    Status |= kBikeRejoined;
    Path = conditions.Circuit;
    Segment = 0;
    if (CurrentRaceContext().Simulated()) {
        Progress = 0.0f;
    } else if (Path && Path->SegmentCount() > 0) {
        // Start from the segment whose start point is nearest (the first on ties).
        float best = 0.0f;
        for (int i = 0; i < Path->SegmentCount(); ++i) {
            const TrackSegment& s = Path->Segments[static_cast<std::size_t>(i)];
            const float dx = s.StartX - Position.x;
            const float dz = s.StartZ - Position.z;
            const float d = dx * dx + dz * dz;
            if (i == 0 || d < best) {
                best = d;
                Segment = static_cast<std::uint32_t>(i);
            }
        }
        Vec2 point(Position.x, Position.z);
        int segment = static_cast<int>(Segment);
        int lapDelta = 0;
        Progress = Path->Project(&point, &segment, &PathHeading, &lapDelta);
        Segment = static_cast<std::uint32_t>(segment < 0 ? 0 : segment);
        // The pit lane passes the line: the lap it ends is counted here,
        // unless the bike has finished its race. A bike that did not pass the
        // line in the pit lane (it dropped back onto the circuit near the
        // entry, or wandered in and out after the line) counts its lap at the
        // line as usual.
        const bool pastTheLine = (Status & kBikePitEntryBeforeLine) && Progress < 0.5f * Path->Length;
        Status &= ~kBikePitEntryBeforeLine;
        if (pastTheLine && !IsPracticeSession(conditions.SessionType) && !(Status & kBikeFinished)) {
            Laps = AddLaps(Laps, 1);
            // Passing the line in the pit lane finishes the race as the
            // line itself would.
            FinishIfRaceDone(1);
        }
    }
    LookAhead = Integrator(50.0f, 0.0f, 20.0f);
}
