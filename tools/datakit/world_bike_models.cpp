#include "tools/datakit/world_bike_models.h"

#include <cctype>
#include <cmath>

#include "tools/datakit/bike_data_writer.h"
#include "tools/datakit/world_bike_mesh.h"

namespace datakit {

namespace {

vec4 pt(float x, float y, float z) { return {x, y, z, 1.0f}; }
vec4 half(float x, float y, float z) { return {x, y, z, 0.0f}; }

std::string upper(const std::string& s) { return world_material_key(s); }

// What makes each manufacturer's bike look its own.
struct BikeLook {
    std::uint32_t base;      // livery colours of the five variants
    std::uint32_t accent;
    int nose;                // 0 pointed wedge, 1 round, 2 tall screen, 3 long and low, 4 half fairing and lamp
    float tail_rise;         // how high the tail sweeps up
    int exhaust;             // 0 low right, 1 under the seat (twin), 2 high both sides, 3 low left, 4 short right
};

const BikeLook kLooks[kDemoBikeModels] = {
    {0xC01818, 0xF0F0F0, 0, 0.10f, 0},
    {0x189830, 0x101010, 1, 0.14f, 1},
    {0x1838C0, 0xF0D020, 2, 0.06f, 2},
    {0xE0C010, 0x2050D0, 3, 0.02f, 3},
    {0x707880, 0xE06010, 4, 0.12f, 4},
};

// The five variants' accents: the maker's own, then team colours.
const std::uint32_t kTeamColours[5] = {0, 0x2040E0, 0x10A0A0, 0xE02090, 0xF0F0F0};

// Sides of round parts by detail level.
int wheel_sides(int level) { return level == 0 ? 12 : (level == 1 ? 8 : 6); }

struct BikeGeometry {
    float wheelbase, front_radius, rear_radius, rake, fork_length;
    vec4 steering_head;      // FRONT_PIVOT
    vec4 swing_pivot;        // REAR_PIVOT
};

BikeGeometry bike_geometry(int model)
{
    const BikeFileSpec spec = demo_bike(model);
    BikeGeometry g{};
    g.wheelbase = spec.wheelbase;
    g.front_radius = spec.front.length_factor;
    g.rear_radius = spec.rear.length_factor;
    g.rake = spec.front.rake;
    g.fork_length = 0.62f;
    g.steering_head = pt(0.0f, g.front_radius + g.fork_length * std::cos(g.rake),
                         g.wheelbase - g.fork_length * std::sin(g.rake));
    g.swing_pivot = pt(0.0f, 0.42f, 0.52f);
    return g;
}

void add_nose(WorldMesh& m, const BikeLook& look, int level, float nose_z, std::uint32_t paint, std::uint32_t trim);
void add_exhaust(WorldMesh& m, const BikeLook& look, int sides, std::uint32_t exhaust);

mdl_object bike_body(int model, int level, const BikeGeometry& g)
{
    const BikeLook& look = kLooks[model];
    const std::string name = upper(world_bike_names()[static_cast<std::size_t>(model)]);
    const bool detailed = level < 2;
    WorldMesh m;
    const std::uint32_t paint = m.material(name + (detailed ? "_PAINT" : "_PAINT_L"));
    const std::uint32_t dark = m.material(detailed ? "ENGINE" : "DARK_L");
    const float w = g.wheelbase;
    if (level == 3) { // far: one block of paint over a dark one
        m.tapered_box(pt(0, 0.6f, w * 0.5f), half(0.18f, 0.3f, w * 0.38f), 0.8f, 0.9f, paint);
        m.box(pt(0, 0.3f, w * 0.5f), half(0.15f, 0.12f, w * 0.2f), dark);
        return m.object("BODY");
    }
    const std::uint32_t seat = detailed ? m.material("SEAT") : dark;
    const std::uint32_t exhaust = m.material(detailed ? "EXHAUST" : "CHROME_L");
    // Engine and frame.
    m.box(pt(0, 0.42f, w * 0.55f), half(0.17f, 0.16f, 0.2f), dark);
    if (level == 0)
        for (float side : {-0.12f, 0.12f})
            m.tube(pt(side, g.steering_head.y - 0.05f, g.steering_head.z - 0.05f),
                   pt(side, g.swing_pivot.y + 0.05f, g.swing_pivot.z), 0.025f, 6, m.material("FRAME"));
    // Tank, seat and tail.
    m.tapered_box(pt(0, 0.9f, w * 0.58f), half(0.17f, 0.1f, 0.2f), 0.7f, 0.8f, paint);
    m.box(pt(0, 0.82f, 0.42f), half(0.12f, 0.04f, 0.15f), seat);
    m.tapered_box(pt(0, 0.86f + look.tail_rise, 0.16f), half(0.12f, 0.07f + look.tail_rise * 0.5f, 0.18f), 0.6f,
                  0.9f, paint);
    // Fairing sides and belly pan.
    const float nose_z = w * 0.72f;
    m.tapered_box(pt(0, 0.62f, nose_z), half(0.22f, 0.24f, 0.26f), 0.8f, 0.75f, paint);
    if (look.nose != 4 && detailed)
        m.tapered_box(pt(0, 0.32f, w * 0.56f), half(0.17f, 0.07f, 0.3f), 1.2f, 1.0f, paint);
    const std::uint32_t trim = m.material(detailed ? name + "_TRIM" : "DARK_L");
    if (detailed)
        add_nose(m, look, level, nose_z, paint, trim);
    if (detailed) {
        const float screen_top = look.nose == 2 ? 1.12f : 1.0f;
        const std::uint32_t glass = m.material("SCREEN");
        m.quad(pt(-0.15f, 0.84f, nose_z + 0.3f), pt(0.15f, 0.84f, nose_z + 0.3f), pt(0.12f, screen_top, nose_z + 0.12f),
               pt(-0.12f, screen_top, nose_z + 0.12f), glass);
    }
    add_exhaust(m, look, detailed ? 8 : 4, exhaust);
    return m.object("BODY");
}

// The nose of the fairing and the lamps.
void add_nose(WorldMesh& m, const BikeLook& look, int level, float nose_z, std::uint32_t paint, std::uint32_t trim)
{
    switch (look.nose) {
    case 0:
        m.tapered_box(pt(0, 0.74f, nose_z + 0.3f), half(0.18f, 0.12f, 0.08f), 0.4f, 0.3f, paint);
        break;
    case 1:
        if (level == 0)
            m.ellipsoid(pt(0, 0.72f, nose_z + 0.26f), half(0.2f, 0.16f, 0.12f), 6, 4, paint);
        else
            m.box(pt(0, 0.72f, nose_z + 0.26f), half(0.18f, 0.14f, 0.1f), paint);
        break;
    case 2:
        m.tapered_box(pt(0, 0.78f, nose_z + 0.24f), half(0.2f, 0.16f, 0.08f), 0.8f, 0.5f, paint);
        break;
    case 3:
        m.tapered_box(pt(0, 0.66f, nose_z + 0.3f), half(0.2f, 0.1f, 0.12f), 0.6f, 0.4f, paint);
        break;
    default:
        if (level == 0)
            m.ellipsoid(pt(0, 0.78f, nose_z + 0.3f), half(0.1f, 0.1f, 0.06f), 6, 4, trim);
        else
            m.box(pt(0, 0.78f, nose_z + 0.3f), half(0.09f, 0.09f, 0.05f), trim);
        break;
    }
    m.box(pt(0, 0.7f, nose_z + 0.37f), half(0.09f, 0.035f, 0.01f), trim); // lamps
}

void add_exhaust(WorldMesh& m, const BikeLook& look, int sides, std::uint32_t exhaust)
{
    switch (look.exhaust) {
    case 0:
        m.tube(pt(0.16f, 0.32f, 0.55f), pt(0.2f, 0.45f, -0.1f), 0.06f, sides, exhaust);
        break;
    case 1:
        for (float side : {-0.07f, 0.07f})
            m.tube(pt(side, 0.84f, 0.2f), pt(side, 0.9f, -0.12f), 0.045f, sides, exhaust);
        break;
    case 2:
        for (float side : {-0.17f, 0.17f})
            m.tube(pt(side, 0.55f, 0.45f), pt(side, 0.8f, -0.05f), 0.05f, sides, exhaust);
        break;
    case 3:
        m.tube(pt(-0.16f, 0.3f, 0.6f), pt(-0.2f, 0.38f, -0.05f), 0.06f, sides, exhaust);
        break;
    default:
        m.tube(pt(0.16f, 0.3f, 0.55f), pt(0.18f, 0.36f, 0.25f), 0.075f, sides, exhaust);
        break;
    }
}

mdl_object upper_fork(int level, const BikeGeometry& g)
{
    WorldMesh m;
    if (level < 2)
        for (float side : {-0.1f, 0.1f})
            m.tube(pt(side, 0.05f, 0), pt(side, -0.3f, 0), 0.028f, level == 0 ? 6 : 4, m.material("CHROME"));
    m.box(pt(0, 0.05f, 0), half(0.13f, 0.02f, 0.04f), m.material(level < 2 ? "FRAME" : "DARK_L"));
    // The far level keeps the node, empty.
    mdl_object o = level < 3 ? m.object("FRONT_PIVOT") : world_empty("FRONT_PIVOT", {});
    o.position = g.steering_head;
    o.angles = {-g.rake, 0.0f, 0.0f, 0.0f};
    return o;
}

mdl_object fork_sliders(int level, const BikeGeometry& g, const std::string& paint)
{
    WorldMesh m;
    if (level < 2)
        for (float side : {-0.1f, 0.1f})
            m.tube(pt(side, 0.32f, 0), pt(side, 0.0f, 0), 0.036f, level == 0 ? 6 : 4, m.material("FRAME"));
    // The mudguard over the tyre.
    m.tapered_box(pt(0, g.front_radius + 0.04f, 0.0f), half(0.07f, 0.02f, 0.2f), 1.0f, 0.8f, m.material(paint));
    mdl_object o = level < 3 ? m.object("FRONT_SUSP") : world_empty("FRONT_SUSP", {});
    o.position = pt(0, -g.fork_length, 0);
    return o;
}

mdl_object wheel(const char* name, int level, float radius, float width)
{
    WorldMesh m;
    const bool detailed = level < 2;
    const std::uint32_t tyre = m.material(detailed ? "TYRE" : "TYRE_L");
    if (level == 3) {
        m.box(pt(0, 0, 0), half(width, radius, radius), tyre);
        return m.object(name);
    }
    const std::uint32_t rim = m.material(detailed ? "RIM" : "DARK_L");
    m.cylinder_x(pt(0, 0, 0), radius, width, wheel_sides(level), tyre, rim);
    return m.object(name);
}

mdl_object swing_arm(int level, const BikeGeometry& g)
{
    WorldMesh m;
    const std::uint32_t metal = m.material(level < 2 ? "FRAME" : "DARK_L");
    const float dz = -g.swing_pivot.z, dy = g.rear_radius - g.swing_pivot.y;
    if (level < 2)
        for (float side : {-0.11f, 0.11f})
            m.tube(pt(side, 0, 0), pt(side, dy, dz), 0.035f, level == 0 ? 6 : 4, metal);
    else
        m.box(pt(0, dy * 0.5f, dz * 0.5f), half(0.12f, 0.04f, -dz * 0.5f), metal);
    mdl_object o = level < 3 ? m.object("REAR_PIVOT") : world_empty("REAR_PIVOT", {});
    o.position = g.swing_pivot;
    return o;
}

mdl_level bike_level(int model, int level)
{
    const BikeGeometry g = bike_geometry(model);
    const std::string name = "AXX_" + world_bike_names()[static_cast<std::size_t>(model)];
    const std::string paint = upper(world_bike_names()[static_cast<std::size_t>(model)]) + (level < 2 ? "_PAINT" : "_PAINT_L");
    mdl_level l;
    l.name = level == 0 ? name : name + "_L" + std::to_string(level);
    mdl_object front_wheel = wheel("FRONT_WHEEL", level, g.front_radius, 0.06f);
    mdl_object rear_wheel = wheel("REAR_WHEEL", level, g.rear_radius, 0.09f);
    rear_wheel.position = pt(0, g.rear_radius - g.swing_pivot.y, -g.swing_pivot.z);
    mdl_object root = world_empty(name, pt(0, 0, 0));
    root.radius = g.wheelbase * 0.5f + 0.8f;
    // 0 root, 1 CHASSIS, 2 BODY, 3 FRONT_PIVOT, 4 FRONT_SUSP, 5 FRONT_WHEEL, 6 REAR_PIVOT, 7 REAR_WHEEL
    l.objects = {root,
                 world_empty("CHASSIS", pt(0, 0, 0)),
                 bike_body(model, level, g),
                 upper_fork(level, g),
                 fork_sliders(level, g, paint),
                 front_wheel,
                 swing_arm(level, g),
                 rear_wheel};
    world_link(l.objects, {-1, 0, 1, 1, 3, 4, 1, 6});
    return l;
}

// The rider's parts: name, parent, local position, and the solid.
mdl_level rider_level(int level)
{
    const bool detailed = level < 2;
    const std::string leather = detailed ? "LEATHER" : "LEATHER_L";
    const std::string helmet_material = detailed ? "HELMET" : "HELMET_L";
    const std::string dark = detailed ? "BOOT" : "DARK_L";
    const int limb_sides = level == 0 ? 6 : (level == 1 ? 4 : 3);
    mdl_level l;
    l.name = level == 0 ? "AXX_RIDER" : "AXX_RIDER_L" + std::to_string(level);

    auto limb = [&](const char* name, vec4 at, float length, float radius, const std::string& material,
                    const std::string& end_material) {
        WorldMesh m;
        m.tube(pt(0, 0, 0), pt(0, -length, 0), radius, limb_sides, m.material(material));
        if (!end_material.empty() && level == 0)
            m.box(pt(0, -length - 0.03f, 0.04f), half(radius, 0.04f, radius + 0.04f), m.material(end_material));
        mdl_object o = m.object(name);
        o.position = at;
        return o;
    };
    WorldMesh pelvis;
    pelvis.box(pt(0, 0, 0), half(0.17f, 0.09f, 0.12f), pelvis.material(leather));
    mdl_object pelvis_o = pelvis.object("PELVIS");
    pelvis_o.position = pt(0, 0.86f, 0.48f);

    WorldMesh torso;
    torso.tapered_box(pt(0, 0.3f, 0), half(0.17f, 0.3f, 0.12f), 1.25f, 1.0f, torso.material(leather));
    if (level == 0) // the hump behind the neck
        torso.box(pt(0, 0.5f, -0.12f), half(0.08f, 0.08f, 0.05f), torso.material(leather));
    mdl_object torso_o = torso.object("TORSO");
    torso_o.position = pt(0, 0.08f, 0);

    WorldMesh head;
    if (level == 0) {
        head.ellipsoid(pt(0, 0.14f, 0.01f), half(0.14f, 0.15f, 0.16f), 8, 5, head.material(helmet_material));
        head.quad(pt(-0.1f, 0.1f, 0.16f), pt(0.1f, 0.1f, 0.16f), pt(0.09f, 0.19f, 0.13f), pt(-0.09f, 0.19f, 0.13f),
                  head.material("VISOR"));
    } else {
        head.box(pt(0, 0.14f, 0), half(0.13f, 0.14f, 0.15f), head.material(helmet_material));
    }
    mdl_object head_o = head.object("jnthead");
    head_o.position = pt(0, 0.6f, 0);

    l.objects = {world_empty("AXX_RIDER", pt(0, 0, 0)),
                 pelvis_o,
                 torso_o,
                 head_o,
                 world_empty("VISTA", pt(0, 0.15f, 0.12f)),
                 limb("ARM_L", pt(-0.22f, 0.55f, 0), 0.3f, 0.05f, leather, ""),
                 limb("FOREARM_L", pt(0, -0.3f, 0), 0.28f, 0.045f, leather, detailed ? "GLOVE" : ""),
                 limb("ARM_R", pt(0.22f, 0.55f, 0), 0.3f, 0.05f, leather, ""),
                 limb("FOREARM_R", pt(0, -0.3f, 0), 0.28f, 0.045f, leather, detailed ? "GLOVE" : ""),
                 limb("THIGH_L", pt(-0.11f, -0.02f, 0), 0.42f, 0.07f, leather, ""),
                 limb("SHIN_L", pt(0, -0.42f, 0), 0.42f, 0.055f, leather, dark),
                 limb("THIGH_R", pt(0.11f, -0.02f, 0), 0.42f, 0.07f, leather, ""),
                 limb("SHIN_R", pt(0, -0.42f, 0), 0.42f, 0.055f, leather, dark)};
    l.objects[0].radius = 1.3f;
    world_link(l.objects, {-1, 0, 1, 2, 3, 2, 5, 2, 7, 1, 9, 1, 11});
    return l;
}

mdl_model single_level(const std::string& name, std::vector<mdl_object> objects, std::vector<int> parents)
{
    mdl_model model;
    model.name = name;
    mdl_level l;
    l.name = name;
    l.objects = std::move(objects);
    world_link(l.objects, parents);
    model.levels.push_back(std::move(l));
    return model;
}

std::vector<WorldPicture> variants(const std::string& name, int size, std::uint32_t base, std::uint32_t accent)
{
    std::vector<WorldPicture> out;
    for (int v = 0; v < 5; ++v)
        out.push_back(world_livery(name + std::to_string(v), size, v == 4 && base == 0xF0F0F0 ? 0x202020 : base,
                                   v == 0 ? accent : kTeamColours[v]));
    return out;
}

} // namespace

std::string world_material_key(const std::string& model_name)
{
    std::string key = model_name;
    for (char& c : key)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return key;
}

std::vector<std::string> world_bike_names()
{
    std::vector<std::string> names;
    for (const ManufacturerSpec& m : demo_manufacturers())
        names.push_back(m.model_name);
    return names;
}

mdl_model world_bike_model(int model)
{
    mdl_model out;
    out.name = "AXX_" + world_bike_names()[static_cast<std::size_t>(model)];
    for (int level = 0; level < kWorldBikeLevels; ++level)
        out.levels.push_back(bike_level(model, level));
    return out;
}

mdl_model world_rider_model()
{
    mdl_model out;
    out.name = "AXX_RIDER";
    for (int level = 0; level < kWorldRiderLevels; ++level)
        out.levels.push_back(rider_level(level));
    return out;
}

mdl_model world_handlebars_model()
{
    WorldMesh bars;
    for (float side : {-1.0f, 1.0f}) {
        bars.tube(pt(side * 0.1f, 0, 0), pt(side * 0.3f, -0.04f, -0.06f), 0.018f, 6, bars.material("BARS"));
        bars.tube(pt(side * 0.22f, -0.025f, -0.04f), pt(side * 0.33f, -0.045f, -0.07f), 0.022f, 6, bars.material("GRIP"));
    }
    bars.box(pt(0, 0.02f, 0.02f), half(0.14f, 0.015f, 0.05f), bars.material("BARS"));
    mdl_object bars_o = bars.object("BARS");
    bars_o.position = pt(0, 0.95f, 1.05f);
    mdl_object root = world_empty("HANDLEBARS", pt(0, 0, 0));
    root.radius = 1.6f;
    return single_level("HANDLEBARS", {root, bars_o, world_empty("Head", pt(0, 1.32f, 0.62f))}, {-1, 0, 0});
}

mdl_model world_cockpit_model(int model)
{
    const std::string name = world_bike_names()[static_cast<std::size_t>(model)];
    const std::string key = upper(name);
    WorldMesh dash;
    const std::uint32_t panel = dash.material("DASH");
    dash.tapered_box(pt(0, 0.98f, 1.12f), half(0.16f, 0.06f, 0.05f), 1.0f, 0.6f, panel);
    // The read-outs: faces facing the rider, up and back.
    auto face = [&](float x0, float x1, float y0, float y1, const std::string& material) {
        dash.quad(pt(x0, y0, 1.07f), pt(x0, y1, 1.09f), pt(x1, y1, 1.09f), pt(x1, y0, 1.07f), dash.material(material));
    };
    face(-0.14f, -0.02f, 1.0f, 1.04f, key + "_SPD");
    face(0.02f, 0.08f, 1.0f, 1.04f, key + "_GEAR");
    face(-0.14f, 0.14f, 1.05f, 1.07f, key + "_REVS");
    face(0.09f, 0.15f, 0.96f, 1.04f, key + "_DIAL");
    mdl_object dash_o = dash.object("DASH");
    WorldMesh needle;
    needle.triangle(pt(-0.004f, 0, 0), pt(0.004f, 0, 0), pt(0, 0.035f, 0), needle.material("NEEDLE_RED"));
    mdl_object needle_o = needle.object("NEEDLE");
    needle_o.position = pt(0.12f, 1.0f, 1.075f);
    mdl_object root = world_empty("AXX_COCK" + name, pt(0, 0, 0));
    root.radius = 1.6f;
    return single_level("AXX_COCK" + name, {root, dash_o, needle_o}, {-1, 0, 0});
}

mdl_model world_cockpit_2d_model(int model)
{
    // The race fixes this dial to the camera half a metre ahead of the eye
    // (0.2 right, 0.16 down) in the trailing views: 0.12 m across, it reads
    // as a rev counter in the lower right corner instead of filling the view.
    constexpr float kSide = 0.12f;
    const std::string name = world_bike_names()[static_cast<std::size_t>(model)];
    WorldMesh dial;
    const float h = 0.5f * kSide;
    dial.quad(pt(-h, -h, 0), pt(h, -h, 0), pt(h, h, 0), pt(-h, h, 0), dial.material(upper(name) + "_DIAL"));
    WorldMesh needle;
    needle.triangle(pt(-0.03f * kSide, 0, 0.01f * kSide), pt(0.03f * kSide, 0, 0.01f * kSide),
                    pt(0, 0.42f * kSide, 0.01f * kSide), needle.material("NEEDLE_RED"));
    mdl_object root = world_empty("AXX_2DCOCK" + name, pt(0, 0, 0));
    root.radius = 0.8f * kSide;
    return single_level("AXX_2DCOCK" + name, {root, dial.object("DIAL"), needle.object("NEEDLE")}, {-1, 0, 0});
}

mdl_model world_flat_shadow(const std::string& name)
{
    WorldMesh card;
    card.ground_card(0.01f, 0.35f, -0.35f, 1.8f, card.material(upper(name)));
    mdl_object o = card.object(name);
    return single_level(name, {o}, {-1});
}

mdl_model world_dynamic_shadow(const std::string& name, float half_x, float y, float z0, float z1, int columns,
                               int rows)
{
    // The grid lies level through the middle of the body it shadows, so
    // that each vertex ties to a vertex of that body's outline (the engine
    // ties every shadow vertex to the nearest model vertex), not to the
    // few tyre and boot vertices touching the ground. Its faces look down:
    // the engine turns a tied shadow's faces over once, and the shadow it
    // lays on the ground then faces up, towards the camera.
    WorldMesh grid;
    const std::uint32_t material = grid.material("OMBRA");
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c) {
            const float x0 = -half_x + 2.0f * half_x * static_cast<float>(c) / static_cast<float>(columns);
            const float x1 = -half_x + 2.0f * half_x * static_cast<float>(c + 1) / static_cast<float>(columns);
            const float za = z0 + (z1 - z0) * static_cast<float>(r) / static_cast<float>(rows);
            const float zb = z0 + (z1 - z0) * static_cast<float>(r + 1) / static_cast<float>(rows);
            grid.quad(pt(x1, y, za), pt(x1, y, zb), pt(x0, y, zb), pt(x0, y, za), material);
        }
    return single_level(name, {grid.object(name)}, {-1});
}

