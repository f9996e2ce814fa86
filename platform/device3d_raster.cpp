#include "platform/device3d_raster.h"

#include <algorithm>
#include <array>
#include <cmath>

#include <emmintrin.h>

namespace platform {

namespace {

constexpr int kSubPixel = 16;       // vertex positions snap to 1/16 pixel
constexpr float kMaxCoordinate = 32768.0f;  // triangles reaching past this are left out
constexpr int kBandRows = 8;
constexpr float kInv255 = 1.0f / 255.0f;  // a multiply costs far less than a divide

// Interpolated attributes, as plane equations.
enum Plane { kZ, kQ, kUQ, kVQ, kR, kG, kB, kA, kSR, kSG, kSB, kFog, kPlanes };

std::int64_t floor_div(std::int64_t a, std::int64_t b)  // b > 0
{
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

std::int64_t ceil_div(std::int64_t a, std::int64_t b)  // b > 0
{
    return -floor_div(-a, b);
}

// llround() for |v| < 2^20 without a library call: v + 0.5 is exact there.
inline std::int64_t round_half_away(double v)
{
    return v >= 0 ? static_cast<std::int64_t>(v + 0.5) : -static_cast<std::int64_t>(-v + 0.5);
}

struct Rgba {
    float r, g, b, a;
};

Rgba unpack(std::uint32_t c)
{
    return {float((c >> 16) & 255), float((c >> 8) & 255), float(c & 255), float(c >> 24)};
}

// A texture coordinate scaled to texels, kept in a range where its integer
// part is exact (wrapping makes the far values equivalent anyway).
float texel_coordinate(float t, int size)
{
    float v = t * float(size);
    if (!(std::fabs(v) < 16777216.0f))
        v = std::isfinite(v) ? std::fmod(v, float(size)) : 0.0f;
    return v;
}

// floor() for values well inside the int range, without a library call.
inline int floor_int(float v)
{
    const int i = static_cast<int>(v);
    return i - (v < static_cast<float>(i));
}

} // namespace

struct TriangleRasteriser::Setup {
    int left, right, top, bottom;  // covered pixels lie inside (inclusive)
    std::uint32_t command;         // read with the bounds, for every band
    std::int64_t ea[3], eb[3], ec[3];  // edge e covers (x, y) when ea x + eb y + ec >= 0
    std::int64_t step_q[3], step_r[3];  // eb = |ea| step_q + step_r, 0 <= step_r < |ea| (ea != 0)
    float ox, oy;                  // where the planes' values are given
    float a[kPlanes], b[kPlanes], v[kPlanes];
};

TriangleRasteriser::TriangleRasteriser(int threads)
{
    set_threads(threads);
}

TriangleRasteriser::~TriangleRasteriser() = default;

void TriangleRasteriser::set_threads(int threads)
{
    if (threads <= 0)
        threads = WorkerPool::HardwareThreads();
    threads = std::min(threads, 64);
    if (pool_ && threads == threads_)
        return;
    own_pool_.reset();
    threads_ = threads;
    if (threads == WorkerPool::HardwareThreads()) {
        pool_ = &WorkerPool::Shared();
    } else {
        own_pool_ = std::make_unique<WorkerPool>(threads);
        pool_ = own_pool_.get();
    }
}

void TriangleRasteriser::run_parallel(int tasks, const std::function<void(int)>& task)
{
    pool_->Run(
        tasks, [](void* context, int index) { (*static_cast<const std::function<void(int)>*>(context))(index); },
        const_cast<std::function<void(int)>*>(&task));
}

bool TriangleRasteriser::queue(const RenderStates& states, const RasterTexture* texture, const TLVertex* vertices,
                               int vertex_count, const std::uint16_t* indices, int index_count)
{
    if (!vertices || !indices || vertex_count <= 0 || index_count < 3)
        return index_count == 0;
    Command command;
    command.states = states;
    if (texture && texture->texels && texture->width > 0 && texture->height > 0 &&
        (texture->width & (texture->width - 1)) == 0 && (texture->height & (texture->height - 1)) == 0 &&
        texture->pitch >= texture->width) {
        command.texture = *texture;
        command.textured = true;
    }
    const auto index = static_cast<std::uint32_t>(commands_.size());
    commands_.push_back(command);
    bool all = true;
    // Room for every triangle first, so the copy is a plain loop.
    const std::size_t first = triangles_.size();
    vertices_.resize(3 * (first + std::size_t(index_count / 3)));
    TLVertex* out = vertices_.data() + 3 * first;
    std::size_t kept = 0;
    for (int i = 0; i + 2 < index_count; i += 3) {
        const int a = indices[i], b = indices[i + 1], c = indices[i + 2];
        if (a >= vertex_count || b >= vertex_count || c >= vertex_count) {
            all = false;
            continue;
        }
        out[3 * kept] = vertices[a];
        out[3 * kept + 1] = vertices[b];
        out[3 * kept + 2] = vertices[c];
        ++kept;
    }
    vertices_.resize(3 * (first + kept));
    triangles_.resize(first + kept, index);
    return all && index_count % 3 == 0;
}

void TriangleRasteriser::discard()
{
    commands_.clear();
    vertices_.clear();
    triangles_.clear();
}

void TriangleRasteriser::set_up(std::size_t first, std::size_t last)
{
    for (std::size_t t = first; t < last; ++t) {
        Setup& s = setups_[t];
        setup_ok_[t] = 0;
        const TLVertex* v = &vertices_[3 * t];
        const Command& command = commands_[triangles_[t]];
        std::int64_t px[3], py[3];
        bool inside = true;
        for (int i = 0; i < 3; ++i) {
            if (!(std::fabs(v[i].sx) < kMaxCoordinate) || !(std::fabs(v[i].sy) < kMaxCoordinate))
                inside = false;
            else {
                px[i] = round_half_away(double(v[i].sx) * kSubPixel);
                py[i] = round_half_away(double(v[i].sy) * kSubPixel);
            }
        }
        if (!inside)
            continue;
        std::int64_t area = (px[1] - px[0]) * (py[2] - py[0]) - (py[1] - py[0]) * (px[2] - px[0]);
        if (area == 0)
            continue;
        // Both windings are drawn: order the corners so the area is positive.
        int order[3] = {0, 1, 2};
        if (area < 0) {
            std::swap(order[1], order[2]);
            area = -area;
        }
        for (int e = 0; e < 3; ++e) {
            const int i = order[e], j = order[(e + 1) % 3];
            const std::int64_t dx = px[j] - px[i], dy = py[j] - py[i];
            const bool top_left = dy < 0 || (dy == 0 && dx > 0);
            s.ea[e] = -dy * kSubPixel;
            s.eb[e] = dx * kSubPixel;
            s.ec[e] = dy * px[i] - dx * py[i] - (top_left ? 0 : 1);
            if (s.ea[e] != 0) {
                const std::int64_t m = s.ea[e] > 0 ? s.ea[e] : -s.ea[e];
                s.step_q[e] = floor_div(s.eb[e], m);
                s.step_r[e] = s.eb[e] - s.step_q[e] * m;
            }
        }
        const std::int64_t minx = std::min({px[0], px[1], px[2]}), maxx = std::max({px[0], px[1], px[2]});
        const std::int64_t miny = std::min({py[0], py[1], py[2]}), maxy = std::max({py[0], py[1], py[2]});
        s.left = static_cast<int>(ceil_div(minx, kSubPixel));
        s.right = static_cast<int>(floor_div(maxx, kSubPixel));
        s.top = static_cast<int>(ceil_div(miny, kSubPixel));
        s.bottom = static_cast<int>(floor_div(maxy, kSubPixel));

        // Plane equations over the snapped positions.
        const double x0 = double(px[0]) / kSubPixel, y0 = double(py[0]) / kSubPixel;
        const double x1 = double(px[1]) / kSubPixel - x0, y1 = double(py[1]) / kSubPixel - y0;
        const double x2 = double(px[2]) / kSubPixel - x0, y2 = double(py[2]) / kSubPixel - y0;
        const double det = x1 * y2 - x2 * y1;
        double value[3][kPlanes];
        const bool flat = !command.states.gouraud;
        for (int i = 0; i < 3; ++i) {
            const float q = std::fabs(v[i].rhw) > 0.0f && std::isfinite(v[i].rhw) ? v[i].rhw : 1.0f;
            const Rgba c = unpack(flat ? v[0].colour : v[i].colour);
            const Rgba sp = unpack(flat ? v[0].specular : v[i].specular);
            value[i][kZ] = std::clamp(double(v[i].sz), 0.0, 1.0);
            value[i][kQ] = q;
            value[i][kUQ] = double(v[i].tu) * q;
            value[i][kVQ] = double(v[i].tv) * q;
            value[i][kR] = c.r;
            value[i][kG] = c.g;
            value[i][kB] = c.b;
            value[i][kA] = c.a;
            value[i][kSR] = sp.r;
            value[i][kSG] = sp.g;
            value[i][kSB] = sp.b;
            value[i][kFog] = unpack(v[i].specular).a;
        }
        s.ox = static_cast<float>(x0);
        s.oy = static_cast<float>(y0);
        for (int p = 0; p < kPlanes; ++p) {
            const double d1 = value[1][p] - value[0][p], d2 = value[2][p] - value[0][p];
            s.a[p] = static_cast<float>((d1 * y2 - d2 * y1) / det);
            s.b[p] = static_cast<float>((d2 * x1 - d1 * x2) / det);
            s.v[p] = static_cast<float>(value[0][p]);
        }
        s.command = triangles_[t];
        setup_ok_[t] = 1;
    }
}

namespace {

// ---- Spans, four pixels at a time ---------------------------------------
//
// A row of a triangle is drawn in groups of four neighbouring pixels held in
// the lanes of SSE2 registers (always present on x86-64): one float channel
// per register, the attributes evaluated from their plane equations at the
// group's four x positions, a lane mask for the pixels still being drawn
// (inside the span, passing the Z test, not keyed out). The arithmetic per
// pixel is the one-pixel arithmetic of the float planes, in the same order,
// so every lane gets the value the pixel would get alone. Lanes past the
// span's end are computed with safe values (no division by zero, no
// conversion out of range) and never written.

using Vec = __m128;
using IVec = __m128i;

// Decodes four 16-bit pixels (the low four 16-bit lanes) into 0..255
// channels, each field v of `bits` bits expanded as (v x 255 + max / 2) /
// max, the division by a multiply and shifts.
struct PixelDecoder {
    IVec shift[4], mask[4], half[4], magic[4], magic_shift[4];
    bool alpha = false;  // without an alpha field alpha is 255

