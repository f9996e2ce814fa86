// The race camera: each mode's eye and aim for a bike at a known pose, the
// trackside camera choice round the lap, the framing of nearby bikes, the
// automatic director, the fallbacks without trackside cameras or lenses,
// the far-plane guard and the mode keys.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "app/game_app.h"
#include "engine/model/ml_modelinfo.h"
#include "engine/scene/camera.h"
#include "input/input_manager.h"
#include "race/race.h"
#include "sim/race_conditions.h"
#include "sim/race_context.h"
#include "tests/race/race_fixture.h"
#include "tests/support/temp_dir.h"
#include "tools/datakit/demo_circuits.h"

namespace {

constexpr float kHalfPi = 1.5707963f;

TvCamera MakeTv(float x, float y, float z, float from, float to, float fmin = 0.05f, float fmax = 1.2f,
                float zoom = 0.0f)
{
    TvCamera c{};
    std::strcpy(c.Name, "T");
    c.X = x;
    c.Y = y;
    c.Z = z;
    c.From = from;
    c.To = to;
    c.FocMin = fmin;
    c.FocMax = fmax;
    c.FakeZoom = zoom;
    return c;
}

// A race with the "Sugo" circuit and bikes placed by hand (no load).
class CameraTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = torvane_test::make_temp_dir("racecam");
        std::string error;
        ASSERT_TRUE(datakit::write_demo_tracks(dir_, error)) << error;
        cwd_ = std::make_unique<torvane_test::ScopedCwd>(dir_);
        saved_context_ = CurrentRaceContext();
        saved_conditions_ = CurrentRaceConditions();
        SetTheGameApp(&app);
        saved_input_ = TheInputManager();
        SetTheInputManager(&input);
        race = std::make_unique<Race>();
        ASSERT_TRUE(race->m_Circuit.Load("Sugo"));
    }

    void TearDown() override
    {
        race.reset();
        SetTheInputManager(saved_input_);
        SetTheGameApp(nullptr);
        CurrentRaceContext() = saved_context_;
        CurrentRaceConditions() = saved_conditions_;
        cwd_.reset();
    }

    void Bikes(int n)
    {
        race->m_pBikes = std::make_unique<Bike[]>(static_cast<std::size_t>(n));
        race->m_nBikes = n;
    }

    // Bike 0 far from the track (no ground under it), facing +z, upright.
    Bike& PosedBike()
    {
        Bikes(1);
        Bike& b = race->m_pBikes[0];
        b.Position = Vec3(1000.0f, 2.0f, 2000.0f);
        b.CgPosition = Vec3(1000.0f, 2.6f, 2000.5f);
        b.RiderAngles = Vec3();
        b.RaceTime = 30.0f;
        cam().m_nClip = 1000000; // no far-plane guard unless a test asks for it
        return b;
    }

    RaceCamera& cam() { return race->m_Camera; }
    const std::filesystem::path& dir() const { return dir_; }

    GameApp app;
    InputManager input;
    std::unique_ptr<Race> race;

private:
    std::filesystem::path dir_;
    std::unique_ptr<torvane_test::ScopedCwd> cwd_;
    RaceContext saved_context_;
    RaceConditions saved_conditions_;
    InputManager* saved_input_ = nullptr;
};

void ExpectNear(const Vec3& got, const Vec3& want, const char* what, int mode)
{
    EXPECT_NEAR(got.x, want.x, 1e-3f) << what << " x, mode " << mode;
    EXPECT_NEAR(got.y, want.y, 1e-3f) << what << " y, mode " << mode;
    EXPECT_NEAR(got.z, want.z, 1e-3f) << what << " z, mode " << mode;
}

