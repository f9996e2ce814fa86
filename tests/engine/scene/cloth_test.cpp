#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "engine/model/mdl_format.h"
#include "engine/model/model_node.h"
#include "engine/scene/cloth.h"
#include "tests/engine/model/model_fixture.h"
#include "tests/engine/scene/kit_model.h"
#include "tests/engine/scene/transform_fixture.h"
#include "tests/support/fp_traps.h"
#include "tools/datakit/mdl_writer.h"

using scene_test::translation;

namespace {

// A kit-made model whose only node is a hanging sheet of cloth, loaded
// through the model library.
class ClothTest : public model_test::ModelTest {
protected:
    // Loads a sheet of columns x rows vertices, 1 apart, top row driven,
    // standing at (10, 20, 30).
    model_node* load_sheet(std::uint32_t columns, std::uint32_t rows)
    {
        model_node* node = scene_test::load_kit_object(
            lib_, "FLAGPOLE", datakit::mdl_cloth_sheet("SHEET", columns, rows, 1.0f, "CANVAS"));
        EXPECT_NE(node, nullptr);
        if (node)
            node->world = translation(10.0f, 20.0f, 30.0f);
        return node;
    }

    void TearDown() override
    {
        lib_.reset();
        ModelTest::TearDown();
    }

    std::unique_ptr<model_lib> lib_;
};

float vertex_word(const model_part& mesh, std::size_t vertex, int word)
{
    float f = 0.0f;
    std::memcpy(&f, mesh.vertices.data() + vertex * 48 + static_cast<std::size_t>(word) * 4, sizeof f);
    return f;
}

bool all_finite(const cloth& c)
{
    for (const cloth_particle& p : c.particles)
        for (double v : {p.position.x, p.position.y, p.position.z, p.velocity.x, p.velocity.y, p.velocity.z})
            if (!std::isfinite(v))
                return false;
    return true;
}

} // namespace

// The definition as read (states, springs of the kit's rest length, the
// library's stiffness and damping), then init puts every particle at its
// vertex in the world.
TEST_F(ClothTest, BuildsFromTheModelFileAndBindsToItsNode)
{
    model_node* node = load_sheet(3, 2);
    ASSERT_TRUE(node->mesh->has_cloth);
    cloth c(node->mesh->cloth);
    EXPECT_EQ(c.time, 0.0);
    EXPECT_EQ(c.gravity, 140.0);
    EXPECT_EQ(c.drag, 0.8);
    ASSERT_EQ(c.particles.size(), 6u);
    ASSERT_EQ(c.springs.size(), 7u);   // 2 x 2 along the rows, 3 down
    EXPECT_EQ(c.particles[1].state, cloth_particle_driven);
    EXPECT_EQ(c.particles[4].state, cloth_particle_free);
    EXPECT_EQ(c.springs[0].rest_length, 1.0);
    EXPECT_EQ(c.springs[0].stiffness, 300.0);
    EXPECT_EQ(c.springs[0].damping, 12.5);
    EXPECT_EQ(c.springs[0].end[0].particle, 0);
    EXPECT_EQ(c.springs[0].end[1].particle, 1);
    EXPECT_EQ(c.particles[4].link_count, 3u);

    c.init(node);
    EXPECT_EQ(c.gravity, 0.5);
    EXPECT_EQ(c.drag, 4.0);
    const cloth_particle& p = c.particles[4];   // column 1, row 1
    EXPECT_EQ(p.rest.x, 1.0);
    EXPECT_EQ(p.rest.y, -1.0);
    EXPECT_EQ(p.position.x, 11.0);
    EXPECT_EQ(p.position.y, 19.0);
    EXPECT_EQ(p.position.z, 30.0);
    EXPECT_EQ(p.mass, 2.1);
}

// A node that is not a mesh, or a mesh node without geometry, ends the
// program with the engine's box.
TEST_F(ClothTest, InitOnANodeWithoutAMeshEndsTheProgram)
{
    model_node* node = load_sheet(2, 2);
    const mdl_cloth definition = node->mesh->cloth;
    EXPECT_EXIT(
        {
            cloth c(definition);
            model_node empty(node_kind_full);
            c.init(&empty);
        },
        ::testing::ExitedWithCode(1), "Mesh not found!");
    EXPECT_EXIT(
        {
            cloth c(definition);
            model_node bare(node_kind_full);
            bare.type = node_mesh;
            c.init(&bare);
        },
        ::testing::ExitedWithCode(1), "Mesh not found!");
    EXPECT_EXIT(
        {
            cloth c(definition);
            c.init(nullptr);
        },
        ::testing::ExitedWithCode(1), "Mesh not found!");
}

