#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "engine/base/engine.h"
#include "engine/base/mat4.h"
#include "engine/base/name_hash.h"
#include "engine/model/anim_channels.h"
#include "engine/model/anim_transition.h"
#include "engine/model/fcurve.h"
#include "engine/model/lattice_anim.h"
#include "engine/model/model_node.h"
#include "engine/model/shape_anim.h"
#include "tests/engine/model/lattice_fixture.h"
#include "tests/engine/model/model_fixture.h"
#include "tests/support/fp_traps.h"

using model_test::constant_curve;
using model_test::grid_shape;
using model_test::lattice_of;
using model_test::make_curve;
using model_test::ModelTest;

namespace {

vec4 deform(lattice_anim* anim, lattice_cell_cache* cache, vec4 p, float t = 0.0f)
{
    mat4 identity{};
    mat_identity(&identity);
    const vec4 unit{1, 1, 1, 1};
    anim->eval(&identity, &unit, t);
    lattice_cells_prepare(cache, anim->working);
    vec4 out{0, 0, 0, 1};
    lattice_deform_point(cache, anim->working, &out, &p);
    return out;
}

float b0(float f) { return (1 - f) * (1 - f) * (1 - f) / 6; }
float b2(float f) { return (-3 * f * f * f + 3 * f * f + 3 * f + 1) / 6; }

} // namespace

using LatticeTest = ModelTest;

TEST_F(LatticeTest, IdentityLatticeChangesNothing)
{
    torvane_test::FpTraps traps;
    auto cache = std::make_unique<lattice_cell_cache>();
    for (std::uint32_t n : {2u, 3u, 5u}) {
        lattice_anim* anim = lattice_of({grid_shape(n, n, n, 4.0f)}, constant_curve(0));
        for (const vec4 p : {vec4{0.1f, 0.2f, 0.3f, 1}, vec4{2, 2, 2, 1}, vec4{3.9f, 0.5f, 3.3f, 1}}) {
            const vec4 q = deform(anim, cache.get(), p);
            EXPECT_NEAR(q.x, p.x, 1e-4f) << n;
            EXPECT_NEAR(q.y, p.y, 1e-4f) << n;
            EXPECT_NEAR(q.z, p.z, 1e-4f) << n;
        }
        delete anim;
    }
}

TEST_F(LatticeTest, BentLatticeMovesPointsByTheBasis)
{
    torvane_test::FpTraps traps;
    auto cache = std::make_unique<lattice_cell_cache>();
    // Three layers along x, the middle one raised by 1: along x the working
    // lattice's y offsets are -1, 0, 1, 0, -1 (borders extrapolated).
    lattice_anim* anim = lattice_of({grid_shape(3, 2, 2, 2.0f, 1.0f)}, constant_curve(0));
    const float x = 0.5f;
    const float f = x * 0.999f;  // cell scale (3 - 1) x 0.999 / 2
    const vec4 q = deform(anim, cache.get(), {x, 0.7f, 1.2f, 1});
    EXPECT_NEAR(q.y, 0.7f + b2(f) - b0(f), 1e-4f);
    EXPECT_NEAR(q.x, x, 1e-4f);
    EXPECT_NEAR(q.z, 1.2f, 1e-4f);
    delete anim;
}

