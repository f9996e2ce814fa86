// The bike set-up screen, its ".stp" files and the telemetry splitter, on
// the shipped demo screens.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "champ/save_slots.h"
#include "menu/command_button.h"
#include "menu/form.h"
#include "menu/label.h"
#include "menu/scroll_bar.h"
#include "platform/file.h"
#include "platform/message_box.h"
#include "platform/path_resolver.h"
#include "screens/setup_screens.h"
#include "sim/telemetry_file.h"
#include "tests/screens/shipped_screens_fixture.h"

namespace {

namespace fs = std::filesystem;

class SetupScreens : public shipped_test::ShippedScreens {
protected:
    void SetUp() override
    {
        ShippedScreens::SetUp();
        clean();
        settings_.SetDefaults();
        platform::clear_recorded_message_boxes();
    }
    void TearDown() override
    {
        clean();
        ShippedScreens::TearDown();
    }
    // The demo folder is shared: what a test wrote goes.
    static void clean()
    {
        // Folders too (a test stands one in a lap's way).
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(fs::path("menu") / "save", error)) {
            const std::string extension = entry.path().extension().string();
            if (extension == ".stp" || extension == ".tlm")
                fs::remove_all(entry.path(), error);
        }
        fs::remove("telem.dat");
        platform::invalidate_path_cache();
    }
    static std::vector<std::string> laps() { return platform::list_files(".\\menu\\save\\Lap*.tlm"); }
};

TEST_F(SetupScreens, TheSlidersShowAndStoreTheSetUpAndKeepTheGearsInOrder)
{
    BikeSetup& setup = settings_.PlayerSetup;
    setup.Trail = 0.0992f;  // 99.2 mm: half way along 89.7 .. 109.2
    setup.SprocketTeeth = 15;
    setup.FrontTyre = 7;
    Form& form = enter(82);
    EXPECT_EQ(position(form, "scroll01"), 5);
    EXPECT_EQ(position(form, "scroll02"), 15);
    EXPECT_EQ(position(form, "scroll22"), 3);  // code 7 is the fourth of 2, 3, 4, 7, 10
    // Page 1 shows the frame's sliders only.
    EXPECT_EQ(form.FindElement("scroll00")->m_nVisibleInState, 0);
    EXPECT_EQ(form.FindElement("scroll12")->m_nVisibleInState, -1);
    click(form, "Page3");
    EXPECT_EQ(form.FindElement("scroll12")->m_nVisibleInState, 0);

    slide(form, "scroll00", 10);  // 25 degrees
    slide(form, "scroll22", 4);   // tyre code 10
    slide(form, "scroll14", 3);   // half way along 2700 .. 3300
    slide(form, "scroll06", 20);
    slide(form, "scroll05", 30);  // above gear 3: held there
    EXPECT_EQ(position(form, "scroll05"), 20);
    slide(form, "scroll07", 10);  // below gear 3: held there
    EXPECT_EQ(position(form, "scroll07"), 20);
    const std::uint32_t flags = setup.PlayerFlags;
    click(form, "Store");
    EXPECT_NEAR(setup.SteeringHeadAngle, 25.0f * 0.0174533f, 1e-5f);
    EXPECT_EQ(setup.FrontTyre, 10);
    EXPECT_FLOAT_EQ(setup.FrontBumpHigh, 3000.0f);
    EXPECT_EQ(setup.PlayerFlags, flags);
    for (int g = 1; g < 6; ++g)
        EXPECT_LE(setup.GearRatio[g], setup.GearRatio[g - 1]) << g;
}

