// A championship race weekend played through the shipped menus, in-process
// from WinMain with scripted keys and a test clock: game mode, team and
// rider (renamed first), the round's circuit, every session (the timed ones
// ended through the in-race menu and through the accelerated clock of the
// timing screen), both races, their results and the standings, the save,
// the event's results and the circuit's records, the next round, back to
// the main menu and out. Races are short (one lap, four riders)
// and run at a tenth of a second a frame without being drawn.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/startup/win_main.h"
#include "champ/champ_objects.h"
#include "champ/championship.h"
#include "champ/game_settings.h"
#include "champ/race_preparation.h"
#include "input/input_manager.h"
#include "menu/form.h"
#include "menu/label.h"
#include "menu/menu_input.h"
#include "menu/menu_manager.h"
#include "sim/bike.h"
#include "tests/menu/run_loop_fixture.h"

using run_loop_test::ProgramTest;
using run_loop_test::ScriptedPlay;

namespace {

constexpr int kRiders = 4;
constexpr int kKeyE = 18, kKeyR = 19, kKeyT = 20, kKeyY = 21, kKeyS = 31, kKeyF = 33, kKeyC = 46;
constexpr int kKeyBackspace = 14;

// The rows of a label of the screen shown.
std::vector<std::string> Rows(const char* label)
{
    std::vector<std::string> rows;
    const Form* form = CurrentMenuManager() ? CurrentMenuManager()->CurrentScreen() : nullptr;
    if (const auto* l = form ? dynamic_cast<const Label*>(form->FindElement(label)) : nullptr)
        for (int r = 0; r < l->RowCount(); ++r)
            rows.push_back(l->RowText(r));
    return rows;
}

// The script's play, with the races' scenes left undrawn.
class UndrawnPlay : public ScriptedPlay {
public:
    bool DrawRace() const override { return false; }
};

class WeekendRunTest : public ProgramTest {
protected:
    void SetUp() override
    {
        ProgramTest::SetUp();
        keep_players_ = true;
        // Lap races end once every computer rider has finished (the player
        // rides nowhere); timed sessions end through the menus.
        ShortRaces(kRiders, [](Race& race, int) {
            if (race.m_nSessionType < 4)
                return;
            bool done = true;
            for (int i = 0; i < race.RiderCount(); ++i)
                if (!race.m_pBikes[i].IsHuman() && !(race.m_pBikes[i].Status & kBikeFinished))
                    done = false;
            InputManager* input = TheInputManager();
            if (done || input->m_fRaceClock > 900.0f)
                input->QueueRaceCommand(kRaceCommandEnd);
        });
    }

    // A timed session from the sessions screen: the in-session menu, "go",
    // and then in the in-race menu either "end" and yes, or the timing
    // screen with the fast clock until the time is up.
    void TimedSession(std::size_t races, bool throughTheClock)
    {
        play_.until_screen("Sim10").tap(kMenuKeyEnter).until_screen("Game03b").tap(kMenuKeyEnter);
        play_.then([this, races] { return races_.size() == races; }).until_screen("Game03b");
        if (throughTheClock) {
            play_.tap(kKeyT).until_screen("game07").tap(kKeyF).then([this] {
                play_.pass_ms = 1000; // twenty seconds of session a pass
                return true;
            });
            play_.until_screen("dlg06").then([this] {
                play_.pass_ms = run_loop_test::kPassMs;
                return true;
            });
            play_.tap(kMenuKeyEnter);
        } else {
            play_.tap(kKeyE).until_screen("dlg09").tap(kKeyY);
        }
    }

