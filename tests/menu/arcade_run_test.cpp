// The arcade played through the shipped menus, in-process from WinMain with
// scripted keys and a test clock: the arcade menu with the player's name
// typed, the circuit, the bike turned on the carousel and taken with its
// transmission, the race and its results, the records, then a new arcade
// championship: its bike, its race screen, the race, its results and the
// standings with their records, and out. Races are short (one lap, four
// riders) and run at a tenth of a second a frame without being drawn.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/startup/win_main.h"
#include "champ/champ_objects.h"
#include "champ/championship.h"
#include "champ/game_settings.h"
#include "champ/race_preparation.h"
#include "input/input_manager.h"
#include "menu/form.h"
#include "menu/image.h"
#include "menu/label.h"
#include "menu/menu_input.h"
#include "menu/menu_manager.h"
#include "menu/picture_box.h"
#include "screens/weekend_screens.h"
#include "sim/bike.h"
#include "tests/menu/run_loop_fixture.h"

using run_loop_test::ProgramTest;
using run_loop_test::ScriptedPlay;

namespace {

constexpr int kRiders = 4;
constexpr int kKeyA = 30, kKeyC = 46, kKeyE = 18, kKeyM = 50, kKeyQ = 16, kKeyY = 21;
constexpr int kKeyDigit2 = 3, kKeyDigit3 = 4, kKeyBackspace = 14;
constexpr int kLeftButton = 1;

class UndrawnPlay : public ScriptedPlay {
public:
    bool DrawRace() const override { return false; }
};

Form* Shown()
{
    return CurrentMenuManager() ? CurrentMenuManager()->CurrentScreen() : nullptr;
}

std::vector<std::string> Rows(const char* name)
{
    std::vector<std::string> rows;
    if (const auto* label = Shown() ? dynamic_cast<const Label*>(Shown()->FindElement(name)) : nullptr)
        for (int r = 0; r < label->RowCount(); ++r)
            rows.push_back(label->RowText(r));
    return rows;
}

class ArcadeRunTest : public ProgramTest {
protected:
    void SetUp() override
    {
        ProgramTest::SetUp();
        keep_players_ = true;
        // A race ends once every computer rider has finished (the player
        // rides nowhere).
        ShortRaces(kRiders, [](Race& race, int) {
            bool done = true;
            for (int i = 0; i < race.RiderCount(); ++i)
                if (!race.m_pBikes[i].IsHuman() && !(race.m_pBikes[i].Status & kBikeFinished))
                    done = false;
            InputManager* input = TheInputManager();
            if (done || input->m_fRaceClock > 900.0f)
                input->QueueRaceCommand(kRaceCommandEnd);
        });
    }

    // A click on the middle of a control of the screen shown (the pointer
    // moves three pixels a mouse step).
    void Click(const char* name)
    {
        play_.then([name] {
            const Control* control = Shown() ? Shown()->FindElement(name) : nullptr;
            if (!control)
                return false;
            const int x = control->GetLeft() + control->m_nWidth / 2;
            const int y = control->GetTop() + control->m_nHeight / 2;
            input_test::MouseMove((x - g_nPointerX) / 3, (y - g_nPointerY) / 3);
            return true;
        });
        play_.wait(50).then([] {
            input_test::MouseButton(kLeftButton, true);
            return true;
        });
        play_.wait(50).then([] {
            input_test::MouseButton(kLeftButton, false);
            return true;
        });
    }

