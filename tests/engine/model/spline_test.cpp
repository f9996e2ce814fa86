#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "engine/base/cubic_segment.h"
#include "engine/model/orient_spline.h"
#include "engine/model/path_spline.h"
#include "tests/engine/model/model_fixture.h"
#include "tests/support/fp_traps.h"

using model_test::ModelTest;

namespace {

path_point* make_point(vec4 in, vec4 pos, vec4 out)
{
    auto* p = new (pool_path_point) path_point;
    p->in_handle = in;
    p->position = pos;
    p->out_handle = out;
    return p;
}

path_point* at_rest(float x, float y, float z)
{
    const vec4 p{x, y, z, 1};
    return make_point(p, p, p);
}

// A path through the points, measured and accumulated as the loader does.
path_spline* measured_path(const std::vector<path_point*>& points, float tolerance = -16.0f)
{
    auto* path = new (pool_path_spline) path_spline;
    path->tolerance = tolerance;
    for (path_point* p : points) {
        path->insert_point(p, 1100, 0);
        if (p->prev)
            path->measure_segment(p->prev);
    }
    path->accumulate(path->first);
    return path;
}

double numeric_length(const path_point* a)
{
    // Simpson's rule over |B'(u)| in double precision.
    cubic_segment seg{};
    seg.ctrl[0] = a->position;
    seg.ctrl[1] = a->out_handle;
    seg.ctrl[2] = a->next->in_handle;
    seg.ctrl[3] = a->next->position;
    const int n = 4000;
    double sum = 0;
    for (int i = 0; i <= n; ++i) {
        vec4 d{};
        cubic_eval_tangent(&seg, &d, static_cast<float>(i) / n);
        const double len = std::sqrt(double(d.x) * d.x + double(d.y) * d.y + double(d.z) * d.z);
        sum += len * (i == 0 || i == n ? 1 : (i % 2 ? 4 : 2));
    }
    return sum / (3.0 * n);
}

void expect_vec(const vec4& got, float x, float y, float z, float tolerance, const char* what)
{
    EXPECT_NEAR(got.x, x, tolerance) << what;
    EXPECT_NEAR(got.y, y, tolerance) << what;
    EXPECT_NEAR(got.z, z, tolerance) << what;
}

} // namespace

using SplineTest = ModelTest;

TEST_F(SplineTest, ArcLengthMatchesTheIntegral)
{
    torvane_test::FpTraps traps;
    // A strongly curved segment measured adaptively.
    path_spline* curved = measured_path({make_point({0, 0, 0, 1}, {0, 0, 0, 1}, {4, 6, 0, 1}),
                                         make_point({12, -5, 3, 1}, {10, 0, 2, 1}, {10, 0, 2, 1})},
                                        1e-6f);
    EXPECT_NEAR(curved->total_length(), numeric_length(curved->first), 1e-3);
    delete curved;

    // The fixed measure: six guarded chords of a straight segment.
    path_spline* straight = measured_path({make_point({0, 0, 0, 1}, {0, 0, 0, 1}, {10.0f / 3, 0, 0, 1}),
                                           make_point({20.0f / 3, 0, 0, 1}, {10, 0, 0, 1}, {10, 0, 0, 1})});
    const float chord = std::sqrt((10.0f / 6) * (10.0f / 6) + 0.001f);
    EXPECT_NEAR(straight->total_length(), 6 * chord, 1e-4f);
    EXPECT_EQ(straight->first->correction, 0.0f);
    delete straight;
}

TEST_F(SplineTest, ArcLengthLookup)
{
    torvane_test::FpTraps traps;
    path_spline* path = measured_path({at_rest(0, 0, 0), at_rest(10, 0, 0), at_rest(10, 10, 0)}, 1e-6f);
    path->auto_handles(path->first);
    path->auto_handles(path->first->next);
    path->auto_handles(path->last);
    for (path_point* p = path->first; p; p = p->next)
        path->measure_segment(p);
    path->accumulate(path->first);
    const float total = path->total_length();
    EXPECT_EQ(path->first->next->cumulative, path->first->segment_length);

    expect_vec(path->point_at(-5), 0, 0, 0, 1e-6f, "below the first length");
    expect_vec(path->point_at(total + 5), 10, 10, 0, 1e-5f, "above the last length");
    expect_vec(path->point_at(path->first->next->cumulative), 10, 0, 0, 1e-3f, "at a point");
    // Equal steps of arc length give nearly equal distances along the path.
    vec4 previous = path->point_at(0);
    for (int i = 1; i <= 40; ++i) {
        const vec4 p = path->point_at(total * i / 40);
        const float step = std::sqrt((p.x - previous.x) * (p.x - previous.x) + (p.y - previous.y) * (p.y - previous.y));
        EXPECT_NEAR(step, total / 40, 0.05f * total / 40) << i;
        previous = p;
    }
    vec4 pos{}, tangent{};
    path->point_and_tangent_at(total / 4, &pos, &tangent);
    EXPECT_GT(tangent.x, 0.0f);
    delete path;

    path_spline* single = measured_path({at_rest(3, 4, 5)});
    single->point_and_tangent_at(7, &pos, &tangent);
    expect_vec(pos, 3, 4, 5, 0, "one point");
    expect_vec(tangent, 0, 0, 0, 0, "one point's tangent");
    expect_vec(single->point_at(-1), 3, 4, 5, 0, "one point");
    delete single;

    path_spline empty;
    expect_vec(empty.point_at(1), 0, 0, 0, 0, "no point");
}

