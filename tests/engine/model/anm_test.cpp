#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/base/light_record.h"
#include "engine/base/name_hash.h"
#include "engine/model/anim_channels.h"
#include "engine/model/anim_lib.h"
#include "engine/model/anm_format.h"
#include "engine/model/fcurve.h"
#include "engine/model/lattice_anim.h"
#include "engine/model/path_spline.h"
#include "engine/model/shape_anim.h"
#include "platform/file.h"
#include "tests/engine/model/anm_fixture.h"
#include "tests/engine/model/model_fixture.h"
#include "tests/support/fp_traps.h"
#include "tests/support/temp_dir.h"
#include "tools/datakit/anm_writer.h"
#include "tools/datakit/rider_state_writer.h"

using model_test::ModelTest;
using model_test::sample_library;

namespace {

std::string write_library(const std::vector<std::uint8_t>& bytes, const char* hint = "anm")
{
    const auto path = torvane_test::make_temp_dir(hint) / "LIB.ANM";
    EXPECT_TRUE(platform::write_whole_file(path.string(), bytes));
    return path.string();
}

void expect_vec(const vec4& a, const vec4& b, const std::string& what)
{
    EXPECT_EQ(a.x, b.x) << what;
    EXPECT_EQ(a.y, b.y) << what;
    EXPECT_EQ(a.z, b.z) << what;
    EXPECT_EQ(a.w, b.w) << what;
}

void expect_same(const anm_animation& got, const anm_animation& want)
{
    ASSERT_EQ(got.paths.size(), want.paths.size());
    for (std::size_t i = 0; i < want.paths.size(); ++i) {
        const anm_path& g = got.paths[i];
        const anm_path& w = want.paths[i];
        EXPECT_EQ(g.name, w.name);
        EXPECT_EQ(g.second_name, w.second_name);
        EXPECT_EQ(g.closed, w.closed);
        EXPECT_EQ(g.curve_names, w.curve_names);
        ASSERT_EQ(g.points.size(), w.points.size());
        for (std::size_t k = 0; k < w.points.size(); ++k) {
            expect_vec(g.points[k].in_handle, w.points[k].in_handle, w.name);
            expect_vec(g.points[k].position, w.points[k].position, w.name);
            expect_vec(g.points[k].out_handle, w.points[k].out_handle, w.name);
        }
    }
    ASSERT_EQ(got.objects.size(), want.objects.size());
    for (std::size_t i = 0; i < want.objects.size(); ++i) {
        const anm_object& g = got.objects[i];
        const anm_object& w = want.objects[i];
        EXPECT_EQ(g.name, w.name);
        EXPECT_EQ(g.has_lattice_curve, w.has_lattice_curve);
        ASSERT_EQ(g.curves.size(), w.curves.size());
        for (std::size_t c = 0; c < w.curves.size(); ++c) {
            const anm_curve& gc = g.curves[c];
            const anm_curve& wc = w.curves[c];
            EXPECT_EQ(gc.name, wc.name);
            EXPECT_EQ(gc.param, wc.param);
            EXPECT_EQ(gc.pre, wc.pre);
            EXPECT_EQ(gc.post, wc.post);
            EXPECT_EQ(gc.interp, wc.interp);
            ASSERT_EQ(gc.keys.size(), wc.keys.size());
            for (std::size_t k = 0; k < wc.keys.size(); ++k) {
                EXPECT_EQ(gc.keys[k].time, wc.keys[k].time);
                EXPECT_EQ(gc.keys[k].value, wc.keys[k].value);
                EXPECT_EQ(gc.keys[k].out_slope, wc.keys[k].out_slope);
                EXPECT_EQ(gc.keys[k].in_slope, wc.keys[k].in_slope);
            }
        }
        ASSERT_EQ(g.lattice.size(), w.lattice.size());
        for (std::size_t s = 0; s < w.lattice.size(); ++s) {
            const lattice_header& gh = g.lattice[s].header;
            const lattice_header& wh = w.lattice[s].header;
            EXPECT_STREQ(gh.name, wh.name);
            EXPECT_STREQ(gh.second_name, wh.second_name);
            EXPECT_EQ(gh.kept_word, wh.kept_word);
            EXPECT_EQ(std::memcmp(gh.counts, wh.counts, sizeof gh.counts), 0);
            EXPECT_EQ(std::memcmp(gh.kept, wh.kept, sizeof gh.kept), 0);
            expect_vec(gh.box_min, wh.box_min, "box");
            expect_vec(gh.box_max, wh.box_max, "box");
            ASSERT_EQ(g.lattice[s].points.size(), w.lattice[s].points.size());
            for (std::size_t p = 0; p < w.lattice[s].points.size(); ++p)
                expect_vec(g.lattice[s].points[p], w.lattice[s].points[p], "lattice point");
        }
        ASSERT_EQ(g.shapes.size(), w.shapes.size());
        for (std::size_t s = 0; s < w.shapes.size(); ++s) {
            EXPECT_EQ(g.shapes[s].name, w.shapes[s].name);
            EXPECT_EQ(g.shapes[s].vertex_count, w.shapes[s].vertex_count);
            EXPECT_EQ(g.shapes[s].key_count, w.shapes[s].key_count);
            EXPECT_EQ(g.shapes[s].offsets, w.shapes[s].offsets);
            ASSERT_EQ(g.shapes[s].positions.size(), w.shapes[s].positions.size());
            for (std::size_t p = 0; p < w.shapes[s].positions.size(); ++p)
                expect_vec(g.shapes[s].positions[p], w.shapes[s].positions[p], "shape position");
        }
    }
    ASSERT_EQ(got.lights.size(), want.lights.size());
    for (std::size_t i = 0; i < want.lights.size(); ++i) {
        const anm_light& g = got.lights[i];
        const anm_light& w = want.lights[i];
        EXPECT_EQ(g.type, w.type);
        EXPECT_EQ(g.flags, w.flags);
        expect_vec(g.world_position, w.world_position, "light");
        expect_vec(g.position, w.position, "light");
        expect_vec(g.target, w.target, "light");
        EXPECT_EQ(std::memcmp(g.colour, w.colour, sizeof g.colour), 0);
        EXPECT_EQ(g.cone, w.cone);
        EXPECT_EQ(g.softness, w.softness);
        EXPECT_EQ(g.name, w.name);
        EXPECT_EQ(g.name_hash, w.name_hash);
        EXPECT_EQ(g.range, w.range);
        EXPECT_EQ(std::memcmp(g.kept, w.kept, sizeof g.kept), 0);
        EXPECT_EQ(std::memcmp(g.spot_matrix, w.spot_matrix, sizeof g.spot_matrix), 0);
        EXPECT_EQ(g.link_word, w.link_word);
        ASSERT_EQ(g.bindings.size(), w.bindings.size());
        for (std::size_t b = 0; b < w.bindings.size(); ++b) {
            EXPECT_EQ(g.bindings[b].target_hash, w.bindings[b].target_hash);
            EXPECT_EQ(g.bindings[b].code, w.bindings[b].code);
            EXPECT_EQ(g.bindings[b].value, w.bindings[b].value);
            EXPECT_EQ(std::memcmp(g.bindings[b].kept, w.bindings[b].kept, sizeof g.bindings[b].kept), 0);
        }
    }
}

anim_node* node_named(anim_link* link, const char* name)
{
    for (anim_node* n = link->first_node; n; n = n->next)
        if (n->object_hash == name_hash(name))
            return n;
    return nullptr;
}

struct live_counts {
    int nodes = anim_node::live, curves = fcurve::live, keys = fcurve_key::live, points = path_point::live,
        links = anim_link::live, shapes = shape_anim::live, lattices = lattice_anim::live,
        lattice_shapes = lattice_shape::live, bindings = node_binding::live;
    void expect_back() const
    {
        EXPECT_EQ(anim_node::live, nodes);
        EXPECT_EQ(fcurve::live, curves);
        EXPECT_EQ(fcurve_key::live, keys);
        EXPECT_EQ(path_point::live, points);
        EXPECT_EQ(anim_link::live, links);
        EXPECT_EQ(shape_anim::live, shapes);
        EXPECT_EQ(lattice_anim::live, lattices);
        EXPECT_EQ(lattice_shape::live, lattice_shapes);
        EXPECT_EQ(node_binding::live, bindings);
    }
};

} // namespace

