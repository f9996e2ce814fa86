// The audio service's output: SDL's audio device when one opens, else a
// thread that mixes in real time into nothing so that the program's sounds
// and streams run their course silently.
#include <SDL.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "platform/audio_slot.h"

namespace platform {

void AudioOutput::device_callback(void* self, std::uint8_t* stream, int bytes)
{
    auto* output = static_cast<AudioOutput*>(self);
    // The device asks for 16-bit stereo frames; whatever it asks for is
    // filled, with silence where nothing plays.
    output->mix(reinterpret_cast<std::int16_t*>(stream), static_cast<std::size_t>(bytes) / 4);
}

bool AudioOutput::start_device()
{
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        std::fprintf(stderr, "audio: no sound output (%s); sounds run silently\n", SDL_GetError());
        return false;
    }
    SDL_AudioSpec want{};
    want.freq = static_cast<int>(format().rate);
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = static_cast<Uint16>(kPassFrames);
    want.callback = &AudioOutput::device_callback;
    want.userdata = this;
    SDL_AudioSpec have{};
    // No changes allowed: SDL converts to what the device takes.
    const SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (device == 0) {
        std::fprintf(stderr, "audio: the sound device does not open (%s); sounds run silently\n", SDL_GetError());
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    device_ = device;
    SDL_PauseAudioDevice(device, 0);
    return true;
}

void AudioOutput::stop_device()
{
    if (device_ == 0)
        return;
    // Closing waits for a callback in progress, so no mix runs after it.
    SDL_CloseAudioDevice(device_);
    device_ = 0;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void AudioOutput::start_pacer()
{
    pacer_stop_.store(false);
    pacer_.start([this] {
        std::int16_t pass[2 * kPassFrames];
        const auto start = std::chrono::steady_clock::now();
        std::uint64_t frames = 0;
        while (!pacer_stop_.load()) {
            mix(pass, kPassFrames);
            frames += kPassFrames;
            const std::uint32_t rate = format().rate;
            const auto due = start + std::chrono::microseconds(frames * 1000000 / rate);
            std::this_thread::sleep_until(due);
        }
    });
}

void AudioOutput::stop_pacer()
{
    pacer_stop_.store(true);
    pacer_.join();
}

} // namespace platform