// The 24 values the sliders edit, by name and byte offset in the record.
struct SetupValue {
    const char* name;
    std::size_t offset;
};
constexpr SetupValue kSetupValues[24] = {
    {"rake", 12},          {"trail", 16},          {"sprocket", 20},      {"crown", 24},
    {"gear 1", 28},        {"gear 2", 32},         {"gear 3", 36},        {"gear 4", 40},
    {"gear 5", 44},        {"gear 6", 48},         {"front spring", 52},  {"rear spring", 56},
    {"front preload", 60}, {"rear preload", 64},   {"front bump hi", 68}, {"rear bump hi", 72},
    {"front bump lo", 76}, {"rear bump lo", 80},   {"front reb hi", 84},  {"rear reb hi", 88},
    {"front reb lo", 92},  {"rear reb lo", 96},    {"front tyre", 100},   {"rear tyre", 104},
};
std::uint32_t WordAt(const BikeSetup& setup, std::size_t offset)
{
    std::uint32_t word = 0;
    std::memcpy(&word, reinterpret_cast<const unsigned char*>(&setup) + offset, sizeof word);
    return word;
}

// Store without a slider touched leaves every value as it was, also values
// between the sliders' positions (the default rake, trail and gears) and
// outside their ranges (the default first gear 2.86 above the gear sliders'
// 2.273, a crown of 43 above 41, a tyre code not in the table).
TEST_F(SetupScreens, StoreWithNoSliderMovedKeepsEverySetUpValue)
{
    BikeSetup odd = settings_.PlayerSetup;
    odd.SteeringHeadAngle = 0.4189f;
    odd.Trail = 0.1234f;
    odd.SprocketTeeth = 17;
    odd.CrownTeeth = 43;
    const float gears[6] = {2.615f, 1.95f, 1.585f, 1.35f, 1.19f, 1.075f};
    std::copy(std::begin(gears), std::end(gears), odd.GearRatio);
    odd.FrontSpring = 0.951f;
    odd.RearSpring = 10.5f;
    odd.FrontPreload = 12.5f;
    odd.RearPreload = 3.0f;
    odd.FrontBumpHigh = 2500.0f;
    odd.RearBumpHigh = 11111.0f;
    odd.FrontBumpLow = 601.0f;
    odd.RearBumpLow = 6601.0f;
    odd.FrontReboundHigh = 251.0f;
    odd.RearReboundHigh = 2501.0f;
    odd.FrontReboundLow = 1250.0f;
    odd.RearReboundLow = 10001.0f;
    odd.FrontTyre = 0;
    odd.RearTyre = 12;
    const struct {
        const char* what;
        BikeSetup setup;
    } cases[] = {{"the defaults", settings_.PlayerSetup}, {"values off the sliders", odd}};
    for (const auto& c : cases) {
        settings_.PlayerSetup = c.setup;
        Form& form = enter(82);
        // Pages turned (what a player looks at) do not move a slider.
        for (const char* page : {"Page2", "Page3", "Page4", "Page1"})
            click(form, page);
        click(form, "Store");
        for (const SetupValue& value : kSetupValues)
            EXPECT_EQ(WordAt(settings_.PlayerSetup, value.offset), WordAt(c.setup, value.offset))
                << c.what << ": " << value.name;
    }

    // A slider moved stores its value; the others keep theirs (the crown
    // three teeth up, from 36).
    settings_.PlayerSetup = cases[0].setup;
    Form& form = enter(82);
    slide(form, "scroll03", 39);
    click(form, "Store");
    EXPECT_EQ(settings_.PlayerSetup.CrownTeeth, 39);
    for (const SetupValue& value : kSetupValues) {
        if (value.offset != 24) {
            EXPECT_EQ(WordAt(settings_.PlayerSetup, value.offset), WordAt(cases[0].setup, value.offset))
                << value.name;
        }
    }
}

