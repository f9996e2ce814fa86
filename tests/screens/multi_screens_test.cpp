// The multiplayer screens on the demo menu sets, without a network: the
// connection choice offers what the session can use and says why the rest
// is off; the rider notice follows the rider the team screen shows; the
// serial dialogue's lists follow the stored values; the waiting dialogue
// gives up; leaving a session keeps the connection kind.
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "app/game_app.h"
#include "app/registry_settings.h"
#include "champ/champ_objects.h"
#include "champ/championship.h"
#include "champ/game_settings.h"
#include "input/input_manager.h"
#include "menu/command_button.h"
#include "menu/form.h"
#include "menu/label.h"
#include "menu/menu_manager.h"
#include "menu/picture_box.h"
#include "menu/screen_hooks.h"
#include "net/lobby_player_record.h"
#include "net/net_session.h"
#include "platform/clock.h"
#include "platform/registry.h"
#include "screens/arcade_screens.h"
#include "screens/multi_screens.h"
#include "screens/navigation.h"
#include "screens/screen_binding.h"
#include "screens/weekend_screens.h"
#include "tests/menu/menu_fixture.h"
#include "tests/support/demo_data.h"

namespace {

const std::filesystem::path& data_folder()
{
    static const std::filesystem::path folder = [] {
        std::filesystem::path dir = torvane_test::temp_root() / "multi-screens";
        std::string error;
        EXPECT_TRUE(torvane_test::install_demo_data(dir, error)) << error;
        return dir;
    }();
    return folder;
}

std::int32_t NoAnswer(const char*, std::int32_t)
{
    return 0;
}

class MultiScreens : public menu_test::MenuFixture {
protected:
    MultiScreens() : cwd_(data_folder()) {}

    void SetUp() override
    {
        MenuFixture::SetUp();
        // The arcade bike choice of the main set holds a carousel.
        open_menu_engine("menu\\3d\\podium.pal");
        SetTheGameSettings(&settings_);
        SetTheInputManager(&input_);
        champ_.Start();
        InstallScreenHandlers();
        SetDialogueRunner(&NoAnswer);
        SetMultiDialogueRunner(&NoAnswer);
        platform::set_test_clock(1000);
        g_pNetSession = &session_;
        TheMultiLobby() = MultiLobby{};
        SetCurrentMenuManager(&set_);
        set_.Load(".\\menu\\menu.dat");
        set_.LoadAllScreens();
    }
    void TearDown() override
    {
        TheMultiLobby() = MultiLobby{};
        g_pNetSession = nullptr;
        set_.Reset();
        SetMultiDialogueRunner(nullptr);
        SetDialogueRunner(nullptr);
        SetScreenHooks(ScreenHooks{});
        platform::clear_test_clock();
        MenuFixture::TearDown();
        SetTheInputManager(nullptr);
        SetTheGameSettings(nullptr);
    }

    // The screen of `state`, entered as the menus enter it.
    Form& enter(std::int32_t state)
    {
        const std::int32_t index = set_.ScreenForState(state);
        EXPECT_GE(index, 0) << state;
        set_.m_nState = state;
        set_.m_nShownScreen = index;
        Form& form = *set_.Screen(index);
        form.ShowScreen();
        form.PaintAll();
        return form;
    }

    // Another player of the session holding `rider`.
    void add_player_with_rider(std::uint32_t id, std::int32_t rider)
    {
        LobbyPlayerRecord record;
        record.PlayerId = id;
        record.SlotIndex = 1;
        record.Rider = rider;
        record.State = 2;
        std::snprintf(record.Name, sizeof record.Name, "OTHER");
        const std::vector<std::uint8_t> bytes = BuildLobbyPlayerRecord(record);
        session_.AddPlayer("OTHER", id, bytes.data(), bytes.size());
    }

    torvane_test::ScopedCwd cwd_;
    GameSettings settings_;
    InputManager input_;
    ChampObjects champ_;
    NetSession session_;
    MenuManager set_;
};

template <typename T>
T& Element(const Form& form, const char* name)
{
    T* element = dynamic_cast<T*>(form.FindElement(name));
    if (!element)
        throw std::runtime_error(std::string("no ") + name + " in " + form.Name());
    return *element;
}

} // namespace

