#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/audio.h"
#include "platform/fault_seam.h"
#include "platform/sync_event.h"

using namespace platform;

namespace {

constexpr double kPi = 3.14159265358979323846;

// An output mixed only by the test.
class ManualOutput : public ::testing::Test {
protected:
    void SetUp() override
    {
        clear_faults();
        set_manual_audio_mixing(true);
        ASSERT_TRUE(out.open());
    }
    void TearDown() override
    {
        out.close();
        set_manual_audio_mixing(false);
        clear_faults();
    }

    // A mono 16-bit buffer holding `samples`.
    AudioBufferId mono(const std::vector<std::int16_t>& samples, std::uint32_t rate = 22050, bool streamed = false)
    {
        const AudioBufferId id = out.create_buffer(PcmFormat{rate, 16, 1}, static_cast<std::uint32_t>(samples.size() * 2), streamed);
        EXPECT_NE(id, kNoAudioBuffer);
        AudioLock lock;
        EXPECT_TRUE(out.lock(id, 0, 0, lock));
        std::memcpy(lock.part1, samples.data(), lock.bytes1);
        EXPECT_TRUE(out.unlock(id, lock));
        return id;
    }

    std::vector<std::int16_t> mix(std::size_t frames)
    {
        std::vector<std::int16_t> pcm(frames * 2);
        out.mix(pcm.data(), frames);
        return pcm;
    }

    AudioOutput out;
};

std::vector<std::int16_t> sine(std::size_t frames, double hz, double rate, double amplitude)
{
    std::vector<std::int16_t> s(frames);
    for (std::size_t i = 0; i < frames; ++i)
        s[i] = static_cast<std::int16_t>(std::lround(amplitude * std::sin(2.0 * kPi * hz * static_cast<double>(i) / rate)));
    return s;
}

// Rising zero crossings of one channel of a stereo mix, per second.
double pitch(const std::vector<std::int16_t>& pcm, int channel, double rate)
{
    int crossings = 0;
    const std::size_t frames = pcm.size() / 2;
    for (std::size_t i = 1; i < frames; ++i)
        if (pcm[2 * (i - 1) + channel] < 0 && pcm[2 * i + channel] >= 0)
            ++crossings;
    return crossings * rate / static_cast<double>(frames);
}

double peak(const std::vector<std::int16_t>& pcm, int channel)
{
    int most = 0;
    for (std::size_t i = channel; i < pcm.size(); i += 2)
        most = std::max(most, std::abs(static_cast<int>(pcm[i])));
    return most;
}

} // namespace

TEST_F(ManualOutput, FullLevelPannedRightIsHeardOnlyOnTheRightAtItsOwnLevel)
{
    const std::vector<std::int16_t> tone = sine(1000, 441.0, 22050.0, 12000.0);
    const AudioBufferId id = mono(tone);
    ASSERT_TRUE(out.set_pan(id, kAudioPanRight));
    ASSERT_TRUE(out.play(id, false));
    const std::vector<std::int16_t> pcm = mix(1000);
    for (std::size_t i = 0; i < tone.size(); ++i) {
        ASSERT_EQ(pcm[2 * i], 0) << "left at frame " << i;
        ASSERT_EQ(pcm[2 * i + 1], tone[i]) << "right at frame " << i;
    }
}

