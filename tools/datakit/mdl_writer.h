#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/model/mdl_reader.h"

namespace datakit {

// A record the writer put in the file and where it starts; tests cut and
// damage files there.
struct MdlMark {
    std::string kind;   // "header", "model", "list", "object", "binding", "patch", "mesh", "faces", ...
    std::size_t position = 0;
};

// The bytes of an ".MDL" model library holding the models in order, as the
// game's reader expects (engine/model/mdl_format.h, docs/engine-model.md):
// header and directory, then per model its header and detail-level entries,
// per level its object list, per object a 12-byte lead, the 256-byte record
// and its payloads. Counts come from the description's vectors (the mesh
// header's V, F, I and cloth flag, the bone's group count, the muscle's P
// and key count); pointer slots are written as zeros; stored name hashes
// (material references) are name_hash of the names.
std::vector<std::uint8_t> mdl_bytes(const std::vector<mdl_model>& models, std::vector<MdlMark>* marks = nullptr);

// Writes the library (atomically). False and `error` on failure.
bool write_mdl(const std::filesystem::path& path, const std::vector<mdl_model>& models, std::string& error);

// Geometry helpers for fixtures and demo data.

// A face of 3 or 4 corners given as vertex numbers, with the material index
// and a unit normal.
mdl_face mdl_make_face(std::uint32_t material, std::vector<std::uint32_t> corners, vec4 normal);
mdl_vertex mdl_make_vertex(vec4 position, vec4 normal, float u, float v);
// The per-vertex face lists of the faces: for each vertex the byte offsets
// of the faces that use it, each run ended by 0xFFFF.
std::vector<std::uint16_t> mdl_face_lists(const std::vector<mdl_face>& faces, std::size_t vertex_count);
// A mesh object (type 4, drawn in pass 0) of the given materials, vertices
// and faces, with its face lists and bounding radius.
mdl_object mdl_mesh_object(const std::string& name, std::vector<std::string> materials,
                           std::vector<mdl_vertex> vertices, std::vector<mdl_face> faces, float radius);
// How a mesh is lit when drawn. A mesh object without the lazy-lighting
// flag (node flag 0x2) draws with the intensity stored in its vertices
// (1.0 the texture's own colour on both devices); the race draws its track
// scene that way, so the kit bakes the sun into those vertices.
inline constexpr std::uint32_t kMdlLazyLighting = 0x2;
// Sets every mesh vertex's stored intensity to ambient + diffuse x max(0,
// n . towards_light) (towards_light a unit vector to the sun, n the
// vertex's normal as written; the objects must not be turned).
void mdl_bake_light(std::vector<mdl_model>& models, vec4 towards_light, float ambient, float diffuse);
// Sets the lazy-lighting flag on every mesh object: lit each frame by the
// scene's first light and the material's ambient and diffuse words
// (things that move: bikes, riders).
void mdl_light_lazily(mdl_model& model);

// Gives every mesh object of a level above 0 the material list of its
// level-0 namesake (same order, its own extra materials after them),
// renumbering its faces, so that a face's material index means the same
// in the far node's own list and in its near namesake's (the software
// path resolves a far node to its near namesake before drawing, and a
// reading of its material list through that node stays right).
void mdl_align_level_materials(mdl_model& model);

// A box mesh object (6 quads with unit normals, one material) of the given
// half sizes, drawn in pass 0.
mdl_object mdl_box_object(const char* name, vec4 half, const char* material);
// A patch grid object of `rows` x `columns` control points given row by
// row (`rows` is the grid's U, `columns` its V), with the spline kind,
// wrapping and tension of each direction and one material.
struct MdlPatchShape {
    std::uint32_t basis_u = 2;   // 2 uniform cubic B-spline, 3 cardinal
    std::uint32_t basis_v = 2;
    bool closed_u = false;
    bool closed_v = false;
    float tension_u = 0.5f;
    float tension_v = 0.5f;
};
mdl_object mdl_patch_object(const char* name, std::uint32_t rows, std::uint32_t columns, std::vector<vec4> points,
                            const char* material, MdlPatchShape shape = {});
// A hanging sheet of cloth: a mesh of `columns` x `rows` vertices `spacing`
// apart in the x-y plane (row 0 at y = 0, the rows going down -y, columns
// along +x), quads between them facing +z, and its cloth: one particle per
// vertex (the top row driven, state 2, the others free, state 1) and a
// spring along every edge of the grid with the edge's length at rest.
mdl_object mdl_cloth_sheet(const char* name, std::uint32_t columns, std::uint32_t rows, float spacing,
                           const char* material);
// An object with no mesh: its name (also its first name), id, type and
// place in the hierarchy (parent, next sibling, first child; -1 for none).
mdl_object mdl_empty_object(const char* name, std::uint32_t id, std::int32_t parent, std::int32_t sibling,
                            std::int32_t child, std::uint32_t type = 0);
// A model of one detail level, named `name` like its level, holding the
// objects in order.
mdl_model mdl_single_level(const char* name, std::vector<mdl_object> objects);
// Sets an object's pivot: unit scale, the rotation angles and the
// translation.
void mdl_set_pivot(mdl_object& o, vec4 translation, vec4 angles = {});
// A muscle whose joint is the object of that name: a linear curve of that
// name from key 0 at weight 0 to key 1 at weight 1, and the key positions
// of its vertices (key-major: every vertex of key 0, then of key 1).
mdl_muscle mdl_make_muscle(const char* joint, const char* curve, std::vector<std::uint16_t> vertices,
                           std::vector<vec4> positions);

} // namespace datakit

namespace datakit {

// The demo models: "BIKE" (a frame and two wheels, drawn in pass 0) and
// "RIDER" (a torso whose mesh a chain of two bones skins, with a lower
// detail level), as "Gfx/Bikes/Bikes.mdl".
std::vector<mdl_model> demo_bike_mdl();
bool write_demo_model_libraries(const std::filesystem::path& root, std::string& error);

} // namespace datakit
