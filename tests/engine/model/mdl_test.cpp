#include <gtest/gtest.h>

#include "engine/model/mdl_format.h"
#include "engine/model/mdl_reader.h"
#include "mdl_fixture.h"
#include "tools/datakit/mdl_writer.h"

namespace model_test {
namespace {

mdl_status read_first(const std::vector<std::uint8_t>& file, mdl_model& out, std::uint32_t* too_many = nullptr)
{
    std::vector<mdl_dir_entry> dir;
    const mdl_status status = mdl_read_directory(file, dir);
    if (status != mdl_status::ok)
        return status;
    if (dir.empty())
        return mdl_status::not_found;
    std::uint64_t budget = mdl_read_budget(file);
    out.name = dir[0].name;
    return mdl_read_model(file, dir[0].offset, out, budget, too_many);
}

TEST(MdlFile, EveryRecordKindSurvivesARoundTripThroughTheKitsWriter)
{
    const std::vector<mdl_model> models{rich_model("RIDER"), rich_model("PILLION")};
    const auto bytes = datakit::mdl_bytes(models);
    std::vector<mdl_dir_entry> dir;
    ASSERT_EQ(mdl_read_directory(bytes, dir), mdl_status::ok);
    ASSERT_EQ(dir.size(), 2u);
    EXPECT_EQ(dir[1].name, "PILLION");
    std::vector<mdl_model> back;
    std::uint64_t budget = mdl_read_budget(bytes);
    for (const mdl_dir_entry& e : dir) {
        mdl_model m;
        m.name = e.name;
        ASSERT_EQ(mdl_read_model(bytes, e.offset, m, budget), mdl_status::ok) << e.name;
        back.push_back(m);
    }
    // Written again, the descriptions give the same bytes.
    EXPECT_EQ(datakit::mdl_bytes(back), bytes);

    const mdl_level& l0 = back[0].levels[0];
    ASSERT_EQ(l0.objects.size(), 8u);
    EXPECT_EQ(l0.objects[0].bindings.size(), 1u);
    EXPECT_EQ(l0.objects[0].bindings[0].kept[3], 77u);
    EXPECT_EQ(l0.objects[1].mesh.faces.size(), 6u);
    EXPECT_EQ(l0.objects[1].mesh.face_lists.back(), mdl::face_list_end);
    EXPECT_EQ(l0.objects[1].muscles[0].points.size(), 4u);
    EXPECT_EQ(l0.objects[1].hit_mesh.faces.size(), 1u);
    EXPECT_EQ(l0.objects[2].patch.points[3].x, 1.0f);
    EXPECT_EQ(l0.objects[3].mesh.cloth.links[1][0].end, 1u);
    EXPECT_EQ(l0.objects[6].bone.groups[0].vertices[3], 7u);
    EXPECT_EQ(l0.objects[6].chain_length, 2.0f);
    EXPECT_EQ(back[0].levels[1].objects.size(), 2u);
}

TEST(MdlFile, BindingRecordsOfDetailLevelsAreSkipped)
{
    mdl_model m = rich_model();
    anm_binding b;
    b.target_hash = 5;
    m.levels[1].objects[0].bindings.push_back(b);
    mdl_model back;
    ASSERT_EQ(read_first(datakit::mdl_bytes({m}), back), mdl_status::ok);
    EXPECT_TRUE(back.levels[1].objects[0].bindings.empty());
    EXPECT_EQ(back.levels[1].objects[1].mesh.vertices.size(), 8u);
}

TEST(MdlFile, ObjectCountLimits)
{
    auto with_objects = [](std::uint32_t n) {
        mdl_model m;
        m.name = "MANY";
        mdl_level l;
        l.name = "MANY";
        for (std::uint32_t i = 0; i < n; ++i)
            l.objects.push_back(mdl_empty_object(("O" + std::to_string(i)).c_str(), i, i == 0 ? -1 : 0,
                                             i > 0 && i + 1 < n ? static_cast<std::int32_t>(i + 1) : -1,
                                             i == 0 && n > 1 ? 1 : -1));
        m.levels = {l};
        return datakit::mdl_bytes({m});
    };
    mdl_model out;
    EXPECT_EQ(read_first(with_objects(199), out), mdl_status::ok);
    out = {};
    EXPECT_EQ(read_first(with_objects(200), out), mdl_status::out_of_memory);
    out = {};
    std::uint32_t count = 0;
    EXPECT_EQ(read_first(with_objects(201), out, &count), mdl_status::too_many_objects);
    EXPECT_EQ(count, 201u);
    EXPECT_EQ(mdl_status_text(mdl_status::too_many_objects, {}, 201), "MODEL_LIB:: Number of objects too big!: 201");
}

// One table of damaged files: each fails its read with a status, never a
// crash (the sanitizer build runs it too).
TEST(MdlFile, DamagedFilesFailCleanly)
{
    struct damage {
        const char* what;
        void (*edit)(mdl_model&);
        mdl_status expected;
    };
    const damage cases[] = {
        {"bad object type", [](mdl_model& m) { m.levels[0].objects[2].type = 3; }, mdl_status::bad_structure},
        {"two roots", [](mdl_model& m) { m.levels[0].objects[2].parent = -1; }, mdl_status::bad_structure},
        {"no root", [](mdl_model& m) { m.levels[0].objects[0].parent = 1; }, mdl_status::bad_structure},
        {"duplicate id", [](mdl_model& m) { m.levels[0].objects[3].id = 2; }, mdl_status::bad_structure},
        {"id out of range", [](mdl_model& m) { m.levels[0].objects[3].id = 70; }, mdl_status::bad_structure},
        {"sibling cycle", [](mdl_model& m) { m.levels[0].objects[4].sibling = 1; }, mdl_status::bad_structure},
        {"child cycle", [](mdl_model& m) { m.levels[0].objects[6].child = 4; }, mdl_status::bad_structure},
        {"parent cycle",
         [](mdl_model& m) {
             m.levels[0].objects[4].parent = 6;
         },
         mdl_status::bad_structure},
        {"an unreached object its own sibling, under one that is its own child",
         [](mdl_model& m) {
             m.levels[0].objects[6].child = -1;
             m.levels[0].objects[7].child = 7;
             m.levels[0].objects[7].sibling = 7;
         },
         mdl_status::bad_structure},
        {"an object the root does not reach", [](mdl_model& m) { m.levels[0].objects[6].child = -1; },
         mdl_status::bad_structure},
        {"link out of range", [](mdl_model& m) { m.levels[0].objects[1].child = 7; }, mdl_status::bad_structure},
        {"corner past the vertices",
         [](mdl_model& m) { m.levels[0].objects[1].mesh.faces[2][mdl::face_word_corner0 + 1] = 8 * 48; },
         mdl_status::bad_structure},
        {"corner between vertices",
         [](mdl_model& m) { m.levels[0].objects[1].mesh.faces[2][mdl::face_word_corner0] = 50; },
         mdl_status::bad_structure},
        {"five corners", [](mdl_model& m) { m.levels[0].objects[1].mesh.faces[0][0] = 5; }, mdl_status::bad_structure},
        {"material index", [](mdl_model& m) { m.levels[0].objects[1].mesh.faces[0][1] = 1; },
         mdl_status::bad_structure},
        {"patch material index",
         [](mdl_model& m) { m.levels[0].objects[2].patch.record[mdl::patch_word_material] = 1; },
         mdl_status::bad_structure},
        {"face list value", [](mdl_model& m) { m.levels[0].objects[1].mesh.face_lists[0] = 6 * 52; },
         mdl_status::bad_structure},
        {"face list unended", [](mdl_model& m) { m.levels[0].objects[1].mesh.face_lists.back() = 0; },
         mdl_status::bad_structure},
        {"too many vertices",
         [](mdl_model& m) {
             m.levels[0].objects[1].mesh.vertices.resize(1001);
             m.levels[0].objects[1].mesh.face_lists.clear();
         },
         mdl_status::bad_structure},
        {"patch larger than the vertex buffer",
         [](mdl_model& m) {
             auto& patch = m.levels[0].objects[2].patch;
             patch.record[mdl::patch_word_u] = 77;
             patch.record[mdl::patch_word_v] = 13;
             patch.points.resize(77 * 13);
         },
         mdl_status::bad_structure},
        {"skin vertex past the mesh", [](mdl_model& m) { m.levels[0].objects[5].bone.groups[0].vertices[0] = 8; },
         mdl_status::bad_structure},
        {"skin group of no mesh", [](mdl_model& m) { m.levels[0].objects[5].bone.groups[0].mesh_hash = 1; },
         mdl_status::bad_structure},
        {"muscle vertex past the mesh", [](mdl_model& m) { m.levels[0].objects[1].muscles[0].vertices[1] = 8; },
         mdl_status::bad_structure},
        {"muscle extrapolation", [](mdl_model& m) { m.levels[0].objects[1].muscles[0].curve.post = 3; },
         mdl_status::bad_structure},
        {"cloth spring number", [](mdl_model& m) { m.levels[0].objects[3].mesh.cloth.links[0][0].spring = 1; },
         mdl_status::bad_structure},
        {"cloth spring end", [](mdl_model& m) { m.levels[0].objects[3].mesh.cloth.links[0][0].end = 2; },
         mdl_status::bad_structure},
        {"patch spline kind across rows",
         [](mdl_model& m) { m.levels[0].objects[2].patch.record[mdl::patch_word_basis_u] = 1; },
         mdl_status::bad_structure},
        {"patch spline kind along a row",
         [](mdl_model& m) { m.levels[0].objects[2].patch.record[mdl::patch_word_basis_v] = 4; },
         mdl_status::bad_structure},
        {"open patch rows too few for a segment",
         [](mdl_model& m) {
             auto& patch = m.levels[0].objects[2].patch;
             patch.record[mdl::patch_word_u] = 3;
             patch.points.resize(12);
         },
         mdl_status::bad_structure},
        {"closed patch rows of three points load",
         [](mdl_model& m) {
             auto& patch = m.levels[0].objects[2].patch;
             patch.record[mdl::patch_word_u] = 3;
             patch.record[mdl::patch_word_closed_u] = 1;
             patch.record[mdl::patch_word_basis_u] = mdl::patch_basis_cardinal;
             patch.points.resize(12);
         },
         mdl_status::ok},
        {"closed patch row without points",
         [](mdl_model& m) {
             auto& patch = m.levels[0].objects[2].patch;
             patch.record[mdl::patch_word_v] = 0;
             patch.record[mdl::patch_word_closed_v] = 1;
             patch.points.clear();
         },
         mdl_status::bad_structure},
        {"cloth particles fewer than vertices",
         [](mdl_model& m) {
             m.levels[0].objects[3].mesh.cloth.particles.resize(7);
             m.levels[0].objects[3].mesh.cloth.links.resize(7);
         },
         mdl_status::bad_structure},
        {"nine cloth links",
         [](mdl_model& m) { m.levels[0].objects[3].mesh.cloth.links[0].resize(9); }, mdl_status::bad_structure},
        {"hit mesh corner", [](mdl_model& m) { m.levels[0].objects[1].hit_mesh.faces[0][7] = 3 * 48; },
         mdl_status::bad_structure},
    };
    for (const damage& d : cases) {
        mdl_model m = rich_model();
        d.edit(m);
        mdl_model out;
        EXPECT_EQ(read_first(datakit::mdl_bytes({m}), out), d.expected) << d.what;
    }
}

TEST(MdlFile, HeaderDamageAndTruncationAtEveryRecord)
{
    std::vector<datakit::MdlMark> marks;
    const auto good = datakit::mdl_bytes({rich_model()}, &marks);
    mdl_model out;
    {
        auto bad = good;
        bad[0] ^= 1;
        EXPECT_EQ(read_first(bad, out), mdl_status::bad_structure);
        bad = good;
        bad[4] = 112;
        EXPECT_EQ(read_first(bad, out), mdl_status::bad_version);
    }
    {
        // A wrong list magic leaves the model unloaded without a report.
        auto bad = good;
        for (const auto& mark : marks)
            if (mark.kind == "list") {
                bad[mark.position] ^= 0xFF;
                break;
            }
        out = {};
        EXPECT_EQ(read_first(bad, out), mdl_status::bad_list);
    }
    // Cut inside every record the writer marked, and just past its start.
    for (const auto& mark : marks) {
        if (mark.position == 0)
            continue;
        for (std::size_t cut : {mark.position, mark.position + 1, mark.position + 3}) {
            if (cut >= good.size())
                continue;
            const std::vector<std::uint8_t> truncated(good.begin(), good.begin() + static_cast<long>(cut));
            out = {};
            EXPECT_NE(read_first(truncated, out), mdl_status::ok) << mark.kind << " at " << cut;
        }
    }
    // An empty library reads an empty directory.
    std::vector<mdl_dir_entry> dir;
    EXPECT_EQ(mdl_read_directory(datakit::mdl_bytes({}), dir), mdl_status::ok);
    EXPECT_TRUE(dir.empty());
}

} // namespace
} // namespace model_test
