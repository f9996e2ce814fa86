// Bone chains bending toward a target: the reach share, the planar
// two-circle solve of each joint and the aim frame of the whole chain.

#include "engine/model/bone_chain.h"

#include <cmath>

#include "engine/model/model_node.h"

namespace {

constexpr float half_pi = 1.5707964f;

struct plane_point {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
};

float length3(float x, float y, float z)
{
    return std::sqrt(x * x + y * y + z * z);
}

// v over its length; a zero vector takes the fallback (itself a unit
// vector) so that a target at the chain's start still gives a rotation.
vec4 unit(const vec4& v, const vec4& fallback)
{
    const float l = length3(v.x, v.y, v.z);
    if (l == 0.0f || !std::isfinite(l))
        return fallback;
    return {v.x / l, v.y / l, v.z / l, 0.0f};
}

vec4 cross(const vec4& a, const vec4& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x, 0.0f};
}

float dot(const vec4& a, const vec4& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

vec4 row(const mat4& m, int r)
{
    return {m.m[r][0], m.m[r][1], m.m[r][2], 0.0f};
}

// v turned about the unit axis x by the angle (Rodrigues).
vec4 turn_about(const vec4& v, const vec4& x, float angle)
{
    const float c = std::cos(angle);
    const float s = std::sin(angle);
    const vec4 xv = cross(x, v);
    const float k = dot(x, v) * (1.0f - c);
    return {v.x * c + xv.x * s + x.x * k, v.y * c + xv.y * s + x.y * k, v.z * c + xv.z * s + x.z * k, 0.0f};
}

// The part of the distance a joint covers: its bone's share of the whole
// reach. A chain length of 0 gives the joint no share (it divided by zero).
float joint_share(const model_node* j, float distance, float s)
{
    if (j->chain_length == 0.0f)
        return 0.0f;
    return j->local_position.x * distance / j->chain_length * s;
}

// The reach correction r0 of a sharing chain (chain kind 2 on its start).
// Each joint from J2 on that is not an empty node covers its share of the
// distance and adds r0; what the shares leave between the last joint and
// the chain's end is spread over those joints, so that the last joint lies
// exactly one end-bone length from the target. (With one such joint this
// is the end bone's length less the distance left after the first share.)
float reach_share(const model_node* j2, float distance, float s)
{
    float left = distance;
    int sharing = 0;
    const model_node* j = j2;
    while (j) {
        if (j->type != node_empty) {
            left -= joint_share(j, distance, s);
            ++sharing;
        }
        const model_node* c = j->first_child;
        if (c && c->type == node_bone) {
            j = c;
            continue;
        }
        if (!c || sharing == 0)
            return 0.0f;
        return (c->local_position.x * s - left) / static_cast<float>(sharing);
    }
    return 0.0f;
}

void mark_solved(model_node* j)
{
    j->solved = 1;
    if (j->parent)
        j->parent->solved = 1;
}

// The planar solve from joint j: the target lies at (d, 0, 0) of the aim
// plane, P is where j's parent stands, phi the turn accumulated so far.
void planar_solve(model_node* j, float d, float r0, float s)
{
    mark_solved(j);
    if (j->chain_kind < 2) {
        if (j->parent)
            j->parent->angles.z = 0.0f;
        j->angles.z = 0.0f;
        return;
    }
    float e = d;
    float phi = 0.0f;
    plane_point p;
    const plane_point t{d, 0.0f, 0.0f};
    const float t_len = length3(t.x, t.y, t.z);
    for (;;) {
        if (j->type != node_empty)
            e = e - joint_share(j, t_len, s) + r0;
        else
            e = e - s * j->local_position.x;
        const float bone = s * j->local_position.x;
        float alpha = chain_joint_angle(p.x - t.x, p.y - t.y, bone, e, phi, j->bend_reference);
        if (s * j->chain_length < t_len) {
            alpha = 0.0f;
            j->angles.z = 0.0f;
        }
        phi += alpha;
        if (j->parent)
            j->parent->angles.z = alpha;
        const float lx = s * j->local_position.x;
        const float ly = s * j->local_position.y;
        p.x += std::cos(phi) * lx - std::sin(phi) * ly;
        p.y += std::cos(phi) * ly + std::sin(phi) * lx;
        p.z += s * j->local_position.z;

        model_node* c = j->type == node_bone ? j->first_child : nullptr;
        if (!c || (c->type != node_bone && c->type != node_empty))
            return;
        mark_solved(c);
        if (c->chain_kind <= 1) {
            j->angles.z = 0.0f;
            c->angles.z = 0.0f;
            return;
        }
        j = c;
    }
}

} // namespace

