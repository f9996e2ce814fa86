#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <set>
#include <vector>

#include <gtest/gtest.h>

#include "engine/base/engine.h"
#include "engine/base/shade_table.h"
#include "engine/render/rast.h"
#include "engine/scene/camera.h"
#include "engine/scene/depth_sort.h"
#include "engine/scene/lattice_deform.h"
#include "engine/scene/mesh_draw_hooks.h"
#include "engine/scene/scene_view.h"
#include "mesh_draw_fixture.h"
#include "tests/support/fp_traps.h"

namespace scene_test {
namespace {

TEST(DepthSortKey, KeysAndBuckets)
{
    struct row {
        const char* what;
        std::vector<float> z;
        std::int32_t bias, layer, key;
        int bucket;
    };
    // Bucket of a key: (key + 20463616) held to 0 .. 0xF9C000, >> 13.
    const row rows[] = {
        // 16384 x (mean z + bias + layer) - 4096000.
        {"at the eye: the last bucket", {0, 0, 0}, 0, 0, -4096000, 1998},
        {"quad 10 in front", {-10, -10, -10, -10}, 0, 0, -16384 * 260, 1978},
        {"a unit of bias is a unit of z", {-10, -10, -10, -10}, 1, 0, -16384 * 259, 1980},
        {"a unit of layer too", {-10, -10, -10, -10}, 0, 1, -16384 * 259, 1980},
        {"triangle 500 in front", {-500, -500, -500}, 0, 0, -16384 * 750, 998},
        {"999 in front: the first bucket", {-999, -999, -999, -999}, 0, 0, -16384 * 1249, 0},
        {"farther: bucket 0", {-1300, -1300, -1300, -1300}, 0, 0, -16384 * 1550, 0},
        {"behind the eye: the last bucket", {300, 300, 300, 300}, 0, 0, 16384 * 50, 1998},
        {"huge depths are held to the key's range", {3e38f, 3e38f, 3e38f}, 0, 0, 2147483647, 1998},
        {"and below", {-3e38f, -3e38f, -3e38f, -3e38f}, 0, 0, -2147483647 - 1, 0},
        {"truncated toward zero", {250.00001f, 250, 250}, 0, 0, 0, 1998},
    };
    torvane_test::FpTraps traps;
    for (const row& r : rows) {
        const std::int32_t k = zsort_key(r.z.data(), static_cast<int>(r.z.size()), r.bias, r.layer);
        EXPECT_EQ(k, r.key) << r.what;
        EXPECT_EQ(zsort_bucket(k), r.bucket) << r.what;
    }
    EXPECT_EQ(zsort_bucket(2147483647), 1998);   // bucket 1999 is never used
}

// Faces in front of the camera spread over the buckets, nearer faces never
// in an earlier bucket than farther ones (the drawing order is the keys'):
// every half unit of depth within 999 units has a bucket of its own.
TEST(DepthSortKey, DepthsInFrontSpreadOverTheBuckets)
{
    std::set<int> used;
    int previous = -1;
    for (int step = 1998; step >= 0; --step) {
        const float z = -0.5f * static_cast<float>(step) - 0.25f;
        const float quad[4] = {z, z, z, z};
        const int bucket = zsort_bucket(zsort_key(quad, 4, 0, 0));
        EXPECT_GE(bucket, previous) << "depth " << z;
        previous = bucket;
        used.insert(bucket);
    }
    EXPECT_EQ(used.size(), 1998u);
}

class DepthSortTest : public MeshDrawTest {
protected:
    void SetUp() override
    {
        MeshDrawTest::SetUp();
        current_engine->set_render_type(engine::software_render_type);
        zsort_reset_faults();
        zsort_begin_frame(frame);
        view.renderer = nullptr;
    }

    zsort_entry* entry(std::int32_t key)
    {
        entries.push_back(std::make_unique<zsort_entry>());
        zsort_entry* e = entries.back().get();
        std::memset(e, 0, sizeof *e);
        e->key = key;
        return e;
    }

