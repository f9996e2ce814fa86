// Queries across the track: ground height and surface, the edges, and the
// computer riders' lateral limits.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "sim/track.h"

namespace {

constexpr float kTwoPi = 6.2831855f;
// Section pairs a hinted height query visits; sections an edge search
// looks at; how far behind the hint the edge search starts.
constexpr int kQueryPairs = 20;
constexpr int kEdgeWindow = 20;
constexpr int kEdgeBehind = 10;

// Which side of the line a -> b the point p lies on, in x-z.
float side(float px, float pz, float ax, float az, float bx, float bz)
{
    return (bx - ax) * (pz - az) - (bz - az) * (px - ax);
}

float side(const Vec3& p, const Vec3& a, const Vec3& b) { return side(p.x, p.z, a.x, a.z, b.x, b.z); }

// Inside the convex quad q0 q1 q2 q3 in x-z (either winding): no side test
// disagrees with another. The callers pass a row (q0, q1) and the next row
// (q2, q3), so the two row sides come first: a point beyond either row, the
// common case of a height search, shows a disagreement after two tests.
bool in_quad(const Vec3& p, const Vec3& q0, const Vec3& q1, const Vec3& q2, const Vec3& q3)
{
    bool positive = false;
    bool negative = false;
    auto disagrees = [&](float v) {
        positive = positive || v > 0.0f;
        negative = negative || v < 0.0f;
        return positive && negative;
    };
    return !(disagrees(side(p, q0, q1)) || disagrees(side(p, q2, q3)) || disagrees(side(p, q1, q2)) ||
             disagrees(side(p, q3, q0)));
}

// Height at p of the quad a0 a1 b1 b0 (a row, then the next row) split
// along the diagonal a0 -> b1; false when that triangle is vertical.
bool quad_height(const Vec3& p, const Vec3& a0, const Vec3& a1, const Vec3& b0, const Vec3& b1, Vec3* normal,
                 float* height)
{
    const float diagonal = side(p, a0, b1);
    const float corner = side(a1, a0, b1);
    // The triangle on the point's side of the diagonal.
    const Vec3& third = (diagonal >= 0.0f) == (corner >= 0.0f) ? a1 : b0;
    Vec3 n = b1.Minus(a0).Cross(third.Minus(a0));
    if (n.y < 0.0f)
        n = n.Times(-1.0f);
    // A vertical triangle has no height to give.
    const float length = n.Length();
    if (!(n.y > 1.0e-6f * length))
        return false;
    const Vec3& q = a0;
    *height = (q.y * n.y + (q.z - p.z) * n.z + (q.x - p.x) * n.x) / n.y;
    if (normal) {
        // The unit normal from the length just found (a length that passed
        // the test above is positive and finite), as Normalised gives it.
        const float inverse = 1.0f / length;
        *normal = Vec3(n.x * inverse, n.y * inverse, n.z * inverse);
    }
    return true;
}

// Inside a patch polygon: every edge's side test agrees with the closing
// edge's. Fewer than three points enclose nothing.
bool in_patch(const TrackPatch& patch, const Vec3& p)
{
    const std::size_t n = patch.Points.size();
    if (n < 3)
        return false;
    const Vec2& last = patch.Points[n - 1];
    const Vec2& first = patch.Points[0];
    const bool closing = side(p.x, p.z, last.x, last.z, first.x, first.z) >= 0.0f;
    for (std::size_t i = 0; i + 1 < n; ++i) {
        const Vec2& a = patch.Points[i];
        const Vec2& b = patch.Points[i + 1];
        if ((side(p.x, p.z, a.x, a.z, b.x, b.z) >= 0.0f) != closing)
            return false;
    }
    return true;
}

// A unit horizontal vector; zero for a zero input.
Vec3 unit_horizontal(float x, float z)
{
    const float length = std::sqrt(x * x + z * z);
    if (!(length > 0.0f))
        return {};
    return {x / length, 0.0f, z / length};
}

// x brought into (r - 2 pi, r].
float into_below(float x, float r)
{
    float v = x - kTwoPi * std::ceil((x - r) / kTwoPi);
    if (v <= r - kTwoPi)
        v += kTwoPi;
    if (v > r)
        v -= kTwoPi;
    return v;
}

const Vec3& edge_point(const TrackSection& s, int edge) { return edge == 0 ? s.Edge0 : s.Edge1; }

long long clamp_to_index(float value)
{
    if (!std::isfinite(value))
        return 0;
    return static_cast<long long>(std::fmax(-1.0e15f, std::fmin(value, 1.0e15f)));
}

} // namespace

