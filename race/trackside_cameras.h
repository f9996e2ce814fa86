#pragma once

#include <string>

// Trackside ("TV") cameras: each serves a stretch of race distance along the
// circuit. They are kept in a typed keyword list "CAMERAS" of the track's
// camera file, one record per camera:
//
//   CAMERAS
//   * Nome  X  Y  Z  From  To  Foc.Min  Foc.Max  Fake Zoom
//   sCAM0  f12.0  f4.0  f-30.0  f0.0  f250.0  f4.0  f45.0  f0.2
//   END_LIST
//
// The field-of-view limits are degrees in the file and radians in memory.

inline constexpr int kMaxTvCameras = 40;

// One camera (64 bytes, the record the list reader fills).
struct TvCamera {
    char Name[32];
    float X, Y, Z;       // position, metres, world coordinates (y up)
    float From, To;      // race distance served: [From, To); From > To spans the finish line
    float FocMin, FocMax; // field-of-view limits
    float FakeZoom;      // fraction the eye moves from the camera towards the framed point
};
static_assert(sizeof(TvCamera) == 64, "the camera record is 64 bytes");

inline constexpr float kDegreesToRadians = 0.017453292f;
inline constexpr float kRadiansToDegrees = 57.295776f;

// True when the camera's range holds the race distance d: From <= d < To,
// or for a range across the finish line (From > To) d >= From or d < To.
bool TvCameraCovers(const TvCamera& camera, float d);

// The index of the first camera whose range holds d, or -1.
int FindTvCamera(const TvCamera* cameras, int count, float d);

// Reads the list "CAMERAS" of the file at `path` (a game path, resolved as
// the typed list reader resolves it) into at most `capacity` records (never
// more than kMaxTvCameras) and converts the field-of-view limits to
// radians. A missing file or list gives 0. A file with a record that cannot
// be a camera (a value that is not a finite number, limits outside
// (0, 180) degrees or the wrong way round, a zoom fraction outside [0, 1],
// a negative distance) is refused whole: 0 cameras, and `error` (when
// given) says which record and why.
int LoadTvCameras(const char* path, TvCamera* cameras, int capacity, std::string* error = nullptr);

// The file text of the cameras (limits in radians, written in degrees);
// every camera is named "CAM<index>" whatever its name in memory.
std::string TvCameraFileText(const TvCamera* cameras, int count);

// Writes the file through a temporary file renamed over the target; the
// old file stays as it was on failure. False and `error` on failure.
bool SaveTvCameras(const std::string& nativePath, const TvCamera* cameras, int count, std::string* error = nullptr);

// The race's camera file of a track, "Data\Tracks\???_cam.dat" with the
// first three characters of the track name, and the editor's file in the
// working folder, "???_cam.dat".
std::string TrackCameraFileName(const char* trackName);
std::string EditorCameraFileName(const char* trackName);
