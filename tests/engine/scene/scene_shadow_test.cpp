// Linked shadows through the scene view: the data kit's small scene with a
// kit-made ground object and a box that casts a linked shadow, drawn with
// the mesh drawing's hooks on both paths (3D device batches recorded, and
// the depth buckets).

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "engine/base/engine.h"
#include "engine/base/light_record.h"
#include "engine/base/mat4.h"
#include "engine/base/name_hash.h"
#include "engine/base/texture_record.h"
#include "engine/model/ml_modelinfo.h"
#include "engine/model/model_lib.h"
#include "engine/model/shadow_link.h"
#include "engine/scene/camera.h"
#include "engine/scene/depth_sort.h"
#include "engine/scene/ground_under.h"
#include "engine/scene/mesh_draw.h"
#include "engine/scene/mesh_draw_hooks.h"
#include "engine/scene/scene_view.h"
#include "platform/message_box.h"
#include "tests/engine/scene/kit_model.h"
#include "tests/engine/scene/mesh_draw_fixture.h"
#include "tests/engine/scene/scene_load_fixture.h"

namespace {

// Where the crate stands on the ground, and the ground object's place.
constexpr float kGroundX = -30.0f;
constexpr float kGroundZ = -23.5f;
// The plane its shadow is laid on (the shadow instance's height).
constexpr float kShadowY = 0.01f;

// What one frame showed of the shadow and the depth buckets.
struct frame_record {
    std::vector<vec4> laid;            // the shadow's laid vertices in clip space
    int shadow_entries = 0;            // software: the shadow's faces filed
    int crate_entries = 0;             // software: the crate's faces filed
};

frame_record* recording = nullptr;
const model_node* shadow_root = nullptr;
const model_node* crate_body = nullptr;
void (*device_shadow_mesh)(model_node*, scene_view&) = nullptr;

// Records the laid vertices, then draws them.
void record_shadow_mesh(model_node* node, scene_view& view)
{
    const mesh_frame& f = view.frame();
    for (std::uint32_t i = 0; i < f.written; ++i)
        recording->laid.push_back({f.work[i].x, f.work[i].y, f.work[i].z, f.work[i].w});
    device_shadow_mesh(node, view);
}

// Counts the filed faces by node and empties the buckets (the game's
// rasteriser is not set up here).
void record_buckets(scene_view& view)
{
    engine& ctx = *view.frame().context;
    for (std::size_t b = 0; b < depth_bucket_count; ++b)
        for (const zsort_entry* e = ctx.depth_buckets[b]; e; e = e->next) {
            recording->shadow_entries += e->node == shadow_root;
            recording->crate_entries += e->node == crate_body;
        }
    zsort_clear(ctx);
    view.frame().entries_used = 0;
}

class SceneShadowTest : public scene_test::KitSceneTest {
protected:
    void SetUp() override
    {
        KitSceneTest::SetUp();
        platform::clear_recorded_message_boxes();
        // The crate and its shadow, in the kit's materials.
        for (mdl_model& m : scene_test::kit_shadowed_box("CRATE", "CRATE_SHADOW", "BIKE_PAINT", "TYRE"))
            kit.models.push_back(m);
        // Two-level twins: "CRATE2" (level 1 a copy of level 0) and
        // "SHADOW2", whose level 1 is the flat quad wound to face up (a
        // shadow level drawn as an instance of its own is not turned over).
        // The shadow's mesh holds an empty child, so that its nodes are of
        // the full kind, which stand where their instance is placed (a
        // level of meshes alone loads as compact kind A, which stands at
        // its own local position).
        {
            std::vector<mdl_model> twins = scene_test::kit_shadowed_box("CRATE2", "SHADOW2", "BIKE_PAINT", "TYRE");
            twins[1].levels[0].objects[0].child = 1;
            twins[1].levels[0].objects.push_back(datakit::mdl_empty_object("SHADOW2_TAG", 1, 0, -1, -1));
            for (mdl_model& m : twins) {
                mdl_level lo = m.levels[0];
                lo.name = m.name + "_LO";
                m.levels.push_back(lo);
            }
            mdl_mesh& flat = twins[1].levels[1].objects[0].mesh;
            flat.faces = {datakit::mdl_make_face(0, {3, 2, 1, 0}, {0, 1, 0, 0})};
            flat.face_lists = datakit::mdl_face_lists(flat.faces, flat.vertices.size());
            kit.models.push_back(twins[0]);
            kit.models.push_back(twins[1]);
        }
        // "GROUND": an empty root at the crate's place holding a 40 x 40
        // ground mesh of level 0.
        mdl_object root = datakit::mdl_empty_object("GROUND", 0, -1, -1, 1);
        root.radius = 60.0f;
        root.position = {kGroundX, 0.0f, kGroundZ, 1.0f};
        kit.models.push_back(datakit::mdl_single_level(
            "GROUND", {root, scene_test::kit_ground_mesh("TARMAC", 1, 0.0f, 0.0f, 0.0f, "STONE", 20.0f)}));
        map_item item;
        std::strncpy(item.name, "GROUND", sizeof item.name - 1);
        // Listed in the cell it stands in and in the row behind, as a
        // ground reaching over a cell border is.
        ASSERT_NE(kit.grid.insert(item, kGroundX, 1.0f, kGroundZ, 0), nullptr);
        ASSERT_NE(kit.grid.insert(item, kGroundX, 1.0f, kGroundZ - 30.0f, 0), nullptr);
        std::string error;
        ASSERT_TRUE(datakit::write_scene(folder, "DEMO", kit, error)) << error;

        install_mesh_draw_hooks();
        install_ground_under_hook();
        device_shadow_mesh = scene_hooks().draw_shadow_mesh;
        scene_hooks().draw_shadow_mesh = &record_shadow_mesh;
        scene_hooks().zsort_draw = &record_buckets;
        set_mesh_draw_target(&target);
    }
    void TearDown() override
    {
        set_mesh_draw_target(nullptr);
        scene_hooks() = {};
        recording = nullptr;
        platform::clear_recorded_message_boxes();
        KitSceneTest::TearDown();
    }