TEST_F(CameraTest, EachModePlacesTheEyeAndAimForAKnownPose)
{
    Bike& b = PosedBike();
    cam().m_FixedCams[0] = {0.0f, 1.0f, 0.5f, 0.0f};
    cam().m_FixedCams[1] = {0.2f, 0.8f, -0.7f, 0.0f};
    const TvCamera tv = MakeTv(1010.0f, 7.0f, 2000.0f, 0.0f, 100000.0f, 0.05f, 1.2f, 0.5f);
    cam().SetTvCameras(&tv, 1);
    cam().FollowBike(&b);
    ASSERT_EQ(race->m_Circuit.Query(&b.Position, nullptr, -1.0f, nullptr), kTrackNone);

    const Vec2 s0 = race->m_Circuit.Slots[0];
    const Vec2 s3 = race->m_Circuit.Slots[3];
    struct Case {
        int mode;
        Vec3 eye;
        Vec3 aim;
    };
    const Case cases[] = {
        {0, {1000.0f, 2.7f, 1999.95f}, {1000.0f, 2.7f, 2000.95f}},
        {1, {1000.0f, 3.0f, 2000.5f}, {1000.0f, 2.9f, 2001.5f}},
        {2, {1000.0f, 2.48f + 0.7490475f, 2000.4f - 0.8938277f}, {1000.0f, 2.9f, 2000.5f}},
        {3, {1000.0f, 2.3f + 1.3171197f, 2000.25f - 3.8412492f}, {1000.0f, 2.95f, 2000.5f}},
        {4, {1005.0f, 4.8f, 2000.25f}, {1000.0f, 2.6f, 2000.5f}},
        {5, {1000.0f, 2.0f, 2003.0f}, {1000.0f, 2.0f, 2000.0f}},
        {6, {1000.2f, 2.8f, 1999.3f}, {1000.2f, 2.7f, 1998.3f}},
        {8, {1010.0f, 7.0f, 2000.0f}, {(s0.x + s3.x) * 0.5f, 7.0f, (s0.z + s3.z) * 0.5f}},
    };
    for (const Case& c : cases) {
        cam().SetMode(c.mode);
        ASSERT_EQ(cam().Mode(), c.mode);
        cam().Update(0.02f);
        ExpectNear(cam().Eye(), c.eye, "eye", c.mode);
        ExpectNear(cam().AimPoint(), c.aim, "aim", c.mode);
        EXPECT_NEAR(cam().Roll(), 0.0f, 1e-6f) << c.mode;
    }
    // The trackside lens frames a lone bike: 2 atan2(1.5, distance).
    cam().SetMode(4);
    cam().Update(0.02f);
    EXPECT_NEAR(cam().ViewFov(), 0.5354444f, 1e-4f);
    // Mode 8 looks through the middle of camera 0's lens limits.
    cam().SetMode(8);
    cam().Update(0.02f);
    EXPECT_NEAR(cam().ViewFov(), (0.05f + 1.2f) * 0.5f, 1e-6f);
}

TEST_F(CameraTest, TheViewsTurnAndLeanWithTheBike)
{
    Bike& b = PosedBike();
    // Facing +x, the second point half a metre ahead, leaning 0.3 rad.
    b.RiderAngles = Vec3(0.0f, kHalfPi, 0.0f);
    b.Heading = kHalfPi;
    b.CgPosition = Vec3(1000.5f, 2.6f, 2000.0f);
    cam().m_FixedCams[0] = {0.0f, 1.0f, 0.5f, 0.0f};
    cam().FollowBike(&b);

    cam().SetMode(3);
    cam().Update(0.02f);
    ExpectNear(cam().Eye(), Vec3(1000.25f - 3.8412492f, 2.3f + 1.3171197f, 2000.0f), "eye", 3);
    ExpectNear(cam().AimPoint(), Vec3(1000.5f, 2.95f, 2000.0f), "aim", 3);

    b.Roll = 0.3f;
    cam().SetMode(1);
    cam().Update(0.02f);
    ExpectNear(cam().Eye(), Vec3(1000.5f, 2.9637709f, 2000.2667314f), "eye", 1);
    ExpectNear(cam().AimPoint(), Vec3(1001.5f, 2.8673938f, 2000.2400583f), "aim", 1);
    EXPECT_NEAR(cam().Roll(), -0.27f, 1e-6f);
    cam().SetMode(6);
    cam().Update(0.02f);
    EXPECT_NEAR(cam().Roll(), 0.27f, 1e-6f);
}

