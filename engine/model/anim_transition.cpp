#include "engine/model/anim_transition.h"

#include <cstring>
#include <initializer_list>
#include <vector>

#include "engine/base/engine.h"
#include "engine/model/anim_channels.h"
#include "engine/model/fcurve.h"
#include "engine/model/lattice_anim.h"
#include "engine/model/orient_spline.h"
#include "engine/model/path_spline.h"
#include "engine/model/shape_anim.h"

namespace {

constexpr float radians_to_degrees = 1.0f / degrees_to_radians;

void side_key(fcurve* curve, float at, float fixed, fcurve_key* key)
{
    if (curve) {
        curve->eval_key(key, at);
    } else {
        key->value = fixed;
        key->out_slope = key->in_slope = 0.0f;
    }
}

// Re-evaluates the two keys of a transition curve; it becomes linear.
void refresh_curve(fcurve* curve, fcurve* from, float ta, float fixed0, fcurve* to, float tb, float fixed1)
{
    if (!curve || !curve->first || curve->first == curve->last)
        return;
    side_key(from, ta, fixed0, curve->first);
    side_key(to, tb, fixed1, curve->last);
    curve->first->time = 0.0f;
    curve->last->time = 1.0f;
    curve->interp = fcurve_interp_linear;
}

float axis_of(const vec4& v, int axis)
{
    return axis == 0 ? v.x : (axis == 1 ? v.y : v.z);
}

template <class Channel>
fcurve* Channel::*axis_member(int axis)
{
    return axis == 0 ? &Channel::x : (axis == 1 ? &Channel::y : &Channel::z);
}

// The curve of one axis of a channel, or null.
template <class Channel>
fcurve* axis_curve(const Channel* channel, int axis)
{
    return channel ? channel->*axis_member<Channel>(axis) : nullptr;
}

} // namespace

fcurve* anim_trans_curve(fcurve* from, float ta, float fixed0, fcurve* to, float tb, float fixed1,
                         std::uint32_t interp)
{
    auto* curve = new (pool_fcurve) fcurve;
    curve->interp = interp;
    auto* k0 = new (pool_fcurve_key) fcurve_key;
    auto* k1 = new (pool_fcurve_key) fcurve_key;
    side_key(from, ta, fixed0, k0);
    side_key(to, tb, fixed1, k1);
    curve->insert_key(k0, 0.0f);
    curve->insert_key(k1, 1.0f);
    return curve;
}

void anim_trans_scaling(const anim_rest_pose*, anim_node* target, const anim_node* b, const anim_node* a, float ta,
                        float tb, std::uint32_t interp)
{
    if (!a->scaling || !b->scaling)
        return;
    if (!target->scaling)
        target->scaling = new anim_scaling;
    for (int axis = 0; axis < 3; ++axis) {
        fcurve* from = axis_curve(a->scaling, axis);
        fcurve* to = axis_curve(b->scaling, axis);
        if (from && to)
            target->scaling->*axis_member<anim_scaling>(axis) = anim_trans_curve(from, ta, 0.0f, to, tb, 0.0f, interp);
    }
}

void anim_refresh_scaling(const anim_rest_pose*, anim_node* target, const anim_node* b, const anim_node* a, float ta,
                          float tb)
{
    if (!a->scaling || !b->scaling || !target->scaling)
        return;
    for (int axis = 0; axis < 3; ++axis) {
        fcurve* from = axis_curve(a->scaling, axis);
        fcurve* to = axis_curve(b->scaling, axis);
        if (from && to)
            refresh_curve(axis_curve(target->scaling, axis), from, ta, 0.0f, to, tb, 0.0f);
    }
}

void anim_trans_position(const anim_rest_pose* rest, anim_node* target, const anim_node* b, const anim_node* a,
                         float ta, float tb, std::uint32_t interp)
{
    auto* channel = new (pool_anim_position) anim_position;
    target->position = channel;
    for (int axis = 0; axis < 3; ++axis) {
        fcurve* from = axis_curve(a->position, axis);
        fcurve* to = axis_curve(b->position, axis);
        if (!from && !to)
            continue;
        const float fixed = axis_of(rest->position, axis);
        channel->*axis_member<anim_position>(axis) = anim_trans_curve(from, ta, fixed, to, tb, fixed, interp);
        channel->flags |= position_by_curves;
    }

    vec4 pa{}, ta_dir{}, pb{}, tb_dir{};
    if (!a->position || !b->position || !a->position->eval_with_tangent(ta, &pa, &ta_dir) ||
        !b->position->eval_with_tangent(tb, &pb, &tb_dir))
        return;
    channel->path = b->position->path;
    channel->flags &= ~position_along_path;
    channel->flags |= vec_equal(&pa, &pb) ? position_equal_paths : position_blend_paths;
    for (int axis = 0; axis < 3; ++axis) {
        fcurve*& curve = channel->*axis_member<anim_position>(axis);
        if (curve)
            continue;
        curve = anim_trans_curve(nullptr, 0.0f, axis_of(pa, axis), nullptr, 0.0f, axis_of(pb, axis), interp);
        curve->first->out_slope = curve->first->in_slope = axis_of(ta_dir, axis);
        curve->last->out_slope = curve->last->in_slope = axis_of(tb_dir, axis);
    }
}