    explicit PixelDecoder(PixelLayout layout = PixelLayout::Rgb565)
    {
        struct Field {
            int shift, bits;
        };
        Field f[4];
        switch (layout) {
        case PixelLayout::Rgb555: f[0] = {10, 5}, f[1] = {5, 5}, f[2] = {0, 5}, f[3] = {0, 0}; break;
        case PixelLayout::Bgr565: f[0] = {0, 5}, f[1] = {5, 6}, f[2] = {11, 5}, f[3] = {0, 0}; break;
        case PixelLayout::Argb4444: f[0] = {8, 4}, f[1] = {4, 4}, f[2] = {0, 4}, f[3] = {12, 4}; break;
        default: f[0] = {11, 5}, f[1] = {5, 6}, f[2] = {0, 5}, f[3] = {0, 0}; break;
        }
        alpha = f[3].bits != 0;
        for (int c = 0; c < 4; ++c) {
            const int bits = f[c].bits ? f[c].bits : 4;
            const int max = (1 << bits) - 1;
            // floor(x / max) == (x m) >> (16 + s) for every x up to max x 255 + max / 2.
            const int m = bits == 5 ? 8457 : bits == 6 ? 16645 : 4370;
            const int s = bits == 5 ? 2 : bits == 6 ? 4 : 0;
            shift[c] = _mm_cvtsi32_si128(f[c].shift);
            mask[c] = _mm_set1_epi16(static_cast<short>(max));
            half[c] = _mm_set1_epi16(static_cast<short>(max / 2));
            magic[c] = _mm_set1_epi16(static_cast<short>(m));
            magic_shift[c] = _mm_cvtsi32_si128(s);
        }
    }

