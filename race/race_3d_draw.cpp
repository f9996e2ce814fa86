#include "engine/base/engine.h"
#include "engine/render/rast.h"
#include "engine/render/render_device.h"
#include "engine/scene/scene_view.h"
#include "race/race.h"
#include "race/race_3d_data.h"

// Drawing a race frame: the race camera has placed the engine's camera in
// the last update; the scene view prepares and draws the track, the sky,
// the bikes, riders, shadows, particles and arches, and the renderer draws
// its batches (3D device) or the depth buckets are drawn and the
// rasteriser's bands flushed (the game's own rasteriser). The overlay is
// drawn over it by DrawOverlay.

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
    GetHud().Update();
    if (Bike* viewed = ViewedBike())
        viewed->PrintAiDebug();
}
