// Two headless players meet over loopback through the game's own menus: the
// host makes a session, the client finds it by address and joins, they chat,
// choose riders (the host's is refused to the client), the host chooses the
// circuit and starts; both race the same race in lockstep and come back to
// the lobby; the client leaves and the host hears of it; the client joins
// again and is killed, and the host, still in its lobby, says so within 15 s.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "tests/support/demo_data.h"
#include "tests/support/temp_dir.h"
#include "tests/tools/play_run.h"
#include "tools/datakit/demo_circuits.h"

namespace {

std::vector<std::string> Lines(const std::filesystem::path& path)
{
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::string Joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

using torvane_test::Find;

// Main menu -> "Network game" -> TCP/IP; the address dialogue follows.
const char* const kToSessions = "wait:6 Down wait:0.3 Down wait:0.3 Down wait:0.3 Enter wait:1 Enter wait:1";

// The lines of the first race from its start to its end.
std::vector<std::string> FirstRace(const std::vector<std::string>& lines)
{
    const int start = Find(lines, "race track=.*");
    const int end = Find(lines, "race end", start);
    if (start < 0 || end < 0)
        return {};
    return {lines.begin() + start, lines.begin() + end + 1};
}

// A UDP port nobody uses at the moment (the system's choice).
int FreeUdpPort()
{
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0)
        return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    close(fd);
    return port;
}

class PlayNetTest : public ::testing::Test {
protected:
    void SetUp() override
    {
#ifndef TORVANE_PLAY_PATH
        GTEST_SKIP() << "the headless player is not built";
#endif
        dir_ = torvane_test::make_temp_dir("play-net");
        std::string error;
        ASSERT_TRUE(torvane_test::install_demo_data(dir_ / "data", error)) << error;
        const int port = FreeUdpPort();
        ASSERT_GT(port, 0);
        // Each player has his own settings; both meet on the port found. The
        // host's race has two riders: the two players.
        for (const char* who : {"host", "client"}) {
            torvane_test::ScopedHome home(who);
            (who[0] == 'h' ? hostHome_ : clientHome_) = home.path();
            platform::RegistryKey key("Software\\Corvantis\\TVNDemo");
            ASSERT_TRUE(key.set_dword("NetPort", static_cast<std::uint32_t>(port))) << key.last_error();
            ASSERT_TRUE(key.set_dword("NumArcadeRiders", 2)) << key.last_error();
            ASSERT_TRUE(key.set_dword("NumSimulationRiders", 2)) << key.last_error();
        }
    }

#ifdef TORVANE_PLAY_PATH
    // The player on the copied data, its steps still to come.
    std::string PlayCommand() const
    {
        return std::string("'") + TORVANE_PLAY_PATH + "' --data '" + (dir_ / "data").string() + "' --time-limit 900";
    }
#endif

    std::filesystem::path dir_, hostHome_, clientHome_;
};

} // namespace