    // Channel c (0..255) of eight pixels.
    [[gnu::always_inline]] IVec channel16(int c, IVec pixels) const
    {
        IVec v = _mm_and_si128(_mm_srl_epi16(pixels, shift[c]), mask[c]);
        v = _mm_add_epi16(_mm_mullo_epi16(v, _mm_set1_epi16(255)), half[c]);
        return _mm_srl_epi16(_mm_mulhi_epu16(v, magic[c]), magic_shift[c]);
    }
    [[gnu::always_inline]] Vec channel(int c, IVec pixels) const
    {
        return _mm_cvtepi32_ps(_mm_unpacklo_epi16(channel16(c, pixels), _mm_setzero_si128()));
    }
    [[gnu::always_inline]] void decode(IVec pixels, Vec& r, Vec& g, Vec& b, Vec& a) const
    {
        r = channel(0, pixels);
        g = channel(1, pixels);
        b = channel(2, pixels);
        a = alpha ? channel(3, pixels) : _mm_set1_ps(255.0f);
    }
};

// Rounds channels held to 0..255 to the target's 16-bit pixels.
struct PixelPacker {
    Vec scale[3];
    IVec shift[3];
    explicit PixelPacker(PixelLayout layout = PixelLayout::Rgb565)
    {
        int levels[3] = {31, 63, 31}, shifts[3] = {11, 5, 0};
        if (layout == PixelLayout::Rgb555) {
            levels[1] = 31;
            shifts[0] = 10;
        } else if (layout == PixelLayout::Bgr565) {
            shifts[0] = 0;
            shifts[2] = 11;
        }
        for (int c = 0; c < 3; ++c) {
            scale[c] = _mm_set1_ps(float(levels[c]) * kInv255);
            shift[c] = _mm_cvtsi32_si128(shifts[c]);
            // levels / 255 x 65536, rounded down: 7967 for 5 bits, 16191 for 6.
            scale16[c] = _mm_set1_epi16(static_cast<short>(levels[c] * 65536 / 255));
        }
    }
    IVec scale16[3];
    // Eight pixels from channels in 8.8 fixed point (0..255 x 256): each
    // rounded as v x levels / 255 + 0.5.
    [[gnu::always_inline]] IVec pack16(IVec r, IVec g, IVec b) const
    {
        const IVec half = _mm_set1_epi16(128);
        const auto q = [&](IVec v, int c) {
            return _mm_sll_epi16(_mm_srli_epi16(_mm_add_epi16(_mm_mulhi_epu16(v, scale16[c]), half), 8), shift[c]);
        };
        return _mm_or_si128(_mm_or_si128(q(r, 0), q(g, 1)), q(b, 2));
    }
    // Four pixels as 32-bit lanes.
    [[gnu::always_inline]] IVec pack(Vec r, Vec g, Vec b) const
    {
        const Vec half = _mm_set1_ps(0.5f);
        const auto q = [&](Vec v, int c) {
            return _mm_sll_epi32(_mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(v, scale[c]), half)), shift[c]);
        };
        return _mm_or_si128(_mm_or_si128(q(r, 0), q(g, 1)), q(b, 2));
    }
};

// Two sets of four 32-bit lanes holding 0..65535 to eight 16-bit lanes.
[[gnu::always_inline]] inline IVec narrow8(IVec lo, IVec hi)
{
    const IVec bias32 = _mm_set1_epi32(0x8000);
    const IVec bias16 = _mm_set1_epi16(static_cast<short>(0x8000));
    return _mm_xor_si128(_mm_packs_epi32(_mm_sub_epi32(lo, bias32), _mm_sub_epi32(hi, bias32)), bias16);
}

// Four 32-bit lanes holding 0..65535 to the low four 16-bit lanes.
[[gnu::always_inline]] inline IVec narrow(IVec v)
{
    return narrow8(v, v);
}

// The first n of `Lanes` (4 or 8) 16-bit pixels.
template <int Lanes>
[[gnu::always_inline]] inline IVec load_pixels(const std::uint16_t* p, int n)
{
    if (n == Lanes)
        return Lanes == 4 ? _mm_loadl_epi64(reinterpret_cast<const IVec*>(p))
                          : _mm_loadu_si128(reinterpret_cast<const IVec*>(p));
    alignas(16) std::uint16_t part[8] = {};
    for (int i = 0; i < n; ++i)
        part[i] = p[i];
    return _mm_load_si128(reinterpret_cast<const IVec*>(part));
}

// Writes the pixels of the lanes in `keep` (16-bit lane masks), the first n
// of `Lanes`.
template <int Lanes>
[[gnu::always_inline]] inline void store_pixels(std::uint16_t* p, int n, IVec keep, IVec value, IVec old)
{
    const IVec merged = _mm_or_si128(_mm_and_si128(keep, value), _mm_andnot_si128(keep, old));
    if (n == Lanes) {
        if constexpr (Lanes == 4)
            _mm_storel_epi64(reinterpret_cast<IVec*>(p), merged);
        else
            _mm_storeu_si128(reinterpret_cast<IVec*>(p), merged);
        return;
    }
    alignas(16) std::uint16_t part[8];
    _mm_store_si128(reinterpret_cast<IVec*>(part), merged);
    for (int i = 0; i < n; ++i)
        p[i] = part[i];
}

[[gnu::always_inline]] inline Vec select(IVec mask, Vec a, Vec b)
{
    const Vec m = _mm_castsi128_ps(mask);
    return _mm_or_ps(_mm_and_ps(m, a), _mm_andnot_ps(m, b));
}

[[gnu::always_inline]] inline Vec clamp(Vec v, float lo, float hi)
{
    return _mm_min_ps(_mm_max_ps(v, _mm_set1_ps(lo)), _mm_set1_ps(hi));
}

// floor() of values inside the int range.
[[gnu::always_inline]] inline IVec floor_lanes(Vec v)
{
    const IVec i = _mm_cvttps_epi32(v);
    return _mm_add_epi32(i, _mm_castps_si128(_mm_cmplt_ps(v, _mm_cvtepi32_ps(i))));
}

// z < stored and so on, on 32-bit lanes holding 0..65535.
[[gnu::always_inline]] inline IVec depth_passes(CompareFunc f, IVec z, IVec stored)
{
    const IVec ones = _mm_set1_epi32(-1);
    switch (f) {
    case CompareFunc::Never: return _mm_setzero_si128();
    case CompareFunc::Less: return _mm_cmplt_epi32(z, stored);
    case CompareFunc::Equal: return _mm_cmpeq_epi32(z, stored);
    case CompareFunc::LessEqual: return _mm_xor_si128(_mm_cmpgt_epi32(z, stored), ones);
    case CompareFunc::Greater: return _mm_cmpgt_epi32(z, stored);
    case CompareFunc::NotEqual: return _mm_xor_si128(_mm_cmpeq_epi32(z, stored), ones);
    case CompareFunc::GreaterEqual: return _mm_xor_si128(_mm_cmplt_epi32(z, stored), ones);
    case CompareFunc::Always: return ones;
    }
    return ones;
}

[[gnu::always_inline]] inline Vec blend_factor(BlendFactor f, Vec alpha)
{
    switch (f) {
    case BlendFactor::Zero: return _mm_setzero_ps();
    case BlendFactor::One: return _mm_set1_ps(1.0f);
    case BlendFactor::SourceAlpha: return _mm_mul_ps(alpha, _mm_set1_ps(kInv255));
    case BlendFactor::InverseSourceAlpha:
        return _mm_sub_ps(_mm_set1_ps(1.0f), _mm_mul_ps(alpha, _mm_set1_ps(kInv255)));
    }
    return _mm_set1_ps(1.0f);
}

} // namespace

