#include "race/race_camera.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "app/approach.h"
#include "app/game_app.h"
#include "app/typed_list.h"
#include "engine/model/ml_modelinfo.h"
#include "engine/model/model_node.h"
#include "engine/render/render_device.h"
#include "engine/scene/camera.h"
#include "input/input_manager.h"
#include "race/bike_models.h"
#include "race/overlay_files.h"
#include "race/race.h"
#include "race/race_data.h"
#include "sim/bike.h"
#include "sim/race_context.h"
#include "sim/wrap_angle.h"

namespace {

constexpr float kNoGap = std::numeric_limits<float>::max();

// Keys "1" to "4" of the main keyboard.
constexpr int kKeyOne = 0x02;
// Overlay messages during which the mode keys do nothing (race menu, start
// sequence, results menu, finish standings).
constexpr std::uint32_t kModeKeyBlockers = 0x08 | 0x10 | 0x20 | 0x80;
// An instance is drawn while its active flag is set.
constexpr std::uint32_t kInstanceTransformsValid = model_transforms_valid;
// Input mode word bit 0: input playback.
constexpr std::uint32_t kInputPlayback = 0x1;
// The rider state of a spin whose phase turns the aim heading.
constexpr int kRiderStateSpin = 4;

void Show(ml_modelinfo* instance, bool shown)
{
    ShowModelInstance(instance, shown);
}

bool UsableFocal(float degrees)
{
    return std::isfinite(degrees) && degrees >= 1.0f && degrees <= 170.0f;
}

// Onboard cameras of a model when "FIXED_CAMS" does not give them: ahead
// of the rider over the fairing, and low behind the seat looking back.
constexpr FixedCamera kDefaultFront{0.0f, 0.95f, 0.45f, 0.0f};
constexpr FixedCamera kDefaultRear{0.15f, 0.8f, -0.75f, 0.0f};

} // namespace

RaceCamera::RaceCamera(Race& race) : m_Hud(race), m_race(race)
{
    for (float& f : m_Focals)
        f = kDefaultFocalDegrees;
    for (int model = 0; model < 5; ++model) {
        m_FixedCams[2 * model] = kDefaultFront;
        m_FixedCams[2 * model + 1] = kDefaultRear;
    }
    m_fFov = m_Focals[m_nMode] * kDegreesToRadians;
    m_fViewFov = m_fFov;
}

bool RaceCamera::Load(const char* trackName, camera* sceneCamera)
{
    m_pSceneCamera = sceneCamera;
    m_uFlags = 0;
    m_nClip = TheGameApp().ZClipping;

    FixedCamera fixed[2 * 5];
    const int fixedRead = ReadTypedList(kDetailsFile, "FIXED_CAMS", fixed, static_cast<int>(sizeof(FixedCamera)),
                                        static_cast<int>(sizeof(FixedCamera)), 2 * 5);
    for (int i = 0; i < 2 * 5; ++i) {
        const FixedCamera& f = fixed[i];
        const bool good = i < fixedRead && std::isfinite(f.X) && std::isfinite(f.Y) && std::isfinite(f.Z) &&
                          std::isfinite(f.P);
        m_FixedCams[i] = good ? f : (i % 2 == 0 ? kDefaultFront : kDefaultRear);
    }

    // A missing list would leave every lens at 0 degrees: the default lens
    // instead, and so for any value that is not a usable angle.
    float focals[kCameraModes];
    const int focalsRead = ReadTypedList(kDetailsFile, "FOCALS", focals, static_cast<int>(sizeof focals),
                                         static_cast<int>(sizeof focals), 1);
    for (int mode = 0; mode < kCameraModes; ++mode)
        m_Focals[mode] = focalsRead == 1 && UsableFocal(focals[mode]) ? focals[mode] : kDefaultFocalDegrees;

    // The overlay's definition for the screen's width and the kind of
    // renderer, when there is a screen to draw it on (a headless race has
    // none); a failed load is reported and the race goes on without one.
    if (const render_device* device = installed_render_device(); device && device->ready)
        m_Hud.CockpitLoad(OverlayFileName(device->draw_width, device->render_type != kRenderSoftware).c_str());

    std::string error;
    const std::string file = TrackCameraFileName(trackName);
    m_nTvCount = LoadTvCameras(file.c_str(), m_TvCameras, kMaxTvCameras, &error);
    if (!error.empty())
        std::fprintf(stderr, "Trackside cameras not used: %s\n", error.c_str());
    m_nTvCurrent = 0;
    m_fFrameClock = -1.0f;
    return true;
}

