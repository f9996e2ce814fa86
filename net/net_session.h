#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "input/net_link.h"
#include "platform/net_transport.h"

// The network session: the game's one network object. It finds the usable
// connection kinds, lists, creates and joins sessions, keeps the session's
// player list (which the race preparation and the weather choice read) and
// sends and receives the game's messages over the platform's transport
// (platform/net_transport.h). Only TCP/IP connections exist here: the IPX,
// modem and serial probes report their kinds unavailable.

// One player of the session: his id, his name and his player data (the
// lobby's player record, net/lobby_player_record.h).
struct NetPlayer {
    std::uint32_t Id = 0;
    char Name[64] = {};
    std::vector<std::uint8_t> Data;
};

// Connection kinds (bits of the unavailable mask).
inline constexpr std::uint32_t kNetKindIpx = 1;
inline constexpr std::uint32_t kNetKindTcp = 2;
inline constexpr std::uint32_t kNetKindModem = 4;
inline constexpr std::uint32_t kNetKindSerial = 8;
inline constexpr std::uint32_t kNetKindOther = 32;

// Results of the session's operations.
inline constexpr std::uint32_t kNetOk = 0;
inline constexpr std::uint32_t kNetErrGeneric = 0x80004005;
inline constexpr std::uint32_t kNetErrNoConnection = 0x887700FA;   // no listed connection of the kind
inline constexpr std::uint32_t kNetErrBadSession = 0x88770140;     // session index outside the list
inline constexpr std::uint32_t kNetErrNoSessions = 0x88770180;     // sessions cannot be looked for

// Send flags.
inline constexpr std::uint32_t kNetSendGuaranteed = 0x1;
// Player creation flags.
inline constexpr std::uint32_t kNetPlayerServer = 0x100;

struct NetConnection {
    std::uint32_t Kind = 0;
    char Name[256] = {};
};

struct NetSessionEntry {
    platform::NetSessionDesc Desc;
    char Name[128] = {};
    std::string Host;
    std::uint16_t Port = 0;
};

class NetSession : public InputNetLink {
public:
    // Probes the connection kinds (nothing is opened).
    NetSession();
    ~NetSession() override;
    NetSession(const NetSession&) = delete;
    NetSession& operator=(const NetSession&) = delete;

    // ---- Connections ----
    std::uint32_t UnavailableMask() const { return m_dwUnavailable; }
    int ConnectionCount() const { return static_cast<int>(m_Connections.size()); }
    const char* ConnectionNameAt(int index) const;
    // kNetOk, or kNetErrNoConnection when no listed connection is of the kind.
    std::uint32_t SelectConnection(std::uint32_t kind);
    bool ConnectionChosen() const { return m_bConnectionChosen != 0; }
    // Ends the session and the chosen connection and empties the lists
    // (the address and port stay).
    void ReleaseInterfaces();

    // The TCP/IP address sessions are looked for at: a name or address,
    // optionally with ":port"; empty: a broadcast on the local network.
    char TcpAddress[128] = {};
    // The port sessions are hosted on and looked for on when the address
    // names none.
    std::uint16_t Port = platform::kDefaultNetPort;
    // How long a search for sessions collects answers.
    std::uint32_t FindWaitMs = 150;

    // ---- Sessions ----
    // kNetOk at once when a session is open; otherwise the list is filled
    // anew from the answers. A search never repeats: `singlePass` is kept
    // for its callers.
    std::uint32_t EnumSessions(bool singlePass);
    int SessionCount() const { return static_cast<int>(m_Sessions.size()); }
    // Refreshed from the open session's description.
    const NetSessionEntry* SessionAt(int index);
    const char* SessionNameAt(int index) const;
    // Creates the session (or, open, updates its description: kNetOk).
    std::uint32_t Host(const char* name, std::uint32_t maxPlayers, std::uint32_t user1, std::uint32_t user2,
                       std::uint32_t user3, std::uint32_t user4, std::uint32_t flags);
    std::uint32_t Join(int index);
    bool SessionOpen() const { return m_bSessionOpen != 0; }
    bool IsHostMachine() const;

