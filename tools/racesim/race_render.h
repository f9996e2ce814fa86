#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/scene/scene_view.h"
#include "platform/window.h"

class GameApp;
class Race;
class render_device;

// Drawing the headless runner's race through the game's renderer, so that a
// race can be looked at frame by frame on a machine without a display: a
// hidden window on the platform's offscreen video driver, the render device
// opened on it as the game opens it, and ".bmp" screenshots of the back
// buffer written at an interval of race time. A tool for tests and review,
// not a game feature; the race's results are the same with it or without.
//
// What the pictures show is what the race draws: its 3D scene (Race::Draw,
// with the race's 3D loading) and its overlay (Race::DrawOverlay). Where the
// race does not draw its scene yet, the screenshots hold the overlay alone.
namespace racesim {

// The game's two drawing paths: the platform's 3D device (render type 96)
// and the game's own rasteriser (render type 144).
enum class RenderType { Device3d, Software };

struct RenderOptions {
    // The folder the screenshots go to (made when missing); empty: the race
    // is not drawn at all.
    std::string dir;
    // Seconds of run time between screenshots: a frame is saved when the
    // run's time (frames x frame time) reaches the next multiple; 0 saves
    // every frame.
    double every = 1.0;
    RenderType type = RenderType::Device3d;
    int width = 640;
    int height = 480;
    // Graphics flags added to the runner's own (kGfxFlagNoSky: no sky
    // dome, the display's background shows).
    std::uint32_t extra_gfx_flags = 0;
};

// "hw" or "sw".
const char* RenderTypeName(RenderType type);
// Reads "hw" / "sw"; false for anything else.
bool ParseRenderType(const char* text, RenderType& out);
// Reads "WxH" (1..4096 each); false for anything else.
bool ParseSize(const char* text, int& width, int& height);
// "frame000123.bmp": the screenshot of frame 123 of a run (the first frame
// is 1; frame n is drawn at n x the frame time).
std::string ScreenshotName(long long frame);

// Where the time of a drawn frame went, summed over the frames. The scene's
// preparation ends where the scene view hands its first instance to the
// mesh drawing (the runner listens at the view's drawing hook for it).
struct FramePhases {
    long long frames = 0;
    double prepare = 0.0; // s: clearing, the scene view's preparation (what is seen, levels of detail, node matrices)
    double draw = 0.0;    // s: the scene's meshes and polygons, and the overlay
    double update = 0.0;  // s: the race's update (simulation, camera, poses)
    double present = 0.0; // s: handing the frame to the display
    // Frames in which the scene view handed anything to the mesh drawing
    // (0 while the race draws no scene: its pictures hold the overlay).
    long long scene_frames = 0;
};

class RaceRender {
public:
    RaceRender() = default;
    ~RaceRender();
    RaceRender(const RaceRender&) = delete;
    RaceRender& operator=(const RaceRender&) = delete;

    // Opens the hidden window and the render device of the chosen type at
    // the chosen size, installs the device as the program's renderer and the
    // mesh drawing as the scene view's drawing (both as the game's drawing
    // tests install them; the hooks there were are put back on closing), and
    // fills the application record's display fields the race reads
    // (resolution, driver, device, detail and graphics flags). Must come
    // before the race loads. False with `error` set when the display cannot
    // be opened or the screenshot folder cannot be made.
    bool Open(GameApp& app, const RenderOptions& options, double frameTime, std::string& error);

    // The steps of a frame around the race's own (the game's frame order:
    // clear, Draw, DrawOverlay, Update, present). BeginFrame clears the
    // Z-buffer and hands one waiting window message on; Drawn marks the end
    // of the drawing; EndFrame saves the screenshot when one is due and
    // presents. A suspended race draws nothing and presents nothing, as in
    // the game. False when the display failed or a screenshot could not be
    // written (`error` says which).
    bool BeginFrame(Race& race, std::string& error);
    void Drawn();
    bool EndFrame(Race& race, long long frame, std::string& error);

    const std::vector<std::string>& Screenshots() const { return m_shots; }
    const FramePhases& Phases() const { return m_phases; }
    void ResetPhases() { m_phases = {}; }
    render_device& Device();

private:
    using Clock = std::chrono::steady_clock;

    void Close();

    RenderOptions m_options;
    double m_frameTime = 1.0 / 60.0;
    double m_nextShot = 0.0;
    render_device* m_device = nullptr;
    platform::WindowHandle m_window{};
    bool m_classRegistered = false;
    bool m_startedVideo = false;
    bool m_hooksInstalled = false;
    scene_draw_hooks m_savedHooks;
    bool m_drawing = false;
    bool m_sceneDrawn = false;
    std::vector<std::string> m_shots;
    FramePhases m_phases;
    Clock::time_point m_frameStart;
    Clock::time_point m_prepared;
    Clock::time_point m_drawn;
};

} // namespace racesim
