#include "screens/weekend_screens.h"

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "app/game_app.h"
#include "app/game_error.h"
#include "app/registry_settings.h"
#include "champ/champ_objects.h"
#include "champ/championship.h"
#include "champ/game_settings.h"
#include "champ/track_records.h"
#include "champ/weather_table.h"
#include "input/input_manager.h"
#include "menu/command_button.h"
#include "menu/form.h"
#include "menu/image.h"
#include "menu/label.h"
#include "menu/menu_manager.h"
#include "menu/run_menu.h"
#include "net/net_session.h"
#include "platform/clock.h"
#include "platform/directory_listing.h"
#include "platform/message_box.h"
#include "platform/path_resolver.h"
#include "race/race.h"
#include "screens/front_screens.h"
#include "screens/multi_screens.h"
#include "screens/navigation.h"
#include "screens/results_screens.h"
#include "screens/race_commands.h"
#include "screens/screen_binding.h"
#include "screens/screen_text.h"
#include "screens/setup_screens.h"
#include "sim/bike.h"

namespace {

// States the handlers go to.
constexpr std::int32_t kPageBrowserState = 900;
constexpr std::int32_t kNetworkJoinedState = 321;
// A network weekend's sessions (the host's) and the in-session menus of its
// Race 1 and Race 2.
constexpr std::int32_t kNetworkSessionsState = 329;
constexpr std::int32_t kNetworkRace1State = 369;
constexpr std::int32_t kNetworkRace2State = 370;
// The in-session menus of a network championship's Race 1 and Race 2.
constexpr std::int32_t kNetworkChampRace1State = 376;
constexpr std::int32_t kNetworkChampRace2State = 377;
constexpr std::int32_t kGameTypeCalledState = 92;
constexpr std::int32_t kChampionshipStartKeepState = 43;
// The first page of the page browser for a racing team's riders.
constexpr std::int32_t kRiderInfoPage = 63;
// The first track-information page (one per event).
constexpr std::int32_t kTrackInfoPage = 51;

// Dialogues of "menudial".
constexpr std::int32_t kRenameRiderDialogue = 1;
constexpr std::int32_t kAskQuitGame = 10;
constexpr std::int32_t kAskEndPractice = 11;
constexpr std::int32_t kAskEndQualifying = 12;
constexpr std::int32_t kAskEndRace1 = 14;
constexpr std::int32_t kAskEndRace2 = 15;
constexpr std::int32_t kAskLeaveChampionship = 17;
constexpr std::int32_t kAskEndWarmUp = 18;
constexpr std::int32_t kAskLeaveWeekend = 19;
constexpr std::int32_t kAskEndNetworkSession = 29;
constexpr std::int32_t kToldSaved = 34;
constexpr std::int32_t kToldTimeUp = 50;

// The name the rider-rename dialogue edits.
std::string g_RenameText;

const std::array<std::array<std::int32_t, 5>, 5> kTeamRows = {{
    {1, 3, 2, 4, 0},
    {8, 7, 5, 6, 9},
    {11, 10, 12, 1, 1},
    {14, 13, 15, 1, 1},
    {17, 16, 1, 1, 1},
}};

bool NetworkGame()
{
    return (TheGameApp().Flags & kAppFlagNetwork) != 0;
}

bool JoinedPlayer()
{
    const std::uint32_t flags = TheGameApp().Flags;
    return (flags & kAppFlagNetwork) && !(flags & kAppFlagNetworkHost);
}

std::int32_t State()
{
    return NavigationManager().m_nState;
}

template <typename T>
T* Find(const Form& form, const char* name)
{
    return dynamic_cast<T*>(form.FindElement(name));
}

// A control the screen cannot do without.
template <typename T>
T& Require(const Form& form, const char* name)
{
    if (T* control = Find<T>(form, name))
        return *control;
    throw GameError("not found");
}

void SetEnabled(const Form& form, const char* name, bool enabled)
{
    if (CommandButton* button = Find<CommandButton>(form, name)) {
        if (enabled)
            button->Enable();
        else
            button->Disable();
    }
}





std::string LabelText(const Label& label)
{
    char text[256] = {};
    label.GetText(text, sizeof text);
    return text;
}

// A time in seconds as minutes, seconds and hundredths; "-:-:-" for none.
std::string TimeText(float seconds)
{
    if (seconds == kNoTime || !(seconds >= 0.0f))
        return "-:-:-";
    const auto hundredths = static_cast<std::int64_t>(seconds * 100.0f + 0.5f);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", static_cast<int>(hundredths / 6000),
                  static_cast<int>(hundredths / 100 % 60), static_cast<int>(hundredths % 100));
    return text;
}

