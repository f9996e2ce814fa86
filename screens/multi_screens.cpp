#include "screens/multi_screens.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/game_app.h"
#include "app/registry_settings.h"
#include "champ/champ_objects.h"
#include "champ/championship.h"
#include "champ/game_settings.h"
#include "champ/race_preparation.h"
#include "menu/command_button.h"
#include "menu/form.h"
#include "menu/image.h"
#include "menu/label.h"
#include "menu/menu_manager.h"
#include "menu/run_menu.h"
#include "net/net_session.h"
#include "platform/clock.h"
#include "platform/random.h"
#include "platform/registry.h"
#include "platform/directory_listing.h"
#include "screens/navigation.h"
#include "sound/sound_library.h"

namespace {

constexpr std::uint32_t kAll = 0;
constexpr std::int32_t kDialogueSound = 11;
constexpr std::uint32_t kSessionFlagsClientServer = 0x1000;
constexpr std::uint32_t kMaxSessionPlayers = 8;
constexpr std::uint32_t kClientHeartbeatMs = 500;
constexpr std::uint32_t kFirstHeartbeatMs = 1000;
constexpr std::uint32_t kSearchEveryMs = 200;
constexpr std::uint32_t kHostRecordEveryMs = 0;  // every frame
constexpr std::uint32_t kModemRecordEveryMs = 500;
constexpr std::size_t kChatInputChars = 96;
constexpr std::size_t kChatRowsShown = 8;
constexpr const char* kSerialNames[5] = {"ComPort", "BaudRate", "StopBits", "Parity", "Flow"};
constexpr std::uint32_t kBaudRates[6] = {9600, 14400, 19200, 38400, 57600, 115200};

// The riders of the team screens' groups by position (group x 5 + frame).
constexpr std::int32_t kRiderTable[5][5] = {
    {1, 3, 2, 4, 0}, {8, 7, 5, 6, 9}, {11, 10, 12, 1, 1}, {14, 13, 15, 1, 1}, {17, 16, 1, 1, 1}};

MultiLobby g_Multi;
MultiDialogueRunner g_pDialogueRunner = nullptr;
// The user words the open session's description was last given.
std::uint32_t g_AppliedUser[4] = {};
bool g_bDescriptionApplied = false;

std::int32_t RunDialogue(const char* set, std::int32_t state)
{
    return g_pDialogueRunner ? g_pDialogueRunner(set, state) : RunScreen(set, state);
}

template <typename T>
T* Find(const Form& form, const char* name)
{
    return dynamic_cast<T*>(form.FindElement(name));
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

void SetShown(const Form& form, const char* name, bool shown)
{
    if (Control* control = form.FindElement(name)) {
        if (shown == control->IsVisibleInState())
            return;
        if (shown)
            control->Show();
        else
            control->Hide();
        control->Invalidate();
    }
}

// A label's text, set only when it changed (so a list keeps its rows and
// the row the player picked).
void SetLabelText(const Form& form, const char* name, const std::string& text)
{
    Label* label = Find<Label>(form, name);
    if (!label)
        return;
    const Label::Page* page = label->CurrentPageRecord();
    if (page && page->text == text)
        return;
    label->SetText(text.c_str(), static_cast<std::int32_t>(text.size()) + 1);
    label->Invalidate();
}

// An editable label's first row, set to `text` and open for typing with at
// most `capacity` characters.
void StartEdit(const Form& form, const char* name, const char* text, std::size_t capacity)
{
    Label* label = Find<Label>(form, name);
    if (!label)
        return;
    std::string start(text, strnlen(text, capacity));
    label->SetText(start.c_str(), static_cast<std::int32_t>(capacity) + 1);
    label->EditRow(0);
    label->Invalidate();
}

// What an editable label holds (its first row), at most `size` - 1 characters.
void EditedText(const Form& form, const char* name, char* buffer, std::size_t size)
{
    buffer[0] = 0;
    if (const Label* label = Find<Label>(form, name)) {
        const std::string row = label->RowText(0);
        std::snprintf(buffer, size, "%s", row.c_str());
    }
}

// The row the player picked in a list, else -1.
std::int32_t PickedRow(const Form& form, const char* name)
{
    const Label* label = Find<Label>(form, name);
    if (!label)
        return -1;
    if (label->m_nSelectedRow >= 0)
        return label->m_nSelectedRow;
    return label->m_nCurrentRow;
}

std::uint32_t Now()
{
    return platform::time_get_time();
}

void PlayDialogueSound()
{
    if (SoundLibrary* sounds = TheSoundLibrary())
        sounds->Play(kDialogueSound, 0, kSoundKeep, kSoundKeepF, kSoundKeep, kPlayRestartOwn);
}

MenuManager* Manager()
{
    return CurrentMenuManager();
}

std::int32_t MenuState()
{
    const MenuManager* manager = Manager();
    return manager ? manager->m_nState : -1;
}

// The menu goes to a state (from the frame hook, where no button waits for
// the result).
void SetMenuState(std::int32_t state)
{
    if (Manager())
        GoToState(state);
}

void RemoveFrameHook()
{
    if (MenuManager* manager = MainMenuManager())
        manager->SetFrameHook(nullptr);
}

void InstallFrameHook()
{
    if (MenuManager* manager = Manager())
        manager->SetFrameHook(&MultiScreenUpdate);
}

void InstallSystemHandler(NetSession& session)
{
    session.SetSystemHandler(&OnNetSystemMessage);
}

// The game is a network game while this machine hosts or has joined a
// session: the other screens' network rows act on it.
void MarkNetworkGame(bool host)
{
    GameApp& app = TheGameApp();
    app.Flags |= kAppFlagNetwork;
    if (host)
        app.Flags |= kAppFlagNetworkHost;
    else
        app.Flags &= ~kAppFlagNetworkHost;
    g_bNetworkGame = 1;
}

void ClearNetworkGame()
{
    GameApp& app = TheGameApp();
    app.Flags &= ~(kAppFlagNetwork | kAppFlagNetworkHost);
    g_bNetworkGame = 0;
}

// The own record takes the player's race options (and, as they are, the
// other settings words).
void CopySettingsIntoOwn(LobbyPlayerRecord& own)
{
    const RaceOptions& o = TheGameSettings().Race;
    const std::int32_t words[8] = {o.NumSimulationLaps, o.NumArcadeLaps, o.NumSimulationRiders, o.NumArcadeRiders,
                                   o.CpuDifficulty,     o.Weather,       o.CpuMulti,            o.Km};
    std::copy(std::begin(words), std::end(words), own.RaceOptions);
}

// A client races with the host's race options (laps, riders, difficulty,
// weather), so that every machine prepares the same race.
void TakeHostRaceOptions(NetSession& session)
{
    LobbyPlayerRecord host;
    if (!FindSessionHost(session, host))
        return;
    RaceOptions& o = TheGameSettings().Race;
    std::int32_t* fields[8] = {&o.NumSimulationLaps, &o.NumArcadeLaps, &o.NumSimulationRiders, &o.NumArcadeRiders,
                               &o.CpuDifficulty,     &o.Weather,       &o.CpuMulti,            &o.Km};
    for (int i = 0; i < 8; ++i)
        *fields[i] = host.RaceOptions[i];
}

// A client follows the session's game type (1..4) and its game mode.
void FollowGameType(LobbyState& lobby, std::uint32_t type)
{
    constexpr std::int32_t kModeOfType[5] = {0, 0, 1, 3, 4};
    if (type < 1 || type > 4 || lobby.GameType == static_cast<std::int32_t>(type))
        return;
    lobby.GameType = static_cast<std::int32_t>(type);
    TheChampionship().GameMode = kModeOfType[type];
}

void SetUpChampionship()
{
    Championship& champ = TheChampionship();
    champ.Reset("multitmp");
    champ.LoadRiders();
    // The team screens' network row takes no name: the player's own one is
    // the championship's, for the in-session menus and the race's rider.
    LoadPlayerName(champ.PlayerName);
}

void StoreOwnRecord(NetSession& session, const LobbyState& lobby)
{
    const std::vector<std::uint8_t> bytes = BuildLobbyPlayerRecord(lobby.Own);
    session.SetPlayerData(lobby.OwnId, bytes.data(), bytes.size());
}

// The lobby leaves the menus for the race: the race is prepared from the
// session's records, the menu set ends, and its run ends as a race start.
void StartNetworkRace(NetSession& session)
{
    MultiLobby& m = g_Multi;
    LobbyState& lobby = m.Lobby;
    GameApp& app = TheGameApp();
    if (!MultiStartRace(session, lobby, app))
        return;  // no host record: the ended notice comes next frame
    Championship& champ = TheChampionship();
    if (lobby.GameType == 1)
        champ.CurrentEventIndex = lobby.EventIndex;
    if (lobby.GameType == 1 || lobby.GameType == 2)
        champ.GameMode = lobby.GameMode;
    if (!lobby.IsHost) {
        // Every machine races the host's event and race options.
        if (const std::int32_t event = MultiHostEvent(); event >= 0)
            champ.CurrentEventIndex = event;
        TakeHostRaceOptions(session);
    }
    PrepareRace();
    lobby.RaceStart = 0;
    g_bMenuRaceStart = true;
    RemoveFrameHook();
    SetMenuState(0);
}

std::string PlayerLine(const NetPlayer& player, LobbyPlayerRecord& record, bool& hasRecord)
{
    hasRecord = ReadLobbyPlayerRecord(player.Data, record);
    return player.Name;
}

std::string RiderName(std::int32_t rider)
{
    if (rider < 0)
        return "no rider yet";
    try {
        return TheChampionship().FindRider(rider).Name;
    } catch (...) {
        return "rider " + std::to_string(rider);
    }
}

const char* StateName(std::uint32_t state)
{
    switch (state) {
    case kLobbyStateHost:
        return "host";
    case kLobbyStateJoined:
        return "choosing";
    default:
        return "ready";
    }
}

std::string GameTypeName(std::uint32_t type)
{
    switch (type) {
    case 1:
        return "Arcade race";
    case 2:
        return "Arcade championship";
    case 3:
        return "Race weekend";
    case 4:
        return "Championship";
    default:
        return "-";
    }
}

void ReadSerialSettings(MultiLobby& m)
{
    platform::RegistryKey key(kSettingsKeyPath);
    constexpr std::uint32_t kDefaults[5] = {2, 57600, 0, 0, 4};
    for (int i = 0; i < 5; ++i)
        m.Serial[i] = key.get_dword(kSerialNames[i]).value_or(kDefaults[i]);
}

void SaveSerialSettings(const MultiLobby& m)
{
    platform::RegistryKey key(kSettingsKeyPath);
    for (int i = 0; i < 5; ++i)
        key.set_dword(kSerialNames[i], m.Serial[i]);
}

// Step 2 of the frame: the connection, once.
bool SelectConnection(NetSession& session, MultiLobby& m)
{
    switch (m.Kind) {
    case kNetKindIpx:
        break;
    case kNetKindTcp:
        std::snprintf(m.DialogText, sizeof m.DialogText, "%s", session.TcpAddress);
        if (RunDialogue("MultiDlg", kMultiDlgAddress) == 0)
            return false;
        std::snprintf(session.TcpAddress, sizeof session.TcpAddress, "%s", m.DialogText);
        break;
    case kNetKindSerial:
        if (RunDialogue("MultiDlg", kMultiDlgSerial) == 0)
            return false;
        SaveSerialSettings(m);
        break;
    default:
        return true;  // a modem is chosen by the commands; "none" chooses nothing
    }
    if (session.SelectConnection(m.Kind) != kNetOk)
        return false;
    m.ConnectionInit = 1;
    return true;
}

// Step 5: the session hosted, or joined.
bool FinishHosting(NetSession& session, MultiLobby& m)
{
    LobbyState& lobby = m.Lobby;
    if (!session.SessionOpen()) {
        m.DialogResult = 0;
        m.WaitStart = Now();
        RunDialogue("MultiDlg", kMultiDlgWaiting);
        if (!session.SessionOpen())
            return false;
    }
    m.Step = 0;
    m.SessionIndex = session.SessionCount() - 1;
    lobby.Own = LobbyPlayerRecord{};
    lobby.Own.SlotIndex = 0;
    lobby.Own.Rider = -1;
    lobby.Own.State = kLobbyStateHost;
    CopySettingsIntoOwn(lobby.Own);
    std::snprintf(lobby.Own.Name, sizeof lobby.Own.Name, "HOST");
    const std::vector<std::uint8_t> bytes = BuildLobbyPlayerRecord(lobby.Own);
    lobby.OwnId = session.CreatePlayer(lobby.Own.Name, bytes.data(), bytes.size(), kNetPlayerServer);
    if (lobby.OwnId == 0)
        return false;
    lobby.Own.PlayerId = lobby.OwnId;
    StoreOwnRecord(session, lobby);
    lobby.GameType = static_cast<std::int32_t>(m.User[1]);
    SetUpChampionship();
    MarkNetworkGame(true);
    return true;
}

bool FinishJoining(NetSession& session, MultiLobby& m)
{
    LobbyState& lobby = m.Lobby;
    if (session.Join(m.SessionIndex) != kNetOk)
        return false;
    SetUpChampionship();
    m.Step = 0;
    const NetSessionEntry* entry = session.SessionAt(m.SessionIndex);
    lobby.GameType = 0;
    if (entry)
        FollowGameType(lobby, entry->Desc.User[1]);
    lobby.Own = LobbyPlayerRecord{};
    lobby.Own.SlotIndex = -1;
    lobby.Own.Rider = -1;
    lobby.Own.State = kLobbyStateJoined;
    CopySettingsIntoOwn(lobby.Own);
    const char* name = TheChampionship().PlayerName;
    std::snprintf(lobby.Own.Name, sizeof lobby.Own.Name, "%.*s", static_cast<int>(kPlayerNameChars),
                  name[0] ? name : "PLAYER");
    const std::vector<std::uint8_t> bytes = BuildLobbyPlayerRecord(lobby.Own);
    lobby.OwnId = session.CreatePlayer(lobby.Own.Name, bytes.data(), bytes.size(), 0);
    if (lobby.OwnId == 0)
        return false;
    lobby.Own.PlayerId = lobby.OwnId;
    StoreOwnRecord(session, lobby);
    MarkNetworkGame(false);
    LobbySend(session, lobby, kLobbyJoined);
    return true;
}

// The open session's description follows the host's user words (sent only
// when they change: every client hears of each change).
void ApplyDescription(NetSession& session, const MultiLobby& m)
{
    if (g_bDescriptionApplied && std::equal(std::begin(m.User), std::end(m.User), g_AppliedUser))
        return;
    if (session.Host(m.SessionName, kMaxSessionPlayers, m.User[0], m.User[1], m.User[2], 0,
                     kSessionFlagsClientServer) == kNetOk) {
        std::copy(std::begin(m.User), std::end(m.User), g_AppliedUser);
        g_bDescriptionApplied = true;
    }
}

// The rider shown on a team screen ("Sim5" and the team's letter): its
// group by the screen, its place by the frame of "sprite_rider" (else the
// page of "label_name"); -1 when the screen shows none of the table.
std::int32_t ShownRider(const Form& form)
{
    if (const Image* sprite = Find<Image>(form, "sprite_rider"))
        return MultiTeamScreenRider(form.Name(), sprite->m_Strip.m_nCurrent, sprite->m_Strip.Count());
    if (const Label* names = Find<Label>(form, "label_name"))
        return MultiTeamScreenRider(form.Name(), names->CurrentPage(), names->PageCount());
    return -1;
}

void ShowForbidden(const Form& form)
{
    // Only the team screens: the bike choice's own draw hook shows its notice.
    if (MultiTeamScreenRider(form.Name(), 0, 1) < 0)
        return;
    const std::int32_t rider = ShownRider(form);
    const bool held = rider >= 0 && MultiRiderHeldByOther(rider);
    SetShown(form, "multi_forbidden_sprite", held);
    SetShown(form, "multi_forbidden_text", held);
}

// In a race weekend or a championship (game types 3 and 4) the lobby leads
// the host to the weekend's sessions and a joined player to the circuit of
// the host's next race.
void ShowWeekendButtons(const Form& form, const LobbyState& lobby)
{
    const bool weekend = lobby.GameType == 3 || lobby.GameType == 4;
    SetShown(form, "multi_button_sessions", weekend && lobby.IsHost);
    SetShown(form, "multi_button_circuit", weekend && lobby.Joined);
}

void Notice(LobbyState& lobby, const std::string& text)
{
    lobby.Chat.push_back(LobbyChatLine{0, text});
}

} // namespace

MultiLobby& TheMultiLobby()
{
    return g_Multi;
}

void SetMultiDialogueRunner(MultiDialogueRunner runner)
{
    g_pDialogueRunner = runner;
}

std::int32_t MultiRiderOf(std::int32_t group, std::int32_t frame)
{
    if (group < 0 || group >= 5 || frame < 0 || frame >= 5)
        return -1;
    return kRiderTable[group][frame];
}

std::int32_t MultiTeamScreenRider(const char* screen, std::int32_t place, std::int32_t places)
{
    const std::string_view name = screen ? screen : "";
    if (name.size() != 5 || !platform::equals_ignoring_case(name.substr(0, 4), "Sim5"))
        return -1;
    constexpr std::pair<char, std::int32_t> kGroups[] = {{'d', 0}, {'k', 1}, {'y', 2}, {'h', 3}, {'s', 4}};
    std::int32_t group = -1;
    for (const auto& [letter, g] : kGroups)
        if (std::tolower(static_cast<unsigned char>(name[4])) == letter)
            group = g;
    if (place < 0 || place >= places)
        return -1;
    return MultiRiderOf(group, place);
}

bool MultiRiderHeldByOther(std::int32_t rider)
{
    const NetSession* session = g_pNetSession;
    if (!session || rider < 0)
        return false;
    for (int i = 0; const NetPlayer* p = session->PlayerAt(i); ++i) {
        LobbyPlayerRecord r;
        if (p->Id != g_Multi.Lobby.OwnId && ReadLobbyPlayerRecord(p->Data, r) && r.Rider == rider)
            return true;
    }
    return false;
}

// ---- The session ----

void LeaveSession()
{
    MultiLobby& m = g_Multi;
    if (NetSession* session = g_pNetSession) {
        if (m.Lobby.IsHost && session->SessionOpen())
            LobbySend(*session, m.Lobby, kLobbyHostLeft);
        session->SetSystemHandler(nullptr);
        session->ReleaseInterfaces();
    }
    RemoveFrameHook();
    const std::uint32_t kind = m.Kind;
    const std::uint32_t serial[5] = {m.Serial[0], m.Serial[1], m.Serial[2], m.Serial[3], m.Serial[4]};
    m = MultiLobby{};
    m.Kind = kind;
    std::copy(std::begin(serial), std::end(serial), m.Serial);
    g_bDescriptionApplied = false;
    ClearNetworkGame();
}

void OnNetSystemMessage(NetSession& session, const std::uint8_t* data, std::size_t size)
{
    LobbyState& lobby = g_Multi.Lobby;
    std::uint32_t type = 0, id = 0;
    if (size >= 8) {
        std::memcpy(&type, data, 4);
        std::memcpy(&id, data + 4, 4);
    }
    if (type == platform::kNetSysDestroyPlayer && session.FindPlayer(id) && id != lobby.OwnId) {
        const std::string name = session.PlayerNameById(id);
        if (lobby.IsHost) {
            LobbyPlayerGone(session, lobby, id);
        } else {
            LobbyPlayerRecord r;
            const NetPlayer* p = session.FindPlayer(id);
            if ((lobby.GameType == 2 || lobby.GameType == 4) && p && ReadLobbyPlayerRecord(p->Data, r) &&
                r.Rider >= 0 && lobby.ReleaseRider)
                lobby.ReleaseRider(r.Rider);
            session.RemovePlayer(id);
        }
        Notice(lobby, name + " has left the session.");
        return;
    }
    const bool created = type == platform::kNetSysCreatePlayer && !session.FindPlayer(id);
    session.OnSystemMessage(data, size);
    if (created && id != lobby.OwnId)
        if (const char* name = session.PlayerNameById(id))
            Notice(lobby, std::string(name) + " has joined the session.");
}

void MultiScreenUpdate()
{
    NetSession* session = g_pNetSession;
    if (!session)
        return;
    MultiLobby& m = g_Multi;
    LobbyState& lobby = m.Lobby;
    const std::uint32_t now = Now();

    // The selected session, and the own record's settings.
    if (m.SessionIndex >= 0)
        session->SessionAt(m.SessionIndex);
    if ((lobby.IsHost || lobby.Joined) && session->SessionOpen() && lobby.OwnId != 0) {
        CopySettingsIntoOwn(lobby.Own);
        // The host's record carries the event the players race next.
        if (const std::int32_t event = TheChampionship().CurrentEventIndex;
            lobby.IsHost && event >= 0 && event < kChampEvents)
            lobby.Own.EventIndex = event;
    }

    // The connection, once.
    if (!m.ConnectionInit && m.Kind != 0 && m.Kind != kMultiKindNone && m.Kind != kNetKindModem) {
        if (!SelectConnection(*session, m)) {
            LeaveSession();
            SetMenuState(kMultiConnectionState);
            return;
        }
    }

    // The session has ended for this player: the notice, then the session
    // list (the lobby of an ended session would stay empty).
    if (lobby.Ended) {
        RunDialogue("menudial", kMultiSessionEndedNotice);
        LeaveSession();
        SetMenuState(kMultiSessionsState);
        return;
    }

    if (lobby.StartFlag && lobby.ListMessages >= session->PlayerCount()) {
        StartNetworkRace(*session);
        return;
    }

    if (m.Step == 1) {
        if (!FinishHosting(*session, m)) {
            LeaveSession();
            SetMenuState(kMultiConnectionState);
            return;
        }
    } else if (m.Step == 2) {
        if (!FinishJoining(*session, m)) {
            LeaveSession();
            SetMenuState(kMultiConnectionState);
            return;
        }
    }

    if (lobby.IsHost && session->SessionOpen()) {
        ApplyDescription(*session, m);
    } else if (lobby.Joined && session->SessionOpen()) {
        const NetSessionEntry* entry = session->SessionAt(m.SessionIndex);
        // The host may choose the game after the client has joined.
        if (entry)
            FollowGameType(lobby, entry->Desc.User[1]);
        const std::int32_t state = MenuState();
        if (entry && entry->Desc.User[0] == 1 && state != kMultiSessionsState && state != kMultiLobbyState &&
            state != kMultiRiderTakenState && state != kMultiChampLobbyState)
            SetMenuState(kMultiLobbyState);
    } else if (!lobby.IsHost && !lobby.Joined && m.ConnectionInit &&
               platform::elapsed_ms(m.LastEnum, now) >= kSearchEveryMs) {
        m.LastEnum = now;
        const std::uint32_t result = session->EnumSessions(m.Kind == kNetKindModem);
        // A search that fails leaves a modem connection; on the others the
        // next search comes in a moment (the list says it is looking).
        if (result != kNetOk && m.Kind == kNetKindModem) {
            LeaveSession();
            SetMenuState(kMultiConnectionState);
            return;
        }
    }

    if (session->SessionOpen() && lobby.OwnId != 0) {
        const std::uint32_t every = m.Kind == kNetKindModem ? kModemRecordEveryMs : kHostRecordEveryMs;
        if (lobby.IsHost && platform::elapsed_ms(m.LastSend, now) >= every) {
            m.LastSend = now;
            LobbySend(*session, lobby, kLobbyRecord);
        }
        const std::uint32_t type = LobbyPoll(*session, lobby);
        if (type == kLobbyStart && lobby.StartFlag && lobby.ListMessages >= session->PlayerCount()) {
            StartNetworkRace(*session);
            return;
        }
        if (lobby.Joined) {
            // The description a client joined with may still count the host
            // alone until the one that counts the client arrives: only a
            // count that falls below 2 after that ends the session.
            const NetSessionEntry* entry = session->SessionAt(m.SessionIndex);
            if (entry && entry->Desc.CurrentPlayers >= 2)
                m.CountedIn = 1;
            else if (entry && m.CountedIn)
                lobby.Ended = 1;
        }
    } else if (lobby.Joined && lobby.OwnId != 0 && !session->SessionOpen()) {
        lobby.Ended = 1;  // the session was lost
    }

    const Form* shown = Manager() ? Manager()->CurrentScreen() : nullptr;
    if (shown) {
        const bool warn = (platform::time_get_time() & 0x100) != 0;
        SetShown(*shown, "multi_warn_text", warn);
        SetShown(*shown, "multi_warn_sprite", warn);
        ShowForbidden(*shown);
    }
}

void MultiMenuStart(MenuManager& manager)
{
    MultiLobby& m = g_Multi;
    LobbyState& lobby = m.Lobby;
    NetSession* session = g_pNetSession;
    if (!session || !lobby.LobbyActive)
        return;
    lobby.InRace = 0;
    // Back from the race: the screens hear of players that come and go.
    InstallSystemHandler(*session);
    std::int32_t state = kMultiLobbyState;
    switch (lobby.GameType) {
    case 2:
        if (session->SessionOpen()) {
            manager.SetFrameHook(&MultiScreenUpdate);
            state = kMultiChampLobbyState;
        }
        break;
    case 4:
        manager.SetFrameHook(&MultiScreenUpdate);
        if (TheChampionship().GetSessionKind() == 3)
            state = 351;
        else
            state = lobby.IsHost ? 329 : 370;
        break;
    default:
        break;
    }
    manager.m_nReturnState = manager.m_nState;
    manager.m_nState = manager.m_nNextState = state;
}

// ---- "Multi01": the connection ----

void PrepareMulti01(Form& form)
{
    MultiLobby& m = g_Multi;
    if (g_pNetSession && (m.Lobby.IsHost || m.Lobby.Joined || g_pNetSession->ConnectionChosen()))
        LeaveSession();
    m = MultiLobby{};
    g_bDescriptionApplied = false;
    RemoveFrameHook();
    const std::uint32_t unavailable = g_pNetSession ? g_pNetSession->UnavailableMask() : ~0u;
    const std::pair<const char*, std::uint32_t> buttons[] = {{"multi_button_ipx", kNetKindIpx},
                                                             {"multi_button_tcp", kNetKindTcp},
                                                             {"multi_button_modem", kNetKindModem},
                                                             {"multi_button_serial", kNetKindSerial}};
    for (const auto& [name, kind] : buttons) {
        const bool available = (unavailable & kind) == 0;
        SetEnabled(form, name, available);
        // The reason beside a disabled button ("multi_button_ipx" ->
        // "multi_reason_ipx").
        const std::string reason = std::string("multi_reason_") + (name + std::strlen("multi_button_"));
        SetShown(form, reason.c_str(), !available);
    }
    ReadSerialSettings(m);
}

bool CommandMulti01(Form& /*form*/, Control& control)
{
    constexpr std::uint32_t kKinds[5] = {kMultiKindNone, kNetKindIpx, kNetKindTcp, kNetKindModem, kNetKindSerial};
    const std::int32_t id = control.m_nUserID;
    if (id >= 1 && id <= 5)
        g_Multi.Kind = kKinds[id - 1];
    return true;
}

// ---- "Multi02": the sessions ----

void PrepareMulti02(Form& form)
{
    LeaveSession();
    MultiLobby& m = g_Multi;
    m.Lobby.LobbyActive = 1;
    for (const char* name : {"multi_session_data", "multi_players_data", "multi_gametype_data", "multi_status_data"})
        SetLabelText(form, name, "");
    if (g_pNetSession)
        InstallSystemHandler(*g_pNetSession);
    SetEnabled(form, "multi_button_join", true);
    InstallFrameHook();
}

bool DrawMulti02(Form& form)
{
    NetSession* session = g_pNetSession;
    if (!session)
        return true;
    std::string names;
    for (int i = 0; i < session->SessionCount(); ++i) {
        if (i)
            names += '\n';
        names += session->SessionNameAt(i);
    }
    SetLabelText(form, "multi_session_data", names);
    std::int32_t row = PickedRow(form, "multi_session_data");
    if (row < 0 && session->SessionCount() > 0)
        row = 0;
    const NetSessionEntry* entry = row >= 0 && row < session->SessionCount() ? session->SessionAt(row) : nullptr;
    if (!entry) {
        SetLabelText(form, "multi_players_data", "");
        SetLabelText(form, "multi_gametype_data", "");
        SetLabelText(form, "multi_status_data", session->ConnectionChosen() ? "Looking for sessions..." : "");
        return true;
    }
    SetLabelText(form, "multi_players_data",
                 std::to_string(entry->Desc.CurrentPlayers) + " of " + std::to_string(entry->Desc.MaxPlayers) +
                     " players");
    SetLabelText(form, "multi_gametype_data", GameTypeName(entry->Desc.User[1]));
    SetLabelText(form, "multi_status_data", entry->Desc.User[0] == 1 ? "Racing" : "Open");
    return true;
}

bool CommandMulti02(Form& form, Control& control)
{
    MultiLobby& m = g_Multi;
    NetSession* session = g_pNetSession;
    if (!session)
        return false;
    switch (control.m_nUserID) {
    case 4: {
        std::snprintf(m.SessionName, sizeof m.SessionName, "SESSION %d", session->SessionCount() + 1);
        if (RunDialogue("MultiDlg", kMultiDlgSessionName) == 0)
            return false;
        m.Lobby.IsHost = 1;
        m.Lobby.LobbyActive = 1;
        m.User[0] = 2;
        m.Step = 1;
        return true;
    }
    case 3: {
        std::int32_t row = PickedRow(form, "multi_session_data");
        if (row < 0)
            row = 0;
        if (row >= session->SessionCount())
            return false;  // nothing to join
        m.SessionIndex = row;
        m.Lobby.Joined = 1;
        m.Lobby.LobbyActive = 1;
        m.Step = 2;
        return true;
    }
    default:
        return true;
    }
}

// ---- "Multi03": the lobby ----

void PrepareMulti03(Form& form)
{
    MultiLobby& m = g_Multi;
    if (m.Lobby.IsHost) {
        m.User[0] = 0;
        m.Lobby.InRace = 0;
    }
    InstallFrameHook();
    for (const char* name :
         {"multi_player_data", "multi_bike_data", "multi_status_data", "multi_messages_data", "multi_message_type"})
        SetLabelText(form, name, "");
    StartEdit(form, "multi_message_input", "", kChatInputChars);
    m.LastSend = Now() + kFirstHeartbeatMs - kClientHeartbeatMs;
    SetShown(form, "multi_button_race", !m.Lobby.Joined);
    ShowWeekendButtons(form, m.Lobby);
}

bool DrawMulti03(Form& form)
{
    NetSession* session = g_pNetSession;
    MultiLobby& m = g_Multi;
    LobbyState& lobby = m.Lobby;
    if (!session)
        return true;
    const std::uint32_t now = Now();
    if (lobby.Joined && session->SessionOpen() && lobby.OwnId != 0 &&
        static_cast<std::int32_t>(now - m.LastSend) > static_cast<std::int32_t>(kClientHeartbeatMs)) {
        m.LastSend = now;
        lobby.Own.State = kLobbyStateReady;
        LobbySend(*session, lobby, kLobbyRecord);
    }
    std::string players, bikes, states, addressees = "ALL";
    m.Addressees.assign(1, kAll);
    for (int i = 0; const NetPlayer* p = session->PlayerAt(i); ++i) {
        LobbyPlayerRecord r;
        bool has = false;
        const std::string name = PlayerLine(*p, r, has);
        if (i) {
            players += '\n';
            bikes += '\n';
            states += '\n';
        }
        players += name + (p->Id == lobby.OwnId ? " (you)" : "") + " - " + (has ? RiderName(r.Rider) : "?");
        bikes += has ? RiderName(r.Rider) : "?";
        states += has ? StateName(r.State) : "?";
        if (p->Id != lobby.OwnId) {
            addressees += '\n' + name;
            m.Addressees.push_back(p->Id);
        }
    }
    SetLabelText(form, "multi_player_data", players);
    SetLabelText(form, "multi_bike_data", bikes);
    SetLabelText(form, "multi_status_data", states);
    SetLabelText(form, "multi_message_type", addressees);
    std::string chat;
    const std::size_t first = lobby.Chat.size() > kChatRowsShown ? lobby.Chat.size() - kChatRowsShown : 0;
    for (std::size_t i = first; i < lobby.Chat.size(); ++i) {
        if (i > first)
            chat += '\n';
        chat += lobby.Chat[i].Text;
    }
    SetLabelText(form, "multi_messages_data", chat);
    // A client learns the game type as the host chooses it.
    ShowWeekendButtons(form, lobby);
    return true;
}

bool CommandMulti03(Form& form, Control& control)
{
    NetSession* session = g_pNetSession;
    MultiLobby& m = g_Multi;
    LobbyState& lobby = m.Lobby;
    if (!session || !session->SessionOpen())
        return true;
    switch (control.m_nUserID) {
    case 0: {
        if (!lobby.Joined)
            return true;
        // The host confirms the leave; it may instead end the session or
        // start the race meanwhile. A host that does not answer is left
        // after a while all the same.
        std::uint8_t bytes[12] = {};
        const std::uint32_t words[3] = {kLobbyLeave, lobby.OwnId, 0};
        std::memcpy(bytes, words, sizeof bytes);
        session->Send(lobby.OwnId, 1, bytes, sizeof bytes, kNetSendGuaranteed);
        const std::uint32_t start = platform::real_time_get_time();
        while (platform::elapsed_ms(start, platform::real_time_get_time()) < kMultiAnswerMs &&
               session->SessionOpen()) {
            const std::uint32_t type = LobbyPoll(*session, lobby);
            if (type == kLobbyLeave && !lobby.Ended)
                break;
            if (type == kLobbyHostLeft || lobby.Ended)
                break;
            if (type == kLobbyStart && lobby.StartFlag && lobby.ListMessages >= session->PlayerCount()) {
                StartNetworkRace(*session);
                return false;
            }
            session->WaitForMessage(10);
        }
        lobby.Ended = 0;
        return true;  // the button's own command leads to the session list, which leaves the session
    }
    case 1: {
        char text[kChatInputChars + 1] = {};
        EditedText(form, "multi_message_input", text, sizeof text);
        if (!text[0])
            return false;
        const std::int32_t row = PickedRow(form, "multi_message_type");
        const std::uint32_t addressee =
            row > 0 && static_cast<std::size_t>(row) < m.Addressees.size() ? m.Addressees[static_cast<std::size_t>(row)]
                                                                           : kAll;
        LobbyChat(*session, lobby, addressee, text);
        StartEdit(form, "multi_message_input", "", kChatInputChars);
        return false;
    }
    case 2: {
        if (!lobby.IsHost)
            return false;
        m.User[0] = 1;
        ApplyDescription(*session, m);
        LobbyHostStart(*session, lobby, static_cast<std::uint32_t>(platform::rand()));
        StartNetworkRace(*session);
        return false;
    }
    default:
        return true;
    }
}

// ---- "MultiDlg" ----

void PrepareDlg00(Form& form)
{
    PlayDialogueSound();
    StartEdit(form, "multi_dlg_data", g_Multi.SessionName, sizeof g_Multi.SessionName - 1);
}

bool DrawDlg00(Form& form)
{
    EditedText(form, "multi_dlg_data", g_Multi.SessionName, sizeof g_Multi.SessionName);
    return true;
}

void PrepareDlg01(Form& form)
{
    PlayDialogueSound();
    StartEdit(form, "multi_dlg_data", g_Multi.DialogText, 64);
}

bool DrawDlg01(Form& form)
{
    EditedText(form, "multi_dlg_data", g_Multi.DialogText, 65);
    return true;
}

void PrepareDlg02(Form& form)
{
    PlayDialogueSound();
    const MultiLobby& m = g_Multi;
    auto pick = [&](const char* name, std::int32_t row) {
        if (Label* list = Find<Label>(form, name))
            list->SetCurrentRow(row);
    };
    pick("multi_dlg_data_1", static_cast<std::int32_t>(m.Serial[0]) - 1);
    std::int32_t baud = -1;
    for (int i = 0; i < 6; ++i)
        if (kBaudRates[i] == m.Serial[1])
            baud = i;
    pick("multi_dlg_data_2", baud);
    pick("multi_dlg_data_3", static_cast<std::int32_t>(m.Serial[2]));
    pick("multi_dlg_data_4", static_cast<std::int32_t>(m.Serial[3]));
    pick("multi_dlg_data_5", static_cast<std::int32_t>(m.Serial[4]));
}

bool DrawDlg02(Form& form)
{
    MultiLobby& m = g_Multi;
    const std::int32_t limits[5] = {255, 6, 3, 4, 5};
    const char* names[5] = {"multi_dlg_data_1", "multi_dlg_data_2", "multi_dlg_data_3", "multi_dlg_data_4",
                            "multi_dlg_data_5"};
    for (int i = 0; i < 5; ++i) {
        const std::int32_t row = PickedRow(form, names[i]);
        if (row < 0 || row >= limits[i])
            continue;  // no row chosen: the value stays
        m.Serial[i] = i == 0 ? static_cast<std::uint32_t>(row + 1)
                             : i == 1 ? kBaudRates[row] : static_cast<std::uint32_t>(row);
    }
    return true;
}

void PrepareDlg03(Form& form)
{
    PlayDialogueSound();
    SetShown(form, "multi_dlg_data_2", g_Multi.Lobby.IsHost != 0);
    SetShown(form, "Multi_DLG_Message_2", g_Multi.Lobby.IsHost != 0);
    SetLabelText(form, "multi_dlg_data", "");
}

bool DrawDlg03(Form& form)
{
    MultiLobby& m = g_Multi;
    const std::int32_t row = PickedRow(form, "multi_dlg_data");
    if (row >= 0)
        m.Modem = row;
    if (m.Lobby.IsHost)
        EditedText(form, "multi_dlg_data_2", m.SessionName, sizeof m.SessionName);
    return true;
}

bool DrawDlg04(Form& form)
{
    NetSession* session = g_pNetSession;
    MultiLobby& m = g_Multi;
    MenuManager* manager = form.m_pOwner;
    if (!session || !manager)
        return true;
    if (platform::elapsed_ms(m.WaitStart, Now()) >= kMultiWaitingMs) {
        manager->m_nNextState = 0;  // given up: the dialogue ends without a result
        return true;
    }
    const std::uint32_t result =
        m.Lobby.IsHost ? session->Host(m.SessionName, kMaxSessionPlayers, m.User[0], m.User[1], m.User[2], 0,
                                       kSessionFlagsClientServer)
                       : session->EnumSessions(true);
    if (result == kNetOk) {
        if (m.Lobby.IsHost) {
            std::copy(std::begin(m.User), std::end(m.User), g_AppliedUser);
            g_bDescriptionApplied = true;
        }
        m.DialogResult = 1;
        manager->m_nNextState = 0;
    }
    return true;
}

// ---- The network entry screens ----

void PrepareStart09(Form& form)
{
    const bool fromEntry = Manager() && Manager()->m_nReturnState == kMultiEntryState;
    SetEnabled(form, "History", !fromEntry);
    SetShown(form, "Quit", fromEntry);
}

bool CommandStart09(Form& /*form*/, Control& /*control*/)
{
    return true;
}

void PrepareArcade02(Form& form)
{
    const bool fromEntry = MenuState() == kMultiArcadeEntryState;
    SetEnabled(form, "Replay", !fromEntry);
    SetEnabled(form, "Records", !fromEntry);
}

bool CommandArcade02(Form& /*form*/, Control& control)
{
    const std::int32_t id = control.m_nUserID;
    if (id == 1 || id == 2) {
        g_Multi.User[1] = static_cast<std::uint32_t>(id);
        g_Multi.Lobby.GameType = id;
    }
    return true;
}

// ---- The network rows of the other screens ----

bool MultiTakeRider(std::int32_t rider)
{
    NetSession* session = g_pNetSession;
    MultiLobby& m = g_Multi;
    LobbyState& lobby = m.Lobby;
    if (!session || !session->SessionOpen() || lobby.OwnId == 0)
        return false;
    if (lobby.IsHost) {
        // The host answers every request: it takes no rider another player holds.
        if (MultiRiderHeldByOther(rider)) {
            Notice(lobby, RiderName(rider) + " rides for another player.");
            return false;
        }
        lobby.Own.Rider = rider;
        StoreOwnRecord(*session, lobby);
    } else {
        LobbyAskRider(*session, lobby, rider);
        const std::uint32_t start = platform::real_time_get_time();
        for (;;) {
            if (LobbyPoll(*session, lobby) == kLobbyRider || lobby.Ended || !session->SessionOpen())
                break;
            if (platform::elapsed_ms(start, platform::real_time_get_time()) >= kMultiAnswerMs)
                break;
            session->WaitForMessage(10);
        }
        // Refused: the rider screen stays, with the notice over the rider
        // and a line in the lobby's messages.
        if (lobby.Own.Rider != rider) {
            Notice(lobby, RiderName(rider) + " rides for another player.");
            return false;
        }
    }
    TheChampionship().SetPlayerRider(rider);
    LobbySend(*session, lobby, kLobbyRecord);
    return true;
}

bool MultiChooseRider(std::int32_t rider)
{
    if (!MultiTakeRider(rider))
        return false;
    const LobbyState& lobby = g_Multi.Lobby;
    if (!lobby.IsHost || lobby.GameType == 4)
        return GoToState(kMultiRiderTakenState);
    return true;
}

std::int32_t MultiGameType()
{
    return g_Multi.Lobby.GameType;
}

void MultiChooseTrack(std::int32_t event)
{
    LobbyState& lobby = g_Multi.Lobby;
    lobby.Own.EventIndex = event;
    lobby.EventIndex = event;
    if (NetSession* session = g_pNetSession; session && lobby.OwnId != 0)
        StoreOwnRecord(*session, lobby);
}

void MultiGameModeCommand(std::int32_t userId)
{
    MultiLobby& m = g_Multi;
    Championship& champ = TheChampionship();
    if (userId == 1 || userId == 3) {
        const std::int32_t mode = userId == 1 ? 3 : 4;
        champ.GameMode = mode;
        m.Lobby.GameMode = mode;
        if (m.Lobby.IsHost) {
            m.User[1] = static_cast<std::uint32_t>(mode);
            m.Lobby.GameType = mode;
        }
    }
    SetUpChampionship();
}

void MultiSendOwnRecord()
{
    MultiLobby& m = g_Multi;
    NetSession* session = g_pNetSession;
    if (!session || !session->SessionOpen() || m.Lobby.OwnId == 0)
        return;
    StoreOwnRecord(*session, m.Lobby);
    LobbySend(*session, m.Lobby, kLobbyRecord);
}

void MultiSetSessionWord(std::int32_t kind)
{
    MultiLobby& m = g_Multi;
    if (m.Lobby.IsHost && kind >= 0)
        m.User[2] = static_cast<std::uint32_t>(kind);
}

void MultiClearStartWord()
{
    MultiLobby& m = g_Multi;
    if (m.Lobby.IsHost && m.User[0] != 1)
        m.User[0] = 0;
}

std::int32_t MultiSessionWord()
{
    NetSession* session = g_pNetSession;
    const MultiLobby& m = g_Multi;
    const NetSessionEntry* entry = session ? session->SessionAt(m.SessionIndex) : nullptr;
    if (!entry || entry->Desc.User[2] > 6)
        return -1;
    return static_cast<std::int32_t>(entry->Desc.User[2]);
}

std::int32_t MultiHostEvent()
{
    const NetSession* session = g_pNetSession;
    LobbyPlayerRecord host;
    if (!session || !FindSessionHost(*session, host))
        return -1;
    return host.EventIndex;
}
