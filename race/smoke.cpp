#include "race/smoke.h"

#include <bit>
#include <cmath>

#include "app/game_app.h"
#include "app/game_error.h"
#include "engine/model/ml_modelinfo.h"
#include "engine/model/model_lib.h"
#include "engine/scene/scene_view.h"
#include "input/input_manager.h"
#include "race/race.h"
#include "sim/bike.h"

namespace {

constexpr float kBirthScale = 0.01f;
constexpr float kBirthScaleLength = 0.017320508f; // |(0.01, 0.01, 0.01)|
constexpr float kTwoPi = 6.2831855f;
constexpr float kSkidLift = 0.02f;                // a mark lies this far above the ground
constexpr std::uint32_t kInstanceShown = 1;

// A random value in [-1, 1] of the smoke's stream.
float RandomUnit(platform::RandomStream& random)
{
    const int n = random.next();
    return -1.0f + 2.0f * static_cast<float>(n) * 3.051851e-5f;
}

float ScaleLength(const ml_modelinfo& instance)
{
    const vec4& s = instance.scale;
    return std::sqrt(s.x * s.x + s.y * s.y + s.z * s.z);
}

// New scale of an instance; its first node's bounding value follows the
// scale's length (`length` is the new one).
void Rescale(ml_modelinfo& instance, float x, float y, float z, float length)
{
    const float previous = ScaleLength(instance);
    if (instance.first_node && previous != 0.0f)
        instance.first_node->radius *= length / previous;
    instance.scale = {x, y, z, instance.scale.w};
    instance.flags &= ~model_transforms_valid;
}

// The bike's orientation for the instances that turn with it (the outside
// matrix of the bike's model instance; none without one).
const mat4* BikeMatrix(const Bike& bike)
{
    return bike.BikeInstance ? bike.BikeInstance->ext_matrix : nullptr;
}

// Where an emission point of the bike is and how fast it moves (the
// vertical speed is always 0). False for a point the bike does not have.
bool SourcePoint(const Bike& bike, int point, Vec3* position, Vec3* velocity)
{
    if (point < 0)
        return false;
    if (point < 4) {
        *position = bike.BodyPoint[point];
        *velocity = bike.BodyVelocity[point];
    } else if (point == 4 || point == 5) {
        // The tyre's contact: the wheel centre less the bike's up axis times
        // the wheel radius.
        const WheelAssembly& wheel = point == 4 ? bike.FrontWheel : bike.RearWheel;
        *position = wheel.ContactPoint.Minus(bike.UpAxis.Times(wheel.Radius));
        *velocity = wheel.Velocity;
    } else if (point == 6) {
        *position = bike.Position;
        *velocity = bike.CgVelocity;
    } else {
        *position = bike.CgPosition;
        *velocity = bike.RearWheel.Velocity;
    }
    velocity->y = 0.0f;
    return true;
}

// The horizontal place an attached particle follows: a body point, the
// front wheel centre, or the rear wheel centre.
Vec3 FollowPoint(const Bike& bike, int point)
{
    if (point >= 0 && point < 4)
        return bike.BodyPoint[point];
    return point == 4 ? bike.FrontWheel.ContactPoint : bike.RearWheel.ContactPoint;
}

void Hide(ml_modelinfo* instance)
{
    if (instance)
        instance->clear_flags(kInstanceShown);
}

bool SmokeOn(const Race& race)
{
    return (race.m_uGfxFlags & kGfxFlagAmbient) != 0;
}

} // namespace

