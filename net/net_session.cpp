#include "net/net_session.h"

#include <algorithm>
#include <cstring>

#include "net/lobby_player_record.h"
#include "platform/byte_reader.h"
#include "platform/byte_writer.h"

NetSession* g_pNetSession = nullptr;
std::uint8_t g_bNetworkGame = 0;

namespace {

// How long a join waits for the host's welcome.
constexpr std::uint32_t kJoinWaitMs = 5000;

void CopyName(char* out, std::size_t size, const char* name)
{
    std::memset(out, 0, size);
    if (name)
        std::strncpy(out, name, size - 1);
}

} // namespace

NetSession::NetSession() : m_pTransport(std::make_unique<platform::NetTransport>())
{
    // TCP/IP runs over the platform's sockets; IPX, modem and serial links
    // do not exist on this system, so their probes find them unavailable.
    m_dwUnavailable = kNetKindIpx | kNetKindModem | kNetKindSerial;
    AddConnection(kNetKindTcp, "Internet TCP/IP Connection");
}

NetSession::~NetSession() = default;

void NetSession::AddConnection(std::uint32_t kind, const char* name)
{
    if (kind & m_dwUnavailable)
        return;
    for (const NetConnection& c : m_Connections)
        if (c.Kind == kind)
            return;
    NetConnection c;
    c.Kind = kind;
    CopyName(c.Name, sizeof c.Name, name);
    m_Connections.push_back(c);
}

const char* NetSession::ConnectionNameAt(int index) const
{
    if (index < 0 || index >= ConnectionCount())
        return nullptr;
    return m_Connections[static_cast<std::size_t>(index)].Name;
}

std::uint32_t NetSession::SelectConnection(std::uint32_t kind)
{
    const bool listed = std::any_of(m_Connections.begin(), m_Connections.end(),
                                    [kind](const NetConnection& c) { return c.Kind == kind; });
    if (!listed)
        return kNetErrNoConnection;
    if (m_bConnectionChosen)
        ReleaseInterfaces();
    m_bConnectionChosen = 1;
    return kNetOk;
}

void NetSession::ReleaseInterfaces()
{
    m_pTransport->Close();
    m_Sessions.clear();
    m_Players.clear();
    m_Kept.clear();
    m_bConnectionChosen = 0;
    m_bSessionOpen = 0;
}

std::uint32_t NetSession::EnumSessions(bool)
{
    if (m_bSessionOpen)
        return kNetOk;
    m_Sessions.clear();
    std::string host;
    std::uint16_t port = Port;
    if (!platform::parse_host_port(std::string(TcpAddress, strnlen(TcpAddress, sizeof TcpAddress)), host, port))
        return kNetErrNoSessions;
    std::vector<platform::FoundSession> found;
    std::string error;
    if (!platform::find_net_sessions(host, port, FindWaitMs, found, error))
        return kNetErrNoSessions;
    for (const platform::FoundSession& f : found) {
        NetSessionEntry entry;
        entry.Desc = f.Desc;
        CopyName(entry.Name, sizeof entry.Name, f.Desc.Name);
        entry.Host = f.Host;
        entry.Port = f.Port;
        m_Sessions.push_back(entry);
    }
    return kNetOk;
}

const NetSessionEntry* NetSession::SessionAt(int index)
{
    if (index < 0 || index >= SessionCount())
        return nullptr;
    NetSessionEntry& entry = m_Sessions[static_cast<std::size_t>(index)];
    if (m_bSessionOpen) {
        const platform::NetSessionDesc desc = m_pTransport->SessionDesc();
        if (desc.Instance == entry.Desc.Instance)
            entry.Desc = desc;
    }
    return &entry;
}

const char* NetSession::SessionNameAt(int index) const
{
    if (index < 0 || index >= SessionCount())
        return nullptr;
    return m_Sessions[static_cast<std::size_t>(index)].Name;
}

std::uint32_t NetSession::Host(const char* name, std::uint32_t maxPlayers, std::uint32_t user1, std::uint32_t user2,
                               std::uint32_t user3, std::uint32_t user4, std::uint32_t flags)
{
    platform::NetSessionDesc desc;
    CopyName(desc.Name, sizeof desc.Name, name);
    desc.MaxPlayers = maxPlayers;
    desc.Flags = flags;
    desc.User[0] = user1;
    desc.User[1] = user2;
    desc.User[2] = user3;
    desc.User[3] = user4;
    if (m_bSessionOpen) {
        m_pTransport->SetSessionDesc(desc);
        return kNetOk;
    }
    std::string error;
    if (!m_pTransport->Host(Port, desc, error))
        return kNetErrGeneric;
    NetSessionEntry entry;
    entry.Desc = m_pTransport->SessionDesc();
    CopyName(entry.Name, sizeof entry.Name, desc.Name);
    entry.Host = "127.0.0.1";
    entry.Port = m_pTransport->Port();
    m_Sessions.push_back(entry);
    m_bSessionOpen = 1;
    return kNetOk;
}

