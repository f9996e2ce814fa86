#include "engine/base/material_records.h"
#include "engine/render/rast_span.h"

rast_variant rast_choose_variant(std::int32_t fill_mode, bool full_res, int depth)
{
    const bool sixteen = depth == 16;
    if (fill_mode == raster_fill_translucent && !sixteen)
        return {false, rast_texel_kind::blend, true};
    const rast_texel_kind kind = fill_mode == raster_fill_keyed ? rast_texel_kind::keyed : rast_texel_kind::opaque;
    return {sixteen, kind, !full_res};
}

int rast_variant_index(const rast_variant& v)
{
    if (v.kind == rast_texel_kind::blend)
        return 8;
    return (v.sixteen ? 4 : 0) + (v.half ? 0 : 2) + (v.kind == rast_texel_kind::keyed ? 1 : 0);
}

namespace {

constexpr rast_filler affine_fillers[rast_variant_count] = {
    span_affine_opaque_half,   span_affine_keyed_half,   span_affine_opaque_full,   span_affine_keyed_full,
    span_affine16_opaque_half, span_affine16_keyed_half, span_affine16_opaque_full, span_affine16_keyed_full,
    span_affine_blend_half};

constexpr rast_persp_filler persp_fillers[rast_variant_count] = {
    span_persp_opaque_half,   span_persp_keyed_half,   span_persp_opaque_full,   span_persp_keyed_full,
    span_persp16_opaque_half, span_persp16_keyed_half, span_persp16_opaque_full, span_persp16_keyed_full,
    span_persp_blend_half};

} // namespace

rast_filler rast_choose_affine_filler(std::int32_t fill_mode, bool full_res, int depth)
{
    return affine_fillers[rast_variant_index(rast_choose_variant(fill_mode, full_res, depth))];
}

rast_persp_filler rast_choose_persp_filler(std::int32_t fill_mode, bool full_res, int depth)
{
    return persp_fillers[rast_variant_index(rast_choose_variant(fill_mode, full_res, depth))];
}
