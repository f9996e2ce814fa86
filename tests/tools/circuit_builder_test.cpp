#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <stdexcept>
#include <string>

#include "platform/byte_reader.h"
#include "tests/support/temp_dir.h"
#include "tools/datakit/circuit_builder.h"
#include "tools/datakit/demo_circuits.h"
#include "tools/datakit/track_writer.h"

namespace {

using namespace datakit;

constexpr double kPi = 3.14159265358979323846;

struct XZ {
    double x, z;
};

// Where a written segment ends, from its own float values.
XZ segment_end(const TrackFileSegment& s, double* heading)
{
    const double h = s.heading;
    if (s.radius == 0.0f) {
        *heading = h;
        return {s.start_x + s.length * std::sin(h), s.start_z + s.length * std::cos(h)};
    }
    const double r = s.radius;
    const double a = h - s.length / r;
    const double cx = s.start_x + r * std::sin(h - kPi / 2), cz = s.start_z + r * std::cos(h - kPi / 2);
    *heading = a;
    return {cx + r * std::cos(a), cz - r * std::sin(a)};
}

XZ mid(const TrackFilePoint& a, const TrackFilePoint& b) { return {(a.x + b.x) / 2.0, (a.z + b.z) / 2.0}; }
double dist(XZ a, XZ b) { return std::hypot(a.x - b.x, a.z - b.z); }

// The four points of a section lie on one line across the track, in the
// order edge0, inner0, inner1, edge1 from left to right.
void expect_ordered(const TrackFileSection& s)
{
    const double ax = s.inner1.x - s.inner0.x, az = s.inner1.z - s.inner0.z;
    auto along = [&](const TrackFilePoint& p) { return (p.x - s.inner0.x) * ax + (p.z - s.inner0.z) * az; };
    EXPECT_LT(along(s.edge0), 0.0);
    EXPECT_GT(along(s.edge1), along(s.inner1));
}

void check_track(const TrackFile& f, bool closed)
{
    ASSERT_FALSE(f.segments.empty());
    double length = 0.0;
    for (std::size_t i = 0; i < f.segments.size(); ++i) {
        const TrackFileSegment& s = f.segments[i];
        length += s.length;
        if (i + 1 == f.segments.size() && !closed)
            break;
        const TrackFileSegment& next = f.segments[(i + 1) % f.segments.size()];
        double heading = 0.0;
        const XZ end = segment_end(s, &heading);
        EXPECT_LT(dist(end, {next.start_x, next.start_z}), 0.03) << "segment " << i;
        EXPECT_NEAR(std::remainder(heading - next.heading, 2 * kPi), 0.0, 1e-5) << "segment " << i;
    }

    // A cross-section every metre; the last closes the loop within 0.25 to 1.25 m.
    const std::size_t n = f.sections.size();
    for (std::size_t k = 0; k + 1 < n; ++k) {
        const double step = dist(mid(f.sections[k].inner0, f.sections[k].inner1),
                                 mid(f.sections[k + 1].inner0, f.sections[k + 1].inner1));
        if (closed || k + 2 < n) {
            ASSERT_NEAR(step, 1.0, 0.01) << "section " << k;
        }
        expect_ordered(f.sections[k]);
        ASSERT_LE(f.sections[k].left_surface, 3);
        ASSERT_LE(f.sections[k].right_surface, 3);
    }
    if (closed) {
        const double gap = dist(mid(f.sections[n - 1].inner0, f.sections[n - 1].inner1),
                                mid(f.sections[0].inner0, f.sections[0].inner1));
        EXPECT_GE(gap, 0.24);
        EXPECT_LE(gap, 1.26);
    }

    EXPECT_EQ(f.metres.size(), static_cast<std::size_t>(std::ceil(length - 1e-3)));
    for (std::size_t k = 0; k < f.metres.size(); ++k) {
        ASSERT_GE(f.metres[k].section, 0);
        ASSERT_LT(f.metres[k].section, static_cast<int>(n));
        ASSERT_GT(f.metres[k].ref_speed, 0.0f);
        ASSERT_GT(f.metres[k].low_bound, 0.0f);
        ASSERT_GT(f.metres[k].high_bound, 0.0f);
        if (k > 0) {
            ASSERT_GE(f.metres[k].section, f.metres[k - 1].section);
        }
    }

    // Strip runs: each starts where a section says and ends (exclusive) at
    // the next section's field, inside the strip table.
    for (std::size_t k = 0; k < n; ++k) {
        for (int verge = 0; verge < 2; ++verge) {
            const std::int32_t first = verge == 0 ? f.sections[k].left_strips : f.sections[k].right_strips;
            if (first < 0 || first == kTrackFileNoStrips)
                continue;
            const auto& next = f.sections[(k + 1) % n];
            const std::int32_t end = std::abs(verge == 0 ? next.left_strips : next.right_strips);
            EXPECT_EQ(end, first + 1) << "section " << k;
            EXPECT_LT(end, static_cast<std::int32_t>(f.strips.size()));
        }
    }
    for (const TrackFilePatch& p : f.patches) {
        EXPECT_GE(p.first_section, 0);
        EXPECT_LE(p.first_section + p.section_count, static_cast<int>(n));
        ASSERT_GE(p.points.size(), 3u);
        // Convex: every corner turns the same way.
        int sign = 0;
        for (std::size_t i = 0; i < p.points.size(); ++i) {
            const auto& a = p.points[i];
            const auto& b = p.points[(i + 1) % p.points.size()];
            const auto& c = p.points[(i + 2) % p.points.size()];
            const double cross = (b.x - a.x) * (c.z - b.z) - (b.z - a.z) * (c.x - b.x);
            if (std::fabs(cross) < 1e-6)
                continue;
            const int s = cross > 0 ? 1 : -1;
            EXPECT_TRUE(sign == 0 || s == sign);
            sign = s;
        }
    }
}

} // namespace

