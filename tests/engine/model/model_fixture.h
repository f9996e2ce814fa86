#pragma once

#include <initializer_list>

#include <gtest/gtest.h>

#include "engine/base/engine.h"
#include "engine/model/fcurve.h"
#include "platform/fault_seam.h"
#include "platform/message_box.h"

namespace model_test {

// A current engine context for the test, so that pooled records can be made.
class ModelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        current_engine = &context_;
    }
    void TearDown() override
    {
        current_engine = nullptr;
        platform::clear_faults();
    }

private:
    engine context_;
};

struct key_spec {
    float time;
    float value;
    float out_slope = 0.0f;
    float in_slope = 0.0f;
};

// A curve of pooled keys, appended in the order given.
inline fcurve* make_curve(std::initializer_list<key_spec> keys, std::uint32_t interp = fcurve_interp_linear,
                          std::uint32_t pre = fcurve_extrap_constant, std::uint32_t post = fcurve_extrap_constant)
{
    auto* curve = new (pool_fcurve) fcurve;
    curve->interp = interp;
    curve->pre_mode = pre;
    curve->post_mode = post;
    for (const key_spec& k : keys) {
        auto* key = new (pool_fcurve_key) fcurve_key(k.time, k.value, k.out_slope, k.in_slope);
        key->prev = curve->last;
        if (curve->last)
            curve->last->next = key;
        else
            curve->first = key;
        curve->last = key;
        ++curve->key_count;
    }
    return curve;
}

inline fcurve* constant_curve(float value)
{
    return make_curve({{0.0f, value}, {1.0f, value}});
}

} // namespace model_test
