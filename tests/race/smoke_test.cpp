// Smoke particles and skid marks: the particle rings on their own (with and
// without model instances), and the race's operations behind the
// simulation's hooks.

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <memory>
#include <vector>

#include "app/game_error.h"
#include "engine/model/model_lib.h"
#include "platform/random.h"
#include "race/smoke.h"
#include "sim/bike.h"
#include "tests/engine/model/model_builder.h"
#include "tests/race/race_fixture.h"

namespace {

// Emitter tables of the tests: kind 0 plain (no spread, no spin), kind 1
// spread and spin, kind 2 wide growth, kind 3 shrinking, kind 4 attached.
struct Emitters {
    SmokeEmitter e[kSmokeKinds];
    Emitters()
    {
        e[0] = {0.5f, 1.0f, 0.5f, 1.0f, 1.0f, 2.0f, 0.1f, 0.0f, 0.0f};
        e[1] = {0.0f, 2.0f, 1.0f, 0.5f, 2.0f, 1.0f, 0.2f, 3.0f, 1.5f};
        e[2] = {0.0f, 1.0f, 0.0f, 1.0f, 0.0f, -2.0f, 0.1f, 0.0f, 0.0f};
        e[3] = {0.0f, 1.0f, 0.0f, 1.0f, 0.0f, -101.0f, 0.5f, 0.0f, 0.0f};
        e[4] = {0.0f, 1.0f, 0.5f, 1.0f, 4.0f, 0.0f, 0.1f, -1.0f, 0.0f};
    }
};

// A bike standing still with its wheels and body points in known places.
void PlaceBike(Bike& b, int index)
{
    b.Index = index;
    b.Speed = 20.0f;
    b.UpAxis = Vec3(0.0f, 1.0f, 0.0f);
    b.FrontWheel.Radius = 0.3f;
    b.RearWheel.Radius = 0.32f;
    b.FrontWheel.ContactPoint = Vec3(0.0f, 0.3f, 1.4f);
    b.RearWheel.ContactPoint = Vec3(0.0f, 0.32f, 0.0f);
    b.FrontWheel.Velocity = Vec3(0.0f, 0.5f, 20.0f);
    b.RearWheel.Velocity = Vec3(1.0f, -0.5f, 19.0f);
    b.Position = Vec3(0.0f, 0.0f, 0.2f);
    b.CgVelocity = Vec3(3.0f, 2.0f, 4.0f);
    b.CgPosition = Vec3(0.0f, 0.6f, 0.7f);
    for (int i = 0; i < 4; ++i) {
        b.BodyPoint[i] = Vec3(static_cast<float>(i), 0.1f, 2.0f);
        b.BodyVelocity[i] = Vec3(0.0f, -1.0f, static_cast<float>(i));
    }
}

// A one-node model of the given name whose node has a bounding value.
ml_modelinfo* OneNodeModel(const char* name, float radius)
{
    model_test::model_builder b(name);
    b.add("ROOT", node_empty, -1)->radius = radius;
    return b.finish();
}

class SmokeSystemTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        bike_ = std::make_unique<Bike>();
        PlaceBike(*bike_, 3);
    }

    // Instances for every particle and skid mark (node radius 1.0).
    void GiveInstances()
    {
        for (int i = 0; i < kSmokeKinds * kParticlesPerKind; ++i)
            particles_.emplace_back(OneNodeModel("P", 1.0f));
        for (int i = 0; i < kSkidMarks; ++i)
            skids_.emplace_back(OneNodeModel("S", 1.0f));
        std::vector<ml_modelinfo*> p;
        std::vector<ml_modelinfo*> s;
        for (auto& m : particles_)
            p.push_back(m.get());
        for (auto& m : skids_)
            s.push_back(m.get());
        smoke_.SetInstances(p.data(), s.data());
    }

    void Emit(int kind, int point, float clock, float amount = 1.0f)
    {
        smoke_.Emit(em_.e, kind, *bike_, point, amount, clock, 7.0f);
    }

    Emitters em_;
    SmokeSystem smoke_;
    std::unique_ptr<Bike> bike_;
    std::vector<std::unique_ptr<ml_modelinfo>> particles_;
    std::vector<std::unique_ptr<ml_modelinfo>> skids_;
};

