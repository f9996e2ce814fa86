#include "sim/computer_control.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

#include "sim/bike.h"
#include "sim/float_conv.h"
#include "sim/race_conditions.h"
#include "sim/race_context.h"
#include "sim/step_isolation.h"
#include "sim/track.h"

// The computer rider's control, once per sub-step: look ahead along the
// path, lay the bikes near that point out as blocked stretches across the
// road, pick a line through the free gap, set the speed to run at
// (TargetSpeed, which the riding dynamics hold the bike to), and lean the bike
// toward the line.

namespace {

constexpr float kHalfPi = 1.5707964f;
constexpr double kTwoPiD = 6.283185482025146;
constexpr double kPiD = 3.14159265358979323846;

constexpr float kNoSpeedLimit = 1000.0f;       // TargetSpeed at the start of each call
constexpr float kStartBonusTime = 7.0f;        // s of extra look-ahead after the start
constexpr float kStartBonusRate = 10.0f;       // m of extra look-ahead per second left
constexpr std::int32_t kStartCounterNoBonus = 10;
constexpr float kCloseRange = 5.0f;            // m: a bike this close ahead is beside us
constexpr float kReachTime = 3.0f;             // s: bikes reached sooner are avoided
constexpr float kPitLaneSpeed = 22.222221f;    // 80 km/h toward the pit lane
constexpr float kFallenRiderSpeed = 8.333334f; // 30 km/h past a fallen rider
constexpr float kJoinTolerance = 0.5f;         // m: stretches this close form one block
constexpr float kNarrowRoad = 4.0f;            // m: narrower roads cost speed behind a bike
constexpr double kStraightRadius = 350.0;      // m: wider curves count as straights when boxed in
constexpr float kBesideOffset = 1.5f;          // m beside the bike ahead when boxed in
constexpr double kBearingLimit = 0.5235987901687621; // 30 degrees
constexpr float kBearingBoost = 2.0f;          // m/s
constexpr float kMinTarget = 5.5555553f;       // 20 km/h
constexpr float kMinTargetTest = 5.555556f;
constexpr float kOffRoadLean = 0.7f;           // rad
constexpr float kOffRoadSpeed = 8.333334f;     // 30 km/h
constexpr double kCoolDownSpeed = 22.222222810910086; // 80 km/h after the finish
constexpr double kWheelieRadius = 300.0;

// The bikes one call lays across the road, at most this many.
constexpr int kMaxStretches = 32;

// A stretch across the road (lateral positions, same sign as SideOffset)
// that a bike blocks at the look-ahead point.
struct Stretch {
    float Low = 0.0f;
    float High = 0.0f;
    const Bike* Owner = nullptr;
    bool FromBehind = false; // laid by the bike just behind
};

class StretchList {
public:
    // A full list takes no more: the nearest bikes come first.
    void Add(float low, float high, const Bike* owner, bool fromBehind)
    {
        if (count_ < kMaxStretches)
            items_[count_++] = Stretch{low, high, owner, fromBehind};
    }
    int Count() const { return count_; }
    const Stretch& operator[](int i) const { return items_[i]; }

private:
    Stretch items_[kMaxStretches];
    int count_ = 0;
};

// a folded into [-pi, pi].
double WrapAngle(double a)
{
    a = std::fmod(a, kTwoPiD);
    if (a > kPiD)
        a -= kTwoPiD;
    else if (a < -kPiD)
        a += kTwoPiD;
    return a;
}

bool IsRoadSurface(std::int8_t terrain)
{
    return terrain == 0 || terrain == 3;
}

float PassMargin(const Bike& b)
{
    return b.GridEntry ? b.GridEntry->PassMargin : 0.0f;
}

// The signed radius of the path segment the bike is on (0 on a straight).
float SegmentRadius(const Bike& b)
{
    if (!b.Path || b.Segment >= static_cast<std::uint32_t>(b.Path->SegmentCount()))
        return 0.0f;
    return b.Path->Segments[b.Segment].Radius;
}

// Per-metre entry of a distance on the path: wrapped round a circuit, held
// at the ends of an open path (a pit lane).
int MetreIndex(const Track& path, double distance)
{
    const int count = path.MetreCount();
    if (path.IsClosed()) {
        const std::int32_t i = TruncToInt(distance);
        const int m = i % count;
        return m < 0 ? m + count : m;
    }
    return TruncClamped(distance, 0, count - 1);
}

// The usable road at a metre: lower (right, negative) and upper (left) bound.
void RoadBounds(const Track& path, int metre, float* low, float* high)
{
    const std::size_t k = static_cast<std::size_t>(metre);
    if (k < path.LookaheadLow.size() && k < path.LookaheadHigh.size()) {
        *low = path.LookaheadLow[k];
        *high = path.LookaheadHigh[k];
    } else {
        // Without the look-ahead tables, the metre's own bounds.
        *low = -path.Metres[k].LowBound;
        *high = path.Metres[k].HighBound;
    }
}

// What bike b's own control step writes, as this bike's control step sees
// it: read from b itself, unless the control steps run side by side (then
// the race gives the value before or after b's step, as the bike-by-bike
// order would show it).
ControlReading ControlledValues(const Bike& b)
{
    if (const IsolatedStep* step = CurrentIsolatedStep(); step && step->ReadControl)
        return step->ReadControl(*step, b);
    return ControlReading{b.TargetSpeed, b.TurnRadius};
}

// Where the course of bike b (straight along its rear wheel, or round its
// turning circle) meets the line across the road through P along n:
// the lateral position on that line.
float LateralAt(const Bike& b, const Vec2& P, const Vec2& n)
{
    double lat = 0.0;
    const float turnRadius = ControlledValues(b).TurnRadius;
    if (turnRadius == 0.0f) {
        const float hb = b.RearWheel.Heading;
        const float c = std::cos(hb);
        const float s = std::sin(hb);
        const float den = n.x * c - n.z * s;
        if (den == 0.0f)
            return 0.0f;
        const float num = (b.Position.x - P.x) * c + (P.z - b.Position.z) * s;
        lat = static_cast<double>(num) / den;
    } else {
        Vec3 centre;
        OffsetPoint(&b.Position, b.Heading, turnRadius, &centre);
        const float p[2] = {P.x, P.z};
        const float dir[2] = {n.x, n.z};
        lat = RayCircleDistance(p, dir, &centre, turnRadius);
    }
    // A course nearly along the line meets it far away: far is far enough.
    return static_cast<float>(std::clamp(lat, -static_cast<double>(kAiNone), static_cast<double>(kAiNone)));
}

// The lean that turns the bike from where it is onto the point `edge` metres
// across the road at P.
float LeanToward(const Bike& bike, const Vec2& P, const Vec2& n, float edge)
{
    const float from[2] = {bike.Position.x, bike.Position.z};
    const float to[2] = {P.x + n.x * edge, P.z + n.z * edge};
    return bike.LeanForRadius(TurnRadius(from, bike.Heading, to));
}

// The bikes ahead, as far as the look-ahead reaches, and the bike just
// behind when it is alongside. The Ahead ring is in track order, so the
// walk stops at the first bike beyond the look-ahead; it never takes more
// steps than there can be bikes, so a ring that does not close cannot hold
// it.
void LayOutBikes(Bike& self, const Vec2& P, const Vec2& n, float lookAhead, StretchList* list)
{
    const Track* path = self.Path;
    const int maxSteps = std::max<int>(CurrentRaceContext().BikeCount, kPitSlotCount);
    const Bike* b = self.Ahead;
    for (int step = 0; step < maxSteps && b && b != &self; ++step, b = b->Ahead) {
        // A bike on the other path (the pit lane) is not on this road.
        if (b->Path != path)
            continue;
        float g = b->Progress - self.Progress;
        if (g < 0.0f)
            g += path->Length;
        if (g > lookAhead)
            break;
        const bool down = (b->Status & kBikeDown) != 0;
        const float dv = down ? self.Speed : self.Speed - b->Speed;

        float t = 0.0f;
        float g5 = 0.0f;
        if (g < kCloseRange) {
            // Alongside: in a tight corner follow a bike on our line;
            // elsewhere back off from one whose line closes onto ours.
            const float radius = SegmentRadius(self);
            if (radius != 0.0f && std::fabs(static_cast<double>(radius)) < 100.0 &&
                std::fabs(static_cast<double>(self.SideOffset) - b->SideOffset) < 2.0) {
                self.TargetSpeed = b->Speed - 1.0f;
            } else if (self.SideSpeed != b->SideSpeed) {
                const float c = (b->SideOffset - self.SideOffset) / (self.SideSpeed - b->SideSpeed);
                if (c > 0.0f && c < 2.0f)
                    self.TargetSpeed = b->Speed - 5.0f;
            }
        } else {
            g5 = g - kCloseRange;
            t = dv == 0.0f ? kAiNone : g5 / dv;
            if (t < 0.0f)
                t = kAiNone;
        }
        if (!(t < kReachTime))
            continue;

        const float lat = LateralAt(*b, P, n);
        const float ds = 0.8f * (self.SideOffset - b->SideOffset);
        const float gs = 0.05f * g5;
        const float w = (PassMargin(*b) + 1.0f) * (1.2f + 0.1f * std::exp(-std::sqrt(gs * gs + ds * ds)));
        float low = lat - w;
        float high = lat + w;
        // A bike beside us blocks its whole side of the road.
        if (g5 <= 0.0f) {
            if (self.SideOffset <= b->SideOffset)
                high = kAiNone;
            else
                low = -kAiNone;
        }
        list->Add(low, high, b, false);
    }

    const Bike* behind = self.Behind;
    if (behind && behind != &self && behind->Path == path) {
        const float gap = self.Progress - behind->Progress;
        const double side = std::fabs(static_cast<double>(self.SideOffset) - behind->SideOffset);
        if (gap > 0.0f && gap < kCloseRange && side < 2.0) {
            const float lat = LateralAt(*behind, P, n);
            const float w = static_cast<float>((PassMargin(*behind) + 1.0f) * (1.2 + 0.1 * std::exp(-0.8 * side)));
            if (self.SideOffset <= behind->SideOffset)
                list->Add(lat - w, kAiNone, behind, true);
            else
                list->Add(-kAiNone, lat + w, behind, true);
        }
    }
}

// The free gap round the preferred line: [lo, hi] grows over every block of
// stretches that holds the line (stretches closer than the join tolerance
// count as one block). Each stretch that shapes it caps the speed S.
// lo only falls and hi only rises, each to a stretch bound, so the passes
// end; the pass count is bounded all the same.
void SearchGap(const Bike& self, const StretchList& list, float roadWidth, float* lo, float* hi, float* speed)
{
    const int maxPasses = 2 * list.Count() + 2;
    for (int pass = 0; pass < maxPasses; ++pass) {
        bool changed = false;
        for (int i = 0; i < list.Count(); ++i) {
            const Stretch& s = list[i];
            bool moved = false;
            if (*lo == *hi) {
                if (s.Low < *lo && *lo < s.High) {
                    *lo = s.Low;
                    *hi = s.High;
                    moved = true;
                }
            } else {
                if (s.Low < *lo && *lo < s.High + kJoinTolerance) {
                    *lo = s.Low;
                    moved = true;
                }
                if (s.Low - kJoinTolerance < *hi && *hi < s.High) {
                    *hi = s.High;
                    moved = true;
                }
            }
            if (!moved)
                continue;
            changed = true;
            if (s.FromBehind)
                continue;
            const Bike& b = *s.Owner;
            if (b.Status & kBikeDown) {
                *speed = std::min(*speed, kFallenRiderSpeed);
            } else {
                *speed = std::min({*speed, ControlledValues(b).TargetSpeed, b.Speed});
                if (std::fabs(self.Progress - b.Progress) < kCloseRange && roadWidth < kNarrowRoad)
                    *speed -= kNarrowRoad - roadWidth;
            }
        }
        if (!changed)
            break;
    }
}

} // namespace

