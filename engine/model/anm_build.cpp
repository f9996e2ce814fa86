// Builds the engine records of an animation that the reader has validated.
#include <cstring>
#include <vector>

#include "engine/base/light_record.h"
#include "engine/base/name_hash.h"
#include "engine/model/anim_channels.h"
#include "engine/model/anim_lib.h"
#include "engine/model/anm_format.h"
#include "engine/model/fcurve.h"
#include "engine/model/lattice_anim.h"
#include "engine/model/owned.h"
#include "engine/model/path_spline.h"
#include "engine/model/shape_anim.h"

namespace {

path_point* new_point(const anm_path_point& p)
{
    auto* point = new (pool_path_point) path_point;
    point->in_handle = p.in_handle;
    point->position = p.position;
    point->out_handle = p.out_handle;
    return point;
}

path_spline* build_path(const anm_path& p)
{
    auto* path = new (pool_path_spline) path_spline;
    for (const anm_path_point& point : p.points) {
        path_point* added = new_point(point);
        path->insert_point(added, anm::max_path_points, 0);
        if (added->prev)
            path->measure_segment(added->prev);
    }
    if (p.closed && !p.points.empty()) {
        path_point* copy = new_point(p.points.front());
        path->insert_point(copy, anm::max_path_points, 0);
        if (copy->prev)
            path->measure_segment(copy->prev);
    }
    set_name(&path->name, p.name.c_str());
    set_name(&path->second_name, p.second_name.c_str());
    if (p.closed)
        path->flags |= spline_closed;
    if (path->first)
        path->accumulate(path->first);
    return path;
}

fcurve* build_curve(const anm_curve& c)
{
    auto* curve = new (pool_fcurve) fcurve;
    curve->name_hash = name_hash(c.name.c_str());
    curve->param_id = c.param;
    curve->pre_mode = c.pre;
    curve->post_mode = c.post;
    curve->interp = c.interp;
    for (const anm_key& k : c.keys) {
        auto* key = new (pool_fcurve_key) fcurve_key(k.time, k.value, k.out_slope, k.in_slope);
        key->prev = curve->last;
        if (curve->last)
            curve->last->next = key;
        else
            curve->first = key;
        curve->last = key;
    }
    curve->key_count = static_cast<std::uint16_t>(c.keys.size());
    return curve;
}

lattice_anim* build_lattice(const std::vector<anm_lattice_shape>& shapes)
{
    auto* anim = new (pool_lattice_anim) lattice_anim;
    std::vector<lattice_shape*> made;
    for (const anm_lattice_shape& s : shapes) {
        auto* shape = new (pool_lattice_shape) lattice_shape;
        shape->apply_header(s.header);
        shape->allocate_points();
        std::memcpy(static_cast<void*>(shape->points), s.points.data(), s.points.size() * sizeof(vec4));
        made.push_back(shape);
    }
    anim->take_shapes(made.data(), static_cast<int>(made.size()));
    anim->kept_word = made.front()->kept_word;
    return anim;
}

shape_anim* build_shapes(const std::vector<anm_shape>& shapes)
{
    std::vector<shape_anim*> made;
    for (const anm_shape& s : shapes) {
        auto* shape = new (pool_shape_anim) shape_anim;
        auto* offsets = new std::uint16_t[s.offsets.empty() ? 1 : s.offsets.size()]();
        if (!s.offsets.empty())
            std::memcpy(offsets, s.offsets.data(), s.offsets.size() * sizeof(std::uint16_t));
        auto* positions = new vec4[s.positions.empty() ? 1 : s.positions.size()]();
        if (!s.positions.empty())
            std::memcpy(static_cast<void*>(positions), s.positions.data(), s.positions.size() * sizeof(vec4));
        shape->init_from_record(s.name.c_str(), s.vertex_count, s.key_count, offsets, positions);
        made.push_back(shape);
    }
    shape_link(made.data(), static_cast<int>(made.size()));
    return made.empty() ? nullptr : made.front();
}

// Stores a curve in a channel's slot; a curve of the same kind met earlier
// in the object gives way to it.
void put_curve(fcurve*& slot, fcurve* curve)
{
    delete_owned(slot);
    slot = curve;
}

struct object_parts {
    lattice_anim* lattice = nullptr;
    shape_anim* shapes = nullptr;
    bool lattice_taken = false;
    bool shapes_taken = false;
};

void attach_curve(anim_node* node, fcurve* curve, object_parts& parts, const std::vector<path_spline*>& paths,
                  const std::vector<anm_path>& path_data)
{
    const std::uint32_t id = curve->param_id;
    auto position = [node]() {
        if (!node->position)
            node->position = new (pool_anim_position) anim_position;
        return node->position;
    };
    auto rotation = [node]() {
        if (!node->rotation)
            node->rotation = new (pool_anim_rotation) anim_rotation;
        return node->rotation;
    };
    switch (id) {
    case anm::param_scale_x:
    case anm::param_scale_y:
    case anm::param_scale_z: {
        if (!node->scaling)
            node->scaling = new anim_scaling;
        fcurve* anim_scaling::*axis[] = {&anim_scaling::x, &anim_scaling::y, &anim_scaling::z};
        put_curve(node->scaling->*axis[id - anm::param_scale_x], curve);
        return;
    }
    case anm::param_rotate_x:
    case anm::param_rotate_y:
    case anm::param_rotate_z: {
        anim_rotation* r = rotation();
        r->flags |= rotation_by_angles;
        fcurve* anim_rotation::*axis[] = {&anim_rotation::x, &anim_rotation::y, &anim_rotation::z};
        put_curve(r->*axis[id - anm::param_rotate_x], curve);
        return;
    }
    case anm::param_path_fraction: {
        anim_position* p = position();
        p->flags |= position_along_path;
        put_curve(p->fraction, curve);
        p->path = nullptr;
        for (std::size_t i = 0; i < paths.size() && !p->path; ++i) {
            for (const std::string& name : path_data[i].curve_names) {
                if (name_hash(name.c_str()) == curve->name_hash) {
                    p->path = paths[i];
                    break;
                }
            }
        }
        return;
    }
    case anm::param_shape:
    case anm::param_shape_alt: {
        if (!parts.shapes_taken) {
            node->shapes = parts.shapes;
            parts.shapes_taken = true;
        }
        for (shape_anim* s = node->shapes; s; s = s->next) {
            if (s->name.hash == curve->name_hash) {
                put_curve(s->curve, curve);
                return;
            }
        }
        // No shape of that name: the curve drives nothing.
        delete curve;
        return;
    }
    case anm::param_lattice_a:
    case anm::param_lattice_b: {
        if (!parts.lattice_taken && parts.lattice) {
            node->lattice = parts.lattice;
            parts.lattice_taken = true;
        }
        node->flags |= id == anm::param_lattice_a ? node_lattice_a : node_lattice_b;
        if (node->lattice)
            put_curve(node->lattice->curve, curve);
        else
            delete curve;
        return;
    }
    case anm::param_translate_x:
    case anm::param_translate_y:
    case anm::param_translate_z: {
        anim_position* p = position();
        p->flags |= position_by_curves;
        fcurve* anim_position::*axis[] = {&anim_position::x, &anim_position::y, &anim_position::z};
        put_curve(p->*axis[id - anm::param_translate_x], curve);
        return;
    }
    case anm::param_orient:
        put_curve(rotation()->param, curve);
        return;
    default:
        // The reader refuses other ids.
        delete curve;
        return;
    }
}

scn_light* build_lights(const std::vector<anm_light>& lights)
{
    auto* made = new scn_light[lights.size()];
    for (std::size_t i = 0; i < lights.size(); ++i) {
        const anm_light& l = lights[i];
        scn_light& out = made[i];
        out.type = l.type;
        out.flags = l.flags;
        out.world_position = l.world_position;
        out.position = l.position;
        out.set_color(l.colour[0], l.colour[1], l.colour[2]);
        out.range_sq = l.range_sq;
        out.inv_range_sq = l.inv_range_sq;
        out.falloff = l.falloff;
        out.target = l.target;
        out.cone = l.cone;
        out.softness = l.softness;
        out.cone_tan = l.cone_tan;
        out.cone_tan_sq = l.cone_tan_sq;
        std::strncpy(out.name, l.name.c_str(), sizeof out.name - 1);
        out.name_hash = l.name_hash;
        out.kept0 = l.kept0;
        out.range = l.range;
        std::memcpy(out.kept, l.kept, sizeof out.kept);
        std::memcpy(out.spot_matrix.m, l.spot_matrix, sizeof out.spot_matrix.m);
        out.link_word = l.link_word;
        std::memcpy(out.kept1, l.kept1, sizeof out.kept1);
        out.set_range(l.range);
        node_binding* last = nullptr;
        for (const anm_binding& b : l.bindings) {
            auto* binding = new (pool_node_binding) node_binding;
            binding->target_hash = b.target_hash;
            binding->code = b.code;
            binding->value = b.value;
            std::memcpy(binding->kept, b.kept, sizeof binding->kept);
            binding->prev = last;
            (last ? last->next : out.links) = binding;
            last = binding;
        }
        out.link_count = static_cast<std::int32_t>(l.bindings.size());
    }
    link_light_array(made, static_cast<int>(lights.size()));
    return made;
}

} // namespace

