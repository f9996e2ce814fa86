// The race's own sounds and music on a sound library mixed only by the test
// (no device), over the demo data: what the race loads, frees and opens,
// and the sounds its run sends to the library.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "race/race_sound.h"
#include "sound/sound_library.h"
#include "tests/race/race_fixture.h"
#include "tools/datakit/wav_writer.h"

using namespace race_test;

namespace {

constexpr int kEscape = 0x01;

// Distinct lengths, so that an open stream tells which tune it holds.
struct Tune {
    const char* path;
    double seconds;
};
constexpr Tune kTunes[] = {
    {"Sfx/Music/Attract.wav", 0.30},
    {"Sfx/Music/Jingle_01.wav", 0.40},
    {"Sfx/Music/Race_01.wav", 0.50},
    {"Sfx/Music/Race_02.wav", 0.60},
};

class RaceSoundTest : public RaceFixture {
protected:
    void SetUp() override
    {
        RaceFixture::SetUp();
        platform::set_manual_audio_mixing(true);
        ASSERT_EQ(sound.Init(nullptr, false), kSoundOk);
        saved_sound_ = TheSoundLibrary();
        SetTheSoundLibrary(&sound);
        for (const Tune& tune : kTunes) {
            std::string error;
            const std::vector<std::int16_t> pcm(static_cast<std::size_t>(tune.seconds * 22050.0), 1000);
            ASSERT_TRUE(datakit::write_wav16((dir() / tune.path).string(), 22050, 1, pcm, error)) << error;
        }
    }

    void TearDown() override
    {
        race.reset();
        SetTheSoundLibrary(saved_sound_);
        sound.Shutdown();
        platform::set_manual_audio_mixing(false);
        RaceFixture::TearDown();
    }

    // The bytes of sound data of a tune written above.
    static std::uint32_t TuneBytes(const char* name)
    {
        for (const Tune& tune : kTunes)
            if (std::string(tune.path).find(name) != std::string::npos)
                return static_cast<std::uint32_t>(tune.seconds * 22050.0) * 2;
        return 0;
    }

    // The tune open on a channel ("" when none), by its length.
    std::string OpenTune(int channel)
    {
        const SoundStream& s = sound.Stream(channel);
        if (!s.m_bOpen)
            return "";
        for (const Tune& tune : kTunes)
            if (s.m_uDataSize == static_cast<std::uint32_t>(tune.seconds * 22050.0) * 2)
                return std::string(tune.path).substr(10);
        return "?";
    }

    bool Playing(int channel)
    {
        const SoundStream& s = sound.Stream(channel);
        platform::AudioBufferStatus status;
        return s.m_bOpen && sound.Output().status(s.m_Buffer, status) && status.playing;
    }

    bool SamplePlaying(int id)
    {
        const int slot = sound.FindSample(id);
        platform::AudioBufferStatus status;
        return slot >= 0 && sound.Output().status(sound.Sample(slot).m_Buffer, status) && status.playing;
    }

    SoundLibrary sound;

private:
    SoundLibrary* saved_sound_ = nullptr;
};

} // namespace

