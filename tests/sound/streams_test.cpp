#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/file.h"
#include "tests/sound/sound_fixture.h"

using namespace sound_test;

namespace {

// Frame i of the test music: a sequence that never repeats within a block
// and shows any skipped, repeated or stale frame.
std::vector<std::int16_t> Music(std::size_t frames)
{
    std::vector<std::int16_t> s(frames);
    for (std::size_t i = 0; i < frames; ++i)
        s[i] = static_cast<std::int16_t>(static_cast<int>((i * 7) % 20000) - 10000 + (i % 3));
    return s;
}

} // namespace

class Streams : public SoundFixture {
protected:
    // Mixes `frames` frames in passes of the output's size, waiting after
    // each pass until the refill thread has answered every notification the
    // pass gave (a device gives the thread a pass's time at least).
    std::vector<std::int16_t> Play(int channel, std::size_t frames)
    {
        const SoundStream& s = sound.Stream(channel);
        const std::uint32_t align = s.m_Format.block_align();
        const std::uint32_t blockFrames = s.m_uBlockSize / align;
        const std::uint32_t bufferFrames = s.m_uBufferSize / align;
        std::vector<std::int16_t> out;
        while (frames > 0) {
            const std::size_t pass = std::min<std::size_t>(frames, platform::AudioOutput::kPassFrames);
            for (std::size_t i = 0; i < pass; ++i) {
                const std::uint64_t f = (played_ + i) % bufferFrames;
                if ((f % blockFrames == 0 && f != 0) || f == bufferFrames - 1)
                    ++notified_;
            }
            played_ += pass;
            std::vector<std::int16_t> pcm(pass * 2);
            sound.Output().mix(pcm.data(), pass);
            out.insert(out.end(), pcm.begin(), pcm.end());
            frames -= pass;
            WaitForRefills(s);
        }
        return out;
    }
    void WaitForRefills(const SoundStream& s)
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!s.m_bFinished.load() && s.m_uBlocksWritten.load() < notified_ &&
               std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    void Restarted()
    {
        played_ = 0;
        notified_ = 0;
    }

    std::uint64_t played_ = 0;
    std::uint32_t notified_ = 0;
};

TEST_F(Streams, ALongFilePlaysGapFreeAcrossItsBlocksAndEndsInSilence)
{
    const std::vector<std::int16_t> music = Music(22050 * 5 + 123);
    WriteWav("music.wav", music);
    ASSERT_EQ(sound.OpenStream("music.wav", 0), kSoundOk);
    EXPECT_EQ(sound.Stream(0).m_uBlockSize, 3676u); // a twelfth of a second of whole frames
    EXPECT_EQ(sound.Stream(0).m_uBufferSize, 24u * 3676u);
    ASSERT_EQ(sound.StartStream(false, 0), 0);
    const std::vector<std::int16_t> pcm = Play(0, music.size() + 22050 * 3);
    for (std::size_t i = 0; i < music.size(); ++i) {
        ASSERT_EQ(pcm[2 * i], music[i]) << "frame " << i;
        ASSERT_EQ(pcm[2 * i + 1], music[i]) << "frame " << i;
    }
    for (std::size_t i = music.size(); i < pcm.size() / 2; ++i)
        ASSERT_EQ(pcm[2 * i], 0) << "frame " << i << " after the end";
    // The thread has ended by itself; stopping does not wait for it.
    EXPECT_TRUE(sound.Stream(0).m_bFinished.load());
    sound.StopStream(0);
    EXPECT_FALSE(sound.Stream(0).m_Thread.joinable());
    EXPECT_FALSE(sound.Stream(0).m_bOpen);
}

TEST_F(Streams, AShortLoopWrapsInsideTheBufferAndPlaysSeamlessly)
{
    const std::vector<std::int16_t> music = Music(22050 * 3 / 10);
    WriteWav("loop.wav", music);
    ASSERT_EQ(sound.OpenStream("loop.wav", 1), kSoundOk);
    ASSERT_EQ(sound.StartStream(true, 1), 0);
    const std::vector<std::int16_t> pcm = Play(1, 22050 * 5);
    for (std::size_t i = 0; i < pcm.size() / 2; ++i)
        ASSERT_EQ(pcm[2 * i], music[i % music.size()]) << "frame " << i;
    EXPECT_FALSE(sound.Stream(1).m_bFinished.load());
    sound.StopStream(1);
    EXPECT_TRUE(sound.Stream(1).m_bFinished.load());
}

