#include "tools/datakit/tyre_data_writer.h"

#include <array>

namespace datakit {

namespace {

TypedField F(float value) { return TypedField::f(value); }

void add_class_values(TypedListWriter& out, const char* what, const float (&values)[kSurfaceClasses])
{
    out.comment(what);
    out.record({F(values[0]), F(values[1]), F(values[2]), F(values[3])});
}

// The circuits differ a little: how bumpy the road is and how much grip its
// asphalt gives (a street circuit is bumpier and slipperier).
struct CircuitCharacter {
    float bumps; // scale of the bump heights
    float grip;  // scale of the asphalt's friction
};

CircuitCharacter character_of(int circuit)
{
    static const std::array<CircuitCharacter, 12> table = {{
        {1.60f, 0.96f}, // Island: public roads
        {1.00f, 1.00f}, // Misano
        {1.15f, 0.99f}, // Donigton
        {0.95f, 1.01f}, // Hocken
        {0.90f, 1.00f}, // Monza
        {1.05f, 0.98f}, // Laguna
        {1.20f, 0.99f}, // Brands
        {0.90f, 1.02f}, // a1ring
        {1.00f, 1.01f}, // Assen
        {0.85f, 1.00f}, // Albacete
        {1.00f, 1.00f}, // Sugo
        {1.10f, 0.97f}, // Sentul
    }};
    if (circuit >= 0 && circuit < static_cast<int>(table.size()))
        return table[static_cast<std::size_t>(circuit)];
    return {1.0f, 1.0f};
}

// Surface classes: 0 asphalt, 1 grass, 2 gravel, 3 kerbs and paved run-off.
// The dry columns hold the values at rest, the wet columns the values at
// 100 m/s: the wheels blend the two by the bike's speed.
TerrainRecord base_terrain(bool rain)
{
    TerrainRecord t;
    t.Terrain0 = 1.0f;
    t.Terrain1 = 0.0f;
    const float dryA[4] = {0.004f, 0.020f, 0.030f, 0.008f}; // bump height, m per profile unit
    const float wetA[4] = {0.004f, 0.030f, 0.045f, 0.010f};
    const float dryB[4] = {0.002f, 0.030f, 0.050f, 0.010f}; // bump steer
    const float wetB[4] = {0.003f, 0.050f, 0.080f, 0.015f};
    const float dryC[4] = {1.30f, 0.55f, 0.45f, 1.05f};     // friction
    const float wetC[4] = {1.20f, 0.45f, 0.35f, 0.95f};
    const float rainC[4] = {0.80f, 0.30f, 0.35f, 0.55f};
    const float rainWetC[4] = {0.70f, 0.22f, 0.28f, 0.45f};
    const float dryD[4] = {0.015f, 0.080f, 0.250f, 0.020f}; // rolling drag
    const float wetD[4] = {0.018f, 0.100f, 0.300f, 0.025f};
    const float heat[4] = {3.0f, 1.0f, 1.5f, 2.5f};
    const float rainHeat[4] = {1.5f, 0.5f, 1.0f, 1.2f};
    const float wear[4] = {1.0f, 0.3f, 2.0f, 1.2f};
    const float rainWear[4] = {0.7f, 0.2f, 1.5f, 0.8f};
    for (int k = 0; k < kSurfaceClasses; ++k) {
        t.DryA[k] = dryA[k];
        t.WetA[k] = wetA[k];
        t.DryB[k] = dryB[k];
        t.WetB[k] = wetB[k];
        t.DryC[k] = rain ? rainC[k] : dryC[k];
        t.WetC[k] = rain ? rainWetC[k] : wetC[k];
        t.DryD[k] = dryD[k];
        t.WetD[k] = wetD[k];
        t.HeatFactor[k] = rain ? rainHeat[k] : heat[k];
        t.WearFactor[k] = rain ? rainWear[k] : wear[k];
    }
    return t;
}

} // namespace

void add_tyre_list(TypedListWriter& out, int number, const TyreRecord& tyre)
{
    out.begin_list("TYRE_" + std::to_string(number));
    out.comment("cooling (centre, shoulder), heating (centre, shoulder)");
    out.record({F(tyre.CoolCentre), F(tyre.CoolShoulder), F(tyre.HeatCentre), F(tyre.HeatShoulder)});
    out.comment("wear: degrees per tenfold rate, rate centre, rate shoulder");
    out.record({F(tyre.WearDecade), F(tyre.WearCentre), F(tyre.WearShoulder)});
    out.comment("grip over wear: x0 k from to");
    out.record({F(tyre.WearCurve[0]), F(tyre.WearCurve[1]), F(tyre.WearCurve[2]), F(tyre.WearCurve[3])});
    out.comment("grip over temperature: x0 k from to");
    out.record({F(tyre.TempCurve[0]), F(tyre.TempCurve[1]), F(tyre.TempCurve[2]), F(tyre.TempCurve[3])});
    out.comment("grip scale");
    out.record({F(tyre.GripScale)});
    out.end_list();
}

void add_terrain_list(TypedListWriter& out, std::string_view name, const TerrainRecord& t)
{
    out.begin_list(name);
    out.comment("two values kept by the wheels");
    out.record({F(t.Terrain0), F(t.Terrain1)});
    out.comment("by surface class: asphalt grass gravel kerb");
    add_class_values(out, "A dry: bump height", t.DryA);
    add_class_values(out, "B dry: bump steer", t.DryB);
    add_class_values(out, "C dry: friction", t.DryC);
    add_class_values(out, "D dry: rolling drag", t.DryD);
    add_class_values(out, "heating while sliding", t.HeatFactor);
    add_class_values(out, "wear", t.WearFactor);
    add_class_values(out, "A at speed", t.WetA);
    add_class_values(out, "B at speed", t.WetB);
    add_class_values(out, "C at speed", t.WetC);
    add_class_values(out, "D at speed", t.WetD);
    out.end_list();
}

bool write_tyre_file(const std::filesystem::path& path, const TyreLists& tyres, std::string& error)
{
    TypedListWriter out;
    for (const auto& [number, tyre] : tyres)
        add_tyre_list(out, number, tyre);
    return out.write(path, error);
}

bool write_terrain_file(const std::filesystem::path& path, const TerrainLists& lists, std::string& error)
{
    TypedListWriter out;
    for (const auto& [name, terrain] : lists)
        add_terrain_list(out, name, terrain);
    return out.write(path, error);
}

TyreRecord demo_tyre(int number)
{
    // The medium slick: warms to about 80 degrees at racing speed, loses a
    // few percent of grip over a race distance.
    TyreRecord t;
    t.CoolCentre = 0.08f;
    t.CoolShoulder = 0.10f;
    t.HeatCentre = 0.12f;
    t.HeatShoulder = 0.14f;
    t.WearDecade = 40.0f;
    t.WearCentre = 1.0e-7f;
    t.WearShoulder = 1.2e-7f;
    t.WearCurve[0] = 1.5f; t.WearCurve[1] = 3.0f; t.WearCurve[2] = 1.0f; t.WearCurve[3] = 0.7f;
    t.TempCurve[0] = 55.0f; t.TempCurve[1] = 0.08f; t.TempCurve[2] = 0.7f; t.TempCurve[3] = 1.0f;
    t.GripScale = 1.0f;
    switch (number) {
    case 1: // rain: grips cold, wears fast when warm
    case 2: // intermediate
        t.HeatCentre = number == 1 ? 0.07f : 0.09f;
        t.HeatShoulder = number == 1 ? 0.08f : 0.11f;
        t.WearDecade = number == 1 ? 15.0f : 25.0f;
        t.WearCentre = number == 1 ? 2.0e-6f : 5.0e-7f;
        t.WearShoulder = t.WearCentre * 1.2f;
        t.TempCurve[0] = number == 1 ? 20.0f : 35.0f;
        t.TempCurve[1] = 0.1f;
        t.TempCurve[2] = 0.8f;
        t.GripScale = number == 1 ? 0.95f : 1.0f;
        break;
    case 3: // soft slick: more grip, warms quicker, wears quicker
        t.HeatCentre = 0.14f;
        t.HeatShoulder = 0.16f;
        t.WearCentre = 1.8e-7f;
        t.WearShoulder = 2.2e-7f;
        t.TempCurve[0] = 50.0f;
        t.GripScale = 1.05f;
        break;
    case 4: // hard slick
        t.HeatCentre = 0.10f;
        t.HeatShoulder = 0.12f;
        t.WearCentre = 0.6e-7f;
        t.WearShoulder = 0.7e-7f;
        t.TempCurve[0] = 62.0f;
        t.GripScale = 0.96f;
        break;
    default:
        break;
    }
    return t;
}

TerrainRecord demo_terrain(int circuit, bool rain)
{
    TerrainRecord t = base_terrain(rain);
    const CircuitCharacter c = character_of(circuit);
    for (int k = 0; k < kSurfaceClasses; ++k) {
        t.DryA[k] *= c.bumps;
        t.WetA[k] *= c.bumps;
        t.DryB[k] *= c.bumps;
        t.WetB[k] *= c.bumps;
    }
    t.DryC[0] *= c.grip;
    t.WetC[0] *= c.grip;
    return t;
}

TerrainRecord demo_arcade_terrain(bool rain)
{
    // The arcade model forgives: more grip everywhere, smoother verges.
    TerrainRecord t = base_terrain(rain);
    for (int k = 0; k < kSurfaceClasses; ++k) {
        t.DryC[k] *= 1.15f;
        t.WetC[k] *= 1.15f;
        t.DryA[k] *= 0.5f;
        t.WetA[k] *= 0.5f;
        t.DryB[k] *= 0.5f;
        t.WetB[k] *= 0.5f;
    }
    return t;
}

const std::vector<std::string>& demo_circuit_names()
{
    static const std::vector<std::string> names = {"Island", "Misano", "Donigton", "Hocken",   "Monza", "Laguna",
                                                   "Brands", "a1ring", "Assen",    "Albacete", "Sugo",  "Sentul"};
    return names;
}

bool write_demo_tyre_data(const std::filesystem::path& root, std::string& error)
{
    TyreLists tyres;
    for (int n = 0; n < kDemoTyreCount; ++n)
        tyres.emplace_back(n, demo_tyre(n));
    if (!write_tyre_file(root / "Data" / "Tyres.dat", tyres, error))
        return false;

    TerrainLists lists;
    const auto& names = demo_circuit_names();
    for (std::size_t i = 0; i < names.size(); ++i) {
        lists.emplace_back(names[i], demo_terrain(static_cast<int>(i), false));
        lists.emplace_back(names[i] + "_Rain", demo_terrain(static_cast<int>(i), true));
    }
    lists.emplace_back("Arcade", demo_arcade_terrain(false));
    lists.emplace_back("Arcade_Rain", demo_arcade_terrain(true));
    return write_terrain_file(root / "Data" / "Terrain.dat", lists, error);
}

} // namespace datakit
