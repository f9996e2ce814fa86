#include "engine/base/clipper.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

// Comparisons here use the quiet forms (std::isless and friends): a NaN
// coordinate is simply outside every plane, and testing it raises no
// floating-point exception. For ordinary values they are the plain
// comparisons.

namespace {

// One boundary: its outcode bit, how to test a vertex against it and where an
// edge crosses it.
enum class plane_kind { lower_z, upper_z, left, right, bottom, top };

struct plane_step {
    unsigned bit;
    plane_kind kind;
};

// The fixed clipping order.
constexpr plane_step clip_order[6] = {
    {clip_lower_z, plane_kind::lower_z}, {clip_upper_z, plane_kind::upper_z}, {clip_left, plane_kind::left},
    {clip_right, plane_kind::right},     {clip_bottom, plane_kind::bottom},   {clip_top, plane_kind::top},
};

bool inside(const clip_record* r, plane_kind kind, const clip_vertex& v)
{
    switch (kind) {
    case plane_kind::lower_z:
        return std::isgreaterequal(v.z, r->lower_z);
    case plane_kind::upper_z:
        return std::islessequal(v.z, r->upper_z);
    case plane_kind::left:
        return std::islessequal(-v.x, v.w);
    case plane_kind::right:
        return std::islessequal(v.x, v.w);
    case plane_kind::bottom:
        return std::islessequal(-v.y, v.w);
    case plane_kind::top:
        return std::islessequal(v.y, v.w);
    }
    return false;
}

// A vertex exactly on the boundary: the crossing of an edge that leaves the
// volume through it is the vertex itself, already kept.
bool on_boundary(const clip_record* r, plane_kind kind, const clip_vertex& v)
{
    switch (kind) {
    case plane_kind::lower_z:
        return v.z == r->lower_z;
    case plane_kind::upper_z:
        return v.z == r->upper_z;
    case plane_kind::left:
        return -v.x == v.w;
    case plane_kind::right:
        return v.x == v.w;
    case plane_kind::bottom:
        return -v.y == v.w;
    case plane_kind::top:
        return v.y == v.w;
    }
    return false;
}

bool finite_position(const clip_vertex& v)
{
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z) && std::isfinite(v.w);
}

// The parameter of the crossing from p to c, as numerator and denominator of
// s = num / den, in double precision so that no product of float
// coordinates overflows.
void crossing(const clip_record* r, plane_kind kind, const clip_vertex& p, const clip_vertex& c, double& num,
              double& den)
{
    const double pz = p.z;
    const double dz = static_cast<double>(c.z) - pz;
    switch (kind) {
    case plane_kind::lower_z:
        num = r->lower_z - pz;
        den = dz;
        return;
    case plane_kind::upper_z:
        num = r->upper_z - pz;
        den = dz;
        return;
    case plane_kind::left:
    case plane_kind::right: {
        const double k = kind == plane_kind::left ? r->left_factor : r->right_factor;
        num = -(k * p.x + pz);
        den = k * (static_cast<double>(c.x) - p.x) + dz;
        return;
    }
    case plane_kind::bottom:
    case plane_kind::top: {
        const double k = kind == plane_kind::bottom ? r->bottom_factor : r->top_factor;
        num = -(k * p.y + pz);
        den = k * (static_cast<double>(c.y) - p.y) + dz;
        return;
    }
    }
    num = 0.0;
    den = 0.0;
}

float interpolate(float from, float to, double s)
{
    return static_cast<float>(from + (static_cast<double>(to) - from) * s);
}

// Writes the vertex where the edge p -> c crosses the plane into `out`.
// Returns false (and writes nothing) when the edge gives no crossing: it runs
// parallel to the plane, or an end point is not finite.
bool make_crossing(const clip_record* r, plane_kind kind, const clip_vertex& p, const clip_vertex& c,
                   clip_vertex& out)
{
    if (!finite_position(p) || !finite_position(c))
        return false;
    double num = 0.0;
    double den = 0.0;
    crossing(r, kind, p, c, num, den);
    if (den == 0.0)
        return false;
    double s = num / den;
    // Rounding, or a w that does not quite match the plane factors, can put
    // the crossing past either end of the edge; it is kept on the edge.
    if (s < 0.0)
        s = 0.0;
    else if (s > 1.0)
        s = 1.0;

    out = s < 0.5 ? p : c;
    out.x = interpolate(p.x, c.x, s);
    out.y = interpolate(p.y, c.y, s);
    out.z = interpolate(p.z, c.z, s);
    out.w = interpolate(p.w, c.w, s);
    out.u = interpolate(p.u, c.u, s);
    out.v = interpolate(p.v, c.v, s);
    for (int i = 0; i < 3; ++i)
        out.light[i] = interpolate(p.light[i], c.light[i], s);
    return true;
}

// Appends to dst unless that would leave no slot for the next pass to close
// its loop. Only a polygon that is not convex gets that far: a quad whose
// corners do not lie in one plane can be cut into more pieces than one plane
// per vertex, and such quads come from ordinary model data.
struct vertex_sink {
    clip_vertex* dst;
    int count = 0;