    std::vector<std::int32_t> bucket_keys(int b)
    {
        std::vector<std::int32_t> keys;
        for (const zsort_entry* e = current_engine->depth_buckets[b]; e; e = e->next)
            keys.push_back(e->key);
        return keys;
    }

    static bool buckets_empty()
    {
        for (std::size_t b = 0; b < depth_bucket_count; ++b)
            if (current_engine->depth_buckets[b])
                return false;
        return true;
    }

    std::vector<std::unique_ptr<zsort_entry>> entries;
};

// Each bucket keeps ascending keys, equal keys in filing order; the key
// moved and clamped to the bucket range chooses the bucket and entries
// beyond the range keep their own order inside it.
TEST_F(DepthSortTest, BucketsKeepKeyOrderAndTies)
{
    const auto key_of = [](std::int64_t shifted) { return static_cast<std::int32_t>(shifted - zsort_bucket_offset); };
    const std::int32_t base = key_of(5 << zsort_bucket_shift);
    zsort_entry* first_tie = entry(base + 10);
    for (zsort_entry* e : {first_tie, entry(base + 3), entry(base + 10), entry(base + 7), entry(base + 3)})
        zsort_insert(*current_engine, e);
    EXPECT_EQ(bucket_keys(5), (std::vector<std::int32_t>{base + 3, base + 3, base + 7, base + 10, base + 10}));
    // Ties: first filed, first drawn.
    const zsort_entry* e = current_engine->depth_buckets[5];
    while (e->key != base + 10)
        e = e->next;
    EXPECT_EQ(e, first_tie);

    const std::int32_t low = key_of(0);
    for (std::int32_t k : {low - 100, low, low - 50, low - 200, low - 50})
        zsort_insert(*current_engine, entry(k));
    EXPECT_EQ(bucket_keys(0), (std::vector<std::int32_t>{low - 200, low - 100, low - 50, low - 50, low}));
    const std::int32_t high = key_of(zsort_key_limit);
    zsort_insert(*current_engine, entry(0x1000000));
    zsort_insert(*current_engine, entry(high));
    EXPECT_EQ(bucket_keys(1998), (std::vector<std::int32_t>{high, 0x1000000}));
    EXPECT_EQ(current_engine->depth_buckets[1999], nullptr);

    zsort_clear(*current_engine);
    for (std::size_t b = 0; b < depth_bucket_count; ++b)
        ASSERT_EQ(current_engine->depth_buckets[b], nullptr);
}

// Two quads facing the eye (near one first) and one facing away.
mdl_object sorted_scene(const char* name)
{
    return kit_mesh_object(name,
                           {{-6, -6, -20, 1}, {6, -6, -20, 1}, {6, 6, -20, 1}, {-6, 6, -20, 1},       // far
                            {-2, -2, -10, 1}, {2, -2, -10, 1}, {2, 2, -10, 1}, {-2, 2, -10, 1},      // near
                            {-14, -1, -10, 1}, {-6, -1, -10, 1}, {-6, 1, -10, 1}, {-14, 1, -10, 1},  // clipped
                            {-1, -1, -5, 1}, {-1, 1, -5, 1}, {1, 1, -5, 1}},                          // away
                           {{{0, 1, 2, 3}}, {{4, 5, 6, 7}}, {{8, 9, 10, 11}}, {{12, 13, 14}}}, "PAINT");
}

TEST_F(DepthSortTest, MeshesFileTheirVisibleFacesOrGiveTheirVerticesBack)
{
    // A mesh wholly facing away files nothing and gives its vertices back.
    model_node* away = load_and_transform(
        kit_mesh_object("AWAY", {{-1, -1, -5, 1}, {-1, 1, -5, 1}, {1, 1, -5, 1}}, {{{0, 1, 2}}}, "PAINT"));
    ASSERT_NE(away, nullptr);
    EXPECT_EQ(frame.in_use, 3u);
    EXPECT_EQ(zsort_add_faces(frame, *away->mesh, {0, 0, 0, 1}, *away), 0);
    EXPECT_EQ(frame.in_use, 0u);
    EXPECT_EQ(frame.current, 0u);

    std::unique_ptr<model_lib> keep = std::move(lib);
    model_node* node = load_and_transform(sorted_scene("SCENE"));
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(frame.work, current_engine->sw_vertices);   // written where the first mesh was
    EXPECT_EQ(zsort_add_faces(frame, *node->mesh, {0, 0, 0, 1}, *node), 3);
    EXPECT_EQ(frame.current, 15u);
    EXPECT_EQ(frame.entries_used, 3u);
    // Far first: the far quad's key is the lowest, in a bucket of its own
    // before the two quads 10 units nearer.
    std::vector<int> filled;
    for (int b = 0; b < static_cast<int>(depth_bucket_count); ++b)
        if (current_engine->depth_buckets[b])
            filled.push_back(b);
    ASSERT_EQ(filled.size(), 2u);
    EXPECT_EQ(bucket_keys(filled[1]).size(), 2u);
    const zsort_entry* first = current_engine->depth_buckets[filled[0]];
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->face, &mesh_faces(*node->mesh)[0]);
    EXPECT_EQ(first->work, current_engine->sw_vertices);
    EXPECT_EQ(first->geometry, node->mesh);

