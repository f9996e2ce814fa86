#pragma once

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/base/name_hash.h"
#include "engine/model/ml_modelinfo.h"
#include "engine/model/model_lib.h"
#include "tests/support/temp_dir.h"
#include "tools/datakit/mdl_writer.h"

namespace scene_test {

// Writes a model `name` whose one detail level holds the single object with
// the data kit into a temporary folder, loads it through a model library
// (kept in `lib`) and returns the object's node (null on failure).
inline model_node* load_kit_object(std::unique_ptr<model_lib>& lib, const char* name, const mdl_object& object)
{
    const auto path = torvane_test::make_temp_dir("kit_model") / "Kit.mdl";
    std::string error;
    EXPECT_TRUE(datakit::write_mdl(path, {datakit::mdl_single_level(name, {object})}, error)) << error;
    lib = std::make_unique<model_lib>("kit");
    if (lib->try_open(path.string().c_str()) != mdl_status::ok || lib->load_model(name, 0) != 1)
        return nullptr;
    return lib->find_model(name_hash(name))->find_node(name_hash(object.name.c_str()));
}

// A flat mesh of 2 x 2 quads over x and z from -half to half at height `y`
// (x shifted by `dx`), every vertex of level value `level`, u = x / (2 half)
// + 0.5 before the shift. Each quad's corners run (x0, z1), (x1, z1), (x1,
// z0), (x0, z0), the order whose edge functions are positive inside.
inline mdl_object kit_ground_mesh(const char* name, std::uint32_t id, float dx, float y, float level,
                                  const char* material, float half = 10.0f)
{
    mdl_object o = datakit::mdl_box_object(name, {1, 1, 1, 0}, material);
    o.id = id;
    o.parent = 0;
    o.mesh.vertices.clear();
    o.mesh.faces.clear();
    const vec4 up{0, 1, 0, 0};
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i) {
            const float x = -half + half * static_cast<float>(i);
            const float z = -half + half * static_cast<float>(j);
            mdl_vertex v =
                datakit::mdl_make_vertex({x + dx, y, z, 1}, up, x / (2.0f * half) + 0.5f, z / (2.0f * half) + 0.5f);
            std::memcpy(&v[10], &level, 4);
            o.mesh.vertices.push_back(v);
        }
    const auto at = [](int i, int j) { return static_cast<std::uint32_t>(3 * j + i); };
    for (int j = 0; j < 2; ++j)
        for (int i = 0; i < 2; ++i)
            o.mesh.faces.push_back(
                datakit::mdl_make_face(0, {at(i, j + 1), at(i + 1, j + 1), at(i + 1, j), at(i, j)}, up));
    o.mesh.face_lists = datakit::mdl_face_lists(o.mesh.faces, o.mesh.vertices.size());
    return o;
}

// A model with a linked shadow: `model` is an empty root holding "BODY", a
// box of half sizes (1, 0.5, 2) in `paint`; `shadow` is one flat quad mesh
// in `dark`, the box's bottom corners moved 0.1 out along x (so each
// corner's nearest box vertex is that bottom corner: box vertices 0, 1, 5
// and 4 for the quad's corners 0 to 3).
inline std::vector<mdl_model> kit_shadowed_box(const char* model, const char* shadow, const char* paint,
                                               const char* dark)
{
    mdl_object root = datakit::mdl_empty_object(model, 0, -1, -1, 1);
    root.radius = 3.0f;
    mdl_object body = datakit::mdl_box_object("BODY", {1.0f, 0.5f, 2.0f, 0.0f}, paint);
    body.id = 1;
    body.parent = 0;
    mdl_object flat = datakit::mdl_box_object(shadow, {1, 1, 1, 0}, dark);
    flat.id = 0;
    const vec4 up{0, 1, 0, 0};
    flat.mesh.vertices = {datakit::mdl_make_vertex({-1.1f, -0.5f, -2, 1}, up, 0, 0),
                          datakit::mdl_make_vertex({1.1f, -0.5f, -2, 1}, up, 1, 0),
                          datakit::mdl_make_vertex({1.1f, -0.5f, 2, 1}, up, 1, 1),
                          datakit::mdl_make_vertex({-1.1f, -0.5f, 2, 1}, up, 0, 1)};
    flat.mesh.faces = {datakit::mdl_make_face(0, {0, 1, 2, 3}, up)};
    flat.mesh.face_lists = datakit::mdl_face_lists(flat.mesh.faces, 4);
    return {datakit::mdl_single_level(model, {root, body}), datakit::mdl_single_level(shadow, {flat})};
}

} // namespace scene_test
