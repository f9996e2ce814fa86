#include "tools/datakit/demo_podium.h"

#include <cmath>
#include <cstring>

#include "engine/model/anm_format.h"
#include "tools/datakit/mdl_writer.h"
#include "tools/datakit/world_track.h"
#include "tools/datakit/world_track_parts.h"

namespace datakit {

namespace {

// Where the scene stands: the camera looks from (-1, 1, 6) down -z.
constexpr float kCentreX = -1.0f;
// The steps: the winner's in the middle, the second's to the left, the
// third's to the right, and how high each is.
constexpr float kStepX[3] = {kCentreX, kCentreX - 1.3f, kCentreX + 1.3f};
constexpr float kStepHeight[3] = {0.6f, 0.4f, 0.25f};
constexpr float kStepHalfWidth = 0.6f;
constexpr float kStepHalfDepth = 0.5f;
constexpr const char* kWinnerModels[3] = {"AXX_WINNER", "AXX_2ND", "AXX_3RD"};
// How far below its step a winner starts when it rises onto it.
constexpr float kRise = 0.9f;
// The liveries: the makers' colours, then the team colours of the bike
// variants 0.25, 0.5 and 0.75 (frame trunc((set - 0.001) x 5)).
constexpr std::uint32_t kLiveries[5] = {0xD02828, 0x2850D8, 0xE8C020, 0x28A848, 0xE0E0E0};

std::uint32_t shade(std::uint32_t c, double f)
{
    auto ch = [&](int shift) {
        const double v = static_cast<double>((c >> shift) & 255u) * f;
        return static_cast<std::uint32_t>(v > 255.0 ? 255.0 : v) << shift;
    };
    return 0xFF000000u | ch(16) | ch(8) | ch(0);
}

world::Picture flat_picture(const std::string& name, std::uint32_t colour, std::uint32_t stripe)
{
    world::Picture p;
    p.name = name;
    p.width = p.height = 16;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const bool band = stripe != colour && (y == 7 || y == 8);
            p.argb.push_back(shade(band ? stripe : colour, 0.92 + 0.08 * world::noise(x, y, 11)));
        }
    return p;
}

// A backdrop that darkens toward its top.
world::Picture backdrop_picture(std::uint32_t colour)
{
    world::Picture p;
    p.name = "NEWSET_PIC";
    p.width = p.height = 16;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            p.argb.push_back(shade(colour, 0.35 + 0.045 * y + 0.05 * world::noise(x, y, 3)));
    return p;
}

mdl_object box_at(const char* name, std::uint32_t id, std::int32_t sibling, vec4 half, vec4 at, const char* material)
{
    mdl_object box = mdl_box_object(name, half, material);
    box.id = id;
    box.parent = 0;
    box.sibling = sibling;
    box.position = at;
    return box;
}

// A model of an empty root at `place` and boxes under it.
mdl_model boxes_model(const char* name, vec4 place, float radius, std::vector<mdl_object> boxes)
{
    mdl_object root = mdl_empty_object(name, 0, -1, -1, boxes.empty() ? -1 : 1, 0);
    root.radius = radius;
    root.position = place;
    root.node_flags = 1;
    std::vector<mdl_object> objects = {root};
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        boxes[i].id = static_cast<std::uint32_t>(i + 1);
        boxes[i].sibling = i + 1 < boxes.size() ? static_cast<std::int32_t>(i + 2) : -1;
        objects.push_back(boxes[i]);
    }
    return mdl_single_level(name, objects);
}

