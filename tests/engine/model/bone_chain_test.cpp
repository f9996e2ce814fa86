#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "engine/base/node_binding.h"
#include "engine/model/bone_chain.h"
#include "model_builder.h"
#include "model_fixture.h"

namespace model_test {
namespace {

class BoneChainTest : public ModelTest {};

float distance(const vec4& a, const vec4& b)
{
    return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) + (a.z - b.z) * (a.z - b.z));
}

// ROOT holds TARGET and the chain ARM -> bones of the given lengths -> HAND,
// whose binding names TARGET. Every joint takes part (chain kind 2) and
// reaches as far as the whole chain.
struct limb {
    ml_modelinfo* model = nullptr;
    model_node* arm = nullptr;
    model_node* target = nullptr;
    model_node* hand = nullptr;
    std::vector<model_node*> bones;

    explicit limb(std::vector<float> lengths, float bend_reference = 1.0f, std::int32_t start_kind = 2)
    {
        float reach = 0.0f;
        for (float l : lengths)
            reach += l;
        model_builder b("LIMB");
        b.add("ROOT", node_empty, -1);
        target = b.add("TARGET", node_empty, 0);
        arm = b.add("ARM", node_empty, 0);
        arm->chain_kind = start_kind;
        arm->angles = {0.3f, -0.2f, 0.5f, 0.0f};
        arm->local_position = {0.5f, 1.0f, -0.25f, 0.0f};
        int parent = 2;
        float previous = 0.0f;
        const char* names[] = {"BONE1", "BONE2", "BONE3", "BONE4"};
        for (std::size_t i = 0; i < lengths.size(); ++i) {
            model_node* bone = b.add(names[i], node_bone, parent);
            bone->local_position = {previous, 0.0f, 0.0f, 0.0f};
            bone->chain_kind = 2;
            bone->chain_length = reach;
            bone->bend_reference = bend_reference;
            bones.push_back(bone);
            previous = lengths[i];
            parent = 3 + static_cast<int>(i);
        }
        hand = b.add("HAND", node_empty, parent);
        hand->local_position = {previous, 0.0f, 0.0f, 0.0f};
        hand->chain_kind = 2;
        hand->chain_length = reach;
        auto* link = new (pool_node_binding) node_binding;
        link->target_hash = name_hash("TARGET");
        link->owner_state = 1;
        hand->bindings = link;
        hand->binding_count = 1;
        model = b.finish();
        model->position = {10.0f, 2.0f, -4.0f, 1.0f};
        model->angles = {0.1f, 0.7f, -0.4f, 0.0f};
    }
    ~limb() { delete model; }

    // Places the target (in the root's frame) and poses the model twice, so
    // that the chain sees the target's place of this update.
    void reach_for(vec4 local)
    {
        target->local_position = local;
        for (int i = 0; i < 2; ++i) {
            model->flags &= ~model_transforms_valid;
            model->update_transforms(0.0f);
        }
    }
    // The elbow's side of the line from the shoulder to the target, along the
    // aim plane's normal (the arm's z axis).
    float elbow_side() const
    {
        const vec4 s{arm->world.m[3][0], arm->world.m[3][1], arm->world.m[3][2], 0.0f};
        const vec4 e = bones[1]->world_centre;
        const vec4 t = target->world_centre;
        const vec4 u{t.x - s.x, t.y - s.y, t.z - s.z, 0.0f};
        const vec4 v{e.x - s.x, e.y - s.y, e.z - s.z, 0.0f};
        const vec4 c{u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x, 0.0f};
        // The plane's normal: the arm's z row of its world matrix.
        return c.x * arm->world.m[2][0] + c.y * arm->world.m[2][1] + c.z * arm->world.m[2][2];
    }
};

