#include <gtest/gtest.h>

#include "tests/sound/sound_fixture.h"

using namespace sound_test;

namespace {

bool Playing(SoundLibrary& sound, const SoundSlot& slot)
{
    platform::AudioBufferStatus st;
    sound.Output().status(slot.m_Buffer, st);
    return st.playing;
}

} // namespace

class Voices : public SoundFixture {
protected:
    void SetUp() override
    {
        SoundFixture::SetUp();
        WriteWav("tone.wav", Sine(441.0, 22050, 1.0));
        ASSERT_EQ(sound.AddSample("tone.wav", 1, false, false), kSoundOk);
    }
    std::int32_t PlayLoop(std::int32_t instance, std::uint8_t flags = kPlayLoop)
    {
        return sound.Play(1, instance, kSoundKeep, kSoundKeepF, kSoundKeep, flags);
    }
};

TEST_F(Voices, InstancesPlayOnTheSamplesOwnBufferAndOnDuplicates)
{
    ASSERT_EQ(PlayLoop(0), kSoundOk);
    ASSERT_EQ(PlayLoop(1), kSoundOk);
    ASSERT_EQ(PlayLoop(2), kSoundOk);
    SoundSlot *own = nullptr, *one = nullptr, *two = nullptr;
    ASSERT_TRUE(sound.FindVoice(1, 0, own));
    ASSERT_TRUE(sound.FindVoice(1, 1, one));
    ASSERT_TRUE(sound.FindVoice(1, 2, two));
    EXPECT_EQ(own, &sound.Sample(sound.FindSample(1)));
    EXPECT_EQ(one, &sound.Voice(0));
    EXPECT_EQ(two, &sound.Voice(1));
    EXPECT_EQ(sound.StopVoice(1, 1), kSoundOk);
    EXPECT_TRUE(Playing(sound, *own));
    EXPECT_FALSE(Playing(sound, *one));
    EXPECT_TRUE(Playing(sound, *two));
    EXPECT_EQ(sound.StopVoice(1, 9), kSoundUnknownError);
    EXPECT_EQ(sound.Play(2, 0, kSoundKeep, kSoundKeepF, kSoundKeep, 0), kSoundCannotPlay); // no such sample
}

TEST_F(Voices, The97thSimultaneousVoiceIsRefused)
{
    ASSERT_EQ(PlayLoop(0), kSoundOk);
    for (int i = 1; i <= kSoundMaxVoices; ++i)
        ASSERT_EQ(PlayLoop(i), kSoundOk) << i;
    EXPECT_EQ(PlayLoop(kSoundMaxVoices + 1), kSoundCannotPlay);
    // A duplicate the output refuses.
    sound.FreeAllSamples();
    ASSERT_EQ(sound.AddSample("tone.wav", 1, false, false), kSoundOk);
    ASSERT_EQ(PlayLoop(0), kSoundOk);
    platform::fail_next(platform::Fault::AudioBufferDuplicate);
    EXPECT_EQ(PlayLoop(1), kSoundBufferError);
}

TEST_F(Voices, OwnBufferFlags)
{
    ASSERT_EQ(PlayLoop(0), kSoundOk);
    Mix(0.1);
    const SoundSlot& own = sound.Sample(sound.FindSample(1));
    std::uint32_t cursor = 0;
    sound.Output().position(own.m_Buffer, cursor);
    EXPECT_GT(cursor, 0u);
    // 0x04 on a playing sample does nothing.
    EXPECT_EQ(PlayLoop(0, kPlayOwnIfIdle), kSoundOk);
    std::uint32_t after = 0;
    sound.Output().position(own.m_Buffer, after);
    EXPECT_EQ(after, cursor);
    // 0x02 restarts it.
    EXPECT_EQ(PlayLoop(0, kPlayRestartOwn), kSoundOk);
    sound.Output().position(own.m_Buffer, after);
    EXPECT_EQ(after, 0u);
    EXPECT_TRUE(Playing(sound, own));
}