// Fills the screen again and has it drawn anew.
void Refill(Form& form)
{
    ScreenPrepare(form);
    form.Invalidate();
}

// Asks the dialogue and gives false only for the answer 0.
bool NotRefused(std::int32_t dialogue)
{
    return AskDialogue(dialogue) != 0;
}

void ChooseWeather()
{
    TheWeatherTable().ChooseWeather(
        WeatherContext{TheGameApp(), TheGameSettings(), TheChampionship(), g_pNetSession, NetworkGame()});
}

// The session kind of the current event and the session title from the
// label `title` (cut to the title's 49 characters).
void ChooseSession(const Form& form, std::int32_t kind, const char* title)
{
    Championship& champ = TheChampionship();
    champ.SetSessionKind(kind);
    CopyField(champ.SessionTitle, LabelText(Require<Label>(form, title)).c_str(), kSessionTitleChars);
}

// True when a timed session of the current event has no result yet (its
// first standing has no position).
bool HasNoResult(std::int32_t kind)
{
    Championship& champ = TheChampionship();
    champ.BuildStandings(champ.CurrentEventIndex, kind);
    const ChampionshipResult* first = champ.Standings[0];
    return !first || first->Position == kNoPosition;
}

// A timed session without a result is run first, straight from the menu
// command (it ends instead of pausing).
void RunIfNoResult(std::int32_t kind)
{
    if (HasNoResult(kind))
        StartSessionFromMenu(kind);
}

// Deletes the lap files of the telemetry (".\menu\save\Lap*.tlm").
void DeleteLapFiles()
{
    const std::optional<std::string> folder = platform::resolve_existing(".\\menu\\save");
    if (!folder)
        return;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(*folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.size() >= 7 && platform::equals_ignoring_case(name.substr(0, 3), "Lap") &&
            platform::equals_ignoring_case(name.substr(name.size() - 4), ".tlm"))
            std::filesystem::remove(entry.path(), error);
    }
}

// The race being run, or null between races.
Race* CurrentRace()
{
    return TheGameApp().m_pRace;
}

// Ends the running session: the race is asked to end its run.
void EndRunningSession()
{
    if (Race* race = CurrentRace())
        race->LiveFlags() |= kRaceFlagEnding;
}

// Saves the championship and tells so; a save that failed is shown and
// the player stays on the screen.
bool SaveAndTell(std::int32_t dialogue)
{
    if (!SaveChampionship())
        return false;
    AskDialogue(dialogue);
    return true;
}

} // namespace

// ---- Sessions ----

std::int32_t SessionKindOfState(std::int32_t state)
{
    switch (state) {
    case 64: case 71: return 4;
    case 65: case 72: return 0;
    case 66: case 73: return 5;
    case 67: case 74: return 1;
    case 68: case 75: return 6;
    case 69: case 76: case 369: case 376: return 2;
    case 70: case 77: case 370: case 377: return 3;
    default: return -1;
    }
}

std::int32_t TeamRowOfState(std::int32_t state)
{
    // The same pattern in each decade: 22, 32, 44 and their network twins.
    for (const std::int32_t first : {22, 32, 44, 322, 332, 344})
        if (state >= first && state < first + 5) {
            constexpr std::int32_t kRows[5] = {2, 1, 4, 3, 5}; // k, d, h, y, s
            return kRows[state - first];
        }
    return 0;
}

const std::array<std::int32_t, 5>& TeamRiders(std::int32_t row)
{
    if (row < 1 || row > 5)
        throw GameError("out of range");
    return kTeamRows[static_cast<std::size_t>(row - 1)];
}

