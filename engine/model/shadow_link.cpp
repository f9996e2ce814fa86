// Linked shadows: pairing a shadow's vertices with the model's, and the
// pairs' lifetime.

#include "engine/model/shadow_link.h"

#include <algorithm>
#include <cstring>

#include "engine/base/error_box.h"
#include "engine/base/mat4.h"
#include "engine/model/ml_modelinfo.h"

namespace {

// The record of detail level `k` (level 0 is the record itself).
model_record* level_record(ml_modelinfo* m, int k)
{
    if (k == 0)
        return m;
    return m->levels && k < m->level_count ? m->levels[k] : nullptr;
}

int level_total(const ml_modelinfo* m)
{
    return m->levels ? m->level_count : 1;
}

// The vertices a mesh can be read for: its count, lowered to the records
// actually stored.
std::uint32_t stored_vertices(const model_part& mesh)
{
    const std::size_t stored = mesh.vertices.size() / model_part::vertex_bytes;
    return mesh.vertex_count < stored ? mesh.vertex_count : static_cast<std::uint32_t>(stored);
}

vec4 rest_position(const model_part& mesh, std::uint32_t i)
{
    float p[3];
    std::memcpy(p, mesh.vertices.data() + std::size_t{i} * model_part::vertex_bytes, sizeof p);
    return {p[0], p[1], p[2], 1.0f};
}

// A mesh node's vertices in its model's frame, as the mesh transform
// places them (without the camera): compact kind A at its local position
// with world axes, the others by their world matrix (a detail-level node by
// the level-0 node that drives it), vertices of skin groups by the bone's
// skinning matrix first.
std::vector<vec4> model_space_vertices(const model_node& node, std::uint32_t count)
{
    const model_part& mesh = *node.mesh;
    const model_node& driver = (node.flags & node_kind_level) && node.level0 ? *node.level0 : node;
    std::vector<vec4> out(count);
    if (driver.flags & node_kind_compact_a) {
        for (std::uint32_t i = 0; i < count; ++i) {
            const vec4 p = rest_position(mesh, i);
            out[i] = {p.x + driver.local_position.x, p.y + driver.local_position.y, p.z + driver.local_position.z,
                      1.0f};
        }
        return out;
    }
    std::vector<bool> placed(count, false);
    for (std::int32_t g = 0; node.skin_refs && g < node.skin_ref_count; ++g) {
        const skin_ref* ref = node.skin_refs[g];
        if (!ref || !ref->bone || !ref->group)
            continue;
        mat4 m{};
        mat_mul_affine(&ref->bone->skinning, &m, &driver.world);
        for (std::uint32_t k = 0; k < ref->group->vertex_count; ++k) {
            const std::uint32_t i = ref->group->vertices[k];
            if (i >= count)
                continue;
            const vec4 p = rest_position(mesh, i);
            mat_transform_point(&m, &p, &out[i]);
            placed[i] = true;
        }
    }
    for (std::uint32_t i = 0; i < count; ++i)
        if (!placed[i]) {
            const vec4 p = rest_position(mesh, i);
            mat_transform_point(&driver.world, &p, &out[i]);
        }
    return out;
}

// A model vertex of the scan: where it is, and whose.
struct scanned_vertex {
    vec4 p;
    const model_node* node;
    std::uint32_t vertex;
};

void overflow_box()
{
    error_box("Vertex overflow in 'link_shadow", "!");
}

// Reverses the winding of every face: a triangle swaps its first and third
// corners, a quad its first and fourth and its second and third.
void reverse_faces(model_part& mesh)
{
    const std::size_t faces = std::min<std::size_t>(mesh.face_count, mesh.faces.size() / model_part::face_bytes);
    for (std::size_t f = 0; f < faces; ++f) {
        std::uint8_t* face = mesh.faces.data() + f * model_part::face_bytes;
        std::uint32_t corners = 0;
        std::uint32_t c[4];
        std::memcpy(&corners, face, 4);
        std::memcpy(c, face + 24, sizeof c);
        if (corners == 3)
            std::swap(c[0], c[2]);
        else if (corners == 4) {
            std::swap(c[0], c[3]);
            std::swap(c[1], c[2]);
        } else {
            continue;
        }
        std::memcpy(face + 24, c, sizeof c);
    }
}

// The instance's place while it is linked: its own frame.
struct saved_place {
    explicit saved_place(ml_modelinfo* m)
        : record(m), ext(m->ext_matrix), position(m->position), angles(m->angles), id(m->id)
    {
    }
    void restore()
    {
        record->ext_matrix = ext;
        record->position = position;
        record->angles = angles;
        record->id = id;
        record->flags &= ~model_transforms_valid;
    }
    ml_modelinfo* record;
    const mat4* ext;
    vec4 position, angles;
    std::int32_t id;
};

const mat4& identity_matrix()
{
    static const mat4 m = [] {
        mat4 i{};
        mat_identity(&i);
        return i;
    }();
    return m;
}

// Poses the instance in its own frame at level `level`.
void pose_in_own_frame(ml_modelinfo* m, std::int32_t level)
{
    m->ext_matrix = &identity_matrix();
    m->position = {0.0f, 0.0f, 0.0f, m->position.w};
    m->angles = {};
    m->id = level;
    m->flags &= ~model_transforms_valid;
    m->update_transforms(m->anim_time);
}

// Links one level; false when it got no links.
bool link_level(ml_modelinfo* model, ml_modelinfo* shadow, int level)
{
    model_record* own = level_record(model, level);
    model_record* shade = level_record(shadow, level);
    if (!own || !shade || own->shadow_link)
        return false;
    shade->flags |= record_linked_shadow;
    own->flags |= record_has_shadow;
    auto* link = new shadow_level_link;
    link->shadow = shadow;
    link->shadow_level = shade;
    own->shadow_link = link;
    shade->shadow_owner = own;

    saved_place model_place(model);
    pose_in_own_frame(model, level);
    saved_place shadow_place(shadow);
    pose_in_own_frame(shadow, -1);
    shadow->ground_node = nullptr;

    // The model's meshes, each checked against the buffer before it is taken.
    std::vector<scanned_vertex> scanned;
    for (const model_node* n = own->first_node; n; n = n->next) {
        if (n->type != node_mesh || !n->mesh)
            continue;
        const std::uint32_t count = stored_vertices(*n->mesh);
        if (!fits_vertex_buffer(scanned.size() + count)) {
            overflow_box();
            break;
        }
        const std::vector<vec4> placed = model_space_vertices(*n, count);
        for (std::uint32_t i = 0; i < count; ++i)
            scanned.push_back({placed[i], n, i});
    }

    // The shadow's root mesh, checked the same way.
    model_node* root = shade->first_node;
    bool linked = false;
    if (root && root->type == node_mesh && root->mesh) {
        const std::uint32_t count = stored_vertices(*root->mesh);
        if (!fits_vertex_buffer(count)) {
            overflow_box();
        } else {
            link->shadow_root = root;
            link->vertices.assign(root->mesh->vertices.begin(),
                                  root->mesh->vertices.begin() + std::size_t{count} * model_part::vertex_bytes);
            const std::vector<vec4> shade_vertices = model_space_vertices(*root, count);
            // Each shadow vertex follows the nearest model vertex.
            for (std::uint32_t s = 0; s < count; ++s) {
                const vec4& p = shade_vertices[s];
                float best = 100000.0f;
                const scanned_vertex* nearest = nullptr;
                for (const scanned_vertex& v : scanned) {
                    const float dx = v.p.x - p.x, dy = v.p.y - p.y, dz = v.p.z - p.z;
                    const float d = dx * dx + dy * dy + dz * dz;
                    if (d < best) {
                        best = d;
                        nearest = &v;
                    }
                }
                if (!nearest)
                    continue;
                auto it = std::find_if(link->meshes.begin(), link->meshes.end(),
                                       [&](const shadow_mesh_links& l) { return l.node == nearest->node; });
                if (it == link->meshes.end()) {
                    link->meshes.push_back({nearest->node, {}});
                    it = link->meshes.end() - 1;
                }
                it->pairs.push_back({s, nearest->vertex});
                linked = true;
            }
            if (linked && !root->mesh->shadow_reversed) {
                reverse_faces(*root->mesh);
                root->mesh->shadow_reversed = true;
            }
        }
    }
    shadow_place.restore();
    model_place.restore();
    return linked;
}

void drop_level_link(model_record* own)
{
    shadow_level_link* link = own->shadow_link;
    if (!link)
        return;
    if (link->shadow_level && link->shadow_level->shadow_owner == own)
        link->shadow_level->shadow_owner = nullptr;
    own->shadow_link = nullptr;
    delete link;
}

} // namespace

