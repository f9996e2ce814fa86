#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/base/mat4.h"
#include "engine/base/node_binding.h"
#include "engine/base/pipeline_records.h"
#include "engine/base/vec4.h"
#include "engine/model/mdl_reader.h"
#include "engine/model/shape_anim.h"

class anim_node;
class mesh_material;
class mesh_texture;
class model_node;
class mtr_lib;

// Node kinds and flags. A node's kind is chosen by one of the kind bits; the
// other bits say how it was made and what the scene does with it.
inline constexpr std::uint32_t node_loaded = 0x1;          // set on every node at load
inline constexpr std::uint32_t node_copied = 0x2;          // set on instance copies
inline constexpr std::uint32_t node_flag_ground = 0x10000;  // set by the scene
inline constexpr std::uint32_t node_kind_full = 0x100000;
inline constexpr std::uint32_t node_kind_compact_a = 0x400000;
inline constexpr std::uint32_t node_kind_level = 0x800000;
inline constexpr std::uint32_t node_kind_compact_b = 0x1000000;
inline constexpr std::uint32_t node_kind_bits =
    node_kind_full | node_kind_compact_a | node_kind_level | node_kind_compact_b;
inline constexpr std::uint32_t node_special_5 = 0x4000000;  // special kind 5 of the object record
inline constexpr std::uint32_t node_special_6 = 0x8000000;  // special kind 6 of the object record

// Object types.
inline constexpr std::int32_t node_empty = 0;
inline constexpr std::int32_t node_patch = 1;
inline constexpr std::int32_t node_mesh = 4;
inline constexpr std::int32_t node_bone = 5;
inline constexpr std::int32_t node_empty_first = 6;  // an empty node ordered before its siblings

// A mesh's geometry as the model file stores it: vertices of 48 bytes,
// faces of 52 bytes, an optional u16 index list, and the mesh word (0 an
// ordinary mesh, 1 placed by position only, 2 a billboard facing the
// camera). The mesh pipeline reads the raw records.
struct model_part {
    std::uint32_t vertex_count = 0;
    std::uint32_t face_count = 0;
    std::uint32_t mesh_word = 0;
    std::vector<std::uint8_t> vertices;   // vertex_count x 48 bytes
    std::vector<std::uint8_t> faces;      // face_count x 52 bytes
    std::vector<std::uint16_t> indexes;
    std::vector<std::uint8_t> header;     // the stored mesh header, kept as read
    vec4 scale{1.0f, 1.0f, 1.0f, 1.0f};   // the scale the model's scale pass hands the mesh
    bool has_cloth = false;
    mdl_cloth cloth;                      // particles, springs and their links, as read

    // Set once a linked shadow reversed the faces' winding (shadow_link.h),
    // so that a second shadow sharing the mesh does not turn them back.
    bool shadow_reversed = false;

    static constexpr std::uint32_t vertex_bytes = 48;
    static constexpr std::uint32_t face_bytes = 52;
    // The most vertices one mesh may have: the hardware path's vertex buffer.
    static constexpr std::uint32_t max_vertices = static_cast<std::uint32_t>(vertex_buffer_capacity);

    // The bounding sphere the mesh transform's view-volume check uses: the
    // mean of the vertex positions and 1.63 x the largest distance from it.
    // A negative radius: not computed yet (the transform computes it on first
    // use, mesh_calc_bounds in engine/scene/vertex_transform.h).
    float bound_radius = -1.0f;
    vec4 bound_centre{};
};

// The shape of a patch grid (the file's 96-byte grid record): the spline
// kind, point count, wrapping and tension of each direction, and the
// material reference its polygons take. u runs across the rows of control
// points, v along a row (consecutive points).
struct patch_grid {
    std::uint32_t basis_u = 2;          // 2 uniform cubic B-spline, 3 cardinal
    std::uint32_t basis_v = 2;
    std::uint32_t count_u = 0;          // rows
    std::uint32_t count_v = 0;          // points per row
    bool closed_u = false;
    bool closed_v = false;
    float tension_u = 0.5f;             // cardinal splines only
    float tension_v = 0.5f;
    std::uint32_t material = 0;         // index into the node's material references
};

// Where a bone, a bone end or a chain start rests: scale, rotation angles
// (radians, about x, then y, then z) and translation.
struct model_pivot {
    vec4 scale{};
    vec4 angles{};
    vec4 translation{};
};

// The vertices of one mesh that a bone moves.
struct skin_group {
    skin_group() { ++live; }
    ~skin_group();
    skin_group(const skin_group&) = delete;
    skin_group& operator=(const skin_group&) = delete;

    std::uint32_t mesh_hash = 0;        // lookup hash of the mesh node
    model_node* bound = nullptr;        // that mesh node, once bound
    std::uint32_t vertex_count = 0;
    std::uint16_t* vertices = nullptr;  // vertex numbers of the mesh; freed with an owner word of 1
    skin_group* prev = nullptr;
    skin_group* next = nullptr;
    std::uint32_t owner = 1;            // 1: owns its vertex list; a copy's list is the model's

