// The rider state machine's step: what each rider state does every
// sub-step, how its animation time runs, and what follows when the
// animation ends.
#include <cmath>

#include "app/approach.h"
#include "sim/bike.h"
#include "sim/float_conv.h"
#include "sim/race_context.h"
#include "sim/rider_state_table.h"
#include "sim/rider_states.h"
#include "sim/track.h"
#include "sim/wrap_angle.h"
#include "sim/step_isolation.h"

namespace {

constexpr float kStopSpeed = 1.1111112f;        // 4 km/h: below it a rider stops
constexpr float kStuckSpeed = 5.555556f;        // 20 km/h: slower than this off the road is stuck
constexpr std::uint8_t kStartThrottle = 19;     // throttle that starts a waiting rider
constexpr std::uint8_t kPullAwayThrottle = 12;
constexpr std::uint8_t kFullBrake = 127;
constexpr float kLookRate = 2.0f;               // head-turn position per second
constexpr float kLookCentre = 0.5f;
constexpr float kLookMost = 0.9f;
constexpr float kLookLeast = 0.1f;
constexpr float kQuarterTurn = 1.5707964f;
constexpr double kLinedUp = 0.3;                // rad: a rider riding off is lined up with the path
constexpr double kPostureLean = 0.5235987901687621; // 30 degrees
constexpr float kSpeedBlendFloor = 0.8f;        // fallen riders' animations run at 0.8 .. 1.2 times
constexpr float kSpeedBlendSpread = 0.4f;
constexpr float kCelebrationRoom = 1000.0f;     // m of straight road looked for
constexpr float kCelebrationCurve = 300.0f;     // m: tighter curves are no place for it

// Flags bit 6: the posture rule of a bike ridden like a computer rider's
// (sit up under braking, over bumps and off the road).
constexpr std::uint32_t kFlagPostureByRiding = 0x40;

// The remount table: current state, then the next state when turning one
// way, the other way, or neither.
struct RemountRow {
    std::int32_t Current;
    std::int32_t Next[3];
};
constexpr RemountRow kRemountTable[] = {
    {21, {32, 34, -4}}, {-4, {32, 34, -4}}, {32, {41, 42, 42}}, {41, {41, 42, 42}}, {42, {32, 34, -4}},
    {43, {49, 34, 48}}, {34, {48, 47, 48}}, {47, {48, 47, 48}}, {48, {32, 34, -4}}, {49, {32, 43, 42}},
    {25, {33, 35, -3}}, {-3, {33, 35, -3}}, {33, {44, 45, 45}}, {44, {44, 45, 45}}, {45, {33, 35, -3}},
    {46, {52, 35, 51}}, {35, {51, 50, 51}}, {50, {51, 50, 51}}, {51, {33, 35, -3}}, {52, {33, 46, 45}},
};
constexpr int kWayOne = 0;
constexpr int kWayTwo = 1;
constexpr int kWayNeither = 2;

// n >= 1; the result is in 0 .. n - 1 for any value.
int WrapIndex(std::int32_t value, int n)
{
    const int m = value % n;
    return m < 0 ? m + n : m;
}

const RiderStateTable* Table()
{
    return CurrentRaceContext().RiderStates;
}

// Spins a wheel by the distance it rolled; a wheel without a radius (no
// model loaded) does not spin.
void Spin(WheelAssembly& wheel, float distance)
{
    if (wheel.Radius > 0.0f)
        wheel.SpinAngle += distance / wheel.Radius;
}

void EndOfAnimation(Bike& b);
void AfterBump(Bike& b);
void ChooseFollowUp(Bike& b);
void CheckCelebration(Bike& b);
void MoveWheelOntoTrack(Bike& b, WheelAssembly& wheel, WheelAssembly& other);

// Runs the current state's animation clock; at the end of the animation the
// leftover time carries into whatever follows.
void AdvanceStateTime(Bike& b, float dt)
{
    const RiderStateTable* table = Table();
    const std::int32_t frames = table ? table->FrameCount(b.RiderState) : 0;
    if (frames == 0)
        return; // not timed: only the state's own rules leave it
    const float count = static_cast<float>(frames);
    b.StatePhase = b.StateTime * kAnimationFramesPerSecond / count;
    if (b.Status & kBikeDown) {
        // Fallen riders' animations run between 0.8 and 1.2 times normal
        // speed, different for each rider.
        const float blend = std::fmod(static_cast<float>(b.Index) + b.RaceTime, kSpeedBlendSpread) + kSpeedBlendFloor;
        b.StateTime += blend * dt;
    } else {
        b.StateTime += dt;
    }
    if (b.StateTime * kAnimationFramesPerSecond > count) {
        b.StateTime -= count * kSecondsPerFrame;
        EndOfAnimation(b);
    }
}

// What follows a state whose animation has ended: the machine's own rules
// for the special states, else the record's follow-up list.
void EndOfAnimation(Bike& b)
{
    const std::int32_t state = b.RiderState;
    switch (state) {
    case kRiderPullAway:
    case kRiderBackRidingA:
    case kRiderBackRidingB:
    case kRiderWinnerCelebration:
    case kRiderRideOut:
    case kRiderCelebration67:
    case kRiderCelebration68:
    case kRiderCelebration69:
    case kRiderCelebration70:
        b.Posture = 0.0f;
        b.SetState(kRiderRiding, b.StateTime);
        return;
    case kRiderStopping:
        b.Posture = 1.0f;
        b.SetState(kRiderWaiting, b.StateTime);
        return;
    case kRiderRideOffA:
    case kRiderRideOffB:
        // Until lined up with the path the animation repeats (and the
        // control step keeps aiming at the path ahead).
        if (std::fabs(static_cast<double>(WrapAngle(b.Heading, b.PathHeading))) < kLinedUp || b.IsHuman())
            b.SetState(state == kRiderRideOffA ? kRiderBackRidingA : kRiderBackRidingB, 0.0f);
        return;
    case kRiderStuck:
        if (b.Speed < kStopSpeed)
            b.SetState(kRiderStopping, b.StateTime);
        else if (b.RearWheel.Terrain != 0 && b.Speed <= kStuckSpeed)
            return; // still stuck: the animation repeats
        else
            b.SetState(kRiderRideOut, b.StateTime);
        return;
    case kRiderBumped56:
    case kRiderBumped57:
    case kRiderBumped58:
    case kRiderBumped59:
        AfterBump(b);
        return;
    case kRiderGestureBehindRight:
    case kRiderGestureAheadRight:
    case kRiderGestureBehindLeft:
    case kRiderGestureAheadLeft:
        b.Posture = 1.0f;
        b.SetState(kRiderRiding, b.StateTime);
        return;
    default:
        break;
    }
    if (state == kRiderLiftBikeA || state == kRiderLiftBikeB || (state >= kRiderTurnStartA1 && state <= kRiderTurnStartB2) ||
        (state >= kRiderPushA1 && state <= kRiderTurnSwitchB1)) {
        b.Remount();
        return;
    }
    ChooseFollowUp(b);
}

// After a bump: back to riding, or now and then a gesture toward the rival,
// behind or ahead of him and to his side.
void AfterBump(Bike& b)
{
    b.Posture = 1.0f;
    Bike* rival = b.Rival;
    b.Rival = nullptr;
    if (!rival || TruncToInt(static_cast<double>(b.Progress) * 5.0) % 2 == 0) {
        b.SetState(kRiderRiding, b.StateTime);
        return;
    }
    // The rival is another bike: where it is depends on the order of steps.
    NeedsBikeByBikeOrder();
    float gap = rival->Progress - b.Progress;
    const float length = b.Path ? b.Path->Length : 0.0f;
    if (length > 0.0f) {
        gap = std::fmod(gap, length);
        if (gap > 0.5f * length)
            gap -= length;
        else if (gap <= -0.5f * length)
            gap += length;
    }
    const bool rightOfUs = rival->SideOffset <= b.SideOffset;
    std::int32_t gesture;
    if (gap <= 0.0f)
        gesture = rightOfUs ? kRiderGestureBehindRight : kRiderGestureBehindLeft;
    else
        gesture = rightOfUs ? kRiderGestureAheadRight : kRiderGestureAheadLeft;
    b.SetState(gesture, 0.0f);
}

// Chooses what follows from the record's follow-up list: the states whose
// speed threshold the rider's body meets, starting at an entry picked by
// the race time (the state itself only when no other is eligible); when
// none does, the one whose threshold is nearest.
void ChooseFollowUp(Bike& b)
{
    const RiderStateTable* table = Table();
    const RiderAnimationRecord* record = table ? table->Record(b.RiderState) : nullptr;
    const int n = table ? table->FollowUpCount(b.RiderState) : 0;
    if (!record || n == 0)
        return; // an empty list repeats the animation

    const float v = b.CgVelocity.Length();
    bool eligible[kFollowUpSlots] = {};
    bool anyEligible = false;
    int nearest = -1;
    float nearestGap = 1000.0f;
    for (int i = 0; i < n; ++i) {
        const float s = table->ThresholdSpeed(record->FollowUp[i]);
        eligible[i] = s == 0.0f || (s > 0.0f && v >= s) || (s < 0.0f && v <= -s);
        if (eligible[i]) {
            anyEligible = true;
        } else {
            const float gap = std::fabs(v - s);
            if (gap < nearestGap) {
                nearestGap = gap;
                nearest = i;
            }
        }
    }

    const int start = WrapIndex(TruncToInt(static_cast<double>(b.RaceTime) * 10.0), n);
    int chosen = start;
    if (!anyEligible) {
        if (nearest >= 0)
            chosen = nearest;
    } else {
        // A state follows itself only when nothing else it may lead to is
        // eligible: picked by the race time alone, a rider lying still whose
        // animation always ended on the same tenth of a second would repeat
        // it for ever instead of getting up.
        int self = -1;
        chosen = -1;
        for (int k = 0; k < n && chosen < 0; ++k) {
            const int i = (start + k) % n;
            if (!eligible[i])
                continue;
            if (record->FollowUp[i] == b.RiderState && self < 0)
                self = i;
            else if (record->FollowUp[i] != b.RiderState)
                chosen = i;
        }
        if (chosen < 0)
            chosen = self;
    }
    b.SetState(record->FollowUp[chosen], b.StateTime);
}

// State 4: while the look-behind control is held the head turns away from
// the middle to 0.1 or 0.9; released, it comes back, and the look ends the
// moment it passes the middle. True when the look has ended.
bool LookBehindStep(Bike& b, float dt)
{
    const float step = kLookRate * dt;
    if (b.Controls.LookBehind()) {
        if (b.StatePhase > kLookCentre)
            b.StatePhase = std::fmin(b.StatePhase + step, kLookMost);
        else
            b.StatePhase = std::fmax(b.StatePhase - step, kLookLeast);
        return false;
    }
    bool crossed;
    if (b.StatePhase > kLookCentre) {
        b.StatePhase -= step;
        crossed = b.StatePhase <= kLookCentre;
    } else {
        b.StatePhase += step;
        crossed = b.StatePhase >= kLookCentre;
    }
    if (crossed) {
        b.SetState(kRiderRiding, 0.0f);
        return true;
    }
    return false;
}

// States 5 .. 20, 29, 30: the rider's body straightens up (5 and 6 drop
// its roll at once) and, once the animation is far enough on, turns to face
// across its direction of motion.
void SettleRiderBody(Bike& b, float dt)
{
    b.RiderAngles.x = ApproachValue(b.RiderAngles.x, 0.0f, dt, 1.0f);
    if (b.RiderState == kRiderLowSideA || b.RiderState == kRiderLowSideB)
        b.RiderAngles.z = 0.0f;
    else
        b.RiderAngles.z = ApproachValue(b.RiderAngles.z, 0.0f, dt, 1.0f);

    // The turn starts at frame 36 of the animation: at the phase 36 / c in
    // whole runs. An untimed animation (c = 0) never gets there.
    const RiderStateTable* table = Table();
    const std::int32_t frames = table ? table->FrameCount(b.RiderState) : 0;
    if (frames <= 0)
        return;
    const float turnPhase = static_cast<float>(36 / frames);
    if (b.StatePhase >= turnPhase && (b.CgVelocity.x != 0.0f || b.CgVelocity.z != 0.0f)) {
        const float facing = std::atan2(b.CgVelocity.x, b.CgVelocity.z) + kQuarterTurn;
        b.RiderAngles.y = ApproachAngle(b.RiderAngles.y, facing, dt, 2.0f);
    }
}

// Riding: the rider's posture, then the checks that leave riding (too slow,
// stuck off the road, a celebration after the finish).
void RidingStateStep(Bike& b, float dt)
{
    if (b.Status & kBikeFinished) {
        b.Posture = ApproachValue(b.Posture, 1.0f, dt, 1.0f);
    } else {
        const float sinRoll = std::sin(b.Roll);
        const float f = std::fabs(static_cast<double>(b.Roll)) > kPostureLean ? 0.8f : 1.0f - 0.8f * sinRoll * sinRoll;
        const float hangOn = static_cast<float>(b.Controls.HangOn()) / 31.0f;
        bool sitUp;
        float time;
        if (!(b.Flags & kFlagPostureByRiding)) {
            sitUp = hangOn > 0.5f;
            time = sitUp ? 0.3f : 0.5f;
        } else {
            const int drive = static_cast<int>(b.Controls.Throttle) - static_cast<int>(b.Controls.Brake);
            const bool airborne = b.FrontWheel.Travel < 0.0f && b.RearWheel.Travel < 0.0f;
            const bool offRoad = b.FrontWheel.Terrain != 0 && b.FrontWheel.Terrain != 3;
            sitUp = drive < 0 || airborne || offRoad || hangOn > 0.5f;
            time = sitUp ? 0.3f : 1.0f;
        }
        b.Posture = ApproachValue(b.Posture, sitUp ? 1.0f : 0.0f, f * dt, time);
    }

    // The checks run in turn and the last that applies wins: a rider
    // stopping off the road is stuck (which ends in stopping once at rest).
    if (b.Speed < kStopSpeed)
        b.SetState(kRiderStopping, 0.0f);
    if (b.RearWheel.Terrain != 0 && b.Speed < kStuckSpeed)
        b.SetState(kRiderStuck, 0.0f);
    CheckCelebration(b);
}

// A finished rider in the first three now and then celebrates, when the
// whole animation fits on the straight road ahead.
void CheckCelebration(Bike& b)
{
    if (!(b.Status & kBikeFinished) || b.RacePosition < 1 || b.RacePosition > 3 || !(b.FrontWheel.Travel > 0.0f))
        return;
    if (!b.Path || b.Path->SegmentCount() == 0)
        return;
    const int count = b.Path->SegmentCount();
    const int segment = static_cast<int>(b.Segment < static_cast<std::uint32_t>(count) ? b.Segment : 0u);
    const float radius = b.Path->Segments[static_cast<std::size_t>(segment)].Radius;
    if (radius != 0.0f && std::fabs(radius) <= kCelebrationCurve)
        return;

    static constexpr int kChance[3] = {7, 4, 2};
    if (WrapIndex(TruncToInt(b.Progress), 30) > kChance[b.RacePosition - 1])
        return;
    const int m = WrapIndex(TruncToInt(static_cast<double>(b.Progress) * 10.0), 5);
    std::int32_t state;
    if (m == 4) {
        if (b.RacePosition != 1)
            return;
        state = kRiderWinnerCelebration;
    } else {
        state = kRiderCelebration67 + m;
    }

    // Road ahead: the rest of this segment, then the straights and wide
    // curves after it, until there is enough (at most once round the path).
    float room = b.Path->SegmentStart[static_cast<std::size_t>(segment) + 1] - b.Progress - b.LookAhead.Value;
    for (int k = 1; k <= count && room <= kCelebrationRoom; ++k) {
        const TrackSegment& next = b.Path->Segments[static_cast<std::size_t>((segment + k) % count)];
        if (next.Radius != 0.0f && std::fabs(next.Radius) <= kCelebrationCurve)
            break;
        room += next.Length;
    }

    const RiderStateTable* table = Table();
    const float frames = static_cast<float>(table ? table->FrameCount(state) : 0);
    if (room > frames * b.Speed / kAnimationFramesPerSecond)
        b.SetState(state, 0.0f);
}

// States 41, 44, 47, 50: the rider pushes the bike backward round a circle
// of the given radius at 1 m/s, keeping its wheels on the track.
void PushBikeRound(Bike& b, float dt, float radius)
{
    b.TurnRadius = radius;
    Spin(b.FrontWheel, -dt);
    Spin(b.RearWheel, -dt);
    const float h = b.Heading;
    const float h2 = h + dt / radius;
    b.Heading = h2;
    b.Position.x += radius * (std::cos(h2) - std::cos(h));
    b.Position.z += radius * (std::sin(h) - std::sin(h2));
    b.RiderPosition = b.Position;
    b.RearWheel.ContactPoint = b.Position;
    b.RiderAngles = Vec3(b.Pitch, b.Heading, b.Roll);
    b.UpAxis = Vec3(0.0f, 1.0f, 0.0f);

    for (int pass = 0; pass < 3; ++pass) {
        b.RearWheel.ContactPoint = b.Position;
        b.PlaceWheels();
        if (b.RearWheel.Flags & kWheelLeftTrack)
            MoveWheelOntoTrack(b, b.RearWheel, b.FrontWheel);
        else if (b.FrontWheel.Flags & kWheelLeftTrack)
            MoveWheelOntoTrack(b, b.FrontWheel, b.RearWheel);
        else
            break;
        b.Position = b.RearWheel.ContactPoint;
        b.RearWheel.Flags &= ~kWheelLeftTrack;
        b.FrontWheel.Flags &= ~kWheelLeftTrack;
    }

    // A wheel that found no ground keeps its height.
    if (b.RearWheel.GroundHeight != kNoGround) {
        b.Position.y = b.RearWheel.GroundHeight;
        b.RearWheel.ContactPoint.y = b.RearWheel.GroundHeight;
    }
    if (b.FrontWheel.GroundHeight != kNoGround)
        b.FrontWheel.ContactPoint.y = b.FrontWheel.GroundHeight;
}

// A wheel pushed off the track surface goes back onto the track's edge (a
// little inside it); the other wheel follows by the same displacement.
void MoveWheelOntoTrack(Bike& b, WheelAssembly& wheel, WheelAssembly& other)
{
    if (!b.Path)
        return;
    Vec3 point = wheel.ContactPoint.Minus(b.UpAxis.Times(wheel.RestLength));
    Vec3 normal;
    if (!b.Path->Locate(&point, &normal, b.Progress))
        return;
    const Vec3 moved = point.Plus(normal.Times(0.02f));
    other.ContactPoint.Add(moved.Minus(wheel.ContactPoint));
    wheel.ContactPoint = moved;
}

} // namespace

