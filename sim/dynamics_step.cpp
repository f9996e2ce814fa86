#include <algorithm>
#include <cmath>

#include "app/approach.h"
#include "sim/bike.h"
#include "sim/bike_sounds.h"
#include "sim/race_conditions.h"
#include "sim/race_context.h"
#include "sim/step_isolation.h"
#include "sim/track.h"
#include "sim/wrap_angle.h"

namespace {

constexpr float kPitLaneSpeed = 2.7777779f;     // 10 km/h into the box
constexpr float kPitSlowDown = 40.0f;           // m before the box
constexpr float kLappingWarning = 50.0f;        // m
constexpr double kWrongWayAngle = 2.199114881258097; // 0.7 pi
constexpr float kFallLeanRate = 10.0f;          // rad/s
constexpr float kFallPitch = 1.2217305f;        // 70 degrees
constexpr float kFallRoll = 1.3f;
constexpr float kRiderBelow = 0.05f;            // how far the rider's height may lag the bike's
constexpr float kRiderAbove = 0.15f;
constexpr std::uint32_t kHudWrongWay = 0x2000;
constexpr int kViewLapping = 4;

// Keeps the bike's headings within half a turn of zero. A bike going round
// a circuit turns a full turn every lap, and a heading summed without bound
// loses the precision of its small per-step turns (above 128 rad a whole
// step's turn on a wide bend rounds away, and with it the step's motion).
// Every heading of the bike moves by the same whole turns, so their
// differences hold.
void FoldHeadings(Bike& b)
{
    constexpr float kPi = 3.14159265f;
    constexpr float kTwoPi = 6.28318531f;
    if (!(std::fabs(b.Heading) > kPi))
        return;
    const float shift = kTwoPi * std::round(b.Heading / kTwoPi);
    b.Heading -= shift;
    b.PrevHeading -= shift;
    b.AimHeading -= shift;
    b.RiderAngles.y -= shift;
    b.StepStart.Heading -= shift;
    for (WheelAssembly* wheel : {&b.FrontWheel, &b.RearWheel}) {
        wheel->Heading -= shift;
        wheel->Orientation.Heading -= shift;
    }
}

int PitSlot(const Bike& bike)
{
    return bike.GridEntry ? std::clamp(bike.GridEntry->PitSlot, 0, kPitSlotCount - 1) : 0;
}

} // namespace

void Bike::DynamicsStep(float dt)
{
    const DynamicsLeft left = DynamicsBefore(dt);
    if (left == DynamicsLeft::Nothing)
        return;
    if (left == DynamicsLeft::CoreAndAfter)
        DynamicsCore(dt);
    DynamicsAfter();
}

Bike::DynamicsLeft Bike::DynamicsBefore(float dt)
{
    if (dt == 0.0f || (Flags & kBikeNoControl) || (Status & kBikeParked))
        return DynamicsLeft::Nothing;
    RaceContext& race = CurrentRaceContext();

    FrontWheel.StepDistance = 0.0f;
    RearWheel.StepDistance = 0.0f;
    if (Flags & kBikeTelemetry)
        RecordTelemetry();
    AdvanceTime(dt);
    if (race.Simulated())
        return DynamicsLeft::Nothing;

    PitArrival(dt);
    WrongWayNotice();

    if (Status & kBikeDown) {
        CrashStep(dt);
        AimHeading = RiderAngles.y;
        return DynamicsLeft::After;
    }
    return DynamicsLeft::CoreAndAfter;
}

void Bike::DynamicsCore(float dt)
{
    if (RaceHooks* hooks = CurrentRaceContext().Hooks) {
        hooks->StopVoice(kSoundScrapeTarmac, Index);
        hooks->StopVoice(kSoundScrapeVerge, Index);
    }
    StepStart.CgPosition = CgPosition;
    StepStart.FrontHub = FrontWheel.ContactPoint;
    StepStart.RearHub = RearWheel.ContactPoint;
    StepStart.Pitch = Pitch;
    StepStart.Heading = Heading;
    StepStart.Roll = Roll;
    StepStart.FrontGround = FrontWheel.GroundHeight;
    StepStart.RearGround = RearWheel.GroundHeight;

    RidingStep(dt);
    TyreEffects(dt);
    PoseFromWheels(dt);
    CheckFall(dt);
    Aim();
    AngularRate = Vec3(WrapAngle(Pitch, StepStart.Pitch) / dt, WrapAngle(Heading, StepStart.Heading) / dt,
                       WrapAngle(Roll, StepStart.Roll) / dt);
}

void Bike::DynamicsAfter()
{
    TurnRadius = RearWheel.TurnRadius;
    FoldHeadings(*this);
    if ((Status & kBikePitStop) && std::fabs(SideOffset) > CurrentRaceContext().PitBoxDepth[PitSlot(*this)])
        Park();
}

