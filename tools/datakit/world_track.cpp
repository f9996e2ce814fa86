#include "tools/datakit/world_track.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <tuple>
#include <memory>
#include <stdexcept>
#include <system_error>

#include "platform/atomic_file.h"
#include "tools/datakit/anm_writer.h"
#include "tools/datakit/demo_circuits.h"
#include "tools/datakit/map_writer.h"
#include "tools/datakit/mdl_writer.h"
#include "tools/datakit/race_data_writer.h"
#include "tools/datakit/shade_table_writer.h"
#include "tools/datakit/text_file_builder.h"
#include "tools/datakit/typed_list_writer.h"
#include "tools/datakit/world_track_road.h"

namespace datakit {

using namespace world;

namespace {

constexpr double kPi = 3.14159265358979323846;
const V3 kUp{0.0, 1.0, 0.0};

V3 flat(V3 a) { return {a.x, 0.0, a.z}; }

// A small deterministic generator for the scenery's placement.
class Random {
public:
    explicit Random(std::uint32_t seed) : state_(seed * 2654435761u + 12345u) {}
    double next()
    {
        state_ = state_ * 1664525u + 1013904223u;
        return static_cast<double>(state_ >> 8) / 16777216.0;
    }
    double range(double a, double b) { return a + (b - a) * next(); }

private:
    std::uint32_t state_;
};

enum class WallKind { None, Armco, Tyres, PitWall };

// Everything the scene's builders share about one circuit.
struct Circuit {
    const CircuitDescription& d;
    const BuiltCircuit& built;
    RoadPath road;
    bool has_pit = false;
    std::unique_ptr<RoadPath> pit;
    // The ground: below every edge near it, rising 1.5 cm a metre away from
    // the track at most, and never above the circuit's mean height (see
    // ground_at).
    double ground_y = 0.0;
    double ground_cap = 0.0;
    std::vector<std::array<double, 3>> ground_samples; // x, z, lowest edge height
    double ground_at(double x, double z) const
    {
        double g = ground_cap;
        for (const auto& s : ground_samples)
            g = std::min(g, s[2] - 0.6 + 0.015 * std::hypot(s[0] - x, s[1] - z));
        return g;
    }
    // Per circuit row and side: the barrier and the apron's width beyond it.
    std::vector<WallKind> wall[2];
    std::vector<double> apron[2];
    // The pit lane's: no barriers, a concrete apron on the garages' side.
    std::vector<WallKind> pit_wall[2];
    std::vector<double> pit_apron[2];
    // Points round which nothing may be planted: (x, z, radius).
    std::vector<std::array<double, 3>> keep_clear;

