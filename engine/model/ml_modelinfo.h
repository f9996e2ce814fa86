#pragma once

#include <cstdint>
#include <span>

#include "engine/base/mat4.h"
#include "engine/base/vec4.h"
#include "engine/model/model_node.h"

class anim_lib;
class anim_link;
class model_lib;
class mtr_lib;
class mesh_texture;
class ml_modelinfo;
struct hit_result;
class camera;
class fcurve;
struct scn_light;
struct shadow_level_link;

// Flags of a model record.
inline constexpr std::uint32_t model_active = 0x1;
inline constexpr std::uint32_t model_built = 0x2;
inline constexpr std::uint32_t model_transforms_valid = 0x8;
inline constexpr std::uint32_t model_paired_first = 0x20;
inline constexpr std::uint32_t model_paired_second = 0x40;
inline constexpr std::uint32_t model_cache_class_a = 0x10000000;
inline constexpr std::uint32_t model_cache_class_b = 0x20000000;
inline constexpr std::uint32_t model_cache_class_c = 0x40000000;

// What the detail choice needs of the camera: its position, its detail
// distance and, when it has a lens curve, the lens factor that scales it.
struct lod_view {
    vec4 position{};
    float detail_distance = 1.0f;
    float lod_factor = 1.0f;
    bool has_fov_curve = false;
};

// The words every detail level shares with level 0: name, flags, level id,
// library, node list. Counted in one live counter with ml_modelinfo.
class model_record {
public:
    model_record() { ++live; }
    virtual ~model_record() { --live; }
    model_record(const model_record&) = delete;
    model_record& operator=(const model_record&) = delete;

    // The first node of the flat list whose lookup hash is `hash`, or null.
    model_node* find_node(std::uint32_t hash) const;
    // Every node of the list takes the owner state.
    void set_node_state(std::uint32_t state);
    // Deletes every node of the flat list.
    void destroy_nodes();

    char name[32] = {};
    std::uint32_t name_hash = 0;
    std::uint32_t flags = 0;
    std::int32_t id = -1;
    model_lib* library = nullptr;
    model_node* first_node = nullptr;
    std::int32_t node_count = 0;
    std::uint32_t owner_state = 1;
    // Linked shadows (shadow_link.h): on a model's level, its links to the
    // same level of its shadow (owned); on a shadow's level, the model level
    // it is linked to.
    shadow_level_link* shadow_link = nullptr;
    model_record* shadow_owner = nullptr;

    static inline int live = 0;
};

// A detail level above 0: its own node list, whose nodes are driven by the
// level-0 nodes of the same lookup hash.
class model_level : public model_record {
public:
    model_level() { flags = 0x800001; }
    ~model_level() override;

    ml_modelinfo* model = nullptr;   // the level-0 record
};

// Level 0 of a loaded model, or an instance: the node hierarchy with its
// place in the world, its detail levels and its animations.
class ml_modelinfo : public model_record {
public:
    ml_modelinfo();
    explicit ml_modelinfo(const char* model_name);
    ~ml_modelinfo() override;

    // Destroys the detail levels above 0, the nodes (in their owner states)
    // and the animation links the record owns.
    void destroy();

    void set_flags(std::uint32_t bits);
    void clear_flags(std::uint32_t bits);

    void set_position(float x, float y, float z, float w);
    // Two-node models: the first child's local position.
    void set_target(const vec4& target);
    // Two-node models: the root at `pos`, the child at target - pos.
    void set_position_target(const vec4& pos, const vec4& target);
    void set_ext_matrix(const mat4* matrix);
    // Builds the rotation of three angles into `record` (translation row
    // 0, 0, 0, 1) and makes it the outside matrix.
    void set_orientation(mat4* record, float ax, float ay, float az);

    // One threshold per detail level; a model with more levels than the
    // table has thresholds never chooses past the table's last.
    void set_lod_table(std::span<const float> table)
    {
        lod_table = table.data();
        lod_table_length = static_cast<std::int32_t>(table.size());
    }
    // The detail level to draw for the view; its number goes to the id.
    model_record* select_lod(const lod_view* view);

    // Recomputes every node's matrices at the animation time (level = id).
    void update_transforms(float time);
    // select_lod, then update_transforms.
    model_record* update_for_view(const lod_view* view, float time);

    // The lights of a null-terminated list that reach the instance,
    // null-terminated; returns the count.
    int select_lights(scn_light** out, scn_light* const* lights) const;

    // The segment (start, end) against the hit mesh of every node, nearest
    // hit first: the result's nearest parameter starts at 1.02; a hit fills
    // the result (hit_test.h) with `hit_id`. Returns the result's hit flag.
    int hit_test(hit_result* result, const vec4 segment[2], std::int32_t hit_id);

    // Lights of a light model (make_simple_model): the current animation's
    // first light takes the range (`set_range`, which doubles its colour as
    // it always does) and the root and its first child take it as radius;
    // the colour; or type, colour, range, cone (degrees) and softness. No
    // current light: nothing.
    // The lights of an active instance's current animation, each prepared
    // for the camera (by the preparer the scene library installs, its
    // scn_light::transform; unprepared until it does), in `out`; returns the
    // count (0 without flag bit 0, a current animation or lights).
    int collect_lights(scn_light** out, const camera* cam) const;
    using light_preparer = void (*)(scn_light* light, const camera* cam);
    static void set_light_preparer(light_preparer preparer);

    void set_light_range(float range);
    void set_light_color(float r, float g, float b);
    void set_light(std::int32_t type, float r, float g, float b, float range, float cone_degrees, float softness);

    void enable_shadow();
    void disable_shadow() { shadow_flag = 0; }
    void pair_with(ml_modelinfo* other);

