#include "engine/scene/cloth.h"

#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "engine/base/error_box.h"
#include "engine/model/mdl_format.h"
#include "engine/model/mdl_reader.h"
#include "engine/model/model_node.h"

namespace {

// A double stored as two little-endian words; a value that is not finite
// reads as 0 (a damaged file must not put NaN into the simulation).
double stored_double(const std::uint32_t* words)
{
    const std::uint64_t bits = std::uint64_t{words[0]} | (std::uint64_t{words[1]} << 32);
    const double value = std::bit_cast<double>(bits);
    return std::isfinite(value) ? value : 0.0;
}

constexpr std::uint32_t no_particle = 0xFFFFFFFFu;

[[noreturn]] void fatal(const char* text)
{
    error_box("cloth::init", "%s", text);
    std::exit(1);
}

float as_float(double v)
{
    return static_cast<float>(v);
}

} // namespace

cloth::cloth(const mdl_cloth& definition)
{
    particles.resize(definition.particles.size());
    for (std::size_t i = 0; i < particles.size(); ++i) {
        const auto& words = definition.particles[i];
        cloth_particle& p = particles[i];
        p.force.x = stored_double(&words[mdl::particle_word_force]);
        p.force.y = stored_double(&words[mdl::particle_word_force + 2]);
        p.force.z = stored_double(&words[mdl::particle_word_force + 4]);
        p.state = static_cast<std::int32_t>(words[mdl::particle_word_state]);
    }
    springs.resize(definition.springs.size());
    for (std::size_t s = 0; s < springs.size(); ++s)
        springs[s].rest_length = stored_double(&definition.springs[s][mdl::spring_word_rest_length]);
    // Links start from an empty list whatever the stored count says, so a
    // particle never holds more than eight.
    for (std::size_t i = 0; i < particles.size() && i < definition.links.size(); ++i) {
        cloth_particle& p = particles[i];
        for (const mdl_cloth_link& l : definition.links[i]) {
            if (p.link_count >= cloth_links_max || l.spring >= springs.size() || l.end > 1)
                continue;
            p.links[p.link_count++] = {l.spring, l.end};
            springs[l.spring].end[l.end].particle = static_cast<std::int32_t>(i);
        }
    }
}

void cloth::init(model_node* mesh_node)
{
    if (!mesh_node || mesh_node->type != node_mesh || !mesh_node->mesh)
        fatal("\nERROR Mesh not found!: \n");
    model_part& mesh = *mesh_node->mesh;
    const std::size_t vertex_count = mesh.vertices.size() / model_part::vertex_bytes;
    if (vertex_count != particles.size() || mesh.vertex_count != vertex_count)
        fatal("\nERROR Cloth does not match its mesh!\n");
    node = mesh_node;
    geometry = &mesh;

    const mat4& m = mesh_node->world;
    for (std::size_t i = 0; i < particles.size(); ++i) {
        float v[4];
        std::memcpy(v, mesh.vertices.data() + i * model_part::vertex_bytes, sizeof v);
        cloth_particle& p = particles[i];
        p.rest = {v[0], v[1], v[2], v[3]};
        const double x = v[0], y = v[1], z = v[2];
        p.position.x = x * m.m[0][0] + y * m.m[1][0] + z * m.m[2][0] + m.m[3][0];
        p.position.y = x * m.m[0][1] + y * m.m[1][1] + z * m.m[2][1] + m.m[3][1];
        p.position.z = x * m.m[0][2] + y * m.m[1][2] + z * m.m[2][2] + m.m[3][2];
        p.position.w = 1.0;
        p.velocity = {};
        p.acceleration = {};
        p.mass = 2.1;
    }
    gravity = 0.5;
    drag = 4.0;

    // Faces by their first three corners' particles (byte offsets of 48).
    face_corners_.assign(mesh.face_count, {no_particle, no_particle, no_particle});
    face_normals_.assign(mesh.face_count, {});
    for (std::size_t f = 0; f < mesh.face_count && (f + 1) * model_part::face_bytes <= mesh.faces.size(); ++f) {
        std::uint32_t words[13];
        std::memcpy(words, mesh.faces.data() + f * model_part::face_bytes, sizeof words);
        std::array<std::uint32_t, 3> corners{};
        bool inside = true;
        for (int c = 0; c < 3; ++c) {
            const std::uint32_t at = words[mdl::face_word_corner0 + c];
            corners[static_cast<std::size_t>(c)] = at / model_part::vertex_bytes;
            inside = inside && at % model_part::vertex_bytes == 0 && at / model_part::vertex_bytes < vertex_count;
        }
        if (inside)
            face_corners_[f] = corners;
    }
    // The per-vertex face lists: one run of face byte offsets per vertex,
    // each ended by 0xFFFF; offsets outside the faces are left out.
    face_lists_.clear();
    first_.assign(vertex_count + 1, 0);
    std::size_t vertex = 0;
    for (std::uint16_t value : mesh.indexes) {
        if (vertex >= vertex_count)
            break;
        if (value == mdl::face_list_end) {
            first_[++vertex] = static_cast<std::uint32_t>(face_lists_.size());
            continue;
        }
        if (value % model_part::face_bytes == 0 && value / model_part::face_bytes < mesh.face_count)
            face_lists_.push_back(value / model_part::face_bytes);
    }
    for (std::size_t v = vertex + 1; v <= vertex_count; ++v)
        first_[v] = static_cast<std::uint32_t>(face_lists_.size());
}

