#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "tools/datakit/circuit_builder.h"

// Trackside ("TV") cameras of the demo circuits: the list "CAMERAS" of
// "Data\Tracks\???_cam.dat" (the first three characters of the circuit's
// name), one record per camera: name, position x, y, z, the race distance
// it serves from and to, field-of-view limits in degrees, zoom fraction.
namespace datakit {

struct TracksideCamera {
    std::string name;
    float x = 0.0f, y = 0.0f, z = 0.0f;
    float from = 0.0f, to = 0.0f;
    float fov_min = 0.0f, fov_max = 0.0f; // degrees
    float fake_zoom = 0.0f;
};

// Cameras for a built circuit: one for every stretch of about `spacing`
// metres of the lap, each standing beside the track (alternately left and
// right, 12 m beyond the edge and 5 m above it) at the middle of its
// stretch. The stretches touch and cover the whole lap: the first starts
// half a stretch after the line, and the last runs across the finish line
// to it (its From is greater than its To).
std::vector<TracksideCamera> trackside_cameras(const BuiltCircuit& built, double spacing = 220.0);

// The file text of the cameras.
std::string trackside_camera_text(const std::vector<TracksideCamera>& cameras);

// "<root>/Data/Tracks/???_cam.dat" for every demo circuit. False and
// `error` on failure.
bool write_demo_trackside_cameras(const std::filesystem::path& root, std::string& error);

} // namespace datakit
