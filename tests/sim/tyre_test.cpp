#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>

#include "app/game_error.h"
#include "sim/race_conditions.h"
#include "sim/terrain.h"
#include "sim/tyre.h"
#include "tests/support/fp_traps.h"
#include "tests/support/temp_dir.h"
#include "tools/datakit/tyre_data_writer.h"

namespace {

constexpr float kPi = 3.14159265f;

// Keeps the program-wide tyre inputs of one test from leaking into the next.
class TyreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved_table_ = TerrainTable;
        saved_air_ = AirTemperature;
        saved_track_ = TrackTemperature;
        saved_race_ = CurrentRaceConditions();
    }
    void TearDown() override
    {
        TerrainTable = saved_table_;
        SetTerrainWeather(saved_air_, saved_track_);
        CurrentRaceConditions() = saved_race_;
    }

    static Tyre MediumSlick()
    {
        Tyre tyre;
        tyre.SetCoefficients(datakit::demo_tyre(0));
        return tyre;
    }

private:
    TerrainRecord saved_table_;
    float saved_air_ = 0;
    float saved_track_ = 0;
    RaceConditions saved_race_;
};

bool SameBits(const void* a, const void* b, std::size_t n) { return std::memcmp(a, b, n) == 0; }

TEST_F(TyreTest, CamberSpreadsWeightOverTheZones)
{
    struct Case {
        float camber;
        float left, centre, right;
    } const cases[] = {
        {0.0f, 0, 1, 0},
        {kPi / 6, 0, 0.5f, 0.5f},
        {1.0471976f, 0, 0, 1},     // exactly pi/3: all on the right shoulder
        {1.4f, 0, 0, 1},
        {-kPi / 6, 0.5f, 0.5f, 0},
        {-1.0471976f, 1, 0, 0},
        {-2.0f, 1, 0, 0},
    };
    for (const Case& c : cases) {
        Tyre tyre;
        tyre.Camber = c.camber;
        tyre.SetCamber();
        EXPECT_NEAR(tyre.ZoneWeight[Tyre::Left], c.left, 1e-5f) << c.camber;
        EXPECT_NEAR(tyre.ZoneWeight[Tyre::Centre], c.centre, 1e-5f) << c.camber;
        EXPECT_NEAR(tyre.ZoneWeight[Tyre::Right], c.right, 1e-5f) << c.camber;
    }
}

TEST_F(TyreTest, LogisticCurveEndsAndMiddle)
{
    torvane_test::FpTraps traps;
    const float curve[4] = {50.0f, 0.1f, 0.8f, 1.0f};
    EXPECT_FLOAT_EQ(LogisticCurve(curve, 50.0f), 0.9f);
    EXPECT_NEAR(LogisticCurve(curve, -1000.0f), 0.8f, 1e-6f);
    // z = 500 and beyond: the end value, e^z never computed.
    const float steep[4] = {0.0f, 1.0e30f, 0.2f, 0.7f};
    EXPECT_EQ(LogisticCurve(steep, 1.0f), 0.7f);
    const float exact[4] = {0.0f, 1.0f, 0.2f, 0.7f};
    EXPECT_EQ(LogisticCurve(exact, 500.0f), 0.7f);
}

TEST_F(TyreTest, ZonesCoolTowardsTheAirButNeverBelowTheTrack)
{
    torvane_test::FpTraps traps;
    SetTerrainWeather(30.0f, 50.0f);
    Tyre tyre = MediumSlick();
    tyre.Init();
    tyre.SurfaceHeat = 1.0f;
    tyre.SurfaceWear = 1.0f;

    // Below the track temperature after heating: set to it.
    tyre.Temp[Tyre::Centre] = 48.0f;
    tyre.Update(0.0f, 1.0f / tyre.HeatCentre, 0.01f, 1.0f); // +1 degree
    EXPECT_EQ(tyre.Temp[Tyre::Centre], 50.0f);

    // Above it: decays towards the air temperature.
    tyre.Temp[Tyre::Centre] = 90.0f;
    tyre.Update(0.0f, 0.0f, 0.5f, 1.0f);
    const float expected = (90.0f - 30.0f) * std::exp(-tyre.CoolCentre * 0.5f) + 30.0f;
    EXPECT_NEAR(tyre.Temp[Tyre::Centre], expected, 1e-4f);
    EXPECT_NEAR(tyre.WeightedTemp, expected, 1e-4f);
    // The shoulders drift towards the centre.
    EXPECT_GT(tyre.Temp[Tyre::Left], 50.0f);
}

