#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "engine/base/texture_record.h"
#include "engine/model/mdl_format.h"
#include "engine/model/model_node.h"
#include "engine/scene/lattice_deform.h"
#include "engine/scene/patch_tess.h"
#include "tests/engine/scene/kit_model.h"
#include "tests/engine/scene/transform_fixture.h"
#include "tests/support/fp_traps.h"
#include "tools/datakit/mdl_writer.h"

using scene_test::identity;
using scene_test::translation;

namespace {

// Records what the tessellator hands on: the light calls (position and
// normal) and a copy of every triangle's corners.
class recording_sink final : public patch_sink {
public:
    float light_point(const vec4& position, const vec4& normal) override
    {
        lit.push_back({position, normal});
        return 0.75f;
    }
    void triangle(clip_vertex* const corners[3], const mtr_texture* frame) override
    {
        triangles.push_back({*corners[0], *corners[1], *corners[2]});
        frames.push_back(frame);
    }

    std::vector<std::pair<vec4, vec4>> lit;
    std::vector<std::array<clip_vertex, 3>> triangles;
    std::vector<const mtr_texture*> frames;
};

// A grid of rows x columns control points, point (r, c) = f(r, c).
template <typename F>
std::vector<vec4> grid_points(std::uint32_t rows, std::uint32_t columns, F f)
{
    std::vector<vec4> points;
    for (std::uint32_t r = 0; r < rows; ++r)
        for (std::uint32_t c = 0; c < columns; ++c)
            points.push_back(f(static_cast<float>(r), static_cast<float>(c)));
    return points;
}

patch_grid shape_of(std::uint32_t rows, std::uint32_t columns, std::uint32_t basis = 2, float tension = 0.5f)
{
    patch_grid g;
    g.basis_u = g.basis_v = basis;
    g.tension_u = g.tension_v = tension;
    g.count_u = rows;
    g.count_v = columns;
    return g;
}

using samples = patch_sample[patch_grid_points][patch_grid_points];

} // namespace

// Control points on one plane give a surface on that plane, with the
// plane's normal, for both spline kinds, whatever the spacing of the points
// within the plane.
TEST(PatchTess, FlatPatchLiesOnItsPlane)
{
    torvane_test::FpTraps traps;
    // The plane through (0, 0, -5) with normal n.
    const vec4 n{0.3f, -0.4f, 0.866f, 0.0f};
    const float len = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
    // Two in-plane directions.
    const vec4 a{n.z, 0.0f, -n.x, 0.0f};
    const vec4 b{n.y * a.z - n.z * a.y, n.z * a.x - n.x * a.z, n.x * a.y - n.y * a.x, 0.0f};
    const auto points = grid_points(4, 4, [&](float r, float c) {
        const float s = c + 0.3f * r * r, t = r + 0.2f * c * c;   // uneven spacing
        return vec4{s * a.x + t * b.x, s * a.y + t * b.y, -5.0f + s * a.z + t * b.z, 1.0f};
    });
    for (std::uint32_t basis : {mdl::patch_basis_bspline, mdl::patch_basis_cardinal}) {
        samples out;
        ASSERT_TRUE(patch_evaluate(shape_of(4, 4, basis), points.data(), 0, 0, out));
        for (const auto& row : out)
            for (const patch_sample& p : row) {
                const float off = (n.x * p.position.x + n.y * p.position.y + n.z * (p.position.z + 5.0f)) / len;
                EXPECT_NEAR(off, 0.0f, 1e-5f) << "basis " << basis;
                const float along = (p.normal.x * n.x + p.normal.y * n.y + p.normal.z * n.z) / len;
                EXPECT_NEAR(std::fabs(along), 1.0f, 2e-4f) << "basis " << basis;
            }
    }
}