using AnmTest = ModelTest;

TEST_F(AnmTest, KitLibraryReadsBackFieldForField)
{
    const std::vector<anm_animation> library = sample_library();
    const std::vector<std::uint8_t> bytes = datakit::anm_bytes(library);
    std::vector<anm_dir_entry> directory;
    ASSERT_EQ(anm_read_directory(bytes, directory), anm_status::ok);
    ASSERT_EQ(directory.size(), library.size());
    for (std::size_t i = 0; i < library.size(); ++i) {
        EXPECT_EQ(directory[i].name, library[i].name);
        anm_animation read;
        ASSERT_EQ(anm_read_animation(bytes, directory[i].offset, read), anm_status::ok) << library[i].name;
        expect_same(read, library[i]);
    }

    // The writer's output goes through a temporary file.
    const auto folder = torvane_test::make_temp_dir("write");
    std::string error;
    ASSERT_TRUE(datakit::write_anm(folder / "OUT.ANM", library, error)) << error;
    std::vector<std::uint8_t> on_disk;
    ASSERT_TRUE(platform::read_whole_file((folder / "OUT.ANM").string(), on_disk));
    EXPECT_EQ(on_disk, bytes);
    EXPECT_FALSE(std::filesystem::exists(folder / "OUT.ANM.tmp"));
}

