// Contacts between bikes: the two outlines of a pair swept over the last
// sub-step, the first moment they touch, and what the touch does to both
// riders (rubbing side by side, a bump nose to tail, or a hard touch that
// throws both down). docs/race.md, "Contacts between bikes", gives the rules
// and the choices made where a plain reading would misbehave.
#include "race/bike_contacts.h"

#include <algorithm>
#include <cmath>

#include "input/input_manager.h"
#include "race/race.h"
#include "sim/bike.h"
#include "sim/replay_frame.h"
#include "sim/rider_states.h"
#include "sim/wrap_angle.h"

std::uint32_t g_uBikeContactPairs = 0;

namespace {

constexpr float kHalfPi = 1.5707964f;

// Outline heights and margins of the two tests of a pair: the ground outline
// with a thin margin, then the outline at the rider's shoulders.
constexpr float kGroundHeight = 0.0f;
constexpr float kGroundMargin = 0.03f;
constexpr float kShoulderHeight = 0.9f;
constexpr float kShoulderMargin = 0.2f;

// The outline is shorter than the bike's wheels reach.
constexpr float kOutlineShortening = 0.2f;

// Riders whose two hub heights both differ by more than this ride on
// different levels (a bridge over the track) and cannot touch.
constexpr float kLevelDifference = 1.0f;

// Classification of a touch.
constexpr float kAlignedHeading = 0.3f;           // rad
constexpr float kSideBySide = 1.5f;               // m along the lap
constexpr float kBumpSpeedDifference = 11.111111f; // m/s (40 km/h)
constexpr float kBumpSpeedDifferenceArcade = 25.0f; // m/s (90 km/h)

// Hard touch: what the vertical velocities keep.
constexpr float kVerticalKept = 0.1f;
// Below this relative speed (m/s) the trailing end of the hitting bike has
// no direction along the bike's axis.
constexpr float kStillSpeed = 1e-6f;
// The divisor of the relative velocity that the hitting end keeps: the
// exchange's own sum (between 0 and 2) is kept at 1 or more, so that the
// end never leaves the contact faster than it came (and never divides by
// zero).
constexpr float kLeastKeptDivisor = 1.0f;

// Rubbing: each bike ends this much beyond its margin from the midpoint,
// steers this much away from the other and rolls away at this rate.
constexpr float kRubClearance = 0.05f;
constexpr float kRubSteer = 0.03f;
constexpr float kRubLeanRate = 1.0f;

// Nose to tail: the bikes are put this fraction of an outline length either
// side of their midpoint.
constexpr float kBumpSpacing = 0.55f;

// Unit vector as the game forms it: v / (|v| + 0.001) (zero stays zero).
Vec3 Unit(const Vec3& v) { return Vec3DivScalar(v, v.Length() + 0.001f); }

double Cross(double ax, double az, double bx, double bz) { return ax * bz - az * bx; }

Vec2 Minus(const Vec2& a, const Vec2& b) { return {a.x - b.x, a.z - b.z}; }

// The lap distance from b to a, folded into (-L/2, L/2] so that riders
// either side of the line are as close as they are on the road.
float LapGap(const Bike& a, const Bike& b)
{
    float gap = a.Progress - b.Progress;
    const float length = a.Path ? a.Path->Length : 0.0f;
    if (length > 0.0f) {
        if (gap > 0.5f * length)
            gap -= length;
        else if (gap <= -0.5f * length)
            gap += length;
    }
    return gap;
}

// Moves a bike by d with the parts that carry its place: a riding bike's
// hubs (the riding step starts from the rear hub and places the front hub
// from it), centre of mass and rider; a fallen bike's body points (its hubs
// and reference point follow them). Barriers are left to the next step's
// wheel contact, which tests the motion from the wheels' last ground points.
void MoveBikeBy(Bike& bike, const Vec3& d)
{
    bike.Position.Add(d);
    bike.FrontWheel.ContactPoint.Add(d);
    bike.RearWheel.ContactPoint.Add(d);
    if (bike.Status & kBikeDown) {
        for (Vec3& p : bike.BodyPoint)
            p.Add(d);
    } else {
        bike.CgPosition.Add(d);
        bike.RiderPosition.Add(d);
    }
}

void MoveBikeTo(Bike& bike, const Vec3& target) { MoveBikeBy(bike, target.Minus(bike.Position)); }

// A bike's pose for its outlines: the place, and the sines and cosine that
// every outline of that pose takes (the ground and the shoulder outlines of
// a pair share them).
struct OutlinePose {
    float X = 0.0f;
    float Z = 0.0f;
    float SinHeading = 0.0f;
    float CosHeading = 1.0f;
    float SinLean = 0.0f;
};

OutlinePose MakeOutlinePose(float x, float z, float heading, float lean)
{
    return OutlinePose{x, z, std::sin(heading), std::cos(heading), std::sin(lean)};
}

BikeOutline OutlineAt(const Bike& bike, const OutlinePose& pose, float height, float margin)
{
    const Vec2 f(pose.SinHeading, pose.CosHeading);
    const Vec2 n(-pose.CosHeading, pose.SinHeading);
    const float rear = bike.RearWheel.Radius;
    const float up = height * pose.SinLean;
    const Vec2 r(pose.X - rear * f.x + up * n.x, pose.Z - rear * f.z + up * n.z);
    const float len = BikeOutlineLength(bike);
    const Vec2 front(r.x + len * f.x, r.z + len * f.z);
    BikeOutline outline;
    outline.Corner[0] = Vec2(r.x + margin * n.x, r.z + margin * n.z);
    outline.Corner[1] = Vec2(r.x - margin * n.x, r.z - margin * n.z);
    outline.Corner[2] = Vec2(front.x - margin * n.x, front.z - margin * n.z);
    outline.Corner[3] = Vec2(front.x + margin * n.x, front.z + margin * n.z);
    return outline;
}

// A bike's poses at the start and at the end of the last sub-step.
struct SweptPoses {
    OutlinePose Pose[2];
};

SweptPoses MakeSweptPoses(const Bike& bike)
{
    return SweptPoses{{MakeOutlinePose(bike.PrevPosition.x, bike.PrevPosition.z, bike.PrevHeading, bike.PrevRoll),
                       MakeOutlinePose(bike.Position.x, bike.Position.z, bike.Heading, bike.Roll)}};
}

// The first contact of a sweep.
struct Touch {
    double Time = 2.0;     // 0..1 over the step; 2: none
    double Fraction = 0.0; // along the hit side, from its first corner
    int Corner = -1;       // of the hitting bike
    int Side = -1;         // of the hit bike
    bool CornerOfA = false;
};

// The time at which the point at fraction x of the side passes the origin,
// given that its path runs through it; 2.0 when x or the time is outside
// [0, 1].
double CrossingTime(double x, const Vec2& p0, const Vec2& d0, const Vec2& p1, const Vec2& d1)
{
    if (!(x >= 0.0 && x <= 1.0))
        return 2.0;
    const double ax = p0.x + x * d0.x;
    const double az = p0.z + x * d0.z;
    const double mx = p1.x + x * d1.x - ax;
    const double mz = p1.z + x * d1.z - az;
    const double moved = mx * mx + mz * mz;
    if (moved == 0.0)
        return (ax == 0.0 && az == 0.0) ? 0.0 : 2.0;
    const double t = -(ax * mx + az * mz) / moved;
    return (t >= 0.0 && t <= 1.0) ? t : 2.0;
}

// A side that turns by less than 0.1 m over the step only translates.
bool SideTranslates(const Vec2& d0, const Vec2& d1)
{
    const double turnX = static_cast<double>(d0.x) - d1.x;
    const double turnZ = static_cast<double>(d0.z) - d1.z;
    return turnX * turnX + turnZ * turnZ < 0.01;
}

// Whether the quotient n / d (d not 0) lies outside [0, 1] for certain,
// told without dividing: n of the other sign than d, or more than twice
// its size. A quotient this leaves undecided is worked out.
bool QuotientOutsideUnit(double n, double d)
{
    return (n > 0.0 && d < 0.0) || (n < 0.0 && d > 0.0) || std::fabs(n) > 2.0 * std::fabs(d);
}

bool TranslatingSideCrosses(const Vec2& p0, const Vec2& d0, const Vec2& p1, double* time, double* fraction)
{
    const double den = Cross(d0.x, d0.z, static_cast<double>(p1.x) - p0.x, static_cast<double>(p1.z) - p0.z);
    if (den == 0.0)
        return false;
    const double xNumerator = Cross(p1.x, p1.z, p0.x, p0.z);
    const double tNumerator = Cross(p0.x, p0.z, d0.x, d0.z);
    // Nearly every corner of a pair misses nearly every side: the two
    // divisions are spared where a quotient is out of range for certain.
    if (QuotientOutsideUnit(xNumerator, den) || QuotientOutsideUnit(tNumerator, den))
        return false;
    const double x = xNumerator / den;
    const double t = tNumerator / den;
    if (!(x >= 0.0 && x <= 1.0 && t >= 0.0 && t <= 1.0))
        return false;
    *time = t;
    *fraction = x;
    return true;
}

// The side turns: the point at fraction x passes the origin when its start,
// its end and the origin lie on one line.
bool TurningSideCrosses(const Vec2& p0, const Vec2& d0, const Vec2& p1, const Vec2& d1, double* time,
                        double* fraction)
{
    const double a = Cross(d0.x, d0.z, d1.x, d1.z);
    const double b = Cross(p0.x, p0.z, d1.x, d1.z) + Cross(d0.x, d0.z, p1.x, p1.z);
    const double c = Cross(p0.x, p0.z, p1.x, p1.z);
    const double discriminant = b * b - 4.0 * a * c;
    if (a == 0.0 || discriminant < 0.0)
        return false;
    const double root = std::sqrt(discriminant);
    const double x1 = (-b - root) / (2.0 * a);
    const double x2 = (-b + root) / (2.0 * a);
    const double t1 = CrossingTime(x1, p0, d0, p1, d1);
    const double t2 = CrossingTime(x2, p0, d0, p1, d1);
    const bool first = t1 <= t2;
    const double t = first ? t1 : t2;
    if (!(t < 1.0))
        return false;
    *time = t;
    *fraction = first ? x1 : x2;
    return true;
}

// Every corner of one bike against every side of the other, over the step.
// A side's vectors at both ends of the step, and whether it only translates,
// depend on the side alone: they are worked out once for the four corners.
void SweepCorners(const BikeOutline (&corners)[2], const BikeOutline (&sides)[2], bool cornerOfA, Touch& best)
{
    Vec2 d0[4];
    Vec2 d1[4];
    bool translates[4];
    for (int i = 0; i < 4; ++i) {
        const int next = (i + 1) % 4;
        d0[i] = Minus(sides[0].Corner[next], sides[0].Corner[i]);
        d1[i] = Minus(sides[1].Corner[next], sides[1].Corner[i]);
        translates[i] = SideTranslates(d0[i], d1[i]);
    }
    for (int j = 0; j < 4; ++j) {
        for (int i = 0; i < 4; ++i) {
            const Vec2 p0 = Minus(sides[0].Corner[i], corners[0].Corner[j]);
            const Vec2 p1 = Minus(sides[1].Corner[i], corners[1].Corner[j]);
            double time = 2.0;
            double fraction = 0.0;
            const bool crosses = translates[i] ? TranslatingSideCrosses(p0, d0[i], p1, &time, &fraction)
                                               : TurningSideCrosses(p0, d0[i], p1, d1[i], &time, &fraction);
            if (crosses && time < best.Time)
                best = Touch{time, fraction, j, i, cornerOfA};
        }
    }
}

// Both bikes go back to the moment of contact.
void RewindTo(Bike& bike, float t)
{
    const Vec3 at = bike.PrevPosition.Times(1.0f - t).Plus(bike.Position.Times(t));
    bike.Heading = bike.PrevHeading + t * WrapAngle(bike.Heading, bike.PrevHeading);
    MoveBikeTo(bike, at);
}

// Hard touch: both riders fall to the same side, and the fallen bodies
// exchange their velocities at the contact.
void HardTouch(Bike& a, Bike& b, const Touch& touch)
{
    const float t = static_cast<float>(touch.Time);
    RewindTo(a, t);
    RewindTo(b, t);

    const InputManager* input = TheInputManager();
    const float frameTime = input ? input->m_fFrameTime : 0.0f;
    const int fall = 0.5f * (a.Roll + b.Roll) > 0.0f ? kRiderThrownB : kRiderThrownA;
    for (Bike* bike : {&a, &b}) {
        const bool lyingApart =
            (bike->Status & kBikeDown) && bike->RiderState >= 0 && RiderApartInState(bike->RiderState);
        bike->LocateContacts(frameTime);
        if (!lyingApart)
            bike->SetState(fall, 0.0f);
    }

    // The touch throws the bodies sideways, not up.
    for (Bike* bike : {&a, &b})
        for (Vec3& v : bike->BodyVelocity)
            v.y *= kVerticalKept;

    // X's corner hit Y's side. s runs along Y from its rear (0) to its front
    // (1); a is X's end at the hitting corner, b its other end.
    Bike& x = touch.CornerOfA ? a : b;
    Bike& y = touch.CornerOfA ? b : a;
    float s = static_cast<float>(touch.Fraction);
    if (touch.Side == 0)
        s = 0.0f;
    else if (touch.Side == 2)
        s = 1.0f;
    else if (touch.Side == 3)
        s = 1.0f - s;  // side 3 runs from the front corner to the rear one
    const int ia = touch.Corner >= 2 ? 0 : 1;
    const int ib = 1 - ia;
    Vec3& va = x.BodyVelocity[ia];
    Vec3& vb = x.BodyVelocity[ib];

    const Vec3 w = y.BodyVelocity[0].Times(s).Plus(y.BodyVelocity[1].Times(1.0f - s));
    const Vec3 u = Unit(x.BodyPoint[ia].Minus(x.BodyPoint[ib]));
    const Vec3 e = Unit(y.BodyPoint[0].Minus(y.BodyPoint[1]));

    Vec3 bRelative = vb.Minus(w);
    const float c = bRelative.Dot(u);
    const float bSpeed = bRelative.Length();
    const float rho = bSpeed > kStillSpeed ? std::clamp(c / bSpeed, -1.0f, 1.0f) : 0.0f;
    bRelative.Subtract(u.Times(c));
    const Vec3 aRelative = va.Minus(w);
    const Vec3 r = aRelative.Plus(u.Times(c));
    const float g = Unit(aRelative).Dot(e);

    const float m = 2.0f + (std::fabs(g) - 1.0f) * std::fabs(2.0f * s - 1.0f);
    const float q = std::fabs(rho) - 1.0f;
    const Vec3 kept = Vec3DivScalar(r, std::max(q + m, kLeastKeptDivisor));

    va = w.Plus(kept);
    vb = bRelative.Plus(w).Plus(kept);
    y.BodyVelocity[0].Add(kept.Times(m * (g + s * (1.0f - g))));
    y.BodyVelocity[1].Add(kept.Times(m * (g + (1.0f - s) * (1.0f - g))));

    // The upper body points move with the lower ones; the riders are thrown
    // with their bikes.
    for (Bike* bike : {&x, &y}) {
        bike->BodyVelocity[3] = bike->BodyVelocity[0];
        bike->BodyVelocity[2] = bike->BodyVelocity[1];
        bike->CgVelocity = bike->BodyVelocity[0].Plus(bike->BodyVelocity[1]).Times(0.5f);
    }
}

// Rubbing side by side: one heading, one speed and one lean for both, the
// bikes pushed apart across it and steering away from each other.
void Rub(Bike& a, Bike& b, float margin)
{
    const float delta = WrapAngle(b.Heading, a.Heading);
    const float heading = WrapAngle(b.Heading - 0.5f * delta, 0.0f);
    a.Heading = heading;
    b.Heading = heading;

    const Vec3 n(std::sin(heading - kHalfPi), 0.0f, std::cos(heading - kHalfPi));
    const Vec3 mid = a.Position.Plus(b.Position).Times(0.5f);
    Vec3 relA = a.Position.Minus(mid);
    Vec3 relB = b.Position.Minus(mid);
    const float q = n.x * relA.x + n.z * relA.z;

    // Which bike rides on the +n side: where they were across the common
    // heading before the step (so a pair that passed through each other in
    // the step goes back to its sides); the side offsets decide a tie.
    const float before = n.x * (a.PrevPosition.x - b.PrevPosition.x) + n.z * (a.PrevPosition.z - b.PrevPosition.z);
    const bool aPlus = before != 0.0f ? before > 0.0f : a.PrevSideOffset > b.PrevSideOffset;
    Bike& plus = aPlus ? a : b;
    Bike& minus = aPlus ? b : a;

    const float rateB = b.Lean.Rate;
    plus.Lean.Rate = 0.5f * rateB + kRubLeanRate;
    minus.Lean.Rate = 0.5f * rateB - kRubLeanRate;

    if (aPlus) {
        const float g = margin - q + kRubClearance;
        if (g > 0.0f) {
            relA.Add(n.Times(g));
            relB.Subtract(n.Times(g));
        }
    } else {
        const float g = -margin - q - kRubClearance;
        if (g < 0.0f) {
            relA.Add(n.Times(g));
            relB.Subtract(n.Times(g));
        }
    }

    if (!(plus.Status & kBikeDown)) {
        plus.SetState(kRiderBumped57, 0.0f);
        plus.Rival = &minus;
    }
    if (!(minus.Status & kBikeDown)) {
        minus.SetState(kRiderBumped56, 0.0f);
        minus.Rival = &plus;
    }

    for (WheelAssembly* wheel : {&plus.FrontWheel, &plus.RearWheel}) {
        wheel->Heading = heading - kRubSteer;
        wheel->Orientation.Heading = heading - kRubSteer;
    }
    for (WheelAssembly* wheel : {&minus.FrontWheel, &minus.RearWheel}) {
        wheel->Heading = heading + kRubSteer;
        wheel->Orientation.Heading = heading + kRubSteer;
    }

    MoveBikeTo(a, mid.Plus(relA));
    MoveBikeTo(b, mid.Plus(relB));

    const float speed = 0.5f * (a.Speed + b.Speed);
    const float lean = 0.5f * (a.Roll + b.Roll);
    for (Bike* bike : {&a, &b}) {
        bike->Speed = speed;
        bike->Roll = lean;
        // A riding bike's lean is its lean integrator's value (the pose
        // copies it every step).
        if (!(bike->Status & kBikeDown))
            bike->Lean.Value = lean;
    }
}

// A bike of a nose-to-tail bump: a rider waiting or stopped rolls away; one
// riding (also looking behind or in a bump state) is put at `place`; any
// other state keeps its place.
void PlaceAfterBump(Bike& bike, const Vec3& place)
{
    const int s = bike.RiderState;
    if (s == kRiderWaiting || s == kRiderStopping)
        bike.SetState(kRiderPullAway, 0.0f);
    else if (s == kRiderRiding || s == kRiderLookBehind || (s >= kRiderBumped56 && s <= kRiderGestureAheadLeft))
        MoveBikeTo(bike, place);
}

// Nose to tail: the speeds are exchanged and the bikes put apart along the
// line between them.
void NoseToTail(Bike& a, Bike& b)
{
    std::swap(a.Speed, b.Speed);
    const Vec3 n = Unit(a.Position.Minus(b.Position));
    const Vec3 mid = a.Position.Plus(b.Position).Times(0.5f);
    const float e = kBumpSpacing * BikeOutlineLength(a);
    PlaceAfterBump(a, mid.Plus(n.Times(e)));
    PlaceAfterBump(b, mid.Minus(n.Times(e)));
}

// Both bikes' two hub heights differ by more than a level in the same
// direction.
bool OnDifferentLevels(const Bike& a, const Bike& b)
{
    const float front = a.FrontWheel.ContactPoint.y - b.FrontWheel.ContactPoint.y;
    const float rear = a.RearWheel.ContactPoint.y - b.RearWheel.ContactPoint.y;
    return (front < -kLevelDifference && rear < -kLevelDifference) ||
           (front > kLevelDifference && rear > kLevelDifference);
}

bool OffTheCircuit(const Bike& bike) { return (bike.Status & (kBikeInPitLane | kBikeParked)) != 0; }

// A fallen bike's body and a fallen rider do not meet.
bool BodyAgainstFallen(const Bike& a, const Bike& b)
{
    return ((b.Status & kBikeBodyActive) && (a.Status & kBikeDown)) ||
           ((b.Status & kBikeDown) && (a.Status & kBikeBodyActive));
}

} // namespace

