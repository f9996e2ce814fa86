#include <algorithm>
#include <cmath>

#include "app/approach.h"
#include "input/input_manager.h"
#include "sim/bike.h"
#include "sim/computer_control.h"
#include "sim/race_conditions.h"
#include "sim/race_context.h"
#include "sim/riding_physics.h"
#include "sim/step_isolation.h"
#include "sim/track.h"
#include "sim/wrap_angle.h"

namespace {

constexpr float kControlScale = 0.007874016f; // 1 / 127
constexpr float kGravity = 9.80665f;
constexpr float kTwoPi = 6.28318531f;

// The wheelie guard: pitch (nose up is negative) at which the brake comes
// on and the throttle goes off.
constexpr float kWheelieBrakeHuman = -0.69813174f;    // 40 degrees
constexpr float kWheelieThrottleHuman = -0.34906587f; // 20 degrees
constexpr float kWheelieBrake = -0.34906587f;
constexpr float kWheelieThrottle = -0.17453294f;      // 10 degrees

constexpr float kPostureDrag = 0.2000000477f;         // sitting up adds a fifth to the drag
constexpr float kFailedEngineDrag = -49.0332489f;     // 5 g of braking per kg
constexpr float kFrontBrakeArcade = 24.5166245f;      // 2.5 g
constexpr float kFrontBrake = 17.1616383f;            // 1.75 g
constexpr float kSlipstreamReach = 15.0f;
constexpr float kSlipstreamWidth = 5.0f;
constexpr float kRearSlideFall = 0.2f;                // rad of slide that starts a fall state
constexpr float kRearSlideMark = 0.01f;
constexpr float kTwoOverPi = 0.636619747f;
constexpr float kEngineFailedStop = 2.7777779f;       // 10 km/h

// The engine's drive force is its power over the speed; below this speed
// the power is taken as spent at it, so that a bike that has all but
// stopped cannot get an unbounded force (the step from rest starts at it).
constexpr float kMinPowerSpeed = 1.0f;
// Smallest wheelbase and pitch cosine the weight transfer divides by.
constexpr float kMinWheelbase = 0.1f;
constexpr float kMinCosine = 0.01f;

bool HasGround(float height)
{
    return height != kNoGround;
}

// Rider states in which the rider is only pulling away, turning the bike
// round or getting back on: no more than 40 % throttle.
bool LimitsThrottle(int state)
{
    switch (state) {
    case 0: case 22: case 23: case 24: case 26: case 27: case 28:
        return true;
    default:
        return false;
    }
}

float SignedAtLeast(float value, float minimum)
{
    if (std::fabs(value) >= minimum)
        return value;
    return value < 0.0f ? -minimum : minimum;
}

} // namespace

float RidingSlopeForce(const Bike& bike)
{
    const float rear = bike.RearWheel.GroundHeight;
    const float front = bike.FrontWheel.GroundHeight;
    // A wheel that never found ground has no height to compare.
    if (!HasGround(rear) || !HasGround(front))
        return 0.0f;
    return (rear - front) * bike.Weight / std::max(bike.Wheelbase, kMinWheelbase);
}

int ValidGear(const Bike& bike)
{
    const int count = std::clamp(bike.GearCount, 1, 6);
    return std::clamp(static_cast<int>(bike.Gear), 0, count - 1);
}

float RevsAtSpeed(const Bike& bike, float speed)
{
    const float radius = bike.RearWheel.Radius > 0.0f ? bike.RearWheel.Radius : 1.0f;
    return bike.OverallRatio[ValidGear(bike)] * 60.0f * speed / (kTwoPi * radius);
}

