#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// Writes the track geometry files ("Data\Tracks\<name>.dat") and the bump
// profile ("Data\Heights.dat"), field by field, little-endian, with no header
// and no padding.
namespace datakit {

struct TrackFilePoint {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
};

struct TrackFileXZ {
    float x = 0.0f;
    float z = 0.0f;
};

// 24 bytes: signed radius (0 straight, positive turns left), length, heading
// at the start, start x and z, speed limit in km/h (0 none).
struct TrackFileSegment {
    float radius = 0.0f;
    float length = 0.0f;
    float heading = 0.0f;
    float start_x = 0.0f;
    float start_z = 0.0f;
    float speed_limit = 0.0f;
};

// 16 bytes per metre of path.
struct TrackFileMetre {
    std::int32_t section = 0;
    float low_bound = 0.0f;  // usable road toward the right edge, m (positive)
    float high_bound = 0.0f; // usable road toward the left edge, m (positive)
    float ref_speed = 0.0f;  // m/s
};

inline constexpr std::int32_t kTrackFileNoStrips = 0x7FFFFFFF;

// 68 bytes: inner0, inner1, edge0, edge1 (x, y, z each), left and right verge
// classes, two zero bytes, first strips of the left and right verge, eight
// zero bytes.
struct TrackFileSection {
    TrackFilePoint inner0;
    TrackFilePoint inner1;
    TrackFilePoint edge0;
    TrackFilePoint edge1;
    std::uint8_t left_surface = 1;
    std::uint8_t right_surface = 1;
    std::int32_t left_strips = kTrackFileNoStrips;
    std::int32_t right_strips = kTrackFileNoStrips;
};

// 36 bytes: side0, side1, middle.
struct TrackFileStrip {
    TrackFilePoint side0;
    TrackFilePoint side1;
    TrackFilePoint middle;
};

// u8 surface, i32 first section, i32 section count, i32 spare, i32 point
// count, points.
struct TrackFilePatch {
    std::uint8_t surface = 0;
    std::int32_t first_section = 0;
    std::int32_t section_count = 0;
    std::int32_t spare = 0;
    std::vector<TrackFileXZ> points;
};

struct TrackFile {
    std::vector<TrackFileSegment> segments;
    std::vector<TrackFileMetre> metres;
    std::vector<TrackFileSection> sections;
    std::vector<TrackFileStrip> strips;
    std::array<TrackFileXZ, 32> slots{};
    std::vector<TrackFilePatch> patches;
};

// The bytes of a track file.
std::vector<std::uint8_t> track_file_bytes(const TrackFile& track);

// Writes a track file (atomically). False and `error` on failure.
bool write_track_file(const std::filesystem::path& path, const TrackFile& track, std::string& error);

inline constexpr std::size_t kBumpProfileEntries = 1024;

// The bytes of "Data\Heights.dat": the entries as f32 (exactly 1024).
std::vector<std::uint8_t> heights_file_bytes(const std::vector<float>& profile);
bool write_heights_file(const std::filesystem::path& path, const std::vector<float>& profile, std::string& error);

// The demo bump profile: a smooth, periodic texture of values in [-1, 1]
// (the terrain's bump amplitude scales it to metres).
std::vector<float> demo_bump_profile();

} // namespace datakit
