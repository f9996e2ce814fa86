#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "input/control_record.h"

class Bike;
class NetSession;

// Two race runners racing each other over the network: one hosts a session
// and waits for the other to join; the host sends the race's description
// (track, session, riders, laps, skill, weather, seed, frame time), both
// load the same race, and each drives its own player's rider through the
// lockstep exchange with scripted controls (ScriptedControls), so real
// controls cross the network while both simulate every bike.
namespace racesim {

struct Options;

struct NetPlay {
    std::unique_ptr<NetSession> session;
    bool host = false;
    std::uint32_t own = 0;   // this runner's player id
    std::uint32_t other = 0; // the other runner's
    NetPlay();
    ~NetPlay();
};

// The rider ids the two players ride: the host's, the client's.
inline constexpr int kHostRider = 0;
inline constexpr int kClientRider = 1;

// Hosts on `port` (0: a free one), tells `listening` the port, waits up to
// `waitMs` for the other runner and sends it the race of `options`.
bool HostNetRace(std::uint16_t port, std::uint32_t waitMs, const Options& options, NetPlay& play,
                 const std::function<void(std::uint16_t)>& listening, std::string& error);
// Joins the runner at "host:port" and takes the race it sends into `options`.
bool JoinNetRace(const std::string& address, std::uint32_t waitMs, Options& options, NetPlay& play,
                 std::string& error);

// A player's controls on a frame: steer toward the track 25 m ahead (and
// more with speed), hold the path's reference speed.
ControlRecord ScriptedControls(const Bike& bike);

} // namespace racesim