    static inline int live = 0;
};

// The type data of a bone: its skin groups, the node that starts its chain,
// the inverse of its rest matrix and its skinning matrix.
struct bone_object {
    bone_object() { ++live; }
    // Destroys every group (each releasing the vertex list it owns).
    ~bone_object();
    bone_object(const bone_object&) = delete;
    bone_object& operator=(const bone_object&) = delete;

    // A copy for an instance: its groups are copies that share the model's
    // vertex lists and are bound to no mesh; the chain start is cleared.
    bone_object* copy_for_instance() const;

    std::uint32_t group_count = 0;
    skin_group** groups = nullptr;      // group_count groups chained in file order
    model_node* chain_start = nullptr;
    mat4 inverse_rest{};
    mat4 skinning{};
    // False when the rest matrix had no inverse (a bone without a pivot):
    // the node pass then leaves its skinning matrix alone.
    bool rest_invertible = true;
    std::uint32_t file_words[2] = {};   // words 1 and 2 of the stored bone record

    skin_group* first_group() const { return group_count ? groups[0] : nullptr; }

    static inline int live = 0;
};

// A pair kept by a mesh node for every skin group of every bone that moves it.
struct skin_ref {
    skin_ref() { ++live; }
    ~skin_ref() { --live; }
    skin_ref(const skin_ref&) = delete;
    skin_ref& operator=(const skin_ref&) = delete;

    bone_object* bone = nullptr;
    skin_group* group = nullptr;

    static inline int live = 0;
};

// A material reference of a mesh or patch node: the name the model file
// gives and the material it is bound to (a library material, or a private
// copy when the node's binding word is 1).
struct material_ref {
    material_ref() { ++live; }
    material_ref(const material_ref& other) : name(other.name), hash(other.hash), material(other.material) { ++live; }
    material_ref& operator=(const material_ref&) = default;
    ~material_ref() { --live; }

    std::string name;
    std::uint32_t hash = 0;
    mesh_material* material = nullptr;

    static inline int live = 0;
};

// A muscle of a mesh: a shape of the mesh's vertices (key positions over a
// curve) applied at a weight that the angle at a joint of three nodes
// gives. A model's record owns its curve, its vertex offsets and its key
// positions; an instance's copy shares them with the model's record.
struct muscle_record {
    muscle_record() { ++live; }
    ~muscle_record();
    muscle_record(const muscle_record&) = delete;
    muscle_record& operator=(const muscle_record&) = delete;

    // Shares the other record's joint hash, curve and arrays (owns nothing).
    void share(const muscle_record& other);
    // corner_angle_weight of the three joints' world centres (0 until the
    // joints are found).
    float weight() const;
    // The shape at the weight into the mesh's vertex array (48-byte records).
    void apply(void* vertices, std::size_t bytes) const;

    model_node* joints[3] = {};          // first found first
    std::uint32_t joint_hash = 0;        // lookup hash of the node where the joint is
    shape_anim shape;                    // vertex offsets (48 x vertex number), key positions, curve
    bool owns = true;

    static inline int live = 0;
};

// A node of a model, an instance or a detail level: one object of the model
// file in the hierarchy, with its rest pose, its matrices of the last update
// and the records bound to it.
//
// Owner state: 1 a library model's node (owns its type data, bindings, hit
// mesh, namesake array, skin references and pivot); 2 an instance's node
// (owns its bone object copy, bindings, namesake array, skin references and
// pivot; the mesh part and hit mesh stay with the model); any other state
// frees nothing.
// What a new model does with each of its mesh nodes that carries a cloth,
// once its nodes exist: the scene library, which simulates cloth, installs
// it (install_cloth_setup, engine/scene/cloth.h). Until then a cloth
// definition is kept and nothing simulates it.
using cloth_setup = void (*)(model_node* node);
void set_cloth_setup(cloth_setup setup);
cloth_setup installed_cloth_setup();

class model_node {
public:
    // flags = kind | 3.
    explicit model_node(std::uint32_t kind);
    ~model_node();
    model_node(const model_node&) = delete;
    model_node& operator=(const model_node&) = delete;

    std::uint32_t kind() const { return flags & node_kind_bits; }
    bool is_full() const { return (flags & node_kind_full) != 0; }
    bool is_compact() const { return (flags & (node_kind_compact_a | node_kind_compact_b)) != 0; }
    std::uint32_t mesh_word() const { return type == node_mesh && mesh ? mesh->mesh_word : 0; }

    // The node's namesake in detail level `level` (itself when it has no
    // namesake array; null past the array or where the level has none).
    model_node* namesake(int level);

    // Every binding whose target hash is a node's lookup hash in the list
    // starting at `first` is bound to that node.
    void resolve_bindings(model_node* first);