TEST_F(TyreTest, SlidingHeatsByTheSurfaceAndLeanWearsTheShoulder)
{
    torvane_test::FpTraps traps;
    SetTerrainWeather(25.0f, 40.0f);
    Tyre gripping = MediumSlick();
    gripping.Init();
    gripping.SurfaceHeat = 3.0f;
    gripping.SurfaceWear = 1.0f;
    Tyre sliding = gripping;

    gripping.Update(0.5f, 10.0f, 0.01f, 1.0f);
    sliding.Update(0.5f, 10.0f, 0.01f, 0.0f);
    // Leaning right: the right shoulder and the centre work, the left not.
    EXPECT_GT(gripping.Temp[Tyre::Right], 40.0f);
    EXPECT_GT(gripping.Wear[Tyre::Right], 0.0f);
    EXPECT_EQ(gripping.Wear[Tyre::Left], 0.0f);
    EXPECT_GT(gripping.Asymmetry, 0.0f);
    // A slide heats by the surface's heat factor (give or take the cooling
    // and the drift towards the centre that follow the heating).
    const float slide_rise = sliding.Temp[Tyre::Right] - 40.0f;
    const float grip_rise = gripping.Temp[Tyre::Right] - 40.0f;
    EXPECT_NEAR(slide_rise / grip_rise, 3.0f, 0.1f);
    EXPECT_GT(sliding.Wear[Tyre::Right], gripping.Wear[Tyre::Right]);
}

// One step of a tyre with round coefficients, every value worked out by hand
// from the model (in double precision), so that a wrong constant anywhere in
// the step (heating, wear rate, cooling, weighting, the shoulders' drift
// towards the centre, the curves) shows.
TEST_F(TyreTest, OneStepMatchesTheModelWorkedByHand)
{
    torvane_test::FpTraps traps;
    SetTerrainWeather(20.0f, 40.0f); // air 20, track 40
    TyreRecord record;
    record.CoolCentre = 0.5f;
    record.CoolShoulder = 1.0f;
    record.HeatCentre = 2.0f;
    record.HeatShoulder = 4.0f;
    record.WearDecade = 50.0f; // e^(WearExp T) = 10^(T / 50)
    record.WearCentre = 0.001f;
    record.WearShoulder = 0.002f;
    const float wear_curve[4] = {1.0f, 2.0f, 1.0f, 0.5f}; // x0, k, from, to
    const float temp_curve[4] = {80.0f, 0.1f, 0.6f, 1.0f};
    std::memcpy(record.WearCurve, wear_curve, sizeof wear_curve);
    std::memcpy(record.TempCurve, temp_curve, sizeof temp_curve);
    record.GripScale = 0.9f;
    Tyre tyre;
    tyre.SetCoefficients(record);
    tyre.Init();
    tyre.SurfaceHeat = 3.0f;
    tyre.SurfaceWear = 2.0f;
    const float wear[3] = {0.1f, 0.2f, 0.3f};
    const float temp[3] = {60.0f, 70.0f, 40.0f};
    std::memcpy(tyre.Wear, wear, sizeof wear);
    std::memcpy(tyre.Temp, temp, sizeof temp);

    // Camber pi/6: weights (0, 0.5, 0.5). Half gripping on a surface of heat
    // factor 3: q = ((1 - 0.5) x (3 - 1) + 1) x 10 = 20.
    tyre.Update(kPi / 6, 10.0f, 0.1f, 0.5f);

    EXPECT_NEAR(tyre.ZoneWeight[Tyre::Left], 0.0f, 1e-6f);
    EXPECT_NEAR(tyre.ZoneWeight[Tyre::Centre], 0.5f, 1e-6f);
    EXPECT_NEAR(tyre.ZoneWeight[Tyre::Right], 0.5f, 1e-6f);
    EXPECT_NEAR(tyre.Asymmetry, 0.5f, 1e-6f);
    // Wear: the left shoulder carries no weight and keeps its 0.1.
    //   centre 0.2 + 10^(70/50) x 20 x 2 x 0.5 x 0.001 = 0.2 + 25.1188643 x 0.02
    //   right  0.3 + 10^(40/50) x 20 x 2 x 0.5 x 0.002 = 0.3 + 6.30957344 x 0.04
    EXPECT_EQ(tyre.Wear[Tyre::Left], 0.1f);
    EXPECT_NEAR(tyre.Wear[Tyre::Centre], 0.702377286f, 1e-6f);
    EXPECT_NEAR(tyre.Wear[Tyre::Right], 0.552382938f, 1e-6f);
    // Heat, then cooling towards the air:
    //   left   60                   -> (60 - 20) e^-0.1  + 20 = 56.1934967
    //   centre 70 + 20 x 2 x 0.5 = 90 -> (90 - 20) e^-0.05 + 20 = 86.5860597
    //   right  40 + 20 x 4 x 0.5 = 80 -> (80 - 20) e^-0.1  + 20 = 74.2902451
    // weighted by (0, 0.5, 0.5) before the shoulders drift.
    EXPECT_NEAR(tyre.WeightedWear, 0.627380112f, 1e-6f);
    EXPECT_NEAR(tyre.WeightedTemp, 80.4381524f, 1e-4f);
    // The shoulders then move a thousandth of the way to the centre:
    //   left  56.1934967 + 0.001 x (86.5860597 - 56.1934967) = 56.2238893
    //   right 74.2902451 + 0.001 x (86.5860597 - 74.2902451) = 74.3025409
    EXPECT_NEAR(tyre.Temp[Tyre::Left], 56.2238893f, 1e-4f);
    EXPECT_NEAR(tyre.Temp[Tyre::Centre], 86.5860597f, 1e-4f);
    EXPECT_NEAR(tyre.Temp[Tyre::Right], 74.3025409f, 1e-4f);
    // Grip: wear curve at 0.627380112: z = -0.745239776, 0.5 + 0.5 / (e^z + 1)
    // = 0.839070293; temperature curve at 80.4381524: z = 0.0438152,
    // 1 - 0.4 / (e^z + 1) = 0.804380823; times 0.9.
    EXPECT_NEAR(tyre.WearGrip(), 0.839070293f, 1e-6f);
    EXPECT_NEAR(tyre.TempGrip(), 0.804380823f, 1e-6f);
    EXPECT_NEAR(tyre.Grip, 0.607438848f, 2e-6f);
}