TEST_F(ManualOutput, VolumeIsInHundredthsOfADecibelAndPanLowersTheFarSide)
{
    struct Case {
        std::int32_t level, pan;
        double left, right; // expected gains
    };
    const Case cases[] = {
        {0, 0, 1.0, 1.0},
        {-600, 0, 0.501, 0.501},
        {-2000, 0, 0.1, 0.1},
        {-10000, 0, 0.0, 0.0},     // silence, not a faint sound
        {-20000, 0, 0.0, 0.0},     // clamped to silence
        {0, -600, 1.0, 0.501},
        {0, kAudioPanLeft, 1.0, 0.0},
        {500, 0, 1.0, 1.0},        // no louder than full
    };
    for (const Case& c : cases) {
        const AudioBufferId id = mono(std::vector<std::int16_t>(600, 20000));
        out.set_volume(id, c.level);
        out.set_pan(id, c.pan);
        out.play(id, false);
        const std::vector<std::int16_t> pcm = mix(600);
        EXPECT_NEAR(peak(pcm, 0) / 20000.0, c.left, 0.002) << c.level << " " << c.pan;
        EXPECT_NEAR(peak(pcm, 1) / 20000.0, c.right, 0.002) << c.level << " " << c.pan;
        out.release(id);
    }
}

TEST_F(ManualOutput, FrequencyShiftsThePitchByItsRatio)
{
    const std::vector<std::int16_t> tone = sine(22050, 441.0, 22050.0, 10000.0);
    struct Case {
        std::uint32_t frequency;
        double expected_hz;
    };
    const Case cases[] = {
        {22050, 441.0},
        {44100, 882.0},
        {11025, 220.5},
        {16537, 441.0 * 16537.0 / 22050.0},
        {0, 441.0},                  // its own rate
    };
    for (const Case& c : cases) {
        const AudioBufferId id = mono(tone);
        out.set_frequency(id, c.frequency);
        out.play(id, true);
        const double measured = pitch(mix(22050), 0, 22050.0);
        EXPECT_NEAR(measured, c.expected_hz, c.expected_hz * 0.01) << c.frequency;
        out.release(id);
    }
}

TEST_F(ManualOutput, FrequencyIsClampedToItsRange)
{
    const AudioBufferId id = mono({0, 1});
    std::uint32_t hz = 0;
    out.set_frequency(id, 5);
    out.frequency(id, hz);
    EXPECT_EQ(hz, kAudioFrequencyMin);
    out.set_frequency(id, 300000);
    out.frequency(id, hz);
    EXPECT_EQ(hz, kAudioFrequencyMax);
}

TEST_F(ManualOutput, SlowerPlayInterpolatesBetweenFrames)
{
    const AudioBufferId id = mono({0, 1000, 3000, 3000});
    out.set_frequency(id, 11025);
    out.play(id, false);
    const std::vector<std::int16_t> pcm = mix(6);
    const std::int16_t expected[] = {0, 500, 1000, 2000, 3000, 3000};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(pcm[2 * i], expected[i]) << i;
}

TEST_F(ManualOutput, LoopingWrapsSampleExactAndAOneShotStopsAtItsEnd)
{
    std::vector<std::int16_t> ramp(100);
    for (int i = 0; i < 100; ++i)
        ramp[i] = static_cast<std::int16_t>(i * 100 - 5000);
    const AudioBufferId loop = mono(ramp);
    out.play(loop, true);
    std::vector<std::int16_t> pcm = mix(333);
    for (int i = 0; i < 333; ++i)
        ASSERT_EQ(pcm[2 * i], ramp[i % 100]) << i;
    std::uint32_t cursor = 0;
    out.position(loop, cursor);
    EXPECT_EQ(cursor, 33u * 2);
    out.release(loop);

    const AudioBufferId once = mono(ramp);
    out.play(once, false);
    pcm = mix(150);
    EXPECT_EQ(pcm[2 * 99], ramp[99]);
    for (int i = 100; i < 150; ++i)
        ASSERT_EQ(pcm[2 * i], 0) << i;
    AudioBufferStatus st;
    out.status(once, st);
    EXPECT_FALSE(st.playing);
    out.position(once, cursor);
    EXPECT_EQ(cursor, 0u);
}

