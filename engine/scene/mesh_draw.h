#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "engine/base/clipper.h"
#include "engine/base/pipeline_records.h"
#include "engine/base/vec4.h"
#include "engine/scene/lights.h"
#include "engine/scene/patch_tess.h"
#include "engine/scene/vertex_transform.h"

class engine;
class mesh_texture;
class model_node;
class polygon_target;
struct model_part;
struct mtr_texture;
struct scn_light;

// Mesh drawing on the 3D device's path. A mesh node has been transformed,
// given outcodes and (unless lit lazily here) lit into the current work and
// screen buffers (vertex_transform.h). From there: face normals and vertex
// normals, the faces that look towards the eye, and for each such face its
// clip vertices, its rejection or clipping against the view volume, the
// projection of what is left and the polygon handed to the renderer's
// batches. The software path shares the normals and the back-face test and
// sorts its faces by depth instead (depth_sort.h).

// A face of a mesh: 52 bytes, 13 words, as the model file stores it. Faces
// name their corners by byte offsets (multiples of 48) into a vertex buffer.
struct mesh_face {
    std::int32_t corner_count;   // 3 or 4
    std::int32_t material;       // index into the node's material references
    float nx, ny, nz;            // face normal (not normalised)
    float carried;
    std::uint32_t corner[4];     // byte offsets; the fourth is read for quads only
    std::uint32_t unused[2];
    std::int32_t depth_bias;     // set_face_param; added to the depth (device) or the sort key (software)
};
static_assert(sizeof(mesh_face) == 52, "faces are 13 words");

inline constexpr std::uint32_t face_corner_stride = 48;

// The mesh's faces, in array order.
mesh_face* mesh_faces(model_part& mesh);
const mesh_face* mesh_faces(const model_part& mesh);
// The number of whole faces stored (the face count, lowered to the records present).
std::uint32_t mesh_face_count(const model_part& mesh);
// Whether every corner of the face names one of `vertex_count` vertices and
// its corner count is 3 or 4 (the model loader refuses other faces; a mesh
// built in code may still hold one).
bool face_is_valid(const mesh_face& face, std::uint32_t vertex_count);
// Vertex index of corner k.
inline std::uint32_t face_vertex(const mesh_face& face, int k)
{
    return face.corner[k] / face_corner_stride;
}

// The light of a vertex from the first light alone: max(0, N . D) x
// diffuse_k + ambient_k, N the work normal and D the light's camera-space
// direction; without a light, ambient_k.
float first_light_value(const work_vertex& w, const scn_light* light, float diffuse_k, float ambient_k);

// The clip vertex of a corner: view position, u and v from its work vertex,
// screen position and 1/w from its screen vertex, every other word 0.
clip_vertex corner_clip_vertex(const work_vertex& w, const screen_vertex& s);

// ---------------------------------------------------------------------------
// Texture bindings.
//
// The words of a material's texture binding (mesh_texture::words) that the
// mesh pipeline reads, beside the frame count and the first frame: the
// phase of an animated texture (negative: the engine's texture phase), the
// texture's size and repeat scales and u, v origins (patches) and the
// material's ambient and diffuse coefficients (lighting).
namespace binding_word {
inline constexpr int phase = 2;
inline constexpr int width = 5;
inline constexpr int height = 6;
inline constexpr int repeat_u = 7;
inline constexpr int repeat_v = 8;
inline constexpr int origin_u = 9;
inline constexpr int origin_v = 10;
inline constexpr int ambient = 12;
inline constexpr int diffuse = 13;
} // namespace binding_word

float binding_float(const mesh_texture& binding, int word);
void set_binding_float(mesh_texture& binding, int word, float value);

// The texture binding of a face's material on a node: null when the index
// names no reference, or the reference no material, or the material has no
// texture (the face is then drawn without a texture).
const mesh_texture* face_binding(const model_node& node, std::int32_t material);

// The frame of a binding to draw: the first frame for a single frame;
// otherwise n = trunc((phase - 0.001) x frame count) steps along the frame
// chain, the phase being the binding's own or, when that is negative,
// `engine_phase`. n is held to 0 .. frame count - 1 (a phase above 1 shows
// the last frame, not a missing one) and the walk stops at the chain's end.
// Null binding or no first frame: null.
const mtr_texture* texture_frame(const mesh_texture* binding, float engine_phase);

// The lighting coefficients of a binding; a face without one is lit as a
// white material (ambient 1, diffuse 1).
light_material binding_light_material(const mesh_texture* binding);

// ---------------------------------------------------------------------------
// Normals and back faces.

// For every face: normal = (P1 - P0) x (P2 - P0) of the view positions of its
// first three corners, stored into the face (not normalised). Faces whose
// corners name no vertex of `vertex_count` are left alone.
void face_normals(model_part& mesh, const work_vertex* work, std::uint32_t vertex_count);

