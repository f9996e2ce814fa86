#include "engine/scene/planar_shadow.h"

#include <cmath>
#include <vector>

#include "engine/base/light_record.h"
#include "engine/base/mat4.h"
#include "engine/model/ml_modelinfo.h"
#include "engine/model/shadow_link.h"
#include "engine/scene/camera.h"
#include "engine/scene/scene_view.h"
#include "engine/scene/vertex_transform.h"

namespace {

constexpr float near_zero = 1.0e-6f;

bool finite(const vec4& v)
{
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

} // namespace

bool planar_shadow_point(const vec4& w, const vec4& plane_point, const vec4& normal, const vec4& direction,
                         vec4* out)
{
    const float size = std::fabs(direction.x) + std::fabs(direction.y) + std::fabs(direction.z);
    if (!std::isgreater(std::fabs(direction.y), near_zero * size))
        return false;
    const float dx = direction.x / direction.y;
    const float dz = direction.z / direction.y;
    const float denominator = normal.y + normal.x * dx + normal.z * dz;
    const float scale = std::fabs(normal.x * dx) + std::fabs(normal.y) + std::fabs(normal.z * dz);
    if (!std::isgreater(std::fabs(denominator), near_zero * scale))
        return false;
    const float along = normal.x * (w.x - plane_point.x) + normal.y * (w.y - plane_point.y) +
                        normal.z * (w.z - plane_point.z);
    const float y = w.y - along / denominator;
    const vec4 p{w.x - (w.y - y) * dx, y, w.z - (w.y - y) * dz, 1.0f};
    if (!finite(p))
        return false;
    *out = p;
    return true;
}

vec4 planar_shadow_normal(const ml_modelinfo& shadow)
{
    mat4 m;
    if (shadow.ext_matrix)
        m = *shadow.ext_matrix;
    else
        mat_from_angles(&m, shadow.angles.x, shadow.angles.y, shadow.angles.z);
    return {m.m[1][0] + m.m[3][0], m.m[1][1] + m.m[3][1], m.m[1][2] + m.m[3][2], 0.0f};
}

int draw_planar_shadow(ml_modelinfo* shadow, scene_view& view)
{
    if (!shadow)
        return 0;
    int laid = 0;
    [&] {
        if (!view.cam || view.lights.empty())
            return;
        std::vector<scn_light*> reaching(view.lights.size() + 1, nullptr);
        if (shadow->select_lights(reaching.data(), view.lights.data()) == 0)
            return;
        const scn_light& light = *reaching[0];
        model_record* drawn = shadow;
        if (shadow->lod_table && shadow->levels && shadow->id >= 0 && shadow->id < shadow->level_count &&
            shadow->levels[shadow->id])
            drawn = shadow->levels[shadow->id];
        model_node* node = drawn->first_node;
        if (!node || node->type != node_mesh || !node->mesh)
            return;
        const model_part& mesh = *node->mesh;
        const std::uint32_t n = mesh_vertex_count(mesh);
        mesh_frame& frame = view.frame();
        if (!reserve_vertices(frame, n))
            return;

        const vec4 normal = planar_shadow_normal(*shadow);
        const vec4 plane_point = shadow->position;
        // A linked shadow's positions are its own copy, which its owner's
        // transform wrote (shadow_follow); the library's mesh keeps its rest.
        std::uint32_t linked_count = 0;
        const std::uint8_t* linked = shadow_linked_vertices(drawn, &linked_count);
        const std::uint8_t* rest = linked && linked_count == n ? linked : mesh_rest_bytes(mesh);
        const camera& cam = *view.cam;
        // Every vertex is laid first, so that a shadow the light cannot lay
        // leaves nothing half drawn.
        std::vector<vec4> flat(n);
        for (std::uint32_t i = 0; i < n; ++i) {
            const work_vertex v = source_vertex(rest, i);
            const vec4 clip{v.x, v.y, v.z, 1.0f};
            vec4 world;
            mat_transform_point(&cam.combined_inverse, &clip, &world);
            if (!planar_shadow_point(world, plane_point, normal, light.world_position, &flat[i])) {
                frame.written = 0;
                return;
            }
        }
        for (std::uint32_t i = 0; i < n; ++i) {
            const work_vertex v = source_vertex(rest, i);
            vec4 clip;
            mat_transform_point(&cam.combined, &flat[i], &clip);
            project_vertex(clip, frame.projection, frame.work + i, frame.screen + i);
            frame.work[i].u = v.u;
            frame.work[i].v = v.v;
            frame.work[i].intensity = 0.0f;
        }
        laid = static_cast<int>(n);
        if (scene_hooks().draw_shadow_mesh)
            scene_hooks().draw_shadow_mesh(node, view);
    }();
    shadow->id = -1;
    return laid;
}