void Track::BuildPatchIndex()
{
    SectionPatchStart.clear();
    SectionPatches.clear();
    // Load has checked that every patch covers existing sections. Patches
    // that overlap many sections many times over (nothing a real circuit
    // has) could make the index huge: such a track keeps no index, and its
    // height queries walk the whole patch table.
    long long entries = 0;
    for (const TrackPatch& patch : Patches)
        entries += patch.SectionCount;
    if (entries > kMaxPatchIndex)
        return;
    const std::size_t n = Sections.size();
    SectionPatchStart.assign(n + 1, 0);
    for (const TrackPatch& patch : Patches)
        for (std::int32_t k = 0; k < patch.SectionCount; ++k)
            ++SectionPatchStart[static_cast<std::size_t>(patch.FirstSection + k) + 1];
    for (std::size_t a = 0; a < n; ++a)
        SectionPatchStart[a + 1] += SectionPatchStart[a];
    SectionPatches.assign(static_cast<std::size_t>(entries), 0);
    std::vector<std::int32_t> filled(SectionPatchStart.begin(), SectionPatchStart.end() - 1);
    for (std::size_t i = 0; i < Patches.size(); ++i) {
        const TrackPatch& patch = Patches[i];
        for (std::int32_t k = 0; k < patch.SectionCount; ++k)
            SectionPatches[static_cast<std::size_t>(filled[static_cast<std::size_t>(patch.FirstSection + k)]++)] =
                static_cast<std::int32_t>(i);
    }
}

unsigned char Track::PatchSurface(int section, const Vec3& p, unsigned char verge) const
{
    // The first patch of the table that applies to the section and holds
    // the point.
    if (SectionPatchStart.empty()) {
        for (const TrackPatch& patch : Patches)
            if (section >= patch.FirstSection && section - patch.FirstSection < patch.SectionCount &&
                in_patch(patch, p))
                return patch.Surface;
        return verge;
    }
    const std::size_t begin = static_cast<std::size_t>(SectionPatchStart[static_cast<std::size_t>(section)]);
    const std::size_t end = static_cast<std::size_t>(SectionPatchStart[static_cast<std::size_t>(section) + 1]);
    for (std::size_t i = begin; i < end; ++i) {
        const TrackPatch& patch = Patches[static_cast<std::size_t>(SectionPatches[i])];
        if (in_patch(patch, p))
            return patch.Surface;
    }
    return verge;
}