TEST(CircuitBuilder, DemoCircuitsAreClosedLoopsWithACrossSectionEveryMetre)
{
    for (const char* name : kDemoCircuitNames) {
        SCOPED_TRACE(name);
        const BuiltCircuit built = build_demo_circuit(name);
        check_track(built.circuit, true);
        if (built.has_pit_lane) {
            check_track(built.pit_lane, false);
            // The pit lane ends on an arc, leaving and rejoining the circuit's asphalt.
            EXPECT_NE(built.pit_lane.segments.back().radius, 0.0f);
            EXPECT_NE(built.pit_lane.segments.front().radius, 0.0f);
        }
    }
}

TEST(CircuitBuilder, IslandFeelsLikeARoadCircuit)
{
    const BuiltCircuit built = build_demo_circuit("Island");
    EXPECT_GT(built.length, 3000.0);
    EXPECT_LT(built.length, 5000.0);
    std::set<float> radii;
    int left = 0, right = 0;
    double longest = 0.0;
    for (const TrackFileSegment& s : built.circuit.segments) {
        if (s.radius == 0.0f)
            longest = std::max<double>(longest, s.length);
        else
            radii.insert(std::fabs(s.radius));
        left += s.radius > 0.0f;
        right += s.radius < 0.0f;
    }
    EXPECT_GE(left, 3);
    EXPECT_GE(right, 5);
    EXPECT_LE(*radii.begin(), 40.0f);  // a hairpin
    EXPECT_GE(*radii.rbegin(), 200.0f); // and a fast sweeper
    EXPECT_GT(longest, 600.0);
    EXPECT_FALSE(built.circuit.strips.empty());
    EXPECT_FALSE(built.circuit.patches.empty());
    EXPECT_TRUE(built.has_pit_lane);
    // Reference speeds: about 75 km/h in the hairpin, over 200 km/h down the straights.
    EXPECT_LT(built.circuit.metres[static_cast<std::size_t>(built.piece_start[6] + 50)].ref_speed, 22.0f);
    EXPECT_GT(built.circuit.metres[static_cast<std::size_t>(built.length - 10)].ref_speed, 55.0f);
    float fastest = 0.0f;
    for (const TrackFileMetre& m : built.circuit.metres)
        fastest = std::max(fastest, m.ref_speed);
    EXPECT_GT(fastest, 70.0f);
}