TEST_F(SmokeSystemTest, EmissionWaitsForTheKindsIntervalSinceTheBikesLastEmission)
{
    em_.e[1].Interval = 0.25f;
    struct Case {
        int kind;
        float clock;
        bool emits;
    } cases[] = {
        {0, 1.0f, true},   // first emission
        {1, 1.0f, false},  // a second kind in the same frame: its interval has not passed
        {0, 1.25f, false}, // 0.25 < 0.5
        {1, 1.25f, true},  // 0.25 since the bike's last emission (of any kind)
        {0, 1.5f, false},
        {0, 1.75f, true},  // exactly the interval
        {0, 0.5f, true},   // the clock started again (a restart): a time ahead of it does not hold
    };
    int active = 0;
    float last = 0.0f;
    for (const Case& c : cases) {
        Emit(c.kind, 5, c.clock);
        active += c.emits;
        if (c.emits)
            last = c.clock;
        EXPECT_EQ(smoke_.ActiveCount(), active) << "kind " << c.kind << " at " << c.clock;
        EXPECT_EQ(smoke_.LastEmission(3), last);
    }
    // Another bike has its own time.
    Bike other;
    PlaceBike(other, 4);
    const int before = smoke_.ActiveCount();
    smoke_.Emit(em_.e, 0, other, 5, 1.0f, 0.5f, 0.0f);
    EXPECT_EQ(smoke_.ActiveCount(), before + 1);
}

TEST_F(SmokeSystemTest, SprayNeedsTheBikeInstancesFlagAndBadEmissionsAreIgnored)
{
    Emit(4, 5, 1.0f);
    EXPECT_EQ(smoke_.ActiveCount(), 0) << "no bike instance";
    EXPECT_EQ(smoke_.LastEmission(3), 0.0f) << "a refused spray takes no time";
    std::unique_ptr<ml_modelinfo> bikeModel(OneNodeModel("BIKE", 1.0f));
    bike_->BikeInstance = bikeModel.get();
    Emit(4, 5, 1.0f);
    EXPECT_EQ(smoke_.ActiveCount(), 0) << "instance without flag 0x10";
    bikeModel->flags |= kSprayInstanceFlag;
    Emit(4, 5, 1.0f);
    EXPECT_EQ(smoke_.ActiveCount(), 1);

    // Kinds and points out of range, a bike index beyond the table, a kind
    // that cannot live: nothing.
    em_.e[2].Lifetime = 0.0f;
    em_.e[3].Lifetime = std::nanf("");
    Emit(-1, 5, 5.0f);
    Emit(5, 5, 6.0f);
    Emit(0, -1, 7.0f);
    Emit(2, 5, 8.0f);
    Emit(3, 5, 9.0f);
    bike_->Index = kSmokeBikes;
    Emit(0, 5, 10.0f);
    EXPECT_EQ(smoke_.ActiveCount(), 1);
    bike_->BikeInstance = nullptr;
}

