// The demo menu sets as shipped, driven through the menu manager with the
// game's screen handlers installed: every screen loads, every state leads
// somewhere, and the main menu, the arcade track screen, the quit question
// and the title card behave as a player meets them.
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/game_app.h"
#include "app/game_error.h"
#include "app/m_cparse.h"
#include "champ/champ_objects.h"
#include "champ/championship.h"
#include "champ/game_settings.h"
#include "champ/race_preparation.h"
#include "engine/render/lib2d_picture.h"
#include "menu/command_button.h"
#include "menu/form.h"
#include "menu/image.h"
#include "menu/label.h"
#include "menu/menu_manager.h"
#include "menu/screen_hooks.h"
#include "platform/clock.h"
#include "screens/front_screens.h"
#include "screens/navigation.h"
#include "screens/screen_binding.h"
#include "sound/sound_library.h"
#include "tests/menu/menu_fixture.h"
#include "tests/support/demo_data.h"
#include "tools/datakit/demo_menus.h"

namespace {

// The demo data, installed once for all the tests here.
const std::filesystem::path& demo_folder()
{
    static const std::filesystem::path folder = [] {
        std::filesystem::path dir = torvane_test::temp_root() / "demo-menus";
        std::string error;
        EXPECT_TRUE(torvane_test::install_demo_data(dir, error)) << error;
        return dir;
    }();
    return folder;
}

// The dialogue answerer of the tests: records what was asked, answers as told.
std::vector<std::int32_t> g_Asked;
std::int32_t g_nAnswer = 0;
std::int32_t AnswerDialogue(const char* set, std::int32_t state)
{
    EXPECT_STREQ(set, "menudial");
    g_Asked.push_back(state);
    return g_nAnswer;
}

// The menu fixture's display and manager, in the demo data's folder, with
// the game's settings, championship and screen handlers.
class DemoMenus : public menu_test::MenuFixture {
protected:
    DemoMenus() : demo_cwd_(demo_folder()) {}

    void SetUp() override
    {
        MenuFixture::SetUp();
        // The arcade bike choice of the main set holds a carousel.
        open_menu_engine("menu\\3d\\podium.pal");
        SetTheGameSettings(&settings_);
        champ_.Start();
        InstallScreenHandlers();
        SetDialogueRunner(&AnswerDialogue);
        g_Asked.clear();
        g_nAnswer = 0;
    }
    void TearDown() override
    {
        SetDialogueRunner(nullptr);
        SetScreenHooks(ScreenHooks{});
        platform::clear_test_clock();
        MenuFixture::TearDown();
        SetTheGameSettings(nullptr);
    }

    // One pass of the run loop's menu update; the screen it shows.
    Form* update()
    {
        manager_.Update();
        return manager_.m_bRunning ? manager_.Screen(manager_.m_nShownScreen) : nullptr;
    }

    // A key as the run loop hands it on: a hot key presses its button,
    // Enter the focused control, Esc goes back.
    void key(std::int32_t code)
    {
        const std::int32_t hot = manager_.FindHotKey(code);
        if (hot >= 0) {
            manager_.SetFocus(hot);
            manager_.PressFocused();
            manager_.ReleaseFocused();
        } else if (code == 1) {
            manager_.ExecuteCommand(0);
        } else if (code == 28) {
            manager_.PressFocused();
            manager_.ReleaseFocused();
        } else if (code == 208) {
            manager_.FocusNext();
        }
    }

    static std::string focused_name(Form& form)
    {
        return form.m_nFocus >= 0 ? form.Element(form.m_nFocus)->Name() : std::string("(none)");
    }

    // The screen as a picture, when TORVANE_MENU_SHOTS names a folder.
    void keep_shot(const char* name)
    {
        if (const char* folder = std::getenv("TORVANE_MENU_SHOTS")) {
            std::filesystem::create_directories(folder);
            torvane_test::write_png((std::filesystem::path(folder) / (std::string(name) + ".png")).string(),
                                    screenshot());
        }
    }