    // The next mesh is written after the queued vertices.
    std::unique_ptr<model_lib> keep2 = std::move(lib);
    model_node* again = load_and_transform(sorted_scene("AGAIN"));
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(frame.work, current_engine->sw_vertices + 15);
}

// The face-entry array holds 16000 entries a frame: faces beyond are
// dropped and counted, never written past its end.
TEST_F(DepthSortTest, FacesBeyondTheEntryArrayAreDroppedAndCounted)
{
    model_node* node = load_and_transform(sorted_scene("SCENE"));
    ASSERT_NE(node, nullptr);
    frame.entries_used = static_cast<std::uint32_t>(face_entry_count) - 1;
    EXPECT_EQ(zsort_add_faces(frame, *node->mesh, {0, 0, 0, 1}, *node), 1);
    EXPECT_EQ(frame.entries_used, face_entry_count);
    EXPECT_EQ(frame.entries_dropped, 2u);
    EXPECT_EQ(zsort_faults().dropped_faces, 2u);
}

// The per-node entry point takes the path of the render type: filed here,
// drawn through the renderer on the 3D device's path.
TEST_F(DepthSortTest, NodesGoToTheDepthSortOrTheRendererByRenderType)
{
    model_node* node = load_and_transform(sorted_scene("SCENE"));
    ASSERT_NE(node, nullptr);
    recording_target device;
    view.renderer = &device;
    EXPECT_EQ(draw_mesh_node(frame, *node, {0, 0, 0, 1}, view, nullptr, false, 1), 3);
    EXPECT_EQ(frame.entries_used, 3u);
    EXPECT_TRUE(device.calls.empty());

    current_engine->set_render_type(2);
    frame.written = 0;
    EXPECT_EQ(draw_mesh_node(frame, *node, {0, 0, 0, 1}, view, nullptr, false, 0), 0);   // nothing written
    std::unique_ptr<model_lib> keep = std::move(lib);
    node = load_and_transform(sorted_scene("SCENE"));
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(draw_mesh_node(frame, *node, {0, 0, 0, 1}, view, nullptr, true, 0), 3);
    ASSERT_EQ(device.calls.size(), 4u);   // the far and near quads whole, the clipped one as two triangles
    for (const recorded_polygon& p : device.calls)
        EXPECT_EQ(p.vertices[0].light[0], 1.0f);
}

TEST_F(DepthSortTest, WithoutABucketTableNothingIsDrawn)
{
    engine device;
    device.set_render_type(2);
    EXPECT_EQ(device.depth_buckets, nullptr);
    view.context = &device;
    EXPECT_EQ(zsort_draw(device, view, nullptr), 0);
}

// Into the game's rasteriser: an 8-bit frame, a shade table that writes
// each texel as it is (or, for the light test, the light level).
class DepthSortRasterTest : public DepthSortTest {
protected:
    void SetUp() override
    {
        DepthSortTest::SetUp();
        saved_shade.assign(shade_table, shade_table + shade_table_entries);
        pixels.assign(640 * 480, 0);
        rast_frame f;
        f.pixels = pixels.data();
        f.pitch = 640;
        f.width = 640;
        f.height = 480;
        f.depth = 8;
        rast_set_screen(640.0f, 480.0f, f);
        for (int i = 0; i < 3; ++i) {
            texels[i].assign(1024, static_cast<std::uint8_t>(10 * (i + 1)));
            frames[i].width = frames[i].height = 4;
            frames[i].pixels = texels[i].data();
            frames[i].span = 0x300 | 3;
            frames[i].pixel_type = 4;
            materials[i].texture = new mesh_texture;
            materials[i].texture->frame_count = 1;
            materials[i].texture->first_frame = &frames[i];
        }
    }
    void TearDown() override
    {
        rast_set_threads(1);
        rast_set_frame({});
        std::copy(saved_shade.begin(), saved_shade.end(), shade_table);
        DepthSortTest::TearDown();
    }
    // Gives faces 0..2 of the node's mesh materials 0..2 (texels 10, 20, 30).
    void bind(model_node& node)
    {
        node.material_refs.resize(3);
        for (int i = 0; i < 3; ++i) {
            node.material_refs[static_cast<std::size_t>(i)].material = &materials[i];
            mesh_faces(*node.mesh)[i].material = i;
        }
    }
    // Every shade level shows the texel itself: the pixels tell the faces
    // apart whatever their light.
    static void texels_as_pixels()
    {
        for (std::size_t i = 0; i < shade_table_entries; ++i)
            shade_table[i] = static_cast<std::uint32_t>(i & 255) * 0x01010101u;
    }
    // The sorted scene transformed, its faces bound to materials 0..2.
    model_node* bound_scene()
    {
        model_node* node = load_and_transform(sorted_scene("SCENE"));
        if (node)
            bind(*node);
        return node;
    }
    std::uint8_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * 640 + static_cast<std::size_t>(x)]; }

    std::vector<std::uint32_t> saved_shade;
    std::vector<std::uint8_t> pixels;
    std::vector<std::uint8_t> texels[3];
    mtr_texture frames[3];
    mesh_material materials[3];
};