TEST_F(TyreTest, GripBlendUsesWetValuesAtOneHundredPercentAndClampsAAndB)
{
    TerrainRecord t;
    for (int k = 0; k < kSurfaceClasses; ++k) {
        t.DryA[k] = 0.01f * (k + 1);
        t.WetA[k] = -0.5f;
        t.DryB[k] = 0.02f;
        t.WetB[k] = -1.0f;
        t.DryC[k] = 1.2f;
        t.WetC[k] = -0.3f; // C and D are not clamped
        t.DryD[k] = 0.1f;
        t.WetD[k] = -0.2f;
        t.HeatFactor[k] = 2.0f + k;
        t.WearFactor[k] = 0.5f + k;
    }
    TerrainTable = t;
    Tyre tyre;
    tyre.GripBlend(2, 100.0f);
    EXPECT_EQ(tyre.Surface, 2);
    EXPECT_EQ(tyre.SurfaceA, 0.0f);
    EXPECT_EQ(tyre.SurfaceB, 0.0f);
    EXPECT_FLOAT_EQ(tyre.SurfaceC, -0.3f);
    EXPECT_FLOAT_EQ(tyre.SurfaceD, -0.2f);
    EXPECT_EQ(tyre.SurfaceHeat, 4.0f);
    EXPECT_EQ(tyre.SurfaceWear, 2.5f);

    tyre.GripBlend(1, 0.0f);
    EXPECT_FLOAT_EQ(tyre.SurfaceA, 0.02f);
    EXPECT_FLOAT_EQ(tyre.SurfaceC, 1.2f);
    tyre.GripBlend(0, 50.0f);
    EXPECT_FLOAT_EQ(tyre.SurfaceC, 0.45f);
    // An unknown class is clamped to the known ones.
    tyre.GripBlend(9, 0.0f);
    EXPECT_EQ(tyre.Surface, 3);
}

