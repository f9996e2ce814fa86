#include "net/net_session.h"

#include <algorithm>
#include <cstring>

#include "net/lobby_player_record.h"
#include "platform/byte_reader.h"
#include "platform/byte_writer.h"

NetSession* g_pNetSession = nullptr;
std::uint8_t g_bNetworkGame = 0;

const NetPlayer* NetSession::PlayerAt(int index) const
{
    if (index < 0 || index >= PlayerCount())
        return nullptr;
    return &m_Players[static_cast<std::size_t>(index)];
}

void NetSession::AddPlayer(const char* name, std::uint32_t id, const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    for (NetPlayer& player : m_Players) {
        if (player.Id != id)
            continue;
        const std::size_t word = std::min<std::size_t>({4, size, player.Data.size()});
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