// What a command's spans need, made once per command and band.
struct alignas(16) TriangleRasteriser::SpanContext {
    PixelDecoder texel, dest;
    PixelPacker packer;
    Vec fog_r, fog_g, fog_b;
    IVec fog8[3];  // the fog colour in 8.8 fixed point
    IVec key;  // the colour key in every 16-bit lane
    const std::uint16_t* texels = nullptr;
    int pitch = 0, wmask = 0, hmask = 0, width = 0, height = 0;
    int pitch_shift = -1;  // pitch = 1 << pitch_shift, or -1
    bool keying = false, texture_alpha = false, specular = false, z_write = false;
    bool stipple = false, blending = false;
    CompareFunc z_func = CompareFunc::Always;
    TextureBlend texture_blend = TextureBlend::Modulate;
    BlendFactor source_blend = BlendFactor::One, dest_blend = BlendFactor::Zero;
    std::uint16_t* colour = nullptr;
    std::uint16_t* depth = nullptr;
    std::ptrdiff_t colour_pitch = 0, depth_pitch = 0;
    void (*span)(const Setup&, const SpanContext&, int, int, int) = nullptr;
};

namespace {

using Setup = TriangleRasteriser::Setup;
using SpanContext = TriangleRasteriser::SpanContext;

// The bilinear filter of one pixel at texel coordinates (u, v): false when
// the nearest texel is keyed out.
bool filter_bilinear(const SpanContext& c, float u, float v, float out[4])
{
    const std::uint16_t* rows = c.texels;
    const int nu = floor_int(u) & c.wmask, nv = floor_int(v) & c.hmask;
    const std::uint16_t key = static_cast<std::uint16_t>(_mm_cvtsi128_si32(c.key));
    if (c.keying && rows[static_cast<std::ptrdiff_t>(nv) * c.pitch + nu] == key)
        return false;
    const float fu = u - 0.5f, fv = v - 0.5f;
    const int iu = floor_int(fu), iv = floor_int(fv);
    const float tu = fu - float(iu), tv = fv - float(iv);
    const int us[2] = {iu & c.wmask, (iu + 1) & c.wmask};
    const int vs[2] = {iv & c.hmask, (iv + 1) & c.hmask};
    const float wu[2] = {1.0f - tu, tu}, wv[2] = {1.0f - tv, tv};
    // The four texels decoded together.
    std::uint16_t raw[4];
    for (int j = 0; j < 2; ++j)
        for (int i = 0; i < 2; ++i)
            raw[j * 2 + i] = rows[static_cast<std::ptrdiff_t>(vs[j]) * c.pitch + us[i]];
    Vec ch[4];
    c.texel.decode(_mm_setr_epi16(static_cast<short>(raw[0]), static_cast<short>(raw[1]), static_cast<short>(raw[2]),
                                  static_cast<short>(raw[3]), 0, 0, 0, 0),
                   ch[0], ch[1], ch[2], ch[3]);
    alignas(16) float k[4][4];
    for (int i = 0; i < 4; ++i)
        _mm_store_ps(k[i], ch[i]);
    float sum = 0, t[4] = {0, 0, 0, 0};
    for (int j = 0; j < 2; ++j)
        for (int i = 0; i < 2; ++i) {
            const int n = j * 2 + i;
            if (c.keying && raw[n] == key)
                continue;  // keyed texels take no part in the filter
            const float wt = wu[i] * wv[j];
            for (int ch2 = 0; ch2 < 4; ++ch2)
                t[ch2] += k[ch2][n] * wt;
            sum += wt;
        }
    for (int ch2 = 0; ch2 < 4; ++ch2)
        out[ch2] = t[ch2] / sum;
    return true;
}

// The offsets of the nearest texels of four pixels at texel coordinates
// (uw x width, vw x height), wrapped, for the lanes in `keep`.
[[gnu::always_inline]] inline void texel_offsets(const TriangleRasteriser::SpanContext& c, Vec uw, Vec vw, IVec keep,
                                                 int at[4])
{
    Vec u = _mm_mul_ps(uw, _mm_set1_ps(float(c.width))), v = _mm_mul_ps(vw, _mm_set1_ps(float(c.height)));
    // Coordinates whose integer part is exact and in range; the others
    // (rare: far out, or not a number) are wrapped one by one.
    const Vec ordered = _mm_cmpord_ps(u, v);
    u = _mm_and_ps(u, ordered);
    v = _mm_and_ps(v, ordered);
    const Vec abs_mask = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
    const Vec largest = _mm_max_ps(_mm_and_ps(u, abs_mask), _mm_and_ps(v, abs_mask));
    const IVec exact = _mm_and_si128(
        _mm_castps_si128(_mm_and_ps(ordered, _mm_cmplt_ps(largest, _mm_set1_ps(16777216.0f)))), keep);
    u = _mm_and_ps(u, _mm_castsi128_ps(exact));
    v = _mm_and_ps(v, _mm_castsi128_ps(exact));
    IVec iu = _mm_and_si128(floor_lanes(u), _mm_set1_epi32(c.wmask));
    IVec iv = _mm_and_si128(floor_lanes(v), _mm_set1_epi32(c.hmask));
    const int wide = _mm_movemask_ps(_mm_castsi128_ps(_mm_andnot_si128(exact, keep)));
    if (wide != 0) [[unlikely]] {
        alignas(16) float us[4], vs[4];
        alignas(16) int ius[4], ivs[4];
        _mm_store_ps(us, uw);
        _mm_store_ps(vs, vw);
        _mm_store_si128(reinterpret_cast<IVec*>(ius), iu);
        _mm_store_si128(reinterpret_cast<IVec*>(ivs), iv);
        for (int i = 0; i < 4; ++i)
            if (wide >> i & 1) {
                ius[i] = floor_int(texel_coordinate(us[i], c.width)) & c.wmask;
                ivs[i] = floor_int(texel_coordinate(vs[i], c.height)) & c.hmask;
            }
        iu = _mm_load_si128(reinterpret_cast<const IVec*>(ius));
        iv = _mm_load_si128(reinterpret_cast<const IVec*>(ivs));
    }
    // Texel offsets: v pitch + u, the multiply a shift for the
    // usual power-of-two pitch.
    if (c.pitch_shift >= 0) {
        _mm_store_si128(reinterpret_cast<IVec*>(at),
                        _mm_add_epi32(_mm_sll_epi32(iv, _mm_cvtsi32_si128(c.pitch_shift)), iu));
    } else {
        alignas(16) int ius[4], ivs[4];
        _mm_store_si128(reinterpret_cast<IVec*>(ius), iu);
        _mm_store_si128(reinterpret_cast<IVec*>(ivs), iv);
        for (int i = 0; i < 4; ++i)
            at[i] = ivs[i] * c.pitch + ius[i];
    }
}

// The stipple thresholds: (4 x 4 ordered dither rank) x 16 + 8 at (x & 3,
// y & 3), each row twice so that four from any x & 3 are one load.
alignas(16) constexpr float kStipple[4][8] = {
    {8, 136, 40, 168, 8, 136, 40, 168},
    {200, 72, 232, 104, 200, 72, 232, 104},
    {56, 184, 24, 152, 56, 184, 24, 152},
    {248, 120, 216, 88, 248, 120, 216, 88},
};

// One row of a triangle from x0 to x1 inclusive. Texture: 0 none, 1
// nearest, 2 bilinear. Blend: alpha is computed, for blending or the
// stipple. Translucent: the usual translucent texture (its alpha times the
// vertex's, blended by the source alpha, no highlight, no stipple), fixed
// here so that the loop holds no choice of those states; the same
// arithmetic as the general span's for them.
template <int Texture, bool ZTest, bool Fog, bool Blend, bool Translucent = false>
void draw_span(const Setup& s, const SpanContext& c, int y, int x0, int x1)
{
    const TextureBlend texture_blend = Translucent ? TextureBlend::ModulateAlpha : c.texture_blend;
    const BlendFactor source_blend = Translucent ? BlendFactor::SourceAlpha : c.source_blend;
    const BlendFactor dest_blend = Translucent ? BlendFactor::InverseSourceAlpha : c.dest_blend;
    const float fy = float(y) - s.oy;
    const auto row = [&](int p) { return _mm_set1_ps(s.v[p] + s.b[p] * fy); };
    const auto dx = [&](int p) { return _mm_set1_ps(s.a[p]); };
    std::uint16_t* colour = c.colour + static_cast<std::ptrdiff_t>(y) * c.colour_pitch;
    std::uint16_t* depth = ZTest ? c.depth + static_cast<std::ptrdiff_t>(y) * c.depth_pitch : nullptr;
    const Vec z0 = row(kZ), zx = dx(kZ), q0 = row(kQ), qx = dx(kQ), uq0 = row(kUQ), uqx = dx(kUQ), vq0 = row(kVQ),
              vqx = dx(kVQ), r0 = row(kR), rx = dx(kR), g0 = row(kG), gx = dx(kG), b0 = row(kB), bx = dx(kB),
              a0 = Blend ? row(kA) : Vec{}, ax = dx(kA), f0 = Fog ? row(kFog) : Vec{}, fx_ = dx(kFog);
    const bool specular = !Translucent && c.specular;
    const Vec sr0 = specular ? row(kSR) : Vec{}, srx = dx(kSR), sg0 = specular ? row(kSG) : Vec{}, sgx = dx(kSG),
              sb0 = specular ? row(kSB) : Vec{}, sbx = dx(kSB);
    const Vec inv255 = _mm_set1_ps(kInv255), one = _mm_set1_ps(1.0f), max255 = _mm_set1_ps(255.0f);
    const IVec lane = _mm_setr_epi32(0, 1, 2, 3);
    Vec fx = _mm_add_ps(_mm_set1_ps(float(x0) - s.ox), _mm_setr_ps(0, 1, 2, 3));
    for (int x = x0; x <= x1; x += 4, fx = _mm_add_ps(fx, _mm_set1_ps(4.0f))) {
        const int n = std::min(4, x1 - x + 1);
        IVec keep = n == 4 ? _mm_set1_epi32(-1) : _mm_cmplt_epi32(lane, _mm_set1_epi32(n));
        IVec z{}, stored{};
        if constexpr (ZTest) {
            const Vec zc = clamp(_mm_add_ps(z0, _mm_mul_ps(zx, fx)), 0.0f, 1.0f);
            z = _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(zc, _mm_set1_ps(65535.0f)), _mm_set1_ps(0.5f)));
            stored = load_pixels<4>(depth + x, n);
            keep = _mm_and_si128(keep, depth_passes(c.z_func, z, _mm_unpacklo_epi16(stored, _mm_setzero_si128())));
            if (_mm_movemask_epi8(keep) == 0)
                continue;
        }
        Vec r = _mm_add_ps(r0, _mm_mul_ps(rx, fx)), g = _mm_add_ps(g0, _mm_mul_ps(gx, fx)),
            b = _mm_add_ps(b0, _mm_mul_ps(bx, fx));
        Vec a = Blend ? _mm_add_ps(a0, _mm_mul_ps(ax, fx)) : _mm_setzero_ps();
        if constexpr (Texture != 0) {
            // Perspective: one division per pixel, four at once. Lanes not
            // drawn, or at q = 0, divide by 1.
            Vec q = _mm_add_ps(q0, _mm_mul_ps(qx, fx));
            q = select(_mm_andnot_si128(_mm_castps_si128(_mm_cmpeq_ps(q, _mm_setzero_ps())), keep), q, one);
            const Vec w = _mm_div_ps(one, q);
            const Vec uw = _mm_mul_ps(_mm_add_ps(uq0, _mm_mul_ps(uqx, fx)), w);
            const Vec vw = _mm_mul_ps(_mm_add_ps(vq0, _mm_mul_ps(vqx, fx)), w);
            Vec tr, tg, tb, ta;
            if constexpr (Texture == 1) {
                alignas(16) int at[4];
                texel_offsets(c, uw, vw, keep, at);
                const std::uint16_t* t = c.texels;
                const IVec texels = _mm_setr_epi16(static_cast<short>(t[at[0]]), static_cast<short>(t[at[1]]),
                                                   static_cast<short>(t[at[2]]), static_cast<short>(t[at[3]]), 0, 0, 0,
                                                   0);
                if (c.keying) {
                    const IVec keyed = _mm_cmpeq_epi16(texels, c.key);
                    keep = _mm_andnot_si128(_mm_unpacklo_epi16(keyed, keyed), keep);
                    if (_mm_movemask_epi8(keep) == 0)
                        continue;
                }
                c.texel.decode(texels, tr, tg, tb, ta);
            } else {
                alignas(16) float us[4], vs[4], k[4][4] = {};
                _mm_store_ps(us, uw);
                _mm_store_ps(vs, vw);
                alignas(16) int kept[4];
                _mm_store_si128(reinterpret_cast<IVec*>(kept), keep);
                for (int i = 0; i < 4; ++i) {
                    if (!kept[i])
                        continue;
                    float t[4];
                    if (filter_bilinear(c, texel_coordinate(us[i], c.width), texel_coordinate(vs[i], c.height), t)) {
                        for (int ch = 0; ch < 4; ++ch)
                            k[ch][i] = t[ch];
                    } else {
                        kept[i] = 0;
                    }
                }
                keep = _mm_load_si128(reinterpret_cast<const IVec*>(kept));
                if (_mm_movemask_epi8(keep) == 0)
                    continue;
                tr = _mm_load_ps(k[0]);
                tg = _mm_load_ps(k[1]);
                tb = _mm_load_ps(k[2]);
                ta = _mm_load_ps(k[3]);
            }
            switch (texture_blend) {
            case TextureBlend::Decal:
                r = tr;
                g = tg;
                b = tb;
                a = ta;
                break;
            case TextureBlend::Modulate:
                r = _mm_mul_ps(_mm_mul_ps(tr, r), inv255);
                g = _mm_mul_ps(_mm_mul_ps(tg, g), inv255);
                b = _mm_mul_ps(_mm_mul_ps(tb, b), inv255);
                if (c.texture_alpha)
                    a = ta;
                break;
            case TextureBlend::ModulateAlpha:
                r = _mm_mul_ps(_mm_mul_ps(tr, r), inv255);
                g = _mm_mul_ps(_mm_mul_ps(tg, g), inv255);
                b = _mm_mul_ps(_mm_mul_ps(tb, b), inv255);
                a = _mm_mul_ps(_mm_mul_ps(ta, a), inv255);
                break;
            }
        }
        if (specular) {
            r = _mm_min_ps(_mm_add_ps(r, _mm_add_ps(sr0, _mm_mul_ps(srx, fx))), max255);
            g = _mm_min_ps(_mm_add_ps(g, _mm_add_ps(sg0, _mm_mul_ps(sgx, fx))), max255);
            b = _mm_min_ps(_mm_add_ps(b, _mm_add_ps(sb0, _mm_mul_ps(sbx, fx))), max255);
        }
        if constexpr (Fog) {
            const Vec f = _mm_mul_ps(clamp(_mm_add_ps(f0, _mm_mul_ps(fx_, fx)), 0.0f, 255.0f), inv255);
            const Vec rest = _mm_sub_ps(one, f);
            r = _mm_add_ps(_mm_mul_ps(r, f), _mm_mul_ps(c.fog_r, rest));
            g = _mm_add_ps(_mm_mul_ps(g, f), _mm_mul_ps(c.fog_g, rest));
            b = _mm_add_ps(_mm_mul_ps(b, f), _mm_mul_ps(c.fog_b, rest));
        }
        const IVec old = load_pixels<4>(colour + x, n);
        if constexpr (Blend) {
            a = clamp(a, 0.0f, 255.0f);
            if (!Translucent && c.stipple)
                keep = _mm_and_si128(keep, _mm_castps_si128(_mm_cmpgt_ps(a, _mm_loadu_ps(kStipple[y & 3] + (x & 3)))));
            if (Translucent || c.blending) {
                Vec dr, dg, db, da;
                c.dest.decode(old, dr, dg, db, da);
                const Vec fs = blend_factor(source_blend, a), fd = blend_factor(dest_blend, a);
                r = _mm_add_ps(_mm_mul_ps(r, fs), _mm_mul_ps(dr, fd));
                g = _mm_add_ps(_mm_mul_ps(g, fs), _mm_mul_ps(dg, fd));
                b = _mm_add_ps(_mm_mul_ps(b, fs), _mm_mul_ps(db, fd));
            }
        }
        const IVec keep16 = _mm_packs_epi32(keep, keep);
        const IVec pixels = narrow(c.packer.pack(clamp(r, 0.0f, 255.0f), clamp(g, 0.0f, 255.0f), clamp(b, 0.0f, 255.0f)));
        store_pixels<4>(colour + x, n, keep16, pixels, old);
        if constexpr (ZTest) {
            if (c.z_write)
                store_pixels<4>(depth + x, n, keep16, narrow(z), stored);
        }
    }
}