    // Loads the scene, marks its ground, links the crate's shadow and sets
    // the crate's nodes to be lit here with ambient 1 and diffuse 0 (their
    // light is then the light factor times the ground shade).
    void load(std::int32_t render_type)
    {
        current_engine->set_render_type(render_type);
        world.load(base.c_str(), scene::material_kind_mtt, 0, 0);
        for (mesh_material* m = world.material_libs->materials; m; m = m->next)
            if (m->texture) {
                set_binding_float(*m->texture, binding_word::ambient, 1.0f);
                set_binding_float(*m->texture, binding_word::diffuse, 0.0f);
            }
        // Marking at level -1 by 0.5 takes a level value of 0 to
        // 0 - 1 x 0.5^1 = -0.5, once, though two items name the model.
        EXPECT_GE(world.mark_objects(-1.0f, 0.5f), 1);
        ground = model(world, "GROUND");
        ASSERT_NE(ground, nullptr);
        EXPECT_TRUE(ground->flags & scene_ground_object);
        tarmac = ground->find_node(name_hash("TARMAC"));
        ASSERT_NE(tarmac, nullptr);
        EXPECT_TRUE(tarmac->flags & node_flag_ground);
        for (std::uint32_t i = 0; i < tarmac->mesh->vertex_count; ++i) {
            float level = 0.0f;
            std::memcpy(&level, tarmac->mesh->vertices.data() + 48 * i + 40, 4);
            EXPECT_EQ(level, -0.5f) << i;
        }

        model_lib& lib = *world.model_libs.front();
        crate = lib.create_instance("CRATE", world.material_libs, 0);
        shadow = lib.create_instance("CRATE_SHADOW", world.material_libs, 0);
        ASSERT_TRUE(crate && shadow);
        ASSERT_EQ(link_shadow(crate, shadow, 1), 1);
        crate->enable_shadow();
        crate_body = crate->find_node(name_hash("BODY"));
        shadow_root = shadow->first_node;
        for (model_node* n = crate->first_node; n; n = n->next)
            n->flags |= node_lazy_lighting;
        paint = world.material_libs->find(name_hash("BIKE_PAINT"))->texture->first_frame;
        dark = world.material_libs->find(name_hash("TYRE"))->texture->first_frame;

        cam.position = {-32.6f, 1.5f, -20.0f, 1.0f};
        cam.target = {-28.0f, 0.2f, -80.0f, 1.0f};
        cam.far_base = 1000.0f;
        cam.set_fov(1.6f);
        current_engine->grid_culling = 0;
        sun.type = 3;
        sun.world_position = {0.0f, 1.0f, 0.0f, 0.0f};
        sun.position = sun.world_position;
    }

