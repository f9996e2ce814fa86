#include <algorithm>
#include <cmath>

#include "sim/bike.h"
#include "sim/race_conditions.h"

namespace {

constexpr float kGravity = 9.80665f;
constexpr float kMaxLeanTarget = 0.97738439f;          // 56 degrees
constexpr double kMaxLeanTargetD = 0.9773844083150226;
constexpr float kTangentScale = 1.2277668f;            // the lean integrates as tan(k x lean)
constexpr double kTangentUnscale = 0.814486974564381;  // 1 / k
// tan(k x lean) has its pole at lean = pi / (2 k) = 1.2794 rad: the target
// and the lean are kept just short of it, so the integration never sees an
// infinite or sign-flipped tangent.
constexpr float kTangentLeanLimit = 1.27f;
// The lean's largest acceleration never falls to 0 or below (it would stop
// the lean, or make the integrator's manoeuvre undefined).
constexpr float kMinLeanLimit = 0.5f;
constexpr float kSlideStart = 0.4f;                    // s of sliding before the correction starts

} // namespace

float Bike::LeanStep(float target, float dt)
{
    const RaceConditions& conditions = CurrentRaceConditions();
    const bool arcade = conditions.SessionType == kSessionArcade;
    const float c = 1.0f - 0.3f * Posture;

    if ((Flags & kPlayerFlagLeanByGrip) || (Status & kBikeFinished)) {
        // No more lean than the front tyre's friction holds.
        const float mu = FrontWheel.Tyre.Grip * FrontWheel.Tyre.SurfaceC;
        const float limit = std::fabs(std::atan(mu));
        target = std::clamp(target, -limit, limit);
    }

    if (!IsHuman()) {
        Lean.ApproachTarget(target, dt);
    } else {
        const float lean = Lean.Value;
        const float r = RearWheel.TurnRadius;
        float a = kGravity * std::sin(lean);
        if (r != 0.0f)
            a -= Speed * Speed * std::cos(lean) / r;
        // The balance term weighs in from about 20 m/s.
        const float q = a / (1.0f + std::exp(-0.9f * (Speed - 20.0f)));

        bool sliding = false;
        if (!(Status & kBikeNoSlideFix)) {
            if (arcade)
                sliding = std::fabs(static_cast<double>(Heading) - RearWheel.Heading) > 0.4;
            else
                sliding = FrontWheel.Grip < 1.0f || RearWheel.Grip < 1.0f;
        }
        const float f = std::min(SlideTime - kSlideStart, 1.0f);
        if (sliding && RearWheel.Travel > 0.0f && RearWheel.Grip < 1.0f && SlideTime > kSlideStart)
            target += 0.6f * (1.0f - RearWheel.Grip) * q * c * f;
        if (FrontWheel.Travel > 0.0f && FrontWheel.Grip < 1.0f) {
            sliding = true;
            if (SlideTime > kSlideStart)
                target += 0.6f * (1.0f - FrontWheel.Grip) * q * c * f;
        }
        SlideTime = sliding ? SlideTime + dt : 0.0f;

        if (!arcade) {
            // A target already beyond the clamp before the bump term stays as it is.
            const bool inRange = std::fabs(static_cast<double>(target)) <= kMaxLeanTargetD;
            target += (FrontWheel.BumpSteer() + RearWheel.BumpSteer()) * (1.4f - 0.8f * Stability) * c;
            Lean.Limit = std::max(16.0f * (Stability + 1.0f) * (1.0f - Speed / 300.0f), kMinLeanLimit);
            if (inRange)
                target = std::clamp(target, -kMaxLeanTarget, kMaxLeanTarget);
        }

        // Integrate tan(k x lean): the rate and the limit act on the tangent.
        target = std::clamp(target, -kTangentLeanLimit, kTangentLeanLimit);
        const float value = std::clamp(Lean.Value, -kTangentLeanLimit, kTangentLeanLimit);
        Lean.Value = std::tan(kTangentScale * value);
        Lean.ApproachTarget(std::tan(kTangentScale * target), dt);
        Lean.Value = static_cast<float>(std::atan(Lean.Value) * kTangentUnscale);
    }

    TurnRadius = RearWheel.Travel > 0.0f ? LeanRadius(Lean.Value) : 0.0f;
    RearWheel.TurnRadius = TurnRadius;
    FrontWheel.TurnRadius = TurnRadius;
    Roll = Lean.Value;
    return Lean.Value;
}

float Bike::LeanRadius(float lean) const
{
    if (std::fabs(lean) < 0.001f)
        return 0.0f;
    const float v = std::max(Speed, 8.0f);
    const float radius = v * v / (kGravity * std::tan(lean));
    if (std::fabs(radius) < 5.0f)
        return radius > 0.0f ? 5.0f : -5.0f;
    return radius;
}

float Bike::LeanForRadius(float radius) const
{
    if (radius > 5.0f)
        return std::atan2(0.01f * Speed * Speed, 0.0980665f * std::fabs(radius));
    if (radius < -5.0f)
        return -std::atan2(0.01f * Speed * Speed, 0.0980665f * std::fabs(radius));
    return 0.0f;
}

void Bike::UpdateBodyAxes()
{
    // Each angle's cosine and sine once for all the rotations by it.
    const AngleCosSin pitch(Pitch);
    const AngleCosSin roll(Roll);
    const AngleCosSin heading(Heading);
    ForwardAxis = VecRotateX(Vec3(0.0f, 0.0f, 1.0f), pitch);
    UpAxis = VecRotateX(VecRotateZ(Vec3(0.0f, 1.0f, 0.0f), roll), pitch);

    // Sitting up moves the centre of mass back and up.
    const float p = Posture - 0.5f;
    MassOffset = ForwardAxis.Times(MassForward - 0.2f * p).Plus(UpAxis.Times(MassHeight + 0.1f * p));

    ForwardAxis = VecRotateY(ForwardAxis, heading);
    UpAxis = VecRotateY(UpAxis, heading);

    RearWheel.Orientation = WheelAttitude{Pitch, Heading, Roll};
    FrontWheel.Orientation = WheelAttitude{Pitch, RearWheel.Heading, Roll};
    FrontWheel.Heading = RearWheel.Heading;

    const float rest = (0.7f + 0.3f * roll.c) * RearWheel.LengthFactor * RearWheel.LengthScale +
                       RearWheel.LengthBase;
    RearWheel.RestLength = rest;
    FrontWheel.RestLength = rest;
}
