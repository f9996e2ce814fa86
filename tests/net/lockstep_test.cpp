#include <atomic>
#include <bit>
#include <chrono>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "input/input_manager.h"
#include "input/lockstep.h"
#include "input/race_link.h"
#include "net/net_session.h"
#include "platform/clock.h"
#include "tests/net/net_pair.h"

// Two peers of a network race, each on its own thread with its own input,
// exchange their players' controls frame by frame over loopback sessions.
namespace {

using net_test::SessionPair;

// What the input needs of a race: a running network race that never fades
// (unless `fades`: then a race command fades it out, as the real race
// does, and no frame is exchanged after it); it records the race commands
// and the pause notice, with the frame number they came on.
class FakeRace : public InputRaceLink {
public:
    explicit FakeRace(InputManager& input) : m_input(input) {}
    bool NetworkRace() const override { return true; }
    std::uint32_t RaceFlags() const override { return kRaceFlagRacing; }
    void ChangeRaceFlags(std::uint32_t set, std::uint32_t) override
    {
        if (set & kRaceFlagRunAgain)
            restartFrames.push_back(m_input.m_nFrameNumber);
        if (set & kRaceFlagEnding)
            endingFrames.push_back(m_input.m_nFrameNumber);
    }
    void Finish() override {}
    void SetStartLight(int) override {}
    void SetStartLightMaterial(float) override {}
    void PlayStartSample(int) override {}
    void SetFadeTarget(float target) override { fading = fades && target > 0.0f; }
    void SetFadeLevel(float) override {}
    void SetShade(float) override {}
    bool IsFading() const override { return fading; }
    void ParkPlayerBike() override {}
    void ShowHostPaused(bool shown) override { pauseNotices.push_back({shown, m_input.m_nFrameNumber}); }
    void MuteSound() override {}
    void UnmuteSound() override {}

    std::vector<std::int32_t> restartFrames;
    std::vector<std::int32_t> endingFrames;
    std::vector<std::pair<bool, std::int32_t>> pauseNotices;
    bool fades = false;
    bool fading = false;

private:
    InputManager& m_input;
};

// One simulated frame as a peer took it.
struct Taken {
    std::int32_t frame;
    std::uint32_t stepBits;
    std::uint64_t controls;
    bool operator==(const Taken&) const = default;
};

std::uint64_t Pack(const ControlRecord& a, const ControlRecord& b)
{
    std::uint64_t v = 0;
    std::memcpy(&v, &a, 4);
    std::uint64_t w = 0;
    std::memcpy(&w, &b, 4);
    return v ^ (w << 32) ^ (static_cast<std::uint64_t>(a.Posture) << 28) ^ (static_cast<std::uint64_t>(b.Posture) << 60);
}

// A player's scripted controls on a frame.
ControlRecord Script(std::int32_t frame, std::uint32_t player)
{
    ControlRecord c;
    c.Throttle = static_cast<std::uint8_t>((frame * 7 + player * 13) % 128);
    c.Brake = static_cast<std::uint8_t>((frame * 3) % 50);
    c.SteerInput = static_cast<std::int8_t>((frame * 5 + static_cast<std::int32_t>(player)) % 255 - 127);
    c.Posture = static_cast<std::uint8_t>(frame % 32);
    return c;
}

// The host's frame time on a frame: 1/60 s as whole milliseconds.
float HostStep(std::int32_t frame)
{
    return frame % 3 == 2 ? 0.016f : 0.017f;
}

struct Peer {
    InputManager input;
    FakeRace race{input};
    ControlRecord bikes[2];
    std::vector<Taken> log;
    bool host = false;
    std::uint32_t ownId = 0;

    void Begin(NetSession& session, bool isHost, std::uint32_t clientId)
    {
        host = isHost;
        ownId = isHost ? 1 : clientId;
        constexpr std::uint32_t local = InputManager::kTargetLocal | InputManager::kTargetNoBlock;
        constexpr std::uint32_t remote = InputManager::kTargetNoBlock;
        input.AddTarget(&bikes[0], host ? local : remote, 1);
        input.AddTarget(&bikes[1], host ? remote : local, clientId);
        input.SetRaceLink(&race);
        input.SetNetLink(&session);
        input.BeginRace(kInputModeRecord | (host ? kInputModeHost : 0));
        input.Lockstep().ResendMs = 20;
    }

    void Record()
    {
        log.push_back(Taken{input.m_nFrameNumber - 1, std::bit_cast<std::uint32_t>(input.m_fFrameTime),
                            Pack(bikes[0], bikes[1])});
    }