// The usual opaque textured span (nearest texels, modulated, no alpha
// blending, no highlight) eight pixels at a time: the coordinates, Z and
// the planes in float as above, four lanes at a time; the colour in 16-bit
// fixed point with 8 fraction bits, eight lanes at a time. Every product
// is rounded down at 1/256 of a colour step or finer, so the result is
// within a step of the float arithmetic's.
template <bool ZTest, bool Fog>
[[gnu::flatten]] void draw_span_opaque(const Setup& s, const SpanContext& c, int y, int x0, int x1)
{
    const float fy = float(y) - s.oy;
    const auto row = [&](int p, float scale) { return _mm_set1_ps((s.v[p] + s.b[p] * fy) * scale); };
    const auto dx = [&](int p, float scale) { return _mm_set1_ps(s.a[p] * scale); };
    std::uint16_t* colour = c.colour + static_cast<std::ptrdiff_t>(y) * c.colour_pitch;
    std::uint16_t* depth = ZTest ? c.depth + static_cast<std::ptrdiff_t>(y) * c.depth_pitch : nullptr;
    // Colours scaled to 128 per unit (they fit signed 16-bit lanes).
    const Vec z0 = row(kZ, 1), zx = dx(kZ, 1), q0 = row(kQ, 1), qx = dx(kQ, 1), uq0 = row(kUQ, 1),
              uqx = dx(kUQ, 1), vq0 = row(kVQ, 1), vqx = dx(kVQ, 1), r0 = row(kR, 128), rx = dx(kR, 128),
              g0 = row(kG, 128), gx = dx(kG, 128), b0 = row(kB, 128), bx = dx(kB, 128),
              f0 = Fog ? row(kFog, 1) : Vec{}, fx_ = dx(kFog, 1);
    const Vec one = _mm_set1_ps(1.0f);
    const IVec lane = _mm_setr_epi32(0, 1, 2, 3), zero = _mm_setzero_si128();
    Vec fx = _mm_add_ps(_mm_set1_ps(float(x0) - s.ox), _mm_setr_ps(0, 1, 2, 3));
    const Vec four = _mm_set1_ps(4.0f);
    for (int x = x0; x <= x1; x += 8, fx = _mm_add_ps(fx, _mm_set1_ps(8.0f))) {
        const int n = std::min(8, x1 - x + 1);
        const Vec fx_hi = _mm_add_ps(fx, four);
        IVec keep_lo = n >= 4 ? _mm_set1_epi32(-1) : _mm_cmplt_epi32(lane, _mm_set1_epi32(n));
        IVec keep_hi = n == 8 ? _mm_set1_epi32(-1) : _mm_cmplt_epi32(lane, _mm_set1_epi32(n - 4));
        IVec z_lo{}, z_hi{}, stored{};
        if constexpr (ZTest) {
            const auto depth_at = [&](Vec f) {
                const Vec zc = clamp(_mm_add_ps(z0, _mm_mul_ps(zx, f)), 0.0f, 1.0f);
                return _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(zc, _mm_set1_ps(65535.0f)), _mm_set1_ps(0.5f)));
            };
            z_lo = depth_at(fx);
            z_hi = depth_at(fx_hi);
            stored = load_pixels<8>(depth + x, n);
            keep_lo = _mm_and_si128(keep_lo, depth_passes(c.z_func, z_lo, _mm_unpacklo_epi16(stored, zero)));
            keep_hi = _mm_and_si128(keep_hi, depth_passes(c.z_func, z_hi, _mm_unpackhi_epi16(stored, zero)));
            if (_mm_movemask_epi8(_mm_or_si128(keep_lo, keep_hi)) == 0)
                continue;
        }
        alignas(16) int at[8];
        const auto coordinates = [&](Vec f, IVec keep, int* offsets) [[gnu::always_inline]] {
            Vec q = _mm_add_ps(q0, _mm_mul_ps(qx, f));
            q = select(_mm_andnot_si128(_mm_castps_si128(_mm_cmpeq_ps(q, _mm_setzero_ps())), keep), q, one);
            const Vec w = _mm_div_ps(one, q);
            texel_offsets(c, _mm_mul_ps(_mm_add_ps(uq0, _mm_mul_ps(uqx, f)), w),
                          _mm_mul_ps(_mm_add_ps(vq0, _mm_mul_ps(vqx, f)), w), keep, offsets);
        };
        coordinates(fx, keep_lo, at);
        coordinates(fx_hi, keep_hi, at + 4);
        const std::uint16_t* t = c.texels;
        const IVec texels = _mm_setr_epi16(
            static_cast<short>(t[at[0]]), static_cast<short>(t[at[1]]), static_cast<short>(t[at[2]]),
            static_cast<short>(t[at[3]]), static_cast<short>(t[at[4]]), static_cast<short>(t[at[5]]),
            static_cast<short>(t[at[6]]), static_cast<short>(t[at[7]]));
        IVec keep = _mm_packs_epi32(keep_lo, keep_hi);
        if (c.keying) {
            keep = _mm_andnot_si128(_mm_cmpeq_epi16(texels, c.key), keep);
            if (_mm_movemask_epi8(keep) == 0)
                continue;
        }
        // Colour x 128 held to 0..255 x 128 (also in lanes past the span's
        // end, which can lie far outside the triangle), as 8.8 fixed point.
        const auto colour_at = [&](Vec c0, Vec cx) {
            const IVec lo = _mm_cvttps_epi32(clamp(_mm_add_ps(c0, _mm_mul_ps(cx, fx)), 0.0f, 32640.0f));
            const IVec hi = _mm_cvttps_epi32(clamp(_mm_add_ps(c0, _mm_mul_ps(cx, fx_hi)), 0.0f, 32640.0f));
            return _mm_slli_epi16(_mm_packs_epi32(lo, hi), 1);
        };
        // Texel channel t (0..255) times colour c8 / 255, in 8.8: t x 257 =
        // t x 65535 / 255, and the high half of the product divides by 65536.
        const auto modulate = [&](int ch, IVec c8) {
            return _mm_mulhi_epu16(_mm_mullo_epi16(c.texel.channel16(ch, texels), _mm_set1_epi16(257)), c8);
        };
        IVec r = modulate(0, colour_at(r0, rx)), g = modulate(1, colour_at(g0, gx)), b = modulate(2, colour_at(b0, bx));
        if constexpr (Fog) {
            // Factor x 65535 (the fog factor 0..255 times 257).
            const auto factor = [&](Vec f) {
                const Vec k = clamp(_mm_add_ps(f0, _mm_mul_ps(fx_, f)), 0.0f, 255.0f);
                return _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(k, _mm_set1_ps(257.0f)), _mm_set1_ps(0.5f)));
            };
            const IVec k = narrow8(factor(fx), factor(fx_hi));
            const IVec rest = _mm_xor_si128(k, _mm_set1_epi16(-1));
            r = _mm_add_epi16(_mm_mulhi_epu16(r, k), _mm_mulhi_epu16(c.fog8[0], rest));
            g = _mm_add_epi16(_mm_mulhi_epu16(g, k), _mm_mulhi_epu16(c.fog8[1], rest));
            b = _mm_add_epi16(_mm_mulhi_epu16(b, k), _mm_mulhi_epu16(c.fog8[2], rest));
        }
        const IVec pixels = c.packer.pack16(r, g, b);
        const IVec old = load_pixels<8>(colour + x, n);
        store_pixels<8>(colour + x, n, keep, pixels, old);
        if constexpr (ZTest) {
            if (c.z_write)
                store_pixels<8>(depth + x, n, keep, narrow8(z_lo, z_hi), stored);
        }
    }
}