// A winner: a bike (body, wheels) with its rider sitting up, in the
// livery material, facing the camera a little turned.
mdl_model winner_model(int place)
{
    const vec4 at{kStepX[place], kStepHeight[place], 0.0f, 1.0f};
    return boxes_model(kWinnerModels[place], at, 1.2f,
                       {box_at("BIKE", 0, 0, {0.12f, 0.18f, 0.45f, 0.0f}, {0.0f, 0.38f, 0.0f, 1.0f}, "LIVERY"),
                        box_at("FRONT", 0, 0, {0.05f, 0.2f, 0.2f, 0.0f}, {0.0f, 0.2f, 0.42f, 1.0f}, "TYRE"),
                        box_at("REAR", 0, 0, {0.05f, 0.2f, 0.2f, 0.0f}, {0.0f, 0.2f, -0.42f, 1.0f}, "TYRE"),
                        box_at("RIDER", 0, 0, {0.16f, 0.28f, 0.12f, 0.0f}, {0.0f, 0.85f, -0.1f, 1.0f}, "LIVERY"),
                        box_at("HELMET", 0, 0, {0.11f, 0.11f, 0.11f, 0.0f}, {0.0f, 1.25f, -0.08f, 1.0f}, "LIVERY")});
}

mdl_model podium_model(int lit_place)
{
    std::vector<mdl_object> steps;
    const char* names[3] = {"STEP1", "STEP2", "STEP3"};
    for (int p = 0; p < 3; ++p) {
        const float h = kStepHeight[p] * 0.5f;
        steps.push_back(box_at(names[p], 0, 0, {kStepHalfWidth, h, kStepHalfDepth, 0.0f},
                               {kStepX[p] - kCentreX, h, 0.0f, 1.0f}, p == lit_place ? "STEP_LIT" : "STEP"));
    }
    return boxes_model("PODIUM", {kCentreX, 0.0f, 0.0f, 1.0f}, 2.5f, steps);
}

mdl_model backdrop_model()
{
    return boxes_model("newset", {kCentreX, 0.0f, -2.5f, 1.0f}, 8.0f,
                       {box_at("FLOOR", 0, 0, {6.0f, 0.05f, 4.0f, 0.0f}, {0.0f, -0.05f, 2.0f, 1.0f}, "STEP"),
                        box_at("WALL", 0, 0, {6.0f, 4.0f, 0.1f, 0.0f}, {0.0f, 3.0f, 0.0f, 1.0f}, "NEWSET")});
}

anm_curve keyed(std::uint32_t param, std::vector<anm_key> keys)
{
    anm_curve c;
    c.name = "PODIUM";
    c.param = param;
    c.interp = 2;
    c.keys = std::move(keys);
    return c;
}

// A winner's animation over the scene's time: its root's height (and, at
// the end of a season, its turn about y, in degrees).
anm_animation winner_animation(int place, int variant)
{
    anm_animation a;
    a.name = kWinnerModels[place];
    anm_object root;
    root.name = kWinnerModels[place];
    const float h = kStepHeight[place];
    // The winners come up one after the other: third, second, first.
    const float start = 0.1f * static_cast<float>(2 - place);
    std::vector<anm_key> y;
    if (variant == 1) {
        y = {{0.0f, h}, {0.3f + start, h}, {0.4f + start, h + 0.35f}, {0.5f + start, h}, {0.6f + start, h + 0.2f},
             {0.7f + start, h}, {1.0f, h}};
    } else {
        y = {{0.0f, h - kRise}, {start, h - kRise}, {start + 0.35f, h}, {1.0f, h}};
    }
    root.curves.push_back(keyed(anm::param_translate_x, {{0.0f, kStepX[place]}, {1.0f, kStepX[place]}}));
    root.curves.push_back(keyed(anm::param_translate_y, std::move(y)));
    root.curves.push_back(keyed(anm::param_translate_z, {{0.0f, 0.0f}, {1.0f, 0.0f}}));
    if (variant == 2)
        root.curves.push_back(keyed(anm::param_rotate_y, {{0.0f, -30.0f}, {start + 0.35f, -30.0f}, {1.0f, 330.0f}}));
    else
        root.curves.push_back(keyed(anm::param_rotate_y, {{0.0f, -30.0f}, {1.0f, -30.0f}}));
    a.objects.push_back(std::move(root));
    return a;
}

