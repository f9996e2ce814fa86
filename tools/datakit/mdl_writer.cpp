#include "tools/datakit/mdl_writer.h"

#include <algorithm>
#include <cmath>
#include <bit>

#include "engine/base/name_hash.h"
#include "engine/model/mdl_format.h"
#include "platform/atomic_file.h"
#include "platform/byte_writer.h"

namespace datakit {

namespace {

using platform::ByteWriter;

class MdlWriter {
public:
    MdlWriter(ByteWriter& out, std::vector<MdlMark>* marks) : out_(out), marks_(marks) {}

    void library(const std::vector<mdl_model>& models)
    {
        mark("header");
        out_.u32(mdl::magic);
        out_.u32(mdl::version);
        out_.u32(static_cast<std::uint32_t>(models.size()));
        std::vector<std::size_t> slots;
        for (const mdl_model& m : models) {
            out_.fixed_string(m.name, 32);
            slots.push_back(out_.position());
            out_.u32(0);
            out_.u32(0);
        }
        for (std::size_t i = 0; i < models.size(); ++i) {
            out_.patch_u32(slots[i], here());
            model(models[i]);
        }
    }

private:
    std::uint32_t here() const { return static_cast<std::uint32_t>(out_.position()); }
    void mark(const char* kind)
    {
        if (marks_)
            marks_->push_back({kind, out_.position()});
    }
    void vec(const vec4& v)
    {
        out_.f32(v.x);
        out_.f32(v.y);
        out_.f32(v.z);
        out_.f32(v.w);
    }
    template <class Words>
    void words(const Words& w)
    {
        for (std::uint32_t x : w)
            out_.u32(x);
    }

    void model(const mdl_model& m)
    {
        mark("model");
        out_.u32(0);
        out_.u32(0);
        out_.u32(static_cast<std::uint32_t>(m.levels.size()));
        std::vector<std::size_t> slots;
        for (const mdl_level& l : m.levels) {
            out_.fixed_string(l.name, 32);
            slots.push_back(out_.position());
            out_.u32(0);
            out_.u32(0);
        }
        for (std::size_t i = 0; i < m.levels.size(); ++i) {
            out_.patch_u32(slots[i], here());
            level(m.levels[i], static_cast<int>(i));
        }
    }

    void level(const mdl_level& l, int number)
    {
        mark("list");
        out_.u32(mdl::list_magic);
        out_.u32(0);
        out_.u32(static_cast<std::uint32_t>(l.objects.size()));
        std::vector<std::size_t> slots;
        for (const mdl_object& o : l.objects) {
            out_.fixed_string(o.name, 32);
            slots.push_back(out_.position());
            out_.u32(0);
            out_.u32(0);
        }
        for (std::size_t i = 0; i < l.objects.size(); ++i) {
            out_.patch_u32(slots[i], here());
            out_.zeros(mdl::object_lead_bytes);
            object(l.objects[i], number);
        }
    }

    void object(const mdl_object& o, int number)
    {
        mark("object");
        const bool bone = o.type == 5 && o.has_bone;
        out_.u32(o.id);
        out_.fixed_string(o.first_name, 32);
        out_.fixed_string(o.name, 32);
        out_.u32(static_cast<std::uint32_t>(o.bindings.size()));
        out_.u32(0);
        out_.u32(o.type);
        out_.u32(bone ? 1u : (o.type == 5 ? 0u : o.payload));
        out_.f32(o.radius);
        vec(o.scale);
        vec(o.angles);
        vec(o.position);
        out_.u32(0);
        out_.i32(o.parent);
        out_.i32(o.sibling);
        out_.i32(o.child);
        out_.u32(static_cast<std::uint32_t>(o.muscles.size()));
        out_.u32(0);
        out_.u32(static_cast<std::uint32_t>(o.materials.size()));
        out_.u32(0);
        out_.u32(o.special);
        out_.u32(o.word172);
        out_.i32(o.chain_kind);
        out_.f32(o.chain_length);
        out_.f32(o.twist);
        out_.u32(o.word188);
        out_.f32(o.bend_reference);
        out_.u32(o.word196);
        for (float f : o.pivot)
            out_.f32(f);
        out_.u32(o.has_hit_mesh ? 1u : 0u);
        out_.u32(o.node_flags);
        (void)number;
        for (const anm_binding& b : o.bindings) {
            mark("binding");
            out_.u32(b.target_hash);
            out_.u32(b.code);
            out_.u32(b.value);
            out_.zeros(16);
            for (std::uint32_t w : b.kept)
                out_.u32(w);
        }
        if (o.type == 1)
            patch(o.patch);
        else if (o.type == 4)
            mesh(o.mesh);
        else if (bone)
            bone_record(o.bone);
        for (const mdl_muscle& m : o.muscles)
            muscle(m);
        for (const std::string& name : o.materials) {
            mark("material");
            out_.fixed_string(name, 32);
            out_.u32(name_hash(name.c_str()));
            out_.u32(0);
        }
        if (o.has_hit_mesh)
            hit_mesh(o.hit_mesh);
    }

