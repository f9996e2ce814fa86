// A control bound to another key (as the controls screen's capture stores
// it in the default block the settings load) drives the player's bike in
// the next session: the new key opens the throttle, the old one no longer
// does. The keys are pressed as the platform delivers them (input events).
#include <algorithm>

#include <gtest/gtest.h>

#include "input/control_block.h"
#include "platform/input_events.h"
#include "platform/key_codes.h"
#include "tests/race/race_fixture.h"

namespace {

constexpr int kKeyA = 30, kKeyQ = 16;

int SdlScanCodeOf(int key)
{
    for (int sc = 0; sc < 512; ++sc)
        if (platform::pc_scan_code_from_sdl_scancode(sc).key_number() == key)
            return sc;
    return 0;
}

class BindingRace : public race_test::RaceFixture {
protected:
    void SetUp() override
    {
        RaceFixture::SetUp();
        saved_ = DefaultControlBlock();
    }
    void TearDown() override
    {
        DefaultControlBlock() = saved_;
        RaceFixture::TearDown();
    }

    // A practice session with the player sent out of the pits; `key` held
    // for `seconds`; the player's highest speed meanwhile (m/s).
    float SpeedAfterHolding(int key, float seconds)
    {
        Header("Sugo", 1, 2);
        AddPlayer(0);
        app.Flags = kAppFlagMenu;
        app.RaceFlags = kRaceFlagNoLoadingScreen;
        Start();
        race->SetInRaceMenu([](Race&) {});
        Frame();
        EXPECT_FALSE(bike(0).IsOut());
        platform::InputEvent down;
        down.type = platform::InputEventType::KeyDown;
        down.scancode = SdlScanCodeOf(key);
        platform::inject_input_event(down);
        float fastest = 0.0f;
        for (float t = 0.0f; t < seconds; t += 0.02f) {
            Frame(20);
            fastest = std::max(fastest, bike(0).Speed);
        }
        platform::InputEvent up = down;
        up.type = platform::InputEventType::KeyUp;
        platform::inject_input_event(up);
        Frame();
        race.reset();
        return fastest;
    }

    ControlBlock saved_;
};

TEST_F(BindingRace, TheAcceleratorBoundToQDrivesTheNextSession)
{
    ControlBlock& block = DefaultControlBlock();
    block.Type[kControlAccelerator] = kBindKey;
    block.Index[kControlAccelerator] = kKeyQ;
    block.Rise[kControlAccelerator] = block.Fall[kControlAccelerator] = 0;
    // The accelerator's old key is bound to nothing now.
    if (block.Type[kControlBrake] == kBindKey && block.Index[kControlBrake] == kKeyQ)
        block.Index[kControlBrake] = 0;
    const float q = SpeedAfterHolding(kKeyQ, 40.0f), a = SpeedAfterHolding(kKeyA, 40.0f), none = SpeedAfterHolding(25, 40.0f);
    // Out of the pit lane (whose limiter takes every bike to its exit
    // speed) only Q takes the bike faster; A does what no key does.
    EXPECT_GT(q, none + 5.0f) << q << " " << none;
    EXPECT_FLOAT_EQ(a, none);
}

} // namespace
