#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <string>

#include "app/game_error.h"
#include "sim/bike.h"
#include "sim/heights.h"
#include "sim/race_conditions.h"
#include "sim/terrain.h"
#include "sim/track.h"
#include "sim/wheel_assembly.h"
#include "tests/support/fp_traps.h"
#include "tests/support/temp_dir.h"
#include "tools/datakit/track_writer.h"
#include "tools/datakit/tyre_data_writer.h"

namespace {

constexpr float kPi = 3.14159265f;

// A straight road along +z from z = 0: asphalt from x0 - 5 to x0 + 5, a
// grass verge (class 1) on the left to x0 - 8, a gravel verge (class 2) on
// the right to x0 + 8. `slope` raises the road by that much per metre.
datakit::TrackFile StraightRoad(float x0, int metres, float slope = 0.0f)
{
    datakit::TrackFile file;
    datakit::TrackFileSegment segment;
    segment.length = static_cast<float>(metres);
    segment.start_x = x0;
    file.segments.push_back(segment);
    for (int k = 0; k < metres; ++k) {
        datakit::TrackFileMetre metre;
        metre.section = k;
        metre.low_bound = 5.0f;
        metre.high_bound = 5.0f;
        metre.ref_speed = 40.0f;
        file.metres.push_back(metre);
        const float z = static_cast<float>(k);
        const float y = slope * z;
        datakit::TrackFileSection section;
        section.edge0 = {x0 - 8.0f, y, z};
        section.inner0 = {x0 - 5.0f, y, z};
        section.inner1 = {x0 + 5.0f, y, z};
        section.edge1 = {x0 + 8.0f, y, z};
        section.left_surface = 1;
        section.right_surface = 2;
        file.sections.push_back(section);
    }
    return file;
}

// Plausible wheel values: a 120/70 front and a 180/55 rear on 17-inch rims.
WheelParameters FrontParameters()
{
    WheelParameters p;
    p.Radius = WheelRadiusFromTyreSize(120.0f, 70.0f, 17.0f, &p.TyreWidth, &p.TyreAspect, &p.RimRadius);
    p.LengthBase = 0.0f;
    p.LengthScale = 1.0f;
    p.LengthFactor = p.Radius;
    p.MaxTravel = 0.12f;
    p.LeverRatio = 1.0f;
    p.Rake = 0.40f;
    p.Inertia = 12.0f;
    p.BrakeDrag = 20.0f;
    p.SlipGain = 1.0f;
    return p;
}

WheelParameters RearParameters()
{
    WheelParameters p = FrontParameters();
    p.Radius = WheelRadiusFromTyreSize(180.0f, 55.0f, 17.0f, &p.TyreWidth, &p.TyreAspect, &p.RimRadius);
    p.LengthFactor = p.Radius;
    p.MaxTravel = 0.065f;
    p.LeverRatio = 0.5f;
    p.Rake = 0.0f;
    p.Inertia = 18.0f;
    p.BrakeDrag = 0.0f;
    return p;
}

// Program-wide inputs saved and restored around every test.
class WheelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved_table_ = TerrainTable;
        saved_race_ = CurrentRaceConditions();
        saved_air_ = AirTemperature;
        saved_track_ = TrackTemperature;
        TerrainTable = datakit::demo_terrain(1, false);
        SetTerrainWeather(25.0f, 35.0f);
        CurrentRaceConditions() = RaceConditions();
        CurrentRaceConditions().SessionType = 4;
    }
    void TearDown() override
    {
        TerrainTable = saved_table_;
        CurrentRaceConditions() = saved_race_;
        SetTerrainWeather(saved_air_, saved_track_);
    }

    // A bike of 200 kg with its two wheels set up, on `path`.
    void MakeBike(Track* path)
    {
        bike_ = std::make_unique<Bike>();
        Bike& b = *bike_;
        b.Path = path;
        b.Mass = 200.0f;
        b.Weight = 200.0f * 9.80665f;
        b.Wheelbase = 1.4f;
        b.Stability = 0.5f;
        b.UpAxis = Vec3(0.0f, 1.0f, 0.0f);
        b.Progress = 100.0f;
        setup_.FrontTyre = 3;
        setup_.RearTyre = 4;
        b.Setup = &setup_;
        SetUpWheel(b.FrontWheel, true);
        SetUpWheel(b.RearWheel, false);
    }

    void SetUpWheel(WheelAssembly& w, bool front)
    {
        w.Owner = bike_.get();
        w.Flags = front ? kWheelFront : 0;
        w.SetParameters(front ? FrontParameters() : RearParameters());
        w.SpringRate = front ? 0.95f : 12.5f;
        w.BumpHigh = front ? 2700.0f : 10000.0f;
        w.ReboundHigh = front ? 300.0f : 2600.0f;
        w.BumpLow = front ? 600.0f : 6600.0f;
        w.ReboundLow = front ? 1250.0f : 10000.0f;
        w.Preload = front ? 12.0f : 10.0f;
        w.Mass = front ? 16.0f : 20.0f;
        w.SprungMass = front ? 90.0f : 110.0f;
        ASSERT_EQ(w.FindBadSetupValue(), nullptr);
        w.ApplySetup();
        w.Tyre.SetCoefficients(datakit::demo_tyre(0));
        w.Tyre.Init();
        w.SlideMargin = 0.5f;
    }

    // Puts a wheel at rest on the ground at (x, z) with its static load.
    void Settle(WheelAssembly& w, float x, float z, float load)
    {
        w.ContactPoint = Vec3(x, 0.0f, z);
        w.Force = Vec3(0.0f, load, 0.0f);
        w.Reset();
    }

    std::unique_ptr<Bike> bike_;
    BikeSetup setup_;

private:
    TerrainRecord saved_table_;
    RaceConditions saved_race_;
    float saved_air_ = 0;
    float saved_track_ = 0;
};