TEST_F(PlayNetTest, TwoPlayersMeetRaceInLockstepComeBackAndLeave)
{
#ifdef TORVANE_PLAY_PATH
    const std::string play = PlayCommand();
    // Host: any address; H hosts, the name as offered; once the client has
    // joined (so that he hears of the game chosen after), the arcade race, the
    // first rider of the first team, the second circuit; the chat line; the
    // start (a click on "Race"); the race ended from the pause menu once
    // under way; the lobby again; Esc leaves at the end.
    const std::string host =
        std::string(kToSessions) + " Enter wait:1 H wait:1 Enter wait:2 signal:sig/hosted await:sig/client-joined wait:1 Enter wait:1 "
                     "Enter wait:1 "
                     "Down wait:0.3 Enter wait:1 signal:sig/host-lobby await:sig/client-lobby wait:1 H I wait:0.2 Enter wait:1 "
                     "signal:sig/host-chat await:sig/client-chat wait:2 click:540,454 wait:60 Esc wait:1 Left "
                     "wait:0.5 Enter wait:0.5 Enter wait:3 signal:sig/host-back await:sig/client-left wait:2 "
                     "signal:sig/host-saw-leave await:sig/done Esc wait:1 Esc wait:1 Esc wait:1 Esc";
    // Client: the host's address typed; J joins the session found; the
    // host's rider is refused, the next one taken; the chat line; the race;
    // Esc leaves the lobby; the address again, J joins again, a rider.
    const std::string client =
        std::string(kToSessions) + " 1 2 7 . 0 . 0 . 1 Enter wait:1 await:sig/hosted wait:1 J wait:1 signal:sig/client-joined "
                     "await:sig/host-lobby "
                     "wait:0.5 Enter wait:1 Right wait:0.5 Enter wait:1 signal:sig/client-lobby await:sig/host-chat "
                     "wait:1 Y O wait:0.2 Enter wait:1 signal:sig/client-chat await:sig/host-back wait:2 Esc wait:2 "
                     "signal:sig/client-left await:sig/host-saw-leave wait:1 Enter wait:1 J wait:1 Right wait:0.5 "
                     "Enter wait:1 signal:sig/client-again wait:600";
    // The client is killed once it is in the lobby again; the host's
    // notice is waited for (at most 15 s), and how long it took is kept.
    std::ofstream script(dir_ / "pair.sh");
    script << "cd '" << dir_.string() << "'\nmkdir -p sig\n"
           << play << " --home '" << hostHome_.string() << "' "
           << host << " >host.out 2>host.err &\nhost=$!\n"
           << play << " --home '" << clientHome_.string() << "' " << client << " >client.out 2>client.err &\n"
           << "client=$!\n"
           << "for i in $(seq 1 1200); do [ -e sig/client-again ] && break; sleep 0.1; done\n"
           << "sleep 1\nlefts=$(grep -c 'has left the session' host.out)\n"
           << "kill -9 $client\nstart=$(date +%s%N)\n"
           << "for i in $(seq 1 150); do [ $(grep -c 'has left the session' host.out) -gt $lefts ] && break; "
              "sleep 0.1; done\n"
           << "echo $(( ($(date +%s%N) - start) / 1000000 )) >notice.ms\n"
           << "touch sig/done\nwait $host\necho $? >host.rc\n";
    script.close();
    const int raw = std::system(("bash '" + (dir_ / "pair.sh").string() + "'").c_str());
    ASSERT_TRUE(WIFEXITED(raw));
#endif
    const std::vector<std::string> hostLog = Lines(dir_ / "host.out");
    const std::vector<std::string> clientLog = Lines(dir_ / "client.out");
    const std::string both = "host:\n" + Joined(hostLog) + "client:\n" + Joined(clientLog);

    // They met and chatted: each sees both lines once.
    const int joined = Find(hostLog, "chat PLAYER has joined the session\\.");
    ASSERT_GE(joined, 0) << both;
    for (const auto* log : {&hostLog, &clientLog}) {
        EXPECT_GE(Find(*log, "chat HOST: HI"), 0) << both;
        EXPECT_GE(Find(*log, "chat PLAYER: YO"), 0) << both;
        EXPECT_EQ(std::count(log->begin(), log->end(), "chat HOST: HI"), 1) << both;
    }
    // The host's rider was refused; the client's lobby came after his own.
    const int refused = Find(clientLog, "chat .* rides for another player\\.");
    ASSERT_GE(refused, 0) << both;
    EXPECT_GT(Find(clientLog, "screen set=menu state=328 name=Multi03", refused), refused) << both;

    // The same race on the circuit the host chose, to the last line.
    const std::vector<std::string> hostRace = FirstRace(hostLog);
    const std::vector<std::string> clientRace = FirstRace(clientLog);
    ASSERT_FALSE(hostRace.empty()) << both;
    EXPECT_EQ(hostRace.front(), std::string("race track=") + datakit::kDemoCircuitNames[1] +
                                    " session=6 riders=2 laps=3")
        << both;
    EXPECT_EQ(hostRace, clientRace) << both;
    EXPECT_EQ(Find(hostRace, "hash=[0-9a-f]{16}"), static_cast<int>(hostRace.size()) - 2) << both;

    // Both came back to the lobby.
    const int hostEnd = Find(hostLog, "race end");
    const int clientEnd = Find(clientLog, "race end");
    EXPECT_EQ(Find(hostLog, "screen .*", hostEnd), Find(hostLog, "screen set=menu state=201 name=Multi03", hostEnd))
        << both;
    EXPECT_EQ(Find(clientLog, "screen .*", clientEnd),
              Find(clientLog, "screen set=menu state=201 name=Multi03", clientEnd))
        << both;

    // The client left: the host heard of it. Joined again and killed, the
    // host, still in its lobby, said so within 15 s.
    const int left = Find(hostLog, "chat PLAYER has left the session\\.", hostEnd);
    ASSERT_GT(left, hostEnd) << both;
    const int again = Find(hostLog, "chat PLAYER has joined the session\\.", left);
    ASSERT_GT(again, left) << both;
    const int killed = Find(hostLog, "chat PLAYER has left the session\\.", again);
    ASSERT_GT(killed, again) << both;
    const int hostBack = Find(hostLog, "screen set=menu state=201 name=Multi03", hostEnd);
    EXPECT_GT(Find(hostLog, "screen .*", hostBack + 1), killed) << "the host stays in its lobby: " << both;
    std::ifstream noticeFile(dir_ / "notice.ms");
    int noticeMs = -1;
    noticeFile >> noticeMs;
    EXPECT_GE(noticeMs, 0);
    EXPECT_LT(noticeMs, 15000) << both;
    // Esc leaves the lobby, the connection and the game.
    std::ifstream rc(dir_ / "host.rc");
    int status = -1;
    rc >> status;
    EXPECT_EQ(status, 0) << both;
    EXPECT_EQ(Find(hostLog, "error .*"), -1) << both;
    EXPECT_EQ(Find(clientLog, "error .*"), -1) << both;
}