// Samples 0-19 (the start beep plain, the others positioned), then each bike
// model's engine set in model order, its layers taking the ids that follow.
TEST_F(RaceSoundTest, EffectsThenEngineSetsWithTheIdsFollowingOn)
{
    Header("Sugo", 4, 4);
    app.GfxFlags = kGfxFlagSound;
    ASSERT_TRUE(Load());
    race->LoadSounds();
    ASSERT_EQ(race->m_Sound.Library, &sound);

    for (int id = 0; id < kRaceEffectSamples; ++id) {
        const int slot = sound.FindSample(id);
        ASSERT_GE(slot, 0) << RaceEffectFile(id);
        EXPECT_EQ(sound.Sample(slot).m_b3D, id == 0 ? 0 : 1) << RaceEffectFile(id);
    }
    ASSERT_EQ(sound.SetCount(), kBikeModelCount);
    std::int32_t next = kRaceEffectSamples;
    for (int model = 0; model < kBikeModelCount; ++model) {
        SCOPED_TRACE(race->m_BikeModels[model].Maker.ModelName);
        EXPECT_EQ(race->m_Sound.EngineSet[model], model);
        EXPECT_EQ(race->m_Sound.EngineFirstId[model], next);
        ASSERT_GT(sound.LayerCount(model), 0);
        for (int layer = 0; layer < sound.LayerCount(model); ++layer) {
            EXPECT_EQ(sound.Layer(model, layer).m_nSampleId, next);
            const int slot = sound.FindSample(next);
            ASSERT_GE(slot, 0) << sound.Layer(model, layer).m_szName;
            EXPECT_EQ(sound.Sample(slot).m_b3D, 1);
            ++next;
        }
    }
    EXPECT_EQ(race->m_Sound.IdsUsed, next);
    EXPECT_EQ(sound.SampleCount(), next);
    EXPECT_TRUE(race->m_Camera.ListenerHook);

    // Loaded once: asking again leaves the library as it is.
    race->LoadSounds();
    EXPECT_EQ(sound.SampleCount(), next);
    EXPECT_EQ(sound.SetCount(), kBikeModelCount);

    // Freed: every sample and set, and the listener goes with them.
    race->FreeSounds();
    EXPECT_EQ(sound.SampleCount(), 0);
    EXPECT_EQ(sound.SetCount(), 0);
    EXPECT_EQ(race->m_Sound.Library, nullptr);
    EXPECT_FALSE(race->m_Camera.ListenerHook);
    for (int id = 0; id < next; ++id)
        EXPECT_LT(sound.FindSample(id), 0) << id;
}