void Bike::RidingStep(float dt)
{
    const RaceConditions& conditions = CurrentRaceConditions();
    const RaceContext& race = CurrentRaceContext();
    const bool arcade = conditions.Arcade();
    WheelAssembly& front = FrontWheel;
    WheelAssembly& rear = RearWheel;

    // 1-2. Inputs, and the limits of the rider states.
    float throttle = static_cast<float>(Controls.Throttle) * kControlScale;
    float brake = static_cast<float>(Controls.Brake) * kControlScale;
    if (Speed == 0.0f) {
        Speed = 1.0f;
        throttle = std::min(throttle, 0.01f);
    } else if (LimitsThrottle(RiderState)) {
        throttle = std::min(throttle, 0.4f);
    }
    if (RiderState == 1)
        throttle = 0.0f;

    // 3. Wheelie guard.
    if (!IsHuman() || arcade || (Status & (kBikeFinished | kBikeInPitLane))) {
        if (front.Travel < 0.0f && front.Velocity.y > rear.Velocity.y) {
            if (IsHuman() && !(Status & kBikeFinished)) {
                if (Pitch < kWheelieBrakeHuman)
                    brake = 1.0f;
                if (Pitch < kWheelieThrottleHuman)
                    throttle = 0.0f;
            } else {
                if (Pitch < kWheelieBrake)
                    brake = 1.0f;
                if (Pitch < kWheelieThrottle)
                    throttle = 0.0f;
            }
        }
    }

    // 4-5. Drag, less in another bike's slipstream.
    float drag = ((DragC2 * Speed + DragC1) * Speed + DragC0) * (1.0f + kPostureDrag * Posture);
    if (Ahead && Ahead != this) {
        // A bike stepped apart from the others sees the bike ahead where
        // the bike-by-bike order would show it.
        const IsolatedStep* isolated = CurrentIsolatedStep();
        if (isolated && !isolated->KnowsAhead)
            BreakIsolation();
        const float aheadSide = isolated ? isolated->AheadSideOffset : Ahead->SideOffset;
        const float aheadProgress = isolated ? isolated->AheadProgress : Ahead->Progress;
        if (std::fabs(SideOffset - aheadSide) < kSlipstreamWidth) {
            float gap = aheadProgress - Progress;
            if (gap < 0.0f && Path && Path->Length > 0.0f)
                gap += Path->Length * std::ceil(-gap / Path->Length);
            if (gap >= 0.0f && gap < kSlipstreamReach) {
                const float side = SideOffset - aheadSide;
                drag *= 1.0f - 0.6f * std::exp(-0.2f * gap - 2.0f * side * side);
            }
        }
    }

    float slipInput = 0.0f;
    float drivePower = 0.0f;
    if (front.Travel < 0.0f && rear.Travel < 0.0f) {
        // 6. Both wheels in the air: no forces; the pose keeps turning.
        front.Force.y = front.Mass * kGravity;
        rear.Force.y = rear.Mass * kGravity;
        front.TurnRadius = 0.0f;
        rear.TurnRadius = 0.0f;
        rear.Move(dt, Speed);
        Pitch += dt * AngularRate.x;
        Heading += dt * AngularRate.y;
        Roll += dt * AngularRate.z;
        UpdateContacts();
        front.StepSuspension(dt);
        rear.StepSuspension(dt);
        Accel = 0.0f;
        Heading = rear.Heading;
    } else {
        float engineBraking = 0.0f;
        float maxDrive = 0.0f;
        float maxBrake = 0.0f;

        // 7. Rear drive.
        if (rear.Travel >= 0.0f) {
            const float power = EnginePower(Rpm);
            engineBraking = (EngineBrakeE2 * Rpm + EngineBrakeE1) * Rpm + EngineBrakeE0;
            if (power >= 0.0f) {
                maxDrive = power / std::max(Speed, kMinPowerSpeed);
                rear.Force.z = (maxDrive + engineBraking) * throttle - engineBraking;
            } else {
                maxDrive = Mass * kFailedEngineDrag;
                rear.Force.z = maxDrive;
            }
            drivePower = rear.Force.z * Speed;
        } else {
            rear.Force.z = 0.0f;
        }

        // 8. Front brake.
        if (front.Travel >= 0.0f) {
            maxBrake = Mass * (arcade ? kFrontBrakeArcade : kFrontBrake);
            front.Force.z = -(maxBrake * brake);
            if (!(Status & kBikeNoSlideFix))
                front.Force.z -= front.BrakeDrag;
        } else {
            front.Force.z = 0.0f;
        }

        // 9. Speed limiter.
        if ((Flags & kPlayerFlagSpeedLimit) || (Status & (kBikeFinished | kBikeInPitLane)))
            LimitSpeed(dt, drag, engineBraking, maxBrake, maxDrive);

        // 10. Weight transfer onto the wheels, then their grip.
        const float w = Weight;
        const AngleCosSin pitch(Pitch);
        const float c = pitch.c;
        const float length = std::max(Wheelbase, kMinWheelbase);
        const float h = MassOffset.y;
        const float b = MassOffset.z;
        const float force = front.Force.z + rear.Force.z - drag;
        if (force <= 0.0f) {
            front.Force.y = (w * b - 0.5f * h * force) * c / length;
            front.UpdateGrip(Speed, pitch);
            rear.Force.y = ((length - b) * w + 0.5f * h * force) * c / length;
            rear.UpdateGrip(Speed, pitch);
        } else {
            rear.Force.y = ((std::cos(-Pitch) * length - b) * w + h * force) * c / length;
            rear.UpdateGrip(Speed, pitch);
            front.Force.y = (b * w - h * force) * c / length +
                            front.Mass * brake * kGravity / SignedAtLeast(c, kMinCosine);
            front.UpdateGrip(Speed, pitch);
        }

        // 11. Load shares.
        if (front.Force.y < 0.0f) {
            front.LoadShare = 0.0f;
        } else if (rear.Force.y < 0.0f) {
            front.LoadShare = 1.0f;
        } else {
            const float total = front.Force.y + rear.Force.y;
            // No load on either wheel: an even share rather than 0 / 0.
            front.LoadShare = total > 0.0f ? front.Force.y / total : 0.5f;
        }
        rear.LoadShare = 1.0f - front.LoadShare;
        if (rear.Travel <= 0.0f) {
            rear.LoadShare = 0.0f;
            front.LoadShare = 1.0f;
        } else if (front.Travel <= 0.0f) {
            rear.LoadShare = 1.0f;
            front.LoadShare = 0.0f;
        }

        // 12. The rear follows the wider of the two circles.
        if (std::fabs(rear.TurnRadius) < std::fabs(front.TurnRadius) && rear.TurnRadius != 0.0f)
            rear.TurnRadius = front.TurnRadius;

        if (RiderState <= -2) {
            // 13. Waiting: the bike stands.
            Accel = 0.0f;
            Speed = 0.0f;
        } else {
            PitManoeuvre();

            // 15. The rear wheel rolls along its circle.
            const float d = dt * Speed;
            if (front.TurnRadius == 0.0f && rear.TurnRadius != 0.0f)
                front.TurnRadius = rear.TurnRadius;
            slipInput = rear.Move(dt, Speed);
            front.StepDistance = rear.StepDistance;

            RearSlide();

            // 17. The bike's heading from the two circles.
            const float r = rear.TurnRadius;
            const float f = front.TurnRadius;
            if (std::fabs(f) < std::fabs(r) && f != 0.0f) {
                const float l = Wheelbase;
                Heading = rear.Heading + d / r +
                          std::atan2(f * std::cos((d + l) / f) - r * std::cos(d / r) + r - f,
                                     f * std::sin((d + l) / f) - r * std::sin(d / r));
            } else {
                Heading = rear.Heading;
            }
            front.Heading = Heading;
            if (TurnRadius * WrapAngle(rear.Orientation.Heading, rear.Heading) < 0.0f)
                rear.Orientation.Heading = rear.Heading;

            // 18. Wheel contact, then the speed.
            UpdateContacts();
            const float total = front.Force.z + rear.Force.z + RidingSlopeForce(*this) - drag;
            Accel = total / Mass;
            Speed += Accel * dt;
            if (Speed < 0.0f)
                Speed = 0.0f;
        }

        // 19. Suspension.
        front.StepSuspension(dt);
        rear.StepSuspension(dt);
    }

    // 20. Tyres.
    front.Tyre.Update(Roll, front.SlipGain * slipInput, dt, front.Grip);
    rear.Tyre.Update(Roll, rear.SlipGain * slipInput, dt, rear.Grip);

    // 21-25. Gearbox, wheel speed, revs, engine heat.
    Position = rear.ContactPoint;
    ShiftGears(dt);
    UpdateWheelSpeed(dt, drivePower);
    Rpm = std::max(RevsAtSpeed(*this, Speed), 1000.0f);
    if (race.Racing())
        UpdateEngine(dt);

    const float dx = Position.x - PrevPosition.x;
    const float dz = Position.z - PrevPosition.z;
    StepTravel = std::sqrt(dx * dx + dz * dz);
}

