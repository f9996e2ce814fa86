#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "engine/base/clipper.h"
#include "tests/support/fp_traps.h"

namespace {

// A view of half-angle tangent `tan_half`: the eye looks down -z, w = -z tan,
// so the side planes x = +-w and y = +-w pass through the eye with the
// factors below. z runs from the far limit -100 up to the near limit -1.
struct View {
    float tan_half;
    clip_record record{};

    explicit View(float t) : tan_half(t)
    {
        record.left_factor = -1.0f / t;
        record.right_factor = 1.0f / t;
        record.top_factor = 1.0f / t;
        record.bottom_factor = -1.0f / t;
        record.upper_z = -1.0f;
        record.lower_z = -100.0f;
        // Words the clipper does not read.
        record.spare2[0] = std::numeric_limits<float>::quiet_NaN();
        record.spare15[2] = std::numeric_limits<float>::quiet_NaN();
    }

    // A vertex whose u, v and lights are linear in its position, so that an
    // interpolated vertex can be checked against its own position; the words
    // that are not interpolated carry the vertex's tag.
    clip_vertex at(float x, float y, float z, std::uint32_t tag = 0) const
    {
        clip_vertex v{};
        v.x = x;
        v.y = y;
        v.z = z;
        v.w = -z * tan_half;
        v.u = 0.25f * x + 0.5f * y;
        v.v = 0.5f * z - 0.25f * y;
        v.light[0] = 0.5f + 0.01f * z;
        v.light[1] = x;
        v.light[2] = y;
        v.nx = static_cast<float>(tag);
        v.spare11 = tag;
        v.sx = static_cast<float>(tag);
        v.light_fixed = static_cast<std::int32_t>(tag);
        v.spare23 = tag;
        return v;
    }
};

// The caller's pair of buffers, each exactly as large as the header says, on
// the heap so that the address sanitizer sees any write past them.
struct Buffers {
    std::unique_ptr<clip_vertex[]> a = std::make_unique<clip_vertex[]>(clip_buffer_vertices);
    std::unique_ptr<clip_vertex[]> b = std::make_unique<clip_vertex[]>(clip_buffer_vertices);

    Buffers(std::initializer_list<clip_vertex> polygon)
    {
        int i = 0;
        for (const clip_vertex& v : polygon)
            a[i++] = v;
    }
};

class Clipper : public ::testing::Test {
protected:
    torvane_test::FpTraps traps;
};

unsigned outcode_of(const View& view, std::initializer_list<clip_vertex> polygon)
{
    std::vector<clip_vertex> v(polygon);
    std::vector<const clip_vertex*> p;
    for (const clip_vertex& c : v)
        p.push_back(&c);
    const unsigned by_pointers = clip_outcode_poly(&view.record, p.data(), static_cast<int>(p.size()));
    EXPECT_EQ(clip_outcode_array(&view.record, v.data(), static_cast<int>(v.size())), by_pointers);
    return by_pointers;
}

// Every vertex inside every plane, and carrying interpolated fields that
// agree with its position.
void expect_inside(const View& view, const clip_vertex* out, int count, const char* what)
{
    for (int i = 0; i < count; ++i) {
        const clip_vertex& v = out[i];
        EXPECT_EQ(clip_outcode(&view.record, &v), 0u) << what << " vertex " << i << " (" << v.x << ", " << v.y
                                                      << ", " << v.z << ", " << v.w << ")";
    }
}

void expect_fields_follow_position(const clip_vertex* out, int count, const char* what)
{
    for (int i = 0; i < count; ++i) {
        const clip_vertex& v = out[i];
        const float scale = std::fabs(v.x) + std::fabs(v.y) + std::fabs(v.z) + 1.0f;
        EXPECT_NEAR(v.u, 0.25f * v.x + 0.5f * v.y, 1e-5f * scale) << what << " vertex " << i;
        EXPECT_NEAR(v.v, 0.5f * v.z - 0.25f * v.y, 1e-5f * scale) << what << " vertex " << i;
        EXPECT_NEAR(v.light[0], 0.5f + 0.01f * v.z, 1e-5f * scale) << what << " vertex " << i;
        EXPECT_NEAR(v.light[1], v.x, 1e-5f * scale) << what << " vertex " << i;
        EXPECT_NEAR(v.light[2], v.y, 1e-5f * scale) << what << " vertex " << i;
    }
}

} // namespace