TEST_F(SetupScreens, SetUpFilesAreSavedWithFreeNamesAndLoadedKeepingTheDrivingOptions)
{
    settings_.PlayerSetup.RearSpring = 10.0f;
    for (const char* description : {"Wet one", "Dry one"}) {
        Form& save = enter(kSaveSetupState);
        element<Label>(save, "lbl_file").SetText(description);
        EXPECT_TRUE(click(save, "Ok"));
        platform::invalidate_path_cache();
    }
    EXPECT_TRUE(platform::file_exists(".\\menu\\save\\bike0.stp"));
    EXPECT_TRUE(platform::file_exists(".\\menu\\save\\bike1.stp"));
    // A file of another size is not listed.
    ASSERT_TRUE(platform::write_whole_file(MakeSavePath("bike9.stp"), std::vector<std::uint8_t>(170, 0)));
    platform::invalidate_path_cache();

    settings_.PlayerSetup.RearSpring = 8.0f;
    settings_.PlayerSetup.PlayerFlags = 0x400;
    settings_.PlayerSetup.FrontLimiter = 0.7f;
    Form& load = enter(kLoadSetupState);
    ASSERT_EQ(element<Label>(load, "lbl_file").RowCount(), 2);
    EXPECT_EQ(text(load, "lbl_file", 1), "Dry one");
    element<Label>(load, "lbl_file").SetCurrentRow(1);
    EXPECT_TRUE(click(load, "Ok"));
    EXPECT_FLOAT_EQ(settings_.PlayerSetup.RearSpring, 10.0f);
    EXPECT_EQ(settings_.PlayerSetup.PlayerFlags, 0x400u);
    EXPECT_FLOAT_EQ(settings_.PlayerSetup.FrontLimiter, 0.7f);
    EXPECT_STREQ(settings_.SetupName, "Dry one");

    // One damaged since it was listed is refused; the set-up stays.
    Form& again = enter(kLoadSetupState);
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(platform::read_whole_file(MakeSavePath("bike0.stp"), bytes));
    bytes[63 + 20] = 0;  // sprocket teeth 0
    bytes[63 + 21] = bytes[63 + 22] = bytes[63 + 23] = 0;
    ASSERT_TRUE(platform::write_whole_file(MakeSavePath("bike0.stp"), bytes));
    settings_.PlayerSetup.RearSpring = 9.0f;
    element<Label>(again, "lbl_file").SetCurrentRow(0);
    EXPECT_FALSE(click(again, "Ok"));
    EXPECT_FLOAT_EQ(settings_.PlayerSetup.RearSpring, 9.0f);
    EXPECT_EQ(platform::recorded_message_boxes().size(), 1u);
}

// A save that cannot be written (a folder stands where the next free name
// goes) is reported, the screen stays, the set-up keeps its name and the
// file there before is left as it was.
TEST_F(SetupScreens, AFailedSaveIsReportedAndLeavesTheFilesThere)
{
    Form& first = enter(kSaveSetupState);
    element<Label>(first, "lbl_file").SetText("Kept one");
    ASSERT_TRUE(click(first, "Ok"));
    std::vector<std::uint8_t> kept;
    ASSERT_TRUE(platform::read_whole_file(MakeSavePath("bike0.stp"), kept));
    fs::create_directories(fs::path("menu") / "save" / "bike1.stp");
    platform::invalidate_path_cache();

    Form& form = enter(kSaveSetupState);
    element<Label>(form, "lbl_file").SetText("Lost one");
    EXPECT_FALSE(click(form, "Ok"));
    ASSERT_EQ(platform::recorded_message_boxes().size(), 1u);
    EXPECT_NE(platform::recorded_message_boxes()[0].text.find("could not be saved"), std::string::npos);
    EXPECT_STREQ(settings_.SetupName, "Kept one");
    std::vector<std::uint8_t> after;
    ASSERT_TRUE(platform::read_whole_file(MakeSavePath("bike0.stp"), after));
    EXPECT_EQ(after, kept);
    EXPECT_TRUE(fs::is_directory(fs::path("menu") / "save" / "bike1.stp"));
    EXPECT_TRUE(fs::is_empty(fs::path("menu") / "save" / "bike1.stp"));
}

