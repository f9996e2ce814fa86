// The rest-pose pass (where each bone rests, and the chain it belongs to)
// and the per-update node pass (world and inverse world matrices, world
// centres and scales, skinning matrices).

#include "engine/model/anim_channels.h"
#include "engine/model/bone_chain.h"
#include "engine/model/camera_facing.h"
#include "engine/model/fcurve.h"
#include "engine/model/lattice_anim.h"
#include "engine/model/ml_modelinfo.h"
#include "engine/model/path_spline.h"

namespace {

bool is_bone_end(const model_node* n)
{
    return n->type == node_empty && n->parent && n->parent->type == node_bone;
}

bool is_chain_start(const model_node* n)
{
    return n->type == node_empty && !is_bone_end(n) && n->first_child && n->first_child->type == node_bone;
}

// S x R x T x M from a pivot (a node without one rests at scale 0).
mat4 rest_matrix(const model_pivot* pivot, const mat4& m)
{
    const model_pivot zero{};
    const model_pivot& p = pivot ? *pivot : zero;
    mat4 srt;
    mat_from_angles(&srt, p.angles.x, p.angles.y, p.angles.z);
    const float s[3] = {p.scale.x, p.scale.y, p.scale.z};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            srt.m[r][c] *= s[r];
    srt.m[3][0] = p.translation.x;
    srt.m[3][1] = p.translation.y;
    srt.m[3][2] = p.translation.z;
    srt.m[3][3] = 1.0f;
    mat4 n;
    mat_mul_affine(&srt, &n, &m);
    return n;
}

// `full`: the rest matrices are stored (level 0, and a detail level at load
// while its nodes still hold their pivots); otherwise only chain starts.
void rest_visit(model_node* node, const mat4& m, model_node* chain, bool full)
{
    for (; node; node = node->next_sibling) {
        model_node* c = chain;
        const bool bone = node->type == node_bone;
        const bool end = is_bone_end(node);
        const bool start = is_chain_start(node);
        bool replaced = false;
        if (start) {
            const model_node* p = node->parent;
            const bool continued = p && p->type == node_empty && p->parent && p->parent->type == node_bone;
            if (!continued) {
                c = node;
                replaced = true;
            }
        }
        mat4 identity;
        mat_identity(&identity);
        mat4 child_m = identity;
        if (bone || end || start) {
            const mat4 n = rest_matrix(node->pivot, m);
            if (bone && node->bone) {
                node->bone->chain_start = c;
                if (full || node->pivot) {
                    // A rest matrix without an inverse (a bone without a
                    // pivot) leaves the bone's skinning alone.
                    node->bone->rest_invertible = mat_determinant(&n) != 0.0;
                    if (node->bone->rest_invertible)
                        mat_invert(&n, &node->bone->inverse_rest);
                    else
                        mat_identity(&node->bone->inverse_rest);
                }
            }
            child_m = n;
            if (start && replaced) {
                const model_node* first = node->first_child;
                const skin_group* g = first->bone ? first->bone->first_group() : nullptr;
                if (g && g->bound && (g->bound->flags & node_special_5))
                    child_m = identity;
            }
        }
        rest_visit(node->first_child, child_m, c, full);
    }
}

// The world position of a point placed by the node a path follows: the
// last node of the instance's flat list that bears the path's name. It is
// looked up in the instance being updated, because the path belongs to the
// library and every instance linked to the animation shares it.
vec4 place_point(const vec4& point, const path_spline* path, const model_node* nodes)
{
    const model_node* placement = nullptr;
    for (const model_node* n = path ? nodes : nullptr; n; n = n->next)
        if (n->hash == path->name.hash)
            placement = n;
    if (!placement)
        return point;
    vec4 out{};
    mat_transform_point(&placement->world, &point, &out);
    out.w = point.w;
    return out;
}

// The node a chain start reaches for: the node bound by the first binding
// of its chain's end (an empty node whose first child is a bone, of chain
// kind 2 at most), or null.
const model_node* chain_target(model_node* node)
{
    if (node->type != node_empty || !node->first_child || node->first_child->type != node_bone ||
        node->chain_kind > 2)
        return nullptr;
    const model_node* end = chain_end(node);
    if (!end || !end->bindings)
        return nullptr;
    return static_cast<const model_node*>(end->bindings->bound);
}

struct pass_args {
    float time;
    int level;
    int flag;
    const model_node* nodes;   // the instance's flat list
};

// The local rotation of a node without an animation channel.
void still_rotation(const model_node* node, mat4* r)
{
    if (node->solved == 1 && node->chain_kind <= 2 && node->type == node_bone && node->parent &&
        node->parent->type == node_empty)
        mat_rot_z(r, node->angles.z);
    else
        mat_from_angles(r, node->angles.x, node->angles.y, node->angles.z);
}

void set_scaled(mat4* out, const mat4& z, const vec4& s)
{
    const float f[3] = {s.x, s.y, s.z};
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c)
            out->m[r][c] = z.m[r][c] * f[r];
        out->m[r][3] = 0.0f;
    }
    for (int c = 0; c < 3; ++c)
        out->m[3][c] = z.m[3][c];
    out->m[3][3] = 1.0f;
}

