#include "engine/scene/mesh_draw_hooks.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "engine/base/engine.h"
#include "engine/model/ml_modelinfo.h"
#include "engine/model/model_node.h"
#include "engine/model/shadow_link.h"
#include "engine/render/polygon_target.h"
#include "engine/render/render_device.h"
#include "engine/scene/camera.h"
#include "engine/scene/depth_sort.h"
#include "engine/scene/ground_under.h"
#include "engine/scene/lattice_deform.h"
#include "engine/scene/patch_tess.h"
#include "engine/scene/scene_view.h"

mesh_view scene_mesh_view(scene_view& view, polygon_target* renderer)
{
    mesh_view out;
    out.renderer = renderer;
    out.projection = view.projection();
    out.context = view.frame().context;
    const float half_fov = view.cam ? view.cam->half_fov : 0.0f;
    out.clip = make_clip_record(std::tan(half_fov), out.projection);
    return out;
}

namespace {

// Node flag of draw pass 0 (pass n is bit 12 + n).
constexpr std::uint32_t node_draw_pass0 = 0x1000;

polygon_target* draw_target = nullptr;

// The batches the 3D device's path draws into: the set target, else the
// installed render device's (held in `device_target`); null when neither.
polygon_target* path_target(std::optional<device_polygon_target>& device_target)
{
    if (draw_target)
        return draw_target;
    if (render_device* device = installed_render_device())
        return &device_target.emplace(*device);
    return nullptr;
}

void hook_zsort_draw(scene_view& view)
{
    engine* context = view.frame().context;
    if (!context)
        return;
    scn_light* first[2] = {view.lights.empty() ? nullptr : view.lights[0], nullptr};
    zsort_draw(*context, scene_mesh_view(view, nullptr), first);
    // Every entry has been drawn and the buckets emptied: the next frame
    // files from the start of the entry array again (the view's prepare
    // resets the arena positions only).
    view.frame().entries_used = 0;
}

void hook_flush()
{
    if (render_device* device = installed_render_device())
        device->draw_scene();
}

void hook_draw_shadow_mesh(model_node* node, scene_view& view)
{
    mesh_frame& frame = view.frame();
    if (!node || !node->mesh || !frame.written || !frame.work || !frame.screen)
        return;
    model_part& mesh = *node->mesh;
    face_normals(mesh, frame.work, frame.written);
    if (frame.context && frame.context->render_type == engine::software_render_type) {
        zsort_add_faces(frame, mesh, view.eye_point, *node);
        return;
    }
    std::optional<device_polygon_target> device_target;
    polygon_target* target = path_target(device_target);
    if (!target)
        return;
    static std::vector<const mesh_face*> selected;
    selected.resize(std::max<std::size_t>(selected.size(), mesh_face_count(mesh) + 1u));
    backface_select(mesh, view.eye_point, frame.work, frame.written, selected.data());
    // Every corner at its own depth: the shadow lies just above the ground
    // (its plane is lifted by the race), so it stays in front of the road
    // at both ends, which one depth for the whole shadow cannot.
    mesh_draw_shadow(mesh, selected.data(), frame.work, frame.screen, scene_mesh_view(view, target), *node,
                     std::nullopt);
}


// The mesh node's transform, chosen by the kind of the instance's first
// node and the node's own kind; returns what the routine returned (1: the
// vertices were deformed). `plain` tells whether it was one of the two
// plain routines, after which linked shadow vertices follow.
int transform_node(mesh_frame& frame, model_node& node, const model_node* first, const camera& cam,
                   int face_camera, bool* plain)
{
    *plain = false;
    const std::uint32_t first_flags = first ? first->flags : 0u;
    const bool level = (node.flags & node_kind_level) != 0;
    if (first_flags & node_kind_compact_a)
        return level ? transform_mesh_pivot_alt(frame, node, cam.combined)
                     : transform_mesh_pivot(frame, node, cam.combined);
    if (first_flags & node_kind_compact_b)
        return transform_mesh_matrix(frame, node, cam.combined);
    // Only billboards and meshes placed by position take the face-camera
    // request.
    const int facing = node.mesh && (node.mesh->mesh_word == 1 || node.mesh->mesh_word == 2) ? face_camera : 0;
    *plain = true;
    if (level)
        return transform_clip_mesh_alt(frame, node, cam.combined, cam.view, cam.to_world, facing);
    return transform_clip_mesh(frame, node, cam.combined, cam.view, cam.to_world, facing);
}

// A patch node: its control points into camera space, then the
// tessellator through the mesh drawing's sink (3D device) or the depth
// sort's (software type).
void draw_patch_node(scene_view& view, model_node& node, const mesh_view& mv, scn_light* const* lights,
                     bool software)
{
    static std::vector<vec4> points;
    if (!node.patch)
        return;
    points.resize(std::max(points.size(), node.patch->size()));
    const std::size_t count =
        transform_patch_points(view.frame(), node, view.cam->view, points.data(), points.size());
    if (count == 0)
        return;
    const patch_lens lens{view.cam->shift_x, view.cam->shift_y, view.cam->aspect, view.cam->focal};
    const light_material material = binding_light_material(face_binding(node, static_cast<std::int32_t>(node.grid.material)));
    const patch_texture_map map = patch_texture_map_of(node);
    if (software) {
        zsort_patch_sink sink(view.frame(), node, material, lights);
        patch_mesh_draw(node.grid, points.data(), count, lens, map, view.eye_point, sink);
        return;
    }
    mesh_patch_sink sink(mv, material, lights);
    patch_mesh_draw(node.grid, points.data(), count, lens, map, view.eye_point, sink);
}

// The nodes of `drawn` for `instance`, in list order: a node is drawn when
// it is loaded (bit 0) and carries the bit of draw pass 0 (bit 12; the
// engine keeps no other pass). Outside the software type the lights of the
// frame that reach the instance are selected first; the software type
// lights its mesh faces when the buckets are drawn, and its patch points
// (lit as they are tessellated) with the lights selected the same way.
void hook_draw_nodes(ml_modelinfo* instance, model_record* drawn, scene_view& view, int face_camera)
{
    mesh_frame& frame = view.frame();
    if (!instance || !drawn || !view.cam || !frame.context)
        return;
    const bool software = frame.context->render_type == engine::software_render_type;
    static std::vector<scn_light*> selected;
    selected.assign(view.lights.size() + 1, nullptr);
    scn_light* const* lights = nullptr;
    scn_light* const* patch_lights = nullptr;
    if (!view.lights.empty() && view.lights[0]) {
        instance->select_lights(selected.data(), view.lights.data());
        patch_lights = selected.data();
        if (!software)
            lights = patch_lights;
    }
    std::optional<device_polygon_target> device_target;
    polygon_target* target = software ? nullptr : path_target(device_target);
    if (!software && !target)
        return;
    const mesh_view mv = scene_mesh_view(view, target);
    const bool unlit = instance->name_hash == unlit_instance_hash;
    const model_node* first = instance->first_node;
    for (model_node* node = drawn->first_node; node; node = node->next) {
        if (!(node->flags & node_loaded) || !(node->flags & node_draw_pass0))
            continue;
        if (node->type == node_patch) {
            const float light_factor = frame.context->factor_a;
            if (instance->shadow_flag)
                frame.context->factor_a = light_factor * instance_ground_shade(*instance);
            draw_patch_node(view, *node, mv, patch_lights, software);
            frame.context->factor_a = light_factor;
            continue;
        }
        if (node->type != node_mesh || !node->mesh)
            continue;
        bool plain = false;
        const int deformed = transform_node(frame, *node, first, *view.cam, face_camera, &plain);
        if (!frame.written)
            continue;
        if (plain)
            shadow_follow(drawn, node, frame.work, frame.written);
        ++view.meshes_drawn;
        view.vertices_drawn += frame.written;
        view.faces_drawn += mesh_face_count(*node->mesh);
        // A shadowed instance is lit by its ground shade while it is drawn.
        const float light_factor = frame.context->factor_a;
        if (instance->shadow_flag)
            frame.context->factor_a = light_factor * instance_ground_shade(*instance);
        draw_mesh_node(frame, *node, view.eye_point, mv, lights, unlit, deformed);
        frame.context->factor_a = light_factor;
    }
}

} // namespace

void set_mesh_draw_target(polygon_target* target)
{
    draw_target = target;
}

void install_mesh_draw_hooks()
{
    scene_draw_hooks& hooks = scene_hooks();
    hooks.draw_nodes = &hook_draw_nodes;
    hooks.zsort_draw = &hook_zsort_draw;
    hooks.flush = &hook_flush;
    hooks.draw_shadow_mesh = &hook_draw_shadow_mesh;
}