void Bike::StateStep(float dt)
{
    if (dt == 0.0f || (Status & kBikeParked))
        return;

    Spin(FrontWheel, FrontWheel.StepDistance);
    Spin(RearWheel, RearWheel.StepDistance);

    switch (RiderState) {
    case kRiderBesideBikeA:
    case kRiderBesideBikeB:
        StatePhase = 0.0f;
        Speed = 0.0f;
        Remount();
        return;
    case kRiderWaiting:
        StatePhase = 0.0f;
        Speed = 0.0f;
        if (Controls.Throttle >= kStartThrottle)
            SetState(kRiderPullAway, 0.0f);
        return;
    case kRiderRiding:
        RidingStateStep(*this, dt);
        return;
    case kRiderPullAway:
        Controls.Throttle = kPullAwayThrottle;
        Controls.Brake = 0;
        break;
    case kRiderStopping:
        Speed = 0.0f;
        Controls.Throttle = 0;
        Controls.Brake = kFullBrake;
        break;
    case kRiderLookBehind:
        if (LookBehindStep(*this, dt))
            return;
        break;
    case kRiderLiftBikeA:
    case kRiderLiftBikeB:
        Roll = 0.0f;
        RiderAngles.y = Heading;
        RiderPosition = Position;
        break;
    default:
        if (IsOffBikeSettling(RiderState))
            SettleRiderBody(*this, dt);
        else if (PushRadius(RiderState) != 0.0f)
            PushBikeRound(*this, dt, PushRadius(RiderState));
        break;
    }

    AdvanceStateTime(*this, dt);
}