TEST_F(ManualOutput, LoudSumsAreLimitedBelowFullScaleNeverWrapped)
{
    // The limiter's knee and ceiling: sums up to the knee pass unchanged,
    // louder ones bend towards the ceiling, keeping their order and sign.
    constexpr double knee = 24000.0, ceiling = 32000.0;
    const auto limited = [&](double x) {
        const double size = std::fabs(x);
        const double bent = size <= knee ? size : knee + (ceiling - knee) * std::tanh((size - knee) / (ceiling - knee));
        return x < 0 ? -bent : bent;
    };
    struct Case {
        std::int16_t level;
        int voices;
    };
    const Case cases[] = {{20000, 1}, {24000, 1}, {-24000, 1}, {14000, 2}, {30000, 1}, {30000, 8}, {-30000, 8}};
    for (const Case& c : cases) {
        std::vector<AudioBufferId> ids;
        for (int v = 0; v < c.voices; ++v) {
            ids.push_back(mono(std::vector<std::int16_t>(64, c.level)));
            out.play(ids.back(), false);
        }
        const std::vector<std::int16_t> pcm = mix(64);
        const double expected = limited(static_cast<double>(c.level) * c.voices);
        for (const std::int16_t s : pcm) {
            ASSERT_NEAR(s, expected, 1.0) << c.level << " x" << c.voices;
            ASSERT_LT(std::abs(static_cast<int>(s)), 32767);
        }
        for (const AudioBufferId id : ids)
            out.release(id);
    }
}

TEST_F(ManualOutput, EightBitAndStereoSourcesKeepTheirChannels)
{
    const AudioBufferId id = out.create_buffer(PcmFormat{22050, 8, 2}, 4, false);
    AudioLock lock;
    ASSERT_TRUE(out.lock(id, 0, 0, lock));
    const std::uint8_t frames[] = {0xC0, 0x40, 0x80, 0xD0};
    std::memcpy(lock.part1, frames, 4);
    out.play(id, false);
    const std::vector<std::int16_t> pcm = mix(2);
    EXPECT_EQ(pcm[0], 64 * 256);
    EXPECT_EQ(pcm[1], -64 * 256);
    EXPECT_EQ(pcm[2], 0);
    EXPECT_EQ(pcm[3], 80 * 256);
}

TEST_F(ManualOutput, DuplicatesShareTheDataAndPlayOnTheirOwn)
{
    const AudioBufferId original = mono(std::vector<std::int16_t>(50, 1000));
    out.set_volume(original, -600);
    const AudioBufferId copy = out.duplicate(original);
    ASSERT_NE(copy, kNoAudioBuffer);
    std::int32_t level = 0;
    out.volume(copy, level);
    EXPECT_EQ(level, -600);

    // A write through the original is heard on the copy.
    AudioLock lock;
    ASSERT_TRUE(out.lock(original, 0, 2, lock));
    const std::int16_t loud = 4000;
    std::memcpy(lock.part1, &loud, 2);
    out.set_volume(copy, 0);
    out.release(original); // the copy keeps the data
    EXPECT_FALSE(out.exists(original));
    out.play(copy, false);
    const std::vector<std::int16_t> pcm = mix(2);
    EXPECT_EQ(pcm[0], 4000);
    EXPECT_EQ(pcm[2], 1000);
}

TEST_F(ManualOutput, NotificationsFireWhenTheCursorPassesTheirOffsets)
{
    // 48 frames of mono 16-bit: 96 bytes in four blocks of 24.
    const AudioBufferId id = mono(std::vector<std::int16_t>(48, 0), 22050, true);
    Event block, last, stopped;
    const AudioNotification notes[] = {{24, &block}, {48, &block}, {72, &block}, {95, &last}, {kAudioNotifyStop, &stopped}};
    ASSERT_TRUE(out.set_notifications(id, notes));
    out.play(id, true);
    mix(12);
    EXPECT_FALSE(block.is_set());
    mix(1); // the first frame of the second block
    EXPECT_TRUE(block.wait(0));
    mix(34); // up to the last frame, not yet played
    EXPECT_TRUE(block.wait(0));
    EXPECT_FALSE(last.is_set());
    mix(1);
    EXPECT_TRUE(last.wait(0));
    EXPECT_FALSE(stopped.is_set());
    // A notification is refused while the buffer plays.
    EXPECT_FALSE(out.set_notifications(id, notes));
    out.stop(id);
    EXPECT_TRUE(stopped.wait(0));
    EXPECT_TRUE(out.set_notifications(id, notes));
}

