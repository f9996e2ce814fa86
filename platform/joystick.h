#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Joysticks and game controllers.
//
// The joystick service runs on the video thread: it opens every attached
// device, and from then on reports changes as raw input events
// (platform/input_events.h): JoystickAdded and JoystickRemoved as devices
// come and go, JoystickAxis, JoystickButtonDown/Up and JoystickHat as they
// move. Each device is known by an id that stays the same while it is
// attached. Axes read 0..65535 with the centre at 32768; up to 32 buttons
// and 4 hats are reported.
//
// Tests use simulated devices instead of SDL (use_test_joysticks): they
// attach and detach devices and move them with the test_joystick_* calls,
// which put the same events on the queue as real devices do.
namespace platform {

inline constexpr int kJoystickAxes = 6;     // X, Y, Z, X rotation, Y rotation, Z rotation
inline constexpr int kJoystickSliders = 2;  // the seventh and eighth axes of a device
inline constexpr int kJoystickHats = 4;
inline constexpr int kJoystickButtons = 32;
inline constexpr std::int32_t kJoystickAxisMax = 65535;
inline constexpr std::int32_t kJoystickAxisCentre = 32768;
// A hat's value: its direction in hundredths of a degree clockwise from up,
// or this when it is centred.
inline constexpr std::uint32_t kJoystickHatCentred = 0xFFFFFFFFu;

// One device's state: 80 bytes, the layout the game reads (six axes, two
// sliders, four hats, 32 button bytes with bit 7 set while down).
struct JoystickState {
    std::int32_t axis[kJoystickAxes];
    std::int32_t slider[kJoystickSliders];
    std::uint32_t hat[kJoystickHats];
    std::uint8_t button[kJoystickButtons];

    // Every axis centred, every hat centred, every button up.
    void centre();
};
static_assert(sizeof(JoystickState) == 80, "a joystick state is 80 bytes");

// The value of axis `n` counted over the axes and then the sliders (0..7);
// stores nothing for other numbers.
void set_joystick_axis(JoystickState& state, int n, std::int32_t value);

struct JoystickInfo {
    int id = -1;                 // while attached; events carry it in `device`
    std::string name;            // product name
    int axes = 0;                // axes the device has (those beyond 8 are not reported)
    int buttons = 0;             // buttons the device has (those beyond 32 are not reported)
    int hats = 0;
    bool force_feedback = false; // a constant-force effect can be played on it
    JoystickState state{};       // its state when it was opened
};

// Starts the service: with the real devices, brings up SDL's joystick (and
// haptic) support on the video thread and opens every attached device.
// Devices attached now are reported by attached_joysticks() at once and by
// JoystickAdded events. False, with the reason in `error`, when joysticks
// cannot be used (no video thread, SDL's joystick subsystem unavailable);
// the rest of the input works without them. Starting twice does nothing.
bool start_joysticks(std::string* error = nullptr);

// Closes every device and stops the service.
void stop_joysticks();
bool joysticks_started();

// The devices attached now, in the order they were attached.
std::vector<JoystickInfo> attached_joysticks();

// Test double. While on, the service uses simulated devices only; turning it
// on or off stops the service and forgets the simulated devices.
void use_test_joysticks(bool on);
bool using_test_joysticks();

// Attaches a simulated device (its id is given by the service) and reports
// it as the real service does. Returns the id, -1 when test joysticks are
// not in use.
int attach_test_joystick(JoystickInfo info);
void detach_test_joystick(int id);
// Move a simulated device: axis n as for set_joystick_axis (value 0..65535),
// button b (0..31), hat h (0..3).
void test_joystick_axis(int id, int axis, std::int32_t value);
void test_joystick_button(int id, int button, bool down);
void test_joystick_hat(int id, int hat, std::uint32_t value);

// Called by the video thread while it shuts SDL down: closes what the
// service opened there.
void close_joysticks_on_video_thread();

} // namespace platform
