#pragma once

#include <cmath>
#include <cstdint>

#include "engine/base/clip_vertex.h"
#include "engine/base/float_conv.h"
#include "engine/base/material_records.h"
#include "engine/base/shade_table.h"
#include "engine/render/rast_span.h"
#include "engine/render/rast_state.h"

// Helpers the rasteriser's entries share. Internal to the rasteriser.
namespace rast_detail {

// A screen coordinate brought inside the set-up's range; false for one that
// is not a number or infinite (such a polygon is not drawn).
inline bool screen_coordinate(float value, double& out)
{
    if (!std::isfinite(value))
        return false;
    double v = value;
    if (v > rast_coordinate_limit)
        v = rast_coordinate_limit;
    else if (v < -rast_coordinate_limit)
        v = -rast_coordinate_limit;
    out = v;
    return true;
}

// A 16.16 texel coordinate kept in a float, as a 64-bit integer. Values past
// 2^60 (2^44 texels) are brought back to it, so differences of two never
// overflow; not-a-number reads 0.
inline std::int64_t texel_fixed(float value)
{
    constexpr double limit = 1152921504606846976.0;  // 2^60
    double v = std::isnan(value) ? 0.0 : static_cast<double>(value);
    if (v > limit)
        v = limit;
    else if (v < -limit)
        v = -limit;
    return static_cast<std::int64_t>(v);
}

// The largest integer not above `value`, for values well inside the 64-bit
// range (the set-up's clamped coordinates), without a library call.
inline std::int64_t floor_bounded(double value)
{
    const std::int64_t t = static_cast<std::int64_t>(value);
    return static_cast<double>(t) > value ? t - 1 : t;
}

// The texture repeats every 256 texels (2^24 in 16.16): subtracting a
// multiple of that from every vertex keeps the numbers small and changes no
// texel.
inline std::int64_t texture_period_base(std::int64_t value)
{
    return value & ~((std::int64_t{1} << 24) - 1);
}

// Narrows the rows [from, to) to the window [row_lo, row_hi); false when
// none is left.
inline bool window_rows(std::int64_t& from, std::int64_t& to, std::int64_t row_lo, std::int64_t row_hi)
{
    if (from < row_lo)
        from = row_lo;
    if (to > row_hi)
        to = row_hi;
    return from < to;
}

// The material's inputs to the span loops; false when there is nothing to
// draw with (no material or no texels) or nowhere to draw.
inline bool material_state(const raster_material* material, const rast_state& st, rast_span& s)
{
    if (!material || !material->texels || st.clip_width <= 0 || st.clip_height <= 0)
        return false;
    s.texels = material->texels;
    s.mask = material->texture_mask & 0xFFFFu;
    s.shade = shade_table;
    s.blend_page = blend_pages[static_cast<std::uint32_t>(material->blend_page) & 15u];
    return true;
}

// Address of pixel x of row y of the frame (both inside the clip).
inline std::uint8_t* frame_row(const rast_state& st, std::int64_t y)
{
    return static_cast<std::uint8_t*>(st.frame.pixels) +
           static_cast<std::ptrdiff_t>(y) * st.stride * st.bytes_per_pixel;
}

} // namespace rast_detail
