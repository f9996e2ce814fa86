// The podium scene after an event and at the end of a season, its models'
// colours, the screen's way out when there is no podium, and the credits.
#include <bit>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "champ/champ_objects.h"
#include "champ/championship.h"
#include "champ/game_settings.h"
#include "tests/support/demo_data.h"
#include "engine/base/engine.h"
#include "engine/base/name_hash.h"
#include "engine/model/ml_modelinfo.h"
#include "engine/model/model_lib.h"
#include "engine/model/mtr_lib.h"
#include "engine/scene/scene.h"
#include "menu/picture_box.h"
#include "menu/screen_hooks.h"
#include "menu/window.h"
#include "platform/clock.h"
#include "screens/menu_scenes.h"
#include "screens/screen_binding.h"
#include "tests/menu/menu_fixture.h"
#include "tools/datakit/champ_files_writer.h"
#include "tools/datakit/demo_menus.h"
#include "tools/datakit/demo_podium.h"
#include "tools/datakit/race_data_writer.h"
#include "tools/datakit/typed_list_writer.h"

namespace {

using menu_test::place;

constexpr std::int32_t kPlayer = 20;
constexpr std::int32_t kPodiumState = 3;   // the state of "olescene" in these tests
constexpr std::int32_t kAfter = 7;

class MenuScenesTest : public menu_test::MenuFixture {
protected:
    void SetUp() override
    {
        MenuFixture::SetUp();
        platform::set_test_clock(50000);
        std::string error;
        ASSERT_TRUE(datakit::write_demo_champ_files(data_.root(), error)) << error;
        for (int kind = 0; kind < 2; ++kind)
            for (int place = 0; place < 3; ++place)
                for (int variant = 0; variant < 3; ++variant)
                    ASSERT_TRUE(datakit::write_scene(data_.root() / "menu" / "3d",
                                                     datakit::demo_podium_scene_name(kind, place, variant),
                                                     datakit::demo_podium_scene(kind, place, variant), error))
                        << error;
        std::filesystem::create_directories(data_.root() / "Data");
        datakit::TypedListWriter info;
        datakit::add_bike_table_list(info, datakit::demo_bike_table());
        ASSERT_TRUE(info.write(data_.root() / "Data" / "Info.dat", error)) << error;
        champ_.Start();
        engine_.set_render_type(engine::software_render_type);
        current_engine = &engine_;
        InstallScreenHandlers();

        datakit::FormFileWriter podium = menu_test::screen_file("olescene");
        podium.key("UserPrepare", 1).key("UserRelease", 1);
        podium.end();
        data_.screen("olescene", podium);
        datakit::FormFileWriter other = menu_test::screen_file("other");
        other.end();
        data_.screen("other", other);
        manager_.SetScreens({"other", "olescene"});
        manager_.m_StateScreens = {{kAfter, 0}, {kPodiumState, 1}, {104, 1}, {105, 1}};
        manager_.m_Transitions = {{kPodiumState, 0, kAfter}, {104, 0, kAfter}, {105, 0, kAfter}};
        manager_.m_MenuFolder = ".";
        manager_.m_SavedFolder = ".";
    }
    void TearDown() override
    {
        manager_.Reset();
        SetScreenHooks(ScreenHooks{});
        current_engine = nullptr;
        platform::clear_test_clock();
        MenuFixture::TearDown();
    }

    // The player and the riders 0..3 finish the current event's race in
    // the order given.
    void finish(const std::vector<std::int32_t>& order)
    {
        Championship& champ = TheChampionship();
        champ.GameMode = 0;
        champ.AddEntry(kPlayer, kEntryLocalPlayer);
        for (const std::int32_t id : order)
            if (id != kPlayer)
                champ.AddEntry(id, kEntryComputer);
        champ.SetSessionKind(kSessionFirstRace);
        std::vector<RaceResultLine> lines;
        float time = 100.0f;
        for (const std::int32_t id : order) {
            RaceResultLine line;
            line.RiderId = id;
            line.TimeA = line.TimeB = line.TimeC = (time += 1.0f);
            line.Status = kRiderStatusFinished;
            line.Laps = 3;
            lines.push_back(line);
        }
        champ.StoreRaceResults(lines);
    }

    // Enters state `state` through the manager's update.
    Form* enter(std::int32_t state)
    {
        manager_.m_nState = kAfter;
        manager_.m_nShownScreen = 0;
        manager_.m_nNextState = state;
        manager_.Update();
        return manager_.Screen(manager_.m_nShownScreen);
    }

    static PictureBox* scene_box(Form& form)
    {
        Control* c = form.FindElement("OLE1");
        return c && c->m_nType == kControlPictureBox ? static_cast<PictureBox*>(c) : nullptr;
    }

