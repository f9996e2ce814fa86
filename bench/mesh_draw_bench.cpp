// Speed of mesh drawing: meshes per second through the 3D device's path
// (transform, normals, back faces, mesh_draw into the batches' interface)
// and through the software path's depth sort (filing, and filing plus
// drawing into the game's rasteriser), for a race-like scene; and patches
// filed into the depth buckets.

#include <cmath>
#include <memory>
#include <vector>

#include <benchmark/benchmark.h>

#include "engine/base/engine.h"
#include "engine/base/mat4.h"
#include "engine/model/model_node.h"
#include "engine/model/mtr_lib.h"
#include "engine/render/polygon_target.h"
#include "engine/render/rast.h"
#include "engine/scene/depth_sort.h"
#include "engine/scene/mesh_draw.h"
#include "engine/scene/patch_tess.h"
#include "engine/scene/vertex_transform.h"
#include "tools/datakit/mdl_writer.h"

namespace {

// Takes every polygon as the batches would, without a device behind it.
class counting_target final : public polygon_target {
public:
    int draw_polygons(int count, const clip_vertex* vertices, const clip_vertex* const* list, const mtr_texture*,
                      int) override
    {
        benchmark::DoNotOptimize(vertices ? vertices[count - 1].sx : list[count - 1]->sx);
        ++polygons;
        return 1;
    }
    long polygons = 0;
};

model_part* part_of(const mdl_object& o)
{
    auto* part = new model_part;
    part->vertex_count = static_cast<std::uint32_t>(o.mesh.vertices.size());
    part->face_count = static_cast<std::uint32_t>(o.mesh.faces.size());
    for (const mdl_vertex& v : o.mesh.vertices) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(v.data());
        part->vertices.insert(part->vertices.end(), bytes, bytes + sizeof v);
    }
    for (const mdl_face& f : o.mesh.faces) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(f.data());
        part->faces.insert(part->faces.end(), bytes, bytes + sizeof f);
    }
    part->indexes = o.mesh.face_lists;
    return part;
}

// A stretch of road and roadside seen from a rider's camera: 24 road
// sections of 9 x 9 quads lying ahead, left and right (some across the
// view's edges, some behind the camera), and 24 boxes (buildings, barriers)
// beside them. 48 meshes, about 2100 faces.
struct race_scene {
    std::vector<std::unique_ptr<model_part>> parts;
    std::vector<std::unique_ptr<model_node>> nodes;
    std::vector<mat4> placements;
    mtr_texture frame;
    std::vector<std::uint8_t> texels;
    mesh_material material;

    race_scene()
    {
        texels.assign(65536, 7);
        frame.width = frame.height = 64;
        frame.pixels = texels.data();
        frame.span = ((64u << 8) - 256u) | 63u;
        frame.pixel_type = 4;
        material.texture = new mesh_texture;
        material.texture->frame_count = 1;
        material.texture->first_frame = &frame;
        set_binding_float(*material.texture, binding_word::ambient, 0.6f);
        set_binding_float(*material.texture, binding_word::diffuse, 0.6f);
        for (int i = 0; i < 24; ++i) {
            mdl_object road = datakit::mdl_cloth_sheet("ROAD", 10, 10, 2.0f, "ASPHALT");
            add(road, static_cast<float>((i % 3) - 1) * 18.0f - 9.0f, -2.0f, -6.0f - 18.0f * static_cast<float>(i / 3),
                true);
            mdl_object box = datakit::mdl_box_object("WALL", {2.0f + static_cast<float>(i % 4), 3.0f, 2.0f, 0.0f},
                                                     "BRICK");
            add(box, (i % 2 ? 16.0f : -16.0f), 1.0f, 4.0f - 14.0f * static_cast<float>(i / 2), false);
        }
    }
    ~race_scene()
    {
        for (auto& n : nodes)
            n->material_refs.clear();
        material.texture->first_frame = nullptr;
    }

    void add(const mdl_object& o, float x, float y, float z, bool lying)
    {
        parts.emplace_back(part_of(o));
        auto node = std::make_unique<model_node>(node_kind_compact_b);
        node->owner_state = 0;   // the part belongs to the scene
        node->type = node_mesh;
        node->mesh = parts.back().get();
        node->material_refs.resize(1);
        node->material_refs[0].material = &material;
        mat4 m{};
        mat_identity(&m);
        if (lying) {
            // The sheet hangs down -y in the x-y plane: lay it flat, facing up.
            m.m[1][1] = 0.0f;
            m.m[1][2] = -1.0f;
            m.m[2][1] = 1.0f;
            m.m[2][2] = 0.0f;
        }
        m.m[3][0] = x;
        m.m[3][1] = y;
        m.m[3][2] = z;
        node->world = m;
        nodes.push_back(std::move(node));
    }
};

// A 90-degree lens: (x, y, z, 1) -> (x, y, z, -z).
mat4 lens90()
{
    mat4 m{};
    mat_identity(&m);
    m.m[2][3] = -1.0f;
    m.m[3][3] = 0.0f;
    return m;
}