TEST_F(AnmTest, LibraryBuildsTheAnimationRecords)
{
    torvane_test::FpTraps traps;
    const live_counts before;
    {
        anim_lib lib("bikes.anm");
        EXPECT_EQ(lib.name, "BIKES.ANM");
        ASSERT_EQ(lib.try_open(write_library(datakit::anm_bytes(sample_library())).c_str()), anm_status::ok);
        int loaded = 0;
        ASSERT_EQ(lib.try_load_all(&loaded), anm_status::ok);
        EXPECT_EQ(loaded, 1);
        ASSERT_EQ(lib.link_count, 3u);
        EXPECT_EQ(lib.first_link->name_hash, name_hash("Empty"));  // the last added comes first
        EXPECT_EQ(lib.first_link->node_count, 0u);
        EXPECT_EQ(lib.first_link->lights, nullptr);
        EXPECT_EQ(lib.first_link->owner_state, 1u);

        anim_link* walk = lib.find(name_hash("WALK"));
        ASSERT_NE(walk, nullptr);
        EXPECT_EQ(walk->node_count, 6u);  // four objects and the two paths no object is named after
        EXPECT_EQ(walk->first_node->object_hash, name_hash("LONER"));
        ASSERT_NE(walk->first_node->path, nullptr);

        anim_node* body = node_named(walk, "BODY");
        ASSERT_NE(body, nullptr);
        EXPECT_EQ(body->anim_hash, walk->name_hash);
        ASSERT_NE(body->scaling, nullptr);
        EXPECT_FLOAT_EQ(body->scaling->eval(1).z, 3.0f);
        EXPECT_EQ(body->rotation->flags & rotation_by_angles, rotation_by_angles);
        EXPECT_FLOAT_EQ(body->rotation->y->calc(1), 5.0f);
        EXPECT_EQ(body->position->flags & position_by_curves, position_by_curves);
        vec4 p{};
        body->position->eval(1, &p);
        EXPECT_FLOAT_EQ(p.x, 139.0f);
        EXPECT_FLOAT_EQ(p.z, 141.0f);
        EXPECT_EQ(body->position->x->owner_state, 1u);
        EXPECT_EQ(body->position->x->key_count, 3);
        EXPECT_EQ(body->position->x->post_mode, 1u);

        anim_node* wheel = node_named(walk, "WHEEL");
        ASSERT_NE(wheel, nullptr);
        ASSERT_NE(wheel->position, nullptr);
        EXPECT_EQ(wheel->position->flags & position_along_path, position_along_path);
        ASSERT_NE(wheel->position->path, nullptr);
        EXPECT_EQ(wheel->position->path->name.hash, name_hash("TRACK"));  // the first path naming the curve
        ASSERT_NE(wheel->path, nullptr);                                   // the path named after the object
        EXPECT_EQ(wheel->path->count, 4u);                                 // closed: the first point again
        EXPECT_EQ(wheel->path->flags & spline_closed, spline_closed);
        EXPECT_EQ(wheel->path->last->position.x, wheel->path->first->position.x);
        EXPECT_GT(wheel->path->total_length(), 40.0f);
        EXPECT_NE(wheel->rotation->param, nullptr);

        anim_node* flag = node_named(walk, "FLAG");
        ASSERT_NE(flag, nullptr);
        EXPECT_EQ(flag->flags & node_lattice_a, node_lattice_a);
        ASSERT_NE(flag->lattice, nullptr);
        EXPECT_EQ(flag->lattice->count, 2u);
        EXPECT_EQ(flag->lattice->kept_word, 77u);
        EXPECT_EQ(flag->lattice->working->u, 4u);
        EXPECT_EQ(flag->lattice->working->v, 5u);
        EXPECT_EQ(flag->lattice->last->points[0].y, 1.0f);
        ASSERT_NE(flag->shapes, nullptr);
        EXPECT_EQ(flag->shapes->name.hash, name_hash("SMILE"));
        ASSERT_NE(flag->shapes->curve, nullptr);
        EXPECT_EQ(flag->shapes->next->curve->param_id, 183u);
        EXPECT_EQ(flag->shapes->offsets[0], 96);

        ASSERT_EQ(walk->light_count, 2u);
        const scn_light& lamp = walk->lights[0];
        EXPECT_EQ(lamp.type, 2);
        EXPECT_EQ(lamp.range_sq, 400.0f);
        EXPECT_EQ(lamp.r, 1.0f);  // doubled by set_range
        EXPECT_EQ(lamp.link_count, 2);
        ASSERT_NE(lamp.links, nullptr);
        EXPECT_EQ(lamp.links->code, 2111u);
        EXPECT_EQ(lamp.links->next->code, 2116u);
        EXPECT_EQ(lamp.links->next->kept[17], 101u);
        EXPECT_EQ(lamp.next, &walk->lights[1]);
        EXPECT_EQ(walk->lights[1].links, nullptr);

        // One object across animations, in list order (the latest first):
        // "body" of Run leads to BODY of Walk.
        anim_link* run = lib.find(name_hash("run"));
        ASSERT_NE(run, nullptr);
        EXPECT_EQ(run->first_node->next_anim, body);
        EXPECT_EQ(body->prev_anim, run->first_node);
        EXPECT_EQ(body->next_anim, nullptr);

        EXPECT_EQ(lib.try_add_anim("nothing"), anm_status::not_found);
        lib.remove_anim(walk);
        EXPECT_EQ(lib.link_count, 2u);
        EXPECT_EQ(lib.find(name_hash("WALK")), nullptr);
        anim_link* again = nullptr;
        ASSERT_EQ(lib.try_add_anim("wAlK", &again), anm_status::ok);  // names match without regard to case
        EXPECT_EQ(lib.first_link, again);

        engine* context = current_engine;
        lib.append_to_chain(context);
        EXPECT_EQ(context->anim_libs, &lib);
        context->anim_libs = nullptr;
    }
    before.expect_back();
}