TEST_F(SmokeSystemTest, SourcePointsGivePlaceAndVelocityWithoutVerticalSpeed)
{
    struct Case {
        int point;
        Vec3 position;
        Vec3 velocity;
    } cases[] = {
        {2, {2.0f, 0.1f, 2.0f}, {0.0f, 0.0f, 2.0f}},     // a body point
        {4, {0.0f, 0.0f, 1.4f}, {0.0f, 0.0f, 20.0f}},    // front tyre contact: centre less radius
        {5, {0.0f, 0.0f, 0.0f}, {1.0f, 0.0f, 19.0f}},    // rear tyre contact
        {6, {0.0f, 0.0f, 0.2f}, {3.0f, 0.0f, 4.0f}},     // reference point, horizontal velocity
        {7, {0.0f, 0.6f, 0.7f}, {1.0f, 0.0f, 19.0f}},    // further point, rear wheel's velocity
    };
    for (const Case& c : cases) {
        Emit(0, c.point, 100.0f + static_cast<float>(c.point));
        const SmokeParticle& p = smoke_.Particle(0, smoke_.NextParticle(0) - 1);
        EXPECT_EQ(p.SourcePoint, c.point);
        EXPECT_NEAR(p.Position.x, c.position.x, 1e-6f) << c.point;
        EXPECT_NEAR(p.Position.y, c.position.y, 1e-6f) << c.point;
        EXPECT_NEAR(p.Position.z, c.position.z, 1e-6f) << c.point;
        EXPECT_EQ(p.Velocity.x, c.velocity.x) << c.point;
        EXPECT_EQ(p.Velocity.y, 0.0f) << c.point;
        EXPECT_EQ(p.Velocity.z, c.velocity.z) << c.point;
        EXPECT_EQ(p.Age, 0.0f) << "no spread: born at age 0";
        EXPECT_EQ(p.SpinValue, 0.0f);
        EXPECT_EQ(p.BaseSize, 0.1f);
    }
}

TEST_F(SmokeSystemTest, PlainParticleAgesGrowsFadesAndDiesOnTime)
{
    GiveInstances();
    Emit(0, 5, 1.0f);
    const SmokeParticle& p = smoke_.Particle(0, 0);
    ml_modelinfo* inst = p.Instance;
    ASSERT_NE(inst, nullptr);
    EXPECT_TRUE(inst->flags & 1);
    EXPECT_EQ(inst->scale.x, 0.01f);
    EXPECT_NEAR(inst->first_node->radius, 0.01f, 1e-7f) << "bounding value follows the scale (1,1,1) -> 0.01";
    EXPECT_EQ(p.New, 1);
    const Vec3 born = p.Position;

    // Lifetime 1.0, fade from 0.5, growth 2, base 0.1, rise 1 (no spread).
    struct Step {
        float age;
        float size;
        float fade;
        bool alive;
    } steps[] = {
        {0.25f, 0.6f, 0.0f, true}, {0.5f, 1.1f, 0.0f, true}, {0.75f, 1.6f, 0.5f, true},
        {1.0f, 2.1f, 1.0f, true},  {1.25f, 0.0f, 0.0f, false},
    };
    for (const Step& s : steps) {
        smoke_.Update(em_.e, 0.25f);
        ASSERT_EQ(p.Active != 0, s.alive) << s.age;
        EXPECT_EQ(p.Age, s.age);
        if (!s.alive) {
            EXPECT_FALSE(inst->flags & 1) << "hidden when it dies";
            break;
        }
        EXPECT_NEAR(p.Size, s.size, 1e-6f) << s.age;
        EXPECT_NEAR(p.Fade, s.fade, 1e-6f) << s.age;
        EXPECT_NEAR(inst->scale.x, s.size, 1e-6f);
        EXPECT_NEAR(inst->scale.z, s.size, 1e-6f);
        EXPECT_NEAR(inst->first_node->radius, s.size, 1e-5f) << "radius stays |scale| / sqrt 3";
        EXPECT_EQ(inst->first_node->angles.z, 0.0f) << "no spin";
        EXPECT_EQ(inst->position.x, p.Position.x);
        EXPECT_EQ(inst->position.y, p.Position.y);
    }
    // The first update only took the new mark; the rise (rise x h x amount,
    // doubled by |spin| + 1 with spin 0: just rise) moves it from the second.
    EXPECT_FLOAT_EQ(smoke_.Particle(0, 0).Position.x, born.x + 0.25f * (1.0f - 0.5f) * 1.0f * 1.0f +
                                                    0.25f * (1.0f - 0.75f) * 1.0f + 0.25f * (1.0f - 1.0f) * 1.0f);
}

