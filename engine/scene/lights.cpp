#include "engine/scene/lights.h"

#include <cmath>

#include "engine/base/engine.h"
#include "engine/base/node_binding.h"
#include "engine/model/model_node.h"
#include "engine/scene/camera.h"

namespace {

// The point a link follows, read from its bound model node.
bool link_point(const node_binding& link, vec4& out)
{
    const auto* node = static_cast<const model_node*>(link.bound);
    if (!node)
        return false;
    switch (link.value) {
    case light_source_world_position:
        out.x = node->world.m[3][0];
        out.y = node->world.m[3][1];
        out.z = node->world.m[3][2];
        return true;
    case light_source_local_position:
        out.x = node->local_position.x;
        out.y = node->local_position.y;
        out.z = node->local_position.z;
        return true;
    case light_source_world_centre:
        out.x = node->world_centre.x;
        out.y = node->world_centre.y;
        out.z = node->world_centre.z;
        return true;
    default:
        return false;
    }
}

float length3(float x, float y, float z)
{
    return std::sqrt(x * x + y * y + z * z);
}

void spot_setup(scn_light& light)
{
    // Only the distance from the axis and the depth along it are read, so
    // the side and up directions' orientation does not matter.
    const vec4& p = light.position;
    const mat4 r = aim_basis(light.target.x - p.x, light.target.y - p.y, light.target.z - p.z);
    mat4 back;
    mat_identity(&back);
    back.m[3][0] = -p.x;
    back.m[3][1] = -p.y;
    back.m[3][2] = -p.z;
    mat_mul(&back, &light.spot_matrix, &r);
    light.cone_tan = static_cast<float>(std::tan(static_cast<double>(light.cone)));
    light.cone_tan_sq = light.cone_tan * light.cone_tan;
}

} // namespace

void light_set(scn_light& light, std::int32_t type, float r, float g, float b, float range, float cone_degrees,
               float softness)
{
    light.r = r;
    light.g = g;
    light.b = b;
    light.type = type;
    light.cone = cone_degrees * 0.017453293f;
    light.set_range(range);
    light.softness = softness;
}

void link_light_pointers(scn_light** lights, int n)
{
    for (int i = 0; i < n; ++i) {
        lights[i]->prev = i > 0 ? lights[i - 1] : nullptr;
        lights[i]->next = i + 1 < n ? lights[i + 1] : nullptr;
    }
}

void light_transform(scn_light& light, const mat4& view)
{
    for (const node_binding* link = light.links; link; link = link->next) {
        if (link->code == light_channel_position)
            link_point(*link, light.position);
        else if (link->code == light_channel_target && light.type == 2)
            link_point(*link, light.target);
    }
    light.world_position = light.position;

    vec4 out;
    switch (light.type) {
    case 1:
        mat_transform_point(&view, &light.position, &out);
        light.position = out;
        break;
    case 3: {
        mat_transform_point(&view, &light.position, &out);
        out.x -= view.m[3][0];
        out.y -= view.m[3][1];
        out.z -= view.m[3][2];
        const float l = length3(out.x, out.y, out.z) + 0.001f;
        light.position.x = out.x / l;
        light.position.y = out.y / l;
        light.position.z = out.z / l;
        break;
    }
    case 2:
        mat_transform_point(&view, &light.position, &out);
        light.position = out;
        mat_transform_point(&view, &light.target, &out);
        light.target = out;
        spot_setup(light);
        break;
    default:
        break;
    }
}

void light_vertex(float* result, const vec4* point, vec4* normal, const light_material& material,
                  scn_light* const* lights)
{
    const float k = current_engine ? current_engine->factor_a : 0.5f;
    const float kd = material.diffuse * k;
    float intensity = material.ambient * k;
    for (scn_light* const* it = lights; it && *it; ++it) {
        const scn_light& l = **it;
        if (l.type == 3) {
            const float nl = length3(normal->x, normal->y, normal->z) + 0.001f;
            normal->x /= nl;
            normal->y /= nl;
            normal->z /= nl;
            const float d = l.position.x * normal->x + l.position.y * normal->y + l.position.z * normal->z;
            if (d > 0.0f)
                intensity += kd * d * l.r;
            continue;
        }
        const float vx = l.position.x - point->x;
        const float vy = l.position.y - point->y;
        const float vz = l.position.z - point->z;
        const float q = vx * vx + vy * vy + vz * vz;
        if (!std::isless(q, l.range_sq) || !std::isgreater(q, 0.0f))
            continue;
        float a = (l.falloff * q + l.inv_range_sq) * q + 1.0f;
        if (!std::isgreater(a, 0.001f))
            continue;
        if (l.type == 2) {
            vec4 p;
            mat_transform_point(&l.spot_matrix, point, &p);
            const float rho2 = p.x * p.x + p.y * p.y;
            const float lambda = l.cone_tan_sq * p.z * p.z;
            if (!std::isgreater(p.z, 0.0f) || !std::isgreater(lambda, 0.0f) || !std::islessequal(rho2, lambda))
                continue;
            a = a / (1.0f + l.softness * rho2 / lambda);
        }
        const float d = (normal->x * vx + normal->y * vy + normal->z * vz) / std::sqrt(q);
        if (d > 0.0f)
            intensity += kd * d * a * l.r;
    }
    result[0] = intensity;
}
