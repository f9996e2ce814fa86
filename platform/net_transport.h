#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// The network transport of a multiplayer session, over UDP on the local
// network or the Internet: one machine hosts the session, the others join it
// by the host's name or address (or find it by a broadcast on the local
// network). Every machine creates players in the session; a player sends
// application messages to one player or to every player, guaranteed
// (reliable and in order) or not (may be lost or come twice). The host
// relays what one client sends to another. Players joining, leaving and
// being renamed, a changed session description and a lost session arrive as
// system messages from player id 0.
//
// A background thread services the sockets, so connections stay alive and
// the host relays while the game is busy (loading a race). Every call is
// safe from any thread; messages arrive in a queue read by Receive.
namespace platform {

// The port a session is hosted on when no other is set.
inline constexpr std::uint16_t kDefaultNetPort = 29417;
// Messages larger than this are neither sent nor delivered.
inline constexpr std::size_t kMaxNetMessage = 64 * 1024;
// Player ids: 0 addresses every player (and is the sender of system
// messages), 1 is the host's server player.
inline constexpr std::uint32_t kNetAllPlayers = 0;
inline constexpr std::uint32_t kNetServerPlayer = 1;
// How long a machine may stay silent before it counts as gone.
inline constexpr std::uint32_t kDefaultNetSilenceMs = 10000;

// System message types (the first word of a message from id 0).
inline constexpr std::uint32_t kNetSysCreatePlayer = 0x0003;
inline constexpr std::uint32_t kNetSysDestroyPlayer = 0x0005;
inline constexpr std::uint32_t kNetSysSessionLost = 0x0031;
inline constexpr std::uint32_t kNetSysSetPlayerName = 0x0103;
inline constexpr std::uint32_t kNetSysSetSessionDesc = 0x0104;

// Layout of the system messages (little-endian words):
//   create player   type, id, flags, name[64], data size, data
//   destroy player  type, id
//   player renamed  type, id, name[64]
//   description     type, then the description (below)
//   session lost    type
inline constexpr std::size_t kNetPlayerNameBytes = 64;

// A session's description, as the host sets it and joiners find it.
// Stored: instance (8 bytes), name[128], maximum and current players, flags,
// four user words: 8 + 128 + 4 x 7 = 164 bytes.
struct NetSessionDesc {
    std::uint64_t Instance = 0;   // tells sessions apart; drawn when hosted
    char Name[128] = {};
    std::uint32_t MaxPlayers = 0; // 0: no limit
    std::uint32_t CurrentPlayers = 0;
    std::uint32_t Flags = 0;
    std::uint32_t User[4] = {};
};
inline constexpr std::size_t kNetSessionDescBytes = 164;

void write_session_desc(std::vector<std::uint8_t>& out, const NetSessionDesc& desc);
// False when the bytes hold no whole description; the name is terminated.
bool read_session_desc(const std::uint8_t* data, std::size_t size, NetSessionDesc& desc);

// A session found on the network: its description and where it is.
struct FoundSession {
    NetSessionDesc Desc;
    std::string Host;  // the host's address, as text
    std::uint16_t Port = 0;
};

// One message taken from the queue: from player id (0: a system message),
// to player id (0: everybody), the bytes.
struct NetMessage {
    std::uint32_t From = 0;
    std::uint32_t To = 0;
    std::vector<std::uint8_t> Data;
};

// Splits "host", "host:port" or ":port" into its parts; the port keeps its
// value when the text names none. False for a port that is not 1..65535.
bool parse_host_port(const std::string& text, std::string& host, std::uint16_t& port);

// Asks for sessions at `address` (a name or a dotted address; empty: a
// broadcast on the local network) on `port`, collecting the answers for
// `wait_ms`. False, with `error` set, when the question could not be sent
// (no such host, no broadcast on this machine).
bool find_net_sessions(const std::string& address, std::uint16_t port, std::uint32_t wait_ms,
                       std::vector<FoundSession>& found, std::string& error);

// Test seam for unguaranteed sends: called once per send with its running
// number, it returns how many copies go out (0 drops the message, 2 sends it
// twice).
using NetSendFilter = std::function<int(std::uint64_t send_index)>;

class NetTransport {
public:
    NetTransport();
    ~NetTransport();
    NetTransport(const NetTransport&) = delete;
    NetTransport& operator=(const NetTransport&) = delete;

    // Hosts a session on `port` (0: any free port, see Port()). False with
    // `error` set when the port cannot be opened or a session is open.
    bool Host(std::uint16_t port, const NetSessionDesc& desc, std::string& error);
    // Joins the session hosted at address:port, waiting at most
    // `timeout_ms` for the host's welcome. `instance` 0 joins whatever
    // session is there, else only that one. False with `error` set.
    bool Join(const std::string& address, std::uint16_t port, std::uint64_t instance, std::uint32_t timeout_ms,
              std::string& error);
    // Leaves (a client) or ends (the host) the session at once; the others
    // hear of it. Nothing when none is open.
    void Close();

    bool IsOpen() const;
    bool IsHost() const;
    // The port hosted on (or joined).
    std::uint16_t Port() const;

    // The host's current description (the client's: the last one heard);
    // the host's changes go to every client.
    NetSessionDesc SessionDesc() const;
    void SetSessionDesc(const NetSessionDesc& desc);

    // Creates a player of this machine: the host's first player with
    // `server` is id 1; a client's takes the id the host gave it. The others
    // hear of it (create-player system message). 0 when no session is open,
    // the name or data are too long, or the client has its player already.
    std::uint32_t CreatePlayer(const char* name, const void* data, std::size_t size, bool server);
    // Destroys or renames a player of this machine.
    bool DestroyPlayer(std::uint32_t id);
    bool SetPlayerName(std::uint32_t id, const char* name);
    // The players of the session as this machine knows them.
    std::vector<std::uint32_t> PlayerIds() const;
    bool HasPlayer(std::uint32_t id) const;

    // Sends from one of this machine's players to a player (0: every other
    // player). False when no session is open, `from` is not this machine's,
    // the message is empty or larger than kMaxNetMessage, or the
    // connection refuses it.
    bool Send(std::uint32_t from, std::uint32_t to, const void* data, std::size_t size, bool guaranteed);

    // Takes the next waiting message; false when none is waiting.
    bool Receive(NetMessage& message);
    // Waits up to `ms` for a message to be waiting; true when one is.
    bool WaitForMessage(std::uint32_t ms);

    // A machine silent for this long counts as gone (default 10 s): the
    // host destroys its players, a client loses the session.
    void SetSilenceTimeout(std::uint32_t ms);
    std::uint32_t SilenceTimeout() const;

    // Test seam: stops at once as a machine that died would, telling
    // nobody; the others hear of it only by its silence.
    void Abandon();

    // Test seam (see NetSendFilter); null removes it.
    void SetSendFilter(NetSendFilter filter);

    struct Impl;

private:
    std::unique_ptr<Impl> m_impl;
};

} // namespace platform