TEST_F(SmokeSystemTest, GrowthModesGiveTheirShape)
{
    GiveInstances();
    struct Case {
        int kind;
        float size;   // after 0.5 s of a 1 s life
        float xScale; // instance x scale over size
    } cases[] = {
        {0, 0.5f * 2.0f + 0.1f, 1.0f},     // growth 2
        {2, 0.5f * 2.0f + 0.1f, 2.0f},     // growth -2: rate 2, twice as wide
        {3, 0.5f * -1.0f + 0.5f, 1.0f},    // growth -101: rate -1; reaches 0, which becomes 0.001
    };
    for (const Case& c : cases) {
        smoke_.Emit(em_.e, c.kind, *bike_, 5, 1.0f, 50.0f + static_cast<float>(c.kind), 0.0f);
        const SmokeParticle& p = smoke_.Particle(c.kind, 0);
        smoke_.Update(em_.e, 0.25f);
        smoke_.Update(em_.e, 0.25f);
        const float expected = c.size == 0.0f ? 0.001f : c.size;
        EXPECT_NEAR(p.Size, expected, 1e-6f) << c.kind;
        EXPECT_NEAR(p.Instance->scale.x, c.xScale * expected, 1e-6f) << c.kind;
        EXPECT_NEAR(p.Instance->scale.y, expected, 1e-6f) << c.kind;
        const float len = std::sqrt(c.xScale * c.xScale + 2.0f) * expected;
        EXPECT_NEAR(p.Instance->first_node->radius, len / std::sqrt(3.0f), 1e-5f) << c.kind;
        smoke_.Clear();
    }
}

TEST_F(SmokeSystemTest, SpreadDrawsFromTheSmokesOwnStreamAndMovesWithDriftAndRise)
{
    GiveInstances();
    const std::uint32_t simulation = platform::random_stream(platform::RandomStreamId::Simulation).state();
    const std::uint32_t cosmetic = platform::random_stream(platform::RandomStreamId::Cosmetic).state();
    // Cleared, the smoke's stream starts from its seed again, whatever it
    // drew before (another race in the same program).
    smoke_.Random().seed(777);
    smoke_.Random().next();
    smoke_.Clear();
    platform::RandomStream mirror(SmokeSystem::kRandomSeed);
    const float r1 = -1.0f + 2.0f * static_cast<float>(mirror.next()) * 3.051851e-5f;
    const float r2 = -1.0f + 2.0f * static_cast<float>(mirror.next()) * 3.051851e-5f;
    Emit(1, 5, 1.0f, 0.5f);
    const SmokeParticle& p = smoke_.Particle(1, 0);
    EXPECT_EQ(platform::random_stream(platform::RandomStreamId::Simulation).state(), simulation);
    EXPECT_EQ(p.BirthVelocity.x, 1.0f + r1 * 0.5f * 3.0f);
    EXPECT_EQ(p.BirthVelocity.z, 19.0f + r2 * 0.5f * 3.0f);
    EXPECT_EQ(p.Age, 20.0f * 0.005f * 2.0f) << "a fast source starts its particle older";
    EXPECT_EQ(p.SpinValue, r1);
    EXPECT_EQ(p.BaseSize, 0.2f + 0.01f * r1);

    // Each update spins the instance by (spin - 2 u spin) h 2 pi, u from the
    // same stream.
    const float h = 0.1f;
    float angle = 0.0f;
    Vec3 pos = p.Position;
    float vy = 0.0f;
    for (int i = 0; i < 3; ++i) {
        const float age = p.Age + h;
        const float t = age / 2.0f;
        const float vx = (1.0f - t) * p.BirthVelocity.x * 0.5f;
        const float vz = (1.0f - t) * p.BirthVelocity.z * 0.5f;
        if (i > 0) {
            pos.x += h * vx;
            pos.y += h * vy;
            pos.z += h * vz;
        }
        vy += (std::fabs(r1) * 2.0f + 2.0f) * h * 0.5f;
        const float u = static_cast<float>(mirror.next() & 255) / 256.0f;
        angle += (1.5f - 2.0f * u * 1.5f) * h * 6.2831855f;
        smoke_.Update(em_.e, h);
        EXPECT_EQ(p.Position.x, pos.x) << i;
        EXPECT_EQ(p.Position.y, pos.y) << i;
        EXPECT_EQ(p.Position.z, pos.z) << i;
        EXPECT_EQ(p.Velocity.y, vy) << i;
        EXPECT_EQ(p.Instance->first_node->angles.z, angle) << i;
    }
    EXPECT_EQ(smoke_.Random().state(), mirror.state());
    EXPECT_EQ(platform::random_stream(platform::RandomStreamId::Cosmetic).state(), cosmetic)
        << "the sounds' cosmetic stream is left alone";
}

