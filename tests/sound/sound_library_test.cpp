#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/fault_seam.h"
#include "sound/sound_library.h"
#include "tests/sound/sound_fixture.h"

using namespace sound_test;

TEST(SoundLibrary, NotStartedItDoesNothingAndSaysSo)
{
    SoundLibrary sound;
    EXPECT_FALSE(sound.Initialised());
    EXPECT_EQ(sound.Shutdown(), kSoundCannotShutdown);
    EXPECT_EQ(sound.m_nCurrentSet, -1);
    EXPECT_EQ(sound.m_fEffectsVolume, 1.0f);
    // Every call returns its neutral value without an output.
    EXPECT_EQ(sound.AddSample("missing.wav", 0, false, false), kSoundOk);
    EXPECT_EQ(sound.Play(0, 0, kSoundKeep, kSoundKeepF, kSoundKeep, 0), kSoundOk);
    EXPECT_EQ(sound.LoadWav("engines.dat", "Bike", "", 20), -1);
    EXPECT_EQ(sound.PlaySoundSet(0, 5000.0f, 0.01f, 1.0f), kSoundOk);
    EXPECT_EQ(sound.OpenStream("music.wav", 0), kSoundOk);
    EXPECT_EQ(sound.StartStream(true, 0), kSoundOk);
    EXPECT_EQ(sound.StopVoice(0, 0), kSoundUnknownError);
    EXPECT_EQ(sound.StopAllSamples(), kSoundUnknownError);
    sound.StopStream(0);
    sound.Update3DSounds(0.1f, 12);
}

TEST(SoundLibrary, ResultTexts)
{
    EXPECT_STREQ(SoundLibrary::GetErrorText(kSoundOk), "OK");
    EXPECT_STREQ(SoundLibrary::GetErrorText(kSoundTooManySamples), "Too many samples loaded (increase SND_MAXSAMP)");
    EXPECT_STREQ(SoundLibrary::GetErrorText(kSoundCannotShutdown), "Cannot uninitialize Sound Driver");
    EXPECT_STREQ(SoundLibrary::GetErrorText(10), "Unknown or undefined error");
    EXPECT_STREQ(SoundLibrary::GetErrorText(-1), "Unknown or undefined error");
}

TEST(SoundLibrary, AnOutputThatDoesNotStartIsReportedAndLeavesTheLibrarySilent)
{
    platform::set_manual_audio_mixing(true);
    SoundLibrary sound;
    platform::fail_next(platform::Fault::AudioOpen);
    EXPECT_EQ(sound.Init(nullptr, false), kSoundInitError);
    EXPECT_FALSE(sound.Initialised());
    EXPECT_EQ(sound.AddSample("any.wav", 0, false, false), kSoundOk);
    EXPECT_EQ(sound.Init(nullptr, false), kSoundOk);
    EXPECT_EQ(sound.Shutdown(), kSoundOk);
    EXPECT_EQ(sound.Shutdown(), kSoundCannotShutdown);
    platform::set_manual_audio_mixing(false);
}

using SoundCore = SoundFixture;

TEST_F(SoundCore, StartsAt22050Hz16BitStereoAndNeverRaisesTheMasterAboveItsStartLevel)
{
    const platform::PcmFormat f = sound.Output().format();
    EXPECT_EQ(f.rate, 22050u);
    EXPECT_EQ(f.bits, 16);
    EXPECT_EQ(f.channels, 2);
    sound.SetVolume(0.5f);
    EXPECT_EQ(sound.Output().master_volume(), static_cast<std::int32_t>(1200.0 * std::log10(0.5)));
    sound.SetVolume(1.0f);
    EXPECT_EQ(sound.Output().master_volume(), 0);
    sound.Mute();
    EXPECT_EQ(sound.Output().master_volume(), -10000);
    sound.Unmute();
    EXPECT_EQ(sound.Output().master_volume(), 0);
    sound.SetFormat(44100, 16, 2);
    EXPECT_EQ(sound.Output().format().rate, 44100u);
    sound.SetFormat(0, 16, 2); // refused, the format stays
    EXPECT_EQ(sound.Output().format().rate, 44100u);
}

