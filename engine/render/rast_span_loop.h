#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

#include "engine/base/recip_table.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "engine/render/rast_span.h"

// The span loops behind every filler, one instance per pixel size, texel
// kind and sampling. Internal to the rasteriser.
namespace rast_detail {

using texel_kind = rast_texel_kind;

// Texel offset of (u, v), both with 8 fractional bits: the integer part of
// u picks the row, that of v the column, each modulo 256, then the mask.
inline std::uint32_t texel_offset(std::uint32_t u, std::uint32_t v, std::uint32_t mask)
{
    return ((u & 0xFF00u) | ((v >> 8) & 0xFFu)) & mask;
}

// Shade-table index of texel t at light l (16.16): level x 256 + t.
inline std::uint32_t shade_index(std::uint32_t l, std::uint32_t t)
{
    return (l & 0xFF00u) | t;
}

template <typename Pixel>
inline void store(Pixel* p, std::uint32_t value)
{
    const Pixel px = static_cast<Pixel>(value);
    std::memcpy(p, &px, sizeof px);
}

template <typename Pixel>
inline Pixel load(const Pixel* p)
{
    Pixel px;
    std::memcpy(&px, p, sizeof px);
    return px;
}

// The tables a span reads, copied out of the span record into locals: the
// loops write through byte pointers, which may alias anything, so fields
// read through the record would be loaded again for every pixel.
struct span_tables {
    const std::uint8_t* texels;
    std::uint32_t mask;
    const std::uint32_t* shade;
    const std::uint32_t* blend_page;

    explicit span_tables(const rast_span& s) : texels(s.texels), mask(s.mask), shade(s.shade), blend_page(s.blend_page) {}
};

// Writes one sample to `Pixels` pixels (1 or 2) at p. A shade entry holds
// the pair in its low two bytes (8-bit) or its two halves (16-bit).
template <typename Pixel, texel_kind Kind, int Pixels>
inline void put(Pixel* p, const span_tables& s, std::uint32_t u, std::uint32_t v, std::uint32_t l)
{
    const std::uint32_t t = s.texels[texel_offset(u, v, s.mask)];
    if constexpr (Kind == texel_kind::keyed) {
        if (t == 0)
            return;
    }
    if constexpr (Kind == texel_kind::blend) {
        if (t >= 0xE0u) {
            // Each pixel blends over what it holds.
            const std::uint32_t* level = s.blend_page + ((t & 15u) << 8);
            store(p, level[load(p) & 0xFFu]);
            if constexpr (Pixels == 2)
                store(p + 1, level[load(p + 1) & 0xFFu]);
            return;
        }
    }
    const std::uint32_t e = s.shade[shade_index(l, t)];
    store(p, e);
    if constexpr (Pixels == 2)
        store(p + 1, e >> (8 * sizeof(Pixel)));
}

#if defined(__SSE2__)
// Eight consecutive samples at a time. A texel offset needs only the low 16
// bits of u and v, a shade level only those of the light, and the low 16
// bits of a sum depend only on those of its terms: so the samples step as
// eight 16-bit lanes, which give exactly the offsets and levels the 32-bit
// values would.
// The lanes' steps: lane k's offset from the first sample, the step of
// eight samples, and the texture mask. They depend only on a polygon's
// gradients, so the affine row loop makes them once per triangle.
struct sample_steps {
    __m128i ku, kv, kl;
    __m128i du, dv, dl;
    __m128i mask;

    sample_steps(std::uint32_t su, std::uint32_t sv, std::uint32_t sl, std::uint32_t texture_mask)
    {
        const __m128i k = _mm_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7);
        ku = _mm_mullo_epi16(k, _mm_set1_epi16(static_cast<short>(su)));
        kv = _mm_mullo_epi16(k, _mm_set1_epi16(static_cast<short>(sv)));
        kl = _mm_mullo_epi16(k, _mm_set1_epi16(static_cast<short>(sl)));
        du = _mm_set1_epi16(static_cast<short>(su * 8));
        dv = _mm_set1_epi16(static_cast<short>(sv * 8));
        dl = _mm_set1_epi16(static_cast<short>(sl * 8));
        mask = _mm_set1_epi16(static_cast<short>(texture_mask));
    }
};