using SpanFunction = void (*)(const Setup&, const SpanContext&, int, int, int);

template <int Texture>
SpanFunction choose_span(bool z, bool fog, bool blend)
{
    static constexpr SpanFunction table[8] = {
        draw_span<Texture, false, false, false>, draw_span<Texture, false, false, true>,
        draw_span<Texture, false, true, false>,  draw_span<Texture, false, true, true>,
        draw_span<Texture, true, false, false>,  draw_span<Texture, true, false, true>,
        draw_span<Texture, true, true, false>,   draw_span<Texture, true, true, true>,
    };
    return table[(z ? 4 : 0) | (fog ? 2 : 0) | (blend ? 1 : 0)];
}

void make_context(SpanContext& c, const TriangleRasteriser::Command& command, const RasterTarget& target)
{
    const RenderStates& st = command.states;
    const bool z = target.depth != nullptr && st.z_enable;
    c.texel = PixelDecoder(command.texture.layout);
    c.dest = PixelDecoder(target.layout);
    c.packer = PixelPacker(target.layout);
    c.fog_r = _mm_set1_ps(float((st.fog_colour >> 16) & 255));
    c.fog_g = _mm_set1_ps(float((st.fog_colour >> 8) & 255));
    c.fog_b = _mm_set1_ps(float(st.fog_colour & 255));
    for (int ch = 0; ch < 3; ++ch)
        c.fog8[ch] = _mm_set1_epi16(static_cast<short>(((st.fog_colour >> (16 - 8 * ch)) & 255) << 8));
    c.key = _mm_set1_epi16(static_cast<short>(command.texture.key));
    c.texels = command.texture.texels;
    c.pitch = command.texture.pitch;
    c.pitch_shift = -1;
    for (int shift = 0; shift < 16; ++shift)
        if (c.pitch == 1 << shift)
            c.pitch_shift = shift;
    c.width = command.texture.width;
    c.height = command.texture.height;
    c.wmask = c.width - 1;
    c.hmask = c.height - 1;
    c.keying = st.colour_key && command.texture.keyed;
    c.texture_alpha = command.texture.layout == PixelLayout::Argb4444;
    c.specular = st.specular;
    c.z_write = st.z_write;
    c.z_func = st.z_func;
    c.texture_blend = st.texture_blend;
    c.source_blend = st.source_blend;
    c.dest_blend = st.dest_blend;
    c.colour = target.colour;
    c.colour_pitch = target.colour_pitch;
    c.depth = target.depth;
    c.depth_pitch = target.depth_pitch;
    c.stipple = st.stippled_alpha;
    c.blending = st.alpha_blend;
    const bool alpha = st.alpha_blend || st.stippled_alpha;
    if (!command.textured)
        c.span = choose_span<0>(z, st.fog, alpha);
    else if (st.filter == TextureFilter::Nearest && !alpha && !st.specular &&
             st.texture_blend != TextureBlend::Decal)
        c.span = z ? (st.fog ? draw_span_opaque<true, true> : draw_span_opaque<true, false>)
                   : (st.fog ? draw_span_opaque<false, true> : draw_span_opaque<false, false>);
    else if (st.filter == TextureFilter::Nearest && st.alpha_blend && !st.stippled_alpha && !st.specular &&
             st.texture_blend == TextureBlend::ModulateAlpha && st.source_blend == BlendFactor::SourceAlpha &&
             st.dest_blend == BlendFactor::InverseSourceAlpha)
        c.span = z ? (st.fog ? draw_span<1, true, true, true, true> : draw_span<1, true, false, true, true>)
                   : (st.fog ? draw_span<1, false, true, true, true> : draw_span<1, false, false, true, true>);
    else if (st.filter == TextureFilter::Nearest)
        c.span = choose_span<1>(z, st.fog, alpha);
    else
        c.span = choose_span<2>(z, st.fog, alpha);
}

} // namespace