void set_inverse_scaled(mat4* out, const mat4& x, const vec4& s)
{
    // A zero scale has no inverse: that axis collapses to 0.
    const float f[3] = {s.x != 0.0f ? 1.0f / s.x : 0.0f, s.y != 0.0f ? 1.0f / s.y : 0.0f,
                        s.z != 0.0f ? 1.0f / s.z : 0.0f};
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 3; ++c)
            out->m[r][c] = x.m[r][c] * f[c];
        out->m[r][3] = r == 3 ? 1.0f : 0.0f;
    }
}

void skin_matrix(model_node* node, model_node* level_node, int level)
{
    if (node->type != node_bone || !node->bone)
        return;
    bone_object* target = node->bone;
    if (level > 0) {
        target = level_node && level_node->type == node_bone ? level_node->bone : nullptr;
        if (!target)
            return;
    }
    const skin_group* g = node->bone->first_group();
    if (!g || !g->bound || !target->rest_invertible)
        return;
    const model_node* start = node->bone->chain_start;
    const model_node* k = nullptr;
    if (g->bound->flags & node_special_5)
        k = start ? start->first_child : nullptr;
    else if (g->bound->flags & node_special_6)
        k = start ? start->parent : nullptr;
    else
        return;
    if (!k)
        return;
    // A vertex of the mesh, in the frame of K (the node the mesh moves
    // with), goes to the bone's rest frame, follows the bone to the world
    // and comes back into K's frame; the mesh's own world matrix then
    // places it like any vertex of the mesh.
    mat4 t;
    mat_mul_affine(&target->inverse_rest, &t, &node->world);
    mat_mul_affine(&t, &target->skinning, &k->inverse_world);
}

