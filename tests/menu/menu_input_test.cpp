// The menus' readers of the keyboard, a joystick and the mouse, on the input
// manager's own polls of injected events.
#include <gtest/gtest.h>

#include <vector>

#include "input/input_manager.h"
#include "menu/menu_input.h"
#include "menu/menu_manager.h"
#include "tests/input/input_fixture.h"

namespace {

using input_test::Key;

// The input manager installed with its devices acquired, and a menu manager
// current (the readers show and hide its pointer).
class MenuInputTest : public input_test::InputFixture {
protected:
    void SetUp() override
    {
        InputFixture::SetUp();
        ASSERT_EQ(input.Create(), kInputOk);
        input.Acquire();
        SetTheInputManager(&input);
        SetCurrentMenuManager(&manager);
        ResetMenuInputLatches();
    }
    void TearDown() override
    {
        ResetMenuInputLatches();
        SetCurrentMenuManager(nullptr);
        SetTheInputManager(nullptr);
        InputFixture::TearDown();
    }

    // One poll and the key it gives: {key, event}, {0, 0} for none.
    std::pair<std::int32_t, std::int32_t> PollKey()
    {
        input.Poll();
        std::int32_t key = 0, event = 0;
        ReadMenuKey(key, event);
        return {key == 0 ? 0 : key, key == 0 ? 0 : event};
    }
    std::int32_t PollMouse()
    {
        input.Poll();
        std::int32_t message = -1, keys = -1;
        ReadMouseEvent(message, keys);
        EXPECT_EQ(keys, 0);
        return message;
    }

