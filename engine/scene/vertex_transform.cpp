#include "engine/scene/vertex_transform.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "engine/base/engine.h"
#include "engine/model/anim_channels.h"
#include "engine/model/model_node.h"
#include "engine/model/shape_anim.h"
#include "engine/scene/lattice_deform.h"

namespace {

transform_fault_counts fault_counts;
transform_fault_counts fault_reported;   // nonzero once the kind has been written out

// Marks a work vertex that no skin group has written yet (a real outcode
// has at most the six plane bits).
constexpr std::uint32_t unwritten_vertex = 0xFFFFFFFFu;

// Points the frame at the buffers for `count` vertices; false when the mesh
// is skipped.
bool reserve(mesh_frame& frame, std::uint32_t count)
{
    frame.work = nullptr;
    frame.screen = nullptr;
    frame.written = 0;
    engine* e = frame.context;
    if (!e)
        return false;
    if (e->render_type == engine::software_render_type) {
        const std::uint64_t limit = software_vertex_limit > 0 ? static_cast<std::uint64_t>(software_vertex_limit) : 0;
        if (!e->sw_vertices || !e->sw_vertices2 || std::uint64_t{frame.in_use} + count >= limit ||
            std::uint64_t{frame.current} + count > limit)
            return false;
        frame.work = e->sw_vertices + frame.current;
        frame.screen = e->sw_vertices2 + frame.current;
        frame.next_free = frame.current + count;
        frame.in_use += count;
    } else {
        if (!fits_vertex_buffer(count)) {
            transform_report(&transform_fault_counts::oversized_meshes,
                             "mesh transform: a mesh has more vertices than the vertex buffer holds; not drawn");
            return false;
        }
        if (!e->vertex_a1 || !e->vertex_a2)
            return false;
        frame.work = e->vertex_a1;
        frame.screen = e->vertex_a2;
    }
    frame.written = count;
    return true;
}

// The node's mesh with room reserved for its vertices (their count in *n),
// or null when the node has no mesh or the mesh is skipped.
model_part* reserve_mesh(mesh_frame& frame, model_node& node, std::uint32_t* n)
{
    model_part* mesh = node.type == node_mesh ? node.mesh : nullptr;
    if (!mesh) {
        frame.written = 0;
        return nullptr;
    }
    *n = mesh_vertex_count(*mesh);
    return reserve(frame, *n) ? mesh : nullptr;
}

// Clip position of v x M, and its normal x the upper 3 x 3 of M.
void carry_vertex(const mesh_frame& frame, std::uint32_t i, const work_vertex& v, const mat4& m, bool normals)
{
    const vec4 p{v.x, v.y, v.z, 1.0f};
    vec4 c{};
    mat_transform_point(&m, &p, &c);
    work_vertex& out = frame.work[i];
    if (normals) {
        out.nx = v.nx * m.m[0][0] + v.ny * m.m[1][0] + v.nz * m.m[2][0];
        out.ny = v.nx * m.m[0][1] + v.ny * m.m[1][1] + v.nz * m.m[2][1];
        out.nz = v.nx * m.m[0][2] + v.ny * m.m[1][2] + v.nz * m.m[2][2];
    }
    out.u = v.u;
    out.v = v.v;
    out.intensity = v.intensity;
    project_vertex(c, frame.projection, &out, &frame.screen[i]);
}

float largest_scale(const vec4& s)
{
    return std::fmax(std::fabs(s.x), std::fmax(std::fabs(s.y), std::fabs(s.z)));
}

// The view-volume check: a mesh of more than 4 vertices whose sphere,
// carried by M, lies wholly inside must have no vertex with an outcode.
// Only the vertices of `indexes` (all when null) are checked.
void check_inside(const mesh_frame& frame, model_part& mesh, std::uint32_t count, const mat4& m, float radius,
                  const std::uint16_t* indexes, std::uint32_t index_count)
{
    if (count <= 4)
        return;
    if (mesh.bound_radius < 0.0f)
        mesh_calc_bounds(mesh);
    vec4 c{};
    mat_transform_point(&m, &mesh.bound_centre, &c);
    if (!sphere_wholly_inside(c, radius, frame.projection))
        return;
    const std::uint32_t n = indexes ? index_count : count;
    for (std::uint32_t k = 0; k < n; ++k) {
        const std::uint32_t i = indexes ? indexes[k] : k;
        if (i < count && frame.work[i].outcode != 0)
            transform_report(&transform_fault_counts::clip_check, "check error!: clip 3d");
    }
}

// The translation row of `combined` replaced by the point p x combined.
mat4 anchored(const mat4& combined, const vec4& p)
{
    mat4 m = combined;
    vec4 row{};
    mat_transform_point(&combined, &p, &row);
    m.m[3][0] = row.x;
    m.m[3][1] = row.y;
    m.m[3][2] = row.z;
    m.m[3][3] = row.w;
    return m;
}

// transform_clip_mesh for a mesh node `own`, whose world matrix, scale and
// deformation record are those of `driver` (itself, or the level-0 node of
// a detail-level node).
int clip_mesh(mesh_frame& frame, model_node& own, const model_node& driver, const mat4& combined,
              const mat4& to_world, int face_camera)
{
    std::uint32_t n = 0;
    model_part* mesh = reserve_mesh(frame, own, &n);
    if (!mesh)
        return 0;
    const bool normals = (own.flags & node_copied) != 0;
    const vec4& scale = driver.world_scale;

    // A sprite faces the camera: its rows are the camera's axes, rolled and
    // scaled, at the node's position.
    mat4 world = driver.world;
    if (mesh->mesh_word == 1) {
        const float a = own.angles.z;
        const float ca = std::cos(a);
        const float sa = std::sin(a);
        mat4 r{};
        mat_identity(&r);
        r.m[0][0] = ca * scale.x;
        r.m[0][1] = sa * scale.y;
        r.m[1][0] = -sa * scale.x;
        r.m[1][1] = ca * scale.y;
        r.m[2][2] = scale.z;
        mat_mul_affine(&r, &world, &to_world);
        world.m[3][0] = own.world_centre.x;
        world.m[3][1] = own.world_centre.y;
        world.m[3][2] = own.world_centre.z;
    }

    const std::uint8_t* source = mesh_rest_bytes(*mesh);
    int deformed = 0;
    const anim_node* record = driver.anim;
    const bool muscles = driver.muscle_count > 0 && driver.muscles;
    if ((record && record->shapes) || muscles) {
        // Shapes and muscles: the rest vertices into the work buffer, each
        // shape applied there at the frame's time, then each muscle at the
        // weight its joint's angle gives; the buffer is the source from here
        // on.
        const std::size_t bytes = std::size_t{n} * pipeline_vertex_bytes;
        std::memcpy(frame.work, source, bytes);
        if (record)
            for (const shape_anim* s = record->shapes; s; s = s->next)
                s->apply(frame.work, bytes, frame.time);
        for (std::int32_t k = 0; muscles && k < driver.muscle_count; ++k)
            driver.muscles[k].apply(frame.work, bytes);
        source = reinterpret_cast<const std::uint8_t*>(frame.work);
        deformed = 1;
    }
    if (record && record->lattice &&
        lattice_transform_vertices(frame, *record, scale, world, source, n, combined))
        return 1;

    if (mesh->bound_radius < 0.0f)
        mesh_calc_bounds(*mesh);
    const float radius = mesh->bound_radius * largest_scale(scale);
    if (own.skin_ref_count > 0 && own.skin_refs) {
        for (std::uint32_t i = 0; i < n; ++i)
            frame.work[i].outcode = unwritten_vertex;
        for (std::int32_t g = 0; g < own.skin_ref_count; ++g) {
            const skin_ref* ref = own.skin_refs[g];
            if (!ref || !ref->bone || !ref->group)
                continue;
            // The bone's skinning matrix keeps a vertex in the mesh node's
            // frame; the node's world matrix then places it.
            mat4 bw{};
            mat_mul_affine(&ref->bone->skinning, &bw, &world);
            mat4 m{};
            mat_mul(&bw, &m, &combined);
            const skin_group& group = *ref->group;
            for (std::uint32_t k = 0; k < group.vertex_count; ++k) {
                const std::uint32_t i = group.vertices[k];
                if (i >= n) {
                    transform_report(&transform_fault_counts::bad_skin_vertices,
                                     "mesh transform: a skin group names a vertex the mesh does not have");
                    continue;
                }
                carry_vertex(frame, i, source_vertex(source, i), m, normals);
            }
            check_inside(frame, *mesh, n, m, radius, group.vertices, group.vertex_count);
        }
        // Vertices that no group moves follow the node.
        mat4 m{};
        mat_mul(&world, &m, &combined);
        for (std::uint32_t i = 0; i < n; ++i)
            if (frame.work[i].outcode == unwritten_vertex)
                carry_vertex(frame, i, source_vertex(source, i), m, normals);
        return deformed;
    }

    mat4 m{};
    if (face_camera) {
        const vec4 at{world.m[3][0], world.m[3][1], world.m[3][2], 1.0f};
        m = anchored(combined, at);
    } else {
        mat_mul(&world, &m, &combined);
    }
    for (std::uint32_t i = 0; i < n; ++i)
        carry_vertex(frame, i, source_vertex(source, i), m, normals);
    check_inside(frame, *mesh, n, m, radius, nullptr, 0);
    return deformed;
}

// The compact routines: every vertex by M, no deformation.
void carry_all(mesh_frame& frame, const model_part& mesh, std::uint32_t n, const mat4& m, bool normals)
{
    const std::uint8_t* source = mesh_rest_bytes(mesh);
    for (std::uint32_t i = 0; i < n; ++i)
        carry_vertex(frame, i, source_vertex(source, i), m, normals);
}

int mesh_pivot(mesh_frame& frame, model_node& node, const vec4& local, const mat4& combined)
{
    std::uint32_t n = 0;
    model_part* mesh = reserve_mesh(frame, node, &n);
    if (!mesh)
        return 0;
    const mat4 m = anchored(combined, {local.x, local.y, local.z, 1.0f});
    carry_all(frame, *mesh, n, m, false);
    if (mesh->bound_radius < 0.0f)
        mesh_calc_bounds(*mesh);
    check_inside(frame, *mesh, n, m, mesh->bound_radius, nullptr, 0);
    return 0;
}

} // namespace