mdl_model world_skid(const std::string& name)
{
    WorldMesh strip;
    strip.ground_card(0.0f, 0.06f, 0.0f, 1.0f, strip.material(upper(name)));
    return single_level(name, {strip.object(name)}, {-1});
}

mdl_model world_particle(const std::string& name)
{
    WorldMesh card;
    const std::uint32_t material = card.material(upper(name));
    card.quad(pt(-0.5f, -0.5f, 0), pt(0.5f, -0.5f, 0), pt(0.5f, 0.5f, 0), pt(-0.5f, 0.5f, 0), material);
    mdl_object o = card.object(name);
    // A sprite (mesh word 1): the engine stands it at the instance's
    // position, facing the camera, sized by the instance's scale and
    // rolled by its own z angle, which is what the race's smoke moves,
    // grows and spins. (A billboard root, mesh word 2, would take the
    // camera's own matrix and sit on the eye, filling the screen.)
    o.mesh.header[15] = 1;
    return single_level(name, {o}, {-1});
}

mdl_model world_practice_arch()
{
    WorldMesh arch;
    const std::uint32_t post = arch.material("ARCPOST");
    const std::uint32_t banner = arch.material("ARCBANNER");
    for (float side : {-6.5f, 6.5f})
        arch.box(pt(side, 2.3f, 0), half(0.25f, 2.3f, 0.25f), post);
    arch.box(pt(0, 4.4f, 0), half(6.75f, 0.5f, 0.15f), banner);
    mdl_object o = arch.object("ARCH");
    mdl_object root = world_empty("Pratice", pt(0, 0, 0));
    root.radius = 8.0f;
    return single_level("Pratice", {root, o}, {-1, 0});
}

