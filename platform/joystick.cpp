#include "platform/joystick.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <mutex>

#include <SDL.h>

#include "platform/fault_seam.h"
#include "platform/input_events.h"
#include "platform/joystick_internal.h"
#include "platform/video_thread.h"

namespace platform {
namespace {

struct OpenDevice {
    SDL_Joystick* joystick = nullptr;
    SDL_Haptic* haptic = nullptr; // with a constant-force effect, else null
};

struct Service {
    std::mutex mutex;                   // guards everything but `open`
    bool started = false;
    bool test_mode = false;
    bool watching = false;              // the SDL event watch is installed
    std::vector<JoystickInfo> attached; // in the order of attachment
    int next_test_id = 1;
    std::map<int, OpenDevice> open;     // real devices; video thread only
};

Service& service()
{
    static Service* instance = new Service; // used by the video thread until the end
    return *instance;
}

void inject(InputEventType type, int device, int index = 0, std::int64_t value = 0)
{
    InputEvent e;
    e.type = type;
    e.device = device;
    e.index = index;
    e.value = value;
    inject_input_event(e);
}

std::uint32_t hat_direction(Uint8 bits)
{
    switch (bits) {
    case SDL_HAT_UP: return 0;
    case SDL_HAT_RIGHTUP: return 4500;
    case SDL_HAT_RIGHT: return 9000;
    case SDL_HAT_RIGHTDOWN: return 13500;
    case SDL_HAT_DOWN: return 18000;
    case SDL_HAT_LEFTDOWN: return 22500;
    case SDL_HAT_LEFT: return 27000;
    case SDL_HAT_LEFTUP: return 31500;
    default: return kJoystickHatCentred;
    }
}

std::int32_t axis_value(Sint16 v)
{
    return static_cast<std::int32_t>(v) + kJoystickAxisCentre;
}

// ---- Real devices (video thread) ----

JoystickInfo describe(int device_index, SDL_Joystick* joystick)
{
    JoystickInfo info;
    info.id = SDL_JoystickInstanceID(joystick);
    const char* name = SDL_IsGameController(device_index) ? SDL_GameControllerNameForIndex(device_index)
                                                          : SDL_JoystickName(joystick);
    info.name = name ? name : "Joystick";
    info.axes = std::max(0, SDL_JoystickNumAxes(joystick));
    info.buttons = std::max(0, SDL_JoystickNumButtons(joystick));
    info.hats = std::max(0, SDL_JoystickNumHats(joystick));
    info.state.centre();
    for (int a = 0; a < std::min(info.axes, kJoystickAxes + kJoystickSliders); ++a)
        set_joystick_axis(info.state, a, axis_value(SDL_JoystickGetAxis(joystick, a)));
    for (int b = 0; b < std::min(info.buttons, kJoystickButtons); ++b)
        info.state.button[b] = SDL_JoystickGetButton(joystick, b) ? 0x80 : 0;
    for (int h = 0; h < std::min(info.hats, kJoystickHats); ++h)
        info.state.hat[h] = hat_direction(SDL_JoystickGetHat(joystick, h));
    return info;
}

SDL_Haptic* open_constant_force(SDL_Joystick* joystick)
{
    if (SDL_WasInit(SDL_INIT_HAPTIC) == 0 || SDL_JoystickIsHaptic(joystick) != 1)
        return nullptr;
    SDL_Haptic* haptic = SDL_HapticOpenFromJoystick(joystick);
    if (!haptic)
        return nullptr;
    if ((SDL_HapticQuery(haptic) & SDL_HAPTIC_CONSTANT) == 0) {
        SDL_HapticClose(haptic);
        return nullptr;
    }
    return haptic;
}

// Opens every attached device not open yet and reports it.
void sync_devices()
{
    Service& s = service();
    if (SDL_WasInit(SDL_INIT_JOYSTICK) == 0)
        return;
    const int count = SDL_NumJoysticks();
    for (int i = 0; i < count; ++i) {
        const SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(i);
        if (id < 0 || s.open.count(id))
            continue;
        SDL_Joystick* joystick = SDL_JoystickOpen(i);
        if (!joystick) {
            std::fprintf(stderr, "Cannot open joystick %d: %s\n", i, SDL_GetError());
            continue;
        }
        OpenDevice device{joystick, open_constant_force(joystick)};
        JoystickInfo info = describe(i, joystick);
        info.force_feedback = device.haptic != nullptr;
        s.open[info.id] = device;
        {
            std::lock_guard<std::mutex> lock(s.mutex);
            s.attached.push_back(info);
        }
        inject(InputEventType::JoystickAdded, info.id);
    }
}

void close_device(int id)
{
    Service& s = service();
    auto it = s.open.find(id);
    if (it == s.open.end())
        return;
    joystick_internal::forget_effects_of(id);
    if (it->second.haptic)
        SDL_HapticClose(it->second.haptic);
    SDL_JoystickClose(it->second.joystick);
    s.open.erase(it);
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        std::erase_if(s.attached, [id](const JoystickInfo& info) { return info.id == id; });
    }
    inject(InputEventType::JoystickRemoved, id);
}

void close_all_devices()
{
    Service& s = service();
    joystick_internal::forget_all_effects();
    for (auto& [id, device] : s.open) {
        if (device.haptic)
            SDL_HapticClose(device.haptic);
        SDL_JoystickClose(device.joystick);
    }
    s.open.clear();
}

// Sees every SDL event as it is queued (on the video thread, while it pumps)
// and turns the joysticks' into raw input events. Opening and closing are
// left to tasks run after the pump.
int SDLCALL watch_events(void*, SDL_Event* e)
{
    switch (e->type) {
    case SDL_JOYDEVICEADDED:
        post_to_video_thread(sync_devices);
        break;
    case SDL_JOYDEVICEREMOVED: {
        const int id = e->jdevice.which;
        post_to_video_thread([id] { close_device(id); });
        break;
    }
    case SDL_JOYAXISMOTION:
        inject(InputEventType::JoystickAxis, e->jaxis.which, e->jaxis.axis, axis_value(e->jaxis.value));
        break;
    case SDL_JOYBUTTONDOWN:
    case SDL_JOYBUTTONUP:
        inject(e->type == SDL_JOYBUTTONDOWN ? InputEventType::JoystickButtonDown : InputEventType::JoystickButtonUp,
               e->jbutton.which, e->jbutton.button);
        break;
    case SDL_JOYHATMOTION:
        inject(InputEventType::JoystickHat, e->jhat.which, e->jhat.hat, hat_direction(e->jhat.value));
        break;
    default:
        break;
    }
    return 1;
}

bool start_real(std::string& error)
{
    // SDL lives on the video thread, which may not run yet at this point of
    // the program's start.
    if (!start_video_thread(&error)) {
        error = "no joystick support: " + error;
        return false;
    }
    bool ok = false;
    const bool ran = run_on_video_thread([&] {
        // The devices keep reporting while another window has the focus; the
        // input decides what the program may read.
        SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
        if (SDL_InitSubSystem(SDL_INIT_JOYSTICK) != 0) {
            error = std::string("no joystick support: ") + SDL_GetError();
            return;
        }
        // Without haptics, devices simply have no force feedback.
        SDL_InitSubSystem(SDL_INIT_HAPTIC);
        Service& s = service();
        SDL_AddEventWatch(watch_events, nullptr);
        s.watching = true;
        sync_devices();
        ok = true;
    });
    if (!ran && error.empty())
        error = "no joystick support: the video thread is not running";
    return ran && ok;
}

void stop_real_on_video_thread()
{
    Service& s = service();
    if (s.watching) {
        SDL_DelEventWatch(watch_events, nullptr);
        s.watching = false;
    }
    close_all_devices();
    if (SDL_WasInit(SDL_INIT_HAPTIC))
        SDL_QuitSubSystem(SDL_INIT_HAPTIC);
    if (SDL_WasInit(SDL_INIT_JOYSTICK))
        SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
}

// ---- Simulated devices ----

struct TestDevices {
    std::map<int, JoystickInfo> devices; // every simulated device attached, by id
    std::vector<int> order;
};

TestDevices& test_devices()
{
    static TestDevices* instance = new TestDevices;
    return *instance;
}

} // namespace