bool reserve_vertices(mesh_frame& frame, std::uint32_t count)
{
    return reserve(frame, count);
}

std::uint32_t mesh_vertex_count(const model_part& mesh)
{
    const std::size_t stored = mesh.vertices.size() / pipeline_vertex_bytes;
    return mesh.vertex_count < stored ? mesh.vertex_count : static_cast<std::uint32_t>(stored);
}

const std::uint8_t* mesh_rest_bytes(const model_part& mesh)
{
    return mesh.vertices.data();
}

work_vertex source_vertex(const std::uint8_t* source, std::uint32_t i)
{
    work_vertex v;
    std::memcpy(&v, source + std::size_t{i} * pipeline_vertex_bytes, sizeof v);
    return v;
}

std::uint32_t vertex_outcode(float x, float y, float z, float w, const projection_settings& proj)
{
    // The quiet comparisons: a NaN is outside and raises no exception.
    std::uint32_t code = 0;
    if (!std::isgreaterequal(x, -w))
        code |= 1;
    else if (!std::islessequal(x, w))
        code |= 2;
    if (!std::isgreaterequal(y, -w))
        code |= 8;
    else if (!std::islessequal(y, w))
        code |= 4;
    if (!std::islessequal(z, proj.near_z))
        code |= 16;
    else if (!std::isgreaterequal(z, proj.far_z))
        code |= 32;
    return code;
}