float BikeOutlineLength(const Bike& bike)
{
    return bike.BaseWheelbase + bike.FrontWheel.Radius + bike.RearWheel.Radius - kOutlineShortening;
}

BikeOutline MakeBikeOutline(const Bike& bike, float x, float z, float heading, float lean, float height,
                            float margin)
{
    return OutlineAt(bike, MakeOutlinePose(x, z, heading, lean), height, margin);
}

bool SweptSegmentIntersect(const Vec2& p0, const Vec2& d0, const Vec2& p1, const Vec2& d1, double* time,
                           double* fraction)
{
    return SideTranslates(d0, d1) ? TranslatingSideCrosses(p0, d0, p1, time, fraction)
                                  : TurningSideCrosses(p0, d0, p1, d1, time, fraction);
}

namespace {

// One pair's contact at one outline height, from the bikes' poses worked
// out before: *touched tells whether the outlines touched (and so whether
// the bikes moved).
bool ContactAt(Bike& a, Bike& b, const SweptPoses& posesA, const SweptPoses& posesB, float height, float margin,
               bool* touched)
{
    const BikeOutline outlineA[2] = {OutlineAt(a, posesA.Pose[0], height, margin),
                                     OutlineAt(a, posesA.Pose[1], height, margin)};
    const BikeOutline outlineB[2] = {OutlineAt(b, posesB.Pose[0], height, margin),
                                     OutlineAt(b, posesB.Pose[1], height, margin)};
    Touch touch;
    SweepCorners(outlineA, outlineB, true, touch);
    SweepCorners(outlineB, outlineA, false, touch);
    *touched = touch.Time != 2.0;
    if (!*touched)
        return false;

    const bool bothDown = (a.Status & kBikeDown) && (b.Status & kBikeDown);
    bool aligned = std::fabs(WrapAngle(a.Heading, b.Heading)) < kAlignedHeading;
    const bool sideBySide = std::fabs(LapGap(a, b)) < kSideBySide;
    if (aligned && !sideBySide) {
        const float limit =
            CurrentRaceConditions().Arcade() ? kBumpSpeedDifferenceArcade : kBumpSpeedDifference;
        aligned = std::fabs(a.Speed - b.Speed) <= limit;
    }
    if (bothDown)
        aligned = true;

    if (!aligned) {
        HardTouch(a, b, touch);
        return true;
    }
    if (sideBySide)
        Rub(a, b, margin);
    else
        NoseToTail(a, b);
    return false;
}

} // namespace

