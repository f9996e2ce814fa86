#include "engine/base/material_records.h"
#include "engine/render/rast_span.h"

bool rast_filler_is_half(std::int32_t fill_mode, bool full_res, int depth)
{
    if (fill_mode == raster_fill_translucent && depth != 16)
        return true;
    return !full_res;
}

rast_filler rast_choose_affine_filler(std::int32_t fill_mode, bool full_res, int depth)
{
    const bool keyed = fill_mode == raster_fill_keyed;
    if (depth == 16) {
        if (full_res)
            return keyed ? span_affine16_keyed_full : span_affine16_opaque_full;
        return keyed ? span_affine16_keyed_half : span_affine16_opaque_half;
    }
    if (fill_mode == raster_fill_translucent)
        return span_affine_blend_half;
    if (full_res)
        return keyed ? span_affine_keyed_full : span_affine_opaque_full;
    return keyed ? span_affine_keyed_half : span_affine_opaque_half;
}

rast_persp_filler rast_choose_persp_filler(std::int32_t fill_mode, bool full_res, int depth)
{
    const bool keyed = fill_mode == raster_fill_keyed;
    if (depth == 16) {
        if (full_res)
            return keyed ? span_persp16_keyed_full : span_persp16_opaque_full;
        return keyed ? span_persp16_keyed_half : span_persp16_opaque_half;
    }
    if (fill_mode == raster_fill_translucent)
        return span_persp_blend_half;
    if (full_res)
        return keyed ? span_persp_keyed_full : span_persp_opaque_full;
    return keyed ? span_persp_keyed_half : span_persp_opaque_half;
}
