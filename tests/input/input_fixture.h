#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "input/control_block.h"
#include "input/input_manager.h"
#include "input/race_link.h"
#include "platform/clock.h"
#include "platform/fault_seam.h"
#include "platform/input_events.h"
#include "platform/joystick.h"
#include "platform/key_codes.h"
#include "platform/video_thread.h"
#include "platform/window.h"

namespace input_test {

// The SDL scan code of the physical key with this key number (the inverse of
// the platform's table), so tests press keys by the numbers the game uses.
inline int ScancodeOf(int keyNumber)
{
    for (int sc = 0; sc < 512; ++sc)
        if (platform::pc_scan_code_from_sdl_scancode(sc).key_number() == keyNumber)
            return sc;
    ADD_FAILURE() << "no physical key has key number " << keyNumber;
    return 0;
}

inline void Key(int keyNumber, bool down)
{
    platform::InputEvent e;
    e.type = down ? platform::InputEventType::KeyDown : platform::InputEventType::KeyUp;
    e.scancode = ScancodeOf(keyNumber);
    platform::inject_input_event(e);
}

inline void MouseMove(int dx, int dy)
{
    platform::InputEvent e;
    e.type = platform::InputEventType::MouseMotion;
    e.dx = dx;
    e.dy = dy;
    platform::inject_input_event(e);
}

// `sdlButton`: 1 left, 2 middle, 3 right, 4 side.
inline void MouseButton(int sdlButton, bool down)
{
    platform::InputEvent e;
    e.type = down ? platform::InputEventType::MouseButtonDown : platform::InputEventType::MouseButtonUp;
    e.button = sdlButton;
    platform::inject_input_event(e);
}

inline void MouseWheel(int notches)
{
    platform::InputEvent e;
    e.type = platform::InputEventType::MouseWheel;
    e.wheel = notches;
    platform::inject_input_event(e);
}

inline void Focus(bool gained)
{
    platform::InputEvent e;
    e.type = gained ? platform::InputEventType::FocusGained : platform::InputEventType::FocusLost;
    platform::inject_input_event(e);
}

// A simulated stick with `axes` axes and `buttons` buttons, centred.
inline platform::JoystickInfo Stick(const char* name, int axes, int buttons, bool forceFeedback = false)
{
    platform::JoystickInfo info;
    info.name = name;
    info.axes = axes;
    info.buttons = buttons;
    info.force_feedback = forceFeedback;
    info.state.centre();
    return info;
}

// The keyboard bindings a fresh installation has.
inline ControlBlock KeyboardDefaults()
{
    ControlBlock block;
    const std::uint8_t keys[kControlCount] = {30, 44, 51, 52, 57, 56, 45, 46};
    for (int i = 0; i < kControlCount; ++i)
        block.Index[i] = keys[i];
    return block;
}

// The bindings a fresh installation has with one stick of two axes and four
// buttons.
inline ControlBlock JoystickDefaults()
{
    ControlBlock block;
    const std::int8_t types[kControlCount] = {73, 9, 72, 8, 14, 15, 16, 17};
    for (int i = 0; i < kControlCount; ++i)
        block.Type[i] = types[i];
    return block;
}

// A main window ("D3Dclass") for the time of a test, so that the devices
// can be set to follow its focus. It starts the video thread (offscreen).
class MainWindow {
public:
    MainWindow()
    {
        platform::register_window_class("D3Dclass", 0, &Proc);
        handle = platform::create_window(0, "D3Dclass", "Input test", 0, 0, 0, 64, 48);
        EXPECT_TRUE(handle) << platform::last_window_error();
        platform::clear_input_events(); // whatever the window system said on creation
    }
    ~MainWindow()
    {
        platform::destroy_window(handle);
        platform::unregister_window_class("D3Dclass");
        platform::shutdown_video_thread();
        platform::clear_input_events();
    }
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    platform::WindowHandle handle;

private:
    static platform::LResult Proc(platform::WindowHandle w, unsigned m, platform::WParam wp, platform::LParam lp)
    {
        return platform::def_window_proc(w, m, wp, lp);
    }
};

// Records what the input does to the race around it.
class FakeRaceLink : public InputRaceLink {
public:
    bool network = false;
    std::uint32_t flags = 0;
    int finishes = 0;
    std::vector<int> lights;      // start-light frames in order
    std::vector<float> materials; // start-light material sets in order
    std::vector<int> samples;     // start samples in order
    float fadeTarget = 0.0f, fadeLevel = 0.0f, shade = 0.0f;
    bool fading = false;
    int parks = 0;
    int mutes = 0, unmutes = 0;

    bool NetworkRace() const override { return network; }
    std::uint32_t RaceFlags() const override { return flags; }
    void ChangeRaceFlags(std::uint32_t set, std::uint32_t clear) override { flags = (flags | set) & ~clear; }
    void Finish() override
    {
        ++finishes;
        flags |= kRaceFlagRacing;
    }
    void SetStartLight(int frame) override { lights.push_back(frame); }
    void SetStartLightMaterial(float set) override { materials.push_back(set); }
    void PlayStartSample(int sample) override { samples.push_back(sample); }
    void SetFadeTarget(float v) override { fadeTarget = v; }
    void SetFadeLevel(float v) override { fadeLevel = v; }
    void SetShade(float v) override { shade = v; }
    bool IsFading() const override { return fading; }
    void ParkPlayerBike() override { ++parks; }
    void MuteSound() override { ++mutes; }
    void UnmuteSound() override { ++unmutes; }
};

// Each test starts with simulated sticks (none attached), an empty event
// queue, a test clock, the keyboard defaults as the default bindings and
// nothing armed; and leaves it all as it found it.
class InputFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::clear_faults();
        platform::use_test_joysticks(true);
        platform::clear_input_events();
        platform::set_test_clock(100000);
        DefaultControlBlock() = KeyboardDefaults();
    }

    void TearDown() override
    {
        platform::use_test_joysticks(false);
        platform::clear_input_events();
        platform::clear_test_clock();
        platform::clear_faults();
        DefaultControlBlock() = ControlBlock{};
    }

    // Creates the devices, acquires them, adds `record` as this peer's
    // player and starts race input in a race that is under way.
    void StartRace(ControlRecord* record)
    {
        ASSERT_EQ(input.Create(), kInputOk);
        input.Acquire();
        input.SetRaceLink(&race);
        race.flags = kRaceFlagRacing;
        if (record) {
            ASSERT_TRUE(input.AddTarget(record, InputManager::kTargetLocal, 7));
        }
        input.BeginRace(kInputModeRecord);
    }

    // One drawn frame `ms` milliseconds after the last.
    bool Frame(std::uint32_t ms = 20)
    {
        platform::advance_test_clock(ms);
        return input.ReadControls();
    }

    InputManager input;
    FakeRaceLink race;
};

} // namespace input_test