    void patch(const mdl_patch& p)
    {
        mark("patch");
        words(p.record);
        mark("points");
        for (const vec4& v : p.points)
            vec(v);
    }

    void faces(const std::vector<mdl_face>& f)
    {
        mark("faces");
        for (const mdl_face& x : f)
            words(x);
    }
    void vertices(const std::vector<mdl_vertex>& v)
    {
        mark("vertices");
        for (const mdl_vertex& x : v)
            words(x);
    }

    void mesh(const mdl_mesh& m)
    {
        mark("mesh");
        std::array<std::uint32_t, 23> header = m.header;
        header[mdl::mesh_word_vertices] = static_cast<std::uint32_t>(m.vertices.size());
        header[mdl::mesh_word_faces] = static_cast<std::uint32_t>(m.faces.size());
        header[mdl::mesh_word_indexes] = static_cast<std::uint32_t>(m.face_lists.size());
        header[mdl::mesh_word_cloth] = m.has_cloth ? 1u : 0u;
        words(header);
        faces(m.faces);
        vertices(m.vertices);
        if (!m.face_lists.empty()) {
            mark("face_lists");
            for (std::uint16_t v : m.face_lists)
                out_.u16(v);
        }
        if (m.has_cloth)
            cloth(m.cloth);
    }

    void cloth(const mdl_cloth& c)
    {
        mark("cloth");
        std::array<std::uint32_t, 18> record = c.record;
        record[mdl::cloth_word_particles] = static_cast<std::uint32_t>(c.particles.size());
        record[mdl::cloth_word_springs] = static_cast<std::uint32_t>(c.springs.size());
        words(record);
        mark("particles");
        for (const auto& p : c.particles)
            words(p);
        mark("springs");
        for (const auto& s : c.springs)
            words(s);
        for (std::size_t i = 0; i < c.particles.size(); ++i) {
            mark("links");
            const auto& links = i < c.links.size() ? c.links[i] : std::vector<mdl_cloth_link>{};
            out_.u32(static_cast<std::uint32_t>(links.size()));
            out_.u32(0);
            out_.u32(0);
            for (const auto& l : links)
                out_.u32(l.spring);
            for (const auto& l : links)
                out_.u32(l.end);
        }
    }

    void bone_record(const mdl_bone& b)
    {
        mark("bone");
        out_.u32(static_cast<std::uint32_t>(b.groups.size()));
        out_.u32(b.words[0]);
        out_.u32(b.words[1]);
        out_.zeros(48);
        for (float f : b.first_matrix)
            out_.f32(f);
        for (float f : b.skinning)
            out_.f32(f);
        for (const mdl_skin_group& g : b.groups) {
            mark("group");
            out_.zeros(32);
            out_.u32(g.mesh_hash);
            out_.u32(0);
            out_.u32(static_cast<std::uint32_t>(g.vertices.size()));
            out_.u32(0);
            out_.zeros(16);
            for (std::uint16_t v : g.vertices)
                out_.u16(v);
        }
    }

    void muscle(const mdl_muscle& m)
    {
        mark("muscle");
        std::array<std::uint32_t, 29> record = m.record;
        record[mdl::muscle_word_vertices] = static_cast<std::uint32_t>(m.vertices.size());
        words(record);
        mark("curve");
        out_.zeros(32);
        out_.fixed_string(m.curve.name, 32);
        out_.zeros(32);
        out_.u32(m.curve.param);
        out_.u32(static_cast<std::uint32_t>(m.curve.keys.size()));
        out_.u32(0);
        out_.u32(m.curve.pre);
        out_.u32(m.curve.post);
        out_.u32(0);
        out_.u32(m.curve.interp);
        for (const anm_key& k : m.curve.keys) {
            out_.f32(k.time);
            out_.f32(k.value);
            out_.f32(k.out_slope);
            out_.f32(k.in_slope);
            out_.zeros(16);
        }
        mark("muscle_vertices");
        for (std::uint16_t v : m.vertices)
            out_.u16(v);
        for (const vec4& p : m.points)
            vec(p);
    }

