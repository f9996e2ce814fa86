#include "platform/device3d_raster.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace platform {

namespace {

constexpr int kSubPixel = 16;       // vertex positions snap to 1/16 pixel
constexpr float kMaxCoordinate = 32768.0f;  // triangles reaching past this are left out
constexpr int kBandRows = 16;
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

// Texels decoded to 0xAARRGGBB, one table per texel layout.
struct TexelTables {
    std::vector<std::uint32_t> rgb565, rgb555, bgr565, argb4444;
    TexelTables() : rgb565(65536), rgb555(65536), bgr565(65536), argb4444(65536)
    {
        const auto e5 = [](unsigned v) { return (v * 255 + 15) / 31; };
        const auto e6 = [](unsigned v) { return (v * 255 + 31) / 63; };
        for (unsigned t = 0; t < 65536; ++t) {
            rgb565[t] = 0xFF000000u | e5(t >> 11) << 16 | e6((t >> 5) & 63) << 8 | e5(t & 31);
            rgb555[t] = 0xFF000000u | e5((t >> 10) & 31) << 16 | e5((t >> 5) & 31) << 8 | e5(t & 31);
            bgr565[t] = 0xFF000000u | e5(t & 31) << 16 | e6((t >> 5) & 63) << 8 | e5(t >> 11);
            argb4444[t] = (t >> 12) * 17u << 24 | ((t >> 8) & 15) * 17u << 16 | ((t >> 4) & 15) * 17u << 8 |
                          (t & 15) * 17u;
        }
    }
    const std::uint32_t* table(PixelLayout layout) const
    {
        switch (layout) {
        case PixelLayout::Rgb555: return rgb555.data();
        case PixelLayout::Bgr565: return bgr565.data();
        case PixelLayout::Argb4444: return argb4444.data();
        default: return rgb565.data();
        }
    }
};

const TexelTables& texel_tables()
{
    static const TexelTables tables;
    return tables;
}

struct Rgba {
    float r, g, b, a;
};

Rgba unpack(std::uint32_t c)
{
    return {float((c >> 16) & 255), float((c >> 8) & 255), float(c & 255), float(c >> 24)};
}

// Channels already held to 0..255.
[[gnu::always_inline]] inline std::uint16_t pack_pixel(PixelLayout layout, float r, float g, float b)
{
    const auto q = [](float v, int levels) {
        return static_cast<unsigned>(static_cast<int>(v * (float(levels) * kInv255) + 0.5f));
    };
    switch (layout) {
    case PixelLayout::Rgb555: return static_cast<std::uint16_t>(q(r, 31) << 10 | q(g, 31) << 5 | q(b, 31));
    case PixelLayout::Bgr565: return static_cast<std::uint16_t>(q(b, 31) << 11 | q(g, 63) << 5 | q(r, 31));
    default: return static_cast<std::uint16_t>(q(r, 31) << 11 | q(g, 63) << 5 | q(b, 31));
    }
}

float blend_factor(BlendFactor f, float alpha)
{
    switch (f) {
    case BlendFactor::Zero: return 0.0f;
    case BlendFactor::One: return 1.0f;
    case BlendFactor::SourceAlpha: return alpha * kInv255;
    case BlendFactor::InverseSourceAlpha: return 1.0f - alpha * kInv255;
    }
    return 1.0f;
}

[[gnu::always_inline]] inline bool depth_passes(CompareFunc f, unsigned z, unsigned stored)
{
    switch (f) {
    case CompareFunc::Never: return false;
    case CompareFunc::Less: return z < stored;
    case CompareFunc::Equal: return z == stored;
    case CompareFunc::LessEqual: return z <= stored;
    case CompareFunc::Greater: return z > stored;
    case CompareFunc::NotEqual: return z != stored;
    case CompareFunc::GreaterEqual: return z >= stored;
    case CompareFunc::Always: return true;
    }
    return true;
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
    std::int64_t ea[3], eb[3], ec[3];  // edge e covers (x, y) when ea x + eb y + ec >= 0
    float ox, oy;                  // where the planes' values are given
    float a[kPlanes], b[kPlanes], v[kPlanes];
    std::uint32_t command;
};

TriangleRasteriser::TriangleRasteriser(int threads)
{
    set_threads(threads);
}

TriangleRasteriser::~TriangleRasteriser()
{
    set_threads(1);
}

void TriangleRasteriser::set_threads(int threads)
{
    if (threads <= 0)
        threads = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    threads = std::min(threads, 64);
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (auto& t : pool_)
        t.join();
    pool_.clear();
    stopping_ = false;
    threads_ = threads;
    for (int i = 1; i < threads_; ++i)
        pool_.emplace_back([this] { worker(); });
}

void TriangleRasteriser::worker()
{
    std::uint64_t seen = 0;
    for (;;) {
        const std::function<void(int)>* job = nullptr;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return stopping_ || generation_ != seen; });
            if (stopping_)
                return;
            seen = generation_;
            job = job_;
            if (!job)
                continue;  // woke after its job was done
            ++running_;
        }
        for (;;) {
            int task;
            {
                // Only tasks of the job this worker woke for: a later job
                // may have started since.
                std::lock_guard lock(mutex_);
                task = generation_ == seen && next_task_ < tasks_ ? next_task_++ : -1;
            }
            if (task < 0)
                break;
            (*job)(task);
        }
        {
            std::lock_guard lock(mutex_);
            --running_;
        }
        done_.notify_all();
    }
}

