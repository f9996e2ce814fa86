#pragma once

#include <cstdint>

#include "engine/base/vec4.h"

class ml_modelinfo;
class model_node;

// The ground under a point: a search over the ground meshes of an instance
// (mesh nodes flagged node_flag_ground, which the scene sets with
// mark_below_level) for the face whose outline, seen from above (x and z),
// holds the point. The scene's grid search over every ground instance is
// ground_under_instance (engine/scene/ground_under.h).

// Node flag of a cut-out ground mesh: its ground is where its texture is
// not clear.
inline constexpr std::uint32_t node_flag_cutout = 0x8000;

// The ground face test of one node: the point is taken into the node's
// frame (compact kind A: less its local position; the other kinds: through
// its inverse world matrix, or the level-0 node's for a detail-level node)
// and every face of its mesh is tested. A point is inside a face when every
// edge function (b.z - a.z)(p.x - a.x) + (a.x - b.x)(p.z - a.z) of its
// corners in order is 0 or more (a point on an edge is inside). Inside a
// face of a cut-out node (node_flag_cutout): in the software render type a
// hit; otherwise a hit unless the face's texture is clear under the point
// (texture_surfaces().texel_clear at the point's texture coordinates,
// interpolated over the face's corners), which means no ground there and
// ends the test with 0. Inside a face of another node: a hit when the
// face's level (the mean of its corners' level values, the vertices' word
// 10) is below the engine's ground threshold; otherwise the test goes on.
// Faces with a corner count other than 3 or 4, or a corner outside the
// vertices, are passed by. `coarse` is carried for the caller (the chosen
// detail level is below 3) and does not change the test.
int find_ground_poly_cached(model_node* node, const vec4& point, int coarse);

// The same test over an instance: 0 when the point lies outside the
// sphere of the instance's root (its world centre and radius); otherwise
// every node flagged node_flag_ground with a mesh, in list order. A hit
// writes the node to `slot` (when given) and returns 1; a miss clears the
// slot.
int find_ground_poly(ml_modelinfo* instance, model_node** slot, const vec4& point, int coarse);