void JoystickState::centre()
{
    for (auto& a : axis)
        a = kJoystickAxisCentre;
    for (auto& a : slider)
        a = kJoystickAxisCentre;
    for (auto& h : hat)
        h = kJoystickHatCentred;
    for (auto& b : button)
        b = 0;
}

void set_joystick_axis(JoystickState& state, int n, std::int32_t value)
{
    if (n >= 0 && n < kJoystickAxes)
        state.axis[n] = value;
    else if (n >= kJoystickAxes && n < kJoystickAxes + kJoystickSliders)
        state.slider[n - kJoystickAxes] = value;
}

bool start_joysticks(std::string* error)
{
    Service& s = service();
    bool test_mode = false;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.started)
            return true;
        test_mode = s.test_mode;
    }
    if (take_fault(Fault::JoystickInit)) {
        if (error)
            *error = "no joystick support";
        return false;
    }
    if (test_mode) {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.started = true;
        s.attached.clear();
        for (int id : test_devices().order)
            s.attached.push_back(test_devices().devices[id]);
        return true;
    }
    std::string why;
    if (!start_real(why)) {
        if (error)
            *error = why;
        return false;
    }
    std::lock_guard<std::mutex> lock(s.mutex);
    s.started = true;
    return true;
}

void stop_joysticks()
{
    Service& s = service();
    bool test_mode;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (!s.started)
            return;
        s.started = false;
        s.attached.clear();
        test_mode = s.test_mode;
    }
    if (test_mode)
        joystick_internal::forget_all_effects();
    else
        run_on_video_thread(stop_real_on_video_thread);
}

