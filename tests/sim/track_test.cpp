#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/game_error.h"
#include "platform/byte_writer.h"
#include "sim/heights.h"
#include "sim/track.h"
#include "tests/support/fp_traps.h"
#include "tests/support/temp_dir.h"
#include "tools/datakit/demo_circuits.h"
#include "tools/datakit/track_writer.h"

namespace {

constexpr float kPi = 3.14159265f;

float wrap_angle(float a) { return std::remainder(a, 2.0f * kPi); }

// The right-hand direction of a heading.
Vec2 right_of(float heading) { return {std::cos(heading), -std::sin(heading)}; }

// The demo circuits written once for the whole test program.
class DemoTracks {
public:
    static DemoTracks& get()
    {
        static DemoTracks tracks;
        return tracks;
    }

    std::filesystem::path root;
    std::map<std::string, datakit::BuiltCircuit> built;

    std::string path(const std::string& name) const { return (root / "Data" / "Tracks" / (name + ".dat")).string(); }

    // A fresh Track loaded from a demo file.
    std::unique_ptr<Track> load(const std::string& name) const
    {
        auto track = std::make_unique<Track>();
        EXPECT_TRUE(track->Load(path(name).c_str())) << name;
        return track;
    }

private:
    DemoTracks() : root(torvane_test::make_temp_dir("tracks"))
    {
        std::string error;
        if (!datakit::write_demo_tracks(root, error))
            throw std::runtime_error(error);
        for (const char* name : datakit::kDemoCircuitNames)
            built[name] = datakit::build_demo_circuit(name);
    }
};

class TrackTest : public ::testing::Test {
protected:
    torvane_test::FpTraps traps;
};

// Point at a distance moved sideways (positive: to the right).
Vec2 beside(const Track& track, float d, float lateral, float* heading = nullptr)
{
    Vec2 p, dir;
    const float h = track.DistanceToPoint(d, &p, &dir);
    if (heading)
        *heading = h;
    const Vec2 r = right_of(h);
    return {p.x + lateral * r.x, p.z + lateral * r.z};
}

Vec3 ground_point(const Track& track, float d, float lateral, float y = 0.0f)
{
    const Vec2 p = beside(track, d, lateral);
    return {p.x, y, p.z};
}

} // namespace

TEST_F(TrackTest, LoadsEveryDemoCircuitAsAClosedLoopWithItsPitLane)
{
    const DemoTracks& demo = DemoTracks::get();
    for (const char* name : datakit::kDemoCircuitNames) {
        SCOPED_TRACE(name);
        auto track = demo.load(name);
        const auto& built = demo.built.at(name);
        EXPECT_TRUE(track->IsClosed());
        EXPECT_FALSE(track->IsEmpty());
        EXPECT_NEAR(track->Length, built.length, 0.05);
        EXPECT_GT(track->Length, 2500.0f);
        EXPECT_EQ(track->SegmentStart.back(), track->Length);
        // The end of the centre line meets its start within a few centimetres.
        Vec2 end, start;
        track->DistanceToPoint(std::nextafter(track->Length, 0.0f), &end, nullptr);
        track->DistanceToPoint(0.0f, &start, nullptr);
        EXPECT_LT(std::hypot(end.x - start.x, end.z - start.z), 0.05f);

        Track pit;
        EXPECT_EQ(pit.Load(demo.path(std::string(name) + "_pit").c_str()), built.has_pit_lane);
        if (built.has_pit_lane) {
            EXPECT_FALSE(pit.IsClosed());
            EXPECT_NEAR(pit.Length, built.pit_length, 0.05);
        }
    }
    EXPECT_FALSE(demo.built.at("Sentul").has_pit_lane);
    EXPECT_TRUE(demo.built.at("Island").has_pit_lane);
}

TEST_F(TrackTest, ProjectAndDistanceToPointAreInverseAllRoundTheLap)
{
    const DemoTracks& demo = DemoTracks::get();
    for (const char* name : {"Island", "Monza", "Sugo"}) {
        SCOPED_TRACE(name);
        auto track = demo.load(name);
        int segment = 0;
        for (float d = 0.25f; d < track->Length - 0.5f; d += 0.7f) {
            for (const float lateral : {-4.0f, 0.0f, 3.0f}) {
                float heading = 0.0f;
                Vec2 on_line;
                const float h = track->DistanceToPoint(d, &on_line, nullptr);
                Vec2 p = beside(*track, d, lateral, &heading);
                float projected_heading = 0.0f;
                int lap = 7;
                const float got = track->Project(&p, &segment, &projected_heading, &lap);
                ASSERT_NEAR(got, d, 0.02f) << "lateral " << lateral;
                ASSERT_EQ(lap, 0);
                ASSERT_NEAR(p.x, on_line.x, 0.02f);
                ASSERT_NEAR(p.z, on_line.z, 0.02f);
                ASSERT_NEAR(wrap_angle(projected_heading - h), 0.0f, 1e-3f);
                ASSERT_GE(segment, 0);
                ASSERT_LT(segment, track->SegmentCount());
            }
        }
    }
}

namespace {

// Writes a track file into a fresh folder and returns its path.
std::string write_fixture(const datakit::TrackFile& file, const char* name = "fixture")
{
    const auto dir = torvane_test::make_temp_dir("trackfix");
    const auto path = dir / (std::string(name) + ".dat");
    std::string error;
    EXPECT_TRUE(datakit::write_track_file(path, file, error)) << error;
    return path.string();
}

std::string write_bytes(const std::vector<std::uint8_t>& bytes)
{
    const auto path = torvane_test::make_temp_dir("trackbad") / "bad.dat";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    EXPECT_TRUE(f);
    if (!bytes.empty())
        std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return path.string();
}

datakit::TrackFileSegment segment(float radius, float length, float heading, float x, float z)
{
    datakit::TrackFileSegment s;
    s.radius = radius;
    s.length = length;
    s.heading = heading;
    s.start_x = x;
    s.start_z = z;
    return s;
}

// A 100 m square of four straights, driven clockwise from (0, 0) heading
// north; the line sits at a corner.
datakit::TrackFile square()
{
    datakit::TrackFile f;
    f.segments = {segment(0, 100, 0, 0, 0), segment(0, 100, kPi / 2, 0, 100), segment(0, 100, kPi, 100, 100),
                  segment(0, 100, -kPi / 2, 100, 0)};
    return f;
}

} // namespace

TEST_F(TrackTest, ProjectCountsALapEachWayAcrossTheLine)
{
    auto track = DemoTracks::get().load("Island");
    const float length = track->Length;
    int segment = track->SegmentCount() - 1;
    float heading = 0.0f;
    int lap = 0;

    // Forward over the line: from the last segment onto the first.
    Vec2 before = beside(*track, length - 0.5f, 1.0f);
    track->Project(&before, &segment, &heading, &lap);
    ASSERT_EQ(segment, track->SegmentCount() - 1);
    Vec2 after = beside(*track, 0.5f, 1.0f);
    EXPECT_NEAR(track->Project(&after, &segment, &heading, &lap), 0.5f, 0.02f);
    EXPECT_EQ(lap, 1);
    EXPECT_EQ(segment, 0);

    // And back again.
    Vec2 back = beside(*track, length - 0.5f, -1.0f);
    EXPECT_NEAR(track->Project(&back, &segment, &heading, &lap), length - 0.5f, 0.02f);
    EXPECT_EQ(lap, -1);
    EXPECT_EQ(segment, track->SegmentCount() - 1);

    // A step over a whole segment forward across the line counts one lap.
    segment = track->SegmentCount() - 1;
    const float into_corner = track->SegmentStart[1] + 5.0f;
    Vec2 far = beside(*track, into_corner, 0.0f);
    EXPECT_NEAR(track->Project(&far, &segment, &heading, &lap), into_corner, 0.02f);
    EXPECT_EQ(lap, 1);
    EXPECT_EQ(segment, 1);
}

