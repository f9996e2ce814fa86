// Putting a fallen bike back on its wheels: the crash body is dropped and the
// bike settles on the ground, either where it stands (the rider has pushed it
// round and gets back on) or on the track behind the other bikes, facing
// along the path.
#include <algorithm>
#include <cmath>

#include "sim/bike.h"
#include "sim/float_conv.h"
#include "sim/race_context.h"
#include "sim/track.h"
#include "sim/step_isolation.h"

namespace {

// A recovered bike keeps this far behind any other bike.
constexpr float kRecoverGap = 4.0f;
// And this far inside the usable road's edge.
constexpr float kRecoverEdgeMargin = 0.9f;

} // namespace

// The Progress behind every other bike on the same path: each bike within
// 4 m (the short way round a circuit) moves this one back to 4 m behind it
// (through the start line on a circuit), until no bike is in the way. Bikes
// out of the session and bikes on the other path are not in the way. Every
// move goes backward, so each other bike is passed at most once; a field so
// crowded that the search goes on longer leaves the bike at the last place
// tried.
float Bike::ProgressClearOfOthers() const
{
    const RaceContext& race = CurrentRaceContext();
    float progress = Progress;
    if (!race.Bikes || !Path)
        return progress;
    NeedsBikeByBikeOrder();
    const float length = Path->Length;
    const bool closed = Path->IsClosed();
    const int rounds = race.BikeCount + 1;
    for (int round = 0; round < rounds; ++round) {
        bool moved = false;
        for (int i = 0; i < race.BikeCount; ++i) {
            const Bike& other = race.Bikes[i];
            if (&other == this || other.IsOut() || other.Path != Path)
                continue;
            float gap = progress - other.Progress;
            if (closed && length > 0.0f) {
                // The short way round the lap.
                if (gap > 0.5f * length)
                    gap -= length;
                else if (gap <= -0.5f * length)
                    gap += length;
            }
            if (!(std::fabs(gap) < kRecoverGap))
                continue;
            // Behind the start of the lap is the end of it; an open path
            // (the pit lane) ends at its start.
            float behind = other.Progress - kRecoverGap;
            if (behind < 0.0f)
                behind = closed ? behind + length : 0.0f;
            if (behind != progress) {
                progress = behind;
                moved = true;
            }
        }
        if (!moved)
            break;
    }
    return progress;
}

void Bike::Recover(bool place)
{
    Status &= ~(kBikeBodyActive | kBikeBarrierTouched);

    if (place && Path && !Path->IsEmpty()) {
        Progress = ProgressClearOfOthers();
        Vec2 point;
        Vec2 direction;
        Heading = Path->DistanceToPoint(Progress, &point, &direction);

        // Outside the pit lane the bike goes 0.9 m inside the wider side of
        // the usable road (the right side when both are as wide).
        if (!(Status & kBikeInPitLane) && Path->MetreCount() > 0) {
            const int metre = TruncClamped(Progress, 0, INT32_MAX) % Path->MetreCount();
            const TrackMetre& m = Path->Metres[static_cast<std::size_t>(metre)];
            const Vec2 left = VecRotate2D(direction, -1.5707964f);
            float across = 0.0f; // toward the left side
            if (m.HighBound <= m.LowBound)
                across = -std::max(m.LowBound - kRecoverEdgeMargin, 0.0f);
            else
                across = std::max(m.HighBound - kRecoverEdgeMargin, 0.0f);
            point.x += across * left.x;
            point.z += across * left.z;
        }
        Position = Vec3(point.x, 0.0f, point.z);
    }

    ResetDynamics(true);
}
