#include "engine/scene/mesh_draw.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/base/engine.h"
#include "engine/base/float_conv.h"
#include "engine/base/light_record.h"
#include "engine/model/model_node.h"
#include "engine/model/mtr_lib.h"
#include "engine/render/polygon_target.h"
#include "engine/scene/depth_sort.h"

namespace {

mesh_draw_fault_counts faults;

void report_bad_face()
{
    if (faults.bad_faces++ == 0)
        std::fprintf(stderr, "mesh_draw: a face names a vertex the mesh does not have; such faces are skipped\n");
}

vec4 cross3(float ax, float ay, float az, float bx, float by, float bz)
{
    return {ay * bz - az * by, az * bx - ax * bz, ax * by - ay * bx, 0.0f};
}

// Normal of a face from the positions of its first three corners.
template <typename Pos>
vec4 corner_normal(const mesh_face& f, Pos pos)
{
    const vec4 p0 = pos(face_vertex(f, 0));
    const vec4 p1 = pos(face_vertex(f, 1));
    const vec4 p2 = pos(face_vertex(f, 2));
    return cross3(p1.x - p0.x, p1.y - p0.y, p1.z - p0.z, p2.x - p0.x, p2.y - p0.y, p2.z - p0.z);
}

// Sum of the normals of the faces listed for each vertex, scaled to unit
// length (with the 0.001 guard), then by `scale` when given.
void accumulate_vertex_normals(const model_part& mesh, work_vertex* vertices, std::uint32_t vertex_count,
                               const vec4* scale)
{
    const mesh_face* faces = mesh_faces(mesh);
    const std::uint32_t face_bytes_present = mesh_face_count(mesh) * model_part::face_bytes;
    std::uint32_t v = 0;
    bool any = false;
    float sx = 0.0f, sy = 0.0f, sz = 0.0f;
    for (std::uint16_t entry : mesh.indexes) {
        if (v >= vertex_count)
            break;
        if (entry == 0xFFFF) {
            if (any) {
                const float k = fast_inv_sqrt(sx * sx + sy * sy + sz * sz + 0.001f);
                work_vertex& w = vertices[v];
                w.nx = sx * k;
                w.ny = sy * k;
                w.nz = sz * k;
                if (scale) {
                    w.nx *= scale->x;
                    w.ny *= scale->y;
                    w.nz *= scale->z;
                }
            }
            ++v;
            any = false;
            sx = sy = sz = 0.0f;
            continue;
        }
        if (entry >= face_bytes_present || entry % model_part::face_bytes != 0)
            continue;
        const mesh_face& f = faces[entry / model_part::face_bytes];
        sx += f.nx;
        sy += f.ny;
        sz += f.nz;
        any = true;
    }
}

enum class light_rule { stored, lazy, unlit, shadow };

int draw_faces(const model_part& mesh, const mesh_face* const* faces, work_vertex* work, screen_vertex* screen,
               const mesh_view& view, const model_node& node, scn_light* const* lights, light_rule rule,
               std::optional<float> depth)
{
    if (!faces || !work || !screen || !view.renderer)
        return 0;
    polygon_target& renderer = *view.renderer;
    const float phase = view.context ? view.context->texture_phase : 0.0f;
    const float light_factor = view.context ? view.context->factor_a : 0.5f;
    const scn_light* first_light = lights ? lights[0] : nullptr;

    if (rule == light_rule::lazy) {
        const std::uint32_t n = std::min(mesh_vertex_count(mesh), static_cast<std::uint32_t>(vertex_buffer_capacity));
        for (std::uint32_t i = 0; i < n; ++i)
            work[i].intensity = -1.0f;
    }

    int drawn = 0;
    for (const mesh_face* const* it = faces; *it; ++it) {
        const mesh_face& f = **it;
        const mesh_texture* binding = face_binding(node, f.material);
        const mtr_texture* frame = texture_frame(binding, phase);
        const int count = f.corner_count == 4 ? 4 : 3;

        float ambient_k = 0.0f, diffuse_k = 0.0f;
        if (rule == light_rule::lazy) {
            const light_material m = binding_light_material(binding);
            ambient_k = m.ambient * light_factor;
            diffuse_k = m.diffuse * (first_light ? first_light->r : 0.0f) * light_factor;
        }

        clip_vertex corners[clip_buffer_vertices];
        clip_vertex scratch[clip_buffer_vertices];
        std::uint32_t and_code = ~0u, or_code = 0;
        for (int k = 0; k < count; ++k) {
            const std::uint32_t i = face_vertex(f, k);
            work_vertex& w = work[i];
            screen_vertex& s = screen[i];
            s.outcode = w.outcode;
            clip_vertex& c = corners[k];
            c = corner_clip_vertex(w, s);
            switch (rule) {
            case light_rule::stored:
            case light_rule::shadow:
                c.light[0] = w.intensity;
                break;
            case light_rule::lazy:
                if (w.intensity < 0.0f)
                    w.intensity = first_light_value(w, first_light, diffuse_k, ambient_k);
                c.light[0] = w.intensity;
                break;
            case light_rule::unlit:
                c.light[0] = 1.0f;
                break;
            }
            and_code &= w.outcode;
            or_code |= w.outcode;
        }
        if (and_code != 0)
            continue;
        if (or_code == 0) {
            if (rule == light_rule::shadow && depth)
                for (int k = 0; k < count; ++k)
                    corners[k].z = *depth;
            renderer.draw_polygons(count, corners, nullptr, frame, f.depth_bias);
            ++drawn;
            continue;
        }
        int n = count;
        clip_vertex* out = clip_and_project(view, corners, scratch, n, or_code);
        if (!out)
            continue;
        if (rule == light_rule::shadow && depth)
            for (int k = 0; k < n; ++k)
                out[k].z = *depth;
        if (poly_emit(renderer, out, n, frame, f.depth_bias) > 0)
            ++drawn;
    }
    return drawn;
}

} // namespace