void TriangleRasteriser::draw_band(const RasterTarget& target, int band)
{
    const PixelRect& clip = target.scissor;
    const int top = clip.top + band * kBandRows;
    const int bottom = std::min(top + kBandRows, clip.bottom);
    std::uint32_t last_command = UINT32_MAX;
    SpanContext context;
    for (std::uint32_t i = band_start_[band]; i < band_start_[band + 1]; ++i) {
        const Setup& s = setups_[band_items_[i]];
        const int y0 = std::max(s.top, top), y1 = std::min(s.bottom, bottom - 1);
        const int left = std::max(s.left, clip.left), right = std::min(s.right, clip.right - 1);
        if (s.command != last_command) {
            last_command = s.command;
            make_context(context, commands_[s.command], target);
        }
        // The span's ends row by row, exactly: for an edge with ea > 0 the
        // first x with ea x + k >= 0 is ceil(-k / ea), for ea < 0 the last
        // is floor(k / -ea); both are stepped from row to row as a quotient
        // and a remainder, so the division is made once per triangle and
        // band.
        std::int64_t end[3], rem[3];
        for (int e = 0; e < 3; ++e) {
            const std::int64_t k = s.eb[e] * y0 + s.ec[e];
            if (s.ea[e] > 0) {
                end[e] = ceil_div(-k, s.ea[e]);      // -k = ea end - rem
                rem[e] = s.ea[e] * end[e] + k;
            } else if (s.ea[e] < 0) {
                end[e] = floor_div(k, -s.ea[e]);     // k = -ea end + rem
                rem[e] = k + s.ea[e] * end[e];
            }
        }
        for (int y = y0; y <= y1; ++y) {
            std::int64_t lo = left, hi = right;
            for (int e = 0; e < 3; ++e) {
                const std::int64_t ea = s.ea[e];
                if (ea > 0) {
                    lo = std::max(lo, end[e]);
                    // -k falls by eb = ea step_q + step_r.
                    end[e] -= s.step_q[e];
                    rem[e] += s.step_r[e];
                    if (rem[e] >= ea) {
                        rem[e] -= ea;
                        end[e] -= 1;
                    }
                } else if (ea < 0) {
                    hi = std::min(hi, end[e]);
                    end[e] += s.step_q[e];
                    rem[e] += s.step_r[e];
                    if (rem[e] >= -ea) {
                        rem[e] += ea;
                        end[e] += 1;
                    }
                } else if (s.eb[e] * y + s.ec[e] < 0) {
                    hi = lo - 1;
                }
            }
            if (lo <= hi)
                context.span(s, context, y, static_cast<int>(lo), static_cast<int>(hi));
        }
    }
}

