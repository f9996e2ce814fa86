// The menu run loop on a small menu set: the readers' keys and the pointer
// going to the screens, the edit lock, the idle timer and the
// demonstration races, the resume state after a race, dialogues, reloads,
// and a display that cannot be set up.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "app/startup/win_main.h"
#include "champ/best_times.h"
#include "champ/champ_objects.h"
#include "champ/championship.h"
#include "champ/game_settings.h"
#include "champ/race_preparation.h"
#include "engine/base/engine.h"
#include "engine/render/lib2d_picture.h"
#include "menu/form.h"
#include "menu/menu_input.h"
#include "sound/sound_library.h"
#include "tests/menu/run_loop_fixture.h"

using run_loop_test::kArcadeState;
using run_loop_test::kMainState;
using run_loop_test::kPassMs;
using run_loop_test::RunLoopTest;
using run_loop_test::ScriptedPlay;

namespace {

MenuManager& Main()
{
    return *MainMenuManager();
}

// The name of the focused control of the main manager's current screen.
std::string Focused()
{
    const Form* screen = Main().CurrentScreen();
    const Control* control = screen ? screen->Element(screen->m_nFocus) : nullptr;
    return control ? control->Name() : "";
}

class MenuLoopTest : public RunLoopTest {
protected:
    void SetUp() override
    {
        RunLoopTest::SetUp();
        run_loop_test::write_menu_set(data_);
    }
    std::int32_t RunFrontEnd() { return RunMenu("menu", kMainMenuFlags, -1); }