// For every vertex with a non-empty face list: the sum of its faces'
// normals times fast_inv_sqrt(length^2 + 0.001), into the vertex's normal.
// A mesh without face lists leaves every normal as it is; list entries that
// name no face are skipped, and the walk ends at the last vertex given.
void vertex_normals(const model_part& mesh, work_vertex* work, std::uint32_t vertex_count);
// The same, each normal component then multiplied by scale's.
void vertex_normals_scaled(const model_part& mesh, work_vertex* vertices, std::uint32_t vertex_count,
                           const vec4& scale);

// Walks the faces from the last to the first and writes into `out` each face
// for which normal . (eye - P0) > 0 (P0 its first corner), then a null.
// `out` has room for mesh_face_count + 1 pointers. Returns the number
// selected. Faces whose corners name no vertex of `vertex_count` are never
// selected.
int backface_select(const model_part& mesh, const vec4& eye, const work_vertex* work, std::uint32_t vertex_count,
                    const mesh_face** out);

// ---------------------------------------------------------------------------
// Drawing.

// What the drawing needs of the view: the renderer's polygon batches, the
// clip record for the clipper, the projection of the frame and the engine
// context (texture phase, light factor, intensity factor).
struct mesh_view {
    polygon_target* renderer = nullptr;
    clip_record clip{};
    projection_settings projection{};
    const engine* context = nullptr;
};

// The clip record matching the transform's clip space (w' = -z' t, t the
// tangent of half the field of view): side planes x' = +-w', y' = +-w' as
// planes through the eye, and the projection's near and far depths.
clip_record make_clip_record(float tan_half_fov, const projection_settings& projection);

// Lighting modes of a node: flag bit 1 set lights each corner here, once per
// frame and vertex (lazy lighting), with the first light of `lights`.
inline constexpr std::uint32_t node_lazy_lighting = 0x2;
// Software path: flag bit 4 draws a node's faces with the perspective
// polygon rasteriser, else with the affine triangle rasteriser.
inline constexpr std::uint32_t node_polygon_rasteriser = 0x10;
// Name hash of the instance drawn unlit (the "BACK" object).
inline constexpr std::uint32_t unlit_instance_hash = 0x1B131112;

// Draws the null-terminated face list (from backface_select) of a mesh whose
// vertices are in `work` / `screen`. `lights` is the node's selected light
// list (null-terminated; only the first is used; null or empty: ambient
// only). Returns the number of faces that reached the renderer.
int mesh_draw(const model_part& mesh, const mesh_face* const* faces, work_vertex* work, screen_vertex* screen,
              const mesh_view& view, const model_node& node, scn_light* const* lights);
// The same with every corner at intensity 1.0.
int mesh_draw_unlit(const model_part& mesh, const mesh_face* const* faces, work_vertex* work, screen_vertex* screen,
                    const mesh_view& view, const model_node& node);
// The same with the stored intensity (never lit here). With a `depth`,
// every corner's view z is set to it before emission (after clipping for
// clipped polygons): a planar shadow at one depth; without, each corner
// keeps its own (the scene's shadows: laid just above the ground, they
// stay in front of it everywhere, which one depth for a whole shadow seen
// at a slant cannot).
int mesh_draw_shadow(const model_part& mesh, const mesh_face* const* faces, work_vertex* work,
                     screen_vertex* screen, const mesh_view& view, const model_node& node,
                     std::optional<float> depth);

// Library entry points the frame does not call: every corner lit with all
// of `lights` through light_vertex (the corner's view position and work
// normal, the face material's coefficients; no lights: the ambient term),
// nothing stored back. mesh_draw_all_lights emits each face through
// poly_emit_contiguous; mesh_raster_all_lights is its software twin, which
// hands each face straight to the rasteriser (unsorted; nothing is filed).
// Both return the faces drawn.
int mesh_draw_all_lights(const model_part& mesh, const mesh_face* const* faces, work_vertex* work,
                         screen_vertex* screen, const mesh_view& view, const model_node& node,
                         scn_light* const* lights);
int mesh_raster_all_lights(const model_part& mesh, const mesh_face* const* faces, work_vertex* work,
                           screen_vertex* screen, const mesh_view& view, const model_node& node,
                           scn_light* const* lights);

// A mesh node whose transform has just written frame.work / frame.screen
// (frame.written vertices; nothing is done when 0): its face normals, its
// vertex normals when `deformed` (what the transform returned), then in the
// software render type zsort_add_faces (depth_sort.h), else backface_select
// and mesh_draw, or mesh_draw_unlit when `unlit`. Returns the faces filed
// or drawn. The scene view's per-node drawing calls it for every mesh node.
int draw_mesh_node(mesh_frame& frame, model_node& node, const vec4& eye, const mesh_view& view,
                   scn_light* const* lights, bool unlit, int deformed);

