#include <cmath>

#include "engine/base/engine.h"
#include "engine/render/lens_flare.h"
#include "engine/render/rast.h"
#include "engine/render/render_device.h"
#include "engine/scene/camera.h"
#include "engine/scene/ground_under.h"
#include "engine/scene/scene_view.h"
#include "race/race.h"
#include "race/race_3d_data.h"

// Drawing a race frame: the race camera has placed the engine's camera in
// the last update; the scene view prepares and draws the track, the sky,
// the bikes, riders, shadows, particles and arches, and the renderer draws
// its batches (3D device) or the depth buckets are drawn and the
// rasteriser's bands flushed (the game's own rasteriser). The overlay is
// drawn over it by DrawOverlay: first the sun's lens flare, then the HUD.

namespace {

// The sun's direction for the frame's camera: the world direction turned
// by the camera's view matrix (rows are the world axes in view space; the
// translation plays no part in a direction).
void UpdateSun(Race3dData& d)
{
    const camera* cam = d.View ? d.View->cam : nullptr;
    if (!cam)
        return;
    const mat4& m = cam->view;
    const vec4& w = d.SunWorld;
    d.SunView.x = w.x * m.m[0][0] + w.y * m.m[1][0] + w.z * m.m[2][0];
    d.SunView.y = w.x * m.m[0][1] + w.y * m.m[1][1] + w.z * m.m[2][1];
    d.SunView.z = w.x * m.m[0][2] + w.y * m.m[1][2] + w.z * m.m[2][2];
    d.SunView.w = 0.0f;
}

// The camera's zoom: the focal factor it projects with (1 / tan of half
// its field of view, or the focal value written to it when that is a
// number above 0).
float CameraZoom(const camera& cam)
{
    if (std::isfinite(cam.focal) && cam.focal > 0.0f)
        return cam.focal;
    const double t = std::tan(static_cast<double>(cam.half_fov));
    return t > 0.0 && std::isfinite(t) ? static_cast<float>(1.0 / t) : 1.0f;
}

// The lens flare over the frame: toward the sun the engine context names,
// with the view's projection, unless the camera stands under something
// (the ground search over the track's grid). The set draws nothing in the
// software render type.
void DrawLensFlare(Race3dData& d)
{
    const render_device* renderer = installed_render_device();
    if (!d.Flares || !renderer || !d.Engine || !d.Engine->sun || !d.View || !d.View->cam)
        return;
    const camera& cam = *d.View->cam;
    if (grid_find_ground(cam.position, d.View->world, d.FlareGround))
        return;
    const vec4& sun = *d.Engine->sun;
    flare_view view;
    view.sun_x = sun.x;
    view.sun_y = sun.y;
    view.sun_z = sun.z;
    view.scale = d.View->projection().scale_x * CameraZoom(cam);
    view.centre_x = static_cast<float>(d.View->centre_x);
    view.centre_y = static_cast<float>(d.View->centre_y);
    view.width = renderer->width;
    view.height = renderer->height;
    d.Flares->draw_screen_overlay(view);
}

} // namespace

// The background colour of the race's display by weather: a clear sky,
// grey in rain and fog; any other weather keeps the last colour.
void Race::SetSkyColour()
{
    static constexpr float kSunny[3] = {0.654902f, 0.874510f, 0.921569f};
    static constexpr float kGrey[3] = {0.4f, 0.474510f, 0.490196f};
    const float* sky = m_nWeather == kWeatherSunny ? kSunny
                       : (m_nWeather == kWeatherRain || m_nWeather == kWeatherFog) ? kGrey
                                                                                    : nullptr;
    if (!sky)
        return;
    for (int c = 0; c < 3; ++c)
        m_SkyColour[c] = sky[c];
}

void Race::Draw()
{
    if (LiveFlags() & kRaceSuspended)
        return;
    render_device* renderer = installed_render_device();
    if (!m_p3d || !renderer || !renderer->ready)
        return;
    Race3dData& d = *m_p3d;
    current_engine = d.Engine.get();
    d.Engine->option_byte = static_cast<std::uint8_t>(m_uEngineOption);
    renderer->set_background(m_SkyColour[0], m_SkyColour[1], m_SkyColour[2]);
    renderer->clear_back_buffer();
    d.View->prepare();
    UpdateSun(d);
    d.View->draw();
    // The view flushed the batches between its groups; the software path's
    // recorded polygons are drawn when the scene ends.
    renderer->draw_scene();
    rast_flush();
}

void Race::DrawOverlay()
{
    if (LiveFlags() & kRaceSuspended)
        return;
    if (m_p3d)
        DrawLensFlare(*m_p3d);
    GetHud().Update();
    if (Bike* viewed = ViewedBike())
        viewed->PrintAiDebug();
}