TEST_F(Clipper, VertexOutcodes)
{
    const View view(1.0f);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        const char* name;
        clip_vertex v;
        unsigned want;
    };
    clip_vertex odd = view.at(0, 0, -10);
    odd.w = -1.0f;  // behind the eye: outside both x planes, reported as left
    clip_vertex nan_x = view.at(0, 0, -10);
    nan_x.x = nan;
    const Case cases[] = {
        {"inside", view.at(1, -2, -10), 0},
        {"on every side boundary", view.at(10, -10, -10), 0},
        {"on the near limit", view.at(0, 0, -1), 0},
        {"on the far limit", view.at(0, 0, -100), 0},
        {"left", view.at(-11, 0, -10), clip_left},
        {"right", view.at(11, 0, -10), clip_right},
        {"top", view.at(0, 11, -10), clip_top},
        {"bottom", view.at(0, -11, -10), clip_bottom},
        {"before the near limit", view.at(0, 0, -0.5f), clip_upper_z},
        {"beyond the far limit", view.at(0, 0, -101), clip_lower_z},
        {"left, bottom and far", view.at(-200, -200, -150), clip_left | clip_bottom | clip_lower_z},
        {"negative w", odd, clip_left | clip_bottom},
        {"NaN counts as outside", nan_x, clip_left},
    };
    for (const Case& c : cases)
        EXPECT_EQ(clip_outcode(&view.record, &c.v), c.want) << c.name;
}

TEST_F(Clipper, PolygonOutcodes)
{
    const View view(1.0f);
    EXPECT_EQ(outcode_of(view, {view.at(0, 0, -10), view.at(1, 0, -10), view.at(0, 1, -10)}), clip_poly_inside);
    EXPECT_EQ(outcode_of(view, {view.at(0, 0, -0.5f), view.at(0.1f, 0, -0.2f), view.at(0, 0.1f, -0.3f)}),
              clip_poly_outside);
    // One vertex left, one right: clipped, not dropped.
    EXPECT_EQ(outcode_of(view, {view.at(-20, 0, -10), view.at(20, 0, -10), view.at(0, 1, -10)}),
              clip_left | clip_right);
    // A quad outside the top and the near plane at once, all corners above.
    EXPECT_EQ(outcode_of(view, {view.at(0, 50, -10), view.at(1, 50, -0.5f), view.at(0, 60, -10),
                                view.at(2, 55, -20)}),
              clip_poly_outside);
}

TEST_F(Clipper, OutcodeOfTwoOrFiveCornersEndsTheProgram)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const View view(1.0f);
    const clip_vertex v = view.at(0, 0, -10);
    const clip_vertex* corners[5] = {&v, &v, &v, &v, &v};
    EXPECT_EXIT(clip_outcode_poly(&view.record, corners, 5), ::testing::ExitedWithCode(1), "");
    EXPECT_EXIT(clip_outcode_poly(&view.record, corners, 2), ::testing::ExitedWithCode(1), "");
}

TEST_F(Clipper, NoPlaneLeavesThePolygonAlone)
{
    const View view(1.0f);
    Buffers buf{view.at(-20, 0, -10), view.at(20, 0, -10), view.at(0, 1, -10)};
    for (unsigned flags : {0u, clip_poly_inside, clip_poly_outside}) {
        int count = 3;
        EXPECT_EQ(clip_polygon(&view.record, buf.a.get(), buf.b.get(), &count, flags, nullptr), buf.a.get());
        EXPECT_EQ(count, 3);
        EXPECT_EQ(buf.a[0].x, -20.0f);
    }
}