TEST_F(MultiScreens, TheConnectionScreenOffersTcpOnlyAndShowsWhyTheOthersAreOff)
{
    Form& form = enter(kMultiConnectionState);
    struct Row {
        const char* button;
        const char* reason;  // null: none is shown for it
        bool enabled;
    };
    const Row rows[] = {{"multi_button_tcp", nullptr, true},
                        {"multi_button_ipx", "multi_reason_ipx", false},
                        {"multi_button_modem", "multi_reason_modem", false},
                        {"multi_button_serial", "multi_reason_serial", false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.button);
        const CommandButton& button = Element<CommandButton>(form, row.button);
        EXPECT_EQ(button.m_nState == kButtonDisabled, !row.enabled);
        if (row.reason) {
            const Label& reason = Element<Label>(form, row.reason);
            EXPECT_TRUE(reason.IsVisibleInState());
            EXPECT_NE(reason.RowText(0), "");
        }
    }

    // The UserIDs 1..5 choose the kinds "none", IPX, TCP/IP, modem, serial.
    const std::pair<std::int32_t, std::uint32_t> kinds[] = {
        {1, kMultiKindNone}, {2, kNetKindIpx}, {3, kNetKindTcp}, {4, kNetKindModem}, {5, kNetKindSerial}};
    CommandButton probe;
    for (const auto& [id, kind] : kinds) {
        probe.m_nUserID = id;
        CommandMulti01(form, probe);
        EXPECT_EQ(TheMultiLobby().Kind, kind) << id;
    }
    form.LeaveScreen();
}

TEST_F(MultiScreens, TheRiderNoticeFollowsTheRiderTheTeamScreenShows)
{
    // The rider table by group and place, and nothing outside it.
    EXPECT_EQ(MultiRiderOf(0, 0), 1);
    EXPECT_EQ(MultiRiderOf(1, 4), 9);
    EXPECT_EQ(MultiRiderOf(4, 1), 16);
    for (const auto& [group, frame] : {std::pair{-1, 0}, {5, 0}, {0, -1}, {0, 5}})
        EXPECT_EQ(MultiRiderOf(group, frame), -1) << group << "," << frame;

    // A team screen's rider: the team of the screen, the place the
    // element shows, within the places it has.
    struct Shown {
        const char* screen;
        std::int32_t place, places, rider;
    };
    const Shown shown[] = {{"Sim5k", 1, 5, 7}, {"SIM5D", 0, 5, 1}, {"sim5y", 2, 3, 12}, {"Sim5h", 1, 5, 13},
                           {"Sim5s", 4, 5, 1},  {"Sim5k", 3, 3, -1}, {"Sim5k", -1, 5, -1}, {"sim5", 0, 5, -1},
                           {"Sim5x", 0, 5, -1}, {"Sim5kk", 0, 5, -1}, {"Sim04", 0, 5, -1}};
    for (const Shown& row : shown)
        EXPECT_EQ(MultiTeamScreenRider(row.screen, row.place, row.places), row.rider)
            << row.screen << " " << row.place << "/" << row.places;

    // Other players hold rider 7, the second of the "Sim5k" team (group 1),
    // and rider 10, the second of "Sim5y" (group 2).
    add_player_with_rider(5, 7);
    add_player_with_rider(6, 10);
    TheMultiLobby().Lobby.OwnId = 2;
    EXPECT_TRUE(MultiRiderHeldByOther(7));
    EXPECT_FALSE(MultiRiderHeldByOther(8));
    // The notice on the team screen of each network state, by the rider the
    // screen shows: its group is the team of the screen shown, whatever the
    // state ("Sim5h" at 324 is not group 2).
    struct Row {
        std::int32_t state;
        std::int32_t page;
        bool shown;
    };
    const Row rows[] = {{322, 1, true}, {322, 0, false}, {325, 1, true}, {324, 1, false}, {323, 1, false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.state);
        Form& form = enter(row.state);
        Element<Label>(form, "label_name").SetPage(row.page);
        MultiScreenUpdate();
        EXPECT_EQ(Element<Label>(form, "multi_forbidden_text").IsVisibleInState(), row.shown) << row.page;
        EXPECT_EQ(Element<Control>(form, "multi_forbidden_sprite").IsVisibleInState(), row.shown) << row.page;
        form.LeaveScreen();
    }
    // His own rider is no notice to the player.
    TheMultiLobby().Lobby.OwnId = 5;
    EXPECT_FALSE(MultiRiderHeldByOther(7));
}

