// The ground under a point: the face tests over ground meshes, and the
// marking of ground meshes by their vertices' level values.

#include "engine/model/ground_poly.h"

#include <cmath>
#include <cstring>

#include "engine/base/engine.h"
#include "engine/base/mat4.h"
#include "engine/base/texture_record.h"
#include "engine/model/ml_modelinfo.h"
#include "engine/model/mtr_lib.h"

namespace {

constexpr std::size_t level_word_offset = 40;   // word 10 of a vertex record
constexpr std::size_t corner_offset = 24;       // words 6 to 9 of a face record

struct face_view {
    std::uint32_t corners = 0;
    std::uint32_t material = 0;
    std::uint32_t vertex[4] = {};
};

std::uint32_t stored_vertices(const model_part& mesh)
{
    const std::size_t stored = mesh.vertices.size() / model_part::vertex_bytes;
    return mesh.vertex_count < stored ? mesh.vertex_count : static_cast<std::uint32_t>(stored);
}

std::size_t stored_faces(const model_part& mesh)
{
    const std::size_t stored = mesh.faces.size() / model_part::face_bytes;
    return mesh.face_count < stored ? mesh.face_count : stored;
}

// Face f with its corners as vertex numbers; false for a corner count other
// than 3 or 4 or a corner that is not a vertex of the mesh.
bool read_face(const model_part& mesh, std::size_t f, face_view* out)
{
    const std::uint8_t* face = mesh.faces.data() + f * model_part::face_bytes;
    std::memcpy(&out->corners, face, 4);
    std::memcpy(&out->material, face + 4, 4);
    if (out->corners != 3 && out->corners != 4)
        return false;
    const std::uint32_t count = stored_vertices(mesh);
    for (std::uint32_t c = 0; c < out->corners; ++c) {
        std::uint32_t offset = 0;
        std::memcpy(&offset, face + corner_offset + 4 * c, 4);
        if (offset % model_part::vertex_bytes != 0 || offset / model_part::vertex_bytes >= count)
            return false;
        out->vertex[c] = offset / model_part::vertex_bytes;
    }
    return true;
}

float vertex_float(const model_part& mesh, std::uint32_t i, std::size_t offset)
{
    float v = 0.0f;
    std::memcpy(&v, mesh.vertices.data() + std::size_t{i} * model_part::vertex_bytes + offset, sizeof v);
    return v;
}

float face_level(const model_part& mesh, const face_view& f)
{
    float sum = 0.0f;
    for (std::uint32_t c = 0; c < f.corners; ++c)
        sum += vertex_float(mesh, f.vertex[c], level_word_offset);
    return f.corners == 4 ? sum * 0.25f : sum * 0.33333334f;
}

// Every edge function of the outline seen from above is 0 or more.
bool inside_outline(const model_part& mesh, const face_view& f, float px, float pz)
{
    for (std::uint32_t c = 0; c < f.corners; ++c) {
        const std::uint32_t a = f.vertex[c], b = f.vertex[(c + 1) % f.corners];
        const float ax = vertex_float(mesh, a, 0), az = vertex_float(mesh, a, 8);
        const float bx = vertex_float(mesh, b, 0), bz = vertex_float(mesh, b, 8);
        if ((bz - az) * (px - ax) + (ax - bx) * (pz - az) < 0.0f)
            return false;
    }
    return true;
}

// The texture coordinates at (px, pz) over the triangle of corners i, j, k
// (barycentric in x and z); false when the point is outside it or the
// triangle has no area seen from above.
bool triangle_uv(const model_part& mesh, std::uint32_t i, std::uint32_t j, std::uint32_t k, float px, float pz,
                 float* u, float* v)
{
    const float x0 = vertex_float(mesh, i, 0), z0 = vertex_float(mesh, i, 8);
    const float x1 = vertex_float(mesh, j, 0), z1 = vertex_float(mesh, j, 8);
    const float x2 = vertex_float(mesh, k, 0), z2 = vertex_float(mesh, k, 8);
    const float det = (x1 - x0) * (z2 - z0) - (x2 - x0) * (z1 - z0);
    if (!(std::fabs(det) > 1e-12f))
        return false;
    const float b1 = ((px - x0) * (z2 - z0) - (x2 - x0) * (pz - z0)) / det;
    const float b2 = ((x1 - x0) * (pz - z0) - (px - x0) * (z1 - z0)) / det;
    const float b0 = 1.0f - b1 - b2;
    if (b0 < -1e-6f || b1 < -1e-6f || b2 < -1e-6f)
        return false;
    *u = b0 * vertex_float(mesh, i, 32) + b1 * vertex_float(mesh, j, 32) + b2 * vertex_float(mesh, k, 32);
    *v = b0 * vertex_float(mesh, i, 36) + b1 * vertex_float(mesh, j, 36) + b2 * vertex_float(mesh, k, 36);
    return true;
}

// Whether the face's texture is clear under the point (no ground there).
bool clear_under(const model_node& node, const model_part& mesh, const face_view& f, float px, float pz)
{
    const auto clear = texture_surfaces().texel_clear;
    if (!clear || f.material >= node.material_refs.size())
        return false;
    const mesh_material* material = node.material_refs[f.material].material;
    if (!material || !material->texture || !material->texture->first_frame)
        return false;
    float u = 0.0f, v = 0.0f;
    if (!triangle_uv(mesh, f.vertex[0], f.vertex[1], f.vertex[2], px, pz, &u, &v) &&
        !(f.corners == 4 && triangle_uv(mesh, f.vertex[0], f.vertex[2], f.vertex[3], px, pz, &u, &v))) {
        u = vertex_float(mesh, f.vertex[0], 32);
        v = vertex_float(mesh, f.vertex[0], 36);
    }
    return clear(material->texture->first_frame, u, v);
}

// The point in the node's frame (x and z are what the face test reads).
vec4 into_node_frame(const model_node& node, const vec4& point)
{
    const model_node& driver = (node.flags & node_kind_level) && node.level0 ? *node.level0 : node;
    if (driver.flags & node_kind_compact_a)
        return {point.x - driver.local_position.x, point.y - driver.local_position.y,
                point.z - driver.local_position.z, 1.0f};
    const vec4 p{point.x, point.y, point.z, 1.0f};
    vec4 out{};
    mat_transform_point(&driver.inverse_world, &p, &out);
    return out;
}

enum class face_result { none, hit, clear };

face_result test_node(const model_node& node, const vec4& point)
{
    const model_part& mesh = *node.mesh;
    const vec4 p = into_node_frame(node, point);
    const bool cutout = (node.flags & node_flag_cutout) != 0;
    const bool software = current_engine && current_engine->render_type == engine::software_render_type;
    const float threshold = current_engine ? current_engine->height_threshold : 0.6f;
    const std::size_t faces = stored_faces(mesh);
    for (std::size_t i = 0; i < faces; ++i) {
        face_view f;
        if (!read_face(mesh, i, &f) || !inside_outline(mesh, f, p.x, p.z))
            continue;
        if (cutout) {
            if (software)
                return face_result::hit;
            return clear_under(node, mesh, f, p.x, p.z) ? face_result::clear : face_result::hit;
        }
        if (face_level(mesh, f) < threshold)
            return face_result::hit;
    }
    return face_result::none;
}

bool is_ground_mesh(const model_node* n)
{
    return (n->flags & node_flag_ground) && n->type == node_mesh && n->mesh;
}

} // namespace