bool Track::QueryPair(int a, int b, const Vec3& p, Vec3* normal, float* height, unsigned char* surface)
{
    const TrackSection& sa = Sections[static_cast<std::size_t>(a)];
    const TrackSection& sb = Sections[static_cast<std::size_t>(b)];

    if (in_quad(p, sa.Inner0, sa.Inner1, sb.Inner1, sb.Inner0)) {
        if (quad_height(p, sa.Inner0, sa.Inner1, sb.Inner0, sb.Inner1, normal, height)) {
            if (surface)
                *surface = 0;
            SetLastSection(a);
            return true;
        }
    }

    for (int verge = 0; verge < 2; ++verge) {
        const Vec3& a0 = verge == 0 ? sa.Edge0 : sa.Inner1;
        const Vec3& a1 = verge == 0 ? sa.Inner0 : sa.Edge1;
        const Vec3& b0 = verge == 0 ? sb.Edge0 : sb.Inner1;
        const Vec3& b1 = verge == 0 ? sb.Inner0 : sb.Edge1;
        if (!in_quad(p, a0, a1, b1, b0))
            continue;

        // Raised strips of this verge first.
        const std::int32_t first = verge == 0 ? sa.LeftStrips : sa.RightStrips;
        if (first >= 0 && first != kTrackNoStrips) {
            const std::int32_t next = verge == 0 ? sb.LeftStrips : sb.RightStrips;
            const long long end = std::min<long long>(next < 0 ? -static_cast<long long>(next) : next,
                                                      static_cast<long long>(Strips.size()) - 1);
            for (long long k = first; k < end; ++k) {
                const TrackStrip& r0 = Strips[static_cast<std::size_t>(k)];
                const TrackStrip& r1 = Strips[static_cast<std::size_t>(k + 1)];
                if (in_quad(p, r0.Side0, r0.Middle, r1.Middle, r1.Side0) &&
                    quad_height(p, r0.Side0, r0.Middle, r1.Side0, r1.Middle, normal, height)) {
                    if (surface)
                        *surface = 0;
                    return true;
                }
                if (in_quad(p, r0.Middle, r0.Side1, r1.Side1, r1.Middle) &&
                    quad_height(p, r0.Middle, r0.Side1, r1.Middle, r1.Side1, normal, height)) {
                    if (surface)
                        *surface = 0;
                    return true;
                }
            }
        }

        if (!quad_height(p, a0, a1, b0, b1, normal, height))
            continue;
        if (surface)
            *surface = PatchSurface(a, p, verge == 0 ? sa.LeftSurface : sa.RightSurface);
        return true;
    }
    return false;
}

float Track::Query(const Vec3* point, Vec3* normal, float hint, unsigned char* surface)
{
    if (Segments.empty() || Sections.empty() || Metres.empty())
        return kTrackNone;
    // Without a hint (negative) the search starts half way round and may
    // visit every section.
    const bool whole = std::isnan(hint) || hint < 0.0f;
    const float start = whole ? Length * 0.5f : hint;
    const long long metre = clamp_to_index(start);
    const long long length_metres = clamp_to_index(Length);
    int s = 0;
    if (metre < length_metres && metre < static_cast<long long>(Metres.size()))
        s = Metres[static_cast<std::size_t>(metre)].Section;
    else
        s = Metres[0].Section;
    if (s < 0 || s >= SectionCount())
        return kTrackNone;

    const int limit = whole ? SectionCount() : kQueryPairs;
    long long forward = s;
    long long backward = s;
    bool forward_open = true;
    bool backward_open = true;
    float height = kTrackNone;
    for (int tested = 0; tested < limit && (forward_open || backward_open);) {
        if (forward_open) {
            const int a = SectionAt(forward);
            const int b = SectionAt(forward + 1);
            if (a < 0 || b < 0 || a == b) {
                forward_open = false;
            } else {
                ++tested;
                ++forward;
                if (QueryPair(a, b, *point, normal, &height, surface))
                    return height;
            }
        }
        if (tested >= limit)
            break;
        if (backward_open) {
            const int a = SectionAt(backward - 1);
            const int b = SectionAt(backward);
            if (a < 0 || b < 0 || a == b) {
                backward_open = false;
            } else {
                ++tested;
                --backward;
                if (QueryPair(a, b, *point, normal, &height, surface))
                    return height;
            }
        }
    }
    return kTrackNone;
}

