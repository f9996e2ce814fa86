// Plays through the shipped option, set-up and telemetry screens with the
// built headless player, as a player would: a key bound by capture on the
// controls screen drives the next race (and after a restart), and a practice
// session's lap is cut from "telem.dat", browsed, renamed and plotted, the
// plot compared with its golden picture (golden/telemetry_plot.png;
// TORVANE_UPDATE_GOLDEN=1 writes it from the play's shot).
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "tests/support/demo_data.h"
#include "tests/support/png_image.h"
#include "tests/support/temp_dir.h"
#include "tests/tools/play_run.h"

namespace {

using torvane_test::Find;
using torvane_test::Log;
using torvane_test::PlayRun;
using torvane_test::ReadFile;


// The player's bike as a "bike" step logged it.
struct BikeSeen {
    double speed = -1.0;
    int laps = 0, sprocket = 0, crown = 0;
};
std::vector<BikeSeen> Bikes(const PlayRun& run)
{
    static const std::regex re(R"(bike speed=([0-9.]+) laps=(-?\d+) out=[01] sprocket=(\d+) crown=(\d+) .*)");
    std::vector<BikeSeen> seen;
    std::smatch m;
    for (const std::string& line : run.lines)
        if (std::regex_match(line, m, re))
            seen.push_back({std::stod(m[1]), std::stoi(m[2]), std::stoi(m[3]), std::stoi(m[4])});
    return seen;
}

// Pointer positions of the shipped buttons (the centre of each).
const char* const kMainOptions = "click:464,412";
const char* const kMainWeekend = "click:176,316";
const char* const kOptionsControls = "click:320,208";
const char* const kSetAccelerator = "click:385,128";
const char* const kGameModePractice = "click:320,260";
const char* const kFirstCircuit = "click:190,120";
const char* const kSessionSetup = "click:170,427";
const char* const kSetupTelemetry = "click:225,344";
const char* const kBrowserRename = "click:225,436";
const char* const kBrowserPlot = "click:355,403";
const char* const kPlotThrottle = "click:175,104";
const char* const kPlotSpeed = "click:175,176";
// The set-up screen's crown slider, right of its thumb (a click there is
// one tooth up), and its buttons; the set-up files' "Ok".
const char* const kCrownUp = "click:200,215";
const char* const kSetupStore = "click:225,380";
const char* const kSetupLoad = "click:351,380";
const char* const kSetupSave = "click:100,344";
const char* const kFilesOk = "click:100,416";

// An arcade race from the main menu (its first button focused): single
// race, the first circuit, the bike shown, automatic gears; the start
// skipped.
const std::string kArcadeRace = "Enter wait:1 Enter wait:1 Enter wait:1 Enter wait:0.5 Enter wait:2 Esc wait:2 ";
// Quit from the pause menu, the results, the arcade menu, the main menu.
const std::string kQuitArcadeRace =
    "wait:2 Esc wait:1 Left wait:0.5 Enter wait:0.5 Enter wait:20 Esc wait:2 Esc wait:2 Esc";
// Practice alone on the first circuit with the first team's rider, up to
// its in-session menu (before the session).
const std::string kToPractice = std::string("wait:6 ") + kMainWeekend + " wait:1 " + kGameModePractice +
                                " wait:1 Enter wait:1 " + kFirstCircuit + " wait:1 ";
// From an in-session menu of the practice (the session started): the
// session ended, then back to the main menu and out.
const std::string kEndPractice = "E wait:1 Y wait:3 Esc wait:1 Esc wait:1 Esc wait:1 Esc";

constexpr int kChannelTolerance = 8;
// The practice's weather and temperatures are drawn at random, so the
// ridden lap differs a little from run to run: a few hundred pixels of the
// curves (the screen's captions, buttons, grid and axes are many more).
constexpr int kStrayPixels = 1500;

class PlayMenus : public ::testing::Test {
protected:
    void SetUp() override
    {
#ifndef TORVANE_PLAY_PATH
        GTEST_SKIP() << "the headless player is not built";
#endif
        dir_ = torvane_test::make_temp_dir("play-menus");
        std::string error;
        ASSERT_TRUE(torvane_test::install_demo_data(dir_ / "data", error)) << error;
    }

    // A fresh settings folder, for a first start of the game.
    std::filesystem::path NewHome(const std::string& name)
    {
        const std::filesystem::path home = dir_ / name;
        std::filesystem::create_directories(home);
        return home;
    }

    PlayRun Play(const std::filesystem::path& home, const std::string& arguments)
    {
        return torvane_test::RunPlay(dir_, home, arguments);
    }

    std::filesystem::path Saves() const { return dir_ / "data" / "menu" / "save"; }