void node_pass(model_node* node, const mat4& a, const mat4& b, const vec4& inherited, const pass_args& args)
{
    for (; node; node = node->next_sibling) {
        model_node* level_node = nullptr;
        if (args.level >= 0) {
            level_node = node->namesake(args.level);
            if (!level_node)
                return;
        }
        const float t = args.time;
        anim_node* an = node->anim;
        mat4 r;
        bool from_path = false;
        vec4 world_point{};
        const bool solved_bone = node->solved == 1 && node->type == node_bone;
        mat4 rt;
        bool facing_camera = false;
        camera_facing facing;
        if (!an && args.flag == 0 && node->mesh_word() == 2 && current_camera_facing(&facing)) {
            // A billboard turns with the camera's heading.
            node->flags &= ~0x10u;
            r = facing.heading;
            rt = facing.heading_inverse;
            facing_camera = true;
        } else if (!an) {
            still_rotation(node, &r);
        } else {
            if (const anim_position* ch = an->position) {
                if (ch->flags & position_by_curves) {
                    if (ch->x)
                        node->local_position.x = ch->x->calc(t);
                    if (ch->y)
                        node->local_position.y = ch->y->calc(t);
                    if (ch->z)
                        node->local_position.z = ch->z->calc(t);
                } else if (ch->flags & position_blend_paths) {
                    vec4 p = node->local_position;
                    if (ch->x)
                        p.x = ch->x->calc(t);
                    if (ch->y)
                        p.y = ch->y->calc(t);
                    if (ch->z)
                        p.z = ch->z->calc(t);
                    world_point = place_point(p, ch->path, args.nodes);
                    from_path = true;
                } else if (!(ch->flags & position_equal_paths) && ch->path && ch->path->count > 1) {
                    vec4 p = node->local_position;
                    ch->eval(t, &p);
                    world_point = place_point(p, ch->path, args.nodes);
                    from_path = true;
                }
            }
            const anim_rotation* rot = an->rotation;
            if (!rot) {
                still_rotation(node, &r);
            } else if (solved_bone && node->chain_kind < 3) {
                mat_identity(&r);
                if (!rot->x)
                    mat_rotate_x(&r, &r, node->angles.x);
                mat4 e;
                rot->eval(t, 1, &node->angles, &e);
                mat_mul_affine(&r, &r, &e);
                mat_rotate_z(&r, &r, node->angles.z);
            } else {
                rot->eval(t, 0, &node->angles, &r);
            }
            if (const anim_scaling* sc = an->scaling) {
                if (sc->x)
                    node->scale.x = sc->x->calc(t);
                if (sc->y)
                    node->scale.y = sc->y->calc(t);
                if (sc->z)
                    node->scale.z = sc->z->calc(t);
            }
        }
        r.m[3][0] = r.m[3][1] = r.m[3][2] = 0.0f;
        r.m[0][3] = r.m[1][3] = r.m[2][3] = 0.0f;
        r.m[3][3] = 1.0f;
        if (!facing_camera)
            mat_transpose(&r, &rt);

        node->world_scale = {node->scale.x * inherited.x, node->scale.y * inherited.y,
                             node->scale.z * inherited.z, 1.0f};
        const vec4 src = from_path ? world_point : node->local_position;
        const vec4 p{src.x * inherited.x, src.y * inherited.y, src.z * inherited.z, 1.0f};

        mat4 pa = a;
        mat4 pb = b;
        if (from_path) {
            // A world position replaces the parent's translation, in the
            // matrix and in its inverse alike.
            pa.m[3][0] = pa.m[3][1] = pa.m[3][2] = 0.0f;
            pb.m[3][0] = pb.m[3][1] = pb.m[3][2] = 0.0f;
        }
        mat4 rp = r;
        rp.m[3][0] = p.x;
        rp.m[3][1] = p.y;
        rp.m[3][2] = p.z;
        mat4 z;
        mat_mul_affine(&rp, &z, &pa);
        set_scaled(&node->world, z, node->world_scale);

        mat4 x = pb;
        x.m[3][0] -= p.x;
        x.m[3][1] -= p.y;
        x.m[3][2] -= p.z;
        mat_mul_affine(&x, &x, &rt);
        set_inverse_scaled(&node->inverse_world, x, node->world_scale);

        if (from_path)
            node->world_centre = world_point;
        else
            node->world_centre = {z.m[3][0], z.m[3][1], z.m[3][2], 1.0f};

        if (const model_node* aim = chain_target(node)) {
            // The chain turns to face its target: the start keeps its place,
            // its rotation becomes the chain's orientation.
            const vec4 kept = node->angles;
            const vec4 target = aim->world_centre;
            const mat4 y = chain_orientation(node, target);
            node->angles = kept;
            z = y;
            z.m[3][0] = node->world_centre.x;
            z.m[3][1] = node->world_centre.y;
            z.m[3][2] = node->world_centre.z;
            set_scaled(&node->world, z, node->world_scale);
            mat_transpose(&y, &x);
            for (int c = 0; c < 3; ++c) {
                x.m[3][c] = -(node->world_centre.x * x.m[0][c] + node->world_centre.y * x.m[1][c] +
                              node->world_centre.z * x.m[2][c]);
                x.m[c][3] = 0.0f;
            }
            x.m[3][3] = 1.0f;
            set_inverse_scaled(&node->inverse_world, x, node->world_scale);
        }

        skin_matrix(node, level_node, args.level);

        if (an && an->lattice && !(an->flags & node_lattice_follows_parent))
            an->lattice->eval(&z, &node->world_scale, t);

        if (an && an->lattice && (an->flags & node_lattice_b)) {
            mat4 identity;
            mat_identity(&identity);
            node_pass(node->first_child, identity, identity, node->world_scale, args);
        } else {
            node_pass(node->first_child, z, x, node->world_scale, args);
        }
    }
}

