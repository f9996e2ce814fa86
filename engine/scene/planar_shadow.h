#pragma once

#include "engine/base/vec4.h"

class ml_modelinfo;
class scene_view;

// A linked shadow drawn flat: each vertex of the shadow's mesh, carried to
// world space, slides along the light's direction onto a plane under the
// instance, and the flattened mesh is drawn at one depth by the mesh
// drawing (scene_hooks().draw_shadow_mesh).

// Where the world point w, moved along `direction` (scaled so that its y is
// 1), meets the plane through `plane_point` with normal `normal`:
//   y = w.y - N.(w - I) / (N.y + N.x d.x/d.y + N.z d.z/d.y),
//   x = w.x - (w.y - y) d.x/d.y,  z = w.z - (w.y - y) d.z/d.y.
// False (out untouched) when either divisor is near zero: a direction
// without a vertical part (d.y at most a millionth of |d.x| + |d.y| +
// |d.z|), or one running along the plane (the denominator at most a
// millionth of |N.x d.x/d.y| + |N.y| + |N.z d.z/d.y|), or a value that is not
// a finite number.
bool planar_shadow_point(const vec4& w, const vec4& plane_point, const vec4& normal, const vec4& direction,
                         vec4* out);

// The normal of the plane a shadow lies on: the sum of the second and fourth
// rows of its outside matrix (of the rotation of its angles when it has
// none).
vec4 planar_shadow_normal(const ml_modelinfo& shadow);

// Draws a linked shadow instance flat on its plane. The lights of the frame
// that reach it are selected; the first gives the direction (its world
// position; a directional light's direction). The shadow's drawn level's
// first node must be a mesh whose vertices hold, in their first four
// floats, the clip-space positions its owner's transform left there (the
// linked shadow vertices). Each is carried to world space
// (combined_inverse), laid on the plane, carried back through `combined`,
// projected and given its outcode, its u and v and a light value of 0, in
// the frame's buffers; then the mesh drawing draws it. The shadow is
// skipped when no light reaches it, when the light's direction has no
// vertical part or runs along the plane, when its first node is not a mesh,
// or when the software path has no room left. Either way its level of
// detail goes back to -1. Returns the vertices laid (0 when skipped).
int draw_planar_shadow(ml_modelinfo* shadow, scene_view& view);
