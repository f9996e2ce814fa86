// The results, standings and records screens and the live labels, on small
// screens of their own over the demo championship and fresh records.
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/game_app.h"
#include "app/game_error.h"
#include "champ/champ_objects.h"
#include "champ/championship.h"
#include "champ/game_settings.h"
#include "champ/track_records.h"
#include "input/input_manager.h"
#include "menu/form.h"
#include "menu/label.h"
#include "menu/menu_manager.h"
#include "menu/screen_hooks.h"
#include "platform/clock.h"
#include "platform/message_box.h"
#include "race/race.h"
#include "screens/live_labels.h"
#include "screens/navigation.h"
#include "screens/results_screens.h"
#include "screens/screen_binding.h"
#include "screens/screen_text.h"
#include "tests/menu/menu_fixture.h"
#include "tools/datakit/champ_files_writer.h"

namespace {

using namespace menu_test;
using datakit::FormFileWriter;

std::vector<std::int32_t> g_Asked;
std::int32_t g_nAnswer = 1;
std::int32_t AnswerDialogue(const char*, std::int32_t state)
{
    g_Asked.push_back(state);
    return g_nAnswer;
}

TEST(MenuTimeText, MinutesSecondsAndHundredthsOrNoTime)
{
    const std::pair<float, const char*> cases[] = {
        {85.37f, "01:25:37"}, {0.0f, "00:00:00"}, {59.999f, "00:59:99"}, {3600.0f, "60:00:00"},
        {kNoTime, "-:-:-"},   {-1.0f, "-:-:-"},   {std::nanf(""), "-:-:-"},
        // Beyond 99 minutes the minutes stay two digits' worth.
        {1.0e9f, "99:59:99"},
    };
    for (const auto& [time, text] : cases)
        EXPECT_EQ(MenuTimeText(time), text) << time;
}

// A label of the fixture: its name, its group (-1: none) and, for a
// selector, the rows it chooses from.
struct LabelSpec {
    std::string name;
    std::int32_t group = -1;
    std::vector<std::string> rows = {};
    bool live = false;
};

class ResultsScreens : public MenuFixture {
protected:
    void SetUp() override
    {
        MenuFixture::SetUp();
        std::string error;
        ASSERT_TRUE(datakit::write_demo_champ_files(dir_, error)) << error;
        data_.game_font("fonts/menu", GameFontWords{}, kInkWhite, kInkYellow);
        SetTheGameSettings(&settings_);
        SetTheInputManager(&input_);
        champ_.Start();
        // The player on rider 3, seven riders entered by the game.
        for (int id : {0, 1, 2, 4, 5, 7, 8})
            champ().AddEntry(id, kEntryComputer);
        champ().AddEntry(3, kEntryLocalPlayer);
        InstallScreenHandlers();
        SetDialogueRunner(&AnswerDialogue);
        g_Asked.clear();
        g_nAnswer = 1;
        ResetLiveLabels();
        platform::set_test_clock(1000);
    }
    void TearDown() override
    {
        app_.m_pRace = nullptr;
        SetDialogueRunner(nullptr);
        SetScreenHooks(ScreenHooks{});
        platform::clear_test_clock();
        MenuFixture::TearDown();
        SetTheInputManager(nullptr);
        SetTheGameSettings(nullptr);
    }

    // A screen of labels (in the menu font) and one button with a UserID
    // for each of `user_ids`, named "b<id>"; loaded as screen 0 in `state`.
    Form& screen(const std::string& name, const std::vector<LabelSpec>& labels, std::vector<int> user_ids = {},
                 std::int32_t state = 1)
    {
        datakit::TextFileBuilder text;
        FormFileWriter file = screen_file(name);
        int top = 0;
        for (const LabelSpec& spec : labels) {
            file.begin("Label", spec.name);
            if (spec.group >= 0)
                file.key("Group", spec.group);
            place(file, 0, top, 200, 16);
            file.key("FontName", "fonts/menu.pcx").key("FontType", "gamefont");
            if (!spec.rows.empty()) {
                text.add_line("[" + spec.name + "]");
                for (const std::string& row : spec.rows)
                    text.add_line(row);
                file.key("TextFile", "rows.txt").key("TextID", spec.name);
            }
            if (spec.live)
                file.key("TextVar", spec.name == "zun" ? "2" : "1").key("TextVarLen", 20);
            file.end();
            top += 16;
        }
        for (int id : user_ids) {
            file.begin("CommandButton", "b" + std::to_string(id));
            place(file, 300, 20 * id, 20, 16);
            file.key("UserID", id).key("Command", 1).end();
        }
        file.end();
        data_.write("rows.txt", text);
        data_.screen(name, file);
        Form& form = load_screen(name);
        manager_.m_StateScreens = {{state, 0}};
        manager_.m_nState = state;
        manager_.m_nShownScreen = 0;
        form.ShowScreen();
        return form;
    }

