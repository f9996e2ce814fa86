// The trackside camera file (round trip, damaged files, the 40-camera cap,
// an atomic save) and the camera editor (adding, moving, range keys,
// deleting, saving and reloading), and the demo data's cameras covering
// every circuit's lap.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "input/input_manager.h"
#include "race/camera_editor.h"
#include "race/trackside_cameras.h"
#include "sim/track.h"
#include "tests/race/race_fixture.h"
#include "tests/support/temp_dir.h"
#include "tools/datakit/demo_circuits.h"
#include "tools/datakit/demo_data.h"
#include "tools/datakit/trackside_camera_writer.h"

namespace {

using race_test::ReadText;
using race_test::WriteText;

class CameraFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = torvane_test::make_temp_dir("camfile");
        cwd_ = std::make_unique<torvane_test::ScopedCwd>(dir_);
    }
    void TearDown() override { cwd_.reset(); }
    const std::filesystem::path& dir() const { return dir_; }

private:
    std::filesystem::path dir_;
    std::unique_ptr<torvane_test::ScopedCwd> cwd_;
};

TEST_F(CameraFileTest, ASavedFileReadsBackWithNamesInOrderAndLimitsInRadians)
{
    TvCamera cams[3] = {};
    std::strcpy(cams[0].Name, "Start");
    std::strcpy(cams[1].Name, "CAM7");
    std::strcpy(cams[2].Name, "x");
    for (int i = 0; i < 3; ++i) {
        cams[i].X = 10.5f * static_cast<float>(i) - 3.25f;
        cams[i].Y = 4.0f + static_cast<float>(i);
        cams[i].Z = -120.125f;
        cams[i].From = 100.0f * static_cast<float>(i);
        cams[i].To = i == 2 ? 20.0f : 100.0f * static_cast<float>(i + 1);
        cams[i].FocMin = 0.034906585f * static_cast<float>(i + 1);
        cams[i].FocMax = 1.2f - 0.1f * static_cast<float>(i);
        cams[i].FakeZoom = 0.25f * static_cast<float>(i);
    }
    std::string error;
    ASSERT_TRUE(SaveTvCameras("Tst_cam.dat", cams, 3, &error)) << error;
    const std::string text = ReadText(dir() / "Tst_cam.dat");
    EXPECT_EQ(text.rfind("CAMERAS\n* Nome\t\tX", 0), 0u);
    EXPECT_NE(text.find("sCAM0\tf-3.250000\t"), std::string::npos) << text;
    EXPECT_NE(text.find("\tf2.000000\tf68.754936\t"), std::string::npos) << "limits in degrees: " << text;
    EXPECT_FALSE(std::filesystem::exists(dir() / "Tst_cam.dat.tmp"));

    TvCamera back[kMaxTvCameras];
    ASSERT_EQ(LoadTvCameras("Tst_cam.dat", back, kMaxTvCameras, &error), 3) << error;
    for (int i = 0; i < 3; ++i) {
        EXPECT_STREQ(back[i].Name, ("CAM" + std::to_string(i)).c_str());
        EXPECT_EQ(back[i].X, cams[i].X);
        EXPECT_EQ(back[i].From, cams[i].From);
        EXPECT_EQ(back[i].To, cams[i].To);
        EXPECT_NEAR(back[i].FocMin, cams[i].FocMin, 1e-6f);
        EXPECT_NEAR(back[i].FocMax, cams[i].FocMax, 1e-6f);
        EXPECT_EQ(back[i].FakeZoom, cams[i].FakeZoom);
    }
}

