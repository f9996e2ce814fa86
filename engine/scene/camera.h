#pragma once

#include <cstdint>

#include "engine/base/mat4.h"
#include "engine/base/vec4.h"
#include "engine/model/ml_modelinfo.h"

class fcurve;
class model_node;
struct projection_settings;

// The engine's eye: a position, an aim (a target point or three angles), a
// roll, a horizontal field of view with an aspect ratio, and a far distance,
// from which it keeps the matrices every drawing stage uses.
//
// Matrices follow the engine convention: points are row vectors, p' = p x M,
// the translation in the fourth row. The camera looks down -z of its own
// space. After update():
//   view        world to camera
//   to_world    camera to world
//   lens        (x, y, z, 1) x lens = (x + z shift_x, aspect y + z shift_y,
//               z, -z tan(fov/2)): w' is positive in front of the camera
//   combined    view x lens (world to clip space)
//   combined_inverse  lens_inverse x to_world (the affine part only)
//
// A point (x', y', z', w') = p x combined lands on the screen at
//   x = centre_x + scale_x x'/w',  y = centre_y - scale_y y'/w'
// (project_to_screen below), so a point straight ahead lands on the centre
// and, with the default aspect 1.33 on a 4:3 viewport, pixels are square.
class camera {
public:
    // Bit of `mode`: aim at the target point (clear: aim by the angles).
    static constexpr std::int32_t mode_target = 2;

    // Default field of view (60 degrees) and far distance.
    static constexpr float default_fov = 1.0471976f;
    static constexpr float default_far = 100.0f;
    // The default base distance of the level-of-detail choice. The choice
    // compares squared distances with (lod_distance x threshold)^2, so with
    // 1.0 a model's detail thresholds read as plain world distances.
    static constexpr float default_lod_distance = 1.0f;

    // A field of view is kept inside [min_fov, max_fov] (radians): at 0 the
    // focal value 1/tan(fov/2) would divide by zero, at pi tan(fov/2) is
    // unbounded.
    static constexpr float min_fov = 0.001f;
    static constexpr float max_fov = 3.14f;

    // The defaults listed with the fields, then set_fov(default_fov); owner
    // state 2. `mode` 2 aims at the target, 0 by the angles.
    explicit camera(std::int32_t mode = mode_target);
    ~camera() = default;
    camera(const camera&) = delete;
    camera& operator=(const camera&) = delete;

    // apply_fov(fov); lod_factor = fov_curve(fov), or 1.0 without a curve;
    // far = range_curve(fov) x far_base, or far_base without a curve. A
    // curve value that is not a finite number above 0 counts as 1.0.
    void set_fov(float fov);
    // fov (kept inside [min_fov, max_fov]), half_fov and focal; the curves
    // are not evaluated.
    void apply_fov(float fov);
    // Stores a, b, c, 1/far and -2/far^2. A far distance that is not a
    // finite number above 0 stores 0 for both derived values.
    void set_clip(float a, float b, float c, float far_distance);
    // Copies position and target, stores the roll and writes focal
    // directly (fov and half_fov are left as they are).
    void set_position(const vec4* new_position, const vec4* new_target, float new_roll, float new_focal);
    // The same without the focal value.
    void set_position_mode(const vec4* new_position, const vec4* new_target, float new_roll);
    // With on = 1: each update takes the position (resp. the target) from
    // the node's world position, and the node is returned. Any other value
    // changes nothing and returns null (a link is never removed here: clear
    // position_link_on to stop following).
    model_node* link_position(model_node* object, int on);
    model_node* link_target(model_node* object, int on);

    // Refreshes the linked points, then build_view, build_lens, combined
    // and combined_inverse.
    void update();
    void build_view();
    void build_lens();

    // The yaw-only billboard matrices from the horizontal direction target
    // to position: identity with rows (s.x, 0, s.z), (0, 1, 0), (n.x, 0, n.z);
    // heading_inverse is its transpose.
    void build_heading();

    // What the level-of-detail choice of the models needs: the camera's
    // position, lod_distance and, with a lens curve, lod_factor.
    lod_view detail_view() const;

    std::int32_t mode = mode_target;
    vec4 position{0.0f, 0.0f, 0.0f, 0.0f};
    vec4 target{0.0f, 0.0f, -1.0f, 0.0f};
    vec4 angles{};
    fcurve* fov_curve = nullptr;      // field of view -> lod_factor (not owned)
    float lod_factor = 1.0f;
    float lod_distance = default_lod_distance;
    fcurve* range_curve = nullptr;    // field of view -> factor of far_base (not owned)
    float far = default_far;
    float far_base = default_far;
    float fov = default_fov;
    float focal = 0.0f;
    float aspect = 1.33f;
    float shift_x = 0.0f;
    float shift_y = 0.0f;
    float clip_a = 0.0f;
    float clip_b = 0.0f;
    float clip_c = 0.0f;
    float inv_far = 0.0f;
    float depth_term = 0.0f;
    std::int32_t position_link_on = 0;
    model_node* position_link = nullptr;
    std::int32_t target_link_on = 0;
    model_node* target_link = nullptr;
    float roll = 0.0f;
    float half_fov = 0.0f;
    mat4 view{};
    mat4 to_world{};
    mat4 lens{};
    mat4 lens_inverse{};
    mat4 combined{};
    mat4 combined_inverse{};
    mat4 heading{};
    mat4 heading_inverse{};
    std::uint32_t spare[2] = {};
    std::uint32_t owner_state = 2;
};

// The rotation whose columns are the basis (s, u, f) of an aim: f is the
// direction (fx, fy, fz) scaled by 1/(length + 0.001), s = (f.z, 0, -f.x)
// scaled by 1/(|(f.z, -f.x)| + 0.001) the horizontal side, u = f x s scaled
// by 1/(length + 0.001) the up direction; p x R gives p's coordinates along
// s, u and f. A zero or vertical direction gives a degenerate but finite
// basis. The camera (f from the target to the eye) and spot lights (f from
// the light to its target) build their frames with it.
mat4 aim_basis(float fx, float fy, float fz);

// Where clip-space points land on a viewport (the projection settings of
// the mesh pipeline, engine/scene/vertex_transform.h): for the viewport x0,
// y0, width, height the centre is (x0 + width/2 - 1, y0 + height/2 - 1) and
// the scales (width/2 - 1, height/2 - 1), integer halves as the view keeps
// them. The depth limits are left as they are.
void set_viewport_projection(projection_settings& proj, int x0, int y0, int width, int height);

// The screen point of a world point seen through the camera (its combined
// matrix, then x = centre_x + scale_x x'/w', y = centre_y - scale_y y'/w');
// false (outputs untouched) when w' is not above 0, i.e. at or behind the
// eye plane.
bool project_to_screen(const camera& cam, const projection_settings& proj, const vec4& world, float* screen_x,
                       float* screen_y);
