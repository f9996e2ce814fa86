// The game's own race run loop with the headless player as its seam: the
// race is logged (its start, the race runner's classification lines, its
// end), runs without being drawn unless shots are asked for, on the
// player's race frame time, and gives the same race either way.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "app/game_app.h"
#include "app/main_window.h"
#include "app/play_seam.h"
#include "app/startup/main_wnd_proc.h"
#include "app/startup/program_objects.h"
#include "app/startup/run_race.h"
#include "champ/champ_objects.h"
#include "champ/championship.h"
#include "engine/render/render_device.h"
#include "input/input_manager.h"
#include "menu/menu_display.h"
#include "race/race.h"
#include "tests/app/startup/startup_fixture.h"
#include "tools/play/player.h"

namespace {

constexpr int kRiders = 3;
// The player ends the race from its menu after this much racing.
constexpr float kRaceSeconds = 20.0f;
// More frames than the race needs: a run loop that never ends fails.
constexpr int kFrameLimit = 5000;

const std::regex kRiderLine(R"(pos=(\d+) rider=(\d+) laps=(-?\d+) time=(\d+\.\d{3}|-) best=(\d+\.\d{3}|-) )"
                            R"(status=(finished|classified|dnf) incidents=(\d+))");

class PlayRaceTest : public startup_test::StartupTest {
protected:
    void SetUp() override
    {
        StartupTest::SetUp();
        platform::set_test_clock(100000);
        objects_ = std::make_unique<ProgramObjects>();
        app_ = &TheGameApp();
        ASSERT_TRUE(RegisterMainWindowClass());
        ASSERT_TRUE(app_->CreateMainWindow());
        renderer_ = &the_render_device();
        ASSERT_EQ(renderer_->enumerate_drivers(app_->m_hWnd), 1);
        app_->LoadSettings();
        app_->GfxFlags &= ~kGfxFlagFullScreen;
        ASSERT_EQ(TheInputManager()->Create(), kInputOk);
        ASSERT_TRUE(StartMenuDisplay());

        // Computer riders in a one-lap championship race on Sugo.
        app_->Flags = kAppFlagMenu;
        app_->RaceFlags = kRaceFlagChampionship;
        std::strcpy(app_->m_szTrack, "Sugo");
        app_->m_nSession = 4;
        app_->m_nLaps = 1;
        app_->m_nSkill = 1;
        app_->m_nWeather = 0;
        app_->m_nRiders = kRiders;
        for (int i = 0; i < kRiders; ++i)
            app_->m_RiderIds[i] = i;
        app_->ReleasePlayers();
        Championship& champ = TheChampionship();
        champ.CurrentEventIndex = 10;
        champ.SetSessionKind(kSessionFirstRace);
        for (int i = 0; i < kRiders; ++i)
            champ.AddEntry(i, kEntryComputer);
        platform::clear_recorded_message_boxes();
    }

    void TearDown() override
    {
        SetPlaySeam(nullptr);
        objects_.reset();
        StartupTest::TearDown();
    }

    struct Run {
        std::vector<std::string> lines;
        int frames = 0;
        std::uint32_t presented = 0; // frames presented while the race ran
        std::vector<std::uint32_t> frameMs; // the test clock from frame to frame
    };

    // One race through RunRaceLoop with a player of these options as the
    // seam; the observer ends it after kRaceSeconds of racing.
    Run RunWithPlayer(const play::Options& options)
    {
        Run run;
        std::ostringstream log;
        play::Player player(options, log);
        SetPlaySeam(&player);
        std::uint32_t firstPresented = 0;
        std::uint32_t last = 0;
        RunRaceLoop(*app_, [&](Race& race) {
            const std::uint32_t now = platform::time_get_time();
            if (run.frames == 0)
                firstPresented = renderer_->frames_presented;
            else
                run.frameMs.push_back(now - last);
            last = now;
            ++run.frames;
            if (TheInputManager()->m_fRaceClock >= kRaceSeconds && !(race.LiveFlags() & kRaceFlagEnding))
                TheInputManager()->QueueRaceCommand(kRaceCommandEnd);
            if (run.frames >= kFrameLimit) {
                ADD_FAILURE() << "the race did not end";
                g_bQuit = 1;
            }
            run.presented = renderer_->frames_presented - firstPresented;
        });
        SetPlaySeam(nullptr);
        std::istringstream in(log.str());
        for (std::string line; std::getline(in, line);)
            run.lines.push_back(line);
        return run;
    }

    static play::Options Options(const std::string& shots = {})
    {
        play::Options options;
        options.data = ".";
        options.shots = shots;
        return options;
    }

    std::unique_ptr<ProgramObjects> objects_;
    GameApp* app_ = nullptr;
    render_device* renderer_ = nullptr;
};

} // namespace

TEST_F(PlayRaceTest, TheRaceIsLoggedAndRunsUndrawnOnThePlayersFrameTime)
{
    const Run run = RunWithPlayer(Options());
    ASSERT_EQ(run.lines.size(), static_cast<std::size_t>(kRiders) + 2) << ::testing::PrintToString(run.lines);
    EXPECT_EQ(run.lines.front(), "race track=Sugo session=4 riders=3 laps=1");
    for (int i = 1; i <= kRiders; ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(run.lines[i], m, kRiderLine)) << run.lines[i];
        EXPECT_EQ(std::stoi(m[1]), i);
        // Ended after 20 s of a lap of Sugo: the riders are classified with
        // their lap estimated.
        EXPECT_EQ(m[6], "classified") << run.lines[i];
    }
    EXPECT_EQ(run.lines.back(), "race end");
    // Not a frame was shown while the race ran, and each frame moved the
    // test clock by the player's race frame of 0.1 s.
    EXPECT_GT(run.frames, 200);
    EXPECT_EQ(run.presented, 0u);
    for (const std::uint32_t ms : run.frameMs)
        ASSERT_EQ(ms, 100u);
}

// With shots asked for, every frame is drawn and shown: the same race.
TEST_F(PlayRaceTest, ADrawnRaceIsTheSameRace)
{
    const Run undrawn = RunWithPlayer(Options());
    const Run drawn = RunWithPlayer(Options((data_ / "shots").string()));
    EXPECT_EQ(drawn.presented, static_cast<std::uint32_t>(drawn.frames - 1)) << "after the first frame";
    EXPECT_EQ(drawn.frames, undrawn.frames);
    EXPECT_EQ(drawn.lines, undrawn.lines);
}
