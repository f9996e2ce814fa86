// Golden race frames: a 16-rider race on "Island" drawn by the headless
// runner at 320 x 200, one screenshot at a fixed run time for each camera
// mode on each path, and an 8-rider race on "Assen" on its pit straight
// and in the corner after it,
// compared with the pictures checked in under golden/
// (TORVANE_UPDATE_GOLDEN=1 writes them from the screenshots). Every frame
// is also kept as a PNG in the build's test-output/race-frames, to look at.
//
// Besides its golden picture, a software frame is compared with the 3D
// device's golden frame of the same moment: the two paths light, fog and
// colour differently (a palette of 256 colours, a shade table), so they are
// compared block by block, 8 x 8 pixels, and only a few blocks may differ
// by more than kBlockTolerance in a channel's mean. A sky drawn black, the
// ground painted over the road, or a bike's lower half lost in the road
// changes far more blocks than that.
//
// Tolerance: a pixel may differ from the golden picture by up to 8 in any
// channel (one step of the 5- and 6-bit channels of a 16-bit screen), and at
// most kStrayPixels pixels may differ by more (edges that move by a pixel
// when a rounding changes). The race is the same bit for bit on every run,
// so a larger difference is a change of what is drawn.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "app/game_app.h"
#include "engine/render/render_device.h"
#include "engine/scene/camera.h"
#include "engine/scene/vertex_transform.h"
#include "platform/video_thread.h"
#include "race/race.h"
#include "race/race_3d_data.h"
#include "race/race_camera.h"
#include "race/smoke.h"
#include "sim/bike.h"
#include "tests/support/demo_data.h"
#include "tests/support/png_image.h"
#include "tests/support/temp_dir.h"
#include "tests/tools/screenshot_reader.h"
#include "tools/datakit/world_track_parts.h"
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
    const char* track = "Island";
    int riders = 16;
    // The 3D device's golden frame of the same moment (software frames).
    const char* device = nullptr;
    int weather = 0;
};

// The start-grid sweep only during the start sequence; every other mode in
// the race, the field spread out along the first lap; on Assen the field
// on the pit straight, four seconds after the green light, and in the
// left-hand corner after it (22 s after the green light), the viewed bike
// leaning in with the kerb and grass beside the road. The trackside
// shot looks down on the track: above the trees its top rows show the far
// range of the distant hills, not the sky (its check is the hills' colour,
// see BackdropColour); the start-grid sweep looks down on the grid on both
// paths.
constexpr double kGrid = 8.0;
constexpr double kRacing = 40.0;
constexpr double kPitStraight = 20.0;
constexpr double kAssenCorner = 38.0;
constexpr FrameCase kFrames[] = {
    {"island_hw_cam0", RenderType::Device3d, kCameraOnboard, kRacing, true, true},
    {"island_hw_cam1", RenderType::Device3d, kCameraFront, kRacing, true, true},
    {"island_hw_cam2", RenderType::Device3d, kCameraTrailClose, kRacing, true, true},
    {"island_hw_cam3", RenderType::Device3d, kCameraChase, kRacing, true, true},
    {"island_hw_cam4", RenderType::Device3d, kCameraTelevision, kRacing, false, true},
    {"island_hw_cam5", RenderType::Device3d, kCameraFree, kRacing, true, false},
    {"island_hw_cam6", RenderType::Device3d, kCameraRear, kRacing, true, false},
    {"island_hw_cam7", RenderType::Device3d, kCameraStart, kGrid, false, true},
    {"island_hw_cam8", RenderType::Device3d, kCameraPitBox, kRacing, true, false},
    {"island_sw_cam0", RenderType::Software, kCameraOnboard, kRacing, true, true, "Island", 16, "island_hw_cam0"},
    {"island_sw_cam1", RenderType::Software, kCameraFront, kRacing, true, true, "Island", 16, "island_hw_cam1"},
    {"island_sw_cam2", RenderType::Software, kCameraTrailClose, kRacing, true, true, "Island", 16, "island_hw_cam2"},
    {"island_sw_cam3", RenderType::Software, kCameraChase, kRacing, true, true, "Island", 16, "island_hw_cam3"},
    {"island_sw_cam4", RenderType::Software, kCameraTelevision, kRacing, false, true, "Island", 16, "island_hw_cam4"},
    {"island_sw_cam5", RenderType::Software, kCameraFree, kRacing, true, false, "Island", 16, "island_hw_cam5"},
    {"island_sw_cam6", RenderType::Software, kCameraRear, kRacing, true, false, "Island", 16, "island_hw_cam6"},
    {"island_sw_cam7", RenderType::Software, kCameraStart, kGrid, false, true, "Island", 16, "island_hw_cam7"},
    {"island_sw_cam8", RenderType::Software, kCameraPitBox, kRacing, true, false, "Island", 16, "island_hw_cam8"},
    {"assen_hw_cam0", RenderType::Device3d, kCameraOnboard, kPitStraight, true, true, "Assen", 8},
    {"assen_sw_cam0", RenderType::Software, kCameraOnboard, kPitStraight, true, true, "Assen", 8, "assen_hw_cam0"},
    {"assen_hw_corner", RenderType::Device3d, kCameraOnboard, kAssenCorner, true, true, "Assen", 8},
    {"assen_sw_corner", RenderType::Software, kCameraOnboard, kAssenCorner, true, true, "Assen", 8, "assen_hw_corner"},
};

