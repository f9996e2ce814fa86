#include <algorithm>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/game_app.h"
#include "net/lobby.h"
#include "net/net_session.h"
#include "net/net_sync.h"
#include "platform/byte_writer.h"
#include "tests/net/net_pair.h"

// The lobby as players meet in it: a host and two clients on loopback join,
// chat, choose riders, get ready, start and pass the start barrier.
namespace {

using net_test::Pump;

LobbyPlayerRecord Record(std::uint32_t id, std::int32_t slot, std::uint32_t state, const char* name)
{
    LobbyPlayerRecord r;
    r.PlayerId = id;
    r.SlotIndex = slot;
    r.State = state;
    r.EventIndex = 3;
    std::strncpy(r.Name, name, sizeof r.Name - 1);
    r.RaceOptions[0] = r.RaceOptions[1] = 3;
    r.RaceOptions[kLobbySimulationRiders] = 12;
    r.RaceOptions[kLobbyArcadeRiders] = 33;
    r.RaceOptions[4] = 2;
    r.RaceOptions[kLobbyWeather] = 1;
    return r;
}

struct Player {
    NetSession session;
    LobbyState lobby;
};

// Polls every lobby until `done` holds (or about three seconds pass).
template <class Done>
bool PollUntil(std::vector<Player*> players, Done done)
{
    for (int i = 0; i < 600; ++i) {
        for (Player* p : players)
            LobbyPoll(p->session, p->lobby);
        if (done())
            return true;
        players.front()->session.WaitForMessage(5);
    }
    return false;
}

struct Lobby {
    Player host;
    std::vector<std::unique_ptr<Player>> clients;

    bool Open(int clientCount)
    {
        host.session.Port = 0;
        host.lobby.IsHost = 1;
        host.lobby.Own = Record(1, 0, kLobbyStateHost, "HOST");
        const std::vector<std::uint8_t> own = BuildLobbyPlayerRecord(host.lobby.Own);
        host.session.SelectConnection(kNetKindTcp);
        if (host.session.Host("SESSION 1", 8, 0, 1, 0, 0, 0x1000) != kNetOk)
            return false;
        host.lobby.OwnId = host.session.CreatePlayer("HOST", own.data(), own.size(), kNetPlayerServer);
        const std::string address = "127.0.0.1:" + std::to_string(host.session.Transport().Port());
        for (int i = 0; i < clientCount; ++i) {
            auto c = std::make_unique<Player>();
            if (!net_test::Join(c->session, address))
                return false;
            const std::string name = "RIDER" + std::to_string(i + 1);
            LobbyPlayerRecord r = Record(0, -1, kLobbyStateJoined, name.c_str());
            std::vector<std::uint8_t> bytes = BuildLobbyPlayerRecord(r);
            c->lobby.OwnId = c->session.CreatePlayer(name.c_str(), bytes.data(), bytes.size(), 0);
            r.PlayerId = c->lobby.OwnId;
            c->lobby.Own = r;
            LobbySend(c->session, c->lobby, kLobbyJoined);
            clients.push_back(std::move(c));
            // Every client learns the list, with its own slot.
            if (!PollUntil(All(), [&] {
                    for (auto& known : clients)
                        if (known->session.PlayerCount() != i + 2)
                            return false;
                    return clients.back()->lobby.Own.SlotIndex == i + 1;
                }))
                return false;
        }
        return true;
    }

