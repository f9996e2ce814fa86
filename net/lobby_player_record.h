#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

class NetSession;
struct NetPlayer;

// The lobby's record of one player (232 bytes, little-endian), carried as
// the player's data in the session and in the lobby messages.
struct LobbyPlayerRecord {
    std::uint32_t MessageType = 0x1111;  // when sent alone
    std::uint32_t PlayerId = 0;
    std::uint32_t RandomSeed = 0;        // drawn by the host when the race starts
    std::int32_t SlotIndex = -1;         // given by the host; the host has 0
    std::int32_t Rider = -1;             // chosen championship rider, -1 none
    std::int32_t EventIndex = 0;         // championship event
    std::uint32_t State = 0;             // 0 host, 1 joined, 2 ready
    char Name[64] = {};
    std::uint32_t BikeFlags = 0;
    std::uint8_t BikeSettings[104] = {};
    std::int32_t RaceOptions[8] = {};    // the player's race-options block, in its order
};

inline constexpr std::size_t kLobbyPlayerRecordBytes = 232;

// Indexes into LobbyPlayerRecord::RaceOptions.
inline constexpr int kLobbySimulationRiders = 2;
inline constexpr int kLobbyArcadeRiders = 3;
inline constexpr int kLobbyWeather = 5;

std::vector<std::uint8_t> BuildLobbyPlayerRecord(const LobbyPlayerRecord& record);
// False when the bytes are not a whole record; the name is always left
// terminated.
bool ReadLobbyPlayerRecord(std::span<const std::uint8_t> bytes, LobbyPlayerRecord& record);

// The host: the first listed player whose record has slot index 0. Null
// when there is none; `record` takes the host's record.
const NetPlayer* FindSessionHost(const NetSession& session, LobbyPlayerRecord& record);
