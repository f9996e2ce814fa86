#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "net/net_session.h"
#include "platform/net_transport.h"
#include "tests/net/net_pair.h"

namespace {

using net_test::Pump;
using net_test::ReceiveFrom;
using net_test::SessionPair;

TEST(NetSession, OnlyTcpIpIsOffered)
{
    NetSession session;
    EXPECT_EQ(session.UnavailableMask(), kNetKindIpx | kNetKindModem | kNetKindSerial);
    ASSERT_EQ(session.ConnectionCount(), 1);
    EXPECT_STREQ(session.ConnectionNameAt(0), "Internet TCP/IP Connection");
    EXPECT_EQ(session.ConnectionNameAt(1), nullptr);
    for (std::uint32_t kind : {kNetKindIpx, kNetKindModem, kNetKindSerial})
        EXPECT_EQ(session.SelectConnection(kind), kNetErrNoConnection) << kind;
    EXPECT_EQ(session.SelectConnection(kNetKindTcp), kNetOk);
    EXPECT_EQ(session.Join(0), kNetErrBadSession);
}

TEST(NetSession, ClientFindsJoinsAndTalksWithTheHost)
{
    SessionPair pair;
    ASSERT_TRUE(pair.Open());
    EXPECT_STREQ(pair.client.SessionNameAt(0), "SESSION 1");
    EXPECT_EQ(pair.client.Join(pair.client.SessionCount()), kNetErrBadSession);

    // The host hears of the client's player through a system message,
    // handled inside Receive: the player is listed with its data.
    Pump(pair.host, 200);
    const NetPlayer* joined = pair.host.FindPlayer(pair.clientId);
    ASSERT_NE(joined, nullptr);
    EXPECT_STREQ(joined->Name, "RIDER");
    EXPECT_EQ(joined->Data, std::vector<std::uint8_t>{'c'});

    // Guaranteed both ways; the host's description shows two players.
    const std::vector<std::uint8_t> hello{1, 2, 3, 4, 5};
    ASSERT_TRUE(pair.client.Send(pair.clientId, 1, hello.data(), hello.size(), kNetSendGuaranteed));
    std::vector<std::uint8_t> got;
    ASSERT_TRUE(ReceiveFrom(pair.host, pair.clientId, got));
    EXPECT_EQ(got, hello);
    ASSERT_TRUE(pair.host.Send(1, 0, hello.data(), 4, kNetSendGuaranteed));
    ASSERT_TRUE(ReceiveFrom(pair.client, 1, got));
    EXPECT_EQ(got.size(), 4u);
    const NetSessionEntry* entry = pair.client.SessionAt(0);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->Desc.CurrentPlayers, 2u);
    EXPECT_EQ(entry->Desc.User[0], 2u);

    // A 600-byte message arrives whole; one under 4 bytes is dropped.
    std::vector<std::uint8_t> large(600, 7);
    ASSERT_TRUE(pair.client.Send(pair.clientId, 1, large.data(), large.size(), kNetSendGuaranteed));
    const std::uint8_t tiny[2] = {9, 9};
    ASSERT_TRUE(pair.client.Send(pair.clientId, 1, tiny, sizeof tiny, kNetSendGuaranteed));
    ASSERT_TRUE(ReceiveFrom(pair.host, pair.clientId, got));
    EXPECT_EQ(got, large);
    Pump(pair.host, 100);

    // The host's description change reaches the client.
    ASSERT_EQ(pair.host.Host("SESSION 1", 8, 1, 1, 0, 0, 0x1000), kNetOk);
    Pump(pair.client, 200);
    EXPECT_EQ(pair.client.SessionAt(0)->Desc.User[0], 1u);
}

TEST(NetSession, OversizedMessagesAreNotSent)
{
    SessionPair pair;
    ASSERT_TRUE(pair.Open());
    std::vector<std::uint8_t> huge(platform::kMaxNetMessage + 1, 1);
    EXPECT_FALSE(pair.client.Send(pair.clientId, 1, huge.data(), huge.size(), kNetSendGuaranteed));
    std::vector<std::uint8_t> mib(1 << 20, 1);
    EXPECT_FALSE(pair.host.Send(1, 0, mib.data(), mib.size(), 0));
    // Nor from a player that is not this machine's.
    EXPECT_FALSE(pair.client.Send(1, 1, huge.data(), 8, 0));
}

