#include <algorithm>

#include "sim/bike.h"
#include "sim/float_conv.h"
#include "sim/riding_physics.h"

// Holds TargetSpeed: when the forces now would take the bike past the speed
// the step should end at, the throttle or the front brake is set to the
// force that reaches it, within the most the engine or the brake can give.
void Bike::LimitSpeed(float dt, float drag, float engineBraking, float maxBrake, float maxDrive)
{
    if (!(dt > 0.0f) || !(Mass > 0.0f))
        return;
    const float slope = RidingSlopeForce(*this);
    const float driving = FrontWheel.Force.z + RearWheel.Force.z + slope;
    const float accelNow = (driving - drag) / Mass;
    const float accelNeeded = (TargetSpeed - Speed) / dt;
    if (!(accelNow > accelNeeded))
        return;

    const float force = Mass * accelNeeded + drag - slope;
    if (force > 0.0f) {
        FrontWheel.Force.z = 0.0f;
        if (maxDrive > 0.0f) {
            const float t = std::min(force + engineBraking, maxDrive);
            // Engine braking from data could make t negative: the throttle
            // byte stays within 0..127 rather than wrapping.
            Controls.Throttle = static_cast<std::uint8_t>(TruncClamped(t / maxDrive * 127.0f, 0, 127));
            Controls.Brake = 0;
            RearWheel.Force.z = t - engineBraking;
        }
    } else {
        RearWheel.Force.z = 0.0f;
        if (maxBrake > 0.0f) {
            const float b = std::min(-force, maxBrake);
            Controls.Brake = static_cast<std::uint8_t>(TruncClamped(b / maxBrake * 127.0f, 0, 127));
            FrontWheel.Force.z = -b;
            Controls.Throttle = 0;
        }
    }
}