void RaceCamera::Release()
{
    m_Hud.Free();
    m_pSceneCamera = nullptr;
    for (int i = 0; i < 5; ++i)
        m_pCockpit3d[i] = m_pCockpit2d[i] = nullptr;
    m_pHandlebars = nullptr;
    m_pSky = nullptr;
}

void RaceCamera::SetTvCameras(const TvCamera* cameras, int count)
{
    m_nTvCount = std::clamp(count, 0, kMaxTvCameras);
    for (int i = 0; i < m_nTvCount; ++i)
        m_TvCameras[i] = cameras[i];
    m_nTvCurrent = 0;
}

float RaceCamera::LapLength() const
{
    return m_race.m_Circuit.Length;
}

void RaceCamera::FollowBike(Bike* bike)
{
    Detach();
    // The last camera serves on to the end of the lap. With no cameras
    // there is no last record to extend, and a last camera whose range runs
    // across the finish line already serves the lap's end (moving its To
    // would lose the stretch after the line).
    if (m_nTvCount > 0) {
        TvCamera& last = m_TvCameras[m_nTvCount - 1];
        if (last.From <= last.To)
            last.To = LapLength() + 1.0f;
    }
    m_pTarget = bike;
    m_Hud.SetViewedBike(bike);
    if (bike) {
        m_pTargetPos = &bike->Position;
        m_pTargetAim = &bike->CgPosition;
        m_pTargetOrient = &bike->RiderAngles;
    }
    if (m_race.AttractRun())
        m_uFlags |= kDirector;
    SetMode(m_nMode);
}

void RaceCamera::FollowPoint(const Vec3* position, const Vec3* aim, const Vec3* orientation)
{
    Detach();
    m_Hud.SetViewedBike(nullptr);
    m_pTargetPos = position;
    m_pTargetAim = aim;
    m_pTargetOrient = orientation;
    if (m_race.AttractRun())
        m_uFlags |= kDirector;
    SetMode(m_nMode);
}

void RaceCamera::Detach()
{
    if (m_pTarget && (m_nMode == kCameraOnboard || m_nMode == kCameraFront)) {
        Show(m_pTarget->BikeInstance, true);
        Show(m_pTarget->RiderInstance, true);
        const int model = TargetModel();
        Show(m_pCockpit3d[model], false);
        Show(m_pCockpit2d[model], false);
        Show(m_pHandlebars, false);
    }
    m_pTarget = nullptr;
}

int RaceCamera::TargetModel() const
{
    if (!m_pTarget || !m_pTarget->GridEntry)
        return 0;
    return std::clamp(static_cast<int>(m_pTarget->GridEntry->Model), 0, 4);
}

float RaceCamera::TargetDistance() const
{
    return m_pTarget ? m_pTarget->Progress : 0.0f;
}

float RaceCamera::TargetLean() const
{
    if (m_pTarget)
        return m_pTarget->Roll;
    return m_pTargetOrient ? m_pTargetOrient->z : 0.0f;
}

void RaceCamera::ModeMessages(int mode)
{
    if (mode == m_nMode)
        return;
    if (InputManager* input = TheInputManager())
        if (input->m_dwMode & kInputPlayback)
            return;
    const bool demo = m_race.AttractRun();
    if (mode == kCameraOnboard || mode == kCameraTrailClose || mode == kCameraChase ||
        (mode == kCameraFront && !demo)) {
        m_Hud.Raise(kHudOnboard);
        m_Hud.Clear(kHudTrackside);
    } else if (mode == kCameraTelevision) {
        m_Hud.Clear(kHudOnboard);
        m_Hud.Raise(kHudTrackside);
    } else {
        m_Hud.Clear(kHudOnboard | kHudTrackside);
    }
}

