// Cost of the sound mixer: CPU time per second of audio mixed, by the
// number of voices playing (each resampled from its own pitch), and the
// same with the library positioning 32 voices every frame of a 60 fps race.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/audio.h"
#include "sound/sound_library.h"
#include "tools/datakit/wav_writer.h"

namespace {

constexpr std::size_t kSecond = 22050;
constexpr double kPi = 3.14159265358979323846;

std::vector<std::int16_t> Tone(std::size_t frames, double hz)
{
    std::vector<std::int16_t> s(frames);
    for (std::size_t i = 0; i < frames; ++i)
        s[i] = static_cast<std::int16_t>(2000.0 * std::sin(2.0 * kPi * hz * static_cast<double>(i) / 22050.0));
    return s;
}

// One second of audio mixed per iteration, with `voices` looping voices
// (duplicates of one sample) at different pitches, panned about.
void BM_MixSecond(benchmark::State& state)
{
    platform::set_manual_audio_mixing(true);
    platform::AudioOutput out;
    out.open();
    const std::vector<std::int16_t> tone = Tone(11025, 220.0);
    const platform::AudioBufferId sample = out.create_buffer(platform::PcmFormat{22050, 16, 1}, 22050, false);
    platform::AudioLock lock;
    out.lock(sample, 0, 0, lock);
    std::copy(tone.begin(), tone.end(), reinterpret_cast<std::int16_t*>(lock.part1));
    const auto voices = static_cast<int>(state.range(0));
    for (int v = 0; v < voices; ++v) {
        const platform::AudioBufferId id = v == 0 ? sample : out.duplicate(sample);
        out.set_frequency(id, 11025 + 900 * static_cast<std::uint32_t>(v));
        out.set_pan(id, (v % 5 - 2) * 3000);
        out.set_volume(id, -600);
        out.play(id, true);
    }
    std::vector<std::int16_t> pcm(kSecond * 2);
    for (auto _ : state) {
        out.mix(pcm.data(), kSecond);
        benchmark::DoNotOptimize(pcm.data());
    }
    state.counters["voices"] = voices;
    state.counters["us_per_voice_second"] =
        benchmark::Counter(static_cast<double>(voices) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    out.close();
    platform::set_manual_audio_mixing(false);
}
BENCHMARK(BM_MixSecond)->Arg(1)->Arg(8)->Arg(32)->Arg(96)->Unit(benchmark::kMillisecond);

// A second of a race's sound: 32 positioned engine voices circling the
// listener, repositioned 60 times a second and mixed between.
void BM_PositionedRaceSecond(benchmark::State& state)
{
    platform::set_manual_audio_mixing(true);
    std::string error;
    const std::string file = (std::filesystem::temp_directory_path() / "torvane_sound_bench.wav").string();
    datakit::write_wav16(file, 22050, 1, Tone(22050, 110.0), error);
    SoundLibrary sound;
    sound.Init(nullptr, false);
    sound.AddSample(file.c_str(), 1, true, false);
    const float still[3] = {0, 0, 0}, front[3] = {0, 0, 1}, up[3] = {0, 1, 0};
    sound.SetListener(still, still, front, up);
    std::vector<std::int16_t> pcm(kSecond / 60 * 2 + 2);
    double t = 0.0;
    for (auto _ : state) {
        for (int frame = 0; frame < 60; ++frame) {
            t += 1.0 / 60.0;
            for (int bike = 0; bike < 32; ++bike) {
                const double a = t * 0.5 + bike * 0.2;
                sound.SetVoiceDistance(1, bike + 1, 1.0f, 400.0f);
                sound.SetVoicePosition(1, bike + 1, static_cast<float>(50.0 * std::sin(a)), 0.0f,
                                       static_cast<float>(10.0 * bike * std::cos(a)));
                sound.Play(1, bike + 1, 2000 + 2 * (6000 + 100 * bike), 0.4f, kSoundKeep, 0x19);
            }
            sound.Update3DSounds(1.0f / 60.0f, 32);
            sound.Output().mix(pcm.data(), kSecond / 60);
        }
        benchmark::DoNotOptimize(pcm.data());
    }
    sound.Shutdown();
    std::remove(file.c_str());
    platform::set_manual_audio_mixing(false);
}
BENCHMARK(BM_PositionedRaceSecond)->Unit(benchmark::kMillisecond);

} // namespace
