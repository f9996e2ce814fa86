#include <gtest/gtest.h>

#include "app/mixer.h"
#include "sound/wav_file.h"
#include "tests/sound/sound_fixture.h"
#include "tests/support/cycle_hz.h"
#include "tools/datakit/bike_data_writer.h"
#include "tools/datakit/demo_sounds.h"

using namespace sound_test;
using torvane_test::CycleHz;

namespace {

// The demo sounds, made once for the whole suite.
const std::filesystem::path& DemoFolder()
{
    static const std::filesystem::path folder = [] {
        const std::filesystem::path dir = torvane_test::make_temp_dir("demo_sounds");
        std::string error;
        EXPECT_TRUE(datakit::write_demo_sounds(dir, error)) << error;
        return dir;
    }();
    return folder;
}

// Rising zero crossings per second of the left channel.
double Crossings(const std::vector<std::int16_t>& pcm)
{
    return Pitch(pcm, 0);
}

} // namespace

class DemoSounds : public SoundFixture {
protected:
    DemoSounds() : demo_(DemoFolder()) {}
    torvane_test::ScopedCwd demo_;
};

TEST_F(DemoSounds, TheRaceLoadsEveryEffectAndEngineSetAsItNamesThem)
{
    const std::vector<std::string>& names = datakit::demo_effect_names();
    ASSERT_EQ(names.size(), 20u);
    for (int id = 0; id < 20; ++id)
        EXPECT_EQ(sound.AddSample(("Sfx\\" + names[static_cast<std::size_t>(id)] + ".wav").c_str(), id, id != 0, false),
                  kSoundOk)
            << names[static_cast<std::size_t>(id)];
    int next = 20;
    for (const datakit::ManufacturerSpec& model : datakit::demo_manufacturers()) {
        const int layers = sound.LoadWav("sfx\\engines\\engines.dat", model.model_name.c_str(), "sfx\\engines\\", next);
        EXPECT_EQ(layers, 5) << model.model_name;
        next += layers;
    }
    EXPECT_EQ(sound.SampleCount(), 45);
    for (const char* music : {"sfx\\music\\menu_g01.wav", "Sfx\\Music\\Attract.wav", "Sfx\\Music\\Race_01.wav",
                              "Sfx\\Music\\Race_02.wav", "Sfx\\Music\\Jingle_01.wav"}) {
        EXPECT_EQ(sound.OpenStream(music, 0), kSoundOk) << music;
        // Long enough to need refilling, except the jingle.
        if (std::string(music).find("Jingle") == std::string::npos) {
            EXPECT_GT(sound.Stream(0).m_uDataSize, 4 * sound.Stream(0).m_uBufferSize) << music;
        }
    }
    sound.StopStream(0);
}

TEST_F(DemoSounds, EngineLayersCoverTheRevsAndRiseWithThem)
{
    for (const datakit::ManufacturerSpec& model : datakit::demo_manufacturers()) {
        std::vector<datakit::SoundLayerSpec> layers = datakit::demo_engine_layers(model.model_name);
        // The last layer is the other bikes' sample, which the set never
        // sounds; the others are the bands.
        ASSERT_EQ(layers.size(), 5u);
        EXPECT_TRUE(layers.back().enabled);
        EXPECT_GE(layers.back().low, layers.back().high);
        layers.pop_back();
        // Every rev from 1000 to 14999 has a layer at full or fading level,
        // and the next band has begun before one ends.
        for (std::size_t i = 1; i < layers.size(); ++i) {
            EXPECT_LT(layers[i].low, layers[i - 1].high) << model.model_name << " " << i;
            EXPECT_NE(layers[i].slot, layers[i - 1].slot);
            EXPECT_LE(layers[i - 1].full_to, layers[i].full_from);
        }
        EXPECT_LE(layers.front().low, 1000);
        EXPECT_GE(layers.back().high, 15000);
    }
    int next = 20;
    for (const datakit::ManufacturerSpec& model : datakit::demo_manufacturers())
        next += sound.LoadWav("sfx\\engines\\engines.dat", model.model_name.c_str(), "sfx\\engines\\", next);
    // Inside each band the mixed engine's rate of crossings grows with the revs.
    const float pairs[][2] = {{1000.0f, 2000.0f}, {2600.0f, 4500.0f}, {5200.0f, 8000.0f}, {9200.0f, 14000.0f}};
    for (int set = 0; set < sound.SetCount(); ++set) {
        for (const auto& pair : pairs) {
            sound.PlaySoundSet(set, pair[0], 0.02f, 1.0f);
            const double low = Crossings(Mix(0.5));
            sound.PlaySoundSet(set, pair[1], 0.02f, 1.0f);
            const double high = Crossings(Mix(0.5));
            EXPECT_GT(high, low * 1.2) << "set " << set << " at " << pair[0] << " and " << pair[1];
        }
        sound.PlaySoundSet(set, -1.0f, 0.0f, 1.0f);
    }
}

TEST_F(DemoSounds, LoopsJoinWithoutAClick)
{
    for (const char* name : {"Sfx\\engines\\Vortan_mid.wav", "Sfx\\Skid0.wav", "Sfx\\Cheer3.wav", "Sfx\\Crash3l.wav",
                             "Sfx\\Music\\Race_01.wav"}) {
        mixer file;
        ASSERT_TRUE(OpenSoundFile(name, file)) << name;
        WavInfo wav;
        ASSERT_TRUE(ReadWavHeader(file, wav)) << name;
        std::vector<std::int16_t> s(wav.data_size / 2);
        file.seekfile(static_cast<int>(wav.data_start), 0);
        ASSERT_EQ(file.read(s.data(), static_cast<int>(wav.data_size)), static_cast<int>(wav.data_size));
        int largest = 0;
        for (std::size_t i = 1; i < s.size(); ++i)
            largest = std::max(largest, std::abs(s[i] - s[i - 1]));
        EXPECT_LE(std::abs(s.front() - s.back()), largest) << name;
    }
}