void RaceCamera::SetMode(int mode)
{
    if (mode < 0 || mode >= kCameraModes)
        mode = kCameraChase;
    // Mode 4 frames a bike: without one the mode stays as it is.
    if (mode == kCameraTelevision && !m_pTarget)
        return;
    if (DirectorOn() && mode != m_nMode)
        m_fModeTime = 0.0f;
    m_fFov = m_Focals[mode] * kDegreesToRadians;
    const float heading = m_pTargetOrient ? m_pTargetOrient->y : 0.0f;
    switch (mode) {
    case kCameraOnboard:
        m_Offset = Vec3(0.0f, 1.15f, 0.75f);
        m_Angles = Vec3(0.0f, heading, 0.0f);
        m_fParam1 = -0.25f;
        m_fParam2 = 0.0f;
        break;
    case kCameraFront:
    case kCameraRear: {
        const FixedCamera& f = m_FixedCams[2 * TargetModel() + (mode == kCameraRear ? 1 : 0)];
        m_Offset = Vec3(f.X, f.Y, f.Z);
        m_Angles = Vec3();
        m_fParam1 = 0.5f;
        m_fParam2 = f.P;
        break;
    }
    case kCameraTrailClose:
    case kCameraChase:
        if (m_pTargetPos)
            m_Offset = *m_pTargetPos;
        m_Angles = Vec3(0.0f, heading, 0.0f);
        m_fParam1 = -4.0f;
        m_fParam2 = 0.4f;
        break;
    case kCameraTelevision:
        m_fParam1 = 0.0f;
        m_fParam2 = 0.0f;
        m_nAheadPending = m_nBehindPending = m_nAhead = m_nBehind = 0;
        m_fFrameClock = -1.0f;
        SelectTvCamera();
        break;
    case kCameraFree:
        m_Offset = Vec3();
        m_Angles = Vec3();
        m_fParam1 = 0.0f;
        m_fParam2 = 0.0f;
        break;
    case kCameraStart:
        m_Offset = Vec3();
        m_Angles = Vec3();
        m_fParam1 = 0.6f;
        m_fParam2 = 40.0f;
        break;
    default:
        break;
    }
    ModeMessages(mode);
    m_nMode = mode;
    m_uFlags |= kSnap;
    ApplyVisibility();
    RaceContext& context = CurrentRaceContext();
    if (context.Models == m_race.m_BikeModels)
        context.CameraMode = mode;
}

void RaceCamera::SelectTvCamera()
{
    // Without trackside cameras there is no record to pick: the mode shows
    // the trailing view instead (never record 0 of an empty list).
    if (m_nTvCount <= 0)
        return;
    const int found = FindTvCamera(m_TvCameras, m_nTvCount, TargetDistance());
    if (found >= 0)
        m_nTvCurrent = found;
    m_nTvCurrent = std::clamp(m_nTvCurrent, 0, m_nTvCount - 1);
    const TvCamera& c = m_TvCameras[m_nTvCurrent];
    m_Offset = Vec3(c.X, c.Y, c.Z);
    m_fFov = std::clamp(m_fFov, c.FocMin, c.FocMax);
    m_uFlags |= kSnap;
    PlaceTrackside(0.0f);
}

void RaceCamera::CycleMode(int step)
{
    SetMode(((m_nMode + 7 + step) % 7 + 7) % 7);
}