// Projects clip vertices in place: rhw = 1/w (0 for w = 0), screen x =
// x scale_x rhw + centre_x, screen y = centre_y - y scale_y rhw.
void project_clip_vertices(clip_vertex* vertices, int count, const projection_settings& projection);

// Clips the polygon of `count` vertices in `polygon` against `planes` (both
// arrays of clip_buffer_vertices records) and projects the result: the
// array that holds it, with its count in `count`, or null when nothing is
// left.
clip_vertex* clip_and_project(const mesh_view& view, clip_vertex* polygon, clip_vertex* scratch, int& count,
                              unsigned planes);

// Fan of a convex polygon of `count` contiguous vertices: triangles (0, i,
// i + 1) for i = 1 .. count - 2, each as a three-vertex call. Fewer than 3
// vertices emit nothing. Returns the triangles emitted.
int poly_emit(polygon_target& renderer, const clip_vertex* vertices, int count, const mtr_texture* frame, int bias);

// A polygon of 3 or 4 vertex pointers (patch grids): dropped when wholly
// outside one plane, projected in place and sent as it is when wholly
// inside, else copied, clipped, projected and fanned. Returns the polygons
// sent (a fan counts its triangles).
int poly_emit_pointers(const mesh_view& view, clip_vertex* const* corners, int count, const mtr_texture* frame);

// The same for a polygon of 3 or 4 contiguous vertices (projected in place
// when wholly inside, sent as contiguous vertices with bias 0).
int poly_emit_contiguous(const mesh_view& view, clip_vertex* vertices, int count, const mtr_texture* frame);

// The light of a patch point (camera-space position and unit normal):
// light_vertex with `lights` and the patch material, or without a light
// the material's ambient term times the engine's light factor.
float patch_point_light(const light_material& material, scn_light* const* lights, const vec4& position,
                        const vec4& normal);

// The patch tessellator's sink on the 3D device's path: points are lit with
// the node's lights and the patch material, triangles go to
// poly_emit_pointers.
class mesh_patch_sink final : public patch_sink {
public:
    mesh_patch_sink(const mesh_view& view, const light_material& material, scn_light* const* lights)
        : view_(view), material_(material), lights_(lights)
    {
    }
    float light_point(const vec4& position, const vec4& normal) override;
    void triangle(clip_vertex* const corners[3], const mtr_texture* frame) override;
    int triangles_sent() const { return sent_; }

private:
    const mesh_view& view_;
    light_material material_;
    scn_light* const* lights_;
    int sent_ = 0;
};

// The texture map of a patch node's material (grid.material): its first
// frame, the texture size, repeat scales and origins of its binding. A
// material without a texture gives an empty map (no frame, size 0).
patch_texture_map patch_texture_map_of(const model_node& node);

// ---------------------------------------------------------------------------
// Mesh utilities.

// Copies each rest vertex's position, u, v and intensity into the work
// vertex of the same index (at most `count` vertices).
void mesh_copy_to_work(const model_part& mesh, work_vertex* work, std::uint32_t count);
// Copies each rest vertex's position into `points` (at most `count`).
void mesh_copy_points(const model_part& mesh, vec4* points, std::uint32_t count);

// ---------------------------------------------------------------------------
// Face hit tests.

struct face_hit {
    vec4 point{};
    vec4 normal{};
    float t = 0.0f;
};

// A vertical segment from s0 down or up to s1.y: the point (s0.x, s0.z) must
// lie inside the face's outline on the x-z plane; then t = ((P0 - s0) . n) /
// ((s1.y - s0.y) n.y) and the hit is at height s0.y + (s1.y - s0.y) t when
// t <= limit and 0 <= t <= 1. A zero denominator (a vertical face, or a
// segment of no height) is no hit. 1 on a hit, else 0. The recomputed normal
// is stored into the face and the result.
int face_segment_test(face_hit& result, mesh_face& face, const std::uint8_t* vertices, std::uint32_t vertex_count,
                      const vec4 segment[2], float limit);
// Any segment: t = ((P0 - s0) . n) / ((s1 - s0) . n); a hit when t <= limit,
// 0 <= t <= 1 and the point H lies on the inner side of every edge:
// (n x (Pi+1 - Pi)) . (H - Pi) >= 0. A segment parallel to the face (zero
// denominator) is no hit.
int face_segment_test_nearest(face_hit& result, mesh_face& face, const std::uint8_t* vertices,
                              std::uint32_t vertex_count, const vec4 segment[2], float limit);

// Faults the drawing met in this run (the first of each written on the
// error output).
struct mesh_draw_fault_counts {
    unsigned long bad_faces = 0;   // faces whose corners name no vertex (meshes built in code)
};
const mesh_draw_fault_counts& mesh_draw_faults();
void mesh_draw_reset_faults();
