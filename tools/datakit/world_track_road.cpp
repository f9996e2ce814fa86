// The road of the demo world's circuits: the track file's own cross-sections
// become the mesh, so the drawn racing surface is the one the bikes ride on.
#include "tools/datakit/world_track_road.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace datakit::world {

namespace {

V3 v3(const TrackFilePoint& p) { return {p.x, p.y, p.z}; }

// Where a verge's kerb would lie when it has none: along the verge.
V3 along_verge(V3 inner, V3 edge, double metres)
{
    const double w = std::hypot(edge.x - inner.x, edge.z - inner.z);
    const double t = w > 1e-6 ? std::min(metres / w, 0.45) : 0.0;
    return lerp(inner, edge, t);
}

} // namespace

RoadPath::RoadPath(const TrackFile& file, bool closed, double length, bool pit) : file_(file), closed_(closed), pit_(pit)
{
    const int n = static_cast<int>(file.sections.size());
    rows_ = closed ? n + 1 : n;
    distance_.resize(static_cast<std::size_t>(rows_));
    for (int k = 0; k < rows_; ++k)
        distance_[static_cast<std::size_t>(k)] = k < n ? static_cast<double>(k) : length;
    if (!closed) {
        // An open path's last section stands at its end, closer than a metre.
        for (int k = 1; k < n; ++k) {
            const V3 a = centre(k - 1), b = centre(k);
            distance_[static_cast<std::size_t>(k)] =
                distance_[static_cast<std::size_t>(k - 1)] + std::hypot(b.x - a.x, b.z - a.z);
        }
    }
    // Gravel patches: which quads of which verge they cover.
    gravel_[0].assign(static_cast<std::size_t>(n), false);
    gravel_[1].assign(static_cast<std::size_t>(n), false);
    for (const TrackFilePatch& p : file.patches) {
        if (p.points.empty() || p.first_section < 0 || p.first_section >= n || p.surface != 2)
            continue;
        const TrackFileSection& s = file.sections[static_cast<std::size_t>(p.first_section)];
        const double dl = std::hypot(p.points[0].x - s.inner0.x, p.points[0].z - s.inner0.z);
        const double dr = std::hypot(p.points[0].x - s.inner1.x, p.points[0].z - s.inner1.z);
        const int side = dl < dr ? 0 : 1;
        for (int k = p.first_section; k < std::min(n, p.first_section + p.section_count); ++k)
            gravel_[side][static_cast<std::size_t>(k)] = true;
    }
}

int RoadPath::section_of(int row) const
{
    const int n = static_cast<int>(file_.sections.size());
    return row % n;
}

V3 RoadPath::centre(int row) const
{
    const TrackFileSection& s = file_.sections[static_cast<std::size_t>(section_of(row))];
    return lerp(v3(s.inner0), v3(s.inner1), 0.5);
}

std::array<V3, kRoadColumns> RoadPath::columns(int row) const
{
    const TrackFileSection& s = file_.sections[static_cast<std::size_t>(section_of(row))];
    const V3 e0 = v3(s.edge0), i0 = v3(s.inner0), i1 = v3(s.inner1), e1 = v3(s.edge1);
    std::array<V3, kRoadColumns> c{};
    c[0] = e0;
    c[3] = i0;
    c[7] = i1;
    c[10] = e1;
    const double w = std::hypot(i1.x - i0.x, i1.z - i0.z);
    const double line = w > 1.0 ? 0.15 / w : 0.0;
    c[4] = lerp(i0, i1, line);
    c[5] = lerp(i0, i1, 0.5);
    c[6] = lerp(i1, i0, line);
    auto kerb = [&](std::int32_t field, V3 inner, V3 edge, V3& middle, V3& outer) {
        const std::int32_t row_index = field == kTrackFileNoStrips ? -1 : std::abs(field);
        if (row_index >= 0 && row_index < static_cast<std::int32_t>(file_.strips.size())) {
            const TrackFileStrip& st = file_.strips[static_cast<std::size_t>(row_index)];
            middle = v3(st.middle);
            outer = v3(st.side1);
        } else {
            middle = along_verge(inner, edge, 0.6);
            outer = along_verge(inner, edge, 1.2);
        }
    };
    kerb(s.left_strips, i0, e0, c[2], c[1]);
    kerb(s.right_strips, i1, e1, c[8], c[9]);
    return c;
}

QuadLook RoadPath::look(int row) const
{
    const TrackFileSection& s = file_.sections[static_cast<std::size_t>(section_of(row))];
    QuadLook q;
    const auto sec = static_cast<std::size_t>(section_of(row));
    auto verge = [&](int side, std::uint8_t surface) {
        if (gravel_[side][sec])
            return mat::gravel;
        if (surface == 2)
            return mat::gravel;
        if (surface == 3)
            return mat::concrete;
        return mat::grass;
    };
    q.verge[0] = verge(0, s.left_surface);
    q.verge[1] = verge(1, s.right_surface);
    q.kerb[0] = s.left_strips >= 0 && s.left_strips != kTrackFileNoStrips;
    q.kerb[1] = s.right_strips >= 0 && s.right_strips != kTrackFileNoStrips;
    q.surface = pit_ ? mat::pit_asphalt : (closed_ && row == 0 ? mat::start : mat::asphalt);
    return q;
}