TEST_F(DepthSortRasterTest, FarFacesAreDrawnFirstAndClippedFacesAsFans)
{
    texels_as_pixels();
    // Triangles, then the polygon rasteriser; drawing at once, then recorded
    // and drawn by three threads at the flush.
    const std::pair<std::uint32_t, int> runs[] = {{0u, 1}, {0x10u, 1}, {0u, 3}, {0x10u, 3}};
    for (const auto& [rasteriser, threads] : runs) {
        SCOPED_TRACE(testing::Message() << rasteriser << " " << threads);
        rast_set_threads(threads);
        std::fill(pixels.begin(), pixels.end(), 0);
        zsort_begin_frame(frame);
        lib.reset();
        model_node* node = bound_scene();
        ASSERT_NE(node, nullptr);
        node->flags = (node->flags & ~0x10u) | rasteriser;
        ASSERT_EQ(zsort_add_faces(frame, *node->mesh, {0, 0, 0, 1}, *node), 3);
        EXPECT_EQ(zsort_draw(*current_engine, view, nullptr), 3);
        rast_flush();
        EXPECT_EQ(at(319, 239), 20);   // the near quad over the far one
        EXPECT_EQ(at(319 + 80, 239), 10);   // only the far quad there
        EXPECT_EQ(at(1, 239), 30);     // the clipped quad reaches the left edge
        EXPECT_EQ(at(319 - 250, 239), 30);
        EXPECT_EQ(at(319 - 250, 239 - 40), 0);
        // The buckets are empty afterwards.
        EXPECT_TRUE(buckets_empty());
        for (auto& r : node->material_refs)
            r.material = nullptr;
    }
}

