#include "sim/track.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "app/game_error.h"
#include "app/mixer.h"
#include "platform/byte_reader.h"
#include "sim/heights.h"
#include "sim/step_isolation.h"

namespace {

constexpr float kHalfPi = 1.5707964f;
// A centre line whose end lies further than this from its start is an open
// path (a pit lane).
constexpr float kClosedGap = 1.0f;

// Everything a track file holds, read and checked before the Track takes it.
struct TrackFileContents {
    std::vector<TrackSegment> segments;
    std::vector<TrackMetre> metres;
    std::vector<TrackSection> sections;
    std::vector<TrackStrip> strips;
    std::vector<TrackPatch> patches;
    Vec2 slots[kTrackSlotCount];
};

class TrackFileParser {
public:
    TrackFileParser(const std::vector<std::uint8_t>& bytes, const std::string& file) : reader_(bytes), file_(file) {}

    TrackFileContents parse()
    {
        TrackFileContents out;
        read_segments(out);
        read_metres(out);
        read_sections(out);
        read_strips(out);
        read_slots(out);
        read_patches(out);
        check_cross_references(out);
        return out;
    }

private:
    [[noreturn]] void fail(const std::string& why) const
    {
        throw GameError("Damaged track file " + file_ + ": " + why);
    }

    // A record count: not negative, and the records must be in the file.
    std::size_t count(const char* table, std::size_t record_bytes)
    {
        const std::int32_t n = reader_.i32();
        if (!reader_.ok())
            fail(std::string("the file ends before the ") + table + " count");
        if (n < 0)
            fail(std::string("negative ") + table + " count " + std::to_string(n));
        if (static_cast<std::uint64_t>(n) * record_bytes > reader_.remaining())
            fail(std::string("the file is too short for ") + std::to_string(n) + " " + table);
        return static_cast<std::size_t>(n);
    }

    float number(const char* what)
    {
        const float v = reader_.f32();
        if (!std::isfinite(v))
            fail(std::string("a ") + what + " value is not a finite number");
        return v;
    }

    Vec3 point(const char* what)
    {
        const float x = number(what);
        const float y = number(what);
        const float z = number(what);
        return {x, y, z};
    }

    static std::uint8_t surface_class(std::uint8_t value)
    {
        return value < kTrackSurfaceCount ? value : static_cast<std::uint8_t>(kTrackSurfaceCount - 1);
    }

    void read_segments(TrackFileContents& out)
    {
        out.segments.resize(count("segments", kTrackSegmentBytes));
        for (TrackSegment& s : out.segments) {
            s.Radius = number("segment");
            s.Length = number("segment");
            s.Heading = number("segment");
            s.StartX = number("segment");
            s.StartZ = number("segment");
            s.SpeedLimit = number("segment");
            if (s.Length < 0.0f)
                fail("a segment has a negative length");
            // An arc's heading changes by Length / Radius: a radius below a
            // millimetre is no curve this program can follow.
            if (s.Radius != 0.0f && std::fabs(s.Radius) < 0.001f)
                fail("an arc has a radius below 1 mm");
        }
        // The path length, summed as the Track sums it: nothing can be
        // measured along a path of no length.
        float length = 0.0f;
        for (const TrackSegment& s : out.segments)
            length += s.Length;
        if (!out.segments.empty() && !(length > 0.0f && std::isfinite(length)))
            fail("the path length is " + std::to_string(length));
    }

    void read_metres(TrackFileContents& out)
    {
        out.metres.resize(count("metres", kTrackMetreBytes));
        for (TrackMetre& m : out.metres) {
            m.Section = reader_.i32();
            m.LowBound = number("metre");
            m.HighBound = number("metre");
            m.RefSpeed = number("metre");
        }
    }

    void read_sections(TrackFileContents& out)
    {
        out.sections.resize(count("cross-sections", kTrackSectionBytes));
        for (TrackSection& s : out.sections) {
            s.Inner0 = point("cross-section");
            s.Inner1 = point("cross-section");
            s.Edge0 = point("cross-section");
            s.Edge1 = point("cross-section");
            // Classes beyond the four known ones count as the last verge class.
            s.LeftSurface = surface_class(reader_.u8());
            s.RightSurface = surface_class(reader_.u8());
            reader_.skip(2);
            s.LeftStrips = reader_.i32();
            s.RightStrips = reader_.i32();
            reader_.skip(8);
        }
    }

