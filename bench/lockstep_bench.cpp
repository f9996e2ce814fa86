// The latency the lockstep exchange adds to a frame of a network race on
// loopback: a host and a client, each with its own input and session, on
// two threads, exchange their players' controls frame by frame as fast as
// they can. One iteration is one frame of the host: its wait for the
// client's controls and the sending of the frame, so the time of an
// iteration is what the exchange adds to each frame; at 60 frames per second
// the target is no more than one frame (16.7 ms).
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

#include "input/input_manager.h"
#include "input/race_link.h"
#include "net/net_session.h"

namespace {

class RunningNetworkRace : public InputRaceLink {
public:
    bool NetworkRace() const override { return true; }
    std::uint32_t RaceFlags() const override { return kRaceFlagRacing; }
    void ChangeRaceFlags(std::uint32_t, std::uint32_t) override {}
    void Finish() override {}
    void SetStartLight(int) override {}
    void SetStartLightMaterial(float) override {}
    void PlayStartSample(int) override {}
    void SetFadeTarget(float) override {}
    void SetFadeLevel(float) override {}
    void SetShade(float) override {}
    bool IsFading() const override { return false; }
    void ParkPlayerBike() override {}
    void MuteSound() override {}
    void UnmuteSound() override {}
};

struct Peer {
    InputManager input;
    RunningNetworkRace race;
    ControlRecord bikes[2];

    void Begin(NetSession& session, bool host, std::uint32_t clientId)
    {
        constexpr std::uint32_t local = InputManager::kTargetLocal | InputManager::kTargetNoBlock;
        input.AddTarget(&bikes[0], host ? local : InputManager::kTargetNoBlock, 1);
        input.AddTarget(&bikes[1], host ? InputManager::kTargetNoBlock : local, clientId);
        input.SetRaceLink(&race);
        input.SetNetLink(&session);
        input.BeginRace(kInputModeRecord | (host ? kInputModeHost : 0));
    }

    void Frame()
    {
        input.m_fFrameTime = 1.0f / 60.0f;
        input.ExchangeFrames();
        input.m_dwMode &= ~kInputModeWaiting;
        if (input.NextFrame(true))
            while (input.NextFrame(false)) {
            }
    }
};

void BM_LockstepFrame(benchmark::State& state)
{
    NetSession host;
    NetSession client;
    host.Port = 0;
    host.SelectConnection(kNetKindTcp);
    if (host.Host("BENCH", 2, 0, 0, 0, 0, 0) != kNetOk) {
        state.SkipWithError("no session");
        return;
    }
    host.CreatePlayer("HOST", nullptr, 0, kNetPlayerServer);
    const std::string address = "127.0.0.1:" + std::to_string(host.Transport().Port());
    std::strncpy(client.TcpAddress, address.c_str(), sizeof client.TcpAddress - 1);
    client.FindWaitMs = 2000;
    client.SelectConnection(kNetKindTcp);
    if (client.EnumSessions(false) != kNetOk || client.Join(0) != kNetOk) {
        state.SkipWithError("the client could not join");
        return;
    }
    const std::uint32_t clientId = client.CreatePlayer("RIDER", nullptr, 0, 0);
    while (!host.FindPlayer(clientId)) {
        const std::uint8_t* data = nullptr;
        std::size_t size = 0;
        if (host.Receive(data, size) == 0)
            host.WaitForMessage(5);
    }

    Peer hostPeer, clientPeer;
    hostPeer.Begin(host, true, clientId);
    clientPeer.Begin(client, false, clientId);
    // The client stops soon after the host's last frame.
    clientPeer.input.Lockstep().SilenceMs = 300;
    std::atomic<bool> stop{false};
    std::thread other([&] {
        while (!stop && !clientPeer.input.Lockstep().Lost)
            clientPeer.Frame();
    });
    for (auto _ : state)
        hostPeer.Frame();
    stop = true;
    other.join();
}
BENCHMARK(BM_LockstepFrame)->Unit(benchmark::kMicrosecond)->UseRealTime()->MinTime(2.0);

} // namespace