    bool room() const { return count < clip_buffer_vertices - 1; }
    void copy(const clip_vertex& v)
    {
        if (room())
            dst[count++] = v;
    }
    void cross(const clip_record* r, plane_kind kind, const clip_vertex& p, const clip_vertex& c)
    {
        if (room() && make_crossing(r, kind, p, c, dst[count]))
            ++count;
    }
};

// One pass: the polygon of n vertices in src clipped against one plane into
// dst. src must have a free slot at index n. Returns the new count.
int clip_pass(const clip_record* r, plane_kind kind, clip_vertex* src, int n, clip_vertex* dst)
{
    src[n] = src[0];
    vertex_sink sink{dst};
    bool prev_in = inside(r, kind, src[0]);
    if (prev_in)
        sink.copy(src[0]);
    for (int i = 1; i <= n; ++i) {
        const bool cur_in = inside(r, kind, src[i]);
        // A crossing next to a kept vertex that lies on the boundary would
        // only repeat that vertex.
        if (cur_in != prev_in && !on_boundary(r, kind, cur_in ? src[i] : src[i - 1]))
            sink.cross(r, kind, src[i - 1], src[i]);
        // The closing copy duplicates the first vertex, which is already in.
        if (cur_in && i < n)
            sink.copy(src[i]);
        prev_in = cur_in;
    }
    return sink.count;
}

// Puts a vertex that rounding left just outside a boundary back on it. Every
// vertex of the result lies, in exact arithmetic, inside every plane: inside
// the clipped ones by construction, inside the others because all the input
// vertices were and the result is made of points on their edges. So what is
// outside here is rounding (the interpolation of x and of w rounds apart, or
// a w that only nearly matches the plane factors), never a real crossing.
// The coordinates are independent (z against its limits, x and y against w,
// which is left alone), so one pass settles all six.
void snap_inside(const clip_record* r, clip_vertex& v)
{
    if (!inside(r, plane_kind::lower_z, v))
        v.z = r->lower_z;
    if (!inside(r, plane_kind::upper_z, v))
        v.z = r->upper_z;
    if (!inside(r, plane_kind::left, v))
        v.x = -v.w;
    if (!inside(r, plane_kind::right, v))
        v.x = v.w;
    if (!inside(r, plane_kind::bottom, v))
        v.y = -v.w;
    if (!inside(r, plane_kind::top, v))
        v.y = v.w;
}

// The polygon outcode of n vertices, the i-th given by vertex(i).
template <class VertexAt>
unsigned polygon_outcode(const clip_record* record, int n, VertexAt vertex)
{
    unsigned and_all = clip_all_planes;
    unsigned or_all = 0;
    for (int i = 0; i < n; ++i) {
        const unsigned code = clip_outcode(record, vertex(i));
        and_all &= code;
        or_all |= code;
    }
    if (and_all != 0)
        return clip_poly_outside;
    if (or_all == 0)
        return clip_poly_inside;
    return or_all;
}

} // namespace

unsigned clip_outcode(const clip_record* record, const clip_vertex* vertex)
{
    const clip_vertex& v = *vertex;
    unsigned code = 0;
    // A NaN coordinate is inside no plane: it counts as outside.
    if (!inside(record, plane_kind::left, v))
        code |= clip_left;
    else if (!inside(record, plane_kind::right, v))
        code |= clip_right;
    if (!inside(record, plane_kind::bottom, v))
        code |= clip_bottom;
    else if (!inside(record, plane_kind::top, v))
        code |= clip_top;
    if (!inside(record, plane_kind::upper_z, v))
        code |= clip_upper_z;
    else if (!inside(record, plane_kind::lower_z, v))
        code |= clip_lower_z;
    return code;
}

unsigned clip_outcode_array(const clip_record* record, const clip_vertex* vertices, int count)
{
    return polygon_outcode(record, count == 3 ? 3 : 4, [vertices](int i) { return &vertices[i]; });
}

unsigned clip_outcode_poly(const clip_record* record, const clip_vertex* const* vertices, int count)
{
    if (count != 3 && count != 4) {
        std::fprintf(stderr, "clip_outcode_poly: %d corners\n", count);
        std::exit(1);
    }
    return polygon_outcode(record, count, [vertices](int i) { return vertices[i]; });
}

clip_vertex* clip_polygon(const clip_record* record, clip_vertex* vertices, clip_vertex* scratch, int* count,
                          unsigned flags, const void* /*view*/)
{
    unsigned planes = flags & clip_all_planes;
    // Once the near side is cut, every side plane is cut too.
    if (planes & clip_upper_z)
        planes |= clip_left | clip_right | clip_top | clip_bottom;
    if (count == nullptr)
        return nullptr;
    if (planes == 0)
        return vertices;
    if (vertices == nullptr || scratch == nullptr || *count < 1 || *count > clip_max_input_vertices) {
        *count = 0;
        return nullptr;
    }

    clip_vertex* src = vertices;
    clip_vertex* dst = scratch;
    int n = *count;
    for (const plane_step& step : clip_order) {
        if (!(planes & step.bit))
            continue;
        n = clip_pass(record, step.kind, src, n, dst);
        if (n == 0) {
            *count = 0;
            return nullptr;
        }
        clip_vertex* done = dst;
        dst = src;
        src = done;
    }
    for (int i = 0; i < n; ++i)
        snap_inside(record, src[i]);
    *count = n;
    return src;
}