TEST_F(CameraFileTest, DamagedFilesAreRefusedWhole)
{
    const std::string good = "sCAM0 f1 f2 f3 f0 f100 f4 f45 f0\r\n";
    struct Case {
        const char* what;
        std::string record;
    };
    const Case cases[] = {
        {"limits the wrong way round", "sCAM1 f1 f2 f3 f0 f100 f50 f45 f0\r\n"},
        {"zero lower limit", "sCAM1 f1 f2 f3 f0 f100 f0 f45 f0\r\n"},
        {"limit of 180 degrees", "sCAM1 f1 f2 f3 f0 f100 f4 f180 f0\r\n"},
        {"zoom beyond the camera's target", "sCAM1 f1 f2 f3 f0 f100 f4 f45 f1.5\r\n"},
        {"negative zoom", "sCAM1 f1 f2 f3 f0 f100 f4 f45 f-0.1\r\n"},
        {"negative distance", "sCAM1 f1 f2 f3 f-5 f100 f4 f45 f0\r\n"},
        {"fields of the wrong type", "sCAM1 sA sB sC f0 f100 f4 f45 f0\r\n"},
        {"a distance past the float range", "sCAM1 f1 f2 f3 f0 f1e39 f4 f45 f0\r\n"},
        {"an infinite limit", "sCAM1 f1 f2 f3 f0 f100 f4 finf f0\r\n"},
    };
    for (const Case& c : cases) {
        WriteText(dir() / "Bad_cam.dat", "CAMERAS\r\n" + good + c.record + "END_LIST\r\n");
        TvCamera cams[kMaxTvCameras];
        std::string error;
        EXPECT_EQ(LoadTvCameras("Bad_cam.dat", cams, kMaxTvCameras, &error), 0) << c.what;
        EXPECT_FALSE(error.empty()) << c.what;
    }
}

TEST_F(CameraFileTest, MissingEmptyAndOverlongFiles)
{
    TvCamera cams[kMaxTvCameras];
    std::string error;
    EXPECT_EQ(LoadTvCameras("None_cam.dat", cams, kMaxTvCameras, &error), 0);
    WriteText(dir() / "Emp_cam.dat", "CAMERAS\r\nEND_LIST\r\n");
    EXPECT_EQ(LoadTvCameras("Emp_cam.dat", cams, kMaxTvCameras, &error), 0);
    // A record cut short is not a camera.
    WriteText(dir() / "Cut_cam.dat", "CAMERAS\r\nsCAM0 f1 f2 f3 f0 f100 f4 f45 f0\r\nsCAM1 f1 f2\r\nEND_LIST\r\n");
    EXPECT_EQ(LoadTvCameras("Cut_cam.dat", cams, kMaxTvCameras, &error), 1);

    std::string text = "CAMERAS\r\n";
    for (int i = 0; i < 45; ++i)
        text += "sCAM" + std::to_string(i) + " f1 f2 f3 f" + std::to_string(i * 10) + " f" +
                std::to_string(i * 10 + 10) + " f4 f45 f0\r\n";
    WriteText(dir() / "Lng_cam.dat", text + "END_LIST\r\n");
    TvCamera many[kMaxTvCameras + 8];
    std::memset(many, 0x5A, sizeof many);
    EXPECT_EQ(LoadTvCameras("Lng_cam.dat", many, kMaxTvCameras + 8, &error), kMaxTvCameras);
    EXPECT_EQ(many[kMaxTvCameras - 1].From, 390.0f);
    EXPECT_EQ(many[kMaxTvCameras].From, many[kMaxTvCameras + 1].From) << "nothing written past 40";
}

