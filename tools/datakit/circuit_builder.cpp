#include "tools/datakit/circuit_builder.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

#include "tools/datakit/circuit_geometry.h"
#include "tools/datakit/pit_lane_builder.h"

namespace datakit {

using namespace circuit_geometry;

CircuitPiece straight(double length)
{
    CircuitPiece p;
    p.kind = PieceKind::Straight;
    p.length = length;
    return p;
}

CircuitPiece solved_straight()
{
    CircuitPiece p;
    p.kind = PieceKind::Straight;
    p.solve = true;
    return p;
}

CircuitPiece left(double radius, double degrees)
{
    CircuitPiece p;
    p.kind = PieceKind::Arc;
    p.radius = std::fabs(radius);
    p.angle_deg = degrees;
    return p;
}

CircuitPiece right(double radius, double degrees)
{
    CircuitPiece p = left(radius, degrees);
    p.radius = -p.radius;
    return p;
}

namespace {

constexpr double kGravity = 9.80665;
// The last cross-section of a closed loop stands at least this far before
// the line, so the pair that joins it to the first one is never degenerate.
constexpr double kMinLastGap = 0.25;

[[noreturn]] void fail(const CircuitDescription& d, const std::string& why)
{
    throw std::invalid_argument("circuit \"" + d.name + "\": " + why);
}

double arc_length(const CircuitPiece& p) { return std::fabs(p.radius) * p.angle_deg * kPi / 180.0; }

// Lays the pieces end to end, choosing the two solved straights' lengths so
// that the line ends where it began, facing the same way.
std::vector<LinePiece> lay_out(const CircuitDescription& d)
{
    if (d.pieces.empty())
        fail(d, "no pieces");
    std::vector<int> solved;
    double heading = d.start_heading_deg * kPi / 180.0;
    std::vector<double> headings;
    double turn = 0.0;
    double fixed_x = 0.0, fixed_z = 0.0;
    for (std::size_t i = 0; i < d.pieces.size(); ++i) {
        const CircuitPiece& p = d.pieces[i];
        headings.push_back(heading);
        if (p.kind == PieceKind::Straight) {
            if (p.solve) {
                solved.push_back(static_cast<int>(i));
                continue;
            }
            if (!(p.length > 0.0))
                fail(d, "piece " + std::to_string(i) + " is a straight without length");
            fixed_x += p.length * std::sin(heading);
            fixed_z += p.length * std::cos(heading);
        } else {
            if (!(std::fabs(p.radius) >= 5.0) || !(p.angle_deg > 0.0) || p.angle_deg >= 360.0)
                fail(d, "piece " + std::to_string(i) + " is an arc without a sound radius and angle");
            const Pose end = advance({0.0, 0.0, heading}, p.radius, arc_length(p));
            fixed_x += end.x;
            fixed_z += end.z;
            const double t = p.radius > 0.0 ? -p.angle_deg : p.angle_deg;
            turn += t;
            heading += t * kPi / 180.0;
        }
    }
    if (std::fabs(std::fabs(turn) - 360.0) > 1e-6)
        fail(d, "the pieces turn by " + std::to_string(turn) + " degrees, not once round");
    if (solved.size() != 2)
        fail(d, "exactly two straights must be solved to close the loop");
    const double u1x = std::sin(headings[static_cast<std::size_t>(solved[0])]);
    const double u1z = std::cos(headings[static_cast<std::size_t>(solved[0])]);
    const double u2x = std::sin(headings[static_cast<std::size_t>(solved[1])]);
    const double u2z = std::cos(headings[static_cast<std::size_t>(solved[1])]);
    const double det = u1x * u2z - u1z * u2x;
    if (std::fabs(det) < 0.05)
        fail(d, "the two solved straights are (nearly) parallel");
    const double l1 = (-fixed_x * u2z + u2x * fixed_z) / det;
    const double l2 = (-u1x * fixed_z + fixed_x * u1z) / det;
    if (l1 < 1.0 || l2 < 1.0)
        fail(d, "the solved straights come out at " + std::to_string(l1) + " and " + std::to_string(l2) + " m");

    std::vector<LinePiece> line;
    Pose pose{d.start_x, d.start_z, d.start_heading_deg * kPi / 180.0};
    double start = 0.0;
    for (std::size_t i = 0; i < d.pieces.size(); ++i) {
        const CircuitPiece& p = d.pieces[i];
        LinePiece piece;
        piece.pose = pose;
        piece.start = start;
        if (p.kind == PieceKind::Straight) {
            piece.radius = 0.0;
            piece.length = p.solve ? (static_cast<int>(i) == solved[0] ? l1 : l2) : p.length;
        } else {
            piece.radius = p.radius;
            piece.length = arc_length(p);
        }
        line.push_back(piece);
        pose = advance(pose, piece.radius, piece.length);
        start += piece.length;
    }
    const double gap = std::hypot(pose.x - d.start_x, pose.z - d.start_z);
    if (gap > 1e-6)
        fail(d, "the loop does not close (gap " + std::to_string(gap) + " m)");
    return line;
}

// Everything lateral about the circuit at one distance.
class CircuitShape {
public:
    CircuitShape(const CircuitDescription& d, const CentreLine& line) : d_(d), line_(line)
    {
        const std::size_t n = d.pieces.size();
        slope_.assign(n, 0.0);
        verge_left_.assign(n, d.style.verge_left);
        verge_right_.assign(n, d.style.verge_right);
        for (std::size_t i = 0; i < n; ++i) {
            const CircuitPiece& p = d.pieces[i];
            if (p.kind != PieceKind::Arc)
                continue;
            // Positive banking raises the outside: the left side of a right
            // turn, the right side of a left turn.
            const double t = std::tan(p.bank_deg * kPi / 180.0);
            slope_[i] = p.radius < 0.0 ? t : -t;
            if (p.outside_verge > 0.0)
                (p.radius < 0.0 ? verge_left_ : verge_right_)[i] = p.outside_verge;
        }
    }

