#include "engine/model/anm_reader.h"

#include <cstring>

#include "engine/base/light_record.h"
#include "engine/model/anm_format.h"
#include "platform/byte_reader.h"

namespace {

using platform::ByteReader;

struct chunk_header {
    std::uint32_t tag = 0;
    std::uint32_t size = 0;
    std::uint32_t count = 0;
    std::size_t position = 0;   // where the header starts
    std::size_t body_end() const { return position + anm::chunk_header_bytes + size; }
};

vec4 read_vec4(ByteReader& r)
{
    vec4 v;
    v.x = r.f32();
    v.y = r.f32();
    v.z = r.f32();
    v.w = r.f32();
    return v;
}

class animation_reader {
public:
    animation_reader(const std::vector<std::uint8_t>& file, std::uint64_t budget)
        : file_(file), r_(file), budget_(budget)
    {
    }
    std::uint64_t claimed() const { return claimed_; }

    anm_status read(std::uint32_t offset, anm_animation& out);

private:
    // True when `count` records of `bytes` each lie between the position and
    // the end of the file. The bytes are also claimed from the budget, so
    // that records reached through several offsets at once cannot make the
    // reader build far more than the file holds.
    bool fits(std::uint64_t count, std::uint64_t bytes)
    {
        if (!r_.ok() || count * bytes > r_.remaining())
            return false;
        claimed_ += count * bytes;
        return claimed_ <= budget_;
    }
    bool seek(std::uint64_t offset) { return offset <= file_.size() && r_.seek(static_cast<std::size_t>(offset)); }
    // A fixed-size record at the position, read from its own view.
    bool record(std::size_t bytes, ByteReader& rec)
    {
        const auto view = r_.view(bytes);
        if (!r_.ok())
            return false;
        rec = ByteReader(view);
        return true;
    }
    bool header(chunk_header& h)
    {
        h.position = r_.position();
        h.tag = r_.u32();
        h.size = r_.u32();
        h.count = r_.u32();
        return r_.ok();
    }
    // The body of the chunk lies inside the file.
    bool body_fits(const chunk_header& h) const { return h.body_end() <= file_.size(); }

    // Entries of 40 bytes at the start of a chunk's body: their offsets.
    bool entry_offsets(const chunk_header& h, std::vector<std::uint32_t>& offsets, std::vector<std::string>* names);

    anm_status read_paths(const chunk_header& h, std::vector<anm_path>& paths);
    anm_status read_path(anm_path& path);
    anm_status read_objects(const chunk_header& h, anm_animation& out);
    anm_status read_object(anm_object& object);
    anm_status read_curve(anm_curve& curve);
    anm_status read_lattice(const chunk_header& h, anm_object& object);
    anm_status read_shapes(const chunk_header& h, anm_object& object);
    anm_status read_lights(const chunk_header& h, std::vector<anm_light>& lights);
    anm_status read_light(anm_light& light);

