#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/base/clip_vertex.h"
#include "engine/base/vec4.h"

struct mtr_texture;
struct patch_grid;

// Bicubic patch tessellation. A patch node's control points, carried into
// camera space by transform_patch_points (engine/scene/lattice_deform.h), are
// cut into bicubic patches of 4 x 4 consecutive points; each patch is
// evaluated on a fixed 3 x 3 grid of points by forward differencing, given
// normals, light values and texture coordinates, carried into clip space by
// the camera's lens, and the two triangles of every grid cell that look
// towards the eye are handed on as clip vertices.
//
// Directions: u runs across the rows of control points (the grid's count_u
// rows), v along a row (count_v consecutive points). Each direction is a
// uniform cubic B-spline (kind 2) or a cardinal spline with its tension
// (kind 3); the model loader refuses other kinds, and the tessellator draws
// nothing for a grid built in code with another kind (reported once).

// ---------------------------------------------------------------------------
// Inverse square root by tables.
//
// Two tables of float cubic coefficients approximate 1/sqrt(x): table A has
// one cubic per 256-wide interval from 256 to 1048576 (entries 1 to 4095),
// table B one per 4096-wide interval from 1048576 to 16777216 (entries 0 to
// 3839). Each cubic passes through the values and slopes of 1/sqrt(x) at
// both ends of its interval. Below 256 and from 16777216 up the value is
// exact: the tables have no entry there (an index computed below 256 would
// fall before table A's first entry).

inline constexpr std::size_t isqrt_table_a_size = 4096;   // entry 0 unused
inline constexpr std::size_t isqrt_table_b_size = 3840;

// Fills both tables. inv_sqrt_approx builds them on first use too, so a
// caller that forgets this still gets right values; the engine's start-up
// calls it so the first frame does not pay for it.
void isqrt_tables_build();

// 1/sqrt(x) through the tables for 256 <= x < 16777216, exactly otherwise.
// The relative error comes from the cubics' fit, largest where an interval
// is wide beside x: below 4.2e-3 for x in [256, 512), 4.7e-4 in [512, 1024),
// 4.3e-5 in [1024, 2048), 3.4e-6 in [2048, 4096) and 5e-7 from 4096 up
// (float rounding only); a normal scaled by it is that much off unit
// length. At the ends of every interval it is below 2e-6. x = 0 gives
// +infinity and a negative or NaN x gives NaN, without raising a
// floating-point exception.
float inv_sqrt_approx(float x);

// ---------------------------------------------------------------------------
// One patch.

// A cubic segment a t^3 + b t^2 + c t + d, t in [0, 1], per component x, y, z.
struct patch_cubic {
    vec4 a, b, c, d;
};

// The cubic of four consecutive control points p[0..3] for spline kind
// `basis` (2: uniform cubic B-spline; 3: cardinal spline from p[1] to p[2]
// with `tension`, 0.5 being Catmull-Rom). False for any other kind.
bool patch_segment_cubic(std::uint32_t basis, float tension, const vec4 p[4], patch_cubic& out);

// Points per direction of one patch: the tessellation level is always 2, so
// each patch is evaluated at t = 0, 1/2 and 1 in both directions.
inline constexpr int patch_grid_points = 3;

// A point of a patch in camera space: the surface point, the tangent across
// rows (d/du), the tangent along a row (d/dv) and the unit normal
// tangent_u x tangent_v (zero where the tangents are parallel or zero).
struct patch_sample {
    vec4 position;
    vec4 tangent_u;
    vec4 tangent_v;
    vec4 normal;
};

// Evaluates the patch whose first control point is row `row`, point
// `column` of the grid (indexes past the end wrap around, as a closed
// direction's last patches do) into out[s][r]: s the position along a row
// (v = s / 2), r the position across rows (u = r / 2). False (nothing
// written) for an unknown spline kind or a grid without points.
bool patch_evaluate(const patch_grid& grid, const vec4* points, std::uint32_t row, std::uint32_t column,
                    patch_sample out[patch_grid_points][patch_grid_points]);