    ChampObjects champ_;
    engine engine_;
};

TEST(PodiumScenes, TheTableGivesEachPlaceItsScenesAndTheSeasonsEndItsOwn)
{
    EXPECT_STREQ(PodiumSceneFor(0, 0, 0).name, "a1");
    EXPECT_STREQ(PodiumSceneFor(0, 2, 1).name, "aa3");
    EXPECT_STREQ(PodiumSceneFor(1, 1, 0).name, "s2");
    EXPECT_STREQ(PodiumSceneFor(1, 2, 2).name, "sc3");
    for (int kind = 0; kind < 2; ++kind)
        for (int place = 0; place < 3; ++place) {
            EXPECT_EQ(PodiumSceneFor(kind, place, 0).time_ms, 7000.0f);
            EXPECT_EQ(PodiumSceneFor(kind, place, 1).time_ms, 7000.0f);
            EXPECT_EQ(PodiumSceneFor(kind, place, 2).time_ms, 11000.0f);
            // The kit writes a scene for every entry.
            EXPECT_EQ(datakit::demo_podium_scene_name(kind, place, 2), PodiumSceneFor(kind, place, 2).name);
        }
}

TEST_F(MenuScenesTest, APodiumPlaceGetsItsSceneWithTheFirstThreeInTheirColours)
{
    finish({5, kPlayer, 9, 2});
    Form* form = enter(kPodiumState);
    ASSERT_NE(form, nullptr);
    EXPECT_STREQ(form->Name(), "olescene");
    PictureBox* box = scene_box(*form);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->Kind(), kOleScene);
    EXPECT_EQ(box->SceneTime(), 7000);
    EXPECT_EQ(box->m_nWidth, 640);
    EXPECT_EQ(box->m_nHeight, 480);
    // The second place's scene of an arcade game, either variant.
    ASSERT_NE(box->Scene(), nullptr);
    const std::string lib = box->Scene()->model_libs.front()->name;
    EXPECT_TRUE(lib.find("A2") != std::string::npos || lib.find("AA2") != std::string::npos) << lib;
    // The winners' models wear the bike variants of riders 5, 20 and 9.
    const std::vector<datakit::BikeTableRecord> bikes = datakit::demo_bike_table();
    const char* models[3] = {"AXX_WINNER", "AXX_2ND", "AXX_3RD"};
    const std::int32_t riders[3] = {5, kPlayer, 9};
    for (int p = 0; p < 3; ++p) {
        const ml_modelinfo* model = box->Scene()->find_model(name_hash(models[p]));
        ASSERT_NE(model, nullptr) << models[p];
        const mesh_texture* livery = model->texture_of_material(name_hash("LIVERY"));
        ASSERT_NE(livery, nullptr);
        EXPECT_EQ(livery->words[2], std::bit_cast<std::uint32_t>(bikes[static_cast<std::size_t>(riders[p])].bike_variant))
            << models[p];
    }
    // Leaving the screen takes the scene away; entering again adds one.
    manager_.m_nNextState = kAfter;
    manager_.Update();
    EXPECT_EQ(manager_.Screen(1)->FindElement("OLE1"), nullptr);
}

TEST_F(MenuScenesTest, TheSceneGivesCommandZeroOnceItHasPlayed)
{
    finish({kPlayer, 1, 2});
    Form* form = enter(kPodiumState);
    ASSERT_NE(scene_box(*form), nullptr);
    platform::advance_test_clock(6990);
    manager_.Update();
    EXPECT_EQ(manager_.m_nNextState, kPodiumState);
    platform::advance_test_clock(20);
    manager_.Update();
    EXPECT_EQ(manager_.m_nNextState, kAfter);
}

TEST_F(MenuScenesTest, TheEndOfASeasonShowsItsOwnScene)
{
    finish({1, 2, kPlayer});
    TheChampionship().BuildStandings(TheChampionship().CurrentEventIndex, kSessionFirstRace);
    Form* form = enter(104);
    ASSERT_NE(form, nullptr);
    PictureBox* box = scene_box(*form);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->SceneTime(), 11000);
    const std::string lib = box->Scene()->model_libs.front()->name;
    EXPECT_NE(lib.find("AC"), std::string::npos) << lib;
}