namespace {

struct DamageCase {
    const char* what;
    // Changes the library description before writing (may be empty).
    std::function<void(std::vector<anm_animation>&)> edit;
    // Changes the written bytes (may be empty); `marks` lists the chunks.
    std::function<void(std::vector<std::uint8_t>&, const std::vector<datakit::AnmChunkMark>&)> damage;
    anm_status expected;
};

void put_u32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::size_t first_mark(const std::vector<datakit::AnmChunkMark>& marks, std::uint32_t tag)
{
    for (const auto& m : marks)
        if (m.tag == tag)
            return m.position;
    ADD_FAILURE() << "no chunk " << tag;
    return 0;
}

// Offset word of entry i of the chunk whose header is at `chunk`.
std::size_t entry_offset_word(std::size_t chunk, std::size_t i)
{
    return chunk + anm::chunk_header_bytes + i * anm::dir_entry_bytes + anm::name_bytes;
}

anm_status load(const std::vector<std::uint8_t>& bytes)
{
    anim_lib lib("damaged");
    const std::string path = write_library(bytes, "damaged");
    const anm_status opened = lib.try_open(path.c_str());
    if (opened != anm_status::ok)
        return opened;
    return lib.try_load_all();
}

} // namespace

TEST_F(AnmTest, DamagedFilesFailCleanly)
{
    using Marks = std::vector<datakit::AnmChunkMark>;
    constexpr std::uint32_t huge = 0x7FFFFFF0;
    const DamageCase cases[] = {
        {"wrong magic", {}, [](auto& b, const Marks&) { b[0] ^= 1; }, anm_status::bad_structure},
        {"version", {}, [](auto& b, const Marks&) { put_u32(b, 4, 101); }, anm_status::bad_version},
        {"directory count", {}, [](auto& b, const Marks&) { put_u32(b, 8, huge); }, anm_status::bad_structure},
        {"directory offset", {}, [](auto& b, const Marks&) { put_u32(b, 12 + 32, huge); },
         anm_status::bad_structure},
        {"path count", {}, [](auto& b, const Marks& m) { put_u32(b, first_mark(m, anm::tag_paths) + 8, huge); },
         anm_status::bad_structure},
        {"path body size", {}, [](auto& b, const Marks& m) { put_u32(b, first_mark(m, anm::tag_paths) + 4, huge); },
         anm_status::bad_structure},
        {"path offset", {},
         [](auto& b, const Marks& m) { put_u32(b, entry_offset_word(first_mark(m, anm::tag_paths), 1), huge); },
         anm_status::bad_structure},
        {"object count", {}, [](auto& b, const Marks& m) { put_u32(b, first_mark(m, anm::tag_objects) + 8, huge); },
         anm_status::bad_structure},
        {"object body size", {},
         [](auto& b, const Marks& m) { put_u32(b, first_mark(m, anm::tag_objects) + 4, huge); },
         anm_status::bad_structure},
        {"object offset", {},
         [](auto& b, const Marks& m) { put_u32(b, entry_offset_word(first_mark(m, anm::tag_objects), 2), huge); },
         anm_status::bad_structure},
        {"curve count", {},
         [](auto& b, const Marks& m) { put_u32(b, entry_offset_word(first_mark(m, anm::tag_objects), 0) + 4, huge); },
         anm_status::bad_structure},
        {"light count", {}, [](auto& b, const Marks& m) { put_u32(b, first_mark(m, anm::tag_lights) + 8, huge); },
         anm_status::bad_structure},
        {"light offset", {},
         [](auto& b, const Marks& m) { put_u32(b, entry_offset_word(first_mark(m, anm::tag_lights), 0), huge); },
         anm_status::bad_structure},
        {"lattice count", {}, [](auto& b, const Marks& m) { put_u32(b, first_mark(m, anm::tag_lattice) + 8, huge); },
         anm_status::bad_structure},
        {"no lattice chunk", {}, [](auto& b, const Marks& m) { put_u32(b, first_mark(m, anm::tag_lattice), 0); },
         anm_status::bad_structure},
        {"no object chunk", {}, [](auto& b, const Marks& m) { put_u32(b, first_mark(m, anm::tag_objects), 0); },
         anm_status::bad_structure},
        {"shape count", {}, [](auto& b, const Marks& m) { put_u32(b, first_mark(m, anm::tag_shapes) + 8, huge); },
         anm_status::bad_structure},
        {"shape vertex count", {},
         [](auto& b, const Marks& m) { put_u32(b, first_mark(m, anm::tag_shapes) + 12 + 96, huge); },
         anm_status::bad_structure},
        {"shape key count", {},
         [](auto& b, const Marks& m) { put_u32(b, first_mark(m, anm::tag_shapes) + 12 + 100, huge); },
         anm_status::bad_structure},
        {"binding count",
         {},
         [](auto& b, const Marks& m) {
             std::size_t light = 0;
             for (const auto& mark : m)
                 if (mark.tag == anm::tag_lights)
                     light = mark.position;  // the last: the first light's lead
             put_u32(b, light + 12 + scn_light::link_count_offset, huge);
         },
         anm_status::bad_structure},
        {"parameter id", [](auto& lib) { lib[0].objects[0].curves[0].param = 9; }, {}, anm_status::bad_structure},
        {"parameter id 0", [](auto& lib) { lib[1].objects[0].curves[0].param = 0; }, {}, anm_status::bad_structure},
        {"pre mode", [](auto& lib) { lib[0].objects[1].curves[0].pre = 3; }, {}, anm_status::bad_structure},
        {"post mode", [](auto& lib) { lib[1].objects[0].curves[0].post = 7; }, {}, anm_status::bad_structure},
        {"key count", [](auto& lib) { lib[1].objects[0].curves[0].keys.resize(65536); }, {},
         anm_status::bad_structure},
        {"lattice of one point", [](auto& lib) { lib[0].objects[2].lattice[0].header.counts[0] = 1; }, {},
         anm_status::bad_structure},
        {"lattice of six points",
         [](auto& lib) {
             for (auto& s : lib[0].objects[2].lattice) {
                 s.header.counts[0] = 6;
                 s.points.resize(6 * 3 * 2);
             }
         },
         {}, anm_status::bad_structure},
        {"lattice shapes of two sizes",
         [](auto& lib) { lib[0].objects[2].lattice[1] = model_test::lattice_shape_data("L1", 3, 1.0f); }, {},
         anm_status::bad_structure},
        {"empty lattice", [](auto& lib) { lib[0].objects[2].lattice.clear(); }, {}, anm_status::bad_structure},
        {"1101 path points", [](auto& lib) { lib[0].paths[0] = model_test::straight_path("P", {}, false, 1101); },
         {}, anm_status::bad_structure},
        {"closed path of 1100 points",
         [](auto& lib) { lib[0].paths[0] = model_test::straight_path("P", {}, true, 1100); }, {},
         anm_status::bad_structure},
        {"1100 path points", [](auto& lib) { lib[0].paths[0] = model_test::straight_path("P", {}, false, 1100); },
         {}, anm_status::ok},
        {"65535 keys", [](auto& lib) { lib[1].objects[0].curves[0].keys.resize(65535); }, {}, anm_status::ok},
        {"lattice without a curve is passed over with its shapes",
         [](auto& lib) {
             auto& flag = lib[0].objects[2];
             flag.curves.erase(flag.curves.begin());
             flag.has_lattice_curve = false;
         },
         {}, anm_status::ok},
    };
    for (const DamageCase& c : cases) {
        std::vector<anm_animation> library = sample_library();
        if (c.edit)
            c.edit(library);
        Marks marks;
        std::vector<std::uint8_t> bytes = datakit::anm_bytes(library, &marks);
        if (c.damage)
            c.damage(bytes, marks);
        const live_counts before;
        EXPECT_EQ(load(bytes), c.expected) << c.what;
        before.expect_back();
    }
}