// The colour the far range of the kit's distant hills is drawn in: the
// hills' picture holds it flat (the near range and the ground carry
// noise), so it is the picture's commonest colour. The 3D device shows it
// as it is; the software path draws 8-bit pictures, whose texels are the
// nearest colour of the track palette (6 bits a channel). The sky's
// pictures are drawn unlit at full intensity on both paths.
std::array<int, 3> BackdropColour(RenderType type)
{
    const std::vector<datakit::world::Picture> sky = datakit::world::sky_pictures(0);
    const auto hills = std::find_if(sky.begin(), sky.end(), [](const datakit::world::Picture& p) {
        return p.name == "skynf_hills";
    });
    std::map<std::uint32_t, int> counts;
    for (const std::uint32_t v : hills->argb)
        if (v >> 24)
            ++counts[v & 0xFFFFFF];
    const std::uint32_t most = std::max_element(counts.begin(), counts.end(), [](const auto& a, const auto& b) {
                                   return a.second < b.second;
                               })->first;
    std::array<int, 3> c = {static_cast<int>(most >> 16), static_cast<int>((most >> 8) & 0xFF),
                            static_cast<int>(most & 0xFF)};
    if (type == RenderType::Software) {
        long best = -1;
        std::array<int, 3> nearest{};
        for (const datakit::PaletteColor& e : datakit::world::track_palette()) {
            const std::array<int, 3> q = {e.red * 4, e.green * 4, e.blue * 4};
            long d = 0;
            for (int k = 0; k < 3; ++k)
                d += static_cast<long>(q[k] - c[k]) * (q[k] - c[k]);
            if (best < 0 || d < best) {
                best = d;
                nearest = q;
            }
        }
        c = nearest;
    }
    return c;
}

// What a pixel shows, told by its colour alone.
enum class Looks { Sky, Grass, Road, Dark, Other };

Looks LooksOf(const std::uint8_t* p)
{
    const int r = p[0], g = p[1], b = p[2];
    if (std::max({r, g, b}) < 50)
        return Looks::Dark;
    if (b >= 150 && b > r + 20)
        return Looks::Sky;
    if (g > r + 30 && g > b + 30)
        return Looks::Grass;
    if (std::abs(r - g) < 24 && std::abs(g - b) < 24 && r >= 60 && r <= 170)
        return Looks::Road;
    return Looks::Other;
}

const std::uint8_t* PixelAt(const torvane_test::PngImage& image, int x, int y)
{
    return &image.pixels[3 * (std::size_t(y) * std::size_t(image.width) + std::size_t(x))];
}

// Blocks of 8 x 8 pixels whose mean differs by more than kBlockTolerance in
// a channel between two pictures of one size.
constexpr int kBlock = 8;
constexpr double kBlockTolerance = 45.0;
constexpr int kDifferingBlocks = 48; // of 1000

int DifferingBlocks(const torvane_test::PngImage& a, const torvane_test::PngImage& b)
{
    int differing = 0;
    for (int by = 0; by + kBlock <= a.height; by += kBlock)
        for (int bx = 0; bx + kBlock <= a.width; bx += kBlock) {
            double sum[2][3] = {};
            for (int y = by; y < by + kBlock; ++y)
                for (int x = bx; x < bx + kBlock; ++x)
                    for (int c = 0; c < 3; ++c) {
                        sum[0][c] += PixelAt(a, x, y)[c];
                        sum[1][c] += PixelAt(b, x, y)[c];
                    }
            double worst = 0.0;
            for (int c = 0; c < 3; ++c)
                worst = std::max(worst, std::fabs(sum[0][c] - sum[1][c]) / (kBlock * kBlock));
            differing += worst > kBlockTolerance;
        }
    return differing;
}

