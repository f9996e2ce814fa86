#include <cstring>
#include <initializer_list>
#include <vector>

#include <gtest/gtest.h>

#include "engine/model/anim_channels.h"
#include "engine/model/anim_lib.h"
#include "engine/model/fcurve.h"
#include "engine/model/lattice_anim.h"
#include "engine/model/shape_anim.h"
#include "engine/model/model_lib.h"
#include "anm_fixture.h"
#include "model_builder.h"
#include "model_fixture.h"
#include "tests/support/fp_traps.h"
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

// A model of the nodes given: name, type, parent index, local position.
struct node_spec {
    const char* name;
    std::int32_t type;
    int parent;
    vec4 local{};
};

ml_modelinfo* model_of(const char* name, std::initializer_list<node_spec> nodes)
{
    model_builder b(name);
    for (const node_spec& n : nodes)
        b.add(n.name, n.type, n.parent)->local_position = n.local;
    return b.finish();
}

ml_modelinfo* arm_model()
{
    return model_of("ROBOT", {{"BASE", node_empty, -1}, {"ARM", node_empty, 0, {1.0f, 0.0f, 0.0f, 0.0f}},
                              {"HAND", node_empty, 1, {0.5f, 0.0f, 0.0f, 0.0f}}});
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

// Two animations of a body whose skin (a mesh) is bent by a lattice and
// shaped by shape animations. `base` sets them apart: the body's angles,
// position and scale, the lattice's lift, and the shapes' key positions.
anm_animation deforming(const char* name, float base, bool with_tail)
{
    anm_animation a;
    a.name = name;
    anm_object body;
    body.name = "BODY";
    const std::uint32_t params[] = {1, 2, 3, 4, 5, 6, 139, 140, 141};
    for (std::uint32_t p : params) {
        const float v = p <= 3 ? 1.0f + 0.1f * base : base * float(p % 7);
        body.curves.push_back(linear_curve("B", p, {{0, v}, {1, 2 * v + 3}}));
    }
    a.objects.push_back(body);

    anm_object skin;
    skin.name = "SKIN";
    skin.curves.push_back(linear_curve("BEND", 66, {{0, 0}, {1, 1.5f}}));
    skin.has_lattice_curve = true;
    skin.lattice.push_back(lattice_shape_data("L0", 2, base));
    skin.lattice.push_back(lattice_shape_data("L1", 2, base + 1));
    // The shapes move vertices 0 and 2 (A) or 1 (B) of the skin's four.
    anm_shape shape;
    shape.name = with_tail ? "SMILE" : "FROWN";
    shape.key_count = 3;
    shape.offsets = with_tail ? std::vector<std::uint16_t>{0, 96} : std::vector<std::uint16_t>{48};
    shape.vertex_count = static_cast<std::uint32_t>(shape.offsets.size());
    for (std::uint32_t k = 0; k < shape.key_count; ++k)
        for (std::uint32_t i = 0; i < shape.vertex_count; ++i)
            shape.positions.push_back({base + float(k), float(i) - base, 0.5f * float(k), 1});
    skin.curves.push_back(linear_curve(shape.name.c_str(), 8, {{0, 0}, {1, 2}}));
    skin.shapes.push_back(shape);
    a.objects.push_back(skin);

    if (with_tail) {
        anm_object tail;
        tail.name = "TAIL";
        tail.curves.push_back(linear_curve("T", 4, {{0, 0}, {1, 90}}));
        a.objects.push_back(tail);
    }
    return a;
}

// ROOT, BODY below it, SKIN (a mesh of four vertices) and TAIL below BODY,
// FUR below SKIN.
ml_modelinfo* skin_model()
{
    ml_modelinfo* model = model_of("CREATURE", {{"ROOT", node_empty, -1},
                                                {"BODY", node_empty, 0, {0.0f, 1.0f, 0.0f, 0.0f}},
                                                {"SKIN", node_mesh, 1, {0.5f, 0.0f, 0.0f, 0.0f}},
                                                {"TAIL", node_empty, 1},
                                                {"FUR", node_empty, 2}});
    model_node* skin = model->find_node(name_hash("SKIN"));
    skin->mesh = new model_part;
    skin->mesh->vertex_count = 4;
    skin->mesh->vertices.assign(4 * model_part::vertex_bytes, 0);
    for (std::uint32_t i = 0; i < 4; ++i) {
        const float xyzw[4] = {10.0f + i, 20.0f - i, 30.0f + 2 * i, 1.0f};
        std::memcpy(skin->mesh->vertices.data() + i * model_part::vertex_bytes, xyzw, sizeof xyzw);
    }
    return model;
}

// What an instance shows at one time: every node's world matrix, the
// skin's lattice as evaluated by the update, and its vertices with the
// current channel's shape animations applied.
struct pose_snapshot {
    std::vector<mat4> worlds;
    std::vector<vec4> lattice;
    std::vector<float> vertices;
};

pose_snapshot snapshot(ml_modelinfo* m, float t)
{
    m->flags &= ~model_transforms_valid;
    m->update_transforms(t);
    pose_snapshot out;
    // TAIL, animated by one animation only, gets no transition: it is left
    // out of the comparison.
    for (model_node* n = m->first_node; n; n = n->next)
        if (n->hash != name_hash("TAIL"))
            out.worlds.push_back(n->world);
    model_node* skin = m->find_node(name_hash("SKIN"));
    if (const anim_node* c = skin->anim) {
        if (c->lattice && c->lattice->working)
            out.lattice.assign(c->lattice->working->points,
                               c->lattice->working->points + c->lattice->working->point_count());
        std::vector<std::uint8_t> bytes = skin->mesh->vertices;
        for (const shape_anim* s = c->shapes; s; s = s->next)
            s->apply(bytes.data(), bytes.size(), t);
        out.vertices.resize(bytes.size() / sizeof(float));
        std::memcpy(out.vertices.data(), bytes.data(), bytes.size());
    }
    return out;
}

void expect_same(const pose_snapshot& got, const pose_snapshot& want, const char* what)
{
    ASSERT_EQ(got.worlds.size(), want.worlds.size()) << what;
    for (std::size_t n = 0; n < got.worlds.size(); ++n)
        for (int i = 0; i < 16; ++i)
            EXPECT_NEAR(got.worlds[n].m[i / 4][i % 4], want.worlds[n].m[i / 4][i % 4], 1e-4f)
                << what << ": node " << n << " element " << i;
    ASSERT_EQ(got.lattice.size(), want.lattice.size()) << what;
    for (std::size_t i = 0; i < got.lattice.size(); ++i) {
        EXPECT_NEAR(got.lattice[i].x, want.lattice[i].x, 1e-4f) << what << ": lattice point " << i;
        EXPECT_NEAR(got.lattice[i].y, want.lattice[i].y, 1e-4f) << what << ": lattice point " << i;
        EXPECT_NEAR(got.lattice[i].z, want.lattice[i].z, 1e-4f) << what << ": lattice point " << i;
    }
    ASSERT_EQ(got.vertices.size(), want.vertices.size()) << what;
    for (std::size_t i = 0; i < got.vertices.size(); ++i)
        EXPECT_NEAR(got.vertices[i], want.vertices[i], 1e-4f) << what << ": vertex word " << i;
}

// The live counts of every record a transition makes.
std::vector<int> record_counts()
{
    return {anim_link::live,     anim_node::live,     anim_position::live, anim_rotation::live, anim_scaling::live,
            fcurve::live,        fcurve_key::live,    lattice_anim::live,  lattice_shape::live, shape_anim::live};
}

// A transition refreshed to new times starts from the from animation's pose
// at its new time also in a channel that only one of the two animations has.
TEST_F(ModelAnimTest, ARefreshedTransitionStartsFromTheNewPoseOfAOneSidedChannel)
{
    anm_animation move;
    move.name = "MOVE";
    anm_object arm;
    arm.name = "ARM";
    arm.curves = {linear_curve("RX", 4, {{0, 0}, {1, 40}}), linear_curve("TX", 139, {{0, 0}, {1, 4}}),
                  linear_curve("TY", 140, {{0, 0}, {1, 0}}), linear_curve("TZ", 141, {{0, 0}, {1, 0}})};
    move.objects.push_back(arm);
    anm_animation turn;   // rotation only: its position is the rest pose's
    turn.name = "TURN";
    anm_object turning;
    turning.name = "ARM";
    turning.curves = {linear_curve("RZ", 6, {{0, 90}, {1, 90}})};
    turn.objects.push_back(turning);
    const auto path = torvane_test::make_temp_dir("refresh") / "ARM.ANM";
    std::string error;
    ASSERT_TRUE(datakit::write_anm(path, {move, turn}, error)) << error;
    anim_lib lib("arm");
    ASSERT_EQ(lib.try_open(path.string().c_str()), anm_status::ok);
    ASSERT_EQ(lib.try_load_all(), anm_status::ok);
    const std::uint32_t from = name_hash("MOVE"), to = name_hash("TURN"), blend = 0x4321;
    ml_modelinfo* model = arm_model();
    ml_modelinfo* one = model->make_instance(nullptr);
    ml_modelinfo* two = model->make_instance(nullptr);
    for (ml_modelinfo* m : {one, two}) {
        ASSERT_EQ(m->lnk_anim(&lib, from, 0, 0), 1);
        ASSERT_EQ(m->lnk_anim(&lib, to, 0, 0), 1);
    }
    one->make_anim_trans(from, 0.0f, to, 0.0f, blend, 0);
    one->make_anim_trans(from, 0.5f, to, 0.0f, blend, 0);   // the same pair: refreshed
    one->set_curanim(blend);
    two->set_curanim(from);
    expect_same(arm_world(one, 0.0f), arm_world(two, 0.5f));
    delete one;
    delete two;
    delete model;
}

TEST_F(ModelAnimTest, TransitionWithLatticeAndShapesJoinsBothAnimations)
{
    torvane_test::FpTraps traps;
    const auto path = torvane_test::make_temp_dir("deform") / "SKIN.ANM";
    std::string error;
    ASSERT_TRUE(datakit::write_anm(path, {deforming("CURL", 1.0f, true), deforming("STRETCH", 3.0f, false)}, error));
    anim_lib lib("skin");
    ASSERT_EQ(lib.try_open(path.string().c_str()), anm_status::ok);
    ASSERT_EQ(lib.try_load_all(), anm_status::ok);
    const std::uint32_t curl = name_hash("CURL"), stretch = name_hash("STRETCH"), blend = 0x51, again = 0x52;

    // The library's channels as loaded: their links and first records.
    auto library_words = [&] {
        std::vector<std::vector<const void*>> words;
        for (anim_link* l = lib.first_link; l; l = l->next)
            for (anim_node* c = l->first_node; c; c = c->next)
                words.push_back({c->next, c->prev, c->next_anim, c->prev_anim, c->lattice, c->shapes,
                                 c->shapes ? c->shapes->next : nullptr});
        return words;
    };
    const std::vector<std::vector<const void*>> loaded = library_words();

    ml_modelinfo* model = skin_model();
    ml_modelinfo* one = model->make_instance(nullptr);
    ml_modelinfo* two = model->make_instance(nullptr);
    for (ml_modelinfo* m : {one, two}) {
        ASSERT_EQ(m->lnk_anim(&lib, curl, 0, 0), 1);
        ASSERT_EQ(m->lnk_anim(&lib, stretch, 0, 0), 1);
    }
    // Instance two shows each animation alone: the references.
    auto reference = [&](std::uint32_t anim, float t) {
        two->set_curanim(anim);
        return snapshot(two, t);
    };

    const std::vector<int> before = record_counts();
    one->make_anim_trans(curl, 0.3f, stretch, 0.6f, blend, 0);
    const std::vector<int> built = record_counts();
    anim_link* link = one->trans_link;
    ASSERT_NE(link, nullptr);
    model_node* skin = one->find_node(name_hash("SKIN"));
    ASSERT_NE(skin->trans_anim, nullptr);
    ASSERT_NE(skin->trans_anim->lattice, nullptr);
    EXPECT_EQ(skin->trans_anim->flags & node_lattice_a, node_lattice_a);  // the from channel's kind
    // One shape over the whole skin, then one for B's own shape.
    ASSERT_NE(skin->trans_anim->shapes, nullptr);
    ASSERT_NE(skin->trans_anim->shapes->next, nullptr);
    EXPECT_EQ(skin->trans_anim->shapes->next->name.hash, name_hash("FROWN"));
    EXPECT_EQ(skin->trans_anim->shapes->next->vertex_count, 1u);
    EXPECT_EQ(one->find_node(name_hash("TAIL"))->trans_anim, nullptr);  // animated by CURL only

    one->set_curanim(blend);
    expect_same(snapshot(one, 0.0f), reference(curl, 0.3f), "start");
    expect_same(snapshot(one, 1.0f), reference(stretch, 0.6f), "end");

    // The same pair again moves every part to the new times, in place.
    one->make_anim_trans(curl, 0.8f, stretch, 0.1f, again, 0);
    EXPECT_EQ(one->trans_link, link);
    EXPECT_EQ(link->name_hash, again);
    EXPECT_EQ(record_counts(), built);
    one->set_curanim(again);
    expect_same(snapshot(one, 0.0f), reference(curl, 0.8f), "refreshed start");
    expect_same(snapshot(one, 1.0f), reference(stretch, 0.1f), "refreshed end");

    // The library's channels and the other instance are as they were.
    EXPECT_EQ(library_words(), loaded);
    EXPECT_EQ(two->anims->next->next, nullptr);
    EXPECT_EQ(two->find_node(name_hash("SKIN"))->channels.size(), 2u);
    EXPECT_EQ(two->trans_link, nullptr);

    // Removing the transition takes its link and every record it made.
    one->remove_anim(link);
    EXPECT_EQ(one->trans_link, nullptr);
    EXPECT_EQ(skin->trans_anim, nullptr);
    EXPECT_EQ(skin->channels.size(), 2u);
    EXPECT_EQ(skin->anim, nullptr);
    EXPECT_EQ(record_counts(), before);
    // A link in the middle of the list goes alone, with its channels.
    one->remove_anim(one->anims->next);
    EXPECT_EQ(skin->channels.size(), 1u);
    EXPECT_EQ(skin->channels.front()->anim_hash, stretch);
    delete one;
    delete two;
    delete model;
}

TEST_F(ModelAnimTest, AChannelThatFollowsItsParentsLatticeFollowsItInTheTransition)
{
    torvane_test::FpTraps traps;
    const auto path = torvane_test::make_temp_dir("follow") / "SKIN.ANM";
    std::string error;
    // FUR, below SKIN, is deformed by SKIN's lattice in both animations.
    std::vector<anm_animation> anims = {deforming("CURL", 1.0f, false), deforming("STRETCH", 3.0f, false)};
    for (anm_animation& a : anims) {
        anm_object fur;
        fur.name = "FUR";
        fur.curves.push_back(linear_curve("F", 6, {{0, 0}, {1, 10}}));
        a.objects.push_back(fur);
    }
    ASSERT_TRUE(datakit::write_anm(path, anims, error));
    anim_lib lib("skin");
    ASSERT_EQ(lib.try_open(path.string().c_str()), anm_status::ok);
    ASSERT_EQ(lib.try_load_all(), anm_status::ok);
    for (anim_link* l = lib.first_link; l; l = l->next)
        for (anim_node* c = l->first_node; c; c = c->next)
            if (c->object_hash == name_hash("FUR"))
                c->flags |= node_lattice_follows_parent;

    ml_modelinfo* model = skin_model();
    const std::vector<int> library_only = record_counts();
    ml_modelinfo* one = model->make_instance(nullptr);
    ASSERT_EQ(one->lnk_anim(&lib, name_hash("CURL"), 0, 0), 1);
    ASSERT_EQ(one->lnk_anim(&lib, name_hash("STRETCH"), 0, 0), 1);
    const std::vector<int> before = record_counts();
    one->make_anim_trans(name_hash("CURL"), 0.0f, name_hash("STRETCH"), 0.0f, 7, 0);
    const anim_node* fur = one->find_node(name_hash("FUR"))->trans_anim;
    const anim_node* skin = one->find_node(name_hash("SKIN"))->trans_anim;
    ASSERT_NE(fur, nullptr);
    ASSERT_NE(skin, nullptr);
    EXPECT_EQ(fur->lattice, skin->lattice);
    EXPECT_EQ(fur->flags & node_lattice_follows_parent, node_lattice_follows_parent);
    EXPECT_EQ(fur->flags & (node_lattice_a | node_lattice_b), 0u);  // it does not own the lattice
    one->remove_anim(one->trans_link);
    EXPECT_EQ(record_counts(), before);
    // An instance destroyed while its transition stands takes it along.
    one->make_anim_trans(name_hash("CURL"), 0.0f, name_hash("STRETCH"), 0.0f, 7, 0);
    delete one;
    EXPECT_EQ(record_counts(), library_only);
    delete model;
}

TEST_F(ModelAnimTest, EachInstanceIsPlacedAlongThePathByItsOwnNode)
{
    torvane_test::FpTraps traps;
    // WHEEL rides along the path TRACK, which follows the node TRACK.
    anm_animation roll;
    roll.name = "ROLL";
    roll.paths.push_back(straight_path("TRACK", {"ALONG"}, false, 3));
    anm_object wheel;
    wheel.name = "WHEEL";
    wheel.curves.push_back(linear_curve("ALONG", 7, {{0, 0}, {1, 1}}));
    roll.objects.push_back(wheel);
    const auto path = torvane_test::make_temp_dir("placed") / "ROLL.ANM";
    std::string error;
    ASSERT_TRUE(datakit::write_anm(path, {roll}, error));
    anim_lib lib("roll");
    ASSERT_EQ(lib.try_open(path.string().c_str()), anm_status::ok);
    ASSERT_EQ(lib.try_load_all(), anm_status::ok);

    ml_modelinfo* model = model_of(
        "CART", {{"ROOT", node_empty, -1}, {"TRACK", node_empty, 0, {0.0f, 0.0f, 2.0f, 0.0f}}, {"WHEEL", node_empty, 0}});
    ml_modelinfo* one = model->make_instance(nullptr);
    ml_modelinfo* two = model->make_instance(nullptr);
    one->set_position(0.0f, 0.0f, 0.0f, 1.0f);
    two->set_position(100.0f, 50.0f, 0.0f, 1.0f);
    // Both link after both are placed: the last link used to bind the
    // shared path to its own node for every instance.
    for (ml_modelinfo* m : {one, two}) {
        ASSERT_EQ(m->lnk_anim(&lib, name_hash("ROLL"), 0, 0), 1);
        m->set_curanim(name_hash("ROLL"));
    }
    const float t = 0.5f;
    const anim_node* channel = one->find_node(name_hash("WHEEL"))->anim;
    ASSERT_NE(channel, nullptr);
    vec4 along{0, 0, 0, 1};
    channel->position->eval(t, &along);
    for (ml_modelinfo* m : {one, two}) {
        m->flags &= ~model_transforms_valid;
        m->update_transforms(t);
        const vec4& centre = m->find_node(name_hash("WHEEL"))->world_centre;
        EXPECT_NEAR(centre.x, along.x + m->position.x, 1e-4f);
        EXPECT_NEAR(centre.y, along.y + m->position.y, 1e-4f);
        EXPECT_NEAR(centre.z, along.z + 2.0f, 1e-4f);
    }
    delete one;
    delete two;
    delete model;
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