void RaceCamera::ApplyVisibility()
{
    if (!m_pTarget)
        return;
    const int viewed = TargetModel();
    for (int model = 0; model < 5; ++model) {
        if (model == viewed)
            continue;
        Show(m_pCockpit3d[model], false);
        Show(m_pCockpit2d[model], false);
    }
    const bool onboard =
        m_nMode == kCameraFront || (m_nMode == kCameraOnboard && !(m_pTarget->Status & kBikeBodyActive));
    Show(m_pCockpit3d[viewed], onboard);
    Show(m_pHandlebars, onboard);
    Show(m_pCockpit2d[viewed], !onboard && (m_nMode == kCameraTrailClose || m_nMode == kCameraChase));
    Show(m_pTarget->BikeInstance, !onboard);
    Show(m_pTarget->RiderInstance, !onboard);
}

void RaceCamera::AutoDirect()
{
    const float t = m_fModeTime;
    if (t <= 3.0f || !m_pTarget)
        return;
    const float lap = LapLength();
    float ahead = kNoGap;
    float behind = kNoGap;
    if (m_pTarget->Ahead && m_pTarget->Ahead != m_pTarget) {
        ahead = m_pTarget->Ahead->Progress - m_pTarget->Progress;
        if (ahead < 0.0f)
            ahead += lap;
    }
    if (m_pTarget->Behind && m_pTarget->Behind != m_pTarget) {
        behind = m_pTarget->Progress - m_pTarget->Behind->Progress;
        if (behind < 0.0f)
            behind += lap;
    }
    switch (m_nMode) {
    case kCameraFront:
        if (t > 10.0f || ahead > 20.0f)
            SetMode(kCameraTelevision);
        break;
    case kCameraRear:
        if (t > 10.0f || behind > 20.0f)
            SetMode(kCameraTelevision);
        break;
    case kCameraTelevision:
        if (m_pTarget->RaceTime <= 20.0f)
            break;
        if (ahead < behind) {
            if (ahead < 5.0f || (ahead < 10.0f && t > 10.0f))
                SetMode(kCameraFront);
        } else if ((behind < 10.0f && t > 10.0f) || behind < 5.0f) {
            SetMode(kCameraRear);
        }
        break;
    default:
        break;
    }
}

void RaceCamera::HandleModeKeys()
{
    InputManager* input = TheInputManager();
    if (!input || m_Hud.Test(kModeKeyBlockers))
        return;
    for (int k = 0; k < 4; ++k) {
        if (!input->KeyPressed(kKeyOne + k))
            continue;
        SetMode(k);
        m_race.m_nCameraSetting = k;
        TheGameApp().Camera = k;
        return;
    }
}

void RaceCamera::FollowHeading(float dt)
{
    if (!m_pTarget || !m_pTargetOrient)
        return;
    float heading = m_pTargetOrient->y;
    if (m_pTarget->RiderState == kRiderStateSpin)
        heading += (m_pTarget->StatePhase - 0.5f) * 6.9813175f;
    if (m_uFlags & kSnap) {
        m_Angles.y = heading;
        return;
    }
    if (m_pTarget->Status & kBikeRearSlideFall) {
        // A sudden turn of the bike: the camera swings round faster and
        // then snaps onto the heading.
        m_Angles.y = ApproachAngle(m_Angles.y, heading, dt, 0.6f);
        if (std::fabs(WrapAngle(m_Angles.y, heading)) < 0.01f) {
            m_Angles.y = heading;
            m_pTarget->Status &= ~kBikeRearSlideFall;
        }
        return;
    }
    m_Angles.y = ApproachAngle(m_Angles.y, heading, dt, 0.2f);
}

void RaceCamera::PlaceOnboardHead()
{
    const float lean = TargetLean();
    const float yaw = m_Angles.y;
    m_Angles = Vec3(m_pTargetOrient->x, yaw, m_pTargetOrient->z);
    const Vec3 head = VecRotateY(VecRotateZ(Vec3(0.0f, m_fParam2, m_fParam1), lean), yaw);
    m_Eye = m_pTargetAim->Plus(head);
    Vec3 d;
    if (m_pTarget->Status & kBikeDown) {
        d = VecRotateY(Vec3(0.0f, 0.0f, 1.0f), yaw);
        m_Eye = m_Eye.Minus(d);
        m_Eye.y += 0.3f;
    } else {
        d = VecRotateY(VecRotateZ(Vec3(0.0f, 0.0f, 1.0f), lean), yaw - 0.2f * lean);
        m_Eye = m_Eye.Minus(d.Times(0.3f));
        m_Eye.y += 0.1f;
    }
    m_AimPoint = m_Eye.Plus(d);
    m_fRoll = -0.2f * lean;
}