bool Track::Locate(Vec3* point, Vec3* normal, float hint)
{
    const int hinted = SectionNear(hint);
    if (Segments.empty() || hinted < 0)
        return false;
    const long long s0 = static_cast<long long>(hinted) - kEdgeBehind;

    bool crossed = false;
    Vec3 found;
    Vec3 found_from, found_to;
    int found_section = 0;
    for (int edge = 0; edge < 2; ++edge) {
        // The edge point nearest the point among the window's sections.
        int k = -1;
        float best = 0.0f;
        for (int step = 0; step < kEdgeWindow; ++step) {
            const int index = SectionAt(s0 + step);
            if (index < 0)
                continue;
            const Vec3& e = edge_point(Sections[static_cast<std::size_t>(index)], edge);
            const float dx = e.x - point->x;
            const float dz = e.z - point->z;
            const float d2 = dx * dx + dz * dz;
            if (k < 0 || d2 < best) {
                k = index;
                best = d2;
            }
        }
        if (k < 0)
            return false;

        // Neighbours: behind and ahead for the left edge, the other way
        // round for the right; at the ends of an open path the edge is
        // taken to go on straight.
        const int behind = SectionAt(static_cast<long long>(k) - 1);
        const int ahead = SectionAt(static_cast<long long>(k) + 1);
        const Vec3& ek = edge_point(Sections[static_cast<std::size_t>(k)], edge);
        auto neighbour = [&](int index, int other) {
            if (index >= 0)
                return edge_point(Sections[static_cast<std::size_t>(index)], edge);
            if (other >= 0)
                return ek.Plus(ek.Minus(edge_point(Sections[static_cast<std::size_t>(other)], edge)));
            return ek;
        };
        const Vec3 ep = edge == 0 ? neighbour(behind, ahead) : neighbour(ahead, behind);
        const Vec3 en = edge == 0 ? neighbour(ahead, behind) : neighbour(behind, ahead);
        const int p_index = edge == 0 ? behind : ahead;
        const int n_index = edge == 0 ? ahead : behind;

        const float r = std::atan2(ep.x - ek.x, ep.z - ek.z);
        const float angle_n = into_below(std::atan2(en.x - ek.x, en.z - ek.z), r);
        const float angle_p = into_below(std::atan2(point->x - ek.x, point->z - ek.z), r);
        if (!(angle_p < angle_n))
            continue;

        // Beyond this edge: the nearer projection on its two edge segments.
        const float t1 = SegmentParamXZ(*point, ep, ek);
        const float t2 = SegmentParamXZ(*point, ek, en);
        bool have = false;
        Vec3 candidate = ek;
        Vec3 from = ep, to = ek;
        int section = edge == 0 ? p_index : k;
        float best_d2 = 0.0f;
        auto consider = [&](const Vec3& a, const Vec3& b, float t, int first_section) {
            const Vec3 c = a.Plus(b.Minus(a).Times(t));
            const float dx = c.x - point->x;
            const float dz = c.z - point->z;
            const float d2 = dx * dx + dz * dz;
            if (!have || d2 < best_d2) {
                have = true;
                best_d2 = d2;
                candidate = c;
                from = a;
                to = b;
                section = first_section;
            }
        };
        // The section an edge segment starts from, in the track's order.
        const int first_of_p = edge == 0 ? p_index : k;
        const int first_of_n = edge == 0 ? k : n_index;
        if (t1 <= 1.0f)
            consider(ep, ek, t1, first_of_p);
        if (t2 >= 0.0f)
            consider(ek, en, t2, first_of_n);
        if (!have) {
            candidate = ek;
            from = ep;
            to = ek;
            section = first_of_p;
        }
        crossed = true;
        found = candidate;
        found_from = from;
        found_to = to;
        found_section = section >= 0 ? section : k;
    }
    if (!crossed)
        return false;
    point->x = found.x;
    point->z = found.z;
    point->y = std::max(point->y, found.y);
    const float dx = found_to.x - found_from.x;
    const float dz = found_to.z - found_from.z;
    if (normal)
        *normal = unit_horizontal(dz, -dx);
    SetLastSection(found_section);
    return true;
}