TEST(NetSession, LeavingAndLosingTheSessionAreHeard)
{
    SessionPair pair;
    ASSERT_TRUE(pair.Open());
    Pump(pair.host, 100);
    ASSERT_NE(pair.host.FindPlayer(pair.clientId), nullptr);
    pair.client.ReleaseInterfaces();
    Pump(pair.host, 300);
    EXPECT_EQ(pair.host.FindPlayer(pair.clientId), nullptr);
    EXPECT_FALSE(pair.host.PlayerPresent(pair.clientId));

    SessionPair second;
    ASSERT_TRUE(second.Open());
    second.host.ReleaseInterfaces();
    Pump(second.client, 300);
    EXPECT_FALSE(second.client.SessionOpen());
    EXPECT_FALSE(second.client.LinkOpen());
}

TEST(NetSession, AMachineThatDiesIsDroppedAfterItsSilence)
{
    SessionPair pair;
    ASSERT_TRUE(pair.Open("RIDER", 800));
    Pump(pair.host, 100);
    pair.client.Transport().Abandon();
    const auto start = std::chrono::steady_clock::now();
    while (pair.host.PlayerPresent(pair.clientId) && std::chrono::steady_clock::now() - start < std::chrono::seconds(10))
        Pump(pair.host, 50);
    EXPECT_FALSE(pair.host.PlayerPresent(pair.clientId));
    Pump(pair.host, 50);
    EXPECT_EQ(pair.host.FindPlayer(pair.clientId), nullptr);
}

TEST(NetSession, MessagesKeptForLaterComeFirst)
{
    SessionPair pair;
    ASSERT_TRUE(pair.Open());
    const std::uint8_t later[4] = {4, 4, 4, 4};
    ASSERT_TRUE(pair.client.Send(pair.clientId, 1, later, 4, kNetSendGuaranteed));
    std::vector<NetSession::Kept> kept;
    kept.push_back({7, {1, 1, 1, 1, 1}});
    kept.push_back({8, {2, 2, 2, 2, 2}});
    pair.host.KeepForLater(std::move(kept));
    std::vector<std::uint8_t> got;
    ASSERT_TRUE(ReceiveFrom(pair.host, 7, got));
    EXPECT_EQ(got[0], 1);
    ASSERT_TRUE(ReceiveFrom(pair.host, 8, got));
    ASSERT_TRUE(ReceiveFrom(pair.host, pair.clientId, got));
    EXPECT_EQ(got[0], 4);
}

// The broadcast goes to the loopback network's broadcast address, so that
// it reaches this machine's sessions alone.
TEST(NetSession, FindsSessionsByBroadcastWhereTheNetworkAllowsIt)
{
    NetSession host;
    host.Port = 0;
    ASSERT_EQ(host.Host("BROADCAST", 8, 0, 0, 0, 0, 0), kNetOk);
    std::vector<platform::FoundSession> found;
    std::string error;
    if (!platform::find_net_sessions("127.255.255.255", host.Transport().Port(), 300, found, error))
        GTEST_SKIP() << "no broadcast here: " << error;
    if (found.empty())
        GTEST_SKIP() << "the broadcast reached no session on this machine's network";
    EXPECT_STREQ(found[0].Desc.Name, "BROADCAST");
}

TEST(NetSession, SystemMessagesAreCheckedBeforeTheyAreRead)
{
    NetSession session;
    session.AddPlayer("A", 5, "abcd", 4);
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
    };
    const std::vector<Case> cases = {
        {"destroy without id", {5, 0, 0, 0}},
        {"create cut short", {3, 0, 0, 0, 9, 0, 0, 0}},
        {"create with a data size past the end", [] {
             std::vector<std::uint8_t> b(80, 0);
             b[0] = 3;
             b[4] = 9;
             b[76] = 0xFF; // 255 bytes of data announced, none there
             return b;
         }()},
        {"rename cut short", {0x03, 0x01, 0, 0, 5, 0, 0, 0}},
        {"description cut short", {0x04, 0x01, 0, 0, 1, 2, 3}},
    };
    for (const Case& c : cases) {
        session.OnSystemMessage(c.bytes.data(), c.bytes.size());
        EXPECT_EQ(session.PlayerCount(), 1) << c.name;
        EXPECT_STREQ(session.PlayerAt(0)->Name, "A") << c.name;
    }
}

} // namespace
