#include "engine/model/anim_transition.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "engine/base/engine.h"
#include "engine/model/anim_channels.h"
#include "engine/model/fcurve.h"
#include "engine/model/lattice_anim.h"
#include "engine/model/model_node.h"
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

namespace {

// The four shapes of a transition lattice: K1 = A's blended lattice at ta,
// K2 = B's at tb, and the outer keys K1 + K2 - companion (K0 from A's side,
// K3 from B's). The curve's keys: a side with a curve takes that curve's
// slopes at its time, a side without one slopes 1; the values are the shape
// indexes 1 and 2.
void fill_lattice(lattice_anim* anim, const lattice_anim* a_lattice, const lattice_anim* b_lattice, float ta,
                  float tb)
{
    lattice_shape* shapes[4] = {anim->first, nullptr, nullptr, nullptr};
    for (int i = 1; i < 4; ++i)
        shapes[i] = shapes[i - 1]->next;
    const std::uint32_t n = anim->first->point_count();
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
    for (lattice_shape* s : shapes)
        ++s->revision;

    fcurve* curve = anim->curve;
    side_key(a_lattice->curve, ta, 1.0f, curve->first);
    side_key(b_lattice->curve, tb, 2.0f, curve->last);
    if (!a_lattice->curve)
        curve->first->out_slope = curve->first->in_slope = 1.0f;
    if (!b_lattice->curve)
        curve->last->out_slope = curve->last->in_slope = 1.0f;
    curve->first->time = 0.0f;
    curve->last->time = 1.0f;
    curve->first->value = 1.0f;
    curve->last->value = 2.0f;
}

bool lattices_match(const lattice_anim* a_lattice, const lattice_anim* b_lattice)
{
    if (!a_lattice || !b_lattice || !a_lattice->first || !b_lattice->first || !a_lattice->working)
        return false;
    const lattice_shape* af = a_lattice->first;
    const lattice_shape* bf = b_lattice->first;
    return af->u == bf->u && af->v == bf->v && af->w == bf->w;
}

} // namespace

bool anim_trans_lattice(const lattice_anim* a_lattice, anim_node* target, const anim_node* b, float ta, float tb)
{
    const lattice_anim* b_lattice = b->lattice;
    if (!lattices_match(a_lattice, b_lattice))
        return false;
    const lattice_shape* af = a_lattice->first;

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
    anim->curve = anim_trans_curve(nullptr, 0.0f, 1.0f, nullptr, 0.0f, 2.0f, fcurve_interp_cubic);
    fill_lattice(anim, a_lattice, b_lattice, ta, tb);
    target->lattice = anim;
    if (!(target->flags & (node_lattice_a | node_lattice_b)))
        target->flags |= node_lattice_a;
    return true;
}

void anim_refresh_lattice(const lattice_anim* a_lattice, anim_node* target, const anim_node* b, float ta, float tb)
{
    lattice_anim* anim = target->lattice;
    if (!anim || !(target->flags & (node_lattice_a | node_lattice_b)) || anim->count != 4 || !anim->first ||
        anim->first->owner_state != 3 || !anim->curve || !anim->curve->first || anim->curve->first == anim->curve->last)
        return;
    if (!lattices_match(a_lattice, b->lattice) || a_lattice->first->point_count() != anim->first->point_count())
        return;
    fill_lattice(anim, a_lattice, b->lattice, ta, tb);
}

namespace {

constexpr std::size_t vertex_record = 48;

// The vertices with a side's shape animations applied at t.
void shaped_vertices(const void* vertices, std::size_t bytes, const anim_node* side, float t,
                     std::vector<std::uint8_t>& out)
{
    const auto* in = static_cast<const std::uint8_t*>(vertices);
    out.assign(in, in + bytes);
    for (const shape_anim* s = side ? side->shapes : nullptr; s; s = s->next)
        s->apply(out.data(), out.size(), t);
}

// The position of the vertex record at byte `at`; false when it does not fit.
bool position_at(const std::vector<std::uint8_t>& v, std::size_t at, vec4* out)
{
    if (at > v.size() || v.size() - at < 3 * sizeof(float))
        return false;
    float xyz[3];
    std::memcpy(xyz, v.data() + at, sizeof xyz);
    *out = {xyz[0], xyz[1], xyz[2], 1.0f};
    return true;
}

// A transition shape's four key blocks from the shaped vertices of both
// sides, each vertex read at its own offset (or 48 x index): K1 from A, K2
// from B, and the outer keys K1 + K2 - companion, the companion being the
// key itself (anim_key_sample), that is K0 = K2 and K3 = K1. A vertex whose
// offset lies outside the object keeps zeros (shape_anim::apply skips it).
void fill_shape(shape_anim* shape, const std::vector<std::uint8_t>& from, const std::vector<std::uint8_t>& to)
{
    const std::uint32_t n = shape->vertex_count;
    for (std::uint32_t i = 0; i < n; ++i) {
        const std::size_t at = shape->offsets ? shape->offsets[i] : static_cast<std::size_t>(i) * vertex_record;
        vec4 k1{}, k2{};
        if (!position_at(from, at, &k1) || !position_at(to, at, &k2))
            continue;
        shape->positions[i] = k2;
        shape->positions[n + i] = k1;
        shape->positions[2 * n + i] = k2;
        shape->positions[3 * n + i] = k1;
    }
}

// The curve of a transition shape: key index 1 at 0.0 (slopes 1) to 2 at
// 1.0; the end key takes the slopes of `end_curve` at tb when there is one.
void shape_curve_keys(fcurve* curve, fcurve* end_curve, float tb)
{
    curve->first->time = 0.0f;
    curve->first->value = 1.0f;
    curve->first->out_slope = curve->first->in_slope = 1.0f;
    if (end_curve) {
        end_curve->eval_key(curve->last, tb);
    } else {
        curve->last->out_slope = curve->last->in_slope = 1.0f;
    }
    curve->last->time = 1.0f;
    curve->last->value = 2.0f;
}

// A transition shape of `vertices` vertices in the engine's shape pools, or
// null when they cannot hold it.
shape_anim* make_transition_shape(std::uint32_t vertices, const std::uint16_t* offsets)
{
    if (vertices == 0)
        return nullptr;
    auto* shape = new (pool_shape_anim) shape_anim;
    shape->owner_state = 3;
    if (!shape->allocate(vertices, 4, offsets != nullptr)) {
        delete shape;
        return nullptr;
    }
    if (offsets)
        std::memcpy(shape->offsets, offsets, static_cast<std::size_t>(vertices) * sizeof(std::uint16_t));
    shape->curve = anim_trans_curve(nullptr, 0.0f, 1.0f, nullptr, 0.0f, 2.0f, fcurve_interp_cubic);
    return shape;
}

} // namespace

