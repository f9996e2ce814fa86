#include <algorithm>
#include <cmath>

#include "sim/bike.h"
#include "sim/float_conv.h"
#include "sim/riding_physics.h"

namespace {

constexpr float kStartHandicapTime = 25.0f; // s over which the grid's handicap fades
constexpr float kGridSpread = 26.0f;        // grid places over which the start power falls by 1/e
constexpr float kUpShiftRevs = 4000.0f;
constexpr float kUpShiftWindow = 0.4f;      // s after a shift before the gearbox shifts the other way
constexpr float kManualShiftTime = 0.2f;

} // namespace

float Bike::EnginePower(float rpm) const
{
    if (Status & kBikeEngineFailed)
        return -1.0f;
    if (!PowerTable || PowerTableSize <= 0)
        return (Flags & kPlayerFlagAutoGears) ? 0.0f : -1.0f;

    // One table entry per 100 rpm, no interpolation.
    const float entry = rpm * 0.01f;
    const std::int32_t i = TruncClamped(entry, 0, PowerTableSize);
    if (i > PowerTableSize - 1)
        return (Flags & kPlayerFlagAutoGears) ? 0.0f : -1.0f;
    float p = PowerTable[i] * 1000.0f;

    if (!IsHuman() && GridEntry) {
        // A computer rider's engine is weaker by its grid entry's divisor to
        // the fifth power; a divisor the data left at 0 or below changes
        // nothing rather than dividing by zero.
        const float k = GridEntry->PowerDivisor;
        const float k5 = k * k * k * k * k;
        if (k5 > 0.0f && std::isfinite(k5))
            p /= k5;
    }

    // The bikes further back on the grid start with less power; the
    // handicap fades out over the first 25 s of the race.
    if (RaceTime < kStartHandicapTime) {
        const float q = 0.04f * RaceTime;
        float m = q + (1.0f - q) * std::exp(-static_cast<float>(Index) / kGridSpread);
        if (IsHuman())
            m = 1.0f + 0.8f * (m - 1.0f);
        p *= m;
    }
    return p;
}

void Bike::ShiftGears(float dt)
{
    const int count = std::clamp(GearCount, 1, 6);
    int gear = ValidGear(*this);
    const bool automatic = (Flags & kPlayerFlagAutoGears) || (Status & kBikeFinished);

    if (!automatic) {
        const int request = Controls.ShiftRequest();
        if (request != 0 && ShiftTimer == 0.0f) {
            gear = std::clamp(gear + request, 0, count - 1);
            ShiftTimer = kManualShiftTime;
        }
    } else {
        // Up when the next gear's revs give more power (and the engine is
        // wound up); down when the lower gear's revs stay below the limit
        // and give more power.
        if (ShiftTimer <= kUpShiftWindow && gear < count - 1 && OverallRatio[gear] != 0.0f) {
            const float revs = OverallRatio[gear + 1] * Rpm / OverallRatio[gear];
            if (EnginePower(Rpm) < EnginePower(revs) && Rpm > kUpShiftRevs) {
                ++gear;
                ShiftTimer = 1.0f;
            }
        }
        if (ShiftTimer >= -kUpShiftWindow && gear > 0 && OverallRatio[gear] != 0.0f) {
            const float revs = OverallRatio[gear - 1] * Rpm / OverallRatio[gear];
            if (revs < RevLimit && EnginePower(Rpm) < EnginePower(revs)) {
                --gear;
                ShiftTimer = -1.0f;
            }
        }
    }
    Gear = static_cast<std::int8_t>(gear);

    if (ShiftTimer > 0.0f)
        ShiftTimer = std::max(ShiftTimer - dt, 0.0f);
    else if (ShiftTimer < 0.0f)
        ShiftTimer = std::min(ShiftTimer + dt, 0.0f);
}
