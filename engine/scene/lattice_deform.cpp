#include "engine/scene/lattice_deform.h"

#include <cstring>

#include "engine/base/engine.h"
#include "engine/model/anim_channels.h"
#include "engine/model/lattice_anim.h"
#include "engine/model/model_node.h"
#include "engine/model/shape_anim.h"
#include "engine/scene/vertex_transform.h"

vec4 lattice_point(const lattice_cell_cache& cache, const lattice_shape& working, std::uint32_t record_flags,
                   const vec4& p, const vec4& scale, const mat4& world)
{
    vec4 q{};
    if (record_flags & deform_lattice_world) {
        const vec4 at{p.x, p.y, p.z, 1.0f};
        mat_transform_point(&world, &at, &q);
    } else {
        q = {p.x * scale.x, p.y * scale.y, p.z * scale.z, 1.0f};
    }
    vec4 out{0.0f, 0.0f, 0.0f, 1.0f};
    lattice_deform_point(&cache, &working, &out, &q);
    return out;
}

bool lattice_transform_vertices(mesh_frame& frame, const anim_node& record, const vec4& scale, const mat4& world,
                                const std::uint8_t* source, std::uint32_t count, const mat4& combined)
{
    const lattice_shape* working = record.lattice ? record.lattice->working : nullptr;
    if (!working || !working->points || !frame.lattice_cache)
        return false;
    lattice_cells_prepare(frame.lattice_cache, working);
    for (std::uint32_t i = 0; i < count; ++i) {
        const work_vertex v = source_vertex(source, i);
        const vec4 deformed = lattice_point(*frame.lattice_cache, *working, record.flags, {v.x, v.y, v.z, 1.0f},
                                            scale, world);
        vec4 clip{};
        mat_transform_point(&combined, &deformed, &clip);
        work_vertex& out = frame.work[i];
        out.u = v.u;
        out.v = v.v;
        out.intensity = v.intensity;
        project_vertex(clip, frame.projection, &out, &frame.screen[i]);
    }
    return true;
}

namespace {

void carry_point(const vec4& p, const mat4& m, vec4* out)
{
    const vec4 at{p.x, p.y, p.z, 1.0f};
    vec4 q{};
    mat_transform_point(&m, &at, &q);
    out->x = q.x;
    out->y = q.y;
    out->z = q.z;
}

} // namespace

std::size_t transform_patch_points(mesh_frame& frame, model_node& node, const mat4& view, vec4* out,
                                   std::size_t capacity)
{
    const std::vector<vec4>* points = node.type == node_patch ? node.patch : nullptr;
    if (!points || points->empty() || !out)
        return 0;
    const std::size_t n = points->size();
    if (n > capacity || !fits_vertex_buffer(n)) {
        transform_report(&transform_fault_counts::oversized_patches,
                         "patch transform: a patch has more control points than the vertex buffer holds; not drawn");
        return 0;
    }

    mat4 world_view{};
    mat_mul(&node.world, &world_view, &view);
    const anim_node* record = node.anim;

    // The source of every later step: the control points, or their shaped
    // copies in the shape scratch buffer (48-byte records).
    work_vertex* scratch = frame.context ? frame.context->work_c1 : nullptr;
    const bool shaped = record && record->shapes && scratch;
    if (shaped) {
        for (std::size_t i = 0; i < n; ++i) {
            const vec4& p = (*points)[i];
            scratch[i] = {};
            scratch[i].x = p.x;
            scratch[i].y = p.y;
            scratch[i].z = p.z;
            scratch[i].w = p.w;
        }
        for (const shape_anim* s = record->shapes; s; s = s->next)
            s->apply(scratch, n * pipeline_vertex_bytes, frame.time);
    }
    auto source = [&](std::size_t i) -> vec4 {
        if (shaped)
            return {scratch[i].x, scratch[i].y, scratch[i].z, scratch[i].w};
        return (*points)[i];
    };

    const lattice_shape* working = record && record->lattice ? record->lattice->working : nullptr;
    if (working && working->points && frame.lattice_cache) {
        lattice_cells_prepare(frame.lattice_cache, working);
        for (std::size_t i = 0; i < n; ++i) {
            const vec4 deformed =
                lattice_point(*frame.lattice_cache, *working, record->flags, source(i), node.world_scale, node.world);
            carry_point(deformed, view, &out[i]);
        }
        return n;
    }

    for (std::size_t i = 0; i < n; ++i)
        carry_point(source(i), world_view, &out[i]);
    if (record && node.skin_ref_count > 0 && node.skin_refs) {
        for (std::int32_t g = 0; g < node.skin_ref_count; ++g) {
            const skin_ref* ref = node.skin_refs[g];
            if (!ref || !ref->bone || !ref->group)
                continue;
            // As for meshes: the skinning matrix keeps a point in the node's
            // frame, and the node's world matrix places it.
            mat4 bw{};
            mat_mul_affine(&ref->bone->skinning, &bw, &node.world);
            mat4 m{};
            mat_mul(&bw, &m, &view);
            for (std::uint32_t k = 0; k < ref->group->vertex_count; ++k) {
                const std::uint32_t i = ref->group->vertices[k];
                if (i >= n) {
                    transform_report(&transform_fault_counts::bad_skin_vertices,
                                     "mesh transform: a skin group names a vertex the mesh does not have");
                    continue;
                }
                carry_point(source(i), m, &out[i]);
            }
        }
    }
    return n;
}
