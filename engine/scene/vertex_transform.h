#pragma once

#include <cstdint>

#include "engine/base/mat4.h"
#include "engine/base/pipeline_records.h"
#include "engine/base/vec4.h"

class engine;
class model_node;
struct lattice_cell_cache;
struct model_part;

// The per-node vertex transform of the mesh pipeline: a mesh node's vertices
// are carried from model space to clip space (x', y', z', w') = p x M, given
// their screen position and 1/w', and tagged with the outcode bits of the
// view volume. One work vertex and one screen vertex per mesh vertex, in
// mesh order, are written into the engine context's current buffers; the
// mesh drawing reads them by vertex index.
//
// Clip space: z' is the view-space depth (the camera looks down -z), and
// w' = -z' tan(fov / 2), positive in front of the camera.

// The projection and depth limits of the frame. The scene view sets them
// once per frame from its viewport and its frustum (scene_view::prepare,
// not built yet); tests fill them directly.
struct projection_settings {
    float centre_x = 0.0f;   // screen x of the view's centre, in pixels
    float centre_y = 0.0f;
    float scale_x = 1.0f;    // half the view's width - 1
    float scale_y = 1.0f;    // half the view's height - 1
    float near_z = -1.0f;    // largest view-space z inside the volume (negative)
    float far_z = -1.0f;     // smallest view-space z inside (minus the far distance)
};

// Outcode bits of a vertex (the polygon clipper's bits): x' < -w', x' > w',
// y' > w', y' < -w', z' > near_z, z' < far_z. Comparisons are strict: a
// vertex on a plane is inside it. A NaN coordinate counts as outside (as
// the clipper counts it); x' and y' take at most one bit each.
std::uint32_t vertex_outcode(float x, float y, float z, float w, const projection_settings& proj);

// Writes the clip position, its screen position and 1/w', and its outcode.
// A w' of 0 (a vertex in the camera's own plane) or a w' that is not finite
// gives 1/w' = 0 and the view's centre as its screen position instead of a
// division by zero; such a vertex is always outside the near plane, so the
// drawing clips it before it projects anything.
void project_vertex(const vec4& clip, const projection_settings& proj, work_vertex* work, screen_vertex* screen);

// Whether the sphere of clip-space centre c and radius r lies wholly inside
// the view volume (the bounds inclusive): then none of its vertices may have
// an outcode.
bool sphere_wholly_inside(const vec4& c, float r, const projection_settings& proj);

// Centre (the mean of the vertex positions) and radius (1.63 x the largest
// distance from it) of a mesh, stored into the part. An empty mesh gets the
// origin and radius 0.
void mesh_calc_bounds(model_part& mesh);

// The vertices a mesh can be read for: its vertex count, lowered to the
// 48-byte records actually stored.
std::uint32_t mesh_vertex_count(const model_part& mesh);
// The mesh's rest vertices (48-byte records, the work vertex layout).
const std::uint8_t* mesh_rest_bytes(const model_part& mesh);
// Vertex i of an array of 48-byte vertex records.
work_vertex source_vertex(const std::uint8_t* source, std::uint32_t i);

// What one frame's transforms share. The scene view owns it for the frame
// (not built yet: it will reset the software arena positions in its
// prepare step, set the projection and the animation time of each instance
// before drawing it, and give back vertices the depth sort did not keep).
struct mesh_frame {
    engine* context = nullptr;              // the buffers and the render type
    projection_settings projection{};
    float time = 0.0f;                      // animation time of the instance being drawn
    lattice_cell_cache* lattice_cache = nullptr;  // required for lattice-deformed meshes

    // Software render type: the arena positions, as vertex indexes. The
    // next mesh is written at `current`; a reservation sets `next_free` to
    // current + its vertex count and adds the count to `in_use`.
    std::uint32_t current = 0;
    std::uint32_t next_free = 0;
    std::uint32_t in_use = 0;