// A patch on the software path: its triangles are filed into the buckets
// with the mesh faces and drawn in depth order among them. The patch (texel
// 30; its surface x from 2.5 to 5.5, y from -0.5 to 0.5) stands 15 units
// away, right of centre: between the far quad (10, 20 away) and the near
// one (20, 10 away).
TEST_F(DepthSortRasterTest, PatchTrianglesAreSortedAmongTheMeshFaces)
{
    texels_as_pixels();
    model_node* node = bound_scene();
    ASSERT_NE(node, nullptr);
    ASSERT_EQ(zsort_add_faces(frame, *node->mesh, {0, 0, 0, 1}, *node), 3);

    // Rows from the top down: the kit's winding then faces the eye at the
    // origin.
    std::vector<vec4> points;
    for (int r = 3; r >= 0; --r)
        for (int c = 0; c < 4; ++c)
            points.push_back({3.0f * static_cast<float>(c) - 0.5f, static_cast<float>(r) - 1.5f, -15.0f, 1.0f});
    std::unique_ptr<model_lib> patch_lib;
    model_node* sail = load_kit_object(patch_lib, "SAIL", datakit::mdl_patch_object("SAIL", 4, 4, points, "CANVAS"));
    ASSERT_NE(sail, nullptr);
    mat_identity(&sail->world);
    sail->material_refs.resize(1);
    sail->material_refs[0].material = &materials[2];
    sail->grid.material = 0;
    std::vector<vec4> view_points(16);
    ASSERT_EQ(transform_patch_points(frame, *sail, identity(), view_points.data(), 16), 16u);
    zsort_patch_sink sink(frame, *sail, {1.0f, 0.0f}, nullptr);
    const patch_lens lens{0.0f, 0.0f, 1.0f, 1.0f};
    EXPECT_EQ(patch_mesh_draw(sail->grid, view_points.data(), 16, lens, patch_texture_map_of(*sail), {0, 0, 0, 1},
                              sink),
              8);
    EXPECT_EQ(sink.triangles_filed(), 8);
    EXPECT_EQ(frame.entries_used, 11u);
    EXPECT_EQ(frame.current, 15u + 8u * 3u);   // each triangle keeps its three vertices

    EXPECT_EQ(zsort_draw(*current_engine, view, nullptr), 11);
    rast_flush();
    EXPECT_EQ(at(319, 239), 20);         // the near quad alone over the far one
    EXPECT_EQ(at(375, 239), 20);         // the near quad over the patch
    EXPECT_EQ(at(400, 239), 30);         // the patch over the far quad
    EXPECT_EQ(at(425, 239), 30);         // the patch alone
    EXPECT_EQ(at(230, 239), 10);         // the far quad alone
    EXPECT_TRUE(buckets_empty());

    // A patch wholly beyond one side files nothing; neither does one the
    // arena has no room for.
    zsort_begin_frame(frame);
    for (vec4& p : view_points)
        p.x += 100.0f;
    zsort_patch_sink outside(frame, *sail, {1.0f, 0.0f}, nullptr);
    patch_mesh_draw(sail->grid, view_points.data(), 16, lens, patch_texture_map_of(*sail), {0, 0, 0, 1}, outside);
    EXPECT_EQ(outside.triangles_filed(), 0);
    for (vec4& p : view_points)
        p.x -= 100.0f;
    frame.in_use = static_cast<std::uint32_t>(software_vertex_limit) - 3;
    zsort_patch_sink full(frame, *sail, {1.0f, 0.0f}, nullptr);
    patch_mesh_draw(sail->grid, view_points.data(), 16, lens, patch_texture_map_of(*sail), {0, 0, 0, 1}, full);
    EXPECT_EQ(full.triangles_filed(), 0);
    EXPECT_EQ(frame.entries_used, 0u);
    for (auto& r : node->material_refs)
        r.material = nullptr;
    sail->material_refs[0].material = nullptr;
}

// The software twin of the all-lights variant draws at once, in list order
// (the last face first), without sorting: the far quad ends on top.
TEST_F(DepthSortRasterTest, AllLightsTwinDrawsUnsortedInListOrder)
{
    texels_as_pixels();
    model_node* node = bound_scene();
    ASSERT_NE(node, nullptr);
    auto faces = front_faces(*node);
    EXPECT_EQ(mesh_raster_all_lights(*node->mesh, faces.data(), frame.work, frame.screen, view, *node, nullptr), 3);
    EXPECT_EQ(at(319, 239), 10);
    EXPECT_EQ(at(1, 239), 30);
    EXPECT_TRUE(buckets_empty());   // nothing filed
    for (auto& r : node->material_refs)
        r.material = nullptr;
}

