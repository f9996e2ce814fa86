// Models that carry an animated light, and the light setters of such a
// model.

#include "engine/base/light_record.h"
#include "engine/base/node_binding.h"
#include "engine/model/anim_lib.h"
#include "engine/model/model_lib.h"

namespace {

// Channel ids of a light's links: where it stands, where a spot aims.
constexpr std::uint32_t light_channel_position = 2111;
constexpr std::uint32_t light_channel_target = 2116;

ml_modelinfo::light_preparer& installed_preparer()
{
    static ml_modelinfo::light_preparer preparer = nullptr;
    return preparer;
}

scn_light* current_light(const ml_modelinfo* model)
{
    return model->current_anim ? model->current_anim->lights : nullptr;
}

} // namespace

ml_modelinfo* model_lib::make_simple_model(scn_light* light)
{
    if (!light)
        return nullptr;
    const bool spot = light->type == 2;
    auto* model = new ml_modelinfo(light->name);
    auto* root = new model_node(node_kind_full);
    root->owner_state = 2;
    model->first_node = root;
    model->node_count = 1;
    model_node* aim = nullptr;
    if (spot) {
        aim = new model_node(node_kind_full);
        aim->owner_state = 2;
        aim->index = 1;
        aim->parent = root;
        root->first_child = aim;
        root->next = aim;
        aim->prev = root;
        model->node_count = 2;
    }
    auto* link = new (pool_anim_link) anim_link;
    link->owner_state = 2;
    link->shared = 1;   // the light stays the caller's
    link->lights = light;
    link->light_count = 1;
    link->name_hash = light->name_hash;
    model->anims = link;
    model->current_anim = link;

    // The light's channel links are its own: the old ones go.
    for (node_binding* old = light->links; old;) {
        node_binding* after = old->next;
        delete old;
        old = after;
    }
    auto* position = new (pool_node_binding) node_binding(root, light_channel_position, 1);
    position->target_hash = root->hash;
    light->links = position;
    light->link_count = 1;
    if (aim) {
        auto* target = new (pool_node_binding) node_binding(aim, light_channel_target, 1);
        target->target_hash = aim->hash;
        target->prev = position;
        position->next = target;
        light->link_count = 2;
    }
    // The range reaches the nodes as their radius; the light keeps its own
    // settings (setting its range again would double its colour).
    root->radius = light->range;
    if (aim)
        aim->radius = light->range;
    model->flags = model_active | model_built;
    model->owner_state = 2;
    return model;
}

void ml_modelinfo::set_light_range(float range)
{
    scn_light* light = current_light(this);
    if (!light)
        return;
    light->range = range;
    light->set_range(range);
    if (first_node) {
        first_node->radius = range;
        if (first_node->first_child)
            first_node->first_child->radius = range;
    }
}

void ml_modelinfo::set_light_color(float r, float g, float b)
{
    if (scn_light* light = current_light(this))
        light->set_color(r, g, b);
}

void ml_modelinfo::set_light(std::int32_t type, float r, float g, float b, float range, float cone_degrees,
                             float softness)
{
    scn_light* light = current_light(this);
    if (!light)
        return;
    light->set_color(r, g, b);
    light->type = type;
    light->cone = cone_degrees * 0.017453293f;
    light->set_range(range);
    light->softness = softness;
}

void ml_modelinfo::set_light_preparer(light_preparer preparer)
{
    installed_preparer() = preparer;
}

int ml_modelinfo::collect_lights(scn_light** out, const camera* cam) const
{
    if (!(flags & model_active) || !current_anim || !current_anim->lights)
        return 0;
    const light_preparer prepare = installed_preparer();
    int count = 0;
    scn_light* light = current_anim->lights;
    for (std::uint32_t i = 0; light && i < current_anim->light_count; ++i, light = light->next) {
        if (prepare)
            prepare(light, cam);
        out[count++] = light;
    }
    return count;
}