void SmokeSystem::Emit(const SmokeEmitter (&emitters)[kSmokeKinds], int kind, Bike& bike, int point, float amount,
                       float clock, float meshParam)
{
    if (kind < 0 || kind >= kSmokeKinds || bike.Index < 0 || bike.Index >= kSmokeBikes)
        return;
    const SmokeEmitter& e = emitters[kind];
    // A particle that cannot live (no positive lifetime) would divide by
    // its lifetime: the kind is left out.
    if (!(e.Lifetime > 0.0f) || !std::isfinite(e.Lifetime))
        return;
    Vec3 position;
    Vec3 velocity;
    if (!SourcePoint(bike, point, &position, &velocity))
        return;
    if (kind == kSmokeKindSpray && !(bike.BikeInstance && (bike.BikeInstance->flags & kSprayInstanceFlag)))
        return;
    // One time per bike, shared by every kind. A time ahead of the clock is
    // left from an earlier run of the race (the clock starts again at a
    // restart) and does not hold the bike back.
    float& last = m_LastEmission[bike.Index];
    if (last != 0.0f && clock >= last && clock - last < e.Interval)
        return;
    last = clock;

    SmokeParticle& p = m_Particles[kind][m_NextParticle[kind]];
    p.Source = &bike;
    p.SourcePoint = point;
    p.Position = position;
    p.Velocity = velocity;
    p.BirthVelocity = velocity;
    if (p.Instance)
        p.Instance->set_ext_matrix(BikeMatrix(bike));
    if (e.Spread > 0.0f) {
        const float r1 = RandomUnit(m_Random);
        const float r2 = RandomUnit(m_Random);
        p.BirthVelocity.x += r1 * amount * e.Spread;
        p.BirthVelocity.z += r2 * amount * e.Spread;
        const float speed = point == 6 ? std::sqrt(velocity.x * velocity.x + velocity.z * velocity.z) : bike.Speed;
        p.Age = speed * 0.005f * e.Lifetime;
        p.SpinValue = r1;
        p.BaseSize = e.BaseSize + 0.01f * r1;
    } else {
        p.Age = 0.0f;
        p.SpinValue = e.Spread < 0.0f ? -1.0f : 0.0f;
        p.BaseSize = e.BaseSize;
    }
    p.Fixed = e.Spread < 0.0f ? 1 : 0;
    p.Size = kBirthScale;
    p.Fade = 0.0f;
    if (ml_modelinfo* instance = p.Instance) {
        Rescale(*instance, kBirthScale, kBirthScale, kBirthScale, kBirthScaleLength);
        instance->set_position(p.Position.x, p.Position.y, p.Position.z, instance->position.w);
        instance->set_flags(kInstanceShown);
        instance->set_mesh_param(meshParam);
    }
    p.Active = 1;
    p.New = 1;
    p.Amount = amount;
    m_NextParticle[kind] = (m_NextParticle[kind] + 1) % kParticlesPerKind;
}

