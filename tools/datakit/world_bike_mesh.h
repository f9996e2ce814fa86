#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/model/mdl_reader.h"

namespace datakit {

// Builds the mesh of one drawn object of the bike and rider models from
// solids (boxes, wedges, cylinders, ellipsoids, flat cards), each face with
// its own vertices so that edges stay sharp under the pipeline's lighting.
// Coordinates are the object's own: x to the right, y up, z forward.
class WorldMesh {
public:
    // The material's number on this object (added on first use).
    std::uint32_t material(const std::string& name);

    void quad(vec4 a, vec4 b, vec4 c, vec4 d, std::uint32_t material);
    void triangle(vec4 a, vec4 b, vec4 c, std::uint32_t material);
    // An axis-aligned box around `centre`.
    void box(vec4 centre, vec4 half, std::uint32_t material);
    // A box whose top face is `top_scale` times its bottom face in x and z
    // (a fuel tank, a seat hump, a fairing's nose).
    void tapered_box(vec4 centre, vec4 half, float top_scale_x, float top_scale_z, std::uint32_t material);
    // A cylinder along x (a wheel, an axle): `sides` faces round, end caps
    // as fans from their centres.
    void cylinder_x(vec4 centre, float radius, float half_width, int sides, std::uint32_t tread,
                    std::uint32_t cap);
    // A tube of `sides` faces from a to b (fork legs, exhaust, frame rails).
    void tube(vec4 a, vec4 b, float radius, int sides, std::uint32_t material);
    // An ellipsoid of `slices` around y and `stacks` from pole to pole.
    void ellipsoid(vec4 centre, vec4 radii, int slices, int stacks, std::uint32_t material);
    // A card in the x-z plane at height y facing up (shadows, skid marks).
    void ground_card(float y, float half_x, float z0, float z1, std::uint32_t material);

    std::size_t vertex_count() const { return vertices_.size(); }
    std::size_t face_count() const { return faces_.size(); }

    // The drawn object (type 4, drawn in pass 0) holding the mesh; its
    // radius reaches the farthest vertex.
    mdl_object object(const std::string& name) const;

private:
    std::vector<std::string> materials_;
    std::vector<mdl_vertex> vertices_;
    std::vector<mdl_face> faces_;
};

// An empty helper object (a pivot, a joint, a view point).
mdl_object world_empty(const std::string& name, vec4 position, vec4 angles = {});

// Links a level's objects into a hierarchy from each object's parent index
// (objects listed in depth-first order; -1 for the root): sets ids,
// parents, first children and next siblings.
void world_link(std::vector<mdl_object>& objects, const std::vector<int>& parents);

// The number of vertices of every mesh of a level.
std::size_t world_level_vertices(const mdl_level& level);

} // namespace datakit
