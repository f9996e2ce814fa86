// The renderer's texture cache at work: textures made resident under a
// small texture memory, reloaded after the display lost its surfaces,
// given back with no entry left behind, and the material library's frames
// reaching the cache through its surface operations.

#include <array>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "engine/base/clip_vertex.h"
#include "engine/base/name_hash.h"
#include "engine/base/render_facts.h"
#include "engine/model/blend_tables.h"
#include "engine/model/ml_modelinfo.h"
#include "engine/model/mtr_lib.h"
#include "platform/atomic_file.h"
#include "platform/device3d_raster.h"
#include "tests/engine/render/texture_fixture.h"
#include "tests/support/temp_dir.h"
#include "tools/datakit/mtt_writer.h"

namespace {

using platform::DisplayResult;
using texture_test::HardwareScreen;

class TextureDevice : public HardwareScreen {
protected:
    // A 32 x 32 opaque texture of one colour, uploaded.
    cache_texture& uploaded(std::uint16_t colour)
    {
        mtr_texture& f = frame("t#S#", 32, 32, 1);
        EXPECT_EQ(device.create_textures(&f, 0), 1);
        for (int i = 0; i < 32 * 32; ++i)
            std::memcpy(f.pixels + 2 * i, &colour, 2);
        auto* t = static_cast<cache_texture*>(f.surface);
        EXPECT_EQ(device.upload_textures(0), 1);
        return *t;
    }
    // Writes the kit library (its atlas packed) into a temporary folder and
    // loads every material as surfaces of default class 2.
    void load_library(datakit::MttLibrary lib, const char* folder, mtr_lib& materials)
    {
        datakit::mtt_pack_atlas(lib);
        const auto path = torvane_test::make_temp_dir(folder) / "LIB.MTT";
        std::string error;
        ASSERT_TRUE(datakit::write_mtt(path, lib, error)) << error;
        ASSERT_EQ(materials.try_open(path.string().c_str()), mtt_status::ok);
        ASSERT_EQ(materials.try_add_all_materials(material_kind_surface, 0, 2), mtt_status::ok);
    }
    // Three textures in a texture memory that holds two (32 x 32 16-bit),
    // the first two resident.
    std::array<cache_texture*, 3> two_of_three_resident(std::uint16_t c0, std::uint16_t c1, std::uint16_t c2)
    {
        description.texture_memory = 5000;
        open();
        std::array<cache_texture*, 3> t = {&uploaded(c0), &uploaded(c1), &uploaded(c2)};
        EXPECT_EQ(device.make_resident(t[0]), 1);
        EXPECT_EQ(device.make_resident(t[1]), 1);
        return t;
    }
};

TEST_F(TextureDevice, ResidencyEvictsTheOldestUnderASmallBudget)
{
    const auto [pa, pb, pc] = two_of_three_resident(0x1111, 0x2222, 0x3333);
    cache_texture &a = *pa, &c = *pc;
    ASSERT_TRUE(pb->video_surface);
    EXPECT_EQ(device.make_resident(&a), 1);  // already resident: nothing happens
    EXPECT_EQ(device.upload_bytes, 2u * 2048u);
    ASSERT_EQ(device.make_resident(&c), 1);
    EXPECT_FALSE(a.video_surface);
    EXPECT_EQ(a.handle, -1);
    EXPECT_EQ(texel(*c.video_surface, 5, 5), 0x3333);
    // The frame's counter moves to the previous frame at present.
    ASSERT_EQ(device.present(), 1);
    EXPECT_EQ(device.previous_upload_bytes, 3u * 2048u);
    EXPECT_EQ(device.upload_bytes, 0u);

    // A texture larger than the whole texture memory: everything is evicted
    // trying, then 42.
    mtr_texture& big = frame("big#S#", 64, 64, 1);
    ASSERT_EQ(device.create_textures(&big, 0), 1);
    device.free_texture_memory = 1 << 20;  // so that the upload keeps its size
    ASSERT_EQ(device.upload_textures(0), 1);
    platform::clear_recorded_message_boxes();
    EXPECT_EQ(device.make_resident(static_cast<cache_texture*>(big.surface)), 0);
    const auto boxes = platform::recorded_message_boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Insufficient video memory!\n\r\n");
    EXPECT_EQ(device.resident_ring.count(), 0);
}

TEST_F(TextureDevice, EvictionInsideASceneDrawsWhatWasQueuedFirst)
{
    const auto [pa, pb, pc] = two_of_three_resident(0xF800, 0x07E0, 0x001F);
    cache_texture &a = *pa, &c = *pc;
    platform::Device3D& d3d = *device.device3d;
    platform::RenderStates st;
    st.z_enable = false;
    d3d.set_render_states(st);
    ASSERT_EQ(d3d.begin_scene(), DisplayResult::Ok);
    const platform::TLVertex v[4] = {{0, 0, 0.5f, 1, 0xFFFFFFFF, 0xFF000000, 0, 0},
                                     {4, 0, 0.5f, 1, 0xFFFFFFFF, 0xFF000000, 1, 0},
                                     {4, 4, 0.5f, 1, 0xFFFFFFFF, 0xFF000000, 1, 1},
                                     {0, 4, 0.5f, 1, 0xFFFFFFFF, 0xFF000000, 0, 1}};
    const std::uint16_t idx[6] = {0, 1, 2, 0, 2, 3};
    ASSERT_EQ(d3d.set_texture(a.video_surface.get()), DisplayResult::Ok);
    ASSERT_EQ(d3d.draw_indexed(v, 4, idx, 6), DisplayResult::Ok);
    // c evicts a, whose triangles are queued: they are drawn before a's
    // copy goes, and the scene goes on.
    ASSERT_EQ(device.make_resident(&c), 1);
    EXPECT_FALSE(a.video_surface);
    EXPECT_TRUE(d3d.in_scene());
    d3d.set_texture(nullptr);
    ASSERT_EQ(d3d.end_scene(), DisplayResult::Ok);
    EXPECT_EQ(screen_pixel(1, 1), 0xF800);
}

TEST_F(TextureDevice, LostVideoCopiesAreReloadedWhenTheSurfacesAreRestored)
{
    open();
    cache_texture& a = uploaded(0x1234);
    cache_texture& b = uploaded(0x4321);
    ASSERT_EQ(device.make_resident(&a), 1);
    ASSERT_EQ(device.make_resident(&b), 1);
    device.display->lose_surfaces();
    ASSERT_TRUE(a.video_surface->lost());
    ASSERT_EQ(device.restore_surfaces(), 1);
    for (cache_texture* t : {&a, &b}) {
        ASSERT_TRUE(t->video_surface);
        EXPECT_FALSE(t->video_surface->lost());
    }
    EXPECT_EQ(texel(*a.video_surface, 31, 31), 0x1234);
    EXPECT_EQ(texel(*b.video_surface, 0, 0), 0x4321);
    EXPECT_EQ(device.surfaces_lost, 0);

    // A copy that cannot be restored is given back, and made resident
    // again when next drawn.
    device.display->lose_surfaces();
    platform::fail_next(platform::Fault::SurfaceRestore, 100);
    device.restore_surfaces();
    platform::clear_faults();
    EXPECT_FALSE(a.video_surface);
    EXPECT_EQ(a.handle, -1);
    ASSERT_EQ(device.make_resident(&a), 1);
    EXPECT_EQ(texel(*a.video_surface, 3, 3), 0x1234);
}

TEST_F(TextureDevice, FreeTextureLeavesNoEntryInTheRingOrTheReloadList)
{
    open();
    cache_texture& a = uploaded(0x1111);
    cache_texture& b = uploaded(0x2222);
    mtr_texture& fa = *frames[0];
    ASSERT_EQ(device.make_resident(&a), 1);
    ASSERT_EQ(device.make_resident(&b), 1);
    ASSERT_EQ(device.add_pending_reload(&a), 1);
    ASSERT_EQ(device.add_pending_reload(&a), 1);  // once only
    ASSERT_EQ(device.add_pending_reload(&b), 1);
    EXPECT_EQ(device.pending_reload_count, 2);

    device.free_texture(&fa);
    EXPECT_EQ(fa.surface, nullptr);
    EXPECT_EQ(a.size, 0u);
    EXPECT_FALSE(a.system_surface);
    EXPECT_FALSE(a.video_surface);
    // b is still to be reloaded; a is in neither list.
    ASSERT_EQ(device.pending_reload_count, 1);
    EXPECT_EQ(device.pending_reloads[0], &b);
    EXPECT_EQ(device.resident_ring.count(), 1);
    EXPECT_FALSE(drain_ring_for(device, &a));

    // A record holding a batch slot gives it back: its queued polygon is
    // not drawn with the next texture the record serves.
    mtr_texture& fb = *frames[1];
    clip_vertex tri[3] = {};
    for (int i = 0; i < 3; ++i) {
        tri[i].sx = 10.0f * i;
        tri[i].sy = 10.0f * (i == 2);
        tri[i].rhw = 1.0f;
        tri[i].z = 300.0f;
    }
    ASSERT_EQ(device.draw_polygons(3, tri, nullptr, &fb, 0), 1);
    auto* slot = static_cast<batch_slot*>(b.batch_slot);
    ASSERT_NE(slot, nullptr);
    ASSERT_EQ(slot->texture, &b);
    device.free_texture(&fb);
    EXPECT_EQ(slot->texture, nullptr);
    EXPECT_EQ(slot->vertex_count, 0);

    // A texture freed before its upload takes its buffer with it; the
    // record is free again and the frame forgets it.
    mtr_texture& never = frame("never", 16, 16, 4);
    ASSERT_EQ(device.create_textures(&never, 0), 1);
    auto* t = static_cast<cache_texture*>(never.surface);
    device.free_texture(&never);
    EXPECT_EQ(t->size, 0u);
    EXPECT_FALSE(t->pixels);
    EXPECT_FALSE(t->palette);
    EXPECT_EQ(never.pixels, nullptr);
    EXPECT_EQ(never.palette, nullptr);
    // Freeing again, or a frame of no record, does nothing.
    device.free_texture(&never);
    mtr_texture stranger;
    device.free_texture(&stranger);
}

TEST_F(TextureDevice, PaintedTexturesAreReloadedAtPresentAndAtOnceWhenTheListIsFull)
{
    open();
    std::vector<cache_texture*> textures;
    for (int i = 0; i < render_device::kPendingReloads + 1; ++i) {
        textures.push_back(&uploaded(0x0000));
        ASSERT_EQ(device.make_resident(textures.back()), 1);
    }
    // Paint each system copy, as a picture drawn into a texture does.
    for (cache_texture* t : textures) {
        t->system_surface->fill(nullptr, 0x5555);
        ASSERT_EQ(device.add_pending_reload(t), 1);
    }
    // The eleventh did not fit in the list: loaded at once.
    EXPECT_EQ(device.pending_reload_count, render_device::kPendingReloads);
    EXPECT_EQ(texel(*textures.back()->video_surface, 0, 0), 0x5555);
    EXPECT_EQ(texel(*textures.front()->video_surface, 0, 0), 0x0000);
    ASSERT_EQ(device.present(), 1);
    EXPECT_EQ(device.pending_reload_count, 0);
    for (cache_texture* t : textures)
        EXPECT_EQ(texel(*t->video_surface, 7, 7), 0x5555);
}

TEST_F(TextureDevice, AMaterialLibrarysFramesReachTheCache)
{
    open();
    datakit::MttLibrary lib;
    lib.materials.push_back(datakit::mtt_make_material("WALL", {"STONE"}, 1, 16, 8));
    lib.materials.push_back(datakit::mtt_make_material("FLOOR", {"STONE"}, 1, 16, 8));
    lib.materials.push_back(datakit::mtt_make_material("SIGN", {"SIGN#3#"}, 4, 8, 8));
    datakit::MttPicture stone{"STONE", 16, 8, 2, {}}, sign{"SIGN#3#", 8, 8, 1, {}};
    for (int i = 0; i < 16 * 8; ++i) {
        stone.pixels.push_back(static_cast<std::uint8_t>(i));
        stone.pixels.push_back(0xF8);
    }
    sign.pixels.assign(64, 9);
    lib.pictures = {stone, sign};
    mtt_palette pal;
    pal.name = "PAL";
    for (int i = 0; i < 256; ++i)
        pal.colours[i] = static_cast<std::uint16_t>(0x0841 * (i & 31));
    lib.palettes = {pal};
    mtr_lib materials("track");
    load_library(lib, "texlib", materials);
    if (HasFatalFailure())
        return;
    mesh_material* wall = materials.find(name_hash("WALL"));
    mesh_material* floor = materials.find(name_hash("FLOOR"));
    mesh_material* signm = materials.find(name_hash("SIGN"));
    ASSERT_TRUE(wall && floor && signm);
    auto* stone_record = static_cast<cache_texture*>(wall->texture->first_frame->surface);
    auto* sign_record = static_cast<cache_texture*>(signm->texture->first_frame->surface);
    ASSERT_TRUE(device.owns_texture(stone_record));
    ASSERT_TRUE(device.owns_texture(sign_record));
    EXPECT_EQ(floor->texture->first_frame->surface, stone_record);  // one picture, one record
    EXPECT_EQ(stone_record->flags & kTextureClassMask, 2u);          // the default class
    EXPECT_EQ(sign_record->flags & kTextureClassMask, 3u);           // its own
    ASSERT_EQ(device.upload_textures(0), 1);
    EXPECT_EQ(texel(*stone_record->system_surface, 3, 0), 0xF803);
    EXPECT_EQ(texel(*sign_record->system_surface, 0, 0), 0x0841 * 9);

    // Freeing a material's surfaces gives its record back through the
    // renderer.
    materials.free_surfaces(floor);
    EXPECT_EQ(stone_record->size, 0u);
    EXPECT_EQ(wall->texture->first_frame->surface, nullptr);
    EXPECT_EQ(sign_record->size, 64u);
}

// What the model library reads of the renderer: the class check of an
// instance sees the cache records' batch classes, an instance's value
// reaches the records that take one, and the blend tables blend over the
// renderer's palette.
TEST_F(TextureDevice, TheModelLibrarySeesTheCachesClassesValuesAndPalette)
{
    open();
    datakit::MttLibrary lib;
    lib.materials.push_back(datakit::mtt_make_material("WALL", {"STONE"}, 1, 16, 8));
    lib.materials.push_back(datakit::mtt_make_material("SIGN", {"SIGN#3#"}, 1, 8, 8));
    lib.materials.push_back(datakit::mtt_make_material("GLASS", {"GLASS#Z#"}, 1, 8, 8));
    lib.materials.push_back(datakit::mtt_make_material("GRATE", {"GRATE"}, 3, 8, 8));
    for (const char* name : {"STONE", "SIGN#3#", "GLASS#Z#"}) {
        datakit::MttPicture p{name, name[0] == 'S' && name[1] == 'T' ? 16 : 8, 8, 2, {}};
        p.pixels.assign(static_cast<std::size_t>(p.width * p.height * 2), 0x11);
        lib.pictures.push_back(p);
    }
    // 32-bit texels, clear (alpha 0) in the left half, opaque in the right.
    datakit::MttPicture grate{"GRATE", 8, 8, 4, {}};
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            for (std::uint8_t b : {std::uint8_t{0x40}, std::uint8_t{0x80}, std::uint8_t{0xC0},
                                   static_cast<std::uint8_t>(x < 4 ? 0x00 : 0xFF)})
                grate.pixels.push_back(b);
    lib.pictures.push_back(grate);
    mtr_lib materials("car");
    load_library(lib, "classes", materials);
    if (HasFatalFailure())
        return;

    // An instance of one mesh node per material named.
    const auto instance_of = [&](std::vector<const char*> names) {
        auto m = std::make_unique<ml_modelinfo>("CAR");
        model_node* last = nullptr;
        for (const char* name : names) {
            auto* n = new model_node(node_kind_full);
            n->type = node_mesh;
            material_ref r;
            r.material = materials.find(name_hash(name));
            n->material_refs.push_back(r);
            (last ? last->next : m->first_node) = n;
            n->prev = last;
            last = n;
            ++m->node_count;
        }
        return m;
    };
    struct row {
        std::vector<const char*> names;
        bool ok;
        std::uint32_t flags;   // the class flags the record takes
    };
    const row rows[] = {
        {{"WALL"}, true, model_cache_class_a},            // class 2 (the default)
        {{"WALL", "SIGN"}, true, model_cache_class_a},    // 2 and 3
        {{"GLASS"}, true, model_cache_class_c},           // Z: class 12
        {{"WALL", "GLASS"}, false, 0},                    // A and C mix
    };
    for (const row& r : rows) {
        auto m = instance_of(r.names);
        EXPECT_EQ(m->try_check_cache_used(), r.ok) << r.names.size();
        EXPECT_EQ(m->flags & (model_cache_class_a | model_cache_class_b | model_cache_class_c), r.flags)
            << r.names.size();
    }

    // Only a record that takes a value keeps it.
    auto* stone = static_cast<cache_texture*>(materials.find(name_hash("WALL"))->texture->first_frame->surface);
    auto* sign = static_cast<cache_texture*>(materials.find(name_hash("SIGN"))->texture->first_frame->surface);
    ASSERT_TRUE(stone && sign);
    sign->flags |= kTextureTakesValue;
    instance_of({"WALL", "SIGN"})->set_texture_value(77);
    EXPECT_EQ(sign->value, 77u);
    EXPECT_EQ(stone->value, 0u);

    // The cut-out ground reads the cached texel under a point: alpha 0 (or
    // the key of a texture converted without alpha) is clear; coordinates
    // wrap.
    ASSERT_EQ(device.upload_textures(0), 1);
    const mtr_texture* grate_frame = materials.find(name_hash("GRATE"))->texture->first_frame;
    const auto clear = texture_surfaces().texel_clear;
    ASSERT_NE(clear, nullptr);
    EXPECT_TRUE(clear(grate_frame, 0.25f, 0.5f));
    EXPECT_FALSE(clear(grate_frame, 0.75f, 0.5f));
    EXPECT_TRUE(clear(grate_frame, 1.25f, 0.5f));
    EXPECT_FALSE(clear(grate_frame, -0.25f, 0.5f));
    EXPECT_FALSE(clear(materials.find(name_hash("WALL"))->texture->first_frame, 0.25f, 0.5f));

    // The palette: entry i is the grey i (6-bit) up to 63, red above. The
    // engine's facts hold it once loaded, and a blend table's level 0 maps
    // every grey to itself (against an all-black palette every entry would
    // be index 0).
    std::vector<std::uint8_t> pal(768);
    for (int i = 0; i < 256; ++i) {
        const int g = i < 64 ? i : 0;
        pal[3 * i] = static_cast<std::uint8_t>(i < 64 ? g : 63);
        pal[3 * i + 1] = pal[3 * i + 2] = static_cast<std::uint8_t>(g);
    }
    const auto pal_path = torvane_test::make_temp_dir("palette") / "grey.pal";
    std::string write_error;
    ASSERT_TRUE(platform::write_file_atomic(pal_path.string(), pal, &write_error)) << write_error;
    engine_render_facts() = render_facts{};
    ASSERT_EQ(device.load_palette(pal_path.string().c_str()), 1);
    EXPECT_EQ(engine_render_facts().palette_rgb[10][0], 40);
    EXPECT_EQ(engine_render_facts().palette_rgb[100][0], 252);
    EXPECT_EQ(engine_render_facts().palette_rgb[100][1], 0);
    blend_tables_reset();
    const std::uint16_t* table = blend_table(blend_table_for(0xF0F0F0, engine_render_facts().palette_rgb));
    ASSERT_NE(table, nullptr);
    for (int i : {1, 10, 63})
        EXPECT_EQ(table[i], i | i << 8) << i;
    blend_tables_reset();
    engine_render_facts() = render_facts{};
}

// The cut-out ground's clear texels, for every kind of key a converted
// texture can carry, on devices of each texture layout: the left half of
// each 8 x 8 texture is clear (alpha 0, the material's own key, palette
// index 0), the right half solid.
TEST_F(TextureDevice, TheGroundFindsClearTexelsByEachTexturesOwnKey)
{
    using platform::PixelLayout;
    const std::vector<PixelLayout> k565 = {PixelLayout::Rgb565}, k555 = {PixelLayout::Rgb555},
                                   kBgr = {PixelLayout::Bgr565}, k4444 = {PixelLayout::Argb4444},
                                   kAlpha = {PixelLayout::Rgb565, PixelLayout::Argb4444},
                                   kAlpha555 = {PixelLayout::Rgb555, PixelLayout::Argb4444};
    constexpr std::uint16_t kOwnKey = 0x1234;
    const struct {
        const char* what;
        std::vector<PixelLayout> formats;
        const char* name;
        std::uint32_t kind;  // 3 alpha texels, 5 the material's key, 6 palettised with index 0 clear
    } cases[] = {
        {"alpha texels keyed on 565", k565, "g#S#", 3},
        {"alpha texels keyed on 555", k555, "g#S#", 3},
        {"alpha texels keyed on blue-high 565", kBgr, "g#S#", 3},
        {"alpha texels in 4444", kAlpha, "g#S#", 3},
        {"alpha texels in 4444 keyed by option P", kAlpha555, "g#SP#", 3},
        {"own key on 565", k565, "g#S#", 5},
        {"own key on 555", k555, "g#S#", 5},
        {"own key on blue-high 565", kBgr, "g#S#", 5},
        {"own key on a 4444-only device", k4444, "g#S#", 5},
        {"palette index 0 on 565", k565, "g#S#", 6},
        {"palette index 0 on 555", k555, "g#S#", 6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        description.texture_formats = c.formats;
        open();
        mtr_texture& f = frame(c.name, 8, 8, c.kind, kOwnKey);
        ASSERT_EQ(device.create_textures(&f, 0), 1);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) {
                const bool clear = x < 4;
                const int i = y * 8 + x;
                if (c.kind == 3) {
                    const std::uint8_t argb[4] = {0x30, 0x90, 0xE0, clear ? std::uint8_t{0} : std::uint8_t{0xFF}};
                    std::memcpy(f.pixels + 4 * i, argb, 4);
                } else if (c.kind == 5) {
                    const std::uint16_t t = clear ? kOwnKey : 0x4321;
                    std::memcpy(f.pixels + 2 * i, &t, 2);
                } else {
                    f.pixels[i] = clear ? 0 : 1;
                }
            }
        if (c.kind == 6) {
            f.palette[0] = 0x07E0;
            f.palette[1] = 0xF800;
        }
        ASSERT_EQ(device.upload_textures(0), 1);
        const auto clear = texture_surfaces().texel_clear;
        ASSERT_NE(clear, nullptr);
        EXPECT_TRUE(clear(&f, 0.25f, 0.5f));
        EXPECT_FALSE(clear(&f, 0.75f, 0.5f));
        frames.clear();
        device.release();
    }
}

// A 2D surface's quad is lit with the white texture material, which
// upload_textures made; on a device without 4-bit alpha its half alpha is
// stippled (every other pixel, x + y even) where the device can stipple,
// and drawn opaque where it cannot. With 4-bit alpha it is blended.
TEST_F(TextureDevice, ASurfaceQuadIsLitWhiteAndStippledWithout4BitAlpha)
{
    struct Row {
        const char* name;
        bool alpha4, stipple;
    };
    for (const Row row : {Row{"stippled", false, true}, Row{"opaque", false, false}, Row{"blended", true, true}}) {
        SCOPED_TRACE(row.name);
        description = platform::default_display_description();
        description.devices[0].stippled_alpha = row.stipple;
        if (!row.alpha4)
            description.texture_formats = {platform::PixelLayout::Rgb565};
        open();
        uploaded(0x001F);
        ASSERT_EQ(device.texture_material_made, 1);
        platform::Device3D& d3d = *device.device3d;
        EXPECT_EQ(d3d.material_colour(device.texture_material_handle), 0xFFFFFFu);
        cache_texture* red = device.create_surface(1, 0, 0, 1);
        ASSERT_NE(red, nullptr);
        const std::uint16_t background = 0x1234;
        for (int y = 0; y < 8; ++y)
            std::memcpy(device.back_buffer.data() + static_cast<std::size_t>(y) * device.back_pitch,
                        std::array<std::uint16_t, 8>{background, background, background, background, background,
                                                     background, background, background}
                            .data(),
                        16);
        ASSERT_EQ(device.draw_quad(red, 0, 0, 8, 8), 1);
        EXPECT_EQ(d3d.light_material(), device.texture_material_handle);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) {
                const std::uint16_t p = screen_pixel(x, y);
                if (row.alpha4)
                    EXPECT_EQ(p, 0xF800) << x << "," << y;  // alpha 1: the surface's colour
                else if (row.stipple)
                    EXPECT_EQ(p, (x + y) % 2 == 0 ? 0xF800 : background) << x << "," << y;
                else
                    EXPECT_EQ(p, 0xF800) << x << "," << y;
            }
        frames.clear();
        device.release();
    }
}

} // namespace

namespace {

// A new display mode makes a new 3D device: the white texture material is
// made again on it, so that the textures drawn after it are lit with a
// material the device knows (not the handle of the device that went).
TEST_F(TextureDevice, TheWhiteMaterialIsMadeAgainOnTheDeviceOfANewMode)
{
    open();
    uploaded(0x07E0);
    ASSERT_EQ(device.texture_material_made, 1);
    const platform::Device3D* before = device.device3d.get();
    ASSERT_EQ(device.init(0, 800, 600, 16, 1), 1);
    ASSERT_NE(device.device3d.get(), before) << "the mode's device is a new one";
    platform::Device3D& d3d = *device.device3d;
    EXPECT_EQ(device.texture_material_made, 1);
    EXPECT_EQ(d3d.material_colour(device.texture_material_handle), 0xFFFFFFu);
    cache_texture* green = device.create_surface(0, 1, 0, 1);
    ASSERT_NE(green, nullptr);
    ASSERT_EQ(device.draw_quad(green, 0, 0, 8, 8), 1);
    EXPECT_NE(d3d.light_material(), 0u);
    EXPECT_EQ(d3d.light_material(), device.texture_material_handle);
    frames.clear();
    device.release();
}

} // namespace
