#include "engine/scene/depth_sort.h"

#include <algorithm>
#include <cstdio>

#include "engine/base/engine.h"
#include "engine/base/float_conv.h"
#include "engine/base/light_record.h"
#include "engine/base/material_records.h"
#include "engine/base/texture_record.h"
#include "engine/model/model_node.h"
#include "engine/model/mtr_lib.h"
#include "engine/render/rast.h"

namespace {

zsort_fault_counts faults;

void report_dropped_face()
{
    if (faults.dropped_faces++ == 0)
        std::fprintf(stderr, "zsort: more faces than the %zu face entries in one frame; the rest are not drawn\n",
                     face_entry_count);
}

// The node whose flags choose the drawing: a detail-level node's level-0
// node, else the node itself.
const model_node& resolved_node(const model_node& node)
{
    if ((node.flags & node_kind_level) && node.level0)
        return *node.level0;
    return node;
}

// Scales a vertex for the rasteriser: view x, y by its scale values, u and v
// into 16.16 texels.
void scale_for_raster(clip_vertex& c, float su, float sv)
{
    c.x *= rast_scale_x;
    c.y *= rast_scale_y;
    c.u *= su;
    c.v *= sv;
}

void raster_triangle(clip_vertex* const* corners, const raster_material& material)
{
    if (rast_option_byte())
        rast_draw_triangle_alt(corners, 0, &material);
    else
        rast_draw_triangle(corners, 0, &material);
}

// A patch triangle (an entry without a face): its three arena vertices,
// the light they were given, the first frame of the patch's material.
int draw_patch_entry(const zsort_entry& e, const mesh_view& view)
{
    const model_node& r = resolved_node(*e.node);
    clip_vertex corners[clip_buffer_vertices];
    std::uint32_t or_code = 0;
    for (int k = 0; k < 3; ++k) {
        corners[k] = corner_clip_vertex(e.work[k], e.screen[k]);
        corners[k].light[0] = e.work[k].intensity;
        or_code |= e.work[k].outcode;
    }
    return raster_face(view, corners, 3, or_code, patch_texture_map_of(*e.node).frame,
                       (r.flags & node_polygon_rasteriser) != 0);
}

int draw_entry(const zsort_entry& e, const mesh_view& view, const scn_light* first_light)
{
    if (!e.face)
        return draw_patch_entry(e, view);
    const model_node& node = *e.node;
    const model_node& r = resolved_node(node);
    const mesh_face& f = *e.face;
    const engine* ctx = view.context;
    const float light_factor = ctx ? ctx->factor_a : 0.5f;
    const float intensity_factor = ctx ? ctx->factor_b : 0.5f;

    const mesh_texture* binding = face_binding(node, f.material);
    const mtr_texture* frame = texture_frame(binding, ctx ? ctx->texture_phase : 0.0f);
    const light_material m = binding_light_material(binding);
    const float ambient_k = m.ambient * light_factor;
    const float diffuse_k = m.diffuse * (first_light ? first_light->r : 0.0f) * light_factor;
    const bool polygon_rasteriser = (r.flags & node_polygon_rasteriser) != 0;
    const bool unlit = r.first_hash == unlit_instance_hash;
    const bool lazy = (r.flags & node_lazy_lighting) != 0;

    const int count = f.corner_count == 4 ? 4 : 3;
    clip_vertex corners[clip_buffer_vertices];
    std::uint32_t or_code = 0;
    for (int k = 0; k < count; ++k) {
        const std::uint32_t i = face_vertex(f, k);
        const work_vertex& w = e.work[i];
        const screen_vertex& s = e.screen[i];
        clip_vertex& c = corners[k];
        c = corner_clip_vertex(w, s);
        if (unlit) {
            c.light[0] = intensity_factor;
        } else if (!lazy) {
            c.light[0] = w.intensity * intensity_factor;
        } else {
            c.light[0] = first_light_value(w, first_light, diffuse_k, ambient_k);
        }
        or_code |= w.outcode;
    }

    return raster_face(view, corners, count, or_code, frame, polygon_rasteriser);
}

} // namespace

