#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "engine/base/engine.h"
#include "engine/model/ml_modelinfo.h"
#include "engine/render/lens_flare.h"
#include "engine/render/render_device.h"
#include "engine/scene/camera.h"
#include "engine/scene/mesh_draw_hooks.h"
#include "engine/scene/scene_view.h"
#include "platform/display.h"
#include "platform/video_thread.h"
#include "platform/window.h"
#include "race/race_3d_data.h"
#include "tests/race/race_3d_fixture.h"
#include "tests/support/back_surface_picture.h"
#include "tests/support/png_image.h"

// The sun's lens flare over a race frame on the demo data: drawn toward the
// sun on the 3D device with "Photoreal", nothing when the camera looks
// away, the sun disc hidden by nearer scenery, nothing on the game's own
// rasteriser.
namespace {

constexpr int kHardware = 1; // device 1: the platform's 3D device
constexpr int kSoftware = 0; // device 0: the game's rasteriser

// Golden frames: a channel may differ by this much, and this many pixels
// may differ by more (none are expected: the device's rasteriser gives the
// same bits every run; the room is for a change of rounding in the
// device's blending that a reviewer would accept by eye).
constexpr int kChannelTolerance = 4;
constexpr int kStrayPixels = 64;

// The sum of every channel over a square of the picture (held inside it).
long Brightness(const torvane_test::PngImage& image, int cx, int cy, int half)
{
    long sum = 0;
    for (int y = std::max(0, cy - half); y <= std::min(image.height - 1, cy + half); ++y)
        for (int x = std::max(0, cx - half); x <= std::min(image.width - 1, cx + half); ++x)
            for (int c = 0; c < 3; ++c)
                sum += image.pixels[static_cast<std::size_t>(3 * (y * image.width + x) + c)];
    return sum;
}

long Brightness(const torvane_test::PngImage& image)
{
    return Brightness(image, image.width / 2, image.height / 2, std::max(image.width, image.height));
}

// Pixels of a square that the flare turned white (every channel at least
// 235 with it, not without it): the sun disc is opaque white at its centre.
int WhitenedPixels(const torvane_test::PngImage& with, const torvane_test::PngImage& without, int cx, int cy,
                   int half)
{
    const auto white = [](const torvane_test::PngImage& image, int x, int y) {
        const std::uint8_t* p = &image.pixels[static_cast<std::size_t>(3 * (y * image.width + x))];
        return p[0] >= 235 && p[1] >= 235 && p[2] >= 235;
    };
    int count = 0;
    for (int y = std::max(0, cy - half); y <= std::min(with.height - 1, cy + half); ++y)
        for (int x = std::max(0, cx - half); x <= std::min(with.width - 1, cx + half); ++x)
            count += white(with, x, y) && !white(without, x, y);
    return count;
}

void ExpectGolden(const std::string& name, const torvane_test::PngImage& image)
{
    torvane_test::expect_rgb_golden(std::string(TORVANE_OVERLAY_GOLDEN_DIR) + "/" + name + ".png", image,
                                    kChannelTolerance, kStrayPixels);
}

class RaceFlare : public race_test::Race3dWindowFixture {
protected:
    // A race on Island with "Photoreal" on the given path at 640 x 480, its
    // first frame run. Without the sky: the sky paints a sun of its own where
    // the light is, white already under the flare's sun disc.
    void StartRace(int which)
    {
        Open(which);
        Header("Island", 4, 4);
        app.GfxFlags = kGfxFlagPhotoreal | kGfxFlagNoSky;
        app.Camera = kCameraTelevision;
        Start();
        ASSERT_NE(race->Data3d(), nullptr);
        device_.clear_zbuffer();
        Frame(20);
    }

