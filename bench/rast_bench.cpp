// Speed of the software rasteriser: pixels per second of every span filler
// on long spans, and the frame time of a scene sized like a race view
// (most polygons under 50 pixels, a few of thousands, about 2.5 times
// overdraw) at 320x200 and 640x480 on an 8-bit screen, with the settings the
// race uses at each size.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "engine/base/material_records.h"
#include "engine/base/recip_table.h"
#include "engine/base/shade_table.h"
#include "engine/render/rast.h"
#include "engine/render/rast_span.h"

namespace {

// Tables and a 256 x 256 texture with transparent and translucent texels.
struct bench_data {
    std::vector<std::uint8_t> texels = std::vector<std::uint8_t>(65536);
    bench_data()
    {
        recip_table_build();
        // Like a painted texture: colours change every few texels, with a
        // little noise.
        std::mt19937 rng(7);
        for (std::size_t u = 0; u < 256; ++u)
            for (std::size_t v = 0; v < 256; ++v)
                texels[u * 256 + v] = static_cast<std::uint8_t>(((u >> 3) * 37 + (v >> 2) * 11 + (rng() & 3)) & 0xFF);
        for (std::size_t i = 0; i < shade_table_entries; ++i)
            shade_table[i] = static_cast<std::uint32_t>((i * 2654435761u) >> 24) * 0x01010101u;
        for (auto& page : blend_pages)
            for (std::size_t i = 0; i < blend_page_entries; ++i)
                page[i] = static_cast<std::uint32_t>(i * 40503u >> 8) & 0xFF;
    }
    raster_material material(std::int32_t mode) const
    {
        raster_material m;
        m.fill_mode = mode;
        m.blend_page = 2;
        m.texels = texels.data();
        m.texture_mask = 0xFFFF;
        return m;
    }
};

const bench_data& data()
{
    static const bench_data d;
    return d;
}

constexpr int span_width = 320;
constexpr int span_rows = 200;

// Points a span record of either family at the benchmark's tables.
template <typename Span>
void use_tables(Span& s)
{
    s.texels = data().texels.data();
    s.mask = 0xFFFF;
    s.shade = shade_table;
    s.blend_page = blend_pages[2];
}

// ---- Fillers ----

void affine_filler(benchmark::State& state, rast_filler filler, int bytes_per_pixel)
{
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(span_width * span_rows * bytes_per_pixel), 0x40);
    rast_span s;
    use_tables(s);
    s.du = 97;
    s.dv = 181;
    s.dl = 40;
    for (auto _ : state) {
        for (int y = 0; y < span_rows; ++y) {
            s.dst = frame.data() + static_cast<std::size_t>(y * span_width * bytes_per_pixel);
            s.count = span_width;
            s.u = static_cast<std::uint32_t>(y * 300);
            s.v = static_cast<std::uint32_t>(y * 77);
            s.l = 0x4000;
            filler(s);
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * span_width * span_rows);
}

void persp_filler(benchmark::State& state, rast_persp_filler filler, int bytes_per_pixel, int run)
{
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(span_width * span_rows * bytes_per_pixel), 0x40);
    rast_persp_span s;
    use_tables(s);
    s.run = run;
    s.pixels = span_width;
    s.first = 0;
    s.last = span_width;
    for (auto _ : state) {
        for (int y = 0; y < span_rows; ++y) {
            s.row = frame.data() + static_cast<std::size_t>(y * span_width * bytes_per_pixel);
            s.x0 = 0;
            // A road going into the distance: 1/w from 1 to 0.25 across the span.
            s.q = 1.0;
            s.dq = -0.75 / span_width;
            s.uq = y * 65536.0;
            s.duq = 65536.0 * 0.6 / span_width;
            s.vq = 3.0 * 65536.0;
            s.dvq = 65536.0 * 90.0 / span_width;
            s.l = 0x3000;
            s.dl = 60;
            filler(s);
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * span_width * span_rows);
}

BENCHMARK_CAPTURE(affine_filler, affine_opaque_half, span_affine_opaque_half, 1);
BENCHMARK_CAPTURE(affine_filler, affine_keyed_half, span_affine_keyed_half, 1);
BENCHMARK_CAPTURE(affine_filler, affine_opaque_full, span_affine_opaque_full, 1);
BENCHMARK_CAPTURE(affine_filler, affine_keyed_full, span_affine_keyed_full, 1);
BENCHMARK_CAPTURE(affine_filler, affine_blend_half, span_affine_blend_half, 1);
BENCHMARK_CAPTURE(affine_filler, affine16_opaque_half, span_affine16_opaque_half, 2);
BENCHMARK_CAPTURE(affine_filler, affine16_keyed_half, span_affine16_keyed_half, 2);
BENCHMARK_CAPTURE(affine_filler, affine16_opaque_full, span_affine16_opaque_full, 2);
BENCHMARK_CAPTURE(affine_filler, affine16_keyed_full, span_affine16_keyed_full, 2);
BENCHMARK_CAPTURE(persp_filler, persp_opaque_half_run16, span_persp_opaque_half, 1, 16);
BENCHMARK_CAPTURE(persp_filler, persp_keyed_half_run16, span_persp_keyed_half, 1, 16);
BENCHMARK_CAPTURE(persp_filler, persp_opaque_full_run16, span_persp_opaque_full, 1, 16);
BENCHMARK_CAPTURE(persp_filler, persp_keyed_full_run16, span_persp_keyed_full, 1, 16);
BENCHMARK_CAPTURE(persp_filler, persp_blend_half_run16, span_persp_blend_half, 1, 16);
BENCHMARK_CAPTURE(persp_filler, persp_opaque_full_run4, span_persp_opaque_full, 1, 4);
BENCHMARK_CAPTURE(persp_filler, persp16_opaque_half_run16, span_persp16_opaque_half, 2, 16);
BENCHMARK_CAPTURE(persp_filler, persp16_opaque_full_run16, span_persp16_opaque_full, 2, 16);

// ---- A race-sized frame ----

// One polygon of the scene: a triangle for the affine family or a
// four-sided polygon for the perspective family, with its material.
struct scene_polygon {
    std::vector<clip_vertex> vertices;
    std::int32_t mode = 0;
    bool perspective = false;
};

clip_vertex scene_vertex(float x, float y, float w, float u, float v, float light)
{
    clip_vertex c{};
    c.sx = x;
    c.sy = y;
    c.w = w;
    c.rhw = 1.0f / w;
    c.u = u * 65536.0f;
    c.v = v * 65536.0f;
    c.light[0] = light;
    return c;
}

// Made for 320 x 200 and scaled to the screen: the ground and sky as eight
// large perspective quads (about a screen and a half), a band of trackside
// quads of a few hundred pixels, and about 2150 small triangles (bikes,
// riders, scenery: 10-50 pixels each) for the rest; about 2.5 times
// overdraw in all, drawn back to front.
std::vector<scene_polygon> race_scene(float scale_x, float scale_y)
{
    std::vector<scene_polygon> scene;
    std::mt19937 rng(1999);
    auto uniform = [&rng](float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng); };

