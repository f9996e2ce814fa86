#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/base/vec4.h"
#include "engine/scene/vertex_transform.h"

class camera;
class ml_modelinfo;
class model_node;
class model_record;
class scene;
class scene_view;
struct map_item;
struct scn_light;

// Instance flag bits (the ml_modelinfo flags word) the view reads and writes.
inline constexpr std::uint32_t instance_shown = 0x1;             // listed and drawn only with it
inline constexpr std::uint32_t instance_visible = 0x4;           // visible this frame
inline constexpr std::uint32_t instance_transforms_valid = 0x8;  // map objects: the face-camera request
inline constexpr std::uint32_t instance_draws_pair = 0x20;       // draws its pair right after itself
inline constexpr std::uint32_t instance_drawn_by_pair = 0x40;    // drawn only through its pair
inline constexpr std::uint32_t instance_linked_shadow = 0x20000; // a linked shadow: never listed
inline constexpr std::uint32_t instance_has_shadow = 0x40000;    // has a linked shadow instance
inline constexpr std::uint32_t instance_map_object = 0x80000;    // taken by a reference pass
inline constexpr std::uint32_t instance_early_pass = 0x10000000; // textures of cache class A

// First-node flags of map objects shown only while the view's switch is on.
inline constexpr std::uint32_t map_node_switch15 = 0x8000;
inline constexpr std::uint32_t map_node_switch31 = 0x80000000u;

// Instances (and map objects) one frame may list; the lists have room for
// one more word, the terminator.
inline constexpr int scene_max_visible = 499;

// A bounding radius above this skips the grid test (sky domes and the like).
inline constexpr float grid_test_radius_limit = 400000.0f;

// The view volume: four side planes (a, b, c, d) built from the half field
// of view alpha (left (-cos a, 0, sin a), right (cos a, 0, sin a), top (0,
// cos a, sin a), bottom (0, -cos a, sin a), each then divided by its third
// component; the fourth components are not used), the near plane's depth
// twice and the far plane's depth. Depths are view-space z values:
// negative, the camera looks down -z.
struct view_frustum {
    float planes[4][4] = {};
    float near_z = -1.0f;
    float near_z_copy = -1.0f;
    float far_z = -1.0f;

    // far_z = -far; the third value is not used.
    void set(float half_fov, float near_depth, float unused, float far);
    // set() with far 1.0.
    void set_default(float half_fov, float near_depth, float unused);
};

// The three inequalities every visibility test of the view uses, for a
// sphere of view-space centre (x, z) and radius r: not wholly beyond the
// far plane (z + r > far_z), reaching in front of the near plane
// (z - r < near_z), and not wholly outside the left or right side
// (|x| - r < (z - r) (-tan_half_fov)).
bool sphere_in_view(float x, float z, float r, float near_z, float far_z, float tan_half_fov);

// What the view hands the mesh drawing, which is built separately (the
// hardware path's mesh drawing, the software path's depth sort and the
// patch tessellator install these). Until they are installed, the view
// walks its lists, keeps each instance's level of detail and flushes
// nothing: no polygon reaches the renderer.
struct scene_draw_hooks {
    // Draws the nodes of `drawn` (the instance's chosen detail level, or
    // the instance itself) for `instance`: each node's transform routine,
    // its lights, and the mesh drawing or depth sort; counts the meshes,
    // vertices and faces in the view's statistics; makes the vertices of a
    // linked shadow follow the plain transforms (draw_instance then draws
    // the shadow) and dims a shadowed instance by its ground shade.
    // `face_camera` is the map objects' face-camera request.
    void (*draw_nodes)(ml_modelinfo* instance, model_record* drawn, scene_view& view, int face_camera) = nullptr;
    // Draws the queued polygon batches (render_device::draw_scene).
    void (*flush)() = nullptr;
    // Software render type: draws and empties the depth buckets.
    void (*zsort_draw)(scene_view& view) = nullptr;
    // Draws a flattened shadow mesh whose vertices draw_planar_shadow laid
    // in the view's frame buffers (face normals, then the software depth
    // sort, or the back-face selection and the shadow's one-depth drawing).
    void (*draw_shadow_mesh)(model_node* node, scene_view& view) = nullptr;
    // Finds the ground under an instance whose shadow flag is set, leaving
    // its ground shade in shadow_state[0] (which an instance drawn through
    // its pair copies from the pair); called by prepare for each such
    // visible instance.
    void (*ground_under_instance)(ml_modelinfo* instance, scene* world) = nullptr;
};
scene_draw_hooks& scene_hooks();

// The engine's window onto one loaded scene (or a chain of scenes) through
// one camera. Every frame its owner calls prepare() and then draw().
//
// prepare() decides what is seen (the visible instances of the view's
// list, the visible map objects of every scene of the chain, the lights),
// brings every visible instance's level of detail and node matrices up to
// date and sets the projection every later stage reads; draw() walks the
// visible things in a fixed order and hands each to draw_instance.
class scene_view {
public:
    // The frustum is set_default(camera's half field of view, -1.0), so
    // far_z is -1.0 until prepare sets the camera's far distance. The
    // viewport gives the centre (x0 + width/2 - 1, y0 + height/2 - 1) and
    // the half sizes (width/2, height/2), integer halves.
    scene_view(scene* world, ml_modelinfo* instance_list, std::uint32_t user_word, camera* cam, int x0, int y0,
               int width, int height);
    // The instances stay with their owners. When the view's camera is the
    // current context's camera (prepare made it so), the context is left
    // without a camera rather than with one that may end with the view.
    ~scene_view();
    scene_view(const scene_view&) = delete;
    scene_view& operator=(const scene_view&) = delete;