// A known bicubic surface: x = column, y = row and one raised control
// point. The B-spline weights at t = 0, 1/2, 1 are (1/6, 2/3, 1/6, 0),
// (1/48, 23/48, 23/48, 1/48) and (0, 1/6, 2/3, 1/6); the Catmull-Rom ones
// (0, 1, 0, 0), (-1/16, 9/16, 9/16, -1/16) and (0, 0, 1, 0). Both reproduce
// the straight lines of x and y.
TEST(PatchTess, KnownBicubicSurfaces)
{
    torvane_test::FpTraps traps;
    struct surface {
        const char* what;
        std::uint32_t basis;
        std::uint32_t raised_row, raised_column;
        float height;
        float weight_row[3];      // weight of the raised row at u = 0, 1/2, 1
        float weight_column[3];   // weight of the raised column at v = 0, 1/2, 1
        float offset;             // x = offset + v, y = offset + u
    };
    const surface cases[] = {
        {"B-spline", 2, 1, 2, 48.0f, {2.0f / 3, 23.0f / 48, 1.0f / 6}, {1.0f / 6, 23.0f / 48, 2.0f / 3}, 1.0f},
        {"Catmull-Rom", 3, 1, 1, 256.0f, {1.0f, 9.0f / 16, 0.0f}, {1.0f, 9.0f / 16, 0.0f}, 1.0f},
        {"Catmull-Rom, far point", 3, 3, 0, 256.0f, {0.0f, -1.0f / 16, 0.0f}, {0.0f, -1.0f / 16, 0.0f}, 1.0f},
    };
    for (const surface& c : cases) {
        const auto points = grid_points(4, 4, [&](float r, float col) {
            const bool raised = r == static_cast<float>(c.raised_row) && col == static_cast<float>(c.raised_column);
            return vec4{col, r, raised ? c.height : 0.0f, 1.0f};
        });
        samples out;
        ASSERT_TRUE(patch_evaluate(shape_of(4, 4, c.basis), points.data(), 0, 0, out));
        for (int s = 0; s < 3; ++s)
            for (int r = 0; r < 3; ++r) {
                const patch_sample& p = out[s][r];
                EXPECT_NEAR(p.position.x, c.offset + 0.5f * static_cast<float>(s), 1e-5f) << c.what;
                EXPECT_NEAR(p.position.y, c.offset + 0.5f * static_cast<float>(r), 1e-5f) << c.what;
                EXPECT_NEAR(p.position.z, c.height * c.weight_row[r] * c.weight_column[s], 1e-4f)
                    << c.what << " at s " << s << " r " << r;
            }
    }
}

// The cardinal spline's tension sets its end slopes: for evenly spaced
// points the derivative along a row is 2 tension at both ends and
// 1.5 - tension in the middle (1 everywhere for Catmull-Rom), and the
// normal of the flat grid is tangent_u x tangent_v.
TEST(PatchTess, CardinalTensionAndTangents)
{
    const auto points = grid_points(4, 4, [](float r, float c) { return vec4{c, r, 0.0f, 1.0f}; });
    for (float tension : {0.5f, 0.25f, 0.0f}) {
        samples out;
        ASSERT_TRUE(patch_evaluate(shape_of(4, 4, 3, tension), points.data(), 0, 0, out));
        const float expected[3] = {2 * tension, 1.5f - tension, 2 * tension};
        for (int s = 0; s < 3; ++s)
            for (int r = 0; r < 3; ++r) {
                EXPECT_NEAR(out[s][r].tangent_v.x, expected[s], 1e-6f) << tension;
                EXPECT_NEAR(out[s][r].tangent_u.y, expected[r], 1e-6f) << tension;
                if (tension > 0.0f) {
                    EXPECT_NEAR(out[s][r].normal.z, -1.0f, 2e-4f);
                } else {
                    // Zero tension stops the curve at its ends: no normal
                    // there, and no NaN.
                    if ((s == 0 || s == 2) || (r == 0 || r == 2)) {
                        EXPECT_EQ(out[s][r].normal.z, 0.0f);
                    }
                }
            }
    }
}