TEST_F(TrackTest, APointInTheGapBetweenTwoSegmentsGoesToTheLaterOne)
{
    Track track;
    ASSERT_TRUE(track.Load(write_fixture(square()).c_str()));
    ASSERT_TRUE(track.IsClosed());
    float heading = 0.0f;
    int lap = 0;

    // Outside the corner at (0, 100): past the first straight's end and
    // before the second one's start.
    int segment = 0;
    Vec2 p{-5.0f, 105.0f};
    EXPECT_FLOAT_EQ(track.Project(&p, &segment, &heading, &lap), 100.0f);
    EXPECT_EQ(segment, 1);
    EXPECT_FLOAT_EQ(p.x, 0.0f);
    EXPECT_FLOAT_EQ(p.z, 100.0f);
    EXPECT_FLOAT_EQ(heading, kPi / 2);
    EXPECT_EQ(lap, 0);

    // Outside the corner at the line, walking back from the first segment:
    // the point goes to the start of the lap, and the walk that went back
    // over the line and forward again counts no lap.
    segment = 0;
    Vec2 q{-5.0f, -5.0f};
    EXPECT_FLOAT_EQ(track.Project(&q, &segment, &heading, &lap), 0.0f);
    EXPECT_EQ(segment, 0);
    EXPECT_EQ(lap, 0);
    // The same point reached from the end of the lap counts the crossing.
    segment = 3;
    q = {-5.0f, -5.0f};
    EXPECT_FLOAT_EQ(track.Project(&q, &segment, &heading, &lap), 0.0f);
    EXPECT_EQ(segment, 0);
    EXPECT_EQ(lap, 1);
}

TEST_F(TrackTest, ProjectEndsWithinOneLapWhateverTheHint)
{
    auto track = DemoTracks::get().load("Island");
    for (const Vec2 start : {Vec2{1.0e6f, -3.0e5f}, Vec2{0.0f, 0.0f}, Vec2{-2.0e4f, 5.0e4f}}) {
        for (const int hint : {-7, 0, 5, 1000}) {
            Vec2 p = start;
            int segment = hint;
            float heading = 0.0f;
            int lap = 0;
            const float d = track->Project(&p, &segment, &heading, &lap);
            EXPECT_GE(d, 0.0f);
            EXPECT_LE(d, track->Length);
            EXPECT_GE(segment, 0);
            EXPECT_LT(segment, track->SegmentCount());
            EXPECT_LE(std::abs(lap), 1);
        }
    }
}

TEST_F(TrackTest, DistanceToPointWrapsAnyDistanceAndAlwaysAnswers)
{
    auto track = DemoTracks::get().load("Sugo");
    const float length = track->Length;
    auto same = [&](float a, float b) {
        Vec2 pa, pb, da, db;
        const float ha = track->DistanceToPoint(a, &pa, &da);
        const float hb = track->DistanceToPoint(b, &pb, &db);
        EXPECT_NEAR(pa.x, pb.x, 0.05f) << a << " " << b;
        EXPECT_NEAR(pa.z, pb.z, 0.05f) << a << " " << b;
        EXPECT_NEAR(wrap_angle(ha - hb), 0.0f, 1e-3f);
        EXPECT_NEAR(da.x * da.x + da.z * da.z, 1.0f, 1e-5f);
    };
    same(-1.0f, length - 1.0f);
    same(length + 2.0f, 2.0f);
    same(3.0f * length + 10.0f, 10.0f);
    same(length, 0.0f);
    same(std::nanf(""), 0.0f);
    same(INFINITY, 0.0f);

    Track empty;
    Vec2 p{9.0f, 9.0f}, dir{9.0f, 9.0f};
    EXPECT_EQ(empty.DistanceToPoint(12.0f, &p, &dir), 0.0f);
    EXPECT_EQ(p.x, 0.0f);
    EXPECT_EQ(p.z, 0.0f);
    EXPECT_EQ(dir.x, 0.0f);
    EXPECT_EQ(dir.z, 1.0f);
}

TEST_F(TrackTest, TheRightHandSideIsNegativeAndARightTurnHasANegativeRadius)
{
    auto track = DemoTracks::get().load("Island");
    // The main straight heads north (+z); the first corner turns right.
    Vec2 p, dir;
    const float h = track->DistanceToPoint(100.0f, &p, &dir);
    EXPECT_NEAR(dir.x, 0.0f, 1e-5f);
    EXPECT_NEAR(dir.z, 1.0f, 1e-5f);
    const TrackSection& s = track->Sections[static_cast<std::size_t>(track->Metres[100].Section)];
    // Edge1 (the right edge) lies at +x, and by the side rule
    // sin(h) dz - cos(h) dx it is on the negative side.
    EXPECT_GT(s.Edge1.x, p.x + 9.0f);
    EXPECT_LT(s.Edge0.x, p.x - 9.0f);
    const float dx = s.Edge1.x - p.x, dz = s.Edge1.z - p.z;
    EXPECT_LT(std::sin(h) * dz - std::cos(h) * dx, 0.0f);

    const float corner = track->SegmentStart[1] + 10.0f;
    EXPECT_FLOAT_EQ(track->CurveRadiusAt(corner), -50.0f);
    // Along a right turn the heading grows.
    EXPECT_GT(track->DistanceToPoint(corner + 5.0f, nullptr, nullptr), track->DistanceToPoint(corner, nullptr, nullptr));
}

TEST_F(TrackTest, CurveRadiusDropsToZeroOnlyWhereAnArcLeadsIntoAStraight)
{
    // Straight 50, left arc R 100 over 100 m, right arc R -50 over 60 m,
    // straight 40 (the geometry need not close for this).
    datakit::TrackFile f;
    f.segments = {segment(0, 50, 0, 0, 0), segment(100, 100, 0, 0, 50), segment(-50, 60, -1, 0, 0),
                  segment(0, 40, 0, 0, 0)};
    Track track;
    ASSERT_TRUE(track.Load(write_fixture(f).c_str()));
    const float exit100 = std::sqrt(100.0f * 13.72931f); // 37.05 m
    const float exit50 = std::sqrt(50.0f * 13.72931f);   // 26.2 m
    struct Case {
        float d;
        float radius;
    };
    const Case cases[] = {
        {10.0f, 0.0f},                      // straight
        {50.0f + 1.0f, 100.0f},             // start of the first arc
        {150.0f - exit100 + 0.5f, 100.0f},  // its exit, but another arc follows
        {150.0f + 2.0f, -50.0f},            // within the first 3 m of the second arc
        {210.0f - exit50 - 0.5f, -50.0f},   // just before its exit
        {210.0f - exit50 + 0.5f, 0.0f},     // its exit leads into a straight
        {230.0f, 0.0f},
        {250.0f + 1.0f, 0.0f},              // past the end
        {-1.0f, 0.0f},
    };
    for (const Case& c : cases)
        EXPECT_FLOAT_EQ(track.CurveRadiusAt(c.d), c.radius) << c.d;

    // A short arc keeps its radius through its first 3 m even inside its exit.
    datakit::TrackFile g;
    g.segments = {segment(0, 10, 0, 0, 0), segment(200, 5, 0, 0, 10), segment(0, 10, 0, 0, 15)};
    ASSERT_TRUE(track.Load(write_fixture(g).c_str()));
    EXPECT_FLOAT_EQ(track.CurveRadiusAt(12.0f), 200.0f);
    EXPECT_FLOAT_EQ(track.CurveRadiusAt(14.0f), 0.0f);
}

