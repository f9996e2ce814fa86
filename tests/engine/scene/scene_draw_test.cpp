#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/base/name_hash.h"
#include "engine/model/ml_modelinfo.h"
#include "engine/base/light_record.h"
#include "engine/base/shade_table.h"
#include "engine/model/model_lib.h"
#include "engine/render/rast.h"
#include "engine/render/render_device.h"
#include "engine/scene/camera.h"
#include "engine/scene/depth_sort.h"
#include "engine/scene/mesh_draw.h"
#include "engine/base/texture_record.h"
#include "engine/scene/mesh_draw_hooks.h"
#include "engine/scene/lights.h"
#include "engine/scene/scene_view.h"
#include "platform/display.h"
#include "platform/fault_seam.h"
#include "platform/message_box.h"
#include "platform/video_thread.h"
#include "platform/window.h"
#include "tests/engine/render/rast_test_fixture.h"
#include "tests/engine/scene/scene_load_fixture.h"
#include "tests/support/back_surface_picture.h"
#include "tests/support/png_image.h"
#include "tools/datakit/shade_table_writer.h"

// The data kit's small scene drawn through the scene view with the mesh
// drawing's hooks installed, on both paths: render type 96 through the 3D
// device's batches, render type 144 through the depth buckets and the
// game's rasteriser. The pictures are regression guards of the whole scene
// (checked in under golden/, TORVANE_UPDATE_GOLDEN=1 rewrites them); the
// checks beside them say what must be seen whatever the pixels.
namespace {

constexpr int kHardware = 1;  // device 1: the platform's 3D device
constexpr int kSoftware = 0;  // device 0: the game's rasteriser
constexpr int kWindow = 16;
constexpr int kWidth = 320;
constexpr int kHeight = 240;

// Pixels may differ from the golden picture by this much in any channel
// (16-bit colour: one step of the 5- and 6-bit channels), and at most
// kStrayPixels pixels may differ by more (edges that move by one pixel
// when a rounding changes).
constexpr int kChannelTolerance = 8;
constexpr int kStrayPixels = 40;

platform::LResult Proc(platform::WindowHandle w, unsigned m, platform::WParam wp, platform::LParam lp)
{
    return platform::def_window_proc(w, m, wp, lp);
}

std::string golden_path(const char* name)
{
    return std::string(TORVANE_SCENE_GOLDEN_DIR) + "/" + name + ".png";
}

// Compares an RGB picture with its golden file within the tolerance above.
void expect_golden(const char* name, const torvane_test::PngImage& image)
{
    torvane_test::expect_rgb_golden(golden_path(name), image, kChannelTolerance, kStrayPixels);
}

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb&) const = default;
};

Rgb pixel(const torvane_test::PngImage& image, int x, int y)
{
    const std::uint8_t* p = &image.pixels[3 * (y * image.width + x)];
    return {p[0], p[1], p[2]};
}

// Pixels of a rectangle that differ from the background.
int drawn_in(const torvane_test::PngImage& image, Rgb background, int x0, int y0, int x1, int y1)
{
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            n += !(pixel(image, x, y) == background);
    return n;
}

class SceneDraw : public scene_test::KitSceneTest {
protected:
    void SetUp() override
    {
        KitSceneTest::SetUp();
        platform::clear_recorded_message_boxes();
        ASSERT_TRUE(platform::register_window_class("SceneDraw", 0, &Proc));
        window = platform::create_window(0, "SceneDraw", "Scene draw", 0, 0, 0, kWidth, kHeight);
        ASSERT_TRUE(window);
        set_the_render_device(&device);
        install_mesh_draw_hooks();
    }
    void TearDown() override
    {
        scene_hooks() = {};
        device.release();
        set_the_render_device(nullptr);
        platform::reset_display_description();
        platform::clear_faults();
        platform::shutdown_video_thread();
        platform::clear_recorded_message_boxes();
        rast_set_threads(1);
        KitSceneTest::TearDown();
    }

    // The display of one path in a window of the picture's size.
    void open(int which)
    {
        ASSERT_TRUE(platform::set_client_size(window, kWidth, kHeight, false));
        ASSERT_EQ(device.enumerate_drivers(window), 1);
        ASSERT_EQ(device.init(0, kWidth, kHeight, kWindow, which), 1);
    }

