#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "engine/base/engine.h"
#include "engine/base/light_record.h"
#include "engine/base/name_hash.h"
#include "engine/scene/lattice_deform.h"
#include "mesh_draw_fixture.h"
#include "tests/support/fp_traps.h"
#include "tests/support/temp_dir.h"
#include "tools/datakit/mtt_writer.h"

namespace scene_test {
namespace {

// Three faces at z = -10 in a 90-degree view (x, y inside while |x|, |y| <= 10):
// quad 0 wholly inside, quad 1 across the left edge (x = -10), triangle 2
// wholly left of it though spread over the top and bottom planes.
mdl_object three_faces(const char* name, float light = 0.5f)
{
    return kit_mesh_object(name,
                           {{-2, -2, -10, 1}, {2, -2, -10, 1}, {2, 2, -10, 1}, {-2, 2, -10, 1},        // quad 0
                            {-14, -3, -10, 1}, {-6, -3, -10, 1}, {-6, 3, -10, 1}, {-14, 3, -10, 1},  // quad 1
                            {-30, -20, -10, 1}, {-12, -20, -10, 1}, {-20, 20, -10, 1}},             // triangle 2
                           {{{0, 1, 2, 3}, 7}, {{4, 5, 6, 7}, 0}, {{8, 9, 10}, 0}}, "PAINT", light);
}

// A one-frame material of ambient 0.2 and diffuse 0.8 bound to the node's
// reference 0, a directional light along +z of intensity 0.5, and the light
// factor 0.5: a corner whose normal faces the light gets 0.3, one facing
// away 0.1.
struct lit_material_and_light {
    lit_material_and_light(model_node& lit_node, engine* context) : node(lit_node)
    {
        material.texture = new mesh_texture;
        material.texture->frame_count = 1;
        material.texture->first_frame = &frame;
        set_binding_float(*material.texture, binding_word::ambient, 0.2f);
        set_binding_float(*material.texture, binding_word::diffuse, 0.8f);
        node.material_refs.resize(1);
        node.material_refs[0].material = &material;
        context->factor_a = 0.5f;
        light.type = 3;
        light.r = 0.5f;
        light.position = {0, 0, 1, 0};
    }
    ~lit_material_and_light()
    {
        node.material_refs[0].material = nullptr;
        material.texture->first_frame = nullptr;
    }
    model_node& node;
    mtr_texture frame;
    mesh_material material;
    scn_light light;
    scn_light* lights[2] = {&light, nullptr};
};

TEST_F(MeshDrawTest, KitMeshReachesTheRendererAsWholeQuadsAndClippedFans)
{
    model_node* node = load_and_transform(three_faces("SIGN", 0.3f));
    ASSERT_NE(node, nullptr);
    node->flags &= ~node_lazy_lighting;   // drawn with the stored light
    auto faces = front_faces(*node);
    // Walked from the last face to the first.
    ASSERT_EQ(faces[0], &mesh_faces(*node->mesh)[2]);
    ASSERT_EQ(faces[3], nullptr);

    EXPECT_EQ(mesh_draw(*node->mesh, faces.data(), frame.work, frame.screen, view, *node, nullptr), 2);
    // The triangle wholly left of the view is dropped; the clipped quad
    // comes first (list order), as a fan of triangles; the inside quad as
    // one call of four contiguous vertices with its depth bias.
    ASSERT_GE(target.calls.size(), 2u);
    const recorded_polygon& whole = target.calls.back();
    EXPECT_EQ(whole.count, 4);
    EXPECT_TRUE(whole.contiguous);
    EXPECT_EQ(whole.bias, 7);
    EXPECT_EQ(whole.texture, nullptr);   // the material has no texture: drawn untextured
    EXPECT_FLOAT_EQ(whole.vertices[0].sx, 319.0f - 319.0f * 0.2f);
    EXPECT_FLOAT_EQ(whole.vertices[0].sy, 239.0f + 239.0f * 0.2f);
    EXPECT_FLOAT_EQ(whole.vertices[2].u, 2.0f);
    EXPECT_FLOAT_EQ(whole.vertices[2].light[0], 0.3f);

    // The clipped quad: x from -10 to -6, a quad again, so a fan of two
    // triangles sharing its first vertex, every vertex inside and projected.
    const std::size_t fan = target.calls.size() - 1;
    EXPECT_EQ(fan, 2u);
    for (std::size_t i = 0; i < fan; ++i) {
        const recorded_polygon& p = target.calls[i];
        EXPECT_EQ(p.count, 3);
        EXPECT_TRUE(p.contiguous);
        EXPECT_EQ(p.bias, 0);
        EXPECT_EQ(std::memcmp(&p.vertices[0], &target.calls[0].vertices[0], sizeof(clip_vertex)), 0);
        for (const clip_vertex& v : p.vertices) {
            EXPECT_GE(v.x, -v.w);
            EXPECT_LE(v.x, -6.0f + 1e-4f);
            EXPECT_FLOAT_EQ(v.rhw, 0.1f);
            EXPECT_FLOAT_EQ(v.sx, v.x * 319.0f * 0.1f + 319.0f);
            EXPECT_FLOAT_EQ(v.sy, 239.0f - v.y * 239.0f * 0.1f);
            EXPECT_NEAR(v.u, v.x, 1e-4f);   // u is interpolated along the cut edge
        }
    }
    // The outcodes were copied into the screen buffer.
    EXPECT_EQ(frame.screen[4].outcode, clip_left);
}

TEST_F(MeshDrawTest, TheUnlitBackObjectDrawsAtFullLight)
{
    EXPECT_EQ(name_hash("BACK"), unlit_instance_hash);
    model_node* node = load_and_transform(three_faces("BACK", 0.25f));
    ASSERT_NE(node, nullptr);
    auto faces = front_faces(*node);
    EXPECT_EQ(mesh_draw_unlit(*node->mesh, faces.data(), frame.work, frame.screen, view, *node), 2);
    for (const recorded_polygon& p : target.calls)
        for (const clip_vertex& v : p.vertices)
            EXPECT_EQ(v.light[0], 1.0f);
    // The stored light is left alone.
    EXPECT_EQ(frame.work[0].intensity, 0.25f);
}

TEST_F(MeshDrawTest, ShadowsAreWrittenAtOneDepthOrAtTheirOwn)
{
    // The shadow keeps its stored light, even on a node that lights lazily.
    model_node* node = load_and_transform(three_faces("SHADOW", 0.125f));
    ASSERT_NE(node, nullptr);
    ASSERT_NE(node->flags & node_lazy_lighting, 0u);
    auto faces = front_faces(*node);
    mesh_draw_shadow(*node->mesh, faces.data(), frame.work, frame.screen, view, *node, -3.5f);
    ASSERT_EQ(target.calls.size(), 3u);
    for (const recorded_polygon& p : target.calls)
        for (const clip_vertex& v : p.vertices) {
            EXPECT_EQ(v.z, -3.5f);
            EXPECT_EQ(v.light[0], 0.125f);
        }
    // Without a depth every corner keeps its own, as drawn unlit.
    target.calls.clear();
    mesh_draw_unlit(*node->mesh, faces.data(), frame.work, frame.screen, view, *node);
    const std::vector<recorded_polygon> own = target.calls;
    target.calls.clear();
    mesh_draw_shadow(*node->mesh, faces.data(), frame.work, frame.screen, view, *node, std::nullopt);
    ASSERT_EQ(target.calls.size(), own.size());
    for (std::size_t i = 0; i < own.size(); ++i) {
        ASSERT_EQ(target.calls[i].vertices.size(), own[i].vertices.size());
        for (std::size_t k = 0; k < own[i].vertices.size(); ++k)
            EXPECT_EQ(target.calls[i].vertices[k].z, own[i].vertices[k].z);
    }
}

// Lazy lighting: each vertex is lit once per frame with the first light and
// the material's coefficients; faces that share it see the same value, and
// a light from behind leaves the ambient term.
TEST_F(MeshDrawTest, LazyLightingLightsASharedVertexOnce)
{
    // Two triangles sharing the edge 1-2, at z = -10.
    model_node* node = load_and_transform(
        kit_mesh_object("FAN", {{-2, -2, -10, 1}, {2, -2, -10, 1}, {0, 2, -10, 1}, {4, 2, -10, 1}},
                        {{{0, 1, 2}}, {{1, 3, 2}}}, "PAINT"));
    ASSERT_NE(node, nullptr);
    node->flags |= node_lazy_lighting;
    lit_material_and_light lit(*node, current_engine);
    vertex_normals(*node->mesh, frame.work, frame.written);
    scn_light* const* lights = lit.lights;
    auto faces = front_faces(*node);
    EXPECT_EQ(mesh_draw(*node->mesh, faces.data(), frame.work, frame.screen, view, *node, lights), 2);
    ASSERT_EQ(target.calls.size(), 2u);
    const float expected = 1.0f * (0.8f * 0.5f * 0.5f) + 0.2f * 0.5f;
    for (const recorded_polygon& p : target.calls) {
        EXPECT_EQ(p.texture, &lit.frame);
        for (const clip_vertex& v : p.vertices)
            EXPECT_NEAR(v.light[0], expected, 1e-3f);
    }
    // Face 1 (corners 1, 3, 2) is drawn first, then face 0 (0, 1, 2).
    EXPECT_EQ(target.calls[0].vertices[0].light[0], target.calls[1].vertices[1].light[0]);
    EXPECT_NEAR(frame.work[1].intensity, expected, 1e-3f);

    // From behind: ambient only.
    target.calls.clear();
    lit.light.position = {0, 0, -1, 0};
    mesh_draw(*node->mesh, faces.data(), frame.work, frame.screen, view, *node, lights);
    for (const recorded_polygon& p : target.calls)
        for (const clip_vertex& v : p.vertices)
            EXPECT_FLOAT_EQ(v.light[0], 0.1f);
}

// The entry point the frame does not call: every light through
// light_vertex, faces through the contiguous emitter (no depth bias).
TEST_F(MeshDrawTest, AllLightsVariantLightsEveryCornerAndEmitsContiguously)
{
    model_node* node = load_and_transform(three_faces("SIGN"));
    ASSERT_NE(node, nullptr);
    lit_material_and_light lit(*node, current_engine);
    vertex_normals(*node->mesh, frame.work, frame.written);
    auto faces = front_faces(*node);
    EXPECT_EQ(mesh_draw_all_lights(*node->mesh, faces.data(), frame.work, frame.screen, view, *node, lit.lights), 2);
    ASSERT_EQ(target.calls.size(), 3u);
    EXPECT_EQ(target.calls[2].count, 4);
    EXPECT_TRUE(target.calls[2].contiguous);
    for (const recorded_polygon& p : target.calls) {
        EXPECT_EQ(p.bias, 0);
        for (const clip_vertex& v : p.vertices)
            EXPECT_NEAR(v.light[0], 0.2f * 0.5f + 0.8f * 0.5f * 0.5f, 1e-3f);
    }
    EXPECT_EQ(frame.work[0].intensity, 0.5f);   // nothing stored back
}

// The frame of an animated texture: trunc((phase - 0.001) x count) steps,
// held to the frames there are.
TEST(TextureFrame, PhaseChoosesTheFrame)
{
    mtr_texture frames[4];
    for (int i = 0; i < 3; ++i)
        frames[i].next = &frames[i + 1];
    mesh_texture binding;
    binding.frame_count = 4;
    binding.first_frame = &frames[0];
    struct row {
        float phase;
        float engine_phase;
        int frame;
    };
    const row rows[] = {
        {0.5f, 0.0f, 1},   {0.0f, 0.9f, 0}, {1.0f, 0.0f, 3},  {0.26f, 0.0f, 1}, {0.25f, 0.0f, 0},
        {1.7f, 0.0f, 3},   // above 1: the last frame, not a walk off the chain
        {1e30f, 0.0f, 3},  {-1.0f, 0.6f, 2}, {-1.0f, 5.0f, 3}, {-1.0f, -7.0f, 0},
    };
    for (const row& r : rows) {
        set_binding_float(binding, binding_word::phase, r.phase);
        EXPECT_EQ(texture_frame(&binding, r.engine_phase), &frames[r.frame]) << r.phase << " " << r.engine_phase;
    }
    // A chain shorter than its count stops at its end.
    binding.frame_count = 9;
    set_binding_float(binding, binding_word::phase, 1.0f);
    EXPECT_EQ(texture_frame(&binding, 0.0f), &frames[3]);
    // One frame: the first, whatever the phase; none: null.
    binding.frame_count = 1;
    EXPECT_EQ(texture_frame(&binding, 0.0f), &frames[0]);
    binding.frame_count = 4;
    binding.first_frame = nullptr;
    EXPECT_EQ(texture_frame(&binding, 0.5f), nullptr);
    EXPECT_EQ(texture_frame(nullptr, 0.5f), nullptr);
    for (auto& f : frames)
        f.next = nullptr;
}

// A kit-made material library: the frame a face is drawn with follows the
// binding's phase, read from the file.
TEST_F(MeshDrawTest, KitMaterialAnimatesByItsPhase)
{
    datakit::MttLibrary kit;
    mtt_material fire = datakit::mtt_make_material("PAINT", {"F1", "F2", "F3", "F4"}, 1, 4, 4);
    const float phase = 0.6f;
    std::memcpy(&fire.texture.words[binding_word::phase], &phase, 4);
    kit.materials.push_back(fire);
    for (const char* name : {"F1", "F2", "F3", "F4"}) {
        datakit::MttPicture p;
        p.name = name;
        p.width = p.height = 4;
        p.pixels.assign(32, 1);
        kit.pictures.push_back(p);
    }
    kit.palettes.resize(1);
    kit.palettes[0].name = "PAL";
    datakit::mtt_pack_atlas(kit);
    const auto path = torvane_test::make_temp_dir("meshdraw_mtt") / "KIT.MTT";
    std::string error;
    ASSERT_TRUE(datakit::write_mtt(path, kit, error)) << error;
    mtr_lib materials("kit");
    ASSERT_EQ(materials.try_open(path.string().c_str()), mtt_status::ok);
    ASSERT_EQ(materials.try_add_all_materials(material_kind_surface, 0, 0), mtt_status::ok);

    model_node* node = load_and_transform(three_faces("SIGN"));
    ASSERT_NE(node, nullptr);
    ASSERT_TRUE(node->link_materials(&materials, 0));
    auto faces = front_faces(*node);
    mesh_draw(*node->mesh, faces.data(), frame.work, frame.screen, view, *node, nullptr);
    ASSERT_FALSE(target.calls.empty());
    for (const recorded_polygon& p : target.calls)
        EXPECT_STREQ(p.texture->name, "F3");
}

TEST_F(MeshDrawTest, BackFacesAndEdgeOnFacesAreNotSelected)
{
    // Face 0 faces the eye, face 1 (wound the other way) faces away, face 2
    // lies in a plane through the eye (normal perpendicular to the eye's
    // direction), face 3 names a vertex the mesh lacks... (the loader
    // refuses that, so it is damaged after loading).
    model_node* node = load_and_transform(kit_mesh_object(
        "MIX", {{-1, -1, -5, 1}, {1, -1, -5, 1}, {0, 1, -5, 1}, {0, 0, -2, 1}, {0, 0, -8, 1}, {0, 3, -5, 1}},
        {{{0, 1, 2}}, {{0, 2, 1}}, {{3, 4, 5}}, {{0, 1, 2}}}, "PAINT"));
    ASSERT_NE(node, nullptr);
    mesh_faces(*node->mesh)[3].corner[2] = 48 * 6;
    auto faces = front_faces(*node);
    EXPECT_EQ(faces[0], &mesh_faces(*node->mesh)[0]);
    EXPECT_EQ(faces[1], nullptr);
    EXPECT_EQ(mesh_draw_faults().bad_faces, 1u);

    // A mesh without faces gives an empty list.
    model_part empty;
    const mesh_face* none[1] = {reinterpret_cast<const mesh_face*>(1)};
    EXPECT_EQ(backface_select(empty, {0, 0, 0, 1}, frame.work, 0, none), 0);
    EXPECT_EQ(none[0], nullptr);
}

TEST_F(MeshDrawTest, VertexNormalsAverageTheFacesAndNeedFaceLists)
{
    // A folded strip: two faces at right angles share the edge 1-2.
    model_node* node = load_and_transform(kit_mesh_object(
        "FOLD", {{0, 0, -5, 1}, {1, 0, -5, 1}, {1, 1, -5, 1}, {1, 0, -6, 1}}, {{{0, 1, 2}}, {{1, 3, 2}}}, "PAINT"));
    ASSERT_NE(node, nullptr);
    vertex_normals(*node->mesh, frame.work, frame.written);
    const float h = std::sqrt(0.5f);
    EXPECT_NEAR(frame.work[0].nz, 1.0f, 1e-3f);        // one face: its unit normal
    EXPECT_NEAR(frame.work[1].nx, h, 1e-3f);           // two faces: the bisector
    EXPECT_NEAR(frame.work[1].nz, h, 1e-3f);
    EXPECT_NEAR(frame.work[3].nx, 1.0f, 1e-3f);

    vertex_normals_scaled(*node->mesh, frame.work, frame.written, {2, 3, 4, 1});
    EXPECT_NEAR(frame.work[1].nz, 4.0f * h, 1e-3f);

    // Without face lists every normal stays as it was.
    node->mesh->indexes.clear();
    frame.work[1].nx = 42.0f;
    vertex_normals(*node->mesh, frame.work, frame.written);
    EXPECT_EQ(frame.work[1].nx, 42.0f);
}

TEST_F(MeshDrawTest, EmittersFanPolygonsAndClipPointerPolygons)
{
    // poly_emit: fewer than three vertices emit nothing; five give three
    // triangles around the first vertex.
    clip_vertex five[5]{};
    for (int i = 0; i < 5; ++i)
        five[i].u = static_cast<float>(i);
    EXPECT_EQ(poly_emit(target, five, 2, nullptr, 0), 0);
    EXPECT_EQ(poly_emit(target, five, 5, nullptr, 3), 3);
    ASSERT_EQ(target.calls.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(target.calls[i].vertices[0].u, 0.0f);
        EXPECT_EQ(target.calls[i].vertices[1].u, static_cast<float>(i + 1));
        EXPECT_EQ(target.calls[i].vertices[2].u, static_cast<float>(i + 2));
        EXPECT_EQ(target.calls[i].bias, 3);
    }

    // poly_emit_pointers: inside -> projected in place, sent as addresses;
    // wholly beyond the far plane -> nothing; across the right edge -> a
    // clipped fan.
    target.calls.clear();
    auto vertex = [](float x, float y, float z) {
        clip_vertex c{};
        c.x = x;
        c.y = y;
        c.z = z;
        c.w = -z;
        return c;
    };
    clip_vertex a = vertex(0, 0, -10), b = vertex(5, 0, -10), c = vertex(0, 5, -10);
    clip_vertex* inside[3] = {&a, &b, &c};
    EXPECT_EQ(poly_emit_pointers(view, inside, 3, nullptr), 1);
    ASSERT_EQ(target.calls.size(), 1u);
    EXPECT_FALSE(target.calls[0].contiguous);
    EXPECT_FLOAT_EQ(b.sx, 319.0f + 0.5f * 319.0f);
    EXPECT_FLOAT_EQ(c.sy, 239.0f - 0.5f * 239.0f);

    clip_vertex d = vertex(0, 0, -500000), e = vertex(1, 0, -500000), f = vertex(0, 1, -500000);
    clip_vertex* beyond[3] = {&d, &e, &f};
    EXPECT_EQ(poly_emit_pointers(view, beyond, 3, nullptr), 0);

    target.calls.clear();
    clip_vertex g = vertex(5, 0, -10), h = vertex(15, 0, -10), k = vertex(5, 5, -10);
    clip_vertex* across[3] = {&g, &h, &k};
    EXPECT_EQ(poly_emit_pointers(view, across, 3, nullptr), 2);   // a quad after the cut
    for (const recorded_polygon& p : target.calls) {
        EXPECT_TRUE(p.contiguous);
        for (const clip_vertex& v : p.vertices)
            EXPECT_LE(v.x, v.w);
    }
}

// A kit-made patch node drawn through the sink: its triangles reach the
// renderer through poly_emit_pointers, lit and textured from the node's
// material.
TEST_F(MeshDrawTest, PatchTrianglesReachTheRendererThroughTheSink)
{
    std::vector<vec4> points;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            points.push_back({static_cast<float>(c) - 1.5f, static_cast<float>(r) - 1.5f, 0.0f, 1.0f});
    model_node* node = load_kit_object(lib, "SAIL", datakit::mdl_patch_object("SAIL", 4, 4, points, "CANVAS"));
    ASSERT_NE(node, nullptr);
    mat_identity(&node->world);
    std::vector<vec4> view_points(16);
    ASSERT_EQ(transform_patch_points(frame, *node, translation(0, 0, -10), view_points.data(), 16), 16u);

    const patch_texture_map map = patch_texture_map_of(*node);   // no material bound: untextured
    EXPECT_EQ(map.frame, nullptr);
    mesh_patch_sink sink(view, {0.4f, 0.0f}, nullptr);
    const patch_lens lens{0.0f, 0.0f, 1.0f, 1.0f};
    // The kit's grid is wound to face -z: seen from an eye beyond it.
    const int triangles = patch_mesh_draw(node->grid, view_points.data(), 16, lens, map, {0, 0, -40, 1}, sink);
    EXPECT_EQ(triangles, 8);
    EXPECT_EQ(sink.triangles_sent(), 8);
    ASSERT_EQ(target.calls.size(), 8u);
    for (const recorded_polygon& p : target.calls) {
        EXPECT_EQ(p.count, 3);
        for (const clip_vertex& v : p.vertices)
            EXPECT_FLOAT_EQ(v.light[0], 0.4f * current_engine->factor_a);
    }
}

// Hit tests: a vertical segment through a horizontal quad, the nearest
// test on any segment, and the zero denominators that must not divide.
TEST_F(MeshDrawTest, SegmentTestsFindTheFaceAndGuardTheirDenominators)
{
    torvane_test::FpTraps traps;
    model_part ground;
    {
        std::unique_ptr<model_part> built(mesh_of({{0, 0, 0, 1}, {0, 0, 4, 1}, {4, 0, 4, 1}, {4, 0, 0, 1},
                                                   {0, 0, 0, 1}, {0, 4, 0, 1}, {4, 4, 0, 1}}));
        ground = *built;
    }
    // Face 0: the ground quad (normal +y); face 1: a wall (normal along z).
    mesh_face faces[2]{};
    faces[0].corner_count = 4;
    faces[0].corner[0] = 0;
    faces[0].corner[1] = 48;
    faces[0].corner[2] = 96;
    faces[0].corner[3] = 144;
    faces[1].corner_count = 3;
    faces[1].corner[0] = 192;
    faces[1].corner[1] = 240;
    faces[1].corner[2] = 288;
    const std::uint8_t* vertices = ground.vertices.data();

    struct row {
        const char* what;
        vec4 s0, s1;
        float limit;
        int hit;
        float y;
    };
    const row rows[] = {
        {"down through the middle", {1, 2, 1, 1}, {0, -2, 0, 1}, 1.0f, 1, 0.0f},
        {"outside the outline", {5, 2, 1, 1}, {0, -2, 0, 1}, 1.0f, 0, 0.0f},
        {"beyond the caller's nearest", {1, 2, 1, 1}, {0, -2, 0, 1}, 0.25f, 0, 0.0f},
        {"ends above the ground", {1, 2, 1, 1}, {0, 1, 0, 1}, 1.0f, 0, 0.0f},
        {"no height: zero denominator", {1, 2, 1, 1}, {0, 2, 0, 1}, 1.0f, 0, 0.0f},
    };
    for (const row& r : rows) {
        face_hit hit;
        const vec4 seg[2] = {r.s0, r.s1};
        EXPECT_EQ(face_segment_test(hit, faces[0], vertices, 7, seg, r.limit), r.hit) << r.what;
        if (r.hit) {
            EXPECT_FLOAT_EQ(hit.point.y, r.y) << r.what;
        }
    }
    // A wall's normal has no y: the vertical test does not divide by it.
    face_hit wall_hit;
    const vec4 down[2] = {{1, 2, 0, 1}, {0, -2, 0, 1}};
    EXPECT_EQ(face_segment_test(wall_hit, faces[1], vertices, 7, down, 1.0f), 0);
    EXPECT_GT(std::fabs(faces[1].nz), 0.0f);   // the normal was recomputed into the face

    // Nearest: a slanted segment through the quad, one parallel to it, one
    // that passes beside it.
    face_hit hit;
    const vec4 slant[2] = {{1, 1, 1, 1}, {3, -1, 3, 1}};
    ASSERT_EQ(face_segment_test_nearest(hit, faces[0], vertices, 7, slant, 1.0f), 1);
    EXPECT_FLOAT_EQ(hit.t, 0.5f);
    EXPECT_FLOAT_EQ(hit.point.x, 2.0f);
    EXPECT_FLOAT_EQ(hit.point.y, 0.0f);
    const vec4 parallel[2] = {{1, 1, 1, 1}, {3, 1, 3, 1}};
    EXPECT_EQ(face_segment_test_nearest(hit, faces[0], vertices, 7, parallel, 1.0f), 0);
    const vec4 beside[2] = {{5, 1, 1, 1}, {7, -1, 1, 1}};
    EXPECT_EQ(face_segment_test_nearest(hit, faces[0], vertices, 7, beside, 1.0f), 0);
    // The wall triangle from the side.
    const vec4 through[2] = {{1, 2, 1, 1}, {1, 2, -1, 1}};
    ASSERT_EQ(face_segment_test_nearest(hit, faces[1], vertices, 7, through, 1.0f), 1);
    EXPECT_FLOAT_EQ(hit.point.z, 0.0f);
}

} // namespace
} // namespace scene_test