    Circuit(const CircuitDescription& desc, const BuiltCircuit& b)
        : d(desc), built(b), road(b.circuit, true, b.length, false), has_pit(b.has_pit_lane)
    {
        if (has_pit)
            pit = std::make_unique<RoadPath>(b.pit_lane, false, b.pit_length, true);
    }
};

// How far the point is from the nearest edge of the pit lane's ground
// (negative when the point lies on it).
double nearest_pit_edge(const Circuit& c, V3 p)
{
    double best = 1e30;
    if (!c.has_pit)
        return best;
    const auto& sections = c.built.pit_lane.sections;
    for (std::size_t k = 0; k < sections.size(); ++k) {
        const TrackFileSection& s = sections[k];
        for (const TrackFilePoint& e : {s.edge0, s.edge1})
            best = std::min(best, std::hypot(e.x - p.x, e.z - p.z));
        // On the pit lane: between its edges at this section.
        const double ax = s.edge1.x - s.edge0.x, az = s.edge1.z - s.edge0.z;
        const double t = ((p.x - s.edge0.x) * ax + (p.z - s.edge0.z) * az) / std::max(1e-9, ax * ax + az * az);
        const double off = std::fabs((p.x - s.edge0.x) * az - (p.z - s.edge0.z) * ax) / std::sqrt(std::max(1e-9, ax * ax + az * az));
        if (t > 0.0 && t < 1.0 && off < 0.7)
            best = std::min(best, -1.0);
    }
    return best;
}

void plan_walls(Circuit& c)
{
    const int rows = c.road.rows();
    double low = 1e30;
    for (const TrackFileSection& s : c.built.circuit.sections)
        low = std::min({low, static_cast<double>(s.edge0.y), static_cast<double>(s.edge1.y)});
    if (c.has_pit)
        for (const TrackFileSection& s : c.built.pit_lane.sections)
            low = std::min({low, static_cast<double>(s.edge0.y), static_cast<double>(s.edge1.y)});
    c.ground_y = low - 0.5;
    double sum = 0.0;
    for (const TrackFileSection& s : c.built.circuit.sections)
        sum += s.inner0.y;
    c.ground_cap = sum / std::max<std::size_t>(1, c.built.circuit.sections.size()) - 0.6;
    for (std::size_t k = 0; k < c.built.circuit.sections.size(); k += 8) {
        const TrackFileSection& s = c.built.circuit.sections[k];
        for (const TrackFilePoint& e : {s.edge0, s.edge1})
            c.ground_samples.push_back({e.x, e.z, std::min(s.edge0.y, s.edge1.y)});
    }
    if (c.has_pit)
        for (std::size_t k = 0; k < c.built.pit_lane.sections.size(); k += 8) {
            const TrackFileSection& s = c.built.pit_lane.sections[k];
            for (const TrackFilePoint& e : {s.edge0, s.edge1})
                c.ground_samples.push_back({e.x, e.z, std::min(s.edge0.y, s.edge1.y)});
        }
    for (int side = 0; side < 2; ++side) {
        c.wall[side].assign(static_cast<std::size_t>(rows), WallKind::Armco);
        c.apron[side].assign(static_cast<std::size_t>(rows), 12.0);
    }
    // Tyre walls behind gravel, 20 m either side of it.
    for (int side = 0; side < 2; ++side) {
        for (int r = 0; r < rows; ++r) {
            if (!mat::same(c.road.look(r).verge[side], mat::gravel))
                continue;
            for (int k = std::max(0, r - 20); k <= std::min(rows - 1, r + 20); ++k)
                c.wall[side][static_cast<std::size_t>(k)] = WallKind::Tyres;
        }
    }
    if (c.has_pit) {
        // The garages stand on the side away from the circuit.
        const int garage = c.d.pit.side < 0 ? 0 : 1;
        const std::size_t n = c.built.pit_lane.sections.size();
        for (int side = 0; side < 2; ++side) {
            c.pit_wall[side].assign(n, WallKind::None);
            c.pit_apron[side].assign(n, side == garage ? -16.0 : 0.0);
        }
    }
    for (int r = 0; r < rows; ++r) {
        const auto cols = c.road.columns(r);
        for (int side = 0; side < 2; ++side) {
            const V3 e = cols[side == 0 ? 0 : 10];
            double& w = c.apron[side][static_cast<std::size_t>(r)];
            const V3 o = unit(flat(e - cols[side == 0 ? 3 : 7]));
            w = std::clamp(3.0 * (e.y - c.ground_at(e.x + o.x * 12.0, e.z + o.z * 12.0)), 12.0, 30.0);
            if (!c.has_pit || side != (c.d.pit.side < 0 ? 0 : 1))
                continue;
            const double pit = nearest_pit_edge(c, e);
            if (pit < 1.0) {
                // Where the pit lane joins the circuit: an opening.
                c.wall[side][static_cast<std::size_t>(r)] = WallKind::None;
                w = 0.0;
            } else if (pit < 14.0) {
                // Beside the pit lane: the pit wall, and concrete up to it.
                c.wall[side][static_cast<std::size_t>(r)] = WallKind::PitWall;
                w = -(pit - 0.4);
            }
        }
    }
}

// The face word of the depth bias (the priority word of the mesh drawing).
// The software device paints faces in the order of their mean depth plus
// that bias, so what lies flat is biased below what stands on it: the road,
// its verges and kerbs and the aprons beside it are drawn as if 12 m deeper
// (more than half the longest road quad, 12 m), and the ground under
// everything as if 60 m deeper (more than half a ground cell, 42 m across,
// plus the road's bias), so that neither paints over the bikes, shadows
// and marks on the road, nor the ground over the road. (The 3D device takes
// the bias into its depth too, which keeps the ground and the road from
// fighting over a pixel there.)
constexpr int kFaceWordDepthBias = 12;
constexpr std::int32_t kSurfaceDepthBias = -12;
constexpr std::int32_t kGroundDepthBias = -60;

void set_depth_bias(mdl_object& object, std::int32_t bias, std::size_t first = 0,
                    std::size_t last = static_cast<std::size_t>(-1))
{
    for (std::size_t i = first; i < object.mesh.faces.size() && i < last; ++i)
        object.mesh.faces[i][kFaceWordDepthBias] = static_cast<std::uint32_t>(bias);
}

// The barriers and the aprons behind them of kept rows from..to. A quad
// takes the barrier and apron of the row it starts at; a row where they
// change gets vertices for each.
mdl_object walls_object(const Circuit& c, const RoadPath& road, int from, int to, V3 origin, bool detailed,
                        const std::vector<WallKind>* wall, const std::vector<double>* apron)
{
    MeshBuilder mesh(origin);
    std::vector<std::size_t> aprons; // the flat faces among the walls
    const std::vector<int>& kept = road.kept();
    const double d0 = road.distance(kept[static_cast<std::size_t>(from)]);
    struct RowIds {
        std::vector<std::uint32_t> wall;
        std::vector<std::uint32_t> apron;
    };
    for (int side = 0; side < 2; ++side) {
        std::map<std::tuple<int, int, int>, RowIds> cache;
        auto row_ids = [&](int i, WallKind kind, double w) -> const RowIds& {
            const auto key = std::make_tuple(i, static_cast<int>(kind), w > 0.0 ? 1 : (w < 0.0 ? -1 : 0));
            const auto found = cache.find(key);
            if (found != cache.end())
                return found->second;
            const int row = kept[static_cast<std::size_t>(i)];
            const auto cols = road.columns(row);
            const V3 edge = cols[side == 0 ? 0 : 10];
            const V3 inner = cols[side == 0 ? 3 : 7];
            const V3 out = unit(flat(edge - inner));
            const double v = (road.distance(row) - d0) / 4.0;
            RowIds ids;
            const double h = kind == WallKind::Tyres ? 1.0 : (kind == WallKind::PitWall ? 1.1 : 0.8);
            const double t = kind == WallKind::Tyres ? 0.7 : (kind == WallKind::None ? 0.0 : 0.3);
            if (kind != WallKind::None) {
                ids.wall.push_back(mesh.vertex(edge, out * -1.0, v, 1.0));
                ids.wall.push_back(mesh.vertex(edge + kUp * h, out * -1.0, v, 0.0));
                ids.wall.push_back(mesh.vertex(edge + kUp * h + out * t, kUp, v, 0.0));
                ids.wall.push_back(mesh.vertex(edge + out * t, out, v, 1.0));
            }
            if (w != 0.0) {
                // Grass sloping down to the ground, or concrete up to the pit lane.
                const double width = std::fabs(w);
                const double gx = edge.x + out.x * (t + width), gz = edge.z + out.z * (t + width);
                const V3 a1 = w > 0.0 ? V3{gx, std::min(edge.y - 0.05, c.ground_at(gx, gz)), gz}
                                      : edge + out * width;
                ids.apron.push_back(mesh.vertex(edge + out * t, kUp, 0.0, v));
                ids.apron.push_back(mesh.vertex(a1, kUp, width / 4.0, v));
            }
            return cache.emplace(key, ids).first->second;
        };
        for (int i = from; i < to; ++i) {
            const auto s0 = static_cast<std::size_t>(road.section_of(kept[static_cast<std::size_t>(i)]));
            const auto s1 = static_cast<std::size_t>(road.section_of(kept[static_cast<std::size_t>(i + 1)]));
            const WallKind kind = wall ? wall[side][s0] : WallKind::None;
            const double w0 = apron ? apron[side][s0] : 12.0;
            double w1 = apron ? apron[side][s1] : 12.0;
            if ((w1 > 0.0) != (w0 > 0.0) || (w1 < 0.0) != (w0 < 0.0))
                w1 = w0;
            const RowIds& a = row_ids(i, kind, w0);
            const RowIds& b = row_ids(i + 1, kind, w1);
            const auto cols = road.columns(kept[static_cast<std::size_t>(i)]);
            const V3 out = unit(flat(cols[side == 0 ? 0 : 10] - cols[side == 0 ? 3 : 7]));
            if (kind != WallKind::None) {
                const char* m = kind == WallKind::Tyres ? mat::tyres : (kind == WallKind::PitWall ? mat::concrete : mat::armco);
                mesh.quad(a.wall[0], b.wall[0], b.wall[1], a.wall[1], m, out * -1.0);
                mesh.quad(a.wall[1], b.wall[1], b.wall[2], a.wall[2], m, kUp);
                if (detailed)
                    mesh.quad(a.wall[2], b.wall[2], b.wall[3], a.wall[3], m, out);
            }
            if (w0 != 0.0) {
                const std::size_t before = mesh.face_count();
                mesh.quad(a.apron[0], b.apron[0], b.apron[1], a.apron[1], w0 > 0.0 ? mat::grass : mat::concrete, kUp);
                if (mesh.face_count() > before)
                    aprons.push_back(before);
            }
        }
    }
    mdl_object walls = mesh.object("WALLS");
    for (const std::size_t face : aprons)
        set_depth_bias(walls, kSurfaceDepthBias, face, face + 1);
    return walls;
}

std::string numbered(const char* prefix, int n)
{
    char name[32];
    std::snprintf(name, sizeof name, "%s%03d", prefix, n);
    return name;
}

// The models of one path's road, stretch by stretch, with a coarse second
// level.
void road_models(const Circuit& c, const RoadPath& road, const char* prefix, bool circuit, std::vector<mdl_model>& out)
{
    // Rows where a barrier or an apron changes are kept.
    std::vector<int> forced{0, 1};
    if (circuit)
        for (int r = 1; r < road.rows(); ++r)
            for (int side = 0; side < 2; ++side) {
                const auto a = static_cast<std::size_t>(road.section_of(r - 1)), b = static_cast<std::size_t>(road.section_of(r));
                const double wa = c.apron[side][a], wb = c.apron[side][b];
                if (c.wall[side][a] != c.wall[side][b] || (wa > 0.0) != (wb > 0.0) || (wa < 0.0) != (wb < 0.0))
                    forced.push_back(r);
            }
    const auto stretches = road.stretches(forced, 0.01);
    int n = 0;
    for (const auto& [from, to] : stretches) {
        const std::vector<int>& kept = road.kept();
        const V3 a = road.centre(kept[static_cast<std::size_t>(from)]);
        const V3 b = road.centre(kept[static_cast<std::size_t>(to)]);
        const V3 mid = road.centre(kept[static_cast<std::size_t>((from + to) / 2)]);
        const V3 origin = lerp(lerp(a, b, 0.5), mid, 0.5);
        const std::string name = numbered(prefix, n++);
        mdl_model m;
        m.name = name;
        for (int level = 0; level < 2; ++level) {
            const bool detailed = level == 0;
            std::vector<mdl_object> objects;
            objects.push_back(road.road_object(from, to, origin, detailed));
            set_depth_bias(objects.back(), kSurfaceDepthBias);
            objects.push_back(walls_object(c, road, from, to, origin, detailed, circuit ? c.wall : c.pit_wall,
                                           circuit ? c.apron : c.pit_apron));
            m.levels.push_back(assemble_level(detailed ? name : name + "_LO", origin, std::move(objects), name));
        }
        out.push_back(std::move(m));
    }
}

// The height of the road surface under (x, z) near a circuit row.
double road_height(const RoadPath& road, double x, double z)
{
    int best = 0;
    double bd = 1e30;
    for (int r = 0; r < road.rows(); ++r) {
        const V3 c = road.centre(r);
        const double d = std::hypot(c.x - x, c.z - z);
        if (d < bd) {
            bd = d;
            best = r;
        }
    }
    const auto cols = road.columns(best);
    const V3 i0 = cols[3], i1 = cols[7];
    const V3 across = flat(i1 - i0);
    const double t = std::clamp(dot(flat(V3{x, 0, z} - i0), across) / std::max(1e-9, dot(across, across)), 0.0, 1.0);
    return lerp(i0, i1, t).y;
}

// A painted stripe on the road between two points, `width` wide, 2 cm up.
void stripe(MeshBuilder& mesh, V3 a, V3 b, double width, const char* material)
{
    const V3 dir = unit(flat(b - a));
    const V3 side{dir.z * width / 2.0, 0.0, -dir.x * width / 2.0};
    const V3 lift{0.0, 0.02, 0.0};
    const std::uint32_t p0 = mesh.vertex(a - side + lift, kUp, 0.0, 0.0);
    const std::uint32_t p1 = mesh.vertex(a + side + lift, kUp, 1.0, 0.0);
    const std::uint32_t p2 = mesh.vertex(b + side + lift, kUp, 1.0, 1.0);
    const std::uint32_t p3 = mesh.vertex(b - side + lift, kUp, 0.0, 1.0);
    mesh.quad(p0, p1, p2, p3, material, kUp);
}

mdl_model single_level(const std::string& name, V3 origin, std::vector<mdl_object> objects)
{
    mdl_model m;
    m.name = name;
    m.levels.push_back(assemble_level(name, origin, std::move(objects)));
    return m;
}

// Grid boxes: a white bracket ahead of each slot.
mdl_model grid_model(const Circuit& c)
{
    const V3 origin = c.road.centre(c.road.rows() - 40);
    MeshBuilder mesh(origin);
    for (const TrackFileXZ& s : c.built.circuit.slots) {
        // The heading at the slot: from the nearest rows of the centre line.
        int best = 0;
        double bd = 1e30;
        for (int r = 0; r + 1 < c.road.rows(); ++r) {
            const V3 p = c.road.centre(r);
            const double d = std::hypot(p.x - s.x, p.z - s.z);
            if (d < bd) {
                bd = d;
                best = r;
            }
        }
        const V3 fwd = unit(flat(c.road.centre(best + 1) - c.road.centre(best)));
        const V3 side{fwd.z, 0.0, -fwd.x};
        auto on_road = [&](V3 p) { return V3{p.x, road_height(c.road, p.x, p.z), p.z}; };
        const V3 base{s.x, 0.0, s.z};
        const V3 fl = on_road(base + fwd * 0.6 - side * 0.7), fr = on_road(base + fwd * 0.6 + side * 0.7);
        const V3 bl = on_road(base - fwd * 0.6 - side * 0.7), br = on_road(base - fwd * 0.6 + side * 0.7);
        stripe(mesh, fl, fr, 0.12, mat::line);
        stripe(mesh, fl, bl, 0.1, mat::line);
        stripe(mesh, fr, br, 0.1, mat::line);
    }
    return single_level("GRID_BOXES", origin, {mesh.object("BOXES")});
}

// The gantry over the start line and the start lights hanging from it.
void start_models(const Circuit& c, std::vector<mdl_model>& out)
{
    const auto cols = c.road.columns(0);
    const V3 e0 = cols[0], e1 = cols[10];
    const V3 fwd = unit(flat(c.road.centre(1) - c.road.centre(0)));
    const double heading = std::atan2(fwd.x, fwd.z);
    const V3 mid = lerp(e0, e1, 0.5);
    const double top = std::max(e0.y, e1.y) + 6.5;
    const V3 out0 = unit(flat(e0 - e1)), out1 = out0 * -1.0;
    {
        MeshBuilder mesh(mid);
        const V3 p0 = e0 + out0 * 0.6, p1 = e1 + out1 * 0.6;
        mesh.box(V3{p0.x, (p0.y + top) / 2.0, p0.z}, {0.3, (top - p0.y) / 2.0, 0.3}, heading, mat::metal, 0.5);
        mesh.box(V3{p1.x, (p1.y + top) / 2.0, p1.z}, {0.3, (top - p1.y) / 2.0, 0.3}, heading, mat::metal, 0.5);
        const double span = std::hypot(p1.x - p0.x, p1.z - p0.z);
        const V3 beam = lerp(p0, p1, 0.5);
        mesh.box(V3{beam.x, top + 0.4, beam.z}, {span / 2.0 + 0.3, 0.4, 0.35}, heading, mat::metal, 0.5);
        // A banner on each face of the beam.
        mesh.board(V3{beam.x, top + 0.05, beam.z} + fwd * 0.4, span * 0.6, 0.7, heading, mat::ads[0], false);
        mesh.board(V3{beam.x, top + 0.05, beam.z} - fwd * 0.4, span * 0.6, 0.7, heading + kPi, mat::ads[0], false);
        // The beam's shade outline: an upward face just inside the beam's
        // bottom, over its whole footprint, that the bake leaves at the
        // light of a face in shade (shade_outlines). The ground search under
        // an instance takes faces seen from above, so this is what it finds
        // under the beam; the beam hides it from above and it faces away
        // from anything below.
        MeshBuilder shade(mid);
        const V3 along = unit(flat(p1 - p0)), across = fwd;
        const double hx = span / 2.0 + 0.3, hz = 0.35, y = top + 0.01;
        const V3 centre{beam.x, y, beam.z};
        const std::uint32_t a = shade.vertex(centre - along * hx - across * hz, kUp, 0.0, 0.0);
        const std::uint32_t b = shade.vertex(centre + along * hx - across * hz, kUp, 1.0, 0.0);
        const std::uint32_t d = shade.vertex(centre + along * hx + across * hz, kUp, 1.0, 1.0);
        const std::uint32_t e = shade.vertex(centre - along * hx + across * hz, kUp, 0.0, 1.0);
        shade.quad(a, b, d, e, mat::metal, kUp);
        out.push_back(single_level("START_GANTRY", mid, {mesh.object("GANTRY"), shade.object(kShadeObject)}));
    }
    {
        // The lights face the grid, behind the line.
        const V3 at{mid.x, top - 0.7, mid.z};
        MeshBuilder mesh(at);
        mesh.box(at, {1.6, 0.35, 0.2}, heading, mat::metal, 0.5);
        mesh.board(at - fwd * 0.21 - kUp * 0.3, 3.0, 0.6, heading + kPi, mat::lamps, false);
        out.push_back(single_level(kStartLightsModel, at, {mesh.object("LAMPS")}));
    }
}

// The pit building behind the boxes, and the lines between the boxes.
void pit_models(Circuit& c, std::vector<mdl_model>& out)
{
    if (!c.has_pit)
        return;
    const auto& slots = c.built.pit_lane.slots;
    const V3 s0{slots[0].x, 0.0, slots[0].z}, s31{slots[31].x, 0.0, slots[31].z};
    const V3 along = unit(s31 - s0);
    // The garages' side: from the pit lane's centre toward the boxes.
    int best = 0;
    double bd = 1e30;
    for (int r = 0; r < c.pit->rows(); ++r) {
        const V3 p = c.pit->centre(r);
        const double dd = std::hypot(p.x - s0.x, p.z - s0.z);
        if (dd < bd) {
            bd = dd;
            best = r;
        }
    }
    const V3 centre0 = c.pit->centre(best);
    V3 toward = flat(s0 - centre0);
    toward = unit(toward - along * dot(toward, along));
    const double y = centre0.y;
    const double front = 8.6 - 3.5; // from the box points to the building's front
    const double depth = 14.0, height = 6.0;
    const double length = std::hypot(s31.x - s0.x, s31.z - s0.z) + 14.0;
    const V3 mid_front = lerp(s0, s31, 0.5) + toward * front;
    const V3 centre = V3{mid_front.x, y + height / 2.0, mid_front.z} + toward * (depth / 2.0);
    const double heading = std::atan2(toward.x, toward.z); // the building's local z points away from the lane
    MeshBuilder mesh(centre);
    // Front wall with one garage door per box (7 m), the rest plain walls.
    const double garage_heading = heading + kPi;
    {
        const V3 base{mid_front.x, y, mid_front.z};
        const V3 left = along * (-length / 2.0), right = along * (length / 2.0);
        const V3 n = toward * -1.0;
        const std::uint32_t a = mesh.vertex(base + left, n, 0.0, 1.0);
        const std::uint32_t b = mesh.vertex(base + right, n, length / 7.0, 1.0);
        const std::uint32_t d = mesh.vertex(base + right + kUp * height, n, length / 7.0, 0.0);
        const std::uint32_t e = mesh.vertex(base + left + kUp * height, n, 0.0, 0.0);
        mesh.quad(a, b, d, e, mat::garage, n);
    }
    (void)garage_heading;
    // Back and ends, roof.
    const V3 back = V3{mid_front.x, y, mid_front.z} + toward * depth;
    {
        const V3 n = toward;
        const std::uint32_t a = mesh.vertex(back - along * (length / 2.0), n, 0.0, 1.0);
        const std::uint32_t b = mesh.vertex(back + along * (length / 2.0), n, length / 8.0, 1.0);
        const std::uint32_t d = mesh.vertex(back + along * (length / 2.0) + kUp * height, n, length / 8.0, 0.0);
        const std::uint32_t e = mesh.vertex(back - along * (length / 2.0) + kUp * height, n, 0.0, 0.0);
        mesh.quad(a, b, d, e, mat::wall, n);
    }
    for (int end = -1; end <= 1; end += 2) {
        const V3 n = along * end;
        const V3 f = V3{mid_front.x, y, mid_front.z} + along * (end * length / 2.0);
        const V3 bk = f + toward * depth;
        const std::uint32_t a = mesh.vertex(f, n, 0.0, 1.0), b = mesh.vertex(bk, n, 2.0, 1.0);
        const std::uint32_t d = mesh.vertex(bk + kUp * height, n, 2.0, 0.0), e = mesh.vertex(f + kUp * height, n, 0.0, 0.0);
        mesh.quad(a, b, d, e, mat::wall, n);
    }
    {
        const V3 f = V3{mid_front.x, y + height, mid_front.z} - toward * 1.5;
        const V3 bk = V3{back.x, y + height + 0.8, back.z};
        const std::uint32_t a = mesh.vertex(f - along * (length / 2.0 + 0.5), kUp, 0.0, 0.0);
        const std::uint32_t b = mesh.vertex(f + along * (length / 2.0 + 0.5), kUp, length / 4.0, 0.0);
        const std::uint32_t d = mesh.vertex(bk + along * (length / 2.0 + 0.5), kUp, length / 4.0, 4.0);
        const std::uint32_t e = mesh.vertex(bk - along * (length / 2.0 + 0.5), kUp, 0.0, 4.0);
        mesh.quad(a, b, d, e, mat::roof, kUp);
        mesh.quad(a, b, d, e, mat::roof, kUp * -1.0);
    }
    MeshBuilder lines(centre);
    for (int i = 0; i <= 32; ++i) {
        const V3 at = s0 + along * (7.0 * i - 3.5);
        const V3 p0 = at - toward * 2.0, p1 = at + toward * 2.5;
        stripe(lines, V3{p0.x, road_height(*c.pit, p0.x, p0.z), p0.z}, V3{p1.x, road_height(*c.pit, p1.x, p1.z), p1.z},
               0.15, mat::paint);
    }
    out.push_back(single_level("PIT_BUILDING", centre, {mesh.object("BUILDING"), lines.object("BOX_LINES")}));
    c.keep_clear.push_back({centre.x, centre.z, length / 2.0 + 10.0});
}

// The ground below and around everything, in tiles of 250 m.
void ground_models(const Circuit& c, std::vector<mdl_model>& out)
{
    double x0 = 1e30, x1 = -1e30, z0 = 1e30, z1 = -1e30;
    for (const TrackFileSection& s : c.built.circuit.sections) {
        x0 = std::min(x0, static_cast<double>(s.inner0.x));
        x1 = std::max(x1, static_cast<double>(s.inner0.x));
        z0 = std::min(z0, static_cast<double>(s.inner0.z));
        z1 = std::max(z1, static_cast<double>(s.inner0.z));
    }
    constexpr double kTile = 250.0, kMargin = 400.0;
    const int nx = static_cast<int>(std::ceil((x1 - x0 + 2 * kMargin) / kTile));
    const int nz = static_cast<int>(std::ceil((z1 - z0 + 2 * kMargin) / kTile));
    int n = 0;
    for (int iz = 0; iz < nz; ++iz)
        for (int ix = 0; ix < nx; ++ix) {
            const double ax = x0 - kMargin + ix * kTile, az = z0 - kMargin + iz * kTile;
            const V3 centre{ax + kTile / 2.0, c.ground_at(ax + kTile / 2.0, az + kTile / 2.0), az + kTile / 2.0};
            MeshBuilder mesh(centre);
            constexpr int kCells = 6;
            std::vector<std::uint32_t> ids;
            for (int j = 0; j <= kCells; ++j)
                for (int i = 0; i <= kCells; ++i) {
                    const double x = ax + i * kTile / kCells, z = az + j * kTile / kCells;
                    ids.push_back(mesh.vertex(V3{x, c.ground_at(x, z), z}, kUp, i * kTile / kCells / 16.0,
                                              j * kTile / kCells / 16.0));
                }
            for (int j = 0; j < kCells; ++j)
                for (int i = 0; i < kCells; ++i) {
                    const auto at = [&](int a, int b) { return ids[static_cast<std::size_t>(b * (kCells + 1) + a)]; };
                    mesh.quad(at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1), mat::ground, kUp);
                }
            // The ground lies under everything else (kGroundDepthBias).
            mdl_object ground = mesh.object("GROUND");
            set_depth_bias(ground, kGroundDepthBias);
            out.push_back(single_level(numbered("GROUND", n++), centre, {std::move(ground)}));
        }
}

// One piece of scenery: where, which way it faces, and what.
enum class Kind { Tree, Pine, Bush, Advert, Distance, Marshal };
struct Placement {
    Kind kind;
    V3 at;
    double heading = 0.0; // its front faces (sin h, cos h)
    int variant = 0;
    double size = 1.0;
    int row = 0;          // the circuit row it belongs to
};

mdl_object scenery_object(const Placement& p, V3 root, bool detailed, int index)
{
    MeshBuilder mesh(p.at);
    switch (p.kind) {
    case Kind::Tree:
    case Kind::Pine:
    case Kind::Bush: {
        const char* m = p.kind == Kind::Tree ? mat::tree : (p.kind == Kind::Pine ? mat::pine : mat::bush);
        const double w = p.kind == Kind::Bush ? 2.0 * p.size : (p.kind == Kind::Pine ? 3.5 : 6.0) * p.size;
        const double h = p.kind == Kind::Bush ? 1.6 * p.size : (p.kind == Kind::Pine ? 9.0 : 8.0) * p.size;
        mesh.board(p.at, w, h, p.heading, m, true);
        if (detailed)
            mesh.board(p.at, w, h, p.heading + kPi / 2.0, m, true);
        break;
    }
    case Kind::Advert:
        mesh.board(p.at, 6.0, 1.0, p.heading, mat::ads[p.variant % 4], false, 0.25);
        if (detailed)
            mesh.board(p.at - V3{std::sin(p.heading), 0.0, std::cos(p.heading)} * 0.05, 6.0, 1.25, p.heading + kPi,
                       mat::metal, false);
        break;
    case Kind::Distance:
        mesh.board(p.at, 1.2, 1.2, p.heading, mat::distance[p.variant], false, 0.9);
        if (detailed)
            mesh.box(p.at + V3{0.0, 0.5, 0.0} - V3{std::sin(p.heading), 0.0, std::cos(p.heading)} * 0.1,
                     {0.06, 0.5, 0.06}, p.heading, mat::metal, 0.5);
        break;
    case Kind::Marshal:
        mesh.box(p.at + V3{0.0, 1.1, 0.0}, {0.8, 1.1, 0.8}, p.heading, mat::marshal, 0.5);
        if (detailed)
            mesh.box(p.at + V3{0.0, 2.3, 0.0}, {1.0, 0.1, 1.0}, p.heading, mat::roof, 0.5);
        break;
    }
    char name[32];
    std::snprintf(name, sizeof name, "OBJ_%03d", index);
    mdl_object o = mesh.object(name);
    const V3 rel = p.at - root;
    o.position = {static_cast<float>(rel.x), static_cast<float>(rel.y), static_cast<float>(rel.z), 1.0f};
    return o;
}

bool clear_of(const Circuit& c, double x, double z, double margin)
{
    for (const auto& k : c.keep_clear)
        if (std::hypot(k[0] - x, k[1] - z) < k[2] + margin)
            return false;
    return true;
}

// The point `out` metres beyond the barrier of a row's side, on the apron.
V3 beside(const Circuit& c, int row, int side, double out)
{
    const auto cols = c.road.columns(row);
    const V3 e = cols[side == 0 ? 0 : 10], i = cols[side == 0 ? 3 : 7];
    const V3 o = unit(flat(e - i));
    const double w = c.apron[side][static_cast<std::size_t>(c.road.section_of(row))];
    double y = e.y;
    if (w > 0.0)
        y = e.y + (c.ground_at(e.x + o.x * (w + 0.3), e.z + o.z * (w + 0.3)) - e.y) * std::min(1.0, out / (w + 0.3));
    const V3 p = e + o * out;
    return {p.x, y, p.z};
}

double facing_heading(V3 toward) { return std::atan2(toward.x, toward.z); }

std::vector<Placement> plan_scenery(Circuit& c, std::uint32_t seed)
{
    std::vector<Placement> out;
    const int rows = c.road.rows() - 1;
    Random rnd(seed);
    // Distance boards before the slow corners, on the outside of the turn.
    std::vector<int> board_rows;
    for (std::size_t i = 0; i < c.d.pieces.size(); ++i) {
        const CircuitPiece& piece = c.d.pieces[i];
        if (piece.kind != PieceKind::Arc || std::fabs(piece.radius) > 120.0)
            continue;
        const int start = static_cast<int>(c.built.piece_start[i]);
        const auto speed = [&](int k) { return c.built.circuit.metres[static_cast<std::size_t>(((k % rows) + rows) % rows)].ref_speed; };
        if (!(speed(start) < 0.8f * speed(start - 350)))
            continue;
        const int side = piece.radius < 0.0 ? 0 : 1; // a right turn: boards on the left
        for (int b = 0; b < 3; ++b) {
            const int row = ((start - 100 * (b + 1)) % rows + rows) % rows;
            if (c.wall[side][static_cast<std::size_t>(row)] != WallKind::Armco &&
                c.wall[side][static_cast<std::size_t>(row)] != WallKind::Tyres)
                continue;
            const V3 fwd = unit(flat(c.road.centre(row + 1) - c.road.centre(row)));
            out.push_back({Kind::Distance, beside(c, row, side, 1.4), facing_heading(fwd * -1.0), b, 1.0, row});
            board_rows.push_back(row);
        }
    }
    // Advertising boards along the straights, marshal posts round the lap.
    for (int row = 40, n = 0; row < rows - 40; row += 70, ++n) {
        const int side = n % 2;
        const std::size_t piece = static_cast<std::size_t>(c.road.section_of(row));
        (void)piece;
        bool straight = true;
        for (std::size_t i = 0; i < c.d.pieces.size(); ++i)
            if (c.built.piece_start[i] <= row && row < c.built.piece_start[i] + c.built.piece_length[i])
                straight = c.d.pieces[i].kind == PieceKind::Straight;
        bool near_board = false;
        for (int b : board_rows)
            near_board = near_board || std::abs(b - row) < 30;
        if (!straight || near_board || c.wall[side][static_cast<std::size_t>(row)] != WallKind::Armco)
            continue;
        const auto cols = c.road.columns(row);
        const V3 o = unit(flat(cols[side == 0 ? 0 : 10] - cols[side == 0 ? 3 : 7]));
        out.push_back({Kind::Advert, beside(c, row, side, 0.8), facing_heading(o * -1.0), n, 1.0, row});
    }
    for (int row = 150, n = 0; row < rows - 50; row += 380, ++n) {
        const int side = n % 2;
        if (c.wall[side][static_cast<std::size_t>(row)] == WallKind::None ||
            c.wall[side][static_cast<std::size_t>(row)] == WallKind::PitWall)
            continue;
        const auto cols = c.road.columns(row);
        const V3 o = unit(flat(cols[side == 0 ? 0 : 10] - cols[side == 0 ? 3 : 7]));
        out.push_back({Kind::Marshal, beside(c, row, side, 4.0), facing_heading(o * -1.0), 0, 1.0, row});
    }
    // Trees and bushes on a jittered lattice round the circuit, clear of the
    // road, its aprons, the pit lane and the buildings.
    std::vector<std::array<double, 4>> samples; // x, z, clearance, row
    for (int row = 0; row < rows; row += 4) {
        const auto cols = c.road.columns(row);
        const V3 m = c.road.centre(row);
        for (int side = 0; side < 2; ++side) {
            const V3 e = cols[side == 0 ? 0 : 10];
            const double reach = std::hypot(e.x - m.x, e.z - m.z) +
                                 std::fabs(c.apron[side][static_cast<std::size_t>(row)]) + 4.0;
            samples.push_back({m.x, m.z, reach, static_cast<double>(row)});
        }
    }
    if (c.has_pit)
        for (int r = 0; r < c.pit->rows(); r += 4) {
            const V3 m = c.pit->centre(r);
            samples.push_back({m.x, m.z, 30.0, -1.0});
        }
    double x0 = 1e30, x1 = -1e30, z0 = 1e30, z1 = -1e30;
    for (const auto& s : samples) {
        x0 = std::min(x0, s[0]);
        x1 = std::max(x1, s[0]);
        z0 = std::min(z0, s[1]);
        z1 = std::max(z1, s[1]);
    }
    for (double z = z0 - 100.0; z <= z1 + 100.0; z += 22.0)
        for (double x = x0 - 100.0; x <= x1 + 100.0; x += 22.0) {
            const double px = x + rnd.range(-8.0, 8.0), pz = z + rnd.range(-8.0, 8.0);
            const double pick = rnd.next();
            bool ok = true;
            double nearest = 1e30;
            int row = 0;
            for (const auto& s : samples) {
                const double dd = std::hypot(s[0] - px, s[1] - pz);
                if (dd < s[2])
                    ok = false;
                if (dd < nearest && s[3] >= 0.0) {
                    nearest = dd;
                    row = static_cast<int>(s[3]);
                }
            }
            if (!ok || nearest > 110.0 || pick > 0.6 || !clear_of(c, px, pz, 4.0))
                continue;
            const Kind kind = pick < 0.3 ? Kind::Tree : (pick < 0.45 ? Kind::Pine : Kind::Bush);
            out.push_back({kind, {px, c.ground_at(px, pz), pz}, rnd.range(0.0, kPi), 0, rnd.range(0.8, 1.25), row});
        }
    return out;
}

// Grandstands: along the main straight opposite the pits and outside the
// slowest corner.
void stand_models(Circuit& c, std::vector<mdl_model>& out)
{
    const int rows = c.road.rows() - 1;
    std::vector<std::pair<int, int>> spots; // row, side
    const int pit_side = c.d.pit.present && c.d.pit.side < 0 ? 0 : 1;
    spots.emplace_back(rows - 180, c.d.pit.present ? 1 - pit_side : 1);
    std::size_t slowest = 0;
    for (std::size_t i = 0; i < c.d.pieces.size(); ++i)
        if (c.d.pieces[i].kind == PieceKind::Arc &&
            (c.d.pieces[slowest].kind != PieceKind::Arc || std::fabs(c.d.pieces[i].radius) < std::fabs(c.d.pieces[slowest].radius)))
            slowest = i;
    spots.emplace_back(static_cast<int>(c.built.piece_start[slowest] + c.built.piece_length[slowest] / 2.0),
                       c.d.pieces[slowest].radius < 0.0 ? 0 : 1);
    int n = 0;
    for (const auto& [row, side] : spots) {
        if (c.wall[side][static_cast<std::size_t>(row)] == WallKind::None)
            continue;
        const auto cols = c.road.columns(row);
        const V3 o = unit(flat(cols[side == 0 ? 0 : 10] - cols[side == 0 ? 3 : 7]));
        const double w = std::fabs(c.apron[side][static_cast<std::size_t>(row)]);
        const V3 e = cols[side == 0 ? 0 : 10];
        const V3 front{e.x + o.x * (w + 3.0), c.ground_at(e.x + o.x * (w + 3.0), e.z + o.z * (w + 3.0)), e.z + o.z * (w + 3.0)};
        const V3 along{o.z, 0.0, -o.x};
        const double len = 60.0, depth = 14.0, height = 9.0;
        const V3 centre = front + o * (depth / 2.0) + kUp * (height / 2.0);
        mdl_model m;
        m.name = "STAND_" + std::to_string(n);
        for (int level = 0; level < 2; ++level) {
            MeshBuilder mesh(centre);
            const V3 n_seats = unit(o * -1.0 * height + kUp * depth);
            auto corner = [&](double a, double out_m, double up) { return front + along * a + o * out_m + kUp * up; };
            const std::uint32_t a = mesh.vertex(corner(-len / 2, 0.0, 1.0), n_seats, 0.0, height);
            const std::uint32_t b = mesh.vertex(corner(len / 2, 0.0, 1.0), n_seats, len / 8.0, height);
            const std::uint32_t d = mesh.vertex(corner(len / 2, depth, height), n_seats, len / 8.0, 0.0);
            const std::uint32_t f = mesh.vertex(corner(-len / 2, depth, height), n_seats, 0.0, 0.0);
            mesh.quad(a, b, d, f, level == 0 ? mat::stand : mat::stand, n_seats);
            // Back wall, front wall, ends.
            const std::uint32_t g = mesh.vertex(corner(-len / 2, depth, 0.0), o, 0.0, 1.0);
            const std::uint32_t h = mesh.vertex(corner(len / 2, depth, 0.0), o, len / 8.0, 1.0);
            const std::uint32_t i2 = mesh.vertex(corner(len / 2, depth, height), o, len / 8.0, 0.0);
            const std::uint32_t j = mesh.vertex(corner(-len / 2, depth, height), o, 0.0, 0.0);
            mesh.quad(g, h, i2, j, mat::wall, o);
            const std::uint32_t k = mesh.vertex(corner(-len / 2, 0.0, 0.0), o * -1.0, 0.0, 1.0);
            const std::uint32_t l = mesh.vertex(corner(len / 2, 0.0, 0.0), o * -1.0, len / 8.0, 1.0);
            const std::uint32_t mm = mesh.vertex(corner(len / 2, 0.0, 1.0), o * -1.0, len / 8.0, 0.8);
            const std::uint32_t nn = mesh.vertex(corner(-len / 2, 0.0, 1.0), o * -1.0, 0.0, 0.8);
            mesh.quad(k, l, mm, nn, mat::ads[1], o * -1.0);
            for (int end = -1; end <= 1; end += 2) {
                const V3 nrm = along * end;
                const std::uint32_t p0 = mesh.vertex(corner(end * len / 2, 0.0, 0.0), nrm, 0.0, 1.0);
                const std::uint32_t p1 = mesh.vertex(corner(end * len / 2, depth, 0.0), nrm, 2.0, 1.0);
                const std::uint32_t p2 = mesh.vertex(corner(end * len / 2, depth, height), nrm, 2.0, 0.0);
                const std::uint32_t p3 = mesh.vertex(corner(end * len / 2, 0.0, 1.0), nrm, 0.0, 0.9);
                mesh.quad(p0, p1, p2, p3, mat::wall, nrm);
            }
            if (level == 0) {
                // A roof on posts.
                const std::uint32_t r0 = mesh.vertex(corner(-len / 2 - 1, -2.0, height + 3.0), kUp, 0.0, 0.0);
                const std::uint32_t r1 = mesh.vertex(corner(len / 2 + 1, -2.0, height + 3.0), kUp, len / 4.0, 0.0);
                const std::uint32_t r2 = mesh.vertex(corner(len / 2 + 1, depth + 0.5, height + 4.0), kUp, len / 4.0, 4.0);
                const std::uint32_t r3 = mesh.vertex(corner(-len / 2 - 1, depth + 0.5, height + 4.0), kUp, 0.0, 4.0);
                mesh.quad(r0, r1, r2, r3, mat::roof, kUp);
                mesh.quad(r0, r1, r2, r3, mat::roof, kUp * -1.0);
                for (int post = 0; post < 5; ++post) {
                    const V3 p = corner(-len / 2 + post * len / 4, depth, 0.0);
                    mesh.box(p + kUp * ((height + 4.0) / 2.0), {0.15, (height + 4.0) / 2.0, 0.15}, facing_heading(o),
                             mat::metal, 0.5);
                }
            }
            m.levels.push_back(assemble_level(level == 0 ? m.name : m.name + "_LO", centre, {mesh.object("STAND")}, m.name));
        }
        out.push_back(std::move(m));
        c.keep_clear.push_back({centre.x, centre.z, len / 2.0 + 6.0});
        ++n;
    }
}

void scenery_models(const Circuit& c, const std::vector<Placement>& placements, std::vector<mdl_model>& out)
{
    // Groups by the circuit row the scenery belongs to, 250 m each.
    std::map<int, std::vector<const Placement*>> groups;
    for (const Placement& p : placements)
        groups[p.row / 250].push_back(&p);
    int n = 0;
    for (const auto& [key, members] : groups) {
        (void)key;
        for (std::size_t first = 0; first < members.size(); first += 150) {
            const std::size_t last = std::min(members.size(), first + 150);
            V3 centre{};
            for (std::size_t i = first; i < last; ++i)
                centre = centre + members[i]->at;
            centre = centre * (1.0 / static_cast<double>(last - first));
            mdl_model m;
            m.name = numbered("SCENERY", n++);
            for (int level = 0; level < 2; ++level) {
                std::vector<mdl_object> objects;
                for (std::size_t i = first; i < last; ++i) {
                    // The far level keeps what stands tall.
                    if (level == 1 && members[i]->kind == Kind::Bush)
                        continue;
                    objects.push_back(scenery_object(*members[i], centre, level == 0, static_cast<int>(i - first)));
                }
                m.levels.push_back(assemble_level(level == 0 ? m.name : m.name + "_LO", centre, std::move(objects), m.name));
            }
            out.push_back(std::move(m));
        }
    }
    (void)c;
}

} // namespace