// Grip by terrain and wetness: the friction the demo data gives on each
// surface, dry and in the rain, at rest and at speed.
TEST_F(TyreTest, DemoGripByTerrainAndWetness)
{
    Tyre tyre;
    TerrainTable = datakit::demo_terrain(1, false);
    float dry[4];
    for (int k = 0; k < 4; ++k) {
        tyre.GripBlend(k, 0.0f);
        dry[k] = tyre.SurfaceC;
    }
    EXPECT_GT(dry[0], dry[3]);
    EXPECT_GT(dry[3], dry[1]);
    EXPECT_GT(dry[1], dry[2]);
    TerrainTable = datakit::demo_terrain(1, true);
    for (int k = 0; k < 4; ++k) {
        tyre.GripBlend(k, 0.0f);
        EXPECT_LT(tyre.SurfaceC, dry[k]) << "class " << k;
    }
    tyre.GripBlend(0, 100.0f);
    EXPECT_LT(tyre.SurfaceC, 0.8f);
}

TEST_F(TyreTest, InitStartsAtTheTrackTemperature)
{
    SetTerrainWeather(20.0f, 35.0f);
    TerrainTable = datakit::demo_terrain(0, false);
    Tyre tyre = MediumSlick();
    tyre.Camber = 0.7f;
    tyre.Wear[1] = 3.0f;
    tyre.Init();
    EXPECT_EQ(tyre.Camber, 0.0f);
    for (int z = 0; z < 3; ++z) {
        EXPECT_EQ(tyre.Temp[z], 35.0f);
        EXPECT_EQ(tyre.Wear[z], 0.0f);
    }
    EXPECT_EQ(tyre.ZoneWeight[Tyre::Centre], 1.0f);
    EXPECT_EQ(tyre.Surface, 0);
    EXPECT_FLOAT_EQ(tyre.Grip, tyre.WearGrip() * tyre.TempGrip() * tyre.GripScale);
    EXPECT_FLOAT_EQ(tyre.SurfaceC, TerrainTable.DryC[0]);
}

// Wear rate exponents far beyond the float range and zones without weight
// make no infinity times zero.
TEST_F(TyreTest, ExtremeCoefficientsNeverMakeANaN)
{
    torvane_test::FpTraps traps;
    SetTerrainWeather(30.0f, 45.0f);
    TyreRecord record = datakit::demo_tyre(0);
    record.WearDecade = 1.0e-3f; // e^(2302 x T)
    record.WearCentre = 1.0e30f;
    record.WearShoulder = 1.0e30f;
    record.HeatCentre = 1.0e6f;
    Tyre tyre;
    tyre.SetCoefficients(record);
    tyre.Init();
    tyre.SurfaceHeat = 3.0f;
    tyre.SurfaceWear = 2.0f;
    for (float dt : {0.001f, 0.01f, 0.05f, 0.1f}) {
        for (int i = 0; i < 200; ++i) {
            tyre.Update((i % 7 - 3) * 0.4f, 1.0e3f * dt, dt, (i % 3) * 0.5f);
            ASSERT_TRUE(std::isfinite(tyre.Grip)) << dt << " " << i;
            ASSERT_TRUE(std::isfinite(tyre.WeightedWear));
            ASSERT_TRUE(std::isfinite(tyre.WeightedTemp));
            for (int z = 0; z < 3; ++z) {
                ASSERT_TRUE(std::isfinite(tyre.Wear[z]));
                ASSERT_TRUE(std::isfinite(tyre.Temp[z]));
            }
        }
    }
}

TEST_F(TyreTest, DemoTyreWarmsAndWearsPlausiblyOverARace)
{
    torvane_test::FpTraps traps;
    SetTerrainWeather(25.0f, 40.0f);
    TerrainTable = datakit::demo_terrain(1, false);
    Tyre tyre = MediumSlick();
    tyre.Init();
    const float start_grip = tyre.Grip;
    // 100 km at 50 m/s in 10 ms steps, leaning from side to side.
    const float dt = 0.01f;
    for (int i = 0; i < 200000; ++i) {
        const float lean = 0.6f * std::sin(i * 0.0005f);
        tyre.Update(lean, 50.0f * dt, dt, 1.0f);
    }
    EXPECT_GT(tyre.Temp[Tyre::Centre], 60.0f);
    EXPECT_LT(tyre.Temp[Tyre::Centre], 110.0f);
    EXPECT_GT(tyre.Wear[Tyre::Centre], 0.1f);
    EXPECT_LT(tyre.Wear[Tyre::Centre], 3.0f);
    EXPECT_GT(tyre.Grip, 0.7f);
    EXPECT_GT(tyre.Grip, start_grip); // warm rubber grips better than cold
}

