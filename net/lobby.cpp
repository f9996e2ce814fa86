#include "net/lobby.h"

#include <cstring>

#include "app/game_app.h"
#include "net/net_session.h"
#include "platform/byte_reader.h"
#include "platform/byte_writer.h"

namespace {

constexpr std::uint32_t kServer = 1;
constexpr std::uint32_t kAll = 0;
constexpr std::int32_t kNobody = -1;
constexpr std::int32_t kLastEvent = 11;
constexpr std::int32_t kTrackDefaultRiders = 33;
constexpr std::int32_t kMaxLaps = 99;
constexpr std::int32_t kMaxDifficulty = 3;
constexpr std::int32_t kMaxWeather = 3;

constexpr std::size_t kShortBytes = 12;
constexpr std::size_t kJoinedBytes = 8 + kLobbyPlayerRecordBytes;
constexpr std::size_t kListBytes = 12 + kLobbyPlayerRecordBytes;
constexpr std::size_t kChatBytes = 12 + kLobbyChatTextBytes;

// The size each type has; 0 for a type the lobby does not know.
std::size_t SizeOf(std::uint32_t type)
{
    switch (type) {
    case kLobbyRecord:
        return kLobbyPlayerRecordBytes;
    case kLobbyJoined:
        return kJoinedBytes;
    case kLobbyPlayerList:
    case kLobbyStartList:
        return kListBytes;
    case kLobbyChat:
        return kChatBytes;
    case kLobbyHostLeft:
    case kLobbyStart:
    case kLobbyRider:
    case kLobbyLeave:
        return kShortBytes;
    default:
        return 0;
    }
}

bool InRange(std::int32_t v, std::int32_t lo, std::int32_t hi)
{
    return v >= lo && v <= hi;
}

std::vector<std::uint8_t> Short(std::uint32_t type, std::uint32_t a, std::uint32_t b)
{
    std::vector<std::uint8_t> bytes;
    platform::ByteWriter out(bytes);
    out.u32(type);
    out.u32(a);
    out.u32(b);
    return bytes;
}

std::vector<std::uint8_t> ListMessage(std::uint32_t type, std::int32_t addressee, std::int32_t slot,
                                      const LobbyPlayerRecord& record)
{
    std::vector<std::uint8_t> bytes;
    platform::ByteWriter out(bytes);
    out.u32(type);
    out.i32(addressee);
    out.i32(slot);
    const std::vector<std::uint8_t> r = BuildLobbyPlayerRecord(record);
    out.bytes(r.data(), r.size());
    return bytes;
}

bool Send(NetSession& session, const LobbyState& lobby, std::uint32_t to, const std::vector<std::uint8_t>& bytes,
          bool guaranteed)
{
    return session.Send(lobby.OwnId, to, bytes.data(), bytes.size(), guaranteed ? kNetSendGuaranteed : 0);
}

// A listed player's record, when his data hold a valid one.
bool PlayerRecordOf(const NetSession& session, std::uint32_t id, LobbyPlayerRecord& record)
{
    const NetPlayer* p = session.FindPlayer(id);
    return p && ReadLobbyPlayerRecord(p->Data, record) && ValidLobbyPlayerRecord(record);
}

void StoreRecord(NetSession& session, std::uint32_t id, const LobbyPlayerRecord& record)
{
    const std::vector<std::uint8_t> bytes = BuildLobbyPlayerRecord(record);
    session.SetPlayerData(id, bytes.data(), bytes.size());
}

// A record from the network: whole, in range; false otherwise.
bool ReadRecordAt(std::span<const std::uint8_t> bytes, std::size_t offset, LobbyPlayerRecord& record)
{
    return bytes.size() >= offset && ReadLobbyPlayerRecord(bytes.subspan(offset), record) &&
           ValidLobbyPlayerRecord(record);
}

std::string ChatText(platform::ByteReader& in)
{
    return in.fixed_string(kLobbyChatTextBytes);
}

bool RiderHeldByAnother(const NetSession& session, std::uint32_t requester, std::int32_t rider)
{
    for (int i = 0; const NetPlayer* p = session.PlayerAt(i); ++i) {
        LobbyPlayerRecord r;
        if (p->Id != requester && ReadLobbyPlayerRecord(p->Data, r) && r.Rider == rider)
            return true;
    }
    return false;
}

// ---- The host ----

std::uint32_t HostHandles(NetSession& session, LobbyState& lobby, std::uint32_t from,
                          std::span<const std::uint8_t> bytes)
{
    platform::ByteReader in(bytes);
    const std::uint32_t type = in.u32();
    switch (type) {
    case kLobbyRecord: {
        LobbyPlayerRecord r;
        if (!ReadRecordAt(bytes, 0, r) || r.PlayerId != from || r.SlotIndex == kNobody)
            return 0;
        StoreRecord(session, from, r);
        session.Send(lobby.OwnId, kAll, bytes.data(), bytes.size(), 0);
        return type;
    }
    case kLobbyJoined: {
        const std::uint32_t sender = in.u32();
        LobbyPlayerRecord r;
        if (sender != from || !ReadRecordAt(bytes, 8, r))
            return 0;
        StoreRecord(session, lobby.OwnId, lobby.Own);
        r.PlayerId = from;
        r.SlotIndex = session.PlayerIndex(from);
        StoreRecord(session, from, r);
        for (int i = 0; const NetPlayer* p = session.PlayerAt(i); ++i) {
            LobbyPlayerRecord listed;
            if (ReadLobbyPlayerRecord(p->Data, listed))
                Send(session, lobby, kAll, ListMessage(kLobbyPlayerList, static_cast<std::int32_t>(from), i, listed),
                     true);
        }
        return type;
    }
    case kLobbyChat: {
        const std::uint32_t addressee = in.u32();
        const std::uint32_t sender = in.u32();
        const std::string text = ChatText(in);
        if (sender != from)
            return 0;
        if (addressee == kAll || addressee == lobby.OwnId)
            ChatAddLine(session, lobby, text.c_str(), sender);
        if (addressee != lobby.OwnId && (addressee == kAll || session.FindPlayer(addressee)))
            session.Send(lobby.OwnId, addressee, bytes.data(), bytes.size(), 0);
        return type;
    }
    case kLobbyRider: {
        const std::uint32_t id = in.u32();
        const std::int32_t rider = in.i32();
        LobbyPlayerRecord r;
        if (id != from || !InRange(rider, kNobody, kLobbyMaxRider) || !PlayerRecordOf(session, from, r))
            return 0;
        if (rider == kNobody || !RiderHeldByAnother(session, from, rider)) {
            r.Rider = rider;
            StoreRecord(session, from, r);
        }
        session.Send(lobby.OwnId, from, Short(kLobbyRider, from, static_cast<std::uint32_t>(r.Rider)).data(),
                     kShortBytes, kNetSendGuaranteed);
        return type;
    }
    case kLobbyLeave:
        session.Send(lobby.OwnId, from, Short(kLobbyLeave, 0xFFFFFFFFu, 0).data(), kShortBytes, kNetSendGuaranteed);
        return type;
    default:
        return 0;
    }
}

// ---- A client ----

std::uint32_t ClientHandles(NetSession& session, LobbyState& lobby, std::span<const std::uint8_t> bytes)
{
    platform::ByteReader in(bytes);
    const std::uint32_t type = in.u32();
    switch (type) {
    case kLobbyRecord: {
        LobbyPlayerRecord r;
        if (!ReadRecordAt(bytes, 0, r) || !session.FindPlayer(r.PlayerId))
            return 0;
        StoreRecord(session, r.PlayerId, r);
        if (r.PlayerId == lobby.OwnId)
            lobby.Own = r;
        return type;
    }
    case kLobbyPlayerList:
    case kLobbyStartList: {
        const std::int32_t addressee = in.i32();
        const std::int32_t slot = in.i32();
        LobbyPlayerRecord r;
        if (!ReadRecordAt(bytes, 12, r) || !InRange(slot, kNobody, kLobbyMaxPlayers - 1) || r.PlayerId == 0)
            return 0;
        if (addressee == static_cast<std::int32_t>(lobby.OwnId)) {
            lobby.Own.SlotIndex = slot;
            StoreRecord(session, lobby.OwnId, lobby.Own);
        }
        const std::vector<std::uint8_t> record = BuildLobbyPlayerRecord(r);
        session.AddPlayer(r.Name, r.PlayerId, record.data(), record.size());
        // The start list holds the records the race is prepared from (the
        // host's with the random value it drew for the start): every
        // player's record is taken whole, so that every machine prepares
        // the same race.
        if (type == kLobbyStartList)
            session.SetPlayerData(r.PlayerId, record.data(), record.size());
        if (r.PlayerId == lobby.OwnId)
            lobby.Own = r;
        if (type == kLobbyStartList)
            ++lobby.ListMessages;
        return type;
    }
    case kLobbyHostLeft:
        lobby.Ended = 1;
        return type;
    case kLobbyChat: {
        in.u32();
        const std::uint32_t sender = in.u32();
        const std::string text = ChatText(in);
        // The own line was shown when it was sent.
        if (sender != lobby.OwnId)
            ChatAddLine(session, lobby, text.c_str(), sender);
        return type;
    }
    case kLobbyStart:
        if (lobby.Own.State != kLobbyStateReady)
            return 0;
        lobby.StartFlag = 1;
        return type;
    case kLobbyRider: {
        in.u32();
        const std::int32_t rider = in.i32();
        if (!InRange(rider, kNobody, kLobbyMaxRider))
            return 0;
        lobby.Own.Rider = rider;
        return type;
    }
    case kLobbyLeave: {
        const std::uint32_t id = in.u32();
        if (id == 0xFFFFFFFFu)
            return type;
        if (id == lobby.OwnId) {
            lobby.Ended = 1;
            return type;
        }
        LobbyPlayerRecord r;
        if ((lobby.GameType == 2 || lobby.GameType == 4) && PlayerRecordOf(session, id, r) && r.Rider != kNobody &&
            lobby.ReleaseRider)
            lobby.ReleaseRider(r.Rider);
        session.RemovePlayer(id);
        return type;
    }
    default:
        return 0;
    }
}

} // namespace