WorldTrack build_world_track(const CircuitDescription& description, const BuiltCircuit& built)
{
    Circuit c(description, built);
    plan_walls(c);
    WorldTrack w;
    road_models(c, c.road, "TRACK", true, w.models);
    if (c.has_pit)
        road_models(c, *c.pit, "PITLANE", false, w.models);
    start_models(c, w.models);
    w.models.push_back(grid_model(c));
    pit_models(c, w.models);
    stand_models(c, w.models);
    // Seeded by the layout, so that circuits sharing a layout share their
    // scene (and the kit builds it once).
    std::uint32_t seed = static_cast<std::uint32_t>(description.pieces.size()) * 7919u +
                         static_cast<std::uint32_t>(std::lround(built.length * 16.0));
    scenery_models(c, plan_scenery(c, seed), w.models);
    ground_models(c, w.models);
    for (mdl_model& m : w.models)
        mdl_align_level_materials(m);
    w.materials16 = material_library(track_materials(), track_pictures(), false);
    w.materials8 = material_library(track_materials(), track_pictures(), true);
    return w;
}

WorldSky build_world_sky(int weather, const float light[3])
{
    const bool sunny = weather == 0;
    const V3 origin{};
    std::vector<mdl_object> objects;
    {
        // The dome: rings from below the horizon to the zenith, seen from
        // inside.
        MeshBuilder mesh(origin);
        // Small quads: the software device sorts the sky's faces by their
        // mean depth, and a large dome quad would sort in front of the sun
        // or the hills before it.
        constexpr int kAround = 32;
        // Below the horizon the dome shows the far ground's haze (the last
        // rows of its picture), where the ground tiles end before the sky.
        const double rings[] = {-0.35, -0.02, 0.0, 0.08, 0.15, 0.25, 0.35, 0.48, 0.6, 0.72, 0.85};
        const double vs[] = {1.0, 0.92, 0.86, 0.75, 0.645, 0.535, 0.43, 0.32, 0.215, 0.13, 0.045};
        std::vector<std::vector<std::uint32_t>> ids;
        for (std::size_t r = 0; r < std::size(rings); ++r) {
            std::vector<std::uint32_t> ring;
            const double el = rings[r] * kPi / 2.0;
            for (int a = 0; a <= kAround; ++a) {
                const double az = 2.0 * kPi * a / kAround;
                const V3 p{std::cos(el) * std::sin(az), std::sin(el), std::cos(el) * std::cos(az)};
                ring.push_back(mesh.vertex(p, p * -1.0, static_cast<double>(a) / 8.0, vs[r]));
            }
            ids.push_back(ring);
        }
        const std::uint32_t top = mesh.vertex({0.0, 1.0, 0.0}, {0.0, -1.0, 0.0}, 0.5, 0.0);
        for (std::size_t r = 0; r + 1 < ids.size(); ++r)
            for (int a = 0; a < kAround; ++a) {
                const std::uint32_t p0 = ids[r][static_cast<std::size_t>(a)], p1 = ids[r][static_cast<std::size_t>(a + 1)];
                const std::uint32_t p2 = ids[r + 1][static_cast<std::size_t>(a + 1)], p3 = ids[r + 1][static_cast<std::size_t>(a)];
                const V3 mid = unit(mesh.position(p0) + mesh.position(p2));
                mesh.quad(p0, p1, p2, p3, mat::sky, mid * -1.0);
            }
        for (int a = 0; a < kAround; ++a) {
            const std::uint32_t p0 = ids.back()[static_cast<std::size_t>(a)], p1 = ids.back()[static_cast<std::size_t>(a + 1)];
            mesh.triangle(p0, p1, top, mat::sky, unit(mesh.position(p0) + mesh.position(p1)) * -1.0);
        }
        objects.push_back(mesh.object("DOME"));
    }
    {
        // A band of distant hills well inside the dome, so that on the
        // software device they sort in front of it.
        MeshBuilder mesh(origin);
        constexpr int kAround = 24;
        constexpr double kHills = 0.6;
        // The band's top edge lies kClearRows texel rows below the top of
        // its picture (rows that are all clear), its height one of 0.2 for
        // the picture's 32 rows. The software device's affine spans take
        // their last pixel's texel up to a pixel past the span's end, and
        // the texture wraps: with the edge on the picture's first row, that
        // texel came from the solid last rows, a green pixel in the sky
        // above the hills along the whole edge.
        constexpr double kClearRows = 4.0, kRows = 32.0;
        constexpr double kTopV = kClearRows / kRows;
        const double top = -0.06 + 0.2 * (1.0 - kTopV);
        std::vector<std::uint32_t> low, high;
        for (int a = 0; a <= kAround; ++a) {
            const double az = 2.0 * kPi * a / kAround;
            const V3 dir{std::sin(az) * kHills, 0.0, std::cos(az) * kHills};
            low.push_back(mesh.vertex(dir + V3{0.0, -0.06 * kHills, 0.0}, dir * -1.0, a / 6.0, 1.0));
            high.push_back(mesh.vertex(dir + V3{0.0, top * kHills, 0.0}, dir * -1.0, a / 6.0, kTopV));
        }
        for (int a = 0; a < kAround; ++a) {
            const V3 mid = mesh.position(low[static_cast<std::size_t>(a)]) + mesh.position(low[static_cast<std::size_t>(a + 1)]);
            mesh.quad(low[static_cast<std::size_t>(a)], low[static_cast<std::size_t>(a + 1)],
                      high[static_cast<std::size_t>(a + 1)], high[static_cast<std::size_t>(a)], mat::hills, flat(mid) * -1.0);
        }
        objects.push_back(mesh.object("HILLS"));
    }
    if (sunny) {
        // The sun where the light comes from, facing the middle.
        const V3 dir = unit({light[0], light[1], light[2]});
        // Half way out, in front of the dome and the hills.
        const V3 at = dir * 0.5;
        MeshBuilder mesh(origin);
        const V3 side = unit(cross(kUp, dir));
        const V3 up = unit(cross(dir, side));
        const double s = 0.039;
        const V3 n = dir * -1.0;
        const std::uint32_t a = mesh.vertex(at - side * s - up * s, n, 0.0, 1.0);
        const std::uint32_t b = mesh.vertex(at + side * s - up * s, n, 1.0, 1.0);
        const std::uint32_t d = mesh.vertex(at + side * s + up * s, n, 1.0, 0.0);
        const std::uint32_t e = mesh.vertex(at - side * s + up * s, n, 0.0, 0.0);
        mesh.quad(a, b, d, e, mat::sun, n);
        objects.push_back(mesh.object("SUN"));
    }
    WorldSky sky;
    mdl_model m;
    m.name = kSkyModel;
    m.levels.push_back(assemble_level(kSkyModel, origin, std::move(objects)));
    // The sky is drawn unlit, in its textures' own colours: the 3D device
    // knows it by the instance's name, the software device by each mesh
    // node's first name, which is the model's; the stored intensity is
    // full as well.
    for (mdl_object& o : m.levels.front().objects)
        if (o.type == 4)
            o.first_name = kSkyModel;
    sky.models.push_back(std::move(m));
    mdl_bake_light(sky.models, {0.0f, 1.0f, 0.0f, 0.0f}, 1.0f, 0.0f);
    const std::vector<Picture> pictures = sky_pictures(weather == 0 ? 0 : 1);
    sky.materials16 = material_library(sky_materials(weather == 0 ? 0 : 1), pictures, false);
    sky.materials8 = material_library(sky_materials(weather == 0 ? 0 : 1), pictures, true);
    return sky;
}

