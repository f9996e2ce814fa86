#pragma once

#include <cstdint>

// The span fillers of the software rasteriser and the records the entries
// hand them. Internal to the rasteriser; its tests and benchmarks use it too.

// One visible stretch of a span, as the affine fillers take it. Samples
// follow a line: sample s of the span has u = u0 + s x du and so on, in
// wrapping 32-bit arithmetic (only the low bits reach the texture and the
// shade table).
//
// In the half fillers a sample covers a pixel pair: span pixels 2k and 2k+1
// take sample 2k, and the last pixel of a span of odd length takes the
// sample one pixel before it. `u`, `v`, `l` are the sample of the first
// pixel written, which is one step back when `phase` is set (the first pixel
// written is the second of its pair, its sample that of the first).
struct rast_span {
    void* dst = nullptr;           // first pixel written
    int count = 0;                 // pixels written (at least 1)
    int phase = 0;                 // half fillers: the first pixel is the second of a pair
    int odd_tail = 0;              // half fillers: the last pixel is a span's odd last pixel
    std::uint32_t u = 0, v = 0;    // texel coordinates, 8 fractional bits
    std::uint32_t l = 0;           // light x 65536; the level is bits 8-15
    std::uint32_t du = 0, dv = 0, dl = 0;  // per pixel
    const std::uint8_t* texels = nullptr;
    std::uint32_t mask = 0;
    const std::uint32_t* shade = nullptr;       // 65536 entries
    const std::uint32_t* blend_page = nullptr;  // 4096 entries (blend fillers)
};

// One row of the perspective family: u/w, v/w and 1/w at span pixel 0 and
// their steps per pixel, the light as in rast_span, and the visible pixels
// [first, last) of the span of `pixels` pixels that starts at `row`'s x0.
struct rast_persp_span {
    std::uint8_t* row = nullptr;   // the frame row
    std::int64_t x0 = 0;           // screen x of span pixel 0
    std::int64_t pixels = 0;
    std::int64_t first = 0, last = 0;
    double uq = 0, vq = 0, q = 0;
    double duq = 0, dvq = 0, dq = 0;
    std::uint32_t l = 0, dl = 0;
    int run = 4;                   // pixels between exact divisions
    const std::uint8_t* texels = nullptr;
    std::uint32_t mask = 0;
    const std::uint32_t* shade = nullptr;
    const std::uint32_t* blend_page = nullptr;
};

using rast_filler = void (*)(const rast_span&);
using rast_persp_filler = void (*)(const rast_persp_span&);

// Affine fillers, 8-bit frames.
void span_affine_opaque_half(const rast_span& span);
void span_affine_keyed_half(const rast_span& span);
void span_affine_opaque_full(const rast_span& span);
void span_affine_keyed_full(const rast_span& span);
void span_affine_blend_half(const rast_span& span);
// Affine fillers, 16-bit frames (translucent materials draw opaque there).
void span_affine16_opaque_half(const rast_span& span);
void span_affine16_keyed_half(const rast_span& span);
void span_affine16_opaque_full(const rast_span& span);
void span_affine16_keyed_full(const rast_span& span);

// Perspective fillers, 8-bit frames.
void span_persp_opaque_half(const rast_persp_span& span);
void span_persp_keyed_half(const rast_persp_span& span);
void span_persp_opaque_full(const rast_persp_span& span);
void span_persp_keyed_full(const rast_persp_span& span);
void span_persp_blend_half(const rast_persp_span& span);
// Perspective fillers, 16-bit frames.
void span_persp16_opaque_half(const rast_persp_span& span);
void span_persp16_keyed_half(const rast_persp_span& span);
void span_persp16_opaque_full(const rast_persp_span& span);
void span_persp16_keyed_full(const rast_persp_span& span);

// What a filler does with a texel.
enum class rast_texel_kind { opaque, keyed, blend };

// The kind of filler for a material's fill mode, the full-resolution switch
// and the frame's depth: translucent materials blend at half resolution on
// 8-bit frames (whatever the switch) and draw opaque on 16-bit ones;
// otherwise full or half, keyed for fill mode 6.
struct rast_variant {
    bool sixteen;          // 16-bit pixels
    rast_texel_kind kind;
    bool half;             // one sample per pixel pair
};
rast_variant rast_choose_variant(std::int32_t fill_mode, bool full_res, int depth);

// The variants in a fixed order, for tables of fillers: 8-bit opaque and
// keyed at half then full resolution (0-3), the same on 16 bits (4-7), and
// the 8-bit blend (8).
inline constexpr int rast_variant_count = 9;
int rast_variant_index(const rast_variant& v);

// The named filler of that kind.
rast_filler rast_choose_affine_filler(std::int32_t fill_mode, bool full_res, int depth);
rast_persp_filler rast_choose_persp_filler(std::int32_t fill_mode, bool full_res, int depth);