TEST_F(LatticeTest, ShapesBlendWithWrappingNeighbours)
{
    torvane_test::FpTraps traps;
    std::vector<lattice_shape*> shapes;
    for (int i = 0; i < 3; ++i)
        shapes.push_back(grid_shape(2, 2, 2, 1.0f, 0.0f));
    for (int s = 0; s < 3; ++s)
        for (std::uint32_t i = 0; i < 8; ++i)
            shapes[s]->points[i].y += static_cast<float>(s * s);
    lattice_anim* anim = lattice_of(shapes, constant_curve(2.5f));
    mat4 identity{};
    mat_identity(&identity);
    const vec4 unit{1, 1, 1, 1};
    anim->eval(&identity, &unit, 0);
    // Shape 2 blends toward the first shape: neighbours 1, 2, 0, 1.
    const float want = anim_key_blend(1.0f, 4.0f, 0.0f, 1.0f, 0.5f);
    EXPECT_NEAR(anim->working->at(1, 1, 1).y, want, 1e-5f);
    // By hand: 0.5 (2 x 4 + (0 - 1) / 2 + (2 - 20 + 0 - 1) / 4 + (12 - 1 - 0 + 1) / 8).
    EXPECT_NEAR(anim->working->at(1, 1, 1).y, 2.125f, 1e-5f);

    // Curve values beyond the shapes are clamped, not walked past the list.
    delete anim->curve;
    anim->curve = constant_curve(99.0f);
    anim->eval(&identity, &unit, 0);
    EXPECT_NEAR(anim->working->at(1, 1, 1).y, 0.0f, 1e-5f);  // the last shape's blend reaches the first
    delete anim->curve;
    anim->curve = constant_curve(-5.0f);
    anim->eval(&identity, &unit, 0);
    EXPECT_NEAR(anim->working->at(1, 1, 1).y, 0.0f, 1e-5f);
    delete anim;
}

TEST_F(LatticeTest, CellCacheIsFilledOncePerLatticeState)
{
    auto cache = std::make_unique<lattice_cell_cache>();
    lattice_anim* anim = lattice_of({grid_shape(3, 3, 3, 1.0f)}, constant_curve(0));
    mat4 identity{};
    mat_identity(&identity);
    const vec4 unit{1, 1, 1, 1};
    anim->eval(&identity, &unit, 0);
    lattice_cells_prepare(cache.get(), anim->working);
    lattice_cells_prepare(cache.get(), anim->working);
    EXPECT_EQ(cache->fills, 1u);
    anim->eval(&identity, &unit, 0);  // new points: filled again
    lattice_cells_prepare(cache.get(), anim->working);
    EXPECT_EQ(cache->fills, 2u);
    delete anim;
    // A new lattice, possibly at the same address, is never taken for the old one.
    lattice_anim* other = lattice_of({grid_shape(3, 3, 3, 1.0f)}, constant_curve(0));
    other->eval(&identity, &unit, 0);
    lattice_cells_prepare(cache.get(), other->working);
    EXPECT_EQ(cache->fills, 3u);
    delete other;
}

TEST_F(LatticeTest, LatticeTransitionJoinsBothAnimations)
{
    torvane_test::FpTraps traps;
    lattice_anim* a = lattice_of({grid_shape(2, 2, 2, 1.0f), grid_shape(2, 2, 2, 3.0f)}, make_curve({{0, 0}, {1, 1}}));
    lattice_anim* b = lattice_of({grid_shape(2, 2, 2, 5.0f)}, constant_curve(0));
    auto* b_node = new (pool_anim_node) anim_node;
    b_node->lattice = b;
    b_node->flags |= node_lattice_a;
    auto* target = new (pool_anim_node) anim_node;
    ASSERT_TRUE(anim_trans_lattice(a, target, b_node, 0.5f, 0.0f));
    lattice_anim* t = target->lattice;
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->count, 4u);
    EXPECT_EQ(target->flags & node_lattice_a, node_lattice_a);

    mat4 identity{};
    mat_identity(&identity);
    const vec4 unit{1, 1, 1, 1};
    t->eval(&identity, &unit, 0.0f);
    a->eval(&identity, &unit, 0.5f);
    for (std::uint32_t i = 0; i < 64; ++i) {
        EXPECT_NEAR(t->working->points[i].x, a->working->points[i].x, 1e-5f) << i;
        EXPECT_NEAR(t->working->points[i].y, a->working->points[i].y, 1e-5f) << i;
    }
    t->eval(&identity, &unit, 1.0f);
    b->eval(&identity, &unit, 0.0f);
    for (std::uint32_t i = 0; i < 64; ++i)
        EXPECT_NEAR(t->working->points[i].z, b->working->points[i].z, 1e-5f) << i;

    // Lattices of other point counts get no transition.
    lattice_anim* c = lattice_of({grid_shape(3, 2, 2, 1.0f)}, constant_curve(0));
    auto* target2 = new (pool_anim_node) anim_node;
    EXPECT_FALSE(anim_trans_lattice(c, target2, b_node, 0, 0));
    EXPECT_EQ(target2->lattice, nullptr);

    const int shapes = lattice_shape::live;
    delete target;  // four shapes and a working shape, points back to the pool
    EXPECT_EQ(lattice_shape::live, shapes - 5);
    delete target2;
    delete b_node;
    delete a;
    delete c;
}

