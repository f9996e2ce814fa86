#include "input/replay_file.h"

#include <cmath>
#include <cstring>

#include "platform/byte_reader.h"

namespace {

std::int32_t WordAt(std::span<const std::uint8_t> header, std::size_t offset)
{
    platform::ByteReader in(header.data() + offset, 4);
    return in.i32();
}

bool InRange(std::int32_t value, int lo, int hi)
{
    return value >= lo && value <= hi;
}

} // namespace

bool CheckReplayHeader(std::span<const std::uint8_t> header, std::string& why)
{
    if (header.size() < kReplayHeaderBytes) {
        why = "the file ends inside the race header";
        return false;
    }
    const std::int32_t riders = WordAt(header, kReplayHeaderRiders);
    const std::int32_t humans = WordAt(header, kReplayHeaderHumans);
    if (!InRange(riders, 0, kReplayMaxRiders)) {
        why = "the rider count " + std::to_string(riders) + " is outside 0.." + std::to_string(kReplayMaxRiders);
        return false;
    }
    if (!InRange(humans, 0, riders)) {
        why = "the human rider count " + std::to_string(humans) + " is outside 0.." + std::to_string(riders);
        return false;
    }
    struct Field {
        std::size_t offset;
        const char* name;
        int most;
    };
    static constexpr Field kFields[] = {{kReplayHeaderLaps, "laps", kReplayMaxLaps},
                                        {kReplayHeaderSkill, "skill", kReplayMaxSkill},
                                        {kReplayHeaderWeather, "weather", kReplayMaxWeather},
                                        {kReplayHeaderSession, "session type", kReplayMaxSession}};
    for (const Field& f : kFields) {
        const std::int32_t v = WordAt(header, f.offset);
        if (!InRange(v, 0, f.most)) {
            why = std::string("the ") + f.name + " " + std::to_string(v) + " is outside 0.." + std::to_string(f.most);
            return false;
        }
    }
    const std::uint8_t* track = header.data() + kReplayHeaderTrack;
    if (!std::memchr(track, 0, kReplayHeaderTrackBytes)) {
        why = "the track name is not terminated";
        return false;
    }
    if (track[0] == 0) {
        why = "the track name is empty";
        return false;
    }
    return true;
}

std::string ReplayTrackName(std::span<const std::uint8_t> header)
{
    if (header.size() < kReplayHeaderBytes)
        return {};
    platform::ByteReader in(header.data() + kReplayHeaderTrack, kReplayHeaderTrackBytes);
    return in.fixed_string(kReplayHeaderTrackBytes);
}

bool ParseReplayFile(std::span<const std::uint8_t> bytes, ReplayFileContents& out, std::string& why)
{
    platform::ByteReader in(bytes);
    ReplayFileContents file;
    const std::span<const std::uint8_t> header = in.view(kReplayHeaderBytes);
    if (!CheckReplayHeader(header, why))
        return false;
    file.header.assign(header.begin(), header.end());
    file.humans = WordAt(header, kReplayHeaderHumans);

    const std::size_t playerBytes = static_cast<std::size_t>(file.humans) * kReplayPlayerBytes;
    const std::span<const std::uint8_t> players = in.view(playerBytes);
    if (!in.ok()) {
        why = "the file ends inside the player records";
        return false;
    }
    file.players.assign(players.begin(), players.end());

    file.length = in.f32();
    const std::int32_t frames = in.i32();
    if (!in.ok()) {
        why = "the file ends before the record count";
        return false;
    }
    if (!std::isfinite(file.length) || file.length < 0.0f) {
        why = "the replay length is not a time";
        return false;
    }
    const std::size_t recordBytes = ReplayRecordBytes(file.humans);
    if (frames < 0 || static_cast<std::size_t>(frames) > in.remaining() / recordBytes) {
        why = "the record count " + std::to_string(frames) + " does not fit the " + std::to_string(in.remaining()) +
              " bytes left";
        return false;
    }
    file.frames = frames;
    const std::span<const std::uint8_t> records = in.view(static_cast<std::size_t>(frames) * recordBytes);
    for (int i = 0; i < frames; ++i) {
        platform::ByteReader record(records.data() + static_cast<std::size_t>(i) * recordBytes, 4);
        const float step = record.f32();
        if (!(step > 0.0f && step <= kReplayMaxTimeStep)) {
            why = "record " + std::to_string(i) + " has no usable time step";
            return false;
        }
    }
    file.records.assign(records.begin(), records.end());
    out = std::move(file);
    return true;
}