    // Puts the instance at the head of the view's instance list (the
    // instance's scene links: previous, next) and, except in the software
    // render type, marks the texture cache class its textures use
    // (ml_modelinfo::check_cache_used: textures no class holds end the
    // program). Instances are not owned; an instance must be taken off
    // (remove_instance) before it is destroyed.
    void add_instance(ml_modelinfo* instance);
    // Unlinks an instance of the list; nothing for one that is not in it.
    void remove_instance(ml_modelinfo* instance);

    void prepare();
    void draw();

    // Appends the visible instances of `list` to out (at most up to `end`,
    // beyond which the program ends with the view's limit error) and
    // returns the position after the last one written.
    ml_modelinfo** get_vis_list(ml_modelinfo** out, ml_modelinfo** end, ml_modelinfo* list, scene* world);

    // The projection of the frame (centre, scale, near and far depth) and
    // the rest of what the transform routines share.
    mesh_frame& frame() { return frame_; }
    const projection_settings& projection() const { return frame_.projection; }

    scene* world = nullptr;
    camera* cam = nullptr;
    ml_modelinfo* instances = nullptr;
    std::uint32_t user = 0;
    view_frustum frustum;
    std::int32_t centre_x = 0;
    std::int32_t centre_y = 0;
    std::int32_t half_width = 0;
    std::int32_t half_height = 0;
    float aspect = 1.33f;
    // Map objects whose first node carries flag bit 15 (resp. bit 31) are
    // only taken while the switch is on; both start off.
    std::int32_t show_flag15 = 0;
    std::int32_t show_flag31 = 0;
    void (*pre_draw)() = nullptr;
    std::uint32_t spare[2] = {};
    std::uint32_t owner_state = 2;

    // The eye in the space of the transformed vertices: (0, 0, 0) after
    // prepare (w keeps its value).
    vec4 eye_point{0.0f, 0.0f, 0.0f, 1.0f};

    // The frame's lists, null-terminated: visible instances in the order of
    // the instance list; visible map objects; the lights of the frame
    // (instance lights first, then map-object lights); and, except in the
    // software render type, the visible instances sorted by ascending
    // view-space depth of their bounding-sphere centre (farthest first)
    // with the depths beside them.
    ml_modelinfo* visible[scene_max_visible + 1] = {};
    map_item* references[scene_max_visible + 1] = {};
    std::vector<scn_light*> lights;
    ml_modelinfo* draw_list[scene_max_visible + 1] = {};
    float draw_depths[scene_max_visible + 1] = {};
    int draw_count = 0;

    // Statistics of the frame, reset by prepare, counted by the mesh
    // drawing: meshes drawn, their vertices, their faces.
    std::uint32_t meshes_drawn = 0;
    std::uint32_t vertices_drawn = 0;
    std::uint32_t faces_drawn = 0;

    static inline int live = 0;

private:
    void insert_draw_list(ml_modelinfo* instance, float depth);
    void prepare_instances();
    void prepare_lights();
    void draw_hardware();
    // Draws a visible instance through its lens (ml_modelinfo::lens_curve):
    // the camera's field of view changed for it alone, the frustum and the
    // camera's matrices with it, then set back; the clip depths refreshed.
    void draw_through_lens(ml_modelinfo* m);

    mesh_frame frame_;
};

// Draws one instance: the model drawn is its chosen detail level when it
// has detail levels and a level is chosen, else the instance itself; the
// nodes go to the installed mesh drawing (scene_hooks().draw_nodes); the
// instance's level of detail is then set back to -1, to be chosen again
// by the next prepare.
//
// An instance with a linked shadow (instance_has_shadow, link_shadow in
// engine/model/shadow_link.h) hands the shadow its detail level first: -1
// when the shadow has fewer levels, else the same, and at least 0 when the
// drawn level is itself linked. After the instance's nodes (whose plain
// transforms made the linked shadow vertices follow): a linked drawn level
// lays its shadow flat (draw_planar_shadow); otherwise a shadow level that
// is not a linked one is drawn as an instance of its own, its root placed
// at the shadow's position and turn.
void draw_instance(ml_modelinfo* instance, scene_view& view, int face_camera);

// The lights of an instance's current animation (ml_modelinfo::
// collect_lights: shown instances only), each prepared for the camera by
// prepare_scene_light, appended to `out` unless already there (instances of
// one model share their animation's lights); returns how many were added.
int collect_instance_lights(ml_modelinfo& instance, const camera& cam, std::vector<scn_light*>& out);

// The light preparer the scene installs for the models (ml_modelinfo::
// set_light_preparer; scene_view::prepare installs it): a light prepared
// before starts again from its world position and target, then
// light_transform with the camera's view matrix. Nothing without a camera.
void prepare_scene_light(scn_light* light, const camera* cam);
