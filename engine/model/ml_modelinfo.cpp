#include "engine/model/ml_modelinfo.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "engine/base/light_record.h"
#include "engine/base/name_hash.h"
#include "engine/model/anim_lib.h"
#include "engine/model/fcurve.h"
#include "engine/model/owned.h"
#include "engine/model/shadow_link.h"

model_node* model_record::find_node(std::uint32_t hash) const
{
    for (model_node* n = first_node; n; n = n->next)
        if (n->hash == hash)
            return n;
    return nullptr;
}

void model_record::set_node_state(std::uint32_t state)
{
    for (model_node* n = first_node; n; n = n->next)
        n->owner_state = state;
    owner_state = state;
}

void model_record::destroy_nodes()
{
    model_node* n = first_node;
    while (n) {
        model_node* after = n->next;
        delete n;
        n = after;
    }
    first_node = nullptr;
    node_count = 0;
}

model_level::~model_level()
{
    destroy_nodes();
}

ml_modelinfo::ml_modelinfo() = default;

ml_modelinfo::ml_modelinfo(const char* model_name)
{
    set_name(reinterpret_cast<named_record*>(name), model_name);
}

ml_modelinfo::~ml_modelinfo()
{
    destroy();
}

void ml_modelinfo::destroy()
{
    shadow_drop_links(this);
    ++ground_epoch;
    if (levels) {
        for (int i = 1; i < level_count; ++i)
            delete levels[i];
        delete[] levels;
        levels = nullptr;
    }
    level_count = 0;
    delete lens_curve;
    lens_curve = nullptr;
    // The transition link is in the animation list too.
    delete_owned_list(anims);
    trans_link = nullptr;
    current_anim = nullptr;
    destroy_nodes();
}

void ml_modelinfo::set_flags(std::uint32_t bits)
{
    flags |= bits;
    for (model_node* n = first_node; n; n = n->next)
        n->flags |= bits;
}

void ml_modelinfo::clear_flags(std::uint32_t bits)
{
    flags &= ~bits;
    for (model_node* n = first_node; n; n = n->next)
        n->flags &= ~bits;
}

void ml_modelinfo::set_position(float x, float y, float z, float w)
{
    position = {x, y, z, w};
    if (first_node)
        first_node->local_position = {0.0f, 0.0f, 0.0f, 0.0f};
    flags &= ~model_transforms_valid;
    update_transforms(anim_time);
}

void ml_modelinfo::set_target(const vec4& target)
{
    if (first_node && first_node->first_child)
        first_node->first_child->local_position = target;
    flags &= ~model_transforms_valid;
    update_transforms(anim_time);
}

void ml_modelinfo::set_position_target(const vec4& pos, const vec4& target)
{
    position = pos;
    if (first_node) {
        first_node->local_position = {0.0f, 0.0f, 0.0f, 0.0f};
        if (first_node->first_child)
            first_node->first_child->local_position = {target.x - pos.x, target.y - pos.y, target.z - pos.z,
                                                       target.w - pos.w};
    }
    flags &= ~model_transforms_valid;
    update_transforms(anim_time);
}

void ml_modelinfo::set_ext_matrix(const mat4* matrix)
{
    ext_matrix = matrix;
    flags &= ~model_transforms_valid;
}

void ml_modelinfo::set_orientation(mat4* record, float ax, float ay, float az)
{
    mat_from_angles(record, ax, ay, az);
    record->m[3][0] = record->m[3][1] = record->m[3][2] = 0.0f;
    record->m[3][3] = 1.0f;
    set_ext_matrix(record);
}

model_record* ml_modelinfo::select_lod(const lod_view* view)
{
    if (!levels || !lod_table || level_count < 1 || !view) {
        id = 0;
        return this;
    }
    float z = view->detail_distance;
    if (view->has_fov_curve)
        z *= view->lod_factor;
    vec4 root{};
    if (first_node)
        root = first_node->local_position;
    const float cx = position.x + scale.x * root.x - view->position.x;
    const float cy = position.y + scale.y * root.y - view->position.y;
    const float cz = position.z + scale.z * root.z - view->position.z;
    const float d = cx * cx + cy * cy + cz * cz;
    // The table holds one threshold per level: never read past it, nor
    // past its own end when the model has more levels than thresholds.
    const int thresholds = std::min(level_count, lod_table_length);
    int passed = 0;
    while (passed < thresholds && d > z * z * lod_table[passed] * lod_table[passed])
        ++passed;
    int level = passed - 1;
    if (level > level_count - 1)
        level = level_count - 1;
    // A distance that passes no threshold draws level 0 (not level -1).
    if (level < 0)
        level = 0;
    id = level;
    return levels[level];
}