TEST_F(CameraTest, TheYawFollowsTheHeadingAndSnapsOnRequest)
{
    Bike& b = PosedBike();
    cam().FollowBike(&b);
    cam().SetMode(3);
    cam().Update(0.02f); // placed at once: yaw 0
    b.RiderAngles.y = 1.0f;
    cam().Update(0.02f);
    const float eased = std::atan2(cam().Eye().x - 1000.0f, cam().Eye().z - 2000.25f);
    // Behind the bike at a yaw between 0 and 1: the eye is on the -x side.
    EXPECT_LT(cam().Eye().x, 1000.0f);
    EXPECT_GT(std::fabs(eased), 0.0f);
    b.Status |= kBikeRearSlideFall;
    for (int i = 0; i < 200 && (b.Status & kBikeRearSlideFall); ++i)
        cam().Update(0.02f);
    EXPECT_FALSE(b.Status & kBikeRearSlideFall) << "the snap request is taken";
    // Now exactly behind the heading 1.0.
    const Vec3 eye = cam().Eye();
    const Vec3 mid(1000.0f, 2.3f, 2000.25f);
    EXPECT_NEAR(std::atan2(mid.x - eye.x, mid.z - eye.z), 1.0f, 1e-4f);
}

TEST_F(CameraTest, TheTracksideCameraChangesAsTheBikeGoesRound)
{
    Bike& b = PosedBike();
    const float lap = race->m_Circuit.Length;
    ASSERT_GT(lap, 300.0f);
    const TvCamera tv[3] = {
        MakeTv(0.0f, 5.0f, 0.0f, 10.0f, lap / 3.0f),
        MakeTv(50.0f, 5.0f, 0.0f, lap / 3.0f, 2.0f * lap / 3.0f),
        MakeTv(0.0f, 5.0f, 50.0f, 2.0f * lap / 3.0f, 10.0f), // across the finish line
    };
    cam().SetTvCameras(tv, 3);
    cam().FollowBike(&b);
    // The last camera runs across the line: it keeps its range.
    EXPECT_EQ(cam().TvCameras()[2].To, 10.0f);
    cam().SetMode(4);
    for (float d = 0.0f; d < lap; d += 7.0f) {
        b.Progress = d;
        cam().Update(0.02f);
        const int want = d < 10.0f ? 2 : (d < lap / 3.0f ? 0 : (d < 2.0f * lap / 3.0f ? 1 : 2));
        ASSERT_EQ(cam().TvCurrent(), want) << "at " << d;
        ExpectNear(cam().Eye(), Vec3(tv[want].X, tv[want].Y, tv[want].Z), "eye", 4);
    }
}

TEST_F(CameraTest, AStretchWithoutCameraKeepsThePreviousOne)
{
    Bike& b = PosedBike();
    const TvCamera tv[3] = {MakeTv(0, 5, 0, 0, 100), MakeTv(1, 5, 0, 200, 300), MakeTv(2, 5, 0, 300, 400)};
    cam().SetTvCameras(tv, 3);
    cam().FollowBike(&b);
    b.Progress = 250.0f;
    cam().SetMode(4);
    EXPECT_EQ(cam().TvCurrent(), 1);
    b.Progress = 150.0f;
    cam().Update(0.02f);
    EXPECT_EQ(cam().TvCurrent(), 1);
    b.Progress = 50.0f;
    cam().Update(0.02f);
    EXPECT_EQ(cam().TvCurrent(), 0);
}

