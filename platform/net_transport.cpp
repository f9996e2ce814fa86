#include "platform/net_transport.h"

#include <enet/enet.h>
#include <enet/time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <random>
#include <thread>
#include <unordered_map>

#include "platform/byte_reader.h"
#include "platform/byte_writer.h"

namespace platform {

namespace {

// What one UDP packet of a session carries: a kind byte, then its body.
enum WireKind : std::uint8_t {
    kWireApp = 1,     // from id, to id, the message
    kWireSystem = 2,  // a system message (host to client)
    kWireWelcome = 3, // host to a new client: its id, the description, the players
    kWireCreate = 4,  // client to host: name, data size, data
    kWireDestroy = 5, // client to host: id
    kWireRename = 6,  // client to host: id, name
};

constexpr std::uint8_t kChannelGuaranteed = 0;
constexpr std::uint8_t kChannelUnguaranteed = 1;
constexpr std::size_t kChannels = 2;
constexpr std::size_t kMaxPeers = 32;
// Room for the kind byte and the two ids of an application message.
constexpr std::size_t kWireHeader = 9;

// The questions and answers that find sessions, on the session's own port.
constexpr char kFindQuestion[4] = {'T', 'V', 'N', 'Q'};
constexpr char kFindAnswer[4] = {'T', 'V', 'N', 'S'};
constexpr std::uint32_t kFindVersion = 1;
constexpr std::size_t kFindQuestionBytes = 8;
constexpr std::uint32_t kAskAgainMs = 50;

// How long the service thread sleeps on the socket when nothing comes.
constexpr std::uint32_t kServiceWaitMs = 2;

void InitialiseEnet()
{
    static const bool ok = [] { return enet_initialize() == 0; }();
    (void)ok;
}

std::uint32_t NowMs()
{
    using namespace std::chrono;
    return static_cast<std::uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void WriteName(ByteWriter& out, const std::string& name)
{
    out.fixed_string(name, kNetPlayerNameBytes);
}

std::string ReadName(ByteReader& in)
{
    return in.fixed_string(kNetPlayerNameBytes);
}

std::string CutName(const char* name)
{
    if (!name)
        return {};
    return std::string(name, strnlen(name, kNetPlayerNameBytes - 1));
}

bool ResolveAddress(const std::string& host, std::uint16_t port, ENetAddress& address, std::string& error)
{
    address.port = port;
    if (host.empty()) {
        address.host = ENET_HOST_BROADCAST;
        return true;
    }
    if (enet_address_set_host(&address, host.c_str()) != 0) {
        error = "no host \"" + host + "\"";
        return false;
    }
    return true;
}

// An address that ends in 255 (the host field is in network order: its
// last byte is the address's last number).
bool IsBroadcast(const ENetAddress& address)
{
    std::uint8_t octets[4];
    std::memcpy(octets, &address.host, sizeof octets);
    return octets[3] == 255;
}

} // namespace

void write_session_desc(std::vector<std::uint8_t>& bytes, const NetSessionDesc& desc)
{
    ByteWriter out(bytes);
    out.u64(desc.Instance);
    out.fixed_string(std::string_view(desc.Name, strnlen(desc.Name, sizeof desc.Name)), sizeof desc.Name);
    out.u32(desc.MaxPlayers);
    out.u32(desc.CurrentPlayers);
    out.u32(desc.Flags);
    for (std::uint32_t word : desc.User)
        out.u32(word);
}

bool read_session_desc(const std::uint8_t* data, std::size_t size, NetSessionDesc& desc)
{
    ByteReader in(data, size);
    if (!in.has(kNetSessionDescBytes))
        return false;
    NetSessionDesc d;
    d.Instance = in.u64();
    in.bytes(d.Name, sizeof d.Name);
    d.Name[sizeof d.Name - 1] = '\0';
    d.MaxPlayers = in.u32();
    d.CurrentPlayers = in.u32();
    d.Flags = in.u32();
    for (std::uint32_t& word : d.User)
        word = in.u32();
    if (!in.ok())
        return false;
    desc = d;
    return true;
}

bool parse_host_port(const std::string& text, std::string& host, std::uint16_t& port)
{
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos) {
        host = text;
        return true;
    }
    const std::string digits = text.substr(colon + 1);
    if (digits.empty() || digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const unsigned long value = std::stoul(digits);
    if (value < 1 || value > 65535)
        return false;
    host = text.substr(0, colon);
    port = static_cast<std::uint16_t>(value);
    return true;
}

bool find_net_sessions(const std::string& address, std::uint16_t port, std::uint32_t wait_ms,
                       std::vector<FoundSession>& found, std::string& error)
{
    InitialiseEnet();
    found.clear();
    ENetAddress to{};
    if (!ResolveAddress(address, port, to, error))
        return false;
    const ENetSocket socket = enet_socket_create(ENET_SOCKET_TYPE_DATAGRAM);
    if (socket == ENET_SOCKET_NULL) {
        error = "no socket for the question";
        return false;
    }
    enet_socket_set_option(socket, ENET_SOCKOPT_NONBLOCK, 1);
    // A broadcast address may be named too (127.255.255.255 reaches this
    // machine's own sessions alone).
    enet_socket_set_option(socket, ENET_SOCKOPT_BROADCAST, 1);

    std::vector<std::uint8_t> question;
    ByteWriter out(question);
    out.bytes(kFindQuestion, sizeof kFindQuestion);
    out.u32(kFindVersion);
    ENetBuffer buffer{question.data(), question.size()};
    if (enet_socket_send(socket, &to, &buffer, 1) < 0) {
        error = address.empty() ? "no broadcast on this machine's network" : "the question could not be sent";
        enet_socket_destroy(socket);
        return false;
    }

    // The question goes again now and then (a datagram may be lost); one
    // host asked by its address answers once, and that ends the search (a
    // broadcast collects answers for the whole wait).
    const std::uint32_t start = NowMs();
    std::uint32_t asked = start;
    std::uint8_t answer[256];
    for (;;) {
        const std::uint32_t now = NowMs();
        const std::uint32_t spent = now - start;
        if (spent >= wait_ms || (!IsBroadcast(to) && !found.empty()))
            break;
        if (now - asked >= kAskAgainMs) {
            enet_socket_send(socket, &to, &buffer, 1);
            asked = now;
        }
        enet_uint32 condition = ENET_SOCKET_WAIT_RECEIVE;
        const std::uint32_t slice = std::min(wait_ms - spent, kAskAgainMs);
        if (enet_socket_wait(socket, &condition, slice) != 0 || !(condition & ENET_SOCKET_WAIT_RECEIVE))
            continue;
        ENetAddress from{};
        ENetBuffer in{answer, sizeof answer};
        const int got = enet_socket_receive(socket, &from, &in, 1);
        if (got <= 0)
            continue;
        const auto size = static_cast<std::size_t>(got);
        FoundSession session;
        if (size < sizeof kFindAnswer || std::memcmp(answer, kFindAnswer, sizeof kFindAnswer) != 0 ||
            !read_session_desc(answer + sizeof kFindAnswer, size - sizeof kFindAnswer, session.Desc))
            continue;
        const bool known = std::any_of(found.begin(), found.end(), [&](const FoundSession& f) {
            return f.Desc.Instance == session.Desc.Instance;
        });
        if (known)
            continue;
        char host[64] = {};
        enet_address_get_host_ip(&from, host, sizeof host);
        session.Host = host;
        session.Port = from.port;
        found.push_back(session);
    }
    enet_socket_destroy(socket);
    return true;
}

// ---- The session ----

struct NetTransport::Impl {
    struct Player {
        std::uint32_t Id = 0;
        std::string Name;
        ENetPeer* Owner = nullptr; // null: this machine's
    };
    // What the host knows of each client connection.
    struct Client {
        std::uint32_t Id = 0;
        bool HasPlayer = false;
    };

