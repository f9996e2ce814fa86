#include "tools/racesim/race_net.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "app/game_app.h"
#include "net/net_session.h"
#include "net/net_sync.h"
#include "platform/byte_reader.h"
#include "platform/byte_writer.h"
#include "platform/clock.h"
#include "sim/bike.h"
#include "sim/track.h"
#include "sim/wrap_angle.h"
#include "tools/racesim/race_sim.h"

namespace racesim {

namespace {

constexpr std::size_t kTrackBytes = 12;
constexpr std::size_t kDescriptionBytes = kTrackBytes + 6 * 4 + 8;

std::vector<std::uint8_t> Describe(const Options& o)
{
    std::vector<std::uint8_t> bytes;
    platform::ByteWriter out(bytes);
    out.fixed_string(o.track, kTrackBytes);
    out.i32(o.session);
    out.i32(o.riders);
    out.i32(o.laps);
    out.i32(o.skill);
    out.i32(o.weather);
    out.u32(o.seed);
    out.f64(o.frame_time);
    return bytes;
}

// The description the host sent, checked as the command line would be.
bool ReadDescription(const std::vector<std::uint8_t>& bytes, Options& o, std::string& error)
{
    platform::ByteReader in(bytes);
    Options d = o;
    d.track = in.fixed_string(kTrackBytes);
    d.session = in.i32();
    d.riders = in.i32();
    d.laps = in.i32();
    d.skill = in.i32();
    d.weather = in.i32();
    d.seed = in.u32();
    d.frame_time = in.f64();
    const bool ok = in.ok() && !d.track.empty() && d.session >= 3 && d.session <= 6 && d.riders >= 2 &&
                    d.riders <= 32 && d.laps >= 1 && d.laps <= 99 && d.skill >= 0 && d.skill <= 3 &&
                    d.weather >= 0 && d.weather <= 2 && d.frame_time >= 0.001 && d.frame_time <= 1.0;
    if (!ok) {
        error = "the host's race description is not a race this runner can run";
        return false;
    }
    o.track = d.track;
    o.session = d.session;
    o.riders = d.riders;
    o.laps = d.laps;
    o.skill = d.skill;
    o.weather = d.weather;
    o.seed = d.seed;
    o.frame_time = d.frame_time;
    return true;
}

} // namespace

NetPlay::NetPlay() = default;
NetPlay::~NetPlay() = default;

bool HostNetRace(std::uint16_t port, std::uint32_t waitMs, const Options& options, NetPlay& play,
                 const std::function<void(std::uint16_t)>& listening, std::string& error)
{
    play.session = std::make_unique<NetSession>();
    NetSession& s = *play.session;
    s.Port = port;
    s.SelectConnection(kNetKindTcp);
    if (s.Host("torvane-racesim", 2, 1, 1, 0, 0, 0) != kNetOk) {
        error = "the session cannot be hosted on port " + std::to_string(port);
        return false;
    }
    play.host = true;
    play.own = s.CreatePlayer("HOST", nullptr, 0, kNetPlayerServer);
    if (listening)
        listening(s.Transport().Port());
    const std::uint32_t start = platform::real_time_get_time();
    while (s.PlayerCount() < 2) {
        if (platform::elapsed_ms(start, platform::real_time_get_time()) >= waitMs) {
            error = "nobody joined";
            return false;
        }
        const std::uint8_t* data = nullptr;
        std::size_t size = 0;
        if (s.Receive(data, size) == 0)
            s.WaitForMessage(10);
    }
    play.other = s.PlayerAt(1)->Id;
    std::vector<std::uint8_t> description = Describe(options);
    GameApp app;
    app.Flags = kAppFlagNetwork | kAppFlagNetworkHost;
    if (!ExchangeBlockOver(s, app, description.data(), description.size(), waitMs)) {
        error = "the race could not be sent";
        return false;
    }
    return true;
}

bool JoinNetRace(const std::string& address, std::uint32_t waitMs, Options& options, NetPlay& play,
                 std::string& error)
{
    play.session = std::make_unique<NetSession>();
    NetSession& s = *play.session;
    std::strncpy(s.TcpAddress, address.c_str(), sizeof s.TcpAddress - 1);
    s.SelectConnection(kNetKindTcp);
    s.FindWaitMs = 3000;
    if (s.EnumSessions(false) != kNetOk || s.SessionCount() == 0) {
        error = "no session at " + address;
        return false;
    }
    if (s.Join(0) != kNetOk) {
        error = "the session at " + address + " cannot be joined";
        return false;
    }
    play.own = s.CreatePlayer("RIDER", nullptr, 0, 0);
    play.other = 1;
    std::vector<std::uint8_t> description(kDescriptionBytes);
    GameApp app;
    app.Flags = kAppFlagNetwork;
    if (play.own == 0 || !ExchangeBlockOver(s, app, description.data(), description.size(), waitMs)) {
        error = "the host sent no race";
        return false;
    }
    return ReadDescription(description, options, error);
}

ControlRecord ScriptedControls(const Bike& bike)
{
    ControlRecord c = bike.Controls;
    c.Posture = 0;
    const Track* path = bike.Path;
    if (!path || path->MetreCount() == 0 || path->Length <= 0.0f) {
        c.Throttle = 40;
        c.Brake = 0;
        c.SteerInput = 0;
        return c;
    }
    float d = bike.Progress + 25.0f + 0.5f * std::max(bike.Speed, 0.0f);
    d = std::fmod(d, path->Length);
    if (d < 0.0f)
        d += path->Length;
    Vec2 point;
    path->DistanceToPoint(d, &point, nullptr);
    const float error = WrapAngle(bike.Heading, std::atan2(point.x - bike.Position.x, point.z - bike.Position.z));
    const float steer = std::clamp(error * 2.0f, -1.0f, 1.0f);
    c.SteerInput = static_cast<std::int8_t>(std::lround(steer * steer * steer * 127.0f));
    const int metre = std::clamp(static_cast<int>(d), 0, path->MetreCount() - 1);
    const float reference = 0.8f * path->Metres[static_cast<std::size_t>(metre)].RefSpeed;
    c.Throttle = bike.Speed < reference ? 110 : 0;
    c.Brake = bike.Speed > reference + 4.0f ? 80 : 0;
    return c;
}

} // namespace racesim