    // Links every level-0 node to its namesakes in the detail levels.
    void link_levels();
    // Binds skin groups to meshes and gives each mesh its skin references
    // (level 0 and every detail level), then runs the rest-pose pass.
    void setup_skin();
    // Resolves the node bindings of every full-kind node of level 0.
    void resolve_bindings();
    // Finds the three joint nodes of every muscle of every full-kind node:
    // from the node of the muscle's joint hash, first children while they
    // are bones (a non-bone accepted under a bone), else parents by the same
    // rule. A muscle whose joint node is not in the record is skipped; false
    // when a joint node gives three nodes neither way (the loaders report
    // "Angolo non trovato!").
    bool muscles_init();
    // The rest-pose pass of level 0 (and, with `levels`, of every detail
    // level from its nodes' pivots).
    void rest_pose(bool levels);

    // Binds the materials of every mesh and patch node; false when a
    // reference was not found in the chain ("Material not in library!").
    bool link_materials(mtr_lib* chain, std::uint32_t flag);
    void set_material_set(std::uint32_t set);
    // The mesh parameter on every mesh node of every detail level.
    void set_mesh_param(float value);
    // The first node (flat list order) with a reference whose texture's
    // first frame name contains the text, or that frame name; null if none.
    model_node* find_node_by_texture(const char* text) const;
    // The texture cache classes of every detail level's textures (the
    // texture of each node's first material reference, by the low 4 bits of
    // its first frame's cache word): 0..5 class A, 5..11 class B (5 fits
    // either), 12 class C. Every detail level record gets the flag of the
    // class in use (A and B both when every texture is of class 5). False,
    // and no flag changed, when the classes mix; true and nothing done
    // while the renderer supplies no cache words.
    // Every frame with a surface of every texture referenced by a full node
    // of level 0 hands `value` to the renderer's surface (which keeps it
    // where the surface takes a value); nothing while the renderer supplies
    // no set_value.
    void set_texture_value(std::uint32_t value);
    bool try_check_cache_used();
    // The same; mixed classes end the program ("Texture cache range error!").
    void check_cache_used();
    const char* find_texture_name(const char* text) const;
    // The first texture a node of level 0 finds for the material's name
    // hash (flat list order), or null.
    mesh_texture* texture_of_material(std::uint32_t material_hash) const;

    // Links the library's animation of that hash: a copy of its link
    // (owner state 2, sharing the library's nodes) at the head of the
    // animation list, and every node whose lookup hash an object of the
    // animation bears gets that object's channel. 0 when the animation is
    // not in the library or is linked already. An empty library ends the
    // program ("library is empty!").
    int lnk_anim(anim_lib* library, std::uint32_t hash, std::uint32_t mode, std::uint32_t flag);
    int lnk_anim_by_name(anim_lib* library, const char* anim_name, std::uint32_t mode, std::uint32_t flag);
    // The animation of that hash (0: none) becomes current and every node
    // selects its channel of it; an unknown hash ends the program.
    int set_curanim(std::uint32_t hash);
    // Removes every animation borrowed from `library`, and the transition
    // when one of its two animations goes.
    void unlink_anims(const anim_lib& library);
    // A transition from animation `from` at t_from to `to` at t_to, as an
    // animation of hash `id` (owner state 3) at the head of the list, with a
    // transition channel on every node that has channels of both; asked
    // again for the same pair, only the times and id are refreshed.
    void make_anim_trans(std::uint32_t from, float t_from, std::uint32_t to, float t_to, std::uint32_t id,
                         std::uint32_t flag);
    // Unlinks and destroys a link with its channels on every node.
    void remove_anim(anim_link* link);

    // A deep copy for the scene: its own nodes (owner state 2), bone
    // objects, bindings and detail levels; null when a level holds more
    // than 200 nodes.
    ml_modelinfo* make_instance(model_lib* owner) const;

    float root_radius = 0.0f;
    vec4 position{};
    vec4 angles{};
    vec4 scale{1.0f, 1.0f, 1.0f, 1.0f};
    const mat4* ext_matrix = nullptr;
    float anim_time = -1.0f;
    anim_link* anims = nullptr;
    anim_link* current_anim = nullptr;
    anim_link* trans_link = nullptr;
    std::uint32_t trans_from = 0;
    std::uint32_t trans_to = 0;
    std::int32_t level_count = 0;
    const float* lod_table = nullptr;
    std::int32_t lod_table_length = 0;
    model_record** levels = nullptr;   // entry 0 is the record itself
    void* scene_links[2] = {};
    std::uint32_t shadow_flag = 0;
    std::uint32_t shadow_state[2] = {};
    // The ground under the instance (ground_under_instance,
    // engine/scene/ground_under.h): 0.5 when ground was found, 1.0 when not;
    // the ground instance and node found last time, trusted only while no
    // instance has been destroyed since (ground_epoch).
    float ground_factor = 1.0f;
    ml_modelinfo* ground_instance = nullptr;
    model_node* ground_node = nullptr;
    std::uint64_t ground_seen = 0;
    // Counts the instances destroyed in this run; a ground cache taken at
    // another count may name a destroyed instance or node.
    static inline std::uint64_t ground_epoch = 0;
    ml_modelinfo* pair = nullptr;
    // The instance's lens: while the scene view draws it, the camera's
    // field of view is lens_curve(fov) x fov (a cockpit seen through a wider
    // or narrower lens than the scene). Owned: destroyed with the instance;
    // null draws through the camera's own lens. Not copied to new instances.
    fcurve* lens_curve = nullptr;
    ml_modelinfo* prev = nullptr;
    ml_modelinfo* next = nullptr;
};

// The most nodes one level may hold.
inline constexpr int model_max_objects = 199;