// A shadow: a dark patch lying flat on the road, much wider than it is tall
// (a bike or a tyre stands upright). The largest such patch's width.
int WidestFlatDarkPatch(const torvane_test::PngImage& image)
{
    const int w = image.width, h = image.height;
    std::vector<int> seen(std::size_t(w) * std::size_t(h), 0);
    int widest = 0;
    for (int y0 = h / 3; y0 < h; ++y0)
        for (int x0 = 0; x0 < w; ++x0) {
            if (seen[std::size_t(y0) * w + x0] || LooksOf(PixelAt(image, x0, y0)) != Looks::Dark)
                continue;
            int left = x0, right = x0, top = y0, bottom = y0, area = 0, road = 0;
            std::vector<std::pair<int, int>> todo{{x0, y0}};
            seen[std::size_t(y0) * w + x0] = 1;
            while (!todo.empty()) {
                const auto [x, y] = todo.back();
                todo.pop_back();
                ++area;
                left = std::min(left, x), right = std::max(right, x);
                top = std::min(top, y), bottom = std::max(bottom, y);
                for (const auto& [dx, dy] : {std::pair{1, 0}, std::pair{-1, 0}, std::pair{0, 1}, std::pair{0, -1}}) {
                    const int nx = x + dx, ny = y + dy;
                    if (nx < 0 || ny < h / 3 || nx >= w || ny >= h)
                        continue;
                    const Looks looks = LooksOf(PixelAt(image, nx, ny));
                    road += looks == Looks::Road;
                    if (looks == Looks::Dark && !seen[std::size_t(ny) * w + nx]) {
                        seen[std::size_t(ny) * w + nx] = 1;
                        todo.push_back({nx, ny});
                    }
                }
            }
            const int width = right - left + 1, height = bottom - top + 1;
            // Flat, filled and bordered by the road for the most part.
            if (width >= 2 * height && area * 3 >= width * height && road * 2 >= area)
                widest = std::max(widest, width);
        }
    return widest;
}

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
    void Shoot(const FrameCase& c, torvane_test::Screenshot& shot, long long& sceneFrames,
               std::function<void(Race&)> afterFrame = {})
    {
        racesim::Options o;
        o.after_frame = std::move(afterFrame);
        o.data = (dir_ / "data").string();
        o.track = c.track;
        o.riders = c.riders;
        o.weather = c.weather;
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
    // The trackside shot shows the hills' far range above the trees, in the
    // colour the kit gives it on this path (within a 16-bit screen's step
    // and a palette colour's rounding).
    const bool backdrop = c.camera == kCameraTelevision;
    const std::array<int, 3> far = BackdropColour(c.type);
    const auto isBackdrop = [&](const std::uint8_t* p) {
        if (!backdrop)
            return LooksOf(p) == Looks::Sky;
        for (int k = 0; k < 3; ++k)
            if (std::abs(p[k] - far[static_cast<std::size_t>(k)]) > 12)
                return false;
        return true;
    };
    if (backdrop) {
        int shown = 0;
        for (int y = 0; y < shot.height / 2; ++y)
            for (int x = 0; x < shot.width; ++x)
                shown += isBackdrop(&shot.rgb[3 * (std::size_t(y) * std::size_t(shot.width) + std::size_t(x))]);
        EXPECT_GE(shown, 1000) << "the hills' far range (" << far[0] << ", " << far[1] << ", " << far[2]
                               << ") is not above the trees in " << c.name;
    }
    if (c.overlay) {
        EXPECT_GE(yellow, 100) << "no overlay text in " << c.name;
    }

    const torvane_test::PngImage image = shot.Png();
    {
        std::filesystem::create_directories(TORVANE_RACE_FRAMES_OUTPUT_DIR);
        std::string error;
        const std::string kept = std::string(TORVANE_RACE_FRAMES_OUTPUT_DIR) + "/" + c.name + ".png";
        EXPECT_TRUE(torvane_test::write_png(kept, image, &error)) << kept << ": " << error;
    }
    // The sky is whole: no lone pixel of another colour in it (the stray
    // pixels of a face drawn behind it, or of a texel taken from past the
    // edge of a picture drawn over it), besides the odd tip of a tree.
    if (c.sky || backdrop) {
        int lone = 0;
        std::string where;
        for (int y = 1; y < shot.height / 2; ++y)
            for (int x = 1; x + 1 < shot.width; ++x) {
                if (isBackdrop(PixelAt(image, x, y)))
                    continue;
                bool surrounded = true;
                for (int dy = -1; dy <= 1 && surrounded; ++dy)
                    for (int dx = -1; dx <= 1 && surrounded; ++dx)
                        surrounded = (dx == 0 && dy == 0) || isBackdrop(PixelAt(image, x + dx, y + dy));
                if (surrounded && lone++ < 4)
                    where += " (" + std::to_string(x) + ", " + std::to_string(y) + ")";
            }
        EXPECT_LE(lone, 2) << "stray pixels in the sky of " << c.name << ":" << where;
    }
    // The front onboard view sees the road ahead over the dash: the middle
    // of the picture below the horizon is road.
    if (c.camera == kCameraFront) {
        int road = 0, all = 0;
        for (int y = shot.height / 2; y < shot.height * 3 / 4; ++y)
            for (int x = shot.width * 2 / 5; x < shot.width * 3 / 5; ++x, ++all)
                road += LooksOf(PixelAt(image, x, y)) == Looks::Road;
        EXPECT_GE(2 * road, all) << "the road ahead is hidden in " << c.name;
    }
    // Assen's frames (the pit straight and the corner after it) show the
    // road below the horizon with grass beside it: road over at least half
    // of the lower half, grass over some of it, neither painted over the
    // other.
    if (std::string(c.track) == "Assen") {
        int road = 0, grass = 0, all = 0;
        for (int y = shot.height / 2; y < shot.height; ++y)
            for (int x = 0; x < shot.width; ++x, ++all) {
                const Looks looks = LooksOf(PixelAt(image, x, y));
                road += looks == Looks::Road;
                grass += looks == Looks::Grass;
            }
        EXPECT_GE(2 * road, all) << "too little road in " << c.name;
        EXPECT_GE(grass, 1500) << "no grass beside the road in " << c.name;
    }
    // The trackside shot of bikes near the ground shows their shadows.
    if (c.camera == kCameraTelevision) {
        EXPECT_GE(WidestFlatDarkPatch(image), 12) << "no shadow under a bike in " << c.name;
    }
    // A software frame against the 3D device's frame of the same moment.
    if (c.device) {
        torvane_test::PngImage device;
        std::string error;
        const std::string path = std::string(TORVANE_RACE_FRAMES_GOLDEN_DIR) + "/" + c.device + ".png";
        if (torvane_test::read_png(path, device, &error) && device.width == image.width &&
            device.height == image.height && !device.indexed) {
            EXPECT_LE(DifferingBlocks(device, image), kDifferingBlocks)
                << c.name << " and " << c.device << " differ in too many places";
        } else if (!std::getenv("TORVANE_UPDATE_GOLDEN")) {
            ADD_FAILURE() << path << ": " << error;
        }
    }

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

// A particle as the frame shows it: the screen point of its centre, the
// screen length of half its size along the camera's up axis (a sprite
// facing the camera is drawn that large), and how far it is from its bike.
struct SeenParticle {
    float x = 0.0f, y = 0.0f, radius = 0.0f;
    float from_bike = 0.0f;
};

bool LooksLikeSmoke(const std::uint8_t* p)
{
    const int lo = std::min({p[0], p[1], p[2]}), hi = std::max({p[0], p[1], p[2]});
    return hi - lo <= 24 && lo >= 80 && hi <= 230;
}

// The rear camera behind a bike that drifts on the grass, 40 s into the
// race: its tyre smoke shows beside it as grey puffs of the size the smoke
// gives them, round (facing the camera), not as cards seen edge on or as
// squares that fill the screen.
TEST_F(RaceFramesTest, SmokeShowsBesideItsBikeFacingTheCamera)
{
    const FrameCase& c = kFrames[6];
    ASSERT_STREQ(c.name, "island_hw_cam6");
    std::vector<SeenParticle> seen;
    const auto watch = [&seen](Race& race) {
        Race3dData* d = race.Data3d();
        if (!d || !d->Camera)
            return;
        projection_settings proj;
        set_viewport_projection(proj, 0, 0, kWidth, kHeight);
        const camera& cam = *d->Camera;
        seen.clear();
        for (int kind = 0; kind < kSmokeKinds; ++kind)
            for (int i = 0; i < kParticlesPerKind; ++i) {
                const SmokeParticle& p = race.m_Smoke.Particle(kind, i);
                if (!p.Active || !p.Instance || !p.Source)
                    continue;
                const vec4 centre{p.Position.x, p.Position.y, p.Position.z, 1.0f};
                const float half = 0.5f * p.Size;
                const vec4 top{centre.x + half * cam.to_world.m[1][0], centre.y + half * cam.to_world.m[1][1],
                               centre.z + half * cam.to_world.m[1][2], 1.0f};
                SeenParticle q;
                float tx = 0.0f, ty = 0.0f;
                if (!project_to_screen(cam, proj, centre, &q.x, &q.y) || !project_to_screen(cam, proj, top, &tx, &ty))
                    continue;
                q.radius = std::hypot(tx - q.x, ty - q.y);
                const Vec3 bike = p.Source->Position;
                q.from_bike = std::hypot(p.Position.x - bike.x, p.Position.z - bike.z);
                seen.push_back(q);
            }
    };
    torvane_test::Screenshot shot;
    long long sceneFrames = 0;
    Shoot(c, shot, sceneFrames, watch);
    if (HasFatalFailure())
        return;
    ASSERT_GT(sceneFrames, 0);
    const torvane_test::PngImage image = shot.Png();

    const SeenParticle* largest = nullptr;
    int on_screen = 0, beside = 0;
    for (const SeenParticle& q : seen) {
        if (q.x < 0 || q.y < 0 || q.x >= kWidth || q.y >= kHeight)
            continue;
        ++on_screen;
        // The smoke stays where it was made while the bike rides on, some
        // 30 m in a second: the newest puffs are the ones near it.
        beside += q.from_bike < 10.0f;
        EXPECT_LT(q.radius, kHeight / 4.0f) << "a particle as large as the screen";
        if (q.x >= q.radius && q.y >= q.radius && q.x + q.radius < kWidth && q.y + q.radius < kHeight &&
            (!largest || q.radius > largest->radius))
            largest = &q;
    }
    ASSERT_GT(on_screen, 0) << "no particle in front of the camera";
    // Away from the puffs the frame looks as ever: grey only where the
    // road, kerbs and bikes are (about 2 % of this frame), not a card
    // drawn over the view.
    int grey_elsewhere = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const bool in_a_puff = std::any_of(seen.begin(), seen.end(), [&](const SeenParticle& q) {
                const float reach = 1.5f * q.radius + 1.0f;
                return std::hypot(float(x) - q.x, float(y) - q.y) <= reach;
            });
            grey_elsewhere += !in_a_puff && LooksLikeSmoke(PixelAt(image, x, y));
        }
    EXPECT_LT(grey_elsewhere, kWidth * kHeight / 12) << "smoke drawn away from the particles";
    EXPECT_GT(beside, 0) << "no particle near its bike";
    ASSERT_TRUE(largest);
    ASSERT_GE(largest->radius, 4.0f);
    // The largest puff: smoke over much of its disc, reaching out about as
    // far across as up and down.
    const int r = static_cast<int>(largest->radius);
    const int cx = static_cast<int>(largest->x), cy = static_cast<int>(largest->y);
    int smoke = 0, disc = 0, wide = 0, high = 0;
    for (int dy = -r; dy <= r; ++dy)
        for (int dx = -r; dx <= r; ++dx) {
            if (dx * dx + dy * dy > r * r)
                continue;
            ++disc;
            if (LooksLikeSmoke(PixelAt(image, cx + dx, cy + dy))) {
                ++smoke;
                wide = std::max(wide, std::abs(dx));
                high = std::max(high, std::abs(dy));
            }
        }
    EXPECT_GE(3 * smoke, disc) << "the puff at (" << cx << ", " << cy << ") of radius " << r << " is not drawn";
    EXPECT_GE(2 * wide, r) << "the puff is thin: not facing the camera";
    EXPECT_GE(2 * high, r) << "the puff is flat: not facing the camera";
}