TEST_F(CameraFileTest, AFailedSaveLeavesTheOldFileAndSaysSo)
{
    TvCamera cam{};
    cam.FocMin = 0.1f;
    cam.FocMax = 0.5f;
    std::string error;
    EXPECT_FALSE(SaveTvCameras("no/such/folder/X_cam.dat", &cam, 1, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(SaveTvCameras("X_cam.dat", &cam, kMaxTvCameras + 1, &error));
    EXPECT_FALSE(std::filesystem::exists(dir() / "X_cam.dat"));
}

TEST(TracksideCameraFile, NamesAndRanges)
{
    EXPECT_EQ(TrackCameraFileName("Island"), "Data\\Tracks\\Isl_cam.dat");
    EXPECT_EQ(EditorCameraFileName("a1ring"), "a1r_cam.dat");
    EXPECT_EQ(EditorCameraFileName("Ab"), "Ab_cam.dat");
    TvCamera c{};
    c.From = 10.0f;
    c.To = 20.0f;
    EXPECT_TRUE(TvCameraCovers(c, 10.0f));
    EXPECT_FALSE(TvCameraCovers(c, 20.0f));
    c.From = 900.0f; // across the finish line
    EXPECT_TRUE(TvCameraCovers(c, 950.0f));
    EXPECT_TRUE(TvCameraCovers(c, 5.0f));
    EXPECT_FALSE(TvCameraCovers(c, 20.0f));
    EXPECT_FALSE(TvCameraCovers(c, 500.0f));
}

// The editor on the "Sugo" circuit, driven through the input manager's keys.
class EditorTest : public CameraFileTest {
protected:
    void SetUp() override
    {
        CameraFileTest::SetUp();
        std::string error;
        ASSERT_TRUE(datakit::write_demo_tracks(dir(), error)) << error;
        ASSERT_TRUE(circuit.Load("Sugo"));
        saved_input_ = TheInputManager();
        SetTheInputManager(&input);
        editor = std::make_unique<CameraEditor>();
        editor->Init(circuit, "Sugo");
    }
    void TearDown() override
    {
        editor.reset();
        input.RemoveTarget(nullptr);
        SetTheInputManager(saved_input_);
        CameraFileTest::TearDown();
    }
    // One frame with `key` going down (and held) on it.
    void Press(int key, float dt = 0.02f, int shift = 0)
    {
        std::memset(input.m_KeyState, 0, sizeof input.m_KeyState);
        std::memset(input.m_PrevKeyState, 0, sizeof input.m_PrevKeyState);
        input.m_KeyState[key] = 0x80;
        if (shift)
            input.m_KeyState[0x2A] = 0x80;
        editor->Run(dt, false);
    }
    // Frames with `key` held since before them.
    void Hold(int key, float seconds, bool shift = false)
    {
        std::memset(input.m_KeyState, 0, sizeof input.m_KeyState);
        input.m_KeyState[key] = 0x80;
        if (shift)
            input.m_KeyState[0x2A] = 0x80;
        std::memcpy(input.m_PrevKeyState, input.m_KeyState, sizeof input.m_KeyState);
        for (float t = 0.0f; t < seconds - 1e-4f; t += 0.1f)
            editor->Run(0.1f, false);
    }
    const TvCamera& at(int i) { return editor->Cameras()[i]; }

    Track circuit;
    InputManager input;
    std::unique_ptr<CameraEditor> editor;

private:
    InputManager* saved_input_ = nullptr;
};

constexpr int kInsert = 0xD2;
constexpr int kDelete = 0xD3;
constexpr int kPageDown = 0xD1;
constexpr int kPageUp = 0xC9;
constexpr int kKeyP = 0x19;
constexpr int kKeyS = 0x1F;
constexpr int kKeyL = 0x26;
constexpr int kPad1 = 0x4F;
constexpr int kPad3 = 0x51;
constexpr int kPad7 = 0x47;
constexpr int kPad9 = 0x49;
constexpr int kPadPlus = 0x4E;
constexpr int kPadDivide = 0xB5;

TEST_F(EditorTest, AddingCamerasKeepsTheirRangesTouching)
{
    const Vec3 start = editor->m_Eye;
    Press(kInsert);
    Press(kInsert);
    Press(kInsert);
    ASSERT_EQ(editor->Count(), 3);
    EXPECT_EQ(editor->Current(), 2);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(at(i).From, 10.0f * static_cast<float>(i)) << i;
        EXPECT_EQ(at(i).To, 10.0f * static_cast<float>(i + 1)) << i;
        EXPECT_EQ(at(i).X, start.x);
        EXPECT_NEAR(at(i).FocMin, 0.034906585f, 1e-7f);
        EXPECT_NEAR(at(i).FocMax, 1.3962634f, 1e-7f);
        EXPECT_STREQ(at(i).Name, ("CAM" + std::to_string(i)).c_str());
    }
    // Inserted after camera 0: the one after it moves 10 m on.
    Press(kPageUp);
    Press(kPageUp);
    ASSERT_EQ(editor->Current(), 0);
    Press(kInsert);
    EXPECT_EQ(editor->Current(), 1);
    EXPECT_EQ(editor->Count(), 4);
    EXPECT_EQ(at(1).From, 10.0f);
    EXPECT_EQ(at(1).To, 20.0f);
    EXPECT_EQ(at(2).From, 20.0f);

    for (int i = editor->Count(); i < kMaxTvCameras; ++i)
        ASSERT_TRUE(editor->AddCamera());
    EXPECT_FALSE(editor->AddCamera()) << "at most 40";
    EXPECT_EQ(editor->Count(), kMaxTvCameras);
}

TEST_F(EditorTest, MovingAndRangeKeys)
{
    Press(kInsert);
    Press(kInsert);
    Press(kInsert);
    Press(kPageUp); // camera 1
    ASSERT_EQ(editor->Current(), 1);
    EXPECT_EQ(editor->m_Eye.x, at(1).X);

    // The eye flies forward, P puts the camera there.
    editor->m_Controls.Throttle = 127;
    std::memset(input.m_KeyState, 0, sizeof input.m_KeyState);
    editor->Run(0.5f, false);
    editor->m_Controls.Throttle = 0;
    ASSERT_GT(editor->m_Eye.Minus(Vec3(at(1).X, at(1).Y, at(1).Z)).Length(), 10.0f);
    Press(kKeyP);
    EXPECT_EQ(at(1).X, editor->m_Eye.x);
    EXPECT_EQ(at(1).Z, editor->m_Eye.z);

    // From moves up to To - 5 and drags the previous camera's To with it.
    Hold(kPad9, 2.0f);
    EXPECT_EQ(at(1).From, at(1).To - 5.0f);
    EXPECT_EQ(at(0).To, at(1).From);
    // Down to the previous camera's From + 5.
    Hold(kPad7, 2.0f, true);
    EXPECT_EQ(at(1).From, at(0).From + 5.0f);
    EXPECT_EQ(at(0).To, at(1).From);
    // To: up to the next camera's To - 5, down to From + 5; the next From follows.
    Hold(kPad3, 3.0f);
    EXPECT_EQ(at(1).To, at(2).To - 5.0f);
    EXPECT_EQ(at(2).From, at(1).To);
    Hold(kPad1, 3.0f, true);
    EXPECT_EQ(at(1).To, at(1).From + 5.0f);
    EXPECT_EQ(at(2).From, at(1).To);
    for (int i = 0; i < 3; ++i)
        EXPECT_GE(at(i).To - at(i).From, 5.0f) << i;

    // The lens keys set the limits.
    const float fov = editor->m_fFov;
    Hold(kPadPlus, 1.0f);
    EXPECT_NEAR(editor->m_fFov, fov + 0.1f, 1e-5f);
    Press(kPadDivide);
    EXPECT_EQ(at(1).FocMin, editor->m_fFov);
}

TEST_F(EditorTest, DeletingClosesTheGap)
{
    for (int i = 0; i < 3; ++i)
        Press(kInsert);
    Press(kPageUp); // camera 1: [10, 20)
    Press(kDelete);
    ASSERT_EQ(editor->Count(), 2);
    EXPECT_EQ(editor->Current(), 1);
    EXPECT_EQ(at(0).To, at(1).From);
    EXPECT_EQ(at(1).From, 20.0f);
    Press(kPageUp);
    Press(kDelete); // the first: the new first starts where it did
    ASSERT_EQ(editor->Count(), 1);
    EXPECT_EQ(at(0).From, 0.0f);
    Press(kDelete);
    EXPECT_EQ(editor->Count(), 0);
    EXPECT_FALSE(editor->DeleteCamera());
}

TEST_F(EditorTest, SaveAndReloadKeepTheCameras)
{
    for (int i = 0; i < 3; ++i)
        Press(kInsert);
    Hold(kPadPlus, 1.0f);
    Press(kPadDivide); // camera 2's lower limit in radians
    const float focMin = at(2).FocMin;
    std::strcpy(const_cast<TvCamera&>(at(1)).Name, "Renamed");
    Press(kKeyS);
    ASSERT_TRUE(std::filesystem::exists(dir() / "Sug_cam.dat"));
    const TvCamera saved[3] = {at(0), at(1), at(2)};

    editor->AddCamera();
    editor->m_Eye = Vec3(5.0f, 5.0f, 5.0f);
    Press(kKeyL);
    ASSERT_EQ(editor->Count(), 3);
    EXPECT_EQ(editor->Current(), 0);
    EXPECT_EQ(editor->m_Eye.x, saved[0].X);
    EXPECT_STREQ(at(1).Name, "CAM1");
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(at(i).From, saved[i].From);
        EXPECT_EQ(at(i).To, saved[i].To);
        EXPECT_NEAR(at(i).FocMax, saved[i].FocMax, 1e-6f);
    }
    EXPECT_NEAR(at(2).FocMin, focMin, 1e-6f);

    // A save that cannot be written reports failure.
    editor->m_Folder = "no/such/folder";
    std::string error;
    EXPECT_FALSE(editor->Save(&error));
}