    // Aims the race's scene camera from `eye` along the sun's direction
    // turned by `yaw` radians about the vertical and raised by `pitch`
    // radians (after the race camera's update, as the frame is drawn): the
    // sun then lies left of the centre by about F tan(yaw) and below it by
    // about F tan(pitch), clear of the standings box.
    void Aim(const vec4& eye, float yaw, float pitch, bool away = false)
    {
        const vec4 s = D().SunWorld;
        const float h = std::sqrt(s.x * s.x + s.z * s.z);
        const float e = std::atan2(s.y, h) + pitch;
        const float hx = h > 0.0f ? s.x / h : 1.0f, hz = h > 0.0f ? s.z / h : 0.0f;
        const float c = std::cos(yaw), n = std::sin(yaw);
        const float sign = away ? -1.0f : 1.0f;
        const vec4 dir{sign * std::cos(e) * (hx * c - hz * n), sign * std::sin(e),
                       sign * std::cos(e) * (hx * n + hz * c), 0.0f};
        camera& cam = *D().Camera;
        cam.position_link_on = 0;
        cam.target_link_on = 0;
        cam.mode = camera::mode_target;
        const vec4 target{eye.x + 10.0f * dir.x, eye.y + 10.0f * dir.y, eye.z + 10.0f * dir.z, 1.0f};
        cam.set_position_mode(&eye, &target, 0.0f);
    }

    // The frame as the run loop draws it: the scene, then the overlay.
    torvane_test::PngImage DrawFrame()
    {
        device_.clear_zbuffer();
        race->Draw();
        race->DrawOverlay();
        return Picture();
    }

    // The same frame drawn with the flare's set and without it.
    // (The first frame from a new place is drawn once before: textures
    // made resident on the way may change a few pixels of that one.)
    std::pair<torvane_test::PngImage, torvane_test::PngImage> WithAndWithout()
    {
        DrawFrame();
        torvane_test::PngImage with = DrawFrame();
        std::unique_ptr<texture_set> set = std::move(D().Flares);
        torvane_test::PngImage without = DrawFrame();
        D().Flares = std::move(set);
        return {std::move(with), std::move(without)};
    }

    // The sun's screen point in the frame just drawn.
    void SunOnScreen(float* x, float* y)
    {
        const vec4& sun = D().SunView;
        const camera& cam = *D().Camera;
        const float zoom = cam.focal > 0.0f ? cam.focal : 1.0f / std::tan(cam.half_fov);
        const float f = D().View->projection().scale_x * zoom;
        *x = static_cast<float>(D().View->centre_x) + f * sun.x / -sun.z;
        *y = static_cast<float>(D().View->centre_y) - f * sun.y / -sun.z;
    }