    std::vector<Player*> All()
    {
        std::vector<Player*> all{&host};
        for (auto& c : clients)
            all.push_back(c.get());
        return all;
    }
};

TEST(Lobby, PlayersJoinChatChooseRidersAndStartTogether)
{
    Lobby lobby;
    ASSERT_TRUE(lobby.Open(2));
    Player& host = lobby.host;
    Player& a = *lobby.clients[0];
    Player& b = *lobby.clients[1];
    EXPECT_EQ(host.session.PlayerCount(), 3);
    EXPECT_EQ(a.session.PlayerCount(), 3);
    EXPECT_EQ(a.lobby.Own.SlotIndex, 1);
    EXPECT_STREQ(a.session.PlayerNameById(1), "HOST");

    // Chat: to everybody through the host, and from the host to one.
    LobbyChat(a.session, a.lobby, 0, "hello all");
    LobbyChat(host.session, host.lobby, b.lobby.OwnId, "only you");
    ASSERT_TRUE(PollUntil(lobby.All(), [&] { return b.lobby.Chat.size() == 2 && host.lobby.Chat.size() == 1; }));
    EXPECT_EQ(host.lobby.Chat[0].Text, "RIDER1: hello all");
    EXPECT_EQ(a.lobby.Chat.size(), 1u); // its own line, once
    std::vector<std::string> seenByB;
    for (const LobbyChatLine& line : b.lobby.Chat)
        seenByB.push_back(line.Text);
    std::sort(seenByB.begin(), seenByB.end());
    EXPECT_EQ(seenByB, (std::vector<std::string>{"HOST: only you", "RIDER1: hello all"}));

    // Riders: the second to ask for a rider keeps the one it held.
    LobbyAskRider(a.session, a.lobby, 5);
    ASSERT_TRUE(PollUntil(lobby.All(), [&] { return a.lobby.Own.Rider == 5; }));
    b.lobby.Own.Rider = 7; // still -1 at the host: the reply says so
    LobbyAskRider(b.session, b.lobby, 5);
    ASSERT_TRUE(PollUntil(lobby.All(), [&] { return b.lobby.Own.Rider == -1; }));
    LobbyAskRider(b.session, b.lobby, 6);
    ASSERT_TRUE(PollUntil(lobby.All(), [&] { return b.lobby.Own.Rider == 6; }));

    // Ready, then the start.
    for (Player* c : {&a, &b}) {
        c->lobby.Own.State = kLobbyStateReady;
        LobbySend(c->session, c->lobby, kLobbyRecord);
    }
    ASSERT_TRUE(PollUntil(lobby.All(), [&] {
        LobbyPlayerRecord r;
        const NetPlayer* p = host.session.FindPlayer(b.lobby.OwnId);
        return p && ReadLobbyPlayerRecord(p->Data, r) && r.State == kLobbyStateReady && r.Rider == 6;
    }));
    LobbyHostStart(host.session, host.lobby, 4242);
    ASSERT_TRUE(PollUntil(lobby.All(), [&] {
        return a.lobby.StartFlag && b.lobby.StartFlag && a.lobby.ListMessages == a.session.PlayerCount() &&
               b.lobby.ListMessages == b.session.PlayerCount();
    }));
    LobbyPlayerRecord seen;
    ASSERT_TRUE(FindSessionHost(b.session, seen));
    EXPECT_EQ(seen.RandomSeed, 4242u);

    // Everybody leaves the lobby for the race and meets at the barrier.
    std::vector<GameApp> apps(3);
    std::vector<Player*> all = lobby.All();
    for (std::size_t i = 0; i < all.size(); ++i) {
        all[i]->lobby.GameType = 1;
        ASSERT_TRUE(MultiStartRace(all[i]->session, all[i]->lobby, apps[i]));
        EXPECT_EQ(all[i]->lobby.EventIndex, 3);
        for (Player* p : all) {
            PlayerRecord record;
            record.NetworkId = p->lobby.OwnId;
            apps[i].AddPlayer(record);
        }
    }
    EXPECT_NE(apps[0].Flags & kAppFlagNetworkHost, 0u);
    EXPECT_EQ(apps[1].Flags & kAppFlagNetworkHost, 0u);
    EXPECT_NE(apps[1].Flags & kAppFlagNetwork, 0u);
    for (int barrier = 1; barrier <= 2; ++barrier) {
        std::vector<std::uint8_t> passed(3, 0);
        std::vector<std::thread> threads;
        for (std::size_t i = 0; i < all.size(); ++i)
            threads.emplace_back([&, i] { passed[i] = SyncPlayersOver(all[i]->session, apps[i], 5000); });
        for (std::thread& t : threads)
            t.join();
        EXPECT_EQ(passed, std::vector<std::uint8_t>(3, 1)) << "barrier " << barrier;
        EXPECT_EQ(apps[2].m_nSyncCounter, static_cast<std::uint32_t>(barrier));
    }
}

TEST(Lobby, APlayerNotReadyAtTheStartIsLeftBehind)
{
    Lobby lobby;
    ASSERT_TRUE(lobby.Open(2));
    Player& a = *lobby.clients[0];
    Player& b = *lobby.clients[1];
    a.lobby.Own.State = kLobbyStateReady;
    LobbySend(a.session, a.lobby, kLobbyRecord);
    ASSERT_TRUE(PollUntil(lobby.All(), [&] {
        LobbyPlayerRecord r;
        const NetPlayer* p = lobby.host.session.FindPlayer(a.lobby.OwnId);
        return p && ReadLobbyPlayerRecord(p->Data, r) && r.State == kLobbyStateReady;
    }));
    LobbyHostStart(lobby.host.session, lobby.host.lobby, 1);
    ASSERT_TRUE(PollUntil(lobby.All(), [&] { return a.lobby.StartFlag && b.lobby.Ended; }));
    EXPECT_EQ(lobby.host.session.PlayerCount(), 2);
    EXPECT_EQ(a.session.FindPlayer(b.lobby.OwnId), nullptr);
    EXPECT_FALSE(b.lobby.StartFlag);
}

TEST(Lobby, WithoutAHostRecordTheSessionEndsInsteadOfStarting)
{
    NetSession session;
    LobbyState lobby;
    GameApp app;
    LobbyPlayerRecord r = Record(5, 2, kLobbyStateReady, "RIDER");
    const std::vector<std::uint8_t> bytes = BuildLobbyPlayerRecord(r);
    session.AddPlayer("RIDER", 5, bytes.data(), bytes.size());
    EXPECT_FALSE(MultiStartRace(session, lobby, app));
    EXPECT_EQ(lobby.Ended, 1);
    EXPECT_EQ(app.Flags & kAppFlagNetwork, 0u);
    // A host record whose event is out of range ends it too.
    r = Record(1, 0, kLobbyStateHost, "HOST");
    r.EventIndex = 12;
    const std::vector<std::uint8_t> host = BuildLobbyPlayerRecord(r);
    session.AddPlayer("HOST", 1, host.data(), host.size());
    lobby.Ended = 0;
    EXPECT_FALSE(MultiStartRace(session, lobby, app));
    EXPECT_EQ(lobby.Ended, 1);
}

// The game type decides what the race takes from the lobby: type 1 the
// host's event and game mode 0, type 2 game mode 1; types 3 and 4 keep the
// event and game mode the screens set.
TEST(Lobby, TheGameTypeGivesTheEventAndTheGameModeWord)
{
    struct Case {
        std::int32_t type, event, mode;
    };
    for (const Case c : {Case{1, 7, 0}, Case{2, 2, 1}, Case{3, 2, 4}, Case{4, 2, 4}}) {
        NetSession session;
        LobbyPlayerRecord r = Record(1, 0, kLobbyStateHost, "HOST");
        r.EventIndex = 7;
        const std::vector<std::uint8_t> host = BuildLobbyPlayerRecord(r);
        session.AddPlayer("HOST", 1, host.data(), host.size());
        LobbyState lobby;
        lobby.GameType = c.type;
        lobby.EventIndex = 2;
        lobby.GameMode = 4;
        lobby.OwnId = 1;
        lobby.IsHost = 1;
        GameApp app;
        ASSERT_TRUE(MultiStartRace(session, lobby, app)) << "type " << c.type;
        EXPECT_EQ(lobby.EventIndex, c.event) << "type " << c.type;
        EXPECT_EQ(lobby.GameMode, c.mode) << "type " << c.type;
        EXPECT_EQ(app.Flags & (kAppFlagNetwork | kAppFlagNetworkHost), kAppFlagNetwork | kAppFlagNetworkHost);
        EXPECT_EQ(app.m_nNetPlayerId, 1u);
        EXPECT_EQ(lobby.RaceStart, 1);
    }
}

// Malformed messages from a client change nothing at the host, and from the
// host nothing at a client.
TEST(Lobby, MalformedMessagesAreIgnored)
{
    Lobby lobby;
    ASSERT_TRUE(lobby.Open(1));
    Player& host = lobby.host;
    Player& client = *lobby.clients[0];
    const std::uint32_t id = client.lobby.OwnId;
    const LobbyPlayerRecord good = Record(id, 1, kLobbyStateReady, "RIDER1");

    const auto record = [&](auto change) {
        LobbyPlayerRecord r = good;
        change(r);
        return BuildLobbyPlayerRecord(r);
    };
    const auto words = [](std::initializer_list<std::uint32_t> list, std::size_t size) {
        std::vector<std::uint8_t> b;
        platform::ByteWriter out(b);
        for (std::uint32_t w : list)
            out.u32(w);
        b.resize(size, 0);
        return b;
    };
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
    };
    std::vector<std::uint8_t> unterminated = record([](auto&) {});
    std::memset(unterminated.data() + 28, 'A', 64);
    std::vector<std::uint8_t> longRecord = record([](auto&) {});
    longRecord.push_back(0);
    const std::vector<Case> cases = {
        {"record one byte short", std::vector<std::uint8_t>(good.Name, good.Name) /* empty */},
        {"record one byte long", longRecord},
        {"record of another player", record([](auto& r) { r.PlayerId = 1; })},
        {"rider 32", record([](auto& r) { r.Rider = 32; })},
        {"rider -2", record([](auto& r) { r.Rider = -2; })},
        {"slot 8", record([](auto& r) { r.SlotIndex = 8; })},
        {"event 12", record([](auto& r) { r.EventIndex = 12; })},
        {"event -1", record([](auto& r) { r.EventIndex = -1; })},
        {"state 3", record([](auto& r) { r.State = 3; })},
        {"weather 4", record([](auto& r) { r.RaceOptions[kLobbyWeather] = 4; })},
        {"34 riders", record([](auto& r) { r.RaceOptions[kLobbySimulationRiders] = 34; })},
        {"no arcade riders", record([](auto& r) { r.RaceOptions[kLobbyArcadeRiders] = 0; })},
        {"joined without its record", words({kLobbyJoined, id}, 100)},
        {"joined for another id", [&] {
             std::vector<std::uint8_t> b = words({kLobbyJoined, 1}, 8);
             const std::vector<std::uint8_t> r = record([](auto&) {});
             b.insert(b.end(), r.begin(), r.end());
             return b;
         }()},
        {"chat cut short", words({kLobbyChat, 0, id}, 139)},
        {"chat in another's name", words({kLobbyChat, 0, 1}, 140)},
        {"rider request for rider 40", words({kLobbyRider, id, 40}, 12)},
        {"rider request for another", words({kLobbyRider, 1, 3}, 12)},
        {"leave cut short", words({kLobbyLeave, id}, 8)},
        {"an unknown type", words({0x1234, id, 0}, 12)},
        {"1 MiB", std::vector<std::uint8_t>(1 << 20, 0x11)},
    };
    LobbyPlayerRecord before;
    ASSERT_TRUE(ReadLobbyPlayerRecord(host.session.FindPlayer(id)->Data, before));
    for (const Case& c : cases) {
        if (!c.bytes.empty())
            client.session.Send(id, 1, c.bytes.data(), c.bytes.size(), kNetSendGuaranteed);
        Pump(host.session, 0);
        for (int i = 0; i < 20; ++i) {
            EXPECT_EQ(LobbyPoll(host.session, host.lobby), 0u) << c.name;
            host.session.WaitForMessage(2);
        }
        LobbyPlayerRecord after;
        ASSERT_TRUE(ReadLobbyPlayerRecord(host.session.FindPlayer(id)->Data, after)) << c.name;
        EXPECT_EQ(BuildLobbyPlayerRecord(after), BuildLobbyPlayerRecord(before)) << c.name;
        EXPECT_TRUE(host.lobby.Chat.empty()) << c.name;
    }