TEST_F(EditorTest, LookAtDistanceAimsAtTheCentreLine)
{
    editor->m_Eye = Vec3(0.0f, 30.0f, 0.0f);
    editor->LookAtDistance(100.0f);
    Vec2 p;
    circuit.DistanceToPoint(100.0f, &p, nullptr);
    EXPECT_NEAR(std::atan2(editor->m_Aim.x - editor->m_Eye.x, editor->m_Aim.z - editor->m_Eye.z),
                std::atan2(p.x, p.z), 1e-4f);
    EXPECT_GT(editor->m_Angles.x, 0.0f) << "looking down from 30 m";
}

// The demo data: every circuit's cameras read without refusal and cover
// each metre of the lap with one camera standing beside the track.
TEST(DemoTracksideCameras, EveryCircuitIsCoveredAllRound)
{
    for (const char* name : datakit::kDemoCircuitNames) {
        const datakit::BuiltCircuit built = datakit::build_demo_circuit(name);
        const auto cameras = datakit::trackside_cameras(built);
        ASSERT_GE(cameras.size(), 2u) << name;
        ASSERT_LE(cameras.size(), static_cast<std::size_t>(kMaxTvCameras)) << name;
        TvCamera cams[kMaxTvCameras] = {};
        for (std::size_t i = 0; i < cameras.size(); ++i) {
            cams[i].From = cameras[i].from;
            cams[i].To = cameras[i].to;
        }
        const int n = static_cast<int>(cameras.size());
        for (float d = 0.0f; d < static_cast<float>(built.length); d += 1.0f) {
            const int found = FindTvCamera(cams, n, d);
            ASSERT_GE(found, 0) << name << " at " << d;
            // Only one camera serves each point.
            int serving = 0;
            for (int i = 0; i < n; ++i)
                serving += TvCameraCovers(cams[i], d) ? 1 : 0;
            ASSERT_EQ(serving, 1) << name << " at " << d;
        }
        for (const auto& c : cameras) {
            // Beside the track: off the road, near the middle of its stretch.
            float mid = c.from < c.to ? (c.from + c.to) * 0.5f
                                      : std::fmod((c.from + c.to + static_cast<float>(built.length)) * 0.5f,
                                                  static_cast<float>(built.length));
            double best = 1e9;
            for (const auto& s : built.circuit.sections) {
                const double cx = (s.inner0.x + s.inner1.x) * 0.5, cz = (s.inner0.z + s.inner1.z) * 0.5;
                best = std::min(best, std::hypot(c.x - cx, c.z - cz));
            }
            EXPECT_GT(best, 8.0) << name << " " << c.name << " stands on the road";
            EXPECT_LT(best, 80.0) << name << " " << c.name << " is far from the track";
            (void)mid;
        }
    }
}

