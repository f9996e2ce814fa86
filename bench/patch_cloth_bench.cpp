// Speed of the bicubic patch tessellation and of the cloth step.

#include <cmath>
#include <cstring>
#include <vector>

#include <benchmark/benchmark.h>

#include "engine/base/mat4.h"
#include "engine/model/model_node.h"
#include "engine/scene/cloth.h"
#include "engine/scene/patch_tess.h"
#include "tools/datakit/mdl_writer.h"

namespace {

// Lights every point and counts the triangles, as cheaply as a sink can.
class counting_sink final : public patch_sink {
public:
    float light_point(const vec4&, const vec4& normal) override { return 0.5f + 0.5f * normal.z; }
    void triangle(clip_vertex* const corners[3], const mtr_texture*) override
    {
        benchmark::DoNotOptimize(corners[0]->x);
        ++triangles;
    }
    long triangles = 0;
};

// A wavy 10 x 10 grid of control points in front of the camera: 49 patches.
void BM_PatchGrid(benchmark::State& state)
{
    patch_grid grid;
    grid.basis_u = static_cast<std::uint32_t>(state.range(0));
    grid.basis_v = grid.basis_u;
    grid.count_u = grid.count_v = 10;
    std::vector<vec4> points;
    for (int r = 0; r < 10; ++r)
        for (int c = 0; c < 10; ++c)
            points.push_back({static_cast<float>(c), static_cast<float>(r),
                              -20.0f + 0.5f * std::sin(0.7f * static_cast<float>(r + c)), 1.0f});
    isqrt_tables_build();
    counting_sink sink;
    const patch_texture_map texture{nullptr, 64, 64, 1.0f, 1.0f, 0.0f, 0.0f};
    for (auto _ : state)
        patch_mesh_draw(grid, points.data(), points.size(), {}, texture, {4.5f, 4.5f, -40.0f, 1.0f}, sink);
    state.SetItemsProcessed(state.iterations() * 49);   // patches
    state.counters["triangles/patch"] =
        static_cast<double>(sink.triangles) / static_cast<double>(state.iterations() * 49);
}
BENCHMARK(BM_PatchGrid)->Arg(2)->Arg(3);

// A hanging sheet of 10 x 10 particles, 180 springs: one frame's step of
// 4 sub-steps.
void BM_ClothStep(benchmark::State& state)
{
    const mdl_object sheet = datakit::mdl_cloth_sheet("SHEET", 10, 10, 1.0f, "CANVAS");
    model_part part;
    part.vertex_count = static_cast<std::uint32_t>(sheet.mesh.vertices.size());
    part.face_count = static_cast<std::uint32_t>(sheet.mesh.faces.size());
    for (const mdl_vertex& v : sheet.mesh.vertices) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(v.data());
        part.vertices.insert(part.vertices.end(), bytes, bytes + sizeof v);
    }
    for (const mdl_face& f : sheet.mesh.faces) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(f.data());
        part.faces.insert(part.faces.end(), bytes, bytes + sizeof f);
    }
    part.indexes = sheet.mesh.face_lists;
    model_node node(node_kind_full);
    node.owner_state = 0;   // the part belongs to this function
    node.type = node_mesh;
    node.mesh = &part;
    mat_identity(&node.world);
    cloth c(sheet.mesh.cloth);
    c.init(&node);
    for (auto _ : state) {
        c.step(1.0 / 30.0, 4.0);
        benchmark::DoNotOptimize(c.particles[55].position.y);
    }
    state.SetItemsProcessed(state.iterations());   // frames
}
BENCHMARK(BM_ClothStep);

} // namespace