int link_shadow(ml_modelinfo* model, ml_modelinfo* shadow, int levels)
{
    if (!model || !shadow || model == shadow || (shadow->flags & record_linked_shadow))
        return 0;
    if (model->flags & record_has_shadow)
        unlink_shadow(model);
    const int n = std::min({levels, level_total(model), level_total(shadow)});
    for (int k = std::max(n, 0); k < level_total(shadow); ++k)
        if (model_record* r = level_record(shadow, k))
            r->id = -1;
    int linked = 0;
    for (int k = 0; k < n; ++k)
        if (link_level(model, shadow, k))
            ++linked;
    return linked;
}

void unlink_shadow(ml_modelinfo* model)
{
    if (!model)
        return;
    for (int k = 0; k < level_total(model); ++k)
        if (model_record* r = level_record(model, k)) {
            drop_level_link(r);
            r->flags &= ~record_has_shadow;
            for (model_node* n = r->first_node; n; n = n->next)
                n->flags &= ~record_has_shadow;
        }
}

void shadow_drop_links(ml_modelinfo* record)
{
    if (!record)
        return;
    for (int k = 0; k < level_total(record); ++k) {
        model_record* r = level_record(record, k);
        if (!r)
            continue;
        drop_level_link(r);
        // A shadow going away: its model keeps no links into it.
        if (model_record* owner = r->shadow_owner) {
            drop_level_link(owner);
            owner->flags &= ~record_has_shadow;
        }
    }
}

