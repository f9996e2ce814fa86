#include <cmath>

#include <gtest/gtest.h>

#include "engine/base/engine.h"
#include "engine/model/camera_facing.h"
#include "model_builder.h"
#include "model_fixture.h"

namespace model_test {
namespace {

// The camera the test's reader describes: turned 0.6 about y, standing at
// (5, 6, 7).
bool test_reader(const camera*, camera_facing* out)
{
    mat_rot_y(&out->heading, 0.6f);
    mat_rot_y(&out->heading_inverse, -0.6f);
    mat_rot_y(&out->world, 0.6f);
    out->world.m[3][0] = 5.0f;
    out->world.m[3][1] = 6.0f;
    out->world.m[3][2] = 7.0f;
    return true;
}

class BillboardTest : public ModelTest {
protected:
    void TearDown() override
    {
        set_camera_facing_reader(nullptr);
        current_engine->camera = nullptr;
        ModelTest::TearDown();
    }
    // A camera object is only ever handed back to the reader.
    camera* some_camera() { return reinterpret_cast<camera*>(&camera_storage_); }
    int camera_storage_ = 0;
};

model_part* billboard_part()
{
    auto* part = new model_part;
    part->mesh_word = 2;
    return part;
}

TEST_F(BillboardTest, BillboardNodesTurnWithTheCamerasHeading)
{
    model_builder b("TREES");
    b.add("ROOT", node_empty, -1);
    model_node* tree = b.add("TREE", node_mesh, 0);
    tree->mesh = billboard_part();
    tree->local_position = {3.0f, 0.0f, 1.0f, 0.0f};
    tree->angles = {0.0f, 0.0f, 1.0f, 0.0f};   // kept for when no camera is known
    tree->flags |= 0x10;
    ml_modelinfo* model = b.finish();
    model->position = {100.0f, 0.0f, 0.0f, 1.0f};

    // No reader: the node's own angles.
    model->update_transforms(0.0f);
    mat4 own;
    mat_rot_z(&own, 1.0f);
    EXPECT_NEAR(tree->world.m[0][1], own.m[0][1], 1e-6f);

    set_camera_facing_reader(test_reader);
    current_engine->camera = some_camera();
    model->flags &= ~model_transforms_valid;
    model->update_transforms(0.0f);
    mat4 heading;
    mat_rot_y(&heading, 0.6f);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(tree->world.m[r][c], heading.m[r][c], 1e-6f) << r << "," << c;
    EXPECT_FALSE(tree->flags & 0x10);
    EXPECT_NEAR(tree->world_centre.x, 103.0f, 1e-5f);
    mat4 product;
    mat_mul_affine(&tree->world, &product, &tree->inverse_world);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(product.m[r][c], r == c ? 1.0f : 0.0f, 1e-5f);
    delete model;
}

TEST_F(BillboardTest, ABillboardRootTakesTheCamerasMatrix)
{
    model_builder b("SPRITE");
    model_node* root = b.add("SPRITE", node_mesh, -1);
    root->mesh = billboard_part();
    root->local_position = {1.0f, 2.0f, 3.0f, 0.0f};
    ml_modelinfo* model = b.finish();
    set_camera_facing_reader(test_reader);
    current_engine->camera = some_camera();
    model->update_transforms(0.0f);
    EXPECT_EQ(root->world.m[3][1], 6.0f);
    EXPECT_NEAR(root->world.m[0][2], -std::sin(0.6f), 1e-6f);
    EXPECT_EQ(root->world_centre.z, 3.0f);
    EXPECT_TRUE(model->flags & model_transforms_valid);
    delete model;
}

} // namespace
} // namespace model_test
