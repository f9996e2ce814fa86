#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/game_error.h"
#include "sim/bike_parameters.h"
#include "tests/support/temp_dir.h"
#include "tools/datakit/bike_data_writer.h"
#include "tools/datakit/text_file_builder.h"
#include "tools/datakit/typed_list_writer.h"

namespace {

namespace fs = std::filesystem;

// Runs `load` and returns the message it fails with ("" when it does not).
std::string FailureOf(const std::function<void()>& load)
{
    try {
        load();
    } catch (const GameError& e) {
        return e.what();
    }
    return "";
}

// A folder with the demo bike data, as the working folder.
class BikeDataTest : public ::testing::Test {
protected:
    BikeDataTest() : dir_(torvane_test::make_temp_dir("bikedata")), cwd_(dir_)
    {
        std::string error;
        EXPECT_TRUE(datakit::write_demo_bike_data(dir_, error)) << error;
    }

    void WriteBike(const datakit::BikeFileSpec& spec, const char* model = "Vortan")
    {
        std::string error;
        ASSERT_TRUE(datakit::write_bike_file(dir_ / "Data" / "Bikes" / (std::string(model) + ".dat"), spec, error))
            << error;
    }

    void WriteText(const fs::path& path, const std::string& text)
    {
        std::string error;
        ASSERT_TRUE(datakit::write_text_file(dir_ / path, text, error)) << error;
    }