TEST_F(MenuScenesTest, AFourthPlaceBacksOutAndAScreenWithoutAWayBackIsLeftUnshown)
{
    finish({1, 2, 3, kPlayer});
    Form* form = enter(kPodiumState);
    // Command 0 led on: the other screen, and no 3D element anywhere.
    EXPECT_EQ(manager_.m_nState, kAfter);
    ASSERT_NE(form, nullptr);
    EXPECT_STREQ(form->Name(), "other");
    EXPECT_EQ(manager_.Screen(1)->FindElement("OLE1"), nullptr);

    // Without a transition for command 0 the entry loop stops rather than
    // asking for ever: the screen is not shown, and the manager goes back
    // to the state of the screen still shown.
    manager_.m_Transitions.clear();
    manager_.m_nState = kAfter;
    manager_.m_nNextState = kPodiumState;
    manager_.Update();
    EXPECT_EQ(manager_.m_nState, kAfter);
    EXPECT_EQ(manager_.m_nNextState, kAfter);
    EXPECT_EQ(manager_.m_nShownScreen, 0);
    EXPECT_EQ(manager_.Screen(1)->FindElement("OLE1"), nullptr);
}

TEST_F(MenuScenesTest, OtherScreensAreEnteredAsTheyAre)
{
    EXPECT_TRUE(ScreenEntry(*manager_.Screen(0)));
}

TEST_F(MenuScenesTest, TheCreditsWaitTwoSecondsThenScrollAStepEvery30Ms)
{
    datakit::FormFileWriter file = menu_test::screen_file("Credits");
    file.key("UserDraw", 1);
    file.begin("Window", "WCredits");
    file.key("WinHeight", 2000).key("WinWidth", 300).key("ClipHeight", 100).key("ClipLeft", 10);
    file.key("ClipTop", 10).key("ClipWidth", 300);
    file.begin("Label", "tall").key("FontType", "nofont");
    place(file, 10, 10, 300, 1500).end();
    file.end();
    file.end();
    data_.screen("Credits", file);
    Form& form = load_screen("Credits");
    show();
    auto* window = static_cast<Window*>(form.FindElement("WCredits"));
    ASSERT_NE(window, nullptr);
    RestartCredits();
    const std::int32_t start = window->ScrollOffset();
    form.PaintAll();
    platform::advance_test_clock(1990);
    form.PaintAll();
    EXPECT_EQ(window->ScrollOffset(), start);
    platform::advance_test_clock(10);
    form.PaintAll();  // the phase changes
    EXPECT_EQ(window->ScrollOffset(), start);
    for (int step = 1; step <= 5; ++step) {
        platform::advance_test_clock(15);
        form.PaintAll();
        platform::advance_test_clock(15);
        form.PaintAll();
        EXPECT_EQ(window->ScrollOffset(), start + step) << step;
    }
}

// The demo set's credits as shipped: the rich text in "WCredits" scrolls
// once the first two seconds are over.
class ShippedCredits : public menu_test::MenuFixture {
protected:
    ShippedCredits() : demo_cwd_(folder()) {}
    static const std::filesystem::path& folder()
    {
        static const std::filesystem::path dir = [] {
            std::filesystem::path d = torvane_test::temp_root() / "credits-demo";
            std::string error;
            EXPECT_TRUE(torvane_test::install_demo_data(d, error)) << error;
            return d;
        }();
        return dir;
    }
    void SetUp() override
    {
        MenuFixture::SetUp();
        SetTheGameSettings(&settings_);
        InstallScreenHandlers();
        platform::set_test_clock(1000);
    }
    void TearDown() override
    {
        SetScreenHooks(ScreenHooks{});
        platform::clear_test_clock();
        MenuFixture::TearDown();
        SetTheGameSettings(nullptr);
    }
    torvane_test::ScopedCwd demo_cwd_;
    GameSettings settings_;
};

TEST_F(ShippedCredits, ScrollTheirText)
{
    manager_.Load(".\\menu\\menu.dat");
    manager_.m_nNextState = datakit::kDemoCreditsState;
    manager_.Update();
    Form* form = manager_.Screen(manager_.m_nShownScreen);
    ASSERT_NE(form, nullptr);
    ASSERT_STREQ(form->Name(), "Credits");
    auto* window = static_cast<Window*>(form->FindElement("WCredits"));
    ASSERT_NE(window, nullptr);
    RestartCredits();
    manager_.Update();
    platform::advance_test_clock(2000);
    manager_.Update();
    for (int i = 0; i < 12; ++i) {
        platform::advance_test_clock(30);
        manager_.Update();
    }
    EXPECT_EQ(window->ScrollOffset(), 12);
    if (const char* shots = std::getenv("TORVANE_MENU_SHOTS")) {
        std::filesystem::create_directories(shots);
        torvane_test::write_png((std::filesystem::path(shots) / "Credits.png").string(), screenshot());
    }
    // Back goes to the main menu.
    manager_.ExecuteCommand(0);
    EXPECT_EQ(manager_.m_nNextState, datakit::kDemoMainMenuState);
}

} // namespace
