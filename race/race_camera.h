#pragma once

#include <cstdint>
#include <functional>

#include "engine/base/mat4.h"
#include "race/hud.h"
#include "race/trackside_cameras.h"
#include "sim/vec3.h"

class Bike;
class Race;
class camera;
class ml_modelinfo;

// Camera modes: 0 the rider's view, 1 onboard front, 2 and 3 trailing
// views, 4 trackside television, 5 free view near the target, 6 onboard
// rear, 7 the start-grid sweep, 8 the fixed view after the finish.
inline constexpr int kCameraOnboard = 0;
inline constexpr int kCameraFront = 1;
inline constexpr int kCameraTrailClose = 2;
inline constexpr int kCameraChase = 3;
inline constexpr int kCameraTelevision = 4;
inline constexpr int kCameraFree = 5;
inline constexpr int kCameraRear = 6;
inline constexpr int kCameraStart = 7;
inline constexpr int kCameraPitBox = 8;
inline constexpr int kCameraModes = 9;

// The field of view of a mode whose lens the "FOCALS" list does not give
// (a missing list, or a value that is not a usable angle), degrees.
inline constexpr float kDefaultFocalDegrees = 60.0f;

// One onboard camera of a bike model: offset x, y, z from the bike's
// instance (bike frame) and a fixed roll p.
struct FixedCamera {
    float X, Y, Z, P;
};

// The race's camera: it follows a bike (or a point before the start and in
// a race without riders) in one of nine modes, works out each frame the eye,
// the aim point, the roll and the field of view, places the engine's scene
// camera with them when it has one, and shows or hides the cockpit, bike
// and rider instances that the mode needs. In demonstration runs a director
// switches between the onboard and the trackside views.
//
// The mode, the director and the eye work without 3D data as well (a
// headless race runs the same camera, and its mode goes to the simulation,
// whose engine sounds and cockpit depend on it); the scene camera, the
// instances, the sky and the sound listener are the 3D loading's to give
// (SetSceneCamera, the instance pointers, ListenerHook) and are left alone
// while null.
class RaceCamera {
public:
    explicit RaceCamera(Race& race);

    // Reads the lenses ("FOCALS") and the onboard cameras ("FIXED_CAMS") of
    // "Data\Details.dat" and the track's trackside cameras; keeps the scene
    // camera (may be null: no 3D view) and the far clipping distance of the
    // graphics settings. Clears the flags. Always true: what is missing gets
    // its defaults, and a missing or damaged camera file leaves no trackside
    // cameras (the modes that use them then fall back to the trailing view).
    bool Load(const char* trackName, camera* sceneCamera = nullptr);
    // Forgets the scene camera and the instances.
    void Release();
    void SetSceneCamera(camera* sceneCamera) { m_pSceneCamera = sceneCamera; }

    void FollowBike(Bike* bike);
    void FollowPoint(const Vec3* position, const Vec3* aim, const Vec3* orientation);
    // Shows the viewed bike again if an onboard mode hid it; no target.
    void Detach();
    // Switches the mode (kept within 0..8).
    void SetMode(int mode);
    // Cycles through modes 0..6.
    void CycleMode(int step);
    // The per-frame step.
    void Update(float dt);

    int Mode() const { return m_nMode; }
    Bike* Target() const { return m_pTarget; }
    bool DirectorOn() const { return (m_uFlags & kDirector) != 0; }
    bool SnapPending() const { return (m_uFlags & kSnap) != 0; }

    // What the last update placed: eye, aim point, roll, field of view
    // (radians, after the far-plane guard).
    const Vec3& Eye() const { return m_Eye; }
    const Vec3& AimPoint() const { return m_AimPoint; }
    float Roll() const { return m_fRoll; }
    float ViewFov() const { return m_fViewFov; }
    // The mode's lens (radians) before the far-plane guard.
    float Lens() const { return m_fFov; }