    // One frame with the crate at (x, 0.5, z) turned a quarter about y and
    // its shadow's plane under it.
    frame_record draw(float x, float z)
    {
        frame_record r;
        recording = &r;
        target.calls.clear();
        mat4 turn{};
        crate->set_orientation(&turn, 0.0f, 1.5707964f, 0.0f);
        crate->set_position(x, 0.5f, z, 1.0f);
        crate->flags &= ~model_transforms_valid;
        if (shadow)
            shadow->set_position(x, kShadowY, z, 1.0f);
        scene_view view(&world, nullptr, 0, &cam, 0, 0, 320, 240);
        view.add_instance(crate);
        view.prepare();
        // The sun lights the frame ahead of the scene's own lights.
        view.lights.insert(view.lights.begin(), &sun);
        view.draw();
        view.remove_instance(crate);
        recording = nullptr;
        return r;
    }

    // The laid shadow: each corner follows the box's bottom corner B it is
    // paired with (box (+-1, -0.5, +-2) turned: world (z + x0, 0, z0 - x)),
    // whose clip position is carried back to the world by the camera's
    // inverse (which its 0.001 terms keep from being exact), then dropped
    // straight down onto the plane and carried to clip space again.
    void expect_laid_under(const frame_record& r, float x0, float z0)
    {
        ASSERT_EQ(r.laid.size(), 4u);
        const float bx[4] = {-1, 1, 1, -1}, bz[4] = {-2, -2, 2, 2};
        for (int s = 0; s < 4; ++s) {
            const vec4 bottom{bz[s] + x0, 0.0f, z0 - bx[s], 1.0f};
            vec4 clip, back, expected;
            mat_transform_point(&cam.combined, &bottom, &clip);
            clip.w = 1.0f;
            mat_transform_point(&cam.combined_inverse, &clip, &back);
            const vec4 laid{back.x, kShadowY, back.z, 1.0f};
            mat_transform_point(&cam.combined, &laid, &expected);
            EXPECT_NEAR(r.laid[s].x, expected.x, 1e-3f) << s;
            EXPECT_NEAR(r.laid[s].y, expected.y, 1e-3f) << s;
            EXPECT_NEAR(r.laid[s].z, expected.z, 1e-3f) << s;
            EXPECT_NEAR(r.laid[s].w, expected.w, 1e-3f) << s;
        }
    }

    // The recorded polygons of a texture frame.
    std::vector<const scene_test::recorded_polygon*> polygons_of(const mtr_texture* frame) const
    {
        std::vector<const scene_test::recorded_polygon*> out;
        for (const auto& p : target.calls)
            if (p.texture == frame)
                out.push_back(&p);
        return out;
    }

