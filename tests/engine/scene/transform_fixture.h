#pragma once

#include <cstring>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "engine/base/engine.h"
#include "engine/base/mat4.h"
#include "engine/model/model_node.h"
#include "engine/scene/vertex_transform.h"
#include "tests/engine/model/model_fixture.h"

namespace scene_test {

// A current engine context (hardware render type) and a frame whose view is
// 640 x 480 pixels, near plane at z = -1 and far plane at z = -400000.
class TransformTest : public model_test::ModelTest {
protected:
    void SetUp() override
    {
        ModelTest::SetUp();
        frame.context = current_engine;
        frame.projection = {319.0f, 239.0f, 319.0f, 239.0f, -1.0f, -400000.0f};
        transform_reset_faults();
    }

    mesh_frame frame;
};

// Vertex i of the rest array: position p, normal (0, 0, 1), u = i,
// v = 2 i, intensity 0.5.
inline model_part* mesh_of(const std::vector<vec4>& points)
{
    auto* m = new model_part;
    m->vertex_count = static_cast<std::uint32_t>(points.size());
    m->vertices.resize(points.size() * pipeline_vertex_bytes);
    for (std::size_t i = 0; i < points.size(); ++i) {
        const float f = static_cast<float>(i);
        const work_vertex v{points[i].x, points[i].y, points[i].z, 1.0f, 0.0f, 0.0f, 1.0f, 0.0f,
                            f,           2.0f * f,    0.5f,        0};
        std::memcpy(m->vertices.data() + i * pipeline_vertex_bytes, &v, sizeof v);
    }
    return m;
}

// A library-owned mesh node (it owns the part) at the identity.
inline std::unique_ptr<model_node> mesh_node(model_part* mesh, std::uint32_t kind = node_kind_full)
{
    auto node = std::make_unique<model_node>(kind);
    node->owner_state = 1;
    node->type = node_mesh;
    node->mesh = mesh;
    mat_identity(&node->world);
    return node;
}

inline mat4 identity()
{
    mat4 m{};
    mat_identity(&m);
    return m;
}

inline mat4 translation(float x, float y, float z)
{
    mat4 m = identity();
    m.m[3][0] = x;
    m.m[3][1] = y;
    m.m[3][2] = z;
    return m;
}

// The camera lens of a 90-degree field of view at the origin:
// (x, y, z, 1) -> (x, y, z, -z).
inline mat4 lens90()
{
    mat4 m = identity();
    m.m[2][3] = -1.0f;
    m.m[3][3] = 0.0f;
    return m;
}

// The eight corners of the cube of half-size h around c.
inline std::vector<vec4> cube(vec4 c, float h)
{
    std::vector<vec4> out;
    for (int i = 0; i < 8; ++i)
        out.push_back({c.x + ((i & 1) ? h : -h), c.y + ((i & 2) ? h : -h), c.z + ((i & 4) ? h : -h), 1.0f});
    return out;
}

} // namespace scene_test