    const std::vector<std::uint8_t>& file_;
    ByteReader r_;
    std::uint64_t budget_;
    std::uint64_t claimed_ = 0;
};

bool animation_reader::entry_offsets(const chunk_header& h, std::vector<std::uint32_t>& offsets,
                                     std::vector<std::string>* names)
{
    if (static_cast<std::uint64_t>(h.count) * anm::dir_entry_bytes > h.size || !fits(h.count, anm::dir_entry_bytes))
        return false;
    offsets.resize(h.count);
    if (names)
        names->resize(h.count);
    for (std::uint32_t i = 0; i < h.count; ++i) {
        const std::string name = r_.fixed_string(anm::name_bytes);
        if (names)
            (*names)[i] = name;
        offsets[i] = r_.u32();
        r_.skip(4);
    }
    return r_.ok();
}

anm_status animation_reader::read_path(anm_path& path)
{
    ByteReader rec;
    if (!record(anm::path_record_bytes, rec))
        return anm_status::bad_structure;
    rec.seek(anm::path_name_offset);
    path.name = rec.fixed_string(anm::name_bytes);
    path.second_name = rec.fixed_string(anm::name_bytes);
    rec.seek(anm::path_curve_names_offset);
    const std::uint32_t names = rec.u32();
    path.closed = rec.u32() == 1;
    rec.seek(anm::path_point_count_offset);
    const std::uint32_t points = rec.u32();
    // A closed path gets a copy of its first point as its last.
    const std::uint32_t limit = path.closed ? anm::max_path_points - 1 : anm::max_path_points;
    if (!rec.ok() || points > limit || !fits(names, anm::name_bytes))
        return anm_status::bad_structure;
    path.curve_names.resize(names);
    for (std::string& name : path.curve_names)
        name = r_.fixed_string(anm::name_bytes);
    if (!fits(points, anm::path_point_bytes))
        return anm_status::bad_structure;
    path.points.resize(points);
    for (anm_path_point& p : path.points) {
        p.in_handle = read_vec4(r_);
        p.position = read_vec4(r_);
        p.out_handle = read_vec4(r_);
    }
    return r_.ok() ? anm_status::ok : anm_status::bad_structure;
}

anm_status animation_reader::read_paths(const chunk_header& h, std::vector<anm_path>& paths)
{
    if (!body_fits(h))
        return anm_status::bad_structure;
    std::vector<std::uint32_t> offsets;
    if (!entry_offsets(h, offsets, nullptr))
        return anm_status::bad_structure;
    paths.resize(offsets.size());
    for (std::size_t i = 0; i < offsets.size(); ++i) {
        if (!seek(std::uint64_t{offsets[i]} + anm::record_lead_bytes))
            return anm_status::bad_structure;
        if (const anm_status s = read_path(paths[i]); s != anm_status::ok)
            return s;
    }
    return seek(h.body_end()) ? anm_status::ok : anm_status::bad_structure;
}

anm_status animation_reader::read_curve(anm_curve& curve)
{
    ByteReader rec;
    if (!record(anm::curve_record_bytes, rec))
        return anm_status::bad_structure;
    rec.seek(anm::curve_name_offset);
    curve.name = rec.fixed_string(anm::name_bytes);
    rec.seek(anm::curve_param_offset);
    curve.param = rec.u32();
    const std::uint32_t keys = rec.u32();
    rec.seek(anm::curve_pre_offset);
    curve.pre = rec.u32();
    curve.post = rec.u32();
    rec.seek(anm::curve_interp_offset);
    curve.interp = rec.u32();
    if (!rec.ok() || !anm::param_known(curve.param) || keys > anm::max_curve_keys ||
        curve.pre > anm::max_extrapolation_mode || curve.post > anm::max_extrapolation_mode ||
        !fits(keys, anm::curve_key_bytes))
        return anm_status::bad_structure;
    curve.keys.resize(keys);
    for (anm_key& k : curve.keys) {
        k.time = r_.f32();
        k.value = r_.f32();
        k.out_slope = r_.f32();
        k.in_slope = r_.f32();
        r_.skip(16);
    }
    return r_.ok() ? anm_status::ok : anm_status::bad_structure;
}

anm_status animation_reader::read_lattice(const chunk_header& h, anm_object& object)
{
    if (h.count == 0)
        return anm_status::bad_structure;
    for (std::uint32_t n = 0; n < h.count; ++n) {
        ByteReader rec;
        if (!record(anm::lattice_header_bytes, rec))
            return anm_status::bad_structure;
        anm_lattice_shape shape;
        lattice_header& lh = shape.header;
        const std::string name = rec.fixed_string(anm::name_bytes);
        const std::string second = rec.fixed_string(anm::name_bytes);
        std::strncpy(lh.name, name.c_str(), sizeof lh.name - 1);
        std::strncpy(lh.second_name, second.c_str(), sizeof lh.second_name - 1);
        lh.kept_word = rec.u32();
        for (std::uint32_t& c : lh.counts)
            c = rec.u32();
        for (std::uint32_t& k : lh.kept)
            k = rec.u32();
        rec.seek(anm::lattice_box_min_offset);
        lh.box_min = read_vec4(rec);
        lh.box_max = read_vec4(rec);
        if (!rec.ok())
            return anm_status::bad_structure;
        for (int a = 0; a < 3; ++a) {
            if (lh.counts[a] < anm::min_lattice_points || lh.counts[a] > anm::max_lattice_points)
                return anm_status::bad_structure;
            // Every shape is blended point for point with the others.
            if (n > 0 && lh.counts[a] != object.lattice.front().header.counts[a])
                return anm_status::bad_structure;
        }
        const std::uint32_t points = lh.counts[0] * lh.counts[1] * lh.counts[2];
        if (!fits(points, anm::lattice_point_bytes))
            return anm_status::bad_structure;
        shape.points.resize(points);
        for (vec4& p : shape.points)
            p = read_vec4(r_);
        object.lattice.push_back(std::move(shape));
    }
    return r_.ok() ? anm_status::ok : anm_status::bad_structure;
}

anm_status animation_reader::read_shapes(const chunk_header& h, anm_object& object)
{
    if (!fits(h.count, anm::shape_record_bytes))
        return anm_status::bad_structure;
    object.shapes.resize(h.count);
    for (anm_shape& shape : object.shapes) {
        ByteReader rec;
        if (!record(anm::shape_record_bytes, rec))
            return anm_status::bad_structure;
        rec.seek(anm::shape_name_offset);
        shape.name = rec.fixed_string(anm::name_bytes);
        shape.vertex_count = rec.u32();
        shape.key_count = rec.u32();
        const std::uint64_t positions = std::uint64_t{shape.vertex_count} * shape.key_count;
        if (!rec.ok() || !fits(shape.vertex_count, 2))
            return anm_status::bad_structure;
        shape.offsets.resize(shape.vertex_count);
        for (std::uint16_t& o : shape.offsets)
            o = r_.u16();
        if (!fits(positions, anm::shape_position_bytes))
            return anm_status::bad_structure;
        shape.positions.resize(static_cast<std::size_t>(positions));
        for (vec4& p : shape.positions)
            p = read_vec4(r_);
    }
    return r_.ok() ? anm_status::ok : anm_status::bad_structure;
}

anm_status animation_reader::read_object(anm_object& object)
{
    for (anm_curve& curve : object.curves) {
        if (const anm_status s = read_curve(curve); s != anm_status::ok)
            return s;
        if (curve.param == anm::param_lattice_a || curve.param == anm::param_lattice_b)
            object.has_lattice_curve = true;
        // The 12 bytes after each curve: the next curve's header, or after
        // the last one the object's chunk header.
        if (!r_.skip(anm::chunk_header_bytes))
            return anm_status::bad_structure;
    }
    if (!seek(r_.position() - anm::chunk_header_bytes))
        return anm_status::bad_structure;
    chunk_header h;
    if (!header(h))
        return anm_status::bad_structure;
    if (object.has_lattice_curve) {
        if (h.tag != anm::tag_lattice)
            return anm_status::bad_structure;
        if (const anm_status s = read_lattice(h, object); s != anm_status::ok)
            return s;
        if (!header(h))
            return anm_status::bad_structure;
    }
    if (h.tag == anm::tag_shapes)
        return read_shapes(h, object);
    return anm_status::ok;
}

anm_status animation_reader::read_objects(const chunk_header& h, anm_animation& out)
{
    if (!body_fits(h))
        return anm_status::bad_structure;
    std::vector<std::uint32_t> offsets;
    std::vector<std::string> names;
    if (!entry_offsets(h, offsets, &names))
        return anm_status::bad_structure;
    // The curve counts are checked against the bytes they need before any
    // room is made for them.
    std::vector<std::uint32_t> curve_counts(h.count);
    if (!seek(h.position + anm::chunk_header_bytes))
        return anm_status::bad_structure;
    for (std::uint32_t i = 0; i < h.count; ++i) {
        r_.skip(anm::name_bytes + 4);
        curve_counts[i] = r_.u32();
    }
    out.objects.resize(h.count);
    for (std::uint32_t i = 0; i < h.count; ++i) {
        anm_object& object = out.objects[i];
        object.name = names[i];
        if (!seek(std::uint64_t{offsets[i]} + anm::record_lead_bytes) ||
            !fits(curve_counts[i], anm::curve_record_bytes + anm::chunk_header_bytes))
            return anm_status::bad_structure;
        object.curves.resize(curve_counts[i]);
        if (const anm_status s = read_object(object); s != anm_status::ok)
            return s;
    }
    return anm_status::ok;
}

anm_status animation_reader::read_light(anm_light& light)
{
    ByteReader rec;
    if (!record(scn_light::file_bytes, rec))
        return anm_status::bad_structure;
    light.type = rec.i32();
    light.flags = rec.u32();
    light.world_position = read_vec4(rec);
    light.position = read_vec4(rec);
    for (float& c : light.colour)
        c = rec.f32();
    light.range_sq = rec.f32();
    light.inv_range_sq = rec.f32();
    light.falloff = rec.f32();
    light.target = read_vec4(rec);
    light.cone = rec.f32();
    light.softness = rec.f32();
    light.cone_tan = rec.f32();
    light.cone_tan_sq = rec.f32();
    light.name = rec.fixed_string(anm::name_bytes);
    light.name_hash = rec.u32();
    light.kept0 = rec.u32();
    light.range = rec.f32();
    for (std::uint32_t& k : light.kept)
        k = rec.u32();
    const std::uint32_t links = rec.u32();
    rec.skip(4);   // the links' pointer slot
    for (float& m : light.spot_matrix)
        m = rec.f32();
    rec.skip(12);  // previous, next, owner state
    light.link_word = rec.u32();
    light.kept1[0] = rec.u32();
    light.kept1[1] = rec.u32();
    if (!rec.ok() || !fits(links, node_binding::file_bytes))
        return anm_status::bad_structure;
    light.bindings.resize(links);
    for (anm_binding& b : light.bindings) {
        b.target_hash = r_.u32();
        b.code = r_.u32();
        b.value = r_.u32();
        r_.skip(16);   // bound, previous, next, owner state
        for (std::uint32_t& k : b.kept)
            k = r_.u32();
    }
    return r_.ok() ? anm_status::ok : anm_status::bad_structure;
}

anm_status animation_reader::read_lights(const chunk_header& h, std::vector<anm_light>& lights)
{
    if (!body_fits(h))
        return anm_status::bad_structure;
    std::vector<std::uint32_t> offsets;
    if (!entry_offsets(h, offsets, nullptr))
        return anm_status::bad_structure;
    lights.resize(offsets.size());
    for (std::size_t i = 0; i < offsets.size(); ++i) {
        if (!seek(std::uint64_t{offsets[i]} + anm::record_lead_bytes))
            return anm_status::bad_structure;
        if (const anm_status s = read_light(lights[i]); s != anm_status::ok)
            return s;
    }
    return anm_status::ok;
}

anm_status animation_reader::read(std::uint32_t offset, anm_animation& out)
{
    chunk_header h;
    if (!seek(offset) || !header(h))
        return anm_status::bad_structure;
    if (h.tag == anm::tag_paths) {
        if (const anm_status s = read_paths(h, out.paths); s != anm_status::ok)
            return s;
        if (!header(h))
            return anm_status::bad_structure;
    }
    if (h.tag != anm::tag_objects)
        return anm_status::bad_structure;
    const chunk_header objects = h;
    if (const anm_status s = read_objects(objects, out); s != anm_status::ok)
        return s;
    // An optional light chunk right after the object chunk's body; the file
    // may also end there.
    if (!seek(objects.body_end()) || !r_.has(anm::chunk_header_bytes) || !header(h) || h.tag != anm::tag_lights)
        return anm_status::ok;
    return read_lights(h, out.lights);
}

} // namespace