    void read_strips(TrackFileContents& out)
    {
        out.strips.resize(count("strips", kTrackStripBytes));
        for (TrackStrip& s : out.strips) {
            s.Side0 = point("strip");
            s.Side1 = point("strip");
            s.Middle = point("strip");
        }
    }

    void read_slots(TrackFileContents& out)
    {
        if (!reader_.has(kTrackSlotsBytes))
            fail("the file ends inside the slot table");
        for (Vec2& slot : out.slots) {
            slot.x = number("slot");
            slot.z = number("slot");
        }
    }

    void read_patches(TrackFileContents& out)
    {
        // Each patch takes at least 17 bytes (its fields without points).
        const std::size_t n = count("patches", 17);
        out.patches.resize(n);
        for (TrackPatch& p : out.patches) {
            p.Surface = surface_class(reader_.u8());
            p.FirstSection = reader_.i32();
            p.SectionCount = reader_.i32();
            p.Spare = reader_.i32();
            p.Points.resize(count("patch points", 8));
            for (Vec2& v : p.Points) {
                v.x = number("patch point");
                v.z = number("patch point");
            }
        }
        if (!reader_.ok())
            fail("the file ends inside the patches");
    }

    // Indices between the tables: metre -> cross-section, cross-section ->
    // strips, patch -> cross-sections.
    void check_cross_references(const TrackFileContents& out) const
    {
        const std::int64_t sections = static_cast<std::int64_t>(out.sections.size());
        const std::int64_t strips = static_cast<std::int64_t>(out.strips.size());
        for (std::size_t k = 0; k < out.metres.size(); ++k) {
            const std::int32_t s = out.metres[k].Section;
            if (s < 0 || s >= sections)
                fail("metre " + std::to_string(k) + " names cross-section " + std::to_string(s) + " of " +
                     std::to_string(sections));
        }
        for (std::size_t a = 0; a < out.sections.size(); ++a) {
            const TrackSection& next = out.sections[(a + 1) % out.sections.size()];
            check_strip_range(out.sections[a].LeftStrips, next.LeftStrips, strips, a);
            check_strip_range(out.sections[a].RightStrips, next.RightStrips, strips, a);
        }
        for (std::size_t i = 0; i < out.patches.size(); ++i) {
            const TrackPatch& p = out.patches[i];
            if (p.FirstSection < 0 || p.SectionCount < 0 ||
                static_cast<std::int64_t>(p.FirstSection) + p.SectionCount > sections)
                fail("patch " + std::to_string(i) + " covers cross-sections outside the table");
        }
    }

    void check_strip_range(std::int32_t first, std::int32_t next_field, std::int64_t strips, std::size_t section) const
    {
        if (first < 0 || first == kTrackNoStrips)
            return;
        if (next_field == kTrackNoStrips || next_field == INT32_MIN)
            fail("the strips of cross-section " + std::to_string(section) + " have no end");
        const std::int64_t end = next_field < 0 ? -static_cast<std::int64_t>(next_field) : next_field;
        if (end < first)
            fail("the strips of cross-section " + std::to_string(section) + " end before they begin");
        // Rows k and k + 1 form the quads of k, so the last row used is `end`.
        if (end > first && end >= strips)
            fail("the strips of cross-section " + std::to_string(section) + " run past the strip table");
    }

    platform::ByteReader reader_;
    std::string file_;
};

} // namespace

Track::Track()
{
    EnsureBumpProfile();
}

Track::~Track() = default;

std::string Track::FileNameFor(const char* name)
{
    const std::string text = name ? name : "";
    // A name that already is a path is used as it stands.
    if (text.find_first_of("\\:/") != std::string::npos)
        return text;
    return "Data\\Tracks\\" + text + ".dat";
}