using ShapeTest = ModelTest;

namespace {

// V vertices, K keys: vertex i of key k at (k, i, 10 k + i).
shape_anim* counting_shape(std::uint32_t vertices, std::uint32_t keys, fcurve* curve)
{
    auto* s = new (pool_shape_anim) shape_anim;
    s->allocate(vertices, keys, false);
    for (std::uint32_t k = 0; k < keys; ++k)
        for (std::uint32_t i = 0; i < vertices; ++i)
            s->positions[k * vertices + i] = {float(k), float(i), float(10 * k + i), 1};
    s->curve = curve;
    return s;
}

std::vector<float> written(const shape_anim* s, float t, std::size_t vertices)
{
    std::vector<float> dest(vertices * 12, -1.0f);
    s->apply(dest.data(), dest.size() * sizeof(float), t);
    return dest;
}

} // namespace

TEST_F(ShapeTest, KeyIndexPicksAndClampsKeys)
{
    torvane_test::FpTraps traps;
    struct Case {
        const char* what;
        std::uint32_t keys;
        fcurve* curve;
        float key;  // the key every vertex lands on
    } cases[] = {
        {"last key exactly", 4, constant_curve(3.0f), 3},
        {"beyond the last key", 4, constant_curve(7.5f), 3},
        {"key 0", 4, constant_curve(0.0f), 0},
        {"negative", 4, constant_curve(-2.0f), 0},
        {"one key", 1, constant_curve(0.7f), 0},
        {"no curve", 4, nullptr, 0},
        {"a middle key", 4, constant_curve(2.0f), 2},
    };
    for (const Case& c : cases) {
        shape_anim* s = counting_shape(3, c.keys, c.curve);
        const std::vector<float> dest = written(s, 0.0f, 3);
        for (int i = 0; i < 3; ++i) {
            EXPECT_NEAR(dest[i * 12 + 0], c.key, 1e-5f) << c.what;
            EXPECT_NEAR(dest[i * 12 + 1], float(i), 1e-5f) << c.what;
            EXPECT_NEAR(dest[i * 12 + 2], 10 * c.key + i, 1e-4f) << c.what;
            EXPECT_EQ(dest[i * 12 + 3], -1.0f) << "the fourth word is kept";
        }
        delete s;
    }

    shape_anim* s = counting_shape(1, 4, constant_curve(1.5f));
    EXPECT_NEAR(written(s, 0, 1)[0], anim_key_blend(0.0f, 1.0f, 2.0f, 3.0f, 0.5f), 1e-5f);
    delete s;
}

// Keys that are not on a line (x = k squared: 0, 1, 4, 9) blended by the
// Catmull-Rom rule, worked out by hand: the first key stands in for the
// one before it, the last for the one after, and between the middle keys
// the curve meets the square exactly.
TEST_F(ShapeTest, KeysBlendByCatmullRomBetweenThem)
{
    torvane_test::FpTraps traps;
    const struct {
        float key, x;
    } cases[] = {
        {0.5f, 0.3125f},     // 0.5 (0 + 1/2 + 0 + 1/8), key 0 before the first
        {1.5f, 2.25f},       // interior: 0.5 (2 + 4 x 1/2 + 2 x 1/4 + 0)
        {2.25f, 5.2265625f}, // 0.5 (8 + 8/4 + 9/16 - 7/64), key 3 after the last
        {2.75f, 8.0546875f}, // 0.5 (8 + 8 x 3/4 + 9 x 9/16 - 7 x 27/64)
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        shape_anim* s = counting_shape(1, 4, constant_curve(c.key));
        for (std::uint32_t k = 0; k < 4; ++k)
            s->positions[k].x = float(k * k);
        EXPECT_NEAR(written(s, 0, 1)[0], c.x, 1e-5f);
        delete s;
    }
}

