#include "engine/render/rast_span.h"
#include "engine/render/rast_span_loop.h"

// The span fillers of 16-bit frames: a shade entry holds the pixel's colour
// in both halves, written to one pixel or to a pair. There is no blend page
// for 16-bit pixels, so translucent materials draw opaque.

using rast_detail::persp_row;
using rast_detail::span_full;
using rast_detail::span_half;
using rast_detail::texel_kind;

void span_affine16_opaque_half(const rast_span& span) { span_half<std::uint16_t, texel_kind::opaque>(span); }
void span_affine16_keyed_half(const rast_span& span) { span_half<std::uint16_t, texel_kind::keyed>(span); }
void span_affine16_opaque_full(const rast_span& span) { span_full<std::uint16_t, texel_kind::opaque>(span); }
void span_affine16_keyed_full(const rast_span& span) { span_full<std::uint16_t, texel_kind::keyed>(span); }

void span_persp16_opaque_half(const rast_persp_span& span) { persp_row<std::uint16_t, texel_kind::opaque, true>(span); }
void span_persp16_keyed_half(const rast_persp_span& span) { persp_row<std::uint16_t, texel_kind::keyed, true>(span); }
void span_persp16_opaque_full(const rast_persp_span& span) { persp_row<std::uint16_t, texel_kind::opaque, false>(span); }
void span_persp16_keyed_full(const rast_persp_span& span) { persp_row<std::uint16_t, texel_kind::keyed, false>(span); }
