#include "tools/datakit/circuit_geometry.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace datakit::circuit_geometry {

TrackFileSegment segment_of(const LinePiece& p, float speed_limit)
{
    TrackFileSegment s;
    s.radius = static_cast<float>(p.radius);
    s.length = static_cast<float>(p.length);
    s.heading = static_cast<float>(std::remainder(p.pose.heading, 2.0 * kPi));
    s.start_x = static_cast<float>(p.pose.x);
    s.start_z = static_cast<float>(p.pose.z);
    s.speed_limit = speed_limit;
    return s;
}

Pose advance(const Pose& from, double radius, double length)
{
    if (radius == 0.0)
        return {from.x + length * std::sin(from.heading), from.z + length * std::cos(from.heading), from.heading};
    const double a = from.heading - length / radius;
    const double cx = from.x + radius * std::sin(from.heading - kPi / 2.0);
    const double cz = from.z + radius * std::cos(from.heading - kPi / 2.0);
    return {cx + radius * std::cos(a), cz - radius * std::sin(a), a};
}

CentreLine::CentreLine(std::vector<LinePiece> pieces, bool closed) : pieces_(std::move(pieces)), closed_(closed)
{
    length_ = pieces_.empty() ? 0.0 : pieces_.back().start + pieces_.back().length;
}

double CentreLine::wrap(double d) const
{
    if (length_ <= 0.0)
        return 0.0;
    if (closed_) {
        d = std::fmod(d, length_);
        if (d < 0.0)
            d += length_;
        return d;
    }
    return std::clamp(d, 0.0, length_);
}

int CentreLine::piece_at(double d) const
{
    d = wrap(d);
    int i = 0;
    while (i + 1 < static_cast<int>(pieces_.size()) && d >= pieces_[static_cast<std::size_t>(i + 1)].start)
        ++i;
    return i;
}

Pose CentreLine::at(double d) const
{
    d = wrap(d);
    const LinePiece& p = pieces_[static_cast<std::size_t>(piece_at(d))];
    return advance(p.pose, p.radius, std::clamp(d - p.start, 0.0, p.length));
}

double CentreLine::integral(double d, const std::vector<double>& per_piece, const std::vector<double>& cumulative) const
{
    double laps = 0.0;
    if (closed_) {
        laps = std::floor(d / length_);
        d -= laps * length_;
    } else {
        d = std::clamp(d, 0.0, length_);
    }
    const int i = piece_at(d);
    const double inside = d - pieces_[static_cast<std::size_t>(i)].start;
    return laps * cumulative.back() + cumulative[static_cast<std::size_t>(i)] +
           inside * per_piece[static_cast<std::size_t>(i)];
}

double CentreLine::smoothed(double d, const std::vector<double>& per_piece, double width) const
{
    if (width <= 0.0)
        return per_piece[static_cast<std::size_t>(piece_at(d))];
    std::vector<double> cumulative(pieces_.size() + 1, 0.0);
    for (std::size_t i = 0; i < pieces_.size(); ++i)
        cumulative[i + 1] = cumulative[i] + pieces_[i].length * per_piece[i];
    double from = d - width / 2.0;
    double to = d + width / 2.0;
    if (!closed_) {
        // Near the ends of an open line the window shrinks to fit.
        from = std::max(from, 0.0);
        to = std::min(to, length_);
        if (to <= from)
            return per_piece[static_cast<std::size_t>(piece_at(d))];
    }
    return (integral(to, per_piece, cumulative) - integral(from, per_piece, cumulative)) / (to - from);
}

TrackFilePoint CrossSection::point(double s) const
{
    double y = centre_height - s * slope;
    if (s < -asphalt_left && verge_left > 0.0)
        y -= verge_drop * (-s - asphalt_left) / verge_left;
    else if (s > asphalt_right && verge_right > 0.0)
        y -= verge_drop * (s - asphalt_right) / verge_right;
    const double c = std::cos(pose.heading);
    const double sn = std::sin(pose.heading);
    return {static_cast<float>(pose.x + s * c), static_cast<float>(y), static_cast<float>(pose.z - s * sn)};
}

TrackFileXZ CrossSection::ground_xz(double s) const
{
    const TrackFilePoint p = point(s);
    return {p.x, p.z};
}

} // namespace datakit::circuit_geometry
