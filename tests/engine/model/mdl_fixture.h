#pragma once

#include <cstring>

#include "engine/base/name_hash.h"
#include "engine/model/mdl_format.h"
#include "tools/datakit/mdl_writer.h"

namespace model_test {

using datakit::mdl_empty_object;
using datakit::mdl_set_pivot;

// A model with every kind of record: BODY (root, with a node binding)
// holds the mesh SKIN (a box with a muscle, a hit mesh and special kind 6),
// the patch FLAG, the cloth CAPE and the chain CHAIN -> BONE1 -> BONE2 ->
// HAND whose skin groups move SKIN (the muscle's joint is BONE1, BONE2 and
// HAND); a second detail level holds BODY and SKIN.
inline mdl_model rich_model(const char* name = "RIDER")
{
    mdl_model m;
    m.name = name;
    mdl_level l0;
    l0.name = name;
    // ids: 0 BODY, 1 SKIN, 2 FLAG, 3 CAPE, 4 CHAIN, 5 BONE1, 6 BONE2, 7 HAND
    mdl_object body = mdl_empty_object("BODY", 0, -1, -1, 1);
    body.radius = 2.5f;
    anm_binding b;
    b.target_hash = name_hash("BONE2");
    b.code = 111;
    b.kept[3] = 77;
    body.bindings.push_back(b);

    mdl_object skin = datakit::mdl_box_object("SKIN", {0.5f, 1.0f, 0.25f, 0.0f}, "LEATHER");
    skin.id = 1;
    skin.parent = 0;
    skin.sibling = 2;
    skin.special = 6;
    skin.mesh.header[mdl::mesh_word_kind] = 0;
    skin.muscles.push_back(datakit::mdl_make_muscle("BONE1", "FLEX", {0, 7},
                                                    {{0, 0, 0, 0}, {0.1f, 0, 0, 0}, {0, 0, 0, 0}, {0, 0.1f, 0, 0}}));
    skin.has_hit_mesh = true;
    skin.hit_mesh.vertices = {datakit::mdl_make_vertex({0, 0, 0, 1}, {0, 0, 1, 0}, 0, 0),
                              datakit::mdl_make_vertex({1, 0, 0, 1}, {0, 0, 1, 0}, 0, 0),
                              datakit::mdl_make_vertex({0, 1, 0, 1}, {0, 0, 1, 0}, 0, 0)};
    skin.hit_mesh.faces = {datakit::mdl_make_face(0, {0, 1, 2}, {0, 0, 1, 0})};

    std::vector<vec4> flag_points;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            flag_points.push_back({static_cast<float>(c) / 3.0f, static_cast<float>(r) / 3.0f, 0, 1});
    mdl_object flag = datakit::mdl_patch_object("FLAG", 4, 4, flag_points, "CLOTH");
    flag.id = 2;
    flag.parent = 0;
    flag.sibling = 3;
    flag.node_flags = 1;

    mdl_object cape = datakit::mdl_box_object("CAPE", {0.2f, 0.2f, 0.2f, 0.0f}, "CLOTH");
    cape.id = 3;
    cape.parent = 0;
    cape.sibling = 4;
    cape.mesh.has_cloth = true;
    cape.mesh.cloth.particles.resize(8);   // one per vertex of the box
    cape.mesh.cloth.particles[1][5] = 9;
    cape.mesh.cloth.springs.resize(1);
    cape.mesh.cloth.links = {{{0, 0}}, {{0, 1}}, {}, {}, {}, {}, {}, {}};

    mdl_object chain = mdl_empty_object("CHAIN", 4, 0, -1, 5);
    mdl_set_pivot(chain, {0, 0, 0, 0});
    mdl_object bone1 = mdl_empty_object("BONE1", 5, 4, -1, 6, 5);
    mdl_set_pivot(bone1, {0, 0, 0, 0});
    bone1.has_bone = true;
    bone1.payload = 1;
    bone1.bone.groups.push_back({name_hash("SKIN"), {0, 1, 2, 3}});
    mdl_object bone2 = mdl_empty_object("BONE2", 6, 5, -1, 7, 5);
    bone2.position = {1, 0, 0, 0};
    mdl_set_pivot(bone2, {1, 0, 0, 0});
    bone2.has_bone = true;
    bone2.payload = 1;
    bone2.bone.groups.push_back({name_hash("SKIN"), {4, 5, 6, 7}});
    bone2.bone.skinning[0] = bone2.bone.skinning[5] = bone2.bone.skinning[10] = bone2.bone.skinning[15] = 1.0f;
    bone2.chain_kind = 1;
    bone2.chain_length = 2.0f;

    mdl_object hand = mdl_empty_object("HAND", 7, 6, -1, -1);
    hand.position = {1, 0, 0, 0};

    l0.objects = {body, skin, flag, cape, chain, bone1, bone2, hand};
    mdl_level l1;
    l1.name = std::string(name) + "_1";
    mdl_object body1 = mdl_empty_object("BODY", 0, -1, -1, 1);
    mdl_object skin1 = datakit::mdl_box_object("SKIN", {0.5f, 1.0f, 0.25f, 0.0f}, "LEATHER");
    skin1.id = 1;
    skin1.parent = 0;
    l1.objects = {body1, skin1};
    m.levels = {l0, l1};
    return m;
}

} // namespace model_test