// A hanging sheet settles under gravity: after 1000 steps nothing is NaN,
// the cloth is where it was one step before (gravity and drag add up over
// the sub-steps of a step, so within a step it still swings a little and
// comes back), the driven top row has not moved, every free particle hangs
// below where it started, and the mesh holds the positions.
TEST_F(ClothTest, HangingClothSettlesWithItsTopRowPinned)
{
    torvane_test::FpTraps traps;
    model_node* node = load_sheet(5, 5);
    cloth c(node->mesh->cloth);
    c.init(node);
    const std::vector<cloth_particle> start = c.particles;
    std::vector<cloth_particle> before;
    for (int i = 0; i < 1000; ++i) {
        before = c.particles;
        c.step(1.0 / 30.0, 4.0);
        ASSERT_TRUE(all_finite(c)) << "step " << i;
    }
    double moved = 0.0;
    for (std::size_t i = 0; i < c.particles.size(); ++i) {
        const cloth_particle& p = c.particles[i];
        moved = std::max({moved, std::fabs(p.position.x - before[i].position.x),
                          std::fabs(p.position.y - before[i].position.y)});
        if (p.state == cloth_particle_driven) {
            EXPECT_EQ(p.position.x, start[i].position.x);
            EXPECT_EQ(p.position.y, start[i].position.y);
            EXPECT_EQ(p.position.z, start[i].position.z);
        } else {
            EXPECT_LT(p.position.y, start[i].position.y) << i;
            EXPECT_EQ(p.position.z, 30.0) << i;   // hangs in its plane
        }
        EXPECT_EQ(vertex_word(*node->mesh, i, 0), static_cast<float>(p.position.x));
        EXPECT_EQ(vertex_word(*node->mesh, i, 1), static_cast<float>(p.position.y));
        EXPECT_EQ(vertex_word(*node->mesh, i, 3), 1.0f);
    }
    EXPECT_LT(moved, 1e-6);   // the sag itself is some 0.2
    EXPECT_NEAR(c.time, 1000.0 / 30.0, 1e-9);
    EXPECT_LT(node->mesh->bound_radius, 0.0f);   // to be computed again
}

// Driven particles follow their node: with one sub-step they land on the
// carried rest position at once; with several they close in over a few
// steps.
TEST_F(ClothTest, DrivenParticlesFollowTheirNode)
{
    torvane_test::FpTraps traps;
    for (double substeps : {1.0, 4.0}) {
        model_node* node = load_sheet(3, 3);
        cloth c(node->mesh->cloth);
        c.init(node);
        node->world = translation(12.0f, 21.0f, 27.0f);
        c.step(1.0 / 30.0, substeps);
        if (substeps == 1.0) {
            for (const cloth_particle& p : c.particles)
                if (p.state == cloth_particle_driven) {
                    EXPECT_NEAR(p.position.x, p.rest.x + 12.0, 1e-6);
                    EXPECT_NEAR(p.position.y, p.rest.y + 21.0, 1e-6);
                    EXPECT_NEAR(p.position.z, p.rest.z + 27.0, 1e-6);
                }
        }
        for (int i = 0; i < 120; ++i)
            c.step(1.0 / 30.0, substeps);
        for (const cloth_particle& p : c.particles)
            if (p.state == cloth_particle_driven) {
                EXPECT_NEAR(p.position.x, p.rest.x + 12.0, 1e-5) << substeps;
                EXPECT_NEAR(p.position.y, p.rest.y + 21.0, 1e-5) << substeps;
                EXPECT_NEAR(p.position.z, p.rest.z + 27.0, 1e-5) << substeps;
            }
    }
}

// A spring at its rest length with equal end velocities gives no force: the
// ends move on unchanged. Stretched by 0.5 it pulls both ends together with
// k (1 - L / |d|) d / m, and with the ends on one point it gives nothing
// (there was a division by zero).
TEST_F(ClothTest, SpringForces)
{
    torvane_test::FpTraps traps;
    model_node* node = load_sheet(2, 1);   // two particles, one spring of length 1
    cloth c(node->mesh->cloth);
    c.init(node);
    for (cloth_particle& p : c.particles) {
        p.state = cloth_particle_free;
        p.velocity = {0.5, -0.25, 2.0, 0.0};
    }
    c.gravity = 0.0;
    c.drag = 0.0;
    c.step(0.125, 1.0);
    for (const cloth_particle& p : c.particles) {
        EXPECT_EQ(p.acceleration.x, 0.0);
        EXPECT_EQ(p.acceleration.y, 0.0);
        EXPECT_EQ(p.acceleration.z, 0.0);
        EXPECT_EQ(p.velocity.x, 0.5);
        EXPECT_EQ(p.velocity.y, -0.25);
    }
    EXPECT_EQ(c.particles[0].position.x, 10.0 + 0.0625);
    EXPECT_EQ(c.particles[1].position.z, 30.0 + 0.25);

    // Stretched along x, at rest.
    for (cloth_particle& p : c.particles)
        p.velocity = {};
    c.particles[1].position = c.particles[0].position;
    c.particles[1].position.x += 1.5;
    c.step(1e-6, 1.0);
    const double pull = 300.0 * (1.0 - 1.0 / 1.5) * 1.5 / 2.1;
    EXPECT_NEAR(c.particles[0].acceleration.x, pull, 1e-9);
    EXPECT_NEAR(c.particles[1].acceleration.x, -pull, 1e-9);
    EXPECT_EQ(c.particles[0].acceleration.y, 0.0);

    // Both ends on one point.
    c.particles[1].position = c.particles[0].position;
    c.particles[1].velocity = {1.0, 0.0, 0.0, 0.0};
    c.step(0.01, 1.0);
    EXPECT_EQ(c.particles[0].acceleration.x, 0.0);
    EXPECT_TRUE(all_finite(c));
}