TEST_F(Voices, ValuesOfAPlayAndTheKeepMarker)
{
    sound.SetMusicVolume(0.5f);
    ASSERT_EQ(sound.Play(1, 0, 44100, 0.5f, 10000, kPlayLoop), kSoundOk);
    const SoundSlot& own = sound.Sample(sound.FindSample(1));
    std::int32_t level = 0, pan = 0;
    std::uint32_t hz = 0;
    sound.Output().volume(own.m_Buffer, level);
    sound.Output().pan(own.m_Buffer, pan);
    sound.Output().frequency(own.m_Buffer, hz);
    EXPECT_EQ(level, static_cast<std::int32_t>(2000.0 * std::log10(0.25)));
    EXPECT_EQ(pan, 10000);
    EXPECT_EQ(hz, 44100u);
    const std::vector<std::int16_t> pcm = Mix(0.5);
    EXPECT_EQ(Peak(pcm, 0), 0);
    EXPECT_NEAR(Pitch(pcm, 1), 882.0, 9.0);

    // 0x10 on a live voice only stores the frequency; 0x20 frequency and volume.
    EXPECT_EQ(sound.Play(1, 0, 30000, 1.0f, 0, kPlayUpdateFrequency), kSoundOk);
    EXPECT_EQ(own.m_nFrequency, 30000);
    EXPECT_EQ(own.m_fVolume, 0.5f);
    EXPECT_EQ(sound.Play(1, 0, 200000, 0.8f, 0, kPlayUpdateValues), kSoundOk);
    EXPECT_EQ(own.m_nFrequency, 100000); // clamped
    EXPECT_EQ(own.m_fVolume, 0.8f);
    EXPECT_EQ(sound.SetVoiceFrequency(1, 0, 50), kSoundOk);
    sound.Output().frequency(own.m_Buffer, hz);
    EXPECT_EQ(hz, 100u);
}

TEST_F(Voices, AReusedStoppedVoiceStartsWithTheCallsValues)
{
    ASSERT_EQ(PlayLoop(0), kSoundOk);
    ASSERT_EQ(PlayLoop(1), kSoundOk);
    ASSERT_EQ(sound.StopVoice(1, 1), kSoundOk);
    ASSERT_EQ(sound.Play(1, 7, 11025, 0.5f, -10000, 0), kSoundOk);
    SoundSlot* voice = nullptr;
    ASSERT_TRUE(sound.FindVoice(1, 7, voice));
    EXPECT_EQ(voice, &sound.Voice(0));
    EXPECT_TRUE(Playing(sound, *voice));
    std::uint32_t hz = 0;
    std::int32_t pan = 0;
    sound.Output().frequency(voice->m_Buffer, hz);
    sound.Output().pan(voice->m_Buffer, pan);
    EXPECT_EQ(hz, 11025u);
    EXPECT_EQ(pan, -10000);
    EXPECT_EQ(voice->m_fVolume, 0.5f);
}

TEST_F(Voices, PauseResumeAndReleaseWhenFinished)
{
    WriteWav("short.wav", Sine(441.0, 22050, 0.05));
    ASSERT_EQ(sound.AddSample("short.wav", 2, false, true), kSoundOk);
    ASSERT_EQ(sound.Play(2, 0, kSoundKeep, kSoundKeepF, kSoundKeep, 0), kSoundOk);
    ASSERT_EQ(sound.Play(2, 1, kSoundKeep, kSoundKeepF, kSoundKeep, 0), kSoundOk);
    ASSERT_EQ(sound.PauseVoice(2, 1), kSoundOk);
    Mix(0.1);
    sound.ReleaseFinishedVoices(); // the paused voice is not finished
    SoundSlot* voice = nullptr;
    ASSERT_TRUE(sound.FindVoice(2, 1, voice));
    ASSERT_EQ(sound.ResumeVoice(2, 1), kSoundOk);
    Mix(0.1);
    sound.ReleaseFinishedVoices();
    EXPECT_FALSE(sound.FindVoice(2, 1, voice));
    EXPECT_TRUE(sound.FindVoice(2, 0, voice)); // a sample's own buffer stays
}