void build_world_map(const WorldTrack& track, map_grid& grid)
{
    double x0 = 1e30, x1 = -1e30, y0 = 1e30, y1 = -1e30, z0 = 1e30, z1 = -1e30, reach = 0.0;
    for (const mdl_model& m : track.models) {
        const mdl_object& root = m.levels.front().objects.front();
        x0 = std::min(x0, static_cast<double>(root.position.x));
        x1 = std::max(x1, static_cast<double>(root.position.x));
        y0 = std::min(y0, static_cast<double>(root.position.y));
        y1 = std::max(y1, static_cast<double>(root.position.y));
        z0 = std::min(z0, static_cast<double>(root.position.z));
        z1 = std::max(z1, static_cast<double>(root.position.z));
        reach = std::max(reach, static_cast<double>(root.radius));
    }
    constexpr float kCell = 100.0f;
    const vec4 origin{static_cast<float>(std::floor((x0 - 1.0) / kCell) * kCell), static_cast<float>(y0 - 50.0),
                      static_cast<float>(std::floor((z0 - 1.0) / kCell) * kCell), 0.0f};
    const vec4 far{static_cast<float>(std::ceil((x1 + 1.0) / kCell) * kCell), static_cast<float>(y1 + 100.0),
                   static_cast<float>(std::ceil((z1 + 1.0) / kCell) * kCell), 0.0f};
    const auto columns = static_cast<std::int32_t>(std::lround((far.x - origin.x) / kCell));
    const auto rows = static_cast<std::int32_t>(std::lround((far.z - origin.z) / kCell));
    if (!grid.init_counts(origin, far, columns, 1, rows))
        throw std::runtime_error("the track scene's box makes no map grid");
    const std::int32_t r = static_cast<std::int32_t>(std::ceil(reach / kCell));
    grid.reach[0] = r;
    grid.reach[1] = 0;
    grid.reach[2] = r;
    for (const mdl_model& m : track.models) {
        const mdl_object& root = m.levels.front().objects.front();
        map_item item;
        std::snprintf(item.name, sizeof item.name, "%s", m.name.c_str());
        grid.insert(item, root.position.x, root.position.y, root.position.z, 0);
    }
    std::vector<map_cell_ref> present;
    for (std::int32_t iz = 0; iz < grid.rows; ++iz)
        for (std::int32_t ix = 0; ix < grid.columns; ++ix)
            if (grid.lookup(0, iz, ix))
                present.push_back({0, iz, ix});
    constexpr double kSeen = 1500.0 / kCell;
    for (const map_cell_ref& from : present) {
        std::vector<map_cell_ref> seen;
        for (const map_cell_ref& to : present)
            if (std::hypot(to.row - from.row, to.column - from.column) <= kSeen)
                seen.push_back(to);
        map_cell& cell = *grid.lookup(0, from.row, from.column);
        map_grid::set_visible_count(cell, seen.size());
        for (std::size_t i = 0; i < seen.size(); ++i)
            grid.set_visible_entry(cell, i, seen[i].level, seen[i].row, seen[i].column);
    }
}

