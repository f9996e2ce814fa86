#include "sim/bike.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "sim/race_conditions.h"
#include "sim/track.h"

namespace {

// Attempts of the settling loop before the bike is put on the centre line.
// Every attempt either settles or moves the bike onto the track (back from
// an edge, or onto the centre line), so a few suffice.
constexpr int kSettleAttempts = 8;

// The smallest lean acceleration a settle gives: a long wheelbase must not
// make the lean unable to move.
constexpr float kMinLeanLimit = 0.5f;

constexpr float kPi = std::numbers::pi_v<float>;

// a folded into [-pi, pi].
float WrapPi(float a)
{
    a = std::fmod(a, 2.0f * kPi);
    if (a > kPi)
        a -= 2.0f * kPi;
    else if (a < -kPi)
        a += 2.0f * kPi;
    return a;
}

bool HasGround(const WheelAssembly& wheel)
{
    return wheel.GroundHeight != kNoGround;
}

} // namespace

// The heading across the track that a cross-track vector n gives, turned to
// point along the path rather than against it.
static float HeadingFromCrossTrack(const Vec3& n, float pathHeading)
{
    const float h = std::atan2(n.x, n.z) - kPi * 0.5f;
    if (std::fabs(WrapPi(h - pathHeading)) > kPi * 0.5f)
        return WrapPi(h - kPi);
    return h;
}

void Bike::ResetDynamics(bool keepHeading)
{
    const RaceConditions& conditions = CurrentRaceConditions();

    SlideTime = 0.0f;
    LapSpare = 0.0f;
    for (int i = 0; i < 4; ++i) {
        BodyPoint[i] = Vec3();
        BodyVelocity[i] = Vec3();
        BodyNormal[i] = Vec3(0.0f, 1.0f, 0.0f);
    }
    RiderSideOffset = 0.0f;
    RiderProgress = 0.0f;
    RiderSegment = 0;
    SideSpeed = 0.0f;
    RivalSpare = 0;

    UpdateProgress();

    // A fixed spread of the weave per grid position.
    const float weave = 0.25f * std::sin(static_cast<float>(Index)) + 0.2f * SideOffset;
    WeavePhase = std::fabs(weave) > 1.0f ? 0.0f : std::asin(weave);

    TrackLine = Integrator(SideOffset, 0.0f, 2.0f);
    float leanLimit = 8.0f + 100.0f * (1.45f - Wheelbase);
    if (!IsHuman())
        leanLimit = 10.0f;
    else if (conditions.SessionType == kSessionArcade)
        leanLimit = 12.0f;
    Lean = Integrator(0.0f, 0.0f, std::max(leanLimit, kMinLeanLimit));
    LookAhead = Integrator(50.0f, 0.0f, 20.0f);
    WheelSpeed = 1000.0f;
    Rpm = 1000.0f;
    EngineSoundRpm = 1000.0f;
    Accel = 0.0f;
    Speed = 0.0f;
    Gear = 0;
    Pitch = 0.0f;
    Roll = 0.0f;
    if (!keepHeading)
        Heading = PathHeading;

    UpdateBodyAxes();

    if (!Path || Path->SegmentCount() == 0) {
        // No path means no ground to stand on: the bike stays where it is.
        FinishSettle();
        return;
    }

    int attempts = 0;
    while (!SettleWheels(&attempts)) {
        if (attempts >= kSettleAttempts) {
            // The wheels found no resting place: the bike goes on the centre
            // line at the ground height there.
            SettleOnCentreLine();
            if (!SettleWheels(&attempts))
                SettleOnCentreLine();
            break;
        }
    }
    FinishSettle();
}

// One pass of the settling loop: true when both wheels stand on the ground.
// Otherwise the bike has been moved (back onto the track, or onto the centre
// line) for the next pass.
bool Bike::SettleWheels(int* attempts)
{
    ++*attempts;

    const float rearLoad = Wheelbase > 0.0f ? (Wheelbase - MassForward) * Weight / Wheelbase : Weight;
    RearWheel.ContactPoint = Position;
    RearWheel.Force.y = rearLoad;
    RearWheel.Reset();
    Position = RearWheel.ContactPoint;

    FrontWheel.ContactPoint =
        Position.Plus(Vec3(std::sin(Heading) * Wheelbase, 0.0f, std::cos(Heading) * Wheelbase));
    FrontWheel.Force.y = Weight - rearLoad;
    FrontWheel.Reset();

    const bool rear = HasGround(RearWheel);
    const bool front = HasGround(FrontWheel);
    if (rear && front)
        return true;

    Vec3 normal;
    if (!front && rear) {
        Vec3 point = FrontWheel.ContactPoint;
        if (Path->Locate(&point, &normal, Progress)) {
            Heading = HeadingFromCrossTrack(normal, PathHeading);
            return false;
        }
    } else if (!rear && front) {
        Vec3 point = RearWheel.ContactPoint;
        if (Path->Locate(&point, &normal, Progress)) {
            Position = point.Plus(normal.Times(0.2f));
            Heading = HeadingFromCrossTrack(normal, PathHeading);
            return false;
        }
    }
    SettleOnCentreLine();
    return false;
}

void Bike::SettleOnCentreLine()
{
    Vec2 point;
    Path->DistanceToPoint(Progress, &point, nullptr);
    Position = Vec3(point.x, 0.0f, point.z);
    const float ground = Path->Query(&Position, nullptr, Progress, nullptr);
    Position.y = ground != kTrackNone ? ground : 0.0f;
    Heading = PathHeading;
    Pitch = 0.0f;
    Roll = 0.0f;
}

void Bike::FinishSettle()
{
    AimHeading = Heading;
    RiderAngles = Vec3(Pitch, Heading, Roll);
    CgVelocity = Vec3();
    RiderPosition = Position;
    CgPosition = Position.Plus(VecRotateY(MassOffset, Heading));
    if (Status & kBikeDown) {
        TrackLine.Value = 0.0f;
        TrackLine.Rate = 0.0f;
    }
    Status &= ~(kBikeDown | kBikeAtRest);
    SettledPosition = Position;
    PrevPosition = Position;
    PrevPitch = Pitch;
    PrevHeading = Heading;
    PrevRoll = Roll;
    PrevSideOffset = SideOffset;
    StepTravel = 0.0f;
    AngularRate = Vec3();
    RideValue = 0.0f;
}