bool Track::Load(const char* name)
{
    const std::string file_name = FileNameFor(name);
    mixer file;
    if (file.open_file(file_name.c_str(), "rb") != 0)
        return false;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(file.size()));
    const int got = bytes.empty() ? 0 : file.read(bytes.data(), static_cast<int>(bytes.size()));
    file.close();
    if (got != static_cast<int>(bytes.size()))
        throw GameError("Cannot read track file " + file_name);

    TrackFileContents contents = TrackFileParser(bytes, file_name).parse();
    // Only a file that read whole replaces what the track held.
    Segments = std::move(contents.segments);
    Metres = std::move(contents.metres);
    Sections = std::move(contents.sections);
    Strips = std::move(contents.strips);
    Patches = std::move(contents.patches);
    for (int i = 0; i < kTrackSlotCount; ++i)
        Slots[i] = contents.slots[i];
    LookaheadLow.clear();
    LookaheadHigh.clear();
    LastSection = 0;
    BuildTables();
    return true;
}

void Track::BuildTables()
{
    const std::size_t n = Segments.size();
    SegmentAux.assign(n, Vec2{});
    SegmentStart.assign(n + 1, 0.0f);
    float s = 0.0f;
    for (std::size_t i = 0; i < n; ++i) {
        const TrackSegment& seg = Segments[i];
        SegmentStart[i] = s;
        s += seg.Length;
        if (seg.Radius == 0.0f) {
            SegmentAux[i] = {std::sin(seg.Heading), std::cos(seg.Heading)};
        } else {
            SegmentAux[i] = {seg.StartX + seg.Radius * std::sin(seg.Heading - kHalfPi),
                             seg.StartZ + seg.Radius * std::cos(seg.Heading - kHalfPi)};
        }
    }
    SegmentStart[n] = s;
    Length = s;

    Closed = true;
    if (n > 0) {
        const Vec2 end = PathEndPoint(nullptr);
        const float dx = end.x - Segments[0].StartX;
        const float dz = end.z - Segments[0].StartZ;
        Closed = dx * dx + dz * dz <= kClosedGap * kClosedGap;
    }
    BuildEdgeRuns();
    BuildPatchIndex();
}

Vec2 Track::SegmentStartPoint(int i) const
{
    return {Segments[static_cast<std::size_t>(i)].StartX, Segments[static_cast<std::size_t>(i)].StartZ};
}

Vec2 Track::PathEndPoint(float* heading) const
{
    const TrackSegment& last = Segments.back();
    const Vec2& aux = SegmentAux.back();
    if (last.Radius == 0.0f) {
        if (heading)
            *heading = last.Heading;
        return {last.StartX + last.Length * aux.x, last.StartZ + last.Length * aux.z};
    }
    const float a = last.Heading - last.Length / last.Radius;
    if (heading)
        *heading = a;
    return {aux.x + last.Radius * std::cos(a), aux.z - last.Radius * std::sin(a)};
}

int Track::WrapSection(long long index) const
{
    const long long n = static_cast<long long>(Sections.size());
    if (n == 0)
        return -1;
    if (Closed) {
        index %= n;
        if (index < 0)
            index += n;
        return static_cast<int>(index);
    }
    return index >= 0 && index < n ? static_cast<int>(index) : -1;
}

int Track::SectionNear(float distance) const
{
    const long long n = static_cast<long long>(Metres.size());
    if (n == 0 || Sections.empty())
        return -1;
    long long k = 0;
    if (std::isfinite(distance)) {
        // Clamp before converting: a distance far outside any track must not
        // overflow the conversion.
        const float clamped = std::fmax(-1.0e15f, std::fmin(distance, 1.0e15f));
        k = static_cast<long long>(clamped);
    }
    k %= n;
    if (k < 0)
        k += n;
    return Metres[static_cast<std::size_t>(k)].Section;
}

void Track::SetLastSection(int section)
{
    IsolatedStep* step = CurrentIsolatedStep();
    if (!step || !step->NotesSections) {
        LastSection = section;
        return;
    }
    for (int i = 0; i < step->SectionTracks; ++i) {
        if (step->SectionTrack[i] == this) {
            step->Section[i] = section;
            return;
        }
    }
    if (step->SectionTracks >= 2)
        BreakIsolation();
    step->SectionTrack[step->SectionTracks] = this;
    step->Section[step->SectionTracks] = section;
    ++step->SectionTracks;
}

int Track::CurrentSection() const
{
    const IsolatedStep* step = CurrentIsolatedStep();
    if (!step || !step->NotesSections)
        return LastSection;
    for (int i = 0; i < step->SectionTracks; ++i)
        if (step->SectionTrack[i] == this)
            return step->Section[i];
    // The step has not queried this track itself: the section in force
    // is the one another bike's step left.
    BreakIsolation();
}
