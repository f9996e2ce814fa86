#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "engine/base/light_record.h"
#include "engine/model/anim_channels.h"
#include "model_builder.h"
#include "model_fixture.h"

namespace model_test {
namespace {

class ModelNodeTest : public ModelTest {};

// An Euler rotation channel turning about z from 0 degrees at t = 0 to 180
// at t = 2 (y held at 0, since z follows only a y curve).
anim_node* turn_about_z()
{
    auto* an = new (pool_anim_node) anim_node;
    an->rotation = new (pool_anim_rotation) anim_rotation;
    an->rotation->flags = rotation_by_angles;
    an->rotation->x = constant_curve(0.0f);
    an->rotation->y = constant_curve(0.0f);
    an->rotation->z = make_curve({{0.0f, 0.0f}, {2.0f, 180.0f}});
    return an;
}

vec4 transform(const mat4& m, vec4 p)
{
    vec4 out{};
    mat_transform_point(&m, &p, &out);
    return out;
}

void expect_near(vec4 got, vec4 want, float tol = 1e-5f)
{
    EXPECT_NEAR(got.x, want.x, tol);
    EXPECT_NEAR(got.y, want.y, tol);
    EXPECT_NEAR(got.z, want.z, tol);
}

void expect_identity(const mat4& m, float tol = 1e-4f)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(m.m[r][c], r == c ? 1.0f : 0.0f, tol) << "at " << r << "," << c;
}

// BODY (root) holds the skin mesh and the chain CHAIN -> BONE1 -> BONE2,
// whose groups bind the mesh (special kind 6: skinned relative to the
// chain start's parent).
struct two_bone {
    ml_modelinfo* model;
    two_bone()
    {
        model_builder b("RIDER");
        b.add("BODY", node_empty, -1);
        model_node* skin = b.add("SKIN", node_mesh, 0);
        skin->flags |= node_special_6;
        model_node* chain = b.add("CHAIN", node_empty, 0);
        model_builder::pivot_at(chain, {0, 0, 0, 0});
        model_node* bone1 = b.add("BONE1", node_bone, 2);
        model_builder::pivot_at(bone1, {0, 0, 0, 0});
        model_builder::bone_groups(bone1, {{"SKIN", {0}}});
        model_node* bone2 = b.add("BONE2", node_bone, 3);
        bone2->local_position = {1.0f, 0.0f, 0.0f, 0.0f};
        model_builder::pivot_at(bone2, {1.0f, 0.0f, 0.0f, 0.0f});
        model_builder::bone_groups(bone2, {{"SKIN", {1, 2}}});
        model = b.finish();
    }
};

TEST_F(ModelNodeTest, TwoBoneSkinnedModelPosedAtATimeMovesVerticesAsComputedByHand)
{
    two_bone rig;
    ml_modelinfo* inst = rig.model->make_instance(nullptr);
    ASSERT_NE(inst, nullptr);
    model_node* bone1 = inst->find_node(name_hash("BONE1"));
    model_node* bone2 = inst->find_node(name_hash("BONE2"));
    model_node* chain = inst->find_node(name_hash("CHAIN"));
    model_node* skin = inst->find_node(name_hash("SKIN"));
    ASSERT_TRUE(bone1 && bone2 && chain && skin);
    // The instance's bones name the instance's own chain start and mesh.
    EXPECT_EQ(bone1->bone->chain_start, chain);
    EXPECT_EQ(bone2->bone->first_group()->bound, skin);
    ASSERT_EQ(skin->skin_ref_count, 2);
    EXPECT_EQ(skin->skin_refs[0]->bone, bone1->bone);
    EXPECT_EQ(skin->skin_refs[1]->bone, bone2->bone);

    anim_node* a1 = turn_about_z();
    anim_node* a2 = turn_about_z();
    bone1->anim = a1;
    bone2->anim = a2;
    inst->position = {10.0f, -3.0f, 4.0f, 1.0f};
    inst->angles = {0.3f, 0.0f, 0.0f, 0.0f};
    inst->update_transforms(1.0f);   // both bones turned 90 degrees about z

    // A vertex of bone 2 at (2, 0, 0): one unit past bone 2's pivot, turned
    // by bone 2 to (1, 1, 0) in bone 1's frame, then by bone 1 to (-1, 1, 0).
    expect_near(transform(bone2->bone->skinning, {2.0f, 0.0f, 0.0f, 1.0f}), {-1.0f, 1.0f, 0.0f, 1.0f});
    // A vertex of bone 1 at (0.5, 0, 0) turns to (0, 0.5, 0).
    expect_near(transform(bone1->bone->skinning, {0.5f, 0.0f, 0.0f, 1.0f}), {0.0f, 0.5f, 0.0f, 1.0f});

    // At t = 0 the pose is the rest pose: skinning leaves vertices alone.
    inst->flags &= ~model_transforms_valid;
    inst->update_transforms(0.0f);
    expect_identity(bone2->bone->skinning);

    bone1->anim = bone2->anim = nullptr;
    delete a1;
    delete a2;
    delete inst;
    delete rig.model;
}

TEST_F(ModelNodeTest, WorldTimesInverseWorldIsTheIdentityForEveryNode)
{
    model_builder b("CRANE");
    b.add("BASE", node_empty, -1)->scale = {2.0f, 1.0f, 0.5f, 0.0f};
    model_node* arm = b.add("ARM", node_mesh, 0);
    arm->local_position = {0.0f, 3.0f, 1.0f, 0.0f};
    arm->angles = {0.2f, -0.7f, 1.1f, 0.0f};
    arm->scale = {1.5f, 0.25f, 3.0f, 0.0f};
    model_node* hook = b.add("HOOK", node_empty, 1);
    hook->local_position = {-2.0f, 0.5f, 0.0f, 0.0f};
    b.add("SIDE", node_empty, 0)->local_position = {4.0f, 0.0f, 0.0f, 0.0f};
    ml_modelinfo* model = b.finish();
    ml_modelinfo* inst = model->make_instance(nullptr);
    anim_node* turn = turn_about_z();
    inst->find_node(name_hash("HOOK"))->anim = turn;
    inst->position = {100.0f, 5.0f, -20.0f, 1.0f};
    inst->angles = {0.4f, 1.2f, -0.3f, 0.0f};
    inst->scale = {1.0f, 2.0f, 3.0f, 1.0f};
    inst->update_transforms(0.7f);
    EXPECT_TRUE(inst->flags & model_transforms_valid);
    for (model_node* n = inst->first_node; n; n = n->next) {
        mat4 product;
        mat_mul_affine(&n->world, &product, &n->inverse_world);
        SCOPED_TRACE(n->index);
        expect_identity(product);
    }
    // The world centre is the translation of the world matrix.
    model_node* side = inst->find_node(name_hash("SIDE"));
    EXPECT_EQ(side->world_centre.x, side->world.m[3][0]);
    inst->find_node(name_hash("HOOK"))->anim = nullptr;
    delete turn;
    delete inst;
    delete model;
}

// An instance of scale s is drawn s times as large, not s x s: the scale
// reaches each node's world matrix and position once, as the compact pass
// and the bounding radius the callers keep in proportion to s have it.
TEST_F(ModelNodeTest, TheInstanceScaleIsAppliedOnce)
{
    model_builder b("DOME");
    b.add("ROOT", node_empty, -1);
    model_node* arm = b.add("ARM", node_empty, 0);
    arm->local_position = {1.0f, 2.0f, 0.0f, 0.0f};
    model_node* tip = b.add("TIP", node_empty, 1);
    tip->local_position = {0.0f, 0.0f, 3.0f, 0.0f};
    ml_modelinfo* model = b.finish();
    ml_modelinfo* inst = model->make_instance(nullptr);
    inst->position = {10.0f, 0.0f, 0.0f, 1.0f};
    inst->angles = {0.0f, 1.5707963f, 0.0f, 0.0f}; // a quarter turn about y: x goes to -z
    inst->scale = {5.0f, 5.0f, 5.0f, 1.0f};
    inst->update_transforms(0.0f);
    const model_node* a = inst->find_node(name_hash("ARM"));
    const model_node* t = inst->find_node(name_hash("TIP"));
    EXPECT_NEAR(a->world_centre.x, 10.0f, 1e-4f);
    EXPECT_NEAR(a->world_centre.y, 10.0f, 1e-4f);
    EXPECT_NEAR(a->world_centre.z, -5.0f, 1e-4f);
    EXPECT_NEAR(t->world_centre.x, 10.0f + 15.0f, 1e-3f);
    EXPECT_NEAR(t->world_centre.z, -5.0f, 1e-3f);
    for (int r = 0; r < 3; ++r) {
        const float* row = t->world.m[r];
        EXPECT_NEAR(std::sqrt(row[0] * row[0] + row[1] * row[1] + row[2] * row[2]), 5.0f, 1e-4f) << r;
    }
    mat4 product;
    mat_mul_affine(&t->world, &product, &t->inverse_world);
    expect_identity(product);
    delete inst;
    delete model;
}

TEST_F(ModelNodeTest, InstancesAreIndependentAndDestroyingEverythingRestoresTheLiveCounters)
{
    const int records = model_record::live, full = model_node::live_full, level = model_node::live_level,
              bones = bone_object::live, groups = skin_group::live, refs = skin_ref::live,
              bindings = node_binding::live;
    {
        two_bone rig;
        model_node* body = rig.model->find_node(name_hash("BODY"));
        auto* binding = new (pool_node_binding) node_binding;
        binding->target_hash = name_hash("BONE2");
        binding->owner_state = 1;
        body->bindings = binding;
        body->binding_count = 1;
        rig.model->resolve_bindings();
        ml_modelinfo* a = rig.model->make_instance(nullptr);
        ml_modelinfo* b = rig.model->make_instance(nullptr);
        // Each instance binds to its own nodes.
        EXPECT_EQ(a->first_node->bindings->bound, a->find_node(name_hash("BONE2")));
        EXPECT_EQ(b->first_node->bindings->bound, b->find_node(name_hash("BONE2")));

        b->update_transforms(0.0f);
        const mat4 before = b->find_node(name_hash("BONE2"))->bone->skinning;
        anim_node* turn = turn_about_z();
        a->find_node(name_hash("BONE1"))->anim = turn;
        a->position = {5.0f, 0.0f, 0.0f, 1.0f};
        a->update_transforms(1.5f);
        b->flags &= ~model_transforms_valid;
        b->update_transforms(1.5f);
        const mat4 after = b->find_node(name_hash("BONE2"))->bone->skinning;
        for (int i = 0; i < 16; ++i)
            EXPECT_EQ(before.m[i / 4][i % 4], after.m[i / 4][i % 4]);
        EXPECT_NE(a->find_node(name_hash("BONE2"))->world.m[3][1], b->find_node(name_hash("BONE2"))->world.m[3][1]);
        // The model's own groups and vertex lists are untouched by the copies.
        EXPECT_EQ(rig.model->find_node(name_hash("BONE1"))->bone->first_group()->bound,
                  rig.model->find_node(name_hash("SKIN")));
        a->find_node(name_hash("BONE1"))->anim = nullptr;
        delete turn;
        delete a;
        delete b;
        delete rig.model;
    }
    EXPECT_EQ(model_record::live, records);
    EXPECT_EQ(model_node::live_full, full);
    EXPECT_EQ(model_node::live_level, level);
    EXPECT_EQ(bone_object::live, bones);
    EXPECT_EQ(skin_group::live, groups);
    EXPECT_EQ(skin_ref::live, refs);
    EXPECT_EQ(node_binding::live, bindings);
}

TEST_F(ModelNodeTest, ABoneWithoutPivotSkipsItsSkinningInsteadOfInvertingASingularMatrix)
{
    model_builder b("LOOSE");
    b.add("BODY", node_empty, -1);
    b.add("SKIN", node_mesh, 0)->flags |= node_special_6;
    model_builder::pivot_at(b.add("CHAIN", node_empty, 0), {});
    model_node* bone = b.add("BONE", node_bone, 2);   // no pivot
    model_builder::bone_groups(bone, {{"SKIN", {0}}});
    mat_reset_singular_inversions();
    ml_modelinfo* model = b.finish();
    ml_modelinfo* inst = model->make_instance(nullptr);
    model_node* ib = inst->find_node(name_hash("BONE"));
    EXPECT_FALSE(ib->bone->rest_invertible);
    mat_identity(&ib->bone->skinning);
    ib->bone->skinning.m[3][0] = 7.0f;   // as read from the file
    inst->update_transforms(0.0f);
    EXPECT_EQ(ib->bone->skinning.m[3][0], 7.0f);
    EXPECT_EQ(mat_singular_inversions(), 0u);
    delete inst;
    delete model;
}

TEST_F(ModelNodeTest, DetailChoiceClampsToTheLevelsItHas)
{
    model_builder b("TREE");
    b.add("TRUNK", node_empty, -1);
    b.level({"TRUNK"});
    b.level({"TRUNK"});
    ml_modelinfo* model = b.finish();
    lod_view view;
    view.detail_distance = 10.0f;
    // No table: level 0.
    EXPECT_EQ(model->select_lod(&view), model);
    EXPECT_EQ(model->id, 0);
    const float table[3] = {1.0f, 5.0f, 20.0f};   // distances 10, 50, 200
    model->set_lod_table(table);
    struct {
        float distance;
        int level;
    } cases[] = {
        {5.0f, 0},      // passes no threshold: level 0, not -1
        {30.0f, 0},     // passes the first
        {100.0f, 1},
        {1000.0f, 2},   // beyond the last: the last level
    };
    for (const auto& c : cases) {
        view.position = {c.distance, 0.0f, 0.0f, 0.0f};
        model_record* chosen = model->select_lod(&view);
        EXPECT_EQ(model->id, c.level) << c.distance;
        EXPECT_EQ(chosen, model->levels[c.level]);
    }
    // A lens curve scales the distance by the lens factor.
    view.has_fov_curve = true;
    view.lod_factor = 10.0f;
    view.position = {1000.0f, 0.0f, 0.0f, 0.0f};
    model->select_lod(&view);
    EXPECT_EQ(model->id, 1);
    delete model;

    // A model with more levels than the table has thresholds stops at the
    // table's last (the sanitizer build sees a read past the table).
    model_builder many("TOWER");
    many.add("TRUNK", node_empty, -1);
    for (int level = 0; level < 4; ++level)
        many.level({"TRUNK"});
    ml_modelinfo* tower = many.finish();
    ASSERT_EQ(tower->level_count, 5);
    const std::vector<float> two{1.0f, 5.0f};   // distances 10 and 50
    tower->set_lod_table(two);
    view.has_fov_curve = false;
    view.position = {1.0e6f, 0.0f, 0.0f, 0.0f};
    tower->select_lod(&view);
    EXPECT_EQ(tower->id, 1);
    delete tower;
}

TEST_F(ModelNodeTest, ANodeWithoutNamesakeInTheChosenLevelEndsThePassForItsSubtreeAndLaterSiblings)
{
    model_builder b("BIKE");
    b.add("FRAME", node_empty, -1);
    b.add("FORK", node_empty, 0)->local_position = {1.0f, 0.0f, 0.0f, 0.0f};
    b.add("WHEEL", node_empty, 1)->local_position = {0.0f, 1.0f, 0.0f, 0.0f};
    b.add("SEAT", node_empty, 0)->local_position = {0.0f, 0.0f, 1.0f, 0.0f};
    b.level({"FRAME", "SEAT"});   // no fork, no wheel
    ml_modelinfo* model = b.finish();
    model_node* fork = model->find_node(name_hash("FORK"));
    model_node* wheel = model->find_node(name_hash("WHEEL"));
    model_node* seat = model->find_node(name_hash("SEAT"));
    EXPECT_EQ(fork->namesake(1), nullptr);
    EXPECT_EQ(seat->namesake(1)->level0, seat);
    model->id = 1;
    model->position = {0.0f, 0.0f, 0.0f, 1.0f};
    model->update_transforms(0.0f);
    // FORK is the first child: the pass ends there, so SEAT (a later
    // sibling) and WHEEL keep their earlier matrices (the identity).
    EXPECT_EQ(fork->world.m[3][0], 0.0f);
    EXPECT_EQ(wheel->world.m[3][1], 0.0f);
    EXPECT_EQ(seat->world.m[3][2], 0.0f);
    model->flags &= ~model_transforms_valid;
    model->id = 0;
    model->update_transforms(0.0f);
    EXPECT_EQ(seat->world.m[3][2], 1.0f);
    EXPECT_EQ(wheel->world.m[3][1], 1.0f);
    delete model;
}

TEST_F(ModelNodeTest, FlagsPairingShadowsAndLights)
{
    model_builder b1("LAMP");
    b1.add("BULB", node_empty, -1)->radius = 1.0f;
    ml_modelinfo* a = b1.finish();
    model_builder b2("POST");
    b2.add("POLE", node_empty, -1);
    ml_modelinfo* c = b2.finish();

    a->set_flags(0x100);
    EXPECT_TRUE(a->first_node->flags & 0x100);
    a->clear_flags(0x100);
    EXPECT_FALSE(a->first_node->flags & 0x100);

    c->flags |= model_paired_first;
    a->pair_with(c);
    EXPECT_EQ(a->pair, c);
    EXPECT_EQ(c->pair, a);
    EXPECT_EQ(a->flags & (model_paired_first | model_paired_second), model_paired_first);
    EXPECT_EQ(c->flags & (model_paired_first | model_paired_second), model_paired_second);

    a->shadow_state[0] = 9;
    a->enable_shadow();
    EXPECT_EQ(a->shadow_flag, 1u);
    EXPECT_EQ(a->shadow_state[0], 0u);

    a->set_position(0.0f, 0.0f, 0.0f, 1.0f);
    scn_light sun, near_lamp, far_lamp;
    sun.type = 3;
    sun.world_position = {1e6f, 0.0f, 0.0f, 0.0f};
    near_lamp.set_range(2.5f);   // reaches 2.5 + the root's radius 1
    near_lamp.world_position = {3.4f, 0.0f, 0.0f, 0.0f};
    far_lamp.set_range(2.5f);
    far_lamp.world_position = {3.6f, 0.0f, 0.0f, 0.0f};
    scn_light* lights[] = {&sun, &near_lamp, &far_lamp, nullptr};
    scn_light* out[4] = {};
    EXPECT_EQ(a->select_lights(out, lights), 2);
    EXPECT_EQ(out[0], &sun);
    EXPECT_EQ(out[1], &near_lamp);
    EXPECT_EQ(out[2], nullptr);
    scn_light* none[] = {nullptr};
    EXPECT_EQ(a->select_lights(out, none), 0);
    EXPECT_EQ(out[0], nullptr);
    delete a;
    delete c;
}

} // namespace
} // namespace model_test