struct sample_lanes {
    __m128i u, v, l;  // samples k .. k + 7
    const sample_steps& steps;

    sample_lanes(std::uint32_t u0, std::uint32_t v0, std::uint32_t l0, const sample_steps& st) : steps(st)
    {
        u = _mm_add_epi16(_mm_set1_epi16(static_cast<short>(u0)), st.ku);
        v = _mm_add_epi16(_mm_set1_epi16(static_cast<short>(v0)), st.kv);
        l = _mm_add_epi16(_mm_set1_epi16(static_cast<short>(l0)), st.kl);
    }
    // The texel offsets and shade levels (light & 0xFF00) of the eight
    // samples, then a step to the next eight.
    void take(std::uint16_t* offset, std::uint16_t* level)
    {
        const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF00));
        const __m128i o = _mm_and_si128(_mm_or_si128(_mm_and_si128(u, high), _mm_srli_epi16(v, 8)), steps.mask);
        _mm_store_si128(reinterpret_cast<__m128i*>(offset), o);
        _mm_store_si128(reinterpret_cast<__m128i*>(level), _mm_and_si128(l, high));
        u = _mm_add_epi16(u, steps.du);
        v = _mm_add_epi16(v, steps.dv);
        l = _mm_add_epi16(l, steps.dl);
    }
};

// One sample per pixel. (Always inlined: the row loops of small polygons
// call it for spans of a few pixels, where a call costs as much as the
// pixels.)
template <typename Pixel, texel_kind Kind>
[[gnu::always_inline]] inline void span_full(const rast_span& span, const sample_steps& steps)
{
    static_assert(Kind != texel_kind::blend, "translucent texels blend at half resolution only");
    const span_tables s(span);
    Pixel* p = static_cast<Pixel*>(span.dst);
    int left = span.count;
    sample_lanes lanes(span.u, span.v, span.l, steps);
    alignas(16) std::uint16_t offset[8];
    alignas(16) std::uint16_t level[8];
    auto pixel = [&](int j) {
        const std::uint32_t t = s.texels[offset[j]];
        if constexpr (Kind == texel_kind::keyed) {
            if (t == 0)
                return;
        }
        store(p + j, s.shade[level[j] | t]);
    };
    for (; left >= 8; left -= 8, p += 8) {
        lanes.take(offset, level);
        for (int j = 0; j < 8; ++j)
            pixel(j);
    }
    if (left > 0) {
        lanes.take(offset, level);
        for (int j = 0; j < left; ++j)
            pixel(j);
    }
}

template <typename Pixel, texel_kind Kind>
[[gnu::always_inline]] inline void span_full(const rast_span& span)
{
    span_full<Pixel, Kind>(span, sample_steps(span.du, span.dv, span.dl, span.mask));
}
#else
// One sample per pixel. (Always inlined: the row loops of small polygons
// call it for spans of a few pixels, where a call costs as much as the
// pixels.)
template <typename Pixel, texel_kind Kind>
[[gnu::always_inline]] inline void span_full(const rast_span& span)
{
    const span_tables s(span);
    Pixel* p = static_cast<Pixel*>(span.dst);
    const int count = span.count;
    const std::uint32_t du = span.du, dv = span.dv, dl = span.dl;
    std::uint32_t u = span.u, v = span.v, l = span.l;
    for (int k = 0; k < count; ++k) {
        put<Pixel, Kind, 1>(p + k, s, u, v, l);
        u += du;
        v += dv;
        l += dl;
    }
}
#endif