bool joysticks_started()
{
    Service& s = service();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.started;
}

std::vector<JoystickInfo> attached_joysticks()
{
    Service& s = service();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.started ? s.attached : std::vector<JoystickInfo>{};
}

void close_joysticks_on_video_thread()
{
    Service& s = service();
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.test_mode)
            return;
        s.started = false;
        s.attached.clear();
    }
    stop_real_on_video_thread();
}

void use_test_joysticks(bool on)
{
    stop_joysticks();
    Service& s = service();
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.test_mode = on;
        s.next_test_id = 1;
    }
    test_devices() = TestDevices{};
    joystick_internal::forget_all_effects();
}

bool using_test_joysticks()
{
    Service& s = service();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.test_mode;
}

int attach_test_joystick(JoystickInfo info)
{
    Service& s = service();
    bool started;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (!s.test_mode)
            return -1;
        info.id = s.next_test_id++;
        started = s.started;
        if (started)
            s.attached.push_back(info);
    }
    test_devices().devices[info.id] = info;
    test_devices().order.push_back(info.id);
    if (started)
        inject(InputEventType::JoystickAdded, info.id);
    return info.id;
}

void detach_test_joystick(int id)
{
    Service& s = service();
    bool started;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (!s.test_mode || !test_devices().devices.count(id))
            return;
        started = s.started;
        std::erase_if(s.attached, [id](const JoystickInfo& info) { return info.id == id; });
    }
    test_devices().devices.erase(id);
    std::erase(test_devices().order, id);
    joystick_internal::forget_effects_of(id);
    if (started)
        inject(InputEventType::JoystickRemoved, id);
}

void test_joystick_axis(int id, int axis, std::int32_t value)
{
    inject(InputEventType::JoystickAxis, id, axis, value);
}

void test_joystick_button(int id, int button, bool down)
{
    inject(down ? InputEventType::JoystickButtonDown : InputEventType::JoystickButtonUp, id, button);
}

void test_joystick_hat(int id, int hat, std::uint32_t value)
{
    inject(InputEventType::JoystickHat, id, hat, value);
}

namespace joystick_internal {

_SDL_Haptic* haptic_of(int id)
{
    auto it = service().open.find(id);
    return it == service().open.end() ? nullptr : it->second.haptic;
}

bool test_joystick_has_force_feedback(int id)
{
    auto it = test_devices().devices.find(id);
    return it != test_devices().devices.end() && it->second.force_feedback;
}

} // namespace joystick_internal

} // namespace platform