float chain_joint_angle(float ux, float uy, float bone, float reach, float turned, float reference)
{
    const float rho2 = ux * ux + uy * uy;
    const float a = (ux - bone) * (ux - bone) + uy * uy - reach * reach;
    const float b = 2.0f * bone * uy;
    const float d = ((reach + bone) * (reach + bone) - rho2) * (rho2 - (reach - bone) * (reach - bone));
    const float root = std::sqrt(std::fabs(d));
    // A zero denominator: one bend is a half turn. A nonzero numerator gives
    // the arctangent of an infinite quotient; 0 / 0 is the other, finite
    // root of the half-angle quadratic, C / 2B (a half turn again when B is
    // 0 too).
    const float c = (ux + bone) * (ux + bone) + uy * uy - reach * reach;
    auto half_angle = [a, b, c](float numerator) {
        if (a != 0.0f)
            return std::atan(numerator / a);
        if (numerator != 0.0f)
            return numerator > 0.0f ? half_pi : -half_pi;
        if (b != 0.0f)
            return std::atan(c / (2.0f * b));
        return half_pi;
    };
    const float a1 = -2.0f * half_angle(b - root) - turned;
    const float a2 = -2.0f * half_angle(b + root) - turned;
    return std::fabs(reference - a1) > std::fabs(reference - a2) ? a1 : a2;
}

model_node* chain_end(model_node* node)
{
    if (!node)
        return nullptr;
    model_node* n = node;
    while (n->first_child && n->first_child->type == node_bone)
        n = n->first_child;
    return n->first_child;
}

mat4 chain_orientation(model_node* start, const vec4& target)
{
    mat4 out;
    mat_identity(&out);
    if (!start || start->chain_kind > 2)
        return out;
    model_node* j1 = start->first_child;
    model_node* j2 = j1 ? j1->first_child : nullptr;
    if (!j2)
        return out;

    const vec4 delta{target.x - start->world.m[3][0], target.y - start->world.m[3][1],
                     target.z - start->world.m[3][2], 0.0f};
    const float d = length3(delta.x, delta.y, delta.z);
    const float s = start->world_scale.x;
    const float r0 = start->chain_kind == 2 ? reach_share(j2, d, s) : 0.0f;
    planar_solve(j2, d, r0, s);

    // The aim frame: x toward the target, y across it from the start's z
    // axis, turned about x by the first bone's twist.
    const vec4 own_x = unit(row(start->world, 0), {1.0f, 0.0f, 0.0f, 0.0f});
    const vec4 x = unit(delta, own_x);
    const vec4 z0 = unit(row(start->world, 2), {0.0f, 0.0f, 1.0f, 0.0f});
    vec4 y = unit(cross(z0, x), {0.0f, 0.0f, 0.0f, 0.0f});
    if (y.x == 0.0f && y.y == 0.0f && y.z == 0.0f) {
        // The target lies along the start's z axis: its y axis gives the plane.
        const vec4 own_y = unit(row(start->world, 1), {0.0f, 1.0f, 0.0f, 0.0f});
        y = unit(cross(cross(x, own_y), x), own_y);
    }
    const vec4 z = unit(cross(x, y), z0);
    const vec4 yt = turn_about(y, x, j1->twist);
    const vec4 zt = turn_about(z, x, j1->twist);
    const vec4 rows[3] = {x, yt, zt};
    for (int r = 0; r < 3; ++r) {
        out.m[r][0] = rows[r].x;
        out.m[r][1] = rows[r].y;
        out.m[r][2] = rows[r].z;
        out.m[r][3] = 0.0f;
    }
    return out;
}
