#include "engine/scene/scene_view.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "engine/base/engine.h"
#include "engine/base/error_box.h"
#include "engine/base/float_conv.h"
#include "engine/base/light_record.h"
#include "engine/base/mat4.h"
#include "engine/model/anim_lib.h"
#include "engine/model/fcurve.h"
#include "engine/model/ml_modelinfo.h"
#include "engine/model/shadow_link.h"
#include "engine/render/rast.h"
#include "engine/render/render_device.h"
#include "engine/scene/camera.h"
#include "engine/scene/lights.h"
#include "engine/scene/planar_shadow.h"
#include "engine/scene/scene.h"

namespace {

bool software_type()
{
    return current_engine && current_engine->render_type == engine::software_render_type;
}

[[noreturn]] void too_many_objects(const char* caption)
{
    error_box(caption, "ERROR Number of objects too big! (SCN_MAX_OBJ_VIS)");
    std::exit(1);
}

// The view's instance list runs through each instance's two scene links.
ml_modelinfo*& view_prev(ml_modelinfo* m)
{
    return *reinterpret_cast<ml_modelinfo**>(&m->scene_links[0]);
}

ml_modelinfo*& view_next(ml_modelinfo* m)
{
    return *reinterpret_cast<ml_modelinfo**>(&m->scene_links[1]);
}

vec4 camera_world_position(const camera& cam)
{
    return {cam.to_world.m[3][0], cam.to_world.m[3][1], cam.to_world.m[3][2], 1.0f};
}

float tan_half_fov(const camera& cam)
{
    return std::tan(cam.fov * 0.5f);
}

// Whether the camera cell's visible list names the cell (iy, iz, ix).
bool cell_seen(const map_cell& camera_cell, std::int64_t iy, std::int64_t iz, std::int64_t ix)
{
    for (const map_cell_ref& r : camera_cell.visible)
        if (r.level == iy && r.row == iz && r.column == ix)
            return true;
    return false;
}

// The grid test of an instance: its cell (with the cell sizes of the
// view's scene and the origin of each scene of the chain in turn) must be
// one the camera's cell sees.
bool passes_grid(const ml_modelinfo& instance, const map_cell* camera_cell, const scene* world)
{
    if (instance.first_node && instance.first_node->radius > grid_test_radius_limit)
        return true;
    if (!current_engine || current_engine->grid_culling == 0)
        return true;
    if (!camera_cell || camera_cell->visible.empty() || !world)
        return true;
    const vec4& size = world->grid.cell_size;
    for (const scene* s = world; s; s = s->next) {
        const vec4& origin = s->grid.origin;
        auto index = [](float p, float o, float c) { return c != 0.0f ? trunc_to_int64((p - o) / c) : 0; };
        const std::int64_t ix = index(instance.position.x, origin.x, size.x);
        const std::int64_t iy = index(instance.position.y, origin.y, size.y);
        const std::int64_t iz = index(instance.position.z, origin.z, size.z);
        if (cell_seen(*camera_cell, iy, iz, ix))
            return true;
    }
    return false;
}

} // namespace

scene_draw_hooks& scene_hooks()
{
    static scene_draw_hooks hooks;
    return hooks;
}

bool sphere_in_view(float x, float z, float r, float near_z, float far_z, float tan_half)
{
    // Quiet comparisons: a NaN fails each test without raising the invalid
    // operation flag.
    if (!std::isgreater(z + r, far_z))
        return false;
    if (!std::isless(z - r, near_z))
        return false;
    return std::isless(std::fabs(x) - r, (z - r) * -tan_half);
}

void view_frustum::set(float half_fov, float near_depth, float, float far)
{
    const float c = std::cos(half_fov);
    const float s = std::sin(half_fov);
    const float raw[4][3] = {{-c, 0.0f, s}, {c, 0.0f, s}, {0.0f, c, s}, {0.0f, -c, s}};
    for (int i = 0; i < 4; ++i) {
        // The third component is sin(half_fov), above 0 for every field of
        // view the camera keeps.
        const float third = raw[i][2] != 0.0f ? raw[i][2] : 1.0f;
        planes[i][0] = raw[i][0] / third;
        planes[i][1] = raw[i][1] / third;
        planes[i][2] = raw[i][2];
    }
    near_z = near_depth;
    near_z_copy = near_depth;
    far_z = -far;
}

void view_frustum::set_default(float half_fov, float near_depth, float unused)
{
    set(half_fov, near_depth, unused, 1.0f);
}

