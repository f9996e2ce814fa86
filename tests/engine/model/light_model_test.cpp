#include <cstring>

#include <gtest/gtest.h>

#include "engine/base/light_record.h"
#include "engine/base/node_binding.h"
#include "engine/model/anim_lib.h"
#include "engine/model/model_lib.h"
#include "model_fixture.h"

namespace model_test {
namespace {

class LightModelTest : public ModelTest {};

TEST_F(LightModelTest, APointLightGetsOneNodeAndASpotTwo)
{
    const int records = model_record::live, full = model_node::live_full, links = anim_link::live,
              bindings = node_binding::live;
    struct shape {
        std::int32_t type;
        int nodes;
    };
    for (const shape& c : {shape{1, 1}, shape{2, 2}, shape{3, 1}}) {
        SCOPED_TRACE(c.type);
        scn_light light;
        light.type = c.type;
        light.range = 12.0f;
        set_name(reinterpret_cast<named_record*>(light.name), "LAMP");
        // A link the light had is replaced.
        light.links = new (pool_node_binding) node_binding(nullptr, 2111, 3);
        light.link_count = 1;
        ml_modelinfo* m = model_lib::make_simple_model(&light);
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(m->node_count, c.nodes);
        EXPECT_EQ(m->current_anim, m->anims);
        EXPECT_EQ(m->current_anim->lights, &light);
        EXPECT_TRUE(m->flags & model_active);
        model_node* root = m->first_node;
        EXPECT_EQ(root->radius, 12.0f);
        // The light's position follows the first node, a spot's target the
        // second, a child of the first.
        ASSERT_EQ(light.link_count, c.nodes);
        EXPECT_EQ(light.links->code, 2111u);
        EXPECT_EQ(light.links->value, 1u);
        EXPECT_EQ(light.links->bound, root);
        if (c.nodes == 2) {
            model_node* aim = root->first_child;
            ASSERT_NE(aim, nullptr);
            EXPECT_EQ(root->next, aim);
            EXPECT_EQ(aim->parent, root);
            EXPECT_EQ(aim->radius, 12.0f);
            EXPECT_EQ(light.links->next->code, 2116u);
            EXPECT_EQ(light.links->next->bound, aim);
        } else {
            EXPECT_EQ(light.links->next, nullptr);
        }
        // The model's place moves its node, which the light's link reads.
        m->set_position(1.0f, 2.0f, 3.0f, 1.0f);
        EXPECT_EQ(static_cast<model_node*>(light.links->bound)->world_centre.y, 2.0f);
        delete m;
        // The light stays the caller's.
        EXPECT_EQ(light.type, c.type);
        EXPECT_EQ(anim_link::live, links);
    }
    EXPECT_EQ(model_record::live, records);
    EXPECT_EQ(model_node::live_full, full);
    EXPECT_EQ(node_binding::live, bindings);
    EXPECT_EQ(model_lib::make_simple_model(nullptr), nullptr);
}

TEST_F(LightModelTest, SettersReachTheCurrentLight)
{
    scn_light light;
    light.type = 2;
    ml_modelinfo* m = model_lib::make_simple_model(&light);
    m->set_light_color(0.25f, 0.5f, 0.75f);
    EXPECT_EQ(light.g, 0.5f);
    m->set_light_range(4.0f);
    EXPECT_EQ(light.range_sq, 16.0f);
    EXPECT_EQ(light.inv_range_sq, 1.0f / 16.0f);
    EXPECT_EQ(light.g, 1.0f);   // the range doubles the colour, as it always does
    EXPECT_EQ(m->first_node->radius, 4.0f);
    EXPECT_EQ(m->first_node->first_child->radius, 4.0f);
    m->set_light(1, 0.1f, 0.2f, 0.3f, 2.0f, 30.0f, 0.75f);
    EXPECT_EQ(light.type, 1);
    EXPECT_FLOAT_EQ(light.cone, 30.0f * 0.017453293f);
    EXPECT_EQ(light.range_sq, 4.0f);
    EXPECT_FLOAT_EQ(light.b, 0.6f);
    EXPECT_EQ(light.softness, 0.75f);

    // Without a current light nothing changes: not the model's radii, and
    // not the light of another model (the one above, still as it was set).
    ml_modelinfo plain("PLAIN");
    auto* root = new model_node(node_kind_full);
    auto* child = new model_node(node_kind_full);
    root->radius = child->radius = 7.0f;
    root->first_child = child;
    root->next = child;
    plain.first_node = root;
    plain.node_count = 2;
    plain.set_light_range(3.0f);
    plain.set_light_color(1.0f, 1.0f, 1.0f);
    plain.set_light(2, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f);
    EXPECT_EQ(root->radius, 7.0f);
    EXPECT_EQ(child->radius, 7.0f);
    EXPECT_EQ(light.type, 1);
    EXPECT_EQ(light.range_sq, 4.0f);
    EXPECT_FLOAT_EQ(light.b, 0.6f);
    EXPECT_EQ(light.softness, 0.75f);
    delete m;
}

int prepared = 0;

TEST_F(LightModelTest, ActiveInstancesCollectTheirPreparedLights)
{
    scn_light light;
    ml_modelinfo* m = model_lib::make_simple_model(&light);
    scn_light* out[4] = {};
    // Without a preparer the lights are gathered as they are.
    EXPECT_EQ(m->collect_lights(out, nullptr), 1);
    EXPECT_EQ(out[0], &light);
    prepared = 0;
    ml_modelinfo::set_light_preparer([](scn_light* l, const camera*) {
        ++prepared;
        l->world_position.x = 9.0f;
    });
    EXPECT_EQ(m->collect_lights(out, nullptr), 1);
    EXPECT_EQ(prepared, 1);
    EXPECT_EQ(light.world_position.x, 9.0f);
    // An inactive instance, or one without a current animation, has none.
    m->flags &= ~model_active;
    EXPECT_EQ(m->collect_lights(out, nullptr), 0);
    m->flags |= model_active;
    m->current_anim = nullptr;
    EXPECT_EQ(m->collect_lights(out, nullptr), 0);
    EXPECT_EQ(prepared, 1);
    ml_modelinfo::set_light_preparer(nullptr);
    delete m;
}

} // namespace
} // namespace model_test
