#include <gtest/gtest.h>

#include "tests/input/input_fixture.h"

using namespace input_test;

namespace {

// Key numbers of the default bindings.
constexpr int kKeyA = 30, kKeyZ = 44, kKeyComma = 51, kKeyPeriod = 52, kKeySpace = 57, kKeyLeftAlt = 56, kKeyX = 45,
              kKeyC = 46;

using ControlsTest = InputFixture;

TEST_F(ControlsTest, DefaultKeysBecomeTheControlRecord)
{
    ControlRecord rec;
    StartRace(&rec);

    struct Case {
        const char* what;
        std::vector<int> keys;
        int throttle, brake, steer, hang;
        bool look;
    };
    const Case cases[] = {
        {"nothing", {}, 0, 0, 0, 0, false},
        {"accelerator", {kKeyA}, 127, 0, 0, 0, false},
        {"brake", {kKeyZ}, 0, 127, 0, 0, false},
        {"steer right", {kKeyPeriod}, 0, 0, 127, 0, false},
        {"steer left", {kKeyComma}, 0, 0, -127, 0, false},
        {"both steering keys cancel", {kKeyComma, kKeyPeriod}, 0, 0, 0, 0, false},
        {"hang on", {kKeyX}, 0, 0, 0, 31, false},
        {"look behind", {kKeyC}, 0, 0, 0, 0, true},
        {"throttle, brake and right together", {kKeyA, kKeyZ, kKeyPeriod}, 127, 127, 127, 0, false},
    };
    for (const Case& c : cases) {
        for (int k : c.keys)
            Key(k, true);
        EXPECT_TRUE(Frame()) << c.what;
        EXPECT_EQ(rec.Throttle, c.throttle) << c.what;
        EXPECT_EQ(rec.Brake, c.brake) << c.what;
        EXPECT_EQ(rec.SteerInput, c.steer) << c.what;
        EXPECT_EQ(rec.HangOn(), c.hang) << c.what;
        EXPECT_EQ(rec.LookBehind(), c.look) << c.what;
        EXPECT_EQ(rec.ShiftRequest(), 0) << c.what;
        for (int k : c.keys)
            Key(k, false);
        Frame();
    }
}

TEST_F(ControlsTest, AShiftGoesOutOnceAndAgainAfterARelease)
{
    ControlRecord rec;
    StartRace(&rec);

    Key(kKeySpace, true);
    Frame();
    EXPECT_EQ(rec.ShiftRequest(), 1);
    EXPECT_EQ(rec.Posture >> 6, 1);
    Frame();
    EXPECT_EQ(rec.ShiftRequest(), 0) << "held: no second up-shift";
    Key(kKeySpace, false);
    Frame();
    EXPECT_EQ(rec.ShiftRequest(), 0);
    Key(kKeySpace, true);
    Frame();
    EXPECT_EQ(rec.ShiftRequest(), 1) << "pressed again";
    Key(kKeySpace, false);

    Key(kKeyLeftAlt, true);
    Frame();
    EXPECT_EQ(rec.Posture >> 6, 3) << "down-shift is -1 in two bits";
    EXPECT_EQ(rec.ShiftRequest(), -1);
    Frame();
    EXPECT_EQ(rec.ShiftRequest(), 0);
}

TEST_F(ControlsTest, AKeyTappedBetweenTwoFramesIsSeenOnce)
{
    ControlRecord rec;
    StartRace(&rec);
    Key(kKeySpace, true);
    Key(kKeySpace, false);
    Frame();
    EXPECT_EQ(rec.ShiftRequest(), 1);
    Frame();
    EXPECT_EQ(rec.ShiftRequest(), 0);
}

TEST_F(ControlsTest, RiseRateRampsAndZeroFallDropsAtOnce)
{
    DefaultControlBlock().Rise[kControlAccelerator] = 5; // 5 per second
    ControlRecord rec;
    StartRace(&rec);
    const InputManager::Target& target = input.Targets()[0];

    Key(kKeyA, true);
    const float expected[] = {0.25f, 0.5f, 0.75f, 1.0f, 1.0f};
    for (float v : expected) {
        Frame(50);
        EXPECT_FLOAT_EQ(target.Block->Value[kControlAccelerator], v);
    }
    EXPECT_EQ(rec.Throttle, 127);
    Key(kKeyA, false);
    Frame(50);
    EXPECT_EQ(target.Block->Value[kControlAccelerator], 0.0f);
    EXPECT_EQ(rec.Throttle, 0);
}

TEST_F(ControlsTest, StoredRatesAboveNineStillMoveTowardTheSource)
{
    DefaultControlBlock().Rise[kControlAccelerator] = 200;
    DefaultControlBlock().Fall[kControlAccelerator] = 255;
    ControlRecord rec;
    StartRace(&rec);
    const float& value = input.Targets()[0].Block->Value[kControlAccelerator];

    Key(kKeyA, true);
    Frame(500);
    EXPECT_FLOAT_EQ(value, 0.5f) << "taken as rate 9: one per second";
    Frame(600);
    EXPECT_FLOAT_EQ(value, 1.0f);
    Key(kKeyA, false);
    Frame(250);
    EXPECT_FLOAT_EQ(value, 0.75f);
}

TEST_F(ControlsTest, HalfSteeringIsCubed)
{
    // Right steering from the mouse: 100 counts of a 200-count range is 0.5.
    DefaultControlBlock().Type[kControlSteerRight] = kBindMouseX;
    DefaultControlBlock().Type[kControlSteerLeft] = kBindMouseX | kBindNegative;
    ControlRecord rec;
    StartRace(&rec);

    MouseMove(100, 0);
    Frame();
    EXPECT_EQ(rec.SteerInput, 15) << "trunc(0.5^3 x 127)";
    MouseMove(-200, 0);
    Frame();
    EXPECT_EQ(rec.SteerInput, -15);
    MouseMove(-1000, 0);
    Frame();
    EXPECT_EQ(rec.SteerInput, -127) << "the mouse position stops at -1";
    EXPECT_FLOAT_EQ(input.m_fMouseX, -1.0f);
    EXPECT_TRUE(input.m_dwMode & kInputModeMouse);
}

TEST_F(ControlsTest, MouseButtonsAndWheel)
{
    DefaultControlBlock().Type[kControlAccelerator] = kBindMouseButton0;     // left
    DefaultControlBlock().Type[kControlBrake] = kBindMouseButton0 + 1;       // right
    DefaultControlBlock().Type[kControlHangOn] = kBindMouseButton0 + 3;      // side
    DefaultControlBlock().Type[kControlLookBehind] = kBindMouseWheel;
    ControlRecord rec;
    StartRace(&rec);

    MouseButton(1, true);
    MouseButton(3, true);
    MouseButton(4, true);
    MouseWheel(5);
    Frame();
    EXPECT_EQ(rec.Throttle, 127);
    EXPECT_EQ(rec.Brake, 127);
    EXPECT_EQ(rec.HangOn(), 31);
    EXPECT_FALSE(rec.LookBehind()) << "the wheel reads neutral";
    MouseButton(1, false);
    MouseButton(3, false);
    MouseButton(4, false);
    Frame();
    EXPECT_EQ(rec.Throttle, 0);
    EXPECT_EQ(rec.Brake, 0);
    EXPECT_EQ(rec.HangOn(), 0);
}

TEST_F(ControlsTest, JoystickDefaultsDriveTheBike)
{
    const int id = platform::attach_test_joystick(Stick("Pad", 2, 4));
    DefaultControlBlock() = JoystickDefaults();
    ControlRecord rec;
    StartRace(&rec);
    ASSERT_EQ(input.JoystickCount(), 1);

    struct Case {
        const char* what;
        int x, y;
        int throttle, brake, steer;
    };
    const Case cases[] = {
        {"centred", 32768, 32768, 0, 0, 0},
        {"pushed forward", 32768, 0, 127, 0, 0},
        {"pulled back", 32768, 65535, 0, 127, 0},
        {"full right", 65535, 32768, 0, 0, 127},
        {"full left", 0, 32768, 0, 0, -127},
        // (32768 + 14745.6 - 32768) / 29491.2 = 0.5, cubed and scaled: 15.
        {"half right", 32768 + 14746, 32768, 0, 0, 15},
    };
    for (const Case& c : cases) {
        platform::test_joystick_axis(id, 0, c.x);
        platform::test_joystick_axis(id, 1, c.y);
        Frame();
        EXPECT_EQ(rec.Throttle, c.throttle) << c.what;
        EXPECT_EQ(rec.Brake, c.brake) << c.what;
        EXPECT_EQ(rec.SteerInput, c.steer) << c.what;
    }

    platform::test_joystick_button(id, 0, true);
    platform::test_joystick_button(id, 2, true);
    platform::test_joystick_button(id, 3, true);
    Frame();
    EXPECT_EQ(rec.ShiftRequest(), 1);
    EXPECT_EQ(rec.HangOn(), 31);
    EXPECT_TRUE(rec.LookBehind());
    platform::test_joystick_button(id, 0, false);
    platform::test_joystick_button(id, 1, true);
    Frame();
    EXPECT_EQ(rec.ShiftRequest(), -1);
}

TEST_F(ControlsTest, AnUnpluggedStickReadsCentredAndTakesItsPlaceWhenBack)
{
    const int first = platform::attach_test_joystick(Stick("Wheel", 2, 4));
    const int second = platform::attach_test_joystick(Stick("Pad", 2, 4));
    DefaultControlBlock() = JoystickDefaults();
    DefaultControlBlock().Index[kControlSteerRight] = 1; // right steering on the second stick
    ControlRecord rec;
    StartRace(&rec);

    platform::test_joystick_axis(first, 1, 0);
    platform::test_joystick_axis(second, 0, 65535);
    Frame();
    EXPECT_EQ(rec.Throttle, 127);
    EXPECT_EQ(rec.SteerInput, 127);

    platform::detach_test_joystick(first);
    EXPECT_TRUE(Frame()) << "the race goes on";
    EXPECT_EQ(rec.Throttle, 0) << "a missing stick reads centred";
    EXPECT_EQ(rec.SteerInput, 127);

    const int back = platform::attach_test_joystick(Stick("Wheel", 2, 4));
    Frame();
    ASSERT_EQ(input.JoystickCount(), 2) << "the stick took its old record";
    EXPECT_EQ(input.Joystick(0).Device->Id(), back);
    platform::test_joystick_axis(back, 1, 0);
    Frame();
    EXPECT_EQ(rec.Throttle, 127);

    // A stick plugged in during the race gets a record of its own.
    platform::attach_test_joystick(Stick("Another", 3, 8));
    Frame();
    EXPECT_EQ(input.JoystickCount(), 3);
    EXPECT_STREQ(input.Joystick(2).Name, "Another");
}

TEST_F(ControlsTest, WithoutAMainWindowTheDevicesWorkInTheBackground)
{
    ControlRecord rec;
    StartRace(&rec);
    input.SetWindow(); // no main window: the devices keep working without focus
    Key(kKeyA, true);
    Focus(false);
    EXPECT_TRUE(Frame());
    EXPECT_FALSE(input.m_bDevicesLost);
}

// The devices follow the main window's focus: without it a read fails, the
// controls freeze with every key up and the frame reports no time; the
// clock still measures. With the focus back, the next read acquires again.
TEST_F(ControlsTest, WithoutFocusTheDevicesAreLostUntilItComesBack)
{
    MainWindow window;
    ControlRecord rec;
    StartRace(&rec);
    input.SetWindow();
    Key(kKeyA, true);
    EXPECT_TRUE(Frame());
    EXPECT_EQ(rec.Throttle, 127);

    Focus(false);
    EXPECT_FALSE(Frame(40));
    EXPECT_TRUE(input.m_bDevicesLost);
    EXPECT_EQ(input.m_KeyState[kKeyA], 0);
    EXPECT_EQ(rec.Throttle, 127) << "the record keeps the last controls";
    EXPECT_FALSE(Frame(40));

    Focus(true);
    EXPECT_TRUE(Frame(40));
    EXPECT_FALSE(input.m_bDevicesLost);
    EXPECT_EQ(rec.Throttle, 0) << "the key went up while the focus was away";
    EXPECT_FLOAT_EQ(input.m_fFrameTime, 0.04f);
    Key(kKeyA, true);
    Frame();
    EXPECT_EQ(rec.Throttle, 127);
}

TEST_F(ControlsTest, ATargetWithoutControlsIsLeftAlone)
{
    ControlRecord local, remote;
    remote.Throttle = 99;
    remote.SteerInput = -5;
    StartRace(&local);
    ASSERT_TRUE(input.AddTarget(&remote, InputManager::kTargetNoBlock, 2));
    EXPECT_FALSE(input.AddTarget(&remote, 0, 3)) << "an object is a target once";
    EXPECT_EQ(input.TargetCount(), 2);
    input.ResetTarget(&remote);
    Key(kKeyA, true);
    Frame();
    EXPECT_EQ(local.Throttle, 127);
    EXPECT_EQ(remote.Throttle, 99);
    EXPECT_EQ(remote.SteerInput, -5);

    input.ResetTarget(&local);
    EXPECT_EQ(local.Throttle, 0);
    input.RemoveTarget(&local);
    EXPECT_EQ(input.TargetCount(), 1);
    input.RemoveTarget(nullptr);
    EXPECT_EQ(input.TargetCount(), 0);
}

TEST_F(ControlsTest, ResetTargetKeepsTheLowSixBitsOfByteFive)
{
    ControlRecord rec;
    StartRace(&rec);
    rec.Throttle = 10;
    rec.Brake = 20;
    rec.SteerInput = -30;
    rec.Posture = 0xFF;
    input.ResetTarget(&rec);
    EXPECT_EQ(rec.Throttle, 0);
    EXPECT_EQ(rec.Brake, 0);
    EXPECT_EQ(rec.SteerInput, 0);
    EXPECT_EQ(rec.Posture, 0x3F);
}

TEST_F(ControlsTest, BeginRaceKeepsOnlyTheLeftBitOfTheStatus)
{
    ControlRecord rec;
    rec.Status = 0xFFFF;
    StartRace(&rec);
    EXPECT_EQ(rec.Status, ControlRecord::kControlStatusLeft);
    EXPECT_EQ(input.m_nInputRecordSize, 10);
    EXPECT_TRUE(input.m_dwMode & kInputModeStarted);
    EXPECT_FALSE(input.m_dwMode & kInputModeMouse) << "keyboard bindings only";
}

TEST_F(ControlsTest, BindingsToAbsentSticksAreCleared)
{
    platform::attach_test_joystick(Stick("Pad", 2, 4));
    ASSERT_EQ(input.Create(), kInputOk);
    ControlBlock block = JoystickDefaults();
    block.Index[kControlBrake] = 1;    // a second stick
    block.Rise[kControlBrake] = 4;
    block.Type[kControlHangOn] = 16 | kBindNegative; // a button code with the axis bit: still a stick
    block.Index[kControlHangOn] = 2;
    input.ValidateBindings(block);
    EXPECT_EQ(block.Type[kControlBrake], 0);
    EXPECT_EQ(block.Index[kControlBrake], 0);
    EXPECT_EQ(block.Rise[kControlBrake], 0);
    EXPECT_EQ(block.Type[kControlHangOn], 0);
    EXPECT_EQ(block.Type[kControlAccelerator], 73) << "joystick 0 is there";
    EXPECT_EQ(block.Type[kControlShiftUp], 14);
}

TEST_F(ControlsTest, CreateWithoutJoystickSupportStillGivesKeyboardAndMouse)
{
    platform::attach_test_joystick(Stick("Pad", 2, 4));
    platform::fail_next(platform::Fault::JoystickInit);
    DefaultControlBlock().Type[kControlBrake] = kBindMouseButton0;
    ControlRecord rec;
    StartRace(&rec);
    EXPECT_EQ(input.JoystickCount(), 0);
    Key(kKeyA, true);
    MouseButton(1, true);
    Frame();
    EXPECT_EQ(rec.Throttle, 127);
    EXPECT_EQ(rec.Brake, 127);
}

TEST_F(ControlsTest, MouseSensitivity)
{
    input.SetMouseSensitivity(0);
    EXPECT_EQ(input.m_nMouseRange, 200);
    input.SetMouseSensitivity(-50);
    EXPECT_EQ(input.m_nMouseRange, 50);
    input.SetMouseSensitivity(INT32_MIN);
    EXPECT_EQ(input.m_nMouseRange, INT32_MAX);
}

} // namespace