    UndrawnPlay play_;
};

TEST_F(ArcadeRunTest, ASingleRaceAndAChampionshipRaceFromTheArcadeMenu)
{
    std::int32_t carouselItem = -1, logoFrame = -1;
    std::vector<std::string> records, standings, points, championshipRecords;
    play_.until_screen("start01").tap(kMenuKeyEnter).until_screen("Arcade01");
    // "ACE" on the name's edit row (the name shown rubbed out first), then
    // a single race.
    for (int i = 0; i < 10; ++i)
        play_.tap(kKeyBackspace);
    for (int key : {kKeyA, kKeyC, kKeyE})
        play_.tap(key);
    play_.tap(kMenuKeyEnter).until_screen("Arcade04").tap(kMenuKeyRightArrow).tap(kMenuKeyEnter);
    // The second bike of the carousel, its plate shown, taken with manual
    // gears.
    play_.until_screen("Arcade03").tap(kMenuKeyRightArrow).wait(1000).then([&] {
        const auto* carousel = dynamic_cast<const PictureBox*>(Shown()->FindElement("OLE1"));
        const auto* logo = dynamic_cast<const Image*>(Shown()->FindElement("logo"));
        carouselItem = carousel ? carousel->CurrentItem() : -2;
        logoFrame = logo ? logo->m_Strip.m_nCurrent : -2;
        return true;
    });
    play_.tap(kMenuKeyEnter).wait(100).tap(kKeyM);
    // The race's results, back on the arcade menu; the arcade records of
    // the second circuit (Right on the circuit), back.
    play_.then([this] { return races_.size() == 1; }).until_screen("game0702").tap(kMenuKeyEnter);
    play_.until_screen("Arcade01").tap(kKeyDigit3).until_screen("Arcade10").tap(kMenuKeyRightArrow).wait(100).then(
        [&] {
            records = Rows("lbl_rider");
            return true;
        });
    play_.tap(kMenuKeyEnter).until_screen("Arcade01");
    // A new arcade championship (its file's screen, where its name is typed, then the bike with
    // automatic gears), its race screen and race.
    play_.tap(kKeyDigit2).until_screen("Arcade06").tap(kKeyA).wait(50).tap(kKeyC).wait(50).tap(kKeyE).wait(50);
    Click("Ok");
    std::int32_t championshipItem = -1;
    play_.until_screen("Arcade03").tap(kMenuKeyRightArrow).wait(1000).then([&] {
        const auto* carousel = dynamic_cast<const PictureBox*>(Shown()->FindElement("OLE1"));
        championshipItem = carousel ? carousel->CurrentItem() : -2;
        return true;
    });
    play_.tap(kMenuKeyEnter).wait(100).tap(kMenuKeyEnter);
    play_.until_screen("Arcade08").tap(kMenuKeyEnter);
    // Its results, the standings and their records; out through "Quit".
    play_.then([this] { return races_.size() == 2; }).until_screen("game0702").tap(kMenuKeyEnter);
    play_.until_screen("Arcade09").then([&] {
        standings = Rows("lbl_rider");
        points = Rows("LBL_points");
        return true;
    });
    play_.tap(kKeyC).until_screen("Arcade10").then([&] {
        championshipRecords = Rows("lbl_rider");
        return true;
    });
    play_.tap(kMenuKeyEnter).until_screen("Arcade09").tap(kKeyQ).until_screen("dlg06").tap(kKeyY);
    play_.until_screen("start01").tap(kMenuKeyEscape);

    EXPECT_EQ(WinMain(), 0);
    EXPECT_TRUE(play_.done());
    if (!play_.done())
        for (const std::string& screen : play_.screens)
            ADD_FAILURE() << "shown: " << screen;
    for (const auto& box : platform::recorded_message_boxes())
        ADD_FAILURE() << box.caption << ": " << box.text;

    std::vector<std::string> shown(play_.screens.begin(), play_.screens.end());
    for (const char* expected : {"menu:2:Arcade01", "menu:53:Arcade04", "menu:4:Arcade03", "menu:101:game0702",
                                 "menu:141:Arcade10", "menu:40:Arcade06", "menu:5:Arcade03", "menu:9:Arcade08",
                                 "menu:99:game0702", "menu:100:Arcade09", "menu:143:Arcade10", "menudial:27:dlg06"})
        EXPECT_NE(std::find(shown.begin(), shown.end(), expected), shown.end()) << expected;

    // The single race on the circuit chosen, the new championship's on its
    // first round, both as arcade races.
    ASSERT_EQ(races_.size(), 2u);
    EXPECT_EQ(races_[0].track, kTrackNames[1]);
    EXPECT_EQ(races_[1].track, kTrackNames[0]);
    for (const RaceRun& race : races_)
        EXPECT_EQ(race.session, kSessionTypeArcade);
    // The carousel turned to the second bike and the plate followed it;
    // the player rode for the first rider of that team with the name typed.
    EXPECT_EQ(carouselItem, 1);
    EXPECT_EQ(logoFrame, 1);
    // In the championship the player rides for the first rider of the
    // team whose bike the carousel showed, with automatic gears.
    const Championship& champ = TheChampionship();
    ASSERT_GE(championshipItem, 0);
    EXPECT_EQ(champ.PlayerRider(), TeamRiders(championshipItem + 1)[0]);
    EXPECT_STREQ(champ.PlayerName, "ACE");
    EXPECT_EQ(TheGameSettings().ChosenBike, championshipItem);
    EXPECT_EQ(TheGameSettings().GearChoice, 0);
    // The records of the circuit: its ten rows.
    EXPECT_EQ(records.size(), 10u);
    // The standings after the championship's race, by points: the player
    // with a fourth place's points (the single race before was the same
    // round, so others may have more than one race's).
    ASSERT_GE(standings.size(), 4u);
    ASSERT_EQ(points.size(), standings.size());
    const auto player = std::find(standings.begin(), standings.end(), "ACE");
    ASSERT_NE(player, standings.end());
    EXPECT_EQ(points[static_cast<std::size_t>(player - standings.begin())], "13");
    for (std::size_t r = 1; r < points.size(); ++r)
        EXPECT_GE(std::stoi(points[r - 1]), std::stoi(points[r])) << r;
    EXPECT_GE(std::stoi(points[0]), 25);
    EXPECT_EQ(championshipRecords.size(), 10u);
}

} // namespace