    static std::vector<std::string> rows(Form& form, const char* name)
    {
        const Label* label = dynamic_cast<const Label*>(form.FindElement(name));
        std::vector<std::string> out;
        if (label)
            for (int r = 0; r < label->RowCount(); ++r)
                out.push_back(label->RowText(r));
        return out;
    }
    bool click(Form& form, int user_id)
    {
        return ScreenCommand(*form.FindElement(("b" + std::to_string(user_id)).c_str()));
    }

    // A result of the current event.
    Championship& champ() { return TheChampionship(); }
    void result(int kind, int id, int position, float best, float race)
    {
        ChampionshipResult& r = champ().CurrentEvent().GetRiderResult(kind, id);
        r.Position = static_cast<std::uint8_t>(position);
        r.TimeB = best;
        r.TimeC = race;
    }

    GameSettings settings_;
    InputManager input_;
    ChampObjects champ_;
};

const std::vector<LabelSpec> kSessionTable = {{"lbl_position"}, {"lbl_Rider"}, {"lbl_bike"}, {"lbl_time"}};

TEST_F(ResultsScreens, SessionResultsRankTheEnteredRidersAndHighlightThePlayer)
{
    ASSERT_EQ(champ().PlayerRider(), 3);
    champ().CurrentEventIndex = 2;
    champ().SetSessionKind(kSessionFirstRace);
    result(kSessionFirstRace, 5, 0, 80.0f, 600.25f);
    result(kSessionFirstRace, 3, 1, 79.5f, 601.5f);
    result(kSessionFirstRace, 0, 2, 81.0f, 602.0f);
    // Riders 1, 2, 4, 7 and 8 have no race time.
    Form& form = screen("game0702", kSessionTable);
    EXPECT_EQ(rows(form, "lbl_position"), (std::vector<std::string>{"1", "2", "3", "4", "5", "6", "7", "8"}));
    const std::vector<std::string> riders = rows(form, "lbl_rider");
    ASSERT_EQ(riders.size(), 8u);
    EXPECT_EQ(riders[0], "SEAN GALLOWAY");
    EXPECT_EQ(riders[1], UpperCase(champ().FindRider(3).Name));
    EXPECT_EQ(rows(form, "lbl_bike")[0], "KIROVA");
    const std::vector<std::string> times = rows(form, "lbl_time");
    EXPECT_EQ(times[0], "10:00:25");
    EXPECT_EQ(times[2], "10:02:00");
    EXPECT_EQ(times[3], "-:-:-");
    EXPECT_EQ(times[7], "-:-:-");
    EXPECT_EQ(dynamic_cast<Label*>(form.FindElement("lbl_position"))->m_nCurrentRow, 1);

    // A timed session ranks by the best lap; the sessions that keep no
    // results show none.
    champ().SetSessionKind(kSessionFirstTimed);
    result(kSessionFirstTimed, 8, 0, 78.25f, kNoTime);
    form.ShowScreen();
    EXPECT_EQ(rows(form, "lbl_time")[0], "01:18:25");
    EXPECT_EQ(rows(form, "lbl_rider")[0], "JULES MARCHAND");
    EXPECT_EQ(rows(form, "lbl_time")[1], "-:-:-");
    champ().SetSessionKind(5);
    form.ShowScreen();
    EXPECT_TRUE(rows(form, "lbl_rider").empty());

    // A table without one of its columns is refused.
    try {
        screen("game0702", {{"lbl_position"}, {"lbl_rider"}, {"lbl_time"}});
        ADD_FAILURE() << "filled";
    } catch (const GameError& e) {
        EXPECT_STREQ(e.what(), "not found");
    }
}

TEST_F(ResultsScreens, TheTimingScreenShowsTheCaptionsOfTheSessionAndItsClockChoice)
{
    std::vector<LabelSpec> labels = kSessionTable;
    for (const char* caption : {"lbl_round", "lbl_round_data", "lbl_race", "lbl_race_data", "lbl_qualify",
                                "lbl_practice"})
        labels.push_back({caption});
    labels.push_back({"accelerate_time", -1, {"NORMAL", "FAST"}});
    struct Case {
        std::int32_t kind;
        bool race, qualify, practice;
        const char* race_data;
    };
    const Case cases[] = {
        {kSessionFirstRace, true, false, false, "1"}, {kSessionSecondRace, true, false, false, "2"},
        {kSessionFirstTimed, false, true, false, "1"}, {kSessionSecondTimed, false, true, false, "1"},
        {4, false, false, true, "1"}, {6, false, false, true, "1"},
    };
    champ().CurrentEventIndex = 6;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        champ().SetSessionKind(c.kind);
        Form& form = screen("GAME07", labels, {1, 2});
        EXPECT_EQ(form.FindElement("lbl_round")->IsVisibleInState(), c.race);
        EXPECT_EQ(form.FindElement("lbl_race_data")->IsVisibleInState(), c.race);
        EXPECT_EQ(form.FindElement("lbl_qualify")->IsVisibleInState(), c.qualify);
        EXPECT_EQ(form.FindElement("lbl_practice")->IsVisibleInState(), c.practice);
        EXPECT_EQ(rows(form, "lbl_round_data"), std::vector<std::string>{"7"});
        EXPECT_EQ(rows(form, "lbl_race_data"), std::vector<std::string>{c.race_data});
    }
    // UserID 1 toggles the faster clock, 2 puts it back.
    Form& form = *manager_.Screen(0);
    EXPECT_FALSE(AcceleratedTime(form));
    EXPECT_TRUE(click(form, 1));
    EXPECT_TRUE(AcceleratedTime(form));
    click(form, 1);
    EXPECT_FALSE(AcceleratedTime(form));
    click(form, 1);
    click(form, 2);
    EXPECT_FALSE(AcceleratedTime(form));
}