TEST_F(BoneChainTest, ReachesReachableTargetsWithinAMillimetre)
{
    struct shape {
        std::vector<float> lengths;
        vec4 target;
    };
    const shape cases[] = {
        {{1.0f, 1.0f}, {1.8f, 1.2f, -0.8f, 0.0f}},
        {{1.0f, 1.0f}, {0.9f, 1.0f, -0.25f, 0.0f}},       // 0.4 from the shoulder: bent hard
        {{0.35f, 0.3f}, {0.9f, 1.3f, 0.0f, 0.0f}},        // a rider's arm
        {{0.6f, 0.4f}, {0.5f, 0.2f, 0.3f, 0.0f}},         // unequal bones, below the shoulder
        {{0.5f, 0.5f, 0.5f}, {1.2f, 2.0f, 0.3f, 0.0f}},   // three bones
        {{0.5f, 0.4f, 0.3f}, {0.2f, 1.6f, 0.1f, 0.0f}},
    };
    for (const shape& c : cases) {
        limb l(c.lengths);
        l.reach_for(c.target);
        SCOPED_TRACE(testing::Message() << c.lengths.size() << " bones, target " << c.target.x << ","
                                        << c.target.y << "," << c.target.z);
        EXPECT_LT(distance(l.hand->world_centre, l.target->world_centre), 1e-3f);
        // The bones keep their lengths: the solve only turns them.
        for (std::size_t i = 1; i < l.bones.size(); ++i)
            EXPECT_NEAR(distance(l.bones[i]->world_centre, l.bones[i - 1]->world_centre), c.lengths[i - 1], 1e-4f);
        for (model_node* bone : l.bones)
            EXPECT_EQ(bone->solved, 1u);
    }
}

TEST_F(BoneChainTest, EachInstanceBendsItsOwnJoints)
{
    limb l({1.0f, 1.0f});
    l.target->local_position = {1.5f, 1.8f, 0.0f, 0.0f};
    ml_modelinfo* a = l.model->make_instance(nullptr);
    ml_modelinfo* b = l.model->make_instance(nullptr);
    b->find_node(name_hash("TARGET"))->local_position = {0.9f, 1.0f, 0.6f, 0.0f};
    for (ml_modelinfo* inst : {a, b})
        for (int i = 0; i < 2; ++i) {
            inst->flags &= ~model_transforms_valid;
            inst->update_transforms(0.0f);
        }
    for (ml_modelinfo* inst : {a, b}) {
        const model_node* hand = inst->find_node(name_hash("HAND"));
        const model_node* target = inst->find_node(name_hash("TARGET"));
        EXPECT_LT(distance(hand->world_centre, target->world_centre), 1e-3f);
    }
    EXPECT_NE(a->find_node(name_hash("BONE1"))->angles.z, b->find_node(name_hash("BONE1"))->angles.z);
    // The model's own joints were never bent.
    EXPECT_EQ(l.bones[0]->angles.z, 0.0f);
    EXPECT_EQ(l.bones[1]->solved, 0u);
    delete a;
    delete b;
}

TEST_F(BoneChainTest, StaysStraightTowardAnUnreachableTarget)
{
    limb l({1.0f, 1.0f});
    const vec4 far{4.0f, 3.0f, -2.0f, 0.0f};
    l.reach_for(far);
    EXPECT_EQ(l.bones[0]->angles.z, 0.0f);
    EXPECT_EQ(l.bones[1]->angles.z, 0.0f);
    const vec4 s{l.arm->world.m[3][0], l.arm->world.m[3][1], l.arm->world.m[3][2], 0.0f};
    const vec4 t = l.target->world_centre;
    const vec4 h = l.hand->world_centre;
    // The hand lies on the line toward the target, the whole reach away.
    EXPECT_NEAR(distance(s, h), 2.0f, 1e-4f);
    EXPECT_NEAR(distance(s, h) + distance(h, t), distance(s, t), 1e-4f);
}

TEST_F(BoneChainTest, BendsToTheSideOfItsReferenceAndStaysThere)
{
    limb above({1.0f, 1.0f}, 1.0f);
    limb below({1.0f, 1.0f}, -1.0f);
    above.reach_for({1.5f, 1.5f, -0.5f, 0.0f});
    below.reach_for({1.5f, 1.5f, -0.5f, 0.0f});
    const float side = above.elbow_side();
    EXPECT_GT(std::fabs(side), 0.1f);
    EXPECT_LT(side * below.elbow_side(), 0.0f);
    // The target sweeps toward and away from the shoulder: the elbow never
    // changes side, and the same target gives the same pose bit for bit.
    for (int frame = 0; frame < 40; ++frame) {
        const float k = static_cast<float>(frame) / 39.0f;
        above.reach_for({0.9f + 1.0f * k, 1.3f + 0.4f * std::sin(6.0f * k), -0.25f + 0.5f * k, 0.0f});
        EXPECT_GT(above.elbow_side() * side, 0.0f) << "frame " << frame;
        EXPECT_LT(distance(above.hand->world_centre, above.target->world_centre), 1e-3f) << "frame " << frame;
    }
    const float z1 = above.bones[0]->angles.z;
    const float z2 = above.bones[1]->angles.z;
    above.reach_for(above.target->local_position);
    EXPECT_EQ(above.bones[0]->angles.z, z1);
    EXPECT_EQ(above.bones[1]->angles.z, z2);
}