// 14. Pit manoeuvres: turning out of the box onto the lane, or into it.
void Bike::PitManoeuvre()
{
    if (!(Status & (kBikeLeavingBox | kBikePitStop)) || !Path || !GridEntry)
        return;
    const int slot = std::clamp(GridEntry->PitSlot, 0, kTrackSlotCount - 1);
    const Vec2 box = Path->Slots[slot];
    WheelAssembly& rear = RearWheel;

    if (Status & kBikeLeavingBox) {
        const float toBox = WrapAngle(std::atan2(box.x - CentreX, box.z - CentreZ), PathHeading);
        const float off = WrapAngle(Heading, PathHeading);
        if (toBox * off >= 0.0f) {
            // Turned past the lane's direction: out of the box.
            Status &= ~kBikeLeavingBox;
            Roll = 0.0f;
            Lean.Value = 0.0f;
            Lean.Rate = 0.0f;
            return;
        }
        // The circle that brings the bike onto the lane's centre line; a
        // heading already along the lane (1 - cos a of 0) rides straight.
        const float bend = 1.0f - std::cos(off);
        float radius = bend > 0.0f ? std::fabs(SideOffset) / bend : 0.0f;
        if (off < 0.0f)
            radius = -radius;
        rear.TurnRadius = radius;
        const float lean = LeanForRadius(radius);
        const float k = std::min(std::fabs(off * kTwoOverPi), 1.0f);
        Roll = k * lean;
        Lean.Value = Roll;
        Lean.Rate = 0.0f;
    } else {
        const float from[2] = {rear.ContactPoint.x, rear.ContactPoint.z};
        const float to[2] = {box.x, box.z};
        rear.TurnRadius = ::TurnRadius(from, Heading, to);
        Roll = LeanForRadius(rear.TurnRadius);
        Lean.Value = Roll;
        Lean.Rate = 0.0f;
    }
}