class TyreFileTest : public TyreTest {
protected:
    TyreFileTest() : dir_(torvane_test::make_temp_dir("tyres")), cwd_(dir_) {}

    std::string Path(const char* name) const { return (dir_ / name).string(); }

    void WriteText(const char* name, const std::string& text)
    {
        std::string error;
        ASSERT_TRUE(datakit::write_text_file(dir_ / name, text, error)) << error;
    }

    std::filesystem::path dir_;
    torvane_test::ScopedCwd cwd_;
};

TEST_F(TyreFileTest, DemoTyreAndTerrainListsRoundTrip)
{
    std::string error;
    ASSERT_TRUE(datakit::write_demo_tyre_data(dir_, error)) << error;

    for (int n = 0; n < datakit::kDemoTyreCount; ++n) {
        const TyreRecord expected = datakit::demo_tyre(n);
        CurrentRaceConditions().Weather = kWeatherRain; // no halving
        Tyre tyre;
        std::string problem;
        ASSERT_TRUE(tyre.Load(n, &problem)) << problem; // "Data\Tyres.dat" below the working folder
        Tyre direct;
        direct.SetCoefficients(expected);
        EXPECT_TRUE(SameBits(&tyre.CoolCentre, &direct.CoolCentre, 17 * sizeof(float))) << "tyre " << n;
        EXPECT_FLOAT_EQ(tyre.WearExp, 2.30258509f / expected.WearDecade);
    }

    const auto& names = datakit::demo_circuit_names();
    ASSERT_EQ(names.size(), 12u);
    for (std::size_t i = 0; i < names.size(); ++i) {
        for (const bool rain : {false, true}) {
            CurrentRaceConditions().Weather = rain ? kWeatherRain : kWeatherSunny;
            TerrainTable = TerrainRecord();
            LoadTerrain(names[i].c_str(), false);
            const TerrainRecord expected = datakit::demo_terrain(static_cast<int>(i), rain);
            EXPECT_TRUE(SameBits(&TerrainTable, &expected, sizeof expected)) << names[i] << (rain ? "_Rain" : "");
        }
    }
    for (const bool rain : {false, true}) {
        CurrentRaceConditions().Weather = rain ? kWeatherRain : kWeatherFog;
        LoadTerrain("Monza", true); // arcade: the track name is not used
        const TerrainRecord expected = datakit::demo_arcade_terrain(rain);
        EXPECT_TRUE(SameBits(&TerrainTable, &expected, sizeof expected)) << rain;
    }
}

TEST_F(TyreFileTest, TyreTwoLosesHalfItsGripScaleUnlessItRains)
{
    std::string error;
    ASSERT_TRUE(datakit::write_demo_tyre_data(dir_, error)) << error;
    const std::string path = Path("Data/Tyres.dat");
    struct Case {
        int number, weather;
        float factor;
    } const cases[] = {{2, kWeatherSunny, 0.5f}, {2, kWeatherFog, 0.5f}, {2, kWeatherRain, 1.0f}, {0, kWeatherSunny, 1.0f}};
    for (const Case& c : cases) {
        Tyre tyre;
        ASSERT_TRUE(tyre.LoadFrom(path.c_str(), c.number, c.weather));
        EXPECT_EQ(tyre.GripScale, datakit::demo_tyre(c.number).GripScale * c.factor) << c.number << " " << c.weather;
    }
}