    // Keeps the frame as a picture when TORVANE_FRAME_DIR names a folder.
    static void Keep(const char* name, const torvane_test::PngImage& image)
    {
        if (const char* folder = std::getenv("TORVANE_FRAME_DIR")) {
            std::string error;
            EXPECT_TRUE(torvane_test::write_png(std::string(folder) + "/" + name + ".png", image, &error)) << error;
        }
    }

};

// The set is loaded with "Photoreal" on the 3D device, and the engine
// context names the sun, whose view-space direction follows the camera.
TEST_F(RaceFlare, TheSunIsNamedByTheEngineContextAndFollowsTheCamera)
{
    StartRace(kHardware);
    Race3dData& d = D();
    ASSERT_TRUE(d.Flares);
    ASSERT_TRUE(d.Flares->data);
    EXPECT_GE(d.Flares->data->texture_count, kFlareTexturesNeeded);
    ASSERT_EQ(d.Engine->sun, &d.SunView);
    const vec4 s = d.SunWorld;
    EXPECT_NEAR(std::sqrt(s.x * s.x + s.y * s.y + s.z * s.z), 1.0f, 1e-5f);

    // Looking straight at the sun it lies down -z; looking away, down +z.
    Aim({0.0f, 20.0f, 0.0f, 1.0f}, 0.0f, 0.0f);
    DrawFrame();
    EXPECT_NEAR(d.SunView.z, -1.0f, 1e-3f);
    EXPECT_NEAR(d.SunView.x, 0.0f, 1e-3f);
    Aim({0.0f, 20.0f, 0.0f, 1.0f}, 0.0f, 0.0f, true);
    DrawFrame();
    EXPECT_NEAR(d.SunView.z, 1.0f, 1e-3f);
}

// Toward the sun the flare brightens the frame, the sun disc most of all;
// looking away nothing changes; with the race's flare set gone nothing is
// drawn either.
TEST_F(RaceFlare, TheFlareShowsTowardTheSunAndNotAwayFromIt)
{
    StartRace(kHardware);
    const vec4 eye{0.0f, 60.0f, 0.0f, 1.0f};
    Aim(eye, 0.25f, 0.25f);
    auto [with, without] = WithAndWithout();
    Keep("flare_toward", with);
    Keep("flare_toward_none", without);
    EXPECT_GT(Brightness(with), Brightness(without) + 100000);
    float sx = 0, sy = 0;
    SunOnScreen(&sx, &sy);
    ASSERT_TRUE(sx > 40 && sx < kWidth - 40 && sy > 260 && sy < kHeight - 40) << sx << ", " << sy;
    // The disc turns the sky white around the sun's point (17 x 17 pixels).
    const int x = static_cast<int>(sx), y = static_cast<int>(sy);
    EXPECT_GE(WhitenedPixels(with, without, x, y, 8), 250);
    ExpectGolden("flare_toward", with);

    // Away from the sun: the same pixels with the set and without.
    Aim(eye, 0.25f, 0.25f, true);
    auto [away, awayNone] = WithAndWithout();
    EXPECT_TRUE(away.pixels == awayNone.pixels);
}

// The camera's view of the sun through the viewed bike: the bike is nearer
// than the disc's depth, so the disc is hidden there, while the elements
// strung toward the centre are still drawn over everything.
TEST_F(RaceFlare, TheSunDiscIsHiddenBehindNearerScenery)
{
    StartRace(kHardware);
    Bike* viewed = race->ViewedBike();
    ASSERT_NE(viewed, nullptr);
    ASSERT_NE(viewed->BikeInstance, nullptr);
    DrawFrame();
    const vec4 at = viewed->BikeInstance->position;
    const vec4 s = D().SunWorld;
    // The eye 4 units from that point, away from the sun.
    // A point of the bike's solid body (its engine block on the demo bike;
    // elsewhere the wheels' gaps between the spokes let the disc through).
    const vec4 tank{at.x + 0.5f, at.y + 1.2f, at.z, 1.0f};
    const vec4 eye{tank.x - 4.0f * s.x, tank.y - 4.0f * s.y, tank.z - 4.0f * s.z, 1.0f};
    // Turned a little, so that the sun (and the bike) lie off the centre.
    Aim(eye, 0.25f, 0.25f);
    auto [with, without] = WithAndWithout();
    Keep("flare_hidden", with);
    Keep("flare_hidden_none", without);
    float sx = 0, sy = 0;
    SunOnScreen(&sx, &sy);
    ASSERT_TRUE(sx > 40 && sx < kWidth - 40 && sy > 260 && sy < kHeight - 40) << sx << ", " << sy;
    // No white where the disc would be: the bike is nearer than its depth.
    const int x = static_cast<int>(sx), y = static_cast<int>(sy);
    // (The glare may lift a few nearly white pixels there.)
    EXPECT_LE(WhitenedPixels(with, without, x, y, 8), 20) << x << ", " << y;
    // The other elements and the glare still show.
    EXPECT_GT(Brightness(with), Brightness(without) + 100000);
    ExpectGolden("flare_hidden", with);
}

// The game's own rasteriser draws no flare: the race makes no set there.
TEST_F(RaceFlare, TheRasteriserDrawsNoFlare)
{
    StartRace(kSoftware);
    EXPECT_FALSE(D().Flares);
    Aim({0.0f, 60.0f, 0.0f, 1.0f}, 0.0f, 0.0f);
    const torvane_test::PngImage image = DrawFrame();
    EXPECT_EQ(image.width, kWidth);
}

} // namespace
