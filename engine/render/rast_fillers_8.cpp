#include "engine/render/rast_span.h"
#include "engine/render/rast_span_loop.h"

// The span fillers of 8-bit frames: a pixel is a palette index, a pixel pair
// takes the two low bytes of a shade entry.

using rast_detail::persp_row;
using rast_detail::span_full;
using rast_detail::span_half;
using rast_detail::texel_kind;

void span_affine_opaque_half(const rast_span& span) { span_half<std::uint8_t, texel_kind::opaque>(span); }
void span_affine_keyed_half(const rast_span& span) { span_half<std::uint8_t, texel_kind::keyed>(span); }
void span_affine_opaque_full(const rast_span& span) { span_full<std::uint8_t, texel_kind::opaque>(span); }
void span_affine_keyed_full(const rast_span& span) { span_full<std::uint8_t, texel_kind::keyed>(span); }
void span_affine_blend_half(const rast_span& span) { span_half<std::uint8_t, texel_kind::blend>(span); }

void span_persp_opaque_half(const rast_persp_span& span) { persp_row<std::uint8_t, texel_kind::opaque, true>(span); }
void span_persp_keyed_half(const rast_persp_span& span) { persp_row<std::uint8_t, texel_kind::keyed, true>(span); }
void span_persp_opaque_full(const rast_persp_span& span) { persp_row<std::uint8_t, texel_kind::opaque, false>(span); }
void span_persp_keyed_full(const rast_persp_span& span) { persp_row<std::uint8_t, texel_kind::keyed, false>(span); }
void span_persp_blend_half(const rast_persp_span& span) { persp_row<std::uint8_t, texel_kind::blend, true>(span); }
