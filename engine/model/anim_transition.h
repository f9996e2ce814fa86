#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/base/vec4.h"

class anim_node;
class fcurve;
class lattice_anim;

// Transitions from one animation (node A at time ta) to another (node B at
// time tb): short curves over the transition parameter 0 to 1, built into a
// target node, and their refresh when the same transition is asked for
// again at other times.

// What the model node contributes to a transition: its rest position and
// its rest rotation angles (radians), the fixed values of an axis that only
// one side animates.
struct anim_rest_pose {
    vec4 position{};
    vec4 angles{};
};

// A two-key curve {0.0: key0, 1.0: key1} with the given interpolation mode.
// A side with a curve is that curve evaluated (value and slopes) at its
// time; a side without one is the fixed value with slopes 0.
fcurve* anim_trans_curve(fcurve* from, float ta, float fixed0, fcurve* to, float tb, float fixed1,
                         std::uint32_t interp);

// For each axis both scale: {0: A at ta, 1: B at tb} into the target's
// scaling channel (made when the target has none).
void anim_trans_scaling(const anim_rest_pose* rest, anim_node* target, const anim_node* b, const anim_node* a,
                        float ta, float tb, std::uint32_t interp);
// A new position channel: per axis from A's curve or the rest position to
// B's curve or the rest position; between two paths, the unanimated axes
// run from A's path point to B's, with the path tangents as slopes.
void anim_trans_position(const anim_rest_pose* rest, anim_node* target, const anim_node* b, const anim_node* a,
                         float ta, float tb, std::uint32_t interp);
// A new rotation channel: Euler axes as for position (rest angles in
// degrees), the spline parameter curve, and between two orientation
// splines a two-key orientation spline from A's key at ta to B's at tb.
void anim_trans_rotation(const anim_rest_pose* rest, anim_node* target, const anim_node* b, const anim_node* a,
                         float ta, float tb, std::uint32_t interp);

// Re-evaluate the keys an earlier build made at new times; the curves become
// linear.
void anim_refresh_scaling(const anim_rest_pose* rest, anim_node* target, const anim_node* b, const anim_node* a,
                          float ta, float tb);
void anim_refresh_position(const anim_rest_pose* rest, anim_node* target, const anim_node* b, const anim_node* a,
                           float ta, float tb);
void anim_refresh_rotation(const anim_rest_pose* rest, anim_node* target, const anim_node* b, const anim_node* a,
                           float ta, float tb);

// A four-shape lattice animation from A's lattice at ta to B's at tb (its
// curve runs from shape index 1 to 2). Nothing when either side has no
// lattice or their point counts differ. False when nothing was built.
bool anim_trans_lattice(const lattice_anim* a_lattice, anim_node* target, const anim_node* b, float ta, float tb);

// A four-key shape animation over the object's vertices (`vertices`,
// `vertex_bytes` long, 48 bytes per vertex): key 1 the vertices with A's
// shape animations applied at ta, key 2 with B's at tb. False when the
// vertices do not fit the engine's shape pools (nothing built).
bool anim_trans_shape(anim_node* target, const anim_node* b, const anim_node* a, float ta, float tb,
                      const void* vertices, std::size_t vertex_bytes);