void Track::BuildEdgeRuns()
{
    const long long n = static_cast<long long>(Sections.size());
    const std::size_t size = static_cast<std::size_t>(n + 2 * kEdgeSteps);
    for (int edge = 0; edge < 2; ++edge) {
        EdgeX[edge].assign(n > 0 ? size : 0, 0.0f);
        EdgeZ[edge].assign(n > 0 ? size : 0, 0.0f);
        for (std::size_t i = 0; i < EdgeX[edge].size(); ++i) {
            // Beyond the ends of an open path: the end point again, which
            // makes edge segments of no length that nothing can cross.
            const long long wanted = static_cast<long long>(i) - kEdgeSteps;
            int index = SectionAt(wanted);
            if (index < 0)
                index = wanted < 0 ? 0 : static_cast<int>(n - 1);
            const Vec3& e = edge_point(Sections[static_cast<std::size_t>(index)], edge);
            EdgeX[edge][i] = e.x;
            EdgeZ[edge][i] = e.z;
        }
    }
}

bool Track::EdgeCrossing(Vec3* to, const Vec3* from, Vec3* normal, float hint, int edge)
{
    const int s = SectionNear(hint);
    if (Segments.empty() || s < 0)
        return false;
    edge = edge == 0 ? 0 : 1;
    const float mx = to->x - from->x;
    const float mz = to->z - from->z;

    // Edge segment j of the window joins sections s - kEdgeSteps + j and the
    // one after it. The search steps forwards (segments from s on) and
    // backwards (segments before s) at the same time, and the first segment
    // in that order with the smallest motion parameter wins.
    constexpr int kSegments = 2 * kEdgeSteps;
    const float* x = EdgeX[edge].data() + s;
    const float* z = EdgeZ[edge].data() + s;
    const float fx = from->x;
    const float fz = from->z;

    // First, over the whole window in one vectorisable pass, the segments
    // that may be crossed at all. With the motion d and the edge segment e,
    // t = (w x e) / (d x e) and u = (w x d) / (d x e): a numerator at least
    // as large as the denominator makes |t| or |u| at least 1, and then
    // neither t (in [0, best), best never above 1) nor u (in [0, 1)) can
    // qualify. Nearly every segment of the window lies well away from a
    // motion of a metre or so and drops out here, sparing its divisions. A
    // segment parallel to the motion, or of no length (beyond the ends of an
    // open path), drops out too.
    std::int32_t maybe[kSegments];
    std::int32_t any = 0;
    for (int j = 0; j < kSegments; ++j) {
        const float ex = x[j + 1] - x[j];
        const float ez = z[j + 1] - z[j];
        const float denominator = mx * ez - mz * ex;
        const float wx = x[j] - fx;
        const float wz = z[j] - fz;
        const float tNumerator = wx * ez - wz * ex;
        const float uNumerator = wx * mz - wz * mx;
        const float limit = std::fabs(denominator);
        maybe[j] = (denominator != 0.0f) & (std::fabs(tNumerator) < limit) & (std::fabs(uNumerator) < limit);
        any |= maybe[j];
    }
    if (!any)
        return false;

    float best = 1.0f;
    int hitSegment = -1;
    float hitU = 0.0f;
    auto test = [&](int j) {
        if (!maybe[j])
            return;
        const float ex = x[j + 1] - x[j];
        const float ez = z[j + 1] - z[j];
        const float denominator = mx * ez - mz * ex;
        const float wx = x[j] - fx;
        const float wz = z[j] - fz;
        const float t = (wx * ez - wz * ex) / denominator;
        const float u = (wx * mz - wz * mx) / denominator;
        if (t >= 0.0f && t < best && u >= 0.0f && u < 1.0f) {
            best = t;
            hitSegment = j;
            hitU = u;
        }
    };
    for (int step = 0; step < kEdgeSteps; ++step) {
        test(kEdgeSteps + step);
        test(kEdgeSteps - step - 1);
    }
    if (hitSegment < 0)
        return false;

    const long long first = static_cast<long long>(s) - kEdgeSteps + hitSegment;
    const int a = SectionAt(first);
    const int b = SectionAt(first + 1);
    const Vec3& ea = edge_point(Sections[static_cast<std::size_t>(a)], edge);
    const Vec3& eb = edge_point(Sections[static_cast<std::size_t>(b)], edge);
    const float hitDx = eb.x - ea.x;
    const float hitDz = eb.z - ea.z;
    const Vec3 start = *from;
    *to = start.Plus(to->Minus(start).Times(best));
    to->y = std::max(to->y, ea.y + hitU * (eb.y - ea.y));
    if (normal)
        *normal = edge == 0 ? unit_horizontal(hitDz, -hitDx) : unit_horizontal(-hitDz, hitDx);
    SetLastSection(a);
    return true;
}