namespace {

struct Ground {
    float height = kTrackNone;
    Vec3 normal;
    unsigned char surface = 99;
};

Ground query(Track& track, const Vec3& p, float hint)
{
    Ground g;
    g.height = track.Query(&p, &g.normal, hint, &g.surface);
    return g;
}

} // namespace

TEST_F(TrackTest, GroundOnAFlatStraight)
{
    auto track = DemoTracks::get().load("Sugo");
    for (const float hint : {100.0f, -1.0f}) {
        SCOPED_TRACE(hint);
        const Ground centre = query(*track, ground_point(*track, 100.3f, 0.0f, 5.0f), hint);
        EXPECT_NEAR(centre.height, 0.0f, 1e-4f);
        EXPECT_NEAR(centre.normal.y, 1.0f, 1e-5f);
        EXPECT_EQ(centre.surface, 0);
        EXPECT_EQ(track->LastSection, 100);

        // The verge (asphalt 6 m, verge 4 m) falls 5 cm to the edge.
        const Ground verge = query(*track, ground_point(*track, 100.3f, -8.0f), hint);
        EXPECT_EQ(verge.surface, 1);
        EXPECT_NEAR(verge.height, -0.025f, 1e-4f);
        EXPECT_GT(verge.normal.y, 0.99f);

        EXPECT_EQ(query(*track, ground_point(*track, 100.3f, 10.5f), hint).height, kTrackNone);
        EXPECT_EQ(query(*track, ground_point(*track, 100.3f, -10.5f), hint).height, kTrackNone);
    }
    // Heights do not depend on the height of the point asked about.
    EXPECT_NEAR(query(*track, ground_point(*track, 500.0f, 2.0f, -50.0f), 500.0f).height, 0.0f, 1e-4f);
}

TEST_F(TrackTest, GroundOnABankedCurveRisesToTheOutside)
{
    auto track = DemoTracks::get().load("Monza");
    // The first end: a right turn of radius 150 banked by 12 degrees, from
    // 450 m to about 934 m.
    const float d = 692.0f;
    ASSERT_FLOAT_EQ(track->CurveRadiusAt(d), -150.0f);
    float heading = 0.0f;
    beside(*track, d, 0.0f, &heading);
    const Ground centre = query(*track, ground_point(*track, d, 0.0f), d);
    const Ground inside = query(*track, ground_point(*track, d, 4.0f), d);
    const Ground outside = query(*track, ground_point(*track, d, -4.0f), d);
    ASSERT_NE(centre.height, kTrackNone);
    EXPECT_NEAR(outside.height - inside.height, 8.0f * std::tan(12.0f * kPi / 180.0f), 0.01f);
    EXPECT_NEAR(std::acos(centre.normal.y), 12.0f * kPi / 180.0f, 0.005f);
    // The normal leans toward the inside of the curve (the right).
    const Vec2 r = right_of(heading);
    EXPECT_NEAR(centre.normal.x * r.x + centre.normal.z * r.z, std::sin(12.0f * kPi / 180.0f), 0.005f);
    EXPECT_NEAR(centre.normal.Length(), 1.0f, 1e-5f);
    EXPECT_EQ(centre.surface, 0);
}

TEST_F(TrackTest, GroundFollowsTheHillsOfAnUndulatingStraight)
{
    auto track = DemoTracks::get().load("Monza");
    // Raised-cosine hills of 150 m: +2.5 m at 1050, -2 m at 1200, +3 m at 1350.
    struct Case {
        float d;
        float height;
        float forward_normal; // component of the normal along the track
    };
    const float slope = 2.5f * 0.5f * kPi / 75.0f; // steepest slope of the first hill
    const Case cases[] = {
        {1050.0f, 2.5f, 0.0f},  {1087.5f, 1.25f, slope}, {1125.0f, 0.0f, 0.0f},
        {1200.0f, -2.0f, 0.0f}, {1350.0f, 3.0f, 0.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.d);
        float heading = 0.0f;
        beside(*track, c.d, 0.0f, &heading);
        for (const float lateral : {-3.0f, 0.0f, 3.0f}) {
            const Ground g = query(*track, ground_point(*track, c.d, lateral), c.d);
            EXPECT_NEAR(g.height, c.height, 0.01f);
            EXPECT_NEAR(g.normal.x * std::sin(heading) + g.normal.z * std::cos(heading), c.forward_normal, 0.003f);
        }
    }
}

TEST_F(TrackTest, KerbsAreRaisedAsphaltAndGravelTrapsOverrideTheVerge)
{
    auto track = DemoTracks::get().load("Island");
    // The first corner: right, radius 50, 90 degrees; kerb on the inside
    // (right) round the apex, gravel on the outside (left, 12 m) from 40 %.
    const float start = track->SegmentStart[1];
    const float length = track->Segments[1].Length;
    const float apex = start + 0.5f * length;
    const float ground = query(*track, ground_point(*track, apex, 3.0f), apex).height;
    const Ground kerb_top = query(*track, ground_point(*track, apex, 6.6f), apex);
    EXPECT_EQ(kerb_top.surface, 0);
    EXPECT_NEAR(kerb_top.height, ground + 0.05f, 0.01f);
    const Ground kerb_side = query(*track, ground_point(*track, apex, 6.3f), apex);
    EXPECT_GT(kerb_side.height, ground + 0.01f);
    EXPECT_LT(kerb_side.height, kerb_top.height);
    EXPECT_EQ(query(*track, ground_point(*track, apex, 8.0f), apex).surface, 1);

    const float late = start + 0.8f * length;
    EXPECT_EQ(query(*track, ground_point(*track, late, -12.0f), late).surface, 2);
    EXPECT_EQ(query(*track, ground_point(*track, late, -17.5f), late).surface, 2);
    const float early = start + 0.1f * length;
    EXPECT_EQ(query(*track, ground_point(*track, early, -12.0f), early).surface, 1);
    // The other verge of the same stretch stays grass.
    EXPECT_EQ(query(*track, ground_point(*track, late, 8.0f), late).surface, 1);
}