// Nothing loads with sound off, without a library, or with one that has not
// started; and then nothing the race does reaches a library.
TEST_F(RaceSoundTest, SoundOffOrNoLibraryLoadsNothing)
{
    struct Case {
        const char* what;
        std::uint32_t gfx;
        bool library;
        bool started;
    };
    const Case cases[] = {
        {"sound off", kGfxFlagMusic, true, true},
        {"no library", kGfxFlagSound, false, true},
        {"library not started", kGfxFlagSound, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (!c.started)
            sound.Shutdown();
        SetTheSoundLibrary(c.library ? &sound : nullptr);
        Header("Sugo", 4, 4);
        app.GfxFlags = c.gfx;
        ASSERT_TRUE(Load());
        race->LoadSounds();
        EXPECT_EQ(race->m_Sound.Library, nullptr);
        EXPECT_EQ(sound.SampleCount(), 0);
        EXPECT_EQ(sound.SetCount(), 0);
        EXPECT_FALSE(race->m_Camera.ListenerHook);
        race->FreeSounds();
        race.reset();
    }
}

// The run's sounds reach the library: the start beeps through the
// countdown, the engines (the viewed bike's layered set, the others'
// positioned voices), and the listener at the camera.
TEST_F(RaceSoundTest, TheRunSendsItsSoundsToTheLibrary)
{
    Header("Sugo", 4, 4);
    app.GfxFlags = kGfxFlagSound;
    ASSERT_TRUE(Load());
    race->LoadSounds();
    race->Start3d();
    input.m_bPaused = 0;
    race->StartMusic();
    input.BeginRace(kInputModeRecord);
    race->Begin();
    EXPECT_FALSE(SamplePlaying(0));
    PressKey(kEscape);
    Frame();
    ASSERT_TRUE(FramesUntil([&] { return SamplePlaying(0); }, 200)) << "the first beep";
    ASSERT_TRUE(FramesUntil([&] { return (flags() & kRaceRacing) != 0; }, 400));
    for (int i = 0; i < 20; ++i)
        Frame();

    const Bike* viewed = race->ViewedBike();
    ASSERT_NE(viewed, nullptr);
    const int model = viewed->GridEntry->Model;
    EXPECT_EQ(sound.m_nCurrentSet, race->m_Sound.EngineSet[model]) << "the viewed bike's engine";
    int engineVoices = 0;
    for (int v = 0; v < kSoundMaxVoices; ++v) {
        const SoundSlot& voice = sound.Voice(v);
        platform::AudioBufferStatus status;
        if (voice.m_Buffer && voice.m_nInstance >= 1 && voice.m_nId >= kRaceEffectSamples &&
            voice.m_nId < race->m_Sound.IdsUsed && sound.Output().status(voice.m_Buffer, status) && status.playing)
            ++engineVoices;
    }
    EXPECT_EQ(engineVoices, race->RiderCount() - 1) << "one positioned engine voice per other bike";
    const Vec3 front = race->m_Camera.AimPoint().Minus(race->m_Camera.Eye());
    EXPECT_NEAR(sound.ListenerHeading(), -std::atan2(front.x, front.z), 1e-4) << "the listener faces the aim";
}

// A crash heard from where the camera is: a bike made to fall at racing
// speed plays an impact sample (5..7 on tarmac, 14..16 elsewhere) at
// volume 0.5, placed at the bike and heard from 20 m to 200 m. After the
// frame's positioning its level is 2000 log10(a x 0.5 x 0.7) hundredths of
// a decibel (effects volume 1), a = 1 - (d - 20) / 180 held to 0..1, d
// the ground distance from the camera's eye, where the listener is.
TEST_F(RaceSoundTest, ACrashIsHeardAtTheLevelItsDistanceGives)
{
    Header("Sugo", 4, 8);
    app.GfxFlags = kGfxFlagSound;
    Start();
    PressKey(kEscape);
    Frame();
    ASSERT_TRUE(FramesUntil([&] { return (flags() & kRaceRacing) != 0; }, 600));
    for (int i = 0; i < 150; ++i)
        Frame();
    const Bike* viewed = race->ViewedBike();
    ASSERT_NE(viewed, nullptr);
    // The farthest other bike still within hearing, as it rides.
    int faller = -1;
    float farthest = 0.0f;
    for (int i = 0; i < race->RiderCount(); ++i) {
        const Bike& b = bike(i);
        const float d = std::hypot(b.Position.x - race->m_Camera.Eye().x, b.Position.z - race->m_Camera.Eye().z);
        if (&b != viewed && b.Speed > 15.0f && d < 150.0f && d > farthest) {
            faller = i;
            farthest = d;
        }
    }
    ASSERT_GE(faller, 0) << "no other bike at speed within hearing";
    bike(faller).Status |= kBikeFallRequested;

    const SoundSlot* crash = nullptr;
    const auto impact = [&] {
        // On the sample's own buffer or on a voice.
        const auto take = [&](const SoundSlot& slot) {
            const bool sample = (slot.m_nId >= 5 && slot.m_nId <= 7) || (slot.m_nId >= 14 && slot.m_nId <= 16);
            if (!crash && slot.m_Buffer && slot.m_bActive && sample && slot.m_nInstance == faller)
                crash = &slot;
        };
        for (int k = 0; k < kSoundMaxSamples; ++k)
            take(sound.Sample(k));
        for (int v = 0; v < kSoundMaxVoices; ++v)
            take(sound.Voice(v));
        return crash != nullptr;
    };
    ASSERT_TRUE(FramesUntil(impact, 300)) << "bike " << faller << " fell without an impact sound";
    const Bike& fallen = bike(faller);
    EXPECT_LT(std::hypot(crash->m_Position[0] - fallen.Position.x, crash->m_Position[2] - fallen.Position.z), 2.0f)
        << "the sound is not where the bike fell";
    const Vec3 eye = race->m_Camera.Eye();
    const double d = std::hypot(double(crash->m_Position[0]) - eye.x, double(crash->m_Position[2]) - eye.z);
    const double a = std::clamp(1.0 - (d - 20.0) / 180.0, 0.0, 1.0);
    ASSERT_GT(a, 0.0) << "the crash is out of hearing at " << d << " m";
    std::int32_t level = 0;
    ASSERT_TRUE(sound.Output().volume(crash->m_Buffer, level));
    EXPECT_NEAR(level, 2000.0 * std::log10(a * 0.5 * 0.7), 2.0) << "at " << d << " m";
}

// Suspending frees every sample and resuming loads them again.
TEST_F(RaceSoundTest, SuspendAndResumeFreeAndReloadTheSounds)
{
    Header("Sugo", 4, 4);
    app.GfxFlags = kGfxFlagSound;
    Start();
    if (!race->m_Sound.Library)
        GTEST_SKIP() << "the race's 3D loading does not take its sounds yet";
    const int loaded = sound.SampleCount();
    ASSERT_GT(loaded, kRaceEffectSamples);
    race->Suspend();
    EXPECT_EQ(sound.SampleCount(), 0);
    EXPECT_EQ(race->m_Sound.Library, nullptr);
    race->Resume();
    EXPECT_EQ(sound.SampleCount(), loaded);
    EXPECT_EQ(sound.SetCount(), kBikeModelCount);
    race.reset();
    EXPECT_EQ(sound.SampleCount(), 0) << "the race's end frees them too";
}

// The music of a run: only with music on in the arcade session; an attract
// run has its own tune; the race tunes take turns from run to run.
TEST_F(RaceSoundTest, MusicOfARun)
{
    struct Case {
        const char* what;
        int session;
        std::uint32_t gfx;
        std::uint32_t run;
        const char* channel0;
        const char* channel1;
    };
    const int first = RaceMusicCounter();
    const std::string tune = first == 0 ? "Race_01.wav" : "Race_02.wav";
    const std::string other = first == 0 ? "Race_02.wav" : "Race_01.wav";
    const Case cases[] = {
        {"music off", kSessionArcade, kGfxFlagSound, 0, "", ""},
        {"not arcade", 4, kGfxFlagMusic, 0, "", ""},
        {"arcade", kSessionArcade, kGfxFlagMusic, 0, tune.c_str(), "Jingle_01.wav"},
        {"arcade again", kSessionArcade, kGfxFlagMusic, 0, other.c_str(), "Jingle_01.wav"},
        {"attract run", kSessionArcade, kGfxFlagMusic, kAppFlagDemo, "Attract.wav", ""},
        {"arcade after", kSessionArcade, kGfxFlagMusic, 0, tune.c_str(), "Jingle_01.wav"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sound.StopStream(0);
        sound.StopStream(1);
        Header("Sugo", c.session, 4);
        app.GfxFlags = c.gfx;
        app.Flags = c.run;
        Start();
        EXPECT_EQ(OpenTune(0), c.channel0);
        EXPECT_EQ(OpenTune(1), c.channel1);
        EXPECT_EQ(Playing(0), *c.channel0 != '\0') << "the tune plays from the start";
        EXPECT_EQ(sound.Stream(0).m_nLoop, *c.channel0 != '\0' ? 1 : 0);
        EXPECT_FALSE(Playing(1)) << "the jingle waits";
        race.reset();
    }
    EXPECT_EQ(TuneBytes("Jingle"), sound.Stream(1).m_uDataSize);

    // A restart of the same race takes the other tune.
    Header("Sugo", kSessionArcade, 4);
    app.GfxFlags = kGfxFlagMusic;
    Start();
    const std::string now = OpenTune(0);
    race->StartMusic();
    EXPECT_NE(OpenTune(0), now);
    EXPECT_EQ(OpenTune(1), "Jingle_01.wav");
}

// The arcade start: the jingle starts once at the green light, as a
// one-shot; the race end stops both channels.
TEST_F(RaceSoundTest, TheArcadeJingleStartsAtTheGreenLight)
{
    Header("Sugo", kSessionArcade, 4);
    app.GfxFlags = kGfxFlagMusic;
    Start();
    ASSERT_EQ(OpenTune(1), "Jingle_01.wav");
    PressKey(kEscape);
    Frame();
    ASSERT_TRUE(FramesUntil([&] { return (flags() & kRaceRacing) != 0 || Playing(1); }, 400));
    EXPECT_TRUE(flags() & kRaceRacing) << "not before the green light";
    EXPECT_TRUE(Playing(1));
    EXPECT_EQ(sound.Stream(1).m_nLoop, 0);
    EXPECT_TRUE(Playing(0)) << "the race tune plays on";

    race->ClassifyUnfinished();
    EXPECT_FALSE(sound.Stream(0).m_bOpen);
    EXPECT_FALSE(sound.Stream(1).m_bOpen);
}