// Neighbouring patches meet: the edge and corner points that two or four
// patches share come out the same from each, with the same normals (the
// B-spline is smooth across the seam), across and along the rows and
// around a closed direction's seam.
TEST(PatchTess, NeighbouringPatchesMeetAtEdgesAndCorners)
{
    const auto height = [](float r, float c) { return 0.3f * std::sin(1.3f * r + 0.4f) * std::cos(0.7f * c); };
    const auto points = grid_points(5, 5, [&](float r, float c) { return vec4{c, r, height(r, c), 1.0f}; });
    const patch_grid grid = shape_of(5, 5);
    samples p00, p10, p01, p11;
    ASSERT_TRUE(patch_evaluate(grid, points.data(), 0, 0, p00));
    ASSERT_TRUE(patch_evaluate(grid, points.data(), 1, 0, p10));
    ASSERT_TRUE(patch_evaluate(grid, points.data(), 0, 1, p01));
    ASSERT_TRUE(patch_evaluate(grid, points.data(), 1, 1, p11));
    const auto same = [](const patch_sample& a, const patch_sample& b, const char* what) {
        EXPECT_NEAR(a.position.x, b.position.x, 1e-5f) << what;
        EXPECT_NEAR(a.position.y, b.position.y, 1e-5f) << what;
        EXPECT_NEAR(a.position.z, b.position.z, 1e-5f) << what;
        EXPECT_NEAR(a.normal.x, b.normal.x, 1e-4f) << what;
        EXPECT_NEAR(a.normal.y, b.normal.y, 1e-4f) << what;
        EXPECT_NEAR(a.normal.z, b.normal.z, 1e-4f) << what;
    };
    for (int k = 0; k < 3; ++k) {
        same(p00[k][2], p10[k][0], "edge across the rows");
        same(p00[2][k], p01[0][k], "edge along a row");
    }
    same(p00[2][2], p11[0][0], "corner of four patches");
    same(p10[2][0], p01[0][2], "corner of four patches");

    // A closed direction of 5 rows: the last patch ends where the first
    // begins.
    patch_grid closed = grid;
    closed.closed_u = true;
    samples first, last;
    ASSERT_TRUE(patch_evaluate(closed, points.data(), 0, 0, first));
    ASSERT_TRUE(patch_evaluate(closed, points.data(), 4, 0, last));
    for (int k = 0; k < 3; ++k)
        same(last[k][2], first[k][0], "seam of a closed direction");
}

// One 4 x 4 patch gives 9 points and 8 triangles facing the eye (none
// from behind); the triangles carry the patch's texture frame, the light
// value, the lens's clip position and the texture mapping.
TEST(PatchTess, DrawsOnePatchAsEightTrianglesThroughTheLens)
{
    torvane_test::FpTraps traps;
    // In camera space, tilted so that every point has its own depth. The
    // surface normal tangent_u x tangent_v = (-0.1, -0.01, -1) normalised
    // points away from the origin: the patch faces an eye beyond it, not
    // one at the origin.
    const auto points =
        grid_points(4, 4, [](float r, float c) { return vec4{c, r, -5.0f - 0.1f * c - 0.01f * r, 1.0f}; });
    const patch_grid grid = shape_of(4, 4);
    const patch_lens lens{0.1f, -0.2f, 1.25f, 2.0f};
    mtr_texture frame;
    const patch_texture_map texture{&frame, 64, 32, 1.0f, 2.0f, 0.25f, 0.5f};

    recording_sink behind;
    EXPECT_EQ(patch_mesh_draw(grid, points.data(), points.size(), lens, texture, {1.5f, 1.5f, 0.0f, 1.0f}, behind),
              0);
    EXPECT_EQ(behind.lit.size(), 9u);

    recording_sink sink;
    const vec4 eye{1.5f, 1.5f, -20.0f, 1.0f};
    EXPECT_EQ(patch_mesh_draw(grid, points.data(), points.size(), lens, texture, eye, sink), 8);
    ASSERT_EQ(sink.lit.size(), 9u);
    ASSERT_EQ(sink.triangles.size(), 8u);
    std::set<std::pair<float, float>> corners;
    for (std::size_t t = 0; t < sink.triangles.size(); ++t) {
        EXPECT_EQ(sink.frames[t], &frame);
        for (const clip_vertex& v : sink.triangles[t]) {
            corners.insert({v.x, v.y});
            EXPECT_EQ(v.light[0], 0.75f);
            EXPECT_NEAR(v.nx, -0.0995f, 1e-3f);
            EXPECT_NEAR(v.nz, -0.995f, 1e-3f);
            // The view point this corner came from: the only one with its depth.
            int found = 0;
            for (const auto& [p, n] : sink.lit) {
                if (p.z != v.z)
                    continue;
                ++found;
                EXPECT_FLOAT_EQ(v.x, p.x + p.z * lens.shift_x);
                EXPECT_FLOAT_EQ(v.y, lens.aspect * p.y + p.z * lens.shift_y);
                EXPECT_FLOAT_EQ(v.w, -p.z / lens.focal);
                // x = 1 + v and y = 1 + u on this grid: u = 0.25 - u_grid W su,
                // v = 0.5 - v_grid H sv with one segment each way.
                EXPECT_NEAR(v.u, 0.25f - (p.y - 1.0f) * 64.0f, 1e-3f);
                EXPECT_NEAR(v.v, 0.5f - (p.x - 1.0f) * 64.0f, 1e-3f);
            }
            EXPECT_EQ(found, 1);
        }
    }
    EXPECT_EQ(corners.size(), 9u);
}