model_record* ml_modelinfo::update_for_view(const lod_view* view, float time)
{
    model_record* level = select_lod(view);
    update_transforms(time);
    return level;
}

int ml_modelinfo::select_lights(scn_light** out, scn_light* const* lights) const
{
    int count = 0;
    if (lights && first_node) {
        const vec4 centre = first_node->is_compact() ? first_node->local_position : first_node->world_centre;
        for (; *lights; ++lights) {
            const scn_light* light = *lights;
            bool reaches = light->type == 3;
            if (!reaches) {
                const float dx = light->world_position.x - centre.x;
                const float dy = light->world_position.y - centre.y;
                const float dz = light->world_position.z - centre.z;
                const float d = std::sqrt(dx * dx + dy * dy + dz * dz + 0.001f);
                reaches = d < std::sqrt(light->range_sq) + first_node->radius;
            }
            if (reaches)
                out[count++] = *lights;
        }
    }
    if (out)
        out[count] = nullptr;
    return count;
}

void ml_modelinfo::enable_shadow()
{
    shadow_flag = 1;
    shadow_state[0] = shadow_state[1] = 0;
    ground_factor = 1.0f;
    ground_instance = nullptr;
    ground_node = nullptr;
}

void ml_modelinfo::pair_with(ml_modelinfo* other)
{
    pair = other;
    other->pair = this;
    flags = (flags & ~model_paired_second) | model_paired_first;
    other->flags = (other->flags & ~model_paired_first) | model_paired_second;
}

void ml_modelinfo::link_levels()
{
    for (model_node* n = first_node; n; n = n->next) {
        delete[] n->namesakes;
        n->namesakes = nullptr;
        n->namesake_count = 0;
        if (level_count < 1 || !levels)
            continue;
        n->namesakes = new model_node*[level_count];
        n->namesake_count = level_count;
        n->namesakes[0] = n;
        for (int k = 1; k < level_count; ++k) {
            model_node* found = levels[k] ? levels[k]->find_node(n->hash) : nullptr;
            n->namesakes[k] = found;
            if (found)
                found->level0 = n;
        }
    }
}

// Binds the skin groups of the record's bones to its meshes and gives each
// mesh one reference per group that moves it.
static void bind_skin(model_record* record)
{
    int bones = 0;
    for (model_node* n = record->first_node; n; n = n->next)
        if (n->type == node_bone && n->bone)
            ++bones;
    for (model_node* n = record->first_node; n; n = n->next) {
        if (n->type != node_bone || !n->bone)
            continue;
        for (std::uint32_t g = 0; g < n->bone->group_count; ++g) {
            skin_group* group = n->bone->groups[g];
            model_node* mesh = record->find_node(group->mesh_hash);
            group->bound = mesh;
            if (!mesh)
                continue;
            if (!mesh->skin_refs) {
                // Room for one reference per group of every bone, so that a
                // bone with several groups on one mesh never overruns it.
                int room = 0;
                for (model_node* b = record->first_node; b; b = b->next)
                    if (b->type == node_bone && b->bone)
                        room += static_cast<int>(b->bone->group_count);
                mesh->skin_refs = new skin_ref*[room > bones ? room : bones];
                mesh->skin_ref_room = room > bones ? room : bones;
            }
            if (mesh->skin_ref_count < mesh->skin_ref_room) {
                auto* ref = new skin_ref;
                ref->bone = n->bone;
                ref->group = group;
                mesh->skin_refs[mesh->skin_ref_count++] = ref;
            }
        }
    }
}

void ml_modelinfo::setup_skin()
{
    bind_skin(this);
    for (int k = 1; k < level_count; ++k)
        if (levels && levels[k])
            bind_skin(levels[k]);
    rest_pose(true);
}

void ml_modelinfo::resolve_bindings()
{
    for (model_node* n = first_node; n; n = n->next)
        if (n->is_full() && n->bindings)
            n->resolve_bindings(first_node);
}