TEST_F(SplineTest, DegenerateSegmentsAreGuarded)
{
    torvane_test::FpTraps traps;
    // Every point in one place: all chords are the guard's length.
    path_spline* path = measured_path({at_rest(1, 1, 1), at_rest(1, 1, 1), at_rest(1, 1, 1)});
    for (float s : {0.0f, 0.05f, 0.1f, 1.0f})
        expect_vec(path->point_at(s), 1, 1, 1, 1e-6f, "collapsed path");
    path->auto_handles(path->first->next);
    expect_vec(path->first->next->in_handle, 1, 1, 1, 1e-6f, "collapsed handles");
    delete path;
}

TEST_F(SplineTest, AutomaticHandles)
{
    torvane_test::FpTraps traps;
    path_spline* path = measured_path({at_rest(0, 0, 0), at_rest(10, 0, 0), at_rest(10, 10, 0)});
    for (path_point* p = path->first; p; p = p->next)
        path->auto_handles(p);
    const float r = 0.70710678f * 10 / 3;
    expect_vec(path->first->out_handle, 10.0f / 3, 0, 0, 1e-5f, "first point's out-handle");
    expect_vec(path->first->next->in_handle, 10 - r, -r, 0, 1e-3f, "middle in-handle");
    expect_vec(path->first->next->out_handle, 10 + r, r, 0, 1e-3f, "middle out-handle");
    expect_vec(path->last->in_handle, 10, 20.0f / 3, 0, 1e-5f, "last point's in-handle");
    delete path;
}

TEST_F(SplineTest, ClosedPathRepeatsItsFirstPoint)
{
    torvane_test::FpTraps traps;
    auto* path = new (pool_path_spline) path_spline;
    path->flags = spline_closed;
    path_point* points[4] = {at_rest(0, 0, 0), at_rest(10, 0, 0), at_rest(10, 10, 0), at_rest(0, 0, 0)};
    ASSERT_TRUE(path->append_points(points, 4, spline_rebuild_around));
    EXPECT_EQ(path->flags & spline_closed, spline_closed);
    EXPECT_EQ(path->count, 4u);
    expect_vec(path->last->position, 0, 0, 0, 0, "closing point");
    float sum = 0;
    for (path_point* p = path->first; p->next; p = p->next)
        sum += p->segment_length;
    EXPECT_NEAR(path->total_length(), sum, 1e-4f);
    EXPECT_GT(path->total_length(), 34.0f);  // includes the closing segment
    // Wrapped neighbours: the first point's handles line up with the last segment.
    const vec4& in = path->first->in_handle;
    const vec4& out = path->first->out_handle;
    EXPECT_NEAR(in.x * out.y - in.y * out.x, 0.0f, 1e-3f);
    delete path;
}

TEST_F(SplineTest, InsertionIndices)
{
    auto order = [](const path_spline& s) {
        std::vector<float> xs;
        for (const path_point* p = s.first; p; p = p->next)
            xs.push_back(p->position.x);
        return xs;
    };
    path_spline* path = measured_path({at_rest(1, 0, 0), at_rest(2, 0, 0)});
    path->insert_point(at_rest(3, 0, 0), 0, 0);      // 0 appends
    path->insert_point(at_rest(4, 0, 0), 3, 0);      // at the count appends
    path->insert_point(at_rest(0, 0, 0), -1, 0);     // negative prepends
    path->insert_point(at_rest(0.5f, 0, 0), 1, 0);   // before the point at index 1
    EXPECT_EQ(order(*path), (std::vector<float>{0, 0.5f, 1, 2, 3, 4}));
    EXPECT_EQ(path->count, 6u);
    while (path->count < 1100)
        ASSERT_TRUE(path->insert_point(at_rest(9, 0, 0), 1100, 0));
    path_point* extra = at_rest(5, 5, 5);
    EXPECT_FALSE(path->insert_point(extra, 1100, 0));
    EXPECT_EQ(path->count, 1100u);
    delete extra;
    const int before = path_point::live;
    delete path;
    EXPECT_EQ(path_point::live, before - 1100);
}

TEST_F(SplineTest, OrientationSplinesStayUnit)
{
    torvane_test::FpTraps traps;
    auto* spline = new (pool_orient_spline) orient_spline;
    const float angles[4][3] = {{0, 0, 0}, {1.2f, 0.3f, 0}, {0.4f, -1.0f, 2.0f}, {-0.5f, 0.5f, 0.5f}};
    for (const auto& a : angles) {
        auto* key = new (pool_orient_key) orient_key;
        quat_from_angles(a, &key->key);
        ASSERT_TRUE(spline->insert_key(key, 1100, spline_rebuild_around));
    }
    const float total = spline->total_length();
    ASSERT_GT(total, 0.0f);
    for (int i = 0; i <= 50; ++i) {
        const quat q = spline->key_at(total * i / 50);
        EXPECT_NEAR(std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w), 1.0f, 2e-3f) << i;
    }
    const quat start = spline->key_at(-1);
    EXPECT_NEAR(start.w, spline->first->key.w, 1e-6f);
    const quat end = spline->key_at(total + 1);
    EXPECT_NEAR(end.x, spline->last->key.x, 1e-4f);
    EXPECT_NEAR(end.w, spline->last->key.w, 1e-4f);
    delete spline;

    orient_spline none;
    EXPECT_EQ(none.key_at(3).w, 1.0f);
}
