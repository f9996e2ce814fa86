#include "engine/scene/scene.h"

#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unordered_set>

#include "engine/base/engine.h"
#include "engine/base/error_box.h"
#include "engine/base/float_conv.h"
#include "engine/base/texture_record.h"
#include "engine/model/anim_lib.h"
#include "engine/model/hit_test.h"
#include "engine/model/ml_modelinfo.h"
#include "engine/model/model_lib.h"
#include "engine/model/mtr_lib.h"
#include "engine/scene/camera.h"

namespace {

// The highest cache class a map object's texture may have.
constexpr int max_map_texture_class = 5;

std::string with_extension(const char* name, const char* extension)
{
    return std::string(name ? name : "") + extension;
}

// Destroys every library of an intrusive list (chained through next) whose
// name matches, keeping the others in their order.
template <class Library>
void remove_named(Library*& head, const char* name)
{
    if (!name)
        return;
    // The name may be a library's own, which goes with that library.
    const std::string wanted = name;
    Library** link = &head;
    while (*link) {
        Library* lib = *link;
        if (strcasecmp(lib->name.c_str(), wanted.c_str()) == 0) {
            *link = lib->next;
            delete lib;
        } else {
            link = &lib->next;
        }
    }
}

template <class Library>
void delete_list(Library*& head)
{
    while (head) {
        Library* after = head->next;
        delete head;
        head = after;
    }
}

// Every item of the first list of every present cell, columns outermost,
// then levels, then rows.
template <class Visit>
void for_each_first_list_item(const map_grid& grid, Visit visit)
{
    for (std::int32_t ix = 0; ix < grid.columns; ++ix)
        for (std::int32_t iy = 0; iy < grid.levels; ++iy)
            for (std::int32_t iz = 0; iz < grid.rows; ++iz) {
                map_cell* c = grid.lookup(iy, iz, ix);
                if (!c)
                    continue;
                for (map_item* item = c->sections[0]; item; item = item->next)
                    visit(*item);
            }
}

// Whether a node's referenced textures all stay within the class limit.
bool node_textures_fit(const model_node& node)
{
    for (const material_ref& ref : node.material_refs) {
        if (!ref.material || !ref.material->texture)
            continue;
        for (const mtr_texture* frame = ref.material->texture->first_frame; frame; frame = frame->next) {
            const auto word = texture_surfaces().cache_word;
            if (word && static_cast<int>(word(frame) & 0xF) > max_map_texture_class)
                return false;
        }
    }
    return true;
}

bool model_textures_fit(const ml_modelinfo& model)
{
    const int levels = model.levels ? model.level_count : 1;
    for (int k = 0; k < levels; ++k) {
        const model_record* level = model.levels ? model.levels[k] : &model;
        if (!level)
            continue;
        for (const model_node* n = level->first_node; n; n = n->next)
            if (!node_textures_fit(*n))
                return false;
    }
    return true;
}

} // namespace

void scene_error(int code)
{
    const char* text = code == 0 ? "SCENE:: Fatal error!" : code == 1 ? "SCENE:: File open error!" : "SCENE:: Unknown error!";
    error_box("error", "%s", text);
    std::exit(1);
}

scene::scene()
{
    ++live;
}

scene::~scene()
{
    release();
    --live;
}

void scene::release()
{
    // Models first: their instances hold private copies of materials and
    // links to animations of the other libraries.
    model_libs.clear();
    delete_list(material_libs);
    delete_list(anim_libs);
    grid.free();
}

void scene::add_model_lib(const char* path, int model_arg)
{
    auto lib = std::make_unique<model_lib>(path);
    lib->open_lib_file(path);
    lib->load_all(model_arg);
    lib->clear_flags(model_built);
    model_libs.insert(model_libs.begin(), std::move(lib));
}

void scene::add_material_lib(const char* path, int material_arg, int)
{
    auto* lib = new mtr_lib(path);
    lib->open_lib_file(path);
    const bool software = current_engine && current_engine->render_type == engine::software_render_type;
    lib->add_all_materials(software ? material_kind_atlas : material_kind_surface, material_arg, 0);
    lib->next = material_libs;
    material_libs = lib;
}