    void hit_mesh(const mdl_hit_mesh& h)
    {
        mark("hit_mesh");
        std::array<std::uint32_t, 18> record = h.record;
        record[mdl::hit_word_vertices] = static_cast<std::uint32_t>(h.vertices.size());
        record[mdl::hit_word_faces] = static_cast<std::uint32_t>(h.faces.size());
        words(record);
        faces(h.faces);
        vertices(h.vertices);
    }

    ByteWriter& out_;
    std::vector<MdlMark>* marks_;
};

std::uint32_t bits(float f)
{
    return std::bit_cast<std::uint32_t>(f);
}

} // namespace

std::vector<std::uint8_t> mdl_bytes(const std::vector<mdl_model>& models, std::vector<MdlMark>* marks)
{
    std::vector<std::uint8_t> bytes;
    ByteWriter out(bytes);
    MdlWriter(out, marks).library(models);
    return bytes;
}

bool write_mdl(const std::filesystem::path& path, const std::vector<mdl_model>& models, std::string& error)
{
    return platform::write_file_atomic(path.string(), mdl_bytes(models), &error);
}

mdl_face mdl_make_face(std::uint32_t material, std::vector<std::uint32_t> corners, vec4 normal)
{
    mdl_face f{};
    f[mdl::face_word_corners] = static_cast<std::uint32_t>(corners.size());
    f[mdl::face_word_material] = material;
    f[2] = bits(normal.x);
    f[3] = bits(normal.y);
    f[4] = bits(normal.z);
    for (std::size_t i = 0; i < corners.size() && i < 4; ++i)
        f[mdl::face_word_corner0 + i] = corners[i] * mdl::vertex_bytes;
    return f;
}

mdl_vertex mdl_make_vertex(vec4 position, vec4 normal, float u, float v)
{
    mdl_vertex x{};
    x[0] = bits(position.x);
    x[1] = bits(position.y);
    x[2] = bits(position.z);
    x[3] = bits(1.0f);
    x[4] = bits(normal.x);
    x[5] = bits(normal.y);
    x[6] = bits(normal.z);
    x[8] = bits(u);
    x[9] = bits(v);
    return x;
}

std::vector<std::uint16_t> mdl_face_lists(const std::vector<mdl_face>& faces, std::size_t vertex_count)
{
    // Each vertex's faces in face order, each face once (a face naming a
    // vertex twice is listed once).
    std::vector<std::vector<std::uint16_t>> per_vertex(vertex_count);
    for (std::size_t f = 0; f < faces.size(); ++f) {
        const std::uint32_t corners = faces[f][mdl::face_word_corners];
        const auto offset = static_cast<std::uint16_t>(f * mdl::face_bytes);
        for (std::uint32_t c = 0; c < corners; ++c) {
            const std::uint32_t v = faces[f][mdl::face_word_corner0 + c] / mdl::vertex_bytes;
            if (v >= vertex_count)
                continue;
            auto& list = per_vertex[v];
            if (list.empty() || list.back() != offset)
                list.push_back(offset);
        }
    }
    std::vector<std::uint16_t> lists;
    for (const auto& list : per_vertex) {
        lists.insert(lists.end(), list.begin(), list.end());
        lists.push_back(mdl::face_list_end);
    }
    return lists;
}

mdl_object mdl_mesh_object(const std::string& name, std::vector<std::string> materials,
                           std::vector<mdl_vertex> vertices, std::vector<mdl_face> faces, float radius)
{
    mdl_object o;
    o.name = name;
    o.first_name = name;
    o.type = 4;
    o.node_flags = 0x1 | 0x1000; // drawn in pass 0
    o.materials = std::move(materials);
    o.mesh.face_lists = mdl_face_lists(faces, vertices.size());
    o.mesh.vertices = std::move(vertices);
    o.mesh.faces = std::move(faces);
    o.radius = radius;
    return o;
}

void mdl_bake_light(std::vector<mdl_model>& models, vec4 towards_light, float ambient, float diffuse)
{
    for (mdl_model& m : models)
        for (mdl_level& l : m.levels)
            for (mdl_object& o : l.objects) {
                if (o.type != 4)
                    continue;
                for (mdl_vertex& v : o.mesh.vertices) {
                    const float d = std::bit_cast<float>(v[4]) * towards_light.x +
                                    std::bit_cast<float>(v[5]) * towards_light.y +
                                    std::bit_cast<float>(v[6]) * towards_light.z;
                    v[10] = bits(ambient + diffuse * std::max(0.0f, d));
                }
            }
}

void mdl_align_level_materials(mdl_model& model)
{
    if (model.levels.empty())
        return;
    const mdl_level& near = model.levels.front();
    for (std::size_t l = 1; l < model.levels.size(); ++l)
        for (mdl_object& o : model.levels[l].objects) {
            if (o.type != 4)
                continue;
            const auto namesake = std::find_if(near.objects.begin(), near.objects.end(),
                                               [&](const mdl_object& n) { return n.name == o.name; });
            if (namesake == near.objects.end())
                continue;
            std::vector<std::string> order = namesake->materials;
            std::vector<std::uint32_t> index(o.materials.size());
            for (std::size_t i = 0; i < o.materials.size(); ++i) {
                auto at = std::find(order.begin(), order.end(), o.materials[i]);
                if (at == order.end())
                    at = order.insert(order.end(), o.materials[i]);
                index[i] = static_cast<std::uint32_t>(at - order.begin());
            }
            for (mdl_face& f : o.mesh.faces)
                if (f[mdl::face_word_material] < index.size())
                    f[mdl::face_word_material] = index[f[mdl::face_word_material]];
            o.materials = std::move(order);
        }
}

void mdl_light_lazily(mdl_model& model)
{
    for (mdl_level& l : model.levels)
        for (mdl_object& o : l.objects)
            if (o.type == 4)
                o.node_flags |= kMdlLazyLighting;
}

namespace {

// An object of the given type with one material, drawn in pass 0.
mdl_object drawn_object(const char* name, std::uint32_t type, const char* material)
{
    mdl_object o;
    o.name = name;
    o.first_name = name;
    o.type = type;
    o.node_flags = 0x1 | 0x1000;   // drawn in pass 0
    o.materials = {material};
    return o;
}

} // namespace

mdl_object mdl_box_object(const char* name, vec4 half, const char* material)
{
    mdl_object o = drawn_object(name, 4, material);
    const float sx[2] = {-half.x, half.x}, sy[2] = {-half.y, half.y}, sz[2] = {-half.z, half.z};
    for (int i = 0; i < 8; ++i) {
        const vec4 p{sx[i & 1], sy[(i >> 1) & 1], sz[(i >> 2) & 1], 1.0f};
        const float len = std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z);
        const vec4 n = len > 0.0f ? vec4{p.x / len, p.y / len, p.z / len, 0.0f} : vec4{0, 0, 1, 0};
        o.mesh.vertices.push_back(mdl_make_vertex(p, n, (i & 1) ? 1.0f : 0.0f, (i & 2) ? 1.0f : 0.0f));
    }
    const struct {
        std::uint32_t c[4];
        vec4 n;
    } quads[6] = {
        {{0, 2, 3, 1}, {0, 0, -1, 0}}, {{4, 5, 7, 6}, {0, 0, 1, 0}}, {{0, 1, 5, 4}, {0, -1, 0, 0}},
        {{2, 6, 7, 3}, {0, 1, 0, 0}},  {{0, 4, 6, 2}, {-1, 0, 0, 0}}, {{1, 3, 7, 5}, {1, 0, 0, 0}},
    };
    for (const auto& q : quads)
        o.mesh.faces.push_back(mdl_make_face(0, {q.c[0], q.c[1], q.c[2], q.c[3]}, q.n));
    o.mesh.face_lists = mdl_face_lists(o.mesh.faces, o.mesh.vertices.size());
    o.radius = std::sqrt(half.x * half.x + half.y * half.y + half.z * half.z);
    return o;
}