void project_vertex(const vec4& clip, const projection_settings& proj, work_vertex* work, screen_vertex* screen)
{
    work->x = clip.x;
    work->y = clip.y;
    work->z = clip.z;
    work->w = clip.w;
    work->outcode = vertex_outcode(clip.x, clip.y, clip.z, clip.w, proj);
    if (clip.w == 0.0f || !std::isfinite(clip.w)) {
        screen->sx = proj.centre_x;
        screen->sy = proj.centre_y;
        screen->rhw = 0.0f;
        return;
    }
    const float rhw = 1.0f / clip.w;
    screen->sx = proj.centre_x + proj.scale_x * clip.x * rhw;
    screen->sy = proj.centre_y - proj.scale_y * clip.y * rhw;
    screen->rhw = rhw;
}

bool sphere_wholly_inside(const vec4& c, float r, const projection_settings& proj)
{
    return c.z + r <= proj.near_z && c.z - r >= proj.far_z && -c.w <= c.x - r && c.x + r <= c.w &&
           -c.w <= c.y - r && c.y + r <= c.w;
}

void mesh_calc_bounds(model_part& mesh)
{
    const std::uint32_t n = mesh_vertex_count(mesh);
    const std::uint8_t* source = mesh_rest_bytes(mesh);
    mesh.bound_centre = {0.0f, 0.0f, 0.0f, 1.0f};
    mesh.bound_radius = 0.0f;
    if (n == 0)
        return;
    double sx = 0.0, sy = 0.0, sz = 0.0;
    for (std::uint32_t i = 0; i < n; ++i) {
        const work_vertex v = source_vertex(source, i);
        sx += v.x;
        sy += v.y;
        sz += v.z;
    }
    const vec4 c{static_cast<float>(sx / n), static_cast<float>(sy / n), static_cast<float>(sz / n), 1.0f};
    float largest = 0.0f;
    for (std::uint32_t i = 0; i < n; ++i) {
        const work_vertex v = source_vertex(source, i);
        const float dx = v.x - c.x, dy = v.y - c.y, dz = v.z - c.z;
        largest = std::fmax(largest, std::sqrt(dx * dx + dy * dy + dz * dz));
    }
    mesh.bound_centre = c;
    mesh.bound_radius = 1.63f * largest;
}

