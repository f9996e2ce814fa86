// Animation links and transitions on a model or instance.

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "engine/base/error_box.h"
#include "engine/base/light_record.h"
#include "engine/base/name_hash.h"
#include "engine/model/anim_channels.h"
#include "engine/model/anim_lib.h"
#include "engine/model/anim_transition.h"
#include "engine/model/fcurve.h"
#include "engine/model/ml_modelinfo.h"

namespace {

[[noreturn]] void fatal(const char* caption, const char* text)
{
    error_box(caption, "%s", text);
    std::exit(1);
}

anim_link* find_link(anim_link* first, std::uint32_t hash)
{
    for (anim_link* l = first; l; l = l->next)
        if (l->name_hash == hash)
            return l;
    return nullptr;
}

anim_node* channel_of(const model_node* n, std::uint32_t hash)
{
    for (anim_node* c : n->channels)
        if (c->anim_hash == hash)
            return c;
    return nullptr;
}

void unlink(anim_link*& head, anim_link* link)
{
    if (link->prev)
        link->prev->next = link->next;
    else if (head == link)
        head = link->next;
    if (link->next)
        link->next->prev = link->prev;
    link->prev = link->next = nullptr;
}

} // namespace

int ml_modelinfo::lnk_anim(anim_lib* library, std::uint32_t hash, std::uint32_t mode, std::uint32_t flag)
{
    (void)mode;
    (void)flag;
    if (!library || !library->first_link)
        fatal("(ml_modelinfo::lnk_anim)", "library is empty!");
    const anim_link* source = library->find(hash);
    if (!source || find_link(anims, hash))
        return 0;
    auto* link = new (pool_anim_link) anim_link;
    link->copy(*source);
    link->owner_state = 2;
    link->shared = 1;
    link->prev = nullptr;
    link->next = anims;
    if (anims)
        anims->prev = link;
    anims = link;
    if (link->lights && link->light_count && node_count == 1 && first_node && first_node->type == node_empty)
        first_node->radius = std::sqrt(link->lights[0].range_sq);
    for (model_node* n = first_node; n; n = n->next)
        for (anim_node* c = link->first_node; c; c = c->next)
            if (c->object_hash == n->hash) {
                n->channels.insert(n->channels.begin(), c);
                break;
            }
    // A path follows the model node that bears its name (the last one); the
    // node pass finds that node in the instance it updates, since the path is
    // the library's and shared by every instance linked to the animation.
    return 1;
}

int ml_modelinfo::lnk_anim_by_name(anim_lib* library, const char* anim_name, std::uint32_t mode, std::uint32_t flag)
{
    return lnk_anim(library, ::name_hash(anim_name), mode, flag);
}

int ml_modelinfo::set_curanim(std::uint32_t hash)
{
    if (anims) {
        if (hash == 0) {
            current_anim = nullptr;
        } else {
            current_anim = find_link(anims, hash);
            if (!current_anim)
                fatal("ml_modelinfo::set_curanim", "animation not found!");
        }
        for (model_node* n = first_node; n; n = n->next)
            n->anim = hash ? channel_of(n, hash) : nullptr;
    }
    if (current_anim && current_anim->lights)
        for (std::uint32_t i = 0; i < current_anim->light_count; ++i)
            for (node_binding* b = current_anim->lights[i].links; b; b = b->next)
                if (model_node* n = find_node(b->target_hash))
                    b->bound = n;
    flags &= ~model_transforms_valid;
    return 1;
}

namespace {

// The transition from `from` at ta to `to` at tb, as channels of animation
// `id` on the nodes of one instance.
struct transition_build {
    std::uint32_t from;
    std::uint32_t to;
    std::uint32_t id;
    float ta;
    float tb;
    anim_link* link;
};

// One node's transition channel, built from its channels of both animations
// into a channel of the node's own (the library's channels are only read).
void build_node_transition(model_node* n, const transition_build& tr)
{
    n->trans_anim = n->trans_from = n->trans_to = nullptr;
    if (n->channels.empty())
        return;
    anim_node* a = channel_of(n, tr.from);
    anim_node* b = channel_of(n, tr.to);
    if (!a || !b)
        return;
    auto* t = new (pool_anim_node) anim_node;
    t->anim_hash = tr.id;
    t->object_hash = n->hash;
    const anim_rest_pose rest{n->local_position, n->angles};
    if (a->scaling || b->scaling)
        anim_trans_scaling(&rest, t, b, a, tr.ta, tr.tb, fcurve_interp_cubic);
    if (a->position || b->position)
        anim_trans_position(&rest, t, b, a, tr.ta, tr.tb, fcurve_interp_cubic);
    if (a->rotation || b->rotation)
        anim_trans_rotation(&rest, t, b, a, tr.ta, tr.tb, fcurve_interp_cubic);
    if (a->flags & node_lattice_follows_parent) {
        // Deformed by the parent's lattice: during the transition, by the
        // lattice of the parent's transition (built before this node's).
        t->flags |= node_lattice_follows_parent;
        const model_node* parent = n->parent;
        t->lattice = parent && parent->trans_anim ? parent->trans_anim->lattice : nullptr;
    } else if (a->lattice && b->lattice) {
        // The transition's lattice is of the from channel's kind, so that the
        // node's children are placed as they were.
        const std::uint32_t kind = a->flags & (node_lattice_a | node_lattice_b);
        t->flags |= kind;
        if (!anim_trans_lattice(a->lattice, t, b, tr.ta, tr.tb))
            t->flags &= ~kind;
    }
    if (a->shapes || b->shapes)
        anim_trans_shape(n, t, b, a, tr.ta, tr.tb);
    n->trans_anim = t;
    n->trans_from = a;
    n->trans_to = b;
    n->channels.insert(n->channels.begin(), t);
    // The transition link owns its channels (owner state 3), newest first.
    t->next = tr.link->first_node;
    if (t->next)
        t->next->prev = t;
    tr.link->first_node = t;
    ++tr.link->node_count;
}

// Each node, then its first child's subtree, then its next sibling: a parent
// has its transition before its children.
void build_transitions(model_node* n, const transition_build& tr)
{
    for (; n; n = n->next_sibling) {
        build_node_transition(n, tr);
        build_transitions(n->first_child, tr);
    }
}

// Moves the keys of one node's transition to new times.
void refresh_node_transition(model_node* n, std::uint32_t id, float ta, float tb)
{
    anim_node* t = n->trans_anim;
    const anim_node* a = n->trans_from;
    const anim_node* b = n->trans_to;
    if (!t || !a || !b)
        return;
    t->anim_hash = id;
    const anim_rest_pose rest{n->local_position, n->angles};
    // The same conditions as the build's: a channel that one side has was
    // built from that side and the rest pose, and is refreshed so too.
    if (a->scaling || b->scaling)
        anim_refresh_scaling(&rest, t, b, a, ta, tb);
    if (a->position || b->position)
        anim_refresh_position(&rest, t, b, a, ta, tb);
    if (a->rotation || b->rotation)
        anim_refresh_rotation(&rest, t, b, a, ta, tb);
    if (!(t->flags & node_lattice_follows_parent) && a->lattice && b->lattice)
        anim_refresh_lattice(a->lattice, t, b, ta, tb);
    if (t->shapes) {
        const std::vector<std::uint8_t> vertices = anim_object_vertices(n);
        anim_refresh_shape(t, b, a, ta, tb, vertices.data(), vertices.size());
    }
}

} // namespace

