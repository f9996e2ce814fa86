// Queries along the centre line: point at a distance, distance of a point,
// curve radius.
#include <cmath>

#include "sim/track.h"

namespace {

constexpr float kHalfPi = 1.5707964f;
constexpr float kTwoPi = 6.2831855f;
// sqrt(|R| x 1.4 g): the final stretch of an arc that counts as its exit.
constexpr float kExitFactor = 13.72931f;

// x brought into (lo, lo + 2 pi].
float into_open_closed(float x, float lo)
{
    float r = x - kTwoPi * std::floor((x - lo) / kTwoPi);
    if (r <= lo)
        r += kTwoPi;
    if (r > lo + kTwoPi)
        r -= kTwoPi;
    return r;
}

// x brought into [hi - 2 pi, hi].
float into_closed_closed(float x, float hi)
{
    float r = x + kTwoPi * std::floor((hi - x) / kTwoPi);
    if (r > hi)
        r -= kTwoPi;
    if (r < hi - kTwoPi)
        r += kTwoPi;
    return r;
}

// x reduced into [-pi, pi].
float wrap_pi(float x) { return std::remainder(x, kTwoPi); }

} // namespace

float Track::DistanceToPoint(float d, Vec2* point, Vec2* direction) const
{
    if (Segments.empty()) {
        if (point)
            *point = {0.0f, 0.0f};
        if (direction)
            *direction = {0.0f, 1.0f};
        return 0.0f;
    }
    // Any distance names a point: it is taken modulo the lap.
    if (!std::isfinite(d))
        d = 0.0f;
    d = std::fmod(d, Length);
    if (d < 0.0f)
        d += Length;
    if (!(d < Length))
        d = 0.0f;

    std::size_t i = 0;
    while (i + 1 < Segments.size() && d >= Segments[i].Length) {
        d -= Segments[i].Length;
        ++i;
    }
    const TrackSegment& seg = Segments[i];
    if (d > seg.Length)
        d = seg.Length;
    const Vec2& aux = SegmentAux[i];
    if (seg.Radius == 0.0f) {
        if (direction)
            *direction = aux;
        if (point)
            *point = {d * aux.x + seg.StartX, d * aux.z + seg.StartZ};
        return seg.Heading;
    }
    const float a = seg.Heading - d / seg.Radius;
    if (direction)
        *direction = {std::sin(a), std::cos(a)};
    if (point)
        *point = {aux.x + seg.Radius * std::cos(a), aux.z - seg.Radius * std::sin(a)};
    return a;
}