// A test with tracks on disk.
class WheelTrackTest : public WheelTest {
protected:
    WheelTrackTest() : dir_(torvane_test::make_temp_dir("wheels")), cwd_(dir_)
    {
        std::filesystem::create_directories(dir_ / "Data");
    }

    std::unique_ptr<Track> LoadTrack(const char* name, const datakit::TrackFile& file)
    {
        std::string error;
        const auto path = dir_ / "Data" / "Tracks" / (std::string(name) + ".dat");
        std::filesystem::create_directories(path.parent_path());
        EXPECT_TRUE(datakit::write_track_file(path, file, error)) << error;
        auto track = std::make_unique<Track>();
        EXPECT_TRUE(track->Load(name));
        return track;
    }

    std::filesystem::path dir_;
    torvane_test::ScopedCwd cwd_;
};

TEST(WheelParametersTest, TyreSizeGivesTheWheelRadius)
{
    float width = 0, aspect = 0, rim = 0;
    EXPECT_NEAR(WheelRadiusFromTyreSize(180.0f, 55.0f, 17.0f, &width, &aspect, &rim), 0.3149f, 1e-6f);
    EXPECT_NEAR(width, 0.18f, 1e-7f);
    EXPECT_NEAR(aspect, 0.55f, 1e-7f);
    EXPECT_NEAR(rim, 0.2159f, 1e-7f);
    EXPECT_NEAR(WheelRadiusFromTyreSize(120.0f, 70.0f, 17.0f), 0.084f + 0.2159f, 1e-6f);
}

TEST(WheelParametersTest, ValuesTheWheelDividesByAreChecked)
{
    EXPECT_EQ(FindBadWheelParameter(FrontParameters()), nullptr);
    EXPECT_EQ(FindBadWheelParameter(RearParameters()), nullptr);
    struct Case {
        const char* expect;
        void (*damage)(WheelParameters&);
    } const cases[] = {
        {"radius", [](WheelParameters& p) { p.Radius = 0.0f; }},
        {"radius", [](WheelParameters& p) { p.Radius = -0.3f; }},
        {"lever ratio", [](WheelParameters& p) { p.LeverRatio = 0.0f; }},
        {"inertia", [](WheelParameters& p) { p.Inertia = 0.0f; }},
        {"max travel", [](WheelParameters& p) { p.MaxTravel = -0.01f; }},
        {"max travel", [](WheelParameters& p) { p.MaxTravel = kAirSpringPole; }},
        {"slip gain", [](WheelParameters& p) { p.SlipGain = std::nanf(""); }},
        {"length scale", [](WheelParameters& p) { p.LengthScale = INFINITY; }},
        {"rake", [](WheelParameters& p) { p.Rake = 1.6f; }},
    };
    for (const Case& c : cases) {
        WheelParameters p = FrontParameters();
        c.damage(p);
        const char* bad = FindBadWheelParameter(p);
        ASSERT_NE(bad, nullptr) << c.expect;
        EXPECT_STREQ(bad, c.expect);
    }
}

TEST_F(WheelTest, SetupConvertsTheSuspensionValues)
{
    MakeBike(nullptr);
    const WheelAssembly& f = bike_->FrontWheel;
    // Front: s 0.95, b 2700, r 300, p 12, bump low 600, rebound low 1250.
    EXPECT_NEAR(f.SetupFactor, 0.0f, 1e-6f);
    EXPECT_FLOAT_EQ(f.KneeBump, 100.0f / 600.0f);
    EXPECT_FLOAT_EQ(f.KneeRebound, 1250.0f * 3.3333334e-5f);
    EXPECT_FLOAT_EQ(f.SpringRate, 1.9f * 9806.65f);
    EXPECT_FLOAT_EQ(f.BumpLow, 1200.0f);
    EXPECT_FLOAT_EQ(f.ReboundLow, 2500.0f);
    EXPECT_FLOAT_EQ(f.BumpHigh, 2.0f * (3000.0f + 4.0f * (2700.0f - 3000.0f)));
    EXPECT_FLOAT_EQ(f.ReboundHigh, 2.0f * (250.0f + 4.0f * 50.0f));
    EXPECT_FLOAT_EQ(f.Preload, 0.012f);
    EXPECT_FLOAT_EQ(f.Compliance, 1.0f / f.SpringRate);
    EXPECT_FLOAT_EQ(f.CosRake, std::cos(0.40f));
    EXPECT_FLOAT_EQ(f.FreeBumpHigh, f.BumpHigh / 90.0f);

    const WheelAssembly& r = bike_->RearWheel;
    EXPECT_FLOAT_EQ(r.BumpHigh, 11000.0f + 4.0f * (10000.0f - 11000.0f));
    EXPECT_FLOAT_EQ(r.ReboundHigh, 2500.0f + 4.0f * 100.0f);
    EXPECT_NEAR(r.SetupFactor, 0.0f, 1e-6f);
    EXPECT_EQ(r.KneeBump, 0.03f);
    EXPECT_EQ(r.KneeRebound, 0.03f);
    EXPECT_FLOAT_EQ(r.SpringRate, 12.5f * 9806.65f);
    EXPECT_FLOAT_EQ(r.FreeReboundLow, 10000.0f / 110.0f);
}