// ---------------------------------------------------------------------------

mesh_face* mesh_faces(model_part& mesh)
{
    return reinterpret_cast<mesh_face*>(mesh.faces.data());
}

const mesh_face* mesh_faces(const model_part& mesh)
{
    return reinterpret_cast<const mesh_face*>(mesh.faces.data());
}

std::uint32_t mesh_face_count(const model_part& mesh)
{
    const std::size_t present = mesh.faces.size() / model_part::face_bytes;
    return static_cast<std::uint32_t>(std::min<std::size_t>(mesh.face_count, present));
}

bool face_is_valid(const mesh_face& face, std::uint32_t vertex_count)
{
    if (face.corner_count != 3 && face.corner_count != 4)
        return false;
    const std::uint64_t limit = std::uint64_t{vertex_count} * face_corner_stride;
    for (int k = 0; k < face.corner_count; ++k)
        if (face.corner[k] >= limit || face.corner[k] % face_corner_stride != 0)
            return false;
    return true;
}

float first_light_value(const work_vertex& w, const scn_light* light, float diffuse_k, float ambient_k)
{
    if (!light)
        return ambient_k;
    const float d = w.nx * light->position.x + w.ny * light->position.y + w.nz * light->position.z;
    return std::max(0.0f, d) * diffuse_k + ambient_k;
}

clip_vertex corner_clip_vertex(const work_vertex& w, const screen_vertex& s)
{
    clip_vertex c{};
    c.x = w.x;
    c.y = w.y;
    c.z = w.z;
    c.w = w.w;
    c.u = w.u;
    c.v = w.v;
    c.sx = s.sx;
    c.sy = s.sy;
    c.rhw = s.rhw;
    return c;
}

float binding_float(const mesh_texture& binding, int word)
{
    float f;
    std::memcpy(&f, &binding.words[static_cast<std::size_t>(word)], sizeof f);
    return f;
}