std::string sky_base_name(std::string_view circuit, int weather)
{
    return std::string(circuit.substr(0, 3)) + (weather == 0 ? "_skys" : "_skyr");
}

std::string world_detail_lists_text()
{
    TypedListWriter out;
    auto triples = [&](const char* name, const std::vector<std::array<float, 3>>& keys) {
        out.begin_list(name);
        for (const auto& k : keys)
            out.record({TypedField::f(k[0]), TypedField::f(k[1]), TypedField::f(k[2])});
        out.end_list();
    };
    // Detail factor by field of view (radians): a narrow lens sees far
    // objects large, so they keep their detail further away.
    triples("SCALE_DETAILS_SW", {{0.05f, 6.0f, 0.0f}, {0.35f, 1.6f, -4.0f}, {0.8f, 0.8f, -0.5f}, {1.4f, 0.6f, 0.0f}});
    triples("SCALE_DETAILS_HW", {{0.05f, 8.0f, 0.0f}, {0.35f, 2.0f, -5.0f}, {0.8f, 1.0f, -0.6f}, {1.4f, 0.8f, 0.0f}});
    // Far-plane factor by field of view.
    triples("SCALE_DEPTH_SW", {{0.05f, 1.0f, 0.0f}, {0.6f, 0.8f, -0.3f}, {1.4f, 0.6f, 0.0f}});
    triples("SCALE_DEPTH_HW", {{0.05f, 1.0f, 0.0f}, {0.6f, 1.0f, 0.0f}, {1.4f, 0.9f, 0.0f}});
    triples("BACKGROUND_SCALE", {{0.05f, 1.0f, 0.0f}, {1.4f, 1.0f, 0.0f}});
    // Field of view per camera mode, degrees.
    add_float_list(out, "FOCALS", {70.0f, 65.0f, 60.0f, 55.0f, 30.0f, 60.0f, 65.0f, 50.0f, 40.0f});
    // Per bike model: the front and the rear onboard camera (x, y, z, roll).
    // The front eye sits where the crouching rider's eyes are, above the
    // dash (its top at 1.04 m, 0.55 m ahead), so that the road shows over it.
    out.begin_list("FIXED_CAMS");
    for (int model = 0; model < 5; ++model) {
        const float m = static_cast<float>(model);
        out.record({TypedField::f(0.0f), TypedField::f(1.22f + 0.02f * m), TypedField::f(0.52f + 0.02f * m),
                    TypedField::f(0.0f)});
        out.record({TypedField::f(0.18f), TypedField::f(0.78f + 0.01f * m), TypedField::f(-0.72f - 0.02f * m),
                    TypedField::f(0.05f)});
    }
    out.end_list();
    return out.text();
}

