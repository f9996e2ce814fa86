#include "tools/datakit/world_bike_mesh.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "engine/model/mdl_format.h"
#include "tools/datakit/mdl_writer.h"

namespace datakit {

namespace {

constexpr float kPi = 3.14159265f;

vec4 sub(vec4 a, vec4 b) { return {a.x - b.x, a.y - b.y, a.z - b.z, 0.0f}; }
vec4 add(vec4 a, vec4 b) { return {a.x + b.x, a.y + b.y, a.z + b.z, 1.0f}; }
vec4 scaled(vec4 a, float s) { return {a.x * s, a.y * s, a.z * s, 0.0f}; }
vec4 cross(vec4 a, vec4 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x, 0.0f}; }
float length(vec4 a) { return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z); }

vec4 unit(vec4 a)
{
    const float l = length(a);
    return l > 0.0f ? scaled(a, 1.0f / l) : vec4{0.0f, 1.0f, 0.0f, 0.0f};
}

vec4 point(float x, float y, float z) { return {x, y, z, 1.0f}; }

} // namespace

std::uint32_t WorldMesh::material(const std::string& name)
{
    const auto it = std::find(materials_.begin(), materials_.end(), name);
    if (it != materials_.end())
        return static_cast<std::uint32_t>(it - materials_.begin());
    materials_.push_back(name);
    return static_cast<std::uint32_t>(materials_.size() - 1);
}

// Corners go counter-clockwise seen from the side the face shows; the
// normal follows from the first three.
void WorldMesh::quad(vec4 a, vec4 b, vec4 c, vec4 d, std::uint32_t material)
{
    const vec4 n = unit(cross(sub(b, a), sub(c, a)));
    const auto first = static_cast<std::uint32_t>(vertices_.size());
    vertices_.push_back(mdl_make_vertex(a, n, 0.0f, 0.0f));
    vertices_.push_back(mdl_make_vertex(b, n, 1.0f, 0.0f));
    vertices_.push_back(mdl_make_vertex(c, n, 1.0f, 1.0f));
    vertices_.push_back(mdl_make_vertex(d, n, 0.0f, 1.0f));
    faces_.push_back(mdl_make_face(material, {first, first + 1, first + 2, first + 3}, n));
}

void WorldMesh::triangle(vec4 a, vec4 b, vec4 c, std::uint32_t material)
{
    const vec4 n = unit(cross(sub(b, a), sub(c, a)));
    const auto first = static_cast<std::uint32_t>(vertices_.size());
    vertices_.push_back(mdl_make_vertex(a, n, 0.0f, 0.0f));
    vertices_.push_back(mdl_make_vertex(b, n, 1.0f, 0.0f));
    vertices_.push_back(mdl_make_vertex(c, n, 0.5f, 1.0f));
    faces_.push_back(mdl_make_face(material, {first, first + 1, first + 2}, n));
}

void WorldMesh::box(vec4 centre, vec4 half, std::uint32_t material)
{
    tapered_box(centre, half, 1.0f, 1.0f, material);
}

void WorldMesh::tapered_box(vec4 centre, vec4 half, float top_scale_x, float top_scale_z, std::uint32_t material)
{
    // Corner k: bit 0 right, bit 1 top, bit 2 front.
    vec4 c[8];
    for (int k = 0; k < 8; ++k) {
        const bool top = (k & 2) != 0;
        const float sx = (k & 1 ? 1.0f : -1.0f) * (top ? top_scale_x : 1.0f);
        const float sz = (k & 4 ? 1.0f : -1.0f) * (top ? top_scale_z : 1.0f);
        c[k] = point(centre.x + sx * half.x, centre.y + (top ? half.y : -half.y), centre.z + sz * half.z);
    }
    quad(c[2], c[6], c[7], c[3], material); // top
    quad(c[0], c[1], c[5], c[4], material); // bottom
    quad(c[4], c[5], c[7], c[6], material); // front
    quad(c[0], c[2], c[3], c[1], material); // back
    quad(c[1], c[3], c[7], c[5], material); // right
    quad(c[0], c[4], c[6], c[2], material); // left
}

void WorldMesh::cylinder_x(vec4 centre, float radius, float half_width, int sides, std::uint32_t tread,
                           std::uint32_t cap)
{
    const vec4 left = point(centre.x - half_width, centre.y, centre.z);
    const vec4 right = point(centre.x + half_width, centre.y, centre.z);
    for (int s = 0; s < sides; ++s) {
        const float a0 = 2.0f * kPi * static_cast<float>(s) / static_cast<float>(sides);
        const float a1 = 2.0f * kPi * static_cast<float>(s + 1) / static_cast<float>(sides);
        const float y0 = std::cos(a0) * radius, z0 = std::sin(a0) * radius;
        const float y1 = std::cos(a1) * radius, z1 = std::sin(a1) * radius;
        const vec4 l0 = point(left.x, centre.y + y0, centre.z + z0), l1 = point(left.x, centre.y + y1, centre.z + z1);
        const vec4 r0 = point(right.x, centre.y + y0, centre.z + z0), r1 = point(right.x, centre.y + y1, centre.z + z1);
        quad(l0, l1, r1, r0, tread);
        triangle(right, r0, r1, cap);
        triangle(left, l1, l0, cap);
    }
}