    fs::path dir_;
    torvane_test::ScopedCwd cwd_;
};

TEST_F(BikeDataTest, DemoModelsLoadWithPlausibleSuperbikeNumbers)
{
    BikeModel models[kBikeModelCount];
    LoadBikeModels("Island", models);
    const char* const names[] = {"Vortan", "Kestrel", "Ardena", "Mistral", "Corsaro"};
    for (int k = 0; k < kBikeModelCount; ++k) {
        const BikeModel& m = models[k];
        SCOPED_TRACE(k);
        EXPECT_TRUE(m.Loaded);
        EXPECT_STREQ(m.Maker.ModelName, names[k]);
        EXPECT_EQ(m.Maker.Id, k);
        const BikeModelValues& v = m.Values;
        EXPECT_EQ(v.GearCount, 6);
        EXPECT_NEAR(v.Mass, 200.0f, 10.0f);
        EXPECT_NEAR(v.Rear.Radius, 0.3149f, 1e-5f);
        EXPECT_NEAR(v.Front.Radius, 0.2999f, 1e-5f);
        EXPECT_EQ(v.Front.Shared, v.Rear.Shared);
        EXPECT_GT(v.Front.Rake, 0.0f);
        ASSERT_EQ(v.PowerTable.size(), 140u); // top revs 14000: one value per 100 rpm
        float peak = 0.0f;
        for (float kw : v.PowerTable)
            peak = std::max(peak, kw);
        EXPECT_GE(peak, 130.0f);
        EXPECT_LE(peak, 152.0f);
        EXPECT_GT(m.Maker.RevLimit, 10000.0f);
        EXPECT_EQ(m.DefaultSetup.SprocketTeeth, 16);
        EXPECT_GT(m.DefaultSetup.SteeringHeadAngle, 0.0f);
    }
    // Every circuit has its set-up.
    for (const char* track : {"Misano", "Sentul", "a1ring"})
        EXPECT_NO_THROW(ReadSetupFile(SetupFileName(track).c_str())) << track;
}

TEST_F(BikeDataTest, TyreSizesAndTheCurveHeaderScaleAsWritten)
{
    datakit::BikeFileSpec spec = datakit::demo_bike(0);
    spec.rear.width_mm = 180.0f;
    spec.rear.aspect_percent = 55.0f;
    spec.rear.rim_inches = 17.0f;
    spec.top_revs = 14050; // integer division: still 140 values
    spec.power_kw = datakit::power_curve(140.0f, 12000.0f, 140);
    spec.gear_ratios = {2.5f, 1.8f, 1.4f, 1.2f, 1.05f};
    const BikeModelValues v = ParseBikeFile(datakit::bike_file_text(spec), "test.dat");
    EXPECT_NEAR(v.Rear.TyreWidth, 0.18f, 1e-7f);
    EXPECT_NEAR(v.Rear.TyreAspect, 0.55f, 1e-7f);
    EXPECT_NEAR(v.Rear.RimRadius, 0.2159f, 1e-7f);
    EXPECT_NEAR(v.Rear.Radius, 0.3149f, 1e-6f);
    EXPECT_EQ(v.PowerTable.size(), 140u);
    EXPECT_EQ(v.GearCount, 5);
    EXPECT_EQ(v.GearRatio[4], 1.05f);
    EXPECT_EQ(v.GearRatio[5], 0.0f);
    EXPECT_EQ(v.SprocketTeeth, 16);
    EXPECT_EQ(v.PowerHeader, 100.0f);
    EXPECT_EQ(v.PowerTable[120], spec.power_kw[120]);
}

TEST_F(BikeDataTest, DamagedBikeFilesFailTheLoadNamingTheFile)
{
    using Spec = datakit::BikeFileSpec;
    struct Case {
        const char* what;
        std::function<void(Spec&)> damage;
    } const cases[] = {
        {"no gears", [](Spec& s) { s.gear_ratios.clear(); }},
        {"seven gears", [](Spec& s) { s.gear_ratios.push_back(0.9f); }},
        {"gear ratio 0", [](Spec& s) { s.gear_ratios[2] = 0.0f; }},
        {"primary ratio", [](Spec& s) { s.primary_ratio = -1.0f; }},
        {"sprocket 0", [](Spec& s) { s.sprocket_teeth = 0; }},
        {"crown 0", [](Spec& s) { s.crown_teeth = 0; }},
        {"mass 0", [](Spec& s) { s.mass = 0.0f; }},
        {"wheelbase 0", [](Spec& s) { s.wheelbase = 0.0f; }},
        {"centre of mass past the front axle", [](Spec& s) { s.mass_forward = 2.0f; }},
        {"side-slip divisor 0", [](Spec& s) { s.side_slip_divisor = 0.0f; }},
        {"tyre width 0", [](Spec& s) { s.rear.width_mm = 0.0f; }},
        {"lever ratio 0", [](Spec& s) { s.front.lever_ratio = 0.0f; }},
        {"inertia 0", [](Spec& s) { s.rear.inertia = 0.0f; }},
        {"rake past 1 rad", [](Spec& s) { s.front.rake = 1.6f; }},
        {"no power table", [](Spec& s) { s.top_revs = 99; }},
        {"negative power", [](Spec& s) { s.power_kw[10] = -5.0f; }},
        {"table cut short", [](Spec& s) { s.power_kw.resize(100); }},
    };
    for (const Case& c : cases) {
        Spec spec = datakit::demo_bike(0);
        c.damage(spec);
        WriteBike(spec);
        BikeModel models[kBikeModelCount];
        const std::string message = FailureOf([&] { LoadBikeModels("Island", models); });
        EXPECT_NE(message.find("Data\\Bikes\\Vortan.dat"), std::string::npos) << c.what << ": " << message;
    }
}

TEST_F(BikeDataTest, MalformedNumbersFailTheLoadNeverThrowSomethingElse)
{
    const std::string good = datakit::bike_file_text(datakit::demo_bike(1));
    struct Case {
        const char* what;
        std::string text;
    } const cases[] = {
        {"empty", ""},
        {"word for the gear count", "six\r\n" + good.substr(good.find('\n') + 1)},
        {"fraction for the gear count", "6.5" + good.substr(good.find('\r'))},
        {"two points", "6\r\n2.6.1" + good.substr(good.find('\n', good.find('\n') + 1))},
        {"not a number", "6\r\nnan" + good.substr(good.find('\n', good.find('\n') + 1))},
        {"infinite", "6\r\n1e40" + good.substr(good.find('\n', good.find('\n') + 1))},
        {"huge integer", "99999999999999\r\n" + good.substr(good.find('\n') + 1)},
        {"cut in the middle", good.substr(0, good.size() / 2)},
        {"binary junk", std::string("\x01\x02\xff\xfe", 4)},
    };
    for (const Case& c : cases) {
        WriteText(fs::path("Data") / "Bikes" / "Kestrel.dat", c.text);
        BikeModel models[kBikeModelCount];
        std::string message;
        try {
            LoadBikeModels("Island", models);
        } catch (const GameError& e) {
            message = e.what();
        } catch (...) {
            ADD_FAILURE() << c.what << ": not a GameError";
        }
        EXPECT_NE(message.find("Data\\Bikes\\Kestrel.dat"), std::string::npos) << c.what << ": " << message;
        EXPECT_TRUE(models[0].Loaded) << c.what; // the models before it are in
    }
}

TEST_F(BikeDataTest, AMissingBikeFileFailsTheLoad)
{
    fs::remove(dir_ / "Data" / "Bikes" / "Corsaro.dat");
    BikeModel models[kBikeModelCount];
    const std::string message = FailureOf([&] { LoadBikeModels("Island", models); });
    EXPECT_NE(message.find("Missing bike file Data\\Bikes\\Corsaro.dat"), std::string::npos) << message;
    EXPECT_FALSE(models[4].Loaded);
}

TEST_F(BikeDataTest, AMissingOrDamagedTrackSetUpFailsTheLoad)
{
    BikeModel models[kBikeModelCount];
    std::string message = FailureOf([&] { LoadBikeModels("Nowhere", models); });
    EXPECT_NE(message.find("Missing track set-up file Data\\Settings\\Nowhere.set"), std::string::npos) << message;
    for (const BikeModel& m : models)
        EXPECT_FALSE(m.Loaded);

    const std::vector<std::uint8_t> good = datakit::setup_file_bytes(datakit::demo_setup(1));
    ASSERT_EQ(good.size(), kBikeSetupBytes);
    struct Case {
        const char* what;
        std::function<void(BikeSetup&)> damage;
        std::size_t size;
    } const cases[] = {
        {"short", nullptr, 107},
        {"long", nullptr, 109},
        {"empty", nullptr, 0},
        {"sprocket 0", [](BikeSetup& s) { s.SprocketTeeth = 0; }, 108},
        {"crown 1000", [](BikeSetup& s) { s.CrownTeeth = 1000; }, 108},
        {"gear 3 at 0", [](BikeSetup& s) { s.GearRatio[2] = 0.0f; }, 108},
        {"front spring 0", [](BikeSetup& s) { s.FrontSpring = 0.0f; }, 108},
        {"rear spring negative", [](BikeSetup& s) { s.RearSpring = -3.0f; }, 108},
        {"rake 0", [](BikeSetup& s) { s.SteeringHeadAngle = 0.0f; }, 108},
        {"trail NaN", [](BikeSetup& s) { s.Trail = std::nanf(""); }, 108},
        {"front bump low 0", [](BikeSetup& s) { s.FrontBumpLow = 0.0f; }, 108},
        {"negative tyre", [](BikeSetup& s) { s.RearTyre = -1; }, 108},
    };
    for (const Case& c : cases) {
        BikeSetup setup = datakit::demo_setup(1);
        if (c.damage)
            c.damage(setup);
        std::vector<std::uint8_t> bytes = datakit::setup_file_bytes(setup);
        bytes.resize(c.size, 0);
        WriteText(fs::path("Data") / "Settings" / "Misano.set",
                  std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
        message = FailureOf([&] { LoadBikeModels("Misano", models); });
        EXPECT_NE(message.find("Data\\Settings\\Misano.set"), std::string::npos) << c.what << ": " << message;
    }

    // The set-up of a five-speed model may leave the sixth ratio empty, not
    // the fifth.
    BikeSetup setup = datakit::demo_setup(1);
    setup.GearRatio[5] = 0.0f;
    EXPECT_EQ(FindBadBikeSetupValue(setup, 5), nullptr);
    EXPECT_STREQ(FindBadBikeSetupValue(setup, 6), "gear ratio");
}

TEST_F(BikeDataTest, TheManufacturersListMustHoldFiveSafeModels)
{
    BikeModel models[kBikeModelCount];
    auto write_info = [&](const std::vector<datakit::ManufacturerSpec>& records) {
        datakit::TypedListWriter info;
        datakit::add_manufacturers_list(info, records);
        std::string error;
        ASSERT_TRUE(info.write(dir_ / "Data" / "Info.dat", error)) << error;
    };

    std::vector<datakit::ManufacturerSpec> records = datakit::demo_manufacturers();
    records.pop_back();
    write_info(records);
    EXPECT_NE(FailureOf([&] { LoadBikeModels("Island", models); }).find("MANUFACTURERS"), std::string::npos);

    for (const char* bad : {"..\\..\\x", "a/b", "C:", ".."}) {
        records = datakit::demo_manufacturers();
        records[2].model_name = bad;
        write_info(records);
        const std::string message = FailureOf([&] { LoadBikeModels("Island", models); });
        EXPECT_NE(message.find("Bad model name"), std::string::npos) << bad << ": " << message;
    }

    records = datakit::demo_manufacturers();
    records[0].rev_limit = 0.0f;
    write_info(records);
    EXPECT_NE(FailureOf([&] { LoadBikeModels("Island", models); }).find("engine"), std::string::npos);

    fs::remove(dir_ / "Data" / "Info.dat");
    EXPECT_NE(FailureOf([&] { LoadBikeModels("Island", models); }).find("Data\\Info.dat"), std::string::npos);
}

TEST_F(BikeDataTest, WrittenFilesReadBackToTheSameNumbers)
{
    for (int k = 0; k < datakit::kDemoBikeModels; ++k) {
        const datakit::BikeFileSpec spec = datakit::demo_bike(k);
        const BikeModelValues v = ParseBikeFile(datakit::bike_file_text(spec), "x");
        EXPECT_EQ(v.Mass, spec.mass);
        EXPECT_EQ(v.BaseWheelbase, spec.wheelbase);
        EXPECT_EQ(v.MassForward, spec.mass_forward);
        EXPECT_EQ(v.MassHeight, spec.mass_height);
        EXPECT_EQ(v.DragC2, spec.drag[2]);
        EXPECT_EQ(v.EngineBrakeE2, spec.engine_brake[2]);
        EXPECT_EQ(v.SideSlipDivisor, spec.side_slip_divisor);
        EXPECT_EQ(v.Front.LeverRatio, spec.front.lever_ratio);
        EXPECT_EQ(v.Rear.MaxTravel, spec.rear.max_travel);
        EXPECT_EQ(v.Front.BrakeDrag, spec.front.brake_drag);
        EXPECT_EQ(v.Rear.SlipGain, spec.rear.slip_gain);
        EXPECT_EQ(v.PowerTable, spec.power_kw);
    }
    const BikeSetup s = datakit::demo_setup(4);
    const std::vector<std::uint8_t> bytes = datakit::setup_file_bytes(s);
    platform::ByteReader in(bytes);
    BikeSetup back;
    ASSERT_TRUE(ReadBikeSetup(in, &back));
    EXPECT_EQ(std::memcmp(&back, &s, sizeof s), 0);
}

} // namespace