    CrossSection at(double d) const
    {
        CrossSection s;
        s.pose = line_.at(d);
        s.centre_height = height(d);
        s.slope = line_.smoothed(d, slope_, d_.style.bank_transition);
        s.asphalt_left = d_.style.asphalt_left;
        s.asphalt_right = d_.style.asphalt_right;
        s.verge_left = line_.smoothed(d, verge_left_, d_.style.transition);
        s.verge_right = line_.smoothed(d, verge_right_, d_.style.transition);
        s.verge_drop = d_.style.verge_drop;
        return s;
    }

    double height(double d) const
    {
        double y = 0.0;
        for (const Hill& h : d_.hills) {
            if (!(h.length > 0.0))
                continue;
            const double delta = std::remainder(d - h.centre, line_.length());
            if (std::fabs(delta) < h.length / 2.0)
                y += h.height * 0.5 * (1.0 + std::cos(kPi * delta / (h.length / 2.0)));
        }
        return y;
    }

private:
    const CircuitDescription& d_;
    const CentreLine& line_;
    std::vector<double> slope_;
    std::vector<double> verge_left_;
    std::vector<double> verge_right_;
};

TrackFileSection section_of(const CrossSection& s, const CrossSectionStyle& style)
{
    TrackFileSection out;
    out.inner0 = s.point(-s.asphalt_left);
    out.inner1 = s.point(s.asphalt_right);
    out.edge0 = s.point(-(s.asphalt_left + s.verge_left));
    out.edge1 = s.point(s.asphalt_right + s.verge_right);
    out.left_surface = style.surface_left;
    out.right_surface = style.surface_right;
    return out;
}

// Kerbs: runs of raised strips on one verge, one strip row per section.
struct KerbRun {
    int verge = 0; // 0 left, 1 right
    int first = 0; // section
    int last = 0;
};

void add_kerbs(const CircuitDescription& d, const CentreLine& line, const CircuitShape& shape, int section_count,
               TrackFile& out)
{
    std::vector<KerbRun> runs;
    for (std::size_t i = 0; i < d.pieces.size(); ++i) {
        const CircuitPiece& p = d.pieces[i];
        if (p.kind != PieceKind::Arc || !p.kerbs)
            continue;
        const LinePiece& lp = line.pieces()[i];
        const int inside = p.radius > 0.0 ? 0 : 1;
        auto run = [&](int verge, double from, double to) {
            KerbRun r{verge, static_cast<int>(std::ceil(lp.start + from * lp.length)),
                      static_cast<int>(std::floor(lp.start + to * lp.length))};
            r.last = std::min(r.last, section_count - 1);
            if (r.last - r.first >= 2)
                runs.push_back(r);
        };
        run(inside, 0.25, 0.75);
        run(1 - inside, 0.7, 0.97);
    }
    std::sort(runs.begin(), runs.end(), [](const KerbRun& a, const KerbRun& b) {
        return a.verge != b.verge ? a.verge < b.verge : a.first < b.first;
    });
    int previous_last[2] = {-10, -10};
    for (KerbRun r : runs) {
        // Runs on one verge keep a section between them, so each section
        // marks the end of one run or the start of the next, never both.
        r.first = std::max(r.first, previous_last[r.verge] + 2);
        if (r.last - r.first < 2)
            continue;
        previous_last[r.verge] = r.last;
        const int base = static_cast<int>(out.strips.size());
        const double direction = r.verge == 0 ? -1.0 : 1.0;
        for (int k = r.first; k <= r.last; ++k) {
            const CrossSection s = shape.at(static_cast<double>(k));
            const double border = r.verge == 0 ? -s.asphalt_left : s.asphalt_right;
            const double verge = r.verge == 0 ? s.verge_left : s.verge_right;
            if (d.style.kerb_width > verge - 0.1)
                fail(d, "a kerb at " + std::to_string(k) + " m is wider than its verge");
            TrackFileStrip strip;
            strip.side0 = s.point(border);
            strip.middle = s.point(border + direction * d.style.kerb_width / 2.0);
            strip.middle.y += static_cast<float>(d.style.kerb_height);
            strip.side1 = s.point(border + direction * d.style.kerb_width);
            out.strips.push_back(strip);
            const int row = base + (k - r.first);
            std::int32_t& field = r.verge == 0 ? out.sections[static_cast<std::size_t>(k)].left_strips
                                               : out.sections[static_cast<std::size_t>(k)].right_strips;
            field = k < r.last ? row : -row;
        }
    }
}

void add_gravel(const CircuitDescription& d, const CentreLine& line, const CircuitShape& shape, int section_count,
                TrackFile& out)
{
    constexpr int kChunk = 4;
    for (std::size_t i = 0; i < d.pieces.size(); ++i) {
        const CircuitPiece& p = d.pieces[i];
        if (p.kind != PieceKind::Arc || !p.gravel)
            continue;
        const LinePiece& lp = line.pieces()[i];
        const int verge = p.radius > 0.0 ? 1 : 0; // the outside
        const int first = static_cast<int>(std::ceil(lp.start + 0.4 * lp.length));
        const int last = std::min(static_cast<int>(std::floor(lp.start + lp.length)), section_count - 1);
        for (int a = first; a < last; a += kChunk) {
            const int b = std::min(a + kChunk, last);
            TrackFilePatch patch;
            patch.surface = d.style.gravel_surface;
            patch.first_section = a;
            patch.section_count = b - a;
            // The asphalt border's chord and the edge's points: a convex
            // polygon over the verge between sections a and b.
            const CrossSection sa = shape.at(static_cast<double>(a));
            const CrossSection sb = shape.at(static_cast<double>(b));
            auto border = [&](const CrossSection& s) {
                return s.ground_xz(verge == 0 ? -s.asphalt_left : s.asphalt_right);
            };
            auto edge = [&](const CrossSection& s) {
                return s.ground_xz(verge == 0 ? -(s.asphalt_left + s.verge_left) : s.asphalt_right + s.verge_right);
            };
            patch.points.push_back(border(sa));
            for (int k = a; k <= b; ++k)
                patch.points.push_back(edge(shape.at(static_cast<double>(k))));
            patch.points.push_back(border(sb));
            out.patches.push_back(patch);
        }
    }
}

// Reference speeds per metre: cornering speed, then braking before and
// accelerating after each slower stretch, round the loop twice.
std::vector<double> reference_speeds(const CircuitDescription& d, const CentreLine& line, int metres)
{
    std::vector<double> v(static_cast<std::size_t>(metres));
    for (int k = 0; k < metres; ++k) {
        const double r = line.pieces()[static_cast<std::size_t>(line.piece_at(k + 0.5))].radius;
        v[static_cast<std::size_t>(k)] =
            r == 0.0 ? d.top_speed : std::min(d.top_speed, std::sqrt(std::fabs(r) * d.grip_g * kGravity));
    }
    for (int round = 0; round < 2; ++round) {
        for (int k = metres - 1; k >= 0; --k) {
            const double ahead = v[static_cast<std::size_t>((k + 1) % metres)];
            v[static_cast<std::size_t>(k)] =
                std::min(v[static_cast<std::size_t>(k)], std::sqrt(ahead * ahead + 2.0 * d.braking));
        }
        for (int k = 0; k < metres; ++k) {
            const double behind = v[static_cast<std::size_t>((k + metres - 1) % metres)];
            v[static_cast<std::size_t>(k)] =
                std::min(v[static_cast<std::size_t>(k)], std::sqrt(behind * behind + 2.0 * d.acceleration));
        }
    }
    return v;
}

void add_grid(const CircuitDescription& d, const CentreLine& line, const CircuitShape& shape, TrackFile& out)
{
    for (int i = 0; i < 32; ++i) {
        const int row = i / 2;
        const int column = i % 2;
        const double behind = d.grid.first_row + row * d.grid.row_spacing + column * d.grid.stagger;
        if (behind >= line.length() / 2.0)
            fail(d, "the grid reaches half way round the lap");
        const CrossSection s = shape.at(line.length() - behind);
        out.slots[static_cast<std::size_t>(i)] = s.ground_xz(column == 0 ? -d.grid.lateral : d.grid.lateral);
    }
}


} // namespace

BuiltCircuit build_circuit(const CircuitDescription& d)
{
    const CentreLine line(lay_out(d), true);
    const CircuitShape shape(d, line);
    BuiltCircuit built;
    built.length = line.length();
    for (std::size_t i = 0; i < line.pieces().size(); ++i) {
        built.piece_start.push_back(line.pieces()[i].start);
        built.piece_length.push_back(line.pieces()[i].length);
        built.circuit.segments.push_back(segment_of(line.pieces()[i], d.pieces[i].speed_limit));
    }

    // One cross-section per metre from the line; the last one stands between
    // 0.25 and 1.25 m before the line.
    const int sections = static_cast<int>(std::floor(line.length() - kMinLastGap)) + 1;
    for (int k = 0; k < sections; ++k)
        built.circuit.sections.push_back(section_of(shape.at(static_cast<double>(k)), d.style));

    const int metres = static_cast<int>(std::ceil(line.length()));
    const std::vector<double> speeds = reference_speeds(d, line, metres);
    for (int k = 0; k < metres; ++k) {
        TrackFileMetre m;
        m.section = std::min(k, sections - 1);
        m.low_bound = static_cast<float>(d.style.asphalt_right - 0.5);
        m.high_bound = static_cast<float>(d.style.asphalt_left - 0.5);
        m.ref_speed = static_cast<float>(speeds[static_cast<std::size_t>(k)]);
        built.circuit.metres.push_back(m);
    }

    add_kerbs(d, line, shape, sections, built.circuit);
    add_gravel(d, line, shape, sections, built.circuit);
    add_grid(d, line, shape, built.circuit);

    if (d.pit.present) {
        PitLane pit = build_pit_lane(d, line, [&](double distance) { return shape.height(distance); });
        built.has_pit_lane = true;
        built.pit_lane = std::move(pit.file);
        built.pit_length = pit.length;
        built.pit_entry = pit.entry;
        built.pit_exit = pit.exit;
        built.pit_entry_distance = pit.entry_distance;
    }
    return built;
}

} // namespace datakit
