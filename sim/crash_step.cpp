// One sub-step of a fallen bike and its rider: the fallen bike's body tumbles
// and slides; the rider's own body is thrown and slides, or, in the states
// that follow a fall, walks ("is dragged") back to the bike; both stay on
// the ground and inside the barriers.
#include <algorithm>
#include <cmath>

#include "app/approach.h"
#include "platform/random.h"
#include "sim/bike.h"
#include "sim/bike_sounds.h"
#include "sim/race_conditions.h"
#include "sim/race_context.h"
#include "sim/rider_states.h"
#include "sim/track.h"
#include "sim/wrap_angle.h"
#include "sim/step_isolation.h"

namespace {

constexpr float kGravity = 9.80665f;
constexpr float kSlideDeceleration = 14.709975f;  // 1.5 g of sliding friction
constexpr float kHalfPi = 1.5707964f;
constexpr float kTurnedRound = 3.0415927f;        // pi - 0.1
// The fallen body's points stop below this speed.
constexpr float kRestSpeedFloor = 0.05f;

// The weights that draw a dragged rider to the bike's side and push it off
// the wheels grow as distance^-1.6; below this distance they stop growing,
// so a rider standing on a wheel is not flung away.
constexpr float kWeightFloorDistance = 0.1f;

// Barrier rounds of the rider's point before it is put inside the edge.
constexpr int kBarrierRounds = 3;

constexpr int kModeOneShot = 40;
constexpr int kSmokeDust = 2;
constexpr int kSmokeAtRider = 6;
constexpr std::uint8_t kSurfaceGravel = 2;

// Weight of a horizontal difference d: |d|^-1.6, at most that of the floor
// distance.
float PullWeight(const Vec3& d)
{
    const float squared = std::max(d.x * d.x + d.z * d.z, kWeightFloorDistance * kWeightFloorDistance);
    return std::pow(squared, -0.8f);
}

float HorizontalLength(const Vec3& v) { return std::sqrt(v.x * v.x + v.z * v.z); }

} // namespace

// Whether the fallen bike has stopped moving. A body lying on its side
// rests on both rows of points at once only at one exact roll; each step
// gravity pulls it past that roll by up to g dt^2 and the ground pushes it
// back, so it rocks in place with speeds of the order of g dt that only
// vanish exactly at short sub-steps. It counts as still when its rear point
// has stopped, or when every point moves slower than one step of gravity
// gives (never less than the 0.05 m/s below which motion is cut), which at
// short sub-steps is the same test and at long ones still ends the crash.
bool Bike::FallenBikeStill(float dt) const
{
    if (Speed == 0.0f)
        return true;
    const float still = std::max(kRestSpeedFloor, kGravity * dt);
    for (const Vec3& v : BodyVelocity)
        if (!(HorizontalLength(v) < still))
            return false;
    return true;
}

