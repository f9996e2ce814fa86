#include "platform/haptics.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>

#include <SDL.h>

#include "platform/fault_seam.h"
#include "platform/joystick.h"
#include "platform/joystick_internal.h"
#include "platform/video_thread.h"

namespace platform {
namespace {

struct RealEffect {
    int joystick_id = -1;
    SDL_Haptic* haptic = nullptr; // touched on the video thread only
    int sdl_effect = -1;
    // Set on the video thread when the device refuses a change; the next
    // call from the program sees it.
    std::shared_ptr<std::atomic<bool>> refused = std::make_shared<std::atomic<bool>>(false);
};

struct Effects {
    std::mutex mutex;
    int next_id = 1;
    std::map<int, RealEffect> real;
    std::map<int, TestHapticEffect> test;
};

Effects& effects()
{
    static Effects* instance = new Effects; // used by the video thread until the end
    return *instance;
}

SDL_HapticEffect sdl_constant_force(const ConstantForce& force)
{
    SDL_HapticEffect e{};
    e.type = SDL_HAPTIC_CONSTANT;
    e.constant.type = SDL_HAPTIC_CONSTANT;
    e.constant.direction.type = SDL_HAPTIC_CARTESIAN;
    e.constant.direction.dir[0] = force.x;
    e.constant.direction.dir[1] = force.y;
    e.constant.length = SDL_HAPTIC_INFINITY;
    const int magnitude = std::clamp(force.magnitude, 0, kHapticMaxMagnitude);
    e.constant.level = static_cast<Sint16>(magnitude * 32767 / kHapticMaxMagnitude);
    return e;
}

// The effect's video-thread side, or null when it is gone.
bool find_real(int effect, RealEffect& out)
{
    Effects& fx = effects();
    std::lock_guard<std::mutex> lock(fx.mutex);
    auto it = fx.real.find(effect);
    if (it == fx.real.end())
        return false;
    out = it->second;
    return true;
}

} // namespace

int create_constant_force(int joystick_id, const ConstantForce& force)
{
    if (take_fault(Fault::HapticCreate))
        return -1;
    Effects& fx = effects();
    if (using_test_joysticks()) {
        if (!joystick_internal::test_joystick_has_force_feedback(joystick_id))
            return -1;
        std::lock_guard<std::mutex> lock(fx.mutex);
        TestHapticEffect record;
        record.id = fx.next_id++;
        record.joystick_id = joystick_id;
        record.force = force;
        fx.test[record.id] = record;
        return record.id;
    }
    RealEffect made;
    const bool ran = run_on_video_thread([&] {
        SDL_Haptic* haptic = joystick_internal::haptic_of(joystick_id);
        if (!haptic)
            return;
        SDL_HapticEffect e = sdl_constant_force(force);
        const int id = SDL_HapticNewEffect(haptic, &e);
        if (id < 0)
            return;
        made.joystick_id = joystick_id;
        made.haptic = haptic;
        made.sdl_effect = id;
    });
    if (!ran || made.sdl_effect < 0)
        return -1;
    std::lock_guard<std::mutex> lock(fx.mutex);
    const int id = fx.next_id++;
    fx.real[id] = made;
    return id;
}

bool start_haptic_effect(int effect, int iterations)
{
    Effects& fx = effects();
    if (using_test_joysticks()) {
        std::lock_guard<std::mutex> lock(fx.mutex);
        auto it = fx.test.find(effect);
        if (it == fx.test.end() || it->second.destroyed)
            return false;
        it->second.playing = true;
        it->second.iterations = iterations;
        ++it->second.starts;
        return true;
    }
    RealEffect e;
    if (!find_real(effect, e))
        return false;
    bool ok = false;
    run_on_video_thread([&] {
        if (joystick_internal::haptic_of(e.joystick_id) != e.haptic)
            return; // the device went meanwhile
        const Uint32 times = iterations == kHapticInfinite ? SDL_HAPTIC_INFINITY : static_cast<Uint32>(iterations);
        ok = SDL_HapticRunEffect(e.haptic, e.sdl_effect, times) == 0;
    });
    return ok;
}

bool update_constant_force(int effect, const ConstantForce& force)
{
    Effects& fx = effects();
    if (using_test_joysticks()) {
        std::lock_guard<std::mutex> lock(fx.mutex);
        auto it = fx.test.find(effect);
        if (it == fx.test.end() || it->second.destroyed)
            return false;
        if (take_fault(Fault::HapticUpdate))
            return false;
        it->second.force = force;
        ++it->second.updates;
        return true;
    }
    RealEffect e;
    if (!find_real(effect, e) || e.refused->load())
        return false;
    if (take_fault(Fault::HapticUpdate))
        return false;
    // The change is handed over without waiting (the bikes send one every
    // simulation step); a refusal is seen by the next call.
    const bool posted = post_to_video_thread([e, force] {
        if (joystick_internal::haptic_of(e.joystick_id) != e.haptic) {
            e.refused->store(true);
            return;
        }
        SDL_HapticEffect params = sdl_constant_force(force);
        if (SDL_HapticUpdateEffect(e.haptic, e.sdl_effect, &params) != 0)
            e.refused->store(true);
    });
    return posted;
}

bool stop_haptic_effect(int effect)
{
    Effects& fx = effects();
    if (using_test_joysticks()) {
        std::lock_guard<std::mutex> lock(fx.mutex);
        auto it = fx.test.find(effect);
        if (it == fx.test.end() || it->second.destroyed)
            return false;
        it->second.playing = false;
        return true;
    }
    RealEffect e;
    if (!find_real(effect, e))
        return false;
    bool ok = false;
    run_on_video_thread([&] {
        if (joystick_internal::haptic_of(e.joystick_id) == e.haptic)
            ok = SDL_HapticStopEffect(e.haptic, e.sdl_effect) == 0;
    });
    return ok;
}

void destroy_haptic_effect(int effect)
{
    Effects& fx = effects();
    if (using_test_joysticks()) {
        std::lock_guard<std::mutex> lock(fx.mutex);
        auto it = fx.test.find(effect);
        if (it != fx.test.end()) {
            it->second.destroyed = true;
            it->second.playing = false;
        }
        return;
    }
    RealEffect e;
    if (!find_real(effect, e))
        return;
    {
        std::lock_guard<std::mutex> lock(fx.mutex);
        fx.real.erase(effect);
    }
    run_on_video_thread([e] {
        if (joystick_internal::haptic_of(e.joystick_id) == e.haptic)
            SDL_HapticDestroyEffect(e.haptic, e.sdl_effect);
    });
}

std::vector<TestHapticEffect> test_haptic_effects()
{
    Effects& fx = effects();
    std::lock_guard<std::mutex> lock(fx.mutex);
    std::vector<TestHapticEffect> out;
    for (const auto& [id, record] : fx.test)
        out.push_back(record);
    return out;
}

namespace joystick_internal {

void forget_effects_of(int joystick_id)
{
    Effects& fx = effects();
    std::lock_guard<std::mutex> lock(fx.mutex);
    std::erase_if(fx.real, [joystick_id](const auto& entry) { return entry.second.joystick_id == joystick_id; });
    for (auto& [id, record] : fx.test) {
        if (record.joystick_id == joystick_id) {
            record.destroyed = true;
            record.playing = false;
        }
    }
}

void forget_all_effects()
{
    Effects& fx = effects();
    std::lock_guard<std::mutex> lock(fx.mutex);
    fx.real.clear();
    fx.test.clear();
}

} // namespace joystick_internal

} // namespace platform