TEST_F(TrackTest, EdgeCrossingStopsAMotionAtTheEdgeItCrosses)
{
    for (const char* name : {"Sugo", "Island"}) {
        auto track = DemoTracks::get().load(name);
        // A straight (100 m) and the Island hairpin's middle / Sugo's first corner.
        const float on_curve = track->SegmentStart[std::string(name) == "Island" ? 6 : 1] + 20.0f;
        for (const float d : {100.0f, on_curve}) {
            SCOPED_TRACE(std::string(name) + " " + std::to_string(d));
            float heading = 0.0f;
            beside(*track, d, 0.0f, &heading);
            const Vec2 r = right_of(heading);
            for (const int edge : {0, 1}) {
                const float side = edge == 0 ? -1.0f : 1.0f;
                const Vec3 from = ground_point(*track, d, side * 5.0f, 0.3f);
                Vec3 to = ground_point(*track, d + 1.0f, side * 40.0f, 0.3f);
                Vec3 normal;
                ASSERT_TRUE(track->EdgeCrossing(&to, &from, &normal, d, edge));
                // The crossing lies on the edge polyline: between the edge
                // points of the section hit and the next.
                const TrackSection& a = track->Sections[static_cast<std::size_t>(track->LastSection)];
                const TrackSection& b = track->Sections[static_cast<std::size_t>(track->LastSection + 1)];
                const Vec3 ea = edge == 0 ? a.Edge0 : a.Edge1;
                const Vec3 eb = edge == 0 ? b.Edge0 : b.Edge1;
                const float u = SegmentParamXZ(to, ea, eb);
                EXPECT_GE(u, 0.0f);
                EXPECT_LE(u, 1.0f);
                const float cross = (eb.x - ea.x) * (to.z - ea.z) - (eb.z - ea.z) * (to.x - ea.x);
                EXPECT_NEAR(cross, 0.0f, 0.01f);
                EXPECT_GE(to.y, std::min(ea.y, eb.y) - 1e-4f);
                // The normal is horizontal, of unit length and points onto the track.
                EXPECT_EQ(normal.y, 0.0f);
                EXPECT_NEAR(normal.Length(), 1.0f, 1e-5f);
                EXPECT_LT(side * (normal.x * r.x + normal.z * r.z), -0.95f);
                // Crossing the other edge's line is no crossing of this one.
                Vec3 other = ground_point(*track, d + 1.0f, side * 40.0f);
                EXPECT_FALSE(track->EdgeCrossing(&other, &from, &normal, d, 1 - edge));
            }
            // A motion that stays on the track crosses nothing.
            const Vec3 from = ground_point(*track, d, -2.0f);
            Vec3 to = ground_point(*track, d + 3.0f, 2.0f);
            const Vec3 kept = to;
            Vec3 normal;
            EXPECT_FALSE(track->EdgeCrossing(&to, &from, &normal, d, 0));
            EXPECT_FALSE(track->EdgeCrossing(&to, &from, &normal, d, 1));
            EXPECT_EQ(to.x, kept.x);
            EXPECT_EQ(to.z, kept.z);
        }
    }
}

namespace {

struct Crossing {
    bool hit = false;
    Vec3 to;
    Vec3 normal;
    int section = -1;
};

// The edge search done the plain way: from the hinted section 20 steps
// forwards and backwards at once, every edge segment tested with both
// divisions, wrapping round a circuit and stopping at an open path's ends.
Crossing plain_edge_crossing(const Track& track, Vec3 to, const Vec3& from, float hint, int edge)
{
    Crossing c;
    c.to = to;
    const long long metres = track.MetreCount();
    const long long n = track.SectionCount();
    long long k = static_cast<long long>(hint) % metres;
    if (k < 0)
        k += metres;
    const long long s = track.Metres[static_cast<std::size_t>(k)].Section;
    auto at = [&](long long i) -> long long {
        if (track.IsClosed())
            return ((i % n) + n) % n;
        return i >= 0 && i < n ? i : -1;
    };
    const float mx = to.x - from.x;
    const float mz = to.z - from.z;
    float best = 1.0f;
    float height = 0.0f, dx = 0.0f, dz = 0.0f;
    auto test = [&](long long a, long long b) {
        if (a < 0 || b < 0 || a == b)
            return;
        const TrackSection& sa = track.Sections[static_cast<std::size_t>(a)];
        const TrackSection& sb = track.Sections[static_cast<std::size_t>(b)];
        const Vec3& ea = edge == 0 ? sa.Edge0 : sa.Edge1;
        const Vec3& eb = edge == 0 ? sb.Edge0 : sb.Edge1;
        const float ex = eb.x - ea.x;
        const float ez = eb.z - ea.z;
        const float den = mx * ez - mz * ex;
        if (den == 0.0f)
            return;
        const float wx = ea.x - from.x;
        const float wz = ea.z - from.z;
        const float t = (wx * ez - wz * ex) / den;
        const float u = (wx * mz - wz * mx) / den;
        if (t >= 0.0f && t < best && u >= 0.0f && u < 1.0f) {
            best = t;
            c.hit = true;
            c.section = static_cast<int>(a);
            height = ea.y + u * (eb.y - ea.y);
            dx = ex;
            dz = ez;
        }
    };
    for (long long step = 0; step < 20; ++step) {
        test(at(s + step), at(s + step + 1));
        test(at(s - step - 1), at(s - step));
    }
    if (!c.hit)
        return c;
    c.to = from.Plus(to.Minus(from).Times(best));
    c.to.y = std::max(c.to.y, height);
    const float length = std::sqrt(dx * dx + dz * dz);
    c.normal = edge == 0 ? Vec3(dz / length, 0.0f, -dx / length) : Vec3(-dz / length, 0.0f, dx / length);
    return c;
}

} // namespace

TEST_F(TrackTest, EdgeCrossingAgreesBitForBitWithThePlainSearch)
{
    // Motions of up to a few metres in every direction across the edges of
    // a circuit, of a pit lane near and past its open ends, and of a circuit
    // with fewer sections than the search looks at.
    Track tiny;
    datakit::TrackFile ring = square();
    ring.metres.resize(400);
    for (std::size_t k = 0; k < ring.metres.size(); ++k)
        ring.metres[k].section = static_cast<std::int32_t>(k / 50);
    const float corners[8][2] = {{0, 0}, {0, 50}, {0, 100}, {50, 100}, {100, 100}, {100, 50}, {100, 0}, {50, 0}};
    for (const auto& c : corners) {
        datakit::TrackFileSection section;
        section.edge0 = {c[0] - 5.0f, 0.0f, c[1] + 5.0f};
        section.edge1 = {c[0] + 5.0f, 0.5f, c[1] - 5.0f};
        ring.sections.push_back(section);
    }
    ASSERT_TRUE(tiny.Load(write_fixture(ring, "tiny").c_str()));
    ASSERT_TRUE(tiny.IsClosed());

    const DemoTracks& demo = DemoTracks::get();
    auto island = demo.load("Island");
    auto pit = demo.load("Island_pit");
    ASSERT_FALSE(pit->IsClosed());
    std::uint32_t seed = 12345;
    auto random = [&seed](float lo, float hi) {
        seed = seed * 1664525u + 1013904223u;
        return lo + (hi - lo) * static_cast<float>(seed >> 8) / 16777216.0f;
    };
    int hits = 0;
    for (Track* track : {island.get(), pit.get(), &tiny}) {
        for (int i = 0; i < 4000; ++i) {
            const float d = random(-20.0f, track->Length + 20.0f);
            const float lateral = random(-25.0f, 25.0f);
            Vec2 p = beside(*track, d, lateral);
            const Vec3 from(p.x, random(-1.0f, 1.0f), p.z);
            const Vec3 to(from.x + random(-4.0f, 4.0f), from.y, from.z + random(-4.0f, 4.0f));
            const float hint = d + random(-8.0f, 8.0f);
            for (const int edge : {0, 1}) {
                const Crossing want = plain_edge_crossing(*track, to, from, hint, edge);
                Vec3 got = to;
                Vec3 normal(7.0f, 7.0f, 7.0f);
                track->LastSection = -5;
                const bool hit = track->EdgeCrossing(&got, &from, &normal, hint, edge);
                ASSERT_EQ(hit, want.hit) << i;
                hits += hit;
                if (!hit) {
                    EXPECT_EQ(track->LastSection, -5);
                    continue;
                }
                EXPECT_EQ(std::memcmp(&got, &want.to, sizeof got), 0) << i;
                EXPECT_EQ(track->LastSection, want.section) << i;
                EXPECT_NEAR(normal.x, want.normal.x, 1e-6f);
                EXPECT_NEAR(normal.z, want.normal.z, 1e-6f);
            }
        }
    }
    EXPECT_GT(hits, 500);
}