std::int32_t zsort_key(const float* z, int count, std::int32_t bias, std::int32_t layer)
{
    double sum = 0.0;
    for (int i = 0; i < count; ++i)
        sum += static_cast<double>(z[i]);
    const double scale = count == 4 ? 4096.0 : 5461.333333333333;
    const double k = static_cast<double>(bias) * 16384.0 + scale * sum - 4096000.0 + static_cast<double>(layer) * 16384.0;
    // Held to the int32 range before conversion (a NaN depth sorts as 0).
    return platform::trunc_to_int(k);
}

int zsort_bucket(std::int32_t key)
{
    const std::int64_t shifted = std::int64_t{key} + zsort_bucket_offset;
    return static_cast<int>(std::clamp<std::int64_t>(shifted, 0, zsort_key_limit) >> zsort_bucket_shift);
}

void zsort_begin_frame(mesh_frame& frame)
{
    frame.current = 0;
    frame.next_free = 0;
    frame.in_use = 0;
    frame.entries_used = 0;
    frame.entries_dropped = 0;
}

void zsort_clear(engine& context)
{
    context.clear_depth_buckets();
}

void zsort_insert(engine& context, zsort_entry* entry)
{
    // The key's bucket (zsort_bucket); inside it entries are ordered by
    // their own keys, so faces beyond the bucket range (farther than the
    // buckets reach: they share bucket 0) still draw from far to near.
    zsort_entry*& head = context.depth_buckets[zsort_bucket(entry->key)];
    const std::int32_t key = entry->key;
    if (!head || key < head->key) {
        entry->next = head;
        head = entry;
        return;
    }
    zsort_entry* at = head;
    while (at->next && key >= at->next->key)
        at = at->next;
    entry->next = at->next;
    at->next = entry;
}

int zsort_add_faces(mesh_frame& frame, const model_part& mesh, const vec4& eye, const model_node& node)
{
    engine* ctx = frame.context;
    if (!ctx || !ctx->sw_work || !ctx->depth_buckets || !frame.work || !frame.screen || frame.written == 0)
        return 0;
    const std::uint32_t vertex_count = frame.written;
    const mesh_face* faces = mesh_faces(mesh);
    int filed = 0;
    for (std::uint32_t i = mesh_face_count(mesh); i-- > 0;) {
        const mesh_face& f = faces[i];
        if (!face_is_valid(f, vertex_count))
            continue;
        const work_vertex& p0 = frame.work[face_vertex(f, 0)];
        const float d = f.nx * (eye.x - p0.x) + f.ny * (eye.y - p0.y) + f.nz * (eye.z - p0.z);
        if (!(d > 0.0f))
            continue;
        const int count = f.corner_count;
        std::uint32_t and_code = ~0u;
        float z[4];
        for (int k = 0; k < count; ++k) {
            const work_vertex& w = frame.work[face_vertex(f, k)];
            and_code &= w.outcode;
            z[k] = w.z;
        }
        if (and_code != 0)
            continue;
        if (frame.entries_used >= face_entry_count) {
            ++frame.entries_dropped;
            report_dropped_face();
            continue;
        }
        zsort_entry* e = &ctx->sw_work[frame.entries_used++];
        e->face = &f;
        e->key = zsort_key(z, count, f.depth_bias, frame.sort_layer);
        e->node = &node;
        e->geometry = &mesh;
        e->next = nullptr;
        e->work = frame.work;
        e->screen = frame.screen;
        zsort_insert(*ctx, e);
        ++filed;
    }
    if (filed == 0) {
        frame.in_use -= std::min(frame.in_use, vertex_count);
    } else {
        frame.current = frame.next_free;
    }
    return filed;
}