TEST_F(Clipper, TriangleAcrossTheRightPlaneBecomesAQuad)
{
    const View view(1.0f);
    // Flags 2 clip against the right plane only; flags 16 clip against the
    // near plane (which this triangle does not cross) and so against all four
    // side planes too. Either way the right corner is cut off.
    for (unsigned flags : {clip_right, clip_upper_z}) {
        Buffers buf{view.at(0, 0, -10, 1), view.at(20, 0, -10, 2), view.at(0, 5, -10, 3)};
        int count = 3;
        const clip_vertex* out = clip_polygon(&view.record, buf.a.get(), buf.b.get(), &count, flags, nullptr);
        ASSERT_EQ(count, 4) << flags;
        // One plane: the result is in the scratch array. With flags 16 five
        // planes run (near and the four sides), so it ends in scratch again.
        EXPECT_EQ(out, buf.b.get()) << flags;
        // (0,0) kept, crossing at x = w = 10 on the bottom edge, crossing on
        // the slanted edge, (0,5) kept.
        EXPECT_EQ(out[0].x, 0.0f);
        EXPECT_EQ(out[0].spare11, 1u);
        EXPECT_FLOAT_EQ(out[1].x, 10.0f);
        EXPECT_FLOAT_EQ(out[1].y, 0.0f);
        EXPECT_FLOAT_EQ(out[2].x, 10.0f);
        EXPECT_FLOAT_EQ(out[2].y, 2.5f);
        EXPECT_EQ(out[3].y, 5.0f);
        EXPECT_EQ(out[3].spare11, 3u);
        expect_inside(view, out, count, "right");
        expect_fields_follow_position(out, count, "right");
    }
}

TEST_F(Clipper, TwoPlanesBringTheResultBackToTheFirstArray)
{
    const View view(1.0f);
    Buffers buf{view.at(-20, 0, -10), view.at(20, 0, -10), view.at(0, 5, -10)};
    int count = 3;
    const clip_vertex* out =
        clip_polygon(&view.record, buf.a.get(), buf.b.get(), &count, clip_left | clip_right, nullptr);
    EXPECT_EQ(out, buf.a.get());
    EXPECT_EQ(count, 5);
    expect_inside(view, out, count, "left and right");
}

TEST_F(Clipper, VertexOnTheBoundaryIsKeptWithoutACrossing)
{
    const View view(1.0f);
    // (10, 0) lies exactly on the right plane; (20, 5) is beyond it.
    Buffers buf{view.at(0, 0, -10, 1), view.at(10, 0, -10, 2), view.at(20, 5, -10, 3), view.at(0, 5, -10, 4)};
    int count = 4;
    const clip_vertex* out = clip_polygon(&view.record, buf.a.get(), buf.b.get(), &count, clip_right, nullptr);
    ASSERT_EQ(count, 4);
    EXPECT_EQ(out[1].spare11, 2u) << "the boundary vertex is copied";
    EXPECT_EQ(out[1].x, 10.0f);
    EXPECT_FLOAT_EQ(out[2].x, 10.0f);
    EXPECT_FLOAT_EQ(out[2].y, 5.0f);
    EXPECT_EQ(out[3].spare11, 4u);
}

TEST_F(Clipper, CrossingTakesUninterpolatedWordsFromTheNearerEnd)
{
    const View view(1.0f);
    // Lower z limit -100: the edge from z = -40 (tag 1) to z = -280 (tag 2)
    // crosses a quarter of the way from its first end; the closing edge from
    // -120 (tag 3) back to -40 also a quarter of the way from its first end.
    Buffers buf{view.at(0, 0, -40, 1), view.at(0, 0, -280, 2), view.at(0, 1, -120, 3)};
    buf.a[0].spare17 = 71;
    buf.a[2].spare17 = 73;
    int count = 3;
    const clip_vertex* out = clip_polygon(&view.record, buf.a.get(), buf.b.get(), &count, clip_lower_z, nullptr);
    ASSERT_EQ(count, 3);
    EXPECT_EQ(out[1].z, -100.0f);
    EXPECT_EQ(out[1].spare11, 1u) << "s = 0.25: the first end is nearer";
    EXPECT_EQ(out[1].nx, 1.0f);
    EXPECT_EQ(out[1].sx, 1.0f);
    EXPECT_EQ(out[1].light_fixed, 1);
    EXPECT_EQ(out[1].spare17, 71u);
    EXPECT_EQ(out[1].spare23, 1u);
    EXPECT_EQ(out[2].z, -100.0f);
    EXPECT_EQ(out[2].spare11, 3u) << "s = 0.25 from the outside end";
    EXPECT_EQ(out[2].spare17, 73u);
    expect_fields_follow_position(out, count, "lower z");
}