std::int32_t TeamRowOfScreen(const char* name)
{
    const std::pair<const char*, std::int32_t> rows[] = {
        {"Sim5d", 1}, {"Sim5k", 2}, {"Sim5y", 3}, {"Sim5h", 4}, {"Sim5s", 5}};
    for (const auto& [screen, row] : rows)
        if (platform::equals_ignoring_case(name, screen))
            return row;
    return 0;
}

// ---- Prepare ----

void GameModePrepare(Form& form)
{
    const bool alone = !NetworkGame();
    for (const char* name : {"practice", "replay", "records"})
        SetEnabled(form, name, alone);
}

void GameTypePrepare(Form& form)
{
    bool game = true, realism = true;
    if (!NetworkGame())
        game = realism = State() != kGameTypeCalledState;
    else if (JoinedPlayer())
        game = false;
    SetEnabled(form, "game", game);
    if (!NetworkGame() || !JoinedPlayer())
        SetEnabled(form, "realism", realism);
    // Called from a session, the race holds the display (a driver cannot be
    // tried) and a replay would start a race in the middle of the session.
    const bool between_races = State() != kGameTypeCalledState;
    for (const char* name : {"display", "replays"})
        SetEnabled(form, name, between_races);
}

void ArcadeGameTypePrepare(Form& form)
{
    SetEnabled(form, "Game", !JoinedPlayer());
}

void ChampionshipStartPrepare(Form& /*form*/)
{
    Championship& champ = TheChampionship();
    if (State() != kChampionshipStartKeepState) {
        champ.Reset("default");
        // A new championship is a simulation championship, its first
        // weekend not begun.
        champ.GameMode = 4;
        champ.SetSessionKind(-1);
    }
    champ.LoadRiders();
}

void TeamPrepare(Form& form)
{
    const std::int32_t row = TeamRowOfScreen(form.Name());
    if (row == 0)
        return;
    const Championship& champ = TheChampionship();
    if (Label* names = Find<Label>(form, "label_name")) {
        const std::int32_t shown = names->CurrentPage();
        // One page per rider of the team, as many as the label has (a team
        // has five places; pages beyond them keep their text).
        const auto& riders = TeamRiders(row);
        for (std::int32_t page = 0; page < names->PageCount() && page < 5; ++page) {
            names->SetPage(page);
            names->SetText(champ.FindRider(riders[static_cast<std::size_t>(page)]).Name);
        }
        names->SetPage(shown);
        names->Invalidate();
    }
    SetFrameIfPresent(form, "sprite_bike", row - 1);
}

void TrackInfoPrepare(Form& form)
{
    Championship& champ = TheChampionship();
    if (JoinedPlayer()) // network row: the host's event
        if (const std::int32_t hostEvent = MultiHostEvent(); hostEvent >= 0)
            champ.CurrentEventIndex = hostEvent;
    const std::int32_t event = champ.CurrentEventIndex;
    if (event < 0 || event >= kChampEvents)
        throw GameError("out of range");
    SetFrameIfPresent(form, "Sprite_round", event);
    ShowIfPresent(form, "Sprite_round_back", true);
    SetPageIfPresent(form, "LBL_Nation", event);
    SetPageIfPresent(form, "LBL_Circuit_info", event);
    SetTextIfPresent(form, "LBL_record", TimeText(TheSimRecords().Track(event).LapRecord));
    // The way on to the host's next race is a joined player's only.
    ShowIfPresent(form, "to_race", JoinedPlayer());
}