TEST(SetupFile, TheReaderRefusesWhatTheSimulationCannotRide)
{
    SetupFile file{"desc", "rider", "track", {}};
    GameSettings defaults;
    defaults.SetDefaults();
    file.setup = defaults.PlayerSetup;
    const std::vector<std::uint8_t> good = SetupFileBytes(file);
    ASSERT_EQ(good.size(), kSetupFileBytes);
    SetupFile read;
    std::string why;
    ASSERT_TRUE(ParseSetupFile(good, read, why)) << why;
    EXPECT_EQ(read.description, "desc");
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
    };
    std::vector<Case> cases = {{"short", {good.begin(), good.end() - 1}}, {"long", good}, {"unterminated", good},
                               {"no crown", good}};
    cases[1].bytes.push_back(0);
    std::fill(cases[2].bytes.begin(), cases[2].bytes.begin() + 21, 'x');
    std::fill(cases[3].bytes.begin() + 63 + 24, cases[3].bytes.begin() + 63 + 28, 0);
    for (const Case& c : cases)
        EXPECT_FALSE(ParseSetupFile(c.bytes, read, why)) << c.what;
}

// A "telem.dat" of `laps` laps of 5 samples each, 100 distance units long.
void WriteTelemetry(const char* track, std::uint32_t model, int laps)
{
    TelemetryHeader header;
    header.SetTrackName(track);
    header.Model = model;
    std::vector<TelemetrySample> samples;
    for (int lap = 0; lap < laps; ++lap)
        for (int i = 0; i < 5; ++i) {
            TelemetrySample s;
            s.Time = static_cast<float>(lap * 50 + i * 10 + 3);
            s.Distance = static_cast<float>(i * 25);
            s.Channel[0] = static_cast<std::uint8_t>(lap);
            samples.push_back(s);
        }
    ASSERT_TRUE(WriteTelemetryFile("telem.dat", header, samples));
    platform::invalidate_path_cache();
}

TEST_F(SetupScreens, TheSplitterCutsLapsNumberedOnAndOnlyForThisTrackAndBike)
{
    // Laps of an earlier run stay: the new ones are numbered on.
    WriteTelemetry("Misano", 2, 1);
    ASSERT_EQ(SplitTelemetry("Misano", 2), 1);
    ASSERT_TRUE(platform::write_whole_file(".\\menu\\save\\Lap7.tlm", std::vector<std::uint8_t>(137 + 20, 0)));
    platform::invalidate_path_cache();
    WriteTelemetry("Misano", 2, 3);
    ASSERT_EQ(SplitTelemetry("Misano", 2), 3);
    EXPECT_FALSE(platform::file_exists("telem.dat"));
    for (int n = 8; n <= 10; ++n) {
        TelemetryHeader header;
        std::vector<TelemetrySample> samples;
        ASSERT_TRUE(ReadTelemetryFile(".\\menu\\save\\Lap" + std::to_string(n) + ".tlm", &header, &samples)) << n;
        ASSERT_EQ(samples.size(), 5u);
        EXPECT_EQ(samples.front().Time, 0.0f);
        EXPECT_EQ(samples.back().Time, 40.0f);  // the lap's time
        EXPECT_EQ(samples.front().Channel[0], n - 8);
        EXPECT_EQ(header.TrackNameText(), "Misano");
    }
    // Another track's or bike's telemetry is only deleted.
    for (const auto& [track, model] : {std::pair{"Assen", 2u}, std::pair{"Misano", 3u}}) {
        WriteTelemetry(track, model, 2);
        EXPECT_EQ(SplitTelemetry("Misano", 2), 0);
        EXPECT_FALSE(platform::file_exists("telem.dat"));
    }
    EXPECT_EQ(laps().size(), 5u);
}

