#include <cassert>
#include <cmath>
#include <cstdint>

#include "engine/base/float_conv.h"
#include "engine/base/recip_table.h"
#include "engine/render/rast.h"
#include "engine/render/rast_state.h"

namespace {

rast_state state;

void take_clip()
{
    const rast_frame& f = state.frame;
    state.bytes_per_pixel = f.depth == 16 ? 2 : 1;
    if (!f.pixels || f.width <= 0 || f.height <= 0 || f.pitch <= 0) {
        state.clip_width = state.clip_height = state.stride = 0;
        return;
    }
    // Rows are a whole number of pixels apart, and a row holds its width.
    assert(f.pitch % state.bytes_per_pixel == 0);
    assert(f.pitch >= f.width * state.bytes_per_pixel);
    state.stride = f.pitch / state.bytes_per_pixel;
    const int rows = trunc_to_int(static_cast<double>(state.height));
    const int width = f.width < state.stride ? f.width : state.stride;
    state.clip_width = state.screen_width < width ? state.screen_width : width;
    state.clip_height = rows < f.height ? rows : f.height;
    if (state.clip_width < 0)
        state.clip_width = 0;
    if (state.clip_height < 0)
        state.clip_height = 0;
}

} // namespace

rast_state& rast_current_state()
{
    return state;
}

void rast_set_globals(int span_run, int edge_run, int full_res)
{
    rast_flush();
    state.span_run = span_run;
    state.edge_run = edge_run;
    state.full_res = full_res;
}

void rast_set_screen(float width, float height)
{
    rast_flush();
    // The engine context builds the reciprocal table; a rasteriser used
    // before any context exists builds it here.
    if (recip_table[1] != 1.0f)
        recip_table_build();
    state.width = width;
    state.height = height;
    state.screen_width = trunc_to_int(static_cast<double>(width));
    state.half_width = state.screen_width / 2;
    state.centre_x = width * 0.5f - 1.0f;
    state.centre_y = height * 0.5f - 1.0f;
    take_clip();
}

void rast_set_screen(float width, float height, const rast_frame& frame)
{
    rast_flush();
    state.frame = frame;
    rast_set_screen(width, height);
}

void rast_set_frame(const rast_frame& frame)
{
    rast_flush();
    state.frame = frame;
    take_clip();
}

rast_frame rast_current_frame()
{
    return state.frame;
}

rast_settings rast_get_settings()
{
    return {state.span_run, state.edge_run, state.full_res, state.width, state.height,
            state.screen_width, state.half_width, state.centre_x, state.centre_y};
}

std::uint8_t rast_option_byte()
{
    return state.frame.depth == 16 ? 1 : 0;
}

void rast_clamp_light(clip_vertex& vertex, float limit)
{
    const float light = vertex.light[0];
    if (std::isnan(light)) {
        vertex.light_fixed = 0;
        return;
    }
    if (light >= limit)
        vertex.light[0] = limit;
    // At most limit x 65536 above; lights far below 0 (which callers do not
    // pass) are held at the lowest integer.
    const double fixed = static_cast<double>(vertex.light[0]) * 65536.0;
    vertex.light_fixed = fixed <= -2147483648.0 ? INT32_MIN : static_cast<std::int32_t>(fixed);
}