void shadow_follow(const model_record* drawn, const model_node* node, const work_vertex* work, std::uint32_t count)
{
    shadow_level_link* link = drawn ? drawn->shadow_link : nullptr;
    if (!link || !work)
        return;
    const std::size_t shadow_count = link->vertices.size() / model_part::vertex_bytes;
    for (const shadow_mesh_links& l : link->meshes) {
        if (l.node != node)
            continue;
        for (const shadow_pair& p : l.pairs)
            if (p.own_vertex < count && p.shadow_vertex < shadow_count)
                std::memcpy(link->vertices.data() + std::size_t{p.shadow_vertex} * model_part::vertex_bytes,
                            &work[p.own_vertex], 4 * sizeof(float));
    }
}

ml_modelinfo* linked_shadow_of(const ml_modelinfo* model)
{
    if (!model)
        return nullptr;
    if (model->shadow_link && model->shadow_link->shadow)
        return model->shadow_link->shadow;
    for (int k = 1; model->levels && k < model->level_count; ++k)
        if (const model_record* r = model->levels[k]; r && r->shadow_link && r->shadow_link->shadow)
            return r->shadow_link->shadow;
    return nullptr;
}

int shadow_level_total(const ml_modelinfo* record)
{
    return record ? level_total(record) : 0;
}

const std::uint8_t* shadow_linked_vertices(const model_record* shadow_level, std::uint32_t* count)
{
    const model_record* owner = shadow_level ? shadow_level->shadow_owner : nullptr;
    const shadow_level_link* link = owner ? owner->shadow_link : nullptr;
    if (!link || link->shadow_level != shadow_level) {
        if (count)
            *count = 0;
        return nullptr;
    }
    if (count)
        *count = static_cast<std::uint32_t>(link->vertices.size() / model_part::vertex_bytes);
    return link->vertices.data();
}