scene_view::scene_view(scene* world_, ml_modelinfo* instance_list, std::uint32_t user_word, camera* cam_, int x0,
                       int y0, int width, int height)
    : world(world_), cam(cam_), instances(instance_list), user(user_word)
{
    frustum.set_default(cam ? cam->half_fov : 0.5f, -1.0f, 0.0f);
    centre_x = x0 + width / 2 - 1;
    centre_y = y0 + height / 2 - 1;
    half_width = width / 2;
    half_height = height / 2;
    lights.reserve(64);
    ++live;
}

scene_view::~scene_view()
{
    // The instances belong to their libraries, which may already have
    // destroyed them: the view does not touch them here.
    if (current_engine && cam && current_engine->camera == cam)
        current_engine->set_camera(nullptr);
    --live;
}

void scene_view::add_instance(ml_modelinfo* instance)
{
    if (!instance)
        return;
    // An instance listed twice would close the list into a ring.
    for (ml_modelinfo* m = instances; m; m = view_next(m))
        if (m == instance)
            return;
    if (!software_type())
        instance->check_cache_used();
    view_prev(instance) = nullptr;
    view_next(instance) = instances;
    if (instances)
        view_prev(instances) = instance;
    instances = instance;
}

void scene_view::remove_instance(ml_modelinfo* instance)
{
    if (!instance)
        return;
    bool listed = false;
    for (ml_modelinfo* m = instances; m && !listed; m = view_next(m))
        listed = m == instance;
    if (!listed)
        return;
    if (view_prev(instance))
        view_next(view_prev(instance)) = view_next(instance);
    else
        instances = view_next(instance);
    if (view_next(instance))
        view_prev(view_next(instance)) = view_prev(instance);
    view_prev(instance) = view_next(instance) = nullptr;
}

void scene_view::insert_draw_list(ml_modelinfo* instance, float depth)
{
    // Ascending depth: the farthest (most negative) first; an equal depth
    // goes after those already there.
    const int at = static_cast<int>(std::upper_bound(draw_depths, draw_depths + draw_count, depth) - draw_depths);
    for (int i = draw_count; i > at; --i) {
        draw_list[i] = draw_list[i - 1];
        draw_depths[i] = draw_depths[i - 1];
    }
    draw_list[at] = instance;
    draw_depths[at] = depth;
    ++draw_count;
    draw_list[draw_count] = nullptr;
}

ml_modelinfo** scene_view::get_vis_list(ml_modelinfo** out, ml_modelinfo** end, ml_modelinfo* list, scene* chain)
{
    const map_cell* camera_cell = nullptr;
    if (chain && cam)
        camera_cell = chain->cell_at_point(camera_world_position(*cam));
    const float tan_half = cam ? tan_half_fov(*cam) : 0.0f;
    const bool sorted = !software_type();
    for (ml_modelinfo* m = list; m; m = view_next(m)) {
        m->flags &= ~instance_visible;
        if (!(m->flags & instance_shown) || (m->flags & instance_linked_shadow))
            continue;
        if (!passes_grid(*m, camera_cell, chain))
            continue;
        if (!cam)
            continue;
        const model_node* root = m->first_node;
        vec4 centre = m->position;
        if (root && !(root->flags & node_kind_compact_a)) {
            centre.x += root->local_position.x;
            centre.y += root->local_position.y;
            centre.z += root->local_position.z;
        }
        centre.w = 1.0f;
        vec4 c;
        mat_transform_point(&cam->combined, &centre, &c);
        const float r = root ? root->radius : 0.0f;
        if (!sphere_in_view(c.x, c.z, r, frustum.near_z, frustum.far_z, tan_half))
            continue;
        if (out >= end)
            too_many_objects("scene::get_vis_list");
        *out++ = m;
        if (sorted)
            insert_draw_list(m, c.z);
    }
    return out;
}