std::uint32_t NetSession::Join(int index)
{
    if (index < 0 || index >= SessionCount())
        return kNetErrBadSession;
    const NetSessionEntry& entry = m_Sessions[static_cast<std::size_t>(index)];
    std::string error;
    if (!m_pTransport->Join(entry.Host, entry.Port, entry.Desc.Instance, kJoinWaitMs, error))
        return kNetErrGeneric;
    m_bSessionOpen = 1;
    return kNetOk;
}

bool NetSession::IsHostMachine() const
{
    return m_pTransport->IsHost();
}

const NetPlayer* NetSession::PlayerAt(int index) const
{
    if (index < 0 || index >= PlayerCount())
        return nullptr;
    return &m_Players[static_cast<std::size_t>(index)];
}

const NetPlayer* NetSession::FindPlayer(std::uint32_t id) const
{
    for (const NetPlayer& p : m_Players)
        if (p.Id == id)
            return &p;
    return nullptr;
}

int NetSession::PlayerIndex(std::uint32_t id) const
{
    for (int i = 0; i < PlayerCount(); ++i)
        if (m_Players[static_cast<std::size_t>(i)].Id == id)
            return i;
    return -1;
}

const char* NetSession::PlayerNameById(std::uint32_t id) const
{
    const NetPlayer* p = FindPlayer(id);
    return p ? p->Name : nullptr;
}

void NetSession::AddPlayer(const char* name, std::uint32_t id, const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    for (NetPlayer& player : m_Players) {
        if (player.Id != id)
            continue;
        const std::size_t word = bytes ? std::min<std::size_t>({4, size, player.Data.size()}) : 0;
        if (word > 0)
            std::memcpy(player.Data.data(), bytes, word);
        return;
    }
    NetPlayer player;
    player.Id = id;
    if (name)
        std::strncpy(player.Name, name, sizeof player.Name - 1);
    if (bytes && size > 0)
        player.Data.assign(bytes, bytes + size);
    m_Players.push_back(std::move(player));
}

void NetSession::RemovePlayer(std::uint32_t id)
{
    std::erase_if(m_Players, [id](const NetPlayer& p) { return p.Id == id; });
}

void NetSession::RenamePlayer(std::uint32_t id, const char* name)
{
    for (NetPlayer& p : m_Players)
        if (p.Id == id)
            CopyName(p.Name, sizeof p.Name, name);
}

void NetSession::SetPlayerData(std::uint32_t id, const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    for (NetPlayer& p : m_Players)
        if (p.Id == id)
            p.Data.assign(bytes, bytes + size);
}

std::uint32_t NetSession::CreatePlayer(const char* name, const void* data, std::size_t size, std::uint32_t flags)
{
    if (!m_bSessionOpen)
        return 0;
    const std::uint32_t id = m_pTransport->CreatePlayer(name, data, size, (flags & kNetPlayerServer) != 0);
    if (id == 0)
        return 0;
    AddPlayer(name, id, data, size);
    LocalPlayerId = id;
    return id;
}

bool NetSession::Send(std::uint32_t from, std::uint32_t to, const void* data, std::size_t size, std::uint32_t flags)
{
    // The transport refuses a send only when it cannot go out at all (no
    // session, a message too large), so a refused send is not tried again.
    return m_bSessionOpen && m_pTransport->Send(from, to, data, size, (flags & kNetSendGuaranteed) != 0);
}

std::uint32_t NetSession::Receive(const std::uint8_t*& data, std::size_t& size)
{
    data = nullptr;
    size = 0;
    if (!m_Kept.empty()) {
        Kept& kept = m_Kept.front();
        m_Received.From = kept.From;
        m_Received.Data = std::move(kept.Data);
        m_Kept.pop_front();
        data = m_Received.Data.data();
        size = m_Received.Data.size();
        return m_Received.From;
    }
    while (m_pTransport->Receive(m_Received)) {
        if (m_Received.From == 0) {
            if (m_Received.Data.size() < 4)
                continue;
            if (m_Handler)
                m_Handler(*this, m_Received.Data.data(), m_Received.Data.size());
            else
                OnSystemMessage(m_Received.Data.data(), m_Received.Data.size());
            continue;
        }
        if (m_Received.Data.size() < 4)
            return 0;
        data = m_Received.Data.data();
        size = m_Received.Data.size();
        return m_Received.From;
    }
    return 0;
}

void NetSession::KeepForLater(std::vector<Kept> messages)
{
    for (auto it = messages.rbegin(); it != messages.rend(); ++it)
        m_Kept.push_front(std::move(*it));
}