    torvane_test::ScopedCwd demo_cwd_;
    GameSettings settings_;
    ChampObjects champ_;
};

const std::set<std::int32_t> kResumeStates = {4, 9, 53, 63, 64, 65, 66, 67, 68, 69, 70,
                                              71, 72, 73, 74, 75, 76, 77, 78, 79, 80, 131};

TEST_F(DemoMenus, EverySetLoadsEveryScreenAndEveryStateLeadsToAScreenOrAnEnd)
{
    for (const char* file : {".\\menu\\menu.dat", ".\\menu\\menudial.dat", ".\\menu\\startvid.dat"}) {
        SCOPED_TRACE(file);
        MenuManager set;
        SetCurrentMenuManager(&set);
        set.Load(file);
        set.LoadAllScreens();
        for (std::int32_t i = 0; i < set.ScreenCount(); ++i)
            EXPECT_TRUE(set.Screen(i)->IsLoaded()) << set.Screen(i)->Name();
        // The start state, every state a transition leads to and every
        // state it leaves have a screen or end the set; state 0 ends it.
        const std::int32_t start = set.m_nInitState == 18 ? 19 : set.m_nInitState;
        std::vector<std::int32_t> states = {start, 0};
        for (const MenuManager::Transition& t : set.m_Transitions) {
            states.push_back(t.state);
            states.push_back(t.next);
        }
        for (std::int32_t state : states)
            EXPECT_NO_THROW(set.ScreenForState(state)) << "state " << state;
        EXPECT_EQ(set.ScreenForState(0), -1);
        // A command that ends the set with a race comes from a state the
        // menus resume in after the race.
        if (set.m_Name == "menu")
            for (const MenuManager::Transition& t : set.m_Transitions)
                if (t.command != 0 && set.ScreenForState(t.next) < 0) {
                    EXPECT_TRUE(kResumeStates.count(t.state)) << "a race starts from state " << t.state;
                }
        set.Reset();
    }
    SetCurrentMenuManager(&manager_);
}

TEST_F(DemoMenus, TheSetFilesAreFoundInTheMenuArchiveToo)
{
    // Only the archive of the menu folder, beside nothing else.
    const std::filesystem::path alone = torvane_test::make_temp_dir("menu-archive");
    std::filesystem::copy_file(demo_folder() / "menu.mix", alone / "menu.mix");
    torvane_test::ScopedCwd cwd(alone);
    for (const char* file : {".\\menu\\menu.dat", ".\\menu\\menudial.dat", ".\\menu\\startvid.dat"}) {
        SCOPED_TRACE(file);
        M_CParse parser;
        ASSERT_TRUE(parser.Open(file));
        EXPECT_TRUE(parser.FindBegin("PATH"));
        char word[kTokenCapacity];
        ASSERT_TRUE(parser.GetToken(word, sizeof word));
        EXPECT_STREQ(word, ".\\menu");
    }
}

TEST_F(DemoMenus, TheMainSetHasTheScreenGroupItsSamplesAndItsPointerAndCover)
{
    settings_.Audio.Sound = 1;
    SoundLibrary sound;
    ASSERT_EQ(sound.Init(nullptr, false), kSoundOk);
    SetTheSoundLibrary(&sound);
    manager_.Load(".\\menu\\menu.dat");
    SetTheSoundLibrary(nullptr);
    // Screens 2, 3 and 53 load together: the bike choice, the arcade menu
    // and the track screen.
    EXPECT_GE(manager_.ScreenCount(), datakit::kDemoMainMenuScreens);
    EXPECT_STREQ(manager_.Screen(manager_.ScreenForState(53))->Name(), "Arcade04");
    EXPECT_EQ(manager_.ScreenForState(53), 53);
    EXPECT_STREQ(manager_.Screen(2)->Name(), "Arcade03");
    EXPECT_STREQ(manager_.Screen(3)->Name(), "Arcade01");
    manager_.LoadScreen(53, false);
    EXPECT_TRUE(manager_.Screen(2)->IsLoaded());
    EXPECT_TRUE(manager_.Screen(3)->IsLoaded());
    // Thirteen samples, each found from the menu folder.
    for (std::int32_t id = 0; id < 13; ++id)
        EXPECT_GE(sound.FindSample(id), 0) << "sample " << id;
    EXPECT_LT(sound.FindSample(13), 0);
    // The preloads: the menu font with its two looks, the twelve circuits.
    EXPECT_EQ(manager_.GameFontCount(), 3);
    EXPECT_GE(manager_.SpriteCount(), 12);

    lib2d_picture pointer;
    EXPECT_EQ(pointer.load(".\\menu\\mouse.pcx", 32, 32, 3, 3, 0.0f, 0), 1);
    lib2d_picture cover;
    EXPECT_EQ(cover.load(".\\gfx\\loading\\cover.pcx", 640, 480, 1, 1, 0.0f, 0), 1);
}

TEST_F(DemoMenus, TheMainMenuLeadsToTheArcadeTrackScreenAndARaceOnTheChosenTrack)
{
    manager_.Load(".\\menu\\menu.dat");
    Form* screen = update();
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(manager_.m_nState, 19);
    EXPECT_STREQ(screen->Name(), "start01");
    EXPECT_EQ(focused_name(*screen), "arcade");
    keep_shot("start01");

    // As after the kit's "Default.chp" has loaded: a simulation
    // championship (mode 4), which would not race as arcade.
    TheChampionship().GameMode = 4;
    settings_.ArcadeTrack = 3;
    key(28);
    screen = update();
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(manager_.m_nState, 2);
    EXPECT_STREQ(screen->Name(), "Arcade01");
    keep_shot("Arcade01");
    // "Single race" (Enter).
    key(28);
    screen = update();
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(manager_.m_nState, 53);
    EXPECT_STREQ(screen->Name(), "Arcade04");
    EXPECT_EQ(focused_name(*screen), "go");
    Image* track = dynamic_cast<Image*>(screen->FindElement("TRACK"));
    ASSERT_NE(track, nullptr);
    EXPECT_EQ(track->m_Strip.Count(), 12);
    EXPECT_EQ(track->m_Strip.m_nCurrent, 3); // the arcade track of the settings
    keep_shot("Arcade04");

    // Right twice: the strip moves on and every move records the track.
    key(205);
    key(205);
    update();
    EXPECT_EQ(track->m_Strip.m_nCurrent, 5);
    EXPECT_EQ(TheChampionship().GameMode, 0);
    EXPECT_EQ(TheChampionship().CurrentEventIndex, 5);
    EXPECT_EQ(settings_.ArcadeTrack, 5);
    EXPECT_EQ(manager_.m_nState, 53);

    // Enter goes on to the bike; Enter takes the bike the carousel shows,
    // Enter again automatic gears, and that races: the set ends with a
    // command, and the race is prepared for that track as an arcade race.
    key(28);
    screen = update();
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(manager_.m_nState, 4);
    EXPECT_STREQ(screen->Name(), "Arcade03");
    key(28);
    update();
    EXPECT_EQ(manager_.m_nState, 4);
    key(28);
    EXPECT_EQ(update(), nullptr);
    EXPECT_NE(manager_.m_nLastCommand, 0);
    EXPECT_EQ(manager_.m_nReturnState, 4);
    EXPECT_NO_THROW(PrepareRace());
    EXPECT_STREQ(app_.m_szTrack, "Laguna");
    EXPECT_EQ(app_.m_nSession, kSessionTypeArcade);
}

TEST_F(DemoMenus, LeftFromTheFirstCircuitShowsTheLastAndEscGoesBackThenEnds)
{
    manager_.Load(".\\menu\\menu.dat");
    update();
    key(28);
    update();
    key(28);
    Form* screen = update();
    ASSERT_NE(screen, nullptr);
    key(203);
    update();
    EXPECT_EQ(dynamic_cast<Image*>(screen->FindElement("track"))->m_Strip.m_nCurrent, 11);
    EXPECT_EQ(TheChampionship().CurrentEventIndex, 11);

    // Esc: the arcade menu, the main menu, the end.
    key(1);
    screen = update();
    ASSERT_NE(screen, nullptr);
    EXPECT_STREQ(screen->Name(), "Arcade01");
    key(1);
    screen = update();
    ASSERT_NE(screen, nullptr);
    EXPECT_STREQ(screen->Name(), "start01");
    key(1);
    EXPECT_EQ(update(), nullptr);
    EXPECT_EQ(manager_.m_nState, 0);
    EXPECT_EQ(manager_.m_nLastCommand, 0);
    EXPECT_TRUE(g_Asked.empty());
}

TEST_F(DemoMenus, QuitAsksDialogueTenAndEndsOnlyWhenAnsweredYes)
{
    manager_.Load(".\\menu\\menu.dat");
    Form* screen = update();
    ASSERT_NE(screen, nullptr);
    key(208);
    EXPECT_EQ(focused_name(*screen), "weekend");
    key(208);
    EXPECT_EQ(focused_name(*screen), "quit");

    g_nAnswer = 0;
    key(28);
    ASSERT_NE(update(), nullptr);
    EXPECT_EQ(g_Asked, std::vector<std::int32_t>{10});
    EXPECT_EQ(manager_.m_nState, 19);

    g_nAnswer = 1;
    key(16); // its hot key, Q
    EXPECT_EQ(update(), nullptr);
    EXPECT_EQ(g_Asked, (std::vector<std::int32_t>{10, 10}));
    EXPECT_EQ(manager_.m_nLastCommand, 0);
}

TEST_F(DemoMenus, TheQuitDialogueShowsItsPageAndAnswersYesOrNo)
{
    MenuManager& dialogue = manager_;
    dialogue.Load(".\\menu\\menudial.dat");
    dialogue.LoadAllScreens();
    for (const auto& [answer_key, command] : {std::pair{21, 1}, std::pair{49, 0}, std::pair{28, 1}, std::pair{1, 0}}) {
        SCOPED_TRACE(answer_key);
        dialogue.m_bRunning = 1;
        dialogue.m_nShownScreen = -1;
        dialogue.m_nState = dialogue.m_nNextState = datakit::kDemoQuitDialogue;
        Form* screen = update();
        ASSERT_NE(screen, nullptr);
        EXPECT_STREQ(screen->Name(), "dlg10");
        Label* message = dynamic_cast<Label*>(screen->FindElement("dlg_message"));
        ASSERT_NE(message, nullptr);
        EXPECT_EQ(message->CurrentPage(), 0);
        if (answer_key == 21)
            keep_shot("dlg10");
        key(answer_key);
        EXPECT_EQ(update(), nullptr);
        EXPECT_EQ(dialogue.m_nLastCommand, command);
    }
}

TEST_F(DemoMenus, TheTitleCardEndsByItselfOrWithEnter)
{
    platform::set_test_clock(1000);
    manager_.Load(".\\menu\\startvid.dat");
    Form* screen = update();
    ASSERT_NE(screen, nullptr);
    EXPECT_STREQ(screen->Name(), "copyrigh");
    keep_shot("copyrigh");
    platform::advance_test_clock(kTitleCardMs - 1);
    EXPECT_NE(update(), nullptr);
    platform::advance_test_clock(1);
    update();
    // Then the start-up video plays over the screen once and gives
    // command 0, which ends the set.
    Form* video = update();
    ASSERT_NE(video, nullptr);
    EXPECT_STREQ(video->Name(), "intro");
    EXPECT_EQ(update(), nullptr);
    EXPECT_EQ(manager_.m_nLastCommand, 0);

    // Shown again, Enter skips it at once (on to the video).
    manager_.m_bRunning = 1;
    manager_.m_nShownScreen = -1;
    manager_.m_nState = manager_.m_nNextState = datakit::kDemoStartupState;
    ASSERT_NE(update(), nullptr);
    key(28);
    update();
    EXPECT_EQ(manager_.m_nState, datakit::kDemoIntroState);
}

} // namespace
