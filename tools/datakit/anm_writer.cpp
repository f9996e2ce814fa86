#include "tools/datakit/anm_writer.h"

#include <system_error>

#include "engine/base/light_record.h"
#include "engine/base/node_binding.h"
#include "engine/model/anm_format.h"
#include "platform/atomic_file.h"
#include "platform/byte_writer.h"
#include "tools/datakit/rider_state_writer.h"
#include "tools/datakit/text_file_builder.h"

namespace datakit {

namespace {

using platform::ByteWriter;

class AnmWriter {
public:
    AnmWriter(ByteWriter& out, std::vector<AnmChunkMark>* marks) : out_(out), marks_(marks) {}

    void animation(const anm_animation& a)
    {
        if (!a.paths.empty())
            paths(a.paths);
        objects(a.objects);
        if (!a.lights.empty())
            lights(a.lights);
        else
            terminator();
    }

private:
    // A chunk header whose size is patched when the body is done.
    std::size_t begin_chunk(std::uint32_t tag, std::uint32_t count)
    {
        const std::size_t at = out_.position();
        if (marks_)
            marks_->push_back({tag, at});
        out_.u32(tag);
        out_.u32(0);
        out_.u32(count);
        return at;
    }
    void end_chunk(std::size_t at)
    {
        out_.patch_u32(at + 4, static_cast<std::uint32_t>(out_.position() - at - anm::chunk_header_bytes));
    }
    void terminator() { end_chunk(begin_chunk(0, 0)); }
    // The 12 bytes before a sub-record reached through an offset.
    void lead(std::uint32_t tag, std::uint32_t size, std::uint32_t count)
    {
        if (marks_)
            marks_->push_back({tag, out_.position()});
        out_.u32(tag);
        out_.u32(size);
        out_.u32(count);
    }
    void vec(const vec4& v)
    {
        out_.f32(v.x);
        out_.f32(v.y);
        out_.f32(v.z);
        out_.f32(v.w);
    }
    void name(const std::string& text) { out_.fixed_string(text, anm::name_bytes); }

    // Entries of 40 bytes whose offsets are patched later; returns where the
    // first offset word lies.
    std::size_t entries(const std::vector<std::string>& names, const std::vector<std::uint32_t>& last_words)
    {
        const std::size_t first = out_.position() + anm::name_bytes;
        for (std::size_t i = 0; i < names.size(); ++i) {
            name(names[i]);
            out_.u32(0);
            out_.u32(last_words.empty() ? 0 : last_words[i]);
        }
        return first;
    }
    void patch_entry(std::size_t first_offset_word, std::size_t i)
    {
        out_.patch_u32(first_offset_word + i * anm::dir_entry_bytes, static_cast<std::uint32_t>(out_.position()));
    }

    void paths(const std::vector<anm_path>& list)
    {
        const std::size_t chunk = begin_chunk(anm::tag_paths, static_cast<std::uint32_t>(list.size()));
        std::vector<std::string> names;
        for (const anm_path& p : list)
            names.push_back(p.name);
        const std::size_t offsets = entries(names, {});
        for (std::size_t i = 0; i < list.size(); ++i) {
            const anm_path& p = list[i];
            patch_entry(offsets, i);
            const std::size_t bytes = anm::path_record_bytes + p.curve_names.size() * anm::name_bytes +
                                      p.points.size() * anm::path_point_bytes;
            lead(anm::tag_paths, static_cast<std::uint32_t>(bytes), 1);
            out_.zeros(anm::path_name_offset);
            name(p.name);
            name(p.second_name);
            out_.u32(0);
            out_.u32(static_cast<std::uint32_t>(p.curve_names.size()));
            out_.u32(p.closed ? 1 : 0);
            out_.u32(0);
            out_.u32(static_cast<std::uint32_t>(p.points.size()));
            out_.zeros(anm::path_record_bytes - anm::path_point_count_offset - 4);
            for (const std::string& n : p.curve_names)
                name(n);
            for (const anm_path_point& point : p.points) {
                vec(point.in_handle);
                vec(point.position);
                vec(point.out_handle);
            }
        }
        end_chunk(chunk);
    }