void Track::OffsetFromEdge(Vec3* point, int edge, int section, float offset) const
{
    const int k = SectionAt(section);
    if (Segments.empty() || k < 0)
        return;
    edge = edge == 0 ? 0 : 1;
    auto distance2 = [&](int index) {
        const Vec3& e = edge_point(Sections[static_cast<std::size_t>(index)], edge);
        const float dx = e.x - point->x;
        const float dz = e.z - point->z;
        return dx * dx + dz * dz;
    };
    const int before = SectionAt(static_cast<long long>(k) - 1);
    const int after = SectionAt(static_cast<long long>(k) + 1);
    int j = k;
    const float dk = distance2(k);
    if (before >= 0 && distance2(before) < dk)
        j = before;
    else if (after >= 0 && distance2(after) < dk)
        j = after;

    const int prev = SectionAt(static_cast<long long>(j) - 1);
    const int next = SectionAt(static_cast<long long>(j) + 1);
    const Vec3& ej = edge_point(Sections[static_cast<std::size_t>(j)], edge);
    const Vec3& ep = edge_point(Sections[static_cast<std::size_t>(prev >= 0 ? prev : j)], edge);
    const Vec3& en = edge_point(Sections[static_cast<std::size_t>(next >= 0 ? next : j)], edge);
    const float dx = en.x - ep.x;
    const float dz = en.z - ep.z;
    const Vec3 n = edge == 0 ? unit_horizontal(dz, -dx) : unit_horizontal(-dz, dx);
    point->x = ej.x + offset * n.x;
    point->z = ej.z + offset * n.z;
    point->y = ej.y;
}

void Track::BuildDistanceTables()
{
    const long long n = static_cast<long long>(Metres.size());
    LookaheadLow.assign(static_cast<std::size_t>(n), 0.0f);
    LookaheadHigh.assign(static_cast<std::size_t>(n), 0.0f);
    for (long long k = 0; k < n; ++k) {
        const TrackMetre& mk = Metres[static_cast<std::size_t>(k)];
        float low = -mk.LowBound;
        float high = mk.HighBound;
        // 30 metres ahead down to as far behind as the speed asks (at most 160).
        const float speed = std::fmax(-1000.0f, std::fmin(mk.RefSpeed, 1000.0f));
        const long long count = 30 + std::min<long long>(2 * static_cast<long long>(speed), 160);
        for (long long step = 0; step < count; ++step) {
            const long long offset = 30 - step;
            long long j = k + offset;
            if (Closed) {
                j %= n;
                if (j < 0)
                    j += n;
            } else {
                j = std::clamp<long long>(j, 0, n - 1);
            }
            const TrackMetre& mj = Metres[static_cast<std::size_t>(j)];
            const float w = 1.0f / (std::exp(0.19f * static_cast<float>(offset)) + 1.0f);
            low = std::max(low, -((1.0f - w) * mj.LowBound + w * mk.LowBound));
            high = std::min(high, (1.0f - w) * mj.HighBound + w * mk.HighBound);
        }
        LookaheadLow[static_cast<std::size_t>(k)] = low;
        LookaheadHigh[static_cast<std::size_t>(k)] = high;
    }
}