    mutable std::mutex mutex;
    std::condition_variable arrived;
    ENetHost* host = nullptr;
    ENetPeer* server = nullptr; // a client's connection to the host
    bool hosting = false;
    bool open = false;
    bool welcomed = false;
    bool refused = false;
    std::uint32_t ownId = 0;    // a client's id, given by the host
    bool ownCreated = false;
    bool serverCreated = false;
    std::uint32_t nextId = 2;
    NetSessionDesc desc;
    std::vector<Player> players;
    std::deque<NetMessage> queue;
    std::uint32_t silenceMs = kDefaultNetSilenceMs;
    // When each connection was last heard of (ENet's own time), by its
    // messages; its acknowledgements keep ENet's lastReceiveTime.
    std::unordered_map<const ENetPeer*, enet_uint32> heard;
    NetSendFilter filter;
    std::uint64_t sendIndex = 0;
    std::thread service;
    std::atomic<bool> stop{false};

    ~Impl() { Shut(); }

    // ---- Under the lock ----

    Player* FindPlayer(std::uint32_t id)
    {
        for (Player& p : players)
            if (p.Id == id)
                return &p;
        return nullptr;
    }

    void Deliver(std::uint32_t from, std::uint32_t to, const std::uint8_t* data, std::size_t size)
    {
        if (size == 0 || size > kMaxNetMessage)
            return;
        queue.push_back(NetMessage{from, to, std::vector<std::uint8_t>(data, data + size)});
        arrived.notify_all();
    }

