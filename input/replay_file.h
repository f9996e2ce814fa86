#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

// The ".rpl" file of an input replay, little-endian:
//
//   0            180 bytes   the race header (below)
//   180          188 x H     the H player records of the race
//   180 + 188H   f32         the replay's length in seconds
//   +4           i32         the record count N
//   +8           N records   each: f32 time step, then H six-byte control
//                            records in target order
//
// The race header, as the application keeps it: 0 rider count, 4 human
// riders H, 8 the 32 championship rider ids, 136 the player records'
// pointer (written as four zero bytes, never read), 140 the track name
// (12 bytes, zero-terminated), 152 race flags, 156 laps, 160 skill,
// 164 weather, 168 session type, 172 and 176 the two temperatures.

inline constexpr std::size_t kReplayHeaderBytes = 180;
inline constexpr std::size_t kReplayPlayerBytes = 188;
inline constexpr std::size_t kReplayHeaderRiders = 0;
inline constexpr std::size_t kReplayHeaderHumans = 4;
inline constexpr std::size_t kReplayHeaderPlayers = 136;
inline constexpr std::size_t kReplayHeaderTrack = 140;
inline constexpr std::size_t kReplayHeaderTrackBytes = 12;
inline constexpr std::size_t kReplayHeaderLaps = 156;
inline constexpr std::size_t kReplayHeaderSkill = 160;
inline constexpr std::size_t kReplayHeaderWeather = 164;
inline constexpr std::size_t kReplayHeaderSession = 168;

// What a replay's header may hold: the menus' ranges.
inline constexpr int kReplayMaxRiders = 32;
inline constexpr int kReplayMaxLaps = 99;
inline constexpr int kReplayMaxSkill = 3;
inline constexpr int kReplayMaxWeather = 2;
inline constexpr int kReplayMaxSession = 6;

// A record's time step is what the race simulates of one frame: more than
// 0 and at most 1 s (the race never simulates more of a frame).
inline constexpr float kReplayMaxTimeStep = 1.0f;

// Bytes of one input record of a replay with `humans` human riders.
constexpr std::size_t ReplayRecordBytes(int humans)
{
    return static_cast<std::size_t>(humans) * 6 + 4;
}

// A replay file's contents, checked.
struct ReplayFileContents {
    std::vector<std::uint8_t> header;  // kReplayHeaderBytes
    std::vector<std::uint8_t> players; // humans x kReplayPlayerBytes
    int humans = 0;
    float length = 0.0f;
    int frames = 0;
    std::vector<std::uint8_t> records; // frames x ReplayRecordBytes(humans)
};

// Reads a whole replay file from its bytes. False, with `why` saying what
// is wrong and `out` untouched, for a file that is short or damaged: a
// rider count outside 0..32, a human count outside 0..riders, laps, skill,
// weather or session outside the menus' ranges, a track name that is empty
// or not terminated in its 12 bytes, a length that is not a number or
// negative, a record count that is negative or more than the bytes left
// hold, or a record whose time step is not a number, not above 0 or above
// kReplayMaxTimeStep. Bytes after the last record are ignored.
bool ParseReplayFile(std::span<const std::uint8_t> bytes, ReplayFileContents& out, std::string& why);

// Checks a race header's fields as ParseReplayFile does; the same `why`.
bool CheckReplayHeader(std::span<const std::uint8_t> header, std::string& why);

// The race header's track name (empty when the header is too short).
std::string ReplayTrackName(std::span<const std::uint8_t> header);
