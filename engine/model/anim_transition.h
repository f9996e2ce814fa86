#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/base/vec4.h"

class anim_node;
class fcurve;
class lattice_anim;
class model_node;

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
// curve runs from shape index 1 to 2; a side with a curve gives its key's
// slopes). Nothing when either side has no lattice or their point counts
// differ. False when nothing was built. The target owns the lattice (node
// flag 0x400 unless the caller gives it another lattice kind).
bool anim_trans_lattice(const lattice_anim* a_lattice, anim_node* target, const anim_node* b, float ta, float tb);
// Re-samples the four shapes and the curve keys of a lattice that
// anim_trans_lattice built into the target, at new times. Nothing when the
// target owns no such lattice.
void anim_refresh_lattice(const lattice_anim* a_lattice, anim_node* target, const anim_node* b, float ta, float tb);

// Shape transitions over an object's vertices (`vertices`, `vertex_bytes`
// long, 48 bytes per vertex, position first): each transition shape has four
// key blocks, key 1 the vertices with A's shape animations applied at ta,
// key 2 with B's at tb, and a curve from key index 1 at 0.0 to 2 at 1.0.
// The target's shape list gets first one shape over all the vertices, then
// one for each of B's shape animations over that shape's own vertices
// (its offsets copied, its name kept, the end key's slopes from B's curve at
// tb). A shape whose key blocks would not fit the engine's shape pools is
// not built. False when nothing was built.
bool anim_trans_shape(anim_node* target, const anim_node* b, const anim_node* a, float ta, float tb,
                      const void* vertices, std::size_t vertex_bytes);
// The same over the model node's rest vertices (anim_object_vertices).
bool anim_trans_shape(const model_node* node, anim_node* target, const anim_node* b, const anim_node* a, float ta,
                      float tb);
// Re-fills the key blocks of the shapes anim_trans_shape built, at new times.
void anim_refresh_shape(anim_node* target, const anim_node* b, const anim_node* a, float ta, float tb,
                        const void* vertices, std::size_t vertex_bytes);

// An object's rest vertices as the mesh pipeline copies them before shaping
// them: a mesh's 48-byte vertex records, or a patch's control points as
// 48-byte records (the point first, the rest 0); empty for other nodes.
std::vector<std::uint8_t> anim_object_vertices(const model_node* node);