TEST_F(ShapeTest, OffsetsOutsideTheDestinationAreSkipped)
{
    shape_anim* s = counting_shape(3, 2, constant_curve(1.0f));
    s->offsets = new std::uint16_t[3]{96, 0, 40000};
    std::vector<float> dest(36, -1.0f);
    s->apply(dest.data(), dest.size() * sizeof(float), 0.0f);
    EXPECT_EQ(dest[24 + 1], 0.0f);  // vertex 0 at byte 96
    EXPECT_EQ(dest[1], 1.0f);       // vertex 1 at byte 0
    delete s;
}

TEST_F(ShapeTest, ShapeTransitionJoinsBothAnimations)
{
    torvane_test::FpTraps traps;
    auto* a = new (pool_anim_node) anim_node;
    auto* b = new (pool_anim_node) anim_node;
    a->shapes = counting_shape(2, 3, make_curve({{0, 0}, {1, 2}}));
    b->shapes = counting_shape(2, 3, constant_curve(0.0f));
    std::vector<float> base(24, 0.5f);
    auto* target = new (pool_anim_node) anim_node;
    ASSERT_TRUE(anim_trans_shape(target, b, a, 0.5f, 0.0f, base.data(), base.size() * sizeof(float)));
    ASSERT_NE(target->shapes, nullptr);
    EXPECT_EQ(target->shapes->owner_state, 3u);
    std::vector<float> at_start = written(target->shapes, 0.0f, 2);
    std::vector<float> from_a = written(a->shapes, 0.5f, 2);
    std::vector<float> at_end = written(target->shapes, 1.0f, 2);
    std::vector<float> from_b = written(b->shapes, 0.0f, 2);
    for (int i : {0, 1, 2, 12, 13, 14}) {
        EXPECT_NEAR(at_start[i], from_a[i], 1e-5f) << i;
        EXPECT_NEAR(at_end[i], from_b[i], 1e-5f) << i;
    }
    delete target;
    delete a;
    delete b;
}