    // One drawn frame: this peer's scripted controls go out, the frames
    // that are there are taken, as the race's update takes them.
    void Frame()
    {
        bikes[host ? 0 : 1] = Script(input.m_nFrameNumber, ownId);
        if (host)
            input.m_fFrameTime = HostStep(input.m_nFrameNumber);
        else
            input.m_fFrameTime = 0.02f;
        input.ExchangeFrames();
        input.m_dwMode &= ~kInputModeWaiting;
        if (input.NextFrame(true)) {
            Record();
            while (input.NextFrame(false))
                Record();
        }
    }
};

// Drops one unguaranteed send in ten and sends one in twenty twice, the
// same way every run.
platform::NetSendFilter LossyNetwork()
{
    return [](std::uint64_t index) {
        const std::uint64_t h = (index * 0x9E3779B97F4A7C15ull) >> 40;
        if (h % 10 == 0)
            return 0;
        return h % 20 == 1 ? 2 : 1;
    };
}

struct Race {
    SessionPair pair;
    Peer host, client;
    std::atomic<bool> clientDone{false};

    bool Open(std::uint32_t silenceMs = 0)
    {
        if (!pair.Open("RIDER", silenceMs))
            return false;
        net_test::Pump(pair.host, 100);
        host.Begin(pair.host, true, pair.clientId);
        client.Begin(pair.client, false, pair.clientId);
        if (silenceMs) {
            host.input.Lockstep().SilenceMs = silenceMs;
            client.input.Lockstep().SilenceMs = silenceMs;
        }
        return true;
    }