// No sub-step for zero, negative or unusable spans and step counts: nothing
// moves, nothing becomes NaN, the positions are still written back and the
// external forces cleared. A fractional count rounds up, as many sub-steps
// as the span holds; a huge count is capped.
TEST_F(ClothTest, StepCountsAndSpansThatRunNothing)
{
    torvane_test::FpTraps traps;
    model_node* node = load_sheet(3, 3);
    cloth c(node->mesh->cloth);
    c.init(node);
    node->world = translation(0.0f, 0.0f, 0.0f);
    const std::vector<cloth_particle> start = c.particles;
    struct call {
        double span, steps;
    };
    const call idle[] = {{1.0 / 30, 0.0},   {1.0 / 30, -3.0}, {0.0, 4.0},
                         {-1.0, 4.0},       {1.0 / 30, NAN},  {NAN, 4.0},
                         {INFINITY, 4.0},   {1.0 / 30, INFINITY}};
    for (const call& k : idle) {
        c.particles[4].force = {1.0, 2.0, 3.0, 0.0};
        c.step(k.span, k.steps);
        EXPECT_EQ(c.time, 0.0);
        EXPECT_EQ(c.particles[4].force.y, 0.0);
        for (std::size_t i = 0; i < c.particles.size(); ++i) {
            EXPECT_EQ(c.particles[i].position.y, start[i].position.y);
            EXPECT_EQ(vertex_word(*node->mesh, i, 1), static_cast<float>(start[i].position.y));
        }
    }
    // 2.5 sub-steps of span / 2.5 each: three of them.
    c.step(0.1, 2.5);
    EXPECT_DOUBLE_EQ(c.time, 3 * (0.1 / 2.5));
    // A count far beyond the cap returns, the span shared among the capped
    // sub-steps.
    c.step(0.1, 1e15);
    EXPECT_DOUBLE_EQ(c.time, 3 * (0.1 / 2.5) + 0.1);
    EXPECT_TRUE(all_finite(c));
}

// The same cloth run twice from the same start gives the same bits, in the
// particles and in the mesh.
TEST_F(ClothTest, SameInputSameBits)
{
    torvane_test::FpTraps traps;
    std::vector<std::vector<std::uint8_t>> meshes;
    std::vector<std::vector<double>> states;
    for (int run = 0; run < 2; ++run) {
        model_node* node = load_sheet(4, 4);
        cloth c(node->mesh->cloth);
        c.init(node);
        for (int i = 0; i < 200; ++i) {
            node->world = translation(10.0f + 0.01f * static_cast<float>(i), 20.0f, 30.0f);
            c.step(1.0 / 60.0 + 0.0001 * (i % 3), 3.0);
        }
        meshes.push_back(node->mesh->vertices);
        std::vector<double> s;
        for (const cloth_particle& p : c.particles)
            for (double v : {p.position.x, p.position.y, p.position.z, p.velocity.x, p.velocity.y, p.velocity.z})
                s.push_back(v);
        states.push_back(s);
    }
    EXPECT_EQ(meshes[0], meshes[1]);
    ASSERT_EQ(states[0].size(), states[1].size());
    EXPECT_EQ(std::memcmp(states[0].data(), states[1].data(), states[0].size() * sizeof(double)), 0);
}

// With the scene library's set-up installed, a model loaded with a cloth
// mesh gets its cloth at once, built from the definition and bound to its
// node (particles at the vertices, the bound gravity and drag); stepping
// it moves the mesh the pipeline draws. Without it the definition is only
// kept.
TEST_F(ClothTest, TheModelsSetUpBindsACloth)
{
    torvane_test::FpTraps traps;
    model_node* plain = load_sheet(3, 3);
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(node_cloth(plain), nullptr);
    lib_.reset();

    install_cloth_setup();
    model_node* node = load_sheet(3, 3);
    set_cloth_setup(nullptr);
    ASSERT_NE(node, nullptr);
    cloth* c = node_cloth(node);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->node, node);
    EXPECT_EQ(c->gravity, 0.5);
    EXPECT_EQ(c->drag, 4.0);
    ASSERT_EQ(c->particles.size(), 9u);
    for (std::size_t i = 0; i < 9; ++i) {
        EXPECT_EQ(c->particles[i].rest.x, vertex_word(*node->mesh, i, 0)) << i;
        EXPECT_EQ(c->particles[i].mass, 2.1);
    }
    const float before = vertex_word(*node->mesh, 8, 1);
    c->step(0.5, 10.0);
    EXPECT_TRUE(all_finite(*c));
    EXPECT_NE(vertex_word(*node->mesh, 8, 1), before) << "the free corner hangs where the cloth put it";
}