// 16. A rear wheel rolling across its own heading: the speed along the
// heading is what is left; a large slide starts a fall state.
void Bike::RearSlide()
{
    WheelAssembly& rear = RearWheel;
    if (rear.Grip != 1.0f)
        return;
    const bool arcade = CurrentRaceConditions().Arcade();
    const float a = WrapAngle(rear.Heading, rear.Orientation.Heading);
    Speed *= std::cos(a);
    rear.Velocity.y -= std::fabs(std::sin(Roll) * std::sin(a)) * Speed;
    if (arcade && rear.Terrain == 0) {
        rear.Heading = rear.Orientation.Heading;
        Heading = rear.Orientation.Heading;
    }
    if (std::fabs(a) > kRearSlideFall && RiderState == -1) {
        Status |= kBikeRearSlideFall;
        if (!arcade && SideSlipDivisor != 0.0f)
            Lean.Rate = std::cos(Roll) * std::sin(a) * Speed * 0.7f / SideSlipDivisor;
        SetState(Roll > 0.0f ? 59 : 58, 0.0f);
    } else if (std::fabs(a) > kRearSlideMark) {
        SlipMarker = 0.5f;
    }
    rear.Orientation.Heading = rear.Heading;
}

// 22. The rear wheel spins up with the drive while it slides, else it rolls
// at the bike's speed.
void Bike::UpdateWheelSpeed(float dt, float drivePower)
{
    if (RearWheel.Grip < 1.0f) {
        const float inertia = RearWheel.Inertia > 0.0f ? RearWheel.Inertia : 1.0f;
        const float r = WheelSpeed * WheelSpeed + drivePower * dt / (2.0f * inertia);
        WheelSpeed = r < 0.0f ? 0.0f : std::sqrt(r);
    } else {
        WheelSpeed = Speed;
    }
}

// 24. While racing: the sound model's revs, engine heat and failure.
void Bike::UpdateEngine(float dt)
{
    RaceContext& race = CurrentRaceContext();
    RaceHooks* hooks = race.Hooks;
    const float topRevs = static_cast<float>(PowerTableSize) * 100.0f;
    const float u = topRevs < Rpm ? Speed : WheelSpeed;
    EngineSoundRpm = RevsAtSpeed(*this, u);

    if (Flags & kPlayerFlagEngineHeat) {
        const double t = (static_cast<double>(EngineSoundRpm) - RevLimit) * HeatSlope;
        const float target = t < 500.0
                                 ? static_cast<float>(HeatHot + (HeatCold - HeatHot) / (std::exp(t) + 1.0))
                                 : HeatHot;
        EngineTemp = ApproachValue(EngineTemp, target, dt, EngineTemp > target ? 20.0f : 3.0f);
        if (EngineTemp >= 0.9f) {
            Status |= kBikeEngineFailed;
            if (Index == race.ViewedRider && hooks)
                hooks->HudRaise(0x20000);
        }
    }

    if (Status & kBikeEngineFailed) {
        if (hooks)
            hooks->SmokeEmit(0, *this, 7, 1.0f);
        // A failed engine that has brought the bike to a stop pauses the
        // race with its notice.
        if (Speed < kEngineFailedStop && !(hooks && hooks->HudTest(8))) {
            if (InputManager* input = TheInputManager())
                input->m_bPaused = 1;
            if (hooks)
                hooks->HudRaise(8);
        }
    }

    if (EngineSoundRpm < 1000.0f)
        EngineSoundRpm = 1000.0f;
    else if (EngineSoundRpm > topRevs)
        EngineSoundRpm = topRevs;
}
