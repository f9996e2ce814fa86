#include "tools/datakit/scene_writer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/base/name_hash.h"
#include "tools/datakit/anm_writer.h"
#include "tools/datakit/map_writer.h"
#include "tools/datakit/mdl_writer.h"
#include "tools/datakit/world_track.h"
#include "tools/datakit/world_track_parts.h"

namespace datakit {

namespace {

// A 16 x 16 picture of a base colour with a pattern of a second colour
// (0 plain, 1 a band across, 2 bricks), a little shaded by texel.
world::Picture pattern_picture(const char* name, std::uint32_t base, std::uint32_t second, int pattern)
{
    world::Picture p;
    p.name = name;
    p.width = p.height = 16;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            bool mark = false;
            if (pattern == 1)
                mark = y >= 6 && y < 10;
            else if (pattern == 2)
                mark = (y % 4) == 3 || ((x + ((y / 4) % 2) * 4) % 8) == 0;
            const std::uint32_t c = mark ? second : base;
            const double f = 0.9 + 0.1 * world::noise(x, y, 7);
            auto ch = [&](int shift) {
                return static_cast<std::uint32_t>(static_cast<double>((c >> shift) & 255u) * f) << shift;
            };
            p.argb.push_back(0xFF000000u | ch(16) | ch(8) | ch(0));
        }
    return p;
}

// A map object's model: an empty root at its place holding one box.
mdl_model map_model(const char* name, vec4 place, float radius, vec4 half, std::uint32_t root_flags = 1)
{
    mdl_model m;
    m.name = name;
    mdl_level l;
    l.name = name;
    mdl_object root = mdl_empty_object(name, 0, -1, -1, 1, 0);
    root.radius = radius;
    root.position = place;
    root.node_flags = root_flags;
    mdl_object box = mdl_box_object((std::string(name) + "_BOX").c_str(), half, "STONE");
    box.id = 1;
    box.parent = 0;
    box.position = {0.0f, half.y, 0.0f, 1.0f};
    // Hit tests find the box's +x wall.
    box.has_hit_mesh = true;
    const vec4 out{1.0f, 0.0f, 0.0f, 0.0f};
    box.hit_mesh.vertices = {mdl_make_vertex({half.x, -half.y, -half.z, 1.0f}, out, 0.0f, 0.0f),
                             mdl_make_vertex({half.x, -half.y, half.z, 1.0f}, out, 1.0f, 0.0f),
                             mdl_make_vertex({half.x, half.y, half.z, 1.0f}, out, 1.0f, 1.0f),
                             mdl_make_vertex({half.x, half.y, -half.z, 1.0f}, out, 0.0f, 1.0f)};
    box.hit_mesh.faces = {mdl_make_face(0, {0, 1, 2, 3}, out)};
    l.objects = {root, box};
    m.levels = {l};
    return m;
}

void place_item(map_grid& grid, const char* name, float x, float z)
{
    map_item item;
    std::strncpy(item.name, name, sizeof item.name - 1);
    grid.insert(item, x, 1.0f, z, 0);
}

} // namespace

