#pragma once

#include "engine/base/mat4.h"
#include "engine/model/model_node.h"

namespace scene_test {

// Puts a node at a world position, unrotated (what a camera or a light
// linked to it follows).
inline void place_node(model_node& node, float x, float y, float z)
{
    mat_identity(&node.world);
    node.world.m[3][0] = x;
    node.world.m[3][1] = y;
    node.world.m[3][2] = z;
}

} // namespace scene_test