// Without the sky dome the display's background shows above the horizon,
// in the weather's sky colour: (0.654902, 0.874510, 0.921569) of full
// scale in the sun, (0.4, 0.474510, 0.490196) in rain. The software path
// and the trailing views (whose 2D cockpit covers only the bottom of the
// picture) show it over most of the picture's top rows, within a step of
// a 16-bit screen's channels.
TEST_F(RaceFramesTest, TheBackgroundAboveTheHorizonIsTheWeathersSkyColour)
{
    struct Case {
        RenderType type;
        int camera;
        int weather;
        double rgb[3];
        double time;
    };
    // Past the start gantry that crosses the top of the picture on the grid.
    const Case cases[] = {
        {RenderType::Software, kCameraTrailClose, 0, {0.654902, 0.874510, 0.921569}, kGrid},
        {RenderType::Software, kCameraChase, 1, {0.4, 0.474510, 0.490196}, kRacing},
        {RenderType::Device3d, kCameraChase, 0, {0.654902, 0.874510, 0.921569}, kRacing},
    };
    for (const Case& k : cases) {
        FrameCase c{"sky", k.type, k.camera, k.time, true, true};
        racesim::Options o;
        o.data = (dir_ / "data").string();
        o.track = c.track;
        o.riders = 4;
        o.weather = k.weather;
        o.camera = c.camera;
        o.render.dir = (dir_ / "sky-shots").string();
        o.render.every = c.time;
        o.render.type = c.type;
        o.render.width = kWidth;
        o.render.height = kHeight;
        o.render.extra_gfx_flags = kGfxFlagNoSky;
        racesim::Runner runner(o);
        ASSERT_TRUE(runner.Started());
        while (runner.Render()->Screenshots().empty() && runner.Frame()) {
        }
        const racesim::Result result = runner.Finish();
        ASSERT_EQ(result.screenshots.size(), 1u) << result.render_error;
        torvane_test::Screenshot shot;
        std::string error;
        ASSERT_TRUE(torvane_test::read_screenshot(result.screenshots.back(), shot, error)) << error;
        const torvane_test::PngImage image = shot.Png();
        int sky = 0, all = 0;
        for (int y = 0; y < kHeight / 8; ++y)
            for (int x = 0; x < kWidth; ++x, ++all) {
                const std::uint8_t* p = PixelAt(image, x, y);
                bool near = true;
                for (int ch = 0; ch < 3; ++ch)
                    near = near && std::abs(int(p[ch]) - int(std::lround(255.0 * k.rgb[ch]))) <= kChannelTolerance;
                sky += near;
            }
        EXPECT_GE(2 * sky, all) << racesim::RenderTypeName(k.type) << " camera " << k.camera << " weather " << k.weather
                                << ": " << sky << " of the top " << all << " pixels in the sky colour";
        std::filesystem::remove_all(dir_ / "sky-shots");
    }
}