TEST_F(SoundCore, FreeingSamplesTakesTheirVoicesAndStopAllStopsEverySample)
{
    WriteWav("a.wav", Sine(440.0, 22050, 0.2));
    ASSERT_EQ(sound.AddSample("a.wav", 3, false, false), kSoundOk);
    ASSERT_EQ(sound.AddSample("a.wav", 200, false, false), kSoundOk); // ids beyond 63 too
    ASSERT_EQ(sound.Play(3, 0, kSoundKeep, kSoundKeepF, kSoundKeep, kPlayLoop), kSoundOk);
    ASSERT_EQ(sound.Play(3, 1, kSoundKeep, kSoundKeepF, kSoundKeep, kPlayLoop), kSoundOk);
    ASSERT_EQ(sound.Play(200, 0, kSoundKeep, kSoundKeepF, kSoundKeep, kPlayLoop), kSoundOk);
    EXPECT_EQ(sound.StopAllSamples(), kSoundOk);
    EXPECT_EQ(Peak(Mix(0.05), 0), 0);

    EXPECT_EQ(sound.FreeSample(7), kSoundBadId);
    EXPECT_EQ(sound.FreeSample(3), kSoundOk);
    SoundSlot* slot = nullptr;
    EXPECT_FALSE(sound.FindVoice(3, 1, slot));
    sound.FreeAllSamples();
    EXPECT_EQ(sound.FindSample(200), -1);
    EXPECT_EQ(sound.SampleCount(), 0);
    EXPECT_EQ(sound.AddSample("a.wav", 3, false, false), kSoundOk);
}

// With no sound device at all the library starts, every call does its work
// and the music's refill thread is driven in real time, silently.
TEST(SoundLibraryWithoutDevice, RunsSilentlyWithEveryCallWorking)
{
    const std::filesystem::path dir = torvane_test::make_temp_dir("no_device");
    torvane_test::ScopedCwd cwd(dir);
    std::string error;
    ASSERT_TRUE(datakit::write_wav16("tone.wav", 22050, 1, Sine(441.0, 22050, 0.05), error)) << error;
    ASSERT_TRUE(datakit::write_wav16("music.wav", 22050, 2, Sine(220.0, 22050, 3.0, 8000.0, 2), error)) << error;
    const char* old = std::getenv("SDL_AUDIODRIVER");
    const std::string saved = old ? old : "";
    setenv("SDL_AUDIODRIVER", "no_such_driver", 1);
    {
        SoundLibrary sound;
        ASSERT_EQ(sound.Init(nullptr, false), kSoundOk);
        EXPECT_FALSE(sound.Output().has_device());
        ASSERT_EQ(sound.AddSample("tone.wav", 1, true, true), kSoundOk);
        EXPECT_EQ(sound.Play(1, 0, kSoundKeep, kSoundKeepF, kSoundKeep, 0), kSoundOk);
        ASSERT_EQ(sound.OpenStream("music.wav", 0), kSoundOk);
        ASSERT_EQ(sound.StartStream(true, 0), 0);
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (sound.Stream(0).m_uBlocksWritten.load() < 3 && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_GE(sound.Stream(0).m_uBlocksWritten.load(), 3u);
        platform::AudioBufferStatus st;
        sound.Output().status(sound.Sample(sound.FindSample(1)).m_Buffer, st);
        EXPECT_FALSE(st.playing); // the one-shot has run its course
        EXPECT_EQ(sound.Shutdown(), kSoundOk);
        EXPECT_FALSE(sound.Stream(0).m_Thread.joinable());
    }
    setenv("SDL_AUDIODRIVER", saved.c_str(), 1);
}
