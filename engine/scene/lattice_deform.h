#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/base/mat4.h"
#include "engine/base/vec4.h"
#include "engine/model/anim_channels.h"

class model_node;
struct lattice_cell_cache;
struct lattice_shape;
struct mesh_frame;

// Lattice deformation of the mesh pipeline and the transform of a patch
// node's control points. The lattice's working shape comes from the node's
// lattice animation (lattice_anim::eval, run by the node pass of the pose);
// the cell cache is filled from it once per lattice state
// (lattice_cells_prepare) and each point is evaluated in its own cell
// (lattice_deform_point: the uniform cubic B-spline of the cell's 4 x 4 x 4
// control points, ffd_lattice_eval).

// Record flag of a deformation record (anim_node::flags): the lattice point
// of a vertex is its world position (vertex x the node's world matrix), not
// its model position scaled by the node's scale. It is the flag of a node
// deformed by its parent's lattice.
inline constexpr std::uint32_t deform_lattice_world = node_lattice_follows_parent;

// The deformed point of model point p: q = p scaled by `scale`, or p x
// `world` with deform_lattice_world in `record_flags`, is evaluated in the
// working shape's cell (cells clamped to the prepared ones). The result is
// in the space of the working shape's points (world space).
vec4 lattice_point(const lattice_cell_cache& cache, const lattice_shape& working, std::uint32_t record_flags,
                   const vec4& p, const vec4& scale, const mat4& world);

// The lattice step of the mesh transform: prepares the frame's cell cache
// for the record's lattice, then each of `count` vertices of `source`
// (48-byte vertex records: the mesh's rest vertices or the shaped work
// buffer) is deformed, carried through `combined` and written with its
// screen values, u, v, intensity and outcode into the frame's buffers. No
// view-volume check is made (the lattice may carry a vertex anywhere).
// Nothing is written without a working shape or a cell cache (false).
bool lattice_transform_vertices(mesh_frame& frame, const anim_node& record, const vec4& scale, const mat4& world,
                                const std::uint8_t* source, std::uint32_t count, const mat4& combined);

// Carries a patch node's control points into camera space (x, y, z; the
// fourth float is not set) into `out`, in the patch's control-point order,
// for the patch tessellator (not built yet; draw_instance will hand it the
// start of the engine context's work buffer). With a deformation record
// (the node's current channel) the points are shaped at frame.time in the
// engine's shape scratch buffer (work_c1) and deformed by its lattice; skin
// groups move their points by the bone; otherwise each point is carried by
// the node's world matrix x `view` (the camera's view matrix).
//
// Returns the number of points written; 0 when the node has no points, or
// when the grid holds more points than `capacity` or than one vertex
// buffer (refused and reported once, transform_faults().oversized_patches).
std::size_t transform_patch_points(mesh_frame& frame, model_node& node, const mat4& view, vec4* out,
                                   std::size_t capacity);