anm_status anm_read_directory(const std::vector<std::uint8_t>& file, std::vector<anm_dir_entry>& directory)
{
    directory.clear();
    ByteReader r(file);
    const std::uint32_t magic = r.u32();
    const std::int32_t version = r.i32();
    const std::uint32_t entries = r.u32();
    if (!r.ok() || magic != anm::magic)
        return anm_status::bad_structure;
    if (version != anm::version)
        return anm_status::bad_version;
    if (std::uint64_t{entries} * anm::dir_entry_bytes > r.remaining())
        return anm_status::bad_structure;
    directory.resize(entries);
    for (anm_dir_entry& e : directory) {
        e.name = r.fixed_string(anm::name_bytes);
        e.offset = r.u32();
        r.skip(4);
    }
    return r.ok() ? anm_status::ok : anm_status::bad_structure;
}

std::uint64_t anm_read_budget(const std::vector<std::uint8_t>& file)
{
    return 2 * std::uint64_t{file.size()} + 1024;
}

anm_status anm_read_animation(const std::vector<std::uint8_t>& file, std::uint32_t offset, anm_animation& out,
                              std::uint64_t& budget)
{
    out.paths.clear();
    out.objects.clear();
    out.lights.clear();
    animation_reader reader(file, budget);
    const anm_status status = reader.read(offset, out);
    if (status == anm_status::ok)
        budget -= reader.claimed();
    return status;
}

anm_status anm_read_animation(const std::vector<std::uint8_t>& file, std::uint32_t offset, anm_animation& out)
{
    std::uint64_t budget = anm_read_budget(file);
    return anm_read_animation(file, offset, out, budget);
}

std::string anm_status_text(anm_status status, const std::string& path)
{
    switch (status) {
    case anm_status::ok:
        return {};
    case anm_status::out_of_memory:
        return "ANIM_LIB:: Out of memory!";
    case anm_status::bad_structure:
        return "ANIM_LIB:: Error in file structure!";
    case anm_status::open_failed:
        return "File open error!: " + path;
    case anm_status::bad_version:
        return "Incorrect ANIM library version!";
    case anm_status::not_found:
        return "ERROR Animation not found!";
    }
    return {};
}