    void SendPacket(ENetPeer* peer, const std::vector<std::uint8_t>& bytes, bool guaranteed)
    {
        ENetPacket* packet =
            enet_packet_create(bytes.data(), bytes.size(), guaranteed ? ENET_PACKET_FLAG_RELIABLE : 0);
        if (packet && enet_peer_send(peer, guaranteed ? kChannelGuaranteed : kChannelUnguaranteed, packet) != 0)
            enet_packet_destroy(packet);
    }

    std::vector<ENetPeer*> ConnectedPeers() const
    {
        std::vector<ENetPeer*> peers;
        if (!host)
            return peers;
        for (std::size_t i = 0; i < host->peerCount; ++i) {
            ENetPeer* peer = &host->peers[i];
            if (peer->state == ENET_PEER_STATE_CONNECTED && peer->data)
                peers.push_back(peer);
        }
        return peers;
    }

    // The host tells every client (but `except`) and itself.
    void Announce(const std::vector<std::uint8_t>& message, ENetPeer* except)
    {
        std::vector<std::uint8_t> wire{kWireSystem};
        wire.insert(wire.end(), message.begin(), message.end());
        for (ENetPeer* peer : ConnectedPeers())
            if (peer != except)
                SendPacket(peer, wire, true);
        Deliver(0, 0, message.data(), message.size());
    }

    void AnnounceDesc()
    {
        desc.CurrentPlayers = static_cast<std::uint32_t>(players.size());
        std::vector<std::uint8_t> message;
        ByteWriter out(message);
        out.u32(kNetSysSetSessionDesc);
        write_session_desc(message, desc);
        std::vector<std::uint8_t> wire{kWireSystem};
        wire.insert(wire.end(), message.begin(), message.end());
        for (ENetPeer* peer : ConnectedPeers())
            SendPacket(peer, wire, true);
    }

    static std::vector<std::uint8_t> CreateMessage(std::uint32_t id, const std::string& name, const std::uint8_t* data,
                                                   std::size_t size)
    {
        std::vector<std::uint8_t> message;
        ByteWriter out(message);
        out.u32(kNetSysCreatePlayer);
        out.u32(id);
        out.u32(0);
        WriteName(out, name);
        out.u32(static_cast<std::uint32_t>(size));
        out.bytes(data, size);
        return message;
    }

    static std::vector<std::uint8_t> IdMessage(std::uint32_t type, std::uint32_t id)
    {
        std::vector<std::uint8_t> message;
        ByteWriter out(message);
        out.u32(type);
        out.u32(id);
        return message;
    }

    static std::vector<std::uint8_t> RenameMessage(std::uint32_t id, const std::string& name)
    {
        std::vector<std::uint8_t> message;
        ByteWriter out(message);
        out.u32(kNetSysSetPlayerName);
        out.u32(id);
        WriteName(out, name);
        return message;
    }

    // The host removes a client's players and tells the others.
    void DropClient(ENetPeer* peer)
    {
        auto* client = static_cast<Client*>(peer->data);
        peer->data = nullptr;
        std::vector<std::uint32_t> gone;
        for (const Player& p : players)
            if (p.Owner == peer)
                gone.push_back(p.Id);
        std::erase_if(players, [peer](const Player& p) { return p.Owner == peer; });
        for (std::uint32_t id : gone)
            Announce(IdMessage(kNetSysDestroyPlayer, id), nullptr);
        if (!gone.empty())
            AnnounceDesc();
        delete client;
    }

