#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "engine/base/name_hash.h"
#include "engine/model/mtr_lib.h"
#include "model_fixture.h"
#include "tests/support/temp_dir.h"
#include "tools/datakit/mtt_writer.h"

namespace model_test {
namespace {

datakit::MttPicture picture(const char* name, int w, int h, int bpp, std::uint8_t seed)
{
    datakit::MttPicture p;
    p.name = name;
    p.width = w;
    p.height = h;
    p.pixel_bytes = bpp;
    for (int i = 0; i < w * h * bpp; ++i)
        p.pixels.push_back(static_cast<std::uint8_t>(seed + i * 7));
    return p;
}

// Three materials: two share the picture "STONE"; "FIRE" animates over
// three pictures; "GLASS" has no texture.
datakit::MttLibrary sample_library(std::uint32_t pixel_type = 1, int bpp = 2)
{
    datakit::MttLibrary lib;
    lib.materials.push_back(datakit::mtt_make_material("WALL", {"STONE"}, pixel_type, 16, 8));
    lib.materials.push_back(datakit::mtt_make_material("FLOOR", {"STONE"}, pixel_type, 16, 8));
    lib.materials.push_back(datakit::mtt_make_material("FIRE", {"FIRE1", "FIRE2", "FIRE3"}, pixel_type, 8, 8));
    mtt_material glass;
    glass.name = "GLASS";
    glass.name_hash = name_hash("GLASS");
    glass.key = 5;
    lib.materials.push_back(glass);
    lib.pictures = {picture("STONE", 16, 8, bpp, 1), picture("FIRE1", 8, 8, bpp, 2), picture("FIRE2", 8, 8, bpp, 3),
                    picture("FIRE3", 8, 8, bpp, 4)};
    mtt_palette pal;
    pal.name = "PAL";
    for (int i = 0; i < 256; ++i)
        pal.colours[i] = static_cast<std::uint16_t>(i * 3);
    lib.palettes = {pal};
    datakit::mtt_pack_atlas(lib);
    return lib;
}

class MaterialTest : public ModelTest {
protected:
    std::string write(const datakit::MttLibrary& lib)
    {
        const auto path = torvane_test::make_temp_dir("mtt") / "TRACK.MTT";
        std::string error;
        EXPECT_TRUE(datakit::write_mtt(path, lib, error)) << error;
        return path.string();
    }
    void TearDown() override
    {
        texture_surfaces() = {};
        ModelTest::TearDown();
    }
};

int created = 0;

// Everything the kit writes reads back: materials with and without
// textures, animated frames with their atlas places and palette indexes,
// the kept words, the picture list with its pixels, the palettes and the
// atlas rows.
TEST_F(MaterialTest, EveryRecordKindSurvivesARoundTripThroughTheKitsWriter)
{
    datakit::MttLibrary spec = sample_library(4, 1);
    spec.materials[0].word124 = 9;
    spec.materials[2].texture.frames[1].kept[2] = 0xABCD;
    spec.materials[2].texture.frames[2].colour = 0x123456;
    spec.materials[2].texture.words[7] = 77;
    spec.palettes.push_back(spec.palettes[0]);
    spec.palettes[1].name = "DARK";
    spec.palettes[1].colours[255] = 0xF00D;
    spec.materials[1].texture.frames[0].palette = 1;
    const auto bytes = datakit::mtt_bytes(spec);
    mtt_library lib;
    ASSERT_EQ(mtt_read_library(bytes, lib), mtt_status::ok);
    ASSERT_EQ(lib.directory.size(), spec.materials.size());
    // S counts the atlas's rows and is raised to the picture list's bytes.
    EXPECT_EQ(lib.atlas_rows, std::max<std::uint32_t>(spec.atlas_rows, 40 * std::uint32_t(spec.pictures.size())));
    ASSERT_EQ(lib.palettes.size(), 2u);
    EXPECT_EQ(lib.palettes[1].name, "DARK");
    EXPECT_EQ(lib.palettes[1].colours, spec.palettes[1].colours);
    ASSERT_EQ(lib.pictures.size(), spec.pictures.size());
    for (std::size_t i = 0; i < spec.pictures.size(); ++i) {
        SCOPED_TRACE(spec.pictures[i].name);
        EXPECT_EQ(lib.pictures[i].name, spec.pictures[i].name);
        const std::size_t at = lib.pictures[i].offset + mtt::picture_lead_bytes;
        ASSERT_LE(at + spec.pictures[i].pixels.size(), bytes.size());
        EXPECT_TRUE(std::equal(spec.pictures[i].pixels.begin(), spec.pictures[i].pixels.end(), bytes.begin() + long(at)));
    }
    for (std::size_t i = 0; i < spec.materials.size(); ++i) {
        const mtt_material& want = spec.materials[i];
        SCOPED_TRACE(want.name);
        EXPECT_EQ(lib.directory[i].name, want.name);
        mtt_material got;
        ASSERT_EQ(mtt_read_material(bytes, lib.directory[i].offset, 0, lib, got), mtt_status::ok);
        EXPECT_EQ(got.key, want.key);
        EXPECT_EQ(got.name_hash, want.name_hash);
        EXPECT_EQ(got.word124, want.word124);
        ASSERT_EQ(got.has_texture, want.has_texture);
        if (!want.has_texture)
            continue;
        EXPECT_EQ(got.texture.words[0], want.texture.frames.size());
        EXPECT_EQ(got.texture.words[4], want.texture.words[4]);
        EXPECT_EQ(got.texture.words[7], want.texture.words[7]);
        ASSERT_EQ(got.texture.frames.size(), want.texture.frames.size());
        for (std::size_t f = 0; f < want.texture.frames.size(); ++f) {
            const mtt_frame& a = got.texture.frames[f];
            const mtt_frame& b = want.texture.frames[f];
            EXPECT_EQ(a.name, b.name);
            EXPECT_EQ(a.name_hash, name_hash(b.name.c_str()));
            EXPECT_EQ(a.width, b.width);
            EXPECT_EQ(a.height, b.height);
            EXPECT_EQ(a.pixel_type, b.pixel_type);
            EXPECT_EQ(a.colour, b.colour);
            EXPECT_EQ(a.atlas_x, b.atlas_x);
            EXPECT_EQ(a.atlas_y, b.atlas_y);
            EXPECT_EQ(a.palette, b.palette);
            EXPECT_EQ(a.kept[2], b.kept[2]);
        }
    }
}

TEST_F(MaterialTest, PicturesSharedBetweenMaterialsLoadOnce)
{
    const std::string path = write(sample_library());
    created = 0;
    texture_surfaces().create = [](mtr_texture* frame, int) {
        ++created;
        static std::vector<std::vector<std::uint8_t>> store;
        store.emplace_back(std::size_t(frame->width) * frame->height * 2);
        frame->pixels = store.back().data();
        frame->surface = frame;
        return true;
    };
    static int released = 0;
    released = 0;
    texture_surfaces().release = [](mtr_texture*) { ++released; };
    {
        mtr_lib lib("track");
        ASSERT_EQ(lib.try_open(path.c_str()), mtt_status::ok);
        ASSERT_EQ(lib.try_add_all_materials(material_kind_surface, 0, 0), mtt_status::ok);
        EXPECT_EQ(lib.material_count, 4);
        EXPECT_EQ(created, 4);   // STONE once, the three fire pictures
        mesh_material* wall = lib.find(name_hash("WALL"));
        mesh_material* floor = lib.find(name_hash("FLOOR"));
        ASSERT_TRUE(wall && floor);
        EXPECT_EQ(wall->texture->first_frame->pixels, floor->texture->first_frame->pixels);
        EXPECT_EQ(wall->texture->first_frame->pixels[1], 1 + 7);
        mesh_material* fire = lib.find(name_hash("FIRE"));
        EXPECT_EQ(fire->texture->frame_count, 3);
        EXPECT_EQ(fire->texture->first_frame->next->next->name, std::string("FIRE3"));
        EXPECT_EQ(lib.find(name_hash("GLASS"))->texture, nullptr);
        EXPECT_EQ(lib.find(name_hash("GLASS"))->key, 5u);
        // Freeing the wall's surfaces leaves the floor with no surface.
        lib.free_surfaces(wall);
        EXPECT_EQ(floor->texture->first_frame->surface, nullptr);
        EXPECT_EQ(released, 1);
    }
    EXPECT_EQ(mesh_material::live, 0);
    EXPECT_EQ(mesh_texture::live, 0);
    EXPECT_EQ(mtr_texture::live, 0);
}

TEST_F(MaterialTest, TheAtlasPlacementMatchesTheFile)
{
    datakit::MttLibrary spec = sample_library(4, 1);
    for (auto& m : spec.materials)
        for (auto& f : m.texture.frames)
            f.palette = 0;
    const std::string path = write(spec);
    mtr_lib lib("track");
    ASSERT_EQ(lib.try_open(path.c_str()), mtt_status::ok);
    ASSERT_EQ(lib.try_add_all_materials(material_kind_atlas, 0, 0), mtt_status::ok);
    ASSERT_EQ(lib.atlas_pixel_bytes, 1);
    EXPECT_EQ(lib.atlas.size(), 256u * lib.contents.atlas_rows);
    for (const auto& m : spec.materials)
        for (const auto& f : m.texture.frames) {
            const datakit::MttPicture* p = nullptr;
            for (const auto& q : spec.pictures)
                if (q.name == f.name)
                    p = &q;
            for (int y = 0; y < p->height; ++y)
                for (int x = 0; x < p->width; ++x)
                    ASSERT_EQ(lib.atlas[(f.atlas_y + y) * 256 + f.atlas_x + x], p->pixels[y * p->width + x])
                        << f.name << " " << x << "," << y;
        }
    mesh_material* fire = lib.find(name_hash("FIRE"));
    const mtr_texture* f2 = fire->texture->first_frame->next;
    EXPECT_EQ(f2->pixels, lib.atlas.data() + f2->atlas_y * 256 + f2->atlas_x);
    EXPECT_EQ(f2->span, ((8u << 8) - 256) | 7u);
    EXPECT_EQ(f2->log2_width, 3u);
}

TEST_F(MaterialTest, SingleFrameAnimationKeepsTheChosenFrameAndKeyedPixelsClear)
{
    datakit::MttLibrary spec;
    spec.materials.push_back(datakit::mtt_make_material("SIGN", {"S0", "S1", "S2"}, 9, 4, 2, 10));
    spec.pictures = {picture("S0", 4, 2, 1, 0), picture("S1", 4, 2, 1, 0xE0), picture("S2", 4, 2, 1, 0)};
    spec.palettes.resize(1);
    datakit::mtt_pack_atlas(spec);
    const std::string path = write(spec);
    mtr_lib lib("signs");
    ASSERT_EQ(lib.try_open(path.c_str()), mtt_status::ok);
    ASSERT_EQ(lib.try_add_material("sign", material_kind_atlas, 1, 0), mtt_status::ok);
    const mtr_texture* f = lib.find(name_hash("SIGN"))->texture->first_frame;
    EXPECT_EQ(lib.find(name_hash("SIGN"))->texture->frame_count, 1);
    EXPECT_EQ(f->name, std::string("S1"));
    EXPECT_EQ(f->next, nullptr);
    EXPECT_EQ(f->pixel_type, 6u);
    EXPECT_EQ(f->pixels[0], 0);               // 0xE0 is the key range
    EXPECT_EQ(f->pixels[1], 0);               // 0xE7
    EXPECT_EQ(lib.try_add_material("SIGN", material_kind_atlas, 3, 0), mtt_status::bad_structure);
    EXPECT_EQ(lib.try_add_material("NONE", material_kind_atlas, 0, 0), mtt_status::not_found);
    EXPECT_EQ(lib.try_add_material("SIGN", 2, 0, 0), mtt_status::bad_kind);
}

TEST_F(MaterialTest, DamagedFilesFailCleanly)
{
    struct damage {
        const char* what;
        void (*edit)(datakit::MttLibrary&);
        mtt_status expected;
    };
    const damage cases[] = {
        {"pixel type 12", [](datakit::MttLibrary& l) { l.materials[0].texture.frames[0].pixel_type = 12; },
         mtt_status::bad_structure},
        {"width not a power of two", [](datakit::MttLibrary& l) { l.materials[0].texture.frames[0].width = 12; },
         mtt_status::bad_structure},
        {"width 0", [](datakit::MttLibrary& l) { l.materials[0].texture.frames[0].width = 0; },
         mtt_status::bad_structure},
        {"picture past the atlas's right edge",
         [](datakit::MttLibrary& l) { l.materials[0].texture.frames[0].atlas_x = 250; }, mtt_status::bad_structure},
        {"picture below the atlas",
         [](datakit::MttLibrary& l) { l.materials[0].texture.frames[0].atlas_y = 1000; }, mtt_status::bad_structure},
        {"negative atlas x", [](datakit::MttLibrary& l) { l.materials[0].texture.frames[0].atlas_x = -1; },
         mtt_status::bad_atlas_place},
        {"later frame wider than the atlas",
         [](datakit::MttLibrary& l) {
             for (auto& f : l.materials[2].texture.frames)
                 f.pixel_type = 1;
         },
         mtt_status::bad_structure},
        {"palette index", [](datakit::MttLibrary& l) { l.materials[0].texture.frames[0].palette = 1; },
         mtt_status::bad_structure},
        {"pixel type 0 (no bytes per pixel) in the atlas",
         [](datakit::MttLibrary& l) { l.materials[0].texture.frames[0].pixel_type = 0; }, mtt_status::bad_structure},
        {"a frame sharing a smaller namesake's pixels",
         [](datakit::MttLibrary& l) { l.materials[1].texture.frames[0].width = 32; }, mtt_status::bad_structure},
        {"a frame sharing a namesake's pixels placed past the atlas",
         [](datakit::MttLibrary& l) { l.materials[1].texture.frames[0].atlas_y = 1000; }, mtt_status::bad_structure},
        {"no frames",
         [](datakit::MttLibrary& l) { l.materials[0].texture.frames.clear(); }, mtt_status::bad_structure},
    };
    for (const damage& d : cases) {
        datakit::MttLibrary spec = sample_library(4, 1);
        d.edit(spec);
        const std::string path = write(spec);
        mtr_lib lib("bad");
        mtt_status status = lib.try_open(path.c_str());
        if (status == mtt_status::ok)
            status = lib.try_add_all_materials(material_kind_atlas, 0, 0);
        EXPECT_EQ(status, d.expected) << d.what;
    }
    // Header damage, too many palettes and truncation at every record.
    std::vector<std::size_t> marks;
    const auto good = datakit::mtt_bytes(sample_library(4, 1), &marks);
    mtt_library out;
    auto bad = good;
    bad[4] = 111;
    EXPECT_EQ(mtt_read_library(bad, out), mtt_status::bad_version);
    bad = good;
    bad[12] ^= 1;
    EXPECT_EQ(mtt_read_library(bad, out), mtt_status::bad_structure);
    datakit::MttLibrary many = sample_library(4, 1);
    many.palettes.resize(2001);
    EXPECT_EQ(mtt_read_library(datakit::mtt_bytes(many), out), mtt_status::bad_structure);
    for (std::size_t cut : marks) {
        const std::vector<std::uint8_t> truncated(good.begin(), good.begin() + static_cast<long>(cut) + 2);
        mtt_library lib;
        mtt_status status = mtt_read_library(truncated, lib);
        for (std::size_t i = 0; status == mtt_status::ok && i < lib.directory.size(); ++i) {
            mtt_material m;
            status = mtt_read_material(truncated, lib.directory[i].offset, 0, lib, m);
        }
        EXPECT_NE(status, mtt_status::ok) << "cut at " << cut;
    }
}

} // namespace
} // namespace model_test