// What a scene camera shows a point at, by the camera's own terms: it
// stands at its position looking at its target, (s, u, f) its axes with f
// pointing back from the target to the eye, s = y x f and u = f x s; a
// point at (x, y, z) of those axes lands at x / w and aspect y / w of the
// half screen from its centre (w = -z tan(fov / 2), or -z / focal when the
// camera was given a focal value). The roll is left out: the pixels are
// looked at round the point, and a small roll moves them by a pixel or two.
struct CameraTerms {
    Vec3 position, target;
    float focal = 0.0f, half_fov = 0.0f, aspect = 1.0f;
    bool aimed = false; // it looks at its target (not by angles)
};

CameraTerms TermsOf(const camera& cam)
{
    return {Vec3{cam.position.x, cam.position.y, cam.position.z},
            Vec3{cam.target.x, cam.target.y, cam.target.z},
            cam.focal,
            cam.half_fov,
            cam.aspect,
            (cam.mode & camera::mode_target) != 0};
}

bool ProjectByTheCameraTerms(const CameraTerms& cam, const Vec3& p, float& sx, float& sy)
{
    const Vec3 eye = cam.position;
    const Vec3 f = eye.Minus(cam.target).Normalised();
    const Vec3 s = Vec3{0.0f, 1.0f, 0.0f}.Cross(f).Normalised();
    const Vec3 u = f.Cross(s);
    const Vec3 d = p.Minus(eye);
    const double tanHalf = cam.focal > 0.0f ? 1.0 / cam.focal : std::tan(double(cam.half_fov));
    const double w = -double(d.Dot(f)) * tanHalf;
    if (!(w > 0.0))
        return false;
    sx = float((kWidth / 2 - 1) + (kWidth / 2 - 1) * double(d.Dot(s)) / w);
    sy = float((kHeight / 2 - 1) - (kHeight / 2 - 1) * double(cam.aspect) * double(d.Dot(u)) / w);
    return true;
}

