#include <cmath>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "engine/model/fcurve.h"
#include "tests/engine/model/model_fixture.h"
#include "tests/support/fp_traps.h"

using model_test::make_curve;
using model_test::ModelTest;

namespace {

struct CurveDeleter {
    void operator()(fcurve* c) const { delete c; }
};
using curve_ptr = std::unique_ptr<fcurve, CurveDeleter>;

struct EvalCase {
    const char* what;
    std::vector<model_test::key_spec> keys;
    std::uint32_t interp, pre, post;
    float t;
    float expected;
};

fcurve* curve_of(const std::vector<model_test::key_spec>& keys, std::uint32_t interp, std::uint32_t pre,
                 std::uint32_t post)
{
    fcurve* c = make_curve({}, interp, pre, post);
    for (const auto& k : keys) {
        auto* key = new (pool_fcurve_key) fcurve_key(k.time, k.value, k.out_slope, k.in_slope);
        key->prev = c->last;
        (c->last ? c->last->next : c->first) = key;
        c->last = key;
        ++c->key_count;
    }
    return c;
}

} // namespace

using FcurveTest = ModelTest;

TEST_F(FcurveTest, EvaluatesEveryInterpolationAndExtrapolationMode)
{
    torvane_test::FpTraps traps;
    constexpr std::uint32_t C = fcurve_extrap_constant, L = fcurve_extrap_linear, Y = fcurve_extrap_cycle;
    const EvalCase cases[] = {
        {"step", {{0, 1}, {1, 3}}, fcurve_interp_constant, C, C, 0.5f, 1.0f},
        {"linear", {{0, 1}, {1, 3}}, fcurve_interp_linear, C, C, 0.25f, 1.5f},
        // Bezier 0, 0, 1, 1 at u = 1/4: 3 u^2 (1 - u) + u^3.
        {"cubic flat ends", {{0, 0}, {1, 1}}, fcurve_interp_cubic, C, C, 0.25f, 0.15625f},
        // h = 1: P1 = 3, P2 = 3, so B(1/2) = 3 x 3/8 + 3 x 3/8.
        {"cubic with slopes", {{0, 0, 3, 0}, {3, 0, 0, -3}}, fcurve_interp_cubic, C, C, 1.5f, 2.25f},
        {"cubic other mode is cubic", {{0, 0}, {1, 1}}, 7, C, C, 0.25f, 0.15625f},
        {"second segment", {{0, 0}, {1, 2}, {3, 0}}, fcurve_interp_linear, C, C, 2.0f, 1.0f},
        {"pre constant", {{0, 1}, {2, 5}}, fcurve_interp_linear, C, C, -1.0f, 1.0f},
        {"pre linear along the segment", {{0, 1}, {2, 5}}, fcurve_interp_linear, L, C, -1.0f, -1.0f},
        {"pre linear by in-slope", {{0, 1, 0, 3}, {2, 5}}, fcurve_interp_cubic, L, C, -2.0f, -5.0f},
        {"pre linear, first segment of no length", {{0, 1, 0, 0.5f}, {0, 2}, {1, 3}}, fcurve_interp_linear, L, C,
         -2.0f, 0.0f},
        {"post constant at the last time", {{0, 1, 5, 5}, {2, 5, 5, 5}}, fcurve_interp_cubic, C, C, 2.0f, 5.0f},
        {"post linear along the segment", {{0, 1}, {2, 5}}, fcurve_interp_linear, C, L, 3.0f, 7.0f},
        {"post linear by out-slope", {{0, 1}, {2, 5, 2, 0}}, fcurve_interp_cubic, C, L, 3.5f, 8.0f},
        {"post cycle short", {{0, 0}, {1, 1}}, fcurve_interp_linear, C, Y, 2.25f, 0.25f},
        {"post cycle long", {{0, 0}, {10, 10}}, fcurve_interp_linear, C, Y, 25.0f, 5.0f},
        {"pre cycle", {{0, 0}, {1, 1}}, fcurve_interp_linear, Y, C, -0.25f, 0.75f},
        {"cycle of no length", {{1, 2}, {1, 3}}, fcurve_interp_linear, Y, Y, 5.0f, 3.0f},
        {"one key", {{4, 9}}, fcurve_interp_cubic, L, L, -100.0f, 9.0f},
        {"no key", {}, fcurve_interp_cubic, L, L, 3.0f, 0.0f},
    };
    for (const EvalCase& c : cases) {
        curve_ptr curve(curve_of(c.keys, c.interp, c.pre, c.post));
        EXPECT_NEAR(curve->calc(c.t), c.expected, 1e-5f) << c.what;
    }
}

