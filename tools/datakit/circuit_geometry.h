#pragma once

#include <vector>

#include "tools/datakit/circuit_builder.h"

// The circuit builder's working geometry, in double precision: the centre
// line as a chain of straights and arcs, and the cross-section sampled at a
// distance.
namespace datakit::circuit_geometry {

inline constexpr double kPi = 3.14159265358979323846;

struct Pose {
    double x = 0.0;
    double z = 0.0;
    double heading = 0.0;
};

struct LinePiece {
    double radius = 0.0; // 0 straight; positive turns left
    double length = 0.0;
    double start = 0.0;  // distance along the line
    Pose pose;           // at the piece's start
};

// The pose reached after `length` along a straight or arc from `from`.
Pose advance(const Pose& from, double radius, double length);

// The track file's record of one piece of a centre line.
TrackFileSegment segment_of(const LinePiece& p, float speed_limit);

class CentreLine {
public:
    CentreLine() = default;
    CentreLine(std::vector<LinePiece> pieces, bool closed);

    // The pose at distance d (wrapped on a closed line, clamped on an open one).
    Pose at(double d) const;
    // The piece that holds distance d (wrapped / clamped likewise).
    int piece_at(double d) const;
    double wrap(double d) const;

    const std::vector<LinePiece>& pieces() const { return pieces_; }
    double length() const { return length_; }
    bool closed() const { return closed_; }

    // The mean over [d - width/2, d + width/2] of a value given per piece
    // (constant along each piece): values change linearly over `width`
    // around each piece boundary. width <= 0: the piece's own value.
    double smoothed(double d, const std::vector<double>& per_piece, double width) const;

private:
    // Integral of the per-piece value from 0 to d (d may lie outside the lap
    // on a closed line).
    double integral(double d, const std::vector<double>& per_piece, const std::vector<double>& cumulative) const;

    std::vector<LinePiece> pieces_;
    double length_ = 0.0;
    bool closed_ = true;
};

// Lateral layout of one cross-section; s is the lateral offset, positive to
// the right of the heading (direction (cos h, -sin h)).
struct CrossSection {
    Pose pose;
    double centre_height = 0.0;
    double slope = 0.0;          // height falls by slope per metre to the right
    double asphalt_left = 0.0;
    double asphalt_right = 0.0;
    double verge_left = 0.0;
    double verge_right = 0.0;
    double verge_drop = 0.0;

    // The ground point at lateral offset s.
    TrackFilePoint point(double s) const;
    // x-z only.
    TrackFileXZ ground_xz(double s) const;
};

} // namespace datakit::circuit_geometry