TEST_F(TrackTest, LocatePutsAPointBeyondAnEdgeBackOnIt)
{
    auto track = DemoTracks::get().load("Island");
    const float hairpin = track->SegmentStart[6] + 40.0f;
    for (const float d : {100.0f, hairpin}) {
        for (const float side : {-1.0f, 1.0f}) {
            SCOPED_TRACE(std::to_string(d) + " side " + std::to_string(side));
            float heading = 0.0f;
            beside(*track, d, 0.0f, &heading);
            const Vec2 r = right_of(heading);
            // Verges: 4 m, or 12 m on the hairpin's outside (the left).
            const float edge = 6.0f + ((d == hairpin && side < 0.0f) ? 12.0f : 4.0f);
            Vec3 p = ground_point(*track, d, side * (edge + 1.5f), -3.0f);
            Vec3 normal;
            ASSERT_TRUE(track->Locate(&p, &normal, d));
            Vec2 centre{p.x, p.z};
            int segment = d == hairpin ? 6 : 0;
            float h = 0.0f;
            int lap = 0;
            Vec2 on_line = centre;
            const float at = track->Project(&on_line, &segment, &h, &lap);
            EXPECT_NEAR(at, d, 0.5f);
            EXPECT_NEAR(std::hypot(p.x - on_line.x, p.z - on_line.z), edge, 0.05f);
            EXPECT_GT(p.y, -3.0f); // raised to the edge
            EXPECT_EQ(normal.y, 0.0f);
            EXPECT_NEAR(normal.Length(), 1.0f, 1e-5f);
            EXPECT_LT(side * (normal.x * r.x + normal.z * r.z), -0.95f);

            Vec3 inside = ground_point(*track, d, side * (edge - 1.0f));
            const Vec3 kept = inside;
            EXPECT_FALSE(track->Locate(&inside, &normal, d));
            EXPECT_EQ(inside.x, kept.x);
            EXPECT_EQ(inside.z, kept.z);
        }
    }
}

TEST_F(TrackTest, OffsetFromEdgePutsAPointInsideTheEdge)
{
    auto track = DemoTracks::get().load("Sugo");
    const int section = track->Metres[200].Section;
    for (const int edge : {0, 1}) {
        const float side = edge == 0 ? -1.0f : 1.0f;
        Vec3 p = ground_point(*track, 200.4f, side * 10.3f, 4.0f);
        track->OffsetFromEdge(&p, edge, section, 0.2f);
        Vec2 on_line{p.x, p.z};
        int segment = 0;
        float h = 0.0f;
        int lap = 0;
        track->Project(&on_line, &segment, &h, &lap);
        const float lateral = (p.x - on_line.x) * right_of(h).x + (p.z - on_line.z) * right_of(h).z;
        EXPECT_NEAR(lateral, side * 9.8f, 0.01f);
        EXPECT_NEAR(p.y, -0.05f, 1e-4f); // the edge point's height
    }
    // Any section number is taken round the lap.
    Vec3 p = ground_point(*track, 200.4f, 10.3f);
    track->OffsetFromEdge(&p, 1, section + 7 * track->SectionCount(), 0.2f);
    EXPECT_NEAR(p.y, -0.05f, 1e-4f);
}

TEST_F(TrackTest, GridSlotsStandBehindTheLineTwoAbreast)
{
    for (const char* name : {"Island", "Monza", "Sentul"}) {
        SCOPED_TRACE(name);
        auto track = DemoTracks::get().load(name);
        for (int i = 0; i < kTrackSlotCount; ++i) {
            SCOPED_TRACE(i);
            Vec2 p = track->Slots[i];
            const Vec3 point{p.x, 0.0f, p.z};
            int segment = 0;
            float h = 0.0f;
            int lap = 0;
            const float d = track->Project(&p, &segment, &h, &lap);
            const float behind = 8.0f + 8.0f * static_cast<float>(i / 2) + 3.0f * static_cast<float>(i % 2);
            EXPECT_NEAR(d, track->Length - behind, 0.02f);
            EXPECT_EQ(lap, -1); // walked back over the line from segment 0
            const float lateral = (point.x - p.x) * right_of(h).x + (point.z - p.z) * right_of(h).z;
            EXPECT_NEAR(lateral, i % 2 == 0 ? -2.2f : 2.2f, 0.01f);
            EXPECT_EQ(query(*track, point, d).surface, 0);
        }
    }
}

TEST_F(TrackTest, PitLaneRunsBesideTheStraightWithItsBoxes)
{
    const DemoTracks& demo = DemoTracks::get();
    auto circuit = demo.load("Island");
    auto pit = demo.load("Island_pit");
    const auto& built = demo.built.at("Island");
    ASSERT_FALSE(pit->IsClosed());

    // The pit lane leaves from the circuit's asphalt and rejoins it.
    Vec2 first, last;
    pit->DistanceToPoint(0.0f, &first, nullptr);
    pit->DistanceToPoint(pit->Length - 0.01f, &last, nullptr);
    for (const Vec2 end : {first, last}) {
        const Vec3 p{end.x, 0.0f, end.z};
        EXPECT_EQ(query(*circuit, p, -1.0f).surface, 0);
        EXPECT_EQ(query(*pit, p, -1.0f).surface, 0);
    }
    int segment = 0;
    float h = 0.0f;
    int lap = 0;
    Vec2 entry = first;
    EXPECT_NEAR(circuit->Project(&entry, &segment, &h, &lap), built.pit_entry_distance, 0.05f);

    // Along its straight the pit lane stands apart from the circuit.
    const float middle = pit->Length / 2.0f;
    const Vec3 pit_middle = [&] {
        Vec2 m;
        pit->DistanceToPoint(middle, &m, nullptr);
        return Vec3{m.x, 0.0f, m.z};
    }();
    EXPECT_EQ(query(*circuit, pit_middle, -1.0f).height, kTrackNone);
    EXPECT_EQ(query(*pit, pit_middle, middle).surface, 0);

    // Boxes: on the pit lane's asphalt, 3.5 m toward the garages, spread
    // along the middle of its straight.
    for (int i = 0; i < kTrackSlotCount; ++i) {
        SCOPED_TRACE(i);
        Vec2 p = pit->Slots[i];
        const Vec3 box{p.x, 0.0f, p.z};
        // A bike in its box starts its walk from the segment past half way.
        int start = 0;
        while (start < pit->SegmentCount() && pit->SegmentStart[static_cast<std::size_t>(start)] <= middle)
            ++start;
        int seg = start;
        const float d = pit->Project(&p, &seg, &h, &lap);
        EXPECT_NEAR(d, middle + (static_cast<float>(i) - 15.5f) * 7.0f, 0.05f);
        EXPECT_NEAR(std::hypot(box.x - p.x, box.z - p.z), 3.5f, 0.01f);
        EXPECT_EQ(query(*pit, box, d).surface, 0);
    }
}