void cloth::step(double span, double steps)
{
    if (!geometry)
        return;
    std::uint32_t count = 0;
    double h = 0.0;
    // Finite first: an ordered comparison with NaN raises the invalid flag.
    if (std::isfinite(span) && std::isfinite(steps) && span > 0.0 && steps > 0.0) {
        const double whole = std::ceil(steps);
        if (whole > cloth_max_substeps) {
            count = cloth_max_substeps;
            h = span / count;
        } else {
            count = static_cast<std::uint32_t>(whole);
            h = span / steps;
        }
    }
    if (count > 0) {
        drive(span);
        for (std::uint32_t i = 0; i < count; ++i) {
            forces();
            integrate(h);
        }
        time += static_cast<double>(count) * h;
    }
    write_back();
    for (cloth_particle& p : particles)
        p.force = {};
}

// Every particle that is not free gets the acceleration that would bring
// it from where it is to its rest position carried by the node within the
// whole span.
void cloth::drive(double span)
{
    const mat4& m = node->world;
    for (cloth_particle& p : particles) {
        if (p.state == cloth_particle_free)
            continue;
        const double x = p.rest.x, y = p.rest.y, z = p.rest.z;
        const double tx = x * m.m[0][0] + y * m.m[1][0] + z * m.m[2][0] + m.m[3][0];
        const double ty = x * m.m[0][1] + y * m.m[1][1] + z * m.m[2][1] + m.m[3][1];
        const double tz = x * m.m[0][2] + y * m.m[1][2] + z * m.m[2][2] + m.m[3][2];
        p.acceleration.x = ((tx - p.position.x) / span - p.velocity.x) / span;
        p.acceleration.y = ((ty - p.position.y) / span - p.velocity.y) / span;
        p.acceleration.z = ((tz - p.position.z) / span - p.velocity.z) / span;
    }
}