void ml_modelinfo::make_anim_trans(std::uint32_t from, float t_from, std::uint32_t to, float t_to, std::uint32_t id,
                                   std::uint32_t flag)
{
    (void)flag;
    // A transition never starts or ends exactly at the end of a cycle.
    if (t_from >= 1.0f)
        t_from -= 0.001f;
    if (t_to >= 1.0f)
        t_to -= 0.001f;
    if (!anims)
        fatal("ml_modelinfo::make_anim_trans", "anim list is empty!");
    if (trans_link && trans_from == from && trans_to == to) {
        if (anim_link* f = find_link(anims, from))
            current_anim = f;
        for (model_node* n = first_node; n; n = n->next)
            refresh_node_transition(n, id, t_from, t_to);
        trans_link->name_hash = id;
        flags &= ~model_transforms_valid;
        return;
    }
    anim_link* from_link = find_link(anims, from);
    if (!from_link)
        fatal("ml_modelinfo::make_anim_trans", "animation not found!");
    if (trans_link)
        remove_anim(trans_link);
    trans_from = from;
    trans_to = to;
    current_anim = from_link;
    auto* link = new (pool_anim_link) anim_link;
    link->owner_state = 3;
    link->name_hash = id;
    link->lights = from_link->lights;
    link->light_count = from_link->light_count;
    for (model_node* n = first_node; n; n = n->next)
        n->trans_anim = n->trans_from = n->trans_to = nullptr;
    build_transitions(first_node, transition_build{from, to, id, t_from, t_to, link});
    link->next = anims;
    anims->prev = link;
    anims = link;
    trans_link = link;
    flags &= ~model_transforms_valid;
}

void ml_modelinfo::unlink_anims(const anim_lib& library)
{
    // A borrowed link shares its source's channels.
    auto borrowed = [&library](const anim_link* link) {
        for (const anim_link* source = library.first_link; source; source = source->next)
            if (link->shared && link->first_node && link->first_node == source->first_node)
                return true;
        return false;
    };
    for (anim_link* link = anims; link;) {
        anim_link* next = link->next;
        if (link != trans_link && borrowed(link))
            remove_anim(link);
        link = next;
    }
    if (trans_link && (!find_link(anims, trans_from) || !find_link(anims, trans_to)))
        remove_anim(trans_link);
}

void ml_modelinfo::remove_anim(anim_link* link)
{
    if (!link)
        return;
    bool listed = false;
    for (anim_link* l = anims; l; l = l->next)
        if (l == link)
            listed = true;
    if (!listed)
        return;
    unlink(anims, link);
    const bool transition = link == trans_link;
    for (model_node* n = first_node; n; n = n->next) {
        // The link's channel of this node (its first object of the node's
        // lookup hash) leaves the node's list: by identity, so that a channel
        // of another animation that happens to share the hash stays.
        for (anim_node* c = link->first_node; c; c = c->next) {
            if (c->object_hash != n->hash)
                continue;
            auto it = std::find(n->channels.begin(), n->channels.end(), c);
            if (it != n->channels.end())
                n->channels.erase(it);
            if (n->anim == c)
                n->anim = nullptr;
            break;
        }
        if (transition)
            n->trans_anim = n->trans_from = n->trans_to = nullptr;
    }
    if (current_anim == link)
        current_anim = nullptr;
    if (transition) {
        trans_link = nullptr;
        trans_from = trans_to = 0;
    }
    flags &= ~model_transforms_valid;
    delete link;
}