    // Loads the scene, puts the bike and its rider on the road between the
    // two huts and draws one frame from a camera behind them, up and to the
    // side.
    void draw_frame()
    {
        const bool software = device.render_type == kRenderSoftware;
        // As a race: the ".MTP" materials on the software device, with the
        // scene's palette and its shade table; the light factor of the
        // kit's scene records (0.9 on the 3D device, 0.45 on the software
        // one, whose shade table shows a colour itself at intensity 0.5).
        world.load(base.c_str(), software ? scene::material_kind_mtp : scene::material_kind_mtt, 0, 0);
        current_engine->set_factors(software ? 0.45f : 0.9f, 0.5f);
        // The loaded frames go to the device (nothing for the software type).
        ASSERT_EQ(device.upload_textures(100), 1);
        model_lib& lib = *world.model_libs.front();
        bike = lib.create_instance("BIKE", world.material_libs, 0);
        rider = lib.create_instance("RIDER", world.material_libs, 0);
        ASSERT_TRUE(bike && rider);
        bike->set_position(-30.0f, 0.0f, -23.5f, 1.0f);
        rider->set_position(-30.0f, 0.0f, -23.5f, 1.0f);
        cam.position = {-32.6f, 1.5f, -20.0f, 1.0f};
        cam.target = {-28.0f, 0.2f, -80.0f, 1.0f};
        cam.far_base = 1000.0f;
        cam.set_fov(1.6f);
        current_engine->grid_culling = 0;
        // The sun: a directional light on a light instance, as the race
        // makes it from its scene record (colour 1, from (1000, 2000, 500)).
        scn_light sun;
        light_set(sun, 3, 1.0f, 1.0f, 0.95f, 100000000.0f, 0.0f, 0.0f);
        ml_modelinfo* light = model_lib::make_simple_model(&sun);
        ASSERT_TRUE(light);
        const float l = std::sqrt(1000.0f * 1000.0f + 2000.0f * 2000.0f + 500.0f * 500.0f);
        light->set_position(1000.0f / l, 2000.0f / l, 500.0f / l, 1.0f);
        scene_view view(&world, nullptr, 0, &cam, 0, 0, kWidth, kHeight);
        view.add_instance(light);
        view.add_instance(bike);
        view.add_instance(rider);
        ASSERT_EQ(device.clear_back_buffer(), 1);
        device.clear_zbuffer();
        view.prepare();
        view.draw();
        // The view flushed the batches after every instance; the software
        // type's recorded polygons are drawn when the scene ends.
        device.draw_scene();
        rast_flush();
        meshes = view.meshes_drawn;
        faces = view.faces_drawn;
        view.remove_instance(rider);
        view.remove_instance(bike);
        view.remove_instance(light);
        delete light;
    }

    // The picture of the back buffer as RGB.
    torvane_test::PngImage picture()
    {
        std::vector<std::uint8_t> palette;
        for (const datakit::PaletteColor& c : kit.palette)
            for (int v : {c.red, c.green, c.blue})
                palette.push_back(static_cast<std::uint8_t>(v * 255 / 63));
        return torvane_test::back_surface_picture(device, kWidth, kHeight, palette);
    }

    // What every picture of the scene shows: hut A at the left edge and
    // hut B at the right on the horizon, the bike and its rider large in
    // the lower right, each away from the background of the top-left
    // corner; the sky above the horizon stays empty.
    void expect_scene(const torvane_test::PngImage& image)
    {
        const Rgb background = pixel(image, 0, 0);
        EXPECT_GT(drawn_in(image, background, 0, 95, 40, 125), 300) << "no hut on the left";
        EXPECT_GT(drawn_in(image, background, 260, 100, 290, 120), 300) << "no hut on the right";
        EXPECT_GT(drawn_in(image, background, 235, 140, 290, 190), 1500) << "no bike";
        EXPECT_EQ(drawn_in(image, background, 0, 0, kWidth, 90), 0) << "something in the sky";
        EXPECT_GT(meshes, 0u);
        EXPECT_GT(faces, 0u);
    }

    platform::WindowHandle window{};
    render_device device;
    scene world;
    camera cam;
    ml_modelinfo* bike = nullptr;
    ml_modelinfo* rider = nullptr;
    std::uint32_t meshes = 0;
    std::uint32_t faces = 0;
};

TEST_F(SceneDraw, TheKitSceneOnThe3DDevice)
{
    open(kHardware);
    ASSERT_EQ(device.render_type, kRenderHardware);
    draw_frame();
    const torvane_test::PngImage image = picture();
    expect_scene(image);
    expect_golden("kit_scene_device", image);
    EXPECT_TRUE(platform::recorded_message_boxes().empty());
}

TEST_F(SceneDraw, TheKitSceneThroughTheDepthBuckets)
{
    rast_test::install_tables(8);
    open(kSoftware);
    // The scene's palette on the screen and its shade table.
    const std::string palette = base + ".pal";
    ASSERT_EQ(device.load_palette(palette.c_str()), 1);
    const std::vector<std::uint32_t> shades = datakit::compute_shade_table(kit.palette);
    std::copy(shades.begin(), shades.end(), shade_table);
    ASSERT_EQ(device.render_type, kRenderSoftware);
    current_engine->set_render_type(engine::software_render_type);
    draw_frame();
    const torvane_test::PngImage image = picture();
    expect_scene(image);
    expect_golden("kit_scene_software", image);
    EXPECT_TRUE(platform::recorded_message_boxes().empty());
}

} // namespace