void TriangleRasteriser::run_parallel(int tasks, const std::function<void(int)>& task)
{
    if (pool_.empty() || tasks <= 1) {
        for (int i = 0; i < tasks; ++i)
            task(i);
        return;
    }
    {
        std::lock_guard lock(mutex_);
        job_ = &task;
        tasks_ = tasks;
        next_task_ = 0;
        ++generation_;
    }
    wake_.notify_all();
    for (;;) {
        int t;
        {
            std::lock_guard lock(mutex_);
            t = next_task_ < tasks_ ? next_task_++ : -1;
        }
        if (t < 0)
            break;
        task(t);
    }
    std::unique_lock lock(mutex_);
    // Every task has been taken; wait until none is still running. A
    // worker that has not woken yet finds no task left and does nothing.
    done_.wait(lock, [&] { return running_ == 0; });
    job_ = nullptr;
    tasks_ = 0;
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
    for (int i = 0; i + 2 < index_count; i += 3) {
        const int a = indices[i], b = indices[i + 1], c = indices[i + 2];
        if (a >= vertex_count || b >= vertex_count || c >= vertex_count) {
            all = false;
            continue;
        }
        vertices_.push_back(vertices[a]);
        vertices_.push_back(vertices[b]);
        vertices_.push_back(vertices[c]);
        triangles_.push_back(index);
    }
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
                px[i] = std::llround(double(v[i].sx) * kSubPixel);
                py[i] = std::llround(double(v[i].sy) * kSubPixel);
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

// One row of a triangle from x0 to x1 inclusive.
template <bool Textured, bool ZTest, bool Fog, bool Blend>
void draw_span(const TriangleRasteriser::Setup& s, const TriangleRasteriser::Command& c, const RasterTarget& target,
               int y, int x0, int x1)
{
    const RenderStates& st = c.states;
    float at[kPlanes];
    const float fx = float(x0) - s.ox, fy = float(y) - s.oy;
    for (int p = 0; p < kPlanes; ++p)
        at[p] = s.v[p] + s.a[p] * fx + s.b[p] * fy;
    std::uint16_t* colour = target.colour + static_cast<std::ptrdiff_t>(y) * target.colour_pitch;
    std::uint16_t* depth =
        target.depth ? target.depth + static_cast<std::ptrdiff_t>(y) * target.depth_pitch : nullptr;
    const std::uint32_t* texel_table = Textured ? texel_tables().table(c.texture.layout) : nullptr;
    const std::uint32_t* dest_table = texel_tables().table(target.layout);
    const bool texture_alpha = c.texture.layout == PixelLayout::Argb4444;
    const Rgba fog = unpack(st.fog_colour);
    const int wmask = c.texture.width - 1, hmask = c.texture.height - 1;

    // Only the planes this state reads are stepped.
    const bool specular = st.specular;
    const auto step = [&] {
        if constexpr (ZTest)
            at[kZ] += s.a[kZ];
        if constexpr (Textured) {
            at[kQ] += s.a[kQ];
            at[kUQ] += s.a[kUQ];
            at[kVQ] += s.a[kVQ];
        }
        at[kR] += s.a[kR];
        at[kG] += s.a[kG];
        at[kB] += s.a[kB];
        at[kA] += s.a[kA];
        if (specular) {
            at[kSR] += s.a[kSR];
            at[kSG] += s.a[kSG];
            at[kSB] += s.a[kSB];
        }
        if constexpr (Fog)
            at[kFog] += s.a[kFog];
    };
    for (int x = x0; x <= x1; ++x, step()) {
        unsigned z = 0;
        if constexpr (ZTest) {
            const float zc = std::clamp(at[kZ], 0.0f, 1.0f);
            z = static_cast<unsigned>(zc * 65535.0f + 0.5f);
            if (!depth_passes(st.z_func, z, depth[x]))
                continue;
        }
        float r = at[kR], g = at[kG], b = at[kB], a = at[kA];
        if constexpr (Textured) {
            const float w = 1.0f / at[kQ];
            const float u = texel_coordinate(at[kUQ] * w, c.texture.width);
            const float v = texel_coordinate(at[kVQ] * w, c.texture.height);
            const int nu = floor_int(u) & wmask;
            const int nv = floor_int(v) & hmask;
            const std::uint16_t* rows = c.texture.texels;
            const std::uint16_t nearest = rows[static_cast<std::ptrdiff_t>(nv) * c.texture.pitch + nu];
            if (st.colour_key && c.texture.keyed && nearest == c.texture.key)
                continue;
            Rgba t;
            if (st.filter == TextureFilter::Nearest) {
                t = unpack(texel_table[nearest]);
            } else {
                const float fu = u - 0.5f, fv = v - 0.5f;
                const int iu = floor_int(fu), iv = floor_int(fv);
                const float tu = fu - float(iu), tv = fv - float(iv);
                const int us[2] = {iu & wmask, (iu + 1) & wmask};
                const int vs[2] = {iv & hmask, (iv + 1) & hmask};
                const float wu[2] = {1.0f - tu, tu}, wv[2] = {1.0f - tv, tv};
                float sum = 0, tr = 0, tg = 0, tb = 0, ta = 0;
                for (int j = 0; j < 2; ++j)
                    for (int i = 0; i < 2; ++i) {
                        const std::uint16_t raw = rows[static_cast<std::ptrdiff_t>(vs[j]) * c.texture.pitch + us[i]];
                        if (st.colour_key && c.texture.keyed && raw == c.texture.key)
                            continue;  // keyed texels take no part in the filter
                        const float wt = wu[i] * wv[j];
                        const Rgba k = unpack(texel_table[raw]);
                        tr += k.r * wt;
                        tg += k.g * wt;
                        tb += k.b * wt;
                        ta += k.a * wt;
                        sum += wt;
                    }
                t = {tr / sum, tg / sum, tb / sum, ta / sum};
            }
            switch (st.texture_blend) {
            case TextureBlend::Decal:
                r = t.r;
                g = t.g;
                b = t.b;
                a = t.a;
                break;
            case TextureBlend::Modulate:
                r = t.r * r * kInv255;
                g = t.g * g * kInv255;
                b = t.b * b * kInv255;
                if (texture_alpha)
                    a = t.a;
                break;
            case TextureBlend::ModulateAlpha:
                r = t.r * r * kInv255;
                g = t.g * g * kInv255;
                b = t.b * b * kInv255;
                a = t.a * a * kInv255;
                break;
            }
        }
        if (st.specular) {
            r = std::min(r + at[kSR], 255.0f);
            g = std::min(g + at[kSG], 255.0f);
            b = std::min(b + at[kSB], 255.0f);
        }
        if constexpr (Fog) {
            const float f = std::clamp(at[kFog], 0.0f, 255.0f) * kInv255;
            r = r * f + fog.r * (1.0f - f);
            g = g * f + fog.g * (1.0f - f);
            b = b * f + fog.b * (1.0f - f);
        }
        if constexpr (Blend) {
            a = std::clamp(a, 0.0f, 255.0f);
            const Rgba d = unpack(dest_table[colour[x]]);
            const float fs = blend_factor(st.source_blend, a), fd = blend_factor(st.dest_blend, a);
            r = r * fs + d.r * fd;
            g = g * fs + d.g * fd;
            b = b * fs + d.b * fd;
        }
        colour[x] = pack_pixel(target.layout, std::clamp(r, 0.0f, 255.0f), std::clamp(g, 0.0f, 255.0f),
                               std::clamp(b, 0.0f, 255.0f));
        if constexpr (ZTest) {
            if (st.z_write)
                depth[x] = static_cast<std::uint16_t>(z);
        }
    }
}

using SpanFunction = void (*)(const TriangleRasteriser::Setup&, const TriangleRasteriser::Command&,
                              const RasterTarget&, int, int, int);

SpanFunction choose_span(const TriangleRasteriser::Command& c, bool has_depth)
{
    const bool z = has_depth && c.states.z_enable;
    static constexpr SpanFunction table[16] = {
        draw_span<false, false, false, false>, draw_span<false, false, false, true>,
        draw_span<false, false, true, false>,  draw_span<false, false, true, true>,
        draw_span<false, true, false, false>,  draw_span<false, true, false, true>,
        draw_span<false, true, true, false>,   draw_span<false, true, true, true>,
        draw_span<true, false, false, false>,  draw_span<true, false, false, true>,
        draw_span<true, false, true, false>,   draw_span<true, false, true, true>,
        draw_span<true, true, false, false>,   draw_span<true, true, false, true>,
        draw_span<true, true, true, false>,    draw_span<true, true, true, true>,
    };
    return table[(c.textured ? 8 : 0) | (z ? 4 : 0) | (c.states.fog ? 2 : 0) | (c.states.alpha_blend ? 1 : 0)];
}

} // namespace

