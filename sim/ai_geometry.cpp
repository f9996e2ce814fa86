#include <algorithm>
#include <cmath>

#include "sim/bike.h"
#include "sim/computer_control.h"
#include "sim/float_conv.h"
#include "sim/track.h"

// The computer rider's geometry: turning circles through points and rays
// across the road meeting them.

namespace {

constexpr float kHalfPi = 1.5707964f;
constexpr float kTwoPi = 6.2831855f;
constexpr double kLargestFloat = 3.4028234663852886e38;
constexpr float kGravity = 9.80665f;

// The section `offset` places after `first`, wrapped; -1 on an open path
// beyond its end.
int SectionAfter(const Track& track, int first, int offset)
{
    const int count = track.SectionCount();
    const long long s = static_cast<long long>(first) + offset;
    if (track.IsClosed())
        return static_cast<int>(((s % count) + count) % count);
    return s < count ? static_cast<int>(s) : -1;
}

// The cross-section of the metre record at a distance (wrapped round a
// circuit, held at the ends of an open path); -1 without metres.
int SectionAtDistance(const Track& track, float distance)
{
    const int count = track.MetreCount();
    if (count == 0)
        return -1;
    int m = 0;
    if (track.IsClosed()) {
        m = TruncToInt(distance) % count;
        if (m < 0)
            m += count;
    } else {
        m = TruncClamped(distance, 0, count - 1);
    }
    const int section = track.Metres[static_cast<std::size_t>(m)].Section;
    return section >= 0 && section < track.SectionCount() ? section : -1;
}

// Number of sections from `from` forward to `to` on the path.
int SectionSpan(const Track& track, int from, int to)
{
    const int count = track.SectionCount();
    int span = to - from;
    if (span < 0)
        span = track.IsClosed() ? span + count : 0;
    return std::min(span, count - 1);
}

} // namespace

void OffsetPoint(const Vec3* p, float heading, float distance, Vec3* out)
{
    const float a = heading - kHalfPi;
    *out = Vec3(p->x + distance * std::sin(a), p->y, p->z + distance * std::cos(a));
}

bool RayCircleIntersect(const float p[2], const float dir[2], const Vec3* centre, float radius, float* t1,
                        float* t2)
{
    const float ox = p[0] - centre->x;
    const float oz = p[1] - centre->z;
    const float b = dir[0] * ox + dir[1] * oz;
    const float D = b * b - (ox * ox + oz * oz) + radius * radius;
    if (D < 0.0f)
        return false;
    const float root = std::sqrt(D);
    *t1 = root - b;
    *t2 = -b - root;
    return true;
}

float RayCircleDistance(const float p[2], const float dir[2], const Vec3* centre, float radius)
{
    float t1 = 0.0f;
    float t2 = 0.0f;
    if (!RayCircleIntersect(p, dir, centre, radius, &t1, &t2))
        return radius > 0.0f ? kAiNone : -kAiNone;
    return std::fabs(t1) < std::fabs(t2) ? t1 : t2;
}

float TurnRadius(const float p[2], float heading, const float q[2])
{
    const float dx = q[0] - p[0];
    const float dz = q[1] - p[1];
    const float L = dx * dx + dz * dz;
    const float den = dz * std::sin(heading) - dx * std::cos(heading);
    // q on the line of the heading (den 0), or so near it that the circle
    // would not fit in a float: no turn.
    if (L <= 0.0f || std::fabs(static_cast<double>(den)) * kLargestFloat <= std::fabs(static_cast<double>(L)))
        return 0.0f;
    return static_cast<float>(static_cast<double>(L) / (2.0 * den));
}