void scene::add_anim_lib(const char* path)
{
    auto* lib = new anim_lib(path);
    lib->open_lib_file(path);
    lib->load_all();
    lib->next = anim_libs;
    anim_libs = lib;
}

void scene::load_map(const char* path)
{
    const map_status status = grid.load_file(path ? path : "");
    if (status != map_status::ok) {
        std::fprintf(stderr, "scene: %s: %s\n", path ? path : "", map_status_text(status));
        scene_error(1);
    }
}

void scene::load(const char* name, int material_kind, int material_arg, int model_arg)
{
    // Billboard models read the current camera while they are posed.
    camera loading_camera;
    mat_identity(&loading_camera.heading);
    mat_identity(&loading_camera.heading_inverse);
    engine* context = current_engine;
    ::camera* previous = context ? context->camera : nullptr;
    if (context)
        context->set_camera(&loading_camera);

    if (material_kind == material_kind_mtt)
        add_material_lib(with_extension(name, ".MTT").c_str(), material_arg, 0);
    else if (material_kind == material_kind_mtp)
        add_material_lib(with_extension(name, ".MTP").c_str(), material_arg, 0);
    else
        scene_error(0);
    add_anim_lib(with_extension(name, ".ANM").c_str());
    add_model_lib(with_extension(name, ".MDL").c_str(), model_arg);
    load_map(with_extension(name, ".MAP").c_str());

    for (auto& lib : model_libs)
        lib->link_materials(material_libs);
    for (auto& lib : model_libs)
        lib->link_anims(anim_libs);
    link_map_objects();
    prepare_models();
    if (!(context && context->render_type == engine::software_render_type) && !check_textures()) {
        error_box("scene::load", "Texture cache range error!");
        std::exit(1);
    }

    // The loading camera ends here: the context gets back the camera it had.
    if (context && context == current_engine && context->camera == &loading_camera)
        context->set_camera(previous);
}

void scene::remove_model_lib(const char* name)
{
    if (!name)
        return;
    // The name may be a library's own, which goes with that library.
    const std::string wanted = name;
    for (auto it = model_libs.begin(); it != model_libs.end();) {
        if (strcasecmp((*it)->name.c_str(), wanted.c_str()) == 0)
            it = model_libs.erase(it);
        else
            ++it;
    }
    // The map's objects may have named models of a removed library: they
    // are linked again to the libraries that remain.
    link_map_objects();
}

void scene::remove_material_lib(const char* name)
{
    remove_named(material_libs, name);
}

void scene::remove_anim_lib(const char* name)
{
    if (!name)
        return;
    // The models let go of the animations they borrow first.
    for (const anim_lib* lib = anim_libs; lib; lib = lib->next)
        if (strcasecmp(lib->name.c_str(), name) == 0)
            for (auto& models : model_libs)
                models->unlink_anims(*lib);
    remove_named(anim_libs, name);
}

ml_modelinfo* scene::find_model(std::uint32_t hash) const
{
    if (model_libs.empty())
        return nullptr;
    return model_libs.front()->find_model(hash);
}

map_cell* scene::cell(std::int64_t x, std::int64_t y, std::int64_t z) const
{
    return grid.lookup(y, z, x);
}

vec4 scene::point_to_cell(const vec4& p) const
{
    auto axis = [](float v, float origin, float size) { return size != 0.0f ? (v - origin) / size : 0.0f; };
    return {axis(p.x, grid.origin.x, grid.cell_size.x), axis(p.y, grid.origin.y, grid.cell_size.y),
            axis(p.z, grid.origin.z, grid.cell_size.z), p.w};
}

map_cell* scene::cell_at_point(const vec4& p) const
{
    const vec4 c = point_to_cell(p);
    return cell(trunc_to_int64(c.x), trunc_to_int64(c.y), trunc_to_int64(c.z));
}

void scene::link_map_objects()
{
    for_each_first_list_item(grid, [this](map_item& item) { item.instance = find_model(item.name_hash); });
}

std::size_t scene::linked_item_count() const
{
    std::size_t count = 0;
    for_each_first_list_item(grid, [&count](map_item& item) { count += item.instance != nullptr; });
    return count;
}