const std::vector<LabelSpec> kStandingsTable = {{"round_data"}, {"lbl_position"}, {"lbl_rider"}, {"lbl_bike"},
                                                {"LBL_points"}, {"save"},         {"ok"}};

TEST_F(ResultsScreens, StandingsListTheEnteredRidersByPointsAndHideWhatANetworkPlayerMayNotDo)
{
    champ().CurrentEventIndex = 4;
    champ().FindRider(7).Points = 45;
    champ().FindRider(3).Points = 50;
    champ().FindRider(0).Points = 45;
    champ().FindRider(0).Scores = 3;
    champ().FindRider(7).Scores = 2;  // fewer scores stand higher
    champ().StandingsSorted = 0;
    struct Case {
        std::uint32_t flags;
        bool save, ok;
    };
    const Case cases[] = {{0, true, true}, {kAppFlagNetwork | kAppFlagNetworkHost, false, true},
                          {kAppFlagNetwork, false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flags);
        app_.Flags = c.flags;
        Form& form = screen("Sim11", kStandingsTable);
        EXPECT_EQ(rows(form, "round_data"), std::vector<std::string>{"5"});
        const std::vector<std::string> points = rows(form, "lbl_points");
        ASSERT_EQ(points.size(), 8u);  // the eight entered riders
        EXPECT_EQ(points[0], "50");
        EXPECT_EQ(points[1], "45");
        EXPECT_EQ(rows(form, "lbl_rider")[1], "TOMAS HRABAL");
        EXPECT_EQ(rows(form, "lbl_rider")[2], "ALDO VERZANI");
        EXPECT_EQ(points[7], "0");
        EXPECT_EQ(dynamic_cast<Label*>(form.FindElement("lbl_position"))->m_nCurrentRow, 0);
        EXPECT_EQ(form.FindElement("save")->IsVisibleInState(), c.save);
        EXPECT_EQ(form.FindElement("ok")->IsVisibleInState(), c.ok);
    }
    // The arcade standings keep both buttons.
    Form& arcade = screen("Arcade09", kStandingsTable);
    EXPECT_TRUE(arcade.FindElement("ok")->IsVisibleInState());
    EXPECT_TRUE(arcade.FindElement("save")->IsVisibleInState());
}