mdl_object mdl_patch_object(const char* name, std::uint32_t rows, std::uint32_t columns, std::vector<vec4> points,
                            const char* material, MdlPatchShape shape)
{
    mdl_object o = drawn_object(name, 1, material);
    auto& rec = o.patch.record;
    rec[mdl::patch_word_basis_u] = shape.basis_u;
    rec[mdl::patch_word_basis_v] = shape.basis_v;
    rec[mdl::patch_word_u] = rows;
    rec[mdl::patch_word_v] = columns;
    rec[mdl::patch_word_closed_u] = shape.closed_u ? 1u : 0u;
    rec[mdl::patch_word_closed_v] = shape.closed_v ? 1u : 0u;
    rec[mdl::patch_word_tension_u] = bits(shape.tension_u);
    rec[mdl::patch_word_tension_v] = bits(shape.tension_v);
    rec[mdl::patch_word_material] = 0;
    o.patch.points = std::move(points);
    return o;
}

namespace {

void put_double(std::uint32_t* words, double value)
{
    const auto b = std::bit_cast<std::uint64_t>(value);
    words[0] = static_cast<std::uint32_t>(b);
    words[1] = static_cast<std::uint32_t>(b >> 32);
}

} // namespace

mdl_object mdl_cloth_sheet(const char* name, std::uint32_t columns, std::uint32_t rows, float spacing,
                           const char* material)
{
    mdl_object o = drawn_object(name, 4, material);
    auto at = [columns](std::uint32_t c, std::uint32_t r) { return r * columns + c; };
    for (std::uint32_t r = 0; r < rows; ++r)
        for (std::uint32_t c = 0; c < columns; ++c) {
            const vec4 p{static_cast<float>(c) * spacing, -static_cast<float>(r) * spacing, 0.0f, 1.0f};
            const float u = columns > 1 ? static_cast<float>(c) / static_cast<float>(columns - 1) : 0.0f;
            const float v = rows > 1 ? static_cast<float>(r) / static_cast<float>(rows - 1) : 0.0f;
            o.mesh.vertices.push_back(mdl_make_vertex(p, {0, 0, 1, 0}, u, v));
        }
    for (std::uint32_t r = 0; r + 1 < rows; ++r)
        for (std::uint32_t c = 0; c + 1 < columns; ++c)
            o.mesh.faces.push_back(
                mdl_make_face(0, {at(c, r), at(c, r + 1), at(c + 1, r + 1), at(c + 1, r)}, {0, 0, 1, 0}));
    o.mesh.face_lists = mdl_face_lists(o.mesh.faces, o.mesh.vertices.size());

    mdl_cloth& cloth = o.mesh.cloth;
    o.mesh.has_cloth = true;
    cloth.particles.resize(o.mesh.vertices.size());
    cloth.links.resize(o.mesh.vertices.size());
    for (std::uint32_t r = 0; r < rows; ++r)
        for (std::uint32_t c = 0; c < columns; ++c)
            cloth.particles[at(c, r)][mdl::particle_word_state] = r == 0 ? 2u : 1u;
    auto spring = [&](std::uint32_t a, std::uint32_t b) {
        const auto number = static_cast<std::uint32_t>(cloth.springs.size());
        std::array<std::uint32_t, 30> s{};
        put_double(&s[mdl::spring_word_rest_length], static_cast<double>(spacing));
        cloth.springs.push_back(s);
        cloth.links[a].push_back({number, 0});
        cloth.links[b].push_back({number, 1});
    };
    for (std::uint32_t r = 0; r < rows; ++r)
        for (std::uint32_t c = 0; c < columns; ++c) {
            if (c + 1 < columns)
                spring(at(c, r), at(c + 1, r));
            if (r + 1 < rows)
                spring(at(c, r), at(c, r + 1));
        }
    return o;
}