TEST_F(WheelTest, BadSetupValuesAreFoundAndNeverDivideByZero)
{
    torvane_test::FpTraps traps;
    MakeBike(nullptr);
    struct Case {
        const char* expect;
        void (*damage)(WheelAssembly&);
    } const cases[] = {
        {"spring rate", [](WheelAssembly& w) { w.SpringRate = 0.0f; }},
        {"mass", [](WheelAssembly& w) { w.Mass = 0.0f; }},
        {"sprung mass", [](WheelAssembly& w) { w.SprungMass = -1.0f; }},
        {"bump low", [](WheelAssembly& w) { w.BumpLow = 0.0f; }},
        {"preload", [](WheelAssembly& w) { w.Preload = INFINITY; }},
    };
    for (const Case& c : cases) {
        WheelAssembly w;
        w.Flags = kWheelFront;
        w.SetParameters(FrontParameters());
        w.SpringRate = 1.0f;
        w.BumpLow = 500.0f;
        w.Mass = 16.0f;
        w.SprungMass = 90.0f;
        c.damage(w);
        const char* bad = w.FindBadSetupValue();
        ASSERT_NE(bad, nullptr) << c.expect;
        EXPECT_STREQ(bad, c.expect);
        if (std::isfinite(w.Preload)) {
            w.ApplySetup(); // guarded: finite results
            EXPECT_TRUE(std::isfinite(w.Compliance)) << c.expect;
            EXPECT_TRUE(std::isfinite(w.KneeBump)) << c.expect;
            EXPECT_TRUE(std::isfinite(w.FreeBumpHigh)) << c.expect;
        }
    }
}

TEST_F(WheelTest, MoveRollsStraightOrAroundItsTurningCircle)
{
    MakeBike(nullptr);
    WheelAssembly& w = bike_->RearWheel;
    w.ContactPoint = Vec3(1.0f, 0.5f, 2.0f);
    w.Heading = 0.5f;
    w.Orientation.Heading = 0.5f;
    w.TurnRadius = 0.0f;
    EXPECT_FLOAT_EQ(w.Move(0.1f, 20.0f), 2.0f);
    EXPECT_NEAR(w.ContactPoint.x, 1.0f + 2.0f * std::sin(0.5f), 1e-5f);
    EXPECT_NEAR(w.ContactPoint.z, 2.0f + 2.0f * std::cos(0.5f), 1e-5f);
    EXPECT_EQ(w.Heading, 0.5f);
    EXPECT_FLOAT_EQ(w.StepDistance, 2.0f);

    // On a circle the heading turns by d / r and the point keeps its
    // distance from the circle's centre.
    const float r = 50.0f;
    const float h = w.Heading;
    const Vec3 start = w.ContactPoint;
    const float cx = start.x - r * std::cos(h);
    const float cz = start.z + r * std::sin(h);
    for (int i = 0; i < 20; ++i) {
        w.TurnRadius = r;
        w.Move(0.05f, 30.0f);
    }
    EXPECT_NEAR(w.Heading, h - 30.0f / r, 1e-4f);
    EXPECT_NEAR(w.Orientation.Heading, h - 30.0f / r, 1e-4f);
    EXPECT_NEAR(std::hypot(w.ContactPoint.x - cx, w.ContactPoint.z - cz), r, 1e-3f);
    EXPECT_EQ(w.ContactPoint.y, start.y);
}

// On a wide arc the step's turn is far below the heading's precision: the
// point still moves the step's length along the heading, whatever the
// compass heading (the difference of two nearly equal cosines moved it too
// little, or not at all).
TEST_F(WheelTest, MoveOnAWideArcKeepsTheStepsLength)
{
    MakeBike(nullptr);
    WheelAssembly& w = bike_->RearWheel;
    struct Case {
        float heading, radius, dt, speed;
    };
    for (const Case c : {Case{1.5f, 100000.0f, 0.001f, 3.0f}, Case{-3.0f, 120000.0f, 0.001f, 60.0f},
                         Case{3.1f, 30000.0f, 1.0f / 60.0f, 40.0f}, Case{0.7f, -80000.0f, 0.005f, 20.0f}}) {
        w.ContactPoint = Vec3(300.0f, 0.0f, -200.0f);
        w.Heading = w.Orientation.Heading = c.heading;
        w.TurnRadius = c.radius;
        const float d = w.Move(c.dt, c.speed);
        const float dx = w.ContactPoint.x - 300.0f;
        const float dz = w.ContactPoint.z + 200.0f;
        EXPECT_NEAR(std::hypot(dx, dz), d, 2e-3f * d) << c.heading << " " << c.radius;
        EXPECT_NEAR(dx, d * std::sin(c.heading), 2e-3f * d) << c.heading << " " << c.radius;
        EXPECT_NEAR(dz, d * std::cos(c.heading), 2e-3f * d) << c.heading << " " << c.radius;
    }
}

