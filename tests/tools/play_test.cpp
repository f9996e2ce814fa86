// Scripted plays through the built headless player: the demo data as
// shipped (a copy), the settings of a fresh home folder that make races one
// lap long with few riders, the program run with its steps, its log read
// back.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
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
#include "tools/datakit/demo_circuits.h"

namespace {

using torvane_test::Find;
using torvane_test::Log;
using torvane_test::PlayRun;

class PlayTest : public ::testing::Test {
protected:
    void SetUp() override
    {
#ifndef TORVANE_PLAY_PATH
        GTEST_SKIP() << "the headless player is not built";
#endif
        dir_ = torvane_test::make_temp_dir("play");
        std::string error;
        ASSERT_TRUE(torvane_test::install_demo_data(dir_ / "data", error)) << error;
        // Attract races of one lap with two riders (a race the player
        // starts has the field and the laps the race preparation sets).
        torvane_test::ScopedHome home("play-home");
        home_ = home.path();
        platform::RegistryKey key("Software\\Corvantis\\TVNDemo");
        ASSERT_TRUE(key.set_dword("NumArcadeLaps", 1)) << key.last_error();
        ASSERT_TRUE(key.set_dword("NumArcadeRiders", 2)) << key.last_error();
        ASSERT_TRUE(key.set_dword("NumSimulationLaps", 1)) << key.last_error();
        ASSERT_TRUE(key.set_dword("NumSimulationRiders", 2)) << key.last_error();
    }

    PlayRun Play(const std::string& arguments) { return torvane_test::RunPlay(dir_, home_, arguments); }

    std::filesystem::path dir_;
    std::filesystem::path home_;
};


int Count(const PlayRun& run, const std::string& pattern)
{
    const std::regex re(pattern);
    return static_cast<int>(std::count_if(run.lines.begin(), run.lines.end(),
                                          [&](const std::string& line) { return std::regex_match(line, re); }));
}

const char* const kMainMenu = "screen set=menu state=19 name=start01";
const char* const kTrackMenu = "screen set=menu state=53 name=Arcade04";

} // namespace

// A bad command line is refused with status 2 before the game starts.
TEST_F(PlayTest, ABadCommandLineIsRefused)
{
    const PlayRun run = Play("Return");
    EXPECT_EQ(run.status, 2) << Log(run);
    EXPECT_TRUE(run.lines.empty()) << Log(run);
    EXPECT_NE(run.errors.find("Return"), std::string::npos) << run.errors;
}

// Start-up: the title card comes up and ends by itself, then the main menu
// with "Arcade race" focused; Esc there ends the game with status 0. A shot
// is the menu's picture.
TEST_F(PlayTest, TheStartUpScreensEndAndEscOnTheMainMenuEndsTheGame)
{
    const std::filesystem::path shots = dir_ / "shots";
    const PlayRun run = Play("--shots '" + shots.string() + "' wait:6 shot Esc");
    ASSERT_EQ(run.status, 0) << Log(run);
    ASSERT_FALSE(run.lines.empty());
    EXPECT_EQ(run.lines.front(), "screen set=startvid state=1 name=copyrigh") << Log(run);
    const int menu = Find(run, kMainMenu);
    ASSERT_GT(menu, 0) << Log(run);
    EXPECT_EQ(run.lines[static_cast<std::size_t>(menu) + 1], "focus name=arcade") << Log(run);
    const int shot = Find(run, "shot file=.*shot001\\.png", menu);
    ASSERT_GT(shot, menu) << Log(run);
    EXPECT_EQ(run.lines.back(), "exit status=0") << Log(run);
    EXPECT_EQ(Count(run, "race .*|error .*"), 0) << Log(run);

    torvane_test::PngImage picture;
    std::string error;
    ASSERT_TRUE(torvane_test::read_png((shots / "shot001.png").string(), picture, &error)) << error;
    EXPECT_EQ(picture.width, 640);
    EXPECT_EQ(picture.height, 480);
    EXPECT_FALSE(picture.indexed);
    // The menu's picture, not a blank frame: many colours.
    std::vector<bool> seen(1 << 12, false);
    int colours = 0;
    for (std::size_t p = 0; p + 2 < picture.pixels.size(); p += 3) {
        const int key = (picture.pixels[p] >> 4) << 8 | (picture.pixels[p + 1] >> 4) << 4 | picture.pixels[p + 2] >> 4;
        if (!seen[static_cast<std::size_t>(key)]) {
            seen[static_cast<std::size_t>(key)] = true;
            ++colours;
        }
    }
    EXPECT_GT(colours, 50);
}