bool BikeContact(Bike& a, Bike& b, float height, float margin)
{
    bool touched = false;
    return ContactAt(a, b, MakeSweptPoses(a), MakeSweptPoses(b), height, margin, &touched);
}

void ResolveBikeContacts(Race& race)
{
    const int riders = race.RiderCount();
    Bike* bikes = race.m_pBikes.get();
    for (int i = 0; i < riders; ++i) {
        Bike& a = bikes[i];
        if (OffTheCircuit(a) || !a.Ahead || a.Ahead == &a || !a.Path)
            continue;
        const float length = a.Path->Length;
        const float reachA = BikeOutlineLength(a);
        // At most once round the ring, whatever the links hold.
        int walked = 0;
        for (Bike* b = a.Ahead; b && b != &a && walked < riders; b = b->Ahead, ++walked) {
            if (OffTheCircuit(*b) || BodyAgainstFallen(a, *b) || OnDifferentLevels(a, *b))
                continue;
            float gap = b->Progress - a.Progress;
            if (gap < 0.0f)
                gap += length;
            else if (gap >= length)
                gap -= length;
            // The riders further ahead are further away still.
            if (gap > reachA + BikeOutlineLength(*b))
                break;
            // The ground outlines first, then the shoulders'; both take the
            // same poses unless the first contact moved the bikes.
            const SweptPoses posesA = MakeSweptPoses(a);
            const SweptPoses posesB = MakeSweptPoses(*b);
            bool touched = false;
            ContactAt(a, *b, posesA, posesB, kGroundHeight, kGroundMargin, &touched);
            if (touched)
                BikeContact(a, *b, kShoulderHeight, kShoulderMargin);
            else
                ContactAt(a, *b, posesA, posesB, kShoulderHeight, kShoulderMargin, &touched);
            ++g_uBikeContactPairs;
        }
    }
}