int zsort_add_triangle(mesh_frame& frame, clip_vertex* const corners[3], const model_node& node)
{
    engine* ctx = frame.context;
    if (!ctx || !ctx->sw_work || !ctx->depth_buckets)
        return 0;
    std::uint32_t and_code = ~0u;
    std::uint32_t codes[3];
    float z[3];
    for (int k = 0; k < 3; ++k) {
        const clip_vertex& c = *corners[k];
        codes[k] = vertex_outcode(c.x, c.y, c.z, c.w, frame.projection);
        and_code &= codes[k];
        z[k] = c.z;
    }
    if (and_code != 0)
        return 0;
    if (frame.entries_used >= face_entry_count) {
        ++frame.entries_dropped;
        report_dropped_face();
        return 0;
    }
    if (!reserve_vertices(frame, 3))
        return 0;
    for (int k = 0; k < 3; ++k) {
        const clip_vertex& c = *corners[k];
        work_vertex& w = frame.work[k];
        project_vertex({c.x, c.y, c.z, c.w}, frame.projection, &w, &frame.screen[k]);
        w.nx = c.nx;
        w.ny = c.ny;
        w.nz = c.nz;
        w.u = c.u;
        w.v = c.v;
        w.intensity = c.light[0];
        frame.screen[k].outcode = w.outcode;
    }
    zsort_entry* e = &ctx->sw_work[frame.entries_used++];
    e->face = nullptr;
    e->key = zsort_key(z, 3, 0, frame.sort_layer);
    e->node = &node;
    e->geometry = nullptr;
    e->next = nullptr;
    e->work = frame.work;
    e->screen = frame.screen;
    zsort_insert(*ctx, e);
    // The queued triangle keeps its vertices: the next mesh is written
    // after them.
    frame.current = frame.next_free;
    frame.written = 0;
    return 1;
}

float zsort_patch_sink::light_point(const vec4& position, const vec4& normal)
{
    return patch_point_light(material_, lights_, position, normal);
}

void zsort_patch_sink::triangle(clip_vertex* const corners[3], const mtr_texture*)
{
    filed_ += zsort_add_triangle(frame_, corners, node_);
}

int zsort_draw(engine& context, const mesh_view& view, scn_light* const* lights)
{
    if (!context.depth_buckets)
        return 0;
    const scn_light* first_light = lights ? lights[0] : nullptr;
    int drawn = 0;
    for (std::size_t b = 0; b < depth_bucket_count; ++b)
        for (const zsort_entry* e = context.depth_buckets[b]; e; e = e->next)
            drawn += draw_entry(*e, view, first_light);
    zsort_clear(context);
    return drawn;
}

int raster_face(const mesh_view& view, clip_vertex* corners, int count, std::uint32_t or_code,
                const mtr_texture* frame, bool polygon_rasteriser)
{
    const raster_material material = raster_material_of(frame);
    const float su = frame ? static_cast<float>(frame->width) * 65536.0f : 0.0f;
    const float sv = frame ? static_cast<float>(frame->height) * 65536.0f : 0.0f;
    if (or_code == 0) {
        for (int k = 0; k < count; ++k)
            scale_for_raster(corners[k], su, sv);
        clip_vertex* p[4] = {&corners[0], &corners[1], &corners[2], &corners[3]};
        if (polygon_rasteriser) {
            rast_polygon(p, count, &material);
        } else {
            raster_triangle(p, material);
            if (count == 4) {
                clip_vertex* q[3] = {&corners[0], &corners[2], &corners[3]};
                raster_triangle(q, material);
            }
        }
        return 1;
    }
    clip_vertex scratch[clip_buffer_vertices];
    int n = count;
    clip_vertex* out = clip_and_project(view, corners, scratch, n, or_code);
    if (!out)
        return 0;
    if (polygon_rasteriser)
        poly_raster(out, n, material, su, sv);
    else
        poly_raster_fan(out, n, material, su, sv);
    return 1;
}

raster_material raster_material_of(const mtr_texture* frame)
{
    raster_material m;
    if (!frame)
        return m;
    m.fill_mode = static_cast<std::int32_t>(frame->pixel_type);
    m.blend_page = static_cast<std::int32_t>(frame->colour);
    m.texels = frame->pixels;
    m.texture_mask = frame->span;
    return m;
}

void poly_raster(clip_vertex* vertices, int count, const raster_material& material, float su, float sv)
{
    clip_vertex* p[clip_buffer_vertices];
    const int n = std::min(count, clip_buffer_vertices);
    for (int i = 0; i < n; ++i) {
        scale_for_raster(vertices[i], su, sv);
        p[i] = &vertices[i];
    }
    rast_polygon(p, n, &material);
}

void poly_raster_fan(clip_vertex* vertices, int count, const raster_material& material, float su, float sv)
{
    for (int i = 0; i < count; ++i)
        scale_for_raster(vertices[i], su, sv);
    for (int i = 1; i + 1 < count; ++i) {
        clip_vertex* tri[3] = {&vertices[0], &vertices[i], &vertices[i + 1]};
        raster_triangle(tri, material);
    }
}

const zsort_fault_counts& zsort_faults()
{
    return faults;
}

void zsort_reset_faults()
{
    faults = {};
}