#include "engine/model/model_lib.h"
#include "mdl_fixture.h"

namespace model_test {
namespace {

// A model whose mesh SKIN references "WALL" (and, with `fire`, "FIRE").
std::string write_model(const std::filesystem::path& folder, bool fire, const char* missing = nullptr)
{
    mdl_model m;
    m.name = "HUT";
    mdl_level l0;
    l0.name = "HUT";
    mdl_object root = mdl_empty_object("ROOT", 0, -1, -1, 1);
    mdl_object skin = datakit::mdl_box_object("SKIN", {1, 1, 1, 0}, "WALL");
    skin.id = 1;
    skin.parent = 0;
    if (fire)
        skin.materials.push_back("FIRE");
    if (missing)
        skin.materials.push_back(missing);
    l0.objects = {root, skin};
    mdl_level l1;
    l1.name = "HUT_FAR";
    mdl_object root1 = mdl_empty_object("ROOT", 0, -1, -1, 1);
    mdl_object skin1 = datakit::mdl_box_object("SKIN", {1, 1, 1, 0}, "FLOOR");
    skin1.id = 1;
    skin1.parent = 0;
    l1.objects = {root1, skin1};
    m.levels = {l0, l1};
    const auto path = folder / "HUT.MDL";
    std::string error;
    EXPECT_TRUE(datakit::write_mdl(path, {m}, error)) << error;
    return path.string();
}

TEST_F(MaterialTest, MeshesBindToLibraryMaterialsOrPrivateCopiesForAnimatedTextures)
{
    const std::string mtt = write(sample_library());
    const auto folder = torvane_test::make_temp_dir("bind");
    mtr_lib materials("track");
    ASSERT_EQ(materials.try_open(mtt.c_str()), mtt_status::ok);
    ASSERT_EQ(materials.try_add_all_materials(material_kind_surface, 0, 0), mtt_status::ok);
    const int material_refs = material_ref::live;
    {
        model_lib models("huts");
        ASSERT_EQ(models.try_open(write_model(folder, false).c_str()), mdl_status::ok);
        ASSERT_EQ(models.load_model("HUT", 0), 1);
        ml_modelinfo* hut = models.create_instance("HUT", &materials, 0);
        model_node* skin = hut->find_node(name_hash("SKIN"));
        ASSERT_EQ(skin->material_refs.size(), 1u);
        // Single-frame textures: the library's own material.
        EXPECT_EQ(skin->material_refs[0].material, materials.find(name_hash("WALL")));
        EXPECT_EQ(skin->material_binding, 0u);
        // The detail namesake bound too, and a material set reaches it.
        EXPECT_EQ(skin->namesake(1)->material_refs[0].material, materials.find(name_hash("FLOOR")));
        hut->set_material_set(3);
        EXPECT_EQ(materials.find(name_hash("FLOOR"))->texture->set_word, 3u);
        EXPECT_EQ(hut->find_node_by_texture("TON"), skin);
        EXPECT_STREQ(hut->find_texture_name("TON"), "STONE");
        EXPECT_EQ(hut->find_node_by_texture("NOTHING"), nullptr);
        EXPECT_EQ(hut->texture_of_material(name_hash("WALL")), materials.find(name_hash("WALL"))->texture);
        EXPECT_EQ(hut->texture_of_material(name_hash("FIRE")), nullptr);
        hut->set_mesh_param(7.9f);
        std::int32_t word = 0;
        std::memcpy(&word, skin->mesh->faces.data() + 48, 4);
        EXPECT_EQ(word, 7);
    }
    {
        model_lib models("huts");
        ASSERT_EQ(models.try_open(write_model(folder, true).c_str()), mdl_status::ok);
        ASSERT_EQ(models.load_model("HUT", 0), 1);
        ml_modelinfo* hut = models.create_instance("HUT", &materials, 0);
        model_node* skin = hut->find_node(name_hash("SKIN"));
        // A three-frame texture: every reference of the node is a copy.
        EXPECT_EQ(skin->material_binding, 1u);
        for (const material_ref& r : skin->material_refs) {
            EXPECT_EQ(r.material->owner_state, 2u);
            EXPECT_NE(r.material, materials.find(r.hash));
            EXPECT_EQ(r.material->texture->first_frame, materials.find(r.hash)->texture->first_frame);
        }
    }
    EXPECT_EQ(material_ref::live, material_refs);
    EXPECT_EQ(mesh_material::live, 4);   // the library's own
    {
        model_lib models("huts");
        ASSERT_EQ(models.try_open(write_model(folder, false, "MISSING").c_str()), mdl_status::ok);
        ASSERT_EQ(models.load_model("HUT", 0), 1);
        ml_modelinfo* made = nullptr;
        bool unbound = false;
        EXPECT_EQ(models.try_create_instance("HUT", 0, &made, &materials, &unbound), mdl_status::ok);
        EXPECT_TRUE(unbound);
        EXPECT_EXIT(models.create_instance("HUT", &materials, 0), ::testing::ExitedWithCode(1),
                    "Material not in library!");
    }
}

} // namespace
} // namespace model_test
