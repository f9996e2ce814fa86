#include "engine/scene/camera.h"

#include <cmath>

#include "engine/model/camera_facing.h"
#include "engine/model/fcurve.h"
#include "engine/model/model_node.h"
#include "engine/scene/vertex_transform.h"

namespace {

bool positive_finite(float v)
{
    return std::isfinite(v) && v > 0.0f;
}

// The translation matrix T(t).
mat4 translation(float x, float y, float z)
{
    mat4 t;
    mat_identity(&t);
    t.m[3][0] = x;
    t.m[3][1] = y;
    t.m[3][2] = z;
    return t;
}

// The 3x3 transpose of a matrix without translation (fourth row and column
// of the identity).
mat4 rotation_transpose(const mat4& r)
{
    mat4 out;
    mat_identity(&out);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            out.m[i][j] = r.m[j][i];
    return out;
}

model_node* link_point(model_node* object, int on, std::int32_t& link_on, model_node*& link)
{
    if (on != 1)
        return nullptr;
    link_on = 1;
    link = object;
    return object;
}

void copy_world_position(const model_node* node, vec4& out)
{
    out.x = node->world.m[3][0];
    out.y = node->world.m[3][1];
    out.z = node->world.m[3][2];
}

// How billboards read a camera: its world matrix and its yaw-only heading.
bool read_camera_facing(const camera* cam, camera_facing* out)
{
    if (!cam || !out)
        return false;
    out->world = cam->to_world;
    out->heading = cam->heading;
    out->heading_inverse = cam->heading_inverse;
    return true;
}

} // namespace

camera::camera(std::int32_t camera_mode) : mode(camera_mode)
{
    // Cameras are the scene's: whoever makes one makes billboards able to
    // face it.
    set_camera_facing_reader(&read_camera_facing);
    mat_identity(&view);
    mat_identity(&to_world);
    mat_identity(&lens);
    mat_identity(&lens_inverse);
    mat_identity(&combined);
    mat_identity(&combined_inverse);
    mat_identity(&heading);
    mat_identity(&heading_inverse);
    set_fov(default_fov);
    owner_state = 2;
}

void camera::apply_fov(float new_fov)
{
    if (std::isnan(new_fov) || new_fov < min_fov)
        new_fov = min_fov;
    if (new_fov > max_fov)
        new_fov = max_fov;
    fov = new_fov;
    half_fov = new_fov * 0.5f;
    focal = static_cast<float>(1.0 / std::tan(static_cast<double>(half_fov)));
}

void camera::set_fov(float new_fov)
{
    apply_fov(new_fov);
    // Curves are evaluated at the field of view actually in use.
    lod_factor = 1.0f;
    if (fov_curve) {
        const float factor = fov_curve->calc(fov);
        lod_factor = positive_finite(factor) ? factor : 1.0f;
    }
    far = far_base;
    if (range_curve) {
        const float factor = range_curve->calc(fov);
        far = (positive_finite(factor) ? factor : 1.0f) * far_base;
    }
}

void camera::set_clip(float a, float b, float c, float far_distance)
{
    clip_a = a;
    clip_b = b;
    clip_c = c;
    if (positive_finite(far_distance) && positive_finite(far_distance * far_distance)) {
        inv_far = 1.0f / far_distance;
        depth_term = -2.0f / (far_distance * far_distance);
    } else {
        inv_far = 0.0f;
        depth_term = 0.0f;
    }
}

void camera::set_position(const vec4* new_position, const vec4* new_target, float new_roll, float new_focal)
{
    set_position_mode(new_position, new_target, new_roll);
    focal = new_focal;
}

void camera::set_position_mode(const vec4* new_position, const vec4* new_target, float new_roll)
{
    position = *new_position;
    target = *new_target;
    roll = new_roll;
}

model_node* camera::link_position(model_node* object, int on)
{
    return link_point(object, on, position_link_on, position_link);
}

model_node* camera::link_target(model_node* object, int on)
{
    return link_point(object, on, target_link_on, target_link);
}

void camera::build_view()
{
    if (!(mode & mode_target)) {
        // Angle mode: R = Rz(z) x Rx(x) x Ry(y).
        mat4 r, step;
        mat_rot_z(&r, angles.z);
        mat_rotate_x(&r, &step, angles.x);
        mat_rotate_y(&step, &r, angles.y);
        mat_copy(&to_world, &r);
        to_world.m[3][0] = position.x;
        to_world.m[3][1] = position.y;
        to_world.m[3][2] = position.z;
        const mat4 back = translation(-position.x, -position.y, -position.z);
        const mat4 rt = rotation_transpose(r);
        mat_mul(&back, &view, &rt);
        return;
    }

    // Target mode: f points from the target back to the eye (the camera
    // looks down -f); u = f x s makes (s, u, f) right-handed, so the
    // world's +y shows upwards as in the angle mode.
    const mat4 r = aim_basis(position.x - target.x, position.y - target.y, position.z - target.z);
    mat4 z, rz;
    mat_rot_z(&z, -roll);
    mat_mul(&r, &rz, &z);
    const mat4 back = translation(-position.x, -position.y, -position.z);
    mat_mul(&back, &view, &rz);
    const mat4 rzt = rotation_transpose(rz);
    const mat4 forth = translation(position.x, position.y, position.z);
    mat_mul(&rzt, &to_world, &forth);
}

