// The game as shipped, run in-process from WinMain on the demo data's menu
// sets with scripted input and a test clock: the start-up screens, the main
// menu, an arcade race chosen on the track screen and the menus after it,
// quitting, and the demonstration races.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/startup/win_main.h"
#include "champ/championship.h"
#include "champ/race_preparation.h"
#include "engine/render/render_device.h"
#include "input/input_manager.h"
#include "menu/menu_input.h"
#include "menu/run_menu.h"
#include "platform/fault_seam.h"
#include "tests/menu/run_loop_fixture.h"
#include "tools/datakit/demo_menus.h"

using run_loop_test::ProgramTest;
using run_loop_test::ScriptedPlay;

namespace {

class DemoRunTest : public ProgramTest {
protected:
    // A race ends a few seconds after its start (its player rides nowhere).
    void RacesEndingAfter(float seconds)
    {
        ShortRaces(3, [seconds](Race&, int) {
            InputManager* input = TheInputManager();
            if (input->m_fRaceClock >= seconds)
                input->QueueRaceCommand(kRaceCommandEnd);
        });
    }
    // Demonstration races, ended with Esc as a player would.
    void DemoRacesEndedWithEscape()
    {
        ShortRaces(3, [](Race&, int frame) {
            if (frame == 30) {
                input_test::Key(kMenuKeyEscape, true);
                input_test::Key(kMenuKeyEscape, false);
            }
        });
    }

    ScriptedPlay play_;
};

TEST_F(DemoRunTest, TheStartUpScreensEndAndEscOnTheMainMenuEndsTheProgram)
{
    RacesEndingAfter(1.0f);
    // The title card ends by itself.
    play_.until_screen("copyrigh").until_screen("start01").wait(500).tap(kMenuKeyEscape);
    EXPECT_EQ(WinMain(), 0);
    EXPECT_TRUE(play_.done());
    EXPECT_EQ(play_.screens, (std::vector<std::string>{"startvid:1:copyrigh", "startvid:2:intro", "menu:19:start01"}));
    EXPECT_EQ(play_.focus, (std::vector<std::string>{"skip", "arcade"}));
    EXPECT_TRUE(races_.empty());
    for (const auto& box : platform::recorded_message_boxes())
        ADD_FAILURE() << box.text;
}

TEST_F(DemoRunTest, AnArcadeRaceChosenOnTheTrackScreenRunsAndTheMenusComeBack)
{
    RacesEndingAfter(3.0f);
    play_.until_screen("copyrigh")
        .tap(kMenuKeyEnter)
        .until_screen("start01")
        .tap(kMenuKeyEnter)
        .until_screen("Arcade01")
        .tap(kMenuKeyEnter)
        .until_screen("Arcade04")
        .tap(kMenuKeyRightArrow)
        .tap(kMenuKeyRightArrow)
        .tap(kMenuKeyEnter)
        // The bike the carousel shows, automatic gears.
        .until_screen("Arcade03")
        .tap(kMenuKeyEnter)
        .tap(kMenuKeyEnter)
        .then([this] { return races_.size() == 1; })
        // The race's results after it, which does not run again.
        .until_screen("game0702")
        .wait(3000)
        .then([this] {
            EXPECT_EQ(races_.size(), 1u);
            return true;
        })
        .tap(kMenuKeyEnter)
        .until_screen("Arcade01")
        .tap(kMenuKeyEscape)
        .until_screen("start01")
        .tap(kMenuKeyEscape);
    EXPECT_EQ(WinMain(), 0);
    EXPECT_TRUE(play_.done());
    ASSERT_EQ(races_.size(), 1u);
    // The strip starts on the first circuit: two to the right is the third.
    EXPECT_EQ(races_[0].track, kTrackNames[2]);
    EXPECT_EQ(races_[0].session, kSessionTypeArcade);
    EXPECT_EQ(races_[0].flags & kAppFlagMenu, kAppFlagMenu);
    EXPECT_GT(races_[0].frames, 30) << "the race ran";
    EXPECT_EQ(play_.screens,
              (std::vector<std::string>{"startvid:1:copyrigh", "startvid:2:intro", "menu:19:start01", "menu:2:Arcade01",
                                        "menu:53:Arcade04", "menu:4:Arcade03", "menu:101:game0702", "menu:2:Arcade01",
                                        "menu:19:start01"}));
    for (const auto& box : platform::recorded_message_boxes())
        ADD_FAILURE() << box.text;
}

TEST_F(DemoRunTest, QuitAsksAndYesEndsTheProgram)
{
    play_.until_screen("start01")
        .tap(kMenuKeyDownArrow)
        .tap(kMenuKeyDownArrow)
        .tap(kMenuKeyEnter)
        .until_screen("dlg10")
        .tap(kMenuKeyEnter);
    EXPECT_EQ(WinMain(), 0);
    EXPECT_TRUE(play_.done());
    EXPECT_EQ(play_.screens,
              (std::vector<std::string>{"startvid:1:copyrigh", "startvid:2:intro", "menu:19:start01", "menudial:10:dlg10"}));
    EXPECT_EQ(play_.focus, (std::vector<std::string>{"skip", "arcade", "weekend", "quit", "yes"}));
}

TEST_F(DemoRunTest, AMinuteOnTheMainMenuStartsTheDemoRaceAlsoTheTwelfth)
{
    DemoRacesEndedWithEscape();
    play_.pass_ms = 500;
    play_.until_screen("start01")
        .then([this] { return races_.size() == 1; })
        .until_screen("start01")
        .then([] {
            SetAttractTrackCounter(11);
            return true;
        })
        .then([this] { return races_.size() == 2; })
        .until_screen("start01")
        .tap(kMenuKeyEscape);
    EXPECT_EQ(WinMain(), 0);
    EXPECT_TRUE(play_.done());
    ASSERT_EQ(races_.size(), 2u);
    EXPECT_EQ(races_[0].track, "Island");
    EXPECT_EQ(races_[1].track, "Sentul");
    for (const DemoRunTest::RaceRun& race : races_) {
        EXPECT_EQ(race.flags, kAppFlagDemo);
        EXPECT_EQ(race.session, kSessionTypeArcade);
    }
    EXPECT_EQ(AttractTrackCounter(), 0);
    for (const auto& box : platform::recorded_message_boxes())
        ADD_FAILURE() << box.text;
}

TEST_F(DemoRunTest, ADisplayThatCannotBeSetUpEndsTheProgramWithOne)
{
    // The display driver opens twice to list the drivers, and then not
    // again for the menus' display.
    platform::fail_after(platform::Fault::DisplayOpen, 2);
    EXPECT_EQ(WinMain(), 1);
    EXPECT_TRUE(play_.screens.empty());
    const auto boxes = platform::recorded_message_boxes();
    ASSERT_EQ(boxes.size(), 1u) << "the renderer's message, once";
    EXPECT_EQ(boxes[0].caption, kRenderErrorCaption);
    EXPECT_TRUE(MenuDisplayFailed());
}

} // namespace
