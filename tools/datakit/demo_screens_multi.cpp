// The network game's screens: the connection choice, the session list, the
// game type, the lobby with its chat, the waiting screen between races, the
// network entry, and the dialogues of "MultiDlg" (session name, address,
// serial link, modem, waiting). The rider and track choices of a network
// game are the weekend's team and track screens at the network states.
#include <string>

#include "tools/datakit/demo_menu_builder.h"
#include "tools/datakit/demo_menu_pictures.h"
#include "tools/datakit/demo_menus.h"

namespace datakit {

namespace {

constexpr const char* kMultiText = "Multi.txt";

// The states (docs/screens.md, "Network game").
constexpr int kConnection = 200, kLobby = 201, kSessions = 203, kArcadeEntry = 302, kChampLobby = 310;
constexpr int kEntry = 319, kTeams = 322, kTrack = 327, kRiderTaken = 328, kStandings = 351;
// The arcade championship's bike choice and its race screen.
constexpr int kArcadeBikes = 304, kArcadeRace = 309;
// The simulation games: the game mode, the host's team decades of a race
// weekend and of a championship, a joined player's circuit information and
// his waiting screen, the weekend's sessions and the races' in-session
// menus (Race 1 and Race 2 of a weekend, of a championship).
constexpr int kGameMode = 320, kTeamsWeekend = 332, kTeamsChampionship = 344, kTrackInfo = 349, kJoinedWait = 321;
constexpr int kWeekendSessions = 329;
constexpr int kRace1 = 369, kRace2 = 370, kChampRace1 = 376, kChampRace2 = 377;

// Commands (the transitions tell them apart).
constexpr int kCmdBack = 0, kCmdOn = 1, kCmdSecond = 2, kCmdThird = 3, kCmdFourth = 4, kCmdPrevTeam = 5,
              kCmdNextTeam = 6;
// Commands of screens of other groups: the game mode's weekend (1) and
// championship (3); the sessions' Race 1 (6) and Race 2 (7); the bike
// choice's transmission (3); the arcade race screen's "go" (3).
constexpr int kCmdModeWeekend = 1, kCmdModeChampionship = 3, kCmdRace1 = 6, kCmdRace2 = 7, kCmdGears = 3,
              kCmdArcadeGo = 3;
constexpr int kCmdStay = 9;  // no transition: the handler's work only
// The standings' "Next" and "Quit" (the results group's commands).
constexpr int kCmdStandingsNext = 1, kCmdStandingsQuit = 4;
// The main menu's "Network game" button.
constexpr int kMainMenuNetworkCommand = 4;

constexpr int kKeyH = 35, kKeyJ = 36, kKeyW = 17;

FormFileWriter titled(const std::string& name, const char* background, bool user_draw)
{
    FormFileWriter file = screen_file(name);
    if (user_draw)
        file.key("UserDraw", 1);
    image(file, "background", std::string("art\\") + background, 0, 0, 640, 480);
    return file;
}

// A button on one of the kit's strips, which it takes at their size: a
// wide one (240 x 40) or a small one (120 x 36).
void text_button(FormFileWriter& file, const char* name, int left, int top, int width, int command, int user_id,
                 const char* text_id, int hot_key = 0)
{
    const bool wide = width >= 240;
    button(file, {name, left, top, wide ? 240 : 120, wide ? 40 : 36, command, user_id, text_id, kMultiText, hot_key,
                  wide ? "art\\btn" : "art\\dbtn"});
}

// A list the player picks a row of with the pointer (focusable; its
// UserID reports the pick).
void list(FormFileWriter& file, const char* name, int left, int top, int width, int rows, int user_id)
{
    file.begin("Label", name);
    file.key("CanHaveFocus", 1);  // read before the place
    place(file, left, top, width, rows * 22);
    file.key("UserID", user_id);
    // The tables' font: light, its picked row in gold.
    file.key("FontName", kDemoTableFont).key("FontType", "gamefont");
    file.key("Alignment", "Left").key("TextCount", 1).key("TextFile", kMultiText).key("TextID", "empty").end();
}

void text(FormFileWriter& file, const char* name, int left, int top, int width, int height, const char* text_id,
          int visible = 0)
{
    label(file, {.name = name, .left = left, .top = top, .width = width, .height = height, .text_id = text_id,
                 .text_file = kMultiText, .visible_in_state = visible});
}

void edit(FormFileWriter& file, const char* name, int left, int top, int width, int capacity)
{
    label(file, {.name = name, .left = left, .top = top, .width = width, .height = 24, .text_id = "empty",
                 .text_file = kMultiText, .editable = capacity, .font = kDemoTableFont});
}

FormFileWriter connection_screen()
{
    FormFileWriter file = titled("Multi01", "multi01.pcx", false);
    text(file, "multi_info", 60, 96, 520, 48, "m_info");
    // TCP/IP first: it has the focus, and Enter takes it.
    text_button(file, "multi_button_tcp", 60, 160, 240, kCmdOn, 3, "m_tcp", kKeyEnter);
    text_button(file, "multi_button_ipx", 60, 210, 240, kCmdOn, 2, "m_ipx");
    text_button(file, "multi_button_modem", 60, 260, 240, kCmdOn, 4, "m_modem");
    text_button(file, "multi_button_serial", 60, 310, 240, kCmdOn, 5, "m_serial");
    text(file, "multi_reason_ipx", 316, 218, 300, 24, "m_no_ipx", -1);
    text(file, "multi_reason_modem", 316, 268, 300, 24, "m_no_modem", -1);
    text(file, "multi_reason_serial", 316, 318, 300, 24, "m_no_serial", -1);
    text_button(file, "back", 60, 400, 160, kCmdBack, -1, "m_back");
    file.end();
    return file;
}

FormFileWriter sessions_screen()
{
    FormFileWriter file = titled("Multi02", "multi02.pcx", true);
    text(file, "lbl_sessions", 60, 90, 300, 24, "m_sessions");
    list(file, "multi_session_data", 60, 118, 300, 6, 10);
    text(file, "multi_players_data", 380, 118, 220, 24, "empty");
    text(file, "multi_gametype_data", 380, 146, 220, 24, "empty");
    text(file, "multi_status_data", 380, 174, 220, 48, "empty");
    text_button(file, "multi_button_join", 60, 300, 160, kCmdOn, 3, "m_join", kKeyJ);
    text_button(file, "multi_button_host", 230, 300, 160, kCmdSecond, 4, "m_host", kKeyH);
    text(file, "lbl_keys", 60, 350, 520, 24, "m_session_keys");
    text_button(file, "back", 60, 400, 160, kCmdBack, -1, "m_back");
    file.end();
    return file;
}

FormFileWriter game_type_screen()
{
    FormFileWriter file = titled("Arcade02", "arcade02.pcx", false);
    text(file, "multi_info", 60, 96, 520, 48, "m_type_info");
    text_button(file, "Game", 200, 160, 240, kCmdOn, 1, "m_race", kKeyEnter);
    text_button(file, "Champ", 200, 210, 240, kCmdSecond, 2, "m_champ");
    // The simulation: the game mode screen offers the weekend and the
    // championship.
    text_button(file, "Simulation", 200, 260, 240, kCmdThird, -1, "m_simulation", kKeyW);
    text_button(file, "Replay", 200, 310, 240, kCmdStay, 3, "m_replay");
    text_button(file, "Records", 200, 360, 240, kCmdStay, 4, "m_records");
    text_button(file, "back", 60, 400, 160, kCmdBack, -1, "m_back");
    file.end();
    return file;
}

FormFileWriter entry_screen()
{
    FormFileWriter file = titled("Start09", "start09.pcx", false);
    text(file, "multi_info", 60, 96, 520, 48, "m_entry_info");
    text_button(file, "History", 200, 180, 240, kCmdStay, 1, "m_history");
    text_button(file, "Quit", 200, 230, 240, kCmdBack, 2, "m_quit");
    text_button(file, "exit", 60, 400, 160, kCmdBack, 0, "m_back");
    file.end();
    return file;
}

FormFileWriter lobby_screen()
{
    FormFileWriter file = titled("Multi03", "multi03.pcx", true);
    text(file, "lbl_players", 40, 84, 400, 24, "m_players");
    text(file, "multi_player_data", 40, 108, 400, 110, "empty");
    text(file, "multi_status_data", 460, 108, 140, 110, "empty");
    text(file, "multi_bike_data", 460, 84, 140, 24, "empty", -1);
    text(file, "multi_messages_data", 40, 226, 560, 160, "empty");
    list(file, "multi_message_type", 40, 392, 120, 2, 12);
    edit(file, "multi_message_input", 170, 394, 300, 96);
    text_button(file, "multi_button_send", 480, 388, 120, kCmdStay, 1, "m_send", kKeyEnter);
    text_button(file, "multi_button_leave", 40, 436, 120, kCmdBack, 0, "m_leave", kKeyEsc);
    text(file, "multi_warn_text", 196, 442, 274, 24, "m_warn");
    image(file, "multi_warn_sprite", "art\\dot", 174, 446, 16, 16);
    text_button(file, "multi_button_race", 480, 436, 120, kCmdStay, 2, "m_start");
    // A race weekend or a championship: the host goes to the weekend's
    // sessions, a joined player to the circuit of the next race (each
    // shown only to its player, by the lobby's handler).
    text_button(file, "multi_button_sessions", 480, 40, 120, kCmdThird, -1, "m_weekend");
    text_button(file, "multi_button_circuit", 480, 40, 120, kCmdFourth, -1, "m_next_race");
    file.end();
    return file;
}

FormFileWriter waiting_screen()
{
    FormFileWriter file = titled("netwait", "netwait.pcx", false);
    text(file, "multi_info", 60, 200, 520, 48, "m_wait");
    text_button(file, "back", 60, 400, 160, kCmdBack, -1, "m_back");
    file.end();
    return file;
}

// A dialogue of "MultiDlg" on the dialogue panel: OK (command 1, Enter)
// and Cancel (command 0, as Esc).
FormFileWriter dialogue(const std::string& name, const char* message)
{
    FormFileWriter file = screen_file(name);
    file.key("UserDraw", 1);
    image(file, "panel", "art\\dialog.pcx", 120, 150, 400, 180);
    text(file, "multi_dlg_message", 140, 188, 360, 44, message);  // under the panel's heading
    return file;
}

void ok_cancel(FormFileWriter& file, bool ok = true)
{
    if (ok)
        text_button(file, "ok", 150, 284, 160, kCmdOn, -1, "m_ok", kKeyEnter);
    text_button(file, "cancel", 330, 284, 160, kCmdBack, -1, "m_cancel");
}

FormFileWriter session_name_dialogue()
{
    FormFileWriter file = dialogue("Dlg00", "m_dlg_name");
    edit(file, "multi_dlg_data", 160, 238, 320, 24);
    ok_cancel(file);
    file.end();
    return file;
}

FormFileWriter address_dialogue()
{
    FormFileWriter file = dialogue("Dlg01", "m_dlg_address");
    edit(file, "multi_dlg_data", 160, 238, 320, 64);
    ok_cancel(file);
    file.end();
    return file;
}

FormFileWriter serial_dialogue()
{
    FormFileWriter file = dialogue("Dlg02", "m_dlg_serial");
    const char* lists[5] = {"multi_dlg_data_1", "multi_dlg_data_2", "multi_dlg_data_3", "multi_dlg_data_4",
                            "multi_dlg_data_5"};
    const char* rows[5] = {"m_ports", "m_bauds", "m_stops", "m_parities", "m_flows"};
    for (int i = 0; i < 5; ++i) {
        file.begin("Label", lists[i]);
        file.key("CanHaveFocus", 1);
        place(file, 136 + i * 74, 214, 70, 66);
        file.key("UserID", 20 + i);
        file.key("FontName", kDemoTableFont).key("FontType", "gamefont");
        file.key("Alignment", "Left").key("TextCount", 1).key("TextFile", kMultiText).key("TextID", rows[i]).end();
    }
    ok_cancel(file);
    file.end();
    return file;
}

FormFileWriter modem_dialogue()
{
    FormFileWriter file = dialogue("Dlg03", "m_dlg_modem");
    list(file, "multi_dlg_data", 140, 214, 170, 2, 30);
    text(file, "Multi_DLG_Message_2", 320, 212, 180, 24, "m_phone");
    edit(file, "multi_dlg_data_2", 320, 240, 180, 63);
    ok_cancel(file);
    file.end();
    return file;
}

FormFileWriter waiting_dialogue()
{
    FormFileWriter file = dialogue("Dlg04", "m_dlg_wait");
    ok_cancel(file, false);
    file.end();
    return file;
}

void texts(DemoMenuBuilder& kit)
{
    const std::pair<const char*, const char*> lines[] = {
        {"empty", ""},
        {"m_back", "Back"},
        {"m_info", "Choose how the players meet. Only TCP/IP\nworks on this system."},
        {"m_tcp", "TCP/IP"},
        {"m_ipx", "IPX"},
        {"m_modem", "Modem"},
        {"m_serial", "Serial link"},
        {"m_no_ipx", "No IPX network here"},
        {"m_no_modem", "No modem here"},
        {"m_no_serial", "No serial port here"},
        {"m_sessions", "Sessions found"},
        {"m_join", "Join"},
        {"m_host", "Host"},
        {"m_session_keys", "J joins the session picked, H hosts one"},
        {"m_type_info", "Choose the game the players race."},
        {"m_race", "Arcade race"},
        {"m_champ", "Arcade championship"},
        {"m_simulation", "W  Simulation"},
        {"m_weekend", "Weekend"},
        {"m_next_race", "Next race"},
        {"m_replay", "Replays"},
        {"m_records", "Records"},
        {"m_entry_info", "A network game"},
        {"m_history", "History"},
        {"m_quit", "Quit"},
        {"m_players", "Players"},
        {"m_send", "Send"},
        {"m_leave", "Leave"},
        {"m_start", "Race"},
        {"m_warn", "Enter sends the line"},
        {"m_wait", "Waiting for the other players..."},
        {"m_ok", "OK"},
        {"m_cancel", "Cancel"},
        {"m_dlg_name", "Name of the new session"},
        {"m_dlg_address", "Address of the host\n(empty: this network)"},
        {"m_dlg_serial", "Port, speed, stop, parity, flow"},
        {"m_dlg_modem", "Modem and number to call"},
        {"m_dlg_wait", "Connecting..."},
        {"m_phone", "Number"},
        {"m_ports", "COM1\nCOM2\nCOM3\nCOM4"},
        {"m_bauds", "9600\n14400\n19200\n38400\n57600\n115200"},
        {"m_stops", "1\n1.5\n2"},
        {"m_parities", "None\nOdd\nEven\nMark"},
        {"m_flows", "None\nXon\nRTS\nDTR\nBoth"},
        {"multi_forbidden", "Another player rides for them"},
        {"network", "Network game"},
    };
    for (const auto& [id, line] : lines)
        kit.text(kMultiText, id, line);
}

} // namespace

void add_multi_screens(DemoMenuBuilder& kit)
{
    texts(kit);
    kit.screen("Multi01", connection_screen());
    kit.screen("Multi02", sessions_screen());
    kit.screen("Multi03", lobby_screen());
    kit.screen("Arcade02", game_type_screen());
    kit.screen("Start09", entry_screen());
    kit.screen("netwait", waiting_screen());
    kit.screen("Dlg00", session_name_dialogue());
    kit.screen("Dlg01", address_dialogue());
    kit.screen("Dlg02", serial_dialogue());
    kit.screen("Dlg03", modem_dialogue());
    kit.screen("Dlg04", waiting_dialogue());

    DemoMenuBuilder::Set& menu = kit.set("menu");
    menu.go(kDemoMainMenuState, kMainMenuNetworkCommand, kConnection);
    menu.state(kConnection, "Multi01").go(kConnection, kCmdOn, kSessions).go(kConnection, kCmdBack,
                                                                              kDemoMainMenuState);
    // Join: the rider; host: the game type, then an arcade race's rider
    // and track, an arcade championship's bike, or a simulation's game
    // mode.
    menu.state(kSessions, "Multi02")
        .go(kSessions, kCmdOn, kTeams)
        .go(kSessions, kCmdSecond, kArcadeEntry)
        .go(kSessions, kCmdBack, kConnection);
    menu.state(kArcadeEntry, "Arcade02")
        .go(kArcadeEntry, kCmdOn, kTeams)
        .go(kArcadeEntry, kCmdSecond, kArcadeBikes)
        .go(kArcadeEntry, kCmdThird, kGameMode)
        .go(kArcadeEntry, kCmdBack, kSessions);
    menu.state(kEntry, "Start09").go(kEntry, kCmdBack, kDemoMainMenuState);
    // The circuit of an arcade race or a race weekend, after the rider:
    // then the lobby.
    menu.state(kTrack, "Sim08").go(kTrack, kCmdOn, kLobby).go(kTrack, kCmdBack, kArcadeEntry);
    // The teams, each leading to the next and back; a rider taken leads on
    // (a joined player's handler, and a championship host's, go to 328
    // themselves); Esc leaves the session.
    static const char* const kTeamScreens[5] = {"Sim5k", "Sim5d", "Sim5h", "Sim5y", "Sim5s"};
    const auto teams = [&](int first, int chosen, int back) {
        for (int i = 0; i < 5; ++i) {
            const int state = first + i;
            menu.state(state, kTeamScreens[i])
                .go(state, kCmdOn, chosen)
                .go(state, kCmdBack, back)
                .go(state, kCmdPrevTeam, first + (i + 4) % 5)
                .go(state, kCmdNextTeam, first + (i + 1) % 5);
        }
    };
    teams(kTeams, kTrack, kSessions);
    // The simulation: the game mode (its network row makes the session's
    // game type a weekend, 3, or a championship, 4), the host's rider, a
    // weekend's circuit; the lobby.
    menu.state(kGameMode, "sim01")
        .go(kGameMode, kCmdModeWeekend, kTeamsWeekend)
        .go(kGameMode, kCmdModeChampionship, kTeamsChampionship)
        .go(kGameMode, kCmdBack, kArcadeEntry);
    teams(kTeamsWeekend, kTrack, kGameMode);
    teams(kTeamsChampionship, kRiderTaken, kGameMode);
    // The arcade championship: the bike, the transmission, the race
    // screen ("go" leads to the lobby, where the host starts).
    menu.state(kArcadeBikes, "Arcade03")
        .go(kArcadeBikes, kCmdGears, kArcadeRace)
        .go(kArcadeBikes, kCmdBack, kArcadeEntry);
    menu.state(kArcadeRace, "Arcade08")
        .go(kArcadeRace, kCmdArcadeGo, kChampLobby)
        .go(kArcadeRace, kCmdBack, kChampLobby);
    // The lobbies; in a weekend or a championship the host's "Weekend"
    // leads to the sessions, a joined player's "Next race" to the circuit.
    for (int state : {kLobby, kChampLobby, kRiderTaken})
        menu.state(state, "Multi03")
            .go(state, kCmdBack, kSessions)
            .go(state, kCmdThird, kWeekendSessions)
            .go(state, kCmdFourth, kTrackInfo);
    // The host's sessions: Race 1 and Race 2 (the session word tells the
    // players which); each race's menu leads back to the lobby, where the
    // host starts the race.
    menu.state(kWeekendSessions, "Sim10")
        .go(kWeekendSessions, kCmdRace1, kRace1)
        .go(kWeekendSessions, kCmdRace2, kRace2)
        .go(kWeekendSessions, kCmdBack, kLobby);
    for (int state : {kRace1, kRace2, kChampRace1, kChampRace2})
        menu.state(state, "Game03c").go(state, kCmdOn, kLobby).go(state, kCmdBack, kLobby);
    // A joined player: the host's circuit; its "to the race" goes to the
    // race's menu (the handler), "exit" to the waiting screen.
    menu.state(kTrackInfo, "sim09").go(kTrackInfo, kCmdOn, kLobby).go(kTrackInfo, kCmdBack, kLobby);
    menu.state(kJoinedWait, "netwait").go(kJoinedWait, kCmdBack, kLobby);
    // After a network championship's Race 2 the menus start at the
    // standings: "Next" (the next event, or the season's end, by the
    // handler) and "Quit" (once confirmed) lead to the lobby, where the
    // host goes to the sessions and a joined player to the circuit. The
    // event results and the records lead to the local championship's
    // screens, so here they do nothing.
    menu.state(kStandings, "Sim11")
        .go(kStandings, kCmdStandingsNext, kLobby)
        .go(kStandings, kCmdStandingsQuit, kLobby);

    DemoMenuBuilder::Set& dialogues = kit.set("MultiDlg");
    dialogues.init_state = 1;
    dialogues.end_state(kDemoEndState);
    const std::pair<int, const char*> states[] = {
        {1, "Dlg00"}, {2, "Dlg01"}, {3, "Dlg03"}, {4, "Dlg02"}, {5, "Dlg04"}};
    for (const auto& [state, screen] : states)
        dialogues.state(state, screen).go(state, kCmdOn, kDemoEndState).go(state, kCmdBack, kDemoEndState);

    kit.files([](const std::filesystem::path& root, std::string& error) {
        const std::pair<const char*, const char*> backgrounds[] = {
            {"multi01", "NETWORK GAME"}, {"multi02", "SESSIONS"},     {"multi03", "LOBBY"},
            {"arcade02", "GAME TYPE"},   {"start09", "NETWORK GAME"}, {"netwait", "PLEASE WAIT"}};
        for (const auto& [file, heading] : backgrounds) {
            ScreenLook look{heading, "Esc back", 24, 76, 592, 392};
            if (!write_screen_background(root / "menu" / "art" / (std::string(file) + ".pcx"), look, error))
                return false;
        }
        return true;
    });
}

} // namespace datakit
