#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/audio.h"
#include "platform/fault_seam.h"
#include "sound/sound_library.h"
#include "tests/support/temp_dir.h"
#include "tools/datakit/wav_writer.h"

namespace sound_test {

inline constexpr double kPi = 3.14159265358979323846;

// A sine of `seconds` at `hz`, 16-bit, mono or the same on both channels.
inline std::vector<std::int16_t> Sine(double hz, std::uint32_t rate, double seconds, double amplitude = 8000.0,
                                      int channels = 1)
{
    const auto frames = static_cast<std::size_t>(seconds * rate);
    std::vector<std::int16_t> s(frames * channels);
    for (std::size_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            s[i * channels + c] = static_cast<std::int16_t>(std::lround(amplitude * std::sin(2.0 * kPi * hz * i / rate)));
    return s;
}

// Rising zero crossings per second of one channel of a stereo mix.
inline double Pitch(const std::vector<std::int16_t>& pcm, int channel = 0, double rate = 22050.0)
{
    int crossings = 0;
    const std::size_t frames = pcm.size() / 2;
    for (std::size_t i = 1; i < frames; ++i)
        if (pcm[2 * (i - 1) + channel] < 0 && pcm[2 * i + channel] >= 0)
            ++crossings;
    return frames ? crossings * rate / static_cast<double>(frames) : 0.0;
}

inline int Peak(const std::vector<std::int16_t>& pcm, int channel)
{
    int most = 0;
    for (std::size_t i = static_cast<std::size_t>(channel); i < pcm.size(); i += 2)
        most = std::max(most, std::abs(static_cast<int>(pcm[i])));
    return most;
}

// A started library mixed only by the test, in a fresh working folder.
class SoundFixture : public ::testing::Test {
protected:
    SoundFixture() : dir_(torvane_test::make_temp_dir("sound")), cwd_(dir_) {}

    void SetUp() override
    {
        platform::clear_faults();
        platform::set_manual_audio_mixing(true);
        ASSERT_EQ(sound.Init(nullptr, false), kSoundOk);
    }
    void TearDown() override
    {
        sound.Shutdown();
        platform::set_manual_audio_mixing(false);
        platform::clear_faults();
    }

    // Writes a 16-bit wave file below the working folder.
    void WriteWav(const std::string& path, const std::vector<std::int16_t>& samples, std::uint32_t rate = 22050,
                  std::uint16_t channels = 1)
    {
        std::string error;
        ASSERT_TRUE(datakit::write_wav16(path, rate, channels, samples, error)) << error;
    }

    std::vector<std::int16_t> Mix(double seconds)
    {
        const auto frames = static_cast<std::size_t>(seconds * 22050.0);
        std::vector<std::int16_t> pcm(frames * 2);
        sound.Output().mix(pcm.data(), frames);
        return pcm;
    }

    std::filesystem::path dir_;
    torvane_test::ScopedCwd cwd_;
    SoundLibrary sound;
};

} // namespace sound_test
