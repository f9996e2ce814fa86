#pragma once

#include <array>
#include <functional>
#include <utility>
#include <vector>

#include "tools/datakit/track_writer.h"
#include "tools/datakit/world_track_parts.h"

namespace datakit::world {

// Lateral points of a road row, left to right: left edge, left kerb's outer
// line, its middle, left asphalt border, the inside of the left edge line,
// the middle of the asphalt, the inside of the right edge line, right
// asphalt border, right kerb's middle, its outer line, right edge. Borders and edges are the track
// file's cross-section points; kerbs are its raised strips where it has
// them (else points along the verge).
inline constexpr int kRoadColumns = 11;

// How the quad from a row to the next looks.
struct QuadLook {
    const char* verge[2] = {mat::grass, mat::grass};
    bool kerb[2] = {false, false};
    const char* surface = mat::asphalt;
    bool operator==(const QuadLook& o) const
    {
        return mat::same(verge[0], o.verge[0]) && mat::same(verge[1], o.verge[1]) && kerb[0] == o.kerb[0] &&
               kerb[1] == o.kerb[1] && mat::same(surface, o.surface);
    }
};

// One path (the circuit, or its pit lane) as rows of road.
class RoadPath {
public:
    RoadPath(const TrackFile& file, bool closed, double length, bool pit);

    int rows() const { return rows_; }
    // Row k is section k (a circuit's last row is section 0 again, at the
    // lap's length).
    double distance(int row) const { return distance_[static_cast<std::size_t>(row)]; }
    std::array<V3, kRoadColumns> columns(int row) const;
    V3 centre(int row) const;
    QuadLook look(int row) const;
    bool quad_exists(int row) const;
    int section_of(int row) const;

    // Chooses the rows the mesh keeps (see the .cpp) and cuts them into
    // stretches: pairs of indexes into kept() (first, last, inclusive; the
    // last of one is the first of the next). Rows in `forced` end a run of
    // skipped rows.
    std::vector<std::pair<int, int>> stretches(const std::vector<int>& forced, double tolerance) const;
    const std::vector<int>& kept() const { return kept_; }

    // The road mesh of kept rows from..to: every column (detailed) or the
    // edges and borders only.
    mdl_object road_object(int from, int to, V3 origin, bool detailed) const;

private:
    const TrackFile& file_;
    bool closed_;
    bool pit_;
    int rows_ = 0;
    std::vector<double> distance_;
    std::vector<bool> gravel_[2];
    mutable std::vector<int> kept_;
};

} // namespace datakit::world
