#include <gtest/gtest.h>

#include "tests/sound/sound_fixture.h"
#include "tools/datakit/sound_set_writer.h"

using namespace sound_test;

namespace {

datakit::SoundLayerSpec Layer(const char* name, int slot, int low, int fullFrom, int fullTo, int high, int pitchLow,
                              int pitchHigh, bool enabled = false)
{
    datakit::SoundLayerSpec l;
    l.name = name;
    l.slot = slot;
    l.low = low;
    l.full_from = fullFrom;
    l.full_to = fullTo;
    l.high = high;
    l.pitch_low = pitchLow;
    l.pitch_high = pitchHigh;
    l.volume_low = 0.0f;
    l.volume_high = 1.0f;
    l.enabled = enabled;
    return l;
}

} // namespace

class SoundSets : public SoundFixture {
protected:
    void SetUp() override
    {
        SoundFixture::SetUp();
        // Every layer a 100 Hz tone recorded at 22050 Hz: at pitch 0 it
        // plays at 100 Hz, at +12 at 200 Hz.
        for (const char* name : {"low", "mid", "high", "other", "whine"})
            WriteWav(std::string("eng/") + name + ".wav", Sine(100.0, 22050, 0.5));
        datakit::TypedListWriter list;
        // Slot 0: low to 6000, mid from 6000 (cross-fading 5000..6000 with
        // the slot-1 layer "high"); slot 1 "high" from 5000.
        add_sound_set_list(list, "Bike", {Layer("low", 0, 1000, 1500, 5000, 6000, -12, 0),
                                          Layer("mid", 0, 6000, 6000, 11000, 12000, 0, 12, true),
                                          Layer("high", 1, 5000, 6000, 14000, 15000, -6, 12),
                                          Layer("other", 0, 0, 0, 20000, 20000, 0, 0)});
        add_sound_set_list(list, "Other", {Layer("other", 2, 0, 0, 20000, 20000, 0, 0, true)});
        std::string error;
        ASSERT_TRUE(list.write("engines.dat", error)) << error;
        ASSERT_EQ(sound.LoadWav("engines.dat", "Bike", "eng\\", 20), 4);
        ASSERT_EQ(sound.LoadWav("engines.dat", "Other", "eng\\", 24), 1);
    }
    bool SlotPlays(int set, int layer)
    {
        const SoundSlot& s = sound.Sample(sound.FindSample(sound.Layer(set, layer).m_nSampleId));
        platform::AudioBufferStatus st;
        sound.Output().status(s.m_Buffer, st);
        return st.playing;
    }
    std::int32_t LevelOf(int set, int layer)
    {
        std::int32_t level = 0;
        sound.Output().volume(sound.Sample(sound.FindSample(sound.Layer(set, layer).m_nSampleId)).m_Buffer, level);
        return level;
    }
};

TEST_F(SoundSets, TheLayerTableIsReadWithItsSampleIds)
{
    EXPECT_EQ(sound.SetCount(), 2);
    const SoundSetLayer& mid = sound.Layer(0, 1);
    EXPECT_STREQ(mid.m_szName, "mid");
    EXPECT_EQ(mid.m_nLow, 6000);
    EXPECT_EQ(mid.m_nPitchHigh, 12);
    EXPECT_EQ(mid.m_fVolumeHigh, 1.0f);
    EXPECT_EQ(mid.m_nSampleId, 21);
    EXPECT_EQ(sound.GetSoundSetSample(0), 21); // the first enabled layer
    EXPECT_EQ(sound.GetSoundSetSample(1), 24);
    EXPECT_EQ(sound.GetSoundSetSample(2), -1);
    EXPECT_GE(sound.FindSample(23), 0);
}