    // A copy of this node of the given kind for an instance (owner state 2,
    // flag 1 added); hierarchy links are left for the caller to remap. What
    // is taken depends on the destination kind: the compact kinds take the
    // common words and the namesake array is left to be rebuilt; the level
    // kind also its pivot; the full kind everything, with copies of its
    // bindings and bone object.
    model_node* copy_as(std::uint32_t dest_kind) const;

    // Binds the node's material references (and first those of its detail
    // namesakes) to the materials of a chain of libraries (linked through
    // `next`). Flag bit 0, or a referenced texture of more than one frame,
    // binds private copies (binding word 1). False when the number of
    // materials found over the chain differs from the number of references
    // (a material found in two libraries counts twice).
    bool link_materials(mtr_lib* chain, std::uint32_t flag);
    // The material set word of every referenced texture, here and in the
    // detail namesakes.
    void set_material_set(std::uint32_t set);
    // The integer part of the value into the last word of every face.
    void set_mesh_param(float value);
    // Lowers the level values of this node's mesh vertices (word 10) toward
    // `level` (v - d F, d = v - level, F = amount^d for d >= 0, else
    // amount^(level + v); an amount not above 0 leaves them) and flags the
    // node as ground (node_flag_ground) when it is: a mesh whose mesh word is
    // neither 1 nor 2, without node_flag_cutout (ground_poly.h) once a face's level is below
    // the engine's ground threshold; a cut-out mesh while the engine's
    // cut-out ground option is on. The same for the next sibling and the
    // first child; 1 when any node was flagged (ground_poly.cpp).
    int mark_below_level(float level, float amount);
    // The first reference whose texture's first frame name contains `text`.
    const char* texture_name_containing(const char* text) const;
    // The texture of the first reference whose material bears the name
    // hash (full kind), or null.
    mesh_texture* texture_of_material(std::uint32_t material_hash) const;

    std::uint32_t flags = 0;
    std::uint32_t first_hash = 0;
    std::uint32_t hash = 0;             // lookup hash
    std::int32_t type = node_empty;
    model_part* mesh = nullptr;         // type 4
    // A mesh with a cloth: the scene library's simulation of it, made and
    // bound by the model's set-up (set_cloth_setup) and freed with the node.
    std::shared_ptr<void> cloth_state;
    std::vector<vec4>* patch = nullptr; // type 1: control points (the patch grid record)
    patch_grid grid{};                  // type 1: the grid's shape
    bone_object* bone = nullptr;        // type 5
    model_node* parent = nullptr;
    model_node* next_sibling = nullptr;
    model_node* first_child = nullptr;
    model_node* prev = nullptr;
    model_node* next = nullptr;
    std::int32_t index = 0;
    float radius = 0.0f;
    model_node* level0 = nullptr;       // level kind: the level-0 node that drives it
    vec4 local_position{};

    // Full kind.
    vec4 world_centre{};
    vec4 world_scale{1.0f, 1.0f, 1.0f, 1.0f};
    vec4 scale{1.0f, 1.0f, 1.0f, 1.0f};
    vec4 angles{};
    mat4 world{};
    mat4 inverse_world{};
    model_part* hit_mesh = nullptr;
    std::int32_t namesake_count = 0;
    model_node** namesakes = nullptr;
    anim_node* anim = nullptr;          // current channel
    anim_node* trans_anim = nullptr;    // transition channel
    // The node's channels, one per linked animation, newest first. The list
    // belongs to the node: linking or a transition never rewrites the links
    // of the library's animation nodes, which other instances share.
    std::vector<anim_node*> channels;
    anim_node* trans_from = nullptr;    // the transition record: from and to channels
    anim_node* trans_to = nullptr;
    std::int32_t binding_count = 0;
    node_binding* bindings = nullptr;   // chained through next
    skin_ref** skin_refs = nullptr;
    std::int32_t skin_ref_count = 0;
    std::int32_t skin_ref_room = 0;
    std::uint32_t word172 = 0;
    std::int32_t chain_kind = 0;
    std::uint32_t solved = 0;
    float chain_length = 0.0f;
    float twist = 0.0f;
    std::uint32_t word188 = 0;
    float bend_reference = 0.0f;
    std::uint32_t word196 = 0;
    model_pivot* pivot = nullptr;
    muscle_record* muscles = nullptr;  // muscle_count records (full kind)
    std::int32_t muscle_count = 0;
    std::vector<std::string> material_names;   // the material references, in file order
    std::uint32_t material_binding = 0;         // 1: the references hold private copies
    std::vector<material_ref> material_refs;
    std::uint32_t owner_state = 2;
    std::uint32_t owner_extra = 0;

    static inline int live_full = 0;
    static inline int live_compact_a = 0;
    static inline int live_compact_b = 0;
    static inline int live_level = 0;

private:
    int* live_counter();
    std::uint32_t made_kind_ = 0;
    void release_skin_refs();
    void release_private_materials();
};
