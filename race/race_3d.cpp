#include <cstdio>

#include "app/game_error.h"
#include "app/typed_list.h"
#include "race/race.h"
#include "sim/race_context.h"

// The race's 3D data, display and music. The track's scene record is read
// here; the engine context, scene, model libraries, instances and sounds
// join when the race has a renderer and a sound library. A race without
// them (headless) loads, runs and is simulated all the same.

bool Race::Load3d()
{
    CreateView();
    char name[64];
    const char* weather = m_nWeather >= 0 && m_nWeather < 3 ? kWeatherSuffixes[m_nWeather] : "";
    std::snprintf(name, sizeof name, "%s%s%s", m_szTrackName, weather,
                  m_bHardwareDevice ? kHardwareSuffix : kSoftwareSuffix);
    TrackSceneRecord scene;
    if (ReadTypedList(kDetailsFile, name, &scene, sizeof scene, sizeof scene, 1) == 0)
        ThrowGameError("Track scene details not found: %s", name);
    m_TrackScene = scene;
    if (m_nSessionType == kSessionPractice)
        AiCreateArches(*this);
    LiveFlags() |= kRace3dLoaded;
    return true;
}

void Race::Release3d()
{
    if (!(LiveFlags() & kRace3dLoaded))
        return;
    m_Camera.Release();
    SmokeReleaseInstances(*this, nullptr);
    for (PracticeArch& arch : m_Arches)
        arch.Instance = nullptr;
    DestroyView();
    LiveFlags() &= ~kRace3dLoaded;
    // The sound markers stay: they belong to the race for its whole life.
}

void Race::CreateView()
{
    m_bViewCreated = true;
}

void Race::DestroyView()
{
    m_bViewCreated = false;
}

int Race::Start3d()
{
    return InitDisplay();
}

int Race::InitDisplay()
{
    return m_Camera.Load(m_szTrackName) ? 1 : 0;
}

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
    // The scene view draws the race's scene with its 3D data.
}

void Race::DrawOverlay()
{
    if (LiveFlags() & kRaceSuspended)
        return;
    GetHud().Update();
    if (Bike* viewed = ViewedBike())
        viewed->PrintAiDebug();
}