void Bike::CrashStep(float dt)
{
    const RaceContext& race = CurrentRaceContext();
    const RaceConditions& conditions = CurrentRaceConditions();
    // A fallen bike reads the viewed rider's place and the section the
    // last query of its path left: both depend on the order of steps.
    NeedsBikeByBikeOrder();

    // Warn the viewed rider of a fallen rider ahead.
    if (race.Bikes && Index != race.ViewedRider && race.ViewedRider >= 0 && race.ViewedRider < race.BikeCount) {
        float d = Progress - race.Bikes[race.ViewedRider].Progress;
        if (d < 0.0f && conditions.Circuit)
            d += conditions.Circuit->Length;
        if (d > 10.0f && d < 200.0f && race.Hooks)
            race.Hooks->HudSetViewMode(1);
    }

    if (!(Status & kBikeBodyActive))
        return;

    // The engine idles down.
    Rpm = EngineSoundRpm = ApproachValue(Rpm, 1000.0f, dt, 0.006f);

    // The fallen bike; its hubs, reference point and centre follow the body.
    // Once it has come to rest it stays where it lies: nothing moves it any
    // more, and stepping the body on would only let it creep over the
    // ground as it rocks between its two rows of points.
    if (Status & kBikeAtRest) {
        for (Vec3& v : BodyVelocity)
            v = Vec3();
    } else {
        BodyStep(dt);
    }
    FrontWheel.ContactPoint = BodyPoint[0];
    Position = BodyPoint[1].Plus(BodyPoint[0].Minus(BodyPoint[1]).Normalised().Times(0.36f));
    RearWheel.ContactPoint = Position;
    CgPosition = BodyPoint[2].Plus(BodyPoint[3]).Times(0.5f);
    Speed = HorizontalLength(BodyVelocity[1]);

    MoveFallenRider(dt);

    // At rest: more than two points lying on flat ground, and no motion.
    if (FallenBikeStill(dt)) {
        int flat = 0;
        for (int i = 0; i < 4; ++i)
            if (BodyContact[i] && HorizontalLength(BodyNormal[i]) < BodyNormal[i].y)
                ++flat;
        if (flat > 2) {
            Status |= kBikeAtRest;
            for (Vec3& v : BodyVelocity)
                v = Vec3();
            Speed = 0.0f;
        }
    }

    // A human player walking back to the bike is put back on it at once,
    // unless the player asked to walk (outside the arcade model).
    if (RiderEntry && IsDraggedRiderState(RiderState) && (conditions.Arcade() || !(Flags & kPlayerFlagNoRecovery))) {
        Recover((Flags & kBikeHuman) != 0);
        SetState(-2, 0.0f);
    }
}

