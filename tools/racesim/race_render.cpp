#include "tools/racesim/race_render.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

#include "app/game_app.h"
#include "app/main_window.h"
#include "engine/render/render_device.h"
#include "engine/render/screenshot.h"
#include "engine/scene/mesh_draw_hooks.h"
#include "engine/scene/scene_view.h"
#include "platform/atomic_file.h"
#include "platform/video_thread.h"
#include "race/race.h"

namespace racesim {

namespace {

// The detail the pictures are drawn with: the game's third detail preset
// (far clipping 500, scene and engine detail 2, texture budget x2, smoke,
// lens flare and dark outlines), so that everything the race can draw is
// drawn. Sound and music stay off, and the display is a window.
constexpr std::int32_t kZClipping = 500;
constexpr std::int32_t kDetails = 2;
constexpr std::int32_t kEngineDetails = 2;
constexpr std::int32_t kShrink = 200;
constexpr std::uint32_t kGfxFlags = kGfxFlagAmbient | kGfxFlagPhotoreal | kGfxFlagDarkline;
constexpr int kWindowDepth = 16;
constexpr int kMaxSide = 4096;

platform::LResult WindowProc(platform::WindowHandle w, unsigned m, platform::WParam wp, platform::LParam lp)
{
    return platform::def_window_proc(w, m, wp, lp);
}

// The first 3D device of the first driver that is (or is not) a hardware
// one; -1 when there is none.
int FindDevice(const render_device& device, bool hardware)
{
    if (device.driver_count <= 0)
        return -1;
    const dd_driver_info& info = device.drivers[0];
    for (int i = 0; i < info.device_count; ++i)
        if ((info.devices[i].hardware != 0) == hardware)
            return i;
    return -1;
}

double Seconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

// The end of the scene's preparation: the first instance the scene view
// hands to the mesh drawing in a frame. The drawing hook installed for the
// frame notes the time and passes every call on to the hook it replaced.
struct SceneDrawWatch {
    decltype(scene_draw_hooks::draw_nodes) passOn = nullptr;
    bool seen = false;
    std::chrono::steady_clock::time_point first;
};
SceneDrawWatch g_watch;

void WatchedDrawNodes(ml_modelinfo* instance, model_record* drawn, scene_view& view, int faceCamera)
{
    if (!g_watch.seen) {
        g_watch.seen = true;
        g_watch.first = std::chrono::steady_clock::now();
    }
    g_watch.passOn(instance, drawn, view, faceCamera);
}

} // namespace

const char* RenderTypeName(RenderType type)
{
    return type == RenderType::Software ? "sw" : "hw";
}

bool ParseRenderType(const char* text, RenderType& out)
{
    if (std::strcmp(text, "hw") == 0)
        out = RenderType::Device3d;
    else if (std::strcmp(text, "sw") == 0)
        out = RenderType::Software;
    else
        return false;
    return true;
}

bool ParseSize(const char* text, int& width, int& height)
{
    char* end = nullptr;
    const long w = std::strtol(text, &end, 10);
    if (end == text || (*end != 'x' && *end != 'X'))
        return false;
    const char* second = end + 1;
    const long h = std::strtol(second, &end, 10);
    if (end == second || *end || w < 1 || w > kMaxSide || h < 1 || h > kMaxSide)
        return false;
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return true;
}

std::string ScreenshotName(long long frame)
{
    char name[40];
    std::snprintf(name, sizeof name, "frame%06lld.bmp", frame);
    return name;
}

RaceRender::~RaceRender()
{
    Close();
}

render_device& RaceRender::Device()
{
    return *m_device;
}

bool RaceRender::Open(GameApp& app, const RenderOptions& options, double frameTime, std::string& error)
{
    Close();
    m_options = options;
    m_frameTime = frameTime > 0.0 ? frameTime : 1.0 / 60.0;
    m_nextShot = options.every > 0.0 ? options.every : 0.0;
    m_shots.clear();
    m_phases = {};

    std::error_code ec;
    std::filesystem::create_directories(options.dir, ec);
    if (!std::filesystem::is_directory(options.dir, ec)) {
        error = "cannot make the screenshot folder " + options.dir;
        return false;
    }

    // The game's own main window, on the offscreen video driver unless the
    // caller chose another one.
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    m_startedVideo = !platform::video_thread_running();
    m_classRegistered = platform::register_window_class(kMainWindowClass, 0, &WindowProc);
    if (!app.CreateMainWindow()) {
        error = "cannot open a window: " + platform::last_window_error();
        Close();
        return false;
    }
    m_window = app.m_hWnd;

    m_device = new render_device();
    render_device& device = *m_device;
    if (device.enumerate_drivers(m_window) != 1) {
        error = "the display has no driver";
        Close();
        return false;
    }
    const bool hardware = options.type == RenderType::Device3d;
    const int deviceIndex = FindDevice(device, hardware);
    if (deviceIndex < 0) {
        error = std::string("the display has no ") + (hardware ? "3D device" : "software device");
        Close();
        return false;
    }

    app.HRes = options.width;
    app.VRes = options.height;
    app.DDrawDriver = 0;
    app.D3DDriver = deviceIndex;
    app.ZClipping = kZClipping;
    app.Details = kDetails;
    app.EngineDetails = kEngineDetails;
    app.Shrink = kShrink;
    app.GfxFlags = kGfxFlags | options.extra_gfx_flags;
    app.SizeMainWindow();

    // As the game's front end opens the display before a race: the software
    // path draws 16-bit, and the race's own start of its display finds the
    // device ready in this mode.
    device.software_16bit = hardware ? 0 : 1;
    if (device.init(0, options.width, options.height, kWindowDepth, deviceIndex) != 1) {
        error = "the display cannot be set up at " + std::to_string(options.width) + "x" +
                std::to_string(options.height);
        Close();
        return false;
    }
    set_the_render_device(m_device);
    m_savedHooks = scene_hooks();
    install_mesh_draw_hooks();
    m_hooksInstalled = true;
    return true;
}

void RaceRender::Close()
{
    if (m_hooksInstalled) {
        scene_hooks() = m_savedHooks;
        m_hooksInstalled = false;
    }
    if (m_device) {
        if (installed_render_device() == m_device)
            set_the_render_device(nullptr);
        m_device->release();
        delete m_device;
        m_device = nullptr;
    }
    if (m_window) {
        platform::destroy_window(m_window);
        m_window = {};
    }
    if (m_classRegistered) {
        platform::unregister_window_class(kMainWindowClass);
        m_classRegistered = false;
    }
    // The video thread this drawing started ends with it.
    if (m_startedVideo) {
        platform::shutdown_video_thread();
        m_startedVideo = false;
    }
}

bool RaceRender::BeginFrame(Race& race, std::string& error)
{
    m_frameStart = Clock::now();
    g_watch.seen = false;
    m_drawing = !(race.LiveFlags() & kRaceSuspended);
    if (!m_drawing)
        return true;
    if (!m_device->clear_zbuffer()) {
        error = "the display failed to clear its depth buffer";
        return false;
    }
    // Messages for the hidden window (moves, sizes) are taken one a frame,
    // as the game's loop takes them.
    platform::Message message;
    if (platform::peek_message(message, true)) {
        platform::translate_message(message);
        platform::dispatch_message(message);
    }
    // Without a mesh drawing installed nothing of the scene is drawn, and
    // the whole of the race's drawing counts as preparation.
    scene_draw_hooks& hooks = scene_hooks();
    if (hooks.draw_nodes && hooks.draw_nodes != &WatchedDrawNodes) {
        g_watch.passOn = hooks.draw_nodes;
        hooks.draw_nodes = &WatchedDrawNodes;
    }
    return true;
}

void RaceRender::Drawn()
{
    m_drawn = Clock::now();
    scene_draw_hooks& hooks = scene_hooks();
    if (hooks.draw_nodes == &WatchedDrawNodes)
        hooks.draw_nodes = g_watch.passOn;
    m_sceneDrawn = g_watch.seen;
    m_prepared = m_sceneDrawn ? g_watch.first : m_drawn;
}

bool RaceRender::EndFrame(Race& /*race*/, long long frame, std::string& error)
{
    const Clock::time_point updated = Clock::now();
    if (!m_drawing)
        return true;
    const double time = static_cast<double>(frame) * m_frameTime;
    // A small slack keeps a multiple of the interval from being missed by
    // the rounding of frame x frame time.
    if (time + 1e-9 >= m_nextShot) {
        if (m_options.every > 0.0)
            while (m_nextShot <= time + 1e-9)
                m_nextShot += m_options.every;
        const std::string path = (std::filesystem::path(m_options.dir) / ScreenshotName(frame)).string();
        const std::vector<std::uint8_t> bytes = screenshot_bmp_bytes(*m_device);
        std::string why;
        if (!platform::write_file_atomic(path, bytes, &why)) {
            error = "cannot write " + path + (why.empty() ? "" : ": " + why);
            return false;
        }
        m_shots.push_back(path);
    }
    const Clock::time_point beforePresent = Clock::now();
    if (!m_device->present()) {
        error = "the display failed to present a frame";
        return false;
    }
    const Clock::time_point end = Clock::now();
    ++m_phases.frames;
    if (m_sceneDrawn)
        ++m_phases.scene_frames;
    m_phases.prepare += Seconds(m_prepared - m_frameStart);
    m_phases.draw += Seconds(m_drawn - m_prepared);
    m_phases.update += Seconds(updated - m_drawn);
    m_phases.present += Seconds(end - beforePresent);
    return true;
}

} // namespace racesim
