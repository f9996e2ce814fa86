// The headless runner's race drawn through the game's renderer: the
// option's parsing, the screenshots' interval and bytes, the same results
// drawn or not, a display that cannot open, and every demo circuit drawn on
// both paths.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "platform/video_thread.h"
#include "tests/support/demo_data.h"
#include "tests/support/temp_dir.h"
#include "tests/tools/screenshot_reader.h"
#include "tools/datakit/demo_circuits.h"
#include "tools/racesim/race_render.h"
#include "tools/racesim/race_sim.h"

namespace {

using racesim::RenderType;

class RaceRenderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = torvane_test::make_temp_dir("racerender");
        std::string error;
        ASSERT_TRUE(torvane_test::install_demo_data(dir_ / "data", error)) << error;
    }
    void TearDown() override { platform::shutdown_video_thread(); }

    // A race of `riders` on `track` drawn into `shots` (a folder of the
    // test's own) on the given path at 320 x 200.
    racesim::Options Drawn(const char* track, int riders, RenderType type, double every, const char* shots = "shots")
    {
        racesim::Options o;
        o.data = (dir_ / "data").string();
        o.track = track;
        o.riders = riders;
        o.laps = 1;
        o.render.dir = (dir_ / shots).string();
        o.render.every = every;
        o.render.type = type;
        o.render.width = 320;
        o.render.height = 200;
        return o;
    }

    // Runs the first `frames` frames of the race and ends it there.
    static racesim::Result RunFrames(const racesim::Options& options, int frames)
    {
        racesim::Runner runner(options);
        EXPECT_TRUE(runner.Started());
        for (int i = 0; i < frames && runner.Frame(); ++i) {
        }
        return runner.Finish();
    }

    std::filesystem::path dir_;
};

TEST(RaceRenderOptions, SizesTypesAndNames)
{
    const std::vector<std::tuple<const char*, bool, int, int>> sizes = {
        {"640x480", true, 640, 480}, {"320X200", true, 320, 200}, {"1x4096", true, 1, 4096},
        {"0x480", false, 0, 0},      {"640x", false, 0, 0},       {"x480", false, 0, 0},
        {"640x480x", false, 0, 0},   {"640*480", false, 0, 0},    {"4097x10", false, 0, 0},
        {"-640x480", false, 0, 0},   {"", false, 0, 0},
    };
    for (const auto& [text, ok, w, h] : sizes) {
        int width = 0, height = 0;
        EXPECT_EQ(racesim::ParseSize(text, width, height), ok) << text;
        if (ok) {
            EXPECT_EQ(width, w) << text;
            EXPECT_EQ(height, h) << text;
        }
    }
    RenderType type = RenderType::Software;
    EXPECT_TRUE(racesim::ParseRenderType("hw", type));
    EXPECT_EQ(type, RenderType::Device3d);
    EXPECT_TRUE(racesim::ParseRenderType("sw", type));
    EXPECT_EQ(type, RenderType::Software);
    EXPECT_FALSE(racesim::ParseRenderType("HW", type));
    EXPECT_FALSE(racesim::ParseRenderType("", type));
    EXPECT_EQ(racesim::ScreenshotName(7), "frame000007.bmp");
    EXPECT_EQ(racesim::ScreenshotName(1234567), "frame1234567.bmp");
}

// A screenshot is saved whenever the run's time reaches the next multiple
// of the interval (1/60 s frames: 0.5 s is every 30th frame, with no frame
// lost to rounding), or every frame with an interval of 0; each is a 24-bit
// bitmap of the window's size, named after its frame.
TEST_F(RaceRenderTest, ScreenshotsAtTheIntervalOfRunTime)
{
    const racesim::Result half = RunFrames(Drawn("Island", 4, RenderType::Device3d, 0.5), 95);
    EXPECT_TRUE(half.render_error.empty()) << half.render_error;
    std::vector<std::string> names;
    for (const std::string& path : half.screenshots)
        names.push_back(std::filesystem::path(path).filename().string());
    EXPECT_EQ(names, (std::vector<std::string>{"frame000030.bmp", "frame000060.bmp", "frame000090.bmp"}));
    for (const std::string& path : half.screenshots) {
        torvane_test::Screenshot shot;
        std::string error;
        ASSERT_TRUE(torvane_test::read_screenshot(path, shot, error)) << path << ": " << error;
        EXPECT_EQ(shot.width, 320);
        EXPECT_EQ(shot.height, 200);
        EXPECT_EQ(std::filesystem::file_size(path), 54u + 320u * 3u * 200u);
    }
    // Nothing is left behind but the pictures (no temporary files).
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_ / "shots"), {}), 3);

    const racesim::Result every = RunFrames(Drawn("Island", 4, RenderType::Software, 0.0, "all"), 5);
    EXPECT_EQ(every.screenshots.size(), 5u);
    EXPECT_EQ(every.phases.frames, 5);
}

