#include "tools/datakit/world_bikes.h"

#include "engine/model/anm_format.h"
#include "tools/datakit/anm_writer.h"
#include "tools/datakit/mdl_writer.h"
#include "tools/datakit/text_file_builder.h"
#include "tools/datakit/world_bike_anims.h"
#include "tools/datakit/world_bike_cockpit.h"
#include "tools/datakit/world_bike_models.h"

namespace datakit {

namespace {

// A group whose models the race does not animate still gets a library with
// one still animation of its first model, so that every group opens alike.
std::vector<anm_animation> still_animation(const std::string& name, const std::string& object)
{
    anm_curve c;
    c.name = "STILL";
    c.param = anm::param_rotate_y;
    c.interp = 2;
    c.keys = {{0.0f, 0.0f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f, 0.0f}};
    anm_object o;
    o.name = object;
    o.curves.push_back(c);
    anm_animation a;
    a.name = name;
    a.objects.push_back(o);
    return {a};
}

std::vector<WorldMaterial> level_materials(const std::string& group)
{
    if (group == "Bikes")
        return world_bike_materials();
    if (group == "Riders")
        return world_rider_materials();
    if (group == "Shadow")
        return world_shadow_materials();
    if (group == "dynombra")
        return world_effect_materials();
    return world_arch_materials();
}

} // namespace

std::vector<WorldBikeGroup> world_bike_groups()
{
    std::vector<WorldBikeGroup> groups;
    const std::vector<std::string> names = world_bike_names();

    WorldBikeGroup bikes{"Bikes", {}, world_bike_anm(), true};
    for (std::size_t m = 0; m < names.size(); ++m)
        bikes.models.push_back(world_bike_model(static_cast<int>(m)));
    for (std::size_t m = 0; m < names.size(); ++m) {
        bikes.models.push_back(world_cockpit_model(static_cast<int>(m)));
        bikes.models.push_back(world_cockpit_2d_model(static_cast<int>(m)));
    }
    groups.push_back(std::move(bikes));

    groups.push_back({"Riders", {world_rider_model(), world_handlebars_model()}, world_rider_anm(), true});
    groups.push_back({"Shadow", {world_flat_shadow("Shadow"), world_flat_shadow("Shadowp")},
                      still_animation("SHADOW_STILL", "Shadow"), false});

    WorldBikeGroup effects{"dynombra", {}, still_animation("OMBRA_STILL", "AXX_OMBRIDER"), false};
    for (const std::string& n : names)
        effects.models.push_back(world_dynamic_shadow("AXX_OMB" + n, 0.3f, 0.55f, -0.35f, 1.75f, 2, 6));
    effects.models.push_back(world_dynamic_shadow("AXX_OMBRIDER", 0.35f, 1.0f, -0.1f, 1.0f, 2, 4));
    effects.models.push_back(world_skid("Skid"));
    effects.models.push_back(world_skid("Skidp"));
    for (const std::string& n : world_particle_names())
        effects.models.push_back(world_particle(n));
    groups.push_back(std::move(effects));

    groups.push_back({"Arc", {world_practice_arch()}, still_animation("ARC_STILL", "ARCH"), false});

    // Lighting: everything stores full intensity (shadows, marks, smoke,
    // the arch and the 2D cockpits show their textures' own colours); the
    // bikes, their 3D cockpits, the riders and the handlebars move under
    // the sun and are lit each frame by the scene's light.
    for (WorldBikeGroup& g : groups) {
        mdl_bake_light(g.models, {0.0f, 1.0f, 0.0f, 0.0f}, 1.0f, 0.0f);
        if (g.name == "Bikes" || g.name == "Riders")
            for (mdl_model& m : g.models)
                if (m.name.find("2DCOCK") == std::string::npos)
                    mdl_light_lazily(m);
    }
    return groups;
}

bool write_demo_world_bikes(const std::filesystem::path& root, std::string& error)
{
    const std::filesystem::path folder = root / "Gfx" / "Bikes";
    if (!create_folders(folder, error))
        return false;
    for (const WorldBikeGroup& g : world_bike_groups()) {
        const std::filesystem::path base = folder / g.name;
        std::filesystem::path mdl = base, anm = base;
        mdl += ".mdl";
        anm += ".anm";
        if (!write_mdl(mdl, g.models, error) || !write_anm(anm, g.animations, error) ||
            !write_world_materials(base, ".mtt", ".mtp", level_materials(g.name), error))
            return false;
        if (g.detail_materials) {
            const std::vector<WorldMaterial> detail =
                g.name == "Bikes" ? world_bike_detail_materials() : world_rider_detail_materials();
            if (!write_world_materials(base, ".mlt", ".mlp", detail, error))
                return false;
        }
    }
    return write_world_cockpits(root, error);
}

} // namespace datakit