// Mode 0 without a target bike (the camera editor's eye): the eye at the
// point, looking along its pitch and yaw, with its roll.
void RaceCamera::PlacePointEye()
{
    const Vec3 angles = m_pTargetOrient ? *m_pTargetOrient : Vec3();
    m_Angles = angles;
    m_Eye = *m_pTargetPos;
    const float cp = std::cos(angles.x);
    const Vec3 d(std::sin(angles.y) * cp, -std::sin(angles.x), std::cos(angles.y) * cp);
    m_AimPoint = m_Eye.Plus(d);
    m_fRoll = angles.z;
}

void RaceCamera::PlaceFixed()
{
    const Bike& bike = *m_pTarget;
    const bool down = (bike.Status & kBikeDown) != 0;
    const float lean = TargetLean();
    const float turn = m_fParam2 + (down ? lean : 0.9f * lean);
    auto rotate = [&](const Vec3& v) {
        return VecRotateY(VecRotateX(VecRotateZ(v, turn), bike.Pitch), bike.Heading);
    };
    Vec3 base = bike.Position;
    if (bike.BikeInstance)
        base = Vec3(bike.BikeInstance->position.x, bike.BikeInstance->position.y, bike.BikeInstance->position.z);
    m_Eye = base.Plus(rotate(m_Offset));
    const float back = m_nMode == kCameraRear ? -1.0f : 1.0f;
    m_AimPoint = m_Eye.Plus(rotate(Vec3(0.0f, -0.1f, back)));
    const float roll = down ? lean : 0.9f * lean;
    m_fRoll = m_nMode == kCameraRear ? roll : -roll;
}

void RaceCamera::PlaceTrailing(int mode)
{
    const float yaw = m_Angles.y;
    m_Angles = Vec3(0.0f, yaw, 0.0f);
    if (m_pTarget) {
        const float v = m_pTarget->Speed;
        if (mode == kCameraTrailClose) {
            m_fParam1 = -1.0f - 0.02f * v;
            m_fParam2 = 0.6f - 0.004f * v;
        } else {
            m_fParam1 = -4.0f - 0.03f * v;
            m_fParam2 = 0.7f - 0.007f * v;
        }
    } else {
        m_fParam1 = 0.0f;
        m_fParam2 = 0.0f;
    }
    const Vec3 o = VecRotateY(VecRotateX(Vec3(0.0f, m_fParam2, m_fParam1), 0.15707963f), yaw);
    const Vec3& p = *m_pTargetPos;
    const Vec3& q = *m_pTargetAim;
    const Vec3 base = mode == kCameraTrailClose ? p.Times(0.2f).Plus(q.Times(0.8f)) : p.Plus(q).Times(0.5f);
    m_Eye = base.Plus(o);
    m_Offset.y = m_Eye.y;
    m_AimPoint = Vec3(q.x, q.y + 0.5f * m_fParam2, q.z);
    m_fRoll = -0.1f * TargetLean();
}

float RaceCamera::GroundHeight(const Vec3& point, float hint, float fallback) const
{
    Track* path = m_pTarget && m_pTarget->Path ? m_pTarget->Path : &m_race.m_Circuit;
    if (path->IsEmpty())
        return fallback;
    // The query remembers the section it used; the simulation's next query
    // must not start from the camera's.
    const int section = path->LastSection;
    const float h = path->Query(&point, nullptr, hint, nullptr);
    path->LastSection = section;
    return h == kTrackNone || !std::isfinite(h) ? fallback : h;
}