    UndrawnPlay play_;
};

TEST_F(WeekendRunTest, AChampionshipWeekendFromTheMainMenuToItsStandingsAndBack)
{
    play_.until_screen("start01")
        .tap(kMenuKeyDownArrow)
        .tap(kMenuKeyEnter)
        .until_screen("sim01")
        .tap(kMenuKeyDownArrow)
        .tap(kMenuKeyEnter)
        .until_screen("Sim04")
        .tap(kMenuKeyEnter)
        // The first rider of the first team renamed, then the second
        // chosen (choosing a rider gives him the player's own name).
        .until_screen("Sim5k")
        .tap(kKeyR)
        .until_screen("dlg05");
    for (int i = 0; i < 24; ++i)
        play_.tap(kKeyBackspace);
    // "MAX TEST"
    for (int key : {50, 30, 45, 57, 20, 18, 31, 20})
        play_.tap(key);
    // Back from the dialogue the team is still the screen shown, the new
    // name on its page; Enter is the hot key of "Ride for them".
    std::string renamedPage, renamedRider;
    play_.tap(kMenuKeyEnter)
        .wait(500)
        .then([&] {
            const std::vector<std::string> rows = Rows("label_name");
            renamedPage = rows.empty() ? "" : rows[0];
            renamedRider = TheChampionship().FindRider(8).Name;
            return true;
        })
        .tap(kMenuKeyRightArrow)
        .tap(kMenuKeyEnter)
        .until_screen("sim09d")
        .tap(kMenuKeyEnter);
    TimedSession(1, false);   // Practice 1
    TimedSession(2, true);    // Qualifying 1
    play_.until_screen("game0702").tap(kMenuKeyEnter);
    TimedSession(3, false);   // Practice 2
    TimedSession(4, true);    // Qualifying 2
    play_.until_screen("game0702").tap(kMenuKeyEnter);
    TimedSession(5, false);   // Warm-up
    // Race 1, its results; Race 2, its results and the standings.
    play_.until_screen("Sim10").tap(kMenuKeyEnter).until_screen("Game03c").tap(kMenuKeyEnter);
    play_.until_screen("game0702").tap(kMenuKeyEnter);
    play_.until_screen("Sim10").tap(kMenuKeyEnter).until_screen("Game03c").tap(kMenuKeyEnter);
    play_.until_screen("game0702").tap(kMenuKeyEnter);
    // Saved, then on to the next round's sessions, and out.
    // (Back from the dialogue the standings are still the screen shown.)
    play_.until_screen("Sim11").tap(kKeyS).until_screen("dlg06").tap(kMenuKeyEnter);
    // The event's results: the first qualifying, then (four views on) the
    // points of both races; back to the standings.
    std::vector<std::string> qualifying, pointsRiders, eventPoints;
    play_.tap(kKeyR).until_screen("Sim13").then([&] {
        qualifying = Rows("lbl_rider");
        return true;
    });
    for (int i = 0; i < 4; ++i)
        play_.tap(kMenuKeyDownArrow);
    play_.wait(100).then([&] {
        pointsRiders = Rows("lbl_rider_2");
        eventPoints = Rows("lbl_points");
        return true;
    });
    play_.tap(kMenuKeyEnter).until_screen("Sim11");
    // The circuit's records: the race times of one lap; back again.
    std::vector<std::string> recordRiders, recordTimes;
    play_.tap(kKeyC).until_screen("Sim12").then([&] {
        recordRiders = Rows("lbl_rider");
        recordTimes = Rows("lbl_time");
        return true;
    });
    play_.tap(kMenuKeyEnter).until_screen("Sim11");
    play_.tap(kMenuKeyEnter);
    play_.until_screen("Sim10").tap(kMenuKeyEscape).until_screen("start01").tap(kMenuKeyEscape);

    EXPECT_EQ(WinMain(), 0);
    EXPECT_TRUE(play_.done());
    if (!play_.done())
        for (const std::string& screen : play_.screens)
            ADD_FAILURE() << "shown: " << screen;
    for (const auto& box : platform::recorded_message_boxes())
        ADD_FAILURE() << box.caption << ": " << box.text;

    // Seven sessions on the first round's circuit, as the weekend orders
    // them: practice-type sessions, then the two races.
    ASSERT_EQ(races_.size(), 7u);
    const std::int32_t sessions[7] = {1, 2, 1, 2, 2, 4, 5};
    for (std::size_t i = 0; i < races_.size(); ++i) {
        EXPECT_EQ(races_[i].track, kTrackNames[0]) << i;
        EXPECT_EQ(races_[i].session, sessions[i]) << i;
        EXPECT_EQ(races_[i].flags & kAppFlagDirectStart, 0u) << i;
    }
    // The in-race menu came up in each timed session, and each screen of
    // the weekend was shown.
    std::vector<std::string> shown;
    for (const std::string& screen : play_.screens)
        shown.push_back(screen);
    for (const char* expected : {"menu:20:sim01", "menu:38:Sim04", "menu:44:Sim5k", "menu:49:sim09d",
                                 "menu:50:Sim10", "menu:71:Game03b", "menu:72:Game03b", "menu:81:game07",
                                 "menudial:11:dlg09", "menudial:18:dlg09", "menudial:50:dlg06", "menu:86:game0702",
                                 "menu:76:Game03c", "menu:106:game0702", "menu:102:game0702", "menu:51:Sim11",
                                 "menudial:34:dlg06", "menudial:1:dlg05", "menu:107:Sim13", "menu:142:Sim12"})
        EXPECT_NE(std::find(shown.begin(), shown.end(), expected), shown.end()) << expected;

    // The event's results listed the championship's riders, the four who
    // rode the first qualifying among them, and the points of the two
    // races, the player's the fourth most; the records of the circuit the
    // riders' race times.
    EXPECT_GE(qualifying.size(), 4u);
    ASSERT_GE(pointsRiders.size(), 4u);
    ASSERT_EQ(eventPoints.size(), pointsRiders.size());
    int total = 0;
    for (const std::string& p : eventPoints)
        total += std::stoi(p);
    EXPECT_EQ(total, 2 * (25 + 20 + 16 + 13));
    EXPECT_EQ(eventPoints[3], "26");
    EXPECT_EQ(pointsRiders[3], "PLAYER");
    // The records: ten rows, a time on each row with a holder, "-" on an
    // empty one (the player finished no race, so none is his).
    ASSERT_EQ(recordRiders.size(), 10u);
    ASSERT_EQ(recordTimes.size(), 10u);
    for (std::size_t r = 0; r < recordRiders.size(); ++r) {
        EXPECT_NE(recordRiders[r], "PLAYER") << r;
        EXPECT_EQ(recordRiders[r] == "-", recordTimes[r].front() == '-') << r << " " << recordTimes[r];
    }

    // The championship moved on to the second round and its save, read
    // back, holds the first round's results and points.
    const Championship& champ = TheChampionship();
    EXPECT_EQ(champ.CurrentEventIndex, 1);
    const std::int32_t player = champ.PlayerRider();
    EXPECT_EQ(player, 7) << "the second rider of team K";
    // The rename: the page and the rider took the name typed. (A race
    // gives the player's rider the player's name, which gives the rider
    // renamed before his own back.)
    EXPECT_EQ(renamedPage, "MAX TEST");
    EXPECT_EQ(renamedRider, "MAX TEST");
    EXPECT_STREQ(champ.PlayerName, "PLAYER");
    Championship saved;
    CopyField(saved.FileName, champ.FileName);
    GameSettings settings;
    ASSERT_TRUE(saved.Load(settings));
    EXPECT_EQ(saved.CurrentEventIndex, 0) << "saved before the next round";
    std::int32_t points = 0;
    for (const ChampionshipRider& rider : saved.Riders)
        if (rider.Entered)
            points += std::max(rider.Points, 0);
    // Each race: three computer riders finished, the player (who rode
    // nowhere) was classified fourth.
    EXPECT_EQ(points, 2 * (25 + 20 + 16 + 13));
    EXPECT_EQ(saved.PlayerPoints, 2 * 13);
    EXPECT_EQ(saved.PlayerStanding, 4);
    for (int kind : {0, 1, 2, 3}) {
        int placed = 0;
        for (const ChampionshipResult& result : saved.Events[0].Results[kind])
            if (result.Position != kNoPosition)
                ++placed;
        EXPECT_EQ(placed, 4) << "session kind " << kind;
    }
}

} // namespace