TEST_F(Clipper, PolygonsAcrossEachPlane)
{
    const View view(0.5f);
    struct Case {
        const char* name;
        std::vector<clip_vertex> polygon;
        int want_count;
    };
    // At z = -10 the sides are at +-5.
    const Case cases[] = {
        {"left", {view.at(-8, 0, -10), view.at(2, -1, -10), view.at(2, 1, -10)}, 4},
        {"right", {view.at(8, 0, -10), view.at(-2, 1, -10), view.at(-2, -1, -10)}, 4},
        {"top", {view.at(0, 8, -10), view.at(-1, -2, -10), view.at(1, -2, -10)}, 4},
        {"bottom", {view.at(0, -8, -10), view.at(1, 2, -10), view.at(-1, 2, -10)}, 4},
        {"near", {view.at(0, 0, -0.2f), view.at(0.5f, 0, -5), view.at(0, 0.5f, -5)}, 4},
        {"far", {view.at(0, 0, -300), view.at(1, 0, -50), view.at(0, 1, -50)}, 4},
        {"quad across left and right", {view.at(-9, -1, -10), view.at(9, -1, -10), view.at(9, 1, -10),
                                        view.at(-9, 1, -10)}, 4},
        {"quad with one corner in", {view.at(4, 4, -10), view.at(30, 4, -10), view.at(30, 30, -10),
                                     view.at(4, 30, -10)}, 4},
        {"all corners out, polygon covers the view", {view.at(-50, -50, -10), view.at(50, -50, -10),
                                                      view.at(50, 50, -10), view.at(-50, 50, -10)}, 4},
    };
    for (const Case& c : cases) {
        Buffers buf{};
        for (size_t i = 0; i < c.polygon.size(); ++i)
            buf.a[i] = c.polygon[i];
        unsigned flags = 0;
        for (const clip_vertex& v : c.polygon)
            flags |= clip_outcode(&view.record, &v);
        int count = static_cast<int>(c.polygon.size());
        const clip_vertex* out = clip_polygon(&view.record, buf.a.get(), buf.b.get(), &count, flags, nullptr);
        ASSERT_NE(out, nullptr) << c.name;
        EXPECT_EQ(count, c.want_count) << c.name;
        expect_inside(view, out, count, c.name);
        expect_fields_follow_position(out, count, c.name);
    }
}

TEST_F(Clipper, PolygonThatAPlaneRemovesReturnsNull)
{
    const View view(1.0f);
    // Wholly beyond the right plane (the outcode would drop it; clipped all
    // the same, the first plane leaves nothing).
    Buffers buf{view.at(30, 0, -10), view.at(40, 35, -10), view.at(45, -35, -10)};
    int count = 3;
    EXPECT_EQ(clip_polygon(&view.record, buf.a.get(), buf.b.get(), &count, clip_right | clip_top | clip_bottom,
                           nullptr),
              nullptr);
    EXPECT_EQ(count, 0);

    // Nothing to clip or nowhere to put it: null, count 0.
    count = 3;
    EXPECT_EQ(clip_polygon(&view.record, nullptr, buf.b.get(), &count, clip_right, nullptr), nullptr);
    EXPECT_EQ(count, 0);
    count = clip_max_input_vertices + 1;
    EXPECT_EQ(clip_polygon(&view.record, buf.a.get(), buf.b.get(), &count, clip_right, nullptr), nullptr);
    EXPECT_EQ(count, 0);
}