// One sample per pixel pair (see rast_span for the first and last pixels).
template <typename Pixel, texel_kind Kind>
[[gnu::always_inline]] inline void span_half(const rast_span& span)
{
    const span_tables s(span);
    Pixel* p = static_cast<Pixel*>(span.dst);
    int left = span.count;
    std::uint32_t u = span.u, v = span.v, l = span.l;
    const std::uint32_t du = span.du, dv = span.dv, dl = span.dl;
    const std::uint32_t du2 = du * 2, dv2 = dv * 2, dl2 = dl * 2;
    if (span.phase) {
        put<Pixel, Kind, 1>(p, s, u, v, l);
        ++p;
        --left;
        u += du2;
        v += dv2;
        l += dl2;
    }
    const bool odd_tail = span.odd_tail != 0;
    if (odd_tail)
        --left;
    for (; left >= 2; left -= 2, p += 2) {
        put<Pixel, Kind, 2>(p, s, u, v, l);
        u += du2;
        v += dv2;
        l += dl2;
    }
    if (left == 1) {
        // The first pixel of a pair whose second lies past the screen.
        put<Pixel, Kind, 1>(p, s, u, v, l);
    } else if (odd_tail) {
        put<Pixel, Kind, 1>(p, s, u - du, v - dv, l - dl);
    }
}

// The samples of a span as a line: the value at span pixel s is the value
// at `origin` plus (s - origin) steps.
struct span_line {
    std::uint32_t u, v, l;        // at span pixel `origin`
    std::int64_t origin;
    std::uint32_t du, dv, dl;
};

// Fills `s` for span pixels [from, to) of a span of `pixels` pixels, the
// first of them at `first_pixel`.
inline void prepare_span(void* first_pixel, std::int64_t from, std::int64_t to, std::int64_t pixels,
                         const span_line& line, bool half, rast_span& s)
{
    s.dst = first_pixel;
    s.count = static_cast<int>(to - from);
    std::int64_t sample = from;
    s.phase = 0;
    s.odd_tail = 0;
    if (half) {
        s.phase = static_cast<int>(from & 1);
        s.odd_tail = (pixels & 1) && to == pixels ? 1 : 0;
        sample -= s.phase;
    }
    const std::uint32_t steps = static_cast<std::uint32_t>(sample - line.origin);
    s.u = line.u + steps * line.du;
    s.v = line.v + steps * line.dv;
    s.l = line.l + steps * line.dl;
    s.du = line.du;
    s.dv = line.dv;
    s.dl = line.dl;
}

// The same, then the span loop.
template <typename Pixel, texel_kind Kind, bool Half>
[[gnu::always_inline]] inline void emit(Pixel* first_pixel, std::int64_t from, std::int64_t to, std::int64_t pixels,
                 const span_line& line, rast_span& s)
{
    prepare_span(first_pixel, from, to, pixels, line, Half, s);
    if constexpr (Half)
        span_half<Pixel, Kind>(s);
    else
        span_full<Pixel, Kind>(s);
}

#if defined(__SSE2__)
// emit for full-resolution spans whose steps are made already.
template <typename Pixel, texel_kind Kind>
[[gnu::always_inline]] inline void emit_full(Pixel* first_pixel, std::int64_t from, std::int64_t to,
                                             std::int64_t pixels, const span_line& line, rast_span& s,
                                             const sample_steps& steps)
{
    prepare_span(first_pixel, from, to, pixels, line, false, s);
    span_full<Pixel, Kind>(s, steps);
}
#endif

// 1 / k through the reciprocal table where it reaches (k >= 1).
inline double recip(std::int64_t k)
{
    return k < static_cast<std::int64_t>(recip_table_size) ? static_cast<double>(recip_table[k])
                                                            : 1.0 / static_cast<double>(k);
}