void anim_refresh_position(const anim_rest_pose* rest, anim_node* target, const anim_node* b, const anim_node* a,
                           float ta, float tb)
{
    if (!target->position)
        return;
    for (int axis = 0; axis < 3; ++axis) {
        fcurve* from = axis_curve(a->position, axis);
        fcurve* to = axis_curve(b->position, axis);
        if (!from && !to)
            continue;
        const float fixed = axis_of(rest->position, axis);
        refresh_curve(axis_curve(target->position, axis), from, ta, fixed, to, tb, fixed);
    }
}

void anim_trans_rotation(const anim_rest_pose* rest, anim_node* target, const anim_node* b, const anim_node* a,
                         float ta, float tb, std::uint32_t interp)
{
    auto* channel = new (pool_anim_rotation) anim_rotation;
    target->rotation = channel;
    channel->spline = a->rotation ? a->rotation->spline : nullptr;
    for (int axis = 0; axis < 3; ++axis) {
        fcurve* from = axis_curve(a->rotation, axis);
        fcurve* to = axis_curve(b->rotation, axis);
        if (!from && !to)
            continue;
        // Angle curves hold degrees; the rest angles are radians.
        const float fixed = axis_of(rest->angles, axis) * radians_to_degrees;
        channel->*axis_member<anim_rotation>(axis) = anim_trans_curve(from, ta, fixed, to, tb, fixed, interp);
        channel->flags |= rotation_by_angles;
    }

    fcurve* from = a->rotation ? a->rotation->param : nullptr;
    fcurve* to = b->rotation ? b->rotation->param : nullptr;
    if (from || to) {
        channel->param = anim_trans_curve(from, ta, 0.0f, to, tb, 0.999f, interp);
        channel->param->first->value = 0.0f;
        channel->param->last->value = 0.999f;
    }

    if (!a->orient || !b->orient)
        return;
    channel->flags |= rotation_by_spline;
    auto* spline = new (pool_orient_spline) orient_spline;
    spline->flags = spline_from_transition;
    spline->source = a->rotation ? a->rotation->spline : a->orient;
    spline->interpolation = interp;
    orient_key* keys[2] = {new (pool_orient_key) orient_key, new (pool_orient_key) orient_key};
    if (a->rotation)
        a->rotation->key_at(ta, keys[0]);
    if (b->rotation)
        b->rotation->key_at(tb, keys[1]);
    spline->append_keys(keys, 2, 0);
    spline->auto_handles(spline->first);
    spline->measure_segment(spline->first);
    spline->accumulate(spline->first);
    target->orient = spline;
    channel->spline = spline;
    channel->owns_spline = true;
}

void anim_refresh_rotation(const anim_rest_pose* rest, anim_node* target, const anim_node* b, const anim_node* a,
                           float ta, float tb)
{
    if (!target->rotation)
        return;
    for (int axis = 0; axis < 3; ++axis) {
        fcurve* from = axis_curve(a->rotation, axis);
        fcurve* to = axis_curve(b->rotation, axis);
        if (!from && !to)
            continue;
        const float fixed = axis_of(rest->angles, axis) * radians_to_degrees;
        refresh_curve(axis_curve(target->rotation, axis), from, ta, fixed, to, tb, fixed);
    }
}

