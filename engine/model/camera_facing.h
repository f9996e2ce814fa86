#pragma once

#include "engine/base/mat4.h"

class camera;

// What billboards (meshes of mesh word 2) need of the engine's current
// camera: its world matrix, which the root of a billboard model takes as
// its own, and its yaw-only `heading` and `heading_inverse`, which a
// billboard node takes as its rotation and that rotation's inverse.
struct camera_facing {
    mat4 world{};
    mat4 heading{};
    mat4 heading_inverse{};
};

// The scene library, which defines the camera, installs how a camera is
// read. Until it does (and while the engine has no current camera)
// billboards keep the rotation of their own angles.
using camera_facing_reader = bool (*)(const camera* cam, camera_facing* out);
void set_camera_facing_reader(camera_facing_reader reader);

// The facing of the current engine context's camera; false when there is
// no context, no camera or no reader.
bool current_camera_facing(camera_facing* out);