// Open directions give count - 3 patches each, closed ones count; each
// patch is evaluated and lit once.
TEST(PatchTess, PatchCountsOfOpenAndClosedDirections)
{
    struct grid_case {
        std::uint32_t rows, columns;
        bool closed_u, closed_v;
        std::size_t patches;
    };
    const grid_case cases[] = {
        {4, 4, false, false, 1}, {7, 4, false, false, 4}, {4, 6, false, false, 3}, {5, 4, true, false, 5},
        {4, 5, false, true, 5},  {5, 6, true, true, 30},  {3, 4, true, false, 3},  {3, 4, false, false, 0},
    };
    for (const grid_case& c : cases) {
        const auto points = grid_points(c.rows, c.columns, [](float r, float col) {
            return vec4{col, r, -5.0f + 0.1f * std::sin(r + 2 * col), 1.0f};
        });
        patch_grid grid = shape_of(c.rows, c.columns);
        grid.closed_u = c.closed_u;
        grid.closed_v = c.closed_v;
        recording_sink sink;
        patch_mesh_draw(grid, points.data(), points.size(), {}, {}, {0, 0, 0, 1}, sink);
        EXPECT_EQ(sink.lit.size(), 9 * c.patches) << c.rows << " x " << c.columns;
    }
}

// A grid built in code with a spline kind the tessellator does not know,
// or with fewer points than it names, draws nothing and is counted; a
// patch whose points all coincide has no normal but draws no NaN.
TEST(PatchTess, RefusedGridsAndDegeneratePatches)
{
    torvane_test::FpTraps traps;
    patch_reset_faults();
    const auto points = grid_points(4, 4, [](float r, float c) { return vec4{c, r, -5.0f, 1.0f}; });
    recording_sink sink;
    testing::internal::CaptureStderr();
    patch_grid bad = shape_of(4, 4);
    bad.basis_v = 1;
    EXPECT_EQ(patch_mesh_draw(bad, points.data(), points.size(), {}, {}, {0, 0, 0, 1}, sink), 0);
    EXPECT_EQ(patch_mesh_draw(shape_of(4, 4), points.data(), 15, {}, {}, {0, 0, 0, 1}, sink), 0);
    EXPECT_EQ(patch_mesh_draw(shape_of(4, 4), nullptr, 0, {}, {}, {0, 0, 0, 1}, sink), 0);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("spline kind"), std::string::npos);
    EXPECT_EQ(patch_faults().unknown_spline, 1u);
    EXPECT_EQ(patch_faults().missing_points, 2u);
    EXPECT_TRUE(sink.lit.empty());
    patch_cubic cubic{};
    EXPECT_FALSE(patch_segment_cubic(4, 0.5f, points.data(), cubic));

    const std::vector<vec4> one_point(16, vec4{1, 2, -3, 1});
    samples out;
    ASSERT_TRUE(patch_evaluate(shape_of(4, 4), one_point.data(), 0, 0, out));
    for (const auto& row : out)
        for (const patch_sample& p : row) {
            EXPECT_FLOAT_EQ(p.position.z, -3.0f);
            EXPECT_EQ(p.normal.x, 0.0f);
            EXPECT_EQ(p.normal.y, 0.0f);
            EXPECT_EQ(p.normal.z, 0.0f);
        }
    // A lens without a focal length gives w' = 0 rather than a division.
    const auto tilted = grid_points(4, 4, [](float r, float c) { return vec4{c, r, -5.0f - 0.1f * c, 1.0f}; });
    recording_sink flat;
    patch_lens no_focal;
    no_focal.focal = 0.0f;
    patch_mesh_draw(shape_of(4, 4), tilted.data(), tilted.size(), no_focal, {}, {1.5f, 1.5f, -20.0f, 1}, flat);
    ASSERT_FALSE(flat.triangles.empty());
    EXPECT_EQ(flat.triangles[0][0].w, 0.0f);
}