    for (int band = 0; band < 8; ++band) {  // sky and ground strips, far to near
        const float y0 = band * 25.0f, y1 = y0 + 25.0f;
        const float w0 = 8.0f - band, w1 = 7.5f - band;
        scene_polygon p;
        p.perspective = true;
        p.vertices = {scene_vertex(-4, y0, w0, 0, 0, 0.7f), scene_vertex(324, y0, w0, 0, 200, 0.8f),
                      scene_vertex(324, y1, w1, 60, 200, 0.9f), scene_vertex(-4, y1, w1, 60, 0, 0.6f)};
        scene.push_back(p);
    }
    for (int i = 0; i < 60; ++i) {  // boards, barriers, buildings
        const float x = uniform(-10, 300), y = uniform(60, 170), w = uniform(15, 40), h = uniform(8, 20);
        scene_polygon p;
        p.perspective = true;
        p.mode = i % 5 == 0 ? 6 : 0;
        p.vertices = {scene_vertex(x, y, 3, 0, 0, 0.8f), scene_vertex(x + w, y + 2, 2, 0, 64, 0.8f),
                      scene_vertex(x + w, y + h + 2, 2, 32, 64, 0.7f), scene_vertex(x, y + h, 3, 32, 0, 0.7f)};
        scene.push_back(p);
    }
    for (int i = 0; i < 2150; ++i) {  // small triangles
        const float x = uniform(0, 310), y = uniform(40, 195), size = uniform(5, 11);
        scene_polygon p;
        p.mode = i % 40 == 0 ? 9 : (i % 7 == 0 ? 6 : 0);
        // Neighbouring vertices of a lit mesh have similar lights.
        const float light = uniform(0.25f, 0.9f);
        p.vertices = {scene_vertex(x, y, 1, 0, 0, light + uniform(-0.04f, 0.04f)),
                      scene_vertex(x + size, y + uniform(-3, 3), 1, 0, 16, light + uniform(-0.04f, 0.04f)),
                      scene_vertex(x + uniform(0, size), y + size, 1, 16, 8, light + uniform(-0.04f, 0.04f))};
        scene.push_back(p);
    }
    for (scene_polygon& p : scene)
        for (clip_vertex& v : p.vertices) {
            v.sx *= scale_x;
            v.sy *= scale_y;
        }
    return scene;
}