void SessionsPrepare(Form& form)
{
    const Championship& champ = TheChampionship();
    const std::int32_t event = champ.CurrentEventIndex;
    SetFrameIfPresent(form, "Sprite_TVN", event);
    for (const char* name : {"lbl_practice_1", "lbl_practice_2", "lbl_qualify_1", "lbl_qualify_2", "lbl_race_1",
                             "lbl_race_2", "lbl_warmup"})
        SetPageIfPresent(form, name, event);
    static const char* const kButtons[7] = {"Practice_1", "Qualify_1", "Practice_2", "Qualify_2",
                                            "Warm_up",    "Race_1",    "Race_2"};
    const std::int32_t kind = champ.GetSessionKind();
    // The sessions up to and including the last one run are done.
    std::int32_t done = 0;
    if (kind >= 0) {
        done = -1;
        for (std::size_t i = 0; i < kWeekendOrder.size(); ++i)
            if (kWeekendOrder[i] == kind)
                done = static_cast<std::int32_t>(i) + 1;
        if (done < 0)
            throw GameError("undef session");
    }
    for (std::int32_t i = 0; i < 7; ++i)
        SetEnabled(form, kButtons[i], i >= done);
}

void InSessionPrepare(Form& form)
{
    if (JoinedPlayer()) // network row: the host's session word
        if (const std::int32_t word = MultiSessionWord(); word >= 0)
            TheChampionship().SetSessionKind(word);
    if (NetworkGame()) {
        // The race starts from the lobby: "race" says so (its row 1).
        SetPageIfPresent(form, "race", 1);
        MultiClearStartWord(); // network row: a host's start word other than 1 is cleared
    }
    const GameApp& app = TheGameApp();
    const Championship& champ = TheChampionship();
    const GameSettings& settings = TheGameSettings();
    const std::int32_t state = State();
    const std::int32_t event = champ.CurrentEventIndex;
    SetFrameIfPresent(form, "sprite_track_name", event);
    SetFrameIfPresent(form, "Sprite_Weather_Icon", app.m_nWeather);
    SetFrameIfPresent(form, "sprite_logo_icon", champ.PlayerRider() >= 0 ? champ.FindRider(champ.PlayerRider()).Team : 0);
    SetTextIfPresent(form, "LBL_round_data", std::to_string(event + 1));
    const std::int32_t kind = SessionKindOfState(state);
    SetTextIfPresent(form, "LBL_race_data", kind == 2 ? "1" : kind == 3 ? "2" : "");
    SetTextIfPresent(form, "LBL_setting_data", settings.SetupName);
    const bool inSessionStates = state >= 63 && state <= 75;
    ShowIfPresent(form, "LBL_warmup", inSessionStates && kind == 6);
    ShowIfPresent(form, "LBL_practice", inSessionStates && (state == 63 || kind == 4 || kind == 5));
    const bool quick = (state >= 63 && state <= 70) || state == 369 || state == 370;
    for (const char* name : {"sprite_dot_1", "LBL_Round_data", "LBL_Round", "LBL_Day"})
        ShowIfPresent(form, name, !quick);
    SetTextIfPresent(form, "LBL_rider_name", champ.PlayerName);
    SetTextIfPresent(form, "LBL_Day", champ.SessionTitle);
    for (const auto& [name, value] : {std::pair{"LBL_temp_data_1", app.m_fTemperature1},
                                      std::pair{"LBL_temp_data_2", app.m_fTemperature2}}) {
        char text[32];
        std::snprintf(text, sizeof text, "%i%c", static_cast<int>(value), 38);
        SetTextIfPresent(form, name, text);
    }
    // The laps of the session just ridden (screens/setup_screens.h).
    SplitSessionTelemetry();
}

void PlayerNamePrepare(Form& form)
{
    Label& name = Require<Label>(form, "label_name");
    char text[kPlayerNameReadBytes] = {};
    LoadPlayerName(text);
    name.SetText(text);
    name.EditRow(0);
    name.Invalidate();
}

void NetworkEntryPrepare(Form& form)
{
    SetEnabled(form, "exit", false);
}

// ---- Draw ----

bool CheckTimeUp(Form& form)
{
    Race* race = CurrentRace();
    InputManager* input = TheInputManager();
    MenuManager* manager = form.m_pOwner;
    if (!race || !input || !manager)
        return false;
    if (!(kTimedSessionLength - input->m_fRaceClock < 0.0f) || manager->m_nNextState == 0)
        return false;
    AskDialogue(kToldTimeUp);
    race->LiveFlags() |= kRaceFlagEnding;
    // The menus come back after the session where its in-session screen
    // leads: a called screen (the timing screen) hands over the state it
    // was called from, so that the race's resume state follows the session.
    const std::int32_t from = form.m_nPendingState >= 0 ? form.m_nPendingState : manager->m_nState;
    manager->m_nNextState = 0;
    manager->m_nReturnState = from;
    return true;
}