bool RoadPath::quad_exists(int row) const { return row + 1 < rows_; }

std::vector<std::pair<int, int>> RoadPath::stretches(const std::vector<int>& forced, double tolerance) const
{
    // Rows kept: each next row is the farthest (at most 12 m on) such that
    // the rows skipped lie within `tolerance` of the straight lines between
    // the kept ones, and every quad between looks the same.
    std::vector<int> kept{0};
    int a = 0;
    const int last = rows_ - 1;
    while (a < last) {
        int best = a + 1;
        for (int b = a + 2; b <= last && distance_[static_cast<std::size_t>(b)] - distance_[static_cast<std::size_t>(a)] <= 12.0; ++b) {
            if (std::find(forced.begin(), forced.end(), b - 1) != forced.end())
                break;
            if (!(look(b - 1) == look(a)))
                break;
            const auto ca = columns(a), cb = columns(b);
            const double da = distance_[static_cast<std::size_t>(a)], db = distance_[static_cast<std::size_t>(b)];
            bool fits = true;
            for (int j = a + 1; j < b && fits; ++j) {
                const double t = (distance_[static_cast<std::size_t>(j)] - da) / (db - da);
                const auto cj = columns(j);
                for (int c = 0; c < kRoadColumns && fits; ++c) {
                    const V3 p = lerp(ca[static_cast<std::size_t>(c)], cb[static_cast<std::size_t>(c)], t);
                    const V3 q = cj[static_cast<std::size_t>(c)];
                    fits = std::hypot(p.x - q.x, p.z - q.z) <= tolerance && std::fabs(p.y - q.y) <= 2.0 * tolerance;
                }
            }
            if (!fits)
                break;
            best = b;
        }
        kept.push_back(best);
        a = best;
    }
    // Stretches of at most 48 kept rows and 160 m.
    std::vector<std::pair<int, int>> out;
    std::size_t first = 0;
    for (std::size_t i = 1; i < kept.size(); ++i) {
        const bool full = i - first >= 48 ||
                          distance_[static_cast<std::size_t>(kept[i])] - distance_[static_cast<std::size_t>(kept[first])] >= 160.0;
        if (full || i + 1 == kept.size()) {
            out.emplace_back(static_cast<int>(first), static_cast<int>(i));
            first = i;
        }
    }
    kept_ = kept;
    return out;
}

mdl_object RoadPath::road_object(int from, int to, V3 origin, bool detailed) const
{
    MeshBuilder mesh(origin);
    const int columns_used[kRoadColumns] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    const int coarse[4] = {0, 3, 7, 10};
    const int* cols = detailed ? columns_used : coarse;
    const int ncols = detailed ? kRoadColumns : 4;
    const double d0 = distance_[static_cast<std::size_t>(kept_[static_cast<std::size_t>(from)])];
    std::vector<std::vector<std::uint32_t>> rows;
    for (int i = from; i <= to; ++i) {
        const int row = kept_[static_cast<std::size_t>(i)];
        const auto c = columns(row);
        const int other = kept_[static_cast<std::size_t>(i < to ? i + 1 : i - 1)];
        V3 along = centre(other) - centre(row);
        if (i == to)
            along = along * -1.0;
        const V3 up = unit(cross(along, c[7] - c[3]));
        const double v = (distance_[static_cast<std::size_t>(row)] - d0) / 4.0;
        std::vector<std::uint32_t> ids;
        double u = 0.0;
        for (int k = 0; k < ncols; ++k) {
            if (k > 0) {
                const V3 a = c[static_cast<std::size_t>(cols[k - 1])], b = c[static_cast<std::size_t>(cols[k])];
                u += std::hypot(b.x - a.x, b.z - a.z) / 4.0;
            }
            ids.push_back(mesh.vertex(c[static_cast<std::size_t>(cols[k])], up, u, v));
        }
        rows.push_back(ids);
    }
    const V3 up{0.0, 1.0, 0.0};
    for (int i = from; i < to; ++i) {
        const QuadLook q = look(kept_[static_cast<std::size_t>(i)]);
        const auto& r0 = rows[static_cast<std::size_t>(i - from)];
        const auto& r1 = rows[static_cast<std::size_t>(i - from + 1)];
        for (int k = 0; k + 1 < ncols; ++k) {
            const char* m = q.surface;
            if (detailed) {
                switch (k) {
                case 0: m = q.verge[0]; break;
                case 1: case 2: m = q.kerb[0] ? mat::kerb : q.verge[0]; break;
                case 3: case 6: m = mat::same(q.surface, mat::start) ? mat::start : mat::line; break;
                case 7: case 8: m = q.kerb[1] ? mat::kerb : q.verge[1]; break;
                case 9: m = q.verge[1]; break;
                default: break;
                }
            } else {
                m = k == 0 ? q.verge[0] : (k == 2 ? q.verge[1] : q.surface);
            }
            mesh.quad(r0[static_cast<std::size_t>(k)], r0[static_cast<std::size_t>(k + 1)],
                      r1[static_cast<std::size_t>(k + 1)], r1[static_cast<std::size_t>(k)], m, up);
        }
    }
    return mesh.object("ROAD");
}

} // namespace datakit::world
