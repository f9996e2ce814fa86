// Builds the engine records of a model from the description the reader
// made: node kinds, hierarchy, type data, detail levels and set-up passes.

#include <bit>
#include <cstring>

#include "engine/base/name_hash.h"
#include "engine/model/anim_lib.h"
#include "engine/model/fcurve.h"
#include "engine/model/mdl_format.h"
#include "engine/model/model_lib.h"

namespace {

model_part* build_part(const std::vector<mdl_face>& faces, const std::vector<mdl_vertex>& vertices)
{
    auto* part = new model_part;
    part->vertex_count = static_cast<std::uint32_t>(vertices.size());
    part->face_count = static_cast<std::uint32_t>(faces.size());
    part->vertices.resize(vertices.size() * mdl::vertex_bytes);
    for (std::size_t i = 0; i < vertices.size(); ++i)
        std::memcpy(part->vertices.data() + i * mdl::vertex_bytes, vertices[i].data(), mdl::vertex_bytes);
    part->faces.resize(faces.size() * mdl::face_bytes);
    for (std::size_t i = 0; i < faces.size(); ++i)
        std::memcpy(part->faces.data() + i * mdl::face_bytes, faces[i].data(), mdl::face_bytes);
    return part;
}

bone_object* build_bone(const mdl_bone& b)
{
    auto* bone = new bone_object;
    bone->file_words[0] = b.words[0];
    bone->file_words[1] = b.words[1];
    std::memcpy(&bone->inverse_rest, b.first_matrix, sizeof b.first_matrix);
    std::memcpy(&bone->skinning, b.skinning, sizeof b.skinning);
    bone->group_count = static_cast<std::uint32_t>(b.groups.size());
    if (!b.groups.empty()) {
        bone->groups = new skin_group*[b.groups.size()];
        for (std::size_t i = 0; i < b.groups.size(); ++i) {
            auto* g = new skin_group;
            g->mesh_hash = b.groups[i].mesh_hash;
            g->vertex_count = static_cast<std::uint32_t>(b.groups[i].vertices.size());
            if (g->vertex_count) {
                g->vertices = new std::uint16_t[g->vertex_count];
                std::memcpy(g->vertices, b.groups[i].vertices.data(), g->vertex_count * 2);
            }
            if (i > 0) {
                g->prev = bone->groups[i - 1];
                bone->groups[i - 1]->next = g;
            }
            bone->groups[i] = g;
        }
    }
    return bone;
}

void fill_node(model_node* n, const mdl_object& o, int level)
{
    n->flags |= o.node_flags | node_loaded;
    if (o.special == 5)
        n->flags |= node_special_5;
    else if (o.special == 6)
        n->flags |= node_special_6;
    n->first_hash = name_hash(o.first_name.c_str());
    n->hash = name_hash(o.name.c_str());
    n->type = static_cast<std::int32_t>(o.type);
    n->index = static_cast<std::int32_t>(o.id);
    n->radius = o.radius;
    n->scale = {o.scale.x, o.scale.y, o.scale.z, o.scale.w};
    n->angles = o.angles;
    n->local_position = o.position;
    n->word172 = o.word172;
    n->chain_kind = o.chain_kind;
    n->solved = 0;
    n->chain_length = o.chain_length;
    n->twist = o.twist;
    n->word188 = o.word188;
    n->bend_reference = o.bend_reference;
    n->word196 = o.word196;
    if (o.has_pivot()) {
        n->pivot = new model_pivot;
        n->pivot->scale = {o.pivot[0], o.pivot[1], o.pivot[2], o.pivot[3]};
        n->pivot->angles = {o.pivot[4], o.pivot[5], o.pivot[6], o.pivot[7]};
        n->pivot->translation = {o.pivot[8], o.pivot[9], o.pivot[10], o.pivot[11]};
    }
    n->material_names = o.materials;
    if (o.type == 4) {
        n->mesh = build_part(o.mesh.faces, o.mesh.vertices);
        n->mesh->mesh_word = o.mesh.header[mdl::mesh_word_kind];
        n->mesh->indexes = o.mesh.face_lists;
        n->mesh->header.resize(mdl::mesh_header_bytes);
        std::memcpy(n->mesh->header.data(), o.mesh.header.data(), mdl::mesh_header_bytes);
        n->mesh->has_cloth = o.mesh.has_cloth;
        if (o.mesh.has_cloth)
            n->mesh->cloth = o.mesh.cloth;
    } else if (o.type == 1) {
        n->patch = new std::vector<vec4>(o.patch.points);
        const auto& rec = o.patch.record;
        n->grid.basis_u = rec[mdl::patch_word_basis_u];
        n->grid.basis_v = rec[mdl::patch_word_basis_v];
        n->grid.count_u = rec[mdl::patch_word_u];
        n->grid.count_v = rec[mdl::patch_word_v];
        n->grid.closed_u = rec[mdl::patch_word_closed_u] != 0;
        n->grid.closed_v = rec[mdl::patch_word_closed_v] != 0;
        n->grid.tension_u = std::bit_cast<float>(rec[mdl::patch_word_tension_u]);
        n->grid.tension_v = std::bit_cast<float>(rec[mdl::patch_word_tension_v]);
        n->grid.material = rec[mdl::patch_word_material];
    } else if (o.type == 5 && o.has_bone) {
        n->bone = build_bone(o.bone);
    }
    if (o.has_hit_mesh)
        n->hit_mesh = build_part(o.hit_mesh.faces, o.hit_mesh.vertices);
    if (level == 0 && !o.muscles.empty()) {
        // Muscles of level 0: the curve, the vertex numbers as byte offsets
        // into the mesh's vertices (at most 1000 vertices: they fit 16 bits)
        // and the key positions, key-major.
        n->muscle_count = static_cast<std::int32_t>(o.muscles.size());
        n->muscles = new muscle_record[o.muscles.size()];
        for (std::size_t i = 0; i < o.muscles.size(); ++i) {
            const mdl_muscle& src = o.muscles[i];
            muscle_record& m = n->muscles[i];
            m.joint_hash = src.record[mdl::muscle_word_joint];
            m.shape.owner_state = 1;
            set_name(&m.shape.name, src.curve.name.c_str());
            m.shape.curve = anm_build_curve(src.curve);
            m.shape.vertex_count = static_cast<std::uint32_t>(src.vertices.size());
            m.shape.key_count = src.record[mdl::muscle_word_keys];
            if (!src.vertices.empty()) {
                m.shape.offsets = new std::uint16_t[src.vertices.size()];
                for (std::size_t v = 0; v < src.vertices.size(); ++v)
                    m.shape.offsets[v] = static_cast<std::uint16_t>(src.vertices[v] * mdl::vertex_bytes);
            }
            if (!src.points.empty()) {
                m.shape.positions = new vec4[src.points.size()];
                std::memcpy(static_cast<void*>(m.shape.positions), src.points.data(), src.points.size() * sizeof(vec4));
            }
        }
    }
    if (level == 0) {
        node_binding* tail = nullptr;
        for (const anm_binding& b : o.bindings) {
            auto* r = new (pool_node_binding) node_binding(nullptr, b.code, b.value);
            r->target_hash = b.target_hash;
            std::memcpy(r->kept, b.kept, sizeof r->kept);
            r->prev = tail;
            if (tail)
                tail->next = r;
            else
                n->bindings = r;
            tail = r;
            ++n->binding_count;
        }
    }
}

// The node kind of every object of a level (load flag 0: meshes of mesh
// word 0 take compact kind A; flag 2: kind B; a level where any node needs
// the full kind is all full kind).
std::uint32_t level_kind(const mdl_level& level, int number, int flag)
{
    if (number > 0)
        return node_kind_level;
    std::uint32_t compact = flag == 0 ? node_kind_compact_a : flag == 2 ? node_kind_compact_b : 0;
    for (const mdl_object& o : level.objects)
        if (o.type != 4 || o.mesh.header[mdl::mesh_word_kind] != 0)
            compact = 0;
    return compact ? compact : node_kind_full;
}

// Builds the nodes of a level into the record: hierarchy by id, children of
// one parent with the objects of type 6 first, the flat list root first.
void build_level(const mdl_level& level, int number, int flag, model_record* record)
{
    const std::uint32_t kind = level_kind(level, number, flag);
    const std::size_t n = level.objects.size();
    std::vector<model_node*> nodes(n);
    std::vector<model_node*> by_id(n, nullptr);
    for (std::size_t i = 0; i < n; ++i) {
        nodes[i] = new model_node(kind);
        fill_node(nodes[i], level.objects[i], number);
        nodes[i]->owner_state = 1;
        by_id[level.objects[i].id] = nodes[i];
    }
    auto at = [&](std::int32_t id) { return id >= 0 ? by_id[static_cast<std::size_t>(id)] : nullptr; };
    model_node* root = nullptr;
    for (std::size_t i = 0; i < n; ++i) {
        const mdl_object& o = level.objects[i];
        nodes[i]->parent = at(o.parent);
        nodes[i]->next_sibling = at(o.sibling);
        nodes[i]->first_child = at(o.child);
        if (o.parent == -1)
            root = nodes[i];
    }
    // Re-chain every parent's children: objects of type 6 first, then the
    // others, each in their order.
    for (model_node* p : nodes) {
        std::vector<model_node*> children;
        for (model_node* c = p->first_child; c; c = c->next_sibling)
            children.push_back(c);
        std::vector<model_node*> ordered;
        for (model_node* c : children)
            if (c->type == node_empty_first)
                ordered.push_back(c);
        for (model_node* c : children)
            if (c->type != node_empty_first)
                ordered.push_back(c);
        for (std::size_t i = 0; i < ordered.size(); ++i) {
            ordered[i]->next_sibling = i + 1 < ordered.size() ? ordered[i + 1] : nullptr;
            ordered[i]->parent = p;
        }
        p->first_child = ordered.empty() ? nullptr : ordered[0];
    }
    std::vector<model_node*> flat{root};
    for (model_node* x : nodes)
        if (x != root)
            flat.push_back(x);
    for (std::size_t i = 0; i < flat.size(); ++i) {
        flat[i]->prev = i > 0 ? flat[i - 1] : nullptr;
        flat[i]->next = i + 1 < flat.size() ? flat[i + 1] : nullptr;
    }
    record->first_node = root;
    record->node_count = static_cast<std::int32_t>(n);
}

// Each node passes the vector it received to its next sibling, and to its
// first child that vector divided by its own scale (full kind only); a mesh
// node hands the vector it computed to its mesh.
void scale_pass(model_node* node, vec4 v)
{
    for (; node; node = node->next_sibling) {
        vec4 own = v;
        if (node->is_full()) {
            own.x = node->scale.x != 0.0f ? v.x / node->scale.x : 0.0f;
            own.y = node->scale.y != 0.0f ? v.y / node->scale.y : 0.0f;
            own.z = node->scale.z != 0.0f ? v.z / node->scale.z : 0.0f;
        }
        if (node->type == node_mesh && node->mesh)
            node->mesh->scale = own;
        scale_pass(node->first_child, own);
    }
}

} // namespace

