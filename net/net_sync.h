#pragma once

#include <cstddef>
#include <cstdint>

class GameApp;
class NetSession;

// The start-of-race barrier over a network session (GameApp::SyncPlayers
// runs it over the program's session): the barrier's counter goes up by
// one; a client reports it to the host (again every 3 s) and waits for the
// host's release; the host waits until every human player that is not its
// own has reported or left the session, then releases everybody. Messages
// of other kinds that arrive meanwhile are kept for the next Receive calls.
// False when the wait ended without a release: the time-out passed, or the
// session was lost (the host releases the others all the same).
bool SyncPlayersOver(NetSession& session, GameApp& app, std::uint32_t timeoutMs);

// GameApp::ExchangeBlock over a session, with a time-out for the client.
bool ExchangeBlockOver(NetSession& session, GameApp& app, void* block, std::size_t size, std::uint32_t timeoutMs);

// How long the game's barrier waits at most (a peer still loading its race
// has this long to come).
inline constexpr std::uint32_t kDefaultBarrierTimeoutMs = 60000;
extern std::uint32_t g_nBarrierTimeoutMs;