TEST_F(ResultsScreens, TheNextEventEndsTheSeasonAfterTheLastOne)
{
    struct Case {
        const char* screen;
        std::uint32_t flags;
        std::int32_t end_state;
    };
    const Case cases[] = {{"Sim11", 0, kSimSeasonEndState},
                          {"Arcade09", 0, kArcadeSeasonEndState},
                          {"sim11", kAppFlagNetwork, kNetworkLobbyState},
                          {"ARCADE09", kAppFlagNetwork | kAppFlagNetworkHost, kNetworkLobbyState}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.screen);
        app_.Flags = c.flags;
        champ().CurrentEventIndex = 10;
        Form& form = screen(c.screen, kStandingsTable, {0, 1, 2}, 103);
        manager_.m_nNextState = -1;
        EXPECT_TRUE(click(form, 1));
        EXPECT_EQ(champ().CurrentEventIndex, 11);
        EXPECT_EQ(manager_.m_nNextState, -1);
        EXPECT_FALSE(click(form, 1));
        EXPECT_EQ(champ().CurrentEventIndex, 11);
        EXPECT_EQ(manager_.m_nNextState, c.end_state);
        EXPECT_EQ(manager_.m_nReturnState, 103);
    }
}

TEST_F(ResultsScreens, LeavingAndSavingAskTheirDialogues)
{
    Form& sim = screen("Sim11", kStandingsTable, {0, 1, 2});
    g_nAnswer = 0;
    EXPECT_FALSE(click(sim, 0));
    g_nAnswer = 1;
    EXPECT_TRUE(click(sim, 0));
    // Saving writes the championship's file, then says so.
    CopyField(champ().FileName, "results.chp");
    EXPECT_TRUE(click(sim, 2));
    EXPECT_TRUE(std::filesystem::exists(dir_ / "menu" / "save" / "results.chp"));
    EXPECT_EQ(g_Asked, (std::vector<std::int32_t>{17, 17, 34}));

    Form& arcade = screen("Arcade09", kStandingsTable, {0, 1, 2});
    g_Asked.clear();
    click(arcade, 0);
    click(arcade, 2);
    EXPECT_EQ(g_Asked, (std::vector<std::int32_t>{27, 32}));
    // In a network game only the next event acts on the arcade standings.
    app_.Flags = kAppFlagNetwork;
    g_Asked.clear();
    EXPECT_TRUE(click(arcade, 0));
    EXPECT_TRUE(click(arcade, 2));
    EXPECT_TRUE(g_Asked.empty());

    // A save that cannot be written is reported and nothing is announced.
    app_.Flags = 0;
    std::filesystem::create_directories(dir_ / "menu" / "save" / "blocked.chp" / "x");
    CopyField(champ().FileName, "blocked.chp");
    platform::clear_recorded_message_boxes();
    // (The arcade screen replaced the simulation's, so it is loaded again.)
    EXPECT_TRUE(click(screen("Sim11", kStandingsTable, {0, 1, 2}), 2));
    EXPECT_EQ(platform::recorded_message_boxes().size(), 1u);
    EXPECT_EQ(g_Asked.size(), 0u);
}

std::vector<LabelSpec> EventResultsLabels()
{
    std::vector<std::string> tracks(kTrackNames.begin(), kTrackNames.end());
    return {{"Track_var", -1, tracks},
            {"Race_var", -1, {"QUALIFY 1", "QUALIFY 2", "RACE 1", "RACE 2", "POINTS"}},
            {"lbl_position"},
            {"lbl_rider", 0},
            {"lbl_bike", 0},
            {"lbl_time", 0},
            {"lbl_rider_2", 1},
            {"lbl_race_1", 1},
            {"lbl_race_2", 1},
            {"lbl_points", 1}};
}

