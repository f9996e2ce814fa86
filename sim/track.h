#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/vec3.h"

// One path of a circuit: the circuit itself or its pit lane. Loaded from
// "Data\Tracks\<name>.dat"; answers the geometric questions of the
// simulation (centre line at a distance, distance of a point, ground height
// and surface under a point, crossings of the track edges, curve radius).
//
// Across the track, from left to right: Edge0, Inner0, Inner1, Edge1. The
// right-hand side of a heading h is (cos h, -sin h); a positive radius turns
// left (the heading decreases along the arc).

// A piece of centre line: straight (Radius 0) or arc. Along an arc the
// heading at distance d into the segment is Heading - d / Radius.
struct TrackSegment {
    float Radius = 0.0f;     // signed; 0 = straight
    float Length = 0.0f;
    float Heading = 0.0f;    // at the segment's start
    float StartX = 0.0f;
    float StartZ = 0.0f;
    float SpeedLimit = 0.0f; // km/h; 0 none, negative: braking counts half (read by the race's speed profile)
};

// One record per metre of path: record k describes distance k.
struct TrackMetre {
    std::int32_t Section = 0; // cross-section at this metre
    float LowBound = 0.0f;    // usable road toward the right edge (Edge1), m from the centre line
    float HighBound = 0.0f;   // usable road toward the left edge (Edge0), m from the centre line
    float RefSpeed = 0.0f;    // reference speed, m/s
};

// Surface classes: 0 asphalt, 1..3 the verge classes.
inline constexpr std::uint8_t kTrackSurfaceCount = 4;

// No strips for this verge.
inline constexpr std::int32_t kTrackNoStrips = 0x7FFFFFFF;

// A cross-section: four points across the track.
struct TrackSection {
    Vec3 Inner0;  // left border of the asphalt
    Vec3 Inner1;  // right border of the asphalt
    Vec3 Edge0;   // left edge of the track
    Vec3 Edge1;   // right edge of the track
    std::uint8_t LeftSurface = 0;  // class of the verge Edge0..Inner0
    std::uint8_t RightSurface = 0; // class of the verge Inner1..Edge1
    // First raised strip of the left/right verge from this section to the
    // next; negative or kTrackNoStrips: none. The range ends (exclusive) at
    // the absolute value of the next section's field.
    std::int32_t LeftStrips = kTrackNoStrips;
    std::int32_t RightStrips = kTrackNoStrips;
};

// One row across a raised surface (a kerb); rows k and k + 1 form two quads,
// Side0-Middle and Middle-Side1.
struct TrackStrip {
    Vec3 Side0;
    Vec3 Side1;
    Vec3 Middle;
};

// A convex polygon in x-z that overrides the verge's surface class on
// cross-sections FirstSection .. FirstSection + SectionCount - 1.
struct TrackPatch {
    std::uint8_t Surface = 0;
    std::int32_t FirstSection = 0;
    std::int32_t SectionCount = 0;
    std::vector<Vec2> Points;
    std::int32_t Spare = 0; // stored in the file, not used
};

inline constexpr int kTrackSlotCount = 32;

// Byte sizes of the records in the file.
inline constexpr int kTrackSegmentBytes = 24;
inline constexpr int kTrackMetreBytes = 16;
inline constexpr int kTrackSectionBytes = 68;
inline constexpr int kTrackStripBytes = 36;
inline constexpr int kTrackSlotsBytes = kTrackSlotCount * 8;

// The value that stands for "no ground" / "none".
inline constexpr float kTrackNone = 3.4028235e38f;

class Track {
public:
    // The first Track of the program loads the bump profile ("Data\Heights.dat").
    Track();
    ~Track();
    Track(const Track&) = delete;
    Track& operator=(const Track&) = delete;

    // Loads "Data\Tracks\<name>.dat", or `name` itself when it holds a
    // backslash or a colon. False when the file cannot be opened (the Track
    // keeps what it had). A file whose counts, sizes or indices do not agree
    // with its contents throws a GameError naming the file, and the Track
    // keeps what it had.
    bool Load(const char* name);

    // Centre-line point and unit direction at distance d (wrapped into
    // [0, Length)); returns the heading there. Either output may be null.
    // Without segments: point (0, 0), direction (0, 1), heading 0.
    float DistanceToPoint(float d, Vec2* point, Vec2* direction) const;

    // Distance along the path of the point's projection, walking from the
    // segment hint *segment (at most one lap). Moves the point onto the
    // centre line, sets *segment and *heading, and *lapDelta to +1 / -1 when
    // the walk crossed the end / start of the path.
    float Project(Vec2* point, int* segment, float* heading, int* lapDelta) const;

    // Signed curve radius at distance d (0 on straights, at the end of an arc
    // that leads into a straight, past the end, and without segments).
    float CurveRadiusAt(float d) const;

    // True when the point lies beyond one of the two edges near the distance
    // hint: it is put back onto that edge and `normal` gets the edge's
    // horizontal unit normal, pointing onto the track.
    bool Locate(Vec3* point, Vec3* normal, float hint);

