#include "app/replay_description.h"

#include <algorithm>
#include <cstring>

#include "app/game_app.h"
#include "app/player_record.h"

namespace {

constexpr std::size_t kRaceHeaderBytes = 180;
constexpr std::size_t kTrackBytes = sizeof(GameApp::m_szTrack);

} // namespace

void WriteRaceHeader(platform::ByteWriter& out, const GameApp& app)
{
    out.i32(app.m_nRiders);
    out.i32(app.m_nHumans);
    for (std::int32_t id : app.m_RiderIds)
        out.i32(id);
    out.u32(0); // the players' pointer
    out.bytes(app.m_szTrack, kTrackBytes);
    out.u32(app.RaceFlags);
    out.i32(app.m_nLaps);
    out.i32(app.m_nSkill);
    out.i32(app.m_nWeather);
    out.i32(app.m_nSession);
    out.f32(app.m_fTemperature1);
    out.f32(app.m_fTemperature2);
}

bool ReadRaceHeader(platform::ByteReader& in, GameApp& app)
{
    if (!in.has(kRaceHeaderBytes))
        return false;
    app.m_nRiders = in.i32();
    app.m_nHumans = in.i32();
    for (std::int32_t& id : app.m_RiderIds)
        id = in.i32();
    in.skip(4); // the players' pointer, stale in any file
    in.bytes(app.m_szTrack, kTrackBytes);
    app.m_szTrack[kTrackBytes - 1] = '\0';
    app.RaceFlags = in.u32();
    app.m_nLaps = in.i32();
    app.m_nSkill = in.i32();
    app.m_nWeather = in.i32();
    app.m_nSession = in.i32();
    app.m_fTemperature1 = in.f32();
    app.m_fTemperature2 = in.f32();
    return true;
}

void GameAppReplayDescription::Describe(std::vector<std::uint8_t>& header, std::vector<std::uint8_t>& players) const
{
    header.clear();
    players.clear();
    platform::ByteWriter h(header);
    WriteRaceHeader(h, m_app);
    platform::ByteWriter p(players);
    const std::size_t humans = std::min(static_cast<std::size_t>(std::max(m_app.m_nHumans, 0)), m_app.m_Players.size());
    for (std::size_t i = 0; i < humans; ++i)
        WritePlayerRecord(p, m_app.m_Players[i]);
}

void GameAppReplayDescription::Adopt(const std::uint8_t* header, const std::uint8_t* players, int humans)
{
    platform::ByteReader h(header, kRaceHeaderBytes);
    ReadRaceHeader(h, m_app);
    m_app.ReleasePlayers();
    platform::ByteReader p(players, static_cast<std::size_t>(std::max(humans, 0)) * kPlayerRecordBytes);
    for (int i = 0; i < humans; ++i) {
        PlayerRecord record;
        if (ReadPlayerRecord(p, &record))
            m_app.AddPlayer(record);
    }
}