namespace {

std::uint32_t g_nLastTimingRefresh = 0;
bool g_bTimingRefreshStarted = false;

} // namespace

bool TimingDraw(Form& form)
{
    if (Race* race = CurrentRace()) {
        race->UpdateSessionClock(AcceleratedTime(form));
        const std::uint32_t now = platform::time_get_time();
        if (!g_bTimingRefreshStarted) {
            g_nLastTimingRefresh = now;
            g_bTimingRefreshStarted = true;
        } else if (platform::elapsed_ms(g_nLastTimingRefresh, now) >= kTimingRefreshMs) {
            g_nLastTimingRefresh = now;
            form.ShowScreen();
        }
        CheckTimeUp(form);
    }
    return true;
}

bool InSessionDraw(Form& form)
{
    if (Race* race = CurrentRace()) {
        race->UpdateSessionClock(false);
        CheckTimeUp(form);
    }
    return true;
}

// ---- Commands ----

bool SaveChampionship()
{
    try {
        TheChampionship().Save(TheGameSettings());
        return true;
    } catch (const GameError& e) {
        platform::message_box(std::string("The championship could not be saved: ") + e.what(), "Message",
                              platform::MB_ICONEXCLAMATION);
        return false;
    }
}

bool TrackInfoCommand(Form& /*form*/, Control& control)
{
    Championship& champ = TheChampionship();
    switch (control.m_nUserID) {
    case 0:
        if (JoinedPlayer())
            return GoToState(kNetworkJoinedState);
        return champ.GameMode == 4 ? NotRefused(kAskLeaveChampionship) : true;
    case 1:
        return CallScreen(kPageBrowserState, kTrackInfoPage + champ.CurrentEventIndex);
    case 2:
        // A joined player goes on to the race the host has chosen (its
        // session word: 2 Race 1, else Race 2), with the weather of the
        // host's draw.
        if (!JoinedPlayer())
            return true;
        ChooseWeather();
        return GoToState(MultiSessionWord() == 2 ? kNetworkRace1State : kNetworkRace2State);
    default:
        return true;
    }
}

bool GameTypeCommand(Form& /*form*/, Control& control)
{
    if (control.m_nUserID == 0 && JoinedPlayer())
        return GoToState(kNetworkJoinedState);
    return true;
}

bool GameModeCommand(Form& /*form*/, Control& control)
{
    if (NetworkGame())
        MultiGameModeCommand(control.m_nUserID); // network row: screens/multi_screens.h
    return true;
}

bool ChampionshipStartCommand(Form& /*form*/, Control& control)
{
    if (control.m_nUserID == 0 && JoinedPlayer())
        return GoToState(kNetworkLobbyState);
    return true;
}

bool TrackCommand(Form& /*form*/, Control& control)
{
    const std::int32_t id = control.m_nUserID;
    if (id < 1)
        return true;
    if (id > kChampEvents)
        throw GameError("out of range");
    Championship& champ = TheChampionship();
    const std::int32_t state = State();
    std::int32_t mode = 0;
    if (state == 27 || state == 327)
        mode = 3;
    else if (state == 37)
        mode = 2;
    else
        throw GameError("strano!");
    champ.CurrentEventIndex = id - 1;
    champ.GameMode = mode;
    if (NetworkGame())
        MultiChooseTrack(id - 1); // network row: the lobby's track
    return true;
}