void SmokeSystem::Update(const SmokeEmitter (&emitters)[kSmokeKinds], float h)
{
    for (int kind = 0; kind < kSmokeKinds; ++kind) {
        const SmokeEmitter& e = emitters[kind];
        for (SmokeParticle& p : m_Particles[kind]) {
            if (!p.Active)
                continue;
            p.Age += h;
            if (!(p.Age <= e.Lifetime) || !(e.Lifetime > 0.0f)) {
                p.Active = 0;
                Hide(p.Instance);
                continue;
            }
            const float t = p.Age / e.Lifetime;
            p.Velocity.x = (1.0f - t) * p.BirthVelocity.x * e.Drift;
            p.Velocity.z = (1.0f - t) * p.BirthVelocity.z * e.Drift;
            if (p.New) {
                p.New = 0;
            } else {
                p.Position.x += h * p.Velocity.x;
                p.Position.y += h * p.Velocity.y;
                p.Position.z += h * p.Velocity.z;
            }
            const bool attached = p.Attached();
            if (!attached)
                p.Velocity.y += (std::fabs(p.SpinValue) * e.Rise + e.Rise) * h * p.Amount;

            // Size: a growth of -100 or less is a rate of growth + 100 (it
            // may shrink); between -100 and 0 the particle grows twice as
            // wide as it is high.
            const float rate = e.Growth > -100.0f ? std::fabs(e.Growth) : e.Growth + 100.0f;
            float s = t * rate * p.Amount + p.BaseSize;
            if (s == 0.0f)
                s = 0.001f;
            p.Size = s;
            const bool wide = e.Growth < 0.0f && e.Growth > -100.0f;
            ml_modelinfo* instance = p.Instance;
            if (instance) {
                if (wide)
                    Rescale(*instance, 2.0f * s, s, s, std::sqrt(6.0f * s * s));
                else
                    Rescale(*instance, s, s, s, std::sqrt(3.0f * s * s));
            }

            if (attached && p.Source) {
                if (instance)
                    instance->set_ext_matrix(BikeMatrix(*p.Source));
                p.Velocity.y += e.Rise * h;
                const Vec3 follow = FollowPoint(*p.Source, p.SourcePoint);
                p.Position.x = follow.x;
                p.Position.z = follow.z;
            }
            if (instance)
                instance->set_position(p.Position.x, p.Position.y, p.Position.z, instance->position.w);

            // The spin takes its random share whether or not there is an
            // instance to turn, so the stream's sequence does not depend on
            // the 3D data.
            if (e.Spin != 0.0f) {
                const int n = m_Random.next();
                const float u = static_cast<float>(n & 255) / 256.0f;
                if (instance && instance->first_node)
                    instance->first_node->angles.z += (e.Spin - 2.0f * u * e.Spin) * h * kTwoPi;
            }

            // Fade. A fade that starts at or after the end of the life has
            // no span to run over: the particle shows unfaded until then and
            // is gone after it.
            const float span = e.Lifetime - e.FadeStart;
            float f = 0.0f;
            if (p.Age >= e.FadeStart)
                f = span > 0.0f ? (p.Age - e.FadeStart) / span : 1.0f;
            p.Fade = f;
            // The material set word carries the fade as a float (the texture
            // phase that picks the fading frames).
            if (instance)
                instance->set_material_set(std::bit_cast<std::uint32_t>(f));
        }
    }
}

void SmokeSystem::LaySkidMark(const Vec3& a, const Vec3& b, float ground, float height)
{
    const float dx = a.x - b.x;
    const float dy = a.y - b.y;
    const float dz = a.z - b.z;
    const float length = std::sqrt(dx * dx + dy * dy + dz * dz);
    // Coinciding points give no mark, nor do points that are not numbers.
    if (!(length > 0.0f) || !std::isfinite(length) || !std::isfinite(ground) || !std::isfinite(height))
        return;
    SkidMark& mark = m_SkidMarks[m_NextSkid];
    mark.Laid = true;
    mark.Position = Vec3(a.x, ground + kSkidLift, a.z);
    mark.Pitch = std::atan2(height - ground, std::sqrt(dx * dx + dz * dz));
    mark.Heading = std::atan2(dx, dz);
    mark.Length = length;
    if (ml_modelinfo* instance = m_Skids[m_NextSkid]) {
        instance->set_ext_matrix(nullptr);
        instance->angles = {mark.Pitch, mark.Heading, 0.0f, instance->angles.w};
        Rescale(*instance, 1.0f, 1.0f, length, std::sqrt(length * length + 2.0f));
        instance->set_position(mark.Position.x, mark.Position.y, mark.Position.z, instance->position.w);
        instance->set_flags(kInstanceShown);
    }
    m_NextSkid = (m_NextSkid + 1) % kSkidMarks;
}

void SmokeSystem::Clear()
{
    for (auto& ring : m_Particles)
        for (SmokeParticle& p : ring) {
            ml_modelinfo* instance = p.Instance;
            Hide(instance);
            p = SmokeParticle{};
            p.Instance = instance;
        }
    for (int i = 0; i < kSkidMarks; ++i) {
        Hide(m_Skids[i]);
        m_SkidMarks[i] = SkidMark{};
    }
    for (auto& next : m_NextParticle)
        next = 0;
    m_NextSkid = 0;
    for (float& t : m_LastEmission)
        t = 0.0f;
    m_Random.seed(kRandomSeed);
}

