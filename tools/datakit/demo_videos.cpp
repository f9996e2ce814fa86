#include "tools/datakit/demo_videos.h"

#include <cmath>
#include <memory>
#include <system_error>

#include "engine/base/engine.h"
#include "engine/base/shade_table.h"
#include "engine/model/ml_modelinfo.h"
#include "engine/model/model_lib.h"
#include "engine/render/rast.h"
#include "engine/render/render_device.h"
#include "engine/scene/camera.h"
#include "engine/scene/lights.h"
#include "engine/scene/mesh_draw_hooks.h"
#include "engine/scene/scene.h"
#include "engine/scene/scene_view.h"
#include "platform/display.h"
#include "platform/window.h"
#include "tools/datakit/sound_synth.h"

namespace datakit {

namespace {

constexpr const char* kWindowClass = "DemoVideo";
constexpr float kPi = 3.14159265f;
constexpr std::uint32_t kSoundRate = 22050;

platform::LResult video_window_proc(platform::WindowHandle w, unsigned m, platform::WParam wp, platform::LParam lp)
{
    return platform::def_window_proc(w, m, wp, lp);
}

// The engine's state while the kit draws: its own renderer and context,
// whatever was installed before put back afterwards.
class KitRenderer {
public:
    KitRenderer() : previous_device_(installed_render_device()), previous_engine_(current_engine)
    {
        platform::register_window_class(kWindowClass, 0, &video_window_proc);
        window_ = platform::create_window(0, kWindowClass, "Demo video", 0, 0, 0, kDemoVideoWidth,
                                          kDemoVideoHeight);
        set_the_render_device(&device_);
        ok_ = window_ && platform::set_client_size(window_, kDemoVideoWidth, kDemoVideoHeight, false) &&
              device_.enumerate_drivers(window_) >= 1;
        device_.software_16bit = 1;
        ok_ = ok_ && device_.init(0, kDemoVideoWidth, kDemoVideoHeight, 16, 0) == 1 && device_.screen_depth == 16;
        engine_.set_render_type(engine::software_render_type);
        engine_.set_mode_word(1);
        current_engine = &engine_;
        install_mesh_draw_hooks();
    }
    ~KitRenderer()
    {
        device_.release();
        set_the_render_device(previous_device_);
        current_engine = previous_engine_;
        if (window_)
            platform::destroy_window(window_);
    }
    bool ok() const { return ok_; }
    render_device& device() { return device_; }