    // Where the last routine wrote, and how many vertices (0: the mesh was
    // skipped and nothing new is there to draw).
    work_vertex* work = nullptr;
    screen_vertex* screen = nullptr;
    std::uint32_t written = 0;

    // Software render type: the depth sort's face entries used this frame,
    // the faces dropped because the entry array was full, and the sort
    // layer added to every key filed while it is set (engine/scene/depth_sort.h).
    std::uint32_t entries_used = 0;
    std::uint32_t entries_dropped = 0;
    std::int32_t sort_layer = 0;
};

// The five routines; draw_instance (not built yet) picks one per mesh node
// by the node's kind. Each returns 1 when it deformed the vertices (the
// caller then recomputes the vertex normals), else 0. `combined`, `view` and
// `to_world` are the camera's matrices (camera::combined, camera::view,
// camera::to_world: world to clip, world to camera, camera to world).
//
// In the software render type a mesh that would bring the frame's vertex
// count to software_vertex_limit is skipped (0, frame.written = 0); in the
// other types a mesh of more vertices than one buffer holds is skipped and
// reported once (the model loader already refuses such meshes).
//
// The deformation record is the node's current animation channel
// (model_node::anim): its shape animations applied at frame.time, then its
// lattice (record flag 0x1000: the lattice point is taken from the world
// position instead of the scaled model position). The node's muscles (the
// level-0 node's for a detail-level node) are applied after the shapes, each
// at the weight of its joint's angle, whether or not the node has a record.

// A full-kind mesh node: the node's world matrix x combined, with its
// deformations, skin groups, sprite facing and the view-volume check.
// `face_camera`: keep world axes at the node's world position (billboards).
int transform_clip_mesh(mesh_frame& frame, model_node& node, const mat4& combined, const mat4& view,
                        const mat4& to_world, int face_camera);

// A detail-level node: as transform_clip_mesh, with the world matrix, scale
// and deformation record of the level-0 node it refers to (its own mesh,
// skin groups and sprite position).
int transform_clip_mesh_alt(mesh_frame& frame, model_node& node, const mat4& combined, const mat4& view,
                            const mat4& to_world, int face_camera);

// Compact mesh kind B: the node's own matrix x combined; no deformation, no
// check. Returns 0.
int transform_mesh_matrix(mesh_frame& frame, model_node& node, const mat4& combined);

// Compact mesh kind A: combined with its translation row replaced by the
// node's local position x combined (world axes, unscaled, at that point);
// the check with the unscaled radius; normals untouched. Returns 0.
int transform_mesh_pivot(mesh_frame& frame, model_node& node, const mat4& combined);

// The same for a detail-level node, at the local position of the level-0
// node it refers to.
int transform_mesh_pivot_alt(mesh_frame& frame, model_node& node, const mat4& combined);

// Points the frame's work and screen buffers at room for `count` vertices
// (the software arenas at the frame's current position, or the start of the
// hardware-path buffers) and records the count in frame.written; false, with
// frame.written = 0, when the mesh is to be skipped (the software vertex
// limit reached, or more vertices than a hardware buffer holds). Every
// routine that writes a mesh's vertices reserves them this way.
bool reserve_vertices(mesh_frame& frame, std::uint32_t count);

// Faults the transforms met in this run. The first of each kind is written
// on the error output; the program goes on.
struct transform_fault_counts {
    // Vertices with an outcode in a mesh whose sphere lay wholly inside the
    // view ("check error!" / "clip 3d"): reported once per run, not once per
    // vertex.
    unsigned long clip_check = 0;
    // Meshes skipped for having more vertices than a hardware-path buffer.
    unsigned long oversized_meshes = 0;
    // Patches refused for having more control points than the buffer.
    unsigned long oversized_patches = 0;
    // Skin group entries naming a vertex the mesh does not have.
    unsigned long bad_skin_vertices = 0;
};
const transform_fault_counts& transform_faults();
void transform_reset_faults();

// Records a fault of the given counter, writing `what` on the error output
// the first time this counter counts in the run.
void transform_report(unsigned long transform_fault_counts::*counter, const char* what);
