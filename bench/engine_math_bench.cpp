// Throughput of the engine's math on the per-frame paths: matrix products,
// vertex transforms and the polygon clipper.

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "engine/base/clipper.h"
#include "engine/base/mat4.h"
#include "engine/base/quat.h"

namespace {

mat4 sample_matrix(float a)
{
    mat4 m;
    mat_from_angles(&m, a, 0.5f * a, -a);
    m.m[3][0] = a;
    m.m[3][1] = 2.0f;
    m.m[3][2] = -3.0f;
    return m;
}

void BM_mat_mul(benchmark::State& state)
{
    const mat4 a = sample_matrix(0.3f);
    const mat4 b = sample_matrix(1.1f);
    mat4 out;
    for (auto _ : state) {
        mat_mul(&a, &out, &b);
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_mat_mul);

// The affine product exists to beat the general one on the per-node
// transforms of every frame: it should never take longer than BM_mat_mul.
void BM_mat_mul_affine(benchmark::State& state)
{
    const mat4 a = sample_matrix(0.3f);
    const mat4 b = sample_matrix(1.1f);
    mat4 out;
    for (auto _ : state) {
        mat_mul_affine(&a, &out, &b);
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_mat_mul_affine);

// A mesh's worth of vertices carried through one matrix, as the per-node
// transform does.
void BM_vertex_transform(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    std::vector<vec4> in(n);
    std::vector<vec4> out(n);
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> d(-10.0f, 10.0f);
    for (vec4& v : in)
        v = {d(rng), d(rng), d(rng), 1.0f};
    const mat4 m = sample_matrix(0.7f);
    for (auto _ : state) {
        for (int i = 0; i < n; ++i)
            mat_transform_point(&m, &in[i], &out[i]);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_vertex_transform)->Arg(1000);

void BM_quat_spline(benchmark::State& state)
{
    quat keys[4];
    const float angles[4][3] = {{0, 0, 0}, {0.3f, 0.1f, 0}, {0.6f, 0.5f, 0.2f}, {1.0f, 0.4f, 0.9f}};
    for (int i = 0; i < 4; ++i)
        quat_from_angles(angles[i], &keys[i]);
    float t = 0.0f;
    quat out;
    for (auto _ : state) {
        quat_spline(keys, &out, t);
        benchmark::DoNotOptimize(out);
        t = t > 1.0f ? 0.0f : t + 0.001f;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_quat_spline);

// Polygons that cross the view boundary (those are the ones that reach the
// clipper), triangles and quads alike.
void BM_clip_polygon(benchmark::State& state)
{
    clip_record record{};
    record.left_factor = -1.0f;
    record.right_factor = 1.0f;
    record.top_factor = 1.0f;
    record.bottom_factor = -1.0f;
    record.upper_z = -1.0f;
    record.lower_z = -1000.0f;

    struct Poly {
        clip_vertex v[clip_max_input_vertices];
        int count;
        unsigned flags;
    };
    std::vector<Poly> polys;
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> side(-1.5f, 1.5f);
    std::uniform_real_distribution<float> depth(0.5f, 1200.0f);
    while (polys.size() < 1024) {
        Poly p{};
        p.count = 3 + static_cast<int>(polys.size() % 2);
        unsigned and_all = clip_all_planes;
        unsigned or_all = 0;
        for (int i = 0; i < p.count; ++i) {
            const float z = -depth(rng);
            clip_vertex& v = p.v[i];
            v.x = side(rng) * -z;
            v.y = side(rng) * -z;
            v.z = z;
            v.w = -z;
            v.u = v.x;
            v.v = v.y;
            v.light[0] = 1.0f;
            const unsigned code = clip_outcode(&record, &v);
            and_all &= code;
            or_all |= code;
        }
        if (and_all == 0 && or_all != 0) {
            p.flags = or_all;
            polys.push_back(p);
        }
    }

    clip_vertex a[clip_buffer_vertices];
    clip_vertex b[clip_buffer_vertices];
    std::size_t k = 0;
    for (auto _ : state) {
        const Poly& p = polys[k++ & 1023];
        for (int i = 0; i < p.count; ++i)
            a[i] = p.v[i];
        int count = p.count;
        benchmark::DoNotOptimize(clip_polygon(&record, a, b, &count, p.flags, nullptr));
        benchmark::DoNotOptimize(count);
    }
    state.SetItemsProcessed(state.iterations());
    state.SetLabel("polygons");
}
BENCHMARK(BM_clip_polygon);

} // namespace