    void Welcome(ENetPeer* peer)
    {
        if (desc.MaxPlayers != 0 && players.size() >= desc.MaxPlayers) {
            enet_peer_disconnect_now(peer, 0);
            return;
        }
        auto* client = new Client;
        client->Id = nextId++;
        peer->data = client;
        enet_peer_timeout(peer, 0, silenceMs, silenceMs);
        std::vector<std::uint8_t> wire{kWireWelcome};
        ByteWriter out(wire);
        out.u32(client->Id);
        write_session_desc(wire, desc);
        out.u32(static_cast<std::uint32_t>(players.size()));
        for (const Player& p : players) {
            out.u32(p.Id);
            WriteName(out, p.Name);
        }
        SendPacket(peer, wire, true);
    }

    // An application message that reached the host from a client: for the
    // host's own players, relayed, or both.
    void Relay(ENetPeer* from, ByteReader& in, const std::uint8_t* payload, std::size_t size, bool guaranteed)
    {
        const auto* client = static_cast<Client*>(from->data);
        const std::uint32_t sender = in.u32();
        const std::uint32_t to = in.u32();
        if (!in.ok() || !client || sender != client->Id || size == 0)
            return;
        std::vector<std::uint8_t> wire{kWireApp};
        ByteWriter out(wire);
        out.u32(sender);
        out.u32(to);
        out.bytes(payload, size);
        if (to == kNetAllPlayers) {
            Deliver(sender, to, payload, size);
            for (ENetPeer* peer : ConnectedPeers())
                if (peer != from)
                    SendPacket(peer, wire, guaranteed);
            return;
        }
        const Player* target = FindPlayer(to);
        if (!target)
            return;
        if (!target->Owner)
            Deliver(sender, to, payload, size);
        else if (target->Owner != from)
            SendPacket(target->Owner, wire, guaranteed);
    }

    void HostReceive(ENetPeer* peer, const std::uint8_t* data, std::size_t size, bool guaranteed)
    {
        auto* client = static_cast<Client*>(peer->data);
        if (!client || size == 0)
            return;
        ByteReader in(data + 1, size - 1);
        switch (data[0]) {
        case kWireApp:
            if (size >= kWireHeader)
                Relay(peer, in, data + kWireHeader, size - kWireHeader, guaranteed);
            break;
        case kWireCreate: {
            const std::string name = ReadName(in);
            const std::uint32_t length = in.u32();
            if (!in.ok() || client->HasPlayer || length > in.remaining())
                break;
            const std::uint8_t* player = data + 1 + in.position();
            client->HasPlayer = true;
            players.push_back(Player{client->Id, name, peer});
            Announce(CreateMessage(client->Id, name, player, length), peer);
            AnnounceDesc();
            break;
        }
        case kWireDestroy: {
            const std::uint32_t id = in.u32();
            if (!in.ok() || id != client->Id || !FindPlayer(id))
                break;
            std::erase_if(players, [id](const Player& p) { return p.Id == id; });
            client->HasPlayer = false;
            Announce(IdMessage(kNetSysDestroyPlayer, id), peer);
            AnnounceDesc();
            break;
        }
        case kWireRename: {
            const std::uint32_t id = in.u32();
            const std::string name = ReadName(in);
            Player* p = FindPlayer(id);
            if (!in.ok() || id != client->Id || !p)
                break;
            p->Name = name;
            Announce(RenameMessage(id, name), peer);
            break;
        }
        default:
            break;
        }
    }

    // A system message from the host: the client's own list follows it
    // before the game hears of it.
    void ClientSystem(const std::uint8_t* data, std::size_t size)
    {
        ByteReader in(data, size);
        const std::uint32_t type = in.u32();
        const std::uint32_t id = in.u32();
        if (!in.ok())
            return;
        if (type == kNetSysCreatePlayer) {
            in.u32();
            const std::string name = ReadName(in);
            if (in.ok() && !FindPlayer(id))
                players.push_back(Player{id, name, server});
        } else if (type == kNetSysDestroyPlayer) {
            std::erase_if(players, [id](const Player& p) { return p.Id == id; });
        } else if (type == kNetSysSetPlayerName) {
            const std::string name = ReadName(in);
            if (Player* p = FindPlayer(id); p && in.ok())
                p->Name = name;
        } else if (type == kNetSysSetSessionDesc) {
            read_session_desc(data + 4, size - 4, desc);
        }
        Deliver(0, 0, data, size);
    }

