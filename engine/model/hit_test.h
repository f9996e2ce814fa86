#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/base/vec4.h"

class model_node;

// Segment hit tests against the hit meshes of model nodes.

// What a hit test found: the hit point and the face normal (world space for
// a node's test, the face's space for a face test), the parameter along the
// segment, and for a node's test the id the caller gave, the node and the
// face (its number in the hit mesh). `nearest` is the parameter a hit must
// not exceed in the nearest-hit mode; `hit` is 1 once anything was hit.
struct hit_result {
    vec4 point{};
    vec4 normal{};
    float t = 0.0f;
    float nearest = 1.02f;
    std::int32_t id = 0;
    model_node* node = nullptr;
    std::int32_t face = -1;
    std::int32_t hit = 0;
};

// The face tests over a mesh's stored records: a face of 52 bytes (word 0
// its corner count 3 or 4, words 2..4 its normal, words 6..9 its corners as
// byte offsets into the vertices) and vertices of 48 bytes (position
// first). Both recompute the face's normal n = (P1 - P0) x (P2 - P0) from its
// corners, store it into the face and into `out`, and return 1 on a hit (0
// for a face whose corner count or corner offsets do not fit the vertices).

// A vertical segment from seg[0] down or up to seg[1].y: the point (S0.x,
// S0.z) lies inside the face's outline on the x-z plane (each edge Pi ->
// Pi+1 with (S.z - Pi.z)(Pi.x - Pi+1.x) + (Pi+1.z - Pi.z)(S.x - Pi.x) >= 0,
// which holds for faces seen wound counter-clockwise from above), n.y and
// the segment's height are not 0, and t = ((P0 - S0) . n) / ((S1.y - S0.y)
// n.y) lies in [0, 1] and is at most `limit`; the point is (S0.x, S0.y +
// (S1.y - S0.y) t, S0.z).
int face_segment_test(hit_result& out, std::uint8_t* face, const std::uint8_t* vertices, std::size_t vertex_bytes,
                      const vec4 seg[2], float limit);

// Any segment: t = ((P0 - S0) . n) / ((S1 - S0) . n) in [0, 1] and at most
// `limit`, and the point H = S0 + t (S1 - S0) inside the face: on the inner
// side of every edge, (n x (Pi+1 - Pi)) . (H - Pi) >= 0. A segment parallel
// to the face does not hit it.
int face_segment_test_nearest(hit_result& out, std::uint8_t* face, const std::uint8_t* vertices,
                              std::size_t vertex_bytes, const vec4 seg[2], float limit);

// The segment against every face of the node's hit mesh, taken into the
// node's frame by its inverse world matrix (only a node with flag bit 0 and
// a hit mesh). Mode 1: a hit counts when its parameter is at most the
// result's nearest, and becomes the nearest; mode 0: the vertical test, any
// hit. A hit writes the point and normal in world space, the parameter,
// the id, the node, the face and the hit flag 1. Returns 1 when this node
// was hit.
int node_hit_test(model_node* node, const vec4 seg[2], int mode, std::int32_t id, hit_result& result);