TEST_F(SmokeSystemTest, AttachedParticleRisesFromItsPointWhileFollowingIt)
{
    GiveInstances();
    std::unique_ptr<ml_modelinfo> bikeModel(OneNodeModel("BIKE", 1.0f));
    bikeModel->flags |= kSprayInstanceFlag;
    mat4 bikeMatrix{};
    bikeModel->ext_matrix = &bikeMatrix;
    bike_->BikeInstance = bikeModel.get();
    Emit(4, 5, 1.0f); // kind 4 is attached in this table (spread -1)
    const SmokeParticle& p = smoke_.Particle(4, 0);
    EXPECT_TRUE(p.Attached());
    EXPECT_EQ(p.Instance->ext_matrix, &bikeMatrix);
    float y = p.Position.y;
    float vy = 0.0f;
    for (int i = 0; i < 4; ++i) {
        bike_->RearWheel.ContactPoint.x += 0.5f;
        bike_->RearWheel.ContactPoint.z += 2.0f;
        smoke_.Update(em_.e, 0.1f);
        if (i > 0)
            y += 0.1f * vy;
        vy += 4.0f * 0.1f;
        EXPECT_EQ(p.Position.x, bike_->RearWheel.ContactPoint.x) << "follows the rear wheel centre";
        EXPECT_EQ(p.Position.z, bike_->RearWheel.ContactPoint.z);
        EXPECT_EQ(p.Position.y, y);
        EXPECT_EQ(p.Velocity.y, vy) << "rises by rise x h, not by the amount";
    }
    bike_->BikeInstance = nullptr;
}

// A spreading particle that draws exactly -1 keeps moving with its spread:
// only a negative spread attaches.
TEST_F(SmokeSystemTest, ASpreadParticleDrawingMinusOneIsNotAttached)
{
    smoke_.Random().set_state(2708534849u); // next() gives 0
    Emit(1, 5, 1.0f);
    const SmokeParticle& p = smoke_.Particle(1, 0);
    EXPECT_EQ(p.SpinValue, -1.0f);
    EXPECT_FALSE(p.Attached());
    smoke_.Update(em_.e, 0.1f);
    smoke_.Update(em_.e, 0.1f);
    EXPECT_GT(p.Velocity.y, 0.0f) << "rises with its amount";
    EXPECT_NE(p.Position.z, bike_->RearWheel.ContactPoint.z) << "drifts away from its point";
}