void set_binding_float(mesh_texture& binding, int word, float value)
{
    std::memcpy(&binding.words[static_cast<std::size_t>(word)], &value, sizeof value);
}

const mesh_texture* face_binding(const model_node& node, std::int32_t material)
{
    if (material < 0 || static_cast<std::size_t>(material) >= node.material_refs.size())
        return nullptr;
    const mesh_material* m = node.material_refs[static_cast<std::size_t>(material)].material;
    return m ? m->texture : nullptr;
}

const mtr_texture* texture_frame(const mesh_texture* binding, float engine_phase)
{
    if (!binding || !binding->first_frame)
        return nullptr;
    const std::int32_t frames = binding->frame_count;
    if (frames <= 1)
        return binding->first_frame;
    float phase = binding_float(*binding, binding_word::phase);
    if (std::isless(phase, 0.0f))
        phase = engine_phase;
    // trunc((phase - 0.001) x count), held to the frames there are.
    std::int32_t n = platform::trunc_clamped((static_cast<double>(phase) - 0.001) * frames, 0, frames - 1);
    const mtr_texture* frame = binding->first_frame;
    for (; n > 0 && frame->next; --n)
        frame = frame->next;
    return frame;
}

light_material binding_light_material(const mesh_texture* binding)
{
    if (!binding)
        return {1.0f, 1.0f};
    return {binding_float(*binding, binding_word::ambient), binding_float(*binding, binding_word::diffuse)};
}

// ---------------------------------------------------------------------------

void face_normals(model_part& mesh, const work_vertex* work, std::uint32_t vertex_count)
{
    mesh_face* faces = mesh_faces(mesh);
    const std::uint32_t n = mesh_face_count(mesh);
    for (std::uint32_t i = 0; i < n; ++i) {
        mesh_face& f = faces[i];
        if (!face_is_valid(f, vertex_count))
            continue;
        const vec4 nrm = corner_normal(f, [&](std::uint32_t v) {
            return vec4{work[v].x, work[v].y, work[v].z, 1.0f};
        });
        f.nx = nrm.x;
        f.ny = nrm.y;
        f.nz = nrm.z;
    }
}

void vertex_normals(const model_part& mesh, work_vertex* work, std::uint32_t vertex_count)
{
    accumulate_vertex_normals(mesh, work, vertex_count, nullptr);
}

void vertex_normals_scaled(const model_part& mesh, work_vertex* vertices, std::uint32_t vertex_count,
                           const vec4& scale)
{
    accumulate_vertex_normals(mesh, vertices, vertex_count, &scale);
}

int backface_select(const model_part& mesh, const vec4& eye, const work_vertex* work, std::uint32_t vertex_count,
                    const mesh_face** out)
{
    const mesh_face* faces = mesh_faces(mesh);
    int selected = 0;
    for (std::uint32_t i = mesh_face_count(mesh); i-- > 0;) {
        const mesh_face& f = faces[i];
        if (!face_is_valid(f, vertex_count)) {
            report_bad_face();
            continue;
        }
        const work_vertex& p0 = work[face_vertex(f, 0)];
        const float d = f.nx * (eye.x - p0.x) + f.ny * (eye.y - p0.y) + f.nz * (eye.z - p0.z);
        if (d > 0.0f)
            out[selected++] = &f;
    }
    out[selected] = nullptr;
    return selected;
}

// ---------------------------------------------------------------------------

clip_record make_clip_record(float tan_half_fov, const projection_settings& projection)
{
    clip_record r{};
    const float k = tan_half_fov != 0.0f ? 1.0f / tan_half_fov : 0.0f;
    r.left_factor = -k;
    r.right_factor = k;
    r.top_factor = k;
    r.bottom_factor = -k;
    r.upper_z = projection.near_z;
    r.lower_z = projection.far_z;
    return r;
}