fcurve* anm_build_curve(const anm_curve& curve)
{
    return build_curve(curve);
}

anim_link* anm_build_animation(const anm_animation& animation)
{
    auto* link = new (pool_anim_link) anim_link(animation.name.c_str());

    std::vector<path_spline*> paths;
    for (const anm_path& p : animation.paths)
        paths.push_back(build_path(p));

    anim_node* last = nullptr;
    std::vector<anim_node*> object_nodes;
    for (const anm_object& object : animation.objects) {
        auto* node = new (pool_anim_node) anim_node;
        object_nodes.push_back(node);
        node->anim_hash = link->name_hash;
        node->object_hash = name_hash(object.name.c_str());
        node->prev = last;
        (last ? last->next : link->first_node) = node;
        last = node;
        ++link->node_count;

        object_parts parts;
        if (object.has_lattice_curve && !object.lattice.empty())
            parts.lattice = build_lattice(object.lattice);
        parts.shapes = build_shapes(object.shapes);
        for (const anm_curve& c : object.curves)
            attach_curve(node, build_curve(c), parts, paths, animation.paths);
        // Parts that no curve took: nothing animates them.
        if (!parts.lattice_taken)
            delete parts.lattice;
        if (!parts.shapes_taken)
            delete_owned_list(parts.shapes);
    }

    // Each path goes to the first object of its name, or to a node of its
    // own at the head of the list (also when that object has a path already).
    for (path_spline* path : paths) {
        anim_node* owner = nullptr;
        for (anim_node* node : object_nodes) {
            if (node->object_hash == path->name.hash) {
                owner = node;
                break;
            }
        }
        if (!owner || owner->path) {
            owner = new (pool_anim_node) anim_node;
            owner->anim_hash = link->name_hash;
            owner->object_hash = path->name.hash;
            owner->next = link->first_node;
            if (link->first_node)
                link->first_node->prev = owner;
            link->first_node = owner;
            ++link->node_count;
        }
        owner->path = path;
    }

    if (!animation.lights.empty()) {
        link->lights = build_lights(animation.lights);
        link->light_count = static_cast<std::uint32_t>(animation.lights.size());
    }
    link->set_state(1);
    return link;
}
