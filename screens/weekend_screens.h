#pragma once

#include <array>
#include <cstdint>

class Control;
class Form;

// The screens that lead from the game-mode menu to a running session and
// through a race weekend: game mode ("sim01"), game type ("option01",
// "Aopt01"), championship start ("Sim04"), the racing teams ("Sim5k",
// "Sim5d", "Sim5h", "Sim5y", "Sim5s"), the track ("Sim08") and its
// information ("sim09", loaded as "sim09d"), the sessions of the weekend
// ("Sim10"), the standings' commands ("Sim11", "Arcade09"), the in-session
// menus ("Game03a", "Game03b", "Game03c") with the session clock ("game07",
// "game03b"), the player name ("Arcade01") and the network entry screens'
// single-player rows ("start09", "Arcade02").

// ---- Sessions ----

// Session kinds of the weekend, in the order the weekend runs them.
inline constexpr std::array<std::int32_t, 7> kWeekendOrder = {4, 0, 5, 1, 6, 2, 3};

// The session kind a state of the in-session menus stands for (64/71
// Practice 1 ... 70/77 Race 2, and the network race states), or -1.
std::int32_t SessionKindOfState(std::int32_t state);
// The weekend's sessions screen an in-session state belongs to (63: the
// practice's circuit screen 37; 64..70: 29; 71..77: 50); others unchanged.
std::int32_t SessionsStateOf(std::int32_t state);
// The in-session state of a session kind in a game mode (2: 63; 3: 64..70;
// 4: 71..77 in the weekend's order), or -1.
std::int32_t InSessionStateOf(std::int32_t gameMode, std::int32_t kind);
// The racing-team row (1..5) of a rider-choice state, or 0.
std::int32_t TeamRowOfState(std::int32_t state);
// The rider ids of a racing-team row (1..5), five each.
const std::array<std::int32_t, 5>& TeamRiders(std::int32_t row);
// The row a racing-team screen shows by its name, or 0.
std::int32_t TeamRowOfScreen(const char* name);

// ---- Prepare ----
void GameModePrepare(Form& form);      // "sim01"
void GameTypePrepare(Form& form);      // "option01"
void ArcadeGameTypePrepare(Form& form); // "Aopt01"
void ChampionshipStartPrepare(Form& form); // "Sim04"
void TeamPrepare(Form& form);          // "Sim5k" .. "Sim5s"
void TrackInfoPrepare(Form& form);     // "sim09d"
void SessionsPrepare(Form& form);      // "Sim10"
void InSessionPrepare(Form& form);     // "Game03a" .. "Game03c"
void PlayerNamePrepare(Form& form);    // "Arcade01"
void NetworkEntryPrepare(Form& form);  // "start09"

// ---- Draw ----
// "game07": the session clock, accelerated while "accelerate_time" shows
// row 1, and the screen refilled every kTimingRefreshMs; then the time-up
// check. "game03b": the clock at its own pace and the time-up check. Both
// only while a race exists.
inline constexpr std::uint32_t kTimingRefreshMs = 5000;
bool TimingDraw(Form& form);
bool InSessionDraw(Form& form);
// The end of the hour: dialogue 50, the race asked to end and the menu set
// ended (next state 0) once. True when it happened now.
bool CheckTimeUp(Form& form);

// ---- Commands (by the control's UserID) ----
bool TrackInfoCommand(Form& form, Control& control);   // "sim09"
bool GameTypeCommand(Form& form, Control& control);    // "option01"
bool GameModeCommand(Form& form, Control& control);    // "Sim01"
bool ChampionshipStartCommand(Form& form, Control& control); // "Sim04"
bool TrackCommand(Form& form, Control& control);       // "Sim08"
// UserID 1 takes the rider of the page shown, 2 calls the page browser, 3
// renames the rider of the page shown: dialogue 1 edits a copy of the name;
// answered 1 with a name (cut to a rider name's 20 characters) the rider
// takes it (the one renamed before gets his own back) and the screen is
// filled again; otherwise the label keeps the old name.
bool TeamCommand(Form& form, Control& control);        // "Sim5k" .. "Sim5s"
// The rename dialogue "dlg05": entered, its page of "dlg_message" and the
// name to edit on the edit row of "DLG_data"; UserID 1 (OK) hands the
// edited name back to the team screen.
void RenameDialoguePrepare(Form& form);
bool RenameDialogueCommand(Form& form, Control& control);
bool PlayerNameCommand(Form& form, Control& control);  // "Arcade01"
bool SessionsCommand(Form& form, Control& control);    // "Sim10"
bool InSessionCommand(Form& form, Control& control);   // "Game03a" .. "Game03c"
bool NetworkEntryCommand(Form& form, Control& control); // "Start09"
bool ArcadeEntryCommand(Form& form, Control& control); // "Arcade02"

// Saves the championship. A save that cannot be written is shown and the
// player stays where he is: false.
bool SaveChampionship();