void scene_view::prepare()
{
    meshes_drawn = vertices_drawn = faces_drawn = 0;
    if (const render_device* device = installed_render_device())
        rast_set_screen(static_cast<float>(device->width), static_cast<float>(device->height));
    eye_point.x = eye_point.y = eye_point.z = 0.0f;

    frame_.context = current_engine;
    frame_.projection.centre_x = static_cast<float>(centre_x);
    frame_.projection.centre_y = static_cast<float>(centre_y);
    frame_.projection.scale_x = static_cast<float>(half_width - 1);
    frame_.projection.scale_y = static_cast<float>(half_height - 1);
    if (software_type())
        frame_.current = frame_.next_free = frame_.in_use = 0;

    visible[0] = nullptr;
    references[0] = nullptr;
    lights.clear();
    lights.push_back(nullptr);
    draw_count = 0;
    draw_list[0] = nullptr;
    if (!cam)
        return;

    if (current_engine)
        current_engine->set_camera(cam);
    ml_modelinfo::set_light_preparer(prepare_scene_light);
    cam->set_clip(1.0f, 1.0f, 1.0f, 12000.0f);
    frustum.set(cam->half_fov, frustum.near_z, 0.0f, cam->far);
    frame_.projection.near_z = frustum.near_z;
    frame_.projection.far_z = frustum.far_z;
    cam->update();
    cam->build_heading();

    ml_modelinfo** end = get_vis_list(visible, visible + scene_max_visible, instances, world);
    *end = nullptr;
    prepare_instances();
    if (pre_draw)
        pre_draw();

    map_item** refs = references;
    for (scene* s = world; s; s = s->next)
        refs = s->get_ref_list(refs, references + scene_max_visible, *this);
    *refs = nullptr;
    prepare_lights();
}

void scene_view::prepare_instances()
{
    const lod_view detail = cam->detail_view();
    for (ml_modelinfo** v = visible; *v; ++v) {
        ml_modelinfo* m = *v;
        m->flags |= instance_visible;
        if (m->flags & instance_drawn_by_pair)
            continue;
        if (m->shadow_flag && scene_hooks().ground_under_instance)
            scene_hooks().ground_under_instance(m, world);
        if (m->id == -1)
            m->select_lod(&detail);
        if (m->anim_time != -1.0f)
            m->update_transforms(m->anim_time);
    }
    for (ml_modelinfo** v = visible; *v; ++v) {
        ml_modelinfo* m = *v;
        if (!(m->flags & instance_drawn_by_pair))
            continue;
        if (m->pair) {
            if (m->shadow_flag)
                m->shadow_state[0] = m->pair->shadow_state[0];
            m->id = m->pair->id;
        }
        if (m->anim_time != -1.0f)
            m->update_transforms(m->anim_time);
    }
}

void prepare_scene_light(scn_light* light, const camera* cam)
{
    if (!light || !cam)
        return;
    // A light prepared in an earlier frame holds camera-space values: it
    // starts again from its world place, so that it does not move a further
    // view transform away every frame (and preparing it twice in one frame
    // gives the same values).
    if (light->in_camera_space) {
        light->position = light->world_position;
        light->target = light->world_target;
    }
    light->world_target = light->target;
    light_transform(*light, cam->view);
    light->in_camera_space = true;
}

int collect_instance_lights(ml_modelinfo& instance, const camera& cam, std::vector<scn_light*>& out)
{
    if (!instance.current_anim)
        return 0;
    std::vector<scn_light*> found(instance.current_anim->light_count + 1, nullptr);
    const int n = instance.collect_lights(found.data(), &cam);
    int added = 0;
    for (int i = 0; i < n; ++i) {
        // Instances of one model share their animation's lights: each is
        // listed once per frame.
        if (std::find(out.begin(), out.end(), found[i]) != out.end())
            continue;
        out.push_back(found[i]);
        ++added;
    }
    return added;
}

void scene_view::prepare_lights()
{
    lights.clear();
    for (ml_modelinfo** v = visible; *v; ++v)
        collect_instance_lights(**v, *cam, lights);
    const lod_view detail = cam->detail_view();
    const float default_time = current_engine ? current_engine->default_anim_time : 0.0f;
    for (map_item** r = references; *r; ++r) {
        ml_modelinfo* m = (*r)->instance;
        if (!m || !(m->flags & instance_shown))
            continue;
        if (current_engine && current_engine->force_level0)
            m->id = 0;
        else
            m->select_lod(&detail);
        m->update_transforms(m->anim_time != -1.0f ? m->anim_time : default_time);
        collect_instance_lights(*m, *cam, lights);
    }
    lights.push_back(nullptr);
}

namespace {

// The record of the instance's chosen detail level, or the instance itself
// (no level chosen, or no levels). A level is chosen by select_lod, which
// needs the instance's distance table, or for a linked shadow by its model
// (draw_instance), whatever its table.
model_record* drawn_level(ml_modelinfo* instance)
{
    if (instance->levels && instance->id >= 0 && instance->id < instance->level_count &&
        instance->levels[instance->id])
        return instance->levels[instance->id];
    return instance;
}

// A shadow instance drawn on its own (its model's drawn level has no link
// to it): its root node stands at the shadow's position plus its local
// position, turned by the shadow's outside matrix or, without one, by its
// three angles. The shadow is never in the visible list, so no prepare
// has placed it.
void place_shadow_root(ml_modelinfo& shadow)
{
    model_node* root = shadow.first_node;
    if (!root)
        return;
    mat4 rot{};
    if (shadow.ext_matrix)
        rot = *shadow.ext_matrix;
    else
        mat_from_angles(&rot, shadow.angles.x, shadow.angles.y, shadow.angles.z);
    const vec4& l = root->local_position;
    mat4& w = root->world;
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c)
            w.m[r][c] = rot.m[r][c];
        w.m[r][3] = 0.0f;
    }
    for (int c = 0; c < 3; ++c)
        w.m[3][c] = (&shadow.position.x)[c] + l.x * rot.m[0][c] + l.y * rot.m[1][c] + l.z * rot.m[2][c];
    w.m[3][3] = 1.0f;
}

} // namespace