// A rider standing beside the bike, or turning it round, decides which way
// to turn it next, or gets back on when it faces the right way.
void Bike::Remount()
{
    RaceContext& race = CurrentRaceContext();
    if (race.Hooks && BikeInstance)
        race.Hooks->SetAnimation(BikeInstance, 0);
    Roll = 0.0f;

    int way = kWayNeither;
    bool facingRight = false;
    if (IsHuman()) {
        const float steer = static_cast<float>(Controls.SteerInput) / 127.0f;
        if (steer > 0.5f)
            way = kWayOne;
        else if (steer < -0.5f)
            way = kWayTwo;
        else
            facingRight = static_cast<float>(Controls.Throttle) / 127.0f > 0.5f;
    } else {
        float error = 0.0f;
        if (Path && Path->Length > 0.0f) {
            float ahead = Progress + 10.0f;
            if (ahead >= Path->Length)
                ahead -= Path->Length;
            Vec2 p;
            Path->DistanceToPoint(ahead, &p, nullptr);
            error = WrapAngle(Heading, std::atan2(p.x - Position.x, p.z - Position.z));
        }
        if (error < -0.3f)
            way = kWayOne;
        else if (error > 0.3f)
            way = kWayTwo;
        else
            facingRight = true;
    }

    if (facingRight) {
        if (RiderState == kRiderBesideBikeB) {
            SetState(kRiderGetOnB, 0.0f);
            return;
        }
        if (RiderState == kRiderBesideBikeA) {
            SetState(kRiderGetOnA, 0.0f);
            return;
        }
    }

    for (const RemountRow& row : kRemountTable) {
        if (row.Current == RiderState) {
            SetState(row.Next[way], 0.0f);
            return;
        }
    }
    // A state without a row keeps its state.
}
