#include <algorithm>
#include <cmath>

#include "app/approach.h"
#include "input/input_manager.h"
#include "sim/bike.h"
#include "sim/float_conv.h"
#include "sim/race_conditions.h"
#include "sim/race_context.h"
#include "sim/track.h"

namespace {

constexpr float kControlScale = 0.007874016f;   // 1 / 127
constexpr float kMaxLeanTarget = 0.97738439f;    // 56 degrees
constexpr float kLeanTargetSlope = 0.06515896f;  // the target grows linearly up to 15 m/s
constexpr double kSteerCurveScale = 0.791999377094313; // 1 / atan(pi): full input stays 1
constexpr double kPiD = 3.14159265358979323846;
constexpr float kAimDistance = 50.0f;
constexpr float kAimLimit = 0.5f;

// Rider states in which the rider turns the bike round toward the path.
bool TurningRound(int state)
{
    return state == 23 || state == 27;
}

} // namespace

void Bike::ControlStep(float dt)
{
    if ((Status & kBikeParked) || dt == 0.0f || (Flags & kBikeNoControl))
        return;

    PrevPosition = Position;
    PrevPitch = Pitch;
    PrevHeading = Heading;
    PrevRoll = Roll;
    PrevSideOffset = SideOffset;

    if (Status & kBikeDown)
        return;

    UpdateBodyAxes();

    const bool finishedOrPits = (Status & (kBikeFinished | kBikeInPitLane)) != 0;
    const bool pitStop = (Status & kBikePitStop) != 0;
    if (TurningRound(RiderState)) {
        if ((!IsHuman() || finishedOrPits) && !pitStop)
            SteerTowardPath();
        // Either way the rewritten (or the rider's own) controls steer the bike below.
    } else if ((!IsHuman() || Controls.PlayerLeft() || finishedOrPits) && !pitStop) {
        ComputerControl(dt);
        return;
    }

    if (Controls.LookBehind() && RiderState == -1)
        SetState(4, 0.0f);

    // The path's reference speed a step ahead.
    if (Path && Path->MetreCount() > 0) {
        float d = Progress + Speed * dt;
        if (d > Path->Length)
            d -= Path->Length;
        const int metre = TruncClamped(d, 0, Path->MetreCount() - 1);
        TargetSpeed = Path->Metres[static_cast<std::size_t>(metre)].RefSpeed;
    }

    // Below 15 m/s the lean the steering can ask for shrinks with speed.
    const float k = Speed >= 15.0f ? kMaxLeanTarget : Speed * kLeanTargetSlope;

    // The input arrives cubed; the curve makes the centre steeper again while
    // keeping full input at 1. Braking blends toward the plain input.
    const float s = static_cast<float>(Controls.SteerInput) * kControlScale;
    const float u = static_cast<float>(kSteerCurveScale * std::atan(kPiD * s));
    float shaped = s;
    if (CurrentRaceConditions().SessionType != kSessionArcade) {
        const float w = static_cast<float>(Controls.Brake) * kControlScale * FrontWheel.SetupFactor;
        shaped = (1.0f - w) * u + w * s;
    }

    RideValue = ApproachValue(RideValue, shaped, static_cast<float>(std::exp(-0.017 * Speed)) * dt, 0.3f);

    const float target = shaped * k;
    const float lean = Lean.Value;
    const double gap = std::fabs(static_cast<double>(target) - lean) / kPiD;
    const float speed = std::max(Speed, 0.0f);
    float m = static_cast<float>(1.2 - 0.4 * std::fabs(shaped) - 4.0 * gap * gap * gap) -
              0.6f / (1.0f + 0.1f * speed);
    m = std::max(m, 0.1f);
    const float next = ApproachValue(lean, target, dt, (0.5f - 0.2f * Stability) * m);

    if (Index == CurrentRaceContext().ViewedRider) {
        if (InputManager* input = TheInputManager()) {
            const float force[2] = {5.0f * (Heading - RearWheel.Heading), 0.04f * FrontWheel.HubAccel};
            input->SetForce(force);
        }
    }

    LeanStep(next, dt);
}

bool Bike::ControlStepStandsAlone(float dt) const
{
    if ((Status & (kBikeParked | kBikeDown)) || dt == 0.0f || (Flags & kBikeNoControl))
        return true;
    // The same branches as ControlStep: the computer control (or the
    // rider's own controls) stand alone; the rider's own controls may look
    // behind (a rider state) or, on the viewed bike, set the force feedback.
    const bool finishedOrPits = (Status & (kBikeFinished | kBikeInPitLane)) != 0;
    const bool pitStop = (Status & kBikePitStop) != 0;
    if (!TurningRound(RiderState) && (!IsHuman() || Controls.PlayerLeft() || finishedOrPits) && !pitStop)
        return true;
    // (Turning round rewrites the steering, throttle and brake only.)
    return !(Controls.LookBehind() && RiderState == -1) && Index != CurrentRaceContext().ViewedRider;
}

// Rider states 23 and 27: aim at the centre-line point 50 m ahead at a
// walking throttle.
void Bike::SteerTowardPath()
{
    if (!Path)
        return;
    float d = Progress + kAimDistance;
    if (d > Path->Length)
        d -= Path->Length;
    Vec2 point;
    Path->DistanceToPoint(d, &point, nullptr);
    float e = Heading - std::atan2(point.x - Position.x, point.z - Position.z);
    e = std::fmod(e, 6.2831855f);
    if (e > 3.14159265f)
        e -= 6.2831855f;
    else if (e < -3.14159265f)
        e += 6.2831855f;
    e = std::clamp(e, -kAimLimit, kAimLimit);
    Controls.SteerInput = static_cast<std::int8_t>(TruncClamped(e * 127.0f, -127, 127));
    Controls.Throttle = 25;
    Controls.Brake = 0;
}