void draw_instance(ml_modelinfo* instance, scene_view& view, int face_camera)
{
    if (!instance)
        return;
    model_record* drawn = drawn_level(instance);

    // The linked shadow takes the instance's detail level (none when it has
    // fewer levels); when the drawn level itself is linked, the shadow is
    // laid flat from the vertices this drawing makes it follow.
    ml_modelinfo* shadow = (instance->flags & instance_has_shadow) ? linked_shadow_of(instance) : nullptr;
    bool follows = false;
    if (shadow) {
        const std::int32_t lod = instance->id;
        shadow->id = lod > shadow_level_total(shadow) - 1 ? -1 : lod;
        if (drawn->flags & instance_has_shadow) {
            follows = true;
            shadow->id = std::max(lod, std::int32_t{0});
        }
    }

    if (scene_hooks().draw_nodes)
        scene_hooks().draw_nodes(instance, drawn, view, face_camera);
    instance->id = -1;

    if (!shadow || !(shadow->flags & instance_linked_shadow))
        return;
    if (follows) {
        draw_planar_shadow(shadow, view);
        return;
    }
    // A level without links: the shadow's own level of that number, unless
    // it is itself a linked one (whose vertices nothing followed), drawn as
    // an instance placed by its root.
    if (shadow->id < 0)
        return;
    if (drawn_level(shadow)->flags & instance_linked_shadow) {
        shadow->id = -1;
        return;
    }
    place_shadow_root(*shadow);
    draw_instance(shadow, view, 0);
}

void scene_view::draw()
{
    frame_.projection.near_z = frustum.near_z;
    frame_.projection.far_z = frustum.far_z;
    for (map_item** r = references; *r; ++r) {
        ml_modelinfo* m = (*r)->instance;
        if (m && (m->flags & instance_shown))
            draw_instance(m, *this, static_cast<int>(m->flags & instance_transforms_valid));
    }
    if (software_type()) {
        for (ml_modelinfo** v = visible; *v; ++v)
            if ((*v)->flags & instance_shown)
                draw_through_lens(*v);
        if (scene_hooks().zsort_draw)
            scene_hooks().zsort_draw(*this);
        return;
    }
    draw_hardware();
}

void scene_view::draw_through_lens(ml_modelinfo* m)
{
    frame_.projection.near_z = frustum.near_z;
    frame_.projection.far_z = frustum.far_z;
    camera* c = cam;
    if (!m->lens_curve || !c) {
        draw_instance(m, *this, 0);
        return;
    }
    // The instance's own field of view, without the camera's curves (its
    // detail factor and far distance stay); a factor that is not a number
    // keeps the camera's.
    const float fov = c->fov;
    const float factor = m->lens_curve->calc(fov);
    c->apply_fov(std::isfinite(factor) ? factor * fov : fov);
    frustum.set(c->half_fov, frustum.near_z, 0.0f, c->far);
    c->update();
    draw_instance(m, *this, 0);
    c->set_fov(fov);
    frustum.set(c->half_fov, frustum.near_z, 0.0f, c->far);
    c->update();
}

void scene_view::draw_hardware()
{
    auto flush = [] {
        if (scene_hooks().flush)
            scene_hooks().flush();
    };
    flush();
    bool done[scene_max_visible + 1] = {};
    for (int i = 0; i < draw_count; ++i) {
        ml_modelinfo* m = draw_list[i];
        if ((m->flags & instance_shown) && (m->flags & instance_early_pass)) {
            draw_through_lens(m);
            done[i] = true;
        }
    }
    flush();
    for (int i = 0; i < draw_count; ++i) {
        if (done[i])
            continue;
        ml_modelinfo* m = draw_list[i];
        done[i] = true;
        if (m->flags & instance_drawn_by_pair)
            continue;
        if (!(m->flags & instance_shown))
            continue;
        draw_through_lens(m);
        if ((m->flags & instance_draws_pair) && m->pair && (m->pair->flags & instance_visible))
            draw_instance(m->pair, *this, 0);
        flush();
    }
}