TEST_F(SmokeSystemTest, A51stParticleReplacesTheOldestAliveOrNot)
{
    em_.e[0].Interval = 0.0f;
    for (int i = 0; i < kParticlesPerKind; ++i) {
        bike_->Speed = static_cast<float>(i);
        Emit(0, i % 2 == 0 ? 4 : 5, 1.0f + static_cast<float>(i));
    }
    EXPECT_EQ(smoke_.ActiveCount(), kParticlesPerKind);
    EXPECT_EQ(smoke_.NextParticle(0), 0) << "the ring wrapped";
    EXPECT_EQ(smoke_.Particle(0, 0).SourcePoint, 4);
    Emit(0, 6, 100.0f);
    EXPECT_EQ(smoke_.ActiveCount(), kParticlesPerKind);
    EXPECT_EQ(smoke_.Particle(0, 0).SourcePoint, 6) << "the oldest, still alive, is taken";
    EXPECT_EQ(smoke_.Particle(0, 0).New, 1);
    EXPECT_EQ(smoke_.NextParticle(0), 1);
    EXPECT_EQ(smoke_.NextParticle(1), 0) << "rings are per kind";
}

TEST_F(SmokeSystemTest, SkidMarksAreLaidAlongTheWheelsPathInARingOf30)
{
    GiveInstances();
    // A wheel sliding along a curve, one mark per step between its previous
    // and current point; the ground rises along it.
    std::vector<Vec3> path;
    for (int i = 0; i <= kSkidMarks + 1; ++i) {
        const float a = 0.05f * static_cast<float>(i);
        path.push_back(Vec3(10.0f * std::sin(a), 0.3f, 10.0f * std::cos(a)));
    }
    for (int i = 0; i + 1 < static_cast<int>(path.size()); ++i) {
        const Vec3& a = path[i];
        const Vec3& b = path[i + 1];
        const float ground = 0.01f * static_cast<float>(i);
        smoke_.LaySkidMark(a, b, ground, ground + 0.01f);
        const SkidMark& m = smoke_.Skid(i % kSkidMarks);
        const float dx = a.x - b.x;
        const float dz = a.z - b.z;
        ASSERT_TRUE(m.Laid);
        EXPECT_EQ(m.Position.x, a.x);
        EXPECT_EQ(m.Position.y, ground + 0.02f);
        EXPECT_EQ(m.Position.z, a.z);
        EXPECT_EQ(m.Heading, std::atan2(dx, dz));
        EXPECT_EQ(m.Pitch, std::atan2((ground + 0.01f) - ground, std::sqrt(dx * dx + dz * dz)));
        EXPECT_NEAR(m.Length, std::sqrt(dx * dx + dz * dz), 1e-6f);
        ml_modelinfo* inst = smoke_.SkidInstance(i % kSkidMarks);
        EXPECT_TRUE(inst->flags & 1);
        EXPECT_EQ(inst->scale.x, 1.0f);
        EXPECT_EQ(inst->scale.z, m.Length);
        EXPECT_EQ(inst->angles.x, m.Pitch);
        EXPECT_EQ(inst->angles.y, m.Heading);
        EXPECT_EQ(inst->position.y, m.Position.y);
        EXPECT_EQ(smoke_.NextSkid(), (i + 1) % kSkidMarks);
    }
    // The 31st mark went into the first slot, which now starts at path[30].
    EXPECT_EQ(smoke_.Skid(0).Position.x, path[kSkidMarks].x);
    EXPECT_NEAR(smoke_.SkidInstance(0)->first_node->radius,
                std::sqrt(smoke_.Skid(0).Length * smoke_.Skid(0).Length + 2.0f) / std::sqrt(3.0f), 1e-5f);

    // Coinciding or broken points lay nothing.
    const int next = smoke_.NextSkid();
    smoke_.LaySkidMark(path[3], path[3], 0.0f, 0.0f);
    smoke_.LaySkidMark(Vec3(std::nanf(""), 0.0f, 0.0f), path[3], 0.0f, 0.0f);
    smoke_.LaySkidMark(path[3], path[4], std::nanf(""), 0.0f);
    EXPECT_EQ(smoke_.NextSkid(), next);
}

