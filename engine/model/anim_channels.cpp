#include "engine/model/anim_channels.h"

#include "engine/base/quat.h"
#include "engine/model/fcurve.h"
#include "engine/model/lattice_anim.h"
#include "engine/model/orient_spline.h"
#include "engine/model/owned.h"
#include "engine/model/path_spline.h"
#include "engine/model/shape_anim.h"

namespace {

void set_curve_state(fcurve* curve, std::uint32_t state)
{
    if (curve)
        curve->set_state(state);
}

float curve_or(const fcurve* curve, float t, float fallback)
{
    return curve ? curve->calc(t) : fallback;
}

} // namespace

anim_scaling::~anim_scaling()
{
    if (owner_state == 2) {
        delete_owned(x);
        delete_owned(y);
        delete_owned(z);
    }
    --live;
}

void anim_scaling::set_state(std::uint32_t state)
{
    set_curve_state(x, state);
    set_curve_state(y, state);
    set_curve_state(z, state);
    owner_state = state;
}

vec4 anim_scaling::eval(float t) const
{
    return {curve_or(x, t, 1.0f), curve_or(y, t, 1.0f), curve_or(z, t, 1.0f), 1.0f};
}

anim_position::~anim_position()
{
    if (owner_state == 2) {
        delete_owned(fraction);
        delete_owned(x);
        delete_owned(y);
        delete_owned(z);
    }
    --live;
}

void anim_position::set_state(std::uint32_t state)
{
    set_curve_state(fraction, state);
    set_curve_state(x, state);
    set_curve_state(y, state);
    set_curve_state(z, state);
    owner_state = state;
}

void anim_position::copy(const anim_position& other)
{
    flags = other.flags;
    path = other.path;
    fraction = other.fraction;
    x = other.x;
    y = other.y;
    z = other.z;
    owner_state = other.owner_state;
}

float anim_position::path_length_at(float t) const
{
    float s = fraction->calc(t);
    if (s == 0.0f)
        s = 0.001f;
    return (path->total_length() - 0.001f) * s;
}

void anim_position::eval(float t, vec4* out) const
{
    if ((flags & position_along_path) && fraction && path) {
        const vec4 p = path->point_at(path_length_at(t));
        out->x = p.x;
        out->y = p.y;
        out->z = p.z;
        return;
    }
    if (flags & position_by_curves) {
        out->x = curve_or(x, t, 0.0f);
        out->y = curve_or(y, t, 0.0f);
        out->z = curve_or(z, t, 0.0f);
        return;
    }
    out->x = out->y = out->z = 0.0f;
}

bool anim_position::eval_with_tangent(float t, vec4* position, vec4* tangent) const
{
    if (!(flags & position_along_path) || !fraction || !path)
        return false;
    path->point_and_tangent_at(path_length_at(t), position, tangent);
    return true;
}

vec4 anim_position::eval_by_length_a(float t) const
{
    if (!fraction || !path)
        return vec4{0.0f, 0.0f, 0.0f, 0.0f};
    return path->point_at_b(fraction->calc(t));
}

vec4 anim_position::eval_by_length_b(float t) const
{
    if (!fraction || !path)
        return vec4{0.0f, 0.0f, 0.0f, 0.0f};
    return path->point_at_c(fraction->calc(t));
}

void anim_position::fraction_to_length()
{
    if (fraction && path)
        fraction->scale_values(path->total_length());
}

void anim_position::fraction_to_range()
{
    if (fraction && path && path->first)
        fraction->remap_values(path->first->cumulative, path->last->cumulative);
}

anim_rotation::~anim_rotation()
{
    if (owner_state == 2) {
        if (owns_spline)
            delete_owned(spline);
        delete_owned(param);
        delete_owned(x);
        delete_owned(y);
        delete_owned(z);
    }
    --live;
}

void anim_rotation::set_state(std::uint32_t state)
{
    if (spline && owns_spline)
        spline->set_state(state);
    set_curve_state(param, state);
    set_curve_state(x, state);
    set_curve_state(y, state);
    set_curve_state(z, state);
    owner_state = state;
}

float anim_rotation::spline_length_at(float t) const
{
    float s = param->calc(t);
    if (s == 0.0f)
        s = 0.001f;
    return (spline->total_length() - 0.001f) * s;
}

void anim_rotation::eval(float t, int first_only, const vec4* defaults, mat4* out) const
{
    if ((flags & rotation_by_spline) && param && spline) {
        const quat q = spline->key_at(spline_length_at(t));
        quat_to_mat(&q, out);
        return;
    }
    if (flags & rotation_by_angles) {
        float ax = first_only ? 0.0f : defaults->x;
        float ay = first_only ? 0.0f : defaults->y;
        float az = first_only ? 0.0f : defaults->z;
        if (x)
            ax = x->calc(t) * degrees_to_radians;
        if (!first_only && y) {
            ay = y->calc(t) * degrees_to_radians;
            if (z)
                az = z->calc(t) * degrees_to_radians;
        }
        mat_from_angles(out, ax, ay, az);
        return;
    }
    mat_identity(out);
}

void anim_rotation::key_at(float t, orient_key* out) const
{
    if (!param || !spline) {
        out->key = out->in_handle = out->out_handle = quat{0.0f, 0.0f, 0.0f, 1.0f};
        return;
    }
    spline->key_record_at(spline_length_at(t), out);
}

void anim_rotation::param_to_length()
{
    if (param && spline)
        param->scale_values(spline->total_length());
}

void anim_rotation::param_to_range()
{
    if (param && spline && spline->first)
        param->remap_values(spline->first->cumulative, spline->last->cumulative);
}

anim_node::~anim_node()
{
    delete_owned(path);
    delete_owned(position);
    delete_owned(rotation);
    if (scaling && scaling->owner_state == 2)
        delete scaling;
    scaling = nullptr;
    if (flags & (node_lattice_a | node_lattice_b))
        delete_owned(lattice);
    lattice = nullptr;
    delete_owned_list(shapes);
    --live;
}

void anim_node::set_state(std::uint32_t state)
{
    if (path)
        path->set_state(state);
    if (position)
        position->set_state(state);
    if (rotation)
        rotation->set_state(state);
    if (lattice)
        lattice->set_state(state);
    for (shape_anim* s = shapes; s; s = s->next)
        s->set_state(state);
    if (scaling)
        scaling->set_state(state);
}

void anim_node::copy(const anim_node& other)
{
    flags = other.flags;
    anim_hash = other.anim_hash;
    object_hash = other.object_hash;
    reserved0 = other.reserved0;
    path = other.path;
    orient = other.orient;
    position = other.position;
    rotation = other.rotation;
    lattice = other.lattice;
    shapes = other.shapes;
    scaling = other.scaling;
    next = other.next;
    prev = other.prev;
    prev_anim = other.prev_anim;
    next_anim = other.next_anim;
    reserved1 = other.reserved1;
}
