#include <algorithm>
#include <bit>
#include <stdexcept>

#include "engine/model/mdl_format.h"
#include "tools/datakit/mdl_writer.h"
#include "tools/datakit/world_track_parts.h"

namespace datakit::world {

namespace {

vec4 v4(V3 p, float w) { return {static_cast<float>(p.x), static_cast<float>(p.y), static_cast<float>(p.z), w}; }

} // namespace

std::uint32_t MeshBuilder::vertex(V3 p, V3 normal, double u, double v)
{
    vertices_.push_back(mdl_make_vertex(v4(p - origin_, 1.0f), v4(unit(normal), 0.0f), static_cast<float>(u),
                                        static_cast<float>(v)));
    return static_cast<std::uint32_t>(vertices_.size() - 1);
}

std::uint32_t MeshBuilder::material(const std::string& name)
{
    const auto it = std::find(materials_.begin(), materials_.end(), name);
    if (it != materials_.end())
        return static_cast<std::uint32_t>(it - materials_.begin());
    materials_.push_back(name);
    return static_cast<std::uint32_t>(materials_.size() - 1);
}

V3 MeshBuilder::position(std::uint32_t i) const
{
    const mdl_vertex& v = vertices_[i];
    return V3{std::bit_cast<float>(v[0]), std::bit_cast<float>(v[1]), std::bit_cast<float>(v[2])} + origin_;
}

void MeshBuilder::quad(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d, const std::string& material,
                       V3 facing)
{
    const V3 pa = position(a), pb = position(b), pc = position(c), pd = position(d);
    V3 n = cross(pc - pa, pd - pb);
    if (length(n) < 1e-9)
        return;
    std::vector<std::uint32_t> corners{a, b, c, d};
    if (dot(n, facing) < 0.0) {
        std::reverse(corners.begin(), corners.end());
        n = n * -1.0;
    }
    faces_.push_back(mdl_make_face(this->material(material), corners, v4(unit(n), 0.0f)));
}

void MeshBuilder::triangle(std::uint32_t a, std::uint32_t b, std::uint32_t c, const std::string& material, V3 facing)
{
    const V3 pa = position(a), pb = position(b), pc = position(c);
    V3 n = cross(pb - pa, pc - pa);
    if (length(n) < 1e-9)
        return;
    std::vector<std::uint32_t> corners{a, b, c};
    if (dot(n, facing) < 0.0) {
        std::swap(corners[1], corners[2]);
        n = n * -1.0;
    }
    faces_.push_back(mdl_make_face(this->material(material), corners, v4(unit(n), 0.0f)));
}

void MeshBuilder::box(V3 centre, V3 half, double heading, const std::string& material, double uv_scale)
{
    const V3 ax{std::cos(heading), 0.0, -std::sin(heading)}; // local x
    const V3 az{std::sin(heading), 0.0, std::cos(heading)};  // local z
    const V3 ay{0.0, 1.0, 0.0};
    const V3 axes[3] = {ax, ay, az};
    const double halves[3] = {half.x, half.y, half.z};
    for (int axis = 0; axis < 3; ++axis) {
        for (int sign = -1; sign <= 1; sign += 2) {
            const V3 n = axes[axis] * sign;
            const V3 u = axes[(axis + 1) % 3], w = axes[(axis + 2) % 3];
            const double hu = halves[(axis + 1) % 3], hw = halves[(axis + 2) % 3];
            const V3 c = centre + n * halves[axis];
            const double su = 2.0 * hu * uv_scale, sw = 2.0 * hw * uv_scale;
            const std::uint32_t a = vertex(c - u * hu - w * hw, n, 0.0, 0.0);
            const std::uint32_t b = vertex(c + u * hu - w * hw, n, su, 0.0);
            const std::uint32_t d = vertex(c + u * hu + w * hw, n, su, sw);
            const std::uint32_t e = vertex(c - u * hu + w * hw, n, 0.0, sw);
            quad(a, b, d, e, material, n);
        }
    }
}

void MeshBuilder::board(V3 base, double width, double height, double heading, const std::string& material,
                        bool two_sided, double lift)
{
    const V3 across{std::cos(heading), 0.0, -std::sin(heading)};
    const V3 facing{std::sin(heading), 0.0, std::cos(heading)};
    const V3 up{0.0, 1.0, 0.0};
    const V3 b = base + up * lift;
    for (int side = 0; side < (two_sided ? 2 : 1); ++side) {
        const V3 n = side == 0 ? facing : facing * -1.0;
        // Seen from the front, u runs left to right, v from top to bottom.
        const V3 left = side == 0 ? across * -1.0 : across;
        const std::uint32_t a = vertex(b + left * (width / 2.0), n, 0.0, 1.0);
        const std::uint32_t c = vertex(b - left * (width / 2.0), n, 1.0, 1.0);
        const std::uint32_t d = vertex(b - left * (width / 2.0) + up * height, n, 1.0, 0.0);
        const std::uint32_t e = vertex(b + left * (width / 2.0) + up * height, n, 0.0, 0.0);
        quad(a, c, d, e, material, n);
    }
}

double MeshBuilder::radius() const
{
    double r = 0.0;
    for (std::uint32_t i = 0; i < vertices_.size(); ++i)
        r = std::max(r, length(position(i) - origin_));
    return r;
}

mdl_object MeshBuilder::object(const char* name) const
{
    // The reader's limits: 1000 vertices a mesh, and face offsets that fit
    // the 16-bit face lists.
    if (vertices_.size() > 1000 || faces_.size() * mdl::face_bytes > 0xFFFE)
        throw std::length_error(std::string("mesh \"") + name + "\" is too large");
    return mdl_mesh_object(name, materials_, vertices_, faces_, static_cast<float>(radius()));
}

mdl_level assemble_level(const std::string& name, V3 position, std::vector<mdl_object> children,
                         const std::string& root_name)
{
    mdl_level level;
    level.name = name;
    const auto count = static_cast<std::int32_t>(children.size());
    const std::string root_as = root_name.empty() ? name : root_name;
    mdl_object root = mdl_empty_object(root_as.c_str(), 0, -1, -1, count > 0 ? 1 : -1, 0);
    root.position = {static_cast<float>(position.x), static_cast<float>(position.y), static_cast<float>(position.z),
                     1.0f};
    float radius = 0.0f;
    for (std::int32_t i = 0; i < count; ++i) {
        mdl_object& c = children[static_cast<std::size_t>(i)];
        c.id = static_cast<std::uint32_t>(i + 1);
        c.parent = 0;
        c.sibling = i + 1 < count ? i + 2 : -1;
        c.child = -1;
        const float reach = std::sqrt(c.position.x * c.position.x + c.position.y * c.position.y +
                                      c.position.z * c.position.z) + c.radius;
        radius = std::max(radius, reach);
    }
    root.radius = radius;
    level.objects.push_back(root);
    for (mdl_object& c : children)
        level.objects.push_back(std::move(c));
    return level;
}

} // namespace datakit::world