TEST_F(WheelTest, GripLimitsTheSideForce)
{
    torvane_test::FpTraps traps;
    MakeBike(nullptr);
    WheelAssembly& w = bike_->RearWheel;
    auto prepare = [&](float radius, float downforce, int surface) {
        w.Travel = 0.02f;
        w.TurnRadius = radius;
        w.Downforce = downforce;
        w.LoadShare = 0.5f;
        w.Force = Vec3(0.0f, downforce, 0.0f);
        w.Heading = 0.0f;
        w.Orientation = WheelAttitude();
        w.Tyre.Grip = 1.0f;
        w.Tyre.SurfaceC = 1.2f;
        w.Tyre.Surface = surface;
    };

    // In the air: no side force, no turn, no grip.
    prepare(40.0f, 1000.0f, 0);
    w.Travel = 0.0f;
    w.UpdateGrip(30.0f);
    EXPECT_EQ(w.Grip, 0.0f);
    EXPECT_EQ(w.TurnRadius, 0.0f);
    EXPECT_EQ(w.Force.x, 0.0f);
    EXPECT_EQ(w.Force.z, 0.0f);

    // Within grip: the turn is kept.
    prepare(100.0f, 1000.0f, 0);
    w.UpdateGrip(10.0f); // side force 100 N * 100 / 100 = 100 N
    EXPECT_EQ(w.Grip, 1.0f);
    EXPECT_NEAR(w.TurnRadius, 100.0f, 1e-3f);

    // Beyond grip: the side force is cut and the turn widens.
    prepare(20.0f, 1000.0f, 0);
    w.UpdateGrip(40.0f); // 100 kg * 1600 / 20 = 8000 N against about 1200 N
    EXPECT_GT(w.Grip, 0.0f);
    EXPECT_LT(w.Grip, 1.0f);
    EXPECT_GT(std::fabs(w.TurnRadius), 20.0f);
    const float asphalt_grip = w.Grip;

    // The same slide on a verge keeps a tenth of it, except in the arcade.
    prepare(20.0f, 1000.0f, 1);
    w.UpdateGrip(40.0f);
    EXPECT_FLOAT_EQ(w.Grip, asphalt_grip * 0.1f);
    CurrentRaceConditions().SessionType = kSessionArcade;
    prepare(20.0f, 1000.0f, 1);
    w.UpdateGrip(40.0f);
    EXPECT_FLOAT_EQ(w.Grip, asphalt_grip);
    CurrentRaceConditions().SessionType = 4;

    // A wheel that always grips keeps its turn.
    prepare(20.0f, 1000.0f, 0);
    w.Flags |= kWheelAlwaysGrips;
    w.UpdateGrip(40.0f);
    EXPECT_EQ(w.Grip, 1.0f);
    w.Flags &= ~kWheelAlwaysGrips;

    // No force to transmit and no load: full grip, no division by zero.
    prepare(0.0f, 0.0f, 0);
    w.UpdateGrip(0.0f);
    EXPECT_EQ(w.Grip, 1.0f);
    EXPECT_EQ(w.TurnRadius, 0.0f);

    // A load that pulls the wheel off the ground gives no grip, never a
    // negative one.
    prepare(20.0f, -500.0f, 0);
    w.UpdateGrip(40.0f);
    EXPECT_GE(w.Grip, 0.0f);
    EXPECT_LE(w.Grip, 1.0f);
}

TEST_F(WheelTest, TurnRadiusLimits)
{
    torvane_test::FpTraps traps;
    MakeBike(nullptr);
    WheelAssembly& w = bike_->FrontWheel;
    struct Case {
        float radius, expect;
    } const cases[] = {{200000.0f, 0.0f}, {-200000.0f, 0.0f}, {2.0f, 5.0f}, {-2.0f, -5.0f}, {80.0f, 80.0f}};
    for (const Case& c : cases) {
        w.Travel = 0.02f;
        w.TurnRadius = c.radius;
        w.Downforce = 1.0e7f; // always within grip
        w.Force = Vec3(0.0f, 1000.0f, 0.0f);
        w.LoadShare = 0.5f;
        w.Heading = 0.0f;
        w.Orientation = WheelAttitude();
        w.Tyre.Grip = 1.0f;
        w.Tyre.SurfaceC = 1.0f;
        w.UpdateGrip(20.0f);
        EXPECT_NEAR(w.TurnRadius, c.expect, 1e-2f) << c.radius;
    }
}

TEST_F(WheelTrackTest, ResetSettlesTheWheelUnderItsStaticLoad)
{
    torvane_test::FpTraps traps;
    auto road = LoadTrack("straight", StraightRoad(0.0f, 400));
    MakeBike(road.get());
    WheelAssembly& w = bike_->RearWheel;
    const float load = 110.0f * 9.80665f;
    Settle(w, 1.0f, 100.0f, load);
    EXPECT_EQ(w.GroundHeight, 0.0f);
    EXPECT_EQ(w.PrevGroundHeight, 0.0f);
    EXPECT_EQ(w.Terrain, 0);
    EXPECT_EQ(w.Grip, 1.0f);
    EXPECT_EQ(w.LoadShare, 0.5f);
    EXPECT_FLOAT_EQ(w.RestLength, w.LengthFactor * w.LengthScale + w.LengthBase);
    const float sag = (w.Compliance * load - w.Preload) * w.CosRake / w.LeverRatio;
    EXPECT_FLOAT_EQ(w.Travel, sag);
    EXPECT_EQ(w.SpringTravel, w.Travel);
    EXPECT_FLOAT_EQ(w.ContactPoint.y, w.RestLength - sag * w.CosRake / w.LeverRatio);
    EXPECT_EQ(w.PrevContactPoint.y, w.ContactPoint.y);
    EXPECT_FLOAT_EQ(w.Tyre.SurfaceC, TerrainTable.DryC[0]);

    // On the grass verge the dry grass values apply.
    Settle(w, -6.5f, 100.0f, load);
    EXPECT_EQ(w.Terrain, 1);
    EXPECT_FLOAT_EQ(w.Tyre.SurfaceC, TerrainTable.DryC[1]);

    // Off the road: no ground, and the wheel keeps its height.
    w.ContactPoint.y = 0.25f;
    Settle(w, 30.0f, 100.0f, load);
    EXPECT_EQ(w.GroundHeight, kNoGround);
    EXPECT_EQ(w.ContactPoint.y, 0.0f);
}

TEST_F(WheelTrackTest, SuspensionSettlesAndNeverPassesItsTravel)
{
    torvane_test::FpTraps traps;
    auto road = LoadTrack("straight", StraightRoad(0.0f, 400));
    MakeBike(road.get());
    for (const bool front : {true, false}) {
        WheelAssembly& w = front ? bike_->FrontWheel : bike_->RearWheel;
        const float load = (front ? 90.0f : 110.0f) * 9.80665f;
        Settle(w, 0.0f, 100.0f, load);
        w.Travel += 0.01f; // pushed in a little
        w.SpringTravel = w.Travel;
        for (int i = 0; i < 400; ++i)
            w.StepSuspension(0.01f);
        EXPECT_NEAR(w.SpringSpeed, 0.0f, 0.05f) << front;
        EXPECT_GT(w.Travel, 0.0f) << front;
        EXPECT_LE(w.SpringTravel, w.MaxTravel) << front;
        // The spring carries the load it was given (the fork's air spring a
        // little of it).
        EXPECT_NEAR(w.Downforce, load, (front ? 0.1f : 0.02f) * load) << front;

        // A huge load: the spring stops at its travel with zero speed.
        w.Force.y = 1.0e6f;
        for (int i = 0; i < 50; ++i) {
            w.StepSuspension(0.02f);
            ASSERT_LE(w.SpringTravel, w.MaxTravel) << front;
        }
        EXPECT_EQ(w.SpringTravel, w.MaxTravel) << front;
        EXPECT_EQ(w.SpringSpeed, 0.0f) << front;
    }
}

