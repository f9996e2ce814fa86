#pragma once

#include <cstdint>

#include "race/hud.h"
#include "sim/vec3.h"

class Bike;
class Race;

// Camera modes: 0-3 and 6 onboard and close views, 4 trackside television,
// 5 front, 7 the start, 8 the pit box.
inline constexpr int kCameraOnboard = 0;
inline constexpr int kCameraChase = 3;
inline constexpr int kCameraTelevision = 4;
inline constexpr int kCameraStart = 7;
inline constexpr int kCameraPitBox = 8;
inline constexpr int kCameraModes = 9;

// The race's camera: what it follows (a bike, or a point before the start
// and in a race without riders), in which mode, and the race overlay it
// carries. The engine camera it places, the trackside cameras and the sound
// listener join it with the race's 3D data; until then it keeps its target
// and mode, which the rest of the race reads (the mode also goes to the
// simulation, whose engine sounds and cockpit depend on it).
class RaceCamera {
public:
    explicit RaceCamera(Race& race);

    // Takes the track's camera data; nothing to take without 3D data.
    // Always true.
    bool Load(const char* trackName);
    // Releases the overlay's loaded data.
    void Release();

    void FollowBike(Bike* bike);
    void FollowPoint(const Vec3* position, const Vec3* aim, const Vec3* orientation);
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

    Hud m_Hud;
    float m_fFrameTime = 0.0f; // the frame time the race update measured
    float m_fModeTime = 0.0f;  // seconds in the mode while the director runs

private:
    static constexpr std::uint32_t kSnap = 0x1;
    static constexpr std::uint32_t kDirector = 0x2;

    Race& m_race;
    std::uint32_t m_uFlags = 0;
    int m_nMode = kCameraChase;
    Bike* m_pTarget = nullptr;
    const Vec3* m_pTargetPos = nullptr;
    const Vec3* m_pTargetAim = nullptr;
    const Vec3* m_pTargetOrient = nullptr;
};