    // The picture drawn, as RGB.
    platform::VideoFrame frame()
    {
        platform::VideoFrame f;
        f.width = kDemoVideoWidth;
        f.height = kDemoVideoHeight;
        f.rgb.reserve(static_cast<std::size_t>(f.width) * f.height * 3);
        for (int y = 0; y < f.height; ++y) {
            const std::uint8_t* row = device_.screen_pixels + static_cast<std::ptrdiff_t>(y) * device_.back_pitch;
            for (int x = 0; x < f.width; ++x) {
                const unsigned p = row[2 * x] | static_cast<unsigned>(row[2 * x + 1]) << 8;
                const unsigned r = p >> 11 & 31, g = p >> 5 & 63, b = p & 31;
                f.rgb.push_back(static_cast<std::uint8_t>(r << 3 | r >> 2));
                f.rgb.push_back(static_cast<std::uint8_t>(g << 2 | g >> 4));
                f.rgb.push_back(static_cast<std::uint8_t>(b << 3 | b >> 2));
            }
        }
        return f;
    }

private:
    render_device* previous_device_;
    engine* previous_engine_;
    render_device device_;
    engine engine_;
    platform::WindowHandle window_{};
    bool ok_ = false;
};

// A bike passing: an engine note rising and falling with the distance.
std::vector<std::int16_t> passing_bike_sound(double seconds)
{
    const auto count = static_cast<std::size_t>(seconds * kSoundRate);
    synth::Signal left(count), right(count);
    double phase = 0.0;
    for (std::size_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / kSoundRate;
        const double x = (t - seconds / 2) / (seconds / 2);  // -1 .. 1 as it passes
        const double pitch = 90.0 + 60.0 * std::tanh(-2.0 * x);
        phase += 2.0 * kPi * pitch / kSoundRate;
        const double loud = 1.0 / (1.0 + 4.0 * x * x);
        const double wave = 0.6 * std::sin(phase) + 0.3 * std::sin(2.0 * phase) + 0.1 * std::sin(3.0 * phase);
        left[i] = static_cast<float>(wave * loud * (0.5 - 0.4 * x));
        right[i] = static_cast<float>(wave * loud * (0.5 + 0.4 * x));
    }
    const std::vector<std::int16_t> l = synth::to_pcm16(left), r = synth::to_pcm16(right);
    std::vector<std::int16_t> out;
    out.reserve(2 * count);
    for (std::size_t i = 0; i < count; ++i) {
        out.push_back(l[i]);
        out.push_back(r[i]);
    }
    return out;
}

} // namespace

platform::VideoSource demo_intro_video_source(const std::filesystem::path& root)
{
    platform::VideoSource source;
    source.width = kDemoVideoWidth;
    source.height = kDemoVideoHeight;
    source.frame_rate = kDemoVideoFrameRate;
    source.sound_rate = kSoundRate;
    source.sound_channels = 2;
    source.sound = passing_bike_sound(static_cast<double>(kDemoVideoFrames) / kDemoVideoFrameRate);

    KitRenderer kit;
    if (!kit.ok())
        return source;
    render_device& device = kit.device();
    const std::string palette = (root / "menu" / "3d" / "podium.pal").string();
    device.load_palette(palette.c_str());
    load_shade_table(palette.c_str());
    rast_set_globals(32, 16, 1);
    rast_set_screen(static_cast<float>(kDemoVideoWidth), static_cast<float>(kDemoVideoHeight));

    scene world;
    world.load((root / "menu" / "3d" / "a1").string().c_str(), scene::material_kind_mtp, 0, 1);
    camera cam;
    cam.far = cam.far_base = 100.0f;
    cam.set_fov(1.0f);
    scene_view view(&world, nullptr, 0, &cam, 0, 0, kDemoVideoWidth, kDemoVideoHeight);
    view.frustum.near_z = view.frustum.near_z_copy = -0.001f;
    scn_light light;
    light_set(light, 3, 0.5f, 0.5f, 0.5f, 100000000.0f, 0.0f, 0.0f);
    ml_modelinfo* light_model = model_lib::make_simple_model(&light);
    light_model->set_position(0.0f, 0.6f, 0.8f, 1.0f);
    view.add_instance(light_model);

    for (int n = 0; n < kDemoVideoFrames; ++n) {
        const float f = static_cast<float>(n) / static_cast<float>(kDemoVideoFrames);
        // Round the podium from its left to its right, coming down and in.
        const float a = -0.9f + 1.8f * f;
        const float distance = 6.5f - 1.5f * f;
        cam.position = {-1.0f + distance * std::sin(a), 2.4f - 0.8f * f, distance * std::cos(a), 1.0f};
        cam.target = {-1.0f, 0.7f, 0.0f, 1.0f};
        const float t = f;
        if (!world.model_libs.empty())
            for (ml_modelinfo* model = world.model_libs.front()->models; model; model = model->next) {
                model->anim_time = t;
                model->clear_flags(model_transforms_valid);
                model->update_transforms(t);
            }
        device.set_background(0.05f, 0.05f, 0.1f);
        device.clear_back_buffer();
        view.prepare();
        view.draw();
        device.draw_scene();
        rast_flush();
        source.frames.push_back(kit.frame());
    }
    view.remove_instance(light_model);
    light_model->destroy();
    delete light_model;
    return source;
}

bool write_demo_videos(const std::filesystem::path& root, std::string& error)
{
    if (!platform::video_supported())
        return true;
    const platform::VideoSource source = demo_intro_video_source(root);
    if (source.frames.empty())
        return true;  // nothing can draw here: the game's video then ends at once
    std::error_code ec;
    std::filesystem::create_directories(root / "menu" / "video", ec);
    std::string failure;
    if (!platform::write_video((root / "menu" / "video" / "intro.avi").string(), source, &failure)) {
        error = "cannot write the intro video: " + failure;
        return false;
    }
    return true;
}

} // namespace datakit