    scene_test::recording_target target;
    scene world;
    camera cam;
    scn_light sun;
    ml_modelinfo* ground = nullptr;
    model_node* tarmac = nullptr;
    ml_modelinfo* crate = nullptr;
    ml_modelinfo* shadow = nullptr;
    const mtr_texture* paint = nullptr;
    const mtr_texture* dark = nullptr;
};

// On the 3D device's path: the ground under the crate is the kit-made
// ground mesh, the crate is lit at the ground shade, and its shadow follows
// it wherever it stands, laid on its plane and written at its own depths
// without light; off the ground the crate is lit at full shade.
TEST_F(SceneShadowTest, ShadowsFollowTheirInstancesOnThe3DDevice)
{
    load(2);
    const frame_record on = draw(kGroundX, kGroundZ);
    EXPECT_EQ(crate->ground_factor, 0.5f);
    EXPECT_EQ(crate->ground_instance, ground);
    EXPECT_EQ(crate->ground_node, tarmac);
    expect_laid_under(on, kGroundX, kGroundZ);
    EXPECT_EQ(shadow->id, -1);
    EXPECT_EQ(crate->id, -1);

    const auto crate_polygons = polygons_of(paint);
    ASSERT_FALSE(crate_polygons.empty());
    for (const auto* p : crate_polygons)
        for (const clip_vertex& v : p->vertices)
            EXPECT_FLOAT_EQ(v.light[0], 0.5f * 0.5f);   // light factor x ground shade
    EXPECT_EQ(current_engine->factor_a, 0.5f);          // given back after the crate
    const auto shadow_polygons = polygons_of(dark);
    ASSERT_FALSE(shadow_polygons.empty());
    // Each corner at its own depth: the shadow lies on the ground, seen at
    // a slant, so its near and far corners are written apart (one depth for
    // the whole shadow hid its near half behind the ground).
    float nearest = shadow_polygons[0]->vertices[0].z, farthest = nearest;
    for (const auto* p : shadow_polygons)
        for (const clip_vertex& v : p->vertices) {
            EXPECT_EQ(v.light[0], 0.0f);
            nearest = std::max(nearest, v.z);
            farthest = std::min(farthest, v.z);
        }
    EXPECT_GT(nearest - farthest, 0.5f);

    // Off the ground (and turned the same way): no ground, full shade,
    // and the shadow still follows.
    const frame_record off = draw(-20.0f, -60.0f);
    EXPECT_EQ(crate->ground_factor, 1.0f);
    EXPECT_EQ(crate->ground_instance, nullptr);
    expect_laid_under(off, -20.0f, -60.0f);
    for (const auto* p : polygons_of(paint))
        for (const clip_vertex& v : p->vertices)
            EXPECT_FLOAT_EQ(v.light[0], 0.5f);
    EXPECT_FALSE(polygons_of(dark).empty());
    EXPECT_TRUE(platform::recorded_message_boxes().empty());
}

// Through the depth buckets: the same ground, and the shadow laid under
// its crate and filed beside the crate's faces.
TEST_F(SceneShadowTest, ShadowsFollowTheirInstancesThroughTheDepthBuckets)
{
    load(engine::software_render_type);
    const frame_record on = draw(kGroundX, kGroundZ);
    EXPECT_EQ(crate->ground_factor, 0.5f);
    EXPECT_EQ(crate->ground_node, tarmac);
    expect_laid_under(on, kGroundX, kGroundZ);
    EXPECT_EQ(on.shadow_entries, 1);
    EXPECT_GT(on.crate_entries, 0);
    EXPECT_TRUE(target.calls.empty());

    const frame_record moved = draw(-25.0f, -30.0f);
    expect_laid_under(moved, -25.0f, -30.0f);
    EXPECT_EQ(moved.shadow_entries, 1);
    EXPECT_TRUE(platform::recorded_message_boxes().empty());
}

// A shadow instance destroyed while linked takes the links with it, and
// the scene draws its model on without a shadow.
TEST_F(SceneShadowTest, DestroyingTheShadowDropsTheLinks)
{
    load(2);
    model_lib& lib = *world.model_libs.front();
    lib.destroy_instance(shadow);
    shadow = nullptr;
    EXPECT_FALSE(crate->flags & record_has_shadow);
    EXPECT_EQ(crate->shadow_link, nullptr);
    EXPECT_EQ(linked_shadow_of(crate), nullptr);
    const frame_record r = draw(kGroundX, kGroundZ);
    EXPECT_TRUE(r.laid.empty());
    EXPECT_FALSE(polygons_of(paint).empty());
}

// A level of the model without a link: the shadow takes the same level
// when it has one and, that level being no linked one, is drawn as an
// instance of its own at its place (not laid); a shadow with fewer levels
// takes none and is not drawn.
TEST_F(SceneShadowTest, AnUnlinkedLevelDrawsTheShadowAsAnInstanceOrNotAtAll)
{
    load(2);
    model_lib& lib = *world.model_libs.front();
    ml_modelinfo* crate2 = lib.create_instance("CRATE2", world.material_libs, 0);
    ml_modelinfo* shadow2 = lib.create_instance("SHADOW2", world.material_libs, 0);
    ASSERT_TRUE(crate2 && shadow2);
    ASSERT_EQ(crate2->level_count, 2);
    ASSERT_EQ(link_shadow(crate2, shadow2, 1), 1);   // level 0 only
    // Placed by its fields alone (nothing poses a shadow that is not in the
    // visible list): at the ground's place, turned a quarter about y.
    shadow2->position = {kGroundX, kShadowY, kGroundZ, 1.0f};
    shadow2->angles = {0.0f, 1.5707964f, 0.0f, 0.0f};
    ml_modelinfo* single = lib.create_instance("CRATE_SHADOW", world.material_libs, 0);
    ASSERT_NE(single, nullptr);

    struct row {
        const char* what;
        ml_modelinfo* shadow;
        bool drawn;
    };
    const row rows[] = {{"a shadow of two levels", shadow2, true}, {"a shadow of one level", single, false}};
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        if (r.shadow == single) {
            ASSERT_EQ(link_shadow(crate2, single, 1), 1);
        }
        crate2->set_position(kGroundX, 0.5f, kGroundZ, 1.0f);
        crate2->flags &= ~model_transforms_valid;
        frame_record record;
        recording = &record;
        target.calls.clear();
        scene_view view(&world, nullptr, 0, &cam, 0, 0, 320, 240);
        view.prepare();
        view.lights.insert(view.lights.begin(), &sun);
        crate2->update_transforms(crate2->anim_time);
        crate2->id = 1;
        draw_instance(crate2, view, 0);
        recording = nullptr;
        EXPECT_TRUE(record.laid.empty());
        EXPECT_EQ(r.shadow->id, -1);
        EXPECT_FALSE(polygons_of(paint).empty());   // the crate's level 1
        const auto dark_polygons = polygons_of(dark);
        EXPECT_EQ(!dark_polygons.empty(), r.drawn);
        if (!r.drawn)
            continue;
        // Its corners (+-1.1, -0.5, +-2) stand at the shadow's place, turned:
        // (x, y, z) -> (z + px, y + py, pz - x). Those inside the view
        // reach the renderer as they are (the others are clipped away).
        int inside = 0;
        for (const auto& [x, z] : {std::pair{-1.1f, -2.0f}, {1.1f, -2.0f}, {1.1f, 2.0f}, {-1.1f, 2.0f}}) {
            const vec4 corner{kGroundX + z, kShadowY - 0.5f, kGroundZ - x, 1.0f};
            vec4 clip;
            mat_transform_point(&cam.combined, &corner, &clip);
            if (!(std::fabs(clip.x) < clip.w && std::fabs(clip.y) < clip.w))
                continue;
            ++inside;
            bool found = false;
            for (const auto* p : dark_polygons)
                for (const clip_vertex& v : p->vertices)
                    found |= std::fabs(v.x - clip.x) < 1e-3f && std::fabs(v.y - clip.y) < 1e-3f &&
                             std::fabs(v.z - clip.z) < 1e-3f;
            EXPECT_TRUE(found) << "no corner at (" << clip.x << ", " << clip.y << ", " << clip.z << ")";
        }
        EXPECT_GE(inside, 1);
    }
}

} // namespace