int scene::mark_objects(float level, float amount)
{
    // Map items share their library's model: every model is marked once,
    // however many cells list it (marking moves the level values, so a
    // second pass would move them again).
    std::unordered_set<const ml_modelinfo*> marked;
    int grounds = 0;
    for_each_first_list_item(grid, [&](map_item& item) {
        ml_modelinfo* m = item.instance;
        if (!m || !m->levels || m->level_count <= 0 || !marked.insert(m).second)
            return;
        int found = 0;
        for (std::int32_t k = 0; k < m->level_count; ++k) {
            model_record* r = k == 0 ? m : m->levels[k];
            if (r && r->first_node)
                found |= r->first_node->mark_below_level(level, amount);
        }
        if (found) {
            m->flags |= scene_ground_object;
            ++grounds;
        }
    });
    return grounds;
}

void scene::prepare_models()
{
    for (auto& lib : model_libs) {
        for (ml_modelinfo* m = lib->models; m; m = m->next) {
            m->update_transforms(0.0f);
            if (m->node_count > 1 && m->first_node && m->first_node->mesh_word() == 2)
                error_box("LKY sprite error", "hrc : %s", m->name);
        }
    }
}

bool scene::check_textures() const
{
    bool fit = true;
    for_each_first_list_item(grid, [&fit](map_item& item) {
        if (fit && item.instance)
            fit = model_textures_fit(*item.instance);
    });
    return fit;
}

int scene::hit_test(hit_result* result, const vec4 segment[2]) const
{
    if (!result)
        return 0;
    result->hit = 0;
    const vec4 lo{std::min(segment[0].x, segment[1].x), std::min(segment[0].y, segment[1].y),
                  std::min(segment[0].z, segment[1].z), 1.0f};
    const vec4 hi{std::max(segment[0].x, segment[1].x), std::max(segment[0].y, segment[1].y),
                  std::max(segment[0].z, segment[1].z), 1.0f};
    for (const scene* s = this; s; s = s->next) {
        const map_grid& g = s->grid;
        if (g.levels <= 0 || g.rows <= 0 || g.columns <= 0)
            continue;
        // A segment that leaves this scene's box is not this scene's to test.
        if (!(lo.x >= g.origin.x && lo.y >= g.origin.y && lo.z >= g.origin.z && hi.x <= g.far_corner.x &&
              hi.y <= g.far_corner.y && hi.z <= g.far_corner.z))
            continue;
        const vec4 first = s->point_to_cell(lo);
        const vec4 last = s->point_to_cell(hi);
        auto range = [](float from, float to, std::int32_t reach, std::int32_t count, std::int32_t* a,
                        std::int32_t* b) {
            *a = static_cast<std::int32_t>(std::clamp<std::int64_t>(trunc_to_int64(from) - reach, 0, count - 1));
            *b = static_cast<std::int32_t>(std::clamp<std::int64_t>(trunc_to_int64(to), 0, count - 1));
        };
        std::int32_t x0, x1, y0, y1, z0, z1;
        range(first.x, last.x, g.reach[0], g.columns, &x0, &x1);
        range(first.y, last.y, g.reach[1], g.levels, &y0, &y1);
        range(first.z, last.z, g.reach[2], g.rows, &z0, &z1);
        for (std::int32_t iy = y0; iy <= y1; ++iy)
            for (std::int32_t iz = z0; iz <= z1; ++iz)
                for (std::int32_t ix = x0; ix <= x1; ++ix) {
                    const map_cell* c = g.lookup(iy, iz, ix);
                    if (!c)
                        continue;
                    for (const map_item* item = c->sections[0]; item; item = item->next) {
                        if (!item->instance || !(item->instance->flags & model_active))
                            continue;
                        // Each model's test starts its own nearest hit over;
                        // the nearest over all of them is kept here.
                        hit_result own;
                        if (item->instance->hit_test(&own, segment, 1) && (!result->hit || own.t < result->t)) {
                            *result = own;
                            result->nearest = own.t;
                        }
                    }
                }
    }
    return result->hit;
}
