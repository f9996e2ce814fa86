#include <gtest/gtest.h>

#include "engine/model/anim_channels.h"
#include "engine/model/anim_lib.h"
#include "engine/model/model_lib.h"
#include "anm_fixture.h"
#include "model_builder.h"
#include "model_fixture.h"
#include "tests/support/temp_dir.h"
#include "tools/datakit/anm_writer.h"

namespace model_test {
namespace {

// An animation that holds ARM at the angles (degrees) and position given.
anm_animation pose(const char* name, float ax, float ay, float az, float px)
{
    anm_animation a;
    a.name = name;
    anm_object arm;
    arm.name = "ARM";
    arm.curves = {linear_curve("RX", 4, {{0, ax}, {1, ax}}), linear_curve("RY", 5, {{0, ay}, {1, ay}}),
                  linear_curve("RZ", 6, {{0, az}, {1, az}}), linear_curve("TX", 139, {{0, px}, {1, px}}),
                  linear_curve("TY", 140, {{0, 0}, {1, 0}}), linear_curve("TZ", 141, {{0, 0}, {1, 0}})};
    a.objects.push_back(arm);
    return a;
}

ml_modelinfo* arm_model()
{
    model_builder b("ROBOT");
    b.add("BASE", node_empty, -1);
    b.add("ARM", node_empty, 0)->local_position = {1.0f, 0.0f, 0.0f, 0.0f};
    b.add("HAND", node_empty, 1)->local_position = {0.5f, 0.0f, 0.0f, 0.0f};
    return b.finish();
}

mat4 arm_world(ml_modelinfo* m, float t)
{
    m->flags &= ~model_transforms_valid;
    m->update_transforms(t);
    return m->find_node(name_hash("HAND"))->world;
}

void expect_same(const mat4& a, const mat4& b)
{
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(a.m[i / 4][i % 4], b.m[i / 4][i % 4], 1e-5f) << i;
}

class ModelAnimTest : public ModelTest {};

TEST_F(ModelAnimTest, ATransitionRunsFromPoseAToPoseBAndLeavesOtherInstancesAlone)
{
    const auto path = torvane_test::make_temp_dir("links") / "ARM.ANM";
    std::string error;
    ASSERT_TRUE(datakit::write_anm(path, {pose("WAVE", 10, 20, 30, 2), pose("REST", -40, 0, 90, 1)}, error));
    const int nodes_before = anim_node::live, links_before = anim_link::live;
    {
        anim_lib lib("arm");
        ASSERT_EQ(lib.try_open(path.string().c_str()), anm_status::ok);
        ASSERT_EQ(lib.try_load_all(), anm_status::ok);
        const std::uint32_t wave = name_hash("WAVE"), rest = name_hash("REST"), blend = 0x1234;
        const anim_node* library_wave = lib.find(wave)->first_node;
        const anim_node* wave_next = library_wave->next;
        const anim_node* wave_prev = library_wave->prev;

        ml_modelinfo* model = arm_model();
        ml_modelinfo* one = model->make_instance(nullptr);
        ml_modelinfo* two = model->make_instance(nullptr);
        for (ml_modelinfo* m : {one, two}) {
            EXPECT_EQ(m->lnk_anim(&lib, wave, 0, 0), 1);
            EXPECT_EQ(m->lnk_anim(&lib, rest, 0, 0), 1);
            EXPECT_EQ(m->lnk_anim(&lib, rest, 0, 0), 0);   // linked once
            EXPECT_EQ(m->lnk_anim(&lib, name_hash("NONE"), 0, 0), 0);
        }
        two->set_curanim(wave);
        const mat4 a = arm_world(two, 0.0f);
        two->set_curanim(rest);
        const mat4 b = arm_world(two, 0.0f);
        two->set_curanim(wave);

        one->make_anim_trans(wave, 0.0f, rest, 0.0f, blend, 0);
        ASSERT_NE(one->trans_link, nullptr);
        EXPECT_EQ(one->anims, one->trans_link);
        one->set_curanim(blend);
        expect_same(arm_world(one, 0.0f), a);
        expect_same(arm_world(one, 1.0f), b);
        // The same pair again refreshes; no second transition link.
        anim_link* link = one->trans_link;
        one->make_anim_trans(wave, 0.5f, rest, 0.5f, blend, 0);
        EXPECT_EQ(one->trans_link, link);

        // The other instance and the library's shared channels are untouched.
        EXPECT_EQ(two->find_node(name_hash("ARM"))->channels.size(), 2u);
        expect_same(arm_world(two, 0.0f), a);
        EXPECT_EQ(library_wave->next, wave_next);
        EXPECT_EQ(library_wave->prev, wave_prev);

        // Removing the transition takes its link and channels together.
        one->remove_anim(one->trans_link);
        EXPECT_EQ(one->trans_link, nullptr);
        EXPECT_EQ(one->find_node(name_hash("ARM"))->channels.size(), 2u);
        EXPECT_EQ(one->find_node(name_hash("ARM"))->anim, nullptr);
        one->set_curanim(0);
        EXPECT_EQ(one->find_node(name_hash("ARM"))->anim, nullptr);
        delete one;
        delete two;
        delete model;
    }
    EXPECT_EQ(anim_node::live, nodes_before);
    EXPECT_EQ(anim_link::live, links_before);
}

TEST_F(ModelAnimTest, LibrariesLinkTheAnimationOfEachModelsOwnName)
{
    const auto path = torvane_test::make_temp_dir("own") / "ARM.ANM";
    std::string error;
    ASSERT_TRUE(datakit::write_anm(path, {pose("ROBOT", 10, 20, 30, 2), pose("OTHER", 0, 0, 0, 0)}, error));
    anim_lib empty("empty");
    anim_lib lib("arm");
    ASSERT_EQ(lib.try_open(path.string().c_str()), anm_status::ok);
    ASSERT_EQ(lib.try_load_all(), anm_status::ok);
    empty.next = &lib;
    model_lib models("robots");
    ml_modelinfo* robot = arm_model();
    robot->next = models.models;
    models.models = robot;
    models.link_anims(&empty);
    ASSERT_NE(robot->anims, nullptr);
    EXPECT_EQ(robot->anims->name_hash, name_hash("ROBOT"));
    EXPECT_EQ(robot->anims->next, nullptr);
}

TEST_F(ModelAnimTest, MisuseEndsTheProgramWithItsBox)
{
    ml_modelinfo* model = arm_model();
    anim_lib empty("none");
    EXPECT_EXIT(model->lnk_anim(&empty, 1, 0, 0), ::testing::ExitedWithCode(1), "library is empty!");
    EXPECT_EXIT(model->make_anim_trans(1, 0, 2, 0, 3, 0), ::testing::ExitedWithCode(1), "anim list is empty!");
    delete model;
}

} // namespace
} // namespace model_test
