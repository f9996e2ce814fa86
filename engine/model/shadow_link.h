#pragma once

#include <cstdint>
#include <vector>

#include "engine/base/pipeline_records.h"

class ml_modelinfo;
class model_node;
class model_record;

// Linked shadows: a shadow instance whose mesh follows the animated model it
// belongs to (a rider's shadow that bends with the rider). Linking pairs
// every vertex of the shadow's root mesh with the nearest vertex of the
// model's meshes, once, in the model's own frame; afterwards the mesh
// pipeline hands each paired shadow vertex the clip-space position its
// model vertex was transformed to (shadow_follow), and the planar shadow
// lays those positions on the ground.
//
// The links live with the instances, not with the meshes: a model's mesh
// parts and the shadow's root mesh belong to their libraries and are shared
// by every instance, so each linked level keeps its own pairs and its own
// copy of the shadow's vertices. Destroying either instance (or releasing
// the library that holds it) unlinks the pair, so nothing points into a
// released library.

// Record flags.
inline constexpr std::uint32_t record_linked_shadow = 0x20000;   // a shadow level linked to a model
inline constexpr std::uint32_t record_has_shadow = 0x40000;      // a model level with a linked shadow

// One shadow vertex and the model vertex it follows.
struct shadow_pair {
    std::uint32_t shadow_vertex = 0;
    std::uint32_t own_vertex = 0;
};

// The pairs of one mesh node of the model, in shadow-vertex order.
struct shadow_mesh_links {
    const model_node* node = nullptr;
    std::vector<shadow_pair> pairs;
};

// The links of one detail level of a model to the same level of its shadow.
struct shadow_level_link {
    ml_modelinfo* shadow = nullptr;        // the shadow instance
    model_record* shadow_level = nullptr;  // its level record (shadow_owner names this link's level)
    model_node* shadow_root = nullptr;     // the level's root mesh node
    // The shadow root mesh's 48-byte vertex records, copied when linked;
    // shadow_follow writes the first four floats (the clip-space position)
    // of every paired vertex, the rest keeps the mesh's own values.
    std::vector<std::uint8_t> vertices;
    std::vector<shadow_mesh_links> meshes;
};

// Links `shadow` to `model` for the first `levels` detail levels (no more
// than either has). A shadow already linked is left alone (0); a model
// with a shadow is unlinked first. Per level: the model's mesh nodes and
// the shadow's root mesh are placed in their own frames (outside matrix
// identity, position 0; the instances' places are restored afterwards),
// every shadow vertex is paired with the nearest model vertex (squared
// distance below 100000, the first of equals), and the shadow root mesh's
// faces are reversed once (a mesh part shared by several shadows is
// reversed only by the first link). Before each mesh is taken, the running
// vertex count is checked against the 1000-vertex buffer
// (fits_vertex_buffer): a model mesh that would not fit shows "Vertex
// overflow in 'link_shadow" / "!" and ends the scan of that level's meshes
// (later meshes get no links); a shadow root mesh that does not fit shows
// the same box and the level gets no links. Returns the number of levels
// linked.
int link_shadow(ml_modelinfo* model, ml_modelinfo* shadow, int levels);

// Releases every level's links of the model; the model and its nodes lose
// record_has_shadow, the shadow levels forget their owner (they keep
// record_linked_shadow: such a shadow is never listed on its own).
void unlink_shadow(ml_modelinfo* model);

// Drops every link in which the record's levels take part, as model or as
// shadow; ml_modelinfo::destroy calls it first.
void shadow_drop_links(ml_modelinfo* record);

// After a plain transform of `node` (a mesh node of `drawn`, the model level
// being drawn) wrote `count` work vertices: each linked shadow vertex of that
// node takes the first four floats of its paired work vertex. Pairs naming a
// vertex beyond `count` or beyond the shadow's vertices are skipped.
void shadow_follow(const model_record* drawn, const model_node* node, const work_vertex* work, std::uint32_t count);

// The shadow instance linked to the model (the link of its level 0, else
// of the first linked level), or null.
ml_modelinfo* linked_shadow_of(const ml_modelinfo* model);

// The detail levels a record has (1 without a level table).
int shadow_level_total(const ml_modelinfo* record);

// The vertex records the planar shadow reads for a linked shadow level
// (the copy shadow_follow writes), and their count; null when the level is
// not linked.
const std::uint8_t* shadow_linked_vertices(const model_record* shadow_level, std::uint32_t* count);
