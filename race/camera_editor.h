#pragma once

#include <string>

#include "input/control_record.h"
#include "race/trackside_cameras.h"
#include "sim/vec3.h"

class InputManager;
class Track;

// The free camera of a race without riders, with which trackside cameras
// are placed. It is the race's first member and its last to go: in a race
// without riders the race camera follows its eye (its lens is the editor's
// field of view) and the race runs it every frame.
//
// The user flies the eye with the riding controls (steering turns it,
// throttle and brake move it along the view, the input's vertical move
// raises and lowers it), places cameras with Insert and P, walks through
// them with Page Up and Page Down, sets their ranges with the keypad's 7, 9
// (From) and 1, 3 (To), their lens limits with keypad + and - and / and *,
// and saves (S) or reloads (L) the camera file "???_cam.dat" in the working
// folder (the first three characters of the track name).
class CameraEditor {
public:
    CameraEditor();
    ~CameraEditor();
    CameraEditor(const CameraEditor&) = delete;
    CameraEditor& operator=(const CameraEditor&) = delete;

    // For the load of a race without riders: the eye 1.4 m above the
    // midpoint of the circuit's first two grid places, its controls
    // registered with the input manager. False when they cannot be.
    bool Init(Track& circuit, const char* trackName = "");
    // One frame (nothing while the race has riders): the keys of the
    // input manager, then the eye's flight.
    void Run(float dt, bool raceHasRiders);

    // Writes the camera file (renumbering the cameras "CAM0", "CAM1", ...);
    // false when it cannot be written, and then the old file stays.
    bool Save(std::string* error = nullptr);
    // Reads the camera file back (at most 40 cameras); with any, the eye
    // goes to the first and looks at its From point.
    void Reload();
    // Opens a camera after the current one (the first when there are none)
    // at the eye; false when the editor holds 40 already.
    bool AddCamera();
    // Deletes the current camera; the next one (or the last) becomes
    // current, and its neighbours' ranges close the gap.
    bool DeleteCamera();
    void SetDefaults();
    void LookAtDistance(float d);

    const TvCamera* Cameras() const { return m_Cameras; }
    int Count() const { return m_nCount; }
    int Current() const { return m_nCurrent; }
    void SetCurrent(int index);
    // The file the editor saves and reloads.
    std::string FileName() const;

    Vec3 m_Eye;
    Vec3 m_Angles; // pitch, yaw, roll
    Vec3 m_Aim;
    float m_fFov = 0.5235988f;
    float m_fHeight = 0.0f;
    ControlRecord m_Controls;
    // The first input device's vertical move (positive up). The input
    // manager does not give such a value yet: it stays 0 until it does, and
    // tests or a device reader set it.
    float m_fVerticalMove = 0.0f;
    // The file folder the editor saves in ("" is the working folder).
    std::string m_Folder;

private:
    void RunKeys(const InputManager& input);
    void RunHeldKeys(const InputManager& input, float dt);
    void Fly(float dt);
    void UpdateAim();
    float TrackHeight(const Vec3& point, float hint) const;

    Track* m_pCircuit = nullptr;
    char m_szTrack[4] = {};
    TvCamera m_Cameras[kMaxTvCameras] = {};
    int m_nCount = 0;
    int m_nCurrent = 0;
    bool m_bRegistered = false;
};