TEST_F(BoneChainTest, GuardsKeepEveryResultFinite)
{
    {
        // A target at the chain's start.
        limb l({1.0f, 1.0f});
        l.reach_for(l.arm->local_position);
        for (model_node* n = l.model->first_node; n; n = n->next)
            for (int r = 0; r < 4; ++r)
                for (int c = 0; c < 4; ++c)
                    EXPECT_TRUE(std::isfinite(n->world.m[r][c])) << n->index;
    }
    {
        // Zero chain lengths: no joint's share divides by zero.
        limb l({1.0f, 1.0f});
        for (model_node* b : l.bones)
            b->chain_length = 0.0f;
        l.hand->chain_length = 0.0f;
        l.reach_for({1.0f, 1.5f, 0.0f, 0.0f});
        for (model_node* b : l.bones)
            EXPECT_TRUE(std::isfinite(b->angles.z));
        EXPECT_TRUE(std::isfinite(l.hand->world_centre.x));
    }
    // Zero denominators. The bone from (1, 1) beside the target can end 1
    // from it turned by -pi/2 or by a half turn (an infinite quotient); the
    // one farther from the reference is taken.
    const float pi = std::acos(-1.0f);
    EXPECT_NEAR(chain_joint_angle(1.0f, 1.0f, 1.0f, 1.0f, 0.0f, 0.0f), -pi, 1e-6f);
    EXPECT_NEAR(chain_joint_angle(1.0f, 1.0f, 1.0f, 1.0f, 0.0f, -3.0f), -pi / 2.0f, 1e-6f);
    // From (2, 0) only the half turn ends 1 from the target (0 / 0).
    EXPECT_NEAR(chain_joint_angle(2.0f, 0.0f, 1.0f, 1.0f, 0.0f, 0.0f), -pi, 1e-6f);
    EXPECT_TRUE(std::isfinite(chain_joint_angle(0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f)));
}

TEST_F(BoneChainTest, ChainsThatDoNotTakePartAreLeftAlone)
{
    {
        // Chain kind 3 on the start: identity, joints untouched.
        limb l({1.0f, 1.0f}, 1.0f, 3);
        l.bones[0]->angles.z = 0.25f;
        l.reach_for({1.0f, 1.5f, 0.0f, 0.0f});
        EXPECT_EQ(l.bones[0]->angles.z, 0.25f);
        EXPECT_EQ(l.bones[1]->solved, 0u);
        const mat4 m = chain_orientation(l.arm, {5.0f, 5.0f, 5.0f, 1.0f});
        EXPECT_EQ(m.m[0][0], 1.0f);
        EXPECT_EQ(m.m[0][1], 0.0f);
    }
    {
        // A joint of chain kind 1 ends the bending with its angles at 0.
        limb l({1.0f, 1.0f});
        l.bones[1]->chain_kind = 1;
        l.bones[0]->angles.z = 0.5f;
        l.bones[1]->angles.z = 0.5f;
        l.reach_for({1.0f, 1.5f, 0.0f, 0.0f});
        EXPECT_EQ(l.bones[0]->angles.z, 0.0f);
        EXPECT_EQ(l.bones[1]->angles.z, 0.0f);
        EXPECT_EQ(l.bones[1]->solved, 1u);
    }
    {
        // A chain without its second joint is not solved.
        model_builder b("STUB");
        model_node* start = b.add("START", node_empty, -1);
        model_node* bone = b.add("BONE", node_bone, 0);
        bone->angles.z = 0.75f;
        ml_modelinfo* model = b.finish();
        EXPECT_EQ(chain_end(start), nullptr);
        const mat4 m = chain_orientation(start, {1.0f, 2.0f, 3.0f, 1.0f});
        EXPECT_EQ(m.m[1][1], 1.0f);
        EXPECT_EQ(bone->solved, 0u);
        EXPECT_EQ(bone->angles.z, 0.75f);
        delete model;
    }
}

} // namespace
} // namespace model_test