TEST_F(CameraTest, ANewGroupOfBikesIsFramedOnlyAfterItHeldForASecond)
{
    Bikes(2);
    Bike& target = race->m_pBikes[0];
    Bike& other = race->m_pBikes[1];
    target.Progress = 100.0f;
    target.CgPosition = target.Position = Vec3(0.0f, 1.0f, 100.0f);
    other.Progress = 110.0f;
    other.CgPosition = other.Position = Vec3(0.0f, 1.0f, 110.0f);
    target.Ahead = &other;
    other.Behind = &target;
    const TvCamera tv = MakeTv(30.0f, 5.0f, 100.0f, 0.0f, 400.0f);
    cam().SetTvCameras(&tv, 1);
    cam().FollowBike(&target);
    cam().SetMode(4);
    cam().Update(0.02f);
    EXPECT_EQ(cam().FramedAhead(), 1);
    ExpectNear(cam().AimPoint(), Vec3(0.0f, 1.0f, 105.0f), "aim", 4);

    other.Progress = 130.0f; // 30 m ahead: out of the shot, once that has held for 1 s
    other.CgPosition = other.Position = Vec3(0.0f, 1.0f, 130.0f);
    for (int i = 0; i < 25; ++i)
        cam().Update(0.02f);
    EXPECT_EQ(cam().FramedAhead(), 1);
    for (int i = 0; i < 30; ++i)
        cam().Update(0.02f);
    EXPECT_EQ(cam().FramedAhead(), 0);
    // Blending over the next second from the last shot (both bikes, the
    // other now at 130: aim 115) to the target alone.
    const float early = cam().AimPoint().z;
    EXPECT_GT(early, 100.5f);
    EXPECT_LT(early, 115.0f);
    for (int i = 0; i < 25; ++i)
        cam().Update(0.02f);
    EXPECT_GT(cam().AimPoint().z, 100.5f);
    EXPECT_LT(cam().AimPoint().z, early - 5.0f);
    for (int i = 0; i < 30; ++i)
        cam().Update(0.02f);
    ExpectNear(cam().AimPoint(), Vec3(0.0f, 1.0f, 100.0f), "aim", 4);
}

TEST_F(CameraTest, WithoutTracksideCamerasTheirModesShowTheTrailingView)
{
    Bike& b = PosedBike();
    cam().FollowBike(&b);
    cam().SetMode(3);
    cam().Update(0.02f);
    const Vec3 eye = cam().Eye();
    const Vec3 aim = cam().AimPoint();
    for (int mode : {4, 8}) {
        cam().SetMode(mode);
        EXPECT_EQ(cam().Mode(), mode);
        EXPECT_EQ(cam().TvCount(), 0);
        cam().Update(0.02f);
        ExpectNear(cam().Eye(), eye, "eye", mode);
        ExpectNear(cam().AimPoint(), aim, "aim", mode);
    }
}

TEST_F(CameraTest, LoadGivesDefaultLensesWhenTheListIsMissingOrDamaged)
{
    // No "Data/Details.dat" and no camera file here.
    ASSERT_TRUE(cam().Load("Sugo"));
    EXPECT_EQ(cam().TvCount(), 0);
    for (int mode = 0; mode < kCameraModes; ++mode)
        EXPECT_EQ(cam().m_Focals[mode], kDefaultFocalDegrees) << mode;
    Bike& b = PosedBike();
    cam().FollowBike(&b);
    cam().SetMode(2);
    EXPECT_NEAR(cam().Lens(), kDefaultFocalDegrees * kDegreesToRadians, 1e-6f);

    race_test::WriteText(dir() / "Data" / "Details.dat",
                         "FOCALS\r\nf70 f65 f0 f55 f30 fnan f65 f50 f40\r\nEND_LIST\r\n"
                         "FIXED_CAMS\r\nf0 f1.1 f0.4 f0\r\nf0.1 f0.9 f-0.6 f0.05\r\nEND_LIST\r\n");
    ASSERT_TRUE(cam().Load("Sugo"));
    const float want[kCameraModes] = {70, 65, kDefaultFocalDegrees, 55, 30, kDefaultFocalDegrees, 65, 50, 40};
    for (int mode = 0; mode < kCameraModes; ++mode)
        EXPECT_EQ(cam().m_Focals[mode], want[mode]) << mode;
    EXPECT_EQ(cam().m_FixedCams[1].Z, -0.6f);
    EXPECT_GT(cam().m_FixedCams[2].Y, 0.0f) << "models the list does not give keep a default";
}