std::vector<WorldMaterial> world_bike_materials()
{
    std::vector<WorldMaterial> out;
    const std::vector<std::string> names = world_bike_names();
    for (std::size_t m = 0; m < names.size(); ++m) {
        const std::string key = upper(names[m]);
        out.push_back({key + "_PAINT", variants(key + "_P", 32, kLooks[m].base, kLooks[m].accent)});
        out.push_back({key + "_TRIM", {world_solid(key + "_T", 8, kLooks[m].accent)}});
        out.push_back({key + "_SPD", {world_solid(key + "_SPD", 32, 0x101010)}});
        out.push_back({key + "_GEAR", {world_solid(key + "_GEAR", 32, 0x101010)}});
        out.push_back({key + "_REVS", {world_solid(key + "_REVS", 64, 0x080808)}});
        out.push_back({key + "_DIAL", {world_puff(key + "_DIAL", 32, kLooks[m].accent | 0x404040, 0.0f)}});
    }
    out.push_back({"ENGINE", {world_solid("ENGINE", 16, 0x303438)}});
    out.push_back({"FRAME", {world_solid("FRAME", 16, 0x8890A0)}});
    out.push_back({"SEAT", {world_solid("SEAT", 16, 0x181818)}});
    out.push_back({"EXHAUST", {world_solid("EXHAUST", 16, 0xB0B0B8)}});
    out.push_back({"CHROME", {world_solid("CHROME", 16, 0xD8D8E0)}});
    out.push_back({"SCREEN", {world_solid("SCREEN", 16, 0x405060)}});
    out.push_back({"TYRE", {world_tyre("TYRE", 32)}});
    out.push_back({"RIM", {world_puff("RIM", 32, 0xA0A0A0, 0.0f)}});
    out.push_back({"DASH", {world_solid("DASH", 16, 0x202020)}});
    out.push_back({"NEEDLE_RED", {world_solid("NEEDLE_RED", 8, 0xF02010)}});
    return out;
}