    std::filesystem::path dir_;
};

// Options, Controls, "SET" of the accelerator, Q pressed, OK: an arcade
// race ridden on Q takes the bike off the grid. Started again, the game
// keeps the binding: A (the accelerator's default, which drove the bike
// before) leaves it standing, Q still drives it.
TEST_F(PlayMenus, AKeyCapturedOnTheControlsScreenDrivesTheNextRaceAndAfterARestart)
{
    const std::filesystem::path home = NewHome("capture");
    const PlayRun before = Play(NewHome("default"), "wait:6 " + kArcadeRace + "hold:A wait:8 bike let:A " + kQuitArcadeRace);
    ASSERT_EQ(before.status, 0) << Log(before);
    ASSERT_EQ(Bikes(before).size(), 1u) << Log(before);
    EXPECT_GT(Bikes(before)[0].speed, 10.0) << Log(before);

    const PlayRun captured = Play(home, std::string("wait:6 ") + kMainOptions + " wait:1 " + kOptionsControls +
                                            " wait:1 " + kSetAccelerator + " wait:0.5 Q wait:0.5 Enter wait:1 " +
                                            kArcadeRace + "hold:Q wait:8 bike let:Q " + kQuitArcadeRace);
    ASSERT_EQ(captured.status, 0) << Log(captured);
    const int controls = Find(captured, "screen set=menu state=111 name=Opt0202");
    ASSERT_GE(controls, 0) << Log(captured);
    EXPECT_GT(Find(captured, "race track=.*", controls), controls) << Log(captured);
    ASSERT_EQ(Bikes(captured).size(), 1u) << Log(captured);
    EXPECT_GT(Bikes(captured)[0].speed, 10.0) << Log(captured);

    const PlayRun restarted = Play(home, "wait:6 " + kArcadeRace +
                                             "hold:A wait:8 bike let:A hold:Q wait:8 bike let:Q " + kQuitArcadeRace);
    ASSERT_EQ(restarted.status, 0) << Log(restarted);
    const std::vector<BikeSeen> bikes = Bikes(restarted);
    ASSERT_EQ(bikes.size(), 2u) << Log(restarted);
    EXPECT_LT(bikes[0].speed, 0.5) << "A still drives: " << Log(restarted);
    EXPECT_EQ(bikes[0].laps, -1) << Log(restarted);
    EXPECT_GT(bikes[1].speed, 10.0) << "Q no longer drives: " << Log(restarted);
}

// From the practice's in-session menu before the session: Enter starts
// the session (the rider in the pits, the in-session menu up again), Enter
// rides out; the accelerator held, the bike logged; brought in through the
// pause menu's "Pits", the session ended and out.
const std::string kRidePractice = "Enter wait:2 Enter wait:2 hold:A wait:5 bike let:A wait:2 Esc wait:1 Right "
                                  "wait:0.5 Enter wait:3 " +
                                  kEndPractice;

// The crown three teeth up on the set-up screen (36 to 39), "Store", "Save"
// as FAST, back to the in-session menu: the practice ridden then has the
// crown of 39, the gears as they were (Store changes no value the player
// did not move). Started again with the default set-up, the file loaded
// on the same screen gives the next practice its crown again.
TEST_F(PlayMenus, ASetUpTunedOnTheScreenIsRiddenInTheNextSessionAndRoundTripsThroughItsFile)
{
    const PlayRun tuned = Play(NewHome("tuned"), kToPractice + kSessionSetup + " wait:1 " + kCrownUp + " wait:0.5 " +
                                                     kCrownUp + " wait:0.5 " + kCrownUp + " wait:0.5 " + kSetupStore +
                                                     " wait:0.5 " + kSetupSave + " wait:1 F A S T wait:0.5 " +
                                                     kFilesOk + " wait:1 Esc wait:1 " + kRidePractice);
    ASSERT_EQ(tuned.status, 0) << Log(tuned);
    const int files = Find(tuned, "screen set=menu state=98 name=game05");
    ASSERT_GE(files, 0) << Log(tuned);
    // "Ok" went back to the set-up, Esc to the in-session menu.
    const int back = Find(tuned, "screen set=menu state=82 name=game04.*", files);
    ASSERT_GT(back, files) << Log(tuned);
    EXPECT_GT(Find(tuned, "screen set=menu state=63 name=Game03a", back), back) << Log(tuned);
    EXPECT_EQ(Find(tuned, "error .*"), -1) << Log(tuned);
    const int ridden = Find(tuned, "bike speed=.*");
    ASSERT_GE(ridden, 0) << Log(tuned);
    EXPECT_TRUE(std::regex_match(tuned.lines[static_cast<std::size_t>(ridden)],
                                 std::regex(".* out=0 sprocket=15 crown=39 gear1=2\\.8600 .*")))
        << Log(tuned);
    EXPECT_GT(Bikes(tuned).at(0).speed, 5.0) << Log(tuned);
    const std::string file = ReadFile(Saves() / "bike0.stp");
    ASSERT_EQ(file.size(), 171u);
    EXPECT_EQ(file.substr(0, 5), std::string("FAST\0", 5));
    EXPECT_EQ(static_cast<unsigned char>(file[63 + 24]), 39);

    const PlayRun loaded = Play(NewHome("loaded"), kToPractice + kSessionSetup + " wait:1 " + kSetupLoad +
                                                       " wait:1 " + kFilesOk + " wait:1 Esc wait:1 " + kRidePractice);
    ASSERT_EQ(loaded.status, 0) << Log(loaded);
    ASSERT_EQ(Bikes(loaded).size(), 1u) << Log(loaded);
    EXPECT_EQ(Bikes(loaded)[0].crown, 39) << Log(loaded);
    EXPECT_GT(Bikes(loaded)[0].speed, 5.0) << Log(loaded);
}

// A practice ridden out of the pits and brought in from the pause menu
// ("Pits" writes the bike's "telem.dat"): its in-session menu cuts the lap,
// the set-up's "Telemetry" lists it, "Rename" names it FAST, "As 1" and
// "Plot" show it, with the throttle and the speed.
TEST_F(PlayMenus, APracticeLapIsCutBrowsedRenamedAndPlotted)
{
    const std::filesystem::path shots = dir_ / "shots";
    const PlayRun run = Play(
        NewHome("telemetry"),
        "--shots '" + shots.string() + "' " + kToPractice + "Enter wait:2 Enter wait:2 hold:A wait:15 let:A " +
            "wait:2 Esc wait:1 Right wait:0.5 Enter wait:3 " + kSessionSetup + " wait:1 " + kSetupTelemetry +
            " wait:1 " + kBrowserRename + " wait:1 Backspace Backspace Backspace Backspace F A S T wait:0.5 " +
            "Enter wait:1 Enter wait:0.5 " + kBrowserPlot + " wait:2 " + kPlotThrottle + " wait:0.5 " + kPlotSpeed +
            " wait:0.5 shot Esc wait:1 Esc wait:1 Esc wait:1 " + kEndPractice);
    ASSERT_EQ(run.status, 0) << Log(run);
    const int browser = Find(run, "screen set=menu state=84 name=game08");
    ASSERT_GE(browser, 0) << Log(run);
    const int rename = Find(run, "screen set=menudial state=40 name=dlg07", browser);
    ASSERT_GT(rename, browser) << Log(run);
    const int plot = Find(run, "screen set=menu state=83 name=game09", rename);
    ASSERT_GT(plot, rename) << Log(run);
    EXPECT_GT(Find(run, "shot file=.*shot001\\.png", plot), plot) << Log(run);
    EXPECT_EQ(Find(run, "error .*"), -1) << Log(run);
    EXPECT_TRUE(std::filesystem::exists(Saves() / "FAST.tlm"));
    EXPECT_FALSE(std::filesystem::exists(Saves() / "Lap0.tlm"));
    EXPECT_FALSE(std::filesystem::exists(dir_ / "data" / "telem.dat"));

    torvane_test::PngImage shot;
    std::string error;
    ASSERT_TRUE(torvane_test::read_png((shots / "shot001.png").string(), shot, &error)) << error;
    const std::string golden_path = std::string(TORVANE_RACE_FRAMES_GOLDEN_DIR) + "/telemetry_plot.png";
    if (std::getenv("TORVANE_UPDATE_GOLDEN")) {
        std::filesystem::copy_file(shots / "shot001.png", golden_path,
                                   std::filesystem::copy_options::overwrite_existing);
        GTEST_SKIP() << "golden picture written: " << golden_path;
    }
    torvane_test::PngImage golden;
    ASSERT_TRUE(torvane_test::read_png(golden_path, golden, &error)) << error;
    ASSERT_EQ(shot.width, golden.width);
    ASSERT_EQ(shot.height, golden.height);
    ASSERT_EQ(shot.pixels.size(), golden.pixels.size());
    int stray = 0;
    for (std::size_t p = 0; p + 2 < shot.pixels.size(); p += 3) {
        bool off = false;
        for (std::size_t c = 0; c < 3; ++c)
            off = off || std::abs(int(shot.pixels[p + c]) - int(golden.pixels[p + c])) > kChannelTolerance;
        stray += off ? 1 : 0;
    }
    EXPECT_LE(stray, kStrayPixels) << "the plot screen differs from " << golden_path << " (shot: " << shots << ")";
}

} // namespace