void Bike::ComputerControl(float dt)
{
    const RaceConditions& conditions = CurrentRaceConditions();
    const RaceContext& context = CurrentRaceContext();

    // Heading for the pit lane: follow the pit lane's line from the circuit
    // distance where it branches off. A circuit without a pit lane keeps the
    // bike on the circuit.
    const Track* lane = conditions.PitLane;
    const bool toPits = (Status & kBikeToPits) && lane && !lane->IsEmpty() && lane->MetreCount() > 0;
    const Track* path = toPits ? lane : Path;
    const float distance = toPits ? std::max(Progress - context.PitEntryDistance, 0.0f) : Progress;
    TargetSpeed = kNoSpeedLimit;

    const bool hasPath = path && path->MetreCount() > 0 && path->Length > 0.0f;
    if (Speed <= 0.0f || !hasPath) {
        // At a standstill (or with no path to plan on) nothing is planned:
        // the lean runs on at its rate.
        Roll = Lean.Advance(dt);
    } else {
        // The look-ahead point P and the road's normal n there (to the left,
        // the side of positive offsets). The first seconds look further.
        float la = LookAhead.Value;
        if (RaceTime < kStartBonusTime && context.StartCounter != kStartCounterNoBonus)
            la += kStartBonusRate * (kStartBonusTime - RaceTime);
        float d = distance + la;
        if (d > path->Length)
            d = path->IsClosed() ? d - path->Length : path->Length;
        Vec2 P;
        Vec2 dir;
        path->DistanceToPoint(d, &P, &dir);
        Vec2 n = VecRotate2D(dir, -kHalfPi);
        const float nl = std::sqrt(n.x * n.x + n.z * n.z);
        if (nl > 0.0f)
            n = Vec2(n.x / nl, n.z / nl);

        StretchList stretches;
        if (path == conditions.Circuit)
            LayOutBikes(*this, P, n, la, &stretches);

        LookAhead.ApproachTarget(20.0f + 50.0f / (1.0f + std::exp(0.07f * (60.0f - Speed))), dt);

        // The path's reference speed a step ahead.
        if (toPits) {
            TargetSpeed = kPitLaneSpeed;
        } else {
            const int j = MetreIndex(*path, Progress + Speed * dt);
            TargetSpeed = std::min(TargetSpeed, path->Metres[static_cast<std::size_t>(j)].RefSpeed);
        }

        // The preferred line: a slow weave across the road, wider after the
        // finish, none while the bike runs at its target speed.
        const int k = MetreIndex(*path, LookAhead.Value + distance);
        float L = 0.0f;
        float R = 0.0f;
        RoadBounds(*path, k, &L, &R);
        const float W = R - L;
        // (The weave's sine only where it is used: it is the same value
        // whichever branch takes it.)
        float off = 0.0f;
        if (Status & kBikeFinished)
            off = std::sin(WeavePhase + 0.1f * RaceTime) * W * 0.6f;
        else if (TargetSpeed > 1.4f * Speed)
            off = 1.5f * std::sin(WeavePhase + 0.1f * RaceTime);
        else if (TargetSpeed > Speed)
            off = static_cast<float>(0.75 * std::sin(WeavePhase + 0.1f * RaceTime));
        off = std::clamp(off, 0.5f * L, std::max(0.5f * L, 0.5f * R));

        float lo = off;
        float hi = off;
        float S = TargetSpeed;
        if (stretches.Count() > 0)
            SearchGap(*this, stretches, W, &lo, &hi, &S);

        // The line: the free side of the block, or the edge of the gap that
        // the lean reaches sooner; boxed in, beside the bike ahead.
        bool forced = false;
        const bool lowBlocked = lo < L;
        const bool highBlocked = hi > R;
        if (lowBlocked && highBlocked) {
            forced = true;
            const float radius = SegmentRadius(*this);
            off = 0.0f;
            if ((radius == 0.0f || std::fabs(static_cast<double>(radius)) >= kStraightRadius) && Ahead &&
                Ahead != this) {
                const float a = Ahead->SideOffset;
                if (a < SideOffset && a + kBesideOffset < R)
                    off = a + kBesideOffset;
                else if (a - kBesideOffset > L)
                    off = a - kBesideOffset;
            }
        } else if (lowBlocked) {
            off = hi;
        } else if (highBlocked) {
            off = lo;
        } else if (std::bit_cast<std::uint32_t>(lo) == std::bit_cast<std::uint32_t>(hi)) {
            // A gap of one point (no stretch moved it): both edges are the
            // same value, and the choice below would give it whichever lean
            // time wins. The two lean times need not be worked out.
            off = hi;
        } else {
            const float tLo = Lean.TimeToTarget(LeanToward(*this, P, n, lo), nullptr);
            const float tHi = Lean.TimeToTarget(LeanToward(*this, P, n, hi), nullptr);
            off = std::fabs(tLo) < std::fabs(tHi) ? lo : hi;
        }

        if ((Status & kBikeInPitLane) || toPits)
            TrackLine.ApproachTarget(0.0f, dt);
        else if (TrackLine.Value < L || TrackLine.Value > R)
            TrackLine.ApproachTarget(off, 2.0f * dt);
        else if (forced)
            TrackLine.ApproachTarget(off, dt);
        else
            TrackLine.ApproachTarget(0.25f * SideOffset + 0.75f * off, dt);

        // Speed: boxed in, no faster than the bikes that block; a bike ahead
        // well off to the right is chased.
        if (forced) {
            TargetSpeed = std::min(TargetSpeed, S);
        } else if (!(Status & kBikeFinished) && Ahead && Ahead != this) {
            // Where the bike just ahead is, seen from our heading (positive
            // to the left), worked out only where it can count.
            const double bearing = -WrapAngle(static_cast<double>(std::atan2(Ahead->Position.x - Position.x,
                                                                             Ahead->Position.z - Position.z)) -
                                              Heading);
            if (std::fabs(bearing) > kBearingLimit && bearing < 0.0)
                TargetSpeed += kBearingBoost;
        }
        const float target = TargetSpeed <= kMinTargetTest ? kMinTarget : TargetSpeed;

        // Lean for the circle that takes the bike onto the line at P.
        const float from[2] = {Position.x, Position.z};
        const float aim[2] = {P.x + n.x * TrackLine.Value, P.z + n.z * TrackLine.Value};
        RideValue = LeanForRadius(::TurnRadius(from, Heading, aim));
        TargetSpeed = target;
        if (!IsRoadSurface(RearWheel.Terrain)) {
            RideValue = std::clamp(RideValue, -kOffRoadLean, kOffRoadLean);
            TargetSpeed = kOffRoadSpeed;
        }

        LeanStep(RideValue, dt);
    }

    // Full throttle unless the lean is swinging fast; the speed limit of the
    // dynamics does the rest.
    Controls.Throttle = static_cast<std::uint8_t>(
        TruncClamped(127.0f * std::max(0.0f, 1.0f - 0.1f * std::fabs(Lean.Rate)), 0, 127));
    Controls.Brake = 0;

    // After the finish of a race: slow down to about 80 km/h over the first
    // third of the lap, and keep the front wheel down in the corners.
    if ((Status & kBikeFinished) && conditions.SessionType >= 4) {
        if (path && path->Length > 0.0f) {
            const float f = std::min(1.0f, 3.0f * Progress / path->Length);
            const double coolDown = kCoolDownSpeed + 2.0 * std::sin(static_cast<double>(Index) + 0.01 * Progress);
            TargetSpeed =
                std::min(TargetSpeed, static_cast<float>((1.0f - f) * TargetSpeed + f * coolDown));
        }
        const float radius = SegmentRadius(*this);
        if (FrontWheel.Travel <= 0.0f && radius != 0.0f && std::fabs(static_cast<double>(radius)) < kWheelieRadius) {
            Controls.Throttle = 0;
            Controls.Brake = 127;
        }
    }
}