int mesh_draw(const model_part& mesh, const mesh_face* const* faces, work_vertex* work, screen_vertex* screen,
              const mesh_view& view, const model_node& node, scn_light* const* lights)
{
    const light_rule rule = (node.flags & node_lazy_lighting) ? light_rule::lazy : light_rule::stored;
    return draw_faces(mesh, faces, work, screen, view, node, lights, rule, std::nullopt);
}

int mesh_draw_unlit(const model_part& mesh, const mesh_face* const* faces, work_vertex* work, screen_vertex* screen,
                    const mesh_view& view, const model_node& node)
{
    return draw_faces(mesh, faces, work, screen, view, node, nullptr, light_rule::unlit, std::nullopt);
}

int mesh_draw_shadow(const model_part& mesh, const mesh_face* const* faces, work_vertex* work,
                     screen_vertex* screen, const mesh_view& view, const model_node& node,
                     std::optional<float> depth)
{
    return draw_faces(mesh, faces, work, screen, view, node, nullptr, light_rule::shadow, depth);
}

int draw_mesh_node(mesh_frame& frame, model_node& node, const vec4& eye, const mesh_view& view,
                   scn_light* const* lights, bool unlit, int deformed)
{
    if (!node.mesh || !frame.written || !frame.work || !frame.screen)
        return 0;
    model_part& mesh = *node.mesh;
    face_normals(mesh, frame.work, frame.written);
    if (deformed)
        vertex_normals(mesh, frame.work, frame.written);
    if (frame.context && frame.context->render_type == engine::software_render_type)
        return zsort_add_faces(frame, mesh, eye, node);
    // The face list is kept between calls: no allocation once it has grown
    // to the largest mesh drawn.
    static std::vector<const mesh_face*> selected;
    selected.resize(std::max<std::size_t>(selected.size(), mesh_face_count(mesh) + 1u));
    backface_select(mesh, eye, frame.work, frame.written, selected.data());
    if (unlit)
        return mesh_draw_unlit(mesh, selected.data(), frame.work, frame.screen, view, node);
    return mesh_draw(mesh, selected.data(), frame.work, frame.screen, view, node, lights);
}

clip_vertex* clip_and_project(const mesh_view& view, clip_vertex* polygon, clip_vertex* scratch, int& count,
                              unsigned planes)
{
    clip_vertex* out = clip_polygon(&view.clip, polygon, scratch, &count, planes, &view);
    if (!out || count == 0)
        return nullptr;
    project_clip_vertices(out, count, view.projection);
    return out;
}

void project_clip_vertices(clip_vertex* vertices, int count, const projection_settings& projection)
{
    for (int i = 0; i < count; ++i) {
        clip_vertex& c = vertices[i];
        const float rhw = c.w != 0.0f ? 1.0f / c.w : 0.0f;
        c.rhw = rhw;
        c.sx = c.x * projection.scale_x * rhw + projection.centre_x;
        c.sy = projection.centre_y - c.y * projection.scale_y * rhw;
    }
}

int poly_emit(polygon_target& renderer, const clip_vertex* vertices, int count, const mtr_texture* frame, int bias)
{
    int emitted = 0;
    for (int i = 1; i + 1 < count; ++i) {
        const clip_vertex tri[3] = {vertices[0], vertices[i], vertices[i + 1]};
        renderer.draw_polygons(3, tri, nullptr, frame, bias);
        ++emitted;
    }
    return emitted;
}

namespace {

// Clips a polygon of `count` vertices copied into `polygon` with the plane
// set `code`, projects the result and fans it out.
int clip_and_emit(const mesh_view& view, clip_vertex* polygon, int count, unsigned code, const mtr_texture* frame)
{
    clip_vertex scratch[clip_buffer_vertices];
    int n = count;
    clip_vertex* out = clip_and_project(view, polygon, scratch, n, code);
    return out ? poly_emit(*view.renderer, out, n, frame, 0) : 0;
}

} // namespace