TEST_F(CameraTest, LoadReadsTheTracksCameraFileInRadians)
{
    race_test::WriteText(dir() / "Data" / "Tracks" / "Sug_cam.dat",
                         "CAMERAS\r\nsCAM0 f1 f2 f3 f0 f100 f10 f40 f0.2\r\nEND_LIST\r\n");
    ASSERT_TRUE(cam().Load("Sugo"));
    ASSERT_EQ(cam().TvCount(), 1);
    EXPECT_NEAR(cam().TvCameras()[0].FocMin, 10.0f * kDegreesToRadians, 1e-6f);
    EXPECT_NEAR(cam().TvCameras()[0].FocMax, 40.0f * kDegreesToRadians, 1e-6f);
}

TEST_F(CameraTest, TheFarPlaneGuardPullsTheEyeInAndNarrowsTheLens)
{
    Bike& b = PosedBike();
    const TvCamera tv = MakeTv(1000.0f, 2.6f, 2100.5f, 0.0f, 100000.0f, 0.05f, 1.2f);
    cam().SetTvCameras(&tv, 1);
    cam().FollowBike(&b);
    cam().m_nClip = 60; // 100 m from the bike, 50 m allowed
    cam().SetMode(4);
    cam().Update(0.02f);
    EXPECT_NEAR(cam().Eye().Minus(cam().AimPoint()).Length(), 50.0f, 1e-3f);
    const float lens = cam().Lens();
    EXPECT_NEAR(cam().ViewFov(), 2.0f * std::atan(100.0f * std::tan(lens * 0.5f) / 50.0f), 1e-5f);
    EXPECT_LT(cam().ViewFov(), lens * 2.01f);

    // A clipping distance of 10 m or less leaves the view alone (no
    // division by zero, no eye pushed through the aim point).
    for (int clip : {10, 5, 0}) {
        cam().m_nClip = clip;
        cam().Update(0.02f);
        ExpectNear(cam().Eye(), Vec3(1000.0f, 2.6f, 2100.5f), "eye", clip);
        EXPECT_EQ(cam().ViewFov(), cam().Lens());
    }
}

TEST_F(CameraTest, TheSceneCameraTakesTheView)
{
    Bike& b = PosedBike();
    camera scene;
    cam().SetSceneCamera(&scene);
    cam().FollowBike(&b);
    cam().SetMode(3);
    cam().Update(0.02f);
    EXPECT_EQ(scene.position.x, cam().Eye().x);
    EXPECT_EQ(scene.position.z, cam().Eye().z);
    EXPECT_EQ(scene.target.y, cam().AimPoint().y);
    EXPECT_NEAR(scene.fov, cam().ViewFov(), 1e-6f);
    cam().Release();
    cam().Update(0.02f); // forgotten: no use of the scene camera after the release
}