TEST_F(SoundSets, LayersAreChosenAndCrossFadedByRevs)
{
    struct Case {
        float revs;
        int slot0, slot1; // layer index per slot, -1 none
        double fade0, fade1;
    };
    const Case cases[] = {
        {1250.0f, 0, -1, 0.5, 0.0},    // fading in
        {3000.0f, 0, -1, 1.0, 0.0},
        {5500.0f, 0, 2, 0.5, 0.5},     // low fading out, high fading in
        {6000.0f, 1, 2, 1.0, 1.0},     // exactly at low's end: the next layer
        {11500.0f, 1, 2, 0.5, 1.0},
        {14500.0f, 3, 2, 1.0, 0.5},    // past mid: "other" is the first layer left for slot 0
    };
    for (const Case& c : cases) {
        ASSERT_EQ(sound.PlaySoundSet(0, c.revs, 0.02f, 1.0f), kSoundOk);
        EXPECT_EQ(sound.SetVoiceSlot(0), c.slot0) << c.revs;
        EXPECT_EQ(sound.SetVoiceSlot(1), c.slot1) << c.revs;
        if (c.slot0 >= 0) {
            EXPECT_TRUE(SlotPlays(0, c.slot0)) << c.revs;
            EXPECT_EQ(LevelOf(0, c.slot0), static_cast<std::int32_t>(2000.0 * std::log10(c.fade0))) << c.revs;
        }
        if (c.slot1 >= 0) {
            EXPECT_EQ(LevelOf(0, c.slot1), static_cast<std::int32_t>(2000.0 * std::log10(c.fade1))) << c.revs;
        }
    }
    // The layer left behind has stopped.
    EXPECT_FALSE(SlotPlays(0, 0));
    EXPECT_FALSE(SlotPlays(0, 1));
    EXPECT_EQ(sound.m_nCurrentSet, 0);
}

TEST_F(SoundSets, SwitchingSetsAndStopping)
{
    ASSERT_EQ(sound.PlaySoundSet(0, 5500.0f, 0.02f, 1.0f), kSoundOk);
    ASSERT_EQ(sound.PlaySoundSet(1, 5500.0f, 0.02f, 1.0f), kSoundOk);
    EXPECT_FALSE(SlotPlays(0, 0));
    EXPECT_FALSE(SlotPlays(0, 2));
    EXPECT_TRUE(SlotPlays(1, 0));
    EXPECT_EQ(sound.SetVoiceSlot(2), 0);
    EXPECT_EQ(sound.m_nCurrentSet, 1);
    // Revs of -1 stop everything and leave the current set.
    ASSERT_EQ(sound.PlaySoundSet(1, -1.0f, 0.02f, 1.0f), kSoundOk);
    EXPECT_FALSE(SlotPlays(1, 0));
    for (int k = 0; k < kSoundSetSlots; ++k)
        EXPECT_EQ(sound.SetVoiceSlot(k), -1);
    EXPECT_EQ(sound.m_nCurrentSet, 1);
    EXPECT_EQ(sound.PlaySoundSet(7, 3000.0f, 0.02f, 1.0f), kSoundCannotPlay);
    // A set's sample that has gone.
    sound.FreeSample(24);
    EXPECT_EQ(sound.PlaySoundSet(1, 3000.0f, 0.02f, 1.0f), kSoundCannotPlay);
}

TEST_F(SoundSets, TheEnginesPitchRisesWithTheRevsThroughTheGears)
{
    // Revs of a bike accelerating through three gears: up, a drop at each
    // change, up again.
    const float gears[3][2] = {{3000.0f, 9000.0f}, {6500.0f, 11000.0f}, {8000.0f, 11900.0f}};
    double last = 0.0;
    for (const auto& gear : gears) {
        last = 0.0;
        for (float revs = gear[0]; revs <= gear[1]; revs += 1000.0f) {
            ASSERT_EQ(sound.PlaySoundSet(0, revs, 0.1f, 1.0f), kSoundOk);
            const double hz = Pitch(Mix(0.25));
            EXPECT_GT(hz, last) << revs;
            last = hz;
        }
    }
    // At 11900 rpm "mid" is near +12 semitones and "high" near +10.5:
    // both an octave or so above the recording.
    EXPECT_GT(last, 150.0);
}

TEST_F(SoundSets, CapacitiesOfTheTable)
{
    datakit::TypedListWriter list;
    std::vector<datakit::SoundLayerSpec> many;
    for (int i = 0; i < 12; ++i)
        many.push_back(Layer("other", i % 5, 0, 0, 100, 100, 0, 0));
    add_sound_set_list(list, "Many", many);
    std::string error;
    ASSERT_TRUE(list.write("many.dat", error)) << error;
    EXPECT_EQ(sound.LoadWav("many.dat", "Many", "eng\\", 30), kSoundMaxLayers);
    for (int set = 3; set < kSoundMaxSets; ++set)
        EXPECT_EQ(sound.LoadWav("engines.dat", "Other", "eng\\", 40 + set), 1);
    EXPECT_EQ(sound.LoadWav("engines.dat", "Other", "eng\\", 60), 0); // a ninth set is refused
    EXPECT_EQ(sound.SetCount(), kSoundMaxSets);
    EXPECT_EQ(sound.LoadWav("engines.dat", "Missing", "eng\\", 61), 0);
    sound.FreeAllSamples();
    EXPECT_EQ(sound.SetCount(), 0);
    EXPECT_EQ(sound.m_nCurrentSet, -1);
}