bool anim_trans_shape(anim_node* target, const anim_node* b, const anim_node* a, float ta, float tb,
                      const void* vertices, std::size_t vertex_bytes)
{
    const std::size_t count = vertex_bytes / vertex_record;
    if (count == 0 || count > engine::shape_key_position_count)
        return false;
    const std::size_t bytes = count * vertex_record;
    std::vector<std::uint8_t> from, to;
    shaped_vertices(vertices, bytes, a, ta, from);
    shaped_vertices(vertices, bytes, b, tb, to);

    std::vector<shape_anim*> built;
    if (shape_anim* whole = make_transition_shape(static_cast<std::uint32_t>(count), nullptr)) {
        shape_curve_keys(whole->curve, nullptr, tb);
        fill_shape(whole, from, to);
        built.push_back(whole);
    }
    for (const shape_anim* own = b ? b->shapes : nullptr; own; own = own->next) {
        shape_anim* shape = make_transition_shape(own->vertex_count, own->offsets);
        if (!shape)
            continue;
        shape->name = own->name;
        shape_curve_keys(shape->curve, own->curve, tb);
        fill_shape(shape, from, to);
        built.push_back(shape);
    }
    if (built.empty())
        return false;
    shape_link(built.data(), static_cast<int>(built.size()));
    shape_anim** tail = &target->shapes;
    shape_anim* before = nullptr;
    while (*tail) {
        before = *tail;
        tail = &(*tail)->next;
    }
    *tail = built.front();
    built.front()->prev = before;
    return true;
}

bool anim_trans_shape(const model_node* node, anim_node* target, const anim_node* b, const anim_node* a, float ta,
                      float tb)
{
    const std::vector<std::uint8_t> vertices = anim_object_vertices(node);
    return anim_trans_shape(target, b, a, ta, tb, vertices.data(), vertices.size());
}

void anim_refresh_shape(anim_node* target, const anim_node* b, const anim_node* a, float ta, float tb,
                        const void* vertices, std::size_t vertex_bytes)
{
    const std::size_t count = vertex_bytes / vertex_record;
    if (!target->shapes || count == 0)
        return;
    std::vector<std::uint8_t> from, to;
    shaped_vertices(vertices, count * vertex_record, a, ta, from);
    shaped_vertices(vertices, count * vertex_record, b, tb, to);
    // The first shape spans the whole object; the others are B's shapes',
    // found again by name.
    for (shape_anim* shape = target->shapes; shape; shape = shape->next) {
        if (shape->owner_state != 3 || shape->key_count != 4 || !shape->curve || !shape->curve->first ||
            shape->curve->first == shape->curve->last)
            continue;
        fill_shape(shape, from, to);
        fcurve* end_curve = nullptr;
        if (shape != target->shapes)
            for (const shape_anim* own = b ? b->shapes : nullptr; own; own = own->next)
                if (own->name.hash == shape->name.hash) {
                    end_curve = own->curve;
                    break;
                }
        shape_curve_keys(shape->curve, end_curve, tb);
    }
}

std::vector<std::uint8_t> anim_object_vertices(const model_node* node)
{
    std::vector<std::uint8_t> out;
    if (!node)
        return out;
    if (node->type == node_mesh && node->mesh) {
        const std::size_t bytes =
            std::min<std::size_t>(node->mesh->vertices.size(), std::size_t{node->mesh->vertex_count} * vertex_record);
        out.assign(node->mesh->vertices.begin(), node->mesh->vertices.begin() + static_cast<std::ptrdiff_t>(bytes));
    } else if (node->type == node_patch && node->patch) {
        out.assign(node->patch->size() * vertex_record, 0);
        for (std::size_t i = 0; i < node->patch->size(); ++i)
            std::memcpy(out.data() + i * vertex_record, &(*node->patch)[i], sizeof(vec4));
    }
    return out;
}