TEST_F(ResultsScreens, EventResultsShowTheChosenSessionOrThePointsInTheirGroup)
{
    champ().CurrentEventIndex = 1;
    champ().SetSessionKind(kSessionSecondRace);
    result(kSessionFirstRace, 5, 0, 80.0f, 600.0f);
    result(kSessionFirstRace, 3, 1, 80.0f, 601.0f);
    result(kSessionSecondRace, 3, 0, 80.0f, 599.0f);
    result(kSessionSecondRace, 5, 1, 80.0f, 600.0f);
    Form& form = screen("Sim13", EventResultsLabels(), {2, 3}, 108);
    Label& track = *dynamic_cast<Label*>(form.FindElement("Track_var"));
    Label& race = *dynamic_cast<Label*>(form.FindElement("Race_var"));
    // Outside state 107 the first event and its first qualifying show.
    EXPECT_EQ(track.m_nFirstRow, 0);
    EXPECT_TRUE(form.FindElement("lbl_time")->IsVisibleInState());
    EXPECT_FALSE(form.FindElement("lbl_points")->IsVisibleInState());
    EXPECT_EQ(rows(form, "lbl_time")[0], "-:-:-");

    // The second event's second race, then its points.
    track.SetFirstRow(1);
    race.SetFirstRow(3);
    click(form, 3);
    EXPECT_EQ(rows(form, "lbl_rider")[0], UpperCase(champ().FindRider(3).Name));
    EXPECT_EQ(rows(form, "lbl_time")[0], "09:59:00");
    race.SetFirstRow(4);
    click(form, 3);
    EXPECT_FALSE(form.FindElement("lbl_time")->IsVisibleInState());
    EXPECT_TRUE(form.FindElement("lbl_points")->IsVisibleInState());
    EXPECT_TRUE(form.FindElement("lbl_position")->IsVisibleInState());
    // 20 + 25 for rider 3, 25 + 20 for rider 5: equal, the lower id first.
    EXPECT_EQ(rows(form, "lbl_rider_2")[0], UpperCase(champ().FindRider(3).Name));
    EXPECT_EQ(rows(form, "lbl_race_1")[0], "20");
    EXPECT_EQ(rows(form, "lbl_race_2")[0], "25");
    EXPECT_EQ(rows(form, "lbl_points")[0], "45");
    EXPECT_EQ(rows(form, "lbl_points")[1], "45");
    EXPECT_EQ(rows(form, "lbl_race_1")[2], "-");
    EXPECT_EQ(rows(form, "lbl_points")[2], "0");
    EXPECT_EQ(dynamic_cast<Label*>(form.FindElement("lbl_position"))->m_nCurrentRow, 0);

    // In state 107 the event is the current one, and UserID 2 goes to the
    // second race.
    Form& after = screen("Sim13", EventResultsLabels(), {2}, kEventResultsState);
    EXPECT_EQ(dynamic_cast<Label*>(after.FindElement("Track_var"))->m_nFirstRow, 1);
    click(after, 2);
    EXPECT_EQ(dynamic_cast<Label*>(after.FindElement("Race_var"))->m_nFirstRow, 3);
    EXPECT_EQ(rows(after, "lbl_time")[0], "09:59:00");

    // A view past the five is refused.
    dynamic_cast<Label*>(after.FindElement("Race_var"))->m_nFirstRow = 5;
    EXPECT_THROW(ShowEventResults(after), GameError);
}

TEST_F(ResultsScreens, TrackRecordsComeFromTheStoreOfTheScreensModel)
{
    TheSimRecords().Clear();
    TheArcadeRecords().Clear();
    TheSimRecords().Track(3).InsertRaceTime(2, 320.5f, "Kai Brenner", "Kirova", 1);
    TheSimRecords().Track(3).InsertRaceTime(2, 318.0f, "Player", "Draxel", 0);
    TheArcadeRecords().Track(3).InsertBestLap(70.25f, "Ivo Petrakis", "Halvorn", false);
    const std::vector<std::string> laps = {"1 LAP", "3 LAPS", "5 LAPS", "10 LAPS", "FULL", "BEST LAPS"};
    std::vector<std::string> tracks(kTrackNames.begin(), kTrackNames.end());

    Form& sim = screen("Sim12", {{"Track_var", -1, tracks}, {"Lap_var", -1, laps}, {"lbl_position"}, {"lbl_rider"},
                                 {"lbl_bike"}, {"lbl_time"}},
                       {1});
    dynamic_cast<Label*>(sim.FindElement("Track_var"))->SetFirstRow(3);
    dynamic_cast<Label*>(sim.FindElement("Lap_var"))->SetFirstRow(2);
    EXPECT_TRUE(click(sim, 1));
    EXPECT_EQ(rows(sim, "lbl_rider")[0], "PLAYER");
    EXPECT_EQ(rows(sim, "lbl_bike")[1], "KIROVA");
    EXPECT_EQ(rows(sim, "lbl_time")[1], "05:20:50");
    EXPECT_EQ(rows(sim, "lbl_position")[1], "2");
    // Ten rows always; an empty record reads "-".
    ASSERT_EQ(rows(sim, "lbl_time").size(), 10u);
    EXPECT_EQ(rows(sim, "lbl_time")[2], "-");
    EXPECT_EQ(rows(sim, "lbl_position")[9], "-");

    // The arcade twin names its position column "lbl_pos" and reads the
    // arcade records; the sixth list is the best laps.
    Form& arcade = screen("Arcade10", {{"Track_var", -1, tracks}, {"Lap_var", -1, laps}, {"lbl_pos"}, {"lbl_rider"},
                                       {"lbl_bike"}, {"lbl_time"}},
                          {1});
    dynamic_cast<Label*>(arcade.FindElement("Track_var"))->SetFirstRow(3);
    dynamic_cast<Label*>(arcade.FindElement("Lap_var"))->SetFirstRow(5);
    click(arcade, 1);
    EXPECT_EQ(rows(arcade, "lbl_rider")[0], "IVO PETRAKIS");
    EXPECT_EQ(rows(arcade, "lbl_time")[0], "01:10:25");
    EXPECT_EQ(rows(arcade, "lbl_pos")[0], "1");
    dynamic_cast<Label*>(arcade.FindElement("Lap_var"))->SetFirstRow(2);
    click(arcade, 1);
    EXPECT_EQ(rows(arcade, "lbl_rider")[0], "-");
}