TEST(CircuitBuilder, BankingRisesToTheOutsideAndRampsInAtTheEnds)
{
    const BuiltCircuit built = build_demo_circuit("Monza");
    // The first end: right turn, 12 degrees, from 450 m; banking ramps in
    // over 120 m centred on the piece boundary.
    const double full = 12.0 * std::tan(12.0 * kPi / 180.0);
    auto rise = [&](double d) {
        const TrackFileSection& s = built.circuit.sections[static_cast<std::size_t>(d)];
        return s.inner0.y - s.inner1.y; // left (outside) above right
    };
    EXPECT_NEAR(rise(600.0), full, 1e-3);
    EXPECT_NEAR(rise(450.0), full / 2.0, 1e-3);
    EXPECT_NEAR(rise(385.0), 0.0, 1e-3);
    EXPECT_NEAR(rise(420.0), full / 4.0, 1e-3);
    // Sugo is flat everywhere.
    for (const TrackFileSection& s : build_demo_circuit("Sugo").circuit.sections)
        ASSERT_EQ(s.inner0.y, 0.0f);
}

TEST(CircuitBuilder, GridSlotsStandTwoAbreastBehindTheLine)
{
    const BuiltCircuit built = build_demo_circuit("Island");
    const auto& slots = built.circuit.slots;
    // The main straight runs north through the line at x = 0.
    for (int i = 0; i < 32; ++i) {
        const double behind = 8.0 + 8.0 * (i / 2) + 3.0 * (i % 2);
        EXPECT_NEAR(slots[static_cast<std::size_t>(i)].z, -behind, 1e-3) << i;
        EXPECT_NEAR(slots[static_cast<std::size_t>(i)].x, i % 2 == 0 ? -2.2 : 2.2, 1e-3) << i;
    }
    // Pit boxes 7 m apart in a line beside the pit straight.
    const auto& boxes = built.pit_lane.slots;
    for (int i = 1; i < 32; ++i) {
        EXPECT_NEAR(dist(XZ{boxes[static_cast<std::size_t>(i)].x, boxes[static_cast<std::size_t>(i)].z},
                         XZ{boxes[static_cast<std::size_t>(i - 1)].x, boxes[static_cast<std::size_t>(i - 1)].z}),
                    7.0, 1e-3);
        EXPECT_NEAR(boxes[static_cast<std::size_t>(i)].x, boxes[0].x, 1e-3);
    }
    // Left of the straight (the circuit turns right): 18 m out plus 3.5 m.
    EXPECT_NEAR(boxes[0].x, -21.5, 1e-3);
}

TEST(CircuitBuilder, DescriptionsThatCannotBeBuiltAreRefused)
{
    auto rectangle = [] {
        CircuitDescription d = demo_circuit_description("Sentul");
        d.name = "test";
        return d;
    };
    struct Case {
        const char* what;
        void (*change)(CircuitDescription&);
    };
    const Case cases[] = {
        {"turns by 350 degrees", [](CircuitDescription& d) { d.pieces[1].angle_deg = 80.0; }},
        {"one solved straight", [](CircuitDescription& d) { d.pieces[2] = straight(300.0); }},
        {"parallel solved straights", [](CircuitDescription& d) { d.pieces[6] = solved_straight(); d.pieces[8] = straight(300.0); }},
        {"a solved straight comes out negative", [](CircuitDescription& d) { d.pieces[0].length = 900.0; }},
        {"a straight of no length", [](CircuitDescription& d) { d.pieces[4].length = 0.0; }},
        {"an arc of tiny radius", [](CircuitDescription& d) { d.pieces[1].radius = -1.0; }},
        {"a kerb wider than its verge", [](CircuitDescription& d) { d.style.kerb_width = 4.5; }},
        {"pit lane entry in a corner", [](CircuitDescription& d) { d.pit.present = true; d.pit.side = -1; d.pit.entry_before = 400.0; }},
        {"pit lane too short for its boxes", [](CircuitDescription& d) { d.pit.present = true; d.pit.entry_before = 100.0; d.pit.exit_after = 100.0; }},
        {"pit lane inside the asphalt", [](CircuitDescription& d) { d.pit.present = true; d.pit.entry_before = 280.0; d.pit.exit_after = 180.0; d.pit.offset = 5.0; }},
    };
    EXPECT_NO_THROW(build_circuit(rectangle()));
    for (const Case& c : cases) {
        CircuitDescription d = rectangle();
        c.change(d);
        try {
            build_circuit(d);
            ADD_FAILURE() << c.what << ": built";
        } catch (const std::invalid_argument& e) {
            EXPECT_NE(std::string(e.what()).find("\"test\""), std::string::npos) << e.what();
        }
    }
}