// Copies a level's nodes, keeping their kinds, and remaps the hierarchy to
// the copies by the nodes' positions in the flat list.
static bool copy_level_nodes(const model_record* source, model_record* dest)
{
    std::vector<const model_node*> from;
    for (const model_node* n = source->first_node; n; n = n->next)
        from.push_back(n);
    if (from.size() > 200)
        return false;
    std::vector<model_node*> to(from.size());
    for (std::size_t i = 0; i < from.size(); ++i) {
        std::uint32_t kind = from[i]->kind();
        if (!kind)
            kind = node_kind_full;
        to[i] = from[i]->copy_as(kind);
        if (kind == node_kind_level)
            to[i]->level0 = nullptr;
    }
    auto map = [&](const model_node* n) -> model_node* {
        for (std::size_t i = 0; i < from.size(); ++i)
            if (from[i] == n)
                return to[i];
        return nullptr;
    };
    dest->first_node = nullptr;
    for (std::size_t i = 0; i < from.size(); ++i) {
        to[i]->parent = map(from[i]->parent);
        to[i]->first_child = map(from[i]->first_child);
        to[i]->next_sibling = map(from[i]->next_sibling);
        to[i]->prev = i > 0 ? to[i - 1] : nullptr;
        to[i]->next = i + 1 < to.size() ? to[i + 1] : nullptr;
    }
    dest->first_node = to.empty() ? nullptr : to[0];
    for (model_node* n : to)
        if (!n->parent) {
            dest->first_node = n;
            break;
        }
    dest->node_count = static_cast<std::int32_t>(to.size());
    return true;
}

static void copy_record_words(const model_record* source, model_record* dest, model_lib* owner)
{
    for (int i = 0; i < 32; ++i)
        dest->name[i] = source->name[i];
    dest->name_hash = source->name_hash;
    dest->flags = source->flags;
    dest->id = source->id;
    dest->library = owner;
}

ml_modelinfo* ml_modelinfo::make_instance(model_lib* owner) const
{
    auto* copy = new ml_modelinfo;
    copy_record_words(this, copy, owner);
    copy->root_radius = root_radius;
    copy->position = position;
    copy->angles = angles;
    copy->scale = scale;
    copy->ext_matrix = ext_matrix;
    copy->lod_table = lod_table;
    copy->lod_table_length = lod_table_length;
    copy->owner_state = 2;
    if (!copy_level_nodes(this, copy)) {
        delete copy;
        return nullptr;
    }
    if (level_count > 0 && levels) {
        copy->levels = new model_record*[level_count]();
        copy->level_count = level_count;
        copy->levels[0] = copy;
        for (int k = 1; k < level_count; ++k) {
            auto* level = new model_level;
            copy_record_words(levels[k], level, owner);
            level->model = copy;
            level->owner_state = 2;
            copy->levels[k] = level;
            if (!copy_level_nodes(levels[k], level)) {
                delete copy;
                return nullptr;
            }
        }
    }
    copy->flags = (copy->flags & ~0xFFFu) | model_active | model_built;
    copy->id = -1;
    copy->link_levels();
    copy->setup_skin();
    // The copy's hierarchy is the model's, whose muscles found their joints.
    copy->muscles_init();
    copy->resolve_bindings();
    // The set-up has used the pivots of the copied nodes.
    for (model_node* n = copy->first_node; n; n = n->next)
        if (n->is_full()) {
            delete n->pivot;
            n->pivot = nullptr;
        }
    return copy;
}

bool ml_modelinfo::link_materials(mtr_lib* chain, std::uint32_t flag)
{
    bool ok = true;
    for (model_node* n = first_node; n; n = n->next)
        if (n->type == node_mesh || n->type == node_patch)
            if (!n->link_materials(chain, flag))
                ok = false;
    return ok;
}

void ml_modelinfo::set_material_set(std::uint32_t set)
{
    for (model_node* n = first_node; n; n = n->next)
        n->set_material_set(set);
}

void ml_modelinfo::set_mesh_param(float value)
{
    for (model_node* n = first_node; n; n = n->next)
        n->set_mesh_param(value);
    for (int k = 1; k < level_count; ++k)
        if (levels && levels[k])
            for (model_node* n = levels[k]->first_node; n; n = n->next)
                n->set_mesh_param(value);
}

model_node* ml_modelinfo::find_node_by_texture(const char* text) const
{
    for (model_node* n = first_node; n; n = n->next)
        if (n->texture_name_containing(text))
            return n;
    return nullptr;
}

const char* ml_modelinfo::find_texture_name(const char* text) const
{
    for (model_node* n = first_node; n; n = n->next)
        if (const char* found = n->texture_name_containing(text))
            return found;
    return nullptr;
}

mesh_texture* ml_modelinfo::texture_of_material(std::uint32_t material_hash) const
{
    for (const model_node* n = first_node; n; n = n->next)
        if (mesh_texture* t = n->texture_of_material(material_hash))
            return t;
    return nullptr;
}