float Track::Project(Vec2* point, int* segment, float* heading, int* lapDelta) const
{
    *lapDelta = 0;
    const int n = SegmentCount();
    if (n == 0) {
        *segment = 0;
        *heading = 0.0f;
        return 0.0f;
    }
    const Vec2 p = *point;
    int i = *segment % n;
    if (i < 0)
        i += n;

    // Snaps the point to the start of segment k.
    auto snap_to_start = [&](int k) {
        *segment = k;
        *point = SegmentStartPoint(k);
        *heading = Segments[static_cast<std::size_t>(k)].Heading;
        return SegmentStart[static_cast<std::size_t>(k)];
    };

    int previous = 0;
    // One visit per segment and one more: a walk that has not settled by
    // then has gone round the whole lap.
    for (int visits = 0; visits <= n; ++visits) {
        const TrackSegment& seg = Segments[static_cast<std::size_t>(i)];
        const Vec2& aux = SegmentAux[static_cast<std::size_t>(i)];
        int step = 0;
        bool passing = false;
        if (!(seg.Length > 0.0f)) {
            // A segment of no length holds no point: the walk goes on over it.
            step = previous != 0 ? previous : 1;
            passing = true;
        } else if (seg.Radius == 0.0f) {
            const Vec2 a = SegmentStartPoint(i);
            // The straight runs to the next segment's start; the last straight
            // of an open path to its own end.
            Vec2 b;
            if (i + 1 < n)
                b = SegmentStartPoint(i + 1);
            else if (Closed)
                b = SegmentStartPoint(0);
            else
                b = {a.x + seg.Length * aux.x, a.z + seg.Length * aux.z};
            const float t = SegmentParam2D(p, a, b);
            if (t < 0.0f) {
                step = -1;
            } else if (t > 1.0f) {
                step = 1;
            } else {
                point->x = a.x + t * (b.x - a.x);
                point->z = a.z + t * (b.z - a.z);
                *segment = i;
                *heading = seg.Heading;
                return seg.Length * t + SegmentStart[static_cast<std::size_t>(i)];
            }
        } else {
            float b = std::atan2(p.x - aux.x, p.z - aux.z);
            float a0, a1;
            bool on_arc;
            if (seg.Radius < 0.0f) {
                a0 = seg.Heading - kHalfPi;
                a1 = into_open_closed(a0 - seg.Length / seg.Radius, a0);
                b = into_open_closed(b, a0);
                on_arc = b <= a1;
            } else {
                a0 = seg.Heading + kHalfPi;
                a1 = into_closed_closed(a0 - seg.Length / seg.Radius, a0);
                b = into_closed_closed(b, a0);
                on_arc = a1 <= b;
            }
            if (on_arc) {
                const float r = std::fabs(seg.Radius);
                point->x = aux.x + r * std::sin(b);
                point->z = aux.z + r * std::cos(b);
                *segment = i;
                *heading = seg.Heading - (a0 - b);
                return (a0 - b) * seg.Radius + SegmentStart[static_cast<std::size_t>(i)];
            }
            step = std::fabs(wrap_pi(b - a0)) <= std::fabs(wrap_pi(b - a1)) ? -1 : 1;
        }

        if (!passing && previous != 0 && step != previous) {
            // The point lies in the gap between two segments: it goes to the
            // start of the later one. Passing the end of a circuit that way
            // is a lap crossing like any other.
            if (step == 1) {
                ++i;
                if (i == n) {
                    i = 0;
                    *lapDelta += 1;
                }
            }
            return snap_to_start(i);
        }
        previous = step;
        i += step;
        if (i < 0) {
            if (!Closed)
                return snap_to_start(0);
            i = n - 1;
            *lapDelta -= 1;
        } else if (i == n) {
            if (!Closed) {
                // Past the end of an open path: its end point.
                *segment = n - 1;
                *point = PathEndPoint(heading);
                return Length;
            }
            i = 0;
            *lapDelta += 1;
        }
    }

    // No segment holds the point within a lap: the nearest segment start.
    *lapDelta = 0;
    int best = 0;
    float best_d2 = 0.0f;
    for (int k = 0; k < n; ++k) {
        const Vec2 s = SegmentStartPoint(k);
        const float dx = s.x - p.x;
        const float dz = s.z - p.z;
        const float d2 = dx * dx + dz * dz;
        if (k == 0 || d2 < best_d2) {
            best = k;
            best_d2 = d2;
        }
    }
    return snap_to_start(best);
}

float Track::CurveRadiusAt(float d) const
{
    if (std::isnan(d) || d < 0.0f)
        return 0.0f;
    const std::size_t n = Segments.size();
    for (std::size_t i = 0; i < n; ++i) {
        const TrackSegment& seg = Segments[i];
        if (d < seg.Length) {
            if (seg.Radius == 0.0f)
                return 0.0f;
            if (d < seg.Length - std::sqrt(std::fabs(seg.Radius) * kExitFactor) || d < 3.0f)
                return seg.Radius;
            // The exit of the arc: still curved only when another arc follows.
            const bool has_next = i + 1 < n || Closed;
            const TrackSegment& next = Segments[(i + 1) % n];
            return has_next && next.Radius != 0.0f ? seg.Radius : 0.0f;
        }
        d -= seg.Length;
    }
    return 0.0f;
}