// ---------------------------------------------------------------------------
// Drawing a patch node.

// The camera's lens (camera.h): clip position x' = x + z shift_x,
// y' = aspect y + z shift_y, z' = z, w' = -z / focal.
struct patch_lens {
    float shift_x = 0.0f;
    float shift_y = 0.0f;
    float aspect = 1.0f;
    float focal = 1.0f;
};

// What the texture binding of the patch's material gives its polygons: the
// texture frame (the binding's first frame), the texture's size W x H, the
// repeat scales and the u and v origins. The mesh drawing, which owns the
// texture binding's layout, fills it (patch_texture_map_of, mesh_draw.h).
struct patch_texture_map {
    const mtr_texture* frame = nullptr;
    std::int32_t width = 0;
    std::int32_t height = 0;
    float repeat_u = 1.0f;
    float repeat_v = 1.0f;
    float origin_u = 0.0f;
    float origin_v = 0.0f;
};

// Where the tessellation goes. The lighting and the polygon emitters belong
// to the mesh drawing (mesh_patch_sink, mesh_draw.h):
// - light_point is scn_light::light_vertex of the node's first selected
//   light with the patch's material (camera-space position and unit normal
//   in, the light value out);
// - triangle receives three clip vertices of the patch grid (words 1-4 the
//   clip position, 5-7 the normal, 9-10 u and v, 20 the light value) and the
//   polygons' texture. On the hardware path it is poly_emit_pointers: the
//   outcodes of the three corners, rejection, clipping, projection, then
//   render_device::draw_polygons. On the software path it files the
//   triangle into the depth buckets (zsort_patch_sink, depth_sort.h). The
//   corners are valid only during the call.
class patch_sink {
public:
    virtual float light_point(const vec4& position, const vec4& normal) = 0;
    virtual void triangle(clip_vertex* const corners[3], const mtr_texture* frame) = 0;

protected:
    ~patch_sink() = default;
};

// Emits the cells of a grid of `rows` x `columns` clip vertices, rows
// `row_stride` bytes apart: for the cell with corners V(r, c), V(r, c + 1),
// V(r + 1, c), V(r + 1, c + 1), taking the first three words of each as its
// point, the triangle (V(r+1,c+1), V(r,c+1), V(r,c)) when
// ((V(r+1,c+1) - V(r,c)) x (V(r,c+1) - V(r,c))) . (eye - V(r,c)) < 0, and
// the triangle (V(r,c), V(r+1,c), V(r+1,c+1)) when
// ((V(r+1,c+1) - V(r,c)) x (V(r+1,c) - V(r,c))) . (eye - V(r,c)) > 0.
// Returns the number of triangles emitted.
int patch_grid_emit(int rows, int columns, std::size_t row_stride, clip_vertex* grid, const mtr_texture* frame,
                    const vec4& eye, patch_sink& sink);

// Draws one patch node: `points` are its `point_count` control points in
// camera space (transform_patch_points), `eye` the frame's eye point. Every
// patch of the grid (count - 3 per open direction, count per closed one,
// those that wrap last) is evaluated, lit through the sink, textured
// (u = origin_u - (patch row + r/2) W repeat_u / S_u, v likewise with H,
// repeat_v and the patches along a row, S being the segment count of the
// direction), carried into clip space by the lens and emitted by
// patch_grid_emit. Returns the number of triangles emitted; 0 when the grid
// names more points than `point_count` or a spline kind the tessellator
// does not know (reported once, patch_faults()).
int patch_mesh_draw(const patch_grid& grid, const vec4* points, std::size_t point_count, const patch_lens& lens,
                    const patch_texture_map& texture, const vec4& eye, patch_sink& sink);

// Patch grids refused while drawing in this run (a grid built in code: the
// model loader refuses both faults). The first of each is written on the
// error output; the program goes on.
struct patch_fault_counts {
    unsigned long unknown_spline = 0;
    unsigned long missing_points = 0;
};
const patch_fault_counts& patch_faults();
void patch_reset_faults();