    void ClientReceive(const std::uint8_t* data, std::size_t size)
    {
        if (size == 0)
            return;
        ByteReader in(data + 1, size - 1);
        switch (data[0]) {
        case kWireApp: {
            const std::uint32_t from = in.u32();
            const std::uint32_t to = in.u32();
            if (in.ok() && size > kWireHeader)
                Deliver(from, to, data + kWireHeader, size - kWireHeader);
            break;
        }
        case kWireSystem:
            ClientSystem(data + 1, size - 1);
            break;
        case kWireWelcome: {
            if (welcomed)
                break;
            const std::uint32_t id = in.u32();
            NetSessionDesc d;
            if (!in.ok() || !read_session_desc(data + 1 + in.position(), in.remaining(), d))
                break;
            in.skip(kNetSessionDescBytes);
            const std::uint32_t count = in.u32();
            std::vector<Player> known;
            for (std::uint32_t i = 0; in.ok() && i < count && i < kMaxPeers + 1; ++i) {
                Player p;
                p.Id = in.u32();
                p.Name = ReadName(in);
                p.Owner = server;
                known.push_back(p);
            }
            if (!in.ok())
                break;
            ownId = id;
            desc = d;
            players = std::move(known);
            welcomed = true;
            arrived.notify_all();
            break;
        }
        default:
            break;
        }
    }

    void OnEvent(ENetEvent& event)
    {
        if (event.type == ENET_EVENT_TYPE_DISCONNECT)
            heard.erase(event.peer);
        else if (event.peer)
            heard[event.peer] = enet_time_get();
        switch (event.type) {
        case ENET_EVENT_TYPE_CONNECT:
            if (hosting)
                Welcome(event.peer);
            break;
        case ENET_EVENT_TYPE_RECEIVE: {
            const bool guaranteed = event.channelID == kChannelGuaranteed;
            if (event.packet->dataLength <= kMaxNetMessage + kWireHeader) {
                if (hosting)
                    HostReceive(event.peer, event.packet->data, event.packet->dataLength, guaranteed);
                else if (event.peer == server)
                    ClientReceive(event.packet->data, event.packet->dataLength);
            }
            enet_packet_destroy(event.packet);
            break;
        }
        case ENET_EVENT_TYPE_DISCONNECT:
            if (hosting) {
                if (event.peer->data)
                    DropClient(event.peer);
            } else if (event.peer == server) {
                ServerLost();
            }
            break;
        default:
            break;
        }
    }

    // A client's server has gone: the session is lost.
    void ServerLost()
    {
        server = nullptr;
        const bool wasOpen = open;
        open = false;
        refused = !welcomed;
        players.clear();
        if (wasOpen) {
            const std::vector<std::uint8_t> lost = IdMessage(kNetSysSessionLost, 0);
            Deliver(0, 0, lost.data(), 4);
        }
        arrived.notify_all();
    }

    // ENet ends a silent connection only when a resend falls due, and its
    // resends back off, doubling their wait: a connection silent for the
    // time-out went on for up to twice as long. A connection from which
    // nothing has arrived for the time-out ends here.
    void EndSilentPeers()
    {
        const enet_uint32 now = enet_time_get();
        for (std::size_t i = 0; host && i < host->peerCount; ++i) {
            ENetPeer* peer = &host->peers[i];
            if (peer->state != ENET_PEER_STATE_CONNECTED)
                continue;
            enet_uint32 last = heard.try_emplace(peer, now).first->second;
            if (peer->lastReceiveTime != 0 && ENET_TIME_GREATER(peer->lastReceiveTime, last))
                last = peer->lastReceiveTime;
            if (ENET_TIME_DIFFERENCE(now, last) < silenceMs)
                continue;
            heard.erase(peer);
            if (hosting) {
                if (peer->data)
                    DropClient(peer);
                enet_peer_reset(peer);
            } else if (peer == server) {
                enet_peer_reset(peer);
                ServerLost();
            }
        }
    }

    void ServiceOnce()
    {
        ENetEvent event;
        while (host && enet_host_service(host, &event, 0) > 0)
            OnEvent(event);
        EndSilentPeers();
        if (host)
            enet_host_flush(host);
    }

    // ---- The service thread ----