TEST_F(TrackTest, AnOpenPathJoinsNeitherItsEndsNorItsLaps)
{
    const DemoTracks& demo = DemoTracks::get();
    auto circuit = demo.load("Island");
    auto pit = demo.load("Island_pit");
    // On the line, 5 m left of the circuit's centre: between the pit lane's
    // two ends, but on neither the circuit's nor the pit lane's surface
    // beyond the circuit's verge... the circuit has it, the pit lane must not.
    const Vec3 p = ground_point(*circuit, 0.0f, -5.0f);
    EXPECT_EQ(query(*circuit, p, 0.0f).surface, 0);
    EXPECT_EQ(query(*pit, p, -1.0f).height, kTrackNone);
    EXPECT_EQ(query(*pit, p, 0.0f).height, kTrackNone);
    EXPECT_EQ(query(*pit, p, pit->Length - 1.0f).height, kTrackNone);

    // Walking past either end stops there, with no lap counted.
    Vec2 end;
    float end_heading = pit->DistanceToPoint(pit->Length - 0.001f, &end, nullptr);
    Vec2 beyond = beside(*pit, pit->Length - 0.001f, 0.0f);
    beyond.x += 30.0f * std::sin(end_heading);
    beyond.z += 30.0f * std::cos(end_heading);
    int segment = pit->SegmentCount() - 1;
    float h = 0.0f;
    int lap = 0;
    EXPECT_NEAR(pit->Project(&beyond, &segment, &h, &lap), pit->Length, 0.01f);
    EXPECT_EQ(lap, 0);
    EXPECT_NEAR(beyond.x, end.x, 0.02f);
    Vec2 before = beside(*pit, 0.0f, 0.0f);
    before.x -= 30.0f * std::sin(pit->Segments[0].Heading);
    before.z -= 30.0f * std::cos(pit->Segments[0].Heading);
    segment = 0;
    EXPECT_EQ(pit->Project(&before, &segment, &h, &lap), 0.0f);
    EXPECT_EQ(lap, 0);
}

namespace {

// A small but complete track: two straights, three sections with a kerb
// from section 0 to 1 on the left verge, two strips, one patch.
datakit::TrackFile small_track()
{
    datakit::TrackFile f;
    f.segments = {segment(0, 2, 0, 0, 0), segment(0, 1, 0, 0, 2)};
    for (int k = 0; k < 3; ++k) {
        datakit::TrackFileMetre m;
        m.section = k;
        m.low_bound = 3;
        m.high_bound = 3;
        m.ref_speed = 10;
        f.metres.push_back(m);
        datakit::TrackFileSection s;
        const float z = static_cast<float>(k);
        s.inner0 = {-4, 0, z};
        s.inner1 = {4, 0, z};
        s.edge0 = {-6, 0, z};
        s.edge1 = {6, 0, z};
        f.sections.push_back(s);
    }
    f.sections[0].left_strips = 0;
    f.sections[1].left_strips = -1;
    f.strips = {{{-4, 0, 0}, {-5, 0, 0}, {-4.5f, 0.1f, 0}}, {{-4, 0, 1}, {-5, 0, 1}, {-4.5f, 0.1f, 1}}};
    datakit::TrackFilePatch patch;
    patch.surface = 2;
    patch.first_section = 1;
    patch.section_count = 1;
    patch.points = {{4, 1}, {6, 1}, {6, 2}, {4, 2}};
    f.patches = {patch};
    return f;
}

// Byte offsets of the tables of small_track()'s file.
constexpr std::size_t kSegmentsAt = 0;
constexpr std::size_t kMetresAt = kSegmentsAt + 4 + 2 * 24;
constexpr std::size_t kSectionsAt = kMetresAt + 4 + 3 * 16;
constexpr std::size_t kStripsAt = kSectionsAt + 4 + 3 * 68;
constexpr std::size_t kSlotsAt = kStripsAt + 4 + 2 * 36;
constexpr std::size_t kPatchesAt = kSlotsAt + 256;

void put_i32(std::vector<std::uint8_t>& bytes, std::size_t at, std::int32_t v)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) >> (8 * i));
}

void put_f32(std::vector<std::uint8_t>& bytes, std::size_t at, float v)
{
    std::uint32_t u;
    std::memcpy(&u, &v, 4);
    put_i32(bytes, at, static_cast<std::int32_t>(u));
}

} // namespace

TEST_F(TrackTest, TheSmallFixtureLoadsWithItsStripsAndPatch)
{
    Track track;
    ASSERT_TRUE(track.Load(write_fixture(small_track()).c_str()));
    EXPECT_EQ(track.SectionCount(), 3);
    EXPECT_EQ(track.StripCount(), 2);
    ASSERT_EQ(track.PatchCount(), 1);
    EXPECT_EQ(track.Patches[0].Points.size(), 4u);
    // The kerb between sections 0 and 1 on the left verge.
    const Ground kerb = query(track, {-4.5f, 0.0f, 0.5f}, 0.5f);
    EXPECT_NEAR(kerb.height, 0.1f, 1e-5f);
    EXPECT_EQ(kerb.surface, 0);
    EXPECT_EQ(query(track, {-5.5f, 0.0f, 0.5f}, 0.5f).surface, 1);
    // Beyond the kerb's last row the verge is plain again.
    EXPECT_NEAR(query(track, {-4.5f, 0.0f, 1.5f}, 1.5f).height, 0.0f, 1e-6f);
    // The patch covers the right verge of sections 1 to 2 only.
    EXPECT_EQ(query(track, {5.0f, 0.0f, 1.5f}, 1.5f).surface, 2);
    EXPECT_EQ(query(track, {5.0f, 0.0f, 0.5f}, 0.5f).surface, 1);
}

TEST_F(TrackTest, OverlappingPatchesTheFirstOfTheTableThatAppliesToTheSectionWins)
{
    // Three patches over the same right-verge corner (x 4 to 5.5, z 0 to 2):
    // class 2 on section 1, class 3 on sections 0 and 1, class 1 on section
    // 2 only (whose quad the fixture does not have: an open path's last
    // section starts none).
    datakit::TrackFile f = small_track();
    datakit::TrackFilePatch p = f.patches[0];
    p.points = {{4, 0}, {5.5f, 0}, {5.5f, 2}, {4, 2}};
    p.surface = 2;
    p.first_section = 1;
    p.section_count = 1;
    datakit::TrackFilePatch q = p;
    q.surface = 3;
    q.first_section = 0;
    q.section_count = 2;
    datakit::TrackFilePatch r = p;
    r.surface = 1;
    r.first_section = 2;
    f.patches = {p, q, r};
    Track track;
    ASSERT_TRUE(track.Load(write_fixture(f).c_str()));
    struct Case {
        float x, z;
        unsigned char surface;
    } cases[] = {
        {5.0f, 0.5f, 3}, // section 0: only the second patch applies
        {5.0f, 1.5f, 2}, // section 1: the first patch of the table wins
        {5.8f, 0.5f, 1}, // outside every polygon: the verge's own class
        {5.8f, 1.5f, 1},
        {-5.5f, 1.5f, 1}, // the other verge
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.x) + ", " + std::to_string(c.z));
        EXPECT_EQ(query(track, {c.x, 0.0f, c.z}, c.z).surface, c.surface);
        // The whole-track search finds the same.
        EXPECT_EQ(query(track, {c.x, 0.0f, c.z}, -1.0f).surface, c.surface);
    }
}