TEST_F(AnmTest, TruncatedFilesFailCleanly)
{
    std::vector<datakit::AnmChunkMark> marks;
    const std::vector<std::uint8_t> whole = datakit::anm_bytes(sample_library(), &marks);
    ASSERT_EQ(load(whole), anm_status::ok);
    // The last animation ends with its object chunk and a terminator the
    // reader may do without.
    const std::size_t last_needed = marks[marks.size() - 2].position + anm::chunk_header_bytes;
    std::vector<std::size_t> cuts = {0, 3, 11, 12, 51, 52};
    for (const auto& m : marks) {
        cuts.push_back(m.position);
        cuts.push_back(m.position + 5);
        cuts.push_back(m.position + anm::chunk_header_bytes);
        cuts.push_back(m.position + anm::chunk_header_bytes + 1);
    }
    for (std::size_t at = 0; at < whole.size(); at += 97)
        cuts.push_back(at);
    for (std::size_t cut : cuts) {
        if (cut >= whole.size())
            continue;
        const std::vector<std::uint8_t> part(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
        const anm_status status = load(part);
        if (cut < last_needed)
            EXPECT_NE(status, anm_status::ok) << "cut at " << cut;
        else
            EXPECT_TRUE(status == anm_status::ok || status == anm_status::bad_structure) << cut;
    }
}

TEST_F(AnmTest, LoaderFailuresAreFatalWithTheirMessages)
{
    const std::string good = write_library(datakit::anm_bytes(sample_library()), "good");
    std::vector<std::uint8_t> old = datakit::anm_bytes(sample_library());
    put_u32(old, 4, 99);
    const std::string old_version = write_library(old, "old");
    std::vector<std::uint8_t> broken = datakit::anm_bytes(sample_library());
    put_u32(broken, 0, 0);
    const std::string bad_magic = write_library(broken, "magic");

    EXPECT_EXIT(anim_lib("x").open_lib_file("missing/NONE.ANM"), ::testing::ExitedWithCode(1),
                "File open error!: missing/NONE.ANM");
    EXPECT_EXIT(anim_lib("x").open_lib_file(old_version.c_str()), ::testing::ExitedWithCode(1),
                "Incorrect ANIM library version!");
    EXPECT_EXIT(anim_lib("x").open_lib_file(bad_magic.c_str()), ::testing::ExitedWithCode(1),
                "ANIM_LIB:: Error in file structure!");
    EXPECT_EXIT(
        {
            anim_lib lib("x");
            lib.open_lib_file(good.c_str());
            lib.add_anim("Jump");
        },
        ::testing::ExitedWithCode(1), "ERROR Animation not found!");
    EXPECT_EXIT(anim_lib_error(0), ::testing::ExitedWithCode(1), "ANIM_LIB:: Out of memory!");
    EXPECT_EXIT(anim_lib_error(2), ::testing::ExitedWithCode(1), "ANIM_LIB:: File open error!");

    anim_lib lib("x");
    EXPECT_EQ(lib.open_lib_file(good.c_str()), 1);
    EXPECT_EQ(lib.add_anim("run"), 1);
    EXPECT_EQ(lib.load_all(), 1);

    std::vector<std::uint8_t> no_entries = datakit::anm_bytes({});
    anim_lib empty("empty");
    EXPECT_EQ(empty.open_lib_file(write_library(no_entries, "empty").c_str()), 1);
    EXPECT_EQ(empty.load_all(), 0);
}

TEST_F(AnmTest, DemoLibrariesHoldEveryAnimationOfTheDemoSets)
{
    torvane_test::FpTraps traps;
    const auto root = torvane_test::make_temp_dir("demo");
    std::string error;
    ASSERT_TRUE(datakit::write_demo_animation_libraries(root, error)) << error;
    struct Library {
        const char* file;
        std::vector<datakit::AnimationRecordSpec> records;
    } libraries[] = {{"Gfx/Bikes/Bikes.anm", datakit::demo_bike_animations()},
                     {"Gfx/Bikes/Riders.anm", datakit::demo_rider_animations()}};
    for (const Library& l : libraries) {
        anim_lib lib(l.file);
        ASSERT_EQ(lib.try_open((root / l.file).string().c_str()), anm_status::ok) << l.file;
        ASSERT_EQ(lib.try_load_all(), anm_status::ok) << l.file;
        EXPECT_EQ(lib.link_count, l.records.size());
        for (const auto& r : l.records) {
            anim_link* link = lib.find(name_hash(r.name.c_str()));
            ASSERT_NE(link, nullptr) << r.name;
            ASSERT_EQ(link->node_count, 1u);
            // A timed animation ends turned; an untimed one cycles over a second.
            const float end = r.frames > 0 ? r.frames / 18.0f : 0.5f;
            mat4 at_end{};
            const vec4 rest{};
            ASSERT_NE(link->first_node->rotation, nullptr);
            link->first_node->rotation->eval(end, 0, &rest, &at_end);
            EXPECT_LT(at_end.m[1][1], 1.0f) << r.name;  // turned about x by the end
        }
    }
}