    void curve(const anm_curve& c)
    {
        out_.zeros(anm::curve_name_offset);
        name(c.name);
        out_.zeros(anm::curve_param_offset - anm::curve_name_offset - anm::name_bytes);
        out_.u32(c.param);
        out_.u32(static_cast<std::uint32_t>(c.keys.size()));
        out_.u32(0);
        out_.u32(c.pre);
        out_.u32(c.post);
        out_.u32(0);
        out_.u32(c.interp);
        for (const anm_key& k : c.keys) {
            out_.f32(k.time);
            out_.f32(k.value);
            out_.f32(k.out_slope);
            out_.f32(k.in_slope);
            out_.zeros(16);
        }
    }

    void lattice(const std::vector<anm_lattice_shape>& shapes)
    {
        const std::size_t chunk = begin_chunk(anm::tag_lattice, static_cast<std::uint32_t>(shapes.size()));
        for (const anm_lattice_shape& s : shapes) {
            const lattice_header& h = s.header;
            name(h.name);
            name(h.second_name);
            out_.u32(h.kept_word);
            for (std::uint32_t c : h.counts)
                out_.u32(c);
            for (std::uint32_t k : h.kept)
                out_.u32(k);
            out_.u32(0);
            vec(h.box_min);
            vec(h.box_max);
            out_.zeros(anm::lattice_header_bytes - anm::lattice_box_max_offset - 16);
            for (const vec4& p : s.points)
                vec(p);
        }
        end_chunk(chunk);
    }

    void shapes(const std::vector<anm_shape>& list)
    {
        const std::size_t chunk = begin_chunk(anm::tag_shapes, static_cast<std::uint32_t>(list.size()));
        for (const anm_shape& s : list) {
            out_.zeros(anm::shape_name_offset);
            name(s.name);
            out_.u32(s.vertex_count);
            out_.u32(s.key_count);
            out_.u32(0);
            out_.u32(0);
            for (std::uint16_t o : s.offsets)
                out_.u16(o);
            for (const vec4& p : s.positions)
                vec(p);
        }
        end_chunk(chunk);
    }

    void objects(const std::vector<anm_object>& list)
    {
        const std::size_t chunk = begin_chunk(anm::tag_objects, static_cast<std::uint32_t>(list.size()));
        std::vector<std::string> names;
        std::vector<std::uint32_t> curve_counts;
        for (const anm_object& o : list) {
            names.push_back(o.name);
            curve_counts.push_back(static_cast<std::uint32_t>(o.curves.size()));
        }
        const std::size_t offsets = entries(names, curve_counts);
        for (std::size_t i = 0; i < list.size(); ++i) {
            const anm_object& o = list[i];
            patch_entry(offsets, i);
            // A 12-byte header before every curve; after the last curve the
            // object's own chunks follow at once.
            for (const anm_curve& c : o.curves) {
                lead(0, static_cast<std::uint32_t>(anm::curve_record_bytes + c.keys.size() * anm::curve_key_bytes),
                     static_cast<std::uint32_t>(c.keys.size()));
                curve(c);
            }
            if (!o.lattice.empty())
                lattice(o.lattice);
            if (!o.shapes.empty())
                shapes(o.shapes);
            terminator();
        }
        end_chunk(chunk);
    }

    void lights(const std::vector<anm_light>& list)
    {
        const std::size_t chunk = begin_chunk(anm::tag_lights, static_cast<std::uint32_t>(list.size()));
        std::vector<std::string> names;
        for (const anm_light& l : list)
            names.push_back(l.name);
        const std::size_t offsets = entries(names, {});
        for (std::size_t i = 0; i < list.size(); ++i) {
            const anm_light& l = list[i];
            patch_entry(offsets, i);
            lead(anm::tag_lights,
                 static_cast<std::uint32_t>(scn_light::file_bytes + l.bindings.size() * node_binding::file_bytes), 1);
            light(l);
        }
        end_chunk(chunk);
    }