int poly_emit_pointers(const mesh_view& view, clip_vertex* const* corners, int count, const mtr_texture* frame)
{
    if (!view.renderer || (count != 3 && count != 4))
        return 0;
    const unsigned code = clip_outcode_poly(&view.clip, corners, count);
    if (code == clip_poly_outside)
        return 0;
    if (code == clip_poly_inside) {
        for (int i = 0; i < count; ++i)
            project_clip_vertices(corners[i], 1, view.projection);
        view.renderer->draw_polygons(count, nullptr, corners, frame, 0);
        return 1;
    }
    clip_vertex polygon[clip_buffer_vertices];
    for (int i = 0; i < count; ++i)
        polygon[i] = *corners[i];
    return clip_and_emit(view, polygon, count, code, frame);
}

int poly_emit_contiguous(const mesh_view& view, clip_vertex* vertices, int count, const mtr_texture* frame)
{
    if (!view.renderer || (count != 3 && count != 4))
        return 0;
    const unsigned code = clip_outcode_array(&view.clip, vertices, count);
    if (code == clip_poly_outside)
        return 0;
    if (code == clip_poly_inside) {
        project_clip_vertices(vertices, count, view.projection);
        view.renderer->draw_polygons(count, vertices, nullptr, frame, 0);
        return 1;
    }
    clip_vertex polygon[clip_buffer_vertices];
    std::copy(vertices, vertices + count, polygon);
    return clip_and_emit(view, polygon, count, code, frame);
}

namespace {

// The corners of a face lit with every light, into `corners` (room for
// clip_buffer_vertices); returns the corner count.
int all_lights_corners(const mesh_face& f, work_vertex* work, screen_vertex* screen, const model_node& node,
                       scn_light* const* lights, float light_factor, clip_vertex* corners, std::uint32_t& and_code,
                       std::uint32_t& or_code)
{
    and_code = ~0u;
    or_code = 0;
    const light_material m = binding_light_material(face_binding(node, f.material));
    const int count = f.corner_count == 4 ? 4 : 3;
    for (int k = 0; k < count; ++k) {
        const std::uint32_t i = face_vertex(f, k);
        const work_vertex& w = work[i];
        screen[i].outcode = w.outcode;
        and_code &= w.outcode;
        or_code |= w.outcode;
        corners[k] = corner_clip_vertex(w, screen[i]);
        if (lights && lights[0]) {
            float result[3] = {0.0f, 0.0f, 0.0f};
            const vec4 point{w.x, w.y, w.z, 1.0f};
            vec4 normal{w.nx, w.ny, w.nz, 0.0f};
            light_vertex(result, &point, &normal, m, lights);
            corners[k].light[0] = result[0];
        } else {
            corners[k].light[0] = m.ambient * light_factor;
        }
    }
    return count;
}

} // namespace

namespace {

// Builds every face of the list lit with all lights and hands it to `emit`
// (corners, count, AND and OR of the outcodes, frame), counting what it
// reports drawn.
template <typename Emit>
int each_face_all_lights(const mesh_face* const* faces, work_vertex* work, screen_vertex* screen,
                         const mesh_view& view, const model_node& node, scn_light* const* lights, Emit emit)
{
    if (!faces || !work || !screen)
        return 0;
    const float phase = view.context ? view.context->texture_phase : 0.0f;
    const float light_factor = view.context ? view.context->factor_a : 0.5f;
    int drawn = 0;
    for (const mesh_face* const* it = faces; *it; ++it) {
        clip_vertex corners[clip_buffer_vertices];
        std::uint32_t and_code = 0, or_code = 0;
        const int count =
            all_lights_corners(**it, work, screen, node, lights, light_factor, corners, and_code, or_code);
        const mtr_texture* frame = texture_frame(face_binding(node, (*it)->material), phase);
        drawn += emit(corners, count, and_code, or_code, frame);
    }
    return drawn;
}

} // namespace