bool ValidLobbyPlayerRecord(const LobbyPlayerRecord& r)
{
    const std::int32_t* o = r.RaceOptions;
    return InRange(r.SlotIndex, kNobody, kLobbyMaxPlayers - 1) && InRange(r.Rider, kNobody, kLobbyMaxRider) &&
           InRange(r.EventIndex, 0, kLastEvent) && r.State <= kLobbyStateReady && InRange(o[0], 1, kMaxLaps) &&
           InRange(o[1], 1, kMaxLaps) && InRange(o[kLobbySimulationRiders], 1, kTrackDefaultRiders) &&
           InRange(o[kLobbyArcadeRiders], 1, kTrackDefaultRiders) && InRange(o[4], 0, kMaxDifficulty) &&
           InRange(o[kLobbyWeather], 0, kMaxWeather);
}

void LobbySend(NetSession& session, LobbyState& lobby, std::uint32_t type)
{
    if (lobby.IsHost) {
        switch (type) {
        case kLobbyRecord:
            lobby.Own.MessageType = kLobbyRecord;
            StoreRecord(session, lobby.OwnId, lobby.Own);
            Send(session, lobby, kAll, BuildLobbyPlayerRecord(lobby.Own), false);
            break;
        case kLobbyHostLeft:
            Send(session, lobby, kAll, Short(kLobbyHostLeft, 0, 0), false);
            break;
        case kLobbyStart:
            Send(session, lobby, kAll, Short(kLobbyStart, 0, 0), true);
            break;
        case kLobbyStartList:
            for (int i = 0; const NetPlayer* p = session.PlayerAt(i); ++i) {
                LobbyPlayerRecord r;
                if (ReadLobbyPlayerRecord(p->Data, r))
                    Send(session, lobby, kAll, ListMessage(kLobbyStartList, kNobody, kNobody, r), true);
            }
            break;
        default:
            break;
        }
        return;
    }
    if (type == kLobbyRecord) {
        lobby.Own.MessageType = kLobbyRecord;
        Send(session, lobby, kServer, BuildLobbyPlayerRecord(lobby.Own), true);
    } else if (type == kLobbyJoined) {
        std::vector<std::uint8_t> bytes;
        platform::ByteWriter out(bytes);
        out.u32(kLobbyJoined);
        out.u32(lobby.OwnId);
        const std::vector<std::uint8_t> r = BuildLobbyPlayerRecord(lobby.Own);
        out.bytes(r.data(), r.size());
        Send(session, lobby, kServer, bytes, true);
    }
}