// The table inverse square root: exact below 256 and from 16777216 up,
// equal to 1/sqrt(x) at the ends of every table interval, and within its
// stated error over the whole range.
TEST(PatchTess, InverseSquareRootByTables)
{
    torvane_test::FpTraps traps;
    isqrt_tables_build();
    for (float x : {1e-6f, 0.5f, 1.0f, 2.0f, 100.0f, 255.0f, 255.99998f, 16777216.0f, 3e7f, 1e30f})
        EXPECT_EQ(inv_sqrt_approx(x), 1.0f / std::sqrt(x)) << x;
    EXPECT_EQ(inv_sqrt_approx(0.0f), std::numeric_limits<float>::infinity());
    EXPECT_TRUE(std::isnan(inv_sqrt_approx(-1.0f)));
    EXPECT_TRUE(std::isnan(inv_sqrt_approx(std::numeric_limits<float>::quiet_NaN())));

    const auto relative = [](float x) {
        const double exact = 1.0 / std::sqrt(static_cast<double>(x));
        return std::fabs(static_cast<double>(inv_sqrt_approx(x)) - exact) / exact;
    };
    // Interval ends: the start of each interval and the last float below
    // its end.
    double worst_end = 0.0;
    for (std::uint32_t i = 1; i < isqrt_table_a_size; ++i) {
        const float lo = static_cast<float>(256 * i);
        worst_end = std::max({worst_end, relative(lo), relative(std::nextafter(lo + 256.0f, 0.0f))});
    }
    for (std::uint32_t j = 0; j < isqrt_table_b_size; ++j) {
        const float lo = static_cast<float>(1048576 + 4096 * j);
        worst_end = std::max({worst_end, relative(lo), relative(std::nextafter(lo + 4096.0f, 0.0f))});
    }
    EXPECT_LT(worst_end, 2e-6);

    // The whole range, sampled geometrically with a step that never lines
    // up with the intervals.
    struct band {
        double from, to, bound;
    };
    const band bands[] = {{256, 512, 4.2e-3},   {512, 1024, 4.7e-4},   {1024, 2048, 4.3e-5},
                          {2048, 4096, 3.4e-6}, {4096, 16777216, 5e-7}};
    for (const band& b : bands) {
        double worst = 0.0;
        for (double x = b.from; x < b.to; x *= 1.0000537)
            worst = std::max(worst, relative(static_cast<float>(x)));
        EXPECT_LT(worst, b.bound) << b.from;
    }
}

// From the model file to triangles: a kit-made model with a 4 x 4 patch
// loads, its control points go to camera space, and the patch draws as 8
// triangles facing the eye.
class PatchFromFile : public scene_test::TransformTest {};

TEST_F(PatchFromFile, KitMadePatchDrawsThroughTheTransform)
{
    std::unique_ptr<model_lib> lib;
    model_node* node = scene_test::load_kit_object(
        lib, "SAIL",
        datakit::mdl_patch_object(
            "SAIL", 4, 4,
            grid_points(4, 4, [](float r, float c) { return vec4{c, r, 0.2f * std::sin(c), 1.0f}; }), "CANVAS",
            {3, 2, false, false, 0.5f, 0.5f}));
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->grid.basis_u, 3u);
    mat_identity(&node->world);

    std::vector<vec4> view_points(16);
    ASSERT_EQ(transform_patch_points(frame, *node, translation(0, 0, -10), view_points.data(), view_points.size()),
              16u);
    recording_sink sink;
    EXPECT_EQ(patch_mesh_draw(node->grid, view_points.data(), 16, {}, {}, {1.5f, 1.5f, -40.0f, 1.0f}, sink), 8);
    // Across the rows Catmull-Rom passes row 1; along it the B-spline
    // averages columns 0 to 2 with the weights 1/6, 2/3, 1/6.
    EXPECT_NEAR(sink.lit[0].first.z, -10.0f + 0.2f * (4.0f * std::sin(1.0f) + std::sin(2.0f)) / 6.0f, 1e-5f);
}