// A landing (the wheel dropping onto the road at 2 m/s from 4 cm above it)
// and a disturbance (pushed in 3 cm at 1 m/s): with the demo set-up's stiff
// dampers on the wheel's own small mass the suspension still settles within
// half a second, at any step length, to the same rest whatever the steps.
TEST_F(WheelTrackTest, LandingAndDisturbanceSettleWithinHalfASecondAtAnyStep)
{
    torvane_test::FpTraps traps;
    auto road = LoadTrack("straight", StraightRoad(0.0f, 400));
    MakeBike(road.get());
    struct Start {
        const char* name;
        float travel;
        float hubSpeed;
    };
    const Start starts[] = {{"landing", -0.04f, -2.0f}, {"disturbance", 0.03f, -1.0f}};
    for (const bool front : {true, false}) {
        WheelAssembly& w = front ? bike_->FrontWheel : bike_->RearWheel;
        const float load = (front ? 90.0f : 110.0f) * 9.80665f;
        // The rest the suspension comes to under this load.
        Settle(w, 0.0f, 100.0f, load);
        for (int i = 0; i < 1000; ++i)
            w.StepSuspension(0.005f);
        const float rest = w.SpringTravel;
        ASSERT_GT(rest, 0.0f);
        for (const Start& start : starts) {
            for (const float dt : {0.001f, 0.005f, 1.0f / 120.0f, 1.0f / 60.0f, 1.0f / 30.0f}) {
                Settle(w, 0.0f, 100.0f, load);
                w.Travel = w.SpringTravel = rest + start.travel;
                w.Velocity.y = start.hubSpeed;
                const int steps = static_cast<int>(0.5f / dt + 0.5f);
                float deepest = 0.0f;
                for (int i = 0; i < steps; ++i) {
                    w.StepSuspension(dt);
                    ASSERT_TRUE(std::isfinite(w.Travel) && std::isfinite(w.SpringSpeed));
                    deepest = std::max(deepest, w.SpringTravel);
                    // Never thrown off the road: no bounce higher than it fell.
                    ASSERT_GT(w.Travel, std::min(start.travel + rest, 0.0f) - 0.01f)
                        << start.name << " front " << front << " dt " << dt << " step " << i;
                }
                EXPECT_LE(deepest, w.MaxTravel) << start.name;
                EXPECT_NEAR(w.SpringTravel, rest, 0.002f) << start.name << " front " << front << " dt " << dt;
                EXPECT_EQ(w.Travel, w.SpringTravel) << start.name << " front " << front << " dt " << dt;
                EXPECT_NEAR(w.SpringSpeed, 0.0f, 0.02f) << start.name << " front " << front << " dt " << dt;
            }
        }
    }
}

// The suspension steps exactly the time it is given: ten steps of 1 ms and
// one of 10 ms, or four of 1/240 s and one of 1/60 s, end in nearly the same
// state (whole 5 ms steps would have run on 5 ms and 3.3 ms past them).
TEST_F(WheelTrackTest, SuspensionStepsExactlyTheTimeGiven)
{
    torvane_test::FpTraps traps;
    auto road = LoadTrack("straight", StraightRoad(0.0f, 400));
    MakeBike(road.get());
    WheelAssembly& w = bike_->RearWheel;
    const float load = 110.0f * 9.80665f;
    struct Split {
        float whole;
        int parts;
    };
    for (const Split split : {Split{0.01f, 10}, Split{1.0f / 60.0f, 4}}) {
        float travel[2];
        for (int way = 0; way < 2; ++way) {
            Settle(w, 0.0f, 100.0f, load);
            w.Travel = w.SpringTravel = w.Travel + 0.02f;
            if (way == 0) {
                w.StepSuspension(split.whole);
            } else {
                for (int i = 0; i < split.parts; ++i)
                    w.StepSuspension(split.whole / static_cast<float>(split.parts));
            }
            travel[way] = w.SpringTravel;
        }
        EXPECT_NEAR(travel[1], travel[0], 0.002f) << split.whole;
    }
}

// A wheel pulled up off the ground while the other stays down lifts no
// higher than where the centre of mass stands over the other contact, and
// stops rising there; with both wheels in the air nothing bounds it.
TEST_F(WheelTrackTest, ALiftedWheelStopsWhereTheBikeWouldTipOver)
{
    torvane_test::FpTraps traps;
    auto road = LoadTrack("straight", StraightRoad(0.0f, 400));
    MakeBike(road.get());
    bike_->Wheelbase = 1.415f;
    bike_->MassOffset = Vec3(0.0f, 0.43f, 0.70f);
    for (const bool front : {true, false}) {
        WheelAssembly& w = front ? bike_->FrontWheel : bike_->RearWheel;
        WheelAssembly& other = front ? bike_->RearWheel : bike_->FrontWheel;
        const float lift = w.LiftLimit();
        EXPECT_GT(lift, 0.5f) << front;
        EXPECT_LT(lift, bike_->Wheelbase) << front;
        for (const bool otherDown : {true, false}) {
            Settle(w, 0.0f, 100.0f, 900.0f);
            other.Travel = otherDown ? 0.02f : -0.02f;
            w.Force.y = -20000.0f; // pulled up hard
            for (int i = 0; i < 150; ++i)
                w.StepSuspension(0.02f);
            const float angle = front ? w.Orientation.Pitch + w.Rake : w.Orientation.Pitch;
            const float height = -w.Travel * std::cos(angle) / w.LeverRatio;
            if (otherDown) {
                EXPECT_LE(height, lift + 0.001f) << front;
                EXPECT_GT(height, 0.5f * lift) << front;
                EXPECT_GE(w.TravelSpeed, 0.0f) << front;
            } else {
                EXPECT_GT(height, 2.0f * lift) << front;
            }
        }
    }
}

