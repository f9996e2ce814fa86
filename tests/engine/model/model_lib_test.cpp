#include <cmath>

#include <gtest/gtest.h>

#include "engine/base/name_hash.h"
#include "engine/model/anim_channels.h"
#include "engine/model/fcurve.h"
#include "engine/model/model_lib.h"
#include "mdl_fixture.h"
#include "model_fixture.h"
#include "platform/message_box.h"
#include "tests/support/temp_dir.h"
#include "tools/datakit/mix_writer.h"

namespace model_test {
namespace {

class ModelLibTest : public ModelTest {
protected:
    std::string write(const std::vector<mdl_model>& models, const char* hint = "mdl")
    {
        folder_ = torvane_test::make_temp_dir(hint);
        const auto path = folder_ / "Gfx" / "Bikes.mdl";
        std::filesystem::create_directories(path.parent_path());
        std::string error;
        EXPECT_TRUE(datakit::write_mdl(path, models, error)) << error;
        return path.string();
    }
    std::filesystem::path folder_;
};

TEST_F(ModelLibTest, LoadsModelsByNameInAnyCaseAndMakesInstances)
{
    const std::string path = write({rich_model("RIDER"), rich_model("BIKE")});
    model_lib lib("bikes");
    EXPECT_EQ(lib.name, "BIKES");
    ASSERT_EQ(lib.try_open(path.c_str()), mdl_status::ok);
    EXPECT_FALSE(lib.from_archive);
    EXPECT_EQ(lib.load_model("rider", 0), 1);
    EXPECT_EQ(lib.load_model("NOBODY", 0), 0);
    EXPECT_EQ(lib.model_count, 1);
    ml_modelinfo* model = lib.find_model(name_hash("RIDER"));
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(model->node_count, 8);
    EXPECT_EQ(model->level_count, 2);
    EXPECT_EQ(model->id, -1);
    EXPECT_EQ(model->flags & 0xFFF, model_active | model_built);
    EXPECT_EQ(model->root_radius, 2.5f);
    EXPECT_EQ(model->first_node->radius, 2.5f);
    // Level 0 holds full-kind nodes; the level above 0 its own kind, each
    // linked to the level-0 node of its name.
    model_node* skin = model->find_node(name_hash("SKIN"));
    ASSERT_NE(skin, nullptr);
    EXPECT_TRUE(skin->is_full());
    EXPECT_EQ(skin->radius, 0.0f);   // mesh nodes lose their radius
    EXPECT_TRUE(skin->flags & node_special_6);
    EXPECT_EQ(skin->mesh->vertex_count, 8u);
    EXPECT_NE(skin->hit_mesh, nullptr);
    EXPECT_EQ(skin->material_names, std::vector<std::string>{"LEATHER"});
    ASSERT_NE(skin->namesake(1), nullptr);
    EXPECT_EQ(skin->namesake(1)->level0, skin);
    EXPECT_EQ(skin->namesake(1)->kind(), node_kind_level);
    EXPECT_EQ(model->first_node->bindings->bound, model->find_node(name_hash("BONE2")));
    EXPECT_TRUE(model->find_node(name_hash("CAPE"))->mesh->has_cloth);
    const model_node* flag = model->find_node(name_hash("FLAG"));
    EXPECT_EQ(flag->patch->size(), 16u);
    EXPECT_EQ(flag->grid.count_u, 4u);
    EXPECT_EQ(flag->grid.count_v, 4u);
    EXPECT_EQ(flag->grid.basis_u, 2u);
    EXPECT_EQ(flag->grid.tension_v, 0.5f);
    EXPECT_EQ(model->find_node(name_hash("BONE2"))->bone->chain_start, model->find_node(name_hash("CHAIN")));

    EXPECT_EQ(lib.create_instance("NOBODY", nullptr, 0), nullptr);
    EXPECT_EQ(lib.instances, nullptr);
    ml_modelinfo* inst = lib.create_instance_flag0("Rider", nullptr);
    ASSERT_NE(inst, nullptr);
    EXPECT_EQ(lib.instances, inst);
    EXPECT_EQ(inst->owner_state, 2u);
    EXPECT_EQ(inst->find_node(name_hash("SKIN"))->mesh, skin->mesh);   // shared geometry
    EXPECT_TRUE(inst->find_node(name_hash("SKIN"))->flags & node_copied);
}

TEST_F(ModelLibTest, ALibraryMissingOnDiskIsReadFromItsFoldersArchive)
{
    const std::string path = write({rich_model("RIDER")}, "mix");
    std::vector<std::uint8_t> bytes = datakit::mdl_bytes({rich_model("RIDER")});
    datakit::MixWriter mix;
    ASSERT_TRUE(mix.add("Bikes.mdl", bytes, datakit::MixStorage::Smaller, false));
    std::string error;
    ASSERT_TRUE(mix.write(folder_ / "Gfx.mix", error)) << error;
    std::filesystem::remove(path);
    model_lib lib("bikes");
    ASSERT_EQ(lib.try_open(path.c_str()), mdl_status::ok);
    EXPECT_TRUE(lib.from_archive);
    EXPECT_EQ(lib.load_model("RIDER", 0), 1);
    EXPECT_EQ(lib.find_model(name_hash("RIDER"))->node_count, 8);

    model_lib missing("none");
    EXPECT_EQ(missing.try_open((folder_ / "Gfx" / "Other.mdl").string().c_str()), mdl_status::open_failed);
}

TEST_F(ModelLibTest, AnEmptyLibraryOpensAndLoadsNothing)
{
    const std::string path = write({});
    model_lib lib("empty");
    ASSERT_EQ(lib.try_open(path.c_str()), mdl_status::ok);
    EXPECT_EQ(lib.try_load_all(0), mdl_status::ok);
    EXPECT_EQ(lib.model_count, 0);
}

TEST_F(ModelLibTest, SingleMeshModelsTakeTheCompactKinds)
{
    mdl_model box;
    box.name = "CONE";
    mdl_level l;
    l.name = "CONE";
    l.objects = {datakit::mdl_box_object("CONE", {1, 1, 1, 0}, "RED")};
    l.objects[0].parent = -1;
    box.levels = {l};
    const std::string path = write({box});
    struct {
        int flag;
        std::uint32_t kind;
    } cases[] = {{0, node_kind_compact_a}, {2, node_kind_compact_b}, {1, node_kind_full}};
    for (const auto& c : cases) {
        model_lib lib("cones");
        ASSERT_EQ(lib.try_open(path.c_str()), mdl_status::ok);
        ASSERT_EQ(lib.load_model("CONE", c.flag), 1);
        ml_modelinfo* m = lib.find_model(name_hash("CONE"));
        EXPECT_EQ(m->first_node->kind(), c.kind) << c.flag;
        // A compact instance is placed by the compact pass.
        ml_modelinfo* inst = lib.create_instance("CONE", nullptr, 0);
        inst->set_position(3.0f, 4.0f, 5.0f, 1.0f);
        EXPECT_EQ(inst->first_node->world.m[3][0], 3.0f);
        EXPECT_EQ(inst->first_node->world.m[3][2], 5.0f);
    }
}

TEST_F(ModelLibTest, DestroyingEveryInstanceAndLibraryRestoresTheLiveCounters)
{
    const int records = model_record::live, full = model_node::live_full, level = model_node::live_level,
              bones = bone_object::live, groups = skin_group::live, refs = skin_ref::live,
              bindings = node_binding::live, muscles = muscle_record::live, shapes = shape_anim::live,
              curves = fcurve::live, keys = fcurve_key::live;
    const std::string path = write({rich_model("RIDER")});
    {
        model_lib lib("bikes");
        ASSERT_EQ(lib.try_open(path.c_str()), mdl_status::ok);
        ASSERT_EQ(lib.load_model("RIDER", 0), 1);
        ml_modelinfo* a = lib.create_instance("RIDER", nullptr, 0);
        ml_modelinfo* b = lib.create_instance("RIDER", nullptr, 0);
        lib.create_instance("RIDER", nullptr, 0);
        EXPECT_GT(model_node::live_full, full);
        lib.destroy_instance(b);
        EXPECT_EQ(lib.instances->next, a);
        EXPECT_EQ(a->prev, lib.instances);
    }
    EXPECT_EQ(model_record::live, records);
    EXPECT_EQ(model_node::live_full, full);
    EXPECT_EQ(model_node::live_level, level);
    EXPECT_EQ(bone_object::live, bones);
    EXPECT_EQ(skin_group::live, groups);
    EXPECT_EQ(skin_ref::live, refs);
    EXPECT_EQ(node_binding::live, bindings);
    EXPECT_EQ(muscle_record::live, muscles);
    EXPECT_EQ(shape_anim::live, shapes);
    EXPECT_EQ(fcurve::live, curves);
    EXPECT_EQ(fcurve_key::live, keys);
}

TEST_F(ModelLibTest, MusclesFindTheirJointsAndFollowTheBend)
{
    const std::string path = write({rich_model("RIDER")});
    model_lib lib("bikes");
    ASSERT_EQ(lib.try_open(path.c_str()), mdl_status::ok);
    ASSERT_EQ(lib.try_load_model("RIDER", 0), mdl_status::ok);
    ml_modelinfo* model = lib.find_model(name_hash("RIDER"));
    const model_node* skin = model->find_node(name_hash("SKIN"));
    ASSERT_EQ(skin->muscle_count, 1);
    const muscle_record& m = skin->muscles[0];
    // The joint node BONE1 and the first children below it.
    EXPECT_EQ(m.joints[0], model->find_node(name_hash("BONE1")));
    EXPECT_EQ(m.joints[1], model->find_node(name_hash("BONE2")));
    EXPECT_EQ(m.joints[2], model->find_node(name_hash("HAND")));
    // Vertex numbers 0 and 7 become byte offsets into the mesh's vertices.
    ASSERT_EQ(m.shape.vertex_count, 2u);
    EXPECT_EQ(m.shape.offsets[1], 7 * 48);
    EXPECT_EQ(m.shape.key_count, 2u);
    EXPECT_EQ(m.shape.key_position(1, 1).y, 0.1f);
    ASSERT_NE(m.shape.curve, nullptr);
    EXPECT_EQ(m.shape.curve->key_count, 2);

    // An instance's muscle shares the model's shape and finds its own joints.
    ml_modelinfo* inst = lib.create_instance("RIDER", nullptr, 0);
    model_node* iskin = inst->find_node(name_hash("SKIN"));
    muscle_record& im = iskin->muscles[0];
    EXPECT_EQ(im.shape.positions, m.shape.positions);
    EXPECT_EQ(im.shape.curve, m.shape.curve);
    EXPECT_EQ(im.joints[1], inst->find_node(name_hash("BONE2")));

    // Straight, the joint gives (almost) no weight; bent a quarter turn at
    // BONE2, half (the angle between the chord BONE1-HAND and the bone).
    inst->update_transforms(0.0f);
    EXPECT_LT(im.weight(), 0.05f);
    std::vector<std::uint8_t> straight(iskin->mesh->vertices);
    im.apply(straight.data(), straight.size());
    inst->find_node(name_hash("BONE2"))->angles.z = std::acos(-1.0f) / 2.0f;
    inst->flags &= ~model_transforms_valid;
    inst->update_transforms(0.0f);
    EXPECT_NEAR(im.weight(), 0.5f, 0.01f);
    std::vector<std::uint8_t> bent(iskin->mesh->vertices);
    im.apply(bent.data(), bent.size());
    // Vertex 7 moves from key 0 toward key 1, (0.1, 0, 0) to (0, 0.1, 0).
    float straight_y, bent_y;
    std::memcpy(&straight_y, straight.data() + 7 * 48 + 4, 4);
    std::memcpy(&bent_y, bent.data() + 7 * 48 + 4, 4);
    EXPECT_GT(bent_y, straight_y);
}

TEST_F(ModelLibTest, LoadedSkinMovesVerticesAsComputedByHand)
{
    const std::string path = write({rich_model("RIDER")});
    model_lib lib("bikes");
    ASSERT_EQ(lib.try_open(path.c_str()), mdl_status::ok);
    ASSERT_EQ(lib.load_model("RIDER", 0), 1);
    ml_modelinfo* inst = lib.create_instance("RIDER", nullptr, 0);
    model_node* bone2 = inst->find_node(name_hash("BONE2"));
    auto* an = new (pool_anim_node) anim_node;
    an->rotation = new (pool_anim_rotation) anim_rotation;
    an->rotation->flags = rotation_by_angles;
    an->rotation->y = constant_curve(0.0f);
    an->rotation->z = make_curve({{0.0f, 0.0f}, {1.0f, 90.0f}});
    bone2->anim = an;
    inst->position = {50.0f, 0.0f, -8.0f, 1.0f};
    inst->update_transforms(1.0f);
    // (2, 0, 0) is one unit past bone 2's pivot at (1, 0, 0): a quarter turn
    // about z takes it to (1, 1, 0).
    vec4 p{2.0f, 0.0f, 0.0f, 1.0f}, out{};
    mat_transform_point(&bone2->bone->skinning, &p, &out);
    EXPECT_NEAR(out.x, 1.0f, 1e-5f);
    EXPECT_NEAR(out.y, 1.0f, 1e-5f);
    EXPECT_NEAR(out.z, 0.0f, 1e-5f);
    bone2->anim = nullptr;
    delete an;
}

TEST_F(ModelLibTest, FatalReportsCarryTheLibrarysTexts)
{
    mdl_model many;
    many.name = "MANY";
    mdl_level l;
    l.name = "MANY";
    for (std::uint32_t i = 0; i < 201; ++i)
        l.objects.push_back(mdl_empty_object("O", i, i == 0 ? -1 : 0, -1, -1));
    many.levels = {l};
    mdl_model bad = rich_model("BAD");
    bad.levels[0].objects[2].parent = -1;
    // A muscle whose joint (CHAIN, an empty node under no bone) gives no
    // three nodes.
    mdl_model limp = rich_model("LIMP");
    limp.levels[0].objects[1].muscles[0].record[mdl::muscle_word_joint] = name_hash("CHAIN");
    const std::string path = write({many, bad, limp});
    {
        model_lib lib("x");
        ASSERT_EQ(lib.try_open(path.c_str()), mdl_status::ok);
        EXPECT_EQ(lib.try_load_model("LIMP", 0), mdl_status::muscle_joints);
        EXPECT_EQ(lib.model_count, 0);
    }
    EXPECT_EXIT(
        {
            model_lib lib("x");
            lib.open_lib_file(path.c_str());
            lib.load_model("LIMP", 0);
        },
        ::testing::ExitedWithCode(1), "Angolo non trovato!");
    EXPECT_EXIT(
        {
            model_lib lib("x");
            lib.open_lib_file(path.c_str());
            lib.load_model("MANY", 0);
        },
        ::testing::ExitedWithCode(1), "MODEL_LIB:: Number of objects too big!: 201");
    EXPECT_EXIT(
        {
            model_lib lib("x");
            lib.open_lib_file(path.c_str());
            lib.load_model("BAD", 0);
        },
        ::testing::ExitedWithCode(1), "Error in file structure!");
    EXPECT_EXIT(
        {
            model_lib lib("x");
            lib.open_lib_file((path + ".gone").c_str());
        },
        ::testing::ExitedWithCode(1), "File open error!: ");
}

} // namespace
} // namespace model_test

namespace model_test {
namespace {

TEST_F(ModelLibTest, TheDemoModelsLoadAndPose)
{
    const auto root = torvane_test::make_temp_dir("demo");
    std::string error;
    ASSERT_TRUE(datakit::write_demo_model_libraries(root, error)) << error;
    model_lib lib("bikes");
    ASSERT_EQ(lib.try_open((root / "Gfx" / "Bikes" / "Bikes.mdl").string().c_str()), mdl_status::ok);
    ASSERT_EQ(lib.try_load_all(0), mdl_status::ok);
    EXPECT_EQ(lib.model_count, 2);
    for (const char* name : {"BIKE", "RIDER"}) {
        ml_modelinfo* inst = lib.create_instance(name, nullptr, 0);
        ASSERT_NE(inst, nullptr) << name;
        inst->set_position(1.0f, 0.0f, 2.0f, 1.0f);
        for (model_node* n = inst->first_node; n; n = n->next)
            if (n->is_full()) {
                EXPECT_TRUE(std::isfinite(n->world.m[3][0])) << name;
            }
    }
    EXPECT_EQ(lib.find_model(name_hash("RIDER"))->level_count, 2);
}

} // namespace
} // namespace model_test
