#include "engine/model/mdl_reader.h"

#include <algorithm>
#include <new>

#include "engine/base/name_hash.h"
#include "engine/base/pipeline_records.h"
#include "engine/model/anm_format.h"
#include "engine/model/mdl_format.h"
#include "platform/byte_reader.h"

namespace {

using platform::ByteReader;

vec4 read_vec4(ByteReader& r)
{
    vec4 v;
    v.x = r.f32();
    v.y = r.f32();
    v.z = r.f32();
    v.w = r.f32();
    return v;
}

template <std::size_t N>
void read_words(ByteReader& r, std::array<std::uint32_t, N>& words)
{
    for (auto& w : words)
        w = r.u32();
}

class model_reader {
public:
    model_reader(const std::vector<std::uint8_t>& file, std::uint64_t& budget) : file_(file), r_(file), budget_(budget)
    {
    }

    mdl_status read(std::uint32_t offset, mdl_model& out, std::uint32_t* too_many);

private:
    // Takes `count` records of `bytes` each from the budget, after checking
    // that they are present at the read position.
    bool claim(std::uint64_t count, std::uint64_t bytes)
    {
        const std::uint64_t need = count * bytes;
        if (count != 0 && need / count != bytes)
            return false;
        if (!r_.has(static_cast<std::size_t>(need)) || need > budget_)
            return false;
        budget_ -= need;
        return true;
    }

    mdl_status read_level(std::uint32_t offset, int level, mdl_level& out, std::uint32_t* too_many);
    bool read_object(mdl_object& o, int level);
    bool read_faces(std::vector<mdl_face>& faces, std::uint32_t count, std::uint32_t vertices,
                    std::uint32_t materials, bool check_material);
    bool read_vertices(std::vector<mdl_vertex>& vertices, std::uint32_t count);
    bool read_mesh(mdl_object& o, std::uint32_t materials);
    bool read_cloth(mdl_cloth& cloth);
    bool read_bone(mdl_bone& bone);
    bool read_muscle(mdl_muscle& m, const mdl_object& o);
    bool read_hit_mesh(mdl_hit_mesh& h);