void camera::build_lens()
{
    // A focal value written directly (set_position) that is not a finite
    // number above 0 gives way to the one of the field of view.
    const float tan_half = positive_finite(focal) ? 1.0f / focal
                                                  : static_cast<float>(std::tan(static_cast<double>(half_fov)));
    mat_identity(&lens);
    lens.m[1][1] = aspect;
    lens.m[2][0] = shift_x;
    lens.m[2][1] = shift_y;
    lens.m[2][3] = -tan_half;
    lens.m[3][3] = 0.0f;

    mat_identity(&lens_inverse);
    const float a = aspect != 0.0f ? aspect : 1.0f;
    lens_inverse.m[1][1] = 1.0f / a;
    lens_inverse.m[2][0] = -shift_x;
    lens_inverse.m[2][1] = -shift_y / a;
}

void camera::update()
{
    if (position_link_on == 1 && position_link)
        copy_world_position(position_link, position);
    if (target_link_on == 1 && target_link)
        copy_world_position(target_link, target);
    build_view();
    build_lens();
    mat_mul(&view, &combined, &lens);
    mat_mul(&lens_inverse, &combined_inverse, &to_world);
}

void camera::build_heading()
{
    const float dx = position.x - target.x;
    const float dz = position.z - target.z;
    const float dl = std::sqrt(dx * dx + dz * dz) + 0.001f;
    const float nx = dx / dl;
    const float nz = dz / dl;
    const float sl = std::sqrt(nz * nz + nx * nx) + 0.001f;
    const float sx = nz / sl;
    const float sz = -nx / sl;
    mat_identity(&heading);
    heading.m[0][0] = sx;
    heading.m[0][2] = sz;
    heading.m[2][0] = nx;
    heading.m[2][2] = nz;
    mat_transpose(&heading, &heading_inverse);
}

lod_view camera::detail_view() const
{
    lod_view v;
    v.position = {position.x, position.y, position.z, 1.0f};
    v.detail_distance = lod_distance;
    v.lod_factor = lod_factor;
    v.has_fov_curve = fov_curve != nullptr;
    return v;
}

mat4 aim_basis(float fx, float fy, float fz)
{
    const float fl = std::sqrt(fx * fx + fy * fy + fz * fz) + 0.001f;
    const vec4 f{fx / fl, fy / fl, fz / fl, 0.0f};
    const float sl = std::sqrt(f.z * f.z + f.x * f.x) + 0.001f;
    const vec4 s{f.z / sl, 0.0f, -f.x / sl, 0.0f};
    vec4 u{f.y * s.z - f.z * s.y, f.z * s.x - f.x * s.z, f.x * s.y - f.y * s.x, 0.0f};
    const float ul = std::sqrt(u.x * u.x + u.y * u.y + u.z * u.z) + 0.001f;
    u.x /= ul;
    u.y /= ul;
    u.z /= ul;
    mat4 r;
    mat_identity(&r);
    const vec4* columns[3] = {&s, &u, &f};
    for (int c = 0; c < 3; ++c) {
        r.m[0][c] = columns[c]->x;
        r.m[1][c] = columns[c]->y;
        r.m[2][c] = columns[c]->z;
    }
    return r;
}

void set_viewport_projection(projection_settings& proj, int x0, int y0, int width, int height)
{
    proj.centre_x = static_cast<float>(x0 + width / 2 - 1);
    proj.centre_y = static_cast<float>(y0 + height / 2 - 1);
    proj.scale_x = static_cast<float>(width / 2 - 1);
    proj.scale_y = static_cast<float>(height / 2 - 1);
}

bool project_to_screen(const camera& cam, const projection_settings& proj, const vec4& world, float* screen_x,
                       float* screen_y)
{
    vec4 clip;
    mat_transform_point(&cam.combined, &world, &clip);
    if (!std::isgreater(clip.w, 0.0f))   // NaN included, without raising
        return false;
    const float inv_w = 1.0f / clip.w;
    *screen_x = proj.centre_x + proj.scale_x * clip.x * inv_w;
    *screen_y = proj.centre_y - proj.scale_y * clip.y * inv_w;
    return true;
}