TEST_F(CameraTest, TheStartSweepRunsFromTheFirstToTheLastBike)
{
    Bikes(8);
    const Track& circuit = race->m_Circuit;
    for (int i = 0; i < 8; ++i)
        race->m_pBikes[i].Progress = circuit.Length - 5.0f - 8.0f * static_cast<float>(i);
    cam().FollowBike(&race->m_pBikes[0]);
    cam().SetMode(kCameraStart);
    cam().Update(0.02f);
    Vec2 p0;
    circuit.DistanceToPoint(race->m_pBikes[0].Progress, &p0, nullptr);
    EXPECT_NEAR(cam().AimPoint().x, p0.x, 1e-3f);
    EXPECT_NEAR(cam().AimPoint().z, p0.z, 1e-3f);

    // Fewer than four riders: the sweep's length would be negative; it
    // stays on the first bike.
    race->m_nBikes = 3;
    cam().Update(0.02f);
    EXPECT_NEAR(cam().AimPoint().x, p0.x, 1e-3f);
    EXPECT_NEAR(cam().AimPoint().z, p0.z, 1e-3f);
}

TEST_F(CameraTest, OnboardViewsHideTheBikeAndShowTheCockpit)
{
    Bike& b = PosedBike();
    ml_modelinfo bikeModel, riderModel, cockpit3d[5], cockpit2d[5], bars;
    b.BikeInstance = &bikeModel;
    b.RiderInstance = &riderModel;
    for (int i = 0; i < 5; ++i) {
        cam().m_pCockpit3d[i] = &cockpit3d[i];
        cam().m_pCockpit2d[i] = &cockpit2d[i];
        cockpit3d[i].flags = cockpit2d[i].flags = model_active;
    }
    cam().m_pHandlebars = &bars;
    cam().FollowBike(&b);
    auto shown = [](const ml_modelinfo& m) { return (m.flags & model_active) != 0; };
    struct Case {
        int mode;
        std::uint32_t status;
        bool onboard;
        bool cockpit2d;
    };
    const Case cases[] = {
        {0, 0, true, false},           {0, kBikeBodyActive, false, false}, {1, 0, true, false},
        {2, 0, false, true},           {3, 0, false, true},                {4, 0, false, false},
        {6, 0, false, false},
    };
    const TvCamera tv = MakeTv(1010.0f, 7.0f, 2000.0f, 0.0f, 100000.0f);
    cam().SetTvCameras(&tv, 1);
    for (const Case& c : cases) {
        b.Status = c.status;
        cam().SetMode(c.mode);
        cam().Update(0.02f);
        EXPECT_EQ(shown(bikeModel), !c.onboard) << c.mode;
        EXPECT_EQ(shown(riderModel), !c.onboard) << c.mode;
        EXPECT_EQ(shown(cockpit3d[0]), c.onboard) << c.mode;
        EXPECT_EQ(shown(bars), c.onboard) << c.mode;
        EXPECT_EQ(shown(cockpit2d[0]), c.cockpit2d) << c.mode;
        for (int i = 1; i < 5; ++i)
            EXPECT_FALSE(shown(cockpit3d[i]) || shown(cockpit2d[i])) << "other models' cockpits, mode " << c.mode;
    }
    // Leaving an onboard view by following another bike shows this one again.
    b.Status = 0;
    cam().SetMode(1);
    cam().Detach();
    EXPECT_TRUE(shown(bikeModel));
    EXPECT_FALSE(shown(cockpit3d[0]));
    EXPECT_FALSE(shown(bars));
    cam().Release();
}

class DirectorTest : public CameraTest {
protected:
    void SetUp() override
    {
        CameraTest::SetUp();
        Bikes(3);
        race->m_uRunFlags |= kAppFlagDemo;
        const TvCamera tv = MakeTv(0.0f, 5.0f, 0.0f, 0.0f, 100000.0f);
        cam().SetTvCameras(&tv, 1);
        Place(0, 500.0f);
        Place(1, 530.0f);
        Place(2, 470.0f);
        target().Ahead = &race->m_pBikes[1];
        target().Behind = &race->m_pBikes[2];
        cam().FollowBike(&target());
        ASSERT_TRUE(cam().DirectorOn());
    }
    void Place(int i, float d)
    {
        race->m_pBikes[i].Progress = d;
        race->m_pBikes[i].CgPosition = race->m_pBikes[i].Position = Vec3(0.0f, 1.0f, d);
    }
    Bike& target() { return race->m_pBikes[0]; }
    // Seconds of updates.
    void Run(float seconds)
    {
        for (float t = 0.0f; t < seconds; t += 0.05f)
            cam().Update(0.05f);
    }
};

