// Golden race frames: a 16-rider race on "Island" drawn by the headless
// runner at 320 x 200, one screenshot at a fixed run time for each camera
// mode on each path, compared with the pictures checked in under golden/
// (TORVANE_UPDATE_GOLDEN=1 writes them from the screenshots).
//
// Tolerance: a pixel may differ from the golden picture by up to 8 in any
// channel (one step of the 5- and 6-bit channels of a 16-bit screen), and at
// most kStrayPixels pixels may differ by more (edges that move by a pixel
// when a rounding changes). The race is the same bit for bit on every run,
// so a larger difference is a change of what is drawn.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string>
#include <tuple>

#include "platform/video_thread.h"
#include "race/race_camera.h"
#include "tests/support/demo_data.h"
#include "tests/support/png_image.h"
#include "tests/support/temp_dir.h"
#include "tests/tools/screenshot_reader.h"
#include "tools/racesim/race_render.h"
#include "tools/racesim/race_sim.h"

namespace {

using racesim::RenderType;

constexpr int kWidth = 320;
constexpr int kHeight = 200;
constexpr int kChannelTolerance = 8;
constexpr int kStrayPixels = 64;

struct FrameCase {
    const char* name;
    RenderType type;
    int camera;
    double time; // s of run time (the start sequence takes the first 24 s)
    bool sky;     // the view reaches the horizon: the sky shows
    bool overlay; // the mode keeps the overlay's cockpit, trackside or start-grid texts up
};

// The start-grid sweep only during the start sequence; every other mode in
// the race, the field spread out along the first lap. The trailing views (2,
// 3) are not asked to show the sky: the 2D cockpit fixed to their camera
// fills them today. Nor is the software path: it draws the sky's backdrop
// black today (the 3D device draws it); both are the race's drawing to mend,
// and the pictures then to be taken again.
constexpr double kGrid = 8.0;
constexpr double kRacing = 40.0;
constexpr FrameCase kFrames[] = {
    {"island_hw_cam0", RenderType::Device3d, kCameraOnboard, kRacing, true, true},
    {"island_hw_cam1", RenderType::Device3d, kCameraFront, kRacing, true, true},
    {"island_hw_cam2", RenderType::Device3d, kCameraTrailClose, kRacing, false, true},
    {"island_hw_cam3", RenderType::Device3d, kCameraChase, kRacing, false, true},
    {"island_hw_cam4", RenderType::Device3d, kCameraTelevision, kRacing, true, true},
    {"island_hw_cam5", RenderType::Device3d, kCameraFree, kRacing, true, false},
    {"island_hw_cam6", RenderType::Device3d, kCameraRear, kRacing, true, false},
    {"island_hw_cam7", RenderType::Device3d, kCameraStart, kGrid, false, true},
    {"island_hw_cam8", RenderType::Device3d, kCameraPitBox, kRacing, true, false},
    {"island_sw_cam0", RenderType::Software, kCameraOnboard, kRacing, false, true},
    {"island_sw_cam1", RenderType::Software, kCameraFront, kRacing, false, true},
    {"island_sw_cam2", RenderType::Software, kCameraTrailClose, kRacing, false, true},
    {"island_sw_cam3", RenderType::Software, kCameraChase, kRacing, false, true},
    {"island_sw_cam4", RenderType::Software, kCameraTelevision, kRacing, false, true},
    {"island_sw_cam5", RenderType::Software, kCameraFree, kRacing, false, false},
    {"island_sw_cam6", RenderType::Software, kCameraRear, kRacing, false, false},
    {"island_sw_cam7", RenderType::Software, kCameraStart, kGrid, false, true},
    {"island_sw_cam8", RenderType::Software, kCameraPitBox, kRacing, false, false},
};

void PrintTo(const FrameCase& c, std::ostream* os)
{
    *os << c.name;
}

class RaceFramesTest : public ::testing::TestWithParam<FrameCase> {
protected:
    void SetUp() override
    {
        dir_ = torvane_test::make_temp_dir("raceframes");
        std::string error;
        ASSERT_TRUE(torvane_test::install_demo_data(dir_ / "data", error)) << error;
    }
    void TearDown() override { platform::shutdown_video_thread(); }