// A network race weekend: the host chooses a weekend, a rider and the
// second circuit, then Race 1 on the weekend's sessions; the client, refused
// the host's rider, takes another, goes from his lobby to the host's circuit
// and on to the race (the session word says Race 1). Both show the race's
// menu, the host starts from the lobby, both race the same race in lockstep
// and come back to the lobby.
TEST_F(PlayNetTest, TwoPlayersRaceANetworkWeekend)
{
#ifdef TORVANE_PLAY_PATH
    const std::string play = PlayCommand();
    // Host: W (weekend or championship), the weekend, the first rider of the
    // first team, the second circuit; in the lobby "Weekend" (a click), Race
    // 1 (a click), "go" back to the lobby; once the client is at the race,
    // "Race"; the race ended from the pause menu; out.
    const std::string host =
        std::string(kToSessions) + " Enter wait:1 H wait:1 Enter wait:2 signal:sig/hosted await:sig/client-joined wait:1 W wait:1 "
                     "Enter wait:1 Enter wait:1 Down wait:0.3 Enter wait:1 signal:sig/host-lobby "
                     "await:sig/client-lobby wait:1 click:540,58 wait:1 click:160,319 wait:1 Enter wait:1 "
                     "signal:sig/host-race1 await:sig/client-race1 wait:2 click:540,454 wait:60 Esc wait:1 Left "
                     "wait:0.5 Enter wait:0.5 Enter wait:3 signal:sig/host-back await:sig/client-left wait:2 "
                     "Esc wait:1 Esc wait:1 Esc wait:1 Esc";
    // Client: joins, is refused the host's rider and takes the next; from
    // the lobby "Next race" (a click) to the host's circuit, R to the race;
    // the race; back in the lobby, Esc leaves, and out.
    const std::string client =
        std::string(kToSessions) + " 1 2 7 . 0 . 0 . 1 Enter wait:1 await:sig/hosted wait:1 J wait:1 signal:sig/client-joined "
                     "await:sig/host-lobby wait:0.5 Enter wait:1 Right wait:0.5 Enter wait:1 signal:sig/client-lobby "
                     "await:sig/host-race1 wait:1 click:540,58 wait:1 R wait:1 signal:sig/client-race1 "
                     "await:sig/host-back wait:2 Esc wait:2 signal:sig/client-left Esc wait:1 Esc wait:1 Esc";
    std::ofstream script(dir_ / "pair.sh");
    script << "cd '" << dir_.string() << "'\nmkdir -p sig\n"
           << play << " --home '" << hostHome_.string() << "' " << host << " >host.out 2>host.err &\n"
           << "host=$!\n"
           << play << " --home '" << clientHome_.string() << "' " << client
           << " >client.out 2>client.err &\nclient=$!\n"
           << "wait $host\necho $? >host.rc\nwait $client\necho $? >client.rc\n";
    script.close();
    const int raw = std::system(("bash '" + (dir_ / "pair.sh").string() + "'").c_str());
    ASSERT_TRUE(WIFEXITED(raw));
#endif
    const std::vector<std::string> hostLog = Lines(dir_ / "host.out");
    const std::vector<std::string> clientLog = Lines(dir_ / "client.out");
    const std::string both = "host:\n" + Joined(hostLog) + "client:\n" + Joined(clientLog);

    // The host chose a weekend, its sessions and Race 1; the client went
    // from the host's circuit to the same race's menu.
    const int mode = Find(hostLog, "screen set=menu state=320 name=sim01");
    ASSERT_GE(mode, 0) << both;
    EXPECT_GT(Find(hostLog, "screen set=menu state=332 name=Sim5k", mode), mode) << both;
    const int sessions = Find(hostLog, "screen set=menu state=329 name=Sim10", mode);
    ASSERT_GT(sessions, mode) << both;
    EXPECT_GT(Find(hostLog, "screen set=menu state=369 name=Game03c", sessions), sessions) << both;
    const int circuit = Find(clientLog, "screen set=menu state=349 name=sim09d");
    ASSERT_GE(circuit, 0) << both;
    EXPECT_GT(Find(clientLog, "screen set=menu state=369 name=Game03c", circuit), circuit) << both;

    // The same Race 1 (the race header's session 4) on the circuit the host
    // chose, to the last line.
    const std::vector<std::string> hostRace = FirstRace(hostLog);
    const std::vector<std::string> clientRace = FirstRace(clientLog);
    ASSERT_FALSE(hostRace.empty()) << both;
    EXPECT_EQ(hostRace.front().rfind(std::string("race track=") + datakit::kDemoCircuitNames[1] +
                                         " session=4 riders=2 ",
                                     0),
              0u)
        << both;
    EXPECT_EQ(hostRace, clientRace) << both;
    EXPECT_EQ(Find(hostRace, "hash=[0-9a-f]{16}"), static_cast<int>(hostRace.size()) - 2) << both;

    // Both came back to the lobby, and both ended by themselves.
    for (const auto* log : {&hostLog, &clientLog}) {
        const int end = Find(*log, "race end");
        EXPECT_EQ(Find(*log, "screen .*", end), Find(*log, "screen set=menu state=201 name=Multi03", end)) << both;
        EXPECT_EQ(Find(*log, "error .*"), -1) << both;
    }
    for (const char* rcFile : {"host.rc", "client.rc"}) {
        std::ifstream rc(dir_ / rcFile);
        int status = -1;
        rc >> status;
        EXPECT_EQ(status, 0) << rcFile << "\n" << both;
    }
}
