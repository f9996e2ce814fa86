#include <cstring>
#include <vector>

#include "app/game_app.h"
#include "net/net_sync.h"
#include "net/net_session.h"
#include "platform/byte_reader.h"
#include "platform/byte_writer.h"
#include "platform/clock.h"

// The start-of-race barrier: before a network race runs its first frame,
// and again when its start is given, every machine waits until all players
// are ready. Clients report the barrier's counter to the host; the host,
// once every other player has reported, releases them all.

namespace {

constexpr std::uint32_t kServerPlayer = 1;
constexpr std::uint32_t kAllPlayers = 0;
constexpr std::size_t kBarrierBytes = 4;
// A client reports again this often while the host does not answer.
constexpr std::uint32_t kReportAgainMs = 3000;
constexpr std::uint32_t kWaitSliceMs = 2;

std::vector<std::uint8_t> CounterBytes(std::uint32_t counter)
{
    std::vector<std::uint8_t> bytes;
    platform::ByteWriter out(bytes);
    out.u32(counter);
    return bytes;
}

bool HoldsCounter(const std::uint8_t* data, std::size_t size, std::uint32_t counter)
{
    return size == kBarrierBytes && platform::ByteReader(data, size).u32() == counter;
}

} // namespace

std::uint32_t g_nBarrierTimeoutMs = kDefaultBarrierTimeoutMs;

bool SyncPlayersOver(NetSession& session, GameApp& app, std::uint32_t timeoutMs)
{
    const std::uint32_t counter = ++app.m_nSyncCounter;
    const std::vector<std::uint8_t> report = CounterBytes(counter);
    const bool host = (app.Flags & kAppFlagNetworkHost) != 0;
    const std::uint32_t own = app.m_nNetPlayerId;

    // The host waits for every human player that is not its own: each
    // reports once; one that has gone from the session is not waited for.
    std::vector<std::uint32_t> waiting;
    if (host) {
        for (const PlayerRecord& p : app.m_Players)
            if (p.NetworkId != own && p.NetworkId != 0)
                waiting.push_back(p.NetworkId);
    } else {
        session.Send(own, kServerPlayer, report.data(), report.size(), kNetSendGuaranteed);
    }

    std::vector<NetSession::Kept> kept;
    const std::uint32_t start = platform::real_time_get_time();
    std::uint32_t lastReport = start;
    bool released = false;
    for (;;) {
        if (host) {
            std::erase_if(waiting, [&session](std::uint32_t id) { return !session.PlayerPresent(id); });
            if (waiting.empty()) {
                released = true;
                break;
            }
        }
        const std::uint32_t now = platform::real_time_get_time();
        if (platform::elapsed_ms(start, now) >= timeoutMs || !session.LinkOpen())
            break;
        if (!host && platform::elapsed_ms(lastReport, now) >= kReportAgainMs) {
            session.Send(own, kServerPlayer, report.data(), report.size(), kNetSendGuaranteed);
            lastReport = now;
        }
        const std::uint8_t* data = nullptr;
        std::size_t size = 0;
        const std::uint32_t from = session.Receive(data, size);
        if (from == 0) {
            session.WaitForMessage(kWaitSliceMs);
            continue;
        }
        if (size == kBarrierBytes) {
            // A barrier message: this one's counter, or a late echo of an
            // earlier barrier, which releases nobody.
            if (!HoldsCounter(data, size, counter))
                continue;
            if (host)
                std::erase(waiting, from);
            else if (from == kServerPlayer) {
                released = true;
                break;
            }
            continue;
        }
        kept.push_back(NetSession::Kept{from, std::vector<std::uint8_t>(data, data + size)});
    }
    session.KeepForLater(std::move(kept));
    if (host)
        session.Send(kServerPlayer, kAllPlayers, report.data(), report.size(), kNetSendGuaranteed);
    return released;
}

bool GameApp::SyncPlayers()
{
    if (!(Flags & kAppFlagNetwork) || !g_pNetSession)
        return true;
    return SyncPlayersOver(*g_pNetSession, *this, g_nBarrierTimeoutMs);
}

bool GameApp::ExchangeBlock(void* data, std::size_t size)
{
    if (!(Flags & kAppFlagNetwork) || !g_pNetSession || size == 0)
        return true;
    return ExchangeBlockOver(*g_pNetSession, *this, data, size, g_nBarrierTimeoutMs);
}

bool ExchangeBlockOver(NetSession& session, GameApp& app, void* block, std::size_t size, std::uint32_t timeoutMs)
{
    if (app.Flags & kAppFlagNetworkHost)
        return session.Send(kServerPlayer, kAllPlayers, block, size, kNetSendGuaranteed);
    std::vector<NetSession::Kept> kept;
    const std::uint32_t start = platform::real_time_get_time();
    bool received = false;
    while (!received && platform::elapsed_ms(start, platform::real_time_get_time()) < timeoutMs &&
           session.LinkOpen()) {
        const std::uint8_t* data = nullptr;
        std::size_t got = 0;
        const std::uint32_t from = session.Receive(data, got);
        if (from == 0) {
            session.WaitForMessage(kWaitSliceMs);
            continue;
        }
        if (from == kServerPlayer && got == size) {
            std::memcpy(block, data, size);
            received = true;
        } else {
            kept.push_back(NetSession::Kept{from, std::vector<std::uint8_t>(data, data + got)});
        }
    }
    session.KeepForLater(std::move(kept));
    return received;
}
