// Segment hit tests: the two face tests and the node and instance tests
// built on them.

#include "engine/model/hit_test.h"

#include <cstring>

#include "engine/base/mat4.h"
#include "engine/model/mdl_format.h"
#include "engine/model/ml_modelinfo.h"

namespace {

float word_float(const std::uint8_t* record, int word)
{
    float f;
    std::memcpy(&f, record + word * 4, 4);
    return f;
}

std::uint32_t word_u32(const std::uint8_t* record, int word)
{
    std::uint32_t v;
    std::memcpy(&v, record + word * 4, 4);
    return v;
}

vec4 sub(const vec4& a, const vec4& b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z, 0.0f};
}

vec4 cross(const vec4& a, const vec4& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x, 0.0f};
}

float dot(const vec4& a, const vec4& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

// The face's corners (3 or 4) and its recomputed normal, stored into the
// face and the result; 0 when the face does not fit the vertices.
int face_corners(std::uint8_t* face, const std::uint8_t* vertices, std::size_t vertex_bytes, vec4 p[4],
                 hit_result& out)
{
    const std::uint32_t count = word_u32(face, mdl::face_word_corners);
    if (count != 3 && count != 4)
        return 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t offset = word_u32(face, mdl::face_word_corner0 + static_cast<int>(i));
        if (offset % mdl::vertex_bytes != 0 || offset + mdl::vertex_bytes > vertex_bytes)
            return 0;
        const std::uint8_t* v = vertices + offset;
        p[i] = {word_float(v, 0), word_float(v, 1), word_float(v, 2), 1.0f};
    }
    const vec4 n = cross(sub(p[1], p[0]), sub(p[2], p[0]));
    out.normal = n;
    std::memcpy(face + 8, &n.x, 4);
    std::memcpy(face + 12, &n.y, 4);
    std::memcpy(face + 16, &n.z, 4);
    return static_cast<int>(count);
}

vec4 place(const mat4& m, const vec4& p)
{
    vec4 out{};
    const vec4 in{p.x, p.y, p.z, 1.0f};
    mat_transform_point(&m, &in, &out);
    return out;
}

} // namespace

int face_segment_test(hit_result& out, std::uint8_t* face, const std::uint8_t* vertices, std::size_t vertex_bytes,
                      const vec4 seg[2], float limit)
{
    vec4 p[4];
    const int count = face_corners(face, vertices, vertex_bytes, p, out);
    if (!count)
        return 0;
    const vec4& n = out.normal;
    const vec4& s = seg[0];
    for (int i = 0; i < count; ++i) {
        const vec4& a = p[i];
        const vec4& b = p[(i + 1) % count];
        if ((s.z - a.z) * (a.x - b.x) + (b.z - a.z) * (s.x - a.x) < 0.0f)
            return 0;
    }
    const float height = seg[1].y - s.y;
    if (n.y == 0.0f || height == 0.0f)
        return 0;
    const float t = dot(sub(p[0], s), n) / (height * n.y);
    out.t = t;
    if (!(t <= limit && t >= 0.0f && t <= 1.0f))
        return 0;
    out.point = {s.x, s.y + height * t, s.z, 1.0f};
    return 1;
}

int face_segment_test_nearest(hit_result& out, std::uint8_t* face, const std::uint8_t* vertices,
                              std::size_t vertex_bytes, const vec4 seg[2], float limit)
{
    vec4 p[4];
    const int count = face_corners(face, vertices, vertex_bytes, p, out);
    const vec4& n = out.normal;
    const vec4 dir = sub(seg[1], seg[0]);
    const float along = dot(dir, n);
    if (!count || along == 0.0f)
        return 0;
    const float t = dot(sub(p[0], seg[0]), n) / along;
    out.t = t;
    if (!(t <= limit && t >= 0.0f && t <= 1.0f))
        return 0;
    const vec4 h{seg[0].x + t * dir.x, seg[0].y + t * dir.y, seg[0].z + t * dir.z, 1.0f};
    out.point = h;
    for (int i = 0; i < count; ++i) {
        const vec4& a = p[i];
        const vec4& b = p[(i + 1) % count];
        if (dot(cross(n, sub(b, a)), sub(h, a)) < 0.0f)
            return 0;
    }
    return 1;
}

int node_hit_test(model_node* node, const vec4 seg[2], int mode, std::int32_t id, hit_result& result)
{
    if (!node || !(node->flags & node_loaded) || !node->hit_mesh)
        return 0;
    model_part& mesh = *node->hit_mesh;
    const vec4 local[2] = {place(node->inverse_world, seg[0]), place(node->inverse_world, seg[1])};
    int found = 0;
    for (std::uint32_t f = 0; f < mesh.face_count; ++f) {
        std::uint8_t* face = mesh.faces.data() + static_cast<std::size_t>(f) * model_part::face_bytes;
        hit_result h;
        const int hit = mode == 1 ? face_segment_test_nearest(h, face, mesh.vertices.data(), mesh.vertices.size(),
                                                              local, result.nearest)
                                  : face_segment_test(h, face, mesh.vertices.data(), mesh.vertices.size(), local,
                                                      1.0f);
        if (!hit)
            continue;
        result.point = place(node->world, h.point);
        // A normal goes to the world by the inverse transpose, so that it
        // stays upright on a face of a scaled node.
        const mat4& inv = node->inverse_world;
        result.normal = {h.normal.x * inv.m[0][0] + h.normal.y * inv.m[0][1] + h.normal.z * inv.m[0][2],
                         h.normal.x * inv.m[1][0] + h.normal.y * inv.m[1][1] + h.normal.z * inv.m[1][2],
                         h.normal.x * inv.m[2][0] + h.normal.y * inv.m[2][1] + h.normal.z * inv.m[2][2], 0.0f};
        result.t = h.t;
        result.id = id;
        result.node = node;
        result.face = static_cast<std::int32_t>(f);
        result.hit = 1;
        found = 1;
        if (mode == 1)
            result.nearest = h.t;
        else
            break;
    }
    return found;
}

int ml_modelinfo::hit_test(hit_result* result, const vec4 segment[2], std::int32_t hit_id)
{
    result->nearest = 1.02f;
    for (model_node* n = first_node; n; n = n->next)
        node_hit_test(n, segment, 1, hit_id, *result);
    return result->hit;
}