TEST(CircuitBuilder, TrackFileBytesFollowTheRecordLayout)
{
    const BuiltCircuit built = build_demo_circuit("Island");
    const TrackFile& f = built.circuit;
    const std::vector<std::uint8_t> bytes = track_file_bytes(f);
    std::size_t patches = 0;
    for (const TrackFilePatch& p : f.patches)
        patches += 17 + 8 * p.points.size();
    ASSERT_EQ(bytes.size(), 4 + 24 * f.segments.size() + 4 + 16 * f.metres.size() + 4 + 68 * f.sections.size() + 4 +
                                36 * f.strips.size() + 256 + 4 + patches);

    platform::ByteReader r(bytes);
    ASSERT_EQ(r.i32(), static_cast<std::int32_t>(f.segments.size()));
    EXPECT_EQ(r.f32(), f.segments[0].radius);
    EXPECT_EQ(r.f32(), f.segments[0].length);
    r.seek(4 + 24 * f.segments.size());
    ASSERT_EQ(r.i32(), static_cast<std::int32_t>(f.metres.size()));
    EXPECT_EQ(r.i32(), f.metres[0].section);
    r.seek(4 + 24 * f.segments.size() + 4 + 16 * f.metres.size());
    ASSERT_EQ(r.i32(), static_cast<std::int32_t>(f.sections.size()));
    // A section with a kerb: the surfaces at 48, zero bytes, strips at 52 and 56.
    std::size_t k = 0;
    while (f.sections[k].left_strips == kTrackFileNoStrips && f.sections[k].right_strips == kTrackFileNoStrips)
        ++k;
    const std::size_t at = r.position() + 68 * k;
    r.seek(at + 12);
    EXPECT_EQ(r.f32(), f.sections[k].inner1.x);
    r.seek(at + 48);
    EXPECT_EQ(r.u8(), f.sections[k].left_surface);
    EXPECT_EQ(r.u8(), f.sections[k].right_surface);
    EXPECT_EQ(r.u16(), 0);
    EXPECT_EQ(r.i32(), f.sections[k].left_strips);
    EXPECT_EQ(r.i32(), f.sections[k].right_strips);
    EXPECT_EQ(r.u64(), 0u);

    // Built twice, the same bytes.
    EXPECT_EQ(track_file_bytes(build_demo_circuit("Island").circuit), bytes);
}

TEST(CircuitBuilder, TheBumpProfileIsSmoothAndJoinsItself)
{
    const std::vector<float> profile = demo_bump_profile();
    ASSERT_EQ(profile.size(), 1024u);
    float largest = 0.0f;
    for (std::size_t i = 0; i < 1024; ++i) {
        largest = std::max(largest, std::fabs(profile[i]));
        EXPECT_LT(std::fabs(profile[(i + 1) % 1024] - profile[i]), 0.25f) << i;
    }
    EXPECT_FLOAT_EQ(largest, 1.0f);
    EXPECT_EQ(heights_file_bytes(profile).size(), 4096u);
    EXPECT_THROW(heights_file_bytes(std::vector<float>(1000)), std::invalid_argument);

    const auto dir = torvane_test::make_temp_dir("heights");
    std::string error;
    ASSERT_TRUE(write_demo_tracks(dir, error)) << error;
    EXPECT_EQ(std::filesystem::file_size(dir / "Data" / "Heights.dat"), 4096u);
    for (const char* name : kDemoCircuitNames)
        EXPECT_TRUE(std::filesystem::exists(dir / "Data" / "Tracks" / (std::string(name) + ".dat"))) << name;
    EXPECT_TRUE(std::filesystem::exists(dir / "Data" / "Tracks" / "Island_pit.dat"));
    EXPECT_FALSE(std::filesystem::exists(dir / "Data" / "Tracks" / "Sentul_pit.dat"));
}