TEST_F(MultiScreens, TheSerialDialogueShowsAndStoresTheFiveValues)
{
    MenuManager dialogues;
    SetCurrentMenuManager(&dialogues);
    dialogues.Load(".\\menu\\MultiDlg.dat");
    dialogues.LoadAllScreens();
    const std::int32_t index = dialogues.ScreenForState(kMultiDlgSerial);
    ASSERT_GE(index, 0);
    Form& form = *dialogues.Screen(index);
    struct Row {
        std::uint32_t values[5];
        std::int32_t rows[5];  // -1: no row picked
    };
    const Row rows[] = {
        {{2, 57600, 0, 0, 4}, {1, 4, 0, 0, 4}},
        {{1, 9600, 2, 3, 0}, {0, 0, 2, 3, 0}},
        // A rate the list does not have picks no row.
        {{4, 56000, 1, 1, 1}, {3, -1, 1, 1, 1}},
    };
    const char* lists[5] = {"multi_dlg_data_1", "multi_dlg_data_2", "multi_dlg_data_3", "multi_dlg_data_4",
                            "multi_dlg_data_5"};
    for (const Row& row : rows) {
        std::copy(std::begin(row.values), std::end(row.values), TheMultiLobby().Serial);
        form.ShowScreen();
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(Element<Label>(form, lists[i]).m_nCurrentRow, row.rows[i]) << lists[i] << " " << row.values[1];
        form.LeaveScreen();
    }
    // The rows picked go back into the values; no row leaves a value.
    form.ShowScreen();
    Element<Label>(form, lists[0]).SetCurrentRow(2);
    Element<Label>(form, lists[1]).SetCurrentRow(5);
    Element<Label>(form, lists[4]).SetCurrentRow(-1);
    DrawDlg02(form);
    EXPECT_EQ(TheMultiLobby().Serial[0], 3u);
    EXPECT_EQ(TheMultiLobby().Serial[1], 115200u);
    EXPECT_EQ(TheMultiLobby().Serial[4], 1u);
    form.LeaveScreen();
    dialogues.Reset();
    SetCurrentMenuManager(&set_);
}