// The race's operations behind the simulation's hooks.
// The heading of a mark laid from A to B, written out: it points from B
// back to A (atan2 of A - B's x over its z), so a wheel going along +z
// lays marks of heading pi, along +x -pi/2, along +x and +z at once -3pi/4,
// and along -z 0.
TEST_F(SmokeSystemTest, SkidMarkHeadingsPointBackAlongTheWheelsPath)
{
    GiveInstances();
    constexpr float kPi = 3.14159265f;
    const struct {
        const char* way;
        float dx, dz, heading;
    } cases[] = {
        {"+z", 0.0f, 1.0f, kPi},
        {"+x", 1.0f, 0.0f, -kPi / 2},
        {"45 degrees", 1.0f, 1.0f, -3 * kPi / 4},
        {"-z", 0.0f, -1.0f, 0.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.way);
        const int slot = smoke_.NextSkid();
        const Vec3 a(5.0f, 0.3f, 7.0f);
        smoke_.LaySkidMark(a, Vec3(a.x + c.dx, a.y, a.z + c.dz), 0.0f, 0.0f);
        EXPECT_NEAR(smoke_.Skid(slot).Heading, c.heading, 1e-6f);
        EXPECT_NEAR(smoke_.SkidInstance(slot)->angles.y, c.heading, 1e-6f);
        EXPECT_NEAR(smoke_.Skid(slot).Length, std::sqrt(c.dx * c.dx + c.dz * c.dz), 1e-6f);
    }
}

class RaceSmokeTest : public race_test::RaceFixture {
protected:
    RaceHooks& hooks() { return *CurrentRaceContext().Hooks; }
};

TEST_F(RaceSmokeTest, NothingHappensWithoutAmbient)
{
    Start();
    ASSERT_NE(CurrentRaceContext().Hooks, nullptr);
    for (int i = 0; i < 60; ++i) {
        hooks().SmokeEmit(i % 4, bike(0), 5, 1.0f);
        hooks().SmokeEmitLine(Vec3(0.0f, 0.0f, 0.0f), Vec3(1.0f, 0.0f, 1.0f), 0.0f, 0.0f);
        Frame();
    }
    EXPECT_EQ(race->m_Smoke.ActiveCount(), 0);
    EXPECT_EQ(race->m_Smoke.NextSkid(), 0);
    EXPECT_EQ(race->m_Smoke.LastEmission(0), 0.0f);
    EXPECT_FALSE(race->m_Smoke.Skid(0).Laid);
}

TEST_F(RaceSmokeTest, WithAmbientTheHooksEmitLayAndTheStepMovesTheParticles)
{
    app.GfxFlags = kGfxFlagAmbient;
    Start();
    hooks().SmokeEmit(0, bike(1), 5, 1.0f);
    hooks().SmokeEmitLine(Vec3(0.0f, 0.0f, 0.0f), Vec3(1.0f, 0.0f, 1.0f), 0.5f, 0.5f);
    EXPECT_EQ(race->m_Smoke.ActiveCount(), 1);
    EXPECT_EQ(race->m_Smoke.LastEmission(1), input.m_fRaceClock);
    EXPECT_TRUE(race->m_Smoke.Skid(0).Laid);
    EXPECT_EQ(race->m_Smoke.Skid(0).Position.y, 0.52f);
    const SmokeParticle& p = race->m_Smoke.Particle(0, 0);
    const float age = p.Age;
    // The race's step moves them once after its sub-steps.
    hud().m_fFadeLevel = hud().m_fFadeTarget;
    input.m_bPaused = 0;
    input.m_fFrameTime = 0.1f;
    race->Step();
    EXPECT_EQ(p.Age, age + 0.1f);
}