// A model that stands still still has an animation of its own name.
anm_animation still_animation(const char* name)
{
    anm_animation a;
    a.name = name;
    anm_object o;
    o.name = name;
    a.objects.push_back(o);
    return a;
}

void place_item(map_grid& grid, const char* name, float x, float z)
{
    map_item item;
    std::strncpy(item.name, name, sizeof item.name - 1);
    grid.insert(item, x, 1.0f, z, 0);
}

} // namespace

std::string demo_podium_scene_name(int kind, int place, int variant)
{
    static const char* const variants[3] = {"", "a", "c"};
    return std::string(kind == 0 ? "a" : "s") + variants[variant] + std::to_string(place + 1);
}

SceneLibraries demo_podium_scene(int kind, int place, int variant)
{
    SceneLibraries scene;
    std::vector<world::Picture> pictures = {
        flat_picture("STEP_PIC", 0xC8C8C0, 0xC8C8C0),
        flat_picture("STEP_LIT_PIC", 0xF0D040, 0xFFFFFF),
        flat_picture("TYRE_PIC", 0x202020, 0x303030),
        backdrop_picture(kind == 0 ? 0x3060D0 : 0xC03028),
    };
    std::vector<std::string> livery_frames;
    for (int f = 0; f < 5; ++f) {
        const std::string name = "LIVERY" + std::to_string(f) + "_PIC";
        pictures.push_back(flat_picture(name, kLiveries[f], 0xF8F8F8));
        livery_frames.push_back(name);
    }
    const std::vector<world::MaterialSpec> specs = {
        {"STEP", {"STEP_PIC"}},   {"STEP_LIT", {"STEP_LIT_PIC"}}, {"TYRE", {"TYRE_PIC"}},
        {"NEWSET", {"NEWSET_PIC"}}, {"LIVERY", livery_frames},
    };
    scene.materials = world::material_library(specs, pictures, false);
    scene.materials8 = world::material_library(specs, pictures, true);
    scene.palette = world::track_palette();

    scene.models = {backdrop_model(), podium_model(place)};
    for (int p = 0; p < 3; ++p)
        scene.models.push_back(winner_model(p));
    // Every model draws with a light stored in its vertices: from the
    // camera's side, above and to the right.
    const float x = 0.4f, y = 0.8f, z = 0.6f, l = std::sqrt(x * x + y * y + z * z);
    mdl_bake_light(scene.models, {x / l, y / l, z / l, 0.0f}, kBakedAmbient, kBakedDiffuse);

    scene.animations = {still_animation("newset"), still_animation("PODIUM")};
    for (int p = 0; p < 3; ++p)
        scene.animations.push_back(winner_animation(p, variant));

    // One cell round the whole set, seeing itself.
    map_grid& grid = scene.grid;
    grid.init_counts({-10.0f, -2.0f, -10.0f, 0.0f}, {10.0f, 10.0f, 10.0f, 0.0f}, 1, 1, 1);
    for (const char* name : {"newset", "PODIUM", "AXX_WINNER", "AXX_2ND", "AXX_3RD"})
        place_item(grid, name, kCentreX, 0.0f);
    if (map_cell* cell = grid.lookup(0, 0, 0)) {
        map_grid::set_visible_count(*cell, 1);
        grid.set_visible_entry(*cell, 0, 0, 0, 0);
    }
    return scene;
}

bool write_demo_podium_scenes(const std::filesystem::path& root, std::string& error)
{
    for (int kind = 0; kind < 2; ++kind)
        for (int place = 0; place < 3; ++place)
            for (int variant = 0; variant < 3; ++variant)
                if (!write_scene(root / "menu" / "3d", demo_podium_scene_name(kind, place, variant),
                                 demo_podium_scene(kind, place, variant), error))
                    return false;
    return true;
}

} // namespace datakit