TEST_F(TrackTest, SurfaceClassesAreClampedToTheFourKnownOnes)
{
    datakit::TrackFile f = small_track();
    for (auto& s : f.sections) {
        s.left_surface = 7;
        s.right_surface = 255;
    }
    f.patches[0].surface = 200;
    Track track;
    ASSERT_TRUE(track.Load(write_fixture(f).c_str()));
    EXPECT_EQ(track.Sections[0].LeftSurface, 3);
    EXPECT_EQ(track.Sections[2].RightSurface, 3);
    EXPECT_EQ(track.Patches[0].Surface, 3);
    EXPECT_EQ(query(track, {-5.5f, 0.0f, 1.5f}, 1.5f).surface, 3);
}

TEST_F(TrackTest, DamagedFilesFailTheLoadWithAMessageAndKeepTheOldTrack)
{
    const std::vector<std::uint8_t> good = datakit::track_file_bytes(small_track());
    struct Case {
        const char* what;
        std::function<void(std::vector<std::uint8_t>&)> damage;
    };
    const Case cases[] = {
        {"empty file", [](auto& b) { b.clear(); }},
        {"negative segment count", [](auto& b) { put_i32(b, kSegmentsAt, -1); }},
        {"huge segment count", [](auto& b) { put_i32(b, kSegmentsAt, 0x10000000); }},
        {"segment count past the file", [](auto& b) { put_i32(b, kSegmentsAt, 1000); }},
        {"negative metre count", [](auto& b) { put_i32(b, kMetresAt, -5); }},
        {"huge section count", [](auto& b) { put_i32(b, kSectionsAt, 0x7FFFFFFF); }},
        {"negative strip count", [](auto& b) { put_i32(b, kStripsAt, INT32_MIN); }},
        {"metre names section 3 of 3", [](auto& b) { put_i32(b, kMetresAt + 4, 3); }},
        {"metre names section -1", [](auto& b) { put_i32(b, kMetresAt + 4 + 16, -1); }},
        {"strip run without end", [](auto& b) { put_i32(b, kSectionsAt + 4 + 68 + 52, 0x7FFFFFFF); }},
        {"strip run ending at INT_MIN", [](auto& b) { put_i32(b, kSectionsAt + 4 + 68 + 52, INT32_MIN); }},
        {"strip run past the table", [](auto& b) { put_i32(b, kSectionsAt + 4 + 68 + 52, -2); }},
        {"strip run ending before it begins",
         [](auto& b) {
             put_i32(b, kSectionsAt + 4 + 52, 1);
             put_i32(b, kSectionsAt + 4 + 68 + 52, 0);
         }},
        {"patch before the first section", [](auto& b) { put_i32(b, kPatchesAt + 4 + 1, -1); }},
        {"patch past the last section", [](auto& b) { put_i32(b, kPatchesAt + 4 + 5, 3); }},
        {"negative patch point count", [](auto& b) { put_i32(b, kPatchesAt + 4 + 13, -4); }},
        {"patch point count past the file", [](auto& b) { put_i32(b, kPatchesAt + 4 + 13, 5); }},
        {"patch count past the file", [](auto& b) { put_i32(b, kPatchesAt, 2); }},
        {"not a number in a cross-section", [](auto& b) { put_f32(b, kSectionsAt + 4 + 8, std::nanf("")); }},
        {"infinite slot", [](auto& b) { put_f32(b, kSlotsAt + 12, INFINITY); }},
        {"negative segment length", [](auto& b) { put_f32(b, kSegmentsAt + 4 + 4, -2.0f); }},
        {"path of no length",
         [](auto& b) {
             put_f32(b, kSegmentsAt + 4 + 4, 0.0f);
             put_f32(b, kSegmentsAt + 4 + 24 + 4, 0.0f);
         }},
        {"arc radius below a millimetre", [](auto& b) { put_f32(b, kSegmentsAt + 4, 1e-6f); }},
        {"file cut inside the slots", [](auto& b) { b.resize(kSlotsAt + 100); }},
        {"file cut inside a patch", [](auto& b) { b.resize(b.size() - 3); }},
    };

    Track track;
    ASSERT_TRUE(track.Load(DemoTracks::get().path("Sugo").c_str()));
    const float length = track.Length;
    const int sections = track.SectionCount();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::uint8_t> bytes = good;
        c.damage(bytes);
        const std::string path = write_bytes(bytes);
        try {
            track.Load(path.c_str());
            ADD_FAILURE() << "loaded";
        } catch (const GameError& e) {
            const std::string message = e.what();
            EXPECT_NE(message.find("track file"), std::string::npos) << message;
            EXPECT_NE(message.find(path), std::string::npos) << message;
        }
        EXPECT_EQ(track.Length, length);
        EXPECT_EQ(track.SectionCount(), sections);
    }

    // Every shorter prefix of a good file fails too.
    for (std::size_t n = 0; n < good.size(); ++n) {
        const std::vector<std::uint8_t> cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
        EXPECT_THROW(track.Load(write_bytes(cut).c_str()), GameError) << n;
    }
    EXPECT_TRUE(track.Load(write_bytes(good).c_str()));
}

TEST_F(TrackTest, AMissingFileReturnsFalseAndKeepsTheTrack)
{
    Track track;
    ASSERT_TRUE(track.Load(DemoTracks::get().path("Sugo").c_str()));
    const float length = track.Length;
    EXPECT_FALSE(track.Load((torvane_test::make_temp_dir("none") / "absent.dat").string().c_str()));
    EXPECT_EQ(track.Length, length);
}

TEST_F(TrackTest, ATrackWithoutSegmentsHasNoGroundAndNoPath)
{
    datakit::TrackFile f; // every count 0
    Track loaded;
    ASSERT_TRUE(loaded.Load(write_fixture(f).c_str()));
    Track constructed;
    for (Track* track : {&loaded, &constructed}) {
        EXPECT_TRUE(track->IsEmpty());
        Vec3 p{1.0f, 2.0f, 3.0f};
        Vec3 normal;
        unsigned char surface = 9;
        EXPECT_EQ(track->Query(&p, &normal, 5.0f, &surface), kTrackNone);
        EXPECT_EQ(track->Query(&p, &normal, -1.0f, nullptr), kTrackNone);
        EXPECT_FALSE(track->Locate(&p, &normal, 3.0f));
        Vec3 to{5.0f, 0.0f, 5.0f};
        EXPECT_FALSE(track->EdgeCrossing(&to, &p, &normal, 3.0f, 1));
        track->OffsetFromEdge(&p, 0, 4, 0.2f);
        EXPECT_EQ(p.x, 1.0f);
        Vec2 q{4.0f, 4.0f};
        int segment = 3;
        float heading = 1.0f;
        int lap = 2;
        EXPECT_EQ(track->Project(&q, &segment, &heading, &lap), 0.0f);
        EXPECT_EQ(segment, 0);
        EXPECT_EQ(lap, 0);
        EXPECT_EQ(track->CurveRadiusAt(1.0f), 0.0f);
        track->BuildDistanceTables();
        EXPECT_TRUE(track->LookaheadLow.empty());
    }
}