TEST_F(ShapeTest, BsOwnShapesGetTransitionsOverTheirOwnVertices)
{
    torvane_test::FpTraps traps;
    auto* a = new (pool_anim_node) anim_node;
    auto* b = new (pool_anim_node) anim_node;
    a->shapes = counting_shape(3, 3, make_curve({{0, 0}, {1, 2}}));
    // B's shape moves vertices 2 and 0 (in that order); its curve rises with
    // slope 4 at tb.
    b->shapes = counting_shape(2, 3, make_curve({{0, 0, 4, 4}, {0.5f, 2, 4, 4}}, fcurve_interp_cubic));
    b->shapes->offsets = new std::uint16_t[2]{96, 0};
    set_name(&b->shapes->name, "FROWN");
    std::vector<float> rest(36);
    for (std::size_t i = 0; i < rest.size(); ++i)
        rest[i] = 100.0f + float(i);

    auto* target = new (pool_anim_node) anim_node;
    ASSERT_TRUE(anim_trans_shape(target, b, a, 0.5f, 0.25f, rest.data(), rest.size() * sizeof(float)));
    const shape_anim* whole = target->shapes;
    ASSERT_NE(whole, nullptr);
    const shape_anim* own = whole->next;
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(own->next, nullptr);
    EXPECT_EQ(whole->vertex_count, 3u);
    EXPECT_EQ(whole->offsets, nullptr);
    EXPECT_EQ(own->name.hash, name_hash("FROWN"));
    ASSERT_EQ(own->vertex_count, 2u);
    EXPECT_EQ(own->offsets[0], 96);
    EXPECT_EQ(own->offsets[1], 0);
    EXPECT_EQ(own->owner_state, 3u);
    EXPECT_FLOAT_EQ(own->curve->last->out_slope, 4.0f);  // B's curve at tb
    EXPECT_FLOAT_EQ(own->curve->last->value, 2.0f);
    EXPECT_FLOAT_EQ(whole->curve->last->out_slope, 1.0f);

    // Applied in order over the rest vertices: A at the start, B at the end,
    // for the vertices B's shape moves and for the others.
    auto shaped = [&](const shape_anim* list, float t) {
        std::vector<float> v = rest;
        for (const shape_anim* s = list; s; s = s->next)
            s->apply(v.data(), v.size() * sizeof(float), t);
        return v;
    };
    const std::vector<float> start = shaped(target->shapes, 0.0f), end = shaped(target->shapes, 1.0f);
    const std::vector<float> want_a = shaped(a->shapes, 0.5f), want_b = shaped(b->shapes, 0.25f);
    for (std::size_t i = 0; i < rest.size(); ++i) {
        EXPECT_NEAR(start[i], want_a[i], 1e-4f) << i;
        EXPECT_NEAR(end[i], want_b[i], 1e-4f) << i;
    }
    // A refresh at other times keeps the records and moves the keys.
    anim_refresh_shape(target, b, a, 0.0f, 0.5f, rest.data(), rest.size() * sizeof(float));
    EXPECT_EQ(target->shapes, whole);
    const std::vector<float> refreshed = shaped(target->shapes, 1.0f), want = shaped(b->shapes, 0.5f);
    for (std::size_t i = 0; i < rest.size(); ++i)
        EXPECT_NEAR(refreshed[i], want[i], 1e-4f) << i;
    delete target;

    // Too many vertices for the shape pool: the whole-object shape is left
    // out, B's own is still built.
    std::vector<std::uint8_t> many((engine::shape_key_position_count / 4 + 1) * 48, 0);
    target = new (pool_anim_node) anim_node;
    ASSERT_TRUE(anim_trans_shape(target, b, a, 0, 0, many.data(), many.size()));
    EXPECT_EQ(target->shapes->name.hash, name_hash("FROWN"));
    EXPECT_EQ(target->shapes->next, nullptr);
    delete target;
    // No vertices: nothing.
    target = new (pool_anim_node) anim_node;
    EXPECT_FALSE(anim_trans_shape(target, b, a, 0, 0, nullptr, 0));
    EXPECT_EQ(target->shapes, nullptr);
    delete target;
    delete a;
    delete b;
}

TEST(ObjectVertices, MeshRecordsOrPatchPointsAsRecords)
{
    model_node mesh(node_kind_full);
    mesh.type = node_mesh;
    model_part part;
    part.vertex_count = 2;
    part.vertices.assign(3 * 48, 7);  // one record more than the count
    mesh.mesh = &part;
    EXPECT_EQ(anim_object_vertices(&mesh), std::vector<std::uint8_t>(2 * 48, 7));
    mesh.mesh = nullptr;

    model_node patch(node_kind_full);
    patch.type = node_patch;
    std::vector<vec4> points{{1, 2, 3, 4}, {5, 6, 7, 8}};
    patch.patch = &points;
    const std::vector<std::uint8_t> records = anim_object_vertices(&patch);
    ASSERT_EQ(records.size(), 96u);
    float second[4];
    std::memcpy(second, records.data() + 48, sizeof second);
    EXPECT_EQ(second[0], 5.0f);
    EXPECT_EQ(second[3], 8.0f);
    EXPECT_EQ(records[16], 0);
    patch.patch = nullptr;

    model_node empty(node_kind_full);
    EXPECT_TRUE(anim_object_vertices(&empty).empty());
}

TEST(CornerAngleWeight, RightAngleWeighsOneAndStraightZero)
{
    torvane_test::FpTraps traps;
    EXPECT_NEAR(corner_angle_weight({0, 0, 0, 1}, {-1, 0, 0, 1}, {0, 1, 0, 1}), 1.0f, 1e-3f);
    // Straight on: the edges' guard keeps the cosine just below 1.
    EXPECT_NEAR(corner_angle_weight({0, 0, 0, 1}, {-1, 0, 0, 1}, {1, 0, 0, 1}),
                std::acos(1.0f / (1.001f * 1.001f)) * 0.63661975f, 1e-4f);
    EXPECT_NEAR(corner_angle_weight({0, 0, 0, 1}, {0, 0, 0, 1}, {0, 0, 0, 1}), 1.0f, 1e-3f);
}