// In the pit lane of a practice-type session the bike rolls to its box at
// walking pace; in a race the viewed rider is warned of a bike about to lap
// him.
void Bike::PitArrival(float dt)
{
    const RaceConditions& conditions = CurrentRaceConditions();
    RaceContext& race = CurrentRaceContext();
    if ((Status & kBikeInPitLane) && !(Status & kBikeWaitingInBox) && IsPracticeSession(conditions.SessionType)) {
        const int slot = PitSlot(*this);
        const float d = race.PitBoxDistance[slot] - Progress;
        Controls.Throttle = 127;
        Controls.Brake = 0;
        if (d < kPitSlowDown)
            TargetSpeed = kPitLaneSpeed;
        if (d < Speed * dt + race.PitBoxDepth[slot])
            Status |= kBikePitStop;
        return;
    }
    if (conditions.SessionType >= 4 && race.BikeCount > 1 && Index == race.ViewedRider && Behind && Path) {
        // The bike behind as the bike-by-bike order shows it: a timing step
        // run beside the others is told where it was.
        float behindProgress = 0.0f;
        int behindLaps = 0;
        if (const IsolatedStep* step = CurrentIsolatedStep(); step && step->TimingApart) {
            if (!step->KnowsBehind)
                BreakIsolation();
            behindProgress = step->BehindProgress;
            behindLaps = step->BehindLaps;
        } else {
            behindProgress = Behind->Progress;
            behindLaps = Behind->Laps;
        }
        const float length = Path->Length;
        const float mine = static_cast<float>(Laps) * length + Progress;
        const float theirs = static_cast<float>(behindLaps) * length + behindProgress;
        if (theirs > mine) {
            float gap = Progress - behindProgress;
            if (gap < 0.0f)
                gap += length;
            if (gap < kLappingWarning && race.Hooks)
                race.Hooks->HudSetViewMode(kViewLapping);
        }
    }
}

// The viewed rider riding the wrong way round gets the overlay's notice.
void Bike::WrongWayNotice()
{
    RaceContext& race = CurrentRaceContext();
    RaceHooks* hooks = race.Hooks;
    if (Index != race.ViewedRider || !hooks)
        return;
    const bool wrongWay = std::fabs(static_cast<double>(WrapAngle(Heading, PathHeading))) > kWrongWayAngle;
    if (wrongWay && !(Status & kBikeDown)) {
        if (!hooks->HudTest(kHudWrongWay))
            hooks->HudRaise(kHudWrongWay);
    } else if (hooks->HudTest(kHudWrongWay)) {
        hooks->HudClear(kHudWrongWay);
    }
}

// The pose from the new wheel positions: the bike sits on its rear hub,
// pitched by the height difference of the hubs; the wheels' and the centre
// of mass's velocities follow from the step's motion; the rider's body
// follows the bike's height with a little lag.
void Bike::PoseFromWheels(float dt)
{
    const Vec3& front = FrontWheel.ContactPoint;
    const Vec3& rear = RearWheel.ContactPoint;
    Position = rear;
    const float dx = front.x - rear.x;
    const float dz = front.z - rear.z;
    Pitch = std::atan2(rear.y - front.y, std::sqrt(dx * dx + dz * dz));
    FrontWheel.Velocity.x = (front.x - StepStart.FrontHub.x) / dt;
    FrontWheel.Velocity.z = (front.z - StepStart.FrontHub.z) / dt;
    RearWheel.Velocity.x = (rear.x - StepStart.RearHub.x) / dt;
    RearWheel.Velocity.z = (rear.z - StepStart.RearHub.z) / dt;

    ConstrainBodyVelocities();

    CgPosition = Position.Plus(VecRotateY(MassOffset, Heading));
    CgVelocity = CgPosition.Minus(StepStart.CgPosition).Times(1.0f / dt);

    RiderPosition.x = Position.x;
    RiderPosition.z = Position.z;
    const float y = ApproachValue(RiderPosition.y + dt * CgVelocity.y, Position.y, dt, 1.0f);
    RiderPosition.y = std::clamp(y, Position.y - kRiderBelow, Position.y + kRiderAbove);
    RiderAngles = Vec3(Pitch, Heading, Roll);
}

// A lean swinging too fast, a requested fall or a bike pitched over: the
// rider is thrown (states 10, 11); a bike lying over: the rider falls
// (states 5, 6). Either way the fallen-bike body is built first.
void Bike::CheckFall(float dt)
{
    if (std::fabs(Lean.Rate) > kFallLeanRate || (Status & kBikeFallRequested) || std::fabs(Pitch) > kFallPitch) {
        LocateContacts(dt);
        SetState(Roll > 0.0f ? 11 : 10, 0.0f);
    } else if (std::fabs(Roll) > kFallRoll) {
        LocateContacts(dt);
        SetState(Roll > 0.0f ? 6 : 5, 0.0f);
    }
}

// Where the bike is aimed: a human rider at the point his current circle
// reaches in 2 s, a computer rider at the centre line LookAhead ahead.
void Bike::Aim()
{
    if (IsHuman()) {
        const float heading = RiderAngles.y;
        if (TurnRadius == 0.0f) {
            AimHeading = heading;
        } else {
            const float a = 2.0f * Speed / TurnRadius;
            AimHeading = heading - std::atan2(TurnRadius * (1.0f - std::cos(a)), TurnRadius * std::sin(a));
        }
        return;
    }
    if (!Path)
        return;
    float s = LookAhead.Value + Progress;
    if (s > Path->Length)
        s -= Path->Length;
    // A distance the path does not reach leaves the point straight ahead.
    Vec2 point(Position.x + std::sin(Heading), Position.z + std::cos(Heading));
    Path->DistanceToPoint(s, &point, nullptr);
    AimHeading = std::atan2(point.x - Position.x, point.z - Position.z);
}
