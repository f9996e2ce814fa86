#pragma once

#include <cstdint>

#include "platform/random.h"
#include "sim/vec3.h"

class Bike;
class Race;
class ml_modelinfo;
class model_lib;
class mtr_lib;
class scene_view;

// Smoke, dust, sparks and spray particles and skid marks. They exist only
// with the "Ambient" graphics flag; without it every operation does nothing.
// The particles' state lives in the race (SmokeSystem) and moves with or
// without the race's 3D data; their model instances come with the 3D data
// (SmokeCreateInstances) and follow the state whenever they exist.

// One kind of particle, as the list "SMOKE" of "Data\Smokes.dat" gives it
// (nine floats, 36 bytes). Kinds: 0 smoke, 1 grass, 2 sand, 3 sparks,
// 4 rain spray.
struct SmokeEmitter {
    float Interval = 0.0f;  // least time between two emissions of one bike, s
    float Lifetime = 0.0f;  // s
    float FadeStart = 0.0f; // age from which the particle fades, s
    float Drift = 0.0f;     // factor on the horizontal velocity
    float Rise = 0.0f;      // vertical acceleration, per s
    float Growth = 0.0f;    // size growth rate (<= -100: rate of value + 100)
    float BaseSize = 0.0f;
    float Spread = 0.0f;    // random horizontal spread; negative: attached to its point
    float Spin = 0.0f;      // turns per second
};
static_assert(sizeof(SmokeEmitter) == 36, "a smoke emitter record is nine floats");

inline constexpr int kSmokeKinds = 5;
inline constexpr int kParticlesPerKind = 50;
inline constexpr int kSkidMarks = 30;
inline constexpr int kSmokeBikes = 32;      // bikes whose last emission time is kept (by Bike::Index)
inline constexpr int kSmokeKindSpray = 4;   // emitted only while the bike's instance has kSprayInstanceFlag
inline constexpr std::uint32_t kSprayInstanceFlag = 0x10;

// The particle models by kind, and the skid-mark models (dry, and wet: rain
// or fog).
inline constexpr const char* kSmokeModels[kSmokeKinds] = {"Fumo", "Erba", "Sabbia", "Spark", "Pioggia"};
inline constexpr const char* kSkidModelDry = "Skid";
inline constexpr const char* kSkidModelWet = "Skidp";

// One particle.
struct SmokeParticle {
    std::uint8_t Active = 0;
    std::uint8_t New = 0;           // until its first update (it does not move in that one)
    float Age = 0.0f;               // s; a fast source starts its particles older
    ml_modelinfo* Instance = nullptr; // owned by the race's 3D data; null without it
    Vec3 Position;
    Vec3 Velocity;                  // y is the rise speed, starting at 0
    Vec3 BirthVelocity;             // the source's velocity plus the random spread (x, z)
    float BaseSize = 0.0f;
    float SpinValue = 0.0f;         // the random draw r, 0 without spread, -1 attached
    Bike* Source = nullptr;
    std::int32_t SourcePoint = 0;   // 0-3 body points, 4 front tyre, 5 rear tyre, 6 reference point, 7+ engine
    float Amount = 0.0f;
    // What the last update gave the instance: the size and the fade (0 until
    // the fade starts, 1 at the end of the particle's life).
    float Size = 0.0f;
    float Fade = 0.0f;
    // Born of a negative spread: it stays at its source point and only
    // rises. Kept apart from the spin value, whose -1 marks it too but which
    // a spread particle can also draw.
    std::uint8_t Fixed = 0;

    bool Attached() const { return Fixed != 0; }
};

// Where a skid mark was laid (its instance, when there is one, shows it
// there): its place, slope, heading and length.
struct SkidMark {
    bool Laid = false;
    Vec3 Position;
    float Pitch = 0.0f;
    float Heading = 0.0f;
    float Length = 0.0f;
};