void TriangleRasteriser::flush(const RasterTarget& target)
{
    const std::size_t count = triangles_.size();
    if (count == 0 || !target.colour || target.scissor.width() <= 0 || target.scissor.height() <= 0) {
        discard();
        return;
    }
    setups_.resize(count);
    setup_ok_.assign(count, 0);
    const int chunks = static_cast<int>(std::min<std::size_t>(count / 256 + 1, std::size_t(threads()) * 4));
    run_parallel(chunks, [&](int i) {
        set_up(count * std::size_t(i) / std::size_t(chunks), count * std::size_t(i + 1) / std::size_t(chunks));
    });
    // Each band's triangles, in the order they were queued.
    const PixelRect& clip = target.scissor;
    const int bands = (clip.height() + kBandRows - 1) / kBandRows;
    band_start_.assign(std::size_t(bands) + 1, 0);
    const auto band_range = [&](const Setup& s, int& first, int& last) {
        const int y0 = std::max(s.top, clip.top), y1 = std::min(s.bottom, clip.bottom - 1);
        const int left = std::max(s.left, clip.left), right = std::min(s.right, clip.right - 1);
        const Command& c = commands_[s.command];
        if (y0 > y1 || left > right || (c.states.z_enable && target.depth && c.states.z_func == CompareFunc::Never))
            return false;
        first = (y0 - clip.top) / kBandRows;
        last = (y1 - clip.top) / kBandRows;
        return true;
    };
    band_of_.resize(count);
    for (std::size_t t = 0; t < count; ++t) {
        int first = 0, last = -1;
        if (setup_ok_[t] && band_range(setups_[t], first, last))
            for (int b = first; b <= last; ++b)
                ++band_start_[std::size_t(b) + 1];
        band_of_[t] = {first, last};
    }
    for (int b = 0; b < bands; ++b)
        band_start_[std::size_t(b) + 1] += band_start_[std::size_t(b)];
    band_items_.resize(band_start_[std::size_t(bands)]);
    band_fill_.assign(band_start_.begin(), band_start_.end() - 1);
    for (std::size_t t = 0; t < count; ++t)
        for (int b = band_of_[t].first; b <= band_of_[t].last; ++b)
            band_items_[band_fill_[std::size_t(b)]++] = static_cast<std::uint32_t>(t);
    run_parallel(bands, [&](int band) { draw_band(target, band); });
    discard();
}

} // namespace platform