bool anim_trans_lattice(const lattice_anim* a_lattice, anim_node* target, const anim_node* b, float ta, float tb)
{
    const lattice_anim* b_lattice = b->lattice;
    if (!a_lattice || !b_lattice || !a_lattice->first || !b_lattice->first || !a_lattice->working)
        return false;
    const lattice_shape* af = a_lattice->first;
    const lattice_shape* bf = b_lattice->first;
    if (af->u != bf->u || af->v != bf->v || af->w != bf->w)
        return false;

    auto* anim = new (pool_lattice_anim) lattice_anim;
    lattice_shape* shapes[4];
    for (auto*& s : shapes) {
        s = new (pool_lattice_shape) lattice_shape;
        s->owner_state = 3;
        af->copy(s);
        s->allocate_points();
    }
    lattice_link_shapes(shapes, 4);
    auto* working = new (pool_lattice_shape) lattice_shape;
    working->owner_state = 3;
    a_lattice->working->copy(working);
    working->allocate_points();
    anim->first = shapes[0];
    anim->last = shapes[3];
    anim->working = working;
    anim->count = 4;
    anim->kept_word = a_lattice->kept_word;

    anim->curve = anim_trans_curve(a_lattice->curve, ta, 1.0f, b_lattice->curve, tb, 2.0f, fcurve_interp_cubic);
    if (!a_lattice->curve)
        anim->curve->first->out_slope = anim->curve->first->in_slope = 1.0f;
    if (!b_lattice->curve)
        anim->curve->last->out_slope = anim->curve->last->in_slope = 1.0f;
    anim->curve->first->value = 1.0f;
    anim->curve->last->value = 2.0f;

    const std::uint32_t n = af->point_count();
    std::vector<vec4> companions(n);
    a_lattice->sample(ta, shapes[1]->points, companions.data());
    std::memcpy(static_cast<void*>(shapes[0]->points), companions.data(), n * sizeof(vec4));
    b_lattice->sample(tb, shapes[2]->points, companions.data());
    std::memcpy(static_cast<void*>(shapes[3]->points), companions.data(), n * sizeof(vec4));
    for (std::uint32_t i = 0; i < n; ++i) {
        const vec4& k1 = shapes[1]->points[i];
        const vec4& k2 = shapes[2]->points[i];
        for (lattice_shape* outer : {shapes[0], shapes[3]}) {
            vec4& k = outer->points[i];
            k = {k1.x + k2.x - k.x, k1.y + k2.y - k.y, k1.z + k2.z - k.z, k1.w + k2.w - k.w};
        }
    }
    target->lattice = anim;
    target->flags |= node_lattice_a;
    return true;
}

bool anim_trans_shape(anim_node* target, const anim_node* b, const anim_node* a, float ta, float tb,
                      const void* vertices, std::size_t vertex_bytes)
{
    const std::uint32_t count = static_cast<std::uint32_t>(vertex_bytes / 48);
    if (count == 0 || static_cast<std::uint64_t>(count) * 4 > engine::shape_key_position_count)
        return false;
    auto* shape = new (pool_shape_anim) shape_anim;
    shape->owner_state = 3;
    if (!shape->allocate(count, 4, false)) {
        delete shape;
        return false;
    }
    // Key 1: the vertices with A's shapes at ta; key 2: with B's at tb.
    std::vector<std::uint8_t> scratch(static_cast<std::size_t>(count) * 48);
    const anim_node* sides[2] = {a, b};
    const float times[2] = {ta, tb};
    for (int side = 0; side < 2; ++side) {
        std::memcpy(scratch.data(), vertices, scratch.size());
        for (const shape_anim* s = sides[side]->shapes; s; s = s->next)
            s->apply(scratch.data(), scratch.size(), times[side]);
        vec4* key = shape->positions + static_cast<std::size_t>(side + 1) * count;
        for (std::uint32_t i = 0; i < count; ++i) {
            float xyzw[4];
            std::memcpy(xyzw, scratch.data() + static_cast<std::size_t>(i) * 48, sizeof xyzw);
            key[i] = {xyzw[0], xyzw[1], xyzw[2], xyzw[3]};
        }
    }
    // The outer keys K1 + K2 - companion, the companion being the key itself.
    for (std::uint32_t i = 0; i < count; ++i) {
        shape->positions[i] = shape->positions[2 * count + i];
        shape->positions[3 * count + i] = shape->positions[count + i];
    }
    shape->curve = anim_trans_curve(nullptr, 0.0f, 1.0f, nullptr, 0.0f, 2.0f, fcurve_interp_cubic);
    shape->curve->first->out_slope = shape->curve->first->in_slope = 1.0f;
    shape->curve->last->out_slope = shape->curve->last->in_slope = 1.0f;
    shape->next = target->shapes;
    if (target->shapes)
        target->shapes->prev = shape;
    target->shapes = shape;
    return true;
}