TEST_F(WheelTrackTest, FrontAirSpringStaysBelowItsPole)
{
    torvane_test::FpTraps traps;
    auto road = LoadTrack("straight", StraightRoad(0.0f, 400));
    MakeBike(road.get());
    WheelAssembly& w = bike_->FrontWheel;
    Settle(w, 0.0f, 100.0f, 900.0f);
    // Travel allowed past the pole (data the loader would refuse): the air
    // spring still pushes back with a finite force.
    w.MaxTravel = 0.3f;
    w.SpringTravel = w.Travel = 0.139f;
    w.SpringSpeed = w.TravelSpeed = 5.0f;
    w.Force.y = 5.0e4f;
    for (int i = 0; i < 100; ++i) {
        w.StepSuspension(0.01f);
        ASSERT_TRUE(std::isfinite(w.SpringSpeed));
        ASSERT_TRUE(std::isfinite(w.SpringTravel));
        ASSERT_TRUE(std::isfinite(w.Downforce));
    }
}

TEST_F(WheelTrackTest, GroundUnderTheWheelAndTerrainBlendBySpeed)
{
    torvane_test::FpTraps traps;
    auto road = LoadTrack("straight", StraightRoad(0.0f, 400, 0.05f));
    LoadBumpProfile("no such file"); // a flat profile
    MakeBike(road.get());
    Bike& b = *bike_;
    WheelAssembly& w = b.RearWheel;
    Settle(w, 2.0f, 100.0f, 1000.0f);
    ASSERT_NEAR(w.GroundHeight, 5.0f, 1e-3f);

    b.Speed = 50.0f;
    w.ContactPoint = Vec3(2.0f, 5.0f + w.RestLength, 110.0f);
    b.Progress = 110.0f;
    w.LocateOnTrack(b.Progress);
    EXPECT_EQ(w.Flags & kWheelLeftTrack, 0u);
    EXPECT_NEAR(w.PrevGroundHeight, 5.0f, 1e-3f);
    EXPECT_EQ(w.Terrain, 0);
    const TerrainRecord& t = TerrainTable;
    EXPECT_FLOAT_EQ(w.Tyre.SurfaceC, t.DryC[0] + (t.WetC[0] - t.DryC[0]) * 0.5f);
    EXPECT_FLOAT_EQ(w.Tyre.SurfaceA, t.DryA[0] + (t.WetA[0] - t.DryA[0]) * 0.5f);
    // The ground height carries the bump profile scaled by SurfaceA (flat
    // here).
    EXPECT_NEAR(w.GroundHeight, 5.5f, 1e-3f);

    // On the gravel verge at rest.
    b.Speed = 0.0f;
    w.PrevContactPoint = Vec3(6.5f, 5.5f, 110.0f);
    w.ContactPoint = Vec3(6.5f, 5.5f + w.RestLength, 110.2f);
    b.SideOffset = -6.5f;
    w.LocateOnTrack(b.Progress);
    EXPECT_EQ(w.Terrain, 2);
    EXPECT_EQ(w.Tyre.Surface, 2);
    EXPECT_FLOAT_EQ(w.Tyre.SurfaceC, t.DryC[2]);
    EXPECT_EQ(w.Tyre.SurfaceHeat, t.HeatFactor[2]);
}

TEST_F(WheelTrackTest, CrossingTheEdgeKeepsTheLastGroundHeight)
{
    torvane_test::FpTraps traps;
    auto road = LoadTrack("straight", StraightRoad(0.0f, 400));
    MakeBike(road.get());
    Bike& b = *bike_;
    WheelAssembly& w = b.RearWheel;
    Settle(w, 7.5f, 100.0f, 1000.0f);
    b.SideOffset = -7.5f; // the right edge
    w.PrevContactPoint = Vec3(7.5f, 0.0f, 100.0f);
    w.ContactPoint = Vec3(8.5f, w.RestLength, 100.5f);
    w.LocateOnTrack(b.Progress);
    EXPECT_NE(w.Flags & kWheelLeftTrack, 0u);
    EXPECT_EQ(w.GroundHeight, w.PrevGroundHeight);
    EXPECT_NEAR(std::fabs(w.GroundNormal.x), 1.0f, 1e-4f); // the edge's normal

    // Far off the track without a pit lane: the point is located against
    // the edge and the last height kept.
    w.Flags = 0;
    w.ContactPoint = Vec3(30.0f, w.RestLength, 101.0f);
    w.LocateOnTrack(b.Progress);
    EXPECT_NE(w.Flags & kWheelLeftTrack, 0u);
    EXPECT_EQ(w.GroundHeight, w.PrevGroundHeight);
    EXPECT_TRUE(std::isfinite(w.GroundHeight));
}

