#pragma once

#include <cstring>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "engine/model/model_lib.h"
#include "engine/model/model_node.h"
#include "engine/model/mtr_lib.h"
#include "engine/render/polygon_target.h"
#include "engine/scene/mesh_draw.h"
#include "kit_model.h"
#include "tools/datakit/mdl_writer.h"
#include "transform_fixture.h"

namespace scene_test {

// A test double of the polygon batches: every call, with copies of its
// vertices.
struct recorded_polygon {
    int count = 0;
    bool contiguous = false;           // given as contiguous vertices (else as addresses)
    std::vector<clip_vertex> vertices;
    const mtr_texture* texture = nullptr;
    int bias = 0;
};

class recording_target final : public polygon_target {
public:
    int draw_polygons(int count, const clip_vertex* vertices, const clip_vertex* const* vertex_list,
                      const mtr_texture* texture, int depth_bias) override
    {
        recorded_polygon p;
        p.count = count;
        p.contiguous = vertices != nullptr;
        for (int i = 0; i < count; ++i)
            p.vertices.push_back(vertices ? vertices[i] : *vertex_list[i]);
        p.texture = texture;
        p.bias = depth_bias;
        calls.push_back(p);
        return 1;
    }
    std::vector<recorded_polygon> calls;
};

// A kit-made mesh object: the given vertices (normal +z, u = x, v = y,
// intensity `light`) and faces (all of material 0), with its face lists.
struct kit_face {
    std::vector<std::uint32_t> corners;
    std::int32_t bias = 0;
};

inline mdl_object kit_mesh_object(const char* name, const std::vector<vec4>& points, const std::vector<kit_face>& faces,
                                  const char* material, float light = 0.5f)
{
    mdl_object o = datakit::mdl_box_object(name, {1, 1, 1, 0}, material);
    o.mesh.vertices.clear();
    o.mesh.faces.clear();
    for (const vec4& p : points) {
        mdl_vertex v = datakit::mdl_make_vertex(p, {0, 0, 1, 0}, p.x, p.y);
        std::memcpy(&v[10], &light, 4);
        o.mesh.vertices.push_back(v);
    }
    for (const kit_face& f : faces) {
        mdl_face face = datakit::mdl_make_face(0, f.corners, {0, 0, 1, 0});
        face[12] = static_cast<std::uint32_t>(f.bias);
        o.mesh.faces.push_back(face);
    }
    o.mesh.face_lists = datakit::mdl_face_lists(o.mesh.faces, o.mesh.vertices.size());
    o.radius = 1000.0f;
    return o;
}

// The mesh drawing's fixture: a 640 x 480 view with a 90-degree field of
// view (w' = -z'), the matching clip record and a recording renderer.
class MeshDrawTest : public TransformTest {
protected:
    void SetUp() override
    {
        TransformTest::SetUp();
        mesh_draw_reset_faults();
        view.renderer = &target;
        view.clip = make_clip_record(1.0f, frame.projection);
        view.projection = frame.projection;
        view.context = current_engine;
    }

    // Loads the kit object and carries its vertices to clip space at the
    // identity (view space = model space), with face normals.
    model_node* load_and_transform(const mdl_object& object)
    {
        model_node* node = load_kit_object(lib, object.name.c_str(), object);
        if (!node)
            return nullptr;
        mat_identity(&node->world);
        EXPECT_EQ(transform_mesh_matrix(frame, *node, lens90()), 0);
        face_normals(*node->mesh, frame.work, frame.written);
        return node;
    }

    // The faces of the node's mesh facing the eye at the origin.
    std::vector<const mesh_face*> front_faces(const model_node& node)
    {
        std::vector<const mesh_face*> out(mesh_face_count(*node.mesh) + 1);
        backface_select(*node.mesh, {0, 0, 0, 1}, frame.work, frame.written, out.data());
        return out;
    }

    std::unique_ptr<model_lib> lib;
    recording_target target;
    mesh_view view;
};

} // namespace scene_test