    // The screenshot of the frame at the case's time; `sceneFrames` the
    // frames in which the race drew its scene.
    void Shoot(const FrameCase& c, torvane_test::Screenshot& shot, long long& sceneFrames)
    {
        racesim::Options o;
        o.data = (dir_ / "data").string();
        o.track = "Island";
        o.riders = 16;
        o.laps = 3;
        o.camera = c.camera;
        o.render.dir = (dir_ / "shots").string();
        o.render.every = c.time;
        o.render.type = c.type;
        o.render.width = kWidth;
        o.render.height = kHeight;
        racesim::Runner runner(o);
        ASSERT_TRUE(runner.Started());
        while (runner.Render()->Screenshots().empty() && runner.Frame()) {
        }
        const racesim::Result result = runner.Finish();
        ASSERT_TRUE(result.render_error.empty()) << result.render_error;
        ASSERT_EQ(result.screenshots.size(), 1u);
        sceneFrames = result.phases.scene_frames;
        std::string error;
        ASSERT_TRUE(torvane_test::read_screenshot(result.screenshots[0], shot, error)) << error;
    }

    std::filesystem::path dir_;
};

TEST_P(RaceFramesTest, MatchesItsGoldenFrame)
{
    const FrameCase& c = GetParam();
    torvane_test::Screenshot shot;
    long long sceneFrames = 0;
    Shoot(c, shot, sceneFrames);
    if (HasFatalFailure())
        return;
    ASSERT_EQ(shot.width, kWidth);
    ASSERT_EQ(shot.height, kHeight);
    if (sceneFrames == 0)
        GTEST_SKIP() << "the race draws no scene yet: its frames hold the overlay alone";

    // What the frame must show whatever its pixels: sky (light blue, the
    // sky's backdrop or the clear colour behind it) over a good part of the
    // upper half, and the overlay's yellow texts.
    int sky = 0, yellow = 0;
    for (int y = 0; y < shot.height; ++y)
        for (int x = 0; x < shot.width; ++x) {
            const std::uint8_t* p = &shot.rgb[3 * (std::size_t(y) * std::size_t(shot.width) + std::size_t(x))];
            const int r = p[0], g = p[1], b = p[2];
            sky += y < shot.height / 2 && b >= 150 && b > r + 20;
            yellow += r >= 200 && g >= 180 && b <= 80;
        }
    if (c.sky) {
        EXPECT_GE(sky, 1000) << "no sky in " << c.name;
    }
    if (c.overlay) {
        EXPECT_GE(yellow, 100) << "no overlay text in " << c.name;
    }

#ifdef TORVANE_SANITIZER_BUILD
    // The sanitizer build's frames taken 40 s into the race differ from the
    // plain build's in a few hundred pixels (the race's state is the same;
    // the cause is not found yet, see docs/race.md): the pictures are
    // compared in the plain build only.
    if (c.time > 10.0)
        GTEST_SKIP() << "golden pixels are compared in the plain build";
#endif
    const torvane_test::PngImage image = shot.Png();
    torvane_test::PngImage golden;
    const std::string path = std::string(TORVANE_RACE_FRAMES_GOLDEN_DIR) + "/" + c.name + ".png";
    if (!torvane_test::golden_to_compare(path, image, golden))
        return;
    ASSERT_EQ(golden.width, image.width);
    ASSERT_EQ(golden.height, image.height);
    ASSERT_FALSE(golden.indexed);
    int stray = 0;
    std::string first;
    for (int p = 0; p < image.width * image.height; ++p) {
        int worst = 0;
        for (int k = 0; k < 3; ++k)
            worst = std::max(worst, std::abs(int(golden.pixels[3 * p + k]) - int(image.pixels[3 * p + k])));
        if (worst > kChannelTolerance && stray++ == 0)
            first = "(" + std::to_string(p % image.width) + ", " + std::to_string(p / image.width) + ")";
    }
    EXPECT_LE(stray, kStrayPixels) << c.name << ": " << stray << " pixels differ, the first at " << first;
}

INSTANTIATE_TEST_SUITE_P(Island, RaceFramesTest, ::testing::ValuesIn(kFrames),
                         [](const ::testing::TestParamInfo<FrameCase>& info) { return std::string(info.param.name); });

} // namespace