std::vector<WorldMaterial> world_bike_detail_materials()
{
    std::vector<WorldMaterial> out;
    const std::vector<std::string> names = world_bike_names();
    for (std::size_t m = 0; m < names.size(); ++m) {
        const std::string key = upper(names[m]);
        out.push_back({key + "_PAINT_L", variants(key + "_PL", 8, kLooks[m].base, kLooks[m].accent)});
    }
    out.push_back({"DARK_L", {world_solid("DARK_L", 8, 0x282828)}});
    out.push_back({"CHROME_L", {world_solid("CHROME_L", 8, 0xC0C0C8)}});
    out.push_back({"TYRE_L", {world_solid("TYRE_L", 8, 0x202020)}});
    return out;
}

// Team leathers and helmets: the variants of the grid (five frames).
std::vector<WorldMaterial> world_rider_materials()
{
    return {{"LEATHER", variants("LEATHER", 32, 0x202020, 0xE02020)},
            {"HELMET", variants("HELMET", 32, 0xF0F0F0, 0x2040E0)},
            {"VISOR", {world_solid("VISOR", 8, 0x101828)}},
            {"BOOT", {world_solid("BOOT", 8, 0x101010)}},
            {"GLOVE", {world_solid("GLOVE", 8, 0x303030)}},
            {"BARS", {world_solid("BARS", 8, 0x404048)}},
            {"GRIP", {world_solid("GRIP", 8, 0x101010)}}};
}

