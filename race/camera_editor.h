#pragma once

#include "input/control_record.h"
#include "sim/vec3.h"

class Track;

// The free camera of a race without riders, with which trackside cameras
// are placed. It is the race's first member and its last to go: in a race
// without riders the race camera follows its eye and the race runs it every
// frame. Its keys and camera file come with the trackside cameras; here it
// holds its eye and angles and its registered controls.
class CameraEditor {
public:
    CameraEditor();
    ~CameraEditor();
    CameraEditor(const CameraEditor&) = delete;
    CameraEditor& operator=(const CameraEditor&) = delete;

    // For the load of a race without riders: the eye 1.4 m above the
    // midpoint of the circuit's first two grid places, its controls
    // registered with the input manager. False when they cannot be.
    bool Init(const Track& circuit);
    // One frame (nothing while the race has riders).
    void Run(float dt, bool raceHasRiders);

    Vec3 m_Eye;
    Vec3 m_Angles;
    Vec3 m_Aim;
    float m_fFov = 0.5235988f;
    float m_fHeight = 0.0f;
    ControlRecord m_Controls;

private:
    bool m_bRegistered = false;
};