    const std::vector<std::uint8_t>& file_;
    ByteReader r_;
    std::uint64_t& budget_;
};

bool model_reader::read_faces(std::vector<mdl_face>& faces, std::uint32_t count, std::uint32_t vertices,
                              std::uint32_t materials, bool check_material)
{
    if (!claim(count, mdl::face_bytes))
        return false;
    faces.resize(count);
    const std::uint64_t limit = std::uint64_t{vertices} * mdl::vertex_bytes;
    for (mdl_face& f : faces) {
        read_words(r_, f);
        const std::uint32_t corners = f[mdl::face_word_corners];
        if (corners != 3 && corners != 4)
            return false;
        if (check_material && f[mdl::face_word_material] >= materials)
            return false;
        for (std::uint32_t c = 0; c < corners; ++c) {
            const std::uint32_t at = f[mdl::face_word_corner0 + c];
            if (at >= limit || at % mdl::vertex_bytes != 0)
                return false;
        }
    }
    return r_.ok();
}

bool model_reader::read_vertices(std::vector<mdl_vertex>& vertices, std::uint32_t count)
{
    if (!claim(count, mdl::vertex_bytes))
        return false;
    vertices.resize(count);
    for (mdl_vertex& v : vertices)
        read_words(r_, v);
    return r_.ok();
}

bool model_reader::read_cloth(mdl_cloth& cloth)
{
    if (!claim(1, mdl::cloth_bytes))
        return false;
    read_words(r_, cloth.record);
    const std::uint32_t particles = cloth.record[mdl::cloth_word_particles];
    const std::uint32_t springs = cloth.record[mdl::cloth_word_springs];
    if (!claim(particles, mdl::particle_bytes))
        return false;
    cloth.particles.resize(particles);
    for (auto& p : cloth.particles)
        read_words(r_, p);
    if (!claim(springs, mdl::spring_bytes))
        return false;
    cloth.springs.resize(springs);
    for (auto& s : cloth.springs)
        read_words(r_, s);
    cloth.links.resize(particles);
    for (auto& links : cloth.links) {
        if (!claim(1, mdl::particle_link_header_bytes))
            return false;
        const std::uint32_t k = r_.u32();
        r_.skip(8);
        // A particle has room for eight links.
        if (k > mdl::particle_links_max || !claim(k, 8))
            return false;
        links.resize(k);
        for (auto& l : links)
            l.spring = r_.u32();
        for (auto& l : links)
            l.end = r_.u32();
        for (const auto& l : links)
            if (l.spring >= springs || l.end > 1)
                return false;
    }
    return r_.ok();
}

bool model_reader::read_mesh(mdl_object& o, std::uint32_t materials)
{
    mdl_mesh& m = o.mesh;
    if (!claim(1, mdl::mesh_header_bytes))
        return false;
    read_words(r_, m.header);
    const std::uint32_t v = m.header[mdl::mesh_word_vertices];
    const std::uint32_t f = m.header[mdl::mesh_word_faces];
    const std::uint32_t i = m.header[mdl::mesh_word_indexes];
    // A mesh must fit the hardware path's vertex buffer.
    if (!fits_vertex_buffer(v))
        return false;
    if (!read_faces(m.faces, f, v, materials, true))
        return false;
    if (!read_vertices(m.vertices, v))
        return false;
    if (i) {
        if (!claim(i, 2))
            return false;
        m.face_lists.resize(i);
        std::uint32_t runs = 0;
        const std::uint64_t limit = std::uint64_t{f} * mdl::face_bytes;
        for (auto& value : m.face_lists) {
            value = r_.u16();
            if (value == mdl::face_list_end)
                ++runs;
            else if (value >= limit || value % mdl::face_bytes != 0)
                return false;
        }
        // One run per vertex, the last one ended.
        if (runs != v || m.face_lists.back() != mdl::face_list_end)
            return false;
    }
    m.has_cloth = m.header[mdl::mesh_word_cloth] != 0;
    if (m.has_cloth && !read_cloth(m.cloth))
        return false;
    // The cloth has one particle per vertex: its faces name particles by
    // their corners, and it writes every particle back into its vertex.
    if (m.has_cloth && m.cloth.particles.size() != v)
        return false;
    return r_.ok();
}

bool model_reader::read_bone(mdl_bone& bone)
{
    if (!claim(1, mdl::bone_bytes))
        return false;
    const std::uint32_t n = r_.u32();
    bone.words[0] = r_.u32();
    bone.words[1] = r_.u32();
    r_.skip(48);
    for (float& f : bone.first_matrix)
        f = r_.f32();
    for (float& f : bone.skinning)
        f = r_.f32();
    for (std::uint32_t g = 0; g < n; ++g) {
        if (!claim(1, mdl::group_bytes))
            return false;
        mdl_skin_group group;
        r_.skip(32);
        group.mesh_hash = r_.u32();
        r_.skip(4);
        const std::uint32_t count = r_.u32();
        r_.skip(4 + 16);
        if (!claim(count, 2))
            return false;
        group.vertices.resize(count);
        for (auto& vtx : group.vertices)
            vtx = r_.u16();
        bone.groups.push_back(std::move(group));
    }
    return r_.ok();
}

bool model_reader::read_muscle(mdl_muscle& m, const mdl_object& o)
{
    if (!claim(1, mdl::muscle_bytes + mdl::curve_bytes))
        return false;
    read_words(r_, m.record);
    r_.skip(32);
    m.curve.name = r_.fixed_string(32);
    r_.skip(32);
    m.curve.param = r_.u32();
    const std::uint32_t keys = r_.u32();
    r_.skip(4);
    m.curve.pre = r_.u32();
    m.curve.post = r_.u32();
    r_.skip(4);
    m.curve.interp = r_.u32();
    // The curve's evaluation knows three extrapolation modes; its count of
    // keys is 16 bits.
    if (m.curve.pre > 2 || m.curve.post > 2 || keys > 65535)
        return false;
    if (!claim(keys, mdl::key_bytes))
        return false;
    m.curve.keys.resize(keys);
    for (anm_key& k : m.curve.keys) {
        k.time = r_.f32();
        k.value = r_.f32();
        k.out_slope = r_.f32();
        k.in_slope = r_.f32();
        r_.skip(16);
    }
    const std::uint32_t p = m.record[mdl::muscle_word_vertices];
    const std::uint32_t q = m.record[mdl::muscle_word_keys];
    if (!claim(p, 2))
        return false;
    m.vertices.resize(p);
    // The muscle moves vertices of the mesh that holds it.
    const std::uint32_t v = o.type == 4 ? o.mesh.header[mdl::mesh_word_vertices] : 0;
    for (auto& vtx : m.vertices) {
        vtx = r_.u16();
        if (vtx >= v)
            return false;
    }
    const std::uint64_t points = std::uint64_t{p} * q;
    if (!claim(points, mdl::point_bytes))
        return false;
    m.points.resize(static_cast<std::size_t>(points));
    for (vec4& pt : m.points)
        pt = read_vec4(r_);
    return r_.ok();
}

bool model_reader::read_hit_mesh(mdl_hit_mesh& h)
{
    if (!claim(1, mdl::hit_mesh_bytes))
        return false;
    read_words(r_, h.record);
    const std::uint32_t v = h.record[mdl::hit_word_vertices];
    const std::uint32_t f = h.record[mdl::hit_word_faces];
    return read_faces(h.faces, f, v, 0, false) && read_vertices(h.vertices, v);
}

bool model_reader::read_object(mdl_object& o, int level)
{
    if (!claim(1, mdl::object_bytes))
        return false;
    o.id = r_.u32();
    o.first_name = r_.fixed_string(32);
    o.name = r_.fixed_string(32);
    const std::uint32_t bindings = r_.u32();
    r_.skip(4);
    o.type = r_.u32();
    o.payload = r_.u32();
    o.radius = r_.f32();
    o.scale = read_vec4(r_);
    o.angles = read_vec4(r_);
    o.position = read_vec4(r_);
    r_.skip(4);
    o.parent = r_.i32();
    o.sibling = r_.i32();
    o.child = r_.i32();
    const std::uint32_t muscles = r_.u32();
    r_.skip(4);
    const std::uint32_t materials = r_.u32();
    r_.skip(4);
    o.special = r_.u32();
    o.word172 = r_.u32();
    o.chain_kind = r_.i32();
    o.chain_length = r_.f32();
    o.twist = r_.f32();
    o.word188 = r_.u32();
    o.bend_reference = r_.f32();
    o.word196 = r_.u32();
    for (float& f : o.pivot)
        f = r_.f32();
    o.has_hit_mesh = r_.u32() != 0;
    o.node_flags = r_.u32();
    if (!r_.ok())
        return false;
    if (o.type != 0 && o.type != 1 && o.type != 4 && o.type != 5 && o.type != 6)
        return false;

    if (!claim(bindings, mdl::binding_bytes))
        return false;
    if (level == 0) {
        o.bindings.resize(bindings);
        for (anm_binding& b : o.bindings) {
            b.target_hash = r_.u32();
            b.code = r_.u32();
            b.value = r_.u32();
            r_.skip(16);
            for (auto& w : b.kept)
                w = r_.u32();
        }
    } else {
        r_.skip(std::size_t{bindings} * mdl::binding_bytes);
    }

    // The material count bounds the faces' and the patch's material indexes.
    if (materials > r_.remaining() / mdl::material_ref_bytes)
        return false;
    if (o.type == 1) {
        if (!claim(1, mdl::patch_bytes))
            return false;
        read_words(r_, o.patch.record);
        const std::uint64_t points =
            std::uint64_t{o.patch.record[mdl::patch_word_u]} * o.patch.record[mdl::patch_word_v];
        if (o.patch.record[mdl::patch_word_material] >= materials)
            return false;
        // The tessellator knows two spline kinds, and each direction must
        // give at least one bicubic segment.
        const auto& rec = o.patch.record;
        for (int basis : {mdl::patch_word_basis_u, mdl::patch_word_basis_v})
            if (rec[basis] != mdl::patch_basis_bspline && rec[basis] != mdl::patch_basis_cardinal)
                return false;
        if (mdl::patch_segments(rec[mdl::patch_word_u], rec[mdl::patch_word_closed_u] != 0) == 0 ||
            mdl::patch_segments(rec[mdl::patch_word_v], rec[mdl::patch_word_closed_v] != 0) == 0)
            return false;
        // The patch transform shapes and writes the control points in one
        // hardware-path vertex buffer.
        if (!fits_vertex_buffer(points))
            return false;
        if (!claim(points, mdl::point_bytes))
            return false;
        o.patch.points.resize(static_cast<std::size_t>(points));
        for (vec4& p : o.patch.points)
            p = read_vec4(r_);
    } else if (o.type == 4) {
        if (!read_mesh(o, materials))
            return false;
    } else if (o.type == 5 && o.payload) {
        o.has_bone = true;
        if (!read_bone(o.bone))
            return false;
    }
    if (muscles > r_.remaining() / (mdl::muscle_bytes + mdl::curve_bytes))
        return false;
    o.muscles.resize(muscles);
    for (mdl_muscle& m : o.muscles)
        if (!read_muscle(m, o))
            return false;
    if (!claim(materials, mdl::material_ref_bytes))
        return false;
    for (std::uint32_t i = 0; i < materials; ++i) {
        o.materials.push_back(r_.fixed_string(32));
        r_.skip(8);
    }
    if (o.has_hit_mesh && !read_hit_mesh(o.hit_mesh))
        return false;
    return r_.ok();
}

// Ids unique and in range, exactly one root, links in range, no cycle
// through the child and sibling links nor through the parent links, and
// every object reached from the root.
bool hierarchy_sound(const std::vector<mdl_object>& objects)
{
    const auto n = static_cast<std::int32_t>(objects.size());
    std::vector<int> by_id(objects.size(), -1);
    int root = -1;
    for (std::size_t i = 0; i < objects.size(); ++i) {
        const mdl_object& o = objects[i];
        if (o.id >= objects.size() || by_id[o.id] >= 0)
            return false;
        by_id[o.id] = static_cast<int>(i);
        for (std::int32_t link : {o.parent, o.sibling, o.child})
            if (link < -1 || link >= n)
                return false;
        if (o.parent == -1) {
            if (root >= 0)
                return false;
            root = static_cast<int>(i);
        }
    }
    if (root < 0)
        return false;
    for (const mdl_object& o : objects) {
        std::int32_t up = o.parent;
        for (std::int32_t steps = 0; up != -1; ++steps) {
            if (steps >= n)
                return false;
            up = objects[by_id[up]].parent;
        }
    }
    // Walk the tree through first-child and next-sibling links: every
    // object at most once.
    std::vector<bool> seen(objects.size(), false);
    std::vector<int> stack{root};
    while (!stack.empty()) {
        const int i = stack.back();
        stack.pop_back();
        if (seen[i])
            return false;
        seen[i] = true;
        const mdl_object& o = objects[i];
        if (o.sibling >= 0)
            stack.push_back(by_id[o.sibling]);
        if (o.child >= 0)
            stack.push_back(by_id[o.child]);
    }
    // An object the walk does not reach hangs outside the tree; its own
    // links were never checked and the build walks them.
    return std::find(seen.begin(), seen.end(), false) == seen.end();
}

// Skin groups name meshes of the same level; their vertex numbers are
// vertices of those meshes.
bool skin_sound(const std::vector<mdl_object>& objects)
{
    for (const mdl_object& o : objects) {
        if (!o.has_bone)
            continue;
        for (const mdl_skin_group& g : o.bone.groups) {
            if (g.vertices.empty())
                continue;
            const mdl_object* mesh = nullptr;
            for (const mdl_object& m : objects)
                if (m.type == 4 && name_hash(m.name.c_str()) == g.mesh_hash) {
                    mesh = &m;
                    break;
                }
            if (!mesh)
                return false;
            for (std::uint16_t v : g.vertices)
                if (v >= mesh->mesh.vertices.size())
                    return false;
        }
    }
    return true;
}

mdl_status model_reader::read_level(std::uint32_t offset, int level, mdl_level& out, std::uint32_t* too_many)
{
    if (!r_.seek(offset) || !claim(1, mdl::list_header_bytes))
        return mdl_status::bad_structure;
    if (r_.u32() != mdl::list_magic)
        return mdl_status::bad_list;
    r_.skip(4);
    const std::uint32_t n = r_.u32();
    if (n > 200) {
        if (too_many)
            *too_many = n;
        return mdl_status::too_many_objects;
    }
    if (n > mdl::max_objects)
        return mdl_status::out_of_memory;
    if (!claim(n, mdl::entry_bytes))
        return mdl_status::bad_structure;
    std::vector<std::uint32_t> offsets(n);
    for (auto& at : offsets) {
        r_.skip(32);
        at = r_.u32();
        r_.skip(4);
    }
    out.objects.resize(n);
    for (std::uint32_t i = 0; i < n; ++i) {
        if (file_.size() < mdl::object_lead_bytes || offsets[i] > file_.size() - mdl::object_lead_bytes || !r_.seek(offsets[i] + mdl::object_lead_bytes))
            return mdl_status::bad_structure;
        if (!read_object(out.objects[i], level))
            return mdl_status::bad_structure;
    }
    if (!hierarchy_sound(out.objects) || !skin_sound(out.objects))
        return mdl_status::bad_structure;
    return mdl_status::ok;
}

mdl_status model_reader::read(std::uint32_t offset, mdl_model& out, std::uint32_t* too_many)
{
    if (!r_.seek(offset) || !claim(1, mdl::model_header_bytes))
        return mdl_status::bad_structure;
    r_.skip(8);
    const std::uint32_t levels = r_.u32();
    if (levels == 0 || !claim(levels, mdl::entry_bytes))
        return mdl_status::bad_structure;
    std::vector<std::uint32_t> offsets(levels);
    out.levels.resize(levels);
    for (std::uint32_t i = 0; i < levels; ++i) {
        out.levels[i].name = r_.fixed_string(32);
        offsets[i] = r_.u32();
        r_.skip(4);
    }
    for (std::uint32_t i = 0; i < levels; ++i) {
        const mdl_status status = read_level(offsets[i], static_cast<int>(i), out.levels[i], too_many);
        if (status != mdl_status::ok)
            return status;
    }
    return mdl_status::ok;
}

} // namespace

