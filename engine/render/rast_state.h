#pragma once

#include <cstdint>

#include "engine/base/clip_vertex.h"
#include "engine/base/material_records.h"
#include "engine/render/rast.h"

// The rasteriser's program-wide state: settings, screen and frame. Internal
// to the rasteriser.
struct rast_state {
    int span_run = rast_default_span_run;
    int edge_run = rast_default_edge_run;
    int full_res = 0;

    float width = 640.0f;
    float height = 480.0f;
    int screen_width = 640;
    int half_width = 320;
    float centre_x = 319.0f;
    float centre_y = 239.0f;

    rast_frame frame;
    // Where drawing may go: rows [0, clip_height), pixels [0, clip_width)
    // of each, rows `stride` pixels apart; both 0 without a frame.
    int clip_width = 0;
    int clip_height = 0;
    int stride = 0;
    int bytes_per_pixel = 1;
};

rast_state& rast_current_state();

// Clamps a vertex's light to `limit` (values at or above it become it) and
// stores light x 65536 in its fixed-point word.
void rast_clamp_light(clip_vertex& vertex, float limit);

// A vertex as the set-up reads it, copied from the caller's clip vertex once
// its light is clamped: the caller may reuse its vertices as soon as an
// entry returns, even while the polygon waits in the queue (rast_flush).
struct rast_point {
    float sx, sy;              // screen position (words 13-14)
    float w;                   // depth (word 4), perspective family
    float u, v;                // 16.16 texel coordinates
    std::int32_t light_fixed;  // light x 65536
};

inline rast_point rast_point_of(const clip_vertex& cv)
{
    return {cv.sx, cv.sy, cv.w, cv.u, cv.v, cv.light_fixed};
}

// Draws the rows [row_lo, row_hi) of a polygon, rows that lie inside the
// clip: each family's whole set-up, then only those rows. Every pixel of a
// row comes out the same whatever the window, so a polygon drawn band by
// band is the polygon drawn whole.
void rast_draw_affine_rows(const rast_point* points, const raster_material& material, std::int64_t row_lo,
                           std::int64_t row_hi);
void rast_draw_persp_rows(const rast_point* points, int count, const raster_material& material, std::int64_t row_lo,
                          std::int64_t row_hi);

// With several threads (rast_set_threads), records the polygon for the next
// rast_flush and returns true; with one, returns false and the entry draws
// it at once.
bool rast_defer(const rast_point* points, int count, bool perspective, const raster_material& material);

// The largest screen coordinate the set-up works with; positions beyond it
// (no clipped polygon comes near) are brought back to it, so that the
// fixed-point arithmetic cannot overflow.
inline constexpr double rast_coordinate_limit = 16777216.0;