map_item** scene::get_ref_list(map_item** out, map_item** end, scene_view& view)
{
    if (!view.cam || grid.levels <= 0 || grid.rows <= 0 || grid.columns <= 0)
        return out;
    const camera& cam = *view.cam;
    const float tan_half = tan_half_fov(cam);
    const float far = -view.frustum.far_z;
    const float half = far * tan_half;
    const float far_z = view.frustum.far_z;

    // The camera and the far rectangle's corners in world space bound what
    // can be seen.
    const vec4 eye = camera_world_position(cam);
    vec4 lo = eye, hi = eye;
    const float corners[4][2] = {{-half, -half}, {half, -half}, {-half, half}, {half, half}};
    for (const auto& c : corners) {
        const vec4 local{c[0], c[1], far_z, 1.0f};
        vec4 w;
        mat_transform_point(&cam.to_world, &local, &w);
        lo = {std::min(lo.x, w.x), std::min(lo.y, w.y), std::min(lo.z, w.z), 1.0f};
        hi = {std::max(hi.x, w.x), std::max(hi.y, w.y), std::max(hi.z, w.z), 1.0f};
    }
    lo.x = std::max(lo.x - grid.cell_size.x * 0.5f, grid.origin.x);
    lo.z = std::max(lo.z - grid.cell_size.z * 0.5f, grid.origin.z);
    lo.y = std::max(lo.y, grid.origin.y);
    const vec4 first = point_to_cell(lo);
    const vec4 last = point_to_cell(hi);
    auto clamp_index = [](float v, std::int32_t count) {
        return static_cast<std::int32_t>(std::clamp<std::int64_t>(trunc_to_int64(v), 0, count - 1));
    };
    const std::int32_t x0 = clamp_index(first.x, grid.columns), x1 = clamp_index(last.x, grid.columns);
    const std::int32_t z0 = clamp_index(first.z, grid.rows), z1 = clamp_index(last.z, grid.rows);
    const std::int32_t y0 = clamp_index(first.y, grid.levels);

    const float hx = grid.cell_size.x * 0.5f, hz = grid.cell_size.z * 0.5f;
    const float rx = static_cast<float>(grid.reach[0]), ry = static_cast<float>(grid.reach[1]),
                rz = static_cast<float>(grid.reach[2]);
    const float cell_radius =
        std::max(std::sqrt(2.0f) * std::sqrt(hx * hx + hz * hz), std::sqrt(rx * rx + ry * ry + rz * rz));
    const float near_z = view.frustum.near_z;

    auto in_view = [&](float x, float z, float r) {
        const vec4 p{x, eye.y, z, 1.0f};
        vec4 c;
        mat_transform_point(&cam.combined, &p, &c);
        return sphere_in_view(c.x, c.z, r, near_z, far_z, tan_half);
    };
    auto visit_cell = [&](std::int32_t iy, std::int32_t iz, std::int32_t ix) {
        map_cell* c = grid.lookup(iy, iz, ix);
        if (!c)
            return;
        const float cx = grid.origin.x + (static_cast<float>(ix) + 0.5f) * grid.cell_size.x;
        const float cz = grid.origin.z + (static_cast<float>(iz) + 0.5f) * grid.cell_size.z;
        if (!in_view(cx, cz, cell_radius))
            return;
        for (map_item* item = c->sections[0]; item; item = item->next) {
            ml_modelinfo* m = item->instance;
            if (!m || !m->first_node)
                continue;
            const model_node& node = *m->first_node;
            if ((node.flags & map_node_switch15) && !view.show_flag15)
                continue;
            if ((node.flags & map_node_switch31) && !view.show_flag31)
                continue;
            if (!in_view(node.local_position.x, node.local_position.z, node.radius))
                continue;
            if (out >= end)
                too_many_objects("scene::get_ref_list");
            *out++ = item;
            m->flags |= instance_map_object;
        }
    };

    const map_cell* camera_cell = cell_at_point(eye);
    const bool culling = current_engine && current_engine->grid_culling != 0;
    if (camera_cell && !camera_cell->visible.empty() && culling) {
        for (const map_cell_ref& r : camera_cell->visible)
            visit_cell(r.level, r.row, r.column);
    } else {
        for (std::int32_t iz = z0; iz <= z1; ++iz)
            for (std::int32_t ix = x0; ix <= x1; ++ix)
                visit_cell(y0, iz, ix);
    }
    return out;
}