TEST_F(DirectorTest, OnboardViewsGiveWayToTheTracksideWhenNoOneIsClose)
{
    cam().SetMode(1); // the bike ahead is 30 m away
    Run(2.9f);
    EXPECT_EQ(cam().Mode(), 1) << "never in the first 3 s";
    Run(0.3f);
    EXPECT_EQ(cam().Mode(), 4);

    Place(2, 495.0f); // 5 m behind: the rear view holds up to 10 s
    cam().SetMode(6);
    Run(9.0f);
    EXPECT_EQ(cam().Mode(), 6);
    Run(1.5f);
    EXPECT_EQ(cam().Mode(), 4);
}

TEST_F(DirectorTest, TheTracksideViewCutsToTheCloserNeighbourAfterTwentySeconds)
{
    Place(1, 504.0f); // 4 m ahead, 30 m behind
    target().RaceTime = 10.0f;
    cam().SetMode(4);
    Run(5.0f);
    EXPECT_EQ(cam().Mode(), 4) << "not before the target has raced 20 s";
    target().RaceTime = 25.0f;
    Run(0.2f);
    EXPECT_EQ(cam().Mode(), 1);

    Place(1, 540.0f);
    Place(2, 492.0f); // 8 m behind: only after 10 s in the mode
    cam().SetMode(4);
    Run(9.5f);
    EXPECT_EQ(cam().Mode(), 4);
    Run(1.0f);
    EXPECT_EQ(cam().Mode(), 6);
}

TEST_F(CameraTest, ModeKeysAndCycling)
{
    Bike& b = PosedBike();
    cam().FollowBike(&b);
    cam().SetMode(6);
    cam().CycleMode(1);
    EXPECT_EQ(cam().Mode(), 0);
    cam().CycleMode(-1);
    EXPECT_EQ(cam().Mode(), 6);

    auto press = [&](int key) {
        std::memset(input.m_KeyState, 0, sizeof input.m_KeyState);
        std::memset(input.m_PrevKeyState, 0, sizeof input.m_PrevKeyState);
        input.m_KeyState[key] = 0x80;
        cam().Update(0.02f);
    };
    press(0x04); // "3"
    EXPECT_EQ(cam().Mode(), 2);
    EXPECT_EQ(app.Camera, 2);
    for (std::uint32_t blocker : {0x08u, 0x10u, 0x20u, 0x80u}) {
        race->GetHud().Raise(blocker);
        if (!race->GetHud().Test(blocker))
            continue;
        press(0x02); // "1"
        EXPECT_EQ(cam().Mode(), 2) << std::hex << blocker;
        race->GetHud().Clear(blocker);
    }
    press(0x02);
    EXPECT_EQ(cam().Mode(), 0);
}

TEST_F(CameraTest, ModeChangesRaiseTheCockpitOrTracksideMessage)
{
    Bike& b = PosedBike();
    const TvCamera tv = MakeTv(0.0f, 5.0f, 0.0f, 0.0f, 100000.0f);
    cam().SetTvCameras(&tv, 1);
    cam().FollowBike(&b);
    Hud& hud = race->GetHud();
    cam().SetMode(4);
    EXPECT_TRUE(hud.Messages() & kHudTrackside);
    EXPECT_FALSE(hud.Messages() & kHudOnboard);
    cam().SetMode(2);
    EXPECT_TRUE(hud.Messages() & kHudOnboard);
    EXPECT_FALSE(hud.Messages() & kHudTrackside);
    cam().SetMode(5);
    EXPECT_FALSE(hud.Messages() & (kHudOnboard | kHudTrackside));
}

} // namespace
