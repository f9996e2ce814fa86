#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/base/vec4.h"
#include "engine/scene/map_grid.h"

class anim_lib;
class ml_modelinfo;
class model_lib;
class mtr_lib;
class scene_view;
struct hit_result;

// One loaded 3D world: its material, animation and model libraries and the
// ".MAP" grid that places instances of its models ("map objects") in cells.
// The race loads one scene, the menus' 3D view one for its backdrop; scenes
// can be chained through `next`, and a view asks every scene of its chain
// for map objects (scene_view.h).
//
// Cell indices: column ix along x, level iy along y, row iz along z, each
// trunc((p - origin) / cell_size) on its axis.
class scene {
public:
    // Material kinds of load(): ".MTT" (true colour) or ".MTP" (the 8-bit
    // palettised render type).
    static constexpr int material_kind_mtt = 1;
    static constexpr int material_kind_mtp = 2;

    scene();
    // release().
    ~scene();
    scene(const scene&) = delete;
    scene& operator=(const scene&) = delete;

    // Loads "<name>.MTT" (kind 1) or "<name>.MTP" (kind 2), "<name>.ANM",
    // "<name>.MDL" and "<name>.MAP", links the models to the materials and
    // animations, links the map items to their models, poses every model at
    // time 0 and (except in the software render type) checks the texture
    // cache classes. While it loads, a camera of its own (identity heading)
    // is the current engine context's camera, for billboard models; the
    // camera that was current before is current again afterwards, so the
    // context never points at a camera that no longer exists. Failures are
    // fatal: the libraries report their own; a missing ".MAP" is scene
    // error 1; another material kind is scene error 0; a model whose
    // textures mix cache classes shows "scene::load" / "Texture cache range
    // error!". Each ends the program with exit status 1.
    void load(const char* name, int material_kind, int material_arg, int model_arg);

    // A model library from the file, loaded whole with model_arg, at the
    // head of model_libs; its models lose flag bit 1.
    void add_model_lib(const char* path, int model_arg);
    // A material library with every material (the software atlas in the
    // software render type), at the head of material_libs.
    void add_material_lib(const char* path, int material_arg, int unused);
    // An animation library with every animation, at the head of anim_libs.
    void add_anim_lib(const char* path);
    // Reads the grid; a file that cannot be read or is refused by the
    // grid's checks is scene error 1.
    void load_map(const char* path);

    // Unlinks and destroys every library of that list whose name equals
    // `name` (compared without regard to case, as libraries store their
    // names upper-cased).
    void remove_model_lib(const char* name);
    void remove_material_lib(const char* name);
    void remove_anim_lib(const char* name);

    // The model of that name hash in the most recently added model library,
    // or null (no library, or not in that library).
    ml_modelinfo* find_model(std::uint32_t hash) const;

    // The cell at column x, level y, row z, or null (absent or an empty
    // grid); indexes are clamped into the grid (map_grid::lookup).
    map_cell* cell(std::int64_t x, std::int64_t y, std::int64_t z) const;
    // ((p - origin) / cell_size) per axis as floats, w passed through. A
    // cell size of 0 (an empty grid) gives 0 on that axis.
    vec4 point_to_cell(const vec4& p) const;
    // cell() of the truncated point_to_cell(p) (toward zero: a point just
    // below the origin falls in cell 0).
    map_cell* cell_at_point(const vec4& p) const;

    // For every cell (columns, then levels, then rows) and every item of its
    // first list: the item's instance becomes the model of its name hash
    // (find_model), or stays null.
    void link_map_objects();

    // Poses every model of every library at time 0; a model of more than one
    // object whose first node is a billboard mesh (mesh word 2) is reported
    // with a box "LKY sprite error" / "hrc : <name>" and loading goes on.
    void prepare_models();

    // Marks the ground of the map objects once a race has loaded: the
    // first node of every detail level of every map object's model takes
    // model_node::mark_below_level(level, amount), which lowers its
    // meshes' level values and flags its ground meshes; a model with ground
    // gets scene_ground_object. Each model is marked once, however many
    // grid items name it. Returns the models that have ground.
    int mark_objects(float level, float amount);

    // True unless a texture of a map object's model (any detail level, any
    // node, any material reference, every frame) has a cache class above 5:
    // the low four bits of the cache word the renderer's texture cache gives
    // (texture_surfaces().cache_word); while it gives none, every texture
    // passes.
    bool check_textures() const;

    // The segment (start, end) against the map objects of the scene and of
    // every scene chained after it: for each scene whose box holds the
    // segment's bounding box, the shown models of the items in the cells
    // that box touches (lowered by the grid's reach) are hit-tested
    // (ml_modelinfo::hit_test); the nearest hit over all of them is left in
    // `result`. Returns the result's hit flag (cleared first).
    int hit_test(hit_result* result, const vec4 segment[2]) const;

    // Frees every library and the grid; the scene is empty again.
    void release();

    // Map items in the grid's first lists whose instance is linked.
    std::size_t linked_item_count() const;

    // Appends this scene's visible map objects (scene_view.cpp).
    map_item** get_ref_list(map_item** out, map_item** end, scene_view& view);

    map_grid grid;
    std::vector<std::unique_ptr<model_lib>> model_libs;   // newest first
    mtr_lib* material_libs = nullptr;   // newest first, chained through next (owned)
    anim_lib* anim_libs = nullptr;      // newest first, chained through next (owned)
    std::uint32_t spare = 0;
    scene* next = nullptr;              // the next scene of a chain (not owned)
    std::uint32_t owner_state = 2;

    static inline int live = 0;
};

// Flag of a map object's model that has ground meshes (mark_objects); the
// ground search under an instance tries only such objects.
inline constexpr std::uint32_t scene_ground_object = 0x10000;

// Reports a scene error and ends the program with exit status 1: code 0
// "SCENE:: Fatal error!", 1 "SCENE:: File open error!", any other "SCENE::
// Unknown error!", captioned "error".
[[noreturn]] void scene_error(int code);
