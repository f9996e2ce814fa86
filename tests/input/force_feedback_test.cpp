#include <gtest/gtest.h>

#include "platform/haptics.h"
#include "tests/input/input_fixture.h"

using namespace input_test;

namespace {

using ForceFeedbackTest = InputFixture;

platform::TestHapticEffect OnlyEffect()
{
    const auto effects = platform::test_haptic_effects();
    EXPECT_EQ(effects.size(), 1u);
    return effects.empty() ? platform::TestHapticEffect{} : effects[0];
}

// The race takes the force-feedback stick for itself in the foreground of
// the main window, starts the effect once, and the bike's forces reach it
// with the magnitude and direction the control step asks for.
TEST_F(ForceFeedbackTest, TheBikesForceReachesTheStick)
{
    MainWindow window;
    const int plain = platform::attach_test_joystick(Stick("Pad", 2, 4));
    const int wheel = platform::attach_test_joystick(Stick("Wheel", 2, 8, true));
    ASSERT_EQ(input.Create(), kInputOk);
    input.SetWindow();
    input.BeginRace(kInputModeRecord);
    ASSERT_GE(input.m_nEffect, 0);
    EXPECT_EQ(input.Joystick(1).Device->CooperativeLevel(), kCoopExclusive | kCoopForeground);

    platform::TestHapticEffect e = OnlyEffect();
    EXPECT_EQ(e.joystick_id, wheel);
    EXPECT_NE(e.joystick_id, plain);
    EXPECT_TRUE(e.playing);
    EXPECT_EQ(e.iterations, 1);
    EXPECT_EQ(e.force.magnitude, 0);
    EXPECT_EQ(e.force.x, 18000);

    struct Case {
        float x, y;
        int magnitude, dx, dy;
    };
    const Case cases[] = {
        {0.3f, 0.4f, 5000, 300, 400},
        {3.0f, 4.0f, 10000, 3000, 4000},
        {-0.6f, 0.0f, 6000, -600, 0},
        {0.0f, 0.0f, 0, 0, 0},
    };
    int updates = 0;
    for (const Case& c : cases) {
        const float force[2] = {c.x, c.y};
        input.SetForce(force);
        e = OnlyEffect();
        EXPECT_EQ(e.updates, ++updates);
        EXPECT_EQ(e.force.magnitude, c.magnitude) << c.x << "," << c.y;
        EXPECT_EQ(e.force.x, c.dx) << c.x << "," << c.y;
        EXPECT_EQ(e.force.y, c.dy) << c.x << "," << c.y;
    }

    input.EndRace();
    EXPECT_FALSE(OnlyEffect().playing);
}

TEST_F(ForceFeedbackTest, OnlyTheFirstForceFeedbackStickCarriesTheEffect)
{
    const int first = platform::attach_test_joystick(Stick("Wheel", 2, 8, true));
    platform::attach_test_joystick(Stick("Second wheel", 2, 8, true));
    ASSERT_EQ(input.Create(), kInputOk);
    ASSERT_TRUE(input.CreateForceEffect());
    EXPECT_EQ(OnlyEffect().joystick_id, first);
}

TEST_F(ForceFeedbackTest, NoForceFeedbackStickNoEffect)
{
    platform::attach_test_joystick(Stick("Pad", 2, 4));
    ASSERT_EQ(input.Create(), kInputOk);
    EXPECT_FALSE(input.CreateForceEffect());
    const float force[2] = {0.5f, 0.5f};
    input.SetForce(force);
    EXPECT_TRUE(platform::test_haptic_effects().empty());
    EXPECT_EQ(input.LastForce()[0], 0.5f);
}

TEST_F(ForceFeedbackTest, AStickThatCannotBeTakenForThisProgramAloneHasNoForceFeedback)
{
    // No main window: exclusive access cannot be set.
    platform::attach_test_joystick(Stick("Wheel", 2, 8, true));
    ASSERT_EQ(input.Create(), kInputOk);
    input.BeginRace(kInputModeRecord);
    EXPECT_LT(input.m_nEffect, 0);
    EXPECT_FALSE(input.Joystick(0).Caps.dwFlags & kJoystickCapsForceFeedback);
    EXPECT_TRUE(platform::test_haptic_effects().empty());
}

TEST_F(ForceFeedbackTest, ARefusedChangeDropsTheEffectAndTheRaceGoesOn)
{
    MainWindow window;
    platform::attach_test_joystick(Stick("Wheel", 2, 8, true));
    ASSERT_EQ(input.Create(), kInputOk);
    input.SetWindow();
    ControlRecord rec;
    StartRace(&rec);
    ASSERT_GE(input.m_nEffect, 0);
    const float force[2] = {0.3f, 0.4f};
    input.SetForce(force);
    platform::fail_next(platform::Fault::HapticUpdate);
    input.SetForce(force);
    EXPECT_LT(input.m_nEffect, 0);
    EXPECT_TRUE(OnlyEffect().destroyed);
    EXPECT_EQ(OnlyEffect().updates, 1);
    input.SetForce(force); // nothing to send to
    EXPECT_EQ(OnlyEffect().updates, 1);
    Key(30, true);
    EXPECT_TRUE(Frame());
    EXPECT_EQ(rec.Throttle, 127);
}

TEST_F(ForceFeedbackTest, AnUnpluggedStickLosesItsEffect)
{
    const int wheel = platform::attach_test_joystick(Stick("Wheel", 2, 8, true));
    ASSERT_EQ(input.Create(), kInputOk);
    ASSERT_TRUE(input.CreateForceEffect());
    platform::detach_test_joystick(wheel);
    const float force[2] = {0.1f, 0.0f};
    input.SetForce(force);
    EXPECT_LT(input.m_nEffect, 0);
}

TEST_F(ForceFeedbackTest, ARefusedEffectIsNoEffect)
{
    platform::attach_test_joystick(Stick("Wheel", 2, 8, true));
    ASSERT_EQ(input.Create(), kInputOk);
    platform::fail_next(platform::Fault::HapticCreate);
    EXPECT_FALSE(input.CreateForceEffect());
    EXPECT_LT(input.m_nEffect, 0);
}

TEST(Vec2Length, IsTheEuclideanLength)
{
    const float v[2] = {3.0f, 4.0f};
    EXPECT_EQ(Vec2Length(v), 5.0f);
}

} // namespace