    void Run()
    {
        while (!stop.load(std::memory_order_acquire)) {
            ENetSocket socket;
            {
                std::lock_guard lock(mutex);
                if (!host)
                    return;
                socket = host->socket;
            }
            enet_uint32 condition = ENET_SOCKET_WAIT_RECEIVE;
            enet_socket_wait(socket, &condition, kServiceWaitMs);
            std::lock_guard lock(mutex);
            t_servicing = this;
            ServiceOnce();
            t_servicing = nullptr;
        }
    }

    // The host answers the questions that find sessions on its own port.
    static int ENET_CALLBACK Intercept(ENetHost* host, ENetEvent*)
    {
        Impl* self = t_servicing;
        if (!self || !self->hosting || host->receivedDataLength != kFindQuestionBytes ||
            std::memcmp(host->receivedData, kFindQuestion, sizeof kFindQuestion) != 0)
            return 0;
        std::vector<std::uint8_t> answer(kFindAnswer, kFindAnswer + sizeof kFindAnswer);
        NetSessionDesc d = self->desc;
        d.CurrentPlayers = static_cast<std::uint32_t>(self->players.size());
        write_session_desc(answer, d);
        ENetBuffer buffer{answer.data(), answer.size()};
        enet_socket_send(host->socket, &host->receivedAddress, &buffer, 1);
        return 1;
    }

    static thread_local Impl* t_servicing;

    bool StartService()
    {
        stop.store(false, std::memory_order_release);
        try {
            service = std::thread([this] { Run(); });
        } catch (const std::system_error&) {
            return false;
        }
        return true;
    }

    // Ends the session and the service thread; no lock held. `tell`:
    // the others hear of it at once.
    void Shut(bool tell = true)
    {
        stop.store(true, std::memory_order_release);
        if (service.joinable())
            service.join();
        std::lock_guard lock(mutex);
        if (host) {
            for (std::size_t i = 0; i < host->peerCount; ++i) {
                ENetPeer* peer = &host->peers[i];
                if (tell && peer->state != ENET_PEER_STATE_DISCONNECTED)
                    enet_peer_disconnect_now(peer, 0);
                delete static_cast<Client*>(peer->data);
                peer->data = nullptr;
            }
            enet_host_flush(host);
            enet_host_destroy(host);
        }
        heard.clear();
        host = nullptr;
        server = nullptr;
        hosting = open = welcomed = refused = false;
        ownId = 0;
        ownCreated = serverCreated = false;
        nextId = 2;
        players.clear();
        queue.clear();
    }
};

thread_local NetTransport::Impl* NetTransport::Impl::t_servicing = nullptr;

NetTransport::NetTransport() : m_impl(std::make_unique<Impl>())
{
    InitialiseEnet();
}

NetTransport::~NetTransport() = default;

bool NetTransport::Host(std::uint16_t port, const NetSessionDesc& desc, std::string& error)
{
    Impl& s = *m_impl;
    if (IsOpen()) {
        error = "a session is open";
        return false;
    }
    s.Shut();
    ENetAddress address{};
    address.host = ENET_HOST_ANY;
    address.port = port;
    std::lock_guard lock(s.mutex);
    s.host = enet_host_create(&address, kMaxPeers, kChannels, 0, 0);
    if (!s.host) {
        error = "port " + std::to_string(port) + " cannot be opened";
        return false;
    }
    s.host->maximumPacketSize = kMaxNetMessage + kWireHeader;
    s.host->intercept = &Impl::Intercept;
    s.desc = desc;
    if (s.desc.Instance == 0) {
        std::random_device random;
        s.desc.Instance = (static_cast<std::uint64_t>(random()) << 32) ^ random() ^ NowMs();
    }
    s.hosting = true;
    s.open = true;
    if (!s.StartService()) {
        enet_host_destroy(s.host);
        s.host = nullptr;
        s.hosting = s.open = false;
        error = "no thread for the session";
        return false;
    }
    return true;
}

bool NetTransport::Join(const std::string& address, std::uint16_t port, std::uint64_t instance,
                        std::uint32_t timeout_ms, std::string& error)
{
    Impl& s = *m_impl;
    if (IsOpen()) {
        error = "a session is open";
        return false;
    }
    s.Shut();
    ENetAddress to{};
    if (address.empty()) {
        error = "no host named";
        return false;
    }
    if (!ResolveAddress(address, port, to, error))
        return false;
    {
        std::lock_guard lock(s.mutex);
        s.host = enet_host_create(nullptr, 1, kChannels, 0, 0);
        if (!s.host) {
            error = "no socket for the session";
            return false;
        }
        s.host->maximumPacketSize = kMaxNetMessage + kWireHeader;
        s.server = enet_host_connect(s.host, &to, kChannels, 0);
        if (!s.server) {
            enet_host_destroy(s.host);
            s.host = nullptr;
            error = "no connection to " + address;
            return false;
        }
        enet_peer_timeout(s.server, 0, s.silenceMs, s.silenceMs);
        s.open = true;
        if (!s.StartService()) {
            error = "no thread for the session";
            s.open = false;
            return false;
        }
    }
    std::unique_lock lock(s.mutex);
    const bool answered = s.arrived.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                                             [&s] { return s.welcomed || !s.open; });
    const bool ok = answered && s.welcomed && (instance == 0 || s.desc.Instance == instance);
    if (!ok) {
        error = !answered ? "the host did not answer" : (s.welcomed ? "another session is there" : "the host refused");
        lock.unlock();
        s.Shut();
        return false;
    }
    return true;
}

void NetTransport::Close()
{
    m_impl->Shut();
}

void NetTransport::Abandon()
{
    m_impl->Shut(false);
}

bool NetTransport::IsOpen() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->open;
}

