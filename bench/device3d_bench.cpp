// Speed of the 3D device's rasteriser: the frame time of a scene sized like
// a race view (most triangles under 50 pixels, some of thousands for road,
// sky and near scenery, about 2.5 times overdraw), textured, Z-tested and
// fogged, drawn in texture order rather than depth order, at 640x480 and
// 1024x768 16-bit, on one thread and on every core; and the fill rate of
// each state combination on large triangles.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <thread>
#include <vector>

#include "platform/device3d_raster.h"

namespace {

using namespace platform;

struct BenchTexture {
    std::vector<std::uint16_t> texels = std::vector<std::uint16_t>(256 * 256);
    BenchTexture()
    {
        std::mt19937 rng(5);
        for (int v = 0; v < 256; ++v)
            for (int u = 0; u < 256; ++u)
                texels[v * 256 + u] = static_cast<std::uint16_t>(((u >> 3) * 2113 + (v >> 2) * 97 + (rng() & 7)) & 0xFFFF);
    }
    RasterTexture raster(bool keyed) const { return {texels.data(), 256, 256, 256, PixelLayout::Rgb565, keyed, 0xF81F}; }
};

const BenchTexture& bench_texture()
{
    static const BenchTexture t;
    return t;
}

TLVertex vertex(float x, float y, float z, float rhw, float u, float v, std::uint8_t fog)
{
    TLVertex p;
    p.sx = x;
    p.sy = y;
    p.sz = z;
    p.rhw = rhw;
    p.tu = u;
    p.tv = v;
    p.colour = 0xFFC0C0C0u;
    p.specular = static_cast<std::uint32_t>(fog) << 24;
    return p;
}

struct Scene {
    std::vector<TLVertex> vertices;
    std::vector<std::uint16_t> indices;  // per batch of at most 65536 vertices
    double area = 0;
};

// `count` triangles over a width x height frame: sky and road (8 large
// triangles), 2% of the count near scenery of a few thousand pixels, the
// rest 10 to 50 pixels, in random order at random depths.
Scene race_scene(int count, int width, int height)
{
    std::mt19937 rng(17);
    const auto uni = [&](double lo, double hi) { return lo + (hi - lo) * (rng() / 4294967296.0); };
    std::vector<std::array<TLVertex, 3>> tris;
    const float w = float(width), h = float(height);
    // Sky: the top half, far away; road: the bottom half in perspective.
    const float hz = h * 0.45f;
    tris.push_back({vertex(0, 0, 0.99f, 0.01f, 0, 0, 255), vertex(w, 0, 0.99f, 0.01f, 4, 0, 255), vertex(w, hz, 0.99f, 0.01f, 4, 1, 255)});
    tris.push_back({vertex(0, 0, 0.99f, 0.01f, 0, 0, 255), vertex(w, hz, 0.99f, 0.01f, 4, 1, 255), vertex(0, hz, 0.99f, 0.01f, 0, 1, 255)});
    for (int i = 0; i < 3; ++i) {
        const float y0 = hz + (h - hz) * i / 3.0f, y1 = hz + (h - hz) * (i + 1) / 3.0f;
        const float r0 = 0.05f + 0.3f * i, r1 = 0.05f + 0.3f * (i + 1);
        tris.push_back({vertex(0, y0, 0.9f - 0.2f * i, r0, 0, 0, std::uint8_t(40 + 60 * i)), vertex(w, y0, 0.9f - 0.2f * i, r0, 2, 0, std::uint8_t(40 + 60 * i)),
                        vertex(w, y1, 0.7f - 0.2f * i, r1, 2, 8, std::uint8_t(100 + 60 * i))});
        tris.push_back({vertex(0, y0, 0.9f - 0.2f * i, r0, 0, 0, std::uint8_t(40 + 60 * i)), vertex(w, y1, 0.7f - 0.2f * i, r1, 2, 8, std::uint8_t(100 + 60 * i)),
                        vertex(0, y1, 0.7f - 0.2f * i, r1, 0, 8, std::uint8_t(100 + 60 * i))});
    }
    const double target = 2.5 * w * h;
    double big = w * h;  // sky and road cover the frame once
    const int medium = std::max(1, count / 50);
    const int small = std::max(0, count - int(tris.size()) - medium);
    const double small_area = small * 30.0 * (w * h) / (640.0 * 480.0);
    const double medium_area = std::max(0.0, target - big - small_area) / medium;
    const auto add = [&](double area) {
        const double side = std::sqrt(2 * area);
        const double x = uni(-side / 2, w), y = uni(hz * 0.5, h);
        const double z = uni(0.05, 0.95), rhw = uni(0.1, 1.0);
        const auto fog = std::uint8_t(uni(0, 255));
        tris.push_back({vertex(float(x), float(y), float(z), float(rhw), 0, 0, fog),
                        vertex(float(x + side * uni(0.8, 1.2)), float(y + side * uni(-0.1, 0.1)), float(z), float(rhw), 1, 0, fog),
                        vertex(float(x + side * uni(-0.1, 0.1)), float(y + side * uni(0.8, 1.2)), float(z), float(rhw), 0, 1, fog)});
    };
    for (int i = 0; i < medium; ++i)
        add(medium_area);
    for (int i = 0; i < small; ++i)
        add(uni(10, 50) * (w * h) / (640.0 * 480.0));
    std::shuffle(tris.begin() + 8, tris.end(), rng);
    Scene s;
    for (const auto& t : tris) {
        for (const TLVertex& v : t) {
            s.indices.push_back(static_cast<std::uint16_t>(s.vertices.size() % 65536));
            s.vertices.push_back(v);
        }
        const double a = std::fabs((t[1].sx - t[0].sx) * (t[2].sy - t[0].sy) - (t[2].sx - t[0].sx) * (t[1].sy - t[0].sy)) / 2;
        s.area += a;
    }
    return s;
}

int all_cores()
{
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

// Arguments: triangles, width, height, threads (0: every core).
void race_frame(benchmark::State& state)
{
    const int count = int(state.range(0)), width = int(state.range(1)), height = int(state.range(2));
    const int threads = state.range(3) ? int(state.range(3)) : all_cores();
    const Scene scene = race_scene(count, width, height);
    std::vector<std::uint16_t> colour(std::size_t(width) * height), depth(std::size_t(width) * height);
    TriangleRasteriser raster(threads);
    const RasterTexture tex = bench_texture().raster(false);
    RenderStates st;
    st.fog = true;
    st.fog_colour = 0x8090A0;
    const RasterTarget target{colour.data(), width, PixelLayout::Rgb565, depth.data(), width, {0, 0, width, height}};
    for (auto _ : state) {
        std::fill(depth.begin(), depth.end(), 0xFFFF);
        // Batches of 1000 triangles, as the texture batches hand them over.
        for (std::size_t first = 0; first < scene.vertices.size(); first += 3000) {
            const std::size_t n = std::min<std::size_t>(3000, scene.vertices.size() - first);
            std::vector<std::uint16_t> idx(n);
            for (std::size_t i = 0; i < n; ++i)
                idx[i] = static_cast<std::uint16_t>(i);
            raster.queue(st, &tex, scene.vertices.data() + first, int(n), idx.data(), int(n));
        }
        raster.flush(target);
        benchmark::ClobberMemory();
    }
    state.counters["threads"] = threads;
    state.counters["overdraw"] = scene.area / (double(width) * height);
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(race_frame)
    ->ArgsProduct({{1000, 5000, 20000}, {640}, {480}, {1, 0}})
    ->ArgsProduct({{1000, 5000, 20000}, {1024}, {768}, {1, 0}})
    ->ArgNames({"tris", "w", "h", "threads"})
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

// Fill rate of one state combination: two triangles covering 512x512, one
// thread.
enum FillState { kFlat, kGouraudZ, kNearest, kNearestZFog, kBilinear, kKeyed, kBlend, kBilinearBlendFog };

void fill_rate(benchmark::State& state)
{
    const auto which = static_cast<FillState>(state.range(0));
    constexpr int n = 512;
    std::vector<std::uint16_t> colour(n * n), depth(n * n, 0xFFFF);
    TriangleRasteriser raster(1);
    RenderStates st;
    const RasterTexture tex = bench_texture().raster(which == kKeyed);
    bool textured = true;
    switch (which) {
    case kFlat:
        st.z_enable = false;
        st.gouraud = false;
        textured = false;
        break;
    case kGouraudZ: textured = false; break;
    case kNearest: st.z_enable = false; break;
    case kNearestZFog: st.fog = true; break;
    case kBilinear: st.filter = TextureFilter::Linear; break;
    case kKeyed: break;
    case kBlend:
        st.alpha_blend = true;
        st.source_blend = BlendFactor::SourceAlpha;
        st.dest_blend = BlendFactor::InverseSourceAlpha;
        break;
    case kBilinearBlendFog:
        st.filter = TextureFilter::Linear;
        st.alpha_blend = true;
        st.source_blend = BlendFactor::SourceAlpha;
        st.dest_blend = BlendFactor::InverseSourceAlpha;
        st.fog = true;
        break;
    }
    st.z_func = CompareFunc::Always;
    TLVertex v[4] = {vertex(0, 0, 0.5f, 1, 0, 0, 128), vertex(n, 0, 0.5f, 0.5f, 2, 0, 128), vertex(n, n, 0.5f, 0.5f, 2, 2, 128),
                     vertex(0, n, 0.5f, 1, 0, 2, 128)};
    for (TLVertex& p : v)
        p.colour = 0x80C0A080u;
    const std::uint16_t idx[] = {0, 1, 2, 0, 2, 3};
    const RasterTarget target{colour.data(), n, PixelLayout::Rgb565, depth.data(), n, {0, 0, n, n}};
    for (auto _ : state) {
        raster.queue(st, textured ? &tex : nullptr, v, 4, idx, 6);
        raster.flush(target);
        benchmark::ClobberMemory();
    }
    state.counters["Mpixels/s"] = benchmark::Counter(double(state.iterations()) * n * n / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK(fill_rate)
    ->ArgName("state")
    ->DenseRange(kFlat, kBilinearBlendFog)
    ->Unit(benchmark::kMicrosecond);

} // namespace