TEST_F(SetupScreens, ADistanceThatJittersOrGoesBackALittleStaysInItsLap)
{
    // Two laps of 1000 units: the rider stands a while in the first (its
    // distance wobbling by a hair) and rolls back 30 units in the second.
    const float distances[] = {0, 200, 400, 400.001f, 400, 400.002f, 400.001f, 700, 990,
                               5, 300, 270, 600, 995};
    TelemetryHeader header;
    header.SetTrackName("Misano");
    std::vector<TelemetrySample> samples;
    for (const float d : distances) {
        TelemetrySample s;
        s.Distance = d;
        s.Time = static_cast<float>(samples.size());
        samples.push_back(s);
    }
    ASSERT_TRUE(WriteTelemetryFile("telem.dat", header, samples));
    platform::invalidate_path_cache();
    ASSERT_EQ(SplitTelemetry("Misano", -1), 2);
    std::vector<TelemetrySample> first, second;
    ASSERT_TRUE(ReadTelemetryFile(".\\menu\\save\\Lap0.tlm", &header, &first));
    ASSERT_TRUE(ReadTelemetryFile(".\\menu\\save\\Lap1.tlm", &header, &second));
    EXPECT_EQ(first.size(), 9u);
    EXPECT_EQ(second.size(), 5u);
    EXPECT_EQ(second.front().Distance, 5.0f);
}

TEST_F(SetupScreens, AFailedLapWriteKeepsTheTelemetryAndTakesTheLapsBack)
{
    fs::create_directories("menu/save/Lap1.tlm");  // the second lap's name is taken by a folder
    ASSERT_TRUE(platform::write_whole_file(".\\menu\\save\\Lap-1.tlm", std::vector<std::uint8_t>(1, 0)));
    platform::invalidate_path_cache();
    WriteTelemetry("Misano", 2, 3);
    EXPECT_EQ(SplitTelemetry("Misano", -1), -1);
    EXPECT_TRUE(platform::file_exists("telem.dat"));
    EXPECT_FALSE(platform::file_exists(".\\menu\\save\\Lap0.tlm"));
    EXPECT_EQ(platform::recorded_message_boxes().size(), 1u);
}

// A lap file of ".\menu\save\" for a track and bike, `samples` samples
// whose last time is `time`.
void WriteLap(const std::string& name, const char* track, std::uint32_t model, float time)
{
    TelemetryHeader header;
    header.SetTrackName(track);
    header.Model = model;
    header.Setup.SprocketTeeth = 15;
    std::vector<TelemetrySample> samples(3);
    for (int i = 0; i < 3; ++i) {
        samples[static_cast<std::size_t>(i)].Distance = static_cast<float>(i * 10);
        samples[static_cast<std::size_t>(i)].Time = time * static_cast<float>(i) / 2.0f;
    }
    std::string error;
    ASSERT_TRUE(WriteTelemetryFile(".\\menu\\save\\" + name, header, samples, &error)) << error;
    platform::invalidate_path_cache();
}

bool ButtonEnabled(Form& form, const char* name)
{
    return dynamic_cast<CommandButton&>(*form.FindElement(name)).m_nState != kButtonDisabled;
}