// The largest integer not above x, with x first brought inside +-2^62 (the
// texture wraps long before, so only the low bits matter).
inline std::int64_t floor_wrapped(double x)
{
    constexpr double limit = 4611686018427387904.0;  // 2^62
    if (x > limit)
        x = limit;
    else if (x < -limit)
        x = -limit;
    const std::int64_t t = static_cast<std::int64_t>(x);
    return static_cast<double>(t) > x ? t - 1 : t;
}

// A texel coordinate in 16.16 texel units to 8 fractional bits, wrapping as
// the texture does. The perspective arithmetic keeps its values finite.
inline std::uint32_t to_fixed8(double value)
{
    return static_cast<std::uint32_t>(floor_wrapped(value * (1.0 / 256.0)));
}

// A step of u or v per pixel, 16.16 texel units to 8 fractional bits,
// rounded to the nearest.
inline std::uint32_t step_fixed8(double step)
{
    return static_cast<std::uint32_t>(floor_wrapped(step * (1.0 / 256.0) + 0.5));
}

// The smallest 1/w the perspective division uses: w is positive in front of
// the camera, and a vertex at or behind it (which the clipper removes) must
// not bring a zero or negative divisor.
inline constexpr double min_persp_q = 1e-12;

// One row of the perspective family: exact u and v (u/w and v/w divided by
// 1/w) at the start of every run of `run` span pixels and at the span's last
// pixel, stepped linearly between; the light steps linearly across the span.
template <typename Pixel, texel_kind Kind, bool Half>
void persp_row(const rast_persp_span& ps)
{
    rast_span s;
    s.texels = ps.texels;
    s.mask = ps.mask;
    s.shade = ps.shade;
    s.blend_page = ps.blend_page;
    Pixel* row = reinterpret_cast<Pixel*>(ps.row);

    const std::int64_t run = ps.run;
    auto exact = [&ps](std::int64_t at, double& u, double& v) {
        const double pos = static_cast<double>(at);
        double den = ps.q + pos * ps.dq;
        if (!(den > min_persp_q))
            den = min_persp_q;
        const double r = 1.0 / den;
        u = (ps.uq + pos * ps.duq) * r;
        v = (ps.vq + pos * ps.dvq) * r;
    };

    // The end of the run that starts at r0: the next run's start, or the
    // span's last pixel for the last, shorter run.
    auto run_end = [&ps, run](std::int64_t r0) {
        const std::int64_t r1 = r0 + run;
        return r1 < ps.pixels ? r1 : (ps.pixels - 1 > r0 ? ps.pixels - 1 : r0 + 1);
    };

    std::int64_t r0 = ps.first / run * run;
    std::int64_t end = run_end(r0);
    double u0 = 0, v0 = 0, u1 = 0, v1 = 0;
    exact(r0, u0, v0);
    exact(end, u1, v1);
    while (r0 < ps.last) {
        const std::int64_t r1 = r0 + run;
        // The next run's division first, so that it overlaps this run's
        // pixels rather than waiting before them.
        const std::int64_t next_end = r1 < ps.last ? run_end(r1) : end;
        double u2 = u1, v2 = v1;
        if (r1 < ps.last)
            exact(next_end, u2, v2);

        const double inv = recip(end - r0);
        span_line line;
        line.origin = r0;
        line.u = to_fixed8(u0);
        line.v = to_fixed8(v0);
        line.du = step_fixed8((u1 - u0) * inv);
        line.dv = step_fixed8((v1 - v0) * inv);
        line.l = ps.l + static_cast<std::uint32_t>(r0) * ps.dl;
        line.dl = ps.dl;

        const std::int64_t from = r0 > ps.first ? r0 : ps.first;
        const std::int64_t to = r1 < ps.last ? r1 : ps.last;
        emit<Pixel, Kind, Half>(row + (ps.x0 + from), from, to, ps.pixels, line, s);

        r0 = r1;
        end = next_end;
        u0 = u1;
        v0 = v1;
        u1 = u2;
        v1 = v2;
    }
}

} // namespace rast_detail
