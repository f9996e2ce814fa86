#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "net/lobby_player_record.h"

class GameApp;
class NetSession;

// The lobby's messages: while players meet before a network race, the host
// and the clients keep each other's player records up to date, chat, choose
// riders and agree on the start, by small messages over the session. Every
// message begins with a type word of one repeated hexadecimal digit:
//
//   0x1111  232  the sender's player record
//   0x2222  240  type, sender id, the sender's record (a client that joined)
//   0x3333  244  type, addressee id (-1 all), slot (-1 none), a record
//   0x4444   12  type, two words not read (the host leaves)
//   0x5555  140  type, addressee id (0 all), sender id, text[128] (chat)
//   0x6666   12  type, two words not read (race start)
//   0x7777  244  as 0x3333: the player list at race start
//   0x8888   12  type, player id, rider (request, and the host's reply)
//   0x9999   12  type, player id, a word not read (leave)
//
// Every message from the network is checked: its size must be its type's,
// the records' fields in range (ValidLobbyPlayerRecord), texts are
// terminated; records and requests from ids that are not listed players
// are ignored. Nothing a peer sends can throw.
inline constexpr std::uint32_t kLobbyRecord = 0x1111;
inline constexpr std::uint32_t kLobbyJoined = 0x2222;
inline constexpr std::uint32_t kLobbyPlayerList = 0x3333;
inline constexpr std::uint32_t kLobbyHostLeft = 0x4444;
inline constexpr std::uint32_t kLobbyChat = 0x5555;
inline constexpr std::uint32_t kLobbyStart = 0x6666;
inline constexpr std::uint32_t kLobbyStartList = 0x7777;
inline constexpr std::uint32_t kLobbyRider = 0x8888;
inline constexpr std::uint32_t kLobbyLeave = 0x9999;

inline constexpr std::size_t kLobbyChatTextBytes = 128;

// Player states of the record.
inline constexpr std::uint32_t kLobbyStateHost = 0;
inline constexpr std::uint32_t kLobbyStateJoined = 1;
inline constexpr std::uint32_t kLobbyStateReady = 2;

// The highest rider id a record may hold, and the most players a session has.
inline constexpr std::int32_t kLobbyMaxRider = 31;
inline constexpr std::int32_t kLobbyMaxPlayers = 8;

// The record's fields the game acts on are in range: slot -1..7, rider
// -1..31, event 0..11, state 0..2, laps 1..99, rider counts 1..33 (33: the
// track's default), difficulty 0..3, weather 0..3.
bool ValidLobbyPlayerRecord(const LobbyPlayerRecord& record);

// One chat line as the lobby shows it: "<sender's name>: <text>".
struct LobbyChatLine {
    std::uint32_t Sender = 0;
    std::string Text;
};

// The lobby's state on this machine.
struct LobbyState {
    LobbyPlayerRecord Own;          // this machine's player record
    std::uint32_t OwnId = 0;
    std::uint8_t IsHost = 0;
    std::uint8_t Joined = 0;        // a client that joined a session
    std::uint8_t Ended = 0;         // the session ended for this player
    std::uint8_t StartFlag = 0;     // a start message arrived
    std::uint8_t LobbyActive = 0;
    std::uint8_t RaceStart = 0;     // the menus start the race
    std::uint8_t InRace = 0;        // set when the race starts
    std::int32_t ListMessages = 0;  // 0x7777 messages received
    std::int32_t GameType = 0;      // the session's game type (1..4)
    std::int32_t EventIndex = 0;    // the championship event of the race (game type 1: the host's)
    // The championship's game mode word the race is run in, which the
    // screens copy into the championship: MultiStartRace sets it to 0 for
    // game type 1 and to 1 for type 2; other types leave it.
    std::int32_t GameMode = 0;
    std::vector<LobbyChatLine> Chat;
    // The rider of a player who left goes back to the championship (game
    // types 2 and 4); empty: nothing to give back.
    std::function<void(std::int32_t rider)> ReleaseRider;
};

// Sends one of the lobby's periodic or announcing messages (docs/net.md).
void LobbySend(NetSession& session, LobbyState& lobby, std::uint32_t type);
// Handles every waiting message: the type of the last one handled, or at
// once 0x4444, 0x6666, 0x8888 or 0x9999 as they arrive; 0 when nothing came.
std::uint32_t LobbyPoll(NetSession& session, LobbyState& lobby);
// Handles one message from player `from` (LobbyPoll checks first that he
// is in the session): the type handled, 0 when it was refused.
std::uint32_t LobbyHandle(NetSession& session, LobbyState& lobby, std::uint32_t from,
                          std::span<const std::uint8_t> bytes);
// Adds a chat line prefixed with its sender's name.
void ChatAddLine(NetSession& session, LobbyState& lobby, const char* text, std::uint32_t sender);
// Chat: a client sends its line to the host, the host to the addressee
// (0: everybody); the own line is shown when addressed to all or oneself.
void LobbyChat(NetSession& session, LobbyState& lobby, std::uint32_t addressee, const char* text);
// A client asks the host for a rider.
void LobbyAskRider(NetSession& session, LobbyState& lobby, std::int32_t rider);
// The host, when a player has gone from the session: his rider goes back,
// he is removed, every other player's slot becomes his place in the list,
// and everybody hears of it.
void LobbyPlayerGone(NetSession& session, LobbyState& lobby, std::uint32_t id);
// The host starts the race: players not ready are removed, the random value
// drawn, the player list and the start sent.
void LobbyHostStart(NetSession& session, LobbyState& lobby, std::uint32_t randomValue);

// Leaves the lobby for the race: the host's record (the first with slot 0)
// gives the event in game type 1; the game type gives the game mode word;
// the run flags take the network bit (and the host bit on
// the host), the application the own player id. False, with the ended flag
// set, when no host record is listed (the host left) or its event index is
// outside 0..11: the session ends with the notice instead.
bool MultiStartRace(NetSession& session, LobbyState& lobby, GameApp& app);
