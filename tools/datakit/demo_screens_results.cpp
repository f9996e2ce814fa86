// The results, standings and records screens: the results of a session
// ("game0702"), the weekend's timing screen ("game07"), the standings after
// an event ("Sim11", "Arcade09"), the results of an event ("Sim13") and the
// track records ("Sim12", "Arcade10").
#include <string>
#include <vector>

#include "tools/datakit/demo_menu_builder.h"
#include "tools/datakit/demo_menu_pictures.h"
#include "tools/datakit/demo_menus.h"

namespace datakit {

namespace {

// States of "menu" the results screens stand at. The race run loop resumes
// the menus after a session at 85 (a weekend's timed session), 86 (a
// championship's timed session), 106 (its first race), 102 (its second
// race), 99 (an arcade championship's race) and 101 (a race from the
// arcade bike choice), each showing the session's results.
constexpr int kWeekendTimedResults = 85;
constexpr int kChampTimedResults = 86;
constexpr int kChampRace1Results = 106;
constexpr int kChampRace2Results = 102;
constexpr int kArcadeChampResults = 99;
constexpr int kArcadeRaceResults = 101;
// Where the results lead: the weekend's sessions (29 a weekend's, 50 a
// championship's), the standings after an event (51, the state a loaded
// championship whose event is over starts in), the arcade standings (100),
// the arcade race screen (9) and the arcade menu (2).
constexpr int kWeekendSessions = 29;
constexpr int kChampSessions = 50;
constexpr int kChampStandings = 51;
constexpr int kArcadeStandings = 100;
constexpr int kArcadeRaceScreen = 9;
constexpr int kArcadeMenu = 2;
// The timing screen, called from the in-session menus.
constexpr int kTimingScreen = 81;
// The event results (107, after the event's standings) and the records.
constexpr int kEventResults = 107;
// The records from the game-mode screen (140) and the arcade menu (141),
// and from the standings (142, 143), each going back where it came from.
constexpr int kSimRecords = 140;
constexpr int kArcadeRecords = 141;
constexpr int kStandingsSimRecords = 142;
constexpr int kStandingsArcadeRecords = 143;
constexpr int kGameModeState = 20;

// Commands of the screens' buttons (the transitions).
constexpr int kBack = 0, kContinue = 1, kStay = 2, kShowResults = 3, kLeave = 4, kShowRecords = 5;

constexpr int kRowHeight = 21;      // the menu font's rows
constexpr int kTableTop = 122;
constexpr int kTableRows = 12;
constexpr int kTableHeight = kTableRows * kRowHeight;
constexpr int kButtonTop = 394;

// The text sections of the group (in the menu text file).
void texts(DemoMenuBuilder& kit)
{
    std::string tracks;
    for (const char* name : {"ISLAND", "MISANO", "DONIGTON", "HOCKEN", "MONZA", "LAGUNA", "BRANDS", "A1RING",
                             "ASSEN", "ALBACETE", "SUGO", "SENTUL"})
        tracks += std::string(tracks.empty() ? "" : "\n") + name;
    const std::pair<const char*, std::string> sections[] = {
        {"res_tracks", tracks},
        {"res_views", "QUALIFY 1\nQUALIFY 2\nRACE 1\nRACE 2\nPOINTS"},
        {"res_laps", "1 LAP\n3 LAPS\n5 LAPS\n10 LAPS\nFULL RACE\nBEST LAPS"},
        {"res_speed", "NORMAL TIME\nFAST TIME"},
        {"res_pos", "POS"},
        {"res_rider", "RIDER"},
        {"res_bike", "TEAM"},
        {"res_time", "TIME"},
        {"res_points", "PTS"},
        {"res_race1", "R1"},
        {"res_race2", "R2"},
        {"res_round", "ROUND"},
        {"res_race", "RACE"},
        {"res_qualify", "QUALIFYING"},
        {"res_practice", "PRACTICE"},
        {"res_left", "TIME LEFT"},
        {"res_place", "PLACE"},
        {"res_next", "Next"},
        {"res_save", "Save"},
        {"res_quit", "Quit"},
        {"res_back", "Back"},
        {"res_results", "Results"},
        {"res_records", "Records"},
        {"res_fast", "Fast"},
        {"res_race2_btn", "Race 2"},
        {"res_up", "-"},
        {"res_down", "+"},
        {"res_prev", "<"},
        {"res_nextc", ">"},
    };
    for (const auto& [id, text] : sections)
        kit.text(kMenuText, id, text);
}

FormFileWriter titled_screen(const std::string& name, const std::string& background, bool user_draw = false)
{
    FormFileWriter file = screen_file(name);
    // The screen's own keys come before its first element.
    if (user_draw)
        file.key("UserDraw", 1);
    image(file, "background", "art\\" + background + ".pcx", 0, 0, 640, 480);
    return file;
}

struct Column {
    const char* name;
    const char* header;  // text section of its heading
    int left, width;
    const char* alignment = "Left";
};

// A table: a heading over each column and the column labels, each linked to
// the next so that they scroll together and share the current row; with
// `scroll`, "-" and "+" at the right step the rows of the first column
// (notifications -4 and -5, handed along the links).
void table(FormFileWriter& file, const std::vector<Column>& columns, int group = -1, bool scroll = true,
           int rows = kTableRows)
{
    for (std::size_t c = 0; c < columns.size(); ++c) {
        const Column& col = columns[c];
        const std::string header = std::string("hdr_") + col.name;
        label(file, {.name = header.c_str(), .left = col.left, .top = kTableTop - 26, .width = col.width,
                     .height = kRowHeight, .text_id = col.header, .alignment = col.alignment, .group = group});
        const char* next = c + 1 < columns.size() ? columns[c + 1].name : nullptr;
        label(file, {.name = col.name, .left = col.left, .top = kTableTop, .width = col.width,
                     .height = rows * kRowHeight, .alignment = col.alignment, .group = group, .linked_to = next,
                     .font = kDemoTableFont});
    }
    if (scroll) {
        const char* first = columns.front().name;
        const std::string up = std::string("up_") + first, down = std::string("down_") + first;
        button(file, {up.c_str(), 592, kTableTop, 32, 32, -4, -1, "res_up", kMenuText, 0, "art\\tbtn", first});
        button(file, {down.c_str(), 592, kTableTop + rows * kRowHeight - 32, 32, 32, -5, -1, "res_down", kMenuText,
                      0, "art\\tbtn", first});
    }
}

// A choice shown as one row of a list label, stepped by "<" and ">" beside
// it (notifications -4 and -5); both buttons report `user_id`, on which the
// screen shows its table again.
void selector(FormFileWriter& file, const char* name, const char* rows_id, int left, int top, int width,
              int user_id, int key_previous, int key_next)
{
    const std::string prev = std::string("prev_") + name, next = std::string("next_") + name;
    button(file, {prev.c_str(), left, top - 6, 32, 32, -4, user_id, "res_prev", kMenuText, key_previous, "art\\tbtn",
                  name});
    label(file, {.name = name, .left = left + 40, .top = top, .width = width, .height = kRowHeight,
                 .text_id = rows_id, .alignment = "Center"});
    button(file, {next.c_str(), left + width + 48, top - 6, 32, 32, -5, user_id, "res_nextc", kMenuText, key_next,
                  "art\\tbtn", name});
}

const std::vector<Column> kSessionColumns = {{"lbl_position", "res_pos", 40, 48, "Right"},
                                             {"lbl_Rider", "res_rider", 104, 250},
                                             {"lbl_bike", "res_bike", 362, 120},
                                             {"lbl_time", "res_time", 488, 96, "Right"}};

// The results of the session just run: "Next" (and Esc) go on.
FormFileWriter session_results_screen()
{
    FormFileWriter file = titled_screen("game0702", "game0702");
    table(file, kSessionColumns);
    button(file, {"next", 260, kButtonTop, 120, 36, kContinue, -1, "res_next", kMenuText, kKeyEnter, "art\\dbtn"});
    file.end();
    return file;
}

// The timing screen of a running session: the session's captions, the
// player's place and the time left (live labels), the table of the
// session, and the choice of the clock's speed.
FormFileWriter timing_screen()
{
    FormFileWriter file = titled_screen("game07", "game07", true);
    label(file, {.name = "lbl_round", .left = 40, .top = 58, .width = 90, .height = kRowHeight, .text_id = "res_round"});
    label(file, {.name = "lbl_round_data", .left = 134, .top = 58, .width = 40, .height = kRowHeight});
    label(file, {.name = "lbl_race", .left = 190, .top = 58, .width = 70, .height = kRowHeight, .text_id = "res_race"});
    label(file, {.name = "lbl_race_data", .left = 264, .top = 58, .width = 30, .height = kRowHeight});
    label(file, {.name = "lbl_qualify", .left = 40, .top = 58, .width = 200, .height = kRowHeight,
                 .text_id = "res_qualify"});
    label(file, {.name = "lbl_practice", .left = 40, .top = 58, .width = 200, .height = kRowHeight,
                 .text_id = "res_practice"});
    label(file, {.name = "lbl_place", .left = 320, .top = 58, .width = 80, .height = kRowHeight, .text_id = "res_place"});
    label(file, {.name = "lbl_position_data", .left = 404, .top = 58, .width = 40, .height = kRowHeight,
                 .text_var = "1"});
    label(file, {.name = "lbl_left", .left = 320, .top = 80, .width = 120, .height = kRowHeight, .text_id = "res_left"});
    label(file, {.name = "lbl_time_left", .left = 444, .top = 80, .width = 120, .height = kRowHeight,
                 .text_var = "2"});
    table(file, kSessionColumns, -1, true, kTableRows - 1);
    label(file, {.name = "accelerate_time", .left = 40, .top = kButtonTop + 8, .width = 170, .height = kRowHeight,
                 .text_id = "res_speed"});
    button(file, {"fast", 220, kButtonTop, 120, 36, kStay, 1, "res_fast", kMenuText, 33 /* F */, "art\\dbtn"});
    button(file, {"back", 480, kButtonTop, 120, 36, kBack, 2, "res_back", kMenuText, kKeyEnter, "art\\dbtn"});
    file.end();
    return file;
}

// The standings after an event: "Next" goes on to the next event (or the
// season's end), "Save" saves the championship, "Quit" leaves it once
// confirmed; the simulation's also shows the results of the event.
FormFileWriter standings_screen(const char* name, bool simulation)
{
    FormFileWriter file = titled_screen(name, simulation ? "sim11" : "arcade09");
    label(file, {.name = "lbl_round", .left = 40, .top = 58, .width = 90, .height = kRowHeight, .text_id = "res_round"});
    label(file, {.name = "round_data", .left = 134, .top = 58, .width = 40, .height = kRowHeight});
    table(file, {{"lbl_position", "res_pos", 40, 48, "Right"},
                 {"lbl_rider", "res_rider", 104, 250},
                 {"lbl_bike", "res_bike", 362, 120},
                 {"LBL_points", "res_points", 488, 96, "Right"}});
    // Five buttons across (four on the arcade's, which has no event
    // results).
    int left = simulation ? 20 : 40;
    const auto add = [&](Button spec) {
        spec.left = left;
        spec.width = 120;
        button(file, spec);
        left += simulation ? 122 : 150;
    };
    add({"ok", 0, kButtonTop, 0, 36, kContinue, 1, "res_next", kMenuText, kKeyEnter, "art\\dbtn"});
    add({"save", 0, kButtonTop, 0, 36, kStay, 2, "res_save", kMenuText, 31 /* S */, "art\\dbtn"});
    if (simulation)
        add({"results", 0, kButtonTop, 0, 36, kShowResults, 3, "res_results", kMenuText, kKeyR, "art\\dbtn"});
    add({"records", 0, kButtonTop, 0, 36, kShowRecords, -1, "res_records", kMenuText, kKeyC, "art\\dbtn"});
    add({"quit", 0, kButtonTop, 0, 36, kLeave, 0, "res_quit", kMenuText, kKeyQ, "art\\dbtn"});
    file.end();
    return file;
}

// The results of an event: the event and the view (a session or the
// points) chosen above the table; "Race 2" shows the second race.
FormFileWriter event_results_screen()
{
    FormFileWriter file = titled_screen("Sim13", "sim13");
    selector(file, "Track_var", "res_tracks", 40, 60, 160, 3, kKeyLeft, kKeyRight);
    selector(file, "Race_var", "res_views", 340, 60, 140, 3, kKeyUp, kKeyDown);
    // The position column belongs to both views.
    label(file, {.name = "hdr_position", .left = 40, .top = kTableTop - 26, .width = 48, .height = kRowHeight,
                 .text_id = "res_pos", .alignment = "Right"});
    label(file, {.name = "lbl_position", .left = 40, .top = kTableTop, .width = 48, .height = kTableHeight,
                 .alignment = "Right", .linked_to = "lbl_rider", .font = kDemoTableFont});
    table(file, {{"lbl_rider", "res_rider", 104, 250}, {"lbl_bike", "res_bike", 362, 120},
                 {"lbl_time", "res_time", 488, 96, "Right"}},
          0, false);
    table(file, {{"lbl_rider_2", "res_rider", 104, 250}, {"lbl_race_1", "res_race1", 362, 60, "Right"},
                 {"lbl_race_2", "res_race2", 430, 60, "Right"}, {"lbl_points", "res_points", 498, 86, "Right"}},
          1, false);
    button(file, {"race_2", 180, kButtonTop, 120, 36, kStay, 2, "res_race2_btn", kMenuText, kKeyR, "art\\dbtn"});
    button(file, {"back", 340, kButtonTop, 120, 36, kBack, -1, "res_back", kMenuText, kKeyEnter, "art\\dbtn"});
    file.end();
    return file;
}

// The records of a track: the track and the list chosen above the ten
// rows.
FormFileWriter records_screen(const char* name, bool simulation)
{
    FormFileWriter file = titled_screen(name, simulation ? "sim12" : "arcade10");
    selector(file, "Track_var", "res_tracks", 40, 60, 160, 1, kKeyLeft, kKeyRight);
    selector(file, "Lap_var", "res_laps", 340, 60, 140, 1, kKeyUp, kKeyDown);
    table(file, {{simulation ? "lbl_position" : "lbl_pos", "res_pos", 40, 48, "Right"},
                 {"lbl_rider", "res_rider", 104, 250},
                 {"lbl_bike", "res_bike", 362, 120},
                 {"lbl_time", "res_time", 488, 96, "Right"}},
          -1, false, 10);
    button(file, {"back", 260, kButtonTop, 120, 36, kBack, -1, "res_back", kMenuText, kKeyEnter, "art\\dbtn"});
    file.end();
    return file;
}

constexpr const char* kTableHint = "-  +  scroll     Enter next     Esc back";

} // namespace

void add_results_screens(DemoMenuBuilder& kit)
{
    texts(kit);
    kit.screen("game0702", session_results_screen());
    kit.screen("game07", timing_screen());
    kit.screen("Sim11", standings_screen("Sim11", true));
    kit.screen("Arcade09", standings_screen("Arcade09", false));
    kit.screen("Sim13", event_results_screen());
    kit.screen("Sim12", records_screen("Sim12", true));
    kit.screen("Arcade10", records_screen("Arcade10", false));

    DemoMenuBuilder::Set& menu = kit.set("menu");
    // The results after each kind of session, and where they lead.
    const std::pair<int, int> results[] = {
        {kWeekendTimedResults, kWeekendSessions}, {kChampTimedResults, kChampSessions},
        {kChampRace1Results, kChampSessions},     {kChampRace2Results, kChampStandings},
        {kArcadeChampResults, kArcadeStandings},  {kArcadeRaceResults, kArcadeMenu},
    };
    for (const auto& [state, next] : results)
        menu.state(state, "game0702").go(state, kContinue, next).go(state, kBack, next);
    menu.state(kTimingScreen, "game07");
    // The standings: "Next" to the next event's sessions (the season's end
    // is the screen's own step), "Results" to the event's results, "Quit"
    // to the main menu; Esc stays.
    menu.state(kChampStandings, "Sim11")
        .go(kChampStandings, kContinue, kChampSessions)
        .go(kChampStandings, kShowResults, kEventResults)
        .go(kChampStandings, kShowRecords, kStandingsSimRecords)
        .go(kChampStandings, kLeave, kDemoMainMenuState);
    menu.state(kArcadeStandings, "Arcade09")
        .go(kArcadeStandings, kContinue, kArcadeRaceScreen)
        .go(kArcadeStandings, kShowRecords, kStandingsArcadeRecords)
        .go(kArcadeStandings, kLeave, kDemoMainMenuState);
    menu.state(kEventResults, "Sim13").go(kEventResults, kBack, kChampStandings);
    // The records, back where they were asked for.
    const std::pair<int, int> records[] = {{kSimRecords, kGameModeState},
                                           {kStandingsSimRecords, kChampStandings},
                                           {kArcadeRecords, kArcadeMenu},
                                           {kStandingsArcadeRecords, kArcadeStandings}};
    for (const auto& [state, back] : records)
        menu.state(state, state == kSimRecords || state == kStandingsSimRecords ? "Sim12" : "Arcade10")
            .go(state, kBack, back);

    struct Background {
        const char* file;
        const char* heading;
        const char* hint;
        int top;
    };
    const Background backgrounds[] = {
        {"game0702", "SESSION RESULTS", kTableHint, 84},
        {"game07", "TIMING", "F  faster clock     Enter back", 52},
        {"sim11", "CHAMPIONSHIP STANDINGS", "Enter next   S save   R results   C records   Q quit", 52},
        {"arcade09", "ARCADE STANDINGS", "Enter next event     S save     C records     Q quit", 52},
        {"sim13", "EVENT RESULTS", "Left / Right event     Up / Down session     Esc back", 52},
        {"sim12", "TRACK RECORDS", "Left / Right circuit     Up / Down list     Esc back", 52},
        {"arcade10", "ARCADE RECORDS", "Left / Right circuit     Up / Down list     Esc back", 52},
    };
    for (const Background& b : backgrounds)
        kit.files([b](const std::filesystem::path& root, std::string& error) {
            ScreenLook look{b.heading, b.hint, 24, b.top, 592, 384 - b.top + 48};
            return write_screen_background(root / "menu" / "art" / (std::string(b.file) + ".pcx"), look, error);
        });
}

} // namespace datakit