TEST_F(Streams, StopRestartAndCloseWhilePlaying)
{
    const std::vector<std::int16_t> music = Music(22050 * 4);
    WriteWav("music.wav", music);
    WriteWav("other.wav", Music(22050 * 4));
    ASSERT_EQ(sound.OpenStream("music.wav", 0), kSoundOk);
    ASSERT_EQ(sound.StartStream(true, 0), 0);
    Play(0, 22050);
    // Started again while playing: the old thread ends, the music starts over.
    ASSERT_EQ(sound.StartStream(true, 0), 0);
    Restarted();
    std::vector<std::int16_t> pcm = Play(0, 22050 * 3);
    for (std::size_t i = 0; i < pcm.size() / 2; ++i)
        ASSERT_EQ(pcm[2 * i], music[i]) << "frame " << i;
    // Stopped and opened again.
    sound.StopStream(0);
    EXPECT_FALSE(sound.Stream(0).m_Thread.joinable());
    EXPECT_EQ(Peak(Play(0, 1000), 0), 0);
    ASSERT_EQ(sound.OpenStream("music.wav", 0), kSoundOk);
    ASSERT_EQ(sound.StartStream(true, 0), 0);
    Restarted();
    pcm = Play(0, 22050);
    EXPECT_EQ(pcm[2 * 1000], music[1000]);
    // Opening another file on the playing channel stops it first.
    ASSERT_EQ(sound.OpenStream("other.wav", 0), kSoundOk);
    EXPECT_TRUE(sound.Stream(0).m_bFinished.load());
    EXPECT_FALSE(sound.Stream(0).m_Thread.joinable());
    ASSERT_EQ(sound.StartStream(true, 0), 0);
    // Shut down while playing: both channels stop and their threads end.
    EXPECT_EQ(sound.Shutdown(), kSoundOk);
    EXPECT_FALSE(sound.Stream(0).m_Thread.joinable());
}

TEST_F(Streams, AnUnderrunIsAGapNeverOldMusicAgain)
{
    // The refill thread fails at its first block and ends: what was written
    // plays once, then the channel is silent.
    const std::vector<std::int16_t> music = Music(22050 * 5);
    WriteWav("music.wav", music);
    ASSERT_EQ(sound.OpenStream("music.wav", 0), kSoundOk);
    ASSERT_EQ(sound.StartStream(true, 0), 0);
    platform::fail_next(platform::Fault::AudioBufferLock);
    const std::uint32_t held = sound.Stream(0).m_uBufferSize / 2;
    const std::vector<std::int16_t> pcm = Play(0, 22050 * 4);
    for (std::size_t i = 0; i < held; ++i)
        ASSERT_EQ(pcm[2 * i], music[i]) << "frame " << i;
    for (std::size_t i = held; i < pcm.size() / 2; ++i)
        ASSERT_EQ(pcm[2 * i], 0) << "frame " << i;
    EXPECT_TRUE(sound.Stream(0).m_bFinished.load());
    sound.StopStream(0);
}

// An 8-bit file's samples mix as (byte - 128) x 256; after its end, and in
// the gap a failed refill leaves, the channel mixes as silence (0), not as
// bytes of 0 (-128 x 256).
TEST_F(Streams, AnEightBitFilesEndAndGapsMixAsSilence)
{
    std::vector<std::uint8_t> bytes(22050 * 3);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(128 + static_cast<int>((i * 7) % 61) - 30);
    ASSERT_TRUE(platform::write_whole_file("music8.wav", datakit::wav_bytes(22050, 8, 1, bytes)));
    const auto sample = [&](std::size_t i) { return static_cast<std::int16_t>((int(bytes[i]) - 128) * 256); };

    ASSERT_EQ(sound.OpenStream("music8.wav", 0), kSoundOk);
    ASSERT_EQ(sound.StartStream(false, 0), 0);
    std::vector<std::int16_t> pcm = Play(0, bytes.size() + 22050 * 2);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        ASSERT_EQ(pcm[2 * i], sample(i)) << "frame " << i;
    for (std::size_t i = bytes.size(); i < pcm.size() / 2; ++i)
        ASSERT_EQ(pcm[2 * i], 0) << "frame " << i << " after the end";
    sound.StopStream(0);

    ASSERT_EQ(sound.OpenStream("music8.wav", 0), kSoundOk);
    ASSERT_EQ(sound.StartStream(true, 0), 0);
    Restarted();
    platform::fail_next(platform::Fault::AudioBufferLock);
    const std::uint32_t held = sound.Stream(0).m_uBufferSize;  // one byte a frame
    ASSERT_LT(held, bytes.size());
    pcm = Play(0, 22050 * 4);
    for (std::size_t i = 0; i < held; ++i)
        ASSERT_EQ(pcm[2 * i], sample(i)) << "frame " << i;
    for (std::size_t i = held; i < pcm.size() / 2; ++i)
        ASSERT_EQ(pcm[2 * i], 0) << "frame " << i << " in the gap";
    sound.StopStream(0);
}