bool mdl_object::has_pivot() const
{
    for (int row = 0; row < 3; ++row)
        for (int c = 0; c < 3; ++c)
            if (pivot[row * 4 + c] != 0.0f)
                return true;
    return false;
}

mdl_status mdl_read_directory(const std::vector<std::uint8_t>& file, std::vector<mdl_dir_entry>& directory)
{
    ByteReader r(file);
    const std::uint32_t magic = r.u32();
    const std::uint32_t version = r.u32();
    const std::uint32_t count = r.u32();
    if (!r.ok())
        return mdl_status::bad_structure;
    if (version != mdl::version)
        return mdl_status::bad_version;
    if (magic != mdl::magic)
        return mdl_status::bad_structure;
    if (count > r.remaining() / mdl::entry_bytes)
        return mdl_status::bad_structure;
    directory.resize(count);
    for (mdl_dir_entry& e : directory) {
        e.name = r.fixed_string(32);
        e.offset = r.u32();
        r.skip(4);
    }
    return r.ok() ? mdl_status::ok : mdl_status::bad_structure;
}

mdl_status mdl_read_model(const std::vector<std::uint8_t>& file, std::uint32_t offset, mdl_model& out,
                          std::uint64_t& budget, std::uint32_t* too_many)
{
    try {
        model_reader reader(file, budget);
        return reader.read(offset, out, too_many);
    } catch (const std::bad_alloc&) {
        return mdl_status::out_of_memory;
    }
}

std::uint64_t mdl_read_budget(const std::vector<std::uint8_t>& file)
{
    return std::uint64_t{file.size()} * 2 + 1024;
}

std::string mdl_status_text(mdl_status status, const std::string& path, std::uint32_t count)
{
    switch (status) {
    case mdl_status::ok:
    case mdl_status::not_found:
    case mdl_status::bad_list: return {};
    case mdl_status::out_of_memory: return "Out of memory!";
    case mdl_status::bad_structure: return "Error in file structure!";
    case mdl_status::open_failed: return "File open error!: " + path;
    case mdl_status::bad_version: return "Incorrect MODEL library version!";
    case mdl_status::too_many_objects: return "MODEL_LIB:: Number of objects too big!: " + std::to_string(count);
    case mdl_status::array_overflow: return "Array overflow!";
    case mdl_status::muscle_joints: return "Angolo non trovato!";
    }
    return {};
}