// The particles draw only from the cosmetic stream: a race runs the same
// with and without them.
TEST_F(RaceSmokeTest, AmbientNeverChangesTheRace)
{
    std::vector<float> withSmoke;
    for (std::uint32_t gfx : {kGfxFlagAmbient, 0u}) {
        Header("Sugo", 4, 4);
        app.GfxFlags = gfx;
        Start();
        PressKey(0x01); // Escape skips the start sequence
        Frame();
        ASSERT_TRUE(FramesUntil([&] { return (flags() & kRaceRacing) != 0; }, 400));
        int emitted = 0;
        for (int i = 0; i < 400; ++i) {
            Frame();
            emitted = std::max(emitted, race->m_Smoke.ActiveCount());
            // Tyre smoke and dust from every bike, as a skid would give.
            if (gfx && i % 10 == 0)
                for (int b = 0; b < race->RiderCount(); ++b)
                    hooks().SmokeEmit(1, bike(b), 5, 1.0f);
        }
        EXPECT_GT(bike(0).RaceTime, 2.0f) << "the race ran";
        std::vector<float> state;
        for (int b = 0; b < race->RiderCount(); ++b)
            state.insert(state.end(), {bike(b).Position.x, bike(b).Position.y, bike(b).Position.z, bike(b).Speed,
                                       bike(b).Progress});
        if (gfx) {
            EXPECT_GT(emitted, 0);
            withSmoke = state;
        } else {
            EXPECT_EQ(emitted, 0);
            ASSERT_EQ(state.size(), withSmoke.size());
            for (std::size_t k = 0; k < state.size(); ++k)
                EXPECT_EQ(std::bit_cast<std::uint32_t>(state[k]), std::bit_cast<std::uint32_t>(withSmoke[k])) << k;
        }
        race.reset();
        app.m_pRace = nullptr;
    }
}

// The instances come from the race's library: 30 skid marks of the
// weather's model and 50 of each particle model, hidden until used.
TEST_F(RaceSmokeTest, InstancesAreMadeFromTheLibraryOnlyWithAmbient)
{
    for (int weather : {0, 1}) {
        model_lib library("dynombra");
        for (const char* name : {"Skid", "Skidp", "Fumo", "Erba", "Sabbia", "Spark", "Pioggia"}) {
            ml_modelinfo* m = OneNodeModel(name, 1.0f);
            m->library = &library;
            m->next = library.models;
            library.models = m;
        }
        app.GfxFlags = 0;
        Start();
        race->m_nWeather = weather;
        SmokeCreateInstances(*race, library, nullptr, nullptr);
        EXPECT_EQ(library.instances, nullptr) << "nothing without Ambient";
        race->m_uGfxFlags = kGfxFlagAmbient;
        SmokeCreateInstances(*race, library, nullptr, nullptr);
        int count = 0;
        for (ml_modelinfo* i = library.instances; i; i = i->next) {
            ++count;
            EXPECT_FALSE(i->flags & 1);
        }
        EXPECT_EQ(count, kSkidMarks + kSmokeKinds * kParticlesPerKind);
        EXPECT_STREQ(race->m_Smoke.SkidInstance(29)->name, weather == 0 ? "Skid" : "Skidp");
        for (int k = 0; k < kSmokeKinds; ++k)
            EXPECT_STREQ(race->m_Smoke.Particle(k, 49).Instance->name, kSmokeModels[k]);
        SmokeReleaseInstances(*race, nullptr);
        EXPECT_EQ(race->m_Smoke.SkidInstance(0), nullptr);
        EXPECT_EQ(race->m_Smoke.Particle(0, 0).Instance, nullptr);
        race.reset();
        app.m_pRace = nullptr;
    }

    // A missing model fails the 3D load with "get_model".
    model_lib library("dynombra");
    ml_modelinfo* skid = OneNodeModel("Skid", 1.0f);
    skid->library = &library;
    library.models = skid;
    app.GfxFlags = kGfxFlagAmbient;
    Start();
    try {
        SmokeCreateInstances(*race, library, nullptr, nullptr);
        FAIL() << "no particle models";
    } catch (const GameError& e) {
        EXPECT_STREQ(e.what(), "get_model");
    }
    EXPECT_EQ(race->m_Smoke.SkidInstance(0), nullptr);
}

} // namespace