// Drawing is only looking: the race's results are the same bit for bit
// drawn on either path or not drawn at all, with the race's own camera and
// with a camera mode kept by the runner.
TEST_F(RaceRenderTest, TheResultsAreTheSameDrawnOrNot)
{
    for (const int camera : {-1, 4}) {
        racesim::Options headless = Drawn("Island", 16, RenderType::Device3d, 5.0);
        headless.render.dir.clear();
        headless.time_limit = 4.0;
        headless.camera = camera;
        const racesim::Result plain = racesim::Run(headless);
        ASSERT_TRUE(plain.loaded) << plain.error;
        EXPECT_TRUE(plain.screenshots.empty());
        for (const RenderType type : {RenderType::Device3d, RenderType::Software}) {
            racesim::Options drawn = Drawn("Island", 16, type, 5.0, racesim::RenderTypeName(type));
            drawn.time_limit = 4.0;
            drawn.camera = camera;
            const racesim::Result result = racesim::Run(drawn);
            ASSERT_TRUE(result.loaded) << result.error;
            EXPECT_TRUE(result.render_error.empty()) << result.render_error;
            EXPECT_FALSE(result.screenshots.empty());
            EXPECT_EQ(result.frames, plain.frames);
            EXPECT_EQ(result.hash, plain.hash) << "camera " << camera << ", " << racesim::RenderTypeName(type);
        }
    }
}

// A screenshot folder that cannot be made (a file is in the way) ends the
// run before the race loads, saying why; nothing is written.
TEST_F(RaceRenderTest, AFolderThatCannotBeMadeEndsTheRunFirst)
{
    std::ofstream(dir_ / "taken") << "a file";
    const racesim::Result result = racesim::Run(Drawn("Island", 2, RenderType::Device3d, 1.0, "taken"));
    EXPECT_FALSE(result.loaded);
    EXPECT_NE(result.render_error.find("screenshot folder"), std::string::npos) << result.render_error;
    EXPECT_TRUE(result.screenshots.empty());
    EXPECT_EQ(result.frames, 0);
}

// The option through the program: a drawn run lists its screenshots after
// the summary and exits 0; a bad value of a drawing option is a bad command
// line (2); a screenshot folder that cannot be made is a race that cannot be
// drawn (4).
TEST_F(RaceRenderTest, TheProgramsOption)
{
#ifndef TORVANE_RACESIM_PATH
    GTEST_SKIP() << "the race runner is not built";
#else
    const auto run = [this](const std::string& arguments, std::string& out) {
        const std::filesystem::path file = dir_ / "out.txt";
        const std::string command = std::string("'") + TORVANE_RACESIM_PATH + "' --data '" +
                                    (dir_ / "data").string() + "' " + arguments + " >'" + file.string() +
                                    "' 2>/dev/null";
        const int raw = std::system(command.c_str());
        std::ifstream in(file);
        out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    };
    std::string out;
    const std::string shots = (dir_ / "cli").string();
    ASSERT_EQ(run("--riders 2 --laps 1 --time-limit 1 --size 320x200 --render-type sw --render-every 10 --camera 2 "
                  "--render-dir '" + shots + "'",
                  out),
              0)
        << out;
    EXPECT_NE(out.find("hash="), std::string::npos) << out;
    EXPECT_NE(out.find("screenshot=" + shots + "/frame000600.bmp\n"), std::string::npos) << out;
    torvane_test::Screenshot shot;
    std::string error;
    EXPECT_TRUE(torvane_test::read_screenshot(shots + "/frame000600.bmp", shot, error)) << error;
    EXPECT_EQ(shot.width, 320);

    for (const char* bad : {"--size 320", "--size 0x200", "--render-type gl", "--camera 9", "--camera -1",
                            "--render-every -1", "--render-dir ''"})
        EXPECT_EQ(run(std::string("--riders 2 ") + bad, out), 2) << bad;
    std::ofstream(dir_ / "taken") << "a file";
    EXPECT_EQ(run("--riders 2 --render-dir '" + (dir_ / "taken").string() + "'", out), 4);
#endif
}

// Every demo circuit drawn on both paths with 16 riders: a few frames each,
// the scene drawn in every one, every screenshot a picture of the frame's
// size that is not one colour.
class RaceRenderCircuitTest : public RaceRenderTest,
                              public ::testing::WithParamInterface<std::tuple<const char*, RenderType>> {};

TEST_P(RaceRenderCircuitTest, SixteenRidersDrawn)
{
    const auto [track, type] = GetParam();
    const racesim::Result result = RunFrames(Drawn(track, 16, type, 0.25), 31);
    ASSERT_TRUE(result.loaded) << result.error;
    EXPECT_TRUE(result.render_error.empty()) << result.render_error;
    ASSERT_EQ(result.screenshots.size(), 2u);
    // The race drew its scene in every frame, not the overlay alone.
    EXPECT_EQ(result.phases.scene_frames, result.phases.frames);
    for (const std::string& path : result.screenshots) {
        torvane_test::Screenshot shot;
        std::string error;
        ASSERT_TRUE(torvane_test::read_screenshot(path, shot, error)) << path << ": " << error;
        ASSERT_EQ(shot.width, 320);
        ASSERT_EQ(shot.height, 200);
        std::set<std::uint32_t> colours;
        for (std::size_t p = 0; p + 2 < shot.rgb.size(); p += 3)
            colours.insert(std::uint32_t(shot.rgb[p]) << 16 | std::uint32_t(shot.rgb[p + 1]) << 8 | shot.rgb[p + 2]);
        EXPECT_GT(colours.size(), 1u) << path << " is one colour";
    }
}

INSTANTIATE_TEST_SUITE_P(
    DemoCircuits, RaceRenderCircuitTest,
    ::testing::Combine(::testing::ValuesIn(datakit::kDemoCircuitNames),
                       ::testing::Values(RenderType::Device3d, RenderType::Software)),
    [](const ::testing::TestParamInfo<std::tuple<const char*, RenderType>>& info) {
        return std::string(std::get<0>(info.param)) + "_" + racesim::RenderTypeName(std::get<1>(info.param));
    });

} // namespace