std::uint32_t LobbyHandle(NetSession& session, LobbyState& lobby, std::uint32_t from,
                          std::span<const std::uint8_t> bytes)
{
    // Its type's size, and a client hears only its host.
    const std::uint32_t type = platform::ByteReader(bytes).u32();
    if (SizeOf(type) == 0 || bytes.size() != SizeOf(type) || (!lobby.IsHost && from != kServer))
        return 0;
    return lobby.IsHost ? HostHandles(session, lobby, from, bytes) : ClientHandles(session, lobby, bytes);
}

std::uint32_t LobbyPoll(NetSession& session, LobbyState& lobby)
{
    std::uint32_t last = 0;
    for (;;) {
        const std::uint8_t* data = nullptr;
        std::size_t size = 0;
        const std::uint32_t from = session.Receive(data, size);
        if (from == 0)
            return last;
        // A message must come from a player of the session.
        if (!session.PlayerPresent(from))
            continue;
        const std::uint32_t handled = LobbyHandle(session, lobby, from, std::span(data, size));
        if (handled == 0)
            continue;
        last = handled;
        const bool atOnce = handled == kLobbyHostLeft || handled == kLobbyStart || handled == kLobbyRider ||
                            handled == kLobbyLeave;
        if (!lobby.IsHost && atOnce)
            return handled;
    }
}