TEST_F(ManualOutput, AGuardedStreamPlaysOnlyWhatWasWrittenAndWaitsForMore)
{
    std::vector<std::int16_t> ramp(40);
    for (int i = 0; i < 40; ++i)
        ramp[i] = static_cast<std::int16_t>(100 + i);
    const AudioBufferId id = mono(ramp, 22050, true);
    ASSERT_TRUE(out.set_filled_ahead(id, 10 * 2));
    out.play(id, true);
    std::vector<std::int16_t> pcm = mix(15);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(pcm[2 * i], ramp[i]) << i;
    for (int i = 10; i < 15; ++i)
        EXPECT_EQ(pcm[2 * i], 0) << i;
    std::uint32_t cursor = 0, ahead = 99;
    out.position(id, cursor);
    EXPECT_EQ(cursor, 20u); // waiting at the first frame not written
    ASSERT_TRUE(out.filled_ahead(id, ahead));
    EXPECT_EQ(ahead, 0u);
    ASSERT_TRUE(out.add_filled(id, 4 * 2));
    pcm = mix(6);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(pcm[2 * i], ramp[10 + i]) << i;
    EXPECT_EQ(pcm[2 * 4], 0);
    // Never more than the buffer holds; static buffers take no guard.
    ASSERT_TRUE(out.add_filled(id, 1000));
    out.filled_ahead(id, ahead);
    EXPECT_EQ(ahead, 80u);
    const AudioBufferId plain = mono(ramp);
    EXPECT_FALSE(out.set_filled_ahead(plain, 10));
    EXPECT_FALSE(out.add_filled(plain, 10));
    EXPECT_FALSE(out.filled_ahead(plain, ahead));
}

TEST_F(ManualOutput, InterpolationNeverLeansOnAFrameNotYetWritten)
{
    // Four frames written, the fifth still holds old sound: at half speed
    // the last written frame is held, not blended towards the old one.
    const AudioBufferId id = mono({0, 1000, 2000, 3000, 30000, 30000}, 22050, true);
    ASSERT_TRUE(out.set_filled_ahead(id, 4 * 2));
    out.set_frequency(id, 11025);
    out.play(id, true);
    const std::vector<std::int16_t> pcm = mix(10);
    const std::int16_t expected[] = {0, 500, 1000, 1500, 2000, 2500, 3000, 3000, 0, 0};
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(pcm[2 * i], expected[i]) << i;
}

TEST_F(ManualOutput, BadRequestsAreRefused)
{
    const AudioBufferId id = mono(std::vector<std::int16_t>(10, 0));
    AudioLock lock;
    EXPECT_FALSE(out.lock(id, 20, 2, lock));  // offset outside
    EXPECT_FALSE(out.lock(id, 0, 21, lock));  // longer than the buffer
    ASSERT_TRUE(out.lock(id, 16, 8, lock));    // wraps round the end
    EXPECT_EQ(lock.bytes1, 4u);
    EXPECT_EQ(lock.bytes2, 4u);
    EXPECT_FALSE(out.set_position(id, 20));
    Event e;
    const AudioNotification note{0, &e};
    EXPECT_FALSE(out.set_notifications(id, {&note, 1})); // a static buffer takes none
    EXPECT_EQ(out.create_buffer(PcmFormat{22050, 12, 1}, 100, false), kNoAudioBuffer);
    EXPECT_EQ(out.create_buffer(PcmFormat{50, 16, 1}, 100, false), kNoAudioBuffer);
    EXPECT_EQ(out.create_buffer(PcmFormat{22050, 16, 3}, 100, false), kNoAudioBuffer);

    // A released buffer's id is dead, even when its slot is used again.
    out.release(id);
    const AudioBufferId next = mono(std::vector<std::int16_t>(10, 0));
    EXPECT_NE(next, id);
    EXPECT_FALSE(out.play(id, false));
    EXPECT_FALSE(out.set_volume(id, 0));
}

