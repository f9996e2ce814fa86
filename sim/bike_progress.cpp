#include <cmath>

#include "sim/bike.h"
#include "sim/race_conditions.h"
#include "sim/race_context.h"
#include "sim/track.h"

// Where the bike is along its path. Lap counting, lap times and the race's
// notices at a crossing of the line belong to the race's timing; this keeps
// the geometry the rest of the simulation reads: distance, segment, heading
// and curve radius of the path there, side offset, and the wrong-way test.
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
    if (Path == conditions.Circuit && (Flags & kPlayerFlagWrongWay)) {
        const float total = static_cast<float>(Laps) * Path->Length + Progress;
        if (total > FurthestProgress)
            FurthestProgress = total;
        else if (total < FurthestProgress - 40.0f)
            Status |= kBikeWrongWay;
    }

    CurveRadius = Path->CurveRadiusAt(Progress);

    const float dx = Position.x - CentreX;
    const float dz = Position.z - CentreZ;
    const float distance = std::sqrt(dx * dx + dz * dz);
    SideOffset = std::sin(PathHeading) * dz - std::cos(PathHeading) * dx < 0.0f ? -distance : distance;
    return Progress;
}

void Bike::EnterPitLane()
{
    Track* lane = CurrentRaceConditions().PitLane;
    if (!lane || lane->SegmentCount() == 0)
        return;
    Status &= ~kBikeToPits;
    Status |= kBikeInPitLane;
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
        if (!IsPracticeSession(conditions.SessionType))
            ++Laps;
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
    }
    LookAhead = Integrator(50.0f, 0.0f, 20.0f);
}