// The rider's own body while the rider is down: RiderPosition, CgVelocity
// (its velocity) and the facing RiderAngles.y.
void Bike::MoveFallenRider(float dt)
{
    const RaceConditions& conditions = CurrentRaceConditions();
    const Vec3 start = RiderPosition;
    Vec3& r = RiderPosition;
    Vec3& v = CgVelocity;
    float& facing = RiderAngles.y;
    // The facing the rider ended the last step with: a rider walking to the
    // bike who now moves back along a barrier the way it came has reached
    // the nearest place to the bike that the barrier lets it get to.
    const float facingBefore = facing;
    const bool dragged = IsDraggedRiderState(RiderState);
    const float dragSpeed = DragSpeed(RiderState);

    if (dragged) {
        // Walk to the bike's side, keeping clear of both wheels.
        v.y = 0.0f;
        const Vec3 target = Position.Plus(VecRotateY(Vec3(Roll > 0.0f ? -1.5f : 1.5f, 0.0f, 0.5f), Heading));
        const Vec3 toTarget = target.Minus(r);
        Vec3 d = toTarget.Times(3.0f * PullWeight(toTarget));
        if (!(Status & kBikeBarrierTouched)) {
            const Vec3 fromFront = r.Minus(FrontWheel.ContactPoint);
            const Vec3 fromRear = r.Minus(RearWheel.ContactPoint);
            d.Add(fromFront.Times(PullWeight(fromFront)));
            d.Add(fromRear.Times(PullWeight(fromRear)));
        }
        // Near the target its pull stops growing while the wheels still push,
        // so a rider within the floor distance has arrived whatever the
        // step length (at short steps the walk would circle the target).
        if (HorizontalLength(toTarget) > std::max(dragSpeed * dt, kWeightFloorDistance)) {
            if (d.x != 0.0f || d.z != 0.0f)
                facing = std::atan2(d.x, d.z);
            v.x = dragSpeed * std::sin(facing);
            v.z = dragSpeed * std::cos(facing);
            r.Add(v.Times(dt));
        } else {
            // Arrived: the rider stands at the bike.
            r = Position;
            SetState(Roll >= 0.0f ? 25 : 21, 0.0f);
        }
    } else {
        // Thrown: falls, and slides to a stop.
        v.y -= kGravity * dt;
        const float s = HorizontalLength(v);
        if (s > 0.0f) {
            const float k = std::max(s - kSlideDeceleration * dt, 0.0f) / s;
            v.x *= k;
            v.z *= k;
        }
        r.Add(v.Times(dt));
        if (HorizontalLength(v) > 0.5f)
            facing = ApproachAngle(facing, std::atan2(v.x, v.z), dt, 0.5f);
    }

    // Barriers: the point (lowered so that it takes the edge's height) is
    // turned along every edge it lies beyond.
    const float heightBefore = r.y;
    r.y -= 2.0f;
    for (int round = 1; Path && round <= kBarrierRounds; ++round) {
        Vec3 n;
        if (!Path->Locate(&r, &n, RiderProgress))
            break;
        if (dragged)
            Status |= kBikeBarrierTouched;
        r.Add(n.Times(0.02f));
        const Vec3 t = VecRotateY(n, kHalfPi);
        const float along = v.x * t.x + v.z * t.z;
        const float speedAlong = dragged ? (along < 0.0f ? -dragSpeed : dragSpeed) : 0.2f * along;
        v.x = speedAlong * t.x;
        v.z = speedAlong * t.z;
        const float oldFacing = facing;
        if (v.x != 0.0f || v.z != 0.0f)
            facing = std::atan2(v.x, v.z);
        r.x += v.x * dt;
        r.z += v.z * dt;
        // A barrier turns the motion by less than a right angle within one
        // round, so a turn-round shows only against the last step's facing:
        // a dragged rider whose target lies beyond the barrier walks to the
        // point nearest it and then steps back and forth there, reversing
        // every step. That ends the walk beside the bike.
        const float turnedFrom = dragged ? facingBefore : oldFacing;
        if (RiderState != 21 && RiderState != 25 && std::fabs(WrapAngle(facing, turnedFrom)) > kTurnedRound)
            SetState(Roll >= 0.0f ? 25 : 21, 0.0f);
        if (round == kBarrierRounds)
            Path->OffsetFromEdge(&r, RiderSideOffset <= 0.0f ? 1 : 0, Path->LastSection, 0.2f);
    }

    // Ground. A point with no surface under it goes back where it was.
    unsigned char surface = 0;
    Vec3 normal;
    const float g = Path ? Path->Query(&r, &normal, RiderProgress, &surface) : kTrackNone;
    if (g == kTrackNone) {
        r = start;
        // A rider walking to a bike that lies still would take the same
        // step off the surface every time and never get nearer: the walk
        // ends where the rider stands.
        if (dragged && (Status & kBikeAtRest) && RiderState != 21 && RiderState != 25)
            SetState(Roll >= 0.0f ? 25 : 21, 0.0f);
    } else if (dragged || !(heightBefore > g)) {
        r.y = g;
        if (!dragged)
            v.y = 0.0f;
    } else {
        r.y = heightBefore;
    }

    // The rider's own place on the path.
    if (Path) {
        Vec2 centre(r.x, r.z);
        int segment = static_cast<int>(RiderSegment);
        float pathHeading = 0.0f;
        int lapDelta = 0;
        RiderProgress = Path->Project(&centre, &segment, &pathHeading, &lapDelta);
        RiderSegment = static_cast<std::uint32_t>(segment < 0 ? 0 : segment);
        const float dx = r.x - centre.x;
        const float dz = r.z - centre.z;
        const float distance = std::sqrt(dx * dx + dz * dz);
        RiderSideOffset = dz * std::sin(pathHeading) - dx * std::cos(pathHeading) < 0.0f ? -distance : distance;
    }

    // Dust and the slide's sound on gravel. Whether the sound starts on this
    // step is a coin of the cosmetic stream: it changes what is heard, never
    // the race.
    if (HorizontalLength(v) > 4.0f && g != kTrackNone && surface == kSurfaceGravel && !dragged &&
        !conditions.Rain()) {
        if (RaceHooks* hooks = CurrentRaceContext().Hooks) {
            hooks->SmokeEmit(kSmokeDust, *this, kSmokeAtRider, 1.0f);
            if (platform::random_stream(platform::RandomStreamId::Cosmetic).next() & 1) {
                hooks->Play(kSoundSkidVerge, Index, kKeepSoundValue, kKeepSoundValue, kKeepSoundValue, kModeOneShot);
                hooks->SetVoiceDistance(kSoundSkidVerge, Index, 80.0f, 200.0f);
                hooks->SetVoicePosition(kSoundSkidVerge, Index, r);
            }
        }
    }
}