bool NetTransport::IsHost() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->hosting;
}

std::uint16_t NetTransport::Port() const
{
    std::lock_guard lock(m_impl->mutex);
    const Impl& s = *m_impl;
    if (s.hosting && s.host)
        return s.host->address.port;
    return s.server ? s.server->address.port : 0;
}

NetSessionDesc NetTransport::SessionDesc() const
{
    std::lock_guard lock(m_impl->mutex);
    NetSessionDesc d = m_impl->desc;
    if (m_impl->hosting)
        d.CurrentPlayers = static_cast<std::uint32_t>(m_impl->players.size());
    return d;
}

void NetTransport::SetSessionDesc(const NetSessionDesc& desc)
{
    Impl& s = *m_impl;
    std::lock_guard lock(s.mutex);
    if (!s.hosting || !s.open)
        return;
    const std::uint64_t instance = s.desc.Instance;
    s.desc = desc;
    s.desc.Instance = instance;
    s.AnnounceDesc();
    enet_host_flush(s.host);
}

std::uint32_t NetTransport::CreatePlayer(const char* name, const void* data, std::size_t size, bool server)
{
    Impl& s = *m_impl;
    std::lock_guard lock(s.mutex);
    if (!s.open || size > kMaxNetMessage - 256 || (size > 0 && !data))
        return 0;
    const std::string cut = CutName(name);
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    if (s.hosting) {
        std::uint32_t id;
        if (server && !s.serverCreated) {
            id = kNetServerPlayer;
            s.serverCreated = true;
        } else {
            id = s.nextId++;
        }
        s.players.push_back(Impl::Player{id, cut, nullptr});
        const std::vector<std::uint8_t> message = Impl::CreateMessage(id, cut, bytes, size);
        std::vector<std::uint8_t> wire{kWireSystem};
        wire.insert(wire.end(), message.begin(), message.end());
        for (ENetPeer* peer : s.ConnectedPeers())
            s.SendPacket(peer, wire, true);
        s.AnnounceDesc();
        enet_host_flush(s.host);
        return id;
    }
    if (s.ownCreated || !s.server)
        return 0;
    std::vector<std::uint8_t> wire{kWireCreate};
    ByteWriter out(wire);
    WriteName(out, cut);
    out.u32(static_cast<std::uint32_t>(size));
    out.bytes(bytes, size);
    s.SendPacket(s.server, wire, true);
    enet_host_flush(s.host);
    s.ownCreated = true;
    s.players.push_back(Impl::Player{s.ownId, cut, nullptr});
    return s.ownId;
}

