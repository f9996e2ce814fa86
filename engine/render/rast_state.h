#pragma once

#include <cstdint>

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

// The largest screen coordinate the set-up works with; positions beyond it
// (no clipped polygon comes near) are brought back to it, so that the
// fixed-point arithmetic cannot overflow.
inline constexpr double rast_coordinate_limit = 16777216.0;