    MenuManager manager;
};

using Report = std::pair<std::int32_t, std::int32_t>;
const Report kNothing{0, 0};

TEST_F(MenuInputTest, AHeldKeyIsOneKeyDownAndOneKeyUp)
{
    manager.m_bPointerVisible = 1;
    Key(kMenuKeyDownArrow, true);
    EXPECT_EQ(PollKey(), Report(kMenuKeyDownArrow, kMenuKeyDown));
    EXPECT_EQ(manager.m_bPointerVisible, 0) << "a key hides the pointer";
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(PollKey(), kNothing) << "held, pass " << i;
    Key(kMenuKeyDownArrow, false);
    EXPECT_EQ(PollKey(), Report(kMenuKeyDownArrow, kMenuKeyUp));
    EXPECT_EQ(PollKey(), kNothing);

    // A tap between two polls is still a key-down and a key-up.
    Key(kMenuKeyEnter, true);
    Key(kMenuKeyEnter, false);
    EXPECT_EQ(PollKey(), Report(kMenuKeyEnter, kMenuKeyDown));
    EXPECT_EQ(PollKey(), Report(kMenuKeyEnter, kMenuKeyUp));
}

TEST_F(MenuInputTest, AKeyPressedWhileAnotherIsLatchedWaitsForItsRelease)
{
    Key(kMenuKeyDownArrow, true);
    EXPECT_EQ(PollKey(), Report(kMenuKeyDownArrow, kMenuKeyDown));
    Key(kMenuKeyUpArrow, true);
    EXPECT_EQ(PollKey(), kNothing) << "Up is not reported while Down is latched";
    EXPECT_EQ(PollKey(), kNothing);
    Key(kMenuKeyDownArrow, false);
    EXPECT_EQ(PollKey(), Report(kMenuKeyDownArrow, kMenuKeyUp));
    EXPECT_EQ(PollKey(), Report(kMenuKeyUpArrow, kMenuKeyDown)) << "still held: latched next";
    Key(kMenuKeyUpArrow, false);
    EXPECT_EQ(PollKey(), Report(kMenuKeyUpArrow, kMenuKeyUp));
}

TEST_F(MenuInputTest, KeysDownTogetherAreTakenInTheMenusOrder)
{
    // Esc before the arrows, the arrows before Enter, Enter before the
    // letters, the letter rows before the digits; keys the menus do not read
    // (F1, 59) are never reported.
    struct Case {
        std::vector<int> down;
        std::int32_t first;
    };
    for (const Case& c : {Case{{28, 1}, 1}, Case{{28, 205}, 205}, Case{{16, 28}, 28}, Case{{2, 44}, 44},
                          Case{{53, 57}, 57}, Case{{59, 14}, 14}, Case{{59}, 0}}) {
        for (int k : c.down)
            Key(k, true);
        const Report report = PollKey();
        EXPECT_EQ(report.first, c.first) << c.down.front();
        for (int k : c.down)
            Key(k, false);
        PollKey();
        PollKey();
        ResetMenuInputLatches();
    }
}

TEST_F(MenuInputTest, AJoystickGivesTheArrowsAndEnterWithALatch)
{
    const int id = platform::attach_test_joystick(input_test::Stick("pad", 2, 4));
    input.Poll();
    const int number = FindActiveJoystick();
    ASSERT_EQ(number, 0);
    struct Case {
        int axis;
        std::int32_t value;
        int button;
        std::int32_t key;
    };
    // Beyond 10000 from the centre (32768) each way; the first button.
    for (const Case& c : {Case{0, 32768 + 10001, -1, kMenuKeyRightArrow}, Case{0, 32768 - 10001, -1, kMenuKeyLeftArrow},
                          Case{1, 32768 + 10001, -1, kMenuKeyDownArrow}, Case{1, 32768 - 10001, -1, kMenuKeyUpArrow},
                          Case{0, 32768, 0, kMenuKeyEnter}, Case{0, 32768 + 10000, -1, 0}}) {
        SCOPED_TRACE(c.key);
        if (c.button >= 0)
            platform::test_joystick_button(id, c.button, true);
        else
            platform::test_joystick_axis(id, c.axis, c.value);
        input.Poll();
        std::int32_t key = 0, event = 0;
        ReadJoystickKey(ActiveJoystickRecord(number), key, event);
        EXPECT_EQ(key, c.key);
        if (c.key == 0)
            continue;
        EXPECT_EQ(event, kMenuKeyDown);
        // Held: nothing more; a second push (another axis) is not taken either.
        platform::test_joystick_axis(id, c.axis == 0 ? 1 : 0, 0);
        input.Poll();
        key = 0;
        ReadJoystickKey(ActiveJoystickRecord(number), key, event);
        EXPECT_EQ(key, 0);
        // Back in the centre, button up: the key-up of the key pushed.
        platform::test_joystick_axis(id, 0, 32768);
        platform::test_joystick_axis(id, 1, 32768);
        if (c.button >= 0)
            platform::test_joystick_button(id, c.button, false);
        input.Poll();
        ReadJoystickKey(ActiveJoystickRecord(number), key, event);
        EXPECT_EQ(key, c.key);
        EXPECT_EQ(event, kMenuKeyUp);
        key = 0;
        ReadJoystickKey(ActiveJoystickRecord(number), key, event);
        EXPECT_EQ(key, 0) << "one key-up";
    }

    // Without a joystick nothing is read; an unplugged one is not active.
    std::int32_t key = 0, event = 0;
    ReadJoystickKey(nullptr, key, event);
    EXPECT_EQ(key, 0);
    platform::detach_test_joystick(id);
    input.Poll();
    EXPECT_EQ(FindActiveJoystick(), -1);
    EXPECT_EQ(ActiveJoystickRecord(-1), nullptr);
    EXPECT_EQ(ActiveJoystickRecord(5), nullptr);
}

TEST_F(MenuInputTest, TheMouseGivesMovesAndTheLeftButton)
{
    EXPECT_EQ(PollMouse(), 0) << "nothing moved";
    EXPECT_EQ(manager.m_bPointerVisible, 0);
    input_test::MouseMove(1, 0);
    EXPECT_EQ(PollMouse(), kMenuMouseMove);
    EXPECT_EQ(manager.m_bPointerVisible, 1) << "the mouse shows the pointer";
    manager.m_bPointerVisible = 0;
    input_test::MouseButton(1, true);
    EXPECT_EQ(PollMouse(), kMenuMouseLeftDown);
    EXPECT_EQ(manager.m_bPointerVisible, 1);
    EXPECT_EQ(PollMouse(), 0) << "held without moving";
    input_test::MouseMove(0, -2);
    EXPECT_EQ(PollMouse(), kMenuMouseMove) << "held and moving";
    input_test::MouseButton(1, false);
    input_test::MouseMove(3, 3);
    EXPECT_EQ(PollMouse(), kMenuMouseLeftUp) << "the button before the move";
    // The right button is not the menus'.
    input_test::MouseButton(3, true);
    EXPECT_EQ(PollMouse(), 0);
}

} // namespace
