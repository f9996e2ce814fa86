#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The network session: the game's one network object. This holds the
// session's player list, which the race preparation and the weather choice
// read; the connections, sessions and messages join it with the multiplayer
// code.

// One player of the session: his id, his name and his player data (the
// lobby's player record, net/lobby_player_record.h).
struct NetPlayer {
    std::uint32_t Id = 0;
    char Name[64] = {};
    std::vector<std::uint8_t> Data;
};

class NetSession {
public:
    NetSession() = default;
    NetSession(const NetSession&) = delete;
    NetSession& operator=(const NetSession&) = delete;

    // The index-th player of the list; null past the end.
    const NetPlayer* PlayerAt(int index) const;
    int PlayerCount() const { return static_cast<int>(m_Players.size()); }

    // A listed id takes only the first word of the new data; a new id is
    // appended with a copy of the data. The name is cut to 63 characters.
    void AddPlayer(const char* name, std::uint32_t id, const void* data, std::size_t size);
    // Unlinks the player with that id (nothing when there is none).
    void RemovePlayer(std::uint32_t id);

    // The id of this machine's own player.
    std::uint32_t LocalPlayerId = 0;

private:
    std::vector<NetPlayer> m_Players;
};

// The program's network session (null when none was made).
extern NetSession* g_pNetSession;

// Set while a network game runs.
extern std::uint8_t g_bNetworkGame;