TEST_F(Streams, AThreadWokenLateCatchesUp)
{
    // Several blocks played before the thread can answer (the test mixes
    // half a second at once): it refills them all on waking.
    const std::vector<std::int16_t> music = Music(22050 * 6);
    WriteWav("music.wav", music);
    ASSERT_EQ(sound.OpenStream("music.wav", 0), kSoundOk);
    ASSERT_EQ(sound.StartStream(false, 0), 0);
    std::vector<std::int16_t> pcm;
    for (int k = 0; k < 14; ++k) {
        const std::vector<std::int16_t> part = Mix(0.5);
        pcm.insert(pcm.end(), part.begin(), part.end());
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        std::uint32_t ahead = 0;
        while (sound.Output().filled_ahead(sound.Stream(0).m_Buffer, ahead) &&
               ahead + sound.Stream(0).m_uBlockSize <= sound.Stream(0).m_uBufferSize &&
               !sound.Stream(0).m_bFinished.load() && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    for (std::size_t i = 0; i < music.size(); ++i)
        ASSERT_EQ(pcm[2 * i], music[i]) << "frame " << i;
    for (std::size_t i = music.size(); i < pcm.size() / 2; ++i)
        ASSERT_EQ(pcm[2 * i], 0) << "frame " << i;
    sound.StopStream(0);
}

TEST_F(Streams, StartingTheLibraryAgainLeavesAPlayingStreamAlone)
{
    const std::vector<std::int16_t> music = Music(22050 * 3);
    WriteWav("music.wav", music);
    ASSERT_EQ(sound.OpenStream("music.wav", 0), kSoundOk);
    ASSERT_EQ(sound.StartStream(true, 0), 0);
    Play(0, 22050);
    EXPECT_EQ(sound.Init(nullptr, false), kSoundOk); // a menu set loading
    EXPECT_FALSE(sound.Stream(0).m_bFinished.load());
    const std::vector<std::int16_t> pcm = Play(0, 22050 * 2);
    for (std::size_t i = 0; i < pcm.size() / 2; ++i)
        ASSERT_EQ(pcm[2 * i], music[22050 + i]) << "frame " << i;
    sound.StopStream(0);
    EXPECT_FALSE(sound.Stream(0).m_Thread.joinable());
}

TEST_F(Streams, RefusalsAndFailures)
{
    EXPECT_EQ(sound.StartStream(true, 0), -1); // nothing open
    EXPECT_EQ(sound.OpenStream("missing.wav", 0), kSoundFileError);
    EXPECT_EQ(sound.OpenStream("missing.wav", 2), kSoundUnknownError);
    std::vector<std::uint8_t> bad = datakit::wav_bytes(22050, 16, 1, {});
    ASSERT_TRUE(platform::write_whole_file("empty.wav", bad));
    EXPECT_EQ(sound.OpenStream("empty.wav", 0), kSoundFileError); // no data to loop
    bad = datakit::wav_bytes(22050, 16, 1, datakit::pcm16_bytes(Music(100)));
    bad[32] = 0; // block align 0
    ASSERT_TRUE(platform::write_whole_file("align.wav", bad));
    EXPECT_EQ(sound.OpenStream("align.wav", 0), kSoundFileError);

    WriteWav("music.wav", Music(22050));
    platform::fail_next(platform::Fault::AudioBufferCreate);
    EXPECT_EQ(sound.OpenStream("music.wav", 0), kSoundBufferError);
    // A buffer that cannot be filled: refused and released (more of them
    // than the output holds), nothing open.
    for (int i = 0; i < platform::AudioOutput::kMaxBuffers + 1; ++i) {
        platform::fail_next(platform::Fault::AudioBufferLock);
        ASSERT_EQ(sound.OpenStream("music.wav", 0), kSoundBufferError) << i;
    }
    EXPECT_FALSE(sound.Stream(0).m_bOpen);
    EXPECT_EQ(sound.Stream(0).m_Buffer, platform::kNoAudioBuffer);
    EXPECT_EQ(sound.StartStream(true, 0), -1);
    ASSERT_EQ(sound.OpenStream("music.wav", 0), kSoundOk);
    platform::fail_next(platform::Fault::AudioBufferNotify);
    EXPECT_EQ(sound.StartStream(true, 0), -1);
    platform::fail_next(platform::Fault::ThreadCreate);
    EXPECT_EQ(sound.StartStream(true, 0), -1);
    platform::fail_next(platform::Fault::AudioBufferPlay);
    EXPECT_EQ(sound.StartStream(true, 0), -1);
    EXPECT_FALSE(sound.Stream(0).m_Thread.joinable());
    // A failed refill ends the thread quietly; stopping still works.
    ASSERT_EQ(sound.StartStream(true, 0), 0);
    platform::fail_next(platform::Fault::AudioBufferLock);
    Play(0, 22050 / 6);
    sound.StopStream(0);
    EXPECT_FALSE(sound.Stream(0).m_Thread.joinable());
}

TEST_F(Streams, VolumeOfAChannel)
{
    WriteWav("music.wav", std::vector<std::int16_t>(22050, 10000));
    sound.SetStreamVolume(0.5f, 0);
    ASSERT_EQ(sound.OpenStream("music.wav", 0), kSoundOk);
    ASSERT_EQ(sound.StartStream(true, 0), 0);
    EXPECT_NEAR(Peak(Play(0, 2000), 0), 5000, 10);
    sound.SetStreamVolume(0.0f, 0);
    EXPECT_EQ(Peak(Play(0, 2000), 0), 0);
    EXPECT_EQ(sound.m_fStreamVolume[0], 0.0f);
}