ml_modelinfo* mdl_build_model(const mdl_model& model, model_lib* library, int flag, mdl_status* status)
{
    if (status)
        *status = mdl_status::ok;
    auto* m = new ml_modelinfo(model.levels.empty() ? model.name.c_str() : model.levels[0].name.c_str());
    m->library = library;
    build_level(model.levels[0], 0, flag, m);
    const std::size_t levels = model.levels.size();
    m->level_count = static_cast<std::int32_t>(levels);
    m->levels = new model_record*[levels];
    m->levels[0] = m;
    for (std::size_t k = 1; k < levels; ++k) {
        auto* level = new model_level;
        set_name(reinterpret_cast<named_record*>(level->name), model.levels[k].name.c_str());
        level->id = static_cast<std::int32_t>(k);
        level->library = library;
        level->model = m;
        build_level(model.levels[k], static_cast<int>(k), flag, level);
        m->levels[k] = level;
    }
    // Only the root of level 0 keeps its radius; mesh nodes lose theirs.
    m->root_radius = m->first_node->radius;
    for (model_node* n = m->first_node; n; n = n->next)
        if (n->type == node_mesh)
            n->radius = 0.0f;
    m->first_node->radius = m->root_radius;

    m->flags = (m->flags & ~0xFFFu) | model_active | model_built;
    m->id = -1;
    m->anim_time = -1.0f;
    m->link_levels();
    m->setup_skin();
    if (!m->muscles_init()) {
        if (status)
            *status = mdl_status::muscle_joints;
        delete m;
        return nullptr;
    }
    m->resolve_bindings();
    scale_pass(m->first_node, m->scale);
    // The detail levels' pivots have served their set-up.
    for (std::size_t k = 1; k < levels; ++k)
        for (model_node* n = m->levels[k]->first_node; n; n = n->next) {
            delete n->pivot;
            n->pivot = nullptr;
        }
    for (std::size_t k = 1; k < levels; ++k)
        m->levels[k]->set_node_state(1);
    m->set_node_state(1);
    for (model_node* n = m->first_node; n; n = n->next)
        for (node_binding* b = n->bindings; b; b = b->next)
            b->set_state(1);
    // Each cloth is bound to its node now that the node exists.
    if (const cloth_setup setup = installed_cloth_setup())
        for (model_node* n = m->first_node; n; n = n->next)
            if (n->type == node_mesh && n->mesh && n->mesh->has_cloth)
                setup(n);
    return m;
}