std::vector<WorldMaterial> world_rider_detail_materials()
{
    return {{"LEATHER_L", variants("LEATHER_L", 8, 0x202020, 0xE02020)},
            {"HELMET_L", variants("HELMET_L", 8, 0xF0F0F0, 0x2040E0)},
            {"DARK_L", {world_solid("RDARK_L", 8, 0x181818)}}};
}

std::vector<WorldMaterial> world_shadow_materials()
{
    return {{"SHADOW", {world_puff("SHADOW", 32, 0x000000, 0.0f)}},
            {"SHADOWP", {world_puff("SHADOWP", 32, 0x101010, 0.5f)}}};
}

const std::vector<std::string>& world_particle_names()
{
    static const std::vector<std::string> names = {"Fumo", "Erba", "Sabbia", "Spark", "Pioggia"};
    return names;
}

// Particles fade through four frames (the race sets the fade as the
// material set); skid marks and dynamic shadows are one frame each.
std::vector<WorldMaterial> world_effect_materials()
{
    static const std::uint32_t colours[5] = {0xD0D0D0, 0x40A030, 0xC0A060, 0xFFD040, 0xB0C0D0};
    std::vector<WorldMaterial> out = {{"OMBRA", {world_solid("OMBRA", 8, 0x000000)}},
                                      {"SKID", {world_solid("SKID", 8, 0x101010)}},
                                      {"SKIDP", {world_solid("SKIDP", 8, 0x202830)}}};
    for (std::size_t k = 0; k < world_particle_names().size(); ++k) {
        const std::string key = upper(world_particle_names()[k]);
        WorldMaterial m{key, {}};
        for (int f = 0; f < 4; ++f)
            m.frames.push_back(world_puff(key + std::to_string(f), 16, colours[k], 0.25f * static_cast<float>(f)));
        out.push_back(std::move(m));
    }
    return out;
}

// The banner in its plain look (material set 0) and its marked one (0.8).
std::vector<WorldMaterial> world_arch_materials()
{
    return {{"ARCPOST", {world_solid("ARCPOST", 16, 0xE0E0E0)}},
            {"ARCBANNER", {world_livery("ARCBANNER0", 32, 0x2050C0, 0xF0F0F0),
                           world_livery("ARCBANNER1", 32, 0xE02020, 0xF0E020)}}};
}

} // namespace datakit
