#include "tools/datakit/scene_writer.h"

#include <cstring>

#include "engine/base/name_hash.h"
#include "tools/datakit/anm_writer.h"
#include "tools/datakit/map_writer.h"
#include "tools/datakit/mdl_writer.h"

namespace datakit {

namespace {

MttPicture plain_picture(const char* name, std::uint8_t seed)
{
    MttPicture p;
    p.name = name;
    p.width = 8;
    p.height = 8;
    p.pixel_bytes = 2;
    for (int i = 0; i < 8 * 8 * 2; ++i)
        p.pixels.push_back(static_cast<std::uint8_t>(seed + i * 5));
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
    scene.materials = {};
    for (const char* name : {"BIKE_PAINT", "TYRE", "LEATHER", "STONE"})
        scene.materials.materials.push_back(mtt_make_material(name, {std::string(name) + "_PIC"}, 1, 8, 8));
    std::uint8_t seed = 3;
    for (const char* name : {"BIKE_PAINT_PIC", "TYRE_PIC", "LEATHER_PIC", "STONE_PIC"})
        scene.materials.pictures.push_back(plain_picture(name, seed += 40));
    mtt_pack_atlas(scene.materials);

    scene.models = demo_bike_mdl();
    scene.models.push_back(map_model("HUT_A", {-80.0f, 0.0f, -80.0f, 1.0f}, 8.0f, {4.0f, 3.0f, 4.0f, 0.0f}));
    scene.models.push_back(map_model("FLAGPOLE", {-60.0f, 0.0f, -70.0f, 1.0f}, 5.0f, {0.2f, 5.0f, 0.2f, 0.0f},
                                     1u | 0x8000u));
    scene.models.push_back(map_model("HUT_B", {20.0f, 0.0f, -80.0f, 1.0f}, 8.0f, {4.0f, 3.0f, 4.0f, 0.0f}));
    scene.models.push_back(map_model("LAMP", {70.0f, 0.0f, 60.0f, 1.0f}, 3.0f, {0.3f, 3.0f, 0.3f, 0.0f}));

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
           write_anm(folder / (name + ".ANM"), scene.animations, error) &&
           write_mdl(folder / (name + ".MDL"), scene.models, error) &&
           write_map(folder / (name + ".MAP"), scene.grid, error);
}

} // namespace datakit