// The viewed bike, seen by the free camera (3 m from it, aimed at it) on
// both paths, is where its centre of mass projects: the pixels round that
// point show the bike, not the road, grass or sky behind it. The frame
// shows the scene as the race stood after the update before it (the draw
// comes first in a frame). (The trailing views show the viewed bike as
// the 2D cockpit picture, and the trackside shot may frame a group that
// leaves it at the edge.)
TEST_F(RaceFramesTest, TheViewedBikeIsWhereItsCentreProjects)
{
    for (const FrameCase& c : kFrames) {
        if (c.camera != kCameraFree || std::string(c.track) != "Island")
            continue;
        struct Seen {
            CameraTerms cam;
            Vec3 centre;
        };
        Seen last, before;
        const auto watch = [&](Race& race) {
            Race3dData* d = race.Data3d();
            if (!d || !d->Camera || !race.ViewedBike())
                return;
            before = last;
            last.cam = TermsOf(*d->Camera);
            last.centre = race.ViewedBike()->CgPosition;
        };
        torvane_test::Screenshot shot;
        long long sceneFrames = 0;
        Shoot(c, shot, sceneFrames, watch);
        if (HasFatalFailure())
            return;
        ASSERT_GT(sceneFrames, 0);
        ASSERT_TRUE(before.cam.aimed) << c.name;
        float x = 0.0f, y = 0.0f;
        ASSERT_TRUE(ProjectByTheCameraTerms(before.cam, before.centre, x, y)) << c.name << ": behind the camera";
        ASSERT_TRUE(x >= 3 && y >= 3 && x < kWidth - 3 && y < kHeight - 3) << c.name << " at " << x << ", " << y;
        const torvane_test::PngImage image = shot.Png();
        int bike = 0;
        for (int dy = -2; dy <= 2; ++dy)
            for (int dx = -2; dx <= 2; ++dx) {
                const Looks looks = LooksOf(PixelAt(image, int(x) + dx, int(y) + dy));
                bike += looks == Looks::Dark || looks == Looks::Other;
            }
        EXPECT_GE(bike, 13) << c.name << ": the pixels round (" << x << ", " << y << ") are not the bike's";
    }
}

