#include "engine/scene/mesh_draw_hooks.h"

#include <cmath>
#include <vector>

#include "engine/base/engine.h"
#include "engine/model/model_node.h"
#include "engine/render/polygon_target.h"
#include "engine/render/render_device.h"
#include "engine/scene/camera.h"
#include "engine/scene/depth_sort.h"
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
    render_device* device = installed_render_device();
    if (!device)
        return;
    double depth = 0.0;
    for (std::uint32_t i = 0; i < frame.written; ++i)
        depth += frame.work[i].z;
    depth /= frame.written;
    static std::vector<const mesh_face*> selected;
    selected.resize(std::max<std::size_t>(selected.size(), mesh_face_count(mesh) + 1u));
    backface_select(mesh, view.eye_point, frame.work, frame.written, selected.data());
    device_polygon_target target(*device);
    mesh_draw_shadow(mesh, selected.data(), frame.work, frame.screen, scene_mesh_view(view, &target), *node,
                     static_cast<float>(depth));
}

} // namespace

void install_mesh_draw_hooks()
{
    scene_draw_hooks& hooks = scene_hooks();
    hooks.zsort_draw = &hook_zsort_draw;
    hooks.flush = &hook_flush;
    hooks.draw_shadow_mesh = &hook_draw_shadow_mesh;
}