TEST(DemoTracksideCameras, TheDemoDataHoldsAReadableFileForEveryCircuit)
{
    const auto dir = torvane_test::make_temp_dir("democams");
    std::string error;
    ASSERT_TRUE(datakit::write_demo_tracks(dir, error)) << error;
    ASSERT_TRUE(datakit::write_demo_trackside_cameras(dir, error)) << error;
    torvane_test::ScopedCwd cwd(dir);
    for (const char* name : datakit::kDemoCircuitNames) {
        TvCamera cams[kMaxTvCameras];
        const std::string file = TrackCameraFileName(name);
        EXPECT_GE(LoadTvCameras(file.c_str(), cams, kMaxTvCameras, &error), 2) << name << ": " << error;
    }
}

// The editor's save, made where the race reads its cameras, is what the
// race's camera takes at the next start: the cameras in order, renamed
// "CAM0", "CAM1", ..., ranges and zooms as saved, limits back in radians.
class EditorRoundTrip : public race_test::RaceFixture {};

TEST_F(EditorRoundTrip, TheRaceCameraReadsWhatTheEditorSaved)
{
    Header("Sugo", 4, 0);
    Start();
    CameraEditor& editor = race->m_CameraEditor;
    editor.m_Folder = "Data/Tracks";
    const float eyes[3][3] = {{10.5f, 4.0f, -20.25f}, {-150.0f, 7.5f, 33.0f}, {0.125f, 12.0f, 512.0f}};
    for (const auto& e : eyes) {
        editor.m_Eye = Vec3(e[0], e[1], e[2]);
        ASSERT_TRUE(editor.AddCamera());
    }
    const auto cam = [&](int i) -> TvCamera& { return const_cast<TvCamera&>(editor.Cameras()[i]); };
    std::strcpy(cam(1).Name, "Renamed");
    cam(1).FocMin = 0.2f;
    cam(1).FocMax = 0.9f;
    cam(2).FakeZoom = 0.5f;
    cam(2).To = 5.0f; // the last range runs across the line
    std::string error;
    ASSERT_TRUE(editor.Save(&error)) << error;

    race->m_Camera.Load("Sugo");
    ASSERT_EQ(race->m_Camera.TvCount(), 3);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const TvCamera& saved = editor.Cameras()[i];
        const TvCamera& read = race->m_Camera.TvCameras()[i];
        EXPECT_STREQ(read.Name, ("CAM" + std::to_string(i)).c_str());
        EXPECT_EQ(read.X, saved.X);
        EXPECT_EQ(read.Y, saved.Y);
        EXPECT_EQ(read.Z, saved.Z);
        EXPECT_EQ(read.From, saved.From);
        EXPECT_EQ(read.To, saved.To);
        EXPECT_NEAR(read.FocMin, saved.FocMin, 1e-6f);
        EXPECT_NEAR(read.FocMax, saved.FocMax, 1e-6f);
        EXPECT_EQ(read.FakeZoom, saved.FakeZoom);
    }
    // Edited again and saved over: the race reads the new file whole.
    ASSERT_TRUE(editor.DeleteCamera());
    ASSERT_TRUE(editor.Save(&error)) << error;
    race->m_Camera.Load("Sugo");
    EXPECT_EQ(race->m_Camera.TvCount(), 2);
}

} // namespace