// Beside the circuit's right edge runs a pit lane. A wheel that finds no
// circuit ground near the pit entry takes the pit lane's: the rear wheel
// moves the bike into the pit lane, the front only takes the height over.
TEST_F(WheelTrackTest, NoGroundNearThePitEntryMovesTheRearWheelIntoThePitLane)
{
    torvane_test::FpTraps traps;
    auto circuit = LoadTrack("circuit", StraightRoad(0.0f, 400));
    auto pits = LoadTrack("circuit_pit", StraightRoad(20.0f, 400));
    RaceConditions& race = CurrentRaceConditions();
    race.Circuit = circuit.get();
    race.PitLane = pits.get();
    race.PitEntry = PitMarker{20.0f, 30.0f, 150.0f};
    race.PitExit = PitMarker{20.0f, 30.0f, 350.0f};
    MakeBike(circuit.get());
    Bike& b = *bike_;
    b.Progress = 150.0f;
    b.Position = Vec3(14.0f, 0.0f, 150.0f);
    for (WheelAssembly* w : {&b.FrontWheel, &b.RearWheel})
        Settle(*w, 2.0f, 150.0f, 1000.0f);

    // Front wheel over the pit lane's verge: the height is kept, no switch.
    b.FrontWheel.ContactPoint = Vec3(14.0f, b.FrontWheel.RestLength, 151.4f);
    b.FrontWheel.LocateOnTrack(b.Progress);
    EXPECT_EQ(b.Path, circuit.get());
    EXPECT_EQ(b.FrontWheel.Flags & kWheelLeftTrack, 0u);
    EXPECT_EQ(b.FrontWheel.GroundHeight, b.FrontWheel.PrevGroundHeight);

    // The rear wheel switches the bike's path.
    b.RearWheel.ContactPoint = Vec3(14.0f, b.RearWheel.RestLength, 150.0f);
    b.RearWheel.LocateOnTrack(b.Progress);
    EXPECT_EQ(b.Path, pits.get());
    EXPECT_NE(b.Status & kBikeInPitLane, 0u);
    EXPECT_EQ(b.RearWheel.GroundHeight, b.RearWheel.PrevGroundHeight);

    // Far from the pit entry nothing switches: the wheel left the track.
    MakeBike(circuit.get());
    Settle(bike_->RearWheel, 2.0f, 300.0f, 1000.0f);
    bike_->Progress = 300.0f;
    bike_->RearWheel.ContactPoint = Vec3(14.0f, bike_->RearWheel.RestLength, 300.0f);
    bike_->RearWheel.LocateOnTrack(bike_->Progress);
    EXPECT_EQ(bike_->Path, circuit.get());
    EXPECT_NE(bike_->RearWheel.Flags & kWheelLeftTrack, 0u);
}

TEST_F(WheelTrackTest, BumpSteerNeedsMoreThanHalfTheLoad)
{
    torvane_test::FpTraps traps;
    std::string error;
    ASSERT_TRUE(datakit::write_heights_file(dir_ / "Data" / "Heights.dat", datakit::demo_bump_profile(), error));
    ASSERT_TRUE(LoadBumpProfile());
    MakeBike(nullptr);
    WheelAssembly& w = bike_->FrontWheel;
    w.Tyre.SurfaceB = 0.04f;
    bike_->Progress = 123.4f;
    w.LoadShare = 0.5f;
    EXPECT_EQ(w.BumpSteer(), 0.0f);

    w.LoadShare = 0.8f;
    const float b = BumpHeight(123.4f * 100.0f) * (2.0f - bike_->Stability) * 0.04f;
    ASSERT_NE(b, 0.0f);
    EXPECT_FLOAT_EQ(w.BumpSteer(), b * (2.0f * 0.8f - 1.0f) * (1.0f + 10.0f * w.SetupFactor));
    CurrentRaceConditions().SessionType = kSessionArcade;
    EXPECT_FLOAT_EQ(w.BumpSteer(), b);
    LoadBumpProfile("no such file");
}

TEST_F(WheelTest, TyreChoiceAndMissingTyreList)
{
    MakeBike(nullptr);
    Bike& b = *bike_;
    WheelAssembly& f = b.FrontWheel;
    WheelAssembly& r = b.RearWheel;
    RaceConditions& race = CurrentRaceConditions();
    struct Case {
        bool human;
        bool front_end;
        int session, weather;
        int front, rear;
    } const cases[] = {
        {true, true, 4, kWeatherSunny, 3, 4},   // the player's own choice
        {true, true, 0, kWeatherRain, 3, 4},
        {true, false, 4, kWeatherSunny, 0, 0},  // not started from the menus
        {true, true, kSessionArcade, kWeatherRain, 1, 1},
        {false, true, 4, kWeatherRain, 1, 1},   // computer riders
        {false, true, 4, kWeatherFog, 0, 0},
    };
    for (const Case& c : cases) {
        b.Flags = c.human ? kBikeHuman : kBikeComputerFlags;
        race.RunFlags = c.front_end ? kRunFlagFrontEnd : 0;
        race.SessionType = c.session;
        race.Weather = c.weather;
        EXPECT_EQ(f.ChooseTyreNumber(), c.front);
        EXPECT_EQ(r.ChooseTyreNumber(), c.rear);
    }

    const auto dir = torvane_test::make_temp_dir("tyreless");
    torvane_test::ScopedCwd cwd(dir);
    race.Weather = kWeatherSunny;
    b.Flags = 0;
    try {
        f.LoadTyre();
        ADD_FAILURE() << "loaded a tyre without a tyre file";
    } catch (const GameError& e) {
        EXPECT_NE(std::string(e.what()).find("TYRE_0"), std::string::npos) << e.what();
    }
    std::string error;
    ASSERT_TRUE(datakit::write_demo_tyre_data(dir, error)) << error;
    TerrainTable.Terrain0 = 1.5f;
    TerrainTable.Terrain1 = 2.5f;
    f.LoadTyre();
    EXPECT_EQ(f.Terrain0, 1.5f);
    EXPECT_EQ(f.Terrain1, 2.5f);
    EXPECT_EQ(f.Tyre.GripScale, datakit::demo_tyre(0).GripScale);
}