bool TeamCommand(Form& form, Control& control)
{
    const std::int32_t id = control.m_nUserID;
    if (id < 1 || id > 3)
        return true;
    const std::int32_t row = TeamRowOfState(State());
    if (row == 0)
        throw GameError("strange!");
    Label& names = Require<Label>(form, "Label_name");
    // The rider of the page shown. A team has five places: a label with
    // more pages has no rider on the others.
    const auto shownRider = [&] {
        const std::int32_t page = names.CurrentPage();
        if (page < 0 || page >= 5)
            throw GameError("out of range");
        return TeamRiders(row)[static_cast<std::size_t>(page)];
    };
    switch (id) {
    case 1: {
        const std::int32_t rider = shownRider();
        if (NetworkGame())
            return MultiChooseRider(rider); // network row: the host arbitrates (screens/multi_screens.h)
        Championship& champ = TheChampionship();
        GameSettings& settings = TheGameSettings();
        champ.SetPlayerRider(rider);
        // The player keeps his own name (the one he typed), else takes the
        // rider's.
        char name[kPlayerNameReadBytes] = {};
        LoadPlayerName(name);
        settings.SetPlayerName(champ, name[0] ? name : champ.FindRider(rider).Name, false);
        settings.SetDefaults();
        Refill(form);
        return true;
    }
    case 2:
        return CallScreen(kPageBrowserState, kRiderInfoPage);
    case 3: {
        const std::int32_t rider = shownRider();
        const std::string old = LabelText(names);
        // The dialogue edits a copy; only its answer 1 with a name keeps
        // what was typed.
        g_RenameText = old;
        std::string typed;
        if (Confirmed(kRenameRiderDialogue))
            typed = g_RenameText.substr(0, kRiderNameChars);
        if (typed.empty()) {
            names.SetText(old.c_str());
            names.Invalidate();
            return true;
        }
        names.SetText(typed.c_str());
        Championship& champ = TheChampionship();
        champ.RestoreRiderName();
        champ.RenameRider(rider, typed.c_str());
        Refill(form);
        return true;
    }
    default:
        return true;
    }
}

void RenameDialoguePrepare(Form& form)
{
    ShowDialogueMessagePage(form);
    if (Label* name = Find<Label>(form, "DLG_data")) {
        name->SetText(g_RenameText.c_str());
        name->EditRow(0);
        name->Invalidate();
    }
}

bool RenameDialogueCommand(Form& form, Control& control)
{
    if (control.m_nUserID == 1)
        if (const Label* name = Find<Label>(form, "DLG_data"))
            g_RenameText = LabelText(*name);
    return true;
}

bool PlayerNameCommand(Form& form, Control& /*control*/)
{
    const std::string name = LabelText(Require<Label>(form, "Label_name"));
    TheGameSettings().SetPlayerName(TheChampionship(), name.c_str(), true);
    if (NetworkGame())
        MultiSendOwnRecord(); // network row
    return true;
}

namespace {

// The sessions' state serves a network weekend and a network championship
// alike: a championship's race goes to its own in-session menu (as a
// local championship's does), a weekend's follows the transitions.
bool NetworkChampionshipRace(std::int32_t state)
{
    if (NetworkGame() && TheChampionship().GameMode == 4)
        return GoToState(state);
    return true;
}

} // namespace

bool SessionsCommand(Form& form, Control& control)
{
    Championship& champ = TheChampionship();
    // In the in-race menu a session is running: its screen is the only one
    // to go to (choosing another would file its results under that one).
    const std::int32_t id = control.m_nUserID;
    if (CurrentRace() && id >= 1 && id <= 7) {
        const std::int32_t running = InSessionStateOf(champ.GameMode, champ.GetSessionKind());
        return running >= 0 ? GoToState(running) : false;
    }
    switch (id) {
    case 1:
        ChooseSession(form, 4, "LBL_Practice_1");
        return true;
    case 2:
        ChooseSession(form, 0, "LBL_Qualify_1");
        return true;
    case 3:
        ChooseSession(form, 5, "LBL_Practice_2");
        return true;
    case 4:
        RunIfNoResult(0);
        ChooseSession(form, 1, "LBL_Qualify_2");
        return true;
    case 5:
        ChooseSession(form, 6, "LBL_Warm_up");
        return true;
    case 6:
        if (!NetworkGame()) {
            RunIfNoResult(0);
            RunIfNoResult(1);
        }
        ChooseSession(form, 2, "LBL_Race_1");
        ChooseWeather();
        MultiSetSessionWord(2); // network row: the host's session word
        return NetworkChampionshipRace(kNetworkChampRace1State);
    case 7:
        ChooseSession(form, 3, "LBL_Race_2");
        ChooseWeather();
        MultiSetSessionWord(3); // network row: the host's session word
        return NetworkChampionshipRace(kNetworkChampRace2State);
    case 8:
        return SaveAndTell(kToldSaved);
    case 9:
        if (champ.GameMode == 2 || champ.GameMode == 3)
            return NotRefused(kAskLeaveWeekend);
        if (champ.GameMode == 4)
            return NotRefused(kAskLeaveChampionship);
        return true;
    default:
        return true;
    }
}

