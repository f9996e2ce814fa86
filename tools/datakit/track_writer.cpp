#include "tools/datakit/track_writer.h"
#include "tools/datakit/text_file_builder.h"

#include <cmath>
#include <stdexcept>
#include <system_error>

#include "platform/atomic_file.h"
#include "platform/byte_writer.h"

namespace datakit {

namespace {

void point(platform::ByteWriter& out, const TrackFilePoint& p)
{
    out.f32(p.x);
    out.f32(p.y);
    out.f32(p.z);
}

// Files land in folders that may not exist yet ("Data\Tracks").
bool make_parent(const std::filesystem::path& path, std::string& error)
{
    if (!path.has_parent_path())
        return true;
    return create_folders(path.parent_path(), error);
}

} // namespace

std::vector<std::uint8_t> track_file_bytes(const TrackFile& track)
{
    platform::ByteWriter out;
    out.i32(static_cast<std::int32_t>(track.segments.size()));
    for (const TrackFileSegment& s : track.segments) {
        out.f32(s.radius);
        out.f32(s.length);
        out.f32(s.heading);
        out.f32(s.start_x);
        out.f32(s.start_z);
        out.f32(s.speed_limit);
    }
    out.i32(static_cast<std::int32_t>(track.metres.size()));
    for (const TrackFileMetre& m : track.metres) {
        out.i32(m.section);
        out.f32(m.low_bound);
        out.f32(m.high_bound);
        out.f32(m.ref_speed);
    }
    out.i32(static_cast<std::int32_t>(track.sections.size()));
    for (const TrackFileSection& s : track.sections) {
        point(out, s.inner0);
        point(out, s.inner1);
        point(out, s.edge0);
        point(out, s.edge1);
        out.u8(s.left_surface);
        out.u8(s.right_surface);
        out.zeros(2);
        out.i32(s.left_strips);
        out.i32(s.right_strips);
        out.zeros(8);
    }
    out.i32(static_cast<std::int32_t>(track.strips.size()));
    for (const TrackFileStrip& s : track.strips) {
        point(out, s.side0);
        point(out, s.side1);
        point(out, s.middle);
    }
    for (const TrackFileXZ& slot : track.slots) {
        out.f32(slot.x);
        out.f32(slot.z);
    }
    out.i32(static_cast<std::int32_t>(track.patches.size()));
    for (const TrackFilePatch& p : track.patches) {
        out.u8(p.surface);
        out.i32(p.first_section);
        out.i32(p.section_count);
        out.i32(p.spare);
        out.i32(static_cast<std::int32_t>(p.points.size()));
        for (const TrackFileXZ& v : p.points) {
            out.f32(v.x);
            out.f32(v.z);
        }
    }
    return out.bytes();
}

bool write_track_file(const std::filesystem::path& path, const TrackFile& track, std::string& error)
{
    if (!make_parent(path, error))
        return false;
    return platform::write_file_atomic(path.string(), track_file_bytes(track), &error);
}

std::vector<std::uint8_t> heights_file_bytes(const std::vector<float>& profile)
{
    if (profile.size() != kBumpProfileEntries)
        throw std::invalid_argument("a bump profile has exactly 1024 entries");
    platform::ByteWriter out;
    for (const float v : profile)
        out.f32(v);
    return out.bytes();
}

bool write_heights_file(const std::filesystem::path& path, const std::vector<float>& profile, std::string& error)
{
    if (!make_parent(path, error))
        return false;
    return platform::write_file_atomic(path.string(), heights_file_bytes(profile), &error);
}

std::vector<float> demo_bump_profile()
{
    // A few sine waves with whole numbers of periods over the table, so the
    // profile joins itself smoothly where the index wraps.
    struct Wave {
        double cycles;
        double amplitude;
        double phase;
    };
    static constexpr Wave waves[] = {
        {3.0, 0.35, 0.4}, {11.0, 0.25, 1.9}, {29.0, 0.2, 4.1}, {71.0, 0.12, 2.6}, {157.0, 0.08, 5.3},
    };
    constexpr double two_pi = 6.283185307179586;
    std::vector<float> profile(kBumpProfileEntries);
    double largest = 0.0;
    std::vector<double> raw(kBumpProfileEntries);
    for (std::size_t i = 0; i < kBumpProfileEntries; ++i) {
        double v = 0.0;
        for (const Wave& w : waves)
            v += w.amplitude * std::sin(two_pi * w.cycles * static_cast<double>(i) / kBumpProfileEntries + w.phase);
        raw[i] = v;
        largest = std::fmax(largest, std::fabs(v));
    }
    for (std::size_t i = 0; i < kBumpProfileEntries; ++i)
        profile[i] = static_cast<float>(raw[i] / largest);
    return profile;
}

} // namespace datakit