void RaceCamera::PlaceFree()
{
    const Bike& bike = *m_pTarget;
    const Vec3& p = *m_pTargetPos;
    const float h = GroundHeight(p, bike.Progress, p.y - 0.5f) + 0.5f;
    const float a = bike.Heading - TargetLean();
    m_Eye = Vec3(p.x + 3.0f * std::sin(a), h, p.z + 3.0f * std::cos(a));
    m_AimPoint = p;
    m_fRoll = 0.0f;
}

void RaceCamera::PlaceStartSweep()
{
    const int riders = m_race.RiderCount();
    if (riders <= 0 || !m_race.m_pBikes)
        return;
    // With fewer than four riders the sweep's length, (riders div 4) x 5 -
    // 1, is negative: the sweep then stays on the first bike.
    const float length = static_cast<float>((riders / 4) * 5 - 1);
    const float u = length > 0.0f ? std::clamp(m_Hud.Timer(4) / length, 0.0f, 1.0f) : 0.0f;
    const Track& circuit = m_race.m_Circuit;
    const float d0 = m_race.m_pBikes[0].Progress;
    const float d1 = m_race.m_pBikes[riders - 1].Progress;
    Vec2 c0, c1, dir;
    circuit.DistanceToPoint(d0, &c0, nullptr);
    circuit.DistanceToPoint(d1, &c1, &dir);
    Vec3 p0(c0.x, 0.0f, c0.z);
    Vec3 p1(c1.x, 0.0f, c1.z);
    p0.y = GroundHeight(p0, d0, m_race.m_pBikes[0].Position.y);
    p1.y = GroundHeight(p1, d1, m_race.m_pBikes[riders - 1].Position.y);
    m_AimPoint = p0.Times(1.0f - u).Plus(p1.Times(u));
    m_AimPoint.y += 1.5f;
    m_Eye = m_AimPoint.Plus(VecRotateY(Vec3(dir.x, 0.7f, dir.z).Times(6.0f), 0.2f));
    m_fRoll = 0.0f;
}

void RaceCamera::PlacePitView()
{
    const TvCamera& c = m_TvCameras[0];
    const Vec2& a = m_race.m_Circuit.Slots[0];
    const Vec2& b = m_race.m_Circuit.Slots[3];
    m_Eye = Vec3(c.X, c.Y, c.Z);
    m_AimPoint = Vec3((a.x + b.x) * 0.5f, m_Eye.y, (a.z + b.z) * 0.5f);
    m_fRoll = 0.0f;
    m_fFov = (c.FocMin + c.FocMax) * 0.5f;
}

void RaceCamera::CountFramed(int* ahead, int* behind) const
{
    *ahead = *behind = 0;
    const TvCamera& c = m_TvCameras[m_nTvCurrent];
    const float lap = LapLength();
    const int riders = m_race.RiderCount();
    const Bike* b = m_pTarget->Ahead;
    for (int i = 0; b && b != m_pTarget && i < riders; ++i, b = b->Ahead) {
        float gap = b->Progress - m_pTarget->Progress;
        if (gap < 0.0f)
            gap += lap;
        if (gap > 20.0f || !TvCameraCovers(c, b->Progress))
            break;
        ++*ahead;
    }
    b = m_pTarget->Behind;
    for (int i = 0; b && b != m_pTarget && i < riders; ++i, b = b->Behind) {
        float gap = m_pTarget->Progress - b->Progress;
        if (gap < 0.0f)
            gap += lap;
        if (gap > 20.0f || !TvCameraCovers(c, b->Progress))
            break;
        ++*behind;
    }
}

RaceCamera::Framing RaceCamera::FrameBikes(int ahead, int behind) const
{
    const TvCamera& c = m_TvCameras[m_nTvCurrent];
    const Vec3 from(c.X, c.Y, c.Z);
    const Vec3 centre = *m_pTargetAim;
    const float bearing = std::atan2(centre.x - from.x, centre.z - from.z);
    Vec3 sum = centre;
    int n = 1;
    float lo = 0.0f;
    float hi = 0.0f;
    auto add = [&](const Bike* b) {
        sum = sum.Plus(b->CgPosition);
        ++n;
        const float a = WrapAngle(std::atan2(b->CgPosition.x - from.x, b->CgPosition.z - from.z), bearing);
        lo = std::min(lo, a);
        hi = std::max(hi, a);
    };
    const Bike* b = m_pTarget->Ahead;
    for (int i = 0; b && i < ahead; ++i, b = b->Ahead)
        add(b);
    b = m_pTarget->Behind;
    for (int i = 0; b && i < behind; ++i, b = b->Behind)
        add(b);
    Framing f;
    f.Point = sum.Times(1.0f / static_cast<float>(n));
    f.Spread = hi - lo;
    return f;
}