TEST_F(Clipper, AllSixPlanesAtOnce)
{
    const View view(0.5f);
    // A tilted quad reaching from in front of the eye to beyond the far
    // limit and past every side: each of the six planes cuts a piece off.
    Buffers buf{view.at(-400, -30, -0.1f), view.at(400, -30, -0.1f), view.at(400, 300, -400),
                view.at(-400, 300, -400)};
    int count = 4;
    unsigned flags = 0;
    for (int i = 0; i < 4; ++i)
        flags |= clip_outcode(&view.record, &buf.a[i]);
    EXPECT_EQ(flags, clip_all_planes);
    const clip_vertex* out = clip_polygon(&view.record, buf.a.get(), buf.b.get(), &count, flags, nullptr);
    ASSERT_NE(out, nullptr);
    EXPECT_GE(count, 4);
    EXPECT_LE(count, clip_buffer_vertices - 1);
    expect_inside(view, out, count, "six planes");
    expect_fields_follow_position(out, count, "six planes");
}

TEST_F(Clipper, DegeneratePolygons)
{
    const View view(1.0f);
    struct Case {
        const char* name;
        std::vector<clip_vertex> polygon;
    };
    const Case cases[] = {
        {"one point outside twice", {view.at(30, 0, -10), view.at(30, 0, -10), view.at(0, 0, -10)}},
        {"all three the same point", {view.at(30, 0, -10), view.at(30, 0, -10), view.at(30, 0, -10)}},
        {"collinear across the view", {view.at(-30, 0, -10), view.at(0, 0, -10), view.at(30, 0, -10)}},
        {"edge lying on the boundary", {view.at(10, -5, -10), view.at(10, 5, -10), view.at(20, 0, -10)}},
        {"edge in the near plane", {view.at(0, 0, -1), view.at(0.5f, 0, -1), view.at(0, 0, -0.5f)}},
        {"one point", {view.at(0, 0, -0.5f)}},
        {"two points", {view.at(0, 0, -0.5f), view.at(0, 0, -50)}},
    };
    for (const Case& c : cases) {
        Buffers buf{};
        for (size_t i = 0; i < c.polygon.size(); ++i)
            buf.a[i] = c.polygon[i];
        int count = static_cast<int>(c.polygon.size());
        const clip_vertex* out =
            clip_polygon(&view.record, buf.a.get(), buf.b.get(), &count, clip_all_planes, nullptr);
        EXPECT_LE(count, clip_buffer_vertices - 1) << c.name;
        if (out != nullptr)
            expect_inside(view, out, count, c.name);
        else
            EXPECT_EQ(count, 0) << c.name;
    }
}

TEST_F(Clipper, ParallelEdgeMakesNoCrossingAndClampedCrossingsStayOnTheEdge)
{
    // A w that does not match the plane factors: the first vertex is outside
    // the right plane by its w, yet the edge to the second runs parallel to
    // the plane kr x + z = 0 (zero denominator), so that edge gives no vertex.
    const View view(1.0f);
    clip_vertex p = view.at(2, 0, -1.5f, 1);
    p.w = 1.0f;  // 2 > 1: outside
    clip_vertex c = view.at(2, 0, -1.5f, 2);
    c.w = 3.0f;  // same x and z: inside
    clip_vertex d = view.at(0, 1, -1.5f, 3);
    Buffers buf{p, c, d};
    int count = 3;
    const clip_vertex* out = clip_polygon(&view.record, buf.a.get(), buf.b.get(), &count, clip_right, nullptr);
    ASSERT_NE(out, nullptr);
    // Kept: c and d; crossing d -> p only (p -> c has none).
    EXPECT_EQ(count, 3);
    for (int i = 0; i < count; ++i)
        EXPECT_LE(out[i].x, out[i].w) << i;

    // A crossing whose parameter lands past the end of the edge is clamped
    // to the edge: q is outside by its w, yet the plane kr x + z = 0 (x = 1.5)
    // lies beyond it, so both edges at q cross outside their length.
    clip_vertex q = view.at(1.4f, 0, -1.5f, 4);
    q.w = 1.3f;
    Buffers buf2{q, view.at(0, 0, -1.5f, 5), view.at(0, 1, -1.5f, 6)};
    count = 3;
    out = clip_polygon(&view.record, buf2.a.get(), buf2.b.get(), &count, clip_right, nullptr);
    ASSERT_NE(out, nullptr);
    for (int i = 0; i < count; ++i) {
        EXPECT_LE(out[i].x, out[i].w) << i;
        EXPECT_GE(out[i].x, 0.0f) << i;
        EXPECT_LE(out[i].x, 1.4f) << i;
    }
}