    // From the host: a player list naming id 0 or slot 9, a rider reply
    // for rider 99, a start list with an unterminated name.
    const auto list = [&](std::int32_t slot, const std::vector<std::uint8_t>& r) {
        std::vector<std::uint8_t> b = words({kLobbyPlayerList, id, static_cast<std::uint32_t>(slot)}, 12);
        b.insert(b.end(), r.begin(), r.end());
        return b;
    };
    const std::vector<Case> fromHost = {
        {"slot 9", list(9, record([](auto&) {}))},
        {"a record of id 0", list(1, record([](auto& r) { r.PlayerId = 0; }))},
        {"rider 99", words({kLobbyRider, id, 99}, 12)},
        {"start list cut short", words({kLobbyStartList, 0xFFFFFFFF, 0xFFFFFFFF}, 200)},
    };
    const LobbyPlayerRecord own = client.lobby.Own;
    for (const Case& c : fromHost) {
        host.session.Send(1, id, c.bytes.data(), c.bytes.size(), kNetSendGuaranteed);
        for (int i = 0; i < 20; ++i) {
            EXPECT_EQ(LobbyPoll(client.session, client.lobby), 0u) << c.name;
            client.session.WaitForMessage(2);
        }
        EXPECT_EQ(BuildLobbyPlayerRecord(client.lobby.Own), BuildLobbyPlayerRecord(own)) << c.name;
        EXPECT_EQ(client.lobby.ListMessages, 0) << c.name;
        EXPECT_EQ(client.session.PlayerCount(), 2) << c.name;
    }
    // An unterminated name reads terminated.
    LobbyPlayerRecord read;
    ASSERT_TRUE(ReadLobbyPlayerRecord(unterminated, read));
    EXPECT_EQ(std::strlen(read.Name), 63u);
}

} // namespace