TEST_F(TrackTest, TrackNamesBecomeFileNamesUnlessTheyArePaths)
{
    EXPECT_EQ(Track::FileNameFor("Island"), "Data\\Tracks\\Island.dat");
    EXPECT_EQ(Track::FileNameFor("Island_pit"), "Data\\Tracks\\Island_pit.dat");
    EXPECT_EQ(Track::FileNameFor("Data\\Other\\x.trk"), "Data\\Other\\x.trk");
    EXPECT_EQ(Track::FileNameFor("C:x.dat"), "C:x.dat");

    // Found from the data folder, whatever the case of the name.
    torvane_test::ScopedCwd cwd(DemoTracks::get().root);
    Track track;
    EXPECT_TRUE(track.Load("island"));
    EXPECT_TRUE(track.Load("SUGO_PIT"));
    EXPECT_FALSE(track.IsClosed());
    EXPECT_FALSE(track.Load("Sentul_pit"));
}

TEST_F(TrackTest, LookaheadLimitsNarrowBeforeANarrowStretch)
{
    // A 100 m straight, usable 5 m right and 4 m left, narrowed to 2 and 1
    // over metres 50-59; reference speed 10 m/s looks 30 m ahead.
    datakit::TrackFile f;
    f.segments = {segment(0, 100, 0, 0, 0)};
    datakit::TrackFileSection s;
    f.sections = {s};
    for (int k = 0; k < 100; ++k) {
        datakit::TrackFileMetre m;
        const bool narrow = k >= 50 && k < 60;
        m.low_bound = narrow ? 2.0f : 5.0f;
        m.high_bound = narrow ? 1.0f : 4.0f;
        m.ref_speed = k == 90 ? 3.0e38f : 10.0f;
        f.metres.push_back(m);
    }
    Track track;
    ASSERT_TRUE(track.Load(write_fixture(f).c_str()));
    track.BuildDistanceTables();
    ASSERT_EQ(track.LookaheadLow.size(), 100u);
    EXPECT_FLOAT_EQ(track.LookaheadLow[10], -5.0f);
    EXPECT_FLOAT_EQ(track.LookaheadHigh[10], 4.0f);
    EXPECT_FLOAT_EQ(track.LookaheadLow[55], -2.0f);
    EXPECT_FLOAT_EQ(track.LookaheadHigh[55], 1.0f);
    // 45: the narrowing 14 m ahead weighs 1 / (e^(0.19 x 14) + 1) on this metre.
    const float w = 1.0f / (std::exp(0.19f * 14.0f) + 1.0f);
    EXPECT_NEAR(track.LookaheadLow[45], -((1 - w) * 2.0f + w * 5.0f), 1e-5f);
    EXPECT_NEAR(track.LookaheadHigh[45], (1 - w) * 1.0f + w * 4.0f, 1e-5f);
    for (std::size_t k = 0; k < 100; ++k) {
        EXPECT_LE(track.LookaheadLow[k], -2.0f + 1e-6f);
        EXPECT_GE(track.LookaheadHigh[k], 1.0f - 1e-6f);
    }
}

TEST_F(TrackTest, BumpHeightBlendsTheProfileAndWrapsAt1024)
{
    const auto dir = torvane_test::make_temp_dir("bumps");
    std::vector<float> profile(1024);
    for (int i = 0; i < 1024; ++i)
        profile[static_cast<std::size_t>(i)] = static_cast<float>(i % 7) - 3.0f;
    std::string error;
    ASSERT_TRUE(datakit::write_heights_file(dir / "Heights.dat", profile, error)) << error;
    ASSERT_TRUE(LoadBumpProfile((dir / "Heights.dat").string().c_str()));

    const float p1023 = profile[1023], p0 = profile[0];
    EXPECT_FLOAT_EQ(BumpHeight(1023.5f), 0.5f * p1023 + 0.5f * p0);
    EXPECT_FLOAT_EQ(BumpHeight(10.25f), 0.75f * profile[10] + 0.25f * profile[11]);
    EXPECT_FLOAT_EQ(BumpHeight(1024.0f + 10.25f), BumpHeight(10.25f));
    EXPECT_FLOAT_EQ(BumpHeight(5.0f * 1024.0f + 3.0f), profile[3]);
    EXPECT_TRUE(std::isfinite(BumpHeight(3.0e38f)));
    EXPECT_EQ(BumpHeight(std::nanf("")), 0.0f);

    // A short or missing file leaves the profile flat.
    std::FILE* f = std::fopen((dir / "Short.dat").c_str(), "wb");
    ASSERT_TRUE(f);
    std::fwrite(profile.data(), 4, 1000, f);
    std::fclose(f);
    EXPECT_FALSE(LoadBumpProfile((dir / "Short.dat").string().c_str()));
    EXPECT_EQ(BumpHeight(10.25f), 0.0f);
    EXPECT_FALSE(LoadBumpProfile((dir / "None.dat").string().c_str()));
    EXPECT_EQ(BumpHeight(500.5f), 0.0f);
}

// The profile belongs to the data folder a track is built under: a track
// constructed in a folder whose "Data\Heights.dat" differs from the one the
// profile came from loads that folder's (or a flat one where there is
// none), whatever an earlier track in the process loaded; tracks built in
// the same folder keep it.
TEST_F(TrackTest, TheBumpProfileFollowsTheDataFolderOfEachTrack)
{
    std::vector<float> first(1024), second(1024);
    for (int i = 0; i < 1024; ++i) {
        first[static_cast<std::size_t>(i)] = 0.5f;
        second[static_cast<std::size_t>(i)] = -0.25f;
    }
    const auto a = torvane_test::make_temp_dir("bumps_a"), b = torvane_test::make_temp_dir("bumps_b"),
               none = torvane_test::make_temp_dir("bumps_none");
    std::string error;
    ASSERT_TRUE(datakit::write_heights_file(a / "Data" / "Heights.dat", first, error)) << error;
    ASSERT_TRUE(datakit::write_heights_file(b / "Data" / "Heights.dat", second, error)) << error;
    const struct {
        const std::filesystem::path* folder;
        float height;
    } steps[] = {{&a, 0.5f}, {&b, -0.25f}, {&none, 0.0f}, {&a, 0.5f}};
    for (const auto& step : steps) {
        SCOPED_TRACE(step.folder->string());
        torvane_test::ScopedCwd cwd(*step.folder);
        Track track;
        EXPECT_EQ(BumpHeight(10.5f), step.height);
        EXPECT_EQ(BumpProfileSource(), (std::filesystem::canonical(*step.folder) / "Data" / "Heights.dat").string());
    }
    // A profile loaded by hand from elsewhere gives way to the folder's
    // when the next track is built.
    torvane_test::ScopedCwd cwd(b);
    ASSERT_TRUE(LoadBumpProfile((a / "Data" / "Heights.dat").string().c_str()));
    EXPECT_EQ(BumpHeight(3.0f), 0.5f);
    Track again;
    EXPECT_EQ(BumpHeight(3.0f), -0.25f);
}