TEST_F(DemoSounds, EnginesAreHeardAtThePitchTheirRevsGive)
{
    int next = 20;
    for (const datakit::ManufacturerSpec& model : datakit::demo_manufacturers())
        next += sound.LoadWav("sfx\\engines\\engines.dat", model.model_name.c_str(), "sfx\\engines\\", next);
    ASSERT_EQ(sound.SetCount(), 5);
    // The bands' recordings (rpm) and their edges in semitones from them; at
    // these revs one band alone sounds. A layer at pitch p plays its sample
    // 2^(p / 12) times faster, so its crank cycle is heard at
    // reference / 120 x 2^(p / 12) Hz, the pitch running linearly from the
    // band's low edge to its high one.
    struct Band {
        double reference;
        int below, above;
        bool last;
        float revs;
    };
    const Band bands[] = {{1200.0, -12, 12, false, 1500.0f},
                          {3000.0, -6, 9, false, 3500.0f},
                          {6000.0, -5, 7, false, 6500.0f},
                          {10000.0, -4, 7, true, 9500.0f},
                          {10000.0, -4, 7, true, 13000.0f}};
    for (int set = 0; set < sound.SetCount(); ++set) {
        for (const Band& band : bands) {
            const double low = std::round(band.reference * std::exp2(band.below / 12.0));
            const double high = band.last ? 15000.0 : std::round(band.reference * std::exp2(band.above / 12.0));
            const double p = band.below + (band.revs - low) / (high - low) * (band.above - band.below);
            const double expected = band.reference / 120.0 * std::exp2(p / 12.0);
            ASSERT_EQ(sound.PlaySoundSet(set, band.revs, 0.02f, 1.0f), kSoundOk);
            Mix(0.1);
            EXPECT_NEAR(CycleHz(Mix(0.4), expected) / expected, 1.0, 0.02)
                << "set " << set << " at " << band.revs << " rpm";
        }
        sound.PlaySoundSet(set, -1.0f, 0.0f, 1.0f);

        // Another bike's engine: its set's own sample at 2000 + 2 x revs Hz,
        // made so that at 9000 rpm it is heard at 9000 rpm (a crank cycle of
        // 75 Hz), and proportionally to that frequency elsewhere.
        const std::int32_t other = sound.GetSoundSetSample(set);
        for (const float revs : {6000.0f, 9000.0f, 12000.0f}) {
            const double expected = 9000.0 / 120.0 * (2000.0 + 2.0 * revs) / (2000.0 + 2.0 * 9000.0);
            ASSERT_EQ(sound.Play(other, 1, static_cast<std::int32_t>(2000.0f + 2.0f * revs), 1.0f, kSoundKeep,
                                 kPlayLoop),
                      kSoundOk);
            Mix(0.1);
            const double heard = CycleHz(Mix(0.4), expected);
            EXPECT_NEAR(heard / expected, 1.0, 0.02) << "other bike of set " << set << " at " << revs << " rpm";
            // Within about a semitone of the revs themselves.
            EXPECT_LT(std::fabs(12.0 * std::log2(heard / (revs / 120.0))), 1.0) << set << " " << revs;
            sound.StopVoiceNow(other, 1);
        }
    }
}

// The viewed bike's engine is heard at the level the set's layer gives: in
// the middle of a band (fade 1) volume low + volume x (volume high - volume
// low) = 0.9 x volume, against the same sample played alone at full level
// and the same pitch; and the effects volume scales it.
TEST_F(DemoSounds, TheViewedEngineIsHeardAtItsLayersLevel)
{
    ASSERT_EQ(sound.LoadWav("sfx\\engines\\engines.dat", datakit::demo_manufacturers()[0].model_name.c_str(),
                            "sfx\\engines\\", 20),
              5);
    const auto rms = [](const std::vector<std::int16_t>& pcm) {
        double sum = 0.0;
        for (const std::int16_t v : pcm)
            sum += static_cast<double>(v) * v;
        return std::sqrt(sum / static_cast<double>(pcm.size()));
    };
    // 6500 rpm: the mid band alone (layer 2), at full level.
    const float revs = 6500.0f;
    const SoundSetLayer& mid = sound.Layer(0, 2);
    ASSERT_LE(mid.m_nFullFrom, revs);
    ASSERT_GE(mid.m_nFullTo, revs);
    for (const float volume : {1.0f, 0.5f}) {
        for (const float effects : {1.0f, 0.5f}) {
            sound.SetMusicVolume(effects);
            ASSERT_EQ(sound.PlaySoundSet(0, revs, 0.02f, volume), kSoundOk);
            Mix(0.05);
            const double layered = rms(Mix(0.5));
            platform::AudioOutput& out = sound.Output();
            const platform::AudioBufferId own = sound.Sample(sound.FindSample(mid.m_nSampleId)).m_Buffer;
            std::uint32_t hz = 0;
            ASSERT_TRUE(out.frequency(own, hz));
            sound.PlaySoundSet(0, -1.0f, 0.0f, 1.0f);
            // The same sample alone at full level and the layer's pitch.
            ASSERT_TRUE(out.set_volume(own, 0));
            ASSERT_TRUE(out.set_frequency(own, hz));
            ASSERT_TRUE(out.set_position(own, 0));
            ASSERT_TRUE(out.play(own, true));
            Mix(0.05);
            const double alone = rms(Mix(0.5));
            out.stop(own);
            EXPECT_NEAR(layered / alone, 0.9 * volume * effects, 0.02) << volume << " " << effects;
        }
    }
}
