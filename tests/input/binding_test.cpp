#include <gtest/gtest.h>

#include "input/binding_capture.h"
#include "input/binding_names.h"
#include "tests/input/input_fixture.h"

using namespace input_test;

namespace {

struct Captured {
    std::int8_t type = -1;
    std::uint8_t index = 0xEE;
    std::uint8_t found = 0xEE;
};

class BindingCaptureTest : public InputFixture {
protected:
    void Begin()
    {
        ASSERT_EQ(input.Create(), kInputOk);
        input.SnapshotJoysticks(baseline);
    }
    Captured Capture()
    {
        Captured c;
        const bool result = input.CaptureBindingFiltered(&c.type, &c.index, &c.found, baseline);
        EXPECT_EQ(result, c.found == 1);
        return c;
    }
    std::vector<platform::JoystickState> baseline;
};

TEST_F(BindingCaptureTest, KeysBindUnlessReservedOrNameless)
{
    Begin();
    struct Case {
        int key;
        int found;
    };
    const Case cases[] = {
        {30, 1},  // A
        {199, 1}, // Home
        {57, 1},  // Space
        {157, 1}, // right Ctrl
        {1, 0},   // Escape
        {2, 0},   // 1
        {5, 0},   // 4
        {6, 1},   // 5
        {14, 0},  // Backspace
        {88, 0},  // F12
        {87, 1},  // F11
        {219, 0}, // the left Windows key has no name
        {156, 0}, // keypad Enter has no name
    };
    for (const Case& c : cases) {
        Key(c.key, true);
        const Captured got = Capture();
        EXPECT_EQ(got.type, kBindKey) << c.key;
        EXPECT_EQ(got.index, c.key) << c.key;
        EXPECT_EQ(got.found, c.found) << c.key;
        Key(c.key, false);
        input.Poll();
    }
    EXPECT_EQ(GetControlName(kBindKey, 199), "HOME");
}

TEST_F(BindingCaptureTest, OnlyTheLowestKeyDownIsLookedAt)
{
    Begin();
    Key(30, true); // A
    Key(1, true);  // Escape, lower
    const Captured got = Capture();
    EXPECT_EQ(got.index, 1);
    EXPECT_EQ(got.found, 0);
}

TEST_F(BindingCaptureTest, MouseMovementsBeyondTenCounts)
{
    Begin();
    input.Poll(); // the mouse is acquired from here on
    struct Case {
        int dx, dy, wheel;
        int found, type;
    };
    const Case cases[] = {
        {11, 0, 0, 1, 1},   {-11, 0, 0, 1, 65}, {0, 11, 0, 1, 2}, {0, -30, 0, 1, 66},
        {0, 0, 1, 1, 3},    {0, 0, -1, 1, 67},  {10, -10, 0, 0, -1},
        {50, 50, 0, 1, 2}, // a later axis wins
    };
    for (const Case& c : cases) {
        if (c.dx || c.dy)
            MouseMove(c.dx, c.dy);
        if (c.wheel)
            MouseWheel(c.wheel);
        const Captured got = Capture();
        EXPECT_EQ(got.found, c.found) << c.dx << "," << c.dy << "," << c.wheel;
        if (c.found) {
            EXPECT_EQ(got.type, c.type) << c.dx << "," << c.dy << "," << c.wheel;
            EXPECT_EQ(got.index, 0);
        }
    }
}

TEST_F(BindingCaptureTest, ButtonsBindWhenLetGo)
{
    platform::attach_test_joystick(Stick("Wheel", 2, 2));
    const int id = platform::attach_test_joystick(Stick("Pad", 4, 6));
    Begin();

    platform::test_joystick_button(id, 3, true);
    for (int i = 0; i < 3; ++i) {
        const Captured held = Capture();
        EXPECT_EQ(held.type, 17);
        EXPECT_EQ(held.index, 1);
        EXPECT_EQ(held.found, 0);
    }
    platform::test_joystick_button(id, 3, false);
    const Captured released = Capture();
    EXPECT_EQ(released.type, 17);
    EXPECT_EQ(released.index, 1);
    EXPECT_EQ(released.found, 1);
    EXPECT_EQ(Capture().found, 0) << "reported once";

    MouseButton(3, true); // right: mouse button 1
    EXPECT_EQ(Capture().found, 0);
    MouseButton(3, false);
    const Captured mouse = Capture();
    EXPECT_EQ(mouse.type, 5);
    EXPECT_EQ(mouse.found, 1);
    EXPECT_EQ(GetControlName(mouse.type, mouse.index), "M B1");

    // Buttons beyond the stick's own count are not taken.
    platform::test_joystick_button(id, 7, true);
    EXPECT_EQ(Capture().found, 0);
    platform::test_joystick_button(id, 7, false);
    EXPECT_EQ(Capture().found, 0);
}

TEST_F(BindingCaptureTest, AButtonHeldWhenACaptureEndsIsNotTheNextCapturesBinding)
{
    const int id = platform::attach_test_joystick(Stick("Pad", 2, 4));
    ASSERT_EQ(input.Create(), kInputOk);
    // The next capture begins after the screen ended the first one, or
    // without it having ended it (the player left the screen).
    for (const bool ended : {true, false}) {
        SCOPED_TRACE(ended ? "ended" : "not ended");
        input.SnapshotJoysticks(baseline);
        // The first capture takes key A while stick button 2 is held.
        platform::test_joystick_button(id, 2, true);
        Key(30, true);
        EXPECT_EQ(Capture().found, 1);
        Key(30, false);
        if (ended)
            input.FreeJoystickSnapshot(baseline);
        platform::test_joystick_button(id, 2, false);

        // The second capture reports nothing until the player acts, then
        // what he did.
        input.SnapshotJoysticks(baseline);
        for (int frame = 0; frame < 3; ++frame)
            EXPECT_EQ(Capture().found, 0) << "frame " << frame;
        Key(44, true);
        const Captured got = Capture();
        EXPECT_EQ(got.found, 1);
        EXPECT_EQ(got.type, kBindKey);
        EXPECT_EQ(got.index, 44);
        Key(44, false);
        input.FreeJoystickSnapshot(baseline);
        input.Poll();
    }
}

TEST_F(BindingCaptureTest, AxesBindBeyondHalfTheirTravelFromTheBaseline)
{
    platform::JoystickInfo pad = Stick("Pad", 6, 4);
    pad.state.axis[2] = 60000; // a throttle lever left forward
    const int id = platform::attach_test_joystick(pad);
    Begin();

    struct Case {
        int axis;
        int value;
        int found, type;
        const char* name;
    };
    const Case cases[] = {
        {1, 32768 - 16385, 1, 73, "J0 Y+"}, // pushed forward
        {1, 32768 - 16384, 0, 0, ""},       // exactly half: not yet
        {0, 32768 + 16385, 1, 8, "J0 X-"},
        {2, 60000 - 16385, 1, 74, "J0 Z+"}, // from its own baseline
        {2, 50000, 0, 0, ""},               // moved, but near its baseline
        {3, 65535, 1, 11, "J0 R-"},
        {4, 0, 1, 76, "J0 U+"},
        {5, 65535, 1, 13, "J0 V-"},
    };
    for (const Case& c : cases) {
        platform::test_joystick_axis(id, c.axis, c.value);
        const Captured got = Capture();
        EXPECT_EQ(got.found, c.found) << "axis " << c.axis << " at " << c.value;
        if (c.found) {
            EXPECT_EQ(got.type, c.type) << "axis " << c.axis;
            EXPECT_EQ(got.index, 0);
            EXPECT_EQ(GetControlName(got.type, got.index), c.name);
        }
        platform::test_joystick_axis(id, c.axis, pad.state.axis[c.axis]);
        input.Poll();
    }
}

TEST_F(BindingCaptureTest, AStickAttachedAfterTheSnapshotIsLeftOut)
{
    Begin();
    EXPECT_TRUE(baseline.empty());
    const int id = platform::attach_test_joystick(Stick("Late", 2, 2));
    platform::test_joystick_axis(id, 0, 0);
    platform::test_joystick_button(id, 0, true);
    EXPECT_EQ(Capture().found, 0);
    EXPECT_EQ(input.JoystickCount(), 1);
    input.FreeJoystickSnapshot(baseline);
    EXPECT_TRUE(baseline.empty());
}

TEST(BindingNames, EveryKindOfBinding)
{
    struct Case {
        int type, index;
        const char* name;
    };
    const Case cases[] = {
        {0, 30, "A"},      {0, 11, "0"},      {0, 82, "0"},     {0, 40, "'"},      {0, 43, "$"},
        {0, 181, "/"},     {0, 29, "LCTR"},   {0, 56, "LALT"},  {0, 57, "SPACE"},  {0, 59, "F1"},
        {0, 68, "F10"},    {0, 87, "F11"},    {0, 88, "F12"},   {0, 157, "RCTR"},  {0, 184, "RALT"},
        {0, 199, "HOME"},  {0, 200, "("},     {0, 201, "PGUP"}, {0, 203, "#"},     {0, 205, "%"},
        {0, 207, "END"},   {0, 208, ")"},     {0, 209, "PGDN"}, {0, 210, "INS"},   {0, 211, "DEL"},
        {0, 0, ""},        {0, 42, ""},       {0, 255, ""},     {14, 0, "J0 B0"},  {45, 3, "J3 B31"},
        {4, 0, "M B0"},    {7, 9, "M B3"},    {1, 0, "MX-"},    {65, 0, "MX+"},    {2, 0, "MY-"},
        {66, 0, "MY+"},    {3, 0, ""},        {67, 0, ""},      {8, 0, "J0 X-"},   {72, 1, "J1 X+"},
        {9, 0, "J0 Y-"},   {73, 0, "J0 Y+"},  {10, 2, "J2 Z-"}, {74, 2, "J2 Z+"},  {11, 0, "J0 R-"},
        {75, 0, "J0 R+"},  {12, 0, "J0 U-"},  {76, 0, "J0 U+"}, {13, 0, "J0 V-"},  {77, 0, "J0 V+"},
        {46, 0, ""},       {64, 0, ""},       {68, 0, ""},      {-1, 0, ""},       {-128, 0, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(GetControlName(c.type, c.index), c.name) << "type " << c.type << " index " << c.index;
}

TEST(BindingNames, KeyCharacters)
{
    struct Case {
        int code;
        int plain, shifted;
    };
    const Case cases[] = {
        {1, 0, 0},        {2, '1', '!'},    {3, '2', '@'},    {4, '3', '3'},    {5, '4', '$'},
        {10, '9', '9'},   {11, '0', '0'},   {12, '-', '_'},   {13, '=', '+'},   {14, 8, 8},
        {16, 'Q', 'Q'},   {25, 'P', 'P'},   {26, '[', '{'},   {27, ']', '}'},   {30, 'A', 'A'},
        {38, 'L', 'L'},   {39, ';', ':'},   {40, '\'', '"'},  {43, '$', '$'},   {44, 'Z', 'Z'},
        {50, 'M', 'M'},   {51, ',', '<'},   {52, '.', '>'},   {53, '/', '?'},   {55, '*', '*'},
        {57, ' ', ' '},   {71, '7', '7'},   {73, '9', '9'},   {74, '-', '-'},   {76, '5', '5'},
        {78, '+', '+'},   {79, '1', '1'},   {82, '0', '0'},   {83, '.', '.'},   {181, '/', '/'},
        {182, 0, 0},      {0, 0, 0},        {-5, 0, 0},       {28, 0, 0},       {1000, 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ScanCodeToChar(c.code), c.plain) << c.code;
        EXPECT_EQ(ScanCodeToChar(c.code, true), c.shifted) << c.code;
    }
}

} // namespace