TEST_F(TyreFileTest, DamagedTyreListsFailWithAMessage)
{
    datakit::TypedListWriter good;
    datakit::add_tyre_list(good, 0, datakit::demo_tyre(0));
    const std::string valid = good.text();

    struct Case {
        const char* what;
        std::string text;
        int number;
        const char* expect; // part of the message
    } const cases[] = {
        {"missing list", valid, 7, "TYRE_7"},
        {"too few values", "TYRE_0\n f1 f2 f3 f4 f5 f6 f7 f8 f9 f10 f11 f12 f13 f14 f15\nEND_LIST\n", 0, "fewer than 16"},
        {"zero wear decade", "TYRE_0\n f1 f1 f1 f1 f0 f1 f1 f1 f1 f1 f1 f1 f1 f1 f1 f1\nEND_LIST\n", 0, "WearDecade"},
        {"infinite value", "TYRE_0\n f1 f1 f1 f1 f40 f1 f1 f1 f1 f1 f1 f1 f1 f1 f1 f1e39\nEND_LIST\n", 0, "GripScale"},
        {"negative cooling", "TYRE_0\n f-1 f1 f1 f1 f40 f1 f1 f1 f1 f1 f1 f1 f1 f1 f1 f1\nEND_LIST\n", 0, "CoolCentre"},
    };
    for (const Case& c : cases) {
        WriteText("damaged.dat", c.text);
        Tyre tyre;
        tyre.GripScale = 123.0f;
        std::string problem;
        EXPECT_FALSE(tyre.LoadFrom(Path("damaged.dat").c_str(), c.number, kWeatherSunny, &problem)) << c.what;
        EXPECT_NE(problem.find(c.expect), std::string::npos) << c.what << ": " << problem;
        EXPECT_EQ(tyre.GripScale, 123.0f) << c.what; // left as it was
    }
    std::string problem;
    Tyre tyre;
    EXPECT_FALSE(tyre.LoadFrom(Path("no such file.dat").c_str(), 0, kWeatherSunny, &problem));
    EXPECT_NE(problem.find("TYRE_0"), std::string::npos);
}

TEST_F(TyreFileTest, DamagedTerrainListsFailTheLoadWithAMessage)
{
    datakit::TypedListWriter good;
    datakit::add_terrain_list(good, "Misano", datakit::demo_terrain(1, false));
    std::string short_list = "Misano\n";
    for (int i = 0; i < 41; ++i)
        short_list += " f1";
    short_list += "\nEND_LIST\n";
    std::string nan_list = "Misano\n";
    for (int i = 0; i < 42; ++i)
        nan_list += i == 20 ? " f-1e39" : " f1";
    nan_list += "\nEND_LIST\n";

    struct Case {
        const char* what;
        std::string text;
        const char* track;
        int weather;
        const char* expect;
    } const cases[] = {
        {"missing circuit", good.text(), "Assen", kWeatherSunny, "\"Assen\""},
        {"missing rain list", good.text(), "Misano", kWeatherRain, "\"Misano_Rain\""},
        {"missing arcade list", good.text(), nullptr, kWeatherSunny, "\"Arcade\""},
        {"too few values", short_list, "Misano", kWeatherSunny, "fewer than 42"},
        {"infinite value", nan_list, "Misano", kWeatherSunny, "number 21"},
    };
    const TerrainRecord before = datakit::demo_terrain(5, true);
    for (const Case& c : cases) {
        WriteText("terrain.dat", c.text);
        TerrainTable = before;
        try {
            LoadTerrainFrom(Path("terrain.dat").c_str(), c.track, c.track == nullptr, c.weather);
            ADD_FAILURE() << c.what << " loaded";
        } catch (const GameError& e) {
            EXPECT_NE(std::string(e.what()).find(c.expect), std::string::npos) << c.what << ": " << e.what();
        }
        EXPECT_TRUE(SameBits(&TerrainTable, &before, sizeof before)) << c.what;
    }
    // No file at all.
    CurrentRaceConditions().Weather = kWeatherSunny;
    EXPECT_THROW(LoadTerrain("Misano", false), GameError);
}

TEST_F(TyreTest, TerrainListNames)
{
    char name[64];
    TerrainListName(name, "Sugo", false, kWeatherSunny);
    EXPECT_STREQ(name, "Sugo");
    TerrainListName(name, "Sugo", false, kWeatherRain);
    EXPECT_STREQ(name, "Sugo_Rain");
    TerrainListName(name, "Sugo", true, kWeatherFog);
    EXPECT_STREQ(name, "Arcade");
    TerrainListName(name, "Sugo", true, kWeatherRain);
    EXPECT_STREQ(name, "Arcade_Rain");
    const std::string long_name(100, 'x');
    TerrainListName(name, long_name.c_str(), false, kWeatherRain);
    EXPECT_EQ(std::string(name).substr(std::strlen(name) - 5), "_Rain");
}

} // namespace