void compact_pass(model_node* node, const mat4& rot, const vec4& pos, const vec4& s)
{
    for (; node; node = node->next_sibling) {
        const float f[3] = {s.x, s.y, s.z};
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c)
                node->world.m[r][c] = rot.m[r][c] * f[r];
            node->world.m[r][3] = 0.0f;
        }
        const vec4 lp{node->local_position.x * s.x, node->local_position.y * s.y, node->local_position.z * s.z,
                      1.0f};
        for (int c = 0; c < 3; ++c)
            node->world.m[3][c] = (&pos.x)[c] + lp.x * rot.m[0][c] + lp.y * rot.m[1][c] + lp.z * rot.m[2][c];
        node->world.m[3][3] = 1.0f;
        node->world_centre = {node->world.m[3][0], node->world.m[3][1], node->world.m[3][2], 1.0f};
        mat_invert(&node->world, &node->inverse_world);
        const vec4 child_pos{node->world.m[3][0], node->world.m[3][1], node->world.m[3][2], 1.0f};
        compact_pass(node->first_child, node->world, child_pos, {1.0f, 1.0f, 1.0f, 1.0f});
    }
}

} // namespace

void ml_modelinfo::rest_pose(bool levels_too)
{
    mat4 identity;
    mat_identity(&identity);
    rest_visit(first_node, identity, nullptr, true);
    if (!levels_too || !levels)
        return;
    for (int k = 1; k < level_count; ++k)
        if (levels[k])
            rest_visit(levels[k]->first_node, identity, nullptr, false);
}

void ml_modelinfo::update_transforms(float time)
{
    model_node* root = first_node;
    if (!root)
        return;
    const std::uint32_t word = root->mesh_word();
    if (word == 2) {
        // A billboard model: its root takes the camera's world matrix and
        // stands at its own local position.
        root->flags &= ~0x10u;
        camera_facing facing;
        if (current_camera_facing(&facing))
            root->world = facing.world;
        root->world_centre = root->local_position;
        flags |= model_transforms_valid;
        root->scale = scale;
        return;
    }
    if (word == 1) {
        // A sprite model: its root stands at the instance's position at the
        // instance's scale, which its drawing reads as the root's world
        // centre and world scale (it faces the camera whatever the angles).
        // The root's local position stays its own: the visible list adds it
        // to the instance's position.
        flags |= model_transforms_valid;
        root->world_centre = {position.x, position.y, position.z, 1.0f};
        root->scale = scale;
        root->world_scale = scale;
        return;
    }
    if (flags & model_transforms_valid)
        return;
    mat4 rot;
    if (ext_matrix)
        rot = *ext_matrix;
    else
        mat_from_angles(&rot, angles.x, angles.y, angles.z);
    if (root->is_compact()) {
        compact_pass(root, rot, position, scale);
        flags |= model_transforms_valid;
        return;
    }
    flags |= model_transforms_valid;
    if (id > 0 && levels && id < level_count && levels[id] && levels[id]->node_count == 1 &&
        levels[id]->first_node && levels[id]->first_node->type == node_empty)
        return;
    // The root matrix (the rotation, the position as translation) and its
    // exact inverse. The instance's scale reaches the nodes once, as the
    // scale the pass hands down: each node's world matrix is scaled by its
    // world scale and its position by the inherited scale. Scaling the root
    // matrix as well would scale every node twice (an instance of scale s
    // drawn s x s large), unlike the compact pass and the bounding radius
    // the callers scale in proportion to s.
    mat4 a;
    const float s[3] = {1.0f, 1.0f, 1.0f};
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c)
            a.m[r][c] = rot.m[r][c] * s[r];
        a.m[r][3] = 0.0f;
    }
    a.m[3][0] = position.x;
    a.m[3][1] = position.y;
    a.m[3][2] = position.z;
    a.m[3][3] = 1.0f;
    mat4 b;
    for (int r = 0; r < 3; ++r) {
        const float inv = s[r] != 0.0f ? 1.0f / s[r] : 0.0f;
        for (int c = 0; c < 3; ++c)
            b.m[c][r] = rot.m[r][c] * inv;
    }
    for (int c = 0; c < 3; ++c)
        b.m[3][c] = -(position.x * b.m[0][c] + position.y * b.m[1][c] + position.z * b.m[2][c]);
    b.m[0][3] = b.m[1][3] = b.m[2][3] = 0.0f;
    b.m[3][3] = 1.0f;
    node_pass(root, a, b, scale, pass_args{time, id, 0, first_node});
}