void cloth::forces()
{
    // Face normals from the particles.
    for (std::size_t f = 0; f < face_corners_.size(); ++f) {
        const auto& c = face_corners_[f];
        if (c[0] == no_particle) {
            face_normals_[f] = {};
            continue;
        }
        const cloth_vector& p0 = particles[c[0]].position;
        const cloth_vector& p1 = particles[c[1]].position;
        const cloth_vector& p2 = particles[c[2]].position;
        const double ax = p1.x - p0.x, ay = p1.y - p0.y, az = p1.z - p0.z;
        const double bx = p2.x - p0.x, by = p2.y - p0.y, bz = p2.z - p0.z;
        face_normals_[f] = {ay * bz - az * by, az * bx - ax * bz, ax * by - ay * bx, 0.0};
    }

    // Drag along the normal and gravity, on free particles; these add up
    // over the sub-steps of one step.
    for (std::size_t i = 0; i < particles.size(); ++i) {
        cloth_particle& p = particles[i];
        if (p.state != cloth_particle_free)
            continue;
        double sx = 0.0, sy = 0.0, sz = 0.0;
        for (std::uint32_t k = first_[i]; k < first_[i + 1]; ++k) {
            const cloth_vector& n = face_normals_[face_lists_[k]];
            sx += n.x;
            sy += n.y;
            sz += n.z;
        }
        const double scale = 1.0 / (std::sqrt(sx * sx + sy * sy + sz * sz) + 0.001);
        const double nx = sx * scale, ny = sy * scale, nz = sz * scale;
        const double vn = nx * p.velocity.x + ny * p.velocity.y + nz * p.velocity.z;
        p.force.x -= drag * vn * nx * 0.5;
        p.force.y -= drag * vn * ny * 0.5;
        p.force.z -= drag * vn * nz * 0.5;
        p.force.y -= gravity * p.mass;
    }

    // Springs: each end's acceleration from the spring and its particle's
    // external force.
    for (cloth_spring& s : springs) {
        if (s.end[0].particle < 0 || s.end[1].particle < 0)
            continue;
        const cloth_particle& a = particles[static_cast<std::size_t>(s.end[0].particle)];
        const cloth_particle& b = particles[static_cast<std::size_t>(s.end[1].particle)];
        const double d[3] = {b.position.x - a.position.x, b.position.y - a.position.y, b.position.z - a.position.z};
        const double dv[3] = {b.velocity.x - a.velocity.x, b.velocity.y - a.velocity.y, b.velocity.z - a.velocity.z};
        const double fa[3] = {a.force.x, a.force.y, a.force.z};
        const double fb[3] = {b.force.x, b.force.y, b.force.z};
        const double length = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
        // Ends on one point: no direction to pull along (1 / 0 before).
        const bool apart = length > cloth_min_spring_length;
        const double r = apart ? 1.0 / length : 0.0;
        const double stretch = apart ? s.stiffness * (1.0 - s.rest_length * r) : 0.0;
        for (int k = 0; k < 3; ++k) {
            const double f = stretch * d[k] + dv[k] * std::fabs(s.damping * r * d[k]);
            s.end[0].acceleration[static_cast<std::size_t>(k)] = (fa[k] + f) / a.mass;
            s.end[1].acceleration[static_cast<std::size_t>(k)] = (fb[k] - f) / b.mass;
        }
    }

    // Gather the ends' accelerations into every particle not wholly driven
    // (the external force thus counts once per spring end).
    for (cloth_particle& p : particles) {
        if (p.state == cloth_particle_driven)
            continue;
        double ax = 0.0, ay = 0.0, az = 0.0;
        for (std::uint32_t k = 0; k < p.link_count; ++k) {
            const cloth_spring& s = springs[p.links[k].spring];
            if (s.end[0].particle < 0 || s.end[1].particle < 0)
                continue;
            const auto& acc = s.end[p.links[k].side].acceleration;
            ax += acc[0];
            ay += acc[1];
            az += acc[2];
        }
        p.acceleration.x = ax;
        p.acceleration.y = ay;
        p.acceleration.z = az;
    }
}

// Semi-implicit Euler; each product is formed in single precision and
// added to the double.
void cloth::integrate(double h)
{
    const float hf = as_float(h);
    for (cloth_particle& p : particles) {
        p.velocity.x += static_cast<double>(as_float(p.acceleration.x) * hf);
        p.velocity.y += static_cast<double>(as_float(p.acceleration.y) * hf);
        p.velocity.z += static_cast<double>(as_float(p.acceleration.z) * hf);
        p.position.x += static_cast<double>(as_float(p.velocity.x) * hf);
        p.position.y += static_cast<double>(as_float(p.velocity.y) * hf);
        p.position.z += static_cast<double>(as_float(p.velocity.z) * hf);
    }
}

// The particles' positions into the mesh's rest vertices (w = 1). The
// mesh's bounding sphere no longer holds and is computed again when next
// used.
void cloth::write_back()
{
    for (std::size_t i = 0; i < particles.size(); ++i) {
        const float v[4] = {as_float(particles[i].position.x), as_float(particles[i].position.y),
                            as_float(particles[i].position.z), 1.0f};
        std::memcpy(geometry->vertices.data() + i * model_part::vertex_bytes, v, sizeof v);
    }
    geometry->bound_radius = -1.0f;
}

namespace {

void set_up_cloth(model_node* node)
{
    if (!node || !node->mesh || !node->mesh->has_cloth)
        return;
    auto simulation = std::make_shared<cloth>(node->mesh->cloth);
    simulation->init(node);
    node->cloth_state = std::move(simulation);
}

} // namespace

void install_cloth_setup()
{
    set_cloth_setup(&set_up_cloth);
}

cloth* node_cloth(model_node* node)
{
    return node ? static_cast<cloth*>(node->cloth_state.get()) : nullptr;
}