TEST_F(ManualOutput, EveryOperationHasAFaultSeam)
{
    const AudioBufferId id = mono(std::vector<std::int16_t>(10, 0), 22050, true);
    Event e;
    const AudioNotification note{0, &e};
    AudioLock lock;
    struct Case {
        Fault fault;
        std::function<bool()> call;
    };
    const Case cases[] = {
        {Fault::AudioBufferCreate, [&] { return out.create_buffer(PcmFormat{}, 8, false) != kNoAudioBuffer; }},
        {Fault::AudioBufferDuplicate, [&] { return out.duplicate(id) != kNoAudioBuffer; }},
        {Fault::AudioBufferLock, [&] { return out.lock(id, 0, 0, lock); }},
        {Fault::AudioBufferPlay, [&] { return out.play(id, false); }},
        {Fault::AudioBufferControl, [&] { return out.set_volume(id, 0); }},
        {Fault::AudioBufferControl, [&] { return out.set_pan(id, 0); }},
        {Fault::AudioBufferControl, [&] { return out.set_frequency(id, 8000); }},
        {Fault::AudioBufferControl, [&] { return out.set_position(id, 0); }},
        {Fault::AudioBufferNotify, [&] { return out.set_notifications(id, {&note, 1}); }},
        {Fault::AudioFormat, [&] { return out.set_format(PcmFormat{22050, 16, 2}); }},
    };
    for (const Case& c : cases) {
        out.stop(id);
        fail_next(c.fault);
        EXPECT_FALSE(c.call()) << static_cast<int>(c.fault);
        EXPECT_TRUE(c.call()) << static_cast<int>(c.fault);
    }
    AudioOutput other;
    fail_next(Fault::AudioOpen);
    EXPECT_FALSE(other.open());
    EXPECT_TRUE(other.open());
}

TEST_F(ManualOutput, MasterVolumeScalesTheWholeMix)
{
    const AudioBufferId id = mono(std::vector<std::int16_t>(20, 20000));
    out.set_master_volume(-2000);
    out.play(id, false);
    EXPECT_EQ(mix(1)[0], 2000);
    out.set_master_volume(-10000);
    EXPECT_EQ(mix(1)[0], 0);
}

// Without manual mixing the output runs by itself: on SDL's dummy device,
// and with no device at all on its own mixing thread. Either way a sound
// plays to its end and says so.
TEST(AudioOutputRunning, SoundsRunTheirCourseWithAndWithoutADevice)
{
    set_manual_audio_mixing(false);
    const char* old = std::getenv("SDL_AUDIODRIVER");
    const std::string saved = old ? old : "";
    for (const char* driver : {"dummy", "no_such_driver"}) {
        setenv("SDL_AUDIODRIVER", driver, 1);
        AudioOutput out;
        ASSERT_TRUE(out.open());
        EXPECT_EQ(out.has_device(), std::string(driver) == "dummy") << driver;
        const AudioBufferId id = out.create_buffer(PcmFormat{22050, 16, 1}, 2205 * 2, true); // 0.1 s
        Event stopped;
        const AudioNotification note{kAudioNotifyStop, &stopped};
        ASSERT_TRUE(out.set_notifications(id, {&note, 1}));
        ASSERT_TRUE(out.play(id, false));
        EXPECT_TRUE(stopped.wait(5000)) << driver;
        AudioBufferStatus st;
        out.status(id, st);
        EXPECT_FALSE(st.playing);
        out.close();
    }
    setenv("SDL_AUDIODRIVER", saved.c_str(), 1);
}
