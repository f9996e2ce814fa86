#pragma once

#include "engine/base/mat4.h"
#include "engine/base/vec4.h"

class model_node;

// Bone chains that bend to reach a target point.
//
// A chain starts at an empty node N whose first child is a bone J1; J1's
// first child J2 is the first joint the solve bends. The joints are bent in
// one plane (the aim plane: x toward the target, y from N's z axis) by a
// closed-form two-circle solution, one joint after the other, and the whole
// chain is then turned to face the target. The node pass calls it for a
// chain start whose chain end is bound to a target node.
//
// Words of the nodes used (full kind): local position x (the bone's length
// in the plane; y and z the rest of the offset from the parent), the z
// angle (written for the joints the solve bends), the chain kind (on N: 0,
// 1, 2 take part, above 2 no solve, 2 also shares the reach so that the
// chain's end meets the target; on a joint: below 2 ends the bending
// there), the chain length (the reach of the chain from the start, which
// bounds what can be reached), the twist (on J1: a turn of the whole chain
// about the aim axis), the bend reference angle (of a joint's two bends,
// the one farther from it is taken, so a limb never flips between them) and
// the solved flag (set on every joint the solve visits).

// The end of the chain that starts at `node`: following first children
// while the first child is a bone, the first child of the last bone reached
// (the first child of `node` itself when that is not a bone). Null when the
// chain has none.
model_node* chain_end(model_node* node);

// The chain's orientation toward the world point `target` (rotation rows x,
// y, z; no translation). Bends the joints below `start` (their z angles and
// solved flags). A chain kind above 2 on the start, or a chain missing J1
// or J2, gives the identity and changes nothing.
mat4 chain_orientation(model_node* start, const vec4& target);

// The two-circle bend of one joint: of the two angles that put a bone of
// length `bone` starting at `point` (relative to the target) at distance
// `reach` from the target, the one farther from `reference`, less `turned`
// (the turn already accumulated along the chain). A zero denominator takes
// the arctangent of the infinite quotient, +-pi/2 by the sign of its
// numerator; 0 / 0 takes the quadratic's other, finite root.
float chain_joint_angle(float ux, float uy, float bone, float reach, float turned, float reference);