    // Both peers run until they have simulated `frames` frames; `hostFrame`
    // and `clientFrame` run before each of their drawn frames.
    template <class HostHook, class ClientHook>
    void Run(std::int32_t frames, HostHook hostFrame, ClientHook clientFrame)
    {
        std::thread other([&] {
            while (client.input.m_nFrameNumber < frames && clientFrame(client))
                client.Frame();
            clientDone = true;
        });
        while (host.input.m_nFrameNumber < frames) {
            hostFrame(host);
            host.Frame();
        }
        // The last frame may have been lost on its way: the host sends it
        // again until the client has it.
        while (!clientDone) {
            host.input.SendFrameMessage(true);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        other.join();
    }
};

void ExpectScriptedFrames(const std::vector<Taken>& log, std::int32_t frames)
{
    ASSERT_EQ(static_cast<std::int32_t>(log.size()), frames);
    for (std::int32_t k = 0; k < frames; ++k) {
        EXPECT_EQ(log[static_cast<std::size_t>(k)].frame, k);
        EXPECT_EQ(log[static_cast<std::size_t>(k)].controls, Pack(Script(k, 1), Script(k, 2))) << "frame " << k;
    }
}

TEST(Lockstep, BothPeersSimulateTheSameFramesWithEachOthersControls)
{
    Race race;
    ASSERT_TRUE(race.Open());
    constexpr std::int32_t kFrames = 600;
    race.Run(kFrames, [](Peer&) {}, [](Peer&) { return true; });
    EXPECT_EQ(race.host.log, race.client.log);
    ExpectScriptedFrames(race.client.log, kFrames);
    for (std::int32_t k = 0; k < kFrames; ++k)
        EXPECT_EQ(race.client.log[static_cast<std::size_t>(k)].stepBits, std::bit_cast<std::uint32_t>(HostStep(k)));
}

TEST(Lockstep, LostAndDuplicatedFramesChangeNothing)
{
    Race race;
    ASSERT_TRUE(race.Open());
    race.pair.host.Transport().SetSendFilter(LossyNetwork());
    race.pair.client.Transport().SetSendFilter(LossyNetwork());
    constexpr std::int32_t kFrames = 600;
    race.Run(kFrames, [](Peer&) {}, [](Peer&) { return true; });
    EXPECT_EQ(race.host.log, race.client.log);
    ExpectScriptedFrames(race.host.log, kFrames);
}

TEST(Lockstep, TheHostsPauseFreezesTheClientAndARestartComesOnTheSameFrame)
{
    Race race;
    ASSERT_TRUE(race.Open());
    race.Run(
        300,
        [](Peer& host) {
            const std::int32_t k = host.input.m_nFrameNumber;
            host.input.m_bPaused = (k >= 100 && k < 120) ? 1 : 0;
            if (k == 200)
                host.input.QueueRaceCommand(kRaceCommandRestart);
        },
        [](Peer&) { return true; });
    EXPECT_EQ(race.host.log, race.client.log);
    for (std::int32_t k = 100; k < 120; ++k)
        EXPECT_EQ(race.client.log[static_cast<std::size_t>(k)].stepBits, 0u) << k;
    EXPECT_NE(race.client.log[120].stepBits, 0u);
    ASSERT_EQ(race.client.race.pauseNotices.size(), 2u);
    EXPECT_EQ(race.client.race.pauseNotices[0], std::make_pair(true, 101));
    EXPECT_EQ(race.client.race.pauseNotices[1], std::make_pair(false, 121));
    EXPECT_TRUE(race.host.race.pauseNotices.empty());
    EXPECT_EQ(race.host.race.restartFrames, std::vector<std::int32_t>{201});
    EXPECT_EQ(race.client.race.restartFrames, race.host.race.restartFrames);
}

// The frame that ends the race is the last one exchanged: the host fades
// out after it and answers no resend. Its loss (every unguaranteed send of
// the host is lost from then on) must not leave the client a frame short,
// ending on its own when its host falls silent.
TEST(Lockstep, TheFrameThatEndsTheRaceReachesTheClientWhenItsUnguaranteedSendIsLost)
{
    Race race;
    ASSERT_TRUE(race.Open());
    race.client.input.Lockstep().SilenceMs = 1500;
    race.host.race.fades = race.client.race.fades = true;
    std::atomic<bool> lossy{false};
    race.pair.host.Transport().SetSendFilter([&lossy](std::uint64_t) { return lossy ? 0 : 1; });
    std::thread other([&race] {
        while (!race.client.race.fading && !race.client.input.Lockstep().Lost)
            race.client.Frame();
    });
    while (!race.host.race.fading) {
        if (race.host.input.m_nFrameNumber == 100) {
            race.host.input.QueueRaceCommand(kRaceCommandEnd);
            lossy = true;
        }
        race.host.Frame();
    }
    other.join();
    EXPECT_FALSE(race.client.input.Lockstep().Lost);
    EXPECT_EQ(race.host.race.endingFrames, std::vector<std::int32_t>{101});
    EXPECT_EQ(race.client.race.endingFrames, race.host.race.endingFrames);
    EXPECT_EQ(race.client.log, race.host.log);
}

// A client that quits, or dies, leaves the race for the host, which goes on
// alone; its bike is marked as left on every later frame.
TEST(Lockstep, TheHostGoesOnWithoutAClientThatQuitsOrDies)
{
    for (const bool dies : {false, true}) {
        Race race;
        ASSERT_TRUE(race.Open(dies ? 800 : 0));
        race.Run(
            200, [](Peer&) {},
            [&race, dies](Peer& client) {
                if (client.input.m_nFrameNumber < 50)
                    return true;
                if (dies)
                    race.pair.client.Transport().Abandon();
                else
                    race.pair.client.ReleaseInterfaces();
                return false;
            });
        ASSERT_EQ(race.host.log.size(), 200u) << (dies ? "dies" : "quits");
        EXPECT_TRUE(race.host.bikes[1].PlayerLeft());
        for (std::size_t k = 0; k < 50; ++k)
            EXPECT_EQ(race.host.log[k], race.client.log[k]);
    }
}

// A client whose host is gone leaves the race instead of waiting for ever.
TEST(Lockstep, AClientLeavesTheRaceWhenItsHostIsGone)
{
    Race race;
    ASSERT_TRUE(race.Open(800));
    race.pair.host.Transport().Abandon();
    const auto start = std::chrono::steady_clock::now();
    race.client.Frame();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_TRUE(race.client.input.Lockstep().Lost);
    // The leave command was sent and applied by the client itself.
    EXPECT_EQ(race.client.input.m_nRaceCommand, kRaceCommandNone);
}

TEST(Lockstep, AFullQueueDropsTheNewestFrameButTakesTheAwaitedOne)
{
    Race race;
    ASSERT_TRUE(race.Open());
    const auto send = [&race](std::uint32_t frame) {
        FrameMessage m;
        m.Frame = frame;
        m.Step = 0.01f;
        m.Entries = {FrameEntry{1, Script(static_cast<std::int32_t>(frame), 1)},
                     FrameEntry{race.pair.clientId, Script(static_cast<std::int32_t>(frame), 2)}};
        const std::vector<std::uint8_t> bytes = BuildFrameMessage(m);
        race.pair.host.Send(1, 0, bytes.data(), bytes.size(), kNetSendGuaranteed);
    };
    for (std::uint32_t f = 1; f <= 105; ++f)
        send(f);
    send(0);
    race.client.Frame();
    EXPECT_EQ(race.client.input.Lockstep().DroppedAtFullQueue, 6u);
    // Frame 0, then every queued frame up to 99 (100 made room for 0).
    ASSERT_EQ(race.client.log.size(), 100u);
    EXPECT_EQ(race.client.log.back().frame, 99);
}

// A link whose session has closed with messages still waiting in it.
class ClosedLink : public InputNetLink {
public:
    bool SendFrame(std::uint32_t, std::uint32_t, const void*, std::size_t, bool) override { return false; }
    std::uint32_t ReceiveFrame(const std::uint8_t*& data, std::size_t& size) override
    {
        if (waiting.empty())
            return 0;
        taken = std::move(waiting.front());
        waiting.erase(waiting.begin());
        data = taken.data();
        size = taken.size();
        return 1;
    }
    bool WaitForFrame(std::uint32_t) override { return !waiting.empty(); }
    bool PlayerPresent(std::uint32_t) const override { return false; }
    bool LinkOpen() const override { return false; }
    std::vector<std::vector<std::uint8_t>> waiting;
    std::vector<std::uint8_t> taken;
};

// The host sends the frame that ends the race and closes its session; a
// client that looks only afterwards (a slower machine) finds the session
// closed with that frame waiting: it takes the frame and ends the race with
// the host, instead of leaving it a frame early.
TEST(Lockstep, AClientTakesTheLastFrameThatArrivedBeforeItsSessionClosed)
{
    InputManager input;
    FakeRace race{input};
    ControlRecord bikes[2];
    ClosedLink link;
    input.AddTarget(&bikes[0], InputManager::kTargetNoBlock, 1);
    input.AddTarget(&bikes[1], InputManager::kTargetLocal | InputManager::kTargetNoBlock, 2);
    input.SetRaceLink(&race);
    input.SetNetLink(&link);
    input.BeginRace(kInputModeRecord);
    FrameMessage last;
    last.Command = kRaceCommandEnd;
    last.Frame = 0;
    last.Step = 0.017f;
    last.Entries = {FrameEntry{1, Script(0, 1)}, FrameEntry{2, Script(0, 2)}};
    link.waiting.push_back(BuildFrameMessage(last));

    input.ExchangeFrames();
    EXPECT_FALSE(input.Lockstep().Lost);
    input.m_dwMode &= ~kInputModeWaiting;
    ASSERT_TRUE(input.NextFrame(true));
    EXPECT_EQ(race.endingFrames, std::vector<std::int32_t>{1});
    EXPECT_EQ(bikes[0].Throttle, Script(0, 1).Throttle);

    // With nothing left waiting, the closed session is given up at once.
    input.ExchangeFrames();
    EXPECT_TRUE(input.Lockstep().Lost);
}

TEST(Lockstep, FrameMessagesAreCheckedBeforeTheyAreRead)
{
    FrameMessage good;
    good.Command = 3;
    good.Frame = 9;
    good.Step = 0.25f;
    good.Entries = {FrameEntry{1, Script(1, 1)}, FrameEntry{2, Script(1, 2)}};
    const std::vector<std::uint8_t> bytes = BuildFrameMessage(good);
    FrameMessage read;
    ASSERT_TRUE(ReadFrameMessage(bytes, read));
    EXPECT_EQ(read.Frame, 9u);
    ASSERT_EQ(read.Entries.size(), 2u);
    EXPECT_EQ(read.Entries[1].Controls.Throttle, Script(1, 2).Throttle);

    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
    };
    const auto with = [&bytes](std::size_t offset, std::uint32_t value) {
        std::vector<std::uint8_t> b = bytes;
        std::memcpy(b.data() + offset, &value, 4);
        return b;
    };
    const std::vector<Case> cases = {
        {"the start barrier's 4 bytes", {1, 0, 0, 0}},
        {"a header alone", std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 12)},
        {"a part of an entry", std::vector<std::uint8_t>(bytes.begin(), bytes.end() - 1)},
        {"33 entries", std::vector<std::uint8_t>(12 + 33 * 12, 0)},
        {"race command 6", with(0, 6)},
        {"race command -1", with(0, 0xFFFFFFFFu)},
        {"a negative step", with(8, std::bit_cast<std::uint32_t>(-0.01f))},
        {"a step over a second", with(8, std::bit_cast<std::uint32_t>(1.5f))},
        {"a step that is not a number", with(8, 0x7FC00000u)},
        {"an infinite step", with(8, 0x7F800000u)},
        {"1 MiB", std::vector<std::uint8_t>(1 << 20, 0)},
    };
    for (const Case& c : cases) {
        FrameMessage out = good;
        EXPECT_FALSE(ReadFrameMessage(c.bytes, out)) << c.name;
        EXPECT_EQ(out.Frame, 9u) << c.name;
    }
}

} // namespace