void ChatAddLine(NetSession& session, LobbyState& lobby, const char* text, std::uint32_t sender)
{
    const char* name = session.PlayerNameById(sender);
    lobby.Chat.push_back(LobbyChatLine{sender, std::string(name ? name : "?") + ": " + text});
}

void LobbyChat(NetSession& session, LobbyState& lobby, std::uint32_t addressee, const char* text)
{
    std::vector<std::uint8_t> bytes;
    platform::ByteWriter out(bytes);
    out.u32(kLobbyChat);
    out.u32(addressee);
    out.u32(lobby.OwnId);
    out.fixed_string(text ? std::string_view(text, strnlen(text, kLobbyChatTextBytes)) : std::string_view(),
                     kLobbyChatTextBytes);
    Send(session, lobby, lobby.IsHost ? addressee : kServer, bytes, false);
    if (addressee == kAll || addressee == lobby.OwnId)
        ChatAddLine(session, lobby, text ? text : "", lobby.OwnId);
}

void LobbyAskRider(NetSession& session, LobbyState& lobby, std::int32_t rider)
{
    Send(session, lobby, kServer, Short(kLobbyRider, lobby.OwnId, static_cast<std::uint32_t>(rider)), true);
}

void LobbyPlayerGone(NetSession& session, LobbyState& lobby, std::uint32_t id)
{
    LobbyPlayerRecord gone;
    if ((lobby.GameType == 2 || lobby.GameType == 4) && PlayerRecordOf(session, id, gone) &&
        gone.Rider != kNobody && lobby.ReleaseRider)
        lobby.ReleaseRider(gone.Rider);
    session.RemovePlayer(id);
    for (int i = 0; const NetPlayer* p = session.PlayerAt(i); ++i) {
        LobbyPlayerRecord r;
        if (ReadLobbyPlayerRecord(p->Data, r)) {
            r.SlotIndex = i;
            StoreRecord(session, p->Id, r);
            if (p->Id == lobby.OwnId)
                lobby.Own.SlotIndex = i;
        }
    }
    Send(session, lobby, kAll, Short(kLobbyLeave, id, 0), true);
    for (int i = 0; const NetPlayer* p = session.PlayerAt(i); ++i) {
        LobbyPlayerRecord r;
        if (ReadLobbyPlayerRecord(p->Data, r))
            Send(session, lobby, kAll, ListMessage(kLobbyPlayerList, kNobody, kNobody, r), true);
    }
}

void LobbyHostStart(NetSession& session, LobbyState& lobby, std::uint32_t randomValue)
{
    std::vector<std::uint32_t> notReady;
    for (int i = 0; const NetPlayer* p = session.PlayerAt(i); ++i) {
        LobbyPlayerRecord r;
        if (p->Id != lobby.OwnId && (!ReadLobbyPlayerRecord(p->Data, r) || r.State == kLobbyStateJoined))
            notReady.push_back(p->Id);
    }
    for (std::uint32_t id : notReady) {
        session.RemovePlayer(id);
        Send(session, lobby, kAll, Short(kLobbyLeave, id, 0), true);
    }
    lobby.Own.RandomSeed = randomValue;
    StoreRecord(session, lobby.OwnId, lobby.Own);
    LobbySend(session, lobby, kLobbyStartList);
    LobbySend(session, lobby, kLobbyStart);
}

bool MultiStartRace(NetSession& session, LobbyState& lobby, GameApp& app)
{
    session.SetSystemHandler(nullptr);
    LobbyPlayerRecord host;
    if (!FindSessionHost(session, host) || !ValidLobbyPlayerRecord(host)) {
        lobby.Ended = 1;
        return false;
    }
    if (lobby.GameType == 1) {
        lobby.EventIndex = host.EventIndex;
        lobby.GameMode = 0;
    } else if (lobby.GameType == 2) {
        lobby.GameMode = 1;
    }
    app.Flags |= kAppFlagNetwork;
    if (lobby.IsHost)
        app.Flags |= kAppFlagNetworkHost;
    else
        app.Flags &= ~kAppFlagNetworkHost;
    app.m_nNetPlayerId = lobby.OwnId;
    app.m_nSyncCounter = 0;
    g_bNetworkGame = 1;
    lobby.StartFlag = 0;
    lobby.ListMessages = 0;
    lobby.InRace = 1;
    lobby.RaceStart = 1;
    return true;
}