TEST_F(SetupScreens, TheLapBrowserListsThisTracksLapsAndKeepsTwoDifferentChoices)
{
    std::snprintf(app_.m_szTrack, sizeof app_.m_szTrack, "%s", "Misano");
    WriteLap("Lap0.tlm", "Misano", 1, 83.25f);
    WriteLap("Lap1.tlm", "Misano", 1, 90.5f);
    WriteLap("Lap2.tlm", "Assen", 1, 70.0f);  // another track: not listed
    ASSERT_TRUE(platform::write_whole_file(".\\menu\\save\\Lap3.tlm", std::vector<std::uint8_t>(140, 0)));
    platform::invalidate_path_cache();  // a damaged one: not listed
    Form& form = enter(84);
    Label& list = element<Label>(form, "LBL_Telemetry");
    ASSERT_EQ(list.RowCount(), 2);
    EXPECT_EQ(list.RowText(0), "Lap0");
    EXPECT_EQ(list.RowText(1), "Lap1");
    EXPECT_EQ(text(form, "LBL_Time", 0), "01:23:25");
    EXPECT_EQ(text(form, "LBL_Var02"), "15");  // the first lap's set-up
    EXPECT_FALSE(ButtonEnabled(form, "View"));

    // The same row cannot be both choices; choosing it again clears it.
    list.SetCurrentRow(1);
    click(form, "Tel2");
    EXPECT_EQ(text(form, "LBL_Telemetry_2"), "Lap1");
    click(form, "Tel1");
    EXPECT_EQ(text(form, "LBL_Telemetry_1"), "");
    EXPECT_TRUE(ButtonEnabled(form, "View"));
    // A lone second choice is plotted as the first.
    click(form, "View");
    EXPECT_EQ(LapsToPlot().first, "Lap1.tlm");
    EXPECT_EQ(LapsToPlot().second, "");

    // Delete asks, and goes only on yes.
    shipped_test::answer() = 0;
    list.SetCurrentRow(0);
    click(form, "Delete");
    EXPECT_TRUE(platform::file_exists(".\\menu\\save\\Lap0.tlm"));
    shipped_test::answer() = 1;
    click(form, "Delete");
    EXPECT_FALSE(platform::file_exists(".\\menu\\save\\Lap0.tlm"));
    EXPECT_EQ(element<Label>(form, "LBL_Telemetry").RowCount(), 1);
    std::memset(app_.m_szTrack, 0, sizeof app_.m_szTrack);
}

// A lap file of a long name (copied in by hand) is listed; its choice shows
// at most 30 characters and the plot's two names stay within their 30-byte
// fields (29 characters and the zero byte).
TEST_F(SetupScreens, LongLapNamesAreBoundedInTheChoiceAndThePlotRecord)
{
    std::snprintf(app_.m_szTrack, sizeof app_.m_szTrack, "%s", "Misano");
    const std::string first(40, 'A'), second(35, 'B');
    WriteLap(first + ".tlm", "Misano", 1, 80.0f);
    WriteLap(second + ".tlm", "Misano", 1, 81.0f);
    Form& form = enter(84);
    Label& list = element<Label>(form, "LBL_Telemetry");
    ASSERT_EQ(list.RowCount(), 2);
    list.SetCurrentRow(0);
    click(form, "Tel1");
    list.SetCurrentRow(1);
    click(form, "Tel2");
    const char one = list.RowText(0).at(0), two = list.RowText(1).at(0);
    EXPECT_NE(one, two);
    EXPECT_EQ(text(form, "LBL_Telemetry_1"), std::string(30, one));
    EXPECT_EQ(text(form, "LBL_Telemetry_2"), std::string(30, two));
    click(form, "View");
    EXPECT_EQ(LapsToPlot().first, std::string(29, one));
    EXPECT_EQ(LapsToPlot().second, std::string(29, two));
}

TEST_F(SetupScreens, ALapIsRenamedOnlyToABareNameThatIsFree)
{
    WriteLap("Lap0.tlm", "Misano", 1, 80.0f);
    WriteLap("Lap1.tlm", "Misano", 1, 81.0f);
    struct Case {
        const char* typed;
        bool renamed;
    };
    for (const Case& c : {Case{"../up", false}, Case{"a/b", false}, Case{"a\\b", false}, Case{"   ", false},
                          Case{"Lap1", false}, Case{"LAP1 ", false}, Case{"  best lap  ", true}}) {
        std::string why;
        EXPECT_EQ(RenameLapFile("Lap0.tlm", c.typed, why), c.renamed) << c.typed;
        EXPECT_EQ(why.empty(), c.renamed) << c.typed << ": " << why;
    }
    EXPECT_FALSE(platform::file_exists(".\\menu\\save\\Lap0.tlm"));
    TelemetryHeader header;
    std::vector<TelemetrySample> samples;
    EXPECT_TRUE(ReadTelemetryFile(".\\menu\\save\\best lap.tlm", &header, &samples));
    EXPECT_EQ(samples.size(), 3u);
    EXPECT_FALSE(fs::exists("up.tlm"));
    EXPECT_FALSE(fs::exists("menu/up.tlm"));
}

} // namespace