void SmokeSystem::SetInstances(ml_modelinfo* const* particles, ml_modelinfo* const* skids)
{
    for (int kind = 0; kind < kSmokeKinds; ++kind)
        for (int i = 0; i < kParticlesPerKind; ++i)
            m_Particles[kind][i].Instance = particles ? particles[kind * kParticlesPerKind + i] : nullptr;
    for (int i = 0; i < kSkidMarks; ++i)
        m_Skids[i] = skids ? skids[i] : nullptr;
    Clear();
}

void SmokeSystem::DropInstances()
{
    for (auto& ring : m_Particles)
        for (SmokeParticle& p : ring)
            p.Instance = nullptr;
    for (ml_modelinfo*& skid : m_Skids)
        skid = nullptr;
    Clear();
}

int SmokeSystem::ActiveCount() const
{
    int n = 0;
    for (const auto& ring : m_Particles)
        for (const SmokeParticle& p : ring)
            n += p.Active;
    return n;
}

// ---- The race's operations ----

void SmokeEmit(Race& race, int kind, Bike& bike, int point, float amount)
{
    if (!SmokeOn(race))
        return;
    const InputManager* input = TheInputManager();
    const float clock = input ? input->m_fRaceClock : 0.0f;
    race.m_Smoke.Emit(race.m_Smokes, kind, bike, point, amount, clock, race.m_TrackPriority[0]);
}

void SmokeUpdate(Race& race, float dt)
{
    if (SmokeOn(race))
        race.m_Smoke.Update(race.m_Smokes, dt);
}

void LaySkidMark(Race& race, const Vec3& a, const Vec3& b, float ground, float height)
{
    if (SmokeOn(race))
        race.m_Smoke.LaySkidMark(a, b, ground, height);
}

void SmokeCreateInstances(Race& race, model_lib& library, mtr_lib* materials, scene_view* view)
{
    if (!SmokeOn(race))
        return;
    ml_modelinfo* particles[kSmokeKinds * kParticlesPerKind] = {};
    ml_modelinfo* skids[kSkidMarks] = {};
    const auto make = [&](const char* name) {
        ml_modelinfo* instance = library.create_instance(name, materials, 0);
        if (!instance)
            ThrowGameError("get_model"); // those made so far stay with the library, which frees them
        if (view)
            view->add_instance(instance);
        instance->clear_flags(kInstanceShown);
        return instance;
    };
    const char* skid = race.m_nWeather == 0 ? kSkidModelDry : kSkidModelWet;
    try {
        for (ml_modelinfo*& instance : skids)
            instance = make(skid);
        for (int kind = 0; kind < kSmokeKinds; ++kind)
            for (int i = 0; i < kParticlesPerKind; ++i)
                particles[kind * kParticlesPerKind + i] = make(kSmokeModels[kind]);
    } catch (...) {
        if (view) {
            for (ml_modelinfo* instance : skids)
                if (instance)
                    view->remove_instance(instance);
            for (ml_modelinfo* instance : particles)
                if (instance)
                    view->remove_instance(instance);
        }
        race.m_Smoke.DropInstances();
        throw;
    }
    race.m_Smoke.SetInstances(particles, skids);
}

void SmokeReleaseInstances(Race& race, scene_view* view)
{
    if (view) {
        for (int kind = 0; kind < kSmokeKinds; ++kind)
            for (int i = 0; i < kParticlesPerKind; ++i)
                if (ml_modelinfo* instance = race.m_Smoke.Particle(kind, i).Instance)
                    view->remove_instance(instance);
        for (int i = 0; i < kSkidMarks; ++i)
            if (ml_modelinfo* instance = race.m_Smoke.SkidInstance(i))
                view->remove_instance(instance);
    }
    race.m_Smoke.DropInstances();
}