    // The trackside cameras (limits in radians), the current one, and the
    // bikes ahead of and behind the target that the current shot frames.
    const TvCamera* TvCameras() const { return m_TvCameras; }
    int TvCount() const { return m_nTvCount; }
    int TvCurrent() const { return m_nTvCurrent; }
    int FramedAhead() const { return m_nAhead; }
    int FramedBehind() const { return m_nBehind; }
    // Replaces the trackside cameras (limits in radians; at most
    // kMaxTvCameras are kept).
    void SetTvCameras(const TvCamera* cameras, int count);

    Hud m_Hud;
    float m_fFrameTime = 0.0f; // the frame time the race update measured
    float m_fModeTime = 0.0f;  // seconds in the mode while the director runs

    float m_Focals[kCameraModes];                 // degrees per mode
    FixedCamera m_FixedCams[2 * 5];               // per bike model: front, rear
    int m_nClip = 1000;                           // the far clipping distance ("ZClipping")

    // Instances the 3D loading gives (null: none): per bike model the 3D
    // and the 2D cockpit, the handlebars, and the sky.
    ml_modelinfo* m_pCockpit3d[5] = {};
    ml_modelinfo* m_pCockpit2d[5] = {};
    ml_modelinfo* m_pHandlebars = nullptr;
    ml_modelinfo* m_pSky = nullptr;
    // Called with sound on and a positive frame step: the listener at the
    // eye facing the aim point (the race's sound library sets it).
    std::function<void(const Vec3& eye, const Vec3& aim, float dt)> ListenerHook;

private:
    static constexpr std::uint32_t kSnap = 0x1;
    static constexpr std::uint32_t kDirector = 0x2;

    // What a trackside shot frames: the point it aims at and the bearing
    // spread of the framed bikes seen from the camera.
    struct Framing {
        Vec3 Point;
        float Spread = 0.0f;
    };

    int TargetModel() const;
    const Vec3& TargetAim() const;
    float TargetDistance() const;
    float TargetLean() const;
    float LapLength() const;
    void ModeMessages(int mode);
    void ApplyVisibility();
    void SelectTvCamera();
    void AutoDirect();
    void HandleModeKeys();
    void FollowHeading(float dt);
    void PlaceOnboardHead();
    void PlacePointEye();
    void PlaceFixed();
    void PlaceTrailing(int mode);
    void PlaceFree();
    void PlaceStartSweep();
    void PlacePitView();
    void PlaceTrackside(float dt);
    void CountFramed(int* ahead, int* behind) const;
    Framing FrameBikes(int ahead, int behind) const;
    void FarPlaneGuard();
    void PlaceScene();
    float GroundHeight(const Vec3& point, float hint, float fallback) const;

    Race& m_race;
    // Trackside framing: the pending and the applied counts of bikes ahead
    // and behind, the transition clock (-1 = frame anew at once), and the
    // framing the blend starts from (the shot last shown; a change during
    // a blend waits its second and then blends from where the shot is).
    int m_nAheadPending = 0;
    int m_nBehindPending = 0;
    int m_nAhead = 0;
    int m_nBehind = 0;
    float m_fFrameClock = -1.0f;
    Framing m_FromFraming;
    Framing m_Shown; // the framing of the last trackside shot

    camera* m_pSceneCamera = nullptr;
    std::uint32_t m_uFlags = 0;
    Bike* m_pTarget = nullptr;
    const Vec3* m_pTargetPos = nullptr;
    const Vec3* m_pTargetAim = nullptr;
    const Vec3* m_pTargetOrient = nullptr;
    Vec3 m_Angles;
    Vec3 m_Offset;
    float m_fParam1 = 0.0f;
    float m_fParam2 = 0.0f;
    int m_nMode = kCameraChase;
    float m_fFov;
    TvCamera m_TvCameras[kMaxTvCameras] = {};
    int m_nTvCount = 0;
    int m_nTvCurrent = 0;

    Vec3 m_Eye;
    Vec3 m_AimPoint;
    float m_fRoll = 0.0f;
    float m_fViewFov;
    mat4 m_CockpitMatrix{};
};