// The fog table's depth scale, 1 / ((end - 200) - 120): a vertex `ahead`
// metres in front of the eye (view depth -ahead) is given the depth
// |(-ahead - 200) x scale| (0..1), which picks its fog entry and is what
// the Z-buffer holds (x 65535).
double FogDepthAhead(double end, double ahead)
{
    return std::fabs((-ahead - 200.0) / ((end - 200.0) - 120.0));
}

// The fog factor (255 none, 0 all fog) the 3D device gives a point `ahead`
// metres in front of the eye, from the fog table's own formulas:
// make_fog_table(density, start, end) leaves the entries below
// n = trunc(|(start - 200) / ((end - 200) - 120)| x 255) clear and gives
// entry n + i the factor trunc(k e^(-density i / 255) - k) + 255 (k = 255 /
// e^(-density)) held to 0..255; a vertex takes the entry round(256 x its
// depth), at most 255.
double FogFactorAhead(double density, double start, double end, double ahead)
{
    const double scale = 1.0 / ((end - 200.0) - 120.0);
    const int clear = std::clamp(static_cast<int>(std::fabs((start - 200.0) * scale) * 255.0), 0, 256);
    const int entry = static_cast<int>(std::min(255L, std::lround(256.0 * FogDepthAhead(end, ahead))));
    if (entry < clear)
        return 255.0;
    const double k = 255.0 / std::exp(-density);
    return std::clamp(std::trunc(k * std::exp(-density * (entry - clear) / 255.0) - k) + 255.0, 0.0, 255.0);
}