int mesh_draw_all_lights(const model_part&, const mesh_face* const* faces, work_vertex* work, screen_vertex* screen,
                         const mesh_view& view, const model_node& node, scn_light* const* lights)
{
    if (!view.renderer)
        return 0;
    return each_face_all_lights(
        faces, work, screen, view, node, lights,
        [&](clip_vertex* corners, int count, std::uint32_t, std::uint32_t, const mtr_texture* frame) {
            return poly_emit_contiguous(view, corners, count, frame) > 0 ? 1 : 0;
        });
}

int mesh_raster_all_lights(const model_part&, const mesh_face* const* faces, work_vertex* work, screen_vertex* screen,
                           const mesh_view& view, const model_node& node, scn_light* const* lights)
{
    const bool polygon_rasteriser = (node.flags & node_polygon_rasteriser) != 0;
    return each_face_all_lights(
        faces, work, screen, view, node, lights,
        [&](clip_vertex* corners, int count, std::uint32_t and_code, std::uint32_t or_code, const mtr_texture* frame) {
            return and_code ? 0 : raster_face(view, corners, count, or_code, frame, polygon_rasteriser);
        });
}

float patch_point_light(const light_material& material, scn_light* const* lights, const vec4& position,
                        const vec4& normal)
{
    if (!lights || !lights[0]) {
        const float k = current_engine ? current_engine->factor_a : 0.5f;
        return material.ambient * k;
    }
    float result[3] = {0.0f, 0.0f, 0.0f};
    vec4 n = normal;
    light_vertex(result, &position, &n, material, lights);
    return result[0];
}

float mesh_patch_sink::light_point(const vec4& position, const vec4& normal)
{
    return patch_point_light(material_, lights_, position, normal);
}

void mesh_patch_sink::triangle(clip_vertex* const corners[3], const mtr_texture* frame)
{
    sent_ += poly_emit_pointers(view_, corners, 3, frame);
}

patch_texture_map patch_texture_map_of(const model_node& node)
{
    patch_texture_map map;
    const mesh_texture* binding = face_binding(node, static_cast<std::int32_t>(node.grid.material));
    if (!binding)
        return map;
    map.frame = binding->first_frame;
    map.width = static_cast<std::int32_t>(binding->words[binding_word::width]);
    map.height = static_cast<std::int32_t>(binding->words[binding_word::height]);
    map.repeat_u = binding_float(*binding, binding_word::repeat_u);
    map.repeat_v = binding_float(*binding, binding_word::repeat_v);
    map.origin_u = binding_float(*binding, binding_word::origin_u);
    map.origin_v = binding_float(*binding, binding_word::origin_v);
    return map;
}

// ---------------------------------------------------------------------------

void mesh_copy_to_work(const model_part& mesh, work_vertex* work, std::uint32_t count)
{
    const std::uint32_t n = std::min(count, mesh_vertex_count(mesh));
    const std::uint8_t* rest = mesh_rest_bytes(mesh);
    for (std::uint32_t i = 0; i < n; ++i) {
        const work_vertex v = source_vertex(rest, i);
        work_vertex& w = work[i];
        w.x = v.x;
        w.y = v.y;
        w.z = v.z;
        w.w = v.w;
        w.u = v.u;
        w.v = v.v;
        w.intensity = v.intensity;
    }
}

void mesh_copy_points(const model_part& mesh, vec4* points, std::uint32_t count)
{
    const std::uint32_t n = std::min(count, mesh_vertex_count(mesh));
    const std::uint8_t* rest = mesh_rest_bytes(mesh);
    for (std::uint32_t i = 0; i < n; ++i) {
        const work_vertex v = source_vertex(rest, i);
        points[i] = {v.x, v.y, v.z, v.w};
    }
}

// ---------------------------------------------------------------------------

