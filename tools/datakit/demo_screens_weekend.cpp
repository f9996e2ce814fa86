// The race weekend's screens: game mode, team and rider, track, the sessions
// of a weekend, the in-session menus, the timing and session results
// screens and the standings.
#include <string>

#include "tools/datakit/demo_circuits.h"
#include "tools/datakit/demo_menu_builder.h"
#include "tools/datakit/demo_menu_pictures.h"
#include "tools/datakit/demo_menus.h"

namespace datakit {

namespace {

constexpr const char* kWeekendText = "Weekend.txt";
constexpr int kEvents = 12;

// The states of the weekend (docs/screens.md lists them).
constexpr int kGameModeState = 20;
constexpr int kTeamsWeekend = 22, kTeamsPractice = 32, kTeamsChampionship = 44;
constexpr int kTrackWeekend = 27, kTrackPractice = 37;
constexpr int kTrackInfoWeekend = 28, kTrackInfoChampionship = 49;
constexpr int kSessionsWeekend = 29, kSessionsChampionship = 50;
constexpr int kChampionshipStart = 38, kChampionshipStartKeep = 43;
constexpr int kStandingsState = 51;
constexpr int kGameTypeState = 92;
constexpr int kRenameDialogue = 1;  // of "menudial"

// Commands of the buttons (the transitions tell them apart).
constexpr int kCmdBack = 0, kCmdOn = 1, kCmdSecond = 2, kCmdThird = 3, kCmdRecords = 4, kCmdPrevTeam = 5,
              kCmdNextTeam = 6;
// The simulation records (the results group's screen).
constexpr int kRecordsState = 140;
// The game mode's other ways: the replay list (the files group's 80) and the
// championship files ("Sim03": 7 load, 6 delete; a new championship is
// named at 8 from its start screen, then kept at 43).
constexpr int kCmdReplays = 5, kCmdLoadChampionship = 6, kCmdDeleteChampionship = 7;
constexpr int kReplayListState = 80, kLoadChampionshipState = 7, kDeleteChampionshipState = 6,
              kNameChampionshipState = 8;
constexpr int kKeyL = 38, kKeyD = 32;
constexpr int kCmdStay = 9; // no transition: the handler's work only

std::string two(int n)
{
    return (n < 10 ? "0" : "") + std::to_string(n);
}

// A screen with the common background and a title; a screen whose handler
// draws (the session clock) says so before its elements.
FormFileWriter titled(const std::string& name, const char* title_id, bool user_draw = false)
{
    FormFileWriter file = screen_file(name);
    if (user_draw)
        file.key("UserDraw", 1);
    image(file, "background", "art\\weekend.pcx", 0, 0, 640, 480);
    label(file, {"title", 40, 24, 560, 40, title_id, 1, kWeekendText, "Center"});
    return file;
}

void back_button(FormFileWriter& file, int command = kCmdBack)
{
    button(file, {"back", 40, 420, 240, 40, command, -1, "back", kWeekendText, 0});
}

FormFileWriter game_mode_screen()
{
    FormFileWriter file = titled("sim01", "t_mode");
    button(file, {"weekend", 200, 140, 240, 40, kCmdOn, 1, "weekend", kWeekendText});
    button(file, {"championship", 200, 190, 240, 40, kCmdThird, 3, "champ", kWeekendText});
    button(file, {"practice", 200, 240, 240, 40, kCmdSecond, 0, "practice", kWeekendText});
    button(file, {"replay", 200, 290, 240, 40, kCmdReplays, -1, "replay", kWeekendText});
    button(file, {"records", 200, 340, 240, 40, kCmdRecords, -1, "records", kWeekendText});
    // The saved championships, above the others (the focus starts where it
    // did).
    button(file, {"load", 60, 88, 240, 40, kCmdLoadChampionship, -1, "load_champ", kWeekendText, kKeyL});
    button(file, {"delete", 340, 88, 240, 40, kCmdDeleteChampionship, -1, "delete_champ", kWeekendText, kKeyD});
    back_button(file);
    file.end();
    return file;
}

FormFileWriter championship_start_screen()
{
    FormFileWriter file = titled("Sim04", "t_champ");
    label(file, {"text", 80, 120, 480, 120, "champ_text", 1, kWeekendText, "Center"});
    button(file, {"start", 200, 300, 240, 40, kCmdOn, -1, "start", kWeekendText, kKeyEnter});
    // Names the championship and gives it a save of its own (the files
    // screen), then comes back here keeping it.
    button(file, {"name", 200, 350, 240, 40, kCmdSecond, -1, "name_champ", kWeekendText, kKeyN});
    back_button(file);
    file.end();
    return file;
}

// A racing team: its riders one page each of "label_name", paged with "<"
// and ">"; "choose" takes the rider shown, the other teams are a button
// away.
FormFileWriter team_screen(const std::string& name)
{
    FormFileWriter file = titled(name, ("t_" + name).c_str());
    label(file, {"label_name", 160, 180, 320, 40, "rider", 5, kWeekendText, "Center"});
    button(file, {"prev", 96, 176, 48, 48, -3, -1, "prev", kMenuText, kKeyLeft, "art\\sbtn", "label_name"});
    button(file, {"next", 496, 176, 48, 48, -2, -1, "next", kMenuText, kKeyRight, "art\\sbtn", "label_name"});
    button(file, {"choose", 200, 260, 240, 40, kCmdOn, 1, "choose", kWeekendText, kKeyEnter});
    button(file, {"prev_team", 60, 320, 240, 40, kCmdPrevTeam, -1, "prev_team", kWeekendText});
    button(file, {"next_team", 340, 320, 240, 40, kCmdNextTeam, -1, "next_team", kWeekendText});
    button(file, {"rename", 200, 370, 240, 40, kCmdStay, 3, "rename", kWeekendText, kKeyR});
    button(file, {"info", 340, 420, 240, 40, kCmdStay, 2, "info", kWeekendText});
    // A network game: shown while another player holds the rider shown.
    image(file, "multi_forbidden_sprite", "art\\no", 296, 128, 48, 48);
    label(file, {.name = "multi_forbidden_text", .left = 160, .top = 226, .width = 320, .height = 28,
                 .text_id = "multi_forbidden", .text_file = "Multi.txt", .alignment = "Center",
                 .visible_in_state = -1});
    back_button(file);
    file.end();
    return file;
}

// The rider's new name, typed on the edit row "DLG_data": Enter takes it,
// Esc or "Cancel" keep the old one. No letter is a hot key here, so every
// letter types.
FormFileWriter rename_dialogue_screen()
{
    FormFileWriter file = screen_file("dlg05");
    image(file, "panel", "art\\dialog.pcx", 120, 150, 400, 180);
    label(file, {"dlg_message", 140, 176, 360, 30, "rename_msg", 2, kDialogueText, "Center"});
    label(file, {.name = "DLG_data", .left = 140, .top = 222, .width = 360, .height = 30, .text_id = "rename_data",
                 .text_file = kDialogueText, .alignment = "Center", .editable = 64, .font = kDemoTableFont});
    button(file, {"ok", 170, 274, 120, 36, 1, 1, "rename_ok", kDialogueText, kKeyEnter, "art\\dbtn"});
    button(file, {"cancel", 350, 274, 120, 36, 0, -1, "rename_cancel", kDialogueText, 0, "art\\dbtn"});
    file.end();
    return file;
}

FormFileWriter track_screen()
{
    FormFileWriter file = titled("Sim08", "t_track");
    for (int i = 0; i < kEvents; ++i)
        button(file, {("track" + two(i)).c_str(), i < 6 ? 80 : 340, 100 + (i % 6) * 48, 220, 40, kCmdOn, i + 1,
                      ("trk" + two(i)).c_str(), kWeekendText});
    back_button(file);
    file.end();
    return file;
}

// The names in the file live as long as the writer: the builder copies
// every key when it is written.
FormFileWriter track_info_screen()
{
    FormFileWriter file = titled("sim09d", "t_info");
    image(file, "Sprite_round", kDemoTrackStrip, 30, 90, kDemoTrackWidth, kDemoTrackHeight);
    label(file, {"LBL_Nation", 380, 100, 240, 32, "nation", kEvents, kWeekendText});
    label(file, {"LBL_Circuit_info", 380, 140, 240, 120, "circuit", kEvents, kWeekendText});
    label(file, {"LBL_record_caption", 380, 280, 120, 32, "record", 1, kWeekendText});
    label(file, {"LBL_record", 500, 280, 120, 32, "no_time", 1, kWeekendText});
    button(file, {"go", 360, 420, 240, 40, kCmdOn, -1, "go_on", kWeekendText, kKeyEnter});
    button(file, {"info", 360, 370, 240, 40, kCmdStay, 1, "info", kWeekendText});
    button(file, {"exit", 40, 420, 240, 40, kCmdBack, 0, "back", kWeekendText});
    // A player who joined a network weekend goes on to the host's next race
    // (shown to him only).
    button(file, {"to_race", 40, 370, 240, 40, kCmdStay, 2, "to_race", kWeekendText, kKeyR});
    file.end();
    return file;
}

constexpr const char* kSessionButtons[7] = {"Practice_1", "Qualify_1", "Practice_2", "Qualify_2",
                                            "Warm_up",    "Race_1",    "Race_2"};
constexpr const char* kSessionLabels[7] = {"lbl_practice_1", "lbl_qualify_1", "lbl_practice_2", "lbl_qualify_2",
                                           "lbl_warm_up",    "lbl_race_1",    "lbl_race_2"};
constexpr const char* kSessionNames[7] = {"Practice 1", "Qualifying 1", "Practice 2", "Qualifying 2",
                                          "Warm-up",    "Race 1",       "Race 2"};
constexpr const char* kSessionDays[7] = {"Friday", "Friday", "Saturday", "Saturday", "Sunday", "Sunday", "Sunday"};

FormFileWriter sessions_screen()
{
    FormFileWriter file = titled("Sim10", "t_sessions");
    for (int i = 0; i < 7; ++i) {
        // Each button beside its session's title of the round (the title
        // the overlay shows once the session is chosen).
        // (The button's picture is 240 wide whatever the button's width.)
        button(file, {kSessionButtons[i], 40, 80 + i * 44, 240, 38, kCmdOn + i, i + 1,
                      ("s" + std::to_string(i)).c_str(), kWeekendText});
        label(file, {kSessionLabels[i], 292, 86 + i * 44, 324, 30, ("st" + std::to_string(i)).c_str(), kEvents,
                     kWeekendText});
    }
    button(file, {"save", 40, 420, 240, 40, kCmdStay, 8, "save", kWeekendText, kKeyS});
    button(file, {"results", 360, 376, 240, 40, 10, -1, "results", kWeekendText});
    button(file, {"exit", 360, 420, 240, 40, kCmdBack, 9, "leave", kWeekendText});
    file.end();
    return file;
}

// The in-session menu: what is about to run or is running, "go" (ride),
// "end" (the session ends) and the called screens.
FormFileWriter in_session_screen(const std::string& name)
{
    FormFileWriter file = titled(name, "t_session", name == "Game03b");
    image(file, "sprite_track_name", kDemoTrackStrip, 300, 80, kDemoTrackWidth, kDemoTrackHeight);
    label(file, {"LBL_Day", 40, 90, 250, 32, "empty", 1, kWeekendText});
    label(file, {"LBL_Round", 40, 130, 120, 32, "round", 1, kWeekendText});
    label(file, {"LBL_Round_data", 160, 130, 60, 32, "empty", 1, kWeekendText});
    label(file, {"LBL_race_data", 220, 130, 60, 32, "empty", 1, kWeekendText});
    label(file, {"LBL_practice", 40, 170, 200, 32, "practice_cap", 1, kWeekendText});
    label(file, {"LBL_warmup", 40, 170, 200, 32, "warmup_cap", 1, kWeekendText});
    label(file, {"LBL_rider_name", 40, 210, 250, 32, "empty", 1, kWeekendText});
    label(file, {"LBL_setting_data", 40, 250, 250, 32, "empty", 1, kWeekendText});
    label(file, {"LBL_temp_data_1", 40, 290, 100, 32, "empty", 1, kWeekendText});
    label(file, {"LBL_temp_data_2", 160, 290, 100, 32, "empty", 1, kWeekendText});
    // The timed sessions' menus show the player's place and the time left
    // of the hour (live labels, drawn as the clock runs); the races' does
    // not.
    if (name != "Game03c") {
        label(file, {"lbl_place_cap", 40, 62, 80, 24, "place_cap", 1, kWeekendText});
        label(file, {.name = "lbl_position_data", .left = 120, .top = 62, .width = 60, .height = 24, .text_var = "1"});
        label(file, {"lbl_left_cap", 400, 62, 110, 24, "left_cap", 1, kWeekendText});
        label(file, {.name = "lbl_time_left", .left = 510, .top = 62, .width = 100, .height = 24, .text_var = "2"});
    }
    // A network race: the host starts it from the lobby (row 1). Row 0 is
    // a blank, not empty: a label shows as many rows as its row 0 has.
    label(file, {"race", 40, 170, 250, 32, "race_row", 2, kWeekendText});
    button(file, {"go", 360, 330, 240, 38, kCmdOn, -1, "ride", kWeekendText, kKeyEnter});
    button(file, {"end_session", 360, 376, 240, 38, kCmdSecond, 0, "end_run", kWeekendText, kKeyE});
    button(file, {"options", 40, 330, 260, 34, kCmdStay, 2, "options", kWeekendText});
    button(file, {"timing", 40, 370, 260, 34, kCmdStay, 3, "timing", kWeekendText, kKeyT});
    button(file, {"setup", 40, 410, 260, 34, kCmdStay, 4, "setup", kWeekendText});
    file.end();
    return file;
}

FormFileWriter game_type_screen()
{
    FormFileWriter file = titled("option01", "t_options");
    // Each button's command leads to its options from the main menu's
    // options state (the options group's transitions); in the called
    // state 92 none leads anywhere.
    button(file, {"game", 200, 110, 240, 36, 1, -1, "game", kWeekendText});
    button(file, {"realism", 200, 150, 240, 36, 2, -1, "realism", kWeekendText});
    button(file, {"controls", 200, 190, 240, 36, 3, -1, "controls", kWeekendText});
    button(file, {"graphics", 200, 230, 240, 36, 4, -1, "graphics", kWeekendText});
    button(file, {"audio", 200, 270, 240, 36, 5, -1, "audio", kWeekendText});
    button(file, {"display", 200, 310, 240, 36, 6, -1, "display", kWeekendText});
    button(file, {"replays", 200, 350, 240, 36, 7, -1, "replays", kWeekendText});
    back_button(file);
    file.end();
    return file;
}

void add_texts(DemoMenuBuilder& kit)
{
    const std::pair<const char*, const char*> texts[] = {
        {"t_mode", "Game mode"}, {"weekend", "Race weekend"}, {"champ", "Championship"},
        {"practice", "Practice"}, {"replay", "Replays"}, {"load_champ", "Load championship"},
        {"delete_champ", "Delete championship"}, {"name_champ", "Name and save it"}, {"records", "Records"}, {"back", "Back"},
        {"t_champ", "New championship"}, {"champ_text", "Twelve rounds, five teams.\nChoose your rider."},
        {"start", "Start"}, {"t_Sim5k", "Team K"}, {"t_Sim5d", "Team D"}, {"t_Sim5h", "Team H"},
        {"t_Sim5y", "Team Y"}, {"t_Sim5s", "Team S"}, {"choose", "Ride for them"}, {"prev_team", "< Team"},
        {"next_team", "Team >"}, {"info", "Information"}, {"t_track", "Choose the circuit"},
        {"t_info", "The circuit"}, {"race_row00", " "}, {"race_row01", "Started from the lobby"}, {"to_race", "R  To the race"}, {"record", "Lap record"}, {"no_time", "-:-:-"}, {"go_on", "Go on"},
        {"t_sessions", "The weekend"}, {"save", "Save"}, {"results", "Results"}, {"leave", "Leave"},
        {"t_session", "Session"}, {"round", "Round"}, {"place_cap", "Place"}, {"left_cap", "Time left"}, {"practice_cap", "Practice"}, {"warmup_cap", "Warm-up"},
        {"ride", "Ride"}, {"end_run", "End the session"}, {"options", "Options"}, {"timing", "Timing"},
        {"setup", "Bike set-up"}, {"empty", ""}, {"t_timing", "Timing"}, {"accelerate", "Normal time\nFast time"},
        {"fast", "Fast time"}, {"normal", "Normal time"}, {"t_results", "Session results"}, {"ok", "OK"},
        {"t_standings", "Standings"}, {"next_event", "Next round"}, {"t_options", "Options"},
        {"game", "Game type"}, {"realism", "Realism"}, {"controls", "Controls"}, {"graphics", "Graphics"},
        {"audio", "Sound"}, {"display", "Display driver"}, {"replays", "Replays"},
    };
    for (const auto& [id, text] : texts)
        kit.text(kWeekendText, id, text);
    for (int page = 0; page < 5; ++page)
        kit.text(kWeekendText, "rider" + two(page), "");
    for (int i = 0; i < kEvents; ++i) {
        const std::string track = kDemoCircuitNames[i];
        kit.text(kWeekendText, "trk" + two(i), track);
        kit.text(kWeekendText, "nation" + two(i), "Round " + std::to_string(i + 1));
        kit.text(kWeekendText, "circuit" + two(i), track + "\nOne lap of the\ndemo circuit.");
        for (int s = 0; s < 7; ++s)
            kit.text(kWeekendText, "st" + std::to_string(s) + two(i),
                     std::string(kSessionDays[s]) + " - " + kSessionNames[s] + " - " + track);
    }
    for (int s = 0; s < 7; ++s)
        kit.text(kWeekendText, "s" + std::to_string(s), kSessionNames[s]);
    kit.text(kWeekendText, "rename", "Rename");
    // The rename dialogue's page is its state's (1).
    for (const auto& [id, text] : {std::pair{"rename_msg00", "The rider's new name:"}, {"rename_msg01", "The rider's new name:"},
                                   {"rename_data", ""}, {"rename_ok", "OK"}, {"rename_cancel", "Cancel"}})
        kit.text(kDialogueText, id, text);
}

// The five team screens of a decade (first state k, then d, h, y, s), each
// leading to the next and back, "choose" to `chosen`.
void add_teams(DemoMenuBuilder::Set& menu, int first, int chosen, int back)
{
    static const char* const kTeams[5] = {"Sim5k", "Sim5d", "Sim5h", "Sim5y", "Sim5s"};
    for (int i = 0; i < 5; ++i) {
        const int state = first + i;
        menu.state(state, kTeams[i])
            .go(state, kCmdOn, chosen)
            .go(state, kCmdBack, back)
            .go(state, kCmdPrevTeam, first + (i + 4) % 5)
            .go(state, kCmdNextTeam, first + (i + 1) % 5);
    }
}

// The sessions screen and its in-session states: Practice 1 .. Race 2 at
// `firstSession` ..`firstSession` + 6.
void add_weekend(DemoMenuBuilder::Set& menu, int sessions, int firstSession, int results)
{
    menu.state(sessions, "Sim10").go(sessions, kCmdBack, kDemoMainMenuState);
    if (results >= 0)
        menu.go(sessions, 10, results);
    for (int i = 0; i < 7; ++i) {
        const int state = firstSession + i;
        menu.state(state, i < 5 ? "Game03b" : "Game03c")
            .go(sessions, kCmdOn + i, state)
            .go(state, kCmdOn, kDemoEndState)      // "go": the session runs, or the rider rides again
            .go(state, kCmdSecond, kDemoEndState)  // "end": the session's run ends
            .go(state, kCmdBack, sessions);
    }
}

} // namespace

void add_weekend_screens(DemoMenuBuilder& kit)
{
    kit.screen("sim01", game_mode_screen());
    kit.screen("Sim04", championship_start_screen());
    for (const char* team : {"Sim5k", "Sim5d", "Sim5h", "Sim5y", "Sim5s"})
        kit.screen(team, team_screen(team));
    kit.screen("Sim08", track_screen());
    kit.screen("sim09d", track_info_screen());
    kit.screen("Sim10", sessions_screen());
    for (const char* name : {"Game03a", "Game03b", "Game03c"})
        kit.screen(name, in_session_screen(name));
    kit.screen("option01", game_type_screen());
    kit.screen("dlg05", rename_dialogue_screen());
    add_texts(kit);

    DemoMenuBuilder::Set& menu = kit.set("menu");
    menu.go(kDemoMainMenuState, kDemoWeekendCommand, kGameModeState);
    menu.state(kGameModeState, "sim01")
        .go(kGameModeState, kCmdBack, kDemoMainMenuState)
        .go(kGameModeState, kCmdOn, kTeamsWeekend)
        .go(kGameModeState, kCmdSecond, kTeamsPractice)
        .go(kGameModeState, kCmdThird, kChampionshipStart)
        .go(kGameModeState, kCmdRecords, kRecordsState)
        .go(kGameModeState, kCmdReplays, kReplayListState)
        .go(kGameModeState, kCmdLoadChampionship, kLoadChampionshipState)
        .go(kGameModeState, kCmdDeleteChampionship, kDeleteChampionshipState);

    // A single weekend: team, circuit (game mode 3), its information, the
    // sessions.
    add_teams(menu, kTeamsWeekend, kTrackWeekend, kGameModeState);
    menu.state(kTrackWeekend, "Sim08").go(kTrackWeekend, kCmdOn, kTrackInfoWeekend).go(kTrackWeekend, kCmdBack,
                                                                                       kTeamsWeekend);
    menu.state(kTrackInfoWeekend, "sim09")
        .go(kTrackInfoWeekend, kCmdOn, kSessionsWeekend)
        .go(kTrackInfoWeekend, kCmdBack, kTrackWeekend);
    add_weekend(menu, kSessionsWeekend, 64, -1);

    // Practice alone on a circuit (game mode 2): team, circuit, session.
    add_teams(menu, kTeamsPractice, kTrackPractice, kGameModeState);
    menu.state(kTrackPractice, "Sim08").go(kTrackPractice, kCmdOn, 63).go(kTrackPractice, kCmdBack, kTeamsPractice);
    menu.state(63, "Game03a").go(63, kCmdOn, kDemoEndState).go(63, kCmdSecond, kDemoEndState).go(63, kCmdBack,
                                                                                                 kTrackPractice);

    // The championship (game mode 4): its start, team, the event's circuit,
    // the sessions, results and standings.
    menu.state(kChampionshipStart, "Sim04")
        .state(kChampionshipStartKeep, "Sim04")
        .go(kChampionshipStart, kCmdOn, kTeamsChampionship)
        .go(kChampionshipStart, kCmdBack, kGameModeState)
        .go(kChampionshipStart, kCmdSecond, kNameChampionshipState)
        .go(kChampionshipStartKeep, kCmdSecond, kNameChampionshipState)
        .go(kChampionshipStartKeep, kCmdOn, kTeamsChampionship)
        .go(kChampionshipStartKeep, kCmdBack, kGameModeState);
    add_teams(menu, kTeamsChampionship, kTrackInfoChampionship, kChampionshipStart);
    menu.state(kTrackInfoChampionship, "sim09")
        .go(kTrackInfoChampionship, kCmdOn, kSessionsChampionship)
        .go(kTrackInfoChampionship, kCmdBack, kDemoMainMenuState);
    add_weekend(menu, kSessionsChampionship, 71, kStandingsState);

    // The results after the sessions, the standings (51) and the timing
    // screen (81) are the results group's states.
    // Called from the in-session menus (their next command comes back).
    menu.state(kGameTypeState, "option01");

    // The rider's rename: OK (command 1) and Esc end the dialogue set.
    kit.set("menudial").state(kRenameDialogue, "dlg05").go(kRenameDialogue, kCmdOn, kDemoEndState).go(
        kRenameDialogue, kCmdBack, kDemoEndState);
}

} // namespace datakit