// Fog in a race: Island in fog on the 3D device, the chase camera 90 s in
// (the field spread along the lap). The same moment is drawn twice, the
// second time with the device's fog turned off before the frame. A bike far
// ahead is drawn between its unfogged colours and the fog colour by the
// factor the fog table gives its view depth (its distance ahead along the
// camera's axis, by the camera's terms; the table from the scene record's
// fog values and -ZClipping, as the race hands them to it); the viewed
// bike, a few metres ahead of the camera, is drawn unfogged. A bike's
// pixels are those round its centre whose Z-buffer depth is its own (the
// background behind a far bike of a few pixels lies deeper in the fog).
TEST_F(RaceFramesTest, FogBlendsAFarBikeByTheTablesFactorAtItsDepth)
{
    struct Seen {
        CameraTerms cam;
        std::vector<Vec3> bikes;
        int viewed = -1;
        TrackSceneRecord scene;
        int z_clipping = 0;
    };
    FrameCase c{"fog", RenderType::Device3d, kCameraChase, 90.0, true, true};
    c.weather = 2;
    torvane_test::PngImage frames[2];
    Seen seen;
    std::vector<std::uint16_t> depth; // the fogged frame's Z-buffer
    for (int run = 0; run < 2; ++run) {
        Seen last, before;
        const bool fog_off = run == 1;
        const auto watch = [&](Race& race) {
            Race3dData* d = race.Data3d();
            render_device* device = installed_render_device();
            if (!d || !d->Camera || !device)
                return;
            if (fog_off)
                device->set_fog(0, 0.0f, 0.0f, 0.0f);
            before = last;
            last.cam = TermsOf(*d->Camera);
            last.bikes.clear();
            for (int i = 0; i < race.m_nBikes; ++i)
                last.bikes.push_back(race.m_pBikes[i].CgPosition);
            last.viewed = static_cast<int>(race.ViewedBike() - race.m_pBikes.get());
            last.scene = race.m_TrackScene;
            last.z_clipping = TheGameApp().ZClipping;
            // The frame just shown: its depths.
            platform::SurfaceLock lock;
            if (!fog_off && device->zbuffer && device->zbuffer->width() >= kWidth &&
                device->zbuffer->height() >= kHeight && device->zbuffer->lock(lock) == platform::DisplayResult::Ok) {
                depth.assign(std::size_t(kWidth) * kHeight, 0);
                for (int y = 0; y < kHeight; ++y)
                    std::memcpy(&depth[std::size_t(y) * kWidth], lock.pixels + std::ptrdiff_t(y) * lock.pitch,
                                sizeof(std::uint16_t) * kWidth);
                device->zbuffer->unlock();
            }
        };
        torvane_test::Screenshot shot;
        long long sceneFrames = 0;
        Shoot(c, shot, sceneFrames, watch);
        if (HasFatalFailure())
            return;
        ASSERT_GT(sceneFrames, 0);
        frames[run] = shot.Png();
        if (run == 0)
            seen = before;
    }
    const torvane_test::PngImage& fogged = frames[0];
    const torvane_test::PngImage& clear = frames[1];
    const Seen& s = seen;
    ASSERT_GT(s.scene.FogSwitch, 0.5f) << "the fog weather's scene has no fog";
    ASSERT_GE(s.viewed, 0);
    ASSERT_EQ(depth.size(), std::size_t(kWidth) * kHeight) << "no Z-buffer to read";
    const double end = -double(s.z_clipping);
    const double fog_rgb[3] = {std::trunc(255.0 * s.scene.FogColour[0]), std::trunc(255.0 * s.scene.FogColour[1]),
                               std::trunc(255.0 * s.scene.FogColour[2])};
    const auto factor_at = [&](double ahead) { return FogFactorAhead(s.scene.FogStart, s.scene.FogEnd, end, ahead); };
    // A bike's depth on the screen: its centre's distance ahead, give or
    // take the bike's own length.
    constexpr double kBikeReach = 2.0;
    struct OnScreen {
        int bike;
        float x, y;
        double ahead;
        std::vector<int> pixels; // its own pixels round its centre
    };
    std::vector<OnScreen> shown;
    for (int i = 0; i < int(s.bikes.size()); ++i) {
        const Vec3& p = s.bikes[std::size_t(i)];
        OnScreen o{i, 0.0f, 0.0f, -double(p.Minus(s.cam.position).Dot(s.cam.position.Minus(s.cam.target).Normalised())),
                   {}};
        if (!ProjectByTheCameraTerms(s.cam, p, o.x, o.y))
            continue;
        const double zlo = 65535.0 * FogDepthAhead(end, o.ahead - kBikeReach);
        const double zhi = 65535.0 * FogDepthAhead(end, o.ahead + kBikeReach);
        for (int dy = -8; dy <= 8; ++dy)
            for (int dx = -8; dx <= 8; ++dx) {
                const int x = int(o.x) + dx, y = int(o.y) + dy;
                if (x < 0 || y < 0 || x >= kWidth || y >= kHeight)
                    continue;
                const double z = depth[std::size_t(y) * kWidth + std::size_t(x)];
                if (z >= zlo - 1.0 && z <= zhi + 1.0)
                    o.pixels.push_back(y * kWidth + x);
            }
        shown.push_back(std::move(o));
    }

    // The viewed bike is unfogged: its pixels are the same in both frames.
    const auto viewed = std::find_if(shown.begin(), shown.end(), [&](const OnScreen& o) { return o.bike == s.viewed; });
    ASSERT_NE(viewed, shown.end()) << "the viewed bike is not in front of the chase camera";
    EXPECT_EQ(factor_at(viewed->ahead + kBikeReach), 255.0)
        << "the viewed bike stands in the fog, " << viewed->ahead << " m ahead";
    ASSERT_GE(viewed->pixels.size(), 20u) << "the viewed bike's pixels do not lie at its depth";
    int changed = 0;
    for (int p : viewed->pixels)
        for (int ch = 0; ch < 3; ++ch)
            changed += fogged.pixels[3 * std::size_t(p) + ch] != clear.pixels[3 * std::size_t(p) + ch];
    EXPECT_EQ(changed, 0) << "the viewed bike, " << viewed->ahead << " m ahead, is fogged";

    // The farthest bike well inside the fog that shows a few pixels.
    const OnScreen* far = nullptr;
    for (const OnScreen& o : shown)
        if (factor_at(o.ahead - kBikeReach) <= 220.0 && factor_at(o.ahead + kBikeReach) >= 40.0 &&
            o.pixels.size() >= 6 && (!far || o.ahead > far->ahead))
            far = &o;
    ASSERT_TRUE(far) << "no bike far ahead in the fog";
    // The blend t of the bike's pixels, fogged = fog + t (unfogged - fog),
    // by least squares over their channels.
    double num = 0.0, den = 0.0;
    for (int p : far->pixels)
        for (int ch = 0; ch < 3; ++ch) {
            const double u = clear.pixels[3 * std::size_t(p) + ch] - fog_rgb[ch];
            num += (fogged.pixels[3 * std::size_t(p) + ch] - fog_rgb[ch]) * u;
            den += u * u;
        }
    ASSERT_GT(den, 0.0);
    const double t = 255.0 * num / den;
    const double lo = factor_at(far->ahead + kBikeReach), hi = factor_at(far->ahead - kBikeReach);
    EXPECT_TRUE(t >= lo - 8.0 && t <= hi + 8.0)
        << "the bike " << far->ahead << " m ahead is drawn at fog factor " << t << ", its depth gives " << lo << " to "
        << hi;
}

INSTANTIATE_TEST_SUITE_P(Races, RaceFramesTest, ::testing::ValuesIn(kFrames),
                         [](const ::testing::TestParamInfo<FrameCase>& info) { return std::string(info.param.name); });

} // namespace