    // ---- Players ----
    // The index-th player of the list; null past the end.
    const NetPlayer* PlayerAt(int index) const;
    int PlayerCount() const { return static_cast<int>(m_Players.size()); }
    const NetPlayer* FindPlayer(std::uint32_t id) const;
    int PlayerIndex(std::uint32_t id) const;
    const char* PlayerNameById(std::uint32_t id) const;
    // A listed id takes only the first word of the new data; a new id is
    // appended with a copy of the data. The name is cut to 63 characters.
    void AddPlayer(const char* name, std::uint32_t id, const void* data, std::size_t size);
    // Unlinks the player with that id (nothing when there is none).
    void RemovePlayer(std::uint32_t id);
    void RenamePlayer(std::uint32_t id, const char* name);
    // The player's data take these bytes whole (a listed id only).
    void SetPlayerData(std::uint32_t id, const void* data, std::size_t size);
    // Creates this machine's player in the open session and lists it; its
    // id, 0 on failure.
    std::uint32_t CreatePlayer(const char* name, const void* data, std::size_t size, std::uint32_t flags);

    // The id of this machine's own player.
    std::uint32_t LocalPlayerId = 0;

    // ---- Messages ----
    // Sends one application message; flags kNetSendGuaranteed for a
    // guaranteed send. False when it could not go out.
    bool Send(std::uint32_t from, std::uint32_t to, const void* data, std::size_t size, std::uint32_t flags);
    // The next application message (its bytes valid until the next call):
    // the sender's id, 0 when none is waiting. System messages are handled
    // inside (the handler) and not returned; application messages shorter
    // than 4 bytes are dropped.
    std::uint32_t Receive(const std::uint8_t*& data, std::size_t& size);
    // Puts messages taken during a wait back in front of the queue, in
    // their order, for the next Receive calls.
    struct Kept {
        std::uint32_t From = 0;
        std::vector<std::uint8_t> Data;
    };
    void KeepForLater(std::vector<Kept> messages);
    // Waits up to `ms` for a message (real time).
    bool WaitForMessage(std::uint32_t ms);

    // The system-message handler; null: OnSystemMessage (the default).
    using SystemHandler = std::function<void(NetSession&, const std::uint8_t* data, std::size_t size)>;
    void SetSystemHandler(SystemHandler handler);
    void OnSystemMessage(const std::uint8_t* data, std::size_t size);

    // The transport itself (the tests' fault seam and silence time-out).
    platform::NetTransport& Transport() { return *m_pTransport; }

    // ---- The lockstep exchange's link ----
    bool SendFrame(std::uint32_t from, std::uint32_t to, const void* data, std::size_t size, bool guaranteed) override;
    std::uint32_t ReceiveFrame(const std::uint8_t*& data, std::size_t& size) override;
    bool WaitForFrame(std::uint32_t ms) override;
    bool PlayerPresent(std::uint32_t id) const override;
    bool LinkOpen() const override;

private:
    void AddConnection(std::uint32_t kind, const char* name);

    std::unique_ptr<platform::NetTransport> m_pTransport;
    std::uint32_t m_dwUnavailable = 0;
    std::uint8_t m_bConnectionChosen = 0;
    std::uint8_t m_bSessionOpen = 0;
    std::vector<NetConnection> m_Connections;
    std::vector<NetSessionEntry> m_Sessions;
    std::vector<NetPlayer> m_Players;
    std::deque<Kept> m_Kept;
    platform::NetMessage m_Received;
    SystemHandler m_Handler;
};

// The program's network session (null when none was made).
extern NetSession* g_pNetSession;

// Set while a network game runs.
extern std::uint8_t g_bNetworkGame;
