// Seeds of mdl_fuzz: the demo models (meshes, a skinned bone chain, a
// detail level), an arm that reaches for a target with a muscle and a hit
// mesh, and a library without models.
#include "engine/base/name_hash.h"
#include "fuzz/seeds/seed_registry.h"
#include "tools/datakit/mdl_writer.h"

namespace {

// ROOT holds the box GRIP (also its hit mesh) and the chain ARM -> UPPER ->
// LOWER -> HAND, whose binding names GRIP; the box's muscle bends at UPPER.
mdl_model reaching_arm()
{
    mdl_model m;
    m.name = "ARM";
    mdl_level l;
    l.name = "ARM";
    mdl_object root = datakit::mdl_empty_object("ROOT", 0, -1, -1, 1);
    mdl_object grip = datakit::mdl_box_object("GRIP", {0.1f, 0.1f, 0.1f, 0.0f}, "METAL");
    grip.id = 1;
    grip.parent = 0;
    grip.sibling = 2;
    grip.position = {0.5f, 0.4f, 0.0f, 0.0f};
    grip.has_hit_mesh = true;
    grip.hit_mesh.vertices = grip.mesh.vertices;
    grip.hit_mesh.faces = grip.mesh.faces;
    grip.muscles.push_back(datakit::mdl_make_muscle("UPPER", "BULGE", {0, 5},
                                                    {{0, 0, 0, 0}, {0, 0, 0, 0}, {0.02f, 0, 0, 0}, {0, 0.02f, 0, 0}}));
    mdl_object arm = datakit::mdl_empty_object("ARM", 2, 0, -1, 3);
    arm.chain_kind = 2;
    datakit::mdl_set_pivot(arm, {0, 0, 0, 0});
    const char* names[] = {"UPPER", "LOWER", "HAND"};
    std::vector<mdl_object> chain;
    for (std::uint32_t i = 0; i < 3; ++i) {
        mdl_object o = datakit::mdl_empty_object(names[i], 3 + i, static_cast<std::int32_t>(2 + i), -1,
                                                 i < 2 ? static_cast<std::int32_t>(4 + i) : -1, i < 2 ? 5 : 0);
        o.position = {i == 0 ? 0.0f : 0.35f, 0.0f, 0.0f, 0.0f};
        o.chain_kind = 2;
        o.chain_length = 0.7f;
        o.bend_reference = 1.0f;
        datakit::mdl_set_pivot(o, o.position);
        chain.push_back(o);
    }
    anm_binding reach;
    reach.target_hash = name_hash("GRIP");
    chain[2].bindings.push_back(reach);
    l.objects = {root, grip, arm, chain[0], chain[1], chain[2]};
    m.levels = {l};
    return m;
}

} // namespace

TORVANE_FUZZ_SEEDS(mdl)
{
    seeds.push_back({"demo.mdl", datakit::mdl_bytes(datakit::demo_bike_mdl())});
    seeds.push_back({"reach.mdl", datakit::mdl_bytes({reaching_arm()})});
    seeds.push_back({"empty.mdl", datakit::mdl_bytes({})});
}