    ScriptedPlay play_;
};

TEST_F(MenuLoopTest, TheMainMenuComesUpAndEscEndsTheSet)
{
    play_.until_screen("start01").tap(kMenuKeyF12).tap(kMenuKeyEscape);
    EXPECT_EQ(RunFrontEnd(), 0);
    EXPECT_TRUE(play_.done());
    EXPECT_TRUE(std::filesystem::exists(data_ / "scre000.bmp")) << "F12 keeps the screen";
    EXPECT_FALSE(std::filesystem::exists(data_ / "scre001.bmp")) << "once";
    EXPECT_EQ(play_.screens, std::vector<std::string>{"menu:19:start01"}) << "the start state 18 shows as 19";
    EXPECT_EQ(play_.focus, std::vector<std::string>{"arcade"});
    EXPECT_EQ(Main().m_nState, 0);
    EXPECT_EQ(Main().m_nLastCommand, 0);
    // Leaving freed the screens (the tables stay for the next run), the
    // dialogues were loaded with the set and freed with it, the 3D context
    // and the pointer picture went.
    EXPECT_FALSE(Main().Screen(0)->IsLoaded());
    EXPECT_EQ(Main().ScreenCount(), 2);
    EXPECT_EQ(DialogueMenuManager()->ScreenCount(), 1);
    EXPECT_FALSE(DialogueMenuManager()->Screen(0)->IsLoaded());
    EXPECT_EQ(current_engine, nullptr);
    EXPECT_EQ(MenuPointerPicture()->count, 0);
    EXPECT_EQ(the_render_device().width, 640);
    EXPECT_TRUE(platform::recorded_message_boxes().empty());
}

TEST_F(MenuLoopTest, ClosingTheWindowEndsTheSetWithNothingToRun)
{
    app_->HRes = 800;
    app_->VRes = 600;
    play_.until_screen("start01").then([this] {
        // The menus' display: 640 x 480, the races' resolution kept.
        platform::Rect client;
        EXPECT_TRUE(platform::get_client_rect(app_->m_hWnd, client));
        EXPECT_EQ(client.right, 640);
        EXPECT_EQ(client.bottom, 480);
        EXPECT_EQ(the_render_device().width, 640);
        EXPECT_EQ(app_->HRes, 800);
        EXPECT_TRUE(platform::post_message(app_->m_hWnd, platform::WM_CLOSE, 0, 0));
        return true;
    });
    EXPECT_EQ(RunFrontEnd(), 0);
    EXPECT_TRUE(play_.done());
    EXPECT_EQ(g_bQuit, 1);
    // With the quit byte set a set returns at once, showing nothing.
    play_.clear();
    EXPECT_EQ(RunFrontEnd(), 0);
    EXPECT_TRUE(play_.screens.empty());
}

TEST_F(MenuLoopTest, FocusMovesWhenDownIsReleasedNotWhileItIsHeld)
{
    play_.until_screen("start01")
        .then([] {
            input_test::Key(kMenuKeyDownArrow, true);
            return true;
        })
        .wait(200)
        .then([] {
            EXPECT_EQ(Focused(), "arcade") << "Down held: the focus stays";
            input_test::Key(kMenuKeyDownArrow, false);
            return true;
        })
        .wait(2 * kPassMs)
        .then([] {
            EXPECT_EQ(Focused(), "quit");
            return true;
        })
        // A key pressed while another is held waits for it.
        .then([] {
            input_test::Key(kMenuKeyUpArrow, true);
            return true;
        })
        .wait(3 * kPassMs)
        .then([] {
            input_test::Key(kMenuKeyEscape, true);
            input_test::Key(kMenuKeyEscape, false);
            return true;
        })
        .wait(5 * kPassMs)
        .then([] {
            EXPECT_EQ(Main().m_nState, kMainState) << "Esc was not seen while Up is latched";
            input_test::Key(kMenuKeyUpArrow, false);
            return true;
        })
        .wait(3 * kPassMs)
        .then([] {
            EXPECT_EQ(Focused(), "arcade");
            return true;
        })
        .tap(kMenuKeyEscape);
    EXPECT_EQ(RunFrontEnd(), 0);
    EXPECT_TRUE(play_.done());
    EXPECT_EQ(play_.focus, (std::vector<std::string>{"arcade", "quit", "arcade"}));
}

TEST_F(MenuLoopTest, WithTheEditLockEscDoesNothingAndThePointerStays)
{
    play_.until_screen("start01")
        .then([] {
            Main().m_bEditLock = 1;
            g_nPointerX = 100;
            g_nPointerY = 100;
            input_test::MouseMove(10, 10);
            input_test::Key(kMenuKeyEscape, true);
            input_test::Key(kMenuKeyEscape, false);
            return true;
        })
        .wait(5 * kPassMs)
        .then([] {
            EXPECT_EQ(Main().m_nState, kMainState);
            EXPECT_EQ(g_nPointerX, 100);
            EXPECT_EQ(g_nPointerY, 100);
            Main().m_bEditLock = 0;
            // The pointer stops at the edges: 638 + 3 x 5 is 639; 2 - 3 x 1 is 0.
            g_nPointerX = 638;
            g_nPointerY = 2;
            input_test::MouseMove(5, -1);
            return true;
        })
        .wait(2 * kPassMs)
        .then([] {
            EXPECT_EQ(g_nPointerX, 639);
            EXPECT_EQ(g_nPointerY, 0);
            EXPECT_EQ(Main().m_bPointerVisible, 1);
            g_nPointerY = 478;
            input_test::MouseMove(0, 4);
            return true;
        })
        .wait(2 * kPassMs)
        .then([] {
            EXPECT_EQ(g_nPointerY, 479);
            return true;
        })
        .tap(kMenuKeyEscape);
    EXPECT_EQ(RunFrontEnd(), 0);
    EXPECT_TRUE(play_.done());
}

TEST_F(MenuLoopTest, ThePointerPressesAButton)
{
    // "arcade" is at (40, 300) to (160, 324): the pointer moves there from
    // the centre (320, 240) and clicks.
    play_.until_screen("start01")
        .then([] {
            input_test::MouseMove(-60, 24);
            return true;
        })
        .wait(2 * kPassMs)
        .then([] {
            EXPECT_EQ(g_nPointerX, 140);
            EXPECT_EQ(g_nPointerY, 312);
            EXPECT_EQ(Focused(), "arcade");
            input_test::MouseButton(1, true);
            return true;
        })
        .wait(2 * kPassMs)
        .then([] {
            input_test::MouseButton(1, false);
            return true;
        })
        .until_screen("Arcade04")
        .tap(kMenuKeyEscape)
        .until_screen("start01")
        .tap(kMenuKeyEscape);
    EXPECT_EQ(RunFrontEnd(), 0);
    EXPECT_TRUE(play_.done());
}

TEST_F(MenuLoopTest, AJoystickMovesTheFocusAndPresses)
{
    const int id = platform::attach_test_joystick(input_test::Stick("pad", 2, 2));
    TheInputManager()->Poll();
    ASSERT_EQ(FindActiveJoystick(), 0);
    const auto push = [id](int axis, std::int32_t value) {
        return [id, axis, value] {
            platform::test_joystick_axis(id, axis, value);
            return true;
        };
    };
    play_.until_screen("start01")
        .then(push(1, 65535))
        .wait(3 * kPassMs)
        .then(push(1, 32768))
        .wait(3 * kPassMs)
        .then([] {
            EXPECT_EQ(Focused(), "quit");
            return true;
        })
        .then(push(1, 0))
        .wait(3 * kPassMs)
        .then(push(1, 32768))
        .wait(3 * kPassMs)
        .then([id] {
            EXPECT_EQ(Focused(), "arcade");
            platform::test_joystick_button(id, 0, true);
            return true;
        })
        .wait(3 * kPassMs)
        .then([id] {
            platform::test_joystick_button(id, 0, false);
            return true;
        })
        .until_screen("Arcade04")
        .tap(kMenuKeyEscape)
        .until_screen("start01")
        .tap(kMenuKeyEscape);
    EXPECT_EQ(RunFrontEnd(), 0);
    EXPECT_TRUE(play_.done());
}

TEST_F(MenuLoopTest, ARaceFromAResumeStateComesBackThereAndDoesNotRunAgain)
{
    Championship& champ = TheChampionship();
    champ.GameMode = 0;  // arcade, as the arcade screen sets it
    champ.CurrentEventIndex = 10;
    play_.until_screen("start01").tap(kMenuKeyEnter).until_screen("Arcade04").tap(kMenuKeyEnter);
    EXPECT_EQ(RunFrontEnd(), 1);
    EXPECT_TRUE(play_.done());
    EXPECT_EQ(Main().m_nLastCommand, run_loop_test::kGoCommand);
    // The race is prepared from the menu choices; the menus come back to 53.
    EXPECT_STREQ(app_->m_szTrack, "Sugo");
    EXPECT_EQ(app_->m_nSession, kSessionTypeArcade);
    EXPECT_EQ(Main().m_nState, kArcadeState);
    EXPECT_EQ(Main().m_nNextState, kArcadeState);
    EXPECT_EQ(Main().m_nReturnState, run_loop_test::kRaceEndState);

    // The next run starts on the arcade screen and waits there.
    play_.clear();
    play_.wait(2000)
        .then([] {
            EXPECT_EQ(Main().m_nState, kArcadeState);
            return true;
        })
        .tap(kMenuKeyEscape)
        .until_screen("start01")
        .tap(kMenuKeyEscape);
    EXPECT_EQ(RunFrontEnd(), 0);
    EXPECT_EQ(play_.screens, (std::vector<std::string>{"menu:53:Arcade04", "menu:19:start01"}));
}

// The network lobby ends the main set for a race by going to state 0 with
// no command given: its race-start byte makes the run end as a race (1),
// where the last command 0 alone ends the program.
TEST_F(MenuLoopTest, TheLobbysRaceStartEndsTheSetAsARace)
{
    for (const bool raceStart : {false, true}) {
        SCOPED_TRACE(raceStart);
        play_.clear();
        Main().m_nState = Main().m_nNextState = kMainState;
        play_.until_screen("start01").then([raceStart] {
            g_bMenuRaceStart = raceStart;
            Main().m_nNextState = 0;
            return true;
        });
        app_->Flags |= kAppFlagNetwork;
        EXPECT_EQ(RunFrontEnd(), raceStart ? 1 : 0);
        EXPECT_EQ(Main().m_nLastCommand, 0);
        EXPECT_FALSE(g_bMenuRaceStart) << "the run takes it";
        app_->Flags &= ~kAppFlagNetwork;
    }
}

// The main menu's "quit" (UserID 0) asks dialogue 10 (the screens' handler
// of "start01"), which runs over the main menu and answers.
TEST_F(MenuLoopTest, ADialogueRunsOverTheScreenAndAnswers)
{
    const Form* overlay = nullptr;
    // "no" first: the menu stays; then "yes".
    play_.until_screen("start01")
        .tap(kMenuKeyDownArrow)
        .tap(kMenuKeyEnter)
        .until_screen("dlg10")
        .then([&overlay] {
            overlay = DialogueMenuManager()->m_pOverlay;
            EXPECT_EQ(CurrentMenuManager(), DialogueMenuManager());
            return true;
        })
        .tap(kMenuKeyDownArrow)
        .tap(kMenuKeyEnter)
        .wait(5 * kPassMs)
        .then([] {
            EXPECT_EQ(CurrentMenuManager(), MainMenuManager());
            EXPECT_EQ(Main().m_nState, kMainState);
            return true;
        })
        .tap(kMenuKeyEnter)
        .until_screen("dlg10")
        .tap(kMenuKeyEnter);
    EXPECT_EQ(RunFrontEnd(), 0);
    EXPECT_TRUE(play_.done());
    EXPECT_EQ(overlay, Main().Screen(0)) << "the dialogue is drawn over the main menu";
    EXPECT_EQ(play_.screens,
              (std::vector<std::string>{"menu:19:start01", "menudial:10:dlg10", "menudial:10:dlg10"}));
    EXPECT_EQ(Main().m_nState, 0);
    EXPECT_EQ(CurrentMenuManager(), MainMenuManager());
    // The program's dialogue manager keeps its tables; the screens went with
    // the main set.
    EXPECT_EQ(DialogueMenuManager()->ScreenCount(), 1);
}

TEST_F(MenuLoopTest, AScreenSetOfItsOwnIsRunOnATemporaryManager)
{
    // "startvid" state 1 has no screen: it ends at once with command 0, its
    // manager goes, and the main one is current again.
    EXPECT_EQ(RunScreen("startvid", 1), 0);
    EXPECT_EQ(CurrentMenuManager(), MainMenuManager());
    EXPECT_TRUE(play_.screens.empty());
    EXPECT_EQ(Main().ScreenCount(), 0) << "the main set is not loaded by it";
    // The display was set up without a loading picture.
    EXPECT_EQ(the_render_device().ready, 1);
}

TEST_F(MenuLoopTest, AReloadRequestLoadsTheSetAgainAndGoesBack)
{
    // On 53, "right" gives a command that stays (53 becomes the return
    // state); then state -1 asks for a reload, which comes back through
    // command 0 of 53: the main menu.
    play_.until_screen("start01")
        .tap(kMenuKeyEnter)
        .until_screen("Arcade04")
        .tap(kMenuKeyRightArrow)
        .wait(3 * kPassMs)
        .then([] {
            EXPECT_EQ(Main().m_nReturnState, kArcadeState);
            Main().m_nNextState = -1;
            return true;
        })
        .until_screen("start01")
        .tap(kMenuKeyEscape);
    EXPECT_EQ(RunFrontEnd(), 0);
    EXPECT_TRUE(play_.done());
    EXPECT_EQ(play_.screens,
              (std::vector<std::string>{"menu:19:start01", "menu:53:Arcade04", "menu:19:start01"}));
}

// ---- Idle time and demonstration races ----

struct DemoRace {
    std::string track;
    std::int32_t riders = 0;
    std::array<std::int32_t, 32> ids{};
    std::uint32_t flags = 0;
    std::uint32_t at = 0;  // the test clock
};

class DemoRaceTest : public MenuLoopTest {
protected:
    // Races noted with their header, not run.
    void NoteRaces()
    {
        app_->SetRaceRunner([this](GameApp& app) {
            DemoRace race;
            race.track = app.m_szTrack;
            race.riders = app.m_nRiders;
            std::copy(std::begin(app.m_RiderIds), std::end(app.m_RiderIds), race.ids.begin());
            race.flags = app.Flags;
            race.at = platform::time_get_time();
            EXPECT_EQ(app.m_nSession, kSessionTypeArcade);
            EXPECT_EQ(app.m_nHumans, 0);
            EXPECT_EQ(app.m_PlayerTemplate.RiderIndex, 32) << "nobody rides";
            EXPECT_EQ(app.GfxFlags & (kGfxFlagFilter | kGfxFlagEscluder), kGfxFlagFilter | kGfxFlagEscluder);
            demos_.push_back(race);
        });
    }
    std::vector<DemoRace> demos_;
};

TEST_F(DemoRaceTest, AMinuteWithoutInputStartsTheDemoRaceOnlyOnTheMainMenu)
{
    NoteRaces();
    play_.pass_ms = 250;
    std::uint32_t back_on_main = 0;
    // A minute and more on 53: no race, and the idle timer starts again.
    play_.until_screen("start01")
        .tap(kMenuKeyEnter)
        .until_screen("Arcade04")
        .wait(61000)
        .then([&back_on_main] {
            // Back to the main menu without any input.
            Main().m_nNextState = kMainState;
            back_on_main = platform::time_get_time();
            return true;
        })
        .then([this] { return !demos_.empty(); })
        .until_screen("start01")
        .tap(kMenuKeyEscape);
    const std::uint32_t start = platform::time_get_time();
    EXPECT_EQ(RunFrontEnd(), 0);
    ASSERT_EQ(demos_.size(), 1u);
    // The timer restarted after the minute on 53, so the race waited for a
    // whole minute from then, not for the return to the main menu.
    EXPECT_GT(demos_[0].at - start, 120000u);
    EXPECT_LT(demos_[0].at - start, 121000u + 2 * play_.pass_ms);
    EXPECT_GT(demos_[0].at - back_on_main, 58000u);
    EXPECT_EQ(demos_[0].track, "Island");
    EXPECT_EQ(demos_[0].flags, kAppFlagDemo) << "a demonstration: no results kept";
    EXPECT_EQ(app_->Flags, kAppFlagMenu) << "the run flags come back";
    EXPECT_EQ(play_.screens.back(), "menu:19:start01") << "the menus are loaded again";
}

TEST_F(DemoRaceTest, TheDemoRacesGoRoundTheTwelveTracksWithTheirOwnFastestRiders)
{
    NoteRaces();
    play_.pass_ms = 1000;
    TheGameSettings().Race.NumArcadeRiders = 20;
    play_.until_screen("start01").then([this] { return demos_.size() == 13; }).tap(kMenuKeyEscape);
    EXPECT_EQ(RunFrontEnd(), 0);
    ASSERT_EQ(demos_.size(), 13u);
    for (int i = 0; i < 13; ++i) {
        SCOPED_TRACE(i);
        const int track = i % 12;
        EXPECT_EQ(demos_[i].track, kAttractTracks[track]);
        EXPECT_EQ(demos_[i].riders, 20);
        // The grid is the order of the track's own times (the twelfth race,
        // Sentul, is track 11); riders past the 18 with times ride as
        // themselves.
        std::array<std::int32_t, kTimesRiders> order{};
        LoadBestTimes(track, order);
        for (int r = 0; r < kTimesRiders; ++r)
            EXPECT_EQ(demos_[i].ids[r], order[r]);
        EXPECT_EQ(demos_[i].ids[18], 18);
        EXPECT_EQ(demos_[i].ids[19], 19);
    }
    EXPECT_EQ(AttractTrackCounter(), 1);
}

TEST_F(DemoRaceTest, TheRiderCountOfTheClassAndTheRaceHeaderLimits)
{
    NoteRaces();
    play_.pass_ms = 1000;
    // 33 asks for the championship class's count (class 5: 23 riders).
    TheGameSettings().Race.NumArcadeRiders = 33;
    TheChampionship().ClassIndex = 5;
    play_.until_screen("start01").then([this] { return demos_.size() == 1; });
    play_.then([] {
        TheGameSettings().Race.NumArcadeRiders = 70;  // more than a race holds
        return true;
    });
    play_.then([this] { return demos_.size() == 2; }).tap(kMenuKeyEscape);
    EXPECT_EQ(RunFrontEnd(), 0);
    ASSERT_EQ(demos_.size(), 2u);
    EXPECT_EQ(demos_[0].riders, 23);
    EXPECT_EQ(demos_[1].riders, 32);
}

TEST_F(DemoRaceTest, TheDemoRaceIsTheGamesOwnRaceAlsoTheTwelfth)
{
    // The twelfth track of the order: its riders come from track 11.
    SetAttractTrackCounter(11);
    play_.pass_ms = 500;
    ShortRaces(3, [](Race&, int frame) {
        // A demonstration ends on Escape.
        if (frame == 30) {
            input_test::Key(kMenuKeyEscape, true);
            input_test::Key(kMenuKeyEscape, false);
        }
    });
    const auto results = [] {
        const ChampionshipEvent& e = TheChampionship().CurrentEvent();
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(e.Results);
        return std::vector<std::uint8_t>(bytes, bytes + sizeof e.Results);
    };
    const std::vector<std::uint8_t> before = results();
    play_.until_screen("start01").then([this] { return races_.size() == 1; }).until_screen("start01");
    play_.wait(1000).tap(kMenuKeyEscape);
    EXPECT_EQ(RunFrontEnd(), 0);
    EXPECT_TRUE(play_.done());
    ASSERT_EQ(races_.size(), 1u);
    EXPECT_EQ(races_[0].track, "Sentul");
    EXPECT_EQ(races_[0].flags, kAppFlagDemo);
    EXPECT_GT(races_[0].frames, 30);
    EXPECT_EQ(AttractTrackCounter(), 0) << "the next one is Island again";
    EXPECT_EQ(app_->m_pRace, nullptr);
    EXPECT_EQ(results(), before) << "no results are kept";
    EXPECT_EQ(play_.screens, (std::vector<std::string>{"menu:19:start01", "menu:19:start01"}));
    for (const auto& box : platform::recorded_message_boxes())
        ADD_FAILURE() << box.text;
}

// ---- The display and the sound ----

TEST_F(MenuLoopTest, MenusStartTheSoundWithTheVolumeSettings)
{
    GameSettings& settings = TheGameSettings();
    settings.Audio.Sound = 1;
    settings.Audio.SoundVolume = 0.75f;
    settings.Audio.MusicVolume = 0.25f;
    ASSERT_TRUE(LoadMenuScreens("menu", kMainMenuFlags));
    SoundLibrary* sound = TheSoundLibrary();
    EXPECT_TRUE(sound->Initialised());
    EXPECT_FLOAT_EQ(sound->m_fEffectsVolume, 0.75f);
    EXPECT_FLOAT_EQ(sound->m_fStreamVolume[0], 0.25f);
    EXPECT_NE(current_engine, nullptr) << "flag 4 makes the 3D context";
    EXPECT_EQ(current_engine->mode_word, 2u) << "a 3D device draws the scenes";
    EXPECT_EQ(g_nPointerX, 320);
    EXPECT_EQ(g_nPointerY, 240);
    LeaveMenu(kMainMenuFlags);
    EXPECT_EQ(current_engine, nullptr);

    // A sound library that cannot start: the game goes on silently.
    sound->Shutdown();
    platform::fail_next(platform::Fault::AudioOpen);
    ASSERT_TRUE(LoadMenuScreens("menu", kMainMenuFlags));
    EXPECT_FALSE(sound->Initialised());
    EXPECT_EQ(settings.Audio.Sound, 0u);
    EXPECT_EQ(app_->GfxFlags & kGfxFlagSound, 0u);
    LeaveMenu(kMainMenuFlags);
}

TEST_F(MenuLoopTest, TheSoftwareRendererGivesTheScenesTheirPalette)
{
    app_->D3DDriver = 0;  // the game's own rasteriser
    ASSERT_TRUE(LoadMenuScreens("menu", kMainMenuFlags));
    EXPECT_EQ(the_render_device().render_type, kRenderSoftware);
    ASSERT_NE(current_engine, nullptr);
    EXPECT_EQ(current_engine->mode_word, 1u);
    EXPECT_EQ(current_engine->render_type, engine::software_render_type);
    LeaveMenu(kMainMenuFlags);
}

} // namespace
