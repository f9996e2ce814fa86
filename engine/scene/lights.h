#pragma once

#include <cstdint>

#include "engine/base/light_record.h"
#include "engine/base/mat4.h"
#include "engine/base/vec4.h"

// The scene's operations on the lights of the 3D world (the record itself,
// its defaults, set_range and set_color are in engine/base/light_record.h,
// which the animation library fills). Each frame the scene view carries the
// lights that can light the frame into camera space (light_transform) and
// the mesh pipeline lights each vertex with light_vertex.

// Channel ids and source modes of a light's links (node binding records:
// code = channel, value = mode, bound = the model node followed).
inline constexpr std::uint32_t light_channel_position = 2111;
inline constexpr std::uint32_t light_channel_target = 2116;
inline constexpr std::uint32_t light_source_world_position = 1;   // the node's world translation
inline constexpr std::uint32_t light_source_local_position = 2;   // the node's local position
inline constexpr std::uint32_t light_source_world_centre = 3;     // the node's world centre

// Type, colour, cone (given in degrees) and softness; set_range(range) in
// between, so the stored colour is doubled (and doubled again by every
// later set_range call).
void light_set(scn_light& light, std::int32_t type, float r, float g, float b, float range, float cone_degrees,
               float softness);

// Chains the n lights of an array of pointers (first prev null, last next
// null); nothing for n <= 1.
void link_light_pointers(scn_light** lights, int n);

// Prepares the light for the frame; `view` is the camera's world-to-camera
// matrix:
//  1. position links (channel 2111) copy their node's point into position,
//     target links (2116) into the target of a spot light; other channels,
//     other modes and unbound links change nothing;
//  2. world_position = position;
//  3. point: position x view; directional: position x view without the
//     view's translation, scaled by 1/(length + 0.001); spot: position and
//     target x view, then spot_matrix = T(-position) x R (columns s, u, f;
//     f towards the target), cone_tan and cone_tan_sq. Other types stop
//     after step 2.
void light_transform(scn_light& light, const mat4& view);

// The ambient and diffuse coefficients of a vertex's material.
struct light_material {
    float ambient = 0.0f;
    float diffuse = 0.0f;
};

// The light reaching a camera-space vertex from a null-terminated list of
// prepared lights, with the light factor k of the current engine context
// (0.5 without one): intensity = ambient k + sum over the lights of
// diffuse k d a L.r. Writes result[0] only.
//  - directional: the normal is normalised in place (length + 0.001);
//    d = max(0, direction . normal), each light with its own direction; a = 1.
//  - point and spot: v = L.position - point, q = |v|^2,
//    a = (falloff q + inv_range_sq) q + 1 for q < range_sq, else 0; lights
//    with a <= 0.001 are skipped; d = max(0, normal . v / sqrt q). A vertex
//    exactly at the light (q = 0) has no direction to it and takes no light
//    from it.
//  - spot: p = point x spot_matrix, rho^2 = p.x^2 + p.y^2,
//    lambda = cone_tan_sq p.z^2; only points ahead of the spot (p.z > 0)
//    inside its cone (rho^2 <= lambda, lambda > 0) are lit, with
//    a / (1 + softness rho^2 / lambda).
void light_vertex(float* result, const vec4* point, vec4* normal, const light_material& material,
                  scn_light* const* lights);