void RaceCamera::PlaceTrackside(float dt)
{
    const TvCamera& c = m_TvCameras[m_nTvCurrent];
    int ahead = 0;
    int behind = 0;
    CountFramed(&ahead, &behind);
    // A new count is taken only once it has held for 1 s; the shot then
    // blends from the old framing to the new one over the next second.
    if (m_fFrameClock < 0.0f) {
        m_nAheadPending = m_nAhead = ahead;
        m_nBehindPending = m_nBehind = behind;
        m_fFrameClock = 2.0f;
    } else if (ahead != m_nAheadPending || behind != m_nBehindPending) {
        m_nAheadPending = ahead;
        m_nBehindPending = behind;
        m_fFrameClock = (m_nAheadPending == m_nAhead && m_nBehindPending == m_nBehind) ? 2.0f : 0.0f;
    } else if (m_fFrameClock < 1.0f) {
        m_fFrameClock += dt;
        if (m_fFrameClock >= 1.0f) {
            // The blend starts from the shot as it was last shown.
            m_FromFraming = m_Shown;
            m_nAhead = m_nAheadPending;
            m_nBehind = m_nBehindPending;
        }
    } else if (m_fFrameClock < 2.0f) {
        m_fFrameClock = std::min(2.0f, m_fFrameClock + dt);
    }
    Framing f = FrameBikes(m_nAhead, m_nBehind);
    if (m_fFrameClock >= 1.0f && m_fFrameClock < 2.0f) {
        const float t = m_fFrameClock - 1.0f;
        f.Point = m_FromFraming.Point.Times(1.0f - t).Plus(f.Point.Times(t));
        f.Spread = m_FromFraming.Spread * (1.0f - t) + f.Spread * t;
    }
    m_Shown = f;
    const Vec3 from(c.X, c.Y, c.Z);
    m_Eye = from.Plus(f.Point.Minus(from).Times(c.FakeZoom));
    m_AimPoint = f.Point;
    m_fRoll = 0.0f;
    const float distance = f.Point.Minus(m_Eye).Length();
    const float wanted = std::clamp(f.Spread + 2.0f * std::atan2(1.5f, distance), c.FocMin, c.FocMax);
    m_fFov = (m_uFlags & kSnap) ? wanted : ApproachValue(m_fFov, wanted, dt, 2.0f);
}

void RaceCamera::FarPlaneGuard()
{
    m_fViewFov = m_fFov;
    // With a far clipping distance of 10 m or less the guard distance
    // would be zero or negative (a division by zero, an eye moved through
    // the aim point): the view is left as it is.
    const float limit = static_cast<float>(m_nClip) - 10.0f;
    if (limit <= 0.0f)
        return;
    const Vec3 line = m_Eye.Minus(m_AimPoint);
    const float d = line.Length();
    if (d <= limit)
        return;
    m_Eye = m_AimPoint.Plus(line.Times(limit / d));
    m_fViewFov = 2.0f * std::atan(d * std::tan(m_fFov * 0.5f) / limit);
}