TEST_F(MultiScreens, TheWaitingDialogueGivesUpAndEscLeavesIt)
{
    MenuManager dialogues;
    SetCurrentMenuManager(&dialogues);
    dialogues.Load(".\\menu\\MultiDlg.dat");
    dialogues.LoadAllScreens();
    const std::int32_t index = dialogues.ScreenForState(kMultiDlgWaiting);
    ASSERT_GE(index, 0);
    // Esc (command 0) ends the dialogue set.
    bool escapes = false;
    for (const MenuManager::Transition& t : dialogues.m_Transitions)
        if (t.state == kMultiDlgWaiting && t.command == 0)
            for (const MenuManager::StateScreen& s : dialogues.m_StateScreens)
                escapes = escapes || (s.state == t.next && s.screen < 0);
    EXPECT_TRUE(escapes);

    // A host whose port is taken makes no session: the dialogue keeps
    // trying until its time is up, then closes without a result.
    const int taken = socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_GE(taken, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    socklen_t size = sizeof address;
    ASSERT_EQ(bind(taken, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(getsockname(taken, reinterpret_cast<sockaddr*>(&address), &size), 0);
    session_.Port = ntohs(address.sin_port);
    Form& form = *dialogues.Screen(index);
    dialogues.m_nState = kMultiDlgWaiting;
    dialogues.m_nNextState = -1;
    MultiLobby& m = TheMultiLobby();
    m.Lobby.IsHost = 1;
    std::snprintf(m.SessionName, sizeof m.SessionName, "SESSION 1");
    m.WaitStart = platform::time_get_time();
    DrawDlg04(form);
    EXPECT_EQ(dialogues.m_nNextState, -1);
    platform::set_test_clock(platform::time_get_time() + kMultiWaitingMs);
    DrawDlg04(form);
    EXPECT_EQ(dialogues.m_nNextState, 0);
    EXPECT_EQ(m.DialogResult, 0);
    EXPECT_FALSE(session_.SessionOpen());
    close(taken);
    dialogues.Reset();
    SetCurrentMenuManager(&set_);
}

TEST_F(MultiScreens, LeavingASessionKeepsTheKindAndTheSerialValuesOnly)
{
    MultiLobby& m = TheMultiLobby();
    m.Kind = kNetKindTcp;
    m.Serial[1] = 19200;
    m.Lobby.Joined = 1;
    m.Lobby.OwnId = 3;
    m.Step = 2;
    m.ConnectionInit = 1;
    TheGameApp().Flags |= kAppFlagNetwork;
    LeaveSession();
    EXPECT_EQ(m.Kind, kNetKindTcp);
    EXPECT_EQ(m.Serial[1], 19200u);
    EXPECT_EQ(m.Lobby.Joined, 0);
    EXPECT_EQ(m.Lobby.OwnId, 0u);
    EXPECT_EQ(m.Step, 0);
    EXPECT_EQ(m.ConnectionInit, 0);
    EXPECT_EQ(TheGameApp().Flags & kAppFlagNetwork, 0u);
    EXPECT_EQ(g_bNetworkGame, 0);
}

TEST_F(MultiScreens, TheOtherScreensNetworkRowsTakeTheLobbysChoices)
{
    MultiLobby& m = TheMultiLobby();
    // The game mode screen: 1 a weekend, 3 a championship; the host's
    // session offers it as its game type; other UserIDs keep the mode.
    m.Lobby.IsHost = 1;
    const std::pair<std::int32_t, std::int32_t> modes[] = {{1, 3}, {3, 4}, {2, 4}};
    for (const auto& [id, mode] : modes) {
        MultiGameModeCommand(id);
        EXPECT_EQ(TheChampionship().GameMode, mode) << id;
        EXPECT_EQ(m.Lobby.GameMode, mode) << id;
        EXPECT_EQ(m.User[1], static_cast<std::uint32_t>(mode)) << id;
    }
    // The host's session word; a client's is the session's, which it has
    // not got without a session.
    MultiSetSessionWord(3);
    EXPECT_EQ(m.User[2], 3u);
    m.Lobby.IsHost = 0;
    MultiSetSessionWord(2);
    EXPECT_EQ(m.User[2], 3u);
    EXPECT_EQ(MultiSessionWord(), -1);

    // A client's event is the host's record's (slot 0), none without one.
    EXPECT_EQ(MultiHostEvent(), -1);
    LobbyPlayerRecord host;
    host.PlayerId = 1;
    host.SlotIndex = 0;
    host.EventIndex = 7;
    std::snprintf(host.Name, sizeof host.Name, "HOST");
    const std::vector<std::uint8_t> bytes = BuildLobbyPlayerRecord(host);
    session_.AddPlayer("HOST", 1, bytes.data(), bytes.size());
    add_player_with_rider(4, 3);
    EXPECT_EQ(MultiHostEvent(), 7);
}

TEST_F(MultiScreens, BackFromANetworkRaceTheMenusStartWhereTheGameTypeLeads)
{
    struct Row {
        std::int32_t gameType;
        bool host;
        std::int32_t sessionKind;
        std::int32_t state;
        bool hook;
    };
    const Row rows[] = {
        {1, true, 6, kMultiLobbyState, false},
        {3, false, 2, kMultiLobbyState, false},
        // An arcade championship whose session has gone: the lobby.
        {2, true, 6, kMultiLobbyState, false},
        {4, true, 3, 351, true},
        {4, true, 2, 329, true},
        {4, false, 2, 370, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.gameType);
        MultiLobby& m = TheMultiLobby();
        m = MultiLobby{};
        m.Lobby.LobbyActive = 1;
        m.Lobby.GameType = row.gameType;
        m.Lobby.IsHost = row.host ? 1 : 0;
        m.Lobby.Joined = row.host ? 0 : 1;
        TheChampionship().SetSessionKind(row.sessionKind);
        MenuManager manager;
        manager.m_nState = 19;
        MultiMenuStart(manager);
        EXPECT_EQ(manager.m_nState, row.state) << row.host << " " << row.sessionKind;
        EXPECT_EQ(manager.m_nNextState, row.state);
        EXPECT_EQ(manager.m_nReturnState, 19);
        EXPECT_EQ(manager.m_pFrameHook == &MultiScreenUpdate, row.hook);
    }
    // Outside a lobby nothing changes.
    TheMultiLobby() = MultiLobby{};
    MenuManager manager;
    manager.m_nState = 19;
    MultiMenuStart(manager);
    EXPECT_EQ(manager.m_nState, 19);
}

namespace {

// This machine hosts a session on a free loopback port as the screens do
// (the server player with its record, the network game marked by the
// run flags `flags`); its session word is `word`.
void HostOnLoopback(NetSession& session, std::uint32_t flags, std::uint32_t word)
{
    session.Port = 0;
    ASSERT_EQ(session.SelectConnection(kNetKindTcp), kNetOk);
    ASSERT_EQ(session.Host("SESSION 1", 8, 0, 3, word, 0, 0x1000), kNetOk);
    MultiLobby& m = TheMultiLobby();
    m.Lobby.IsHost = 1;
    m.Lobby.GameType = 3;
    m.User[1] = 3;
    m.User[2] = word;
    m.SessionIndex = session.SessionCount() - 1;
    m.Lobby.Own.SlotIndex = 0;
    m.Lobby.Own.Rider = -1;
    std::snprintf(m.Lobby.Own.Name, sizeof m.Lobby.Own.Name, "HOST");
    const std::vector<std::uint8_t> bytes = BuildLobbyPlayerRecord(m.Lobby.Own);
    m.Lobby.OwnId = session.CreatePlayer("HOST", bytes.data(), bytes.size(), kNetPlayerServer);
    ASSERT_NE(m.Lobby.OwnId, 0u);
    m.Lobby.Own.PlayerId = m.Lobby.OwnId;
    TheGameApp().Flags |= flags;
}

} // namespace

TEST_F(MultiScreens, AJoinedPlayerGoesFromTheCircuitToTheRaceTheSessionWordNames)
{
    // Outside a network game, and for a host, "to the race" does nothing
    // and is not shown.
    Form& info = enter(349);
    EXPECT_FALSE(Element<CommandButton>(info, "to_race").IsVisibleInState());
    CommandButton toRace;
    toRace.m_nUserID = 2;
    set_.m_nNextState = -1;
    EXPECT_TRUE(TrackInfoCommand(info, toRace));
    EXPECT_EQ(set_.m_nNextState, -1);
    info.LeaveScreen();

    // A joined player (the run flags say so) whose session's word is 2
    // goes to Race 1's menu, with any other word to Race 2's.
    struct Row {
        std::uint32_t word;
        std::int32_t state;
    };
    for (const Row& row : {Row{2, 369}, Row{3, 370}}) {
        SCOPED_TRACE(row.word);
        HostOnLoopback(session_, kAppFlagNetwork, row.word);
        TheGameApp().Flags &= ~kAppFlagNetworkHost;
        Form& form = enter(349);
        EXPECT_TRUE(Element<CommandButton>(form, "to_race").IsVisibleInState());
        set_.m_nNextState = -1;
        EXPECT_FALSE(TrackInfoCommand(form, toRace));
        EXPECT_EQ(set_.m_nNextState, row.state);
        form.LeaveScreen();
        // The race's menu says the race starts from the lobby, and the row
        // is drawn (a label shows as many rows as its page 0 has).
        Form& race = enter(row.state);
        const Label& says = Element<Label>(race, "race");
        EXPECT_EQ(says.CurrentPage(), 1);
        EXPECT_EQ(says.RowText(0), "Started from the lobby");
        EXPECT_GE(says.m_nVisibleRows, 1);
        race.LeaveScreen();
        LeaveSession();
    }
}

// The team screens' network row sets no name: the session's championship
// takes the player's own, which the in-session menus and the race show.
TEST_F(MultiScreens, TheInSessionMenusOfANetworkRaceNameThePlayer)
{
    struct Row {
        const char* stored; // the settings' player name; null: none stored
        const char* shown;
    };
    for (const Row& row : {Row{"ANNA", "ANNA"}, Row{nullptr, "PLAYER"}}) {
        SCOPED_TRACE(row.shown);
        torvane_test::ScopedHome home("multi-name");
        if (row.stored) {
            ASSERT_TRUE(platform::RegistryKey(kSettingsKeyPath).set_string(kValuePlayerName, row.stored));
        }
        std::memset(TheChampionship().PlayerName, 0, sizeof TheChampionship().PlayerName);
        HostOnLoopback(session_, kAppFlagNetwork | kAppFlagNetworkHost, 2);
        MultiGameModeCommand(1); // the game mode sets up the session's championship
        EXPECT_STREQ(TheChampionship().PlayerName, row.shown);
        Form& race = enter(369);
        EXPECT_EQ(Element<Label>(race, "LBL_rider_name").RowText(0), row.shown);
        race.LeaveScreen();
        LeaveSession();
    }
}

TEST_F(MultiScreens, TheLobbyLeadsAWeekendsHostToTheSessionsAndAJoinedPlayerToTheCircuit)
{
    struct Row {
        std::int32_t gameType;
        bool host;
        bool sessions, circuit;
    };
    const Row rows[] = {{1, true, false, false}, {2, false, false, false}, {3, true, true, false},
                        {3, false, false, true}, {4, true, true, false},  {4, false, false, true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.gameType);
        MultiLobby& m = TheMultiLobby();
        m.Lobby.GameType = row.gameType;
        m.Lobby.IsHost = row.host ? 1 : 0;
        m.Lobby.Joined = row.host ? 0 : 1;
        Form& form = enter(kMultiLobbyState);
        EXPECT_EQ(Element<CommandButton>(form, "multi_button_sessions").IsVisibleInState(), row.sessions)
            << row.host;
        EXPECT_EQ(Element<CommandButton>(form, "multi_button_circuit").IsVisibleInState(), row.circuit) << row.host;
        form.LeaveScreen();
    }
    TheMultiLobby() = MultiLobby{};
}

// The host's sessions serve a weekend and a championship: a weekend's
// races follow the transitions (369, 370), a championship's go to their
// own menus (376, 377); both set the session word.
TEST_F(MultiScreens, TheSessionsLeadAChampionshipsRacesToTheirOwnMenus)
{
    struct Row {
        std::int32_t mode, id;
        std::uint32_t word;
        std::int32_t state; // -1: the transitions lead on
    };
    const Row rows[] = {{3, 6, 2, -1}, {3, 7, 3, -1}, {4, 6, 2, 376}, {4, 7, 3, 377}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.mode * 10 + row.id);
        HostOnLoopback(session_, kAppFlagNetwork | kAppFlagNetworkHost, 0);
        TheChampionship().GameMode = row.mode;
        Form& form = enter(329);
        CommandButton race;
        race.m_nUserID = row.id;
        set_.m_nNextState = -1;
        EXPECT_EQ(SessionsCommand(form, race), row.state < 0);
        EXPECT_EQ(set_.m_nNextState, row.state);
        EXPECT_EQ(TheMultiLobby().User[2], row.word);
        form.LeaveScreen();
        LeaveSession();
    }
}

TEST_F(MultiScreens, TheNetworkBikeChoiceTakesTheTeamsRiderAndAnArcadeChampionshipGoesOn)
{
    HostOnLoopback(session_, kAppFlagNetwork | kAppFlagNetworkHost, 0);
    MultiLobby& m = TheMultiLobby();
    m.Lobby.GameType = 2;
    // Another player rides the first rider of the second team (rider 8).
    add_player_with_rider(9, 8);
    Form& form = enter(304);
    auto& carousel = Element<Control>(form, "OLE1");
    CommandButton take;
    take.m_nUserID = 1;
    // The second bike: refused, the bike step stays.
    dynamic_cast<PictureBox&>(carousel).ShowItem(1);
    ASSERT_EQ(CurrentItem(carousel), 1);
    EXPECT_FALSE(ArcadeBikeCommand(form, take));
    EXPECT_EQ(m.Lobby.Own.Rider, -1);
    EXPECT_TRUE(Element<CommandButton>(form, "choose").IsVisibleInState());
    // The first bike: the host takes its team's first rider, the bike
    // number's tens are the item, the transmission comes.
    dynamic_cast<PictureBox&>(carousel).ShowItem(0);
    settings_.ChosenBike = 13;
    EXPECT_TRUE(ArcadeBikeCommand(form, take));
    EXPECT_EQ(m.Lobby.Own.Rider, 1);
    EXPECT_EQ(TheChampionship().PlayerRider(), 1);
    EXPECT_EQ(settings_.ChosenBike, 3);
    EXPECT_TRUE(Element<CommandButton>(form, "manual").IsVisibleInState());
    // The transmission: in an arcade championship on to its race screen.
    CommandButton manual;
    manual.m_nUserID = 3;
    set_.m_nNextState = -1;
    EXPECT_FALSE(ArcadeBikeCommand(form, manual));
    EXPECT_EQ(settings_.GearChoice, 1);
    EXPECT_EQ(set_.m_nNextState, kMultiArcadeRaceState);
    form.LeaveScreen();
    // The race screen's "go" says where the race starts: its row 1.
    Form& race = enter(kMultiArcadeRaceState);
    const CommandButton& go = Element<CommandButton>(race, "go");
    EXPECT_EQ(go.CurrentPage(), 1);
    EXPECT_EQ(go.RowText(0), "To lobby");
    EXPECT_GE(go.m_nVisibleRows, 1);
    race.LeaveScreen();
    LeaveSession();
}

// The bike choice's notice: over the bike while another player rides the
// first rider of its team, drawn by the screen's own hook and left alone by
// the lobby's frame step; none outside a network game.
TEST_F(MultiScreens, TheBikeChoiceShowsTheTakenRiderNotice)
{
    const auto notice = [](const Form& form) {
        const bool sprite = Element<Control>(form, "multi_forbidden_sprite").IsVisibleInState();
        EXPECT_EQ(Element<Label>(form, "multi_forbidden_text").IsVisibleInState(), sprite);
        return sprite;
    };
    {
        Form& form = enter(304);
        dynamic_cast<PictureBox&>(Element<Control>(form, "OLE1")).ShowItem(1);
        form.PaintAll();
        EXPECT_FALSE(notice(form));
        form.LeaveScreen();
    }
    HostOnLoopback(session_, kAppFlagNetwork | kAppFlagNetworkHost, 0);
    add_player_with_rider(9, 8); // the first rider of the second team
    Form& form = enter(304);
    auto& carousel = dynamic_cast<PictureBox&>(Element<Control>(form, "OLE1"));
    for (const auto& [item, shown] : {std::pair{1, true}, {0, false}, {2, false}, {1, true}}) {
        SCOPED_TRACE(item);
        carousel.ShowItem(item);
        form.PaintAll();
        EXPECT_EQ(notice(form), shown);
        MultiScreenUpdate();
        EXPECT_EQ(notice(form), shown);
    }
    form.LeaveScreen();
    LeaveSession();
}

// The lobby's warning blinks with bit 8 of the clock: 256 ms on, 256 off.
TEST_F(MultiScreens, TheLobbysWarningBlinksWithTheClock)
{
    HostOnLoopback(session_, kAppFlagNetwork | kAppFlagNetworkHost, 0);
    Form& form = enter(kMultiLobbyState);
    for (const auto& [now, shown] : {std::pair{0x1000u, false}, {0x10FFu, false}, {0x1100u, true}, {0x11FFu, true},
                                     {0x1200u, false}, {0x1300u, true}}) {
        SCOPED_TRACE(now);
        platform::set_test_clock(now);
        MultiScreenUpdate();
        EXPECT_EQ(Element<Label>(form, "multi_warn_text").IsVisibleInState(), shown);
        EXPECT_EQ(Element<Control>(form, "multi_warn_sprite").IsVisibleInState(), shown);
    }
    form.LeaveScreen();
    LeaveSession();
}