void TriangleRasteriser::draw_band(const RasterTarget& target, int top, int bottom)
{
    const PixelRect& clip = target.scissor;
    top = std::max(top, clip.top);
    bottom = std::min(bottom, clip.bottom);
    std::uint32_t last_command = UINT32_MAX;
    SpanFunction span = nullptr;
    for (std::size_t t = 0; t < setups_.size(); ++t) {
        if (!setup_ok_[t])
            continue;
        const Setup& s = setups_[t];
        const int y0 = std::max(s.top, top), y1 = std::min(s.bottom, bottom - 1);
        if (y0 > y1)
            continue;
        const int left = std::max(s.left, clip.left), right = std::min(s.right, clip.right - 1);
        if (left > right)
            continue;
        const Command& command = commands_[s.command];
        if (s.command != last_command) {
            last_command = s.command;
            span = choose_span(command, target.depth != nullptr);
        }
        if (command.states.z_enable && target.depth && command.states.z_func == CompareFunc::Never)
            continue;
        for (int y = y0; y <= y1; ++y) {
            std::int64_t lo = left, hi = right;
            for (int e = 0; e < 3; ++e) {
                const std::int64_t k = s.eb[e] * y + s.ec[e];
                if (s.ea[e] > 0)
                    lo = std::max(lo, ceil_div(-k, s.ea[e]));
                else if (s.ea[e] < 0)
                    hi = std::min(hi, floor_div(k, -s.ea[e]));
                else if (k < 0)
                    hi = lo - 1;
            }
            if (lo <= hi)
                span(s, command, target, y, static_cast<int>(lo), static_cast<int>(hi));
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
    const int chunks = static_cast<int>(std::min<std::size_t>(count / 256 + 1, std::size_t(threads_) * 4));
    run_parallel(chunks, [&](int i) {
        set_up(count * std::size_t(i) / std::size_t(chunks), count * std::size_t(i + 1) / std::size_t(chunks));
    });
    const int top = target.scissor.top;
    const int bands = (target.scissor.height() + kBandRows - 1) / kBandRows;
    run_parallel(bands, [&](int band) {
        draw_band(target, top + band * kBandRows, top + (band + 1) * kBandRows);
    });
    discard();
}

} // namespace platform