float ClampRadiusToEdges(const Track* track, const Vec3* p, float heading, float radius, float d0, float arc)
{
    if (radius == 0.0f || !track || track->SectionCount() == 0)
        return radius;
    const int first = SectionAtDistance(*track, d0);
    const int last = SectionAtDistance(*track, d0 + std::fabs(arc));
    if (first < 0 || last < 0)
        return radius;
    const float from[2] = {p->x, p->z};
    Vec3 centre;
    OffsetPoint(p, heading, radius, &centre);
    // Angles round the centre fall along a left-hand (positive) circle and
    // rise along a right-hand one; the sweep covers `arc` metres of it.
    const float start = std::atan2(p->x - centre.x, p->z - centre.z);
    const int span = SectionSpan(*track, first, last);
    for (int i = 0; i <= span; ++i) {
        const int s = SectionAfter(*track, first, i);
        if (s < 0)
            break;
        const TrackSection& section = track->Sections[static_cast<std::size_t>(s)];
        for (int edge = 0; edge < 2; ++edge) {
            const Vec3& point = edge == 0 ? section.Edge0 : section.Edge1;
            const float sweep = std::fabs(arc / radius);
            const float angle = std::atan2(point.x - centre.x, point.z - centre.z);
            float ahead = radius > 0.0f ? start - angle : angle - start;
            ahead = std::fmod(ahead, kTwoPi);
            if (ahead < 0.0f)
                ahead += kTwoPi;
            if (!(ahead < sweep))
                continue;
            // The edge on the centre's side (the left edge of a left-hand
            // circle) must stay inside the circle, the other edge outside.
            const bool inner = (edge == 0) == (radius > 0.0f);
            const float dx = point.x - centre.x;
            const float dz = point.z - centre.z;
            const bool inside = dx * dx + dz * dz < radius * radius;
            if (inner == inside)
                continue;
            const float to[2] = {point.x, point.z};
            const float pulled = TurnRadius(from, heading, to);
            if (pulled == 0.0f)
                continue;
            radius = pulled;
            OffsetPoint(p, heading, radius, &centre);
        }
    }
    return radius;
}

void ToLocalFrame(float p[2], const float q[2], float angle)
{
    const float moved[2] = {p[0] - q[0], p[1] - q[1]};
    VecRotate2D(p, moved, -angle);
}

void ToLocalFrameDir(float p[2], const float q[2], const float dir[2])
{
    ToLocalFrame(p, q, std::atan2(dir[0], dir[1]));
}

float Bike::EdgeRadiusProbe(float distance)
{
    if (!Path || Path->SectionCount() == 0)
        return 0.0f;
    const int first = SectionAtDistance(*Path, Progress + distance);
    const int last = SectionAtDistance(*Path, Progress + distance + 1.0f);
    if (first < 0 || last < 0)
        return 0.0f;
    const float from[2] = {Position.x, Position.z};
    float best = 0.0f;
    const int span = SectionSpan(*Path, first, last);
    for (int i = 0; i <= span; ++i) {
        const int s = SectionAfter(*Path, first, i);
        if (s < 0)
            break;
        const TrackSection& section = Path->Sections[static_cast<std::size_t>(s)];
        for (const Vec3* point : {&section.Edge0, &section.Edge1}) {
            const float to[2] = {point->x, point->z};
            const float r = ::TurnRadius(from, Heading, to);
            if (r == 0.0f)
                continue;
            // The first radius fixes the side; the tightest of that side wins.
            if (best == 0.0f || ((r > 0.0f) == (best > 0.0f) && std::fabs(r) < std::fabs(best)))
                best = r;
        }
    }
    return best;
}

float Bike::LeanAccel(int withTurn) const
{
    if (MassHeight == 0.0f)
        return 0.0f;
    const float lean = Lean.Value;
    float a = kGravity * std::sin(lean);
    if (withTurn && TurnRadius != 0.0f)
        a -= std::cos(lean) * Speed * Speed / TurnRadius;
    return 3.0f * a / MassHeight;
}

float Bike::RadiusForLeanAccel(float accel) const
{
    const float lean = Lean.Value;
    const float den = 29.41995f * std::sin(lean) - MassHeight * accel;
    if (den == 0.0f)
        return 0.0f;
    return 3.0f * std::cos(lean) * Speed * Speed / den;
}