// The race's particle table (five rings of fifty, one per kind), the ring of
// skid-mark instances and each bike's last emission time. Nothing here
// allocates: the instances are made once with the 3D data and reused.
//
// Random values come from the smoke's own stream (a platform::RandomStream
// the system owns, started again by Clear): the particles change what is
// seen only, so drawing them never shifts the race's own sequence and the
// "Ambient" setting never changes a race; and as the stream belongs to the
// race's smoke, the same race moment shows the same smoke whatever ran
// before it in the program (other races, the sounds' cosmetic draws).
class SmokeSystem {
public:
    // One emission of `kind` at a point of the bike, at session time `clock`
    // (s). `meshParam` goes to the instance's meshes (the track's first
    // priority value). Invalid kinds, points or bikes, and kinds whose
    // lifetime is not a positive number, emit nothing.
    void Emit(const SmokeEmitter (&emitters)[kSmokeKinds], int kind, Bike& bike, int point, float amount, float clock,
              float meshParam);
    // Ages, moves, grows, spins and fades every live particle over h seconds.
    void Update(const SmokeEmitter (&emitters)[kSmokeKinds], float h);
    // A skid mark from A (the wheel's previous point) to B (its current one),
    // laid at A on the ground at height `ground`; `height` is the ground
    // under B (the mark's slope).
    void LaySkidMark(const Vec3& a, const Vec3& b, float ground, float height);

    // Every particle dead and hidden, the rings, emission times and the
    // random stream back to their start (kept instances stay).
    void Clear();
    // Takes the instances: kParticlesPerKind per kind in kind order, and
    // kSkidMarks skid marks; null arrays leave the particles or skid marks
    // without instances. Every particle is cleared.
    void SetInstances(ml_modelinfo* const* particles, ml_modelinfo* const* skids);
    // Drops every instance pointer (their owner frees them) and clears.
    void DropInstances();

    const SmokeParticle& Particle(int kind, int i) const { return m_Particles[kind][i]; }
    int NextParticle(int kind) const { return m_NextParticle[kind]; }
    int NextSkid() const { return m_NextSkid; }
    ml_modelinfo* SkidInstance(int i) const { return m_Skids[i]; }
    const SkidMark& Skid(int i) const { return m_SkidMarks[i]; }
    float LastEmission(int bike) const { return m_LastEmission[bike]; }
    int ActiveCount() const;
    // The stream the spread and spin draw from.
    platform::RandomStream& Random() { return m_Random; }

    // The seed the stream starts from (at construction and at every Clear).
    static constexpr std::uint32_t kRandomSeed = 1;

private:
    platform::RandomStream m_Random{kRandomSeed};
    SmokeParticle m_Particles[kSmokeKinds][kParticlesPerKind];
    std::int32_t m_NextParticle[kSmokeKinds] = {};
    ml_modelinfo* m_Skids[kSkidMarks] = {};
    SkidMark m_SkidMarks[kSkidMarks];
    std::int32_t m_NextSkid = 0;
    float m_LastEmission[kSmokeBikes] = {};
};

// The race's operations: each does nothing unless the race's graphics flags
// carry "Ambient" (0x20).
// An emission, at the input's session clock.
void SmokeEmit(Race& race, int kind, Bike& bike, int point, float amount);
// Moves, grows, spins and fades the live particles once per simulation pass.
void SmokeUpdate(Race& race, float dt);
void LaySkidMark(Race& race, const Vec3& a, const Vec3& b, float ground, float height);

// With the race's 3D data: the 30 skid-mark instances of "Skid" (weather 0)
// or "Skidp" and 50 instances of each particle model, from `library` (the
// race's dynamic-shadow library) with `materials`, each added to `view` when
// there is one. Nothing without "Ambient". A model that gives no instance
// throws a GameError "get_model".
void SmokeCreateInstances(Race& race, model_lib& library, mtr_lib* materials, scene_view* view);
// Before the 3D data is freed: the instances taken off `view` and dropped.
void SmokeReleaseInstances(Race& race, scene_view* view);