void WorldMesh::tube(vec4 a, vec4 b, float radius, int sides, std::uint32_t material)
{
    const vec4 axis = unit(sub(b, a));
    const vec4 helper = std::fabs(axis.y) < 0.9f ? vec4{0, 1, 0, 0} : vec4{1, 0, 0, 0};
    const vec4 u = unit(cross(axis, helper));
    const vec4 v = cross(u, axis);
    for (int s = 0; s < sides; ++s) {
        const float a0 = 2.0f * kPi * static_cast<float>(s) / static_cast<float>(sides);
        const float a1 = 2.0f * kPi * static_cast<float>(s + 1) / static_cast<float>(sides);
        const vec4 o0 = add(scaled(u, std::cos(a0) * radius), scaled(v, std::sin(a0) * radius));
        const vec4 o1 = add(scaled(u, std::cos(a1) * radius), scaled(v, std::sin(a1) * radius));
        quad(add(a, o0), add(b, o0), add(b, o1), add(a, o1), material);
    }
}

void WorldMesh::ellipsoid(vec4 centre, vec4 radii, int slices, int stacks, std::uint32_t material)
{
    auto at = [&](int slice, int stack) {
        const float theta = kPi * static_cast<float>(stack) / static_cast<float>(stacks);
        const float phi = 2.0f * kPi * static_cast<float>(slice) / static_cast<float>(slices);
        return point(centre.x + radii.x * std::sin(theta) * std::sin(phi), centre.y + radii.y * std::cos(theta),
                     centre.z + radii.z * std::sin(theta) * std::cos(phi));
    };
    for (int st = 0; st < stacks; ++st)
        for (int sl = 0; sl < slices; ++sl) {
            if (st == 0)
                triangle(at(sl, 0), at(sl, 1), at(sl + 1, 1), material);
            else if (st == stacks - 1)
                triangle(at(sl, st), at(sl, st + 1), at(sl + 1, st), material);
            else
                quad(at(sl, st), at(sl, st + 1), at(sl + 1, st + 1), at(sl + 1, st), material);
        }
}

void WorldMesh::ground_card(float y, float half_x, float z0, float z1, std::uint32_t material)
{
    quad(point(-half_x, y, z0), point(-half_x, y, z1), point(half_x, y, z1), point(half_x, y, z0), material);
}

mdl_object WorldMesh::object(const std::string& name) const
{
    float r2 = 0.0f;
    for (const mdl_vertex& v : vertices_) {
        const float x = std::bit_cast<float>(v[0]), y = std::bit_cast<float>(v[1]), z = std::bit_cast<float>(v[2]);
        r2 = std::max(r2, x * x + y * y + z * z);
    }
    return mdl_mesh_object(name, materials_, vertices_, faces_, std::sqrt(r2));
}

mdl_object world_empty(const std::string& name, vec4 position, vec4 angles)
{
    mdl_object o = mdl_empty_object(name.c_str(), 0, -1, -1, -1, 0);
    o.position = {position.x, position.y, position.z, 1.0f};
    o.angles = angles;
    return o;
}

void world_link(std::vector<mdl_object>& objects, const std::vector<int>& parents)
{
    for (std::size_t i = 0; i < objects.size(); ++i) {
        objects[i].id = static_cast<std::uint32_t>(i);
        objects[i].parent = parents[i];
        objects[i].child = -1;
        objects[i].sibling = -1;
    }
    // Children in list order: the first becomes the parent's first child,
    // each later one the next sibling of the one before.
    std::vector<int> last_child(objects.size(), -1);
    for (std::size_t i = 1; i < objects.size(); ++i) {
        const int p = parents[i];
        if (last_child[static_cast<std::size_t>(p)] < 0)
            objects[static_cast<std::size_t>(p)].child = static_cast<std::int32_t>(i);
        else
            objects[static_cast<std::size_t>(last_child[static_cast<std::size_t>(p)])].sibling =
                static_cast<std::int32_t>(i);
        last_child[static_cast<std::size_t>(p)] = static_cast<int>(i);
    }
}

std::size_t world_level_vertices(const mdl_level& level)
{
    std::size_t n = 0;
    for (const mdl_object& o : level.objects)
        if (o.type == 4)
            n += o.mesh.vertices.size();
    return n;
}

} // namespace datakit