void RaceCamera::PlaceScene()
{
    if (!m_pSceneCamera)
        return;
    camera& cam = *m_pSceneCamera;
    cam.set_fov(m_fViewFov);
    const vec4 eye{m_Eye.x, m_Eye.y, m_Eye.z, 1.0f};
    const vec4 aim{m_AimPoint.x, m_AimPoint.y, m_AimPoint.z, 1.0f};
    cam.set_position_mode(&eye, &aim, m_fRoll);
    cam.update();
    if (m_pSky) {
        const float clip = static_cast<float>(m_nClip);
        const vec4 old = m_pSky->scale;
        const vec4 scale{0.9f * cam.far, 0.9f * clip, 0.9f * cam.far, old.w};
        const float oldLength = std::sqrt(old.x * old.x + old.y * old.y + old.z * old.z);
        const float newLength = std::sqrt(scale.x * scale.x + scale.y * scale.y + scale.z * scale.z);
        m_pSky->set_position(eye.x, eye.y, eye.z, 1.0f);
        m_pSky->scale = scale;
        if (m_pSky->first_node && oldLength > 0.0f)
            m_pSky->first_node->radius *= newLength / oldLength;
        m_pSky->clear_flags(kInstanceTransformsValid);
    }
    if (m_pTarget && (m_nMode == kCameraTrailClose || m_nMode == kCameraChase)) {
        if (ml_modelinfo* cockpit = m_pCockpit2d[TargetModel()]) {
            m_CockpitMatrix = cam.to_world;
            const float* r0 = m_CockpitMatrix.m[0];
            const float* r1 = m_CockpitMatrix.m[1];
            const float* r2 = m_CockpitMatrix.m[2];
            m_CockpitMatrix.m[3][0] = m_CockpitMatrix.m[3][1] = m_CockpitMatrix.m[3][2] = 0.0f;
            m_CockpitMatrix.m[3][3] = 1.0f;
            cockpit->set_ext_matrix(&m_CockpitMatrix);
            cockpit->set_position(m_Eye.x + 0.2f * r0[0] - 0.16f * r1[0] - 0.5f * r2[0],
                                  m_Eye.y + 0.2f * r0[1] - 0.16f * r1[1] - 0.5f * r2[1],
                                  m_Eye.z + 0.2f * r0[2] - 0.16f * r1[2] - 0.5f * r2[2], 1.0f);
        }
    }
}

void RaceCamera::Update(float dt)
{
    HandleModeKeys();
    if (DirectorOn()) {
        m_fModeTime += dt;
        AutoDirect();
    }
    ApplyVisibility();
    FollowHeading(dt);

    if (m_pTargetPos && m_pTargetAim && m_pTargetOrient) {
        int view = m_nMode;
        // Modes that need trackside cameras show the trailing view when the
        // track has none; modes that need a bike do nothing without one.
        if ((view == kCameraTelevision || view == kCameraPitBox) && m_nTvCount <= 0)
            view = kCameraChase;
        if (!m_pTarget && (view == kCameraFront || view == kCameraRear || view == kCameraFree ||
                           view == kCameraTelevision))
            view = -1;
        switch (view) {
        case kCameraOnboard:
            if (m_pTarget) {
                PlaceOnboardHead();
            } else {
                // The camera editor's eye looks through the editor's lens.
                if (m_pTargetPos == &m_race.m_CameraEditor.m_Eye)
                    m_fFov = m_race.m_CameraEditor.m_fFov;
                PlacePointEye();
            }
            break;
        case kCameraFront:
        case kCameraRear:
            PlaceFixed();
            break;
        case kCameraTrailClose:
        case kCameraChase:
            PlaceTrailing(view);
            break;
        case kCameraTelevision:
            if (!TvCameraCovers(m_TvCameras[m_nTvCurrent], TargetDistance())) {
                SetMode(kCameraTelevision);
                m_uFlags |= kSnap;
            }
            PlaceTrackside(dt);
            break;
        case kCameraFree:
            PlaceFree();
            break;
        case kCameraStart:
            PlaceStartSweep();
            break;
        case kCameraPitBox:
            PlacePitView();
            break;
        default:
            break;
        }
    }

    FarPlaneGuard();
    PlaceScene();
    if ((m_race.m_uGfxFlags & kGfxFlagSound) && dt > 0.0f && ListenerHook)
        ListenerHook(m_Eye, m_AimPoint, dt);
    m_uFlags &= ~kSnap;
}
