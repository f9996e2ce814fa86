#include <algorithm>
#include <cmath>

#include "sim/bike.h"
#include "sim/bike_sounds.h"
#include "sim/race_conditions.h"
#include "sim/race_context.h"

namespace {

constexpr float kSprayMinSpeed = 5.0f;
constexpr float kSkidMinSpeed = 3.0f;
constexpr float kSurfaceMinSpeed = 2.0f;
constexpr float kSkidSmokeTime = 0.2f;

// Emitter points of the bike.
constexpr int kPointFront = 4;
constexpr int kPointRear = 5;

// When a wheel counts as skidding: enough of the weight on it, its grip
// gone, its suspension loaded. The arcade model is more forgiving.
struct SkidThresholds {
    float share;
    float grip;
    float travel;
};

bool Skids(const WheelAssembly& wheel, const SkidThresholds& t)
{
    return wheel.LoadShare > t.share && wheel.Grip < t.grip && wheel.Travel > t.travel;
}

bool RaisesDust(int terrain)
{
    return terrain >= 1 && terrain <= 4;
}

} // namespace

// Spray, tyre smoke, skid sounds and marks, the rolling sound off the road
// and its dust, from the wheels' state after the riding step.
void Bike::TyreEffects(float dt)
{
    const RaceConditions& conditions = CurrentRaceConditions();
    RaceHooks* hooks = CurrentRaceContext().Hooks;
    const bool arcade = conditions.Arcade();
    const bool rain = conditions.Rain();

    if (rain && Speed >= kSprayMinSpeed && RearWheel.Terrain == 0 && hooks)
        hooks->SmokeEmit(4, *this, kPointRear, Speed * 0.02f);

    // The smoke of a skid goes on for a moment after it: positive for the
    // rear tyre, negative for the front.
    const float timer = SkidSmokeTimer;
    if (timer > 0.0f)
        SkidSmokeTimer = std::max(timer - dt, 0.0f);
    else if (timer < 0.0f)
        SkidSmokeTimer = std::min(timer + dt, 0.0f);
    if (timer != 0.0f && RearWheel.Terrain == 0 && Speed >= kSprayMinSpeed && hooks)
        hooks->SmokeEmit(0, *this, timer > 0.0f ? kPointRear : kPointFront, 1.0f);

    const SkidThresholds rearSkid = arcade ? SkidThresholds{0.8f, 2.0f, 0.07f} : SkidThresholds{0.5f, 0.5f, 0.0f};
    const SkidThresholds frontSkid = arcade ? SkidThresholds{0.9f, 2.0f, 0.07f} : SkidThresholds{0.5f, 0.8f, 0.0f};
    if (Speed >= kSkidMinSpeed) {
        struct Skid {
            const WheelAssembly& wheel;
            const SkidThresholds& limits;
            const Vec3& before;
            float groundBefore;
            int point;
            float smoke;
        };
        const Skid skids[2] = {
            {RearWheel, rearSkid, StepStart.RearHub, StepStart.RearGround, kPointRear, kSkidSmokeTime},
            {FrontWheel, frontSkid, StepStart.FrontHub, StepStart.FrontGround, kPointFront, -kSkidSmokeTime},
        };
        for (const Skid& skid : skids) {
            if (!Skids(skid.wheel, skid.limits))
                continue;
            if (skid.wheel.Terrain == 0) {
                PlayBikeSound(kSoundSkid, Index, 11025.0f, std::min(Speed * 0.016666668f, 0.5f), 40, 5.0f, 100.0f,
                              Position);
                if (hooks) {
                    hooks->SmokeEmitLine(skid.before, skid.wheel.ContactPoint, skid.groundBefore,
                                         skid.wheel.GroundHeight);
                    hooks->SmokeEmit(0, *this, skid.point, 1.0f);
                }
                SkidSmokeTimer = skid.smoke;
            } else {
                PlayBikeSound(kSoundSkidVerge, Index, kKeepSoundValue, 0.5f, 40, 5.0f, 100.0f, Position);
            }
        }
    }

    if (Speed < kSurfaceMinSpeed)
        return;
    if (FrontWheel.Terrain != 0 && RearWheel.Terrain != 0) {
        // Rolling off the road: the pitch varies with the step length.
        const float f = std::trunc(10000.0f + 2500.0f * (dt - std::trunc(dt)));
        PlayBikeSound(kSoundSurface, Index, f, std::min(Speed * 0.005f, 1.0f), 41, 5.0f, 100.0f, Position);
    } else if (hooks) {
        hooks->StopVoice(kSoundSurface, Index);
    }
    // Dust, except from the verge that rain keeps down.
    if (rain && (FrontWheel.Terrain == 2 || RearWheel.Terrain == 2))
        return;
    const float k = std::clamp(Speed * 0.033333335f, 0.3f, 1.0f);
    if (!hooks)
        return;
    if (RaisesDust(RearWheel.Terrain))
        hooks->SmokeEmit(RearWheel.Terrain, *this, kPointRear, k);
    else if (RaisesDust(FrontWheel.Terrain))
        hooks->SmokeEmit(FrontWheel.Terrain, *this, kPointFront, k);
}
