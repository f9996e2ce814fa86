#include "engine/model/model_node.h"

#include <atomic>
#include <cstring>

#include "engine/base/name_hash.h"

#include "engine/model/mtr_lib.h"

skin_group::~skin_group()
{
    if (owner == 1)
        delete[] vertices;
    --live;
}

bone_object::~bone_object()
{
    for (std::uint32_t i = 0; i < group_count; ++i)
        delete groups[i];
    delete[] groups;
    --live;
}

bone_object* bone_object::copy_for_instance() const
{
    auto* copy = new bone_object;
    copy->group_count = group_count;
    copy->inverse_rest = inverse_rest;
    copy->skinning = skinning;
    copy->rest_invertible = rest_invertible;
    copy->file_words[0] = file_words[0];
    copy->file_words[1] = file_words[1];
    if (group_count) {
        copy->groups = new skin_group*[group_count];
        for (std::uint32_t i = 0; i < group_count; ++i) {
            auto* g = new skin_group;
            g->mesh_hash = groups[i]->mesh_hash;
            g->vertex_count = groups[i]->vertex_count;
            g->vertices = groups[i]->vertices;
            g->owner = 2;
            g->prev = i > 0 ? copy->groups[i - 1] : nullptr;
            if (i > 0)
                copy->groups[i - 1]->next = g;
            copy->groups[i] = g;
        }
    }
    return copy;
}

namespace {

std::atomic<cloth_setup> g_cloth_setup{nullptr};

} // namespace

void set_cloth_setup(cloth_setup setup)
{
    g_cloth_setup.store(setup);
}

cloth_setup installed_cloth_setup()
{
    return g_cloth_setup.load();
}

model_node::model_node(std::uint32_t kind) : flags(kind | 3), made_kind_(kind)
{
    mat_identity(&world);
    mat_identity(&inverse_world);
    if (int* live = live_counter())
        ++*live;
}

int* model_node::live_counter()
{
    switch (made_kind_) {
    case node_kind_full: return &live_full;
    case node_kind_compact_a: return &live_compact_a;
    case node_kind_compact_b: return &live_compact_b;
    case node_kind_level: return &live_level;
    default: return nullptr;
    }
}

void model_node::release_skin_refs()
{
    for (int i = 0; i < skin_ref_count; ++i)
        delete skin_refs[i];
    delete[] skin_refs;
    skin_refs = nullptr;
    skin_ref_count = 0;
    skin_ref_room = 0;
}

static void delete_bindings(node_binding*& first)
{
    while (first) {
        node_binding* after = first->next;
        delete first;
        first = after;
    }
}

model_node::~model_node()
{
    if (owner_state == 1) {
        // A library model's node owns its type data.
        delete mesh;
        delete patch;
        delete bone;
        delete hit_mesh;
    } else if (owner_state == 2) {
        // An instance's node owns only its bone object copy; the groups'
        // vertex lists belong to the model.
        if (bone) {
            for (std::uint32_t i = 0; i < bone->group_count; ++i)
                bone->groups[i]->vertices = nullptr;
            delete bone;
        }
    }
    if (owner_state == 1 || owner_state == 2) {
        release_private_materials();
        release_skin_refs();
        delete_bindings(bindings);
        // A model's records free their curves and arrays; an instance's
        // copies share them and free only themselves.
        delete[] muscles;
        muscles = nullptr;
        muscle_count = 0;
        delete[] namesakes;
        delete pivot;
    }
    if (int* live = live_counter())
        --*live;
}

model_node* model_node::namesake(int level)
{
    if (level < 0)
        return nullptr;
    if (!namesakes)
        return this;
    return level < namesake_count ? namesakes[level] : nullptr;
}

void model_node::resolve_bindings(model_node* first)
{
    for (node_binding* b = bindings; b; b = b->next)
        for (model_node* n = first; n; n = n->next)
            if (n->hash == b->target_hash) {
                b->bound = n;
                break;
            }
}

static node_binding* copy_bindings(const node_binding* first)
{
    node_binding* head = nullptr;
    node_binding* tail = nullptr;
    for (const node_binding* b = first; b; b = b->next) {
        auto* c = new (pool_node_binding) node_binding(nullptr, b->code, b->value);
        c->target_hash = b->target_hash;
        std::memcpy(c->kept, b->kept, sizeof c->kept);
        c->owner_state = 2;
        c->prev = tail;
        if (tail)
            tail->next = c;
        else
            head = c;
        tail = c;
    }
    return head;
}