void build_demo_scene(SceneLibraries& scene)
{
    const std::vector<world::Picture> pictures = {
        pattern_picture("BIKE_PAINT_PIC", 0xC82020, 0xF0F0F0, 1),
        pattern_picture("TYRE_PIC", 0x202020, 0x383838, 1),
        pattern_picture("LEATHER_PIC", 0x181818, 0xC02020, 1),
        pattern_picture("STONE_PIC", 0xA09080, 0x605850, 2),
    };
    std::vector<world::MaterialSpec> specs;
    for (const char* name : {"BIKE_PAINT", "TYRE", "LEATHER", "STONE"})
        specs.push_back({name, {std::string(name) + "_PIC"}});
    scene.materials = world::material_library(specs, pictures, false);
    scene.materials8 = world::material_library(specs, pictures, true);
    scene.palette = world::track_palette();

    scene.models = demo_bike_mdl();
    scene.models.push_back(map_model("HUT_A", {-80.0f, 0.0f, -80.0f, 1.0f}, 8.0f, {4.0f, 3.0f, 4.0f, 0.0f}));
    scene.models.push_back(map_model("FLAGPOLE", {-60.0f, 0.0f, -70.0f, 1.0f}, 5.0f, {0.2f, 5.0f, 0.2f, 0.0f},
                                     1u | 0x8000u));
    scene.models.push_back(map_model("HUT_B", {20.0f, 0.0f, -80.0f, 1.0f}, 8.0f, {4.0f, 3.0f, 4.0f, 0.0f}));
    scene.models.push_back(map_model("LAMP", {70.0f, 0.0f, 60.0f, 1.0f}, 3.0f, {0.3f, 3.0f, 0.3f, 0.0f}));

    // The huts, the flagpole and the lamp draw with the light stored in
    // their vertices: the sun of the kit's track scenes, baked in.
    {
        std::vector<mdl_model> placed(scene.models.end() - 4, scene.models.end());
        const float x = 1000.0f, y = 2000.0f, z = 500.0f, l = std::sqrt(x * x + y * y + z * z);
        mdl_bake_light(placed, {x / l, y / l, z / l, 0.0f}, kBakedAmbient, kBakedDiffuse);
        std::copy(placed.begin(), placed.end(), scene.models.end() - 4);
    }

    anm_animation lamp;
    lamp.name = "LAMP";
    anm_object lamp_object;
    lamp_object.name = "LAMP";
    lamp.objects.push_back(lamp_object);
    anm_light light;
    light.type = 1;
    light.name = "LAMP_LIGHT";
    light.name_hash = name_hash("LAMP_LIGHT");
    light.position = {70.0f, 6.0f, 60.0f, 1.0f};
    light.world_position = light.position;
    light.colour[0] = light.colour[1] = light.colour[2] = 0.5f;
    light.range = 30.0f;
    lamp.lights.push_back(light);
    scene.animations = {lamp};

    map_grid& grid = scene.grid;
    grid.init_counts({-100.0f, 0.0f, -100.0f, 0.0f}, {100.0f, 50.0f, 100.0f, 0.0f}, 4, 1, 4);
    place_item(grid, "HUT_A", -80.0f, -80.0f);
    place_item(grid, "FLAGPOLE", -60.0f, -70.0f);
    place_item(grid, "HUT_B", 20.0f, -80.0f);
    place_item(grid, "LAMP", 70.0f, 60.0f);
    place_item(grid, "GHOST", -80.0f, 70.0f);
    struct seen_from {
        std::int32_t row, column;
        std::vector<map_cell_ref> seen;
    };
    const seen_from table[] = {
        {0, 0, {{0, 0, 0}, {0, 0, 2}}},
        {0, 2, {{0, 0, 2}, {0, 0, 0}, {0, 3, 3}}},
        {3, 3, {{0, 3, 3}, {0, 0, 2}}},
        {3, 0, {{0, 3, 0}}},
    };
    for (const seen_from& s : table) {
        map_cell* cell = grid.lookup(0, s.row, s.column);
        if (!cell)
            continue;
        map_grid::set_visible_count(*cell, s.seen.size());
        for (std::size_t i = 0; i < s.seen.size(); ++i)
            grid.set_visible_entry(*cell, i, s.seen[i].level, s.seen[i].row, s.seen[i].column);
    }
}

bool write_scene(const std::filesystem::path& folder, const std::string& name, const SceneLibraries& scene,
                 std::string& error)
{
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        error = "cannot create " + folder.string() + ": " + ec.message();
        return false;
    }
    return write_mtt(folder / (name + ".MTT"), scene.materials, error) &&
           write_mtt(folder / (name + ".MTP"), scene.materials8, error) &&
           write_palette(folder / (name + ".pal"), scene.palette, error) &&
           write_anm(folder / (name + ".ANM"), scene.animations, error) &&
           write_mdl(folder / (name + ".MDL"), scene.models, error) &&
           write_map(folder / (name + ".MAP"), scene.grid, error);
}

} // namespace datakit