TEST_F(FcurveTest, IllegalExtrapolationModeIsFatal)
{
    curve_ptr curve(curve_of({{0, 0}, {1, 1}}, fcurve_interp_linear, 5, 6));
    EXPECT_EXIT(curve->calc(-1.0f), ::testing::ExitedWithCode(1), "illegal extrapolation mode");
    EXPECT_EXIT(curve->calc(2.0f), ::testing::ExitedWithCode(1), "illegal extrapolation mode");
    fcurve_key key;
    EXPECT_EXIT(curve->eval_key(&key, 2.0f), ::testing::ExitedWithCode(1), "illegal extrapolation mode");
    EXPECT_NEAR(curve->calc(0.5f), 0.5f, 1e-6f);  // inside, the modes are not read
}

TEST_F(FcurveTest, EvalKeyGivesValueAndDerivative)
{
    torvane_test::FpTraps traps;
    curve_ptr curve(curve_of({{0, 0, 2, 0}, {2, 1, 0, -1}, {3, 0}}, fcurve_interp_cubic, fcurve_extrap_constant,
                             fcurve_extrap_linear));
    for (float t : {0.1f, 0.7f, 1.3f, 1.99f, 2.5f}) {
        fcurve_key key;
        curve->eval_key(&key, t);
        EXPECT_EQ(key.time, t);
        EXPECT_NEAR(key.value, curve->calc(t), 1e-5f) << t;
        const float h = 1e-3f;
        const float numeric = (curve->calc(t + h) - curve->calc(t - h)) / (2 * h);
        EXPECT_NEAR(key.out_slope, numeric, 2e-3f) << t;
        EXPECT_EQ(key.in_slope, key.out_slope);
    }
    fcurve_key before;
    curve->first->in_slope = 4.0f;
    curve->eval_key(&before, -1.0f);
    EXPECT_EQ(before.value, 0.0f);
    EXPECT_EQ(before.out_slope, 0.0f);
    EXPECT_EQ(curve->first->in_slope, 0.0f);  // constant mode flattens the first key

    curve->last->out_slope = 0.5f;
    fcurve_key after;
    curve->eval_key(&after, 5.0f);
    EXPECT_FLOAT_EQ(after.value, 1.0f);
    EXPECT_EQ(after.in_slope, 0.5f);

    curve_ptr linear(curve_of({{0, 0}, {1, 4}}, fcurve_interp_linear, fcurve_extrap_constant, fcurve_extrap_constant));
    fcurve_key kept(0, 0, 7, 8);
    linear->eval_key(&kept, 0.5f);
    EXPECT_FLOAT_EQ(kept.value, 2.0f);
    EXPECT_EQ(kept.out_slope, 7.0f);  // linear segments write the value only
    EXPECT_EQ(kept.in_slope, 8.0f);
}

TEST_F(FcurveTest, InsertKeyKeepsTimeOrder)
{
    auto times = [](const fcurve& c) {
        std::vector<float> out;
        for (const fcurve_key* k = c.first; k; k = k->next)
            out.push_back(k->time);
        std::vector<float> back;
        for (const fcurve_key* k = c.last; k; k = k->prev)
            back.insert(back.begin(), k->time);
        EXPECT_EQ(out, back);
        return out;
    };
    curve_ptr a(make_curve({}));
    a->insert_key(new (pool_fcurve_key) fcurve_key, 0.0f);
    a->insert_key(new (pool_fcurve_key) fcurve_key, 1.0f);
    a->insert_key(new (pool_fcurve_key) fcurve_key, 0.5f);
    a->insert_key(new (pool_fcurve_key) fcurve_key, -2.0f);
    EXPECT_EQ(times(*a), (std::vector<float>{-2.0f, 0.0f, 0.5f, 1.0f}));
    EXPECT_EQ(a->key_count, 4);

    curve_ptr b(make_curve({{1, 0}, {2, 0}}));
    b->insert_key(new (pool_fcurve_key) fcurve_key, 0.5f);  // not inside, not negative: appended
    EXPECT_EQ(times(*b), (std::vector<float>{1.0f, 2.0f, 0.5f}));

    curve_ptr full(make_curve({{0, 0}}));
    full->key_count = fcurve::max_keys;
    fcurve_key spare;
    EXPECT_FALSE(full->insert_key(&spare, 3.0f));
    EXPECT_EQ(full->first->next, nullptr);
    full->key_count = 1;

    curve_ptr c(make_curve({{0, 0, 1, 1}, {2, 2, 1, 1}}, fcurve_interp_cubic));
    auto* added = new (pool_fcurve_key) fcurve_key;
    c->add_key_at(added, 1.0f);
    EXPECT_EQ(c->first->next, added);
    EXPECT_FLOAT_EQ(added->value, 1.0f);
    EXPECT_FLOAT_EQ(added->out_slope, 1.0f);
}