model_node* model_node::copy_as(std::uint32_t dest_kind) const
{
    auto* c = new model_node(dest_kind);
    c->flags = (flags & ~node_kind_bits) | dest_kind | node_copied;
    c->first_hash = first_hash;
    c->hash = hash;
    c->type = type;
    c->mesh = mesh;
    c->patch = patch;
    c->grid = grid;
    c->index = index;
    c->radius = radius;
    c->level0 = level0;
    c->local_position = local_position;
    c->material_names = material_names;
    c->owner_state = 2;
    c->owner_extra = owner_extra;
    if (dest_kind == node_kind_full || dest_kind == node_kind_level) {
        if (bone)
            c->bone = bone->copy_for_instance();
        if (pivot)
            c->pivot = new model_pivot(*pivot);
    }
    if (dest_kind == node_kind_full) {
        c->world_centre = world_centre;
        c->world_scale = world_scale;
        c->scale = scale;
        c->angles = angles;
        c->world = world;
        c->inverse_world = inverse_world;
        c->hit_mesh = hit_mesh;
        c->binding_count = binding_count;
        c->bindings = copy_bindings(bindings);
        c->word172 = word172;
        c->chain_kind = chain_kind;
        c->solved = solved;
        c->chain_length = chain_length;
        c->twist = twist;
        c->word188 = word188;
        c->bend_reference = bend_reference;
        c->word196 = word196;
        if (muscle_count > 0) {
            c->muscles = new muscle_record[static_cast<std::size_t>(muscle_count)];
            c->muscle_count = muscle_count;
            for (std::int32_t i = 0; i < muscle_count; ++i)
                c->muscles[i].share(muscles[i]);
        }
    }
    return c;
}

void model_node::release_private_materials()
{
    if (material_binding == 1)
        for (material_ref& r : material_refs)
            if (r.material && r.material->owner_state == 2) {
                delete r.material;
                r.material = nullptr;
            }
    material_refs.clear();
}

bool model_node::link_materials(mtr_lib* chain, std::uint32_t flag)
{
    bool found_all = true;
    if (!(flags & node_kind_level))
        for (int k = 1; k < namesake_count; ++k)
            if (namesakes[k] && namesakes[k] != this && !namesakes[k]->link_materials(chain, flag))
                found_all = false;
    release_private_materials();
    for (const std::string& n : material_names) {
        material_ref r;
        r.name = n;
        r.hash = name_hash(n.c_str());
        material_refs.push_back(r);
    }
    material_binding = flag;
    std::uint32_t working = flag;
    if (!(flag & 1)) {
        // An animated texture anywhere among the references: every
        // reference of the node takes a private copy.
        for (const material_ref& r : material_refs)
            for (mtr_lib* lib = chain; lib; lib = lib->next)
                if (const mesh_material* m = lib->find(r.hash))
                    if (m->texture && m->texture->frame_count > 1) {
                        material_binding = 1;
                        working = 1;
                    }
    }
    std::size_t matches = 0;
    for (mtr_lib* lib = chain; lib; lib = lib->next)
        for (material_ref& r : material_refs) {
            mesh_material* m = lib->find(r.hash);
            if (!m)
                continue;
            ++matches;
            if (r.material && r.material->owner_state == 2)
                delete r.material;   // found again in a later library
            r.material = (working & 1) ? m->copy() : m;
        }
    if (material_binding != 1 && (working & 1))
        material_binding = 1;
    return found_all && matches == material_refs.size();
}

void model_node::set_material_set(std::uint32_t set)
{
    // The set goes into the texture's third word, the phase by which the
    // mesh drawing chooses a frame of a multi-frame texture (as first
    // written only a word of its own was set, which nothing reads, so no
    // livery or fade ever changed).
    for (material_ref& r : material_refs)
        if (r.material && r.material->texture) {
            r.material->texture->set_word = set;
            r.material->texture->words[2] = set;
        }
    if (!(flags & node_kind_level))
        for (int k = 1; k < namesake_count; ++k)
            if (namesakes[k] && namesakes[k] != this)
                namesakes[k]->set_material_set(set);
}

void model_node::set_mesh_param(float value)
{
    if (type != node_mesh || !mesh)
        return;
    // Out-of-range values are held at the ends of the word's range.
    std::int32_t word = 0;
    if (value >= 2147483520.0f)
        word = 2147483647;
    else if (value <= -2147483648.0f)
        word = -2147483647 - 1;
    else if (value == value)
        word = static_cast<std::int32_t>(value);
    for (std::uint32_t f = 0; f < mesh->face_count; ++f)
        std::memcpy(mesh->faces.data() + f * model_part::face_bytes + 48, &word, 4);
}

const char* model_node::texture_name_containing(const char* text) const
{
    for (const material_ref& r : material_refs)
        if (r.material && r.material->texture && r.material->texture->first_frame &&
            std::strstr(r.material->texture->first_frame->name, text))
            return r.material->texture->first_frame->name;
    return nullptr;
}

mesh_texture* model_node::texture_of_material(std::uint32_t material_hash) const
{
    if (!is_full())
        return nullptr;
    for (const material_ref& r : material_refs)
        if (r.material && r.material->name_hash == material_hash)
            return r.material->texture;
    return nullptr;
}