    // The first crossing of the motion from -> to with an edge (0 left,
    // 1 right) near the distance hint: moves `to` onto it (raising it to the
    // edge's height), sets `normal` (unit, horizontal, onto the track).
    bool EdgeCrossing(Vec3* to, const Vec3* from, Vec3* normal, float hint, int edge);

    // Puts the point `offset` metres inside the chosen edge near `section`.
    void OffsetFromEdge(Vec3* point, int edge, int section, float offset) const;

    // Ground height under the point (kTrackNone when there is none), with
    // its upward unit normal and surface class (either may be null). A
    // negative hint searches the whole track.
    float Query(const Vec3* point, Vec3* normal, float hint, unsigned char* surface);

    // Per-metre lateral limits for the computer riders' look-ahead.
    void BuildDistanceTables();

    // A track without segments has no ground and no path: every query
    // answers "none" (a pit lane loaded empty counts as no pit lane).
    bool IsEmpty() const { return Segments.empty(); }
    // True when the centre line returns to its start (a circuit); a path
    // that does not (a pit lane) is open: its last and first cross-sections
    // are not joined, and walks along it stop at its ends.
    bool IsClosed() const { return Closed; }

    int SegmentCount() const { return static_cast<int>(Segments.size()); }
    int MetreCount() const { return static_cast<int>(Metres.size()); }
    int SectionCount() const { return static_cast<int>(Sections.size()); }
    int StripCount() const { return static_cast<int>(Strips.size()); }
    int PatchCount() const { return static_cast<int>(Patches.size()); }

    // Per segment: an arc's centre (x, z), a straight's unit direction.
    std::vector<Vec2> SegmentAux;
    std::vector<float> LookaheadLow;
    std::vector<float> LookaheadHigh;
    float Length = 0.0f;
    // SegmentCount + 1 distances; the last is Length.
    std::vector<float> SegmentStart;
    std::vector<TrackSegment> Segments;
    std::vector<TrackMetre> Metres;
    std::vector<TrackSection> Sections;
    std::vector<TrackStrip> Strips;
    std::vector<TrackPatch> Patches;
    // Grid positions of a circuit (slot 0 first on the grid) or the pit
    // boxes of a pit lane.
    Vec2 Slots[kTrackSlotCount];
    // The cross-section the last height, edge or crossing query used.
    int LastSection = 0;
    // LastSection as the running step sees it: while a bike steps apart
    // from the others (sim/step_isolation.h), the section its own last
    // query of this track used.
    int CurrentSection() const;

    // The file name Load uses for a track name.
    static std::string FileNameFor(const char* name);

private:
    // Edge segments EdgeCrossing looks at on each side of its start section.
    static constexpr int kEdgeSteps = 20;

    void BuildTables();
    // Fills EdgeX and EdgeZ from the cross-sections.
    void BuildEdgeRuns();
    // Fills SectionPatchStart and SectionPatches from the patches.
    void BuildPatchIndex();
    // The surface class of a point on a verge of the quad that starts at
    // `section`: the first patch that applies there and holds the point, or
    // the verge's own class.
    unsigned char PatchSurface(int section, const Vec3& p, unsigned char verge) const;
    static constexpr long long kMaxPatchIndex = 1 << 22;
    // The cross-section of the metre record at trunc(distance) modulo the
    // metre count; -1 without metres.
    int SectionNear(float distance) const;
    // Section index `index` on the path: wrapped on a circuit, -1 beyond the
    // ends of an open path. Every query calls it for each section it looks
    // at, nearly always with an index already on the path: that case stays
    // inline, the wrap is out of line.
    int SectionAt(long long index) const
    {
        if (index >= 0 && index < static_cast<long long>(Sections.size()))
            return static_cast<int>(index);
        return WrapSection(index);
    }
    int WrapSection(long long index) const;
    // The centre-line start of segment i and the end of the path.
    Vec2 SegmentStartPoint(int i) const;
    Vec2 PathEndPoint(float* heading) const;
    bool QueryPair(int a, int b, const Vec3& p, Vec3* normal, float* height, unsigned char* surface);
    // Sets LastSection, or the running isolated step's note of it.
    void SetLastSection(int section);

    bool Closed = true;
    // The x and z of each edge's points (0 left, 1 right) laid out so that
    // EdgeCrossing's window round section s is entries s .. s + 2 kEdgeSteps
    // in a row: entry i holds section i - kEdgeSteps, wrapped round a
    // circuit; beyond the ends of an open path the end's point repeats.
    std::vector<float> EdgeX[2];
    std::vector<float> EdgeZ[2];
    // The patches that apply to each cross-section, in the patch table's
    // order: those of section a are SectionPatches[SectionPatchStart[a]]
    // up to SectionPatches[SectionPatchStart[a + 1]] (exclusive).
    std::vector<std::int32_t> SectionPatchStart;
    std::vector<std::int32_t> SectionPatches;
};
