#include "tools/datakit/pit_lane_builder.h"

#include <cmath>
#include <stdexcept>
#include <string>

namespace datakit {

using namespace circuit_geometry;

namespace {

[[noreturn]] void fail(const CircuitDescription& d, const std::string& why)
{
    throw std::invalid_argument("circuit \"" + d.name + "\", pit lane: " + why);
}

} // namespace

PitLane build_pit_lane(const CircuitDescription& d, const CentreLine& circuit,
                       const std::function<double(double)>& height)
{
    const PitLaneStyle& pit = d.pit;
    const double lap = circuit.length();
    if (pit.side != 1 && pit.side != -1)
        fail(d, "side must be +1 or -1");
    if (!(pit.entry_before > 0.0 && pit.exit_after > 0.0) || pit.entry_before + pit.exit_after >= lap / 2.0)
        fail(d, "entry and exit must lie on the straight through the line");

    // The circuit must run straight from the pit entry to the pit exit.
    const double entry_distance = lap - pit.entry_before;
    const int first_piece = circuit.piece_at(entry_distance);
    const int last_piece = circuit.piece_at(pit.exit_after);
    const int pieces = static_cast<int>(circuit.pieces().size());
    for (int i = first_piece;; i = (i + 1) % pieces) {
        if (circuit.pieces()[static_cast<std::size_t>(i)].radius != 0.0)
            fail(d, "the circuit curves between the pit entry and exit");
        if (i == last_piece)
            break;
    }

    const Pose start_pose = circuit.at(entry_distance);
    const double h = start_pose.heading;
    const double rx = std::cos(h), rz = -std::sin(h); // to the right
    const double fx = std::sin(h), fz = std::cos(h);  // forward
    const double border = pit.side > 0 ? d.style.asphalt_right : d.style.asphalt_left;
    const double shift = pit.offset - border;
    const double radius = pit.curve_radius;
    if (!(shift > 0.0) || !(radius > 0.0) || shift >= 2.0 * radius)
        fail(d, "the offset must lie beyond the asphalt and within reach of the curves");
    const double theta = std::acos(1.0 - shift / (2.0 * radius));
    const double s_curve = 2.0 * radius * std::sin(theta);
    const double along = pit.entry_before + pit.exit_after;
    const double straight = along - 2.0 * s_curve;
    if (straight < 32.0 * pit.box_spacing + 10.0)
        fail(d, "the pit straight (" + std::to_string(straight) + " m) is too short for 32 boxes");

    // Out, back to parallel, the pit straight, in, back to parallel.
    const double out = -pit.side * radius;
    const double arc = radius * theta;
    const double radii[5] = {out, -out, 0.0, -out, out};
    const double lengths[5] = {arc, arc, straight, arc, arc};
    std::vector<LinePiece> line_pieces;
    Pose pose{start_pose.x + pit.side * border * rx, start_pose.z + pit.side * border * rz, h};
    double start = 0.0;
    for (int i = 0; i < 5; ++i) {
        LinePiece p;
        p.radius = radii[i];
        p.length = lengths[i];
        p.start = start;
        p.pose = pose;
        line_pieces.push_back(p);
        pose = advance(pose, p.radius, p.length);
        start += p.length;
    }
    const CentreLine line(line_pieces, false);

    PitLane result;
    result.length = line.length();
    result.entry_distance = entry_distance;
    const Pose first = line.at(0.0);
    const Pose last = line.at(line.length());
    result.entry = {static_cast<float>(first.x), static_cast<float>(first.z)};
    result.exit = {static_cast<float>(last.x), static_cast<float>(last.z)};

    for (const LinePiece& p : line.pieces())
        result.file.segments.push_back(segment_of(p, pit.speed_limit));

    // The track side is the pit lane's left when the pits lie to the right.
    const double asphalt_left = pit.side > 0 ? pit.asphalt_track_side : pit.asphalt_garage_side;
    const double asphalt_right = pit.side > 0 ? pit.asphalt_garage_side : pit.asphalt_track_side;
    const double verge_left = pit.side > 0 ? pit.verge_track_side : pit.verge_garage_side;
    const double verge_right = pit.side > 0 ? pit.verge_garage_side : pit.verge_track_side;
    auto section_at = [&](double distance) {
        CrossSection s;
        s.pose = line.at(distance);
        // Level with the circuit beside it.
        const double beside = (s.pose.x - start_pose.x) * fx + (s.pose.z - start_pose.z) * fz;
        s.centre_height = height(entry_distance + beside);
        s.asphalt_left = asphalt_left;
        s.asphalt_right = asphalt_right;
        s.verge_left = verge_left;
        s.verge_right = verge_right;
        return s;
    };

    // One cross-section per metre, and one at the very end.
    std::vector<double> distances;
    for (int k = 0; k < line.length() - 0.25; ++k)
        distances.push_back(k);
    distances.push_back(line.length());
    for (const double distance : distances) {
        const CrossSection s = section_at(distance);
        TrackFileSection out;
        out.inner0 = s.point(-asphalt_left);
        out.inner1 = s.point(asphalt_right);
        out.edge0 = s.point(-(asphalt_left + verge_left));
        out.edge1 = s.point(asphalt_right + verge_right);
        out.left_surface = pit.surface;
        out.right_surface = pit.surface;
        result.file.sections.push_back(out);
    }
    const int sections = static_cast<int>(result.file.sections.size());
    const int metres = static_cast<int>(std::ceil(line.length()));
    for (int k = 0; k < metres; ++k) {
        TrackFileMetre m;
        m.section = std::min(k, sections - 1);
        m.low_bound = static_cast<float>(asphalt_right - 0.5);
        m.high_bound = static_cast<float>(asphalt_left - 0.5);
        m.ref_speed = static_cast<float>(pit.speed);
        result.file.metres.push_back(m);
    }

    // The boxes: 32 along the middle of the pit straight, toward the garages.
    const double middle = lengths[0] + lengths[1] + straight / 2.0;
    for (int i = 0; i < 32; ++i) {
        const CrossSection s = section_at(middle + (i - 15.5) * pit.box_spacing);
        result.file.slots[static_cast<std::size_t>(i)] = s.ground_xz(pit.side * pit.box_lateral);
    }
    return result;
}

} // namespace datakit
