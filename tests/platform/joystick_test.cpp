#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/fault_seam.h"
#include "platform/haptics.h"
#include "platform/input_events.h"
#include "platform/joystick.h"
#include "platform/video_thread.h"

using namespace platform;

namespace {

std::vector<InputEvent> Drain()
{
    std::vector<InputEvent> out;
    InputEvent e;
    while (poll_input_event(e))
        out.push_back(e);
    return out;
}

class JoystickTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        clear_faults();
        use_test_joysticks(true);
        clear_input_events();
    }
    void TearDown() override
    {
        use_test_joysticks(false);
        clear_input_events();
        clear_faults();
    }
};

JoystickInfo Device(const char* name, bool forceFeedback = false)
{
    JoystickInfo info;
    info.name = name;
    info.axes = 2;
    info.buttons = 4;
    info.force_feedback = forceFeedback;
    info.state.centre();
    return info;
}

TEST_F(JoystickTest, AStateIsCentredWithTheCentreAt32768)
{
    JoystickState s;
    s.centre();
    for (int a = 0; a < kJoystickAxes; ++a)
        EXPECT_EQ(s.axis[a], 32768);
    EXPECT_EQ(s.slider[1], 32768);
    EXPECT_EQ(s.hat[3], kJoystickHatCentred);
    EXPECT_EQ(s.button[31], 0);
    set_joystick_axis(s, 7, 5);
    set_joystick_axis(s, 8, 9); // no such axis
    set_joystick_axis(s, -1, 9);
    EXPECT_EQ(s.slider[1], 5);
}

TEST_F(JoystickTest, DevicesAreReportedOnceTheServiceRuns)
{
    const int early = attach_test_joystick(Device("Early"));
    EXPECT_TRUE(attached_joysticks().empty()) << "not started";
    EXPECT_TRUE(Drain().empty());

    ASSERT_TRUE(start_joysticks());
    EXPECT_TRUE(start_joysticks()) << "starting twice does nothing";
    auto list = attached_joysticks();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].id, early);
    EXPECT_EQ(list[0].name, "Early");

    const int late = attach_test_joystick(Device("Late"));
    EXPECT_NE(late, early);
    test_joystick_axis(late, 1, 0);
    test_joystick_button(late, 2, true);
    test_joystick_hat(late, 0, 9000);
    detach_test_joystick(early);
    const auto events = Drain();
    ASSERT_EQ(events.size(), 5u);
    EXPECT_EQ(events[0].type, InputEventType::JoystickAdded);
    EXPECT_EQ(events[0].device, late);
    EXPECT_EQ(events[1].type, InputEventType::JoystickAxis);
    EXPECT_EQ(events[1].index, 1);
    EXPECT_EQ(events[1].value, 0);
    EXPECT_EQ(events[2].type, InputEventType::JoystickButtonDown);
    EXPECT_EQ(events[2].index, 2);
    EXPECT_EQ(events[3].type, InputEventType::JoystickHat);
    EXPECT_EQ(events[3].value, 9000);
    EXPECT_EQ(events[4].type, InputEventType::JoystickRemoved);
    EXPECT_EQ(events[4].device, early);
    list = attached_joysticks();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].name, "Late");

    stop_joysticks();
    EXPECT_FALSE(joysticks_started());
    EXPECT_TRUE(attached_joysticks().empty());
}

TEST_F(JoystickTest, AServiceThatCannotStartSaysWhy)
{
    fail_next(Fault::JoystickInit);
    std::string why;
    EXPECT_FALSE(start_joysticks(&why));
    EXPECT_FALSE(why.empty());
    EXPECT_FALSE(joysticks_started());
    EXPECT_EQ(attach_test_joystick(Device("Pad")) > 0, true);
    EXPECT_TRUE(attached_joysticks().empty());
}

TEST_F(JoystickTest, ConstantForceEffectsGoToTheRecorder)
{
    ASSERT_TRUE(start_joysticks());
    const int plain = attach_test_joystick(Device("Pad"));
    const int wheel = attach_test_joystick(Device("Wheel", true));
    EXPECT_EQ(create_constant_force(plain, {}), -1) << "no force feedback on that device";

    const int effect = create_constant_force(wheel, {18000, 0, 0});
    ASSERT_GE(effect, 0);
    EXPECT_TRUE(start_haptic_effect(effect, 1));
    EXPECT_TRUE(update_constant_force(effect, {300, 400, 5000}));
    fail_next(Fault::HapticUpdate);
    EXPECT_FALSE(update_constant_force(effect, {1, 1, 1}));
    auto effects = test_haptic_effects();
    ASSERT_EQ(effects.size(), 1u);
    EXPECT_EQ(effects[0].joystick_id, wheel);
    EXPECT_TRUE(effects[0].playing);
    EXPECT_EQ(effects[0].updates, 1);
    EXPECT_EQ(effects[0].force.magnitude, 5000);
    EXPECT_EQ(effects[0].force.x, 300);
    EXPECT_EQ(effects[0].force.y, 400);

    EXPECT_TRUE(stop_haptic_effect(effect));
    EXPECT_FALSE(test_haptic_effects()[0].playing);
    destroy_haptic_effect(effect);
    EXPECT_FALSE(update_constant_force(effect, {1, 1, 1}));
    EXPECT_FALSE(start_haptic_effect(effect, 1));

    const int again = create_constant_force(wheel, {});
    detach_test_joystick(wheel);
    EXPECT_FALSE(update_constant_force(again, {1, 1, 1})) << "the device went, and its effects with it";
}

// The real service over SDL on the video thread (offscreen): it starts with
// whatever devices the machine has (a test machine has none), and effects on
// devices that are not there are refused.
TEST(JoystickService, StartsAndStopsOnTheVideoThread)
{
    use_test_joysticks(false);
    clear_faults();
    std::string why;
    if (!start_joysticks(&why)) {
        EXPECT_FALSE(why.empty());
        shutdown_video_thread();
        GTEST_SKIP() << "no joystick support here: " << why;
    }
    EXPECT_TRUE(joysticks_started());
    for (const JoystickInfo& info : attached_joysticks())
        EXPECT_GE(info.id, 0);
    EXPECT_EQ(create_constant_force(987654, {}), -1);
    stop_joysticks();
    EXPECT_FALSE(joysticks_started());

    // Starting again after the video thread went (and took SDL with it).
    ASSERT_TRUE(start_joysticks(&why)) << why;
    shutdown_video_thread();
    EXPECT_FALSE(joysticks_started()) << "closed with the video thread";
    clear_input_events();
}

} // namespace