int transform_clip_mesh(mesh_frame& frame, model_node& node, const mat4& combined, const mat4& view,
                        const mat4& to_world, int face_camera)
{
    (void)view;
    return clip_mesh(frame, node, node, combined, to_world, face_camera);
}

int transform_clip_mesh_alt(mesh_frame& frame, model_node& node, const mat4& combined, const mat4& view,
                            const mat4& to_world, int face_camera)
{
    (void)view;
    const model_node& driver = node.level0 ? *node.level0 : node;
    return clip_mesh(frame, node, driver, combined, to_world, face_camera);
}

int transform_mesh_matrix(mesh_frame& frame, model_node& node, const mat4& combined)
{
    std::uint32_t n = 0;
    model_part* mesh = reserve_mesh(frame, node, &n);
    if (!mesh)
        return 0;
    mat4 m{};
    mat_mul(&node.world, &m, &combined);
    carry_all(frame, *mesh, n, m, (node.flags & node_copied) != 0);
    return 0;
}

int transform_mesh_pivot(mesh_frame& frame, model_node& node, const mat4& combined)
{
    return mesh_pivot(frame, node, node.local_position, combined);
}

int transform_mesh_pivot_alt(mesh_frame& frame, model_node& node, const mat4& combined)
{
    const vec4& local = node.level0 ? node.level0->local_position : node.local_position;
    return mesh_pivot(frame, node, local, combined);
}

const transform_fault_counts& transform_faults()
{
    return fault_counts;
}

void transform_reset_faults()
{
    fault_counts = {};
    fault_reported = {};
}

void transform_report(unsigned long transform_fault_counts::*counter, const char* what)
{
    ++(fault_counts.*counter);
    if (fault_reported.*counter == 0) {
        fault_reported.*counter = 1;
        std::fprintf(stderr, "%s\n", what);
    }
}