TEST_F(FcurveTest, ValueRangesAndRemapping)
{
    torvane_test::FpTraps traps;
    float lo = 9, hi = 9;
    curve_ptr empty(make_curve({}));
    EXPECT_EQ(empty->value_range(&lo, &hi), 0);
    EXPECT_EQ(lo, 9.0f);
    empty->remap_values(0, 1);
    empty->scale_values(2);

    // Bezier 0, 1, 1, 0 overshoots to 0.75 between two keys of value 0.
    curve_ptr bump(make_curve({{0, 0, 3, 0}, {1, 0, 0, -3}}, fcurve_interp_cubic));
    ASSERT_EQ(bump->value_range(&lo, &hi), 1);
    EXPECT_EQ(lo, 0.0f);
    EXPECT_NEAR(hi, 0.75f, 1e-5f);

    curve_ptr line(make_curve({{0, 2, 2, 2}, {1, 4, 2, 2}}));
    line->remap_values(0, 1);
    EXPECT_FLOAT_EQ(line->first->value, 0.0f);
    EXPECT_FLOAT_EQ(line->last->value, 1.0f);
    EXPECT_FLOAT_EQ(line->first->out_slope, 1.0f);
    EXPECT_FLOAT_EQ(line->last->in_slope, 1.0f);

    curve_ptr flat(make_curve({{0, 3, 1, 1}, {1, 3, 1, 1}}));
    flat->remap_values(5, 6);  // no range to map from: every value becomes the new minimum
    EXPECT_EQ(flat->first->value, 5.0f);
    EXPECT_EQ(flat->last->value, 5.0f);
    EXPECT_EQ(flat->first->out_slope, 0.0f);

    curve_ptr scaled(make_curve({{0, 1, 2, 2}, {1, 4, 6, 6}}));
    scaled->scale_values(2);
    EXPECT_FLOAT_EQ(scaled->first->value, 0.5f);
    EXPECT_FLOAT_EQ(scaled->last->value, 2.0f);
    EXPECT_FLOAT_EQ(scaled->first->out_slope, 1.0f);
    EXPECT_FLOAT_EQ(scaled->last->in_slope, 3.0f);

    curve_ptr zero(make_curve({{0, -1, 1, 1}, {1, 0, 1, 1}}));
    zero->scale_values(2);  // maximum 0: left alone
    EXPECT_EQ(zero->first->value, -1.0f);
    EXPECT_EQ(zero->first->out_slope, 1.0f);
}

TEST_F(FcurveTest, StateAndOwnershipOfKeys)
{
    const int keys_before = fcurve_key::live;
    fcurve* owned = make_curve({{0, 0}, {1, 1}, {2, 0}});
    EXPECT_EQ(fcurve_key::live, keys_before + 3);
    owned->set_state(1);
    EXPECT_EQ(owned->first->next->owner_state, 1u);
    owned->set_state(2);
    delete owned;
    EXPECT_EQ(fcurve_key::live, keys_before);

    fcurve* loaded = make_curve({{0, 0}, {1, 1}});
    fcurve_key* first = loaded->first;
    fcurve_key* second = loaded->last;
    loaded->set_state(1);
    delete loaded;  // a state-1 curve leaves its keys to their owner
    EXPECT_EQ(fcurve_key::live, keys_before + 2);
    delete first;
    delete second;
}