namespace {

// The dialogue that ends the session of an in-session state, and whether
// its answer 1 also clears the telemetry's lap files.
struct EndQuestion {
    std::int32_t dialogue = -1;
    bool clearLaps = false;
    bool endsRun = true;
};
EndQuestion EndQuestionOf(std::int32_t state)
{
    switch (state) {
    case 63: case 64: case 66: case 71: case 73: return {kAskEndPractice, true};
    case 65: case 67: case 72: case 74: return {kAskEndQualifying, true};
    case 68: case 75: return {kAskEndWarmUp, false};
    case 69: case 76: return {kAskEndRace1, false, false};
    case 70: case 77: return {kAskEndRace2, false, false};
    default: return {};
    }
}

// Ends the session of the in-session menu (UserID 0, and 1 after the
// session kind has been set).
bool EndSession()
{
    // A joined player of a network game goes back to the lobby.
    if (JoinedPlayer())
        return GoToState(kNetworkLobbyState);
    // Before the session has started there is nothing to end: back to the
    // weekend's sessions.
    if (!CurrentRace())
        return GoToState(SessionsStateOf(State()));
    if (NetworkGame())
        return Confirmed(kAskEndNetworkSession) ? GoToState(kNetworkLobbyState) : false;
    const EndQuestion question = EndQuestionOf(State());
    if (question.dialogue < 0)
        return true;
    if (!Confirmed(question.dialogue))
        return false;
    if (question.endsRun) {
        EndRunningSession();
        if (question.clearLaps)
            DeleteLapFiles();
    }
    return true;
}

} // namespace

std::int32_t SessionsStateOf(std::int32_t state)
{
    if (state == 63)
        return 37;
    if (state >= 64 && state <= 70)
        return 29;
    if (state >= 71 && state <= 77)
        return 50;
    if (state == kNetworkRace1State || state == kNetworkRace2State || state == kNetworkChampRace1State ||
        state == kNetworkChampRace2State)
        return kNetworkSessionsState;
    return state;
}

std::int32_t InSessionStateOf(std::int32_t gameMode, std::int32_t kind)
{
    if (gameMode == 2)
        return 63;
    for (std::size_t i = 0; i < kWeekendOrder.size(); ++i)
        if (kWeekendOrder[i] == kind) {
            if (gameMode == 3)
                return 64 + static_cast<std::int32_t>(i);
            if (gameMode == 4)
                return 71 + static_cast<std::int32_t>(i);
        }
    return -1;
}

bool InSessionCommand(Form& /*form*/, Control& control)
{
    switch (control.m_nUserID) {
    case 0:
        return EndSession();
    case 1: {
        const std::int32_t kind = SessionKindOfState(State());
        if (kind >= 0)
            TheChampionship().SetSessionKind(kind);
        return EndSession();
    }
    case 2:
        return CallScreen(kGameTypeCalledState, 0);
    case 3:
        return CallScreen(81, 0);
    case 4:
        return CallScreen(82, 0);
    default:
        return true;
    }
}

bool NetworkEntryCommand(Form& /*form*/, Control& control)
{
    switch (control.m_nUserID) {
    case 2:
        return Confirmed(kAskQuitGame);
    default:
        return true;
    }
}

bool ArcadeEntryCommand(Form& /*form*/, Control& control)
{
    if (control.m_nUserID == 1) {
        Championship& champ = TheChampionship();
        champ.Reset("default");
        champ.LoadRiders();
    }
    return true;
}