namespace {

vec4 rest_position(const std::uint8_t* vertices, std::uint32_t i)
{
    const work_vertex v = source_vertex(vertices, i);
    return {v.x, v.y, v.z, v.w};
}

// Edge i of a face: corner i to the next one, the last back to the first.
struct face_edge {
    vec4 a, b;
};

face_edge edge_of(const mesh_face& face, const std::uint8_t* vertices, int i)
{
    return {rest_position(vertices, face_vertex(face, i)),
            rest_position(vertices, face_vertex(face, (i + 1) % face.corner_count))};
}

// Recomputes the face's normal from the given vertices into the face and
// the result; false for a face whose corners name no vertex.
bool hit_normal(face_hit& result, mesh_face& face, const std::uint8_t* vertices, std::uint32_t vertex_count,
                vec4& n)
{
    if (!vertices || !face_is_valid(face, vertex_count))
        return false;
    n = corner_normal(face, [&](std::uint32_t v) { return rest_position(vertices, v); });
    face.nx = n.x;
    face.ny = n.y;
    face.nz = n.z;
    result.normal = n;
    return true;
}

// t = ((P0 - s0) . n) / den into the result; whether 0 <= t <= 1 and t <=
// limit. A zero denominator (a segment parallel to the face) stores nothing
// and is no hit.
bool hit_parameter(face_hit& result, const mesh_face& face, const std::uint8_t* vertices, const vec4& s0,
                   const vec4& n, float den, float limit)
{
    if (den == 0.0f)
        return false;
    const vec4 p0 = rest_position(vertices, face_vertex(face, 0));
    const float t = ((p0.x - s0.x) * n.x + (p0.y - s0.y) * n.y + (p0.z - s0.z) * n.z) / den;
    result.t = t;
    return t <= limit && t >= 0.0f && t <= 1.0f;
}

} // namespace

int face_segment_test(face_hit& result, mesh_face& face, const std::uint8_t* vertices, std::uint32_t vertex_count,
                      const vec4 segment[2], float limit)
{
    vec4 n{};
    if (!hit_normal(result, face, vertices, vertex_count, n))
        return 0;
    const vec4& s0 = segment[0];
    for (int i = 0; i < face.corner_count; ++i) {
        const face_edge e = edge_of(face, vertices, i);
        if ((s0.z - e.a.z) * (e.a.x - e.b.x) + (e.b.z - e.a.z) * (s0.x - e.a.x) < 0.0f)
            return 0;
    }
    const float dy = segment[1].y - s0.y;
    if (!hit_parameter(result, face, vertices, s0, n, dy * n.y, limit))
        return 0;
    const float t = result.t;
    result.point = {s0.x, s0.y + dy * t, s0.z, 1.0f};
    return 1;
}

int face_segment_test_nearest(face_hit& result, mesh_face& face, const std::uint8_t* vertices,
                              std::uint32_t vertex_count, const vec4 segment[2], float limit)
{
    vec4 n{};
    if (!hit_normal(result, face, vertices, vertex_count, n))
        return 0;
    const vec4& s0 = segment[0];
    const vec4 d{segment[1].x - s0.x, segment[1].y - s0.y, segment[1].z - s0.z, 0.0f};
    if (!hit_parameter(result, face, vertices, s0, n, d.x * n.x + d.y * n.y + d.z * n.z, limit))
        return 0;
    const float t = result.t;
    const vec4 h{s0.x + t * d.x, s0.y + t * d.y, s0.z + t * d.z, 1.0f};
    result.point = h;
    for (int i = 0; i < face.corner_count; ++i) {
        const face_edge e = edge_of(face, vertices, i);
        // n x edge points into the face from every edge of a face wound
        // about n (its corners counter-clockwise seen from where n points).
        const vec4 in = cross3(n.x, n.y, n.z, e.b.x - e.a.x, e.b.y - e.a.y, e.b.z - e.a.z);
        if (in.x * (h.x - e.a.x) + in.y * (h.y - e.a.y) + in.z * (h.z - e.a.z) < 0.0f)
            return 0;
    }
    return 1;
}

const mesh_draw_fault_counts& mesh_draw_faults()
{
    return faults;
}

void mesh_draw_reset_faults()
{
    faults = {};
}