// Which polygons of the scene a run draws: both families, or one of them
// alone (to see what each costs).
enum scene_part { whole_scene, perspective_only, triangles_only };

// `threads` draw the frame (1: each polygon as it comes; more: recorded and
// drawn at the flush by bands of rows). The time is wall time, the flush
// included.
void race_frame(benchmark::State& state, int width, int height, int span_run, int edge_run, int full_res,
                scene_part part, int threads)
{
    const std::vector<scene_polygon> scene =
        race_scene(static_cast<float>(width) / 320.0f, static_cast<float>(height) / 200.0f);
    std::vector<scene_polygon> work = scene;
    const raster_material materials[3] = {data().material(0), data().material(6), data().material(9)};
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(width * height), 0);
    rast_set_globals(span_run, edge_run, full_res);
    rast_set_screen(static_cast<float>(width), static_cast<float>(height),
                    rast_frame{frame.data(), width, width, height, 8});

    rast_set_threads(threads);
    std::vector<clip_vertex*> pointers;
    // Time spent handing the polygons over (all of the frame with one
    // thread; with more, the part no other thread can share).
    double submit_seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        for (std::size_t i = 0; i < work.size(); ++i) {
            scene_polygon& p = work[i];
            if ((part == perspective_only && !p.perspective) || (part == triangles_only && p.perspective))
                continue;
            const raster_material& m = materials[p.mode == 6 ? 1 : (p.mode == 9 ? 2 : 0)];
            pointers.clear();
            for (clip_vertex& v : p.vertices)
                pointers.push_back(&v);
            if (p.perspective)
                rast_polygon(pointers.data(), static_cast<int>(pointers.size()), &m);
            else
                rast_draw_triangle(pointers.data(), 3, &m);
        }
        submit_seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        rast_flush();
        benchmark::ClobberMemory();
    }
    state.counters["submit_us"] = benchmark::Counter(submit_seconds * 1e6, benchmark::Counter::kAvgIterations);
    state.counters["threads"] = rast_threads();
    rast_set_threads(1);
    rast_set_frame(rast_frame{});  // the frame is about to go
    double area = 0;  // summed polygon areas, for the overdraw
    for (const scene_polygon& p : scene) {
        double twice = 0;
        for (std::size_t i = 0; i < p.vertices.size(); ++i) {
            const clip_vertex& a = p.vertices[i];
            const clip_vertex& b = p.vertices[(i + 1) % p.vertices.size()];
            twice += static_cast<double>(a.sx) * b.sy - static_cast<double>(b.sx) * a.sy;
        }
        area += std::abs(twice) / 2;
    }
    state.counters["polygons"] = static_cast<double>(scene.size());
    state.counters["overdraw"] = area / (static_cast<double>(width) * height);
    state.counters["frames/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// The frame benchmarks, in wall time.
#define RACE_FRAME(name, ...) \
    BENCHMARK_CAPTURE(race_frame, name, __VA_ARGS__)->Unit(benchmark::kMicrosecond)->UseRealTime()

RACE_FRAME(320x200_8bit, 320, 200, 16, 8, 1, whole_scene, 1);
RACE_FRAME(640x480_8bit, 640, 480, 32, 16, 0, whole_scene, 1);
RACE_FRAME(320x200_8bit_perspective_polygons_only, 320, 200, 16, 8, 1, perspective_only, 1);
RACE_FRAME(320x200_8bit_small_triangles_only, 320, 200, 16, 8, 1, triangles_only, 1);
// How the frame scales with the threads that draw it.
RACE_FRAME(320x200_8bit_2_threads, 320, 200, 16, 8, 1, whole_scene, 2);
RACE_FRAME(320x200_8bit_4_threads, 320, 200, 16, 8, 1, whole_scene, 4);
RACE_FRAME(320x200_8bit_8_threads, 320, 200, 16, 8, 1, whole_scene, 8);
RACE_FRAME(640x480_8bit_8_threads, 640, 480, 32, 16, 0, whole_scene, 8);

} // namespace