TEST_F(Clipper, RandomAndHugePolygonsStayInsideTheVolume)
{
    std::mt19937 rng(20240611);
    const float scales[] = {1.0f, 1e3f, 1e12f, 1e30f, 3e38f};
    for (float tan_half : {0.25f, 0.3f, 0.7f, 1.0f, 1.7f}) {
        const View view(tan_half);
        for (float scale : scales) {
            std::uniform_real_distribution<float> coord(-1.0f, 1.0f);
            std::uniform_real_distribution<float> depth(0.0f, 1.0f);
            for (int trial = 0; trial < 2000; ++trial) {
                const int n = 3 + trial % 2;
                Buffers buf{};
                unsigned and_all = clip_all_planes;
                unsigned or_all = 0;
                for (int i = 0; i < n; ++i) {
                    // Depths from in front of the eye to far beyond the far
                    // limit, sides from well inside to far outside.
                    const float z = -depth(rng) * std::fmin(scale * 200.0f, 1e38f) + 0.5f;
                    const float reach = std::fmin(std::fmax(std::fabs(z), 1.0f) * tan_half * 3.0f, 3e38f);
                    buf.a[i] = view.at(coord(rng) * reach, coord(rng) * reach, z, static_cast<std::uint32_t>(i));
                    const unsigned code = clip_outcode(&view.record, &buf.a[i]);
                    and_all &= code;
                    or_all |= code;
                }
                if (and_all != 0 || or_all == 0)
                    continue;
                int count = n;
                const clip_vertex* out =
                    clip_polygon(&view.record, buf.a.get(), buf.b.get(), &count, or_all, nullptr);
                ASSERT_LE(count, clip_buffer_vertices - 1);
                if (out == nullptr) {
                    ASSERT_EQ(count, 0);
                    continue;
                }
                for (int i = 0; i < count; ++i) {
                    ASSERT_EQ(clip_outcode(&view.record, &out[i]), 0u)
                        << "scale " << scale << " trial " << trial << " vertex " << i << " (" << out[i].x << ", "
                        << out[i].y << ", " << out[i].z << ", " << out[i].w << ")";
                    ASSERT_TRUE(std::isfinite(out[i].u) && std::isfinite(out[i].light[0]));
                }
            }
        }
    }
}

TEST_F(Clipper, TwistedQuadsNeverOverrunTheBuffers)
{
    // Quads with unrelated w values are not flat in clip space: a plane can
    // cut them into more pieces than a convex polygon, and across six planes
    // they could outgrow the buffers. The clipper keeps to its capacity
    // (the buffers are exactly that large, so the address sanitizer would
    // see a stray write) and never traps.
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> coord(-20.0f, 20.0f);
    std::uniform_real_distribution<float> wdist(-5.0f, 20.0f);
    std::uniform_real_distribution<float> zdist(-150.0f, 5.0f);
    const View view(1.0f);
    int largest = 0;
    for (int trial = 0; trial < 20000; ++trial) {
        Buffers buf{};
        for (int i = 0; i < 4; ++i) {
            buf.a[i] = view.at(coord(rng), coord(rng), zdist(rng));
            buf.a[i].w = wdist(rng);
        }
        int count = 4;
        clip_polygon(&view.record, buf.a.get(), buf.b.get(), &count, clip_all_planes, nullptr);
        ASSERT_GE(count, 0);
        ASSERT_LE(count, clip_buffer_vertices - 1);
        largest = std::max(largest, count);
    }
    EXPECT_GT(largest, 4);
}