struct bench_context {
    engine context;
    mesh_frame frame;
    mesh_view view;
    bench_context()
    {
        current_engine = &context;
        frame.context = &context;
        frame.projection = {319.0f, 239.0f, 319.0f, 239.0f, -1.0f, -400000.0f};
        view.clip = make_clip_record(1.0f, frame.projection);
        view.projection = frame.projection;
        view.context = &context;
    }
    ~bench_context() { current_engine = nullptr; }
};

void BM_MeshDrawDevicePath(benchmark::State& state)
{
    bench_context b;
    race_scene scene;
    counting_target target;
    b.view.renderer = &target;
    const mat4 lens = lens90();
    std::vector<const mesh_face*> faces(200);
    scn_light sun;
    sun.type = 3;
    sun.r = 1.0f;
    sun.position = {0.3f, 0.9f, 0.3f, 0.0f};
    scn_light* lights[2] = {&sun, nullptr};
    long meshes = 0;
    for (auto _ : state) {
        for (auto& node : scene.nodes) {
            transform_mesh_matrix(b.frame, *node, lens);
            if (!b.frame.written)
                continue;
            model_part& mesh = *node->mesh;
            face_normals(mesh, b.frame.work, b.frame.written);
            vertex_normals(mesh, b.frame.work, b.frame.written);
            backface_select(mesh, {0, 0, 0, 1}, b.frame.work, b.frame.written, faces.data());
            mesh_draw(mesh, faces.data(), b.frame.work, b.frame.screen, b.view, *node, lights);
            ++meshes;
        }
    }
    state.SetItemsProcessed(meshes);
    state.counters["polygons/frame"] =
        static_cast<double>(target.polygons) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_MeshDrawDevicePath);

// The software path: every mesh transformed into the arenas and its faces
// filed; with `draw` set the buckets are then drawn into a 640 x 480 8-bit
// frame, else only emptied.
void BM_DepthSort(benchmark::State& state)
{
    const bool draw = state.range(0) != 0;
    bench_context b;
    b.context.set_render_type(engine::software_render_type);
    race_scene scene;
    std::vector<std::uint8_t> pixels(640 * 480);
    rast_frame f;
    f.pixels = pixels.data();
    f.pitch = 640;
    f.width = 640;
    f.height = 480;
    rast_set_screen(640.0f, 480.0f, f);
    const mat4 lens = lens90();
    long meshes = 0, filed = 0;
    for (auto _ : state) {
        zsort_begin_frame(b.frame);
        for (auto& node : scene.nodes) {
            transform_mesh_matrix(b.frame, *node, lens);
            if (!b.frame.written)
                continue;
            face_normals(*node->mesh, b.frame.work, b.frame.written);
            filed += zsort_add_faces(b.frame, *node->mesh, {0, 0, 0, 1}, *node);
            ++meshes;
        }
        if (draw)
            zsort_draw(b.context, b.view, nullptr);
        else
            zsort_clear(b.context);
    }
    rast_set_frame({});
    state.SetItemsProcessed(meshes);
    state.counters["faces/frame"] = static_cast<double>(filed) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_DepthSort)->Arg(0)->Arg(1);

// Patches on the software path: a wavy 10 x 10 grid of control points (49
// uniform B-spline patches, rows from the top down so that they face the
// eye) in front of the camera tessellated, lit and its
// triangles filed into the depth buckets, which are then emptied.
void BM_PatchDepthSort(benchmark::State& state)
{
    bench_context b;
    b.context.set_render_type(engine::software_render_type);
    model_node node(node_kind_full);
    node.grid.basis_u = node.grid.basis_v = 2;
    node.grid.count_u = node.grid.count_v = 10;
    std::vector<vec4> points;
    for (int r = 0; r < 10; ++r)
        for (int c = 0; c < 10; ++c)
            points.push_back({static_cast<float>(c) - 4.5f, 4.5f - static_cast<float>(r),
                              -20.0f + 0.5f * std::sin(0.7f * static_cast<float>(r + c)), 1.0f});
    isqrt_tables_build();
    const patch_texture_map texture{nullptr, 64, 64, 1.0f, 1.0f, 0.0f, 0.0f};
    const patch_lens lens{0.0f, 0.0f, 1.0f, 1.0f};
    long filed = 0;
    for (auto _ : state) {
        zsort_begin_frame(b.frame);
        zsort_patch_sink sink(b.frame, node, {0.5f, 0.5f}, nullptr);
        patch_mesh_draw(node.grid, points.data(), points.size(), lens, texture, {0, 0, 0, 1}, sink);
        filed += sink.triangles_filed();
        zsort_clear(b.context);
    }
    state.SetItemsProcessed(state.iterations() * 49);   // patches
    state.counters["triangles/frame"] = static_cast<double>(filed) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_PatchDepthSort);

} // namespace