int find_ground_poly_cached(model_node* node, const vec4& point, int coarse)
{
    (void)coarse;
    if (!node || node->type != node_mesh || !node->mesh)
        return 0;
    return test_node(*node, point) == face_result::hit ? 1 : 0;
}

int find_ground_poly(ml_modelinfo* instance, model_node** slot, const vec4& point, int coarse)
{
    (void)coarse;
    if (slot)
        *slot = nullptr;
    if (!instance || !instance->first_node)
        return 0;
    const model_node& root = *instance->first_node;
    const vec4 centre = root.is_full() ? root.world_centre : vec4{root.world.m[3][0], root.world.m[3][1],
                                                                 root.world.m[3][2], 1.0f};
    const float dx = point.x - centre.x, dy = point.y - centre.y, dz = point.z - centre.z;
    if (!(dx * dx + dy * dy + dz * dz < root.radius * root.radius))
        return 0;
    for (model_node* n = instance->first_node; n; n = n->next) {
        if (!is_ground_mesh(n))
            continue;
        const face_result r = test_node(*n, point);
        if (r == face_result::hit) {
            if (slot)
                *slot = n;
            return 1;
        }
        if (r == face_result::clear)
            return 0;
    }
    return 0;
}

int model_node::mark_below_level(float level, float amount)
{
    int result = 0;
    for (model_node* n = this; n; n = n->next_sibling) {
        if (n->type == node_mesh && n->mesh) {
            model_part& mesh = *n->mesh;
            const std::uint32_t count = stored_vertices(mesh);
            if (amount > 0.0f)
                for (std::uint32_t i = 0; i < count; ++i) {
                    std::uint8_t* at = mesh.vertices.data() + std::size_t{i} * model_part::vertex_bytes +
                                       level_word_offset;
                    float v = 0.0f;
                    std::memcpy(&v, at, sizeof v);
                    const float d = v - level;
                    const float f = d >= 0.0f ? std::pow(amount, d) : std::pow(amount, level + v);
                    v -= d * f;
                    std::memcpy(at, &v, sizeof v);
                }
            const float threshold = current_engine ? current_engine->height_threshold : 0.6f;
            if (n->flags & node_flag_cutout) {
                if (current_engine && current_engine->cutout_ground) {
                    n->flags |= node_flag_ground;
                    result = 1;
                }
            } else if (mesh.mesh_word != 1 && mesh.mesh_word != 2) {
                const std::size_t faces = stored_faces(mesh);
                for (std::size_t i = 0; i < faces; ++i) {
                    face_view f;
                    if (read_face(mesh, i, &f) && face_level(mesh, f) < threshold) {
                        n->flags |= node_flag_ground;
                        result = 1;
                        break;
                    }
                }
            }
        }
        if (n->first_child && n->first_child->mark_below_level(level, amount))
            result = 1;
    }
    return result;
}