mdl_object mdl_empty_object(const char* name, std::uint32_t id, std::int32_t parent, std::int32_t sibling,
                            std::int32_t child, std::uint32_t type)
{
    mdl_object o;
    o.name = name;
    o.first_name = name;
    o.id = id;
    o.type = type;
    o.parent = parent;
    o.sibling = sibling;
    o.child = child;
    return o;
}

mdl_model mdl_single_level(const char* name, std::vector<mdl_object> objects)
{
    mdl_model m;
    m.name = name;
    mdl_level level;
    level.name = name;
    level.objects = std::move(objects);
    m.levels = {std::move(level)};
    return m;
}

void mdl_set_pivot(mdl_object& o, vec4 translation, vec4 angles)
{
    const float p[12] = {1, 1, 1, 0, angles.x, angles.y, angles.z, 0, translation.x, translation.y, translation.z, 0};
    for (int i = 0; i < 12; ++i)
        o.pivot[i] = p[i];
}

mdl_muscle mdl_make_muscle(const char* joint, const char* curve, std::vector<std::uint16_t> vertices,
                           std::vector<vec4> positions)
{
    mdl_muscle m;
    m.record[mdl::muscle_word_joint] = name_hash(joint);
    m.record[mdl::muscle_word_keys] =
        vertices.empty() ? 0 : static_cast<std::uint32_t>(positions.size() / vertices.size());
    m.curve.name = curve;
    m.curve.interp = 1;
    m.curve.keys = {{0.0f, 0.0f, 0.0f, 0.0f}, {1.0f, 1.0f, 0.0f, 0.0f}};
    m.vertices = std::move(vertices);
    m.points = std::move(positions);
    return m;
}