bool NetTransport::DestroyPlayer(std::uint32_t id)
{
    Impl& s = *m_impl;
    std::lock_guard lock(s.mutex);
    Impl::Player* p = s.FindPlayer(id);
    if (!s.open || !p || p->Owner)
        return false;
    std::erase_if(s.players, [id](const Impl::Player& q) { return q.Id == id; });
    if (s.hosting) {
        s.Announce(Impl::IdMessage(kNetSysDestroyPlayer, id), nullptr);
        s.AnnounceDesc();
    } else {
        std::vector<std::uint8_t> wire{kWireDestroy};
        ByteWriter out(wire);
        out.u32(id);
        s.SendPacket(s.server, wire, true);
        s.ownCreated = false;
    }
    enet_host_flush(s.host);
    return true;
}

bool NetTransport::SetPlayerName(std::uint32_t id, const char* name)
{
    Impl& s = *m_impl;
    std::lock_guard lock(s.mutex);
    Impl::Player* p = s.FindPlayer(id);
    if (!s.open || !p || p->Owner)
        return false;
    p->Name = CutName(name);
    if (s.hosting) {
        s.Announce(Impl::RenameMessage(id, p->Name), nullptr);
    } else {
        std::vector<std::uint8_t> wire{kWireRename};
        ByteWriter out(wire);
        out.u32(id);
        WriteName(out, p->Name);
        s.SendPacket(s.server, wire, true);
    }
    enet_host_flush(s.host);
    return true;
}

std::vector<std::uint32_t> NetTransport::PlayerIds() const
{
    std::lock_guard lock(m_impl->mutex);
    std::vector<std::uint32_t> ids;
    for (const Impl::Player& p : m_impl->players)
        ids.push_back(p.Id);
    return ids;
}

bool NetTransport::HasPlayer(std::uint32_t id) const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->FindPlayer(id) != nullptr;
}

bool NetTransport::Send(std::uint32_t from, std::uint32_t to, const void* data, std::size_t size, bool guaranteed)
{
    Impl& s = *m_impl;
    std::lock_guard lock(s.mutex);
    const Impl::Player* sender = s.FindPlayer(from);
    if (!s.open || !sender || sender->Owner || size == 0 || size > kMaxNetMessage || !data)
        return false;
    int copies = 1;
    if (!guaranteed && s.filter)
        copies = s.filter(s.sendIndex++);
    std::vector<std::uint8_t> wire{kWireApp};
    ByteWriter out(wire);
    out.u32(from);
    out.u32(to);
    out.bytes(data, size);
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    for (int copy = 0; copy < copies; ++copy) {
        if (!s.hosting) {
            if (!s.server)
                return false;
            s.SendPacket(s.server, wire, guaranteed);
            continue;
        }
        if (to == kNetAllPlayers) {
            for (ENetPeer* peer : s.ConnectedPeers())
                s.SendPacket(peer, wire, guaranteed);
            // Another local player hears it too; the sender does not.
            for (const Impl::Player& p : s.players)
                if (!p.Owner && p.Id != from) {
                    s.Deliver(from, to, bytes, size);
                    break;
                }
            continue;
        }
        const Impl::Player* target = s.FindPlayer(to);
        if (!target)
            return false;
        if (target->Owner)
            s.SendPacket(target->Owner, wire, guaranteed);
        else
            s.Deliver(from, to, bytes, size);
    }
    enet_host_flush(s.host);
    return true;
}

bool NetTransport::Receive(NetMessage& message)
{
    std::lock_guard lock(m_impl->mutex);
    if (m_impl->queue.empty())
        return false;
    message = std::move(m_impl->queue.front());
    m_impl->queue.pop_front();
    return true;
}

bool NetTransport::WaitForMessage(std::uint32_t ms)
{
    std::unique_lock lock(m_impl->mutex);
    return m_impl->arrived.wait_for(lock, std::chrono::milliseconds(ms), [this] { return !m_impl->queue.empty(); });
}

void NetTransport::SetSilenceTimeout(std::uint32_t ms)
{
    Impl& s = *m_impl;
    std::lock_guard lock(s.mutex);
    s.silenceMs = ms == 0 ? kDefaultNetSilenceMs : ms;
    if (!s.host)
        return;
    for (std::size_t i = 0; i < s.host->peerCount; ++i)
        if (s.host->peers[i].state != ENET_PEER_STATE_DISCONNECTED)
            enet_peer_timeout(&s.host->peers[i], 0, s.silenceMs, s.silenceMs);
}

std::uint32_t NetTransport::SilenceTimeout() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->silenceMs;
}

void NetTransport::SetSendFilter(NetSendFilter filter)
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->filter = std::move(filter);
}

} // namespace platform