// The scene view reaches the depth sort through its hook, with the mesh
// view of its camera: the clip planes of its field of view.
TEST_F(DepthSortRasterTest, TheSceneViewsHookDrawsTheBuckets)
{
    texels_as_pixels();
    camera cam;
    cam.half_fov = 0.6f;
    scene_view v(nullptr, nullptr, 0, &cam, 0, 0, 640, 480);
    v.frame().context = current_engine;
    v.frame().projection = frame.projection;
    const mesh_view mv = scene_mesh_view(v, &target);
    EXPECT_FLOAT_EQ(mv.clip.right_factor, 1.0f / std::tan(0.6f));
    EXPECT_FLOAT_EQ(mv.clip.left_factor, -1.0f / std::tan(0.6f));
    EXPECT_EQ(mv.clip.upper_z, frame.projection.near_z);
    EXPECT_EQ(mv.renderer, &target);
    EXPECT_EQ(mv.context, current_engine);

    install_mesh_draw_hooks();
    ASSERT_NE(scene_hooks().zsort_draw, nullptr);
    EXPECT_NE(scene_hooks().flush, nullptr);
    EXPECT_NE(scene_hooks().draw_shadow_mesh, nullptr);
    model_node* node = load_and_transform(sorted_scene("SCENE"));
    ASSERT_NE(node, nullptr);
    bind(*node);
    ASSERT_EQ(zsort_add_faces(frame, *node->mesh, {0, 0, 0, 1}, *node), 3);
    cam.half_fov = std::atan(1.0f);   // the fixture's 90-degree view
    v.frame().entries_used = frame.entries_used;
    scene_hooks().zsort_draw(v);
    scene_hooks() = {};
    EXPECT_EQ(v.frame().entries_used, 0u);   // the next frame files from the start
    EXPECT_EQ(at(319, 239), 20);
    EXPECT_EQ(at(1, 239), 30);
    EXPECT_TRUE(buckets_empty());
    for (auto& r : node->material_refs)
        r.material = nullptr;
}

TEST_F(DepthSortRasterTest, LightComesFromTheStoredIntensityOrTheUnlitFactor)
{
    // The pixel is the light level (bits 8-15 of light x 65536).
    for (std::size_t i = 0; i < shade_table_entries; ++i)
        shade_table[i] = static_cast<std::uint32_t>(i >> 8) * 0x01010101u;
    current_engine->factor_b = 0.5f;
    current_engine->factor_a = 0.5f;
    for (auto& m : materials)
        set_binding_float(*m.texture, binding_word::ambient, 0.75f);
    struct row {
        const char* what;
        std::uint32_t first_hash;
        bool lazy;
        int level;
    };
    const row rows[] = {
        {"stored 0.5 x intensity factor 0.5", 0, false, 64},
        {"the unlit object: the intensity factor", unlit_instance_hash, false, 128},
        {"lit here, no light: ambient 0.75 x light factor 0.5", 0, true, 96},
    };
    for (const row& r : rows) {
        zsort_begin_frame(frame);
        lib.reset();
        model_node* node = load_and_transform(sorted_scene("SCENE"));
        ASSERT_NE(node, nullptr);
        node->first_hash = r.first_hash;
        node->flags = r.lazy ? node->flags | node_lazy_lighting : node->flags & ~node_lazy_lighting;
        bind(*node);
        EXPECT_EQ(zsort_add_faces(frame, *node->mesh, {0, 0, 0, 1}, *node), 3);
        EXPECT_EQ(zsort_draw(*current_engine, view, nullptr), 3);
        EXPECT_EQ(at(319, 239), r.level) << r.what;

        for (auto& ref : node->material_refs)
            ref.material = nullptr;
    }
}

} // namespace
} // namespace scene_test