TEST_F(ResultsScreens, LiveLabelsShowTheTimeLeftAndThePlaceRefreshedEveryThirtySeconds)
{
    champ().SetSessionKind(kSessionFirstTimed);
    Race race;
    race.m_nBikes = 3;
    race.m_pBikes = std::make_unique<Bike[]>(3);
    app_.m_RiderIds[0] = 5;
    app_.m_RiderIds[1] = 3;  // the player
    app_.m_RiderIds[2] = -1; // a slot without a championship rider is left out
    race.m_StandingOrder[0] = 0;
    race.m_StandingOrder[1] = 1;
    race.m_StandingOrder[2] = 2;
    race.m_pBikes[0].BestLap = 80.0f;
    race.m_pBikes[1].BestLap = 81.0f;
    input_.m_fRaceClock = 600.5f;

    Form& form = screen("Game03b", {{"lbl_position_data", -1, {}, true}, {"lbl_clock", -1, {}, true}});
    Label& place = *dynamic_cast<Label*>(form.FindElement("lbl_position_data"));
    Label& clock = *dynamic_cast<Label*>(form.FindElement("lbl_clock"));
    const auto shown = [](Label& label) {
        label.Draw();
        return label.RowText(0);
    };
    // Without a race there is no clock and no time of the player's yet.
    EXPECT_EQ(shown(clock), "-:-:-");
    EXPECT_EQ(shown(place), "-");
    platform::advance_test_clock(kPlaceRefreshMs);
    app_.m_pRace = &race;
    EXPECT_EQ(shown(clock), "49:59:50");
    // The running session's results are filed: the player is second.
    EXPECT_EQ(shown(place), "2");
    EXPECT_EQ(champ().CurrentEvent().GetRiderResult(kSessionFirstTimed, 3).TimeB, 81.0f);
    // Not again before thirty seconds have passed.
    race.m_pBikes[1].BestLap = 79.0f;
    platform::advance_test_clock(kPlaceRefreshMs - 1);
    EXPECT_EQ(shown(place), "2");
    platform::advance_test_clock(1);
    EXPECT_EQ(shown(place), "1");
    // Past the hour the clock reads 0.
    input_.m_fRaceClock = 3700.0f;
    EXPECT_EQ(shown(clock), "00:00:00");

    // A race's results are not filed while it runs (their points would
    // count again at every refresh).
    champ().SetSessionKind(kSessionFirstRace);
    const std::int32_t points = champ().FindRider(5).Points;
    platform::advance_test_clock(kPlaceRefreshMs);
    EXPECT_EQ(shown(place), "-");
    EXPECT_EQ(champ().FindRider(5).Points, points);
}

TEST_F(ResultsScreens, TheOtherLiveLabelsShowTheTestTextAndThePlayerName)
{
    CopyField(champ().PlayerName, "ROSSANA");
    Form& name = screen("arcade01", {{"label_name", -1, {}, true}});
    Label& label = *dynamic_cast<Label*>(name.FindElement("label_name"));
    label.Draw();
    EXPECT_EQ(label.RowText(0), "ROSSANA");

    Form& zun = screen("zun01", {{"zun", -1, {}, true}, {"other", -1, {}, true}});
    for (const char* n : {"zun", "other"})
        dynamic_cast<Label*>(zun.FindElement(n))->Draw();
    EXPECT_EQ(dynamic_cast<Label*>(zun.FindElement("zun"))->RowText(0), "PROVA");
    EXPECT_EQ(dynamic_cast<Label*>(zun.FindElement("other"))->RowText(0), "test");
}

} // namespace
