#pragma once

#include "engine/base/clip_vertex.h"

// The polygon clipper of the mesh pipeline.
//
// Every drawing path classifies a triangle or quad against the view volume
// by its outcode, drops polygons wholly outside one boundary, draws wholly
// inside ones as they are and clips the rest with clip_polygon before
// projecting them. It works on view-space clip_vertex records that the
// pipeline has already transformed and lit.
//
// The volume: lower z limit <= z <= upper z limit and -w <= x, y <= w (a
// vertex on a boundary is inside). The side planes are tested against w but
// intersected as planes through the eye, k x + z = 0 and k y + z = 0 with the
// factors of the clip record; callers keep w consistent with those planes.

// What the caller's view supplies: nineteen floats, of which the clipper
// reads six.
struct clip_record {
    float left_factor;    // plane left_factor x + z = 0
    float spare2[3];
    float right_factor;   // plane right_factor x + z = 0
    float spare6[4];
    float top_factor;     // plane top_factor y + z = 0
    float spare11[3];
    float bottom_factor;  // plane bottom_factor y + z = 0
    float spare15[3];
    float upper_z;        // largest z inside
    float lower_z;        // smallest z inside
};

static_assert(sizeof(clip_record) == 19 * sizeof(float));

// Outcode bits of a vertex.
inline constexpr unsigned clip_left = 1;      // x < -w
inline constexpr unsigned clip_right = 2;     // x > w (not with clip_left)
inline constexpr unsigned clip_top = 4;       // y > w (not with clip_bottom)
inline constexpr unsigned clip_bottom = 8;    // y < -w
inline constexpr unsigned clip_upper_z = 16;  // z > upper limit
inline constexpr unsigned clip_lower_z = 32;  // z < lower limit (not with clip_upper_z)
inline constexpr unsigned clip_all_planes = 63;

// Polygon outcode results besides a plane set.
inline constexpr unsigned clip_poly_inside = 64;    // every vertex inside: draw unclipped
inline constexpr unsigned clip_poly_outside = 128;  // all outside one boundary: drop

// Buffer sizes. clip_polygon takes at most clip_max_input_vertices vertices;
// both of its arrays must hold clip_buffer_vertices records: each of the six
// planes can add one vertex to a convex polygon and each pass needs one slot
// past its last vertex to close the loop. A polygon that is not convex (a
// twisted quad) could grow further; its extra vertices are dropped rather
// than written past the buffers.
inline constexpr int clip_max_input_vertices = 4;
inline constexpr int clip_buffer_vertices = clip_max_input_vertices + 7;

// The outcode of one vertex.
unsigned clip_outcode(const clip_record* record, const clip_vertex* vertex);

// The polygon outcode of three (count 3) or otherwise four consecutive
// vertices: clip_poly_outside when the AND of the vertex outcodes is not
// zero, clip_poly_inside when their OR is zero, else the OR.
unsigned clip_outcode_array(const clip_record* record, const clip_vertex* vertices, int count);

// The polygon outcode of three or four vertices given by pointers. Any other
// count is a programming error: the program ends with exit status 1.
unsigned clip_outcode_poly(const clip_record* record, const clip_vertex* const* vertices, int count);

// Clips the polygon of *count consecutive vertices in `vertices` against the
// planes whose bits are set in `flags` (in the order lower z, upper z, left,
// right, bottom, top; clipping against the upper z plane also clips against
// all four side planes). The two arrays alternate as source and destination,
// starting with `vertices` -> `scratch`; both must hold clip_buffer_vertices
// records. Returns the array that holds the result and stores its count in
// *count, or returns null with *count = 0 when a plane leaves nothing (also
// for a null array or a count outside 1..clip_max_input_vertices). Flags
// that select no plane return `vertices` untouched.
//
// A kept vertex is copied whole; one exactly on the boundary gets no crossing
// beside it. A vertex made on a boundary gets x, y, z, w,
// u, v and the three light values interpolated along its edge, the clip
// parameter clamped to [0, 1], and every other word copied from the nearer
// end of the edge; an edge that runs parallel to the plane (zero
// denominator) makes no vertex. Every result vertex passes all six inside
// tests exactly (its outcode is 0): rounding in the interpolation is snapped
// back onto the boundary, since the rasteriser draws what it gets. (This
// holds for a consistent view: w >= 0 wherever x and y are tested against it
// from both sides, and lower z limit <= upper z limit.)
//
// `view` is the caller's view; it is not read.
clip_vertex* clip_polygon(const clip_record* record, clip_vertex* vertices, clip_vertex* scratch, int* count,
                          unsigned flags, const void* view);