bool NetSession::WaitForMessage(std::uint32_t ms)
{
    return !m_Kept.empty() || m_pTransport->WaitForMessage(ms);
}

void NetSession::SetSystemHandler(SystemHandler handler)
{
    m_Handler = std::move(handler);
}

void NetSession::OnSystemMessage(const std::uint8_t* data, std::size_t size)
{
    platform::ByteReader in(data, size);
    const std::uint32_t type = in.u32();
    switch (type) {
    case platform::kNetSysSessionLost:
        m_bSessionOpen = 0;
        break;
    case platform::kNetSysCreatePlayer: {
        const std::uint32_t id = in.u32();
        in.u32();
        const std::string name = in.fixed_string(platform::kNetPlayerNameBytes);
        const std::uint32_t length = in.u32();
        if (in.ok() && id != 0 && length <= in.remaining())
            AddPlayer(name.c_str(), id, data + in.position(), length);
        break;
    }
    case platform::kNetSysDestroyPlayer: {
        const std::uint32_t id = in.u32();
        if (in.ok())
            RemovePlayer(id);
        break;
    }
    case platform::kNetSysSetPlayerName: {
        const std::uint32_t id = in.u32();
        const std::string name = in.fixed_string(platform::kNetPlayerNameBytes);
        if (in.ok())
            RenamePlayer(id, name.c_str());
        break;
    }
    case platform::kNetSysSetSessionDesc: {
        platform::NetSessionDesc desc;
        if (!platform::read_session_desc(data + 4, size - 4, desc))
            break;
        for (NetSessionEntry& entry : m_Sessions)
            if (entry.Desc.Instance == desc.Instance) {
                entry.Desc = desc;
                CopyName(entry.Name, sizeof entry.Name, desc.Name);
            }
        break;
    }
    default:
        break;
    }
}

bool NetSession::SendFrame(std::uint32_t from, std::uint32_t to, const void* data, std::size_t size, bool guaranteed)
{
    return Send(from, to, data, size, guaranteed ? kNetSendGuaranteed : 0);
}

std::uint32_t NetSession::ReceiveFrame(const std::uint8_t*& data, std::size_t& size)
{
    return Receive(data, size);
}

bool NetSession::WaitForFrame(std::uint32_t ms)
{
    return WaitForMessage(ms);
}

bool NetSession::PlayerPresent(std::uint32_t id) const
{
    return m_pTransport->HasPlayer(id);
}

bool NetSession::LinkOpen() const
{
    return m_bSessionOpen && m_pTransport->IsOpen();
}

std::vector<std::uint8_t> BuildLobbyPlayerRecord(const LobbyPlayerRecord& r)
{
    std::vector<std::uint8_t> bytes;
    platform::ByteWriter out(bytes);
    out.u32(r.MessageType);
    out.u32(r.PlayerId);
    out.u32(r.RandomSeed);
    out.i32(r.SlotIndex);
    out.i32(r.Rider);
    out.i32(r.EventIndex);
    out.u32(r.State);
    out.fixed_string(std::string_view(r.Name, strnlen(r.Name, sizeof r.Name)), sizeof r.Name);
    out.u32(r.BikeFlags);
    out.bytes(r.BikeSettings, sizeof r.BikeSettings);
    for (std::int32_t option : r.RaceOptions)
        out.i32(option);
    return bytes;
}

bool ReadLobbyPlayerRecord(std::span<const std::uint8_t> bytes, LobbyPlayerRecord& record)
{
    platform::ByteReader in(bytes);
    if (!in.has(kLobbyPlayerRecordBytes))
        return false;
    LobbyPlayerRecord r;
    r.MessageType = in.u32();
    r.PlayerId = in.u32();
    r.RandomSeed = in.u32();
    r.SlotIndex = in.i32();
    r.Rider = in.i32();
    r.EventIndex = in.i32();
    r.State = in.u32();
    in.bytes(r.Name, sizeof r.Name);
    r.Name[sizeof r.Name - 1] = '\0';
    r.BikeFlags = in.u32();
    in.bytes(r.BikeSettings, sizeof r.BikeSettings);
    for (std::int32_t& option : r.RaceOptions)
        option = in.i32();
    if (!in.ok())
        return false;
    record = r;
    return true;
}

const NetPlayer* FindSessionHost(const NetSession& session, LobbyPlayerRecord& record)
{
    for (int i = 0; const NetPlayer* player = session.PlayerAt(i); ++i) {
        LobbyPlayerRecord r;
        if (ReadLobbyPlayerRecord(player->Data, r) && r.SlotIndex == 0) {
            record = r;
            return player;
        }
    }
    return nullptr;
}