TEST_F(WheelTest, NodePoses)
{
    MakeBike(nullptr);
    WheelAssembly& f = bike_->FrontWheel;
    WheelAssembly& r = bike_->RearWheel;
    f.RestLength = 0.3f;
    const WheelNodePose bound = f.BindNodes(Vec3(0.0f, 0.6f, 1.3f), 0.9f, 0.0f);
    EXPECT_TRUE(bound.HasPivotRotation);
    EXPECT_FLOAT_EQ(bound.PivotRotation.x, -f.Rake);
    f.SpringTravel = 0.05f;
    f.SpinAngle = 7.25f;
    WheelNodePose pose = f.UpdateNodes();
    const float e = 0.9f - 0.3f;
    EXPECT_FLOAT_EQ(pose.SuspensionPosition.y, 0.6f + 0.05f / f.LeverRatio + (e - e / f.CosRake));
    EXPECT_EQ(pose.WheelRotation.x, 7.25f);

    EXPECT_FALSE(r.BindNodes(Vec3(), 0.0f, 0.55f).HasPivotRotation);
    r.SpinAngle = 3.75f;
    r.SpringTravel = 0.02f;
    r.Travel = 0.04f;
    pose = r.UpdateNodes();
    EXPECT_FLOAT_EQ(pose.SpinFraction, 0.75f);
    EXPECT_FLOAT_EQ(pose.SuspensionRotation.x, 0.02f / (0.55f * r.LeverRatio));
    r.Travel = 0.0f;
    EXPECT_EQ(r.UpdateNodes().SuspensionRotation.x, 0.0f);
}

// The wheel's sub-step calls in the riding order, on a bumpy sloped road,
// weaving across asphalt and verges, for every step length the race uses:
// nothing ever becomes infinite or not a number.
// A bike pitched past the vertical turns the lever's cosine negative, so the
// spring's share in a step of a wheel apart from its spring can cancel the
// step's own term: no pitch gives a step that is not finite.
TEST_F(WheelTrackTest, APitchPastTheVerticalNeverMakesTheSpringStepInfinite)
{
    torvane_test::FpTraps traps;
    auto road = LoadTrack("straight", StraightRoad(0.0f, 400));
    MakeBike(road.get());
    WheelAssembly& w = bike_->RearWheel;
    for (int i = 0; i <= 2000; ++i) {
        Settle(w, 0.0f, 100.0f, 1100.0f);
        w.Travel = -0.05f; // apart from the spring
        w.Orientation.Pitch = 1.55f + 0.00005f * static_cast<float>(i);
        for (int k = 0; k < 4; ++k) {
            w.StepSuspension(0.02f);
            ASSERT_TRUE(std::isfinite(w.SpringSpeed) && std::isfinite(w.SpringTravel) && std::isfinite(w.Travel))
                << "pitch " << w.Orientation.Pitch;
        }
    }
}

TEST_F(WheelTrackTest, NoStepMakesANaN)
{
    torvane_test::FpTraps traps;
    std::string error;
    ASSERT_TRUE(datakit::write_heights_file(dir_ / "Data" / "Heights.dat", datakit::demo_bump_profile(), error));
    ASSERT_TRUE(LoadBumpProfile());
    auto road = LoadTrack("slope", StraightRoad(0.0f, 2000, 0.03f));
    for (const float dt : {0.001f, 0.005f, 0.0166667f, 0.05f, 0.1f}) {
        MakeBike(road.get());
        Bike& b = *bike_;
        b.Speed = 45.0f;
        Settle(b.RearWheel, 0.0f, 20.0f, 1100.0f);
        Settle(b.FrontWheel, 0.0f, 21.4f, 900.0f);
        float lean = 0.0f;
        for (int i = 0; i < 3000 && b.RearWheel.ContactPoint.z < 1900.0f; ++i) {
            lean = 0.7f * std::sin(i * dt * 1.3f);
            b.Roll = lean;
            b.Progress = b.RearWheel.ContactPoint.z;
            b.SideOffset = -b.RearWheel.ContactPoint.x;
            for (WheelAssembly* w : {&b.FrontWheel, &b.RearWheel}) {
                w->Orientation.Roll = lean;
                w->TurnRadius = std::fabs(lean) > 0.05f ? 60.0f / lean : 0.0f;
                w->Force.y = (w == &b.FrontWheel ? 900.0f : 1100.0f) + 600.0f * std::sin(i * 0.1f);
                w->Force.z = (i % 50 < 25 ? 1500.0f : -2500.0f);
                w->LoadShare = w == &b.FrontWheel ? 0.45f : 0.55f;
                w->UpdateGrip(b.Speed);
                const float s = w->Move(dt, b.Speed);
                w->LocateOnTrack(b.Progress);
                w->Flags &= ~kWheelLeftTrack;
                w->StepSuspension(dt);
                w->Tyre.Update(lean, w->SlipGain * s, dt, w->Grip);
                (void)w->BumpSteer();
                ASSERT_TRUE(std::isfinite(w->Travel)) << dt << " " << i;
                ASSERT_TRUE(std::isfinite(w->SpringSpeed)) << dt << " " << i;
                ASSERT_TRUE(std::isfinite(w->ContactPoint.y)) << dt << " " << i;
                ASSERT_TRUE(std::isfinite(w->Velocity.y)) << dt << " " << i;
                ASSERT_TRUE(std::isfinite(w->Downforce)) << dt << " " << i;
                ASSERT_TRUE(std::isfinite(w->Grip)) << dt << " " << i;
                ASSERT_TRUE(std::isfinite(w->Tyre.Grip)) << dt << " " << i;
                ASSERT_TRUE(std::isfinite(w->HubAccel)) << dt << " " << i;
            }
            // Keep the wheels on the road, roughly.
            for (WheelAssembly* w : {&b.FrontWheel, &b.RearWheel}) {
                if (std::fabs(w->ContactPoint.x) > 7.0f) {
                    w->Heading = 0.0f;
                    w->Orientation.Heading = 0.0f;
                    w->ContactPoint.x *= 0.5f;
                }
            }
        }
    }
    // The wheels stayed on the road all the way.
    EXPECT_NEAR(bike_->RearWheel.ContactPoint.y, 0.03f * bike_->RearWheel.ContactPoint.z, 1.0f);
    LoadBumpProfile("no such file");
}

} // namespace