std::vector<mdl_model> demo_bike_mdl()
{
    mdl_model bike;
    bike.name = "BIKE";
    mdl_level b0;
    b0.name = "BIKE";
    mdl_object root = mdl_empty_object("BIKE", 0, -1, -1, 1, 0);
    root.radius = 1.2f;
    mdl_object frame = mdl_box_object("FRAME", {0.2f, 0.35f, 0.7f, 0}, "BIKE_PAINT");
    frame.id = 1;
    frame.parent = 0;
    frame.sibling = 2;
    frame.position = {0, 0.6f, 0, 1};
    mdl_object front = mdl_box_object("WHEEL_F", {0.05f, 0.3f, 0.3f, 0}, "TYRE");
    front.id = 2;
    front.parent = 0;
    front.sibling = 3;
    front.position = {0, 0.3f, 0.7f, 1};
    mdl_object rear = mdl_box_object("WHEEL_R", {0.06f, 0.3f, 0.3f, 0}, "TYRE");
    rear.id = 3;
    rear.parent = 0;
    rear.position = {0, 0.3f, -0.7f, 1};
    b0.objects = {root, frame, front, rear};
    bike.levels = {b0};

    mdl_model rider;
    rider.name = "RIDER";
    mdl_level r0;
    r0.name = "RIDER";
    // 0 RIDER, 1 TORSO (skinned mesh), 2 SPINE (chain start), 3 BACK, 4 NECK
    mdl_object rroot = mdl_empty_object("RIDER", 0, -1, -1, 1, 0);
    rroot.radius = 1.0f;
    mdl_object torso = mdl_box_object("TORSO", {0.2f, 0.4f, 0.15f, 0}, "LEATHER");
    torso.id = 1;
    torso.parent = 0;
    torso.sibling = 2;
    torso.special = 6;
    mdl_object spine = mdl_empty_object("SPINE", 2, 0, -1, 3, 0);
    mdl_set_pivot(spine, {0, 0, 0, 0});
    mdl_object back = mdl_empty_object("BACK", 3, 2, -1, 4, 5);
    mdl_set_pivot(back, {0, 0, 0, 0});
    back.has_bone = true;
    back.payload = 1;
    back.bone.groups.push_back({name_hash("TORSO"), {0, 1, 4, 5}});
    mdl_object neck = mdl_empty_object("NECK", 4, 3, -1, -1, 5);
    neck.position = {0, 0.4f, 0, 1};
    mdl_set_pivot(neck, {0, 0.4f, 0, 0});
    neck.has_bone = true;
    neck.payload = 1;
    neck.bone.groups.push_back({name_hash("TORSO"), {2, 3, 6, 7}});
    r0.objects = {rroot, torso, spine, back, neck};
    mdl_level r1;
    r1.name = "RIDER_LOW";
    mdl_object lroot = mdl_empty_object("RIDER", 0, -1, -1, 1, 0);
    mdl_object ltorso = mdl_box_object("TORSO", {0.2f, 0.4f, 0.15f, 0}, "LEATHER");
    ltorso.id = 1;
    ltorso.parent = 0;
    r1.objects = {lroot, ltorso};
    rider.levels = {r0, r1};
    return {bike, rider};
}

bool write_demo_model_libraries(const std::filesystem::path& root, std::string& error)
{
    const auto folder = root / "Gfx" / "Bikes";
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        error = "cannot create " + folder.string() + ": " + ec.message();
        return false;
    }
    return write_mdl(folder / "Bikes.mdl", demo_bike_mdl(), error);
}

} // namespace datakit