// "Arcade race", "Single race", Right twice, Enter, then the bike the
// carousel shows and automatic gears (Enter, Enter): the race on the
// strip's third circuit, an arcade session (6) with the field and the laps
// the race preparation sets. The player ends it from the pause menu after
// half a minute (Esc skips the start, Esc pauses, Left and Enter choose to
// quit, Enter confirms), and the race's classification is logged. The
// race's results come up and no second race starts; Esc goes on to the
// arcade menu, Esc back to the main menu and Esc there ends the game.
TEST_F(PlayTest, AnArcadeRaceFromTheMenusRunsOnceAndTheMenusComeBack)
{
    const PlayRun run = Play("wait:6 Enter wait:1 Enter wait:1 Right wait:0.5 Right wait:0.5 Enter "
                             "wait:1 Enter wait:0.5 Enter "
                             "wait:2 Esc wait:30 Esc wait:1 Left wait:0.5 Enter wait:0.5 Enter "
                             "wait:20 Esc wait:2 Esc wait:2 Esc");
    ASSERT_EQ(run.status, 0) << Log(run);
    const int track = Find(run, kTrackMenu, Find(run, kMainMenu));
    ASSERT_GT(track, 0) << Log(run);
    const int race = Find(run, "race .*", track);
    ASSERT_GT(race, track) << Log(run);
    std::smatch m;
    const std::regex raceLine(std::string("race track=") + datakit::kDemoCircuitNames[2] +
                              " session=6 riders=(\\d+) laps=3");
    ASSERT_TRUE(std::regex_match(run.lines[static_cast<std::size_t>(race)], m, raceLine)) << Log(run);
    const int riders = std::stoi(m[1]);
    EXPECT_GE(riders, 2);
    const int end = Find(run, "race end", race);
    ASSERT_EQ(end, race + riders + 1) << "a line per rider: " << Log(run);
    // Every computer rider is classified in standing order, its race
    // estimated to the three laps; the player (the first rider of the
    // team whose bike was taken), who never left the grid and quit, is
    // last and out.
    const std::regex riderLine("pos=(\\d+) rider=\\d+ laps=3 time=\\d+\\.\\d{3} best=- status=(classified|dnf) "
                               "incidents=\\d+");
    for (int i = 1; i < riders; ++i) {
        const std::string& line = run.lines[static_cast<std::size_t>(race + i)];
        ASSERT_TRUE(std::regex_match(line, m, riderLine)) << line;
        EXPECT_EQ(std::stoi(m[1]), i) << line;
    }
    EXPECT_EQ(run.lines[static_cast<std::size_t>(race + riders)],
              "pos=" + std::to_string(riders) + " rider=1 laps=-1 time=- best=- status=dnf incidents=0");
    EXPECT_EQ(Count(run, "race track=.*"), 1) << "one race: " << Log(run);
    const int back = Find(run, "screen set=menu state=101 name=game0702", end);
    EXPECT_EQ(back, end + 1) << Log(run);
    EXPECT_GT(Find(run, "screen set=menu state=2 name=Arcade01", back), back) << Log(run);
    EXPECT_GT(Find(run, kMainMenu, back), back) << Log(run);
    EXPECT_EQ(run.lines.back(), "exit status=0") << Log(run);
    EXPECT_EQ(Count(run, "error .*"), 0) << Log(run);
}

// "Quit" asks dialogue 10; its "Yes" ends the game with status 0: by the
// keyboard (Down to "Quit", Enter, Enter on the focused "Yes") and by the
// pointer (a click on each button).
TEST_F(PlayTest, QuitAsksAndYesEndsTheGame)
{
    for (const char* steps : {"wait:6 Down wait:0.5 Down wait:0.5 Enter wait:1 Enter", "wait:6 click:170,364 wait:1 click:230,292"}) {
        const PlayRun run = Play(steps);
        ASSERT_EQ(run.status, 0) << steps << "\n" << Log(run);
        const int menu = Find(run, kMainMenu);
        ASSERT_GE(menu, 0) << steps << "\n" << Log(run);
        const int dialogue = Find(run, "screen set=menudial state=10 name=dlg10", menu);
        ASSERT_GT(dialogue, menu) << steps << "\n" << Log(run);
        EXPECT_EQ(run.lines.back(), "exit status=0") << steps << "\n" << Log(run);
        EXPECT_EQ(Count(run, "race .*|error .*"), 0) << steps << "\n" << Log(run);
    }
}

// A minute without input on the main menu starts the attract race; Esc
// ends it, the main menu comes back, and Esc there ends the game.
TEST_F(PlayTest, AMinuteIdleOnTheMainMenuStartsTheAttractRace)
{
    const PlayRun run = Play("--frame-time 0.05 wait:75 Esc wait:3 Esc");
    ASSERT_EQ(run.status, 0) << Log(run);
    const int menu = Find(run, kMainMenu);
    ASSERT_GE(menu, 0) << Log(run);
    const int race = Find(run, "race track=.* session=6 riders=\\d+ laps=\\d+", menu);
    ASSERT_GT(race, menu) << Log(run);
    const int end = Find(run, "race end", race);
    ASSERT_GT(end, race) << Log(run);
    EXPECT_EQ(Find(run, kMainMenu, end), end + 1) << Log(run);
    EXPECT_EQ(Count(run, "race track=.*"), 1) << Log(run);
    EXPECT_EQ(run.lines.back(), "exit status=0") << Log(run);
}

// Left alone the game never ends (the attract races come one after the
// other): after 600 s of test clock the play says so and ends with status 3.
TEST_F(PlayTest, TheTestClockRunsOut)
{
    const PlayRun run = Play("--frame-time 0.5 --race-frame-time 0.5");
    EXPECT_EQ(run.status, 3) << Log(run);
    EXPECT_EQ(Count(run, "timeout s=600"), 1) << Log(run);
    EXPECT_GE(Count(run, "race track=.*"), 2) << Log(run);
    ASSERT_FALSE(run.lines.empty());
    EXPECT_EQ(run.lines.back(), "exit status=3") << Log(run);
}