namespace {

bool write_libraries(const std::filesystem::path& base, const std::vector<mdl_model>& models, const MttLibrary& m16,
                     const MttLibrary& m8, std::string& error)
{
    const std::string b = base.string();
    return write_mdl(b + ".mdl", models, error) && write_mtt(b + ".mtt", m16, error) &&
           write_mtt(b + ".mtp", m8, error) && write_anm(b + ".anm", {}, error);
}

std::string read_text(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace

void bake_track_light(std::vector<mdl_model>& models, int circuit_index)
{
    const TrackSceneSpec sunny = demo_track_scene(circuit_index, 0, true);
    const V3 sun = unit({sunny.light_position[0], sunny.light_position[1], sunny.light_position[2]});
    mdl_bake_light(models, {static_cast<float>(sun.x), static_cast<float>(sun.y), static_cast<float>(sun.z), 0.0f},
                   kBakedAmbient, kBakedDiffuse);
    shade_outlines(models);
}

void shade_outlines(std::vector<mdl_model>& models)
{
    for (mdl_model& m : models)
        for (mdl_level& l : m.levels)
            for (mdl_object& o : l.objects)
                if (o.type == 4 && o.name == kShadeObject)
                    for (mdl_vertex& v : o.mesh.vertices)
                        v[10] = std::bit_cast<std::uint32_t>(kBakedAmbient);
}

bool write_world_track(const std::filesystem::path& root, std::string_view circuit, int circuit_index,
                       std::string& error)
{
    const std::filesystem::path tracks = root / "Gfx" / "Tracks";
    const std::filesystem::path data = root / "Data" / "Tracks";
    if (!create_folders(tracks, error) || !create_folders(data, error))
        return false;
    try {
        const CircuitDescription d = demo_circuit_description(circuit);
        const BuiltCircuit built = build_circuit(d);
        // Circuits of one layout have the same scene: built once a process.
        static std::map<std::string, std::shared_ptr<const WorldTrack>> scenes;
        std::string layout = std::to_string(built.length) + "/" + std::to_string(built.pit_length) + "/" +
                             std::to_string(d.hills.size());
        for (const CircuitPiece& p : d.pieces)
            layout += "/" + std::to_string(p.radius) + ":" + std::to_string(p.angle_deg) + ":" +
                      std::to_string(p.kerbs) + std::to_string(p.gravel) + ":" + std::to_string(p.bank_deg);
        std::shared_ptr<const WorldTrack>& cached = scenes[layout];
        if (!cached)
            cached = std::make_shared<const WorldTrack>(build_world_track(d, built));
        const WorldTrack& track = *cached;
        const std::string name(circuit);
        // The race draws the track scene with the light stored in its
        // vertices: the sun of the circuit's sunny record is baked in
        // (rain and fog darken the scene through their fog, not here).
        std::vector<mdl_model> models = track.models;
        bake_track_light(models, circuit_index);
        if (!write_libraries(tracks / name, models, track.materials16, track.materials8, error))
            return false;
        map_grid grid;
        build_world_map(track, grid);
        if (!write_map(tracks / (name + ".map"), grid, error))
            return false;
        // Every circuit has the same palette: its shade table is computed once.
        static const std::vector<std::uint8_t> shades = shade_table_bytes(compute_shade_table(track_palette()));
        if (!write_palette(tracks / (name + ".pal"), track_palette(), error) ||
            !platform::write_file_atomic((tracks / (name + ".pal.SHD")).string(), shades, &error))
            return false;
        for (int weather = 0; weather < 2; ++weather) {
            const TrackSceneSpec scene = demo_track_scene(circuit_index, weather, true);
            const WorldSky sky = build_world_sky(weather, scene.light_position);
            if (!write_libraries(tracks / sky_base_name(circuit, weather), sky.models, sky.materials16, sky.materials8,
                                 error))
                return false;
        }
    } catch (const std::exception& e) {
        error = std::string(circuit) + ": " + e.what();
        return false;
    }
    return true;
}

bool write_demo_world_tracks(const std::filesystem::path& root, std::string& error)
{
    for (int i = 0; i < 12; ++i)
        if (!write_world_track(root, kDemoCircuitNames[i], i, error))
            return false;
    const std::filesystem::path details = root / "Data" / "Details.dat";
    std::string text = read_text(details);
    if (!text.empty() && text.back() != '\n')
        text += "\r\n";
    return write_text_file(details, text + world_detail_lists_text(), error);
}

} // namespace datakit
