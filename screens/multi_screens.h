#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "net/lobby.h"

class Control;
class Form;
class MenuManager;
class NetSession;

// The multiplayer screens: the connection choice ("Multi01"), the session
// list ("Multi02"), the lobby with its chat ("Multi03"), the dialogues of
// the set "MultiDlg" (session name, address, serial link, modem, waiting)
// and the per-frame step they install as the menu manager's frame hook
// (MultiScreenUpdate), which hosts or joins, keeps the lobby's messages
// going and starts the race (docs/screens.md, "Network game").

// The connection kinds the first screen offers, by UserID 1..5.
inline constexpr std::uint32_t kMultiKindNone = 16;

// Menu states of the network screens.
inline constexpr std::int32_t kMultiConnectionState = 200;
inline constexpr std::int32_t kMultiLobbyState = 201;
inline constexpr std::int32_t kMultiSessionsState = 203;
inline constexpr std::int32_t kMultiArcadeEntryState = 302;
inline constexpr std::int32_t kMultiChampLobbyState = 310;
inline constexpr std::int32_t kMultiEntryState = 319;
inline constexpr std::int32_t kMultiRiderTakenState = 328;
// A joined player's arcade championship race screen, after the bike.
inline constexpr std::int32_t kMultiArcadeRaceState = 309;

// States of the dialogue set "MultiDlg".
inline constexpr std::int32_t kMultiDlgSessionName = 1;
inline constexpr std::int32_t kMultiDlgAddress = 2;
inline constexpr std::int32_t kMultiDlgModem = 3;
inline constexpr std::int32_t kMultiDlgSerial = 4;
inline constexpr std::int32_t kMultiDlgWaiting = 5;

// The "menudial" notice that the session has ended.
inline constexpr std::int32_t kMultiSessionEndedNotice = 34;

// How long the waiting dialogue tries to host or find the session before
// it gives up (Esc ends it at once).
inline constexpr std::uint32_t kMultiWaitingMs = 10000;
// How long a client waits for the host's answer to a rider request or a
// leave request.
inline constexpr std::uint32_t kMultiAnswerMs = 5000;

// The lobby's state on this machine besides the lobby messages' own.
struct MultiLobby {
    LobbyState Lobby;
    std::uint8_t ConnectionInit = 0;  // the connection is selected
    std::uint32_t Kind = 0;           // the connection kind chosen
    std::uint32_t User[4] = {};       // user 1: 0 open, 2 hosting, 1 race started; user 2: game type
    std::uint32_t Serial[5] = {2, 57600, 0, 0, 4};  // port, baud rate, stop bits, parity, flow
    std::int32_t SessionIndex = -1;
    std::int32_t Step = 0;            // 0 idle, 1 hosting, 2 joining
    char SessionName[25] = {};
    char DialogText[128] = {};
    std::int32_t Modem = 0;
    std::uint32_t LastSend = 0;       // the host's record (modem), the client's heartbeat
    std::uint32_t LastEnum = 0;       // the last search for sessions
    std::uint32_t WaitStart = 0;      // when the waiting dialogue began
    std::uint8_t DialogResult = 0;    // the waiting dialogue succeeded
    std::uint8_t CountedIn = 0;       // a client: the session's player count has counted it
    std::vector<std::uint32_t> Addressees;  // the chat addressee rows' player ids (row 0: everybody)
};

MultiLobby& TheMultiLobby();

// What runs a dialogue of "MultiDlg" or "menudial" (set, state) -> its last
// command: the run loop's RunScreen; tests put their own in (null: RunScreen).
using MultiDialogueRunner = std::int32_t (*)(const char* set, std::int32_t state);
void SetMultiDialogueRunner(MultiDialogueRunner runner);

// ---- The session ----
// Leaves the session: a host tells the others; the connection and the
// session end; the lobby state and the own record are cleared (the
// connection kind and the address stay); the game is no network game any
// more.
void LeaveSession();
// The screens' handler of the session's system messages: a player gone is
// handled as the lobby says (on the host: everybody hears of it), with a
// line in the chat.
void OnNetSystemMessage(NetSession& session, const std::uint8_t* data, std::size_t size);
// The frame hook of the multiplayer screens.
void MultiScreenUpdate();
// Where the menus start in a network game (after a race): the lobby, or
// the state the game type leads to.
void MultiMenuStart(MenuManager& manager);

// The rider of a team screen's group (0..4) and position, by the table the
// rider screens share; -1 outside it.
std::int32_t MultiRiderOf(std::int32_t group, std::int32_t frame);
// The rider a team screen shows: its group by the team of the screen
// ("Sim5" and the team's letter d, k, y, h or s, in any case: 0 to 4), its
// place the frame of "sprite_rider" (else the page of "label_name"); -1
// for another screen or a place outside the `places` the element has.
std::int32_t MultiTeamScreenRider(const char* screen, std::int32_t place, std::int32_t places);
// Whether another player of the session holds the rider.
bool MultiRiderHeldByOther(std::int32_t rider);

// ---- Screen handlers ----
void PrepareMulti01(Form& form);
bool CommandMulti01(Form& form, Control& control);
void PrepareMulti02(Form& form);
bool DrawMulti02(Form& form);
bool CommandMulti02(Form& form, Control& control);
void PrepareMulti03(Form& form);
bool DrawMulti03(Form& form);
bool CommandMulti03(Form& form, Control& control);
void PrepareDlg00(Form& form);
bool DrawDlg00(Form& form);
void PrepareDlg01(Form& form);
bool DrawDlg01(Form& form);
void PrepareDlg02(Form& form);
bool DrawDlg02(Form& form);
void PrepareDlg03(Form& form);
bool DrawDlg03(Form& form);
bool DrawDlg04(Form& form);
void PrepareStart09(Form& form);
bool CommandStart09(Form& form, Control& control);
void PrepareArcade02(Form& form);
bool CommandArcade02(Form& form, Control& control);

// ---- The network rows of the other screens ----
// A team screen's rider in a network game: the host takes a rider nobody
// else holds; a client asks the host and takes the rider only when the
// host's answer names it. Then the own record goes out, and a client (or a
// championship) goes on to the lobby. False, as a navigating handler.
bool MultiChooseRider(std::int32_t rider);
// The rider request and the own record alone (the arcade bike choice goes
// on to its transmission): true when the player now rides the rider.
bool MultiTakeRider(std::int32_t rider);
// The session's game type (1 arcade race, 2 arcade championship, 3 race
// weekend, 4 championship; 0 before the host has chosen).
std::int32_t MultiGameType();
// The track screen's event in a network game: the lobby's track.
void MultiChooseTrack(std::int32_t event);
// The game mode screen in a network game: UserID 1 a race weekend (mode 3),
// 3 a championship (mode 4), which the host's session offers as its game
// type; any UserID sets up the session's own championship.
void MultiGameModeCommand(std::int32_t userId);
// The own record goes out again (a new name, a new choice).
void MultiSendOwnRecord();
// The host's session word: the weekend session the players run next (the
// session kind of Race 1 or Race 2), which the clients take from the
// session's description. Nothing on a client.
void MultiSetSessionWord(std::int32_t kind);
// A client's session word from the session's description; -1 when there is
// none (no session, or a kind outside 0..6).
std::int32_t MultiSessionWord();
// The in-session menus in a network game: a host whose start word (the
// session's user 1) is not 1, the race started, clears it (the session is
// open to the players again). Nothing on a client.
void MultiClearStartWord();
// A client's championship event: the host's record's; -1 without one.
std::int32_t MultiHostEvent();