    void light(const anm_light& l)
    {
        out_.i32(l.type);
        out_.u32(l.flags);
        vec(l.world_position);
        vec(l.position);
        for (float c : l.colour)
            out_.f32(c);
        out_.f32(l.range_sq);
        out_.f32(l.inv_range_sq);
        out_.f32(l.falloff);
        vec(l.target);
        out_.f32(l.cone);
        out_.f32(l.softness);
        out_.f32(l.cone_tan);
        out_.f32(l.cone_tan_sq);
        name(l.name);
        out_.u32(l.name_hash);
        out_.u32(l.kept0);
        out_.f32(l.range);
        for (std::uint32_t k : l.kept)
            out_.u32(k);
        out_.u32(static_cast<std::uint32_t>(l.bindings.size()));
        out_.u32(0);
        for (float m : l.spot_matrix)
            out_.f32(m);
        out_.zeros(12);
        out_.u32(l.link_word);
        out_.u32(l.kept1[0]);
        out_.u32(l.kept1[1]);
        for (const anm_binding& b : l.bindings) {
            out_.u32(b.target_hash);
            out_.u32(b.code);
            out_.u32(b.value);
            out_.zeros(16);
            for (std::uint32_t k : b.kept)
                out_.u32(k);
        }
    }

    ByteWriter& out_;
    std::vector<AnmChunkMark>* marks_;
};

} // namespace

std::vector<std::uint8_t> anm_bytes(const std::vector<anm_animation>& animations, std::vector<AnmChunkMark>* marks)
{
    std::vector<std::uint8_t> bytes;
    ByteWriter out(bytes);
    out.u32(anm::magic);
    out.i32(anm::version);
    out.u32(static_cast<std::uint32_t>(animations.size()));
    const std::size_t directory = out.position();
    for (const anm_animation& a : animations) {
        out.fixed_string(a.name, anm::name_bytes);
        out.u32(0);
        out.u32(0);
    }
    AnmWriter writer(out, marks);
    for (std::size_t i = 0; i < animations.size(); ++i) {
        out.patch_u32(directory + i * anm::dir_entry_bytes + anm::name_bytes, static_cast<std::uint32_t>(out.position()));
        writer.animation(animations[i]);
    }
    return bytes;
}

namespace {

anm_curve demo_curve(std::uint32_t param, float seconds, float from, float to, std::uint32_t post)
{
    anm_curve c;
    c.name = "DEMO";
    c.param = param;
    c.pre = 0;
    c.post = post;
    c.interp = 2;
    c.keys = {{0.0f, from, 0.0f, 0.0f}, {seconds, to, 0.0f, 0.0f}};
    return c;
}

anm_animation demo_animation(const std::string& name, const char* object, std::vector<anm_curve> curves)
{
    anm_animation a;
    a.name = name;
    anm_object o;
    o.name = object;
    o.curves = std::move(curves);
    a.objects.push_back(std::move(o));
    return a;
}

} // namespace

std::vector<anm_animation> demo_bike_anm()
{
    std::vector<anm_animation> out;
    for (const AnimationRecordSpec& r : demo_bike_animations()) {
        const float seconds = static_cast<float>(r.frames) / 18.0f;
        const float side = r.name.back() == 'A' ? 80.0f : -80.0f;
        out.push_back(demo_animation(r.name, "BIKE",
                                     {demo_curve(4, seconds, 0.0f, side, 0),
                                      demo_curve(140, seconds, 0.0f, -0.3f, 0)}));
    }
    return out;
}

std::vector<anm_animation> demo_rider_anm()
{
    std::vector<anm_animation> out;
    for (const AnimationRecordSpec& r : demo_rider_animations()) {
        const bool timed = r.frames > 0;
        const float seconds = timed ? static_cast<float>(r.frames) / 18.0f : 1.0f;
        const float sway = 5.0f + static_cast<float>(out.size() % 7);
        out.push_back(demo_animation(r.name, "RIDER",
                                     {demo_curve(4, seconds, 0.0f, sway, timed ? 0 : 2),
                                      demo_curve(139, seconds, 0.0f, 0.1f, timed ? 0 : 2)}));
    }
    return out;
}

bool write_demo_animation_libraries(const std::filesystem::path& root, std::string& error)
{
    const std::filesystem::path folder = root / "Gfx" / "Bikes";
    if (!create_folders(folder, error))
        return false;
    return write_anm(folder / "Bikes.anm", demo_bike_anm(), error) &&
           write_anm(folder / "Riders.anm", demo_rider_anm(), error);
}

bool write_anm(const std::filesystem::path& path, const std::vector<anm_animation>& animations, std::string& error)
{
    return platform::write_file_atomic(path.string(), anm_bytes(animations), &error);
}

} // namespace datakit
